// Deterministic packet streams shared by the channel tests and their peer process: packet i of
// a stream is a function of (seed, i), so each side can regenerate what the other must have
// received, and a receiver compares every byte (a stronger check than a checksum).
#ifndef LOBBYKIT_TESTS_IPC_IPCTESTDATA_H
#define LOBBYKIT_TESTS_IPC_IPCTESTDATA_H

#include <cstdint>
#include <string>

namespace lktest {

struct TestPacket {
    unsigned char cmd;
    std::string data;
};

inline std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Packet i of stream `seed`: command id 0..239, data length 0..maxLen, pseudo-random bytes.
inline TestPacket MakePacket(std::uint64_t seed, std::uint64_t i, int maxLen = 4095)
{
    std::uint64_t s = Mix(seed * 0x100000001B3ull ^ Mix(i));
    TestPacket p;
    p.cmd = static_cast<unsigned char>(s % 240);
    s = Mix(s);
    const int len = static_cast<int>(s % static_cast<std::uint64_t>(maxLen + 1));
    p.data.resize(static_cast<std::size_t>(len));
    for (int k = 0; k < len; k += 8) {
        s = Mix(s);
        for (int b = 0; b < 8 && k + b < len; ++b)
            p.data[static_cast<std::size_t>(k + b)] = static_cast<char>(s >> (8 * b));
    }
    return p;
}

// Packet with exactly `len` bytes (for fixed-size cases).
inline TestPacket MakeSizedPacket(std::uint64_t seed, std::uint64_t i, int len)
{
    TestPacket p = MakePacket(seed, i, 0);
    p.data.resize(static_cast<std::size_t>(len));
    std::uint64_t s = Mix(seed ^ Mix(i + 77));
    for (int k = 0; k < len; ++k) {
        if (k % 8 == 0) s = Mix(s);
        p.data[static_cast<std::size_t>(k)] = static_cast<char>(s >> (8 * (k % 8)));
    }
    return p;
}

}  // namespace lktest

#endif
