// Win32 user subset: windows with posted-message queues, message boxes, string helpers.
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

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

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

extern "C" {

WINPORT_API ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
WINPORT_API BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
WINPORT_API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                        DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                        HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                        LPVOID lpParam);
WINPORT_API BOOL WINAPI DestroyWindow(HWND hWnd);
WINPORT_API BOOL WINAPI IsWindow(HWND hWnd);
WINPORT_API BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINPORT_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
WINPORT_API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                     UINT wRemoveMsg);
WINPORT_API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
WINPORT_API LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
WINPORT_API void WINAPI PostQuitMessage(int nExitCode);
WINPORT_API LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

WINPORT_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

WINPORT_API int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
WINPORT_API int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);
WINPORT_API LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
WINPORT_API int WINAPI lstrlenA(LPCSTR lpString);
WINPORT_API int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
WINPORT_API int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

}  // extern "C"

// Linux only: a host may replace how MessageBoxA shows its text (the default writes the
// caption and text to stderr, converted to UTF-8, and returns IDOK). Returns the old handler.
typedef int (*WINPORT_MESSAGEBOX_HANDLER)(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
extern "C" WINPORT_API WINPORT_MESSAGEBOX_HANDLER WinportSetMessageBoxHandler(
    WINPORT_MESSAGEBOX_HANDLER handler);

#endif
