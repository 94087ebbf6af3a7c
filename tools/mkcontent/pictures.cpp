// The logo, the bump scroller's three height pictures and the plasma texture.
#include "tools/mkcontent/pictures.h"

#include <algorithm>
#include <cmath>

#include "tools/mkcontent/font.h"
#include "tools/mkcontent/noise.h"

namespace content {
namespace {

constexpr float pi = 3.14159265f;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Logo palette ranges.
constexpr int skyFirst = 1, skyLast = 95;
constexpr int planetFirst = 96, planetLast = 127;
constexpr int farFirst = 128, farLast = 143;
constexpr int nearFirst = 144, nearLast = 159;
constexpr int groundFirst = 160, groundLast = 175;
constexpr int stoneFirst = 176, stoneLast = 191;
constexpr int titleFirst = 192, titleLast = 223;
constexpr int sunFirst = 224, sunLast = 239;
constexpr int fireFirst = 240, fireLast = 247;
constexpr int outline = 248;
constexpr int white = 255;

std::uint8_t InRange(int first, int last, float t) {
  return static_cast<std::uint8_t>(first + std::lround(Clamp01(t) * static_cast<float>(last - first)));
}

Palette LogoPalette() {
  Palette p{};
  p[0] = {0, 0, 0};
  PaletteGradient(p, skyFirst, 30, {6, 4, 26}, {36, 18, 78});
  PaletteGradient(p, 31, 60, {36, 18, 78}, {140, 46, 112});
  PaletteGradient(p, 61, 84, {140, 46, 112}, {236, 112, 72});
  PaletteGradient(p, 85, skyLast, {236, 112, 72}, {255, 192, 112});
  PaletteGradient(p, planetFirst, 111, {16, 18, 44}, {90, 116, 170});
  PaletteGradient(p, 112, planetLast, {90, 116, 170}, {214, 228, 246});
  PaletteGradient(p, farFirst, farLast, {70, 32, 86}, {140, 70, 118});
  PaletteGradient(p, nearFirst, nearLast, {28, 12, 38}, {74, 30, 62});
  PaletteGradient(p, groundFirst, groundLast, {10, 5, 12}, {58, 22, 26});
  PaletteGradient(p, stoneFirst, stoneLast, {3, 2, 5}, {34, 18, 22});
  PaletteGradient(p, titleFirst, 207, {130, 36, 0}, {255, 150, 20});
  PaletteGradient(p, 208, titleLast, {255, 150, 20}, {255, 250, 214});
  PaletteGradient(p, sunFirst, sunLast, {255, 130, 40}, {255, 250, 224});
  PaletteGradient(p, fireFirst, fireLast, {255, 60, 0}, {255, 226, 90});
  PaletteGradient(p, outline, 254, {18, 8, 18}, {60, 30, 40});
  p[white] = {255, 255, 255};
  return p;
}

}  // namespace

Image8 MakeLogo() {
  Image8 image(640, 480);
  image.palette = LogoPalette();
  const int horizon = 330;
  Random random(2024);

  // Sky, dithered so the ramp shows no bands.
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const float t = static_cast<float>(y) / horizon + (random.Unit() - 0.5f) * 0.012f;
      image.At(x, y) = InRange(skyFirst, skyLast, t);
    }
  }
  for (int i = 0; i < 260; ++i) {
    const int x = random.Int(0, 639), y = random.Int(0, 170);
    image.At(x, y) = static_cast<std::uint8_t>(random.Unit() < 0.3f ? white : InRange(planetFirst, planetLast, 0.8f));
  }

  // Setting sun on the horizon.
  for (int y = horizon - 90; y < horizon; ++y) {
    for (int x = 230; x < 410; ++x) {
      const float d = std::hypot(static_cast<float>(x - 320), static_cast<float>(y - horizon)) / 84.0f;
      if (d < 1.0f) image.At(x, y) = InRange(sunFirst, sunLast, 1.0f - d * d);
    }
  }

  // Ringed planet, lit from the sun below left; the ring's far half behind it.
  const float pcx = 500, pcy = 120, pr = 58;
  auto ringAt = [&](int x, int y, bool front) {
    const float dx = (x - pcx), dy = (y - pcy);
    // Tilted ellipse: rotate by -0.35 rad, squash y by 0.28.
    const float c = std::cos(-0.35f), s = std::sin(-0.35f);
    const float rx = dx * c - dy * s, ry = (dx * s + dy * c) / 0.28f;
    const float rr = std::hypot(rx, ry) / pr;
    if (rr < 1.25f || rr > 2.0f) return false;
    if ((ry > 0) != front) return false;
    const float band = 0.5f + 0.3f * std::sin(rr * 40.0f) + 0.2f * std::sin(rr * 97.0f);
    image.At(x, y) = InRange(planetFirst, planetLast, 0.35f + 0.55f * band);
    return true;
  };
  for (int y = 0; y < 260; ++y) {
    for (int x = 360; x < 640; ++x) ringAt(x, y, false);
  }
  for (int y = static_cast<int>(pcy - pr); y <= static_cast<int>(pcy + pr); ++y) {
    for (int x = static_cast<int>(pcx - pr); x <= static_cast<int>(pcx + pr); ++x) {
      const float nx = (x - pcx) / pr, ny = (y - pcy) / pr;
      const float r2 = nx * nx + ny * ny;
      if (r2 > 1.0f) continue;
      const float nz = std::sqrt(1.0f - r2);
      const float light = Clamp01(-0.55f * nx + 0.35f * ny + 0.75f * nz);
      const float bands = 0.08f * std::sin(ny * 22.0f + Fbm2(nx * 3, ny * 3, 3, 0, 0, 7) * 3.0f);
      image.At(x, y) = InRange(planetFirst, planetLast, light * 0.9f + bands + 0.05f);
    }
  }
  for (int y = 0; y < 260; ++y) {
    for (int x = 360; x < 640; ++x) ringAt(x, y, true);
  }

  // Two mountain ranges.
  for (int x = 0; x < 640; ++x) {
    const float fx = x / 640.0f;
    const float far = horizon - 40.0f - 110.0f * Ridged2(fx * 3.0f, 0.5f, 5, 0, 0, 31) + 30.0f;
    const float near = horizon + 10.0f - 90.0f * Ridged2(fx * 2.0f + 7.0f, 1.5f, 5, 0, 0, 32) + 30.0f;
    for (int y = static_cast<int>(far); y < 480; ++y) {
      if (y < 0) continue;
      image.At(x, y) = InRange(farFirst, farLast, 1.0f - (y - far) / 160.0f);
    }
    for (int y = static_cast<int>(near); y < 480; ++y) {
      if (y < 0) continue;
      image.At(x, y) = InRange(nearFirst, nearLast, 1.0f - (y - near) / 140.0f);
    }
  }

  // Foreground hill with a stone circle and its fire.
  const int hillTop = 392;
  for (int x = 0; x < 640; ++x) {
    const float dx = (x - 320) / 420.0f;
    const int top = hillTop + static_cast<int>(dx * dx * 160.0f);
    for (int y = std::max(top, 0); y < 480; ++y) {
      image.At(x, y) = InRange(groundFirst, groundLast, 0.7f - (y - top) / 120.0f + 0.1f * random.Unit());
    }
  }
  // Firelight on the ground.
  for (int y = hillTop - 40; y < 480; ++y) {
    for (int x = 200; x < 440; ++x) {
      const float d = std::hypot((x - 320) / 120.0f, (y - hillTop - 4) / 40.0f);
      if (d < 1.0f && image.At(x, y) >= groundFirst && image.At(x, y) <= groundLast) {
        image.At(x, y) = InRange(groundFirst, groundLast, 1.0f - d * 0.8f);
      }
    }
  }
  const int stones[][3] = {{150, 60, 22}, {214, 78, 24}, {276, 90, 22}, {364, 90, 22}, {426, 78, 24}, {490, 60, 22}};
  for (const auto& s : stones) {
    const int sx = s[0], h = s[1], w = s[2];
    const int base = hillTop + static_cast<int>(((sx - 320) / 420.0f) * ((sx - 320) / 420.0f) * 160.0f) + 6;
    for (int y = base - h; y < base; ++y) {
      for (int x = sx - w / 2; x < sx + w / 2; ++x) {
        const float edge = std::fabs(static_cast<float>(x - sx)) / (w * 0.5f);
        if (y < base - h + 4 && edge > 0.8f) continue;  // rounded top corners
        image.At(x, y) = InRange(stoneFirst, stoneLast, 0.2f + 0.6f * (x > sx ? 1.0f - edge : 0.3f));
      }
    }
  }
  // Lintels over the two inner pairs.
  for (int pair = 0; pair < 2; ++pair) {
    const int x0 = pair == 0 ? 200 : 414, x1 = pair == 0 ? 228 + 62 : 440;
    const int y0 = hillTop - (pair == 0 ? 88 : 88);
    for (int y = y0; y < y0 + 14; ++y) {
      for (int x = x0 - (pair == 0 ? 0 : 62); x < x1; ++x) image.At(x, y) = InRange(stoneFirst, stoneLast, 0.35f);
    }
  }
  // The fire: tongues rising from the middle of the circle.
  for (int y = hillTop - 60; y < hillTop + 8; ++y) {
    for (int x = 296; x < 344; ++x) {
      const float u = (x - 320) / 24.0f, v = (hillTop + 8 - y) / 68.0f;
      const float flick = 0.25f * Fbm2(x * 0.08f, y * 0.05f, 3, 0, 0, 77);
      const float width = (1.0f - v) * (0.9f + flick);
      if (std::fabs(u) < width) image.At(x, y) = InRange(fireFirst, fireLast, 1.0f - std::fabs(u) / width * 0.7f - v * 0.4f);
    }
  }

  // Title with a dark outline and a vertical metal gradient.
  const std::string title = productionName;
  const int scale = 8;
  const int left = (640 - TextWidth(title, scale)) / 2, top = 36;
  std::vector<std::uint8_t> mask(640 * 480, 0);
  DrawText(title, left, top, scale, [&](int x, int y) {
    if (x >= 0 && x < 640 && y >= 0 && y < 480) mask[static_cast<std::size_t>(y) * 640 + x] = 1;
  });
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (mask[static_cast<std::size_t>(y) * 640 + x]) continue;
      bool near = false;
      for (int dy = -3; dy <= 3 && !near; ++dy) {
        for (int dx = -3; dx <= 3 && !near; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx >= 0 && sx < 640 && sy >= 0 && sy < 480 && mask[static_cast<std::size_t>(sy) * 640 + sx]) near = true;
        }
      }
      if (near) image.At(x, y) = outline;
    }
  }
  const int textHeight = glyphHeight * scale;
  for (int y = top; y < top + textHeight; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (!mask[static_cast<std::size_t>(y) * 640 + x]) continue;
      const float t = static_cast<float>(y - top) / textHeight;
      // Bright band across the middle, like polished metal.
      const float shine = 1.0f - std::fabs(t - 0.42f) * 1.8f;
      const int cell = (x - left) % scale, rowCell = (y - top) % scale;
      const float bevel = (cell == 0 || rowCell == 0) ? 0.15f : 0.0f;
      image.At(x, y) = InRange(titleFirst, titleLast, Clamp01(shine + bevel));
    }
  }
  const std::string byline = std::string("A ") + groupName + " PRODUCTION";
  DrawText(byline, (640 - TextWidth(byline, 2)) / 2, 112, 2, [&](int x, int y) {
    if (x >= 0 && x < 640 && y >= 0 && y < 480) image.At(x, y) = InRange(titleFirst, titleLast, 0.85f);
  });
  return image;
}

Image8 MakeBumpBackground() {
  Image8 image(320, 200);
  for (int i = 0; i < 256; ++i) {
    image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                                  static_cast<std::uint8_t>(i)};
  }
  // Cobbled relief: rounded stones with deep grooves between them, a gentle
  // swell and a fine grain, so the moving light rakes across bumps.
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      const float cell = Cells2(x / 24.0f, y / 24.0f, 0, 0, 5);
      const float dome = 1.0f - Clamp01(cell * 1.25f);
      const float swell = Fbm2(x / 80.0f, y / 80.0f, 3, 0, 0, 6);
      const float grain = Fbm2(x / 5.0f, y / 5.0f, 2, 0, 0, 8);
      const float h = 30.0f + 105.0f * std::sqrt(dome) + 24.0f * swell + 9.0f * grain;
      image.At(x, y) = static_cast<std::uint8_t>(std::clamp(std::lround(h), 1L, 165L));
    }
  }
  return image;
}

Image8 MakeLightSpot() {
  Image8 image(256, 256);
  for (int i = 0; i < 256; ++i) {
    image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                                  static_cast<std::uint8_t>(i)};
  }
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float r = std::hypot(x - 128.0f, y - 128.0f) / 128.0f;
      const float core = 0.85f * std::pow(Clamp01(1.0f - r), 1.1f);
      const float halo = 0.35f * std::exp(-r * r * 2.5f);
      image.At(x, y) = static_cast<std::uint8_t>(std::lround(Clamp01(core + halo) * 255.0f));
    }
  }
  return image;
}

std::vector<std::string> ScrollTextLines() {
  return {
      "",
      productionName,
      "",
      "A REAL-TIME",
      "JOURNEY BY",
      groupName,
      "",
      "CODE",
      "VESPER & GLOAM",
      "",
      "SCENES",
      "TALLOW",
      "",
      "TEXTURES & LOGO",
      "KILNWORK",
      "",
      "MUSIC",
      "OSTINATO",
      "",
      "WARM GREETINGS",
      "TO EVERYONE WHO",
      "KEEPS A FIRE",
      "BURNING IN THE",
      "DARK",
      "",
      "THANK YOU",
      "FOR WATCHING",
      "",
      "* * *",
  };
}

Image8 MakeScrollText() {
  Image8 image(320, 1024);
  for (int i = 0; i < 256; ++i) {
    image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                                  static_cast<std::uint8_t>(i)};
  }
  constexpr int scale = 3;
  constexpr int lineHeight = 34;
  std::vector<std::uint8_t> mask(320 * 1024, 0);
  const auto lines = ScrollTextLines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const int top = 8 + static_cast<int>(i) * lineHeight;
    if (top + glyphHeight * scale > 1024) break;
    DrawText(line, (320 - TextWidth(line, scale)) / 2, top, scale, [&](int x, int y) {
      if (x >= 0 && x < 320 && y >= 0 && y < 1024) mask[static_cast<std::size_t>(y) * 320 + x] = 1;
    });
  }
  // Bevelled height: rises over the two pixels nearest the glyph's edge, so the
  // relief catches the light along its outline.
  for (int y = 0; y < 1024; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (!mask[static_cast<std::size_t>(y) * 320 + x]) continue;
      int edge = 3;
      for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
          const int sx = x + dx, sy = y + dy;
          const bool inside = sx >= 0 && sx < 320 && sy >= 0 && sy < 1024 && mask[static_cast<std::size_t>(sy) * 320 + sx];
          if (!inside) edge = std::min(edge, std::max(std::abs(dx), std::abs(dy)) - 1);
        }
      }
      image.At(x, y) = static_cast<std::uint8_t>(170 + 25 * edge);
    }
  }
  return image;
}

Image8 MakePlasma() {
  Image8 image(256, 256);
  for (int i = 0; i < 256; ++i) {
    // Deep blue through cyan and white-hot to violet and back.
    const float t = i / 256.0f * 2.0f * pi;
    image.palette[static_cast<std::size_t>(i)] = {
        static_cast<std::uint8_t>(std::lround(110 + 100 * std::sin(t + 3.6f))),
        static_cast<std::uint8_t>(std::lround(120 + 110 * std::sin(t + 0.4f))),
        static_cast<std::uint8_t>(std::lround(200 + 55 * std::sin(t + 1.2f)))};
  }
  // Sums of sines with whole periods across the picture, so it tiles.
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float u = x / 256.0f * 2.0f * pi, v = y / 256.0f * 2.0f * pi;
      const float p = std::sin(u * 2.0f) + std::sin(v * 3.0f) + std::sin(u + v * 2.0f) +
                      std::sin(std::sin(u) * 2.0f + v * 1.0f);
      image.At(x, y) = static_cast<std::uint8_t>(static_cast<int>(std::lround((p + 4.0f) / 8.0f * 511.0f)) & 0xFF);
    }
  }
  return image;
}

}  // namespace content
