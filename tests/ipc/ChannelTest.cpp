// The channel across two real processes: this test process holds one end with a window and a
// message loop, the ipc_peer helper the other.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Gbk.h"
#include "HostWindow.h"
#include "IpcTestData.h"
#include "MapIPCTestAccess.h"
#include "ChildProcess.h"

using lktest::ChildProcess;
using lktest::TestPacket;

namespace {

using A = CMapIPCTestAccess;

const int kPeerTimeout = 10000;

std::string Hex(const std::vector<BYTE>& bytes)
{
    std::string s;
    char b[3];
    for (BYTE v : bytes) {
        std::snprintf(b, sizeof b, "%02x", v);
        s += b;
    }
    return s;
}

// Value of "key=NUMBER" in a peer's report line, or -1.
long Field(const std::string& line, const std::string& key)
{
    const size_t at = line.find(key + "=");
    return at == std::string::npos ? -1 : std::stol(line.substr(at + key.size() + 1));
}

// The number after a report word ("closed 12" -> 12).
long Number(const std::string& line)
{
    std::istringstream in(line);
    std::string word;
    long n = -1;
    in >> word >> n;
    return n;
}

class ChannelTest : public ::testing::Test {
protected:
    void OnMessage(UINT uMsg, LPARAM lParam)
    {
        if (uMsg != WM_IPC_NOTIFY) return;
        notes.push_back(lParam);
        if (lParam != IPC_NOTIFY_DATA || !takeOnData) return;
        // As a host should: take packets until none is waiting (a posted message can be
        // refused when the host's queue is full; the packets it announces are not lost).
        char buf[IPC_RECV_BUF_SIZE];
        BYTE cmd = 0;
        int len = -1;
        while (ipc.RecvPacket(cmd, buf, len) == 0)
            received.push_back({cmd, std::string(buf, static_cast<size_t>(len))});
        // Each notification is posted after its packet was queued: by the k-th one, at least
        // k packets have been taken.
        if (received.size() < static_cast<size_t>(Count(IPC_NOTIFY_DATA))) ++notQueued;
    }

    int Count(LPARAM code) const
    {
        int n = 0;
        for (LPARAM c : notes) n += c == code;
        return n;
    }

    bool Pump(const std::function<bool()>& done, DWORD ms = kPeerTimeout) { return window.PumpUntil(done, ms); }

    // n packets taken and their n notifications dispatched: the first notification may take
    // every packet while the worker is still posting the others.
    bool AllIn(size_t n) const { return received.size() >= n && static_cast<size_t>(Count(IPC_NOTIFY_DATA)) >= n; }

    // Starts a peer and waits for its first report. The fixture keeps it until this end has
    // closed, so that the peer can still take the exit frame.
    ChildProcess* StartPeer(std::vector<std::string> args, const char* expect)
    {
        peers.push_back(std::make_unique<ChildProcess>("ipc_peer", args));
        ChildProcess* peer = peers.back().get();
        EXPECT_TRUE(peer->Started());
        std::string line;
        EXPECT_TRUE(peer->WaitFor(expect, line, kPeerTimeout)) << peer->Transcript();
        return peer;
    }

    // Opens this end as server and connects a peer client; returns the peer.
    ChildProcess* ServeClient(const char* mode = "echo")
    {
        EXPECT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
        const int connects = Count(IPC_NOTIFY_CONNECT);
        auto peer = StartPeer({"client", name, mode}, "connected");
        EXPECT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) > connects; }));
        return peer;
    }

    void ExpectReceived(const std::vector<TestPacket>& want)
    {
        ASSERT_EQ(received.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(received[i].cmd, want[i].cmd) << "packet " << i;
            EXPECT_TRUE(received[i].data == want[i].data) << "packet " << i << " differs";
        }
    }

    std::string name = lktest::UniqueName("ch");
    std::vector<LPARAM> notes;
    std::vector<TestPacket> received;
    int notQueued = 0;
    bool takeOnData = true;
    std::vector<std::unique_ptr<ChildProcess>> peers;
    lktest::HostWindow window{[this](UINT m, WPARAM, LPARAM l) { OnMessage(m, l); }};
    CMapIPC ipc;  // destroyed before the window
};

// --- Opening and the connect handshake ---------------------------------------------------

TEST_F(ChannelTest, ClientConnectsAndTheServerIsNotified)
{
    ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
    EXPECT_EQ(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr) << "already open";
    EXPECT_EQ(ipc.InitIPc(name.c_str()), 0) << "attached already";
    EXPECT_EQ(ipc.IsConnected(), 0);
    StartPeer({"client", name}, "connected");
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 1; }));
    EXPECT_EQ(ipc.ServerWaitForClient(5000), 1);
    EXPECT_EQ(ipc.IsConnected(), 1);
    EXPECT_EQ(A::ConnectCount(ipc), 1u);
    EXPECT_EQ(A::Record(ipc)->wSignature, IPC_SIGNATURE);

    CMapIPC second;
    EXPECT_EQ(second.CreateServerMapIPC(name.c_str(), nullptr), nullptr) << "a second server on the name";
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(second.ConnectServerMapIPC(name.c_str(), nullptr), nullptr) << "a client is attached already";
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_EQ(second.IsValid(), 0);

    // The refused client touched nothing: the session goes on.
    ASSERT_EQ(ipc.QueuePacket(12, "ping", 4), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].data, "ping");
}

TEST_F(ChannelTest, ClientOfANameNoServerHoldsFailsAtOnce)
{
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_EQ(ipc.IsValid(), 0);
}

TEST_F(ChannelTest, ConnectRequestNotTakenFailsAfter4000msAndIsWithdrawn)
{
    auto fake = StartPeer({"fake-server", name, "0x0613"}, "ready");
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 4000u);
    EXPECT_LT(elapsed, 6000u);
    EXPECT_EQ(ipc.IsValid(), 0) << "the end is closed again";
    EXPECT_EQ(A::Thread(ipc), nullptr);
    fake->Send("state");
    std::string line;
    ASSERT_TRUE(fake->WaitFor("state", line, kPeerTimeout));
    EXPECT_EQ(Field(line, "client-status"), 0) << "a server waking later finds no request: " << line;
    EXPECT_EQ(Field(line, "count"), 0);
}

TEST_F(ChannelTest, RecordWithAWrongSignatureIsRefusedUntouched)
{
    auto fake = StartPeer({"fake-server", name, "0x1306"}, "ready");
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    EXPECT_LT(::GetTickCount() - start, 1000u);
    fake->Send("state");
    std::string line;
    ASSERT_TRUE(fake->WaitFor("state", line, kPeerTimeout));
    EXPECT_EQ(Field(line, "server-status"), 1) << "a refused client must not clear the record: " << line;
}

#ifndef _WIN32
// Linux only: the hook that captures message boxes belongs to winport (on Windows the box
// would be shown).
struct CapturedBox {
    int count = 0;
    std::string text, caption;
};
CapturedBox g_box;

int CaptureBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    ++g_box.count;
    g_box.text = text ? text : "";
    g_box.caption = caption ? caption : "";
    return IDOK;
}

TEST_F(ChannelTest, ChannelNamesAreBoundedAndAFailedMappingIsShown)
{
    g_box = CapturedBox();
    WINPORT_MESSAGEBOX_HANDLER old = WinportSetMessageBoxHandler(&CaptureBox);

    const std::string tooLong = name + std::string(249 - name.size(), 'n');
    EXPECT_EQ(ipc.CreateServerMapIPC(tooLong.c_str(), nullptr), nullptr);
    EXPECT_EQ(ipc.ConnectServerMapIPC(tooLong.c_str(), nullptr), nullptr);
    EXPECT_EQ(ipc.CreateServerMapIPC(nullptr, nullptr), nullptr);
    EXPECT_EQ(g_box.count, 0) << "refused quietly";

    // The longest name that works: with its longest suffix ("_ServerBufMutex") an object
    // name stays under MAX_PATH characters, the system's limit for every object name. Longer
    // names up to the channel's own limit are taken but the system refuses their objects.
    const std::string longest = name + std::string(MAX_PATH - 1 - 15 - name.size(), 'n');
    ASSERT_NE(ipc.CreateServerMapIPC(longest.c_str(), nullptr), nullptr);
    EXPECT_STREQ(A::Name(ipc), longest.c_str());
    CMapIPC client;
    ASSERT_NE(client.ConnectServerMapIPC(longest.c_str(), nullptr), nullptr);
    EXPECT_EQ(ipc.ServerWaitForClient(5000), 1);
    client.CloseIPC();
    ipc.CloseIPC();
    EXPECT_EQ(g_box.count, 0);

    // The system refuses the mapping (a backslash in the name): the one message box.
    const std::string bad = name + "\\x";
    EXPECT_EQ(ipc.CreateServerMapIPC(bad.c_str(), nullptr), nullptr);
    WinportSetMessageBoxHandler(old);
    EXPECT_EQ(g_box.count, 1);
    EXPECT_EQ(g_box.caption, lktest::Gbk("IPC错误"));
    const std::string head = lktest::Gbk("创建客户端连接失败,失败代码为 3,错误信息: ");
    EXPECT_EQ(g_box.text.compare(0, head.size(), head), 0) << lktest::Utf8(g_box.text);
    EXPECT_GT(g_box.text.size(), head.size() + 1) << "the system text follows";
    EXPECT_EQ(g_box.text.back(), ' ');
    EXPECT_EQ(ipc.IsValid(), 0);
}
#endif

// --- Data --------------------------------------------------------------------------------

TEST_F(ChannelTest, PacketsTravelBothWaysInOrderWithOneNotificationEach)
{
    ServeClient("echo");
    // Queued while the own area is locked: the worker then writes them as one batch.
    std::vector<TestPacket> sent = {{0, ""}, {1, "a"}, lktest::MakeSizedPacket(5, 0, IPC_MAX_DATA_LEN)};
    for (int i = 0; i < 40; ++i) sent.push_back(lktest::MakePacket(6, static_cast<unsigned>(i), 100));
    {
        ASSERT_EQ(::WaitForSingleObject(A::ServerMutex(ipc), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        for (const auto& p : sent) ASSERT_EQ(ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())), 0);
        ::Sleep(20);  // let the worker wake and wait for the mutex
        ::ReleaseMutex(A::ServerMutex(ipc));
    }
    ASSERT_TRUE(Pump([&] { return AllIn(sent.size()); })) << received.size();
    ExpectReceived(sent);
    EXPECT_EQ(notQueued, 0);
    EXPECT_EQ(Count(IPC_NOTIFY_DATA), static_cast<int>(sent.size()));
}

TEST_F(ChannelTest, PeerBurstsOfEmptyAndLargestPacketsArriveWhole)
{
    auto peer = ServeClient("echo");
    std::vector<TestPacket> want;
    for (unsigned i = 0; i < 12; ++i) want.push_back(lktest::MakeSizedPacket(21, i, 0));
    for (unsigned i = 0; i < 12; ++i) want.push_back(lktest::MakeSizedPacket(22, i, IPC_MAX_DATA_LEN));
    for (unsigned i = 0; i < 300; ++i) want.push_back(lktest::MakePacket(23, i, 50));
    peer->Send("sendsized 21 12 0");
    peer->Send("sendsized 22 12 4095");
    peer->Send("send 23 300 50");
    ASSERT_TRUE(Pump([&] { return AllIn(want.size()); })) << received.size() << "\n" << peer->Transcript();
    ExpectReceived(want);
    EXPECT_EQ(notQueued, 0);
    EXPECT_EQ(Count(IPC_NOTIFY_DATA), static_cast<int>(want.size()));
}

TEST_F(ChannelTest, EndWithoutAWindowExchangesPacketsAndPostsNothing)
{
    auto server = StartPeer({"server", name, "echo"}, "ready");
    ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), nullptr), nullptr);
    ASSERT_TRUE(server->WaitFor("connect", kPeerTimeout));
    for (unsigned i = 0; i < 5; ++i) {
        const TestPacket p = lktest::MakePacket(31, i, 300);
        ASSERT_EQ(ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())), 0);
    }
    char buf[IPC_RECV_BUF_SIZE];
    ASSERT_TRUE(Pump([&] {
        BYTE cmd;
        int len;
        while (ipc.RecvPacket(cmd, buf, len) == 0)
            received.push_back({cmd, std::string(buf, static_cast<size_t>(len))});
        return received.size() >= 5;
    }));
    std::vector<TestPacket> want;
    for (unsigned i = 0; i < 5; ++i) want.push_back(lktest::MakePacket(31, i, 300));
    ExpectReceived(want);
    EXPECT_TRUE(notes.empty());
}

// --- Leaving -----------------------------------------------------------------------------

TEST_F(ChannelTest, ClientExitResetsTheServerAndASecondClientConnects)
{
    auto first = ServeClient("echo");
    first->Send("close");
    std::string line;
    ASSERT_TRUE(first->WaitFor("closed", line, kPeerTimeout));
    EXPECT_LT(Number(line), 1500) << "nothing pending: the close is prompt";
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; }));
    EXPECT_EQ(ipc.IsConnected(), 0);
    EXPECT_EQ(A::ConnectCount(ipc), 0u);
    EXPECT_EQ(ipc.QueuePacket(1, "x", 1), 1) << "no client to send to";

    StartPeer({"client", name, "echo"}, "connected");
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 2; }));
    EXPECT_EQ(ipc.ServerWaitForClient(5000), 1);
    ASSERT_EQ(ipc.QueuePacket(33, "again", 5), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].cmd, 33);
    EXPECT_EQ(received[0].data, "again");
}

TEST_F(ChannelTest, ServerCloseDrainsQueuedPacketsThenTheClientSeesTheExit)
{
    auto peer = ServeClient("lazy");
    for (unsigned i = 0; i < 50; ++i) {
        const TestPacket p = lktest::MakePacket(41, i);
        ASSERT_EQ(ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())), 0);
    }
    const DWORD start = ::GetTickCount();
    ipc.CloseIPC();
    EXPECT_LT(::GetTickCount() - start, 3000u) << "drain (up to 1500 ms) and the peer's take";
    EXPECT_EQ(ipc.IsValid(), 0);
    std::string line;
    ASSERT_TRUE(peer->WaitFor("exit", line, kPeerTimeout)) << peer->Transcript();
    EXPECT_EQ(Field(line, "connected"), 0);
    EXPECT_EQ(Field(line, "left"), 50) << "every packet queued before the close arrived and can be taken";

    // The same object opens again, in the other role.
    StartPeer({"server", name + "b", "echo"}, "ready");
    EXPECT_NE(ipc.ConnectServerMapIPC((name + "b").c_str(), window.Handle()), nullptr);
}

TEST_F(ChannelTest, CloseReturnsWithinItsBoundsWhenTheWorkerIsStuck)
{
    auto server = StartPeer({"server", name, "echo"}, "ready");
    ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    ASSERT_TRUE(server->WaitFor("connect", kPeerTimeout));
    // The server writes its area and then keeps its mutex: this end's worker blocks on it.
    server->Send("hold Server 5 10");
    ASSERT_TRUE(server->WaitFor("held", kPeerTimeout));
    ::Sleep(100);
    const DWORD start = ::GetTickCount();
    ipc.CloseIPC();
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 9000u);
    EXPECT_LT(elapsed, 12000u);
    EXPECT_EQ(ipc.IsValid(), 0);
    EXPECT_EQ(A::Thread(ipc), nullptr);
}

// --- Damaged areas -----------------------------------------------------------------------

struct DamageCase {
    const char* name;
    std::vector<BYTE> tail;  // follows one good frame
    int status;              // of the area
};

class ChannelDamageTest : public ChannelTest, public ::testing::WithParamInterface<DamageCase> {};

// A fault in what the client wrote ends its session as its exit would, and it is told.
TEST_P(ChannelDamageTest, MalformedAreaEndsTheSessionAndTheNextClientConnects)
{
    auto peer = ServeClient("echo");
    std::vector<BYTE> area = {0xAA, 2, 0, 17, 'o', 'k'};
    area.insert(area.end(), GetParam().tail.begin(), GetParam().tail.end());
    area.insert(area.end(), {0xAA, 1, 0, 18, 'z'});  // never reached
    peer->Send("inject Client " + std::to_string(GetParam().status) + " " + std::to_string(area.size()) + " " + Hex(area));
    ASSERT_TRUE(peer->WaitFor("injected", kPeerTimeout));
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; }, 1000)) << "the fault is an exit";
    window.PumpPending();
    ASSERT_EQ(received.size(), GetParam().status == 1 ? 1u : 0u) << "frames before the fault are delivered";
    if (!received.empty()) {
        EXPECT_EQ(received[0].data, "ok");
    }
    EXPECT_EQ(ipc.IsConnected(), 0);
    EXPECT_EQ(ipc.QueuePacket(1, "x", 1), 1);
    EXPECT_EQ(A::ConnectCount(ipc), 0u);
    EXPECT_NE(A::Thread(ipc), nullptr) << "the worker goes on";
    std::string line;
    ASSERT_TRUE(peer->WaitFor("exit", line, kPeerTimeout)) << peer->Transcript();
    EXPECT_EQ(Field(line, "connected"), 0);
    peer->Send("close");  // as its host does on the exit; its worker would read on meanwhile
    ASSERT_TRUE(peer->WaitFor("closed", kPeerTimeout));

    StartPeer({"client", name, "echo"}, "connected");
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 2; }));
    ASSERT_EQ(ipc.QueuePacket(5, "next", 4), 0);
    ASSERT_TRUE(Pump([&] { return !received.empty() && received.back().data == "next"; }));
}

INSTANTIATE_TEST_SUITE_P(Areas, ChannelDamageTest,
                         ::testing::Values(DamageCase{"bad_marker", {0x7E, 0, 0, 1}, 1},
                                           DamageCase{"overlong_length", {0xAA, 0x00, 0x10, 1, 'a', 'b'}, 1},
                                           DamageCase{"unknown_command", {0xAA, 0, 0, 0xF7}, 1},
                                           DamageCase{"damaged_status", {}, 7}),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST_F(ChannelTest, StaleWriteSignalDoesNotStopANewClient)
{
    ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
    // A write signal nobody took, as an earlier session may leave behind.
    HANDLE hStale = ::CreateEventA(nullptr, FALSE, FALSE, (name + "_ServerWrite").c_str());
    ASSERT_NE(hStale, nullptr);
    ::SetEvent(hStale);
    StartPeer({"client", name, "echo"}, "connected");
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 1; }));
    ASSERT_EQ(ipc.QueuePacket(3, "still alive", 11), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 1; })) << "the client's worker answers";
    ::CloseHandle(hStale);
}

// --- A peer killed while it holds a named mutex ------------------------------------------

TEST_F(ChannelTest, ClientKilledHoldingItsMutexDoesNotHangTheServer)
{
    auto peer = ServeClient("echo");
    peer->Send("hold Client 44 20");
    ASSERT_TRUE(peer->WaitFor("held", kPeerTimeout));
    peer->Kill();
    EXPECT_GE(peer->Wait(5000), 0);
    // The server's worker was waiting for the mutex: it gets it, abandoned, and goes on.
    ASSERT_TRUE(Pump([&] { return received.size() == 1; })) << "the packet written before the kill";
    EXPECT_EQ(received[0].cmd, 44);
    EXPECT_EQ(received[0].data, lktest::MakeSizedPacket(99, 0, 20).data);
    const DWORD start = ::GetTickCount();
    ipc.CloseIPC();
    EXPECT_LT(::GetTickCount() - start, 4000u) << "drain and exit bounds only";

    // The name is free again for a new server, and a new client works with it.
    ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
    StartPeer({"client", name, "echo"}, "connected");
    ASSERT_EQ(ipc.ServerWaitForClient(5000), 1);
    ASSERT_EQ(ipc.QueuePacket(5, "new", 3), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 2; }));
}

TEST_F(ChannelTest, ServerKilledHoldingItsMutexDoesNotHangTheClient)
{
    auto server = StartPeer({"server", name, "echo"}, "ready");
    ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    ASSERT_TRUE(server->WaitFor("connect", kPeerTimeout));
    server->Send("hold Server 45 30");
    ASSERT_TRUE(server->WaitFor("held", kPeerTimeout));
    server->Kill();
    EXPECT_GE(server->Wait(5000), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].cmd, 45);
    ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; })) << "the server's death is an exit";
    EXPECT_EQ(ipc.QueuePacket(6, "to nobody", 9), 1);
    const DWORD start = ::GetTickCount();
    ipc.CloseIPC();
    EXPECT_LT(::GetTickCount() - start, 4000u);

    // Once this end's handles are gone too, nothing holds the name.
    CMapIPC server2;
    ASSERT_NE(server2.CreateServerMapIPC(name.c_str(), nullptr), nullptr);
    EXPECT_EQ(A::ConnectCount(server2), 0u);
    EXPECT_EQ(A::Record(server2)->cbServerWriteStatus, 0);
}

// --- A peer process that dies -----------------------------------------------------------

struct DeathCase {
    const char* name;
    const char* peerRole;  // the end that is killed: "client" (a game) or "server" (a lobby)
    bool oldPeer;          // the peer is built without the alive mutexes
};

class PeerDeathTest : public ChannelTest, public ::testing::WithParamInterface<DeathCase> {};

TEST_P(PeerDeathTest, IsAnExitWithinASecondAndTheNameServesAgain)
{
    const DeathCase& c = GetParam();
    const bool peerIsClient = std::string(c.peerRole) == "client";
    std::vector<std::string> args = {c.peerRole, name, "echo"};
    if (c.oldPeer) args.push_back("old");
    ChildProcess* peer;
    if (peerIsClient) {
        ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
        peer = StartPeer(args, "connected");
        ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 1; }));
    } else {
        peer = StartPeer(args, "ready");
        ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    }
    ASSERT_EQ(ipc.QueuePacket(7, "ping", 4), 0);
    ASSERT_TRUE(Pump([&] { return received.size() == 1; })) << "the ends work before the kill";

    peer->Kill();
    const DWORD start = ::GetTickCount();
    const bool seen = Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; }, c.oldPeer ? 1500 : 1000);
    if (c.oldPeer) {
        EXPECT_FALSE(seen) << "a peer without the mechanism is not watched";
        EXPECT_EQ(ipc.IsConnected(), 1);
        return;
    }
    ASSERT_TRUE(seen) << "not seen within 1000 ms";
    std::printf("the %s's death seen after %u ms\n", c.peerRole, static_cast<unsigned>(::GetTickCount() - start));
    EXPECT_EQ(ipc.IsConnected(), 0);
    EXPECT_EQ(ipc.QueuePacket(8, "to nobody", 9), 1);
    if (peerIsClient) {
        EXPECT_EQ(A::ConnectCount(ipc), 0u);
        EXPECT_EQ(A::SendQueueLength(ipc), 0);
        StartPeer({"client", name, "echo"}, "connected");
        ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 2; })) << "the same end takes the next game";
        ASSERT_EQ(ipc.QueuePacket(9, "again", 5), 0);
        ASSERT_TRUE(Pump([&] { return received.size() == 2; }));
        EXPECT_EQ(received[1].data, "again");
    } else {
        const DWORD closing = ::GetTickCount();
        ipc.CloseIPC();
        EXPECT_LT(::GetTickCount() - closing, static_cast<DWORD>(IPC_DRAIN_TIMEOUT)) << "nothing left to drain";
        StartPeer({"server", name, "echo"}, "ready");  // a new lobby takes the name at once
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, PeerDeathTest,
                         ::testing::Values(DeathCase{"game", "client", false}, DeathCase{"lobby", "server", false},
                                           DeathCase{"old_game", "client", true}, DeathCase{"old_lobby", "server", true}),
                         [](const ::testing::TestParamInfo<DeathCase>& info) { return std::string(info.param.name); });

// --- Hostile peers ----------------------------------------------------------------------
// A peer that keeps a mutex, freezes in its receive step, writes faulty frames, storms the
// events or damages the objects' files: this end's host calls stay prompt, CloseIPC keeps its
// bounds, the session's end is seen within a second of a fault or of the peer's death, and
// the next game is served.

enum class Ending { Kill, Close };

struct HostileCase {
    const char* name;
    bool lobby;           // this end is the server (a lobby facing its game), else the client
    const char* command;  // for the peer
    const char* reply;
    int faulty;  // the session ends by itself (before any kill), on the fault
    int goesOn;  // the session still works afterwards
    Ending ending;
};
const int kEither = -1;  // for faulty and goesOn: not known beforehand (damaged object files)

class HostilePeerTest : public ChannelTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostilePeerTest, NeverHangsTheHostAndTheNextGameIsServed)
{
    const HostileCase& c = GetParam();
    ChildProcess* peer = c.lobby ? ServeClient("echo") : StartPeer({"server", name, "echo"}, "ready");
    ASSERT_TRUE(c.lobby ||
                (ipc.ConnectServerMapIPC(name.c_str(), window.Handle()) && peer->WaitFor("connect", kPeerTimeout)));
    peer->Send(c.command);
    ASSERT_TRUE(peer->WaitFor(c.reply, kPeerTimeout)) << peer->Transcript();
    const bool ended = Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; }, 1000);
    EXPECT_TRUE(c.faulty == kEither || ended == (c.faulty != 0)) << "the fault is an exit, nothing else is";
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < 100; ++i) ipc.QueuePacket(1, "x", 1);  // refused after a fault
    window.PumpPending();
    EXPECT_LT(::GetTickCount() - start, 500u) << "the host's calls do not wait on the peer";
    const bool echoed = Pump([&] { return received.size() >= 100; }, 2000);
    EXPECT_TRUE(c.goesOn == kEither || echoed == (c.goesOn != 0)) << "the echoes come back only if it goes on";

    if (c.ending == Ending::Close) {
        const DWORD closing = ::GetTickCount();
        ipc.CloseIPC();
        EXPECT_LE(::GetTickCount() - closing, 300u + IPC_DRAIN_TIMEOUT + IPC_STOP_TIMEOUT) << "close within its bounds";
        peer->Kill();
    } else {
        peer->Kill();
        const DWORD killed = ::GetTickCount();
        EXPECT_TRUE(Pump([&] { return Count(IPC_NOTIFY_EXIT) == 1; }, 1000)) << "the death is an exit";
        EXPECT_LT(::GetTickCount() - killed, 1000u);
    }
    ASSERT_GE(peer->Wait(5000), 0);
    if (!c.lobby || c.ending == Ending::Close) ipc.CloseIPC();

    if (c.lobby) {  // the next game
        ASSERT_TRUE(ipc.IsValid() || ipc.CreateServerMapIPC(name.c_str(), window.Handle()));
        StartPeer({"client", name, "echo"}, "connected");
        ASSERT_TRUE(Pump([&] { return Count(IPC_NOTIFY_CONNECT) == 2; }));
    } else {  // the next lobby
        StartPeer({"server", name, "echo"}, "ready");
        ASSERT_NE(ipc.ConnectServerMapIPC(name.c_str(), window.Handle()), nullptr);
    }
    received.clear();
    ASSERT_EQ(ipc.QueuePacket(9, "next", 4), 0);
    ASSERT_TRUE(Pump([&] { return !received.empty() && received.back().data == "next"; }));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, HostilePeerTest,
    ::testing::Values(
        HostileCase{"lobby_own_mutex_held", true, "hold Server", "held", false, false, Ending::Close},
        HostileCase{"lobby_peer_mutex_held", true, "hold Client 44 20", "held", false, false, Ending::Kill},
        HostileCase{"game_own_mutex_held", false, "hold Client", "held", false, false, Ending::Close},
        HostileCase{"game_peer_mutex_held", false, "hold Server 45 30", "held", false, false, Ending::Kill},
        HostileCase{"game_unknown_frame", false, "inject Server 1 4 aa0000f7", "injected", true, false, Ending::Kill},
        HostileCase{"game_overlong_frame", false, "inject Server 1 6 aa0500010203", "injected", true, false, Ending::Kill},
        HostileCase{"lobby_event_storm", true, "storm 300", "stormed", false, true, Ending::Kill},
        HostileCase{"game_event_storm", false, "storm 300", "stormed", false, true, Ending::Close}
#ifndef _WIN32
        ,
        HostileCase{"lobby_peer_frozen_in_receive", true, "freeze Server", "frozen", false, false, Ending::Close},
        HostileCase{"lobby_peer_frozen_then_killed", true, "freeze Server", "frozen", false, false, Ending::Kill},
        HostileCase{"game_peer_frozen_in_receive", false, "freeze Client", "frozen", false, false, Ending::Close},
        HostileCase{"lobby_object_files_scribbled", true, "scribble 7", "scribbled 9", kEither, kEither, Ending::Close},
        HostileCase{"lobby_object_files_pointers_changed", true, "scribble 8", "scribbled 9", kEither, kEither,
                    Ending::Close}
#endif
        ),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// A peer that writes faster than the host reads: the receive queue stays within its 8 MiB
// (the peer's area is left untaken, so a real peer's own queue fills and refuses), nothing is
// lost, and the flow resumes as the host reads.
struct FloodCase {
    const char* name;
    const char* command;
    const char* reply;
};

class FloodTest : public ChannelTest, public ::testing::WithParamInterface<FloodCase> {};

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define LKTEST_RESIDENT 1  // sanitizers' shadow memory would hide what the queue holds
long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}
#endif

TEST_P(FloodTest, TheReceiveQueueKeepsItsBoundAndLosesNothing)
{
    const bool raw = std::string(GetParam().name) == "raw_empty_frames";
    takeOnData = false;
    auto peer = ServeClient("sink");
#ifdef LKTEST_RESIDENT
    const long resident = ResidentBytes();
#endif
    peer->Send(GetParam().command);
    std::string line;
    ASSERT_TRUE(peer->WaitFor(GetParam().reply, line, 60000)) << peer->Transcript();
    ::Sleep(100);
    EXPECT_LE(A::RecvQueueStorage(ipc), (8u << 20) + lobbykit::ipc::CPacketQueue::kChunkBytes);
#ifdef LKTEST_RESIDENT
    EXPECT_LT(ResidentBytes() - resident, 24l << 20);
#endif
    const unsigned long long want = raw ? 1100ull * 1025 : static_cast<unsigned long long>(Number(line));
    unsigned long long got = 0, bad = 0;
    char buf[IPC_RECV_BUF_SIZE];
    ASSERT_TRUE(Pump(
        [&] {
            BYTE cmd;
            int len;
            while (ipc.RecvPacket(cmd, buf, len) == 0) {
                const TestPacket p = raw ? TestPacket{0, ""} : lktest::MakePacket(61, got, IPC_MAX_DATA_LEN);
                bad += cmd != p.cmd || p.data != std::string(buf, static_cast<size_t>(len));
                ++got;
            }
            return got >= want;
        },
        60000))
        << got << " of " << want;
    EXPECT_EQ(got, want);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(ipc.IsConnected(), 1);
    if (!raw) {  // the peer's queue takes packets again
        peer->Send("send 62 3 10");
        ASSERT_TRUE(peer->WaitFor("sent 3", kPeerTimeout));
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, FloodTest,
                         ::testing::Values(FloodCase{"queue_fill", "fill 61 4095", "filled"},
                                           FloodCase{"raw_empty_frames", "flood Client 1100", "stalled"}),
                         [](const ::testing::TestParamInfo<FloodCase>& info) { return std::string(info.param.name); });

#ifndef _WIN32
double CpuMs()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The waits for a peer that never reads (the close's drain and the worker's) and for a server
// that never answers (the connect) take their time but no processor.
TEST_F(ChannelTest, WaitsForASilentPeerCostNoCpu)
{
    auto game = ServeClient("echo");
    ::kill(game->Pid(), SIGSTOP);
    int stopped = 0;
    ASSERT_EQ(::waitpid(game->Pid(), &stopped, WUNTRACED), game->Pid());  // it has stopped
    ASSERT_EQ(ipc.QueuePacket(1, "unread", 6), 0);
    double cpu = CpuMs();
    DWORD start = ::GetTickCount();
    ipc.CloseIPC();
    EXPECT_GE(::GetTickCount() - start, 2u * IPC_DRAIN_TIMEOUT - 100);
    EXPECT_LT(CpuMs() - cpu, 50.0) << "a close whose peer never reads";
    std::printf("close of an unread end: %u ms, %.1f ms of CPU\n", static_cast<unsigned>(::GetTickCount() - start),
                CpuMs() - cpu);
    ::kill(game->Pid(), SIGCONT);
    EXPECT_TRUE(game->WaitFor("exit", kPeerTimeout)) << "the exit frame was left for it";

    StartPeer({"fake-server", name + "f", "0x0613"}, "ready");
    cpu = CpuMs();
    start = ::GetTickCount();
    EXPECT_EQ(ipc.ConnectServerMapIPC((name + "f").c_str(), window.Handle()), nullptr);
    EXPECT_GE(::GetTickCount() - start, static_cast<DWORD>(IPC_CONNECT_TIMEOUT));
    EXPECT_LT(CpuMs() - cpu, 50.0) << "a connect that no server takes";
    std::printf("connect nobody takes: %u ms, %.1f ms of CPU\n", static_cast<unsigned>(::GetTickCount() - start),
                CpuMs() - cpu);
}
#endif

}  // namespace
