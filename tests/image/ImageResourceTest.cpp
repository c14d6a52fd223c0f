// LoadBitmapA over the resource DLL of the build (tests/modules/ResourceDlls.cmake), whose
// bitmaps hold the bytes (i * 37 + seed) & 255 from the colour table on.
#include "ImageTestSupport.h"

#include <cstdio>

#include "ResourceModule.h"

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
    struct {
        UINT id;
        int w, h, bpp, colors, seed;
    } cases[] = {
        {7, 3, 2, 24, 0, 29},
        {0x10007, 3, 2, 24, 0, 29},
        {300, 9, 2, 1, 2, 53},
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
    EXPECT_EQ(Traced("Error : hInstance = NULL?\n"), TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(7, nullptr)); }));
    EXPECT_EQ(Traced("Error : CImage::LoadBitmap() : can not FindResource(999)\n"),
              TraceOf([&] { EXPECT_EQ(0, img.LoadBitmapA(999, module)); }));
    EXPECT_EQ(before, img.m_hBitmap);
    EXPECT_EQ(5, img.m_nWidth);
    FreeLibrary(module);
}

// LoadBitmapA over modules of one bitmap resource each (the packed bitmap of a file):
// GDI gets every byte it reads (the masks behind a 40-byte BI_BITFIELDS header, the colour
// table) from inside the resource, and the pixels come from behind them.
TEST_F(ImageResource, BitFieldsRleAndLongTablesComeFromInsideTheResource)
{
    const Words rgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x804020};
    const Pixels ref = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x204080};
    const Words w16 = {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8, 0, 0x808080};
    const Words four = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    const Pixels rle8 = {0xFFFFFF, 0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00, 0xFF0000};
    auto resource = [](std::vector<BYTE> file, size_t keep = 0) {
        file.erase(file.begin(), file.begin() + 14);  // a resource holds no file header
        if (keep) file.resize(keep);
        return file;
    };
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        Pixels expect;  // empty: refused
        UINT entries;
    } cases[] = {
        {"16 bits, 5-6-5 masks", resource(BmpFile(16, 3, 2, w16, {}, 0, true)), Widen16(w16, true), 0},
        {"32 bits, masks", resource(BmpFile(32, 3, 2, rgb, {}, 0, true)), ref, 0},
        {"24 bits, 300 colours", resource(BmpFile(24, 3, 2, rgb, Words(300, 0x102030), 300)), ref, 300},
        {"RLE8", resource(RleFile(8, 3, 2, four, {2, 1, 1, 2, 0, 0, 0, 3, 3, 0, 1, 0, 0, 1})), rle8, 4},
        {"RLE4",
         resource(RleFile(4, 3, 2, four, {3, 0x12, 0, 0, 1, 0x30, 0, 2, 1, 0, 0, 1})),
         {0xFFFFFF, 0, 0, 0x00FF00, 0xFF0000, 0x00FF00},
         4},
        {"masks cut", resource(BmpFile(16, 3, 2, w16, {}, 0, true), 48), {}, 0},
        {"rows cut behind the masks", resource(BmpFile(32, 3, 2, rgb, {}, 0, true), 52 + 20), {}, 0},
        {"RLE past the resource", resource(RleFile(8, 3, 2, four, {6, 1, 0, 1}, 5)), {}, 0},
        {"RLE without its size", resource(RleFile(8, 3, 2, four, {6, 1, 0, 1}, 0)), {}, 0},
        {"300 colours past the resource", resource(BmpFile(24, 3, 2, rgb, Words(300, 0), 300), 40 + 1000), {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> module = ResourceModule(2, 9, c.bytes.data(), c.bytes.size());
        const std::string path = WriteTemp("module.dll", module);
        HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, h);
        const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        {
            CImage img;
            Fill(img, 1, 1, {0x123456});
            EXPECT_EQ(c.expect.empty() ? 0 : 1, img.LoadBitmapA(9, h));
            if (c.expect.empty()) {
                EXPECT_EQ((Pixels{0x123456}), ReadPixels(img.m_hBitmap, 1, 1));  // kept
            } else {
                EXPECT_EQ((std::vector<int>{3, 2}), (std::vector<int>{img.m_nWidth, img.m_nHeight}));
                EXPECT_EQ(c.expect, ReadPixels(img.m_hBitmap, 3, 2));
                std::vector<PALETTEENTRY> pe(400);
                ASSERT_EQ(c.entries, img.m_hPalette ? GetPaletteEntries(img.m_hPalette, 0, 400, pe.data()) : 0);
                for (UINT i = 0; i < c.entries; ++i)
                    EXPECT_EQ(i <= 10 || i >= 246 ? PC_NOCOLLAPSE : 0, pe[i].peFlags) << i;
            }
        }
        EXPECT_EQ(before, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
        FreeLibrary(h);
        std::remove(path.c_str());
    }
}
