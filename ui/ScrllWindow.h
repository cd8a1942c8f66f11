// The navigator's own vertical scroll bar: holds the top row of the list pane.
#pragma once

#include <atomic>

#include "Wnd.h"

class MainWindow;

class ScrllWindow : public Wnd {
public:
    ScrllWindow() = default;
    ~ScrllWindow() override;

    void Paint(HDC dc) override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnLButtonUp(LPARAM lParam) override;
    void OnMouseMove(WPARAM wParam, LPARAM lParam) override;
    void OnTimer() override;

    void ScrollBy(int step);
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
    HBITMAP images_[3] = {};
    HDC imageDCs_[3] = {};
    HGDIOBJ imageOld_[3] = {};
};
