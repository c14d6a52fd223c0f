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
std::vector<BYTE> BmpFile(int bpp, int width, int height, const Words& pixels,
                          const Words& palette = {}, DWORD clrUsed = 0, bool bitfields = false);
std::string WriteTemp(const std::string& name, const std::vector<BYTE>& bytes);

std::string TraceOf(const std::function<void()>& call);  // what the call traced

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
