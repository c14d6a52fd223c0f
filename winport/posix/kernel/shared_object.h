// Internal: the storage of a kernel object that other processes may share.
//
// A named object is one file in the user's namespace directory:
//   - the directory is $XDG_RUNTIME_DIR/lobbykit, else /dev/shm/lobbykit-<uid>; mode 0700,
//     owned by the user (checked on every use, repaired if only its mode is wrong);
//   - the object name is the key that object_name.h resolves ("Global\" and a name for the
//     global namespace, the name alone otherwise);
//   - the file name is "o-" and the object name encoded (bytes outside [A-Za-z0-9_.-] as
//     %XX), so no name can form a path; an encoding longer than the file system allows is
//     cut and followed by a hash, and the full name stored in the header is compared on open;
//   - the file starts with a header (magic, kind, version, sizes, name) and holds the
//     object's data from the page-aligned data offset on; files are 0600 under any umask,
//     opened with O_NOFOLLOW|O_CLOEXEC and checked with fstat (regular, owner, one link).
// Lifetime: every open handle holds its own descriptor with a shared flock on the file, and
// only handles do: a mapped view keeps the memory but not the name (the descriptor is
// unlocked explicitly when its handle closes, since a view keeps its open file alive).
// Create, open and close run under an exclusive flock on the directory. A file that nobody
// holds (an exclusive non-blocking lock succeeds) was left by a process that died and is
// initialised afresh; the last closer unlinks the file. The first use of the directory in
// a process also removes every file that nobody holds (left by processes that died or
// exited without closing their handles), so such files do not pile up. The kernel drops the locks of a
// process that dies, SIGKILL included, so no process ids are kept anywhere.
//
// An unnamed object has the same data in anonymous shared memory (a memfd when the data
// must be mapped more than once, as for file mappings).
#ifndef WINPORT_POSIX_KERNEL_SHARED_OBJECT_H
#define WINPORT_POSIX_KERNEL_SHARED_OBJECT_H

#include <cstdint>
#include <memory>
#include <string>

#include "winport/posix/kernel/kernel.h"

namespace winport {

// Identifies the data of one object within the process, whichever handle reaches it.
struct ObjectKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const ObjectKey& o) const { return device == o.device && inode == o.inode; }
};

class SharedObject {
public:
    // Fills the zeroed data of a new object; false aborts the creation.
    using InitFn = bool (*)(void* data, const void* context);

    struct Params {
        ObjectKind kind;
        std::uint64_t dataSize;
        std::uint32_t flags;  // kind-specific, kept in the header (mapping protection)
        bool mapData;         // keep the data mapped (small objects) or not (file mappings)
        InitFn init;          // may be null
        const void* initContext;
    };

    struct OpenResult {
        std::unique_ptr<SharedObject> object;  // null on failure
        DWORD error;                           // on failure
        bool existed;                          // the name was already held by a live object
    };

    // Create-or-open (mayCreate) or open-only of a named object; name is a resolved key
    // (object_name.h). On a live object of the same
    // kind, the stored parameters win: dataSize and flags of the result are the stored ones.
    static OpenResult OpenNamed(const char* name, const Params& params, bool mayCreate);
    static OpenResult CreateAnonymous(const Params& params, bool needDescriptor);

    ~SharedObject();
    SharedObject(const SharedObject&) = delete;
    SharedObject& operator=(const SharedObject&) = delete;

    void* Data() const { return data_; }
    int Descriptor() const { return fd_; }
    std::uint64_t DataOffset() const { return dataOffset_; }
    std::uint64_t DataSize() const { return dataSize_; }
    std::uint32_t Flags() const { return flags_; }
    const ObjectKey& Key() const { return key_; }

private:
    SharedObject() = default;
    bool MapData();

    int fd_ = -1;
    std::string fileName_;  // empty for unnamed objects
    void* data_ = nullptr;
    std::uint64_t dataOffset_ = 0;
    std::uint64_t dataSize_ = 0;
    std::uint32_t flags_ = 0;
    ObjectKey key_;
};

// Test hooks: the directory that holds this user's named objects (created and checked on
// demand; empty if it cannot be used), and the file name in it that stands for a Win32
// object name.
std::string NamedObjectDirectory();
std::string NamedObjectFileName(const std::string& name);

}  // namespace winport

#endif
