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
    SPRINTF_KNOWN("wsprintf-alt-zero", "%#x", 0u);
    SPRINTF("[%5d][%-5d][%05d][%-05d]", 42, 42, -42, 42);
    SPRINTF_KNOWN("wsprintf-int-precision", "[%.3d][%.0d][%5.3d]", 7, 0, -7);
    SPRINTF("[%s][%.2s][%5s][%-5s]", "abc", "abc", "ab", "ab");
    SPRINTF("[%s]", static_cast<const char*>(nullptr));
    SPRINTF("[%s]", "\xD6\xD0\xCE\xC4");
    SPRINTF("[%c][%c]", 'A', 0xD6);
    SPRINTF("%ld|%lu|%lx", static_cast<LONG>(-1), static_cast<ULONG>(4294967295u), static_cast<ULONG>(0xABCD));
    SPRINTF_KNOWN("wsprintf-h-ignored", "%hd|%hu|%hx", 70000, 70000, 70000);
    SPRINTF("%I64d|%I64u|%I64x", -5LL, 18446744073709551615ULL, 0x123456789ABCULL);
    SPRINTF("%d%%|100%%", 5);
    SPRINTF("[%+d][% d]", 5, 5);
    SPRINTF("[%o][%y][%f]", 8, 1, 2);
    SPRINTF_KNOWN("wsprintf-overlong", "%s", std::string(2000, 'x').c_str());
    SPRINTF_KNOWN("wsprintf-overlong", "%s%s", std::string(1022, 'x').c_str(), "yz");
}
