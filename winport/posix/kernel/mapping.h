// Internal: test hook of the file mappings (implemented in mapping.cpp).
#ifndef WINPORT_POSIX_KERNEL_MAPPING_H
#define WINPORT_POSIX_KERNEL_MAPPING_H

#include <cstddef>

namespace winport {

// Views mapped with MapViewOfFile and not yet unmapped.
std::size_t LiveViewCount();

}  // namespace winport

#endif
