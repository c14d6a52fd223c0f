// The channel's send and receive steps, driven one at a time on a record in this process (no
// worker, no second process): queue validation, batching and its bounds, taking an area, the
// handshake frames, and the notifications posted for them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "HostWindow.h"
#include "IpcTestData.h"
#include "MapIPCTestAccess.h"
#include "QuietStderr.h"
#include "ChildProcess.h"
#include "ipc/FrameParser.h"

using lktest::TestPacket;
using lobbykit::ipc::CFrameReader;
using lobbykit::ipc::IPC_FRAME;
using lobbykit::ipc::PutFrame;

namespace {

using A = CMapIPCTestAccess;

// A server end and a client end around one record; each has its own in-process objects.
struct Ends {
    IPC_MAP_BUF rec;
    CMapIPC server, client;

    explicit Ends(int serverStatus = IPC_CONNECTED, int clientStatus = IPC_CONNECTED)
    {
        std::memset(&rec, 0, sizeof rec);
        rec.wSignature = IPC_SIGNATURE;
        A::Attach(server, &rec, IPC_SERVER, serverStatus);
        A::Attach(client, &rec, IPC_CLIENT, clientStatus);
    }
    ~Ends()
    {
        server.CloseIPC();
        client.CloseIPC();
    }
};

bool Signalled(HANDLE h) { return ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

std::vector<TestPacket> Frames(const BYTE* area, int n)
{
    std::vector<TestPacket> out;
    CFrameReader reader(area, n);
    IPC_FRAME f;
    while (reader.Next(f) == CFrameReader::FRAME_OK)
        out.push_back({f.cCmdID, std::string(reinterpret_cast<const char*>(f.pData), f.wDataLen)});
    EXPECT_EQ(reader.Remaining(), 0) << "the area holds whole frames only";
    return out;
}

std::vector<TestPacket> Drain(CMapIPC& end)
{
    std::vector<TestPacket> out;
    char buf[IPC_RECV_BUF_SIZE];
    BYTE cmd;
    int len;
    while (end.RecvPacket(cmd, buf, len) == 0) out.push_back({cmd, std::string(buf, static_cast<size_t>(len))});
    return out;
}

void ExpectSame(const std::vector<TestPacket>& got, const std::vector<TestPacket>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].cmd, want[i].cmd) << "packet " << i;
        EXPECT_TRUE(got[i].data == want[i].data) << "packet " << i << " data differs";
    }
}

int Queue(CMapIPC& end, const TestPacket& p)
{
    return end.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size()));
}

// --- QueuePacket -------------------------------------------------------------------------

struct QueueCase {
    const char* name;
    int cmd;
    int len;
    bool nullData;
    int connectStatus;
    int expect;
};

class QueuePacketTest : public ::testing::TestWithParam<QueueCase> {};

TEST_P(QueuePacketTest, AcceptsOnlyWhatCanTravel)
{
    const QueueCase& c = GetParam();
    Ends ends(c.connectStatus);
    std::string data(c.len > 0 ? static_cast<size_t>(c.len) : 1u, 'd');
    EXPECT_EQ(ends.server.QueuePacket(static_cast<BYTE>(c.cmd), c.nullData ? nullptr : data.data(), c.len), c.expect);
    EXPECT_EQ(A::SendQueueLength(ends.server), c.expect == 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, QueuePacketTest,
                         ::testing::Values(QueueCase{"empty_packet", 1, 0, true, IPC_CONNECTED, 0},
                                           QueueCase{"largest", 239, 4095, false, IPC_CONNECTED, 0},
                                           QueueCase{"too_long", 1, 4096, false, IPC_CONNECTED, 1},
                                           QueueCase{"negative_length", 1, -1, false, IPC_CONNECTED, 1},
                                           QueueCase{"null_data", 1, 5, true, IPC_CONNECTED, 1},
                                           QueueCase{"id_240", 240, 1, false, IPC_CONNECTED, 1},
                                           QueueCase{"id_connect", IPC_CMD_CONNECT, 0, true, IPC_CONNECTED, 1},
                                           QueueCase{"id_255", 255, 1, false, IPC_CONNECTED, 1},
                                           QueueCase{"not_connected", 1, 1, false, IPC_NOT_CONNECTED, 1}),
                         [](const ::testing::TestParamInfo<QueueCase>& info) { return std::string(info.param.name); });

TEST(ChannelStepTest, QueuePacketWakesTheOwnWorkerOnlyWhileTheOwnAreaIsFree)
{
    Ends ends;
    ASSERT_EQ(Queue(ends.server, {1, "a"}), 0);
    EXPECT_TRUE(Signalled(A::ClientReadEvent(ends.server))) << "a server wakes its worker by %s_ClientRead";
    ends.rec.cbServerWriteStatus = 1;
    ASSERT_EQ(Queue(ends.server, {1, "b"}), 0);
    EXPECT_FALSE(Signalled(A::ClientReadEvent(ends.server))) << "the peer's read event will wake it";

    ASSERT_EQ(Queue(ends.client, {1, "c"}), 0);
    EXPECT_TRUE(Signalled(A::ServerReadEvent(ends.client))) << "a client wakes its worker by %s_ServerRead";
}

TEST(ChannelStepTest, ClosedOrIdleEndsRefuseOrReportNothingWaiting)
{
    CMapIPC closed;
    BYTE cmd = 77;
    int len = 1234;
    char buf[IPC_RECV_BUF_SIZE];
    EXPECT_EQ(closed.RecvPacket(cmd, buf, len), 1);
    EXPECT_EQ(closed.QueuePacket(1, "x", 1), 1);
    EXPECT_EQ(closed.SendBuf(IPC_CMD_EXIT, nullptr, 0), 0);
    EXPECT_EQ(closed.RecvBuf(), 0);
    EXPECT_EQ(closed.IsValid(), 0);
    EXPECT_EQ(closed.IsConnected(), 0);
    EXPECT_EQ(closed.ServerWaitForClient(1), 0);

    Ends ends;
    EXPECT_EQ(ends.client.RecvPacket(cmd, buf, len), 2);
    EXPECT_EQ(cmd, 77);
    EXPECT_EQ(len, 1234) << "outputs stay unchanged when nothing is waiting";
    EXPECT_EQ(ends.client.ServerWaitForClient(1), 0) << "a client end does not wait for clients";
    EXPECT_EQ(IPCThreadProc(nullptr), 0xFFFFFFFFu);
}

// --- SendPacket: batching and its bounds -------------------------------------------------

TEST(ChannelStepTest, QueuedPacketsTravelInOneAreaWriteAndLaterOnesAreAppended)
{
    Ends ends;
    const std::vector<TestPacket> first = {{3, ""}, {4, "x"}, {5, std::string(100, 'y')}};
    for (const auto& p : first) ASSERT_EQ(Queue(ends.server, p), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_EQ(ends.rec.cbServerWriteStatus, 1);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4 + 5 + 104);
    ExpectSame(Frames(ends.rec.bufServerData, ends.rec.wServerDataLen), first);
    EXPECT_TRUE(Signalled(A::ServerWriteEvent(ends.server)));
    EXPECT_EQ(A::SendQueueLength(ends.server), 0);
    EXPECT_EQ(ends.server.SendPacket(), 2) << "nothing queued";

    // The peer has not taken the area: new packets join it, without a second signal.
    const std::vector<TestPacket> more = {{6, "later"}, {7, ""}};
    for (const auto& p : more) ASSERT_EQ(Queue(ends.server, p), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_FALSE(Signalled(A::ServerWriteEvent(ends.server)));
    std::vector<TestPacket> all = first;
    all.insert(all.end(), more.begin(), more.end());
    ExpectSame(Frames(ends.rec.bufServerData, ends.rec.wServerDataLen), all);

    // The client takes everything in one go, in order, and tells the server it may write.
    ASSERT_EQ(ends.client.RecvBuf(), 1);
    EXPECT_EQ(ends.rec.cbServerWriteStatus, 0);
    EXPECT_EQ(+ends.rec.wServerDataLen, 0);
    EXPECT_TRUE(Signalled(A::ClientReadEvent(ends.client)));
    ExpectSame(Drain(ends.client), all);
}

TEST(ChannelStepTest, EveryAcceptedPacketCanBeSentAndNoAreaPasses4100Bytes)
{
    Ends ends;
    // Two packets of the largest size: one 4099-byte frame per area.
    const std::vector<TestPacket> big = {lktest::MakeSizedPacket(1, 0, 4095), lktest::MakeSizedPacket(1, 1, 4095)};
    for (const auto& p : big) ASSERT_EQ(Queue(ends.server, p), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4099);
    EXPECT_EQ(A::SendQueueLength(ends.server), 1);
    ASSERT_EQ(ends.server.SendPacket(), 0) << "the second does not fit yet; it waits, it is not dropped";
    EXPECT_EQ(+ends.rec.wServerDataLen, 4099);
    EXPECT_EQ(A::SendQueueLength(ends.server), 1);
    ASSERT_EQ(ends.client.RecvBuf(), 1);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4099);
    ASSERT_EQ(ends.client.RecvBuf(), 1);
    ExpectSame(Drain(ends.client), big);

    // Frames adding up to exactly 4100 bytes share one area; one more frame does not join.
    const std::vector<TestPacket> exact = {lktest::MakeSizedPacket(2, 0, 2046), lktest::MakeSizedPacket(2, 1, 2046)};
    for (const auto& p : exact) ASSERT_EQ(Queue(ends.server, p), 0);
    ASSERT_EQ(Queue(ends.server, {9, ""}), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4100);
    EXPECT_EQ(A::SendQueueLength(ends.server), 1);
}

TEST(ChannelStepTest, RandomTrafficKeepsOrderAndAreaBound)
{
    Ends ends;
    std::mt19937 rng(12345);
    std::vector<TestPacket> sent;
    std::vector<TestPacket> got;
    for (int round = 0; round < 400; ++round) {
        const int n = static_cast<int>(rng() % 4);
        for (int k = 0; k < n; ++k) {
            const int len = (rng() % 3 == 0) ? static_cast<int>(rng() % 4096) : static_cast<int>(rng() % 64);
            sent.push_back(lktest::MakeSizedPacket(3, sent.size(), len));
            ASSERT_EQ(Queue(ends.server, sent.back()), 0);
        }
        ends.server.SendPacket();
        ASSERT_LE(+ends.rec.wServerDataLen, IPC_AREA_READ_MAX);
        if (rng() % 2) {
            ends.client.RecvBuf();
            for (auto& p : Drain(ends.client)) got.push_back(std::move(p));
        }
    }
    while (A::SendQueueLength(ends.server) > 0 || ends.rec.cbServerWriteStatus) {
        ends.server.SendPacket();
        ASSERT_LE(+ends.rec.wServerDataLen, IPC_AREA_READ_MAX);
        ASSERT_EQ(ends.client.RecvBuf(), 1);
        for (auto& p : Drain(ends.client)) got.push_back(std::move(p));
    }
    ExpectSame(got, sent);
}

// --- SendBuf -----------------------------------------------------------------------------

TEST(ChannelStepTest, SendBufControlFrameReplacesUntakenDataAndBatchesUpTo4100Pass)
{
    Ends ends;
    ASSERT_EQ(Queue(ends.server, {1, "pending"}), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    ASSERT_EQ(ends.rec.cbServerWriteStatus, 1);
    ASSERT_EQ(ends.server.SendBuf(IPC_CMD_EXIT, nullptr, 0), 1);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4);
    EXPECT_EQ(std::vector<BYTE>(ends.rec.bufServerData, ends.rec.bufServerData + 4),
              (std::vector<BYTE>{0xAA, 0, 0, 0xF2}));
    EXPECT_EQ(ends.rec.cbServerWriteStatus, 1);

    EXPECT_EQ(ends.server.SendBuf(IPC_CMD_PACKETS, nullptr, 0), 0) << "a run is not written over untaken data";
    ends.rec.cbServerWriteStatus = 0;
    std::vector<char> run(IPC_AREA_READ_MAX, 'r');
    EXPECT_EQ(ends.server.SendBuf(IPC_CMD_PACKETS, run.data(), IPC_AREA_READ_MAX), 1);
    EXPECT_EQ(+ends.rec.wServerDataLen, IPC_AREA_READ_MAX);
    ends.rec.cbServerWriteStatus = 0;
    EXPECT_EQ(ends.server.SendBuf(IPC_CMD_PACKETS, run.data(), IPC_AREA_READ_MAX + 1), 0);
    EXPECT_EQ(ends.server.SendBuf(5, nullptr, 0), 0) << "application ids are not written by SendBuf";
    EXPECT_EQ(ends.server.SendBuf(IPC_CMD_EXIT, run.data(), 0), 1) << "data without length: nothing to write";
    EXPECT_EQ(ends.rec.cbServerWriteStatus, 0);
}

// --- RecvBuf -----------------------------------------------------------------------------

struct RecvCase {
    const char* name;
    int status;
    int lenField;  // -1: the size of the bytes
    std::vector<BYTE> bytes;
    std::vector<int> lens;  // data lengths of the packets that come out, in order
    int result;
};

std::vector<BYTE> Frame(int cmd, int len, BYTE fill = 'p')
{
    std::vector<BYTE> f(IPC_FRAME_HEADER + static_cast<size_t>(len), fill);
    PutFrame(f.data(), static_cast<int>(f.size()), static_cast<BYTE>(cmd),
             std::string(static_cast<size_t>(len), static_cast<char>(fill)).data(), len);
    return f;
}

std::vector<BYTE> Cat(std::initializer_list<std::vector<BYTE>> parts)
{
    std::vector<BYTE> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class RecvBufTest : public ::testing::TestWithParam<RecvCase> {};

TEST_P(RecvBufTest, TakesTheAreaAndQueuesFramesUpToTheFirstFault)
{
    const RecvCase& c = GetParam();
    Ends ends;
    std::memset(ends.rec.bufServerData, 0x55, IPC_AREA_SIZE);  // never a marker
    std::memcpy(ends.rec.bufServerData, c.bytes.data(), c.bytes.size());
    ends.rec.wServerDataLen = static_cast<WORD>(c.lenField < 0 ? c.bytes.size() : static_cast<size_t>(c.lenField));
    ends.rec.cbServerWriteStatus = static_cast<BYTE>(c.status);

    lktest::HostWindow window([](UINT, WPARAM, LPARAM) {});
    A::SetWindow(ends.client, window.Handle());
    EXPECT_EQ(ends.client.RecvBuf(), c.result);

    std::vector<int> lens;
    for (const auto& p : Drain(ends.client)) lens.push_back(static_cast<int>(p.data.size()));
    EXPECT_EQ(lens, c.lens);
    if (c.status == 1) EXPECT_EQ(ends.rec.cbServerWriteStatus, 0) << "a taken area is cleared";
    else EXPECT_EQ(ends.rec.cbServerWriteStatus, c.status) << "an area without data is left alone";

    int dataNotes = 0;
    MSG msg;
    while (::PeekMessageA(&msg, window.Handle(), 0, 0, PM_REMOVE))
        if (msg.message == WM_IPC_NOTIFY && msg.lParam == IPC_NOTIFY_DATA) ++dataNotes;
    EXPECT_EQ(dataNotes, static_cast<int>(c.lens.size())) << "one data notification per packet";
}

INSTANTIATE_TEST_SUITE_P(
    Areas, RecvBufTest,
    ::testing::Values(
        RecvCase{"three_packets_fill_4100", 1, -1, Cat({Frame(1, 0), Frame(2, 10), Frame(3, 4078)}), {0, 10, 4078}, 1},
        RecvCase{"id_240_is_data", 1, -1, Frame(240, 3), {3}, 1},
        RecvCase{"unknown_id_stops", 1, -1, Cat({Frame(1, 2), Frame(0xF3, 0), Frame(2, 2)}), {2}, 0},
        RecvCase{"bad_marker_stops", 1, -1, Cat({Frame(1, 5), {0x55, 0, 0, 1}, Frame(2, 2)}), {5}, 0},
        RecvCase{"frame_past_the_end_stops", 1, -1, Cat({Frame(1, 1), {0xAA, 0x10, 0, 1, 'a'}}), {1}, 0},
        RecvCase{"short_tail_stops", 1, -1, Cat({Frame(1, 1), {0xAA, 0}}), {1}, 0},
        RecvCase{"length_field_read_as_4100", 1, 0xFFFF, Cat({Frame(1, 4092), Frame(2, 0)}), {4092, 0}, 1},
        RecvCase{"length_field_cuts_frames", 1, 6, Cat({Frame(1, 2), Frame(2, 2)}), {2}, 1},
        RecvCase{"connect_at_client_stops", 1, -1, Cat({Frame(IPC_CMD_CONNECT, 0), Frame(1, 1)}), {}, 0},
        RecvCase{"exit_drops_the_rest", 1, -1, Cat({Frame(1, 1), Frame(IPC_CMD_EXIT, 0), Frame(2, 1)}), {1}, 1},
        RecvCase{"stale_signal_goes_on", 0, 8, Cat({Frame(1, 1)}), {}, 1},
        RecvCase{"damaged_status_stops", 7, -1, Frame(1, 1), {}, 0}),
    [](const ::testing::TestParamInfo<RecvCase>& info) { return std::string(info.param.name); });

TEST(ChannelStepTest, ExitAtTheClientEndsItsConnectionButKeepsReceivedPackets)
{
    Ends ends;
    const std::vector<BYTE> area = Cat({Frame(1, 3), Frame(IPC_CMD_EXIT, 0)});
    std::memcpy(ends.rec.bufServerData, area.data(), area.size());
    ends.rec.wServerDataLen = static_cast<WORD>(area.size());
    ends.rec.cbServerWriteStatus = 1;
    ASSERT_EQ(ends.client.RecvBuf(), 1);
    EXPECT_EQ(ends.client.IsConnected(), 0);
    EXPECT_EQ(ends.client.QueuePacket(1, "x", 1), 1) << "a client whose server left sends nothing";
    EXPECT_EQ(Drain(ends.client).size(), 1u);
}

// --- The handshake frames at a server ----------------------------------------------------

std::vector<LPARAM> Notes(HWND hWnd)
{
    std::vector<LPARAM> out;
    MSG msg;
    while (::PeekMessageA(&msg, hWnd, 0, 0, PM_REMOVE))
        if (msg.message == WM_IPC_NOTIFY) {
            EXPECT_EQ(msg.wParam, 0u);
            out.push_back(msg.lParam);
        }
    return out;
}

void PutClientArea(Ends& ends, const std::vector<BYTE>& area)
{
    std::memcpy(ends.rec.bufClientData, area.data(), area.size());
    ends.rec.wClientDataLen = static_cast<WORD>(area.size());
    ends.rec.cbClientWriteStatus = 1;
}

TEST(ChannelStepTest, ServerAcceptsAConnectRequestAndGoesOnWithTheArea)
{
    Ends ends(IPC_NOT_CONNECTED);
    lktest::HostWindow window([](UINT, WPARAM, LPARAM) {});
    A::SetWindow(ends.server, window.Handle());
    // Left over from an earlier client: must not reach the new one.
    A::SetConnectStatus(ends.server, IPC_CONNECTED);
    ASSERT_EQ(Queue(ends.server, {1, "stale"}), 0);
    A::SetConnectStatus(ends.server, IPC_NOT_CONNECTED);

    PutClientArea(ends, Cat({Frame(IPC_CMD_CONNECT, 0), Frame(8, 2)}));
    ASSERT_EQ(ends.server.RecvBuf(), 1);
    EXPECT_EQ(ends.server.IsConnected(), 1);
    EXPECT_EQ(+ends.rec.dwConnectCount, 1u);
    EXPECT_TRUE(Signalled(A::ServerReadEvent(ends.server)));
    EXPECT_EQ(A::SendQueueLength(ends.server), 0);
    EXPECT_EQ(Notes(window.Handle()), (std::vector<LPARAM>{IPC_NOTIFY_CONNECT, IPC_NOTIFY_DATA}));
    EXPECT_EQ(ends.server.ServerWaitForClient(1000), 1);
    EXPECT_EQ(ends.server.ServerWaitForClient(0), 1) << "connected already: at once";
    EXPECT_FALSE(Signalled(A::ConnectedEvent(ends.server))) << "and the connected event is cleared";

    // A second request while connected: the server tells whoever reads next to leave.
    ASSERT_EQ(Queue(ends.server, {1, "for the client"}), 0);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    PutClientArea(ends, Cat({Frame(IPC_CMD_CONNECT, 0), Frame(9, 1)}));
    ASSERT_EQ(ends.server.RecvBuf(), 1);
    EXPECT_EQ(ends.server.IsConnected(), 1);
    EXPECT_EQ(+ends.rec.wServerDataLen, 4);
    EXPECT_EQ(ends.rec.bufServerData[3], IPC_CMD_EXIT);
    EXPECT_EQ(Drain(ends.server).size(), 1u) << "only the data of the first area";
}

// A run of data frames is queued at once; control frames between runs keep their place
// among the notifications.
struct OrderCase {
    const char* name;
    int role;  // the end that takes the area
    int connectStatus;
    std::vector<BYTE> area;
    std::vector<LPARAM> notes;
    std::vector<int> cmds;  // what RecvPacket hands out, in order
};

class NotificationOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(NotificationOrderTest, RunsOfDataAndControlFramesAreAnnouncedInAreaOrder)
{
    const OrderCase& c = GetParam();
    Ends ends(c.role == IPC_SERVER ? c.connectStatus : IPC_CONNECTED,
              c.role == IPC_CLIENT ? c.connectStatus : IPC_CONNECTED);
    CMapIPC& taker = c.role == IPC_SERVER ? ends.server : ends.client;
    lktest::HostWindow window([](UINT, WPARAM, LPARAM) {});
    A::SetWindow(taker, window.Handle());
    BYTE* area = c.role == IPC_SERVER ? ends.rec.bufClientData : ends.rec.bufServerData;
    std::memcpy(area, c.area.data(), c.area.size());
    if (c.role == IPC_SERVER) {
        ends.rec.wClientDataLen = static_cast<WORD>(c.area.size());
        ends.rec.cbClientWriteStatus = 1;
    } else {
        ends.rec.wServerDataLen = static_cast<WORD>(c.area.size());
        ends.rec.cbServerWriteStatus = 1;
    }
    ASSERT_EQ(taker.RecvBuf(), 1);
    EXPECT_EQ(Notes(window.Handle()), c.notes);
    std::vector<int> cmds;
    for (const auto& p : Drain(taker)) cmds.push_back(p.cmd);
    EXPECT_EQ(cmds, c.cmds);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, NotificationOrderTest,
    ::testing::Values(OrderCase{"data_connect_data_at_server",
                                IPC_SERVER,
                                IPC_NOT_CONNECTED,
                                Cat({Frame(1, 1), Frame(IPC_CMD_CONNECT, 0), Frame(2, 3), Frame(3, 0)}),
                                {IPC_NOTIFY_DATA, IPC_NOTIFY_CONNECT, IPC_NOTIFY_DATA, IPC_NOTIFY_DATA},
                                {1, 2, 3}},
                      OrderCase{"data_then_exit_at_client",
                                IPC_CLIENT,
                                IPC_CONNECTED,
                                Cat({Frame(4, 2), Frame(5, 2), Frame(IPC_CMD_EXIT, 0), Frame(6, 1)}),
                                {IPC_NOTIFY_DATA, IPC_NOTIFY_DATA, IPC_NOTIFY_EXIT},
                                {4, 5}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

// When a queue can take no more (memory ran out), the packet is refused as before: QueuePacket
// returns 1 and keeps nothing of it; the receiving walk announces what it queued and the
// session ends.
TEST(ChannelStepTest, QueuesWithoutRoomRefuseThePacketAndKeepEarlierOnes)
{
    Ends ends;
    A::BoundQueues(ends.server, 1);
    std::vector<TestPacket> sent;
    for (std::uint64_t i = 0; Queue(ends.server, lktest::MakeSizedPacket(6, i, 4095)) == 0; ++i) {
        sent.push_back(lktest::MakeSizedPacket(6, i, 4095));
        ASSERT_LT(sent.size(), 100u) << "one chunk must run out";
    }
    EXPECT_EQ(A::SendQueueLength(ends.server), static_cast<INT_PTR>(sent.size()));
    std::vector<TestPacket> got;
    while (A::SendQueueLength(ends.server) > 0) {
        ASSERT_EQ(ends.server.SendPacket(), 0);
        ASSERT_EQ(ends.client.RecvBuf(), 1);
        for (auto& p : Drain(ends.client)) got.push_back(std::move(p));
    }
    ExpectSame(got, sent);
    EXPECT_EQ(Queue(ends.server, {1, "again"}), 0) << "room again once the queue has drained";

    // The client's receive queue runs out in the middle of an area.
    A::BoundQueues(ends.client, 1);
    lktest::HostWindow window([](UINT, WPARAM, LPARAM) {});
    A::SetWindow(ends.client, window.Handle());
    int result = 1;
    int areas = 0;
    for (; result == 1 && areas < 100; ++areas) {
        const std::vector<BYTE> area = Cat({Frame(1, 2040), Frame(2, 2040)});
        std::memcpy(ends.rec.bufServerData, area.data(), area.size());
        ends.rec.wServerDataLen = static_cast<WORD>(area.size());
        ends.rec.cbServerWriteStatus = 1;
        result = ends.client.RecvBuf();
    }
    EXPECT_EQ(result, 0) << "no room: the session ends";
    EXPECT_EQ(ends.client.IsConnected(), 0);
    const std::vector<TestPacket> kept = Drain(ends.client);
    std::vector<LPARAM> notes = Notes(window.Handle());
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back(), IPC_NOTIFY_EXIT);
    notes.pop_back();
    EXPECT_EQ(notes, std::vector<LPARAM>(kept.size(), IPC_NOTIFY_DATA))
        << "each queued packet announced, then the exit";
    ASSERT_GE(kept.size(), 2u * static_cast<size_t>(areas - 1));
    EXPECT_LT(kept.size(), 2u * static_cast<size_t>(areas));
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].cmd, i % 2 == 0 ? 1 : 2) << "packet " << i;
}

// The send queue's documented bound: 8 MiB of queue storage (about 1,900 of the largest
// packets), counted in bytes, not packets. Past it QueuePacket refuses, the end stays connected and
// keeps what it took, and takes packets again once some have gone.
TEST(ChannelStepTest, TheSendQueueRefusesPastItsBound)
{
    const struct {
        int len;
        INT_PTR atLeast, atMost;
    } cases[] = {{IPC_MAX_DATA_LEN, 1800, 8 * 1024 * 1024 / IPC_MAX_DATA_LEN}, {1000, 7500, 8 * 1024 * 1024 / 1000}};
    lktest::QuietStderr quiet;  // a trace line per packet in Debug builds
    for (const auto& c : cases) {
        SCOPED_TRACE(c.len);
        Ends ends;
        const TestPacket p = lktest::MakeSizedPacket(6, 0, c.len);
        INT_PTR n = 0;
        while (Queue(ends.server, p) == 0 && n <= c.atMost) ++n;
        EXPECT_GE(n, c.atLeast);
        EXPECT_LE(n, c.atMost);
        EXPECT_EQ(A::SendQueueLength(ends.server), n);
        EXPECT_EQ(ends.server.IsConnected(), 1);
        // Storage comes back a chunk (64 KiB) at a time: within 32 areas.
        int areas = 0;
        for (; areas < 32 && Queue(ends.server, p) != 0; ++areas) {
            ASSERT_EQ(ends.server.SendPacket(), 0);
            ASSERT_EQ(ends.client.RecvBuf(), 1);
        }
        EXPECT_LT(areas, 32) << "room again once packets have gone";
        EXPECT_EQ(Drain(ends.client).size() + size_t(A::SendQueueLength(ends.server)), size_t(n) + 1);
    }
}

TEST(ChannelStepTest, ClientExitResetsTheServerEndForTheNextClient)
{
    Ends ends;
    ends.rec.dwConnectCount = 1;
    lktest::HostWindow window([](UINT, WPARAM, LPARAM) {});
    A::SetWindow(ends.server, window.Handle());
    ::SetEvent(A::ConnectedEvent(ends.server));
    ::SetEvent(A::ClientWriteEvent(ends.server));
    ASSERT_EQ(Queue(ends.server, {1, "never read"}), 0);
    ASSERT_EQ(Queue(ends.server, {2, ""}), 0);

    PutClientArea(ends, Cat({Frame(4, 4), Frame(IPC_CMD_EXIT, 0), Frame(5, 5)}));
    ASSERT_EQ(ends.server.RecvBuf(), 1);
    EXPECT_EQ(ends.server.IsConnected(), 0);
    EXPECT_EQ(ends.server.IsValid(), 1) << "the server end stays open";
    EXPECT_EQ(+ends.rec.dwConnectCount, 0u);
    EXPECT_FALSE(Signalled(A::ConnectedEvent(ends.server)));
    EXPECT_FALSE(Signalled(A::ClientWriteEvent(ends.server)));
    EXPECT_FALSE(Signalled(A::ClientReadEvent(ends.server)));
    EXPECT_EQ(A::SendQueueLength(ends.server), 0) << "packets for the departed client are dropped";
    EXPECT_EQ(Notes(window.Handle()), (std::vector<LPARAM>{IPC_NOTIFY_DATA, IPC_NOTIFY_EXIT}));
    EXPECT_EQ(Drain(ends.server).size(), 1u);
}

TEST(ChannelStepTest, HasPendingOutputSeesTheQueueAndTheUntakenArea)
{
    Ends ends;
    EXPECT_EQ(ends.server.HasPendingOutput(), 0);
    ASSERT_EQ(Queue(ends.server, {1, "a"}), 0);
    EXPECT_EQ(ends.server.HasPendingOutput(), 1);
    ASSERT_EQ(ends.server.SendPacket(), 0);
    EXPECT_EQ(ends.server.HasPendingOutput(), 1) << "in the area, not taken yet";
    ASSERT_EQ(ends.client.RecvBuf(), 1);
    EXPECT_EQ(ends.server.HasPendingOutput(), 0);
    ASSERT_EQ(Queue(ends.server, {1, "b"}), 0);
    A::SetConnectStatus(ends.server, IPC_NOT_CONNECTED);
    EXPECT_EQ(ends.server.HasPendingOutput(), 0) << "nothing is pending for an end without a peer";
}

// --- The worker's wait order (a real worker, in this process) --------------------------

TEST(ChannelWorkerTest, ExitIsServedBeforeAPeerWriteSetAtTheSameTime)
{
    std::vector<LPARAM> notes;
    lktest::HostWindow window([&](UINT m, WPARAM, LPARAM l) {
        if (m == WM_IPC_NOTIFY) notes.push_back(l);
    });
    CMapIPC ipc;
    const std::string name = lktest::UniqueName("order");
    ASSERT_NE(ipc.CreateServerMapIPC(name.c_str(), window.Handle()), nullptr);
    A::SetConnectStatus(ipc, IPC_CONNECTED);

    // The worker is kept busy (waiting for the own mutex) while both events are set.
    ASSERT_EQ(::WaitForSingleObject(A::ServerMutex(ipc), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_EQ(ipc.QueuePacket(1, "x", 1), 0);
    ::Sleep(50);
    IPC_MAP_BUF* rec = A::Record(ipc);
    const std::vector<BYTE> area = Frame(2, 1);
    std::memcpy(rec->bufClientData, area.data(), area.size());
    rec->wClientDataLen = static_cast<WORD>(area.size());
    rec->cbClientWriteStatus = 1;
    ::SetEvent(A::ClientWriteEvent(ipc));
    ::SetEvent(A::ExitEvent(ipc));
    ::ReleaseMutex(A::ServerMutex(ipc));

    ASSERT_TRUE(window.PumpUntil([&] { return A::Thread(ipc) == nullptr; }, 5000)) << "the worker ends";
    window.PumpPending();
    EXPECT_EQ(rec->cbClientWriteStatus, 1) << "the write set together with the exit is not taken";
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(A::RecvQueueLength(ipc), 0);
    ipc.CloseIPC();
}

}  // namespace
