// Handles, names, the namespace directory, events, waits and mappings within one process.
#include <gtest/gtest.h>
#include <windows.h>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LiveObjectsTest.h"
#include "OwnNamespace.h"
#include "PeerProcess.h"
#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/mapping.h"
#include "winport/posix/kernel/shared_object.h"

using lktest::UniqueName;

namespace {

class KernelTest : public lktest::LiveObjectsTest {};

// --- handles -------------------------------------------------------------------------

TEST_F(KernelTest, ClosedStaleAndForeignHandlesAreRefused)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, e);
    ASSERT_TRUE(CloseHandle(e));
    HANDLE reopened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(e, reopened);  // a value is not reused at once

    int local = 0;
    const HANDLE bad[] = {e, nullptr, &local, reinterpret_cast<HANDLE>(0x1234), reinterpret_cast<HANDLE>(-2)};
    for (HANDLE h : bad) {
        SetLastError(0);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(h, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    CloseHandle(reopened);
}

TEST_F(KernelTest, HandleOfTheWrongKindIsRefused)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, nullptr);
    ASSERT_TRUE(e && m && map);
    EXPECT_FALSE(ReleaseMutex(e));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(SetEvent(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(map, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());  // no right to wait on it
    EXPECT_EQ(nullptr, MapViewOfFile(e, FILE_MAP_READ, 0, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(e, &code));
    CloseHandle(e);
    CloseHandle(m);
    CloseHandle(map);
}

TEST_F(KernelTest, HandleTableIsSafeUnderConcurrentUse)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
                SetEvent(e);
                WaitForSingleObject(e, 0);
                CloseHandle(e);
            }
        });
    }
    for (auto& t : threads) t.join();
}

// --- names ---------------------------------------------------------------------------

struct NameCase {
    const char* label;
    std::string suffix;
};

class ObjectNames : public KernelTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ObjectNames, AnyBytesNameOneObjectInsideTheDirectory)
{
    const std::string name = UniqueName("n") + GetParam().suffix;
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, a) << GetLastError();
    HANDLE b = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(nullptr, b);
    SetEvent(a);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(b, 0));
    // A different name (the same except the last byte) is a different object.
    std::string other = name;
    other.back() = other.back() == 'x' ? 'y' : 'x';
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, other.c_str()));
    const std::string file = winport::NamedObjectFileName(name);
    EXPECT_EQ(std::string::npos, file.find('/'));
    EXPECT_LE(file.size(), 255u);
    struct stat st;
    EXPECT_EQ(0, lstat((winport::NamedObjectDirectory() + "/" + file).c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    CloseHandle(a);
    CloseHandle(b);
}

INSTANTIATE_TEST_SUITE_P(Names, ObjectNames,
                         ::testing::Values(NameCase{"Plain", "abc"}, NameCase{"DotDot", "/../../etc/passwd"},
                                           NameCase{"Slashes", "a/b/c"},
                                           NameCase{"HighBytes", "\xB4\xED\xCE\xF3\xFF\x80%2F"}, NameCase{"Dots", ".."},
                                           NameCase{"Long220", std::string(220, 'L')},
                                           // Encoded, these exceed the longest file name: the hashed form.
                                           NameCase{"Long220Escaped", std::string(220, '/')},
                                           NameCase{"Gbk220",
                                                    [] {
                                                        std::string s;
                                                        for (int i = 0; i < 220; ++i) s += "\xD6\xD0";
                                                        return s;
                                                    }()}),
                         [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST_F(KernelTest, LongNamesSharingAPrefixStayDistinct)
{
    const std::string prefix = UniqueName("p") + std::string(220, 'q');
    HANDLE a = CreateEventA(nullptr, TRUE, TRUE, (prefix + "1").c_str());
    HANDLE b = CreateEventA(nullptr, TRUE, FALSE, (prefix + "2").c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(a, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(b, 0));
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(KernelTest, OpenOfAMissingOrUnnamedObjectFails)
{
    const std::string name = UniqueName("missing");
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// --- the namespace directory ---------------------------------------------------------

// Points the namespace at a fresh directory for one test.
class NamespaceDirectoryTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        ns_ = std::make_unique<lktest::OwnNamespace>("ns");
        ASSERT_TRUE(ns_->Ok());
        root_ = ns_->Root();
        dir_ = ns_->Dir();
    }
    void TearDown() override
    {
        ns_.reset();
        KernelTest::TearDown();
    }
    std::unique_ptr<lktest::OwnNamespace> ns_;
    std::string root_, dir_;
};

TEST_F(NamespaceDirectoryTest, DirectoryAndFilesAreOwnerOnlyUnderAnyUmask)
{
    const mode_t oldMask = umask(0);
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, "perm");
    umask(0777);
    HANDLE m = CreateMutexA(nullptr, FALSE, "perm2");
    umask(oldMask);
    ASSERT_TRUE(e && m);
    EXPECT_EQ(dir_, winport::NamedObjectDirectory());
    struct stat st;
    ASSERT_EQ(0, stat(dir_.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    for (const char* name : {"perm", "perm2"}) {
        ASSERT_EQ(0, stat((dir_ + "/" + winport::NamedObjectFileName(name)).c_str(), &st));
        EXPECT_EQ(0600u, st.st_mode & 07777);
    }
    CloseHandle(e);
    CloseHandle(m);
}

TEST_F(NamespaceDirectoryTest, LooseModeOfOwnDirectoryIsTightened)
{
    ASSERT_EQ(0, mkdir(dir_.c_str(), 0700));
    ASSERT_EQ(0, chmod(dir_.c_str(), 0777));
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, "loose");
    ASSERT_NE(nullptr, e);
    struct stat st;
    ASSERT_EQ(0, stat(dir_.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    CloseHandle(e);
}

TEST_F(NamespaceDirectoryTest, SymlinkedDirectoryIsRefused)
{
    const std::string elsewhere = root_ + "/elsewhere";
    ASSERT_EQ(0, mkdir(elsewhere.c_str(), 0700));
    ASSERT_EQ(0, symlink(elsewhere.c_str(), dir_.c_str()));
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, "link"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(NamespaceDirectoryTest, DirectoryOfAnotherUserIsRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
    ASSERT_EQ(0, mkdir(dir_.c_str(), 0700));
    ASSERT_EQ(0, chown(dir_.c_str(), 65534, 65534));
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, "foreign"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("", winport::NamedObjectDirectory());
}

TEST_F(NamespaceDirectoryTest, PlantedObjectFileOfAnotherUserIsRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant another user's file";
    ASSERT_EQ(0, mkdir(dir_.c_str(), 0700));
    const std::string file = dir_ + "/" + winport::NamedObjectFileName("planted");
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    ASSERT_EQ(0, chown(file.c_str(), 65534, 65534));
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, "planted"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// --- events and waits ----------------------------------------------------------------

TEST_F(KernelTest, WaitAnyReturnsLowestSignalledIndexAndConsumesOnlyIt)
{
    HANDLE e[3];
    for (HANDLE& h : e) h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(e[2]);
    SetEvent(e[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, e, FALSE, 0));
    for (HANDLE h : e) CloseHandle(h);
}

TEST_F(KernelTest, WaitAnyWakesForALaterSetWithoutSpinning)
{
    HANDLE e[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::thread setter([&] {
        Sleep(300);
        SetEvent(e[1]);
    });
    const double cpuBefore = lktest::ThreadCpuMs();
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjectsEx(2, e, FALSE, 5000, FALSE));
    EXPECT_LT(lktest::ThreadCpuMs() - cpuBefore, 50.0);
    setter.join();
    for (HANDLE h : e) CloseHandle(h);
}

struct TimeoutCase {
    bool fallback;  // the path for kernels without futex_waitv
    DWORD timeout;
};

class WaitTimeouts : public KernelTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(WaitTimeouts, HonourTheTickCount)
{
    const bool old = winport::SetFutexWaitvDisabled(GetParam().fallback);
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, GetParam().timeout));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, GetParam().timeout);
    EXPECT_LT(elapsed, GetParam().timeout + 1000);
    // And a set from another thread still ends the wait early.
    std::thread setter([&] {
        Sleep(50);
        SetEvent(e);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 10000));
    setter.join();
    CloseHandle(e);
    winport::SetFutexWaitvDisabled(old);
}

INSTANTIATE_TEST_SUITE_P(Paths, WaitTimeouts,
                         ::testing::Values(TimeoutCase{false, 0}, TimeoutCase{false, 120}, TimeoutCase{true, 0},
                                           TimeoutCase{true, 120}));

TEST_F(KernelTest, AutoResetReleasesExactlyOneOfManyWaiters)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(e, 800) == WAIT_OBJECT_0) ++released;
        });
    Sleep(100);
    SetEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(1, released.load());
    CloseHandle(e);
}

TEST_F(KernelTest, ManualResetReleasesAllWaitersUntilReset)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(e, 5000) == WAIT_OBJECT_0) ++released;
        });
    Sleep(100);
    SetEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(4, released.load());
    ResetEvent(e);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
    CloseHandle(e);
}

TEST_F(KernelTest, ManualResetSetReleasesCurrentWaitersEvenIfResetAtOnce)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(e, 5000) == WAIT_OBJECT_0) ++released;
        });
    Sleep(150);
    SetEvent(e);
    ResetEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(3, released.load());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 50));  // a later wait is not
    CloseHandle(e);
}

struct BadWaitCase {
    DWORD count;
    BOOL waitAll;
    DWORD error;
};

class BadWaits : public KernelTest, public ::testing::WithParamInterface<BadWaitCase> {};

TEST_P(BadWaits, FailWithAnErrorNeverSilently)
{
    std::vector<HANDLE> handles;
    for (DWORD i = 0; i < 65; ++i) handles.push_back(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(GetParam().count, handles.data(), GetParam().waitAll, 0));
    EXPECT_EQ(GetParam().error, GetLastError());
    for (HANDLE h : handles) CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadWaits,
                         ::testing::Values(BadWaitCase{0, FALSE, ERROR_INVALID_PARAMETER},
                                           BadWaitCase{65, FALSE, ERROR_INVALID_PARAMETER},
                                           BadWaitCase{0, TRUE, ERROR_INVALID_PARAMETER},
                                           BadWaitCase{65, TRUE, ERROR_INVALID_PARAMETER}));

TEST_F(KernelTest, SixtyFourObjectsCanBeWaitedOn)
{
    std::vector<HANDLE> handles;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) handles.push_back(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    SetEvent(handles[63]);
    EXPECT_EQ(WAIT_OBJECT_0 + 63, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 1000));
    for (HANDLE h : handles) CloseHandle(h);
}

// --- mutexes within a process ---------------------------------------------------------

TEST_F(KernelTest, MutexIsRecursiveAndOwnedByOneThread)
{
    const std::string name = UniqueName("rec");
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, m);
    HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());  // existing: no ownership taken
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));  // recursion through another handle
    DWORD otherResult = 0;
    std::thread other([&] { otherResult = WaitForSingleObject(m, 0); });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), otherResult);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(second));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    CloseHandle(second);
    CloseHandle(m);
}

TEST_F(KernelTest, MutexWaiterWakesWhenOwnerReleases)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread owner([&] {
        WaitForSingleObject(m, INFINITE);
        SetEvent(e);
        Sleep(200);
        ReleaseMutex(m);
    });
    WaitForSingleObject(e, INFINITE);
    const DWORD start = GetTickCount();
    // Waiting on the mutex and on an event that is never set: the mutex is index 1.
    HANDLE both[2] = {e, m};
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 5000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(ReleaseMutex(m));
    owner.join();
    CloseHandle(m);
    CloseHandle(e);
}

// --- mappings ------------------------------------------------------------------------

TEST_F(KernelTest, UnnamedMappingViewsShareMemory)
{
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 70000, nullptr);
    ASSERT_NE(nullptr, map);
    char* a = static_cast<char*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0));
    char* b = static_cast<char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 65536, 0));
    ASSERT_TRUE(a && b);
    a[65536] = 'x';
    EXPECT_EQ('x', b[0]);
    CloseHandle(map);  // views keep the mapping
    a[69999] = 'y';
    EXPECT_EQ('y', b[69999 - 65536]);
    EXPECT_TRUE(UnmapViewOfFile(a));
    EXPECT_TRUE(UnmapViewOfFile(b));
    EXPECT_FALSE(UnmapViewOfFile(b));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
}

struct ViewCase {
    const char* label;
    DWORD protect;
    DWORD access;
    DWORD offset;
    SIZE_T bytes;
    DWORD error;  // 0: the view is mapped
};

class MappingViews : public KernelTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(MappingViews, CheckAccessOffsetAndSize)
{
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, GetParam().protect, 0, 131072, nullptr);
    ASSERT_NE(nullptr, map);
    void* view = MapViewOfFile(map, GetParam().access, 0, GetParam().offset, GetParam().bytes);
    if (GetParam().error == 0) {
        EXPECT_NE(nullptr, view);
        UnmapViewOfFile(view);
    } else {
        EXPECT_EQ(nullptr, view);
        EXPECT_EQ(GetParam().error, GetLastError());
    }
    CloseHandle(map);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MappingViews,
    ::testing::Values(ViewCase{"Whole", PAGE_READWRITE, FILE_MAP_ALL_ACCESS, 0, 0, 0},
                      ViewCase{"SecondHalf", PAGE_READWRITE, FILE_MAP_READ, 65536, 65536, 0},
                      ViewCase{"Copy", PAGE_READONLY, FILE_MAP_COPY, 0, 0, 0},
                      ViewCase{"Unaligned", PAGE_READWRITE, FILE_MAP_READ, 4096, 0, ERROR_MAPPED_ALIGNMENT},
                      ViewCase{"TooLong", PAGE_READWRITE, FILE_MAP_READ, 65536, 65537, ERROR_ACCESS_DENIED},
                      ViewCase{"PastEnd", PAGE_READWRITE, FILE_MAP_READ, 131072, 0, ERROR_INVALID_PARAMETER},
                      // The access is checked before the extent.
                      ViewCase{"WriteReadOnlyPastEnd", PAGE_READONLY, FILE_MAP_WRITE, 196608, 0, ERROR_ACCESS_DENIED},
                      ViewCase{"WriteReadOnly", PAGE_READONLY, FILE_MAP_WRITE, 0, 0, ERROR_ACCESS_DENIED},
                      ViewCase{"NoAccess", PAGE_READWRITE, 0, 0, 0, ERROR_INVALID_PARAMETER},
                      ViewCase{"Execute", PAGE_READWRITE, FILE_MAP_READ | FILE_MAP_EXECUTE, 0, 0, ERROR_NOT_SUPPORTED}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.label); });

struct ExtentCase {
    const char* label;
    DWORD size;
    DWORD offsetHigh;
    DWORD offset;
    SIZE_T bytes;
    DWORD error;  // 0: the view is mapped
};

class ViewExtents : public KernelTest, public ::testing::WithParamInterface<ExtentCase> {};

// A mapping is made of whole 4096-byte pages; a view starts inside it and ends by the end of
// its last page.
TEST_P(ViewExtents, ReachTheEndOfTheLastPageAndNoFurther)
{
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, GetParam().size, nullptr);
    ASSERT_NE(nullptr, map);
    SetLastError(ERROR_INVALID_DATA);
    char* view = static_cast<char*>(
        MapViewOfFile(map, FILE_MAP_ALL_ACCESS, GetParam().offsetHigh, GetParam().offset, GetParam().bytes));
    if (GetParam().error == 0) {
        ASSERT_NE(nullptr, view) << GetLastError();
        // Every byte asked for is there, and the last is writable.
        const SIZE_T length = GetParam().bytes ? GetParam().bytes : GetParam().size - GetParam().offset;
        EXPECT_EQ(0, view[length - 1]);
        view[length - 1] = 1;
        UnmapViewOfFile(view);
    } else {
        EXPECT_EQ(nullptr, view);
        EXPECT_EQ(GetParam().error, GetLastError());
    }
    CloseHandle(map);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewExtents,
    ::testing::Values(ExtentCase{"Size", 8244, 0, 0, 8244, 0}, ExtentCase{"IntoTheLastPage", 8244, 0, 0, 8245, 0},
                      ExtentCase{"ToTheEndOfTheLastPage", 8244, 0, 0, 12288, 0},
                      ExtentCase{"PastTheLastPage", 8244, 0, 0, 12289, ERROR_ACCESS_DENIED},
                      ExtentCase{"FarPast", 8244, 0, 0, 20000, ERROR_ACCESS_DENIED},
                      ExtentCase{"Huge", 8244, 0, 0, SIZE_T(1) << 40, ERROR_ACCESS_DENIED},
                      ExtentCase{"Largest", 8244, 0, 0, ~SIZE_T(0), ERROR_ACCESS_DENIED},
                      ExtentCase{"OffsetRestToEnd", 70000, 0, 65536, 0, 0},
                      ExtentCase{"OffsetToTheEndOfTheLastPage", 70000, 0, 65536, 8192, 0},
                      ExtentCase{"OffsetPastTheLastPage", 70000, 0, 65536, 8193, ERROR_ACCESS_DENIED},
                      ExtentCase{"OffsetInAOneBytePage", 65537, 0, 65536, 4096, 0},
                      ExtentCase{"OffsetAtTheEnd", 65536, 0, 65536, 0, ERROR_INVALID_PARAMETER},
                      ExtentCase{"OffsetPastTheEnd", 8244, 0, 65536, 1, ERROR_INVALID_PARAMETER},
                      ExtentCase{"OffsetHighWord", 8244, 1, 0, 0, ERROR_INVALID_PARAMETER},
                      // Alignment is checked before the extent.
                      ExtentCase{"UnalignedPastTheEnd", 8244, 0, 65536 * 4 + 4096, 0, ERROR_MAPPED_ALIGNMENT}),
    [](const ::testing::TestParamInfo<ExtentCase>& info) { return std::string(info.param.label); });

TEST_F(KernelTest, BytesPastTheSizeInTheLastPageAreSharedAndStartAsZeros)
{
    const std::string name = UniqueName("tail");
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8244, name.c_str());
    ASSERT_NE(nullptr, map);
    HANDLE again = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(nullptr, again);
    char* a = static_cast<char*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 12288));
    char* b = static_cast<char*>(MapViewOfFile(again, FILE_MAP_READ, 0, 0, 12288));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(0, b[8244]);
    EXPECT_EQ(0, b[12287]);
    a[8244] = 'p';
    a[12287] = 'q';
    EXPECT_EQ('p', b[8244]);
    EXPECT_EQ('q', b[12287]);
    UnmapViewOfFile(a);
    UnmapViewOfFile(b);
    CloseHandle(again);
    CloseHandle(map);
}

struct NameLifeCase {
    const char* label;
    int extraHandles;  // opened besides the creating one, closed before it
    bool viewFromOpened;
};

class MappingNameLife : public KernelTest, public ::testing::WithParamInterface<NameLifeCase> {};

// Views keep memory, not names: the name goes with the last handle.
TEST_P(MappingNameLife, NameGoesWithTheLastHandleWhileViewsKeepTheMemory)
{
    const std::string name = UniqueName("life");
    HANDLE created = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, created);
    std::vector<HANDLE> opened;
    for (int i = 0; i < GetParam().extraHandles; ++i)
        opened.push_back(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    HANDLE viewSource = GetParam().viewFromOpened ? opened.back() : created;
    char* view = static_cast<char*>(MapViewOfFile(viewSource, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    std::strcpy(view, "old");
    for (HANDLE h : opened) {
        CloseHandle(h);
        // One handle is left: the name stays.
        HANDLE probe = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
        EXPECT_NE(nullptr, probe);
        if (probe) CloseHandle(probe);
    }
    CloseHandle(created);
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(1u, winport::LiveViewCount());

    // A create of the name makes a new, zeroed object; the old view keeps the old memory.
    HANDLE fresh = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    char* freshView = static_cast<char*>(MapViewOfFile(fresh, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(nullptr, freshView);
    EXPECT_EQ('\0', freshView[0]);
    std::strcpy(freshView, "new");
    EXPECT_STREQ("old", view);
    std::strcpy(view, "still");
    EXPECT_STREQ("new", freshView);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(UnmapViewOfFile(freshView));
    CloseHandle(fresh);
}

INSTANTIATE_TEST_SUITE_P(Cases, MappingNameLife,
                         ::testing::Values(NameLifeCase{"OneHandle", 0, false}, NameLifeCase{"ViewOfTheCreator", 2, false},
                                           NameLifeCase{"ViewOfAnOpenedHandle", 2, true}),
                         [](const ::testing::TestParamInfo<NameLifeCase>& info) { return std::string(info.param.label); });

struct CreateMappingCase {
    const char* label;
    HANDLE file;
    DWORD protect;
    DWORD sizeLow;
    DWORD error;
};

class MappingCreation : public KernelTest, public ::testing::WithParamInterface<CreateMappingCase> {};

TEST_P(MappingCreation, RefusesWhatItCannotProvide)
{
    EXPECT_EQ(nullptr, CreateFileMappingA(GetParam().file, nullptr, GetParam().protect, 0, GetParam().sizeLow, nullptr));
    EXPECT_EQ(GetParam().error, GetLastError());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MappingCreation,
    ::testing::Values(CreateMappingCase{"FileHandle", reinterpret_cast<HANDLE>(0x40), PAGE_READWRITE, 16,
                                        ERROR_INVALID_HANDLE},
                      CreateMappingCase{"ZeroSize", INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, ERROR_INVALID_PARAMETER},
                      CreateMappingCase{"Execute", INVALID_HANDLE_VALUE, 0x40 /* PAGE_EXECUTE_READWRITE */, 16,
                                        ERROR_INVALID_PARAMETER},
                      CreateMappingCase{"Reserve", INVALID_HANDLE_VALUE, PAGE_READWRITE | 0x04000000 /* SEC_RESERVE */,
                                        16, ERROR_NOT_SUPPORTED}),
    [](const ::testing::TestParamInfo<CreateMappingCase>& info) { return std::string(info.param.label); });

TEST_F(KernelTest, ExistingMappingKeepsItsSize)
{
    const std::string name = UniqueName("size");
    HANDLE a = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, name.c_str());
    HANDLE b = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 200000, name.c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(nullptr, MapViewOfFile(b, FILE_MAP_READ, 0, 0, 65537));
    void* view = MapViewOfFile(b, FILE_MAP_READ, 0, 0, 65536);
    EXPECT_NE(nullptr, view);
    UnmapViewOfFile(view);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(KernelTest, InterlockedOperationsReturnWhatWindowsReturns)
{
    alignas(8) char buffer[16] = {};
    for (int offset : {0, 2, 5}) {  // aligned, inside one 64-bit word, across two
        LONG volatile* v = reinterpret_cast<LONG volatile*>(buffer + offset);
        EXPECT_EQ(0, InterlockedExchange(v, 0x7FFFFFFF));
        EXPECT_EQ(static_cast<LONG>(0x80000000), InterlockedIncrement(v));  // wraps
        EXPECT_EQ(0x7FFFFFFF, InterlockedDecrement(v));
        EXPECT_EQ(0x7FFFFFFF, InterlockedCompareExchange(v, 5, 4));  // no match: unchanged
        EXPECT_EQ(0x7FFFFFFF, InterlockedCompareExchange(v, 5, 0x7FFFFFFF));
        EXPECT_EQ(5, InterlockedExchange(v, 0));
    }
}

}  // namespace
