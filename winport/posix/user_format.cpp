// wsprintfA / wvsprintfA: the Win32 subset of printf, with the Win32 rules rather than C's.
// A field is %[-][#][0][width][.precision][size]type, the flags in that order and each at
// most once (anything else ends the field and is taken as its conversion character).
// Conversions d i u x X c s p and %%; '*' is not supported, as on Windows. The size prefix
// l and a plain int are 32 bits (a Windows LONG), I64 is 64 bits, and h changes nothing:
// integers are formatted at their full 32 bits, and %hc / %hs are the narrow character and
// string that %c / %s already are. Integer fields differ from C's printf:
// - the precision is the least number of characters of sign and digits together, so
//   "%.3d" of -7 is "-07", and a precision of 0 still writes the digit of 0;
// - the '0' flag fills the width with zeros after the sign even when there is a precision;
// - the "0x" / "0X" of '#' is written for every value, 0 included, and counts in neither
//   the width nor the precision ("%#5x" of 0 is "    0x0").
// Output stops at 1023 characters and a terminator, the size limit of these functions. An
// unknown conversion character is written as it is.
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
    if (*p == '-') {
        s.left = true;
        ++p;
    }
    if (*p == '#') {
        s.alternate = true;
        ++p;
    }
    if (*p == '0') {
        s.zero = true;
        ++p;
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

// Writes a field: `sign`, `zeros` zeros and the text, padded with spaces to the width;
// `prefix` goes first, outside the width.
void WriteField(Output& out, const FormatField& s, const char* prefix, const char* sign, int zeros,
                const char* text, int length)
{
    const int body = static_cast<int>(std::strlen(sign)) + zeros + length;
    const int pad = s.width > body ? s.width - body : 0;
    if (!s.left) out.Repeat(' ', pad);
    for (const char* c = prefix; *c; ++c) out.Put(*c);
    for (const char* c = sign; *c; ++c) out.Put(*c);
    out.Repeat('0', zeros);
    for (int i = 0; i < length; ++i) out.Put(text[i]);
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

// Plain, l and h fields all take a 32-bit int.
std::uint64_t TakeUnsigned(const FormatField& s, va_list& ap)
{
    if (s.size == 'q') return va_arg(ap, std::uint64_t);
    return va_arg(ap, unsigned);
}

std::int64_t TakeSigned(const FormatField& s, va_list& ap)
{
    if (s.size == 'q') return va_arg(ap, std::int64_t);
    return va_arg(ap, int);
}

void WriteNumber(Output& out, const FormatField& s, va_list& ap)
{
    char digits[24];
    const char* prefix = "";
    const char* sign = "";
    std::uint64_t magnitude;
    unsigned base = 10;
    if (s.type == 'd' || s.type == 'i') {
        const std::int64_t v = TakeSigned(s, ap);
        magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        if (v < 0) sign = "-";
    } else {
        magnitude = TakeUnsigned(s, ap);
        if (s.type == 'x' || s.type == 'X') {
            base = 16;
            if (s.alternate) prefix = s.type == 'x' ? "0x" : "0X";
        }
    }
    const int n = ToDigits(magnitude, base, s.type == 'X', digits);
    // The sign counts in the precision as in the width.
    const int signedLength = static_cast<int>(std::strlen(sign)) + n;
    int minimum = s.precision > signedLength ? s.precision : signedLength;
    if (s.zero && !s.left && s.width > minimum) minimum = s.width;
    WriteField(out, s, prefix, sign, minimum - signedLength, digits, n);
}

void WritePointer(Output& out, const FormatField& s, va_list& ap)
{
    char digits[24];
    const std::uint64_t v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
    const int n = ToDigits(v, 16, true, digits);
    WriteField(out, s, "", "", static_cast<int>(sizeof(void*) * 2) - n, digits, n);
}

void WriteString(Output& out, const FormatField& s, const char* text)
{
    if (!text) text = "(null)";
    int n = 0;
    while (text[n] && (s.precision < 0 || n < s.precision)) ++n;
    WriteField(out, s, "", "", 0, text, n);
}

void WriteChar(Output& out, const FormatField& s, char c)
{
    WriteField(out, s, "", "", 0, &c, 1);
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
