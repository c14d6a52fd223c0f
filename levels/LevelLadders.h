// The title ladders behind GetLevelName: constant tables and their selection rules.
#ifndef LOBBYKIT_LEVELS_LADDERS_H
#define LOBBYKIT_LEVELS_LADDERS_H

#include <cstdint>

namespace lobbykit::levels {

enum class Rule : std::uint8_t {
    SquareRoot,   // military: position p begins at 30 * p * p
    Graded,       // officer: rank name + grade letter
    TopFirst,     // titles highest first; position = n - (thresholds reached, >=)
    BottomFirst,  // titles lowest first; position = thresholds exceeded (>)
    Downward,     // titles lowest first; position = thresholds reached (>=), T[1..n]
};

struct Ladder {
    Rule rule;
    const char* const* titles;  // GBK titles, in the table order of the level numbers
    int nTitles;
    const std::int32_t* thresholds;  // ascending; nTitles - 1 of them (none for the
    int nThresholds;                 // square-root and graded rules)
};

// Officer ladder: twelve rank names, a step for each of the first eleven.
inline constexpr int kOfficerRanks = 12;
inline constexpr int kOfficerGrades = 5;
extern const char* const kOfficerRankNames[kOfficerRanks];
extern const std::int32_t kOfficerSteps[kOfficerRanks - 1];

inline constexpr int kMaxGameID = 20;
// Ladder of each game id 0..20; null for ids without one.
extern const Ladder* const kLadderByGameID[kMaxGameID + 1];

}  // namespace lobbykit::levels

#endif
