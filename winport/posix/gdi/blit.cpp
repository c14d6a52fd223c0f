// Transfers: BitBlt, StretchBlt, PatBlt, FillRect, and single pixels. Everything is clipped
// to both bitmaps before a loop starts; rows are converted between colour and monochrome
// once into scratch rows, and the raster operation then runs on whole rows.
#include "winport/posix/gdi/blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "winport/posix/gdi/raster.h"
#include "winport/posix/kernel/error.h"

namespace winport {
namespace gdi {
namespace {

using Row = std::vector<std::uint32_t>;

std::uint32_t* Sized(Row& row, std::size_t n)
{
    if (row.size() < n) row.resize(n);
    return row.data();
}

long long FloorMod(long long a, long long b)
{
    const long long r = a % b;
    return r < 0 ? r + b : r;
}

// Brush colours reach a monochrome bitmap dithered, as on Wine: an 8x8 ordered matrix,
// aligned to the brush origin, against 64 levels of the colour's luminance.
const std::uint8_t kDither[8][8] = {{63, 31, 55, 23, 61, 29, 53, 21}, {15, 47, 7, 39, 13, 45, 5, 37},
                                    {51, 19, 59, 27, 49, 17, 57, 25}, {3, 35, 11, 43, 1, 33, 9, 41},
                                    {60, 28, 52, 20, 62, 30, 54, 22}, {12, 44, 4, 36, 14, 46, 6, 38},
                                    {48, 16, 56, 24, 50, 18, 58, 26}, {0, 32, 8, 40, 2, 34, 10, 42}};

inline unsigned DitherLevel(std::uint32_t pixel)
{
    const unsigned luma = (((pixel >> 16) & 0xFF) * 30 + ((pixel >> 8) & 0xFF) * 59 + (pixel & 0xFF) * 11) / 100;
    return (luma + 2) / 4;
}

// The pattern of `brush` for destination row y, pixels [x, x + n), in the destination's
// format (monochrome words for a 1-bpp destination).
void PatternRow(const Dc& dc, const Brush& brush, bool dstMono, int y, int x, int n, std::uint32_t* out)
{
    const std::uint8_t* dither = kDither[FloorMod(static_cast<long long>(y) - dc.brushOrg.y, 8)];
    const int dx = static_cast<int>(FloorMod(static_cast<long long>(x) - dc.brushOrg.x, 8));
    if (brush.style != BS_PATTERN) {
        const std::uint32_t pixel = ColorToPixel(dc, brush.color);
        if (!dstMono) {
            std::fill(out, out + n, pixel);
            return;
        }
        const unsigned level = DitherLevel(pixel);
        for (int i = 0; i < n; ++i) out[i] = dither[(dx + i) & 7] < level ? 0xFFFFFFFFu : 0u;
        return;
    }
    Bitmap& pat = *brush.pattern;
    const int py = static_cast<int>(FloorMod(static_cast<long long>(y) - dc.brushOrg.y, pat.height));
    const int start = static_cast<int>(FloorMod(static_cast<long long>(x) - dc.brushOrg.x, pat.width));
    for (int i = 0, px = start; i < n;) {
        const int run = std::min(n - i, pat.width - px);
        if (pat.bpp == 32) {
            const std::uint32_t* row = pat.Row32(py) + px;
            if (dstMono) {
                for (int k = 0; k < run; ++k)
                    out[i + k] = dither[(dx + i + k) & 7] < DitherLevel(row[k]) ? 0xFFFFFFFFu : 0u;
            } else {
                std::memcpy(out + i, row, static_cast<std::size_t>(run) * 4);
            }
        } else if (dstMono) {
            UnpackMono(pat.Row1(py), px, run, 0, 0xFFFFFFFFu, out + i);
        } else {
            UnpackMono(pat.Row1(py), px, run, ColorToPixel(dc, dc.textColor), ColorToPixel(dc, dc.bkColor), out + i);
        }
        i += run;
        px = 0;
    }
}

// Source row y, pixels [x, x + n), in the destination's format: colour to monochrome by the
// source's background colour, monochrome to colour by the destination's colours.
// `copy` asks for a private copy even where the source row could be used in place.
const std::uint32_t* SourceRow(const Dc& src, Bitmap& ss, const Dc& dst, bool dstMono, int y, int x, int n, bool copy,
                               std::uint32_t* scratch)
{
    if (ss.bpp == 32) {
        const std::uint32_t* row = ss.Row32(y) + x;
        if (dstMono) {
            ColorToMonoRow(row, n, ColorToPixel(src, src.bkColor), scratch);
            return scratch;
        }
        if (!copy) return row;
        std::memcpy(scratch, row, static_cast<std::size_t>(n) * 4);
        return scratch;
    }
    if (dstMono) UnpackMono(ss.Row1(y), x, n, 0, 0xFFFFFFFFu, scratch);
    else UnpackMono(ss.Row1(y), x, n, ColorToPixel(dst, dst.textColor), ColorToPixel(dst, dst.bkColor), scratch);
    return scratch;
}

struct Scratch {
    Row dest, source, pattern, line, line2, conv, acc;
};

Scratch& Rows()
{
    static thread_local Scratch scratch;
    return scratch;
}

// Applies the operation to destination row y, pixels [x, x + n), from a source row already in
// the destination's format.
void ApplyToRow(const Dc& dst, Bitmap& ds, const Brush* brush, std::uint8_t rop, int y, int x, int n,
                const std::uint32_t* s)
{
    Scratch& rows = Rows();
    const bool mono = ds.bpp == 1;
    const std::uint32_t* p = nullptr;
    if (RopUsesPattern(rop)) {
        std::uint32_t* pat = Sized(rows.pattern, static_cast<std::size_t>(n));
        PatternRow(dst, *brush, mono, y, x, n, pat);
        p = pat;
    }
    if (!mono) {
        std::uint32_t* d = ds.Row32(y) + x;
        ApplyRop(rop, d, s ? s : d, p ? p : d, static_cast<std::size_t>(n));
        return;
    }
    std::uint32_t* d = Sized(rows.dest, static_cast<std::size_t>(n));
    UnpackMono(ds.Row1(y), x, n, 0, 0xFFFFFFFFu, d);
    ApplyRop(rop, d, s ? s : d, p ? p : d, static_cast<std::size_t>(n));
    PackMono(d, n, ds.Row1(y), x);
}

}  // namespace

BOOL Transfer(const Dc& dst, long long x, long long y, long long w, long long h, const Dc* src, long long sx,
              long long sy, std::uint8_t rop, const Brush& brush)
{
    if (RopUsesPattern(rop) && brush.style == BS_NULL) return TRUE;  // a hollow brush draws nothing
    if (!RopUsesSource(rop)) src = nullptr;
    // A negative extent covers the pixels from x + w + 1 to x, in both rectangles.
    if (w < 0) {
        x += w + 1;
        sx += w + 1;
        w = -w;
    }
    if (h < 0) {
        y += h + 1;
        sy += h + 1;
        h = -h;
    }
    Bitmap& ds = dst.Surface();
    // Clip to the destination, then to the source, moving both rectangles together.
    auto clip = [&w, &h](long long& ax, long long& ay, long long& bx, long long& by, long long width, long long height) {
        if (ax < 0) {
            bx -= ax;
            w += ax;
            ax = 0;
        }
        if (ay < 0) {
            by -= ay;
            h += ay;
            ay = 0;
        }
        w = std::min(w, width - ax);
        h = std::min(h, height - ay);
    };
    clip(x, y, sx, sy, ds.width, ds.height);
    Bitmap* ss = src ? &src->Surface() : nullptr;
    if (ss) clip(sx, sy, x, y, ss->width, ss->height);
    if (w <= 0 || h <= 0) return TRUE;

    const int n = static_cast<int>(w);
    const bool same = ss == &ds;
    // Overlapping rows of one bitmap: walk away from the rows still to be read.
    const bool upward = same && sy < y;
    if (ss && ss->bpp == 32 && ds.bpp == 32 && rop == 0xCC) {
        for (long long i = 0; i < h; ++i) {
            const long long r = upward ? h - 1 - i : i;
            std::memmove(ds.Row32(static_cast<int>(y + r)) + x, ss->Row32(static_cast<int>(sy + r)) + sx,
                         static_cast<std::size_t>(n) * 4);
        }
        return TRUE;
    }
    if (ss && ss->bpp == 32 && ds.bpp == 1 && rop == 0xCC) {  // the mask of a key colour
        const std::uint32_t bk = ColorToPixel(*src, src->bkColor);
        for (long long r = 0; r < h; ++r)
            PackColorToMono(ss->Row32(static_cast<int>(sy + r)) + sx, n, bk, ds.Row1(static_cast<int>(y + r)),
                            static_cast<int>(x));
        return TRUE;
    }
    std::uint32_t* scratch = ss ? Sized(Rows().source, static_cast<std::size_t>(n)) : nullptr;
    for (long long i = 0; i < h; ++i) {
        const long long r = upward ? h - 1 - i : i;
        const std::uint32_t* s = nullptr;
        if (ss)
            s = SourceRow(*src, *ss, dst, ds.bpp == 1, static_cast<int>(sy + r), static_cast<int>(sx), n, same, scratch);
        ApplyToRow(dst, ds, &brush, rop, static_cast<int>(y + r), static_cast<int>(x), n, s);
    }
    return TRUE;
}

namespace {

// --- StretchBlt -----------------------------------------------------------------------

// What one destination pixel (a column or a row) is made of, in physical source pixels.
struct Tap {
    int dst;
    int s0, s1;  // the source pixels s0..s1 (a group), or s0 alone
    int s2;      // HALFTONE: the second pixel, weighted by frac (0 to 1)
    float frac;
};

// (a * b + c) / d for the taps' positions. Extents come from int arguments, so a * b can
// reach 2^65: the product is taken in 128 bits, and the quotient, at most max(a, b), fits.
inline long long RatioFloor(long long a, long long b, long long c, long long d)
{
    return static_cast<long long>((static_cast<__int128>(a) * b + c) / d);
}

// The taps of one axis: n source pixels from xs (mirrored when ws < 0) onto m destination
// pixels from xd (mirrored when wd < 0); only destination pixels inside [0, dlimit) whose
// source lies inside [0, slimit). `last` picks the last pixel of a group (COLORONCOLOR keeps
// the last pixel of a row's group and the first row of a group of rows).
std::vector<Tap> AxisTaps(int mode, bool last, long long xd, long long wd, long long xs, long long ws, long long dlimit,
                          long long slimit)
{
    const long long m = wd < 0 ? -wd : wd;
    const long long n = ws < 0 ? -ws : ws;
    auto dphys = [&](long long j) { return wd < 0 ? xd - j : xd + j; };
    auto sphys = [&](long long k) { return ws < 0 ? xs - k : xs + k; };
    long long j0 = wd < 0 ? std::max(0LL, xd - dlimit + 1) : std::max(0LL, -xd);
    long long j1 = wd < 0 ? std::min(m, xd + 1) : std::min(m, dlimit - xd);
    std::vector<Tap> taps;
    if (j1 > j0) taps.reserve(static_cast<std::size_t>(j1 - j0));
    // HALFTONE's source position is added up in single precision pixel by pixel from the
    // rectangle's first pixel: Wine's weights, rounding errors included. (A clipped
    // rectangle keeps the positions of the whole one, as in the other modes.)
    const float step = static_cast<float>(static_cast<double>(n) / static_cast<double>(m));
    float position = 0.0f;
    // (A destination clipped by more than 2^16 pixels starts from the product instead, which
    // may differ in the last bit but keeps the call's time bounded by what it draws.)
    if (mode == HALFTONE && j0 > (1 << 16))
        position = static_cast<float>(static_cast<double>(step) * static_cast<double>(j0));
    else if (mode == HALFTONE)
        for (long long j = 0; j < j0; ++j) position += step;
    for (long long j = j0; j < j1; ++j) {
        // Shrinking: pixel j stands for [round(j*n/m), round((j+1)*n/m)); enlarging: source
        // pixel i fills [round(i*m/n), round((i+1)*m/n)). Halves round up.
        long long lo, hi;
        if (m == 1 && n > 1 && (wd < 0) == (ws < 0)) {
            lo = 0;  // one pixel left, not mirrored: Wine leaves out the last source pixel
            hi = n - 1;
        } else if (n >= m) {
            lo = RatioFloor(2 * j, n, m, 2 * m);
            hi = RatioFloor(2 * (j + 1), n, m, 2 * m);
        } else {
            lo = RatioFloor(2 * j, n, n - 1, 2 * m);
            hi = lo + 1;
        }
        Tap t{static_cast<int>(dphys(j)), 0, 0, 0, 0};
        if (mode == BLACKONWHITE || mode == WHITEONBLACK) {
            long long a = sphys(lo), b = sphys(hi - 1);
            if (a > b) std::swap(a, b);
            a = std::max(a, 0LL);
            b = std::min(b, slimit - 1);
            if (a > b) continue;
            t.s0 = t.s2 = static_cast<int>(a);
            t.s1 = static_cast<int>(b);
        } else if (mode == HALFTONE) {
            const float pos = position;
            position += step;
            const long long k = std::min(static_cast<long long>(pos), n - 1);
            const long long s = sphys(k), s2 = sphys(std::min(k + 1, n - 1));
            if (s < 0 || s >= slimit) continue;
            t.s0 = t.s1 = static_cast<int>(s);
            t.s2 = static_cast<int>(s2 >= 0 && s2 < slimit ? s2 : s);
            t.frac = pos - static_cast<float>(k);
        } else {
            const long long s = sphys(last ? hi - 1 : lo);
            if (s < 0 || s >= slimit) continue;
            t.s0 = t.s1 = t.s2 = static_cast<int>(s);
        }
        taps.push_back(t);
    }
    if (wd < 0) std::reverse(taps.begin(), taps.end());
    return taps;
}

// Linear interpolation of the colour channels in single precision, a + (b - a) * f with a
// half rounded up: Wine's results to the last bit.
inline std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, float f)
{
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const float ca = static_cast<float>((a >> shift) & 0xFF), cb = static_cast<float>((b >> shift) & 0xFF);
        const float mixed = ca + (cb - ca) * f;
        out |= static_cast<std::uint32_t>(mixed + 0.5f) << shift;
    }
    return out;
}

// One destination row's worth of source: gathers the taps' pixels from a converted row
// (`single` holds each tap's one pixel, offset from xmin, where a tap reads one pixel).
void Gather(int mode, const std::vector<Tap>& cols, const std::vector<int>& single, const std::uint32_t* conv, int xmin,
            std::uint32_t* out)
{
    const std::size_t n = cols.size();
    switch (mode) {
    case BLACKONWHITE:
    case WHITEONBLACK:
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t v = conv[cols[i].s0 - xmin];
            for (int s = cols[i].s0 + 1; s <= cols[i].s1; ++s)
                v = mode == BLACKONWHITE ? (v & conv[s - xmin]) : (v | conv[s - xmin]);
            out[i] = v;
        }
        return;
    case HALFTONE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = Lerp(conv[cols[i].s0 - xmin], conv[cols[i].s2 - xmin], cols[i].frac);
        return;
    default: {
        const int* idx = single.data();
        for (std::size_t i = 0; i < n; ++i) out[i] = conv[idx[i]];
        return;
    }
    }
}

BOOL Stretch(const Dc& dst, long long xd, long long yd, long long wd, long long hd, const Dc& src, long long xs,
             long long ys, long long ws, long long hs, std::uint8_t rop)
{
    Bitmap& ds = dst.Surface();
    Bitmap& ss0 = src.Surface();
    // A bitmap stretched onto itself reads from a snapshot.
    std::shared_ptr<Bitmap> snapshot;
    if (&ss0 == &ds) {
        snapshot = CopyBitmap(ss0);
        if (!snapshot) return FALSE;
    }
    Bitmap& ss = snapshot ? *snapshot : ss0;
    int mode = dst.stretchMode;
    // Mixing colours means nothing for a monochrome destination (Wine paints it black).
    if (mode == HALFTONE && ds.bpp != 32) mode = COLORONCOLOR;
    const std::vector<Tap> cols = AxisTaps(mode, true, xd, wd, xs, ws, ds.width, ss.width);
    const std::vector<Tap> rows = AxisTaps(mode, false, yd, hd, ys, hs, ds.height, ss.height);
    if (cols.empty() || rows.empty()) return TRUE;
    int xmin = cols.front().s0, xmax = cols.front().s1;
    for (const Tap& t : cols) {
        xmin = std::min({xmin, t.s0, t.s2});
        xmax = std::max({xmax, t.s1, t.s2});
    }
    const int span = xmax - xmin + 1;
    std::vector<int> single(cols.size());
    bool oneEach = true;  // enlarging: every group is one pixel, whatever the mode
    for (std::size_t i = 0; i < cols.size(); ++i) {
        single[i] = cols[i].s0 - xmin;
        oneEach = oneEach && cols[i].s1 == cols[i].s0;
    }
    const int gatherMode = oneEach && mode != HALFTONE ? COLORONCOLOR : mode;
    // Columns come in runs of neighbouring destination pixels (one run unless clipped).
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < cols.size();) {
        std::size_t e = i + 1;
        while (e < cols.size() && cols[e].dst == cols[e - 1].dst + 1) ++e;
        runs.emplace_back(i, e - i);
        i = e;
    }
    Scratch& sc = Rows();
    std::uint32_t* conv = Sized(sc.conv, static_cast<std::size_t>(span));
    std::uint32_t* acc = Sized(sc.acc, static_cast<std::size_t>(span));
    std::uint32_t* line = Sized(sc.line, cols.size());
    std::uint32_t* line2 = Sized(sc.line2, cols.size());
    const Brush& brush = *dst.brush;
    const bool mono = ds.bpp == 1;
    const Tap* previous = nullptr;
    for (const Tap& r : rows) {
        const bool reuse = previous && previous->s0 == r.s0 && previous->s1 == r.s1 && previous->s2 == r.s2 &&
                           previous->frac == r.frac;
        if (!reuse) {
            const std::uint32_t* c = SourceRow(src, ss, dst, mono, r.s0, xmin, span, false, conv);
            if (r.s1 > r.s0) {
                // A group of rows (BLACKONWHITE, WHITEONBLACK): combine the rows, then the columns.
                std::memcpy(acc, c, static_cast<std::size_t>(span) * 4);
                for (int sy = r.s0 + 1; sy <= r.s1; ++sy) {
                    c = SourceRow(src, ss, dst, mono, sy, xmin, span, false, conv);
                    if (mode == BLACKONWHITE)
                        for (int i = 0; i < span; ++i) acc[i] &= c[i];
                    else
                        for (int i = 0; i < span; ++i) acc[i] |= c[i];
                }
                c = acc;
            }
            Gather(gatherMode, cols, single, c, xmin, line);
            if (mode == HALFTONE && r.frac != 0 && r.s2 != r.s0) {
                c = SourceRow(src, ss, dst, mono, r.s2, xmin, span, false, conv);
                Gather(gatherMode, cols, single, c, xmin, line2);
                for (std::size_t i = 0; i < cols.size(); ++i) line[i] = Lerp(line[i], line2[i], r.frac);
            }
            previous = &r;
        }
        for (const auto& run : runs)
            ApplyToRow(dst, ds, &brush, rop, r.dst, cols[run.first].dst, static_cast<int>(run.second), line + run.first);
    }
    return TRUE;
}

}  // namespace

BOOL StretchDcs(const Dc& dst, long long xd, long long yd, long long wd, long long hd, const Dc& src, long long xs,
                long long ys, long long ws, long long hs, std::uint8_t rop)
{
    if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return TRUE;
    // Same size and orientation: a plain transfer.
    if (wd == ws && hd == hs) return Transfer(dst, xd, yd, wd, hd, &src, xs, ys, rop, *dst.brush);
    if (RopUsesPattern(rop) && dst.brush->style == BS_NULL) return TRUE;
    return Stretch(dst, xd, yd, wd, hd, src, xs, ys, ws, hs, rop);
}

}  // namespace gdi
}  // namespace winport

using namespace winport;
using namespace winport::gdi;

extern "C" {

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hdc);
    if (!dst) return Fail(ERROR_INVALID_HANDLE, FALSE);
    const std::uint8_t r = RopIndex(rop);
    std::shared_ptr<Dc> src;
    if (RopUsesSource(r)) {
        src = FindDc(hdcSrc);
        if (!src) return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return Transfer(*dst, x, y, cx, cy, src.get(), x1, y1, r, *dst->brush);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
                       int wSrc, int hSrc, DWORD rop)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hdcDest);
    if (!dst) return Fail(ERROR_INVALID_HANDLE, FALSE);
    const std::uint8_t r = RopIndex(rop);
    if (!RopUsesSource(r)) return Transfer(*dst, xDest, yDest, wDest, hDest, nullptr, 0, 0, r, *dst->brush);
    std::shared_ptr<Dc> src = FindDc(hdcSrc);
    if (!src) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return StretchDcs(*dst, xDest, yDest, wDest, hDest, *src, xSrc, ySrc, wSrc, hSrc, r);
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hdc);
    if (!dst) return Fail(ERROR_INVALID_HANDLE, FALSE);
    const std::uint8_t r = RopIndex(rop);
    if (RopUsesSource(r)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Transfer(*dst, x, y, w, h, nullptr, 0, 0, r, *dst->brush);
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dst = FindDc(hDC);
    std::shared_ptr<Brush> brush = FindBrush(hbr);
    if (!dst || !brush) return Fail(ERROR_INVALID_HANDLE, 0);
    if (!lprc) return Fail(ERROR_INVALID_PARAMETER, 0);
    return Transfer(*dst, lprc->left, lprc->top, static_cast<long long>(lprc->right) - lprc->left,
                    static_cast<long long>(lprc->bottom) - lprc->top, nullptr, 0, 0, RopIndex(PATCOPY), *brush);
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<COLORREF>(ERROR_INVALID_HANDLE, CLR_INVALID);
    Bitmap& b = dc->Surface();
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return CLR_INVALID;
    if (b.bpp == 1) return ((b.Row1(y)[x >> 3] >> (7 - (x & 7))) & 1) ? RGB(255, 255, 255) : 0;
    return PixelToRgb(b.Row32(y)[x]);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<COLORREF>(ERROR_INVALID_HANDLE, CLR_INVALID);
    Bitmap& b = dc->Surface();
    // Outside the bitmap nothing is set, but the result is still the colour the pixel would
    // have had, as Wine has it.
    const bool inside = x >= 0 && y >= 0 && x < b.width && y < b.height;
    const std::uint32_t pixel = ColorToPixel(*dc, color);
    if (b.bpp == 1) {
        const bool white = NearestMono(pixel) != 0;
        if (!inside) return white ? RGB(255, 255, 255) : 0;
        std::uint8_t& byte = b.Row1(y)[x >> 3];
        const unsigned mask = 0x80u >> (x & 7);
        byte = static_cast<std::uint8_t>(white ? (byte | mask) : (byte & ~mask));
        return white ? RGB(255, 255, 255) : 0;
    }
    if (inside) b.Row32(y)[x] = pixel;
    return PixelToRgb(pixel);
}

}  // extern "C"
