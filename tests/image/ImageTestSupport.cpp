#include "ImageTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace lktest {

static BITMAPINFO TopDown32(int w, int h)
{
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return bi;
}

static std::uint32_t Swap(std::uint32_t c)  // 0x00BBGGRR <-> 0x00RRGGBB
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

HBITMAP MakeBitmap(int w, int h, const Pixels& px)
{
    Words rows;
    for (COLORREF c : px) rows.push_back(Swap(c));
    BITMAPINFO bi = TopDown32(w, h);
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateDIBitmap(screen, &bi.bmiHeader, CBM_INIT, rows.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_NE(nullptr, b);
    return b;
}

Pixels ReadPixels(HBITMAP hBitmap, int w, int h)
{
    Words rows(size_t(w) * h);
    BITMAPINFO bi = TopDown32(w, h);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(h, GetDIBits(screen, hBitmap, 0, h, rows.data(), &bi, DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
    Pixels px;
    for (std::uint32_t v : rows) px.push_back(Swap(v & 0xFFFFFF));
    return px;
}

void Fill(CImage& img, int w, int h, const Pixels& px) { ASSERT_EQ(1, img.Attach(MakeBitmap(w, h, px))); }

Canvas::Canvas(int w_, int h_, COLORREF fill) : w(w_), h(h_), bitmap(MakeBitmap(w_, h_, Pixels(size_t(w_) * h_, fill)))
{
    dc.CreateCompatibleDC(nullptr);
    old = SelectObject(dc.m_hDC, bitmap);
}

Canvas::~Canvas()
{
    SelectObject(dc.m_hDC, old);
    DeleteObject(bitmap);
}

std::vector<BYTE> BmpFile(int bpp, int width, int height, const Words& pixels, const Words& palette, DWORD clrUsed,
                          bool bitfields)
{
    std::vector<BYTE> f;
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f.push_back(i < 4 ? BYTE(v >> (8 * i)) : 0);
    };
    const bool is16 = bpp == 16;
    put('B' | 'M' << 8, 2), put(0, 12);  // the loader reads no other field of the file header
    for (std::uint32_t v : {40u, std::uint32_t(width), std::uint32_t(height)}) put(v, 4);
    put(1, 2), put(std::uint32_t(bpp), 2), put(bitfields ? BI_BITFIELDS : BI_RGB, 4), put(0, 12);
    put(clrUsed, 4), put(0, 4);
    for (std::uint32_t c : palette) put(c, 4);
    if (bitfields)  // behind the colour table, where the loader looks for the pixels
        for (std::uint32_t m : {is16 ? 0xF800u : 0xFF0000u, is16 ? 0x07E0u : 0xFF00u, is16 ? 0x1Fu : 0xFFu}) put(m, 4);
    const int rows = height < 0 ? -height : height;
    const size_t stride = ((size_t(width) * bpp + 31) / 32) * 4;
    for (int r = 0; r < rows; ++r) {
        std::vector<BYTE> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            std::uint32_t v = pixels[size_t(height < 0 ? r : rows - 1 - r) * width + x];
            const size_t bit = size_t(x) * bpp;
            if (is16)
                v = bitfields ? (v >> 19 & 31) << 11 | (v >> 10 & 63) << 5 | (v >> 3 & 31)
                              : (v >> 19 & 31) << 10 | (v >> 11 & 31) << 5 | (v >> 3 & 31);
            if (bpp < 8) row[bit / 8] |= BYTE(v << (8 - bpp - bit % 8));
            else
                for (int i = 0; i < bpp / 8; ++i) row[bit / 8 + i] = BYTE(v >> (8 * i));
        }
        f.insert(f.end(), row.begin(), row.end());
    }
    return f;
}

std::vector<BYTE> RleFile(int bpp, int width, int height, const Words& palette, const std::vector<BYTE>& runs,
                          DWORD sizeImage)
{
    std::vector<BYTE> f =
        BmpFile(bpp, width, height, Words(size_t(width) * std::abs(height), 0), palette, DWORD(palette.size()));
    f.resize(14 + 40 + 4 * palette.size());  // the header and the table, without the rows
    const DWORD compression = bpp == 8 ? BI_RLE8 : BI_RLE4;
    const DWORD size = sizeImage == DWORD(-1) ? DWORD(runs.size()) : sizeImage;
    for (int i = 0; i < 4; ++i) f[14 + 16 + i] = BYTE(compression >> (8 * i)), f[14 + 20 + i] = BYTE(size >> (8 * i));
    f.insert(f.end(), runs.begin(), runs.end());
    return f;
}

Pixels Widen16(const Words& rgb, bool g6)
{
    auto w = [](std::uint32_t v, int bits) {
        v >>= 8 - bits;
        return (v << (8 - bits)) | (v >> (2 * bits - 8));
    };
    Pixels out;
    for (std::uint32_t v : rgb) out.push_back(RGB(w(v >> 16 & 255, 5), w(v >> 8 & 255, g6 ? 6 : 5), w(v & 255, 5)));
    return out;
}

std::string WriteTemp(const std::string& name, const std::vector<BYTE>& bytes)
{
    const std::string path = ::testing::TempDir() + "lobbykit_image_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

std::string TraceOf(const std::function<void()>& call)
{
    // One file per process: ctest runs the tests of this binary side by side.
    const std::string path = ::testing::TempDir() + "lobbykit_image_trace_" + std::to_string(GetCurrentProcessId());
    std::fflush(stderr);
    FILE* f = std::fopen(path.c_str(), "w+b");
    const int saved = dup(2);
    dup2(fileno(f), 2);
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(f);
    std::string out;
    for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
    std::fclose(f);
    std::remove(path.c_str());
    return out;
}

}  // namespace lktest
