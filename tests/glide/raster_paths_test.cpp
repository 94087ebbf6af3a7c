// Every raster mode draws the reference's pixels and depths exactly: awkward
// triangles under every render state, draw order within a pixel, band edges, the
// linear frame buffer and texture downloads between triangles.
#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "glide_fixture.h"
#include "raster_paths.h"

namespace {

// 64 x 32 texels of noise, downloaded at the bottom of texture memory.
void BindNoiseTexture(std::vector<std::uint16_t>& texels, GrTexInfo& info, unsigned seed) {
  std::mt19937 rng(seed);
  texels.resize(64 * 32);
  for (auto& t : texels) t = static_cast<std::uint16_t>(rng());
  info.smallLod = info.largeLod = GR_LOD_64;
  info.aspectRatio = GR_ASPECT_2x1;
  info.format = GR_TEXFMT_RGB_565;
  info.data = texels.data();
  grTexDownloadMipMap(GR_TMU0, 0, GR_MIPMAPLEVELMASK_BOTH, &info);
  grTexSource(GR_TMU0, 0, GR_MIPMAPLEVELMASK_BOTH, &info);
}

// A random one of the render states the rasterizer tells apart.
void ChooseState(std::mt19937& rng) {
  const GrCmpFnc_t functions[] = {GR_CMP_LESS, GR_CMP_LEQUAL, GR_CMP_GREATER, GR_CMP_NOTEQUAL, GR_CMP_ALWAYS};
  switch (rng() % 4) {
    case 0: grDepthBufferMode(GR_DEPTHBUFFER_DISABLE); break;
    default: grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER); break;
  }
  grDepthBufferFunction(rng() % 3 ? GR_CMP_LESS : functions[rng() % 5]);
  grDepthMask(rng() % 5 ? FXTRUE : FXFALSE);
  grDitherMode(rng() % 3 ? GR_DITHER_4x4 : GR_DITHER_DISABLE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR,
                  rng() % 3 ? GR_TEXTUREFILTER_BILINEAR : GR_TEXTUREFILTER_POINT_SAMPLED);
  grCullMode(rng() % 4 == 0 ? GR_CULL_NEGATIVE : GR_CULL_DISABLE);
  grConstantColorValue(static_cast<GrColor_t>(rng()));
  switch (rng() % 4) {
    case 0:
      grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                     GR_COMBINE_OTHER_CONSTANT, FXFALSE);
      break;
    case 1:
      grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_CONSTANT,
                     GR_COMBINE_OTHER_CONSTANT, FXFALSE);
      break;
    case 2:
      grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                     GR_COMBINE_OTHER_TEXTURE, FXFALSE);
      break;
    default:
      grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                     GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  }
}

GrVertex RandomVertex(std::mt19937& rng, float cx, float cy, float size) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f), colour(-40.0f, 300.0f), depth(0.002f, 1.0f);
  GrVertex v{};
  v.x = std::round((cx + unit(rng) * size) * 16) / 16;
  v.y = std::round((cy + unit(rng) * size) * 16) / 16;
  v.r = colour(rng);
  v.g = colour(rng);
  v.b = colour(rng);
  v.oow = v.tmuvtx[0].oow = depth(rng);
  v.tmuvtx[0].sow = unit(rng) * 300 * v.oow;
  v.tmuvtx[0].tow = unit(rng) * 300 * v.oow;
  return v;
}

void Clear() {
  grClipWindow(0, 0, 640, 480);
  grDepthMask(FXTRUE);
  grBufferClear(0x00203040, 0, 0xFFFF);
}

void ExpectAllModesMatch(const std::function<void()>& draw) {
  for (const std::string& failure : rasterpaths::CompareModes(draw)) ADD_FAILURE() << failure;
}

}  // namespace

using RasterPaths = GlideTest;

TEST_F(RasterPaths, RandomTrianglesUnderEveryStateMatch) {
  std::vector<std::uint16_t> texels;
  GrTexInfo info;
  BindNoiseTexture(texels, info, 1);
  ExpectAllModesMatch([] {
    Clear();
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> px(-40.0f, 680.0f), py(-40.0f, 520.0f);
    const float sizes[] = {0.7f, 3.0f, 9.0f, 30.0f, 120.0f, 500.0f};
    for (int i = 0; i < 3000; ++i) {
      if (i % 50 == 0) ChooseState(rng);
      if (i % 700 == 0) grClipWindow(rng() % 200, rng() % 200, 300 + rng() % 340, 250 + rng() % 230);
      const float cx = px(rng), cy = py(rng), size = sizes[rng() % 6];
      const GrVertex a = RandomVertex(rng, cx, cy, size), b = RandomVertex(rng, cx, cy, size),
                     c = RandomVertex(rng, cx, cy, size);
      grDrawTriangle(&a, &b, &c);
    }
  });
}

// Triangles a few pixels across under every state: rows of one to a dozen pixels
// that differ in length from row to row, start and end on odd pixels, take steep
// colours, and are cut by clip windows on odd columns and rows. The vector spans
// draw the last one to four pixels of two such rows in one group.
TEST_F(RasterPaths, ShortRowsMatch) {
  std::vector<std::uint16_t> texels;
  GrTexInfo info;
  BindNoiseTexture(texels, info, 5);
  ExpectAllModesMatch([] {
    Clear();
    std::mt19937 rng(31);
    const float sizes[] = {0.6f, 1.3f, 2.2f, 3.5f, 5.0f, 7.0f};
    for (int i = 0; i < 6000; ++i) {
      if (i % 60 == 0) ChooseState(rng);
      if (i % 1500 == 0) grClipWindow(0, 0, 640, 480);
      if (i % 1500 == 750) grClipWindow(101 + 2 * (rng() % 50), 77 + 2 * (rng() % 50), 401 + 2 * (rng() % 50), 301 + 2 * (rng() % 50));
      const float cx = static_cast<float>(rng() % 640), cy = static_cast<float>(rng() % 480);
      const float size = sizes[rng() % 6];
      const GrVertex a = RandomVertex(rng, cx, cy, size), b = RandomVertex(rng, cx, cy, size),
                     c = RandomVertex(rng, cx, cy, size);
      grDrawTriangle(&a, &b, &c);
    }
  });
}

// Overlapping triangles without a depth test: the last one drawn shows, whichever
// thread draws the pixel.
TEST_F(RasterPaths, DrawOrderWithinAPixelIsKept) {
  ExpectAllModesMatch([] {
    Clear();
    grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_CONSTANT,
                   GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    std::mt19937 rng(4);
    for (int i = 0; i < 2000; ++i) {
      grConstantColorValue(static_cast<GrColor_t>(rng()));
      const GrVertex a = RandomVertex(rng, 320, 240, 200), b = RandomVertex(rng, 320, 240, 200),
                     c = RandomVertex(rng, 320, 240, 200);
      grDrawTriangle(&a, &b, &c);
    }
  });
}

// Spans of every length from every starting phase, on rows either side of the
// band edges, and slivers one row tall.
TEST_F(RasterPaths, SpanLengthsPhasesAndBandEdgesMatch) {
  std::vector<std::uint16_t> texels;
  GrTexInfo info;
  BindNoiseTexture(texels, info, 2);
  ExpectAllModesMatch([] {
    Clear();
    grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
    grDitherMode(GR_DITHER_4x4);
    grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                   GR_COMBINE_OTHER_TEXTURE, FXFALSE);
    for (int length = 1; length <= 20; ++length) {
      for (int phase = 0; phase < 8; ++phase) {
        const float x = static_cast<float>(20 + phase + 30 * (length - 1) % 600);
        const float y = static_cast<float>(14 + 16 * ((length - 1) / 2 + phase * 2 % 7)) + 0.5f;
        GrVertex v[3] = {Vertex(x, y - 3, 0.5f, 255, 0, 0), Vertex(x + static_cast<float>(length), y - 3, 0.2f, 0, 255, 0),
                         Vertex(x + static_cast<float>(length), y + 3, 0.05f, 0, 0, 255)};
        for (GrVertex& p : v) {
          p.tmuvtx[0].sow = p.x * 3 * p.oow;
          p.tmuvtx[0].tow = p.y * 2 * p.oow;
        }
        grDrawTriangle(&v[0], &v[1], &v[2]);
        const GrVertex s0 = Vertex(x, y + 5.3f), s1 = Vertex(x + 40, y + 5.4f), s2 = Vertex(x + 3, y + 5.9f);
        grDrawTriangle(&s0, &s1, &s2);
      }
    }
  });
}

// Pixels written through the frame buffer lock between triangles, a clear and a
// new texture at the same address: each lands between the triangles before and
// after it.
TEST_F(RasterPaths, LockClearAndDownloadBetweenTrianglesMatch) {
  std::vector<std::uint16_t> texels;
  GrTexInfo info;
  ExpectAllModesMatch([&] {
    Clear();
    BindNoiseTexture(texels, info, 3);
    grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                   GR_COMBINE_OTHER_TEXTURE, FXFALSE);
    std::mt19937 rng(8);
    for (int round = 0; round < 6; ++round) {
      for (int i = 0; i < 200; ++i) {
        const GrVertex a = RandomVertex(rng, 320, 240, 150), b = RandomVertex(rng, 320, 240, 150),
                       c = RandomVertex(rng, 320, 240, 150);
        grDrawTriangle(&a, &b, &c);
      }
      if (round == 1) {
        GrLfbInfo_t lfb{};
        lfb.size = sizeof(lfb);
        ASSERT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY, FXFALSE, &lfb));
        auto* base = static_cast<std::uint8_t*>(lfb.lfbPtr);
        for (int y = 100; y < 300; ++y)
          for (int x = 100; x < 500; x += 3)
            reinterpret_cast<std::uint16_t*>(base + static_cast<std::size_t>(y) * lfb.strideInBytes)[x] ^= 0x5555;
        grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER);
      }
      if (round == 3) {
        grClipWindow(50, 60, 400, 300);
        grBufferClear(0x00FF0000, 0, 0x8000);
        grClipWindow(0, 0, 640, 480);
      }
      if (round == 4) BindNoiseTexture(texels, info, 4);
    }
  });
}

// The frame buffer lock shows every triangle drawn before it, with the worker too.
TEST_F(RasterPaths, LockSeesFinishedPixels) {
  GlideSetRasterMode(GlideRasterMode{true, true});
  if (std::thread::hardware_concurrency() >= 2) {
    ASSERT_TRUE(GlideRasterWorkerActive());
  }
  grConstantColorValue(0xFFFFFFFF);
  for (int i = 0; i < 100; ++i) {
    const float y = static_cast<float>(4 * i);
    const GrVertex a = Vertex(0, y), b = Vertex(640, y), c = Vertex(640, y + 4), d = Vertex(0, y + 4);
    grDrawTriangle(&a, &b, &c);
    grDrawTriangle(&a, &c, &d);
  }
  const rasterpaths::Picture p = rasterpaths::ReadBack(640, 480);
  for (int y = 0; y < 400; ++y) ASSERT_EQ(p.color[static_cast<std::size_t>(y) * 640 + 320], 0xFFFF) << y;
}

// A screen as wide as the row stride leaves no room for a span's spare lanes
// between rows: the worker stays off there, and the pictures still match.
TEST_F(RasterPaths, WidestScreenDrawsWithoutTheWorker) {
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_1024x768, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 1));
  GlideSetRasterMode(GlideRasterMode{true, true});
  EXPECT_FALSE(GlideRasterWorkerActive());
  const auto failures = rasterpaths::CompareModes(
      [] {
        grClipWindow(0, 0, 1024, 768);
        grBufferClear(0, 0, 0xFFFF);
        grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                       GR_COMBINE_OTHER_CONSTANT, FXFALSE);
        std::mt19937 rng(6);
        for (int i = 0; i < 500; ++i) {
          const GrVertex a = RandomVertex(rng, 1000, 384, 60), b = RandomVertex(rng, 1000, 384, 60),
                         c = RandomVertex(rng, 1000, 384, 60);
          grDrawTriangle(&a, &b, &c);
        }
      },
      1024, 768);
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
}

// On a screen as wide as the row stride, a short row ending at the right edge has
// spare lanes over the start of the next row; paired with a short row there, the
// next row's pixels must still come out drawn. The sliver covers pixels 1021-1023
// of one row and 0-2 of the next.
TEST_F(RasterPaths, ShortRowsAcrossTheRowStrideMatch) {
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_1024x768, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 1));
  const auto draw = [] {
    grClipWindow(0, 0, 1024, 768);
    grBufferClear(0, 0, 0xFFFF);
    grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
    grDepthBufferFunction(GR_CMP_LESS);
    grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                   GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    const GrVertex a = Vertex(1531.5f, 299.5f, 0.5f, 250, 40, 90), b = Vertex(516.5f, 300.5f, 0.4f, 30, 240, 60),
                   c = Vertex(-510.5f, 301.5f, 0.3f, 90, 20, 250);
    grDrawTriangle(&a, &b, &c);
  };
  for (const std::string& failure : rasterpaths::CompareModes(draw, 1024, 768)) ADD_FAILURE() << failure;
  GlideSetRasterMode(GlideRasterMode{true, false});
  draw();
  const rasterpaths::Picture p = rasterpaths::ReadBack(1024, 768);
  EXPECT_EQ(std::count_if(p.color.begin(), p.color.end(), [](std::uint16_t v) { return v != 0; }), 6);
}
