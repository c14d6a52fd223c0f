// Kill soak: trial after trial, a peer process (a game or a lobby, at random) streams packets
// to this process's end and is killed at a random moment. Each death must be seen as an exit
// within a second, everything that arrived must be a whole, in-order prefix of the peer's
// stream, a server end here must take the next game without being reopened, and once all is
// closed no file may be left in the namespace directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "ChildProcess.h"
#include "HostWindow.h"
#include "IpcTestData.h"
#include "MapIPCTestAccess.h"
#include "OwnNamespace.h"
#include "QuietStderr.h"

namespace {

#if defined(__SANITIZE_THREAD__) || defined(_WIN32)
const int kTrials = 40;  // a process start costs ten times as much there
#else
const int kTrials = 400;
#endif
const int kMaxLen = 2000;

TEST(ChannelKillSoak, EveryDeathIsAnExitAndWhatArrivedIsWhole)
{
#ifndef _WIN32
    // Children inherit it: what is left there afterwards can be listed.
    lktest::OwnNamespace ns("killsoak");
    ASSERT_TRUE(ns.Ok());
#endif
    const unsigned seed = std::random_device{}();
    std::printf("kill soak seed %u\n", seed);
    std::mt19937 rng(seed);
    const std::string name = lktest::UniqueName("kill");

    CMapIPC* pipc = nullptr;
    unsigned long long streamSeed = 0, got = 0, bad = 0;
    int exits = 0;
    char buf[IPC_RECV_BUF_SIZE];
    auto take = [&] {
        BYTE cmd = 0;
        int len = -1;
        while (pipc->RecvPacket(cmd, buf, len) == 0) {
            const lktest::TestPacket want = lktest::MakePacket(streamSeed, got++, kMaxLen);
            if (cmd != want.cmd || len != static_cast<int>(want.data.size()) ||
                std::memcmp(buf, want.data.data(), want.data.size()) != 0)
                ++bad;
        }
    };
    lktest::HostWindow window([&](UINT uMsg, WPARAM, LPARAM lParam) {
        if (uMsg != WM_IPC_NOTIFY) return;
        if (lParam == IPC_NOTIFY_DATA) take();
        if (lParam == IPC_NOTIFY_EXIT) ++exits;
    });
    CMapIPC ipc;
    pipc = &ipc;
    lktest::QuietStderr quiet;
    DWORD slowest = 0;
    unsigned long long packets = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        SCOPED_TRACE(testing::Message() << "trial " << trial << " (seed " << seed << ")");
        const bool gameDies = rng() % 2 == 0;
        std::unique_ptr<lktest::ChildProcess> peer;
        if (gameDies) {
            // This end stays open from one game to the next.
            if (!ipc.IsValid()) {
                ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
            }
            peer = std::make_unique<lktest::ChildProcess>("ipc_peer", std::vector<std::string>{"client", name, "sink"});
            ASSERT_TRUE(peer->WaitFor("connected", 10000)) << peer->Transcript();
            ASSERT_TRUE(window.PumpUntil([&] { return ipc.IsConnected() == 1; }, 10000));
        } else {
            if (ipc.IsValid()) ipc.CloseIPC();
            peer = std::make_unique<lktest::ChildProcess>("ipc_peer", std::vector<std::string>{"server", name, "sink"});
            ASSERT_TRUE(peer->WaitFor("ready", 10000)) << peer->Transcript();
            ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
            // A server queues nothing before its connect notification.
            ASSERT_TRUE(peer->WaitFor("connect", 10000)) << peer->Transcript();
        }
#ifndef _WIN32
        if (trial == 0) {
            ASSERT_FALSE(ns.Files().empty()) << "the channel's objects are in " << ns.Dir();
        }
#endif
        streamSeed = 5000 + static_cast<unsigned long long>(trial);
        got = bad = 0;
        exits = 0;
        peer->Send("send " + std::to_string(streamSeed) + " 400 " + std::to_string(kMaxLen));
        for (unsigned i = 0; i < 100; ++i) {
            const lktest::TestPacket p = lktest::MakePacket(7, i, kMaxLen);
            ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size()));
        }
        const DWORD until = ::GetTickCount() + rng() % 20;
        window.PumpUntil([&] { return static_cast<LONG>(::GetTickCount() - until) >= 0; }, 100);
        peer->Kill();
        const DWORD killed = ::GetTickCount();
        ASSERT_TRUE(window.PumpUntil([&] { return exits > 0; }, 1000)) << "death not seen within 1000 ms";
        slowest = std::max(slowest, ::GetTickCount() - killed);
        take();  // whatever arrived before the exit
        EXPECT_EQ(bad, 0u) << "of " << got;
        packets += got;
        EXPECT_EQ(ipc.IsConnected(), 0);
        EXPECT_EQ(ipc.QueuePacket(1, "x", 1), 1);
        // The death is seen while the kernel is still tearing the process down; its files
        // are its own until that ends. An end closed before then leaves the object files
        // to the next process that uses the namespace, which removes them.
        EXPECT_GE(peer->Wait(5000), 0);
        if (!gameDies) ipc.CloseIPC();
        if (HasFatalFailure()) return;
    }
    ipc.CloseIPC();
    std::printf("kill soak: %d trials, %llu packets arrived whole, slowest death seen after %u ms\n", kTrials, packets,
                static_cast<unsigned>(slowest));
#ifndef _WIN32
    EXPECT_TRUE(ns.Files().empty()) << ns.Files().size() << " files left, the first " << ns.Files()[0];
#endif
}

}  // namespace
