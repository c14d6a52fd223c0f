// Lookups per second for each selection rule, and a check that a lookup never allocates.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "LevelName.h"

namespace {

std::atomic<long> g_allocations{0};

void Rule(benchmark::State& state, int gameId)
{
    char title[32];
    long level = 0;
    std::int32_t score = 0;
    const long before = g_allocations.load();
    for (auto _ : state) {
        // Walk the whole ladder: scores from -3000 to about 1.7 million.
        score = (score + 7919) % 1700000 - 3000 * (score == 0);
        GetLevelName(gameId, reinterpret_cast<const char*>(&score), title, &level);
        benchmark::DoNotOptimize(title);
        benchmark::DoNotOptimize(level);
    }
    state.counters["lookups/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["allocs"] = double(g_allocations.load() - before);
    if (g_allocations.load() != before) state.SkipWithError("a lookup allocated");
}

}  // namespace

void* operator new(std::size_t n)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

BENCHMARK_CAPTURE(Rule, square_root_military, 5);
BENCHMARK_CAPTURE(Rule, graded_officer, 0);
BENCHMARK_CAPTURE(Rule, top_first_dan, 2);
BENCHMARK_CAPTURE(Rule, bottom_first_stepped, 10);
BENCHMARK_CAPTURE(Rule, downward_rising, 9);
BENCHMARK_CAPTURE(Rule, unknown_id, 18);

BENCHMARK_MAIN();
