// The navigator's windows under the test display, driven by messages, with
// pixels read back from their device contexts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Accessible.h"
#include "Images.h"
#include "Navigator.h"
#include "TempTree.h"
#include "Placement.h"

namespace {

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
    Row child = main.list.FindRow(0);
    ASSERT_NE(child, nullptr);
    ASSERT_STREQ(child.Name(), "Дети");
    std::wstring exactTitle = main.header.title;
    for (wchar_t& c : main.header.title)
        if (c > 0x7F) c = L'?';
    strcpy(const_cast<char*>(child.Name()), "????");  // the stored name has room for it
    main.header.RedrawNow();
    main.list.RedrawNow();
    EXPECT_NE(Band(main.header.hwnd, titleBand), title);
    EXPECT_NE(Band(main.list.hwnd, rowBand), row);
    main.header.title = exactTitle;
    strcpy(const_cast<char*>(child.Name()), "Дети");

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
        RECT placed = PlaceBeside(c.pointer, c.work, 400);
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

// A share whose listings stall: the chosen folder's own listing and one
// subfolder's are held on the scan's threads until let go. A listing asked
// for on the test's thread, the shell's, is counted and never held.
struct StallingShare {
    explicit StallingShare(const char* stuckFolder) : stuck(stuckFolder) {}
    ~StallingShare() {
        LetGo();
        CloseHandle(root);
        CloseHandle(sub);
    }
    std::function<void(const FolderNode*)> Hook() {
        return [this](const FolderNode* folder) {
            if (GetCurrentThreadId() == shellThread) {
                ++onShellThread;
                return;
            }
            if (!folder->parent) WaitForSingleObject(root, INFINITE);
            if (stuck == folder->Name()) WaitForSingleObject(sub, INFINITE);
        };
    }
    void LetGo() {
        SetEvent(root);
        SetEvent(sub);
    }
    std::string stuck;
    HANDLE root = CreateEventA(nullptr, TRUE, FALSE, nullptr), sub = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD shellThread = GetCurrentThreadId();
    std::atomic<int> onShellThread{0};
};

// Whether a window's client area shows anything but its background there.
bool ShowsSomething(HWND hwnd, RECT area, COLORREF background) {
    HDC dc = GetDC(hwnd);
    bool found = false;
    for (int y = area.top; y < area.bottom && !found; ++y)
        for (int x = area.left; x < area.right && !found; ++x) found = GetPixel(dc, x, y) != background;
    ReleaseDC(hwnd, dc);
    return found;
}

TEST(Navigator, AStallingShareOpensAtOnceAndAClosedNavigatorNeverHoldsUpTheNext) {
    TempTree tree;
    tree.Dir("slow");
    tree.File("slow\\a", 100);
    tree.Dir("quick");
    tree.File("quick\\b", 10);
    tree.File("top.txt", 5);
    StallingShare share("slow");
    auto first = std::make_unique<Navigator>(tree.Root(), POINT{200, 100}, share.Hook());
    std::unique_ptr<Navigator> second;
    struct LetGo {
        StallingShare& share;
        ~LetGo() { share.LetGo(); }  // before any navigator waits for its scan
    } letGo{share};

    // Open while the folder is still being listed: the header, and one row
    // that says so.
    ASSERT_TRUE(first->Opened());
    MainWindow& main = first->Main();
    EXPECT_TRUE(IsWindowVisible(main.hwnd));
    EXPECT_EQ(main.list.rowTotal, 0);
    EXPECT_EQ(Height(main.list.hwnd), main.list.rowHeight);
    EXPECT_EQ(Height(main.hwnd), 55 + main.list.rowHeight);
    EXPECT_TRUE(ShowsSomething(main.list.hwnd, {0, 0, 200, main.list.rowHeight}, main.list.background));

    // The listing returns: the rows, fitted as ever, while "slow" is walked.
    SetEvent(share.root);
    ASSERT_TRUE(PumpUntil([&] { return main.list.rowTotal == 3; }, 5000));
    EXPECT_EQ(Height(main.hwnd), 55 + 3 * main.list.rowHeight);
    EXPECT_NE(RowNamed(main, "slow"), nullptr);
    EXPECT_NE(RowNamed(main, "top.txt"), nullptr);

    // Closed while a worker is held in a listing: the close does not wait
    // for it, and the same folder opens again at once, as a navigator of its
    // own, while the first one's object still waits for its scan.
    EXPECT_TRUE(first->Close());
    EXPECT_FALSE(main.document.WaitForScan(0));
    second = std::make_unique<Navigator>(tree.Root(), POINT{200, 100}, share.Hook());
    ASSERT_TRUE(second->Opened());
    EXPECT_NE(second->Main().hwnd, main.hwnd);
    EXPECT_EQ(second->Main().list.rowTotal, 3);  // its own listing, let go already
    EXPECT_TRUE(second->Close());

    // A scan that ends before the shell's thread has laid its rows out: the
    // list still says it is listing, and no key takes a row it holds (Enter
    // or Delete would then act on it).
    StallingShare quick("none");
    Navigator third(tree.Path("quick"), POINT{200, 100}, quick.Hook());
    ASSERT_TRUE(third.Opened());
    SetEvent(quick.root);
    for (int i = 0; i < 500 && !third.Main().document.root.Complete(); ++i) Sleep(10);  // no message taken
    ASSERT_FALSE(third.Main().RootShown());
    for (WPARAM key : {VK_HOME, VK_DOWN}) {
        SendMessageW(third.Main().list.hwnd, WM_KEYDOWN, key, 0);
        EXPECT_EQ(third.Main().document.selected, nullptr) << key;
    }
    ASSERT_TRUE(PumpUntil([&] { return third.Main().list.rowTotal == 1; }, 5000));
    SendMessageW(third.Main().list.hwnd, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(third.Main().document.selected, RowNamed(third.Main(), "b"));

    EXPECT_EQ(share.onShellThread.load(), 0);
    share.LetGo();
    first.reset();  // joins its scan now the listing has returned
    second.reset();
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
    main.document.root.state.fetch_and(~kCompleteBit);
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
    main.document.root.SetComplete();
    main.RepaintHeader(true);
    EXPECT_EQ(dots(), 0);
    EXPECT_TRUE(HasColour(header.hwnd, files, RGB(125, 125, 125)));
}

TEST(Header, AScanOutOfMemorySaysSoAndKeepsWhatItCounted) {
    TempTree tree;
    for (int f = 0; f < 3; ++f) {
        tree.Dir("d" + std::to_string(f));
        for (int i = 0; i < 20; ++i) tree.File("d" + std::to_string(f) + "\\f" + std::to_string(i), 1000);
    }
    {
        // Memory for the chosen folder's entries and five files more.
        Navigator nav(tree.Root(), {200, 100}, nullptr, 8);
        ASSERT_TRUE(nav.Opened());
        MainWindow& main = nav.Main();
        ASSERT_TRUE(PumpUntil([&] { return main.document.ScanEnded() && main.document.WaitForScan(0); }));
        ASSERT_TRUE(main.document.ShortOfMemory());
        const FolderNode& root = main.document.root;
        EXPECT_FALSE(root.Complete());
        EXPECT_EQ(root.Files(), 5);
        EXPECT_EQ(main.header.ValueText(), L"Out of memory: at least 5 files, " + SizeText(5000));
        // Drawn in place of the totals, with no indicator left.
        PumpFor(600);
        main.RepaintHeader(true);
        EXPECT_TRUE(HasColour(main.header.hwnd, RECT{10, 27, 390, 45}, RGB(125, 125, 125)));
        EXPECT_FALSE(HasColour(main.header.hwnd, RECT{130, 20, 280, 45}, RGB(240, 132, 32)));
        // The rows it counted can be chosen.
        Row row = RowNamed(main, "d0");
        ASSERT_NE(row, nullptr);
        PressRow(main, row);
        EXPECT_EQ(main.document.selected, row);
        ASSERT_TRUE(nav.Close());
    }
    Navigator next(tree.Root());
    ASSERT_TRUE(next.WaitForScan());
    EXPECT_FALSE(next.Main().document.ShortOfMemory());
    EXPECT_EQ(next.Main().header.ValueText(), L"60 files, " + SizeText(60000));
}

TEST(Tooltip, ShownOnAPressDuringTheScanAndGoneAfterThreeSeconds) {
    TempTree tree;
    tree.Dir("d");
    tree.File("d\\f", 10);
    ScanHold hold;
    Navigator nav(tree.Root(), {300, 200}, hold.Hook());
    ASSERT_TRUE(nav.Opened());
    MainWindow& main = nav.Main();
    ASSERT_TRUE(PumpUntil([&] { return main.RootShown(); }));
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
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main.tooltip.hwnd); }, 2000));
    hold.LetGo();
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
