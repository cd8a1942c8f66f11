#include "ScrllWindow.h"

#include <cstdlib>

#include "MainWindow.h"

namespace {

constexpr int kImageIds[3] = {109, 108, 107};  // up arrow, thumb, down arrow
constexpr int kArrowHeight = 20;
constexpr int kTrackTop = 23;
constexpr int kTrackSlack = 80;   // arrows, the thumb and the gaps around them
constexpr UINT kRepeatMs = 100;
constexpr int kDriftPixels = 5;

}  // namespace

ScrllWindow::~ScrllWindow() {
    for (int i = 0; i < 3; ++i) {
        if (!imageDCs_[i]) continue;
        SelectObject(imageDCs_[i], imageOld_[i]);
        DeleteDC(imageDCs_[i]);
        DeleteObject(images_[i]);
    }
}

MainWindow* ScrllWindow::Main() const { return static_cast<MainWindow*>(owner); }

void ScrllWindow::Clamp() {
    if (topRow > range) topRow = range;
    if (topRow < 0) topRow = 0;
}

void ScrllWindow::Notify() {
    if (owner && Main()->list.hwnd) SendMessageA(Main()->list.hwnd, WM_VSCROLL, static_cast<WPARAM>(topRow), 0);
}

int ScrllWindow::ThumbTop() const {
    // A pane of 80 pixels or less has no track: the thumb stays at its top.
    if (topRow <= 0 || range <= 0 || height <= kTrackSlack) return kTrackTop;
    return kTrackTop + ((topRow * 100 / range) * (height - kTrackSlack)) / 100;
}

void ScrllWindow::Paint(HDC dc) {
    if (!imageDCs_[0]) {
        for (int i = 0; i < 3; ++i) {
            images_[i] = LoadBitmapA(instance, MAKEINTRESOURCEA(kImageIds[i]));
            imageDCs_[i] = CreateCompatibleDC(dc);
            imageOld_[i] = SelectObject(imageDCs_[i], images_[i]);
        }
    }
    RECT window, client;
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    height = window.bottom - window.top;
    FillRect(dc, &client, owner ? Main()->list.brush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    BitBlt(dc, 0, 0, 13, kArrowHeight, imageDCs_[0], 0, 0, SRCCOPY);
    BitBlt(dc, 0, ThumbTop(), 13, 32, imageDCs_[1], 0, 0, SRCCOPY);
    BitBlt(dc, 0, height - 23, 13, kArrowHeight, imageDCs_[2], 0, 0, SRCCOPY);
}

void ScrllWindow::OnLButtonDown(LPARAM lParam) {
    int y = HIWORD(lParam);
    if (y >= kArrowHeight && y <= height - kArrowHeight) {
        int track = height - kTrackSlack;
        topRow = track > 0 ? ((y - kTrackTop) * 100 / track) * range / 100 : 0;
        Clamp();
        dragging = true;
        Notify();
        RedrawNow();
        return;
    }
    GetCursorPos(&pressPoint);
    timer = SetTimer(hwnd, 1, kRepeatMs, nullptr);
    repeatUp = y < kArrowHeight;
}

void ScrllWindow::OnTimer() {
    POINT cursor;
    GetCursorPos(&cursor);
    if ((repeatUp && topRow <= 0) || (!repeatUp && topRow >= range) || std::abs(cursor.y - pressPoint.y) > kDriftPixels) {
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
    int track = height - kTrackSlack;
    topRow = track > 0 ? static_cast<int>((y - kTrackTop) * 100.0 / track * range / 100.0) : 0;
    Clamp();
    Notify();
    RedrawNow();
}

void ScrllWindow::ScrollBy(int step) {
    topRow += step;
    Clamp();
    Notify();
    RedrawNow();
}

void ScrllWindow::SetRange(int value) {
    range = value < 0 ? 0 : value;
    if (topRow > range) topRow = range;
}
