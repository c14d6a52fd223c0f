// The per-call cost of the Win32 subset's hot paths, against baselines from the same run:
//   - a std::atomic store + load pair and an uncontended pthread mutex lock + unlock (what
//     an operation that needs no system call should cost the same order of);
//   - one raw system call (gettid), the unit the uncontended paths must stay below.
// After the runs, each operation is printed as a multiple of each baseline. The code-page
// conversions are measured on 64 KiB of GBK text (and its UTF-16 and UTF-8 forms) against
// memcpy of the same bytes and against the C library's iconv doing the same conversion.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <iconv.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>
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

// ---- code pages ----------------------------------------------------------------------------

// 64 KiB of GBK: runs of ASCII between runs of hanzi from all over GB2312's rows (codes that
// iconv knows too, so that both convert all of it).
struct Texts {
    std::string gbk, utf8;
    std::basic_string<WCHAR> wide;
    Texts()
    {
        unsigned code = 0;
        while (gbk.size() < 65536) {
            gbk += "chat: ";
            for (int i = 0; i < 12; ++i, code += 97) {
                const unsigned lead = 0xB0 + code / 94 % 39;  // B0..D6: no user-defined codes
                gbk += static_cast<char>(lead);
                gbk += static_cast<char>(0xA1 + code % 94);
            }
        }
        wide.resize(gbk.size());
        wide.resize(static_cast<std::size_t>(MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()),
                                                                 &wide[0], static_cast<int>(wide.size()))));
        utf8.resize(wide.size() * 3);
        utf8.resize(
            static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                         &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr)));
    }
};

const Texts& TheTexts()
{
    static const Texts texts;
    return texts;
}

void BaselineMemcpyGbk(benchmark::State& state)
{
    const std::string& in = TheTexts().gbk;
    std::vector<char> out(in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::ClobberMemory();
    }
}

void IconvRun(benchmark::State& state, const char* to, const char* from, const void* in, std::size_t inBytes)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return state.SkipWithError("iconv_open");
    std::vector<char> out(inBytes * 4);
    for (auto _ : state) {
        char* src = const_cast<char*>(static_cast<const char*>(in));
        std::size_t srcLeft = inBytes;
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft) {
            state.SkipWithError("iconv stopped");
            break;
        }
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
}

void BaselineIconvGbkToWide(benchmark::State& state)
{
    IconvRun(state, "UTF-16LE", "CP936", TheTexts().gbk.data(), TheTexts().gbk.size());
}

void BaselineIconvWideToGbk(benchmark::State& state)
{
    IconvRun(state, "CP936", "UTF-16LE", TheTexts().wide.data(), TheTexts().wide.size() * sizeof(WCHAR));
}

void GbkToWide(benchmark::State& state)
{
    const std::string& in = TheTexts().gbk;
    std::vector<WCHAR> out(in.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiByteToWideChar(936, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                                     static_cast<int>(out.size())));
}

void WideToGbk(benchmark::State& state)
{
    const auto& in = TheTexts().wide;
    std::vector<char> out(in.size() * 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(WideCharToMultiByte(936, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                                     static_cast<int>(out.size()), nullptr, nullptr));
}

void Utf8ToWide(benchmark::State& state)
{
    const std::string& in = TheTexts().utf8;
    std::vector<WCHAR> out(in.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiByteToWideChar(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                                     static_cast<int>(out.size())));
}

void WideToUtf8(benchmark::State& state)
{
    const auto& in = TheTexts().wide;
    std::vector<char> out(in.size() * 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                                     static_cast<int>(out.size()), nullptr, nullptr));
}

BENCHMARK(BaselineMemcpyGbk);
BENCHMARK(BaselineIconvGbkToWide);
BENCHMARK(BaselineIconvWideToGbk);
BENCHMARK(GbkToWide);
BENCHMARK(WideToGbk);
BENCHMARK(Utf8ToWide);
BENCHMARK(WideToUtf8);

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
    std::printf(
        "\nper call, against baselines of the same run (atomic store+load %.1f ns, "
        "pthread mutex lock+unlock %.1f ns, one system call %.1f ns)\n",
        t[kAtomic], t[kMutex], t[kSyscall]);
    std::printf("%-26s %10s %12s %12s %14s\n", "operation", "ns", "x atomic", "x mutex", "x system call");
    for (const char* op : {"GetCurrentThreadIdCall", "SetEventWaitZero", "MutexWaitRelease", "PostPeekMessage",
                           "EventPingPong/real_time"}) {
        if (!t.count(op)) continue;
        std::printf("%-26s %10.1f %12.1f %12.1f %14.2f\n", op, t[op], t[op] / t[kAtomic], t[op] / t[kMutex],
                    t[op] / t[kSyscall]);
    }
    const char* kMemcpy = "BaselineMemcpyGbk";
    if (!t.count(kMemcpy)) return 0;
    const double megabytes = static_cast<double>(TheTexts().gbk.size()) / 1e6;
    std::printf("\n64 KiB of GBK text (%zu characters), against memcpy of it (%.0f ns) and iconv of the same run\n",
                TheTexts().wide.size(), t[kMemcpy]);
    std::printf("%-26s %10s %12s %12s %12s\n", "conversion", "ns", "MB/s (GBK)", "x memcpy", "x iconv");
    const struct {
        const char* op;
        const char* iconv;
    } conversions[] = {{"GbkToWide", "BaselineIconvGbkToWide"},
                       {"WideToGbk", "BaselineIconvWideToGbk"},
                       {"Utf8ToWide", nullptr},
                       {"WideToUtf8", nullptr}};
    for (const auto& c : conversions) {
        if (!t.count(c.op)) continue;
        std::printf("%-26s %10.0f %12.0f %12.1f", c.op, t[c.op], megabytes / (t[c.op] * 1e-9), t[c.op] / t[kMemcpy]);
        if (c.iconv && t.count(c.iconv)) std::printf(" %12.2f", t[c.op] / t[c.iconv]);
        std::printf("\n");
    }
    return 0;
}
