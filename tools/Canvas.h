// The bitmap tool's drawing surface and the lengths it draws with at a scale.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Scale.h"
#include "ToolSupport.h"

// A 24-bit bitmap drawn with GDI and saved as a .bmp file.
struct Canvas {
    int width, height;
    HDC dc;
    HBITMAP bitmap, old;
    unsigned char* bits;

    explicit Canvas(SIZE size) : width(size.cx), height(size.cy) {
        void* pixels = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap24(dc, width, height, &pixels);
        bits = static_cast<unsigned char*>(pixels);
        old = static_cast<HBITMAP>(SelectObject(dc, bitmap));
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void Fill(int l, int t, int r, int b, COLORREF c) {
        HBRUSH brush = CreateSolidBrush(c);
        RECT rect{l, t, r, b};
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
    void Set(int x, int y, COLORREF c) { SetPixelV(dc, x, y, c); }
    COLORREF Get(int x, int y) { return GetPixel(dc, x, y); }
    void Text(int x, int y, const char* text, COLORREF c, int height, int weight, const char* face = "Tahoma") {
        HFONT font = CreateFontA(-height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 ANTIALIASED_QUALITY, DEFAULT_PITCH, face);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, c);
        TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    void Save(const std::string& path) {
        GdiFlush();
        if (!SaveBitmap24(path.c_str(), width, height, bits)) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            exit(1);
        }
    }
};

// A blend of two colours, t from 0 (a) to 1 (b).
inline COLORREF Mix(COLORREF a, COLORREF b, double t) {
    auto channel = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

// A 96-DPI length of a feature centred in `room` pixels, at a scale. When the
// scaled length and the room differ in parity the feature would lean half a
// pixel to one side, so it takes the neighbouring length nearer its exact
// scaled value instead (the shorter one on a tie).
inline int Centred(const Scale& s, int length, int room) {
    int scaled = s.Px(length);
    if ((room - scaled) % 2 == 0) return scaled;
    int exact = length * s.Dpi();  // in 96ths of a pixel
    int shorter = std::abs((scaled - 1) * Scale::kBaseDpi - exact);
    int longer = std::abs((scaled + 1) * Scale::kBaseDpi - exact);
    return scaled > 1 && shorter <= longer ? scaled - 1 : scaled + 1;
}
