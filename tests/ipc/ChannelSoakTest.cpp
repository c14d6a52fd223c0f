// Soak: a long stream each way at the same time, random sizes 0 to 4095, every byte compared
// with the expected stream on arrival: nothing lost, nothing reordered, nothing corrupted.
// 100,000 packets each way; 10,000 under ThreadSanitizer, which slows every access tenfold,
// and under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostWindow.h"
#include "IpcTestData.h"
#include "MapIPCTestAccess.h"
#include "ChildProcess.h"
#include "QuietStderr.h"

namespace {

#if defined(__SANITIZE_THREAD__) || defined(_WIN32)
const unsigned long long kPackets = 10000;
#else
const unsigned long long kPackets = 100000;
#endif

const unsigned long long kToPeerSeed = 1001;
const unsigned long long kFromPeerSeed = 2002;

TEST(ChannelSoakTest, StreamsEachWayArriveCompleteAndInOrder)
{
    const std::string name = lktest::UniqueName("soak");
    CMapIPC* pipc = nullptr;
    unsigned long long received = 0, notes = 0, mismatches = 0, notQueued = 0;
    char buf[IPC_RECV_BUF_SIZE];
    lktest::HostWindow window([&](UINT uMsg, WPARAM, LPARAM lParam) {
        if (uMsg != WM_IPC_NOTIFY || lParam != IPC_NOTIFY_DATA) return;
        ++notes;
        BYTE cmd = 0;
        int len = -1;
        while (pipc->RecvPacket(cmd, buf, len) == 0) {
            const lktest::TestPacket want = lktest::MakePacket(kFromPeerSeed, received++);
            if (cmd != want.cmd || len != static_cast<int>(want.data.size()) ||
                std::memcmp(buf, want.data.data(), want.data.size()) != 0)
                ++mismatches;
        }
        if (received < notes) ++notQueued;  // a notification came before its packet
    });
    CMapIPC ipc;
    pipc = &ipc;
    ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
    lktest::ChildProcess peer("ipc_peer", {"client", name, "soak"});
    ASSERT_TRUE(peer.WaitFor("connected", 10000));
    ASSERT_EQ(ipc.ServerWaitForClient(10000), 1);

    lktest::QuietStderr quiet;
    peer.Send("soak " + std::to_string(kPackets) + " " + std::to_string(kFromPeerSeed) + " " +
              std::to_string(kToPeerSeed));
    ASSERT_TRUE(peer.WaitFor("soak-started", 10000)) << "the peer knows what to expect before it gets any";
    unsigned long long sent = 0;
    const DWORD start = ::GetTickCount();
    bool peerDone = false, peerSent = false;
    std::string line;
    while (::GetTickCount() - start < 120000) {
        // Queue a chunk, then serve what has arrived.
        // A refusal is the send queue's bound (the packet is queued again later); the end
        // must still be connected.
        for (int k = 0; k < 32 && sent < kPackets; ++k, ++sent) {
            const lktest::TestPacket p = lktest::MakePacket(kToPeerSeed, sent);
            if (ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())) != 0) break;
        }
        ASSERT_EQ(ipc.IsConnected(), 1);
        window.PumpPending();
        while (peer.ReadLine(line, 0)) {
            ASSERT_EQ(line.find("error"), std::string::npos) << line;
            peerDone = peerDone || line.rfind("soak-recv-done", 0) == 0;
            peerSent = peerSent || line.rfind("soak-sent", 0) == 0;
        }
        if (received == kPackets && peerDone && peerSent && sent == kPackets) break;
        if (sent == kPackets) ::Sleep(1);
    }
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(sent, kPackets);
    EXPECT_EQ(received, kPackets);
    EXPECT_TRUE(peerDone) << "the peer received and checked every packet";
    EXPECT_TRUE(peerSent);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(notQueued, 0u);
    ::printf("soak: %llu packets each way in %u ms\n", kPackets, static_cast<unsigned>(elapsed));
    ipc.CloseIPC();
}

}  // namespace
