// Starting the child on Windows: CreateProcess with pipes on its standard input and output.
#include "ChildProcess.h"

#include <cstdlib>

namespace lktest {
namespace {

std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    for (char c : arg) {
        if (c == '"') q += '\\';
        q += c;
    }
    return q + "\"";
}

}  // namespace

std::string SiblingProgram(const std::string& name)
{
    char self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    const size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name + ".exe";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &m_in, &sa, 0)) return;
    if (!::CreatePipe(&m_out, &childOut, &sa, 0)) return;
    ::SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);
    // The child shares the test's stderr: under Wine, a child whose stderr is the NUL device
    // was seen to stall a peer's replies (GameLinkTest), so the trace goes where the test's goes.
    HANDLE childErr = ::GetStdHandle(STD_ERROR_HANDLE);

    std::string command = Quote(program.find_first_of("\\/") == std::string::npos ? SiblingProgram(program) : program);
    for (const auto& a : args) command += " " + Quote(a);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = childErr;
    PROCESS_INFORMATION pi = {};
    m_started = ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != 0;
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    if (m_started) {
        m_process = pi.hProcess;
        ::CloseHandle(pi.hThread);
    }
}

ChildProcess::~ChildProcess()
{
    if (m_process) {
        Kill();
        Wait(5000);
        ::CloseHandle(m_process);
    }
    if (m_in) ::CloseHandle(m_in);
    if (m_out) ::CloseHandle(m_out);
}

bool ChildProcess::Started() const { return m_started; }

void ChildProcess::Send(const std::string& line)
{
    const std::string s = line + "\n";
    DWORD written = 0;
    ::WriteFile(m_in, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

bool ChildProcess::ReadMore(int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD avail = 0;
        if (!::PeekNamedPipe(m_out, nullptr, 0, nullptr, &avail, nullptr)) return false;
        if (avail > 0) {
            char buf[4096];
            DWORD n = 0;
            if (!::ReadFile(m_out, buf, avail < sizeof buf ? avail : sizeof buf, &n, nullptr) || n == 0) return false;
            m_buffer.append(buf, n);
            return true;
        }
        if (::GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) return false;
        ::Sleep(1);
    }
}

void ChildProcess::CloseInput()
{
    if (m_in) ::CloseHandle(m_in);
    m_in = nullptr;
}

void ChildProcess::Kill()
{
    if (m_process) ::TerminateProcess(m_process, 137);
}

int ChildProcess::Wait(int timeoutMs, double* cpuMs)
{
    if (!m_process || ::WaitForSingleObject(m_process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(m_process, &code);
    FILETIME created, exited, kernel, user;
    if (cpuMs && ::GetProcessTimes(m_process, &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) {  // 100 ns units
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        *cpuMs = static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
    }
    return static_cast<int>(code);
}

}  // namespace lktest
