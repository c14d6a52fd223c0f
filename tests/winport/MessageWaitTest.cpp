// MsgWaitForMultipleObjects in threads (the rule of "new since the last look" is in the
// differential suite), and the queue's descriptor for hosts with a main loop of their own.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <time.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "winport/posix/user/user.h"

namespace {

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

LRESULT CALLBACK PlainProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

TEST(MessageWaitTest, SleepsWithoutSpinningUntilAPostOrAHandle)
{
    Drain();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD self = GetCurrentThreadId();
    for (const bool byPost : {true, false}) {
        std::thread other([&] {
            Sleep(300);
            if (byPost) PostThreadMessageA(self, WM_USER, 0, 0);
            else SetEvent(event);
        });
        const double cpu = ThreadCpuMs();
        const DWORD start = GetTickCount();
        EXPECT_EQ(byPost ? WAIT_OBJECT_0 + 1 : WAIT_OBJECT_0,
                  MsgWaitForMultipleObjects(1, &event, FALSE, 20000, QS_ALLPOSTMESSAGE));
        EXPECT_GE(GetTickCount() - start, 250u);
        EXPECT_LT(ThreadCpuMs() - cpu, 50.0);
        other.join();
        Drain();
        ResetEvent(event);
    }
    CloseHandle(event);
}

TEST(MessageWaitTest, TerminateThreadEndsALayerThreadInMsgWait)
{
    HANDLE t = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT); },
        nullptr, 0, nullptr);
    ASSERT_NE(nullptr, t);
    Sleep(50);
    EXPECT_TRUE(TerminateThread(t, 77));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 20000));
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(77u, code);
    CloseHandle(t);
}

// The descriptor through every way messages come and go: readable exactly while some wait.
TEST(QueueFdTest, ReadableExactlyWhileMessagesWait)
{
    Drain();
    const int fd = WinportGetMessageQueueFd();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fd, WinportGetMessageQueueFd());
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "LkQueueFdWindow";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND hWnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const DWORD self = GetCurrentThreadId();
    MSG m;
    struct Step {
        const char* what;
        std::function<void()> act;
        bool readable;
    };
    const Step steps[] = {
        {"nothing queued", [] {}, false},
        {"a thread message", [&] { PostThreadMessageA(self, WM_USER, 0, 0); }, true},
        {"a window message", [&] { PostMessageA(hWnd, WM_USER + 1, 0, 0); }, true},
        {"a look without PM_REMOVE", [&] { PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE); }, true},
        {"one of two taken", [&] { PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); }, true},
        {"a filter that matches nothing", [&] { PeekMessageA(&m, nullptr, 1, 2, PM_REMOVE); }, true},
        {"the last taken", [&] { GetMessageA(&m, nullptr, 0, 0); }, false},
        {"a quit", [] { PostQuitMessage(2); }, true},
        {"the quit taken", [&] { GetMessageA(&m, nullptr, 0, 0); }, false},
        {"a message for a window", [&] { PostMessageA(hWnd, WM_USER + 2, 0, 0); }, true},
        {"that window destroyed", [&] { DestroyWindow(hWnd); }, false},
        {"from another thread", [&] { std::thread([&] { PostThreadMessageA(self, WM_USER, 0, 0); }).join(); }, true},
        {"taken", [&] { Drain(); }, false},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(s.readable, Readable(fd)) << s.what;
    }
    EXPECT_TRUE(UnregisterClassA(wc.lpszClassName, nullptr));
}

TEST(QueueFdTest, PostsMakeASystemCallOnlyWhenTheQueueStopsBeingEmpty)
{
    std::atomic<int> fd{-1};
    std::atomic<DWORD> id{0};
    // Manual-reset steps, each set once: made, watch, watching, finish.
    HANDLE step[4];
    for (HANDLE& h : step) h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue, unwatched
        id = GetCurrentThreadId();
        SetEvent(step[0]);
        WaitForSingleObject(step[1], INFINITE);
        fd = WinportGetMessageQueueFd();
        SetEvent(step[2]);
        WaitForSingleObject(step[3], INFINITE);
        Drain();
    });
    WaitForSingleObject(step[0], INFINITE);
    const std::uint64_t before = winport::QueueWatchSystemCalls();
    bool posted = true;
    for (int i = 0; i < 1000; ++i) posted = PostThreadMessageA(id, WM_USER, 0, i) && posted;
    EXPECT_TRUE(posted);
    EXPECT_EQ(before, winport::QueueWatchSystemCalls()) << "nobody watches";
    SetEvent(step[1]);
    WaitForSingleObject(step[2], INFINITE);
    // Watched from now on, with messages waiting already: the descriptor is readable, and
    // 9000 more posts (up to the queue's quota) neither block nor call the system.
    EXPECT_TRUE(Readable(fd));
    const std::uint64_t watched = winport::QueueWatchSystemCalls();
    for (int i = 0; i < 9000; ++i) posted = PostThreadMessageA(id, WM_USER, 0, i) && posted;
    EXPECT_TRUE(posted);
    EXPECT_EQ(watched, winport::QueueWatchSystemCalls());
    SetEvent(step[3]);
    owner.join();
    // The queue went with its thread, and the descriptor with it.
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
    for (HANDLE h : step) CloseHandle(h);
}

}  // namespace
