// CImage's keyed drawing, quarter turn and tiling, in calls per second:
//   TransBitBlt1to1      a 640x480 sprite onto a memory DC, 1:1
//   TransBitBltX2        the same, stretched to 1280x960
//   TransCopyImage1to1   the sprite into another image's bitmap, 1:1
//   TransCopyImageX2     the same, stretched to 1280x960
//   CreateRotateBitmap   a 1024x768 picture turned by 90 degrees into a new bitmap
//   TitleDrawImage       a 64x64 tile over 1920x1080 (30 x 17 tiles, the last row cut)
//   TurnPerPixel         the same turn by one GetPixel and one SetPixel per pixel, the plain
//                        way: the baseline for CreateRotateBitmap's transposition of rows
// The sprite has the key colour in about a third of its pixels, in runs.
//
// One source, two drivers: natively Google Benchmark over winport's GDI; in the Windows build
// (run under Wine, whose GDI is then measured) a plain timing loop, since Google Benchmark is
// not in that build. Both time wall clock, run each operation REPETITIONS times and print the
// same summary (fastest and median repetition), which bench/image/run-image-ops.sh puts side
// by side:
//   build/bench/bench/image/image_ops_bench [--benchmark_repetitions=N]   (native, default 5)
//   wine build/windows/bench/image/image_ops_bench.exe [REPETITIONS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Image.h"

#include "BenchDriver.h"

namespace {

constexpr int kSpriteW = 640, kSpriteH = 480;
constexpr int kTurnW = 1024, kTurnH = 768;
constexpr int kTile = 64, kAreaW = 1920, kAreaH = 1080;
constexpr COLORREF kKey = RGB(255, 0, 255);

// A screen-compatible bitmap of w x h from a pixel function (0x00RRGGBB as a DIB holds it).
HBITMAP MakePicture(int w, int h, std::uint32_t (*pixel)(int x, int y))
{
    std::vector<std::uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = pixel(x, y);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HBITMAP bm = CreateDIBitmap(screen, &bmi.bmiHeader, CBM_INIT, px.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bm;
}

std::uint32_t Hash(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return h ^ (h >> 13);
}

// Runs of 16 pixels: one in three is the key (0x00FF00FF in a DIB), the rest noise.
std::uint32_t SpritePixel(int x, int y) { return Hash(x / 16, y) % 3 == 0 ? 0x00FF00FFu : (Hash(x, y) & 0x00FEFEFEu); }

std::uint32_t NoisePixel(int x, int y) { return Hash(x, y) & 0x00FFFFFFu; }

// The pictures and the destinations every operation uses; made once.
class Fixture {
public:
    Fixture()
    {
        ok_ = sprite.Attach(MakePicture(kSpriteW, kSpriteH, SpritePixel)) == 1 &&
              picture.Attach(MakePicture(kTurnW, kTurnH, NoisePixel)) == 1 &&
              tile.Attach(MakePicture(kTile, kTile, NoisePixel)) == 1 &&
              target.Attach(MakePicture(2 * kSpriteW, 2 * kSpriteH, NoisePixel)) == 1;
        canvasBitmap_ = MakePicture(kAreaW, kAreaH, NoisePixel);
        ok_ = ok_ && canvasBitmap_ && canvas.CreateCompatibleDC(nullptr);
        if (ok_) old_ = SelectObject(canvas.m_hDC, canvasBitmap_);
    }
    ~Fixture()
    {
        if (old_) SelectObject(canvas.m_hDC, old_);
        if (canvasBitmap_) DeleteObject(canvasBitmap_);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ok() const { return ok_; }

    CImage sprite, picture, tile, target, turned;
    CDC canvas;  // kAreaW x kAreaH

private:
    bool ok_ = false;
    HBITMAP canvasBitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

bool TransBitBlt1to1(Fixture& f)
{
    return f.sprite.TransBitBlt(&f.canvas, kKey, 8, 8, kSpriteW, kSpriteH, 0, 0, 0, 0) == 1;
}

bool TransBitBltX2(Fixture& f)
{
    return f.sprite.TransBitBlt(&f.canvas, kKey, 8, 8, 2 * kSpriteW, 2 * kSpriteH, 0, 0, 0, 0) == 1;
}

bool TransCopyImage1to1(Fixture& f)
{
    return f.sprite.TransCopyImage(f.target, kKey, 8, 8, kSpriteW, kSpriteH, 0, 0, 0, 0) == 1;
}

bool TransCopyImageX2(Fixture& f)
{
    return f.sprite.TransCopyImage(f.target, kKey, 0, 0, 2 * kSpriteW, 2 * kSpriteH, 0, 0, 0, 0) == 1;
}

bool CreateRotateBitmap(Fixture& f) { return f.turned.CreateRotateBitmap(f.picture, 90) == 1; }

bool TitleDrawImage(Fixture& f) { return f.tile.TitleDrawImage(&f.canvas, 0, 0, kAreaW, kAreaH) == 1; }

// Source (x, y) goes to (H - 1 - y, x) of a new screen-compatible bitmap H wide, W high.
bool TurnPerPixel(Fixture& f)
{
    HDC screen = GetDC(nullptr);
    HBITMAP turned = CreateCompatibleBitmap(screen, kTurnH, kTurnW);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    const bool ok = turned && from && to;
    if (ok) {
        HGDIOBJ oldFrom = SelectObject(from, f.picture.m_hBitmap), oldTo = SelectObject(to, turned);
        for (int x = 0; x < kTurnW; ++x)
            for (int y = 0; y < kTurnH; ++y) SetPixel(to, kTurnH - 1 - y, x, GetPixel(from, x, y));
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    if (turned) DeleteObject(turned);
    return ok;
}

using Operation = imagebench::Operation<Fixture>;

const Operation kOperations[] = {
    {"TransBitBlt1to1", TransBitBlt1to1},
    {"TransBitBltX2", TransBitBltX2},
    {"TransCopyImage1to1", TransCopyImage1to1},
    {"TransCopyImageX2", TransCopyImageX2},
    {"CreateRotateBitmap", CreateRotateBitmap},
    {"TitleDrawImage", TitleDrawImage},
    {"TurnPerPixel", TurnPerPixel},
};

// The summary both drivers end with: calls per second of the fastest and of the median
// repetition.
void PrintSummary(const char* driver, const imagebench::Times& times)
{
    std::printf("\n== image_ops_bench summary (%s, wall time)\n", driver);
    std::printf("%-20s %5s %14s %14s\n", "operation", "reps", "best calls/s", "median calls/s");
    for (const Operation& op : kOperations) {
        const auto it = times.find(op.name);
        if (it == times.end() || it->second.empty()) continue;
        std::vector<double> s = it->second;
        std::sort(s.begin(), s.end());
        const double median = s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
        std::printf("%-20s %5zu %14.1f %14.1f\n", op.name, s.size(), 1 / s.front(), 1 / median);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Fixture f;
    if (!f.ok()) {
        std::fprintf(stderr, "image_ops_bench: the pictures could not be made\n");
        return 1;
    }
    imagebench::Times times;
    if (!imagebench::Measure(argc, argv, "image_ops_bench", f, kOperations, times)) return 1;
    PrintSummary(imagebench::kDriver, times);
    return 0;
}
