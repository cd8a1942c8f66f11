// A font selected into a DC for a scope, and what was there before put back
// at its end: a font still selected into a DC when its owner deletes it is
// not freed, and a window's DC may outlive a paint.
#pragma once

#include <windows.h>

class FontScope {
public:
    // No font: the DC's own stays.
    FontScope(HDC dc, HFONT font) : dc_(dc), old_(font ? SelectObject(dc, font) : nullptr) {}
    ~FontScope() {
        if (old_) SelectObject(dc_, old_);
    }
    FontScope(const FontScope&) = delete;
    FontScope& operator=(const FontScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};
