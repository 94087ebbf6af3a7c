// The output filter against its formulas, computed one channel and one
// sample at a time: the same values bit for bit, on mono and stereo
// accumulators, for chunks of every length (shorter than the filter's
// reach, odd, and long), with the history carried from chunk to chunk.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "sound/dsm.h"
#include "sound/dsmmix.h"

namespace {

// Chunk lengths in frames: 1 and 2 are shorter than the strong filter's
// reach on stereo output; the rest cross the vector blocks unevenly.
const unsigned chunkFrames[] = {1, 2, 3, 5, 7, 1, 64, 1101, 4, 9, 2, 333};

std::vector<float> RandomFloats(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-40000.0f, 40000.0f);
  std::vector<float> out(n);
  for (float& v : out) v = value(random);
  return out;
}

// The filter's formula over each channel's inputs in order.
std::vector<float> Reference(const std::vector<float>& in, int stride, bool strong) {
  std::vector<float> out(in.size());
  for (int c = 0; c < stride; c++) {
    float x1 = 0;
    float x2 = 0;
    for (std::size_t i = c; i < in.size(); i += stride) {
      const float x = in[i];
      out[i] = strong ? (4.0f * x + 3.0f * x1 + x2) * 0.125f : (2.0f * x + x1) * (1.0f / 3.0f);
      x2 = x1;
      x1 = x;
    }
  }
  return out;
}

class OutputFilterTest : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    dsm.filterMode = std::get<1>(GetParam());
    dsmFilterReset();
  }
  void TearDown() override {
    dsm.filterMode = dsmFilterOff;
    dsmFilterReset();
  }
  int Stride() const { return std::get<0>(GetParam()); }
  bool Strong() const { return std::get<1>(GetParam()) == dsmFilterStrong; }
};

TEST_P(OutputFilterTest, FloatChunksGiveTheFormulaExactly) {
  unsigned total = 0;
  for (unsigned n : chunkFrames) total += n;
  const std::vector<float> input = RandomFloats(std::size_t{total} * Stride(), 7);
  const std::vector<float> want = Reference(input, Stride(), Strong());
  std::vector<float> got = input;
  DsmPostProcessor* node = dsmFilterNode();
  auto* run = Stride() == 2 ? node->floatStereo : node->floatMono;
  std::size_t at = 0;
  for (unsigned n : chunkFrames) {
    run(got.data() + at, n);
    at += std::size_t{n} * Stride();
  }
  for (std::size_t i = 0; i < got.size(); i++) {
    ASSERT_EQ(got[i], want[i]) << "sample " << i;
  }
}

TEST_P(OutputFilterTest, IntegerChunksGiveTheFormulaExactly) {
  std::mt19937 random(11);
  std::uniform_int_distribution<std::int32_t> value(-(1 << 24), 1 << 24);
  unsigned total = 0;
  for (unsigned n : chunkFrames) total += n;
  std::vector<std::int32_t> input(std::size_t{total} * Stride());
  for (auto& v : input) v = value(random);
  std::vector<std::int32_t> want(input.size());
  for (int c = 0; c < Stride(); c++) {
    std::int64_t x1 = 0;
    std::int64_t x2 = 0;
    for (std::size_t i = c; i < input.size(); i += Stride()) {
      const std::int64_t x = input[i];
      const std::int64_t t = 2 * x + x1;
      want[i] = static_cast<std::int32_t>(Strong() ? (4 * x + 3 * x1 + x2) >> 3
                                                    : (t >> 2) + (t >> 3) - (t >> 5));
      x2 = x1;
      x1 = x;
    }
  }
  std::vector<std::int32_t> got = input;
  DsmPostProcessor* node = dsmFilterNode();
  auto* run = Stride() == 2 ? node->intStereo : node->intMono;
  std::size_t at = 0;
  for (unsigned n : chunkFrames) {
    run(got.data() + at, n);
    at += std::size_t{n} * Stride();
  }
  EXPECT_EQ(got, want);
}

TEST_P(OutputFilterTest, ResetForgetsTheHistory) {
  std::vector<float> first = RandomFloats(std::size_t{16} * Stride(), 3);
  std::vector<float> second = RandomFloats(std::size_t{16} * Stride(), 5);
  const std::vector<float> want = Reference(second, Stride(), Strong());
  DsmPostProcessor* node = dsmFilterNode();
  auto* run = Stride() == 2 ? node->floatStereo : node->floatMono;
  run(first.data(), 16);
  dsmFilterReset();
  run(second.data(), 16);
  EXPECT_EQ(second, want);
}

INSTANTIATE_TEST_SUITE_P(Layouts, OutputFilterTest,
                         ::testing::Combine(::testing::Values(1, 2),
                                            ::testing::Values(dsmFilterLight, dsmFilterStrong)));

}  // namespace
