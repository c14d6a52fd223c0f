// What the benchmark and its peer agree on.
#ifndef LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H
#define LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H

#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace ipcbench {

// Channel command ids.
const unsigned char kCmdEcho = 1;  // the peer sends the packet back
const unsigned char kCmdSink = 2;  // the peer takes it and counts it
const unsigned char kCmdSync = 3;  // the peer answers once everything before it is taken

// First byte of a socket connection: what the peer does with it.
const char kSockPingPong = 'P';  // echo every 16-byte message
const char kSockStream = 'S';    // repeatedly: 8-byte byte count, that many bytes, 1-byte ack

const int kPingSize = 16;

// Whole transfers over a socket (Unix-socket baselines); false on error or end of stream.
inline bool ReadAll(int fd, void* p, size_t n)
{
    auto* b = static_cast<char*>(p);
    while (n > 0) {
        const ssize_t r = read(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

inline bool WriteAll(int fd, const void* p, size_t n)
{
    auto* b = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t r = write(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

}  // namespace ipcbench

#endif
