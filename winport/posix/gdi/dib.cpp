// Device-independent bitmaps: CreateDIBitmap reads them into bitmaps, GetDIBits writes
// bitmaps out as them.
#include "winport/posix/gdi/dib.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "winport/posix/gdi/raster.h"
#include "winport/posix/gdi/rle.h"
#include "winport/posix/kernel/error.h"

namespace winport {
namespace gdi {
namespace {

constexpr DWORD kMaxHeaderSize = 124;  // BITMAPV5HEADER

std::size_t DibStride(int width, int bpp)
{
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp) + 31) / 32 * 4;
}

// The 8-bit value of a colour field: wider fields keep their top 8 bits, narrower ones are
// repeated into the low bits (5 bits v give v << 3 | v >> 2).
struct Channel {
    int shift = 0;
    int length = 0;
    std::uint32_t mask = 0;
};

Channel MakeChannel(std::uint32_t mask)
{
    Channel c;
    c.mask = mask;
    if (!mask) return c;
    while (!((mask >> c.shift) & 1)) ++c.shift;
    std::uint32_t v = mask >> c.shift;
    while (v) {
        ++c.length;
        v >>= 1;
    }
    return c;
}

inline std::uint32_t Expand(const Channel& c, std::uint32_t pixel)
{
    if (!c.mask) return 0;
    const std::uint32_t v = (pixel & c.mask) >> c.shift;
    if (c.length >= 8) return (v >> (c.length - 8)) & 0xFF;
    std::uint32_t r = v << (8 - c.length);
    for (int covered = c.length; covered < 8; covered *= 2) r |= r >> covered;
    return r & 0xFF;
}

// One DIB row as 32-bit pixels.
void DecodeRow(const DibLayout& l, const Channel* ch, const std::uint8_t* in, int n, std::uint32_t* out)
{
    switch (l.bpp) {
    case 1:
    case 4:
    case 8: {
        const int per = 8 / l.bpp;
        const unsigned mask = (1u << l.bpp) - 1;
        for (int x = 0; x < n; ++x) {
            const unsigned shift = static_cast<unsigned>(8 - l.bpp * (x % per + 1));
            out[x] = l.colors[(in[x / per] >> shift) & mask];
        }
        return;
    }
    case 24:
        for (int x = 0; x < n; ++x)
            out[x] = static_cast<std::uint32_t>(in[3 * x]) | (static_cast<std::uint32_t>(in[3 * x + 1]) << 8) |
                     (static_cast<std::uint32_t>(in[3 * x + 2]) << 16);
        return;
    case 16:
        for (int x = 0; x < n; ++x) {
            const std::uint32_t p =
                static_cast<std::uint32_t>(in[2 * x]) | (static_cast<std::uint32_t>(in[2 * x + 1]) << 8);
            out[x] = (Expand(ch[0], p) << 16) | (Expand(ch[1], p) << 8) | Expand(ch[2], p);
        }
        return;
    default:
        if (l.raw32) {
            std::memcpy(out, in, static_cast<std::size_t>(n) * 4);
            return;
        }
        for (int x = 0; x < n; ++x) {
            std::uint32_t p;
            std::memcpy(&p, in + 4 * x, 4);
            out[x] = (Expand(ch[0], p) << 16) | (Expand(ch[1], p) << 8) | Expand(ch[2], p);
        }
        return;
    }
}

}  // namespace

DWORD ReadDibLayout(const BITMAPINFO* info, DibLayout& out)
{
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize == 12) return ERROR_NOT_SUPPORTED;  // BITMAPCOREHEADER
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > kMaxHeaderSize) return ERROR_INVALID_PARAMETER;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return ERROR_INVALID_PARAMETER;
    switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return ERROR_INVALID_PARAMETER;
    }
    switch (h.biCompression) {
    case BI_RGB: break;
    case BI_BITFIELDS:
        if (h.biBitCount != 16 && h.biBitCount != 32) return ERROR_INVALID_PARAMETER;
        // The masks follow a 40-byte header or lie inside a longer one, never across its end.
        if (h.biSize > sizeof(BITMAPINFOHEADER) && h.biSize < sizeof(BITMAPINFOHEADER) + 12)
            return ERROR_INVALID_PARAMETER;
        break;
    case BI_RLE8:
    case BI_RLE4:
        // Bottom-up only, and sized by biSizeImage (as Windows requires).
        if (h.biBitCount != (h.biCompression == BI_RLE8 ? 8 : 4) || h.biHeight < 0 || h.biSizeImage == 0)
            return ERROR_INVALID_PARAMETER;
        out.compression = h.biCompression;
        out.rleBytes = h.biSizeImage;
        break;
    case BI_JPEG:
    case BI_PNG: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_PARAMETER;
    }
    out.width = h.biWidth;
    out.topDown = h.biHeight < 0;
    out.height = out.topDown ? -h.biHeight : h.biHeight;
    out.bpp = h.biBitCount;
    out.stride = DibStride(out.width, out.bpp);
    if (out.stride > SIZE_MAX / static_cast<std::size_t>(out.height)) return ERROR_INVALID_PARAMETER;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(info);
    if (h.biCompression == BI_BITFIELDS) {
        // Behind a 40-byte header, or inside the V4/V5 headers at the same place.
        std::memcpy(out.masks, bytes + sizeof(BITMAPINFOHEADER), sizeof out.masks);
    } else if (out.bpp == 16) {
        const std::uint32_t rgb555[3] = {0x7C00, 0x03E0, 0x001F};
        std::memcpy(out.masks, rgb555, sizeof out.masks);
    } else if (out.bpp == 32) {
        out.raw32 = true;
        const std::uint32_t rgb888[3] = {0xFF0000, 0xFF00, 0xFF};
        std::memcpy(out.masks, rgb888, sizeof out.masks);
    }
    if (out.bpp == 32 && out.masks[0] == 0xFF0000 && out.masks[1] == 0xFF00 && out.masks[2] == 0xFF) out.raw32 = true;
    if (out.bpp <= 8) {
        const std::size_t entries = std::size_t(1) << out.bpp;
        const std::size_t used = h.biClrUsed ? std::min<std::size_t>(h.biClrUsed, entries) : entries;
        out.colors.assign(entries, 0);  // indices past the table are black
        const std::uint8_t* table = bytes + h.biSize;
        for (std::size_t i = 0; i < used; ++i) {
            std::uint32_t quad;
            std::memcpy(&quad, table + 4 * i, 4);
            out.colors[i] = quad & 0xFFFFFF;
        }
    }
    return 0;
}

void PutIndices(const DibLayout& layout, const std::uint8_t* indices, int n, Bitmap& out, int y, int x)
{
    if (out.bpp == 32) {
        std::uint32_t* row = out.Row32(y) + x;
        for (int k = 0; k < n; ++k) row[k] = layout.colors[indices[k]];
        return;
    }
    std::vector<std::uint32_t> line(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) line[k] = NearestMono(layout.colors[indices[k]]);
    PackMono(line.data(), n, out.Row1(y), x);
}

void DecodeDib(const DibLayout& layout, const std::uint8_t* bits, Bitmap& out, int top)
{
    if (layout.compression != BI_RGB && layout.compression != BI_BITFIELDS) {
        DecodeRle(bits, layout.rleBytes, layout.bpp, layout.width, layout.height,
                  [&](int row, int x, const std::uint8_t* indices, int n) {
                      const long long y = static_cast<long long>(top) + layout.height - 1 - row;
                      if (y < 0 || y >= out.height || x >= out.width) return;
                      PutIndices(layout, indices, std::min(n, out.width - x), out, static_cast<int>(y), x);
                  });
        return;
    }
    const int n = std::min(layout.width, out.width);
    const Channel ch[3] = {MakeChannel(layout.masks[0]), MakeChannel(layout.masks[1]), MakeChannel(layout.masks[2])};
    std::vector<std::uint32_t> line(static_cast<std::size_t>(n));
    for (int r = 0; r < layout.height; ++r) {
        // Row r of the data is the r-th row from the top (top-down) or from the bottom.
        const long long yy = static_cast<long long>(top) + (layout.topDown ? r : layout.height - 1 - r);
        if (yy < 0 || yy >= out.height) continue;
        const int y = static_cast<int>(yy);
        const std::uint8_t* in = bits + layout.stride * static_cast<std::size_t>(r);
        if (out.bpp == 32) {
            DecodeRow(layout, ch, in, n, out.Row32(y));
            continue;
        }
        DecodeRow(layout, ch, in, n, line.data());
        for (std::uint32_t& p : line) p = NearestMono(p);
        PackMono(line.data(), n, out.Row1(y), 0);
    }
}

}  // namespace gdi
}  // namespace winport

using namespace winport;
using namespace winport::gdi;

extern "C" {

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits,
                              const BITMAPINFO* pbmi, UINT iUsage)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!pbmih) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    int bpp = 1;  // a bitmap compatible with no context is monochrome
    if (hdc) {
        std::shared_ptr<Dc> dc = FindDc(hdc);
        if (!dc) return Fail<HBITMAP>(ERROR_INVALID_HANDLE, nullptr);
        bpp = CompatibleBpp(*dc);
    }
    if (pbmih->biSize == 12) return Fail<HBITMAP>(ERROR_NOT_SUPPORTED, nullptr);
    if (pbmih->biSize < sizeof(BITMAPINFOHEADER)) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    const LONG width = pbmih->biWidth, height = pbmih->biHeight;
    if (width < 0 || height == INT32_MIN) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    if (width == 0 || height == 0) return reinterpret_cast<HBITMAP>(StockBitmap()->handle);
    DibLayout layout;
    if (flInit & CBM_INIT) {
        if (!pjBits || !pbmi) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
        if (iUsage != DIB_RGB_COLORS)
            return Fail<HBITMAP>(iUsage == DIB_PAL_COLORS ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER, nullptr);
        if (const DWORD error = ReadDibLayout(pbmi, layout)) return Fail<HBITMAP>(error, nullptr);
    }
    std::shared_ptr<Bitmap> bitmap = NewBitmap(width, height < 0 ? -height : height, bpp);
    if (!bitmap) return nullptr;
    if (flInit & CBM_INIT) DecodeDib(layout, static_cast<const std::uint8_t*>(pjBits), *bitmap);
    HBITMAP h = static_cast<HBITMAP>(Publish(std::move(bitmap)));
    return h ? h : Fail<HBITMAP>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Bitmap> bitmap = FindBitmap(hbm);
    if (!FindDc(hdc) || !bitmap) return Fail(ERROR_INVALID_HANDLE, 0);
    if (!lpbmi || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (usage != DIB_RGB_COLORS)
        return Fail(usage == DIB_PAL_COLORS ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER, 0);
    BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    Bitmap& b = *bitmap;
    if (!lpvBits && h.biBitCount == 0) {
        // A query: the bitmap's own format.
        h.biWidth = b.width;
        h.biHeight = b.height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(b.bpp);
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(DibStride(b.width, b.bpp) * static_cast<std::size_t>(b.height));
        h.biClrUsed = h.biClrImportant = 0;
        return b.height;
    }
    const int bpp = h.biBitCount;
    if ((bpp != 1 && bpp != 24 && bpp != 32) || h.biCompression != BI_RGB) return Fail(ERROR_NOT_SUPPORTED, 0);
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return Fail(ERROR_INVALID_PARAMETER, 0);
    const bool topDown = h.biHeight < 0;
    const int height = topDown ? -h.biHeight : h.biHeight;
    const std::size_t stride = DibStride(h.biWidth, bpp);
    if (stride > UINT32_MAX / static_cast<std::size_t>(height)) return Fail(ERROR_INVALID_PARAMETER, 0);
    h.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
    if (bpp == 1) {
        const RGBQUAD bw[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        std::memcpy(lpbmi->bmiColors, bw, sizeof bw);
    }
    if (!lpvBits) return height;
    const int n = std::min<int>(h.biWidth, b.width);
    std::vector<std::uint32_t> line(static_cast<std::size_t>(n));
    int copied = 0;
    auto* out = static_cast<std::uint8_t*>(lpvBits);
    for (std::size_t scan = start; scan < static_cast<std::size_t>(height) && scan - start < cLines; ++scan) {
        // Scan line k counts from the bottom of a bottom-up DIB, from the top of a top-down one.
        const int k = static_cast<int>(scan);
        const int y = topDown ? k : height - 1 - k;
        std::uint8_t* dst = out + stride * static_cast<std::size_t>(copied);
        ++copied;
        std::memset(dst, 0, stride);  // padding and pixels past the bitmap read as 0
        if (y >= b.height) continue;
        if (b.bpp == 1) UnpackMono(b.Row1(y), 0, n, 0, 0xFFFFFF, line.data());
        else std::memcpy(line.data(), b.Row32(y), static_cast<std::size_t>(n) * 4);
        if (bpp == 32) {
            std::memcpy(dst, line.data(), static_cast<std::size_t>(n) * 4);
        } else if (bpp == 24) {
            for (int x = 0; x < n; ++x) {
                dst[3 * x] = static_cast<std::uint8_t>(line[x]);
                dst[3 * x + 1] = static_cast<std::uint8_t>(line[x] >> 8);
                dst[3 * x + 2] = static_cast<std::uint8_t>(line[x] >> 16);
            }
        } else {
            for (std::uint32_t& p : line) p = NearestMono(p);
            PackMono(line.data(), n, dst, 0);
        }
    }
    return copied;
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection, DWORD)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (ppvBits) *ppvBits = nullptr;
    // The context only matters for DIB_PAL_COLORS, which means nothing at 32 bpp.
    if (!pbmi || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS))
        return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    if (h.biSize == 12) return Fail<HBITMAP>(ERROR_NOT_SUPPORTED, nullptr);
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 ||
        (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS))
        return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    DibLayout layout;
    if (const DWORD error = ReadDibLayout(pbmi, layout)) return Fail<HBITMAP>(error, nullptr);
    // Sections are the layer's own 32-bpp rows: other formats would need a conversion on
    // every access, which the host's pointer cannot see.
    if (layout.bpp != 32 || !layout.raw32 || hSection) return Fail<HBITMAP>(ERROR_NOT_SUPPORTED, nullptr);
    std::shared_ptr<Bitmap> bitmap = NewDibSection(h.biWidth, h.biHeight, h.biCompression, &h);
    if (!bitmap) return nullptr;
    void* bits = bitmap->bits.get();
    HBITMAP handle = static_cast<HBITMAP>(Publish(std::move(bitmap)));
    if (!handle) return Fail<HBITMAP>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    if (ppvBits) *ppvBits = bits;
    return handle;
}

BOOL WINAPI GdiFlush(void)
{
    return TRUE;  // every call draws before it returns: nothing is batched
}

int WINAPI SetDIBits(HDC, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi, UINT ColorUse)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Bitmap> bitmap = FindBitmap(hbm);
    if (!bitmap || bitmap->stock) return Fail(ERROR_INVALID_HANDLE, 0);
    if (!lpBits || !lpbmi) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (ColorUse != DIB_RGB_COLORS)
        return Fail(ColorUse == DIB_PAL_COLORS ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER, 0);
    DibLayout layout;
    if (const DWORD error = ReadDibLayout(lpbmi, layout)) return Fail(error, 0);
    const auto* bits = static_cast<const std::uint8_t*>(lpBits);
    if (layout.compression == BI_RLE8 || layout.compression == BI_RLE4) {
        // Runs describe the whole picture: the band arguments do not apply.
        DecodeDib(layout, bits, *bitmap);
        return layout.height;
    }
    // The DIB lies at the bitmap's top-left; lpBits holds its scan lines [start, start +
    // lines), counted from the bottom. A top-down band goes to the same rows, and its lines
    // are not bounded by the DIB's height (as Wine has it).
    const long long height = layout.height;
    long long lines = cLines;
    if (!layout.topDown) {
        if (start >= height) return 0;
        lines = std::min(lines, height - start);
    }
    if (lines == 0 || lines > INT_MAX) return 0;
    // Rows of a top-down band past the DIB's height are not drawn.
    DibLayout band = layout;
    band.height = static_cast<int>(std::min(lines, height));
    const long long top = height - start - lines;
    if (top + lines > 0 && top < bitmap->height) DecodeDib(band, bits, *bitmap, static_cast<int>(top));
    return static_cast<int>(lines);
}

}  // extern "C"
