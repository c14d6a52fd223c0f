// Named objects whose files another process of the user writes into (the winport_peer helper
// pokes the bytes and wakes the word's sleepers): whatever it writes, this process does not
// crash, its waits end within their bounds with what the written word means, a mutex whose
// owner id nobody holds is abandoned, and the files hold no address of this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <memory>
#include <thread>
#include <vector>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"
#include "winport/posix/kernel/lock_watch.h"
#include "winport/posix/kernel/shared_object.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

constexpr DWORD kSlackMs = 1500;  // how late a wait may end on a busy machine
constexpr DWORD kBound = 5000;

std::string Bytes(std::uint64_t value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

std::string RandomBytes(unsigned seed)
{
    std::mt19937 random(seed);
    std::string out;
    for (int i = 0; i < 64; ++i) out += static_cast<char>(random());
    return out;
}

void Poke(const std::string& name, const std::string& bytes)
{
    std::string hex;
    for (unsigned char c : bytes) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    PeerProcess poker({"poke", name, hex});
    EXPECT_TRUE(poker.WaitFor("done"));
    EXPECT_EQ(0, poker.Wait());
}

// The word a peer's handle writes as the mutex's owner; the peer keeps its handle (its id).
std::string WordOf(PeerProcess& peer)
{
    const std::string line = peer.ReadLine();
    EXPECT_TRUE(peer.WaitFor("ready"));
    return Bytes(line.size() > 5 ? std::stoul(line.substr(5)) : 0);
}

// WaitForSingleObject on a thread of its own; a mutex it gets is released again.
class Waiter {
public:
    Waiter(HANDLE h, DWORD bound, bool mutex)
        : thread_([=] {
              const DWORD start = GetTickCount();
              const double cpu = lktest::ThreadCpuMs();
              result_ = WaitForSingleObject(h, bound);
              elapsed_ = GetTickCount() - start;
              cpuMs_ = lktest::ThreadCpuMs() - cpu;
              if (mutex && (result_ == WAIT_OBJECT_0 || result_ == WAIT_ABANDONED)) ReleaseMutex(h);
          })
    {
        Sleep(100);  // most likely asleep by now; a later start finds the same state
    }
    // The result, checked to have come within `within` ms and at little CPU.
    DWORD Join(DWORD within)
    {
        thread_.join();
        EXPECT_LT(elapsed_, within + kSlackMs);
        EXPECT_LT(cpuMs_, 50.0);  // it slept: no polling
        return result_;
    }

private:
    DWORD result_ = 0, elapsed_ = 0;
    double cpuMs_ = 0;
    std::thread thread_;
};

enum class Kind { Mutex, AutoEvent, ManualEvent };

struct Ids {
    std::string dead;    // the word of a peer that owned the mutex and was killed
    std::string living;  // the word of a live peer that does not own it
};

struct HostileCase {
    const char* name;
    Kind kind;
    std::string (*bytes)(const Ids&);
    DWORD expected;  // of the wait during the write (events: made clear, a mutex: a peer owns it)
};

class HostileWrite : public lktest::LiveObjectsTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileWrite, LeavesAStateThatWaitsHandle)
{
    const HostileCase& c = GetParam();
    const std::string name = UniqueName("hostile");
    const bool isMutex = c.kind == Kind::Mutex;
    HANDLE h = isMutex ? CreateMutexA(nullptr, FALSE, name.c_str())
                       : CreateEventA(nullptr, c.kind == Kind::ManualEvent, FALSE, name.c_str());
    ASSERT_NE(nullptr, h);
    Ids ids;
    std::vector<std::unique_ptr<PeerProcess>> peers;
    if (isMutex) {
        PeerProcess killed({"mutex-word", name});
        ids.dead = WordOf(killed);
        killed.Kill();
        killed.Wait();
        peers.emplace_back(new PeerProcess({"mutex-word", name}));
        ids.living = WordOf(*peers.back());
        peers.emplace_back(new PeerProcess({"mutex-hold", name}));
        ASSERT_TRUE(peers.back()->WaitFor("ready"));
    }
    // Woken by the write, a waiter decides at once; only one that finds the object not
    // signalled runs to its bound.
    const DWORD bound = c.expected == WAIT_TIMEOUT ? 300 : kBound;
    Waiter during(h, bound, isMutex);
    Poke(name, c.bytes(ids));
    EXPECT_EQ(c.expected, during.Join(c.expected == WAIT_TIMEOUT ? bound : 0));

    if (isMutex) {
        // A waiter asleep when the peers end (the holder, and the living id) is released
        // by the watch of the owner's lock, and the watches end with the peers.
        Waiter after(h, kBound, true);
        for (auto& p : peers) {
            p->CloseInput();
            EXPECT_EQ(0, p->Wait());
        }
        const DWORD got = after.Join(0);
        EXPECT_TRUE(got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) << got;
        for (int i = 0; i < 200 && winport::LiveLockWatchCount() > 0; ++i) Sleep(10);
        EXPECT_EQ(0u, winport::LiveLockWatchCount());
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
        EXPECT_TRUE(ReleaseMutex(h) && ReleaseMutex(h));
        EXPECT_FALSE(ReleaseMutex(h));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    } else {
        // The event keeps the kind it was made with, whatever the kind field says now.
        ASSERT_TRUE(ResetEvent(h) && SetEvent(h));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
        EXPECT_EQ(c.kind == Kind::ManualEvent ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(h, 0));
    }
    CloseHandle(h);
}

int g_anything;

// Events: bit 1 of the word is the state, the bits above count the sets (a manual-reset
// event releases its waiters when they move), the next word is the kind.
INSTANTIATE_TEST_SUITE_P(
    Cases, HostileWrite,
    ::testing::Values(
        HostileCase{"MutexFree", Kind::Mutex, [](const Ids&) { return Bytes(0); }, WAIT_OBJECT_0},
        HostileCase{"MutexFreeAbandoned", Kind::Mutex, [](const Ids&) { return Bytes(2); }, WAIT_ABANDONED},
        HostileCase{"MutexRandomBytes", Kind::Mutex, [](const Ids&) { return RandomBytes(19); }, WAIT_ABANDONED},
        HostileCase{"MutexOurAddress", Kind::Mutex,
                    [](const Ids&) { return Bytes(reinterpret_cast<std::uintptr_t>(&g_anything)); }, WAIT_ABANDONED},
        HostileCase{"MutexAllOnes", Kind::Mutex, [](const Ids&) { return Bytes(~0ull); }, WAIT_ABANDONED},
        HostileCase{"MutexKilledOwner", Kind::Mutex, [](const Ids& i) { return i.dead; }, WAIT_ABANDONED},
        HostileCase{"MutexLivingOwner", Kind::Mutex, [](const Ids& i) { return i.living; }, WAIT_TIMEOUT},
        HostileCase{"AutoEventSetMadeManual", Kind::AutoEvent, [](const Ids&) { return Bytes(0x100000002ull); },
                    WAIT_OBJECT_0},
        HostileCase{"AutoEventAllOnes", Kind::AutoEvent, [](const Ids&) { return Bytes(~0ull); }, WAIT_OBJECT_0},
        HostileCase{"AutoEventClearCounted", Kind::AutoEvent, [](const Ids&) { return Bytes(0xFFFFFFFDull); },
                    WAIT_TIMEOUT},
        HostileCase{"ManualEventCounted", Kind::ManualEvent, [](const Ids&) { return Bytes(4); }, WAIT_OBJECT_0},
        HostileCase{"ManualEventSleepersOnly", Kind::ManualEvent, [](const Ids&) { return Bytes(1); }, WAIT_TIMEOUT}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

class HostileObjectTest : public lktest::LiveObjectsTest {};

// Owned by a thread of this process with a peer waiting, a mutex's data holds no value that
// is an address here (a robust pthread mutex keeps its list links there). Mappings below
// 4 GiB are left out: a sanitizer's shadow lies there, and an id may fall in it.
TEST_F(HostileObjectTest, MutexDataHoldsNoAddressOfThisProcess)
{
    const std::string name = UniqueName("noaddress");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        WaitForSingleObject(m, INFINITE);
        WaitForSingleObject(done, 10000);
        ReleaseMutex(m);
    });
    PeerProcess waiter({"wait-mutex", name, "10000"});
    ASSERT_TRUE(waiter.WaitFor("waiting"));
    Sleep(100);
    const int fd = open((winport::NamedObjectDirectory() + "/" + winport::NamedObjectFileName(name)).c_str(), O_RDONLY);
    std::uint32_t dataOffset = 0;
    std::uint64_t data[512] = {};
    EXPECT_EQ(4, pread(fd, &dataOffset, 4, 8));
    EXPECT_GT(pread(fd, data, sizeof data, dataOffset), 0);  // the data, as long as the file holds it
    close(fd);
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream in(line);
        std::uint64_t from = 0, to = 0;
        char dash = 0;
        in >> std::hex >> from >> dash >> to;
        for (std::uint64_t value : data) EXPECT_FALSE(from >= (1ull << 32) && value >= from && value < to) << line;
    }
    SetEvent(done);
    owner.join();
    EXPECT_EQ("result 0", waiter.ReadLine());
    EXPECT_EQ(0, waiter.Wait());
    CloseHandle(done);
    CloseHandle(m);
}

}  // namespace
