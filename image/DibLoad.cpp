#include <vector>

#include "DibCheck.h"

namespace lobbykit::image {

HPALETTE PaletteFromTable(const BYTE* table, std::uint64_t n, bool noCollapseEnds)
{
    if (n == 0) return nullptr;
    std::vector<BYTE> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        PALETTEENTRY& e = lp->palPalEntry[i];
        e.peBlue = table[4 * i];
        e.peGreen = table[4 * i + 1];
        e.peRed = table[4 * i + 2];
        // Entries 0 to 10 and from 246 up keep their own system-palette slots.
        e.peFlags = (noCollapseEnds && (i <= 10 || i >= 246)) ? PC_NOCOLLAPSE : 0;
    }
    return ::CreatePalette(lp);
}

HPALETTE CreateFilePalette(const BYTE* block, const DibLayout& layout)
{
    // Up to 256 colours the table lies between the header and the pixels (CheckFileDib).
    if (layout.nColors > 256) return nullptr;
    return PaletteFromTable(block + kInfoHeaderBytes, layout.nColors, false);
}

HBITMAP CreateFileBitmap(HDC hdc, BYTE* block, const DibLayout& layout)
{
    BITMAPINFOHEADER* bih = reinterpret_cast<BITMAPINFOHEADER*>(block);
    bih->biSize = kInfoHeaderBytes;
    return ::CreateDIBitmap(hdc, bih, CBM_INIT, block + layout.pixelOffset, reinterpret_cast<BITMAPINFO*>(block),
                            DIB_RGB_COLORS);
}

}  // namespace lobbykit::image
