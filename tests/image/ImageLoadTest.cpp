// Loading, palettes, handles and their owners.
#include "ImageTestSupport.h"

#include "afxfile.h"

using namespace lktest;

namespace {

const Words kRgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x804020};
const Pixels kRef = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x204080};  // as COLORREF

Words Gray(int n)
{
    Words p;
    for (int i = 0; i < n; ++i) p.push_back(0x010101u * std::uint32_t(i * 255 / (n - 1)));
    return p;
}

// GDI widens the 5 (6) bits of a 16-bit pixel by repeating their top bits.
Pixels Widen16(const Words& rgb, bool g6)
{
    auto w = [](std::uint32_t v, int bits) { v >>= 8 - bits; return (v << (8 - bits)) | (v >> (2 * bits - 8)); };
    Pixels out;
    for (std::uint32_t v : rgb) out.push_back(RGB(w(v >> 16 & 255, 5), w(v >> 8 & 255, g6 ? 6 : 5), w(v & 255, 5)));
    return out;
}

}  // namespace

class ImageLoad : public ImageTest {};

TEST_F(ImageLoad, EveryDepthLoadsWithItsPixelsAndPalette)
{
    const Words w16 = {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8, 0, 0x808080};
    struct { const char* name; std::vector<BYTE> file; int height; Pixels expect; Words palette; } cases[] = {
        {"1bpp", BmpFile(1, 3, 2, {1, 0, 1, 0, 1, 1}, {0, 0xFFFFFF}), 2,
         {0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF}, {0, 0xFFFFFF}},
        {"4bpp", BmpFile(4, 3, 2, {0, 5, 15, 10, 3, 1}, Gray(16)), 2,
         {0, 0x555555, 0xFFFFFF, 0xAAAAAA, 0x333333, 0x111111}, Gray(16)},
        {"8bpp", BmpFile(8, 3, 2, {0, 255, 17, 34, 68, 136}, Gray(256)), 2,
         {0, 0xFFFFFF, 0x111111, 0x222222, 0x444444, 0x888888}, Gray(256)},
        {"8bpp_2used", BmpFile(8, 3, 2, {1, 0, 1, 1, 0, 0}, {0x0000FF, 0xFF0000}, 2), 2,
         {0x0000FF, 0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000}, {0x0000FF, 0xFF0000}},
        {"16bpp_555", BmpFile(16, 3, 2, w16), 2, Widen16(w16, false), {}},
        {"16bpp_565", BmpFile(16, 3, 2, w16, {}, 0, true), 2, Widen16(w16, true), {}},
        {"24bpp_topdown", BmpFile(24, 3, -2, kRgb), -2, kRef, {}},
        {"24bpp_16used", BmpFile(24, 3, 2, kRgb, Gray(16), 16), 2, kRef, Gray(16)},
        {"24bpp_300used", BmpFile(24, 3, 2, kRgb, Words(300, 7), 300), 2, kRef, {}},
        {"32bpp", BmpFile(32, 3, 2, kRgb), 2, kRef, {}},
        {"32bpp_bitfields", BmpFile(32, 3, 2, kRgb, {}, 0, true), 2, kRef, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CImage img;
        ASSERT_EQ(1, img.LoadImageA(WriteTemp(c.name, c.file).c_str()));
        EXPECT_EQ(3, img.m_nWidth);
        EXPECT_EQ(c.height, img.m_nHeight);
        EXPECT_EQ(c.expect, ReadPixels(img.m_hBitmap, 3, 2));
        std::vector<PALETTEENTRY> pe(300);
        const UINT n = img.m_hPalette ? GetPaletteEntries(img.m_hPalette, 0, 300, pe.data()) : 0;
        ASSERT_EQ(c.palette.size(), n);
        for (UINT i = 0; i < n; ++i)
            EXPECT_EQ(c.palette[i], std::uint32_t(pe[i].peRed << 16 | pe[i].peGreen << 8 | pe[i].peBlue | pe[i].peFlags << 24));
    }
}

TEST_F(ImageLoad, MalformedFilesAreRefusedAndThePreviousPictureKept)
{
    const std::vector<BYTE> good = BmpFile(8, 3, 2, {0, 1, 2, 3, 4, 5}, Gray(256));
    auto with = [&](size_t at, std::uint32_t v, int n = 4) {
        std::vector<BYTE> f = good;
        for (int i = 0; i < n; ++i) f[at + i] = BYTE(v >> (8 * i));
        return f;
    };
    auto cut = [&](size_t n) { return std::vector<BYTE>(good.begin(), good.begin() + n); };
    const std::pair<const char*, std::vector<BYTE>> cases[] = {
        {"empty", {}}, {"13_bytes", cut(13)}, {"not_BM", with(0, 'M' | 'B' << 8, 2)},
        {"header_cut", cut(50)}, {"table_cut", cut(54 + 1000)}, {"rows_short", cut(good.size() - 1)},
        {"colours_lie", with(46, 0xFFFFFFFF)}, {"colours_257", with(46, 257)},
        {"width_negative", with(18, std::uint32_t(-3))}, {"width_zero", with(18, 0)},
        {"height_zero", with(22, 0)}, {"height_min", with(22, 0x80000000)}, {"wide", with(18, 1u << 20)},
        {"over_2_28_pixels", with(22, (1u << 28) / 3 + 1)}, {"depth_7", with(28, 7, 2)},
        {"rle8", with(30, BI_RLE8)}, {"bitfields_8bpp", with(30, BI_BITFIELDS)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        CImage img;
        Fill(img, 2, 1, {0x010203, 0x040506});
        const HBITMAP before = img.m_hBitmap;
        EXPECT_EQ(0, img.LoadImageA(WriteTemp(c.first, c.second).c_str()));
        EXPECT_EQ(before, img.m_hBitmap);
        EXPECT_EQ(2, img.m_nWidth);
        EXPECT_EQ((Pixels{0x010203, 0x040506}), ReadPixels(img.m_hBitmap, 2, 1));
    }
    CImage img;
    EXPECT_EQ("Error : CImage::LoadImage() : can open file no/such.bmp\n",
              TraceOf([&] { EXPECT_EQ(0, img.LoadImageA("no/such.bmp")); }));
#if !defined(_WIN32)
    // Opens but cannot be read: the framework's exception reaches the caller.
    try {
        img.LoadImageA("/proc/self/mem");
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        e->Delete();
    }
#endif
}

TEST_F(ImageLoad, DibPaletteCountsAndFlags)
{
    struct { WORD bpp; DWORD clrUsed; int count, entries; } cases[] = {
        {24, 0, 0, 0}, {8, 0, 256, 256}, {4, 0, 16, 16}, {1, 0, 2, 2}, {8, 3, 3, 3},
        {1, 300, 300, 2}, {24, 16, 16, 16}, {24, 1000, 1000, 256},  // never past the table
    };
    Words block(10 + 256);  // the header, then entry i = blue 3i, green 2i, red i
    for (std::uint32_t i = 0; i < 256; ++i) block[10 + i] = 0x00010203u * (i % 80);
    BITMAPINFO* bi = reinterpret_cast<BITMAPINFO*>(block.data());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << "/" << c.clrUsed);
        bi->bmiHeader = {40, 1, 1, 1, c.bpp, BI_RGB, 0, 0, 0, c.clrUsed, 0};
        CImage img;
        int n = -1;
        HPALETTE h = img.CreateDIBPalette(bi, &n);
        EXPECT_EQ(c.count, n);
        std::vector<PALETTEENTRY> pe(256);
        ASSERT_EQ(UINT(c.entries), h ? GetPaletteEntries(h, 0, 256, pe.data()) : 0);
        for (int i = 0; i < c.entries; ++i) {
            EXPECT_EQ((i <= 10 || i >= 246) ? PC_NOCOLLAPSE : 0, pe[i].peFlags) << i;
            EXPECT_EQ(BYTE(3 * (i % 80)), pe[i].peBlue) << i;
        }
        if (h) DeleteObject(h);
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
        CImage copy(a), assigned;
        EXPECT_EQ(h, copy.m_hBitmap);
        assigned.CreateBitmap(2, 2);
        assigned = a;  // its own bitmap goes, a's is shared
        copy.DeleteBitmap();
    }
    EXPECT_EQ((Pixels(12, 0x112233)), ReadPixels(h, 4, 3));  // no copy deleted it
    EXPECT_EQ(1, a.Detach());
    EXPECT_EQ(nullptr, a.m_hBitmap);
    EXPECT_EQ(4, a.m_nWidth);
    BITMAP bm;
    EXPECT_EQ(int(sizeof bm), GetObjectA(h, sizeof bm, &bm));  // given up, not deleted
    { CImage owner; owner.Attach(h); }
    EXPECT_EQ(0, GetObjectA(h, sizeof bm, &bm));  // deleted by its owner
}
