// Posted-message queues: one per thread, made when the thread first needs it.
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

bool MessageFilter::TakesQuit() const
{
    return (first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last);
}

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
    for (std::size_t i = 0; i < posted_.size(); ++i) {
        if (!filter.Matches(posted_.at(i))) continue;
        *out = posted_.at(i);
        if (remove) posted_.erase(i);
        return true;
    }
    // WM_QUIT comes once the posted messages are gone, whatever the window filter.
    if (!quit_ || !filter.TakesQuit()) return false;
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, 0, {0, 0}};
    if (remove) quit_ = false;
    return true;
}

void MessageQueue::Quit(int exitCode)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        quitCode_ = exitCode;
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
}

void MessageQueue::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    posted_.clear();
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

std::shared_ptr<MessageQueue> CurrentQueue()
{
    return t_queue.Get();
}

std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId)
{
    std::lock_guard<std::mutex> lock(Registry().mutex);
    auto it = Registry().byThread.find(threadId);
    return it == Registry().byThread.end() ? nullptr : it->second;
}

void EndThreadWindows()
{
    t_queue.End();
}

}  // namespace winport
