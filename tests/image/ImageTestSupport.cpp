#include "ImageTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace lktest {

DWORD GdiObjects()
{
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}

static BITMAPINFO TopDown32(int w, int h)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    return bi;
}

static std::uint32_t Swap(std::uint32_t c)  // 0x00BBGGRR <-> 0x00RRGGBB
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

HBITMAP MakeBitmap(int w, int h, const Pixels& px)
{
    HDC screen = GetDC(nullptr);
    std::vector<std::uint32_t> rows(px.size());
    for (size_t i = 0; i < px.size(); ++i) rows[i] = Swap(px[i]);
    BITMAPINFO bi = TopDown32(w, h);
    HBITMAP b = CreateDIBitmap(screen, &bi.bmiHeader, CBM_INIT, rows.data(), &bi, DIB_RGB_COLORS);
    EXPECT_NE(nullptr, b);
    ReleaseDC(nullptr, screen);
    return b;
}

Pixels ReadPixels(HBITMAP hBitmap, int w, int h)
{
    std::vector<std::uint32_t> rows(size_t(w) * h);
    HDC screen = GetDC(nullptr);
    BITMAPINFO bi = TopDown32(w, h);
    EXPECT_EQ(h, GetDIBits(screen, hBitmap, 0, h, rows.data(), &bi, DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
    Pixels px(rows.size());
    for (size_t i = 0; i < px.size(); ++i) px[i] = Swap(rows[i] & 0xFFFFFF);
    return px;
}

void Fill(CImage& img, int w, int h, const Pixels& px)
{
    ASSERT_EQ(1, img.Attach(MakeBitmap(w, h, px)));
}

Canvas::Canvas(int w_, int h_, COLORREF fill)
    : w(w_), h(h_), bitmap(MakeBitmap(w_, h_, Pixels(size_t(w_) * h_, fill)))
{
    dc.CreateCompatibleDC(nullptr);
    old = SelectObject(dc.m_hDC, bitmap);
}

Canvas::~Canvas()
{
    SelectObject(dc.m_hDC, old);
    dc.DeleteDC();
    DeleteObject(bitmap);
}

std::vector<BYTE> BmpFile(const BmpSpec& s)
{
    const int rows = s.height < 0 ? -s.height : s.height;
    const size_t stride = ((size_t(s.width) * s.bpp + 31) / 32) * 4;
    std::vector<BYTE> f(14 + 40 + 4 * s.palette.size() + (s.bitfields ? 12 : 0));
    auto put = [&](size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f[at + i] = BYTE(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put(10, std::uint32_t(f.size()), 4);
    put(14, 40, 4);
    put(18, std::uint32_t(s.width), 4);
    put(22, std::uint32_t(s.height), 4);
    put(26, 1, 2);
    put(28, std::uint32_t(s.bpp), 2);
    put(30, s.bitfields ? BI_BITFIELDS : BI_RGB, 4);
    put(46, s.clrUsed, 4);
    size_t at = 54;
    for (std::uint32_t c : s.palette) { put(at, c, 4); at += 4; }
    if (s.bitfields) {  // after the colour table, where the loader looks for the pixels
        const bool is16 = s.bpp == 16;
        put(at, is16 ? 0xF800 : 0xFF0000, 4);
        put(at + 4, is16 ? 0x07E0 : 0xFF00, 4);
        put(at + 8, is16 ? 0x001F : 0xFF, 4);
    }
    for (int r = 0; r < rows; ++r) {
        // Bottom-up files store the bottom row first.
        const int src = s.height < 0 ? r : rows - 1 - r;
        std::vector<BYTE> row(stride, 0);
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t v = s.pixels[size_t(src) * s.width + x];
            const size_t bit = size_t(x) * s.bpp;
            if (s.bpp < 8) {
                row[bit / 8] |= BYTE(v << (8 - s.bpp - bit % 8));
            } else if (s.bpp == 16) {
                const std::uint32_t r5 = (v >> 19) & 31, b5 = (v >> 3) & 31;
                const std::uint32_t w16 = s.bitfields ? (r5 << 11) | (((v >> 10) & 63) << 5) | b5
                                                      : (r5 << 10) | (((v >> 11) & 31) << 5) | b5;
                row[bit / 8] = BYTE(w16);
                row[bit / 8 + 1] = BYTE(w16 >> 8);
            } else {
                for (int i = 0; i < s.bpp / 8; ++i) row[bit / 8 + i] = BYTE(v >> (8 * i));
            }
        }
        f.insert(f.end(), row.begin(), row.end());
    }
    put(2, std::uint32_t(f.size()), 4);
    return f;
}

std::string WriteTemp(const std::string& name, const std::vector<BYTE>& bytes)
{
    const std::string path = ::testing::TempDir() + "lobbykit_image_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    return path;
}

std::string TraceOf(const std::function<void()>& call)
{
    const std::string path = ::testing::TempDir() + "lobbykit_image_trace.txt";
    std::fflush(stderr);
    FILE* f = std::fopen(path.c_str(), "w+b");
    const int saved = dup(2);
    dup2(fileno(f), 2);
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fseek(f, 0, SEEK_SET);
    std::string out;
    for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
    std::fclose(f);
    std::remove(path.c_str());
    return out;
}

}  // namespace lktest
