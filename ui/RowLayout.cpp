#include "RowLayout.h"

namespace {

// The file count the indentation leaves room for: five figures, right-aligned
// at the count column's edge, 85 pixels (scaled) from the pane's right.
constexpr int kCountChars = 5;
constexpr int kCountEdge = 85;

}  // namespace

RowLayout::RowLayout(const Scale& scale, int width, int character)
    : scale_(scale), step_(scale.Px(15)), character_(character) {
    int countLeft = width - scale.Px(kCountEdge) - kCountChars * character;
    int room = countLeft - ColumnGap() - scale.Px(5) - kNameChars * character;
    deepest_ = room / step_;
    if (deepest_ < 1) deepest_ = 1;
}

int RowLayout::FigureLeft(int level) const {
    int figures = 1;
    for (int rest = level; rest >= 10; rest /= 10) ++figures;
    return FigureRight(level) - (figures + 1) * character_;
}
