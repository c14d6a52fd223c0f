// Prints the titles that a few game ids give a few scores.
#include <cstdint>
#include <cstdio>

#include "DemoText.h"
#include "LevelName.h"

int main()
{
    struct {
        int game;
        std::int32_t score;
    } samples[] = {
        {0, 0},        {0, 420},    {0, 25000},  {2, 29}, {2, 30},    {5, 13230}, {6, 7100},
        {9, 16185150}, {12, -1500}, {12, 60000}, {15, 1}, {16, 1700}, {18, 100},
    };
    std::printf("game  score      level  title\n");
    for (const auto& s : samples) {
        char title[32] = "";
        long level = -1;
        GetLevelName(s.game, reinterpret_cast<const char*>(&s.score), title, &level);
        std::printf("%4d  %9d  %5ld  %s\n", s.game, s.score, level, demo::ToUtf8(title).c_str());
    }
    return 0;
}
