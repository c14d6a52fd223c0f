// CImage: plain drawing, copying, filling and lending the bitmap to a memory context.
#include "Image.h"

#include "ImageInternal.h"
#include "ImageHandles.h"

using namespace lobbykit::image;

int CImage::DrawImage(CDC* pDC, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc, int nSrcWidth, int nSrcHeight)
{
    if (!pDC) return 0;
    if (!m_hBitmap) {
        TRACE("Warning : CImage::DrawImage() : no bitmap loaded\n");
        return 0;
    }
    SelectedBitmap mem(pDC, m_hBitmap);
    ApplySizeDefaults(m_nWidth, m_nHeight, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight);
    if ((nWidth != 0 && nWidth != nSrcWidth) || (nHeight != 0 && nHeight != nSrcHeight)) {
        pDC->StretchBlt(x, y, nWidth, nHeight, &mem.dc, xSrc, ySrc, nSrcWidth, nSrcHeight, SRCCOPY);
    } else {
        pDC->BitBlt(x, y, nSrcWidth, nSrcHeight, &mem.dc, xSrc, ySrc, SRCCOPY);
    }
    return 1;
}

int CImage::CopyImage(CImage& dest, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc, int nSrcWidth,
                      int nSrcHeight)
{
    if (!m_hBitmap || !dest.m_hBitmap) {
        TRACE("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n");
        return 0;
    }
    if (m_hBitmap == dest.m_hBitmap) {
        TRACE("Error : CImage::CopyImage() : source or dest bitmap is same?\n");
        return 0;
    }
    if (nWidth == 0 || nHeight == 0) {
        nWidth = m_nWidth;
        nHeight = m_nHeight;
    }
    SelectedBitmap destMem(nullptr, dest.m_hBitmap);
    if (!destMem.dc.m_hDC) {
        TRACE("Error : CImage::CopyImage() : CreateCompatibleDC() failed.\n");
        return 1;
    }
    DrawImage(&destMem.dc, x, y, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight);
    return 1;
}

int CImage::FillRect(CRect& rect, DWORD crColor)
{
    if (!m_hBitmap) CreateBitmap(rect.Width(), rect.Height());
    SelectedBitmap mem(nullptr, m_hBitmap);
    HBRUSH hBrush = ::CreateSolidBrush(crColor);
    if (hBrush) {
        ::FillRect(mem.dc.m_hDC, &rect, hBrush);
        ::DeleteObject(hBrush);
    }
    return 1;
}

void CImage::Dump(CDC* pDC, CDC* pMemDC, int nWidth, int nHeight)
{
    // A hook between the steps of the transparent operations; nothing to do here.
    (void)pDC;
    (void)pMemDC;
    (void)nWidth;
    (void)nHeight;
}

int CImage::BeginMemDC(CDC& memDC, CDC* pDC)
{
    EndMemDC();
    m_pMemDC = &memDC;
    if (!memDC.m_hDC) memDC.CreateCompatibleDC(pDC);
    CBitmap picture;
    picture.m_hObject = m_hBitmap;
    m_pOldBitmap = memDC.SelectObject(&picture);
    picture.Detach();  // the picture stays this image's
    // Remembered by handles, so that releasing the picture later needs neither CDC.
    if (m_pOldBitmap) PairWith(m_hBitmap, memDC.m_hDC, m_pOldBitmap->m_hObject);
    return 1;
}

void CImage::EndMemDC()
{
    if (!m_pMemDC) return;
    Unpair(m_hBitmap, m_pMemDC->m_hDC);
    if (m_pOldBitmap) m_pMemDC->SelectObject(m_pOldBitmap);
    m_pMemDC = nullptr;
    m_pOldBitmap = nullptr;
}
