// Where a row's parts lie across the list pane, for the paint and the presses
// alike: the indentation of each level, the expander beside the name, the
// level figure of the deepest rows, and how far the name may reach.
#pragma once

#include "Scale.h"

class RowLayout {
public:
    // A pane `width` pixels wide, its font's average character `character`
    // pixels wide.
    RowLayout(const Scale& scale, int width, int character);

    // The indentation of a level: a step a level while the name keeps room
    // for kNameChars average characters before the count column; deeper
    // levels stay at the last level that does.
    int Indent(int level) const { return step_ * (level < deepest_ ? level : deepest_); }
    // Levels past that stand at its indentation and show their level figure.
    bool Flattened(int level) const { return level > deepest_; }
    int NameLeft(int level) const { return Indent(level) + scale_.Px(5); }
    int ExpanderLeft(int level) const { return Indent(level) - scale_.Px(10); }
    // The right edge of a flattened row's level figure: left of the
    // expander's press zone, so that a press on it never toggles the row.
    int FigureRight(int level) const { return Indent(level) - step_; }
    // Its left edge, at most: a character's width a figure, and one more.
    int FigureLeft(int level) const;
    // A press at `x` on a row of a level: on its expander's zone, or on the
    // row itself, right of that zone or on the row's level figure (drawn in
    // the row's own colours, so read as part of it).
    bool OnExpander(int level, int x) const { return Indent(level) - step_ < x && x < Indent(level); }
    bool OnRow(int level, int x) const {
        return x > Indent(level) || (Flattened(level) && x <= FigureRight(level) && x >= FigureLeft(level));
    }
    // The gap the name keeps from the column on its right.
    int ColumnGap() const { return scale_.Px(4); }

    static constexpr int kNameChars = 12;

private:
    Scale scale_;
    int step_;
    int character_;
    int deepest_;  // the deepest level indented a step further than its parent
};
