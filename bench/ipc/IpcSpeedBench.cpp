// The channel's three speed figures from one run: the channel benchmark (IpcBench.cpp) and the
// floor of its hand-offs (IpcFloorBench.cpp) in one process, their runs interleaved, and the
// ratios the channel is held to printed together:
//   16-byte packets per second   channel / Unix-socket stream (one write each)      >= 2
//   round trip of 16 bytes       channel / floor "six hand-offs + read wakes"       <= 1.15
//   4095-byte MB/s               channel / floor "area hand-off + host wake"        >= 0.9
// Without arguments: 5 repetitions, random interleaving, only the benchmarks the ratios use.
// Any --benchmark_* argument is passed on (e.g. --benchmark_repetitions=9).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IpcBenchCommon.h"

void StartFloorPeer();
void StopFloorPeer();
void StopChannelPeer();

namespace {

void PrintRatio(const char* what, double ratio, const char* target, bool met)
{
    std::printf("%-52s %6.2fx   target %-7s %s\n", what, ratio, target, met ? "met" : "MISSED");
}

const char* FloorVariant(const char* name)
{
    return std::strstr(name, "Watch/") ? "with the channel's wait sets and watch:" : "with the channel's wait sets:";
}

}  // namespace

int main(int argc, char** argv)
{
    StartFloorPeer();
    std::vector<std::string> args(argv, argv + argc);
    auto given = [&](const char* flag) {
        for (const std::string& a : args)
            if (a.compare(0, std::strlen(flag), flag) == 0) return true;
        return false;
    };
    if (!given("--benchmark_filter"))
        args.push_back(
            "--benchmark_filter=^(RoundTripChannel|ThroughputChannel/(16|4095)|ThroughputSocket/16|"
            "RoundTripHandOffsAndReadWakes|RoundTripHandOffsReadWakesWaitSets|AreaHandOff4095AndNotify|"
            "AreaHandOff4095NotifyWaitSets|RoundTripHandOffsReadWakesWaitSetsWatch|"
            "AreaHandOff4095NotifyWaitSetsWatch)/");
    if (!given("--benchmark_repetitions")) args.push_back("--benchmark_repetitions=5");
    if (!given("--benchmark_enable_random_interleaving")) args.push_back("--benchmark_enable_random_interleaving=true");
    if (!given("--benchmark_report_aggregates_only")) args.push_back("--benchmark_report_aggregates_only=true");
    std::vector<char*> cargs;
    for (std::string& a : args) cargs.push_back(a.data());
    int cargc = static_cast<int>(cargs.size());
    benchmark::Initialize(&cargc, cargs.data());
    ipcbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    StopChannelPeer();
    StopFloorPeer();

    auto& r = reporter.runs;
    const char* kRt = "RoundTripChannel/real_time";
    const char* kRtFloor = "RoundTripHandOffsAndReadWakes/real_time";
    const char* k16 = "ThroughputChannel/16/real_time";
    const char* k16Sock = "ThroughputSocket/16/real_time";
    const char* kBig = "ThroughputChannel/4095/real_time";
    const char* kBigFloor = "AreaHandOff4095AndNotify/real_time";
    const char* kRtWaitSets = "RoundTripHandOffsReadWakesWaitSets/real_time";
    const char* kBigWaitSets = "AreaHandOff4095NotifyWaitSets/real_time";
    const char* kRtWatch = "RoundTripHandOffsReadWakesWaitSetsWatch/real_time";
    const char* kBigWatch = "AreaHandOff4095NotifyWaitSetsWatch/real_time";
    std::printf("\nthe channel's figures (medians, one run, same machine)\n");
    if (r.count(k16) && r.count(k16Sock)) {
        const double x = r[k16].itemsPerSecond / r[k16Sock].itemsPerSecond;
        std::printf("16-byte packets/s: channel %.0f k, socket stream %.0f k\n", r[k16].itemsPerSecond / 1e3,
                    r[k16Sock].itemsPerSecond / 1e3);
        PrintRatio("16-byte packets/s, channel / socket stream", x, ">= 2", x >= 2.0);
    }
    if (r.count(kRt) && r.count(kRtFloor)) {
        const double x = r[kRt].secondsPerIteration / r[kRtFloor].secondsPerIteration;
        std::printf("round trip: channel %.1f us, floor %.1f us\n", r[kRt].secondsPerIteration * 1e6,
                    r[kRtFloor].secondsPerIteration * 1e6);
        PrintRatio("round trip, channel / floor (hand-offs + read wakes)", x, "<= 1.15", x <= 1.15);
    }
    // The floor's variants that sleep as the channel's threads do (and watch first, as they do).
    for (const char* name : {kRtWaitSets, kRtWatch}) {
        if (!r.count(kRt) || !r.count(name) || !r.count(kRtFloor)) continue;
        std::printf("  the floor %-40s %6.1f us = %.2fx the floor; channel / it %.2fx\n", FloorVariant(name),
                    r[name].secondsPerIteration * 1e6, r[name].secondsPerIteration / r[kRtFloor].secondsPerIteration,
                    r[kRt].secondsPerIteration / r[name].secondsPerIteration);
    }
    if (r.count(kBig) && r.count(kBigFloor) && r[kBigFloor].bytesPerSecond > 0) {
        const double x = r[kBig].bytesPerSecond / r[kBigFloor].bytesPerSecond;
        std::printf("4095-byte MB/s: channel %.1f, floor %.1f\n", r[kBig].bytesPerSecond / 1e6,
                    r[kBigFloor].bytesPerSecond / 1e6);
        PrintRatio("4095-byte MB/s, channel / floor (area + host wake)", x, ">= 0.9", x >= 0.9);
    }
    for (const char* name : {kBigWaitSets, kBigWatch}) {
        if (!r.count(kBig) || !r.count(name) || !r.count(kBigFloor) || r[name].bytesPerSecond <= 0) continue;
        std::printf("  the floor %-40s %6.1f MB/s = %.2fx the floor; channel / it %.2fx\n", FloorVariant(name),
                    r[name].bytesPerSecond / 1e6, r[name].bytesPerSecond / r[kBigFloor].bytesPerSecond,
                    r[kBig].bytesPerSecond / r[name].bytesPerSecond);
    }
    return 0;
}
