#include "ResourceModule.h"

namespace lktest {
namespace {

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int n)
{
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t Align(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

}  // namespace

std::vector<std::uint8_t> ResourceModule(std::uint16_t type, std::uint16_t id, const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kPe = 0x40, kOptional = kPe + 24, kSection = kOptional + 240;
    constexpr std::size_t kRaw = 0x200, kRva = 0x1000, kData = 0x58;  // the data behind the tree
    const std::size_t rsrc = kData + size;
    std::vector<std::uint8_t> b(kRaw + Align(rsrc, 0x200), 0);
    b[0] = 'M', b[1] = 'Z';
    Put(b, 0x3C, kPe, 4);
    Put(b, kPe, 0x00004550, 4);   // "PE\0\0"
    Put(b, kPe + 4, 0x8664, 2);   // x86-64
    Put(b, kPe + 6, 1, 2);        // one section
    Put(b, kPe + 20, 240, 2);     // the optional header's size
    Put(b, kPe + 22, 0x2022, 2);  // an executable image, a DLL, large addresses
    Put(b, kOptional, 0x20B, 2);  // PE32+
    Put(b, kOptional + 24, 0x180000000ull, 8);
    Put(b, kOptional + 32, 0x1000, 4);  // section alignment
    Put(b, kOptional + 36, 0x200, 4);   // file alignment
    Put(b, kOptional + 40, 6, 2);       // system and subsystem version 6.0
    Put(b, kOptional + 48, 6, 2);
    Put(b, kOptional + 56, kRva + Align(rsrc, 0x1000), 4);  // size of the image
    Put(b, kOptional + 60, kRaw, 4);                        // size of the headers
    Put(b, kOptional + 68, 2, 2);                           // GUI subsystem
    for (int i = 0; i < 4; ++i) Put(b, kOptional + 72 + 8 * i, 0x100000, 8);
    Put(b, kOptional + 108, 16, 4);            // data directories
    Put(b, kOptional + 112 + 2 * 8, kRva, 4);  // the resource directory
    Put(b, kOptional + 112 + 2 * 8 + 4, rsrc, 4);
    const char name[8] = {'.', 'r', 's', 'r', 'c'};
    for (int i = 0; i < 8; ++i) b[kSection + i] = static_cast<std::uint8_t>(name[i]);
    Put(b, kSection + 8, rsrc, 4);
    Put(b, kSection + 12, kRva, 4);
    Put(b, kSection + 16, Align(rsrc, 0x200), 4);
    Put(b, kSection + 20, kRaw, 4);
    Put(b, kSection + 36, 0x40000040, 4);  // initialised data, readable
    // Three directory levels of one id entry each (type, name, language 0), then the data
    // entry.
    const std::uint16_t ids[3] = {type, id, 0};
    for (int level = 0; level < 3; ++level) {
        const std::size_t dir = kRaw + 0x18 * level;
        Put(b, dir + 14, 1, 2);
        Put(b, dir + 16, ids[level], 4);
        Put(b, dir + 20, level < 2 ? (0x80000000u | (0x18 * (level + 1))) : 0x48, 4);
    }
    Put(b, kRaw + 0x48, kRva + kData, 4);
    Put(b, kRaw + 0x4C, size, 4);
    for (std::size_t i = 0; i < size; ++i) b[kRaw + kData + i] = data[i];
    return b;
}

}  // namespace lktest
