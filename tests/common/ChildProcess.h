// The other process of a cross-process test: a helper binary started with fork/exec, driven
// by lines on its stdin and reporting by lines on its stdout.
#ifndef LOBBYKIT_TESTS_CHILDPROCESS_H
#define LOBBYKIT_TESTS_CHILDPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace lktest {

class ChildProcess {
public:
    // Starts `program args...`. The child's stderr (its trace output) goes to /dev/null
    // unless LKTEST_CHILD_STDERR is set.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();  // kills the child if it still runs

    bool Started() const { return m_pid > 0; }
    // Sends one command line.
    void Send(const std::string& line);
    // Next line of output, waiting up to timeoutMs; false on timeout or end of output.
    bool ReadLine(std::string& line, int timeoutMs);
    // Reads lines until one starts with `prefix` (returned whole in `line`).
    bool WaitFor(const std::string& prefix, std::string& line, int timeoutMs);
    bool WaitFor(const std::string& prefix, int timeoutMs)
    {
        std::string line;
        return WaitFor(prefix, line, timeoutMs);
    }
    // Lines read so far, for failure messages.
    std::string Transcript() const;

    void Kill(int sig);
    // Waits for the peer to end (up to timeoutMs); its exit status or -1.
    int Wait(int timeoutMs);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    std::vector<std::string> m_lines;
};

// An object name that no other test (or test process) uses.
std::string UniqueName(const char* tag);

}  // namespace lktest

#endif
