// Key paths and value names come from hosts and from the store itself: splitting and folding
// must hold for any bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "winport/posix/registry/name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace winport::reg;
    const std::string path(reinterpret_cast<const char*>(data), size);  // may hold NULs
    std::vector<std::string_view> elements;
    if (SplitKeyPath(path.c_str(), elements) == ERROR_SUCCESS) {
        if (elements.size() > kMaxPathElements) __builtin_trap();
        const char* end = path.c_str() + std::strlen(path.c_str());
        for (std::string_view e : elements) {
            if (e.empty() || e.size() > kMaxKeyNameBytes) __builtin_trap();
            if (e.data() < path.c_str() || e.data() + e.size() > end) __builtin_trap();
        }
    }
    // Folding keeps the length and is idempotent.
    std::string once, twice;
    AppendFolded(path, once);
    AppendFolded(once, twice);
    if (once.size() != path.size() || once != twice) __builtin_trap();
    return 0;
}
