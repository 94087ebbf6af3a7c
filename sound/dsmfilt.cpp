// The mixer's output filter, run as the first post-processor on the
// accumulators: a light and a strong low-pass over the last inputs, with a
// history per output channel that carries across mixing chunks.
#include <cstdint>

#include "sound/dsmmix.h"

namespace {

struct History {
  std::int32_t x1, x2;
  float f1, f2;
};

History history[2];

template <int Stride>
void FilterInt(std::int32_t* acc, unsigned frames) {
  const int mode = dsm.filterMode;
  if (mode != dsmFilterLight && mode != dsmFilterStrong) {
    return;
  }
  for (int c = 0; c < Stride; c++) {
    std::int32_t x1 = history[c].x1;
    std::int32_t x2 = history[c].x2;
    std::int32_t* p = acc + c;
    if (mode == dsmFilterLight) {
      // (2x + x1) * (1/4 + 1/8 - 1/32), with shifts.
      for (unsigned i = 0; i < frames; i++, p += Stride) {
        const std::int32_t x = *p;
        const std::int64_t t = std::int64_t{2} * x + x1;
        *p = static_cast<std::int32_t>((t >> 2) + (t >> 3) - (t >> 5));
        x2 = x1;
        x1 = x;
      }
    } else {
      for (unsigned i = 0; i < frames; i++, p += Stride) {
        const std::int32_t x = *p;
        *p = static_cast<std::int32_t>((std::int64_t{4} * x + std::int64_t{3} * x1 + x2) >> 3);
        x2 = x1;
        x1 = x;
      }
    }
    history[c].x1 = x1;
    history[c].x2 = x2;
  }
}

template <int Stride>
void FilterFloat(float* acc, unsigned frames) {
  const int mode = dsm.filterMode;
  if (mode != dsmFilterLight && mode != dsmFilterStrong) {
    return;
  }
  for (int c = 0; c < Stride; c++) {
    float x1 = history[c].f1;
    float x2 = history[c].f2;
    float* p = acc + c;
    if (mode == dsmFilterLight) {
      for (unsigned i = 0; i < frames; i++, p += Stride) {
        const float x = *p;
        *p = (2.0f * x + x1) * (1.0f / 3.0f);
        x2 = x1;
        x1 = x;
      }
    } else {
      for (unsigned i = 0; i < frames; i++, p += Stride) {
        const float x = *p;
        *p = (4.0f * x + 3.0f * x1 + x2) * 0.125f;
        x2 = x1;
        x1 = x;
      }
    }
    history[c].f1 = x1;
    history[c].f2 = x2;
  }
}

DsmPostProcessor filterNode = {&FilterInt<1>, &FilterInt<2>, &FilterFloat<1>, &FilterFloat<2>,
                               nullptr};

}  // namespace

DsmPostProcessor* dsmFilterNode() {
  filterNode.next = nullptr;
  return &filterNode;
}

void dsmFilterReset() {
  history[0] = History{};
  history[1] = History{};
}
