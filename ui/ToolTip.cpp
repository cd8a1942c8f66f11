#include "ToolTip.h"

#include "FontScope.h"
#include "MainWindow.h"
#include "Placement.h"

HWND ToolTip::shownTip = nullptr;

void ToolTip::ShowAt(POINT screen) {
    // Without a window a timer would be the thread's, a new one each time.
    if (!hwnd) return;
    shownTip = hwnd;
    const MainWindow* main = static_cast<MainWindow*>(owner);
    const Scale& scale = main->scale;
    RECT place = KeptWithin({screen.x, screen.y, screen.x + scale.Px(200), screen.y + scale.Px(25)},
                                        main->workArea);
    // Shown, never active: the keyboard stays with the navigator.
    SetWindowPos(hwnd, HWND_TOP, place.left, place.top, scale.Px(200), scale.Px(25), SWP_SHOWWINDOW | SWP_NOACTIVATE);
    SetTimer(hwnd, kHideTimer, kShowMs, HideTip);
}

// Hides the tooltip whose timer fired: with two navigators open, each timer
// acts on its own tooltip, not only on the one shown last.
void CALLBACK ToolTip::HideTip(HWND hwnd, UINT, UINT_PTR, DWORD) {
    HWND tip = hwnd ? hwnd : shownTip;
    ShowWindow(tip, SW_HIDE);
    KillTimer(tip, kHideTimer);
}

void ToolTip::Paint(HDC dc) {
    const MainWindow* main = static_cast<MainWindow*>(owner);
    const ChildWindow& list = main->list;
    FontScope font(dc, list.font);
    SetTextColor(dc, RGB(125, 125, 125));
    SetBkColor(dc, list.background);
    TextOutA(dc, main->scale.Px(25), main->scale.Px(5), "Wait while browse", 17);
}
