// Internal: validation of packed bitmaps (an info header, masks, a colour table, pixel rows
// or RLE data) from files and resources, before anything is allocated for them or any GDI
// call reads them. A layout that passes lies wholly inside the bytes given.
#ifndef LOBBYKIT_IMAGE_DIBCHECK_H
#define LOBBYKIT_IMAGE_DIBCHECK_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace lobbykit::image {

constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
// The largest bitmap file read: 2^28 pixels of 32 bits and room for headers and tables.
constexpr std::uint64_t kMaxFileBytes = (std::uint64_t{1} << 30) + (std::uint64_t{1} << 20);
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kMaskBytes = 12;  // the three masks of BI_BITFIELDS

struct DibLayout {
    BITMAPINFOHEADER header;    // a copy (the bytes may be unaligned)
    std::uint64_t nColors;      // the colour count as the loader computes it
    std::uint64_t pixelOffset;  // from the start of the packed bitmap
    std::uint64_t pixelBytes;   // what the rows need (stride x |height|), or the RLE data
};

// Bytes per row of a DIB (rows are padded to 4 bytes).
std::uint64_t DibStride(std::int64_t width, unsigned bitCount);

// The packed bitmap of a file (what follows its 14-byte file header), cb bytes long. The
// info header counts as 40 bytes whatever its biSize says; the colour count is biClrUsed or
// 2^bitCount; the pixels start at 40 + 4 x count for up to 8 bits per pixel, else at
// 40 + 4 x biClrUsed (+ 12 for BI_BITFIELDS).
bool CheckFileDib(const BYTE* p, std::uint64_t cb, DibLayout& out);

// A packed bitmap resource of cb bytes: biSize 40, 108 or 124; the colour count is
// 2^bitCount up to 8 bits (else 0), replaced by a non-zero biClrUsed; the pixels start
// behind the header, the masks that GDI reads behind a 40-byte BI_BITFIELDS header, and
// 4 x count bytes of colour table. Everything before the pixels is what GDI reads.
bool CheckResourceDib(const BYTE* p, std::uint64_t cb, DibLayout& out);

// The palette that CreateDIBPalette makes of a packed bitmap, from no more than cbInfo bytes
// at lpbi (the header, masks and colour table): the colour count (as LoadBitmapA computes
// it) goes to *pnColors; the entries are read where GDI has the colour table (behind the
// header and the masks of a 40-byte BI_BITFIELDS header), at most 2^bitCount of them up to
// 8 bits, at most 65535 (palNumEntries is a WORD), and only as many as lie inside cbInfo.
HPALETTE DibPalette(const BITMAPINFO* lpbi, std::uint64_t cbInfo, int* pnColors);

// What the file loader makes of a checked block (the packed bitmap of a file): its palette
// (NULL above 256 colours) and its bitmap, compatible with hdc. The bitmap is made with
// biSize set to 40 in the block, so that GDI finds the colour table where the layout has it.
HPALETTE CreateFilePalette(const BYTE* block, const DibLayout& layout);
HBITMAP CreateFileBitmap(HDC hdc, BYTE* block, const DibLayout& layout);

// A LOGPALETTE of n entries (n < 65536) from a colour table of RGBQUADs; with
// noCollapseEnds, entries 0 to 10 and from 246 up get PC_NOCOLLAPSE. NULL for n = 0.
HPALETTE PaletteFromTable(const BYTE* table, std::uint64_t n, bool noCollapseEnds);

}  // namespace lobbykit::image

#endif
