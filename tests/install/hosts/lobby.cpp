// The install test's lobby: opens a server end on a channel of its own and starts the game
// with CreateProcessA, waiting on the game's process handle together with its messages.
//   install_lobby GAME_PROGRAM
// Two rounds: the game plays (hello, score, echoes of every size, done) and leaves, and
// the lobby sees it go (IPC_NOTIFY_EXIT) and its exit code 0; then the game is started to
// end before it connects, and the lobby must notice that through the process handle
// within a second. Exit code 0 when both rounds went as they should.
#include <windows.h>

#include <cstdio>
#include <string>

#include "GameLink.h"
#include "HostLoop.h"
#include "LevelName.h"
#include "ipc/MapIPC.h"

namespace {

struct Round {
    bool connected = false;
    bool done = false;   // the game said every echo came back
    bool left = false;   // IPC_NOTIFY_EXIT
    bool ended = false;  // the process handle was signalled
    bool wrong = false;
    int packets = 0;
};

CMapIPC g_channel;
Round g_round;

void Answer(unsigned char id, const char* data, int len)
{
    if (g_channel.QueuePacket(id, data, len) != 0) {
        std::printf("lobby: QueuePacket(%d, %d bytes) refused\n", id, len);
        g_round.wrong = true;
    }
}

void OnPacket(unsigned char id, const char* data, int len)
{
    ++g_round.packets;
    switch (id) {
    case host::CMD_HELLO:
        Answer(host::CMD_WELCOME, ("welcome " + std::string(data, size_t(len))).c_str(), len + 8);
        break;
    case host::CMD_SCORE: {
        if (len != 8 || host::GetInt(data) != host::kGameId) {
            g_round.wrong = true;
            break;
        }
        char reply[4 + 32] = {};
        long level = 0;
        GetLevelName(host::GetInt(data), data + 4, reply + 4, &level);
        host::PutInt(reply, int(level));
        Answer(host::CMD_TITLE, reply, 4 + lstrlenA(reply + 4));
        break;
    }
    case host::CMD_ECHO: Answer(host::CMD_ECHO, data, len); break;
    case host::CMD_DONE: g_round.done = true; break;
    default: std::printf("lobby: unknown command %d\n", id); g_round.wrong = true;
    }
}

LRESULT CALLBACK LobbyProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_IPC_NOTIFY) return DefWindowProcA(hWnd, msg, wParam, lParam);
    switch (lParam) {
    case IPC_NOTIFY_CONNECT: g_round.connected = true; break;
    case IPC_NOTIFY_DATA: {
        unsigned char id = 0;
        char data[IPC_RECV_BUF_SIZE];
        int len = 0;
        while (g_channel.RecvPacket(id, data, len) == 0) OnPacket(id, data, len);
        break;
    }
    case IPC_NOTIFY_EXIT: g_round.left = true; break;
    }
    return 0;
}

bool StartGame(const std::string& program, const std::string& arg, PROCESS_INFORMATION& pi)
{
    std::string cmd = "\"" + program + "\" " + arg;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        return true;
    }
    std::printf("lobby: CreateProcessA(%s) failed (error %lu)\n", cmd.c_str(), (unsigned long)GetLastError());
    return false;
}

DWORD ExitCode(HANDLE process)
{
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(process, 5000);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

// The game plays one round and leaves.
bool PlayRound(const std::string& game, const char* channel)
{
    g_round = Round();
    PROCESS_INFORMATION pi;
    if (!StartGame(game, channel, pi)) return false;
    const bool finished = host::RunUntil(
        GetTickCount() + 20000, 1, &pi.hProcess,
        [] { return g_round.left || g_round.wrong || (g_round.ended && !g_round.connected); },
        [](DWORD) { g_round.ended = true; });
    const DWORD code = ExitCode(pi.hProcess);
    std::printf("lobby: round 1: %s, %d packets, game %s, exit code %lu\n",
                g_round.connected ? "connected" : "never connected", g_round.packets,
                g_round.left ? "left (IPC_NOTIFY_EXIT)"
                : finished   ? "ended"
                             : "timed out",
                (unsigned long)code);
    return finished && g_round.connected && g_round.done && g_round.left && !g_round.wrong && code == 0 &&
           !g_channel.IsConnected();
}

// The game ends before it connects: its process handle tells, long before any time limit.
bool EarlyEndRound(const std::string& game)
{
    g_round = Round();
    PROCESS_INFORMATION pi;
    const DWORD start = GetTickCount();
    if (!StartGame(game, "--leave-early", pi)) return false;
    const bool seen = host::RunUntil(
        start + 10000, 1, &pi.hProcess, [] { return g_round.ended; }, [](DWORD) { g_round.ended = true; });
    const DWORD elapsed = GetTickCount() - start;
    const DWORD code = ExitCode(pi.hProcess);
    std::printf("lobby: round 2: the game ended without connecting, noticed after %lu ms, exit code %lu\n",
                (unsigned long)elapsed, (unsigned long)code);
    return seen && !g_round.connected && elapsed < 1000 && code == DWORD(host::kLeftEarlyCode);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        std::printf("usage: install_lobby GAME_PROGRAM\n");
        return 2;
    }
    HWND hWnd = host::MakeMessageWindow("LobbyKitInstallLobby", LobbyProc);
    char channel[64];
    wsprintfA(channel, "lobbykit-install-%lu", GetCurrentProcessId());
    if (!hWnd || !g_channel.CreateServerMapIPC(channel, hWnd)) {
        std::printf("lobby: could not open the server end %s\n", channel);
        return 1;
    }
    const bool ok = PlayRound(argv[1], channel) && EarlyEndRound(argv[1]);
    g_channel.CloseIPC();
    DestroyWindow(hWnd);
    std::printf("lobby: %s\n", ok ? "both rounds as expected" : "FAILED");
    return ok ? 0 : 1;
}
