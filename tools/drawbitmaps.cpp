// Draws the navigator's bitmaps and icon, and the package's logos, into res/
// with GDI, so that they can be made again or changed in one place:
//   tools/wine-run.sh build/x86_64/drawbitmaps.exe res
// Every bitmap is drawn at each of the scales in kImageSteps, at its own size
// there (ImageSize), so that no scale shows a blown-up 100 % image: lengths,
// thicknesses and font heights all go through Scale::Px. At 100 % that is the
// identity, so those images stay exactly as they were, 24-bit. The other
// steps' bitmaps are 8-bit with a palette of their own colours, RLE8-compressed
// (24-bit, should one ever have more than 256 colours), which keeps the DLL
// small. The icon holds a 256-colour image for each step's size.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Images.h"
#include "Scale.h"

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
const COLORREF kWhite = RGB(255, 255, 255);

// Saves a drawing as res/<name><id>.bmp at 100 %, 24-bit as it always was;
// the other scales add their percentage and are compressed.
void SaveImage(Canvas& c, const std::string& dir, const char* name, int id, const Scale& s) {
    std::string file = dir + "\\" + name + std::to_string(id);
    if (!s.IsBase()) file += "_" + std::to_string(s.Px(100));
    c.Save(file + ".bmp", !s.IsBase());
}

// The expander: a framed box with a plus or a minus.
void Expander(const std::string& dir, const Scale& s, int id, bool plus, bool scanning) {
    Canvas c(ImageSize(id, s));
    COLORREF frame = scanning ? kOrangeDark : kPlainFrame;
    COLORREF fill = scanning ? RGB(255, 222, 180) : RGB(250, 252, 255);
    COLORREF sign = scanning ? kOrangeDark : kInk;
    int n = c.width, line = s.Px(1);
    c.Fill(0, 0, n, n, kTooltipBack);
    c.Fill(line, line, n - line, n - line, frame);
    c.Fill(2 * line, 2 * line, n - 2 * line, n - 2 * line, fill);
    int thick = Centred(s, 2, n), length = Centred(s, 6, n);
    int across = (n - thick) / 2, along = (n - length) / 2;
    c.Fill(along, across, along + length, across + thick, sign);
    if (plus) c.Fill(across, along, across + thick, along + length, sign);
    SaveImage(c, dir, "expander", id, s);
}

// The scroll bar's arrows: a solid triangle, one pixel at its tip (two on an
// even width), one more on each side a row.
void Arrow(const std::string& dir, const Scale& s, int id, bool up) {
    Canvas c(ImageSize(id, s));
    int w = c.width, h = c.height, line = s.Px(1);
    c.Fill(0, 0, w, h, RGB(214, 226, 238));
    c.Fill(0, 0, w, line, RGB(236, 243, 249));
    c.Fill(0, h - line, w, h, kFaceLine);
    int tip = 2 - w % 2, rows = (Centred(s, 9, w) - tip) / 2 + 1;
    int left = (w - tip) / 2, top = (h - rows) / 2;
    for (int row = 0; row < rows; ++row) {
        int y = up ? top + row : h - 1 - top - row;
        c.Fill(left - row, y, left + tip + row, y + 1, kInk);
    }
    SaveImage(c, dir, "scroll", id, s);
}

// The scroll bar's thumb: shaded across, with a grip of three lines.
void Thumb(const std::string& dir, const Scale& s) {
    Canvas c(ImageSize(IDB_SCROLL_THUMB, s));
    int w = c.width, h = c.height, line = s.Px(1);
    int left = line, right = w - line;
    c.Fill(0, 0, w, h, kTooltipBack);
    for (int x = left; x < right; ++x)
        c.Fill(x, 0, x + 1, h, Mix(RGB(150, 178, 204), RGB(110, 140, 170), (x - left) / double(right - 1 - left)));
    c.Fill(left, 0, right, line, RGB(96, 124, 152));
    c.Fill(left, h - line, right, h, RGB(96, 124, 152));
    int grip = Centred(s, 5, w), gap = s.Px(3);
    int gripLeft = (w - grip) / 2, gripTop = (h - 2 * gap - line) / 2;
    for (int i = 0; i < 3; ++i)
        c.Fill(gripLeft, gripTop + i * gap, gripLeft + grip, gripTop + i * gap + line, RGB(236, 243, 249));
    SaveImage(c, dir, "scroll", IDB_SCROLL_THUMB, s);
}

// The header band, with its close box at the right where a press closes.
void Band(const std::string& dir, const Scale& s, int id) {
    Canvas c(ImageSize(id, s));
    int w = c.width, h = c.height, line = s.Px(1);
    c.Fill(0, 0, w, h, kFace);
    c.Fill(0, 0, w, line, kFaceLight);
    c.Fill(0, h - 2 * line, w, h - line, Mix(kFace, kFaceLine, 0.5));
    c.Fill(0, h - line, w, h, kFaceLine);
    int box = s.Px(21), left = w - s.Px(27), top = s.Px(6);
    c.Fill(left, top, left + box, top + box, kOrangeDark);
    c.Fill(left + line, top + line, left + box - line, top + box - line, kOrange);
    // The X: two diagonals of strokes a row each; the stroke's width gives its
    // thickness. Its span cannot centre at 100 %, where the odd pixel is left
    // of it; the other scales keep that side.
    int rows = Centred(s, 11, box), stroke = s.Px(2);
    int x0 = left + (box - rows - stroke + 2) / 2, y0 = top + (box - rows) / 2;
    for (int i = 0; i < rows; ++i) {
        int x = x0 + i, y1 = y0 + i, y2 = y0 + rows - 1 - i;
        c.Fill(x, y1, x + stroke, y1 + 1, kWhite);
        c.Fill(x, y2, x + stroke, y2 + 1, kWhite);
    }
    SaveImage(c, dir, "header", id, s);
}

void Browse(const std::string& dir, const Scale& s) {
    Canvas c(ImageSize(IDB_BROWSE, s));
    c.Fill(0, 0, c.width, c.height, kFace);
    c.Text(s.Px(4), s.Px(1), "browse", kOrange, s.Px(16), FW_BOLD);
    SaveImage(c, dir, "browse", IDB_BROWSE, s);
}

// The scan indicator's dots: the header shows one to four of them by starting
// its window at columns Px(19), Px(13), Px(7) and Px(1).
void Dots(const std::string& dir, const Scale& s) {
    Canvas c(ImageSize(IDB_DOTS, s));
    c.Fill(0, 0, c.width, c.height, kFace);
    const int columns[4][2] = {{1, 5}, {8, 12}, {14, 19}, {21, 26}};  // first, past the last
    for (const auto& dot : columns) c.Fill(s.Px(dot[0]), s.Px(11), s.Px(dot[1]), s.Px(15), kOrange);
    SaveImage(c, dir, "dots", IDB_DOTS, s);
}

// The action popup: Open above Delete, each behind an arrow on a strip that
// does not react to presses.
void Popup(const std::string& dir, const Scale& s) {
    Canvas c(ImageSize(IDB_POPUP, s));
    int w = c.width, h = c.height, line = s.Px(1);
    int strip = s.Px(30) + 1, split = s.Px(25);  // presses at x <= Px(30) do nothing; above the split open
    c.Fill(0, 0, w, h, kTooltipBack);
    c.Fill(0, 0, strip, h, RGB(240, 240, 214));
    c.Fill(strip, 0, strip + line, h, RGB(214, 214, 190));
    c.Fill(0, split - line, w, split, RGB(214, 214, 190));
    // Each shaft is an odd number of pixels about the middle one, so that it
    // lines up with its head's point; a head narrows a pixel on each side a step.
    int middle = s.Px(12), half = s.Px(2);
    int headX = s.Px(14), reach = s.Px(6);  // Open: pointing right
    c.Fill(s.Px(6), middle - half, headX, middle + half + 1, kGreen);
    for (int i = 0; i <= reach; ++i)
        c.Fill(headX + i, middle - reach + i, headX + i + 1, middle + reach - i + 1, kGreen);
    int headY = s.Px(37), drop = s.Px(7);  // Delete: pointing down
    c.Fill(middle - half, s.Px(29), middle + half + 1, headY, kRed);
    for (int i = 0; i <= drop; ++i)
        c.Fill(middle - drop + i, headY + i, middle + drop - i + 1, headY + i + 1, kRed);
    c.Text(s.Px(40), s.Px(4), "Open", kInk, s.Px(14), FW_BOLD);
    c.Text(s.Px(40), s.Px(29), "Delete", kInk, s.Px(14), FW_BOLD);
    SaveImage(c, dir, "popup", IDB_POPUP, s);
}

// The menu item's image: a blue disc with a dark cross-hair on white.
void MenuImage(Canvas& c, const Scale& s) {
    int n = c.width;
    double k = n / 16.0, middle = (n - 1) / 2.0;
    c.Fill(0, 0, n, n, kWhite);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double d = std::hypot(x - middle, y - middle);
            if (d <= 6.5 * k) c.Set(x, y, Mix(RGB(90, 160, 240), kBlue, d / (6.5 * k)));
            else if (d <= 7.3 * k) c.Set(x, y, Mix(kBlue, kWhite, (d - 6.5 * k) / (0.8 * k)));
        }
    int thick = Centred(s, 2, n), length = Centred(s, 12, n);
    int across = (n - thick) / 2, along = (n - length) / 2;
    c.Fill(across, along, across + thick, along + length, RGB(20, 30, 60));
    c.Fill(along, across, along + length, across + thick, RGB(20, 30, 60));
}

void Menu(const std::string& dir, const Scale& s) {
    Canvas c(ImageSize(IDB_MENU, s));
    MenuImage(c, s);
    SaveImage(c, dir, "menu", IDB_MENU, s);
}

// One image of the icon as an icon file holds it: a bitmap header twice the
// height, 256 colours, the colour rows, then the mask rows with white clear.
std::string IconImage(const Scale& s) {
    Canvas c(ImageSize(IDB_MENU, s));
    MenuImage(c, s);
    GdiFlush();
    const int n = c.width;
    std::vector<COLORREF> palette;
    std::vector<unsigned char> index(n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            COLORREF pixel = c.Get(x, y);
            size_t at = 0;
            while (at < palette.size() && palette[at] != pixel) ++at;
            if (at == palette.size()) palette.push_back(pixel);
            index[y * n + x] = static_cast<unsigned char>(at);
        }
    if (palette.size() > 256) {
        fprintf(stderr, "the %dx%d icon has more than 256 colours\n", n, n);
        exit(1);
    }
    palette.resize(256, 0);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = n;
    info.biHeight = 2 * n;  // the colour rows and the mask rows
    info.biPlanes = 1;
    info.biBitCount = 8;
    const int colourStride = (n + 3) / 4 * 4, maskStride = (n + 31) / 32 * 4;
    std::string image(reinterpret_cast<const char*>(&info), sizeof info);
    for (COLORREF colour : palette)
        image += {char(GetBValue(colour)), char(GetGValue(colour)), char(GetRValue(colour)), 0};
    for (int y = n - 1; y >= 0; --y) {
        std::string row(colourStride, '\0');
        for (int x = 0; x < n; ++x) row[x] = static_cast<char>(index[y * n + x]);
        image += row;
    }
    for (int y = n - 1; y >= 0; --y) {
        std::string row(maskStride, '\0');
        for (int x = 0; x < n; ++x)
            if (c.Get(x, y) == kWhite) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        image += row;
    }
    return image;
}

// The navigator's icon: the menu image at each step's size.
void Icon(const std::string& dir) {
    std::vector<std::string> images;
    for (int dpi : kImageSteps) images.push_back(IconImage(Scale(dpi)));
#pragma pack(push, 1)
    struct {
        WORD reserved, type, count;
    } header = {0, 1, static_cast<WORD>(images.size())};
    struct Entry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD size, offset;
    };
#pragma pack(pop)
    FILE* out = fopen((dir + "\\tolv117.ico").c_str(), "wb");
    if (!out) exit(1);
    fwrite(&header, sizeof header, 1, out);
    DWORD offset = sizeof header + images.size() * sizeof(Entry);
    for (int step = 0; step < kImageStepCount; ++step) {
        BYTE n = static_cast<BYTE>(ImageSize(IDB_MENU, Scale(kImageSteps[step])).cx);
        Entry entry = {n, n, 0, 0, 1, 8, static_cast<DWORD>(images[step].size()), offset};
        fwrite(&entry, sizeof entry, 1, out);
        offset += entry.size;
    }
    for (const std::string& image : images) fwrite(image.data(), image.size(), 1, out);
    if (fclose(out) != 0) exit(1);
}

// The package's logos, the menu image at the sizes its manifest asks for
// (the store's 50 px, the start menu's 150 and 44 px); the package is made
// with them as PNG files.
void Logos(const std::string& dir) {
    for (int size : {44, 50, 150}) {
        Canvas c(SIZE{size, size});
        MenuImage(c, Scale(96 * size / 16));
        c.Save(dir + "\\package\\logo" + std::to_string(size) + ".bmp", false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "res";
    for (int dpi : kImageSteps) {
        Scale s(dpi);
        Expander(dir, s, IDB_PLUS, true, false);
        Expander(dir, s, IDB_MINUS, false, false);
        Expander(dir, s, IDB_MINUS_SCANNING, false, true);
        Expander(dir, s, IDB_PLUS_SCANNING, true, true);
        Arrow(dir, s, IDB_SCROLL_DOWN, false);
        Thumb(dir, s);
        Arrow(dir, s, IDB_SCROLL_UP, true);
        Band(dir, s, IDB_HEADER_NARROW);
        Band(dir, s, IDB_HEADER_WIDE);
        Browse(dir, s);
        Dots(dir, s);
        Popup(dir, s);
        Menu(dir, s);
    }
    Icon(dir);
    Logos(dir);
    printf("images written to %s\n", dir.c_str());
    return 0;
}
