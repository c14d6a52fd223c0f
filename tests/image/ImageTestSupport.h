// Helpers of the image tests: bitmaps from pixel lists and back, a canvas, bitmap files of
// every depth, the count of live GDI objects and the trace of a call.
#ifndef LOBBYKIT_TESTS_IMAGE_IMAGETESTSUPPORT_H
#define LOBBYKIT_TESTS_IMAGE_IMAGETESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Image.h"

namespace lktest {

using Pixels = std::vector<COLORREF>;  // rows from the top
using Words = std::vector<std::uint32_t>;

HBITMAP MakeBitmap(int w, int h, const Pixels& px);  // screen-compatible
Pixels ReadPixels(HBITMAP hBitmap, int w, int h);
void Fill(CImage& img, int w, int h, const Pixels& px);

// A screen-compatible bitmap selected into a memory context.
struct Canvas {
    Canvas(int w, int h, COLORREF fill);
    ~Canvas();
    Pixels Read() const { return ReadPixels(bitmap, w, h); }
    int w, h;
    HBITMAP bitmap;
    CDC dc;
    HGDIOBJ old;
};

// A bitmap file: pixels are palette indices up to 8 bits, else 0x00RRGGBB (16 bits: 5-5-5,
// 5-6-5 with bitfields), top row first; height < 0 stores the rows top-down.
std::vector<BYTE> BmpFile(int bpp, int width, int height, const Words& pixels, const Words& palette = {},
                          DWORD clrUsed = 0, bool bitfields = false);
// An RLE8 (bpp 8) or RLE4 (bpp 4) bitmap file of the runs given, biSizeImage their size
// unless sizeImage says otherwise.
std::vector<BYTE> RleFile(int bpp, int width, int height, const Words& palette, const std::vector<BYTE>& runs,
                          DWORD sizeImage = DWORD(-1));
// What GDI makes of 16-bit pixels (0x00RRGGBB cut to 5-5-5 or 5-6-5): it widens the 5 (6)
// bits by repeating their top bits.
Pixels Widen16(const Words& rgb, bool g6);
std::string WriteTemp(const std::string& name, const std::vector<BYTE>& bytes);

std::string TraceOf(const std::function<void()>& call);  // what the call traced
// The trace expected of a call: the text where trace is compiled in (debug builds), else
// nothing at all.
inline std::string Traced(const std::string& text)
{
#if defined(LOBBYKIT_TRACE)
    return text;
#else
    (void)text;
    return {};
#endif
}

// Checks that each test leaves as many live GDI objects as it found (Wine's
// GetGuiResources is a stub that gives 0).
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { before_ = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
    void TearDown() override { EXPECT_EQ(before_, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)); }

private:
    DWORD before_ = 0;
};

}  // namespace lktest

#endif
