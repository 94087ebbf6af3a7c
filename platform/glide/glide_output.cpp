// The two outputs behind the accelerator: offscreen (the shown frame stays in
// memory) and the window (frames handed to the main thread, swaps paced by a
// 60 Hz retrace schedule). Also gamma tables and PNG writing.
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/glide/glide_internal.h"
#include "platform/glide/glide_output.h"
#include "platform/glide/glide_window_internal.h"

namespace {

struct OutputState {
  GlideOutput selected = GlideOutput::offscreen;
  bool fullscreen = false;
  bool open = false;
  const std::uint16_t* shown = nullptr;
  int width = 0;
  int height = 0;
  float shownGamma = 1.0f;
  std::uint64_t swaps = 0;
  GlideSwapHook hook = nullptr;
  void* hookUser = nullptr;
  std::chrono::steady_clock::time_point epoch;
};

OutputState& Output() {
  static OutputState output;
  return output;
}

constexpr std::chrono::nanoseconds retracePeriod{1000000000 / 60};

// Sleeps until the next tick of the retrace schedule that started when the
// output opened.
void WaitForRetrace(int intervals) {
  const auto now = std::chrono::steady_clock::now();
  const auto elapsed = now - Output().epoch;
  const auto ticks = elapsed / retracePeriod + intervals;
  std::this_thread::sleep_until(Output().epoch + ticks * retracePeriod);
}

}  // namespace

namespace glide_detail {

void BuildGammaTable(float gamma, int bits, std::uint8_t* table) {
  const int top = (1 << bits) - 1;
  for (int i = 0; i <= top; ++i) {
    if (!(gamma > 0.0f)) {
      table[i] = 0;
      continue;
    }
    const double in = i / static_cast<double>(top);
    table[i] = static_cast<std::uint8_t>(std::lround(255.0 * std::pow(in, 1.0 / gamma)));
  }
}

bool OutputAvailable() {
  if (Output().selected == GlideOutput::offscreen) return true;
  return WindowVideoAvailable();
}

bool OutputOpen(int width, int height) {
  OutputState& o = Output();
  if (o.selected == GlideOutput::window && !WindowRequestOpen(width, height, o.fullscreen))
    return false;
  o.open = true;
  o.shown = nullptr;
  o.width = width;
  o.height = height;
  o.swaps = 0;
  o.epoch = std::chrono::steady_clock::now();
  return true;
}

void OutputPresent(const std::uint16_t* frame, int width, int height, float gamma,
                   int swapInterval) {
  OutputState& o = Output();
  if (!o.open) return;
  o.shown = frame;
  o.width = width;
  o.height = height;
  o.shownGamma = gamma;
  ++o.swaps;
  if (o.selected == GlideOutput::window) {
    WindowPostFrame(frame, bufferStride, width, height, gamma);
    if (swapInterval > 0) WaitForRetrace(swapInterval);
  }
  if (o.hook) o.hook(o.hookUser);
}

void OutputClose() {
  OutputState& o = Output();
  if (!o.open) return;
  if (o.selected == GlideOutput::window) WindowRequestClose();
  o.open = false;
  o.shown = nullptr;
}

}  // namespace glide_detail

void GlideSelectOutput(GlideOutput output, bool fullscreen) {
  Output().selected = output;
  Output().fullscreen = fullscreen;
}

GlideOutput GlideSelectedOutput() { return Output().selected; }

const std::uint16_t* GlideShownFrame565(int& width, int& height, int& stride) {
  const OutputState& o = Output();
  width = o.width;
  height = o.height;
  stride = glide_detail::bufferStride;
  return o.open ? o.shown : nullptr;
}

float GlideShownGamma() { return Output().shownGamma; }
std::uint64_t GlideSwapCount() { return Output().swaps; }

void GlideSetSwapHook(GlideSwapHook hook, void* user) {
  Output().hook = hook;
  Output().hookUser = user;
}

void GlideGammaTables(float gamma, std::uint8_t (&five)[32], std::uint8_t (&six)[64]) {
  glide_detail::BuildGammaTable(gamma, 5, five);
  glide_detail::BuildGammaTable(gamma, 6, six);
}

void GlideConvertFrame565(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                          std::vector<std::uint8_t>& rgb) {
  std::uint8_t five[32], six[64];
  GlideGammaTables(gamma, five, six);
  rgb.resize(static_cast<std::size_t>(width) * height * 3);
  std::uint8_t* out = rgb.data();
  // Row 0 of the buffer is the bottom of the picture: emit top row first.
  for (int y = height - 1; y >= 0; --y) {
    const std::uint16_t* row = frame + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const std::uint16_t c = row[x];
      out[0] = five[c >> 11];
      out[1] = six[(c >> 5) & 63];
      out[2] = five[c & 31];
      out += 3;
    }
  }
}

bool GlideGetShownFrameRgb(std::vector<std::uint8_t>& rgb, int& width, int& height) {
  int stride = 0;
  const std::uint16_t* frame = GlideShownFrame565(width, height, stride);
  if (!frame) return false;
  GlideConvertFrame565(frame, stride, width, height, Output().shownGamma, rgb);
  return true;
}

bool GlideWritePng(const char* path, const std::uint8_t* rgb, int width, int height) {
  if (!path || !rgb || width <= 0 || height <= 0) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(rgb + static_cast<std::size_t>(y) * width * 3));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

bool GlideSaveShownFramePng(const char* path) {
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  if (!GlideGetShownFrameRgb(rgb, width, height)) return false;
  return GlideWritePng(path, rgb.data(), width, height);
}
