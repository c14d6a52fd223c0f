// Internal: raster operations work on rows of 32-bit words (colour pixels, or monochrome
// pixels unpacked to 0 / all bits set), never pixel by pixel through a call.
#ifndef WINPORT_POSIX_GDI_RASTER_H
#define WINPORT_POSIX_GDI_RASTER_H

#include <cstddef>
#include <cstdint>

namespace winport {
namespace gdi {

// The operation index (bits 16..23) of a ROP3 code, and what it reads.
inline std::uint8_t RopIndex(std::uint32_t rop) { return static_cast<std::uint8_t>(rop >> 16); }
inline bool RopUsesSource(std::uint8_t r) { return ((r >> 2) ^ r) & 0x33; }
inline bool RopUsesPattern(std::uint8_t r) { return ((r >> 4) ^ r) & 0x0F; }

// d[i] = rop(p[i], s[i], d[i]) for n words. s and p are read only when the operation uses
// them (pass any row otherwise); s may alias d.
void ApplyRop(std::uint8_t rop, std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, std::size_t n);

// n pixels of a 1-bpp row from pixel x on: 0 becomes `zero`, 1 becomes `one`.
void UnpackMono(const std::uint8_t* row, int x, int n, std::uint32_t zero, std::uint32_t one, std::uint32_t* out);
// Stores n monochrome words (any bit set: 1) into a 1-bpp row from pixel x on.
void PackMono(const std::uint32_t* in, int n, std::uint8_t* row, int x);
// Colour pixels straight into a 1-bpp row from pixel x on (a colour-to-monochrome copy):
// those equal to `bk` in their colour bits become 1.
void PackColorToMono(const std::uint32_t* in, int n, std::uint32_t bk, std::uint8_t* row, int x);
// Colour pixels to monochrome words: those equal to `bk` in their colour bits become 1.
void ColorToMonoRow(const std::uint32_t* in, int n, std::uint32_t bk, std::uint32_t* out);

}  // namespace gdi
}  // namespace winport

#endif
