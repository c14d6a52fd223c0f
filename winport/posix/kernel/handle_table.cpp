// Handle values of the handle tables (see handle_table.h).
#include "winport/posix/kernel/handle_table.h"

namespace winport {

std::uintptr_t EncodeHandleValue(std::uint32_t tag, std::uint32_t index, std::uint32_t generation)
{
    return (static_cast<std::uintptr_t>(tag) << 58) | (static_cast<std::uintptr_t>(generation) << 26) |
           (static_cast<std::uintptr_t>(index + 1) << 2);
}

bool DecodeHandleValue(std::uintptr_t value, std::uint32_t tag, std::uint32_t* index, std::uint32_t* generation)
{
    if ((value & 3) != 0 || (value >> 58) != tag) return false;
    const std::uint32_t indexPlusOne = static_cast<std::uint32_t>((value >> 2) & 0xFFFFFF);
    if (indexPlusOne == 0) return false;
    *index = indexPlusOne - 1;
    *generation = static_cast<std::uint32_t>(value >> 26);
    return true;
}

}  // namespace winport
