// wsprintfA, the lstr helpers, FormatMessageA and MessageBoxA.
#include <gtest/gtest.h>
#include <windows.h>

#include <unistd.h>

#include <cstring>
#include <string>

#include "Gbk.h"

namespace {

std::string Format(const char* fmt, ...)
{
    char buf[1024];
    std::memset(buf, '#', sizeof buf);
    va_list ap;
    va_start(ap, fmt);
    const int n = wvsprintfA(buf, fmt, ap);
    va_end(ap);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buf));
    return buf;
}

TEST(WsprintfTest, ConversionsFlagsAndWidths)
{
    const struct {
        std::string got;
        const char* expected;
    } cases[] = {
        {Format("%d|%i|%u", -12, 34, 4000000000u), "-12|34|4000000000"},
        {Format("%5d|%-5d|%05d|%.3d", 42, 42, -42, 7), "   42|42   |-0042|007"},
        {Format("%x|%X|%#x|%08X", 255u, 255u, 255u, 0xBEEFu), "ff|FF|0xff|0000BEEF"},
        {Format("%ld|%lu|%lx", static_cast<LONG>(-5), static_cast<DWORD>(4294967295u), static_cast<DWORD>(0xABCu)),
         "-5|4294967295|abc"},
        {Format("%hd|%hu", 70000, 70000), "4464|4464"},
        {Format("%I64d|%I64u", static_cast<LONGLONG>(-5000000000LL), static_cast<ULONGLONG>(1ULL << 40)),
         "-5000000000|1099511627776"},
        {Format("[%s][%6s][%-6s][%.2s]", "abc", "abc", "abc", "abc"), "[abc][   abc][abc   ][ab]"},
        {Format("%c%c|%3c", 'o', 'k', 'z'), "ok|  z"},
        {Format("%s", static_cast<const char*>(nullptr)), "(null)"},
        {Format("100%% %q"), "100% q"},
        {Format("%d %s", 1461, "\xB4\xED\xCE\xF3"), "1461 \xB4\xED\xCE\xF3"},
        {Format("%.0d|%d", 0, 0), "|0"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.got);
}

TEST(WsprintfTest, OutputStopsAt1023CharactersAndATerminator)
{
    std::string big(3000, 'x');
    char buf[1100];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(1023, wsprintfA(buf, "%s%d", big.c_str(), 5));
    EXPECT_EQ('\0', buf[1023]);
    EXPECT_EQ('#', buf[1024]);
    EXPECT_EQ(1023, wsprintfA(buf, "%2000d", 5));
}

TEST(LstrTest, CopyN)
{
    const struct {
        const char* src;
        int n;
        const char* expected;
    } cases[] = {
        {"hello", 10, "hello"}, {"hello", 6, "hello"}, {"hello", 5, "hell"}, {"hello", 1, ""}, {"", 4, ""},
    };
    for (const auto& c : cases) {
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(buf, lstrcpynA(buf, c.src, c.n));
        EXPECT_STREQ(c.expected, buf);
    }
    char untouched[4] = "abc";
    EXPECT_EQ(untouched, lstrcpynA(untouched, "xyz", 0));
    EXPECT_STREQ("abc", untouched);
    EXPECT_EQ(nullptr, lstrcpynA(nullptr, "x", 3));
}

TEST(LstrTest, LengthAndComparisons)
{
    EXPECT_EQ(5, lstrlenA("hello"));
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(0, lstrcmpA("abc", "abc"));
    EXPECT_EQ(-1, lstrcmpA("abc", "abd"));
    EXPECT_EQ(1, lstrcmpA("b", "a"));
    EXPECT_EQ(0, lstrcmpiA("Lobby", "lOBBY"));
    EXPECT_EQ(-1, lstrcmpiA("a", "B"));
    // The trail byte 0x41 ('A') of a GBK character is not folded.
    EXPECT_NE(0, lstrcmpiA("\x81\x41", "\x81\x61"));
    char buf[16] = "ab";
    EXPECT_STREQ("abcd", lstrcatA(buf, "cd"));
    EXPECT_STREQ("xy", lstrcpyA(buf, "xy"));
}

TEST(FormatMessageTest, SystemTextsOfTheLayersCodes)
{
    const struct {
        DWORD code;
        const char* text;
    } cases[] = {
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
        {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller.\r\n"},
        {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
    };
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    for (const auto& c : cases) {
        char buf[1024];
        EXPECT_EQ(std::strlen(c.text), FormatMessageA(flags, nullptr, c.code, 0, buf, sizeof buf, nullptr));
        EXPECT_STREQ(c.text, buf);
    }
    char buf[1024];
    EXPECT_EQ(22u, FormatMessageA(flags | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, ERROR_INVALID_HANDLE, 0, buf,
                                  sizeof buf, nullptr));
    EXPECT_STREQ("The handle is invalid.", buf);
}

TEST(FormatMessageTest, FailuresCarryWin32Codes)
{
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    char buf[1024];
    EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 0x2BADBEEF, 0, buf, sizeof buf, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, FormatMessageA(flags, nullptr, ERROR_INVALID_HANDLE, 0, buf, 10, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0u, FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 6, 0, buf, sizeof buf, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 6, 0x0804 /* zh-CN */, buf, sizeof buf, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND), GetLastError());
}

struct BoxCall {
    HWND hwnd;
    std::string text, caption;
    UINT type;
    int calls;
} g_box;

int WINAPI RecordBox(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type)
{
    g_box = BoxCall{hwnd, text, caption, type, g_box.calls + 1};
    return IDCANCEL;
}

TEST(MessageBoxTest, InstalledHandlerReceivesTheCall)
{
    g_box = BoxCall{};
    WINPORT_MESSAGEBOX_HANDLER old = WinportSetMessageBoxHandler(RecordBox);
    EXPECT_EQ(IDCANCEL, MessageBoxA(nullptr, "text", "caption", MB_OKCANCEL));
    EXPECT_EQ(RecordBox, WinportSetMessageBoxHandler(old));
    EXPECT_EQ(1, g_box.calls);
    EXPECT_EQ("text", g_box.text);
    EXPECT_EQ("caption", g_box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), g_box.type);
}

TEST(MessageBoxTest, DefaultWritesUtf8ToStderrAndReturnsOk)
{
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    const int savedErr = dup(STDERR_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    const std::string caption = lktest::Gbk("IPC错误");
    const std::string text = lktest::Gbk("创建客户端连接失败") + "\xFF";  // one byte that is not GBK
    const int r = MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
    dup2(savedErr, STDERR_FILENO);
    close(savedErr);
    close(pipeFds[1]);
    char buf[512] = {};
    const ssize_t n = read(pipeFds[0], buf, sizeof buf - 1);
    close(pipeFds[0]);
    EXPECT_EQ(IDOK, r);
    ASSERT_GT(n, 0);
    EXPECT_EQ("[IPC错误] 创建客户端连接失败?\n", std::string(buf, static_cast<std::size_t>(n)));
}

}  // namespace
