// The GDI subset, written against the Win32 API only: the same tests build for Windows and
// pass under Wine, which is how the expected pixels here were settled.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

// Every test gives back each context, bitmap, brush and palette it made.
class GdiTest : public ::testing::Test {
protected:
    void SetUp() override { before_ = GdiObjects(); }
    void TearDown() override { EXPECT_EQ(before_, GdiObjects()); }

private:
    DWORD before_ = 0;
};

// A memory context with its own bitmap (colour: compatible with the screen; or monochrome).
class Canvas {
public:
    Canvas(int w, int h, bool mono = false) : w_(w), h_(h)
    {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = mono ? CreateBitmap(w, h, 1, 1, nullptr) : CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    void Fill(const std::vector<COLORREF>& pixels)
    {
        for (int i = 0; i < w_ * h_; ++i) SetPixel(dc_, i % w_, i / w_, pixels[i]);
    }
    void Fill(COLORREF c) { Fill(std::vector<COLORREF>(static_cast<std::size_t>(w_ * h_), c)); }
    std::vector<COLORREF> Pixels() const
    {
        std::vector<COLORREF> out;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) out.push_back(GetPixel(dc_, x, y));
        return out;
    }

private:
    int w_, h_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

// Source pixel i is colour i + 1, so that a result names the source pixel it came from.
std::vector<int> SourceIndices(const std::vector<COLORREF>& pixels)
{
    std::vector<int> out;
    for (COLORREF c : pixels) out.push_back(static_cast<int>(c) - 1);
    return out;
}

TEST_F(GdiTest, LiveObjectCountFollowsCreationAndDeletion)
{
#ifdef _WIN32
    GTEST_SKIP() << "Wine reports 0 for GetGuiResources(GR_GDIOBJECTS)";
#endif
    const DWORD base = GdiObjects();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(base + 3, GdiObjects());
    EXPECT_TRUE(DeleteObject(bitmap));  // selected: it lives on with its context
    EXPECT_EQ(base + 3, GdiObjects());
    EXPECT_EQ(static_cast<HGDIOBJ>(CreateBitmap(0, 0, 1, 1, nullptr)), old);  // the stock bitmap: not counted
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(base + 1, GdiObjects());
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(base, GdiObjects());
}

struct StretchCase {
    int mode;
    bool vertical;
    int n, m;                 // source and destination lengths
    int xd, wd, xs, ws;       // along the stretched axis (mirrored when negative)
    int canvas;               // destination length
    std::vector<int> expect;  // source index per destination pixel (-1: left alone)
};

TEST_F(GdiTest, StretchBltSelectsPixelsAsWindows)
{
    const StretchCase cases[] = {
        {COLORONCOLOR, false, 7, 3, 0, 3, 0, 7, 3, {1, 4, 6}},  // a row keeps the last of a group
        {COLORONCOLOR, true, 7, 3, 0, 3, 0, 7, 3, {0, 2, 5}},   // a column the first
        {COLORONCOLOR, false, 10, 4, 0, 4, 0, 10, 4, {2, 4, 7, 9}},
        {COLORONCOLOR, true, 24, 7, 0, 7, 0, 24, 7, {0, 3, 7, 10, 14, 17, 21}},
        {COLORONCOLOR, false, 3, 1, 0, 1, 0, 3, 1, {1}},
        {COLORONCOLOR, false, 3, 1, 0, 1, 2, -3, 1, {0}},  // mirrored: the last one counts
        {COLORONCOLOR, false, 3, 7, 0, 7, 0, 3, 7, {0, 0, 1, 1, 1, 2, 2}},
        {COLORONCOLOR, true, 4, 10, 0, 10, 0, 4, 10, {0, 0, 0, 1, 1, 2, 2, 2, 3, 3}},
        {COLORONCOLOR, false, 4, 5, 0, 5, 0, 4, 5, {0, 1, 1, 2, 3}},
        {COLORONCOLOR, false, 4, 4, 3, -4, 0, 4, 4, {3, 2, 1, 0}},  // mirrored destination
        {COLORONCOLOR, false, 4, 4, 0, 4, 3, -4, 4, {3, 2, 1, 0}},  // mirrored source
        {COLORONCOLOR, false, 4, 8, 7, -8, 0, 4, 8, {3, 3, 2, 2, 1, 1, 0, 0}},
        {COLORONCOLOR, false, 7, 3, 2, -3, 0, 7, 3, {6, 4, 1}},
        {COLORONCOLOR, false, 4, 8, -2, 8, 0, 4, 8, {1, 1, 2, 2, 3, 3, -1, -1}},  // clipped
        {COLORONCOLOR, false, 4, 4, 0, 4, -2, 8, 8, {-1, 1, 3, -1, -1, -1, -1, -1}},
        {COLORONCOLOR, false, 4, 8, 0, 8, -1, 4, 8, {-1, -1, 0, 0, 1, 1, 2, 2}},
    };
    for (const StretchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.vertical ? " vertical " : " horizontal ") << c.n << "->"
                                        << c.m << " xd " << c.xd << " wd " << c.wd << " xs " << c.xs << " ws " << c.ws);
        Canvas src(c.vertical ? 1 : c.n, c.vertical ? c.n : 1);
        Canvas dst(c.vertical ? 1 : c.canvas, c.vertical ? c.canvas : 1);
        std::vector<COLORREF> in;
        for (int i = 0; i < c.n; ++i) in.push_back(static_cast<COLORREF>(i + 1));
        src.Fill(in);
        dst.Fill(0);
        SetStretchBltMode(dst.dc(), c.mode);
        const BOOL ok = c.vertical ? StretchBlt(dst.dc(), 0, c.xd, 1, c.wd, src.dc(), 0, c.xs, 1, c.ws, SRCCOPY)
                                   : StretchBlt(dst.dc(), c.xd, 0, c.wd, 1, src.dc(), c.xs, 0, c.ws, 1, SRCCOPY);
        EXPECT_TRUE(ok);
        EXPECT_EQ(c.expect, SourceIndices(dst.Pixels()));
    }
}

TEST_F(GdiTest, StretchBltCombinesShrunkGroupsByMode)
{
    // Source pixel i has bit i set (WHITEONBLACK) or cleared (BLACKONWHITE): the result
    // shows which pixels were combined.
    struct Case {
        int mode;
        bool vertical;
        int n, m;
        std::vector<unsigned> groups;
    } cases[] = {
        {BLACKONWHITE, false, 7, 3, {0x03, 0x1C, 0x60}},
        {BLACKONWHITE, true, 10, 4, {0x007, 0x018, 0x0E0, 0x300}},
        {WHITEONBLACK, false, 16, 5, {0x0007, 0x0038, 0x03C0, 0x1C00, 0xE000}},
        {WHITEONBLACK, true, 9, 2, {0x01F, 0x1E0}},
        {BLACKONWHITE, false, 3, 1, {0x3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " " << c.n << "->" << c.m);
        const bool and_ = c.mode == BLACKONWHITE;
        Canvas src(c.vertical ? 1 : c.n, c.vertical ? c.n : 1);
        Canvas dst(c.vertical ? 1 : c.m, c.vertical ? c.m : 1);
        std::vector<COLORREF> in;
        for (int i = 0; i < c.n; ++i) in.push_back(and_ ? (0xFFFFFFu & ~(1u << i)) : (1u << i));
        src.Fill(in);
        SetStretchBltMode(dst.dc(), c.mode);
        StretchBlt(dst.dc(), 0, 0, c.vertical ? 1 : c.m, c.vertical ? c.m : 1, src.dc(), 0, 0, c.vertical ? 1 : c.n,
                   c.vertical ? c.n : 1, SRCCOPY);
        std::vector<unsigned> got;
        for (COLORREF p : dst.Pixels()) got.push_back(and_ ? (~p & 0xFFFFFFu) : p);
        EXPECT_EQ(c.groups, got);
    }
}

TEST_F(GdiTest, HalftoneInterpolatesBetweenNeighbours)
{
    Canvas src(2, 2), dst(3, 3);
    src.Fill({RGB(0, 0, 0), RGB(100, 0, 0), RGB(0, 100, 0), RGB(0, 0, 100)});
    SetStretchBltMode(dst.dc(), HALFTONE);
    StretchBlt(dst.dc(), 0, 0, 3, 3, src.dc(), 0, 0, 2, 2, SRCCOPY);
    const std::vector<COLORREF> expect = {0x000000, 0x000043, 0x000064, 0x004300, 0x2D1616,
                                          0x430021, 0x006400, 0x432100, 0x640000};
    EXPECT_EQ(expect, dst.Pixels());
}

// HALFTONE's weights and rounding to the last bit, and a monochrome source: one row
// stretched across, read back whole. Expected rows settled under Wine.
struct HalftoneCase {
    const char* name;
    bool srcMono;
    int srcWidth, dstWidth;
    std::vector<COLORREF> expect;
};

TEST_F(GdiTest, HalftoneMatchesWineToTheLastBit)
{
    const HalftoneCase cases[] = {
        // Channels up by 1, down by 255, up by 253: the halves at 20 of 40 round each way.
        {"halves", false, 3, 40, {0x01FF10, 0x14EC10, 0x27D910, 0x3AC610, 0x4DB310, 0x609F10, 0x738C10, 0x867911,
                                  0x996611, 0xAC5311, 0xBF4011, 0xD22D11, 0xE51A11, 0xF80611, 0xF10D11, 0xDE2011,
                                  0xCB3311, 0xB84611, 0xA55911, 0x926C11, 0x7F8011, 0x6D9310, 0x5AA610, 0x47B910,
                                  0x34CC10, 0x21DF10, 0x0EF210, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10,
                                  0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10, 0x01FF10}},
        // Weights of 0.1, 0.3...: 25.5 and 76.5 round up.
        {"weights", false, 2, 20, {0x000000, 0x1A1A1A, 0x333333, 0x4D4D4D, 0x666666, 0x808080, 0x999999,
                                   0xB3B3B3, 0xCCCCCC, 0xE6E6E6, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
        // Monochrome pixels read as the destination's colours, then mix.
        {"mono to colour", true, 3, 8, {0xD0E0F0, 0xA6A4A2, 0x7C6854, 0x6E543A, 0x989088, 0xC2CCD6, 0xD0E0F0, 0xD0E0F0}},
    };
    for (const HalftoneCase& c : cases) {
        Canvas src(c.srcWidth, 1, c.srcMono), dst(c.dstWidth, 1);
        if (c.srcMono) src.Fill({RGB(255, 255, 255), 0, RGB(255, 255, 255)});
        else if (c.srcWidth == 3) src.Fill({RGB(0x10, 0xFF, 0x01), RGB(0x11, 0x00, 0xFE), RGB(0x10, 0xFF, 0x01)});
        else src.Fill({0, RGB(255, 255, 255)});
        SetTextColor(dst.dc(), RGB(0x20, 0x40, 0x60));
        SetBkColor(dst.dc(), RGB(0xF0, 0xE0, 0xD0));
        SetStretchBltMode(dst.dc(), HALFTONE);
        EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, c.dstWidth, 1, src.dc(), 0, 0, c.srcWidth, 1, SRCCOPY)) << c.name;
        const std::vector<COLORREF> got = dst.Pixels();
        EXPECT_EQ(c.expect, got) << c.name;
    }
}

TEST_F(GdiTest, SetPixelOutsideGivesTheColourItWouldSet)
{
    Canvas colour(3, 2), mono(3, 2, true);
    colour.Fill(RGB(1, 2, 3));
    for (const POINT& p : {POINT{3, 0}, POINT{-1, 1}, POINT{0, 2}}) {
        EXPECT_EQ(RGB(200, 30, 90), SetPixel(colour.dc(), p.x, p.y, RGB(200, 30, 90)));
        EXPECT_EQ(RGB(255, 255, 255), SetPixel(mono.dc(), p.x, p.y, RGB(200, 230, 90)));
        EXPECT_EQ(0u, SetPixel(mono.dc(), p.x, p.y, RGB(200, 30, 90)));
    }
    EXPECT_EQ(std::vector<COLORREF>(6, RGB(1, 2, 3)), colour.Pixels());
}

struct BltCase {
    int x, y, w, h, sx, sy;
    std::vector<int> expect;  // 4x4 destination: source index (x + 4y) or -1 untouched
};

TEST_F(GdiTest, BitBltClipsToBothBitmaps)
{
    const BltCase cases[] = {
        {0, 0, 3, 3, -1, -1, {-1, -1, -1, -1, -1, 0, 1, -1, -1, 4, 5, -1, -1, -1, -1, -1}},
        {-1, -1, 3, 3, 0, 0, {5, 6, -1, -1, 9, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {0, 0, 3, 3, 2, 2, {10, 11, -1, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {3, 0, -2, 2, 0, 0, {-1, -1, -1, 0, -1, -1, -1, 4, -1, -1, -1, -1, -1, -1, -1, -1}},
        {0, 0, 2, 2, 10, 10, std::vector<int>(16, -1)},
        {2, 2, 5, 5, 0, 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, -1, 4, 5}},
    };
    for (const BltCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h << " from " << c.sx << ","
                                        << c.sy);
        Canvas src(4, 4), dst(4, 4);
        std::vector<COLORREF> in;
        for (int i = 0; i < 16; ++i) in.push_back(static_cast<COLORREF>(i + 1));
        src.Fill(in);
        dst.Fill(0);
        EXPECT_TRUE(BitBlt(dst.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, SRCCOPY));
        EXPECT_EQ(c.expect, SourceIndices(dst.Pixels()));
    }
}

// Extreme int arguments: positions and extents near INT_MIN and INT_MAX must not overflow the
// arithmetic (the sanitizer build stops on it) and may only ever write the source's colour.
// winport's own arithmetic; Wine's answers to such calls take minutes, so it is not run there.
TEST_F(GdiTest, TransfersTakeAnyIntArguments)
{
#ifdef _WIN32
    GTEST_SKIP() << "checks winport's arithmetic";
#endif
    const int values[] = {INT_MIN, INT_MIN + 1, -65536, -3, -1, 0, 1, 2, 65536, INT_MAX - 1, INT_MAX};
    const int modes[] = {COLORONCOLOR, BLACKONWHITE, WHITEONBLACK, HALFTONE};
    const COLORREF old = RGB(1, 2, 3), ink = RGB(200, 100, 50);
    Canvas src(3, 3), dst(4, 4);
    src.Fill(ink);
    std::uint32_t seed = 12345;
    auto pick = [&] {
        seed = seed * 1103515245u + 12345u;
        return values[(seed >> 16) % (sizeof values / sizeof values[0])];
    };
    // The case first found by a sanitizer, then a sweep.
    std::vector<std::vector<int>> calls = {{INT_MIN, INT_MAX, 1, INT_MIN, INT_MIN, 1, INT_MAX, INT_MIN}};
    for (int i = 0; i < 3000; ++i) {
        std::vector<int> a;
        for (int k = 0; k < 8; ++k) a.push_back(pick());
        calls.push_back(a);
    }
    int drawn = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const std::vector<int>& a = calls[i];
        SCOPED_TRACE(testing::Message() << "call " << i);
        dst.Fill(old);
        SetStretchBltMode(dst.dc(), modes[i % 4]);
        if (i % 5 == 4) BitBlt(dst.dc(), a[0], a[1], a[2], a[3], src.dc(), a[4], a[5], SRCCOPY);
        else StretchBlt(dst.dc(), a[0], a[1], a[2], a[3], src.dc(), a[4], a[5], a[6], a[7], SRCCOPY);
        for (COLORREF c : dst.Pixels()) {
            ASSERT_TRUE(c == old || c == ink) << std::hex << c;
            drawn += c == ink;
        }
    }
    EXPECT_GT(drawn, 0);  // the sweep reaches the canvas, not only the clipped-away cases
}

TEST_F(GdiTest, OverlappingBltWithinOneBitmap)
{
    Canvas c(4, 4);
    std::vector<COLORREF> in;
    for (int i = 0; i < 16; ++i) in.push_back(static_cast<COLORREF>(i + 1));
    c.Fill(in);
    // Within a row, to the right: each source pixel is read before it is overwritten.
    BitBlt(c.dc(), 1, 0, 3, 1, c.dc(), 0, 0, SRCINVERT);
    const std::vector<COLORREF> row = c.Pixels();
    EXPECT_EQ((std::vector<COLORREF>{1, 2 ^ 1, 3 ^ 2, 4 ^ 3}), std::vector<COLORREF>(row.begin(), row.begin() + 4));
    c.Fill(in);
    BitBlt(c.dc(), 1, 1, 3, 3, c.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 0, 1, 2, 8, 4, 5, 6, 12, 8, 9, 10}), SourceIndices(c.Pixels()));
}

TEST_F(GdiTest, ColourAndMonochromeConversions)
{
    const COLORREF key = RGB(1, 2, 3);
    Canvas colour(4, 1), mono(4, 1, true);
    colour.Fill({key, RGB(255, 255, 255), RGB(1, 2, 4), key});
    SetBkColor(colour.dc(), key);
    SetBkMode(colour.dc(), TRANSPARENT);  // the mode does not matter to the conversion
    SetBkColor(mono.dc(), RGB(9, 9, 9));  // nor do the destination's colours
    BitBlt(mono.dc(), 0, 0, 4, 1, colour.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<COLORREF>{0xFFFFFF, 0, 0, 0xFFFFFF}), mono.Pixels());

    // 1 takes the destination's background colour, 0 its text colour.
    SetBkColor(colour.dc(), RGB(10, 20, 30));
    SetTextColor(colour.dc(), RGB(40, 50, 60));
    SetBkColor(mono.dc(), RGB(70, 80, 90));
    BitBlt(colour.dc(), 0, 0, 4, 1, mono.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<COLORREF>{RGB(10, 20, 30), RGB(40, 50, 60), RGB(40, 50, 60), RGB(10, 20, 30)}),
              colour.Pixels());

    Canvas mono2(4, 1, true);
    SetTextColor(mono2.dc(), RGB(255, 255, 255));
    BitBlt(mono2.dc(), 0, 0, 4, 1, mono.dc(), 0, 0, SRCCOPY);  // mono to mono: as it is
    EXPECT_EQ(mono.Pixels(), mono2.Pixels());
}

TEST_F(GdiTest, MaskCompositingKeepsTheBackgroundUnderTheKey)
{
    // The transparent drawing sequence: mask by key, then SRCINVERT, SRCAND, SRCINVERT.
    const COLORREF key = RGB(255, 0, 255);
    Canvas picture(3, 1), mask(3, 1, true), target(3, 1);
    picture.Fill({key, RGB(1, 2, 3), key});
    target.Fill({RGB(7, 7, 7), RGB(8, 8, 8), RGB(9, 9, 9)});
    SetBkColor(picture.dc(), key);
    BitBlt(mask.dc(), 0, 0, 3, 1, picture.dc(), 0, 0, SRCCOPY);
    BitBlt(target.dc(), 0, 0, 3, 1, picture.dc(), 0, 0, SRCINVERT);
    BitBlt(target.dc(), 0, 0, 3, 1, mask.dc(), 0, 0, SRCAND);
    BitBlt(target.dc(), 0, 0, 3, 1, picture.dc(), 0, 0, SRCINVERT);
    EXPECT_EQ((std::vector<COLORREF>{RGB(7, 7, 7), RGB(1, 2, 3), RGB(9, 9, 9)}), target.Pixels());
}

TEST_F(GdiTest, RasterOperationsByTheirDefinitions)
{
    struct Case {
        DWORD rop;
        std::uint32_t (*f)(std::uint32_t p, std::uint32_t s, std::uint32_t d);
    } cases[] = {
        {SRCCOPY, [](std::uint32_t, std::uint32_t s, std::uint32_t) { return s; }},
        {SRCPAINT, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return s | d; }},
        {SRCAND, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return s & d; }},
        {SRCINVERT, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return s ^ d; }},
        {SRCERASE, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return s & ~d; }},
        {NOTSRCCOPY, [](std::uint32_t, std::uint32_t s, std::uint32_t) { return ~s; }},
        {NOTSRCERASE, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return ~(s | d); }},
        {MERGECOPY, [](std::uint32_t p, std::uint32_t s, std::uint32_t) { return p & s; }},
        {MERGEPAINT, [](std::uint32_t, std::uint32_t s, std::uint32_t d) { return ~s | d; }},
        {PATCOPY, [](std::uint32_t p, std::uint32_t, std::uint32_t) { return p; }},
        {PATPAINT, [](std::uint32_t p, std::uint32_t s, std::uint32_t d) { return p | ~s | d; }},
        {PATINVERT, [](std::uint32_t p, std::uint32_t, std::uint32_t d) { return p ^ d; }},
        {DSTINVERT, [](std::uint32_t, std::uint32_t, std::uint32_t d) { return ~d; }},
        {BLACKNESS, [](std::uint32_t, std::uint32_t, std::uint32_t) { return 0u; }},
        {WHITENESS, [](std::uint32_t, std::uint32_t, std::uint32_t) { return ~0u; }},
        {0x00B8074A, [](std::uint32_t p, std::uint32_t s, std::uint32_t d) { return (s & d) | (~s & p); }},
        {0x00E20746, [](std::uint32_t p, std::uint32_t s, std::uint32_t d) { return (s & p) | (~s & d); }},
        {0x00960169, [](std::uint32_t p, std::uint32_t s, std::uint32_t d) { return p ^ s ^ d; }},
    };
    const std::uint32_t P = 0x00F0CC55, S = 0x00CCAA0F, D = 0x00AA3C33;  // as 0x00RRGGBB
    auto ref = [](std::uint32_t v) { return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.rop);
        Canvas src(1, 1), dst(1, 1);
        src.Fill(ref(S));
        dst.Fill(ref(D));
        HBRUSH brush = CreateSolidBrush(ref(P));
        HGDIOBJ old = SelectObject(dst.dc(), brush);
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 1, 1, src.dc(), 0, 0, c.rop));
        EXPECT_EQ(ref(c.f(P, S, D) & 0xFFFFFF), GetPixel(dst.dc(), 0, 0));
        // The same on monochrome pixels, in all eight combinations at once.
        Canvas msrc(8, 1, true), mdst(8, 1, true);
        for (int i = 0; i < 8; ++i) {
            SetPixel(msrc.dc(), i, 0, (i & 2) ? RGB(255, 255, 255) : 0);
            SetPixel(mdst.dc(), i, 0, (i & 1) ? RGB(255, 255, 255) : 0);
        }
        for (int p = 0; p < 2; ++p) {
            HBRUSH mb = CreateSolidBrush(p ? RGB(255, 255, 255) : 0);
            Canvas work(8, 1, true);
            BitBlt(work.dc(), 0, 0, 8, 1, mdst.dc(), 0, 0, SRCCOPY);
            HGDIOBJ wold = SelectObject(work.dc(), mb);
            BitBlt(work.dc(), 0, 0, 8, 1, msrc.dc(), 0, 0, c.rop);
            for (int i = 0; i < 8; ++i) {
                const std::uint32_t want = c.f(p ? ~0u : 0u, (i & 2) ? ~0u : 0u, (i & 1) ? ~0u : 0u) & 1;
                EXPECT_EQ(want ? RGB(255, 255, 255) : 0u, GetPixel(work.dc(), i, 0)) << "p " << p << " pixel " << i;
            }
            SelectObject(work.dc(), wold);
            DeleteObject(mb);
        }
        SelectObject(dst.dc(), old);
        DeleteObject(brush);
    }
}

TEST_F(GdiTest, BitmapAndSelectionRules)
{
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(32, GetDeviceCaps(screen, BITSPIXEL));
    EXPECT_EQ(1, GetDeviceCaps(screen, PLANES));
    EXPECT_EQ(0, GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
    HDC a = CreateCompatibleDC(screen);
    HDC b = CreateCompatibleDC(nullptr);
    BITMAP bm;
    // Size 0 is the stock 1x1 monochrome bitmap every new memory context holds.
    HBITMAP stock = CreateCompatibleBitmap(screen, 0, 5);
    EXPECT_EQ(static_cast<HGDIOBJ>(stock), GetCurrentObject(a, OBJ_BITMAP));
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(stock, sizeof bm, &bm));
    EXPECT_EQ(1, bm.bmWidth);
    EXPECT_EQ(1, bm.bmBitsPixel);
    // A bitmap compatible with a fresh memory context is monochrome.
    HBITMAP mono = CreateCompatibleBitmap(a, 17, 3);
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(mono, sizeof bm, &bm));
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(4, bm.bmWidthBytes);  // rows padded to 16 bits
    HBITMAP colour = CreateCompatibleBitmap(screen, -7, 3);
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(colour, sizeof bm, &bm));
    EXPECT_EQ(7, bm.bmWidth);
    EXPECT_EQ(32, bm.bmBitsPixel);
    EXPECT_EQ(28, bm.bmWidthBytes);

    EXPECT_EQ(static_cast<HGDIOBJ>(stock), SelectObject(a, colour));
    EXPECT_EQ(nullptr, SelectObject(b, colour));  // selected elsewhere already
    EXPECT_EQ(CLR_INVALID, GetPixel(a, 7, 0));
    EXPECT_EQ(CLR_INVALID, GetPixel(a, -1, 0));
    EXPECT_EQ(RGB(1, 2, 3), SetPixel(a, 6, 2, RGB(1, 2, 3)));
    // Deleting a selected bitmap waits for it to be deselected.
    EXPECT_TRUE(DeleteObject(colour));
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(a, 6, 2));
    EXPECT_EQ(static_cast<int>(sizeof bm), GetObjectA(colour, sizeof bm, &bm));
    EXPECT_EQ(static_cast<HGDIOBJ>(colour), SelectObject(a, stock));
    EXPECT_EQ(0, GetObjectA(colour, sizeof bm, &bm));
    EXPECT_FALSE(DeleteObject(colour));
    // Stale and foreign handles fail without harm.
    EXPECT_EQ(nullptr, SelectObject(a, colour));
    EXPECT_EQ(nullptr, SelectObject(reinterpret_cast<HDC>(mono), mono));
    SetLastError(0);
    EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(colour), 0, 0, 1, 1, a, 0, 0, SRCCOPY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(CLR_INVALID, GetPixel(reinterpret_cast<HDC>(mono), 0, 0));
    EXPECT_FALSE(BitBlt(a, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(PatBlt(a, 0, 0, 1, 1, SRCCOPY));

    // A context deleted with a doomed bitmap takes the bitmap with it.
    HBITMAP doomed = CreateCompatibleBitmap(screen, 2, 2);
    SelectObject(b, doomed);
    EXPECT_TRUE(DeleteObject(doomed));
    EXPECT_TRUE(DeleteDC(b));
    EXPECT_EQ(0, GetObjectA(doomed, sizeof bm, &bm));

    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_FALSE(DeleteDC(a));
    EXPECT_EQ(1, ReleaseDC(nullptr, screen));
}

TEST_F(GdiTest, PatternBrushTilesFromTheBrushOrigin)
{
    Canvas tile(2, 2), target(4, 4);
    tile.Fill({1, 2, 3, 4});
    LOGBRUSH lb = {BS_PATTERN, 0, 0};
    {
        // The brush keeps a copy: the bitmap may go before the brush is used.
        HDC screen = GetDC(nullptr);
        HBITMAP copy = CreateCompatibleBitmap(screen, 2, 2);
        ReleaseDC(nullptr, screen);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, copy);
        BitBlt(dc, 0, 0, 2, 2, tile.dc(), 0, 0, SRCCOPY);
        SelectObject(dc, old);
        DeleteDC(dc);
        lb.lbHatch = reinterpret_cast<ULONG_PTR>(copy);
        HBRUSH brush = CreateBrushIndirect(&lb);
        ASSERT_NE(nullptr, brush);
        DeleteObject(copy);
        target.Fill(0);
        const RECT rc = {1, 1, 4, 4};
        EXPECT_TRUE(FillRect(target.dc(), &rc, brush));
        EXPECT_EQ((std::vector<COLORREF>{0, 0, 0, 0, 0, 4, 3, 4, 0, 2, 1, 2, 0, 4, 3, 4}), target.Pixels());
        SetBrushOrgEx(target.dc(), 1, 0, nullptr);
        EXPECT_TRUE(FillRect(target.dc(), &rc, brush));
        EXPECT_EQ((std::vector<COLORREF>{0, 0, 0, 0, 0, 3, 4, 3, 0, 1, 2, 1, 0, 3, 4, 3}), target.Pixels());
        DeleteObject(brush);
    }
    // A monochrome pattern draws in the destination's background (1) and text (0) colours.
    Canvas mono(2, 1, true);
    SetPixel(mono.dc(), 0, 0, RGB(255, 255, 255));
    HBRUSH brush = CreatePatternBrush(mono.bitmap());
    SetBkColor(target.dc(), RGB(50, 0, 0));
    SetTextColor(target.dc(), RGB(60, 0, 0));
    SetBrushOrgEx(target.dc(), 0, 0, nullptr);
    const RECT row = {0, 0, 4, 1};
    FillRect(target.dc(), &row, brush);
    const std::vector<COLORREF> px = target.Pixels();
    EXPECT_EQ((std::vector<COLORREF>{RGB(50, 0, 0), RGB(60, 0, 0), RGB(50, 0, 0), RGB(60, 0, 0)}),
              std::vector<COLORREF>(px.begin(), px.begin() + 4));
    DeleteObject(brush);
}

TEST_F(GdiTest, BrushColoursAreDitheredOntoMonochrome)
{
    struct Case {
        COLORREF color;
        POINT origin;
        BYTE rows[8];  // leftmost pixel in the top bit
    } cases[] = {
        {RGB(128, 128, 128), {0, 0}, {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA}},
        {RGB(128, 128, 128), {1, 2}, {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}},
        {RGB(96, 96, 96), {0, 0}, {0x11, 0xAA, 0x44, 0xAA, 0x11, 0xAA, 0x44, 0xAA}},
        {RGB(248, 248, 248), {0, 0}, {0x7F, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF}},
        {RGB(255, 0, 0), {0, 0}, {0x00, 0xAA, 0x04, 0xAA, 0x00, 0xAA, 0x44, 0xAA}},
        {RGB(0, 0, 255), {0, 0}, {0x00, 0x02, 0x00, 0x88, 0x00, 0x22, 0x00, 0x88}},
        {RGB(255, 255, 255), {3, 5}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.color);
        Canvas mono(8, 8, true);
        HBRUSH brush = CreateSolidBrush(c.color);
        SetBrushOrgEx(mono.dc(), c.origin.x, c.origin.y, nullptr);
        const RECT all = {0, 0, 8, 8};
        FillRect(mono.dc(), &all, brush);
        DeleteObject(brush);
        const std::vector<COLORREF> px = mono.Pixels();
        for (int y = 0; y < 8; ++y) {
            int row = 0;
            for (int x = 0; x < 8; ++x) row = row * 2 + (px[static_cast<std::size_t>(y * 8 + x)] ? 1 : 0);
            EXPECT_EQ(c.rows[y], row) << "row " << y;
        }
    }
}

TEST_F(GdiTest, PalettesKeepTheirEntriesOnATrueColourScreen)
{
    struct {
        WORD version, count;
        PALETTEENTRY e[3];
    } lp = {0x300, 3, {{1, 2, 3, 0}, {4, 5, 6, PC_NOCOLLAPSE}, {7, 8, 9, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    ASSERT_NE(nullptr, pal);
    WORD count = 0;
    EXPECT_EQ(static_cast<int>(sizeof(WORD)), GetObjectA(pal, sizeof count, &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ(3u, GetPaletteEntries(pal, 0, 0, nullptr));
    PALETTEENTRY e[4] = {};
    EXPECT_EQ(2u, GetPaletteEntries(pal, 1, 4, e));
    EXPECT_EQ(4, e[0].peRed);
    EXPECT_EQ(PC_NOCOLLAPSE, e[0].peFlags);
    EXPECT_EQ(9, e[1].peBlue);
    HDC screen = GetDC(nullptr);
    HPALETTE old = SelectPalette(screen, pal, FALSE);
    EXPECT_EQ(GetStockObject(DEFAULT_PALETTE), static_cast<HGDIOBJ>(old));
    EXPECT_EQ(0u, RealizePalette(screen));
    EXPECT_EQ(pal, SelectPalette(screen, old, FALSE));
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DeleteObject(pal));
    EXPECT_EQ(0u, GetPaletteEntries(pal, 0, 0, nullptr));
}

// A packed DIB: header, masks or colour table, then the rows.
struct PackedDib {
    std::vector<std::uint8_t> bytes;
    const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(bytes.data()); }
    const void* bits() const { return bytes.data() + offset; }
    std::size_t offset = 0;
};

PackedDib MakeDib(int bpp, int w, int h, DWORD compression, std::vector<std::uint32_t> table,
                  std::vector<std::uint8_t> rows)
{
    BITMAPINFOHEADER hdr = {};
    hdr.biSize = sizeof hdr;
    hdr.biWidth = w;
    hdr.biHeight = h;
    hdr.biPlanes = 1;
    hdr.biBitCount = static_cast<WORD>(bpp);
    hdr.biCompression = compression;
    hdr.biClrUsed = bpp <= 8 ? static_cast<DWORD>(table.size()) : 0;
    PackedDib d;
    d.bytes.resize(sizeof hdr + 4 * table.size());
    std::memcpy(d.bytes.data(), &hdr, sizeof hdr);
    if (!table.empty()) std::memcpy(d.bytes.data() + sizeof hdr, table.data(), 4 * table.size());
    d.offset = d.bytes.size();
    d.bytes.insert(d.bytes.end(), rows.begin(), rows.end());
    return d;
}

TEST_F(GdiTest, CreateDIBitmapReadsEachFormat)
{
    struct Case {
        const char* name;
        PackedDib dib;
        std::vector<COLORREF> expect;  // top row first
    } cases[] = {
        {"1 bpp bottom-up",
         MakeDib(1, 3, 2, BI_RGB, {0x00112233, 0x00445566}, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}),
         {0x332211, 0x665544, 0x665544, 0x665544, 0x332211, 0x665544}},
        {"1 bpp top-down",
         MakeDib(1, 3, -2, BI_RGB, {0x00112233, 0x00445566}, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}),
         {0x665544, 0x332211, 0x665544, 0x332211, 0x665544, 0x665544}},
        {"4 bpp, index past the table",
         MakeDib(4, 3, 1, BI_RGB, {0x010203, 0x040506, 0x070809}, {0x12, 0xF0, 0, 0}),
         {0x060504, 0x090807, 0}},
        {"8 bpp", MakeDib(8, 3, 1, BI_RGB, {0x0A0B0C, 0x0D0E0F}, {1, 0, 1, 0}), {0x0F0E0D, 0x0C0B0A, 0x0F0E0D}},
        {"16 bpp 555", MakeDib(16, 2, 1, BI_RGB, {}, {0x42, 0x08, 0x34, 0x12}), {0x101010, 0xA58C21}},
        {"16 bpp 565",
         MakeDib(16, 2, 1, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, {0x41, 0x08, 0x34, 0x12}),
         {0x080808, 0xA54510}},
        {"16 bpp 444",
         MakeDib(16, 2, 1, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, {0x0F, 0x0F, 0x23, 0x01}),
         {0xFF00FF, 0x332211}},
        {"24 bpp",
         MakeDib(24, 2, 2, BI_RGB, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}),
         {0x070809, 0x0A0B0C, 0x010203, 0x040506}},
        {"32 bpp", MakeDib(32, 2, 1, BI_RGB, {}, {0x33, 0x22, 0x11, 0xAA, 0x66, 0x55, 0x44, 0}), {0x332211, 0x665544}},
        {"32 bpp swapped masks",
         MakeDib(32, 2, 1, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, {0x33, 0x22, 0x11, 0xAA, 0x66, 0x55, 0x44, 0}),
         {0x112233, 0x445566}},
        {"32 bpp 10-bit masks",
         MakeDib(32, 2, 1, BI_BITFIELDS, {0x3FF00000, 0xFFC00, 0x3FF}, {0x00, 0x02, 0xF0, 0x3F, 0x01, 0x04, 0x10, 0}),
         {0x8000FF, 0}},
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HBITMAP bm =
            CreateDIBitmap(screen, &c.dib.info()->bmiHeader, CBM_INIT, c.dib.bits(), c.dib.info(), DIB_RGB_COLORS);
        ASSERT_NE(nullptr, bm);
        HDC dc = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(dc, bm);
        const int w = c.dib.info()->bmiHeader.biWidth;
        std::vector<COLORREF> got;
        for (std::size_t i = 0; i < c.expect.size(); ++i)
            got.push_back(GetPixel(dc, static_cast<int>(i) % w, static_cast<int>(i) / w));
        EXPECT_EQ(c.expect, got);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bm);
    }
    // Compatible with no context: monochrome, each colour to the nearer of black and white.
    PackedDib bw = MakeDib(1, 3, 1, BI_RGB, {0x0000FF, 0xC8C8C8}, {0x60, 0, 0, 0});
    HBITMAP m = CreateDIBitmap(nullptr, &bw.info()->bmiHeader, CBM_INIT, bw.bits(), bw.info(), DIB_RGB_COLORS);
    BITMAP info;
    ASSERT_EQ(static_cast<int>(sizeof info), GetObjectA(m, sizeof info, &info));
    EXPECT_EQ(1, info.bmBitsPixel);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, m);
    EXPECT_EQ((std::vector<COLORREF>{0, 0xFFFFFF, 0xFFFFFF}),
              (std::vector<COLORREF>{GetPixel(dc, 0, 0), GetPixel(dc, 1, 0), GetPixel(dc, 2, 0)}));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(m);
    // Refused, never misread: run-length data without their size (biSizeImage 0), depths
    // without a meaning, masks on 24 bits.
    const PackedDib refused[] = {
        MakeDib(8, 4, 1, BI_RLE8, {0x10, 0x20}, {4, 1, 0, 1}),
        MakeDib(4, 4, 1, BI_RLE4, {0x10, 0x20}, {4, 0x01, 0, 1}),
        MakeDib(7, 4, 1, BI_RGB, {}, {0, 0, 0, 0}),
        MakeDib(24, 1, 1, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, {0, 0, 0, 0}),
    };
    for (const PackedDib& d : refused)
        EXPECT_EQ(nullptr, CreateDIBitmap(screen, &d.info()->bmiHeader, CBM_INIT, d.bits(), d.info(), DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
}

// RLE8 and RLE4 (biSizeImage bytes of runs, rows from the bottom): what Wine makes of each
// escape and of data that run past their rows or end early. Pixels are table indices, top
// row first; -1 is a pixel no kept run sets (black).
TEST_F(GdiTest, CreateDIBitmapDecodesRunLengthData)
{
    struct Case {
        const char* name;
        int bpp, w, h;
        std::vector<std::uint8_t> data;
        std::vector<int> expect;
    } cases[] = {
        {"runs, end of row, absolute run", 8, 4, 2, {3, 1, 1, 2, 0, 0, 0, 4, 3, 2, 1, 0, 0, 1}, {3, 2, 1, 0, 1, 1, 1, 2}},
        {"a move leaves pixels unset", 8, 5, 2, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, {-1, -1, -1, 2, -1, 1, -1, -1, -1, -1}},
        {"a run is cut at the row's end, the row's later runs lost",
         8,
         3,
         2,
         {5, 1, 2, 2, 0, 0, 1, 3, 0, 1},
         {3, -1, -1, 1, 1, 1}},
        {"an absolute run of 3 skips its pad byte", 8, 6, 1, {0, 3, 1, 2, 3, 0, 2, 4, 0, 1}, {1, 2, 3, 4, 4, -1}},
        {"a move right stops at the row's end", 8, 3, 2, {1, 1, 0, 2, 9, 0, 1, 2, 0, 0, 1, 3, 0, 1}, {3, -1, -1, 1, -1, -1}},
        {"a move past the top ends the picture", 8, 3, 2, {1, 1, 0, 2, 1, 5, 1, 2, 0, 1}, {-1, -1, -1, 1, -1, -1}},
        {"an end of row past the top ends it", 8, 2, 2, {2, 1, 0, 0, 2, 2, 0, 0, 2, 3}, {2, 2, 1, 1}},
        {"runs the data end after are lost", 8, 3, 2, {3, 1, 0, 0, 2, 2}, {-1, -1, -1, 1, 1, 1}},
        {"a cut absolute run ends the picture", 8, 4, 1, {1, 1, 0, 5, 2, 2}, {-1, -1, -1, -1}},
        {"RLE4 runs start on their high nibble", 4, 6, 1, {1, 0x30, 4, 0x12, 0, 1}, {3, 1, 2, 1, 2, -1}},
        {"RLE4 odd absolute run at an odd column",
         4,
         7,
         1,
         {1, 0x50, 0, 5, 0x12, 0x34, 0x50, 0, 1, 0x20, 0, 1},
         {5, 1, 2, 3, 4, 5, 2}},
        {"RLE4 move", 4, 5, 2, {1, 0x10, 0, 2, 2, 1, 2, 0x23, 0, 1}, {-1, -1, -1, 2, 3, 1, -1, -1, -1, -1}},
    };
    const std::vector<std::uint32_t> table = {0x101150, 0x202251, 0x303352, 0x404453, 0x505554, 0x606655};
    auto colour = [&](int i) -> COLORREF {
        if (i < 0) return 0;
        const std::uint32_t q = table[static_cast<std::size_t>(i)];
        return RGB(q >> 16 & 0xFF, q >> 8 & 0xFF, q & 0xFF);
    };
    auto rle = [&](int bpp, DWORD compression, int w, int h, const std::vector<std::uint8_t>& data) {
        PackedDib d = MakeDib(bpp, w, h, compression, table, data);
        reinterpret_cast<BITMAPINFOHEADER*>(d.bytes.data())->biSizeImage = static_cast<DWORD>(data.size());
        d.bytes.resize(d.bytes.size() + 16, 0xEE);  // what lies behind the data is never read
        return d;
    };
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PackedDib d = rle(c.bpp, c.bpp == 8 ? BI_RLE8 : BI_RLE4, c.w, c.h, c.data);
        HBITMAP bm = CreateDIBitmap(screen, &d.info()->bmiHeader, CBM_INIT, d.bits(), d.info(), DIB_RGB_COLORS);
        ASSERT_NE(nullptr, bm);
        HDC dc = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(dc, bm);
        std::vector<COLORREF> got, expect;
        for (std::size_t i = 0; i < c.expect.size(); ++i) {
            got.push_back(GetPixel(dc, static_cast<int>(i) % c.w, static_cast<int>(i) / c.w));
            expect.push_back(colour(c.expect[i]));
        }
        EXPECT_EQ(expect, got);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bm);
    }
    // Refused: top-down, RLE8 on 4 bits, RLE4 on 8 bits.
    const PackedDib refused[] = {rle(8, BI_RLE8, 2, -1, {2, 1, 0, 1}), rle(4, BI_RLE8, 2, 1, {2, 1, 0, 1}),
                                 rle(8, BI_RLE4, 2, 1, {2, 1, 0, 1})};
    for (const PackedDib& d : refused) {
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateDIBitmap(screen, &d.info()->bmiHeader, CBM_INIT, d.bits(), d.info(), DIB_RGB_COLORS));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, GetDIBitsReadsRowsBack)
{
    Canvas c(3, 2);
    c.Fill({RGB(1, 2, 3), 0, 0, 0, 0, RGB(200, 200, 200)});
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } bi = {};
    bi.h.biSize = sizeof bi.h;
    EXPECT_EQ(2, GetDIBits(c.dc(), c.bitmap(), 0, 2, nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS));
    EXPECT_EQ(3, bi.h.biWidth);
    EXPECT_EQ(32, bi.h.biBitCount);
    std::uint8_t out[24];  // two rows of 12 bytes
    bi.h.biBitCount = 24;
    bi.h.biCompression = BI_RGB;
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(2, GetDIBits(c.dc(), c.bitmap(), 0, 2, out, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS));
    const std::uint8_t want24[24] = {0, 0, 0, 0, 0, 0, 200, 200, 200, 0, 0, 0, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(want24, out, sizeof want24));
    std::uint32_t out32[6];
    bi.h.biBitCount = 32;
    bi.h.biHeight = -2;
    EXPECT_EQ(2, GetDIBits(c.dc(), c.bitmap(), 0, 2, out32, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS));
    EXPECT_EQ(0x010203u, out32[0]);
    EXPECT_EQ(0xC8C8C8u, out32[5]);
    bi.h.biBitCount = 1;
    bi.h.biHeight = 2;
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(2, GetDIBits(c.dc(), c.bitmap(), 0, 2, out, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS));
    EXPECT_EQ(0x20, out[0]);  // bottom row first: 0 0 1
    EXPECT_EQ(0x00, out[4]);
    EXPECT_EQ(255, bi.colors[1].rgbRed);
}

// A section's bits are its pixel rows: the host and GDI see each other's writes at once, in
// both orientations, and the bits stay the bitmap's while a deletion waits for its context.
TEST_F(GdiTest, DibSectionSharesItsRowsWithTheHost)
{
    for (const int height : {3, -3}) {
        struct {
            BITMAPINFOHEADER h;
            DWORD masks[3];
        } bi = {{sizeof(BITMAPINFOHEADER), 4, height, 1, 32, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xFF0000, 0xFF00, 0xFF}};
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(nullptr, dib);
        ASSERT_NE(nullptr, bits);
        auto* px = static_cast<std::uint32_t*>(bits);
        const int topRow = height < 0 ? 0 : 2;  // the memory row that is the picture's top
        px[topRow * 4 + 1] = 0xFF102030;        // the top byte is the host's own
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, dib);
        EXPECT_EQ(RGB(0x10, 0x20, 0x30), GetPixel(dc, 1, 0)) << height;
        SetPixel(dc, 3, 2, RGB(1, 2, 3));
        EXPECT_EQ(0x010203u, px[(2 - topRow) * 4 + 3]) << height;
        // A copy within the section moves the rows the host sees, top byte included.
        BitBlt(dc, 0, 1, 4, 1, dc, 0, 0, SRCCOPY);
        EXPECT_EQ(0xFF102030u, px[1 * 4 + 1]) << height;  // row 1 is the middle either way
        // Deleted while selected: still drawn on and seen until its context lets it go.
        EXPECT_TRUE(DeleteObject(dib));
        EXPECT_TRUE(PatBlt(dc, 0, 0, 1, 1, WHITENESS));
        EXPECT_EQ(0xFFFFFFu, px[topRow * 4] & 0xFFFFFF) << height;
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_EQ(0u, GetObjectType(dib));
    }
}

}  // namespace
