// kernel/: the objects behind HANDLE values and what names, shares or waits on them.
//
// Internal: kernel objects behind HANDLE values, and what a wait needs from them
// (implemented in kernel.cpp, the process's table of kernel handles). The folder's one call
// out is the thread-end hook of user/ (user/queue.h).
#ifndef WINPORT_POSIX_KERNEL_KERNEL_H
#define WINPORT_POSIX_KERNEL_KERNEL_H

#include <cstddef>
#include <memory>

#include <windows.h>

#include "winport/posix/kernel/futex.h"

namespace winport {

// ChildThread: the main thread of a process CreateProcessA started (its hThread).
// MessageQueue: a thread's queue in MsgWaitForMultipleObjectsEx (in no handle table).
enum class ObjectKind : std::uint16_t {
    Event = 1,
    Mutex = 2,
    Mapping = 3,
    Thread = 4,
    Process = 5,
    File = 6,
    ChildThread = 7,
    MessageQueue = 8,
};

// The pseudo handle of the calling process (GetCurrentProcess); it is in no handle table.
inline HANDLE CurrentProcessHandle() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    ObjectKind Kind() const { return kind_; }

private:
    const ObjectKind kind_;
};

enum class AcquireResult { NotReady, Acquired, Abandoned, Failed };

// What one wait remembers about one of its objects between scans.
struct WaitState {
    bool observed = false;
    std::uint32_t value = 0;
    bool ownerDead = false;  // mutexes: the owner `value` was found dead
};

// Tells objects apart whichever handle reaches them, the same way in every process for
// named objects (their file), so that waits for all of several objects take them in one
// order everywhere.
struct ObjectIdentity {
    ObjectKind kind;
    std::uint64_t a;
    std::uint64_t b;
    bool operator==(const ObjectIdentity& o) const { return kind == o.kind && a == o.a && b == o.b; }
    bool operator<(const ObjectIdentity& o) const
    {
        if (kind != o.kind) return kind < o.kind;
        return a != o.a ? a < o.a : b < o.b;
    }
};

// What a wait sleeps on for one object: the word where its changes show, and optionally a
// second word to watch (for a mutex another process owns, the word of the watch on its
// owner's lock, which changes when that process dies). A watch that does not fit into one
// futex_waitv call is left out and the sleep is cut into slices instead, as it is when the
// object may change without a word to show it (recheck).
struct SleepWords {
    FutexWord word;
    FutexWord watch;  // addr null: none
    bool recheck = false;
};

// An object a wait function can wait on. A wait-any scans its objects in order with
// TryAcquire (which consumes an auto-reset event or takes a mutex), and when none is ready
// sleeps on the words that PrepareSleep names. A wait-all first looks at every object
// without changing it (LooksReady); only when all look ready does it take them with
// TryAcquire, and if one was taken by someone else meanwhile it gives back (GiveBack)
// what it took.
class Waitable : public KernelObject {
public:
    using KernelObject::KernelObject;
    virtual AcquireResult TryAcquire(WaitState& state) = 0;  // Failed sets the last error
    // Records the caller as a sleeper where the object needs it (futex.h) and fills in
    // the words to sleep on; false when the object may have become ready meanwhile.
    virtual bool PrepareSleep(SleepWords& words, WaitState& state) = 0;
    // Whether TryAcquire would succeed now, changing nothing shared. It may note in `state`
    // what PrepareSleep then compares with.
    virtual bool LooksReady(WaitState& state) = 0;
    // Whether TryAcquire changes the object (auto-reset events, mutexes).
    virtual bool Consumable() const { return false; }
    // Undoes a TryAcquire of this thread that returned `how` (Acquired or Abandoned).
    virtual void GiveBack(WaitState& state, AcquireResult how)
    {
        (void)state;
        (void)how;
    }
    virtual ObjectIdentity Identity() const = 0;
};

// The process's handle table (tag 1). Insert returns NULL with ERROR_NOT_ENOUGH_MEMORY
// when it is full.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// Inserts a new or opened object. For the create calls (creating) the last error tells
// whether the name was already held: ERROR_ALREADY_EXISTS, else ERROR_SUCCESS.
HANDLE PublishObject(std::shared_ptr<KernelObject> object, bool existed, bool creating);

// Security descriptors cannot be honoured (named objects are private to the user anyway),
// so attributes carrying one are refused with ERROR_NOT_SUPPORTED; bInheritHandle has no
// effect since no handle is ever inherited (CreateProcessA refuses bInheritHandles TRUE).
bool SecurityAttributesUsable(LPSECURITY_ATTRIBUTES attributes);

// The object behind a handle if it is of the kind; otherwise null with ERROR_INVALID_HANDLE.
template <class T>
std::shared_ptr<T> LookupObject(HANDLE handle, ObjectKind kind)
{
    std::shared_ptr<KernelObject> object = LookupHandle(handle);
    if (!object || object->Kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// Test hook: kernel handles (events, mutexes, mappings, threads, processes, files) open in
// this process.
std::size_t LiveHandleCount();

}  // namespace winport

#endif
