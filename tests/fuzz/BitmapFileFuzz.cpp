// Bitmap files and bitmap resources come from outside. The input goes through what a host
// calls: LoadImageA on it as a bitmap file, and LoadBitmapA on it as the one bitmap resource
// of a module (a PE file made around it, opened as a data file, as a host's resources are).
// Nothing may be read out of bounds, a picture that loads must be whole, and every GDI
// object must be released with the image.
#include <windows.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Image.h"
#include "ResourceModule.h"

namespace {

// Kept small so that each run stays fast (the loaders allow 2^28 pixels, which RLE data of a
// few bytes can claim); inputs whose header says more are not loaded.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 16;

bool SmallEnough(const std::uint8_t* header, std::size_t size)
{
    if (size < 12) return true;  // the loaders refuse it
    std::int32_t w, h;
    std::memcpy(&w, header + 4, 4);
    std::memcpy(&h, header + 8, 4);
    const std::uint64_t rows = h < 0 ? std::uint64_t(-std::int64_t{h}) : std::uint64_t(h);
    return w <= 0 || std::uint64_t(w) * rows <= kMaxFuzzPixels;
}

bool Write(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

// A loaded picture is a bitmap of the size the image says (GDI keeps |height|).
void CheckLoaded(const CImage& img, int loaded)
{
    if (loaded != (img.m_hBitmap != nullptr)) __builtin_trap();
    if (!loaded) return;
    BITMAP bm;
    if (GetObjectA(img.m_hBitmap, sizeof bm, &bm) != int(sizeof bm) || bm.bmWidth != img.m_nWidth ||
        bm.bmHeight != (img.m_nHeight < 0 ? -img.m_nHeight : img.m_nHeight))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string base = "/tmp/lobbykit-bitmapfuzz-" + std::to_string(getpid());
    const DWORD before = GdiObjects();
    // As a file: "BM", the file header, then the packed bitmap.
    if (size < 14 || SmallEnough(data + 14, size - 14)) {
        const std::string path = base + ".bmp";
        if (!Write(path, data, size)) __builtin_trap();
        CImage img;
        CheckLoaded(img, img.LoadImageA(path.c_str()));
        std::remove(path.c_str());
    }
    // As a resource: the packed bitmap alone.
    if (SmallEnough(data, size)) {
        const std::string path = base + ".dll";
        const std::vector<std::uint8_t> module = lktest::ResourceModule(2, 1, data, size);
        if (!Write(path, module.data(), module.size())) __builtin_trap();
        HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!h) __builtin_trap();
        {
            CImage img;
            CheckLoaded(img, img.LoadBitmapA(1, h));
        }
        FreeLibrary(h);
        std::remove(path.c_str());
    }
    if (GdiObjects() != before) __builtin_trap();
    return 0;
}
