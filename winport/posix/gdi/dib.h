// Internal: a packed DIB is read only as far as its header says it reaches, and its header
// is checked (formats, sizes, overflow) before anything is read or allocated. (dib.cpp:
// CreateDIBitmap, CreateDIBSection, GetDIBits, SetDIBits; dibdevice.cpp draws DIBs onto
// contexts.)
#ifndef WINPORT_POSIX_GDI_DIB_H
#define WINPORT_POSIX_GDI_DIB_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "winport/posix/gdi/gdi.h"

namespace winport {
namespace gdi {

struct DibLayout {
    int width = 0;
    int height = 0;  // rows, always positive
    bool topDown = false;
    int bpp = 0;
    std::size_t stride = 0;              // bytes per row (rows padded to 32 bits)
    std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue (16 and 32 bpp)
    bool raw32 = false;                  // 32 bpp 0x00RRGGBB: rows copy as they are
    std::vector<std::uint32_t> colors;   // 2^bpp pixels for <= 8 bpp (unused indices black)
    DWORD compression = BI_RGB;          // BI_RLE8 and BI_RLE4: the data are runs (rle.h)
    std::size_t rleBytes = 0;            // their size (biSizeImage)
};

// Reads the header (and the masks and colour table behind it) of a DIB in DIB_RGB_COLORS
// form. Returns 0 or the Win32 error that refuses it.
DWORD ReadDibLayout(const BITMAPINFO* info, DibLayout& out);

// Decodes the DIB's rows into the bitmap (32 or 1 bpp), as far as both reach; the DIB's
// top row goes to row `top` of the bitmap (rows outside it are skipped). RLE data set only
// the pixels their runs reach.
void DecodeDib(const DibLayout& layout, const std::uint8_t* bits, Bitmap& out, int top = 0);

// n colour-table indices of the DIB as pixels of row y of `out`, from pixel x on (both
// inside the bitmap).
void PutIndices(const DibLayout& layout, const std::uint8_t* indices, int n, Bitmap& out, int y, int x);

}  // namespace gdi
}  // namespace winport

#endif
