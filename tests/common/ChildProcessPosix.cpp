// Starting the child on Linux: fork and exec, pipes on its stdin and stdout.
#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lktest {

std::string SiblingProgram(const std::string& name)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self);
    std::string path(self, n > 0 ? size_t(n) : 0);
    const size_t slash = path.find_last_of('/');
    return (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args)
{
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    std::vector<std::string> argvStrings;
    argvStrings.push_back(program.find('/') == std::string::npos ? SiblingProgram(program) : program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        if (!std::getenv("LKTEST_CHILD_STDERR")) {
            const int devnull = open("/dev/null", O_WRONLY);
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
        Kill();
        Wait(5000);
    }
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
}

bool ChildProcess::Started() const { return m_pid > 0; }

void ChildProcess::Send(const std::string& line)
{
    const std::string s = line + "\n";
    const char* p = s.data();
    size_t left = s.size();
    while (left > 0) {
        const ssize_t n = write(m_in, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

bool ChildProcess::ReadMore(int timeoutMs)
{
    if (m_out < 0) return false;
    for (;;) {
        pollfd pfd = {m_out, POLLIN, 0};
        const int r = poll(&pfd, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[4096];
        const ssize_t n = read(m_out, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        m_buffer.append(buf, static_cast<size_t>(n));
        return true;
    }
}

void ChildProcess::CloseInput()
{
    if (m_in >= 0) close(m_in);
    m_in = -1;
}

void ChildProcess::Kill()
{
    if (m_pid > 0) kill(m_pid, SIGKILL);
}

int ChildProcess::Wait(int timeoutMs, double* cpuMs)
{
    if (m_pid <= 0) return -1;
    for (int waited = 0;; waited += 2) {
        int status = 0;
        rusage usage{};
        if (wait4(m_pid, &status, WNOHANG, &usage) == m_pid) {
            m_pid = -1;
            if (cpuMs) {
                *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (waited >= timeoutMs) return -1;
        usleep(2000);
    }
}

}  // namespace lktest
