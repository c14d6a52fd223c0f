// The demo lobby: opens a server end, hands its channel name to the games through
// g_ipcConfig, starts two games one after the other and serves them. It waits on the
// running game's process handle together with its messages, so a game that ends without
// connecting (it could not load the library, it crashed at start) is noticed at once.
// With a display it shows its scene live in a window (SceneWindow.h).
//   lobbykit_lobby [--hold SECONDS] [GAME_PROGRAM]   default: lobbykit_game, beside the lobby
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "DemoProcess.h"
#include "DemoProtocol.h"
#include "DemoText.h"
#include "Emotion.h"
#include "GameLink.h"
#include "LevelName.h"
#include "Image.h"
#include "Scene.h"
#include "SceneWindow.h"
#include "ipc/MapIPC.h"

namespace {

const char* const kPlayers[] = {"amy", "tom"};
const int kGames = 2;

struct Lobby : demo::LoopHooks {
    CMapIPC channel;
    std::string gameProgram;
    demo::Child child;
    bool connected = false;  // the running game has connected
    bool gameEnded = false;  // its process has ended (its leave may still be on its way)
    int started = 0;
    int finished = 0;
    int exitCode = 0;
    std::string player;
    CGetEmotion emotion;
    // The scene shown live in a window (none when headless): a DIB section CImage draws into.
    std::unique_ptr<demo::SceneWindow> window;
    CImage live;
    demo::SceneState state;

    HANDLE Waitable(int* id) override
    {
        *id = started;
        return gameEnded ? nullptr : child.Handle();
    }
    bool DispatchWaiting() override;
    void OnSignalled() override;
    void OnWaitFailed() override;
};
Lobby* g_lobby = nullptr;

void Say(const std::string& utf8) { demo::Print("lobby", utf8); }

// The live scene after a change of state: drawn anew into the section, then shown.
void Redraw()
{
    Lobby& l = *g_lobby;
    if (!l.window) return;
    std::string failure;
    if (!demo::DrawScene(l.live, failure, l.state)) Say("scene: could not " + failure);
    l.window->Show();
}

void Send(unsigned char id, const std::string& data)
{
    if (g_lobby->channel.QueuePacket(id, data.data(), int(data.size())) != 0)
        Say(std::string("could not queue ") + demo::CommandName(id));
}

bool StartNextGame()
{
    Lobby& l = *g_lobby;
    const char* player = kPlayers[l.started];
    Say(std::string("starting game ") + std::to_string(l.started + 1) + " for " + player);
    if (!l.child.Start(l.gameProgram, player)) {
        Say("could not start the game (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    l.connected = false;
    l.gameEnded = false;
    ++l.started;
    return true;
}

// The game is over, one way or the other: the next one, or the end.
void NextGameOrQuit()
{
    Lobby& l = *g_lobby;
    if (++l.finished < kGames) {
        if (!StartNextGame()) {
            l.exitCode = 1;
            PostQuitMessage(1);
        }
    } else {
        PostQuitMessage(l.exitCode);
    }
}

// The running game's process has ended (what it posted before has been dispatched).
void Lobby::OnSignalled()
{
    Lobby& l = *this;
    l.gameEnded = true;
    if (l.connected) return;  // its leave (IPC_NOTIFY_EXIT) comes through the channel
    const int code = l.child.Wait();
    Say("game " + std::to_string(l.started) + " for " + kPlayers[l.started - 1] +
        " ended without connecting (exit code " + std::to_string(code) + ")");
    l.exitCode = 1;
    NextGameOrQuit();
}

// Dispatches every waiting message; false on WM_QUIT.
bool Lobby::DispatchWaiting()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

namespace demo {

// Messages first, also when the process ended: its connect may be among them.
void RunMessageLoop(LoopHooks& hooks)
{
    for (;;) {
        int id = 0;
        HANDLE handle = hooks.Waitable(&id);
        const DWORD n = handle ? 1 : 0;
        const DWORD w = MsgWaitForMultipleObjects(n, &handle, FALSE, INFINITE, QS_ALLINPUT);
        if (w == WAIT_FAILED) {
            hooks.OnWaitFailed();
            return;
        }
        if (!hooks.DispatchWaiting()) return;
        int now = 0;
        if (n == 1 && w == WAIT_OBJECT_0 && hooks.Waitable(&now) == handle && now == id) hooks.OnSignalled();
    }
}

}  // namespace demo

namespace {

void Lobby::OnWaitFailed()
{
    Say("could not wait (error " + std::to_string(GetLastError()) + ")");
    exitCode = 1;
}

void OnPacket(unsigned char id, const char* data, int len)
{
    Lobby& l = *g_lobby;
    switch (id) {
    case demo::CMD_HELLO: {
        l.player.assign(data, size_t(len));
        Say("<- HELLO from " + l.player);
        Send(demo::CMD_WELCOME, demo::ToGbk("欢迎 " + l.player + " 来到游戏大厅！"));
        break;
    }
    case demo::CMD_SCORE: {
        if (len != 8) break;
        const int game = demo::ReadInt(data);
        const std::int32_t score = demo::ReadInt(data + 4);
        char title[32] = "";
        long level = 0;
        GetLevelName(game, data + 4, title, &level);
        l.state.level = level;
        ++l.state.turns;
        Redraw();
        Say("<- SCORE game " + std::to_string(game) + ", score " + std::to_string(score) + "  -> title " +
            demo::ToUtf8(title) + ", level " + std::to_string(level));
        Send(demo::CMD_TITLE, demo::PackInts(std::int32_t(level), 0).substr(0, 4) + title);
        break;
    }
    case demo::CMD_CHAT: {
        const std::string line(data, size_t(len));
        char reply[1024];
        if (l.emotion.GetEmotion(l.player.c_str(), line.c_str(), reply)) {
            const char local = char(l.emotion.IsLocalMessage());
            Say("<- CHAT \"" + demo::ToUtf8(line) + "\"  -> " + demo::ToUtf8(reply));
            Send(demo::CMD_CHAT_REPLY, std::string(1, local) + reply);
        }
        break;
    }
    default: Say(std::string("<- unknown command ") + std::to_string(id));
    }
}

LRESULT CALLBACK LobbyProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Lobby& l = *g_lobby;
    if (msg == WM_IPC_NOTIFY) {
        switch (lParam) {
        case IPC_NOTIFY_CONNECT:
            Say("a game connected");
            l.connected = true;
            l.state = demo::SceneState();
            l.state.turns = 1;
            Redraw();
            break;
        case IPC_NOTIFY_DATA: {
            unsigned char id = 0;
            char data[4096];
            int len = 0;
            // Take every waiting packet: a notification may have been refused by a full queue,
            // and the ones that follow then find nothing.
            while (l.channel.RecvPacket(id, data, len) == 0) OnPacket(id, data, len);
            break;
        }
        case IPC_NOTIFY_EXIT:
            Say("the game left (IPC_NOTIFY_EXIT)");
            l.state = demo::SceneState();  // upright again, in the lobby's colour
            Redraw();
            l.child.Wait();
            NextGameOrQuit();
            break;
        }
        return 0;
    }
    if (msg == demo::WM_DEMO_TIMEOUT) {
        Say("timed out");
        l.exitCode = 1;
        PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The default channel name (bMultChanel 0) is one per user: a second lobby that wrote its
// name there would take the first one's games, or have them refused. A lobby holds this
// mutex for as long as its name is there (a lobby that dies leaves it abandoned, and the
// next takes it). A lobby of another kind does not know the mutex: it is found by its
// channel, open under the configured name.
const char kDefaultNameMutex[] = "lobbykit-demo-default-channel";

// Takes the default channel name for this lobby; 0 if another lobby is live on it.
HANDLE ClaimDefaultName()
{
    HANDLE owner = CreateMutexA(nullptr, FALSE, kDefaultNameMutex);
    if (!owner) return nullptr;
    const DWORD w = WaitForSingleObject(owner, 0);
    bool claimed = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    if (claimed && g_ipcConfig.bMultChanel == 0 && g_ipcConfig.szServerName[0]) {
        if (HANDLE other = OpenFileMappingA(FILE_MAP_READ, FALSE, g_ipcConfig.szServerName)) {
            CloseHandle(other);
            ReleaseMutex(owner);
            claimed = false;
        }
    }
    if (!claimed) {
        CloseHandle(owner);
        return nullptr;
    }
    return owner;
}

void ReleaseDefaultName(HANDLE owner, const char* name)
{
    if (lstrcmpA(g_ipcConfig.szServerName, name) == 0) g_ipcConfig.szServerName[0] = '\0';
    ReleaseMutex(owner);
    CloseHandle(owner);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Lobby lobby;
    g_lobby = &lobby;
    // --hold SECONDS keeps the scene's window on the screen after the games (a screenshot's
    // time); without a display there is no window to keep.
    long holdSeconds = 0;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "--hold") == 0) {
        holdSeconds = std::strtol(argv[2], nullptr, 10);
        if (holdSeconds < 0 || holdSeconds > 3600) holdSeconds = 0;
        arg = 3;
    }
    lobby.gameProgram = argc > arg ? argv[arg] : "lobbykit_game";

    const HANDLE nameOwner = ClaimDefaultName();
    if (!nameOwner) {
        const std::string other = g_ipcConfig.szServerName;
        Say("another lobby of this user is live on the configured channel name" +
            (other.empty() ? std::string(" (opening its channel)") : " (" + other + ")") +
            ": with bMultChanel 0 one lobby per user serves its games. To run several, use "
            "multi-channel mode and give each game its channel name (see README). Exiting.");
        return 3;
    }
    HWND hWnd = demo::CreateMessageWindow("LobbyKitDemoLobby", LobbyProc);

    // A channel name of our own, handed to every game through the shared configuration.
    char name[64];
    wsprintfA(name, "lobbykit-demo-%lu", GetCurrentProcessId());
    if (!lobby.channel.CreateServerMapIPC(name, hWnd)) {
        Say("could not open the server end");
        ReleaseDefaultName(nameOwner, name);
        return 1;
    }
    g_ipcConfig.bMultChanel = 0;
    lstrcpynA(g_ipcConfig.szServerName, name, sizeof g_ipcConfig.szServerName);
    Say(std::string("server end open on channel ") + name + "; g_ipcConfig now names it");

    // With a display, the scene lives in a window: a DIB section that CImage draws into.
    void* bits = nullptr;
    std::string how;
    if (demo::CreateSceneSection(lobby.live, &bits))
        lobby.window = demo::SceneWindow::Open("lobbykit lobby", bits, demo::kSceneW, demo::kSceneH, how);
    if (lobby.window) {
        Say("the scene is shown live in " + how);
        Redraw();
    }

    demo::Watchdog watchdog(hWnd, demo::WM_DEMO_TIMEOUT, 20000);
    if (!StartNextGame()) lobby.exitCode = 1;
    else if (lobby.window) lobby.window->Run(lobby);
    else demo::RunMessageLoop(lobby);

    lobby.channel.CloseIPC();
    lobby.child.Wait();
    ReleaseDefaultName(nameOwner, name);
    DestroyWindow(hWnd);
    Say(demo::SaveSceneBeside(argv[0]));
    if (lobby.window && holdSeconds > 0) {
        Say("scene window held for " + std::to_string(holdSeconds) + " s");
        lobby.window->Hold(DWORD(holdSeconds) * 1000);
    }
    Say(lobby.exitCode == 0 ? "both games served; closing" : "failed");
    lobby.window.reset();
    return lobby.exitCode;
}
