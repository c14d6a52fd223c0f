// Wake-ups and thread ids. No waiter may sleep through a set, a release or a post, between
// threads or between processes, also after a waiter was killed; calls that find nobody
// asleep make no wake-up system call, and a waiter that left costs at most one. Thread ids
// are each thread's kernel id, also in a forked child.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"
#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/shared_object.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

// A wait that lasts this long has lost its wake-up.
constexpr DWORD kLostWakeMs = 10000;

std::string Result(DWORD value) { return "result " + std::to_string(value); }

class WakeTest : public lktest::LiveObjectsTest {};

// --- thread ids ------------------------------------------------------------------------

DWORD KernelThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

struct IdProbe {
    DWORD seen = 0;
    DWORD seenAgain = 0;
    DWORD kernel = 0;
};

DWORD WINAPI ProbeThreadId(LPVOID parameter)
{
    IdProbe* probe = static_cast<IdProbe*>(parameter);
    probe->seen = GetCurrentThreadId();
    probe->kernel = KernelThreadId();
    probe->seenAgain = GetCurrentThreadId();
    return 0;
}

TEST(ThreadIdTest, IsTheKernelsIdOfEachThread)
{
    const DWORD mainId = GetCurrentThreadId();
    EXPECT_EQ(KernelThreadId(), mainId);
    EXPECT_EQ(mainId, GetCurrentThreadId());

    IdProbe plain;
    std::thread t([&] { ProbeThreadId(&plain); });
    t.join();
    IdProbe layer;
    DWORD reported = 0;
    HANDLE h = CreateThread(nullptr, 0, ProbeThreadId, &layer, 0, &reported);
    ASSERT_NE(nullptr, h);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, kLostWakeMs));
    CloseHandle(h);

    for (const IdProbe* p : {&plain, &layer}) {
        EXPECT_EQ(p->kernel, p->seen);
        EXPECT_EQ(p->seen, p->seenAgain);
        EXPECT_NE(mainId, p->seen);
    }
    EXPECT_EQ(reported, layer.seen);
}

// Forks; the child exits with what `check` returns. The child's exit status, or -1.
template <class Check>
int RunInChild(Check check)
{
    const pid_t pid = fork();
    if (pid == 0) _exit(check());
    if (pid < 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In a forked child, whose one thread has the process id as its thread id: 0 when the
// child sees its own id rather than the one its parent thread had cached.
int CheckChildId(DWORD parentId)
{
    const DWORD id = GetCurrentThreadId();
    if (id == parentId) return 1;
    if (id != KernelThreadId() || id != static_cast<DWORD>(getpid())) return 2;
    return 0;
}

enum class ForkFrom { MainThread, OtherThread, Child };

class ForkedChild : public ::testing::TestWithParam<ForkFrom> {};

TEST_P(ForkedChild, GetsItsOwnThreadId)
{
    auto forkAndCheck = [] {
        const DWORD parentId = GetCurrentThreadId();  // cached in the forking thread
        return RunInChild([parentId] { return CheckChildId(parentId); });
    };
    int status = -1;
    switch (GetParam()) {
    case ForkFrom::MainThread: status = forkAndCheck(); break;
    case ForkFrom::OtherThread: {
        std::thread t([&] { status = forkAndCheck(); });
        t.join();
        break;
    }
    case ForkFrom::Child: {
        const DWORD parentId = GetCurrentThreadId();
        status = RunInChild([&] {
            const int own = CheckChildId(parentId);
            return own != 0 ? own : forkAndCheck();  // the grandchild, forked by a child
        });
        break;
    }
    }
    EXPECT_EQ(0, status);
}

INSTANTIATE_TEST_SUITE_P(From, ForkedChild,
                         ::testing::Values(ForkFrom::MainThread, ForkFrom::OtherThread, ForkFrom::Child));

// --- no wake-up call without a sleeper ---------------------------------------------------

void EventRounds(BOOL manual, int rounds)
{
    HANDLE e = CreateEventA(nullptr, manual, FALSE, UniqueName("quiet").c_str());
    for (int i = 0; i < rounds; ++i) {
        SetEvent(e);
        SetEvent(e);  // already set
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
        if (manual) ResetEvent(e);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
    }
    CloseHandle(e);
}

void MutexRounds(int rounds)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, UniqueName("quiet").c_str());
    for (int i = 0; i < rounds; ++i) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, INFINITE));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
        EXPECT_TRUE(ReleaseMutex(m));
        EXPECT_TRUE(ReleaseMutex(m));
    }
    CloseHandle(m);
}

LRESULT CALLBACK PlainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PostRounds(int rounds)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainWindowProc;
    wc.lpszClassName = "WakeTestWindow";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hwnd);
    MSG msg;
    for (int i = 0; i < rounds; ++i) {
        EXPECT_TRUE(PostMessageA(hwnd, WM_USER, i, 0));
        EXPECT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, i, 0));
        if (i % 2) PostQuitMessage(i);
        EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        if (i % 2) {
            EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT);
        }
    }
    DestroyWindow(hwnd);
    UnregisterClassA(wc.lpszClassName, nullptr);
}

struct QuietCase {
    const char* name;
    void (*run)(int rounds);
};

class QuietCalls : public WakeTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(QuietCalls, MakeNoWakeUpCall)
{
    const std::uint64_t before = winport::FutexWakeCalls();
    GetParam().run(500);
    EXPECT_EQ(before, winport::FutexWakeCalls());
}

INSTANTIATE_TEST_SUITE_P(Objects, QuietCalls,
                         ::testing::Values(QuietCase{"AutoResetEvent", [](int n) { EventRounds(FALSE, n); }},
                                           QuietCase{"ManualResetEvent", [](int n) { EventRounds(TRUE, n); }},
                                           QuietCase{"Mutex", MutexRounds}, QuietCase{"PostedMessages", PostRounds}),
                         [](const ::testing::TestParamInfo<QuietCase>& info) { return std::string(info.param.name); });

// --- waiters that leave ---------------------------------------------------------------

// An object one thread signals and another waits for. After make, the object is not
// signalled (an event clear, a mutex owned by the caller); signal sets or releases it;
// a wait that succeeds brings it back to that state.
struct SignalCase {
    const char* name;
    HANDLE (*make)(const char* name);
    BOOL (*signal)(HANDLE object);
    const char* peerWait;  // the peer command that waits for it
};

HANDLE MakeAutoEvent(const char* name) { return CreateEventA(nullptr, FALSE, FALSE, name); }

HANDLE MakeOwnedMutex(const char* name) { return CreateMutexA(nullptr, TRUE, name); }

BOOL SignalEvent(HANDLE e) { return SetEvent(e); }

BOOL SignalMutex(HANDLE m) { return ReleaseMutex(m); }

const SignalCase kSignalCases[] = {
    {"AutoResetEvent", MakeAutoEvent, SignalEvent, "wait-event"},
    {"Mutex", MakeOwnedMutex, SignalMutex, "wait-mutex"},
};

std::string CaseName(const ::testing::TestParamInfo<SignalCase>& info) { return info.param.name; }

class LeavingWaiter : public WakeTest, public ::testing::WithParamInterface<SignalCase> {};

// The signal after the leaving waiter wakes once for it; the signal after that has no one
// to wake.
void ExpectOneNeedlessWakeOnly(const SignalCase& c, HANDLE object)
{
    const std::uint64_t before = winport::FutexWakeCalls();
    ASSERT_TRUE(c.signal(object));
    EXPECT_EQ(before + 1, winport::FutexWakeCalls());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(object, 0));  // the leaver took nothing
    ASSERT_TRUE(c.signal(object));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(object, 0));
    EXPECT_EQ(before + 1, winport::FutexWakeCalls());
}

TEST_P(LeavingWaiter, ThatTimedOutCostsOneWakeAtMost)
{
    HANDLE object = GetParam().make(nullptr);
    ASSERT_NE(nullptr, object);
    DWORD waited = 0;
    std::thread waiter([&] { waited = WaitForSingleObject(object, 100); });
    waiter.join();
    ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), waited);
    ExpectOneNeedlessWakeOnly(GetParam(), object);
    if (GetParam().signal == SignalMutex) ReleaseMutex(object);
    CloseHandle(object);
}

TEST_P(LeavingWaiter, KilledInAnotherProcessBreaksNothing)
{
    const std::string name = UniqueName("killed");
    HANDLE object = GetParam().make(name.c_str());
    ASSERT_NE(nullptr, object);
    {
        PeerProcess victim({GetParam().peerWait, name, "60000"});
        ASSERT_TRUE(victim.WaitFor("waiting"));
        ASSERT_TRUE(victim.WaitUntilAsleep());
        victim.Kill();
        EXPECT_EQ(128 + SIGKILL, victim.Wait());
    }
    ExpectOneNeedlessWakeOnly(GetParam(), object);

    // A new waiter in another process is woken as usual.
    PeerProcess waiter({GetParam().peerWait, name, std::to_string(kLostWakeMs)});
    ASSERT_TRUE(waiter.WaitFor("waiting"));
    ASSERT_TRUE(waiter.WaitUntilAsleep());
    ASSERT_TRUE(GetParam().signal(object));
    EXPECT_EQ(Result(WAIT_OBJECT_0), waiter.ReadLine());
    EXPECT_EQ(0, waiter.Wait());
    CloseHandle(object);
}

INSTANTIATE_TEST_SUITE_P(Objects, LeavingWaiter, ::testing::ValuesIn(kSignalCases), CaseName);

// --- many rounds, where a lost wake-up shows as a timeout ---------------------------------

struct PingPongCase {
    const char* name;
    bool named;
    bool withDecoy;        // wait-any over an event that is never set and the real one
    std::int64_t watchNs;  // the watch before a sleep on several objects; -1 the default
};

class ThreadPingPong : public WakeTest, public ::testing::WithParamInterface<PingPongCase> {};

TEST_P(ThreadPingPong, LosesNoRound)
{
    constexpr int kRounds = 5000;
    const PingPongCase& c = GetParam();
    const std::int64_t oldWatch = winport::SetWatchNanoseconds(c.watchNs);
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, c.named ? UniqueName("ping").c_str() : nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, c.named ? UniqueName("pong").c_str() : nullptr);
    HANDLE decoy = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(ping && pong && decoy);
    auto waitFor = [&](HANDLE e) {
        if (!c.withDecoy) return WaitForSingleObject(e, kLostWakeMs) == WAIT_OBJECT_0;
        HANDLE both[2] = {decoy, e};
        return WaitForMultipleObjects(2, both, FALSE, kLostWakeMs) == WAIT_OBJECT_0 + 1;
    };
    std::atomic<int> partnerLost{-1};
    std::thread partner([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (!waitFor(ping)) {
                partnerLost = i;
                return;
            }
            SetEvent(pong);
        }
    });
    int lost = -1;
    for (int i = 0; i < kRounds && lost < 0 && partnerLost < 0; ++i) {
        SetEvent(ping);
        if (!waitFor(pong)) lost = i;
    }
    partner.join();
    EXPECT_EQ(-1, lost);
    EXPECT_EQ(-1, partnerLost.load());
    winport::SetWatchNanoseconds(oldWatch);
    for (HANDLE h : {ping, pong, decoy}) CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Events, ThreadPingPong,
                         ::testing::Values(PingPongCase{"Unnamed", false, false, -1},
                                           PingPongCase{"Named", true, false, -1},
                                           PingPongCase{"WaitAny", false, true, -1},
                                           // Every sleep, or nearly every wake-up caught by the watch.
                                           PingPongCase{"WaitAnyNoWatch", false, true, 0},
                                           PingPongCase{"WaitAnyLongWatch", true, true, 1000 * 1000}),
                         [](const ::testing::TestParamInfo<PingPongCase>& info) { return std::string(info.param.name); });

TEST_F(WakeTest, AWatchLongerThanTheTimeoutEndsWithIt)
{
    const std::int64_t oldWatch = winport::SetWatchNanoseconds(std::int64_t{5} * 1000 * 1000 * 1000);
    HANDLE never[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    ASSERT_TRUE(never[0] && never[1]);
    const DWORD start = GetTickCount();
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForMultipleObjects(2, never, FALSE, 50));
    EXPECT_LT(GetTickCount() - start, 2000u);
    winport::SetWatchNanoseconds(oldWatch);
    for (HANDLE h : never) CloseHandle(h);
}

class ContendedMutex : public WakeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ContendedMutex, NeverStrandsAWaiter)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    const bool withDecoy = GetParam();
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE decoy = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int counter = 0;  // only exclusion keeps it exact
    std::atomic<int> timeouts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            HANDLE both[2] = {decoy, m};
            for (int i = 0; i < kEach; ++i) {
                const DWORD r = withDecoy ? WaitForMultipleObjects(2, both, FALSE, kLostWakeMs)
                                          : WaitForSingleObject(m, kLostWakeMs);
                if (r != (withDecoy ? WAIT_OBJECT_0 + 1 : WAIT_OBJECT_0)) {
                    ++timeouts;
                    return;
                }
                const int v = counter;
                if (i % 16 == 0) Sleep(0);  // let others queue up behind the owner
                counter = v + 1;
                ReleaseMutex(m);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, timeouts.load());
    EXPECT_EQ(kThreads * kEach, counter);
    CloseHandle(decoy);
    CloseHandle(m);
}

INSTANTIATE_TEST_SUITE_P(Waits, ContendedMutex, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "WaitAny" : "Single");
});

// Several threads asleep behind the owner: each release must reach one that can take the
// mutex, also when the first one woken takes it and the rest slept on the old owner.
TEST_P(ContendedMutex, SleepersQueuedBehindTheOwnerAllGetIt)
{
    constexpr int kSleepers = 3;
    const bool withDecoy = GetParam();
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    HANDLE decoy = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> taken{0};
    std::atomic<int> failed{0};
    std::atomic<DWORD> ids[kSleepers]{};
    std::vector<std::thread> threads;
    for (int t = 0; t < kSleepers; ++t) {
        threads.emplace_back([&, t] {
            ids[t] = GetCurrentThreadId();
            HANDLE both[2] = {decoy, m};
            const DWORD r =
                withDecoy ? WaitForMultipleObjects(2, both, FALSE, kLostWakeMs) : WaitForSingleObject(m, kLostWakeMs);
            if (r != (withDecoy ? WAIT_OBJECT_0 + 1 : WAIT_OBJECT_0)) {
                ++failed;
                return;
            }
            ++taken;
            Sleep(20);  // the others go back to sleep behind this owner
            ReleaseMutex(m);
        });
    }
    for (int t = 0; t < kSleepers; ++t) {
        while (ids[t] == 0) Sleep(1);
        EXPECT_TRUE(lktest::ThreadAsleepSoon(getpid(), static_cast<pid_t>(ids[t])));
    }
    ReleaseMutex(m);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(kSleepers, taken.load());
    EXPECT_EQ(0, failed.load());
    CloseHandle(decoy);
    CloseHandle(m);
}

// Two layer threads hand a message back and forth through their queues. GetMessageA has no
// timeout, so this thread watches the rounds advance and, if they stop, ends both threads
// with TerminateThread (which wakes them through their termination words).
struct MessagePingPong {
    static constexpr int kRounds = 5000;
    static constexpr UINT kTurn = WM_APP + 1;
    std::atomic<DWORD> echoId{0};
    std::atomic<DWORD> starterId{0};
    std::atomic<int> progress{0};
    std::atomic<int> wrong{-1};
};

DWORD WINAPI EchoMessages(LPVOID parameter)
{
    MessagePingPong* p = static_cast<MessagePingPong*>(parameter);
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before the id is known
    p->echoId = GetCurrentThreadId();
    while (GetMessageA(&m, nullptr, 0, 0) > 0) PostThreadMessageA(p->starterId, MessagePingPong::kTurn, m.wParam, 0);
    return 0;
}

DWORD WINAPI StartMessages(LPVOID parameter)
{
    MessagePingPong* p = static_cast<MessagePingPong*>(parameter);
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    p->starterId = GetCurrentThreadId();
    while (p->echoId.load() == 0) Sleep(1);
    for (int i = 0; i < MessagePingPong::kRounds; ++i) {
        PostThreadMessageA(p->echoId, MessagePingPong::kTurn, i, 0);
        if (GetMessageA(&m, nullptr, 0, 0) <= 0 || m.message != MessagePingPong::kTurn ||
            m.wParam != static_cast<WPARAM>(i)) {
            p->wrong = i;
            break;
        }
        p->progress = i + 1;
    }
    PostThreadMessageA(p->echoId, WM_QUIT, 0, 0);
    return 0;
}

TEST_F(WakeTest, MessagePingPongBetweenThreadsLosesNoRound)
{
    MessagePingPong p;
    HANDLE threads[2] = {CreateThread(nullptr, 0, EchoMessages, &p, 0, nullptr),
                         CreateThread(nullptr, 0, StartMessages, &p, 0, nullptr)};
    ASSERT_TRUE(threads[0] && threads[1]);
    bool stalled = false;
    int last = -1;
    DWORD lastChange = GetTickCount();
    while (WaitForSingleObject(threads[1], 20) == static_cast<DWORD>(WAIT_TIMEOUT)) {
        const int now = p.progress;
        if (now != last) {
            last = now;
            lastChange = GetTickCount();
        } else if (GetTickCount() - lastChange > kLostWakeMs) {
            stalled = true;
            for (HANDLE t : threads) TerminateThread(t, 1);
            break;
        }
    }
    for (HANDLE t : threads) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, kLostWakeMs));
        CloseHandle(t);
    }
    EXPECT_FALSE(stalled) << "stalled after " << last << " rounds";
    EXPECT_EQ(-1, p.wrong.load());
}

TEST_F(WakeTest, EventPingPongBetweenProcessesLosesNoRound)
{
    constexpr int kRounds = 3000;
    const std::string pingName = UniqueName("ping");
    const std::string pongName = UniqueName("pong");
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, pingName.c_str());
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, pongName.c_str());
    ASSERT_TRUE(ping && pong);
    PeerProcess peer({"ping-pong", pingName, pongName, std::to_string(kRounds)});
    ASSERT_TRUE(peer.WaitFor("ready"));
    int lost = -1;
    for (int i = 0; i < kRounds && lost < 0; ++i) {
        SetEvent(ping);
        if (WaitForSingleObject(pong, kLostWakeMs) != WAIT_OBJECT_0) lost = i;
    }
    EXPECT_EQ(-1, lost);
    EXPECT_EQ("done", peer.ReadLine(kLostWakeMs));
    EXPECT_EQ(0, peer.Wait());
    CloseHandle(ping);
    CloseHandle(pong);
}

// --- a wait too wide for one futex_waitv call ---------------------------------------------

struct WideWait {
    std::vector<HANDLE> handles;
    DWORD result = 0;
};

DWORD WINAPI WaitOnAll(LPVOID parameter)
{
    WideWait* w = static_cast<WideWait*>(parameter);
    w->result = WaitForMultipleObjects(static_cast<DWORD>(w->handles.size()), w->handles.data(), FALSE, 30000);
    return 0;
}

// 64 mutexes and a layer thread's termination word leave no room to watch the last lock
// word for its owner's death; the wait must still notice it.
TEST_F(WakeTest, LayerThreadOnSixtyFourMutexesSeesTheLastOwnerDie)
{
    const std::string name = UniqueName("wide");
    PeerProcess holder({"mutex-hold", name});
    ASSERT_EQ(Result(WAIT_OBJECT_0), holder.ReadLine());
    ASSERT_TRUE(holder.WaitFor("ready"));
    WideWait wide;
    for (int i = 0; i + 1 < MAXIMUM_WAIT_OBJECTS; ++i) wide.handles.push_back(CreateMutexA(nullptr, TRUE, nullptr));
    wide.handles.push_back(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    for (HANDLE h : wide.handles) ASSERT_NE(nullptr, h);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnAll, &wide, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    Sleep(300);  // most likely asleep by now; if not, it finds the mutex abandoned at once
    holder.Kill();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, kLostWakeMs));
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED_0 + MAXIMUM_WAIT_OBJECTS - 1), wide.result);
    CloseHandle(thread);
    for (int i = 0; i + 1 < MAXIMUM_WAIT_OBJECTS; ++i) EXPECT_TRUE(ReleaseMutex(wide.handles[i]));
    for (HANDLE h : wide.handles) CloseHandle(h);
}

// --- layout versions ----------------------------------------------------------------------

struct VersionCase {
    const char* name;
    HANDLE (*create)(const char* name);
    HANDLE (*open)(const char* name);
};

class StoredVersion : public WakeTest, public ::testing::WithParamInterface<VersionCase> {};

// An object made by a build with another data layout is refused, not misread.
TEST_P(StoredVersion, OtherThanOursIsRefused)
{
    const std::string name = UniqueName("version");
    HANDLE object = GetParam().create(name.c_str());
    ASSERT_NE(nullptr, object);
    const std::string path = winport::NamedObjectDirectory() + "/" + winport::NamedObjectFileName(name);
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    constexpr off_t kVersionOffset = 4;  // after the magic
    std::uint16_t ours = 0;
    ASSERT_EQ(2, pread(fd, &ours, 2, kVersionOffset));
    for (std::uint16_t other : {static_cast<std::uint16_t>(ours - 1), static_cast<std::uint16_t>(ours + 1)}) {
        ASSERT_EQ(2, pwrite(fd, &other, 2, kVersionOffset));
        SetLastError(0);
        EXPECT_EQ(nullptr, GetParam().open(name.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(nullptr, GetParam().create(name.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    ASSERT_EQ(2, pwrite(fd, &ours, 2, kVersionOffset));
    close(fd);
    HANDLE again = GetParam().open(name.c_str());
    EXPECT_NE(nullptr, again);
    if (again) CloseHandle(again);
    CloseHandle(object);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StoredVersion,
    ::testing::Values(VersionCase{"Event", [](const char* n) { return CreateEventA(nullptr, FALSE, FALSE, n); },
                                  [](const char* n) { return OpenEventA(SYNCHRONIZE, FALSE, n); }},
                      VersionCase{"Mutex", [](const char* n) { return CreateMutexA(nullptr, FALSE, n); },
                                  [](const char* n) { return OpenMutexA(SYNCHRONIZE, FALSE, n); }}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

}  // namespace
