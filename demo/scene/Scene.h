// The demo's picture: a small scene drawn with the library's image class and saved as a
// 24-bit bitmap file that a person can open.
//
// The scene (kSceneW x kSceneH) is a floor of tiles (TitleCopyImage), a banner across the
// top (FillRect), and an arrow sprite with a key colour round it drawn over the floor four
// times with TransCopyImage: 1:1, stretched x2, and turned by 90 and 270 degrees
// (CreateRotateBitmap). Every picture is made in code from filled rectangles. The lobby's
// window shows it live (SceneState): the 1:1 sprite turns and the banner takes the colour
// of the player's title level.
#ifndef LOBBYKIT_DEMO_SCENE_SCENE_H
#define LOBBYKIT_DEMO_SCENE_SCENE_H

#include <string>

#include <windows.h>

class CImage;

namespace demo {

// RGB as a constant expression.
constexpr COLORREF Colour(unsigned r, unsigned g, unsigned b) { return COLORREF(r | g << 8 | b << 16); }

// Tile: a 2 x 2 checker of kFloorA / kFloorB squares with a kGrout line at its right and
// bottom edge.
constexpr int kTile = 32;
constexpr COLORREF kFloorA = Colour(58, 112, 96), kFloorB = Colour(74, 134, 114), kGrout = Colour(34, 70, 60);

// Sprite: an arrow pointing up on the key colour. The head is a triangle whose row y
// (kHeadTop <= y < kHeadBottom) spans x from kSprite / 2 - (y - kHeadTop) to
// kSprite / 2 + (y - kHeadTop) inclusive; the shaft fills columns kShaftLeft to
// kShaftRight - 1 from kHeadBottom to kShaftBottom - 1, its left column in kShine.
constexpr int kSprite = 40;
constexpr int kHeadTop = 2, kHeadBottom = 20, kShaftLeft = 14, kShaftRight = 26, kShaftBottom = 38;
constexpr COLORREF kKey = Colour(255, 0, 255), kHead = Colour(250, 196, 36), kShaft = Colour(52, 120, 220),
                   kShine = Colour(170, 210, 255);

// Banner: a kBanner bar kBannerHeight high over the full width, its bottom kBannerEdgeHeight
// rows in kBannerEdge.
constexpr int kBannerHeight = 24, kBannerEdgeHeight = 3;
constexpr COLORREF kBanner = Colour(140, 28, 40), kBannerEdge = Colour(232, 180, 48);

// Where the sprite goes (top-left corners, in the scene).
constexpr int kSceneW = 320, kSceneH = 160;
constexpr int kPlainX = 24, kPlainY = 64;       // 1:1, kSprite x kSprite
constexpr int kStretchX = 84, kStretchY = 44;   // x2, 2 kSprite x 2 kSprite
constexpr int kTurn90X = 188, kTurn90Y = 64;    // turned 90: the arrow points right
constexpr int kTurn270X = 252, kTurn270Y = 64;  // turned 270: the arrow points left

// What the live scene shows of the lobby: the 1:1 sprite turned by `turns` quarter turns
// clockwise, and the banner in the colour of the title level `level` (0: the lobby's own
// kBanner). The default state is the scene the lobby saves.
struct SceneState {
    int turns = 0;
    long level = 0;
};

// The banner's colour for a title level: kBanner for 0 (and below), a colour of its own for
// each level from 1 on.
COLORREF BannerColour(long level);

// Draws the scene into `scene`: into its bitmap when it has one of kSceneW x kSceneH (a DIB
// section a window shows, say), else into a new one. False if a step failed; `failure`
// then names it.
bool DrawScene(CImage& scene, std::string& failure, const SceneState& state = SceneState());

// A kSceneW x kSceneH top-down 32-bpp DIB section held by `scene`, its pixel rows at
// *bits (kSceneW words apart). False if it could not be made.
bool CreateSceneSection(CImage& scene, void** bits);

// Writes the picture as a 24-bit bottom-up bitmap file (read with GetDIBits). False if the
// pixels cannot be read or the file cannot be written.
bool SaveBitmap24(const CImage& picture, const std::string& path);

// Draws the scene, saves it as lobbykit_scene.bmp in the folder of the program `argv0`,
// loads it back, and returns a line for the transcript: where the file is, or what failed
// (then the line says "could not").
std::string SaveSceneBeside(const char* argv0);

}  // namespace demo

#endif
