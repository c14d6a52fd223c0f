// Any game id and any score: the title is terminated within the 32 bytes callers supply
// (the fuzz build's titles are UTF-8, longer than their 10 GBK bytes).
#include <cstdint>
#include <cstring>

#include "LevelName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    int id;
    std::memcpy(&id, data, sizeof id);
    char title[32];
    long level = 0;
    GetLevelName(id, reinterpret_cast<const char*>(data + 4), title, &level);
    if (!std::memchr(title, '\0', sizeof title)) __builtin_trap();
    return 0;
}
