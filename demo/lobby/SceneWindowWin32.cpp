// Windows: the scene in a real window, painted from the section's rows on WM_PAINT. The
// window belongs to the lobby's thread, so the lobby's own message loop paints it.
#include "SceneWindow.h"

namespace demo {
namespace {

const char kClass[] = "LobbyKitDemoScene";

struct Win32Scene : SceneWindow {
    HWND hWnd = nullptr;
    const void* bits = nullptr;
    BITMAPINFO bmi = {};

    ~Win32Scene() override
    {
        if (hWnd) DestroyWindow(hWnd);
    }
    void Show() override
    {
        InvalidateRect(hWnd, nullptr, FALSE);
        UpdateWindow(hWnd);
    }
    void Run(LoopHooks& hooks) override { RunMessageLoop(hooks); }
    void Hold(DWORD ms) override
    {
        const DWORD start = GetTickCount();
        for (DWORD waited = 0; waited < ms && IsWindow(hWnd); waited = GetTickCount() - start) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - waited, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    }

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Win32Scene*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (msg == WM_PAINT && self) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            const int height = -self->bmi.bmiHeader.biHeight;
            SetDIBitsToDevice(dc, 0, 0, DWORD(self->bmi.bmiHeader.biWidth), DWORD(height), 0, 0, 0, UINT(height),
                              self->bits, &self->bmi, DIB_RGB_COLORS);
            EndPaint(h, &ps);
            return 0;
        }
        return DefWindowProcA(h, msg, wParam, lParam);
    }
};

}  // namespace

std::unique_ptr<SceneWindow> SceneWindow::Open(const char* title, const void* bits, int w, int h, std::string& how)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Win32Scene::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    RegisterClassA(&wc);
    auto scene = std::make_unique<Win32Scene>();
    scene->bits = bits;
    scene->bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    // A window without frame or caption at the screen's corner: its client area is the
    // scene, where a screenshot finds it.
    scene->hWnd = CreateWindowExA(0, kClass, title, WS_POPUP, 0, 0, w, h, nullptr, nullptr, wc.hInstance, nullptr);
    if (!scene->hWnd) {
        how = "no window (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    SetWindowLongPtrA(scene->hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(scene.get()));
    ShowWindow(scene->hWnd, SW_SHOW);
    UpdateWindow(scene->hWnd);
    how = "a Win32 window";
    return scene;
}

}  // namespace demo
