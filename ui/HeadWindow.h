// The header strip: the folder's path, the scan indicator or the totals, the
// close box; dragging it moves the navigator.
#pragma once

#include <string>

#include "Accessible.h"
#include "Images.h"
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
    void OnDestroy() override;
    LRESULT OnGetObject(WPARAM wParam, LPARAM lParam) override;
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The close box's hit zone, in client coordinates.
    bool InCloseBox(int x, int y) const;
    RECT CloseBox() const;
    // What the header tells a screen reader: "Scanning", the totals, or
    // why the folder could not be listed.
    std::wstring ValueText() const;
    // Raises the value's change event when it differs from the last one
    // told. Any thread; no lock may be held.
    void NotifyValueIfChanged();

    void PaintSummary(HDC dc);
    bool LoadImages(HDC dc);
    bool FitTitle(HDC dc);

    // Images and the font again at the next paint, at the navigator's scale
    // then; the title is fitted again with them.
    void DropImages();

    std::wstring title;
    int titleX = 10;
    int dotsOffset = 0;
    int dragAnchorX = 0, dragAnchorY = 0;

protected:
    void PaintWith(HDC dc) override;

private:
    MainWindow* Main() const;
    HFONT Font();

    enum { kNarrow, kWide, kBrowse, kDots, kImages };
    PaneImage images_[kImages];
    HFONT font_ = nullptr;  // none: the DC's own
    bool fontReady_ = false;
    Accessible::Holder accessible_;
    std::wstring toldValue_;  // the value last told; under the views' lock
};
