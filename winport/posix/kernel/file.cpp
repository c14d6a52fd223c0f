// File-descriptor loops shared by the kernel, user and registry parts (see file.h).
#include "winport/posix/kernel/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "winport/posix/kernel/error.h"

namespace winport {

int LockFileRetrying(int fd, int operation)
{
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

bool WriteAll(int fd, const void* data, std::size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? write(fd, p, size) : pwrite(fd, p, size, offset);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

int ReserveFileSpace(int fd, off_t offset, off_t length)
{
    const int r = posix_fallocate(fd, offset, length);
    return r == EOPNOTSUPP || r == EINVAL ? 0 : r;
}

DWORD OpenErrorOf(int err, const char* path)
{
    if (err != ENOENT) return ErrorFromErrno(err);
    const char* slash = std::strrchr(path, '/');
    if (!slash || slash == path) return ERROR_FILE_NOT_FOUND;
    const std::string folder(path, slash);
    struct stat st;
    return (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace winport
