// The other process of a cross-process test: a helper program of the test suite, started with
// fork/exec (CreateProcess on Windows), driven by lines on its stdin and reporting by lines
// on its stdout. Helper programs are built into the tests' own folder.
#ifndef LOBBYKIT_TESTS_CHILDPROCESS_H
#define LOBBYKIT_TESTS_CHILDPROCESS_H

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

#include <string>
#include <vector>

namespace lktest {

class ChildProcess {
public:
    // Starts `program args...`: a program name without a folder is looked for beside the
    // running test (".exe" added on Windows). On Linux the child's stderr (its trace output)
    // goes to /dev/null unless LKTEST_CHILD_STDERR is set; on Windows it is the test's own.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();  // kills the child if it still runs

    bool Started() const;
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

    // Closes the child's stdin (a helper that reads commands then sees the end of its input).
    void CloseInput();
    // Ends the child at once, as SIGKILL does (TerminateProcess on Windows).
    void Kill();
    // Waits for the child to end (up to timeoutMs); its exit status (on Linux 128 + the
    // signal for a killed child) or -1. cpuMs, if given: the CPU time the child used.
    int Wait(int timeoutMs, double* cpuMs = nullptr);
#ifndef _WIN32
    pid_t Pid() const { return m_pid; }
#endif

private:
    // Appends what the child has written, waiting up to timeoutMs; false if nothing came.
    bool ReadMore(int timeoutMs);

#ifdef _WIN32
    HANDLE m_process = nullptr;
    HANDLE m_in = nullptr;
    HANDLE m_out = nullptr;
    bool m_started = false;
#else
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
#endif
    std::string m_buffer;
    std::vector<std::string> m_lines;
};

// An object name that no other test (or test process) uses.
std::string UniqueName(const char* tag);

// The path of a program beside the running one (".exe" added on Windows).
std::string SiblingProgram(const std::string& name);

}  // namespace lktest

#endif
