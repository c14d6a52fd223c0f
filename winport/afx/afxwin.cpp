#include "afxwin.h"

// --- CGdiObject and its kinds ------------------------------------------------------------
CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ hObject)
{
    if (!hObject) return FALSE;
    if (m_hObject != hObject) DeleteObject();
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() noexcept
{
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject) return FALSE;
    return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int nCount, LPVOID lpObject) const
{
    return m_hObject ? ::GetObjectA(m_hObject, nCount, lpObject) : 0;
}

CBitmap::~CBitmap() = default;

BOOL CBitmap::CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits)
{
    return Attach(::CreateBitmap(nWidth, nHeight, nPlanes, nBitcount, lpBits));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight)
{
    return Attach(::CreateCompatibleBitmap(pDC ? pDC->m_hDC : nullptr, nWidth, nHeight));
}

int CBitmap::GetBitmap(BITMAP* pBitMap) const { return GetObject(sizeof(BITMAP), pBitMap); }

CBrush::CBrush(COLORREF crColor)
{
    if (!CreateSolidBrush(crColor)) AfxThrowResourceException();
}

CBrush::~CBrush() = default;

BOOL CBrush::CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }

BOOL CBrush::CreatePatternBrush(CBitmap* pBitmap)
{
    return pBitmap ? Attach(::CreatePatternBrush(static_cast<HBITMAP>(pBitmap->m_hObject))) : FALSE;
}

BOOL CBrush::CreateBrushIndirect(const LOGBRUSH* lpLogBrush)
{
    return lpLogBrush ? Attach(::CreateBrushIndirect(lpLogBrush)) : FALSE;
}

CPalette::~CPalette() = default;

BOOL CPalette::CreatePalette(LPLOGPALETTE lpLogPalette)
{
    return lpLogPalette ? Attach(::CreatePalette(lpLogPalette)) : FALSE;
}

UINT CPalette::GetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors) const
{
    return m_hObject ? ::GetPaletteEntries(static_cast<HPALETTE>(m_hObject), nStartIndex, nNumEntries, lpPaletteColors)
                     : 0;
}

// --- CDC ---------------------------------------------------------------------------------
CDC::CDC() noexcept : m_hDC(nullptr), m_release(Release::None), m_hWndOwner(nullptr) {}

CDC::~CDC()
{
    if (m_hDC) {
        if (m_release == Release::Delete) ::DeleteDC(m_hDC);
        else if (m_release == Release::ReleaseToWindow) ::ReleaseDC(m_hWndOwner, m_hDC);
    }
    // The temporary wrappers never own their handles.
    for (auto& w : m_temps) w->Detach();
}

BOOL CDC::Attach(HDC hDC)
{
    if (!hDC || m_hDC) return FALSE;
    m_hDC = hDC;
    m_release = Release::None;
    return TRUE;
}

HDC CDC::Detach() noexcept
{
    HDC h = m_hDC;
    m_hDC = nullptr;
    m_release = Release::None;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    if (m_hDC) return FALSE;
    m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
    if (!m_hDC) return FALSE;
    m_release = Release::Delete;
    return TRUE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

template <class T>
T* CDC::TempWrapper(HGDIOBJ h)
{
    if (!h) return nullptr;
    for (auto& w : m_temps) {
        if (w->m_hObject == h) {
            // A handle is one kind of object; a wrapper of another kind for it is replaced.
            if (T* t = dynamic_cast<T*>(w.get())) return t;
            w->Detach();
            auto fresh = std::make_unique<T>();
            fresh->m_hObject = h;
            w = std::move(fresh);
            return static_cast<T*>(w.get());
        }
    }
    auto fresh = std::make_unique<T>();
    fresh->m_hObject = h;
    T* t = fresh.get();
    m_temps.push_back(std::move(fresh));
    return t;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ hObject) { return (m_hDC && hObject) ? ::SelectObject(m_hDC, hObject) : nullptr; }

CBitmap* CDC::SelectObject(CBitmap* pBitmap)
{
    return TempWrapper<CBitmap>(SelectObject(pBitmap ? pBitmap->m_hObject : nullptr));
}

CBrush* CDC::SelectObject(CBrush* pBrush)
{
    return TempWrapper<CBrush>(SelectObject(pBrush ? pBrush->m_hObject : nullptr));
}

CGdiObject* CDC::SelectObject(CGdiObject* pObject)
{
    return TempWrapper<CGdiObject>(SelectObject(pObject ? pObject->m_hObject : nullptr));
}

CPalette* CDC::SelectPalette(CPalette* pPalette, BOOL bForceBackground)
{
    if (!m_hDC || !pPalette || !pPalette->m_hObject) return nullptr;
    return TempWrapper<CPalette>(::SelectPalette(m_hDC, static_cast<HPALETTE>(pPalette->m_hObject), bForceBackground));
}

UINT CDC::RealizePalette() { return ::RealizePalette(m_hDC); }

BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop)
{
    return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
}

BOOL CDC::StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, int nSrcWidth,
                     int nSrcHeight, DWORD dwRop)
{
    return ::StretchBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, nSrcWidth,
                        nSrcHeight, dwRop);
}

BOOL CDC::PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop)
{
    return ::PatBlt(m_hDC, x, y, nWidth, nHeight, dwRop);
}

void CDC::FillRect(LPCRECT lpRect, CBrush* pBrush)
{
    if (lpRect && pBrush) ::FillRect(m_hDC, lpRect, static_cast<HBRUSH>(pBrush->m_hObject));
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF crColor)
{
    if (!lpRect) return;
    HBRUSH hBrush = ::CreateSolidBrush(crColor);
    if (!hBrush) return;
    ::FillRect(m_hDC, lpRect, hBrush);
    ::DeleteObject(hBrush);
}

COLORREF CDC::GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
COLORREF CDC::SetPixel(int x, int y, COLORREF crColor) { return ::SetPixel(m_hDC, x, y, crColor); }
COLORREF CDC::GetBkColor() const { return ::GetBkColor(m_hDC); }
COLORREF CDC::SetBkColor(COLORREF crColor) { return ::SetBkColor(m_hDC, crColor); }
int CDC::GetBkMode() const { return ::GetBkMode(m_hDC); }
int CDC::SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
COLORREF CDC::GetTextColor() const { return ::GetTextColor(m_hDC); }
COLORREF CDC::SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
int CDC::GetStretchBltMode() const { return ::GetStretchBltMode(m_hDC); }
int CDC::SetStretchBltMode(int nStretchMode) { return ::SetStretchBltMode(m_hDC, nStretchMode); }
int CDC::GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hDC, nIndex); }

CClientDC::CClientDC(HWND hWnd)
{
    m_hDC = ::GetDC(hWnd);
    if (!m_hDC) AfxThrowResourceException();
    m_release = Release::ReleaseToWindow;
    m_hWndOwner = hWnd;
}

CClientDC::~CClientDC() = default;
