// RLE8 and RLE4 pixel data: the decoder that CreateDIBitmap uses (rle.h has the rules).
#include "winport/posix/gdi/rle.h"

#include <algorithm>
#include <vector>

namespace winport {
namespace gdi {

void DecodeRle(const std::uint8_t* data, std::size_t size, int bpp, int width, int height, const RleSpan& span)
{
    if (!data || width <= 0 || height <= 0 || (bpp != 4 && bpp != 8)) return;
    // The indices of the current row; [left, x) is what has been set since the last escape.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
    int x = 0, left = 0, y = 0;
    auto keep = [&] {
        if (x > left) span(y, left, row.data() + left, x - left);
        left = x;
    };
    // Index k of a run whose bytes start at p (RLE4: nibbles, the high one first).
    auto index = [bpp](const std::uint8_t* p, int k) -> std::uint8_t {
        if (bpp == 8) return p[k];
        const std::uint8_t b = p[k / 2];
        return (k & 1) ? (b & 0x0F) : (b >> 4);
    };
    std::size_t i = 0;  // at most size + 1 (after a padded absolute run)
    while (i + 2 <= size) {
        const int n = data[i], v = data[i + 1];
        i += 2;
        if (n > 0) {
            const int count = std::min(n, width - x);
            const std::uint8_t value = static_cast<std::uint8_t>(v);
            for (int k = 0; k < count; ++k) row[static_cast<std::size_t>(x + k)] = index(&value, bpp == 8 ? 0 : k % 2);
            x += count;
            continue;
        }
        if (v >= 3) {  // an absolute run
            const std::size_t bytes = (static_cast<std::size_t>(v) * static_cast<std::size_t>(bpp) + 7) / 8;
            if (bytes > size - i) return;
            const int count = std::min(v, width - x);
            for (int k = 0; k < count; ++k) row[static_cast<std::size_t>(x + k)] = index(data + i, k);
            x += count;
            i += (bytes + 1) & ~std::size_t{1};
            continue;
        }
        keep();
        if (v == 1) return;  // end of the picture
        if (v == 0) {        // end of the row
            x = left = 0;
            if (++y >= height) return;
            continue;
        }
        if (i + 2 > size) return;  // a move whose bytes are not there
        x = std::min(width, x + data[i]);
        left = x;
        y += data[i + 1];
        i += 2;
        if (y >= height) return;
    }
}

}  // namespace gdi
}  // namespace winport
