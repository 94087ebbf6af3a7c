// Deterministic randomness for the generated content: a small seeded generator
// and tileable gradient noise, so the same seed always gives the same bytes.
#pragma once

#include <cstdint>

namespace content {

class Random {
public:
  explicit Random(std::uint64_t seed) : state(seed) {}
  std::uint64_t Next();
  // Uniform in [0, 1).
  float Unit();
  // Uniform in [lo, hi).
  float Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }
  int Int(int lo, int hi);  // inclusive range

private:
  std::uint64_t state;
};

// Gradient noise in about [-1, 1], tiling with the given integer period in x
// and y (a period of 0 does not tile).
float Noise2(float x, float y, int periodX, int periodY, std::uint32_t seed);
// Sum of octaves, each doubling the frequency and the period; about [-1, 1].
float Fbm2(float x, float y, int octaves, int periodX, int periodY, std::uint32_t seed,
           float gain = 0.5f);
// Ridged variant (sharp crests), about [0, 1].
float Ridged2(float x, float y, int octaves, int periodX, int periodY, std::uint32_t seed);
// Distance to the nearest of the jittered cell points (cells of size 1), tiling
// with the period; about [0, 1.2].
float Cells2(float x, float y, int periodX, int periodY, std::uint32_t seed);

}  // namespace content
