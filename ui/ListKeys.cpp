#include "ListKeys.h"

#include "MainWindow.h"

void ListKeys::OnKey(WPARAM key, bool repeated) {
    MainWindow& main = *main_;
    Document& doc = main.document;
    ChildWindow& list = main.list;
    // No popup stays up over what a key does.
    bool popup = main.menu.hwnd && IsWindowVisible(main.menu.hwnd);
    if (popup) ShowWindow(main.menu.hwnd, SW_HIDE);
    if (key == VK_ESCAPE) {
        if (!popup) main.Close();  // the first Escape takes the popup away
        return;
    }
    if (!main.RowsSettled()) return;
    const Row selected = doc.selected;
    const int last = list.rowTotal - 1, page = list.RowsShown();
    switch (key) {
    case VK_RETURN:
    case VK_DELETE:
        // A key held down acts once: its repeats would open the item again
        // and again, or delete the rows that the selection moves on to.
        if (repeated) return;
        // What is acted on is in view first: a key on a row out of view only
        // brings it there.
        if (selected && !list.RowInView(selected)) {
            list.ShowRow(selected);
        } else if (key == VK_RETURN) {
            doc.OpenSelected();
        } else {
            doc.DeleteSelected();
        }
        return;
    case VK_UP:
    case VK_DOWN:
        if (selected)
            doc.MoveSelection(key == VK_UP);
        else
            list.SelectRow(list.FindRow(key == VK_DOWN ? 0 : last));
        return;
    case VK_PRIOR:
    case VK_NEXT: {
        // A page of rows away, no further than the ends; with none selected,
        // the first row going down and the last going up.
        int step = key == VK_NEXT ? page : -page;
        int row = selected ? list.RowOf(selected) + step : step > 0 ? 0 : last;
        list.SelectRow(list.FindRow(row < 0 ? 0 : row > last ? last : row));
        return;
    }
    case VK_HOME:
        list.SelectRow(list.FindRow(0));
        return;
    case VK_END:
        list.SelectRow(list.FindRow(last));
        return;
    case VK_RIGHT:
        if (!selected.IsFolder()) return;
        if (!selected.Expanded()) {
            list.Toggle(selected.Folder(), true);
            list.ShowRow(selected);
        } else if (selected.Folder()->ChildCount() > 0) {
            list.SelectRow(selected.Folder()->Child(0));
        }
        return;
    case VK_LEFT:
        if (!selected) return;
        if (selected.Expanded()) {
            list.Toggle(selected.Folder(), true);
            list.ShowRow(selected);
        } else if (selected.Parent() && selected.Parent()->parent) {
            list.SelectRow(selected.Parent());
        }
        return;
    default:
        return;
    }
}
