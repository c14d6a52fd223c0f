// Loading, palettes, handles and their owners.
#include "ImageTestSupport.h"

#include "afxfile.h"

using namespace lktest;

namespace {

const std::vector<std::uint32_t> kRgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x804020};
// The same six pixels as COLORREF values.
const Pixels kRef = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x204080};

struct DepthCase {
    const char* name;
    BmpSpec spec;
    Pixels expect;        // the loaded 3 x 2 picture
    int paletteEntries;   // 0: none
};

std::vector<std::uint32_t> Gray(int n)
{
    std::vector<std::uint32_t> p;
    for (int i = 0; i < n; ++i) p.push_back(0x010101u * std::uint32_t(i * 255 / (n - 1)));
    return p;
}

std::vector<DepthCase> DepthCases()
{
    std::vector<DepthCase> c;
    c.push_back({"1bpp", {1, 3, 2, {1, 0, 1, 0, 1, 1}, {0x000000, 0xFFFFFF}},
                 {0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF}, 2});
    c.push_back({"4bpp", {4, 3, 2, {0, 5, 15, 10, 3, 1}, Gray(16)},
                 {0, 0x555555, 0xFFFFFF, 0xAAAAAA, 0x333333, 0x111111}, 16});
    c.push_back({"8bpp", {8, 3, 2, {0, 255, 17, 34, 68, 136}, Gray(256)},
                 {0, 0xFFFFFF, 0x111111, 0x222222, 0x444444, 0x888888}, 256});
    c.push_back({"8bpp_2used", {8, 3, 2, {1, 0, 1, 1, 0, 0}, {0x0000FF, 0xFF0000}, 2},
                 {0x0000FF, 0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000}, 2});
    c.push_back({"16bpp_555", {16, 3, 2, {0xF80000, 0x00F800, 0x0000F8, 0xF8F8F8, 0, 0x808080}},
                 {}, 0});
    c.push_back({"16bpp_565_bitfields",
                 {16, 3, 2, {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8, 0, 0x808080}, {}, 0, true}, {}, 0});
    c.push_back({"24bpp", {24, 3, 2, kRgb}, kRef, 0});
    c.push_back({"24bpp_topdown", {24, 3, -2, kRgb}, kRef, 0});
    c.push_back({"24bpp_16used", {24, 3, 2, kRgb, Gray(16), 16}, kRef, 16});
    c.push_back({"32bpp", {32, 3, 2, kRgb}, kRef, 0});
    c.push_back({"32bpp_bitfields", {32, 3, 2, kRgb, {}, 0, true}, kRef, 0});
    c.push_back({"24bpp_300used", {24, 3, 2, kRgb, std::vector<std::uint32_t>(300, 0x123456), 300}, kRef, 0});
    return c;
}

// 16-bit files: GDI widens 5 (6) bits by repeating their top bits.
COLORREF Widen16(std::uint32_t rgb, bool g6)
{
    auto w5 = [](std::uint32_t v) { v >>= 3; return (v << 3) | (v >> 2); };
    auto w6 = [](std::uint32_t v) { v >>= 2; return (v << 2) | (v >> 4); };
    const std::uint32_t r = w5((rgb >> 16) & 0xFF), g = g6 ? w6((rgb >> 8) & 0xFF) : w5((rgb >> 8) & 0xFF),
                        b = w5(rgb & 0xFF);
    return RGB(r, g, b);
}

}  // namespace

class ImageLoad : public ImageTest {};

TEST_F(ImageLoad, EveryDepthLoadsWithItsPixelsAndPalette)
{
    for (DepthCase& c : DepthCases()) {
        SCOPED_TRACE(c.name);
        if (c.expect.empty())
            for (std::uint32_t v : c.spec.pixels) c.expect.push_back(Widen16(v, c.spec.bitfields));
        CImage img;
        ASSERT_EQ(1, img.LoadImageA(WriteTemp(c.name, BmpFile(c.spec)).c_str()));
        EXPECT_EQ(3, img.m_nWidth);
        EXPECT_EQ(c.spec.height, img.m_nHeight);
        EXPECT_EQ(c.expect, ReadPixels(img.m_hBitmap, 3, 2));
        ASSERT_EQ(c.paletteEntries != 0, img.m_hPalette != nullptr);
        if (!img.m_hPalette) continue;
        std::vector<PALETTEENTRY> pe(c.paletteEntries + 1);
        ASSERT_EQ(UINT(c.paletteEntries), GetPaletteEntries(img.m_hPalette, 0, UINT(pe.size()), pe.data()));
        for (int i = 0; i < c.paletteEntries; ++i) {
            const std::uint32_t v = c.spec.palette[i];
            EXPECT_EQ(RGB(v >> 16, (v >> 8) & 0xFF, v & 0xFF), RGB(pe[i].peRed, pe[i].peGreen, pe[i].peBlue)) << i;
            EXPECT_EQ(0, pe[i].peFlags);
        }
    }
}

// Files that must be refused with the previous picture, palette and sizes kept.
TEST_F(ImageLoad, MalformedFilesAreRefusedAndThePreviousPictureKept)
{
    const std::vector<BYTE> good = BmpFile({8, 3, 2, {0, 1, 2, 3, 4, 5}, Gray(256)});
    auto with = [&](size_t at, std::uint32_t v, int n = 4) {
        std::vector<BYTE> f = good;
        for (int i = 0; i < n; ++i) f[at + i] = BYTE(v >> (8 * i));
        return f;
    };
    const std::vector<std::pair<const char*, std::vector<BYTE>>> cases = {
        {"empty", {}},
        {"13_bytes", std::vector<BYTE>(good.begin(), good.begin() + 13)},
        {"not_BM", with(0, 'M' | ('B' << 8), 2)},
        {"header_cut", std::vector<BYTE>(good.begin(), good.begin() + 50)},
        {"table_cut", std::vector<BYTE>(good.begin(), good.begin() + 54 + 1000)},
        {"rows_short", std::vector<BYTE>(good.begin(), good.end() - 1)},
        {"colours_lie", with(46, 0xFFFFFFFF)},
        {"colours_257", with(46, 257)},
        {"width_negative", with(18, std::uint32_t(-3))},
        {"width_zero", with(18, 0)},
        {"height_zero", with(22, 0)},
        {"height_min", with(22, 0x80000000)},
        {"huge", with(18, 1u << 20)},
        {"over_2_28_pixels", with(22, (1u << 28) / 3 + 1)},
        {"depth_7", with(28, 7, 2)},
        {"rle8", with(30, BI_RLE8)},
        {"bitfields_8bpp", with(30, BI_BITFIELDS)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        CImage img;
        Fill(img, 2, 1, {0x010203, 0x040506});
        const HBITMAP before = img.m_hBitmap;
        EXPECT_EQ(0, img.LoadImageA(WriteTemp(c.first, c.second).c_str()));
        EXPECT_EQ(before, img.m_hBitmap);
        EXPECT_EQ(2, img.m_nWidth);
        EXPECT_EQ(1, img.m_nHeight);
        EXPECT_EQ((Pixels{0x010203, 0x040506}), ReadPixels(img.m_hBitmap, 2, 1));
    }
}

TEST_F(ImageLoad, MissingFileTracesAndAFailedReadReachesTheCaller)
{
    CImage img;
    EXPECT_EQ("Error : CImage::LoadImage() : can open file no/such.bmp\n",
              TraceOf([&] { EXPECT_EQ(0, img.LoadImageA("no/such.bmp")); }));
#if !defined(_WIN32)
    // A directory opens on Linux but cannot be read.
    CFileException* caught = nullptr;
    try {
        img.LoadImageA(::testing::TempDir().c_str());
    } catch (CFileException* e) {
        caught = e;
    }
    ASSERT_NE(nullptr, caught);
    caught->Delete();
#endif
}

TEST_F(ImageLoad, DibPaletteCountsAndFlags)
{
    struct { WORD bpp; DWORD clrUsed; int count; int entries; } cases[] = {
        {24, 0, 0, 0}, {8, 0, 256, 256}, {4, 0, 16, 16}, {1, 0, 2, 2}, {8, 3, 3, 3},
        {1, 300, 300, 2},  // a 1-bit table holds 2 colours whatever biClrUsed says
        {24, 16, 16, 16}, {24, 1000, 1000, 256},
    };
    std::vector<std::uint32_t> block(10 + 256, 0);
    for (int i = 0; i < 256; ++i) block[10 + i] = 0x00010203u * std::uint32_t(i % 80);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << "/" << c.clrUsed);
        BITMAPINFO* bi = reinterpret_cast<BITMAPINFO*>(block.data());
        bi->bmiHeader = {40, 1, 1, 1, c.bpp, BI_RGB, 0, 0, 0, c.clrUsed, 0};
        CImage img;
        int n = -1;
        HPALETTE h = img.CreateDIBPalette(bi, &n);
        EXPECT_EQ(c.count, n);
        ASSERT_EQ(c.entries != 0, h != nullptr);
        if (!h) continue;
        std::vector<PALETTEENTRY> pe(256);
        EXPECT_EQ(UINT(c.entries), GetPaletteEntries(h, 0, 256, pe.data()));
        for (int i = 0; i < c.entries; ++i) {
            EXPECT_EQ((i <= 10 || i >= 246) ? PC_NOCOLLAPSE : 0, pe[i].peFlags) << i;
            EXPECT_EQ(BYTE(3 * (i % 80)), pe[i].peBlue) << i;
        }
        DeleteObject(h);
        EXPECT_EQ(nullptr, img.m_hPalette);
    }
}

TEST_F(ImageLoad, AttachDetachAndCopiesDeleteEachHandleOnce)
{
    CImage a;
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ("Error : invalid hBimap\n", TraceOf([&] { EXPECT_EQ(0, a.Attach(HBITMAP(brush))); }));
    DeleteObject(brush);
    EXPECT_EQ(0, a.Detach());
    Fill(a, 4, 3, Pixels(12, 0x112233));
    const HBITMAP h = a.m_hBitmap;
    {
        CImage copy(a);
        EXPECT_EQ(h, copy.m_hBitmap);
        CImage assigned;
        assigned.CreateBitmap(2, 2);
        assigned = a;  // its own 2 x 2 bitmap goes, a's is shared
        copy.DeleteBitmap();
        EXPECT_EQ(nullptr, copy.m_hBitmap);
    }  // neither copy deleted h
    EXPECT_EQ((Pixels(12, 0x112233)), ReadPixels(h, 4, 3));
    EXPECT_EQ(1, a.Detach());
    EXPECT_EQ(nullptr, a.m_hBitmap);
    EXPECT_EQ(4, a.m_nWidth);
    EXPECT_EQ(3, a.m_nHeight);
    BITMAP bm;
    EXPECT_EQ(int(sizeof bm), GetObjectA(h, sizeof bm, &bm));  // given up, not deleted
    {
        CImage owner;
        owner.Attach(h);
    }
    EXPECT_EQ(0, GetObjectA(h, sizeof bm, &bm));  // deleted once, by its owner
}
