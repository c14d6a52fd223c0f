// GDI objects and their handles; device contexts and their attributes; bitmaps, brushes and
// palettes as objects (their pixels are drawn by blit.cpp, their DIBs read by dib.cpp).
#include "winport/posix/gdi/gdi.h"

#include <algorithm>
#include <cstring>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/handle_table.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/user/user.h"

namespace winport {
namespace gdi {
namespace {

constexpr std::uint32_t kGdiHandleTag = 4;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
// Larger bitmaps are refused rather than allocated: no picture of a game needs 1 GiB.
constexpr std::size_t kMaxBitmapBytes = std::size_t(1) << 30;

// Never destroyed: objects may be released while the process exits.
HandleTable<Object>& Table()
{
    static HandleTable<Object>* table = new HandleTable<Object>(kGdiHandleTag);
    return *table;
}

struct Stock {
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Palette> palette;
    std::shared_ptr<Brush> brushes[NULL_BRUSH + 1];
    std::size_t count = 0;
};

std::shared_ptr<Object> MarkStock(std::shared_ptr<Object> object, Stock& stock)
{
    object->stock = true;
    Publish(object);
    ++stock.count;
    return object;
}

// The twenty static colours of Windows' default palette.
const BYTE kDefaultPalette[20][3] = {{0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
                                     {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
                                     {0xC0, 0xDC, 0xC0}, {0xA6, 0xCA, 0xF0}, {0xFF, 0xFB, 0xF0}, {0xA0, 0xA0, 0xA4},
                                     {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
                                     {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}};

Stock& Stocks()
{
    static Stock* stock = [] {
        Stock* s = new Stock;
        auto bitmap = std::make_shared<Bitmap>();
        bitmap->width = bitmap->height = 1;
        bitmap->bpp = 1;
        bitmap->stride = DdbStride(1, 1);
        bitmap->bits.reset(static_cast<std::uint8_t*>(std::calloc(1, bitmap->stride)));
        MarkStock(bitmap, *s);
        s->bitmap = bitmap;
        auto palette = std::make_shared<Palette>();
        for (const auto& c : kDefaultPalette) palette->entries.push_back({c[0], c[1], c[2], 0});
        MarkStock(palette, *s);
        s->palette = palette;
        const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                   RGB(64, 64, 64),    RGB(0, 0, 0),       0};
        for (int i = 0; i <= NULL_BRUSH; ++i) {
            auto brush = std::make_shared<Brush>();
            brush->style = i == NULL_BRUSH ? BS_NULL : BS_SOLID;
            brush->color = colors[i];
            MarkStock(brush, *s);
            s->brushes[i] = brush;
        }
        return s;
    }();
    return *stock;
}

Bitmap& ScreenSurface()
{
    static std::shared_ptr<Bitmap>* screen = new std::shared_ptr<Bitmap>(NewBitmap(kScreenWidth, kScreenHeight, 32));
    return **screen;
}

template <class T>
std::shared_ptr<T> FindKind(const void* handle, Kind kind)
{
    std::shared_ptr<Object> object = Find(handle);
    if (!object || object->kind != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
}

void Remove(Object& object) { Table().Remove(object.handle); }

HDC NewDc(bool screen)
{
    auto dc = std::make_shared<Dc>();
    dc->screen = dc->fromGetDC = screen;
    dc->bitmap = StockBitmap();
    dc->brush = StockBrush(WHITE_BRUSH);
    dc->palette = DefaultPalette();
    dc->paletteHandle = dc->palette->handle;
    HDC h = static_cast<HDC>(Publish(dc));
    if (!h) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return h;
}

HGDIOBJ SelectBitmap(Dc& dc, const std::shared_ptr<Bitmap>& bitmap)
{
    if (dc.screen) return Fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
    if (dc.bitmap == bitmap) return reinterpret_cast<HGDIOBJ>(bitmap->handle);
    if (!bitmap->stock && bitmap->selectedIn) return Fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
    std::shared_ptr<Bitmap> old = std::move(dc.bitmap);
    dc.bitmap = bitmap;
    if (!bitmap->stock) bitmap->selectedIn = &dc;
    old->selectedIn = nullptr;
    const std::uintptr_t oldHandle = old->handle;
    DropIfPending(*old);
    return reinterpret_cast<HGDIOBJ>(oldHandle);
}

HGDIOBJ SelectBrush(Dc& dc, const std::shared_ptr<Brush>& brush)
{
    std::shared_ptr<Brush> old = std::move(dc.brush);
    dc.brush = brush;
    ++brush->selections;
    --old->selections;
    const std::uintptr_t oldHandle = old->handle;
    if (old->selections == 0) DropIfPending(*old);
    return reinterpret_cast<HGDIOBJ>(oldHandle);
}

HBRUSH NewPatternBrush(const void* bitmapHandle)
{
    std::shared_ptr<Bitmap> bitmap = FindBitmap(bitmapHandle);
    if (!bitmap) return Fail<HBRUSH>(ERROR_INVALID_HANDLE, nullptr);
    auto brush = std::make_shared<Brush>();
    brush->style = BS_PATTERN;
    brush->patternHandle = reinterpret_cast<std::uintptr_t>(bitmapHandle);
    brush->pattern = CopyBitmap(*bitmap);
    if (!brush->pattern) return nullptr;
    HBRUSH h = static_cast<HBRUSH>(Publish(brush));
    return h ? h : Fail<HBRUSH>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
}

HBRUSH NewSolidBrush(COLORREF color)
{
    auto brush = std::make_shared<Brush>();
    brush->color = color;
    HBRUSH h = static_cast<HBRUSH>(Publish(brush));
    return h ? h : Fail<HBRUSH>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
}

HBITMAP PublishBitmap(std::shared_ptr<Bitmap> bitmap)
{
    if (!bitmap) return nullptr;
    HBITMAP h = static_cast<HBITMAP>(Publish(std::move(bitmap)));
    return h ? h : Fail<HBITMAP>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
}

}  // namespace

Bitmap& Dc::Surface() const { return screen ? ScreenSurface() : *bitmap; }

std::mutex& Lock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::shared_ptr<Object> Find(const void* handle)
{
    Stocks();
    return Table().Get(reinterpret_cast<std::uintptr_t>(handle));
}

std::shared_ptr<Bitmap> FindBitmap(const void* h) { return FindKind<Bitmap>(h, Kind::Bitmap); }
std::shared_ptr<Brush> FindBrush(const void* h) { return FindKind<Brush>(h, Kind::Brush); }
std::shared_ptr<Palette> FindPalette(const void* h) { return FindKind<Palette>(h, Kind::Palette); }
std::shared_ptr<Dc> FindDc(const void* h) { return FindKind<Dc>(h, Kind::Dc); }

void* Publish(std::shared_ptr<Object> object)
{
    Object& o = *object;
    o.handle = Table().Insert(std::move(object));
    return reinterpret_cast<void*>(o.handle);
}

std::shared_ptr<Bitmap> StockBitmap() { return Stocks().bitmap; }
std::shared_ptr<Palette> DefaultPalette() { return Stocks().palette; }
std::shared_ptr<Brush> StockBrush(int index) { return Stocks().brushes[index]; }

std::size_t DdbStride(int width, int bpp)
{
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp) + 15) / 16 * 2;
}

std::shared_ptr<Bitmap> NewBitmap(int width, int height, int bpp)
{
    const std::size_t stride = DdbStride(width, bpp);
    if (width <= 0 || height <= 0 || stride > kMaxBitmapBytes / static_cast<std::size_t>(height))
        return Fail<std::shared_ptr<Bitmap>>(ERROR_INVALID_PARAMETER, nullptr);
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bpp = bpp;
    bitmap->stride = stride;
    bitmap->bits.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(height), stride)));
    if (!bitmap->bits) return Fail<std::shared_ptr<Bitmap>>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    return bitmap;
}

std::shared_ptr<Bitmap> NewDibSection(int width, int height, DWORD compression, const BITMAPINFOHEADER* header)
{
    const bool bottomUp = height > 0;
    std::shared_ptr<Bitmap> bitmap = NewBitmap(width, bottomUp ? height : -height, 32);
    if (!bitmap) return nullptr;
    bitmap->bottomUp = bottomUp;
    auto section = std::make_unique<DIBSECTION>();
    *section = {};
    BITMAPINFOHEADER& h = section->dsBmih;
    if (header) h = *header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = bitmap->width;
    h.biHeight = bitmap->height;  // positive for both orientations, as Wine reports it
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = compression;
    h.biSizeImage = static_cast<DWORD>(bitmap->stride * static_cast<std::size_t>(bitmap->height));
    if (compression == BI_BITFIELDS) {
        section->dsBitfields[0] = 0xFF0000;
        section->dsBitfields[1] = 0xFF00;
        section->dsBitfields[2] = 0xFF;
    }
    section->dsBm = {0, bitmap->width, bitmap->height, static_cast<LONG>(bitmap->stride), 1, 32, nullptr};
    bitmap->section = std::move(section);
    return bitmap;
}

std::shared_ptr<Bitmap> CopyBitmap(const Bitmap& source)
{
    std::shared_ptr<Bitmap> copy = NewBitmap(source.width, source.height, source.bpp);
    if (!copy) return nullptr;
    // 32-bpp rows are as long in both layouts; the rows keep their order.
    std::memcpy(copy->bits.get(), source.bits.get(), source.stride * static_cast<std::size_t>(source.height));
    copy->bottomUp = source.bottomUp;
    return copy;
}

int CompatibleBpp(const Dc& dc) { return dc.screen ? 32 : dc.bitmap->bpp; }

std::uint32_t ColorToPixel(const Dc& dc, COLORREF color)
{
    if ((color >> 24) == 1) {
        const std::vector<PALETTEENTRY>& e = dc.palette->entries;
        const std::size_t i = color & 0xFFFF;
        if (e.empty()) return 0;
        const PALETTEENTRY& p = e[i < e.size() ? i : 0];
        return RgbToPixel(RGB(p.peRed, p.peGreen, p.peBlue));
    }
    return RgbToPixel(color & 0xFFFFFF);
}

void DropIfPending(Object& object)
{
    if (object.deletePending && !object.stock) Remove(object);
}

void ReleaseSelections(Dc& dc)
{
    if (dc.bitmap) {
        dc.bitmap->selectedIn = nullptr;
        DropIfPending(*dc.bitmap);
        dc.bitmap.reset();
    }
    if (dc.brush) {
        if (--dc.brush->selections == 0) DropIfPending(*dc.brush);
        dc.brush.reset();
    }
    dc.palette.reset();
}

std::size_t LiveGdiObjectCount()
{
    const std::size_t stock = Stocks().count;  // made first: they are in the table
    return Table().LiveCount() - stock;
}

}  // namespace gdi
}  // namespace winport

using namespace winport;
using namespace winport::gdi;

namespace {

// The DC state that a Set call replaces and a Get call reads: the Set returns the old value,
// both fail with `failed` (ERROR_INVALID_HANDLE) for a handle that is not a DC, and a Set
// whose value `valid` refuses fails with `failed` (ERROR_INVALID_PARAMETER).
template <typename T>
T SetDcState(HDC hdc, T Dc::*state, T value, T failed, bool valid = true)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<T>(ERROR_INVALID_HANDLE, failed);
    if (!valid) return Fail<T>(ERROR_INVALID_PARAMETER, failed);
    const T old = (*dc).*state;
    (*dc).*state = value;
    return old;
}

template <typename T>
T GetDcState(HDC hdc, T Dc::*state, T failed)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    return dc ? (*dc).*state : Fail<T>(ERROR_INVALID_HANDLE, failed);
}

}  // namespace

extern "C" {

HDC WINAPI GetDC(HWND hWnd)
{
    if (hWnd && !IsWindow(hWnd)) return Fail<HDC>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    std::lock_guard<std::mutex> lock(Lock());
    return NewDc(true);
}

int WINAPI ReleaseDC(HWND, HDC hDC)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hDC);
    if (!dc || !dc->fromGetDC) return 0;
    ReleaseSelections(*dc);
    Table().Remove(dc->handle);
    return 1;
}

HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (hdc && !FindDc(hdc)) return Fail<HDC>(ERROR_INVALID_HANDLE, nullptr);
    return NewDc(false);
}

BOOL WINAPI DeleteDC(HDC hdc)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail(ERROR_INVALID_HANDLE, FALSE);
    ReleaseSelections(*dc);
    Table().Remove(dc->handle);
    return TRUE;
}

int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!FindDc(hdc)) return Fail(ERROR_INVALID_HANDLE, 0);
    switch (index) {
    case HORZRES: return kScreenWidth;
    case VERTRES: return kScreenHeight;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    // What a true-colour Windows display reports: blits, stretching and DIBs, no palette.
    case RASTERCAPS: return 0xBE99;
    case SIZEPALETTE: return 0;
    case NUMRESERVED: return 20;
    case COLORRES: return 24;
    default: return 0;
    }
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
    std::shared_ptr<Object> object = Find(h);
    if (!object || object->deletePending) return Fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
    switch (object->kind) {
    case Kind::Bitmap: return SelectBitmap(*dc, std::static_pointer_cast<Bitmap>(object));
    case Kind::Brush: return SelectBrush(*dc, std::static_pointer_cast<Brush>(object));
    default: return Fail<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);  // palettes: SelectPalette
    }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
    switch (type) {
    case OBJ_BITMAP: return reinterpret_cast<HGDIOBJ>(dc->bitmap->handle);
    case OBJ_BRUSH: return reinterpret_cast<HGDIOBJ>(dc->brush->handle);
    case OBJ_PAL: return reinterpret_cast<HGDIOBJ>(dc->paletteHandle);
    default: return Fail<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
    }
}

int WINAPI SetBkMode(HDC hdc, int mode)
{
    return SetDcState(hdc, &Dc::bkMode, mode, 0, mode == TRANSPARENT || mode == OPAQUE);
}

int WINAPI GetBkMode(HDC hdc) { return GetDcState(hdc, &Dc::bkMode, 0); }

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) { return SetDcState(hdc, &Dc::bkColor, color, CLR_INVALID); }

COLORREF WINAPI GetBkColor(HDC hdc) { return GetDcState(hdc, &Dc::bkColor, CLR_INVALID); }

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) { return SetDcState(hdc, &Dc::textColor, color, CLR_INVALID); }

COLORREF WINAPI GetTextColor(HDC hdc) { return GetDcState(hdc, &Dc::textColor, CLR_INVALID); }

int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    return SetDcState(hdc, &Dc::stretchMode, mode, 0, mode >= BLACKONWHITE && mode <= HALFTONE);
}

int WINAPI GetStretchBltMode(HDC hdc) { return GetDcState(hdc, &Dc::stretchMode, 0); }

BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lppt) *lppt = dc->brushOrg;
    dc->brushOrg = {x, y};
    return TRUE;
}

BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc || !lppt) return Fail(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE, FALSE);
    *lppt = dc->brushOrg;
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Object> object = Find(ho);
    if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (object->stock) return TRUE;
    switch (object->kind) {
    case Kind::Dc: ReleaseSelections(static_cast<Dc&>(*object)); break;
    case Kind::Bitmap:
        if (static_cast<Bitmap&>(*object).selectedIn) {
            object->deletePending = true;
            return TRUE;
        }
        break;
    case Kind::Brush:
        if (static_cast<Brush&>(*object).selections > 0) {
            object->deletePending = true;
            return TRUE;
        }
        break;
    case Kind::Palette: break;  // contexts keep their own reference
    }
    Remove(*object);
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int i)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (i >= WHITE_BRUSH && i <= NULL_BRUSH) return reinterpret_cast<HGDIOBJ>(StockBrush(i)->handle);
    if (i == DEFAULT_PALETTE) return reinterpret_cast<HGDIOBJ>(DefaultPalette()->handle);
    return nullptr;
}

DWORD WINAPI GetObjectType(HGDIOBJ h)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Object> object = Find(h);
    if (!object) return Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
    switch (object->kind) {
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Palette: return OBJ_PAL;
    case Kind::Dc: return static_cast<Dc&>(*object).screen ? OBJ_DC : OBJ_MEMDC;
    }
    return 0;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Object> object = Find(h);
    if (!object) return Fail(ERROR_INVALID_HANDLE, 0);
    switch (object->kind) {
    case Kind::Bitmap: {
        if (!pv) return sizeof(BITMAP);
        if (c < static_cast<int>(sizeof(BITMAP))) return 0;
        const Bitmap& b = static_cast<Bitmap&>(*object);
        if (b.section && c >= static_cast<int>(sizeof(DIBSECTION))) {
            DIBSECTION out = *b.section;
            out.dsBm.bmBits = b.bits.get();
            std::memcpy(pv, &out, sizeof out);
            return sizeof(DIBSECTION);
        }
        BITMAP out = {0,
                      b.width,
                      b.height,
                      static_cast<LONG>(b.stride),
                      1,
                      static_cast<WORD>(b.bpp),
                      b.section ? b.bits.get() : nullptr};
        std::memcpy(pv, &out, sizeof out);
        return sizeof(BITMAP);
    }
    case Kind::Brush: {
        if (!pv) return sizeof(LOGBRUSH);
        if (c < static_cast<int>(sizeof(LOGBRUSH))) return 0;
        const Brush& b = static_cast<Brush&>(*object);
        LOGBRUSH out = {b.style, b.color, b.patternHandle};
        std::memcpy(pv, &out, sizeof out);
        return sizeof(LOGBRUSH);
    }
    case Kind::Palette: {
        if (!pv) return sizeof(WORD);
        if (c < static_cast<int>(sizeof(WORD))) return 0;
        const WORD count = static_cast<WORD>(static_cast<Palette&>(*object).entries.size());
        std::memcpy(pv, &count, sizeof count);
        return sizeof(WORD);
    }
    case Kind::Dc: break;
    }
    return Fail(ERROR_INVALID_HANDLE, 0);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!hdc) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    std::shared_ptr<Dc> dc = FindDc(hdc);
    if (!dc) return Fail<HBITMAP>(ERROR_INVALID_HANDLE, nullptr);
    if (cx == 0 || cy == 0) return reinterpret_cast<HBITMAP>(StockBitmap()->handle);
    if (cx == INT32_MIN || cy == INT32_MIN) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    // A context that holds a DIB section makes sections of its format (bottom-up, as Wine).
    if (!dc->screen && dc->bitmap->section)
        return PublishBitmap(NewDibSection(cx < 0 ? -cx : cx, cy, dc->bitmap->section->dsBmih.biCompression, nullptr));
    return PublishBitmap(NewBitmap(cx < 0 ? -cx : cx, cy < 0 ? -cy : cy, CompatibleBpp(*dc)));
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (nPlanes != 1 || nBitCount == 0 || nBitCount > 32) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    if (nBitCount != 1 && nBitCount != 32) return Fail<HBITMAP>(ERROR_NOT_SUPPORTED, nullptr);
    if (nWidth == 0 || nHeight == 0) return reinterpret_cast<HBITMAP>(StockBitmap()->handle);
    if (nWidth == INT32_MIN || nHeight == INT32_MIN) return Fail<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    std::shared_ptr<Bitmap> bitmap =
        NewBitmap(nWidth < 0 ? -nWidth : nWidth, nHeight < 0 ? -nHeight : nHeight, static_cast<int>(nBitCount));
    // The initial bits are rows of bmWidthBytes, as the bitmap keeps them.
    if (bitmap && lpBits)
        std::memcpy(bitmap->bits.get(), lpBits, bitmap->stride * static_cast<std::size_t>(bitmap->height));
    return PublishBitmap(std::move(bitmap));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    std::lock_guard<std::mutex> lock(Lock());
    return NewSolidBrush(color);
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm)
{
    std::lock_guard<std::mutex> lock(Lock());
    return NewPatternBrush(hbm);
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!plbrush) return Fail<HBRUSH>(ERROR_INVALID_PARAMETER, nullptr);
    switch (plbrush->lbStyle) {
    case BS_SOLID: return NewSolidBrush(plbrush->lbColor);
    case BS_NULL: return reinterpret_cast<HBRUSH>(StockBrush(NULL_BRUSH)->handle);
    case BS_PATTERN:
    case BS_PATTERN8X8: return NewPatternBrush(reinterpret_cast<const void*>(plbrush->lbHatch));
    case BS_HATCHED:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: return Fail<HBRUSH>(ERROR_NOT_SUPPORTED, nullptr);
    default: return Fail<HBRUSH>(ERROR_INVALID_PARAMETER, nullptr);
    }
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* plpal)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!plpal) return Fail<HPALETTE>(ERROR_INVALID_PARAMETER, nullptr);
    auto palette = std::make_shared<Palette>();
    palette->entries.assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
    HPALETTE h = static_cast<HPALETTE>(Publish(palette));
    return h ? h : Fail<HPALETTE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
}

HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Dc> dc = FindDc(hdc);
    std::shared_ptr<Palette> palette = FindPalette(hPal);
    if (!dc || !palette) return Fail<HPALETTE>(ERROR_INVALID_HANDLE, nullptr);
    const std::uintptr_t old = dc->paletteHandle;
    dc->palette = std::move(palette);
    dc->paletteHandle = reinterpret_cast<std::uintptr_t>(hPal);
    return reinterpret_cast<HPALETTE>(old);
}

UINT WINAPI RealizePalette(HDC hdc)
{
    std::lock_guard<std::mutex> lock(Lock());
    // A true-colour surface has no system palette to map entries into.
    return FindDc(hdc) ? 0 : Fail<UINT>(ERROR_INVALID_HANDLE, GDI_ERROR);
}

UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries)
{
    std::lock_guard<std::mutex> lock(Lock());
    std::shared_ptr<Palette> palette = FindPalette(hpal);
    if (!palette) return Fail<UINT>(ERROR_INVALID_HANDLE, 0);
    const std::size_t count = palette->entries.size();
    if (!pPalEntries) return static_cast<UINT>(count);
    if (iStart >= count) return 0;
    const std::size_t n = std::min<std::size_t>(cEntries, count - iStart);
    std::memcpy(pPalEntries, palette->entries.data() + iStart, n * sizeof(PALETTEENTRY));
    return static_cast<UINT>(n);
}

DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags)
{
    if (hProcess != CurrentProcessHandle()) return Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
    if (uiFlags == GR_GDIOBJECTS) {
        std::lock_guard<std::mutex> lock(Lock());
        return static_cast<DWORD>(LiveGdiObjectCount());
    }
    if (uiFlags == GR_USEROBJECTS) return static_cast<DWORD>(LiveWindowCount());
    return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
}

}  // extern "C"
