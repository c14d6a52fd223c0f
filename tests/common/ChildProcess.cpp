#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lktest {
namespace {

long long NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args)
{
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(&path[0]);
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        if (!std::getenv("LKTEST_CHILD_STDERR")) {
            int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) dup2(devnull, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0) {
        Kill(SIGKILL);
        Wait(5000);
    }
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
}

void ChildProcess::Send(const std::string& line)
{
    std::string s = line + "\n";
    const char* p = s.data();
    size_t left = s.size();
    while (left > 0) {
        ssize_t n = write(m_in, p, left);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            m_lines.push_back(line);
            return true;
        }
        const long long left = deadline - NowMs();
        if (m_out < 0) return false;
        pollfd pfd = {m_out, POLLIN, 0};
        int r = poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[4096];
        ssize_t n = read(m_out, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        m_buffer.append(buf, static_cast<size_t>(n));
    }
}

bool ChildProcess::WaitFor(const std::string& prefix, std::string& line, int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        const long long left = deadline - NowMs();
        if (left <= 0) return false;
        if (!ReadLine(line, static_cast<int>(left))) return false;
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
}

std::string ChildProcess::Transcript() const
{
    std::string s;
    for (const auto& l : m_lines) s += "  peer> " + l + "\n";
    return s;
}

void ChildProcess::Kill(int sig)
{
    if (m_pid > 0) kill(m_pid, sig);
}

int ChildProcess::Wait(int timeoutMs)
{
    if (m_pid <= 0) return -1;
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (NowMs() >= deadline) return -1;
        usleep(2000);
    }
}

std::string UniqueName(const char* tag)
{
    static std::atomic<int> counter{0};
    return std::string("lkt_") + tag + "_" + std::to_string(getpid()) + "_" +
           std::to_string(counter.fetch_add(1));
}

}  // namespace lktest
