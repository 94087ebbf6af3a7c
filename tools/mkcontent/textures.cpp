// Procedural scene textures. Each is built from seeded noise, gradients and
// patterns; the 8-bit ones index a colour ramp, the 24-bit ones mix colours
// freely. All tile horizontally (and most vertically) so wrapped texture
// coordinates show no seams.
#include "tools/mkcontent/textures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>

#include "tools/mkcontent/images.h"
#include "tools/mkcontent/noise.h"

namespace content {
namespace {

constexpr float pi = 3.14159265f;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

std::uint8_t ToIndex(float v) { return static_cast<std::uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

Rgb Mix(Rgb a, Rgb b, float t) {
  t = Clamp01(t);
  auto m = [t](std::uint8_t x, std::uint8_t y) {
    return static_cast<std::uint8_t>(std::lround(x + (y - x) * t));
  };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

Rgb Scale(Rgb a, float s) {
  auto m = [s](std::uint8_t x) { return static_cast<std::uint8_t>(std::clamp(std::lround(x * s), 0L, 255L)); };
  return {m(a.r), m(a.g), m(a.b)};
}

// An 8-bit texture whose index is value (x, y) in [0, 1] on a ramp palette.
Image8 Ramp(int w, int h, const Palette& palette, const std::function<float(int, int)>& value) {
  Image8 image(w, h);
  image.palette = palette;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) image.At(x, y) = ToIndex(value(x, y));
  }
  return image;
}

// Noise coordinates: the texture spans `period` noise cells, so it tiles.
float N(int x, int y, int w, int period, int octaves, std::uint32_t seed, float gain = 0.5f) {
  const float fx = static_cast<float>(x) / static_cast<float>(w) * static_cast<float>(period);
  const float fy = static_cast<float>(y) / static_cast<float>(w) * static_cast<float>(period);
  return Fbm2(fx, fy, octaves, period, period, seed, gain);
}

Image8 Grass() {
  const Palette p = PaletteFromStops({{38, 52, 18}, {54, 92, 28}, {84, 132, 40}, {128, 170, 64}, {186, 196, 96}});
  return Ramp(256, 256, p, [](int x, int y) {
    const float broad = N(x, y, 256, 4, 4, 11);
    const float grain = N(x, y, 256, 64, 2, 12);
    return 0.5f + 0.35f * broad + 0.2f * grain;
  });
}

Image8 Rock() {
  const Palette p = PaletteFromStops({{46, 40, 36}, {88, 78, 68}, {124, 114, 100}, {160, 150, 134}, {200, 192, 178}});
  return Ramp(256, 256, p, [](int x, int y) {
    const float fx = x / 256.0f * 6.0f, fy = y / 256.0f * 6.0f;
    const float cells = Cells2(fx, fy, 6, 6, 21);
    const float ridges = Ridged2(x / 256.0f * 4.0f, y / 256.0f * 4.0f, 4, 4, 4, 22);
    const float grain = N(x, y, 256, 32, 2, 23);
    return 0.15f + 0.45f * ridges + 0.35f * std::min(cells * 1.6f, 1.0f) + 0.1f * grain;
  });
}

Image8 Snow() {
  const Palette p = PaletteFromStops({{58, 56, 62}, {104, 100, 108}, {150, 156, 172}, {206, 216, 236}, {250, 252, 255}});
  return Ramp(256, 256, p, [](int x, int y) {
    const float broad = N(x, y, 256, 4, 5, 31);
    const float drift = N(x, y, 256, 16, 2, 32);
    return 0.62f + 0.55f * broad + 0.12f * drift;
  });
}

ImageRgb Water() {
  ImageRgb image(256, 256);
  const Rgb deep{12, 44, 92}, mid{28, 96, 150}, crest{150, 214, 236};
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float fx = x / 256.0f * 8.0f, fy = y / 256.0f * 8.0f;
      const float caustic = 1.0f - std::min(Cells2(fx, fy, 8, 8, 41) * 1.8f, 1.0f);
      const float waves = 0.5f + 0.5f * std::sin((x + 18.0f * N(x, y, 256, 4, 3, 42)) / 256.0f * 2.0f * pi * 6.0f);
      const float body = 0.5f + 0.5f * N(x, y, 256, 4, 3, 43);
      Rgb c = Mix(deep, mid, body);
      c = Mix(c, crest, 0.55f * std::pow(caustic, 3.0f) + 0.12f * waves);
      image.At(x, y) = c;
    }
  }
  return image;
}

// Sky band for the inside of a dome, zenith to horizon, with soft clouds that
// thin out towards the zenith. Stored as a 24-bit BMP: its loader keeps the
// file's row order, which is bottom row first, so the picture is built upside
// down to put the zenith in the texture's first row.
ImageRgb Sky() {
  ImageRgb image(256, 128);
  const Rgb zenith{30, 64, 150}, low{150, 196, 236}, haze{246, 208, 166}, cloudLit{255, 255, 255},
      cloudShade{176, 188, 214};
  for (int row = 0; row < 128; ++row) {
    const float t = row / 127.0f;  // 0 at the zenith, 1 at the horizon
    for (int x = 0; x < 256; ++x) {
      Rgb c = Mix(zenith, low, std::pow(t, 0.8f));
      c = Mix(c, haze, Clamp01((t - 0.8f) / 0.2f));
      const float fx = x / 256.0f * 8.0f, fy = row / 128.0f * 4.0f;
      const float cloud = Fbm2(fx, fy, 5, 8, 0, 51) * 0.5f + 0.5f;
      const float cover = Clamp01((cloud - 0.5f) * 3.5f) * Clamp01(t * 2.5f) * (1.0f - Clamp01((t - 0.9f) * 10.0f));
      const float shade = Clamp01((cloud - 0.5f) * 5.0f);
      c = Mix(c, Mix(cloudShade, cloudLit, shade), cover);
      image.At(x, 127 - row) = c;
    }
  }
  return image;
}

Image8 Night() {
  Palette p{};
  PaletteGradient(p, 0, 127, {4, 6, 22}, {40, 30, 78});       // zenith to horizon glow
  PaletteGradient(p, 128, 191, {60, 40, 96}, {150, 90, 120});  // nebula
  PaletteGradient(p, 192, 255, {120, 130, 170}, {255, 255, 255});  // stars
  Image8 image(256, 128);
  image.palette = p;
  Random random(61);
  for (int y = 0; y < 128; ++y) {
    const float t = y / 127.0f;
    for (int x = 0; x < 256; ++x) {
      const float neb = Fbm2(x / 256.0f * 6.0f, y / 128.0f * 3.0f, 5, 6, 0, 62) * 0.5f + 0.5f;
      const float band = Clamp01((neb - 0.55f) * 3.0f) * (1.0f - t);
      image.At(x, y) = band > 0.1f ? static_cast<std::uint8_t>(128 + std::lround(band * 63.0f))
                                   : static_cast<std::uint8_t>(std::lround(t * 127.0f));
    }
  }
  for (int i = 0; i < 420; ++i) {
    const int x = random.Int(0, 255), y = random.Int(0, 110);
    const int bright = random.Int(0, 63);
    image.At(x, y) = static_cast<std::uint8_t>(192 + bright);
    if (bright > 54 && x < 255) image.At(x + 1, y) = static_cast<std::uint8_t>(192 + bright / 2);
  }
  return image;
}

Image8 Wood() {
  const Palette p = PaletteFromStops({{52, 30, 16}, {96, 58, 30}, {138, 88, 48}, {170, 118, 70}, {196, 150, 96}});
  return Ramp(256, 256, p, [](int x, int y) {
    const int plank = y / 32;
    const float local = (y % 32) / 32.0f;
    const float seam = (local < 0.06f || local > 0.96f) ? -0.45f : 0.0f;
    const float shift = static_cast<float>((plank * 97) % 256);
    const float grain = std::sin(((x + shift) / 256.0f * 2.0f * pi * 3.0f) +
                                 N(x, y, 256, 8, 3, 71 + static_cast<std::uint32_t>(plank)) * 6.0f);
    const float tone = 0.08f * static_cast<float>(plank % 3);
    const int joint = static_cast<int>(x + shift) % 128;
    const float cut = joint < 3 ? -0.35f : 0.0f;
    return 0.5f + 0.22f * grain + tone + seam + cut + 0.08f * N(x, y, 256, 64, 1, 72);
  });
}

Image8 Roof() {
  const Palette p = PaletteFromStops({{60, 18, 12}, {118, 38, 24}, {164, 62, 36}, {196, 96, 58}, {220, 140, 96}});
  return Ramp(256, 256, p, [](int x, int y) {
    const int row = y / 32;
    const int off = (row & 1) ? 16 : 0;
    const float u = static_cast<float>((x + off) % 32) / 32.0f;
    const float v = static_cast<float>(y % 32) / 32.0f;
    const float arch = std::sin(u * pi);                  // rounded tile across
    const float shade = 0.35f + 0.65f * v;                // lower edge catches light
    const float gap = (v > 0.92f) ? 0.0f : 1.0f;
    return gap * (0.25f + 0.45f * arch * shade) + 0.1f * N(x, y, 256, 16, 3, 81) + 0.05f;
  });
}

Image8 Wall() {
  const Palette p = PaletteFromStops({{70, 62, 50}, {130, 116, 92}, {176, 160, 128}, {206, 192, 160}, {228, 218, 192}});
  return Ramp(256, 256, p, [](int x, int y) {
    const int row = y / 32;
    const int off = (row & 1) ? 32 : 0;
    const int bx = (x + off) % 64, by = y % 32;
    const bool mortar = bx < 3 || by < 3;
    const float stone = 0.55f + 0.12f * static_cast<float>(((x + off) / 64 * 7 + row * 3) % 5) / 4.0f;
    const float rough = 0.18f * N(x, y, 256, 16, 4, 91);
    return mortar ? 0.2f + 0.1f * N(x, y, 256, 32, 2, 92) : stone + rough;
  });
}

// Standing-stone granite: grey speckles with patches of lichen on the upper
// quarter of the ramp.
Image8 Stone() {
  Palette p{};
  PaletteGradient(p, 0, 191, {42, 42, 46}, {196, 194, 188});
  PaletteGradient(p, 192, 255, {112, 122, 56}, {188, 190, 108});
  Image8 image(256, 256);
  image.palette = p;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float body = 0.55f + 0.3f * N(x, y, 256, 4, 5, 101) + 0.12f * N(x, y, 256, 64, 1, 102);
      const float lichen = N(x, y, 256, 8, 3, 103);
      if (lichen > 0.35f) {
        image.At(x, y) = static_cast<std::uint8_t>(192 + std::lround(Clamp01((lichen - 0.35f) * 2.5f) * 63.0f));
      } else {
        image.At(x, y) = static_cast<std::uint8_t>(std::lround(Clamp01(body) * 191.0f));
      }
    }
  }
  return image;
}

// Flames: bright at the bottom row, licking upwards in noisy tongues.
Image8 Fire() {
  const Palette p = PaletteFromStops({{20, 0, 0}, {140, 16, 0}, {230, 80, 0}, {255, 170, 20}, {255, 240, 150}, {255, 255, 255}});
  return Ramp(256, 256, p, [](int x, int y) {
    const float h = 1.0f - y / 255.0f;  // 0 at the bottom
    const float turb = N(x, y, 256, 8, 4, 111);
    const float tongues = 0.5f + 0.5f * std::sin(x / 256.0f * 2.0f * pi * 5.0f + turb * 3.0f);
    return Clamp01(1.05f - h * (0.9f + 0.6f * (1.0f - tongues)) + 0.3f * turb);
  });
}

ImageRgb Earth() {
  ImageRgb image(256, 256);
  const Rgb deepSea{10, 30, 90}, shallow{30, 90, 160}, sand{196, 180, 120}, green{50, 120, 40},
      forest{28, 80, 30}, mountain{120, 100, 80}, ice{236, 242, 250}, cloud{250, 250, 250};
  for (int y = 0; y < 256; ++y) {
    const float lat = std::fabs(y / 255.0f - 0.5f) * 2.0f;  // 0 equator, 1 pole
    for (int x = 0; x < 256; ++x) {
      const float h = N(x, y, 256, 4, 6, 121);
      Rgb c;
      if (h < 0.0f) {
        c = Mix(deepSea, shallow, Clamp01(1.0f + h * 3.0f));
      } else if (h < 0.04f) {
        c = sand;
      } else {
        c = Mix(green, forest, Clamp01(N(x, y, 256, 16, 2, 122) + 0.5f));
        c = Mix(c, mountain, Clamp01((h - 0.25f) * 4.0f));
      }
      if (lat > 0.8f + 0.08f * N(x, y, 256, 16, 2, 123)) c = ice;
      const float clouds = Clamp01((N(x, y, 256, 8, 5, 124) - 0.1f) * 2.5f);
      image.At(x, y) = Mix(c, cloud, clouds * 0.85f);
    }
  }
  return image;
}

Image8 GasGiant() {
  const Palette p = PaletteFromStops({{110, 56, 30}, {180, 110, 60}, {226, 180, 120}, {246, 226, 190}, {200, 130, 80}, {140, 70, 40}});
  return Ramp(256, 256, p, [](int x, int y) {
    const float warp = N(x, y, 256, 4, 4, 131) * 0.12f;
    const float v = y / 256.0f + warp;
    const float bands = 0.5f + 0.25f * std::sin(v * 2.0f * pi * 7.0f) + 0.2f * std::sin(v * 2.0f * pi * 17.0f + 1.0f);
    // A storm oval.
    const float dx = (x - 170) / 26.0f, dy = (y - 150) / 12.0f;
    const float storm = std::exp(-(dx * dx + dy * dy));
    return Clamp01(bands + 0.05f * N(x, y, 256, 32, 2, 132)) * (1.0f - storm) + 0.95f * storm;
  });
}

Image8 Moon() {
  const Palette p = PaletteFromStops({{40, 40, 44}, {100, 98, 96}, {160, 158, 152}, {220, 218, 210}});
  Image8 image = Ramp(256, 256, p, [](int x, int y) {
    return 0.55f + 0.25f * N(x, y, 256, 4, 5, 141) + 0.08f * N(x, y, 256, 64, 1, 142);
  });
  Random random(143);
  for (int i = 0; i < 40; ++i) {
    const float cx = random.Range(0, 256), cy = random.Range(0, 256), r = random.Range(4, 22);
    for (int y = static_cast<int>(cy - r - 2); y <= static_cast<int>(cy + r + 2); ++y) {
      for (int x = static_cast<int>(cx - r - 2); x <= static_cast<int>(cx + r + 2); ++x) {
        const float d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r;
        const int wx = (x % 256 + 256) % 256, wy = (y % 256 + 256) % 256;
        int v = image.At(wx, wy);
        if (d < 0.85f) {
          v -= 50;  // floor
        } else if (d < 1.1f) {
          v += 40;  // rim
        } else {
          continue;
        }
        image.At(wx, wy) = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
  return image;
}

Image8 Metal() {
  const Palette p = PaletteFromStops({{30, 34, 44}, {70, 80, 100}, {120, 134, 156}, {176, 190, 210}, {230, 238, 250}});
  return Ramp(256, 256, p, [](int x, int y) {
    const int px = x % 64, py = y % 64;
    const bool seam = px < 2 || py < 2;
    const bool rivet = ((px - 6) * (px - 6) + (py - 6) * (py - 6)) < 6 || ((px - 58) * (px - 58) + (py - 6) * (py - 6)) < 6;
    const float brushed = 0.06f * N(x, y, 256, 64, 1, 151) + 0.04f * std::sin(y * 1.7f);
    const float panel = 0.45f + 0.1f * static_cast<float>(((x / 64) * 5 + (y / 64) * 3) % 4) / 3.0f;
    const float bevel = (px < 5 || py < 5) ? 0.15f : ((px > 59 || py > 59) ? -0.12f : 0.0f);
    if (seam) return 0.1f;
    if (rivet) return 0.95f;
    return panel + brushed + bevel;
  });
}

Image8 Grid() {
  Palette p{};
  PaletteGradient(p, 0, 127, {2, 4, 20}, {10, 30, 70});
  PaletteGradient(p, 128, 255, {20, 90, 160}, {200, 255, 255});
  Image8 image(256, 256);
  image.palette = p;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const int gx = std::min(x % 32, 32 - x % 32), gy = std::min(y % 32, 32 - y % 32);
      const int d = std::min(gx, gy);
      const float glow = std::exp(-static_cast<float>(d) * 0.6f);
      const float base = 0.3f + 0.4f * (N(x, y, 256, 4, 3, 161) * 0.5f + 0.5f);
      image.At(x, y) = glow > 0.08f ? static_cast<std::uint8_t>(128 + std::lround(glow * 127.0f))
                                    : static_cast<std::uint8_t>(std::lround(base * 127.0f));
    }
  }
  return image;
}

// Planetary ring: bands run across u (the radius), v goes around.
Image8 Ring() {
  const Palette p = PaletteFromStops({{30, 26, 24}, {120, 100, 80}, {200, 180, 150}, {236, 222, 196}});
  return Ramp(256, 128, p, [](int x, int y) {
    const float r = x / 255.0f;
    const float bands = 0.5f + 0.3f * std::sin(r * 2.0f * pi * 11.0f) + 0.2f * std::sin(r * 2.0f * pi * 29.0f + 2.0f);
    const float gap = (r > 0.58f && r < 0.63f) ? 0.15f : 1.0f;
    const float edge = std::sin(r * pi);
    return Clamp01(bands * gap * (0.4f + 0.6f * edge) + 0.04f * Fbm2(x / 32.0f, y / 32.0f, 2, 8, 4, 171));
  });
}

Image8 Stars() {
  Palette p{};
  PaletteGradient(p, 0, 95, {0, 0, 6}, {18, 10, 40});
  PaletteGradient(p, 96, 175, {30, 16, 60}, {110, 50, 120});
  PaletteGradient(p, 176, 255, {140, 150, 200}, {255, 255, 255});
  Image8 image(256, 256);
  image.palette = p;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float neb = N(x, y, 256, 4, 5, 181);
      image.At(x, y) = neb > 0.1f ? static_cast<std::uint8_t>(96 + std::lround(Clamp01((neb - 0.1f) * 1.8f) * 79.0f))
                                  : static_cast<std::uint8_t>(std::lround(Clamp01(0.3f + neb) * 95.0f));
    }
  }
  Random random(182);
  for (int i = 0; i < 700; ++i) {
    const int x = random.Int(0, 255), y = random.Int(0, 255);
    image.At(x, y) = static_cast<std::uint8_t>(176 + random.Int(0, 79));
  }
  return image;
}

ImageRgb Lava() {
  ImageRgb image(256, 256);
  const Rgb crust{40, 28, 26}, glow{255, 90, 10}, hot{255, 220, 90};
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float cells = Cells2(x / 256.0f * 7.0f, y / 256.0f * 7.0f, 7, 7, 191);
      const float crack = 1.0f - Clamp01(cells * 2.6f);
      const float n = N(x, y, 256, 8, 3, 192) * 0.5f + 0.5f;
      Rgb c = Mix(crust, Scale(crust, 1.6f), n);
      c = Mix(c, glow, Clamp01(crack * 1.4f));
      c = Mix(c, hot, Clamp01((crack - 0.6f) * 2.5f));
      image.At(x, y) = c;
    }
  }
  return image;
}

TextureAsset Pcx(const std::string& name, const Image8& image) {
  TextureAsset t;
  t.name = name;
  t.width = image.width;
  t.height = image.height;
  t.bytes = EncodePcx(image);
  return t;
}

TextureAsset Bmp(const std::string& name, const ImageRgb& image) {
  TextureAsset t;
  t.name = name;
  t.bmp = true;
  t.width = image.width;
  t.height = image.height;
  t.bytes = EncodeBmp24(image);
  return t;
}

}  // namespace

std::string MapFileName(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper + ".TGA";
}

std::vector<TextureAsset> BuildTextures() {
  std::vector<TextureAsset> list;
  list.push_back(Pcx("grass", Grass()));
  list.push_back(Pcx("rock", Rock()));
  list.push_back(Pcx("snow", Snow()));
  list.push_back(Bmp("water", Water()));
  list.push_back(Bmp("sky", Sky()));
  list.push_back(Pcx("night", Night()));
  list.push_back(Pcx("wood", Wood()));
  list.push_back(Pcx("roof", Roof()));
  list.push_back(Pcx("wall", Wall()));
  list.push_back(Pcx("stone", Stone()));
  list.push_back(Pcx("fire", Fire()));
  list.push_back(Bmp("earth", Earth()));
  list.push_back(Pcx("gasgiant", GasGiant()));
  list.push_back(Pcx("moon", Moon()));
  list.push_back(Pcx("metal", Metal()));
  list.push_back(Pcx("grid", Grid()));
  list.push_back(Pcx("ring", Ring()));
  list.push_back(Pcx("stars", Stars()));
  list.push_back(Bmp("lava", Lava()));
  return list;
}

}  // namespace content
