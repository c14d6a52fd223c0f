// Lookups per second for each selection rule, and a check that a lookup never allocates.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "AllocCounter.h"
#include "LevelName.h"

namespace {

void Rule(benchmark::State& state, int gameId)
{
    char title[32];
    long level = 0;
    std::int32_t score = 0;
    const long before = lkbench::Allocations();
    for (auto _ : state) {
        // Walk the whole ladder: scores from -3000 to about 1.7 million.
        score = (score + 7919) % 1700000 - 3000 * (score == 0);
        GetLevelName(gameId, reinterpret_cast<const char*>(&score), title, &level);
        benchmark::DoNotOptimize(title);
        benchmark::DoNotOptimize(level);
    }
    const long allocations = lkbench::Allocations() - before;  // before the counters allocate
    state.counters["lookups/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["allocs"] = double(allocations);
    if (allocations != 0) state.SkipWithError("a lookup allocated");
}

}  // namespace

BENCHMARK_CAPTURE(Rule, square_root_military, 5);
BENCHMARK_CAPTURE(Rule, graded_officer, 0);
BENCHMARK_CAPTURE(Rule, top_first_dan, 2);
BENCHMARK_CAPTURE(Rule, bottom_first_stepped, 10);
BENCHMARK_CAPTURE(Rule, downward_rising, 9);
BENCHMARK_CAPTURE(Rule, unknown_id, 18);

BENCHMARK_MAIN();
