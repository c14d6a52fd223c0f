// Futex waits over several words: futex_waitv where the kernel has it (Linux 5.16+), else
// a bounded poll with FUTEX_WAIT on the first word.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

#include "winport/posix/kernel/futex.h"

#ifndef SYS_futex_waitv
#define SYS_futex_waitv 449
#endif

namespace winport {
namespace {

std::atomic<bool> g_waitvDisabled{false};
thread_local std::uint64_t t_wakeCalls = 0;
std::atomic<bool> g_waitvMissing{false};
std::atomic<std::int64_t> g_watchNs{-1};

constexpr std::int64_t kNanosPerSecond = 1000000000;
// Longest sleep of the fallback path before it rescans all words.
constexpr std::int64_t kFallbackSliceNs = 5 * 1000000;

timespec ToTimespec(std::int64_t ns)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / kNanosPerSecond);
    ts.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
    return ts;
}

// 1 woken or value changed, 0 timed out, -1 futex_waitv missing.
int WaitWithWaitv(const FutexWord* words, std::size_t count, const Deadline& deadline)
{
    futex_waitv waiters[kMaxFutexWords] = {};
    for (std::size_t i = 0; i < count; ++i) {
        waiters[i].val = words[i].expected;
        waiters[i].uaddr = reinterpret_cast<std::uintptr_t>(words[i].addr);
        waiters[i].flags = FUTEX_32;
    }
    timespec ts;
    timespec* timeout = nullptr;
    if (!deadline.IsNever()) {
        ts = ToTimespec(deadline.Nanoseconds());
        timeout = &ts;
    }
    long r = syscall(SYS_futex_waitv, waiters, static_cast<unsigned>(count), 0u, timeout, CLOCK_MONOTONIC);
    if (r >= 0) return 1;
    if (errno == ETIMEDOUT) return 0;
    if (errno == ENOSYS) return -1;
    return 1;  // EAGAIN (a word changed), EINTR: the caller rescans
}

bool WaitWithFallback(const FutexWord* words, std::size_t count, const Deadline& deadline)
{
    // A word that no longer holds its expected value means "rescan now".
    for (std::size_t i = 0; i < count; ++i)
        if (AtomicLoad(words[i].addr) != words[i].expected) return true;
    std::int64_t slice = kFallbackSliceNs;
    if (!deadline.IsNever()) {
        const std::int64_t left = deadline.Nanoseconds() - MonotonicNanoseconds();
        if (left <= 0) return false;
        if (left < slice) slice = left;
    }
    timespec ts = ToTimespec(slice);
    syscall(SYS_futex, words[0].addr, FUTEX_WAIT, words[0].expected, &ts, nullptr, 0);
    return !deadline.Passed();
}

}  // namespace

std::int64_t MonotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

Deadline Deadline::AfterMilliseconds(std::uint32_t ms)
{
    if (ms == 0xFFFFFFFFu) return Never();
    return Deadline(MonotonicNanoseconds() + static_cast<std::int64_t>(ms) * 1000000);
}

bool Deadline::Passed() const { return !IsNever() && MonotonicNanoseconds() >= ns_; }

std::uint32_t AtomicLoad(const std::uint32_t* addr) { return __atomic_load_n(addr, __ATOMIC_ACQUIRE); }

bool FutexWaitAny(const FutexWord* words, std::size_t count, const Deadline& deadline)
{
    if (deadline.Passed()) return false;
    if (count > 0 && !g_waitvDisabled.load(std::memory_order_relaxed) && !g_waitvMissing.load(std::memory_order_relaxed)) {
        const int r = WaitWithWaitv(words, count, deadline);
        if (r >= 0) return r == 1 || !deadline.Passed();
        g_waitvMissing.store(true, std::memory_order_relaxed);
    }
    if (count == 0) {
        // Nothing to wake on: only the deadline can end this sleep.
        const std::int64_t left = deadline.IsNever() ? kNanosPerSecond : deadline.Nanoseconds() - MonotonicNanoseconds();
        if (left <= 0) return false;
        timespec ts = ToTimespec(left);
        nanosleep(&ts, nullptr);
        return !deadline.Passed();
    }
    return WaitWithFallback(words, count, deadline);
}

void FutexWakeAll(std::uint32_t* addr)
{
    ++t_wakeCalls;
    syscall(SYS_futex, addr, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

bool MarkSleeping(std::uint32_t* addr, std::uint32_t seen, FutexWord* word)
{
    std::uint32_t v = seen;
    const std::uint32_t marked = seen | kSleepersBit;
    // A failed exchange that finds the bit already set by another waiter is as good.
    if (!__atomic_compare_exchange_n(addr, &v, marked, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST) && v != marked)
        return false;
    *word = FutexWord{addr, marked};
    return true;
}

void WakeSleepers(std::uint32_t* addr)
{
    // Read with a read-modify-write: it stays after the caller's earlier stores, even those
    // that were not sequentially consistent (a pthread unlock), where a plain load would not.
    if (__atomic_fetch_or(addr, 0u, __ATOMIC_SEQ_CST) & kSleepersBit)
        ChangeAndWake(addr, [](std::uint32_t v) { return v & kSleepersBit ? v + 2 : v; });
}

std::uint64_t FutexWakeCalls() { return t_wakeCalls; }

bool SetFutexWaitvDisabled(bool disabled) { return g_waitvDisabled.exchange(disabled); }

std::int64_t WatchNanoseconds()
{
    const std::int64_t set = g_watchNs.load(std::memory_order_relaxed);
    if (set >= 0) return set;
    static const bool multiCore = sysconf(_SC_NPROCESSORS_ONLN) > 1;
    return multiCore ? kSpinBeforeSleepNs : 0;
}

std::int64_t SetWatchNanoseconds(std::int64_t ns) { return g_watchNs.exchange(ns); }

}  // namespace winport
