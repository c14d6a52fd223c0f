// What the lobby and the game of the install test share: their commands, a message-only
// window for the channel's notifications, and a message loop with a deadline. Written as a
// host outside lobbykit's tree writes it: Win32 calls only, one source for both systems.
#ifndef LOBBYKIT_INSTALL_HOSTLOOP_H
#define LOBBYKIT_INSTALL_HOSTLOOP_H

#include <windows.h>

#include <cstdio>

namespace host {

enum Command : unsigned char {
    CMD_HELLO = 1,    // game -> lobby: the player's name
    CMD_WELCOME = 2,  // lobby -> game: "welcome " + name
    CMD_SCORE = 3,    // game -> lobby: game id and score, two 32-bit little-endian ints
    CMD_TITLE = 4,    // lobby -> game: level (32-bit) and the GBK title from GetLevelName
    CMD_ECHO = 5,     // either way: the lobby sends the data back as it came
    CMD_DONE = 6,     // game -> lobby: every echo has come back
};

const int kEchoes = 40;  // packets of 0, 103, 206, ... bytes, up to 4017
const int kEchoStep = 103;
const int kGameId = 5;  // GetLevelName(5, 13230): "统帅", level 21
const int kScore = 13230;
const char kTitle[] = "\xCD\xB3\xCB\xA7";
const int kLeftEarlyCode = 7;  // exit code of "install_game --leave-early"

inline void PutInt(char* p, int v)
{
    for (int i = 0; i < 4; ++i) p[i] = char((unsigned(v) >> (8 * i)) & 0xFF);
}
inline int GetInt(const char* p)
{
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) v |= unsigned((unsigned char)p[i]) << (8 * i);
    return int(v);
}
// The byte at index i of echo packet n.
inline char EchoByte(int n, int i) { return char((n * 31 + i * 7) & 0xFF); }

inline HWND MakeMessageWindow(const char* className, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

// Dispatches messages (and waits on the handles, if any) until done() is true or the
// deadline passes. The index of a signalled handle goes to onHandle. False on timeout.
template <class Done, class OnHandle>
bool RunUntil(DWORD deadline, DWORD nHandles, const HANDLE* handles, Done done, OnHandle onHandle)
{
    while (!done()) {
        const DWORD now = GetTickCount();
        if (int(deadline - now) <= 0) return false;
        const DWORD w = MsgWaitForMultipleObjects(nHandles, handles, FALSE, deadline - now, QS_ALLINPUT);
        if (w == WAIT_FAILED) {
            std::printf("MsgWaitForMultipleObjects failed (error %lu)\n", (unsigned long)GetLastError());
            return false;
        }
        MSG msg;  // messages first: what the peer posted before it ended is among them
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (w < WAIT_OBJECT_0 + nHandles) onHandle(w - WAIT_OBJECT_0);
    }
    return true;
}

}  // namespace host

#endif
