// The lobby's window onto its scene, and the loop that waits while it is open. The scene is
// a DIB section the lobby draws into with CImage; the window shows its pixels as they are.
// Three implementations, of which the build takes one: SceneWindowSdl.cpp (Linux with
// SDL2: SDL waits for events, a watcher thread on the queue's descriptor wakes it for the
// channel's notifications), SceneWindowWin32.cpp (Windows: a real window painted on
// WM_PAINT) and SceneWindowNone.cpp (Linux without SDL2: no window).
#ifndef LOBBYKIT_DEMO_LOBBY_SCENEWINDOW_H
#define LOBBYKIT_DEMO_LOBBY_SCENEWINDOW_H

#include <windows.h>

#include <memory>
#include <string>

namespace demo {

// What the lobby's loop waits for and does.
class LoopHooks {
public:
    virtual ~LoopHooks() = default;
    // The handle waited for with the messages (the running game's process), null for none,
    // and in *id a number that tells one such handle from the next (a handle value may come
    // back for a new object).
    virtual HANDLE Waitable(int* id) = 0;
    // Dispatches every waiting message; false on WM_QUIT.
    virtual bool DispatchWaiting() = 0;
    // The handle from Waitable() is signalled (its messages have been dispatched first);
    // called only while Waitable() still gives it, with the same id.
    virtual void OnSignalled() = 0;
    // The wait itself failed (the lobby gives up).
    virtual void OnWaitFailed() = 0;
};

// The loop of a thread that has only its messages and the handle to wait for
// (MsgWaitForMultipleObjects), until DispatchWaiting says WM_QUIT.
void RunMessageLoop(LoopHooks& hooks);

class SceneWindow {
public:
    virtual ~SceneWindow() = default;
    // A window titled `title` showing the top-down 32-bpp rows at `bits` (w x h, 4 * w bytes
    // apart), or null when there is no display; `how` then says why, else names the kind.
    static std::unique_ptr<SceneWindow> Open(const char* title, const void* bits, int w, int h, std::string& how);
    // The pixels have changed: show them.
    virtual void Show() = 0;
    // The lobby's loop while the window is open.
    virtual void Run(LoopHooks& hooks) = 0;
    // Keeps the window on the screen, painted, for `ms` milliseconds or until it is closed.
    virtual void Hold(DWORD ms) = 0;
};

}  // namespace demo

#endif
