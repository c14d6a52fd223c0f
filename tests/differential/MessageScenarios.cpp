// Message waits: MsgWaitForMultipleObjects(Ex) and what "a message arrived since the queue
// was last looked at" means, against the calls that look (GetMessageA, PeekMessageA with and
// without PM_REMOVE, with and without filters) and the waits themselves. GetMessageA and
// PeekMessageA are recorded without the last error: Wine sets one even when they succeed.
#include <string>

#include "Probe.h"

namespace {

const UINT WM_PROBE = WM_USER + 0x42;

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

DWORD Post(UINT offset = 0) { return PostThreadMessageA(GetCurrentThreadId(), WM_PROBE + offset, 0, 0); }

LRESULT CALLBACK ProbeWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

DWORD WINAPI PostLater(LPVOID threadId)
{
    Sleep(100);
    return PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(threadId)), WM_PROBE, 0, 0);
}

}  // namespace

PROBE_SCENARIO(msgwait_new_since_last_look)
{
    MSG m;
    Drain();
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsBool, Post());
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    // A wait that returns is no look at the queue.
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, 0));
    // PeekMessageA without PM_REMOVE looks: the message waits on, but is no longer new.
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
    // A look with a range of messages clears QS_POSTMESSAGE only, whether it finds one or not.
    PROBE_CALL(probe::AsBool, Post(1));
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, WM_PROBE + 5, WM_PROBE + 6, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, WM_PROBE + 1, WM_PROBE + 1, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    // A window filter is no range: (HWND)-1 (thread messages) clears both.
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    // The range 0..0xFFFFFFFF is no range either.
    PROBE_CALL(probe::AsBool, Post(2));
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, 0, 0xFFFFFFFFu, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    // Taking one of several leaves the others waiting, not new.
    PROBE_CALL(probe::AsBool, Post(3));
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    t.Check("the first posted came first", m.message == WM_PROBE);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
    PROBE_CALL(probe::AsBool, Post(4));
    PROBE_VALUE(probe::AsBool, GetMessageA(&m, nullptr, 0, 0));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    Drain();
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
}

PROBE_SCENARIO(msgwait_window_filter)
{
    MSG m;
    Drain();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ProbeWindowProc;
    wc.lpszClassName = "LobbyKitProbeMsgWait";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    t.Check("window made", hWnd != nullptr);
    // A look filtered to a window that has nothing still counts as a look.
    PROBE_CALL(probe::AsBool, Post());
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, hWnd, 0, 0, PM_NOREMOVE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
    Drain();
    PROBE_CALL(probe::AsBool, PostMessageA(hWnd, WM_PROBE, 1, 2));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    PROBE_VALUE(probe::AsBool, GetMessageA(&m, hWnd, 0, 0));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsBool, DestroyWindow(hWnd));
    PROBE_CALL(probe::AsBool, UnregisterClassA(wc.lpszClassName, nullptr));
    Drain();
}

PROBE_SCENARIO(msgwait_quit)
{
    MSG m;
    Drain();
    PostQuitMessage(3);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    PROBE_VALUE(probe::AsBool, PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    t.Check("WM_QUIT seen", m.message == WM_QUIT && m.wParam == 3);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
    // A second quit is new again, and its code is the one retrieved.
    PostQuitMessage(4);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE));
    PROBE_VALUE(probe::AsBool, GetMessageA(&m, nullptr, 0, 0));
    t.Check("WM_QUIT with the last code", m.message == WM_QUIT && m.wParam == 4);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE));
}

PROBE_SCENARIO(msgwait_masks_and_flags)
{
    Drain();
    PROBE_CALL(probe::AsBool, Post());
    // Only posted messages arrive here: the other kinds never wake.
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_KEY | QS_MOUSE | QS_TIMER));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_SENDMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, 0));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLEVENTS));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT | QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_ALERTABLE));
    PROBE_CALL_KNOWN("msgwait-unknown-bits", probe::AsWait,
                     MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT | 0x80000000u));
    PROBE_CALL_KNOWN("msgwait-unknown-bits", probe::AsWait,
                     MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0x80));
    Drain();
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE many[MAXIMUM_WAIT_OBJECTS];
    for (HANDLE& h : many) h = e;
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS - 1, many, FALSE, 0, QS_ALLINPUT));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0, QS_ALLINPUT));
    HANDLE bad = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &bad, FALSE, 0, QS_ALLINPUT));
    CloseHandle(e);
}

PROBE_SCENARIO(msgwait_with_handles)
{
    Drain();
    HANDLE e = nullptr;
    PROBE_CALL(probe::AsHandle, e = CreateEventA(nullptr, TRUE, FALSE, nullptr));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 0, QS_ALLINPUT));
    PROBE_CALL(probe::AsBool, Post());
    // The queue comes after the handles; the lowest ready index wins.
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 0, QS_ALLINPUT));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 0, QS_ALLINPUT));
    // Waiting for all: every handle and a new message together.
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, TRUE, 0, QS_ALLINPUT));
    Drain();
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, TRUE, 0, QS_ALLINPUT));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_WAITALL));
    PROBE_CALL(probe::AsBool, ResetEvent(e));
    PROBE_CALL(probe::AsBool, Post());
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_WAITALL));
    PROBE_CALL(probe::AsBool, SetEvent(e));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_WAITALL));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_WAITALL | MWMO_INPUTAVAILABLE));
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_WAITALL));
    Drain();
    // A message posted by another thread wakes a wait in progress.
    PROBE_CALL(probe::AsBool, ResetEvent(e));
    HANDLE poster = CreateThread(nullptr, 0, PostLater,
                                 reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(GetCurrentThreadId())), 0, nullptr);
    const DWORD start = GetTickCount();
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 10000, QS_ALLPOSTMESSAGE));
    t.Check("woken well before the timeout", GetTickCount() - start < 5000);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 50, QS_KEY));
    Drain();
    PROBE_CALL(probe::AsWait, MsgWaitForMultipleObjects(1, &e, FALSE, 50, QS_ALLPOSTMESSAGE));
    PROBE_CALL(probe::AsBool, CloseHandle(e));
}
