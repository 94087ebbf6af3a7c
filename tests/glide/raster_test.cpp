// The software rasterizer: coverage and fill rule, perspective texturing, the
// W-buffer, clip window, culling and dithering.
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "glide_fixture.h"
#include "platform/glide/glide_internal.h"

namespace {

using PixelSet = std::set<std::pair<int, int>>;

// Pixels of the back buffer that hold 'colour' (within a box).
PixelSet Covered(std::uint16_t colour, int x0, int y0, int x1, int y1) {
  PixelSet set;
  GrLfbInfo_t info{};
  info.size = sizeof(info);
  grLfbLock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_ANY, GR_ORIGIN_LOWER_LEFT, FXFALSE, &info);
  const auto* base = static_cast<const std::uint8_t*>(info.lfbPtr);
  for (int y = y0; y < y1; ++y) {
    const auto* row = reinterpret_cast<const std::uint16_t*>(base + static_cast<std::size_t>(y) * info.strideInBytes);
    for (int x = x0; x < x1; ++x)
      if (row[x] == colour) set.insert({x, y});
  }
  grLfbUnlock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER);
  return set;
}

constexpr std::uint16_t white565 = 0xFFFF;

}  // namespace

using RasterCoverage = GlideTest;

// A fan of triangles around a centre shares every inner edge: each pixel centre in
// the polygon must be drawn by exactly one triangle, none outside.
TEST_F(RasterCoverage, FanSharingEdgesCoversEveryPixelOnce) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(-0.5f, 0.5f);
  for (int round = 0; round < 20; ++round) {
    const float cx = 320.0f + std::round(jitter(rng) * 16) / 16, cy = 240.0f + std::round(jitter(rng) * 16) / 16;
    constexpr int spokes = 9;
    GrVertex rim[spokes];
    for (int i = 0; i < spokes; ++i) {
      const double angle = 2 * M_PI * (i + 0.3 * jitter(rng)) / spokes;
      const double radius = 40 + 30 * (jitter(rng) + 0.5);
      rim[i] = Vertex(std::round(static_cast<float>(cx + radius * std::cos(angle)) * 16) / 16,
                      std::round(static_cast<float>(cy + radius * std::sin(angle)) * 16) / 16);
    }
    const GrVertex centre = Vertex(cx, cy);
    std::map<std::pair<int, int>, int> hits;
    for (int i = 0; i < spokes; ++i) {
      grBufferClear(0, 0, 0xFFFF);
      grConstantColorValue(0xFFFFFFFF);
      grDrawTriangle(&centre, &rim[i], &rim[(i + 1) % spokes]);
      for (const auto& p : Covered(white565, 200, 120, 440, 360)) ++hits[p];
    }
    // Pixel centres strictly inside the star polygon, tested against each wedge.
    int inside = 0;
    for (int y = 120; y < 360; ++y) {
      for (int x = 200; x < 440; ++x) {
        int wedges = 0;
        bool onEdge = false;
        for (int i = 0; i < spokes; ++i) {
          const GrVertex* t[3] = {&centre, &rim[i], &rim[(i + 1) % spokes]};
          double e[3];
          for (int k = 0; k < 3; ++k) {
            const GrVertex* p = t[k];
            const GrVertex* q = t[(k + 1) % 3];
            e[k] = (q->x - p->x) * (y - p->y) - (q->y - p->y) * (x - p->x);
          }
          const bool allPos = e[0] > 0 && e[1] > 0 && e[2] > 0;
          const bool allNeg = e[0] < 0 && e[1] < 0 && e[2] < 0;
          if (allPos || allNeg) ++wedges;
          else if ((e[0] >= 0 && e[1] >= 0 && e[2] >= 0) || (e[0] <= 0 && e[1] <= 0 && e[2] <= 0)) onEdge = true;
        }
        const auto it = hits.find({x, y});
        const int count = it == hits.end() ? 0 : it->second;
        ASSERT_LE(count, 1) << "pixel drawn twice at " << x << "," << y;
        if (wedges > 0 && !onEdge) {
          ASSERT_EQ(count, 1) << "hole at " << x << "," << y;
          ++inside;
        }
        if (wedges == 0 && !onEdge) {
          ASSERT_EQ(count, 0) << "outside pixel drawn at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(inside, 1000);
  }
}

TEST_F(RasterCoverage, AxisAlignedQuadFromTwoTrianglesFollowsTopLeftRule) {
  // Corners on pixel centres: the quad covers columns 10..19 and rows 20..29.
  const GrVertex a = Vertex(10, 20), b = Vertex(20, 20), c = Vertex(20, 30), d = Vertex(10, 30);
  grConstantColorValue(0xFFFFFFFF);
  grDrawTriangle(&a, &b, &c);
  grDrawTriangle(&a, &c, &d);
  const PixelSet set = Covered(white565, 0, 0, 64, 64);
  EXPECT_EQ(set.size(), 100u);
  EXPECT_TRUE(set.count({10, 20}));
  EXPECT_TRUE(set.count({19, 29}));
  EXPECT_FALSE(set.count({20, 25}));
  EXPECT_FALSE(set.count({15, 30}));
}

TEST_F(RasterCoverage, DegenerateAndHugeTrianglesAreSafe) {
  grConstantColorValue(0xFFFFFFFF);
  const GrVertex a = Vertex(5, 5), b = Vertex(5, 5), c = Vertex(50, 5);
  grDrawTriangle(&a, &b, &c);
  EXPECT_TRUE(Covered(white565, 0, 0, 640, 480).empty());
  const GrVertex nan = Vertex(NAN, 4);
  grDrawTriangle(&nan, &a, &c);
  EXPECT_TRUE(Covered(white565, 0, 0, 640, 480).empty());
  // A triangle far larger than the screen covers all of it.
  const GrVertex p = Vertex(-1e7f, -1e7f), q = Vertex(1e7f, -1e7f), r = Vertex(0, 1e7f);
  grDrawTriangle(&p, &q, &r);
  EXPECT_EQ(Covered(white565, 0, 0, 640, 480).size(), 640u * 480u);
}

using RasterDepth = GlideTest;

TEST_F(RasterDepth, WBufferKeepsTheNearerSurfaceInEitherOrder) {
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDepthMask(FXTRUE);
  // Near: w = 2 (oow 0.5); far: w = 10 (oow 0.1).
  auto quad = [](float oow) {
    const GrVertex a = Vertex(100, 100, oow), b = Vertex(300, 100, oow), c = Vertex(300, 300, oow),
                   d = Vertex(100, 300, oow);
    grDrawTriangle(&a, &b, &c);
    grDrawTriangle(&a, &c, &d);
  };
  grConstantColorValue(0xFFFF0000);
  quad(0.5f);
  grConstantColorValue(0xFF00FF00);
  quad(0.1f);
  EXPECT_EQ(Pixel(200, 200), 0xF800);

  grBufferClear(0, 0, 0xFFFF);
  grConstantColorValue(0xFF00FF00);
  quad(0.1f);
  grConstantColorValue(0xFFFF0000);
  quad(0.5f);
  EXPECT_EQ(Pixel(200, 200), 0xF800);

  // Equal depth does not pass "less".
  grConstantColorValue(0xFF0000FF);
  quad(0.5f);
  EXPECT_EQ(Pixel(200, 200), 0xF800);
}

TEST_F(RasterDepth, EncodedDepthIsMonotonicInW) {
  std::uint16_t last = 0;
  for (float w = 1.0f; w < 60000.0f; w *= 1.01f) {
    const std::uint16_t z = glide_detail::EncodeW(w);
    EXPECT_GE(z, last);
    last = z;
  }
  EXPECT_EQ(glide_detail::EncodeW(0.5f), 0);
  EXPECT_EQ(glide_detail::EncodeW(1e9f), 0xFFFF);
  EXPECT_LT(glide_detail::EncodeW(2.0f), glide_detail::EncodeW(2.01f));
}

using RasterClip = GlideTest;

TEST_F(RasterClip, PixelsOutsideTheClipWindowAreUntouched) {
  grBufferClear(0xFF0000FF, 0, 0xFFFF);  // blue everywhere
  grClipWindow(100, 50, 300, 250);
  grConstantColorValue(0xFFFFFFFF);
  const GrVertex a = Vertex(-100, -100), b = Vertex(900, -100), c = Vertex(320, 900);
  grDrawTriangle(&a, &b, &c);
  EXPECT_EQ(Covered(white565, 0, 0, 640, 480).size(), 200u * 200u);
  EXPECT_EQ(Pixel(99, 100), 0x001F);
  EXPECT_EQ(Pixel(100, 50), 0xFFFF);
  EXPECT_EQ(Pixel(299, 249), 0xFFFF);
  EXPECT_EQ(Pixel(300, 100), 0x001F);
  EXPECT_EQ(Pixel(150, 250), 0x001F);
}

using RasterCull = GlideTest;

TEST_F(RasterCull, NegativeCullDropsClockwiseTriangles) {
  grConstantColorValue(0xFFFFFFFF);
  grCullMode(GR_CULL_NEGATIVE);
  const GrVertex a = Vertex(10, 10), b = Vertex(60, 10), c = Vertex(10, 60);
  grDrawTriangle(&a, &c, &b);  // clockwise with y up
  EXPECT_TRUE(Covered(white565, 0, 0, 100, 100).empty());
  grDrawTriangle(&a, &b, &c);  // counter-clockwise
  EXPECT_FALSE(Covered(white565, 0, 0, 100, 100).empty());
  grBufferClear(0, 0, 0xFFFF);
  grCullMode(GR_CULL_POSITIVE);
  grDrawTriangle(&a, &b, &c);
  EXPECT_TRUE(Covered(white565, 0, 0, 100, 100).empty());
}

using RasterColor = GlideTest;

TEST_F(RasterColor, GouraudColourIsLinearInScreenSpace) {
  grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  // Red ramps from 0 at x = 0 to 255 at x = 255, with very different w at the ends
  // (colour must not be perspective-corrected).
  const GrVertex a = Vertex(0, 0, 1.0f, 0, 0, 0), b = Vertex(255, 0, 0.01f, 255, 0, 0),
                 c = Vertex(255, 100, 0.01f, 255, 0, 0), d = Vertex(0, 100, 1.0f, 0, 0, 0);
  grDrawTriangle(&a, &b, &c);
  grDrawTriangle(&a, &c, &d);
  for (int x : {0, 64, 128, 200, 254}) {
    const int expected = static_cast<int>((x * 31 + 127.5) / 255.0);
    EXPECT_NEAR(Pixel(x, 50) >> 11, expected, 1) << x;
  }
}

// 5-bit red of a channel value v without dither: floor((v * 31 + 127) / 255).
int Red5(int v) { return (v * 31 + 127) / 255; }

TEST_F(RasterColor, SteepGradientInASmallTriangleIsExact) {
  grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  // 8 pixels wide, red from 0 to 255: 31.875 per pixel, so pixel x holds
  // floor(31.875 x) = 0, 31, 63 ... 223.
  const GrVertex a = Vertex(0, 0, 1, 0, 0, 0), b = Vertex(8, 0, 1, 255, 0, 0), c = Vertex(8, 8, 1, 255, 0, 0),
                 d = Vertex(0, 8, 1, 0, 0, 0);
  grDrawTriangle(&a, &b, &c);
  grDrawTriangle(&a, &c, &d);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(x, y) >> 11, Red5(x * 255 / 8)) << x << "," << y;
}

// Small triangles with gradients far steeper than 16 a pixel, in every direction:
// each pixel's red must follow the exact plane through the vertex colours (within
// one level of the float start and truncation).
TEST_F(RasterColor, SteepGradientsFollowTheirPlane) {
  grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> corner(0.0f, 12.0f), level(0.0f, 255.0f);
  int checked = 0;
  for (int round = 0; round < 200; ++round) {
    grBufferClear(0, 0, 0xFFFF);
    GrVertex v[3];
    for (GrVertex& p : v) p = Vertex(100 + std::round(corner(rng)), 100 + std::round(corner(rng)), 1, level(rng), 255, 0);
    grDrawTriangle(&v[0], &v[1], &v[2]);
    // The plane r = r0 + a (x - x0) + b (y - y0) through the three vertices.
    const double x1 = v[1].x - v[0].x, y1 = v[1].y - v[0].y, x2 = v[2].x - v[0].x, y2 = v[2].y - v[0].y;
    const double det = x1 * y2 - x2 * y1;
    if (det == 0) continue;
    const double r1 = v[1].r - v[0].r, r2 = v[2].r - v[0].r;
    const double a = (r1 * y2 - r2 * y1) / det, b = (r2 * x1 - r1 * x2) / det;
    for (int y = 98; y < 116; ++y) {
      for (int x = 98; x < 116; ++x) {
        const std::uint16_t p = Pixel(x, y);
        if (((p >> 5) & 63) != 63) continue;  // not drawn (green marks the triangle)
        const double r = std::clamp(v[0].r + a * (x - v[0].x) + b * (y - v[0].y), 0.0, 255.0);
        const int expected = Red5(static_cast<int>(r));
        EXPECT_NEAR(p >> 11, expected, 1) << round << ": " << x << "," << y;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 2000);
}

// Colours far outside 0..255 over long spans must saturate, never wrap: along each
// span red rises monotonically from 0 to full.
TEST_F(RasterColor, ExtremeGradientsSaturateWithoutWrapping) {
  grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  for (const float extreme : {300.0f, 3e4f, 1e6f, 1e9f}) {
    grBufferClear(0, 0, 0xFFFF);
    const GrVertex a = Vertex(0, 0, 1, -extreme, 255, 0), b = Vertex(640, 0, 1, extreme, 255, 0),
                   c = Vertex(640, 64, 1, extreme, 255, 0);
    grDrawTriangle(&a, &b, &c);
    for (int y = 0; y < 30; y += 7) {
      int first = 0;
      while (first < 640 && ((Pixel(first, y) >> 5) & 63) != 63) ++first;
      ASSERT_LT(first, 320) << y;
      int last = 0;
      for (int x = first; x < 640; ++x) {
        const int red = Pixel(x, y) >> 11;
        ASSERT_GE(red, last) << extreme << ": " << x << "," << y;
        last = red;
      }
      EXPECT_EQ(Pixel(first, y) >> 11, 0) << extreme << ": " << y;
      EXPECT_EQ(last, 31) << extreme << ": " << y;
    }
  }
}

TEST_F(RasterColor, OrderedDitherAveragesToTheTrueLevel) {
  grDitherMode(GR_DITHER_4x4);
  // Red 4 of 255 is 0.486 of a 5-bit step: about half the pixels of a 4 x 4 block
  // round up; without dither none do.
  grConstantColorValue(0xFF040000);
  const GrVertex a = Vertex(-10, -10), b = Vertex(100, -10), c = Vertex(-10, 100);
  grDrawTriangle(&a, &b, &c);
  int sum = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) sum += Pixel(x, y) >> 11;
  EXPECT_GE(sum, 7);
  EXPECT_LE(sum, 9);
  grDitherMode(GR_DITHER_DISABLE);
  grDrawTriangle(&a, &b, &c);
  sum = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) sum += Pixel(x, y) >> 11;
  EXPECT_EQ(sum, 0);
}

using RasterTexture = GlideTest;

namespace {

// 64 x 64 texels whose red holds u / 2 and green holds v.
std::vector<std::uint16_t> CoordinateTexture() {
  std::vector<std::uint16_t> t(64 * 64);
  for (int v = 0; v < 64; ++v)
    for (int u = 0; u < 64; ++u) t[v * 64 + u] = static_cast<std::uint16_t>((u / 2) << 11 | v << 5);
  return t;
}

void BindTexture(std::vector<std::uint16_t>& texels, GrTexInfo& info) {
  info.smallLod = info.largeLod = GR_LOD_64;
  info.aspectRatio = GR_ASPECT_1x1;
  info.format = GR_TEXFMT_RGB_565;
  info.data = texels.data();
  grTexDownloadMipMap(GR_TMU0, grTexMinAddress(GR_TMU0), GR_MIPMAPLEVELMASK_BOTH, &info);
  grTexSource(GR_TMU0, grTexMinAddress(GR_TMU0), GR_MIPMAPLEVELMASK_BOTH, &info);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_CONSTANT,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grConstantColorValue(0xFFFFFFFF);
}

}  // namespace

TEST_F(RasterTexture, PerspectiveQuadSamplesTheRightTexels) {
  std::vector<std::uint16_t> texels = CoordinateTexture();
  GrTexInfo info;
  BindTexture(texels, info);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_POINT_SAMPLED, GR_TEXTUREFILTER_POINT_SAMPLED);
  // A square of 64 x 64 texels turned away about a vertical axis: the left edge at
  // w = 1, the right at w = 4 and so a quarter as tall on screen.
  const float wl = 1.0f, wr = 4.0f;
  const float xl = 100, xr = 400;
  GrVertex v[4] = {Vertex(xl, 100, 1 / wl), Vertex(xr, 212.5f, 1 / wr), Vertex(xr, 287.5f, 1 / wr),
                   Vertex(xl, 400, 1 / wl)};
  const float s[4] = {0, 64, 64, 0}, t[4] = {0, 0, 64, 64};
  for (int i = 0; i < 4; ++i) {
    v[i].tmuvtx[0].sow = s[i] * v[i].oow;
    v[i].tmuvtx[0].tow = t[i] * v[i].oow;
  }
  grDrawTriangle(&v[0], &v[1], &v[2]);
  grDrawTriangle(&v[0], &v[2], &v[3]);
  int checked = 0;
  for (int x = 110; x < 390; x += 20) {
    // Perspective: the fraction across the quad in texture space, from the
    // screen fraction q: u = q / wr / ((1 - q) / wl + q / wr).
    const double q = (x - xl) / (xr - xl);
    const double u = 64.0 * (q / wr) / ((1 - q) / wl + q / wr);
    const double top = 100 + 112.5 * q, bottom = 400 - 112.5 * q;
    for (double fy : {0.2, 0.5, 0.8}) {
      const int y = static_cast<int>(top + (bottom - top) * fy);
      const double tv = 64.0 * (y - top) / (bottom - top);
      const std::uint16_t p = Pixel(x, y);
      EXPECT_NEAR((p >> 11) * 2, u, 2.5) << x << "," << y;
      EXPECT_NEAR((p >> 5) & 63, tv, 1.5) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 30);
}

TEST_F(RasterTexture, BilinearBlendsNeighboursAndWraps) {
  // 2 x 2 texture, black and white columns: halfway between texel centres is grey,
  // and past the right edge the filter wraps to the first column.
  std::vector<std::uint16_t> texels(8 * 8);
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) texels[v * 8 + u] = (u % 2) ? 0xFFFF : 0x0000;
  GrTexInfo info;
  info.smallLod = info.largeLod = GR_LOD_8;
  info.aspectRatio = GR_ASPECT_1x1;
  info.format = GR_TEXFMT_RGB_565;
  info.data = texels.data();
  grTexDownloadMipMap(GR_TMU0, 0, GR_MIPMAPLEVELMASK_BOTH, &info);
  grTexSource(GR_TMU0, 0, GR_MIPMAPLEVELMASK_BOTH, &info);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR);
  grTexClampMode(GR_TMU0, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_WRAP);
  auto drawConstantS = [](float s) {
    GrVertex a = Vertex(0, 0), b = Vertex(50, 0), c = Vertex(0, 50);
    for (GrVertex* p : {&a, &b, &c}) {
      p->tmuvtx[0].sow = s;
      p->tmuvtx[0].tow = 0.5f;
    }
    grDrawTriangle(&a, &b, &c);
  };
  drawConstantS(1.5f);  // centre of texel 1: white
  EXPECT_EQ(Pixel(5, 5), 0xFFFF);
  drawConstantS(1.0f);  // between texels 0 and 1: grey
  EXPECT_NEAR(Pixel(5, 5) >> 11, 16, 1);
  drawConstantS(8.0f);  // between texel 7 (white) and, wrapped, texel 0 (black)
  EXPECT_NEAR(Pixel(5, 5) >> 11, 16, 1);
  drawConstantS(-0.5f);  // wraps to texel 7
  EXPECT_EQ(Pixel(5, 5), 0xFFFF);
}

// Naming a texture again binds it again whatever came between: another address,
// another shape, a source that was refused, or a re-opened accelerator.
TEST_F(RasterTexture, SourcingTheSameTextureAgainRebindsIt) {
  std::vector<std::uint16_t> red(8 * 8, 0xF800), blue(8 * 8, 0x001F);
  red[2 * 4 + 2] = 0x07E0;  // texel (2, 2) when the block is read 4 texels wide
  GrTexInfo info{};
  info.smallLod = info.largeLod = GR_LOD_8;
  info.aspectRatio = GR_ASPECT_1x1;
  info.format = GR_TEXFMT_RGB_565;
  info.data = red.data();
  grTexDownloadMipMap(GR_TMU0, 0, GR_MIPMAPLEVELMASK_BOTH, &info);
  info.data = blue.data();
  grTexDownloadMipMap(GR_TMU0, 4096, GR_MIPMAPLEVELMASK_BOTH, &info);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_POINT_SAMPLED, GR_TEXTUREFILTER_POINT_SAMPLED);
  const auto drawWith = [&](FxU32 address, GrLOD_t lod, GrAspectRatio_t aspect) {
    GrTexInfo source = info;
    source.largeLod = source.smallLod = lod;
    source.aspectRatio = aspect;
    grTexSource(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &source);
    GrVertex a = Vertex(0, 0), b = Vertex(40, 0), c = Vertex(0, 40);
    for (GrVertex* p : {&a, &b, &c}) p->tmuvtx[0].sow = p->tmuvtx[0].tow = 2.0f;
    grDrawTriangle(&a, &b, &c);
    return Pixel(5, 5);
  };
  EXPECT_EQ(drawWith(0, GR_LOD_8, GR_ASPECT_1x1), 0xF800);
  EXPECT_EQ(drawWith(4096, GR_LOD_8, GR_ASPECT_1x1), 0x001F);
  EXPECT_EQ(drawWith(0, GR_LOD_8, GR_ASPECT_1x1), 0xF800);
  // A bad shape unbinds: the triangle takes the combine's constant colour.
  EXPECT_EQ(drawWith(0, 99, GR_ASPECT_1x1), 0xFFFF);
  EXPECT_EQ(drawWith(0, GR_LOD_8, GR_ASPECT_1x1), 0xF800);
  // Same address, other shape: the red block read 4 texels wide, then blue.
  EXPECT_EQ(drawWith(0, GR_LOD_8, GR_ASPECT_1x2), 0x07E0);
  EXPECT_EQ(drawWith(4096, GR_LOD_8, GR_ASPECT_1x2), 0x001F);
  // After a new start of the accelerator no texture is bound until one is named.
  grGlideShutdown();
  SetUp();
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_POINT_SAMPLED, GR_TEXTUREFILTER_POINT_SAMPLED);
  GrVertex a = Vertex(0, 0), b = Vertex(40, 0), c = Vertex(0, 40);
  grDrawTriangle(&a, &b, &c);
  EXPECT_EQ(Pixel(5, 5), 0xFFFF);
  EXPECT_EQ(drawWith(4096, GR_LOD_8, GR_ASPECT_1x2), 0x001F);
}

TEST_F(RasterTexture, TextureMemoryRejectsDownloadsPastItsTop) {
  std::vector<std::uint16_t> texels(256 * 256, 0x1234);
  GrTexInfo info;
  info.smallLod = info.largeLod = GR_LOD_256;
  info.aspectRatio = GR_ASPECT_1x1;
  info.format = GR_TEXFMT_RGB_565;
  info.data = texels.data();
  EXPECT_EQ(grTexTextureMemRequired(GR_MIPMAPLEVELMASK_BOTH, &info), 131072u);
  info.aspectRatio = GR_ASPECT_2x1;
  EXPECT_EQ(grTexTextureMemRequired(GR_MIPMAPLEVELMASK_BOTH, &info), 65536u);
  info.aspectRatio = GR_ASPECT_1x1;
  // Must not write past texture memory (the sanitizer build would catch it).
  grTexDownloadMipMap(GR_TMU0, grTexMaxAddress(GR_TMU0) - 1000, GR_MIPMAPLEVELMASK_BOTH, &info);
  EXPECT_EQ(glide_detail::GetState().textureMemory.back(), 0u);
  grTexDownloadMipMap(GR_TMU0, grTexMaxAddress(GR_TMU0) - 131072, GR_MIPMAPLEVELMASK_BOTH, &info);
  EXPECT_EQ(glide_detail::GetState().textureMemory.back(), 0x1234u);
}

// Random triangles with wild coordinates, depths and texture coordinates must
// draw inside the buffers only (checked by the sanitizer build) and never hang.
TEST_F(RasterTexture, WildTrianglesStayInsideTheBuffers) {
  std::vector<std::uint16_t> texels = CoordinateTexture();
  GrTexInfo info;
  BindTexture(texels, info);
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDitherMode(GR_DITHER_4x4);
  grClipWindow(0, 0, 640, 480);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> big(-3e6f, 3e6f), near(-50.0f, 700.0f), any(-1e3f, 1e3f);
  for (int i = 0; i < 3000; ++i) {
    GrVertex v[3];
    for (GrVertex& p : v) {
      const bool wild = rng() % 4 == 0;
      p = Vertex(wild ? big(rng) : near(rng), wild ? big(rng) : near(rng) * 0.7f, any(rng) * 0.001f, any(rng),
                 any(rng), any(rng));
      p.tmuvtx[0].sow = any(rng) * 1e3f;
      p.tmuvtx[0].tow = any(rng);
    }
    if (i % 2) grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                              GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    else grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                        GR_COMBINE_OTHER_TEXTURE, FXFALSE);
    guDrawTriangleWithClip(&v[0], &v[1], &v[2]);
  }
  // The slack past the last row is never drawn into.
  grSstIdle();
  const auto& state = glide_detail::GetState();
  const std::size_t end = static_cast<std::size_t>(glide_detail::bufferStride) * 480;
  for (std::size_t i = end; i < end + glide_detail::bufferSlack; ++i) EXPECT_EQ(state.back[i], 0) << i;
}
