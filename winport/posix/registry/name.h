// Key and value names of the registry store: limits, GBK-aware case folding, path splitting.
#ifndef WINPORT_POSIX_REGISTRY_NAME_H
#define WINPORT_POSIX_REGISTRY_NAME_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace winport::reg {

constexpr std::size_t kMaxKeyNameBytes = 255;
constexpr std::size_t kMaxValueNameBytes = 16383;
constexpr std::size_t kMaxPathElements = 512;

// Length in bytes (1 or 2) of the GBK character that starts at p[0] (p[0] != 0). A lead
// byte (0x81-0xFE) makes a pair only with a valid trail byte (0x40-0x7E, 0x80-0xFE).
std::size_t GbkCharLength(const unsigned char* p);

// Appends name[0..n) to out with the ASCII letters of single-byte characters in upper case.
// Double-byte characters are copied as they are: their trail byte is never a letter.
void AppendFolded(std::string_view name, std::string& out);

// Splits a subkey path into its elements: "A\B\" and "A\B\\" give A and B, "" or null gives
// none. ERROR_BAD_PATHNAME for a leading backslash or an empty element before the end,
// ERROR_INVALID_PARAMETER for an element over kMaxKeyNameBytes or more than kMaxPathElements
// elements.
LONG SplitKeyPath(const char* path, std::vector<std::string_view>& elements);

}  // namespace winport::reg

#endif
