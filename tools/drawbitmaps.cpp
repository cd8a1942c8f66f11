// Draws the navigator's bitmaps and icon into res/ with GDI, so that they can be
// made again or changed in one place:
//   tools/wine-run.sh build/x86_64/drawbitmaps.exe res
// Every image is a 24-bit bitmap; the icon is 16x16 with 256 colours.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ToolSupport.h"

namespace {

// The palette the images share.
const COLORREF kFace = RGB(205, 222, 235);     // the header band, where text is drawn
const COLORREF kFaceLine = RGB(160, 182, 200); // the band's lower edge
const COLORREF kFaceLight = RGB(226, 236, 244);
const COLORREF kOrange = RGB(240, 132, 32);
const COLORREF kOrangeDark = RGB(196, 98, 16);
const COLORREF kGreen = RGB(46, 160, 67);
const COLORREF kRed = RGB(214, 56, 48);
const COLORREF kInk = RGB(60, 66, 74);
const COLORREF kTooltipBack = RGB(255, 255, 225);
const COLORREF kPlainFrame = RGB(120, 130, 142);
const COLORREF kBlue = RGB(40, 110, 210);

struct Canvas {
    int width, height;
    HDC dc;
    HBITMAP bitmap, old;
    unsigned char* bits;

    Canvas(int w, int h) : width(w), height(h) {
        void* pixels = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap24(dc, w, h, &pixels);
        bits = static_cast<unsigned char*>(pixels);
        old = static_cast<HBITMAP>(SelectObject(dc, bitmap));
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
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
COLORREF Mix(COLORREF a, COLORREF b, double t) {
    auto channel = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

// The 12x12 expander: a framed box with a plus or a minus.
void Expander(const std::string& dir, int id, bool plus, bool scanning) {
    Canvas c(12, 12);
    COLORREF frame = scanning ? kOrangeDark : kPlainFrame;
    COLORREF fill = scanning ? RGB(255, 222, 180) : RGB(250, 252, 255);
    COLORREF sign = scanning ? kOrangeDark : kInk;
    c.Fill(0, 0, 12, 12, kTooltipBack);
    c.Fill(1, 1, 11, 11, frame);
    c.Fill(2, 2, 10, 10, fill);
    c.Fill(3, 5, 9, 7, sign);
    if (plus) c.Fill(5, 3, 7, 9, sign);
    c.Save(dir + "\\expander" + std::to_string(id) + ".bmp");
}

// The scroll bar's pieces, 13 pixels wide.
void Arrow(const std::string& dir, int id, bool up) {
    Canvas c(13, 20);
    c.Fill(0, 0, 13, 20, RGB(214, 226, 238));
    c.Fill(0, 0, 13, 1, RGB(236, 243, 249));
    c.Fill(0, 19, 13, 20, kFaceLine);
    for (int row = 0; row < 5; ++row) {  // a solid triangle, 9 wide at its base
        int y = up ? 7 + row : 12 - row;
        c.Fill(6 - row, y, 7 + row, y + 1, kInk);
    }
    c.Save(dir + "\\scroll" + std::to_string(id) + ".bmp");
}

void Thumb(const std::string& dir) {
    Canvas c(13, 32);
    c.Fill(0, 0, 13, 32, kTooltipBack);
    for (int x = 1; x < 12; ++x)
        c.Fill(x, 0, x + 1, 32, Mix(RGB(150, 178, 204), RGB(110, 140, 170), (x - 1) / 10.0));
    c.Fill(1, 0, 12, 1, RGB(96, 124, 152));
    c.Fill(1, 31, 12, 32, RGB(96, 124, 152));
    for (int y = 12; y <= 19; y += 3) c.Fill(4, y, 9, y + 1, RGB(236, 243, 249));  // grip
    c.Save(dir + "\\scroll108.bmp");
}

// The header band with its close box at `closeLeft`.
void Band(const std::string& dir, int id, int width, int closeLeft) {
    Canvas c(width, 50);
    c.Fill(0, 0, width, 50, kFace);
    c.Fill(0, 0, width, 1, kFaceLight);
    c.Fill(0, 48, width, 49, Mix(kFace, kFaceLine, 0.5));
    c.Fill(0, 49, width, 50, kFaceLine);
    // Close box: 21x21, an orange square with a white X.
    c.Fill(closeLeft, 6, closeLeft + 21, 27, kOrangeDark);
    c.Fill(closeLeft + 1, 7, closeLeft + 20, 26, kOrange);
    for (int i = 0; i < 11; ++i) {
        int x = closeLeft + 5 + i, y1 = 11 + i, y2 = 21 - i;
        c.Fill(x, y1, x + 2, y1 + 1, RGB(255, 255, 255));
        c.Fill(x, y2, x + 2, y2 + 1, RGB(255, 255, 255));
    }
    c.Save(dir + "\\header" + std::to_string(id) + ".bmp");
}

void Browse(const std::string& dir) {
    Canvas c(70, 20);
    c.Fill(0, 0, 70, 20, kFace);
    c.Text(4, 1, "browse", kOrange, 16, FW_BOLD);
    c.Save(dir + "\\browse113.bmp");
}

void Dots(const std::string& dir) {
    Canvas c(70, 20);
    c.Fill(0, 0, 70, 20, kFace);
    const int columns[4][2] = {{1, 4}, {8, 11}, {14, 18}, {21, 25}};
    for (const auto& dot : columns) c.Fill(dot[0], 11, dot[1] + 1, 15, kOrange);
    c.Save(dir + "\\dots114.bmp");
}

void Popup(const std::string& dir) {
    Canvas c(120, 50);
    for (int half = 0; half < 2; ++half) {
        int top = half * 25;
        c.Fill(0, top, 120, top + 25, kTooltipBack);
        c.Fill(0, top, 31, top + 25, RGB(240, 240, 214));
        c.Fill(31, top, 32, top + 25, RGB(214, 214, 190));
    }
    c.Fill(0, 24, 120, 25, RGB(214, 214, 190));
    // Open: a green arrow pointing right, columns 6 to 20.
    c.Fill(6, 10, 14, 15, kGreen);
    for (int i = 0; i < 7; ++i) c.Fill(14 + i, 6 + i, 15 + i, 19 - i, kGreen);
    // Delete: a red arrow pointing down, columns 5 to 19.
    c.Fill(10, 29, 15, 37, kRed);
    for (int i = 0; i < 8; ++i) c.Fill(5 + i, 37 + i, 20 - i, 38 + i, kRed);
    c.Text(40, 4, "Open", kInk, 14, FW_BOLD);
    c.Text(40, 29, "Delete", kInk, 14, FW_BOLD);
    c.Save(dir + "\\popup115.bmp");
}

// The menu item's image: a blue disc with a dark cross-hair on white.
void MenuImage(Canvas& c) {
    c.Fill(0, 0, 16, 16, RGB(255, 255, 255));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            double d = std::hypot(x - 7.5, y - 7.5);
            if (d <= 6.5) c.Set(x, y, Mix(RGB(90, 160, 240), kBlue, d / 6.5));
            else if (d <= 7.3) c.Set(x, y, Mix(kBlue, RGB(255, 255, 255), (d - 6.5) / 0.8));
        }
    c.Fill(7, 2, 9, 14, RGB(20, 30, 60));
    c.Fill(2, 7, 14, 9, RGB(20, 30, 60));
}

void Menu(const std::string& dir) {
    Canvas c(16, 16);
    MenuImage(c);
    c.Save(dir + "\\menu116.bmp");
}

// The navigator's small icon: the menu image, 256 colours, white made clear.
void Icon(const std::string& dir) {
    Canvas c(16, 16);
    MenuImage(c);
    GdiFlush();
    std::vector<COLORREF> palette;
    unsigned char index[16][16];
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            COLORREF pixel = c.Get(x, y);
            size_t at = 0;
            while (at < palette.size() && palette[at] != pixel) ++at;
            if (at == palette.size()) palette.push_back(pixel);
            index[y][x] = static_cast<unsigned char>(at);
        }
    palette.resize(256, 0);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = 16;
    info.biHeight = 32;  // the colour rows and the mask rows
    info.biPlanes = 1;
    info.biBitCount = 8;
    const DWORD mask = 16 * 4;  // 1 bit a pixel, rows padded to 4 bytes
    DWORD bytes = sizeof info + 256 * 4 + 16 * 16 + mask;
#pragma pack(push, 1)
    struct {
        WORD reserved, type, count;
        BYTE width, height, colours, reserved2;
        WORD planes, bits;
        DWORD size, offset;
    } header = {0, 1, 1, 16, 16, 0, 0, 1, 8, bytes, 22};
#pragma pack(pop)
    FILE* out = fopen((dir + "\\tolv117.ico").c_str(), "wb");
    if (!out) exit(1);
    fwrite(&header, sizeof header, 1, out);
    fwrite(&info, sizeof info, 1, out);
    for (COLORREF colour : palette) {
        BYTE quad[4] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
        fwrite(quad, 4, 1, out);
    }
    for (int y = 15; y >= 0; --y) fwrite(index[y], 16, 1, out);
    for (int y = 15; y >= 0; --y) {
        BYTE row[4] = {0, 0, 0, 0};
        for (int x = 0; x < 16; ++x)
            if (c.Get(x, y) == RGB(255, 255, 255)) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        fwrite(row, 4, 1, out);
    }
    fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "res";
    Expander(dir, 103, true, false);
    Expander(dir, 104, false, false);
    Expander(dir, 110, false, true);
    Expander(dir, 111, true, true);
    Arrow(dir, 107, false);
    Thumb(dir);
    Arrow(dir, 109, true);
    Band(dir, 105, 400, 373);
    Band(dir, 112, 415, 388);
    Browse(dir);
    Dots(dir);
    Popup(dir);
    Menu(dir);
    Icon(dir);
    printf("images written to %s\n", dir.c_str());
    return 0;
}
