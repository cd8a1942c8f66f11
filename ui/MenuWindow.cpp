#include "MenuWindow.h"

#include "MainWindow.h"
#include "Placement.h"

MainWindow* MenuWindow::Main() const { return static_cast<MainWindow*>(owner); }

void MenuWindow::DropImages() { image_.Release(); }

void MenuWindow::ShowAt(POINT screen) {
    const Scale& scale = Main()->scale;
    SIZE size = ImageSize(IDB_POPUP, scale);
    shownFor_ = Main()->document.selected;
    shownRemovals_ = Main()->document.Removals();
    RECT place{screen.x - scale.Px(60), screen.y - scale.Px(10), 0, 0};
    place = KeptWithin({place.left, place.top, place.left + size.cx, place.top + size.cy}, Main()->workArea);
    SetWindowPos(hwnd, HWND_TOP, place.left, place.top, size.cx, size.cy, SWP_SHOWWINDOW);
}

void MenuWindow::Paint(HDC dc) {
    const Scale& scale = Main()->scale;
    if (!image_.Loaded()) image_.Load(instance, IDB_POPUP, scale, dc);
    SIZE size = ImageSize(IDB_POPUP, scale);
    BitBlt(dc, 0, 0, size.cx, size.cy, image_.Dc(), 0, 0, SRCCOPY);
}

void MenuWindow::OnLButtonDown(LPARAM lParam) {
    const Scale& scale = Main()->scale;
    int x = LOWORD(lParam), y = HIWORD(lParam);
    if (x <= scale.Px(30)) return;  // the arrows' strip does not react
    Document& doc = Main()->document;
    // Gone before the action: the note and the shell's windows come next.
    ShowWindow(hwnd, SW_HIDE);
    // It acts on the row it was opened for, or on nothing.
    if (!doc.selected || doc.selected != shownFor_ || doc.Removals() != shownRemovals_) return;
    if (y < scale.Px(25))
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

void MenuWindow::OnKeyDown(WPARAM key, bool repeated) { Main()->OnKeyDown(key, repeated); }
