#include "Images.h"

namespace {

HBITMAP Section24(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// Bitmap resource `resourceId` as a 24-bit section of its own size. The
// resource is a packed DIB (header, palette, pixels): 24-bit at 100 %, 8-bit
// and RLE8-compressed at the other steps (tools/drawbitmaps.cpp), neither with
// bit-field masks. CreateDIBSection refuses RLE, and so may LoadImageW's
// LR_CREATEDIBSECTION; SetDIBits decodes it. The section keeps the drawing's
// colours whatever the display's depth, so that resampling works on them and
// not on a copy reduced to that depth.
HBITMAP LoadDrawing(HINSTANCE instance, int resourceId) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(2));  // RT_BITMAP
    HGLOBAL resource = found ? LoadResource(instance, found) : nullptr;
    auto info = resource ? static_cast<const BITMAPINFO*>(LockResource(resource)) : nullptr;
    if (!info) return nullptr;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    DWORD colours = header.biClrUsed ? header.biClrUsed : header.biBitCount <= 8 ? 1u << header.biBitCount : 0;
    const BYTE* pixels = reinterpret_cast<const BYTE*>(info) + header.biSize + colours * sizeof(RGBQUAD);
    HBITMAP drawn = Section24(header.biWidth, header.biHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    if (drawn && (!dc || !SetDIBits(dc, drawn, 0, header.biHeight, pixels, info, DIB_RGB_COLORS))) {
        DeleteObject(drawn);
        drawn = nullptr;
    }
    if (dc) DeleteDC(dc);
    return drawn;
}

// Resource `resourceId` at `size`: as drawn when it has that size already
// (a step's own drawing, never resampled), else resampled with smoothing.
HBITMAP LoadAtSize(HINSTANCE instance, int resourceId, SIZE size) {
    HBITMAP image = size.cx > 0 && size.cy > 0 ? LoadDrawing(instance, resourceId) : nullptr;
    BITMAP drawn;
    if (!image || !GetObjectW(image, sizeof drawn, &drawn)) {
        if (image) DeleteObject(image);
        return nullptr;
    }
    if (drawn.bmWidth == size.cx && drawn.bmHeight == size.cy) return image;

    HBITMAP resized = Section24(size.cx, size.cy);
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

void PaneImage::Load(HINSTANCE instance, int id, const Scale& scale, HDC dc) {
    Release();
    bitmap_ = LoadScaledBitmap(instance, id, scale);
    dc_ = CreateCompatibleDC(dc);
    if (dc_) old_ = SelectObject(dc_, bitmap_);
}

void PaneImage::Release() {
    if (dc_) {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    old_ = nullptr;
}
