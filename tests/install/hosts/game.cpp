// The install test's game: connects to the lobby on the channel named on its command line,
// says hello, reports a score, has packets of every size echoed, and leaves.
//   install_game CHANNEL         one round; exit code 0 when every answer was right
//   install_game --leave-early   ends at once without connecting (exit code 7)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "GameLink.h"
#include "HostLoop.h"

namespace {

CGameLink g_link;
std::string g_welcome;
int g_level = -1;
std::string g_title;
int g_echoed = 0;  // echoes that came back intact
bool g_lobbyLeft = false;
bool g_wrong = false;

void OnCommand(unsigned char id, const char* data, int len)
{
    switch (id) {
    case host::CMD_WELCOME: g_welcome.assign(data, size_t(len)); break;
    case host::CMD_TITLE:
        if (len < 4) {
            g_wrong = true;
            break;
        }
        g_level = host::GetInt(data);
        g_title.assign(data + 4, size_t(len - 4));
        break;
    case host::CMD_ECHO: {
        const int n = g_echoed;
        bool same = len == n * host::kEchoStep;
        for (int i = 0; same && i < len; ++i) same = data[i] == host::EchoByte(n, i);
        if (!same) {
            std::printf("game: echo %d came back wrong (%d bytes)\n", n, len);
            g_wrong = true;
        }
        ++g_echoed;
        break;
    }
    default: std::printf("game: unknown command %d\n", id); g_wrong = true;
    }
}

LRESULT CALLBACK GameProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_IPC_NOTIFY) return DefWindowProcA(hWnd, msg, wParam, lParam);
    if (lParam == IPC_NOTIFY_DATA) {
        unsigned char id = 0;
        char data[4096];
        int len = 0;
        while (g_link.RecvCmd(id, data, len) == 0) OnCommand(id, data, len);
    } else if (lParam == IPC_NOTIFY_EXIT) {
        g_lobbyLeft = true;
    }
    return 0;
}

bool Send(unsigned char id, const char* data, int len)
{
    // The queue refuses only past 8 MiB waiting, far beyond what this game sends.
    if (g_link.SendCmd(id, data, len) == 0) return true;
    std::printf("game: SendCmd(%d, %d bytes) refused\n", id, len);
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        std::printf("usage: install_game CHANNEL | --leave-early\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--leave-early") == 0) return host::kLeftEarlyCode;

    HWND hWnd = host::MakeMessageWindow("LobbyKitInstallGame", GameProc);
    if (!hWnd || !g_link.ConnectServer(argv[1], hWnd)) {
        std::printf("game: could not connect to %s\n", argv[1]);
        return 1;
    }
    char score[8];
    host::PutInt(score, host::kGameId);
    host::PutInt(score + 4, host::kScore);
    bool sent = Send(host::CMD_HELLO, "amy", 3) && Send(host::CMD_SCORE, score, 8);
    char echo[4096];
    for (int n = 0; sent && n < host::kEchoes; ++n) {
        for (int i = 0; i < n * host::kEchoStep; ++i) echo[i] = host::EchoByte(n, i);
        sent = Send(host::CMD_ECHO, echo, n * host::kEchoStep);
    }
    const bool answered =
        sent &&
        host::RunUntil(
            GetTickCount() + 10000, 0, nullptr,
            [] { return g_lobbyLeft || g_wrong || (g_echoed == host::kEchoes && g_level >= 0 && !g_welcome.empty()); },
            [](DWORD) {});
    const bool ok = answered && !g_wrong && !g_lobbyLeft && g_welcome == "welcome amy" && g_level == 21 &&
                    g_title == host::kTitle && g_echoed == host::kEchoes;
    std::printf("game: welcome \"%s\", level %d, title %s, %d of %d echoes\n", g_welcome.c_str(), g_level,
                g_title == host::kTitle ? "as expected" : "WRONG", g_echoed, host::kEchoes);
    if (ok) Send(host::CMD_DONE, nullptr, 0);
    g_link.CloseConnect();  // the queued CMD_DONE leaves first
    DestroyWindow(hWnd);
    std::printf("game: %s\n", ok ? "left" : "FAILED");
    return ok ? 0 : 1;
}
