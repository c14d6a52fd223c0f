#include "DemoText.h"

#include <iconv.h>

#include <cstdio>

namespace demo {

namespace {

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
