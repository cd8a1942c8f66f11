// The bitmap tool's drawing surface and the lengths it draws with at a scale.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Scale.h"
#include "ToolSupport.h"

// Bottom-up 24-bit pixels (rows padded to 4 bytes) as indexes into a palette
// of the colours they use, in the order they first come; false when there are
// more than 256.
inline bool Palettize(int width, int height, const unsigned char* bits, std::vector<RGBQUAD>* palette,
                      std::vector<unsigned char>* indexes) {
    const int stride = (width * 3 + 3) & ~3;
    palette->clear();
    indexes->assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = bits + y * stride + x * 3;
            RGBQUAD colour{p[0], p[1], p[2], 0};
            size_t at = 0;
            while (at < palette->size() && memcmp(&(*palette)[at], &colour, sizeof colour) != 0) ++at;
            if (at == 256) return false;
            if (at == palette->size()) palette->push_back(colour);
            (*indexes)[y * width + x] = static_cast<unsigned char>(at);
        }
    return true;
}

// Appends a row of palette indexes in BI_RLE8: a run of three or more equal
// pixels as its length (at most 255) and their index; the pixels between runs
// in absolute mode (0, their number, their indexes, padded to an even length),
// which takes 3 to 255 of them; one or two as runs of their own.
inline void AppendRle8Row(const unsigned char* row, int width, std::string* out) {
    auto run = [row](int x, int end) {  // equal pixels from x, before end
        int to = x + 1;
        while (to < end && to - x < 255 && row[to] == row[x]) ++to;
        return to - x;
    };
    auto put = [out](int byte) { out->push_back(static_cast<char>(byte)); };
    for (int x = 0; x < width;) {
        int start = x;
        while (x < width && x - start < 255 && run(x, width) < 3) ++x;
        if (x - start >= 3) {
            put(0);
            put(x - start);
            out->append(reinterpret_cast<const char*>(row + start), x - start);
            if ((x - start) % 2) put(0);
        } else {
            for (int at = start, n; at < x; at += n) {
                n = run(at, x);
                put(n);
                put(row[at]);
            }
        }
        if (x < width) {
            int n = run(x, width);
            put(n);
            put(row[x]);
            x += n;
        }
    }
}

// Writes bottom-up palette indexes as an 8-bit .bmp compressed with BI_RLE8:
// each row ends with an end of line, the last with the end of the bitmap.
inline bool SaveBitmapRle8(const char* file, int width, int height, const std::vector<RGBQUAD>& palette,
                           const std::vector<unsigned char>& indexes) {
    std::string data;
    for (int y = 0; y < height; ++y) {
        AppendRle8Row(&indexes[static_cast<size_t>(y) * width], width, &data);
        data.push_back(0);
        data.push_back(y + 1 < height ? 0 : 1);
    }
    BITMAPINFOHEADER info{};
    info.biWidth = width;
    info.biHeight = height;
    info.biBitCount = 8;
    info.biCompression = BI_RLE8;
    info.biSizeImage = static_cast<DWORD>(data.size());
    return SaveBitmapFile(file, info, palette.data(), palette.size(), data.data());
}

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
    // Saves the canvas as a 24-bit .bmp; `compressed`, as an 8-bit one with
    // its own palette in BI_RLE8 when it has at most 256 colours.
    void Save(const std::string& path, bool compressed) {
        GdiFlush();
        std::vector<RGBQUAD> palette;
        std::vector<unsigned char> indexes;
        bool saved = compressed && Palettize(width, height, bits, &palette, &indexes)
                         ? SaveBitmapRle8(path.c_str(), width, height, palette, indexes)
                         : SaveBitmap24(path.c_str(), width, height, bits);
        if (!saved) {
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
