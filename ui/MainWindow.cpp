#include "MainWindow.h"

#ifndef CRITICAL_SECTION_NO_DEBUG_INFO
#define CRITICAL_SECTION_NO_DEBUG_INFO 0x01000000
#endif

#include <cwctype>

namespace {
constexpr DWORD kCloseGraceMs = 3000;  // for the workers to leave their walks
constexpr size_t kLongestPaneName = 7;  // "tooltip"
}

MainWindow::MainWindow() : closeEvent(nullptr), scrollBarShown(false), workArea{0, 0, 0, 0} {
    InitializeCriticalSectionEx(&viewLock_, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
}

MainWindow::~MainWindow() {
    // The panes go before the document: no scanning thread may paint them
    // from here on, and none may still run when the tree is freed.
    SetViewsAlive(false);
    document.RequestStop();
    document.WaitForScan(INFINITE);
    document.owner = nullptr;
    DeleteCriticalSection(&viewLock_);
}

std::wstring MainWindow::ClassNameFor(const wchar_t* path) {
    std::wstring name = path;
    const size_t room = kMaxClassName - kLongestPaneName;
    if (name.size() <= room) return name;
    // Class names compare without case, so the digest does too (FNV-1a).
    uint64_t digest = 14695981039346656037ull;
    for (wchar_t c : name) digest = (digest ^ static_cast<uint16_t>(towupper(c))) * 1099511628211ull;
    wchar_t tail[18];
    swprintf(tail, 18, L"~%016llx", static_cast<unsigned long long>(digest));
    return name.substr(0, room - 17) + tail;
}

bool MainWindow::Create(const wchar_t* name, HINSTANCE inst, RECT, DWORD style, HWND, Wnd* ownerArgument) {
    closeEvent = reinterpret_cast<HANDLE*>(ownerArgument);
    HWND desktop = GetDesktopWindow();
    if (!desktop) return false;
    RECT screen;
    if (!GetWindowRect(desktop, &screen) || !GetClientRect(desktop, &workArea)) return false;
    // Without a taskbar the whole screen is the work area.
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT bar;
    if (tray && GetWindowRect(tray, &bar)) CutByTaskbar(&workArea, screen, bar);
    if (!PlaceNearCursor()) return false;
    if (!Wnd::Create(ClassNameFor(name).c_str(), inst, rect, style, nullptr, nullptr)) return false;
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(117));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return true;
}

void MainWindow::CutByTaskbar(RECT* area, const RECT& screen, const RECT& bar) {
    if (bar.left > 0)
        area->right = bar.left;  // at the right
    else if (bar.top > screen.top)
        area->bottom = bar.top;  // at the bottom
    else if (bar.right < area->right)
        area->left = bar.right;  // at the left
    else
        area->top = bar.bottom;  // at the top
}

bool MainWindow::PlaceNearCursor() {
    POINT cursor;
    if (!GetCursorPos(&cursor)) return false;
    if (cursor.x > workArea.right / 2) {
        rect.left = cursor.x - kWidth;
        rect.right = cursor.x;
    } else {
        rect.left = cursor.x;
        rect.right = cursor.x + kWidth;
    }
    if (cursor.y > workArea.bottom / 2) {
        rect.top = cursor.y - kWidth;
        rect.bottom = cursor.y;
    } else {
        rect.top = cursor.y;
        rect.bottom = cursor.y + kWidth;
    }
    return true;
}

bool MainWindow::AfterCreate() {
    document.Load(this);
    RECT window;
    GetWindowRect(hwnd, &window);
    int width = window.right - window.left;
    int rows = document.root.ChildCount();
    RECT listRect{0, kHeaderHeight, width, kHeaderHeight + rows * list.rowHeight};
    list.rowTotal = rows;
    FitToList(&listRect);
    if (!list.Create(L"child", instance, listRect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, hwnd, this)) return false;
    GetWindowRect(hwnd, &window);
    width = window.right - window.left;
    RECT headRect{listRect.left - 1, 0, width, kHeaderHeight};
    if (!header.Create(L"head", instance, headRect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, hwnd, this)) return false;
    tooltip.Create(L"tooltip", instance, headRect, WS_POPUP | WS_BORDER, hwnd, this);
    ShowWindow(tooltip.hwnd, SW_HIDE);
    menu.Create(L"menu", instance, headRect, WS_POPUP | WS_BORDER, hwnd, this);
    ShowWindow(menu.hwnd, SW_HIDE);
    SetViewsAlive(true);
    list.Relayout();
    return document.StartWorkers();
}

void MainWindow::FitToList(RECT* listRect) {
    GetWindowRect(hwnd, &rect);
    int need = rect.top + listRect->bottom;
    if (need > workArea.bottom) {
        if (rect.bottom < workArea.bottom) rect.bottom = workArea.bottom;
        SetScrollBarShown(true);
    } else {
        rect.bottom = need;
        if (scrollBarShown) SetScrollBarShown(false);
    }
    SetWindowPos(hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    int width = rect.right - rect.left;
    if (header.hwnd) {
        header.rect.right = width;
        SetWindowPos(header.hwnd, nullptr, 0, 0, width - header.rect.left, kHeaderHeight,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    listRect->bottom = rect.bottom - rect.top;
    listRect->right = width - (scrollBarShown ? kScrollWidth : 0);
}

void MainWindow::SetScrollBarShown(bool shown) {
    if (shown) {
        if (!scrollBarShown) rect.right += kScrollWidth;
        scrollBarShown = true;
        int width = rect.right - rect.left, height = rect.bottom - rect.top;
        if (!scrollBar.hwnd) {
            RECT bar{width - kScrollWidth, kHeaderHeight, width, height};
            scrollBar.Create(L"vscrl", instance, bar, WS_CHILD | WS_VISIBLE | WS_BORDER, hwnd, this);
        } else {
            SetWindowPos(scrollBar.hwnd, nullptr, width - kScrollWidth, kHeaderHeight, kScrollWidth,
                         height - kHeaderHeight, SWP_SHOWWINDOW | SWP_NOZORDER);
        }
    } else {
        rect.right -= kScrollWidth;
        scrollBarShown = false;
        ShowWindow(scrollBar.hwnd, SW_HIDE);
    }
}

void MainWindow::OnMouseWheel(WPARAM wParam) {
    if (!scrollBarShown) return;
    short delta = static_cast<short>(HIWORD(wParam));
    scrollBar.ScrollBy(delta <= 0 ? 1 : -1);
}

void MainWindow::OnKeyDown(WPARAM key) {
    // No popup stays up over an action's windows.
    if ((key == VK_RETURN || key == VK_DELETE) && menu.hwnd) ShowWindow(menu.hwnd, SW_HIDE);
    switch (key) {
    case VK_RETURN:
        document.OpenSelected();
        break;
    case VK_UP:
        document.MoveSelection(true);
        break;
    case VK_DOWN:
        document.MoveSelection(false);
        break;
    case VK_DELETE:
        document.DeleteSelected();
        break;
    default:
        break;
    }
}

void MainWindow::OnDestroy() {
    // From here on nothing paints the panes, whose windows go with this one.
    SetViewsAlive(false);
    if (!document.root.Complete()) {
        document.RequestStop();
        document.WaitForScan(kCloseGraceMs);
    }
    document.tearingDown.store(true);
    if (menu.hwnd) DestroyWindow(menu.hwnd);
    if (tooltip.hwnd) DestroyWindow(tooltip.hwnd);
    if (actions_ > 0)
        signalAfterAction_ = true;
    else
        SignalClosed();
}

void MainWindow::SignalClosed() {
    if (closeEvent && *closeEvent) SetEvent(*closeEvent);
}

void MainWindow::Close() {
    if (actions_ > 0)
        closeAfterAction_ = true;
    else
        DestroyWindow(hwnd);
}

void MainWindow::BeginAction() {
    // The note and the shell's boxes belong to the navigator, which takes no
    // input of its own while they are up.
    if (actions_++ == 0 && ViewsOpen()) EnableWindow(hwnd, FALSE);
}

void MainWindow::EndAction() {
    if (--actions_ > 0) return;
    if (ViewsOpen()) {
        EnableWindow(hwnd, TRUE);
        // The boxes went while it was disabled: the activation went elsewhere.
        if (!GetActiveWindow()) SetActiveWindow(hwnd);
        // Posted: the action's callers are still on the stack.
        if (closeAfterAction_) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        closeAfterAction_ = false;
    }
    // The keep-alive thread releases the object a second after this, long
    // after the action's callers have returned.
    if (signalAfterAction_) SignalClosed();
}

bool MainWindow::ViewsOpen() {
    ViewsLock hold(this);
    return viewsAlive_;
}

void MainWindow::SetViewsAlive(bool alive) {
    ViewsLock hold(this);
    viewsAlive_ = alive;
}

void MainWindow::RepaintList() {
    ViewsLock hold(this);
    if (!viewsAlive_ || !list.hwnd) return;
    HDC dc = GetDC(list.hwnd);
    if (!dc) return;
    list.Paint(dc);
    ReleaseDC(list.hwnd, dc);
}

void MainWindow::RepaintHeader(bool full) {
    ViewsLock hold(this);
    if (!viewsAlive_ || !header.hwnd) return;
    HDC dc = GetDC(header.hwnd);
    if (!dc) return;
    if (full)
        header.Paint(dc);
    else
        header.PaintSummary(dc);
    ReleaseDC(header.hwnd, dc);
}

void MainWindow::RowsRemoved(int rows) {
    list.rowTotal -= rows;
    if (list.rowTotal < 0) list.rowTotal = 0;
    list.Relayout();
    list.NotifyRowsChanged();
    list.NotifySelection();  // the next row took the selection
    header.NotifyValueIfChanged();
}

void MainWindow::RowsReordered() {
    {
        ViewsLock hold(this);
        if (!viewsAlive_) return;  // closing: the panes' windows are going
    }
    list.NotifyRowsChanged();
    header.NotifyValueIfChanged();
}
