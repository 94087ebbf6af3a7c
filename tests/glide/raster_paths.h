// Draws the same thing under every raster mode (reference SSE2 spans on one thread,
// the vector spans, either with the worker) and reports the first pixel or depth
// value where a mode differs from the reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/glide/glide.h"
#include "platform/glide/glide_raster_mode.h"

namespace rasterpaths {

struct NamedMode {
  const char* name;
  GlideRasterMode mode;
};

inline const NamedMode modes[] = {
    {"reference", {false, false}},
    {"vector", {true, false}},
    {"reference+worker", {false, true}},
    {"vector+worker", {true, true}},
};

// The back buffer's colour and depth rows of a width x height screen.
struct Picture {
  std::vector<std::uint16_t> color, depth;
};

inline Picture ReadBack(int width, int height) {
  Picture p;
  for (GrBuffer_t buffer : {GR_BUFFER_BACKBUFFER, GR_BUFFER_AUXBUFFER}) {
    GrLfbInfo_t info{};
    info.size = sizeof(info);
    if (!grLfbLock(GR_LFB_READ_ONLY, buffer, GR_LFBWRITEMODE_ANY, GR_ORIGIN_LOWER_LEFT, FXFALSE, &info)) return p;
    std::vector<std::uint16_t>& out = buffer == GR_BUFFER_BACKBUFFER ? p.color : p.depth;
    const auto* base = static_cast<const std::uint8_t*>(info.lfbPtr);
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const std::uint16_t*>(base + static_cast<std::size_t>(y) * info.strideInBytes);
      out.insert(out.end(), row, row + width);
    }
    grLfbUnlock(GR_LFB_READ_ONLY, buffer);
  }
  return p;
}

// "" when equal, else where and how they differ.
inline std::string Difference(const Picture& expected, const Picture& actual, int width) {
  const auto compare = [width](const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b,
                               const char* what) -> std::string {
    if (a.size() != b.size()) return std::string(what) + " sizes differ";
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i])
        return std::string(what) + " at " + std::to_string(i % width) + "," + std::to_string(i / width) + ": " +
               std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    return "";
  };
  const std::string color = compare(expected.color, actual.color, "colour");
  return color.empty() ? compare(expected.depth, actual.depth, "depth") : color;
}

// Runs 'draw' under each mode after clearing; expects every picture to equal the
// reference's. Leaves the default mode set.
inline std::vector<std::string> CompareModes(const std::function<void()>& draw, int width = 640, int height = 480) {
  std::vector<std::string> failures;
  Picture reference;
  for (const NamedMode& m : modes) {
    GlideSetRasterMode(m.mode);
    draw();
    const Picture picture = ReadBack(width, height);
    if (&m == &modes[0]) {
      reference = picture;
      continue;
    }
    const std::string difference = Difference(reference, picture, width);
    if (!difference.empty()) failures.push_back(std::string(m.name) + ": " + difference);
  }
  GlideSetRasterMode(GlideRasterMode{});
  return failures;
}

}  // namespace rasterpaths
