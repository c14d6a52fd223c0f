// Threads: exit codes, waits on thread handles, and TerminateThread at each kind of
// blocking call of the layer.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"

namespace {

class ThreadTest : public lktest::LiveObjectsTest {};

DWORD WINAPI ReturnParameter(LPVOID p) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(p)); }

TEST_F(ThreadTest, HandleIsSignalledWithTheReturnedExitCode)
{
    HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE gate;
    } args{gate};
    DWORD id = 0;
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            WaitForSingleObject(static_cast<Args*>(p)->gate, INFINITE);
            return 42;
        },
        &args, 0, &id);
    ASSERT_NE(nullptr, t);
    EXPECT_NE(0u, id);
    EXPECT_NE(GetCurrentThreadId(), id);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(t, 20));
    SetEvent(gate);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 0));  // stays signalled
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(42u, code);
    CloseHandle(t);
    CloseHandle(gate);
}

TEST_F(ThreadTest, UnsupportedCreationIsRefused)
{
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, ReturnParameter, nullptr, CREATE_SUSPENDED, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    HANDLE t = CreateThread(nullptr, 256 * 1024, ReturnParameter, reinterpret_cast<LPVOID>(7), 0, nullptr);
    ASSERT_NE(nullptr, t);
    WaitForSingleObject(t, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(7u, code);
    CloseHandle(t);
}

// What a thread to be terminated does while it blocks.
struct Victim {
    HANDLE mutex;    // owned by the victim before it blocks
    HANDLE event;    // never set
    HANDLE started;  // set when the victim is about to block
    std::atomic<bool> unwound{false};
    int kind;
};

struct SetOnUnwind {
    std::atomic<bool>& flag;
    ~SetOnUnwind() { flag = true; }
};

enum BlockKind { kWaitSingle, kWaitMultiple, kSleep, kSleepZeroLoop, kGetMessage, kPeekLoop };

DWORD WINAPI VictimProc(LPVOID p)
{
    Victim* v = static_cast<Victim*>(p);
    SetOnUnwind guard{v->unwound};
    WaitForSingleObject(v->mutex, INFINITE);
    SetEvent(v->started);
    MSG msg;
    switch (v->kind) {
    case kWaitSingle: WaitForSingleObject(v->event, INFINITE); break;
    case kWaitMultiple: {
        HANDLE both[2] = {v->event, v->event};
        WaitForMultipleObjectsEx(2, both, FALSE, INFINITE, TRUE);
        break;
    }
    case kSleep: Sleep(INFINITE); break;
    case kSleepZeroLoop:
        for (;;) Sleep(0);
    case kGetMessage: GetMessageA(&msg, nullptr, 0, 0); break;
    case kPeekLoop:
        for (;;) PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    }
    return 1;  // not reached when terminated
}

class TerminateBlockedThread : public ThreadTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminateBlockedThread, EndsItReleasesItsMutexAsAbandonedAndRunsDestructors)
{
    Victim v;
    v.mutex = CreateMutexA(nullptr, FALSE, lktest::UniqueName("victim").c_str());
    v.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    v.started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    v.kind = GetParam();
    HANDLE t = CreateThread(nullptr, 0, VictimProc, &v, 0, nullptr);
    ASSERT_NE(nullptr, t);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(v.started, 5000));
    Sleep(50);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(v.mutex, 0));
    ASSERT_TRUE(TerminateThread(t, 0xFFFFFFFD));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(0xFFFFFFFDu, code);
    EXPECT_TRUE(v.unwound.load());
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(v.mutex, 0));
    EXPECT_TRUE(ReleaseMutex(v.mutex));
    EXPECT_TRUE(TerminateThread(t, 5));  // already ended: changes nothing
    GetExitCodeThread(t, &code);
    EXPECT_EQ(0xFFFFFFFDu, code);
    CloseHandle(t);
    CloseHandle(v.mutex);
    CloseHandle(v.event);
    CloseHandle(v.started);
}

INSTANTIATE_TEST_SUITE_P(AtEachBlockingCall, TerminateBlockedThread,
                         ::testing::Values(kWaitSingle, kWaitMultiple, kSleep, kSleepZeroLoop, kGetMessage, kPeekLoop));

TEST_F(ThreadTest, ThreadCanTerminateItself)
{
    HANDLE self = nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE* self;
        HANDLE ready;
    } args{&self, ready};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Args* a = static_cast<Args*>(p);
            WaitForSingleObject(a->ready, INFINITE);
            TerminateThread(*a->self, 9);
            return 1;
        },
        &args, 0, nullptr);
    self = t;
    SetEvent(ready);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(9u, code);
    CloseHandle(t);
    CloseHandle(ready);
}

TEST_F(ThreadTest, ThreadThatClosedItsOwnHandleCannotBeTerminatedThroughIt)
{
    // The channel's worker closes its own handle as its last act; a late TerminateThread
    // through the old value must fail cleanly.
    HANDLE handle = nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE* handle;
        HANDLE ready;
        HANDLE done;
    } args{&handle, ready, done};
    handle = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Args* a = static_cast<Args*>(p);
            WaitForSingleObject(a->ready, INFINITE);
            CloseHandle(*a->handle);
            SetEvent(a->done);
            return 0;
        },
        &args, 0, nullptr);
    ASSERT_NE(nullptr, handle);
    SetEvent(ready);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 5000));
    EXPECT_FALSE(TerminateThread(handle, 0xFFFFFFFD));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(ready);
    CloseHandle(done);
}

TEST_F(ThreadTest, LastErrorIsPerThread)
{
    SetLastError(1234);
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            const DWORD initial = GetLastError();
            SetLastError(77);
            return initial;
        },
        nullptr, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(1234u, GetLastError());
    CloseHandle(t);
}

TEST_F(ThreadTest, TickCountIsMonotonicMilliseconds)
{
    const DWORD a = GetTickCount();
    Sleep(100);
    const DWORD elapsed = GetTickCount() - a;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 1000u);
}

}  // namespace
