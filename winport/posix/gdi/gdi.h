// gdi/: GDI objects live behind checked handles and every GDI call holds the one GDI lock while it touches them; built on kernel/ (and user/'s window count).
//
// Internal: bitmaps (plain 32-bpp 0x00RRGGBB or 1-bpp rows; DIB sections are bitmaps whose
// rows a host reads and writes too), brushes, palettes and device contexts (implemented in
// gdi.cpp); row kernels in raster.h, DIBs in dib.h, transfers in blit.h.
#ifndef WINPORT_POSIX_GDI_GDI_H
#define WINPORT_POSIX_GDI_GDI_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

namespace winport {
namespace gdi {

enum class Kind : std::uint8_t { Bitmap, Brush, Palette, Dc };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    const Kind kind;
    bool stock = false;
    // DeleteObject came while the object was selected: it goes when it is deselected.
    bool deletePending = false;
    // The object's own handle value (0 for objects that are in no table, as a brush's copy
    // of its pattern).
    std::uintptr_t handle = 0;
};

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    int bpp = 0;             // 1 or 32
    std::size_t stride = 0;  // bytes per row, as bmWidthBytes
    std::unique_ptr<std::uint8_t, FreeDeleter> bits;
    // The rows lie bottom row first (a bottom-up DIB section, or a copy of one).
    bool bottomUp = false;
    // A DIB section: what GetObjectA reports (dsBm.bmBits is bits.get()); null for others.
    std::unique_ptr<DIBSECTION> section;
    // The memory context it is selected into (stock bitmaps: none counted).
    const struct Dc* selectedIn = nullptr;

    std::uint8_t* Row(int y)
    {
        const int row = bottomUp ? height - 1 - y : y;
        return bits.get() + stride * static_cast<std::size_t>(row);
    }
    std::uint32_t* Row32(int y) { return reinterpret_cast<std::uint32_t*>(Row(y)); }
    std::uint8_t* Row1(int y) { return Row(y); }
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
    std::uintptr_t patternHandle = 0;  // the bitmap the pattern was made from (LOGBRUSH)
    std::shared_ptr<Bitmap> pattern;   // a private copy
    int selections = 0;                // contexts that have it selected
};

struct Palette : Object {
    Palette() : Object(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    bool screen = false;     // draws on the screen surface (GetDC)
    bool fromGetDC = false;  // ReleaseDC may delete it
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Palette> palette;
    std::uintptr_t paletteHandle = 0;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    POINT brushOrg = {0, 0};

    // The pixels the context draws on.
    Bitmap& Surface() const;
};

// The lock every GDI entry point holds.
std::mutex& Lock();

// Handle lookup: null when the value is not a live object of that kind.
std::shared_ptr<Object> Find(const void* handle);
std::shared_ptr<Bitmap> FindBitmap(const void* handle);
std::shared_ptr<Brush> FindBrush(const void* handle);
std::shared_ptr<Palette> FindPalette(const void* handle);
std::shared_ptr<Dc> FindDc(const void* handle);

// Puts an object into the table and returns its handle (null when the table is full).
void* Publish(std::shared_ptr<Object> object);

// The stock objects.
std::shared_ptr<Bitmap> StockBitmap();
std::shared_ptr<Palette> DefaultPalette();
std::shared_ptr<Brush> StockBrush(int index);

// A new black bitmap (1 or 32 bpp) of at least 1x1, in no table; null with the last error
// set when it is too large or cannot be allocated.
std::shared_ptr<Bitmap> NewBitmap(int width, int height, int bpp);
// Windows' row size of a device-dependent bitmap (rows padded to 16 bits).
std::size_t DdbStride(int width, int bpp);
// A new black 32-bpp DIB section (top-down when height < 0) with the given compression
// (BI_RGB or BI_BITFIELDS with the 0x00RRGGBB masks), in no table; null with the last error
// set when it is too large or cannot be allocated. `header` gives the fields GetObjectA
// reports as they were passed (resolution, colours used).
std::shared_ptr<Bitmap> NewDibSection(int width, int height, DWORD compression, const BITMAPINFOHEADER* header);
// A private copy of a bitmap's pixels, in no table (as a DDB, rows in the same order); null
// with the last error set when it cannot be allocated.
std::shared_ptr<Bitmap> CopyBitmap(const Bitmap& source);

// The bpp of bitmaps compatible with a context: 32 for the screen, else its bitmap's.
int CompatibleBpp(const Dc& dc);

// Pixel value of a COLORREF in the context (PALETTEINDEX takes the selected palette).
std::uint32_t ColorToPixel(const Dc& dc, COLORREF color);
inline std::uint32_t RgbToPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF PixelToRgb(std::uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }
// The nearest of black and white, as a monochrome word (all bits set for white).
inline std::uint32_t NearestMono(std::uint32_t pixel)
{
    const unsigned sum = ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
    return sum > 382 ? 0xFFFFFFFFu : 0u;
}

// Test hook: GDI objects (bitmaps, brushes, palettes, contexts) alive in this process, stock
// ones not counted; GetGuiResources(GR_GDIOBJECTS) reports the same.
std::size_t LiveGdiObjectCount();

// Lets the context drop its selections (and delete what was waiting for that).
void ReleaseSelections(Dc& dc);
// Removes a deselected object whose deletion was deferred.
void DropIfPending(Object& object);

}  // namespace gdi
}  // namespace winport

#endif
