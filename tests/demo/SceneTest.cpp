// The demo's scene: the pixels that show each drawing step did its part, and the bitmap file
// it is saved as.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "ImageTestSupport.h"
#include "Scene.h"

using namespace lktest;
using namespace demo;

namespace {

std::vector<BYTE> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Le(const std::vector<BYTE>& b, size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + size_t(i));
    return v;
}

class DemoScene : public ImageTest {};

}  // namespace

TEST_F(DemoScene, EachStepShowsInItsPixels)
{
    CImage scene;
    std::string failure;
    ASSERT_TRUE(DrawScene(scene, failure)) << failure;
    ASSERT_EQ(kSceneW, scene.m_nWidth);
    ASSERT_EQ(kSceneH, scene.m_nHeight);
    const Pixels px = ReadPixels(scene.m_hBitmap, kSceneW, kSceneH);

    // Sprite pixels: the apex of the head (20, 2), the shaft (20, 30), its shine (14, 30)
    // and the key beside the apex (19, 2). Turned by 90, (x, y) lands at (39 - y, x); by
    // 270 at (y, 39 - x). Floor pixels by hand: tile (x % 32, y % 32) is kFloorA in the
    // top-left and bottom-right quarter, kFloorB elsewhere, kGrout on row or column 31.
    const struct {
        const char* what;
        int x, y;
        COLORREF expected;
    } cases[] = {
        {"floor, top-left quarter", 5, 40, kFloorA},
        {"floor, top-right quarter", 20, 40, kFloorB},
        {"floor, grout column", 31, 40, kGrout},
        {"floor, grout row", 300, 159, kGrout},
        {"floor, bottom-left quarter", 8, 150, kFloorB},
        {"banner", 100, 5, kBanner},
        {"banner edge", 100, kBannerHeight - 1, kBannerEdge},
        {"floor under the banner", 100, kBannerHeight, kFloorB},
        {"1:1, key at (0, 0) shows the floor", kPlainX, kPlainY, kFloorB},
        {"1:1, key at (39, 39) shows the grout", kPlainX + 39, kPlainY + 39, kGrout},
        {"1:1, key beside the apex", kPlainX + 19, kPlainY + 2, kFloorA},
        {"1:1, apex", kPlainX + 20, kPlainY + 2, kHead},
        {"1:1, shaft", kPlainX + 20, kPlainY + 30, kShaft},
        {"1:1, shine", kPlainX + 14, kPlainY + 30, kShine},
        {"x2, apex", kStretchX + 40, kStretchY + 4, kHead},
        {"x2, apex's fourth pixel", kStretchX + 41, kStretchY + 5, kHead},
        {"x2, key beside the apex", kStretchX + 39, kStretchY + 5, kFloorA},
        {"x2, shine's second column", kStretchX + 29, kStretchY + 60, kShine},
        {"x2, shaft after the shine", kStretchX + 30, kStretchY + 60, kShaft},
        {"90, apex points right", kTurn90X + 37, kTurn90Y + 20, kHead},
        {"90, shine on top", kTurn90X + 9, kTurn90Y + 14, kShine},
        {"90, shaft", kTurn90X + 9, kTurn90Y + 20, kShaft},
        {"90, key from (0, 0)", kTurn90X + 39, kTurn90Y, kFloorA},
        {"270, apex points left", kTurn270X + 2, kTurn270Y + 19, kHead},
        {"270, shine below", kTurn270X + 30, kTurn270Y + 25, kShine},
        {"270, shaft", kTurn270X + 30, kTurn270Y + 19, kShaft},
        {"270, key from (0, 0)", kTurn270X, kTurn270Y + 39, kFloorB},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, px[size_t(c.y) * kSceneW + c.x]) << c.what << " at " << c.x << ", " << c.y;
}

TEST_F(DemoScene, FileIs24BitAndLoadsBackPixelForPixel)
{
    const struct {
        const char* what;
        int w, h;
    } cases[] = {
        {"the scene", kSceneW, kSceneH},
        {"3 x 2: rows padded from 9 to 12 bytes", 3, 2},
        {"5 x 3: rows padded from 15 to 16 bytes", 5, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CImage picture;
        if (c.w == kSceneW) {
            std::string failure;
            ASSERT_TRUE(DrawScene(picture, failure)) << failure;
        } else {
            Pixels px;
            for (int i = 0; i < c.w * c.h; ++i) px.push_back(RGB(17 * i, 255 - 9 * i, 3 + 40 * (i % 4)));
            Fill(picture, c.w, c.h, px);
        }
        const std::string path = ::testing::TempDir() + "lobbykit_scene_roundtrip.bmp";
        ASSERT_TRUE(SaveBitmap24(picture, path));

        const std::vector<BYTE> file = ReadFile(path);
        const size_t row = (size_t(c.w) * 3 + 3) & ~size_t(3);
        ASSERT_EQ(54 + row * size_t(c.h), file.size());
        EXPECT_EQ(0x4D42u, Le(file, 0, 2));
        EXPECT_EQ(file.size(), Le(file, 2, 4));
        EXPECT_EQ(54u, Le(file, 10, 4));
        EXPECT_EQ(40u, Le(file, 14, 4));
        EXPECT_EQ(std::uint32_t(c.w), Le(file, 18, 4));
        EXPECT_EQ(std::uint32_t(c.h), Le(file, 22, 4));  // bottom-up
        EXPECT_EQ(24u, Le(file, 28, 2));

        CImage back;
        ASSERT_EQ(1, back.LoadImageA(path.c_str()));
        ASSERT_EQ(c.w, back.m_nWidth);
        ASSERT_EQ(c.h, back.m_nHeight);
        EXPECT_EQ(ReadPixels(picture.m_hBitmap, c.w, c.h), ReadPixels(back.m_hBitmap, c.w, c.h));
        std::remove(path.c_str());
    }
}

TEST_F(DemoScene, TranscriptNamesTheFileBesideTheProgram)
{
    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "lobbykit_scene.bmp";
    std::remove(path.c_str());
    const std::string line = SaveSceneBeside((dir + "lobbykit_lobby").c_str());
    EXPECT_NE(std::string::npos, line.find(path)) << line;
    EXPECT_EQ(std::string::npos, line.find("could not")) << line;
    CImage back;
    EXPECT_EQ(1, back.LoadImageA(path.c_str()));

    CImage empty;
    EXPECT_FALSE(SaveBitmap24(empty, dir + "lobbykit_scene_empty.bmp"));
    std::remove(path.c_str());
}

// The live scene, as the lobby's window shows it: drawn by CImage into a DIB section whose
// rows are the window's pixels. The banner follows the level and the 1:1 sprite turns; the
// default state is the saved scene, pixel for pixel.
TEST_F(DemoScene, LiveStateShowsInTheSectionsRows)
{
    CImage saved;
    std::string failure;
    ASSERT_TRUE(DrawScene(saved, failure)) << failure;
    const Pixels savedPx = ReadPixels(saved.m_hBitmap, kSceneW, kSceneH);

    // Where the apex of the 1:1 sprite goes after k quarter turns clockwise ((x, y) lands at
    // (39 - y, x) per turn), and a pixel of the floor that only the upright sprite covers.
    const struct {
        int turns;
        long level;
        int apexX, apexY;
    } cases[] = {{0, 0, 20, 2}, {1, 8, 37, 20}, {2, 21, 19, 37}, {3, 1, 2, 19}, {4, 0, 20, 2}};
    CImage live;
    void* bits = nullptr;
    ASSERT_TRUE(CreateSceneSection(live, &bits));
    const auto* rows = static_cast<const std::uint32_t*>(bits);
    for (const auto& c : cases) {
        SCOPED_TRACE("turns " + std::to_string(c.turns) + ", level " + std::to_string(c.level));
        SceneState state;
        state.turns = c.turns;
        state.level = c.level;
        HBITMAP before = live.m_hBitmap;
        ASSERT_TRUE(DrawScene(live, failure, state)) << failure;
        EXPECT_EQ(before, live.m_hBitmap);  // drawn into the section, not into a new bitmap
        const Pixels px = ReadPixels(live.m_hBitmap, kSceneW, kSceneH);
        // The rows the host hands its toolkit are the pixels GDI reads back.
        for (int i : {0, kSceneW * 70 + 44, kSceneW * kSceneH - 1})
            EXPECT_EQ(px[size_t(i)], RGB(rows[i] >> 16 & 0xFF, rows[i] >> 8 & 0xFF, rows[i] & 0xFF)) << i;
        EXPECT_EQ(BannerColour(c.level), px[size_t(5) * kSceneW + 100]);
        EXPECT_EQ(kHead, px[size_t(kPlainY + c.apexY) * kSceneW + kPlainX + c.apexX]);
        if (c.turns % 4 == 0 && c.level == 0) {
            EXPECT_EQ(savedPx, px);
        } else {
            EXPECT_NE(savedPx, px);
        }
    }
    // Every level has a banner of its own, none the lobby's.
    for (long level = 1; level <= 24; ++level) {
        EXPECT_NE(kBanner, BannerColour(level)) << level;
        EXPECT_NE(BannerColour(level - 1), BannerColour(level)) << level;
    }
}
