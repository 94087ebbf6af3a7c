// The accelerator device layer over the Glide interface.
#include "gfx/device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "gfx/draw.h"

const ScreenMode screenModes[screenModeCount] = {
    {512, 384, GR_RESOLUTION_512x384},
    {640, 400, GR_RESOLUTION_640x400},
    {640, 480, GR_RESOLUTION_640x480},
    {800, 600, GR_RESOLUTION_800x600},
};

int deviceInitialized = 0;
int deviceOpen = 0;
int ditherEnabled = 1;
std::int32_t nextTextureAddress = -1;
int screenWidth = 0, screenHeight = 0;
int viewWidth = 0, viewHeight = 0;
std::uint32_t alphaShift[256], redShift[256], greenShift[256], blueShift[256];
GrLfbInfo_t lockInfo;

namespace {

// Steps 3 to 7 of the initialisation, repeated after each close.
void InitLibrary() {
  grGlideInit();
  GrHwConfiguration hardware;
  if (!grSstQueryHardware(&hardware)) return;
  grSstSelect(0);
  ResetClipVertices();
  nextTextureAddress = -1;
  deviceInitialized = 1;
}

}  // namespace

const ScreenMode* FindScreenMode(const ScreenMode* table, int rows, int width, int height) {
  for (int i = 0; i < rows; ++i)
    if (table[i].width == width && table[i].height == height) return &table[i];
  return table;
}

void DeviceInit() {
  if (deviceInitialized == 1) return;
  std::printf("3D engine: software Glide 2.x renderer, 16-bit colour, W-buffered\n");
  std::fflush(stdout);
  static bool registered = false;
  if (!registered) {
    std::atexit(DeviceShutdownAtExit);
    registered = true;
  }
  InitLibrary();
}

void DeviceOpen(int resolution) {
  if (deviceInitialized == 0) return;
  if (deviceOpen == 1) DeviceClose();
  // A close may have found no accelerator again.
  if (deviceInitialized == 0) return;
  for (const ScreenMode& mode : screenModes) {
    if (mode.resolution == resolution) {
      screenWidth = viewWidth = mode.width;
      screenHeight = viewHeight = mode.height;
    }
  }
  if (!grSstWinOpen(0, resolution, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 1))
    return;
  for (std::uint32_t i = 0; i < 256; ++i) {
    alphaShift[i] = i << 24;
    redShift[i] = i << 16;
    greenShift[i] = i << 8;
    blueShift[i] = i;
  }
  deviceOpen = 1;
}

int DeviceIsOpen() { return deviceOpen; }

void DeviceClose() {
  if (deviceInitialized != 1 || deviceOpen != 1) return;
  grGlideShutdown();
  deviceInitialized = 0;
  InitLibrary();
  deviceOpen = 0;
}

void SetViewportScale(float factor) {
  // NaN falls to 0 instead of passing the clamp.
  factor = factor == factor ? std::clamp(factor, -1.0f, 1.0f) : 0.0f;
  viewWidth = static_cast<int>(static_cast<float>(screenWidth) * factor);
  viewHeight = static_cast<int>(static_cast<float>(screenHeight) * factor);
}

void ClearBuffer() { grBufferClear(0, 0, 0xFFFF); }

void SwapBuffers(int interval) { grBufferSwap(interval); }

std::uint16_t* LockBackBuffer(int* stride) {
  lockInfo.size = sizeof(lockInfo);
  if (!grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY,
                 FXFALSE, &lockInfo))
    return nullptr;
  if (stride) *stride = static_cast<int>(lockInfo.strideInBytes);
  return static_cast<std::uint16_t*>(lockInfo.lfbPtr);
}

void UnlockBackBuffer() { grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER); }

void DeviceShutdownAtExit() {
  grGlideShutdown();
  deviceInitialized = 0;
}
