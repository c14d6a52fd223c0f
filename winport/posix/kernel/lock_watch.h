// Internal: noticing, without polling, that another process has let go of a byte-range lock
// of an object file (implemented in lock_watch.cpp). Mutexes use it to hear of an owner
// process's death, which writes nothing a futex could see (mutex.cpp).
//
// A watch is a thread of this process that blocks in F_OFD_SETLKW for a read lock on the
// byte, through its own duplicate of a descriptor of the file (the same open file
// description, which holds no lock on that byte). When the kernel grants it (every other
// description's lock on the byte is gone: closed, or its process ended, SIGKILL included),
// the watch gives the lock back at once, bumps its futex word and ends (where the kernel
// cannot queue the request, the watch looks at the byte in slices instead). Every waiter of this
// process for the same byte of the same file shares one watch. A watch keeps no state in
// shared memory, and it may outlive the waits that started it: it ends only with the lock
// it waits for, so there are at most kMaxLockWatches at a time; beyond that the caller is
// told to look again in slices.
#ifndef WINPORT_POSIX_KERNEL_LOCK_WATCH_H
#define WINPORT_POSIX_KERNEL_LOCK_WATCH_H

#include <sys/types.h>

#include <cstddef>

#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {

constexpr std::size_t kMaxLockWatches = 32;

// True when a description other than fd's holds a lock on the byte at offset of fd's file.
// An error of the query counts as held (the caller then waits for the watch or its slices).
bool ByteLockedByOthers(int fd, off_t offset);

// Fills *word with a futex word (and the value it holds now) that changes once no other
// description holds a lock on the byte at offset of the file behind fd (identified by key).
// False when no watch can be had (too many, or no thread): the caller looks again in slices.
bool WatchByteLock(int fd, const ObjectKey& key, off_t offset, FutexWord* word);

// Test hook: watches running now.
std::size_t LiveLockWatchCount();

}  // namespace winport

#endif
