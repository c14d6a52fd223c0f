// The setting helpers over a real store: any key, item and data either fail cleanly or read
// back exactly what was written.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "RegKey.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static char dir[] = "/tmp/lobbykit-regfuzz-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("XDG_CONFIG_HOME", dir, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Input: key NUL item NUL value-bytes.
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::size_t a = in.find('\0');
    if (a == std::string::npos) return 0;
    const std::size_t b = in.find('\0', a + 1);
    if (b == std::string::npos) return 0;
    const std::string key = in.substr(0, a), item = in.substr(a + 1, b - a - 1);
    std::string value = in.substr(b + 1);

    if (RegWriteKeyBin(key.c_str(), nullptr, item.c_str(), reinterpret_cast<unsigned char*>(&value[0]),
                       (unsigned long)value.size())) {
        char buf[260];
        std::memset(buf, 0xCC, sizeof buf);
        unsigned long len = sizeof buf;
        if (!RegReadKeyBin(key.c_str(), nullptr, item.c_str(), buf, len)) __builtin_trap();
        if (len != value.size() || std::memcmp(buf, value.data(), len) != 0) __builtin_trap();
    }
    // A string read must stay inside the buffer whatever is stored under that name.
    char small[8];
    unsigned long len = sizeof small;
    RegReadKeyStr(key.c_str(), nullptr, item.c_str(), small, len);
    unsigned long n = 0;
    RegReadKeyInt(key.c_str(), nullptr, item.c_str(), n);
    return 0;
}
