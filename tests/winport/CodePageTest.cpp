// MultiByteToWideChar and WideCharToMultiByte over whole tables and every buffer size. The
// Win32 API only: this runs against winport/posix and, in the Windows build, against Wine.
#include <gtest/gtest.h>
#include <windows.h>

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

// Best fit goes one way only: the bytes written for such a character read back as another,
// and WC_NO_BEST_FIT_CHARS writes the default character instead.
TEST(CodePageTest, BestFitCharactersDoNotRoundTrip)
{
    int bestFit = 0;
    for (unsigned u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        const WCHAR unit = static_cast<WCHAR>(u);
        char bytes[2];
        BOOL used = TRUE;
        const int n = WideCharToMultiByte(936, 0, &unit, 1, bytes, 2, nullptr, &used);
        ASSERT_GE(n, 1);
        if (used) continue;
        WCHAR back = 0;
        ASSERT_EQ(1, MultiByteToWideChar(936, 0, bytes, n, &back, 1));
        if (back == unit) continue;
        ++bestFit;
        BOOL strictUsed = FALSE;
        char strict[2];
        EXPECT_EQ(1, WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, &unit, 1, strict, 2, nullptr, &strictUsed));
        EXPECT_TRUE(strictUsed) << std::hex << u;
        EXPECT_EQ('?', strict[0]);
    }
    EXPECT_EQ(412, bestFit);
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

// Into every buffer smaller than the text needs: failure with ERROR_INSUFFICIENT_BUFFER,
// nothing written past the buffer, and what was written is the start of the whole result.
TEST(CodePageTest, ShortBuffersToWideFailWithoutOverrun)
{
    const NarrowCase cases[] = {
        {936, "a\xD6\xD0\xCE\xC4z\x80\xFF\x81"},
        {936, "\xD6\xD0"},
        {CP_UTF8, "a\xE4\xB8\xADz\x80\xE4"},
        {CP_UTF8, "\xC3\xA9\xC3"},
#if !defined(_WIN32)
        // A surrogate pair is written whole or not at all (Wine writes its first half).
        {CP_UTF8, "a\xF0\x9F\x98\x80z"},
#endif
    };
    for (const NarrowCase& c : cases) {
        const int len = static_cast<int>(c.text.size());
        const int need = MultiByteToWideChar(c.codePage, 0, c.text.data(), len, nullptr, 0);
        ASSERT_GT(need, 0);
        Wide full(static_cast<std::size_t>(need), 0);
        ASSERT_EQ(need, MultiByteToWideChar(c.codePage, 0, c.text.data(), len, &full[0], need));
        for (int room = 1; room <= need + 1; ++room) {
            std::vector<WCHAR> buf(static_cast<std::size_t>(need) + 4, 0xAAAA);
            SetLastError(0);
            const int n = MultiByteToWideChar(c.codePage, 0, c.text.data(), len, buf.data(), room);
            if (room >= need) {
                EXPECT_EQ(need, n);
            } else {
                EXPECT_EQ(0, n) << room;
                EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
            }
            for (std::size_t i = static_cast<std::size_t>(room); i < buf.size(); ++i)
                ASSERT_EQ(0xAAAA, buf[i]) << "written past a buffer of " << room;
            for (int i = 0; i < room && i < need && buf[static_cast<std::size_t>(i)] != 0xAAAA; ++i)
                EXPECT_EQ(full[static_cast<std::size_t>(i)], buf[static_cast<std::size_t>(i)]);
        }
    }
}

TEST(CodePageTest, ShortBuffersToBytesFailWithoutOverrun)
{
    const WideCase cases[] = {
        {936, Wide{'a', 0x4E2D, 0x2603, 'z', 0x00B2, 0xD83D}},
        {CP_UTF8, Wide{'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00, 'z'}},
    };
    for (const WideCase& c : cases) {
        const int len = static_cast<int>(c.text.size());
        const int need = WideCharToMultiByte(c.codePage, 0, c.text.data(), len, nullptr, 0, nullptr, nullptr);
        ASSERT_GT(need, 0);
        std::string full(static_cast<std::size_t>(need), '\0');
        ASSERT_EQ(need, WideCharToMultiByte(c.codePage, 0, c.text.data(), len, &full[0], need, nullptr, nullptr));
        for (int room = 1; room <= need + 1; ++room) {
            std::string buf(static_cast<std::size_t>(need) + 4, '#');
            SetLastError(0);
            const int n = WideCharToMultiByte(c.codePage, 0, c.text.data(), len, &buf[0], room, nullptr, nullptr);
            if (room >= need) {
                EXPECT_EQ(need, n);
            } else {
                EXPECT_EQ(0, n) << room;
                EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
            }
            for (std::size_t i = static_cast<std::size_t>(room); i < buf.size(); ++i)
                ASSERT_EQ('#', buf[i]) << "written past a buffer of " << room;
            const std::size_t written = buf.find('#');
            EXPECT_EQ(full.substr(0, written), buf.substr(0, written));
        }
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
