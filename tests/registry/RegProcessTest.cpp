// Several processes on one store, and a writer killed in the middle of its writes. The other
// processes are the reg_worker helper (RegWorker.cpp).
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "RegKey.h"
#include "TempStore.h"
#include "winport/posix/registry/store.h"

extern char** environ;

namespace {

constexpr int kWorkers = 4;
constexpr int kPerWorker = 1000;

// Starts the worker with the given arguments; its stdout goes to *stdoutFd and its stdin
// comes from *stdinFd, where given.
pid_t StartWorker(const std::vector<std::string>& args, int* stdoutFd = nullptr, int* stdinFd = nullptr)
{
    std::vector<std::string> all{REG_WORKER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int out[2] = {-1, -1}, in[2] = {-1, -1};
    if (stdoutFd) {
        if (pipe(out) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
    }
    if (stdinFd) {
        if (pipe(in) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[0]);
        posix_spawn_file_actions_addclose(&actions, in[1]);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutFd) {
        close(out[1]);
        *stdoutFd = out[0];
    }
    if (stdinFd) {
        close(in[0]);
        *stdinFd = in[1];
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

// One line of the worker's output, without its newline; what there is at the end of it.
std::string ReadLine(int fd)
{
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

// Sends a request line to a watching worker and returns its answer.
std::string Ask(int in, int out, const std::string& request)
{
    const std::string line = request + "\n";
    if (write(in, line.data(), line.size()) != ssize_t(line.size())) return "(not sent)";
    return ReadLine(out);
}

// Puts a copy of one file alone as the store of a fresh folder, for the lifetime of the object.
class StoreCopy {
public:
    explicit StoreCopy(const std::string& file)
    {
        std::filesystem::create_directory(m_home.Dir() + "/lobbykit");
        std::filesystem::copy_file(file, m_home.StoreFile());
    }

private:
    regtest::TempConfigHome m_home;
};

void ExpectDistinctValues();

class RegProcesses : public ::testing::Test {
protected:
    regtest::TempConfigHome m_home;
};

// The key-level lock: a named mutex per key that every process touching the key takes
// around its read-modify-write (named after this test's store, so runs never share it).
TEST_F(RegProcesses, LockedReadModifyWriteLosesNoIncrement)
{
    const std::string mutexName = "lobbykit-regtest-counter-" + m_home.Dir().substr(m_home.Dir().rfind('/') + 1);
    std::vector<pid_t> pids;
    for (int i = 0; i < kWorkers; ++i) pids.push_back(StartWorker({"counter", mutexName, std::to_string(kPerWorker)}));
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
    // The writers have ended: the file alone holds every setting, and the last of them took
    // its -wal away. Checked on a copy first, before this process opens the store.
    EXPECT_NE(0, access((m_home.StoreFile() + "-wal").c_str(), F_OK));
    {
        StoreCopy copy(m_home.StoreFile());
        ExpectDistinctValues();
    }
    ExpectDistinctValues();
}

void ExpectDistinctValues()
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\distinct", 0, KEY_READ, &key));
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
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\killed", 0, KEY_READ, &key));
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
    // Once this last user of the store has closed it, the file alone holds them all.
    winport::reg::StoreCloseForTesting();
    StoreCopy copy(m_home.StoreFile());
    for (int i : acked) {
        unsigned long v = 0;
        ASSERT_EQ(1, RegReadKeyInt("killed", nullptr, ("v" + std::to_string(i)).c_str(), v)) << i;
    }
}

// A store is deleted under a running program, or deleted and another one put in its place
// (a backup put back): the program goes over to the store that is there now, sees what
// others write to it, and what it writes lands there.
class RegStoreSwapped : public RegProcesses, public ::testing::WithParamInterface<bool> {};

TEST_P(RegStoreSwapped, RunningProgramGoesOverToTheStoreThatIsThereNow)
{
    const bool putBack = GetParam();
    ASSERT_EQ(1, RegWriteKeyInt("watch", nullptr, "n", 1));
    int out = -1, in = -1;
    const pid_t pid = StartWorker({"watch"}, &out, &in);
    ASSERT_GT(pid, 0);
    ASSERT_EQ("ready", ReadLine(out));
    EXPECT_EQ("1", Ask(in, out, "read"));

    const std::string file = m_home.StoreFile();
    std::string backup;
    if (putBack) {
        regtest::TempConfigHome aside;
        ASSERT_EQ(1, RegWriteKeyInt("watch", nullptr, "n", 5));
        winport::reg::StoreCloseForTesting();
        backup = m_home.Dir() + "/backup.db";
        ASSERT_EQ(0, rename(aside.StoreFile().c_str(), backup.c_str()));
    }
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((file + suffix).c_str());
    if (putBack) {
        ASSERT_EQ(0, rename(backup.c_str(), file.c_str()));
        EXPECT_EQ("5", Ask(in, out, "read"));
    } else {
        EXPECT_EQ("none", Ask(in, out, "read"));
    }
    ASSERT_EQ(1, RegWriteKeyInt("watch", nullptr, "n", 7));  // this process: another program
    EXPECT_EQ("7", Ask(in, out, "read"));
    EXPECT_EQ("ok", Ask(in, out, "write 9"));
    close(in);
    const int status = WaitStatus(pid);
    close(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    unsigned long own = 0;
    EXPECT_EQ(1, RegReadKeyInt("watch", nullptr, "own", own));
    EXPECT_EQ(9u, own);
}

INSTANTIATE_TEST_SUITE_P(DeletedOrPutBack, RegStoreSwapped, ::testing::Bool());

}  // namespace
