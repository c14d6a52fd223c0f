// user/: windows and message queues (each owned by one thread) and text helpers; built on kernel/ only.
//
// Internal: windows (implemented in user.cpp); the queues are in queue.h.
#ifndef WINPORT_POSIX_USER_USER_H
#define WINPORT_POSIX_USER_USER_H

#include <atomic>
#include <cstddef>
#include <memory>

#include <windows.h>

#include "winport/posix/user/queue.h"

namespace winport {

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

std::shared_ptr<WindowObject> LookupWindow(HWND hwnd);
// Removes the windows of a thread that ends, without calling their procedures.
void DestroyWindowsOfThread(DWORD threadId);
// Counts the windows of a class (a class with windows cannot be unregistered).
void NoteWindowOfClass(ATOM atom, int delta);

// Test hook: windows that exist in this process.
std::size_t LiveWindowCount();

}  // namespace winport

#endif
