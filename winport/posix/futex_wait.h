// Internal: blocking on 32-bit futex words, several at once.
//
// Every waitable object of the layer (events, mutexes, threads, message queues, the
// termination request of a layer thread) exposes one futex word. A wait names the words
// together with the values it last saw and sleeps in the kernel until one of them changes,
// the deadline passes, or a wake-up arrives; the caller then re-examines its objects.
// Words may live in memory shared between processes, so no private-futex flag is used.
#ifndef WINPORT_POSIX_FUTEX_WAIT_H
#define WINPORT_POSIX_FUTEX_WAIT_H

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

// Most words one wait may name: MAXIMUM_WAIT_OBJECTS objects plus the thread's own
// termination word (futex_waitv accepts up to 128).
constexpr std::size_t kMaxFutexWords = 65;

// Sleeps until one of the words may have changed (or a spurious wake-up). Returns false
// only when the deadline has passed.
bool FutexWaitAny(const FutexWord* words, std::size_t count, const Deadline& deadline);

// Wakes every thread, in any process, sleeping on the word.
void FutexWakeAll(std::uint32_t* addr);

std::uint32_t AtomicLoad(const std::uint32_t* addr);

// Test hook: true makes waits use the path for kernels without futex_waitv (a short timed
// FUTEX_WAIT on the first word, then a rescan). Returns the previous setting.
bool SetFutexWaitvDisabled(bool disabled);

}  // namespace winport

#endif
