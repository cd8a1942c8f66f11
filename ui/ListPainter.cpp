#include "ListPainter.h"

#include <cstring>
#include <cwchar>

#include "ChildWindow.h"
#include "MainWindow.h"
#include "Name.h"
#include "SizeText.h"

namespace {

constexpr int kMaxNameChars = 45;
constexpr COLORREF kSelectedText = RGB(70, 70, 250);
// Expander images, by state: plain plus, plain minus, orange plus, orange minus.
constexpr int kExpanderIds[4] = {IDB_PLUS, IDB_MINUS, IDB_PLUS_SCANNING, IDB_MINUS_SCANNING};

// Units of the first `characters` characters of a text.
size_t CharactersEnd(const std::wstring& text, int characters) {
    size_t at = 0;
    for (int n = 0; n < characters && at < text.size(); ++n) at += CharacterUnits(text, at);
    return at;
}

int ExpanderIndex(const FolderNode* node) { return (node->Complete() ? 0 : 2) + (node->Expanded() ? 1 : 0); }

const MainWindow& MainOf(const ChildWindow& pane) { return *static_cast<const MainWindow*>(pane.owner); }

}  // namespace

void ListPainter::Drop() {
    for (PaneImage& image : expanders_) image.Release();
    DropBuffer();
}

void ListPainter::DropBuffer() {
    if (!buffer_) return;
    SelectObject(buffer_, old_);
    DeleteDC(buffer_);
    DeleteObject(bitmap_);
    buffer_ = nullptr;
}

void ListPainter::Paint(HDC dc, const ChildWindow& pane) {
    const MainWindow& main = MainOf(pane);
    const RECT& rect = pane.rect;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!expanders_[0].Loaded())
        for (int i = 0; i < 4; ++i) expanders_[i].Load(pane.instance, kExpanderIds[i], main.scale, dc);
    if (!buffer_ || right_ != rect.right || bottom_ != rect.bottom) {
        DropBuffer();
        buffer_ = CreateCompatibleDC(dc);
        bitmap_ = CreateCompatibleBitmap(dc, width > 0 ? width : 1, height > 0 ? height : 1);
        old_ = SelectObject(buffer_, bitmap_);
        SelectObject(buffer_, pane.font);
        SetBkColor(buffer_, pane.background);
        right_ = rect.right;
        bottom_ = rect.bottom;
    }
    RECT fill{rect.left, 0, rect.right, height};
    FillRect(buffer_, &fill, pane.brush);
    y_ = 0;

    if (!main.RootShown()) {
        // The share has not answered yet: one row says so.
        static const wchar_t kListing[] = L"Listing the folder\x2026";
        TextOutW(buffer_, main.scale.Px(5), 0, kListing, static_cast<int>(wcslen(kListing)));
        BitBlt(dc, 0, 0, width, height, buffer_, 0, 0, SRCCOPY);
        return;
    }
    int top = main.scrollBar.topRow;
    if (top < 0) top = 0;
    // The root's array is reordered by the refresher while the scan runs.
    const FolderNode& root = main.document.root;
    {
        NodeLock hold(const_cast<FolderNode*>(&root));
        int counter = 0;
        auto visit = [&](const FolderNode* node) {
            if (counter++ < top) return true;
            // The last, partly shown row is drawn; below it nothing more shows.
            if (y_ > height) return false;
            PaintRow(pane, node);
            return true;
        };
        WalkRows(&root, visit);
    }
    BitBlt(dc, 0, 0, width, height, buffer_, 0, 0, SRCCOPY);
}

void ListPainter::PaintRow(const ChildWindow& pane, const FolderNode* node) {
    const MainWindow& main = MainOf(pane);
    const Scale& scale = main.scale;
    const int indent = scale.Px(15) * node->Level();
    name_.clear();
    AppendDecodedName(node->Name(), name_);
    int nameLength = static_cast<int>(CharactersEnd(name_, kMaxNameChars));
    bool selected = node == main.document.selected;
    if (selected) SetTextColor(buffer_, kSelectedText);
    TextOutW(buffer_, indent + scale.Px(5), y_, name_.c_str(), nameLength);
    if (selected) SetTextColor(buffer_, RGB(0, 0, 0));
    if (node->isFolder) {
        int side = scale.Px(12);
        BitBlt(buffer_, indent - scale.Px(10), y_ + scale.Px(1), side, side, expanders_[ExpanderIndex(node)].Dc(), 0,
               0, SRCCOPY);
    }

    // The texts' widths are estimated from the average character width, so
    // that the columns line up as whole numbers of characters.
    const int right = pane.rect.right, character = pane.averageCharWidth;
    char size[kSizeTextMax], count[kSizeTextMax];
    FormatSize(node->Size(), size);
    int sizeLength = static_cast<int>(strlen(size));
    int sizeLeft = right - sizeLength * character - scale.Px(15);
    TextOutA(buffer_, sizeLeft, y_, size, sizeLength);
    if (node->isFolder) {
        FormatCount(node->Files(), count);
        int countLength = static_cast<int>(strlen(count));
        int countLeft = right - countLength * character - scale.Px(85);
        // Where wide digits would bring the count within a few pixels of the
        // size, it moves left: the two never read as one number.
        SIZE drawn;
        int gap = scale.Px(4);
        if (GetTextExtentPoint32A(buffer_, count, countLength, &drawn) && countLeft + drawn.cx > sizeLeft - gap)
            countLeft = sizeLeft - gap - drawn.cx;
        TextOutA(buffer_, countLeft, y_, count, countLength);
    }
    y_ += pane.rowHeight;
}
