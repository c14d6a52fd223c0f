// Plain drawing, copying, filling and the memory-context pairing.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

Pixels Ramp(int w, int h)  // pixel (x, y) is red x, green y
{
    Pixels p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.push_back(RGB(x, y, 0x80));
    return p;
}

// The canvas that the expected transfer, made directly, leaves.
Pixels Reference(HBITMAP picture, const int (&r)[8])
{
    Canvas ref(120, 100, 0x00FF00);
    SetStretchBltMode(ref.dc.m_hDC, COLORONCOLOR);
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    HGDIOBJ old = mem.SelectObject(picture);
    StretchBlt(ref.dc.m_hDC, r[0], r[1], r[2], r[3], mem.m_hDC, r[4], r[5], r[6], r[7], SRCCOPY);
    mem.SelectObject(old);
    return ref.Read();
}

}  // namespace

class ImageDraw : public ImageTest {};

TEST_F(ImageDraw, DrawImageDefaultsClampAndStretch)
{
    struct {
        const char* name;
        int args[8];
        int drawn[8];
    } cases[] = {
        {"all zero: whole picture 1:1", {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 100, 80, 0, 0, 100, 80}},
        {"rest from (10,10) stretched", {0, 0, 0, 0, 10, 10, 0, 0}, {0, 0, 100, 80, 10, 10, 90, 70}},
        {"source clamped", {5, 5, 100, 80, 0, 0, 200, 200}, {5, 5, 100, 80, 0, 0, 100, 80}},
        {"equal sizes", {3, 4, 20, 10, 7, 8, 20, 10}, {3, 4, 20, 10, 7, 8, 20, 10}},
        {"doubled", {0, 0, 40, 20, 30, 30, 20, 10}, {0, 0, 40, 20, 30, 30, 20, 10}},
    };
    CImage img;
    Fill(img, 100, 80, Ramp(100, 80));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(120, 100, 0x00FF00);
        SetStretchBltMode(canvas.dc.m_hDC, COLORONCOLOR);
        const int* a = c.args;
        EXPECT_EQ(1, img.DrawImage(&canvas.dc, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]));
        EXPECT_EQ(Reference(img.m_hBitmap, c.drawn), canvas.Read());
    }
    CImage empty;
    Canvas canvas(4, 4, 0);
    EXPECT_EQ(0, img.DrawImage(nullptr, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Traced("Warning : CImage::DrawImage() : no bitmap loaded\n"),
              TraceOf([&] { EXPECT_EQ(0, empty.DrawImage(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0)); }));
}

TEST_F(ImageDraw, CopyImageAndFillRect)
{
    CImage src, dest, empty;
    Fill(src, 3, 2, Ramp(3, 2));
    Fill(dest, 5, 4, Pixels(20, 0x999999));
    CImage shared(dest);
    EXPECT_EQ(Traced("Error : CImage::CopyImage() : source or dest bitmap is same?\n"),
              TraceOf([&] { EXPECT_EQ(0, dest.CopyImage(shared, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(Traced("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n"),
              TraceOf([&] { EXPECT_EQ(0, src.CopyImage(empty, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(1, src.CopyImage(dest, 2, 1, 0, 0, 0, 0, 0, 0));
    Pixels expect(20, 0x999999);
    for (int i = 0; i < 6; ++i) expect[size_t(i / 3 + 1) * 5 + i % 3 + 2] = RGB(i % 3, i / 3, 0x80);
    EXPECT_EQ(expect, ReadPixels(dest.m_hBitmap, 5, 4));

    // On an empty image: a bitmap of the rectangle's size, filled where the rectangle lies.
    for (CRect rect : {CRect(0, 0, 40, 30), CRect(10, 10, 50, 40)}) {
        CImage img;
        EXPECT_EQ(1, img.FillRect(rect, 0x336699));
        ASSERT_EQ(40, img.m_nWidth);
        ASSERT_EQ(30, img.m_nHeight);
        const Pixels got = ReadPixels(img.m_hBitmap, 40, 30);
        for (int y = rect.top; y < 30; ++y)
            for (int x = rect.left; x < 40; ++x) ASSERT_EQ(0x336699u, got[size_t(y) * 40 + x]);
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

    // The CDC of a pairing goes before the picture (no EndMemDC): released, refilled or
    // destroyed, the picture never reads it, and no handle stays behind.
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        {
            CImage picture;
            Fill(picture, 2, 2, Pixels(4, 0x0000FF));
            held = picture.m_hBitmap;
            CDC* gone = new CDC;
            picture.BeginMemDC(*gone, nullptr);
            delete gone;
            if (how == 0) {
                picture.DeleteBitmap();
            } else if (how == 1) {
                EXPECT_EQ(1, picture.CreateBitmap(3, 3));
            }
            if (how < 2) {
                EXPECT_EQ(0, GetObjectA(held, sizeof bm, &bm));
            }
        }
        EXPECT_EQ(0, GetObjectA(held, sizeof bm, &bm));
        EXPECT_EQ(before, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    }
}
