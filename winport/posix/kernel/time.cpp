// Tick count, Sleep, thread and process ids, interlocked operations.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/thread.h"

namespace winport {
namespace {

// Interlocked operations must also work on LONGs that a packed shared record places at
// an odd offset. Those that sit inside one aligned 64-bit word are updated through that
// word with a compare-and-swap, so the update stays atomic for every process and every
// tool that checks atomics; the rest rely on the processor's locked unaligned access.
template <class Update>
LONG AtomicUpdate(LONG volatile* target, Update update)
{
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(target);
    const unsigned offset = static_cast<unsigned>(address & 7);
    if ((address & 3) == 0 || offset > 4) {
        LONG old = __atomic_load_n(target, __ATOMIC_RELAXED);
        while (!__atomic_compare_exchange_n(target, &old, update(old), false, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED)) {
        }
        return old;
    }
    auto* word = reinterpret_cast<std::uint64_t volatile*>(address - offset);
    const unsigned shift = offset * 8;  // little-endian
    const std::uint64_t mask = std::uint64_t(0xFFFFFFFF) << shift;
    std::uint64_t old = __atomic_load_n(word, __ATOMIC_RELAXED);
    for (;;) {
        const LONG oldValue = static_cast<LONG>(static_cast<std::uint32_t>((old & mask) >> shift));
        const std::uint64_t replaced =
            (old & ~mask) | (std::uint64_t(static_cast<std::uint32_t>(update(oldValue))) << shift);
        if (__atomic_compare_exchange_n(word, &old, replaced, false, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED))
            return oldValue;
    }
}

// The calling thread's id, asked of the kernel once per thread (a system call costs more
// than the rest of most callers). fork() gives the child's one thread a new id: the child
// handler forgets the copied value. A child made without the fork handlers (_Fork, a raw
// clone) would keep its parent thread's id; the layer makes none.
thread_local DWORD t_threadId = 0;

void ForgetThreadIdInChild() { t_threadId = 0; }

DWORD AskThreadId()
{
    static const bool forgetInChild = pthread_atfork(nullptr, nullptr, &ForgetThreadIdInChild) == 0;
    const DWORD id = static_cast<DWORD>(gettid());
    if (forgetInChild) t_threadId = id;  // else (no memory for the handler) ask every time
    return id;
}

LONG Add(LONG value, LONG delta)
{
    // Wraps as the processor does, without signed overflow.
    return static_cast<LONG>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

}  // namespace
}  // namespace winport

using namespace winport;

extern "C" {

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(MonotonicNanoseconds() / 1000000); }

void WINAPI Sleep(DWORD dwMilliseconds)
{
    ExitIfTerminationRequested();
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    // Layer threads sleep on their termination word, so TerminateThread can end the sleep.
    const Deadline deadline = Deadline::AfterMilliseconds(dwMilliseconds);
    std::uint32_t* termination = CurrentTerminationWord();
    while (!deadline.Passed()) {
        FutexWord w{termination, 0};
        FutexWaitAny(&w, termination ? 1 : 0, deadline);
        ExitIfTerminationRequested();
    }
}

DWORD WINAPI GetCurrentThreadId(void)
{
    const DWORD cached = t_threadId;
    return cached != 0 ? cached : AskThreadId();
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend)
{
    return Add(AtomicUpdate(lpAddend, [](LONG v) { return Add(v, 1); }), 1);
}

LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend)
{
    return Add(AtomicUpdate(lpAddend, [](LONG v) { return Add(v, -1); }), -1);
}

LONG WINAPI InterlockedExchange(LONG volatile* lpTarget, LONG lValue)
{
    return AtomicUpdate(lpTarget, [lValue](LONG) { return lValue; });
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* lpDestination, LONG lExchange, LONG lComparand)
{
    return AtomicUpdate(lpDestination, [=](LONG v) { return v == lComparand ? lExchange : v; });
}

}  // extern "C"
