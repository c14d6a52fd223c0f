// Auto-reset events used as tokens by threads of this process and of the peer at once:
// each event stands for one token, set while nobody holds it. A round takes tokens with a
// wait-any (one token) or a wait-all (every token), marks them held in counters that all
// processes share, and gives them back with SetEvent. Two holders of one token at once (a
// signal doubled) count as duplicates; a wait that times out (a signal lost, or a waiter
// that was never woken) ends the rounds.
#ifndef LOBBYKIT_TESTS_WINPORT_TOKENROUNDS_H
#define LOBBYKIT_TESTS_WINPORT_TOKENROUNDS_H

#include <windows.h>

#include <string>

namespace lktest {

constexpr DWORD kTokens = 3;

// In a shared mapping (all zero at first).
struct TokenCounters {
    LONG held[kTokens];
    LONG duplicates;
    LONG wrongResults;
};

// The name of token i's event, for a prefix.
std::string TokenEventName(const std::string& prefix, DWORD i);

// Runs the rounds; -1 when all passed, else the round whose wait gave up after timeoutMs.
int RunTokenRounds(const HANDLE (&events)[kTokens], TokenCounters* counters, bool waitAll, int rounds, DWORD timeoutMs);

}  // namespace lktest

#endif
