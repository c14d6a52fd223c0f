// The demo game: connects to the lobby that started it with ConnectServer(NULL, hWnd),
// announces itself, reports a score, sends a few chat lines and leaves.
#include <windows.h>

#include <cstdio>
#include <string>

#include "DemoProcess.h"
#include "DemoProtocol.h"
#include "DemoText.h"
#include "GameLink.h"

namespace {

const char* const kChatLines[] = {"hello everyone", "/love tom", "/hug amy", "/help"};

struct Game {
    CGameLink link;
    std::string player;
    int gameId = 0;
    std::int32_t score = 0;
    size_t repliesWanted = sizeof kChatLines / sizeof kChatLines[0];
    size_t replies = 0;
    int exitCode = 0;
};
Game* g_game = nullptr;

void Say(const std::string& utf8) { demo::Print("game " + g_game->player, utf8); }

void Send(unsigned char id, const std::string& data)
{
    if (g_game->link.SendCmd(id, data.data(), int(data.size())) != 0)
        Say(std::string("could not send ") + demo::CommandName(id));
}

void OnPacket(unsigned char id, const char* data, int len)
{
    Game& g = *g_game;
    const std::string text(data, size_t(len));
    switch (id) {
    case demo::CMD_WELCOME:
        Say("<- WELCOME \"" + demo::ToUtf8(text) + "\"");
        Say("-> SCORE game " + std::to_string(g.gameId) + ", score " + std::to_string(g.score));
        Send(demo::CMD_SCORE, demo::PackInts(g.gameId, g.score));
        break;
    case demo::CMD_TITLE:
        if (len < 4) break;
        Say("<- TITLE " + demo::ToUtf8(text.substr(4)) + " (level " + std::to_string(demo::ReadInt(data)) + ")");
        for (const char* line : kChatLines) {
            Say(std::string("-> CHAT \"") + line + "\"");
            Send(demo::CMD_CHAT, line);
        }
        break;
    case demo::CMD_CHAT_REPLY:
        if (len < 1) break;
        Say(std::string("<- ") + (data[0] ? "(to me only) " : "(to everyone) ") + demo::ToUtf8(text.substr(1)));
        if (++g.replies == g.repliesWanted) {
            Say("leaving: CloseConnect()");
            g.link.CloseConnect();
            PostQuitMessage(0);
        }
        break;
    default: Say("<- unknown command " + std::to_string(id));
    }
}

LRESULT CALLBACK GameProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Game& g = *g_game;
    if (msg == WM_IPC_NOTIFY) {
        if (lParam == IPC_NOTIFY_DATA) {
            unsigned char id = 0;
            char data[4096];
            int len = 0;
            while (g.link.RecvCmd(id, data, len) == 0) OnPacket(id, data, len);
        } else if (lParam == IPC_NOTIFY_EXIT) {
            Say("the lobby left");
            g.exitCode = 1;
            PostQuitMessage(1);
        }
        return 0;
    }
    if (msg == demo::WM_DEMO_TIMEOUT) {
        Say("timed out");
        g.exitCode = 1;
        PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Game game;
    g_game = &game;
    game.player = argc > 1 ? argv[1] : "player";
    // Each player plays another game: amy the nobility ladder, tom the officer ladder.
    game.gameId = game.player == "amy" ? 6 : 0;
    game.score = game.player == "amy" ? 7100 : 420;

    HWND hWnd = demo::CreateMessageWindow("LobbyKitDemoGame", GameProc);

    if (!game.link.ConnectServer(nullptr, hWnd)) {
        Say("ConnectServer(NULL, hWnd) failed");
        return 1;
    }
    Say("connected to the lobby by the default channel name");
    Say("-> HELLO");
    Send(demo::CMD_HELLO, game.player);

    demo::Watchdog watchdog(hWnd, demo::WM_DEMO_TIMEOUT, 15000);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    game.link.CloseConnect();
    DestroyWindow(hWnd);
    return game.exitCode;
}
