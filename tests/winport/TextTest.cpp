// wsprintfA, the lstr helpers, FormatMessageA and MessageBoxA.
#include <gtest/gtest.h>
#include <windows.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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
    // The result may hold a NUL of its own (a %c of 0); the terminator is at n.
    EXPECT_TRUE(n >= 0 && n < 1024) << fmt;
    if (n < 0 || n >= 1024) return std::string();
    EXPECT_EQ('\0', buf[n]) << fmt;
    return std::string(buf, static_cast<std::size_t>(n));
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
        {Format("%hd|%hu", 70000, 70000), "70000|70000"},
        {Format("%I64d|%I64u", static_cast<LONGLONG>(-5000000000LL), static_cast<ULONGLONG>(1ULL << 40)),
         "-5000000000|1099511627776"},
        {Format("[%s][%6s][%-6s][%.2s]", "abc", "abc", "abc", "abc"), "[abc][   abc][abc   ][ab]"},
        {Format("%c%c|%3c", 'o', 'k', 'z'), "ok|  z"},
        {Format("%s", static_cast<const char*>(nullptr)), "(null)"},
        {Format("100%% %q"), "100% q"},
        {Format("%d %s", 1461, "\xB4\xED\xCE\xF3"), "1461 \xB4\xED\xCE\xF3"},
        {Format("%.0d|%d", 0, 0), "0|0"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.got);
}

// Formats through both entry points, which must agree.
template <class... Args>
std::string FormatBoth(const char* fmt, Args... args)
{
    char direct[1100];
    std::memset(direct, '#', sizeof direct);
    const int n = wsprintfA(direct, fmt, args...);
    const std::string viaList = Format(fmt, args...);
    EXPECT_EQ(viaList.size(), static_cast<std::size_t>(n)) << fmt;
    EXPECT_EQ(viaList, std::string(direct, n >= 0 && n < 1024 ? static_cast<std::size_t>(n) : 0)) << fmt;
    return viaList;
}

struct FormatCase {
    std::string got;
    std::string expected;
};

void ExpectAll(const FormatCase* begin, const FormatCase* end)
{
    for (const FormatCase* c = begin; c != end; ++c) EXPECT_EQ(c->expected, c->got) << "case " << (c - begin);
}

TEST(WsprintfTest, AlternateFormPrefixesEveryValueOutsideWidthAndPrecision)
{
    const FormatCase cases[] = {
        {FormatBoth("%#x|%#X", 0u, 0u), "0x0|0X0"},
        {FormatBoth("[%#5x][%-#5x][%#05x]", 0u, 0u, 0u), "[    0x0][0x0    ][0x00000]"},
        {FormatBoth("[%#.3x][%#8.3x][%#08X][%#5.0x]", 5u, 5u, 5u, 0u), "[0x005][     0x005][0X00000005][    0x0]"},
        {FormatBoth("[%-#8.4x][%-#8x]", 10u, 10u), "[0x000a    ][0xa       ]"},
        {FormatBoth("[%#lx][%#I64x][%#I64X]", static_cast<ULONG>(0x1F), 0ULL, 0xABCULL), "[0x1f][0x0][0XABC]"},
        // '#' means nothing to decimal, character and string fields.
        {FormatBoth("[%#u][%#ld][%#c][%#s]", 5u, static_cast<LONG>(-5), 'a', "bc"), "[5][-5][a][bc]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, IntegerPrecisionCountsTheSignAndKeepsTheDigitOfZero)
{
    const int intMin = static_cast<int>(0x80000000u);
    const FormatCase cases[] = {
        {FormatBoth("[%.3d][%.0d][%5.3d]", 7, 0, -7), "[007][0][  -07]"},
        {FormatBoth("[%.0u][%.0x][%.0X][%.0i][%.d][%5.0d][%-5.0d]", 0u, 0u, 0u, 0, 0, 0, 0),
         "[0][0][0][0][0][    0][0    ]"},
        {FormatBoth("[%.3u][%.3x][%.3X][%.3x][%.5u]", 7u, 0xAu, 0xAu, 0xABCDu, 123456u),
         "[007][00a][00A][abcd][123456]"},
        {FormatBoth("[%.1d][%.2d][%.3d][%.4d][%.2d][%.3d]", -7, -7, -7, -7, -123, 123),
         "[-7][-7][-07][-007][-123][123]"},
        // The '0' flag still fills the width when there is a precision; '-' wins over it.
        {FormatBoth("[%05.3d][%-5.3d][%05.3d][%-05.3d][%08.3u][%08.3x]", 7, 7, -7, -7, 7u, 7u),
         "[00007][007  ][-0007][-07  ][00000007][00000007]"},
        {FormatBoth("[%3.5d][%-3.5d][%8.5d][%-8.5d][%08.5d][%12.10d]", 7, -7, -7, -7, -7, -123),
         "[00007][-0007][   -0007][-0007   ][-0000007][  -000000123]"},
        {FormatBoth("[%.11d][%.12d][%13.12d]", intMin, intMin, intMin), "[-2147483648][-02147483648][ -02147483648]"},
        {FormatBoth("[%.3ld][%.0ld][%.4lx]", static_cast<LONG>(-7), static_cast<LONG>(0), static_cast<ULONG>(0xAB)),
         "[-07][0][00ab]"},
        {FormatBoth("[%.3I64d][%8.5I64d][%.0I64d][%.20I64d]", -7LL, -7LL, 0LL, -5LL),
         "[-07][   -0007][0][-0000000000000000005]"},
        {FormatBoth("[%.25I64u][%-22I64d]", 18446744073709551615ULL, -9223372036854775807LL - 1),
         "[0000018446744073709551615][-9223372036854775808  ]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
    EXPECT_EQ("[-" + std::string(98, '0') + "1]", FormatBoth("[%.100d]", -1));
}

TEST(WsprintfTest, HSizePrefixChangesNothing)
{
    const FormatCase cases[] = {
        {FormatBoth("%hd|%hu|%hx|%hX|%hi", 70000, 70000, 70000, 70000, 70000), "70000|70000|11170|11170|70000"},
        {FormatBoth("%hd|%hu|%hX|%hi|%05.3hd", -1, -1, -1, 70000, -7), "-1|4294967295|FFFFFFFF|70000|-0007"},
        {FormatBoth("%hd|%hu", static_cast<int>(0x80000000u), 0x80000000u), "-2147483648|2147483648"},
        // %hc and %hs are the narrow character and string.
        {FormatBoth("[%hc][%hc][%5hc][%hs][%.1hs][%-5hs]", 'A', 0x1D6, 'B', "abc", "abc", "\xD6\xD0"),
         "[A][\xD6][    B][abc][a][\xD6\xD0   ]"},
        // Only one size prefix: the letter after it is the conversion character.
        {FormatBoth("[%hI64d][%lhd][%hld]", 7), "[I64d][hd][ld]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, FlagsAreTakenOnlyInTheirOrder)
{
    const FormatCase cases[] = {
        {FormatBoth("[%-#x][%-#08x][%-0.3d][%00005d]", 1u, 10u, 7, 7), "[0x1][0xa       ][007][00007]"},
        // Out of order or repeated, a flag ends the field as its (unknown) conversion
        // character and takes no argument.
        {FormatBoth("[%#-5x][%0#x][%0-5d][%##x][%--5d]|%d", 7), "[-5x][#x][-5d][#x][-5d]|7"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, PointerIsSixteenUpperCaseDigitsWhateverTheWidth)
{
    void* const p = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234));
    void* const big = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x123456789ABCDEF0ULL));
    const FormatCase cases[] = {
        {FormatBoth("[%p][%5p][%20p][%020p]", p, p, p, p),
         "[0000000000001234][0000000000001234][0000000000001234][0000000000001234]"},
        // A precision past 16 digits widens it; '-' pads with spaces to 16 on the right.
        {FormatBoth("[%.20p][%.17p][%.3p]", p, p, p), "[00000000000000001234][00000000000001234][0000000000001234]"},
        {FormatBoth("[%-p][%-20p][%-.17p]", p, p, p), "[1234            ][1234            ][00000000000001234]"},
        // '#' writes "0X" outside the 16.
        {FormatBoth("[%#p][%-#p][%#.18p]", p, p, p), "[0X0000000000001234][0X1234            ][0X000000000000001234]"},
        {FormatBoth("[%p][%.3p][%p]", big, big, static_cast<void*>(nullptr)),
         "[123456789ABCDEF0][123456789ABCDEF0][0000000000000000]"},
        {FormatBoth("[%lp][%hp][%I64p]", p, p, p), "[0000000000001234][0000000000001234][0000000000001234]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, UnknownConversionWritesItsPaddingAndIsThenReadAsText)
{
    const FormatCase cases[] = {
        {FormatBoth("[%5y][%-5y][%1y][%0y][%05y][%#3y]|%d", 1), "[     y][y][ y][y][     y][   y]|1"},
        // The precision is taken off the padding.
        {FormatBoth("[%5.2y][%.3y][%5.7y][%5.0y]|%d", 1), "[   y][y][y][     y]|1"},
        // A '%' after a field is not "%%": it starts the next field.
        {FormatBoth("[%5%][%#%][%-5%][%.2%][%l%][%I64%]|%%|%d", 1), "[     ][][][][][]|%|1"},
        {FormatBoth("[%5%5%5y]", 0), "[               y]"},
        {FormatBoth("[%-5%d][%5%d][%5%%]", 7, 8), "[7][     8][     %]"},
        {FormatBoth("[%5ly][%5hy][%5I64y][%5\xD6\xD0]|%d", 1), "[     y][     y][     y][     \xD6\xD0]|1"},
        // A format that ends inside a field.
        {FormatBoth("[%5", 1), "[     "},
        {FormatBoth("[%-5", 1), "["},
        {FormatBoth("[%5.2", 1), "[   "},
        {FormatBoth("[%I32", 1), "["},
        {FormatBoth("[%", 1), "["},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, LoneIIsPointerSizedAndI32Is32Bits)
{
    const FormatCase cases[] = {
        {FormatBoth("[%Id][%5Id][%Ix][%Iu]", static_cast<INT_PTR>(-5000000000LL), static_cast<INT_PTR>(5),
                    static_cast<ULONG_PTR>(0x1FFFFFFFFULL), static_cast<ULONG_PTR>(0x100000005ULL)),
         "[-5000000000][    5][1ffffffff][4294967301]"},
        // The argument after a 32-bit field is the next one.
        {FormatBoth("[%I32d][%I32x][%I32u][%d]", -5, 255u, 4294967295u, 6), "[-5][ff][4294967295][6]"},
        // One size prefix only; "I6" and "I3" are a lone I and a conversion character.
        {FormatBoth("[%I][%I6d][%I3d][%II64d][%I32I64d][%lI32d][%I32ld]|%d", 7), "[][6d][3d][I64d][I64d][I32d][ld]|7"},
        {FormatBoth("[%IIId][%hId][%Ihd][%I64I][%I%]|%d", 7), "[IId][Id][hd][I][]|7"},
        {FormatBoth("[%Is][%I32c][%I64s][%I64c]", "ab", 'a', "cd", 'e'), "[ab][a][cd][e]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, PrecisionZeroIsNoPrecision)
{
    const FormatCase cases[] = {
        {FormatBoth("[%.0s][%.s][%.0hs][%.0c][%5.0s]", "ab", "ab", "ab", 'a', "ab"), "[ab][ab][ab][a][   ab]"},
        {FormatBoth("[%.1s][%.2s][%.0d][%5.0x]", "\xD6\xD0", "abc", 0, 0u), "[\xD6][ab][0][    0]"},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

TEST(WsprintfTest, WideCharactersAndStringsBecomeGbk)
{
    static const WCHAR text[] = {'a', 0x4E2D, 0x6587, 'z', 0};  // "a中文z"
    const std::string gbk = "a\xD6\xD0\xCE\xC4z";
    const WCHAR* const none = nullptr;
    static const WCHAR mixed[] = {0x5B57, 0x00B7, 0x20AC, 0x3000, 0xFF01, 0x00E9, 0};
    static const WCHAR lacking[] = {0x2603, 0x00A0, 0x0080, 0x00FF, 0xFFFF, 0};
    // Code page 936 as Windows has it: private-use characters, 0xFF, best fit.
    static const WCHAR windows[] = {0xE000, 0xE4C6, 0xF8F5, 0x00B2, 0x0100, 0};
    static const WCHAR surrogates[] = {0xD83D, 0xDE00, 'x', 0xDC00, 0xD800, 0};
    const FormatCase cases[] = {
        {FormatBoth("[%ls][%S][%lS][%IS]", text, text, text, text),
         "[" + gbk + "][" + gbk + "][" + gbk + "][" + gbk + "]"},
        {FormatBoth("[%lc][%C][%lC][%IC]", static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>(0x6587),
                    static_cast<WCHAR>('A'), static_cast<WCHAR>(0x5B57)),
         "[\xD6\xD0][\xCE\xC4][A][\xD7\xD6]"},
        // h makes S and C narrow.
        {FormatBoth("[%hS][%hC]", "ab", 'c'), "[ab][c]"},
        // Width and precision count bytes of the converted text, and may cut a character.
        {FormatBoth("[%.1ls][%.2ls][%.3ls][%.0ls]", text, text, text, text), "[a][a\xD6][a\xD6\xD0][" + gbk + "]"},
        {FormatBoth("[%8ls][%-8ls][%8.3ls]", text, text, text), "[  " + gbk + "][" + gbk + "  ][     a\xD6\xD0]"},
        {FormatBoth("[%5lc][%-5lc][%8.1lc][%05lc]", static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>(0x4E2D),
                    static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>('d')),
         "[   \xD6\xD0][\xD6\xD0   ][      \xD6\xD0][    d]"},
        {FormatBoth("[%ls][%S][%.3ls]", none, none, none), "[(null)][(null)][(nu]"},
        {FormatBoth("[%ls]", mixed), "[\xD7\xD6\xA1\xA4\x80\xA1\xA1\xA3\xA1\xA8\xA6]"},
        // What GBK lacks becomes '?', each half of a surrogate pair on its own.
        {FormatBoth("[%ls]", lacking), "[?????]"},
        {FormatBoth("[%ls]", windows),
         "[\xAA\xA1\xA1@\xFF"
         "2\xA8\xA1]"},
        {FormatBoth("[%ls]", surrogates), "[??x??]"},
        // A wide character is the low 16 bits of its int.
        {FormatBoth("[%lc][%lc][%lc][%c]", 0x14E2D, 0x12345, 0xD800, 0x4E2D), "[\xD6\xD0][?][?][-]"},
        {FormatBoth("[%lc][%4lc][%c]", 0, 0, 0), std::string("[\0][   \0][\0]", sizeof "[\0][   \0][\0]" - 1)},
    };
    ExpectAll(std::begin(cases), std::end(cases));
}

// Text is read only as far as the output needs it: these strings have no terminator, and
// the ASan build reports a read past their end.
TEST(WsprintfTest, StringsAreReadOnlyAsFarAsTheyShow)
{
    const WCHAR wide[] = {'a', 0x4E2D};
    const char narrow[] = {'a', 'b'};
    EXPECT_EQ("[a\xD6\xD0][ab]", FormatBoth("[%.3ls][%.2s]", wide, narrow));
    // 512 characters of two bytes: the output limit is reached on the last one.
    const std::vector<WCHAR> longWide(512, 0x4E2D);
    std::string expected = "x";
    for (int i = 0; i < 511; ++i) expected += "\xD6\xD0";
    char buf[1100];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(1023, wsprintfA(buf, "x%ls", longWide.data()));
    EXPECT_EQ(expected, std::string(buf, 1023));
    EXPECT_EQ('\0', buf[1023]);
    EXPECT_EQ('#', buf[1024]);
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
    // Padding of a wide string or an unknown conversion stops there too.
    const WCHAR wide[] = {0x4E2D, 0};
    for (const char* fmt : {"%2000ls", "%-2000ls", "%2000y", "%9999999999999999999y", "%.2000ls"}) {
        std::memset(buf, '#', sizeof buf);
        const int n = wsprintfA(buf, fmt, wide);
        EXPECT_TRUE(n > 0 && n <= 1023) << fmt;
        EXPECT_EQ('\0', buf[n > 0 && n <= 1023 ? n : 1023]) << fmt;
        EXPECT_EQ('#', buf[1024]) << fmt;
    }
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
    const std::string text = lktest::Gbk("创建客户端连接失败") + "\x81";  // a lead byte without its second byte
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
