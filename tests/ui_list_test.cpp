// The list of a navigator on a folder taller than the screen: fitting the
// rows, the scroll bar, the keys of a tree, a change of scale.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "Navigator.h"
#include "TempTree.h"

namespace {

// The process's GDI objects: the used entries of the handle table the system
// maps into it (Wine's GetGuiResources answers 0). An entry is 24 bytes, its
// type at byte 14, 0 when free; the table's address is in the process block.
int GdiObjects() {
    using Query = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return -1;
    const auto* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + (sizeof(void*) == 8 ? 0xf8 : 0x94));
    if (!table) return -1;
    int used = 0;
    for (int i = 0; i < 0x10000; ++i) used += table[i * 24 + 14] != 0;
    return used;
}

// A folder of many files next to two small entries: expanding it makes the
// rows overflow the screen.
struct TallTree : ::testing::Test {
    TempTree tree;
    void SetUp() override {
        tree.Dir("many");
        for (int i = 0; i < 90; ++i) tree.File("many\\f" + std::to_string(i), 100 + i);
        tree.Dir("few");
        tree.File("few\\x", 5);
        tree.File("solo.txt", 1);
    }
    // The row of a node, in the list's client coordinates.
    static int RowY(MainWindow& main, int row) { return row * main.list.rowHeight + 2; }
};

TEST_F(TallTree, FitsTheRowsAndShowsTheScrollBarOnlyWhenTheyDoNotFit) {
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    const int rowHeight = main.list.rowHeight;
    EXPECT_EQ(main.list.rowTotal, 3);
    EXPECT_EQ(Height(main.hwnd), 55 + 3 * rowHeight);
    EXPECT_FALSE(main.scrollBarShown);
    EXPECT_EQ(PixelAt(main.header.hwnd, 398, 15), kFace);  // the 400-pixel band

    // Expand "many" (the first row) on its expander.
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowY(main, 0));
    EXPECT_EQ(main.list.rowTotal, 93);
    EXPECT_TRUE(main.scrollBarShown);
    EXPECT_EQ(WindowRect(main.hwnd).bottom, main.workArea.bottom);
    EXPECT_EQ(Width(main.hwnd), 415);
    EXPECT_TRUE(IsWindowVisible(main.scrollBar.hwnd));
    RECT bar = WindowRect(main.scrollBar.hwnd), window = WindowRect(main.hwnd);
    EXPECT_EQ(bar.right - bar.left, 15);
    EXPECT_EQ(bar.top - window.top, 55 + 1);  // below the header, inside the border
    int visible = (Height(main.list.hwnd)) / rowHeight;
    EXPECT_EQ(main.scrollBar.range, 93 - visible);
    PumpFor(50);
    main.header.RedrawNow();
    COLORREF closeBox = PixelAt(main.header.hwnd, 398, 15);
    EXPECT_NE(closeBox, kFace);  // the 415-pixel band, its close box moved right
    EXPECT_GT(GetRValue(closeBox), 200);

    // Collapse it again: back to three rows, 400 wide, no scroll bar.
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowY(main, 0));
    EXPECT_EQ(main.list.rowTotal, 3);
    EXPECT_FALSE(main.scrollBarShown);
    EXPECT_FALSE(IsWindowVisible(main.scrollBar.hwnd));
    EXPECT_EQ(Width(main.hwnd), 400);
    EXPECT_EQ(Height(main.hwnd), 55 + 3 * rowHeight);
    EXPECT_EQ(main.scrollBar.topRow, 0);
}

TEST_F(TallTree, ExpanderZonesSelectionAndKeys) {
    tree.Dir("few\\inner");
    tree.File("few\\inner\\deep", 2);
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    Row many = main.list.FindRow(0);
    Row few = main.list.FindRow(1);
    ASSERT_STREQ(many.Name(), "many");
    ASSERT_STREQ(few.Name(), "few");

    // Level 1: expander zone x 1..14, name from 16 on.
    int y = RowY(main, 1);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 16, y);
    EXPECT_EQ(doc.selected, few);
    RECT nameCell{20, 1 * main.list.rowHeight, 60, 2 * main.list.rowHeight};
    EXPECT_TRUE(HasColour(main.list.hwnd, nameCell, kSelected));
    Press(main.list.hwnd, WM_LBUTTONDOWN, 16, y);  // again: deselects
    EXPECT_EQ(doc.selected, nullptr);
    EXPECT_FALSE(HasColour(main.list.hwnd, nameCell, kSelected));
    for (int x : {0, 15}) {
        doc.selected = few;
        Press(main.list.hwnd, WM_LBUTTONDOWN, x, y);
        EXPECT_EQ(doc.selected, nullptr) << x;
        EXPECT_FALSE(few.Expanded()) << x;
    }
    Press(main.list.hwnd, WM_LBUTTONDOWN, 1, y);
    EXPECT_TRUE(few.Expanded());
    EXPECT_EQ(main.list.rowTotal, 5);  // many, few, inner, x, solo.txt
    EXPECT_STREQ(main.list.FindRow(2).Name(), "inner");

    // Level 2 (inner): expander zone x 16..29, x 30 clears, x 31 selects.
    Row inner = main.list.FindRow(2);
    int y2 = RowY(main, 2);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 30, y2);
    EXPECT_EQ(doc.selected, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 31, y2);
    EXPECT_EQ(doc.selected, inner);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 16, y2);
    EXPECT_TRUE(inner.Expanded());
    EXPECT_EQ(doc.selected, nullptr);  // toggling clears the selection
    EXPECT_EQ(main.list.rowTotal, 6);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 29, y2);
    EXPECT_FALSE(inner.Expanded());
    EXPECT_EQ(main.list.rowTotal, 5);

    // A Shift-press reaches no handler; a press below the last row selects nothing.
    Press(main.list.hwnd, WM_LBUTTONDOWN, 40, RowY(main, 0), MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(doc.selected, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 40, RowY(main, 40));
    EXPECT_EQ(doc.selected, nullptr);

    // The arrow keys move through the rows in display order.
    Press(main.list.hwnd, WM_LBUTTONDOWN, 40, RowY(main, 1));
    ASSERT_EQ(doc.selected, few);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(doc.selected, inner);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_UP, 0);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(doc.selected, many);
}

// Dragged onto a monitor of another scale, the navigator takes the
// system's suggested rectangle and lays itself out at the new scale; the
// scan's end, the rows shown and the selection stay.
TEST_F(TallTree, AMonitorOfAnotherScaleLaysItOutAgain) {
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowY(main, 0));  // expand "many": the scroll bar shows
    ASSERT_TRUE(main.scrollBarShown);
    Row picked = main.list.FindRow(2);
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, RowY(main, 2), MK_RBUTTON);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
    ASSERT_EQ(main.document.selected, picked);
    const int rows = main.list.rowTotal, height96 = main.list.rowHeight;
    for (int dpi : {144, 96}) {
        SCOPED_TRACE(dpi);
        RECT suggested = WindowRect(main.hwnd);
        OffsetRect(&suggested, 10, 10);
        SendMessageW(main.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        // The popup's zones were those of the old scale: it goes.
        EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
        auto px = [dpi](int length) { return MulDiv(length, dpi, 96); };
        RECT window = WindowRect(main.hwnd), header = WindowRect(main.header.hwnd), bar = WindowRect(main.scrollBar.hwnd);
        const int bar96 = px(13) + 2;
        EXPECT_EQ(window.left, suggested.left);
        EXPECT_EQ(window.top, suggested.top);
        EXPECT_EQ(window.right - window.left, px(400) + bar96);
        EXPECT_EQ(header.bottom - header.top, px(55));
        EXPECT_EQ(header.right - header.left, window.right - window.left + 1);
        EXPECT_EQ(WindowRect(main.list.hwnd).top - window.top, 1 + px(55));  // below the border
        EXPECT_EQ(bar.right - bar.left, bar96);
        EXPECT_EQ(bar.left - window.left, 1 + px(400));  // at W less its width, inside the border
        EXPECT_EQ(dpi == 96, main.list.rowHeight == height96);
        int shown = (WindowRect(main.list.hwnd).bottom - WindowRect(main.list.hwnd).top) / main.list.rowHeight;
        EXPECT_EQ(main.scrollBar.range, rows - shown);
        EXPECT_EQ(main.list.rowTotal, rows);
        EXPECT_EQ(main.document.selected, picked);
        EXPECT_TRUE(main.document.root.Complete());
        // Drawn at the new scale: the wide band's close box, the selected row.
        main.header.RedrawNow();
        main.list.RedrawNow();
        COLORREF close = PixelAt(main.header.hwnd, window.right - window.left - px(27) + px(3), px(9));
        EXPECT_GT(GetRValue(close), 200);
        EXPECT_LT(GetBValue(close), 100);
        int y = (RowOf(main, picked) - main.scrollBar.topRow) * main.list.rowHeight;
        EXPECT_TRUE(HasColour(main.list.hwnd, RECT{px(20), y, px(60), y + main.list.rowHeight}, kSelected));
    }

    // A scale too large for the screen: the navigator stays whole on its
    // work area, close box and all.
    auto change = [&](int dpi) {
        RECT suggested = WindowRect(main.hwnd);
        suggested.right = suggested.left + MulDiv(415, dpi, 96);
        SendMessageW(main.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        for (Wnd* pane : std::initializer_list<Wnd*>{&main.list, &main.header, &main.scrollBar, &main.tooltip, &main.menu})
            pane->RedrawNow();
    };
    change(480);
    RECT window = WindowRect(main.hwnd), work = main.workArea, box = main.header.CloseBox();
    EXPECT_TRUE(window.left >= work.left && window.right <= work.right) << window.left << ".." << window.right;
    EXPECT_TRUE(window.top >= work.top && window.bottom <= work.bottom) << window.top << ".." << window.bottom;
    COLORREF close = PixelAt(main.header.hwnd, box.left + 2, box.bottom / 3);
    EXPECT_GT(GetRValue(close), 200);
    EXPECT_LT(GetBValue(close), 100);
    MapWindowPoints(main.header.hwnd, nullptr, reinterpret_cast<POINT*>(&box), 2);
    POINT centre{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
    EXPECT_TRUE(PtInRect(&work, centre) && PtInRect(&window, centre));

    // A hundred changes of scale leave no GDI object behind.
    change(96);
    const int before = GdiObjects();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 50; ++i) {
        change(144);
        change(96);
    }
    EXPECT_EQ(GdiObjects(), before);
}

// The keys of a Windows tree, on more rows than the navigator shows: the
// selection moves as a keyboard user expects and stays in view.
TEST_F(TallTree, TheKeysOfATreeKeepTheSelectionInView) {
    ScanHold hold;
    Navigator nav(tree.Root(), {200, 100}, hold.Hook());
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    auto key = [&](WPARAM code) { SendMessageW(main.hwnd, WM_KEYDOWN, code, 0); };
    ASSERT_TRUE(PumpUntil([&] { return main.RootShown(); }));
    key(VK_DOWN);
    key(VK_END);
    EXPECT_EQ(doc.selected, nullptr);  // no selection until the scan ends
    hold.LetGo();
    ASSERT_TRUE(nav.WaitForScan());

    // With nothing selected Down takes the first row; Right expands a
    // collapsed folder, then enters it; Left climbs, then collapses.
    key(VK_DOWN);
    Row many = main.list.FindRow(0);
    ASSERT_EQ(doc.selected, many);
    key(VK_RIGHT);
    EXPECT_TRUE(many.Expanded());
    EXPECT_EQ(main.list.rowTotal, 93);
    EXPECT_EQ(doc.selected, many);
    key(VK_RIGHT);
    EXPECT_EQ(doc.selected, main.list.FindRow(1));
    EXPECT_EQ(Row(doc.selected.Parent()), many);
    key(VK_LEFT);
    EXPECT_EQ(doc.selected, many);
    key(VK_LEFT);
    EXPECT_FALSE(many.Expanded());
    EXPECT_EQ(main.list.rowTotal, 3);
    key(VK_RIGHT);
    ASSERT_TRUE(main.scrollBarShown);

    // Down from the last row in view scrolls one row, and the row shows selected.
    const int shown = main.list.RowsShown(), height = main.list.rowHeight;
    doc.selected = main.list.FindRow(shown - 1);
    key(VK_DOWN);
    EXPECT_EQ(doc.selected, main.list.FindRow(shown));
    EXPECT_EQ(main.scrollBar.topRow, 1);
    RECT last{20, (shown - 1) * height, 60, shown * height};
    EXPECT_TRUE(HasColour(main.list.hwnd, last, kSelected));
    // Page Up and Down a page of rows away (no further than the ends), End
    // the last row, Home the first: each in view.
    key(VK_PRIOR);
    EXPECT_EQ(doc.selected, many);
    EXPECT_EQ(main.scrollBar.topRow, 0);
    key(VK_NEXT);
    EXPECT_EQ(doc.selected, main.list.FindRow(shown));
    EXPECT_EQ(main.scrollBar.topRow, 1);
    key(VK_END);
    EXPECT_STREQ(doc.selected.Name(), "solo.txt");
    EXPECT_EQ(main.scrollBar.topRow, main.scrollBar.range);
    EXPECT_TRUE(HasColour(main.list.hwnd, last, kSelected));
    key(VK_PRIOR);
    EXPECT_EQ(doc.selected, main.list.FindRow(main.list.rowTotal - 1 - shown));
    key(VK_HOME);
    EXPECT_EQ(doc.selected, many);
    EXPECT_EQ(main.scrollBar.topRow, 0);

    // Delete on a row the wheel took out of view deletes nothing: it brings the row into view.
    Row file = main.list.FindRow(3);
    doc.selected = file;
    for (int i = 0; i < 10; ++i) SendMessageW(main.hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    ASSERT_EQ(main.scrollBar.topRow, 10);
    std::string disk = tree.HostSnapshot();
    key(VK_DELETE);
    EXPECT_EQ(tree.HostSnapshot(), disk);
    EXPECT_EQ(doc.selected, file);
    EXPECT_EQ(main.scrollBar.topRow, 3);
    // Held down, Delete repeats: the repeats delete nothing (they would take
    // the rows the selection moves on to).
    SendMessageW(main.hwnd, WM_KEYDOWN, VK_DELETE, 1 << 30);
    EXPECT_EQ(tree.HostSnapshot(), disk);

    // Escape takes the action popup away first, then closes the navigator.
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, height / 2, MK_RBUTTON);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
    key(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
    EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    key(VK_ESCAPE);
    EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(TallTree, ExpandersShowTheScanState) {
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Row many = main.list.FindRow(0);
    // The expander's frame, one pixel inside its 12x12 cell at (5, 1).
    auto frame = [&] {
        main.list.RedrawNow();
        return PixelAt(main.list.hwnd, 6, 2);
    };
    COLORREF plain = frame();
    many.Folder()->state.fetch_and(~kCompleteBit);  // as while its walk runs
    COLORREF scanning = frame();
    many.Folder()->SetComplete();
    EXPECT_NE(plain, scanning);
    EXPECT_GT(GetRValue(scanning), GetBValue(scanning) + 100);     // orange
    EXPECT_LT(std::abs(GetRValue(plain) - GetBValue(plain)), 40);  // grey
    EXPECT_EQ(frame(), plain);
}

// The pixels of a window's client area, read back at once.
struct Shot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    explicit Shot(HWND hwnd) {
        RECT client;
        GetClientRect(hwnd, &client);
        width = client.right;
        height = client.bottom;
        HDC dc = GetDC(hwnd), copy = CreateCompatibleDC(dc);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(copy, bitmap);
        BitBlt(copy, 0, 0, width, height, dc, 0, 0, SRCCOPY);
        GdiFlush();
        for (int i = 0; i < width * height; ++i) {
            DWORD p = static_cast<const DWORD*>(bits)[i];
            pixels.push_back(RGB((p >> 16) & 255, (p >> 8) & 255, p & 255));
        }
        SelectObject(copy, old);
        DeleteObject(bitmap);
        DeleteDC(copy);
        ReleaseDC(hwnd, dc);
    }
    COLORREF At(int x, int y) const { return pixels[y * width + x]; }
    // Text's own pixels: black, not the level figure's grey nor an expander's.
    bool Ink(int x, int y) const {
        COLORREF c = At(x, y);
        return GetRValue(c) + GetGValue(c) + GetBValue(c) < 150;
    }
};

// A chain of folders 40 levels deep, each with a long name, beside a short
// folder whose one file has the size of the one file at the chain's bottom:
// every folder of the chain shows the same count and size as it does.
TEST(DeepTree, EveryRowIsReadableAndReachableAtEachScale) {
    TempTree tree;
    std::string path;
    for (int level = 1; level <= 40; ++level) {
        path += (level > 1 ? "\\" : "") + std::string("level ") + std::to_string(level) + " of a tree with long names";
        tree.Dir(path);
    }
    tree.File(path + "\\the one file at the bottom of a tree with long names", 4321);
    tree.Dir("s");
    tree.File("s\\f", 4321);
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    Row top = RowNamed(main, "level 1 of a tree with long names");
    Row reference = RowNamed(main, "s");
    ASSERT_TRUE(top && reference);
    // Fully expanded by the keys: Right expands a folder, then enters it.
    main.list.SelectRow(top);
    for (int level = 1; level <= 40; ++level) {
        SendMessageW(main.hwnd, WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageW(main.hwnd, WM_KEYDOWN, VK_RIGHT, 0);
    }
    ASSERT_FALSE(doc.selected.IsFolder());
    ASSERT_EQ(main.list.rowTotal, 42);

    for (int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        if (dpi != 96) {
            RECT suggested = WindowRect(main.hwnd);
            SendMessageW(main.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        }
        const int height = main.list.rowHeight, gap = MulDiv(4, dpi, 96);
        // A row's text cell: the rows' spacing below it takes no ink, and the
        // pane's last pixel lines and columns lie under the navigator's border.
        const int cell = height - MulDiv(3, dpi, 96);
        // A row as shown, found by scrolling it into view first.
        auto rowTop = [&](Row node) {
            main.list.ShowRow(node);
            main.list.RedrawNow();
            return (RowOf(main, node) - main.scrollBar.topRow) * height;
        };
        doc.selected = nullptr;
        int y = rowTop(reference);
        Shot shown(main.list.hwnd);
        // The reference's count: its leftmost ink in the pane's right half.
        int columns = shown.width;
        for (int x = shown.width / 2; x < shown.width; ++x)
            for (int dy = 0; dy < cell; ++dy)
                if (shown.Ink(x, y + dy) && x < columns) columns = x;
        ASSERT_LT(columns, shown.width) << "no count on the reference row";
        std::vector<COLORREF> right;
        for (int dy = 0; dy < cell; ++dy)
            for (int x = columns - gap; x < shown.width - 2; ++x) right.push_back(shown.At(x, y + dy));

        for (int level = 1; level <= 41; ++level) {
            SCOPED_TRACE(level);
            Row node = top;
            for (int down = 1; down < level; ++down) node = node.Folder()->Child(0);
            ASSERT_EQ(node.Level(), level);
            doc.selected = nullptr;
            int rowY = rowTop(node);
            Shot row(main.list.hwnd);
            // The name: a dozen characters' ink at least, all left of the columns.
            int ink = 0, nameLeft = -1;
            for (int x = 0; x < columns - gap; ++x)
                for (int dy = 0; dy < cell; ++dy)
                    if (row.Ink(x, rowY + dy)) {
                        ++ink;
                        if (nameLeft < 0) nameLeft = x;
                    }
            EXPECT_GT(ink, 12 * main.list.averageCharWidth);
            ASSERT_GE(nameLeft, 0);
            if (node.IsFolder()) {
                // The count and the size as on the reference row, untouched.
                size_t at = 0;
                bool same = true;
                for (int dy = 0; dy < cell; ++dy)
                    for (int x = columns - gap; x < row.width - 2; ++x) same = row.At(x, rowY + dy) == right[at++] && same;
                EXPECT_TRUE(same);
            }
            // A press on the name selects the row.
            Press(main.list.hwnd, WM_LBUTTONDOWN, nameLeft + 1, rowY + height / 2);
            EXPECT_EQ(doc.selected, node);
            // So does one on its level figure, the grey ink well left of the name.
            if (main.list.Layout().Flattened(level)) {
                int figure = -1;
                for (int x = 0; x <= nameLeft - MulDiv(20, dpi, 96); ++x)
                    for (int dy = 0; dy < cell; ++dy)
                        if (row.At(x, rowY + dy) == RGB(125, 125, 125)) figure = x;
                ASSERT_GE(figure, 0);
                doc.selected = nullptr;
                Press(main.list.hwnd, WM_LBUTTONDOWN, figure, rowY + height / 2);
                EXPECT_EQ(doc.selected, node);
            }
        }
        // A press on the deepest folder's expander, left of its name, folds
        // it and unfolds it again.
        FolderNode* deepest = top.Folder();
        while (deepest->Child(0).IsFolder()) deepest = deepest->Folder(0);
        doc.selected = nullptr;
        int rowY = rowTop(deepest);
        Shot row(main.list.hwnd);
        int nameLeft = row.width;
        for (int x = 0; x < row.width && nameLeft == row.width; ++x)
            for (int dy = 0; dy < cell; ++dy)
                if (row.Ink(x, rowY + dy)) nameLeft = x;
        // Left of the name's first glyph and the gap before it.
        auto blank = [&](int x) { return row.At(x, rowY + cell / 2) == main.list.background; };
        int expanderRight = nameLeft - 1;
        while (expanderRight > 0 && !blank(expanderRight)) --expanderRight;
        while (expanderRight > 0 && blank(expanderRight)) --expanderRight;
        for (bool expanded : {false, true}) {
            Press(main.list.hwnd, WM_LBUTTONDOWN, expanderRight - MulDiv(5, dpi, 96), rowY + height / 2);
            EXPECT_EQ(deepest->Expanded(), expanded);
            EXPECT_EQ(main.list.rowTotal, expanded ? 42 : 41);
            rowY = rowTop(deepest);
        }
    }
}

// A name cut at its 45th character, a letter whose accent follows it: the
// letter goes with the accent, and the row shows what a name of the letters
// before it and the ellipsis shows.
TEST(DeepTree, ACutKeepsALetterWithItsAccent) {
    TempTree tree;
    const std::string letters(44, 'i');  // narrow: the cut is the length's
    tree.File(letters + "e\xcc\x81zzz", 5000001);  // the 46th unit is U+0301
    tree.File(letters + "\xe2\x80\xa6", 5000000);  // U+2026
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    ASSERT_EQ(main.list.rowTotal, 2);
    ASSERT_EQ(main.list.FindRow(0).Size(), 5000001);
    main.document.selected = nullptr;
    main.list.RedrawNow();
    Shot shown(main.list.hwnd);
    // The text cells, clear of the navigator's border over the pane's edges.
    const int height = main.list.rowHeight, cell = height - main.scale.Px(3);
    int differ = 0, ink = 0;
    for (int y = 0; y < cell; ++y)
        for (int x = 0; x < shown.width - 2; ++x) {
            differ += shown.At(x, y) != shown.At(x, height + y);
            ink += shown.Ink(x, y);
        }
    EXPECT_GT(ink, 44);
    EXPECT_EQ(differ, 0);
}

TEST_F(TallTree, ScrollBarPressesDragsAndRepeat) {
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowY(main, 0));  // many rows: the bar shows
    ASSERT_TRUE(main.scrollBarShown);
    ScrllWindow& bar = main.scrollBar;

    // Count the notifications that reach the list pane.
    static int notified;
    static WNDPROC listProc;
    notified = 0;
    listProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(main.list.hwnd, GWLP_WNDPROC));
    SetWindowLongPtrA(main.list.hwnd, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                          if (m == WM_VSCROLL) ++notified;
                          return CallWindowProcA(listProc, h, m, w, l);
                      }));

    bar.RedrawNow();
    EXPECT_EQ(bar.height, Height(bar.hwnd));
    // The mappings with a 400-pixel bar and a range of 1000.
    bar.height = 400;
    bar.range = 1000;
    const struct {
        int y, top;
    } presses[] = {{105, 250}, {20, 0}, {22, 0}, {23, 0}, {379, 1000}, {380, 1000}};
    for (const auto& p : presses) {
        bar.topRow = 500;
        Press(bar.hwnd, WM_LBUTTONDOWN, 5, p.y);
        bar.height = 400;  // the press repaints, which reads the real height again
        EXPECT_EQ(bar.topRow, p.top) << "press at " << p.y;
        SendMessageA(bar.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, p.y));
    }
    Press(bar.hwnd, WM_LBUTTONDOWN, 5, 105);
    bar.height = 400;
    SendMessageA(bar.hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 105));
    EXPECT_EQ(bar.topRow, 256);  // the drag's mapping rounds once, at the end
    SendMessageA(bar.hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 200));  // no button: the drag ends
    EXPECT_FALSE(bar.dragging);
    EXPECT_EQ(bar.topRow, 256);
    SendMessageA(bar.hwnd, WM_LBUTTONUP, 0, 0);

    // The thumb's top, 300 pixels high, range 7.
    bar.height = 300;
    bar.range = 7;
    const int thumbs[] = {23, 53, 84, 115, 148, 179, 210, 243};
    for (int top = 0; top <= 7; ++top) {
        bar.topRow = top;
        EXPECT_EQ(bar.ThumbTop(), thumbs[top]) << top;
    }

    // A pane of 80 pixels or less has no track: presses map to 0, no fault.
    bar.height = 60;
    bar.topRow = 3;
    bar.OnLButtonDown(MAKELPARAM(5, 30));
    EXPECT_EQ(bar.topRow, 0);
    EXPECT_EQ(bar.ThumbTop(), 23);

    // Holding the down arrow from the top with a range of 3: three steps, then
    // the timer stops itself.
    bar.RedrawNow();
    bar.SetRange(3);
    bar.topRow = 0;
    notified = 0;
    Press(bar.hwnd, WM_LBUTTONDOWN, 5, bar.height - 5);
    EXPECT_NE(bar.timer, 0u);
    EXPECT_EQ(notified, 0);  // nothing moves at the press
    ASSERT_TRUE(PumpUntil([&] { return bar.timer == 0; }, 3000));
    EXPECT_EQ(bar.topRow, 3);
    EXPECT_EQ(notified, 3);

    // The up arrow at the top: the first tick stops without notifying.
    bar.topRow = 0;
    notified = 0;
    Press(bar.hwnd, WM_LBUTTONDOWN, 5, 5);
    ASSERT_TRUE(PumpUntil([&] { return bar.timer == 0; }, 3000));
    EXPECT_EQ(notified, 0);

    // The wheel: one row per message; at the top a turn up still notifies.
    SendMessageA(main.hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(bar.topRow, 0);
    EXPECT_EQ(notified, 1);
    SendMessageA(main.hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-360)), 0);
    EXPECT_EQ(bar.topRow, 1);
    SetWindowLongPtrA(main.list.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc));
}

}  // namespace
