// CImage: the object, its handles, loading and palettes.
#include "Image.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "DibCheck.h"
#include "ImageOwner.h"
#include "afxfile.h"

using namespace lobbykit::image;


CImage::CImage()
    : m_hPalette(nullptr), m_hBitmap(nullptr), m_nWidth(0), m_nHeight(0), m_pMemDC(nullptr),
      m_pOldBitmap(nullptr)
{
}

CImage::~CImage()
{
    DeleteBitmap();
}

// A copy shares the handles without owning them (see Image.h).
CImage::CImage(const CImage& src)
    : m_hPalette(src.m_hPalette), m_hBitmap(src.m_hBitmap), m_nWidth(src.m_nWidth),
      m_nHeight(src.m_nHeight), m_pMemDC(src.m_pMemDC), m_pOldBitmap(src.m_pOldBitmap)
{
}

CImage& CImage::operator=(const CImage& src)
{
    if (this == &src) return *this;
    // What this image owns goes, unless the source holds the same handle: then this image
    // stays its owner.
    if (m_hBitmap != src.m_hBitmap && Owns(this, m_hBitmap)) {
        const HPALETTE hKeep = m_hPalette;
        m_hPalette = nullptr;
        DeleteBitmap();
        m_hPalette = hKeep;
    }
    if (m_hPalette != src.m_hPalette && Disown(this, m_hPalette)) ::DeleteObject(m_hPalette);
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
    if (m_hPalette && Disown(this, m_hPalette)) ::DeleteObject(m_hPalette);
    if (m_hBitmap && Disown(this, m_hBitmap)) {
        // A pairing of BeginMemDC may still hold the bitmap: give its context back the bitmap
        // it had, or GDI would keep ours alive and the context would hold a deleted handle.
        if (m_pMemDC && m_pOldBitmap && m_pMemDC->m_hDC && m_pOldBitmap->m_hObject) {
            HGDIOBJ hHeld = ::SelectObject(m_pMemDC->m_hDC, m_pOldBitmap->m_hObject);
            if (hHeld && hHeld != m_hBitmap) ::SelectObject(m_pMemDC->m_hDC, hHeld);
        }
        ::DeleteObject(m_hBitmap);
    }
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
    Own(this, m_hBitmap);
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
    Own(this, m_hPalette);

    CClientDC screen(nullptr);
    RealizePalette(&screen);
    m_hBitmap = CreateFileBitmap(screen.m_hDC, block.get(), layout);
    Own(this, m_hBitmap);
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
    HRSRC hRsrc = ::FindResourceA(hInstance, MAKEINTRESOURCEA(LOWORD(bmpID)),
                                  MAKEINTRESOURCEA(2));
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
    // The header and colour table, aligned for GDI (the resource bytes may not be).
    std::vector<std::uint32_t> info((layout.pixelOffset + 3) / 4);
    std::memcpy(info.data(), p, layout.pixelOffset);
    BITMAPINFO* bmi = reinterpret_cast<BITMAPINFO*>(info.data());

    // Point of replacement.
    DeleteBitmap();
    HDC hScreen = ::GetDC(nullptr);
    int nColors = 0;
    m_hPalette = CreateDIBPalette(bmi, &nColors);
    Own(this, m_hPalette);
    if (hScreen) {
        CDC screen;
        screen.Attach(hScreen);
        RealizePalette(&screen);
        screen.Detach();
    }
    m_hBitmap = ::CreateDIBitmap(hScreen, &bmi->bmiHeader, CBM_INIT, p + layout.pixelOffset, bmi,
                                 DIB_RGB_COLORS);
    Own(this, m_hBitmap);
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
    if (!lpbi) {
        if (pnColors) *pnColors = 0;
        return nullptr;
    }
    std::uint64_t nColors = 0;
    const std::uint64_t nRead = PaletteColorCount(lpbi->bmiHeader, nColors);
    if (pnColors) *pnColors = static_cast<int>(nColors);
    if (nColors == 0) return nullptr;
    // The table follows the 40-byte header.
    return PaletteFromTable(reinterpret_cast<const BYTE*>(lpbi) + kInfoHeaderBytes, nRead, true);
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
        // Already held: this image becomes (or stays) its owner; the palette goes.
        if (m_hPalette && Disown(this, m_hPalette)) ::DeleteObject(m_hPalette);
        m_hPalette = nullptr;
    } else {
        DeleteBitmap();
        m_hBitmap = hBitmap;
    }
    Own(this, m_hBitmap);
    m_nWidth = bm.bmWidth;
    m_nHeight = bm.bmHeight;
    return 1;
}

int CImage::Detach()
{
    if (!m_hBitmap) return 0;
    Disown(this, m_hBitmap);
    Disown(this, m_hPalette);
    m_hBitmap = nullptr;
    m_hPalette = nullptr;
    return 1;
}
