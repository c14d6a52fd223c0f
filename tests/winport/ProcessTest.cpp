// Processes: CreateProcessA's command line and program search, exit codes, waits on process
// handles, and the ways a host could disturb its children (SIGCHLD, waitpid, descriptors,
// signal dispositions, several threads starting processes at once).
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LiveObjectsTest.h"
#include "winport/posix/kernel/process.h"

namespace {

class ProcessTest : public lktest::LiveObjectsTest {
protected:
    void TearDown() override
    {
        // Every child was reaped: none is left, not even as a zombie.
        errno = 0;
        EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG | __WALL));
        EXPECT_EQ(ECHILD, errno);
        LiveObjectsTest::TearDown();
    }
};

std::string Folder()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

// CreateProcessA with what the tests vary; the error of a failure, or ERROR_SUCCESS.
DWORD Start(const char* app, const std::string& cmd, PROCESS_INFORMATION* pi, const char* dir = nullptr,
            const char* env = nullptr, DWORD flags = 0, BOOL inherit = FALSE)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string line = cmd;
    *pi = PROCESS_INFORMATION{};
    SetLastError(0xDEAD);
    if (CreateProcessA(app, cmd.empty() ? nullptr : &line[0], nullptr, nullptr, inherit, flags,
                       const_cast<char*>(env), dir, &si, pi))
        return ERROR_SUCCESS;
    EXPECT_EQ(nullptr, pi->hProcess);
    return GetLastError();
}

// Waits for the process, closes both handles and returns its exit code.
DWORD Finish(PROCESS_INFORMATION& pi)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000));
    DWORD code = 0xDEAD;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD RunChild(const std::string& cmd, const char* dir = nullptr, const char* env = nullptr)
{
    PROCESS_INFORMATION pi;
    const DWORD error = Start(nullptr, cmd, &pi, dir, env);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error) << cmd;
    return error == ERROR_SUCCESS ? Finish(pi) : 0xDEAD;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CommandLineTest, SplitsAsTheWindowsRuntime)
{
    struct Case {
        const char* line;
        std::vector<std::string> args;
    };
    // Settled against Wine's msvcrt, except the program name, which follows Microsoft's
    // documentation (Wine unescapes it as the other arguments).
    const Case cases[] = {
        {"p a\"b c\" d", {"p", "ab c", "d"}},
        {"p \"a\\\"b\" c", {"p", "a\"b", "c"}},
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
        {"p \"a\"\"\"b\" c", {"p", "a\"b c"}},
        {"p a\tb", {"p", "a", "b"}},
        {"p   a   b  ", {"p", "a", "b"}},
        {"p \"abc", {"p", "abc"}},
        {"p a\\", {"p", "a\\"}},
        {"p \"a\\\\\"", {"p", "a\\"}},
        {"p x\"\"y", {"p", "xy"}},
        {"p \"\"\"\"", {"p", "\""}},
        {"p \"a b\"c d", {"p", "a bc", "d"}},
        {"\"odd\\\\name\"x y", {"odd\\\\namex", "y"}},
        {"a\\\"b c", {"a\\b c"}},
        {"\"C:\\Program Files\\x.exe\" -v", {"C:\\Program Files\\x.exe", "-v"}},
        {"", {""}},
        {"  p", {"", "p"}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.args, winport::SplitCommandLine(c.line)) << c.line;
}

TEST_F(ProcessTest, ChildGetsTheArgumentsFolderAndEnvironment)
{
    const std::string report = Folder() + "/winport_child_report." + std::to_string(getpid());
    const std::string env = "WINPORT_CHILD_REPORT=" + report + '\0' + "WINPORT_CHILD_VAR=\xD6\xD0 x" + '\0';
    // Found beside the running program; the words are split as Windows programs split them.
    EXPECT_EQ(0u, RunChild("winport_child report \"a b\" c\\\"d \"\"", "/", env.c_str()));
    EXPECT_EQ("winport_child|report|a b|c\"d|\n/\n\xD6\xD0 x\n", ReadFile(report));
    // With the environment left NULL, the child has the caller's.
    setenv("WINPORT_CHILD_REPORT", report.c_str(), 1);
    setenv("WINPORT_CHILD_VAR", "inherited", 1);
    const std::string app = Folder() + "/winport_child";
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(app.c_str(), "whatever report", &pi));
    EXPECT_NE(0u, pi.dwProcessId);
    EXPECT_EQ(pi.dwProcessId, GetProcessId(pi.hProcess));
    EXPECT_EQ(0u, Finish(pi));
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    EXPECT_EQ("whatever|report\n" + std::string(cwd) + "\ninherited\n", ReadFile(report));
    unsetenv("WINPORT_CHILD_REPORT");
    unsetenv("WINPORT_CHILD_VAR");
    unlink(report.c_str());
}

TEST_F(ProcessTest, ExitCodes)
{
    struct Case {
        const char* cmd;
        DWORD code;
    };
    const Case cases[] = {
        {"winport_child exit 0", 0},
        {"winport_child exit 7", 7},
        {"winport_child exit 300", 300 & 0xFF},  // Linux keeps 8 bits
        {"winport_child crash", 0xC0000005u},
        {"winport_child abort", 3},
        {"winport_child term", 128 + SIGTERM},
    };
    for (const Case& c : cases) EXPECT_EQ(c.code, RunChild(c.cmd)) << c.cmd;
}

TEST_F(ProcessTest, TerminateProcessGivesItsCodeAndTheHandlesAreSignalled)
{
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child sleep", &pi));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    ASSERT_TRUE(GetExitCodeThread(pi.hThread, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    HANDLE both[2] = {pi.hProcess, pi.hThread};
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, both, FALSE, 50));
    EXPECT_FALSE(TerminateThread(pi.hThread, 1));  // another process's thread
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 0xC0DE0042u));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 20000));
    // Reaped as soon as it ended, while its handles are still open.
    struct stat st;
    EXPECT_NE(0, stat(("/proc/" + std::to_string(pi.dwProcessId)).c_str(), &st));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(0xC0DE0042u, code);
    EXPECT_TRUE(GetExitCodeThread(pi.hThread, &code));
    EXPECT_EQ(0xC0DE0042u, code);
    // A second request changes nothing (as Wine reports it).
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 5));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(0xC0DE0042u, code);
    // The thread handle is no process handle.
    EXPECT_FALSE(GetExitCodeProcess(pi.hThread, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, GetProcessId(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(CloseHandle(pi.hProcess));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(ProcessTest, AChildOutlivesItsClosedHandlesAndIsStillReaped)
{
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child exit 0", &pi));
    const std::string proc = "/proc/" + std::to_string(pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    struct stat st;
    for (int i = 0; i < 2000 && stat(proc.c_str(), &st) == 0; ++i) Sleep(10);
    EXPECT_NE(0, stat(proc.c_str(), &st));
}

TEST_F(ProcessTest, FailuresAreReportedByTheCallWithWindowsCodes)
{
    const std::string dir = Folder() + "/winport_child_failures." + std::to_string(getpid());
    ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
    const std::string data = dir + "/data", script = dir + "/data-x", plain = dir + "/plain";
    std::ofstream(data) << "not a program\n";
    std::ofstream(script) << "not a program\n";
    std::ofstream(plain) << "#!/bin/sh\nexit 0\n";
    chmod(script.c_str(), 0700);
    chmod(plain.c_str(), 0600);
    const std::string child = Folder() + "/winport_child";
    struct Case {
        std::string app, cmd;
        const char* dir;
        DWORD flags;
        BOOL inherit;
        DWORD error;
    };
    const Case cases[] = {
        {"", "winport_child_missing a", nullptr, 0, FALSE, ERROR_FILE_NOT_FOUND},
        {"", dir + "/nofolder/x a", nullptr, 0, FALSE, ERROR_FILE_NOT_FOUND},  // searched: "file"
        {dir + "/missing", "x", nullptr, 0, FALSE, ERROR_FILE_NOT_FOUND},
        {dir + "/nofolder/x", "x", nullptr, 0, FALSE, ERROR_PATH_NOT_FOUND},
        {dir, "x", nullptr, 0, FALSE, ERROR_ACCESS_DENIED},
        {script, "x", nullptr, 0, FALSE, ERROR_BAD_EXE_FORMAT},
        {data, "x", nullptr, 0, FALSE, ERROR_ACCESS_DENIED},
        {plain, "x", nullptr, 0, FALSE, ERROR_ACCESS_DENIED},
        {"", "", nullptr, 0, FALSE, ERROR_INVALID_PARAMETER},  // neither name nor line
        {"", "   ", nullptr, 0, FALSE, ERROR_FILE_NOT_FOUND},
        {"", "winport_child exit 0", "/nonexistent-folder", 0, FALSE, ERROR_DIRECTORY},
        {"", "winport_child exit 0", data.c_str(), 0, FALSE, ERROR_DIRECTORY},
        {"", "winport_child " + std::string(32766 - 14, 'x'), nullptr, 0, FALSE, ERROR_SUCCESS},
        {"", "winport_child " + std::string(32767 - 14, 'x'), nullptr, 0, FALSE, ERROR_INVALID_PARAMETER},
        {child, "x", nullptr, CREATE_SUSPENDED, FALSE, ERROR_NOT_SUPPORTED},
        {child, "x", nullptr, CREATE_UNICODE_ENVIRONMENT, FALSE, ERROR_NOT_SUPPORTED},
        {child, "x", nullptr, DETACHED_PROCESS, FALSE, ERROR_NOT_SUPPORTED},
        {child, "x", nullptr, 0, TRUE, ERROR_NOT_SUPPORTED},
        {child, "x exit 0", nullptr, NORMAL_PRIORITY_CLASS, FALSE, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        PROCESS_INFORMATION pi;
        const DWORD error = Start(c.app.empty() ? nullptr : c.app.c_str(), c.cmd, &pi, c.dir, nullptr, c.flags,
                                  c.inherit);
        EXPECT_EQ(c.error, error) << c.app << " / " << c.cmd.substr(0, 40);
        if (error == ERROR_SUCCESS) Finish(pi);
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi = {};
    char line[] = "winport_child exit 0";
    EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    for (const std::string& f : {data, script, plain}) unlink(f.c_str());
    rmdir(dir.c_str());
}

TEST_F(ProcessTest, CommandLineWordsNameAProgramWithSpaces)
{
    // "<dir>/winport child exit 4": "<dir>/winport" is not a program, "<dir>/winport child" is.
    const std::string dir = Folder() + "/winport_spaces." + std::to_string(getpid());
    ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
    const std::string link = dir + "/winport child";
    ASSERT_EQ(0, symlink((Folder() + "/winport_child").c_str(), link.c_str()));
    std::string found;
    ASSERT_TRUE(winport::FindProgramOfCommandLine((link + " exit 4").c_str(), &found));
    EXPECT_EQ(link, found);
    // argv[0] is then "<dir>/winport", and the child's first argument is "child".
    EXPECT_EQ(99u, RunChild(link + " exit 4"));
    EXPECT_EQ(4u, RunChild("\"" + link + "\" exit 4"));
    unlink(link.c_str());
    rmdir(dir.c_str());
}

TEST_F(ProcessTest, HostsThatReapOrIgnoreChildrenDoNotTouchOurs)
{
    // SIG_IGN would make the kernel reap a SIGCHLD child at once and lose its code; a host's
    // waitpid(-1) would take it. Neither sees ours.
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &old);
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child exit 5", &pi));
    errno = 0;
    EXPECT_EQ(-1, waitpid(-1, nullptr, 0));  // no child of its own: returns at once
    EXPECT_EQ(ECHILD, errno);
    EXPECT_EQ(5u, Finish(pi));
    sigaction(SIGCHLD, &old, nullptr);

    static std::atomic<int> handled{0};
    struct sigaction count = {};
    count.sa_handler = [](int) { ++handled; };
    sigaction(SIGCHLD, &count, &old);
    EXPECT_EQ(6u, RunChild("winport_child exit 6"));
    EXPECT_EQ(0, handled.load());
    sigaction(SIGCHLD, &old, nullptr);
}

TEST_F(ProcessTest, ChildInheritsNoDescriptorAndStartsWithDefaultSignals)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));  // not close-on-exec
    const int dup3fd = fcntl(fds[0], F_DUPFD, 50);
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR1, &ignore, &old);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);
    EXPECT_EQ(0u, RunChild("winport_child fds"));
    EXPECT_EQ(0u, RunChild("winport_child signals"));
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGUSR1, &old, nullptr);
    close(dup3fd);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(ProcessTest, WaitsWakeWhenTheProcessEnds)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child sleep", &pi));
    HANDLE set[2] = {event, pi.hProcess};
    std::thread killer([&] {
        Sleep(100);
        TerminateProcess(pi.hProcess, 9);
    });
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, set, FALSE, 20000));
    killer.join();
    EXPECT_EQ(9u, Finish(pi));
    CloseHandle(event);
}

TEST_F(ProcessTest, ThreadsStartProcessesAtOnce)
{
    // vfork-style starts from several threads, while others allocate and take locks.
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop) {
            std::vector<std::string> garbage(64, std::string(100, 'x'));
            (void)garbage;
        }
    });
    std::vector<std::thread> starters;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        starters.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const int code = t * 10 + i;
                PROCESS_INFORMATION pi;
                if (Start(nullptr, "winport_child exit " + std::to_string(code), &pi) != ERROR_SUCCESS ||
                    Finish(pi) != static_cast<DWORD>(code))
                    ++wrong;
            }
        });
    }
    for (std::thread& s : starters) s.join();
    stop = true;
    busy.join();
    EXPECT_EQ(0, wrong.load());
}

}  // namespace
