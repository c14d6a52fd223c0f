// Internal: modules loaded as data files (LoadLibraryExA) and the resources found in them.
#ifndef WINPORT_POSIX_KERNEL_MODULE_H
#define WINPORT_POSIX_KERNEL_MODULE_H

#include <cstddef>

namespace winport {

// Modules loaded with LoadLibraryExA and not yet freed, in this process (for tests).
std::size_t LiveModuleCount();

// Files larger than this are refused (ERROR_FILE_TOO_LARGE): resource DLLs are far smaller.
constexpr std::size_t kMaxModuleFileSize = std::size_t(256) << 20;

}  // namespace winport

#endif
