// LoadBitmapA over the resource DLL of the build (tests/modules/ResourceDlls.cmake), whose
// bitmaps hold the bytes (i * 37 + seed) & 255 from the colour table on.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

BYTE Pattern(int i, int seed) { return BYTE((i * 37 + seed) & 255); }

// What GDI makes of such a bottom-up bitmap of 1 or 24 bits.
Pixels Decode(int w, int h, int bpp, int colors, int seed)
{
    Pixels px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int row = 4 * colors + (h - 1 - y) * (((w * bpp + 31) / 32) * 4);
            const int at = bpp == 24 ? row + 3 * x : 4 * ((Pattern(row + x / 8, seed) >> (7 - x % 8)) & 1);
            px.push_back(RGB(Pattern(at + 2, seed), Pattern(at + 1, seed), Pattern(at, seed)));
        }
    return px;
}

}  // namespace

class ImageResource : public ImageTest {};

TEST_F(ImageResource, BitmapsLoadByTheLowSixteenBitsOfTheirId)
{
    HMODULE module = LoadLibraryExA(LOBBYKIT_IMAGE_RES_DIR "/res64.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    struct { UINT id; int w, h, bpp, colors, seed; } cases[] = {
        {7, 3, 2, 24, 0, 29}, {0x10007, 3, 2, 24, 0, 29}, {300, 9, 2, 1, 2, 53},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        CImage img;
        ASSERT_EQ(1, img.LoadBitmapA(c.id, module));
        EXPECT_EQ((std::vector<int>{c.w, c.h}), (std::vector<int>{img.m_nWidth, img.m_nHeight}));
        EXPECT_EQ(c.colors != 0, img.m_hPalette != nullptr);
        EXPECT_EQ(Decode(c.w, c.h, c.bpp, c.colors, c.seed), ReadPixels(img.m_hBitmap, c.w, c.h));
    }
    // 8 bits, 4 colours: a palette of the 4 entries of the table, all kept from collapsing.
    CImage img;
    ASSERT_EQ(1, img.LoadBitmapA(1, module));
    PALETTEENTRY pe[8];
    ASSERT_EQ(4u, GetPaletteEntries(img.m_hPalette, 0, 8, pe));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((Words{Pattern(4 * i + 2, 11), Pattern(4 * i, 11), PC_NOCOLLAPSE}),
                  (Words{pe[i].peRed, pe[i].peBlue, pe[i].peFlags}));

    const HBITMAP before = img.m_hBitmap;
    EXPECT_EQ("Error : hInstance = NULL?\n", TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(7, nullptr)); }));
    EXPECT_EQ("Error : CImage::LoadBitmap() : can not FindResource(999)\n",
              TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(999, module)); }));
    EXPECT_EQ(before, img.m_hBitmap);
    EXPECT_EQ(5, img.m_nWidth);
    FreeLibrary(module);
}
