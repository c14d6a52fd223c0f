// Mutexes: a process-shared robust pthread mutex in the object's shared data.
//
// Recursion is counted per thread in this process (the pthread mutex itself is taken once),
// so that every handle to the same named mutex shares one count and one owner. A thread
// that ends while it owns mutexes leaves them abandoned: the flag in the shared data makes
// the next owner's wait return WAIT_ABANDONED. A process that dies holding one (SIGKILL
// included) is handled by the kernel's robust-futex list: the next owner gets EOWNERDEAD,
// makes the mutex consistent and reports WAIT_ABANDONED too.
//
// Waiting: a waiter sleeps on two words at once. The wake word next to the mutex carries the
// sleepers bit (futex.h): the waiter sets it before it reads the lock word, and
// ReleaseMutex, after unlocking, wakes all sleepers (who race with trylock) only when the bit
// is set, so an uncontended release makes no system call. The pthread lock word (owner tid |
// FUTEX_WAITERS | FUTEX_OWNER_DIED, the kernel's robust-futex ABI) is watched too, with
// FUTEX_WAITERS set, so that the kernel's handling of an owner that died wakes a waiter.
#include <linux/futex.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/mutex.h"
#include "winport/posix/kernel/object_name.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {
namespace {

struct MutexData {
    pthread_mutex_t mutex;
    std::uint32_t abandoned;  // set by an owner thread that ended; read by the next owner
    std::uint32_t wake;       // futex word: sleepers bit, release count in bits 1..31
};

static_assert(sizeof(MutexData{}.mutex.__data.__lock) == sizeof(std::uint32_t), "lock word is 32 bits");

bool InitMutex(void* data, const void*)
{
    MutexData* d = static_cast<MutexData*>(data);
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) return false;
    bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
              pthread_mutex_init(&d->mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

class MutexObject;

struct HeldMutex {
    std::shared_ptr<MutexObject> mutex;  // the handle's object that took it: keeps it mapped
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
    explicit MutexObject(std::unique_ptr<SharedObject> storage)
        : Waitable(ObjectKind::Mutex), storage_(std::move(storage)),
          data_(static_cast<MutexData*>(storage_->Data()))
    {
    }

    const ObjectKey& Key() const { return storage_->Key(); }

    AcquireResult TryAcquire(WaitState&) override
    {
        if (HeldMutex* held = t_held.Find(Key())) {
            ++held->count;
            return AcquireResult::Acquired;
        }
        const int r = pthread_mutex_trylock(&data_->mutex);
        if (r == EBUSY) return AcquireResult::NotReady;
        if (r == EOWNERDEAD) {
            pthread_mutex_consistent(&data_->mutex);
            __atomic_store_n(&data_->abandoned, 1u, __ATOMIC_RELAXED);
        } else if (r != 0) {
            SetLastError(ERROR_INVALID_HANDLE);  // not recoverable: a damaged object
            return AcquireResult::Failed;
        }
        t_held.Add(shared_from_this());
        return __atomic_exchange_n(&data_->abandoned, 0u, __ATOMIC_RELAXED) ? AcquireResult::Abandoned
                                                                            : AcquireResult::Acquired;
    }

    bool PrepareSleep(SleepWords& words, const WaitState&) override
    {
        // The mark goes first: a release whose unlock this thread's read below misses is
        // ordered after the mark and so finds it.
        words.word = FutexWord{&data_->wake, __atomic_or_fetch(&data_->wake, kSleepersBit, __ATOMIC_SEQ_CST)};
        std::uint32_t value = __atomic_load_n(LockWord(), __ATOMIC_SEQ_CST);
        for (;;) {
            if ((value & FUTEX_TID_MASK) == 0) return false;  // free (or its owner died): retry now
            const std::uint32_t marked = value | FUTEX_WAITERS;
            if (value == marked ||
                __atomic_compare_exchange_n(LockWord(), &value, marked, false, __ATOMIC_SEQ_CST,
                                            __ATOMIC_SEQ_CST)) {
                words.watch = FutexWord{LockWord(), marked};
                return true;
            }
        }
    }

    bool LooksReady(WaitState&) override
    {
        // Free, left by an owner that died, or already this thread's.
        return (AtomicLoad(LockWord()) & FUTEX_TID_MASK) == 0 || t_held.Find(Key()) != nullptr;
    }

    bool Consumable() const override { return true; }

    void GiveBack(WaitState&, AcquireResult how) override
    {
        HeldMutex* held = t_held.Find(Key());
        if (!held) return;
        if (--held->count == 0) t_held.Remove(Key())->Unlock(how == AcquireResult::Abandoned);
    }

    ObjectIdentity Identity() const override { return ObjectIdentity{ObjectKind::Mutex, Key().device, Key().inode}; }

    // The kernel wakes one waiter when an owner dies; if that one leaves the mutex free,
    // the others must hear of it.
    void PassOnWakeup() override
    {
        if ((AtomicLoad(LockWord()) & FUTEX_TID_MASK) == 0) WakeSleepers(&data_->wake);
    }

    // Final release by the owner thread (abandoned: it ended while owning the mutex, or it
    // gives back a mutex it found abandoned, for the next owner to learn of it).
    void Unlock(bool abandoned)
    {
        if (abandoned) __atomic_store_n(&data_->abandoned, 1u, __ATOMIC_RELAXED);
        pthread_mutex_unlock(&data_->mutex);
        WakeSleepers(&data_->wake);  // reads the bit after the unlock (see PrepareSleep)
    }

private:
    std::uint32_t* LockWord() { return reinterpret_cast<std::uint32_t*>(&data_->mutex.__data.__lock); }

    std::unique_ptr<SharedObject> storage_;
    MutexData* data_;
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
    return SharedObject::Params{ObjectKind::Mutex, sizeof(MutexData), 0, true, &InitMutex, nullptr};
}

}  // namespace

void AbandonHeldMutexes()
{
    t_held.AbandonAll();
}

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
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    auto mutex = std::make_shared<MutexObject>(std::move(opened.object));
    // Initial ownership applies only to a mutex this call created.
    WaitState unused;
    if (bInitialOwner && !opened.existed) mutex->TryAcquire(unused);
    return PublishObject(mutex, opened.existed, true);
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectNameToOpen(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    SharedObject::OpenResult opened = SharedObject::OpenNamed(key.c_str(), MutexParams(), false);
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    return PublishObject(std::make_shared<MutexObject>(std::move(opened.object)), true, false);
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
