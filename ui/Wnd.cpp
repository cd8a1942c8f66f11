#include "Wnd.h"

#include <cstdio>
#include <cstring>

Wnd::Wnd() : hwnd(nullptr), instance(nullptr), rect{0, 0, 0, 0}, owner(nullptr) { className[0] = 0; }

Wnd::~Wnd() {
    if (!hwnd) return;
    // A window that outlives its object must not call into the freed object.
    if (IsWindow(hwnd)) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (UnregisterClassA(className, instance) && background_) DeleteObject(background_);
}

bool Wnd::Create(const char* name, HINSTANCE inst, RECT r, DWORD style, HWND parent, Wnd* ownerWnd) {
    HBRUSH background = CreateSolidBrush(RGB(255, 255, 225));
    rect = r;
    instance = inst;
    owner = ownerWnd;
    // The system limits class names to 256 characters; a longer composed name
    // (a path near the length limit plus a pane's suffix) cannot be registered.
    int len = snprintf(className, sizeof className, "%s%s", owner ? owner->className : "", name);
    if (len < 0 || len > 255) {
        className[0] = 0;
        DeleteObject(background);
        return false;
    }

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (!RegisterClassExA(&wc)) {
        DeleteObject(background);
        return false;
    }
    background_ = background;
    HWND created = CreateWindowExA(0, className, className, style, rect.left, rect.top, rect.right - rect.left,
                                   rect.bottom - rect.top, parent, nullptr, instance, this);
    if (!created) return false;
    hwnd = created;
    bool result = AfterCreate();
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return result;
}

void Wnd::RedrawNow() {
    if (!hwnd) return;
    HDC dc = GetDC(hwnd);
    if (!dc) return;
    PaintWith(dc);
    ReleaseDC(hwnd, dc);
}

LRESULT CALLBACK Wnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Wnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc) self->PaintWith(dc);
        EndPaint(hwnd, &ps);
        break;
    }
    case WM_DESTROY:
        self->OnDestroy();
        break;
    case WM_KEYDOWN:
        self->OnKeyDown(wParam);
        break;
    case WM_TIMER:
        self->OnTimer();
        break;
    case WM_HSCROLL:
        self->OnHScroll(wParam);
        break;
    case WM_VSCROLL:
        self->OnVScroll(wParam);
        break;
    case WM_MOUSEMOVE:
        self->OnMouseMove(wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        // A plain left press only: no other button, no Shift or Ctrl.
        if (wParam == MK_LBUTTON) self->OnLButtonDown(lParam);
        return 0;
    case WM_LBUTTONUP:
        self->OnLButtonUp(lParam);
        break;
    case WM_LBUTTONDBLCLK:
        self->OnLButtonDblClk();
        break;
    case WM_RBUTTONDOWN:
        self->OnRButtonDown(lParam);
        return 0;
    case WM_MOUSEWHEEL:
        self->OnMouseWheel(wParam);
        break;
    case WM_MOUSELEAVE:
        self->OnMouseLeave();
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
