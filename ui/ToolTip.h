// The tooltip "Wait while browse", shown for three seconds on a press during
// the scan.
#pragma once

#include "Wnd.h"

class ToolTip : public Wnd {
public:
    void Paint(HDC dc) override;
    void ShowAt(POINT screen);
    static void CALLBACK HideTip(HWND hwnd, UINT message, UINT_PTR id, DWORD time);

    static constexpr UINT_PTR kHideTimer = 0x7017;
    static constexpr UINT kShowMs = 3000;
    static HWND shownTip;  // the tooltip most recently shown, in any navigator
};
