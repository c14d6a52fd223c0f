// Named objects shared with another real process (the winport_peer helper).
#include <gtest/gtest.h>
#include <windows.h>

#include <sys/stat.h>

#include <cstring>
#include <thread>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"
#include "winport/posix/kernel/shared_object.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

std::string Result(DWORD value) { return "result " + std::to_string(value); }

bool ObjectFileExists(const std::string& name)
{
    struct stat st;
    const std::string path = winport::NamedObjectDirectory() + "/" + winport::NamedObjectFileName(name);
    return stat(path.c_str(), &st) == 0;
}

class CrossProcessTest : public lktest::LiveObjectsTest {};

TEST_F(CrossProcessTest, EventSetInOneProcessReleasesWaiterInAnother)
{
    const std::string name = UniqueName("evt");
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    PeerProcess peer({"wait-event", name, "10000"});
    ASSERT_TRUE(peer.WaitFor("waiting"));
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(Result(WAIT_OBJECT_0), peer.ReadLine());
    EXPECT_EQ(0, peer.Wait());
    // The one waiter consumed the auto-reset event.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 0));
    CloseHandle(e);
}

TEST_F(CrossProcessTest, WaitingPeerUsesNoCpuAndTimesOut)
{
    const std::string name = UniqueName("idle");
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    PeerProcess peer({"wait-event", name, "600"});
    ASSERT_TRUE(peer.WaitFor("waiting"));
    EXPECT_EQ(Result(WAIT_TIMEOUT), peer.ReadLine());
    double cpuMs = 0;
    EXPECT_EQ(0, peer.Wait(&cpuMs));
    // Start-up costs some milliseconds; a spinning 600 ms wait would cost about 600.
    EXPECT_LT(cpuMs, 200.0);
    CloseHandle(e);
}

struct ResetCase {
    BOOL manual;
    int expectedReleased;
};

class EventResetAcrossProcesses : public CrossProcessTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(EventResetAcrossProcesses, OneSetReleasesOneOrAllWaiters)
{
    const std::string name = UniqueName("reset");
    HANDLE e = CreateEventA(nullptr, GetParam().manual, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    PeerProcess a({"wait-event", name, "1500"});
    PeerProcess b({"wait-event", name, "1500"});
    ASSERT_TRUE(a.WaitFor("waiting"));
    ASSERT_TRUE(b.WaitFor("waiting"));
    SetEvent(e);
    const int released = (a.ReadLine() == Result(WAIT_OBJECT_0)) + (b.ReadLine() == Result(WAIT_OBJECT_0));
    EXPECT_EQ(GetParam().expectedReleased, released);
    CloseHandle(e);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventResetAcrossProcesses, ::testing::Values(ResetCase{FALSE, 1}, ResetCase{TRUE, 2}));

TEST_F(CrossProcessTest, CreateOrOpenSeesThePeersObjectAndItsKind)
{
    const std::string name = UniqueName("kind");
    PeerProcess peer({"event", name, "1", "1"});
    ASSERT_EQ(Result(ERROR_SUCCESS), peer.ReadLine());
    ASSERT_TRUE(peer.WaitFor("ready"));

    // The existing object is returned; the new (auto-reset, clear) parameters are ignored.
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));  // still set: manual-reset

    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(e);
}

TEST_F(CrossProcessTest, PeerOpensOnlyTheRightKind)
{
    const std::string name = UniqueName("mx");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    PeerProcess peer({"open-kinds", name});
    EXPECT_EQ("event 6 mutex 0 mapping 6", peer.ReadLine());
    PeerProcess missing({"open-kinds", name + "-missing"});
    EXPECT_EQ("event 2 mutex 2 mapping 2", missing.ReadLine());
    CloseHandle(m);
}

TEST_F(CrossProcessTest, ObjectLivesWhileAnyProcessHoldsIt)
{
    const std::string name = UniqueName("life");
    PeerProcess peer({"event", name, "1", "0"});
    ASSERT_TRUE(peer.WaitFor("ready"));
    HANDLE e = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    peer.CloseInput();  // the creator closes its handle and exits
    EXPECT_EQ(0, peer.Wait());
    ASSERT_TRUE(SetEvent(e));
    HANDLE again = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(again, 0));
    CloseHandle(again);
    CloseHandle(e);
    // The last handle is gone: so is the name.
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(ObjectFileExists(name));
}

TEST_F(CrossProcessTest, KilledHolderLeavesNameFreeForAFreshObject)
{
    const std::string name = UniqueName("killed");
    PeerProcess peer({"event", name, "1", "1"});
    ASSERT_TRUE(peer.WaitFor("ready"));
    peer.Kill();
    EXPECT_EQ(128 + SIGKILL, peer.Wait());
    // Its file may be left behind, but it is held by nobody.
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));  // new state, not the old
    CloseHandle(e);
}

TEST_F(CrossProcessTest, OpenOfANameLeftByAKilledProcessFindsNothing)
{
    const std::string name = UniqueName("stale");
    PeerProcess peer({"event", name, "0", "0"});
    ASSERT_TRUE(peer.WaitFor("ready"));
    peer.Kill();
    peer.Wait();
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(ObjectFileExists(name));
}

TEST_F(CrossProcessTest, FilesNobodyHoldsAreSweptByTheNextProcess)
{
    const std::string killed = UniqueName("swept-killed");
    const std::string exited = UniqueName("swept-exited");
    PeerProcess a({"event", killed, "0", "0"});
    PeerProcess b({"mutex-hold", exited});  // exits without closing its handle
    ASSERT_TRUE(a.WaitFor("ready"));
    ASSERT_TRUE(b.WaitFor("ready"));
    HANDLE held = CreateEventA(nullptr, FALSE, FALSE, UniqueName("swept-held").c_str());
    a.Kill();
    b.CloseInput();
    a.Wait();
    b.Wait();
    // A new process's first use of the namespace removes them (another test process running
    // at the same time may have done so already); live objects stay.
    PeerProcess next({"open-kinds", UniqueName("anything")});
    EXPECT_EQ("event 2 mutex 2 mapping 2", next.ReadLine());
    EXPECT_FALSE(ObjectFileExists(killed));
    EXPECT_FALSE(ObjectFileExists(exited));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(held, 0));
    SetEvent(held);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 0));
    CloseHandle(held);
}

TEST_F(CrossProcessTest, MutexOfAKilledOwnerComesBackAbandoned)
{
    const std::string name = UniqueName("abandon");
    PeerProcess peer({"mutex-hold", name});
    ASSERT_EQ(Result(WAIT_OBJECT_0), peer.ReadLine());
    ASSERT_TRUE(peer.WaitFor("ready"));
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(m, 50));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());

    // The owner dies while this thread is blocked in the wait.
    std::thread killer([&] {
        Sleep(100);
        peer.Kill();
    });
    const DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(m, 5000));
    EXPECT_LT(GetTickCount() - start, 4000u);
    killer.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(m, 0));  // recursive
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    CloseHandle(m);
}

TEST_F(CrossProcessTest, MutexOfAnOwnerThatExitedIsAbandonedForAPeerWaiter)
{
    const std::string name = UniqueName("exit");
    PeerProcess holder({"mutex-hold", name});
    ASSERT_TRUE(holder.WaitFor("ready"));
    PeerProcess waiter({"wait-mutex", name, "10000"});
    ASSERT_TRUE(waiter.WaitFor("waiting"));
    holder.CloseInput();  // exits normally without releasing
    EXPECT_EQ(0, holder.Wait());
    EXPECT_EQ(Result(WAIT_ABANDONED), waiter.ReadLine());
}

TEST_F(CrossProcessTest, MutexExcludesAcrossProcesses)
{
    const std::string mapName = UniqueName("counter");
    const std::string mutexName = UniqueName("lock");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, mapName.c_str());
    HANDLE m = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    ASSERT_TRUE(map && m);
    volatile int* counter = static_cast<volatile int*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(nullptr, counter);
    constexpr int kEach = 3000;
    PeerProcess a({"locked-add", mapName, mutexName, std::to_string(kEach)});
    PeerProcess b({"locked-add", mapName, mutexName, std::to_string(kEach)});
    for (int i = 0; i < kEach; ++i) {
        // A turn never takes this long: a lost wake-up fails here instead of hanging.
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 10000));
        const int v = *counter;
        *counter = v + 1;
        ReleaseMutex(m);
    }
    EXPECT_TRUE(a.WaitFor("done", 60000));
    EXPECT_TRUE(b.WaitFor("done", 60000));
    EXPECT_EQ(3 * kEach, *counter);
    UnmapViewOfFile(const_cast<int*>(counter));
    CloseHandle(m);
    CloseHandle(map);
}

TEST_F(CrossProcessTest, InterlockedIncrementOnAnOddOffsetIsAtomicAcrossProcesses)
{
    const std::string name = UniqueName("interlocked");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, 8244, name.c_str());
    ASSERT_NE(nullptr, map);
    char* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 8244));
    ASSERT_NE(nullptr, view);
    std::memset(view, 0x5A, 16);
    LONG volatile* count = reinterpret_cast<LONG volatile*>(view + 2);  // as in a packed record
    InterlockedExchange(count, 0);
    constexpr int kEach = 100000;
    PeerProcess peer({"increment", name, "2", std::to_string(kEach)});
    for (int i = 0; i < kEach; ++i) InterlockedIncrement(count);
    EXPECT_TRUE(peer.WaitFor("done", 60000));
    EXPECT_EQ(2 * kEach, InterlockedCompareExchange(count, 0, -1));
    // The neighbouring bytes are untouched.
    EXPECT_EQ(0x5A, view[1]);
    EXPECT_EQ(0x5A, view[6]);
    UnmapViewOfFile(view);
    CloseHandle(map);
}

TEST_F(CrossProcessTest, MappingContentIsShared)
{
    const std::string name = UniqueName("map");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 200000, name.c_str());
    ASSERT_NE(nullptr, map);
    const char* view = static_cast<const char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ('\0', view[0]);  // a new mapping is zeroed
    PeerProcess peer({"mapping-write", name, "written by the peer"});
    ASSERT_TRUE(peer.WaitFor("ready"));
    EXPECT_STREQ("written by the peer", view);
    UnmapViewOfFile(view);
    CloseHandle(map);
}

// A view in another process keeps the memory but not the name: the name goes when this
// process closes the last handle.
TEST_F(CrossProcessTest, PeersViewDoesNotKeepTheName)
{
    const std::string name = UniqueName("peerview");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, map);
    char* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    PeerProcess peer({"view-only", name});
    ASSERT_TRUE(peer.WaitFor("ready"));
    CloseHandle(map);
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(ObjectFileExists(name));
    PeerProcess other({"open-kinds", name});
    EXPECT_EQ("event 2 mutex 2 mapping 2", other.ReadLine());
    // The two views still share the memory.
    std::strcpy(view, "written after the name went");
    peer.CloseInput();
    EXPECT_EQ("view written after the name went", peer.ReadLine());
    EXPECT_EQ(0, peer.Wait());
    UnmapViewOfFile(view);
}

// The peer holds the last handle (and a view); this process only a view. When the peer is
// killed, the name goes with it; this view keeps the memory, and the name makes a new object.
TEST_F(CrossProcessTest, KilledLastHolderTakesTheNameNotTheViews)
{
    const std::string name = UniqueName("killedmap");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, map);
    const char* view = static_cast<const char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    PeerProcess peer({"mapping-write", name, "from the peer"});
    ASSERT_TRUE(peer.WaitFor("ready"));
    CloseHandle(map);
    HANDLE stillNamed = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());  // the peer's handle holds it
    EXPECT_NE(nullptr, stillNamed);
    if (stillNamed) CloseHandle(stillNamed);

    peer.Kill();
    EXPECT_EQ(128 + SIGKILL, peer.Wait());
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_STREQ("from the peer", view);
    HANDLE fresh = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    const char* freshView = static_cast<const char*>(MapViewOfFile(fresh, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, freshView);
    EXPECT_EQ('\0', freshView[0]);
    UnmapViewOfFile(freshView);
    CloseHandle(fresh);
    UnmapViewOfFile(view);
}

}  // namespace
