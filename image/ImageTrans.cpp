// CImage: drawing with one key colour left out. The mask technique: the source rectangle
// becomes a monochrome mask (key pixels 1), then the target gets source XOR, mask AND,
// source XOR: where the mask is 1 the target keeps its pixel, elsewhere it gets the source's.
#include "Image.h"

#include "ImageInternal.h"

using namespace lobbykit::image;

namespace {

constexpr DWORD kAutoKey = 0x00030201;  // the key is the picture's top-left pixel

// A monochrome mask of the drawn size, in a context compatible with pCompatible, filled
// from the source rectangle (key pixels 1). Returns the transfer's result.
struct Mask {
    Mask(CDC* pCompatible, int nWidth, int nHeight)
        : bitmap(::CreateBitmap(nWidth, nHeight, 1, 1, nullptr)), mem(pCompatible, bitmap.get())
    {
    }
    TempBitmap bitmap;
    SelectedBitmap mem;
};

// What the mask and the transfers read: the picture's source rectangle, or, when the drawn
// size differs from it, a copy stretched to the drawn size (then read from (0, 0)). The key
// is taken from the picture first (the automatic key is its top-left pixel) and becomes the
// source's background colour, which makes key pixels 1 in the mask.
struct KeySource {
    // nStretchMode: the mode for the stretch, or 0 to leave the context's own.
    KeySource(CDC* pCompatible, HBITMAP hPicture, DWORD& crKey, int nWidth, int nHeight, int& xSrc, int& ySrc,
              int nSrcWidth, int nSrcHeight, int nStretchMode)
        : picture(pCompatible, hPicture)
    {
        if (crKey == kAutoKey) crKey = picture.dc.GetPixel(0, 0);
        if (nWidth != nSrcWidth || nHeight != nSrcHeight) {
            stretchBitmap.Reset(::CreateCompatibleBitmap(pCompatible->m_hDC, nWidth, nHeight));
            stretched.Open(pCompatible, stretchBitmap.get());
            const int nOldMode = nStretchMode ? stretched.dc.SetStretchBltMode(nStretchMode) : 0;
            stretched.dc.StretchBlt(0, 0, nWidth, nHeight, &picture.dc, xSrc, ySrc, nSrcWidth, nSrcHeight, SRCCOPY);
            if (nStretchMode) stretched.dc.SetStretchBltMode(nOldMode);
            picture.Restore();
            src = &stretched;
            xSrc = ySrc = 0;
        }
        src->dc.SetBkMode(TRANSPARENT);
        src->dc.SetBkColor(crKey);
    }
    SelectedBitmap picture;
    TempBitmap stretchBitmap{nullptr};
    SelectedBitmap stretched;
    SelectedBitmap* src = &picture;
};

}  // namespace

int CImage::TransDraw(CDC* pDC, DWORD crTransparent, int x, int y, int xSrc, int ySrc, int nWidth, int nHeight)
{
    if (!pDC) return 0;
    if (!m_hBitmap) {
        TRACE("Warning : CImage::TransBitBlt() : no bitmap loaded\n");
        return 0;
    }
    RestOfPicture(m_nWidth, m_nHeight, xSrc, ySrc, nWidth, nHeight);

    SelectedBitmap src(pDC, m_hBitmap);
    src.dc.SetBkMode(TRANSPARENT);
    src.dc.SetBkColor(crTransparent);

    Mask mask(pDC, nWidth, nHeight);
    if (!mask.bitmap.get()) TRACE("TransBitBlt() : can not Create mask bitmap\n");
    mask.mem.dc.BitBlt(0, 0, nWidth, nHeight, &src.dc, xSrc, ySrc, SRCCOPY);

    TempBitmap workBitmap(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
    SelectedBitmap work(pDC, workBitmap.get());
    work.dc.BitBlt(0, 0, nWidth, nHeight, pDC, x, y, SRCCOPY);
    work.dc.BitBlt(0, 0, nWidth, nHeight, &src.dc, xSrc, ySrc, SRCINVERT);
    work.dc.BitBlt(0, 0, nWidth, nHeight, &mask.mem.dc, 0, 0, SRCAND);
    work.dc.BitBlt(0, 0, nWidth, nHeight, &src.dc, xSrc, ySrc, SRCINVERT);
    pDC->BitBlt(x, y, nWidth, nHeight, &work.dc, 0, 0, SRCCOPY);
    return 1;
}

int CImage::TransBitBlt(CDC* pDC, DWORD crTransparent, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                        int nSrcWidth, int nSrcHeight)
{
    if (!pDC) return 0;
    if (!m_hBitmap) {
        TRACE("Error : CImage::TransBitBlt() : no bitmap loaded\n");
        return 0;
    }
    ApplySizeDefaults(m_nWidth, m_nHeight, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight);

    KeySource key(pDC, m_hBitmap, crTransparent, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight, 0);
    SelectedBitmap* src = key.src;

    Mask mask(pDC, nWidth, nHeight);
    if (!mask.mem.dc.BitBlt(0, 0, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCCOPY))
        TRACE("Error : [%d]CImage::TransBitBlt() : BitBlt() failed.\n", 465);
    Dump(pDC, &mask.mem.dc, nWidth, nHeight);

    TempBitmap workBitmap(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
    SelectedBitmap work(pDC, workBitmap.get());
    work.dc.BitBlt(0, 0, nWidth, nHeight, pDC, x, y, SRCCOPY);
    work.dc.BitBlt(0, 0, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCINVERT);
    Dump(pDC, &work.dc, nWidth, nHeight);
    work.dc.BitBlt(0, 0, nWidth, nHeight, &mask.mem.dc, 0, 0, SRCAND);
    Dump(pDC, &work.dc, nWidth, nHeight);
    mask.mem.Release();
    work.dc.BitBlt(0, 0, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCINVERT);
    Dump(pDC, &work.dc, nWidth, nHeight);
    src->Release();
    if (!pDC->BitBlt(x, y, nWidth, nHeight, &work.dc, 0, 0, SRCCOPY))
        TRACE("Error : [%d]CImage::TransBitBlt() : BitBlt() failed.\n", 494);
    return 1;
}

int CImage::TransCopyImage(CImage& dest, DWORD crTransparent, int x, int y, int nWidth, int nHeight, int xSrc, int ySrc,
                           int nSrcWidth, int nSrcHeight)
{
    if (!m_hBitmap || !dest.m_hBitmap) {
        TRACE("Error : CImage::CopyImage() : source or dest bitmap is not loaded?\n");
        return 0;
    }
    if (m_hBitmap == dest.m_hBitmap) {
        TRACE("Error : CImage::TransCopyImage() : source or dest bitmap is same?\n");
        return 0;
    }
    SelectedBitmap target(nullptr, dest.m_hBitmap);
    ApplySizeDefaults(m_nWidth, m_nHeight, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight);

    KeySource key(&target.dc, m_hBitmap, crTransparent, nWidth, nHeight, xSrc, ySrc, nSrcWidth, nSrcHeight, COLORONCOLOR);
    SelectedBitmap* src = key.src;

    Mask mask(&target.dc, nWidth, nHeight);
    if (!mask.mem.dc.BitBlt(0, 0, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCCOPY))
        TRACE("Error : [%d]CImage::TransBitBlt() : BitBlt() failed.\n", 647);
    Dump(&target.dc, &mask.mem.dc, nWidth, nHeight);

    target.dc.BitBlt(x, y, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCINVERT);
    target.dc.BitBlt(x, y, nWidth, nHeight, &mask.mem.dc, 0, 0, SRCAND);
    mask.mem.Release();
    target.dc.BitBlt(x, y, nWidth, nHeight, &src->dc, xSrc, ySrc, SRCINVERT);
    return 1;
}
