// lobbykit-reg, run as a separate process on the test's temporary store.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "Gbk.h"
#include "RegKey.h"
#include "TempStore.h"

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
};

// Runs the tool with `args` (already shell-quoted) and stdin from /dev/null; stdout and
// stderr together.
ToolRun Tool(const std::string& args)
{
    const std::string cmd = std::string("'") + REG_TOOL_PATH + "' " + args + " </dev/null 2>&1";
    ToolRun r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class RegTool : public ::testing::Test {
protected:
    regtest::TempConfigHome m_home;
};

TEST_F(RegTool, AddStoresGbkAndQueryShowsUtf8)
{
    ASSERT_EQ(0, Tool("add 'HKCU\\Software\\szDomain\\游戏' /v '名字' /d '大厅'").exitCode);
    // Stored as reg stores a string: GBK with its terminator.
    char buf[16];
    unsigned long type = 0, len = sizeof(buf);
    ASSERT_EQ(1, RegReadKey(lktest::Gbk("游戏").c_str(), nullptr, lktest::Gbk("名字").c_str(), type, buf, len));
    EXPECT_EQ(unsigned(REG_SZ), type);
    EXPECT_EQ(lktest::Gbk("大厅") + '\0', std::string(buf, len));

    ASSERT_EQ(1, RegWriteKeyStr(lktest::Gbk("游戏").c_str(), nullptr, "title", lktest::Gbk("围棋").c_str()));
    ASSERT_EQ(1, RegWriteKeyInt(lktest::Gbk("游戏").c_str(), nullptr, "score", 42));
    const ToolRun q = Tool("query 'HKCU\\Software\\szDomain\\游戏'");
    EXPECT_EQ(0, q.exitCode);
    EXPECT_NE(std::string::npos, q.out.find("HKEY_CURRENT_USER\\Software\\szDomain\\游戏\n")) << q.out;
    EXPECT_NE(std::string::npos, q.out.find("    名字    REG_SZ    大厅\n")) << q.out;
    EXPECT_NE(std::string::npos, q.out.find("    title    REG_SZ    围棋\n")) << q.out;
    EXPECT_NE(std::string::npos, q.out.find("    score    REG_DWORD    0x2a\n")) << q.out;
}

TEST_F(RegTool, TypedDataIsEncodedAsRegDoes)
{
    ASSERT_EQ(0, Tool("add HKCU\\\\Software\\\\t /v d /t REG_DWORD /d 0x10").exitCode);
    ASSERT_EQ(0, Tool("add HKCU\\\\Software\\\\t /v b /t reg_binary /d 00FF7f").exitCode);
    ASSERT_EQ(0, Tool("add HKCU\\\\Software\\\\t /v m /t REG_MULTI_SZ /s , /d a,bc").exitCode);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\t", 0, KEY_READ, &key));
    auto get = [&](const char* name, DWORD expectedType) {
        BYTE buf[32];
        DWORD cb = sizeof(buf), type = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type, buf, &cb));
        EXPECT_EQ(expectedType, type) << name;
        return std::string(reinterpret_cast<char*>(buf), cb);
    };
    EXPECT_EQ(std::string("\x10\0\0\0", 4), get("d", REG_DWORD));
    EXPECT_EQ(std::string("\x00\xFF\x7F", 3), get("b", REG_BINARY));
    EXPECT_EQ(std::string("a\0bc\0\0", 6), get("m", REG_MULTI_SZ));
    RegCloseKey(key);
    const ToolRun q = Tool("query HKCU\\\\Software\\\\t /v M");
    EXPECT_NE(std::string::npos, q.out.find("REG_MULTI_SZ    a\\0bc\n")) << q.out;
}

struct Failing {
    const char* args;
};

class RegToolFails : public RegTool, public ::testing::WithParamInterface<Failing> {};

// Each refused command exits with 1 and leaves the store as it was.
TEST_P(RegToolFails, ExitsWithOneAndChangesNothing)
{
    ASSERT_EQ(1, RegWriteKeyInt("keep", nullptr, "n", 7));
    const ToolRun r = Tool(GetParam().args);
    EXPECT_EQ(1, r.exitCode) << r.out;
    EXPECT_TRUE(r.out.find("ERROR") != std::string::npos || r.out.find("cancelled") != std::string::npos) << r.out;
    unsigned long n = 0;
    EXPECT_EQ(1, RegReadKeyInt("keep", nullptr, "n", n));
    EXPECT_EQ(7u, n);
    EXPECT_EQ(0, RegReadKeyInt("keep", nullptr, "other", n));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RegToolFails,
    ::testing::Values(Failing{"query HKCU\\\\Software\\\\missing"}, Failing{"query HKLM\\\\Software"},
                      Failing{"query HKCU\\\\Software\\\\szDomain\\\\keep /v other"},
                      Failing{"add HKCU\\\\Software\\\\szDomain\\\\keep /v other /t REG_DWORD /d 4294967296"},
                      Failing{"add HKCU\\\\Software\\\\szDomain\\\\keep /v other /t REG_DWORD /d -1"},
                      Failing{"add HKCU\\\\Software\\\\szDomain\\\\keep /v other /t REG_BINARY /d 0g"},
                      Failing{"add HKCU\\\\Software\\\\szDomain\\\\keep /v other /t REG_WHAT /d 1"},
                      Failing{"add HKCU\\\\Software\\\\szDomain\\\\keep /v n /t REG_DWORD /d 8"},  // no /f, no yes
                      Failing{"delete HKCU\\\\Software\\\\szDomain\\\\keep"},                      // no /f, no yes
                      Failing{"delete HKCU\\\\Software\\\\szDomain\\\\keep /v other /f"},
                      Failing{"delete HKCU\\\\Software\\\\szDomain\\\\keep /v n /va"},
                      Failing{"frobnicate HKCU\\\\Software"}));

struct Reply {
    const char* args;
    int exitCode;
    const char* shows;     // a part of the output
    const char* notShown;  // nullptr: no such check
};

class RegToolReplies : public RegTool, public ::testing::WithParamInterface<Reply> {};

TEST_P(RegToolReplies, SayWhatWasMeant)
{
    const ToolRun r = Tool(GetParam().args);
    EXPECT_EQ(GetParam().exitCode, r.exitCode) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(GetParam().shows)) << r.out;
    if (GetParam().notShown) {
        EXPECT_EQ(std::string::npos, r.out.find(GetParam().notShown)) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RegToolReplies,
    ::testing::Values(Reply{"--help", 0, "usage: lobbykit-reg query", "Invalid syntax"},
                      Reply{"-h", 0, "'HKCU\\Software\\MyGame'", "Invalid syntax"},
                      Reply{"--version", 0, "lobbykit-reg " LOBBYKIT_VERSION "\n", "Invalid syntax"},
                      Reply{"--frobnicate", 1, "Invalid syntax", nullptr},
                      // Unquoted, the shell takes the backslashes away: the tool says so.
                      Reply{"query HKCU\\Software\\szDomain", 1, "backslashes were lost", "only HKCU"},
                      Reply{"add hkey_current_user\\Software /v x /d 1 /f", 1, "backslashes were lost", "only HKCU"},
                      Reply{"query HKLM\\\\Software", 1, "only HKCU", "backslashes"},
                      // Text is stored as Windows' code page 936 has it, and only when it has an exact form.
                      Reply{"add 'HKCU\\Software\\t' /v s /d '\xE2\x98\x83' /f", 1, "cannot be written in GBK", nullptr},
                      Reply{"add 'HKCU\\Software\\t' /v s /d '\xC2\xB2' /f", 1, "cannot be written in GBK", nullptr}));

TEST_F(RegTool, StoresTextAsWindowsCodePage936)
{
    ASSERT_EQ(0, Tool("add 'HKCU\\Software\\szDomain\\t' /v euro /d '\xE2\x82\xAC\xEE\x80\x80' /f").exitCode);
    char buf[16];
    unsigned long type = 0, len = sizeof(buf);
    ASSERT_EQ(1, RegReadKey("t", nullptr, "euro", type, buf, len));
    // U+20AC is the byte 0x80 and U+E000 the first user-defined code, as on Windows.
    EXPECT_EQ(std::string("\x80\xAA\xA1\0", 4), std::string(buf, len));
    ASSERT_EQ(1, RegWriteKeyStr("t", nullptr, "raw", "a\xFF\x81"));
    const ToolRun q = Tool("query 'HKCU\\Software\\szDomain\\t' /v raw");
    EXPECT_NE(std::string::npos, q.out.find("REG_SZ    a\\xFF\\x81\n")) << q.out;
}

TEST_F(RegTool, DeleteRemovesValuesAndWholeTrees)
{
    ASSERT_EQ(1, RegWriteKeyInt("gone", "a\\b", "n", 1));
    ASSERT_EQ(1, RegWriteKeyInt("gone", nullptr, "v", 1));
    ASSERT_EQ(1, RegWriteKeyInt("gone", nullptr, "w", 1));
    EXPECT_EQ(0, Tool("delete HKCU\\\\Software\\\\szDomain\\\\gone /v V /f").exitCode);
    unsigned long n = 0;
    EXPECT_EQ(0, RegReadKeyInt("gone", nullptr, "v", n));
    EXPECT_EQ(1, RegReadKeyInt("gone", nullptr, "w", n));
    EXPECT_EQ(0, Tool("delete HKCU\\\\Software\\\\szDomain\\\\gone /va /f").exitCode);
    EXPECT_EQ(0, RegReadKeyInt("gone", nullptr, "w", n));
    EXPECT_EQ(1, RegReadKeyInt("gone", "a\\b", "n", n));
    EXPECT_EQ(0, Tool("delete HKCU\\\\Software\\\\szDomain\\\\gone /f").exitCode);
    EXPECT_EQ(0, RegReadKeyInt("gone", "a", nullptr, n));
    EXPECT_EQ(1, RegReadKeyInt("", nullptr, nullptr, n));  // the parent stays
}

}  // namespace
