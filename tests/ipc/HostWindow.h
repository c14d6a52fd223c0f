// A host window with a posted-message queue, as a lobby or a game has: the channel posts
// WM_IPC_NOTIFY to it, and the owner's handler runs on the window's thread when the message
// is dispatched.
#ifndef LOBBYKIT_TESTS_IPC_HOSTWINDOW_H
#define LOBBYKIT_TESTS_IPC_HOSTWINDOW_H

#include <windows.h>

#include <functional>

namespace lktest {

class HostWindow {
public:
    using Handler = std::function<void(UINT uMsg, WPARAM wParam, LPARAM lParam)>;

    explicit HostWindow(Handler handler);
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow();

    HWND Handle() const { return m_hWnd; }

    // Dispatches the messages that arrive until done() holds or timeoutMs have passed;
    // returns done().
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Dispatches what is already queued.
    void PumpPending();
    // A blocking message loop until WM_QUIT; returns its exit code.
    int Run();

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    Handler m_handler;
};

}  // namespace lktest

#endif
