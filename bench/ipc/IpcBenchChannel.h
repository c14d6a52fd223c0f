// What the channel benchmarks of both builds share (ipc_bench and its peer on Linux, the
// plain timing loop of the Windows build): the command ids the peer answers and the host's
// wait for an answer.
#ifndef LOBBYKIT_BENCH_IPC_IPCBENCHCHANNEL_H
#define LOBBYKIT_BENCH_IPC_IPCBENCHCHANNEL_H

#include <windows.h>

#include <cstring>

#include "ipc/MapIPC.h"

namespace ipcbench {

// Channel command ids.
const unsigned char kCmdEcho = 1;   // the peer sends the packet back
const unsigned char kCmdSink = 2;   // the peer takes it and counts it
const unsigned char kCmdSync = 3;   // the peer answers once everything before it is taken
const unsigned char kCmdCost = 4;   // the peer answers with its ProcessCost
const unsigned char kCmdPause = 5;  // the peer's host sleeps 200 ms before it takes more

// Message loop until the packet with command id `cmd` has been taken; each notification
// takes every waiting packet, as a host should. The packet's data goes to `data` if given.
inline void WaitPacket(CMapIPC& ipc, unsigned char cmd, char* buf, char* data = nullptr)
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message != WM_IPC_NOTIFY || msg.lParam != IPC_NOTIFY_DATA) {
            ::DispatchMessageA(&msg);
            continue;
        }
        BYTE got;
        int len;
        bool found = false;
        while (ipc.RecvPacket(got, buf, len) == 0) {
            if (got == cmd && !found && data) std::memcpy(data, buf, static_cast<size_t>(len));
            found = found || got == cmd;
        }
        if (found) return;
    }
}

// The peer's window procedure: an exit ends its message loop; each data notification takes
// every waiting packet, sends echo and sync packets back and hands the others to `other`.
template <typename Other>
LRESULT PeerMessage(CMapIPC& ipc, char* buf, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, Other other)
{
    if (uMsg != WM_IPC_NOTIFY) return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    if (lParam == IPC_NOTIFY_EXIT) ::PostQuitMessage(0);
    if (lParam != IPC_NOTIFY_DATA) return 0;
    BYTE cmd;
    int len;
    while (ipc.RecvPacket(cmd, buf, len) == 0) {
        if (cmd == kCmdEcho || cmd == kCmdSync) ipc.QueuePacket(cmd, buf, len);
        else other(cmd);
    }
    return 0;
}

}  // namespace ipcbench

#endif
