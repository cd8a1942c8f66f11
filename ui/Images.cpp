#include "Images.h"

namespace {

// Resource `resourceId` at `size`: as stored when it has that size already
// (a step's own drawing, never resampled), else resampled with smoothing.
HBITMAP LoadAtSize(HINSTANCE instance, int resourceId, SIZE size) {
    // A section keeps the file's 24-bit pixels, so that resampling works on
    // them and not on a copy reduced to the display's depth.
    auto image = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!image) return nullptr;
    BITMAP drawn;
    if (!GetObjectW(image, sizeof drawn, &drawn) || size.cx <= 0 || size.cy <= 0) {
        DeleteObject(image);
        return nullptr;
    }
    if (drawn.bmWidth == size.cx && drawn.bmHeight == size.cy) return image;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP resized = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
    bool done = false;
    if (resized && from && to) {
        HGDIOBJ oldFrom = SelectObject(from, image), oldTo = SelectObject(to, resized);
        // HALFTONE averages the source pixels that fall on each destination
        // pixel; it leaves the brush origin undefined, so it is set after.
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        done = StretchBlt(to, 0, 0, size.cx, size.cy, from, 0, 0, drawn.bmWidth, drawn.bmHeight, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    DeleteObject(image);
    if (!done && resized) {
        DeleteObject(resized);
        resized = nullptr;
    }
    return resized;
}

}  // namespace

HBITMAP LoadScaledBitmap(HINSTANCE instance, int id, const Scale& scale) {
    int step = 0;
    while (step + 1 < kImageStepCount && kImageSteps[step] < scale.Dpi()) ++step;
    return LoadAtSize(instance, ScaledImageId(id, step), ImageSize(id, scale));
}

HBITMAP LoadBitmapForSize(HINSTANCE instance, int id, int pixels) {
    int step = 0;
    while (step + 1 < kImageStepCount && ImageSize(id, Scale(kImageSteps[step])).cx < pixels) ++step;
    SIZE drawn = ImageSize(id, Scale(kImageSteps[step]));
    if (drawn.cx <= 0) return nullptr;
    return LoadAtSize(instance, ScaledImageId(id, step), SIZE{pixels, MulDiv(drawn.cy, pixels, drawn.cx)});
}

HICON LoadIconForSize(HINSTANCE instance, int id, int pixels) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, pixels, pixels, LR_DEFAULTCOLOR));
}
