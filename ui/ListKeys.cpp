#include "ListKeys.h"

#include "MainWindow.h"

void ListKeys::OnKey(WPARAM key) {
    MainWindow& main = *main_;
    Document& doc = main.document;
    // No popup stays up over what a key does.
    bool popup = main.menu.hwnd && IsWindowVisible(main.menu.hwnd);
    if (popup) ShowWindow(main.menu.hwnd, SW_HIDE);
    if (key == VK_ESCAPE) {
        if (!popup) main.Close();  // the first Escape takes the popup away
        return;
    }
    if (!doc.root.Complete()) return;
    FolderNode* selected = doc.selected;
    const int page = main.list.RowsShown();
    switch (key) {
    case VK_RETURN:
    case VK_DELETE:
        // What is acted on is in view first: a key on a row out of view only
        // brings it there.
        if (selected && !RowInView(selected)) {
            ShowRow(selected);
        } else if (key == VK_RETURN) {
            doc.OpenSelected();
        } else {
            doc.DeleteSelected();
        }
        return;
    case VK_UP:
    case VK_DOWN:
        if (!selected) {
            Select(main.list.FindRow(key == VK_DOWN ? 0 : main.list.rowTotal - 1));
            return;
        }
        doc.MoveSelection(key == VK_UP);
        ShowRow(doc.selected);
        return;
    case VK_PRIOR:
        Select(RowAway(-page));
        return;
    case VK_NEXT:
        Select(RowAway(page));
        return;
    case VK_HOME:
        Select(main.list.FindRow(0));
        return;
    case VK_END:
        Select(main.list.FindRow(main.list.rowTotal - 1));
        return;
    case VK_RIGHT:
        if (!selected || !selected->isFolder) return;
        if (!selected->Expanded()) {
            main.list.Toggle(selected, true);
            ShowRow(selected);
        } else if (selected->ChildCount() > 0) {
            Select(selected->Child(0));
        }
        return;
    case VK_LEFT:
        if (!selected) return;
        if (selected->isFolder && selected->Expanded()) {
            main.list.Toggle(selected, true);
            ShowRow(selected);
        } else if (selected->parent && selected->parent->parent) {
            Select(selected->parent);
        }
        return;
    default:
        return;
    }
}

FolderNode* ListKeys::RowAway(int rows) const {
    const ChildWindow& list = main_->list;
    const int last = list.rowTotal - 1;
    FolderNode* selected = main_->document.selected;
    int row = selected ? list.RowOf(selected) + rows : rows > 0 ? 0 : last;
    return list.FindRow(row < 0 ? 0 : row > last ? last : row);
}

void ListKeys::Select(FolderNode* node) {
    if (!node) return;
    ShowRow(node);
    main_->list.SelectRow(node);
}

bool ListKeys::RowInView(const FolderNode* node) const {
    int row = main_->list.RowOf(node), top = main_->scrollBar.topRow;
    return row >= top && row < top + main_->list.RowsShown();
}

void ListKeys::ShowRow(const FolderNode* node) {
    int row = main_->list.RowOf(node);
    if (row < 0 || RowInView(node)) return;
    int top = main_->scrollBar.topRow, shown = main_->list.RowsShown();
    main_->scrollBar.ScrollTo(row < top ? row : row - shown + 1);
}
