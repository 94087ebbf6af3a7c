// Effects. logo.cpp and bumpscroller.cpp draw the timeline's two 2D segments
// through the device layer's back-buffer lock and gamma.
//
// The two 2D segments drawn straight into the back buffer: the logo picture and
// the bump-mapped scroller. Their pictures are loaded by the start-up into the
// buffers below; the timeline sets fadeLevel before each frame.
#pragma once

#include <cstdint>

// Brightness of the current segment, 0 to 255 (written by the timeline).
extern int fadeLevel;

// Logo: 640 x 480 palette indices, top row first, and its RGB565 colours.
inline constexpr int logoWidth = 640;
inline constexpr int logoHeight = 480;
extern std::uint8_t* logoPicture;
extern std::uint16_t logoColors[256];

// Bump scroller buffers, rows top first (320 bytes a row, 256 for the light map).
inline constexpr int bumpWidth = 320;
inline constexpr int bumpHeight = 200;
inline constexpr int scrollTextRows = 1024;
extern std::uint8_t* scrollText;      // 320 x 1024, byte 0 transparent
extern std::uint8_t* bumpBackground;  // 320 x 200
extern std::uint8_t* lightMap;        // 256 x 256
extern std::uint8_t* bumpWork;        // 320 x 200
extern std::uint8_t* slopeMap;        // 320 x 200, zero-filled at start-up
extern std::uint16_t bumpColors[256];

void ShowLogo(float progress);
void BumpScroller(float progress);
// Slopes of a 320 x 200 height field along the diagonal; rows 0 and 199 and
// columns 0 and 319 are not written.
void BuildSlopeMap(const std::uint8_t* height, std::uint8_t* slope);
