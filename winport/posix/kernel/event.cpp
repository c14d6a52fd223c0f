// Events: a 32-bit futex word in the object's shared data. Bit 0 is the sleepers bit (see
// futex.h), bit 1 the state (set/clear); bits 2..31 count the sets, so that a
// manual-reset event releases every thread already waiting when it is set, even if it is
// reset again before those threads run. For an auto-reset event they count the sets and
// the resets: a wait for all of several objects that takes the event and must give it
// back restores it only if nobody set or reset it in between (wait.cpp). Any value another
// process writes into the word is a state of the event; the kind (manual or auto-reset) is
// read once, when the handle opens, so a write there later changes nothing here.
#include <string>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/object_name.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {
namespace {

constexpr std::uint32_t kSetBit = 2;
constexpr std::uint32_t kOneSet = 4;  // one step of the set counter
constexpr int kSetCountShift = 2;

struct EventData {
    std::uint32_t state;   // futex word
    std::uint32_t manual;  // manual-reset, fixed at creation
};

struct EventInit {
    bool manual;
    bool initialState;
};

bool InitEvent(void* data, const void* context)
{
    const EventInit* init = static_cast<const EventInit*>(context);
    EventData* d = static_cast<EventData*>(data);
    d->manual = init->manual ? 1 : 0;
    __atomic_store_n(&d->state, init->initialState ? kSetBit : 0u, __ATOMIC_RELEASE);
    return true;
}

class EventObject : public Waitable {
public:
    explicit EventObject(std::unique_ptr<SharedObject> storage)
        : Waitable(ObjectKind::Event),
          storage_(std::move(storage)),
          data_(static_cast<EventData*>(storage_->Data())),
          manual_(AtomicLoad(&data_->manual) != 0)
    {
    }

    void Set()
    {
        // Already set: nobody sleeps on it (a waiter sleeps only on a clear event).
        ChangeAndWake(&data_->state, [](std::uint32_t v) { return v & kSetBit ? v : (v + kOneSet) | kSetBit; });
    }

    void Reset()
    {
        if (manual_) {
            __atomic_and_fetch(&data_->state, ~kSetBit, __ATOMIC_ACQ_REL);
            return;
        }
        // Counted even when the event is clear: it may be clear only because a wait-all
        // holds it for a moment, and must not be set again when that wait gives it back.
        std::uint32_t v = AtomicLoad(&data_->state);
        while (!__atomic_compare_exchange_n(&data_->state, &v, (v & ~kSetBit) + kOneSet, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE)) {
        }
    }

    AcquireResult TryAcquire(WaitState& state) override
    {
        std::uint32_t v = AtomicLoad(&data_->state);
        if (!state.observed) {
            state.observed = true;
            state.value = v >> kSetCountShift;
        }
        if (manual_)
            return (v & kSetBit) || (v >> kSetCountShift) != state.value ? AcquireResult::Acquired
                                                                         : AcquireResult::NotReady;
        // Auto-reset: exactly one waiter clears the set bit (the sleepers bit stays for the others).
        while (v & kSetBit) {
            if (__atomic_compare_exchange_n(&data_->state, &v, v & ~kSetBit, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
                state.value = v & ~kSetBit;  // what GiveBack expects to find
                return AcquireResult::Acquired;
            }
        }
        return AcquireResult::NotReady;
    }

    bool LooksReady(WaitState& state) override
    {
        const std::uint32_t v = AtomicLoad(&data_->state);
        // A manual-reset event counts while it is set; a sleep after this look ends at its
        // next set.
        state.observed = true;
        state.value = v >> kSetCountShift;
        return (v & kSetBit) != 0;
    }

    bool Consumable() const override { return !manual_; }

    void GiveBack(WaitState& state, AcquireResult) override
    {
        if (manual_) return;
        // Set again only if the word is as the take left it (but for the sleepers bit): a
        // set meanwhile already signals it, and a reset meanwhile must stay in effect.
        const std::uint32_t taken = state.value;
        ChangeAndWake(&data_->state, [taken](std::uint32_t v) {
            return ((v ^ taken) & ~kSleepersBit) == 0 ? (v + kOneSet) | kSetBit : v;
        });
    }

    ObjectIdentity Identity() const override
    {
        return ObjectIdentity{ObjectKind::Event, storage_->Key().device, storage_->Key().inode};
    }

    bool PrepareSleep(SleepWords& words, WaitState& state) override
    {
        const std::uint32_t v = AtomicLoad(&data_->state);
        if ((v & kSetBit) || (manual_ && (v >> kSetCountShift) != state.value)) return false;
        return MarkSleeping(&data_->state, v, &words.word);
    }

private:
    std::unique_ptr<SharedObject> storage_;
    EventData* data_;
    const bool manual_;
};

SharedObject::Params EventParams(const EventInit* init)
{
    return SharedObject::Params{ObjectKind::Event, sizeof(EventData), 0, true, &InitEvent, init};
}

HANDLE MakeEventHandle(SharedObject::OpenResult opened, bool creating)
{
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    return PublishObject(std::make_shared<EventObject>(std::move(opened.object)), opened.existed, creating);
}

}  // namespace
}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName)
{
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectName(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    if (!SecurityAttributesUsable(lpEventAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    const EventInit init{bManualReset != FALSE, bInitialState != FALSE};
    const SharedObject::Params params = EventParams(&init);
    return MakeEventHandle(!key.empty() ? SharedObject::OpenNamed(key.c_str(), params, true)
                                        : SharedObject::CreateAnonymous(params, false),
                           true);
}

HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;  // see winport_kernel.h: access masks are not enforced
    (void)bInheritHandle;
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectNameToOpen(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    const EventInit init{false, false};
    return MakeEventHandle(SharedObject::OpenNamed(key.c_str(), EventParams(&init), false), false);
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    std::shared_ptr<EventObject> e = LookupObject<EventObject>(hEvent, ObjectKind::Event);
    if (!e) return FALSE;
    e->Set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    std::shared_ptr<EventObject> e = LookupObject<EventObject>(hEvent, ObjectKind::Event);
    if (!e) return FALSE;
    e->Reset();
    return TRUE;
}

}  // extern "C"
