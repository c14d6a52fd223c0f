// Mutexes: one 32-bit futex word in the object's shared data; everything else is private.
//
// The word: bit 0 is the sleepers bit (futex.h), bit 1 "abandoned" (while free: the last
// owner ended without releasing it), bits 2..31 the owner: 0 for free, else the id of the
// handle through which a thread of some process owns it. Nothing shared is a pointer, and
// nothing read from the word is used as one: another process that writes any value there
// leaves the mutex free, free and abandoned, owned by a live id, or owned by an id nobody
// holds, which the next taker finds abandoned (WAIT_ABANDONED).
//
// Owner ids. Each handle of a named mutex picks a random 30-bit id and holds, through its own
// descriptor of the object file, an exclusive open-file-description lock (F_OFD_SETLK) on the
// byte at kIdLockBase + id. The kernel drops that lock when the description goes: the handle
// closed with no thread owning the mutex through it, or its process ended, SIGKILL included.
// An owner id whose byte no description holds is therefore dead. Ids are random, so a new
// handle does not take up the id of a dead owner that a word may still name (odds 2^-30 per
// new handle); an id already held is never given out twice. OFD locks, unlike process-owned
// POSIX locks, survive the closing of other descriptors of the same file in the process, and
// unlike flock they lock one byte each. A process that forks keeps its locks in the child
// while the child holds the descriptors (they are close-on-exec), as for the flock that keeps
// the name alive (shared_object.h). An unnamed mutex is reachable from this process only; its
// one id needs no lock.
//
// Threads: recursion and the owning thread are private. Each thread keeps the list of the
// mutexes it owns, with their counts, in its own memory; the word only says which handle's
// process owns the mutex. A thread that ends owning mutexes (returning, the unwind of
// TerminateThread, or the thread-local list of a thread the layer did not start) releases
// them as abandoned.
//
// Waiting: a waiter sets the sleepers bit and sleeps on the word; a release clears the owner
// and wakes the sleepers only if the bit was set, so an uncontended mutex makes no system
// call. A process that dies writes nothing, so a waiter whose mutex another process owns
// also sleeps on the word of a lock watch (lock_watch.h) on the owner's id byte, and looks at
// that byte (F_OFD_GETLK) once before it first sleeps and once after each wake. When watches
// run short it sleeps in slices instead.
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/lock_watch.h"
#include "winport/posix/kernel/mutex.h"
#include "winport/posix/kernel/object_name.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {
namespace {

constexpr std::uint32_t kAbandonedBit = 2;
constexpr int kOwnerShift = 2;
constexpr std::uint32_t kMaxId = (1u << (32 - kOwnerShift)) - 1;
// Id locks lie far beyond any object's data (locks may lie past the end of a file).
constexpr off_t kIdLockBase = off_t(1) << 40;
// Tries at a free id before a create or open gives up (every one is taken by another
// description only if some process holds locks over the whole range).
constexpr int kIdAttempts = 64;

struct MutexData {
    std::uint32_t word;
    std::uint32_t reserved;
};

std::uint32_t OwnerOf(std::uint32_t word) { return word >> kOwnerShift; }

off_t IdLockOffset(std::uint32_t id) { return kIdLockBase + static_cast<off_t>(id); }

std::uint32_t RandomId()
{
    std::uint32_t r = 0;
    if (getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
        // No entropy yet (early boot): the clock, the process and a counter, mixed.
        static std::atomic<std::uint64_t> counter{0};
        std::uint64_t x = static_cast<std::uint64_t>(MonotonicNanoseconds()) ^
                          (static_cast<std::uint64_t>(getpid()) << 32) ^
                          counter.fetch_add(0x9E3779B97F4A7C15ull, std::memory_order_relaxed);
        x = (x ^ (x >> 31)) * 0x7FB5D329728EA185ull;
        r = static_cast<std::uint32_t>(x ^ (x >> 27));
    }
    return r & kMaxId;
}

// Picks an id no description holds and locks its byte through fd. 0 when none can be had.
std::uint32_t TakeId(int fd, DWORD* error)
{
    for (int attempt = 0; attempt < kIdAttempts; ++attempt) {
        const std::uint32_t id = RandomId();
        if (id == 0) continue;
        struct flock l = {};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        l.l_start = IdLockOffset(id);
        l.l_len = 1;
        if (fcntl(fd, F_OFD_SETLK, &l) == 0) return id;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            *error = errno == EINVAL ? DWORD(ERROR_NOT_SUPPORTED) : ErrorFromErrno(errno);
            return 0;
        }
    }
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
}

class MutexObject;

struct HeldMutex {
    std::shared_ptr<MutexObject> mutex;  // the handle's object that took it: keeps its id alive
    std::uint32_t count;
};

// The mutexes the calling thread owns. Its destructor abandons what is left when a thread
// that the layer did not start ends.
class HeldMutexes {
public:
    ~HeldMutexes() { AbandonAll(); }
    HeldMutex* Find(const ObjectKey& key);
    void Add(std::shared_ptr<MutexObject> mutex) { held_.push_back(HeldMutex{std::move(mutex), 1}); }
    std::shared_ptr<MutexObject> Remove(const ObjectKey& key);
    void AbandonAll();

private:
    std::vector<HeldMutex> held_;
};

thread_local HeldMutexes t_held;

class MutexObject : public Waitable, public std::enable_shared_from_this<MutexObject> {
public:
    MutexObject(std::unique_ptr<SharedObject> storage, std::uint32_t id)
        : Waitable(ObjectKind::Mutex),
          storage_(std::move(storage)),
          word_(&static_cast<MutexData*>(storage_->Data())->word),
          id_(id)
    {
    }

    const ObjectKey& Key() const { return storage_->Key(); }

    // WaitState: `observed` once the owner `value` has been looked at, `ownerDead` what the
    // look found. A look holds until the wait sleeps: one look per owner and sleep.
    AcquireResult TryAcquire(WaitState& state) override
    {
        if (HeldMutex* held = t_held.Find(Key())) {
            ++held->count;
            return AcquireResult::Acquired;
        }
        std::uint32_t v = AtomicLoad(word_);
        for (;;) {
            const std::uint32_t owner = OwnerOf(v);
            if (owner != 0) {
                if (!state.observed || state.value != owner) Look(owner, state);
                if (!state.ownerDead) return AcquireResult::NotReady;
            }
            const std::uint32_t mine = (id_ << kOwnerShift) | (v & kSleepersBit);
            if (__atomic_compare_exchange_n(word_, &v, mine, false, __ATOMIC_ACQUIRE, __ATOMIC_ACQUIRE)) {
                state = WaitState{};
                t_held.Add(shared_from_this());
                return owner != 0 || (v & kAbandonedBit) ? AcquireResult::Abandoned : AcquireResult::Acquired;
            }
        }
    }

    bool PrepareSleep(SleepWords& words, WaitState& state) override
    {
        // The mark goes first: a release whose change this thread's read misses comes after
        // the mark, finds it and wakes.
        const std::uint32_t v = __atomic_or_fetch(word_, kSleepersBit, __ATOMIC_SEQ_CST);
        const std::uint32_t owner = OwnerOf(v);
        if (owner == 0) return false;  // free: try again
        words.word = FutexWord{word_, v};
        if (!Foreign(owner)) return true;  // a thread of this process releases or abandons it
        // A watch ends after the owner's lock has gone, so a death after the look below
        // still wakes this sleep; a waiter that gets no watch looks again in slices.
        if (!WatchByteLock(storage_->Descriptor(), Key(), IdLockOffset(owner), &words.watch)) words.recheck = true;
        if (!state.observed || state.value != owner) Look(owner, state);
        if (state.ownerDead) return false;  // the next try takes it, abandoned
        state.observed = false;             // what this look found may change during the sleep
        return true;
    }

    bool LooksReady(WaitState& state) override
    {
        if (t_held.Find(Key())) return true;
        const std::uint32_t owner = OwnerOf(AtomicLoad(word_));
        if (owner == 0) return true;
        if (!state.observed || state.value != owner) Look(owner, state);
        return state.ownerDead;
    }

    bool Consumable() const override { return true; }

    void GiveBack(WaitState&, AcquireResult how) override
    {
        HeldMutex* held = t_held.Find(Key());
        if (!held) return;
        if (--held->count == 0) t_held.Remove(Key())->Unlock(how == AcquireResult::Abandoned);
    }

    ObjectIdentity Identity() const override { return ObjectIdentity{ObjectKind::Mutex, Key().device, Key().inode}; }

    // Final release by the owner thread (abandoned: it ended while owning the mutex, or it
    // gives back a mutex it found abandoned, for the next owner to learn of it). A word that
    // no longer names this handle was overwritten by another process: it is left as it is.
    void Unlock(bool abandoned)
    {
        const std::uint32_t id = id_;
        ChangeAndWake(word_, [id, abandoned](std::uint32_t v) {
            return OwnerOf(v) == id ? (abandoned ? kAbandonedBit : 0u) | (v & kSleepersBit) : v;
        });
    }

private:
    // An owner of another handle, whose id lock tells whether it lives. The one id of an
    // unnamed mutex is this handle's.
    bool Foreign(std::uint32_t owner) const { return owner != id_ && storage_->Descriptor() >= 0; }

    void Look(std::uint32_t owner, WaitState& state) const
    {
        state.observed = true;
        state.value = owner;
        state.ownerDead = Foreign(owner) && !ByteLockedByOthers(storage_->Descriptor(), IdLockOffset(owner));
    }

    std::unique_ptr<SharedObject> storage_;
    std::uint32_t* const word_;
    const std::uint32_t id_;
};

HeldMutex* HeldMutexes::Find(const ObjectKey& key)
{
    for (HeldMutex& h : held_)
        if (h.mutex->Key() == key) return &h;
    return nullptr;
}

std::shared_ptr<MutexObject> HeldMutexes::Remove(const ObjectKey& key)
{
    auto it = std::find_if(held_.begin(), held_.end(), [&](const HeldMutex& h) { return h.mutex->Key() == key; });
    std::shared_ptr<MutexObject> mutex = std::move(it->mutex);
    held_.erase(it);
    return mutex;
}

void HeldMutexes::AbandonAll()
{
    std::vector<HeldMutex> held;
    held.swap(held_);
    for (HeldMutex& h : held) h.mutex->Unlock(true);
}

SharedObject::Params MutexParams()
{
    return SharedObject::Params{ObjectKind::Mutex, sizeof(MutexData), 0, true, nullptr, nullptr};
}

// A new handle's object for opened storage (its id taken), or null with the error set.
std::shared_ptr<MutexObject> MakeMutex(SharedObject::OpenResult& opened)
{
    if (!opened.object) return Fail<std::shared_ptr<MutexObject>>(opened.error, nullptr);
    std::uint32_t id = 1;  // unnamed: the only id there is
    if (opened.object->Descriptor() >= 0) {
        DWORD error = ERROR_SUCCESS;
        id = TakeId(opened.object->Descriptor(), &error);
        if (id == 0) return Fail<std::shared_ptr<MutexObject>>(error, nullptr);
    }
    return std::make_shared<MutexObject>(std::move(opened.object), id);
}

}  // namespace

void AbandonHeldMutexes() { t_held.AbandonAll(); }

}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectName(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    if (!SecurityAttributesUsable(lpMutexAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    SharedObject::OpenResult opened = !key.empty() ? SharedObject::OpenNamed(key.c_str(), MutexParams(), true)
                                                   : SharedObject::CreateAnonymous(MutexParams(), false);
    const bool existed = opened.existed;
    std::shared_ptr<MutexObject> mutex = MakeMutex(opened);
    if (!mutex) return nullptr;
    // Initial ownership applies only to a mutex this call created.
    WaitState unused;
    if (bInitialOwner && !existed) mutex->TryAcquire(unused);
    return PublishObject(mutex, existed, true);
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectNameToOpen(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    SharedObject::OpenResult opened = SharedObject::OpenNamed(key.c_str(), MutexParams(), false);
    std::shared_ptr<MutexObject> mutex = MakeMutex(opened);
    if (!mutex) return nullptr;
    return PublishObject(std::move(mutex), true, false);
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    std::shared_ptr<MutexObject> mutex = LookupObject<MutexObject>(hMutex, ObjectKind::Mutex);
    if (!mutex) return FALSE;
    HeldMutex* held = t_held.Find(mutex->Key());
    if (!held) return Fail(ERROR_NOT_OWNER, FALSE);
    if (--held->count == 0) t_held.Remove(mutex->Key())->Unlock(false);
    return TRUE;
}

}  // extern "C"
