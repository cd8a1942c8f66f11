// The navigator at each display scale, as Explorer's users see it: the
// prefix's DPI set (tools/scale-test.sh gives these tests a prefix of their
// own), the navigator opened through the shell host, its pixels read back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Programs.h"
#include "TempTree.h"

namespace {

int Px(int length, int dpi) { return MulDiv(length, dpi, 96); }

// A 24-bit bitmap file as the shell host saves it.
struct Picture {
    int width = 0, height = 0;
    std::string pixels;  // bottom-up rows, each padded to 4 bytes
    bool Read(const std::string& file) {
        std::string bytes = FileBytes(file);
        if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return false;
        auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data() + sizeof(BITMAPFILEHEADER));
        width = info->biWidth;
        height = info->biHeight;
        pixels = bytes.substr(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
        return info->biBitCount == 24 && pixels.size() >= static_cast<size_t>(Stride() * height);
    }
    int Stride() const { return (width * 3 + 3) & ~3; }
    COLORREF At(int x, int y) const {
        auto* p = reinterpret_cast<const uint8_t*>(pixels.data()) + (height - 1 - y) * Stride() + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
    bool Dark(int x, int y) const {
        COLORREF c = At(x, y);
        return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128;
    }
    uint64_t Digest() const {
        uint64_t digest = 14695981039346656037ull;
        for (unsigned char c : pixels) digest = (digest ^ c) * 1099511628211ull;
        return digest;
    }
};

// The prefix's display scale for the programs started after it is set.
class PrefixDpi {
public:
    explicit PrefixDpi(int dpi) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        DWORD value = static_cast<DWORD>(dpi);
        set_ = RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value) == 0;
        RegCloseKey(key);
    }
    ~PrefixDpi() { RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels"); }
    bool Set() const { return set_; }

private:
    bool set_ = false;
};

class Scales : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DWORD code = 1;
        Capture("regsvr32.exe /s \"" + BuildDir() + "\\Tolv.dll\"", &code);
        ASSERT_EQ(code, 0u);
        // Two folders of known counts and sizes, and two files of the same
        // sizes: a file's row shows the size text alone, where a folder's
        // shows it beside the count.
        tree_ = new TempTree("C:\\tolv-scale");
        ASSERT_TRUE(tree_->Host("mkdir videos photos && (cd videos && seq 9599 | sed 's/^/v/' | xargs touch && "
                                "truncate -s 210078000 big.bin) && (cd photos && seq 3819 | sed 's/^/p/' | xargs touch "
                                "&& truncate -s 190344000 big.jpg) && truncate -s 210078000 clip.bin && "
                                "truncate -s 190344000 shot.jpg && truncate -s 1500 notes.txt"));
    }
    static void TearDownTestSuite() {
        delete tree_;
        DWORD code = 0;
        Capture("regsvr32.exe /s /u /n /i:quiet \"" + BuildDir() + "\\Tolv.dll\"", &code);
    }
    // The navigator as the shell opens it at a DPI, once its scan has ended.
    static Picture Open(int dpi) {
        PrefixDpi scale(dpi);
        EXPECT_TRUE(scale.Set());
        std::string file = BuildDir() + "\\scale-" + std::to_string(dpi) + ".bmp";
        DeleteFileA(file.c_str());
        DWORD code = 1;
        std::string output = Capture("\"" + BuildDir() + "\\shellhost.exe\" C:\\tolv-scale --at 200,120 --wait 60000 "
                                     "--screenshot \"" + file + "\" --close",
                                     &code);
        EXPECT_EQ(code, 0u) << output;
        Picture picture;
        EXPECT_TRUE(picture.Read(file)) << output;
        return picture;
    }
    static TempTree* tree_;
};
TempTree* Scales::tree_;

// The same tree at 96 DPI, in the navigator's first version: every pixel as
// it was drawn before the navigator knew of scales.
constexpr uint64_t kPictureAt96 = 0x4361fc3cf1415ff7;

TEST_F(Scales, EachScaleLaysOutTheNavigatorAsAt96) {
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        Picture shown = Open(dpi);
        ASSERT_GT(shown.width, 0);
        // Five rows below the header, no scroll bar.
        EXPECT_EQ(shown.width, Px(400, dpi));
        int rowHeight = (shown.height - Px(55, dpi)) / 5;
        EXPECT_EQ(shown.height, Px(55, dpi) + 5 * rowHeight);
        EXPECT_GT(rowHeight, Px(12, dpi));
        // The header's band and its texts end above the header's own bottom:
        // the rows between show the window's pale background alone.
        for (int y = 1 + Px(50, dpi); y <= Px(55, dpi); ++y)  // the window's border above
            for (int x = 1; x < shown.width - 1; ++x)
                ASSERT_EQ(shown.At(x, y), RGB(255, 255, 225)) << x << "," << y;
        // Each folder's count ends left of its size, with a scaled gap: the
        // size's pixels are those of the file row of the same size, and the
        // columns just before them are empty.
        const int top = 1 + Px(55, dpi);
        for (int folder : {0, 1}) {
            int y0 = top + folder * rowHeight, y1 = top + (folder + 2) * rowHeight;
            int sizeLeft = shown.width;
            for (int x = shown.width / 2; x < shown.width && sizeLeft == shown.width; ++x)
                for (int y = 0; y < rowHeight; ++y)
                    if (shown.Dark(x, y1 + y)) sizeLeft = x;
            ASSERT_LT(sizeLeft, shown.width - Px(15, dpi)) << "row " << folder;
            bool count = false;
            for (int y = 0; y < rowHeight; ++y) {
                for (int x = sizeLeft; x < shown.width; ++x)
                    ASSERT_EQ(shown.At(x, y0 + y), shown.At(x, y1 + y)) << "row " << folder << ": " << x << "," << y;
                for (int x = sizeLeft - Px(4, dpi); x < sizeLeft; ++x)
                    ASSERT_FALSE(shown.Dark(x, y0 + y)) << "row " << folder << ": " << x << "," << y;
                for (int x = shown.width / 2; x < sizeLeft - Px(4, dpi); ++x) count = count || shown.Dark(x, y0 + y);
            }
            EXPECT_TRUE(count) << "row " << folder;
        }
        if (dpi == 96) {
            EXPECT_EQ(shown.Digest(), kPictureAt96);
        }
    }
}

}  // namespace
