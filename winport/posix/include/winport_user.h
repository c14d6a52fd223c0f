// Win32 user subset: windows with posted-message queues, message boxes, string helpers
// (implemented in winport/posix/user/).
//
// Behaviour on Linux, where Windows leaves a choice or the layer supports less:
// - A window belongs to the thread that creates it; that thread's queue receives the
//   messages posted to it. PostMessageA and PostThreadMessageA work from any thread;
//   PostMessageA(NULL, ...) posts a thread message to the calling thread. A bad or
//   destroyed window fails with ERROR_INVALID_WINDOW_HANDLE, a thread without a queue with
//   ERROR_INVALID_THREAD_ID, a queue holding 10000 messages with ERROR_NOT_ENOUGH_QUOTA.
// - GetMessageA blocks without spinning and returns 0 for WM_QUIT, -1 for a bad message
//   pointer or filter window. WM_QUIT (PostQuitMessage) is retrieved once no posted message
//   matches, whatever the window filter. PeekMessageA takes PM_REMOVE / PM_NOREMOVE (and
//   PM_NOYIELD); the PM_QS_ selectors fail with ERROR_NOT_SUPPORTED.
// - MsgWaitForMultipleObjects(Ex) waits on up to 63 handles and the calling thread's
//   queue (index nCount), as Windows: the queue counts when a message of a kind in the wake
//   mask arrived since the thread last looked at its queue. Only posted messages and
//   WM_QUIT arrive here (QS_POSTMESSAGE, QS_ALLPOSTMESSAGE; the other QS_ kinds are
//   accepted and never come). Every GetMessageA and PeekMessageA call is a look, with or
//   without PM_REMOVE and whether or not it finds a message: it clears QS_POSTMESSAGE, and
//   QS_ALLPOSTMESSAGE too when it names no range of messages (a window filter does not
//   count); a wait that returns clears nothing. MWMO_INPUTAVAILABLE counts any such message
//   waiting, new or not; MWMO_WAITALL (or fWaitAll) waits for all handles and the queue at
//   once. MWMO_ALERTABLE is a plain wait. A wake-mask bit that is no QS_ value, or a flag
//   that is no MWMO_ value, fails with ERROR_INVALID_PARAMETER (Wine ignores them).
// - SendMessageA is a direct call of the window procedure and only the window's own thread
//   may use it; from another thread it returns 0 with ERROR_NOT_SUPPORTED. DispatchMessageA
//   calls the procedure of a window of the calling thread.
// - CreateWindowExA sends WM_CREATE (with a CREATESTRUCTA); -1 from it destroys the window
//   and fails. DestroyWindow sends WM_DESTROY and drops the window's queued messages; it
//   fails with ERROR_ACCESS_DENIED for another thread's window. DefWindowProcA destroys the
//   window on WM_CLOSE and returns 0 for everything else. No other messages are generated
//   (no painting, input, timers or non-client messages). Windows have no size or position;
//   the parent may be NULL, HWND_MESSAGE or an existing window. When a thread ends, its
//   windows are destroyed without messages.
// - Class names compare without regard to ASCII case; one namespace for all modules.
// - lstrcmpA/lstrcmpiA compare bytes (lstrcmpiA folds ASCII letters and compares the bytes
//   of double-byte characters exactly), not by the user locale's collation.
// - wsprintfA/wvsprintfA: a field is %[-][#][0][width][.precision][size]type, the flags
//   in that order and each at most once, as Windows documents it (a flag out of order is
//   taken as the conversion character). Conversions d i u x X c C s S p, and "%%" with
//   nothing between is a '%'; '*' is not supported, as on Windows. Size prefixes l (32
//   bits, a Windows LONG), I64, I32 and a lone I (pointer-sized: 64 bits); h is accepted
//   and changes nothing for integers, as on Windows (%hd of 70000 is "70000"). A precision
//   of 0 is no precision ("%.0s" is the whole string). Integer fields follow Windows, not
//   C's printf: the precision counts the minus sign ("%.3d" of -7 is "-07") and 0 keeps
//   its digit; the '0' flag pads to the width even with a precision; '#' writes "0x"/"0X"
//   for 0 too, outside the width and precision ("%#5x" of 0 is "    0x0"). %p is always
//   16 upper-case digits wide, zero-filled ("%.20p" gives 20 digits), space-padded on the
//   right with '-', and "0X" with '#'. A NULL %s prints "(null)".
//   Characters and strings: c s are narrow and C S wide (WCHAR, 16 bits); h makes either
//   narrow, l wide. Wide text is converted to GBK, the ANSI code page, one UTF-16 unit at
//   a time as WideCharToMultiByte(CP_ACP, 0) does: a unit 936 has no character for (each
//   half of a surrogate pair, too) becomes '?', and a %lc of a wider int takes its low 16 bits. The width and
//   precision of a wide string count the bytes written, as for %s, so a precision may end
//   inside a double-byte character, as on Windows.
//   An unknown conversion character ends its field untaken: the field writes only its
//   padding (the width less the precision; nothing when left-aligned) and the character is
//   then read as text, so "%5y" is five spaces and "y", "%-5y" is "y" and "%5%d" is five
//   spaces and a number. Output stops at 1023 characters plus the terminator, the limit of
//   these functions on Windows (which leaves an overlong result unterminated; here it is
//   always a string).
// - MessageBoxA shows nothing on Linux: by default it writes "[caption] text" to stderr,
//   converted from GBK to UTF-8 (bytes that do not convert become '?'), and returns IDOK.
//   WinportSetMessageBoxHandler (below) replaces that, for a host with a real UI or a test.
#ifndef WINPORT_USER_H
#define WINPORT_USER_H

#include <cstdarg>

#include "winport_types.h"

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444L
#endif
#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#endif

#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_RAWINPUT 0x0400
#define QS_TOUCH 0x0800
#define QS_POINTER 0x1000
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY | QS_RAWINPUT | QS_TOUCH | QS_POINTER)
#define QS_ALLEVENTS (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY)
#define QS_ALLINPUT (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE)
#define MWMO_WAITALL 0x0001
#define MWMO_ALERTABLE 0x0002
#define MWMO_INPUTAVAILABLE 0x0004

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040L
#define IDOK 1
#define IDCANCEL 2

#define HWND_MESSAGE ((HWND)-3)
#define CW_USEDEFAULT ((int)0x80000000)

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA, *PWNDCLASSA, *LPWNDCLASSA;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *PMSG, *LPMSG;

typedef WORD ATOM;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

#define MAKEINTATOM(i) ((LPCSTR)((ULONG_PTR)((WORD)(i))))

extern "C" {

WINPORT_API ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
WINPORT_API BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
WINPORT_API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                                        int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                        HINSTANCE hInstance, LPVOID lpParam);
WINPORT_API BOOL WINAPI DestroyWindow(HWND hWnd);
WINPORT_API BOOL WINAPI IsWindow(HWND hWnd);
WINPORT_API BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
WINPORT_API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
WINPORT_API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
WINPORT_API LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
WINPORT_API void WINAPI PostQuitMessage(int nExitCode);
WINPORT_API DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                                   DWORD dwMilliseconds, DWORD dwWakeMask);
WINPORT_API DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds,
                                                     DWORD dwWakeMask, DWORD dwFlags);
WINPORT_API LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

WINPORT_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

WINPORT_API int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
WINPORT_API int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);
WINPORT_API LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
WINPORT_API LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
WINPORT_API LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2);
WINPORT_API int WINAPI lstrlenA(LPCSTR lpString);
WINPORT_API int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
WINPORT_API int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

}  // extern "C"

// Linux only: a file descriptor for the calling thread's message queue, for a host whose
// main loop is its own (poll/epoll, GLib, Qt, libuv, SDL; see README). It is readable
// exactly while posted messages (or a quit) wait in the queue, and unreadable again once
// GetMessageA or PeekMessageA with PM_REMOVE has taken them all: on each wake-up, take
// messages until PeekMessageA(PM_REMOVE) finds none. It is the same descriptor on every
// call of the thread, close-on-exec; the layer owns it (do not read or close it) and closes
// it when the thread's queue goes, at the thread's end. Posting never blocks on it, and
// costs no system call while no thread has asked for its descriptor. Makes the thread's
// queue if it has none; -1 with the last error if the descriptor cannot be made.
extern "C" WINPORT_API int WinportGetMessageQueueFd(void);

// Linux only: a host may replace how MessageBoxA shows its text (the default writes the
// caption and text to stderr, converted to UTF-8, and returns IDOK). Returns the old handler.
typedef int (*WINPORT_MESSAGEBOX_HANDLER)(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
extern "C" WINPORT_API WINPORT_MESSAGEBOX_HANDLER WinportSetMessageBoxHandler(WINPORT_MESSAGEBOX_HANDLER handler);

#endif
