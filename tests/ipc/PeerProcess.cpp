// The parts of PeerProcess that do not depend on how the peer is started.
#include "PeerProcess.h"

#include <windows.h>

#include <atomic>

namespace lktest {

bool PeerProcess::ReadLine(std::string& line, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            line = m_buffer.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m_buffer.erase(0, nl + 1);
            m_lines.push_back(line);
            return true;
        }
        const long left = static_cast<long>(timeoutMs) - static_cast<long>(::GetTickCount() - start);
        if (!ReadMore(left > 0 ? static_cast<int>(left) : 0)) return false;
    }
}

bool PeerProcess::WaitFor(const std::string& prefix, std::string& line, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const long left = static_cast<long>(timeoutMs) - static_cast<long>(::GetTickCount() - start);
        if (left <= 0) return false;
        if (!ReadLine(line, static_cast<int>(left))) return false;
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
}

std::string PeerProcess::Transcript() const
{
    std::string s;
    for (const auto& l : m_lines) s += "  peer> " + l + "\n";
    return s;
}

std::string UniqueChannelName(const char* tag)
{
    static std::atomic<int> counter{0};
    return std::string("lkt_") + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
           std::to_string(counter.fetch_add(1));
}

}  // namespace lktest
