// Chooses the mixer's kernel set: the best vector instruction set the
// processor runs, or a lower one on request (for comparisons and checks).
#include <atomic>

#include "sound/dsm.h"
#include "sound/dsmkern.h"

namespace {

bool HasAvx2() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

bool HasAvx512() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
         __builtin_cpu_supports("avx512vbmi") != 0;
#else
  return false;
#endif
}

int Best() {
  if (dsmAvx512Kernels != nullptr && HasAvx512()) {
    return dsmSimdAvx512;
  }
  if (dsmAvx2Kernels != nullptr && HasAvx2()) {
    return dsmSimdAvx2;
  }
  return dsmSse2Kernels != nullptr ? dsmSimdSse2 : dsmSimdScalar;
}

// Set by dsmSetSimdLevel; until then the best level is in effect.
std::atomic<int> chosenLevel{-1};
std::atomic<const DsmKernelSet*> chosen{nullptr};

}  // namespace

const DsmKernelSet* dsmKernelsAt(int level) {
  switch (level) {
    case dsmSimdAvx512:
      return dsmAvx512Kernels;
    case dsmSimdAvx2:
      return dsmAvx2Kernels;
    case dsmSimdSse2:
      return dsmSse2Kernels;
    default:
      return &dsmScalarKernels;
  }
}

int dsmSimdBest() {
  static const int best = Best();
  return best;
}

int dsmSetSimdLevel(int level) {
  if (level < dsmSimdScalar) {
    level = dsmSimdScalar;
  }
  if (level > dsmSimdBest()) {
    level = dsmSimdBest();
  }
  chosen.store(dsmKernelsAt(level), std::memory_order_relaxed);
  chosenLevel.store(level, std::memory_order_relaxed);
  return level;
}

int dsmGetSimdLevel() {
  const int level = chosenLevel.load(std::memory_order_relaxed);
  return level >= 0 ? level : dsmSimdBest();
}

const DsmKernelSet& dsmKernels() {
  static const DsmKernelSet* const best = dsmKernelsAt(dsmSimdBest());
  const DsmKernelSet* set = chosen.load(std::memory_order_relaxed);
  return set != nullptr ? *set : *best;
}
