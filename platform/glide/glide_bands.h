// Who draws a set-up triangle's rows: the calling thread alone, or the calling
// thread and a worker, each owning interleaved bands of rows. Every pixel belongs
// to one thread, which draws the triangles in the order they came, so the picture
// is the one a single thread draws.
#pragma once

#include "platform/glide/glide_raster.h"

namespace glide_detail {

// Draws the triangle's rows with the span implementation in use, or queues the
// worker's share of them.
void SubmitTriangle(const TriangleSetup& t);
// Returns when every triangle submitted so far is drawn: before the buffers or
// texture memory are read, written or replaced.
void FinishDrawing();
// Chooses spans and worker from the raster mode for a screen of this width.
void ConfigureRaster(int screenWidth);
// Finishes drawing and ends the worker thread (it starts again when needed).
void StopRasterWorker();

}  // namespace glide_detail
