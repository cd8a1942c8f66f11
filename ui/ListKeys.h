// The navigator's keys, as in every Windows tree: the arrows, Page Up and
// Down, Home and End move the selection through the rows and keep it in
// view; Right and Left expand, collapse and climb; Enter and Delete act on
// the selected row once it is in view; Escape closes. Rows take no selection
// while the scan runs, so until it ends only Escape acts.
#pragma once

#include <windows.h>

#include "FolderNode.h"

class MainWindow;

class ListKeys {
public:
    explicit ListKeys(MainWindow* main) : main_(main) {}

    void OnKey(WPARAM key);
    // Scrolls the list just enough to show a node's row whole.
    void ShowRow(const FolderNode* node);

private:
    bool RowInView(const FolderNode* node) const;
    // Selects a node's row, shows it, and tells screen readers.
    void Select(FolderNode* node);
    // The row `rows` away from the selected one, within the list; with none
    // selected, the first row going down and the last going up.
    FolderNode* RowAway(int rows) const;

    MainWindow* main_;
};
