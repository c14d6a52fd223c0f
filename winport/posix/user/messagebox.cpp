// MessageBoxA without a desktop: the caption and text go to stderr in UTF-8 (the library's
// text is GBK), and the box "returns" IDOK. A host or a test may install its own handler.
#include <iconv.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include <windows.h>

#include "winport/posix/kernel/file.h"

namespace {

std::atomic<WINPORT_MESSAGEBOX_HANDLER> g_handler{nullptr};

// GBK to UTF-8; a byte that does not convert becomes '?'.
std::string GbkToUtf8(const char* text)
{
    std::string out;
    if (!text) return out;
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    char* in = const_cast<char*>(text);
    std::size_t inLeft = std::char_traits<char>::length(text);
    char buffer[256];
    while (inLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += '?';  // invalid or incomplete sequence: skip one byte
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

int WriteToStderr(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT)
{
    // A missing caption is "Error", as on Windows.
    const std::string line =
        "[" + (lpCaption ? GbkToUtf8(lpCaption) : std::string("Error")) + "] " + GbkToUtf8(lpText) + "\n";
    winport::WriteAll(STDERR_FILENO, line.data(), line.size(), -1);
    return IDOK;
}

}  // namespace

extern "C" {

WINPORT_MESSAGEBOX_HANDLER WinportSetMessageBoxHandler(WINPORT_MESSAGEBOX_HANDLER handler)
{
    return g_handler.exchange(handler);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    WINPORT_MESSAGEBOX_HANDLER handler = g_handler.load();
    return handler ? handler(hWnd, lpText, lpCaption, uType) : WriteToStderr(hWnd, lpText, lpCaption, uType);
}

}  // extern "C"
