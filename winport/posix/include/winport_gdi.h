// Win32 GDI subset: device-dependent bitmaps (32 bpp and 1 bpp), the screen and memory
// device contexts, bit-block transfers with ROP3 codes, brushes, logical palettes and DIB
// conversion; with the few user32 calls that belong to them (GetDC, ReleaseDC, FillRect,
// GetGuiResources).
//
// Behaviour on Linux, where Windows leaves a choice or the layer supports less:
// - The screen is a 32-bpp surface of 1024 x 768 pixels, one per process, that every
//   GetDC(NULL) context draws on; GetDC of anything but NULL or a live window fails with
//   ERROR_INVALID_WINDOW_HANDLE. GetDeviceCaps reports BITSPIXEL 32, PLANES 1, HORZRES
//   1024, VERTRES 768, RASTERCAPS without RC_PALETTE, SIZEPALETTE 0, NUMCOLORS -1, as a
//   true-colour display does. Each GetDC returns a new context; ReleaseDC deletes it. A
//   window's context (GetDC of a live window) draws on the same surface: windows have no
//   pixels of their own here.
// - Bitmaps are 32 bpp (rows of 0x00RRGGBB, as a 32-bpp DIB stores them) or 1 bpp (rows
//   padded to 16 bits, bmWidthBytes as Windows reports it). CreateBitmap accepts 1 plane of
//   1 or 32 bits; depths from 2 to 31 fail with ERROR_NOT_SUPPORTED (Windows makes them but
//   cannot select them into a memory context), other planes and depths with
//   ERROR_INVALID_PARAMETER. Its initial bits are rows of bmWidthBytes. Negative sizes count as their absolute value; a
//   width or height of 0 gives the stock 1x1 monochrome bitmap, as on Windows. A bitmap of
//   more than 1 GiB fails with ERROR_INVALID_PARAMETER, one that cannot be allocated with
//   ERROR_NOT_ENOUGH_MEMORY. New bitmaps are black (all bits 0).
// - A memory context starts with the stock 1x1 monochrome bitmap, so that a bitmap made
//   compatible with it is monochrome, as on Windows. A bitmap can be selected into one
//   context at a time (a second SelectObject fails with ERROR_INVALID_HANDLE). DeleteObject
//   of a bitmap or brush that is selected into a context returns TRUE and defers the
//   deletion until the object is deselected or its context is deleted, as Wine does
//   (Windows documents a failure instead; either way the object stays usable while
//   selected). Deleting a stock object succeeds and does nothing.
// - GDI handles are checked: a stale, foreign or wrong-kind handle makes the call fail
//   (NULL, 0, FALSE, CLR_INVALID or GDI_ERROR as the call documents) with
//   ERROR_INVALID_HANDLE, without touching anything.
// - Colour conversions: colour to monochrome makes pixels equal to the source context's
//   background colour 1 and the others 0; monochrome to colour makes 1 the destination
//   context's background colour and 0 its text colour. SetPixel on a monochrome
//   bitmap, and GetDIBits/CreateDIBitmap colour tables, use the nearest of black and white
//   (white when red + green + blue > 382), as Wine does. Brush colours (solid, and the
//   pixels of colour patterns) are dithered onto a monochrome bitmap as Wine dithers them:
//   an 8x8 ordered matrix aligned to the brush origin against 64 levels of the luminance
//   (30 red + 59 green + 11 blue) / 100; black and white stay solid. COLORREF values are
//   RGB; PALETTEINDEX values take their colour from the context's selected palette; the top
//   byte is otherwise ignored. GetPixel outside the bitmap gives CLR_INVALID; SetPixel
//   outside sets nothing and returns the colour the pixel would have had, as Wine does. Raster operations keep all 32 bits of a
//   colour pixel (DSTINVERT sets the unused top byte, as on Windows); GetPixel ignores it.
// - BitBlt, StretchBlt and PatBlt take any of the 256 ROP3 codes. A negative width or height
//   covers the pixels from x + width + 1 to x (and StretchBlt mirrors when the source and
//   destination signs differ), as Wine does. Every transfer is clipped to both bitmaps: a
//   destination pixel whose source pixel lies outside the source bitmap is left alone.
// - StretchBlt selects pixels as Wine does: shrinking N source pixels to M, destination
//   pixel j stands for the source pixels from round(j*N/M) to round((j+1)*N/M) - 1 (halves
//   rounded up); enlarging, source pixel i fills the destination pixels from round(i*M/N)
//   to round((i+1)*M/N) - 1. BLACKONWHITE ANDs and WHITEONBLACK ORs the pixels of a group;
//   COLORONCOLOR keeps the last pixel of a group within a row and the first row of a group
//   of rows. Shrinking to a single pixel without mirroring leaves out the last source pixel,
//   as Wine does. Where a mirrored (negative) extent meets a source rectangle that reaches
//   outside the source bitmap, Wine clips in ways of its own (sometimes failing the call);
//   here the per-pixel rule above holds there too.
//   HALFTONE interpolates linearly (per channel, a row pass then a column pass) between the
//   source pixels around position j*N/M, computed as Wine does to the last bit: the position
//   is N/M in single precision added up pixel by pixel, a channel is a + (b - a) * f in
//   single precision with a half rounded up. A monochrome source reads as the colours of a
//   mono->colour transfer, then mixes. Onto a monochrome destination HALFTONE behaves as
//   COLORONCOLOR (Wine paints every pixel of a stretched rectangle 0 there). Wine moves the positions when the destination rectangle
//   reaches outside the destination bitmap (it stretches the clipped rectangles anew); here
//   they stay those of the whole rectangle, as in the other modes. The mode of the
//   destination context applies.
// - Pattern brushes copy their bitmap when they are made (the bitmap may be deleted after);
//   a monochrome pattern draws 1 in the destination's background colour and 0 in its text
//   colour. Patterns are aligned to the context's brush origin. Brush styles BS_SOLID,
//   BS_NULL and BS_PATTERN are supported; others fail with ERROR_NOT_SUPPORTED.
// - Palettes keep their entries and their selection; on the 32-bpp screen RealizePalette
//   maps nothing and returns 0, as on a true-colour Windows display.
// - CreateDIBitmap reads packed DIBs of 1, 4, 8, 16, 24 and 32 bits with BI_RGB, 16 and 32
//   bits with BI_BITFIELDS, bottom-up or top-down, with DIB_RGB_COLORS; headers of at least
//   40 to 124 bytes (BITMAPINFOHEADER and its V4/V5 extensions) are accepted. RLE8 (8 bits)
//   and RLE4 (4 bits) data are decoded as Wine decodes them, reading no more than their
//   biSizeImage bytes (the rules at the edges are in gdi/rle.h): pixels that no run sets
//   stay black; RLE data that are top-down, of another depth or of biSizeImage 0 fail with
//   ERROR_INVALID_PARAMETER, as in Wine. JPEG and PNG data (which Wine's CreateDIBitmap
//   refuses too), DIB_PAL_COLORS and core (12-byte) headers fail with ERROR_NOT_SUPPORTED;
//   an unknown depth or compression, BI_BITFIELDS on other than 16 or 32 bits, a negative
//   width or a size that overflows fail with ERROR_INVALID_PARAMETER. A width or height of 0 gives the stock bitmap.
//   biClrUsed above 2^biBitCount reads only 2^biBitCount entries; indices past the table
//   are black; biPlanes is not checked (as Wine). The result has the context's format
//   (a memory context's bitmap, 32 bpp for the screen, 1 bpp for no context). The colour
//   table and the pixel rows (biWidth x |biHeight|) are read exactly as far as the header
//   says; the caller must hold them (Windows has the same requirement).
// - GetDIBits writes 1-, 24- or 32-bit BI_RGB DIBs, bottom-up or top-down, and zeroes row
//   padding; other formats fail with ERROR_NOT_SUPPORTED. A query (lpvBits NULL and
//   biBitCount 0) reports the bitmap's own format with BI_RGB (Wine reports BI_BITFIELDS
//   for 32 bpp). The colour table of a 1-bit result is black and white.
// - CreateDIBSection makes 32-bpp sections only: BI_RGB, or BI_BITFIELDS with the masks
//   0xFF0000, 0xFF00, 0xFF; bottom-up or top-down; hSection NULL. The bits it returns are the
//   bitmap's own pixel rows (bmWidthBytes apart, bottom row first unless top-down, each
//   pixel 0x00RRGGBB): what a host writes there every GDI call reads, and what GDI draws
//   the host reads there, with no copy and no GdiFlush needed (GdiFlush returns TRUE).
//   They stay valid until the bitmap is deleted (a deletion while it is selected waits for
//   its context, as for any bitmap). Other depths, other masks and sections of a file
//   mapping fail with ERROR_NOT_SUPPORTED (Windows makes them); what Windows refuses (a
//   size of 0, a negative width, more than one plane, RLE or unknown formats, a usage
//   other than DIB_RGB_COLORS and DIB_PAL_COLORS) fails with ERROR_INVALID_PARAMETER, where
//   Wine leaves the last error alone. GetObjectA gives a BITMAP with bmBits for a buffer
//   of at least sizeof(BITMAP), a DIBSECTION for one of sizeof(DIBSECTION); its dsBmih
//   has the positive height and biSizeImage, dsBitfields the masks of a BI_BITFIELDS
//   section (else 0), as Wine reports them. CreateCompatibleBitmap of a context that holds
//   a DIB section makes a bottom-up section of the same format, as Wine does.
// - SetDIBits, SetDIBitsToDevice and StretchDIBits read the DIBs that CreateDIBitmap
//   reads. SetDIBits puts scan lines [start, start + cLines) of the DIB (placed at the
//   bitmap's top-left) into the bitmap. SetDIBitsToDevice takes cLines scan lines from
//   StartScan (the source rectangle's origin at its bottom-left for a bottom-up DIB) and
//   StretchDIBits a rectangle (from the bottom for bottom-up DIBs) with any raster
//   operation and the context's stretch mode; both return what Wine returns (the lines
//   kept; for StretchDIBits the DIB's height with SRCCOPY, its biHeight as given with other
//   operations, 0 when nothing of the source rectangle lies in the DIB). RLE8 and RLE4 data set only the pixels their runs reach; StretchDIBits
//   takes them unstretched with SRCCOPY only (others fail with ERROR_NOT_SUPPORTED). Onto
//   a monochrome bitmap SetDIBits and SetDIBitsToDevice give the nearest of black and
//   white, StretchDIBits white for white only, as Wine does.
// - GetGuiResources(process, GR_GDIOBJECTS) counts the GDI objects of this process that are
//   live: bitmaps, brushes, palettes and device contexts, stock objects not included.
#ifndef WINPORT_GDI_H
#define WINPORT_GDI_H

#include "winport_types.h"

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define PALETTEINDEX(i) ((COLORREF)(0x01000000 | (DWORD)(WORD)(i)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))

#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HANDLE)(LONG_PTR)-1)

// Raster operations (ROP3: the operation index in bits 16..23).
#define SRCCOPY (DWORD)0x00CC0020
#define SRCPAINT (DWORD)0x00EE0086
#define SRCAND (DWORD)0x008800C6
#define SRCINVERT (DWORD)0x00660046
#define SRCERASE (DWORD)0x00440328
#define NOTSRCCOPY (DWORD)0x00330008
#define NOTSRCERASE (DWORD)0x001100A6
#define MERGECOPY (DWORD)0x00C000CA
#define MERGEPAINT (DWORD)0x00BB0226
#define PATCOPY (DWORD)0x00F00021
#define PATPAINT (DWORD)0x00FB0A09
#define PATINVERT (DWORD)0x005A0049
#define DSTINVERT (DWORD)0x00550009
#define BLACKNESS (DWORD)0x00000042
#define WHITENESS (DWORD)0x00FF0062

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Stretch modes.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

// GetDeviceCaps indices and RASTERCAPS bits.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define RC_BITBLT 0x0001
#define RC_BITMAP64 0x0008
#define RC_DI_BITMAP 0x0080
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// Object types (GetObjectType, GetCurrentObject).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define DEFAULT_PALETTE 15

// Brush styles.
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define BS_PATTERN8X8 7

// DIBs.
#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define BI_JPEG 4L
#define BI_PNG 5L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04L

// Palette entry flags.
#define PC_RESERVED 0x01
#define PC_EXPLICIT 0x02
#define PC_NOCOLLAPSE 0x04

// GetGuiResources.
#define GR_GDIOBJECTS 0
#define GR_USEROBJECTS 1

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION, *PDIBSECTION, *LPDIBSECTION;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *PBITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE, *PLOGPALETTE, *LPLOGPALETTE;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

extern "C" {

// Device contexts.
WINPORT_API HDC WINAPI GetDC(HWND hWnd);
WINPORT_API int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
WINPORT_API HDC WINAPI CreateCompatibleDC(HDC hdc);
WINPORT_API BOOL WINAPI DeleteDC(HDC hdc);
WINPORT_API int WINAPI GetDeviceCaps(HDC hdc, int index);
WINPORT_API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
WINPORT_API HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);
WINPORT_API int WINAPI SetBkMode(HDC hdc, int mode);
WINPORT_API int WINAPI GetBkMode(HDC hdc);
WINPORT_API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
WINPORT_API COLORREF WINAPI GetBkColor(HDC hdc);
WINPORT_API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
WINPORT_API COLORREF WINAPI GetTextColor(HDC hdc);
WINPORT_API int WINAPI SetStretchBltMode(HDC hdc, int mode);
WINPORT_API int WINAPI GetStretchBltMode(HDC hdc);
WINPORT_API BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
WINPORT_API BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt);

// Objects.
WINPORT_API BOOL WINAPI DeleteObject(HGDIOBJ ho);
WINPORT_API HGDIOBJ WINAPI GetStockObject(int i);
WINPORT_API DWORD WINAPI GetObjectType(HGDIOBJ h);
WINPORT_API int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv);

// Bitmaps.
WINPORT_API HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
WINPORT_API HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits);
WINPORT_API HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits,
                                          const BITMAPINFO* pbmi, UINT iUsage);
WINPORT_API int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
                                 UINT usage);
WINPORT_API int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits,
                                 const BITMAPINFO* lpbmi, UINT ColorUse);
WINPORT_API HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                            HANDLE hSection, DWORD offset);
WINPORT_API BOOL WINAPI GdiFlush(void);

// Transfers and pixels.
WINPORT_API BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
WINPORT_API BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                                   int ySrc, int wSrc, int hSrc, DWORD rop);
WINPORT_API BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
WINPORT_API COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
WINPORT_API COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
WINPORT_API int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                                         UINT StartScan, UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi,
                                         UINT ColorUse);
WINPORT_API int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                                     int SrcWidth, int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi,
                                     UINT iUsage, DWORD rop);

// Brushes.
WINPORT_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
WINPORT_API HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm);
WINPORT_API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush);
WINPORT_API int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);

// Palettes.
WINPORT_API HPALETTE WINAPI CreatePalette(const LOGPALETTE* plpal);
WINPORT_API HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
WINPORT_API UINT WINAPI RealizePalette(HDC hdc);
WINPORT_API UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries);

// The count of live GDI objects (GR_GDIOBJECTS) of the calling process; other flags and
// other processes give 0 with ERROR_INVALID_PARAMETER.
WINPORT_API DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags);

}  // extern "C"

#endif
