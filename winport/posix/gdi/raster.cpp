// Row kernels of the raster operations: tight loops for the common codes, and one generic
// evaluation of any ROP3 code bit-wise on whole words.
#include "winport/posix/gdi/raster.h"

#include <cstring>

namespace winport {
namespace gdi {
namespace {

// Bit k of a ROP3 index is the result for pattern bit (k >> 2) & 1, source bit (k >> 1) & 1
// and destination bit k & 1; the result word is the OR of the minterms whose bit is set.
void GenericRop(std::uint8_t rop, std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t pv = p[i], sv = s[i], dv = d[i];
        std::uint32_t r = 0;
        for (unsigned k = 0; k < 8; ++k) {
            if (!((rop >> k) & 1)) continue;
            r |= ((k & 4) ? pv : ~pv) & ((k & 2) ? sv : ~sv) & ((k & 1) ? dv : ~dv);
        }
        d[i] = r;
    }
}

}  // namespace

void ApplyRop(std::uint8_t rop, std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, std::size_t n)
{
    switch (rop) {
    case 0xCC: std::memmove(d, s, n * sizeof *d); return;  // SRCCOPY
    case 0x66:
        for (std::size_t i = 0; i < n; ++i) d[i] ^= s[i];
        return;  // SRCINVERT
    case 0x88:
        for (std::size_t i = 0; i < n; ++i) d[i] &= s[i];
        return;  // SRCAND
    case 0xEE:
        for (std::size_t i = 0; i < n; ++i) d[i] |= s[i];
        return;  // SRCPAINT
    case 0x33:
        for (std::size_t i = 0; i < n; ++i) d[i] = ~s[i];
        return;                                            // NOTSRCCOPY
    case 0xF0: std::memmove(d, p, n * sizeof *d); return;  // PATCOPY
    case 0x5A:
        for (std::size_t i = 0; i < n; ++i) d[i] ^= p[i];
        return;  // PATINVERT
    case 0x55:
        for (std::size_t i = 0; i < n; ++i) d[i] = ~d[i];
        return;                                              // DSTINVERT
    case 0x00: std::memset(d, 0, n * sizeof *d); return;     // BLACKNESS
    case 0xFF: std::memset(d, 0xFF, n * sizeof *d); return;  // WHITENESS
    case 0xAA: return;                                       // D
    default: GenericRop(rop, d, s, p, n); return;
    }
}

void UnpackMono(const std::uint8_t* row, int x, int n, std::uint32_t zero, std::uint32_t one, std::uint32_t* out)
{
    int i = 0;
    // Leading pixels up to a byte boundary, then whole bytes.
    for (; i < n && ((x + i) & 7); ++i) out[i] = ((row[(x + i) >> 3] >> (7 - ((x + i) & 7))) & 1) ? one : zero;
    for (; i + 8 <= n; i += 8) {
        const unsigned byte = row[(x + i) >> 3];
        for (int b = 0; b < 8; ++b) out[i + b] = ((byte >> (7 - b)) & 1) ? one : zero;
    }
    for (; i < n; ++i) out[i] = ((row[(x + i) >> 3] >> (7 - ((x + i) & 7))) & 1) ? one : zero;
}

namespace {

// Stores bit(i) for i in [0, n) into a 1-bpp row from pixel x on, whole bytes where aligned.
template <class Bit>
void PackBits(const Bit& bit, int n, std::uint8_t* row, int x)
{
    int i = 0;
    for (; i < n && ((x + i) & 7); ++i) {
        const unsigned mask = 0x80u >> ((x + i) & 7);
        std::uint8_t& byte = row[(x + i) >> 3];
        byte = static_cast<std::uint8_t>(bit(i) ? (byte | mask) : (byte & ~mask));
    }
    for (; i + 8 <= n; i += 8) {
        unsigned byte = 0;
        for (int b = 0; b < 8; ++b) byte = (byte << 1) | (bit(i + b) ? 1u : 0u);
        row[(x + i) >> 3] = static_cast<std::uint8_t>(byte);
    }
    for (; i < n; ++i) {
        const unsigned mask = 0x80u >> ((x + i) & 7);
        std::uint8_t& byte = row[(x + i) >> 3];
        byte = static_cast<std::uint8_t>(bit(i) ? (byte | mask) : (byte & ~mask));
    }
}

}  // namespace

void PackMono(const std::uint32_t* in, int n, std::uint8_t* row, int x)
{
    PackBits([in](int i) { return in[i] != 0; }, n, row, x);
}

void PackColorToMono(const std::uint32_t* in, int n, std::uint32_t bk, std::uint8_t* row, int x)
{
    bk &= 0xFFFFFF;
    PackBits([in, bk](int i) { return (in[i] & 0xFFFFFF) == bk; }, n, row, x);
}

void ColorToMonoRow(const std::uint32_t* in, int n, std::uint32_t bk, std::uint32_t* out)
{
    bk &= 0xFFFFFF;
    for (int i = 0; i < n; ++i) out[i] = (in[i] & 0xFFFFFF) == bk ? 0xFFFFFFFFu : 0u;
}

}  // namespace gdi
}  // namespace winport
