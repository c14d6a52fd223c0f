#include "PeerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>

extern char** environ;

namespace lktest {

PeerProcess::PeerProcess(const std::vector<std::string>& args)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    std::string path = WINPORT_PEER_PATH;
    argv.push_back(&path[0]);
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toPeer_ = in[1];
    fromPeer_ = out[0];
}

PeerProcess::~PeerProcess()
{
    if (pid_ > 0) {
        Kill();
        Wait();
    }
    CloseInput();
    if (fromPeer_ >= 0) close(fromPeer_);
}

std::string PeerProcess::ReadLine(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fromPeer_ < 0) return "";
        pollfd p{fromPeer_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fromPeer_, buf, sizeof buf);
        if (n <= 0) return "";
        buffered_.append(buf, static_cast<std::size_t>(n));
    }
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

void PeerProcess::CloseInput()
{
    if (toPeer_ >= 0) close(toPeer_);
    toPeer_ = -1;
}

bool PeerProcess::WaitUntilAsleep(int timeoutMs) const
{
    // The main thread's own entry: a sanitizer's helper thread may sleep too.
    return pid_ > 0 && ThreadAsleepSoon(pid_, pid_, timeoutMs);
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

void PeerProcess::Kill()
{
    if (pid_ > 0) kill(pid_, SIGKILL);
}

int PeerProcess::Wait(double* cpuMs)
{
    if (pid_ <= 0) return -1;
    int status = 0;
    rusage usage{};
    while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (cpuMs) {
        *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string UniqueObjectName(const std::string& tag)
{
    static std::atomic<int> counter{0};
    return "lktest-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + tag;
}

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

}  // namespace lktest
