// Waits for all of several objects, the process pseudo handle, and handles that cannot be
// waited on.
#include <gtest/gtest.h>
#include <windows.h>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"
#include "TokenRounds.h"
#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/wait.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

constexpr DWORD kTimeout = static_cast<DWORD>(WAIT_TIMEOUT);

class WaitTest : public lktest::LiveObjectsTest {};

// WaitForSingleObject(h, 0) from a thread of its own; a mutex it gets is released again.
DWORD TryFromAnotherThread(HANDLE h)
{
    DWORD r = WAIT_FAILED;
    std::thread([&] {
        r = WaitForSingleObject(h, 0);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) ReleaseMutex(h);
    }).join();
    return r;
}

DWORD WINAPI ReturnAtOnce(LPVOID) { return 0; }

DWORD WINAPI WaitForEvent(LPVOID event) { return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE); }

// Objects described one letter each:
//   A / a  auto-reset event, set / clear        M / m  manual-reset event, set / clear
//   X      free mutex                           S      mutex this thread owns (once)
//   O      mutex another thread owns            B      abandoned mutex
//   T      ended thread                         R      running thread
//   P      the process pseudo handle
// ExpectState checks the state afterwards, one letter per object: the event letters as
// above; for mutexes 0 free, 1 or 2 owned that many times by this thread, B abandoned, O
// still the other thread's; '-' no check.
class ObjectSet {
public:
    explicit ObjectSet(const std::string& letters) : release_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        for (char c : letters) handles.push_back(Make(c));
    }

    ~ObjectSet()
    {
        SetEvent(release_);
        for (std::thread& t : owners_) t.join();
        for (HANDLE h : running_) WaitForSingleObject(h, 5000);
        for (HANDLE h : handles)
            if (h != GetCurrentProcess()) CloseHandle(h);
        CloseHandle(release_);
    }

    ObjectSet(const ObjectSet&) = delete;
    ObjectSet& operator=(const ObjectSet&) = delete;

    void ExpectState(const std::string& after) const
    {
        ASSERT_EQ(handles.size(), after.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            SCOPED_TRACE("object " + std::to_string(i) + " expected " + after[i]);
            HANDLE h = handles[i];
            switch (after[i]) {
            case 'A':
            case 'M': EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0)); break;
            case 'a':
            case 'm': EXPECT_EQ(kTimeout, WaitForSingleObject(h, 0)); break;
            case '0':
                EXPECT_FALSE(ReleaseMutex(h));
                EXPECT_EQ(WAIT_OBJECT_0, TryFromAnotherThread(h));
                break;
            case '1':
            case '2':
                for (char n = '0'; n < after[i]; ++n) EXPECT_TRUE(ReleaseMutex(h));
                EXPECT_FALSE(ReleaseMutex(h));
                break;
            case 'B': EXPECT_EQ(WAIT_ABANDONED_0, TryFromAnotherThread(h)); break;
            case 'O': EXPECT_EQ(kTimeout, TryFromAnotherThread(h)); break;
            default: break;
            }
        }
    }

    std::vector<HANDLE> handles;

private:
    HANDLE Make(char c)
    {
        switch (c) {
        case 'A':
        case 'a': return CreateEventA(nullptr, FALSE, c == 'A', nullptr);
        case 'M':
        case 'm': return CreateEventA(nullptr, TRUE, c == 'M', nullptr);
        case 'X': return CreateMutexA(nullptr, FALSE, nullptr);
        case 'S': return CreateMutexA(nullptr, TRUE, nullptr);
        case 'O': {
            HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
            HANDLE owned = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            owners_.emplace_back([this, m, owned] {
                WaitForSingleObject(m, INFINITE);
                SetEvent(owned);
                WaitForSingleObject(release_, INFINITE);
                ReleaseMutex(m);
            });
            WaitForSingleObject(owned, INFINITE);
            CloseHandle(owned);
            return m;
        }
        case 'B': {
            HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
            std::thread([m] { WaitForSingleObject(m, 0); }).join();  // ends owning it
            return m;
        }
        case 'T': {
            HANDLE t = CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr);
            WaitForSingleObject(t, INFINITE);
            return t;
        }
        case 'R': {
            HANDLE t = CreateThread(nullptr, 0, WaitForEvent, release_, 0, nullptr);
            running_.push_back(t);
            return t;
        }
        case 'P': return GetCurrentProcess();
        default: ADD_FAILURE() << "unknown object letter " << c; return nullptr;
        }
    }

    HANDLE release_;
    std::vector<std::thread> owners_;
    std::vector<HANDLE> running_;
};

std::string ResultName(DWORD r)
{
    if (r == WAIT_FAILED) return "WAIT_FAILED";
    if (r == kTimeout) return "WAIT_TIMEOUT";
    if (r >= WAIT_ABANDONED_0 && r < WAIT_ABANDONED_0 + MAXIMUM_WAIT_OBJECTS)
        return "WAIT_ABANDONED_0+" + std::to_string(r - WAIT_ABANDONED_0);
    return "WAIT_OBJECT_0+" + std::to_string(r);
}

// --- wait-all within one thread ------------------------------------------------------------

struct AllCase {
    const char* objects;
    DWORD result;
    const char* after;
};

class WaitAllStates : public WaitTest, public ::testing::WithParamInterface<AllCase> {};

TEST_P(WaitAllStates, TakeEverythingOrNothing)
{
    ObjectSet set(GetParam().objects);
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.handles.size()), set.handles.data(), TRUE, 0);
    EXPECT_EQ(ResultName(GetParam().result), ResultName(r));
    set.ExpectState(GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Sets, WaitAllStates,
                         ::testing::Values(AllCase{"AA", WAIT_OBJECT_0, "aa"}, AllCase{"Aa", kTimeout, "Aa"},
                                           AllCase{"aA", kTimeout, "aA"}, AllCase{"AAAa", kTimeout, "AAAa"},
                                           AllCase{"AM", WAIT_OBJECT_0, "aM"}, AllCase{"Am", kTimeout, "Am"},
                                           AllCase{"MM", WAIT_OBJECT_0, "MM"}, AllCase{"AX", WAIT_OBJECT_0, "a1"},
                                           AllCase{"XA", WAIT_OBJECT_0, "1a"}, AllCase{"AO", kTimeout, "AO"},
                                           AllCase{"XO", kTimeout, "0O"}, AllCase{"AS", WAIT_OBJECT_0, "a2"},
                                           AllCase{"XXX", WAIT_OBJECT_0, "111"}, AllCase{"AB", WAIT_ABANDONED_0, "a1"},
                                           AllCase{"BX", WAIT_ABANDONED_0, "11"},
                                           AllCase{"XAB", WAIT_ABANDONED_0, "1a1"}, AllCase{"aB", kTimeout, "aB"},
                                           AllCase{"BO", kTimeout, "BO"}, AllCase{"AT", WAIT_OBJECT_0, "a-"},
                                           AllCase{"AR", kTimeout, "A-"}, AllCase{"TTM", WAIT_OBJECT_0, "--M"},
                                           AllCase{"AP", kTimeout, "A-"}, AllCase{"XP", kTimeout, "0-"}),
                         [](const ::testing::TestParamInfo<AllCase>& info) { return std::string(info.param.objects); });

TEST_F(WaitTest, WaitAllOverSixtyFourEventsTakesThemAllOrNone)
{
    std::vector<HANDLE> e;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) e.push_back(CreateEventA(nullptr, FALSE, i != 40, nullptr));
    EXPECT_EQ(kTimeout, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, e.data(), TRUE, 0));
    SetEvent(e[40]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, e.data(), TRUE, 0));
    EXPECT_EQ(kTimeout, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, e.data(), FALSE, 0));
    for (HANDLE h : e) CloseHandle(h);
}

// --- what a wait-all shows while it takes its objects ----------------------------------------

// Runs in the waiting thread after it has taken everything but the set's last object (a
// manual-reset event, the last in the order of taking).
struct WindowCase {
    const char* label;
    const char* objects;  // the manual-reset event last
    void (*during)(const std::vector<HANDLE>& h, DWORD* seen);
    DWORD result;
    const char* after;
    DWORD seen;  // what `during` saw, if it looks
};

struct HookRun {
    const WindowCase* c;
    const std::vector<HANDLE>* handles;
    DWORD seen = 0;
    int calls = 0;
};

void RunDuring(void* p)
{
    HookRun* run = static_cast<HookRun*>(p);
    if (run->calls++ == 0) run->c->during(*run->handles, &run->seen);
}

void ResetLast(const std::vector<HANDLE>& h) { ResetEvent(h.back()); }

class WaitAllWindow : public WaitTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WaitAllWindow, GivesBackWhatItTookAsItFoundIt)
{
    ObjectSet set(GetParam().objects);
    HookRun run{&GetParam(), &set.handles};
    winport::SetWaitAllTakeHook(RunDuring, &run);
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.handles.size()), set.handles.data(), TRUE, 0);
    winport::SetWaitAllTakeHook(nullptr, nullptr);
    EXPECT_EQ(1, run.calls);
    EXPECT_EQ(ResultName(GetParam().result), ResultName(r));
    EXPECT_EQ(GetParam().seen, run.seen);
    set.ExpectState(GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitAllWindow,
    ::testing::Values(WindowCase{"EventGoesBack", "AM", [](const std::vector<HANDLE>& h, DWORD*) { ResetLast(h); },
                                 kTimeout, "Am", 0},
                      WindowCase{"SetMeanwhileStaysOneSet", "AM",
                                 [](const std::vector<HANDLE>& h, DWORD*) {
                                     SetEvent(h[0]);
                                     ResetLast(h);
                                 },
                                 kTimeout, "Am", 0},
                      WindowCase{"ResetMeanwhileIsKept", "AM",
                                 [](const std::vector<HANDLE>& h, DWORD*) {
                                     ResetEvent(h[0]);
                                     ResetLast(h);
                                 },
                                 kTimeout, "am", 0},
                      WindowCase{"SetAndTakenMeanwhileIsNotRestored", "AM",
                                 [](const std::vector<HANDLE>& h, DWORD* seen) {
                                     SetEvent(h[0]);
                                     *seen = TryFromAnotherThread(h[0]);
                                     ResetLast(h);
                                 },
                                 kTimeout, "am", WAIT_OBJECT_0},
                      WindowCase{"MutexGoesBackFree", "AXM", [](const std::vector<HANDLE>& h, DWORD*) { ResetLast(h); },
                                 kTimeout, "A0m", 0},
                      WindowCase{"OwnMutexKeepsItsCount", "SM",
                                 [](const std::vector<HANDLE>& h, DWORD*) { ResetLast(h); }, kTimeout, "1m", 0},
                      WindowCase{"AbandonedMutexStaysAbandoned", "BM",
                                 [](const std::vector<HANDLE>& h, DWORD*) { ResetLast(h); }, kTimeout, "Bm", 0},
                      // The documented window: a try from another thread finds a held event unsignalled.
                      WindowCase{"TryMeanwhileFindsTheEventHeld", "AM",
                                 [](const std::vector<HANDLE>& h, DWORD* seen) { *seen = TryFromAnotherThread(h[0]); },
                                 WAIT_OBJECT_0, "aM", kTimeout},
                      WindowCase{"TryMeanwhileFindsTheMutexOwned", "XM",
                                 [](const std::vector<HANDLE>& h, DWORD* seen) { *seen = TryFromAnotherThread(h[0]); },
                                 WAIT_OBJECT_0, "1M", kTimeout}),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.label); });

// A thread that went to sleep on an event while a wait-all held it gets it when the wait-all
// gives it back.
struct SleeperDuringWindow {
    std::vector<HANDLE>* handles;
    std::thread sleeper;
    std::atomic<DWORD> got{0};
};

TEST_F(WaitTest, SleeperOnAHeldEventIsWokenByTheGiveBack)
{
    ObjectSet set("AM");
    SleeperDuringWindow s{&set.handles, {}, {WAIT_FAILED}};
    winport::SetWaitAllTakeHook(
        [](void* p) {
            auto* s = static_cast<SleeperDuringWindow*>(p);
            if (s->sleeper.joinable()) return;
            std::atomic<pid_t> tid{0};
            HANDLE e = (*s->handles)[0];
            s->sleeper = std::thread([s, e, &tid] {
                tid = static_cast<pid_t>(GetCurrentThreadId());
                s->got = WaitForSingleObject(e, 10000);
            });
            while (tid.load() == 0) Sleep(1);
            EXPECT_TRUE(lktest::ThreadAsleepSoon(getpid(), tid.load()));
            ResetEvent(s->handles->back());
        },
        &s);
    const DWORD start = GetTickCount();
    EXPECT_EQ(kTimeout, WaitForMultipleObjects(2, set.handles.data(), TRUE, 0));
    winport::SetWaitAllTakeHook(nullptr, nullptr);
    s.sleeper.join();
    EXPECT_EQ(WAIT_OBJECT_0, s.got.load());
    EXPECT_LT(GetTickCount() - start, 5000u);
    set.ExpectState("am");
}

// --- arguments --------------------------------------------------------------------------

TEST_F(WaitTest, WaitAllRefusesTheSameObjectTwice)
{
    const std::string name = UniqueName("twice");
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, name.c_str());
    HANDLE again = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE other = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_TRUE(e && again && m && other);
    const std::vector<std::vector<HANDLE>> lists = {
        {e, e}, {e, other, again}, {m, other, m}, {GetCurrentProcess(), other, GetCurrentProcess()}};
    for (const auto& list : lists) {
        SetLastError(0);
        EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(static_cast<DWORD>(list.size()), list.data(), TRUE, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    // Nothing was taken; in a wait-any the same object twice is allowed.
    EXPECT_FALSE(ReleaseMutex(m));
    HANDLE anyList[] = {e, again};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, anyList, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, 0));
    for (HANDLE h : {e, again, m, other}) CloseHandle(h);
}

struct UnwaitableCase {
    const char* label;
    const char* layout;  // e signalled event, f mapping, n NULL, b a value that is no handle
    BOOL waitAll;
    DWORD error;
};

class UnwaitableHandles : public WaitTest, public ::testing::WithParamInterface<UnwaitableCase> {};

TEST_P(UnwaitableHandles, FirstBadHandleInIndexOrderGivesTheError)
{
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, nullptr);
    ASSERT_TRUE(e && map);
    std::vector<HANDLE> list;
    for (const char* c = GetParam().layout; *c; ++c)
        list.push_back(*c == 'e' ? e : *c == 'f' ? map : *c == 'n' ? nullptr : reinterpret_cast<HANDLE>(0x7FF0));
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(static_cast<DWORD>(list.size()), list.data(), GetParam().waitAll, 0));
    EXPECT_EQ(GetParam().error, GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));  // the signalled event was not consumed
    CloseHandle(e);
    CloseHandle(map);
}

INSTANTIATE_TEST_SUITE_P(Lists, UnwaitableHandles,
                         ::testing::Values(UnwaitableCase{"MappingAlone", "f", FALSE, ERROR_ACCESS_DENIED},
                                           UnwaitableCase{"MappingAfterSignalled", "ef", FALSE, ERROR_ACCESS_DENIED},
                                           UnwaitableCase{"MappingFirst", "fe", FALSE, ERROR_ACCESS_DENIED},
                                           UnwaitableCase{"MappingThenNull", "efn", FALSE, ERROR_ACCESS_DENIED},
                                           UnwaitableCase{"NullThenMapping", "enf", FALSE, ERROR_INVALID_HANDLE},
                                           UnwaitableCase{"BogusThenMapping", "bf", FALSE, ERROR_INVALID_HANDLE},
                                           UnwaitableCase{"AllMappingThenNull", "efn", TRUE, ERROR_ACCESS_DENIED},
                                           UnwaitableCase{"AllNullThenMapping", "enf", TRUE, ERROR_INVALID_HANDLE},
                                           UnwaitableCase{"AllMappingTwice", "ff", TRUE, ERROR_ACCESS_DENIED}),
                         [](const ::testing::TestParamInfo<UnwaitableCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(WaitTest, OtherFunctionsRefuseAMappingAsAWrongKind)
{
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, nullptr);
    ASSERT_NE(nullptr, map);
    EXPECT_FALSE(SetEvent(map));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(ReleaseMutex(map));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(SetEvent(GetCurrentProcess()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(map);
}

// --- the process pseudo handle -----------------------------------------------------------

struct ProcessCase {
    const char* label;
    const char* objects;
    BOOL waitAll;
    DWORD timeout;
    DWORD result;
    const char* after;
};

class ProcessHandleWait : public WaitTest, public ::testing::WithParamInterface<ProcessCase> {};

TEST_P(ProcessHandleWait, IsNeverSignalledForItsOwnProcess)
{
    ObjectSet set(GetParam().objects);
    const DWORD start = GetTickCount();
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.handles.size()), set.handles.data(),
                                           GetParam().waitAll, GetParam().timeout);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(ResultName(GetParam().result), ResultName(r));
    if (r == kTimeout) {
        EXPECT_GE(elapsed, GetParam().timeout);
        EXPECT_LT(elapsed, GetParam().timeout + 1000);
    }
    set.ExpectState(GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProcessHandleWait,
                         ::testing::Values(ProcessCase{"AloneNoWait", "P", FALSE, 0, kTimeout, "-"},
                                           ProcessCase{"AloneTimed", "P", FALSE, 80, kTimeout, "-"},
                                           ProcessCase{"AnyLosesToALaterEvent", "PA", FALSE, 0, WAIT_OBJECT_0 + 1, "-a"},
                                           ProcessCase{"AnyTimedWithClearEvent", "Pa", FALSE, 80, kTimeout, "-a"},
                                           ProcessCase{"AllNeverSatisfied", "AP", TRUE, 80, kTimeout, "A-"},
                                           ProcessCase{"AllWithMutexTakesNothing", "XPA", TRUE, 0, kTimeout, "0-A"}),
                         [](const ::testing::TestParamInfo<ProcessCase>& info) { return std::string(info.param.label); });

TEST_F(WaitTest, ThreadBlockedOnTheProcessHandleCanBeTerminated)
{
    HANDLE t = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(GetCurrentProcess(), INFINITE); }, nullptr, 0,
        nullptr);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(kTimeout, WaitForSingleObject(t, 100));
    EXPECT_TRUE(TerminateThread(t, 17));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(17u, code);
    CloseHandle(t);
}

// --- blocking wait-all ------------------------------------------------------------------

struct BlockedWaitAll {
    std::vector<HANDLE> handles;
    DWORD timeout = 10000;
    DWORD result = WAIT_FAILED;
    double cpuMs = 0;
    bool releaseMutexes = true;
};

DWORD WINAPI WaitAllThread(LPVOID p)
{
    auto* w = static_cast<BlockedWaitAll*>(p);
    const double cpuBefore = lktest::ThreadCpuMs();
    w->result = WaitForMultipleObjects(static_cast<DWORD>(w->handles.size()), w->handles.data(), TRUE, w->timeout);
    w->cpuMs = lktest::ThreadCpuMs() - cpuBefore;
    if (w->releaseMutexes && (w->result == WAIT_OBJECT_0 || w->result == WAIT_ABANDONED_0))
        for (HANDLE h : w->handles) ReleaseMutex(h);  // fails harmlessly on events
    return 0;
}

TEST_F(WaitTest, BlockedWaitAllTakesNothingUntilTheLastIsSignalled)
{
    ObjectSet set("aaXm");
    BlockedWaitAll w{set.handles};
    HANDLE t = CreateThread(nullptr, 0, WaitAllThread, &w, 0, nullptr);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(kTimeout, WaitForSingleObject(t, 100));
    // One by one, with time in between to (wrongly) take what is there.
    SetEvent(set.handles[0]);
    SetEvent(set.handles[3]);
    EXPECT_EQ(kTimeout, WaitForSingleObject(t, 150));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(set.handles[0], 0));  // still there: take it
    EXPECT_EQ(WAIT_OBJECT_0, TryFromAnotherThread(set.handles[2]));    // the mutex is free
    SetEvent(set.handles[0]);
    SetEvent(set.handles[1]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    EXPECT_EQ(WAIT_OBJECT_0, w.result);
    EXPECT_LT(w.cpuMs, 50.0);  // it slept
    set.ExpectState("aa0M");
    CloseHandle(t);
}

TEST_F(WaitTest, WaitAllGetsAMutexWhenItsOwnerReleasesIt)
{
    const std::string name = UniqueName("relmx");
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_TRUE(m && e);
    BlockedWaitAll w{{e, m}};
    w.releaseMutexes = false;  // so that ownership shows afterwards
    HANDLE t = CreateThread(nullptr, 0, WaitAllThread, &w, 0, nullptr);
    EXPECT_EQ(kTimeout, WaitForSingleObject(t, 150));
    const DWORD start = GetTickCount();
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(WAIT_OBJECT_0, w.result);
    EXPECT_EQ(kTimeout, WaitForSingleObject(e, 0));
    // The waiter ended owning the mutex: abandoned.
    EXPECT_EQ(WAIT_ABANDONED_0, TryFromAnotherThread(m));
    CloseHandle(t);
    CloseHandle(e);
    CloseHandle(m);
}

struct AllTimeoutCase {
    bool fallback;
    DWORD timeout;
};

class WaitAllTimeouts : public WaitTest, public ::testing::WithParamInterface<AllTimeoutCase> {};

TEST_P(WaitAllTimeouts, TimeOutWithoutTakingAndStillWake)
{
    const bool old = winport::SetFutexWaitvDisabled(GetParam().fallback);
    ObjectSet set("AXa");
    const DWORD start = GetTickCount();
    EXPECT_EQ(kTimeout, WaitForMultipleObjects(3, set.handles.data(), TRUE, GetParam().timeout));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, GetParam().timeout);
    EXPECT_LT(elapsed, GetParam().timeout + 1000);
    std::thread setter([&] {
        Sleep(50);
        SetEvent(set.handles[2]);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, set.handles.data(), TRUE, 10000));
    setter.join();
    winport::SetFutexWaitvDisabled(old);
    set.ExpectState("a1a");
}

INSTANTIATE_TEST_SUITE_P(Paths, WaitAllTimeouts,
                         ::testing::Values(AllTimeoutCase{false, 0}, AllTimeoutCase{false, 120},
                                           AllTimeoutCase{true, 0}, AllTimeoutCase{true, 120}),
                         [](const ::testing::TestParamInfo<AllTimeoutCase>& info) {
                             return std::string(info.param.fallback ? "Fallback" : "Waitv") +
                                    std::to_string(info.param.timeout);
                         });

TEST_F(WaitTest, TerminatedWaitAllLeavesEverythingAsItWas)
{
    ObjectSet set("AXaM");
    BlockedWaitAll w{set.handles};
    w.timeout = INFINITE;
    HANDLE t = CreateThread(nullptr, 0, WaitAllThread, &w, 0, nullptr);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(kTimeout, WaitForSingleObject(t, 100));
    EXPECT_TRUE(TerminateThread(t, 8));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(8u, code);
    EXPECT_EQ(WAIT_FAILED, w.result);  // never returned
    set.ExpectState("A0aM");
    CloseHandle(t);
}

// --- wait-all against wait-any on the same auto-reset events -------------------------------

struct TokenSetup {
    std::string prefix = UniqueName("tok");
    HANDLE mapping = nullptr;
    lktest::TokenCounters* counters = nullptr;
    HANDLE events[lktest::kTokens] = {};

    TokenSetup()
    {
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(lktest::TokenCounters),
                                     (prefix + "-counters").c_str());
        counters = static_cast<lktest::TokenCounters*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        for (DWORD i = 0; i < lktest::kTokens; ++i)
            events[i] = CreateEventA(nullptr, FALSE, TRUE, lktest::TokenEventName(prefix, i).c_str());
    }
    ~TokenSetup()
    {
        if (counters) UnmapViewOfFile(counters);
        CloseHandle(mapping);
        for (HANDLE e : events) CloseHandle(e);
    }

    // Every token is back, once: each event is set, and a second take finds it gone.
    void ExpectAllTokensBack() const
    {
        EXPECT_EQ(0, counters->duplicates);
        EXPECT_EQ(0, counters->wrongResults);
        for (HANDLE e : events) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
            EXPECT_EQ(kTimeout, WaitForSingleObject(e, 0));
        }
    }
};

struct StressCase {
    const char* label;
    int anyThreads;
    int allThreads;
    bool peerWaitsAll;  // with a peer process that runs rounds of its own
    bool withPeer;
    bool widenWindow;  // this process's wait-alls yield the processor before their last take
};

class TokenStress : public WaitTest, public ::testing::WithParamInterface<StressCase> {};

TEST_P(TokenStress, NothingLostOrDoubled)
{
    constexpr int kAnyRounds = 3000;
    constexpr int kAllRounds = 600;
    TokenSetup tokens;
    ASSERT_NE(nullptr, tokens.counters);
    std::unique_ptr<PeerProcess> peer;
    if (GetParam().withPeer) {
        peer.reset(new PeerProcess({"tokens", tokens.prefix + "-counters", tokens.prefix,
                                    std::to_string(GetParam().peerWaitsAll ? kAllRounds : kAnyRounds),
                                    GetParam().peerWaitsAll ? "1" : "0"}));
        ASSERT_TRUE(peer->WaitFor("ready"));
    }
    std::atomic<int> gaveUp{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < GetParam().anyThreads + GetParam().allThreads; ++i) {
        const bool all = i >= GetParam().anyThreads;
        threads.emplace_back([&, all] {
            if (all && GetParam().widenWindow) winport::SetWaitAllTakeHook([](void*) { Sleep(0); }, nullptr);
            if (lktest::RunTokenRounds(tokens.events, tokens.counters, all, all ? kAllRounds : kAnyRounds, 20000) >= 0)
                ++gaveUp;
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, gaveUp.load());
    if (peer) {
        EXPECT_EQ("done", peer->ReadLine(60000));
        EXPECT_EQ(0, peer->Wait());
    }
    tokens.ExpectAllTokensBack();
}

INSTANTIATE_TEST_SUITE_P(Mixes, TokenStress,
                         ::testing::Values(StressCase{"ThreadsAllAgainstAny", 3, 2, false, false, false},
                                           StressCase{"ThreadsAllAgainstAnyWide", 3, 2, false, false, true},
                                           StressCase{"PeerWaitsAny", 0, 2, false, true, false},
                                           StressCase{"PeerWaitsAnyWide", 0, 2, false, true, true},
                                           StressCase{"PeerWaitsAll", 2, 1, true, true, false}),
                         [](const ::testing::TestParamInfo<StressCase>& info) { return std::string(info.param.label); });

// --- wait-all across processes ----------------------------------------------------------

TEST_F(WaitTest, PeerWaitAllTakesNothingUntilBothAreSignalled)
{
    const std::string eventName = UniqueName("pwe");
    const std::string mutexName = UniqueName("pwm");
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
    HANDLE m = CreateMutexA(nullptr, TRUE, mutexName.c_str());
    ASSERT_TRUE(e && m);
    PeerProcess peer({"wait-all", eventName, mutexName, "10000"});
    ASSERT_TRUE(peer.WaitFor("waiting"));
    ASSERT_TRUE(peer.WaitUntilAsleep());
    SetEvent(e);
    ASSERT_TRUE(peer.WaitUntilAsleep());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));  // the peer left it
    SetEvent(e);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ("result 0", peer.ReadLine());
    EXPECT_EQ(0, peer.Wait());
    EXPECT_EQ(kTimeout, WaitForSingleObject(e, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));  // released by the peer
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(e);
    CloseHandle(m);
}

TEST_F(WaitTest, WaitAllGetsTheMutexOfAKilledPeerAbandoned)
{
    const std::string eventName = UniqueName("kwe");
    const std::string mutexName = UniqueName("kwm");
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, eventName.c_str());
    ASSERT_NE(nullptr, e);
    PeerProcess holder({"mutex-hold", mutexName});
    ASSERT_TRUE(holder.WaitFor("ready"));
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, mutexName.c_str());
    ASSERT_NE(nullptr, m);
    HANDLE both[] = {e, m};
    EXPECT_EQ(kTimeout, WaitForMultipleObjects(2, both, TRUE, 50));
    std::thread killer([&] {
        Sleep(100);
        holder.Kill();
    });
    EXPECT_EQ(WAIT_ABANDONED_0, WaitForMultipleObjects(2, both, TRUE, 5000));
    killer.join();
    EXPECT_EQ(kTimeout, WaitForSingleObject(e, 0));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    CloseHandle(m);
    CloseHandle(e);
}

}  // namespace
