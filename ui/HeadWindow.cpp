#include "HeadWindow.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <new>

#include "Dpi.h"
#include "FontScope.h"
#include "HeadAccessible.h"
#include "MainWindow.h"
#include "Name.h"
#include "SizeText.h"

namespace {

constexpr COLORREF kText = RGB(125, 125, 125);
constexpr COLORREF kFace = RGB(205, 222, 235);
constexpr DWORD kFrameMs = 500;

// The tick of the last indicator frame, shared by every header in the process.
std::atomic<DWORD> lastFrameTick{0};

// The system's own words for an error ("Access is denied."), in the user's
// language, as the shell itself would say it.
std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : L"Error " + std::to_wstring(error) + L".";
    if (text) LocalFree(text);
    while (!message.empty() && iswspace(message.back())) message.pop_back();
    return message;
}

}  // namespace

HeadWindow::~HeadWindow() { ReleaseFont(font_); }

void HeadWindow::DropImages() {
    for (PaneImage& image : images_) image.Release();
    ReleaseFont(font_);
    font_ = nullptr;
    fontReady_ = false;
}

// The DC's own font at 100 %; at any other scale, that font's face at the
// navigator's scale.
HFONT HeadWindow::Font() {
    const Scale& scale = Main()->scale;
    if (!fontReady_) {
        font_ = scale.IsBase() && StockFontDpi() == Scale::kBaseDpi ? nullptr : FaceAt(SYSTEM_FONT, scale.Dpi());
        fontReady_ = true;
    }
    return font_;
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
    const int ids[kImages] = {105, 112, 113, 114};
    for (int i = 0; i < kImages; ++i) images_[i].Load(instance, ids[i], Main()->scale, dc);
    return FitTitle(dc);
}

bool HeadWindow::FitTitle(HDC dc) {
    const Scale& scale = Main()->scale;
    const int area = scale.Px(350), centre = scale.Px(175);
    title = Main()->document.path;
    SIZE size;
    for (;;) {
        if (!GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size)) return false;
        if (size.cx < area) {
            titleX = centre - size.cx / 2;
            return true;
        }
        size_t last = title.rfind(L'\\');
        size_t before = last == std::wstring::npos || last == 0 ? std::wstring::npos : title.rfind(L'\\', last - 1);
        if (before == std::wstring::npos) break;
        title = title.substr(0, before) + L"..." + title.substr(last);
    }
    while (size.cx > area && !title.empty()) {
        title.erase(0, CharacterUnits(title, 0));  // a surrogate pair goes whole
        if (!GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size)) break;
    }
    titleX = centre - size.cx / 2;
    return true;
}

void HeadWindow::Paint(HDC dc) {
    const Scale& scale = Main()->scale;
    FontScope font(dc, Font());
    if (!images_[kNarrow].Loaded()) LoadImages(dc);
    // The wide band while the scroll bar widens the navigator.
    int band = rect.right - rect.left > scale.Px(410) ? IDB_HEADER_WIDE : IDB_HEADER_NARROW;
    SIZE size = ImageSize(band, scale);
    BitBlt(dc, 0, 0, size.cx, size.cy, images_[band == IDB_HEADER_WIDE ? kWide : kNarrow].Dc(), 0, 0, SRCCOPY);
    SetTextColor(dc, kText);
    SetBkColor(dc, kFace);
    TextOutW(dc, titleX, scale.Px(3), title.c_str(), static_cast<int>(title.size()));
    PaintSummary(dc);
}

void HeadWindow::PaintSummary(HDC dc) {
    const Scale& scale = Main()->scale;
    const Document& doc = Main()->document;
    const FolderNode& root = doc.root;
    if ((root.Complete() && doc.RootError()) || doc.CutShort()) {
        // No bare totals for a folder that could not be listed, nor for a
        // scan that ran out of memory: they would read as the folder's own.
        FontScope font(dc, Font());
        SetTextColor(dc, kText);
        SetBkColor(dc, kFace);
        std::wstring text = ValueText();
        RECT line{scale.Px(4), scale.Px(27), scale.Px(396), scale.Px(45)};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
                  DT_SINGLELINE | DT_CENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        return;
    }
    if (root.Complete()) {
        FontScope font(dc, Font());
        SetTextColor(dc, kText);
        SetBkColor(dc, kFace);
        const int y = scale.Px(27);
        TextOutA(dc, scale.Px(40), y, "Files:", 6);
        TextOutA(dc, scale.Px(220), y, "Size:", 5);
        char text[kSizeTextMax];
        FormatCount(root.Files(), text);
        TextOutA(dc, scale.Px(95), y, text, static_cast<int>(strlen(text)));
        FormatSize(root.Size(), text);
        TextOutA(dc, scale.Px(270), y, text, static_cast<int>(strlen(text)));
        return;
    }
    DWORD now = GetTickCount();
    if (now - lastFrameTick.load() <= kFrameMs) return;
    lastFrameTick.store(now);
    SIZE frame = ImageSize(IDB_BROWSE, scale);
    BitBlt(dc, scale.Px(130), scale.Px(20), frame.cx, frame.cy, images_[kBrowse].Dc(), 0, 0, SRCCOPY);
    if (dotsOffset < 6) dotsOffset = 25;
    dotsOffset -= 6;
    // Clipped to the image: columns past its right edge keep the band's face.
    int from = scale.Px(dotsOffset);
    BitBlt(dc, scale.Px(205), scale.Px(21), frame.cx - from, frame.cy, images_[kDots].Dc(), from, 0, SRCCOPY);
}

void HeadWindow::OnLButtonDown(LPARAM lParam) {
    int x = LOWORD(lParam), y = HIWORD(lParam);
    if (InCloseBox(x, y)) Main()->Close();
}

bool HeadWindow::InCloseBox(int x, int y) const {
    const Scale& scale = Main()->scale;
    return x > rect.right - scale.Px(27) && y < scale.Px(28);
}

RECT HeadWindow::CloseBox() const {
    RECT client{0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    const Scale& scale = Main()->scale;
    return RECT{rect.right - scale.Px(27) + 1, 0, client.right, scale.Px(28)};
}

std::wstring HeadWindow::ValueText() const {
    const Document& doc = Main()->document;
    const FolderNode& root = doc.root;
    if (doc.CutShort())
        return L"Out of memory: at least " + FilesText(root.Files()) + L", " + SizeText(root.Size());
    if (!root.Complete()) return L"Scanning";
    if (doc.RootError()) return L"Cannot list this folder: " + SystemMessage(doc.RootError());
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
        // The navigator goes with the pointer: to its monitor's work area, too.
        WorkAreaAt(cursor, &main->workArea);
    }
    dragAnchorX = cursor.x;
    dragAnchorY = cursor.y;
}
