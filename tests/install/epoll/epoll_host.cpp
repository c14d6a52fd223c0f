// A game whose main loop is a plain epoll loop, started by the demo lobby in place of its
// game (lobbykit_lobby /path/to/epoll_host). It watches its thread queue's descriptor
// (WinportGetMessageQueueFd) and nothing else: first for 5 idle seconds, in which nothing
// may wake it and its CPU time (all its threads, the channel's worker included) must stay
// below 10 ms; then it speaks the demo's protocol, and every packet the lobby sends must
// come with its own notification through the descriptor.
//   epoll_host PLAYER    prints "epoll host PLAYER: ok ..." or "epoll host PLAYER: FAILED ..."
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "GameLink.h"

namespace {

// The demo's commands (its DemoProtocol.h).
enum : unsigned char { kHello = 1, kWelcome = 2, kScore = 3, kTitle = 4, kChat = 5, kChatReply = 6 };
const char* const kChatLines[] = {"hello everyone", "/love tom", "/hug amy", "/help"};
const int kPacketsWanted = 2 + 4;  // WELCOME, TITLE and one reply per chat line

CGameLink g_link;
int g_notifications = 0;  // WM_IPC_NOTIFY with IPC_NOTIFY_DATA
int g_packets = 0;
int g_replies = 0;

void Send(unsigned char id, const std::string& data) { g_link.SendCmd(id, data.data(), int(data.size())); }

LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_IPC_NOTIFY) return DefWindowProcA(hWnd, msg, wParam, lParam);
    if (lParam != IPC_NOTIFY_DATA) return 0;
    ++g_notifications;
    unsigned char id = 0;
    char data[4096];
    int len = 0;
    while (g_link.RecvCmd(id, data, len) == 0) {
        ++g_packets;
        if (id == kWelcome) {
            const std::int32_t ints[2] = {6, 7100};  // game 6, score 7100
            Send(kScore, std::string(reinterpret_cast<const char*>(ints), sizeof ints));
        } else if (id == kTitle) {
            for (const char* line : kChatLines) Send(kChat, line);
        } else if (id == kChatReply && ++g_replies == 4) {
            g_link.CloseConnect();
            PostQuitMessage(0);
        }
    }
    return 0;
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string player = argc > 1 ? argv[1] : "amy";
    auto verdict = [&](bool ok, const std::string& what) {
        std::printf("epoll host %s: %s %s\n", player.c_str(), ok ? "ok" : "FAILED", what.c_str());
        std::fflush(stdout);
        return ok ? 0 : 1;
    };
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "EpollHost";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, "EpollHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!hWnd || !g_link.ConnectServer(nullptr, hWnd)) return verdict(false, "(no window or no lobby)");

    const int fd = WinportGetMessageQueueFd();
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN;
    if (fd < 0 || ep < 0 || epoll_ctl(ep, EPOLL_CTL_ADD, fd, &watch) != 0) return verdict(false, "(no descriptor)");

    // Idle: connected, and nothing to say yet.
    epoll_event ev{};
    const double before = CpuMs();
    const int idleWakes = epoll_wait(ep, &ev, 1, 5000);
    const double idleMs = CpuMs() - before;

    Send(kHello, player);
    int wakes = 0;
    bool quit = false;
    while (!quit && epoll_wait(ep, &ev, 1, 15000) == 1) {
        ++wakes;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quit = true;
            else DispatchMessageA(&msg);
        }
    }
    close(ep);
    DestroyWindow(hWnd);
    char line[200];
    std::snprintf(line, sizeof line,
                  "%d packets in %d notifications through the queue descriptor (%d wake-ups); "
                  "5 idle seconds: %d wake-ups, %.2f ms CPU",
                  g_packets, g_notifications, wakes, idleWakes, idleMs);
    const bool ok =
        quit && g_packets == kPacketsWanted && g_notifications == kPacketsWanted && idleWakes == 0 && idleMs < 10.0;
    return verdict(ok, line);
}
