// Several processes on one store, and a writer killed in the middle of its writes. The other
// processes are the reg_worker helper (RegWorker.cpp).
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "RegKey.h"
#include "TempStore.h"

extern char** environ;

namespace {

constexpr int kWorkers = 4;
constexpr int kPerWorker = 1000;

// Starts the worker with the given arguments; its stdout goes to *stdoutFd if given.
pid_t StartWorker(const std::vector<std::string>& args, int* stdoutFd = nullptr)
{
    std::vector<std::string> all{REG_WORKER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (stdoutFd) {
        if (pipe(fds) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutFd) {
        close(fds[1]);
        *stdoutFd = fds[0];
    }
    return pid;
}

int WaitStatus(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

class RegProcesses : public ::testing::Test {
protected:
    regtest::TempConfigHome m_home;
};

// The key-level lock: a named mutex per key that every process touching the key takes
// around its read-modify-write (named after this test's store, so runs never share it).
TEST_F(RegProcesses, LockedReadModifyWriteLosesNoIncrement)
{
    const std::string mutexName =
        "lobbykit-regtest-counter-" + m_home.Dir().substr(m_home.Dir().rfind('/') + 1);
    std::vector<pid_t> pids;
    for (int i = 0; i < kWorkers; ++i)
        pids.push_back(StartWorker({"counter", mutexName, std::to_string(kPerWorker)}));
    for (pid_t pid : pids) {
        ASSERT_GT(pid, 0);
        const int status = WaitStatus(pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    unsigned long counter = 0;
    ASSERT_EQ(1, RegReadKeyInt("shared", nullptr, "counter", counter));
    EXPECT_EQ(unsigned(kWorkers * kPerWorker), counter);
}

TEST_F(RegProcesses, ConcurrentWritersOfDistinctValuesLoseNothing)
{
    std::vector<pid_t> pids;
    for (int i = 0; i < kWorkers; ++i)
        pids.push_back(StartWorker({"distinct", std::to_string(i), std::to_string(kPerWorker)}));
    for (pid_t pid : pids) {
        ASSERT_GT(pid, 0);
        const int status = WaitStatus(pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\distinct", 0,
                                           KEY_READ, &key));
    std::set<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[32];
        BYTE data[8];
        DWORD cch = sizeof(name), cb = sizeof(data);
        if (RegEnumValueA(key, i, name, &cch, nullptr, nullptr, data, &cb) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    RegCloseKey(key);
    EXPECT_EQ(size_t(kWorkers * kPerWorker), names.size());
    for (int w = 0; w < kWorkers; ++w) {
        for (int i = 0; i < kPerWorker; ++i) {
            const std::string name = "w" + std::to_string(w) + "-" + std::to_string(i);
            unsigned long v = 0;
            ASSERT_EQ(1, RegReadKeyInt("distinct", nullptr, name.c_str(), v)) << name;
            ASSERT_EQ(unsigned(i), v) << name;
        }
    }
}

// Processes that find no store yet all set it up at once: each must succeed (the schema and
// the switch to WAL must not interleave). Fresh stores, several rounds.
TEST_F(RegProcesses, ProcessesOpeningANewStoreAtOnceAllSucceed)
{
    for (int round = 0; round < 10; ++round) {
        regtest::TempConfigHome fresh;
        std::vector<pid_t> pids;
        for (int i = 0; i < kWorkers; ++i) pids.push_back(StartWorker({"fresh"}));
        for (pid_t pid : pids) {
            ASSERT_GT(pid, 0);
            const int status = WaitStatus(pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        unsigned long n = 0;
        EXPECT_EQ(1, RegReadKeyInt("fresh", nullptr, "n", n));
    }
}

// Each acknowledged write must survive a SIGKILL that lands anywhere in the loop, and the
// store must open afterwards. Several rounds, killed after different numbers of writes.
TEST_F(RegProcesses, WritesAcknowledgedBeforeSigkillSurvive)
{
    std::set<int> acked;
    for (int killAfter : {1, 57, 400}) {
        int out = -1;
        const pid_t pid = StartWorker({"acked", "1000000"}, &out);
        ASSERT_GT(pid, 0);
        std::string pending;
        bool killed = false;
        char buf[256];
        for (;;) {
            const ssize_t n = read(out, buf, sizeof(buf));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pending.append(buf, std::size_t(n));
            std::size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                acked.insert(std::stoi(pending.substr(0, eol)));
                pending.erase(0, eol + 1);
            }
            if (!killed && int(acked.size()) >= killAfter) {
                kill(pid, SIGKILL);
                killed = true;
            }
        }
        close(out);
        const int status = WaitStatus(pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\killed", 0,
                                               KEY_READ, &key));
        RegCloseKey(key);
        for (int i : acked) {
            unsigned long v = 0;
            const std::string name = "v" + std::to_string(i);
            ASSERT_EQ(1, RegReadKeyInt("killed", nullptr, name.c_str(), v)) << name;
            ASSERT_EQ(unsigned(i), v);
        }
        // The next writer carries on where the killed one was.
        ASSERT_EQ(1, RegWriteKeyInt("killed", nullptr, "after", killAfter));
    }
    EXPECT_GE(acked.size(), 400u);
}

}  // namespace
