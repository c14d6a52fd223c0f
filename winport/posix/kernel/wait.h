// Internal: test hook of the waits (implemented in wait.cpp).
#ifndef WINPORT_POSIX_KERNEL_WAIT_H
#define WINPORT_POSIX_KERNEL_WAIT_H

namespace winport {

// Calls fn(context) (null: nothing) in each wait-all of the calling thread that finds all its
// objects ready, when it has taken all but the last in its order of taking, just before it
// tries that one. Objects that are not consumed (manual-reset events, threads) come last.
void SetWaitAllTakeHook(void (*fn)(void*), void* context);

}  // namespace winport

#endif
