// How the software accelerator draws: which span implementation and whether a
// worker thread shares the rows. Every choice draws the same pixels; the
// defaults are the fastest the machine offers. Tests compare the choices.
#pragma once

struct GlideRasterMode {
  bool vectorSpans = true;  // the widest spans the processor runs; false: the SSE2 reference
  bool worker = true;       // a second thread draws binned bands of rows (when there is a second core)
};

// Takes effect at once; drawing already submitted is finished first.
void GlideSetRasterMode(const GlideRasterMode& mode);
GlideRasterMode GlideGetRasterMode();
// What is in use now: "avx2" or "sse2", and whether the worker draws.
const char* GlideSpanPathName();
bool GlideRasterWorkerActive();
// Processor time the worker thread has used since it started (0 without it), for
// benchmarks to tell how the work is shared.
double GlideRasterWorkerCpuSeconds();
