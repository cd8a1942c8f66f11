// Lengths of the navigator at a display's scale. Every fixed length of the
// navigator is laid out for 96 DPI and scales by dpi/96, rounded to the
// nearest pixel, so at 96 DPI each length is exactly its 96-DPI value.
// Window borders stay one pixel at every scale (the system draws them): a
// length that holds a border scales only what lies inside it.
#pragma once

#include <windows.h>

class Scale {
public:
    static constexpr int kBaseDpi = 96;

    explicit Scale(int dpi = kBaseDpi) : dpi_(dpi > 0 ? dpi : kBaseDpi) {}
    int Dpi() const { return dpi_; }
    bool IsBase() const { return dpi_ == kBaseDpi; }
    // A 96-DPI length at this scale.
    int Px(int length) const { return MulDiv(length, dpi_, kBaseDpi); }

    // The navigator's width without the scroll bar, and the scroll bar's:
    // its images' width inside a one-pixel border on each side.
    int NavigatorWidth() const { return Px(400); }
    int ScrollBarWidth() const { return Px(13) + 2; }
    int HeaderHeight() const { return Px(55); }

    // The scale of a monitor whose work area is `work`, at most: the
    // largest no greater than `dpi` at which the navigator, its scroll bar
    // and its header with a row fit the work area. Its layout is the same at
    // every scale, so a screen too small for it at its own scale shows it
    // whole at a smaller one rather than cut.
    static Scale Within(int dpi, const RECT& work) {
        Scale scale(dpi);
        const int width = work.right - work.left, height = work.bottom - work.top;
        // A row is about 20 pixels high at 96 DPI (its font's height decides).
        while (scale.dpi_ > kBaseDpi / 2 &&
               (scale.NavigatorWidth() + scale.ScrollBarWidth() > width || scale.HeaderHeight() + scale.Px(20) > height))
            --scale.dpi_;
        return scale;
    }

private:
    int dpi_;
};
