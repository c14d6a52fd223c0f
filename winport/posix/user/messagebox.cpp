// MessageBoxA without a desktop: the caption and text go to stderr in UTF-8 (the library's
// text is GBK), and the box "returns" IDOK. A host or a test may install its own handler.
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
    if (!text || !*text) return std::string();
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string units(static_cast<std::size_t>(wide), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &units[0], wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, &out[0], bytes, nullptr, nullptr);
    out.pop_back();  // the NUL
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
