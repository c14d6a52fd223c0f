// Starts the winport_peer helper as a separate process and talks to it through pipes:
// the peer prints one line per event ("ready", "result N"), and ends when its standard
// input is closed (or when killed). A ChildProcess with the peer's program and whole-line
// answers.
#ifndef LOBBYKIT_TESTS_WINPORT_PEERPROCESS_H
#define LOBBYKIT_TESTS_WINPORT_PEERPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace lktest {

class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& args) : child_(WINPORT_PEER_PATH, args) {}

    bool Started() const { return child_.Started(); }
    pid_t Pid() const { return child_.Pid(); }
    // Waits until the peer's main thread sleeps in the kernel; see ThreadAsleepSoon.
    bool WaitUntilAsleep(int timeoutMs = 10000) const;
    // The next line the peer prints, without its newline; "" on end of output or timeout.
    std::string ReadLine(int timeoutMs = 10000);
    // Reads lines until one equals `line`; false on end of output or timeout.
    bool WaitFor(const std::string& line, int timeoutMs = 10000);
    void CloseInput() { child_.CloseInput(); }
    void Kill() { child_.Kill(); }
    // Waits for the end (a minute at most, then -1); the exit status (or 128 + signal).
    // cpuMs: CPU time it used.
    int Wait(double* cpuMs = nullptr) { return child_.Wait(60000, cpuMs); }

private:
    ChildProcess child_;
};

// CPU time the calling thread has used so far, in ms (to tell a blocking wait from a spin).
double ThreadCpuMs();

// Waits until the thread (a kernel thread id) of the process sleeps in the kernel (state S
// in /proc); false after timeoutMs or if the thread has ended.
bool ThreadAsleepSoon(pid_t process, pid_t thread, int timeoutMs = 10000);

}  // namespace lktest

#endif
