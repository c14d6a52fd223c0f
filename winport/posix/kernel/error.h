// Internal: last-error helpers shared by the kernel and user parts of the Win32 subset.
#ifndef WINPORT_POSIX_KERNEL_ERROR_H
#define WINPORT_POSIX_KERNEL_ERROR_H

#include <windows.h>

namespace winport {

// The Win32 code that best describes a failed system call's errno.
DWORD ErrorFromErrno(int err);

// Sets the last error and returns the value a failing Win32 call returns, so that a
// failure path reads as one statement: `return Fail(ERROR_INVALID_HANDLE, FALSE);`.
template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

}  // namespace winport

#endif
