// LoadBitmapA over the resource DLL the build makes (tests/modules/ResourceDlls.cmake): its
// bitmaps hold the bytes (i * 37 + seed) & 255 from the colour table on.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

BYTE Pattern(int i, int seed) { return BYTE((i * 37 + seed) & 255); }

// The picture GDI must make of such a bitmap of 1 or 24 bits (bottom-up rows).
Pixels Decode(int w, int h, int bpp, int colors, int seed)
{
    const int stride = ((w * bpp + 31) / 32) * 4, bits = 4 * colors;
    Pixels px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int row = bits + (h - 1 - y) * stride;
            if (bpp == 24) {
                const int at = row + 3 * x;
                px.push_back(RGB(Pattern(at + 2, seed), Pattern(at + 1, seed), Pattern(at, seed)));
            } else {
                const int index = (Pattern(row + x / 8, seed) >> (7 - x % 8)) & 1;
                px.push_back(RGB(Pattern(4 * index + 2, seed), Pattern(4 * index + 1, seed), Pattern(4 * index, seed)));
            }
        }
    return px;
}

class ImageResource : public ImageTest {
protected:
    void SetUp() override
    {
        ImageTest::SetUp();
        module_ = LoadLibraryExA(LOBBYKIT_IMAGE_RES_DIR "/res64.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override
    {
        if (module_) FreeLibrary(module_);
        ImageTest::TearDown();
    }
    HMODULE module_ = nullptr;
};

}  // namespace

TEST_F(ImageResource, BitmapsLoadByTheLowSixteenBitsOfTheirId)
{
    struct { UINT id; int w, h, bpp, colors, seed; } cases[] = {
        {7, 3, 2, 24, 0, 29}, {0x10007, 3, 2, 24, 0, 29}, {300, 9, 2, 1, 2, 53},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        CImage img;
        ASSERT_EQ(1, img.LoadBitmapA(c.id, module_));
        EXPECT_EQ(c.w, img.m_nWidth);
        EXPECT_EQ(c.h, img.m_nHeight);
        EXPECT_EQ(c.colors != 0, img.m_hPalette != nullptr);
        EXPECT_EQ(Decode(c.w, c.h, c.bpp, c.colors, c.seed), ReadPixels(img.m_hBitmap, c.w, c.h));
    }
    // 8 bits, 4 colours: a palette of the 4 entries of the table, all kept from collapsing.
    CImage img;
    ASSERT_EQ(1, img.LoadBitmapA(1, module_));
    EXPECT_EQ(5, img.m_nWidth);
    PALETTEENTRY pe[8];
    ASSERT_EQ(4u, GetPaletteEntries(img.m_hPalette, 0, 8, pe));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Pattern(4 * i + 2, 11), pe[i].peRed);
        EXPECT_EQ(Pattern(4 * i, 11), pe[i].peBlue);
        EXPECT_EQ(PC_NOCOLLAPSE, pe[i].peFlags);
    }
}

TEST_F(ImageResource, FailuresTraceAndKeepThePicture)
{
    CImage img;
    Fill(img, 2, 1, {0x010203, 0x040506});
    const HBITMAP before = img.m_hBitmap;
    EXPECT_EQ("Error : hInstance = NULL?\n", TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(7, nullptr)); }));
    EXPECT_EQ("Error : CImage::LoadBitmap() : can not FindResource(999)\n",
              TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(999, module_)); }));
    EXPECT_EQ(before, img.m_hBitmap);
    EXPECT_EQ(2, img.m_nWidth);
}
