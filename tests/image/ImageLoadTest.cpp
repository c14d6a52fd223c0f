// Loading, palettes, handles and their owners.
#include "ImageTestSupport.h"

#include <cstring>
#include <new>

#include "afxfile.h"

using namespace lktest;

namespace {

const Words kRgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x804020};
const Pixels kRef = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x204080};  // as COLORREF
const Words kRle = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

Words Gray(int n)
{
    Words p;
    for (int i = 0; i < n; ++i) p.push_back(0x010101u * std::uint32_t(i * 255 / (n - 1)));
    return p;
}

}  // namespace

class ImageLoad : public ImageTest {};

TEST_F(ImageLoad, EveryDepthLoadsWithItsPixelsAndPalette)
{
    const Words w16 = {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8, 0, 0x808080};
    struct {
        const char* name;
        std::vector<BYTE> file;
        int height;
        Pixels expect;
        Words palette;
    } cases[] = {
        {"1bpp",
         BmpFile(1, 3, 2, {1, 0, 1, 0, 1, 1}, {0, 0xFFFFFF}),
         2,
         {0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF},
         {0, 0xFFFFFF}},
        {"4bpp",
         BmpFile(4, 3, 2, {0, 5, 15, 10, 3, 1}, Gray(16)),
         2,
         {0, 0x555555, 0xFFFFFF, 0xAAAAAA, 0x333333, 0x111111},
         Gray(16)},
        {"8bpp",
         BmpFile(8, 3, 2, {0, 255, 17, 34, 68, 136}, Gray(256)),
         2,
         {0, 0xFFFFFF, 0x111111, 0x222222, 0x444444, 0x888888},
         Gray(256)},
        {"8bpp_2used",
         BmpFile(8, 3, 2, {1, 0, 1, 1, 0, 0}, {0x0000FF, 0xFF0000}, 2),
         2,
         {0x0000FF, 0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000},
         {0x0000FF, 0xFF0000}},
        {"16bpp_555", BmpFile(16, 3, 2, w16), 2, Widen16(w16, false), {}},
        {"16bpp_565", BmpFile(16, 3, 2, w16, {}, 0, true), 2, Widen16(w16, true), {}},
        {"24bpp_topdown", BmpFile(24, 3, -2, kRgb), -2, kRef, {}},
        {"24bpp_16used", BmpFile(24, 3, 2, kRgb, Gray(16), 16), 2, kRef, Gray(16)},
        {"24bpp_300used", BmpFile(24, 3, 2, kRgb, Words(300, 7), 300), 2, kRef, {}},
        {"32bpp", BmpFile(32, 3, 2, kRgb), 2, kRef, {}},
        {"32bpp_bitfields", BmpFile(32, 3, 2, kRgb, {}, 0, true), 2, kRef, {}},
        // Runs, an absolute run, a move that leaves two pixels unset (black).
        {"rle8",
         RleFile(8, 3, 2, kRle, {2, 1, 1, 2, 0, 0, 0, 3, 3, 0, 1, 0, 0, 1}),
         2,
         {0xFFFFFF, 0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00, 0xFF0000},
         kRle},
        {"rle4",
         RleFile(4, 3, 2, kRle, {3, 0x12, 0, 0, 1, 0x30, 0, 2, 1, 0, 0, 1}),
         2,
         {0xFFFFFF, 0, 0, 0x00FF00, 0xFF0000, 0x00FF00},
         kRle},
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
            EXPECT_EQ(c.palette[i],
                      std::uint32_t(pe[i].peRed << 16 | pe[i].peGreen << 8 | pe[i].peBlue | pe[i].peFlags << 24));
    }
}

TEST_F(ImageLoad, MalformedFilesAreRefusedAndThePreviousPictureKept)
{
    const std::vector<BYTE> good = BmpFile(8, 3, 2, {0, 1, 2, 3, 4, 5}, Gray(256));
    auto with = [&](size_t at, std::uint32_t v, int n = 4) {
        std::vector<BYTE> f = good;
        for (int i = 0; i < n; ++i) f.at(at + i) = BYTE(v >> (8 * i));
        return f;
    };
    auto cut = [&](size_t n) { return std::vector<BYTE>(good.begin(), good.begin() + n); };
    const std::pair<const char*, std::vector<BYTE>> cases[] = {
        {"empty", {}},
        {"13_bytes", cut(13)},
        {"not_BM", with(0, 'M' | 'B' << 8, 2)},
        {"header_cut", cut(50)},
        {"table_cut", cut(54 + 1000)},
        {"rows_short", cut(good.size() - 1)},
        {"colours_lie", with(46, 0xFFFFFFFF)},
        {"colours_257", with(46, 257)},
        {"width_negative", with(18, std::uint32_t(-3))},
        {"width_zero", with(18, 0)},
        {"height_zero", with(22, 0)},
        {"height_min", with(22, 0x80000000)},
        {"wide", with(18, 1u << 20)},
        {"over_2_28_pixels", with(22, (1u << 28) / 3 + 1)},
        {"depth_7", with(28, 7, 2)},
        {"rle8_without_size", with(30, BI_RLE8)},
        {"bitfields_8bpp", with(30, BI_BITFIELDS)},
        {"rle8_past_the_file", RleFile(8, 3, 2, kRle, {6, 1, 0, 1}, 5)},
        {"rle8_top_down", RleFile(8, 3, -2, kRle, {6, 1, 0, 1})},
        {"rle4_on_8_bits",
         [] {
             auto f = RleFile(8, 3, 2, kRle, {6, 1, 0, 1});
             f[30] = BI_RLE4;
             return f;
         }()},
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
    EXPECT_EQ(Traced("Error : CImage::LoadImage() : can open file no/such.bmp\n"),
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
    struct {
        WORD bpp;
        DWORD clrUsed;
        int count, entries;
    } cases[] = {
        {24, 0, 0, 0},    {8, 0, 256, 256},    {4, 0, 16, 16},
        {1, 0, 2, 2},     {8, 3, 3, 3},        {1, 300, 300, 2},           // never more than the depth can index
        {24, 16, 16, 16}, {24, 300, 300, 300}, {32, 70000, 70000, 65535},  // palNumEntries is a WORD
    };
    Words block(10 + 70000);  // the header, then entry i = blue 3i, green 2i, red i
    for (std::uint32_t i = 0; i < 70000; ++i) block[10 + i] = 0x00010203u * (i % 80);
    BITMAPINFO* bi = reinterpret_cast<BITMAPINFO*>(block.data());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << "/" << c.clrUsed);
        bi->bmiHeader = {40, 1, 1, 1, c.bpp, BI_RGB, 0, 0, 0, c.clrUsed, 0};
        CImage img;
        int n = -1;
        HPALETTE h = img.CreateDIBPalette(bi, &n);
        EXPECT_EQ(c.count, n);
        std::vector<PALETTEENTRY> pe(65535);  // Wine takes the count asked for as a WORD
        ASSERT_EQ(UINT(c.entries), h ? GetPaletteEntries(h, 0, 65535, pe.data()) : 0);
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
    EXPECT_EQ(Traced("Error : invalid hBimap\n"), TraceOf([&] { EXPECT_EQ(0, a.Attach(HBITMAP(brush))); }));
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
    {
        CImage owner;
        owner.Attach(h);
    }
    EXPECT_EQ(0, GetObjectA(h, sizeof bm, &bm));  // deleted by its owner
}

// Hand-overs of shared handles: each case starts from two loaded images a and b (pictures
// A and B) and ends with every image destroyed. Every picture that an image still shows
// must be alive with its pixels, and at the end the live GDI count must be where it began:
// nothing deleted twice, nothing left behind.
TEST_F(ImageLoad, HandOversOfSharedHandlesKeepEveryPictureAndDeleteItOnce)
{
    const Pixels pa = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112};
    const Pixels pb = {0xA0A1A2, 0xB0B1B2, 0xC0C1C2, 0xD0D1D2, 0xE0E1E2, 0xF0F1F2};
    auto shows = [](const CImage& img, const Pixels& px) {
        BITMAP bm;
        if (!img.m_hBitmap || GetObjectA(img.m_hBitmap, sizeof bm, &bm) != int(sizeof bm)) return false;
        return ReadPixels(img.m_hBitmap, 3, 2) == px;
    };
    auto gone = [](HGDIOBJ h) {
        BITMAP bm;
        return GetObjectA(h, sizeof bm, &bm) == 0;
    };
    struct Case {
        const char* name;
        std::function<void(CImage& a, CImage& b)> run;
    } cases[] = {
        {"swap through a temporary that gives its handles up",
         [&](CImage& a, CImage& b) {
             {
                 CImage t = a;
                 a = b;
                 b = t;
                 t.Detach();
             }
             EXPECT_TRUE(shows(a, pb));
             EXPECT_TRUE(shows(b, pa));
         }},
        {"copy, the source gives its handle up, the copy deletes it",
         [&](CImage& a, CImage&) {
             CImage c(a);
             const HBITMAP h = a.m_hBitmap;
             a.Detach();
             EXPECT_TRUE(shows(c, pa));
             c.DeleteBitmap();
             EXPECT_TRUE(gone(h));
         }},
        {"assign, the source gives its handle up and is destroyed",
         [&](CImage&, CImage& b) {
             CImage* src = new CImage;
             Fill(*src, 3, 2, pa);
             b = *src;
             src->Detach();
             delete src;
             EXPECT_TRUE(shows(b, pa));
         }},
        {"copies that never give up: the last one deletes",
         [&](CImage& a, CImage& b) {
             const HBITMAP h = a.m_hBitmap;
             {
                 CImage c(a), d;
                 d = c;
                 a.DeleteBitmap();
                 EXPECT_TRUE(shows(c, pa));
                 c.DeleteBitmap();
                 EXPECT_TRUE(shows(d, pa));
             }
             EXPECT_TRUE(gone(h));
             EXPECT_TRUE(shows(b, pb));
         }},
        {"a copy gives up, the source keeps its picture",
         [&](CImage& a, CImage&) {
             {
                 CImage t(a);
                 t.Detach();
             }
             EXPECT_TRUE(shows(a, pa));
         }},
        {"Attach of a handle another image holds, which then gives it up",
         [&](CImage& a, CImage& b) {
             const HBITMAP hb = b.m_hBitmap;
             EXPECT_EQ(1, b.Attach(a.m_hBitmap));
             EXPECT_TRUE(gone(hb));
             a.Detach();
             EXPECT_TRUE(shows(b, pa));
         }},
        {"assignment to itself and of the same handle",
         [&](CImage& a, CImage& b) {
             CImage& self = a;
             a = self;
             b = a;
             b = a;
             EXPECT_TRUE(shows(a, pa));
             EXPECT_TRUE(shows(b, pa));
         }},
        {"a palette and a bitmap stored by hand belong to the image",
         [&](CImage& a, CImage& b) {
             Words block(10 + 16);
             BITMAPINFO* bi = reinterpret_cast<BITMAPINFO*>(block.data());
             bi->bmiHeader = {40, 1, 1, 1, 4, BI_RGB, 0, 0, 0, 0, 0};
             int n = 0;
             a.m_hPalette = a.CreateDIBPalette(bi, &n);
             EXPECT_EQ(16, n);
             b.DeleteBitmap();
             b.m_hBitmap = MakeBitmap(3, 2, pb);
             CImage copy(b);  // a copy of a handle never seen: both hold it
             copy.DeleteBitmap();
             EXPECT_TRUE(shows(b, pb));
         }},
        {"images moved bit-wise, as an array moves its elements",
         [&](CImage& a, CImage&) {
             alignas(CImage) unsigned char from[sizeof(CImage)], to[sizeof(CImage)];
             CImage* moved = new (from) CImage(a);
             a.DeleteBitmap();
             std::memcpy(to, from, sizeof to);  // the old place is never destroyed
             moved = reinterpret_cast<CImage*>(to);
             EXPECT_TRUE(shows(*moved, pa));
             const HBITMAP h = moved->m_hBitmap;
             moved->~CImage();
             EXPECT_TRUE(gone(h));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        {
            CImage a, b;
            Fill(a, 3, 2, pa);
            Fill(b, 3, 2, pb);
            c.run(a, b);
        }
        EXPECT_EQ(before, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    }
}
