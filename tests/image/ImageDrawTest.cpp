// Plain drawing, copying, filling and the memory-context pairing.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

// A w x h picture whose pixel (x, y) is unique: red x, green y, blue 0x80.
Pixels Ramp(int w, int h)
{
    Pixels p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.push_back(RGB(x, y, 0x80));
    return p;
}

// The canvas that the expected transfer, made directly, leaves.
Pixels Reference(HBITMAP picture, int x, int y, int w, int h, int xs, int ys, int ws, int hs)
{
    Canvas ref(120, 100, 0x00FF00);
    SetStretchBltMode(ref.dc.m_hDC, COLORONCOLOR);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, picture);
    StretchBlt(ref.dc.m_hDC, x, y, w, h, mem, xs, ys, ws, hs, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    return ref.Read();
}

}  // namespace

class ImageDraw : public ImageTest {};

TEST_F(ImageDraw, DrawImageDefaultsClampAndStretch)
{
    struct { const char* name; int args[8]; int x, y, w, h, xs, ys, ws, hs; } cases[] = {
        {"all zero: whole picture 1:1", {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 100, 80, 0, 0, 100, 80},
        {"rest from (10,10) stretched to 100x80", {0, 0, 0, 0, 10, 10, 0, 0}, 0, 0, 100, 80, 10, 10, 90, 70},
        {"source clamped to the picture", {5, 5, 100, 80, 0, 0, 200, 200}, 5, 5, 100, 80, 0, 0, 100, 80},
        {"equal sizes never stretch", {3, 4, 20, 10, 7, 8, 20, 10}, 3, 4, 20, 10, 7, 8, 20, 10},
        {"doubled", {0, 0, 40, 20, 30, 30, 20, 10}, 0, 0, 40, 20, 30, 30, 20, 10},
    };
    CImage img;
    Fill(img, 100, 80, Ramp(100, 80));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(120, 100, 0x00FF00);
        SetStretchBltMode(canvas.dc.m_hDC, COLORONCOLOR);
        const int* a = c.args;
        EXPECT_EQ(1, img.DrawImage(&canvas.dc, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]));
        EXPECT_EQ(Reference(img.m_hBitmap, c.x, c.y, c.w, c.h, c.xs, c.ys, c.ws, c.hs), canvas.Read());
    }
    EXPECT_EQ(0, img.DrawImage(nullptr, 0, 0, 0, 0, 0, 0, 0, 0));
    CImage empty;
    Canvas canvas(4, 4, 0);
    EXPECT_EQ("Warning : CImage::DrawImage() : no bitmap loaded\n",
              TraceOf([&] { EXPECT_EQ(0, empty.DrawImage(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0)); }));
}

TEST_F(ImageDraw, CopyImageRefusesSharedBitmapsAndCopiesWholePictures)
{
    CImage src, dest;
    Fill(src, 3, 2, Ramp(3, 2));
    Fill(dest, 5, 4, Pixels(20, 0x999999));
    CImage shared(dest);
    EXPECT_EQ("Error : CImage::CopyImage() : source or dest bitmap is same?\n",
              TraceOf([&] { EXPECT_EQ(0, dest.CopyImage(shared, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    CImage empty;
    EXPECT_EQ("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n",
              TraceOf([&] { EXPECT_EQ(0, src.CopyImage(empty, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(1, src.CopyImage(dest, 2, 1, 0, 0, 0, 0, 0, 0));
    Pixels expect(20, 0x999999);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) expect[size_t(y + 1) * 5 + x + 2] = RGB(x, y, 0x80);
    EXPECT_EQ(expect, ReadPixels(dest.m_hBitmap, 5, 4));
}

TEST_F(ImageDraw, FillRectOnAnEmptyImageMakesTheRectanglesSize)
{
    struct { CRect rect; int filledFrom; } cases[] = {{CRect(0, 0, 40, 30), 0}, {CRect(10, 10, 50, 40), 10}};
    for (auto& c : cases) {
        CImage img;
        EXPECT_EQ(1, img.FillRect(c.rect, 0x336699));
        ASSERT_EQ(40, img.m_nWidth);
        ASSERT_EQ(30, img.m_nHeight);
        const Pixels got = ReadPixels(img.m_hBitmap, 40, 30);
        for (int y = c.filledFrom; y < 30; ++y)
            for (int x = c.filledFrom; x < 40; ++x) ASSERT_EQ(0x336699u, got[size_t(y) * 40 + x]);
    }
}

TEST_F(ImageDraw, MemDCPairingAndReleaseWhilePaired)
{
    CDC first, second;
    CImage img;
    Fill(img, 2, 2, Pixels(4, 0x0000FF));
    EXPECT_EQ(1, img.BeginMemDC(first, nullptr));
    EXPECT_EQ(0x0000FFu, first.GetPixel(1, 1));
    EXPECT_EQ(1, img.BeginMemDC(second, nullptr));  // first gets its own bitmap back
    EXPECT_EQ(&second, img.m_pMemDC);
    EXPECT_EQ(CLR_INVALID, first.GetPixel(1, 1));
    second.SetPixel(0, 0, 0x00FF00);
    img.EndMemDC();
    EXPECT_EQ(nullptr, img.m_pMemDC);
    EXPECT_EQ(0x00FF00u, ReadPixels(img.m_hBitmap, 2, 2)[0]);
    img.EndMemDC();  // nothing to end

    // Destroyed while paired: the context gets its bitmap back and the picture really goes.
    HBITMAP held;
    {
        CImage paired;
        Fill(paired, 2, 2, Pixels(4, 0x0000FF));
        held = paired.m_hBitmap;
        paired.BeginMemDC(first, nullptr);
    }
    EXPECT_EQ(CLR_INVALID, first.GetPixel(1, 1));
    BITMAP bm;
    EXPECT_EQ(0, GetObjectA(held, sizeof bm, &bm));
}
