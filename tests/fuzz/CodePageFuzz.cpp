// Text from outside (chat lines, names, files) goes through MultiByteToWideChar and
// WideCharToMultiByte: for any bytes, sizes agree with what is written, short buffers are
// never overrun, and valid text comes back byte for byte.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A heap block of exactly `n` units, so that a write past it is seen by the sanitizer.
template <class T>
std::unique_ptr<T[]> Exact(int n)
{
    return std::unique_ptr<T[]>(new T[static_cast<std::size_t>(n > 0 ? n : 1)]);
}

void BytesToWide(UINT cp, DWORD flags, const char* s, int n, int room)
{
    const int need = MultiByteToWideChar(cp, flags, s, n, nullptr, 0);
    if (need <= 0) {
        if (!(flags & MB_ERR_INVALID_CHARS) || GetLastError() != ERROR_NO_UNICODE_TRANSLATION) __builtin_trap();
        return;
    }
    auto full = Exact<WCHAR>(need);
    if (MultiByteToWideChar(cp, flags, s, n, full.get(), need) != need) __builtin_trap();
    if (room > 0 && room < need) {  // 0 asks for the size
        auto shorter = Exact<WCHAR>(room);
        if (MultiByteToWideChar(cp, flags, s, n, shorter.get(), room) != 0) __builtin_trap();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) __builtin_trap();
    }
    if (!(flags & MB_ERR_INVALID_CHARS)) return;
    // Valid text goes back to the same bytes, without best fit or default characters.
    BOOL used = FALSE;
    const DWORD back = cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    LPBOOL usedPtr = cp == CP_UTF8 ? nullptr : &used;
    const int bytes = WideCharToMultiByte(cp, back, full.get(), need, nullptr, 0, nullptr, usedPtr);
    auto again = Exact<char>(bytes);
    if (bytes != n || WideCharToMultiByte(cp, back, full.get(), need, again.get(), bytes, nullptr, usedPtr) != n ||
        used || std::memcmp(again.get(), s, static_cast<std::size_t>(n)) != 0)
        __builtin_trap();
}

void WideToBytes(UINT cp, DWORD flags, const WCHAR* s, int n, int room)
{
    BOOL used = FALSE;
    LPBOOL usedPtr = cp == CP_UTF8 ? nullptr : &used;
    const int need = WideCharToMultiByte(cp, flags, s, n, nullptr, 0, nullptr, usedPtr);
    if (need <= 0) {
        if (flags != WC_ERR_INVALID_CHARS || GetLastError() != ERROR_NO_UNICODE_TRANSLATION) __builtin_trap();
        return;
    }
    auto full = Exact<char>(need);
    if (WideCharToMultiByte(cp, flags, s, n, full.get(), need, nullptr, usedPtr) != need) __builtin_trap();
    if (room > 0 && room < need) {  // 0 asks for the size
        auto shorter = Exact<char>(room);
        if (WideCharToMultiByte(cp, flags, s, n, shorter.get(), room, nullptr, usedPtr) != 0) __builtin_trap();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) __builtin_trap();
    }
    if (cp != CP_UTF8 || flags != WC_ERR_INVALID_CHARS) return;
    // UTF-16 without lone surrogates goes through UTF-8 and back unchanged.
    auto back = Exact<WCHAR>(n);
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, full.get(), need, back.get(), n) != n ||
        std::memcmp(back.get(), s, sizeof(WCHAR) * static_cast<std::size_t>(n)) != 0)
        __builtin_trap();
}

}  // namespace

// The first byte chooses the code page, the direction and the flags, the second the room
// of the short buffer; the rest is the text (UTF-16LE units for the wide direction).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > 4096) return 0;
    const unsigned mode = data[0];
    const int room = data[1];
    const UINT cp = mode & 1 ? CP_UTF8 : 936;
    const bool strict = mode & 2;
    const char* text = reinterpret_cast<const char*>(data + 2);
    const int n = static_cast<int>(size - 2);
    if (mode & 4) {
        const std::string bytes(text, static_cast<std::size_t>(n));
        std::basic_string<WCHAR> wide(static_cast<std::size_t>(n / 2), 0);
        std::memcpy(&wide[0], bytes.data(), wide.size() * sizeof(WCHAR));
        if (wide.empty()) return 0;
        const DWORD flags = cp == CP_UTF8 ? (strict ? WC_ERR_INVALID_CHARS : 0) : (strict ? WC_NO_BEST_FIT_CHARS : 0);
        WideToBytes(cp, flags, wide.data(), static_cast<int>(wide.size()), room);
    } else {
        BytesToWide(cp, strict ? MB_ERR_INVALID_CHARS : 0, text, n, room);
    }
    return 0;
}
