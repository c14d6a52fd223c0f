// Window classes, windows, and the message calls of a host's message loop.
#include <cctype>
#include <cstring>
#include <vector>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/futex.h"
#include "winport/posix/kernel/handle_table.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/thread.h"
#include "winport/posix/kernel/wait.h"
#include "winport/posix/user/user.h"

namespace winport {
namespace {

constexpr std::uint32_t kWindowHandleTag = 2;
constexpr ATOM kFirstClassAtom = 0xC000;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(-1);

HandleTable<WindowObject>& Windows()
{
    static HandleTable<WindowObject>* table = new HandleTable<WindowObject>(kWindowHandleTag);
    return *table;
}

struct WindowClass {
    std::string name;
    WNDPROC proc;
    ATOM atom;
    int windows;
};

struct ClassRegistry {
    std::mutex mutex;
    std::vector<WindowClass> classes;
    ATOM nextAtom = kFirstClassAtom;
};

ClassRegistry& Classes()
{
    static ClassRegistry* registry = new ClassRegistry;
    return *registry;
}

// Class names compare without regard to ASCII case, as on Windows.
bool SameClassName(const std::string& a, LPCSTR b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

bool IsAtomName(LPCSTR name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }

WindowClass* FindClass(LPCSTR name)
{
    for (WindowClass& c : Classes().classes) {
        if (IsAtomName(name) ? c.atom == static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name))
                             : SameClassName(c.name, name))
            return &c;
    }
    return nullptr;
}

HWND ToHwnd(std::uintptr_t value) { return reinterpret_cast<HWND>(value); }

std::uintptr_t FromHwnd(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

// A window of the calling thread, or null with the last error set.
std::shared_ptr<WindowObject> OwnWindow(HWND hwnd, DWORD otherThreadError)
{
    std::shared_ptr<WindowObject> w = LookupWindow(hwnd);
    if (!w) return Fail<std::shared_ptr<WindowObject>>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    if (w->threadId != GetCurrentThreadId()) return Fail<std::shared_ptr<WindowObject>>(otherThreadError, nullptr);
    return w;
}

void RemoveWindow(HWND hwnd, const std::shared_ptr<WindowObject>& w)
{
    w->queue->DropWindow(hwnd, w.get());
    Windows().Remove(FromHwnd(hwnd));
    NoteWindowOfClass(w->classAtom, -1);
}

bool ValidParent(HWND parent) { return !parent || parent == HWND_MESSAGE || LookupWindow(parent); }

MSG MakeMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}};
}

BOOL PostToThread(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<MessageQueue> queue = QueueOfThread(threadId);
    if (!queue) return Fail(ERROR_INVALID_THREAD_ID, FALSE);
    const DWORD error = queue->Post(MakeMessage(nullptr, msg, wParam, lParam), nullptr);
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

// Checks the window filter of GetMessageA/PeekMessageA: NULL, -1 or a window of this thread.
bool ValidFilterWindow(HWND hwnd)
{
    if (!hwnd || hwnd == kThreadMessagesOnly) return true;
    return OwnWindow(hwnd, ERROR_INVALID_WINDOW_HANDLE) != nullptr;
}

}  // namespace

std::shared_ptr<WindowObject> LookupWindow(HWND hwnd) { return Windows().Get(FromHwnd(hwnd)); }

void NoteWindowOfClass(ATOM atom, int delta)
{
    std::lock_guard<std::mutex> lock(Classes().mutex);
    for (WindowClass& c : Classes().classes)
        if (c.atom == atom) c.windows += delta;
}

void DestroyWindowsOfThread(DWORD threadId)
{
    for (auto& entry : Windows().Snapshot())
        if (entry.second->threadId == threadId) RemoveWindow(ToHwnd(entry.first), entry.second);
}

std::size_t LiveWindowCount() { return Windows().LiveCount(); }

}  // namespace winport

using namespace winport;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !lpWndClass->lpszClassName ||
        IsAtomName(lpWndClass->lpszClassName) || !lpWndClass->lpszClassName[0])
        return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    std::lock_guard<std::mutex> lock(Classes().mutex);
    if (FindClass(lpWndClass->lpszClassName)) return Fail<ATOM>(ERROR_CLASS_ALREADY_EXISTS, 0);
    if (Classes().nextAtom == 0) return Fail<ATOM>(ERROR_NOT_ENOUGH_MEMORY, 0);  // atoms used up
    const ATOM atom = Classes().nextAtom++;
    Classes().classes.push_back(WindowClass{lpWndClass->lpszClassName, lpWndClass->lpfnWndProc, atom, 0});
    return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    (void)hInstance;  // one module namespace for classes
    if (!lpClassName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::mutex> lock(Classes().mutex);
    WindowClass* c = FindClass(lpClassName);
    if (!c) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    if (c->windows > 0) return Fail(ERROR_CLASS_HAS_WINDOWS, FALSE);
    Classes().classes.erase(Classes().classes.begin() + (c - Classes().classes.data()));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    if (!lpClassName) return Fail<HWND>(ERROR_INVALID_PARAMETER, nullptr);
    if (!ValidParent(hWndParent)) return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    auto window = std::make_shared<WindowObject>();
    {
        std::lock_guard<std::mutex> lock(Classes().mutex);
        WindowClass* c = FindClass(lpClassName);
        if (!c) return Fail<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
        window->proc = c->proc;
        window->classAtom = c->atom;
        ++c->windows;
    }
    window->threadId = GetCurrentThreadId();
    window->queue = CurrentQueue();
    window->parent = hWndParent;
    const std::uintptr_t value = Windows().Insert(window);
    if (value == 0) {
        NoteWindowOfClass(window->classAtom, -1);
        return Fail<HWND>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    HWND hwnd = ToHwnd(value);
    CREATESTRUCTA cs{lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
                     lpWindowName, lpClassName, dwExStyle};
    if (window->proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    std::shared_ptr<WindowObject> w = OwnWindow(hWnd, ERROR_ACCESS_DENIED);
    if (!w) return FALSE;
    if (w->destroying.exchange(true)) return TRUE;  // DestroyWindow from inside WM_DESTROY
    w->proc(hWnd, WM_DESTROY, 0, 0);
    RemoveWindow(hWnd, w);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return LookupWindow(hWnd) ? TRUE : FALSE; }

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!hWnd) return PostToThread(GetCurrentThreadId(), Msg, wParam, lParam);
    std::shared_ptr<WindowObject> w = LookupWindow(hWnd);
    if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    const DWORD error = w->queue->Post(MakeMessage(hWnd, Msg, wParam, lParam), w.get());
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return PostToThread(idThread, Msg, wParam, lParam);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    // Only the window's own thread may send (a direct call); see winport_user.h.
    std::shared_ptr<WindowObject> w = OwnWindow(hWnd, ERROR_NOT_SUPPORTED);
    if (!w) return 0;
    return w->proc(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) return Fail(ERROR_INVALID_PARAMETER, -1);
    if (!ValidFilterWindow(hWnd)) return -1;
    const MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    std::uint32_t* termination = CurrentTerminationWord();
    for (;;) {
        ExitIfTerminationRequested();
        const std::uint32_t seen = AtomicLoad(queue->ChangeWord());
        if (queue->Take(filter, true, lpMsg)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        FutexWord words[2] = {{}, {termination, 0}};
        if (!MarkSleeping(queue->ChangeWord(), seen, &words[0])) continue;  // posted meanwhile
        FutexWaitAny(words, termination ? 2 : 1, Deadline::Never());
    }
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // PM_NOYIELD is meaningless here; the PM_QS_ queue-status selectors are not supported.
    if ((wRemoveMsg & ~static_cast<UINT>(PM_REMOVE | PM_NOYIELD)) != 0) return Fail(ERROR_NOT_SUPPORTED, FALSE);
    if (!ValidFilterWindow(hWnd)) return FALSE;
    ExitIfTerminationRequested();
    const MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    return CurrentQueue()->Take(filter, (wRemoveMsg & PM_REMOVE) != 0, lpMsg) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    (void)lpMsg;  // no keyboard input, so nothing to translate
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg) return Fail<LRESULT>(ERROR_INVALID_PARAMETER, 0);
    if (!lpMsg->hwnd) return 0;  // thread messages have no window procedure
    std::shared_ptr<WindowObject> w = OwnWindow(lpMsg->hwnd, ERROR_INVALID_WINDOW_HANDLE);
    if (!w) return 0;
    return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) { CurrentQueue()->Quit(nExitCode); }

DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds, DWORD dwWakeMask,
                                         DWORD dwFlags)
{
    // Every QS_ bit is accepted; only posted messages (and WM_QUIT) ever arrive here. There
    // are no APCs, so MWMO_ALERTABLE changes nothing.
    const DWORD knownMask = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
    const DWORD knownFlags = MWMO_WAITALL | MWMO_ALERTABLE | MWMO_INPUTAVAILABLE;
    if (nCount >= MAXIMUM_WAIT_OBJECTS || (nCount > 0 && !pHandles) || (dwWakeMask & ~knownMask) != 0 ||
        (dwFlags & ~knownFlags) != 0)
        return Fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    return WaitForHandlesAnd(nCount, pHandles, queue->InputWait(queue, dwWakeMask, (dwFlags & MWMO_INPUTAVAILABLE) != 0),
                             (dwFlags & MWMO_WAITALL) != 0, dwMilliseconds);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                       DWORD dwWakeMask)
{
    return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask, fWaitAll ? MWMO_WAITALL : 0);
}

int WinportGetMessageQueueFd(void) { return CurrentQueue()->WatchFd(); }

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    if (Msg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

}  // extern "C"
