// Bitmap images: one device-dependent bitmap with an optional logical palette, loaded from a
// bitmap file or a module's bitmap resource, drawn 1:1 or stretched, drawn with a key colour
// left out, turned by a quarter turn and tiled.
//
//   CImage img;
//   if (img.LoadImageA("back.bmp")) img.DrawImage(pDC, 0, 0, 0, 0, 0, 0, 0, 0);
//   sprite.TransBitBlt(pDC, 0x00030201, x, y, 0, 0, 0, 0, 0, 0);  // key: the top-left pixel
//
// Operations returning int give 1 for success and 0 for failure. Colours are COLORREF
// (0x00BBGGRR). One object serves one thread at a time; calls on an image, and on the
// image passed as src or dest, must not overlap. Exceptions of the framework (CFileException*
// from a failed read of the file, CResourceException* when no screen context can be had)
// pass out of LoadImageA to the caller, who calls Delete() on them.
//
// Choices of this implementation, and what it mends:
// - Copies share handles, and the last image that holds a handle deletes it. A
//   process-wide count of the images that hold each bitmap and palette handle (locked
//   inside): a copy (construction or assignment) adds one, Detach drops one without
//   deleting, DeleteBitmap, a refill and the destructor drop one and delete the handle when
//   none is left. So the hand-over "only one deletes, the other gives its handles up with
//   Detach" works whichever image gives up, and images that never give up delete each
//   handle once between them. Attach of a handle another image holds adds one as well. The
//   count is kept per handle, not per object: an image moved bit-wise (as an array class
//   moves its elements) keeps what it holds. A handle stored in m_hBitmap or m_hPalette by
//   hand, which the count has never seen, is held by that image alone: it deletes it.
// - Replacing or destroying a picture while BeginMemDC has its bitmap selected: before the
//   last holder deletes the bitmap, the bitmap that BeginMemDC displaced is selected back
//   into the paired context if GDI says that context still holds this bitmap. The context
//   and the displaced bitmap are remembered as handles at BeginMemDC, so the release never
//   reads m_pMemDC or m_pOldBitmap (the caller's CDC may be gone by then); a context that is
//   gone is simply not found. m_pMemDC and m_pOldBitmap stay as they are; EndMemDC still
//   uses them, so the CDC passed to BeginMemDC must live until EndMemDC or the next
//   BeginMemDC. A memDC that already holds a context keeps it (the bitmap is selected into
//   that one).
// - Files and resources are untrusted and never read beyond the bytes actually there:
//   . LoadImageA takes the info header as 40 bytes (its biSize is not used, and GDI is
//     given biSize 40); the colour table, the pixel offset and the rows that width, height
//     and depth need must lie inside the file. Accepted: BI_RGB, BI_BITFIELDS with 16 or 32
//     bits, and RLE8 (8 bits) and RLE4 (4 bits) bottom-up with biSizeImage bytes of runs
//     inside the file; other compressions are refused. A width of 0 or less, a height of 0,
//     more than 2^28 pixels (also for RLE, whose runs can cover any size), a depth other
//     than 1, 4, 8, 16, 24, 32, or a file of more than 1 GiB + 1 MiB are refused before the
//     pixel block is allocated. Refused: result 0, no trace beyond those of the fixed
//     failure paths, the previous picture, palette and sizes kept. The file is opened for
//     reading with writers shut out.
//   . LoadBitmapA checks the resource the same way against SizeofResource, with biSize 40,
//     108 or 124. GDI is given everything it reads before the pixels, copied from inside
//     the resource: the header, the three masks that follow a 40-byte BI_BITFIELDS header,
//     and the colour table; the pixels are read from behind all of them (behind the masks
//     too, where a bit-field bitmap has them). A refused resource gives "Error :
//     CImage::LoadBitmap() : bmpID = %d\n", result 0, and the previous picture kept.
//   . CreateDIBPalette reads the colour table where GDI has it: behind the header (108 or
//     124 bytes for those headers, else 40) and behind the masks of a 40-byte BI_BITFIELDS
//     header. Up to 8 bits it reads at most 2^biBitCount entries; deeper pictures get all
//     biClrUsed entries, up to 65535 (palNumEntries is a WORD), with PC_NOCOLLAPSE on 0 to 10
//     and from 246 up. *pnColors receives the full colour count. The table must be there,
//     as GDI requires of a BITMAPINFO; LoadBitmapA reads no more than its resource holds. A
//     NULL lpbi gives NULL and a count of 0.
// - CreateRotateBitmap with src being this object, or holding the same bitmap handle, is
//   refused with 0 and the trace "Error : CImage::CreateRotateBitmap() : source and dest
//   bitmap is same?\n"; the picture stays intact. The turn reads and writes whole rows
//   (GetDIBits, a transposition, CreateDIBitmap) when the picture and the screen have 32
//   bits per pixel, with the same pixels as a turn by GetPixel/SetPixel, which remains the
//   way for other depths.
// - Tiling never divides by zero nor draws with a missing context: TitleDrawImage draws
//   nothing (and returns 1) when pDC is NULL, no bitmap is loaded, the tile's width or
//   height is 0 or less, or nWidth or nHeight is 0 or less; TitleBitmap returns 0 when pDC
//   or lpRect is NULL (after its bitmap check), while a CDC that holds no context gets the
//   brush, a failing FillRect and 1; TitleCopyImage also returns 0 for a tile of height 0
//   (no trace).
// - Size arithmetic (the defaults, W - xSrc and the like) cannot overflow: results beyond
//   int are held at the nearest int.
#ifndef LOBBYKIT_IMAGE_H
#define LOBBYKIT_IMAGE_H

#include "LobbyKitExport.h"
#include "afxwin.h"

class LOBBYKIT_API CImage {
public:
    CImage();
    virtual ~CImage();
    CImage(const CImage& src);
    CImage& operator=(const CImage& src);

    // Loading, palettes, handles.
    void DeleteBitmap();
    int CreateBitmap(int nWidth, int nHeight);
    int LoadImageA(const char* lpszFileName);
    int LoadBitmapA(UINT bmpID, HINSTANCE hInstance);
    HPALETTE CreateDIBPalette(BITMAPINFO* lpbi, int* pnColors);
    void RealizePalette(CDC* pDC);
    int Attach(HBITMAP hBitmap);
    int Detach();

    // Plain drawing and copying.
    int DrawImage(CDC* pDC, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                  int nSrcWidth, int nSrcHeight);
    int CopyImage(CImage& dest, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                  int nSrcWidth, int nSrcHeight);
    int FillRect(CRect& rect, DWORD crColor);
    void Dump(CDC* pDC, CDC* pMemDC, int nWidth, int nHeight);
    int BeginMemDC(CDC& memDC, CDC* pDC);
    void EndMemDC();

    // Transparent drawing.
    int TransDraw(CDC* pDC, DWORD crTransparent, int x, int y, int xSrc, int ySrc, int nWidth,
                  int nHeight);
    int TransBitBlt(CDC* pDC, DWORD crTransparent, int x, int y, int nWidth, int nHeight,
                    int xSrc, int ySrc, int nSrcWidth, int nSrcHeight);
    int TransCopyImage(CImage& dest, DWORD crTransparent, int x, int y, int nWidth, int nHeight,
                       int xSrc, int ySrc, int nSrcWidth, int nSrcHeight);

    // Rotation and tiling.
    int CreateRotateBitmap(CImage& src, int nAngel);
    int TitleBitmap(CDC* pDC, RECT* lpRect);
    int TitleCopyImage(CImage& dest);
    int TitleDrawImage(CDC* pDC, int x, int y, int nWidth, int nHeight);

    HPALETTE m_hPalette;
    HBITMAP m_hBitmap;
    int m_nWidth;
    int m_nHeight;
    CDC* m_pMemDC;
    CBitmap* m_pOldBitmap;
};

#endif
