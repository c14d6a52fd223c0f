// What the benchmark and its peer agree on.
#ifndef LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H
#define LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "IpcBenchChannel.h"

namespace ipcbench {

// What a process has spent so far: heap allocations (operator new, all threads), CPU time and
// the times its threads went to sleep. Differences over a run, divided by the packets, are
// the per-packet costs that a loaded machine does not blur as it blurs elapsed time.
struct ProcessCost {
    std::int64_t allocations = 0;
    std::int64_t cpuNs = 0;
    std::int64_t sleeps = 0;  // voluntary context switches

    ProcessCost operator-(const ProcessCost& o) const
    {
        ProcessCost d;
        d.allocations = allocations - o.allocations;
        d.cpuNs = cpuNs - o.cpuNs;
        d.sleeps = sleeps - o.sleeps;
        return d;
    }
};

// The calling process's cost; allocations as counted by the caller's counter.
inline ProcessCost OwnCost(long allocations)
{
    ProcessCost c;
    c.allocations = allocations;
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    c.cpuNs = static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    c.sleeps = ru.ru_nvcsw;
    return c;
}

// First byte of a socket connection: what the peer does with it.
const char kSockPingPong = 'P';  // echo every 16-byte message
const char kSockStream = 'S';    // repeatedly: 8-byte byte count, that many bytes, 1-byte ack

const int kPingSize = 16;

// The CPU time and sleeps of another process (one of ours), from the kernel's accounts: the
// floor's peer has no allocation counter to ask.
inline ProcessCost CostOfProcess(pid_t pid)
{
    ProcessCost c;
    clockid_t clock;
    timespec ts;
    if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &ts) == 0)
        c.cpuNs = static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            if (FILE* f = std::fopen((dir + "/" + e->d_name + "/status").c_str(), "r")) {
                char line[128];
                long long n;
                while (std::fgets(line, sizeof line, f))
                    if (std::sscanf(line, "voluntary_ctxt_switches: %lld", &n) == 1) c.sleeps += n;
                std::fclose(f);
            }
        }
        closedir(d);
    }
    return c;
}

// Whole transfers over a socket (Unix-socket baselines); false on error or end of stream.
inline bool ReadAll(int fd, void* p, size_t n)
{
    auto* b = static_cast<char*>(p);
    while (n > 0) {
        const ssize_t r = read(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

inline bool WriteAll(int fd, const void* p, size_t n)
{
    auto* b = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t r = write(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// The peer's side of a socket connection: its first byte says what to do (kSockPingPong or
// kSockStream); returns when the connection ends.
inline void ServeConnection(int fd)
{
    char mode;
    if (!ReadAll(fd, &mode, 1)) return;
    if (mode == kSockPingPong) {
        char msg[kPingSize];
        while (ReadAll(fd, msg, sizeof msg) && WriteAll(fd, msg, sizeof msg)) {
        }
    } else if (mode == kSockStream) {
        static char chunk[1 << 16];
        std::uint64_t total;
        while (ReadAll(fd, &total, sizeof total)) {
            while (total > 0) {
                const ssize_t r = read(fd, chunk, total < sizeof chunk ? total : sizeof chunk);
                if (r <= 0) return;
                total -= static_cast<std::uint64_t>(r);
            }
            const char ack = 1;
            if (!WriteAll(fd, &ack, 1)) return;
        }
    }
}

// Prints as usual and keeps each benchmark's rates for the ratios: the median when the run
// has repetitions (--benchmark_repetitions=N, best with
// --benchmark_enable_random_interleaving=true on a busy machine), else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Rates {
        double secondsPerIteration = 0, itemsPerSecond = 0, bytesPerSecond = 0;
    };
    std::map<std::string, Rates> runs;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& r : reports) {
            if (r.error_occurred || r.iterations == 0) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            const std::string name = r.run_name.str();
            if (!median && m_medians.count(name)) continue;
            Rates rates;
            rates.secondsPerIteration = r.real_accumulated_time / static_cast<double>(r.iterations);
            auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) rates.itemsPerSecond = it->second.value;
            it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) rates.bytesPerSecond = it->second.value;
            runs[name] = rates;
            if (median) m_medians.insert(name);
        }
    }

private:
    std::set<std::string> m_medians;
};

}  // namespace ipcbench

#endif
