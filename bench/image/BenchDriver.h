// The two drivers of the image benchmarks, so that one source serves both builds: natively
// Google Benchmark, in the Windows build (run under Wine, whose GDI is then measured) a plain
// timing loop, since Google Benchmark is not in that build. Both time wall clock and give the
// seconds per call of every repetition of every operation; each benchmark prints its own
// summary from them.
#ifndef LOBBYKIT_BENCH_IMAGE_BENCHDRIVER_H
#define LOBBYKIT_BENCH_IMAGE_BENCHDRIVER_H

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#if !defined(LOBBYKIT_IMAGE_BENCH_PLAIN)
#include <benchmark/benchmark.h>
#endif

namespace imagebench {

// Seconds per call of each repetition, by operation.
using Times = std::map<std::string, std::vector<double>>;

template <class Fixture>
struct Operation {
    const char* name;
    bool (*run)(Fixture&);
};

#if defined(LOBBYKIT_IMAGE_BENCH_PLAIN)

constexpr const char* kDriver = "plain timing loop";

// PROGRAM [REPETITIONS] (default 5): each repetition of an operation runs for about 0.3 s.
template <class Fixture, std::size_t N>
bool Measure(int argc, char** argv, const char* program, Fixture& f, const Operation<Fixture> (&ops)[N], Times& times)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    using Clock = std::chrono::steady_clock;
    for (const Operation<Fixture>& op : ops) {
        if (!op.run(f)) {
            std::fprintf(stderr, "%s: %s failed\n", program, op.name);
            return false;
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
        for (int r = 0; r < repetitions; ++r) {
            const auto start = Clock::now();
            for (long i = 0; i < iterations; ++i) op.run(f);
            times[op.name].push_back(std::chrono::duration<double>(Clock::now() - start).count() / iterations);
        }
        std::printf("%-20s %ld iterations x %d\n", op.name, iterations, repetitions);
    }
    return true;
}

#else

constexpr const char* kDriver = "Google Benchmark";

// Keeps every repetition's time per call.
class RepetitionReporter : public benchmark::ConsoleReporter {
public:
    Times times;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& r : reports) {
            if (r.error_occurred || r.iterations == 0 || r.run_type != Run::RT_Iteration) continue;
            times[r.run_name.function_name].push_back(r.real_accumulated_time / static_cast<double>(r.iterations));
        }
    }
};

// PROGRAM [--benchmark_repetitions=N] (default 5) and Google Benchmark's other flags.
template <class Fixture, std::size_t N>
bool Measure(int argc, char** argv, const char*, Fixture& f, const Operation<Fixture> (&ops)[N], Times& times)
{
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=5";
    bool hasReps = false;
    for (int i = 1; i < argc; ++i) hasReps |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    if (!hasReps) args.push_back(&reps[0]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    for (const Operation<Fixture>& op : ops) {
        auto run = [&f, op](benchmark::State& state) {
            for (auto _ : state)
                if (!op.run(f)) state.SkipWithError("the call failed");
        };
        benchmark::RegisterBenchmark(op.name, run)->UseRealTime()->MinTime(0.3);
    }
    RepetitionReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    times = reporter.times;
    return true;
}

#endif

}  // namespace imagebench

#endif
