// The other end of a channel test: the ipc_peer helper binary, started with fork/exec (with
// CreateProcess on Windows, from the test's own folder), driven by lines on its stdin and
// reporting by lines on its stdout.
#ifndef LOBBYKIT_TESTS_IPC_PEERPROCESS_H
#define LOBBYKIT_TESTS_IPC_PEERPROCESS_H

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

#include <string>
#include <vector>

namespace lktest {

class PeerProcess {
public:
    // Starts `ipc_peer args...`. The peer's stderr (its trace output) goes to /dev/null.
    explicit PeerProcess(const std::vector<std::string>& args);
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    ~PeerProcess();  // kills the peer if it still runs

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

    // Ends the peer at once, as SIGKILL does (TerminateProcess on Windows).
    void Kill();
    // Waits for the peer to end (up to timeoutMs); its exit status or -1.
    int Wait(int timeoutMs);

private:
    // Appends what the peer has written, waiting up to timeoutMs; false if nothing came.
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

// A channel name no other test (or test process) uses.
std::string UniqueChannelName(const char* tag);

}  // namespace lktest

#endif
