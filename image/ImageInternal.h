// Internal: what the image operations share: size arithmetic that cannot overflow, the size
// defaults of the drawing operations, and a bitmap selected into a context for one scope.
#ifndef LOBBYKIT_IMAGE_IMAGEINTERNAL_H
#define LOBBYKIT_IMAGE_IMAGEINTERNAL_H

#include <climits>
#include <cstdint>

#include "Image.h"

namespace lobbykit::image {

inline int ClampToInt(std::int64_t v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

inline int Sub(int a, int b) { return ClampToInt(std::int64_t{a} - b); }

// A source size within a picture of w x h read from (xSrc, ySrc): a zero size is the rest of
// the picture from there, and the size is clamped to that rest.
inline void RestOfPicture(int w, int h, int xSrc, int ySrc, int& nWidth, int& nHeight)
{
    const int restW = Sub(w, xSrc), restH = Sub(h, ySrc);
    if (nWidth == 0 || nHeight == 0) {
        nWidth = restW;
        nHeight = restH;
    }
    if (nWidth > restW) nWidth = restW;
    if (nHeight > restH) nHeight = restH;
}

// The defaults of DrawImage, CopyImage, TransBitBlt and TransCopyImage, for a picture of
// w x h: a zero destination size is the whole picture; the source size is the rest of the
// picture (RestOfPicture).
inline void ApplySizeDefaults(int w, int h, int& nWidth, int& nHeight, int xSrc, int ySrc, int& nSrcWidth, int& nSrcHeight)
{
    if (nWidth == 0 || nHeight == 0) {
        nWidth = w;
        nHeight = h;
    }
    RestOfPicture(w, h, xSrc, ySrc, nSrcWidth, nSrcHeight);
}

// A memory context with one bitmap selected; the previous bitmap goes back, and the context
// is deleted, when the scope ends (or at Release).
class SelectedBitmap {
public:
    SelectedBitmap() = default;
    SelectedBitmap(CDC* pCompatible, HGDIOBJ hBitmap) { Open(pCompatible, hBitmap); }
    void Open(CDC* pCompatible, HGDIOBJ hBitmap)
    {
        dc.CreateCompatibleDC(pCompatible);
        old_ = dc.SelectObject(hBitmap);
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    ~SelectedBitmap() { Release(); }
    void Restore()
    {
        if (old_) dc.SelectObject(old_);
        old_ = nullptr;
    }
    void Release()
    {
        Restore();
        dc.DeleteDC();
    }
    CDC dc;

private:
    HGDIOBJ old_ = nullptr;
};

// A temporary bitmap owned for one scope (deleted after the contexts let it go).
class TempBitmap {
public:
    explicit TempBitmap(HBITMAP h) : h_(h) {}
    TempBitmap(const TempBitmap&) = delete;
    TempBitmap& operator=(const TempBitmap&) = delete;
    ~TempBitmap() { Reset(nullptr); }
    void Reset(HBITMAP h)
    {
        if (h_) ::DeleteObject(h_);
        h_ = h;
    }
    HBITMAP get() const { return h_; }

private:
    HBITMAP h_;
};

}  // namespace lobbykit::image

#endif
