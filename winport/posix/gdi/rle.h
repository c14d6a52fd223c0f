// Internal: RLE8 and RLE4 pixel data (BI_RLE8, BI_RLE4) decoded as Windows decodes them,
// never read past the bytes given nor written past the picture.
//
// The data are pairs of bytes, rows from the bottom of the picture up. (n, v) with n > 0 is
// an encoded run: n pixels of index v (RLE4: the nibbles of v in turn, the high one first,
// wherever the run starts). (0, 0) ends the row, (0, 1) ends the picture, (0, 2, dx, dy)
// moves dx pixels right and dy rows up, and (0, n) with n >= 3 is an absolute run of n
// indices (bytes, or nibbles high first) padded to an even number of bytes.
// At the edges, as Wine does (the differential suite checks it on random streams):
// - runs are cut at the end of their row and the rest of that row's runs is lost (nothing
//   wraps to the next row); a move right stops at the row's end;
// - an end of row or a move past the top row ends the picture, as does data that end (an
//   absolute run or a move whose bytes are not all there, a last odd byte);
// - the pixels set since the last escape (end of row, end of picture, move) are kept only
//   when that escape arrives: data that end without one lose them;
// - pixels that no kept run sets are left as the target has them.
#ifndef WINPORT_POSIX_GDI_RLE_H
#define WINPORT_POSIX_GDI_RLE_H

#include <cstddef>
#include <cstdint>
#include <functional>

namespace winport {
namespace gdi {

// The pixels of one kept run: row counted from the bottom, first pixel x, n indices.
using RleSpan = std::function<void(int row, int x, const std::uint8_t* indices, int n)>;

// Decodes size bytes of RLE data (bpp 8: RLE8, 4: RLE4) for a width x height picture and
// hands each kept run to span, in the order of the data. No pixel is handed over twice.
void DecodeRle(const std::uint8_t* data, std::size_t size, int bpp, int width, int height, const RleSpan& span);

}  // namespace gdi
}  // namespace winport

#endif
