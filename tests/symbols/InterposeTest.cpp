// lobbykit's own calls of the Win32 functions it exports bind inside the library: a library
// loaded before it that defines Sleep and CreateEventA (Interposer.cpp) gets the host's calls
// and none of lobbykit's.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "GameLink.h"
#include "afxmt.h"
#include "ipc/MapIPC.h"

extern "C" int InterposedSleeps();
extern "C" int InterposedCreates();

namespace {

// The interposer is in front: the host's own calls reach it. Without this the test below
// would pass for a host that never loaded it.
TEST(Interposer, TakesTheHostsOwnCalls)
{
    const int sleeps = InterposedSleeps(), creates = InterposedCreates();
    Sleep(0);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(InterposedSleeps(), sleeps + 1);
    EXPECT_EQ(InterposedCreates(), creates + 1);
}

struct LibraryCall {
    const char* what;
    std::function<bool()> run;  // true when lobbykit did its work
};

bool EventWorks()
{
    CEvent event(FALSE, FALSE);  // afxmt.cpp: ::CreateEventA
    if (!event.m_hObject) return false;
    event.SetEvent();
    return WaitForSingleObject(event.m_hObject, 0) == WAIT_OBJECT_0;
}

// A server end and a game link in this process: named events (CreateEventA), and the
// handshake's and close's polls (Sleep(0)) on both ends.
bool ChannelWorks()
{
    char name[64];
    wsprintfA(name, "lkt-interpose-%lu", GetCurrentProcessId());
    CMapIPC server;
    if (!server.CreateServerMapIPC(name, nullptr)) return false;
    CGameLink link;
    if (!link.ConnectServer(name, nullptr)) return false;
    if (!server.ServerWaitForClient(2000) || link.SendCmd(7, "hi", 2) != 0) return false;
    unsigned char id = 0;
    char data[4096];
    int len = 0;
    for (DWORD start = GetTickCount(); server.RecvPacket(id, data, len) != 0;)
        if (GetTickCount() - start > 2000) return false;
    link.CloseConnect();
    server.CloseIPC();
    return id == 7 && len == 2;
}

class LibraryCalls : public testing::TestWithParam<LibraryCall> {};

TEST_P(LibraryCalls, BindInsideTheLibrary)
{
    const int sleeps = InterposedSleeps(), creates = InterposedCreates();
    EXPECT_TRUE(GetParam().run()) << GetParam().what;
    EXPECT_EQ(InterposedSleeps(), sleeps) << GetParam().what;
    EXPECT_EQ(InterposedCreates(), creates) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Interposer, LibraryCalls,
                         testing::Values(LibraryCall{"CEvent", EventWorks},
                                         LibraryCall{"CMapIPC and CGameLink", ChannelWorks}));

}  // namespace
