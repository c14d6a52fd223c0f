// CImage: quarter turns and tiling.
#include "Image.h"

#include <cstdint>
#include <memory>
#include <new>

#include "ImageInternal.h"

using namespace lobbykit::image;

namespace {

// Turns a w x h picture of 32-bit pixels (rows top-down) into an h x w one: by 270 the
// source's top row becomes the left column (read upwards), by 90 its left column becomes the
// top row. Works in square blocks so that both buffers are walked in cache-sized pieces.
void Turn(const std::uint32_t* in, std::uint32_t* out, int w, int h, int nAngel)
{
    constexpr int kBlock = 32;
    for (int y0 = 0; y0 < h; y0 += kBlock) {
        const int y1 = y0 + kBlock < h ? y0 + kBlock : h;
        for (int x0 = 0; x0 < w; x0 += kBlock) {
            const int x1 = x0 + kBlock < w ? x0 + kBlock : w;
            for (int x = x0; x < x1; ++x) {
                // Output row of source column x: W-1-x for 270, x for 90; output column of
                // source row y: y for 270, H-1-y for 90.
                std::uint32_t* row = out + std::size_t(nAngel == 270 ? w - 1 - x : x) * h;
                const std::uint32_t* col = in + x;
                if (nAngel == 270) {
                    for (int y = y0; y < y1; ++y) row[y] = col[std::size_t(y) * w] & 0x00FFFFFF;
                } else {
                    for (int y = y0; y < y1; ++y) row[h - 1 - y] = col[std::size_t(y) * w] & 0x00FFFFFF;
                }
            }
        }
    }
}

BITMAPINFO TopDown32(int w, int h)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

// The turn by whole rows, into a new bitmap compatible with the screen: src is w x h and
// both src and the screen have 32 bits per pixel. The pixels are those of GetPixel/SetPixel
// (GetPixel gives no top byte, so none is carried over). NULL when it cannot be done so.
HBITMAP TurnByRows(HBITMAP hSrc, int w, int h, int nAngel)
{
    BITMAP bs;
    if (::GetObjectA(hSrc, sizeof bs, &bs) != sizeof bs || bs.bmBitsPixel != 32 || bs.bmWidth != w ||
        bs.bmHeight != h || w <= 0 || h <= 0)
        return nullptr;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    std::unique_ptr<std::uint32_t[]> in(new (std::nothrow) std::uint32_t[n]);
    std::unique_ptr<std::uint32_t[]> out(new (std::nothrow) std::uint32_t[n]);
    if (!in || !out) return nullptr;
    HDC hScreen = ::GetDC(nullptr);
    if (!hScreen) return nullptr;
    HBITMAP hTurned = nullptr;
    BITMAPINFO biIn = TopDown32(w, h);
    if (::GetDeviceCaps(hScreen, BITSPIXEL) == 32 &&
        ::GetDIBits(hScreen, hSrc, 0, h, in.get(), &biIn, DIB_RGB_COLORS) == h) {
        Turn(in.get(), out.get(), w, h, nAngel);
        BITMAPINFO biOut = TopDown32(h, w);
        hTurned = ::CreateDIBitmap(hScreen, &biOut.bmiHeader, CBM_INIT, out.get(), &biOut, DIB_RGB_COLORS);
    }
    ::ReleaseDC(nullptr, hScreen);
    return hTurned;
}

}  // namespace

int CImage::CreateRotateBitmap(CImage& src, int nAngel)
{
    if (nAngel != 90 && nAngel != 270) {
        TRACE("Error : CImage::CreateRotateBitmap() : nAngel == %d is invalid,only 90 and 270 supported\n", nAngel);
        return 0;
    }
    if (!src.m_hBitmap) {
        TRACE("Error : CImage::CreateRotateBitmap() : source bitmap is not loaded?\n");
        return 0;
    }
    // Discarding this picture would discard the source with it.
    if (&src == this || src.m_hBitmap == m_hBitmap) {
        TRACE("Error : CImage::CreateRotateBitmap() : source and dest bitmap is same?\n");
        return 0;
    }
    const int w = src.m_nWidth, h = src.m_nHeight;
    DeleteBitmap();
    if (HBITMAP hTurned = TurnByRows(src.m_hBitmap, w, h, nAngel)) {
        Attach(hTurned);
        return 1;
    }
    if (!CreateBitmap(h, w)) {
        TRACE("Error : CImage::CreateRotateBitmap() : CreateBitmap() failed\n");
        return 0;
    }

    SelectedBitmap from(nullptr, src.m_hBitmap);
    SelectedBitmap to(nullptr, m_hBitmap);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            const COLORREF c = from.dc.GetPixel(x, y);
            if (nAngel == 270) to.dc.SetPixel(y, w - 1 - x, c);
            else to.dc.SetPixel(h - 1 - y, x, c);
        }
    }
    return 1;
}

int CImage::TitleBitmap(CDC* pDC, RECT* lpRect)
{
    if (!m_hBitmap) {
        TRACE("Error : CImage::TitleBitmap() : bitmap is not loaded.\n");
        return 0;
    }
    // A CDC that holds no context gets the brush all the same; its FillRect fails.
    if (!pDC || !lpRect) return 0;
    LOGBRUSH lb = {};
    lb.lbStyle = BS_PATTERN;
    lb.lbHatch = reinterpret_cast<ULONG_PTR>(m_hBitmap);
    HBRUSH hBrush = ::CreateBrushIndirect(&lb);
    if (!hBrush) {
        TRACE("Error create brush\n");
        return 0;
    }
    ::FillRect(pDC->m_hDC, lpRect, hBrush);
    ::DeleteObject(hBrush);
    return 1;
}

int CImage::TitleCopyImage(CImage& dest)
{
    if (!m_hBitmap || !dest.m_hBitmap) {
        TRACE("Error : CImage::TitleCopyImage() : source or dest bitmap is not loaded?\n");
        return 0;
    }
    if (m_hBitmap == dest.m_hBitmap) {
        TRACE("Error : CImage::TitleCopyImage() : source or dest bitmap is same?\n");
        return 0;
    }
    if (m_nWidth == 0) {
        TRACE("Error : CImage::TitleCopyImage() : m_nWidth == 0\r\n");
        return 0;
    }
    if (m_nHeight == 0) return 0;
    SelectedBitmap target(nullptr, dest.m_hBitmap);
    TitleDrawImage(&target.dc, 0, 0, dest.m_nWidth, dest.m_nHeight);
    return 1;
}

int CImage::TitleDrawImage(CDC* pDC, int x, int y, int nWidth, int nHeight)
{
    const int w = m_nWidth, h = m_nHeight;
    if (!pDC || !pDC->m_hDC || !m_hBitmap || w <= 0 || h <= 0 || nWidth <= 0 || nHeight <= 0) return 1;
    const int columns = nWidth / w + (nWidth % w ? 1 : 0);
    const int rows = nHeight / h + (nHeight % h ? 1 : 0);
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < rows; ++r) {
            const std::int64_t tx = std::int64_t{c} * w, ty = std::int64_t{r} * h;
            // A cut tile is one pixel wider (taller) than the space left.
            const int tw = tx + w > nWidth ? ClampToInt(nWidth - tx + 1) : w;
            const int th = ty + h > nHeight ? ClampToInt(nHeight - ty + 1) : h;
            DrawImage(pDC, ClampToInt(x + tx), ClampToInt(y + ty), tw, th, 0, 0, tw, th);
        }
    }
    return 1;
}
