// GetACP, MultiByteToWideChar and WideCharToMultiByte for code page 936 (the ANSI code
// page of a Chinese Windows) and UTF-8, with Windows' results for what does not convert.
// Tables only: nothing here depends on the C library's locale or iconv.
#include "winport/posix/kernel/codepage.h"

#include <climits>
#include <cstring>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/kernel.h"

namespace winport {

namespace {

constexpr UINT kGbk = 936;
constexpr WCHAR kGbkInvalid = u'?';  // what 936 gives for a sequence it cannot read
constexpr WCHAR kReplacement = 0xFFFD;
constexpr unsigned char kEuroByte = 0x80;
constexpr unsigned char kLastByte = 0xFF;
constexpr WCHAR kEuro = 0x20AC;
constexpr WCHAR kLastByteUnit = 0xF8F5;

enum class Page { Gbk, Utf8, Unknown };

Page PageOf(UINT codePage)
{
    switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:
    case CP_THREAD_ACP:
    case kGbk: return Page::Gbk;
    case CP_UTF8: return Page::Utf8;
    default: return Page::Unknown;
    }
}

bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

bool IsHighSurrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }

bool IsLowSurrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Where the output goes: counted only (no buffer), or written while there is room.
template <class Unit>
class Output {
public:
    Output(Unit* buffer, int room) : buffer_(buffer), room_(room) {}
    // Writes n units at once, or nothing when they do not all fit (nor does a count past
    // INT_MAX, which a size-only call of a long text could reach).
    bool Put(const Unit* units, int n)
    {
        if (n > INT_MAX - count_) return false;
        if (buffer_) {
            if (room_ - count_ < n) return false;
            std::memcpy(buffer_ + count_, units, sizeof(Unit) * static_cast<std::size_t>(n));
        }
        count_ += n;
        return true;
    }
    int Count() const { return count_; }

private:
    Unit* const buffer_;
    const int room_;
    int count_ = 0;
};

// ---- code page 936 -------------------------------------------------------------------------

// One character of 936 text at s[i], i < n; advances i. `valid` is false for what
// MB_ERR_INVALID_CHARS refuses: a lead byte at the end, or before NUL (the NUL stays) or
// before a byte that cannot follow it (taken with it), and 0xFF.
WCHAR ReadGbk(const unsigned char* s, int n, int& i, bool& valid)
{
    const unsigned char b = s[i++];
    valid = true;
    if (b < 0x80) return b;
    if (b == kEuroByte) return kEuro;
    if (b == kLastByte) {
        valid = false;
        return kLastByteUnit;
    }
    if (i == n || s[i] == 0) {
        valid = false;
        return kGbkInvalid;
    }
    const WCHAR unit = CodePage936Unit(b, s[i++]);
    valid = unit != 0;
    return valid ? unit : kGbkInvalid;
}

int GbkToWide(DWORD flags, const unsigned char* s, int n, WCHAR* out, int room)
{
    bool valid = true;
    if (flags & MB_ERR_INVALID_CHARS) {
        for (int i = 0; i < n && valid;) ReadGbk(s, n, i, valid);
        if (!valid) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    }
    Output<WCHAR> o(out, room);
    for (int i = 0; i < n;) {
        const WCHAR unit = ReadGbk(s, n, i, valid);
        if (!o.Put(&unit, 1)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    return o.Count();
}

// Unicode to 936: a code per BMP unit (0 = none; U+0000 is the byte 0), and whether it is
// a character's own code or a best fit. Made from the 936 table on first use.
class GbkEncoder {
public:
    GbkEncoder()
    {
        for (unsigned b = 0; b < 0x80; ++b) code_[b] = static_cast<std::uint16_t>(b);
        for (int lead = 0; lead < kCodePage936Leads; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                const char16_t unit =
                    CodePage936Unit(static_cast<unsigned char>(0x81 + lead), static_cast<unsigned char>(trail));
                if (unit) code_[unit] = static_cast<std::uint16_t>((0x81 + lead) << 8 | trail);
            }
        }
        code_[kEuro] = kEuroByte;
        code_[kLastByteUnit] = kLastByte;
        for (const CodePageBestFit& f : kCodePage936BestFit) {
            if (code_[f.unit] == 0) {
                code_[f.unit] = f.code;
                bestFit_[f.unit / 8] = static_cast<std::uint8_t>(bestFit_[f.unit / 8] | 1u << (f.unit % 8));
            }
        }
    }
    // The code of `unit`, 0 when 936 has none (or only a best fit, and that is not wanted).
    std::uint16_t Code(WCHAR unit, bool bestFit) const
    {
        if (!bestFit && (bestFit_[unit / 8] >> (unit % 8) & 1)) return 0;
        return unit == 0 ? 0x100 : code_[unit];  // 0x100: the byte 0
    }

private:
    std::uint16_t code_[0x10000] = {};
    std::uint8_t bestFit_[0x10000 / 8] = {};
};

const GbkEncoder& Encoder()
{
    static const GbkEncoder encoder;
    return encoder;
}

// Bytes of a 936 code (as Code gives it) into b[2]; their number.
int CodeBytes(std::uint16_t code, char* b)
{
    if (code == 0x100) {
        b[0] = 0;
        return 1;
    }
    if (code < 0x100) {
        b[0] = static_cast<char>(code);
        return 1;
    }
    b[0] = static_cast<char>(code >> 8);
    b[1] = static_cast<char>(code & 0xFF);
    return 2;
}

int WideToGbk(DWORD flags, const WCHAR* s, int n, char* out, int room, LPCSTR defaultChar, LPBOOL usedDefault)
{
    // A default character of two non-zero bytes is a double-byte one; else its first byte.
    char fallback[2] = {'?', 0};
    int fallbackLength = 1;
    if (defaultChar) {
        fallback[0] = defaultChar[0];
        fallbackLength = defaultChar[0] && defaultChar[1] ? 2 : 1;
        if (fallbackLength == 2) fallback[1] = defaultChar[1];
    }
    if (usedDefault) *usedDefault = FALSE;
    const GbkEncoder& encoder = Encoder();
    const bool bestFit = !(flags & WC_NO_BEST_FIT_CHARS);
    Output<char> o(out, room);
    for (int i = 0; i < n; ++i) {
        const std::uint16_t code = encoder.Code(s[i], bestFit);
        char bytes[2];
        bool fits;
        if (code) {
            fits = o.Put(bytes, CodeBytes(code, bytes));
        } else {
            if (usedDefault) *usedDefault = TRUE;
            fits = o.Put(fallback, fallbackLength);
        }
        if (!fits) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    return o.Count();
}

// ---- UTF-8 ---------------------------------------------------------------------------------

constexpr long kInvalid = -1;

// One UTF-8 sequence at s[i], i < n; advances i past what it takes. An invalid sequence
// takes, as Windows does, its lead byte and the continuation bytes read before the error
// showed, except a continuation byte that would make it exceed U+10FFFF; it gives kInvalid.
// A sequence cut off by the end of the input is one invalid sequence.
long ReadUtf8(const unsigned char* s, int n, int& i)
{
    const unsigned char b = s[i++];
    if (b < 0x80) return b;
    const int more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
    if (more == 0) return kInvalid;
    long cp = b & (0x7F >> (more + 1));
    for (int k = more; k > 0; --k) {
        if (i == n || (s[i] & 0xC0) != 0x80) return kInvalid;
        const long next = cp << 6 | (s[i] & 0x3F);
        if (k == 2 && next >= (0x110000 >> 6)) return kInvalid;
        ++i;
        cp = next;
        // Overlong forms and encoded surrogates show after the first continuation byte.
        if (k == 3 && cp < (0x10000 >> 12)) return kInvalid;
        if (k == 2 && more == 2 && (cp < (0x800 >> 6) || (cp >= (0xD800 >> 6) && cp <= (0xDFFF >> 6)))) return kInvalid;
    }
    return cp;
}

int Utf8ToWide(DWORD flags, const unsigned char* s, int n, WCHAR* out, int room)
{
    Output<WCHAR> o(out, room);
    bool valid = true;
    for (int i = 0; i < n;) {
        const long cp = ReadUtf8(s, n, i);
        WCHAR units[2];
        int count = 1;
        if (cp == kInvalid) {
            valid = false;
            units[0] = kReplacement;
        } else if (cp >= 0x10000) {
            units[0] = static_cast<WCHAR>(0xD800 | (cp - 0x10000) >> 10);
            units[1] = static_cast<WCHAR>(0xDC00 | (cp & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<WCHAR>(cp);
        }
        if (!o.Put(units, count)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    // Windows converts all of it before it refuses an invalid sequence.
    if (!valid && (flags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    return o.Count();
}

int WideToUtf8(DWORD flags, const WCHAR* s, int n, char* out, int room)
{
    Output<char> o(out, room);
    bool valid = true;
    for (int i = 0; i < n; ++i) {
        unsigned long cp = s[i];
        if (IsHighSurrogate(cp) && i + 1 < n && IsLowSurrogate(s[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00u);
        } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
            valid = false;
            cp = kReplacement;
        }
        char b[4];
        int count;
        if (cp < 0x80) {
            b[0] = static_cast<char>(cp);
            count = 1;
        } else if (cp < 0x800) {
            b[0] = static_cast<char>(0xC0 | cp >> 6);
            b[1] = static_cast<char>(0x80 | (cp & 0x3F));
            count = 2;
        } else if (cp < 0x10000) {
            b[0] = static_cast<char>(0xE0 | cp >> 12);
            b[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            b[2] = static_cast<char>(0x80 | (cp & 0x3F));
            count = 3;
        } else {
            b[0] = static_cast<char>(0xF0 | cp >> 18);
            b[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            b[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            b[3] = static_cast<char>(0x80 | (cp & 0x3F));
            count = 4;
        }
        if (!o.Put(b, count)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    if (!valid && (flags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    return o.Count();
}

// The flags each direction takes. MB_PRECOMPOSED changes nothing in these code pages, nor
// do WC_DISCARDNS, WC_SEPCHARS and WC_DEFAULTCHAR without WC_COMPOSITECHECK; composition
// (MB_COMPOSITE, WC_COMPOSITECHECK) and glyph characters are not supported.
constexpr DWORD kToWideFlags = MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
constexpr DWORD kToBytesFlags = WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;

}  // namespace

char16_t CodePage936Unit(unsigned char lead, unsigned char trail)
{
    if (!IsLead(lead) || trail < 0x40 || trail == 0x7F || trail == 0xFF) return 0;
    const int column = trail < 0x7F ? trail - 0x40 : trail - 0x41;
    return kCodePage936Double[(lead - 0x81) * kCodePage936Trails + column];
}

}  // namespace winport

extern "C" {

UINT WINAPI GetACP(void) { return winport::kGbk; }

UINT WINAPI GetOEMCP(void) { return winport::kGbk; }

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    using namespace winport;
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (!lpWideCharStr && cchWideChar))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    const Page page = PageOf(CodePage);
    if (page == Page::Unknown) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (dwFlags & ~kToWideFlags) return Fail(ERROR_INVALID_FLAGS, 0);
    // Any negative length is a NUL-terminated string, the NUL included.
    const int n = cbMultiByte < 0 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
    const auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    WCHAR* out = cchWideChar ? lpWideCharStr : nullptr;
    return page == Page::Gbk ? GbkToWide(dwFlags, s, n, out, cchWideChar) : Utf8ToWide(dwFlags, s, n, out, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    using namespace winport;
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (!lpMultiByteStr && cbMultiByte))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    const Page page = PageOf(CodePage);
    if (page == Page::Unknown) return Fail(ERROR_INVALID_PARAMETER, 0);
    const DWORD allowed = page == Page::Utf8 ? kToBytesFlags | WC_ERR_INVALID_CHARS : kToBytesFlags;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS, 0);
    // UTF-8 has every character: no default character to give or report.
    if (page == Page::Utf8 && (lpDefaultChar || lpUsedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER, 0);
    int n = cchWideChar;
    if (n < 0) {
        n = 0;
        while (lpWideCharStr[n]) ++n;
        ++n;
    }
    char* out = cbMultiByte ? lpMultiByteStr : nullptr;
    return page == Page::Gbk ? WideToGbk(dwFlags, lpWideCharStr, n, out, cbMultiByte, lpDefaultChar, lpUsedDefaultChar)
                             : WideToUtf8(dwFlags, lpWideCharStr, n, out, cbMultiByte);
}

}  // extern "C"
