// Internal: a wait over handles and one object of user/, and a test hook of the waits
// (implemented in wait.cpp).
#ifndef WINPORT_POSIX_KERNEL_WAIT_H
#define WINPORT_POSIX_KERNEL_WAIT_H

#include <memory>

#include "winport/posix/kernel/kernel.h"

namespace winport {

// WaitForMultipleObjectsEx over nCount handles (nCount < MAXIMUM_WAIT_OBJECTS, checked by
// the caller) and, after them at index nCount, `extra` (MsgWaitForMultipleObjectsEx's
// message queue). With waitAll, all handles and `extra` at once.
DWORD WaitForHandlesAnd(DWORD nCount, const HANDLE* handles, const std::shared_ptr<Waitable>& extra, bool waitAll,
                        DWORD milliseconds);

// Calls fn(context) (null: nothing) in each wait-all of the calling thread that finds all its
// objects ready, when it has taken all but the last in its order of taking, just before it
// tries that one. Objects that are not consumed (manual-reset events, threads) come last.
void SetWaitAllTakeHook(void (*fn)(void*), void* context);

}  // namespace winport

#endif
