#include "HeadWindow.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "HeadAccessible.h"
#include "MainWindow.h"
#include "Name.h"
#include "SizeText.h"

namespace {

constexpr COLORREF kText = RGB(125, 125, 125);
constexpr COLORREF kFace = RGB(205, 222, 235);
constexpr int kTitleArea = 350;
constexpr int kTitleCentre = 175;
constexpr DWORD kFrameMs = 500;

// The tick of the last indicator frame, shared by every header in the process.
std::atomic<DWORD> lastFrameTick{0};

}  // namespace

HeadWindow::~HeadWindow() {
    HDC dcs[4] = {narrowBackDC, wideBackDC, browseDC, dotsDC};
    HBITMAP images[4] = {narrowBack, wideBack, browseImage, dotsImage};
    for (int i = 0; i < 4; ++i) {
        if (dcs[i]) {
            SelectObject(dcs[i], olds_[i]);
            DeleteDC(dcs[i]);
        }
        if (images[i]) DeleteObject(images[i]);
    }
}

MainWindow* HeadWindow::Main() const { return static_cast<MainWindow*>(owner); }

void HeadWindow::PaintWith(HDC dc) {
    if (!owner) return;
    ViewsLock hold(Main());
    Paint(dc);
}

bool HeadWindow::AfterCreate() {
    title = Main()->document.path;
    toldValue_ = ValueText();
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    return true;
}

bool HeadWindow::LoadImages(HDC dc) {
    HBITMAP* images[4] = {&narrowBack, &wideBack, &browseImage, &dotsImage};
    HDC* dcs[4] = {&narrowBackDC, &wideBackDC, &browseDC, &dotsDC};
    const int ids[4] = {105, 112, 113, 114};
    for (int i = 0; i < 4; ++i) {
        *images[i] = LoadBitmapW(instance, MAKEINTRESOURCEW(ids[i]));
        *dcs[i] = CreateCompatibleDC(dc);
        olds_[i] = SelectObject(*dcs[i], *images[i]);
    }
    return FitTitle(dc);
}

bool HeadWindow::FitTitle(HDC dc) {
    title = Main()->document.path;
    SIZE size;
    for (;;) {
        if (!GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size)) return false;
        if (size.cx < kTitleArea) {
            titleX = kTitleCentre - size.cx / 2;
            return true;
        }
        size_t last = title.rfind(L'\\');
        size_t before = last == std::wstring::npos || last == 0 ? std::wstring::npos : title.rfind(L'\\', last - 1);
        if (before == std::wstring::npos) break;
        title = title.substr(0, before) + L"..." + title.substr(last);
    }
    while (size.cx > kTitleArea && !title.empty()) {
        title.erase(0, CharacterUnits(title, 0));  // a surrogate pair goes whole
        if (!GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size)) break;
    }
    titleX = kTitleCentre - size.cx / 2;
    return true;
}

void HeadWindow::Paint(HDC dc) {
    if (!narrowBack) LoadImages(dc);
    if (rect.right - rect.left > 410)
        BitBlt(dc, 0, 0, 415, 50, wideBackDC, 0, 0, SRCCOPY);
    else
        BitBlt(dc, 0, 0, 400, 50, narrowBackDC, 0, 0, SRCCOPY);
    SetTextColor(dc, kText);
    SetBkColor(dc, kFace);
    TextOutW(dc, titleX, 3, title.c_str(), static_cast<int>(title.size()));
    PaintSummary(dc);
}

void HeadWindow::PaintSummary(HDC dc) {
    const FolderNode& root = Main()->document.root;
    if (root.Complete()) {
        SetTextColor(dc, kText);
        SetBkColor(dc, kFace);
        TextOutA(dc, 40, 27, "Files:", 6);
        TextOutA(dc, 220, 27, "Size:", 5);
        char text[kSizeTextMax];
        FormatCount(root.Files(), text);
        TextOutA(dc, 95, 27, text, static_cast<int>(strlen(text)));
        FormatSize(root.Size(), text);
        TextOutA(dc, 270, 27, text, static_cast<int>(strlen(text)));
        return;
    }
    DWORD now = GetTickCount();
    if (now - lastFrameTick.load() <= kFrameMs) return;
    lastFrameTick.store(now);
    BitBlt(dc, 130, 20, 70, 20, browseDC, 0, 0, SRCCOPY);
    if (dotsOffset < 6) dotsOffset = 25;
    dotsOffset -= 6;
    // Clipped to the image: columns past its right edge keep the band's face.
    BitBlt(dc, 205, 21, 70 - dotsOffset, 20, dotsDC, dotsOffset, 0, SRCCOPY);
}

void HeadWindow::OnLButtonDown(LPARAM lParam) {
    int x = LOWORD(lParam), y = HIWORD(lParam);
    if (InCloseBox(x, y)) Main()->Close();
}

RECT HeadWindow::CloseBox() const {
    RECT client{0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    return RECT{rect.right - 26, 0, client.right, 28};
}

std::wstring HeadWindow::ValueText() const {
    const FolderNode& root = Main()->document.root;
    if (!root.Complete()) return L"Scanning";
    return FilesText(root.Files()) + L", " + SizeText(root.Size());
}

void HeadWindow::NotifyValueIfChanged() {
    if (!hwnd || !owner) return;
    {
        ViewsLock hold(Main());
        std::wstring value = ValueText();
        if (value == toldValue_) return;
        toldValue_ = value;
    }
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

void HeadWindow::OnDestroy() { accessible_.WindowGone(); }

LRESULT HeadWindow::OnGetObject(WPARAM wParam, LPARAM lParam) {
    LRESULT answer = accessible_.Answer(wParam, lParam, [this]() -> Accessible* {
        return owner ? new (std::nothrow) HeadAccessible(this) : nullptr;
    });
    return answer ? answer : Wnd::OnGetObject(wParam, lParam);
}

// The close button's default action, asked for by a screen reader.
void HeadWindow::OnAppMessage(UINT message, WPARAM, LPARAM) {
    if (message == kDefaultActionMessage && owner) Main()->Close();
}

void HeadWindow::OnMouseMove(WPARAM wParam, LPARAM) {
    if (!(wParam & MK_LBUTTON)) {
        dragAnchorX = dragAnchorY = 0;
        return;
    }
    POINT cursor;
    if (!GetCursorPos(&cursor)) return;
    if (dragAnchorX != 0 && dragAnchorY != 0) {
        if (cursor.x == dragAnchorX && cursor.y == dragAnchorY) return;
        MainWindow* main = Main();
        main->rect.left += cursor.x - dragAnchorX;
        main->rect.top += cursor.y - dragAnchorY;
        SetWindowPos(main->hwnd, HWND_TOP, main->rect.left, main->rect.top, 0, 0, SWP_NOSIZE);
    }
    dragAnchorX = cursor.x;
    dragAnchorY = cursor.y;
}
