// The navigator's images at a display's scale. Each bitmap is drawn crisp for
// four scales (tools/drawbitmaps.cpp); a scale between them takes the next
// larger drawing shrunk, so that an image is only ever made smaller, where
// smoothing loses the least.
#pragma once

#include <windows.h>

#include "Scale.h"
#include "resource.h"

// The DPIs that have images drawn for them: 100, 125, 150 and 200 %.
constexpr int kImageSteps[] = {96, 120, 144, 192};
constexpr int kImageStepCount = sizeof kImageSteps / sizeof kImageSteps[0];

// The resource id of image `id` (its 100 % id) as drawn for step `step`.
constexpr int ScaledImageId(int id, int step) { return id + 1000 * step; }

// The size the navigator's layout gives image `id` at a scale, which is also
// the size its drawing for a step has. The wide band spans the navigator and
// its scroll bar, whose border stays one pixel on each side.
inline SIZE ImageSize(int id, const Scale& scale) {
    switch (id) {
    case IDB_PLUS:
    case IDB_MINUS:
    case IDB_MINUS_SCANNING:
    case IDB_PLUS_SCANNING:
        return {scale.Px(12), scale.Px(12)};
    case IDB_SCROLL_DOWN:
    case IDB_SCROLL_UP:
        return {scale.Px(13), scale.Px(20)};
    case IDB_SCROLL_THUMB:
        return {scale.Px(13), scale.Px(32)};
    case IDB_HEADER_NARROW:
        return {scale.NavigatorWidth(), scale.Px(50)};
    case IDB_HEADER_WIDE:
        return {scale.NavigatorWidth() + scale.ScrollBarWidth(), scale.Px(50)};
    case IDB_BROWSE:
    case IDB_DOTS:
        return {scale.Px(70), scale.Px(20)};
    case IDB_POPUP:
        return {scale.Px(120), scale.Px(50)};
    case IDB_MENU:
        return {scale.Px(16), scale.Px(16)};
    }
    return {0, 0};
}

// Image `id` at exactly ImageSize(id, scale), as a 24-bit section: it keeps
// the drawing's own pixels whatever the display's depth, and a pane's BitBlt
// shows them as it shows LoadBitmapW's. The caller owns it (DeleteObject);
// null when the resource cannot be loaded.
HBITMAP LoadScaledBitmap(HINSTANCE instance, int id, const Scale& scale);
// Image `id` `pixels` wide, its height in proportion (the menu's image is
// square): the smallest drawing at least that wide, shrunk when it is wider.
HBITMAP LoadBitmapForSize(HINSTANCE instance, int id, int pixels);
// The icon group's image for a square of `pixels`; the caller owns it (DestroyIcon).
HICON LoadIconForSize(HINSTANCE instance, int id, int pixels);

// One image of a pane at the pane's scale, selected into a memory DC of its
// own, which the pane's paints copy from. Loaded at a first paint, released
// with the pane or when the scale changes.
class PaneImage {
public:
    PaneImage() = default;
    ~PaneImage() { Release(); }
    PaneImage(const PaneImage&) = delete;
    PaneImage& operator=(const PaneImage&) = delete;

    // Image `id` at the scale, in a DC compatible with `dc`.
    void Load(HINSTANCE instance, int id, const Scale& scale, HDC dc);
    void Release();
    bool Loaded() const { return dc_ != nullptr; }
    HDC Dc() const { return dc_; }

private:
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};
