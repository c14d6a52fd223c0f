#include "winport/posix/registry/name.h"

namespace winport::reg {

std::size_t GbkCharLength(const unsigned char* p)
{
    const bool lead = p[0] >= 0x81 && p[0] <= 0xFE;
    const bool trail = (p[1] >= 0x40 && p[1] <= 0x7E) || (p[1] >= 0x80 && p[1] <= 0xFE);
    return lead && trail ? 2 : 1;
}

void AppendFolded(std::string_view name, std::string& out)
{
    // The view need not be NUL-terminated: a lead byte in the last position stands alone.
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n;) {
        if (i + 1 < n && GbkCharLength(p + i) == 2) {
            out.push_back(char(p[i]));
            out.push_back(char(p[i + 1]));
            i += 2;
            continue;
        }
        const unsigned char c = p[i++];
        out.push_back(char(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c));
    }
}

LONG SplitKeyPath(const char* path, std::vector<std::string_view>& elements)
{
    elements.clear();
    if (!path || !*path) return ERROR_SUCCESS;
    if (*path == '\\') return ERROR_BAD_PATHNAME;
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    std::size_t start = 0, i = 0;
    for (;;) {
        if (p[i] == '\\' || p[i] == 0) {
            const std::size_t len = i - start;
            if (len == 0) {
                // Backslashes at the end, however many, end the path as one does (as on
                // Windows); an empty element anywhere else is malformed.
                while (p[i] == '\\') ++i;
                return p[i] == 0 ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
            }
            if (len > kMaxKeyNameBytes || elements.size() == kMaxPathElements) return ERROR_INVALID_PARAMETER;
            elements.emplace_back(path + start, len);
            if (p[i] == 0) return ERROR_SUCCESS;
            start = ++i;
            continue;
        }
        i += GbkCharLength(p + i);
    }
}

}  // namespace winport::reg
