// The base of every navigator window: registers a window class of its own,
// creates the window, binds it to the object, and turns the messages the
// navigator uses into virtual calls with empty defaults.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

class Wnd {
public:
    Wnd();
    virtual ~Wnd();
    Wnd(const Wnd&) = delete;
    Wnd& operator=(const Wnd&) = delete;

    // Registers the class "<owner's class name><name>" and creates the window.
    // A window whose after-create step fails is destroyed again.
    virtual bool Create(const wchar_t* name, HINSTANCE instance, RECT rect, DWORD style, HWND parent, Wnd* owner);
    virtual void Paint(HDC dc) {}
    virtual bool AfterCreate() { return true; }
    virtual void OnLButtonDown(LPARAM lParam) {}
    virtual void OnLButtonUp(LPARAM lParam) {}
    virtual void OnRButtonDown(LPARAM lParam) {}
    virtual void OnMouseMove(WPARAM wParam, LPARAM lParam) {}
    virtual void OnHScroll(WPARAM wParam) {}
    virtual void OnMouseWheel(WPARAM wParam) {}
    virtual void OnVScroll(WPARAM wParam) {}
    virtual void OnMouseLeave() {}
    virtual void OnDestroy() {}
    virtual void OnTimer() {}
    virtual void OnLButtonDblClk() {}
    // `repeated`: a key held down, repeating (the key was down before).
    virtual void OnKeyDown(WPARAM key, bool repeated) {}
    virtual void OnSetFocus() {}
    // WM_CLOSE, as the taskbar or Alt+F4 asks for it.
    virtual void OnClose() { DestroyWindow(hwnd); }
    // WM_DPICHANGED: the window's new DPI and the rectangle the system suggests for it.
    virtual void OnDpiChanged(int dpi, const RECT& suggested) {}
    // WM_GETOBJECT: an accessible object's LRESULT; by default the system's
    // answer, which leaves the client the standard object.
    virtual LRESULT OnGetObject(WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd, WM_GETOBJECT, wParam, lParam);
    }
    // The window's private messages, WM_APP and above: work that another
    // caller asked for and that runs here, on the window's thread.
    virtual void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {}

    // Paints the window at once with a window DC, outside WM_PAINT.
    void RedrawNow();

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd;
    HINSTANCE instance;
    RECT rect;
    Wnd* owner;
    // The system takes class names of up to 256 units, the zero included.
    static constexpr int kMaxClassName = 255;
    wchar_t className[kMaxClassName + 1];

protected:
    HBRUSH background_ = nullptr;  // the class's brush, which goes with the class; none: no class registered
    // Every paint of a window goes through here; the main window's panes
    // override it to keep paints from several threads apart.
    virtual void PaintWith(HDC dc) { Paint(dc); }

private:
    // Unregisters a class of this name left by a window of this base that
    // has gone; false when there is none, or its window is still there.
    bool TakeOverStaleClass() const;
};
