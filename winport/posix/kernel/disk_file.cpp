// Files on disk: CreateFileA, ReadFile, WriteFile, GetFileSize over a file descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/file.h"
#include "winport/posix/kernel/kernel.h"

namespace winport {
namespace {

class FileObject : public KernelObject {
public:
    FileObject(int fd, bool mayRead, bool mayWrite)
        : KernelObject(ObjectKind::File), fd_(fd), mayRead_(mayRead), mayWrite_(mayWrite)
    {
    }
    ~FileObject() override { ::close(fd_); }
    int Fd() const { return fd_; }
    bool MayRead() const { return mayRead_; }
    bool MayWrite() const { return mayWrite_; }

private:
    const int fd_;
    const bool mayRead_, mayWrite_;
};

}  // namespace
}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    (void)dwShareMode;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    if (!lpFileName || !*lpFileName) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (!SecurityAttributesUsable(lpSecurityAttributes)) return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
    const bool mayRead = dwDesiredAccess & GENERIC_READ, mayWrite = dwDesiredAccess & GENERIC_WRITE;
    int flags = O_CLOEXEC | (mayRead && mayWrite ? O_RDWR : mayWrite ? O_WRONLY : O_RDONLY);
    switch (dwCreationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (!mayWrite) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        flags |= O_TRUNC;
        break;
    default: return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    // CREATE_ALWAYS and OPEN_ALWAYS tell whether the file was there.
    struct stat before;
    const bool existed = (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS) &&
                         ::stat(lpFileName, &before) == 0;
    const int fd = ::open(lpFileName, flags, 0666);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
        if (err == EISDIR) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
        return Fail(OpenErrorOf(err, lpFileName), INVALID_HANDLE_VALUE);
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    auto file = std::make_shared<FileObject>(fd, mayRead, mayWrite);
    HANDLE h = InsertHandle(std::move(file));
    if (!h) return INVALID_HANDLE_VALUE;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    std::shared_ptr<FileObject> file = LookupObject<FileObject>(hFile, ObjectKind::File);
    if (!file) return FALSE;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!file->MayRead()) return Fail(ERROR_ACCESS_DENIED, FALSE);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        const ssize_t n = ::read(file->Fd(), static_cast<char*>(lpBuffer) + done,
                                 std::min<size_t>(nNumberOfBytesToRead - done, INT_MAX));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(ErrorFromErrno(errno), FALSE);
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    std::shared_ptr<FileObject> file = LookupObject<FileObject>(hFile, ObjectKind::File);
    if (!file) return FALSE;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!file->MayWrite()) return Fail(ERROR_ACCESS_DENIED, FALSE);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = ::write(file->Fd(), static_cast<const char*>(lpBuffer) + done,
                                  std::min<size_t>(nNumberOfBytesToWrite - done, INT_MAX));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno == ENOSPC ? DWORD(ERROR_DISK_FULL) : ErrorFromErrno(errno), FALSE);
        }
        done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    std::shared_ptr<FileObject> file = LookupObject<FileObject>(hFile, ObjectKind::File);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st;
    if (::fstat(file->Fd(), &st) != 0) return Fail(ErrorFromErrno(errno), INVALID_FILE_SIZE);
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

}  // extern "C"
