// Where the software accelerator's frames go. Chosen in code before grSstOpen /
// grSstWinOpen: an offscreen output that keeps frames in memory (tests, capture),
// or a window for people (see glide_window.h for the main thread's side).
#pragma once

#include <cstdint>
#include <vector>

enum class GlideOutput {
  offscreen,  // frames stay in memory; grBufferSwap never waits
  window,     // an SDL2 window served by the main thread; swaps follow a 60 Hz schedule
};

// Takes effect at the next grSstQueryHardware / grSstWinOpen.
void GlideSelectOutput(GlideOutput output, bool fullscreen = false);
GlideOutput GlideSelectedOutput();

// The frame shown by the last grBufferSwap (the front buffer), with the gamma that
// was in force at that swap applied. False before the first swap.
bool GlideGetShownFrameRgb(std::vector<std::uint8_t>& rgb, int& width, int& height);
bool GlideSaveShownFramePng(const char* path);
// The shown frame's raw RGB565 rows, row 0 at the bottom, stride in pixels.
const std::uint16_t* GlideShownFrame565(int& width, int& height, int& stride);
float GlideShownGamma();
// The display's channel tables for a gamma: 5-bit and 6-bit values to 0..255.
void GlideGammaTables(float gamma, std::uint8_t (&five)[32], std::uint8_t (&six)[64]);
// RGB565 rows (row 0 at the bottom, stride in pixels) to RGB888 rows, top row
// first, with the display gamma applied.
void GlideConvertFrame565(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                          std::vector<std::uint8_t>& rgb);
// Number of grBufferSwap calls since the output opened.
std::uint64_t GlideSwapCount();

// Called on the drawing thread right after each grBufferSwap (the capture tool
// grabs the frame and advances its own clock there). Null removes it.
using GlideSwapHook = void (*)(void* user);
void GlideSetSwapHook(GlideSwapHook hook, void* user);

// Writes RGB888 rows (top row first) as a PNG. False on any failure.
bool GlideWritePng(const char* path, const std::uint8_t* rgb, int width, int height);
