#include "DemoText.h"

#include <iconv.h>

namespace demo {

std::string ToUtf8(const std::string& gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return gbk;
    std::string out(gbk.size() * 2 + 8, '\0');
    char* src = const_cast<char*>(gbk.data());
    size_t srcLeft = gbk.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1)) break;
        if (dstLeft == 0) break;
        // Not GBK: show one byte as '?' and go on.
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace demo
