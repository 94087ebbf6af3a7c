// Between the accelerator (drawing thread) and the window (main thread).
#pragma once

#include <cstdint>

namespace glide_detail {

// Initialises SDL video; false when no display can be used.
bool WindowVideoAvailable();
// Asks the main thread for a window of this size; false when video is unusable.
bool WindowRequestOpen(int width, int height, bool fullscreen);
void WindowRequestClose();
// Copies a finished frame (row 0 at the bottom) for the main thread to show.
void WindowPostFrame(const std::uint16_t* frame, int stride, int width, int height, float gamma);

}  // namespace glide_detail
