// Polygon drawing: collection, projection constants, near-plane clipping order,
// the combine chosen per shading mode, and back-face culling of closed meshes.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "cube.h"
#include "gfx/device.h"
#include "gfx/draw.h"
#include "platform/glide/glide_internal.h"
#include "platform/glide/glide_output.h"

namespace {

class DrawTest : public ::testing::Test {
protected:
  void SetUp() override {
    GlideSelectOutput(GlideOutput::offscreen);
    DeviceInit();
    DeviceOpen(GR_RESOLUTION_640x480);
    ASSERT_EQ(DeviceIsOpen(), 1);
    SetViewportScale(1.0f);
    ClearBuffer();
    polygonCount = 0;
  }
  void TearDown() override { DeviceClose(); }

  static PolygonVertex V(float x, float y, float z) { return {x, y, z, 100, 100, 100, 0, 0}; }

  static Polygon Poly(std::initializer_list<PolygonVertex> vertices, int flags = polygonEmit | 1) {
    Polygon p{};
    p.flags = flags;
    for (const PolygonVertex& v : vertices) p.vertices[p.count++] = v;
    return p;
  }

  static std::uint16_t BackPixel(int x, int y) {
    int stride = 0;
    std::uint16_t* p = LockBackBuffer(&stride);
    const std::uint16_t v = p[static_cast<std::ptrdiff_t>(y) * (stride / 2) + x];
    UnlockBackBuffer();
    return v;
  }
};

}  // namespace

TEST_F(DrawTest, NinetyDegreeProjection) {
  Polygon p = Poly({V(0, 0, 1)});
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  EXPECT_FLOAT_EQ(tanHalfFov, 1.0f);
  EXPECT_FLOAT_EQ(nearW, 0.5f);
  EXPECT_FLOAT_EQ(projScaleX, 5120.0f);
  EXPECT_FLOAT_EQ(projScaleY, 5120.0f);
  EXPECT_FLOAT_EQ(projCenterX, 5112.0f);
  EXPECT_FLOAT_EQ(projCenterY, 3832.0f);
  ASSERT_EQ(clipVertexCount, 1);
  EXPECT_FLOAT_EQ(clipVertices[0].x, 319.5f);
  EXPECT_FLOAT_EQ(clipVertices[0].y, 239.5f);
  EXPECT_FLOAT_EQ(clipVertices[0].oow, 0.5f);
  EXPECT_FLOAT_EQ(clipVertices[0].z, 1.0f);
  EXPECT_FLOAT_EQ(clipVertices[0].a, 255.0f);
  EXPECT_FLOAT_EQ(glide_detail::GetState().gamma, 1.5f);
}

TEST_F(DrawTest, CoordinatesSnapToSixteenthsTowardZero) {
  SetProjection(90.0f);
  clipVertexCount = 0;
  // x: 0.001 * 0.5 * 5120 + 5112 = 5114.56 -> 5114 -> 319.625.
  const PolygonVertex v = V(0.001f, -0.001f, 1);
  ProjectVertex(&v);
  EXPECT_FLOAT_EQ(clipVertices[0].x, 5114.0f / 16);
  EXPECT_FLOAT_EQ(clipVertices[0].y, 3829.0f / 16);
}

TEST_F(DrawTest, QuadInFrontStartsWithItsLastVertex) {
  Polygon p = Poly({V(-1, -1, 2), V(1, -1, 2), V(1, 1, 3), V(-1, 1, 3)});
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  ASSERT_EQ(clipVertexCount, 4);
  const float w3 = 1.0f / (3 + 1), w0 = 1.0f / (2 + 1);
  EXPECT_FLOAT_EQ(clipVertices[0].oow, w3);  // P3
  EXPECT_FLOAT_EQ(clipVertices[0].x, std::trunc(-1 * w3 * 5120 + 5112) / 16);
  EXPECT_FLOAT_EQ(clipVertices[1].oow, w0);  // P0
  EXPECT_FLOAT_EQ(clipVertices[1].x, std::trunc(-1 * w0 * 5120 + 5112) / 16);
  EXPECT_FLOAT_EQ(clipVertices[2].x, std::trunc(1 * w0 * 5120 + 5112) / 16);  // P1
  EXPECT_FLOAT_EQ(clipVertices[3].oow, w3);                                   // P2
  EXPECT_FLOAT_EQ(clipVertices[3].x, std::trunc(1 * w3 * 5120 + 5112) / 16);
}

TEST_F(DrawTest, TriangleCrossingTheNearPlaneGetsTwoIntersections) {
  // P0 behind (z 0), P1 and P2 in front (z 3).
  Polygon p = Poly({V(0, 0, 0), V(2, 0, 3), V(0, 2, 3)});
  p.vertices[0].s = 0;
  p.vertices[1].s = 30;
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  ASSERT_EQ(clipVertexCount, 4);
  // Order: P2 (the last vertex) projected, then P2->P0 cut, P0->P1 cut, then P1.
  EXPECT_FLOAT_EQ(clipVertices[0].oow, 0.25f);
  EXPECT_FLOAT_EQ(clipVertices[1].oow, 0.5f);
  EXPECT_FLOAT_EQ(clipVertices[2].oow, 0.5f);
  EXPECT_FLOAT_EQ(clipVertices[3].oow, 0.25f);
  // The cut on P0->P1 lies a third of the way: x = 2/3, s = 10.
  EXPECT_FLOAT_EQ(clipVertices[2].x, std::trunc((2.0f / 3) * 0.5f * 5120 + 5112) / 16);
  EXPECT_NEAR(clipVertices[2].tmuvtx[0].sow / clipVertices[2].oow, 10.0f, 1e-4);
}

TEST_F(DrawTest, PolygonsBehindOrWithoutEmitBitAreNotDrawn) {
  Polygon list[3] = {Poly({V(-5, -5, 0.5f), V(5, -5, 0.5f), V(0, 5, 0.9f)}),
                     Poly({V(-5, -5, 2), V(5, -5, 2), V(0, 5, 2)}, 1),
                     Poly({V(-5, -5, 2), V(5, -5, 2), V(0, 5, 2)})};
  list[2].count = 0;
  clipVertexCount = 77;
  DrawPolygonList(list, 3, textures, 90.0f, 255);
  EXPECT_EQ(clipVertexCount, 0);  // only the first was clipped, to nothing
  EXPECT_EQ(BackPixel(320, 240), 0);
}

TEST_F(DrawTest, CollectorKeepsEmittedPolygonsWithMeanDepth) {
  Polygon p = Poly({V(0, 0, 1), V(0, 0, 2), V(0, 0, 6)});
  EXPECT_EQ(CollectPolygon(&p), 1);
  ASSERT_EQ(polygonCount, 1);
  EXPECT_FLOAT_EQ(polygonList[0].depth, 3.0f);
  Polygon hidden = Poly({V(0, 0, 1)}, 0x07);
  EXPECT_EQ(CollectPolygon(&hidden), 1);
  EXPECT_EQ(polygonCount, 1);
  polygonCount = maxPolygons - 1;
  EXPECT_EQ(CollectPolygon(&p), 1);
  EXPECT_EQ(CollectPolygon(&p), 0);
  EXPECT_EQ(polygonCount, maxPolygons);
  polygonCount = 0;
}

TEST_F(DrawTest, FlatColourIsComposedFromTheChannelTablesAndClamped) {
  Polygon p = Poly({V(-1, -1, 2), V(1, -1, 2), V(0, 1, 2)}, polygonEmit | 0);
  p.vertices[0].r = 255.0f;
  p.vertices[0].g = 128.7f;
  p.vertices[0].b = 0.0f;
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  const glide_detail::State& s = glide_detail::GetState();
  EXPECT_EQ(s.constantColor, 0xFFFF8000u);
  EXPECT_EQ(s.combineLocal, GR_COMBINE_LOCAL_CONSTANT);
  EXPECT_EQ(s.combineFunction, GR_COMBINE_FUNCTION_LOCAL);
  p.vertices[0].r = 300.0f;
  p.vertices[0].g = -20.0f;
  p.vertices[0].b = NAN;
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  EXPECT_EQ(s.constantColor, 0xFFFF0000u);
}

TEST_F(DrawTest, TexturedModeBindsItsTextureAndScalesByColour) {
  std::vector<std::uint16_t> pixels(64 * 64, 0xFFFF);
  for (int i = 0; i < 4; ++i) {
    textures[i] = Texture{};
    textures[i].width = textures[i].height = 64;
    textures[i].pixels = pixels.data();
  }
  nextTextureAddress = -1;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(UploadTexture(&textures[i]), 1);
  Polygon p = Poly({V(-1, -1, 2), V(1, -1, 2), V(0, 1, 2)}, polygonEmit | 4);
  p.texture = 3;
  p.vertices[0].r = 255;
  p.vertices[0].g = 0;
  p.vertices[0].b = 0;
  ditherEnabled = 0;
  DrawPolygonList(&p, 1, textures, 90.0f, 255);
  ditherEnabled = 1;
  const glide_detail::State& s = glide_detail::GetState();
  EXPECT_EQ(s.texture.texels, s.textureExpanded.data() + textures[3].startAddress / 2);
  EXPECT_EQ(s.combineFunction, GR_COMBINE_FUNCTION_SCALE_OTHER);
  EXPECT_EQ(s.combineOther, GR_COMBINE_OTHER_TEXTURE);
  // White texture times flat red.
  EXPECT_EQ(BackPixel(320, 240), 0xF800);
  for (int i = 0; i < 4; ++i) textures[i] = Texture{};
}

// A closed cube seen from several cameras, each face in its own flat colour, back
// faces culled: exactly the faces turned towards the camera must show.
TEST_F(DrawTest, BackFaceCullingKeepsTheFrontFacesOfClosedMeshes) {
  const Vec3 eyes[] = {{0, -10, 3}, {7, 6, -4}, {-8, 1, 5}, {3, -9, 0.5}, {0.5, 0.5, 12}};
  auto to565 = [](int r, int g, int b) {
    return static_cast<std::uint16_t>(static_cast<int>((r * 31 + 127.5) / 255) << 11 |
                                      static_cast<int>((g * 63 + 127.5) / 255) << 5 |
                                      static_cast<int>((b * 31 + 127.5) / 255));
  };
  for (const Vec3& eye : eyes) {
    const Camera camera(eye, {0, 0, 0});
    const std::vector<Triangle> cube = CubeTriangles({0, 0, 0}, 2);
    ClearBuffer();
    std::vector<Polygon> list;
    std::set<int> expected;
    std::map<std::uint16_t, int> faceOfColour;
    for (std::size_t i = 0; i < cube.size(); ++i) {
      const int face = static_cast<int>(i / 2);
      const int r = 40 * face + 40, g = 255 - 40 * face;
      list.push_back(MakePolygon(camera, cube[i], polygonEmit, static_cast<float>(r), static_cast<float>(g), 128));
      faceOfColour[to565(r, g, 128)] = face;
      const Triangle& t = cube[i];
      const Vec3 normal = Cross(Sub(t.corners[1], t.corners[0]), Sub(t.corners[2], t.corners[0]));
      if (Dot(normal, Sub(eye, t.corners[0])) > 1e-6) expected.insert(face);
    }
    ditherEnabled = 0;
    DrawPolygonList(list.data(), static_cast<int>(list.size()), textures, 60.0f, 255);
    ditherEnabled = 1;
    std::set<int> seen;
    for (int y = 0; y < 480; ++y) {
      for (int x = 0; x < 640; ++x) {
        const std::uint16_t v = BackPixel(x, y);
        if (v == 0) continue;
        const auto it = faceOfColour.find(v);
        ASSERT_NE(it, faceOfColour.end()) << "unexpected colour " << v;
        seen.insert(it->second);
      }
    }
    EXPECT_EQ(seen, expected) << "eye " << eye.x << "," << eye.y << "," << eye.z;
  }
}

