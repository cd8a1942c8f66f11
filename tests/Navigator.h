// Opens real navigators under the test display and drives them by messages.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "MainWindow.h"

// Dispatches this thread's messages for `ms`.
void PumpFor(DWORD ms);
// Dispatches messages until `done` returns true or `ms` pass; returns `done`.
template <class Done>
bool PumpUntil(Done done, DWORD ms = 20000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        PumpFor(10);
    }
    return true;
}

// A navigator opened on a folder with the pointer at a given point, closed and
// freed with the object. `beforeListing` runs on the scan's threads before
// each folder is listed (Document::beforeListing); `allocations`, when not
// negative, is all the memory its scan gets (Document::allocationsBeforeShortage).
class Navigator {
public:
    Navigator(const std::string& folder, POINT pointer = {200, 100},
              std::function<void(const FolderNode*)> beforeListing = nullptr, long allocations = -1);
    ~Navigator();
    bool Opened() const { return opened_; }
    MainWindow& Main() { return *main_; }
    // Until the scan's last thread has ended: the root is complete a moment
    // before the coordinator's last repaint.
    bool WaitForScan() {
        return PumpUntil([this] { return main_->document.root.Complete() && main_->document.WaitForScan(0); });
    }
    // Closes the window as the close box does; true once the close event came.
    bool Close();
    HANDLE closeEvent = nullptr;

private:
    MainWindow* main_;
    bool opened_;
};

// Holds a scan before each folder below the chosen one is listed, until let
// go: what a test does while the scan runs then runs while it does, however
// slow the machine. Its navigator must be let go of first (declare the hold
// before it): a navigator waits for its scan as it closes.
class ScanHold {
public:
    ScanHold() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~ScanHold() {
        LetGo();
        CloseHandle(event_);
    }
    ScanHold(const ScanHold&) = delete;
    ScanHold& operator=(const ScanHold&) = delete;
    std::function<void(const FolderNode*)> Hook() const {
        HANDLE event = event_;
        return [event](const FolderNode* folder) {
            if (folder->parent) WaitForSingleObject(event, 20000);
        };
    }
    void LetGo() { SetEvent(event_); }

private:
    HANDLE event_;
};

// The row shown with a name, its index, and a plain press on it (as a user
// selects it; the row must be in view).
Row RowNamed(MainWindow& main, const std::string& name);
int RowOf(MainWindow& main, Row row);
void PressRow(MainWindow& main, Row row);

// Moves the pointer and waits until the system reports it there for good
// (under Wine the move reaches the display server a moment later).
void MovePointer(int x, int y);
// A press at a client point of a window, with the key flags given.
void Press(HWND hwnd, UINT message, int x, int y, WPARAM keys = MK_LBUTTON);
// The colour at a client point of a window, read from its DC.
COLORREF PixelAt(HWND hwnd, int x, int y);
// Whether any pixel of the client rectangle has exactly that colour.
bool HasColour(HWND hwnd, RECT area, COLORREF colour);
RECT WindowRect(HWND hwnd);
inline int Width(HWND hwnd) {
    RECT r = WindowRect(hwnd);
    return r.right - r.left;
}
inline int Height(HWND hwnd) {
    RECT r = WindowRect(hwnd);
    return r.bottom - r.top;
}

// The skin's face and the selected row's colour.
const COLORREF kFace = RGB(205, 222, 235);
const COLORREF kSelected = RGB(70, 70, 250);
