#include "MenuWindow.h"

#include "MainWindow.h"

MenuWindow::~MenuWindow() {
    if (popupDC) {
        SelectObject(popupDC, old_);
        DeleteDC(popupDC);
    }
    if (popupImage) DeleteObject(popupImage);
}

void MenuWindow::ShowAt(POINT screen) {
    SetWindowPos(hwnd, HWND_TOP, screen.x - 60, screen.y - 10, 120, 50, SWP_SHOWWINDOW);
}

void MenuWindow::Paint(HDC dc) {
    if (!popupDC) {
        popupImage = LoadBitmapA(instance, MAKEINTRESOURCEA(115));
        popupDC = CreateCompatibleDC(dc);
        old_ = SelectObject(popupDC, popupImage);
    }
    BitBlt(dc, 0, 0, 120, 50, popupDC, 0, 0, SRCCOPY);
}

void MenuWindow::OnLButtonDown(LPARAM lParam) {
    int x = LOWORD(lParam), y = HIWORD(lParam);
    if (x <= 30) return;  // the arrows' strip does not react
    Document& doc = static_cast<MainWindow*>(owner)->document;
    // Gone before the action: the note and the shell's windows come next.
    ShowWindow(hwnd, SW_HIDE);
    if (y < 25)
        doc.OpenSelected();
    else
        doc.DeleteSelected();
}

void MenuWindow::OnMouseMove(WPARAM, LPARAM) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = hwnd;
    TrackMouseEvent(&track);
}

void MenuWindow::OnMouseLeave() { ShowWindow(hwnd, SW_HIDE); }
