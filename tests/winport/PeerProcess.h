// Starts the winport_peer helper as a separate process and talks to it through pipes:
// the peer prints one line per event ("ready", "result N"), and ends when its standard
// input is closed (or when killed).
#ifndef LOBBYKIT_TESTS_WINPORT_PEERPROCESS_H
#define LOBBYKIT_TESTS_WINPORT_PEERPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace lktest {

class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& args);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Waits until the peer's main thread sleeps in the kernel; see ThreadAsleepSoon.
    bool WaitUntilAsleep(int timeoutMs = 10000) const;
    // The next line the peer prints, without its newline; "" on end of output or timeout.
    std::string ReadLine(int timeoutMs = 10000);
    // Reads lines until one equals `line`; false on end of output or timeout.
    bool WaitFor(const std::string& line, int timeoutMs = 10000);
    void CloseInput();
    void Kill();
    // Waits for the end; the exit status (or 128 + signal). cpuMs: CPU time it used.
    int Wait(double* cpuMs = nullptr);

private:
    pid_t pid_ = -1;
    int toPeer_ = -1;
    int fromPeer_ = -1;
    std::string buffered_;
};

// CPU time the calling thread has used so far, in ms (to tell a blocking wait from a spin).
double ThreadCpuMs();

// Waits until the thread (a kernel thread id) of the process sleeps in the kernel (state S
// in /proc); false after timeoutMs or if the thread has ended.
bool ThreadAsleepSoon(pid_t process, pid_t thread, int timeoutMs = 10000);

// A name no other test process uses.
std::string UniqueObjectName(const std::string& tag);

}  // namespace lktest

#endif
