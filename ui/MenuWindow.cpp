#include "MenuWindow.h"

#include "MainWindow.h"

MainWindow* MenuWindow::Main() const { return static_cast<MainWindow*>(owner); }

void MenuWindow::DropImages() { image_.Release(); }

void MenuWindow::ShowAt(POINT screen) {
    const Scale& scale = Main()->scale;
    SIZE size = ImageSize(IDB_POPUP, scale);
    SetWindowPos(hwnd, HWND_TOP, screen.x - scale.Px(60), screen.y - scale.Px(10), size.cx, size.cy, SWP_SHOWWINDOW);
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

void MenuWindow::OnKeyDown(WPARAM key) { Main()->OnKeyDown(key); }
