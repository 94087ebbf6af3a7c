// Seeded generator and tileable noise.
#include "tools/mkcontent/noise.h"

#include <cmath>

namespace content {
namespace {

std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B1u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

int Wrap(int v, int period) {
  if (period <= 0) return v;
  const int m = v % period;
  return m < 0 ? m + period : m;
}

float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

float Gradient(int ix, int iy, float dx, float dy, std::uint32_t seed) {
  const float angle = static_cast<float>(Hash(ix, iy, seed) & 0xFFFF) / 65536.0f * 6.2831853f;
  return std::cos(angle) * dx + std::sin(angle) * dy;
}

}  // namespace

std::uint64_t Random::Next() {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

float Random::Unit() { return static_cast<float>(Next() >> 40) / 16777216.0f; }

int Random::Int(int lo, int hi) {
  if (hi <= lo) return lo;
  return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
}

float Noise2(float x, float y, int periodX, int periodY, std::uint32_t seed) {
  const float fx = std::floor(x);
  const float fy = std::floor(y);
  const int x0 = static_cast<int>(fx);
  const int y0 = static_cast<int>(fy);
  const float dx = x - fx;
  const float dy = y - fy;
  const int ax = Wrap(x0, periodX), bx = Wrap(x0 + 1, periodX);
  const int ay = Wrap(y0, periodY), by = Wrap(y0 + 1, periodY);
  const float n00 = Gradient(ax, ay, dx, dy, seed);
  const float n10 = Gradient(bx, ay, dx - 1.0f, dy, seed);
  const float n01 = Gradient(ax, by, dx, dy - 1.0f, seed);
  const float n11 = Gradient(bx, by, dx - 1.0f, dy - 1.0f, seed);
  const float u = Fade(dx);
  const float v = Fade(dy);
  const float a = n00 + (n10 - n00) * u;
  const float b = n01 + (n11 - n01) * u;
  return (a + (b - a) * v) * 1.41421356f;
}

float Fbm2(float x, float y, int octaves, int periodX, int periodY, std::uint32_t seed, float gain) {
  float sum = 0.0f;
  float amplitude = 1.0f;
  float norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * Noise2(x, y, periodX, periodY, seed + static_cast<std::uint32_t>(o) * 101u);
    norm += amplitude;
    amplitude *= gain;
    x *= 2.0f;
    y *= 2.0f;
    periodX *= 2;
    periodY *= 2;
  }
  return sum / norm;
}

float Ridged2(float x, float y, int octaves, int periodX, int periodY, std::uint32_t seed) {
  float sum = 0.0f;
  float amplitude = 1.0f;
  float norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    const float n = 1.0f - std::fabs(Noise2(x, y, periodX, periodY, seed + static_cast<std::uint32_t>(o) * 37u));
    sum += amplitude * n * n;
    norm += amplitude;
    amplitude *= 0.5f;
    x *= 2.0f;
    y *= 2.0f;
    periodX *= 2;
    periodY *= 2;
  }
  return sum / norm;
}

float Cells2(float x, float y, int periodX, int periodY, std::uint32_t seed) {
  const int cx = static_cast<int>(std::floor(x));
  const int cy = static_cast<int>(std::floor(y));
  float best = 9.0f;
  for (int j = -1; j <= 1; ++j) {
    for (int i = -1; i <= 1; ++i) {
      const int gx = cx + i, gy = cy + j;
      const std::uint32_t h = Hash(Wrap(gx, periodX), Wrap(gy, periodY), seed);
      const float px = static_cast<float>(gx) + static_cast<float>(h & 0xFFFF) / 65536.0f;
      const float py = static_cast<float>(gy) + static_cast<float>(h >> 16) / 65536.0f;
      const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
      if (d < best) best = d;
    }
  }
  return best;
}

}  // namespace content
