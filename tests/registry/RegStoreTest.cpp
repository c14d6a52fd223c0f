// The Linux store under the registry calls: where it lives, damaged or foreign files, name
// folding and path splitting, handle checks, threads.
#include <windows.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "RegKey.h"
#include "TempStore.h"
#include "winport/posix/registry/registry.h"
#include "winport/posix/registry/name.h"
#include "winport/posix/registry/store.h"

namespace {

using winport::reg::LiveKeyHandleCount;

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

LONG CreateKey(const char* path, HKEY& key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
}

struct SplitCase {
    const char* path;
    LONG expected;
    std::vector<std::string> elements;
};

class SplitKeyPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitKeyPathTest, Splits)
{
    std::vector<std::string_view> got;
    EXPECT_EQ(GetParam().expected, winport::reg::SplitKeyPath(GetParam().path, got));
    if (GetParam().expected == ERROR_SUCCESS) {
        EXPECT_EQ(GetParam().elements, std::vector<std::string>(got.begin(), got.end()));
    }
}

const std::string kMaxElement(255, 'e'), kOverElement(256, 'e');
std::string ManyElements(int n)
{
    std::string s = "k";
    for (int i = 1; i < n; ++i) s += "\\k";
    return s;
}
const std::string kMaxDepth = ManyElements(512), kOverDepth = ManyElements(513);

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitKeyPathTest,
    ::testing::Values(SplitCase{nullptr, ERROR_SUCCESS, {}}, SplitCase{"", ERROR_SUCCESS, {}},
                      SplitCase{"a", ERROR_SUCCESS, {"a"}}, SplitCase{"a\\Bc\\", ERROR_SUCCESS, {"a", "Bc"}},
                      SplitCase{"\x81\x5C\\b", ERROR_SUCCESS, {"\x81\x5C", "b"}},
                      SplitCase{"a\x81\\b", ERROR_SUCCESS, {"a\x81\\b"}},  // 0x81 0x5C pair
                      SplitCase{"a\x81", ERROR_SUCCESS, {"a\x81"}},
                      SplitCase{"a\x81 \\b", ERROR_SUCCESS, {"a\x81 ", "b"}},  // 0x20 is no trail
                      SplitCase{"\\", ERROR_BAD_PATHNAME, {}}, SplitCase{"\\a", ERROR_BAD_PATHNAME, {}},
                      SplitCase{"a\\\\b", ERROR_BAD_PATHNAME, {}}, SplitCase{"a\\\\", ERROR_SUCCESS, {"a"}},
                      SplitCase{"a\\b\\\\\\", ERROR_SUCCESS, {"a", "b"}}, SplitCase{"a\\\\\\b", ERROR_BAD_PATHNAME, {}},
                      SplitCase{"\x81\\\\", ERROR_SUCCESS, {"\x81\\"}},  // a pair, then one
                      SplitCase{kMaxElement.c_str(), ERROR_SUCCESS, {kMaxElement}},
                      SplitCase{kOverElement.c_str(), ERROR_INVALID_PARAMETER, {}},
                      SplitCase{kOverDepth.c_str(), ERROR_INVALID_PARAMETER, {}}));

TEST(SplitKeyPathTest, AllowsTheMaximumDepth)
{
    std::vector<std::string_view> got;
    ASSERT_EQ(ERROR_SUCCESS, winport::reg::SplitKeyPath(kMaxDepth.c_str(), got));
    EXPECT_EQ(512u, got.size());
}

struct FoldCase {
    std::string name;
    std::string folded;
};

class FoldTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, FoldsAsciiLettersOnly)
{
    std::string out = "prefix";
    winport::reg::AppendFolded(GetParam().name, out);
    EXPECT_EQ("prefix" + GetParam().folded, out);
}

INSTANTIATE_TEST_SUITE_P(Names, FoldTest,
                         ::testing::Values(FoldCase{"abcXYZ09_-", "ABCXYZ09_-"},
                                           FoldCase{"\x81\x61z", "\x81\x61Z"},  // trail 'a' stays
                                           FoldCase{"a\x81\x7A", "A\x81\x7A"},  // trail 'z' stays
                                           FoldCase{"\x81 a", "\x81 A"},        // lone lead, then a letter
                                           FoldCase{"x\x81", "X\x81"},          // lead byte at the end
                                           FoldCase{"\xC0\xE0", "\xC0\xE0"},    // Latin-1 bytes: not letters
                                           FoldCase{"\xFF"
                                                    "a",
                                                    "\xFF"
                                                    "A"}));  // 0xFF is no lead byte

class RegStore : public ::testing::Test {
protected:
    regtest::TempConfigHome m_home;
};

struct RefusedPath {
    std::string path;
    LONG expected;
};

class RegStoreRefusedPath : public RegStore, public ::testing::WithParamInterface<RefusedPath> {};

// The store's choices where Windows' answer is not pinned down by the contract suite: an
// empty element is a malformed path, an overlong element an invalid parameter. Nothing is
// created either way.
TEST_P(RegStoreRefusedPath, IsRefusedByOpenCreateAndDelete)
{
    HKEY base = nullptr, key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\base", base));
    const char* path = GetParam().path.c_str();
    EXPECT_EQ(GetParam().expected, RegOpenKeyExA(base, path, 0, KEY_READ, &key));
    EXPECT_EQ(GetParam().expected, RegCreateKeyExA(base, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(GetParam().expected, RegDeleteKeyA(base, path));
    EXPECT_EQ(nullptr, key);
    char name[300];
    DWORD cch = sizeof(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(base, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(base);
}

INSTANTIATE_TEST_SUITE_P(Paths, RegStoreRefusedPath,
                         ::testing::Values(RefusedPath{"a\\\\b", ERROR_BAD_PATHNAME},
                                           RefusedPath{"a\\\\\\b\\", ERROR_BAD_PATHNAME},
                                           RefusedPath{std::string(256, 'n'), ERROR_INVALID_PARAMETER},
                                           RefusedPath{"ok\\" + std::string(256, 'n'), ERROR_INVALID_PARAMETER}));

TEST_F(RegStore, NameLengthLimits)
{
    HKEY base = nullptr, longest = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\limits", base));
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(base, std::string(255, 'n').c_str(), 0, nullptr, 0, KEY_READ, nullptr, &longest, nullptr));
    RegCloseKey(longest);
    const std::string maxName(16383, 'v'), tooLong(16384, 'v');
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(base, maxName.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>("x"), 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegSetValueExA(base, tooLong.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>("x"), 1));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(base, maxName.c_str(), nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(1u, cb);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(base, tooLong.c_str(), nullptr, nullptr, nullptr, &cb));
    RegCloseKey(base);
}

// A value beyond what the store can hold (a GiB) is refused as too large, not as a damaged
// store, and the store goes on working. The bytes are never touched: the length is checked first.
TEST_F(RegStore, ValueBeyondTheStoresLimitIsTooLargeNotCorrupt)
{
    constexpr DWORD kTooLarge = (1u << 30) + 1;
    void* data = mmap(nullptr, kTooLarge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(MAP_FAILED, data);
    HKEY base = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\huge", base));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY,
              RegSetValueExA(base, "v", 0, REG_BINARY, static_cast<const BYTE*>(data), kTooLarge));
    munmap(data, kTooLarge);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(base, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>("x"), 1));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(base, "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(1u, cb);
    RegCloseKey(base);
}

TEST_F(RegStore, LivesInXdgConfigHomeWithPrivateModes)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\where", key));
    RegCloseKey(key);
    EXPECT_EQ(m_home.StoreFile(), winport::reg::StorePath());
    struct stat st {};
    ASSERT_EQ(0, stat(m_home.StoreFile().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    ASSERT_EQ(0, stat((m_home.Dir() + "/lobbykit").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST_F(RegStore, RelativeXdgConfigHomeFallsBackToHome)
{
    const std::string home = m_home.Dir() + "/home";
    const char* oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    EXPECT_EQ(home + "/.config/lobbykit/registry.db", winport::reg::StorePath());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(home + "/.config/lobbykit/registry.db", winport::reg::StorePath());
    setenv("HOME", saved.c_str(), 1);
}

TEST_F(RegStore, FileThatIsNotADatabaseIsAnErrorAndIsKept)
{
    ASSERT_EQ(0, mkdir((m_home.Dir() + "/lobbykit").c_str(), 0700));
    const std::string garbage(8192, '\x5A');
    WriteFile(m_home.StoreFile(), garbage);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, CreateKey("Software\\x", key));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(0, RegWriteKeyInt("a", nullptr, "n", 1));
    EXPECT_TRUE(garbage == ReadFile(m_home.StoreFile()));
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

TEST_F(RegStore, ForeignDatabaseIsRefusedAndNotChanged)
{
    ASSERT_EQ(0, mkdir((m_home.Dir() + "/lobbykit").c_str(), 0700));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(m_home.StoreFile().c_str(), &db));
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('x');", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    const std::string before = ReadFile(m_home.StoreFile());
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, CreateKey("Software\\x", key));
    EXPECT_TRUE(before == ReadFile(m_home.StoreFile()));
}

TEST_F(RegStore, DamagedPagesGiveAnErrorNotACrashOrAnEmptyStore)
{
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(1, RegWriteKeyStr(("k" + std::to_string(i)).c_str(), nullptr, "v", std::string(200, 'v').c_str()));
    winport::reg::StoreCloseForTesting();  // the last close checkpoints the WAL into the file
    std::string file = ReadFile(m_home.StoreFile());
    ASSERT_GT(file.size(), 8192u);
    for (std::size_t i = 4096; i < file.size(); ++i) file[i] = char(i * 131 + 7);
    WriteFile(m_home.StoreFile(), file);
    unsigned long type = 0, len = 260;
    char buf[260];
    EXPECT_EQ(0, RegReadKey("k5", nullptr, "v", type, buf, len));
    HKEY key = nullptr;
    const LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\k5", 0, KEY_READ, &key);
    EXPECT_TRUE(err == ERROR_REGISTRY_CORRUPT) << err;
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

TEST_F(RegStore, UnopenablePlaceIsCantOpen)
{
    ASSERT_EQ(0, mkdir((m_home.Dir() + "/lobbykit").c_str(), 0700));
    ASSERT_EQ(0, mkdir(m_home.StoreFile().c_str(), 0700));  // a folder where the file should be
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_CANTOPEN, CreateKey("Software\\x", key));
    setenv("XDG_CONFIG_HOME", (m_home.Dir() + "/lobbykit/registry.db/nested-file-parent").c_str(), 1);
    WriteFile(m_home.Dir() + "/lobbykit/registry.db/nested-file-parent", "file, not folder");
    winport::reg::StoreCloseForTesting();
    EXPECT_EQ(ERROR_CANTOPEN, CreateKey("Software\\x", key));
}

// A store folder of another user is not used (the tests run as root or as a user: chown to
// another owner needs root, so the check is made where it can be).
TEST_F(RegStore, FolderOfAnotherUserIsRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
    const std::string dir = m_home.Dir() + "/lobbykit";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
    ASSERT_EQ(0, chown(dir.c_str(), 12345, 12345));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, CreateKey("Software\\x", key));
    ASSERT_EQ(0, chown(dir.c_str(), 0, 0));
    WriteFile(m_home.StoreFile(), "");
    ASSERT_EQ(0, chown(m_home.StoreFile().c_str(), 12345, 12345));
    winport::reg::StoreCloseForTesting();
    EXPECT_EQ(ERROR_ACCESS_DENIED, CreateKey("Software\\x", key));
}

// Run in a child: makes the store one this process may only read (as another user when run
// as root, whom modes do not stop), reads and writes. A bit set per failed check.
int UseStoreAsReader(const std::string& home, bool dirReadOnly)
{
    constexpr uid_t kNobody = 65534;
    const std::string dir = home + "/lobbykit", file = dir + "/registry.db";
    if (geteuid() == 0) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(home))
            if (lchown(e.path().c_str(), kNobody, kNobody) != 0) return 128;
        if (lchown(home.c_str(), kNobody, kNobody) || setgid(kNobody) || setuid(kNobody)) return 128;
    }
    if (chmod(file.c_str(), 0400) != 0 || (dirReadOnly && chmod(dir.c_str(), 0500) != 0)) return 128;
    const bool hadWal = access((file + "-wal").c_str(), F_OK) == 0;
    unsigned long n = 0;
    const DWORD v = 4;
    int failed = RegReadKeyInt("ro", nullptr, "n", n) && n == 3 ? 0 : 1;
    if (RegSetValueExA(HKEY_CURRENT_USER, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) != ERROR_ACCESS_DENIED)
        failed |= 2;
    if (RegWriteKeyInt("new", nullptr, "n", 1) != 0 || GetLastError() != ERROR_ACCESS_DENIED) failed |= 4;
    if (!hadWal && access((file + "-shm").c_str(), F_OK) == 0) failed |= 8;  // nothing made
    return failed;
}

class RegStoreReadOnly : public RegStore, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

// A store the user may only read, with its settings in the file or still in the -wal of a
// program that has it open, in a folder where files can or cannot be made: its settings are
// read, and writes are denied with ERROR_ACCESS_DENIED.
TEST_P(RegStoreReadOnly, IsReadAndWritesAreDenied)
{
    const auto [walInUse, dirReadOnly] = GetParam();
    ASSERT_EQ(1, RegWriteKeyInt("ro", nullptr, "n", 3));
    if (!walInUse) winport::reg::StoreCloseForTesting();
    ASSERT_EQ(walInUse, access((m_home.StoreFile() + "-wal").c_str(), F_OK) == 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(UseStoreAsReader(m_home.Dir(), dirReadOnly));
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    chmod((m_home.Dir() + "/lobbykit").c_str(), 0700);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegStoreReadOnly, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_F(RegStore, ForeignAndUnsupportedHandles)
{
    HKEY key = nullptr;
    DWORD cb = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegQueryValueExA(reinterpret_cast<HKEY>(std::uintptr_t(0x1234)), "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(std::uintptr_t(0x1234))));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, RegCreateKeyExA(HKEY_CURRENT_USER, "v", 0, nullptr, REG_OPTION_VOLATILE,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0x40, KEY_READ, &key));
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

TEST_F(RegStore, CreateUnderAHandleWithoutCreateRightIsDenied)
{
    HKEY base = nullptr, readOnly = nullptr, child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\base", base));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(base, "", 0, KEY_READ, &readOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(readOnly, "new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\\base\\old", child));
    RegCloseKey(child);
    // Opening an existing key needs no right on the parent.
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(readOnly, "old", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    RegCloseKey(child);
    RegCloseKey(readOnly);
    RegCloseKey(base);
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

TEST_F(RegStore, HelpersLeaveNoHandleOpen)
{
    ASSERT_EQ(0u, LiveKeyHandleCount());
    ASSERT_EQ(1, RegWriteKeyInt("h", "s", "n", 1));
    unsigned long n = 0, type = 0, len = 1;
    char buf[4];
    ASSERT_EQ(1, RegReadKeyInt("h", "s", "n", n));
    EXPECT_EQ(0, RegReadKey("h", "s", "n", type, buf, len));  // too small
    EXPECT_EQ(0, RegReadKeyInt("h", "s", "missing", n));
    EXPECT_EQ(0, RegReadKeyInt("h", "missing", "n", n));
    EXPECT_EQ(0, RegWriteKeyInt("h", "a\\\\b", "n", 1));  // bad path
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

// Writes of another connection (here: another process's, through a second connection) are
// seen by the next call: nothing is cached.
TEST_F(RegStore, SeesWritesMadeBehindItsBack)
{
    ASSERT_EQ(1, RegWriteKeyInt("c", nullptr, "n", 1));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(m_home.StoreFile().c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "UPDATE vals SET data = x'02000000'", nullptr, nullptr, nullptr));
    unsigned long n = 0;
    ASSERT_EQ(1, RegReadKeyInt("c", nullptr, "n", n));
    EXPECT_EQ(2u, n);
    // Bad rows from outside are refused, not trusted.
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "UPDATE vals SET type = 'text'", nullptr, nullptr, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\szDomain\\c", 0, KEY_READ, &key));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, RegQueryValueExA(key, "n", nullptr, nullptr, nullptr, &cb));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "UPDATE vals SET type = 4, data = 'text'", nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, RegQueryValueExA(key, "n", nullptr, nullptr, nullptr, &cb));
    RegCloseKey(key);
    sqlite3_close(db);
}

// Enumeration continues from where the handle's last call stopped; any other index counts
// from the start. Both ways must give the same entry for an index.
TEST_F(RegStore, EnumerationInAnyOrderGivesTheSameEntries)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey("Software\enum", key));
    for (int i = 0; i < 30; ++i) {
        const std::string n = "v" + std::to_string(i * 7 % 30);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, n.c_str(), 0, REG_NONE, nullptr, 0));
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, n.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
        RegCloseKey(sub);
    }
    auto value = [&](DWORD i) {
        char name[16];
        DWORD cch = sizeof(name);
        const LONG err = RegEnumValueA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        return err == ERROR_SUCCESS ? std::string(name, cch) : "error " + std::to_string(err);
    };
    auto subkey = [&](DWORD i) {
        char name[16];
        DWORD cch = sizeof(name);
        const LONG err = RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        return err == ERROR_SUCCESS ? std::string(name, cch) : "error " + std::to_string(err);
    };
    std::vector<std::string> values, subkeys;
    for (DWORD i = 0; i < 30; ++i) {
        values.push_back(value(i));
        subkeys.push_back(subkey(i));
    }
    EXPECT_EQ(30u, std::set<std::string>(values.begin(), values.end()).size());
    EXPECT_EQ(values, subkeys);  // both in folded-name order
    for (DWORD i : {29u, 3u, 4u, 4u, 0u, 17u, 18u, 19u, 5u}) {
        EXPECT_EQ(values[i], value(i)) << i;
        EXPECT_EQ(subkeys[i], subkey(i)) << i;
    }
    EXPECT_EQ("error 259", value(30));
    EXPECT_EQ("error 259", subkey(30));
    RegCloseKey(key);
}

// A child made by fork() must not use its parent's connection (its locks are the parent's):
// it opens its own, and both go on working.
TEST_F(RegStore, ForkedChildOpensItsOwnConnection)
{
    ASSERT_EQ(1, RegWriteKeyInt("fork", nullptr, "parent", 1));  // the parent's connection is open
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        unsigned long n = 0;
        const bool ok =
            RegReadKeyInt("fork", nullptr, "parent", n) && n == 1 && RegWriteKeyInt("fork", nullptr, "child", 2);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    unsigned long n = 0;
    EXPECT_EQ(1, RegReadKeyInt("fork", nullptr, "child", n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(1, RegWriteKeyInt("fork", nullptr, "parent", 3));
}

TEST_F(RegStore, ThreadsShareTheStoreSafely)
{
    constexpr int kThreads = 4, kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const std::string sub = "t" + std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                unsigned long n = 0;
                if (!RegWriteKeyInt("threads", sub.c_str(), "n", i) || !RegReadKeyInt("threads", sub.c_str(), "n", n) ||
                    n != unsigned(i))
                    ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(0u, LiveKeyHandleCount());
}

}  // namespace
