// DIBs drawn onto contexts: SetDIBitsToDevice and StretchDIBits. The rows that the transfer
// reads are decoded once into a bitmap (SetDIBitsToDevice: of the destination's depth, so
// that colours reach a monochrome destination by the nearest of black and white, as
// CreateDIBitmap converts), which then goes through the context transfers of blit.h.
#include <algorithm>
#include <climits>
#include <cstring>

#include "winport/posix/gdi/blit.h"
#include "winport/posix/gdi/dib.h"
#include "winport/posix/gdi/raster.h"
#include "winport/posix/gdi/rle.h"
#include "winport/posix/kernel/error.h"

namespace winport {
namespace gdi {
namespace {

// A context of no table around a decoded bitmap: the source of one transfer.
struct SourceDc {
    explicit SourceDc(std::shared_ptr<Bitmap> bitmap)
    {
        dc.bitmap = std::move(bitmap);
        dc.brush = StockBrush(WHITE_BRUSH);
        dc.palette = DefaultPalette();
    }
    Dc dc;
};

bool IsRle(const DibLayout& l) { return l.compression == BI_RLE8 || l.compression == BI_RLE4; }

// Reads the DIB's header for a call that draws it; 0 or the error that refuses it.
DWORD ReadForDevice(const void* bits, const BITMAPINFO* info, UINT usage, DibLayout& layout)
{
    if (!bits || !info) return ERROR_INVALID_PARAMETER;
    if (usage != DIB_RGB_COLORS) return usage == DIB_PAL_COLORS ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
    return ReadDibLayout(info, layout);
}

// The top-down rows [top, top + rows) and the columns [0, width) of the DIB, decoded into a
// bitmap of depth bpp whose row 0 is DIB row `top`.
std::shared_ptr<Bitmap> DecodeRows(const DibLayout& l, const std::uint8_t* bits, long long top, long long rows,
                                   long long width, int bpp)
{
    std::shared_ptr<Bitmap> out = NewBitmap(static_cast<int>(width), static_cast<int>(rows), bpp);
    if (out) DecodeDib(l, bits, *out, static_cast<int>(-top));
    return out;
}

// The runs of RLE data (a pw x ph picture) that fall inside the source rectangle
// [sx, sx + w) x [sy, sy + h) (top-down), drawn onto dst at (dx, dy) with the operation:
// pixels that no run sets are left as they are.
BOOL DrawRuns(const Dc& dst, const DibLayout& l, const std::uint8_t* bits, int pw, int ph, long long dx, long long dy,
              long long sx, long long sy, long long w, long long h, std::uint8_t rop, int bpp)
{
    constexpr int kChunk = 256;  // longer than any run
    std::shared_ptr<Bitmap> row = NewBitmap(kChunk, 1, bpp);
    if (!row) return FALSE;
    SourceDc src(row);
    DecodeRle(bits, l.rleBytes, l.bpp, pw, ph, [&](int r, int x, const std::uint8_t* indices, int n) {
        const long long t = static_cast<long long>(ph) - 1 - r;
        if (t < sy || t >= sy + h) return;
        const long long x0 = std::max<long long>(x, sx), x1 = std::min<long long>(static_cast<long long>(x) + n, sx + w);
        for (long long at = x0; at < x1; at += kChunk) {
            const int count = static_cast<int>(std::min<long long>(kChunk, x1 - at));
            PutIndices(l, indices + (at - x), count, *row, 0, 0);
            Transfer(dst, dx + (at - sx), dy + (t - sy), count, 1, &src.dc, 0, 0, rop, *dst.brush);
        }
    });
    return TRUE;
}

}  // namespace
}  // namespace gdi
}  // namespace winport

using namespace winport;
using namespace winport::gdi;

extern "C" {

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                             UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hdc);
    if (!dst) return Fail(ERROR_INVALID_HANDLE, 0);
    DibLayout layout;
    if (const DWORD error = ReadForDevice(lpvBits, lpbmi, ColorUse, layout)) return Fail(error, 0);
    if (cLines == 0) return 0;
    // The extents are taken as int, as Windows takes them: past INT_MAX they are negative
    // and the rectangle is empty.
    const long long cx = static_cast<int>(w), cy = static_cast<int>(h);
    const auto* bits = static_cast<const std::uint8_t*>(lpvBits);
    if (IsRle(layout)) {
        // Runs describe the whole picture, which lies at the source rectangle's bottom-left
        // corner as wide and as high as the rectangle reaches.
        const long long pw = xSrc + cx, ph = ySrc + cy;
        if (pw <= 0 || ph <= 0 || pw > INT_MAX || ph > INT_MAX || cx <= 0 || cy <= 0) return 0;
        DrawRuns(*dst, layout, bits, static_cast<int>(pw), static_cast<int>(ph), xDest, yDest, xSrc, 0, cx, cy,
                 RopIndex(SRCCOPY), dst->Surface().bpp);
        return layout.height;
    }
    // lpvBits holds `lines` scan lines from StartScan: a band of the DIB, which is the
    // source bitmap here. ySrc counts from the bottom of the whole DIB.
    const long long height = layout.height;
    if (StartScan >= height) return 0;
    long long lines = cLines;
    if (!layout.topDown) lines = std::min(lines, height - StartScan);
    long long sy = static_cast<long long>(StartScan) + lines - (ySrc + cy);  // top row, in the band
    if (sy > 0) {
        if (layout.topDown) {
            if (sy >= lines) return static_cast<int>(lines);
        } else {
            // The band's rows above the rectangle are not needed (they end the data).
            if (sy >= lines) return 0;
            lines -= sy;
            sy = 0;
        }
    }
    const long long x0 = std::max<long long>(xSrc, 0), x1 = std::min<long long>(xSrc + cx, layout.width);
    const long long y0 = std::max<long long>(sy, 0), y1 = std::min(sy + cy, lines);
    if (x0 >= x1 || y0 >= y1) return 0;
    DibLayout band = layout;
    band.height = static_cast<int>(lines);
    std::shared_ptr<Bitmap> rows = DecodeRows(band, bits, y0, y1 - y0, x1, dst->Surface().bpp);
    if (!rows) return 0;
    SourceDc src(rows);
    Transfer(*dst, xDest + (x0 - xSrc), yDest + (y0 - sy), x1 - x0, y1 - y0, &src.dc, x0, 0, RopIndex(SRCCOPY),
             *dst->brush);
    return static_cast<int>(lines);
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                         int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hdc);
    if (!dst) return Fail(ERROR_INVALID_HANDLE, 0);
    DibLayout layout;
    if (const DWORD error = ReadForDevice(lpBits, lpbmi, iUsage, layout)) return Fail(error, 0);
    const std::uint8_t r = RopIndex(rop);
    if (!RopUsesSource(r)) {
        Transfer(*dst, xDest, yDest, DestWidth, DestHeight, nullptr, 0, 0, r, *dst->brush);
        return lpbmi->bmiHeader.biHeight;  // as given, sign and all (what Wine returns)
    }
    if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return 0;
    // The source rectangle's origin is its bottom-left corner in a bottom-up DIB.
    const long long height = layout.height;
    const long long sx = xSrc, ws = SrcWidth, hs = SrcHeight;
    const long long sy = layout.topDown ? ySrc : height - (static_cast<long long>(ySrc) + hs);
    // The source pixels the rectangle covers (a negative extent covers those before its origin).
    const long long left = ws < 0 ? sx + ws + 1 : sx, right = ws < 0 ? sx + 1 : sx + ws;
    const long long top = hs < 0 ? sy + hs + 1 : sy, bottom = hs < 0 ? sy + 1 : sy + hs;
    const long long x0 = std::max(left, 0LL), x1 = std::min<long long>(right, layout.width);
    const long long y0 = std::max(top, 0LL), y1 = std::min(bottom, height);
    if (x0 >= x1 || y0 >= y1) return 0;
    const auto* bits = static_cast<const std::uint8_t*>(lpBits);
    // SRCCOPY gives the DIB's height, the other operations its biHeight as given.
    const int result = rop == SRCCOPY ? layout.height : lpbmi->bmiHeader.biHeight;
    // The DIB's colours reach a monochrome destination as a colour bitmap's do with a white
    // background: white is 1, every other colour 0 (what Wine does here, unlike
    // SetDIBitsToDevice).
    if (IsRle(layout)) {
        // Wine keeps other pixels of the runs for other operations than SRCCOPY, and
        // stretches them through a region: neither is settled, so both are refused.
        if (DestWidth != SrcWidth || DestHeight != SrcHeight || ws < 0 || hs < 0 || rop != SRCCOPY)
            return Fail(ERROR_NOT_SUPPORTED, 0);
        DrawRuns(*dst, layout, bits, layout.width, layout.height, xDest, yDest, sx, sy, ws, hs, r, 32);
        return result;
    }
    std::shared_ptr<Bitmap> rows = DecodeRows(layout, bits, y0, y1 - y0, x1, 32);
    if (!rows) return 0;
    SourceDc src(rows);
    StretchDcs(*dst, xDest, yDest, DestWidth, DestHeight, src.dc, sx, sy - y0, ws, hs, r);
    return result;
}

}  // extern "C"
