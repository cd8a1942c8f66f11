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
// The level figure of rows past the deepest indentation: quieter than a name.
constexpr COLORREF kLevelText = RGB(125, 125, 125);
// Expander images, by state: plain plus, plain minus, orange plus, orange minus.
constexpr int kExpanderIds[4] = {IDB_PLUS, IDB_MINUS, IDB_PLUS_SCANNING, IDB_MINUS_SCANNING};

// Units of the first `characters` characters of a text.
size_t CharactersEnd(const std::wstring& text, int characters) {
    size_t at = 0;
    for (int n = 0; n < characters && at < text.size(); ++n) at += CharacterUnits(text, at);
    return at;
}

// Whether a unit is a mark drawn over the character before it (an accent).
// The blocks of accents first: not every system's character tables mark them.
bool IsMark(wchar_t unit) {
    if ((unit >= 0x0300 && unit <= 0x036F) || (unit >= 0x1AB0 && unit <= 0x1AFF) ||
        (unit >= 0x1DC0 && unit <= 0x1DFF) || (unit >= 0x20D0 && unit <= 0x20FF) || (unit >= 0xFE20 && unit <= 0xFE2F))
        return true;
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) && (type & C3_NONSPACING);
}

// The start of the character that ends at `end`.
size_t CharacterBefore(const std::wstring& text, size_t end) {
    bool pair = end >= 2 && IS_LOW_SURROGATE(text[end - 1]) && IS_HIGH_SURROGATE(text[end - 2]);
    return end - (pair ? 2 : 1);
}

int ExpanderIndex(Row row) { return (row.Complete() ? 0 : 2) + (row.Expanded() ? 1 : 0); }

const MainWindow& MainOf(const ChildWindow& pane) { return *static_cast<const MainWindow*>(pane.owner); }

}  // namespace

void ListPainter::Drop() {
    for (PaneImage& image : expanders_) image.Release();
    DropBuffer();
}

void ListPainter::DropBuffer() {
    if (!buffer_) return;
    // Nothing of the pane's stays selected: the pane deletes its font.
    SelectObject(buffer_, oldFont_);
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
        oldFont_ = SelectObject(buffer_, pane.font);
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
    const RowLayout layout = pane.Layout();
    // The root's array is reordered by the refresher while the scan runs.
    const FolderNode& root = main.document.root;
    {
        NodeLock hold(const_cast<FolderNode*>(&root));
        int counter = 0;
        auto visit = [&](Row node) {
            if (counter++ < top) return true;
            // The last, partly shown row is drawn; below it nothing more shows.
            if (y_ > height) return false;
            PaintRow(pane, layout, node);
            return true;
        };
        WalkRows(&root, visit);
    }
    BitBlt(dc, 0, 0, width, height, buffer_, 0, 0, SRCCOPY);
}

void ListPainter::PaintRow(const ChildWindow& pane, const RowLayout& layout, Row node) {
    const MainWindow& main = MainOf(pane);
    const Scale& scale = main.scale;
    const int level = node.Level();
    name_.clear();
    AppendDecodedName(node.Name(), name_);

    // The columns first: the name reaches no further than the nearer one.
    // The texts' widths are estimated from the average character width, so
    // that the columns line up as whole numbers of characters.
    const int right = pane.rect.right, character = pane.averageCharWidth;
    char size[kSizeTextMax], count[kSizeTextMax];
    FormatSize(static_cast<double>(node.Size()), size);
    int sizeLength = static_cast<int>(strlen(size));
    int sizeLeft = right - sizeLength * character - scale.Px(15);
    int countLength = 0, countLeft = sizeLeft;
    if (node.IsFolder()) {
        FormatCount(node.Files(), count);
        countLength = static_cast<int>(strlen(count));
        countLeft = right - countLength * character - scale.Px(85);
        // Where wide digits would bring the count within a few pixels of the
        // size, it moves left: the two never read as one number.
        SIZE drawn;
        int gap = scale.Px(4);
        if (GetTextExtentPoint32A(buffer_, count, countLength, &drawn) && countLeft + drawn.cx > sizeLeft - gap)
            countLeft = sizeLeft - gap - drawn.cx;
    }

    bool selected = node == main.document.selected;
    if (selected) SetTextColor(buffer_, kSelectedText);
    PaintName(layout.NameLeft(level), countLeft - layout.ColumnGap());
    SetTextColor(buffer_, RGB(0, 0, 0));
    if (layout.Flattened(level)) PaintLevel(layout.FigureRight(level), level);
    if (node.IsFolder()) {
        int side = scale.Px(12);
        BitBlt(buffer_, layout.ExpanderLeft(level), y_ + scale.Px(1), side, side,
               expanders_[ExpanderIndex(node)].Dc(), 0, 0, SRCCOPY);
    }
    TextOutA(buffer_, sizeLeft, y_, size, sizeLength);
    if (node.IsFolder()) TextOutA(buffer_, countLeft, y_, count, countLength);
    y_ += pane.rowHeight;
}

void ListPainter::PaintName(int left, int limit) {
    int length = static_cast<int>(CharactersEnd(name_, kMaxNameChars));
    SIZE drawn;
    if (length == static_cast<int>(name_.size()) &&
        GetTextExtentPoint32W(buffer_, name_.c_str(), length, &drawn) && left + drawn.cx <= limit) {
        TextOutW(buffer_, left, y_, name_.c_str(), length);
        return;
    }
    // Cut, and marked as cut: its whole text is the row's name for screen
    // readers.
    static const wchar_t kEllipsis[] = L"\x2026";
    SIZE mark;
    if (!GetTextExtentPoint32W(buffer_, kEllipsis, 1, &mark) || left + mark.cx > limit) return;
    int fit = 0;
    if (!GetTextExtentExPointW(buffer_, name_.c_str(), length, limit - left - mark.cx, &fit, nullptr, &drawn)) return;
    // Whole characters only: a surrogate pair is never split.
    size_t end = 0;
    while (end < name_.size() && end + CharacterUnits(name_, end) <= static_cast<size_t>(fit))
        end += CharacterUnits(name_, end);
    // Nor is a letter parted from its marks: without its accent it would
    // read as another letter.
    while (end > 0 && end < name_.size() && IsMark(name_[end])) end = CharacterBefore(name_, end);
    cut_.assign(name_, 0, end);
    cut_ += kEllipsis;
    TextOutW(buffer_, left, y_, cut_.c_str(), static_cast<int>(cut_.size()));
}

void ListPainter::PaintLevel(int right, int level) {
    wchar_t figure[12];
    const int length = swprintf(figure, sizeof figure / sizeof figure[0], L"%d", level);
    SIZE drawn;
    if (length <= 0 || !GetTextExtentPoint32W(buffer_, figure, length, &drawn)) return;
    SetTextColor(buffer_, kLevelText);
    TextOutW(buffer_, right - drawn.cx, y_, figure, length);
    SetTextColor(buffer_, RGB(0, 0, 0));
}
