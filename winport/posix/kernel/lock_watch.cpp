// Watches for byte-range locks of object files that other processes let go (lock_watch.h).
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "winport/posix/kernel/lock_watch.h"

namespace winport {
namespace {

constexpr useconds_t kFailedWatchSliceUs = 100 * 1000;

struct WatchEntry {
    std::uint32_t word = 0;  // futex word: bumped when a watch of this entry ends
    bool busy = false;
    ObjectKey key;
    off_t offset = 0;
    int fd = -1;  // the watch's duplicate, closed by its thread
};

// Never destroyed: a watch thread may still end while the process exits. Entries are never
// freed, so a waiter may sleep on an entry's word whatever happens to its watch meanwhile.
class WatchTable {
public:
    static WatchTable& Instance()
    {
        static WatchTable* table = [] {
            pthread_atfork(&WatchTable::BeforeFork, &WatchTable::AfterForkInParent, &WatchTable::AfterForkInChild);
            return new WatchTable;
        }();
        return *table;
    }

    bool Watch(int fd, const ObjectKey& key, off_t offset, FutexWord* word)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        WatchEntry* free = nullptr;
        for (WatchEntry& w : watches_) {
            if (w.busy && w.key == key && w.offset == offset) return Report(w, word);
            if (!w.busy && !free) free = &w;
        }
        if (!free) return false;
        free->fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (free->fd < 0) return false;
        free->key = key;
        free->offset = offset;
        if (!Start(free)) {
            close(free->fd);
            free->fd = -1;
            return false;
        }
        free->busy = true;
        ++live_;
        return Report(*free, word);
    }

    std::size_t Live()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return live_;
    }

private:
    WatchTable() = default;

    // Read under the lock: the watch's end bumps the word under it too, so a waiter that
    // found the watch running cannot miss its end.
    static bool Report(WatchEntry& w, FutexWord* word)
    {
        *word = FutexWord{&w.word, __atomic_load_n(&w.word, __ATOMIC_ACQUIRE)};
        return true;
    }

    static bool Start(WatchEntry* w)
    {
        // Host signals are never delivered to a watch.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        pthread_attr_t attr;
        bool started = pthread_attr_init(&attr) == 0;
        if (started) {
            pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
            pthread_t thread;
            started = pthread_create(&thread, &attr, &WatchTable::Run, w) == 0;
            pthread_attr_destroy(&attr);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return started;
    }

    static void* Run(void* arg)
    {
        WatchEntry* w = static_cast<WatchEntry*>(arg);
        int fd;
        off_t offset;
        {
            std::lock_guard<std::mutex> lock(Instance().mutex_);
            fd = w->fd;
            offset = w->offset;
        }
        struct flock l = {};
        l.l_type = F_RDLCK;
        l.l_whence = SEEK_SET;
        l.l_start = offset;
        l.l_len = 1;
        // Granted once no other description holds the byte.
        int r;
        while ((r = fcntl(fd, F_OFD_SETLKW, &l)) != 0 && errno == EINTR) {
        }
        if (r == 0) {
            l.l_type = F_UNLCK;
            fcntl(fd, F_OFD_SETLK, &l);
        } else {
            // The kernel cannot queue the request (out of lock memory): look in slices, so
            // that the waiters are not woken into a new watch that fails the same way.
            while (ByteLockedByOthers(fd, offset)) usleep(kFailedWatchSliceUs);
        }
        close(fd);
        Instance().End(w);
        return nullptr;
    }

    void End(WatchEntry* w)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            w->busy = false;
            w->fd = -1;
            --live_;
            __atomic_add_fetch(&w->word, 1u, __ATOMIC_RELEASE);
        }
        FutexWakeAll(&w->word);
    }

    // The table is held across fork(), so that the child finds it whole. A child has none
    // of the parent's watch threads: it starts afresh, without their descriptors.
    static void BeforeFork() { Instance().mutex_.lock(); }
    static void AfterForkInParent() { Instance().mutex_.unlock(); }
    static void AfterForkInChild()
    {
        WatchTable& table = Instance();
        for (WatchEntry& w : table.watches_) {
            if (w.fd >= 0) close(w.fd);
            w.fd = -1;
            w.busy = false;
        }
        table.live_ = 0;
        table.mutex_.unlock();
    }

    std::mutex mutex_;
    WatchEntry watches_[kMaxLockWatches];
    std::size_t live_ = 0;
};

}  // namespace

bool ByteLockedByOthers(int fd, off_t offset)
{
    struct flock l = {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_start = offset;
    l.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &l) != 0) return true;
    return l.l_type != F_UNLCK;
}

bool WatchByteLock(int fd, const ObjectKey& key, off_t offset, FutexWord* word)
{
    return WatchTable::Instance().Watch(fd, key, offset, word);
}

std::size_t LiveLockWatchCount() { return WatchTable::Instance().Live(); }

}  // namespace winport
