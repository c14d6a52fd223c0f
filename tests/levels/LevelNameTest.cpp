#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "Gbk.h"
#include "LevelName.h"

namespace {

using lktest::Gbk;
using lktest::Utf8;

struct TitleRange {
    long level;
    const char* title;
    std::int64_t lowest;
};

struct LadderCase {
    const char* name;
    std::vector<int> gameIds;
    bool highestFirst;
    const TitleRange* titles;
    size_t count;
};

struct OfficerRank {
    const char* name;
    std::int32_t gradeStarts[5];
};

#include "LadderCases.inc"

struct Result {
    std::string title;
    long level;
};

Result Lookup(int id, std::int32_t score, long levelIn = -12345)
{
    char buf[32];
    std::memset(buf, 0x7F, sizeof buf);
    long level = levelIn;
    GetLevelName(id, reinterpret_cast<const char*>(&score), buf, &level);
    EXPECT_TRUE(std::memchr(buf, '\0', 11)) << "title longer than 10 bytes";
    return {std::string(buf), level};
}

// Scores below a title's range earn the title beneath it: the next one up in the table for
// highest-first ladders, the previous one otherwise.
const TitleRange& TitleBeneath(const LadderCase& l, size_t i)
{
    return l.highestFirst ? l.titles[i + 1] : l.titles[i - 1];
}

TEST(GetLevelName, EveryTitleBeginsExactlyAtItsRange)
{
    for (const LadderCase& l : kLadders) {
        for (size_t i = 0; i < l.count; ++i) {
            const TitleRange& t = l.titles[i];
            const std::int32_t lowest = t.lowest == INT32_MIN ? INT32_MIN : std::int32_t(t.lowest);
            for (int id : l.gameIds) {
                SCOPED_TRACE(std::string(l.name) + " id " + std::to_string(id) + " title " + t.title);
                Result r = Lookup(id, lowest);
                EXPECT_EQ(Utf8(r.title), t.title);
                EXPECT_EQ(r.title, Gbk(t.title));
                EXPECT_EQ(r.level, t.level);
                if (t.lowest == INT32_MIN) continue;
                const TitleRange& below = TitleBeneath(l, i);
                Result b = Lookup(id, lowest - 1);
                EXPECT_EQ(Utf8(b.title), below.title);
                EXPECT_EQ(b.level, below.level);
            }
        }
    }
}

TEST(GetLevelName, ExtremeScoresGiveTheEndsOfEveryLadder)
{
    for (const LadderCase& l : kLadders) {
        const TitleRange& lowest = l.highestFirst ? l.titles[l.count - 1] : l.titles[0];
        const TitleRange& highest = l.highestFirst ? l.titles[0] : l.titles[l.count - 1];
        for (int id : l.gameIds) {
            SCOPED_TRACE(l.name);
            EXPECT_EQ(Utf8(Lookup(id, INT32_MIN).title), lowest.title);
            EXPECT_EQ(Utf8(Lookup(id, INT32_MAX).title), highest.title);
            EXPECT_EQ(Lookup(id, INT32_MAX).level, highest.level);
        }
    }
}

TEST(GetLevelName, OfficerGradesAndLevelNumbers)
{
    for (int id : {0, 1}) {
        for (size_t r = 0; r < std::size(kOfficerRanks); ++r) {
            for (int g = 0; g < 5; ++g) {
                const OfficerRank& rank = kOfficerRanks[r];
                const std::string want = Gbk(rank.name) + char('A' + g);
                SCOPED_TRACE(std::string(rank.name) + char('A' + g));
                Result at = Lookup(id, rank.gradeStarts[g]);
                EXPECT_EQ(at.title, want);
                EXPECT_EQ(at.level, long(r * 5 + g));
                // One point short of the next grade is still this grade.
                const std::int32_t next =
                    g < 4 ? rank.gradeStarts[g + 1]
                          : (r + 1 < std::size(kOfficerRanks) ? kOfficerRanks[r + 1].gradeStarts[0] : 20550);
                EXPECT_EQ(Lookup(id, next - 1).title, want);
            }
        }
        for (std::int32_t s : {-1, -150, INT32_MIN}) EXPECT_EQ(Lookup(id, s).title, Gbk("列兵A"));
        for (std::int32_t s : {20550, 100000, INT32_MAX}) {
            Result top = Lookup(id, s);
            EXPECT_EQ(top.title, Gbk("统帅"));
            EXPECT_EQ(top.level, 55);
        }
    }
}

TEST(GetLevelName, UnknownIdsWriteTheUnknownTitleAndKeepTheLevel)
{
    for (int id : {18, 19, -1, 21, INT_MIN, INT_MAX, 1000}) {
        SCOPED_TRACE(id);
        Result r = Lookup(id, 500, 99);
        EXPECT_EQ(r.title, Gbk("未知"));
        EXPECT_EQ(r.level, 99);
    }
}

TEST(GetLevelName, SharedIdsAgreeWithTheirPartnerEverywhere)
{
    const int pairs[][2] = {{0, 1}, {2, 4}, {3, 7}, {5, 20}, {9, 14}, {10, 13}, {16, 17}};
    for (auto [a, b] : pairs) {
        for (std::int64_t s = -3000; s <= 30000; s += 7) {
            Result ra = Lookup(a, std::int32_t(s)), rb = Lookup(b, std::int32_t(s));
            ASSERT_EQ(ra.title, rb.title) << a << " vs " << b << " at " << s;
            ASSERT_EQ(ra.level, rb.level) << a << " vs " << b << " at " << s;
        }
    }
}

TEST(GetLevelName, NullArgumentsWriteNothing)
{
    const std::int32_t score = 5000;
    char buf[32] = "untouched";
    long level = 77;
    GetLevelName(5, nullptr, buf, &level);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(level, 77);
    GetLevelName(5, reinterpret_cast<const char*>(&score), nullptr, nullptr);  // must not crash

    // Either output alone is written.
    GetLevelName(5, reinterpret_cast<const char*>(&score), nullptr, &level);
    EXPECT_EQ(level, 12);
    GetLevelName(5, reinterpret_cast<const char*>(&score), buf, nullptr);
    EXPECT_EQ(std::string(buf), Gbk("正旅长"));
    GetLevelName(0, reinterpret_cast<const char*>(&score), buf, nullptr);
    EXPECT_EQ(std::string(buf), Gbk("上校") + "E");
}

TEST(GetLevelName, ScoreIsReadLittleEndianAtAnyAlignment)
{
    // 13230 = 0x000033AE: the military ladder's top title begins there.
    alignas(8) unsigned char raw[8] = {0xFF, 0xAE, 0x33, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
    char buf[32];
    long level = 0;
    GetLevelName(5, reinterpret_cast<const char*>(raw + 1), buf, &level);
    EXPECT_EQ(level, 21);
    raw[1] = 0xAD;  // 13229
    GetLevelName(5, reinterpret_cast<const char*>(raw + 1), buf, &level);
    EXPECT_EQ(level, 20);
}

#if defined(LOBBYKIT_TRACE)
TEST(GetLevelName, FailuresAreTraced)
{
    char buf[32];
    long level = 0;
    testing::internal::CaptureStderr();
    GetLevelName(19, "\0\0\0\0", buf, &level);
    GetLevelName(1, nullptr, buf, &level);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error : GetLevelName() : unknown GAME_ID =    19\r\n"
              "Error : GetLevelName() : parameters error\r\n");
}
#endif

}  // namespace
