// The GDI over outside data and outside geometry: a packed DIB whose header says anything
// (handed over only when the bytes it says it has are there, as a careful loader does), then
// transfers with any coordinates, sizes, stretch mode and raster operation. Nothing may be
// read or written out of bounds, and every object made is released.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The bytes of colour table and pixel rows (or RLE data) that the header says follow it; 0
// when it says something no loader should pass on.
std::size_t BytesAfterHeader(const BITMAPINFOHEADER& h)
{
    if (h.biSize < sizeof h || h.biSize > 124 || h.biWidth <= 0 || h.biWidth > 4096 || h.biHeight == 0 ||
        h.biHeight < -4096 || h.biHeight > 4096)
        return 0;
    const std::size_t rows = static_cast<std::size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    const std::size_t stride = (static_cast<std::size_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    std::size_t table = h.biSize - sizeof h;
    if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof h) table += 12;
    if (h.biBitCount <= 8) table += 4 * (std::size_t(1) << h.biBitCount);
    // Run-length data are as long as biSizeImage says.
    if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4) return table + h.biSizeImage;
    return table + stride * rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Input: 24 bytes of geometry, then the packed DIB.
    if (size < 24 + sizeof(BITMAPINFOHEADER)) return 0;
    auto i8 = [data](int k) { return static_cast<int>(static_cast<std::int8_t>(data[k])); };
    std::vector<std::uint8_t> dib(data + 24, data + size);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    const std::size_t need = BytesAfterHeader(h);
    if (need == 0 || dib.size() < sizeof h + need || h.biBitCount > 32) return 0;
    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);

    HDC screen = GetDC(nullptr);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    std::size_t offset = h.biSize + (h.biCompression == BI_BITFIELDS && h.biSize == sizeof h ? 12 : 0);
    if (h.biBitCount <= 8) offset += 4 * (std::size_t(1) << h.biBitCount);
    HBITMAP picture =
        CreateDIBitmap((data[0] & 1) ? screen : nullptr, &h, CBM_INIT, dib.data() + offset, info, DIB_RGB_COLORS);
    HDC src = CreateCompatibleDC(screen);
    HGDIOBJ oldSrc = SelectObject(src, picture ? picture : GetCurrentObject(src, OBJ_BITMAP));
    HDC dst = CreateCompatibleDC(screen);
    HBITMAP target = (data[0] & 2) ? CreateBitmap(i8(1) & 63, i8(2) & 63, 1, 1, nullptr)
                                   : CreateCompatibleBitmap(screen, i8(1) & 63, i8(2) & 63);
    HGDIOBJ oldDst = SelectObject(dst, target);
    SetStretchBltMode(dst, 1 + (data[3] & 3));
    SetBkColor(src, RGB(data[4], data[5], data[6]));
    HBRUSH brush = CreateSolidBrush(RGB(data[7], data[8], data[9]));
    HGDIOBJ oldBrush = SelectObject(dst, brush);
    const DWORD rop = static_cast<DWORD>(data[10]) << 16;
    StretchBlt(dst, i8(11), i8(12), i8(13), i8(14), src, i8(15), i8(16), i8(17), i8(18), rop);
    BitBlt(dst, i8(19), i8(20), i8(13), i8(14), src, i8(21), i8(22), rop);
    PatBlt(dst, i8(11), i8(12), i8(17), i8(18), rop & 0x00F00000 ? PATINVERT : DSTINVERT);
    if (picture) {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colors[2];
        } out = {};
        out.h.biSize = sizeof out.h;
        out.h.biWidth = 1 + (data[23] & 31);
        out.h.biHeight = (data[23] & 32) ? -(1 + (data[23] & 15)) : 1 + (data[23] & 15);
        out.h.biBitCount = (data[23] & 64) ? 24 : 1;
        std::vector<std::uint8_t> bits(((out.h.biWidth * 32 + 31) / 32 * 4) * 16);
        GetDIBits(src, picture, data[22] & 15, data[21] & 31, bits.data(), reinterpret_cast<BITMAPINFO*>(&out),
                  DIB_RGB_COLORS);
    }
    SelectObject(dst, oldBrush);
    DeleteObject(brush);
    SelectObject(dst, oldDst);
    DeleteObject(target);
    SelectObject(src, oldSrc);
    if (picture) DeleteObject(picture);
    DeleteDC(src);
    DeleteDC(dst);
    ReleaseDC(nullptr, screen);
    if (GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) != before) __builtin_trap();
    return 0;
}
