// CImage: the object, its handles, loading and palettes.
#include "Image.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "DibCheck.h"
#include "ImageHandles.h"
#include "afxfile.h"

using namespace lobbykit::image;

CImage::CImage()
    : m_hPalette(nullptr), m_hBitmap(nullptr), m_nWidth(0), m_nHeight(0), m_pMemDC(nullptr), m_pOldBitmap(nullptr)
{
}

CImage::~CImage() { DeleteBitmap(); }

// A copy shares the handles; each handle counts the images that hold it (ImageHandles.h).
CImage::CImage(const CImage& src)
    : m_hPalette(src.m_hPalette),
      m_hBitmap(src.m_hBitmap),
      m_nWidth(src.m_nWidth),
      m_nHeight(src.m_nHeight),
      m_pMemDC(src.m_pMemDC),
      m_pOldBitmap(src.m_pOldBitmap)
{
    HoldAlso(m_hPalette, true);
    HoldAlso(m_hBitmap, true);
}

CImage& CImage::operator=(const CImage& src)
{
    if (this == &src) return *this;
    // The source's handles gain a holder before this image lets its own go: they may be
    // the same.
    HoldAlso(src.m_hPalette, true);
    HoldAlso(src.m_hBitmap, true);
    DeleteBitmap();
    m_hPalette = src.m_hPalette;
    m_hBitmap = src.m_hBitmap;
    m_nWidth = src.m_nWidth;
    m_nHeight = src.m_nHeight;
    m_pMemDC = src.m_pMemDC;
    m_pOldBitmap = src.m_pOldBitmap;
    return *this;
}

void CImage::DeleteBitmap()
{
    // The last image that holds a handle deletes it (LetGo also takes a bitmap out of the
    // context BeginMemDC put it in, by handles: m_pMemDC may be gone).
    if (LetGo(m_hPalette)) ::DeleteObject(m_hPalette);
    if (LetGo(m_hBitmap)) ::DeleteObject(m_hBitmap);
    m_hPalette = nullptr;
    m_hBitmap = nullptr;
    m_nWidth = 0;
    m_nHeight = 0;
}

int CImage::CreateBitmap(int nWidth, int nHeight)
{
    DeleteBitmap();
    HDC hScreen = ::GetDC(nullptr);
    m_hBitmap = ::CreateCompatibleBitmap(hScreen, nWidth, nHeight);
    if (hScreen) ::ReleaseDC(nullptr, hScreen);
    HoldNew(m_hBitmap);
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    return m_hBitmap != nullptr;
}

int CImage::LoadImageA(const char* lpszFileName)
{
    CFile file;
    if (!file.Open(lpszFileName, CFile::modeRead | CFile::shareDenyWrite)) {
        TRACE("Error : CImage::LoadImage() : can open file %s\n", lpszFileName ? lpszFileName : "(null)");
        return 0;
    }
    BYTE fileHeader[kFileHeaderBytes];
    if (file.Read(fileHeader, sizeof fileHeader) < sizeof fileHeader) return 0;
    if (fileHeader[0] != 0x42 || fileHeader[1] != 0x4D) return 0;

    const DWORD length = file.GetLength();
    if (length < kFileHeaderBytes + kInfoHeaderBytes) return 0;
    const std::uint64_t n = length - kFileHeaderBytes;
    if (n > kMaxFileBytes) return 0;

    // The info header first, so that sizes the rest of the file cannot hold are refused
    // before the block is allocated.
    BYTE info[kInfoHeaderBytes];
    if (file.Read(info, sizeof info) < sizeof info) return 0;
    DibLayout layout;
    if (!CheckFileDib(info, n, layout)) return 0;

    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[n]);
    if (!block) return 0;
    std::memcpy(block.get(), info, sizeof info);
    const UINT rest = static_cast<UINT>(n - sizeof info);
    if (file.Read(block.get() + sizeof info, rest) < rest) return 0;

    // Point of replacement.
    DeleteBitmap();
    m_nWidth = layout.header.biWidth;
    m_nHeight = layout.header.biHeight;
    m_hPalette = CreateFilePalette(block.get(), layout);
    HoldNew(m_hPalette);

    CClientDC screen(nullptr);
    RealizePalette(&screen);
    m_hBitmap = CreateFileBitmap(screen.m_hDC, block.get(), layout);
    HoldNew(m_hBitmap);
    block.reset();
    if (!m_hBitmap) DeleteBitmap();
    return m_hBitmap != nullptr;
}

int CImage::LoadBitmapA(UINT bmpID, HINSTANCE hInstance)
{
    if (!hInstance) {
        TRACE("Error : hInstance = NULL?\n");
        return 0;
    }
    HRSRC hRsrc = ::FindResourceA(hInstance, MAKEINTRESOURCEA(LOWORD(bmpID)), MAKEINTRESOURCEA(2));
    if (!hRsrc) {
        TRACE("Error : CImage::LoadBitmap() : can not FindResource(%d)\n", bmpID);
        return 0;
    }
    HGLOBAL hRes = ::LoadResource(hInstance, hRsrc);
    const BYTE* p = hRes ? static_cast<const BYTE*>(::LockResource(hRes)) : nullptr;
    if (!p) {
        TRACE("Error : CImage::LoadBitmap() : failed to LoadResource() for BmpID = %d \n", bmpID);
        if (hRes) ::FreeResource(hRes);
        return 0;
    }
    const DWORD cb = ::SizeofResource(hInstance, hRsrc);
    DibLayout layout;
    if (!CheckResourceDib(p, cb, layout)) {
        TRACE("Error : CImage::LoadBitmap() : bmpID = %d\n", bmpID);
        ::FreeResource(hRes);
        return 0;
    }
    // Everything GDI reads before the pixels (header, masks, colour table), aligned (the
    // resource bytes may not be); the pixels stay where they are.
    std::vector<std::uint32_t> info((layout.pixelOffset + 3) / 4);
    std::memcpy(info.data(), p, layout.pixelOffset);
    BITMAPINFO* bmi = reinterpret_cast<BITMAPINFO*>(info.data());

    // Point of replacement.
    DeleteBitmap();
    HDC hScreen = ::GetDC(nullptr);
    int nColors = 0;
    m_hPalette = DibPalette(bmi, layout.pixelOffset, &nColors);
    HoldNew(m_hPalette);
    if (hScreen) {
        CDC screen;
        screen.Attach(hScreen);
        RealizePalette(&screen);
        screen.Detach();
    }
    m_hBitmap = ::CreateDIBitmap(hScreen, &bmi->bmiHeader, CBM_INIT, p + layout.pixelOffset, bmi, DIB_RGB_COLORS);
    HoldNew(m_hBitmap);
    if (hScreen) ::ReleaseDC(nullptr, hScreen);
    ::FreeResource(hRes);
    if (m_hBitmap) {
        BITMAP bm;
        if (::GetObjectA(m_hBitmap, sizeof bm, &bm)) {
            m_nWidth = bm.bmWidth;
            m_nHeight = bm.bmHeight;
        }
    } else {
        TRACE("Error : CImage::LoadBitmap() : bmpID = %d\n", bmpID);
    }
    return m_hBitmap != nullptr;
}

HPALETTE CImage::CreateDIBPalette(BITMAPINFO* lpbi, int* pnColors)
{
    // This operation does not touch the object; the caller owns the palette. Nothing says
    // how long the table is but the header.
    return DibPalette(lpbi, UINT64_MAX, pnColors);
}

void CImage::RealizePalette(CDC* pDC)
{
    if (!pDC) {
        TRACE("Error : CImage::RealizePalette() : pDC == NULL?\n");
        return;
    }
    if (!m_hPalette) return;
    HPALETTE hOld = ::SelectPalette(pDC->m_hDC, m_hPalette, FALSE);
    ::RealizePalette(pDC->m_hDC);
    if (hOld) ::SelectPalette(pDC->m_hDC, hOld, FALSE);
}

int CImage::Attach(HBITMAP hBitmap)
{
    // Other kinds of objects fill fewer bytes (a brush, a pen, a palette).
    BITMAP bm;
    if (!hBitmap || ::GetObjectA(hBitmap, sizeof bm, &bm) != static_cast<int>(sizeof bm)) {
        TRACE("Error : invalid hBimap\n");
        return 0;
    }
    if (hBitmap == m_hBitmap) {
        // Already held: letting it go first could delete it; only the palette goes.
        if (LetGo(m_hPalette)) ::DeleteObject(m_hPalette);
        m_hPalette = nullptr;
    } else {
        DeleteBitmap();
        m_hBitmap = hBitmap;
        HoldAlso(m_hBitmap, false);  // other images may hold it too
    }
    m_nWidth = bm.bmWidth;
    m_nHeight = bm.bmHeight;
    return 1;
}

int CImage::Detach()
{
    if (!m_hBitmap) return 0;
    GiveUp(m_hBitmap);
    GiveUp(m_hPalette);
    m_hBitmap = nullptr;
    m_hPalette = nullptr;
    return 1;
}
