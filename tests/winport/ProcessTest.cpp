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
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ChildrenOfProcess.h"
#include "LiveObjectsTest.h"
#include "winport/posix/kernel/process.h"

namespace {

class ProcessTest : public lktest::LiveObjectsTest {
protected:
    void SetUp() override
    {
        LiveObjectsTest::SetUp();
        before_ = lktest::ChildrenOfProcess();
    }
    void TearDown() override
    {
        EXPECT_TRUE(NoChildLeft());
        LiveObjectsTest::TearDown();
    }
    // True once no child started since SetUp is left, not even a zombie (the layer reaps
    // its own as they end, a moment after the program).
    bool NoChildLeft() const
    {
        for (int i = 0; i < 2000; ++i) {
            if (lktest::ChildrenOfProcess() == before_) return true;
            Sleep(10);
        }
        return false;
    }

private:
    std::set<long> before_;
};

std::string Folder()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

// CreateProcessA with what the tests vary; the error of a failure, or ERROR_SUCCESS.
DWORD Start(const char* app, const std::string& cmd, PROCESS_INFORMATION* pi, DWORD flags = 0)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string line = cmd;
    *pi = PROCESS_INFORMATION{};
    SetLastError(0xDEAD);
    if (CreateProcessA(app, cmd.empty() ? nullptr : &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, pi))
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

DWORD RunChild(const std::string& cmd)
{
    PROCESS_INFORMATION pi;
    const DWORD error = Start(nullptr, cmd, &pi);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error) << cmd;
    return error == ERROR_SUCCESS ? Finish(pi) : 0xDEAD;
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

// Codes, handles and errors are compared with Windows in the differential suite; here what
// only Linux shows: the child is reaped the moment it ends, handles open or not.
TEST_F(ProcessTest, TerminatedChildIsReapedWhileItsHandlesAreOpen)
{
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child sleep", &pi));
    EXPECT_FALSE(TerminateThread(pi.hThread, 1));  // another process's thread
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 0xC0DE0042u));
    HANDLE both[2] = {pi.hProcess, pi.hThread};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 20000));
    struct stat st;
    EXPECT_NE(0, stat(("/proc/" + std::to_string(pi.dwProcessId)).c_str(), &st));
    EXPECT_EQ(0xC0DE0042u, Finish(pi));  // all 32 bits of a TerminateProcess code
}

TEST_F(ProcessTest, AChildOutlivesItsClosedHandlesAndIsStillReaped)
{
    PROCESS_INFORMATION pi;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Start(nullptr, "winport_child exit 0", &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(NoChildLeft());
    struct stat st;
    EXPECT_NE(0, stat(("/proc/" + std::to_string(pi.dwProcessId)).c_str(), &st));
}

TEST_F(ProcessTest, ExecFailuresAreTheCallsWithWindowsCodes)
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
        DWORD flags;
        DWORD error;
    };
    // The other codes are compared with Windows in the differential suite.
    const Case cases[] = {
        {script, "x", 0, ERROR_BAD_EXE_FORMAT},  // executable, but no program
        {data, "x", 0, ERROR_ACCESS_DENIED},     // not executable
        {plain, "x", 0, ERROR_ACCESS_DENIED},    // a script, not executable
        {"", "", 0, ERROR_INVALID_PARAMETER},    // neither name nor line
        {child, "x exit 0", NORMAL_PRIORITY_CLASS, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        PROCESS_INFORMATION pi;
        const DWORD error = Start(c.app.empty() ? nullptr : c.app.c_str(), c.cmd, &pi, c.flags);
        EXPECT_EQ(c.error, error) << c.app << " / " << c.cmd;
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
