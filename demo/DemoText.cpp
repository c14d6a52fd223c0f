#include "DemoText.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace demo {

namespace {

// Text through UTF-16 with the Win32 calls, the same on both systems. What the source code
// page does not have is read as Windows reads it (a byte GBK lacks as '?'), and what the
// target lacks is written as '?', never as a look-alike.
std::string Convert(UINT to, UINT from, const std::string& text)
{
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    if (wideLength <= 0) return std::string(text.size(), '?');
    std::vector<WCHAR> wide(static_cast<size_t>(wideLength));
    MultiByteToWideChar(from, 0, text.data(), size, wide.data(), wideLength);
    const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(to, flags, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string(text.size(), '?');
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(to, flags, wide.data(), wideLength, &out[0], length, nullptr, nullptr);
    return out;
}

const UINT kGbk = 936;

}  // namespace

std::string ToUtf8(const std::string& gbk) { return Convert(CP_UTF8, kGbk, gbk); }
std::string ToGbk(const std::string& utf8) { return Convert(kGbk, CP_UTF8, utf8); }

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
