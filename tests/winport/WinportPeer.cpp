// The other process of the cross-process tests. argv: a command and its arguments; prints
// "ready" once set up, results as "result N", and where it holds objects it keeps them
// until its standard input is closed.
#include <windows.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TokenRounds.h"
#include "winport/posix/kernel/shared_object.h"

namespace {

void Say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void SayResult(unsigned long value) { Say("result " + std::to_string(value)); }

void WaitForEndOfInput()
{
    char buf[64];
    while (read(STDIN_FILENO, buf, sizeof buf) > 0) {
    }
}

DWORD Number(const char* text) { return static_cast<DWORD>(std::strtoul(text, nullptr, 0)); }

char* MapNamed(const char* name)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    return mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
}

int HoldEvent(char** a)
{
    HANDLE e = CreateEventA(nullptr, Number(a[1]) != 0, Number(a[2]) != 0, a[0]);
    SayResult(e ? GetLastError() : 0xFFFFFFFFul);
    Say("ready");
    WaitForEndOfInput();
    CloseHandle(e);
    return 0;
}

int HoldMutex(char** a)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, a[0]);
    SayResult(WaitForSingleObject(m, INFINITE));
    Say("ready");
    WaitForEndOfInput();
    return 0;  // still owned: abandoned when the process ends
}

int WaitOn(HANDLE h, DWORD timeout)
{
    if (!h) {
        SayResult(0x10000 + GetLastError());
        return 1;
    }
    Say("waiting");
    SayResult(WaitForSingleObject(h, timeout));
    return 0;
}

int SetNamedEvent(char** a)
{
    HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, a[0]);
    SayResult(e && SetEvent(e) ? 0 : GetLastError());
    return 0;
}

int WriteMapping(char** a)
{
    char* view = MapNamed(a[0]);
    if (!view) return 1;
    std::strcpy(view, a[1]);
    Say("ready");
    WaitForEndOfInput();
    return 0;
}

// Maps a view of the named mapping and closes the handle at once: the peer then holds
// only the view. At the end of its input it prints what the view holds.
int HoldViewOnly(char** a)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, a[0]);
    const char* view = mapping ? static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    if (mapping) CloseHandle(mapping);
    if (!view) return 1;
    Say("ready");
    WaitForEndOfInput();
    Say(std::string("view ") + view);
    return 0;
}

int Increment(char** a)
{
    char* view = MapNamed(a[0]);
    if (!view) return 1;
    LONG volatile* counter = reinterpret_cast<LONG volatile*>(view + Number(a[1]));
    for (DWORD i = Number(a[2]); i > 0; --i) InterlockedIncrement(counter);
    Say("done");
    return 0;
}

// Read-modify-write of a plain int under the named mutex: only exclusion keeps it exact.
int LockedAdd(char** a)
{
    char* view = MapNamed(a[0]);
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, a[1]);
    if (!view || !m) return 1;
    volatile int* counter = reinterpret_cast<volatile int*>(view);
    for (DWORD i = Number(a[2]); i > 0; --i) {
        // Far longer than any turn should take: a lost wake-up fails instead of hanging.
        if (WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 2;
        const int v = *counter;
        if (i % 64 == 0) Sleep(0);
        *counter = v + 1;
        ReleaseMutex(m);
    }
    Say("done");
    return 0;
}

// Answers each set of the first event by setting the second, for the given rounds; a wait
// that times out (a lost wake-up) ends it with "lost <round>".
int PingPong(char** a)
{
    HANDLE ping = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, a[0]);
    HANDLE pong = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, a[1]);
    if (!ping || !pong) return 1;
    Say("ready");
    for (DWORD i = 0; i < Number(a[2]); ++i) {
        if (WaitForSingleObject(ping, 10000) != WAIT_OBJECT_0) {
            Say("lost " + std::to_string(i));
            return 2;
        }
        SetEvent(pong);
    }
    Say("done");
    CloseHandle(ping);
    CloseHandle(pong);
    return 0;
}

int OpenKinds(char** a)
{
    SetLastError(0);
    const bool e = OpenEventA(SYNCHRONIZE, FALSE, a[0]) != nullptr;
    const DWORD eErr = GetLastError();
    const bool m = OpenMutexA(SYNCHRONIZE, FALSE, a[0]) != nullptr;
    const DWORD mErr = GetLastError();
    const bool f = OpenFileMappingA(FILE_MAP_READ, FALSE, a[0]) != nullptr;
    const DWORD fErr = GetLastError();
    Say("event " + std::to_string(e ? 0 : eErr) + " mutex " + std::to_string(m ? 0 : mErr) + " mapping " +
        std::to_string(f ? 0 : fErr));
    return 0;
}

// Waits for an event and a mutex together; releases the mutex if it got it.
int WaitAllOfEventAndMutex(char** a)
{
    HANDLE both[2] = {OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, a[0]), OpenMutexA(SYNCHRONIZE, FALSE, a[1])};
    if (!both[0] || !both[1]) return 1;
    Say("waiting");
    const DWORD r = WaitForMultipleObjects(2, both, TRUE, Number(a[2]));
    SayResult(r);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) ReleaseMutex(both[1]);
    CloseHandle(both[0]);
    CloseHandle(both[1]);
    return 0;
}

// Token rounds (TokenRounds.h) over named events and counters in a named mapping:
// MAPPING PREFIX ROUNDS ALL(0/1). Prints "done" or "gave up <round>".
int Tokens(char** a)
{
    char* view = MapNamed(a[0]);
    if (!view) return 1;
    HANDLE events[lktest::kTokens] = {};
    for (DWORD i = 0; i < lktest::kTokens; ++i) {
        events[i] = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, lktest::TokenEventName(a[1], i).c_str());
        if (!events[i]) return 1;
    }
    Say("ready");
    const int gaveUp = lktest::RunTokenRounds(events, reinterpret_cast<lktest::TokenCounters*>(view), Number(a[3]) != 0,
                                              static_cast<int>(Number(a[2])), 20000);
    Say(gaveUp < 0 ? "done" : "gave up " + std::to_string(gaveUp));
    for (HANDLE e : events) CloseHandle(e);
    return 0;
}

// The file of a named object, opened as any process of the user can open it.
int OpenObjectFile(const char* name)
{
    const std::string path = winport::NamedObjectDirectory() + "/" + winport::NamedObjectFileName(name);
    return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

off_t DataOffsetOf(int fd)
{
    std::uint32_t offset = 0;  // the header's field after magic, version and kind
    return pread(fd, &offset, sizeof offset, 8) == static_cast<ssize_t>(sizeof offset) ? offset : -1;
}

// NAME HEX: writes the bytes that HEX spells at the start of the object's data, wakes
// whoever sleeps on its first word, and prints "done".
int Poke(char** a)
{
    const int fd = OpenObjectFile(a[0]);
    const off_t data = fd >= 0 ? DataOffsetOf(fd) : -1;
    std::string bytes;
    for (const char* p = a[1]; p[0] && p[1]; p += 2)
        bytes += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    if (data < 0 || pwrite(fd, bytes.data(), bytes.size(), data) != static_cast<ssize_t>(bytes.size())) return 1;
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, data);
    if (page == MAP_FAILED) return 1;
    syscall(SYS_futex, page, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
    munmap(page, 4096);
    close(fd);
    Say("done");
    return 0;
}

// NAME: takes the named mutex and gives it back, printing the shared word its handle wrote
// as owner ("word N"), then prints "ready" and keeps its handle until the end of its input.
int MutexWord(char** a)
{
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, a[0]);
    const int fd = OpenObjectFile(a[0]);
    const off_t at = fd >= 0 ? DataOffsetOf(fd) : -1;
    std::uint32_t word = 0;
    if (!m || at < 0 || WaitForSingleObject(m, 10000) != WAIT_OBJECT_0 ||
        pread(fd, &word, sizeof word, at) != static_cast<ssize_t>(sizeof word))
        return 1;
    close(fd);
    ReleaseMutex(m);
    Say("word " + std::to_string(word));
    Say("ready");
    WaitForEndOfInput();
    CloseHandle(m);
    return 0;
}

struct Command {
    const char* name;
    int args;
    int (*run)(char** args);
};

const Command kCommands[] = {
    {"event", 3, HoldEvent},
    {"mutex-hold", 1, HoldMutex},
    {"wait-event", 2, [](char** a) { return WaitOn(OpenEventA(SYNCHRONIZE, FALSE, a[0]), Number(a[1])); }},
    {"wait-mutex", 2, [](char** a) { return WaitOn(OpenMutexA(SYNCHRONIZE, FALSE, a[0]), Number(a[1])); }},
    {"set-event", 1, SetNamedEvent},
    {"mapping-write", 2, WriteMapping},
    {"view-only", 1, HoldViewOnly},
    {"increment", 3, Increment},
    {"locked-add", 3, LockedAdd},
    {"open-kinds", 1, OpenKinds},
    {"ping-pong", 3, PingPong},
    {"wait-all", 3, WaitAllOfEventAndMutex},
    {"tokens", 4, Tokens},
    {"poke", 2, Poke},
    {"mutex-word", 1, MutexWord},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 100;
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return argc - 2 == c.args ? c.run(argv + 2) : 101;
    return 102;
}
