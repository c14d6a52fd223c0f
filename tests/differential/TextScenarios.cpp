// String helpers of the user API: lstrcpynA and wsprintfA, byte for byte.
#include <cstring>
#include <string>

#include "Probe.h"

namespace {

// The buffer after a call, filler included, so that writes past the terminator show.
std::string Buffer(const char* buf, size_t size) { return "\"" + probe::Escaped(buf, size) + "\""; }

}  // namespace

PROBE_SCENARIO(text_lstrcpynA)
{
    struct Case {
        const char* src;
        int max;
    };
    const Case cases[] = {
        {"hello", 0},
        {"hello", 1},
        {"hello", 2},
        {"hello", 5},
        {"hello", 6},
        {"hello", 12},
        {"", 1},
        {"", 4},
        // Double-byte GBK text cut inside a character and after it.
        {"\xD6\xD0\xCE\xC4", 2},
        {"\xD6\xD0\xCE\xC4", 3},
        {"\xD6\xD0\xCE\xC4", 4},
        {"\xD6\xD0\xCE\xC4", 5},
        {"a\xD6\xD0", 3},
    };
    for (const Case& c : cases) {
        char buf[12];
        std::memset(buf, '#', sizeof buf);
        const char* r = lstrcpynA(buf, c.src, c.max);
        t.Value(
            ("lstrcpynA(buf, \"" + probe::Escaped(c.src, std::strlen(c.src)) + "\", " + std::to_string(c.max) + ")").c_str(),
            std::string(r == buf       ? "buf"
                        : r == nullptr ? "NULL"
                                       : "other") +
                " " + Buffer(buf, sizeof buf));
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
    // Precision 0 is no precision, for strings too.
    SPRINTF("[%.0s][%.s][%.0hs][%.0c][%.1s]", "ab", "ab", "ab", 'a', "\xD6\xD0");
    SPRINTF_KNOWN("wsprintf-overlong", "%s", std::string(2000, 'x').c_str());
    SPRINTF_KNOWN("wsprintf-overlong", "%2000y|%d", 1);
    SPRINTF_KNOWN("wsprintf-overlong", "%s%s", std::string(1022, 'x').c_str(), "yz");
}

PROBE_SCENARIO(text_wsprintfA_pointer)
{
    void* const p = reinterpret_cast<void*>(static_cast<ULONG_PTR>(0x1234));
    void* const big = reinterpret_cast<void*>(static_cast<ULONG_PTR>(0x123456789ABCDEF0ULL));
    // The width is always 16 digits; the precision can ask for more.
    SPRINTF("[%p][%.20p]", p, p);
    SPRINTF("[%.17p][%.3p][%5p]", p, p, p);
    SPRINTF("[%20p][%020p]", p, p);
    SPRINTF("[%-p][%-20p][%-.3p]", p, p, p);
    SPRINTF("[%#p][%-#p]", p, p);
    SPRINTF("[%#.20p][%#020p]", p, p);
    SPRINTF("[%-.17p][%#.3p]", p, p);
    SPRINTF("[%p][%.3p]", big, big);
    SPRINTF("[%p][%lp][%I64p]", static_cast<void*>(nullptr), p, p);
    SPRINTF("[%#-p]|%d", 7);
}

PROBE_SCENARIO(text_wsprintfA_unknown)
{
    // An unknown conversion writes the padding of its field (width less precision, none when
    // left-aligned); the character itself is then read as text.
    SPRINTF("[%5y][%-5y][%1y][%0y][%05y][%#5y]|%d", 1);
    SPRINTF("[%5.2y][%.3y][%-5.2y][%5.7y][%5.0y]|%d", 1);
    SPRINTF("[%5%][%#%][%-5%][%.2%][%05%]|%d", 1);
    SPRINTF("[%5%5%5y][%-5%d][%5%d]", 7, 8);
    SPRINTF("[%l%][%h%][%I64%][%5ly][%5hy][%5I64y]|%d", 1);
    SPRINTF("[%5\xD6\xD0]|%d", 1);
    // The format ends inside a field.
    SPRINTF("[%5", 1);
    SPRINTF("[%-5", 1);
    SPRINTF("[%5.2", 1);
    SPRINTF("[%I32", 1);
    SPRINTF("[%", 1);
}

PROBE_SCENARIO(text_wsprintfA_sizes)
{
    // I is pointer-sized, I32 is 32 bits.
    SPRINTF("[%Id][%5Id][%Ix][%Iu]", static_cast<INT_PTR>(-5), static_cast<INT_PTR>(5), static_cast<ULONG_PTR>(255),
            static_cast<ULONG_PTR>(0x100000005ULL));
    SPRINTF("[%Id][%I32d][%I32x][%I32u]", static_cast<INT_PTR>(-5000000000LL), 5, 255u, 4294967295u);
    SPRINTF("[%I][%I6d][%I3d][%II64d][%I32I64d][%lI32d][%I32ld]|%d", 7);
    SPRINTF("[%IIId][%hId][%Ihd][%I64I][%I%][%I32I32d]|%d", 7);
    SPRINTF("[%Is][%I32c][%I64s][%I64c]", "ab", 'a', "cd", 'e');
}

PROBE_SCENARIO(text_wsprintfA_wide)
{
    static const WCHAR text[] = {'a', 0x4E2D, 0x6587, 'z', 0};  // "a中文z"
    const WCHAR* const none = nullptr;
    // S and C are wide unless h makes them narrow; l makes s and c wide.
    SPRINTF("[%ls][%S][%lS][%IS]", text, text, text, text);
    SPRINTF("[%lc][%C][%lC][%IC][%I64S]", static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>(0x6587),
            static_cast<WCHAR>('A'), static_cast<WCHAR>(0x5B57), text + 3);
    SPRINTF("[%hS][%hC][%I64c]", "ab", 'c', 'd');
    // Width and precision count the bytes of the converted text.
    SPRINTF("[%.1ls][%.2ls][%.3ls][%.0ls]", text, text, text, text);
    SPRINTF("[%8ls][%-8ls][%8.3ls]", text, text, text);
    SPRINTF("[%5lc][%-5lc][%8.1lc]", static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>(0x4E2D), static_cast<WCHAR>(0x4E2D));
    SPRINTF("[%05s][%05c][%05ls][%05lc]", "ab", 'c', text + 3, static_cast<WCHAR>('d'));
    SPRINTF("[%#ls][%#lc]", text, static_cast<WCHAR>('q'));
    SPRINTF("[%ls][%S][%.3ls]", none, none, none);
    // The ANSI code page is GBK: what it has no character for becomes '?', and each half of a
    // surrogate pair on its own.
    static const WCHAR mixed[] = {0x5B57, 0x00B7, 0x20AC, 0x3000, 0xFF01, 0x2603, 0x00A0, 0x0080, 0x00FF, 0xFFFF, 0};
    SPRINTF("[%ls]", mixed);
    static const WCHAR surrogates[] = {0xD83D, 0xDE00, 'x', 0xDC00, 0xD800, 0};
    SPRINTF("[%ls]", surrogates);
    // A wide character is 16 bits: only the low half of the int is taken.
    SPRINTF("[%lc][%lc][%lc][%lc][%c]", 0x20AC, 0x2603, 0x14E2D, 0xD800, 0x4E2D);
    SPRINTF("[%lc][%5lc][%c]", 0, 0, 0);
    static const WCHAR beyond[] = {0xE000, 0xE4C5, 0xE765, 0xF8F5, 0x0100, 0};
    SPRINTF("[%ls]", beyond);
    SPRINTF_KNOWN("wsprintf-overlong", "%ls", std::basic_string<WCHAR>(600, 0x4E2D).c_str());
}
