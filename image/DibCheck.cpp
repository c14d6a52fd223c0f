#include "DibCheck.h"

#include <algorithm>
#include <cstring>

namespace lobbykit::image {
namespace {

// The checks both forms share: sizes, depth and compression, and that the rows (or the RLE
// data) fit.
bool CheckCommon(const BITMAPINFOHEADER& h, std::uint64_t pixelOffset, std::uint64_t cb, DibLayout& out)
{
    if (h.biWidth <= 0 || h.biHeight == 0) return false;
    switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return false;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(h.biWidth);
    const std::int64_t height = h.biHeight;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    if (width > kMaxPixels || rows > kMaxPixels || width * rows > kMaxPixels) return false;
    std::uint64_t bytes = DibStride(h.biWidth, h.biBitCount) * rows;
    switch (h.biCompression) {
    case BI_RGB: break;
    case BI_BITFIELDS:
        if (h.biBitCount != 16 && h.biBitCount != 32) return false;
        break;
    case BI_RLE8:
    case BI_RLE4:
        // Bottom-up, and as many bytes of runs as biSizeImage says (GDI reads no more).
        if (h.biBitCount != (h.biCompression == BI_RLE8 ? 8 : 4) || height < 0 || h.biSizeImage == 0) return false;
        bytes = h.biSizeImage;
        break;
    default: return false;
    }
    if (pixelOffset > cb || bytes > cb - pixelOffset) return false;
    out.header = h;
    out.pixelOffset = pixelOffset;
    out.pixelBytes = bytes;
    return true;
}

// The colour count of CreateDIBPalette and LoadBitmapA: 2^bitCount up to 8 bits, else 0;
// a non-zero biClrUsed replaces it.
std::uint64_t ResourceColorCount(const BITMAPINFOHEADER& h)
{
    if (h.biClrUsed > 0) return h.biClrUsed;
    return h.biBitCount <= 8 ? std::uint64_t{1} << h.biBitCount : 0;
}

// Where GDI finds the colour table: behind the header (its biSize when that is a size of the
// larger headers, else 40) and behind the masks of a 40-byte BI_BITFIELDS header.
std::uint64_t ColorTableOffset(const BITMAPINFOHEADER& h)
{
    if (h.biSize == 108 || h.biSize == 124) return h.biSize;
    return kInfoHeaderBytes + (h.biCompression == BI_BITFIELDS ? kMaskBytes : 0);
}

}  // namespace

std::uint64_t DibStride(std::int64_t width, unsigned bitCount)
{
    return ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
}

bool CheckFileDib(const BYTE* p, std::uint64_t cb, DibLayout& out)
{
    if (!p || cb < kInfoHeaderBytes) return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, p, sizeof h);
    const std::uint64_t count = h.biClrUsed ? std::uint64_t{h.biClrUsed} : std::uint64_t{1} << (h.biBitCount & 63);
    std::uint64_t offset;
    if (h.biBitCount <= 8) {
        offset = kInfoHeaderBytes + 4 * count;
    } else {
        offset = kInfoHeaderBytes + 4 * std::uint64_t{h.biClrUsed};
        if (h.biCompression == BI_BITFIELDS) offset += kMaskBytes;
    }
    out.nColors = count;
    return CheckCommon(h, offset, cb, out);
}

bool CheckResourceDib(const BYTE* p, std::uint64_t cb, DibLayout& out)
{
    if (!p || cb < kInfoHeaderBytes) return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, p, sizeof h);
    if (h.biSize != 40 && h.biSize != 108 && h.biSize != 124) return false;
    const std::uint64_t count = ResourceColorCount(h);
    out.nColors = count;
    return CheckCommon(h, ColorTableOffset(h) + 4 * count, cb, out);
}

HPALETTE DibPalette(const BITMAPINFO* lpbi, std::uint64_t cbInfo, int* pnColors)
{
    if (!lpbi) {
        if (pnColors) *pnColors = 0;
        return nullptr;
    }
    const BITMAPINFOHEADER& h = lpbi->bmiHeader;
    const std::uint64_t count = ResourceColorCount(h);
    if (pnColors) *pnColors = static_cast<int>(count);
    if (count == 0) return nullptr;
    std::uint64_t n = h.biBitCount <= 8 ? std::min(count, std::uint64_t{1} << h.biBitCount) : count;
    n = std::min<std::uint64_t>(n, 0xFFFF);
    const std::uint64_t table = ColorTableOffset(h);
    n = std::min(n, cbInfo > table ? (cbInfo - table) / 4 : 0);
    return PaletteFromTable(reinterpret_cast<const BYTE*>(lpbi) + table, n, true);
}

}  // namespace lobbykit::image
