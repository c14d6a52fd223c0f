// The other process of the channel benchmark: a server end of the channel with a window and
// message loop, and a Unix-domain socket server, in one process.
//   ipc_bench_peer CHANNEL SOCKET_PATH     prints "ready" once both listen
#include <windows.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "AllocCounter.h"
#include "IpcBenchCommon.h"
#include "ipc/MapIPC.h"

namespace {

CMapIPC* g_ipc = nullptr;
char g_buf[IPC_RECV_BUF_SIZE];

LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Takes what is waiting, as a host should (a notification can be refused by a full queue).
    return ipcbench::PeerMessage(*g_ipc, g_buf, hWnd, uMsg, wParam, lParam, [](BYTE cmd) {
        if (cmd == ipcbench::kCmdPause) ::Sleep(200);
        if (cmd == ipcbench::kCmdCost) {
            const ipcbench::ProcessCost cost = ipcbench::OwnCost(lkbench::Allocations());
            g_ipc->QueuePacket(cmd, reinterpret_cast<const char*>(&cost), sizeof cost);
        }
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return 64;
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, argv[2], sizeof addr.sun_path - 1);
    unlink(argv[2]);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 4) != 0) {
        std::printf("socket-failed\n");
        return 2;
    }
    std::thread([listener] {
        for (;;) {
            const int fd = accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            std::thread([fd] {
                ipcbench::ServeConnection(fd);
                close(fd);
            }).detach();
        }
    }).detach();

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.lpszClassName = "ipc_bench_peer";
    ::RegisterClassA(&wc);
    HWND hWnd = ::CreateWindowExA(0, "ipc_bench_peer", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    CMapIPC ipc;
    g_ipc = &ipc;
    if (!ipc.CreateServerMapIPC(argv[1], hWnd)) {
        std::printf("create-failed\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    ipc.CloseIPC();
    unlink(argv[2]);
    return 0;
}
