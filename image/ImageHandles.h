// Internal: how many images hold each bitmap and palette handle, so that images that share
// handles (copies) delete each one exactly once, whichever of them lets it go last. Kept per
// handle, never per object: an image moved bit-wise (as the framework's array class moves
// its elements) keeps what it holds. A handle the table does not know (one a host stored in
// m_hBitmap or m_hPalette by hand) counts as held by the one image that has it.
//
// It also remembers, per bitmap, the context that BeginMemDC selected it into and the bitmap
// that it displaced there, as handles: a picture released while still selected can be put
// back out of that context without reading the host's CDC, which may be gone by then. GDI
// checks the handles, and is asked whether the bitmap is still selected there.
#ifndef LOBBYKIT_IMAGE_IMAGEHANDLES_H
#define LOBBYKIT_IMAGE_IMAGEHANDLES_H

#include <windows.h>

namespace lobbykit::image {

// A handle GDI has just made for an image: held by that image alone.
void HoldNew(HGDIOBJ h);
// One more image holds h: a copy of an image, or Attach of a handle another image may hold.
// copy: the image copied from holds h too (so a handle it was never seen with counts 2).
void HoldAlso(HGDIOBJ h, bool copy);
// An image lets h go (DeleteBitmap, refill, destructor). True when it was the last holder:
// the caller deletes h then. Before that, if the context that BeginMemDC selected the bitmap
// into still holds it, the bitmap it displaced there is put back, so that GDI really deletes
// it and the context never holds a deleted handle.
bool LetGo(HGDIOBJ h);
// An image gives h up without deleting it (Detach).
void GiveUp(HGDIOBJ h);

// BeginMemDC selected hBitmap into hdc, where it displaced hDisplaced; EndMemDC ends that.
void PairWith(HGDIOBJ hBitmap, HDC hdc, HGDIOBJ hDisplaced);
void Unpair(HGDIOBJ hBitmap, HDC hdc);

}  // namespace lobbykit::image

#endif
