// The navigator's windows under the test display, driven by messages, with
// pixels read back from their device contexts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Images.h"
#include "Navigator.h"
#include "TempTree.h"

namespace {

const COLORREF kFace = RGB(205, 222, 235);
const COLORREF kSelected = RGB(70, 70, 250);

int Width(HWND hwnd) {
    RECT r = WindowRect(hwnd);
    return r.right - r.left;
}

int Height(HWND hwnd) {
    RECT r = WindowRect(hwnd);
    return r.bottom - r.top;
}

std::string ClassOf(HWND hwnd) {
    wchar_t name[300] = L"";
    GetClassNameW(hwnd, name, 300);
    return Utf8(name);
}

// Counts what reaches the handlers of a bare window.
struct Probe : Wnd {
    int paints = 0, lefts = 0, rights = 0, keys = 0, destroys = 0;
    WPARAM lastKey = 0;
    void Paint(HDC) override { ++paints; }
    void OnLButtonDown(LPARAM) override { ++lefts; }
    void OnRButtonDown(LPARAM) override { ++rights; }
    void OnKeyDown(WPARAM key, bool) override {
        ++keys;
        lastKey = key;
    }
    void OnDestroy() override { ++destroys; }
};

TEST(WindowBase, DispatchesOnlyPlainLeftPresses) {
    Probe probe;
    ASSERT_TRUE(probe.Create(L"tolv-probe", GetModuleHandleA(nullptr), RECT{10, 10, 110, 60}, WS_POPUP, nullptr,
                             nullptr));
    EXPECT_EQ(ClassOf(probe.hwnd), "tolv-probe");
    char title[64];
    GetWindowTextA(probe.hwnd, title, sizeof title);
    EXPECT_STREQ(title, "tolv-probe");
    EXPECT_GE(probe.paints, 1);  // shown and updated by Create

    EXPECT_EQ(SendMessageA(probe.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(probe.lefts, 1);
    for (WPARAM keys : {MK_LBUTTON | MK_SHIFT, MK_LBUTTON | MK_CONTROL, MK_LBUTTON | MK_RBUTTON}) {
        EXPECT_EQ(SendMessageA(probe.hwnd, WM_LBUTTONDOWN, keys, MAKELPARAM(5, 5)), 0);
        EXPECT_EQ(probe.lefts, 1) << keys;
    }
    EXPECT_EQ(SendMessageA(probe.hwnd, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(probe.rights, 1);
    SendMessageA(probe.hwnd, WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(probe.lastKey, static_cast<WPARAM>(VK_F5));
    int paints = probe.paints;
    RedrawWindow(probe.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(probe.paints, paints + 1);

    // The same class cannot be registered twice while it exists.
    Probe twin;
    EXPECT_FALSE(twin.Create(L"tolv-probe", GetModuleHandleA(nullptr), RECT{0, 0, 10, 10}, WS_POPUP, nullptr,
                             nullptr));
    EXPECT_EQ(twin.hwnd, nullptr);
    DestroyWindow(probe.hwnd);
    EXPECT_EQ(probe.destroys, 1);
}

// The pixels of a band of a window, read from its DC.
std::vector<COLORREF> Band(HWND hwnd, RECT area) {
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(hwnd);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(hwnd, dc);
    return pixels;
}

// What a pane shows of a bitmap, which this takes and frees: blitted as the
// panes blit, into a bitmap like the display's, and read back.
std::vector<DWORD> Shown(HBITMAP bitmap, SIZE* size) {
    BITMAP drawn{};
    if (!bitmap || !GetObjectW(bitmap, sizeof drawn, &drawn)) {
        *size = SIZE{0, 0};
        return {};
    }
    *size = SIZE{drawn.bmWidth, drawn.bmHeight};
    HDC screen = GetDC(nullptr), from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    HBITMAP shown = CreateCompatibleBitmap(screen, size->cx, size->cy);
    HGDIOBJ oldFrom = SelectObject(from, bitmap), oldTo = SelectObject(to, shown);
    BitBlt(to, 0, 0, size->cx, size->cy, from, 0, 0, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size->cx, -size->cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(size->cx * size->cy);
    GetDIBits(to, shown, 0, size->cy, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(shown);
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return pixels;
}

// A drawing resampled to `size` with smoothing, as the documentation asks.
// LoadBitmapW decodes the RLE8 drawings, which a DIB section may refuse.
std::vector<DWORD> Resampled(int resourceId, SIZE size) {
    HBITMAP image = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId));
    BITMAP drawn{};
    GetObjectW(image, sizeof drawn, &drawn);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size.cx, size.cy, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP resized = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, image), oldTo = SelectObject(to, resized);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, 0, 0, size.cx, size.cy, from, 0, 0, drawn.bmWidth, drawn.bmHeight, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(image);
    return Shown(resized, &size);
}

bool operator==(SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; }

TEST(Images, EachScaleShowsItsOwnDrawingOrTheNextLargerShrunk) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    const struct {
        int id, width, height;
    } images[] = {{103, 12, 12}, {104, 12, 12},  {105, 400, 50}, {107, 13, 20}, {108, 13, 32},
                  {109, 13, 20}, {110, 12, 12},  {111, 12, 12},  {112, 415, 50}, {113, 70, 20},
                  {114, 70, 20}, {115, 120, 50}, {116, 16, 16}};
    for (const auto& image : images) {
        EXPECT_TRUE(ImageSize(image.id, Scale()) == (SIZE{image.width, image.height})) << image.id;
        // At a step: its own drawing at the layout's size, shown as LoadBitmapW shows it.
        for (int step = 0; step < kImageStepCount; ++step) {
            Scale scale(kImageSteps[step]);
            SIZE size, drawnSize;
            HBITMAP bitmap = LoadScaledBitmap(module, image.id, scale);
            DIBSECTION section{};
            EXPECT_TRUE(GetObjectW(bitmap, sizeof section, &section) == sizeof section &&
                        section.dsBm.bmBitsPixel == 24)
                << image.id << " at " << scale.Dpi();
            std::vector<DWORD> loaded = Shown(bitmap, &size);
            std::vector<DWORD> drawn =
                Shown(LoadBitmapW(module, MAKEINTRESOURCEW(ScaledImageId(image.id, step))), &drawnSize);
            EXPECT_TRUE(size == ImageSize(image.id, scale)) << image.id << " at " << scale.Dpi();
            EXPECT_TRUE(!loaded.empty() && loaded == drawn) << image.id << " at " << scale.Dpi();
        }
        // Between steps the next larger drawing shrunk (at 175 %, not the 150 %
        // one blown up); past the last the largest, below the first the smallest.
        const struct {
            int dpi, step;
        } between[] = {{168, 3}, {100, 1}, {240, 3}, {72, 0}};
        for (const auto& b : between) {
            Scale scale(b.dpi);
            SIZE size;
            std::vector<DWORD> loaded = Shown(LoadScaledBitmap(module, image.id, scale), &size);
            ASSERT_TRUE(size == ImageSize(image.id, scale)) << image.id << " at " << b.dpi;
            EXPECT_TRUE(loaded == Resampled(ScaledImageId(image.id, b.step), size)) << image.id << " at " << b.dpi;
            if (b.dpi == 168) {
                EXPECT_FALSE(loaded == Resampled(ScaledImageId(image.id, 2), size)) << image.id;
            }
        }
    }
    // The menu's image and the icon at the system's sizes for 100 to 200 %.
    for (int step = 0; step < kImageStepCount; ++step) {
        int pixels = ImageSize(IDB_MENU, Scale(kImageSteps[step])).cx;
        SIZE size, drawnSize;
        std::vector<DWORD> drawn =
            Shown(LoadBitmapW(module, MAKEINTRESOURCEW(ScaledImageId(IDB_MENU, step))), &drawnSize);
        EXPECT_TRUE(Shown(LoadBitmapForSize(module, IDB_MENU, pixels), &size) == drawn) << pixels;
        HICON icon = LoadIconForSize(module, IDI_NAVIGATOR, pixels);
        ICONINFO parts{};
        ASSERT_TRUE(icon && GetIconInfo(icon, &parts)) << pixels;
        // The icon's colours are the menu image's own, each size drawn for itself.
        EXPECT_TRUE(Shown(parts.hbmColor, &size) == drawn) << pixels;
        EXPECT_TRUE(size == drawnSize) << pixels;
        DeleteObject(parts.hbmMask);
        DestroyIcon(icon);
    }
    for (int pixels : {28, 13}) {
        SIZE size;
        std::vector<DWORD> loaded = Shown(LoadBitmapForSize(module, IDB_MENU, pixels), &size);
        ASSERT_TRUE(size == (SIZE{pixels, pixels})) << pixels;
        EXPECT_TRUE(loaded == Resampled(ScaledImageId(IDB_MENU, pixels > 16 ? 3 : 0), size)) << pixels;
    }
    EXPECT_EQ(LoadScaledBitmap(module, 999, Scale(120)), nullptr);
}

TEST(Navigator, PanesAreNamedAfterTheFolderAndShowItsExactName) {
    TempTree tree;
    tree.Dir("Фото");
    tree.Dir("Фото\\Дети");
    tree.File("Фото\\Дети\\one.txt", 10);
    std::string folder = tree.Path("Фото");
    Navigator nav(folder);
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    EXPECT_EQ(ClassOf(main.hwnd), folder);
    EXPECT_EQ(ClassOf(main.list.hwnd), folder + "child");
    EXPECT_EQ(ClassOf(main.header.hwnd), folder + "head");
    EXPECT_EQ(ClassOf(main.tooltip.hwnd), folder + "tooltip");
    EXPECT_EQ(ClassOf(main.menu.hwnd), folder + "menu");
    EXPECT_FALSE(IsWindowVisible(main.tooltip.hwnd));
    EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
    EXPECT_EQ(Width(main.hwnd), 400);
    EXPECT_EQ(SendMessageA(main.hwnd, WM_GETICON, ICON_SMALL, 0) != 0, true);
    ASSERT_TRUE(nav.WaitForScan());

    // The title and the row are drawn from the names themselves: with the
    // Cyrillic letters taken for "?", as an 8-bit code page would, the pixels
    // differ.
    std::string title8 = Utf8(main.header.title);  // shortened to fit, if the path is long
    ASSERT_GE(title8.size(), 9u);
    EXPECT_EQ(title8.substr(title8.size() - 9), "\\Фото");
    RECT titleBand{0, 0, 350, 20}, rowBand{0, 0, 200, main.list.rowHeight};
    std::vector<COLORREF> title = Band(main.header.hwnd, titleBand), row = Band(main.list.hwnd, rowBand);
    FolderNode* child = main.list.FindRow(0);
    ASSERT_NE(child, nullptr);
    ASSERT_STREQ(child->Name(), "Дети");
    std::wstring exactTitle = main.header.title;
    for (wchar_t& c : main.header.title)
        if (c > 0x7F) c = L'?';
    strcpy(const_cast<char*>(child->Name()), "????");  // the stored name has room for it
    main.header.RedrawNow();
    main.list.RedrawNow();
    EXPECT_NE(Band(main.header.hwnd, titleBand), title);
    EXPECT_NE(Band(main.list.hwnd, rowBand), row);
    main.header.title = exactTitle;
    strcpy(const_cast<char*>(child->Name()), "Дети");

    // A second navigator on the same folder does not open.
    Navigator second(folder);
    EXPECT_FALSE(second.Opened());
    EXPECT_EQ(second.Main().hwnd, nullptr);
}

TEST(Navigator, APathAtTheClassNamesLimitOpensAndClosesAsAnyOther) {
    TempTree tree;
    for (size_t length : {253u, 300u}) {
        std::string relative = "n" + std::to_string(length);
        tree.Dir(relative);
        while (tree.Path(relative).size() < length) {
            size_t room = length - tree.Path(relative).size() - 1;
            relative += "\\" + std::string(room < 40 ? room : 40, 'p');
            tree.Dir(relative);
        }
        std::string folder = tree.Path(relative);
        ASSERT_EQ(folder.size(), length);
        Navigator nav(folder);
        ASSERT_TRUE(nav.Opened()) << length;
        MainWindow& main = nav.Main();
        std::string name = ClassOf(main.hwnd);
        EXPECT_LE(name.size(), 248u);
        EXPECT_EQ(ClassOf(main.header.hwnd), name + "head");
        EXPECT_EQ(ClassOf(main.tooltip.hwnd), name + "tooltip");
        EXPECT_EQ(Utf8(main.header.title).substr(0, 3), folder.substr(0, 3));
        Navigator second(folder);
        EXPECT_FALSE(second.Opened());
        ASSERT_TRUE(nav.WaitForScan());
        Press(main.header.hwnd, WM_LBUTTONDOWN, main.header.rect.right - 20, 10);
        EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << length;
    }
}

TEST(Navigator, PlacedBesideThePointerOnItsMonitor) {
    const struct {
        RECT work;  // of the pointer's monitor
        POINT pointer;
        RECT expected;
    } cases[] = {
        // One monitor, its taskbar at the bottom.
        {{0, 0, 1280, 1000}, {1000, 100}, {600, 100, 1000, 500}},  // right of the middle: the window lies left of it
        {{0, 0, 1280, 1000}, {640, 100}, {640, 100, 1040, 500}},   // exactly the middle is not right of it
        {{0, 0, 1280, 1000}, {300, 900}, {300, 500, 700, 900}},    // below the middle: the window lies above
        {{0, 0, 1280, 1000}, {300, 500}, {300, 500, 700, 900}},
        // A second monitor left of the first: its own middle, not the first's.
        {{-1920, 0, 0, 1040}, {-1800, 200}, {-1800, 200, -1400, 600}},
        {{-1920, 0, 0, 1040}, {-100, 200}, {-500, 200, -100, 600}},
        // Above the first, and taller than it: the window lies on it whole.
        {{0, -1200, 1920, 0}, {500, -300}, {500, -700, 900, -300}},
        {{1280, -400, 2480, 1560}, {1400, 1200}, {1400, 800, 1800, 1200}},
        // A monitor smaller than twice the window: it moves in rather than hang over the edge.
        {{0, 0, 1024, 600}, {700, 350}, {300, 0, 700, 400}},
    };
    for (const auto& c : cases) {
        RECT placed = MainWindow::PlaceBeside(c.pointer, c.work, 400);
        EXPECT_EQ(placed.left, c.expected.left) << c.pointer.x << "," << c.pointer.y;
        EXPECT_EQ(placed.top, c.expected.top) << c.pointer.x << "," << c.pointer.y;
        EXPECT_EQ(placed.right, c.expected.right) << c.pointer.x << "," << c.pointer.y;
        EXPECT_EQ(placed.bottom, c.expected.bottom) << c.pointer.x << "," << c.pointer.y;
    }
}

TEST(Navigator, FitKeepsTheTopOfAWindowAboveThePointer) {
    TempTree tree;
    for (int i = 0; i < 5; ++i) tree.File("f" + std::to_string(i), 10 + i);
    Navigator nav(tree.Root(), {300, 900});
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    RECT window = WindowRect(main.hwnd);
    ASSERT_LT(main.workArea.bottom / 2, 900);
    EXPECT_EQ(window.top, 500);  // placed above the pointer, then fitted
    EXPECT_EQ(window.bottom - window.top, 55 + 5 * main.list.rowHeight);
    ASSERT_TRUE(nav.WaitForScan());
}

TEST(Navigator, EmptyFolderShowsTheHeaderOnly) {
    TempTree tree;
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    EXPECT_EQ(Height(nav.Main().hwnd), 55);
    EXPECT_EQ(Height(nav.Main().list.hwnd), 0);
    EXPECT_EQ(nav.Main().list.rowTotal, 0);
    ASSERT_TRUE(nav.WaitForScan());
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
    FolderNode* many = main.list.FindRow(0);
    FolderNode* few = main.list.FindRow(1);
    ASSERT_STREQ(many->Name(), "many");
    ASSERT_STREQ(few->Name(), "few");

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
        EXPECT_FALSE(few->Expanded()) << x;
    }
    Press(main.list.hwnd, WM_LBUTTONDOWN, 1, y);
    EXPECT_TRUE(few->Expanded());
    EXPECT_EQ(main.list.rowTotal, 5);  // many, few, inner, x, solo.txt
    EXPECT_STREQ(main.list.FindRow(2)->Name(), "inner");

    // Level 2 (inner): expander zone x 16..29, x 30 clears, x 31 selects.
    FolderNode* inner = main.list.FindRow(2);
    int y2 = RowY(main, 2);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 30, y2);
    EXPECT_EQ(doc.selected, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 31, y2);
    EXPECT_EQ(doc.selected, inner);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 16, y2);
    EXPECT_TRUE(inner->Expanded());
    EXPECT_EQ(doc.selected, nullptr);  // toggling clears the selection
    EXPECT_EQ(main.list.rowTotal, 6);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 29, y2);
    EXPECT_FALSE(inner->Expanded());
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
    FolderNode* picked = main.list.FindRow(2);
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
}

// The keys of a Windows tree, on more rows than the navigator shows: the
// selection moves as a keyboard user expects and stays in view.
TEST_F(TallTree, TheKeysOfATreeKeepTheSelectionInView) {
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    auto key = [&](WPARAM code) { SendMessageW(main.hwnd, WM_KEYDOWN, code, 0); };
    ASSERT_FALSE(doc.root.Complete());  // the scan pauses 500 ms at its end
    key(VK_DOWN);
    key(VK_END);
    EXPECT_EQ(doc.selected, nullptr);  // no selection until the scan ends
    ASSERT_TRUE(nav.WaitForScan());

    // With nothing selected Down takes the first row; Right expands a
    // collapsed folder, then enters it; Left climbs, then collapses.
    key(VK_DOWN);
    FolderNode* many = main.list.FindRow(0);
    ASSERT_EQ(doc.selected, many);
    key(VK_RIGHT);
    EXPECT_TRUE(many->Expanded());
    EXPECT_EQ(main.list.rowTotal, 93);
    EXPECT_EQ(doc.selected, many);
    key(VK_RIGHT);
    EXPECT_EQ(doc.selected, main.list.FindRow(1));
    EXPECT_EQ(doc.selected->parent, many);
    key(VK_LEFT);
    EXPECT_EQ(doc.selected, many);
    key(VK_LEFT);
    EXPECT_FALSE(many->Expanded());
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
    EXPECT_STREQ(doc.selected->Name(), "solo.txt");
    EXPECT_EQ(main.scrollBar.topRow, main.scrollBar.range);
    EXPECT_TRUE(HasColour(main.list.hwnd, last, kSelected));
    key(VK_PRIOR);
    EXPECT_EQ(doc.selected, main.list.FindRow(main.list.rowTotal - 1 - shown));
    key(VK_HOME);
    EXPECT_EQ(doc.selected, many);
    EXPECT_EQ(main.scrollBar.topRow, 0);

    // Delete on a row the wheel took out of view deletes nothing: it brings the row into view.
    FolderNode* file = main.list.FindRow(3);
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
    FolderNode* many = main.list.FindRow(0);
    // The expander's frame, one pixel inside its 12x12 cell at (5, 1).
    auto frame = [&] {
        main.list.RedrawNow();
        return PixelAt(main.list.hwnd, 6, 2);
    };
    COLORREF plain = frame();
    many->complete.store(false);  // as while its walk runs
    COLORREF scanning = frame();
    many->complete.store(true);
    EXPECT_NE(plain, scanning);
    EXPECT_GT(GetRValue(scanning), GetBValue(scanning) + 100);     // orange
    EXPECT_LT(std::abs(GetRValue(plain) - GetBValue(plain)), 40);  // grey
    EXPECT_EQ(frame(), plain);
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

TEST(Header, LongPathsAreShortenedAroundTheirLastPart) {
    TempTree tree;
    std::string deep;
    for (const char* part : {"first-level-folder", "second-level-folder", "third-level-folder",
                             "fourth-level-folder", "fifth-level-folder"}) {
        deep += deep.empty() ? part : std::string("\\") + part;
        tree.Dir(deep);
    }
    Navigator nav(tree.Path(deep));
    ASSERT_TRUE(nav.Opened());
    HeadWindow& header = nav.Main().header;
    std::string title = Utf8(header.title);
    EXPECT_NE(title.find("..."), std::string::npos) << title;
    EXPECT_EQ(title.substr(title.size() - 19), "\\fifth-level-folder");
    EXPECT_EQ(title.substr(0, 3), tree.Root().substr(0, 3));
    HDC dc = GetDC(header.hwnd);
    SIZE size;
    GetTextExtentPoint32W(dc, header.title.c_str(), static_cast<int>(header.title.size()), &size);
    ReleaseDC(header.hwnd, dc);
    EXPECT_LT(size.cx, 350);
    EXPECT_EQ(header.titleX, 175 - size.cx / 2);
    ASSERT_TRUE(nav.WaitForScan());
}

TEST(Header, CloseBoxClosesOnAPlainPressOnly) {
    TempTree tree;
    tree.File("a", 1);
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    HeadWindow& header = nav.Main().header;
    Press(header.hwnd, WM_LBUTTONDOWN, header.rect.right - 20, 10, MK_LBUTTON | MK_SHIFT);
    Press(header.hwnd, WM_LBUTTONDOWN, 100, 10);
    Press(header.hwnd, WM_LBUTTONDOWN, header.rect.right - 20, 30);
    EXPECT_TRUE(IsWindow(nav.Main().hwnd));
    EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Press(header.hwnd, WM_LBUTTONDOWN, header.rect.right - 20, 10);
    EXPECT_FALSE(IsWindow(nav.Main().hwnd));
    EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(Header, DraggingMovesTheNavigatorByThePointersMovement) {
    TempTree tree;
    tree.File("a", 1);
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    HWND header = main.header.hwnd;
    RECT start = WindowRect(main.hwnd);
    auto moveTo = [&](int x, int y, WPARAM keys) {
        MovePointer(x, y);
        SendMessageA(header, WM_MOUSEMOVE, keys, MAKELPARAM(10, 10));
    };
    moveTo(300, 300, MK_LBUTTON);  // the first move of a drag only anchors
    EXPECT_EQ(WindowRect(main.hwnd).left, start.left);
    moveTo(320, 290, MK_LBUTTON);
    RECT moved = WindowRect(main.hwnd);
    EXPECT_EQ(moved.left, start.left + 20);
    EXPECT_EQ(moved.top, start.top - 10);
    EXPECT_EQ(moved.right - moved.left, start.right - start.left);
    moveTo(330, 300, 0);  // released: the anchor goes
    EXPECT_EQ(main.header.dragAnchorX, 0);
    moveTo(400, 400, MK_LBUTTON);  // a new drag starts without a jump
    EXPECT_EQ(WindowRect(main.hwnd).left, moved.left);
    EXPECT_EQ(main.rect.left, moved.left);
}

TEST(Header, IndicatorFramesThenTotals) {
    TempTree tree;
    tree.File("a.bin", 1234567);
    tree.File("b.bin", 1);
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    HeadWindow& header = main.header;
    // The totals: grey text on the band, where the indicator was.
    RECT files{40, 27, 200, 45};
    EXPECT_TRUE(HasColour(header.hwnd, files, RGB(125, 125, 125)));

    // Frames while scanning: one, two, three, four dots, then one again.
    auto dots = [&] {
        int runs = 0;
        bool inDot = false;
        for (int x = 205; x < 275; ++x) {
            COLORREF c = PixelAt(header.hwnd, x, 21 + 12);
            bool orange = GetRValue(c) > 200 && GetBValue(c) < 100;
            if (orange && !inDot) ++runs;
            inDot = orange;
        }
        return runs;
    };
    main.document.root.complete.store(false);
    header.dotsOffset = 0;  // as a new header starts
    const int expected[] = {1, 2, 3, 4, 1};
    for (int frame : expected) {
        Sleep(520);
        main.RepaintHeader(true);
        EXPECT_EQ(dots(), frame);
        EXPECT_TRUE(HasColour(header.hwnd, RECT{130, 20, 200, 40}, RGB(240, 132, 32)));  // "browse"
    }
    // A repaint within 500 ms of a frame shows no indicator.
    main.RepaintHeader(true);
    EXPECT_EQ(dots(), 0);
    main.document.root.complete.store(true);
    main.RepaintHeader(true);
    EXPECT_EQ(dots(), 0);
    EXPECT_TRUE(HasColour(header.hwnd, files, RGB(125, 125, 125)));
}

TEST(Tooltip, ShownOnAPressDuringTheScanAndGoneAfterThreeSeconds) {
    TempTree tree;
    tree.Dir("d");
    tree.File("d\\f", 10);
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    ASSERT_FALSE(main.document.root.Complete());  // the scan pauses 500 ms at its end
    Press(main.list.hwnd, WM_LBUTTONDOWN, 40, 5);
    EXPECT_TRUE(IsWindowVisible(main.tooltip.hwnd));
    EXPECT_NE(GetActiveWindow(), main.tooltip.hwnd);  // the keys (Escape) stay with the navigator
    RECT tip = WindowRect(main.tooltip.hwnd);
    EXPECT_EQ(tip.left, 300);
    EXPECT_EQ(tip.top, 200);
    EXPECT_EQ(tip.right - tip.left, 200);
    EXPECT_EQ(main.document.selected, nullptr);
    PumpFor(2500);
    EXPECT_TRUE(IsWindowVisible(main.tooltip.hwnd));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(main.tooltip.hwnd); }, 2000));
}

TEST(Tooltip, WithoutItsWindowAPressStartsNoTimer) {
    TempTree tree;
    tree.Dir("d");
    tree.File("d\\f", 10);
    // The tooltip's class taken already: its window cannot be made.
    WNDCLASSEXW taken{};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcW;
    taken.hInstance = GetModuleHandleA(nullptr);
    std::wstring className = Wide(tree.Root()) + L"tooltip";
    taken.lpszClassName = className.c_str();
    ASSERT_TRUE(RegisterClassExW(&taken));
    {
        Navigator nav(tree.Root(), {300, 200});
        ASSERT_TRUE(nav.Opened());
        MainWindow& main = nav.Main();
        ASSERT_EQ(main.tooltip.hwnd, nullptr);
        ASSERT_FALSE(main.document.root.Complete());
        Press(main.list.hwnd, WM_LBUTTONDOWN, 40, 5);
        Press(main.list.hwnd, WM_LBUTTONDOWN, 40, 5);
        // A thread's timer posts its messages with no window.
        int threadTimers = 0;
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 3400) {
            MSG msg;
            while (PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_TIMER, WM_TIMER, PM_REMOVE)) ++threadTimers;
            PumpFor(20);
        }
        EXPECT_EQ(threadTimers, 0);
    }
    UnregisterClassW(className.c_str(), GetModuleHandleA(nullptr));
}

}  // namespace
