#include "ScrllWindow.h"

#include <cstdlib>

#include "MainWindow.h"

namespace {

constexpr int kImageIds[3] = {109, 108, 107};  // up arrow, thumb, down arrow
constexpr UINT kRepeatMs = 100;

}  // namespace

void ScrllWindow::DropImages() {
    for (PaneImage& image : images_) image.Release();
}

MainWindow* ScrllWindow::Main() const { return static_cast<MainWindow*>(owner); }

void ScrllWindow::Clamp() {
    if (topRow > range) topRow = range;
    if (topRow < 0) topRow = 0;
}

void ScrllWindow::Notify() {
    if (owner && Main()->list.hwnd) SendMessageA(Main()->list.hwnd, WM_VSCROLL, static_cast<WPARAM>(topRow), 0);
}

// The bar's lengths are its 96-DPI ones at the navigator's scale: the
// arrows' 20, the track's top at 23, the 80 that the arrows, the thumb and
// the gaps around them take, and the pointer's 5 of drift.
int ScrllWindow::Px(int length) const { return owner ? Main()->scale.Px(length) : length; }

int ScrllWindow::ThumbTop() const {
    const int top = Px(23), slack = Px(80);
    // A pane whose track has no length keeps the thumb at its top.
    if (topRow <= 0 || range <= 0 || height <= slack) return top;
    return top + ((topRow * 100 / range) * (height - slack)) / 100;
}

void ScrllWindow::Paint(HDC dc) {
    const Scale scale = owner ? Main()->scale : Scale();
    if (!images_[0].Loaded())
        for (int i = 0; i < 3; ++i) images_[i].Load(instance, kImageIds[i], scale, dc);
    RECT window, client;
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    height = window.bottom - window.top;
    FillRect(dc, &client, owner ? Main()->list.brush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int width = scale.Px(13), arrow = scale.Px(20);
    BitBlt(dc, 0, 0, width, arrow, images_[0].Dc(), 0, 0, SRCCOPY);
    BitBlt(dc, 0, ThumbTop(), width, scale.Px(32), images_[1].Dc(), 0, 0, SRCCOPY);
    BitBlt(dc, 0, height - scale.Px(23), width, arrow, images_[2].Dc(), 0, 0, SRCCOPY);
}

void ScrllWindow::OnLButtonDown(LPARAM lParam) {
    int y = HIWORD(lParam);
    const int arrow = Px(20);
    if (y >= arrow && y <= height - arrow) {
        int track = height - Px(80);
        topRow = track > 0 ? ((y - Px(23)) * 100 / track) * range / 100 : 0;
        Clamp();
        dragging = true;
        Notify();
        RedrawNow();
        return;
    }
    GetCursorPos(&pressPoint);
    timer = SetTimer(hwnd, 1, kRepeatMs, nullptr);
    repeatUp = y < arrow;
}

void ScrllWindow::OnTimer() {
    POINT cursor;
    GetCursorPos(&cursor);
    if ((repeatUp && topRow <= 0) || (!repeatUp && topRow >= range) || std::abs(cursor.y - pressPoint.y) > Px(5)) {
        KillTimer(hwnd, timer);
        timer = 0;
        return;
    }
    if (repeatUp && topRow > 0) --topRow;
    if (!repeatUp && topRow < range) ++topRow;
    Notify();
    RedrawNow();
}

void ScrllWindow::OnLButtonUp(LPARAM) {
    if (timer) {
        KillTimer(hwnd, timer);
        timer = 0;
    }
    dragging = false;
}

void ScrllWindow::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    if (!(wParam & MK_LBUTTON) || !dragging) {
        dragging = false;
        return;
    }
    int y = HIWORD(lParam);
    int track = height - Px(80);
    topRow = track > 0 ? static_cast<int>((y - Px(23)) * 100.0 / track * range / 100.0) : 0;
    Clamp();
    Notify();
    RedrawNow();
}

void ScrllWindow::ScrollBy(int step) { ScrollTo(topRow + step); }

void ScrllWindow::ScrollTo(int row) {
    topRow = row;
    Clamp();
    Notify();
    RedrawNow();
}

void ScrllWindow::SetRange(int value) {
    range = value < 0 ? 0 : value;
    if (topRow > range) topRow = range;
}
