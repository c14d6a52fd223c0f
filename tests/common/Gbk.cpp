#include "Gbk.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace lktest {
namespace {

enum class Charset { Utf8, Gbk };

#if defined(_WIN32)

// Through UTF-16, with code page 936 (GBK) named explicitly so that the result does not
// depend on the ANSI code page of the machine. MB_ERR_INVALID_CHARS and the default-char
// flag make invalid input and unmappable characters fail instead of becoming '?'.
bool Convert(Charset to, Charset from, const std::string& in, std::string& out)
{
    out.clear();
    if (in.empty()) return true;
    const UINT fromCp = from == Charset::Gbk ? 936 : CP_UTF8;
    const UINT toCp = to == Charset::Gbk ? 936 : CP_UTF8;
    const int inLen = static_cast<int>(in.size());
    const int wideLen = MultiByteToWideChar(fromCp, MB_ERR_INVALID_CHARS, in.data(), inLen, nullptr, 0);
    if (wideLen <= 0) return false;
    std::wstring wide(static_cast<size_t>(wideLen), L'\0');
    if (MultiByteToWideChar(fromCp, MB_ERR_INVALID_CHARS, in.data(), inLen, &wide[0], wideLen) != wideLen) return false;
    // CP_UTF8 accepts no default char (nor the flag for it); every UTF-16 text has a UTF-8 form.
    BOOL lossy = FALSE;
    LPBOOL usedDefault = toCp == CP_UTF8 ? nullptr : &lossy;
    const int outLen = WideCharToMultiByte(toCp, 0, wide.data(), wideLen, nullptr, 0, nullptr, usedDefault);
    if (outLen <= 0 || lossy) return false;
    out.assign(static_cast<size_t>(outLen), '\0');
    return WideCharToMultiByte(toCp, 0, wide.data(), wideLen, &out[0], outLen, nullptr, usedDefault) == outLen && !lossy;
}

#else

bool Convert(Charset to, Charset from, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to == Charset::Gbk ? "GBK" : "UTF-8", from == Charset::Gbk ? "GBK" : "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(in.size() * 2 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1) && srcLeft == 0;
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return ok;
}

#endif

}  // namespace

std::string Gbk(const std::string& utf8)
{
    std::string out;
    if (!Convert(Charset::Gbk, Charset::Utf8, utf8, out)) {
        ADD_FAILURE() << "no GBK form for: " << utf8;
        return {};
    }
    return out;
}

std::string Utf8(const std::string& gbk)
{
    std::string out;
    return Convert(Charset::Utf8, Charset::Gbk, gbk, out) ? out : "<not GBK>";
}

}  // namespace lktest
