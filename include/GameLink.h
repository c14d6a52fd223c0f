// The game link: how a game connects to the lobby that started it, and the configuration
// record that every process loading the library shares.
#ifndef LOBBYKIT_GAMELINK_H
#define LOBBYKIT_GAMELINK_H

#include <windows.h>

#include "IPCNotify.h"
#include "LobbyKitExport.h"

#pragma pack(push, 1)
// Shared by every process of the user that loads the library: the lobby writes bMultChanel
// and szServerName before it starts games; games read them in ConnectServer.
struct IPC_LINK_CONFIG {
    WORD wConfigSignature;   // 0x0613; not used by the library
    DWORD dwConfigReserved;  // 0; not used by the library
    BOOL bMultChanel;        // non-zero: every game must name its channel
    char szServerName[260];  // default channel name when bMultChanel is 0
};
#pragma pack(pop)
static_assert(sizeof(IPC_LINK_CONFIG) == 270, "IPC_LINK_CONFIG is a 270-byte record");

// The one process-shared instance. Its first loader fills it with the initial content
// (signature 0x0613, bMultChanel 1, no name); later loaders see the same bytes.
// On Linux the record lives in a page that the library maps onto a per-user named mapping
// when it loads. Hosts must therefore reach it through the GOT: build them as
// position-independent code (the CMake package and the pkg-config file add -fPIC), since a
// copy relocation in a non-PIC executable would give the executable a private copy.
extern LOBBYKIT_API IPC_LINK_CONFIG g_ipcConfig;

class CMapIPC;

// One client end of a lobby channel.
//
// A process holds at most one connection at a time; a copy of a link starts unconnected.
// Choices where the behaviour is open: docs/behaviour.md, "Game link".
class LOBBYKIT_API CGameLink {
public:
    CGameLink();
    CGameLink(const CGameLink& other);
    CGameLink& operator=(const CGameLink& other);
    virtual ~CGameLink();

    // 1 connected, 0 failed. A null or empty name takes g_ipcConfig.szServerName when
    // bMultChanel is 0 and is refused otherwise. hWnd receives WM_IPC_NOTIFY; may be null.
    int ConnectServer(const char* szServerName, HWND hWnd);
    // 1 while the lobby is there.
    int IsConnectOK();
    void CloseConnect();
    // 0 a command was returned (data needs room for 4096 bytes), 2 nothing waiting,
    // 1 not usable.
    int RecvCmd(unsigned char& cCmdID, char* data, int& len);
    // 0 queued, 1 refused (not connected, len outside 0..4095, null data with len > 0,
    // cCmdID 240 or above).
    int SendCmd(unsigned char cCmdID, const char* data, int len);

private:
    CMapIPC* m_hLink;
    static int m_nReferenceCount;  // links connected in this process (0 or 1)
};

#endif
