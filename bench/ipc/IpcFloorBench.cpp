// What the channel's thread structure costs on this machine, with no channel code at all: the
// same hand-offs made with bare futex words between two processes of two threads each, against
// a Unix-socket ping-pong and stream between the same two processes, in one run.
//
//   round trip   host A -> worker A -> worker B -> host B -> worker B -> worker A -> host A
//                (six hand-offs: a packet is queued, written to the area, taken, announced,
//                answered, written back, taken, announced)
//   + read wakes the same, and each worker also wakes the other one when it has taken its
//                area (the read event of the channel, which reaches a worker whose send queue
//                is empty: two extra wake-ups per round trip)
//   4095 bytes   worker A copies a 4095-byte frame into a shared area and wakes worker B, which
//                copies it out and wakes worker A (one area in flight, two hand-offs a packet)
//   + notify     the same, and worker B also wakes host B for each packet (the channel tells its
//                host once per packet)
//   wait sets    the read-wake round trip and the notified 4095-byte model again, each thread
//                sleeping as the channel's must: a worker with futex_waitv over four words (its
//                three events and its thread's termination word), a host over its message
//                queue's word
//   + watch      the same, and a worker first watches its word as winport's waits on several
//                objects do (kSpinBeforeSleepNs)
//
// The ratios printed at the end are the best a channel built on these hand-offs can reach here;
// bench/ipc/ipc_bench gives the channel's own.
#include <benchmark/benchmark.h>

#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "IpcBenchCommon.h"
#include "winport/posix/kernel/futex.h"

namespace {

using namespace ipcbench;

#ifndef SYS_futex_waitv
#define SYS_futex_waitv 449
#endif

// Words that never change, named beside a sleeper's own word when the sleeps are modelled
// as the channel's: its worker waits on three events and its thread's termination word
// (four words), its host on its message queue's word alone, both with futex_waitv.
// Three words, each on a page of its own as the channel's objects are (each event is a
// mapping of its own); shared with the peer.
std::atomic<std::uint32_t>* g_idleWords[3] = {};
// 0: bare sleeps; 1: sleep as the channel's threads do; 2: and watch first, as they do.
std::atomic<int>* g_waitSets = nullptr;

constexpr int kWorkerWords = 4;
constexpr int kHostWords = 1;

// A counter one thread sleeps on; Set counts one and wakes it. Wait returns once the counter
// differs from what the caller saw last; `words` is how many words the sleep names when the
// channel's wait sets are modelled.
struct alignas(64) Signal {
    std::atomic<std::uint32_t> value{0};

    void Set()
    {
        value.fetch_add(1, std::memory_order_seq_cst);
        syscall(SYS_futex, &value, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
    }

    void Wait(std::uint32_t& seen, int words)
    {
        std::uint32_t v;
        while ((v = value.load(std::memory_order_seq_cst)) == seen) {
            const int mode = g_waitSets->load(std::memory_order_relaxed);
            if (mode == 0) {
                syscall(SYS_futex, &value, FUTEX_WAIT, v, nullptr, nullptr, 0);
                continue;
            }
            if (mode == 2 && words > 1 && Watch(v)) continue;
            futex_waitv w[kWorkerWords] = {};
            w[0].uaddr = reinterpret_cast<std::uintptr_t>(&value);
            w[0].val = v;
            for (int i = 1; i < words; ++i) {
                w[i].uaddr = reinterpret_cast<std::uintptr_t>(g_idleWords[i - 1]);
                w[i].val = 0;
            }
            for (int i = 0; i < words; ++i) w[i].flags = FUTEX_32;
            syscall(SYS_futex_waitv, w, static_cast<unsigned>(words), 0u, nullptr, CLOCK_MONOTONIC);
        }
        seen = v;
    }

    // True when the value changed within the watch.
    bool Watch(std::uint32_t v) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::nanoseconds(winport::kSpinBeforeSleepNs);
        do {
            for (int round = 0; round < 16; ++round) {
                if (value.load(std::memory_order_acquire) != v) return true;
                winport::CpuRelax();
            }
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
};

// Work handed over between threads: posted by one, taken by another.
struct alignas(64) Mailbox {
    std::atomic<std::uint32_t> posted{0};
    std::uint32_t taken = 0;  // owned by the taking thread

    bool Take()
    {
        if (posted.load(std::memory_order_acquire) == taken) return false;
        ++taken;
        return true;
    }
    void Post() { posted.fetch_add(1, std::memory_order_release); }
};

constexpr int kFrame = 4 + 4095;

// Shared between the two processes (an anonymous shared mapping made before fork).
struct Shared {
    std::atomic<int> stop{0};
    std::atomic<int> waitSets{0};
    std::atomic<int> readWakes{0};   // round trip with the two extra wake-ups
    std::atomic<int> notifyHost{0};  // 4095 bytes: worker B wakes host B for each packet
    Signal hostA, workerA, workerB, hostB;
    Mailbox queuedA;    // host A -> worker A: a packet to send
    Mailbox areaA;      // worker A -> worker B: A's area written
    Mailbox answerB;    // host B -> worker B: the answer to send
    Mailbox areaB;      // worker B -> worker A: B's area written
    Mailbox announceB;  // worker B -> host B
    Mailbox announceA;  // worker A -> host A
    Mailbox arrivedB;   // worker B -> host B: a packet of the 4095-byte model
    // The 4095-byte model: one area, 0 empty / 1 written.
    alignas(64) std::atomic<std::uint32_t> areaStatus{0};
    Signal areaWritten, areaTaken;
    alignas(64) char area[kFrame];
};

// One worker of the round-trip model: takes its host's packet into the peer's mailbox, and the
// peer's area to its host (waking the peer first when read wakes are modelled).
void Worker(Shared* s, Signal& self, Mailbox& fromHost, Mailbox& toPeer, Signal& peer, Mailbox& fromPeer,
            Mailbox& toHost, Signal& host)
{
    std::uint32_t seen = 0;
    while (!s->stop.load()) {
        self.Wait(seen, kWorkerWords);
        while (fromHost.Take()) {
            toPeer.Post();
            peer.Set();
        }
        while (fromPeer.Take()) {
            if (s->readWakes.load(std::memory_order_relaxed)) peer.Set();
            toHost.Post();
            host.Set();
        }
    }
}

void AreaReader(Shared* s)
{
    std::uint32_t seen = 0;
    static char out[kFrame];
    while (!s->stop.load()) {
        s->areaWritten.Wait(seen, kWorkerWords);
        if (s->areaStatus.load(std::memory_order_acquire) != 1) continue;
        std::memcpy(out, s->area, sizeof out);
        s->areaStatus.store(0, std::memory_order_release);
        s->areaTaken.Set();
        benchmark::DoNotOptimize(out);
        if (s->notifyHost.load(std::memory_order_relaxed)) {
            s->arrivedB.Post();
            s->hostB.Set();
        }
    }
}

[[noreturn]] void PeerMain(Shared* s, int ping, int stream)
{
    std::thread pingServer(ServeConnection, ping);
    std::thread worker(Worker, s, std::ref(s->workerB), std::ref(s->answerB), std::ref(s->areaB), std::ref(s->workerA),
                       std::ref(s->areaA), std::ref(s->announceB), std::ref(s->hostB));
    std::thread reader(AreaReader, s);
    std::thread host([s] {
        std::uint32_t seen = 0;
        while (!s->stop.load()) {
            s->hostB.Wait(seen, kHostWords);
            while (s->announceB.Take()) {
                s->answerB.Post();
                s->workerB.Set();
            }
            while (s->arrivedB.Take()) {
            }
        }
    });
    ServeConnection(stream);  // both return when the benchmark closes its ends
    pingServer.join();
    worker.join();
    reader.join();
    host.join();
    _exit(0);
}

class Env {
public:
    static Env& Get()
    {
        static Env env;
        return env;
    }
    Shared* S() { return m_s; }
    // CPU time and sleeps of both processes so far.
    ProcessCost Cost() const
    {
        const ProcessCost own = OwnCost(0), peer = CostOfProcess(m_pid);
        ProcessCost sum;
        sum.cpuNs = own.cpuNs + peer.cpuNs;
        sum.sleeps = own.sleeps + peer.sleeps;
        return sum;
    }
    int PingSocket() const { return m_ping; }
    int StreamSocket() const { return m_stream; }
    bool Ok() const { return m_pid > 0; }

    void Shutdown()
    {
        if (m_pid <= 0) return;
        m_s->stop.store(1);
        for (Signal* sig : {&m_s->hostA, &m_s->workerA, &m_s->workerB, &m_s->hostB, &m_s->areaWritten, &m_s->areaTaken})
            sig->Set();
        m_worker.join();
        close(m_ping);
        close(m_stream);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    Env()
    {
        void* p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        int ping[2], stream[2];
        if (p == MAP_FAILED || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ping) != 0 ||
            socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stream) != 0)
            return;
        m_s = new (p) Shared;
        for (auto*& w : g_idleWords) {
            void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
            if (page == MAP_FAILED) return;  // no peer: the benchmarks report it
            w = new (page) std::atomic<std::uint32_t>(0);
        }
        g_waitSets = &m_s->waitSets;
        m_pid = fork();
        if (m_pid == 0) {
            close(ping[0]);
            close(stream[0]);
            PeerMain(m_s, ping[1], stream[1]);
        }
        close(ping[1]);
        close(stream[1]);
        m_ping = ping[0];
        m_stream = stream[0];
        if (!WriteAll(m_ping, &kSockPingPong, 1) || !WriteAll(m_stream, &kSockStream, 1)) return;
        Shared* s = m_s;
        m_worker = std::thread(Worker, s, std::ref(s->workerA), std::ref(s->queuedA), std::ref(s->areaA),
                               std::ref(s->workerB), std::ref(s->areaB), std::ref(s->announceA), std::ref(s->hostA));
    }

    Shared* m_s = nullptr;
    pid_t m_pid = -1;
    int m_ping = -1;
    int m_stream = -1;
    std::thread m_worker;
};

// The same per-packet counters as the channel benchmark's, to set beside them.
void ReportCost(benchmark::State& state, const ProcessCost& cost, std::int64_t packets)
{
    const double n = static_cast<double>(packets > 0 ? packets : 1);
    state.counters["cpu_ns/pkt"] = static_cast<double>(cost.cpuNs) / n;
    state.counters["sleeps/pkt"] = static_cast<double>(cost.sleeps) / n;
}

void RoundTrip(benchmark::State& state, bool readWakes, int waitSets = 0)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    Shared* s = env.S();
    s->readWakes.store(readWakes ? 1 : 0);
    s->waitSets.store(waitSets);
    std::uint32_t seen = s->hostA.value.load();
    const ProcessCost before = env.Cost();
    for (auto _ : state) {
        s->queuedA.Post();
        s->workerA.Set();
        while (!s->announceA.Take()) s->hostA.Wait(seen, kHostWords);
    }
    ReportCost(state, env.Cost() - before, state.iterations());
}

void RoundTripHandOffs(benchmark::State& state) { RoundTrip(state, false); }
void RoundTripHandOffsAndReadWakes(benchmark::State& state) { RoundTrip(state, true); }
void RoundTripHandOffsReadWakesWaitSets(benchmark::State& state) { RoundTrip(state, true, 1); }
void RoundTripHandOffsReadWakesWaitSetsWatch(benchmark::State& state) { RoundTrip(state, true, 2); }

void RoundTripSocket(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    char msg[kPingSize] = {};
    for (auto _ : state) {
        if (!WriteAll(env.PingSocket(), msg, sizeof msg) || !ReadAll(env.PingSocket(), msg, sizeof msg))
            return state.SkipWithError("socket");
    }
}

constexpr int kPackets = 400;  // per iteration, as bench/ipc/ipc_bench

void AreaHandOff(benchmark::State& state, bool notifyHost, int waitSets = 0)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    Shared* s = env.S();
    s->notifyHost.store(notifyHost ? 1 : 0);
    s->waitSets.store(waitSets);
    char frame[kFrame];
    std::memset(frame, 'd', sizeof frame);
    std::uint32_t seen = s->areaTaken.value.load();
    const ProcessCost before = env.Cost();
    for (auto _ : state) {
        for (int i = 0; i < kPackets; ++i) {
            while (s->areaStatus.load(std::memory_order_acquire) != 0) s->areaTaken.Wait(seen, kWorkerWords);
            std::memcpy(s->area, frame, sizeof frame);
            s->areaStatus.store(1, std::memory_order_release);
            s->areaWritten.Set();
        }
        while (s->areaStatus.load(std::memory_order_acquire) != 0) s->areaTaken.Wait(seen, kWorkerWords);
    }
    ReportCost(state, env.Cost() - before, state.iterations() * kPackets);
    state.SetBytesProcessed(state.iterations() * kPackets * 4095);
}

void AreaHandOff4095(benchmark::State& state) { AreaHandOff(state, false); }
void AreaHandOff4095AndNotify(benchmark::State& state) { AreaHandOff(state, true); }
void AreaHandOff4095NotifyWaitSets(benchmark::State& state) { AreaHandOff(state, true, 1); }
void AreaHandOff4095NotifyWaitSetsWatch(benchmark::State& state) { AreaHandOff(state, true, 2); }

void Stream4095Socket(benchmark::State& state)
{
    Env& env = Env::Get();
    if (!env.Ok()) return state.SkipWithError("no peer");
    char data[4095];
    std::memset(data, 'd', sizeof data);
    const int fd = env.StreamSocket();
    for (auto _ : state) {
        const std::uint64_t total = std::uint64_t{kPackets} * sizeof data;
        WriteAll(fd, &total, sizeof total);
        for (int i = 0; i < kPackets; ++i) WriteAll(fd, data, sizeof data);  // one write each
        char ack;
        if (!ReadAll(fd, &ack, 1)) return state.SkipWithError("socket");
    }
    state.SetBytesProcessed(state.iterations() * kPackets * 4095);
}

BENCHMARK(RoundTripHandOffs)->UseRealTime();
BENCHMARK(RoundTripHandOffsAndReadWakes)->UseRealTime();
BENCHMARK(RoundTripHandOffsReadWakesWaitSets)->UseRealTime();
BENCHMARK(RoundTripHandOffsReadWakesWaitSetsWatch)->UseRealTime();
BENCHMARK(AreaHandOff4095)->UseRealTime();
BENCHMARK(AreaHandOff4095AndNotify)->UseRealTime();
BENCHMARK(AreaHandOff4095NotifyWaitSets)->UseRealTime();
BENCHMARK(AreaHandOff4095NotifyWaitSetsWatch)->UseRealTime();
#if defined(IPC_SPEED_BENCH)  // beside the channel benchmark's own socket runs
BENCHMARK(RoundTripSocket)->Name("FloorRoundTripSocket")->UseRealTime();
BENCHMARK(Stream4095Socket)->Name("FloorStream4095Socket")->UseRealTime();
#else
BENCHMARK(RoundTripSocket)->UseRealTime();
BENCHMARK(Stream4095Socket)->UseRealTime();
#endif

}  // namespace

#if defined(IPC_SPEED_BENCH)
// The floor's peer is forked before anything else runs (no other thread, no channel object
// is copied into it).
void StartFloorPeer() { Env::Get(); }

void StopFloorPeer() { Env::Get().Shutdown(); }
#else
int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    Env::Get().Shutdown();

    auto& r = reporter.runs;
    const std::string sock = "RoundTripSocket/real_time", stream = "Stream4095Socket/real_time";
    std::printf("\nfloor of the channel's hand-offs on this machine (same run, same two processes)\n");
    for (const char* name :
         {"RoundTripHandOffs/real_time", "RoundTripHandOffsAndReadWakes/real_time",
          "RoundTripHandOffsReadWakesWaitSets/real_time", "RoundTripHandOffsReadWakesWaitSetsWatch/real_time"})
        if (r.count(name) && r.count(sock))
            std::printf("%-44s %6.1f us = %5.2fx the socket ping-pong (%.1f us)\n", name,
                        r[name].secondsPerIteration * 1e6, r[name].secondsPerIteration / r[sock].secondsPerIteration,
                        r[sock].secondsPerIteration * 1e6);
    for (const char* name : {"AreaHandOff4095/real_time", "AreaHandOff4095AndNotify/real_time",
                             "AreaHandOff4095NotifyWaitSets/real_time", "AreaHandOff4095NotifyWaitSetsWatch/real_time"})
        if (r.count(name) && r.count(stream) && r[stream].bytesPerSecond > 0)
            std::printf("%-44s %6.1f MB/s = %5.2fx the socket stream (%.1f MB/s)\n", name, r[name].bytesPerSecond / 1e6,
                        r[name].bytesPerSecond / r[stream].bytesPerSecond, r[stream].bytesPerSecond / 1e6);
    return 0;
}
#endif
