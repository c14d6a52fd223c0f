// Internal: the transfers between two contexts, after their handles have been checked and
// under the GDI lock (BitBlt, StretchBlt and the DIB calls that draw through a context of
// their own). Coordinates are long long so that a rectangle's far edge cannot overflow.
#ifndef WINPORT_POSIX_GDI_BLIT_H
#define WINPORT_POSIX_GDI_BLIT_H

#include <cstdint>

#include "winport/posix/gdi/gdi.h"

namespace winport {
namespace gdi {

// BitBlt / PatBlt: `brush` is the pattern; src may be null when the operation (a ROP3
// index) reads no source. Both bitmaps clip the rectangles.
BOOL Transfer(const Dc& dst, long long x, long long y, long long w, long long h, const Dc* src, long long sx,
              long long sy, std::uint8_t rop, const Brush& brush);

// StretchBlt with a source: nothing for an empty extent, a plain transfer at equal sizes,
// else stretched in the destination's stretch mode.
BOOL StretchDcs(const Dc& dst, long long xd, long long yd, long long wd, long long hd, const Dc& src, long long xs,
                long long ys, long long ws, long long hs, std::uint8_t rop);

}  // namespace gdi
}  // namespace winport

#endif
