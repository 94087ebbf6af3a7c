// Who draws: the calling thread alone, at once, or the band bins with their
// worker; and the span implementation in use.
#include "platform/glide/glide_bands.h"

#include <thread>

#include "platform/glide/glide_bins.h"
#include "platform/glide/glide_raster_mode.h"

using glide_detail::BandBins;
using glide_detail::RowsFunction;
using glide_detail::TriangleSetup;

namespace {

// Never destroyed: the worker may still be parked when the process exits, and
// grGlideShutdown is where it ends.
BandBins& TheBins() {
  static BandBins* bins = new BandBins;
  return *bins;
}

struct RasterChoice {
  GlideRasterMode mode;
  bool avx2 = false;  // the AVX2 spans are in use
  int screenWidth = 0;
  // Row functions by span kind (0 flat, 1 point-sampled, 2 bilinear) and depth kind.
  RowsFunction rows[3][3] = {};
};

RasterChoice& Choice() {
  static RasterChoice choice;
  return choice;
}

void ChooseRowFunctions(RasterChoice& c) {
  c.avx2 = c.mode.vectorSpans && glide_detail::CpuHasAvx2();
  for (int kind = 0; kind < 3; ++kind) {
    for (int depth = 0; depth < 3; ++depth) {
      const auto d = static_cast<glide_detail::DepthKind>(depth);
      c.rows[kind][depth] = c.avx2 ? glide_detail::ChooseRowsAvx2(kind > 0, kind == 2, d)
                                   : glide_detail::ChooseRowsSse2(kind > 0, kind == 2, d);
    }
  }
}

}  // namespace

namespace glide_detail {

TriangleSetup& TriangleSlot(TriangleSetup& local) {
  BandBins& bins = TheBins();
  return bins.Active() ? bins.Slot() : local;
}

void SubmitTriangle(const TriangleSetup& t) {
  RasterChoice& c = Choice();
  if (!c.rows[0][0]) ChooseRowFunctions(c);
  const int kind = t.textured ? (t.bilinear ? 2 : 1) : 0;
  const RowsFunction rows = c.rows[kind][t.depth];
  BandBins& bins = TheBins();
  if (bins.Active()) bins.Commit(rows);
  else rows(t, t.rowBegin, t.rowEnd);
}

void FinishDrawing() { TheBins().Finish(); }

void ConfigureRaster(int screenWidth) {
  RasterChoice& c = Choice();
  c.screenWidth = screenWidth;
  ChooseRowFunctions(c);
  // A span reads and writes back whole groups of pixels, up to 7 past its end:
  // within its own row only while the screen is narrower than the row stride.
  const bool rowsSeparate = screenWidth + 8 <= bufferStride;
  const bool wanted = c.mode.worker && screenWidth > 0 && rowsSeparate && std::thread::hardware_concurrency() >= 2;
  BandBins& bins = TheBins();
  bins.Finish();
  if (wanted) bins.Start();
  else bins.Stop();
}

void StopRasterWorker() { TheBins().Stop(); }

}  // namespace glide_detail

void GlideSetRasterMode(const GlideRasterMode& mode) {
  glide_detail::FinishDrawing();
  Choice().mode = mode;
  glide_detail::ConfigureRaster(Choice().screenWidth);
}

GlideRasterMode GlideGetRasterMode() { return Choice().mode; }

const char* GlideSpanPathName() {
  RasterChoice& c = Choice();
  if (!c.rows[0][0]) ChooseRowFunctions(c);
  return c.avx2 ? "avx2" : "sse2";
}

bool GlideRasterWorkerActive() { return TheBins().Active(); }

double GlideRasterWorkerCpuSeconds() { return TheBins().WorkerCpuSeconds(); }
