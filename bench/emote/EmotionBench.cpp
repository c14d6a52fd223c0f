// Interpreted chat lines per second over a mix like a lobby's chat, against a baseline that
// only trims and copies each line into the reply buffer (what a host does without emotes),
// and the heap allocations per line.
//
//   build/<dir>/bench/emote/emotion_bench
//
// At the end it prints the mix's time per line as a ratio to the baseline's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AllocCounter.h"
#include "Emotion.h"

namespace {

// Twenty lines: nine of plain chat (some Chinese, GBK), nine emotes with and without targets
// in any case (one where the speaker names himself), help, and an unknown verb.
const char* const kMix[] = {
    "hi all",
    "\xB4\xF3\xBC\xD2\xBA\xC3",  // 大家好
    "/love tom",
    "gg, one more?",
    "/!!!",
    "\xBD\xF1\xCC\xEC\xD4\xCB\xC6\xF8\xD5\xE6\xBA\xC3",  // 今天运气真好
    "/Hug \xD0\xA1\xB6\xAB",                             // /Hug 小东
    "  brb  ",
    "/comfort tom",
    "\xD5\xE2\xBE\xD6\xB4\xF2\xB5\xC3\xC6\xAF\xC1\xC1",  // 这局打得漂亮
    "/:) amy",
    "who is on my team?",
    "/SMILE",
    "/bye \xB0\xA2\xB7\xC9",                                             // /bye 阿飞
    "\xCE\xD2\xCF\xC8\xD7\xDF\xC1\xCB\xA3\xAC\xC3\xF7\xCC\xEC\xBC\xFB",  // 我先走了，明天见
    "/thank tom lee",
    "ok",
    "/help",
    "/wave tom",
    "/zzz",
};
constexpr int kMixLines = int(sizeof kMix / sizeof kMix[0]);

// The baseline: trim the line and copy at most 1,023 bytes of it, as a host passes chat on.
int CopyLine(const char* line, char* out)
{
    while (*line == ' ' || (*line >= '\t' && *line <= '\r')) ++line;
    std::size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == ' ' || (line[n - 1] >= '\t' && line[n - 1] <= '\r'))) --n;
    if (n > 1023) n = 1023;
    std::memcpy(out, line, n);
    out[n] = '\0';
    return n > 0;
}

template <typename F>
void RunMix(benchmark::State& state, F interpret)
{
    char reply[1024];
    int i = 0;
    const long before = lkbench::Allocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(interpret(kMix[i], reply));
        benchmark::ClobberMemory();
        if (++i == kMixLines) i = 0;
    }
    const double lines = double(state.iterations());
    state.counters["lines/s"] = benchmark::Counter(lines, benchmark::Counter::kIsRate);
    state.counters["allocs/line"] = double(lkbench::Allocations() - before) / lines;
}

void Baseline_CopyLine(benchmark::State& state) { RunMix(state, CopyLine); }

void Emotion_ChatMix(benchmark::State& state)
{
    CGetEmotion emotion;
    RunMix(state, [&](const char* line, char* out) { return emotion.GetEmotion("amy", line, out); });
}

// Keeps each benchmark's CPU time per line (the mean over repetitions), then prints the ratio
// of the mix to the baseline. CPU time, because other work on the machine stretches real time.
// Plain text, no colours: the output goes to logs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : benchmark::ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // Single runs, or only their mean where the repetitions are reported as aggregates.
            const bool single = run.run_type == Run::RT_Iteration;
            if (!single && run.aggregate_name != "mean") continue;
            const std::string name = run.benchmark_name();
            Mean& m = name.rfind("Baseline_", 0) == 0 ? m_baseline : m_mix;
            (single ? m.single : m.aggregate).Add(run.GetAdjustedCPUTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const double mix = m_mix.Get();
        const double baseline = m_baseline.Get();
        if (mix > 0 && baseline > 0) {
            std::printf("chat mix: %.0f ns CPU per line, %.2f million lines/s, %.1f x the baseline copy\n", mix,
                        1e3 / mix, mix / baseline);
        }
    }

private:
    struct Sum {
        double total = 0;
        int count = 0;
        void Add(double v) { total += v, ++count; }
    };
    struct Mean {
        Sum single, aggregate;
        double Get() const
        {
            const Sum& s = single.count ? single : aggregate;
            return s.count ? s.total / s.count : 0;
        }
    };
    Mean m_baseline;
    Mean m_mix;
};

}  // namespace

BENCHMARK(Baseline_CopyLine);
BENCHMARK(Emotion_ChatMix);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
