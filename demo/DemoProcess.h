// Process and timing helpers for the demo programs.
#ifndef LOBBYKIT_DEMO_PROCESS_H
#define LOBBYKIT_DEMO_PROCESS_H

#include <windows.h>

#include <string>

namespace demo {

// A child program started with one argument, through CreateProcessA on both systems. A
// program named without a folder is found beside the running one (Windows adds ".exe").
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Wait(); }
    // False (with GetLastError) if the program could not be started.
    bool Start(const std::string& program, const std::string& arg);
    // The process handle, signalled when the program has ended; null if none was started.
    HANDLE Handle() const { return m_hProcess; }
    // Waits for the child to end and forgets it; returns its exit code (-1 if none ran).
    int Wait();

private:
    HANDLE m_hProcess = nullptr;
};

// Posted by a Watchdog when a demo program has waited too long.
const UINT WM_DEMO_TIMEOUT = WM_APP + 1;

// A window of this thread that only receives messages (no screen), for the channel's
// notifications.
HWND CreateMessageWindow(const char* className, WNDPROC proc);

// Posts `message` to `hWnd` if it is still alive after `ms` milliseconds.
class Watchdog {
public:
    Watchdog(HWND hWnd, UINT message, DWORD ms);
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog();

private:
    static DWORD WINAPI Run(LPVOID self);
    HWND m_hWnd;
    UINT m_message;
    DWORD m_ms;
    HANDLE m_hStop;
    HANDLE m_hThread;
};

}  // namespace demo

#endif
