#include <cstdint>
#include <cstdio>
#include <cstring>

#include "LevelName.h"

int main()
{
    const std::int32_t score = 13230;
    char title[32] = "";
    long level = -1;
    GetLevelName(5, reinterpret_cast<const char*>(&score), title, &level);
    // "统帅" in GBK.
    const bool ok = level == 21 && std::strcmp(title, "\xCD\xB3\xCB\xA7") == 0;
    std::printf("host: level %ld, title %s\n", level, ok ? "as expected" : "WRONG");
    return ok ? 0 : 1;
}
