#include "ChildWindow.h"

#include <iterator>
#include <new>

#include "Dpi.h"
#include "ListAccessible.h"
#include "MainWindow.h"

ChildWindow::ChildWindow() : font(nullptr), rowHeight(20), averageCharWidth(7), rowTotal(0) {
    SetScale(Scale());
    background = GetSysColor(COLOR_INFOBK);
    brush = CreateSolidBrush(background);
}

ChildWindow::~ChildWindow() {
    painter_.Drop();  // its buffer holds the font
    ReleaseFont(font);
    DeleteObject(brush);
}

void ChildWindow::SetScale(const Scale& scale) {
    HFONT scaled = StockFontAt(DEFAULT_GUI_FONT, scale.Dpi());
    HDC dc = GetDC(nullptr);
    if (dc) {
        HGDIOBJ old = SelectObject(dc, scaled);
        TEXTMETRICW metrics;
        if (GetTextMetricsW(dc, &metrics)) {
            rowHeight = metrics.tmHeight + scale.Px(3);
            averageCharWidth = metrics.tmAveCharWidth;
        }
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    painter_.Drop();  // its buffer holds the font, which goes only once out of it
    ReleaseFont(font);
    font = scaled;
}

RowLayout ChildWindow::Layout() const {
    return RowLayout(Main()->scale, rect.right - rect.left, averageCharWidth);
}

MainWindow* ChildWindow::Main() const { return static_cast<MainWindow*>(owner); }

void ChildWindow::PaintWith(HDC dc) {
    if (!owner) return;
    ViewsLock hold(Main());
    Paint(dc);
}

Row ChildWindow::FindRow(int target) const {
    if (!owner) return nullptr;
    NodeLock hold(&Main()->document.root);
    return FindRowLocked(target);
}

Row ChildWindow::FindRowLocked(int target) const {
    if (!owner || target < 0) return nullptr;
    Row found;
    int counter = 0;
    auto visit = [&](Row row) {
        if (counter++ == target) {
            found = row;
            return false;
        }
        return true;
    };
    WalkRows(&Main()->document.root, visit);
    return found;
}

int ChildWindow::RowOf(Row row) const {
    if (!owner) return -1;
    NodeLock hold(&Main()->document.root);
    return RowOfLocked(row);
}

int ChildWindow::RowsShown() const {
    int shown = (rect.bottom - rect.top) / rowHeight;
    return shown > 0 ? shown : 1;
}

int ChildWindow::RowOfLocked(Row row) const {
    if (!owner || !row) return -1;
    int counter = 0;
    // Addresses are compared only: a folder that went meanwhile is not found.
    auto visit = [&](Row at) {
        if (at == row) return false;
        ++counter;
        return true;
    };
    return WalkRows(&Main()->document.root, visit) ? -1 : counter;
}

void ChildWindow::Paint(HDC dc) {
    if (hwnd && owner) painter_.Paint(dc, *this);
}

void ChildWindow::OnLButtonDown(LPARAM lParam) {
    MainWindow* main = Main();
    Document& doc = main->document;
    if (!main->RowsSettled()) {
        POINT cursor;
        GetCursorPos(&cursor);
        main->tooltip.ShowAt(cursor);
        return;
    }
    int x = LOWORD(lParam), y = HIWORD(lParam);
    int row = y / rowHeight + main->scrollBar.topRow;
    Row node = FindRow(row);
    if (node) {
        const RowLayout layout = Layout();
        if (node.IsFolder() && layout.OnExpander(node.Level(), x)) {
            Toggle(node.Folder(), false);
            return;
        }
        if (layout.OnRow(node.Level(), x))
            doc.selected = doc.selected == node ? Row() : node;
        else
            doc.selected = nullptr;
    }
    if (node && doc.selected == node)
        SelectionChanged();  // the last row may show only in part
    else
        RedrawNow();
}

void ChildWindow::Toggle(FolderNode* folder, bool keepSelection) {
    MainWindow* main = Main();
    Document& doc = main->document;
    if (main->menu.hwnd) ShowWindow(main->menu.hwnd, SW_HIDE);
    bool selectionMoved = false;
    {
        ViewsLock hold(main);  // no paint while the rows change
        folder->SetExpanded(!folder->Expanded());
        SortChildren(folder);
        int rows = CountRows(folder);
        rowTotal += folder->Expanded() ? rows : -rows;
        const FolderNode* above = doc.selected ? doc.selected.Parent() : nullptr;
        while (above && above != folder) above = above->parent;
        if (!keepSelection) {
            doc.selected = nullptr;
        } else if (above && !folder->Expanded()) {
            doc.selected = folder;  // its row is hidden now
            selectionMoved = true;
        }
    }
    Relayout();
    RedrawNow();
    NotifyRowsChanged();
    // Screen readers say "expanded" or "collapsed" of the folder's row.
    int row = RowOf(folder);
    if (row >= 0) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, row + 1);
    if (selectionMoved) SelectionChanged();
}

void ChildWindow::SelectRow(Row row) {
    MainWindow* main = Main();
    // The popup acted on the row it was opened for: a new row takes it away.
    if (main->menu.hwnd) ShowWindow(main->menu.hwnd, SW_HIDE);
    main->document.selected = row;
    SelectionChanged();
}

// A reader follows the focus event to the row and reads what it shows, so
// the row is in view, and drawn there, first.
void ChildWindow::SelectionChanged() {
    ShowRow(Main()->document.selected);
    RedrawNow();
    NotifySelection();
}

bool ChildWindow::InView(int row) const {
    int top = Main()->scrollBar.topRow;
    return row >= top && row < top + RowsShown();
}

bool ChildWindow::RowInView(Row row) const { return InView(RowOf(row)); }

void ChildWindow::ShowRow(Row shown) {
    int row = RowOf(shown);  // one walk of the rows
    if (row < 0 || InView(row)) return;
    int top = Main()->scrollBar.topRow;
    Main()->scrollBar.ScrollTo(row < top ? row : row - RowsShown() + 1);
}

void ChildWindow::NotifySelection() {
    if (!hwnd || !owner) return;
    long child;
    {
        ViewsLock views(Main());
        NodeLock hold(&Main()->document.root);
        child = RowOfLocked(Main()->document.selected) + 1;
    }
    if (child <= 0) {
        // No row selected (the last one deleted, say): the outline itself has
        // the focus, or a reader's would stay on a row that is gone.
        if (GetFocus() == hwnd) NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, CHILDID_SELF);
        return;
    }
    // Readers go where the focus event says: only while the keys come here,
    // or one would leave the window the user went on to.
    if (GetFocus() == hwnd) NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, child);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd, OBJID_CLIENT, child);
}

// The keys come back: the selected row has the focus again.
void ChildWindow::OnSetFocus() { NotifySelection(); }

void ChildWindow::NotifyRowsChanged() {
    if (hwnd) NotifyWinEvent(EVENT_OBJECT_REORDER, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

void ChildWindow::OnDestroy() { accessible_.WindowGone(); }

LRESULT ChildWindow::OnGetObject(WPARAM wParam, LPARAM lParam) {
    LRESULT answer = accessible_.Answer(wParam, lParam, [this]() -> Accessible* {
        return owner ? new (std::nothrow) ListAccessible(this) : nullptr;
    });
    return answer ? answer : Wnd::OnGetObject(wParam, lParam);
}

void ChildWindow::OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDefaultActionMessage || !owner) return;
    MainWindow* main = Main();
    Document& doc = main->document;
    // As a press during the scan, which acts on no row; nor while an
    // action's boxes are up, when the navigator holds still.
    if (!main->RowsSettled() || main->ActionRunning()) return;
    const unsigned number = static_cast<unsigned>(wParam);
    PendingAction& pending = actions_[number % std::size(actions_)];
    if (pending.number != number || !pending.row) return;  // dropped for a newer one
    Row node = pending.row;
    pending.row = nullptr;
    // Gone, or hidden, since the action was asked for: a removal may have
    // given a file's row to another file.
    if (pending.removals != doc.Removals()) return;
    {
        ViewsLock views(main);
        NodeLock hold(&doc.root);
        if (RowOfLocked(node) < 0) return;
    }
    if (node.IsFolder()) {
        Toggle(node.Folder(), true);
        return;
    }
    SelectRow(node);
    if (main->menu.hwnd) ShowWindow(main->menu.hwnd, SW_HIDE);
    doc.OpenSelected();
}

bool ChildWindow::PostDefaultAction(Row row) {
    // The slot is taken once the message is on its way (the window's own
    // thread asks, and handles it later): a full queue drops no older one.
    const unsigned number = actionsAsked_ + 1;
    if (!PostMessageW(hwnd, kDefaultActionMessage, number, 0)) return false;
    actionsAsked_ = number;
    actions_[number % std::size(actions_)] = {number, row, Main()->document.Removals()};
    return true;
}

void ChildWindow::OnRButtonDown(LPARAM lParam) {
    Document& doc = Main()->document;
    doc.selected = nullptr;
    OnLButtonDown(lParam);
    if (doc.selected) {
        POINT cursor;
        GetCursorPos(&cursor);
        Main()->menu.ShowAt(cursor);
    }
}

void ChildWindow::OnVScroll(WPARAM) { RedrawNow(); }

void ChildWindow::OnLButtonDblClk() { Main()->document.OpenSelected(); }

// The pane has the focus (a screen reader follows the focus to its rows);
// the navigator's keys are the main window's.
void ChildWindow::OnKeyDown(WPARAM key, bool repeated) { Main()->OnKeyDown(key, repeated); }

void ChildWindow::Relayout() {
    MainWindow* main = Main();
    rect.bottom = rect.top + rowHeight * (main->RootShown() ? rowTotal : 1);
    main->FitToList(&rect);
    SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE);
    main->scrollBar.SetRange(rowTotal - (rect.bottom - rect.top) / rowHeight);
}
