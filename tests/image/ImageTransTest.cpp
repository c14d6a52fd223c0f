// Drawing with a key colour left out.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

constexpr COLORREF kKey = RGB(10, 20, 30);
constexpr COLORREF kAuto = 0x00030201;

enum class Kind { Picture, NoKey, AllKey };

// 6 x 4: the key where (x + y) % 3 == 0 (so at (0, 0)), other pixels unique.
Pixels Sprite(Kind kind)
{
    Pixels p;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            p.push_back(kind == Kind::AllKey || (kind == Kind::Picture && (x + y) % 3 == 0)
                            ? kKey : RGB(50 + x, 60 + y, 70));
    return p;
}

COLORREF Back(int x, int y) { return RGB(200, x, y); }

// The canvas after drawing sprite rectangle (xs, ys, sw, sh) to (x, y, dw, dh), dw and dh
// whole multiples of sw and sh, with the pixels of colour key left out.
Pixels Expected(const Pixels& sprite, COLORREF key, int x, int y, int dw, int dh, int xs, int ys,
                int sw, int sh, int cw, int ch)
{
    Pixels out;
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            COLORREF c = Back(cx, cy);
            if (cx >= x && cy >= y && cx < x + dw && cy < y + dh) {
                const COLORREF s = sprite[size_t(ys + (cy - y) * sh / dh) * 6 + xs + (cx - x) * sw / dw];
                if (s != key) c = s;
            }
            out.push_back(c);
        }
    return out;
}

Pixels Background(int w, int h)
{
    Pixels p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.push_back(Back(x, y));
    return p;
}

}  // namespace

class ImageTrans : public ImageTest {};

TEST_F(ImageTrans, KeyedPixelsShowTheBackground)
{
    enum Op { Draw, Blt, Copy };
    struct {
        const char* name; Op op; Kind kind; COLORREF key;
        int x, y, dw, dh, xs, ys, sw, sh;  // what is drawn (after the defaults)
        int args[8];  // the call's sizes: Draw (xs, ys, w, h), Blt/Copy (w, h, xs, ys, sw, sh)
    } cases[] = {
        {"draw: key shows", Draw, Kind::Picture, kKey, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0}},
        {"draw: no key, opaque", Draw, Kind::NoKey, kKey, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0}},
        {"draw: all key, unchanged", Draw, Kind::AllKey, kKey, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0}},
        {"draw: rest from (2,1)", Draw, Kind::Picture, kKey, 2, 1, 4, 3, 2, 1, 4, 3, {2, 1, 0, 0}},
        {"draw: 0x030201 is literal", Draw, Kind::Picture, kAuto, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0}},
        {"blt: 1:1", Blt, Kind::Picture, kKey, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0, 0, 0}},
        {"blt: auto key outside the rectangle", Blt, Kind::Picture, kAuto, 2, 1, 4, 3, 1, 1, 4, 3,
         {4, 3, 1, 1, 4, 3}},
        {"blt: doubled", Blt, Kind::Picture, kKey, 2, 1, 12, 8, 0, 0, 6, 4, {12, 8, 0, 0, 0, 0}},
        {"copy: 1:1", Copy, Kind::Picture, kKey, 2, 1, 6, 4, 0, 0, 6, 4, {0, 0, 0, 0, 0, 0}},
        {"copy: auto key, doubled part", Copy, Kind::Picture, kAuto, 2, 1, 8, 6, 1, 1, 4, 3,
         {8, 6, 1, 1, 4, 3}},
        {"copy: all key", Copy, Kind::AllKey, kAuto, 2, 1, 12, 8, 0, 0, 6, 4, {12, 8, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CImage sprite;
        const Pixels px = Sprite(c.kind);
        Fill(sprite, 6, 4, px);
        const COLORREF key = (c.key == kAuto && c.op != Draw) ? px[0] : c.key;
        const Pixels expect = Expected(px, key, c.x, c.y, c.dw, c.dh, c.xs, c.ys, c.sw, c.sh, 16, 12);
        const int* a = c.args;
        if (c.op == Copy) {
            CImage dest;
            Fill(dest, 16, 12, Background(16, 12));
            EXPECT_EQ(1, sprite.TransCopyImage(dest, c.key, c.x, c.y, a[0], a[1], a[2], a[3], a[4], a[5]));
            EXPECT_EQ(expect, ReadPixels(dest.m_hBitmap, 16, 12));
            continue;
        }
        Canvas canvas(16, 12, 0);
        CImage back;
        Fill(back, 16, 12, Background(16, 12));
        back.DrawImage(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0);
        if (c.op == Draw) EXPECT_EQ(1, sprite.TransDraw(&canvas.dc, c.key, c.x, c.y, a[0], a[1], a[2], a[3]));
        else EXPECT_EQ(1, sprite.TransBitBlt(&canvas.dc, c.key, c.x, c.y, a[0], a[1], a[2], a[3], a[4], a[5]));
        EXPECT_EQ(expect, canvas.Read());
    }
}

TEST_F(ImageTrans, ZeroSizesAndRefusals)
{
    CImage pic;
    Fill(pic, 100, 80, Pixels(8000, RGB(1, 1, 1)));
    // From (10, 10): TransDraw draws the 90 x 70 rest 1:1, TransBitBlt stretches it to 100 x 80.
    for (int blt = 0; blt < 2; ++blt) {
        Canvas canvas(120, 100, kKey);
        if (blt) pic.TransBitBlt(&canvas.dc, kKey, 0, 0, 0, 0, 10, 10, 0, 0);
        else pic.TransDraw(&canvas.dc, kKey, 0, 0, 10, 10, 0, 0);
        const Pixels got = canvas.Read();
        const int w = blt ? 100 : 90, h = blt ? 80 : 70;
        EXPECT_EQ(RGB(1, 1, 1), got[size_t(h - 1) * 120 + w - 1]);
        EXPECT_EQ(kKey, got[size_t(h - 1) * 120 + w]);
        EXPECT_EQ(kKey, got[size_t(h) * 120 + w - 1]);
    }
    CImage empty, shared(pic);
    Canvas canvas(4, 4, 0);
    EXPECT_EQ(0, pic.TransDraw(nullptr, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0, pic.TransBitBlt(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ("Warning : CImage::TransBitBlt() : no bitmap loaded\n",
              TraceOf([&] { EXPECT_EQ(0, empty.TransDraw(&canvas.dc, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ("Error : CImage::TransBitBlt() : no bitmap loaded\n",
              TraceOf([&] { EXPECT_EQ(0, empty.TransBitBlt(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n",
              TraceOf([&] { EXPECT_EQ(0, pic.TransCopyImage(empty, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ("Error : CImage::TransCopyImage() : source or dest bitmap is same?\n",
              TraceOf([&] { EXPECT_EQ(0, pic.TransCopyImage(shared, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(0, pic.TransCopyImage(pic, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    shared.Detach();
}
