// Kernel objects: events, mutexes, waits, threads, file mappings, names and error codes.
#include <cstring>
#include <string>

#include "Probe.h"

namespace {

// Runs fn(arg) on a thread of its own and waits for it to end.
struct ThreadRun {
    HANDLE thread = nullptr;
    DWORD exitCode = 0;
};

ThreadRun RunThread(LPTHREAD_START_ROUTINE fn, void* arg)
{
    ThreadRun run;
    run.thread = CreateThread(nullptr, 0, fn, arg, 0, nullptr);
    if (run.thread) {
        WaitForSingleObject(run.thread, INFINITE);
        GetExitCodeThread(run.thread, &run.exitCode);
        CloseHandle(run.thread);
    }
    return run;
}

DWORD WINAPI ReturnSeven(LPVOID) { return 7; }

// Takes the mutex and ends without releasing it.
DWORD WINAPI TakeAndLeave(LPVOID mutex) { return WaitForSingleObject(static_cast<HANDLE>(mutex), 0); }

struct ForeignMutexCall {
    probe::Transcript* t;
    HANDLE mutex;
};

// What another thread sees of a mutex the scenario's thread owns.
DWORD WINAPI TouchForeignMutex(LPVOID p)
{
    auto* c = static_cast<ForeignMutexCall*>(p);
    probe::Transcript& t = *c->t;
    HANDLE m = c->mutex;
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 20));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    return 0;
}

// Waits on the event (for ever) and returns the wait result.
DWORD WINAPI WaitOnEvent(LPVOID event) { return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE); }

// Takes the mutex, says so, then waits for ever on an event nobody sets.
struct OwnAndWait {
    HANDLE mutex;
    HANDLE owned;
    HANDLE never;
};

DWORD WINAPI OwnThenWait(LPVOID p)
{
    auto* o = static_cast<OwnAndWait*>(p);
    WaitForSingleObject(o->mutex, INFINITE);
    SetEvent(o->owned);
    return WaitForSingleObject(o->never, INFINITE);
}

bool AllZero(const void* p, size_t n)
{
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

}  // namespace

// --- events ----------------------------------------------------------------------------

PROBE_SCENARIO(event_manual_reset)
{
    HANDLE e = nullptr;
    PROBE_CALL(probe::AsHandle, e = CreateEventA(nullptr, TRUE, FALSE, nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsBool, ResetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, ResetEvent(e));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
}

PROBE_SCENARIO(event_auto_reset)
{
    HANDLE e = nullptr;
    PROBE_CALL(probe::AsHandle, e = CreateEventA(nullptr, FALSE, TRUE, nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));

    // SetEvent releases a thread that waits for ever.
    HANDLE waiter = nullptr;
    PROBE_CALL(probe::AsHandle, waiter = CreateThread(nullptr, 0, WaitOnEvent, e, 0, nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(waiter, 50));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(waiter, 5000));
    DWORD code = 0;
    PROBE_CALL(probe::AsBool, GetExitCodeThread(waiter, &code));
    t.Check("the waiter's wait returned WAIT_OBJECT_0", code == WAIT_OBJECT_0);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(waiter));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
}

PROBE_SCENARIO(event_named_create_and_open)
{
    HANDLE a = nullptr, b = nullptr, c = nullptr;
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("ev")));
    PROBE_CALL(probe::AsHandle, a = CreateEventA(nullptr, TRUE, FALSE, t.Name("ev")));
    // The second create gets the same object: auto-reset and signalled are ignored.
    PROBE_CALL(probe::AsHandle, b = CreateEventA(nullptr, FALSE, TRUE, t.Name("ev")));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    PROBE_CALL(probe::AsBool, SetEvent(b));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    PROBE_CALL(probe::AsHandle, c = OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("ev")));
    PROBE_CALL(probe::AsBool, ResetEvent(c));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(b, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(a));
    PROBE_CALL(probe::AsBool, CloseHandle(b));
    PROBE_CALL(probe::AsBool, CloseHandle(c));
    // The last handle is gone, and the object with it.
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("ev")));
    PROBE_CALL(probe::AsHandle, a = CreateEventA(nullptr, TRUE, FALSE, t.Name("ev")));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(a));
}

// --- names -----------------------------------------------------------------------------

PROBE_SCENARIO(names_case_and_bytes)
{
    HANDLE h[6] = {};
    // Names are case-sensitive.
    PROBE_CALL(probe::AsHandle, h[0] = CreateEventA(nullptr, TRUE, FALSE, t.Name("Case")));
    PROBE_CALL(probe::AsHandle, h[1] = CreateEventA(nullptr, TRUE, FALSE, t.Name("case")));
    PROBE_CALL(probe::AsBool, SetEvent(h[0]));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(h[1], 0));
    // A slash is an ordinary character; GBK text is a name like any other.
    PROBE_CALL(probe::AsHandle, h[2] = CreateEventA(nullptr, TRUE, FALSE, t.Name("a/b")));
    PROBE_CALL(probe::AsHandle, h[3] = OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("a/b")));
    PROBE_CALL(probe::AsHandle, h[4] = CreateEventA(nullptr, TRUE, FALSE, t.Name("\xD6\xD0\xCE\xC4")));
    PROBE_CALL(probe::AsHandle, h[5] = CreateMutexA(nullptr, FALSE, t.Name("\xD6\xD0\xCE\xC4")));
    for (HANDLE x : h)
        if (x) CloseHandle(x);
    // An empty name is no name: two objects, neither "already exists".
    HANDLE u1 = nullptr, u2 = nullptr;
    PROBE_CALL(probe::AsHandle, u1 = CreateEventA(nullptr, TRUE, FALSE, ""));
    PROBE_CALL(probe::AsHandle, u2 = CreateEventA(nullptr, TRUE, FALSE, ""));
    PROBE_CALL(probe::AsBool, SetEvent(u1));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(u2, 0));
    // Opening "" opens the namespace directory itself, which is no object of any kind.
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, ""));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, ""));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_READ, FALSE, ""));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_READ, FALSE, nullptr));
    CloseHandle(u1);
    CloseHandle(u2);
}

PROBE_SCENARIO(names_with_backslash)
{
    // No object directory "a" exists under the session's named objects.
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose, CreateMutexA(nullptr, FALSE, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.Name("a\\b")));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.Name("trailing\\")));
    // A leading backslash is a path of another kind.
    const std::string rooted = std::string("\\") + t.Name("rooted");
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, rooted.c_str()));
    // 0x5C as the second byte of a GBK character is part of it, not a backslash.
    HANDLE h = nullptr;
    PROBE_CALL(probe::AsHandle, h = CreateEventA(nullptr, TRUE, FALSE, t.Name("\x81\x5C")));
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("\x81\x5C")));
    if (h) CloseHandle(h);
}

PROBE_SCENARIO(names_session_prefixes)
{
    // "Local\" and "Global\" name the session's and the global namespace on Windows.
    HANDLE a = nullptr, b = nullptr;
    std::string local = std::string("Local\\") + t.Name("pfx");
    PROBE_CALL(probe::AsHandle, a = CreateEventA(nullptr, TRUE, FALSE, local.c_str()));
    PROBE_CALL(probe::AsHandle, b = OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("pfx")));
    if (a) CloseHandle(a);
    if (b) CloseHandle(b);
    std::string global = std::string("Global\\") + t.Name("pfx");
    PROBE_CALL(probe::AsHandle, a = CreateMutexA(nullptr, FALSE, global.c_str()));
    // The prefixes may repeat; "Local\" inside the global namespace stays there.
    std::string localGlobal = std::string("Local\\Global\\") + t.Name("pfx");
    std::string globalLocal = std::string("Global\\Local\\") + t.Name("pfx");
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, localGlobal.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, globalLocal.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, t.Name("pfx")));
    if (a) CloseHandle(a);
    // A prefix is case-sensitive, needs a name after it, and counts towards MAX_PATH.
    std::string lower = std::string("local\\") + t.Name("pfx");
    std::string emptyElement = std::string("Local\\\\") + t.Name("pfx");
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, lower.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, "Local\\"));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "Global\\"));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, "Local\\"));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, "Local\\"));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, emptyElement.c_str()));
    std::string long259 = std::string("Local\\") + t.NameOfLength(253, "p");
    std::string long260 = std::string("Local\\") + t.NameOfLength(254, "p");
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, long259.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, long260.c_str()));
    // "Local", "Global" and "Session" are the namespace's own entries, not objects.
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, "Local"));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "Global"));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, "Global\\Session"));
}

PROBE_SCENARIO(names_length)
{
    // Lengths in characters of the whole name; a GBK character is two bytes. Each kind has
    // names of its own ("n", "m", "f"), so that no object stands in another's way.
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(259)));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(260)));
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.NameOfLength(260)));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(1000)));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(40000)));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(259, "\xD6\xD0")));
    // A lead byte and a byte GBK does not pair with it still make one character, and so does
    // a lead byte that ends the name.
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(259, "\x81\x20")));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(260, "\x81\x20")));
    std::string leadEnds259 = std::string(t.NameOfLength(258, "e")) + "\x81";
    std::string leadEnds260 = std::string(t.NameOfLength(259, "e")) + "\x81";
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, leadEnds259.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, leadEnds260.c_str()));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.NameOfLength(260, "\xD6\xD0")));
    PROBE_CALL(probe::AsHandleThenClose, CreateMutexA(nullptr, FALSE, t.NameOfLength(259, "m")));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, t.NameOfLength(260, "m")));
    PROBE_CALL(probe::AsHandleThenClose, CreateMutexA(nullptr, FALSE, t.NameOfLength(1000, "m")));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, t.NameOfLength(259, "f")));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, t.NameOfLength(260, "f")));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.NameOfLength(260, "f")));
    // Wine's CreateMutexA alone takes a name of exactly MAX_PATH characters (see the
    // known difference wine-mutex-max-path).
    PROBE_CALL_KNOWN("wine-mutex-max-path", probe::AsHandleThenClose,
                     CreateMutexA(nullptr, FALSE, t.NameOfLength(260, "m")));
}

PROBE_SCENARIO(names_held_by_another_kind)
{
    HANDLE m = nullptr, map = nullptr;
    PROBE_CALL(probe::AsHandle, m = CreateMutexA(nullptr, FALSE, t.Name("kind")));
    PROBE_CALL(probe::AsHandleThenClose, CreateEventA(nullptr, TRUE, FALSE, t.Name("kind")));
    PROBE_CALL(probe::AsHandleThenClose, OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("kind")));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, t.Name("kind")));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.Name("kind")));
    PROBE_CALL(probe::AsHandle,
               map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, t.Name("map")));
    PROBE_CALL(probe::AsHandleThenClose, CreateMutexA(nullptr, FALSE, t.Name("map")));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, t.Name("map")));
    PROBE_CALL(probe::AsBool, CloseHandle(m));
    PROBE_CALL(probe::AsBool, CloseHandle(map));
}

// --- handles ---------------------------------------------------------------------------

PROBE_SCENARIO(handles_bad_and_wrong_kind)
{
    HANDLE e = nullptr, m = nullptr, map = nullptr;
    PROBE_CALL(probe::AsHandle, e = CreateEventA(nullptr, FALSE, FALSE, nullptr));
    PROBE_CALL(probe::AsHandle, m = CreateMutexA(nullptr, FALSE, nullptr));
    PROBE_CALL(probe::AsHandle, map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, nullptr));
    PROBE_CALL(probe::AsBool, SetEvent(m));
    PROBE_CALL(probe::AsBool, ResetEvent(map));
    PROBE_CALL(probe::AsBool, ReleaseMutex(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(map, 0));
    PROBE_CALL(probe::AsPointer, MapViewOfFile(e, FILE_MAP_READ, 0, 0, 0));
    PROBE_CALL(probe::AsBool, SetEvent(nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(nullptr, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(nullptr));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
    // A closed handle is refused.
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
    PROBE_CALL(probe::AsBool, CloseHandle(m));
    PROBE_CALL(probe::AsBool, CloseHandle(map));
    // The pseudo handle of the process.
    PROBE_CALL(probe::AsWait, WaitForSingleObject(GetCurrentProcess(), 0));
    PROBE_CALL(probe::AsBool, CloseHandle(GetCurrentProcess()));
}

// --- mutexes ---------------------------------------------------------------------------

PROBE_SCENARIO(mutex_ownership)
{
    HANDLE m = nullptr;
    PROBE_CALL(probe::AsHandle, m = CreateMutexA(nullptr, TRUE, nullptr));
    // Recursive: the owner takes it again and must release it as often.
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    ForeignMutexCall other{&t, m};
    const ThreadRun run = RunThread(TouchForeignMutex, &other);
    t.Check("the other thread ran", run.thread != nullptr);
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, CloseHandle(m));
}

PROBE_SCENARIO(mutex_named_exists)
{
    HANDLE a = nullptr, b = nullptr;
    PROBE_CALL(probe::AsHandle, a = CreateMutexA(nullptr, FALSE, t.Name("mx")));
    // Initial ownership asked of an existing mutex.
    PROBE_CALL(probe::AsHandle, b = CreateMutexA(nullptr, TRUE, t.Name("mx")));
    PROBE_CALL(probe::AsBool, ReleaseMutex(b));
    PROBE_CALL(probe::AsBool, ReleaseMutex(a));
    PROBE_CALL(probe::AsHandleThenClose, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, t.Name("other")));
    PROBE_CALL(probe::AsBool, CloseHandle(a));
    PROBE_CALL(probe::AsBool, CloseHandle(b));
}

PROBE_SCENARIO(mutex_abandoned)
{
    HANDLE m = nullptr;
    PROBE_CALL(probe::AsHandle, m = CreateMutexA(nullptr, FALSE, nullptr));
    const ThreadRun run = RunThread(TakeAndLeave, m);
    t.Check("the thread took the mutex", run.thread != nullptr && run.exitCode == WAIT_OBJECT_0);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    // Taken with WAIT_ABANDONED, it is owned as after any wait.
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));

    // Abandoned inside a wait-any: the index is that of the mutex.
    HANDLE e = nullptr;
    PROBE_CALL(probe::AsHandle, e = CreateEventA(nullptr, TRUE, FALSE, nullptr));
    RunThread(TakeAndLeave, m);
    HANDLE both[] = {e, m};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, both, FALSE, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
    PROBE_CALL(probe::AsBool, CloseHandle(m));
}

// --- waits -----------------------------------------------------------------------------

PROBE_SCENARIO(wait_any_index_order)
{
    HANDLE e[3] = {};
    for (HANDLE& h : e) h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    t.Check("three auto-reset events", e[0] && e[1] && e[2]);
    PROBE_CALL(probe::AsBool, SetEvent(e[2]));
    PROBE_CALL(probe::AsBool, SetEvent(e[1]));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, e, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, e, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, e, FALSE, 0));

    // A manual-reset event stays signalled and keeps winning over higher indexes.
    HANDLE manual = nullptr;
    PROBE_CALL(probe::AsHandle, manual = CreateEventA(nullptr, TRUE, TRUE, nullptr));
    HANDLE mixed[] = {e[0], manual, e[1]};
    PROBE_CALL(probe::AsBool, SetEvent(e[1]));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mixed, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mixed, FALSE, 0));
    PROBE_CALL(probe::AsBool, ResetEvent(manual));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mixed, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mixed, FALSE, 0));

    // The same handle twice in a wait-any.
    HANDLE twice[] = {e[0], e[0]};
    PROBE_CALL(probe::AsBool, SetEvent(e[0]));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, twice, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, twice, FALSE, 0));

    // A mutex owned by this thread is signalled for it; in a wait-any too.
    HANDLE m = nullptr;
    PROBE_CALL(probe::AsHandle, m = CreateMutexA(nullptr, TRUE, nullptr));
    HANDLE withMutex[] = {e[0], m};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, withMutex, FALSE, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));

    for (HANDLE h : e) CloseHandle(h);
    CloseHandle(manual);
    CloseHandle(m);
}

PROBE_SCENARIO(wait_bad_arguments)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
    for (HANDLE& h : many) h = e;
    HANDLE withNull[] = {e, nullptr};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(0, many, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, withNull, FALSE, 0));
    CloseHandle(e);
}

PROBE_SCENARIO(wait_all)
{
    HANDLE a = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE ab[] = {a, b};
    HANDLE one[] = {a};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(1, one, TRUE, 0));
    PROBE_CALL(probe::AsBool, SetEvent(a));
    // Not all signalled: nothing is consumed.
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, ab, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    PROBE_CALL(probe::AsBool, SetEvent(a));
    PROBE_CALL(probe::AsBool, SetEvent(b));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, ab, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, ab, FALSE, 0));

    // A manual-reset event in the set stays signalled; the auto-reset one is consumed.
    HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE mixed[] = {manual, a};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, mixed, TRUE, 0));
    PROBE_CALL(probe::AsBool, SetEvent(a));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, mixed, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(manual, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));

    // A timed wait-all that is never satisfied, with one of its events set throughout.
    PROBE_CALL(probe::AsBool, SetEvent(a));
    const DWORD before = GetTickCount();
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, ab, TRUE, 60));
    t.Check("wait-all waited at least 60 ms less one tick", GetTickCount() - before + 16 >= 60);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(manual);
}

PROBE_SCENARIO(wait_all_same_object_twice)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, t.Name("twice"));
    HANDLE other = OpenEventA(EVENT_ALL_ACCESS, FALSE, t.Name("twice"));
    HANDLE f = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE sameHandle[] = {f, e, e};
    HANDLE sameObject[] = {e, f, other};
    HANDLE sameMutex[] = {m, m};
    // Documented: the array may not hold the same handle twice (a wait-all could never be
    // satisfied by one auto-reset event standing for two).
    PROBE_CALL_KNOWN("wine-wait-all-duplicates", probe::AsWait, WaitForMultipleObjects(3, sameHandle, TRUE, 0));
    PROBE_CALL_KNOWN("wine-wait-all-duplicates", probe::AsWait, WaitForMultipleObjects(3, sameObject, TRUE, 0));
    PROBE_CALL_KNOWN("wine-wait-all-duplicates", probe::AsWait, WaitForMultipleObjects(2, sameMutex, TRUE, 0));
    while (ReleaseMutex(m)) {
    }
    PROBE_CALL(probe::AsWait, WaitForSingleObject(f, 0));
    // The check comes before any handle of the set is tried.
    HANDLE withNull[] = {e, e, nullptr};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, withNull, TRUE, 0));
    HANDLE nullFirst[] = {nullptr, e, e};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, nullFirst, TRUE, 0));
    CloseHandle(e);
    CloseHandle(other);
    CloseHandle(f);
    CloseHandle(m);
}

PROBE_SCENARIO(wait_all_mutexes)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE em[] = {e, m};
    // Both free: the mutex is taken and the event consumed together.
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, em, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));

    // Owned by another thread: the wait-all fails and the event stays set.
    OwnAndWait o{m, CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE owner = CreateThread(nullptr, 0, OwnThenWait, &o, 0, nullptr);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(o.owned, 5000));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, em, TRUE, 30));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    // The owner ends (terminated) while owning it: the wait-all gets it abandoned.
    PROBE_CALL(probe::AsBool, TerminateThread(owner, 3));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(owner, 5000));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, em, TRUE, 1000));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    CloseHandle(owner);

    // Owned by this thread already: recursion, as in any wait.
    PROBE_CALL(probe::AsWait, WaitForSingleObject(m, 0));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, em, TRUE, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));

    // Two abandoned mutexes and an event: which index the result names.
    HANDLE m2 = CreateMutexA(nullptr, FALSE, nullptr);
    RunThread(TakeAndLeave, m);
    RunThread(TakeAndLeave, m2);
    PROBE_CALL(probe::AsBool, SetEvent(e));
    HANDLE three[] = {e, m2, m};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, three, TRUE, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m2));
    // One abandoned, at a higher index than a free one.
    RunThread(TakeAndLeave, m);
    HANDLE freeFirst[] = {m2, e, m};
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, freeFirst, TRUE, 0));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m));
    PROBE_CALL(probe::AsBool, ReleaseMutex(m2));
    CloseHandle(m2);
    CloseHandle(o.owned);
    CloseHandle(o.never);
    CloseHandle(e);
    CloseHandle(m);
}

namespace {

struct WaitAllCall {
    HANDLE handles[2];
    DWORD result;
};

DWORD WINAPI WaitAllForever(LPVOID p)
{
    auto* c = static_cast<WaitAllCall*>(p);
    c->result = WaitForMultipleObjects(2, c->handles, TRUE, INFINITE);
    return c->result;
}

}  // namespace

PROBE_SCENARIO(wait_all_threads_and_blocking)
{
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // A thread blocked in a wait-all: one event set does not release it, nor is consumed.
    WaitAllCall call{{a, b}, 0};
    HANDLE waiter = CreateThread(nullptr, 0, WaitAllForever, &call, 0, nullptr);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(waiter, 50));
    PROBE_CALL(probe::AsBool, SetEvent(a));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(waiter, 50));
    PROBE_CALL(probe::AsBool, SetEvent(b));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(waiter, 5000));
    PROBE_VALUE(probe::AsWait, call.result);
    HANDLE ab[] = {a, b};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, ab, FALSE, 0));

    // Threads: an ended one and a running one, then both ended.
    HANDLE running = CreateThread(nullptr, 0, WaitAllForever, &call, 0, nullptr);
    HANDLE threads[] = {waiter, running};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, threads, TRUE, 30));
    PROBE_CALL(probe::AsBool, SetEvent(a));
    PROBE_CALL(probe::AsBool, TerminateThread(running, 4));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, threads, TRUE, 5000));
    DWORD code = 0;
    PROBE_CALL(probe::AsBool, GetExitCodeThread(running, &code));
    PROBE_VALUE(probe::AsInt, code);
    // The terminated wait-all took nothing.
    PROBE_CALL(probe::AsWait, WaitForSingleObject(a, 0));
    CloseHandle(waiter);
    CloseHandle(running);
    CloseHandle(a);
    CloseHandle(b);
}

PROBE_SCENARIO(wait_process_handle)
{
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE self = GetCurrentProcess();
    PROBE_CALL(probe::AsWait, WaitForSingleObject(self, 30));
    HANDLE selfFirst[] = {self, e};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, selfFirst, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, selfFirst, FALSE, 30));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, selfFirst, TRUE, 30));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(e, 0));
    CloseHandle(e);
}

PROBE_SCENARIO(wait_on_mapping_in_lists)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, nullptr);
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FF0));
    HANDLE eventFirst[] = {e, map};
    HANDLE mappingFirst[] = {map, e};
    HANDLE mappingThenBad[] = {e, map, nullptr};
    HANDLE badThenMapping[] = {e, nullptr, map};
    HANDLE bogusThenMapping[] = {bogus, map};
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, eventFirst, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, mappingFirst, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mappingThenBad, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, badThenMapping, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, bogusThenMapping, FALSE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, eventFirst, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, badThenMapping, TRUE, 0));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(3, mappingThenBad, TRUE, 0));
    CloseHandle(e);
    CloseHandle(map);
}

PROBE_SCENARIO(wait_timeouts)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct {
        DWORD ms;
    } cases[] = {{0}, {1}, {30}, {120}};
    for (const auto& c : cases) {
        const DWORD before = GetTickCount();
        PROBE_CALL(probe::AsWait, WaitForSingleObject(e, c.ms));
        const DWORD waited = GetTickCount() - before;
        // The tick count moves in steps of up to 16 ms on Windows.
        t.Check("waited at least " + std::to_string(c.ms) + " ms less one tick", waited + 16 >= c.ms);
        t.Check("waited less than " + std::to_string(c.ms) + " ms plus one second", waited < c.ms + 1000);
    }
    HANDLE two[] = {e, e};
    const DWORD before = GetTickCount();
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, two, FALSE, 60));
    t.Check("wait-any waited at least 60 ms less one tick", GetTickCount() - before + 16 >= 60);
    CloseHandle(e);
}

// --- threads ---------------------------------------------------------------------------

PROBE_SCENARIO(thread_exit_codes)
{
    HANDLE th = nullptr;
    PROBE_CALL(probe::AsHandle, th = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(th, 5000));
    DWORD code = 0;
    PROBE_CALL(probe::AsBool, GetExitCodeThread(th, &code));
    PROBE_VALUE(probe::AsInt, code);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(th, 0));
    PROBE_CALL(probe::AsBool, CloseHandle(th));

    // A running thread is STILL_ACTIVE; TerminateThread ends it while it waits.
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PROBE_CALL(probe::AsHandle, th = CreateThread(nullptr, 0, WaitOnEvent, e, 0, nullptr));
    PROBE_CALL(probe::AsBool, GetExitCodeThread(th, &code));
    PROBE_VALUE(probe::AsInt, code);
    PROBE_CALL(probe::AsWait, WaitForSingleObject(th, 30));
    PROBE_CALL(probe::AsBool, TerminateThread(th, 5));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(th, 5000));
    PROBE_CALL(probe::AsBool, GetExitCodeThread(th, &code));
    PROBE_VALUE(probe::AsInt, code);
    PROBE_CALL(probe::AsBool, TerminateThread(th, 6));
    PROBE_CALL(probe::AsBool, GetExitCodeThread(th, &code));
    PROBE_VALUE_KNOWN("terminate-ended-thread", probe::AsInt, code);
    PROBE_CALL(probe::AsBool, CloseHandle(th));
    CloseHandle(e);
}

PROBE_SCENARIO(thread_terminated_owner_abandons)
{
    OwnAndWait o{CreateMutexA(nullptr, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr),
                 CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE th = nullptr;
    PROBE_CALL(probe::AsHandle, th = CreateThread(nullptr, 0, OwnThenWait, &o, 0, nullptr));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(o.owned, 5000));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(o.mutex, 0));
    PROBE_CALL(probe::AsBool, TerminateThread(th, 9));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(th, 5000));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(o.mutex, 1000));
    PROBE_CALL(probe::AsBool, ReleaseMutex(o.mutex));
    PROBE_CALL(probe::AsBool, ReleaseMutex(o.mutex));
    CloseHandle(th);
    CloseHandle(o.mutex);
    CloseHandle(o.owned);
    CloseHandle(o.never);
}

// --- file mappings ---------------------------------------------------------------------

PROBE_SCENARIO(mapping_named_views)
{
    const DWORD size = 8244;  // the channel's record
    HANDLE a = nullptr, b = nullptr, c = nullptr;
    void* va = nullptr;
    void* vb = nullptr;
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.Name("map")));
    PROBE_CALL(probe::AsHandle,
               a = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, t.Name("map")));
    PROBE_CALL(probe::AsPointer, va = MapViewOfFile(a, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (va) t.Check("new mapping reads as zeros", AllZero(va, size));
    // Create of an existing mapping with another size: the same object, its size kept.
    PROBE_CALL(probe::AsHandle,
               b = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, t.Name("map")));
    PROBE_CALL(probe::AsHandle, c = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.Name("map")));
    PROBE_CALL(probe::AsPointer, vb = MapViewOfFile(c, FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (va && vb) {
        std::memcpy(static_cast<char*>(va) + size - 4, "tail", 4);
        t.Check("the other view sees the write", std::memcmp(static_cast<char*>(vb) + size - 4, "tail", 4) == 0);
    }
    // Closing every handle leaves the views, and with them the named object.
    PROBE_CALL(probe::AsBool, CloseHandle(a));
    PROBE_CALL(probe::AsBool, CloseHandle(b));
    PROBE_CALL(probe::AsBool, CloseHandle(c));
    PROBE_CALL(probe::AsHandle, a = OpenFileMappingA(FILE_MAP_READ, FALSE, t.Name("map")));
    void* vc = a ? MapViewOfFile(a, FILE_MAP_READ, 0, 0, 0) : nullptr;
    t.Check("a view made after the handles closed sees the data",
            vc && std::memcmp(static_cast<char*>(vc) + size - 4, "tail", 4) == 0);
    if (vc) UnmapViewOfFile(vc);
    if (a) CloseHandle(a);
    PROBE_CALL(probe::AsBool, UnmapViewOfFile(va));
    PROBE_CALL(probe::AsBool, UnmapViewOfFile(vb));
    PROBE_CALL(probe::AsHandleThenClose, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, t.Name("map")));
    // A view that is gone, and an address that never was one.
    PROBE_CALL(probe::AsBool, UnmapViewOfFile(va));
    PROBE_CALL(probe::AsBool, UnmapViewOfFile(nullptr));
}

PROBE_SCENARIO(mapping_bad_requests)
{
    HANDLE h = nullptr, ro = nullptr;
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr));
    PROBE_CALL(probe::AsHandleThenClose,
               CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, t.Name("zero")));
    PROBE_CALL(probe::AsHandle, h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8244, nullptr));
    // Offsets are multiples of the allocation granularity (64 KiB).
    PROBE_CALL(probe::AsPointer, MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 4096, 0));
    PROBE_CALL(probe::AsPointer, MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0x10000, 0));
    // Beyond the size, within the last page and past it.
    void* v = nullptr;
    PROBE_CALL(probe::AsPointer, v = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 8245));
    if (v) UnmapViewOfFile(v);
    PROBE_CALL(probe::AsPointer, v = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 20000));
    if (v) UnmapViewOfFile(v);
    PROBE_CALL(probe::AsBool, CloseHandle(h));
    // A read-only mapping gives read views only.
    PROBE_CALL(probe::AsHandle, ro = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 4096, nullptr));
    PROBE_CALL(probe::AsPointer, v = MapViewOfFile(ro, FILE_MAP_WRITE, 0, 0, 0));
    if (v) UnmapViewOfFile(v);
    PROBE_CALL(probe::AsPointer, v = MapViewOfFile(ro, FILE_MAP_READ, 0, 0, 0));
    if (v) t.Check("read-only view reads as zeros", AllZero(v, 4096));
    if (v) UnmapViewOfFile(v);
    PROBE_CALL(probe::AsBool, CloseHandle(ro));
}

// --- interlocked operations ------------------------------------------------------------

PROBE_SCENARIO(interlocked_results)
{
    volatile LONG v = 5;
    PROBE_VALUE(probe::AsInt, InterlockedIncrement(&v));
    PROBE_VALUE(probe::AsInt, InterlockedDecrement(&v));
    PROBE_VALUE(probe::AsInt, InterlockedExchange(&v, -3));
    PROBE_VALUE(probe::AsInt, InterlockedCompareExchange(&v, 10, 4));
    PROBE_VALUE(probe::AsInt, InterlockedCompareExchange(&v, 10, -3));
    PROBE_VALUE(probe::AsInt, v);
    v = 0x7FFFFFFF;
    PROBE_VALUE(probe::AsInt, InterlockedIncrement(&v));
}

// --- system error texts ----------------------------------------------------------------

namespace {

// FormatMessageA's result and the shape of its text; the words depend on the system's
// language (Wine's zh_CN texts are Chinese, winport/posix's English), so they are not shown.
std::string SystemText(DWORD flags, DWORD code, DWORD size)
{
    char buf[512];
    std::memset(buf, '#', sizeof buf);
    const DWORD n = FormatMessageA(flags, nullptr, code, 0, buf, size, nullptr);
    std::string out = n == 0 ? "0" : n < size ? "text" : "length " + std::to_string(n) + " of " + std::to_string(size);
    if (n > 0 && n < sizeof buf) {
        out += std::string(" terminated: ") + (buf[n] == '\0' ? "yes" : "no");
        out += std::string(", ends in CRLF: ") + (n >= 2 && buf[n - 2] == '\r' && buf[n - 1] == '\n' ? "yes" : "no");
    }
    return out;
}

}  // namespace

PROBE_SCENARIO(system_error_texts)
{
    const DWORD sys = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    PROBE_CALL(std::string, SystemText(sys, ERROR_FILE_NOT_FOUND, 512));
    PROBE_CALL(std::string, SystemText(sys, ERROR_ALREADY_EXISTS, 512));
    PROBE_CALL(std::string, SystemText(sys, ERROR_INVALID_HANDLE, 512));
    PROBE_CALL(std::string, SystemText(sys, 0x0012ABCD, 512));
    PROBE_CALL(std::string, SystemText(sys, ERROR_ALREADY_EXISTS, 4));
}
