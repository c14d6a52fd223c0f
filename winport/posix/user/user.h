// Internal: windows and the posted-message queues of threads.
#ifndef WINPORT_POSIX_USER_INTERNAL_H
#define WINPORT_POSIX_USER_INTERNAL_H

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "include/windows.h"

namespace winport {

class MessageQueue;

// A window belongs to the thread that created it, and so does its queue.
struct WindowObject {
    WNDPROC proc;
    DWORD threadId;
    std::shared_ptr<MessageQueue> queue;
    ATOM classAtom;
    HWND parent;
    std::atomic<bool> destroying{false};
    bool destroyed = false;  // guarded by the queue's mutex: no message is queued after it
};

struct MessageFilter {
    HWND hwnd;  // NULL: any; (HWND)-1: thread messages only; else that window's
    UINT first;
    UINT last;  // both 0: every message
    bool Matches(const MSG& msg) const;
    bool TakesQuit() const;
};

class MessageQueue {
public:
    explicit MessageQueue(DWORD threadId) : threadId_(threadId) {}
    DWORD ThreadId() const { return threadId_; }

    // ERROR_SUCCESS, or why the message was refused. window may be null (thread message).
    DWORD Post(const MSG& msg, WindowObject* window);
    bool Take(const MessageFilter& filter, bool remove, MSG* out);
    void Quit(int exitCode);
    void DropWindow(HWND hwnd, WindowObject* window);
    void Close();
    // Futex word of the queue: bit 0 is the sleepers bit (futex_wait.h), bits 1..31 count the
    // posts. A waiter reads it before looking at the queue and sleeps on that value.
    std::uint32_t* ChangeWord() { return &changes_; }

private:
    // Windows' limit of posted messages per queue.
    static constexpr std::size_t kMaxPosted = 10000;
    static constexpr std::uint32_t kOneChange = 2;

    void NoteChange();  // wakes the owner thread if it sleeps

    const DWORD threadId_;
    std::mutex mutex_;
    std::deque<MSG> posted_;
    bool quit_ = false;
    int quitCode_ = 0;
    bool closed_ = false;
    std::uint32_t changes_ = 0;
};

// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
// The queue of a live thread that has one, else null.
std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId);

std::shared_ptr<WindowObject> LookupWindow(HWND hwnd);
// Removes the windows of a thread that ends, without calling their procedures.
void DestroyWindowsOfThread(DWORD threadId);
// Counts the windows of a class (a class with windows cannot be unregistered).
void NoteWindowOfClass(ATOM atom, int delta);

}  // namespace winport

#endif
