#include "DemoProcess.h"

#if defined(_WIN32)
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace demo {

#if defined(_WIN32)
bool Child::Start(const std::string& program, const std::string& arg)
{
    Wait();
    std::string cmd = "\"" + program + "\" " + arg;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(program.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
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

std::string SiblingProgram(const char* argv0, const char* name)
{
    std::string dir(argv0);
    const size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? "" : dir.substr(0, slash + 1);
    return dir + name + ".exe";
}
#else
bool Child::Start(const std::string& program, const std::string& arg)
{
    Wait();
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    m_pid = pid;
    return true;
}

int Child::Wait()
{
    if (!m_pid) return -1;
    int status = 0;
    waitpid(pid_t(m_pid), &status, 0);
    m_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string SiblingProgram(const char* argv0, const char* name)
{
    std::string dir(argv0);
    const size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "./" : dir.substr(0, slash + 1);
    return dir + name;
}
#endif

HWND CreateMessageWindow(const char* className, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, className, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
}

Watchdog::Watchdog(HWND hWnd, UINT message, DWORD ms)
    : m_hWnd(hWnd), m_message(message), m_ms(ms),
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
    if (WaitForSingleObject(w->m_hStop, w->m_ms) == WAIT_TIMEOUT)
        PostMessageA(w->m_hWnd, w->m_message, 0, 0);
    return 0;
}

}  // namespace demo
