// Pictures in the formats real 3D Studio files name (PNG, JPEG, GIF, TGA, BMP,
// PCX, ...), decoded by SDL2_image into a texture record the accelerator takes:
// RGB565, square, a power of two on a side and at most the given limit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/texture.h"

inline constexpr int maxTextureSide = 256;

// The side a width x height picture is resampled to: the power of two at or
// above its longer side, held to 1..limit.
int TextureSide(int width, int height, int limit = maxTextureSide);

// Fills pixels, width and height of the texture (mipmap 0). False, with the
// texture untouched, for bytes that are no picture SDL2_image reads.
bool DecodePicture(const std::uint8_t* data, std::size_t size, Texture* texture, int limit = maxTextureSide);
