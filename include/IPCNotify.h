// The window message through which a channel end tells its host window what happened.
#ifndef LOBBYKIT_IPCNOTIFY_H
#define LOBBYKIT_IPCNOTIFY_H

#include <windows.h>

#define WM_IPC_NOTIFY (WM_USER + 0x125)  // 0x0525, posted with wParam 0 and lParam:
#define IPC_NOTIFY_CONNECT 1             //   a client has been accepted (server only)
#define IPC_NOTIFY_EXIT 2                //   the peer's IPC_CMD_EXIT has arrived
#define IPC_NOTIFY_DATA 3                //   one data packet is in the receive queue
static_assert(WM_IPC_NOTIFY == 0x0525, "WM_IPC_NOTIFY is 0x0525");

#endif
