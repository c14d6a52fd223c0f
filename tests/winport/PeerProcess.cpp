#include "PeerProcess.h"

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace lktest {

std::string PeerProcess::ReadLine(int timeoutMs)
{
    std::string line;
    return child_.ReadLine(line, timeoutMs) ? line : std::string();
}

bool PeerProcess::WaitFor(const std::string& line, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        const std::string got = ReadLine(static_cast<int>(left.count()) + 1);
        if (got == line) return true;
        if (got.empty()) return false;
    }
    return false;
}

bool PeerProcess::WaitUntilAsleep(int timeoutMs) const
{
    // The main thread's own entry: a sanitizer's helper thread may sleep too.
    return Started() && ThreadAsleepSoon(Pid(), Pid(), timeoutMs);
}

bool ThreadAsleepSoon(pid_t process, pid_t thread, int timeoutMs)
{
    const std::string path = "/proc/" + std::to_string(process) + "/task/" + std::to_string(thread) + "/stat";
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream stat(path);
        std::string line;
        if (!std::getline(stat, line)) return false;
        // "pid (comm) S ...": the state follows the last ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) return false;
        const char state = line[close + 2];
        if (state == 'S') return true;
        if (state == 'Z' || state == 'X') return false;
        usleep(1000);
    }
    return false;
}

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

}  // namespace lktest
