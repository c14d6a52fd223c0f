// Processes: CreateProcessA's program search, command lines as the child's C runtime splits
// them, folders and environments, exit codes, TerminateProcess, and waits on the handles.
// The child is probe_child (beside the probe), which reports through a named mapping.
#include <cstring>
#include <string>

#include "Probe.h"

namespace {

const char kReportVariable[] = "LOBBYKIT_PROBE_REPORT";

// The mapping the child writes its report into, named in the probe's environment.
class ChildReport {
public:
    explicit ChildReport(probe::Transcript& t) : name_(t.Name("child-report"))
    {
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name_);
        view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 4096));
        probe::SetEnvironment(kReportVariable, name_);
    }
    ~ChildReport()
    {
        if (view_) UnmapViewOfFile(view_);
        if (mapping_) CloseHandle(mapping_);
    }
    ChildReport(const ChildReport&) = delete;
    ChildReport& operator=(const ChildReport&) = delete;
    const char* Name() const { return name_; }
    void Clear()
    {
        if (view_) view_[0] = '\0';
    }
    std::string Text() const { return view_ && view_[0] ? std::string(view_) : "(no report)"; }

private:
    const char* name_;
    HANDLE mapping_ = nullptr;
    char* view_ = nullptr;
};

// One CreateProcessA call: the label the transcript shows, the application name and the
// command line ("" for NULL), and what else a scenario varies.
struct Start {
    Start(const char* label_, std::string app_, std::string cmd_)
        : label(label_), app(std::move(app_)), cmd(std::move(cmd_))
    {
    }
    Start& In(const char* folder)
    {
        dir = folder;
        return *this;
    }
    Start& With(std::string block)  // the environment block without its final NUL
    {
        env = std::move(block);
        return *this;
    }
    Start& Flags(DWORD f)
    {
        flags = f;
        return *this;
    }
    Start& Inheriting()
    {
        inherit = TRUE;
        return *this;
    }
    const char* label;
    std::string app, cmd;
    const char* dir = nullptr;
    std::string env;
    DWORD flags = 0;
    BOOL inherit = FALSE;
};

// Starts the child, waits for it and records the call, the child's report and exit code.
void RunChild(probe::Transcript& t, ChildReport& report, const Start& s, const char* known = nullptr)
{
    report.Clear();
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = s.cmd;
    std::string env = s.env;
    if (!env.empty()) env += '\0';
    SetLastError(probe::Transcript::kUntouched);
    const BOOL ok = CreateProcessA(s.app.empty() ? nullptr : s.app.c_str(), s.cmd.empty() ? nullptr : &cmd[0], nullptr,
                                   nullptr, s.inherit, s.flags, env.empty() ? nullptr : &env[0], s.dir, &si, &pi);
    t.Call(s.label, probe::AsBool(ok), ok ? probe::Transcript::kUntouched : GetLastError(), known);
    if (!ok) {
        // A known difference has the same lines on both sides, started or not.
        if (known) t.Value("   child", "(not started)", known);
        return;
    }
    // A suspended child (where Windows starts one) never ends by itself.
    if (WaitForSingleObject(pi.hProcess, s.flags & CREATE_SUSPENDED ? 0 : 20000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 20000);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    t.Value("   child", report.Text() + " exit=" + std::to_string(code), known);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

std::string Child() { return probe::ProgramFolder() + "probe_child" + probe::ProgramSuffix(); }

}  // namespace

PROBE_SCENARIO(process_program_search)
{
    ChildReport report(t);
    const std::string dir = probe::ProgramFolder();
    // A name without a folder is found beside the calling program (Windows adds ".exe").
    RunChild(t, report, Start("search: probe_child a b", "", "probe_child a b"));
    RunChild(t, report, Start("search: \"probe_child\"x a", "", "\"probe_child\"x a"));
    RunChild(t, report, Start("search: quoted folder and name", "", "\"" + dir + "probe_child\" q"));
    // Unquoted words: "<dir>probe" is no program, "<dir>probe child" is.
    RunChild(t, report, Start("search: quoted name with a space", "", "\"" + dir + "probe child\" x y"));
    RunChild(t, report, Start("search: unquoted name with a space", "", dir + "probe child x y"),
             "wine-requotes-program-name");
    RunChild(t, report, Start("search: missing program", "", "probe_missing a"));
    RunChild(t, report, Start("search: missing folder", "", dir + "nofolder" + dir.substr(dir.size() - 1) + "x a"));
    RunChild(t, report, Start("search: spaces only", "", "   "));
    RunChild(t, report, Start("search: leading spaces", "", "  probe_child a"));
    RunChild(t, report, Start("search: unterminated quote", "", "\"probe_child a"));
    // An application name is used as given, relative to the caller's folder, not searched.
    RunChild(t, report, Start("app: full path, command line NULL", Child(), ""));
    RunChild(t, report, Start("app: with a space, command line NULL", dir + "probe child" + probe::ProgramSuffix(), ""));
    RunChild(t, report, Start("app: full path, another program name", Child(), "whatever a b"));
    RunChild(t, report,
             Start("app: relative name", std::string("probe_child") + probe::ProgramSuffix(), "x").In(dir.c_str()));
    RunChild(t, report, Start("app: missing", dir + "probe_missing" + probe::ProgramSuffix(), "x"));
    RunChild(t, report, Start("app: missing folder", dir + "nofolder" + dir.substr(dir.size() - 1) + "x", "x"));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char x[] = "x";
    PROBE_CALL(probe::AsBool, CreateProcessA("", x, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    char empty[] = "";
    PROBE_CALL(probe::AsBool, CreateProcessA(nullptr, empty, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    RunChild(t, report, Start("app: not a program", dir + "probe_notexe" + probe::ProgramSuffix(), "x"));
    RunChild(t, report, Start("app: a folder", dir.substr(0, dir.size() - 1), "x"), "wine-folder-as-program");
}

PROBE_SCENARIO(process_command_lines)
{
    ChildReport report(t);
    // Argument words as the child's C runtime splits them.
    const char* const lines[] = {
        "probe_child a\"b c\" d",
        "probe_child \"a\\\"b\" c",
        "probe_child a\\\\\"b c\"",
        "probe_child a\\\\b",
        "probe_child \"\" x",
        "probe_child \"a\"\"b\" c",
        "probe_child \"a\"\"\"b\" c",
        "probe_child a\tb",
        "probe_child   a   b  ",
        "probe_child \"abc",
        "probe_child a\\",
        "probe_child \"a\\\\\"",
        "probe_child x\"\"y",
        "probe_child \"\"\"\"",
        "probe_child \"a b\"c d",
        "probe_child \xD6\xD0\xCE\xC4 \"\xD6\xD0 \xCE\xC4\"",
    };
    for (const char* line : lines) {
        const std::string label = "command line \"" + probe::Escaped(line, std::strlen(line)) + "\"";
        RunChild(t, report, Start(label.c_str(), "", line));
    }
    // The program name is split by its own rule: quotes group, backslashes are plain.
    RunChild(t, report, Start("program name \"odd\\\\name\"x", Child(), "\"odd\\\\name\"x y"));
    RunChild(t, report, Start("program name a\\\"b c", Child(), "a\\\"b c"), "wine-program-name-unescaped");
    // Windows' limit: 32767 characters with the terminator.
    RunChild(t, report,
             Start("command line of 32766 characters", "", "probe_child exit=9 " + std::string(32766 - 19, 'x')),
             nullptr);
    RunChild(t, report,
             Start("command line of 32767 characters", "", "probe_child exit=9 " + std::string(32767 - 19, 'x')));
}

PROBE_SCENARIO(process_folder_environment_flags)
{
    ChildReport report(t);
    const std::string dir = probe::ProgramFolder();
    const std::string folder = dir.substr(0, dir.size() - 1);
    RunChild(t, report, Start("folder: the probe's", "", "probe_child").In(folder.c_str()));
    RunChild(t, report, Start("folder: missing", "", "probe_child").In((dir + "nofolder").c_str()));
    RunChild(t, report, Start("folder: a file", "", "probe_child").In(Child().c_str()));
    probe::SetEnvironment("PROBEVAR", "inherited");
    RunChild(t, report, Start("environment: NULL, inherited", "", "probe_child"));
    const std::string block =
        std::string("PROBEVAR=given") + '\0' + kReportVariable + "=" + report.Name() + '\0' + "B=2";
    RunChild(t, report, Start("environment: a block", "", "probe_child").With(block));
    RunChild(t, report, Start("environment: empty", "", "probe_child").With(std::string(1, '\0')));
    probe::SetEnvironment("PROBEVAR", "");
    RunChild(t, report, Start("flags: NORMAL_PRIORITY_CLASS", "", "probe_child").Flags(NORMAL_PRIORITY_CLASS));
    RunChild(t, report, Start("flags: CREATE_SUSPENDED", "", "probe_child").Flags(CREATE_SUSPENDED),
             "process-start-unsupported");
    RunChild(t, report, Start("flags: DETACHED_PROCESS", "", "probe_child").Flags(DETACHED_PROCESS),
             "process-start-unsupported");
    RunChild(t, report, Start("flags: CREATE_UNICODE_ENVIRONMENT", "", "probe_child").Flags(CREATE_UNICODE_ENVIRONMENT),
             "process-start-unsupported");
    RunChild(t, report, Start("bInheritHandles TRUE", "", "probe_child").Inheriting(), "process-start-unsupported");
}

PROBE_SCENARIO(process_exit_codes)
{
    ChildReport report(t);
    RunChild(t, report, Start("exit=0", "", "probe_child exit=0"));
    RunChild(t, report, Start("exit=7", "", "probe_child exit=7"));
    RunChild(t, report, Start("exit=255", "", "probe_child exit=255"));
    RunChild(t, report, Start("exit=300", "", "probe_child exit=300"), "exit-code-eight-bits");
    RunChild(t, report, Start("abort()", "", "probe_child abort"));
}

PROBE_SCENARIO(process_handles_and_terminate)
{
    ChildReport report(t);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char sleeper[] = "probe_child sleep";
    PROBE_CALL(probe::AsBool, CreateProcessA(nullptr, sleeper, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD code = 0;
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hProcess, &code));
    t.Check("STILL_ACTIVE while it runs", code == STILL_ACTIVE);
    PROBE_CALL(probe::AsBool, GetExitCodeThread(pi.hThread, &code));
    t.Check("its thread too", code == STILL_ACTIVE);
    t.Check("GetProcessId is the id it was given", GetProcessId(pi.hProcess) == pi.dwProcessId);
    HANDLE both[2] = {pi.hProcess, pi.hThread};
    PROBE_CALL(probe::AsWait, WaitForSingleObject(pi.hProcess, 50));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, both, TRUE, 0));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 0, QS_ALLINPUT));
    // The thread handle is no process handle.
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hThread, &code));
    PROBE_CALL(probe::AsInt, GetProcessId(pi.hThread));
    PROBE_CALL(probe::AsBool, TerminateProcess(pi.hThread, 43));
    PROBE_CALL(probe::AsBool, TerminateProcess(pi.hProcess, 42));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20000, QS_ALLINPUT));
    PROBE_CALL(probe::AsWait, WaitForMultipleObjects(2, both, TRUE, 20000));
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hProcess, &code));
    t.Value("   exit code", probe::AsInt(code));
    PROBE_CALL(probe::AsBool, GetExitCodeThread(pi.hThread, &code));
    t.Value("   thread exit code", probe::AsInt(code));
    // Terminating an ended process succeeds and changes nothing.
    PROBE_CALL(probe::AsBool, TerminateProcess(pi.hProcess, 44));
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hProcess, &code));
    t.Value("   exit code", probe::AsInt(code));
    PROBE_CALL(probe::AsBool, CloseHandle(pi.hThread));
    PROBE_CALL(probe::AsBool, CloseHandle(pi.hProcess));
    PROBE_CALL(probe::AsBool, CloseHandle(pi.hProcess));
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hProcess, &code));
    PROBE_CALL(probe::AsBool, TerminateProcess(pi.hProcess, 1));
    PROBE_CALL(probe::AsInt, GetProcessId(pi.hProcess));
    HANDLE bad = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    PROBE_CALL(probe::AsInt, GetProcessId(bad));
    PROBE_CALL(probe::AsBool, TerminateProcess(nullptr, 1));

    // A process that ended by itself keeps its code.
    char five[] = "probe_child exit=5";
    PROBE_CALL(probe::AsBool, CreateProcessA(nullptr, five, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    PROBE_CALL(probe::AsWait, WaitForSingleObject(pi.hThread, 20000));
    PROBE_CALL(probe::AsBool, TerminateProcess(pi.hProcess, 9));
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(pi.hProcess, &code));
    t.Value("   exit code", probe::AsInt(code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    // The calling process.
    PROBE_CALL(probe::AsBool, GetExitCodeProcess(GetCurrentProcess(), &code));
    t.Check("the caller is STILL_ACTIVE", code == STILL_ACTIVE);
    t.Check("GetProcessId(GetCurrentProcess()) is GetCurrentProcessId()",
            GetProcessId(GetCurrentProcess()) == GetCurrentProcessId());
}
