// The navigator's keys, as in every Windows tree: the arrows, Page Up and
// Down, Home and End move the selection through the rows and keep it in
// view; Right and Left expand, collapse and climb; Enter and Delete act on
// the selected row once it is in view; Escape closes. Rows take no selection
// while the scan runs, so until it ends only Escape acts.
#pragma once

#include <windows.h>

class MainWindow;

class ListKeys {
public:
    explicit ListKeys(MainWindow* main) : main_(main) {}

    // `repeated`: the key is held down.
    void OnKey(WPARAM key, bool repeated);

private:
    MainWindow* main_;
};
