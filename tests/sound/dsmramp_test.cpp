// Volume ramps worked out for a stretch at once against the ramp stepped one
// sample at a time: the same volumes before every sample, the same volumes
// and ramp state after, whichever way each side moves and wherever the
// stretch ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/dsmramp.h"

namespace {

DsmChannel Ramp(std::int32_t left, std::int32_t leftTarget, std::int32_t leftStep,
                std::int32_t right, std::int32_t rightTarget, std::int32_t rightStep) {
  DsmChannel ch{};
  ch.leftVol = left;
  ch.leftTarget = leftTarget;
  ch.leftStep = leftStep;
  ch.rightVol = right;
  ch.rightTarget = rightTarget;
  ch.rightStep = rightStep;
  ch.ramping = 1;
  return ch;
}

// Walks the whole ramp in stretches of at most `limit` samples, each checked
// against the same number of single steps; returns the samples it took.
unsigned CheckAgainstSteps(DsmChannel stretch, unsigned limit) {
  DsmChannel stepped = stretch;
  unsigned total = 0;
  while (stretch.ramping) {
    std::vector<std::int32_t> left(limit), right(limit);
    const unsigned n = dsmRampVolumes(stretch, limit, left.data(), right.data());
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, limit);
    for (unsigned k = 0; k < n; k++) {
      EXPECT_TRUE(stepped.ramping) << "the stepped ramp ended first, sample " << total + k;
      EXPECT_EQ(left[k], stepped.leftVol) << "sample " << total + k;
      EXPECT_EQ(right[k], stepped.rightVol) << "sample " << total + k;
      dsmRampOnce(stepped);
    }
    EXPECT_EQ(stretch.leftVol, stepped.leftVol);
    EXPECT_EQ(stretch.rightVol, stepped.rightVol);
    EXPECT_EQ(stretch.ramping, stepped.ramping);
    total += n;
    if (n == 0 || ::testing::Test::HasFailure()) break;
  }
  return total;
}

TEST(DsmRampTest, StretchesGiveTheVolumesOfSingleSteps) {
  const std::int32_t full = dsmFullVolume;
  const DsmChannel ramps[] = {
      Ramp(0, full, 0, 0, full / 2, 0),                 // both up, default step
      Ramp(full, 0, 0, full / 3, full, 0),              // down and up
      Ramp(full, full / 7, 12345, 100, 0, 1),           // uneven steps, one very slow
      Ramp(5000, 5000, 0, 0, 70000, 0),                 // one side already there
      Ramp(full, full, 0, 0, 0, 0),                     // both there: one sample
      Ramp(0, full, 0x7FFFFFFF, full, 0, 0x40000000),   // steps past the whole range
  };
  for (const DsmChannel& ramp : ramps) {
    for (unsigned limit : {1u, 3u, 64u, 100000u}) {
      const unsigned samples = CheckAgainstSteps(ramp, limit);
      EXPECT_GE(samples, 1u);
    }
  }
  // The default step takes 32 samples over the full range.
  EXPECT_EQ(CheckAgainstSteps(Ramp(0, full, 0, full, 0, 0), 64), 32u);
}

TEST(DsmRampTest, NothingWhenNoRampRuns) {
  DsmChannel ch = Ramp(0, dsmFullVolume, 0, 0, 0, 0);
  ch.ramping = 0;
  std::int32_t left[4];
  std::int32_t right[4];
  EXPECT_EQ(dsmRampVolumes(ch, 4, left, right), 0u);
  EXPECT_EQ(ch.leftVol, 0);
  ch.ramping = 1;
  EXPECT_EQ(dsmRampVolumes(ch, 0, left, right), 0u);
  EXPECT_EQ(ch.leftVol, 0);
}

}  // namespace
