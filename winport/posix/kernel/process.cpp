// Processes: CreateProcessA, waitable process handles, exit codes, TerminateProcess (see
// process.h for how a child is started and reaped).
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/file.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/process.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

extern char** environ;

namespace winport {
namespace {

// Windows' limit: 32767 characters with the terminator.
constexpr std::size_t kMaxCommandLine = 32766;

// Records on the socket between CreateProcessA's side and the keeper.
struct KeeperReport {
    enum Kind : std::int32_t { Started = 1, Failed = 2, Ended = 3 };
    std::int32_t kind;
    std::int32_t a;  // Started: the program's pid; Failed: the step; Ended: si_code
    std::int32_t b;  // Failed: the errno; Ended: si_status
};
constexpr char kTerminateRequest = 'K';

// What the handles of one started process share: the keeper's pidfd (for the reaper) and
// the socket to it.
class ProcessState {
public:
    ProcessState(pid_t pid, int keeperPidfd, int socket) : pid_(pid), keeperPidfd_(keeperPidfd), socket_(socket) {}
    ~ProcessState()
    {
        ::close(keeperPidfd_);
        ::close(socket_);
    }
    ProcessState(const ProcessState&) = delete;
    ProcessState& operator=(const ProcessState&) = delete;

    pid_t Pid() const { return pid_; }
    int KeeperPidfd() const { return keeperPidfd_; }
    int Socket() const { return socket_; }
    bool Ended() const { return AtomicLoad(&ended_) != 0; }
    std::uint32_t* EndWord() { return &ended_; }
    DWORD ExitCode() const { return Ended() ? exitCode_.load(std::memory_order_acquire) : STILL_ACTIVE; }

    // The first request's code is the one reported, if the kill is what ends the process.
    // The keeper kills it through its pidfd, so no other process that reused the pid can be
    // hit; a keeper that has already gone (the process ended) ignores it.
    void Terminate(DWORD code)
    {
        bool expected = false;
        if (Ended() || !terminating_.compare_exchange_strong(expected, true)) return;
        terminateCode_.store(code);
        send(socket_, &kTerminateRequest, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    // The reaper's last word: the keeper's report, or null when the keeper died without one.
    void Finish(const KeeperReport* report)
    {
        DWORD code = 1;
        if (report && report->a == CLD_EXITED) {
            code = static_cast<DWORD>(report->b) & 0xFF;
        } else if (report && (report->a == CLD_KILLED || report->a == CLD_DUMPED)) {
            code = report->b == SIGKILL && terminating_.load() ? terminateCode_.load() : ExitCodeOfSignal(report->b);
        }
        exitCode_.store(code, std::memory_order_release);
        __atomic_store_n(&ended_, 1u, __ATOMIC_RELEASE);
        FutexWakeAll(&ended_);
    }

private:
    const pid_t pid_;
    const int keeperPidfd_;
    const int socket_;
    std::uint32_t ended_ = 0;  // futex word: 1 once reaped; it changes once, so it always wakes
    std::atomic<DWORD> exitCode_{STILL_ACTIVE};
    std::atomic<bool> terminating_{false};
    std::atomic<DWORD> terminateCode_{0};
};

// A process handle (ObjectKind::Process) or the handle of its main thread
// (ObjectKind::ChildThread): both are signalled when the process has ended.
class ProcessHandleObject : public Waitable {
public:
    ProcessHandleObject(ObjectKind kind, std::shared_ptr<ProcessState> state) : Waitable(kind), state_(std::move(state))
    {
    }
    AcquireResult TryAcquire(WaitState&) override
    {
        return state_->Ended() ? AcquireResult::Acquired : AcquireResult::NotReady;
    }
    bool PrepareSleep(SleepWords& words, WaitState&) override
    {
        words.word = FutexWord{state_->EndWord(), 0};
        return !state_->Ended();
    }
    bool LooksReady(WaitState&) override { return state_->Ended(); }
    ObjectIdentity Identity() const override
    {
        return ObjectIdentity{Kind(), reinterpret_cast<std::uintptr_t>(state_.get()), 0};
    }
    ProcessState& State() { return *state_; }

private:
    std::shared_ptr<ProcessState> state_;
};

// Reaps a keeper that has exited (or is about to: it exits right after its last report).
void ReapKeeper(int keeperPidfd)
{
    siginfo_t info{};
    while (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(keeperPidfd), &info, WEXITED | __WALL) != 0 &&
           errno == EINTR) {
    }
}

// The thread that reaps every keeper: an epoll set of their pidfds. Each state is kept here
// until its keeper is reaped, whether or not handles to it remain.
class Reaper {
public:
    static Reaper& Instance()
    {
        // Never destroyed: children may end while the process exits.
        static Reaper* reaper = [] {
            pthread_atfork(nullptr, nullptr, &Reaper::AfterFork);
            return new Reaper;
        }();
        return *reaper;
    }

    // Makes the epoll set and starts the thread if need be; false (with the last error)
    // when it cannot, before any child is started.
    bool Ready()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) return true;
        if (epoll_ < 0) epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) return Fail(ErrorFromErrno(errno), false);
        // Host signals are never delivered to this thread.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        running_ = pthread_create(&thread, &attr, &Reaper::Run, this) == 0;
        pthread_attr_destroy(&attr);
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return running_ ? true : Fail(ERROR_NOT_ENOUGH_MEMORY, false);
    }

    bool Watch(const std::shared_ptr<ProcessState>& state)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = state->KeeperPidfd();
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, state->KeeperPidfd(), &ev) != 0) return false;
        watched_[state->KeeperPidfd()] = state;
        return true;
    }

private:
    Reaper() = default;

    // A child made by fork() has none of the parent's processes, nor its thread: it starts
    // afresh (what the parent's set held is left behind).
    static void AfterFork()
    {
        Reaper& reaper = Instance();
        if (reaper.epoll_ >= 0) ::close(reaper.epoll_);
        new (&reaper) Reaper;
    }

    static void* Run(void* self)
    {
        static_cast<Reaper*>(self)->Loop();
        return nullptr;
    }

    void Loop()
    {
        for (;;) {
            epoll_event events[16];
            const int n = epoll_wait(epoll_, events, 16, -1);
            for (int i = 0; i < n; ++i) Reap(events[i].data.fd);
        }
    }

    // A keeper's pidfd is readable: it has exited, after its last report if all went well.
    void Reap(int keeperPidfd)
    {
        std::shared_ptr<ProcessState> state;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = watched_.find(keeperPidfd);
            if (it == watched_.end()) return;
            state = std::move(it->second);
            watched_.erase(it);
            epoll_ctl(epoll_, EPOLL_CTL_DEL, keeperPidfd, nullptr);
        }
        KeeperReport report{};
        const bool reported = recv(state->Socket(), &report, sizeof report, MSG_DONTWAIT) == sizeof report &&
                              report.kind == KeeperReport::Ended;
        ReapKeeper(keeperPidfd);
        state->Finish(reported ? &report : nullptr);
    }

    std::mutex mutex_;
    int epoll_ = -1;
    bool running_ = false;
    std::unordered_map<int, std::shared_ptr<ProcessState>> watched_;
};

// --- starting the child ------------------------------------------------------------------
//
// The host's thread clones a keeper (a copy of the host, as fork makes, but made with
// clone so that no atfork handler runs, and with exit signal 0). The keeper resets every
// signal to its default, closes every descriptor but its socket, starts the program with
// clone(CLONE_VM | CLONE_VFORK) and execve, reports the pid or the exec's errno, then waits
// for the program (and for terminate requests) and reports its end. The keeper calls only
// system calls: it is a copy of a threaded process, whose locks other threads may hold.

constexpr std::size_t kStackSize = 64 * 1024;

// Everything the keeper and the program's start need, prepared by the caller: neither may
// allocate.
struct SpawnPlan {
    const char* path;
    char* const* argv;
    char* const* envp;
    const char* directory;    // null: the caller's
    int socket;               // the keeper's end
    int maxFd;                // for kernels without close_range
    char* programStack;       // top of the stack the program starts on, in the keeper
    volatile int failedStep;  // set by the program's start: 1 chdir, 2 execve
    volatile int failedErrno;
};

// The kernel's struct sigaction (rt_sigaction), for SIG_DFL without the C library.
struct KernelSigaction {
    void* handler;
    unsigned long flags;
    void* restorer;
    unsigned long mask;
};

#define WINPORT_NO_SANITIZE __attribute__((no_sanitize("address", "thread", "undefined")))

// In the keeper's memory, until its execve: only system calls.
WINPORT_NO_SANITIZE int ProgramStart(void* arg)
{
    SpawnPlan* plan = static_cast<SpawnPlan*>(arg);
    if (plan->directory && syscall(SYS_chdir, plan->directory) != 0) {
        plan->failedErrno = errno;
        plan->failedStep = 1;
        syscall(SYS_exit, 127);
    }
    syscall(SYS_close, plan->socket);
    unsigned long none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    syscall(SYS_execve, plan->path, plan->argv, plan->envp);
    plan->failedErrno = errno;
    plan->failedStep = 2;
    syscall(SYS_exit, 127);
    return 127;
}

WINPORT_NO_SANITIZE void Report(int socket, std::int32_t kind, std::int32_t a, std::int32_t b)
{
    const KeeperReport report{kind, a, b};
    syscall(SYS_sendto, socket, &report, sizeof report, MSG_NOSIGNAL, nullptr, 0);
}

WINPORT_NO_SANITIZE int KeeperMain(void* arg)
{
    SpawnPlan* plan = static_cast<SpawnPlan*>(arg);
    syscall(SYS_prctl, PR_SET_NAME, "lobbykit-keeper", 0, 0, 0);
    // A new program starts as a new Windows process does: no handlers, nothing blocked (the
    // keeper itself keeps every signal blocked). SIGCHLD at its default also means the
    // keeper, not the kernel, reaps the program.
    KernelSigaction byDefault{};
    for (int sig = 1; sig < 65; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP)
            syscall(SYS_rt_sigaction, sig, &byDefault, nullptr, sizeof(unsigned long));
    // bInheritHandles FALSE: nothing but the standard streams goes to the program; nor does
    // the keeper keep the host's descriptors (their locks say which objects are in use).
    const unsigned s = static_cast<unsigned>(plan->socket);
    if ((s > 3 && syscall(SYS_close_range, 3u, s - 1, 0u) != 0) || syscall(SYS_close_range, s + 1, ~0u, 0u) != 0)
        for (int fd = 3; fd < plan->maxFd; ++fd)
            if (fd != plan->socket) syscall(SYS_close, fd);

    int pidfd = -1;
    const long pid =
        clone(&ProgramStart, plan->programStack, CLONE_VM | CLONE_VFORK | CLONE_PIDFD | SIGCHLD, plan, &pidfd);
    if (pid < 0 || plan->failedStep != 0) {
        if (pid < 0) plan->failedErrno = errno;
        else syscall(SYS_waitid, P_PIDFD, pidfd, nullptr, WEXITED, nullptr);
        Report(plan->socket, KeeperReport::Failed, pid < 0 ? 3 : plan->failedStep, plan->failedErrno);
        syscall(SYS_exit_group, 0);
    }
    Report(plan->socket, KeeperReport::Started, static_cast<std::int32_t>(pid), 0);
    pollfd watch[2] = {{pidfd, POLLIN, 0}, {plan->socket, POLLIN, 0}};
    for (;;) {
        if (syscall(SYS_ppoll, watch, 2, nullptr, nullptr, 0) < 0) continue;  // EINTR
        if (watch[1].revents) {
            char request = 0;
            if (syscall(SYS_recvfrom, plan->socket, &request, 1, MSG_DONTWAIT, nullptr, nullptr) <= 0)
                watch[1].fd = -1;  // the host has gone: the program runs on
            else if (request == kTerminateRequest) syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0u);
        }
        if (watch[0].revents) break;
    }
    siginfo_t info{};
    syscall(SYS_waitid, P_PIDFD, pidfd, &info, WEXITED, nullptr);
    Report(plan->socket, KeeperReport::Ended, info.si_code, info.si_status);
    syscall(SYS_exit_group, 0);
    return 0;
}

DWORD ExecError(int err)
{
    switch (err) {
    case ENOEXEC:
    case ELIBBAD: return ERROR_BAD_EXE_FORMAT;
    case E2BIG: return ERROR_INVALID_PARAMETER;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    default: return ErrorFromErrno(err);
    }
}

// Starts the keeper and through it the program; ERROR_SUCCESS and the state of a running
// program, or why it could not start (nothing is left running then).
DWORD Spawn(SpawnPlan& plan, std::shared_ptr<ProcessState>* started)
{
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return ErrorFromErrno(errno);
    // Both stacks in one mapping; the keeper gets its own copy, so the caller's goes at once.
    char* stacks = static_cast<char*>(
        mmap(nullptr, 2 * kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0));
    if (stacks == MAP_FAILED) {
        ::close(sockets[0]);
        ::close(sockets[1]);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    plan.socket = sockets[1];
    plan.programStack = stacks + 2 * kStackSize;
    // No handler of the host may run in the keeper: it starts with everything blocked.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    int keeperPidfd = -1;
    const pid_t keeper = clone(&KeeperMain, stacks + kStackSize, CLONE_PIDFD, &plan, &keeperPidfd);
    const int cloneErrno = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    munmap(stacks, 2 * kStackSize);
    ::close(sockets[1]);
    if (keeper < 0) {
        ::close(sockets[0]);
        return cloneErrno == EINVAL ? ERROR_NOT_SUPPORTED : ErrorFromErrno(cloneErrno);
    }
    KeeperReport report{};
    ssize_t n;
    while ((n = recv(sockets[0], &report, sizeof report, 0)) < 0 && errno == EINTR) {
    }
    if (n != sizeof report || report.kind != KeeperReport::Started) {
        ReapKeeper(keeperPidfd);
        ::close(keeperPidfd);
        ::close(sockets[0]);
        if (n != sizeof report || report.kind != KeeperReport::Failed) return ERROR_NOT_ENOUGH_MEMORY;
        return report.a == 1 ? ERROR_DIRECTORY : ExecError(report.b);
    }
    *started = std::make_shared<ProcessState>(report.a, keeperPidfd, sockets[0]);
    return ERROR_SUCCESS;
}

// --- finding the program -----------------------------------------------------------------

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A name as CreateProcessA's search finds it: a path as given, else the first of the
// program's folder, the current folder and the PATH folders that holds it.
bool SearchProgram(const std::string& name, std::string* found)
{
    if (name.empty()) return false;
    if (name.find('/') != std::string::npos) {
        if (!IsFile(name)) return false;
        *found = Absolute(name);
        return true;
    }
    std::vector<std::string> folders;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) folders.push_back(FolderOf(std::string(self, static_cast<std::size_t>(n))));
    folders.push_back(".");
    if (const char* path = std::getenv("PATH")) {
        for (const char* p = path; *p;) {
            const char* end = std::strchr(p, ':');
            if (!end) end = p + std::strlen(p);
            if (end > p) folders.emplace_back(p, end);
            p = *end ? end + 1 : end;
        }
    }
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + name;
        if (IsFile(candidate)) {
            *found = Absolute(candidate);
            return true;
        }
    }
    return false;
}

// lpApplicationName: the path as given, relative to the current folder; no search.
DWORD ResolveApplicationName(const char* name, std::string* path)
{
    if (!*name) return ERROR_PATH_NOT_FOUND;
    struct stat st;
    if (::stat(name, &st) != 0) return OpenErrorOf(errno, name);
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    *path = Absolute(name);
    return ERROR_SUCCESS;
}

// Only the flags a lobby passes are supported; the others need what this layer lacks
// (suspended threads, consoles, wide environments, inherited handles).
bool StartupUsable(const STARTUPINFOA* si)
{
    // Hints for a console or a window on screen; there is none here.
    const DWORD hints = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USEPOSITION | STARTF_USECOUNTCHARS |
                        STARTF_USEFILLATTRIBUTE | STARTF_FORCEONFEEDBACK | STARTF_FORCEOFFFEEDBACK;
    return (si->dwFlags & ~hints) == 0 && si->cbReserved2 == 0 && !si->lpReserved2 && (!si->lpDesktop || !*si->lpDesktop);
}

std::vector<char*> EnvironmentOf(LPVOID block)
{
    std::vector<char*> envp;
    if (!block) {
        for (char** e = environ; e && *e; ++e) envp.push_back(*e);
    } else {
        for (char* p = static_cast<char*>(block); *p; p += std::strlen(p) + 1) envp.push_back(p);
    }
    envp.push_back(nullptr);
    return envp;
}

int MaxFd()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (1u << 20))
        return 1 << 20;
    return static_cast<int>(limit.rlim_cur);
}

HANDLE PublishProcess(ObjectKind kind, const std::shared_ptr<ProcessState>& state)
{
    return InsertHandle(std::make_shared<ProcessHandleObject>(kind, state));
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* commandLine)
{
    std::vector<std::string> args;
    const char* p = commandLine;
    // The program name: quotes group, nothing is escaped.
    std::string arg;
    bool quoted = false;
    for (; *p && (quoted || !IsSpace(*p)); ++p) {
        if (*p == '"') quoted = !quoted;
        else arg += *p;
    }
    args.push_back(arg);
    for (;;) {
        while (IsSpace(*p)) ++p;
        if (!*p) break;
        arg.clear();
        quoted = false;
        while (*p && (quoted || !IsSpace(*p))) {
            std::size_t backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p != '"') {
                arg.append(backslashes, '\\');
                if (*p && (quoted || !IsSpace(*p))) arg += *p++;
                continue;
            }
            arg.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                arg += '"';
            } else if (quoted && p[1] == '"') {
                arg += '"';  // "" inside quotes: a quote, and still inside
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        }
        args.push_back(arg);
    }
    return args;
}

bool FindProgramOfCommandLine(const char* commandLine, std::string* path)
{
    if (commandLine[0] == '"') {
        const char* end = std::strchr(commandLine + 1, '"');
        const std::string name = end ? std::string(commandLine + 1, end) : std::string(commandLine + 1);
        if (SearchProgram(name, path)) return true;
        return Fail(ERROR_FILE_NOT_FOUND, false);
    }
    // Word by word: "a b c" tries "a", "a b", then "a b c".
    for (const char* p = commandLine; *p;) {
        do ++p;
        while (*p && !IsSpace(*p));
        if (SearchProgram(std::string(commandLine, p), path)) return true;
    }
    return Fail(ERROR_FILE_NOT_FOUND, false);
}

DWORD ExitCodeOfSignal(int signal)
{
    switch (signal) {
    case SIGSEGV:
    case SIGBUS: return 0xC0000005u;                    // STATUS_ACCESS_VIOLATION
    case SIGILL: return 0xC000001Du;                    // STATUS_ILLEGAL_INSTRUCTION
    case SIGFPE: return 0xC0000094u;                    // STATUS_INTEGER_DIVIDE_BY_ZERO
    case SIGABRT: return 3;                             // abort() of the Windows C runtime
    default: return 128u + static_cast<DWORD>(signal);  // as a POSIX shell reports it
    }
}

bool ExitCodeOfChildThread(HANDLE thread, DWORD* code)
{
    std::shared_ptr<KernelObject> object = LookupHandle(thread);
    if (!object || object->Kind() != ObjectKind::ChildThread) return false;
    *code = std::static_pointer_cast<ProcessHandleObject>(object)->State().ExitCode();
    return true;
}

}  // namespace winport

using namespace winport;

extern "C" {

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation)
{
    if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!SecurityAttributesUsable(lpProcessAttributes) || !SecurityAttributesUsable(lpThreadAttributes) ||
        bInheritHandles || (dwCreationFlags & ~static_cast<DWORD>(NORMAL_PRIORITY_CLASS)) != 0 ||
        !StartupUsable(lpStartupInfo))
        return Fail(ERROR_NOT_SUPPORTED, FALSE);
    // Without a command line the application name is one, quoted.
    const std::string commandLine =
        lpCommandLine ? std::string(lpCommandLine) : "\"" + std::string(lpApplicationName) + "\"";
    if (commandLine.size() > kMaxCommandLine) return Fail(ERROR_INVALID_PARAMETER, FALSE);

    std::string path;
    if (lpApplicationName) {
        const DWORD error = ResolveApplicationName(lpApplicationName, &path);
        if (error != ERROR_SUCCESS) return Fail(error, FALSE);
    } else if (!FindProgramOfCommandLine(lpCommandLine, &path)) {
        return FALSE;
    }
    if (lpCurrentDirectory) {
        struct stat st;
        if (::stat(lpCurrentDirectory, &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY, FALSE);
    }

    std::vector<std::string> args = SplitCommandLine(commandLine.c_str());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<char*> envp = EnvironmentOf(lpEnvironment);
    if (!Reaper::Instance().Ready()) return FALSE;

    SpawnPlan plan{path.c_str(), argv.data(), envp.data(), lpCurrentDirectory, -1, MaxFd(), nullptr, 0, 0};
    std::shared_ptr<ProcessState> state;
    const DWORD error = Spawn(plan, &state);
    if (error != ERROR_SUCCESS) return Fail(error, FALSE);
    // The program runs already: it must not outlive a call that failed.
    if (!Reaper::Instance().Watch(state)) {
        state->Terminate(0);
        ReapKeeper(state->KeeperPidfd());
        return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    HANDLE process = PublishProcess(ObjectKind::Process, state);
    HANDLE thread = process ? PublishProcess(ObjectKind::ChildThread, state) : nullptr;
    if (!thread) {
        state->Terminate(0);  // the reaper reaps it
        if (process) CloseHandle(process);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    lpProcessInformation->hProcess = process;
    lpProcessInformation->hThread = thread;
    lpProcessInformation->dwProcessId = static_cast<DWORD>(state->Pid());
    // The main thread of a Linux process has the process's id.
    lpProcessInformation->dwThreadId = static_cast<DWORD>(state->Pid());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    DWORD code = STILL_ACTIVE;
    if (hProcess != CurrentProcessHandle()) {
        std::shared_ptr<ProcessHandleObject> p = LookupObject<ProcessHandleObject>(hProcess, ObjectKind::Process);
        if (!p) return FALSE;
        code = p->State().ExitCode();
    }
    if (!lpExitCode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpExitCode = code;
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    if (hProcess == CurrentProcessHandle()) _exit(static_cast<int>(uExitCode & 0xFF));
    std::shared_ptr<ProcessHandleObject> p = LookupObject<ProcessHandleObject>(hProcess, ObjectKind::Process);
    if (!p) return FALSE;
    p->State().Terminate(uExitCode);
    return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process)
{
    if (Process == CurrentProcessHandle()) return GetCurrentProcessId();
    std::shared_ptr<ProcessHandleObject> p = LookupObject<ProcessHandleObject>(Process, ObjectKind::Process);
    return p ? static_cast<DWORD>(p->State().Pid()) : 0;
}

}  // extern "C"
