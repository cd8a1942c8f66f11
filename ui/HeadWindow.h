// The header strip: the folder's path, the scan indicator or the totals, the
// close box; dragging it moves the navigator.
#pragma once

#include <string>

#include "Wnd.h"

class MainWindow;

class HeadWindow : public Wnd {
public:
    HeadWindow() = default;
    ~HeadWindow() override;

    void Paint(HDC dc) override;
    bool AfterCreate() override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnMouseMove(WPARAM wParam, LPARAM lParam) override;

    void PaintSummary(HDC dc);
    bool LoadImages(HDC dc);
    bool FitTitle(HDC dc);

    HDC narrowBackDC = nullptr, wideBackDC = nullptr, browseDC = nullptr, dotsDC = nullptr;
    HBITMAP narrowBack = nullptr, wideBack = nullptr, browseImage = nullptr, dotsImage = nullptr;
    std::wstring title;
    int titleX = 10;
    int dotsOffset = 0;
    int dragAnchorX = 0, dragAnchorY = 0;

protected:
    void PaintWith(HDC dc) override;

private:
    MainWindow* Main() const;
    HGDIOBJ olds_[4] = {};
};
