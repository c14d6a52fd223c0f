// Drawing with a key colour left out.
#include "ImageTestSupport.h"

using namespace lktest;

namespace {

constexpr COLORREF kKey = RGB(10, 20, 30), kAuto = 0x00030201;
enum class Kind { Picture, NoKey, AllKey };

Pixels Sprite(Kind kind)  // 6 x 4, the key where (x + y) % 3 == 0, so at (0, 0)
{
    Pixels p;
    for (int i = 0; i < 24; ++i) {
        const bool key = kind == Kind::AllKey || (kind == Kind::Picture && (i % 6 + i / 6) % 3 == 0);
        p.push_back(key ? kKey : RGB(50 + i % 6, 60 + i / 6, 70));
    }
    return p;
}

Pixels Back()  // 16 x 12
{
    Pixels p;
    for (int i = 0; i < 16 * 12; ++i) p.push_back(RGB(200, i % 16, i / 16));
    return p;
}

// The background after drawing sprite rectangle s (x, y, w, h) to d (x, y, w, h), d's sizes
// whole multiples of s's, with pixels of colour key left out.
Pixels Expected(const Pixels& sprite, COLORREF key, const int (&d)[4], const int (&s)[4])
{
    Pixels out = Back();
    for (int cy = d[1]; cy < d[1] + d[3]; ++cy)
        for (int cx = d[0]; cx < d[0] + d[2]; ++cx) {
            const COLORREF c = sprite[size_t(s[1] + (cy - d[1]) * s[3] / d[3]) * 6 + s[0] + (cx - d[0]) * s[2] / d[2]];
            if (c != key) out[size_t(cy) * 16 + cx] = c;
        }
    return out;
}

}  // namespace

class ImageTrans : public ImageTest {};

TEST_F(ImageTrans, KeyedPixelsShowTheBackground)
{
    enum Op { Draw, Blt, Copy };
    struct {
        const char* name;
        Op op;
        Kind kind;
        COLORREF key;
        int d[4], s[4];  // drawn, after the defaults
        int args[6];     // Draw: xSrc, ySrc, w, h; Blt and Copy: w, h, xSrc, ySrc, wSrc, hSrc
    } cases[] = {
        {"draw: key shows", Draw, Kind::Picture, kKey, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"draw: no key, opaque", Draw, Kind::NoKey, kKey, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"draw: all key, unchanged", Draw, Kind::AllKey, kKey, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"draw: rest from (2,1)", Draw, Kind::Picture, kKey, {2, 1, 4, 3}, {2, 1, 4, 3}, {2, 1}},
        {"draw: 0x030201 is literal", Draw, Kind::Picture, kAuto, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"blt: 1:1", Blt, Kind::Picture, kKey, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"blt: auto key from outside the rectangle", Blt, Kind::Picture, kAuto, {2, 1, 4, 3}, {1, 1, 4, 3}, {4, 3, 1, 1, 4, 3}},
        {"blt: doubled", Blt, Kind::Picture, kKey, {2, 1, 12, 8}, {0, 0, 6, 4}, {12, 8}},
        {"copy: 1:1", Copy, Kind::Picture, kKey, {2, 1, 6, 4}, {0, 0, 6, 4}, {}},
        {"copy: auto key, doubled part", Copy, Kind::Picture, kAuto, {2, 1, 8, 6}, {1, 1, 4, 3}, {8, 6, 1, 1, 4, 3}},
        {"copy: all key", Copy, Kind::AllKey, kAuto, {2, 1, 12, 8}, {0, 0, 6, 4}, {12, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CImage sprite, dest;
        const Pixels px = Sprite(c.kind);
        Fill(sprite, 6, 4, px);
        Fill(dest, 16, 12, Back());
        const int* a = c.args;
        const int x = c.d[0], y = c.d[1];
        Pixels got;
        if (c.op == Copy) {
            EXPECT_EQ(1, sprite.TransCopyImage(dest, c.key, x, y, a[0], a[1], a[2], a[3], a[4], a[5]));
            got = ReadPixels(dest.m_hBitmap, 16, 12);
        } else {
            Canvas canvas(16, 12, 0);
            dest.DrawImage(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0);
            if (c.op == Draw) EXPECT_EQ(1, sprite.TransDraw(&canvas.dc, c.key, x, y, a[0], a[1], a[2], a[3]));
            else EXPECT_EQ(1, sprite.TransBitBlt(&canvas.dc, c.key, x, y, a[0], a[1], a[2], a[3], a[4], a[5]));
            got = canvas.Read();
        }
        EXPECT_EQ(Expected(px, (c.key == kAuto && c.op != Draw) ? px[0] : c.key, c.d, c.s), got);
    }
}

TEST_F(ImageTrans, ZeroSizesAndRefusals)
{
    CImage pic, empty;
    Fill(pic, 100, 80, Pixels(8000, RGB(1, 1, 1)));
    CImage shared(pic);
    // From (10, 10): TransDraw draws the 90 x 70 rest 1:1, TransBitBlt stretches it to 100 x 80.
    for (int blt = 0; blt < 2; ++blt) {
        Canvas canvas(120, 100, kKey);
        if (blt) pic.TransBitBlt(&canvas.dc, kKey, 0, 0, 0, 0, 10, 10, 0, 0);
        else pic.TransDraw(&canvas.dc, kKey, 0, 0, 10, 10, 0, 0);
        const Pixels got = canvas.Read();
        const size_t w = blt ? 100 : 90, h = blt ? 80 : 70;
        EXPECT_EQ((Pixels{RGB(1, 1, 1), kKey, kKey}),
                  (Pixels{got[(h - 1) * 120 + w - 1], got[(h - 1) * 120 + w], got[h * 120 + w - 1]}));
    }
    Canvas canvas(4, 4, 0);
    EXPECT_EQ(0, pic.TransDraw(nullptr, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0, pic.TransBitBlt(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Traced("Warning : CImage::TransBitBlt() : no bitmap loaded\n"),
              TraceOf([&] { EXPECT_EQ(0, empty.TransDraw(&canvas.dc, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(Traced("Error : CImage::TransBitBlt() : no bitmap loaded\n"),
              TraceOf([&] { EXPECT_EQ(0, empty.TransBitBlt(&canvas.dc, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(Traced("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n"),
              TraceOf([&] { EXPECT_EQ(0, pic.TransCopyImage(empty, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
    EXPECT_EQ(Traced("Error : CImage::TransCopyImage() : source or dest bitmap is same?\n"),
              TraceOf([&] { EXPECT_EQ(0, pic.TransCopyImage(shared, 0, 0, 0, 0, 0, 0, 0, 0, 0)); }));
}
