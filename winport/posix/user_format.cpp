// wsprintfA / wvsprintfA: the Win32 subset of printf. Conversions d i u x X c s p and %%,
// flags '-' '0' '#', width and precision as digits ('*' is not supported, as on Windows),
// size prefixes h, l (32 bits, as a Windows LONG) and I64. Output stops at 1023 characters
// and a terminator, the size limit of these functions. An unknown conversion character is
// written as it is.
#include <cstdint>
#include <cstring>

#include "include/windows.h"

namespace {

constexpr int kOutputLimit = 1024;

class Output {
public:
    explicit Output(char* out) : out_(out) {}
    void Put(char c)
    {
        if (length_ < kOutputLimit - 1) out_[length_++] = c;
    }
    void Repeat(char c, int n)
    {
        for (int i = 0; i < n; ++i) Put(c);
    }
    int Finish()
    {
        out_[length_] = '\0';
        return length_;
    }

private:
    char* out_;
    int length_ = 0;
};

struct FormatField {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    char size = 0;  // 'h', 'l', 'q' (I64)
    char type = 0;
};

int ReadNumber(const char*& p)
{
    int n = 0;
    while (*p >= '0' && *p <= '9') {
        if (n < kOutputLimit) n = n * 10 + (*p - '0');
        ++p;
    }
    return n;
}

// Parses what follows '%'; p is left on the conversion character.
FormatField ParseField(const char*& p)
{
    FormatField s;
    for (;; ++p) {
        if (*p == '-') s.left = true;
        else if (*p == '0') s.zero = true;
        else if (*p == '#') s.alternate = true;
        else break;
    }
    s.width = ReadNumber(p);
    if (*p == '.') {
        ++p;
        s.precision = ReadNumber(p);
    }
    if (*p == 'h' || *p == 'l') {
        s.size = *p++;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
        s.size = 'q';
        p += 3;
    }
    s.type = *p;
    return s;
}

// Writes body (with its sign or prefix) padded to the width.
void WritePadded(Output& out, const FormatField& s, const char* prefix, const char* digits, int digitCount)
{
    const int prefixLength = static_cast<int>(std::strlen(prefix));
    const int zeros = s.precision > digitCount ? s.precision - digitCount : 0;
    int pad = s.width - prefixLength - zeros - digitCount;
    if (pad < 0) pad = 0;
    const bool zeroPad = s.zero && !s.left && s.precision < 0;
    if (!s.left && !zeroPad) out.Repeat(' ', pad);
    for (const char* c = prefix; *c; ++c) out.Put(*c);
    if (zeroPad) out.Repeat('0', pad);
    out.Repeat('0', zeros);
    for (int i = 0; i < digitCount; ++i) out.Put(digits[i]);
    if (s.left) out.Repeat(' ', pad);
}

int ToDigits(std::uint64_t value, unsigned base, bool upper, char* buf)
{
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = set[value % base];
        value /= base;
    } while (value);
    for (int i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
    return n;
}

std::uint64_t TakeUnsigned(const FormatField& s, va_list& ap)
{
    if (s.size == 'q') return va_arg(ap, std::uint64_t);
    const unsigned v = va_arg(ap, unsigned);
    return s.size == 'h' ? static_cast<unsigned short>(v) : v;
}

std::int64_t TakeSigned(const FormatField& s, va_list& ap)
{
    if (s.size == 'q') return va_arg(ap, std::int64_t);
    const int v = va_arg(ap, int);
    return s.size == 'h' ? static_cast<short>(v) : v;
}

void WriteNumber(Output& out, const FormatField& s, va_list& ap)
{
    char digits[24];
    const char* prefix = "";
    std::uint64_t magnitude;
    unsigned base = 10;
    if (s.type == 'd' || s.type == 'i') {
        const std::int64_t v = TakeSigned(s, ap);
        magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        if (v < 0) prefix = "-";
    } else {
        magnitude = TakeUnsigned(s, ap);
        if (s.type == 'x' || s.type == 'X') {
            base = 16;
            if (s.alternate && magnitude) prefix = s.type == 'x' ? "0x" : "0X";
        }
    }
    // Precision 0 with the value 0 writes no digits, as printf does.
    const int n = (s.precision == 0 && magnitude == 0) ? 0 : ToDigits(magnitude, base, s.type == 'X', digits);
    WritePadded(out, s, prefix, digits, n);
}

void WritePointer(Output& out, const FormatField& s, va_list& ap)
{
    char digits[24];
    const std::uint64_t v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
    const int n = ToDigits(v, 16, true, digits);
    FormatField fixed = s;
    fixed.precision = static_cast<int>(sizeof(void*) * 2);
    WritePadded(out, fixed, "", digits, n);
}

void WriteString(Output& out, const FormatField& s, const char* text)
{
    if (!text) text = "(null)";
    int n = 0;
    while (text[n] && (s.precision < 0 || n < s.precision)) ++n;
    FormatField plain = s;
    plain.precision = -1;
    plain.zero = false;
    WritePadded(out, plain, "", text, n);
}

void WriteChar(Output& out, const FormatField& s, char c)
{
    FormatField plain = s;
    plain.precision = -1;
    plain.zero = false;
    WritePadded(out, plain, "", &c, 1);
}

}  // namespace

extern "C" {

int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist)
{
    if (!lpOut) return 0;
    Output out(lpOut);
    if (!lpFmt) return out.Finish();
    va_list ap;
    va_copy(ap, arglist);
    for (const char* p = lpFmt; *p; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        ++p;
        const FormatField s = ParseField(p);
        if (!*p) break;
        switch (s.type) {
        case 'd': case 'i': case 'u': case 'x': case 'X': WriteNumber(out, s, ap); break;
        case 'c': WriteChar(out, s, static_cast<char>(va_arg(ap, int))); break;
        case 's': WriteString(out, s, va_arg(ap, const char*)); break;
        case 'p': WritePointer(out, s, ap); break;
        default: out.Put(s.type); break;  // "%%" and unknown conversions
        }
    }
    va_end(ap);
    return out.Finish();
}

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    va_list ap;
    va_start(ap, lpFmt);
    const int n = wvsprintfA(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

}  // extern "C"
