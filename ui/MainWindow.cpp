#include "MainWindow.h"

#ifndef CRITICAL_SECTION_NO_DEBUG_INFO
#define CRITICAL_SECTION_NO_DEBUG_INFO 0x01000000
#endif

#include <cwctype>

#include "Dpi.h"
#include "Images.h"
#include "Placement.h"

namespace {
// How long the shell's thread waits for the chosen folder's own listing
// before the navigator opens without its rows. A local folder of thousands
// of entries lists in a few milliseconds and opens fully laid out, as it
// always did, with no flicker of a half-made window; a wait this short is
// still below what a user notices as a stall of the shell's window, while a
// share that stalls for seconds shows the navigator at once.
constexpr DWORD kRootWaitMs = 150;
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
    if (icon_) DestroyIcon(icon_);
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
    POINT cursor;
    if (!GetCursorPos(&cursor) || !WorkAreaAt(cursor, &workArea)) return false;
    // The navigator takes the scale of the monitor it opens on.
    SetScale(DpiForNewWindow(cursor));
    rect = PlaceBeside(cursor, workArea, scale.NavigatorWidth());
    if (!Wnd::Create(ClassNameFor(name).c_str(), inst, rect, style, nullptr, nullptr)) return false;
    SetIcon();
    return true;
}

void MainWindow::SetScale(int dpi) {
    scale = Scale::Within(dpi, workArea);
    list.SetScale(scale);
    header.DropImages();
    scrollBar.DropImages();
    menu.DropImages();
}

void MainWindow::SetIcon() {
    HICON icon = LoadIconForSize(instance, IDI_NAVIGATOR, scale.Px(16));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    if (icon_) DestroyIcon(icon_);
    icon_ = icon;
}

bool MainWindow::AfterCreate() {
    // The scan lists the chosen folder on its own thread: this thread is the
    // shell's, which no share may hold.
    document.StartScan(this);
    rootShown_ = document.WaitForRoot(kRootWaitMs);
    const int top = scale.HeaderHeight();
    int rows = rootShown_ ? document.root.ChildCount() : 0;
    // Until then one row, which says that the folder is being listed.
    RECT listRect{0, top, scale.NavigatorWidth(), top + (rootShown_ ? rows : 1) * list.rowHeight};
    list.rowTotal = rows;
    FitToList(&listRect);
    if (!list.Create(L"child", instance, listRect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, hwnd, this)) return false;
    RECT headRect{listRect.left - 1, 0, rect.right - rect.left, top};
    if (!header.Create(L"head", instance, headRect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, hwnd, this)) return false;
    tooltip.Create(L"tooltip", instance, headRect, WS_POPUP | WS_BORDER, hwnd, this);
    ShowWindow(tooltip.hwnd, SW_HIDE);
    menu.Create(L"menu", instance, headRect, WS_POPUP | WS_BORDER, hwnd, this);
    ShowWindow(menu.hwnd, SW_HIDE);
    SetViewsAlive(true);
    list.Relayout();
    return true;
}

void MainWindow::OnAppMessage(UINT message, WPARAM, LPARAM) {
    if (message == kRootListedMessage) ShowRoot();
}

// Posted, never sent: the scan's thread never waits on the shell's.
void MainWindow::RootListed() {
    ViewsLock hold(this);
    if (hwnd && !windowGone_) PostMessageW(hwnd, kRootListedMessage, 0, 0);
}

void MainWindow::ShowRoot() {
    if (rootShown_ || !document.IsRootListed() || !list.hwnd) return;
    {
        ViewsLock hold(this);
        rootShown_ = true;
        list.rowTotal = document.root.ChildCount();
    }
    list.Relayout();
    list.RedrawNow();
    list.NotifyRowsChanged();
    header.NotifyValueIfChanged();
}

void MainWindow::FitToList(RECT* listRect) {
    GetWindowRect(hwnd, &rect);
    int need = rect.top + listRect->bottom;
    bool overflow = need > workArea.bottom;
    if (!overflow)
        rect.bottom = need;
    else if (rect.bottom < workArea.bottom)
        rect.bottom = workArea.bottom;  // a window that reaches further keeps its bottom
    SetScrollBarShown(overflow);
    // The scroll bar widens the navigator to the right: where that passes
    // the work area's edge, the navigator moves left by as much.
    int over = rect.right - workArea.right;
    if (over > 0 && rect.left - over >= workArea.left) OffsetRect(&rect, -over, 0);
    SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, SWP_NOZORDER);
    int width = rect.right - rect.left;
    if (header.hwnd) {
        header.rect.right = width;
        SetWindowPos(header.hwnd, nullptr, 0, 0, width - header.rect.left, scale.HeaderHeight(),
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    listRect->bottom = rect.bottom - rect.top;
    listRect->right = width - (scrollBarShown ? scale.ScrollBarWidth() : 0);
}

void MainWindow::SetScrollBarShown(bool shown) {
    const int bar = scale.ScrollBarWidth(), top = scale.HeaderHeight();
    rect.right = rect.left + scale.NavigatorWidth() + (shown ? bar : 0);
    scrollBarShown = shown;
    if (!shown) {
        if (scrollBar.hwnd) ShowWindow(scrollBar.hwnd, SW_HIDE);
        return;
    }
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!scrollBar.hwnd) {
        RECT place{width - bar, top, width, height};
        scrollBar.Create(L"vscrl", instance, place, WS_CHILD | WS_VISIBLE | WS_BORDER, hwnd, this);
    } else {
        SetWindowPos(scrollBar.hwnd, nullptr, width - bar, top, bar, height - top, SWP_SHOWWINDOW | SWP_NOZORDER);
    }
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    // The popups were laid out for the old scale: their zones would no longer
    // match what they show.
    if (menu.hwnd) ShowWindow(menu.hwnd, SW_HIDE);
    if (tooltip.hwnd) ShowWindow(tooltip.hwnd, SW_HIDE);
    POINT centre{(suggested.left + suggested.right) / 2, (suggested.top + suggested.bottom) / 2};
    WorkAreaAt(centre, &workArea);
    {
        ViewsLock hold(this);  // the scan's paints wait for the new scale
        SetScale(dpi);
    }
    // On that monitor, as wide as the scale makes it, its bottom within the
    // work area, wherever the suggestion reaches: the rows fit to it again.
    RECT place = suggested;
    place.right = place.left + scale.NavigatorWidth() + (scrollBarShown ? scale.ScrollBarWidth() : 0);
    if (place.bottom > workArea.bottom) place.bottom = place.top < workArea.bottom ? workArea.bottom : place.top;
    place = KeptWithin(place, workArea);
    SetWindowPos(hwnd, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const int top = scale.HeaderHeight();
    header.rect.bottom = top;
    SetWindowPos(header.hwnd, nullptr, header.rect.left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    list.rect.top = top;
    SetWindowPos(list.hwnd, nullptr, list.rect.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    list.Relayout();  // the rows' new height: the navigator's, the scroll bar's and the header's size
    list.ShowRow(document.selected);
    SetIcon();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void MainWindow::OnMouseWheel(WPARAM wParam) {
    if (!scrollBarShown) return;
    short delta = static_cast<short>(HIWORD(wParam));
    scrollBar.ScrollBy(delta <= 0 ? 1 : -1);
}

void MainWindow::SelectionMoved() { list.SelectionChanged(); }

void MainWindow::OnSetFocus() {
    if (list.hwnd && IsWindowEnabled(hwnd)) SetFocus(list.hwnd);
}

void MainWindow::Abandon() {
    {
        ViewsLock hold(this);
        viewsAlive_ = false;
        windowGone_ = true;
    }
    // The scan stops at its next entry, but its last thread may be held in a
    // listing by a share for as long as the share pleases: the object that
    // holds this window waits for it on a thread of its own, never here.
    if (!document.root.Complete()) document.RequestStop();
    document.tearingDown.store(true);
}

void MainWindow::OnDestroy() {
    // The panes' windows go with this one.
    Abandon();
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
    list.SelectionChanged();  // a neighbour, or the parent, took the selection
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
