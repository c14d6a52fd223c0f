#include "DemoProcess.h"

namespace demo {

bool Child::Start(const std::string& program, const std::string& arg)
{
    Wait();
    std::string cmd = "\"" + program + "\" " + arg;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    return true;
}

int Child::Wait()
{
    if (!m_hProcess) return -1;
    WaitForSingleObject(m_hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_hProcess, &code);
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    return int(code);
}

HWND CreateMessageWindow(const char* className, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, className, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

Watchdog::Watchdog(HWND hWnd, UINT message, DWORD ms)
    : m_hWnd(hWnd),
      m_message(message),
      m_ms(ms),
      m_hStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hThread(CreateThread(nullptr, 0, Run, this, 0, nullptr))
{
}

Watchdog::~Watchdog()
{
    SetEvent(m_hStop);
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
    CloseHandle(m_hStop);
}

DWORD WINAPI Watchdog::Run(LPVOID self)
{
    auto* w = static_cast<Watchdog*>(self);
    if (WaitForSingleObject(w->m_hStop, w->m_ms) == WAIT_TIMEOUT) PostMessageA(w->m_hWnd, w->m_message, 0, 0);
    return 0;
}

}  // namespace demo
