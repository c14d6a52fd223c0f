// A library of the host that defines two of the Win32 names lobbykit exports, as a toolkit
// or a compatibility shim might. It comes before lobbykit in the host's link (and so in the
// search order): the host's own calls reach it; lobbykit's calls must not. Its CreateEventA
// makes no event, so a library that took it would fail visibly, not just be counted.
#include <windows.h>

#include <atomic>

namespace {
std::atomic<int> g_sleeps{0};
std::atomic<int> g_creates{0};
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void WINAPI Sleep(DWORD) { ++g_sleeps; }

__attribute__((visibility("default"))) HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR)
{
    ++g_creates;
    return nullptr;
}

__attribute__((visibility("default"))) int InterposedSleeps() { return g_sleeps.load(); }
__attribute__((visibility("default"))) int InterposedCreates() { return g_creates.load(); }

}  // extern "C"
