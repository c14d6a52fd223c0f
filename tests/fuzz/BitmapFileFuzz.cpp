// Bitmap files and bitmap resources come from outside: the checks must hold for any bytes, and
// what they accept must be turned into a palette and a bitmap without reading past the data.
// The input is taken both as a whole bitmap file and as a packed bitmap resource.
#include <cstdint>
#include <cstring>
#include <vector>

#include "Image.h"
#include "image/DibCheck.h"

using namespace lobbykit::image;

namespace {

// Kept small so that each run stays fast; the checks themselves allow 2^28 pixels.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 16;

// An accepted layout lies inside the data; true if it is small enough to be made here.
bool Check(const DibLayout& l, std::uint64_t cb)
{
    if (l.pixelOffset > cb || l.pixelBytes > cb - l.pixelOffset || l.header.biWidth <= 0) __builtin_trap();
    const std::int64_t rows = l.header.biHeight < 0 ? -std::int64_t{l.header.biHeight} : l.header.biHeight;
    return std::uint64_t(l.header.biWidth) * std::uint64_t(rows) <= kMaxFuzzPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    HDC screen = GetDC(nullptr);
    // A bitmap file: "BM", a file header, then the block the loader reads.
    if (size >= kFileHeaderBytes && data[0] == 'B' && data[1] == 'M') {
        std::vector<BYTE> block(data + kFileHeaderBytes, data + size);  // exactly the bytes read
        DibLayout layout;
        if (CheckFileDib(block.data(), block.size(), layout) && Check(layout, block.size())) {
            HPALETTE hPal = CreateFilePalette(block.data(), layout);
            HBITMAP hBmp = CreateFileBitmap(screen, block.data(), layout);
            if (hBmp) DeleteObject(hBmp);
            if (hPal) DeleteObject(hPal);
        }
    }
    // A resource: the packed bitmap alone, read as LoadBitmapA does.
    std::vector<BYTE> res(data, data + size);
    DibLayout layout;
    if (CheckResourceDib(res.data(), res.size(), layout) && Check(layout, res.size())) {
        std::vector<std::uint32_t> info((layout.pixelOffset + 3) / 4);
        std::memcpy(info.data(), res.data(), layout.pixelOffset);
        CImage img;
        int nColors = 0;
        HPALETTE hPal = img.CreateDIBPalette(reinterpret_cast<BITMAPINFO*>(info.data()), &nColors);
        if (std::uint32_t(nColors) != layout.nColors) __builtin_trap();
        if (hPal) DeleteObject(hPal);
        BITMAPINFO* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
        HBITMAP hBmp = CreateDIBitmap(screen, &bmi->bmiHeader, CBM_INIT, res.data() + layout.pixelOffset,
                                      bmi, DIB_RGB_COLORS);
        if (hBmp) DeleteObject(hBmp);
    }
    ReleaseDC(nullptr, screen);
    return 0;
}
