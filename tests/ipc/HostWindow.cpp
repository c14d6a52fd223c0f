#include "HostWindow.h"

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace lktest {
namespace {

const char kClassName[] = "lktest_ipc_host";

std::mutex g_mapLock;
std::vector<std::pair<HWND, HostWindow::Handler*>> g_windows;

HostWindow::Handler* Find(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(g_mapLock);
    for (auto& w : g_windows)
        if (w.first == hWnd) return w.second;
    return nullptr;
}

}  // namespace

HostWindow::HostWindow(Handler handler) : m_handler(std::move(handler))
{
    static const ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &HostWindow::WndProc;
        wc.lpszClassName = kClassName;
        return ::RegisterClassA(&wc);
    }();
    (void)atom;
    // Message-only: it needs no display (Wine without a display driver can make only these).
    m_hWnd = ::CreateWindowExA(0, kClassName, "host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!m_hWnd) std::abort();
    std::lock_guard<std::mutex> lock(g_mapLock);
    g_windows.emplace_back(m_hWnd, &m_handler);
}

HostWindow::~HostWindow()
{
    {
        std::lock_guard<std::mutex> lock(g_mapLock);
        for (auto it = g_windows.begin(); it != g_windows.end(); ++it)
            if (it->first == m_hWnd) {
                g_windows.erase(it);
                break;
            }
    }
    ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK HostWindow::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (Handler* h = Find(hWnd)) {
        if (uMsg >= WM_USER) {
            (*h)(uMsg, wParam, lParam);
            return 0;
        }
    }
    return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

void HostWindow::PumpPending()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool HostWindow::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        PumpPending();
        if (done()) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(1);
    }
}

int HostWindow::Run()
{
    MSG msg;
    BOOL r;
    while ((r = ::GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return r == 0 ? static_cast<int>(msg.wParam) : -1;
}

}  // namespace lktest
