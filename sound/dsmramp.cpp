// Volume ramps, one sample at a time or worked out for a stretch at once.
#include "sound/dsmramp.h"

#include <algorithm>

namespace {

std::int32_t StepSize(std::int32_t step) { return step > 0 ? step : dsmDefaultRampStep; }

std::int32_t Toward(std::int32_t v, std::int32_t target, std::int32_t stepSize) {
  if (v < target) {
    return (target - v > stepSize) ? v + stepSize : target;
  }
  if (v > target) {
    return (v - target > stepSize) ? v - stepSize : target;
  }
  return v;
}

// One side of a ramp: stepping toward the target and stopping there, the
// volume after k steps is the start moved k steps, held at the target.
struct Side {
  std::int64_t start;
  std::int64_t target;
  std::int64_t stepSize;

  std::int64_t After(unsigned k) const {
    const std::int64_t moved = std::int64_t{k} * stepSize;
    return start < target ? std::min(start + moved, target) : std::max(start - moved, target);
  }
  std::int64_t StepsToTarget() const {
    const std::int64_t distance = start < target ? target - start : start - target;
    return (distance + stepSize - 1) / stepSize;
  }
};

}  // namespace

void dsmRampOnce(DsmChannel& ch) {
  ch.leftVol = Toward(ch.leftVol, ch.leftTarget, StepSize(ch.leftStep));
  ch.rightVol = Toward(ch.rightVol, ch.rightTarget, StepSize(ch.rightStep));
  if (ch.leftVol == ch.leftTarget && ch.rightVol == ch.rightTarget) {
    ch.ramping = 0;
  }
}

unsigned dsmRampVolumes(DsmChannel& ch, unsigned limit, std::int32_t* left, std::int32_t* right) {
  if (!ch.ramping || limit == 0) {
    return 0;
  }
  const Side l{ch.leftVol, ch.leftTarget, StepSize(ch.leftStep)};
  const Side r{ch.rightVol, ch.rightTarget, StepSize(ch.rightStep)};
  // The ramp's last sample is the one after whose step both sides are at
  // their targets; a ramp already there still takes one sample.
  const std::int64_t remaining = std::max<std::int64_t>({1, l.StepsToTarget(), r.StepsToTarget()});
  const auto n = static_cast<unsigned>(std::min<std::int64_t>(remaining, limit));
  for (unsigned k = 0; k < n; k++) {
    left[k] = static_cast<std::int32_t>(l.After(k));
    right[k] = static_cast<std::int32_t>(r.After(k));
  }
  ch.leftVol = static_cast<std::int32_t>(l.After(n));
  ch.rightVol = static_cast<std::int32_t>(r.After(n));
  if (n == remaining) {
    ch.ramping = 0;
  }
  return n;
}
