// Events: a 32-bit futex word (0 clear, 1 set) in the object's shared data.
#include "shared_object.h"
#include "win_error.h"

namespace winport {
namespace {

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
    __atomic_store_n(&d->state, init->initialState ? 1u : 0u, __ATOMIC_RELEASE);
    return true;
}

class EventObject : public Waitable {
public:
    explicit EventObject(std::unique_ptr<SharedObject> storage)
        : Waitable(ObjectKind::Event), storage_(std::move(storage)),
          data_(static_cast<EventData*>(storage_->Data()))
    {
    }

    void Set()
    {
        if (__atomic_exchange_n(&data_->state, 1u, __ATOMIC_ACQ_REL) == 0) FutexWakeAll(&data_->state);
    }

    void Reset() { __atomic_store_n(&data_->state, 0u, __ATOMIC_RELEASE); }

    AcquireResult TryAcquire() override
    {
        if (data_->manual) return AtomicLoad(&data_->state) ? AcquireResult::Acquired : AcquireResult::NotReady;
        std::uint32_t expected = 1;
        // Auto-reset: exactly one waiter turns 1 into 0.
        return __atomic_compare_exchange_n(&data_->state, &expected, 0u, false, __ATOMIC_ACQ_REL,
                                           __ATOMIC_ACQUIRE)
                   ? AcquireResult::Acquired
                   : AcquireResult::NotReady;
    }

    bool PrepareSleep(FutexWord& word) override
    {
        word = FutexWord{&data_->state, 0};
        return AtomicLoad(&data_->state) == 0;
    }

private:
    std::unique_ptr<SharedObject> storage_;
    EventData* data_;
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

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName)
{
    if (!SecurityAttributesUsable(lpEventAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    bool named = false;
    DWORD error = ERROR_SUCCESS;
    if (!CheckObjectName(lpName, &named, &error)) return Fail<HANDLE>(error, nullptr);
    const EventInit init{bManualReset != FALSE, bInitialState != FALSE};
    const SharedObject::Params params = EventParams(&init);
    return MakeEventHandle(named ? SharedObject::OpenNamed(lpName, params, true)
                                 : SharedObject::CreateAnonymous(params, false),
                           true);
}

HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;  // see winport_kernel.h: access masks are not enforced
    (void)bInheritHandle;
    bool named = false;
    DWORD error = ERROR_SUCCESS;
    if (!CheckObjectName(lpName, &named, &error)) return Fail<HANDLE>(error, nullptr);
    if (!named) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    const EventInit init{false, false};
    return MakeEventHandle(SharedObject::OpenNamed(lpName, EventParams(&init), false), false);
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
