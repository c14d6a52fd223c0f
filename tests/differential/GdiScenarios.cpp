// GDI: DIB formats, raster operations, colour<->monochrome transfers, stretching and
// clipping, on pictures and geometry drawn from a fixed-seed generator of our own, so that
// both builds run exactly the same cases. Results are read back with GetDIBits (32 bpp,
// top-down) and written as a digest of the pixels: the two transcripts agree only when
// every pixel does. With LKDIFF_GDI_PIXELS=1 in the environment the pixels themselves are
// written instead (to look into a difference; both runs need it).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Probe.h"

namespace {

// splitmix64: small, and the same sequence on every compiler and system.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint32_t Next()
    {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    // Uniform in [lo, hi].
    int In(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
    bool OneIn(int n) { return Next() % static_cast<uint32_t>(n) == 0; }

private:
    uint64_t s_;
};

std::string Hex(uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

std::string Str(int v) { return std::to_string(v); }

struct NamedRop {
    DWORD rop;
    const char* name;
};

const NamedRop kNamedRops[] = {
    {SRCCOPY, "SRCCOPY"},       {SRCPAINT, "SRCPAINT"},     {SRCAND, "SRCAND"},           {SRCINVERT, "SRCINVERT"},
    {SRCERASE, "SRCERASE"},     {NOTSRCCOPY, "NOTSRCCOPY"}, {NOTSRCERASE, "NOTSRCERASE"}, {MERGECOPY, "MERGECOPY"},
    {MERGEPAINT, "MERGEPAINT"}, {PATCOPY, "PATCOPY"},       {PATPAINT, "PATPAINT"},       {PATINVERT, "PATINVERT"},
    {DSTINVERT, "DSTINVERT"},   {BLACKNESS, "BLACKNESS"},   {WHITENESS, "WHITENESS"},
};

std::string RopName(DWORD rop)
{
    for (const NamedRop& r : kNamedRops)
        if (r.rop == rop) return r.name;
    return "0x" + Hex(rop, 8);
}

// A raster operation by its index (the byte GDI evaluates); the low word, which only
// describes the operation, is left 0.
DWORD Rop3(int index)
{
    for (const NamedRop& r : kNamedRops)
        if (static_cast<int>((r.rop >> 16) & 0xFF) == index) return r.rop;
    return static_cast<DWORD>(index) << 16;
}

const char* StretchModeName(int mode)
{
    switch (mode) {
    case BLACKONWHITE: return "BLACKONWHITE";
    case WHITEONBLACK: return "WHITEONBLACK";
    case COLORONCOLOR: return "COLORONCOLOR";
    case HALFTONE: return "HALFTONE";
    }
    return "?";
}

// A picture as 32-bpp top-down rows of 0x00RRGGBB.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
};

// Random colours, drawn mostly from a few (so that colour->mono transfers find the
// background colour, and runs of equal pixels exist) and sometimes from all.
Picture RandomPicture(Rng& rng, int w, int h, const std::vector<uint32_t>& few)
{
    Picture p;
    p.w = w;
    p.h = h;
    p.px.resize(static_cast<size_t>(w) * h);
    for (uint32_t& v : p.px) v = rng.OneIn(4) ? (rng.Next() & 0xFFFFFF) : few[rng.Next() % few.size()];
    return p;
}

std::vector<uint32_t> FewColours(Rng& rng, int n)
{
    std::vector<uint32_t> c;
    for (int i = 0; i < n; ++i) c.push_back(rng.Next() & 0xFFFFFF);
    return c;
}

// COLORREF (0x00BBGGRR) of a 0x00RRGGBB pixel.
COLORREF Ref(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

BITMAPINFOHEADER Header32(int w, int h)
{
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = -h;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    return bih;
}

// A screen-compatible (32-bpp) bitmap holding the picture.
HBITMAP MakeColour(HDC screen, const Picture& p)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader = Header32(p.w, p.h);
    return CreateDIBitmap(screen, &bmi.bmiHeader, CBM_INIT, p.px.data(), &bmi, DIB_RGB_COLORS);
}

// A monochrome bitmap of random bits (CreateBitmap rows are WORD-aligned).
HBITMAP MakeMono(Rng& rng, int w, int h)
{
    const int stride = (w + 15) / 16 * 2;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * h);
    for (uint8_t& b : bits) b = static_cast<uint8_t>(rng.Next());
    return CreateBitmap(w, h, 1, 1, bits.data());
}

uint64_t Fnv(const void* data, size_t size)
{
    const uint8_t* b = static_cast<const uint8_t*>(data);
    uint64_t hash = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ b[i]) * 0x100000001B3ull;
    return hash;
}

bool DumpPixels()
{
    static const bool dump = [] {
        const char* v = std::getenv("LKDIFF_GDI_PIXELS");
        return v && *v && *v != '0';
    }();
    return dump;
}

// The bitmap's pixels as GetDIBits gives them (32 bpp, top-down), as "WxH #digest" or,
// when asked for, as rows of hex pixels. The bitmap must not be selected into a DC.
std::string Pixels(HDC screen, HBITMAP bm)
{
    BITMAP info = {};
    if (!bm || GetObjectA(bm, sizeof info, &info) != sizeof info) return "no bitmap";
    BITMAPINFO bmi = {};
    bmi.bmiHeader = Header32(info.bmWidth, info.bmHeight);
    std::vector<uint32_t> px(static_cast<size_t>(info.bmWidth) * info.bmHeight, 0xA5A5A5A5u);
    const int lines = GetDIBits(screen, bm, 0, static_cast<UINT>(info.bmHeight), px.data(), &bmi, DIB_RGB_COLORS);
    std::string out = Str(info.bmWidth) + "x" + Str(info.bmHeight) + "x" + Str(info.bmBitsPixel);
    if (lines != info.bmHeight) out += " GetDIBits=" + Str(lines);
    if (!DumpPixels())
        return out + " #" + Hex(static_cast<uint32_t>(Fnv(px.data(), px.size() * 4) >> 32), 8) +
               Hex(static_cast<uint32_t>(Fnv(px.data(), px.size() * 4)), 8);
    for (size_t i = 0; i < px.size(); ++i) {
        out += (i % static_cast<size_t>(info.bmWidth) == 0) ? " |" : " ";
        out += Hex(px[i], px[i] >> 24 ? 8 : 6);
    }
    return out;
}

std::string Rect(int x, int y, int w, int h) { return "(" + Str(x) + "," + Str(y) + " " + Str(w) + "x" + Str(h) + ")"; }

// A memory DC with the bitmap selected; puts the DC's first bitmap back and deletes it.
class MemDC {
public:
    MemDC(HDC screen, HBITMAP bm) : dc_(CreateCompatibleDC(screen)), old_(dc_ ? SelectObject(dc_, bm) : nullptr) {}
    ~MemDC()
    {
        if (!dc_) return;
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    MemDC(const MemDC&) = delete;
    MemDC& operator=(const MemDC&) = delete;
    operator HDC() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// The screen DC and the count of live GDI objects around a scenario: the scenario's last
// line says whether it left any object behind.
class GdiScope {
public:
    explicit GdiScope(probe::Transcript& t) : t_(t), before_(Count()), screen_(GetDC(nullptr)) {}
    ~GdiScope()
    {
        ReleaseDC(nullptr, screen_);
        t_.Check("the GDI objects are as before", Count() == before_);
    }
    HDC screen() const { return screen_; }

private:
    static DWORD Count() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
    probe::Transcript& t_;
    DWORD before_;
    HDC screen_;
};

// One transfer and its outcome: the call with its arguments, the result and last error,
// and the destination's pixels afterwards.
void Record(probe::Transcript& t, const std::string& call, BOOL ok, DWORD error, HDC screen, HBITMAP dst,
            const char* known = nullptr)
{
    t.Call(call.c_str(), probe::AsBool(ok) + "  " + Pixels(screen, dst), error, known);
}

// A transfer from `src` onto `dst` (both must not be selected elsewhere), with the DCs'
// colours set as given; returns the call's result and its last error.
struct Blt {
    int dx, dy, dw, dh;  // destination rectangle
    int sx, sy, sw, sh;  // source rectangle (sw, sh only for StretchBlt)
    DWORD rop = SRCCOPY;
    bool stretch = false;
    int mode = COLORONCOLOR;
    COLORREF srcBk = RGB(255, 255, 255), srcText = RGB(0, 0, 0);
    COLORREF dstBk = RGB(255, 255, 255), dstText = RGB(0, 0, 0);
    HBRUSH brush = nullptr;
};

std::pair<BOOL, DWORD> Run(HDC screen, HBITMAP dst, HBITMAP src, const Blt& b)
{
    MemDC d(screen, dst);
    MemDC s(screen, src);
    SetBkColor(s, b.srcBk);
    SetTextColor(s, b.srcText);
    SetBkColor(d, b.dstBk);
    SetTextColor(d, b.dstText);
    SetStretchBltMode(d, b.mode);
    HGDIOBJ oldBrush = b.brush ? SelectObject(d, b.brush) : nullptr;
    SetLastError(probe::Transcript::kUntouched);
    const BOOL ok = b.stretch ? StretchBlt(d, b.dx, b.dy, b.dw, b.dh, s, b.sx, b.sy, b.sw, b.sh, b.rop)
                              : BitBlt(d, b.dx, b.dy, b.dw, b.dh, s, b.sx, b.sy, b.rop);
    const DWORD error = GetLastError();
    if (oldBrush) SelectObject(d, oldBrush);
    return {ok, error};
}

bool UsesPattern(DWORD rop)
{
    const unsigned i = (rop >> 16) & 0xFF;
    return ((i >> 4) & 0x0F) != (i & 0x0F);
}

bool UsesSource(DWORD rop)
{
    const unsigned i = (rop >> 16) & 0xFF;
    return ((i >> 2) & 0x33) != (i & 0x33);
}

// The known difference a transfer may show, by what it draws with (see KnownDifferences.cpp).
const char* KnownFor(const Blt& b, bool patternBrush)
{
    if (patternBrush && UsesPattern(b.rop) && UsesSource(b.rop) && (b.dx != 0 || b.dy != 0))
        return "wine-pattern-with-source";
    return nullptr;
}

std::string Describe(const char* what, const Blt& b)
{
    std::string s = std::string(what) + " " + (b.stretch ? "StretchBlt " : "BitBlt ") + Rect(b.dx, b.dy, b.dw, b.dh) +
                    " <- (" + Str(b.sx) + "," + Str(b.sy);
    if (b.stretch) s += " " + Str(b.sw) + "x" + Str(b.sh) + " " + StretchModeName(b.mode);
    return s + ") " + RopName(b.rop);
}

// A pattern brush: an 8x8 bitmap, colour or monochrome (whose 0 bits take the destination's
// text colour and 1 bits its background colour).
HBRUSH RandomPatternBrush(HDC screen, Rng& rng, bool mono)
{
    HBITMAP pat = mono ? MakeMono(rng, 8, 8) : MakeColour(screen, RandomPicture(rng, 8, 8, FewColours(rng, 3)));
    HBRUSH brush = CreatePatternBrush(pat);
    DeleteObject(pat);  // the brush keeps its own copy
    return brush;
}

}  // namespace

// --- DIB formats -------------------------------------------------------------------------

namespace {

struct DibFormat {
    int bpp;
    DWORD compression;
    DWORD masks[3];  // BI_BITFIELDS only
    const char* name;
};

const DibFormat kDibFormats[] = {
    {1, BI_RGB, {}, "1bpp"},
    {4, BI_RGB, {}, "4bpp"},
    {8, BI_RGB, {}, "8bpp"},
    {16, BI_RGB, {}, "16bpp 555"},
    {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, "16bpp bitfields 565"},
    {16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}, "16bpp bitfields 555"},
    {24, BI_RGB, {}, "24bpp"},
    {32, BI_RGB, {}, "32bpp"},
    {32, BI_BITFIELDS, {0xFF0000, 0x00FF00, 0x0000FF}, "32bpp bitfields 888"},
};

// A packed DIB: header, colour table or masks, pixel rows (DWORD-aligned).
struct Dib {
    std::vector<uint8_t> info;  // BITMAPINFO with its colour table or masks
    std::vector<uint8_t> bits;
    const BITMAPINFOHEADER* header() const { return reinterpret_cast<const BITMAPINFOHEADER*>(info.data()); }
    const BITMAPINFO* bmi() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
};

Dib RandomDib(Rng& rng, const DibFormat& f, int w, int h, bool topDown, int colours, bool indexInRange)
{
    Dib d;
    const int tableBytes = f.compression == BI_BITFIELDS ? 12 : (f.bpp <= 8 ? 4 * colours : 0);
    d.info.assign(sizeof(BITMAPINFOHEADER) + tableBytes, 0);
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = topDown ? -h : h;
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(f.bpp);
    bih.biCompression = f.compression;
    bih.biClrUsed = f.bpp <= 8 && colours != (1 << f.bpp) ? static_cast<DWORD>(colours) : 0;
    std::memcpy(d.info.data(), &bih, sizeof bih);
    uint8_t* table = d.info.data() + sizeof bih;
    if (f.compression == BI_BITFIELDS) {
        std::memcpy(table, f.masks, 12);
    } else {
        for (int i = 0; i < tableBytes; ++i) table[i] = static_cast<uint8_t>(rng.Next());
        for (int i = 3; i < tableBytes; i += 4) table[i] = 0;  // rgbReserved
    }
    const size_t stride = (static_cast<size_t>(w) * f.bpp + 31) / 32 * 4;
    d.bits.resize(stride * h);
    for (uint8_t& b : d.bits) b = static_cast<uint8_t>(rng.Next());
    if (f.bpp <= 8 && indexInRange) {
        // Every index within the table (the padding bits stay random).
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t bit = static_cast<size_t>(x) * f.bpp;
                uint8_t& byte = d.bits[y * stride + bit / 8];
                const int shift = 8 - f.bpp - static_cast<int>(bit % 8);
                const int index = rng.In(0, colours - 1);
                byte = static_cast<uint8_t>((byte & ~(((1 << f.bpp) - 1) << shift)) | (index << shift));
            }
    }
    return d;
}

}  // namespace

PROBE_SCENARIO(gdi_dib_formats)
{
    GdiScope g(t);
    Rng rng(0x6D1B0001);
    for (const DibFormat& f : kDibFormats)
        for (bool topDown : {false, true})
            for (int round = 0; round < 3; ++round) {
                const int w = rng.In(1, 37), h = rng.In(1, 11);
                // Palettes: full, or shorter (biClrUsed) with every index inside it.
                const int full = f.bpp <= 8 ? 1 << f.bpp : 0;
                const int colours = f.bpp <= 8 ? (round == 0 ? full : rng.In(2, full)) : 0;
                const Dib d = RandomDib(rng, f, w, h, topDown, colours, true);
                HBITMAP bm = nullptr;
                const std::string call = std::string("CreateDIBitmap(screen, ") + f.name + ", " +
                                         (topDown ? "top-down " : "bottom-up ") + Str(w) + "x" + Str(h) +
                                         (colours && colours != full ? ", " + Str(colours) + " colours" : "") +
                                         ", CBM_INIT)";
                SetLastError(probe::Transcript::kUntouched);
                bm = CreateDIBitmap(g.screen(), d.header(), CBM_INIT, d.bits.data(), d.bmi(), DIB_RGB_COLORS);
                const DWORD error = GetLastError();
                t.Call(call.c_str(), probe::AsHandle(bm) + "  " + Pixels(g.screen(), bm), error);
                if (bm) DeleteObject(bm);
            }
    // The ends of the format: indexes past a short colour table, the unused byte of 32-bpp
    // pixels, and a DIB without CBM_INIT (only the size is taken).
    const DibFormat& f8 = kDibFormats[2];
    const Dib outside = RandomDib(rng, f8, 9, 4, false, 5, false);
    HBITMAP bm = nullptr;
    PROBE_CALL(probe::AsHandle, bm = CreateDIBitmap(g.screen(), outside.header(), CBM_INIT, outside.bits.data(),
                                                    outside.bmi(), DIB_RGB_COLORS));
    t.Value("   8bpp indexes past 5 colours", Pixels(g.screen(), bm));
    DeleteObject(bm);
    const Dib reserved = RandomDib(rng, kDibFormats[7], 7, 3, true, 0, false);
    PROBE_CALL(probe::AsHandle, bm = CreateDIBitmap(g.screen(), reserved.header(), CBM_INIT, reserved.bits.data(),
                                                    reserved.bmi(), DIB_RGB_COLORS));
    t.Value("   32bpp with random top bytes", Pixels(g.screen(), bm));
    DeleteObject(bm);
    // Masks other than the usual ones: 4:4:4 in 16 bits, blue and red swapped in 32.
    const DibFormat odd[] = {{16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, "16bpp bitfields 444"},
                             {32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}, "32bpp bitfields BGR"}};
    for (const DibFormat& f : odd) {
        const Dib d = RandomDib(rng, f, 11, 3, false, 0, false);
        SetLastError(probe::Transcript::kUntouched);
        bm = CreateDIBitmap(g.screen(), d.header(), CBM_INIT, d.bits.data(), d.bmi(), DIB_RGB_COLORS);
        const DWORD error = GetLastError();
        t.Call((std::string("CreateDIBitmap(screen, ") + f.name + ", 11x3, CBM_INIT)").c_str(),
               probe::AsHandle(bm) + "  " + Pixels(g.screen(), bm), error);
        if (bm) DeleteObject(bm);
    }
    // RLE8: runs, an end of line, a literal run, the end of the bitmap (4x2, bottom-up).
    {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colours[4];
        } rle = {};
        rle.h.biSize = sizeof rle.h;
        rle.h.biWidth = 4;
        rle.h.biHeight = 2;
        rle.h.biPlanes = 1;
        rle.h.biBitCount = 8;
        rle.h.biCompression = BI_RLE8;
        const uint8_t data[] = {0x03, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x01};
        rle.h.biSizeImage = sizeof data;
        rle.h.biClrUsed = 4;
        for (int i = 0; i < 4; ++i) rle.colours[i] = {static_cast<BYTE>(40 * i), static_cast<BYTE>(200 - 30 * i), 7, 0};
        SetLastError(probe::Transcript::kUntouched);
        bm = CreateDIBitmap(g.screen(), &rle.h, CBM_INIT, data, reinterpret_cast<BITMAPINFO*>(&rle), DIB_RGB_COLORS);
        const DWORD error = GetLastError();
        t.Call("CreateDIBitmap(screen, RLE8 4x2, CBM_INIT)", probe::AsHandle(bm) + "  " + Pixels(g.screen(), bm), error);
        if (bm) DeleteObject(bm);
    }
    PROBE_CALL(probe::AsHandle, bm = CreateDIBitmap(g.screen(), reserved.header(), 0, nullptr, nullptr, 0));
    BITMAP info = {};
    PROBE_CALL(probe::AsInt, GetObjectA(bm, sizeof info, &info));
    t.Value("   BITMAP", Str(info.bmType) + " " + Str(info.bmWidth) + "x" + Str(info.bmHeight) + " widthBytes " +
                             Str(info.bmWidthBytes) + " planes " + Str(info.bmPlanes) + " bpp " +
                             Str(info.bmBitsPixel) + " bits " + probe::AsPointer(info.bmBits));
    DeleteObject(bm);
}

// --- RLE8 and RLE4 ------------------------------------------------------------------------

namespace {

// A random RLE stream for a w x h picture: runs that stay inside their row or run past it,
// absolute runs (odd lengths among them), ends of row, moves (some past the right edge or
// the top), indices past the colour table, and an end of picture or none. Malformed ones
// are cut anywhere (inside a run, an escape, a move) or have random bytes in between.
std::vector<uint8_t> RandomRle(Rng& rng, int bpp, int w, int h, int colours, bool malformed)
{
    std::vector<uint8_t> s;
    // A byte of indices: mostly inside the table, sometimes any.
    auto indices = [&] {
        if (rng.OneIn(4)) return static_cast<uint8_t>(rng.Next());
        if (bpp == 8) return static_cast<uint8_t>(rng.In(0, colours - 1));
        return static_cast<uint8_t>(rng.In(0, colours - 1) << 4 | rng.In(0, colours - 1));
    };
    const int items = rng.In(1, 3 * h + 6);
    for (int i = 0; i < items; ++i) {
        const int kind = rng.In(0, 9);
        if (kind <= 3) {  // an encoded run
            s.push_back(static_cast<uint8_t>(rng.OneIn(6) ? rng.In(1, 255) : rng.In(1, w + 2)));
            s.push_back(indices());
        } else if (kind <= 5) {  // an absolute run
            const int n = rng.OneIn(6) ? rng.In(3, 255) : rng.In(3, w + 3);
            s.push_back(0);
            s.push_back(static_cast<uint8_t>(n));
            const int bytes = (n * bpp + 7) / 8;
            for (int k = 0; k < bytes + (bytes & 1); ++k) s.push_back(indices());
        } else if (kind <= 7) {  // the end of a row
            s.push_back(0);
            s.push_back(0);
        } else {  // a move
            s.push_back(0);
            s.push_back(2);
            s.push_back(static_cast<uint8_t>(rng.OneIn(5) ? rng.In(0, 255) : rng.In(0, w + 1)));
            s.push_back(static_cast<uint8_t>(rng.OneIn(5) ? rng.In(0, 255) : rng.In(0, 2)));
        }
        if (malformed && rng.OneIn(8)) s.push_back(static_cast<uint8_t>(rng.Next()));
    }
    if (!rng.OneIn(4)) {
        s.push_back(0);
        s.push_back(1);
    }
    if (malformed && !s.empty()) s.resize(static_cast<size_t>(rng.In(1, static_cast<int>(s.size()))));
    return s;
}

}  // namespace

PROBE_SCENARIO(gdi_rle_streams)
{
    GdiScope g(t);
    Rng rng(0x6D1B0010);
    for (int round = 0; round < 240; ++round) {
        const int bpp = round % 2 ? 4 : 8;
        const int w = rng.In(1, 24), h = rng.In(1, 9);
        const bool malformed = round % 3 == 2;
        const bool mono = round % 11 == 5;
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colours[256];
        } bi = {};
        const int colours = rng.In(1, 1 << bpp);
        bi.h.biSize = sizeof bi.h;
        bi.h.biWidth = w;
        bi.h.biHeight = h;
        bi.h.biPlanes = 1;
        bi.h.biBitCount = static_cast<WORD>(bpp);
        bi.h.biCompression = bpp == 8 ? BI_RLE8 : BI_RLE4;
        bi.h.biClrUsed = static_cast<DWORD>(colours);
        for (int i = 0; i < colours; ++i) {
            const uint32_t c = rng.Next();
            bi.colours[i] = {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
        }
        std::vector<uint8_t> data = RandomRle(rng, bpp, w, h, colours, malformed);
        bi.h.biSizeImage = static_cast<DWORD>(data.size());
        // Bytes behind the data that must never be read: a stream that runs on would take
        // them for runs.
        for (int k = 0; k < 8; ++k) data.push_back(k % 2 ? 0x22 : 0x07);
        SetLastError(probe::Transcript::kUntouched);
        HBITMAP bm = CreateDIBitmap(mono ? nullptr : g.screen(), &bi.h, CBM_INIT, data.data(),
                                    reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
        const DWORD error = GetLastError();
        const std::string call = std::string("CreateDIBitmap(") + (mono ? "NULL, " : "screen, ") +
                                 (bpp == 8 ? "RLE8 " : "RLE4 ") + Str(w) + "x" + Str(h) + ", " + Str(colours) +
                                 " colours, " + Str(static_cast<int>(bi.h.biSizeImage)) + " bytes" +
                                 (malformed ? ", malformed" : "") + ")";
        t.Call(call.c_str(), probe::AsHandle(bm) + "  " + Pixels(g.screen(), bm), error);
        if (bm) DeleteObject(bm);
    }
    // Refused: no size, top-down, the compression of the other depth.
    const struct {
        const char* name;
        int bpp, height;
        DWORD compression, size;
    } refused[] = {{"RLE8 without biSizeImage", 8, 2, BI_RLE8, 0},
                   {"RLE8 top-down", 8, -2, BI_RLE8, 4},
                   {"RLE8 on 4 bits", 4, 2, BI_RLE8, 4},
                   {"RLE4 on 8 bits", 8, 2, BI_RLE4, 4},
                   {"RLE4 on 1 bit", 1, 2, BI_RLE4, 4}};
    for (const auto& r : refused) {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colours[256];
        } bi = {};
        bi.h = {sizeof bi.h, 3, r.height, 1, static_cast<WORD>(r.bpp), r.compression, r.size, 0, 0, 0, 0};
        const uint8_t data[] = {2, 1, 0, 1, 0, 0, 0, 0};
        SetLastError(probe::Transcript::kUntouched);
        HBITMAP bm =
            CreateDIBitmap(g.screen(), &bi.h, CBM_INIT, data, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
        const DWORD error = GetLastError();
        t.Call((std::string("CreateDIBitmap(screen, ") + r.name + ")").c_str(),
               probe::AsHandle(bm) + "  " + Pixels(g.screen(), bm), error);
        if (bm) DeleteObject(bm);
    }
}

// --- raster operations -------------------------------------------------------------------

// Every one of the 256 ROP3 codes over one colour source, destination and pattern.
PROBE_SCENARIO(gdi_rop3_all_codes)
{
    GdiScope g(t);
    Rng rng(0x6D1B0002);
    const std::vector<uint32_t> few = FewColours(rng, 4);
    const Picture src = RandomPicture(rng, 13, 6, few);
    const Picture dst = RandomPicture(rng, 13, 6, few);
    HBITMAP s = MakeColour(g.screen(), src);
    HBRUSH brush = RandomPatternBrush(g.screen(), rng, false);
    for (int index = 0; index < 256; ++index) {
        HBITMAP d = MakeColour(g.screen(), dst);
        Blt b{0, 0, 13, 6, 0, 0, 0, 0};
        b.rop = Rop3(index);
        b.brush = brush;
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("colour", b), r.first, r.second, g.screen(), d);
        DeleteObject(d);
    }
    DeleteObject(brush);
    DeleteObject(s);
}

// The common codes and a sample of the others, at random sizes and offsets (inside, across
// every edge, negative), with solid, colour-pattern and monochrome-pattern brushes.
PROBE_SCENARIO(gdi_rop3_random_geometry)
{
    GdiScope g(t);
    Rng rng(0x6D1B0003);
    for (int i = 0; i < 60; ++i) {
        const std::vector<uint32_t> few = FewColours(rng, 3);
        const int dw = rng.In(1, 29), dh = rng.In(1, 17), sw = rng.In(1, 29), sh = rng.In(1, 17);
        HBITMAP d = MakeColour(g.screen(), RandomPicture(rng, dw, dh, few));
        HBITMAP s = MakeColour(g.screen(), RandomPicture(rng, sw, sh, few));
        const int kind = rng.In(0, 2);
        HBRUSH brush =
            kind == 0 ? CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF)) : RandomPatternBrush(g.screen(), rng, kind == 2);
        Blt b{rng.In(-8, dw + 2),
              rng.In(-6, dh + 2),
              rng.In(0, 20),
              rng.In(0, 12),
              rng.In(-8, sw + 2),
              rng.In(-6, sh + 2),
              0,
              0};
        b.rop = i < 15 ? kNamedRops[i].rop : Rop3(rng.In(0, 255));
        b.brush = brush;
        b.dstText = Ref(rng.Next() & 0xFFFFFF);
        b.dstBk = Ref(rng.Next() & 0xFFFFFF);
        const auto r = Run(g.screen(), d, s, b);
        const char* what = kind == 0 ? "solid" : kind == 1 ? "pattern" : "mono-pattern";
        Record(t, Describe(what, b) + " onto " + Str(dw) + "x" + Str(dh) + " from " + Str(sw) + "x" + Str(sh), r.first,
               r.second, g.screen(), d, KnownFor(b, kind != 0));
        DeleteObject(brush);
        DeleteObject(s);
        DeleteObject(d);
    }
}

// Where the pattern lines up: a brush of 8x8 distinct pixels (and a monochrome one) over
// a picture, through BitBlt rectangles that either bitmap clips.
PROBE_SCENARIO(gdi_pattern_alignment)
{
    GdiScope g(t);
    Picture pat;
    pat.w = pat.h = 8;
    for (int i = 0; i < 64; ++i) pat.px.push_back(0x010101u * static_cast<uint32_t>(i * 4 + 1));
    HBITMAP patBitmap = MakeColour(g.screen(), pat);
    HBRUSH colourBrush = CreatePatternBrush(patBitmap);
    DeleteObject(patBitmap);
    const uint8_t monoBits[16] = {0x80, 0, 0x41, 0, 0x22, 0, 0x14, 0, 0x08, 0, 0xF0, 0, 0x0F, 0, 0x81, 0};
    HBITMAP monoPattern = CreateBitmap(8, 8, 1, 1, monoBits);
    HBRUSH monoBrush = CreatePatternBrush(monoPattern);
    DeleteObject(monoPattern);
    // Distinct source and destination pixels, so that every operation shows its inputs.
    Picture dst, src;
    dst.w = src.w = 13;
    dst.h = src.h = 11;
    for (uint32_t i = 0; i < 13 * 11; ++i) {
        dst.px.push_back(i * 0x0A0503u & 0xFFFFFF);
        src.px.push_back(i * 0x030507u ^ 0x5A3C96u);
    }
    struct Case {
        int dx, dy, dw, dh, sx, sy;
    };
    const Case cases[] = {{0, 0, 13, 11, 0, 0}, {3, 2, 9, 7, 0, 0}, {-3, -2, 9, 7, 0, 0}, {10, 9, 9, 7, 0, 0},
                          {3, 2, 9, 7, -2, -3}, {3, 2, 9, 7, 8, 6}, {10, 9, 17, 3, 2, 8}, {2, 4, 13, 9, 6, -1}};
    for (HBRUSH brush : {colourBrush, monoBrush})
        for (const Case& c : cases)
            for (DWORD rop : {PATCOPY, Rop3(0xFC), Rop3(0xD5)}) {
                HBITMAP d = MakeColour(g.screen(), dst);
                HBITMAP s = MakeColour(g.screen(), src);
                Blt b{c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, 0, 0};
                b.rop = rop;
                b.brush = brush;
                b.dstText = RGB(0x10, 0x20, 0x30);
                b.dstBk = RGB(0xC0, 0xB0, 0xA0);
                const auto r = Run(g.screen(), d, s, b);
                Record(t, Describe(brush == monoBrush ? "mono-pattern" : "pattern", b) + " from 13x11", r.first,
                       r.second, g.screen(), d, KnownFor(b, true));
                DeleteObject(s);
                DeleteObject(d);
            }
    DeleteObject(monoBrush);
    DeleteObject(colourBrush);
}

// A solid brush on a monochrome bitmap: which colours paint white, with the DC's text and
// background colours set to colours of the table or not.
PROBE_SCENARIO(gdi_mono_brush_colours)
{
    GdiScope g(t);
    const COLORREF colours[] = {RGB(0, 0, 0),          RGB(255, 255, 255),   RGB(127, 127, 127), RGB(128, 128, 128),
                                RGB(255, 0, 0),        RGB(0, 255, 0),       RGB(0, 0, 255),     RGB(200, 30, 90),
                                RGB(0x27, 0x8A, 0xBA), RGB(0x84, 0xC9, 0x85)};
    const COLORREF dcColours[][2] = {{RGB(0, 0, 0), RGB(255, 255, 255)},
                                     {RGB(0x84, 0xC9, 0x85), RGB(0x27, 0x8A, 0xBA)},
                                     {RGB(255, 255, 255), RGB(0, 0, 0)}};
    for (const auto& dcc : dcColours)
        for (COLORREF c : colours) {
            HBITMAP mono = CreateBitmap(2, 1, 1, 1, "\x40\x00");
            HBRUSH brush = CreateSolidBrush(c);
            std::string result;
            {
                MemDC dc(g.screen(), mono);
                SetTextColor(dc, dcc[0]);
                SetBkColor(dc, dcc[1]);
                HGDIOBJ old = SelectObject(dc, brush);
                PatBlt(dc, 0, 0, 1, 1, PATCOPY);
                BitBlt(dc, 1, 0, 1, 1, dc, 1, 0, MERGECOPY);  // P & D, D being 1 there
                SelectObject(dc, old);
                result = Hex(GetPixel(dc, 0, 0) & 1, 1) + Hex(GetPixel(dc, 1, 0) & 1, 1);
            }
            DeleteObject(brush);
            DeleteObject(mono);
            t.Value(("brush " + Hex(c, 6) + " with text " + Hex(dcc[0], 6) + " bk " + Hex(dcc[1], 6)).c_str(), result);
        }
}

// A transfer within one bitmap whose rectangles overlap, in each direction.
PROBE_SCENARIO(gdi_overlapping_copy)
{
    GdiScope g(t);
    Rng rng(0x6D1B0004);
    const Picture p = RandomPicture(rng, 24, 16, FewColours(rng, 5));
    for (int i = 0; i < 12; ++i) {
        HBITMAP bm = MakeColour(g.screen(), p);
        const int w = rng.In(4, 20), h = rng.In(3, 12);
        const int x = rng.In(0, 24 - w), y = rng.In(0, 16 - h);
        const int sx = x + rng.In(-3, 3), sy = y + rng.In(-3, 3);
        const DWORD rop = i % 3 == 2 ? SRCINVERT : SRCCOPY;
        BOOL ok;
        DWORD error;
        {
            MemDC dc(g.screen(), bm);
            SetLastError(probe::Transcript::kUntouched);
            ok = BitBlt(dc, x, y, w, h, dc, sx, sy, rop);
            error = GetLastError();
        }
        Record(t, "self BitBlt " + Rect(x, y, w, h) + " <- (" + Str(sx) + "," + Str(sy) + ") " + RopName(rop), ok,
               error, g.screen(), bm);
        DeleteObject(bm);
    }
}

// --- colour <-> monochrome -----------------------------------------------------------------

// Colour -> mono: a pixel equal to the source DC's background colour becomes 1 (white),
// every other pixel 0, then the ROP applies.
PROBE_SCENARIO(gdi_colour_to_mono)
{
    GdiScope g(t);
    Rng rng(0x6D1B0005);
    const DWORD rops[] = {SRCCOPY, SRCCOPY, SRCAND, SRCPAINT, SRCINVERT, NOTSRCCOPY, MERGEPAINT};
    for (int i = 0; i < 28; ++i) {
        const std::vector<uint32_t> few = FewColours(rng, 3);
        const int w = rng.In(1, 40), h = rng.In(1, 12);
        const Picture p = RandomPicture(rng, w, h, few);
        HBITMAP s = MakeColour(g.screen(), p);
        HBITMAP d = MakeMono(rng, w + rng.In(0, 9), h + rng.In(0, 3));
        Blt b{rng.In(-2, 4), rng.In(-2, 2), w, h, rng.In(-2, 2), rng.In(-1, 1), 0, 0};
        b.rop = rops[i % 7];
        // The background colour: one of the picture's, or one it does not have.
        const uint32_t bk = rng.OneIn(5) ? 0x00FFFFFE & rng.Next() : few[rng.Next() % few.size()];
        b.srcBk = Ref(bk);
        b.srcText = Ref(rng.Next() & 0xFFFFFF);  // plays no part
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("colour->mono", b) + " bk " + Hex(bk, 6), r.first, r.second, g.screen(), d);
        DeleteObject(d);
        DeleteObject(s);
    }
}

// Mono -> colour: 0 becomes the destination's text colour, 1 its background colour; and
// mono -> mono, where the colours play no part.
PROBE_SCENARIO(gdi_mono_to_colour)
{
    GdiScope g(t);
    Rng rng(0x6D1B0006);
    const DWORD rops[] = {SRCCOPY, SRCAND, SRCPAINT, SRCINVERT, SRCERASE, NOTSRCCOPY, MERGECOPY};
    for (int i = 0; i < 28; ++i) {
        const int w = rng.In(1, 40), h = rng.In(1, 12);
        HBITMAP s = MakeMono(rng, w, h);
        const bool toMono = i % 4 == 3;
        HBITMAP d = toMono ? MakeMono(rng, w + 3, h + 1)
                           : MakeColour(g.screen(), RandomPicture(rng, w + 3, h + 1, FewColours(rng, 4)));
        Blt b{rng.In(-2, 3), rng.In(-2, 1), w, h, rng.In(-1, 1), rng.In(-1, 1), 0, 0};
        b.rop = rops[i % 7];
        b.dstText = Ref(rng.Next() & 0xFFFFFF);
        b.dstBk = Ref(rng.Next() & 0xFFFFFF);
        b.srcText = Ref(rng.Next() & 0xFFFFFF);  // the source's colours play no part
        b.srcBk = Ref(rng.Next() & 0xFFFFFF);
        HBRUSH brush = b.rop == MERGECOPY ? CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF)) : nullptr;
        b.brush = brush;
        const auto r = Run(g.screen(), d, s, b);
        Record(t,
               Describe(toMono ? "mono->mono" : "mono->colour", b) + " text " + Hex(b.dstText, 6) + " bk " +
                   Hex(b.dstBk, 6),
               r.first, r.second, g.screen(), d);
        if (brush) DeleteObject(brush);
        DeleteObject(d);
        DeleteObject(s);
    }
}

// The transparent-drawing technique: a mask from the key colour (colour -> mono with the
// key as background), then SRCINVERT, SRCAND with the mask (mono -> colour, black text on
// white), SRCINVERT; 1:1 and stretched.
PROBE_SCENARIO(gdi_mask_technique)
{
    GdiScope g(t);
    Rng rng(0x6D1B0007);
    for (int i = 0; i < 10; ++i) {
        const bool stretched = i >= 6;
        const std::vector<uint32_t> few = FewColours(rng, 3);
        const int w = rng.In(2, 30), h = rng.In(2, 14);
        const Picture sprite = RandomPicture(rng, w, h, few);
        const uint32_t key = sprite.px[0];
        HBITMAP s = MakeColour(g.screen(), sprite);
        HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
        Blt m{0, 0, w, h, 0, 0, 0, 0};
        m.srcBk = Ref(key);
        auto r = Run(g.screen(), mask, s, m);
        Record(t, Describe("mask", m) + " key " + Hex(key, 6), r.first, r.second, g.screen(), mask);

        const int dw = stretched ? w * rng.In(1, 3) + rng.In(-1, 1) : w;
        const int dh = stretched ? h * 2 - rng.In(0, 1) : h;
        HBITMAP d = MakeColour(g.screen(), RandomPicture(rng, dw + 6, dh + 4, FewColours(rng, 4)));
        const int x = rng.In(-2, 6), y = rng.In(-2, 4);
        const DWORD steps[3] = {SRCINVERT, SRCAND, SRCINVERT};
        for (int k = 0; k < 3; ++k) {
            Blt b{x, y, dw, dh, 0, 0, w, h};
            b.rop = steps[k];
            b.stretch = stretched;
            b.dstText = RGB(0, 0, 0);
            b.dstBk = RGB(255, 255, 255);
            r = Run(g.screen(), d, k == 1 ? mask : s, b);
            Record(t, Describe(k == 1 ? "and-mask" : "xor-sprite", b), r.first, r.second, g.screen(), d);
        }
        DeleteObject(d);
        DeleteObject(mask);
        DeleteObject(s);
    }
}

// --- stretching --------------------------------------------------------------------------

// Shrinking and enlarging, each axis on its own, in the four modes, colour and mono; some
// mirrored (a negative width or height).
PROBE_SCENARIO(gdi_stretch_modes)
{
    GdiScope g(t);
    Rng rng(0x6D1B0008);
    const int modes[] = {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE};
    for (int i = 0; i < 64; ++i) {
        const int mode = modes[i % 4];
        const int kind = (i / 4) % 4;  // colour->colour, mono->mono, mono->colour, colour->mono
        const bool srcMono = kind == 1 || kind == 2, dstMono = kind == 1 || kind == 3;
        const int sw = rng.In(1, 24), sh = rng.In(1, 12);
        const std::vector<uint32_t> few = FewColours(rng, 3);
        HBITMAP s = srcMono ? MakeMono(rng, sw, sh) : MakeColour(g.screen(), RandomPicture(rng, sw, sh, few));
        auto scaled = [&](int n) {
            switch (rng.In(0, 3)) {
            case 0: return std::max(1, n / rng.In(2, 4));
            case 1: return n * rng.In(2, 3) + rng.In(0, 2);
            case 2: return rng.In(1, 40);
            default: return n;
            }
        };
        const int dw = scaled(sw), dh = scaled(sh);
        HBITMAP d = dstMono ? MakeMono(rng, dw + 2, dh + 2)
                            : MakeColour(g.screen(), RandomPicture(rng, dw + 2, dh + 2, FewColours(rng, 2)));
        Blt b{1, 1, dw, dh, 0, 0, sw, sh};
        if (i >= 48) {  // mirrored: on the destination, or on the source
            if (rng.OneIn(2)) {
                b.dx = dw;
                b.dw = -dw;
            } else {
                b.sx = sw - 1;
                b.sw = -sw;
            }
        }
        b.stretch = true;
        b.mode = mode;
        b.rop = rng.OneIn(4) ? SRCINVERT : SRCCOPY;
        b.srcBk = Ref(few[0]);
        b.dstText = Ref(rng.Next() & 0xFFFFFF);
        b.dstBk = Ref(rng.Next() & 0xFFFFFF);
        static const char* kKinds[] = {"colour->colour", "mono->mono", "mono->colour", "colour->mono"};
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe(kKinds[kind], b), r.first, r.second, g.screen(), d,
               dstMono && mode == HALFTONE ? "wine-halftone-onto-mono" : nullptr);
        DeleteObject(d);
        DeleteObject(s);
    }
}

// HALFTONE's weights, made visible: black and white source pixels side by side (and one
// above the other) stretched to several widths (heights); each destination pixel is the
// weight of the white pixel.
PROBE_SCENARIO(gdi_halftone_weights)
{
    GdiScope g(t);
    Picture across, down;
    across.w = down.h = 3;
    across.h = down.w = 1;
    across.px = down.px = {0x000000, 0xFFFFFF, 0x000000};
    // And halves: channels that go up by 1, down by 255, up by 253.
    Picture halves;
    halves.w = 3;
    halves.h = 1;
    halves.px = {0x10FF01, 0x1100FE, 0x10FF01};
    for (int m : {4, 6, 20, 40}) {
        HBITMAP s = MakeColour(g.screen(), halves);
        Picture blank;
        blank.w = m;
        blank.h = 1;
        blank.px.assign(static_cast<size_t>(m), 0x808080);
        HBITMAP d = MakeColour(g.screen(), blank);
        Blt b{0, 0, m, 1, 0, 0, m > 4 ? 3 : 2, 1};
        b.stretch = true;
        b.mode = HALFTONE;
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("halves", b), r.first, r.second, g.screen(), d);
        DeleteObject(d);
        DeleteObject(s);
    }
    // Clipped by the destination on the left, on the right, and both.
    for (int dx : {-5, 7, -3}) {
        HBITMAP s = MakeColour(g.screen(), halves);
        Picture blank;
        blank.w = dx == -3 ? 9 : 16;
        blank.h = 1;
        blank.px.assign(static_cast<size_t>(blank.w), 0x808080);
        HBITMAP d = MakeColour(g.screen(), blank);
        Blt b{dx, 0, 20, 1, 0, 0, 3, 1};
        b.stretch = true;
        b.mode = HALFTONE;
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("clipped halves", b), r.first, r.second, g.screen(), d, "halftone-clipped");
        DeleteObject(d);
        DeleteObject(s);
    }
    // Random colours across, the source shown too.
    Rng rng(0x6D1B000B);
    for (int m : {7, 13, 40, 61}) {
        Picture row;
        row.w = 6;
        row.h = 1;
        for (int i = 0; i < 6; ++i) row.px.push_back(rng.Next() & 0xFFFFFF);
        HBITMAP s = MakeColour(g.screen(), row);
        t.Value("   source", Pixels(g.screen(), s));
        Picture blank;
        blank.w = m;
        blank.h = 1;
        blank.px.assign(static_cast<size_t>(m), 0x808080);
        HBITMAP d = MakeColour(g.screen(), blank);
        Blt b{0, 0, m, 1, 0, 0, 6, 1};
        b.stretch = true;
        b.mode = HALFTONE;
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("random", b), r.first, r.second, g.screen(), d);
        DeleteObject(d);
        DeleteObject(s);
    }
    for (int n : {1, 2, 3}) {
        for (int m : {2, 3, 5, 8, 13, 20, 37}) {
            for (bool vertical : {false, true}) {
                HBITMAP s = MakeColour(g.screen(), vertical ? down : across);
                Picture blank;
                blank.w = vertical ? 1 : m;
                blank.h = vertical ? m : 1;
                blank.px.assign(static_cast<size_t>(m), 0x808080);
                HBITMAP d = MakeColour(g.screen(), blank);
                Blt b{0, 0, blank.w, blank.h, 0, 0, vertical ? 1 : n, vertical ? n : 1};
                b.stretch = true;
                b.mode = HALFTONE;
                const auto r = Run(g.screen(), d, s, b);
                Record(t, Describe(vertical ? "down" : "across", b), r.first, r.second, g.screen(), d);
                DeleteObject(d);
                DeleteObject(s);
            }
        }
    }
}

// Rectangles partly or wholly outside either bitmap, and empty ones.
PROBE_SCENARIO(gdi_clipping)
{
    GdiScope g(t);
    Rng rng(0x6D1B0009);
    const Picture sp = RandomPicture(rng, 16, 10, FewColours(rng, 6));
    const Picture dp = RandomPicture(rng, 20, 12, FewColours(rng, 6));
    struct Geometry {
        int dx, dy, dw, dh, sx, sy, sw, sh;
    };
    const Geometry cases[] = {
        {-5, -3, 10, 6, 0, 0, 0, 0},
        {15, 8, 10, 6, 0, 0, 0, 0},
        {-30, 0, 10, 6, 0, 0, 0, 0},
        {0, 20, 10, 6, 0, 0, 0, 0},
        {2, 2, 10, 6, -4, -2, 0, 0},
        {2, 2, 10, 6, 10, 7, 0, 0},
        {2, 2, 10, 6, 40, 0, 0, 0},
        {-3, -3, 30, 20, -2, -2, 0, 0},
        {2, 2, 0, 6, 0, 0, 0, 0},
        {2, 2, -4, 6, 0, 0, 0, 0},
        {2, 2, 4, -3, 0, 0, 0, 0},
        {19, 11, 1, 1, 15, 9, 0, 0},
        // stretched
        {-6, -2, 20, 12, 0, 0, 8, 5},
        {10, 6, 20, 12, 0, 0, 8, 5},
        {2, 2, 12, 8, -4, -2, 12, 8},
        {2, 2, 12, 8, 8, 5, 12, 8},
        {2, 2, 6, 4, -8, -5, 16, 10},
        {2, 2, 16, 8, 12, 6, 8, 8},
        {-4, -4, 8, 8, -2, -2, 4, 4},
        {2, 2, 10, 6, 0, 0, 0, 5},
    };
    for (const Geometry& c : cases) {
        HBITMAP s = MakeColour(g.screen(), sp);
        HBITMAP d = MakeColour(g.screen(), dp);
        Blt b{c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh};
        b.stretch = c.sw != 0 || c.sh != 0;
        const auto r = Run(g.screen(), d, s, b);
        Record(t, Describe("clip", b), r.first, r.second, g.screen(), d);
        DeleteObject(d);
        DeleteObject(s);
    }
}

// --- pixels, brushes and DC state ----------------------------------------------------------

PROBE_SCENARIO(gdi_pixels_and_brushes)
{
    GdiScope g(t);
    Rng rng(0x6D1B000A);
    HBITMAP bm = MakeColour(g.screen(), RandomPicture(rng, 9, 7, FewColours(rng, 3)));
    HBITMAP mono = MakeMono(rng, 9, 7);
    {
        MemDC dc(g.screen(), bm);
        MemDC mdc(g.screen(), mono);
        for (int i = 0; i < 8; ++i) {
            const int x = rng.In(-2, 10), y = rng.In(-2, 8);
            const COLORREF c = Ref(rng.Next() & 0xFFFFFF);
            const std::string at = "(" + Str(x) + "," + Str(y) + ", " + Hex(c, 6) + ")";
            SetLastError(probe::Transcript::kUntouched);
            const COLORREF set = SetPixel(dc, x, y, c);
            DWORD error = GetLastError();
            t.Call(("SetPixel" + at).c_str(), Hex(set, 8), error);
            SetLastError(probe::Transcript::kUntouched);
            const COLORREF got = GetPixel(dc, x, y);
            error = GetLastError();
            t.Call(("GetPixel(" + Str(x) + "," + Str(y) + ")").c_str(), Hex(got, 8), error);
            // On a monochrome bitmap a colour becomes black or white.
            SetLastError(probe::Transcript::kUntouched);
            const COLORREF monoSet = SetPixel(mdc, x, y, c);
            error = GetLastError();
            t.Call(("mono SetPixel" + at).c_str(), Hex(monoSet, 8) + " then " + Hex(GetPixel(mdc, x, y), 8), error);
        }
        // PatBlt and FillRect with solid and pattern brushes, across the edges.
        const DWORD rops[] = {PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS, Rop3(0xA0)};
        for (int i = 0; i < 12; ++i) {
            HBRUSH brush =
                i % 2 ? CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF)) : RandomPatternBrush(g.screen(), rng, i % 4 == 2);
            SetTextColor(dc, Ref(rng.Next() & 0xFFFFFF));
            SetBkColor(dc, Ref(rng.Next() & 0xFFFFFF));
            const int x = rng.In(-3, 8), y = rng.In(-3, 6), w = rng.In(-2, 12), h = rng.In(-2, 9);
            HGDIOBJ old = SelectObject(dc, brush);
            SetLastError(probe::Transcript::kUntouched);
            BOOL ok;
            std::string call;
            if (i % 3 == 2) {
                RECT rc = {x, y, x + w, y + h};
                ok = FillRect(dc, &rc, brush) != 0;
                call = "FillRect" + Rect(x, y, w, h);
            } else {
                const DWORD rop = rops[i % 6];
                ok = PatBlt(dc, x, y, w, h, rop);
                call = "PatBlt" + Rect(x, y, w, h) + " " + RopName(rop);
            }
            const DWORD error = GetLastError();
            SelectObject(dc, old);
            DeleteObject(brush);
            t.Call(call.c_str(), probe::AsBool(ok), error);
            // Read through a copy: the bitmap itself stays selected.
            HBITMAP copy = CreateCompatibleBitmap(g.screen(), 9, 7);
            {
                MemDC cdc(g.screen(), copy);
                BitBlt(cdc, 0, 0, 9, 7, dc, 0, 0, SRCCOPY);
            }
            t.Value("   pixels", Pixels(g.screen(), copy));
            DeleteObject(copy);
        }
    }
    DeleteObject(mono);
    DeleteObject(bm);
}

PROBE_SCENARIO(gdi_objects_and_state)
{
    GdiScope g(t);
    HDC dc = nullptr;
    PROBE_CALL(probe::AsHandle, dc = CreateCompatibleDC(g.screen()));
    PROBE_CALL(probe::AsInt, GetDeviceCaps(g.screen(), BITSPIXEL));
    PROBE_CALL(probe::AsInt, GetDeviceCaps(g.screen(), PLANES));
    PROBE_CALL(probe::AsInt, GetDeviceCaps(dc, BITSPIXEL));
    // A new memory DC holds the 1x1 monochrome stock bitmap, as does a compatible bitmap of
    // size 0.
    HBITMAP zero = nullptr, small = nullptr;
    PROBE_CALL(probe::AsHandle, zero = CreateCompatibleBitmap(g.screen(), 0, 0));
    BITMAP info = {};
    PROBE_CALL(probe::AsInt, GetObjectA(zero, sizeof info, &info));
    t.Value("   zero-size bitmap", Str(info.bmWidth) + "x" + Str(info.bmHeight) + "x" + Str(info.bmBitsPixel));
    PROBE_CALL(probe::AsHandle, small = CreateCompatibleBitmap(g.screen(), 3, 2));
    HGDIOBJ stock = nullptr;
    PROBE_CALL(probe::AsHandle, stock = SelectObject(dc, small));
    t.Check("the stock bitmap is the zero-size one", stock == zero);
    PROBE_CALL(probe::AsInt, GetObjectA(stock, sizeof info, &info));
    t.Value("   stock bitmap", Str(info.bmWidth) + "x" + Str(info.bmHeight) + "x" + Str(info.bmBitsPixel));
    // A bitmap selected into a DC is not deleted.
    PROBE_CALL(probe::AsBool, DeleteObject(small));
    PROBE_CALL(probe::AsInt, GetObjectA(small, sizeof info, &info));
    PROBE_CALL(probe::AsHandle, SelectObject(dc, stock) == small ? small : nullptr);
    PROBE_CALL_KNOWN("gdi-stale-handle-error", probe::AsBool, DeleteObject(small));
    PROBE_CALL_KNOWN("gdi-stale-handle-error", probe::AsInt, GetObjectA(small, sizeof info, &info));
    PROBE_CALL(probe::AsBool, DeleteObject(zero));  // the stock bitmap stays
    // The DC's colours and modes: each Set returns the previous value.
    PROBE_CALL(probe::AsInt, GetBkColor(dc));
    PROBE_CALL(probe::AsInt, GetTextColor(dc));
    PROBE_CALL(probe::AsInt, SetBkColor(dc, RGB(1, 2, 3)));
    PROBE_CALL(probe::AsInt, SetBkColor(dc, RGB(4, 5, 6)));
    PROBE_CALL(probe::AsInt, SetTextColor(dc, RGB(7, 8, 9)));
    PROBE_CALL(probe::AsInt, GetTextColor(dc));
    PROBE_CALL(probe::AsInt, GetBkMode(dc));
    PROBE_CALL(probe::AsInt, SetBkMode(dc, TRANSPARENT));
    PROBE_CALL(probe::AsInt, SetBkMode(dc, OPAQUE));
    PROBE_CALL(probe::AsInt, SetBkMode(dc, 7));
    PROBE_CALL(probe::AsInt, GetStretchBltMode(dc));
    PROBE_CALL(probe::AsInt, SetStretchBltMode(dc, HALFTONE));
    PROBE_CALL(probe::AsInt, SetStretchBltMode(dc, 0));
    PROBE_CALL(probe::AsInt, SetStretchBltMode(dc, 5));
    PROBE_CALL(probe::AsInt, GetStretchBltMode(dc));
    PROBE_CALL(probe::AsBool, DeleteDC(dc));
    PROBE_CALL(probe::AsBool, DeleteDC(dc));
}

// --- DIB sections ---------------------------------------------------------------------------

namespace {

// A 32-bpp DIB section (BI_RGB, or BI_BITFIELDS with the 0x00RRGGBB masks).
struct Section {
    HBITMAP bm = nullptr;
    uint32_t* bits = nullptr;
    int w = 0, h = 0;
    bool topDown = false;
    // Row y from the top, as the host sees it through the bits.
    uint32_t* Row(int y) const { return bits + static_cast<size_t>(topDown ? y : h - 1 - y) * w; }
};

struct SectionInfo {
    BITMAPINFOHEADER h;
    DWORD masks[3];
};

SectionInfo SectionHeader(int w, int h, int bpp, DWORD compression)
{
    SectionInfo info = {};
    info.h.biSize = sizeof info.h;
    info.h.biWidth = w;
    info.h.biHeight = h;
    info.h.biPlanes = 1;
    info.h.biBitCount = static_cast<WORD>(bpp);
    info.h.biCompression = compression;
    info.masks[0] = 0xFF0000;
    info.masks[1] = 0x00FF00;
    info.masks[2] = 0x0000FF;
    return info;
}

Section MakeSection(HDC screen, int w, int h, bool topDown, bool bitfields)
{
    SectionInfo info = SectionHeader(w, topDown ? -h : h, 32, bitfields ? BI_BITFIELDS : BI_RGB);
    Section s;
    void* bits = nullptr;
    s.bm = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    s.bits = static_cast<uint32_t*>(bits);
    s.w = w;
    s.h = h;
    s.topDown = topDown;
    return s;
}

// The picture written through the bits, top byte and all.
void WriteThroughBits(const Section& s, const Picture& p, Rng& rng)
{
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) s.Row(y)[x] = p.px[static_cast<size_t>(y) * p.w + x] | (rng.Next() & 0xFF000000u);
}

// What the host reads through the bits: a digest of the memory as it lies (or, with
// LKDIFF_GDI_PIXELS, the words top row first).
std::string BitsAsSeen(const Section& s)
{
    const size_t n = static_cast<size_t>(s.w) * s.h;
    if (!DumpPixels()) {
        const uint64_t d = Fnv(s.bits, n * 4);
        return "bits #" + Hex(static_cast<uint32_t>(d >> 32), 8) + Hex(static_cast<uint32_t>(d), 8);
    }
    std::string out = "bits";
    for (int y = 0; y < s.h; ++y) {
        out += " |";
        for (int x = 0; x < s.w; ++x) out += " " + Hex(s.Row(y)[x], 8);
    }
    return out;
}

std::string Orientation(const Section& s)
{
    return std::string(s.topDown ? "top-down " : "bottom-up ") + Str(s.w) + "x" + Str(s.h);
}

}  // namespace

// What CreateDIBSection makes and refuses, and what GetObjectA says of it.
PROBE_SCENARIO(gdi_dib_section_objects)
{
    GdiScope g(t);
    struct Case {
        const char* name;
        int w, h, bpp;
        DWORD compression;
        UINT usage;
        int planes;
        bool bgr;  // BI_BITFIELDS masks blue, green, red
        const char* known;
    };
    const Case cases[] = {
        {"32bpp BI_RGB bottom-up", 5, 3, 32, BI_RGB, DIB_RGB_COLORS, 1, false, nullptr},
        {"32bpp BI_RGB top-down", 5, -3, 32, BI_RGB, DIB_RGB_COLORS, 1, false, nullptr},
        {"32bpp BI_BITFIELDS bottom-up", 7, 2, 32, BI_BITFIELDS, DIB_RGB_COLORS, 1, false, nullptr},
        {"32bpp BI_BITFIELDS top-down", 1, -1, 32, BI_BITFIELDS, DIB_RGB_COLORS, 1, false, nullptr},
        {"32bpp DIB_PAL_COLORS", 3, 3, 32, BI_RGB, DIB_PAL_COLORS, 1, false, nullptr},
        {"1bpp", 9, 2, 1, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-depths"},
        {"4bpp", 9, 2, 4, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-depths"},
        {"8bpp", 9, 2, 8, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-depths"},
        {"16bpp", 9, 2, 16, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-depths"},
        {"24bpp", 9, 2, 24, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-depths"},
        {"32bpp bitfields blue-green-red", 9, 2, 32, BI_BITFIELDS, DIB_RGB_COLORS, 1, true, "dibsection-depths"},
        {"0bpp", 3, 3, 0, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"2bpp", 3, 3, 2, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"15bpp", 3, 3, 15, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"64bpp", 3, 3, 64, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"width 0", 0, 3, 32, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"height 0", 3, 0, 32, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"width -3", -3, 3, 32, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"2 planes", 3, 3, 32, BI_RGB, DIB_RGB_COLORS, 2, false, "dibsection-refusal-error"},
        {"RLE8", 3, 3, 8, BI_RLE8, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
        {"usage 2", 3, 3, 32, BI_RGB, 2, 1, false, "dibsection-refusal-error"},
        {"100000x100000", 100000, 100000, 32, BI_RGB, DIB_RGB_COLORS, 1, false, "dibsection-refusal-error"},
    };
    for (const Case& c : cases) {
        struct {
            SectionInfo s;
            RGBQUAD more[256];
        } info = {};
        info.s = SectionHeader(c.w, c.h, c.bpp, c.compression);
        info.s.h.biPlanes = static_cast<WORD>(c.planes);
        info.s.h.biSizeImage = c.compression == BI_RLE8 ? 4 : 0;
        if (c.bgr) std::swap(info.s.masks[0], info.s.masks[2]);
        void* bits = reinterpret_cast<void*>(1);
        SetLastError(probe::Transcript::kUntouched);
        HBITMAP bm = CreateDIBSection(g.screen(), reinterpret_cast<BITMAPINFO*>(&info), c.usage, &bits, nullptr, 0);
        const DWORD error = GetLastError();
        t.Call((std::string("CreateDIBSection(") + c.name + ")").c_str(),
               probe::AsHandle(bm) + " bits " + probe::AsPointer(bits), error, c.known);
        // What Wine makes and winport refuses has no more lines, so that both stay aligned.
        if (!bm || c.known) {
            if (bm) DeleteObject(bm);
            continue;
        }
        DIBSECTION ds;
        std::memset(&ds, 0xAB, sizeof ds);
        const int got = GetObjectA(bm, sizeof ds, &ds);
        const BITMAPINFOHEADER& bh = ds.dsBmih;
        t.Value("   DIBSECTION",
                Str(got) + ": " + Str(ds.dsBm.bmType) + " " + Str(ds.dsBm.bmWidth) + "x" + Str(ds.dsBm.bmHeight) +
                    " widthBytes " + Str(ds.dsBm.bmWidthBytes) + " bpp " + Str(ds.dsBm.bmBitsPixel) + " bits " +
                    (ds.dsBm.bmBits == bits ? "as returned" : "other") + "; header " + Str(static_cast<int>(bh.biSize)) +
                    " " + Str(bh.biWidth) + "x" + Str(bh.biHeight) + " planes " + Str(bh.biPlanes) + " bpp " +
                    Str(bh.biBitCount) + " compression " + Str(static_cast<int>(bh.biCompression)) + " size " +
                    Str(static_cast<int>(bh.biSizeImage)) + "; masks " + Hex(ds.dsBitfields[0], 6) + " " +
                    Hex(ds.dsBitfields[1], 6) + " " + Hex(ds.dsBitfields[2], 6) + "; section " +
                    probe::AsPointer(ds.dshSection) + " offset " + Str(static_cast<int>(ds.dsOffset)),
                c.known);
        BITMAP info2 = {};
        PROBE_CALL(probe::AsInt, GetObjectA(bm, sizeof info2, &info2));
        t.Check("   BITMAP's bmBits are the section's", info2.bmBits == bits);
        PROBE_CALL(probe::AsInt, GetObjectA(bm, 0, nullptr));
        PROBE_CALL(probe::AsInt, GetObjectA(bm, sizeof(DIBSECTION) - 1, &ds));
        PROBE_CALL(probe::AsInt, GetObjectA(bm, sizeof(BITMAP) - 1, &ds));
        PROBE_CALL(probe::AsInt, GetObjectType(bm));
        DeleteObject(bm);
    }
    void* bits = nullptr;
    SectionInfo rgb = SectionHeader(4, 4, 32, BI_RGB);
    HBITMAP bm = nullptr;
    PROBE_CALL(probe::AsHandle,
               bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&rgb), DIB_RGB_COLORS, nullptr, nullptr, 0));
    DeleteObject(bm);
    PROBE_CALL_KNOWN("dibsection-refusal-error", probe::AsHandle,
                     bm = CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0));
    // A section of a file mapping.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, nullptr);
    SetLastError(probe::Transcript::kUntouched);
    bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&rgb), DIB_RGB_COLORS, &bits, mapping, 0);
    const DWORD error = GetLastError();
    t.Call("CreateDIBSection(32bpp, hSection = a mapping)", probe::AsHandle(bm) + " bits " + probe::AsPointer(bits),
           error, "dibsection-from-mapping");
    if (bm) DeleteObject(bm);
    CloseHandle(mapping);
    PROBE_CALL(probe::AsBool, GdiFlush());
    // A context holding a section makes bitmaps of its kind.
    for (bool bitfields : {false, true}) {
        Section s = MakeSection(g.screen(), 3, 2, true, bitfields);
        MemDC dc(g.screen(), s.bm);
        HBITMAP compatible = nullptr;
        PROBE_CALL(probe::AsHandle, compatible = CreateCompatibleBitmap(dc, 4, 3));
        DIBSECTION ds = {};
        const int got = GetObjectA(compatible, sizeof ds, &ds);
        t.Value("   compatible", Str(got) + ": " + Str(ds.dsBm.bmWidth) + "x" + Str(ds.dsBm.bmHeight) + " bpp " +
                                     Str(ds.dsBm.bmBitsPixel) + " bits " + probe::AsPointer(ds.dsBm.bmBits) +
                                     " compression " + Str(static_cast<int>(ds.dsBmih.biCompression)));
        if (ds.dsBm.bmBits) {
            // Which end of the memory the top row is.
            MemDC cdc(g.screen(), compatible);
            SetPixel(cdc, 0, 0, RGB(1, 2, 3));
            const uint32_t* words = static_cast<const uint32_t*>(ds.dsBm.bmBits);
            t.Value("   top-left pixel in memory", words[0] ? "first" : words[2 * 4] ? "last row" : "nowhere");
        }
        DeleteObject(compatible);
        PROBE_CALL(probe::AsHandle, compatible = CreateCompatibleBitmap(dc, 0, 3));
        BITMAP info = {};
        GetObjectA(compatible, sizeof info, &info);
        t.Value("   compatible 0x3", Str(info.bmWidth) + "x" + Str(info.bmHeight) + "x" + Str(info.bmBitsPixel));
        DeleteObject(compatible);
        DeleteObject(s.bm);
    }
}

// Pixels written through the bits read back by GetPixel and GetDIBits, and pixels set by
// SetPixel, PatBlt and FillRect read back through the bits; both orientations.
PROBE_SCENARIO(gdi_dib_section_pixels)
{
    GdiScope g(t);
    Rng rng(0x6D1B0020);
    for (int round = 0; round < 8; ++round) {
        const bool topDown = round % 2 == 1, bitfields = round % 4 >= 2;
        const int w = rng.In(1, 19), h = rng.In(1, 9);
        Section s = MakeSection(g.screen(), w, h, topDown, bitfields);
        const Picture p = RandomPicture(rng, w, h, FewColours(rng, 4));
        WriteThroughBits(s, p, rng);
        std::string seen;
        {
            MemDC dc(g.screen(), s.bm);
            for (int y = -1; y <= h; ++y)
                for (int x = -1; x <= w; ++x) seen += Hex(GetPixel(dc, x, y), 8) + (x == w ? "|" : " ");
        }
        t.Value(("GetPixel over " + Orientation(s) + " written through the bits").c_str(),
                DumpPixels() ? seen : "#" + Hex(static_cast<uint32_t>(Fnv(seen.data(), seen.size())), 8));
        t.Value("   GetDIBits", Pixels(g.screen(), s.bm));
        {
            MemDC dc(g.screen(), s.bm);
            for (int i = 0; i < 6; ++i) {
                const int x = rng.In(-1, w), y = rng.In(-1, h);
                SetPixel(dc, x, y, Ref(rng.Next() & 0xFFFFFF));
            }
            HBRUSH brush = CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF));
            HGDIOBJ old = SelectObject(dc, brush);
            PatBlt(dc, rng.In(-2, w), rng.In(-2, h), rng.In(0, 6), rng.In(0, 4), PATINVERT);
            PatBlt(dc, rng.In(-2, w), rng.In(-2, h), rng.In(0, 6), rng.In(0, 4), DSTINVERT);
            const RECT rc = {rng.In(-2, w), rng.In(-2, h), rng.In(0, w + 2), rng.In(0, h + 2)};
            FillRect(dc, &rc, brush);
            SelectObject(dc, old);
            DeleteObject(brush);
        }
        t.Value("   SetPixel, PatBlt, FillRect, seen through the bits", BitsAsSeen(s));
        DeleteObject(s.bm);
    }
}

// Transfers between sections and device bitmaps (colour and monochrome), both ways and
// section to section, through every raster operation: the 256 codes at one geometry, then
// the named ones and others at random geometry, plain and stretched; each result read
// through the destination's bits (when it is a section) and GetDIBits.
PROBE_SCENARIO(gdi_dib_section_transfers)
{
    GdiScope g(t);
    Rng rng(0x6D1B0021);
    enum Kind { kSectionBu, kSectionTd, kDdb, kMono };
    const char* const kKindNames[] = {"section(bottom-up)", "section(top-down)", "ddb", "mono"};
    struct Made {
        HBITMAP bm;
        Section s;  // bits when a section
    };
    auto make = [&](int kind, int w, int h) {
        Made m{};
        if (kind == kMono) {
            m.bm = MakeMono(rng, w, h);
            return m;
        }
        const Picture p = RandomPicture(rng, w, h, FewColours(rng, 3));
        if (kind == kDdb) {
            m.bm = MakeColour(g.screen(), p);
            return m;
        }
        m.s = MakeSection(g.screen(), w, h, kind == kSectionTd, rng.OneIn(2));
        WriteThroughBits(m.s, p, rng);
        m.bm = m.s.bm;
        return m;
    };
    HBRUSH brush = RandomPatternBrush(g.screen(), rng, false);
    for (int index = 0; index < 256; ++index) {
        const int from = index % 3 == 0 ? kDdb : kSectionBu + index % 2, to = index % 3 == 1 ? kDdb : kSectionTd;
        Made s = make(from, 11, 5), d = make(to, 11, 5);
        Blt b{0, 0, 11, 5, 0, 0, 0, 0};
        b.rop = Rop3(index);
        b.brush = brush;
        const auto r = Run(g.screen(), d.bm, s.bm, b);
        const std::string what = std::string(kKindNames[from]) + "->" + kKindNames[to];
        t.Call(Describe(what.c_str(), b).c_str(),
               probe::AsBool(r.first) + "  " + (d.s.bits ? BitsAsSeen(d.s) : Pixels(g.screen(), d.bm)), r.second);
        DeleteObject(d.bm);
        DeleteObject(s.bm);
    }
    DeleteObject(brush);
    const int modes[] = {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE};
    for (int i = 0; i < 72; ++i) {
        const int from = rng.In(0, 3), to = i % 2 ? kSectionBu + rng.In(0, 1) : rng.In(0, 3);
        const int sw = rng.In(1, 21), sh = rng.In(1, 11), dw = rng.In(1, 21), dh = rng.In(1, 11);
        Made s = make(from, sw, sh), d = make(to, dw, dh);
        const int kindOfBrush = rng.In(0, 2);
        HBRUSH pb = kindOfBrush == 0 ? CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF))
                                     : RandomPatternBrush(g.screen(), rng, kindOfBrush == 2);
        Blt b{rng.In(-4, dw), rng.In(-3, dh), rng.In(1, 18), rng.In(1, 10), rng.In(-2, sw), rng.In(-2, sh), 0, 0};
        b.rop = i < 30 ? kNamedRops[i % 15].rop : Rop3(rng.In(0, 255));
        b.brush = pb;
        b.stretch = i % 3 == 2;
        if (b.stretch) {
            b.sx = rng.In(0, sw - 1);
            b.sy = rng.In(0, sh - 1);
            b.sw = rng.In(1, sw - b.sx);
            b.sh = rng.In(1, sh - b.sy);
            b.mode = modes[rng.In(0, 3)];
            if (b.mode == HALFTONE) {  // inside the destination (see halftone-clipped)
                b.dx = rng.In(0, dw - 1);
                b.dy = rng.In(0, dh - 1);
                b.dw = rng.In(1, dw - b.dx);
                b.dh = rng.In(1, dh - b.dy);
            }
        }
        b.srcBk = Ref(rng.Next() & 0xFFFFFF);
        b.dstText = Ref(rng.Next() & 0xFFFFFF);
        b.dstBk = Ref(rng.Next() & 0xFFFFFF);
        const auto r = Run(g.screen(), d.bm, s.bm, b);
        const std::string what = std::string(kKindNames[from]) + "->" + kKindNames[to] + " " + Str(sw) + "x" + Str(sh) +
                                 "->" + Str(dw) + "x" + Str(dh);
        const char* known = KnownFor(b, kindOfBrush != 0);
        if (b.stretch && to == kMono && b.mode == HALFTONE) known = "wine-halftone-onto-mono";
        t.Call(Describe(what.c_str(), b).c_str(),
               probe::AsBool(r.first) + "  " + (d.s.bits ? BitsAsSeen(d.s) + " " : "") + Pixels(g.screen(), d.bm),
               r.second, known);
        DeleteObject(pb);
        DeleteObject(d.bm);
        DeleteObject(s.bm);
    }
}

// A host's own buffer onto a context: SetDIBits into bitmaps, SetDIBitsToDevice and
// StretchDIBits onto sections and device bitmaps, in every DIB format, by bands, clipped,
// with raster operations and stretch modes; RLE data unstretched.
PROBE_SCENARIO(gdi_dib_to_device)
{
    GdiScope g(t);
    Rng rng(0x6D1B0022);
    auto destination = [&](int kind, int w, int h, Section& s) -> HBITMAP {
        const Picture p = RandomPicture(rng, w, h, FewColours(rng, 3));
        if (kind == 2) return MakeColour(g.screen(), p);
        if (kind == 3) return MakeMono(rng, w, h);
        s = MakeSection(g.screen(), w, h, kind == 1, false);
        WriteThroughBits(s, p, rng);
        return s.bm;
    };
    const char* const kTo[] = {"section(bottom-up)", "section(top-down)", "ddb", "mono"};
    for (int i = 0; i < 54; ++i) {
        const DibFormat& f = kDibFormats[i % (sizeof kDibFormats / sizeof kDibFormats[0])];
        const bool topDown = rng.OneIn(2);
        const int w = rng.In(1, 17), h = rng.In(1, 9);
        Dib dib = RandomDib(rng, f, w, h, topDown, f.bpp <= 8 ? 1 << f.bpp : 0, true);
        // Room behind the rows: a top-down band may claim more scan lines than the DIB has.
        dib.bits.resize(dib.bits.size() * 2 + 64, 0x5A);
        const int kind = rng.In(0, 3);
        const int dw = rng.In(1, 15), dh = rng.In(1, 8);
        Section s;
        HBITMAP d = destination(kind, dw, dh, s);
        const int call = i % 3;
        std::string text;
        int got = 0;
        SetLastError(probe::Transcript::kUntouched);
        if (call == 0) {
            const UINT start = static_cast<UINT>(rng.In(0, h)), lines = static_cast<UINT>(rng.In(0, h + 1));
            got = SetDIBits(g.screen(), d, start, lines, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS);
            text = "SetDIBits(" + Str(static_cast<int>(start)) + ", " + Str(static_cast<int>(lines)) + ")";
        } else {
            MemDC dc(g.screen(), d);
            SetTextColor(dc, Ref(rng.Next() & 0xFFFFFF));
            SetBkColor(dc, Ref(rng.Next() & 0xFFFFFF));
            if (call == 1) {
                const int x = rng.In(-3, dw), y = rng.In(-3, dh), cx = rng.In(0, w + 1), cy = rng.In(0, h + 1);
                const int xs = rng.In(-1, w), ys = rng.In(-1, h);
                const UINT start = static_cast<UINT>(rng.In(0, h)), lines = static_cast<UINT>(rng.In(0, h + 1));
                // The band's scan lines are the first `lines` rows of the buffer.
                got = SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(cx), static_cast<DWORD>(cy), xs, ys, start, lines,
                                        dib.bits.data(), dib.bmi(), DIB_RGB_COLORS);
                text = "SetDIBitsToDevice" + Rect(x, y, cx, cy) + " <- (" + Str(xs) + "," + Str(ys) + ") scans " +
                       Str(static_cast<int>(start)) + "+" + Str(static_cast<int>(lines));
            } else {
                const int modes[] = {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE};
                const int mode = modes[rng.In(0, 3)];
                SetStretchBltMode(dc, mode);
                const int xs = rng.In(0, w - 1), ys = rng.In(0, h - 1);
                const int ws = rng.In(1, w - xs), hs = rng.In(1, h - ys);
                const int x = rng.In(-3, dw), y = rng.In(-3, dh);
                const int wd = rng.OneIn(3) ? ws : rng.In(1, 2 * dw), hd = rng.OneIn(3) ? hs : rng.In(1, 2 * dh);
                const DWORD rop = rng.OneIn(2) ? SRCCOPY : kNamedRops[rng.In(0, 14)].rop;
                HBRUSH brush = CreateSolidBrush(Ref(rng.Next() & 0xFFFFFF));
                HGDIOBJ old = SelectObject(dc, brush);
                got = StretchDIBits(dc, x, y, wd, hd, xs, ys, ws, hs, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS, rop);
                SelectObject(dc, old);
                DeleteObject(brush);
                text = "StretchDIBits" + Rect(x, y, wd, hd) + " <- " + Rect(xs, ys, ws, hs) + " " +
                       StretchModeName(mode) + " " + RopName(rop);
            }
        }
        const DWORD error = GetLastError();
        text += std::string(" ") + f.name + (topDown ? " top-down " : " bottom-up ") + Str(w) + "x" + Str(h) +
                " onto " + kTo[kind] + " " + Str(dw) + "x" + Str(dh);
        t.Call(text.c_str(), Str(got) + "  " + (s.bits ? BitsAsSeen(s) + " " : "") + Pixels(g.screen(), d), error);
        DeleteObject(d);
    }
    // RLE: runs over a section, the pixels no run sets left as they were.
    for (int i = 0; i < 24; ++i) {
        const int bpp = i % 2 ? 4 : 8;
        const int w = rng.In(1, 16), h = rng.In(1, 7);
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colours[256];
        } bi = {};
        const int colours = rng.In(1, 1 << bpp);
        bi.h = {sizeof bi.h,
                w,
                h,
                1,
                static_cast<WORD>(bpp),
                static_cast<DWORD>(bpp == 8 ? BI_RLE8 : BI_RLE4),
                0,
                0,
                0,
                static_cast<DWORD>(colours),
                0};
        for (int k = 0; k < colours; ++k) {
            const uint32_t c = rng.Next();
            bi.colours[k] = {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
        }
        const std::vector<uint8_t> data = RandomRle(rng, bpp, w, h, colours, false);
        bi.h.biSizeImage = static_cast<DWORD>(data.size());
        const int kind = rng.In(0, 3);
        const int dw = rng.In(2, 14), dh = rng.In(2, 8);
        Section s;
        HBITMAP d = destination(kind, dw, dh, s);
        std::string text;
        int got = 0;
        const char* known = nullptr;
        SetLastError(probe::Transcript::kUntouched);
        {
            MemDC dc(g.screen(), d);
            int x = rng.In(-2, dw - 1), y = rng.In(-2, dh - 1);
            int xs = rng.In(0, w - 1), ys = rng.In(0, h - 1);
            int cx = rng.In(1, w - xs), cy = rng.In(1, h - ys);
            const bool stretch = (i / 2) % 2 == 1;
            if (stretch) {
                // The whole picture at the origin: elsewhere Wine keeps the pixels that the runs
                // skip at the wrong place (and paints the skipped ones black).
                x = y = xs = ys = 0;
                cx = w;
                cy = h;
            }
            if (!stretch) {
                got = SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(cx), static_cast<DWORD>(cy), xs, ys, 0,
                                        static_cast<UINT>(h), data.data(), reinterpret_cast<BITMAPINFO*>(&bi),
                                        DIB_RGB_COLORS);
                text = "SetDIBitsToDevice" + Rect(x, y, cx, cy) + " <- (" + Str(xs) + "," + Str(ys) + ")";
            } else {
                const DWORD rop = i % 8 == 7 ? SRCINVERT : SRCCOPY;
                if (rop != SRCCOPY) known = "rle-stretch-rop";
                got = StretchDIBits(dc, x, y, cx, cy, xs, ys, cx, cy, data.data(), reinterpret_cast<BITMAPINFO*>(&bi),
                                    DIB_RGB_COLORS, rop);
                text = "StretchDIBits" + Rect(x, y, cx, cy) + " <- " + Rect(xs, ys, cx, cy) + " " + RopName(rop);
            }
        }
        const DWORD error = GetLastError();
        text += std::string(bpp == 8 ? " RLE8 " : " RLE4 ") + Str(w) + "x" + Str(h) + " onto " + kTo[kind] + " " +
                Str(dw) + "x" + Str(dh);
        t.Call(text.c_str(), Str(got) + "  " + (s.bits ? BitsAsSeen(s) + " " : "") + Pixels(g.screen(), d), error, known);
        DeleteObject(d);
    }
}
