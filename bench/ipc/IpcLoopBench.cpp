// The channel's speed in the Windows build (under Wine here), where Google Benchmark is not
// available: plain timing loops over the same three figures as ipc_bench, between two
// processes that each hold a real window and run a message loop.
//   ipc_loop_bench [ROUNDS]       starts itself as the peer, prints the medians of ROUNDS (5)
//   ipc_loop_bench --peer NAME    the peer: the server end of channel NAME
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IpcBenchChannel.h"

namespace {

using ipcbench::kCmdEcho;
using ipcbench::kCmdSink;
using ipcbench::kCmdSync;

CMapIPC* g_ipc = nullptr;
char g_buf[IPC_RECV_BUF_SIZE];

LRESULT CALLBACK PeerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return ipcbench::PeerMessage(*g_ipc, g_buf, hWnd, uMsg, wParam, lParam, [](BYTE) {});
}

HWND MakeWindow(const char* cls, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = cls;
    ::RegisterClassA(&wc);
    // Message-only: Wine without a display driver can make only these.
    return ::CreateWindowExA(0, cls, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

int RunPeer(const char* name)
{
    HWND hWnd = MakeWindow("ipc_loop_peer", PeerProc);
    if (!hWnd) return 2;
    CMapIPC ipc;
    g_ipc = &ipc;
    if (!ipc.CreateServerMapIPC(name, hWnd)) return 2;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    ipc.CloseIPC();
    return 0;
}

double Now()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

class Client {
public:
    bool Open(const char* name)
    {
        m_hWnd = MakeWindow("ipc_loop_bench", ::DefWindowProcA);
        if (!m_hWnd) return false;
        // The peer needs a moment to create the server end.
        for (int i = 0; i < 500; ++i) {
            if (m_ipc.ConnectServerMapIPC(name, m_hWnd)) return true;
            ::Sleep(20);
        }
        return false;
    }
    void Close() { m_ipc.CloseIPC(); }

    void WaitPacket(BYTE cmd) { ipcbench::WaitPacket(m_ipc, cmd, m_buf); }

    // Seconds per round trip of a 16-byte command and its answer.
    double RoundTrip(int n)
    {
        char msg[17] = "ping-pong-16byte";
        const double t0 = Now();
        for (int i = 0; i < n; ++i) {
            m_ipc.QueuePacket(kCmdEcho, msg, 16);
            WaitPacket(kCmdEcho);
        }
        return (Now() - t0) / n;
    }

    // Packets per second: bursts of `batch` packets of `size` bytes, each burst answered.
    double Throughput(int size, int batch, int bursts)
    {
        std::vector<char> data(static_cast<size_t>(size), 'd');
        const double t0 = Now();
        for (int b = 0; b < bursts; ++b) {
            for (int i = 0; i < batch; ++i) m_ipc.QueuePacket(kCmdSink, data.data(), size);
            m_ipc.QueuePacket(kCmdSync, nullptr, 0);
            WaitPacket(kCmdSync);
        }
        return static_cast<double>(batch) * bursts / (Now() - t0);
    }

private:
    HWND m_hWnd = nullptr;
    CMapIPC m_ipc;
    char m_buf[IPC_RECV_BUF_SIZE];
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--peer") == 0) return RunPeer(argv[2]);
    const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;

    char name[64];
    ::wsprintfA(name, "lkloop_%lu", ::GetCurrentProcessId());
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string cmdline = std::string("\"") + self + "\" --peer " + name;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("cannot start the peer (%lu)\n", ::GetLastError());
        return 2;
    }
    Client client;
    if (!client.Open(name)) {
        std::printf("cannot connect to the peer (or no window)\n");
        ::TerminateProcess(pi.hProcess, 1);
        return 2;
    }
    client.RoundTrip(50);  // warm-up
    client.Throughput(16, 4000, 1);
    client.Throughput(4095, 400, 1);

    // The three measurements take turns, so that a change in the machine's load reaches all.
    std::vector<double> rt, small, big;
    for (int r = 0; r < rounds; ++r) {
        rt.push_back(client.RoundTrip(2000));
        small.push_back(client.Throughput(16, 4000, 10));
        big.push_back(client.Throughput(4095, 400, 5) * 4095);
    }
    client.Close();
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);

    std::printf("channel, Windows build (medians of %d rounds)\n", rounds);
    std::printf("round trip of 16 bytes      %8.1f us\n", Median(rt) * 1e6);
    std::printf("16-byte packets per second  %8.1f k\n", Median(small) / 1e3);
    std::printf("4095-byte packets           %8.1f MB/s\n", Median(big) / 1e6);
    return 0;
}
