// A whole scene through the device layer: textured and Gouraud-lit cubes on a
// checkered floor that crosses the near plane, drawn, swapped and saved as a PNG
// (scene_test.png in the test's working directory) for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "cube.h"
#include "gfx/device.h"
#include "gfx/draw.h"
#include "platform/glide/glide_output.h"

namespace {

std::vector<std::uint16_t> Checker(int size, std::uint16_t a, std::uint16_t b, int cell) {
  std::vector<std::uint16_t> t(static_cast<std::size_t>(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) t[static_cast<std::size_t>(y * size + x)] = ((x / cell + y / cell) & 1) ? a : b;
  return t;
}

// Lambert light from the camera, as the engine's zero light transform gives.
float Shade(const Camera& camera, const Triangle& t) {
  const Vec3 n = Normalise(Cross(Sub(t.corners[1], t.corners[0]), Sub(t.corners[2], t.corners[0])));
  const Vec3 toEye = Normalise(Sub(camera.eye, t.corners[0]));
  return static_cast<float>(40 + 215 * std::max(0.0, Dot(n, toEye)));
}

}  // namespace

TEST(SceneTest, RendersATexturedLitSceneToPng) {
  GlideSelectOutput(GlideOutput::offscreen);
  DeviceInit();
  DeviceOpen(FindScreenMode(screenModes, screenModeCount, 640, 480)->resolution);
  ASSERT_EQ(DeviceIsOpen(), 1);
  SetViewportScale(1.0f);

  std::vector<std::uint16_t> floor = Checker(256, 0xFFFF, 0x4208, 32);
  std::vector<std::uint16_t> bricks = Checker(64, 0xFB20, 0x8800, 8);
  textures[0] = Texture{};
  textures[0].width = textures[0].height = 256;
  textures[0].pixels = floor.data();
  textures[1] = Texture{};
  textures[1].width = textures[1].height = 64;
  textures[1].pixels = bricks.data();
  nextTextureAddress = -1;
  ASSERT_EQ(UploadTexture(&textures[0]), 1);
  ASSERT_EQ(UploadTexture(&textures[1]), 1);

  const Camera camera({-6, -14, 6}, {0, 0, 1});
  polygonCount = 0;
  // Floor: a big two-sided quad, four texture repeats, reaching behind the camera.
  const Triangle floorA{{Vec3{-40, -40, -1}, Vec3{40, -40, -1}, Vec3{40, 40, -1}}, {0, 0, 8, 0, 8, 8}};
  const Triangle floorB{{Vec3{-40, -40, -1}, Vec3{40, 40, -1}, Vec3{-40, 40, -1}}, {0, 0, 8, 8, 0, 8}};
  for (const Triangle& t : {floorA, floorB}) {
    Polygon p = MakePolygon(camera, t, polygonEmit | polygonTextured | 1, 255, 255, 255);
    p.texture = 0;
    ASSERT_EQ(CollectPolygon(&p), 1);
  }
  // A textured, flat-lit cube, a Gouraud cube and a small untextured one behind.
  for (const Triangle& t : CubeTriangles({-2.5, 0, 1}, 2)) {
    const float k = Shade(camera, t);
    Polygon p = MakePolygon(camera, t, polygonEmit | polygonTextured, k, k, k, 64);
    p.texture = 1;
    CollectPolygon(&p);
  }
  int corner = 0;
  for (const Triangle& t : CubeTriangles({2.5, 1, 0.5}, 1.5)) {
    Polygon p = MakePolygon(camera, t, polygonEmit | 2, 0, 0, 0);
    for (int i = 0; i < 3; ++i, ++corner) {
      p.vertices[i].r = static_cast<float>((corner * 97) % 256);
      p.vertices[i].g = static_cast<float>((corner * 53 + 80) % 256);
      p.vertices[i].b = 255.0f - p.vertices[i].r;
    }
    CollectPolygon(&p);
  }
  for (const Triangle& t : CubeTriangles({7, 6, 0}, 1)) {
    const float k = Shade(camera, t);
    Polygon p = MakePolygon(camera, t, polygonEmit, k * 0.3f, k, k * 0.5f);
    CollectPolygon(&p);
  }
  ClearBuffer();
  DrawPolygonList(polygonList, polygonCount, textures, 60.0f, 170);  // gamma 1.0
  SwapBuffers(1);
  ASSERT_TRUE(GlideSaveShownFramePng("scene_test.png"));

  std::vector<std::uint8_t> rgb;
  int w = 0, h = 0;
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  // The floor crosses the near plane and so reaches the bottom row; the sky (top
  // row) stays black; the picture has many colours.
  auto at = [&](int x, int y) { return &rgb[static_cast<std::size_t>((y * w + x) * 3)]; };
  EXPECT_GT(at(320, 479)[0] + at(320, 479)[1], 0);
  EXPECT_EQ(at(320, 0)[0] + at(320, 0)[1] + at(320, 0)[2], 0);
  std::set<int> colours;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  EXPECT_GT(colours.size(), 200u);
  DeviceClose();
  for (int i = 0; i < 2; ++i) textures[i] = Texture{};
}
