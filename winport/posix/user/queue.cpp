// Posted-message queues: one per thread, made when the thread first needs it.
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <unordered_map>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/user/queue.h"
#include "winport/posix/user/user.h"

namespace winport {

bool MessageFilter::Matches(const MSG& msg) const
{
    if (hwnd == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd) return false;
    } else if (hwnd && msg.hwnd != hwnd) {
        return false;
    }
    return (first == 0 && last == 0) || (msg.message >= first && msg.message <= last);
}

bool MessageFilter::TakesQuit() const { return (first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last); }

bool MessageFilter::AllMessages() const { return first == 0 && (last == 0 || last == 0xFFFFFFFFu); }

bool PostedRing::push_back(const MSG& msg)
{
    if (count_ == slots_.size()) {
        std::vector<MSG> bigger;
        try {
            bigger.resize(slots_.empty() ? 64 : slots_.size() * 2);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (std::size_t i = 0; i < count_; ++i) bigger[i] = at(i);
        slots_.swap(bigger);
        head_ = 0;
    }
    slots_[(head_ + count_) & (slots_.size() - 1)] = msg;
    ++count_;
    return true;
}

void PostedRing::erase(std::size_t i)
{
    if (i == 0) {
        head_ = (head_ + 1) & (slots_.size() - 1);
    } else {
        for (std::size_t k = i; k + 1 < count_; ++k) at(k) = at(k + 1);
    }
    --count_;
}

DWORD MessageQueue::Post(const MSG& msg, WindowObject* window)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || (window && window->destroyed))
            return window ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_THREAD_ID;
        if (posted_.size() >= kMaxPosted) return ERROR_NOT_ENOUGH_QUOTA;
        if (!posted_.push_back(msg)) return ERROR_NOT_ENOUGH_MEMORY;
        arrived_ |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
        UpdateWatch();
    }
    NoteChange();
    return ERROR_SUCCESS;
}

void MessageQueue::NoteChange()
{
    ChangeAndWake(&changes_, [](std::uint32_t v) { return v + kOneChange; });
}

bool MessageQueue::Take(const MessageFilter& filter, bool remove, MSG* out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    arrived_ &= filter.AllMessages() ? ~static_cast<DWORD>(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)
                                     : ~static_cast<DWORD>(QS_POSTMESSAGE);
    for (std::size_t i = 0; i < posted_.size(); ++i) {
        if (!filter.Matches(posted_.at(i))) continue;
        *out = posted_.at(i);
        if (remove) {
            posted_.erase(i);
            UpdateWatch();
        }
        return true;
    }
    // WM_QUIT comes once the posted messages are gone, whatever the window filter.
    if (!quit_ || !filter.TakesQuit()) return false;
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, 0, {0, 0}};
    if (remove) {
        quit_ = false;
        UpdateWatch();
    }
    return true;
}

void MessageQueue::Quit(int exitCode)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        quitCode_ = exitCode;
        arrived_ |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
        UpdateWatch();
    }
    NoteChange();
}

void MessageQueue::DropWindow(HWND hwnd, WindowObject* window)
{
    std::lock_guard<std::mutex> lock(mutex_);
    window->destroyed = true;
    for (std::size_t i = 0; i < posted_.size();) {
        if (posted_.at(i).hwnd == hwnd) posted_.erase(i);
        else ++i;
    }
    UpdateWatch();
}

void MessageQueue::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    posted_.clear();
    if (watchFd_ >= 0) ::close(watchFd_);
    watchFd_ = -1;
}

bool MessageQueue::HasInput(DWORD wakeMask, bool available)
{
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD bits = arrived_;
    if (available && Waiting()) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    return (bits & wakeMask) != 0;
}

namespace {

// The queue as one object of a wait. Its word is the queue's change word, read before the
// queue is looked at, so a post after the look wakes the sleep that follows.
class QueueInputWait : public Waitable {
public:
    QueueInputWait(std::shared_ptr<MessageQueue> queue, DWORD wakeMask, bool available)
        : Waitable(ObjectKind::MessageQueue), queue_(std::move(queue)), wakeMask_(wakeMask), available_(available)
    {
    }
    AcquireResult TryAcquire(WaitState& state) override
    {
        return LooksReady(state) ? AcquireResult::Acquired : AcquireResult::NotReady;
    }
    bool LooksReady(WaitState& state) override
    {
        state.observed = true;
        state.value = AtomicLoad(queue_->ChangeWord());
        return queue_->HasInput(wakeMask_, available_);
    }
    bool PrepareSleep(SleepWords& words, WaitState& state) override
    {
        return MarkSleeping(queue_->ChangeWord(), state.value, &words.word);
    }
    ObjectIdentity Identity() const override
    {
        return ObjectIdentity{ObjectKind::MessageQueue, reinterpret_cast<std::uintptr_t>(queue_.get()), 0};
    }

private:
    const std::shared_ptr<MessageQueue> queue_;
    const DWORD wakeMask_;
    const bool available_;
};

}  // namespace

std::shared_ptr<Waitable> MessageQueue::InputWait(const std::shared_ptr<MessageQueue>& self, DWORD wakeMask,
                                                  bool available)
{
    return std::make_shared<QueueInputWait>(self, wakeMask, available);
}

int MessageQueue::WatchFd()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return Fail(ERROR_INVALID_THREAD_ID, -1);
    if (watchFd_ < 0) {
        watchFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (watchFd_ < 0) return Fail(ErrorFromErrno(errno), -1);
        watchReadable_ = false;
        UpdateWatch();
    }
    return watchFd_;
}

namespace {
std::atomic<std::uint64_t> g_watchCalls{0};
}

std::uint64_t QueueWatchSystemCalls() { return g_watchCalls.load(); }

void MessageQueue::UpdateWatch()
{
    // Only the changes between "something waits" and "nothing waits" make a system call,
    // and none is made while nobody watches. The counter is 0 or 1, so a write never blocks.
    if (watchFd_ < 0 || Waiting() == watchReadable_) return;
    std::uint64_t value = 1;
    const ssize_t n = Waiting() ? ::write(watchFd_, &value, sizeof value) : ::read(watchFd_, &value, sizeof value);
    (void)n;
    g_watchCalls.fetch_add(1, std::memory_order_relaxed);
    watchReadable_ = Waiting();
}

namespace {

struct QueueRegistry {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> byThread;
};

QueueRegistry& Registry()
{
    static QueueRegistry* registry = new QueueRegistry;
    return *registry;
}

// Owns the calling thread's queue; at the thread's end its windows go too.
class ThreadQueue {
public:
    ~ThreadQueue() { End(); }
    std::shared_ptr<MessageQueue> Get()
    {
        if (!queue_) {
            queue_ = std::make_shared<MessageQueue>(GetCurrentThreadId());
            std::lock_guard<std::mutex> lock(Registry().mutex);
            Registry().byThread[queue_->ThreadId()] = queue_;
        }
        return queue_;
    }
    void End()
    {
        if (!queue_) return;
        DestroyWindowsOfThread(queue_->ThreadId());
        queue_->Close();
        {
            std::lock_guard<std::mutex> lock(Registry().mutex);
            auto it = Registry().byThread.find(queue_->ThreadId());
            if (it != Registry().byThread.end() && it->second == queue_) Registry().byThread.erase(it);
        }
        queue_.reset();
    }

private:
    std::shared_ptr<MessageQueue> queue_;
};

thread_local ThreadQueue t_queue;

}  // namespace

std::shared_ptr<MessageQueue> CurrentQueue() { return t_queue.Get(); }

std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId)
{
    std::lock_guard<std::mutex> lock(Registry().mutex);
    auto it = Registry().byThread.find(threadId);
    return it == Registry().byThread.end() ? nullptr : it->second;
}

void EndThreadWindows() { t_queue.End(); }

}  // namespace winport
