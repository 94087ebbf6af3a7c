// Textures and pictures: the 128 texture records shared by every scene (each is at
// the same time the accelerator's texture descriptor), the PCX and BMP decoders
// that fill them from archive members, and the upload into texture memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/glide/glide.h"

struct Texture {
  // Accelerator descriptor, laid out as GrTexInfo and handed over unchanged.
  GrLOD_t smallLod;
  GrLOD_t largeLod;
  GrAspectRatio_t aspectRatio;
  GrTextureFormat_t format;
  void* data;
  // Our own part of the record.
  std::uint16_t* pixels;        // width x height RGB565 values, rows in order
  std::int32_t width;           // pixels; the scene engine scales texel coordinates by it
  std::int32_t height;
  std::int32_t mipmap;          // 0: one level only
  std::uint32_t memoryRequired; // bytes of texture memory
  std::uint32_t startAddress;   // in the texture memory of texture unit 0

  GrTexInfo* Descriptor() { return reinterpret_cast<GrTexInfo*>(this); }
};
static_assert(offsetof(Texture, data) == offsetof(GrTexInfo, data),
              "the descriptor fields come first, as in GrTexInfo");

inline constexpr int maxTextures = 128;
inline constexpr int textureNameSize = 64;  // NUL-terminated: at most 63 characters

extern Texture textures[maxTextures];
extern char textureNames[maxTextures][textureNameSize];
extern int textureCount;

// Palette (256 x r, g, b, each 0 to 63) and size of the last picture LoadPcxPicture read.
extern std::uint8_t picturePalette[768];
extern std::int32_t pictureWidth;
extern std::int32_t pictureHeight;

// Each returns 1 on success, 0 on failure; nothing is reported.
int LoadPcxTexture(const char* name, Texture* texture, int mipmap);
int LoadBmpTexture(const char* name, Texture* texture, int mipmap);
// Places the picture's 8-bit indices with its top-left corner at column x, row y of
// a raster pitch bytes wide, cut at column pitch and at row rowLimit.
int LoadPcxPicture(const char* name, std::uint8_t* destination, int x, int y, int pitch,
                   int rowLimit);
// Fills the descriptor and copies the texels into texture memory. 0 for a shape
// the accelerator cannot take or when texture memory is full.
int UploadTexture(Texture* texture);

// Times v can be halved before reaching 0, minus one; -1 for v <= 0.
int Log2Floor(std::int32_t v);
