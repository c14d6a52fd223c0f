// The per-call cost of the Win32 subset's hot paths, against baselines from the same run:
//   - a std::atomic store + load pair and an uncontended pthread mutex lock + unlock (what
//     an operation that needs no system call should cost the same order of);
//   - one raw system call (gettid), the unit the uncontended paths must stay below.
// After the runs, each operation is printed as a multiple of each baseline.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

namespace {

std::string BenchName(const char* tag)
{
    return std::string("winport-bench-") + tag + "-" + std::to_string(GetCurrentProcessId());
}

void BaselineAtomicStoreLoad(benchmark::State& state)
{
    std::atomic<unsigned> word{0};
    unsigned i = 0;
    for (auto _ : state) {
        word.store(++i, std::memory_order_seq_cst);
        benchmark::DoNotOptimize(word.load(std::memory_order_seq_cst));
    }
}

void BaselinePthreadMutex(benchmark::State& state)
{
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    for (auto _ : state) {
        pthread_mutex_lock(&m);
        benchmark::ClobberMemory();
        pthread_mutex_unlock(&m);
    }
    pthread_mutex_destroy(&m);
}

void BaselineSystemCall(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(syscall(SYS_gettid));
}

void GetCurrentThreadIdCall(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(GetCurrentThreadId());
}

// A named auto-reset event, as the channel uses: set, then consumed by a zero-timeout wait.
void SetEventWaitZero(benchmark::State& state)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, BenchName("event").c_str());
    for (auto _ : state) {
        SetEvent(e);
        if (WaitForSingleObject(e, 0) != WAIT_OBJECT_0) state.SkipWithError("event not signalled");
    }
    CloseHandle(e);
}

void MutexWaitRelease(benchmark::State& state)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, BenchName("mutex").c_str());
    for (auto _ : state) {
        if (WaitForSingleObject(m, INFINITE) != WAIT_OBJECT_0) state.SkipWithError("mutex not taken");
        ReleaseMutex(m);
    }
    CloseHandle(m);
}

LRESULT CALLBACK BenchWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PostPeekMessage(benchmark::State& state)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BenchWindowProc;
    wc.lpszClassName = "WinportBenchWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    MSG msg;
    for (auto _ : state) {
        PostMessageA(hwnd, WM_USER, 0, 0);
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) state.SkipWithError("message not queued");
    }
    DestroyWindow(hwnd);
    UnregisterClassA(wc.lpszClassName, nullptr);
}

// Two threads hand a turn back and forth through two auto-reset events: every set finds
// the other thread asleep or about to sleep, so this is the path that must still wake.
void EventPingPong(benchmark::State& state)
{
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            WaitForSingleObject(ping, INFINITE);
            if (stop.load()) return;
            SetEvent(pong);
        }
    });
    for (auto _ : state) {
        SetEvent(ping);
        if (WaitForSingleObject(pong, 5000) != WAIT_OBJECT_0) state.SkipWithError("lost wake-up");
    }
    stop.store(true);
    SetEvent(ping);
    partner.join();
    CloseHandle(ping);
    CloseHandle(pong);
}

BENCHMARK(BaselineAtomicStoreLoad);
BENCHMARK(BaselinePthreadMutex);
BENCHMARK(BaselineSystemCall);
BENCHMARK(GetCurrentThreadIdCall);
BENCHMARK(SetEventWaitZero);
BENCHMARK(MutexWaitRelease);
BENCHMARK(PostPeekMessage);
BENCHMARK(EventPingPong)->UseRealTime();

// Prints as usual and keeps the time per iteration of each run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerIteration;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& r : reports) {
            if (r.error_occurred || r.iterations == 0) continue;
            // Plain runs, or the mean when repetitions were asked for.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "mean") continue;
            std::string name = r.run_name.function_name;
            // One-thread operations by their CPU time, which other load on the machine
            // disturbs less; the two-thread ping-pong by wall time.
            double seconds = r.cpu_accumulated_time;
            if (!r.run_name.time_type.empty()) {
                name += "/" + r.run_name.time_type;
                seconds = r.real_accumulated_time;
            }
            nsPerIteration[name] = seconds / static_cast<double>(r.iterations) * 1e9;
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto& t = reporter.nsPerIteration;
    const char* kAtomic = "BaselineAtomicStoreLoad";
    const char* kMutex = "BaselinePthreadMutex";
    const char* kSyscall = "BaselineSystemCall";
    if (!t.count(kAtomic) || !t.count(kMutex) || !t.count(kSyscall)) return 0;
    std::printf("\nper call, against baselines of the same run (atomic store+load %.1f ns, "
                "pthread mutex lock+unlock %.1f ns, one system call %.1f ns)\n",
                t[kAtomic], t[kMutex], t[kSyscall]);
    std::printf("%-26s %10s %12s %12s %14s\n", "operation", "ns", "x atomic", "x mutex", "x system call");
    for (const char* op : {"GetCurrentThreadIdCall", "SetEventWaitZero", "MutexWaitRelease", "PostPeekMessage",
                           "EventPingPong/real_time"}) {
        if (!t.count(op)) continue;
        std::printf("%-26s %10.1f %12.1f %12.1f %14.2f\n", op, t[op], t[op] / t[kAtomic], t[op] / t[kMutex],
                    t[op] / t[kSyscall]);
    }
    return 0;
}
