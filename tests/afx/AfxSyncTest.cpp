// The framework's in-process locks and events, exercised by real threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "afxmt.h"

namespace {

TEST(AfxSyncTest, CriticalSectionExcludesOtherThreads)
{
    CCriticalSection cs;
    long counter = 0;  // guarded by cs only: lost updates show as a short count
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                CSingleLock lock(&cs, TRUE);
                const long v = counter;
                if (i % 512 == 0) std::this_thread::yield();  // widen the window
                counter = v + 1;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(counter, 80000);
}

TEST(AfxSyncTest, CriticalSectionIsRecursiveForItsHolderOnly)
{
    CCriticalSection cs;
    ASSERT_TRUE(cs.Lock());
    ASSERT_TRUE(cs.Lock());
    bool otherGot = true;
    bool otherUnlock = true;
    std::thread([&] {
        otherGot = cs.Lock(0);
        otherUnlock = cs.Unlock();
    }).join();
    EXPECT_FALSE(otherGot) << "held twice by this thread";
    EXPECT_FALSE(otherUnlock) << "a thread that does not hold it cannot release it";
    EXPECT_TRUE(cs.Unlock());
    std::thread([&] { otherGot = cs.Lock(0); }).join();
    EXPECT_FALSE(otherGot) << "still held once";
    EXPECT_TRUE(cs.Unlock());
    std::thread([&] {
        otherGot = cs.Lock(0);
        if (otherGot) cs.Unlock();
    }).join();
    EXPECT_TRUE(otherGot);
    EXPECT_FALSE(cs.Unlock()) << "not held any more";
}

TEST(AfxSyncTest, TimedLockGivesUpAfterItsTimeAndWaitsForARelease)
{
    CCriticalSection cs;
    ASSERT_TRUE(cs.Lock());
    DWORD waited = 0;
    bool got = true;
    std::thread([&] {
        const DWORD start = ::GetTickCount();
        got = cs.Lock(150);
        waited = ::GetTickCount() - start;
    }).join();
    EXPECT_FALSE(got);
    EXPECT_GE(waited, 140u);

    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        cs.Lock();
        acquired = true;
        cs.Unlock();
    });
    ::Sleep(50);
    EXPECT_FALSE(acquired.load());
    cs.Unlock();
    waiter.join();
    EXPECT_TRUE(acquired.load());
}

TEST(AfxSyncTest, AutoResetEventReleasesOneWaitAndManualResetStaysSet)
{
    CEvent autoEvent;  // auto-reset, clear
    EXPECT_EQ(::WaitForSingleObject(autoEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    autoEvent.SetEvent();
    EXPECT_EQ(::WaitForSingleObject(autoEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(::WaitForSingleObject(autoEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    CEvent manual(FALSE, TRUE);
    manual.SetEvent();
    EXPECT_EQ(::WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(::WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    manual.ResetEvent();
    EXPECT_EQ(::WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    CEvent wake;
    std::thread setter([&] {
        ::Sleep(30);
        wake.SetEvent();
    });
    CSingleLock lock(&wake);
    EXPECT_TRUE(lock.Lock(5000));
    setter.join();
}

TEST(AfxSyncTest, MutexIsOwnedByOneThreadAndReleasedByCSingleLock)
{
    CMutex mutex;
    {
        CSingleLock lock(&mutex, TRUE);
        ASSERT_TRUE(lock.IsLocked());
        bool other = true;
        std::thread([&] { other = mutex.Lock(0); }).join();
        EXPECT_FALSE(other);
    }
    bool other = false;
    std::thread([&] {
        other = mutex.Lock(0);
        if (other) mutex.Unlock();
    }).join();
    EXPECT_TRUE(other) << "the scope released it";
}

}  // namespace
