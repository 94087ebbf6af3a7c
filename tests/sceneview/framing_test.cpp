// The default view: nodes, light and camera added to scenes that lack them,
// and a camera that frames the scene from the front and above.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/render.h"
#include "tests/sceneview/test_scenes.h"
#include "tools/sceneview/frame.h"
#include "tools/sceneview/framing.h"

namespace {

using sceneviewtest::Cube;
using sceneviewtest::Load;

std::vector<Polygon> drawn;

int Keep(Polygon* p) {
  drawn.push_back(*p);
  return 1;
}

struct Drawn {
  FrameOutcome outcome;
  float fov = 0.0f;
};

Drawn DrawAt(Scene* scene, const DefaultView& view, float frame = 0.0f) {
  drawn.clear();
  AimView(scene, view, frame);
  Drawn d;
  d.outcome = DrawSceneFrame(scene, Keep, frame, &d.fov);
  return d;
}

// Every corner in front of the near plane and inside the 4:3 view.
void ExpectAllInView(float fov) {
  const double tanHalf = std::tan(0.5 * fov * 3.14159265358979 / 180.0);
  for (const Polygon& p : drawn) {
    for (int c = 0; c < p.count; ++c) {
      const PolygonVertex& v = p.vertices[c];
      ASSERT_GT(v.z, nearPlane);
      EXPECT_LE(std::fabs(v.x) / v.z, tanHalf);
      EXPECT_LE(std::fabs(v.y) / v.z, tanHalf * 0.75);
    }
  }
}

scenewriter::Track<scenewriter::VectorKey> Still(scenewriter::Vec3 v) {
  scenewriter::VectorKey key;
  key.value = v;
  scenewriter::Track<scenewriter::VectorKey> track;
  track.keys.push_back(key);
  return track;
}

scenewriter::Node MeshNode(const std::string& name) {
  scenewriter::Node node;
  node.kind = scenewriter::NodeKind::mesh;
  node.name = name;
  node.position = Still({0, 0, 0});
  node.scale = Still({1, 1, 1});
  node.rotation = scenewriter::Track<scenewriter::RotationKey>{};
  node.rotation->keys.push_back(scenewriter::RotationKey{});
  return node;
}

// The cube with a keyframer that animates a camera looking at it from -y.
scenewriter::Scene CubeWithCamera() {
  scenewriter::Scene s = Cube();
  scenewriter::Camera camera;
  camera.name = "view";
  camera.position = {0, -100, 20};
  s.cameras.push_back(camera);
  scenewriter::Keyframer k;
  k.frameCount = 10;
  k.nodes.push_back(MeshNode("box"));
  scenewriter::Node eye;
  eye.kind = scenewriter::NodeKind::camera;
  eye.name = "view";
  eye.position = Still({0, -100, 20});
  scenewriter::ScalarKey fov;
  fov.value = 40.0f;
  eye.fieldOfView = scenewriter::Track<scenewriter::ScalarKey>{};
  eye.fieldOfView->keys.push_back(fov);
  scenewriter::Node target;
  target.kind = scenewriter::NodeKind::cameraTarget;
  target.name = "view";
  target.position = Still({0, 0, 0});
  k.nodes.push_back(eye);
  k.nodes.push_back(target);
  s.keyframer = k;
  return s;
}

scenewriter::Light Lamp() {
  scenewriter::Light light;
  light.name = "lamp";
  light.position = {0, -50, 50};
  return light;
}

TEST(DefaultView, SceneWithoutCameraOrKeyframerIsDrawnLit) {
  Scene* scene = Load(Cube());
  ASSERT_NE(scene, nullptr);
  ASSERT_EQ(scene->rootCount, 0);
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view));
  EXPECT_TRUE(view.ownNodes);
  EXPECT_TRUE(view.ownLight);
  ASSERT_NE(view.camera.eye, nullptr);
  EXPECT_EQ(scene->cameras[0].node, view.camera.eye);

  const Drawn d = DrawAt(scene, view);
  ASSERT_EQ(d.outcome, FrameOutcome::drawn);
  EXPECT_EQ(drawn.size(), 12u);
  // Faces turned to the eye get light beyond the ambient 0.05 * 255.
  float brightest = 0.0f;
  for (const Polygon& p : drawn)
    for (int c = 0; c < 3; ++c) brightest = std::fmax(brightest, p.vertices[c].r);
  EXPECT_GT(brightest, 100.0f);
  ExpectAllInView(d.fov);
  FreeScene(scene);
}

TEST(DefaultView, CameraLooksFromTheFrontAndAbove) {
  Scene* scene = Load(Cube(10.0f, {100, 50, -20}));
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view));
  EXPECT_NEAR(view.orbit.centre.x, 100.0f, 1e-3);
  EXPECT_NEAR(view.orbit.centre.y, 50.0f, 1e-3);
  EXPECT_NEAR(view.orbit.centre.z, -20.0f, 1e-3);
  const Vector eye = OrbitEye(view.orbit);
  const Vector away = Normalize(Subtract(eye, view.orbit.centre));
  EXPECT_NEAR(away.x, 0.0f, 1e-5);
  EXPECT_NEAR(away.y, -std::sqrt(0.5f), 1e-5);  // in front: towards -y
  EXPECT_NEAR(away.z, std::sqrt(0.5f), 1e-5);   // above: towards +z
  FreeScene(scene);
}

TEST(DefaultView, TinyAndHugeScenesStayInView) {
  for (float half : {0.05f, 1.0f, 5000.0f}) {
    SCOPED_TRACE(half);
    Scene* scene = Load(Cube(half));
    DefaultView view;
    ASSERT_TRUE(PrepareDefaultView(scene, view));
    const Drawn d = DrawAt(scene, view);
    ASSERT_EQ(d.outcome, FrameOutcome::drawn);
    EXPECT_FALSE(drawn.empty());
    ExpectAllInView(d.fov);
    FreeScene(scene);
  }
}

TEST(DefaultView, AnimatedCameraOfTheFileIsKept) {
  Scene* scene = Load(CubeWithCamera());
  ASSERT_NE(scene, nullptr);
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view));
  EXPECT_FALSE(view.ownNodes);
  EXPECT_EQ(view.camera.eye, nullptr);
  EXPECT_EQ(scene->cameraCount, 1);
  const Drawn d = DrawAt(scene, view);
  EXPECT_EQ(d.outcome, FrameOutcome::drawn);
  EXPECT_FLOAT_EQ(d.fov, 40.0f);
  FreeScene(scene);
}

TEST(DefaultView, OwnCameraGoesFirstAndTheFileCameraKeepsItsNodes) {
  Scene* scene = Load(CubeWithCamera());
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view, true));
  ASSERT_EQ(scene->cameraCount, 2);
  EXPECT_EQ(scene->cameras[0].node, view.camera.eye);
  EXPECT_STREQ(scene->cameras[1].name, "view");
  // The file's camera nodes point at the record in its new place.
  ASSERT_NE(scene->cameras[1].node, nullptr);
  EXPECT_EQ(scene->cameras[1].node->object, &scene->cameras[1]);
  EXPECT_EQ(scene->cameras[1].targetNode->object, &scene->cameras[1]);
  const Drawn d = DrawAt(scene, view);
  EXPECT_EQ(d.outcome, FrameOutcome::drawn);
  EXPECT_FLOAT_EQ(d.fov, view.orbit.fieldOfView);
  FreeScene(scene);
}

TEST(DefaultView, LightWithoutColourGetsCompanyAndKeepsItsNode) {
  scenewriter::Scene s = CubeWithCamera();
  s.lights.push_back(Lamp());
  scenewriter::Node lamp;
  lamp.kind = scenewriter::NodeKind::light;
  lamp.name = "lamp";
  s.keyframer->nodes.push_back(lamp);
  Scene* scene = Load(s);
  ASSERT_NE(scene, nullptr);
  ASSERT_EQ(scene->lightCount, 1);
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view));
  EXPECT_TRUE(view.ownLight);
  ASSERT_EQ(scene->lightCount, 2);
  EXPECT_EQ(scene->lights[0].node->object, &scene->lights[0]);
  EXPECT_EQ(scene->lights[1].node->object, &scene->lights[1]);
  // Mesh nodes read before the light was added have room for both.
  EXPECT_EQ(scene->roots[0]->lightPositionCount, 2);
  DrawAt(scene, view);
  float brightest = 0.0f;
  for (const Polygon& p : drawn)
    for (int c = 0; c < 3; ++c) brightest = std::fmax(brightest, p.vertices[c].g);
  EXPECT_GT(brightest, 100.0f);
  FreeScene(scene);
}

TEST(DefaultView, LitLightOfTheFileIsKept) {
  scenewriter::Scene s = CubeWithCamera();
  s.lights.push_back(Lamp());
  scenewriter::Node lamp;
  lamp.kind = scenewriter::NodeKind::light;
  lamp.name = "lamp";
  lamp.colour = Still({1, 1, 1});
  s.keyframer->nodes.push_back(lamp);
  Scene* scene = Load(s);
  DefaultView view;
  ASSERT_TRUE(PrepareDefaultView(scene, view));
  EXPECT_FALSE(view.ownLight);
  EXPECT_EQ(scene->lightCount, 1);
  FreeScene(scene);
}

TEST(Orbit, TurnsStopShortOfTheVerticalAndZoomShortOfTheNearPlane) {
  Orbit orbit;
  TurnOrbit(orbit, 30.0f, 100.0f);
  EXPECT_FLOAT_EQ(orbit.elevation, maxElevation);
  EXPECT_FLOAT_EQ(orbit.azimuth, 30.0f);
  TurnOrbit(orbit, 0.0f, -500.0f);
  EXPECT_FLOAT_EQ(orbit.elevation, -maxElevation);
  Bounds b;
  b.empty = false;
  b.max = {1, 1, 1};
  for (int i = 0; i < 100; ++i) ZoomOrbit(orbit, 0.5f, b);
  EXPECT_GE(orbit.distance, nearPlane);
}

TEST(Orbit, EmptySceneGivesTheStandardOrbit) {
  const Orbit orbit = FrameBounds(Bounds{});
  EXPECT_FLOAT_EQ(orbit.elevation, 45.0f);
  EXPECT_GT(orbit.distance, 0.0f);
}

TEST(Playback, RealTimeFramesRepeatAndStepsWrapBothWays) {
  Scene* scene = CreateScene();
  scene->frameCount = 100;
  EXPECT_FLOAT_EQ(PlayingFrame(scene, 2.0, 25.0), 50.0f);
  EXPECT_FLOAT_EQ(PlayingFrame(scene, 5.0, 25.0), 25.0f);  // 125 frames: once round
  EXPECT_FLOAT_EQ(StepFrame(scene, 0.0f, -1), 99.0f);
  EXPECT_FLOAT_EQ(StepFrame(scene, 99.5f, 1), 0.0f);
  EXPECT_FLOAT_EQ(StepFrame(scene, 10.7f, 1), 11.0f);
  scene->frameCount = 0;  // a still scene stays at frame 0
  EXPECT_FLOAT_EQ(PlayingFrame(scene, 3.0, 25.0), 0.0f);
  EXPECT_FLOAT_EQ(StepFrame(scene, 0.0f, 1), 0.0f);
  FreeScene(scene);
}

}  // namespace
