// String helpers of the user API: lstrcpynA and wsprintfA, byte for byte.
#include <cstring>
#include <string>

#include "Probe.h"

namespace {

// The buffer after a call, filler included, so that writes past the terminator show.
std::string Buffer(const char* buf, size_t size)
{
    return "\"" + probe::Escaped(buf, size) + "\"";
}

}  // namespace

PROBE_SCENARIO(text_lstrcpynA)
{
    struct Case {
        const char* src;
        int max;
    };
    const Case cases[] = {
        {"hello", 0}, {"hello", 1}, {"hello", 2}, {"hello", 5}, {"hello", 6}, {"hello", 12},
        {"", 1}, {"", 4},
        // Double-byte GBK text cut inside a character and after it.
        {"\xD6\xD0\xCE\xC4", 2}, {"\xD6\xD0\xCE\xC4", 3}, {"\xD6\xD0\xCE\xC4", 4}, {"\xD6\xD0\xCE\xC4", 5},
        {"a\xD6\xD0", 3},
    };
    for (const Case& c : cases) {
        char buf[12];
        std::memset(buf, '#', sizeof buf);
        const char* r = lstrcpynA(buf, c.src, c.max);
        t.Value(("lstrcpynA(buf, \"" + probe::Escaped(c.src, std::strlen(c.src)) + "\", " + std::to_string(c.max) +
                 ")").c_str(),
                std::string(r == buf ? "buf" : r == nullptr ? "NULL" : "other") + " " + Buffer(buf, sizeof buf));
    }
}

namespace {

// One wsprintfA call over a 1100-byte buffer filled with '#': the result and what was written.
template <class... Args>
void Sprintf(probe::Transcript& t, const char* known, const char* shown, const char* fmt, Args... args)
{
    static char buf[1100];
    std::memset(buf, '#', sizeof buf);
    const int n = wsprintfA(buf, fmt, args...);
    // Everything up to the first untouched '#' after the terminator (at most 40 bytes past it).
    size_t end = n >= 0 && static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : 0;
    while (end < sizeof buf && buf[end] != '\0') ++end;
    std::string result = std::to_string(n);
    if (end > 60) {
        result += " \"" + probe::Escaped(buf, 20) + "...\" (" + std::to_string(end) + " bytes";
        result += std::string(", then ") + (end < sizeof buf ? "NUL" : "no NUL") + ")";
    } else {
        result += " " + Buffer(buf, end < sizeof buf ? end + 1 : end);
    }
    t.Value(shown, result, known);
}

}  // namespace

#define SPRINTF(fmt, ...) Sprintf(t, nullptr, "wsprintfA(buf, " #fmt ", " #__VA_ARGS__ ")", fmt, __VA_ARGS__)
#define SPRINTF_KNOWN(id, fmt, ...) Sprintf(t, id, "wsprintfA(buf, " #fmt ", " #__VA_ARGS__ ")", fmt, __VA_ARGS__)

PROBE_SCENARIO(text_wsprintfA)
{
    SPRINTF("%d|%i|%u", -42, 17, 42u);
    SPRINTF("%u", 4294967295u);
    SPRINTF("%d", static_cast<int>(0x80000000u));
    SPRINTF("%x|%X|%#x|%#X", 255u, 255u, 255u, 255u);
    SPRINTF("%#x|%#X", 0u, 0u);
    // '#' with widths and precisions: "0x" counts in neither.
    SPRINTF("[%#5x][%-#5x][%#05x][%#5.0x]", 0u, 0u, 0u, 0u);
    SPRINTF("[%#.3x][%#8.3x][%#08X]", 5u, 5u, 5u);
    SPRINTF("[%-#8.4x][%-#8x][%#lx][%#I64x][%#I64X]", 10u, 10u, static_cast<ULONG>(0x1F), 0ULL, 0xABCULL);
    // The flags are '-', '#', '0' in this order; anything else ends the field.
    SPRINTF("[%-#x][%-#08x][%-0.3d][%00005d]", 1u, 10u, 7, 7);
    SPRINTF("[%#-5x][%0#x][%0-5d][%##x][%--5d]|%d", 7);
    SPRINTF("[%#c][%#s]", 'a', "bc");
    SPRINTF("[%5d][%-5d][%05d][%-05d]", 42, 42, -42, 42);
    SPRINTF("[%.3d][%.0d][%5.3d]", 7, 0, -7);
    // Integer precision: the minus sign counts in it, and 0 keeps its digit.
    SPRINTF("[%.0u][%.0x][%.0X][%.0i][%.d][%5.0d][%-5.0d]", 0u, 0u, 0u, 0, 0, 0, 0);
    SPRINTF("[%.3u][%.3x][%.3X][%.3x][%.5u]", 7u, 0xAu, 0xAu, 0xABCDu, 123456u);
    SPRINTF("[%.1d][%.2d][%.3d][%.4d][%.2d][%.3d]", -7, -7, -7, -7, -123, 123);
    SPRINTF("[%05.3d][%-5.3d][%05.3d][%-05.3d][%08.3u][%08.3x]", 7, 7, -7, -7, 7u, 7u);
    SPRINTF("[%3.5d][%-3.5d][%8.5d][%-8.5d][%08.5d][%12.10d]", 7, -7, -7, -7, -7, -123);
    SPRINTF("[%.11d][%.12d][%13.12d]", static_cast<int>(0x80000000u), static_cast<int>(0x80000000u),
            static_cast<int>(0x80000000u));
    SPRINTF("[%.3ld][%5.3ld][%.0ld][%.4lx]", static_cast<LONG>(-7), static_cast<LONG>(-7), static_cast<LONG>(0),
            static_cast<ULONG>(0xAB));
    SPRINTF("[%.3I64d][%8.5I64d][%.0I64d][%.20I64d]", -7LL, -7LL, 0LL, -5LL);
    SPRINTF("[%.25I64u][%-22I64d]", 18446744073709551615ULL, -9223372036854775807LL - 1);
    SPRINTF("[%.100d]", -1);
    SPRINTF("[%s][%.2s][%5s][%-5s]", "abc", "abc", "ab", "ab");
    SPRINTF("[%s]", static_cast<const char*>(nullptr));
    SPRINTF("[%s]", "\xD6\xD0\xCE\xC4");
    SPRINTF("[%c][%c]", 'A', 0xD6);
    SPRINTF("%ld|%lu|%lx", static_cast<LONG>(-1), static_cast<ULONG>(4294967295u), static_cast<ULONG>(0xABCD));
    SPRINTF("%hd|%hu|%hx", 70000, 70000, 70000);
    SPRINTF("%hd|%hu|%hX|%hi|%05.3hd", -1, -1, -1, 70000, -7);
    SPRINTF("[%hc][%hc][%5hc][%hs][%.1hs][%-5hs]", 'A', 0x1D6, 'B', "abc", "abc", "\xD6\xD0");
    // One size prefix only: the next letter is the conversion.
    SPRINTF("[%hI64d][%lhd][%hld]", 7);
    SPRINTF("%I64d|%I64u|%I64x", -5LL, 18446744073709551615ULL, 0x123456789ABCULL);
    SPRINTF("%d%%|100%%", 5);
    SPRINTF("[%+d][% d]", 5, 5);
    SPRINTF("[%o][%y][%f]", 8, 1, 2);
    SPRINTF_KNOWN("wsprintf-overlong", "%s", std::string(2000, 'x').c_str());
    SPRINTF_KNOWN("wsprintf-overlong", "%s%s", std::string(1022, 'x').c_str(), "yz");
}
