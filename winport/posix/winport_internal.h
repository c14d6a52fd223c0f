// Test and diagnostic hooks of the Win32 subset. Not exported from the shared library:
// white-box tests reach them through the static archive.
#ifndef WINPORT_POSIX_WINPORT_INTERNAL_H
#define WINPORT_POSIX_WINPORT_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace winport {

// Kernel handles (events, mutexes, mappings, threads) open in this process.
std::size_t LiveHandleCount();
// Windows that exist in this process.
std::size_t LiveWindowCount();
// Views mapped with MapViewOfFile and not yet unmapped.
std::size_t LiveViewCount();
// The directory that holds this user's named objects (created and checked on demand);
// empty if it cannot be used.
std::string NamedObjectDirectory();
// The file name (inside that directory) that stands for a Win32 object name.
std::string NamedObjectFileName(const std::string& name);
// See futex_wait.h.
bool SetFutexWaitvDisabled(bool disabled);
// Wake-up system calls (FUTEX_WAKE) the layer has made on the calling thread so far (a
// thread's count, so that threads of earlier work still ending do not blur it).
std::uint64_t FutexWakeCalls();
// Calls fn(context) (null: nothing) in each wait-all of the calling thread that finds all its
// objects ready, when it has taken all but the last in its order of taking, just before it
// tries that one. Objects that are not consumed (manual-reset events, threads) come last.
void SetWaitAllTakeHook(void (*fn)(void*), void* context);

}  // namespace winport

#endif
