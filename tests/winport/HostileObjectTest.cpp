// Named objects whose files another process of the user writes into (the winport_peer
// helper pokes the bytes): whatever it writes, this process does not crash, its waits end
// within their bounds, an owner id that nobody holds makes a mutex abandoned, and the files
// hold no address of this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"
#include "winport/posix/kernel/lock_watch.h"
#include "winport/posix/kernel/shared_object.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

constexpr DWORD kSlackMs = 1500;  // a wait may end this much after its bound on a busy machine

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string Bytes(std::uint64_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += static_cast<char>(random() & 0xFF);
    return out;
}

// Writes `bytes` into the named object's data (where = "data") or over its header ("file"),
// and wakes the sleepers of its first word, as a process that wants to be noticed would.
void Poke(const std::string& name, const char* where, const std::string& bytes)
{
    PeerProcess poker({"poke", name, where, Hex(bytes)});
    ASSERT_TRUE(poker.WaitFor("done"));
    EXPECT_EQ(0, poker.Wait());
}

// The shared word a peer's handle writes when it owns the mutex; the peer keeps its handle
// (and so its id) until its input ends.
std::uint32_t WordOfPeer(PeerProcess& peer)
{
    const std::string line = peer.ReadLine();
    EXPECT_EQ(0u, line.rfind("word ", 0)) << line;
    EXPECT_TRUE(peer.WaitFor("ready"));
    return line.size() > 5 ? static_cast<std::uint32_t>(std::stoul(line.substr(5))) : 0;
}

struct TimedWait {
    DWORD result = 0;
    DWORD elapsed = 0;
    double cpuMs = 0;
};

// WaitForSingleObject on another thread of this process, started before the poke; a mutex
// it gets is released again.
class Waiter {
public:
    Waiter(HANDLE h, DWORD bound, bool mutex = true)
        : thread_([this, h, bound, mutex] {
              const DWORD start = GetTickCount();
              const double cpu = lktest::ThreadCpuMs();
              got_.result = WaitForSingleObject(h, bound);
              got_.elapsed = GetTickCount() - start;
              got_.cpuMs = lktest::ThreadCpuMs() - cpu;
              if (mutex && (got_.result == WAIT_OBJECT_0 || got_.result == WAIT_ABANDONED)) ReleaseMutex(h);
          })
    {
        Sleep(100);  // asleep by now, most likely; a later start finds the same state
    }
    TimedWait Join()
    {
        thread_.join();
        return got_;
    }

private:
    TimedWait got_;
    std::thread thread_;
};

class HostileObjectTest : public lktest::LiveObjectsTest {};

// --- mutexes --------------------------------------------------------------------------------

struct Ids {
    std::uint32_t dead;    // the word of a peer that owned the mutex and was killed
    std::uint32_t living;  // the word of a peer that is alive and does not own it
};

struct MutexPoke {
    const char* name;
    std::function<std::string(const Ids&)> bytes;
    DWORD expected;  // what the wait that runs while the word is written returns
};

constexpr DWORD kMutexBound = 5000;

class HostileMutexWord : public lktest::LiveObjectsTest, public ::testing::WithParamInterface<MutexPoke> {};

// A peer owns the mutex and a thread of this process waits for it when another process
// writes the word; the thread's wait ends within its bound with what the written word means,
// and afterwards the mutex works as a mutex for this process.
TEST_P(HostileMutexWord, LeavesAStateTheWaitersHandle)
{
    const std::string name = UniqueName("hostile");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    Ids ids{};
    {
        PeerProcess owned({"mutex-word", name, "release"});
        ids.dead = WordOfPeer(owned);
        owned.Kill();
        owned.Wait();
    }
    PeerProcess living({"mutex-word", name, "release"});
    ids.living = WordOfPeer(living);
    PeerProcess holder({"mutex-hold", name});
    ASSERT_TRUE(holder.WaitFor("ready"));

    const DWORD bound = GetParam().expected == WAIT_TIMEOUT ? 300 : kMutexBound;
    Waiter waiter(m, bound);
    Poke(name, "data", GetParam().bytes(ids));
    const TimedWait got = waiter.Join();
    EXPECT_EQ(GetParam().expected, got.result);
    // Woken by the write, it decides at once; only a wait that finds the mutex owned runs
    // to its bound.
    EXPECT_LT(got.elapsed, GetParam().expected == WAIT_TIMEOUT ? bound + kSlackMs : kSlackMs);

    // The holder ends owning it (or believing it does); the living id goes with its peer.
    holder.CloseInput();
    EXPECT_EQ(0, holder.Wait());
    living.CloseInput();
    EXPECT_EQ(0, living.Wait());
    const DWORD again = WaitForSingleObject(m, 5000);
    EXPECT_TRUE(again == WAIT_OBJECT_0 || again == WAIT_ABANDONED) << again;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));  // recursion as before
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    CloseHandle(m);
}

int g_anything;

INSTANTIATE_TEST_SUITE_P(
    Writes, HostileMutexWord,
    ::testing::Values(
        MutexPoke{"Free", [](const Ids&) { return Bytes(0); }, WAIT_OBJECT_0},
        MutexPoke{"FreeAndAbandoned", [](const Ids&) { return Bytes(2); }, WAIT_ABANDONED},
        MutexPoke{"RandomBytes", [](const Ids&) { return RandomBytes(64, 19); }, WAIT_ABANDONED},
        MutexPoke{"AnAddressOfThisProcess", [](const Ids&) { return Bytes(reinterpret_cast<std::uintptr_t>(&g_anything)); },
                  WAIT_ABANDONED},
        MutexPoke{"AllOnes", [](const Ids&) { return Bytes(~std::uint64_t(0)); }, WAIT_ABANDONED},
        MutexPoke{"OwnerThatWasKilled", [](const Ids& ids) { return Bytes(ids.dead); }, WAIT_ABANDONED},
        MutexPoke{"OwnerThatLives", [](const Ids& ids) { return Bytes(ids.living); }, WAIT_TIMEOUT}),
    [](const ::testing::TestParamInfo<MutexPoke>& info) { return std::string(info.param.name); });

// An owner id whose process lives holds the mutex as long as that process's handle does:
// the sleeping waiter hears of its end through the lock watch, without polling, and the
// watch ends with it.
TEST_F(HostileObjectTest, WrittenOwnerIsAbandonedWhenItsProcessEnds)
{
    const std::string name = UniqueName("living");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    PeerProcess living({"mutex-word", name, "release"});
    const std::uint32_t word = WordOfPeer(living);
    Poke(name, "data", Bytes(word));
    ASSERT_EQ(0u, winport::LiveLockWatchCount());  // each test runs in a process of its own
    Waiter waiter(m, 10000);
    EXPECT_EQ(1u, winport::LiveLockWatchCount());
    Sleep(400);
    living.CloseInput();
    EXPECT_EQ(0, living.Wait());
    const TimedWait got = waiter.Join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), got.result);
    EXPECT_LT(got.elapsed, 500 + kSlackMs);
    // Polling every few milliseconds for half a second would cost more.
    EXPECT_LT(got.cpuMs, 20.0);
    for (int i = 0; i < 100 && winport::LiveLockWatchCount() > 0; ++i) Sleep(10);
    EXPECT_EQ(0u, winport::LiveLockWatchCount());
    CloseHandle(m);
}

// A mutex this thread owns, written free by another process: a peer then takes it (that is
// what the word says), this thread's releases still balance its own count, and the peer's
// end leaves the mutex abandoned for this process.
TEST_F(HostileObjectTest, OwnedMutexWrittenFreeGoesToTheNextTaker)
{
    const std::string name = UniqueName("stolen");
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, m);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
    Poke(name, "data", Bytes(0));
    PeerProcess taker({"mutex-word", name, "hold"});
    WordOfPeer(taker);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(m, 100));
    taker.CloseInput();
    EXPECT_EQ(0, taker.Wait());
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(m, 5000));
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
}

// A header written over with random bytes: the handles already open go on working, and
// new opens are refused as an object of another kind would be.
TEST_F(HostileObjectTest, WrittenHeaderRefusesNewOpensOnly)
{
    for (const bool isMutex : {true, false}) {
        const std::string name = UniqueName("header");
        HANDLE h = isMutex ? CreateMutexA(nullptr, FALSE, name.c_str()) : CreateEventA(nullptr, FALSE, FALSE, name.c_str());
        ASSERT_NE(nullptr, h);
        Poke(name, "file", RandomBytes(64, 7));
        SetLastError(0);
        EXPECT_EQ(nullptr, isMutex ? OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())
                                   : OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        if (isMutex) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
            EXPECT_TRUE(ReleaseMutex(h));
        } else {
            EXPECT_TRUE(SetEvent(h));
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
        }
        CloseHandle(h);
    }
}

// A peer's thread that ends owning the mutex leaves it abandoned for this process, as a
// peer that is killed does.
TEST_F(HostileObjectTest, PeerThreadThatEndsOwningLeavesItAbandoned)
{
    const std::string name = UniqueName("threadend");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    PeerProcess peer({"thread-hold", name});
    ASSERT_TRUE(peer.WaitFor("ready"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(m, 0));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
    EXPECT_TRUE(ReleaseMutex(m));
    peer.CloseInput();
    EXPECT_EQ(0, peer.Wait());
    CloseHandle(m);
}

// The accessible mappings of this process above 4 GiB, where its heap, stacks and libraries
// lie (a sanitizer's shadow below is left out: an id may fall in it).
std::vector<std::pair<std::uint64_t, std::uint64_t>> OwnMappings()
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream in(line);
        std::uint64_t from = 0, to = 0;
        char dash = 0;
        std::string perms;
        in >> std::hex >> from >> dash >> to >> perms;
        if (to > (std::uint64_t(1) << 32) && perms.compare(0, 3, "---") != 0) out.emplace_back(from, to);
    }
    return out;
}

// Owned by a thread of this process with a peer waiting, a mutex's data holds no value that
// is an address in this process (a robust pthread mutex keeps its list links there).
TEST_F(HostileObjectTest, MutexFileHoldsNoAddressOfThisProcess)
{
    const std::string name = UniqueName("noaddress");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, m);
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        WaitForSingleObject(m, INFINITE);
        SetEvent(taken);
        WaitForSingleObject(done, 10000);
        ReleaseMutex(m);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(taken, 10000));
    PeerProcess waiter({"wait-mutex", name, "10000"});
    ASSERT_TRUE(waiter.WaitFor("waiting"));
    Sleep(100);

    const std::string path = winport::NamedObjectDirectory() + "/" + winport::NamedObjectFileName(name);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::uint32_t dataOffset = 0;
    ASSERT_EQ(4, pread(fd, &dataOffset, 4, 8));
    std::string file(4096, '\0');
    const ssize_t n = pread(fd, &file[0], file.size(), dataOffset);
    close(fd);
    ASSERT_GT(n, 0);
    const auto mappings = OwnMappings();
    for (ssize_t at = 0; at + 8 <= n; at += 4) {
        std::uint64_t value;
        std::memcpy(&value, file.data() + at, sizeof value);
        for (const auto& range : mappings)
            EXPECT_FALSE(value >= range.first && value < range.second) << "offset " << at << ": " << std::hex << value;
    }
    SetEvent(done);
    owner.join();
    EXPECT_EQ("result 0", waiter.ReadLine());
    EXPECT_EQ(0, waiter.Wait());
    CloseHandle(taken);
    CloseHandle(done);
    CloseHandle(m);
}

// --- events -----------------------------------------------------------------------------------

struct EventPoke {
    const char* name;
    BOOL manual;
    std::string bytes;  // over the state word and the kind
};

class HostileEventWord : public lktest::LiveObjectsTest, public ::testing::WithParamInterface<EventPoke> {};

// A waiter of this process ends within its bound (signalled if the written word says set),
// and the event keeps the kind it was made with.
TEST_P(HostileEventWord, KeepsItsKindAndItsWaitsBounded)
{
    const std::string name = UniqueName("hostile-event");
    HANDLE e = CreateEventA(nullptr, GetParam().manual, FALSE, name.c_str());
    ASSERT_NE(nullptr, e);
    std::uint32_t state = 0;
    std::memcpy(&state, GetParam().bytes.data(), sizeof state);
    constexpr DWORD kBound = 1000;
    Waiter waiter(e, kBound, false);
    Poke(name, "data", GetParam().bytes);
    const TimedWait got = waiter.Join();
    // Bit 1 is the state; a manual-reset event also releases its waiters when the count of
    // sets above it has moved (from 0: it was made clear).
    const bool released = (state & 2) || (GetParam().manual && (state >> 2) != 0);
    EXPECT_EQ(released ? WAIT_OBJECT_0 : WAIT_TIMEOUT, got.result);
    EXPECT_LT(got.elapsed, kBound + kSlackMs);

    ASSERT_TRUE(ResetEvent(e));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
    EXPECT_EQ(GetParam().manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(e, 0));
    CloseHandle(e);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, HostileEventWord,
    ::testing::Values(EventPoke{"AutoMadeManualAndSet", FALSE, Bytes(0x0000000100000002ull)},
                      EventPoke{"ManualMadeAutoAndSet", TRUE, Bytes(0x0000000000000006ull)},
                      EventPoke{"AutoAllOnes", FALSE, Bytes(~std::uint64_t(0))},
                      EventPoke{"ManualClearSleepers", TRUE, Bytes(0x0000000000000001ull)},
                      EventPoke{"AutoRandomBytes", FALSE, RandomBytes(64, 3)},
                      EventPoke{"ManualRandomBytes", TRUE, RandomBytes(64, 4)}),
    [](const ::testing::TestParamInfo<EventPoke>& info) { return std::string(info.param.name); });

}  // namespace
