// The demo's scene, drawn with CImage only; the file writer reads the pixels with GetDIBits.
#include "Scene.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "Image.h"

namespace demo {
namespace {

constexpr DWORD kAutoKey = 0x00030201;  // TransCopyImage: the key is the top-left pixel

bool Fill(CImage& img, int left, int top, int right, int bottom, COLORREF colour)
{
    CRect rect(left, top, right, bottom);
    return img.FillRect(rect, colour) == 1 && img.m_hBitmap != nullptr;
}

bool MakeTile(CImage& tile)
{
    const int half = kTile / 2;
    return Fill(tile, 0, 0, kTile, kTile, kFloorA) && Fill(tile, half, 0, kTile, half, kFloorB) &&
           Fill(tile, 0, half, half, kTile, kFloorB) && Fill(tile, 0, kTile - 1, kTile, kTile, kGrout) &&
           Fill(tile, kTile - 1, 0, kTile, kTile, kGrout);
}

bool MakeSprite(CImage& sprite)
{
    bool ok = Fill(sprite, 0, 0, kSprite, kSprite, kKey);
    for (int y = kHeadTop; ok && y < kHeadBottom; ++y) {
        const int reach = y - kHeadTop;
        ok = Fill(sprite, kSprite / 2 - reach, y, kSprite / 2 + reach + 1, y + 1, kHead);
    }
    return ok && Fill(sprite, kShaftLeft, kHeadBottom, kShaftRight, kShaftBottom, kShaft) &&
           Fill(sprite, kShaftLeft, kHeadBottom, kShaftLeft + 1, kShaftBottom, kShine);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

COLORREF BannerColour(long level)
{
    if (level <= 0) return kBanner;
    // Levels walk round a wheel of hues, darker on every round.
    static const COLORREF kWheel[] = {Colour(40, 90, 160),  Colour(30, 130, 70),  Colour(150, 110, 20),
                                      Colour(110, 40, 140), Colour(20, 120, 130), Colour(170, 60, 30)};
    const long n = sizeof kWheel / sizeof kWheel[0];
    const COLORREF c = kWheel[(level - 1) % n];
    const unsigned shade = unsigned(std::min<long>((level - 1) / n, 3));
    return Colour(GetRValue(c) >> shade, GetGValue(c) >> shade, GetBValue(c) >> shade);
}

bool CreateSceneSection(CImage& scene, void** bits)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = kSceneW;
    bmi.bmiHeader.biHeight = -kSceneH;  // top-down: row 0 first, as toolkits lay out images
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HBITMAP section = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
    if (!section) return false;
    if (scene.Attach(section) != 1) {
        DeleteObject(section);
        return false;
    }
    return true;
}

bool DrawScene(CImage& scene, std::string& failure, const SceneState& state)
{
    CImage tile, sprite, turned90, turned270, turned180;
    // Each step runs only if those before it succeeded.
    bool ok = true;
    auto step = [&](const char* what, auto&& run) {
        if (ok && !run()) {
            ok = false;
            failure = what;
        }
    };
    step("make the tile", [&] { return MakeTile(tile); });
    step("make the sprite", [&] { return MakeSprite(sprite); });
    step("make the scene's bitmap", [&] {
        if (scene.m_hBitmap && scene.m_nWidth == kSceneW && scene.m_nHeight == kSceneH) return true;
        return scene.CreateBitmap(kSceneW, kSceneH) == 1;
    });
    step("tile the floor", [&] { return tile.TitleCopyImage(scene) == 1; });
    step("fill the banner", [&] {
        return Fill(scene, 0, 0, kSceneW, kBannerHeight, BannerColour(state.level)) &&
               Fill(scene, 0, kBannerHeight - kBannerEdgeHeight, kSceneW, kBannerHeight, kBannerEdge);
    });
    step("turn the sprite by 90", [&] { return turned90.CreateRotateBitmap(sprite, 90) == 1; });
    step("turn the sprite by 270", [&] { return turned270.CreateRotateBitmap(sprite, 270) == 1; });
    step("turn the sprite by 180", [&] { return turned180.CreateRotateBitmap(turned90, 90) == 1; });
    step("draw the sprite 1:1", [&] {
        CImage* const turned[4] = {&sprite, &turned90, &turned180, &turned270};
        CImage& shown = *turned[((state.turns % 4) + 4) % 4];
        return shown.TransCopyImage(scene, kKey, kPlainX, kPlainY, 0, 0, 0, 0, 0, 0) == 1;
    });
    step("draw the sprite stretched", [&] {
        return sprite.TransCopyImage(scene, kAutoKey, kStretchX, kStretchY, 2 * kSprite, 2 * kSprite, 0, 0, 0, 0) == 1;
    });
    step("draw the turned sprites", [&] {
        return turned90.TransCopyImage(scene, kKey, kTurn90X, kTurn90Y, 0, 0, 0, 0, 0, 0) == 1 &&
               turned270.TransCopyImage(scene, kAutoKey, kTurn270X, kTurn270Y, 0, 0, 0, 0, 0, 0) == 1;
    });
    return ok;
}

bool SaveBitmap24(const CImage& picture, const std::string& path)
{
    const int w = picture.m_nWidth, h = picture.m_nHeight;
    if (!picture.m_hBitmap || w <= 0 || h <= 0 || w > 1 << 14 || h > 1 << 14) return false;
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(w) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(h);

    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = h;  // bottom-up, as bitmap files usually are
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> pixels(pixelBytes);
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    const int lines = GetDIBits(screen, picture.m_hBitmap, 0, static_cast<UINT>(h), pixels.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != h) return false;

    constexpr std::uint32_t kHeaders = 14 + 40;
    std::vector<std::uint8_t> file;
    file.reserve(kHeaders + pixelBytes);
    file.push_back('B');
    file.push_back('M');
    PutLe(file, kHeaders + pixelBytes, 4);  // file size
    PutLe(file, 0, 4);                      // reserved
    PutLe(file, kHeaders, 4);               // offset of the pixels
    PutLe(file, 40, 4);                     // BITMAPINFOHEADER
    PutLe(file, static_cast<std::uint32_t>(w), 4);
    PutLe(file, static_cast<std::uint32_t>(h), 4);
    PutLe(file, 1, 2);   // planes
    PutLe(file, 24, 2);  // bits per pixel
    PutLe(file, BI_RGB, 4);
    PutLe(file, pixelBytes, 4);
    PutLe(file, 2835, 4);  // 72 dpi, both ways
    PutLe(file, 2835, 4);
    PutLe(file, 0, 4);  // no colour table
    PutLe(file, 0, 4);
    file.insert(file.end(), pixels.begin(), pixels.end());

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out || std::fwrite(file.data(), 1, file.size(), out.get()) != file.size()) return false;
    return std::fclose(out.release()) == 0;
}

std::string SaveSceneBeside(const char* argv0)
{
    std::string path(argv0 ? argv0 : "");
    const size_t slash = path.find_last_of("\\/");
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "lobbykit_scene.bmp";

    CImage scene;
    std::string failure;
    if (!DrawScene(scene, failure)) return "scene: could not " + failure;
    if (!SaveBitmap24(scene, path)) return "scene: could not save " + path;
    CImage back;
    if (back.LoadImageA(path.c_str()) != 1 || back.m_nWidth != kSceneW || back.m_nHeight != kSceneH)
        return "scene: could not load " + path + " back";
    return "scene drawn with CImage (tiled floor, banner, keyed sprite 1:1 and x2, turned 90 and 270): " + path + " (" +
           std::to_string(kSceneW) + "x" + std::to_string(kSceneH) + ", 24-bit)";
}

}  // namespace demo
