#include "Gbk.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>

namespace lktest {
namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
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

}  // namespace

std::string Gbk(const std::string& utf8)
{
    std::string out;
    if (!Convert("GBK", "UTF-8", utf8, out)) {
        ADD_FAILURE() << "no GBK form for: " << utf8;
        return {};
    }
    return out;
}

std::string Utf8(const std::string& gbk)
{
    std::string out;
    return Convert("UTF-8", "GBK", gbk, out) ? out : "<not GBK>";
}

}  // namespace lktest
