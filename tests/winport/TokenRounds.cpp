#include "TokenRounds.h"

namespace lktest {

std::string TokenEventName(const std::string& prefix, DWORD i) { return prefix + "-token" + std::to_string(i); }

int RunTokenRounds(const HANDLE (&events)[kTokens], TokenCounters* counters, bool waitAll, int rounds, DWORD timeoutMs)
{
    for (int round = 0; round < rounds; ++round) {
        const DWORD r = WaitForMultipleObjects(kTokens, events, waitAll, timeoutMs);
        if (r == static_cast<DWORD>(WAIT_TIMEOUT)) return round;
        DWORD first = r - WAIT_OBJECT_0;
        DWORD end = first + 1;
        if (waitAll) {
            first = 0;
            end = kTokens;
        }
        if (r >= WAIT_OBJECT_0 + kTokens || (waitAll && r != WAIT_OBJECT_0)) {
            InterlockedIncrement(&counters->wrongResults);
            return round;
        }
        for (DWORD i = first; i < end; ++i)
            if (InterlockedIncrement(&counters->held[i]) != 1) InterlockedIncrement(&counters->duplicates);
        // Hold the tokens a moment, so that holders overlap.
        if (round % 8 == 0) Sleep(0);
        for (DWORD i = first; i < end; ++i) {
            InterlockedDecrement(&counters->held[i]);
            SetEvent(events[i]);
        }
        // Let a waiter of the other kind in now and then.
        if (round % 3 == 0) Sleep(0);
    }
    return -1;
}

}  // namespace lktest
