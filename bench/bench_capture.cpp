// Speed of the offline capture of the whole presentation on the default content,
// as a multiple of real time, with the video encoded in-process or as PNG frames.
// The start-up can run once per process, so each benchmark is one capture; run
// one benchmark per process with --benchmark_filter. The colour conversion of
// one frame is measured on its own: scalar, SSSE3 and the best path (AVX2).
//
//   bench_capture --benchmark_filter=CaptureVideo
//   BENCH_CAPTURE_SECONDS=30 bench_capture --benchmark_filter=CaptureVideo
//   BENCH_CAPTURE_DRAW_THREADS=1 bench_capture --benchmark_filter=CaptureVideo  (no worker)
//   bench_capture --benchmark_filter=Yuv

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "stdout_to_stderr.h"
#include "tools/democapture/capture.h"
#include "tools/democapture/video_sink.h"
#include "tools/democapture/yuv.h"

namespace {

bool started = false;

// CPU seconds of every thread of the process so far: on a shared machine the cost
// of a capture is steadier than its wall time.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Capture(benchmark::State& state, bool video) {
  const std::string content = DEMO_CONTENT_DIR;
  if (!std::filesystem::exists(content + "/demo.dat")) {
    state.SkipWithError("the default content is not built (demo.dat missing)");
    return;
  }
  if (started) {
    state.SkipWithError("one capture per process: choose one benchmark with --benchmark_filter");
    return;
  }
  if (video && !VideoEncodingAvailable()) {
    state.SkipWithError("built without an H.264 encoder");
    return;
  }
  double seconds = 218.0;
  if (const char* limit = std::getenv("BENCH_CAPTURE_SECONDS")) seconds = std::atof(limit);
  const std::string out = std::filesystem::temp_directory_path() / ("bench-capture-" + std::to_string(getpid()));
  std::filesystem::create_directories(out);
  for (auto _ : state) {
    started = true;
    CaptureOptions options;
    options.output = out + "/capture.mp4";
    options.dataDir = content;
    options.to = seconds;
    options.useVideo = video;
    if (const char* threads = std::getenv("BENCH_CAPTURE_DRAW_THREADS")) options.drawThreads = std::atoi(threads);
    CaptureResult result;
    std::string error;
    const auto begin = std::chrono::steady_clock::now();
    const double cpuBefore = ProcessCpuSeconds();
    bool captured = false;
    {
      const StdoutToStderr banner;  // the presentation's start-up prints to stdout
      captured = RunCapture(options, result, error);
    }
    if (!captured) {
      state.SkipWithError(error.c_str());
      break;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    state.counters["x_realtime"] = result.seconds / wall;
    // What two idle cores would reach at best: presentation seconds per CPU second, twice.
    state.counters["cpu_s"] = cpu;
    state.counters["x_realtime_2_cores_ideal"] = 2.0 * result.seconds / cpu;
    state.counters["frames_per_s"] = static_cast<double>(result.frames) / wall;
    state.counters["presentation_s"] = result.seconds;
  }
  std::error_code ec;
  std::filesystem::remove_all(out, ec);
}

void CaptureVideo(benchmark::State& state) { Capture(state, true); }
void CapturePngFrames(benchmark::State& state) { Capture(state, false); }

// One 640 x 480 frame of random colours with a fade's gamma, to YUV 4:2:0.
void YuvConvert(benchmark::State& state, YuvConverter::Path path) {
  std::vector<std::uint16_t> frame(1024 * 480);
  std::mt19937 random(7);
  for (std::uint16_t& pixel : frame) pixel = static_cast<std::uint16_t>(random());
  YuvConverter converter(path);
  std::vector<std::uint8_t> yuv;
  for (auto _ : state) {
    converter.Convert(frame.data(), 1024, 640, 480, 0.8f, yuv);
    benchmark::DoNotOptimize(yuv.data());
  }
  state.counters["Mpixel_per_s"] = benchmark::Counter(640.0 * 480.0 * static_cast<double>(state.iterations()) / 1e6,
                                                      benchmark::Counter::kIsRate);
}

void YuvScalar(benchmark::State& state) { YuvConvert(state, YuvConverter::Path::scalar); }
void YuvSsse3(benchmark::State& state) { YuvConvert(state, YuvConverter::Path::ssse3); }
void YuvVector(benchmark::State& state) { YuvConvert(state, YuvConverter::Path::best); }

BENCHMARK(YuvScalar);
BENCHMARK(YuvSsse3);
BENCHMARK(YuvVector);
BENCHMARK(CaptureVideo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(CapturePngFrames)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
