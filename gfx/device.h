// Graphics device layer, over the Glide interface of platform/glide. device.h:
// the accelerator itself; texture.h: the 128-entry texture table, PCX and BMP
// decoding from archive members and texture upload; draw.h: the frame's polygon
// list, with projection, near-plane clipping and render state for the scene
// engine's triangles.
//
// The accelerator device layer: initialisation, the screen mode table, opening and
// closing the output, clearing, swapping and direct access to the back buffer.
#pragma once

#include <cstdint>

#include "platform/glide/glide.h"

struct ScreenMode {
  std::int32_t width;
  std::int32_t height;
  std::int32_t resolution;  // GrScreenResolution_t
};

inline constexpr int screenModeCount = 4;
extern const ScreenMode screenModes[screenModeCount];

extern int deviceInitialized;
extern int deviceOpen;
extern int ditherEnabled;
extern std::int32_t nextTextureAddress;  // -1 until the first upload asks
extern int screenWidth, screenHeight;
extern int viewWidth, viewHeight;
// Channel tables for composing 0xAARRGGBB: i << 24, i << 16, i << 8, i.
extern std::uint32_t alphaShift[256], redShift[256], greenShift[256], blueShift[256];
extern GrLfbInfo_t lockInfo;

// The first row matching width and height, else the table's first row.
const ScreenMode* FindScreenMode(const ScreenMode* table, int rows, int width, int height);

void DeviceInit();
void DeviceOpen(int resolution);
int DeviceIsOpen();
void DeviceClose();
void SetViewportScale(float factor);
void ClearBuffer();
void SwapBuffers(int interval);
// The back buffer's first pixel (row 0 is the bottom row) and its stride in bytes;
// null when the lock fails, and the stride is then left alone.
std::uint16_t* LockBackBuffer(int* stride);
void UnlockBackBuffer();
void DeviceShutdownAtExit();
