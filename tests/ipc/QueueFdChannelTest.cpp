// A host with a main loop of its own (Linux): an epoll loop over the thread's queue
// descriptor receives every notification of a peer process's packets, and nothing wakes it
// while nothing arrives.
#include <gtest/gtest.h>

#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostWindow.h"
#include "IpcTestData.h"
#include "ipc/MapIPC.h"

namespace {

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

class EpollHost {
public:
    EpollHost() : epoll_(epoll_create1(EPOLL_CLOEXEC))
    {
        epoll_event ev{};
        ev.events = EPOLLIN;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, WinportGetMessageQueueFd(), &ev);
    }
    ~EpollHost() { close(epoll_); }

    // One turn of the loop: sleeps until the descriptor is readable (or timeoutMs), then
    // dispatches every waiting message. False when it timed out.
    bool Turn(int timeoutMs)
    {
        epoll_event ev;
        if (epoll_wait(epoll_, &ev, 1, timeoutMs) != 1) return false;
        ++wakes;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        return true;
    }

    int wakes = 0;

private:
    const int epoll_;
};

TEST(QueueFdChannelTest, PeerPacketsWakeAnEpollLoopAndNothingElseDoes)
{
    CMapIPC ipc;
    std::vector<lktest::TestPacket> received;
    int connects = 0, notifications = 0;
    lktest::HostWindow window([&](UINT msg, WPARAM, LPARAM lParam) {
        if (msg != WM_IPC_NOTIFY) return;
        connects += lParam == IPC_NOTIFY_CONNECT;
        if (lParam != IPC_NOTIFY_DATA) return;
        ++notifications;
        char buf[IPC_RECV_BUF_SIZE];
        BYTE cmd = 0;
        int len = 0;
        while (ipc.RecvPacket(cmd, buf, len) == 0)
            received.push_back({cmd, std::string(buf, static_cast<size_t>(len))});
    });
    EpollHost host;
    const std::string name = lktest::UniqueName("qfd");
    ASSERT_NE(nullptr, ipc.CreateServerMapIPC(name.c_str(), window.Handle()));
    lktest::ChildProcess peer("ipc_peer", {"client", name, "sink"});
    ASSERT_TRUE(peer.WaitFor("connected", 10000)) << peer.Transcript();
    while (connects == 0 && host.Turn(10000)) {
    }
    ASSERT_EQ(1, connects);

    const int count = 400;
    peer.Send("send 41 " + std::to_string(count) + " 300");
    const int wakesBefore = host.wakes;
    while (received.size() < static_cast<size_t>(count) && host.Turn(10000)) {
    }
    ASSERT_EQ(static_cast<size_t>(count), received.size());
    for (int i = 0; i < count; ++i) {
        const lktest::TestPacket want = lktest::MakePacket(41, static_cast<unsigned>(i), 300);
        ASSERT_EQ(want.cmd, received[i].cmd) << i;
        ASSERT_EQ(want.data, received[i].data) << i;
    }
    // Each wake found at least one notification waiting.
    EXPECT_LE(host.wakes - wakesBefore, notifications);

    // The notifications of packets that were taken together may still come; then nothing.
    while (host.Turn(200)) {
    }
    const double cpu = ThreadCpuMs();
    EXPECT_FALSE(host.Turn(1000)) << "woken with nothing sent";
    EXPECT_LT(ThreadCpuMs() - cpu, 10.0);
    ipc.CloseIPC();
}

}  // namespace
