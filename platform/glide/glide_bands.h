// Who draws a set-up triangle's rows: the calling thread alone, at once, or the
// band bins (glide_bins.h), where a worker and, when drawing must finish, the
// calling thread draw bands of rows, each band's triangles in the order they
// came, so the picture is the one a single thread draws.
#pragma once

#include "platform/glide/glide_raster.h"

namespace glide_detail {

// Where to set the next triangle up: a slot of the band bins while they are in
// use, else 'local'.
TriangleSetup& TriangleSlot(TriangleSetup& local);
// Draws the rows of the triangle set up in TriangleSlot() with the span
// implementation in use, or bins them.
void SubmitTriangle(const TriangleSetup& t);
// Returns when every triangle submitted so far is drawn: before the buffers or
// texture memory are read, written or replaced.
void FinishDrawing();
// Chooses spans and worker from the raster mode for a screen of this width.
void ConfigureRaster(int screenWidth);
// Finishes drawing and ends the worker thread (it starts again when needed).
void StopRasterWorker();

}  // namespace glide_detail
