// The mixer's output filter, run as the first post-processor on the
// accumulators: a light and a strong low-pass over the last inputs, with a
// history per output channel that carries across mixing chunks.
//
// On interleaved accumulators the previous input of a channel sits one
// frame (Stride samples) earlier, so the floating-point filters run over the
// buffer as one flat sequence, from its end back to its start: each output
// then reads inputs that are not yet overwritten, and four of them can be
// computed at once with the same operations, in the same order, as one.
#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

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

// The floating-point filter over `samples` interleaved accumulators of
// Stride channels. Input j of the flat sequence is acc[j], or before the
// buffer the history: j = -Stride + c is channel c's last input, j =
// -2 Stride + c the one before.
template <int Stride, bool Strong>
class FloatFilter {
 public:
  FloatFilter(float* acc, unsigned samples) : acc_(acc), samples_(samples) {
    for (int c = 0; c < Stride; c++) {
      before_[c] = history[c].f2;
      before_[Stride + c] = history[c].f1;
    }
  }

  void Run() {
    float last[2 * Stride];
    for (int k = 0; k < 2 * Stride; k++) {
      last[k] = Input(static_cast<std::int64_t>(samples_) - 2 * Stride + k);
    }
    std::int64_t top = samples_;
#if defined(__x86_64__)
    top = RunVector();
#endif
    for (std::int64_t i = top - 1; i >= 0; i--) {
      acc_[i] = Output(acc_[i], Input(i - Stride), Input(i - 2 * Stride));
    }
    for (int c = 0; c < Stride; c++) {
      history[c].f2 = last[c];
      history[c].f1 = last[Stride + c];
    }
  }

 private:
  static constexpr std::int64_t reach = Strong ? 2 * Stride : Stride;

  float Input(std::int64_t j) const { return j >= 0 ? acc_[j] : before_[j + 2 * Stride]; }

  static float Output(float x, float x1, float x2) {
    if constexpr (Strong) {
      return (4.0f * x + 3.0f * x1 + x2) * 0.125f;
    } else {
      return (2.0f * x + x1) * (1.0f / 3.0f);
    }
  }

#if defined(__x86_64__)
  // Four outputs at a time from the end down to the first whose inputs are
  // all inside the buffer; returns where the scalar loop takes over.
  std::int64_t RunVector() {
    std::int64_t top = samples_;
    for (; top - 4 >= reach; top -= 4) {
      float* p = acc_ + top - 4;
      const __m128 x = _mm_loadu_ps(p);
      const __m128 x1 = _mm_loadu_ps(p - Stride);
      __m128 y;
      if constexpr (Strong) {
        const __m128 x2 = _mm_loadu_ps(p - 2 * Stride);
        y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(4.0f), x), _mm_mul_ps(_mm_set1_ps(3.0f), x1)), x2);
        y = _mm_mul_ps(y, _mm_set1_ps(0.125f));
      } else {
        y = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.0f), x), x1), _mm_set1_ps(1.0f / 3.0f));
      }
      _mm_storeu_ps(p, y);
    }
    return top;
  }
#endif

  float* acc_;
  unsigned samples_;
  float before_[2 * Stride];
};

template <int Stride>
void FilterFloat(float* acc, unsigned frames) {
  const int mode = dsm.filterMode;
  if (mode == dsmFilterLight) {
    FloatFilter<Stride, false>(acc, frames * Stride).Run();
  } else if (mode == dsmFilterStrong) {
    FloatFilter<Stride, true>(acc, frames * Stride).Run();
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
