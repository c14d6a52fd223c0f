#include "DibCheck.h"

#include <cstring>

namespace lobbykit::image {
namespace {

// The checks both forms share: sizes, depth and compression, and that the rows fit.
bool CheckCommon(const BITMAPINFOHEADER& h, std::uint64_t pixelOffset, std::uint64_t cb,
                 DibLayout& out)
{
    if (h.biWidth <= 0 || h.biHeight == 0) return false;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
    }
    if (h.biCompression == BI_BITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32) return false;
    } else if (h.biCompression != BI_RGB) {
        return false;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(h.biWidth);
    const std::int64_t height = h.biHeight;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    if (width > kMaxPixels || rows > kMaxPixels || width * rows > kMaxPixels) return false;
    const std::uint64_t bytes = DibStride(h.biWidth, h.biBitCount) * rows;
    if (pixelOffset > cb || bytes > cb - pixelOffset) return false;
    out.header = h;
    out.pixelOffset = pixelOffset;
    out.pixelBytes = bytes;
    return true;
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
    const std::uint64_t count = h.biClrUsed ? std::uint64_t{h.biClrUsed}
                                            : std::uint64_t{1} << (h.biBitCount & 63);
    std::uint64_t offset;
    if (h.biBitCount <= 8) {
        offset = kInfoHeaderBytes + 4 * count;
    } else {
        offset = kInfoHeaderBytes + 4 * std::uint64_t{h.biClrUsed};
        if (h.biCompression == BI_BITFIELDS) offset += 12;
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
    if (h.biSize > cb) return false;
    std::uint64_t count = 0;
    PaletteColorCount(h, count);
    // GDI reads the three masks of a BI_BITFIELDS bitmap behind a 40-byte header.
    if (h.biCompression == BI_BITFIELDS && h.biSize == 40 && cb < 52) return false;
    out.nColors = count;
    return CheckCommon(h, std::uint64_t{h.biSize} + 4 * count, cb, out);
}

std::uint64_t PaletteColorCount(const BITMAPINFOHEADER& h, std::uint64_t& nColors)
{
    nColors = h.biBitCount <= 8 ? std::uint64_t{1} << h.biBitCount : 0;
    if (h.biClrUsed > 0) nColors = h.biClrUsed;
    const std::uint64_t cap = h.biBitCount <= 8 ? std::uint64_t{1} << h.biBitCount : 256;
    return nColors < cap ? nColors : cap;
}

}  // namespace lobbykit::image
