// The action popup: Open and Delete under the pointer.
#pragma once

#include "Wnd.h"

class MainWindow;

class MenuWindow : public Wnd {
public:
    MenuWindow() = default;
    ~MenuWindow() override;

    void Paint(HDC dc) override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnMouseMove(WPARAM wParam, LPARAM lParam) override;
    void OnMouseLeave() override;
    void ShowAt(POINT screen);

    HDC popupDC = nullptr;
    HBITMAP popupImage = nullptr;

private:
    HGDIOBJ old_ = nullptr;
};
