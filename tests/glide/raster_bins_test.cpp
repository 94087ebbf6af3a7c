// Binned drawing: triangles kept in band bins and drawn later by two threads give
// the reference's pixels whatever happens between them: more triangles than the
// list holds, triangles across band edges, render state, clip window and bound
// texture changing per triangle, texture downloads, frame buffer reads after every
// triangle, and a change of raster mode in the middle of a frame.
#include <random>
#include <thread>

#include "glide_fixture.h"
#include "platform/glide/glide_bins.h"
#include "raster_paths.h"

namespace {

using glide_detail::BandBins;

constexpr int bandRows = 1 << BandBins::bandShift;

// Two noise textures: 64 x 64 at address 0, 32 x 32 after it.
struct TwoTextures {
  std::vector<std::uint16_t> texels[2];
  GrTexInfo info[2];
  FxU32 address[2] = {0, 64 * 64 * 2};

  void Download(int which, unsigned seed) {
    std::mt19937 rng(seed);
    const int side = which == 0 ? 64 : 32;
    texels[which].resize(static_cast<std::size_t>(side) * side);
    for (auto& t : texels[which]) t = static_cast<std::uint16_t>(rng());
    GrTexInfo& i = info[which];
    i.smallLod = i.largeLod = which == 0 ? GR_LOD_64 : GR_LOD_32;
    i.aspectRatio = GR_ASPECT_1x1;
    i.format = GR_TEXFMT_RGB_565;
    i.data = texels[which].data();
    grTexDownloadMipMap(GR_TMU0, address[which], GR_MIPMAPLEVELMASK_BOTH, &i);
  }
  void Bind(int which) { grTexSource(GR_TMU0, address[which], GR_MIPMAPLEVELMASK_BOTH, &info[which]); }
};

void TexturedGouraud() {
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDitherMode(GR_DITHER_4x4);
}

void Clear() {
  grClipWindow(0, 0, 640, 480);
  grDepthMask(FXTRUE);
  grBufferClear(0x00102030, 0, 0xFFFF);
}

// A textured, lit triangle around (cx, cy), 'size' pixels across.
void DrawAround(std::mt19937& rng, float cx, float cy, float size) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f), colour(0.0f, 255.0f), depth(0.01f, 1.0f);
  GrVertex v[3];
  for (GrVertex& p : v) {
    p = GrVertex{};
    p.x = std::round((cx + unit(rng) * size) * 16) / 16;
    p.y = std::round((cy + unit(rng) * size) * 16) / 16;
    p.r = colour(rng);
    p.g = colour(rng);
    p.b = colour(rng);
    p.oow = p.tmuvtx[0].oow = depth(rng);
    p.tmuvtx[0].sow = p.x * 0.9f * p.oow;
    p.tmuvtx[0].tow = p.y * 1.1f * p.oow;
  }
  grDrawTriangle(&v[0], &v[1], &v[2]);
}

void ExpectAllModesMatch(const std::function<void()>& draw) {
  for (const std::string& failure : rasterpaths::CompareModes(draw)) ADD_FAILURE() << failure;
}

}  // namespace

using RasterBins = GlideTest;

// Three times as many triangles as the list holds between two clears: the list
// fills and is drawn out twice in the middle of the frame.
TEST_F(RasterBins, MoreTrianglesThanTheListHoldsMatch) {
  TwoTextures textures;
  textures.Download(0, 1);
  ExpectAllModesMatch([&] {
    Clear();
    TexturedGouraud();
    textures.Bind(0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> px(0.0f, 640.0f), py(0.0f, 480.0f);
    for (std::uint32_t i = 0; i < 3 * BandBins::capacity; ++i) DrawAround(rng, px(rng), py(rng), 12.0f);
  });
}

// Slivers and small triangles straddling every band edge, drawn over each other
// without a depth test, so a band drawn out of order shows at once.
TEST_F(RasterBins, TrianglesAcrossBandEdgesKeepTheirOrder) {
  ExpectAllModesMatch([] {
    Clear();
    grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_CONSTANT,
                   GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> px(0.0f, 600.0f), reach(0.3f, 3.0f);
    for (int round = 0; round < 40; ++round) {
      for (int edge = bandRows; edge < 480; edge += bandRows) {
        grConstantColorValue(static_cast<GrColor_t>(rng()));
        const float x = px(rng), y = static_cast<float>(edge), up = reach(rng), down = reach(rng);
        const GrVertex a = Vertex(x, y - down), b = Vertex(x + 40, y - down + 0.5f), c = Vertex(x + 20, y + up);
        grDrawTriangle(&a, &b, &c);
      }
      // A tall triangle over all bands at once.
      grConstantColorValue(static_cast<GrColor_t>(rng()));
      const float x = px(rng);
      const GrVertex a = Vertex(x, -5), b = Vertex(x + 30, 240), c = Vertex(x + 5, 490);
      grDrawTriangle(&a, &b, &c);
    }
  });
}

// Every triangle with its own clip window, bound texture, filter, dither, depth
// function and mask: each must be drawn with the state it was drawn under.
TEST_F(RasterBins, StateChangingEveryTriangleMatches) {
  TwoTextures textures;
  textures.Download(0, 2);
  textures.Download(1, 3);
  ExpectAllModesMatch([&] {
    Clear();
    TexturedGouraud();
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> px(0.0f, 640.0f), py(0.0f, 480.0f);
    const GrCmpFnc_t functions[] = {GR_CMP_LESS, GR_CMP_LEQUAL, GR_CMP_GREATER, GR_CMP_ALWAYS};
    for (int i = 0; i < 4000; ++i) {
      textures.Bind(static_cast<int>(rng() % 2));
      grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR,
                      rng() % 2 ? GR_TEXTUREFILTER_BILINEAR : GR_TEXTUREFILTER_POINT_SAMPLED);
      grDitherMode(rng() % 2 ? GR_DITHER_4x4 : GR_DITHER_DISABLE);
      grDepthBufferFunction(functions[rng() % 4]);
      grDepthMask(rng() % 4 ? FXTRUE : FXFALSE);
      const FxU32 x0 = rng() % 320, y0 = rng() % 240;
      grClipWindow(x0, y0, x0 + 100 + rng() % 320, y0 + 60 + rng() % 240);
      DrawAround(rng, px(rng), py(rng), 40.0f);
    }
  });
}

// A new texture downloaded over the bound one every few triangles: triangles
// before the download show the old texels, those after it the new.
TEST_F(RasterBins, DownloadsBetweenTrianglesMatch) {
  TwoTextures textures;
  ExpectAllModesMatch([&] {
    Clear();
    TexturedGouraud();
    std::mt19937 rng(14);
    std::uniform_real_distribution<float> px(0.0f, 640.0f), py(0.0f, 480.0f);
    for (int i = 0; i < 1500; ++i) {
      if (i % 7 == 0) {
        textures.Download(0, static_cast<unsigned>(i));
        textures.Bind(0);
      }
      DrawAround(rng, px(rng), py(rng), 30.0f);
    }
  });
}

// The frame buffer lock after every triangle shows that triangle finished, and
// the pixels written through it stay under the next triangles.
TEST_F(RasterBins, LockAfterEveryTriangleSeesItDrawn) {
  GlideSetRasterMode(GlideRasterMode{true, true});
  if (std::thread::hardware_concurrency() >= 2) {
    ASSERT_TRUE(GlideRasterWorkerActive());
  }
  std::mt19937 rng(17);
  for (int i = 0; i < 600; ++i) {
    const auto colour = static_cast<std::uint16_t>(rng() | 1);
    // The 565 colour widened to 888 as texels are, so that it comes back unchanged.
    const GrColor_t c = ((colour >> 11) & 31) * 255 / 31 << 16 | ((colour >> 5) & 63) * 255 / 63 << 8 |
                        (colour & 31) * 255 / 31;
    grConstantColorValue(c);
    const int x = static_cast<int>(rng() % 600), y = static_cast<int>(rng() % 440);
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    const GrVertex a = Vertex(fx, fy), b = Vertex(fx + 30, fy), c2 = Vertex(fx, fy + 30);
    grDrawTriangle(&a, &b, &c2);
    ASSERT_EQ(Pixel(x + 2, y + 2), colour) << "triangle " << i;
  }
}

// Switching the worker off and on between the triangles of one frame.
TEST_F(RasterBins, ModeChangesWithinAFrameMatchTheReference) {
  TwoTextures textures;
  textures.Download(0, 4);
  const auto draw = [&](bool switching) {
    Clear();
    TexturedGouraud();
    textures.Bind(0);
    std::mt19937 rng(19);
    std::uniform_real_distribution<float> px(0.0f, 640.0f), py(0.0f, 480.0f);
    for (int i = 0; i < 3000; ++i) {
      if (switching && i % 500 == 0) GlideSetRasterMode(GlideRasterMode{true, (i / 500) % 2 == 0});
      DrawAround(rng, px(rng), py(rng), 25.0f);
    }
    return rasterpaths::ReadBack(640, 480);
  };
  GlideSetRasterMode(GlideRasterMode{false, false});
  const rasterpaths::Picture reference = draw(false);
  const rasterpaths::Picture switched = draw(true);
  GlideSetRasterMode(GlideRasterMode{});
  EXPECT_EQ(rasterpaths::Difference(reference, switched, 640), "");
}
