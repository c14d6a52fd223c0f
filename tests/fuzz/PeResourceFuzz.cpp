// The PE resource parser over arbitrary bytes: every resource it lists must lie inside the
// input and be found again by its own type and name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "winport/posix/kernel/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    winport::PeResources pe;
    DWORD error = ERROR_SUCCESS;
    if (!pe.Parse(data, size, error)) {
        if (error != ERROR_BAD_EXE_FORMAT) std::abort();
        return 0;
    }
    volatile std::uint8_t sink = 0;
    for (const winport::PeResource& r : pe.All()) {
        if (r.present && std::uint64_t(r.offset) + r.size > size) std::abort();
        if (r.present && r.size) sink = static_cast<std::uint8_t>(data[r.offset] ^ data[r.offset + r.size - 1]);
        const winport::PeResource* found = pe.Find(pe.KeyOf(r.type), pe.KeyOf(r.name), error);
        if (!found || found->language > r.language) std::abort();
    }
    (void)sink;
    return 0;
}
