#include "Navigator.h"

#include "TempTree.h"
#include "ToolSupport.h"

void PumpFor(DWORD ms) { PumpMessagesFor(ms); }

Navigator::Navigator(const std::string& folder, POINT pointer, std::function<void(const FolderNode*)> beforeListing,
                     long allocations)
    : main_(new MainWindow) {
    main_->document.beforeListing = std::move(beforeListing);
    main_->document.allocationsBeforeShortage = allocations;
    closeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // Under Wine the first program on a fresh desktop may find it not yet
    // answering; wait until the pointer can be read before placing anything.
    POINT probe;
    for (int i = 0; i < 100 && !GetCursorPos(&probe); ++i) Sleep(50);
    MovePointer(pointer.x, pointer.y);
    main_->document.path = Wide(folder);
    RECT ignored{};
    opened_ = main_->Create(main_->document.path.c_str(), GetModuleHandleA(nullptr), ignored, WS_POPUP | WS_BORDER, nullptr,
                            reinterpret_cast<Wnd*>(&closeEvent));
    PumpFor(50);
}

bool Navigator::Close() {
    if (!main_->hwnd || !IsWindow(main_->hwnd)) return WaitForSingleObject(closeEvent, 0) == WAIT_OBJECT_0;
    DestroyWindow(main_->hwnd);
    return WaitForSingleObject(closeEvent, 5000) == WAIT_OBJECT_0;
}

Navigator::~Navigator() {
    if (main_->hwnd && IsWindow(main_->hwnd)) DestroyWindow(main_->hwnd);
    PumpFor(20);
    delete main_;
    CloseHandle(closeEvent);
}

void MovePointer(int x, int y) {
    // Wine answers GetCursorPos from a copy of the pointer for up to 100 ms
    // after a move, and may hand back the place from before it: the position
    // counts only once it reads right after that time.
    for (int attempt = 0; attempt < 20; ++attempt) {
        SetCursorPos(x, y);
        PumpFor(120);
        POINT at{-1, -1};
        if (GetCursorPos(&at) && at.x == x && at.y == y) return;
    }
}

void Press(HWND hwnd, UINT message, int x, int y, WPARAM keys) {
    SendMessageA(hwnd, message, keys, MAKELPARAM(x, y));
}

COLORREF PixelAt(HWND hwnd, int x, int y) {
    HDC dc = GetDC(hwnd);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return colour;
}

bool HasColour(HWND hwnd, RECT area, COLORREF colour) {
    HDC dc = GetDC(hwnd);
    bool found = false;
    for (int y = area.top; y < area.bottom && !found; ++y)
        for (int x = area.left; x < area.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
    ReleaseDC(hwnd, dc);
    return found;
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

Row RowNamed(MainWindow& main, const std::string& name) {
    for (int i = 0; i < main.list.rowTotal; ++i) {
        Row node = main.list.FindRow(i);
        if (node && name == node.Name()) return node;
    }
    return nullptr;
}

int RowOf(MainWindow& main, Row row) {
    for (int i = 0; i < main.list.rowTotal; ++i)
        if (main.list.FindRow(i) == row) return i;
    return -1;
}

void PressRow(MainWindow& main, Row node) {
    int row = RowOf(main, node) - main.scrollBar.topRow;
    Press(main.list.hwnd, WM_LBUTTONDOWN, 60, row * main.list.rowHeight + 2);
}
