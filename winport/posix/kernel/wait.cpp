// WaitForSingleObject(Ex) and WaitForMultipleObjects(Ex) over events, mutexes, threads,
// processes and the process pseudo handle; MsgWaitForMultipleObjectsEx adds a message queue.
//
// Wait-any scans the objects in index order; when none is ready the thread sleeps on all
// their futex words at once (and on its termination word, for layer threads). A wait on
// several objects first scans again for a short while (futex.h: WatchNanoseconds).
//
// Wait-all takes nothing while not everything is ready. A round first looks at every
// object without changing it; the first one that is not ready is slept on (with the
// termination word), and the round starts again when it changes. When all look ready, the
// round takes them: auto-reset events and mutexes first, in an order that is the same in
// every process (by object identity), then it checks the objects that are not consumed
// (manual-reset events, threads). If one of them is gone by then (another waiter was
// quicker), what the round took is given back at once, with the wake-ups, and the next
// round sleeps on the missing object. There is no lock over all the objects (nothing that
// a killed waiter could leave held), so the taking is not one atomic step: in the short
// window between the first take and a give-back, another thread that merely tries an
// object the round holds (a wait with timeout 0, or a timed wait whose time runs out just
// then) finds it not signalled, and a wait that sleeps on it is woken by the give-back.
// Nothing is lost or doubled: an auto-reset event is set again only if nobody set or reset
// it meanwhile (event.cpp), a mutex goes back as it was found (abandoned included).
// The window opens only when all objects looked ready and one vanished before it was
// taken. A waiter killed inside it leaves the objects as if its wait had succeeded.
#include <algorithm>
#include <array>
#include <new>
#include <optional>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/thread.h"
#include "winport/posix/kernel/wait.h"

namespace winport {
namespace {

// Up to N elements on the caller's stack: a wait allocates nothing (the channel's worker and
// its locks wait once or more per packet). Only the elements in use are constructed, so an
// empty list costs nothing to make.
template <class T, std::size_t N>
class FixedList {
public:
    FixedList() = default;
    FixedList(const FixedList&) = delete;
    FixedList& operator=(const FixedList&) = delete;
    ~FixedList() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T* data() { return std::launder(reinterpret_cast<T*>(storage_)); }
    const T* data() const { return std::launder(reinterpret_cast<const T*>(storage_)); }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    void push_back(T item)
    {
        new (storage_ + size_ * sizeof(T)) T(std::move(item));
        ++size_;
    }
    void clear()
    {
        while (size_ > 0) data()[--size_].~T();
    }
    void resize(std::size_t n)  // n <= N
    {
        while (size_ > n) data()[--size_].~T();
        while (size_ < n) push_back(T());
    }

private:
    alignas(T) unsigned char storage_[sizeof(T) * N];
    std::size_t size_ = 0;
};

using WaitList = FixedList<std::shared_ptr<Waitable>, MAXIMUM_WAIT_OBJECTS>;
using WaitStates = FixedList<WaitState, MAXIMUM_WAIT_OBJECTS>;
using WordList = FixedList<FutexWord, kMaxFutexWords>;

thread_local void (*t_takeHook)(void*) = nullptr;
thread_local void* t_takeHookContext = nullptr;

// The process pseudo handle: signalled when the process has ended, so never for a waiter
// inside it. Its word never changes.
class ProcessObject : public Waitable {
public:
    ProcessObject() : Waitable(ObjectKind::Process) {}
    AcquireResult TryAcquire(WaitState&) override { return AcquireResult::NotReady; }
    bool LooksReady(WaitState&) override { return false; }
    bool PrepareSleep(SleepWords& words, WaitState&) override
    {
        words.word = FutexWord{&never_, 0};
        return true;
    }
    ObjectIdentity Identity() const override { return ObjectIdentity{ObjectKind::Process, 0, 0}; }

private:
    std::uint32_t never_ = 0;
};

// Never destroyed: detached threads may still wait while the process exits.
const std::shared_ptr<Waitable>& CurrentProcessObject()
{
    static const std::shared_ptr<Waitable>* process = new std::shared_ptr<Waitable>(std::make_shared<ProcessObject>());
    return *process;
}

// ERROR_SUCCESS, or the error of the first handle (in index order) that cannot be waited
// on: a file mapping has no right to be waited on (ERROR_ACCESS_DENIED), anything else
// that is not a waitable object is not a handle for the purpose (ERROR_INVALID_HANDLE).
DWORD ResolveHandles(DWORD count, const HANDLE* handles, WaitList* objects)
{
    for (DWORD i = 0; i < count; ++i) {
        if (handles[i] == CurrentProcessHandle()) {
            objects->push_back(CurrentProcessObject());
            continue;
        }
        std::shared_ptr<KernelObject> object = LookupHandle(handles[i]);
        if (!object) return ERROR_INVALID_HANDLE;
        switch (object->Kind()) {
        case ObjectKind::Event:
        case ObjectKind::Mutex:
        case ObjectKind::Thread:
        case ObjectKind::Process:
        case ObjectKind::ChildThread: break;
        case ObjectKind::Mapping: return ERROR_ACCESS_DENIED;
        default: return ERROR_INVALID_HANDLE;
        }
        objects->push_back(std::static_pointer_cast<Waitable>(object));
    }
    return ERROR_SUCCESS;
}

// Nothing when no object is ready, else the WAIT_* result (WAIT_FAILED with the error set).
std::optional<DWORD> ScanOnce(const WaitList& objects, WaitStates& states, std::size_t* index)
{
    for (std::size_t i = 0; i < objects.size(); ++i) {
        switch (objects[i]->TryAcquire(states[i])) {
        case AcquireResult::NotReady: continue;
        case AcquireResult::Acquired: *index = i; return static_cast<DWORD>(WAIT_OBJECT_0 + i);
        case AcquireResult::Abandoned: *index = i; return static_cast<DWORD>(WAIT_ABANDONED_0 + i);
        case AcquireResult::Failed: *index = i; return DWORD(WAIT_FAILED);
        }
    }
    return std::nullopt;
}

// Scans until an object is ready or the watch time (or the deadline) has passed.
std::optional<DWORD> ScanWhileWatching(const WaitList& objects, WaitStates& states, std::size_t* index,
                                       const Deadline& deadline)
{
    const std::int64_t watch = WatchNanoseconds();
    if (watch <= 0) return std::nullopt;
    std::int64_t end = MonotonicNanoseconds() + watch;
    if (!deadline.IsNever() && deadline.Nanoseconds() < end) end = deadline.Nanoseconds();
    do {
        // The clock is read once per 16 scans: a scan costs a few nanoseconds, the clock more.
        for (int round = 0; round < 16; ++round) {
            if (const std::optional<DWORD> result = ScanOnce(objects, states, index)) return result;
            CpuRelax();
        }
    } while (MonotonicNanoseconds() < end);
    return std::nullopt;
}

// How long a wait sleeps at a time when some watch words did not fit into the call, or an
// object asked to be looked at again (SleepWords::recheck).
constexpr std::uint32_t kWatchSliceMs = 100;

// Fills the words to sleep on: each object's word, the termination word, then the watch
// words that still fit (*cut tells whether one did not, or an object asked for slices).
// False when an object may have become ready meanwhile.
bool PrepareWords(const WaitList& objects, WaitStates& states, WordList* words, bool* cut)
{
    FutexWord watches[MAXIMUM_WAIT_OBJECTS];
    std::size_t watchCount = 0;
    bool recheck = false;
    words->clear();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        SleepWords w{};
        if (!objects[i]->PrepareSleep(w, states[i])) return false;
        words->push_back(w.word);
        if (w.watch.addr) watches[watchCount++] = w.watch;
        recheck = recheck || w.recheck;
    }
    if (std::uint32_t* termination = CurrentTerminationWord()) words->push_back(FutexWord{termination, 0});
    const std::size_t room = kMaxFutexWords - words->size();
    *cut = watchCount > room || recheck;
    for (std::size_t i = 0; i < (*cut ? room : watchCount); ++i) words->push_back(watches[i]);
    return true;
}

Deadline DeadlineFor(DWORD milliseconds)
{
    // A zero timeout never sleeps: it needs no deadline, and so no clock.
    return milliseconds == 0 ? Deadline::Never() : Deadline::AfterMilliseconds(milliseconds);
}

DWORD WaitAny(const WaitList& objects, DWORD milliseconds)
{
    const Deadline deadline = DeadlineFor(milliseconds);
    WordList words;
    WaitStates states;
    states.resize(objects.size());
    for (;;) {
        ExitIfTerminationRequested();
        std::size_t index = objects.size();
        std::optional<DWORD> result = ScanOnce(objects, states, &index);
        if (!result && objects.size() > 1 && milliseconds != 0)
            result = ScanWhileWatching(objects, states, &index, deadline);
        if (result) return *result;
        if (milliseconds == 0 || deadline.Passed()) return WAIT_TIMEOUT;
        bool cut = false;
        if (!PrepareWords(objects, states, &words, &cut)) continue;
        FutexWaitAny(words.data(), words.size(),
                     cut ? deadline.EarlierOf(Deadline::AfterMilliseconds(kWatchSliceMs)) : deadline);
    }
}

// The order in which a wait-all takes its objects: those it consumes first, each group by
// identity. False (ERROR_INVALID_PARAMETER) when an object occurs twice.
using WaitOrder = FixedList<std::size_t, MAXIMUM_WAIT_OBJECTS>;

bool WaitAllOrder(const WaitList& objects, WaitOrder* order)
{
    order->resize(objects.size());
    std::array<std::pair<bool, ObjectIdentity>, MAXIMUM_WAIT_OBJECTS> keys;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        (*order)[i] = i;
        keys[i] = {!objects[i]->Consumable(), objects[i]->Identity()};
    }
    std::sort(order->begin(), order->end(), [&](std::size_t x, std::size_t y) { return keys[x] < keys[y]; });
    for (std::size_t k = 1; k < order->size(); ++k)
        if (keys[(*order)[k - 1]].second == keys[(*order)[k]].second) return false;
    return true;
}

// Takes every object in `order`. Nothing when one was not ready after all (everything given
// back), else WAIT_OBJECT_0, WAIT_ABANDONED_0 (a mutex among them was abandoned; the index
// is always 0, as Windows reports it for a wait-all) or WAIT_FAILED.
std::optional<DWORD> TakeAll(const WaitList& objects, const WaitOrder& order, WaitStates& states)
{
    std::array<AcquireResult, MAXIMUM_WAIT_OBJECTS> taken;
    bool abandoned = false;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        if (t_takeHook && k + 1 == order.size()) t_takeHook(t_takeHookContext);
        taken[k] = objects[i]->TryAcquire(states[i]);
        if (taken[k] == AcquireResult::Acquired || taken[k] == AcquireResult::Abandoned) {
            abandoned = abandoned || taken[k] == AcquireResult::Abandoned;
            continue;
        }
        const DWORD error = GetLastError();
        for (std::size_t back = k; back-- > 0;) objects[order[back]]->GiveBack(states[order[back]], taken[back]);
        if (taken[k] != AcquireResult::Failed) return std::nullopt;
        SetLastError(error);
        return DWORD(WAIT_FAILED);
    }
    return DWORD(abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0);
}

DWORD WaitAll(const WaitList& objects, DWORD milliseconds)
{
    WaitOrder order;
    if (!WaitAllOrder(objects, &order)) return Fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    const Deadline deadline = DeadlineFor(milliseconds);
    WaitStates states;
    states.resize(objects.size());
    for (;;) {
        ExitIfTerminationRequested();
        std::size_t missing = objects.size();
        for (std::size_t i : order) {
            if (!objects[i]->LooksReady(states[i])) {
                missing = i;
                break;
            }
        }
        if (missing == objects.size()) {
            const std::optional<DWORD> result = TakeAll(objects, order, states);
            if (!result) continue;  // the next look finds what was missing
            return *result;
        }
        if (milliseconds == 0 || deadline.Passed()) return WAIT_TIMEOUT;
        SleepWords w{};
        if (!objects[missing]->PrepareSleep(w, states[missing])) continue;
        FutexWord words[3] = {w.word};
        std::size_t count = 1;
        if (std::uint32_t* termination = CurrentTerminationWord()) words[count++] = FutexWord{termination, 0};
        if (w.watch.addr) words[count++] = w.watch;
        FutexWaitAny(words, count, w.recheck ? deadline.EarlierOf(Deadline::AfterMilliseconds(kWatchSliceMs)) : deadline);
    }
}

}  // namespace

DWORD WaitForHandlesAnd(DWORD nCount, const HANDLE* handles, const std::shared_ptr<Waitable>& extra, bool waitAll,
                        DWORD milliseconds)
{
    WaitList objects;
    const DWORD error = ResolveHandles(nCount, handles, &objects);
    if (error != ERROR_SUCCESS) return Fail<DWORD>(error, WAIT_FAILED);
    if (extra) objects.push_back(extra);
    return waitAll && objects.size() > 1 ? WaitAll(objects, milliseconds) : WaitAny(objects, milliseconds);
}

void SetWaitAllTakeHook(void (*fn)(void*), void* context)
{
    t_takeHook = fn;
    t_takeHookContext = context;
}

}  // namespace winport

using namespace winport;

extern "C" {

DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds,
                                      BOOL bAlertable)
{
    // No APCs exist in this layer, so an alertable wait is an ordinary wait.
    (void)bAlertable;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles)
        return Fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    return WaitForHandlesAnd(nCount, lpHandles, nullptr, bWaitAll != FALSE, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    return WaitForMultipleObjectsEx(nCount, lpHandles, bWaitAll, dwMilliseconds, FALSE);
}

DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable)
{
    return WaitForMultipleObjectsEx(1, &hHandle, FALSE, dwMilliseconds, bAlertable);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return WaitForMultipleObjectsEx(1, &hHandle, FALSE, dwMilliseconds, FALSE);
}

}  // extern "C"
