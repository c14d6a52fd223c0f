// WaitForSingleObject(Ex) and WaitForMultipleObjects(Ex): wait-any over events, mutexes and
// threads. The objects are scanned in index order; when none is ready the thread sleeps on
// all their futex words at once (and on its termination word, for layer threads).
#include <vector>

#include "kernel_object.h"
#include "win_error.h"

namespace winport {
namespace {

using WaitList = std::vector<std::shared_ptr<Waitable>>;

bool IsWaitable(ObjectKind kind)
{
    return kind == ObjectKind::Event || kind == ObjectKind::Mutex || kind == ObjectKind::Thread;
}

bool ResolveHandles(DWORD count, const HANDLE* handles, WaitList* objects)
{
    objects->reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<KernelObject> object = LookupHandle(handles[i]);
        if (!object || !IsWaitable(object->Kind())) return false;
        objects->push_back(std::static_pointer_cast<Waitable>(object));
    }
    return true;
}

void PassOnWakeups(const WaitList& objects, std::size_t except)
{
    for (std::size_t i = 0; i < objects.size(); ++i)
        if (i != except) objects[i]->PassOnWakeup();
}

// -1 when nothing is ready, else the WAIT_* result (WAIT_FAILED with the error set).
long ScanOnce(const WaitList& objects, std::vector<WaitState>& states, std::size_t* index)
{
    for (std::size_t i = 0; i < objects.size(); ++i) {
        switch (objects[i]->TryAcquire(states[i])) {
        case AcquireResult::NotReady: continue;
        case AcquireResult::Acquired: *index = i; return static_cast<long>(WAIT_OBJECT_0 + i);
        case AcquireResult::Abandoned: *index = i; return static_cast<long>(WAIT_ABANDONED_0 + i);
        case AcquireResult::Failed: *index = i; return static_cast<long>(WAIT_FAILED);
        }
    }
    return -1;
}

// How long a wait sleeps at a time when some watch words did not fit into the call.
constexpr std::uint32_t kWatchSliceMs = 100;

// Fills the words to sleep on: each object's word, the termination word, then the watch
// words that still fit (*cut tells whether one did not). False when an object may have
// become ready meanwhile.
bool PrepareWords(const WaitList& objects, const std::vector<WaitState>& states, std::vector<FutexWord>* words,
                  bool* cut)
{
    FutexWord watches[MAXIMUM_WAIT_OBJECTS];
    std::size_t watchCount = 0;
    words->clear();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        SleepWords w{};
        if (!objects[i]->PrepareSleep(w, states[i])) return false;
        words->push_back(w.word);
        if (w.watch.addr) watches[watchCount++] = w.watch;
    }
    if (std::uint32_t* termination = CurrentTerminationWord()) words->push_back(FutexWord{termination, 0});
    const std::size_t room = kMaxFutexWords - words->size();
    *cut = watchCount > room;
    words->insert(words->end(), watches, watches + (*cut ? room : watchCount));
    return true;
}

DWORD WaitAny(const WaitList& objects, DWORD milliseconds)
{
    // A zero timeout never sleeps: it needs no deadline, and so no clock.
    const Deadline deadline = milliseconds == 0 ? Deadline::Never() : Deadline::AfterMilliseconds(milliseconds);
    std::vector<FutexWord> words;
    std::vector<WaitState> states(objects.size());
    bool slept = false;
    for (;;) {
        if (TerminationRequested()) {
            if (slept) PassOnWakeups(objects, objects.size());
            ExitTerminatedThread();
        }
        std::size_t index = objects.size();
        const long result = ScanOnce(objects, states, &index);
        if (result >= 0 || result == static_cast<long>(WAIT_FAILED)) {
            if (slept) PassOnWakeups(objects, index);
            return static_cast<DWORD>(result);
        }
        if (milliseconds == 0 || deadline.Passed()) {
            if (slept) PassOnWakeups(objects, objects.size());
            return WAIT_TIMEOUT;
        }
        bool cut = false;
        if (!PrepareWords(objects, states, &words, &cut)) continue;
        FutexWaitAny(words.data(), words.size(),
                     cut ? deadline.EarlierOf(Deadline::AfterMilliseconds(kWatchSliceMs)) : deadline);
        slept = true;
    }
}

}  // namespace
}  // namespace winport

using namespace winport;

extern "C" {

DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                      DWORD dwMilliseconds, BOOL bAlertable)
{
    // No APCs exist in this layer, so an alertable wait is an ordinary wait.
    (void)bAlertable;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles)
        return Fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    // Waiting for all of several objects at once is not implemented.
    if (bWaitAll && nCount > 1) return Fail<DWORD>(ERROR_NOT_SUPPORTED, WAIT_FAILED);
    WaitList objects;
    if (!ResolveHandles(nCount, lpHandles, &objects)) return Fail<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
    return WaitAny(objects, dwMilliseconds);
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
