#include "LevelName.h"

#include <cstdint>
#include <cstring>

#include "afxtrace.h"
#include "levels/LevelLadders.h"

namespace lobbykit::levels {
namespace {

// The score is a little-endian 32-bit value at any alignment.
std::int32_t ReadScore(const char* pScore)
{
    const auto* b = reinterpret_cast<const unsigned char*>(pScore);
    const std::uint32_t u =
        std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    return static_cast<std::int32_t>(u);
}

// Position p begins at 30 * p * p; the top title (21) begins at 13230. Integer arithmetic
// gives the same positions as truncating sqrt(score / 30.0), without rounding doubt.
int SquareRootPosition(std::int32_t score, int nTitles)
{
    int p = 0;
    while (p + 1 < nTitles && 30LL * (p + 1) * (p + 1) <= score) ++p;
    return p;
}

// Counts T[0], T[1], ... while the score reaches them (>=) or exceeds them (>).
int CountReached(const Ladder& l, std::int32_t score, bool strictly)
{
    int c = 0;
    while (c < l.nThresholds && (strictly ? score > l.thresholds[c] : score >= l.thresholds[c])) ++c;
    return c;
}

void CopyTitle(char* szTitle, const char* text) { std::memcpy(szTitle, text, std::strlen(text) + 1); }

// Officer ladder: rank r, grade g is the first (r, g) whose running sum of steps exceeds the
// score; past all 55 grades the title is the bare top rank. Returns the grade position.
long Graded(std::int32_t score, char* szTitle)
{
    std::int64_t sum = 0;
    for (int r = 0; r < kOfficerRanks - 1; ++r) {
        for (int g = 0; g < kOfficerGrades; ++g) {
            sum += kOfficerSteps[r];
            if (score < sum) {
                if (szTitle) {
                    const std::size_t n = std::strlen(kOfficerRankNames[r]);
                    std::memcpy(szTitle, kOfficerRankNames[r], n);
                    szTitle[n] = static_cast<char>('A' + g);
                    szTitle[n + 1] = '\0';
                }
                return long(r) * kOfficerGrades + g;
            }
        }
    }
    if (szTitle) CopyTitle(szTitle, kOfficerRankNames[kOfficerRanks - 1]);
    return long(kOfficerRanks - 1) * kOfficerGrades;
}

}  // namespace
}  // namespace lobbykit::levels

void GetLevelName(int nGameID, const char* pScore, char* szTitle, long* pLevel)
{
    using namespace lobbykit::levels;

    if (!pScore || (!szTitle && !pLevel)) {
        TRACE("Error : GetLevelName() : parameters error\r\n");
        return;
    }
    const Ladder* ladder = (nGameID >= 0 && nGameID <= kMaxGameID) ? kLadderByGameID[nGameID] : nullptr;
    if (!ladder) {
        if (szTitle) CopyTitle(szTitle, "未知");
        TRACE("Error : GetLevelName() : unknown GAME_ID = %5d\r\n", nGameID);
        return;
    }

    const std::int32_t score = ReadScore(pScore);
    long pos = 0;
    switch (ladder->rule) {
    case Rule::Graded:
        pos = Graded(score, szTitle);
        if (pLevel) *pLevel = pos;
        return;
    case Rule::SquareRoot: pos = SquareRootPosition(score, ladder->nTitles); break;
    case Rule::TopFirst: pos = ladder->nThresholds - CountReached(*ladder, score, false); break;
    case Rule::BottomFirst: pos = CountReached(*ladder, score, true); break;
    case Rule::Downward: pos = CountReached(*ladder, score, false); break;
    }
    if (szTitle) CopyTitle(szTitle, ladder->titles[pos]);
    if (pLevel) *pLevel = pos;
}
