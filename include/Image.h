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
// What a host relies on:
// - Copies of an image share its bitmap and palette handles; the last image holding a
//   handle deletes it, and Detach gives an image's handles up without deleting them.
// - The CDC passed to BeginMemDC must live until EndMemDC or the next BeginMemDC.
// - A load that fails keeps the previous picture, palette and sizes; files and resources
//   are never read beyond the bytes they hold.
// What the class chooses where the classic behaviour is open, and what it does safely where
// that behaviour would crash or read out of bounds: docs/behaviour.md, "Images".
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
    int DrawImage(CDC* pDC, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc, int nSrcWidth, int nSrcHeight);
    int CopyImage(CImage& dest, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc, int nSrcWidth, int nSrcHeight);
    int FillRect(CRect& rect, DWORD crColor);
    void Dump(CDC* pDC, CDC* pMemDC, int nWidth, int nHeight);
    int BeginMemDC(CDC& memDC, CDC* pDC);
    void EndMemDC();

    // Transparent drawing.
    int TransDraw(CDC* pDC, DWORD crTransparent, int x, int y, int xSrc, int ySrc, int nWidth, int nHeight);
    int TransBitBlt(CDC* pDC, DWORD crTransparent, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                    int nSrcWidth, int nSrcHeight);
    int TransCopyImage(CImage& dest, DWORD crTransparent, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                       int nSrcWidth, int nSrcHeight);

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
