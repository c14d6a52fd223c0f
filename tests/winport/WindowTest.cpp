// Windows, posted messages and a host's message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "winport/posix/user/user.h"

namespace {

constexpr UINT kNotify = WM_USER + 0x125;  // the channel's notification message

std::vector<MSG> g_received;  // by the test thread's window procedure only

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kNotify) {
        g_received.push_back(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}});
        return 1;
    }
    if (msg == WM_CREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        return cs->lpCreateParams == reinterpret_cast<LPVOID>(-1) ? -1 : 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_received.clear();
        windowsBefore_ = winport::LiveWindowCount();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "LkTestWindow";
        atom_ = RegisterClassA(&wc);
        ASSERT_NE(0, atom_);
        hwnd_ = CreateWindowExA(0, "lktestwindow", "test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, hwnd_);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        EXPECT_TRUE(UnregisterClassA("LkTestWindow", nullptr));
        EXPECT_EQ(windowsBefore_, winport::LiveWindowCount());
    }
    HWND hwnd_ = nullptr;
    ATOM atom_ = 0;

private:
    std::size_t windowsBefore_ = 0;
};

TEST_F(WindowTest, WorkerPostsAndTheHostLoopDispatchesInOrder)
{
    std::thread worker([hwnd = hwnd_] {
        for (LPARAM i = 1; i <= 3; ++i) PostMessageA(hwnd, kNotify, 0, i);
        PostThreadMessageA(0, WM_NULL, 0, 0);  // no such thread: refused, nothing posted
    });
    worker.join();
    PostQuitMessage(5);
    MSG msg;
    BOOL r;
    while ((r = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(0, r);
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(5u, msg.wParam);
    ASSERT_EQ(3u, g_received.size());
    for (LPARAM i = 0; i < 3; ++i) {
        EXPECT_EQ(hwnd_, g_received[i].hwnd);
        EXPECT_EQ(i + 1, g_received[i].lParam);
    }
}

TEST_F(WindowTest, GetMessageBlocksWithoutSpinningUntilAPostArrives)
{
    std::thread worker([hwnd = hwnd_] {
        Sleep(300);
        PostMessageA(hwnd, kNotify, 0, 9);
    });
    timespec before, after;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    const DWORD start = GetTickCount();
    MSG msg;
    ASSERT_EQ(TRUE, GetMessageA(&msg, nullptr, 0, 0));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_LT((after.tv_sec - before.tv_sec) * 1000.0 + (after.tv_nsec - before.tv_nsec) / 1e6, 50.0);
    EXPECT_EQ(9, msg.lParam);
    worker.join();
}

TEST_F(WindowTest, PeekRemovesOnlyWithPmRemoveAndHonoursFilters)
{
    PostMessageA(hwnd_, kNotify, 0, 1);
    PostMessageA(nullptr, WM_APP, 0, 2);  // a thread message
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(1, msg.lParam);
    EXPECT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(2, msg.lParam);
    EXPECT_EQ(nullptr, msg.hwnd);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, hwnd_, kNotify, kNotify, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | 0x00010000));  // a PM_QS_ selector
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
}

TEST_F(WindowTest, PostToADestroyedWindowFails)
{
    PostMessageA(hwnd_, kNotify, 0, 1);
    ASSERT_TRUE(DestroyWindow(hwnd_));
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_FALSE(PostMessageA(hwnd_, kNotify, 0, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // its queued message went too
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), kNotify, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(-1, GetMessageA(&msg, hwnd_, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, WindowsOfAnEndedThreadAreDestroyed)
{
    HWND other = nullptr;
    DWORD otherId = 0;
    std::thread t([&] {
        other = CreateWindowExA(0, "LkTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        otherId = GetCurrentThreadId();
        // Another thread's window: not ours to destroy or send to.
        EXPECT_FALSE(DestroyWindow(hwnd_));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(0, SendMessageA(hwnd_, kNotify, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    });
    t.join();
    ASSERT_NE(nullptr, other);
    EXPECT_FALSE(IsWindow(other));
    EXPECT_FALSE(PostMessageA(other, kNotify, 0, 0));
    EXPECT_FALSE(PostThreadMessageA(otherId, WM_APP, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
}

TEST_F(WindowTest, SendMessageCallsTheProcedureDirectly)
{
    EXPECT_EQ(1, SendMessageA(hwnd_, kNotify, 0, 77));
    ASSERT_EQ(1u, g_received.size());
    EXPECT_EQ(77, g_received[0].lParam);
    EXPECT_TRUE(IsWindow(hwnd_));
    SendMessageA(hwnd_, WM_CLOSE, 0, 0);  // DefWindowProcA destroys the window
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(WindowTest, ClassAndCreationErrors)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "LKTESTWINDOW";
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    EXPECT_FALSE(UnregisterClassA("LkTestWindow", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    EXPECT_EQ(nullptr, CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    // WM_CREATE returning -1 refuses the window.
    EXPECT_EQ(nullptr, CreateWindowExA(0, MAKEINTATOM(atom_), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                       reinterpret_cast<LPVOID>(-1)));
    HWND child = CreateWindowExA(0, MAKEINTATOM(atom_), "", 0, 0, 0, 0, 0, hwnd_, nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, child);
    DestroyWindow(child);
}

TEST_F(WindowTest, QueueRefusesBeyondItsQuota)
{
    int posted = 0;
    while (posted < 20000 && PostMessageA(hwnd_, kNotify, 0, posted)) ++posted;
    EXPECT_EQ(10000, posted);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), GetLastError());
}

TEST_F(WindowTest, ManyThreadsPostConcurrently)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([hwnd = hwnd_] {
            for (int i = 0; i < 250; ++i) PostMessageA(hwnd, kNotify, 0, i);
        });
    int got = 0;
    MSG msg;
    while (got < 1000 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
        ++got;
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(1000u, g_received.size());
}

}  // namespace
