// Quarter turns and tiling.
#include "ImageTestSupport.h"

using namespace lktest;

class ImageTurn : public ImageTest {};

TEST_F(ImageTurn, QuarterTurnsOfThreeByTwo)
{
    const COLORREF p1 = 0x000001, p2 = 0x000002, p3 = 0x000003, p4 = 0x0000A4, p5 = 0x00B500, p6 = 0xC60000;
    CImage src, turned, back;
    Fill(src, 3, 2, {p1, p2, p3, p4, p5, p6});
    struct { int angle; Pixels expect; } cases[] = {
        {90, {p4, p1, p5, p2, p6, p3}},
        {270, {p3, p6, p2, p5, p1, p4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        ASSERT_EQ(1, turned.CreateRotateBitmap(src, c.angle));
        EXPECT_EQ(2, turned.m_nWidth);
        EXPECT_EQ(3, turned.m_nHeight);
        EXPECT_EQ(nullptr, turned.m_hPalette);
        EXPECT_EQ(c.expect, ReadPixels(turned.m_hBitmap, 2, 3));
    }
    ASSERT_EQ(1, turned.CreateRotateBitmap(src, 90));
    ASSERT_EQ(1, back.CreateRotateBitmap(turned, 270));
    EXPECT_EQ(ReadPixels(src.m_hBitmap, 3, 2), ReadPixels(back.m_hBitmap, 3, 2));

    // A large odd-sized picture: the turn by rows equals the one by pixels.
    const int w = 77, h = 45;
    Pixels big;
    for (int i = 0; i < w * h; ++i) big.push_back(COLORREF(i * 2654435761u) & 0xFFFFFF);
    CImage large;
    Fill(large, w, h, big);
    ASSERT_EQ(1, turned.CreateRotateBitmap(large, 270));
    const Pixels got = ReadPixels(turned.m_hBitmap, h, w);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) ASSERT_EQ(big[size_t(y) * w + x], got[size_t(w - 1 - x) * h + y]);
}

TEST_F(ImageTurn, RefusedTurnsLeaveThePictureIntact)
{
    CImage img, empty;
    Fill(img, 3, 2, Pixels(6, 0x123456));
    CImage shared(img);
    const HBITMAP h = img.m_hBitmap;
    for (int angle : {180, 0, -90})
        EXPECT_EQ("Error : CImage::CreateRotateBitmap() : nAngel == " + std::to_string(angle) +
                      " is invalid,only 90 and 270 supported\n",
                  TraceOf([&] { EXPECT_EQ(0, img.CreateRotateBitmap(img, angle)); }));
    EXPECT_EQ("Error : CImage::CreateRotateBitmap() : source bitmap is not loaded?\n",
              TraceOf([&] { EXPECT_EQ(0, img.CreateRotateBitmap(empty, 90)); }));
    EXPECT_EQ(0, img.CreateRotateBitmap(img, 90));
    EXPECT_EQ(0, img.CreateRotateBitmap(shared, 270));
    EXPECT_EQ(0, shared.CreateRotateBitmap(img, 270));
    EXPECT_EQ(h, img.m_hBitmap);
    EXPECT_EQ((Pixels(6, 0x123456)), ReadPixels(h, 3, 2));
}

TEST_F(ImageTurn, TilesAreCutOnePixelPastTheArea)
{
    // A 30 x 20 tile whose pixels tell where in the tile they are.
    Pixels tile;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) tile.push_back(RGB(x, y, 0x80));
    CImage img;
    Fill(img, 30, 20, tile);
    struct { int w, h; int reachX, reachY; } cases[] = {
        {100, 40, 101, 40},  // 4 columns, the last 11 wide: one pixel past x + 100
        {90, 40, 90, 40},    // whole tiles only
        {95, 45, 96, 46},
        {0, 40, 0, 0}, {-5, 40, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        Canvas canvas(120, 60, 0x00FF00);
        EXPECT_EQ(1, img.TitleDrawImage(&canvas.dc, 2, 3, c.w, c.h));
        const Pixels got = canvas.Read();
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) {
                const bool in = x >= 2 && y >= 3 && x < 2 + c.reachX && y < 3 + c.reachY;
                ASSERT_EQ(in ? RGB((x - 2) % 30, (y - 3) % 20, 0x80) : 0x00FF00u, got[size_t(y) * 120 + x])
                    << x << "," << y;
            }
    }
    CImage empty, zero;
    zero.m_hBitmap = img.m_hBitmap;  // a hand-made zero-sized tile: no division by zero
    Canvas canvas(4, 4, 0);
    EXPECT_EQ(1, zero.TitleDrawImage(&canvas.dc, 0, 0, 10, 10));
    EXPECT_EQ(1, img.TitleDrawImage(nullptr, 0, 0, 10, 10));
    EXPECT_EQ(1, empty.TitleDrawImage(&canvas.dc, 0, 0, 10, 10));
    CImage other;
    Fill(other, 2, 2, Pixels(4, 0));
    EXPECT_EQ("Error : CImage::TitleCopyImage() : m_nWidth == 0\r\n",
              TraceOf([&] { EXPECT_EQ(0, zero.TitleCopyImage(other)); }));
    EXPECT_EQ(0, img.TitleBitmap(nullptr, nullptr));
    EXPECT_EQ("Error : CImage::TitleBitmap() : bitmap is not loaded.\n",
              TraceOf([&] { EXPECT_EQ(0, empty.TitleBitmap(&canvas.dc, nullptr)); }));
    zero.m_hBitmap = nullptr;
}

TEST_F(ImageTurn, TitleCopyImageAndPatternBrushCoverTheDestination)
{
    CImage tile, dest;
    Fill(tile, 2, 2, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF});
    Fill(dest, 5, 3, Pixels(15, 0));
    CImage same(tile);
    EXPECT_EQ("Error : CImage::TitleCopyImage() : source or dest bitmap is same?\n",
              TraceOf([&] { EXPECT_EQ(0, tile.TitleCopyImage(same)); }));
    EXPECT_EQ(1, tile.TitleCopyImage(dest));
    Pixels expect;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) expect.push_back(ReadPixels(tile.m_hBitmap, 2, 2)[size_t(y % 2) * 2 + x % 2]);
    EXPECT_EQ(expect, ReadPixels(dest.m_hBitmap, 5, 3));

    Canvas canvas(5, 3, 0);
    RECT r = {0, 0, 5, 3};
    EXPECT_EQ(1, tile.TitleBitmap(&canvas.dc, &r));
    EXPECT_EQ(expect, canvas.Read());
}
