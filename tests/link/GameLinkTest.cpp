// The game link against a lobby in another process: ipc_peer opens the server end and
// echoes what it receives; link_peer reads and writes the shared configuration. The test and
// link_peer load the shared library, as games do: the configuration is the library's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "GameLink.h"
#include "HostWindow.h"
#include "IpcTestData.h"
#include "OwnNamespace.h"

namespace {

using lktest::ChildProcess;

class GameLinkTest : public ::testing::Test {
protected:
    void SetUp() override { m_saved = g_ipcConfig; }
    void TearDown() override { g_ipcConfig = m_saved; }

    // A lobby with a server end on a fresh channel name.
    std::unique_ptr<ChildProcess> StartLobby(std::string& name)
    {
        name = lktest::UniqueName("link");
        auto lobby = std::make_unique<ChildProcess>("ipc_peer", std::vector<std::string>{"server", name, "echo"});
        EXPECT_TRUE(lobby->WaitFor("ready", 5000)) << lobby->Transcript();
        return lobby;
    }

    static void SetConfig(BOOL bMult, const char* name)
    {
        g_ipcConfig.bMultChanel = bMult;
        lstrcpynA(g_ipcConfig.szServerName, name, sizeof g_ipcConfig.szServerName);
    }

    // Closes a link and waits until the lobby has taken its exit, so the lobby accepts the
    // next client.
    static void Leave(CGameLink& link, ChildProcess& lobby)
    {
        link.CloseConnect();
        EXPECT_TRUE(lobby.WaitFor("exit", 5000)) << lobby.Transcript();
    }

    lktest::HostWindow m_window{[this](UINT msg, WPARAM, LPARAM code) {
        if (msg == WM_IPC_NOTIFY) m_notes.push_back(code);
    }};
    std::vector<LPARAM> m_notes;

    int Count(LPARAM code) const
    {
        int n = 0;
        for (LPARAM c : m_notes) n += c == code;
        return n;
    }

private:
    IPC_LINK_CONFIG m_saved;
};

TEST_F(GameLinkTest, ALinkThatNeverConnectedIsNotUsable)
{
    CGameLink link;
    unsigned char cmd = 7;
    char data[4096] = "kept";
    int len = 3;
    EXPECT_EQ(link.RecvCmd(cmd, data, len), 1);
    EXPECT_EQ(link.SendCmd(1, "x", 1), 1);
    EXPECT_EQ(link.IsConnectOK(), 0);
    link.CloseConnect();
    EXPECT_EQ(cmd, 7);
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(data, "kept");
}

TEST_F(GameLinkTest, TheChannelNameComesFromTheCallerOrTheSharedConfiguration)
{
    std::string lobbyName;
    auto lobby = StartLobby(lobbyName);
    struct Case {
        BOOL bMult;
        const char* configName;  // "@" stands for the lobby's channel
        const char* argName;     // nullptr, "", "@" or another name
        int connects;
    } cases[] = {
        {0, "@", nullptr, 1},  // the default name
        {0, "@", "", 1},
        {1, "@", nullptr, 0},  // multi-channel mode: a game must name its channel
        {1, "@", "", 0},
        {1, "", "@", 1},  // a given name wins in either mode
        {0, "no-lobby-here", "@", 1},
        {0, "no-lobby-here", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bMult " << c.bMult << " config " << c.configName << " arg "
                                        << (c.argName ? c.argName : "(null)"));
        SetConfig(c.bMult, std::strcmp(c.configName, "@") == 0 ? lobbyName.c_str() : c.configName);
        const char* arg = c.argName && std::strcmp(c.argName, "@") == 0 ? lobbyName.c_str() : c.argName;
        CGameLink link;
        ASSERT_EQ(link.ConnectServer(arg, m_window.Handle()), c.connects);
        EXPECT_EQ(link.IsConnectOK(), c.connects);
        if (c.connects) Leave(link, *lobby);
    }
}

TEST_F(GameLinkTest, OneConnectionPerProcessAndFailuresGiveTheirTurnBack)
{
    std::string lobbyName;
    auto lobby = StartLobby(lobbyName);
    SetConfig(1, "");
    CGameLink first, second;
    // Failed attempts do not hold the process's one connection.
    EXPECT_EQ(first.ConnectServer("no-such-lobby", m_window.Handle()), 0);
    EXPECT_EQ(first.ConnectServer(nullptr, m_window.Handle()), 0);
    ASSERT_EQ(first.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);

    EXPECT_EQ(first.ConnectServer(lobbyName.c_str(), m_window.Handle()), 0);
    EXPECT_EQ(second.ConnectServer(lobbyName.c_str(), m_window.Handle()), 0);
    EXPECT_EQ(first.IsConnectOK(), 1) << "a refused second attempt must not disturb the first";

    Leave(first, *lobby);
    EXPECT_EQ(second.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);
    Leave(second, *lobby);
}

TEST_F(GameLinkTest, CommandsTravelBothWaysInOrder)
{
    std::string lobbyName;
    auto lobby = StartLobby(lobbyName);
    CGameLink link;
    ASSERT_EQ(link.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);

    unsigned char cmd = 99;
    char data[4096];
    std::memset(data, 0x5A, sizeof data);
    int len = 1234;
    EXPECT_EQ(link.RecvCmd(cmd, data, len), 2) << "nothing is waiting yet";
    EXPECT_EQ(cmd, 99);
    EXPECT_EQ(len, 1234);
    EXPECT_EQ(static_cast<unsigned char>(data[0]), 0x5A);

    // The lobby echoes each command; sizes include the empty and the largest packet.
    std::vector<lktest::TestPacket> sent;
    for (int i = 0; i < 12; ++i) sent.push_back(lktest::MakePacket(5, i, 300));
    sent.push_back(lktest::MakeSizedPacket(5, 100, 0));
    sent.push_back(lktest::MakeSizedPacket(5, 101, 4095));
    for (const auto& p : sent) ASSERT_EQ(link.SendCmd(p.cmd, p.data.data(), int(p.data.size())), 0);
    EXPECT_EQ(link.SendCmd(240, "x", 1), 1);
    EXPECT_EQ(link.SendCmd(1, nullptr, 1), 1);
    EXPECT_EQ(link.SendCmd(1, data, 4096), 1);
    EXPECT_EQ(link.SendCmd(1, data, -1), 1);

    ASSERT_TRUE(m_window.PumpUntil([&] { return Count(IPC_NOTIFY_DATA) == int(sent.size()); }, 10000))
        << lobby->Transcript();
    for (const auto& p : sent) {
        std::memset(data, 0x5A, sizeof data);
        ASSERT_EQ(link.RecvCmd(cmd, data, len), 0);
        EXPECT_EQ(cmd, p.cmd);
        ASSERT_EQ(len, int(p.data.size()));
        EXPECT_EQ(std::string(data, size_t(len)), p.data);
        if (len == 0) {
            EXPECT_EQ(static_cast<unsigned char>(data[0]), 0x5A) << "nothing written for len 0";
        }
    }
    EXPECT_EQ(link.RecvCmd(cmd, data, len), 2);
    Leave(link, *lobby);
}

TEST_F(GameLinkTest, WhenTheLobbyLeavesEarlierCommandsCanStillBeTaken)
{
    std::string lobbyName;
    auto lobby = StartLobby(lobbyName);
    CGameLink link;
    ASSERT_EQ(link.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);
    lobby->Send("send 9 3 64");
    ASSERT_TRUE(lobby->WaitFor("sent 3", 5000));
    lobby->Send("close");
    ASSERT_TRUE(m_window.PumpUntil([&] { return Count(IPC_NOTIFY_EXIT) == 1; }, 15000)) << lobby->Transcript();

    EXPECT_EQ(link.IsConnectOK(), 0);
    EXPECT_EQ(link.SendCmd(1, "late", 4), 1);
    unsigned char cmd = 0;
    char data[4096];
    int len = 0;
    for (int i = 0; i < 3; ++i) {
        const lktest::TestPacket want = lktest::MakePacket(9, i, 64);
        ASSERT_EQ(link.RecvCmd(cmd, data, len), 0) << "packet " << i;
        EXPECT_EQ(cmd, want.cmd);
        EXPECT_EQ(std::string(data, size_t(len)), want.data);
    }
    EXPECT_EQ(link.RecvCmd(cmd, data, len), 2);
    link.CloseConnect();
}

TEST_F(GameLinkTest, CopiesNeverShareAChannelEnd)
{
    std::string lobbyName;
    auto lobby = StartLobby(lobbyName);
    CGameLink link;
    ASSERT_EQ(link.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);
    {
        CGameLink copy(link);
        EXPECT_EQ(copy.IsConnectOK(), 0);
        EXPECT_EQ(copy.SendCmd(1, "x", 1), 1);
        CGameLink assigned;
        assigned = link;
        EXPECT_EQ(assigned.IsConnectOK(), 0);
    }  // the copies' destructors must leave the original's channel alone
    EXPECT_EQ(link.IsConnectOK(), 1);
    EXPECT_EQ(link.SendCmd(1, "x", 1), 0);

    // Assigning over a connected link closes its channel: the lobby sees it leave, and the
    // process may connect again.
    link = CGameLink();
    EXPECT_EQ(link.IsConnectOK(), 0);
    EXPECT_TRUE(lobby->WaitFor("exit", 5000)) << lobby->Transcript();
    EXPECT_EQ(link.ConnectServer(lobbyName.c_str(), m_window.Handle()), 1);
    Leave(link, *lobby);
}

TEST_F(GameLinkTest, TheConfigurationIsSharedBetweenProcesses)
{
    EXPECT_EQ(sizeof(IPC_LINK_CONFIG), 270u);
    // Written by another process, read here.
    {
        ChildProcess writer("link_peer", {"write", "0", "from-peer"});
        ASSERT_TRUE(writer.WaitFor("ready", 5000));
        EXPECT_EQ(BOOL{g_ipcConfig.bMultChanel}, 0);  // a copy: the field is not aligned
        EXPECT_STREQ(g_ipcConfig.szServerName, "from-peer");
    }
    // Written here, read by a process started afterwards.
    SetConfig(7, "from-test");
    {
        ChildProcess reader("link_peer", {"read"});
        std::string line;
        ASSERT_TRUE(reader.WaitFor("config", line, 5000));
        EXPECT_EQ(line, "config 7 0613 from-test");
    }
}

#ifndef _WIN32
// Linux: a namespace of its own (XDG_RUNTIME_DIR) gives a process a record nobody holds. On
// Windows the section starts afresh only once no process has the library loaded.
TEST_F(GameLinkTest, TheFirstProcessOfANamespaceStartsFromTheInitialContent)
{
    std::string line;
    {
        lktest::OwnNamespace ns("link");
        ASSERT_TRUE(ns.Ok());
        ChildProcess reader("link_peer", {"read"});
        EXPECT_TRUE(reader.WaitFor("config", line, 5000));
    }
    EXPECT_EQ(line, "config 1 0613 ");
}
#endif

}  // namespace
