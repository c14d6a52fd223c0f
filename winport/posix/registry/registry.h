// Internal view of the registry calls' key handles, for tests that check for leaks.
#ifndef WINPORT_POSIX_REG_API_H
#define WINPORT_POSIX_REG_API_H

#include <cstddef>

namespace winport::reg {

// Number of key handles of this process that are open (predefined keys not counted).
std::size_t LiveKeyHandleCount();

}  // namespace winport::reg

#endif
