// Transfers of a 1024x768 32-bpp picture between memory DCs, against memcpy of the same
// bytes in the same run:
//   BitBltSrcCopy     BitBlt SRCCOPY 1024x768 (target: within 1.5 x memcpy)
//   StretchUp2x       StretchBlt 1024x768 -> 2048x1536, COLORONCOLOR
//   StretchDownHalf   StretchBlt 1024x768 -> 512x384, COLORONCOLOR
//   InvertThenAnd     BitBlt SRCINVERT then BitBlt SRCAND, colour onto colour
//   MaskTransfers     SRCINVERT, SRCAND with a 1-bpp mask (mono -> colour), SRCINVERT
//
// One source, two drivers: natively Google Benchmark, in the Windows build (run under
// Wine, whose GDI is then measured) a plain timing loop, since Google Benchmark is not in
// that build. Both time wall clock and keep the fastest of several repetitions (the least
// disturbed by other load), and end with the same summary, which bench/image/run-both.sh
// puts side by side:
//   build/bench/bench/image/image_bench [--benchmark_repetitions=N]   (native, default 5)
//   wine build/windows/bench/image/image_bench.exe [REPETITIONS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#if !defined(LOBBYKIT_IMAGE_BENCH_PLAIN)
#  include <benchmark/benchmark.h>
#endif

namespace {

constexpr int kW = 1024, kH = 768;
constexpr size_t kBytes = static_cast<size_t>(kW) * kH * 4;

// The pictures and DCs every operation uses; made once.
class Fixture {
public:
    Fixture()
    {
        screen_ = GetDC(nullptr);
        std::vector<uint32_t> px(static_cast<size_t>(kW) * kH);
        uint32_t s = 0x2545F491u;
        for (uint32_t& v : px) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            v = s & 0xFFFFFF;
        }
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = kW;
        bmi.bmiHeader.biHeight = -kH;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        src = Select(CreateDIBitmap(screen_, &bmi.bmiHeader, CBM_INIT, px.data(), &bmi, DIB_RGB_COLORS));
        dst = Select(CreateCompatibleBitmap(screen_, kW, kH));
        big = Select(CreateCompatibleBitmap(screen_, kW * 2, kH * 2));
        small = Select(CreateCompatibleBitmap(screen_, kW / 2, kH / 2));
        std::vector<uint8_t> bits(static_cast<size_t>(kW / 8) * kH);
        for (uint8_t& b : bits) b = static_cast<uint8_t>(s = s * 1103515245u + 12345u) ;
        mask = Select(CreateBitmap(kW, kH, 1, 1, bits.data()));
        for (HDC dc : {big, small}) SetStretchBltMode(dc, COLORONCOLOR);
        SetTextColor(dst, RGB(0, 0, 0));
        SetBkColor(dst, RGB(255, 255, 255));
        from.assign(px.begin(), px.end());
        to.assign(px.size(), 0);
    }
    ~Fixture()
    {
        for (size_t i = 0; i < dcs_.size(); ++i) {
            DeleteObject(SelectObject(dcs_[i], old_[i]));
            DeleteDC(dcs_[i]);
        }
        ReleaseDC(nullptr, screen_);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ok() const { return ok_; }

    HDC src = nullptr, dst = nullptr, big = nullptr, small = nullptr, mask = nullptr;
    std::vector<uint32_t> from, to;

private:
    HDC Select(HBITMAP bm)
    {
        HDC dc = CreateCompatibleDC(screen_);
        if (!bm || !dc) {
            ok_ = false;
            if (bm) DeleteObject(bm);
            if (dc) DeleteDC(dc);
            return nullptr;
        }
        dcs_.push_back(dc);
        old_.push_back(SelectObject(dc, bm));
        return dc;
    }

    HDC screen_ = nullptr;
    bool ok_ = true;
    std::vector<HDC> dcs_;
    std::vector<HGDIOBJ> old_;
};

// memcpy through a pointer the compiler cannot see through, so no copy is left out.
void* (*volatile g_copy)(void*, const void*, size_t) = std::memcpy;

bool Memcpy(Fixture& f)
{
    return g_copy(f.to.data(), f.from.data(), kBytes) != nullptr;
}

bool BitBltSrcCopy(Fixture& f)
{
    return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCCOPY) != FALSE;
}

bool StretchUp2x(Fixture& f)
{
    return StretchBlt(f.big, 0, 0, kW * 2, kH * 2, f.src, 0, 0, kW, kH, SRCCOPY) != FALSE;
}

bool StretchDownHalf(Fixture& f)
{
    return StretchBlt(f.small, 0, 0, kW / 2, kH / 2, f.src, 0, 0, kW, kH, SRCCOPY) != FALSE;
}

bool InvertThenAnd(Fixture& f)
{
    return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT) && BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCAND);
}

bool MaskTransfers(Fixture& f)
{
    return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT) && BitBlt(f.dst, 0, 0, kW, kH, f.mask, 0, 0, SRCAND) &&
           BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT);
}

struct Operation {
    const char* name;
    bool (*run)(Fixture&);
};

const Operation kOperations[] = {
    {"Memcpy", Memcpy},
    {"BitBltSrcCopy", BitBltSrcCopy},
    {"StretchUp2x", StretchUp2x},
    {"StretchDownHalf", StretchDownHalf},
    {"InvertThenAnd", InvertThenAnd},
    {"MaskTransfers", MaskTransfers},
};

// The summary both drivers end with: each operation's time and its multiple of memcpy.
void PrintSummary(const char* driver, int repetitions, const std::map<std::string, double>& ns)
{
    std::printf("\n== image_bench summary (%s, wall time, fastest of %d repetitions; 1024x768x32 = %zu bytes)\n",
                driver, repetitions, kBytes);
    const auto base = ns.find("Memcpy");
    std::printf("%-18s %12s %10s\n", "operation", "us/op", "x memcpy");
    for (const Operation& op : kOperations) {
        const auto it = ns.find(op.name);
        if (it == ns.end()) continue;
        std::printf("%-18s %12.1f %10.2f\n", op.name, it->second / 1e3,
                    base != ns.end() && base->second > 0 ? it->second / base->second : 0.0);
    }
    if (base != ns.end() && ns.count("BitBltSrcCopy"))
        std::printf("target BitBlt SRCCOPY <= 1.5 x memcpy: %s\n",
                    ns.at("BitBltSrcCopy") <= 1.5 * base->second ? "met" : "MISSED");
}

}  // namespace

#if defined(LOBBYKIT_IMAGE_BENCH_PLAIN)

// image_bench [REPETITIONS]: each operation is run for at least 0.3 s per repetition.
int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Fixture f;
    if (!f.ok()) {
        std::fprintf(stderr, "image_bench: the pictures could not be made\n");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    std::map<std::string, double> ns;
    for (const Operation& op : kOperations) {
        if (!op.run(f)) {
            std::fprintf(stderr, "image_bench: %s failed\n", op.name);
            return 1;
        }
        // Iterations for about 0.3 s, from a first timed batch.
        long iterations = 1;
        for (;;) {
            const auto start = Clock::now();
            for (long i = 0; i < iterations; ++i) op.run(f);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (seconds >= 0.05) {
                iterations = std::max(1L, static_cast<long>(iterations * 0.3 / seconds));
                break;
            }
            iterations *= 4;
        }
        double best = 0;
        for (int r = 0; r < repetitions; ++r) {
            const auto start = Clock::now();
            for (long i = 0; i < iterations; ++i) op.run(f);
            const double perOp = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / iterations;
            best = r == 0 ? perOp : std::min(best, perOp);
        }
        ns[op.name] = best;
        std::printf("%-18s %12.1f us/op  (%ld iterations x %d)\n", op.name, best / 1e3, iterations, repetitions);
    }
    PrintSummary("plain timing loop", repetitions, ns);
    return 0;
}

#else

namespace {

Fixture* g_fixture = nullptr;

void Run(benchmark::State& state, bool (*op)(Fixture&))
{
    for (auto _ : state)
        if (!op(*g_fixture)) state.SkipWithError("the call failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

// Keeps the fastest repetition of each operation.
class FastestReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    int repetitions = 0;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& r : reports) {
            if (r.error_occurred || r.iterations == 0 || r.run_type != Run::RT_Iteration) continue;
            const std::string name = r.run_name.function_name;
            const double perOp = r.real_accumulated_time / static_cast<double>(r.iterations) * 1e9;
            const auto it = ns.find(name);
            if (it == ns.end() || perOp < it->second) ns[name] = perOp;
            if (name == "Memcpy") ++repetitions;
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // Five repetitions unless the command line says otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=5";
    bool hasReps = false;
    for (int i = 1; i < argc; ++i) hasReps |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    if (!hasReps) args.push_back(&reps[0]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    Fixture f;
    if (!f.ok()) {
        std::fprintf(stderr, "image_bench: the pictures could not be made\n");
        return 1;
    }
    g_fixture = &f;
    for (const Operation& op : kOperations)
        benchmark::RegisterBenchmark(op.name, Run, op.run)->UseRealTime()->MinTime(0.3);
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary("Google Benchmark", reporter.repetitions, reporter.ns);
    return 0;
}

#endif
