// A resource-only PE32+ module of one resource, made in memory: what LoadLibraryExA opens
// as a data file and FindResourceA searches, on Windows and in winport/posix alike. The
// bitmap fuzzer and the image tests use it to hand LoadBitmapA resources of any content.
#ifndef LOBBYKIT_TESTS_RESOURCEMODULE_H
#define LOBBYKIT_TESTS_RESOURCEMODULE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lktest {

// The file of a module whose one resource (type id, name id, language neutral) holds data.
std::vector<std::uint8_t> ResourceModule(std::uint16_t type, std::uint16_t id, const std::uint8_t* data,
                                         std::size_t size);

}  // namespace lktest

#endif
