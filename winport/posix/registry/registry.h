// registry/: HKEY_CURRENT_USER in one SQLite store per user, reached only through the Reg* calls.
//
// Internal: the registry calls' key handles (implemented in registry.cpp), for tests that
// check for leaks.
#ifndef WINPORT_POSIX_REGISTRY_REGISTRY_H
#define WINPORT_POSIX_REGISTRY_REGISTRY_H

#include <cstddef>

namespace winport::reg {

// Number of key handles of this process that are open (predefined keys not counted).
std::size_t LiveKeyHandleCount();

}  // namespace winport::reg

#endif
