// The channel against Unix-domain sockets between the same two processes: this process holds
// a client end (window + message loop) and socket clients; ipc_bench_peer holds the server
// end and the socket server. After the runs the ratios are printed:
//   round trip of a 16-byte command and its answer     channel / socket ping-pong
//   16-byte packets per second                          channel / socket stream (one write each)
//   4095-byte packets, MB/s                             channel / socket stream (one write each)
#include <windows.h>

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AllocCounter.h"
#include "IpcBenchCommon.h"
#include "ipc/MapIPC.h"

namespace {

using namespace ipcbench;

// The peer process, the channel's client end and the two socket connections.
class Env {
public:
    static Env& Get()
    {
        static Env env;
        return env;
    }

    bool Ok() const { return m_ok; }

    // Message loop until the packet with command id `cmd` has been taken; its data is then
    // in Data().
    void WaitPacket(unsigned char cmd) { ipcbench::WaitPacket(m_ipc, cmd, m_buf, m_data); }

    CMapIPC& Channel() { return m_ipc; }
    const char* Data() const { return m_data; }

    // The costs of both processes so far.
    void Costs(ProcessCost* own, ProcessCost* peer)
    {
        m_ipc.QueuePacket(kCmdCost, nullptr, 0);
        WaitPacket(kCmdCost);
        std::memcpy(peer, m_data, sizeof *peer);
        *own = OwnCost(lkbench::Allocations());
    }
    int PingSocket() const { return m_ping; }
    int StreamSocket() const { return m_stream; }

    void Shutdown()
    {
        if (m_pid <= 0) return;
        m_ipc.CloseIPC();
        close(m_ping);
        close(m_stream);
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    Env()
    {
        const std::string tag = std::to_string(getpid());
        const std::string channel = "lkbench_" + tag;
        const std::string path = "/tmp/lkbench_" + tag + ".sock";
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl(IPC_BENCH_PEER_PATH, IPC_BENCH_PEER_PATH, channel.c_str(), path.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        char line[64] = {};
        size_t n = 0;
        while (n < sizeof line - 1 && read(out[0], line + n, 1) == 1 && line[n] != '\n') ++n;
        close(out[0]);
        if (std::strncmp(line, "ready", 5) != 0) return;

        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.lpszClassName = "ipc_bench";
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(0, "ipc_bench", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        if (!m_ipc.ConnectServerMapIPC(channel.c_str(), m_hWnd)) return;
        m_ping = Connect(path, kSockPingPong);
        m_stream = Connect(path, kSockStream);
        // One exchange on each, so that the peer's threads serving them exist (they allocate
        // as they start) before any benchmark counts allocations.
        char msg[kPingSize] = {};
        const std::uint64_t none = 0;
        char ack;
        m_ok = m_ping >= 0 && m_stream >= 0 && WriteAll(m_ping, msg, sizeof msg) && ReadAll(m_ping, msg, sizeof msg) &&
               WriteAll(m_stream, &none, sizeof none) && ReadAll(m_stream, &ack, 1);
    }

    static int Connect(const std::string& path, char mode)
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !WriteAll(fd, &mode, 1)) {
            close(fd);
            return -1;
        }
        return fd;
    }

    pid_t m_pid = -1;
    HWND m_hWnd = nullptr;
    CMapIPC m_ipc;
    int m_ping = -1;
    int m_stream = -1;
    bool m_ok = false;
    char m_buf[IPC_RECV_BUF_SIZE];
    char m_data[IPC_RECV_BUF_SIZE];
};

// Per-packet costs of both processes over a benchmark's timed loop, as counters; a heap
// allocation in the steady state fails the benchmark (the packet path must not allocate).
class CostWindow {
public:
    explicit CostWindow(Env& env) : m_env(env) { m_env.Costs(&m_own, &m_peer); }

    void Report(benchmark::State& state, std::int64_t packets)
    {
        ProcessCost own, peer;
        m_env.Costs(&own, &peer);
        // The cost query itself: one packet each way, which allocates nothing either.
        const ProcessCost a = own - m_own, b = peer - m_peer;
        const double n = static_cast<double>(packets > 0 ? packets : 1);
        state.counters["allocs"] = static_cast<double>(a.allocations + b.allocations);
        state.counters["cpu_ns/pkt"] = static_cast<double>(a.cpuNs + b.cpuNs) / n;
        state.counters["sleeps/pkt"] = static_cast<double>(a.sleeps + b.sleeps) / n;
        state.counters["allocs/pkt"] = static_cast<double>(a.allocations + b.allocations) / n;
        // IPC_BENCH_ALLOW_ALLOC=1 shows the costs of a build that still allocates.
        if (a.allocations + b.allocations != 0 && !std::getenv("IPC_BENCH_ALLOW_ALLOC")) {
            std::snprintf(m_error, sizeof m_error, "the packet path allocated (%lld here, %lld in the peer)",
                          static_cast<long long>(a.allocations), static_cast<long long>(b.allocations));
            state.SkipWithError(m_error);
        }
    }

private:
    Env& m_env;
    ProcessCost m_own, m_peer;
    static char m_error[96];  // outlives the window: the library may keep the pointer
};

// Packets per iteration of a throughput run.
int BatchFor(int size) { return size <= 64 ? 4000 : 400; }

void RoundTripChannel(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    char msg[kPingSize + 1] = "ping-pong-16byte";
    // One untimed round trip first: whatever grows on first use (queues, pools) has grown.
    env.Channel().QueuePacket(kCmdEcho, msg, kPingSize);
    env.WaitPacket(kCmdEcho);
    CostWindow cost(env);
    for (auto _ : state) {
        env.Channel().QueuePacket(kCmdEcho, msg, kPingSize);
        env.WaitPacket(kCmdEcho);
    }
    cost.Report(state, state.iterations());
    state.SetItemsProcessed(state.iterations());
}

void RoundTripSocket(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    char msg[kPingSize + 1] = "ping-pong-16byte";
    for (auto _ : state) {
        if (!WriteAll(env.PingSocket(), msg, kPingSize) || !ReadAll(env.PingSocket(), msg, kPingSize))
            return state.SkipWithError("socket");
    }
    state.SetItemsProcessed(state.iterations());
}

void ThroughputChannel(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    const int size = static_cast<int>(state.range(0));
    const int batch = BatchFor(size);
    std::vector<char> data(static_cast<size_t>(size), 'd');
    auto burst = [&] {
        for (int i = 0; i < batch; ++i) env.Channel().QueuePacket(kCmdSink, data.data(), size);
        env.Channel().QueuePacket(kCmdSync, nullptr, 0);
        env.WaitPacket(kCmdSync);
    };
    // Untimed: the queues, pools and message queues reach their working size. Two bursts at
    // once, while the peer's host pauses, hold more than any timed burst can (one burst and a
    // few packets) in every queue on the way; and at least 10,001 packets, so that the peer's
    // message queue has once held its limit of 10,000 notifications (a host that falls behind
    // by more than a burst leaves unread notifications that the next burst adds to).
    env.Channel().QueuePacket(kCmdPause, nullptr, 0);
    const int warm = 2 * batch > 10001 ? 2 * batch : (size <= 64 ? 10001 : 2 * batch);
    for (int i = 0; i < warm; ++i) env.Channel().QueuePacket(kCmdSink, data.data(), size);
    env.Channel().QueuePacket(kCmdSync, nullptr, 0);
    env.WaitPacket(kCmdSync);
    CostWindow cost(env);
    for (auto _ : state) burst();
    cost.Report(state, state.iterations() * batch);
    state.SetItemsProcessed(state.iterations() * batch);
    state.SetBytesProcessed(state.iterations() * batch * size);
}

void ThroughputSocket(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    const int size = static_cast<int>(state.range(0));
    const int batch = BatchFor(size);
    std::vector<char> data(static_cast<size_t>(size), 'd');
    const int fd = env.StreamSocket();
    for (auto _ : state) {
        const std::uint64_t total = static_cast<std::uint64_t>(batch) * static_cast<std::uint64_t>(size);
        WriteAll(fd, &total, sizeof total);
        for (int i = 0; i < batch; ++i) WriteAll(fd, data.data(), data.size());  // one write each
        char ack;
        if (!ReadAll(fd, &ack, 1)) return state.SkipWithError("socket");
    }
    state.SetItemsProcessed(state.iterations() * batch);
    state.SetBytesProcessed(state.iterations() * batch * size);
}

BENCHMARK(RoundTripChannel)->UseRealTime();
BENCHMARK(RoundTripSocket)->UseRealTime();
BENCHMARK(ThroughputChannel)->Arg(16)->Arg(4095)->UseRealTime();
BENCHMARK(ThroughputSocket)->Arg(16)->Arg(4095)->UseRealTime();

[[maybe_unused]] void PrintRatio(const char* what, double ratio, const char* target, bool met)
{
    std::printf("%-44s %8.2fx   target %s   %s\n", what, ratio, target, met ? "met" : "MISSED");
}

char CostWindow::m_error[96];

}  // namespace

#if defined(IPC_SPEED_BENCH)
// ipc_speed_bench runs these benchmarks beside the floor's (IpcSpeedBench.cpp).
void StopChannelPeer() { Env::Get().Shutdown(); }
#else
int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    Env::Get().Shutdown();

    auto& r = reporter.runs;
    const char* kRtC = "RoundTripChannel/real_time";
    const char* kRtS = "RoundTripSocket/real_time";
    const char* k16C = "ThroughputChannel/16/real_time";
    const char* k16S = "ThroughputSocket/16/real_time";
    const char* kBigC = "ThroughputChannel/4095/real_time";
    const char* kBigS = "ThroughputSocket/4095/real_time";
    std::printf("\nratios (same run, same two processes)\n");
    if (r.count(kRtC) && r.count(kRtS)) {
        const double x = r[kRtC].secondsPerIteration / r[kRtS].secondsPerIteration;
        std::printf("round trip: channel %.1f us, socket ping-pong %.1f us\n", r[kRtC].secondsPerIteration * 1e6,
                    r[kRtS].secondsPerIteration * 1e6);
        PrintRatio("round trip time, channel / socket", x, "<= 1.6", x <= 1.6);
    }
    if (r.count(k16C) && r.count(k16S)) {
        const double x = r[k16C].itemsPerSecond / r[k16S].itemsPerSecond;
        std::printf("16-byte packets/s: channel %.0f, socket %.0f\n", r[k16C].itemsPerSecond, r[k16S].itemsPerSecond);
        PrintRatio("16-byte packets/s, channel / socket", x, ">= 2", x >= 2.0);
    }
    if (r.count(kBigC) && r.count(kBigS)) {
        const double x = r[kBigC].bytesPerSecond / r[kBigS].bytesPerSecond;
        std::printf("4095-byte MB/s: channel %.1f, socket %.1f\n", r[kBigC].bytesPerSecond / 1e6,
                    r[kBigS].bytesPerSecond / 1e6);
        PrintRatio("4095-byte MB/s, channel / socket", x, ">= 0.3", x >= 0.3);
    }
    return 0;
}
#endif
