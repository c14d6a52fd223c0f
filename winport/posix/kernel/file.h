// Internal: the small file-descriptor loops every part needs once (implemented in file.cpp).
#ifndef WINPORT_POSIX_KERNEL_FILE_H
#define WINPORT_POSIX_KERNEL_FILE_H

#include <sys/types.h>

#include <cstddef>

#include <windows.h>

namespace winport {

// flock(fd, operation), taken again when a signal interrupts the wait. 0 or the errno.
int LockFileRetrying(int fd, int operation);
// Writes all size bytes at offset, or at the file position when offset is negative (pipes,
// terminals); a signal does not cut it short. False on an error.
bool WriteAll(int fd, const void* data, std::size_t size, off_t offset);
// Reserves the bytes now, as a committed section is, rather than fault later; a file system
// that cannot reserve is accepted. 0 or the errno.
int ReserveFileSpace(int fd, off_t offset, off_t length);
// The Win32 code for a path that could not be opened (or found) with errno err: as on
// Windows, a missing file in an existing folder is ERROR_FILE_NOT_FOUND, a missing folder on
// the way ERROR_PATH_NOT_FOUND.
DWORD OpenErrorOf(int err, const char* path);

}  // namespace winport

#endif
