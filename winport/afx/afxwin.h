// The framework's GDI classes that the image class and its hosts use: device contexts
// (CDC, CClientDC), GDI object wrappers (CGdiObject, CBitmap, CBrush, CPalette) and CRect,
// written over Win32 calls so that the same code serves Linux (through winport/posix) and
// Windows.
//
// Ownership:
// - A CGdiObject owns the handle it created or was given by Attach, and deletes it in its
//   destructor; Detach gives the handle up.
// - A CDC deletes its context in its destructor only when it made the context itself
//   (CreateCompatibleDC, or a CClientDC's GetDC, which it releases with ReleaseDC); a
//   context given by Attach stays the caller's.
// - SelectObject and SelectPalette return a wrapper of the object they displaced, as the
//   framework does. Those wrappers never own their handles and belong to the CDC that
//   returned them: they stay valid until that CDC is destroyed (not merely until DeleteDC),
//   and one wrapper per displaced handle is kept, so a context that swaps the same objects
//   in a loop does not grow.
#ifndef WINPORT_AFXWIN_H
#define WINPORT_AFXWIN_H

#include <windows.h>

#include <memory>
#include <vector>

#include "afx.h"

// --- CRect: a RECT with the framework's helpers (all inline, no system call) -------------
class CRect : public RECT {
public:
    CRect() noexcept { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) noexcept
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    CRect(const RECT& r) noexcept : RECT(r) {}
    CRect(LPCRECT lpRect) noexcept : RECT(*lpRect) {}

    int Width() const noexcept { return right - left; }
    int Height() const noexcept { return bottom - top; }
    BOOL IsRectEmpty() const noexcept { return right <= left || bottom <= top; }
    BOOL IsRectNull() const noexcept { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT pt) const noexcept { return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom; }
    void SetRect(int l, int t, int r, int b) noexcept
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void SetRectEmpty() noexcept { SetRect(0, 0, 0, 0); }
    void OffsetRect(int dx, int dy) noexcept
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    // Swaps the sides where right < left or bottom < top.
    void NormalizeRect() noexcept
    {
        if (right < left) {
            const LONG t = left;
            left = right;
            right = t;
        }
        if (bottom < top) {
            const LONG t = top;
            top = bottom;
            bottom = t;
        }
    }
    // The common part of two rectangles; empty (all zero) and FALSE when they do not overlap.
    BOOL IntersectRect(LPCRECT a, LPCRECT b) noexcept
    {
        const LONG l = a->left > b->left ? a->left : b->left;
        const LONG t = a->top > b->top ? a->top : b->top;
        const LONG r = a->right < b->right ? a->right : b->right;
        const LONG bo = a->bottom < b->bottom ? a->bottom : b->bottom;
        if (l >= r || t >= bo || a->left >= a->right || a->top >= a->bottom || b->left >= b->right ||
            b->top >= b->bottom) {
            SetRectEmpty();
            return FALSE;
        }
        SetRect(l, t, r, bo);
        return TRUE;
    }
    // The smallest rectangle holding both; empty rectangles add nothing.
    BOOL UnionRect(LPCRECT a, LPCRECT b) noexcept
    {
        const bool ea = a->left >= a->right || a->top >= a->bottom;
        const bool eb = b->left >= b->right || b->top >= b->bottom;
        if (ea && eb) {
            SetRectEmpty();
            return FALSE;
        }
        if (ea) {
            *this = *b;
            return TRUE;
        }
        if (eb) {
            *this = *a;
            return TRUE;
        }
        SetRect(a->left < b->left ? a->left : b->left, a->top < b->top ? a->top : b->top,
                a->right > b->right ? a->right : b->right, a->bottom > b->bottom ? a->bottom : b->bottom);
        return TRUE;
    }
    BOOL EqualRect(LPCRECT r) const noexcept
    {
        return left == r->left && top == r->top && right == r->right && bottom == r->bottom;
    }
    operator LPRECT() noexcept { return this; }
    operator LPCRECT() const noexcept { return this; }
    bool operator==(const RECT& r) const noexcept { return EqualRect(&r) != FALSE; }
    bool operator!=(const RECT& r) const noexcept { return EqualRect(&r) == FALSE; }
};

// --- GDI objects -------------------------------------------------------------------------
class WINPORT_API CGdiObject {
public:
    CGdiObject() noexcept : m_hObject(nullptr) {}
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject();  // DeleteObject()

    HGDIOBJ GetSafeHandle() const noexcept { return m_hObject; }
    operator HGDIOBJ() const noexcept { return m_hObject; }
    // Takes over hObject (FALSE if it is NULL); a handle held before is deleted first.
    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach() noexcept;
    // Deletes the handle (FALSE when there is none or the system refuses).
    BOOL DeleteObject();
    int GetObject(int nCount, LPVOID lpObject) const;

    HGDIOBJ m_hObject;
};

class WINPORT_API CBitmap : public CGdiObject {
public:
    ~CBitmap() override;
    operator HBITMAP() const noexcept { return static_cast<HBITMAP>(m_hObject); }
    BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits);
    BOOL CreateCompatibleBitmap(class CDC* pDC, int nWidth, int nHeight);
    int GetBitmap(BITMAP* pBitMap) const;
};

class WINPORT_API CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor);  // throws CResourceException* if it cannot be made
    ~CBrush() override;
    operator HBRUSH() const noexcept { return static_cast<HBRUSH>(m_hObject); }
    BOOL CreateSolidBrush(COLORREF crColor);
    BOOL CreatePatternBrush(CBitmap* pBitmap);
    BOOL CreateBrushIndirect(const LOGBRUSH* lpLogBrush);
};

class WINPORT_API CPalette : public CGdiObject {
public:
    ~CPalette() override;
    operator HPALETTE() const noexcept { return static_cast<HPALETTE>(m_hObject); }
    BOOL CreatePalette(LPLOGPALETTE lpLogPalette);
    UINT GetPaletteEntries(UINT nStartIndex, UINT nNumEntries, LPPALETTEENTRY lpPaletteColors) const;
};

// --- Device contexts ---------------------------------------------------------------------
class WINPORT_API CDC {
public:
    CDC() noexcept;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC();

    HDC GetSafeHdc() const noexcept { return m_hDC; }
    operator HDC() const noexcept { return m_hDC; }

    // Wraps a context made elsewhere; it is not deleted by this object. FALSE if one is held
    // already or hDC is NULL.
    BOOL Attach(HDC hDC);
    HDC Detach() noexcept;
    // A memory context compatible with pDC's (the screen's when pDC is NULL). FALSE if one
    // is held already or the system refuses.
    BOOL CreateCompatibleDC(CDC* pDC);
    // Deletes the context whoever made it (FALSE when there is none).
    BOOL DeleteDC();

    // Select and return a wrapper of what was displaced (NULL on failure; see the top).
    CBitmap* SelectObject(CBitmap* pBitmap);
    CBrush* SelectObject(CBrush* pBrush);
    CGdiObject* SelectObject(CGdiObject* pObject);
    HGDIOBJ SelectObject(HGDIOBJ hObject);
    CPalette* SelectPalette(CPalette* pPalette, BOOL bForceBackground);
    UINT RealizePalette();

    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop);
    BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, int nSrcWidth,
                    int nSrcHeight, DWORD dwRop);
    BOOL PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop);
    void FillRect(LPCRECT lpRect, CBrush* pBrush);
    void FillSolidRect(LPCRECT lpRect, COLORREF crColor);
    COLORREF GetPixel(int x, int y) const;
    COLORREF SetPixel(int x, int y, COLORREF crColor);

    COLORREF GetBkColor() const;
    COLORREF SetBkColor(COLORREF crColor);
    int GetBkMode() const;
    int SetBkMode(int nBkMode);
    COLORREF GetTextColor() const;
    COLORREF SetTextColor(COLORREF crColor);
    int GetStretchBltMode() const;
    int SetStretchBltMode(int nStretchMode);
    int GetDeviceCaps(int nIndex) const;

    HDC m_hDC;

protected:
    // How the destructor gives the context back: not at all, DeleteDC, or ReleaseDC.
    enum class Release { None, Delete, ReleaseToWindow };
    Release m_release;
    HWND m_hWndOwner;  // for ReleaseDC

private:
    // The wrapper of displaced object h, made on first use and kept (see the top).
    template <class T>
    T* TempWrapper(HGDIOBJ h);
    std::vector<std::unique_ptr<CGdiObject>> m_temps;
};

// The context of a window's client area (the screen for a NULL window), taken with GetDC and
// given back with ReleaseDC. Throws CResourceException* when no context can be had. It takes
// the window's handle: the framework's window class is not part of this layer.
class WINPORT_API CClientDC : public CDC {
public:
    explicit CClientDC(HWND hWnd);
    ~CClientDC() override;
};

#endif
