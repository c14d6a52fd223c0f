// MultiByteToWideChar and WideCharToMultiByte over whole tables and every buffer size. The
// Win32 API only: this runs against winport/posix and, in the Windows build, against Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Wide = std::basic_string<WCHAR>;

// Every double-byte code is one character of its own, and goes back to the same bytes.
TEST(CodePageTest, EveryDoubleByteCodeRoundTrips)
{
    std::vector<bool> seen(0x10000, false);
    int codes = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            WCHAR unit = 0;
            ASSERT_EQ(1, MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, 2, &unit, 1)) << lead << " " << trail;
            ASSERT_FALSE(seen[unit]) << std::hex << unit;
            seen[unit] = true;
            char back[2] = {0, 0};
            BOOL used = TRUE;
            ASSERT_EQ(2, WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, &unit, 1, back, 2, nullptr, &used));
            EXPECT_FALSE(used);
            EXPECT_EQ(0, std::memcmp(bytes, back, 2)) << std::hex << unit;
            ++codes;
        }
    }
    EXPECT_EQ(126 * 190, codes);
}

// Every Unicode scalar value goes through UTF-8 and back unchanged, at the length UTF-8 gives it.
TEST(CodePageTest, Utf8RoundTripsEveryScalarValue)
{
    Wide all;
    std::size_t expectedBytes = 0;
    for (unsigned long cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x10000) {
            all.push_back(static_cast<WCHAR>(cp));
        } else {
            all.push_back(static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
            all.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
        }
        expectedBytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    }
    const int units = static_cast<int>(all.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, all.data(), units, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(static_cast<int>(expectedBytes), bytes);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    ASSERT_EQ(bytes, WideCharToMultiByte(CP_UTF8, 0, all.data(), units, &utf8[0], bytes, nullptr, nullptr));
    Wide back(all.size(), 0);
    ASSERT_EQ(units, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, &back[0], units));
    EXPECT_TRUE(back == all);
}

struct NarrowCase {
    UINT codePage;
    std::string text;
};

struct WideCase {
    UINT codePage;
    Wide text;
};

// Converts into every buffer size up to one past what the text needs: a buffer too small
// fails with ERROR_INSUFFICIENT_BUFFER, nothing is written past a buffer, and what was
// written is the start of the whole result. convert(buffer, size) is one call.
template <class Unit, class Convert>
void ExpectShortBuffersRefused(Convert convert, Unit fill)
{
    const int need = convert(nullptr, 0);
    ASSERT_GT(need, 0);
    std::vector<Unit> full(static_cast<std::size_t>(need));
    ASSERT_EQ(need, convert(full.data(), need));
    for (int room = 1; room <= need + 1; ++room) {
        std::vector<Unit> buf(static_cast<std::size_t>(need) + 4, fill);
        SetLastError(0);
        const int n = convert(buf.data(), room);
        if (room >= need) {
            EXPECT_EQ(need, n);
        } else {
            EXPECT_EQ(0, n) << room;
            EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        }
        for (std::size_t i = static_cast<std::size_t>(room); i < buf.size(); ++i)
            ASSERT_EQ(fill, buf[i]) << "written past a buffer of " << room;
        for (std::size_t i = 0; i < static_cast<std::size_t>(std::min(room, need)) && buf[i] != fill; ++i)
            EXPECT_EQ(full[i], buf[i]);
    }
}

TEST(CodePageTest, ShortBuffersAreRefusedWithoutOverrun)
{
    const NarrowCase narrow[] = {
        {936, "a\xD6\xD0\xCE\xC4z\x80\xFF\x81"},
        {936, "\xD6\xD0"},
        {CP_UTF8, "a\xE4\xB8\xADz\x80\xE4"},
        {CP_UTF8, "\xC3\xA9\xC3"},
#if !defined(_WIN32)
        // A surrogate pair is written whole or not at all (Wine writes its first half).
        {CP_UTF8, "a\xF0\x9F\x98\x80z"},
#endif
    };
    for (const NarrowCase& c : narrow) {
        SCOPED_TRACE(c.text);
        ExpectShortBuffersRefused<WCHAR>(
            [&](WCHAR* out, int room) {
                return MultiByteToWideChar(c.codePage, 0, c.text.data(), static_cast<int>(c.text.size()), out, room);
            },
            0xAAAA);
    }
    const WideCase wide[] = {
        {936, Wide{'a', 0x4E2D, 0x2603, 'z', 0x00B2, 0xD83D}},
        {CP_UTF8, Wide{'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00, 'z'}},
    };
    for (const WideCase& c : wide) {
        ExpectShortBuffersRefused<char>(
            [&](char* out, int room) {
                return WideCharToMultiByte(c.codePage, 0, c.text.data(), static_cast<int>(c.text.size()), out, room,
                                           nullptr, nullptr);
            },
            '#');
    }
}

#if !defined(_WIN32)
// A default character of one byte (an empty string) is read no further than its NUL: the
// text is in a heap block of its own, so that a sanitizer sees a read past it.
TEST(CodePageTest, DefaultCharacterIsReadNoFurtherThanItsNul)
{
    const std::unique_ptr<char[]> empty(new char[1]{'\0'});
    const std::unique_ptr<char[]> star(new char[2]{'*', '\0'});
    const WCHAR text[] = {'x', 0x2603};
    char out[4] = {'#', '#', '#', '#'};
    BOOL used = FALSE;
    EXPECT_EQ(2, WideCharToMultiByte(936, 0, text, 2, out, 4, empty.get(), &used));
    EXPECT_TRUE(used);
    EXPECT_EQ(std::string("x\0##", 4), std::string(out, 4));
    EXPECT_EQ(2, WideCharToMultiByte(936, 0, text, 2, out, 4, star.get(), &used));
    EXPECT_EQ(std::string("x*##", 4), std::string(out, 4));
}
#endif

}  // namespace
