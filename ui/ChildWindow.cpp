#include "ChildWindow.h"

#include <cstring>
#include <new>

#include "Dpi.h"
#include "ListAccessible.h"
#include "MainWindow.h"
#include "Name.h"
#include "SizeText.h"

namespace {

constexpr int kMaxNameChars = 45;
constexpr COLORREF kSelectedText = RGB(70, 70, 250);
// Expander images, by state: plain plus, plain minus, orange plus, orange minus.
constexpr int kExpanderIds[4] = {103, 104, 111, 110};

// Units of the first `characters` characters of a text.
size_t CharactersEnd(const std::wstring& text, int characters) {
    size_t at = 0;
    for (int n = 0; n < characters && at < text.size(); ++n) at += CharacterUnits(text, at);
    return at;
}

int ExpanderIndex(const FolderNode* node) {
    return (node->Complete() ? 0 : 2) + (node->Expanded() ? 1 : 0);
}

// Calls `visit` for each row in display order, from the first, until it
// returns false. Returns false when stopped.
template <class Visit>
bool WalkRows(const FolderNode* parent, Visit& visit) {
    for (int32_t i = 0; i < parent->ChildCount(); ++i) {
        const FolderNode* child = parent->Child(i);
        if (!visit(child)) return false;
        if (child->isFolder && child->Expanded() && !WalkRows(child, visit)) return false;
    }
    return true;
}

}  // namespace

ChildWindow::ChildWindow() : font(nullptr), rowHeight(20), averageCharWidth(7), rowTotal(0) {
    SetScale(Scale());
    background = GetSysColor(COLOR_INFOBK);
    brush = CreateSolidBrush(background);
}

ChildWindow::~ChildWindow() {
    DropBackBuffer();
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
    ReleaseFont(font);
    font = scaled;
    for (PaneImage& image : expanders_) image.Release();
    DropBackBuffer();  // it holds the font
}

void ChildWindow::DropBackBuffer() {
    if (!backDC_) return;
    SelectObject(backDC_, backOld_);
    DeleteDC(backDC_);
    DeleteObject(backBitmap_);
    backDC_ = nullptr;
}

MainWindow* ChildWindow::Main() const { return static_cast<MainWindow*>(owner); }

void ChildWindow::PaintWith(HDC dc) {
    if (!owner) return;
    ViewsLock hold(Main());
    Paint(dc);
}

FolderNode* ChildWindow::FindRow(int target) const {
    if (!owner) return nullptr;
    NodeLock hold(&Main()->document.root);
    return FindRowLocked(target);
}

FolderNode* ChildWindow::FindRowLocked(int target) const {
    if (!owner || target < 0) return nullptr;
    const FolderNode* found = nullptr;
    int counter = 0;
    auto visit = [&](const FolderNode* node) {
        if (counter++ == target) {
            found = node;
            return false;
        }
        return true;
    };
    WalkRows(&Main()->document.root, visit);
    return const_cast<FolderNode*>(found);
}

int ChildWindow::RowOfLocked(const FolderNode* node) const {
    if (!owner || !node) return -1;
    int counter = 0;
    // Addresses are compared only: a node that went meanwhile is not found.
    auto visit = [&](const FolderNode* at) {
        if (at == node) return false;
        ++counter;
        return true;
    };
    return WalkRows(&Main()->document.root, visit) ? -1 : counter;
}

void ChildWindow::Paint(HDC dc) {
    if (!hwnd || !owner) return;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!expanders_[0].Loaded())
        for (int i = 0; i < 4; ++i) expanders_[i].Load(instance, kExpanderIds[i], Main()->scale, dc);
    if (!backDC_ || backRight_ != rect.right || backBottom_ != rect.bottom) {
        DropBackBuffer();
        backDC_ = CreateCompatibleDC(dc);
        backBitmap_ = CreateCompatibleBitmap(dc, width > 0 ? width : 1, height > 0 ? height : 1);
        backOld_ = SelectObject(backDC_, backBitmap_);
        SelectObject(backDC_, font);
        SetBkColor(backDC_, background);
        backRight_ = rect.right;
        backBottom_ = rect.bottom;
    }
    RECT fill{rect.left, 0, rect.right, height};
    FillRect(backDC_, &fill, brush);
    paintY_ = 0;

    int top = Main()->scrollBar.topRow;
    if (top < 0) top = 0;
    // The root's array is reordered by the refresher while the scan runs.
    FolderNode& root = Main()->document.root;
    {
        NodeLock hold(&root);
        int counter = 0;
        auto visit = [&](const FolderNode* node) {
            if (counter++ < top) return true;
            if (paintY_ > height) return false;  // below the pane: nothing more shows
            PaintRow(node, height);
            return true;
        };
        WalkRows(&root, visit);
    }
    BitBlt(dc, 0, 0, width, height, backDC_, 0, 0, SRCCOPY);
}

void ChildWindow::PaintRow(const FolderNode* node, int height) {
    if (paintY_ > height) return;
    const Scale& scale = Main()->scale;
    const int indent = scale.Px(15) * node->Level();
    int y = paintY_;
    nameText_.clear();
    AppendDecodedName(node->Name(), nameText_);
    int nameLength = static_cast<int>(CharactersEnd(nameText_, kMaxNameChars));
    bool selected = node == Main()->document.selected;
    if (selected) SetTextColor(backDC_, kSelectedText);
    TextOutW(backDC_, indent + scale.Px(5), y, nameText_.c_str(), nameLength);
    if (selected) SetTextColor(backDC_, RGB(0, 0, 0));
    if (node->isFolder) {
        int side = scale.Px(12);
        BitBlt(backDC_, indent - scale.Px(10), y + scale.Px(1), side, side, expanders_[ExpanderIndex(node)].Dc(), 0, 0,
               SRCCOPY);
    }

    // The texts' widths are estimated from the average character width, so
    // that the columns line up as whole numbers of characters.
    char size[kSizeTextMax], count[kSizeTextMax];
    FormatSize(node->Size(), size);
    int sizeLength = static_cast<int>(strlen(size));
    int sizeLeft = rect.right - sizeLength * averageCharWidth - scale.Px(15);
    TextOutA(backDC_, sizeLeft, y, size, sizeLength);
    if (node->isFolder) {
        FormatCount(node->Files(), count);
        int countLength = static_cast<int>(strlen(count));
        int countLeft = rect.right - countLength * averageCharWidth - scale.Px(85);
        // Where wide digits would bring the count within a few pixels of the
        // size, it moves left: the two never read as one number.
        SIZE drawn;
        int gap = scale.Px(4);
        if (GetTextExtentPoint32A(backDC_, count, countLength, &drawn) && countLeft + drawn.cx > sizeLeft - gap)
            countLeft = sizeLeft - gap - drawn.cx;
        TextOutA(backDC_, countLeft, y, count, countLength);
    }
    paintY_ += rowHeight;
}

void ChildWindow::OnLButtonDown(LPARAM lParam) {
    MainWindow* main = Main();
    Document& doc = main->document;
    if (!doc.root.Complete()) {
        POINT cursor;
        GetCursorPos(&cursor);
        main->tooltip.ShowAt(cursor);
        return;
    }
    int x = LOWORD(lParam), y = HIWORD(lParam);
    int row = y / rowHeight + main->scrollBar.topRow;
    FolderNode* node = FindRow(row);
    if (node) {
        const int indent = Main()->scale.Px(15);
        int e = indent * node->Level();
        if (e - indent < x && x < e) {
            Toggle(node, false);
            return;
        }
        if (x > e)
            doc.selected = doc.selected == node ? nullptr : node;
        else
            doc.selected = nullptr;
    }
    RedrawNow();
    if (node && doc.selected == node) NotifySelection();
}

void ChildWindow::Toggle(FolderNode* folder, bool keepSelection) {
    MainWindow* main = Main();
    Document& doc = main->document;
    bool selectionMoved = false;
    {
        ViewsLock hold(main);  // no paint while the rows change
        folder->SetExpanded(!folder->Expanded());
        SortChildren(folder);
        int rows = CountRows(folder);
        rowTotal += folder->Expanded() ? rows : -rows;
        const FolderNode* above = doc.selected ? doc.selected->parent : nullptr;
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
    if (selectionMoved) NotifySelection();
}

void ChildWindow::SelectRow(FolderNode* node) {
    Main()->document.selected = node;
    RedrawNow();
    NotifySelection();
}

void ChildWindow::NotifySelection() {
    if (!hwnd || !owner) return;
    long child;
    {
        ViewsLock views(Main());
        NodeLock hold(&Main()->document.root);
        child = RowOfLocked(Main()->document.selected) + 1;
    }
    if (child <= 0) return;
    NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, child);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd, OBJID_CLIENT, child);
}

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

void ChildWindow::OnAppMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message != kDefaultActionMessage || !owner) return;
    MainWindow* main = Main();
    Document& doc = main->document;
    // As a press during the scan, which acts on no row.
    if (!doc.root.Complete()) return;
    auto* node = reinterpret_cast<FolderNode*>(lParam);
    {
        ViewsLock views(main);
        NodeLock hold(&doc.root);
        if (RowOfLocked(node) < 0) return;  // gone, or hidden, since the action was asked for
    }
    if (node->isFolder) {
        Toggle(node, true);
        return;
    }
    SelectRow(node);
    if (main->menu.hwnd) ShowWindow(main->menu.hwnd, SW_HIDE);
    doc.OpenSelected();
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

void ChildWindow::Relayout() {
    MainWindow* main = Main();
    rect.bottom = rect.top + rowHeight * rowTotal;
    main->FitToList(&rect);
    SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE);
    main->scrollBar.SetRange(rowTotal - (rect.bottom - rect.top) / rowHeight);
}
