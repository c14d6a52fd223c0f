// Internal: the posted-message queues of threads (implemented in queue.cpp).
#ifndef WINPORT_POSIX_USER_QUEUE_H
#define WINPORT_POSIX_USER_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

#include "winport/posix/kernel/kernel.h"

namespace winport {

struct WindowObject;

struct MessageFilter {
    HWND hwnd;  // NULL: any; (HWND)-1: thread messages only; else that window's
    UINT first;
    UINT last;  // both 0 (or 0 and 0xFFFFFFFF): every message
    bool Matches(const MSG& msg) const;
    bool TakesQuit() const;
    bool AllMessages() const;  // no range given (the window does not count)
};

// Posted messages in order: a ring that grows by doubling and keeps its room, so that a
// queue in steady use (a message per channel packet) allocates nothing.
class PostedRing {
public:
    std::size_t size() const { return count_; }
    MSG& at(std::size_t i) { return slots_[(head_ + i) & (slots_.size() - 1)]; }
    bool push_back(const MSG& msg);  // false when the room cannot grow
    void erase(std::size_t i);       // keeps the order of the rest
    void clear() { head_ = count_ = 0; }

private:
    std::vector<MSG> slots_;  // a power of two in size
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

class MessageQueue {
public:
    explicit MessageQueue(DWORD threadId) : threadId_(threadId) {}
    DWORD ThreadId() const { return threadId_; }

    // ERROR_SUCCESS, or why the message was refused. window may be null (thread message).
    DWORD Post(const MSG& msg, WindowObject* window);
    // GetMessageA / PeekMessageA: takes (or, without remove, copies) the first message the
    // filter matches. Either way the thread has now looked at its queue (see HasInput).
    bool Take(const MessageFilter& filter, bool remove, MSG* out);
    void Quit(int exitCode);
    void DropWindow(HWND hwnd, WindowObject* window);
    void Close();
    // Futex word of the queue: bit 0 is the sleepers bit (futex.h), bits 1..31 count the
    // posts. A waiter reads it before looking at the queue and sleeps on that value.
    std::uint32_t* ChangeWord() { return &changes_; }

    // What MsgWaitForMultipleObjectsEx waits for, as Windows has it: a message of a kind in
    // wakeMask (QS_ bits) that arrived since the thread last looked at the queue, or with
    // available (MWMO_INPUTAVAILABLE) any such message waiting. A look (Take) clears
    // QS_POSTMESSAGE, and QS_ALLPOSTMESSAGE too when it names no range of messages; a wait
    // that returns clears nothing.
    bool HasInput(DWORD wakeMask, bool available);
    // The wait's object for the queue (ObjectKind::MessageQueue).
    std::shared_ptr<Waitable> InputWait(const std::shared_ptr<MessageQueue>& self, DWORD wakeMask, bool available);

    // Linux only (WinportGetMessageQueueFd): an eventfd that is readable exactly while
    // posted messages or a quit wait in the queue; made on first use, closed with the queue.
    // -1 with the last error when it cannot be made (or the queue is closed).
    int WatchFd();

private:
    // Windows' limit of posted messages per queue.
    static constexpr std::size_t kMaxPosted = 10000;
    static constexpr std::uint32_t kOneChange = 2;

    void NoteChange();   // wakes the owner thread if it sleeps
    void UpdateWatch();  // under mutex_: makes the descriptor readable or not to match
    bool Waiting() const { return posted_.size() > 0 || quit_; }

    const DWORD threadId_;
    std::mutex mutex_;
    PostedRing posted_;
    bool quit_ = false;
    int quitCode_ = 0;
    bool closed_ = false;
    std::uint32_t changes_ = 0;
    DWORD arrived_ = 0;  // QS_ bits of what came since the last look
    int watchFd_ = -1;   // WatchFd's eventfd, -1 while nobody watches
    bool watchReadable_ = false;
};

// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
// The queue of a live thread that has one, else null.
std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId);

// Test hook: the system calls every queue's descriptor has cost so far (all threads).
std::uint64_t QueueWatchSystemCalls();

// Destroys the windows of the calling thread and closes its message queue, as the system
// does when a thread ends (no messages are sent). Safe to call more than once.
void EndThreadWindows();

}  // namespace winport

#endif
