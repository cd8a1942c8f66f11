#include "Wnd.h"

#include <cwchar>
#include <new>

namespace {

// Held while a class is registered and its window made, and while a class is
// unregistered, whichever thread does it: a closed navigator's object goes
// on the thread that waited for its scan, while the shell's thread may be
// opening another navigator on the same folder.
SRWLOCK classLock = SRWLOCK_INIT;

class ClassLock {
public:
    ClassLock() { AcquireSRWLockExclusive(&classLock); }
    ~ClassLock() { ReleaseSRWLockExclusive(&classLock); }
    ClassLock(const ClassLock&) = delete;
    ClassLock& operator=(const ClassLock&) = delete;
};

}  // namespace

Wnd::Wnd() : hwnd(nullptr), instance(nullptr), rect{0, 0, 0, 0}, owner(nullptr) { className[0] = 0; }

Wnd::~Wnd() {
    // A window that outlives its object must not call into the freed object.
    if (hwnd && IsWindow(hwnd)) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!background_) return;  // no class of its own
    ClassLock hold;
    // A newer window of the same name may have taken the class over since
    // this one's window went (Create): only its own class goes. The system
    // deletes a class's brush with the class, so a class taken over went
    // with its brush already, and one that cannot go yet keeps it.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, className, &wc) && wc.hbrBackground == background_)
        UnregisterClassW(className, instance);
}

bool Wnd::TakeOverStaleClass() const {
    // Ours, by its window procedure, and with no window left: a navigator
    // on this folder has closed and its object waits for the last thread
    // of its scan. A class with a window (a navigator open on this folder)
    // cannot be unregistered, and stays.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    return GetClassInfoExW(instance, className, &wc) && wc.lpfnWndProc == WndProc &&
           UnregisterClassW(className, instance);
}

bool Wnd::Create(const wchar_t* name, HINSTANCE inst, RECT r, DWORD style, HWND parent, Wnd* ownerWnd) {
    rect = r;
    instance = inst;
    owner = ownerWnd;
    // A longer composed name than the system takes cannot be registered.
    const wchar_t* head = owner ? owner->className : L"";
    size_t headLength = wcslen(head), nameLength = wcslen(name);
    if (headLength + nameLength > kMaxClassName) {
        className[0] = 0;
        return false;
    }
    wmemcpy(className, head, headLength);
    wmemcpy(className + headLength, name, nameLength + 1);

    HBRUSH background = CreateSolidBrush(RGB(255, 255, 225));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    HWND created;
    {
        ClassLock hold;
        if (!RegisterClassExW(&wc) &&
            !(GetLastError() == ERROR_CLASS_ALREADY_EXISTS && TakeOverStaleClass() && RegisterClassExW(&wc))) {
            DeleteObject(background);
            return false;
        }
        background_ = background;
        created = CreateWindowExW(0, className, className, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent, nullptr, instance, this);
    }
    if (!created) return false;
    hwnd = created;
    // Never a window left half made (a navigator without its header could
    // not be closed): it goes again, and its destroy handler runs as usual.
    if (!AfterCreate()) {
        DestroyWindow(hwnd);
        return false;
    }
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return true;
}

void Wnd::RedrawNow() {
    if (!hwnd) return;
    HDC dc = GetDC(hwnd);
    if (!dc) return;
    PaintWith(dc);
    ReleaseDC(hwnd, dc);
}

// The message loop is the shell's, not ours: nothing may unwind into it. A
// handler that runs out of memory drops that one message.
LRESULT CALLBACK Wnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Dispatch(hwnd, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        if (message == WM_PAINT) ValidateRect(hwnd, nullptr);  // or it comes back at once
        return 0;
    }
}

LRESULT Wnd::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Wnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
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
        self->OnKeyDown(wParam, (lParam & (1 << 30)) != 0);
        break;
    case WM_SETFOCUS:
        self->OnSetFocus();
        break;
    case WM_CLOSE:
        self->OnClose();
        return 0;
    case WM_DPICHANGED:
        self->OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
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
    case WM_GETOBJECT:
        return self->OnGetObject(wParam, lParam);
    default:
        if (message >= WM_APP && message <= 0xBFFF) {
            self->OnAppMessage(message, wParam, lParam);
            return 0;
        }
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
