// Code-page conversion: GetACP, MultiByteToWideChar and WideCharToMultiByte for the ANSI
// code page (936, GBK) and UTF-8. The 936 table is checked whole: every single byte, every
// lead byte with every second byte, and every UTF-16 unit of the BMP.
#include <cstdio>
#include <cstring>
#include <string>

#include "Probe.h"

namespace {

constexpr WCHAR kWideFill = 0xAAAA;
constexpr char kByteFill = '#';

std::string Hex4(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%04X", v & 0xFFFFu);
    return b;
}

std::string Units(const WCHAR* w, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? " " : "") + Hex4(w[i]);
    return s;
}

std::string Bytes(const char* b, int n) { return "\"" + probe::Escaped(b, static_cast<size_t>(n)) + "\""; }

std::string CodePageName(UINT cp)
{
    switch (cp) {
    case CP_ACP: return "CP_ACP";
    case CP_OEMCP: return "CP_OEMCP";
    case CP_THREAD_ACP: return "CP_THREAD_ACP";
    case CP_UTF8: return "CP_UTF8";
    default: return std::to_string(cp);
    }
}

std::string FlagsName(DWORD flags)
{
    if (flags == 0) return "0";
    if (flags == MB_ERR_INVALID_CHARS) return "MB_ERR_INVALID_CHARS";
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", static_cast<unsigned>(flags));
    return b;
}

// One MultiByteToWideChar call. `room` units of buffer (filled beforehand), passed as
// cchWideChar `cch`; room < 0 passes NULL. Shows the result, the last error and the whole
// buffer, so that writes on failure or past the count show.
struct ToWide {
    UINT cp;
    DWORD flags;
    std::string src;
    int srcLen;  // -2: pass src.size()
    int room;
    int cch;
    const char* known = nullptr;
};

void RunToWide(probe::Transcript& t, const ToWide& c)
{
    WCHAR buf[16];
    for (WCHAR& w : buf) w = kWideFill;
    const int srcLen = c.srcLen == -2 ? static_cast<int>(c.src.size()) : c.srcLen;
    const std::string shown = "MultiByteToWideChar(" + CodePageName(c.cp) + ", " + FlagsName(c.flags) + ", " +
                              Bytes(c.src.data(), static_cast<int>(c.src.size())) + ", " + std::to_string(srcLen) +
                              ", " + (c.room < 0 ? "NULL" : "buf[" + std::to_string(c.room) + "]") + ", " +
                              std::to_string(c.cch) + ")";
    SetLastError(probe::Transcript::kUntouched);
    const int n = MultiByteToWideChar(c.cp, c.flags, c.src.data(), srcLen, c.room < 0 ? nullptr : buf, c.cch);
    const DWORD err = GetLastError();
    std::string result = std::to_string(n);
    if (c.room > 0) result += " [" + Units(buf, c.room) + "]";
    t.Call(shown.c_str(), result, err, c.known);
}

// One WideCharToMultiByte call, the same way; `def` is lpDefaultChar (NULL when null) and
// `askUsed` passes lpUsedDefaultChar (shown after the call; it starts at 7).
struct ToBytes {
    UINT cp;
    DWORD flags;
    std::u16string src;
    int srcLen;  // -2: pass src.size()
    int room;
    int cch;
    const char* def = nullptr;
    bool askUsed = false;
    const char* known = nullptr;
};

void RunToBytes(probe::Transcript& t, const ToBytes& c)
{
    char buf[24];
    std::memset(buf, kByteFill, sizeof buf);
    BOOL used = 7;
    const int srcLen = c.srcLen == -2 ? static_cast<int>(c.src.size()) : c.srcLen;
    const std::string shown = "WideCharToMultiByte(" + CodePageName(c.cp) + ", " + FlagsName(c.flags) + ", [" +
                              Units(reinterpret_cast<const WCHAR*>(c.src.data()), static_cast<int>(c.src.size())) +
                              "], " + std::to_string(srcLen) + ", " +
                              (c.room < 0 ? "NULL" : "buf[" + std::to_string(c.room) + "]") + ", " +
                              std::to_string(c.cch) + ", " +
                              (c.def ? Bytes(c.def, static_cast<int>(std::strlen(c.def))) : std::string("NULL")) +
                              ", " + (c.askUsed ? "&used" : "NULL") + ")";
    SetLastError(probe::Transcript::kUntouched);
    const int n = WideCharToMultiByte(c.cp, c.flags, reinterpret_cast<const WCHAR*>(c.src.data()), srcLen,
                                      c.room < 0 ? nullptr : buf, c.cch, c.def, c.askUsed ? &used : nullptr);
    const DWORD err = GetLastError();
    std::string result = std::to_string(n);
    if (c.room > 0) result += " " + Bytes(buf, c.room);
    if (c.askUsed) result += " used=" + std::to_string(used);
    t.Call(shown.c_str(), result, err, c.known);
}

// The units one conversion of `bytes` gives, "+" between them, and "!" when the same
// conversion with MB_ERR_INVALID_CHARS fails.
std::string OneToWide(const char* bytes, int len)
{
    WCHAR w[4];
    const int n = MultiByteToWideChar(936, 0, bytes, len, w, 4);
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "+" : "") + Hex4(w[i]);
    if (n == 0) s = "fail" + std::to_string(GetLastError());
    if (MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, len, nullptr, 0) == 0) s += "!";
    return s;
}

}  // namespace

PROBE_SCENARIO(codepage_acp)
{
    PROBE_CALL(probe::AsInt, GetACP());
    PROBE_CALL(probe::AsInt, GetOEMCP());
}

// Every byte alone: ASCII, 0x80 (the euro sign), lead bytes without their second byte, 0xFF.
PROBE_SCENARIO(codepage_936_single_bytes)
{
    for (int row = 0; row < 256; row += 32) {
        std::string line;
        for (int b = row; b < row + 32; ++b) {
            const char c = static_cast<char>(b);
            line += (b > row ? " " : "") + OneToWide(&c, 1);
        }
        t.Value(("936 bytes " + Hex4(row).substr(2) + ".." + Hex4(row + 31).substr(2)).c_str(), line);
    }
}

// Every lead byte 0x80..0xFF followed by every byte.
PROBE_SCENARIO(codepage_936_double_bytes)
{
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int part = 0; part < 256; part += 64) {
            std::string line;
            for (int trail = part; trail < part + 64; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                line += (trail > part ? " " : "") + OneToWide(pair, 2);
            }
            t.Value(("936 " + Hex4(lead << 8 | part) + ".." + Hex4(lead << 8 | (part + 63))).c_str(), line);
        }
    }
}

// Every UTF-16 unit of the BMP alone (surrogates included) to 936: the bytes, "*" when the
// default character was used, and after "|" what WC_NO_BEST_FIT_CHARS gives where it differs.
PROBE_SCENARIO(codepage_936_from_bmp)
{
    for (unsigned block = 0; block < 0x10000; block += 64) {
        std::string line;
        for (unsigned u = block; u < block + 64; ++u) {
            const WCHAR w = static_cast<WCHAR>(u);
            char b[4], strict[4];
            BOOL used = 7, strictUsed = 7;
            const int n = WideCharToMultiByte(936, 0, &w, 1, b, 4, nullptr, &used);
            const int m = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, &w, 1, strict, 4, nullptr, &strictUsed);
            std::string s;
            for (int i = 0; i < n; ++i) s += Hex4(static_cast<unsigned char>(b[i])).substr(2);
            if (n <= 0) s = "fail";
            if (used) s += used == TRUE ? "*" : "?";
            if (m != n || std::memcmp(b, strict, n > 0 ? static_cast<size_t>(n) : 0) != 0 || used != strictUsed) {
                s += "|";
                for (int i = 0; i < m; ++i) s += Hex4(static_cast<unsigned char>(strict[i])).substr(2);
                if (strictUsed) s += "*";
            }
            line += (u > block ? " " : "") + s;
        }
        t.Value(("U+" + Hex4(block) + "..U+" + Hex4(block + 63) + " to 936").c_str(), line);
    }
}

PROBE_SCENARIO(codepage_936_to_wide)
{
    const ToWide cases[] = {
        // Text, sizes only, NUL included with -1, exact and short buffers.
        {936, 0, "a\xD6\xD0\xCE\xC4z", -2, 8, 8},
        {936, 0, "a\xD6\xD0\xCE\xC4z", -2, -1, 0},
        {936, 0, std::string("a\xD6\xD0\0", 4), -1, 8, 8},
        {936, 0, std::string("a\xD6\xD0\0", 4), -1, -1, 0},
        {936, 0, std::string("a\0b", 3), -2, 4, 4},
        {936, 0, "a\xD6\xD0\xCE\xC4z", -2, 4, 4},
        {936, 0, "a\xD6\xD0\xCE\xC4z", -2, 3, 3},
        {936, 0, "a\xD6\xD0\xCE\xC4z", -2, 1, 1},
        {936, MB_ERR_INVALID_CHARS, "a\xD6\xD0\xCE\xC4z", -2, 3, 3},
        {CP_ACP, 0, "\xB4\xF3\xCC\xFC", -2, 4, 4},
        {CP_THREAD_ACP, 0, "\xB4\xF3", -2, 4, 4},
        {CP_OEMCP, 0, "\xB4\xF3", -2, 4, 4},
        // Invalid: a lead byte at the end, before NUL, before a byte outside the second-byte range.
        {936, 0, "a\x81", -2, 4, 4},
        {936, MB_ERR_INVALID_CHARS, "a\x81", -2, 4, 4},
        {936, MB_ERR_INVALID_CHARS, "a\x81", -2, -1, 0},
        {936, 0, std::string("\x81\0b", 3), -2, 4, 4},
        {936, 0, std::string("\x81\0b", 3), -1, 4, 4},
        {936, 0, "\x81\x30z", -2, 4, 4},
        {936, 0, "\x81\x7F\x81\xFFz", -2, 4, 4},
        {936, MB_ERR_INVALID_CHARS, "\x81\x30z", -2, 4, 4},
        {936, 0, "\xFF\x80\xA1", -2, 4, 4},
        {936, MB_ERR_INVALID_CHARS, "\x80", -2, 4, 4},
        {936, MB_ERR_INVALID_CHARS, "\xFF", -2, 4, 4},
        // An invalid sequence after the buffer is full: which error wins.
        {936, MB_ERR_INVALID_CHARS, "ab\x81", -2, 1, 1},
        {936, MB_ERR_INVALID_CHARS,
         "\x81"
         "ab",
         -2, 1, 1},
        // Zero and bad parameters.
        {936, 0, "abc", 0, 4, 4},
        {936, 0, "abc", 0, -1, 0},
        {936, 0, "abc", -3, 4, 4},
        {936, 0, "abc", -2, -1, 4},
        {936, 0, "abc", -2, 4, -1},
        {936, MB_PRECOMPOSED, "\xD6\xD0", -2, 4, 4},
        {936, MB_COMPOSITE, "\xD6\xD0", -2, 4, 4, "codepage-unsupported-flags"},
        {936, MB_USEGLYPHCHARS, "\xD6\xD0", -2, 4, 4, "codepage-unsupported-flags"},
        {936, MB_PRECOMPOSED | MB_COMPOSITE, "\xD6\xD0", -2, 4, 4, "codepage-unsupported-flags"},
        {936, 0x100, "\xD6\xD0", -2, 4, 4},
        {1252, 0, "abc", -2, 4, 4, "codepage-others"},
        {54936, 0, "abc", -2, 4, 4},
        {12345, 0, "abc", -2, 4, 4},
        // Which check comes first.
        {12345, 0x100, "abc", -2, 4, 4},
        {936, 0x100, "abc", 0, 4, 4},
        {12345, 0, "abc", 0, 4, 4},
    };
    for (const ToWide& c : cases) RunToWide(t, c);
    // A NULL source.
    PROBE_CALL(probe::AsInt, MultiByteToWideChar(936, 0, nullptr, 3, nullptr, 0));
    PROBE_CALL(probe::AsInt, MultiByteToWideChar(936, 0, nullptr, 0, nullptr, 0));
}

PROBE_SCENARIO(codepage_936_to_bytes)
{
    const ToBytes cases[] = {
        {936, 0, u"a\u4E2D\u6587z", -2, 8, 8, nullptr, true},
        {936, 0, u"a\u4E2D\u6587z", -2, -1, 0, nullptr, true},
        {936, 0, std::u16string(u"a\u4E2D\0", 3), -1, 8, 8},
        {936, 0, std::u16string(u"a\u4E2D\0", 3), -1, -1, 0},
        {936, 0, u"a\u4E2D\u6587z", -2, 6, 6},
        {936, 0, u"a\u4E2D\u6587z", -2, 5, 5},
        {936, 0, u"a\u4E2D\u6587z", -2, 4, 4},
        {936, 0, u"a\u4E2D\u6587z", -2, 2, 2},
        {936, 0, u"\u4E2D", -2, 1, 1},
        {CP_ACP, 0, u"\u5927\u5385", -2, 8, 8},
        {CP_OEMCP, 0, u"\u5927", -2, 8, 8},
        // The default character: unmappable, lone surrogates, a pair, best fit.
        {936, 0, u"x\u2603y", -2, 8, 8, nullptr, true},
        {936, 0, u"x\u2603y", -2, 8, 8, nullptr, false},
        {936, 0, u"x\u2603y", -2, 8, 8, "*", true},
        {936, 0, u"x\u2603y", -2, 8, 8, "\xA1\xEF", true},
        {936, 0, u"x\u2603y", -2, 8, 8, "\xA1", true},
        {936, 0, u"x\u2603y", -2, 8, 8, "ab", true},
        {936, 0, u"x\u2603y", -2, -1, 0, "\xA1\xEF", true},
        {936, 0, u"\u4E2D", -2, 8, 8, "*", true},
        {936, 0, std::u16string{0xD83D, 0xDE00, 'x'}, -2, 8, 8, nullptr, true},
        {936, 0, std::u16string{0xD800, 'x', 0xDC00}, -2, 8, 8, nullptr, true},
        {936, 0, std::u16string{0xD83D, 0xDE00}, -2, 8, 8, "\xA1\xEF", true},
        {936, 0, u"\u00A6\u00B2\u0100", -2, 8, 8, nullptr, true},
        {936, WC_NO_BEST_FIT_CHARS, u"\u00A6\u00B2\u0100", -2, 8, 8, nullptr, true},
        {936, WC_NO_BEST_FIT_CHARS, u"\u00A6\u4E2D", -2, 8, 8, "*", true},
        {936, 0, u"\u20AC\uF8F5\uE000\uE4C6", -2, 12, 12, nullptr, true},
        // A default character that does not fit the rest of the buffer.
        {936, 0, u"a\u2603", -2, 2, 2, "\xA1\xEF", true},
        // Flags.
        {936, WC_ERR_INVALID_CHARS, u"x\u2603", -2, 8, 8, nullptr, true, "wine-wc-err-invalid-chars"},
        {936, WC_ERR_INVALID_CHARS, std::u16string{'x', 0xD800}, -2, 8, 8, nullptr, true, "wine-wc-err-invalid-chars"},
        {936, WC_COMPOSITECHECK, u"x", -2, 8, 8, nullptr, false, "codepage-unsupported-flags"},
        {936, WC_DEFAULTCHAR, u"x", -2, 8, 8, nullptr, false},
        {936, WC_DISCARDNS, u"x", -2, 8, 8, nullptr, false},
        {936, WC_SEPCHARS, u"x", -2, 8, 8, nullptr, false},
        {936, 0x100, u"x", -2, 8, 8},
        // Zero and bad parameters.
        {936, 0, u"abc", 0, 8, 8},
        {936, 0, u"abc", -3, 8, 8},
        {936, 0, u"abc", -2, -1, 8},
        {936, 0, u"abc", -2, 8, -1},
        {1252, 0, u"abc", -2, 8, 8, nullptr, false, "codepage-others"},
        {12345, 0, u"abc", -2, 8, 8},
        {936, MB_ERR_INVALID_CHARS, u"x", -2, 8, 8},
        {12345, 0x100, u"abc", -2, 8, 8},
        {936, 0x100, u"abc", 0, 8, 8},
        {936, 0x100, u"abc", -2, 8, 8, nullptr, true},
    };
    for (const ToBytes& c : cases) RunToBytes(t, c);
    PROBE_CALL(probe::AsInt, WideCharToMultiByte(936, 0, nullptr, 3, nullptr, 0, nullptr, nullptr));
}

PROBE_SCENARIO(codepage_utf8_to_wide)
{
    const ToWide cases[] = {
        {CP_UTF8, 0, "a\xE4\xB8\xAD\xC3\xA9z", -2, 8, 8},
        {CP_UTF8, 0, "a\xE4\xB8\xAD\xC3\xA9z", -2, -1, 0},
        {CP_UTF8, 0, std::string("\xE4\xB8\xAD\0", 4), -1, 4, 4},
        {CP_UTF8, 0,
         "\xE4\xB8\xAD"
         "ab",
         -2, 2, 2},
        // Four bytes: a surrogate pair; a buffer with room for one of its halves.
        {CP_UTF8, 0, "\xF0\x9F\x98\x80!", -2, 4, 4},
        {CP_UTF8, 0, "\xF0\x9F\x98\x80!", -2, -1, 0},
        {CP_UTF8, 0, "a\xF0\x9F\x98\x80", -2, 2, 2, "wine-utf8-half-pair"},
        {CP_UTF8, 0, "\xF4\x8F\xBF\xBF", -2, 4, 4},
        // Invalid: stray continuation bytes, a truncated sequence, overlong forms, encoded
        // surrogates, beyond U+10FFFF, bytes that never occur.
        {CP_UTF8, 0,
         "a\x80\xBF"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0,
         "\xE4\xB8"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0, "\xE4\xB8", -2, 8, 8},
        {CP_UTF8, 0, "\xF0\x9F\x98", -2, 8, 8},
        {CP_UTF8, 0,
         "\xC0\x80\xC1\xBF"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0, "\xE0\x80\x80\xE0\x9F\xBF", -2, 8, 8},
        {CP_UTF8, 0, "\xF0\x80\x80\x80\xF0\x8F\xBF\xBF", -2, 12, 12},
        {CP_UTF8, 0,
         "\xED\xA0\x80\xED\xBF\xBF"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0, "\xED\xA0\xBD\xED\xB8\x80", -2, 8, 8},
        {CP_UTF8, 0,
         "\xF4\x90\x80\x80"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0,
         "\xF5\x80\x80\x80"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0,
         "\xF8\x88\x80\x80\x80"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0,
         "\xFE\xFF"
         "b",
         -2, 8, 8},
        {CP_UTF8, 0,
         "\xC3"
         "b\xE4"
         "c\xF0\x9F"
         "d",
         -2, 8, 8, "wine-utf8-cut-at-end"},
        {CP_UTF8, 0, std::string("\xE4\0b", 3), -2, 8, 8},
        {CP_UTF8, 0,
         "\xEF\xBB\xBF"
         "a\xEF\xBF\xBF\xEF\xBF\xBE",
         -2, 8, 8},
        {CP_UTF8, MB_ERR_INVALID_CHARS,
         "a\x80"
         "b",
         -2, 8, 8},
        {CP_UTF8, MB_ERR_INVALID_CHARS, "a\xED\xA0\x80", -2, 8, 8},
        {CP_UTF8, MB_ERR_INVALID_CHARS, "a\xE4\xB8", -2, -1, 0},
        {CP_UTF8, MB_ERR_INVALID_CHARS, "a\xF0\x9F\x98\x80", -2, -1, 0},
        {CP_UTF8, MB_ERR_INVALID_CHARS, "ab\x80", -2, 1, 1},
        {CP_UTF8, MB_ERR_INVALID_CHARS,
         "\x80"
         "ab",
         -2, 1, 1},
        // Cut off by the end of the input.
        {CP_UTF8, 0,
         "\xF0\x9F"
         "d",
         -2, 8, 8, "wine-utf8-cut-at-end"},
        {CP_UTF8, 0,
         "\xE4"
         "a",
         -2, 8, 8, "wine-utf8-cut-at-end"},
        {CP_UTF8, 0, "\xF4\x90\x80", -2, 8, 8, "wine-utf8-cut-at-end"},
        {CP_UTF8, 0, "\xF0\x80", -2, 8, 8},
        // Flags and parameters.
        {CP_UTF8, MB_PRECOMPOSED, "a", -2, 4, 4},
        {CP_UTF8, MB_USEGLYPHCHARS, "a", -2, 4, 4, "codepage-unsupported-flags"},
        {CP_UTF8, 0, "abc", 0, 4, 4},
        {CP_UTF8, 0, "abc", -2, 4, -1},
    };
    for (const ToWide& c : cases) RunToWide(t, c);
}

PROBE_SCENARIO(codepage_utf8_to_bytes)
{
    const ToBytes cases[] = {
        {CP_UTF8, 0, u"a\u00E9\u4E2Dz", -2, 12, 12},
        {CP_UTF8, 0, u"a\u00E9\u4E2Dz", -2, -1, 0},
        {CP_UTF8, 0, std::u16string(u"\u4E2D\0", 2), -1, 8, 8},
        {CP_UTF8, 0, u"a\u4E2D", -2, 3, 3},
        {CP_UTF8, 0, u"\u007F\u0080\u07FF\u0800\uFFFF", -2, 16, 16},
        // Surrogates: a pair, lone halves, a pair in the wrong order, a pair cut by the end.
        {CP_UTF8, 0, std::u16string{0xD83D, 0xDE00}, -2, 8, 8},
        {CP_UTF8, 0, std::u16string{0xD83D, 0xDE00}, -2, 3, 3},
        {CP_UTF8, 0, std::u16string{'a', 0xD800, 'b'}, -2, 8, 8},
        {CP_UTF8, 0, std::u16string{'a', 0xDC00, 'b'}, -2, 8, 8},
        {CP_UTF8, 0, std::u16string{0xDE00, 0xD83D}, -2, 8, 8},
        {CP_UTF8, 0, std::u16string{'a', 0xD83D}, -2, 8, 8},
        {CP_UTF8, WC_ERR_INVALID_CHARS, std::u16string{'a', 0xD800, 'b'}, -2, 8, 8},
        {CP_UTF8, WC_ERR_INVALID_CHARS, std::u16string{'a', 0xD800, 'b'}, -2, -1, 0},
        {CP_UTF8, WC_ERR_INVALID_CHARS, std::u16string{0xD83D, 0xDE00}, -2, 8, 8},
        // No default character in UTF-8, nor flags other than WC_ERR_INVALID_CHARS.
        {CP_UTF8, 0, u"a", -2, 8, 8, nullptr, true, "wine-utf8-default-char"},
        {CP_UTF8, 0, u"a", -2, 8, 8, "?", false, "wine-utf8-default-char"},
        {CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", -2, 8, 8},
        {CP_UTF8, WC_COMPOSITECHECK, u"a", -2, 8, 8, nullptr, false, "codepage-unsupported-flags"},
        {CP_UTF8, MB_ERR_INVALID_CHARS, u"a", -2, 8, 8},
        {CP_UTF8, WC_DISCARDNS, u"a", -2, 8, 8},
        {CP_UTF8, WC_DEFAULTCHAR, u"a", -2, 8, 8},
        {CP_UTF8, 0, u"abc", 0, 8, 8},
        {CP_UTF8, 0, u"abc", -2, 8, -1},
    };
    for (const ToBytes& c : cases) RunToBytes(t, c);
}
