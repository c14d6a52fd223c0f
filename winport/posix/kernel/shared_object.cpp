// The per-user namespace of named objects: one file per object (see shared_object.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/file.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {
namespace {

constexpr std::uint32_t kMagic = 0x4F4E4B4C;  // "LKNO"
// Version of the file header and of the objects' data layouts: a file of another version
// is refused (ERROR_INVALID_HANDLE) rather than misread. 2: events and mutexes carry a
// sleepers bit. 3: a mutex is one futex word (owner id), no pthread mutex.
constexpr std::uint16_t kVersion = 3;
constexpr std::uint64_t kMaxDataSize = std::uint64_t(1) << 40;
constexpr std::size_t kMaxFileNameLength = 255;
constexpr std::size_t kHashedPrefixLength = 200;

struct FileHeader {
    std::uint32_t magic;
    std::uint16_t version;
    std::uint16_t kind;
    std::uint32_t dataOffset;
    std::uint32_t nameLength;
    std::uint64_t dataSize;
    std::uint32_t flags;
    std::uint32_t reserved[9];
};
static_assert(sizeof(FileHeader) == 64, "the header layout is shared between processes");

std::uint64_t PageSize() { return static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)); }

std::string DirectoryPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/lobbykit";
    return "/dev/shm/lobbykit-" + std::to_string(geteuid());
}

// Opens the namespace directory, creating it if needed, and checks that it is a directory
// of this user that nobody else can enter. -1 with *error set otherwise.
int OpenCheckedDirectory(DWORD* error)
{
    const std::string path = DirectoryPath();
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
        return -1;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
    // Our own directory with a looser mode (a umask at creation, a user's chmod): tighten it.
    if (ok && (st.st_mode & 07777) != 0700) ok = fchmod(fd, 0700) == 0;
    if (!ok) {
        close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    return fd;
}

// Removes the object files that no process holds any more: left by processes that died
// or exited without closing their handles. Runs under the directory lock, where every live
// object's file is held by at least one handle.
void SweepUnheldFiles(int dirFd)
{
    const int scanFd = dup(dirFd);
    DIR* dir = scanFd >= 0 ? fdopendir(scanFd) : nullptr;
    if (!dir) {
        if (scanFd >= 0) close(scanFd);
        return;
    }
    while (dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "o-", 2) != 0) continue;
        const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlinkat(dirFd, entry->d_name, 0);
        close(fd);
    }
    closedir(dir);
}

std::atomic<bool> g_swept{false};

// Holds the namespace directory open and exclusively locked for one create/open/close.
// The first time in a process, it also sweeps files left by earlier processes.
class DirectoryLock {
public:
    DirectoryLock() : fd_(OpenCheckedDirectory(&error_))
    {
        if (fd_ < 0) return;
        LockFileRetrying(fd_, LOCK_EX);
        if (!g_swept.exchange(true)) SweepUnheldFiles(fd_);
    }
    ~DirectoryLock()
    {
        if (fd_ >= 0) close(fd_);  // drops the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    int Fd() const { return fd_; }
    DWORD Error() const { return error_; }

private:
    DWORD error_ = ERROR_SUCCESS;
    int fd_;
};

std::uint64_t Fnv1a64(const std::string& s)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool IsPlainNameByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

std::string FileNameFor(const std::string& name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "o-";
    for (unsigned char c : name) {
        if (IsPlainNameByte(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (out.size() <= kMaxFileNameLength) return out;
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
    out.resize(kHashedPrefixLength);
    return out + hash;
}

// A file of this user that only this user can read, with no other names.
bool CheckObjectFile(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) return false;
    return (st.st_mode & 07777) == 0600 || fchmod(fd, 0600) == 0;
}

ObjectKey KeyOf(int fd)
{
    struct stat st;
    ObjectKey key;
    if (fstat(fd, &st) == 0) {
        key.device = st.st_dev;
        key.inode = st.st_ino;
    }
    return key;
}

bool ReadAll(int fd, void* data, std::size_t size, off_t offset)
{
    return pread(fd, data, size, offset) == static_cast<ssize_t>(size);
}

// Makes the file a new, zeroed object of the given parameters. 0 or a Win32 error.
DWORD InitializeFile(int fd, const std::string& name, const SharedObject::Params& params, std::uint64_t* dataOffset)
{
    const std::uint64_t page = PageSize();
    const std::uint64_t offset = (sizeof(FileHeader) + name.size() + page - 1) / page * page;
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(offset + params.dataSize)) != 0)
        return ErrorFromErrno(errno);
    if (params.dataSize > 0) {
        const int r = ReserveFileSpace(fd, static_cast<off_t>(offset), static_cast<off_t>(params.dataSize));
        if (r != 0) return ErrorFromErrno(r);
    }
    FileHeader h = {};
    h.magic = kMagic;
    h.version = kVersion;
    h.kind = static_cast<std::uint16_t>(params.kind);
    h.dataOffset = static_cast<std::uint32_t>(offset);
    h.nameLength = static_cast<std::uint32_t>(name.size());
    h.dataSize = params.dataSize;
    h.flags = params.flags;
    // The header goes last: a file with a header has its full size.
    if (!WriteAll(fd, name.data(), name.size(), sizeof h) || !WriteAll(fd, &h, sizeof h, 0))
        return ERROR_NOT_ENOUGH_MEMORY;
    *dataOffset = offset;
    return ERROR_SUCCESS;
}

struct StoredLayout {
    std::uint64_t dataOffset;
    std::uint64_t dataSize;
    std::uint32_t flags;
};

// Reads and validates the header of a live object. A name held by another kind of object,
// by another name whose file name collides, or by a damaged file gives ERROR_INVALID_HANDLE.
DWORD ReadHeader(int fd, const std::string& name, const SharedObject::Params& params, StoredLayout* layout)
{
    FileHeader h;
    struct stat st;
    if (!ReadAll(fd, &h, sizeof h, 0) || fstat(fd, &st) != 0) return ERROR_INVALID_HANDLE;
    if (h.magic != kMagic || h.version != kVersion || h.kind != static_cast<std::uint16_t>(params.kind))
        return ERROR_INVALID_HANDLE;
    if (h.nameLength != name.size() || h.dataOffset % PageSize() != 0 || h.dataOffset < sizeof h + h.nameLength ||
        h.dataSize > kMaxDataSize || static_cast<std::uint64_t>(st.st_size) != h.dataOffset + h.dataSize)
        return ERROR_INVALID_HANDLE;
    // Small objects have a fixed layout; mappings keep the size they were created with.
    if (params.mapData && h.dataSize != params.dataSize) return ERROR_INVALID_HANDLE;
    std::string stored(name.size(), '\0');
    if (!ReadAll(fd, &stored[0], stored.size(), sizeof h) || stored != name) return ERROR_INVALID_HANDLE;
    layout->dataOffset = h.dataOffset;
    layout->dataSize = h.dataSize;
    layout->flags = h.flags;
    return ERROR_SUCCESS;
}

// Opens the object file, creating it when allowed. *created tells whether it is new.
int OpenObjectFile(int dirFd, const std::string& fileName, bool mayCreate, bool* created, DWORD* error)
{
    *created = false;
    int fd = openat(dirFd, fileName.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && mayCreate) {
        fd = openat(dirFd, fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        *created = fd >= 0;
    }
    if (fd < 0) {
        *error = ErrorFromErrno(errno);
        return -1;
    }
    if (!CheckObjectFile(fd)) {
        close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    return fd;
}

std::atomic<std::uint64_t> g_anonymousSerial{1};

}  // namespace

SharedObject::OpenResult SharedObject::OpenNamed(const char* name, const Params& params, bool mayCreate)
{
    OpenResult result{nullptr, ERROR_SUCCESS, false};
    if (params.dataSize > kMaxDataSize) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    DirectoryLock dir;
    if (dir.Fd() < 0) {
        result.error = dir.Error();
        return result;
    }
    const std::string objectName(name);
    const std::string fileName = FileNameFor(objectName);
    bool fresh = false;
    const int fd = OpenObjectFile(dir.Fd(), fileName, mayCreate, &fresh, &result.error);
    if (fd < 0) return result;

    std::unique_ptr<SharedObject> object(new SharedObject);
    object->fd_ = fd;
    object->fileName_ = fileName;
    object->key_ = KeyOf(fd);
    // Nobody holds an existing file: its creator died. It is gone for an open, new for a create.
    if (!fresh && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        if (!mayCreate) {
            unlinkat(dir.Fd(), fileName.c_str(), 0);
            object->fileName_.clear();  // the destructor only closes the descriptor
            result.error = ERROR_FILE_NOT_FOUND;
            return result;
        }
        fresh = true;
    }
    if (fresh) {
        LockFileRetrying(fd, LOCK_EX);
        result.error = InitializeFile(fd, objectName, params, &object->dataOffset_);
        object->dataSize_ = params.dataSize;
        object->flags_ = params.flags;
    } else {
        StoredLayout layout{};
        result.error = ReadHeader(fd, objectName, params, &layout);
        object->dataOffset_ = layout.dataOffset;
        object->dataSize_ = layout.dataSize;
        object->flags_ = layout.flags;
        result.existed = true;
    }
    if (result.error == ERROR_SUCCESS && params.mapData && !object->MapData()) result.error = ERROR_NOT_ENOUGH_MEMORY;
    if (result.error == ERROR_SUCCESS && fresh && params.init && !params.init(object->data_, params.initContext))
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    if (result.error != ERROR_SUCCESS) {
        if (fresh) unlinkat(dir.Fd(), fileName.c_str(), 0);
        object->fileName_.clear();  // nothing left for the destructor to unlink
        result.existed = false;
        return result;
    }
    LockFileRetrying(fd, LOCK_SH);
    result.object = std::move(object);
    return result;
}

SharedObject::OpenResult SharedObject::CreateAnonymous(const Params& params, bool needDescriptor)
{
    OpenResult result{nullptr, ERROR_SUCCESS, false};
    if (params.dataSize > kMaxDataSize) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    std::unique_ptr<SharedObject> object(new SharedObject);
    object->dataSize_ = params.dataSize;
    object->flags_ = params.flags;
    if (needDescriptor) {
        object->fd_ = memfd_create("lobbykit", MFD_CLOEXEC);
        if (object->fd_ < 0 || ftruncate(object->fd_, static_cast<off_t>(params.dataSize)) != 0) {
            result.error = ErrorFromErrno(errno);
            return result;
        }
        const int r = ReserveFileSpace(object->fd_, 0, static_cast<off_t>(params.dataSize));
        if (r != 0) {
            result.error = ErrorFromErrno(r);
            return result;
        }
        object->key_ = KeyOf(object->fd_);
    } else {
        object->key_.inode = g_anonymousSerial.fetch_add(1);
    }
    if (params.mapData && !object->MapData()) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    if (params.init && !params.init(object->data_, params.initContext)) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    result.object = std::move(object);
    return result;
}

bool SharedObject::MapData()
{
    void* p = fd_ >= 0
                  ? mmap(nullptr, dataSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, static_cast<off_t>(dataOffset_))
                  : mmap(nullptr, dataSize_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    data_ = p;
    return true;
}

SharedObject::~SharedObject()
{
    if (data_) munmap(data_, dataSize_);
    if (fd_ < 0) return;
    if (!fileName_.empty()) {
        DirectoryLock dir;
        // The last holder removes the name. The file at the name must still be ours.
        struct stat st;
        if (dir.Fd() >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(dir.Fd(), fileName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == key_.device &&
            st.st_ino == key_.inode)
            unlinkat(dir.Fd(), fileName_.c_str(), 0);
        // Unlocked explicitly, whatever the attempt above left: a view mapped from this
        // descriptor keeps its open file, and with it any lock, until the view goes; a view
        // is no handle and must not keep the name alive (here or in another process).
        LockFileRetrying(fd_, LOCK_UN);
        close(fd_);  // inside the directory lock: no opener sees a half-closed object
        return;
    }
    close(fd_);
}

std::string NamedObjectDirectory()
{
    DWORD error = ERROR_SUCCESS;
    const int fd = OpenCheckedDirectory(&error);
    if (fd < 0) return std::string();
    close(fd);
    return DirectoryPath();
}

std::string NamedObjectFileName(const std::string& name) { return FileNameFor(name); }

}  // namespace winport
