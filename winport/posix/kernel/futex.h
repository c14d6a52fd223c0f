// Internal: blocking on 32-bit futex words, several at once.
//
// Every waitable object of the layer (events, mutexes, threads, message queues, the
// termination request of a layer thread) exposes one futex word. A wait names the words
// together with the values it last saw and sleeps in the kernel until one of them changes,
// the deadline passes, or a wake-up arrives; the caller then re-examines its objects.
// Words may live in memory shared between processes, so no private-futex flag is used.
//
// Waking costs a system call, so the busy words (events, mutexes, message queues) record
// whether anyone may sleep on them: bit 0 of the word, the sleepers bit. A waiter sets it
// (MarkSleeping) in the same atomic word as the state it checked, and sleeps only while the
// word still holds that value with the bit; a waker changes the state and clears the bit in
// one atomic step (ChangeAndWake) and wakes only if the bit was set. A waiter can therefore
// never sleep through a change: either its mark is in the value the waker replaced, or the
// kernel finds the word changed and does not put it to sleep. The bit is never cleared by
// a waiter, so one that leaves without being woken (timed out, took another object, was
// killed) costs at most one needless wake at the word's next change.
#ifndef WINPORT_POSIX_KERNEL_FUTEX_H
#define WINPORT_POSIX_KERNEL_FUTEX_H

#include <cstddef>
#include <cstdint>

namespace winport {

// A point in CLOCK_MONOTONIC time, or "never".
class Deadline {
public:
    static Deadline AfterMilliseconds(std::uint32_t ms);  // INFINITE (0xFFFFFFFF) gives Never()
    static Deadline Never() { return Deadline(-1); }
    bool IsNever() const { return ns_ < 0; }
    bool Passed() const;
    Deadline EarlierOf(const Deadline& other) const
    {
        return IsNever() || (!other.IsNever() && other.ns_ < ns_) ? other : *this;
    }
    std::int64_t Nanoseconds() const { return ns_; }

private:
    explicit Deadline(std::int64_t ns) : ns_(ns) {}
    std::int64_t ns_;
};

std::int64_t MonotonicNanoseconds();

struct FutexWord {
    std::uint32_t* addr;
    std::uint32_t expected;  // sleep only while *addr still holds this
};

// Most words one wait may name: what futex_waitv accepts.
constexpr std::size_t kMaxFutexWords = 128;

// Sleeps until one of the words may have changed (or a spurious wake-up). Returns false
// only when the deadline has passed.
bool FutexWaitAny(const FutexWord* words, std::size_t count, const Deadline& deadline);

// A wait on several objects (a channel's worker waits on three for every packet) looks at
// them again and again for up to kSpinBeforeSleepNs, or until its deadline, before it
// sleeps. On the 2-core virtual machines this runs on, a sleep and its wake-up cost 10-20 us
// of CPU, and sleeps on several words come more often than on one (the floor benchmark spends
// twice the CPU per packet), while the thread that sets an object is often running on the
// other core and does so within microseconds (bench/ipc/ipc_speed_bench: the channel's round
// trip and 4095-byte throughput gained several times, at less CPU per 4095-byte packet). Waits on one object (locks, message queues) do not
// watch: spinning there was measured to hurt. WatchNanoseconds is 0 on a machine with one
// processor online, where nothing can change while the waiter spins.
constexpr std::int64_t kSpinBeforeSleepNs = 20 * 1000;
std::int64_t WatchNanoseconds();
// Lets the other hardware thread of the core run during a spin.
inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Wakes every thread, in any process, sleeping on the word.
void FutexWakeAll(std::uint32_t* addr);

std::uint32_t AtomicLoad(const std::uint32_t* addr);

constexpr std::uint32_t kSleepersBit = 1;

// Sets the sleepers bit if the word still holds `seen` (with or without the bit) and fills
// in what to sleep on. False when the word changed meanwhile: re-examine the object.
bool MarkSleeping(std::uint32_t* addr, std::uint32_t seen, FutexWord* word);

// Replaces the word's value v by next(v) (next leaves the sleepers bit alone) with the
// sleepers bit cleared, and wakes every sleeper if v had it. When next(v) == v, nothing
// changes and nobody is woken. Sequentially consistent. Returns v.
template <class Next>
std::uint32_t ChangeAndWake(std::uint32_t* addr, Next next)
{
    std::uint32_t v = __atomic_load_n(addr, __ATOMIC_SEQ_CST);
    for (;;) {
        const std::uint32_t changed = next(v);
        if (changed == v) return v;
        if (__atomic_compare_exchange_n(addr, &v, changed & ~kSleepersBit, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
            break;
    }
    if (v & kSleepersBit) FutexWakeAll(addr);
    return v;
}

// For a word that only serves to be slept on, counting changes in bits 1..31: if a sleeper
// is recorded, counts one change (so that a waiter about to sleep on the old value does not)
// and wakes every sleeper. Its read of the bit is ordered after every earlier store of the
// caller, so a waiter that sets the bit before checking the caller's state cannot be missed.
void WakeSleepers(std::uint32_t* addr);

// Test hook: wake-up system calls the calling thread has made so far.
std::uint64_t FutexWakeCalls();

// Test hook: true makes waits use the path for kernels without futex_waitv (a short timed
// FUTEX_WAIT on the first word, then a rescan). Returns the previous setting.
bool SetFutexWaitvDisabled(bool disabled);

// Test hook: what WatchNanoseconds returns (negative: the default). Returns the previous
// setting.
std::int64_t SetWatchNanoseconds(std::int64_t ns);

}  // namespace winport

#endif
