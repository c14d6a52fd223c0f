// Helpers of the image tests: bitmaps from pixel lists and back, a canvas to draw on, bitmap
// files of every depth, the count of live GDI objects and the trace output of a call.
#ifndef LOBBYKIT_TESTS_IMAGE_IMAGETESTSUPPORT_H
#define LOBBYKIT_TESTS_IMAGE_IMAGETESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Image.h"

namespace lktest {

using Pixels = std::vector<COLORREF>;  // row by row from the top, 0x00BBGGRR

DWORD GdiObjects();  // GetGuiResources(GR_GDIOBJECTS); Wine's stub gives 0
HBITMAP MakeBitmap(int w, int h, const Pixels& px);  // screen-compatible
Pixels ReadPixels(HBITMAP hBitmap, int w, int h);    // through GetDIBits
void Fill(CImage& img, int w, int h, const Pixels& px);  // Attach of a MakeBitmap

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

// A bitmap file. Pixels are palette indices for 1, 4 and 8 bits, else 0x00RRGGBB values
// (16 bits: 5-5-5, or 5-6-5 with bitfields). height < 0 writes the rows top-down.
struct BmpSpec {
    BmpSpec(int bpp_, int width_, int height_, std::vector<std::uint32_t> pixels_,
            std::vector<std::uint32_t> palette_ = {}, DWORD clrUsed_ = 0, bool bitfields_ = false)
        : bpp(bpp_), width(width_), height(height_), pixels(std::move(pixels_)),
          palette(std::move(palette_)), clrUsed(clrUsed_), bitfields(bitfields_)
    {
    }
    int bpp;
    int width, height;
    std::vector<std::uint32_t> pixels;  // |height| rows of width, top row first
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB entries written as the colour table
    DWORD clrUsed;
    bool bitfields;
};
std::vector<BYTE> BmpFile(const BmpSpec& spec);
std::string WriteTemp(const std::string& name, const std::vector<BYTE>& bytes);

// What a call writes to the trace (stderr).
std::string TraceOf(const std::function<void()>& call);

// Fails the test when the live GDI objects after the test differ from before.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { before_ = GdiObjects(); }
    void TearDown() override { EXPECT_EQ(before_, GdiObjects()) << "GDI objects leaked"; }

private:
    DWORD before_ = 0;
};

}  // namespace lktest

#endif
