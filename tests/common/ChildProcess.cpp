// The parts of ChildProcess that do not depend on how the child is started. Standard C++
// only, so that the test-support library needs no part of lobbykit.
#include "ChildProcess.h"

#include <atomic>
#include <chrono>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace lktest {
namespace {

long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

bool ChildProcess::ReadLine(std::string& line, int timeoutMs)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            line = m_buffer.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m_buffer.erase(0, nl + 1);
            m_lines.push_back(line);
            return true;
        }
        const long left = timeoutMs - ElapsedMs(start);
        if (!ReadMore(left > 0 ? static_cast<int>(left) : 0)) return false;
    }
}

bool ChildProcess::WaitFor(const std::string& prefix, std::string& line, int timeoutMs)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const long left = timeoutMs - ElapsedMs(start);
        if (left <= 0) return false;
        if (!ReadLine(line, static_cast<int>(left))) return false;
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
}

std::string ChildProcess::Transcript() const
{
    std::string s;
    for (const auto& l : m_lines) s += "  child> " + l + "\n";
    return s;
}

std::string UniqueName(const char* tag)
{
    static std::atomic<int> counter{0};
    return std::string("lkt_") + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter.fetch_add(1));
}

}  // namespace lktest
