// Internal: what a thread's end does to the mutexes it owns (implemented in mutex.cpp).
#ifndef WINPORT_POSIX_KERNEL_MUTEX_H
#define WINPORT_POSIX_KERNEL_MUTEX_H

namespace winport {

// Releases, as abandoned, every mutex the calling thread still owns (at its end).
void AbandonHeldMutexes();

}  // namespace winport

#endif
