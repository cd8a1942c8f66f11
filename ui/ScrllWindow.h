// The navigator's own vertical scroll bar: holds the top row of the list pane.
#pragma once

#include <atomic>

#include "Images.h"
#include "Wnd.h"

class MainWindow;

class ScrllWindow : public Wnd {
public:

    void Paint(HDC dc) override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnLButtonUp(LPARAM lParam) override;
    void OnMouseMove(WPARAM wParam, LPARAM lParam) override;
    void OnTimer() override;

    // Images again at the next paint, at the navigator's scale then.
    void DropImages();
    void ScrollBy(int step);
    // The top row, within the range; the list redraws at once.
    void ScrollTo(int row);
    void SetRange(int value);
    // The thumb's top for the current top row, range and height.
    int ThumbTop() const;

    // Written on the window's thread, read by the paints of the scan's threads.
    std::atomic<int> topRow{0};
    int range = 0;
    int height = 0;  // window height at the last paint
    UINT_PTR timer = 0;
    bool repeatUp = false;
    POINT pressPoint{0, 0};
    bool dragging = false;

private:
    MainWindow* Main() const;
    void Clamp();
    void Notify();
    int Px(int length) const;
    PaneImage images_[3];
};
