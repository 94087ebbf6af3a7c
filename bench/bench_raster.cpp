// Rasterizer throughput: bilinear-textured, Gouraud-modulated, W-buffered,
// dithered triangles of several sizes, and whole 640 x 480 frames of about
// 20,000 triangles drawn through the polygon-drawing path. Each runs under three
// raster modes (the last argument): 0 the SSE2 reference spans on one thread, 1 the
// vector spans on one thread, 2 the vector spans with the worker thread. Times are
// wall-clock, since the worker's share is not the calling thread's CPU time.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "gfx/device.h"
#include "gfx/draw.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"
#include "platform/glide/glide_raster_mode.h"
#include "stdout_to_stderr.h"

namespace {

std::vector<std::uint16_t> texturePixels;

void OpenDevice() {
  GlideSelectOutput(GlideOutput::offscreen);
  {
    const StdoutToStderr banner;
    DeviceInit();
  }
  if (!DeviceIsOpen()) DeviceOpen(GR_RESOLUTION_640x480);
  SetViewportScale(1.0f);
  if (texturePixels.empty()) {
    texturePixels.resize(256 * 256);
    std::mt19937 rng(3);
    for (auto& p : texturePixels) p = static_cast<std::uint16_t>(rng());
    textures[0] = Texture{};
    textures[0].width = textures[0].height = 256;
    textures[0].pixels = texturePixels.data();
    nextTextureAddress = -1;
    UploadTexture(&textures[0]);
  }
}

// Processor time of the calling thread and of the worker, so that the share of
// each shows even on a busy machine, where the wall-clock time says little.
struct ThreadTimes {
  double caller = 0, worker = 0;
  static double CallerNow() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  void Start() {
    caller = CallerNow();
    worker = GlideRasterWorkerCpuSeconds();
  }
  // Per iteration: each thread's processor milliseconds, and the larger of the two
  // (what an iteration would take with both threads on a core of their own).
  void Report(benchmark::State& state) const {
    const double n = static_cast<double>(state.iterations());
    const double callerMs = (CallerNow() - caller) * 1e3 / n;
    const double workerMs = (GlideRasterWorkerCpuSeconds() - worker) * 1e3 / n;
    state.counters["caller_cpu_ms"] = callerMs;
    state.counters["worker_cpu_ms"] = workerMs;
    state.counters["busiest_cpu_ms"] = std::max(callerMs, workerMs);
  }
};

void SetRasterMode(benchmark::State& state, int argument) {
  const int mode = static_cast<int>(state.range(argument));
  GlideSetRasterMode(GlideRasterMode{mode >= 1, mode == 2});
  state.SetLabel(std::string(GlideSpanPathName()) + (GlideRasterWorkerActive() ? "+worker" : ""));
}

void SetTexturedGouraudState() {
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR);
  grTexClampMode(GR_TMU0, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_WRAP);
  grDitherMode(GR_DITHER_4x4);
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDepthMask(FXTRUE);
  grCullMode(GR_CULL_DISABLE);
  grClipWindow(0, 0, 640, 480);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grTexSource(GR_TMU0, textures[0].startAddress, GR_MIPMAPLEVELMASK_BOTH, textures[0].Descriptor());
}

// Right triangles with legs of 'leg' pixels (area leg^2 / 2), scattered over the
// screen, each nearer than the last so every pixel passes the depth test; the
// depth buffer is cleared when the depth range is used up (counted in the time).
void BM_TexturedTriangles(benchmark::State& state) {
  OpenDevice();
  SetRasterMode(state, 1);
  SetTexturedGouraudState();
  grBufferClear(0, 0, 0xFFFF);
  const float leg = static_cast<float>(state.range(0));
  constexpr int batch = 512;
  constexpr int depthSteps = 20000;  // w from 60000 down to about 2.7
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> px(0.0f, 640.0f - leg), py(0.0f, 480.0f - leg);
  std::vector<GrVertex> vertices(batch * 3);
  for (int i = 0; i < batch; ++i) {
    const float x = std::round(px(rng) * 16) / 16, y = std::round(py(rng) * 16) / 16;
    const float xs[3] = {x, x + leg, x}, ys[3] = {y, y, y + leg};
    for (int k = 0; k < 3; ++k) {
      GrVertex& v = vertices[static_cast<std::size_t>(i * 3 + k)];
      v = GrVertex{};
      v.x = xs[k];
      v.y = ys[k];
      v.r = 255.0f - 80.0f * static_cast<float>(k);
      v.g = 200.0f;
      v.b = 60.0f * static_cast<float>(k);
    }
  }
  int step = 0;
  double pixels = 0;
  ThreadTimes times;
  times.Start();
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) {
      if (step == depthSteps) {
        grBufferClear(0, 0, 0xFFFF);
        step = 0;
      }
      const float oow = 1.0f / (60000.0f * std::pow(0.9995f, static_cast<float>(step++)));
      GrVertex* v = &vertices[static_cast<std::size_t>(i * 3)];
      for (int k = 0; k < 3; ++k) {
        v[k].oow = v[k].tmuvtx[0].oow = oow;
        v[k].tmuvtx[0].sow = v[k].x * 0.7f * oow;
        v[k].tmuvtx[0].tow = v[k].y * 0.9f * oow;
      }
      grDrawTriangle(&v[0], &v[1], &v[2]);
    }
    pixels += batch * leg * leg * 0.5;
  }
  grSstIdle();
  times.Report(state);
  state.counters["pixels_per_second"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
  state.counters["triangles_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * batch, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TexturedTriangles)
    ->ArgsProduct({{8, 16, 32, 64, 128}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// A frame of about 20,000 triangles: three layers of a rippled grid of textured,
// Gouraud-lit quads in eye space, each covering about the whole screen, drawn far
// to near through DrawPolygonList with the frame's full render state.
void BM_Frame20000Triangles(benchmark::State& state) {
  OpenDevice();
  SetRasterMode(state, 0);
  static std::vector<Polygon> list;
  list.clear();
  constexpr int columns = 60, rows = 56, layers = 3;
  double area = 0;
  for (int layer = 0; layer < layers; ++layer) {
    const float z = 5.0f - static_cast<float>(layer);  // far layers first: every pixel passes
    auto point = [&](int i, int j) {
      const float x = (static_cast<float>(i) / columns * 2.0f - 1.0f) * z * 1.05f;
      const float y = (static_cast<float>(j) / rows * 2.0f - 1.0f) * z * 0.8f;
      const float dz = 0.15f * std::sin(static_cast<float>(i) * 0.4f + static_cast<float>(layer)) *
                       std::cos(static_cast<float>(j) * 0.3f);
      PolygonVertex v{x, y, z + dz, 0, 0, 0, static_cast<float>(i) * 12.0f, static_cast<float>(j) * 12.0f};
      v.r = 128 + 127 * std::sin(static_cast<float>(i) * 0.2f);
      v.g = 128 + 127 * std::cos(static_cast<float>(j) * 0.25f);
      v.b = 200;
      return v;
    };
    for (int j = 0; j < rows; ++j) {
      for (int i = 0; i < columns; ++i) {
        const PolygonVertex a = point(i, j), b = point(i + 1, j), c = point(i + 1, j + 1), d = point(i, j + 1);
        for (int half = 0; half < 2; ++half) {
          Polygon p{};
          p.flags = polygonEmit | polygonTextured | 1 | polygonTwoSided;
          p.texture = 0;
          p.count = 3;
          p.vertices[0] = a;
          p.vertices[1] = half ? c : b;
          p.vertices[2] = half ? d : c;
          list.push_back(p);
        }
      }
    }
  }
  // Pixels drawn per frame: every layer covers about the whole screen.
  area = 640.0 * 480.0 * layers;
  double frames = 0;
  ThreadTimes times;
  times.Start();
  for (auto _ : state) {
    ClearBuffer();
    DrawPolygonList(list.data(), static_cast<int>(list.size()), textures, 90.0f, 255);
    SwapBuffers(0);
    frames += 1;
  }
  times.Report(state);
  state.counters["triangles"] = static_cast<double>(list.size());
  state.counters["frames_per_second"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["pixels_per_second"] = benchmark::Counter(frames * area, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Frame20000Triangles)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
