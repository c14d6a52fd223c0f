// wsprintfA / wvsprintfA: the Win32 subset of printf, with the Win32 rules rather than C's.
// A field is %[-][#][0][width][.precision][size]type, the flags in that order and each at
// most once (anything else ends the field and is taken as its conversion character).
// Conversions d i u x X c C s S p; "%%" (nothing between) is a '%'; '*' is not supported,
// as on Windows. Size prefixes: h, l, I64, I32 and a lone I (pointer-sized, 64 bits here);
// a plain int and l are 32 bits (a Windows LONG), and h changes nothing for integers.
// Characters and strings are narrow (c s) or wide (C S, 16-bit WCHAR); h makes them
// narrow, l wide. Integer fields differ from C's printf:
// - the precision is the least number of characters of sign and digits together, so
//   "%.3d" of -7 is "-07", and a precision of 0 is no precision (0 keeps its digit, and
//   "%.0s" is the whole string);
// - the '0' flag fills the width with zeros after the sign even when there is a precision;
// - the "0x" / "0X" of '#' is written for every value, 0 included, and counts in neither
//   the width nor the precision ("%#5x" of 0 is "    0x0").
// %p is an upper-case hexadecimal field of width 16 (whatever width is given), filled
// with zeros, or with spaces when left-aligned; '#' writes "0X".
// An unknown conversion character ends the field without being taken: the field writes
// only its padding (width less precision, nothing when left-aligned) and the character is
// then read as ordinary text, so "%5%d" is five spaces and a number.
// Output stops at 1023 characters and a terminator, the size limit of these functions.

#include <cstdint>
#include <cstring>

#include <windows.h>

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
    int precision = -1;  // none
    char size = 0;       // 'h', 'l', 'q' (64 bits: I64 and the pointer-sized I)
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
        const int precision = ReadNumber(p);
        if (precision > 0) s.precision = precision;
    }
    if (*p == 'h' || *p == 'l') {
        s.size = *p++;
    } else if (*p == 'I') {
        ++p;
        if (p[0] == '6' && p[1] == '4') {
            s.size = 'q';
            p += 2;
        } else if (p[0] == '3' && p[1] == '2') {
            p += 2;
        } else {
            s.size = sizeof(void*) == 8 ? 'q' : 0;
        }
    }
    s.type = *p;
    return s;
}

// Writes a field: `sign`, `zeros` zeros and the text, padded with spaces to the width;
// `prefix` goes first, outside the width.
void WriteField(Output& out, const FormatField& s, const char* prefix, const char* sign, int zeros, const char* text,
                int length)
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

void WriteNumber(Output& out, const FormatField& s, std::uint64_t magnitude, bool negative)
{
    char digits[24];
    const char* prefix = "";
    unsigned base = 10;
    if (s.type == 'x' || s.type == 'X') {
        base = 16;
        if (s.alternate) prefix = s.type == 'x' ? "0x" : "0X";
    }
    const char* sign = negative ? "-" : "";
    const int n = ToDigits(magnitude, base, s.type == 'X', digits);
    // The sign counts in the precision as in the width.
    const int signedLength = static_cast<int>(std::strlen(sign)) + n;
    int minimum = s.precision > signedLength ? s.precision : signedLength;
    if (s.zero && !s.left && s.width > minimum) minimum = s.width;
    WriteField(out, s, prefix, sign, minimum - signedLength, digits, n);
}

void WriteInteger(Output& out, const FormatField& s, va_list& ap)
{
    if (s.type == 'd' || s.type == 'i') {
        const std::int64_t v = TakeSigned(s, ap);
        WriteNumber(out, s, v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v), v < 0);
    } else {
        WriteNumber(out, s, TakeUnsigned(s, ap), false);
    }
}

// A pointer is an "%X" field of all its digits' width, zero-filled unless left-aligned.
void WritePointer(Output& out, const FormatField& given, va_list& ap)
{
    FormatField s = given;
    s.type = 'X';
    s.width = static_cast<int>(sizeof(void*) * 2);
    s.zero = true;
    WriteNumber(out, s, reinterpret_cast<std::uintptr_t>(va_arg(ap, void*)), false);
}

// Wide characters become the ANSI code page's (GBK) bytes, one UTF-16 unit at a time, as
// WideCharToMultiByte writes them: a unit without a code (a surrogate, for one) becomes '?'.
// Writes the bytes of `unit` to out (room for 2) and returns their number.
int EncodeGbk(WCHAR unit, char* out)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, &unit, 1, out, 2, nullptr, nullptr);
    if (n > 0) return n;
    out[0] = '?';
    return 1;
}

// The precision limits the bytes written, as for a narrow string (for a wide string they
// are counted after conversion, so the cut may fall inside a double-byte character).
void WriteText(Output& out, const FormatField& s, const char* text, int length)
{
    if (s.precision >= 0 && length > s.precision) length = s.precision;
    WriteField(out, s, "", "", 0, text, length);
}

void WriteString(Output& out, const FormatField& s, const char* text)
{
    if (!text) text = "(null)";
    int n = 0;
    // The bounds are checked first: the text need not be terminated within the precision,
    // and past the output limit no more of it can show.
    while ((s.precision < 0 || n < s.precision) && n < kOutputLimit && text[n]) ++n;
    WriteText(out, s, text, n);
}

void WriteWideString(Output& out, const FormatField& s, const WCHAR* text)
{
    if (!text) return WriteString(out, s, nullptr);
    // Converted only as far as it can show: past the output limit nothing more is written,
    // and the width cannot pad a text that long.
    char converted[kOutputLimit + 2];
    int n = 0;
    for (const WCHAR* w = text; n < kOutputLimit && (s.precision < 0 || n < s.precision) && *w; ++w)
        n += EncodeGbk(*w, converted + n);
    WriteText(out, s, converted, n);
}

void WriteWideChar(Output& out, const FormatField& s, WCHAR c)
{
    char bytes[2];
    WriteField(out, s, "", "", 0, bytes, EncodeGbk(c, bytes));
}

void WriteChar(Output& out, const FormatField& s, char c) { WriteField(out, s, "", "", 0, &c, 1); }

// c and s are narrow unless l makes them wide; C and S wide unless h makes them narrow.
bool IsWide(const FormatField& s) { return s.type == 'C' || s.type == 'S' ? s.size != 'h' : s.size == 'l'; }

// A field with an unknown conversion character (or none, at the end of the format) writes
// only its padding: the width less the precision, on the left only.
void WriteUnknown(Output& out, const FormatField& s)
{
    const int pad = s.width - (s.precision > 0 ? s.precision : 0);
    if (!s.left && pad > 0) out.Repeat(' ', pad);
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
    const char* p = lpFmt;
    while (*p) {
        if (*p != '%') {
            out.Put(*p++);
            continue;
        }
        if (p[1] == '%') {
            out.Put('%');
            p += 2;
            continue;
        }
        ++p;
        const FormatField s = ParseField(p);
        switch (s.type) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': WriteInteger(out, s, ap); break;
        case 'c':
        case 'C':
            if (IsWide(s)) WriteWideChar(out, s, static_cast<WCHAR>(va_arg(ap, int)));
            else WriteChar(out, s, static_cast<char>(va_arg(ap, int)));
            break;
        case 's':
        case 'S':
            if (IsWide(s)) WriteWideString(out, s, va_arg(ap, const WCHAR*));
            else WriteString(out, s, va_arg(ap, const char*));
            break;
        case 'p': WritePointer(out, s, ap); break;
        default:
            // The character is not taken: the loop reads it (and a '%' starts a new field).
            WriteUnknown(out, s);
            continue;
        }
        ++p;
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
