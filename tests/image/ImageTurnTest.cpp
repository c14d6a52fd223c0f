// Quarter turns and tiling.
#include "ImageTestSupport.h"

using namespace lktest;

class ImageTurn : public ImageTest {};

TEST_F(ImageTurn, QuarterTurns)
{
    const COLORREF p1 = 1, p2 = 2, p3 = 3, p4 = 0xA4, p5 = 0xB500, p6 = 0xC60000;
    CImage src, turned, back;
    Fill(src, 3, 2, {p1, p2, p3, p4, p5, p6});
    ASSERT_EQ(1, turned.CreateRotateBitmap(src, 90));
    EXPECT_EQ((Pixels{p4, p1, p5, p2, p6, p3}), ReadPixels(turned.m_hBitmap, 2, 3));
    ASSERT_EQ(1, back.CreateRotateBitmap(turned, 270));  // 90 then 270: the first picture
    EXPECT_EQ((Pixels{p1, p2, p3, p4, p5, p6}), ReadPixels(back.m_hBitmap, 3, 2));
    ASSERT_EQ(1, turned.CreateRotateBitmap(src, 270));  // replaces the picture held
    EXPECT_EQ((Pixels{p3, p6, p2, p5, p1, p4}), ReadPixels(turned.m_hBitmap, 2, 3));
    EXPECT_EQ(2, turned.m_nWidth);
    EXPECT_EQ(3, turned.m_nHeight);

    // Larger than one block of the turn, with odd sizes.
    const int w = 77, h = 45;
    Pixels big;
    for (int i = 0; i < w * h; ++i) big.push_back(COLORREF(i * 2654435761u) & 0xFFFFFF);
    Fill(src, w, h, big);
    ASSERT_EQ(1, turned.CreateRotateBitmap(src, 90));
    const Pixels got = ReadPixels(turned.m_hBitmap, h, w);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(big[i], got[size_t(i % w) * h + h - 1 - i / w]) << i;
}

TEST_F(ImageTurn, RefusedTurnsLeaveThePictureIntact)
{
    CImage img, empty;
    Fill(img, 3, 2, Pixels(6, 0x123456));
    CImage shared(img);
    for (int angle : {180, 0, -90})
        EXPECT_EQ(Traced("Error : CImage::CreateRotateBitmap() : nAngel == " + std::to_string(angle) +
                         " is invalid,only 90 and 270 supported\n"),
                  TraceOf([&] { EXPECT_EQ(0, img.CreateRotateBitmap(img, angle)); }));
    EXPECT_EQ(Traced("Error : CImage::CreateRotateBitmap() : source bitmap is not loaded?\n"),
              TraceOf([&] { EXPECT_EQ(0, img.CreateRotateBitmap(empty, 90)); }));
    EXPECT_EQ(0, img.CreateRotateBitmap(img, 90));
    EXPECT_EQ(0, img.CreateRotateBitmap(shared, 270));
    EXPECT_EQ(0, shared.CreateRotateBitmap(img, 270));
    EXPECT_EQ((Pixels(6, 0x123456)), ReadPixels(img.m_hBitmap, 3, 2));
}

TEST_F(ImageTurn, TilesAreCutOnePixelPastTheArea)
{
    Pixels tile;  // 30 x 20, red x, green y
    for (int i = 0; i < 600; ++i) tile.push_back(RGB(i % 30, i / 30, 0x80));
    CImage img, empty, zero, other;
    Fill(img, 30, 20, tile);
    struct {
        int w, h, reachX, reachY;
    } cases[] = {
        {100, 40, 101, 40},  // 4 columns, the last 11 wide
        {90, 40, 90, 40},   {95, 45, 96, 46}, {0, 40, 0, 0}, {-5, 40, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        Canvas canvas(120, 60, 0x00FF00);
        EXPECT_EQ(1, img.TitleDrawImage(&canvas.dc, 2, 3, c.w, c.h));
        const Pixels got = canvas.Read();
        for (int i = 0; i < 120 * 60; ++i) {
            const int x = i % 120 - 2, y = i / 120 - 3;
            const bool in = x >= 0 && y >= 0 && x < c.reachX && y < c.reachY;
            ASSERT_EQ(in ? RGB(x % 30, y % 20, 0x80) : 0x00FF00u, got[i]) << x << "," << y;
        }
    }
    // No division by zero, no drawing without a context.
    zero = img;  // a copy whose tile has size 0
    zero.m_nWidth = zero.m_nHeight = 0;
    Fill(other, 2, 2, Pixels(4, 0));
    Canvas canvas(4, 4, 0);
    EXPECT_EQ(1, zero.TitleDrawImage(&canvas.dc, 0, 0, 10, 10));
    EXPECT_EQ(1, img.TitleDrawImage(nullptr, 0, 0, 10, 10));
    EXPECT_EQ(1, empty.TitleDrawImage(&canvas.dc, 0, 0, 10, 10));
    EXPECT_EQ(Traced("Error : CImage::TitleCopyImage() : m_nWidth == 0\r\n"),
              TraceOf([&] { EXPECT_EQ(0, zero.TitleCopyImage(other)); }));
    EXPECT_EQ(0, img.TitleBitmap(nullptr, nullptr));
    // A CDC that holds no context: the brush is made (and released), FillRect fails, 1.
    CDC none;
    RECT r = {0, 0, 4, 4};
    const DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_EQ(1, img.TitleBitmap(&none, &r));
    EXPECT_EQ(objects, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    EXPECT_EQ(Traced("Error : CImage::TitleBitmap() : bitmap is not loaded.\n"),
              TraceOf([&] { EXPECT_EQ(0, empty.TitleBitmap(&canvas.dc, nullptr)); }));
}

TEST_F(ImageTurn, TitleCopyImageAndPatternBrushCoverTheDestination)
{
    const Pixels four = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    CImage tile, dest;
    Fill(tile, 2, 2, four);
    Fill(dest, 5, 3, Pixels(15, 0));
    CImage same(tile);
    EXPECT_EQ(Traced("Error : CImage::TitleCopyImage() : source or dest bitmap is same?\n"),
              TraceOf([&] { EXPECT_EQ(0, tile.TitleCopyImage(same)); }));
    EXPECT_EQ(1, tile.TitleCopyImage(dest));
    Pixels expect;
    for (int i = 0; i < 15; ++i) expect.push_back(four[size_t(i / 5 % 2) * 2 + i % 5 % 2]);
    EXPECT_EQ(expect, ReadPixels(dest.m_hBitmap, 5, 3));
    Canvas canvas(5, 3, 0);
    RECT r = {0, 0, 5, 3};
    EXPECT_EQ(1, tile.TitleBitmap(&canvas.dc, &r));
    EXPECT_EQ(expect, canvas.Read());
}
