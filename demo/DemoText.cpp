#include "DemoText.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <iconv.h>
#endif

#include <cstdio>

namespace demo {

namespace {

#if defined(_WIN32)

const UINT kGbk = 936;

// Bytes of the character that starts at text[i] in code page `cp` (GBK or UTF-8).
size_t CharLength(UINT cp, const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = 1;
    if (cp == kGbk) n = c >= 0x81 && c <= 0xFE ? 2 : 1;
    else if (c >= 0xF0) n = 4;
    else if (c >= 0xE0) n = 3;
    else if (c >= 0xC0) n = 2;
    return i + n <= text.size() ? n : 1;
}

// Converts what it can, one character at a time through UTF-16; a byte that does not start
// a character of the source code page, or whose character the target lacks, becomes '?'.
std::string Convert(UINT to, UINT from, const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t n = CharLength(from, text, i);
        wchar_t wide[2];
        const int w = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data() + i, static_cast<int>(n), wide, 2);
        char bytes[8];
        BOOL lossy = FALSE;
        const int b = w > 0 ? WideCharToMultiByte(to, 0, wide, w, bytes, sizeof bytes, nullptr,
                                                  to == CP_UTF8 ? nullptr : &lossy)
                            : 0;
        if (b > 0 && !lossy) {
            out.append(bytes, static_cast<size_t>(b));
            i += n;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string ToUtf8(const std::string& gbk) { return Convert(CP_UTF8, kGbk, gbk); }
std::string ToGbk(const std::string& utf8) { return Convert(kGbk, CP_UTF8, utf8); }

#else

// Converts what it can; bytes that the source encoding does not have become '?'.
std::string Convert(const char* to, const char* from, const std::string& text)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(text.size() * 2 + 8, '\0');
    char* src = const_cast<char*>(text.data());
    size_t srcLeft = text.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1)) break;
        if (dstLeft == 0) break;
        // Not in the source encoding: show the byte as ? and go on.
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

std::string ToUtf8(const std::string& gbk) { return Convert("UTF-8", "GBK", gbk); }
std::string ToGbk(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8); }

#endif

void Print(const std::string& who, const std::string& utf8)
{
    size_t start = 0;
    do {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos) end = utf8.size();
        std::printf("%-9s | %s\n", start == 0 ? who.c_str() : "", utf8.substr(start, end - start).c_str());
        start = end + 1;
    } while (start < utf8.size());
}

}  // namespace demo
