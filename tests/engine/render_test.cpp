// Posing and lighting: frame wrapping, the camera and its guards, the node
// hierarchy, emission order, lighting arithmetic and the sink protocol.
#include "engine/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/read3ds.h"
#include "engine/tracks.h"
#include "gfx/texture.h"
#include "scene_builders.h"

namespace {

using namespace testscenes;

struct SceneDeleter {
  void operator()(Scene* s) const { FreeScene(s); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;
ScenePtr LoadPtr(const sw::Scene& s) { return ScenePtr(Load(s)); }

// The sink copies every polygon; it stops after `limit` polygons per run of
// consecutive calls when limit is set.
std::vector<Polygon> drawn;
int stopEvery = 0;
int Collect(Polygon* p) {
  drawn.push_back(*p);
  if (stopEvery > 0) return 0;
  return 1;
}

struct Frame {
  bool wrote;
  float fov;
};

Frame Render(Scene* scene, float frame) {
  drawn.clear();
  float fov = -12345.0f;
  RenderScene(scene, Collect, frame, &fov);
  return {fov != -12345.0f, fov};
}

class RenderTest : public ::testing::Test {
protected:
  void TearDown() override {
    stopEvery = 0;
    drawn.clear();
  }
};

TEST_F(RenderTest, CubeSeenFromTheCamera) {
  ScenePtr scene = LoadPtr(BoxScene());
  ASSERT_TRUE(scene);
  const Frame f = Render(scene.get(), 0.0f);
  EXPECT_TRUE(f.wrote);
  EXPECT_FLOAT_EQ(f.fov, 60.0f);
  ASSERT_EQ(drawn.size(), 12u);
  // Camera at (0, -10, 0) looking along +y: eye = (x, z, y + 10).
  const Mesh& mesh = scene->meshes[0];
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const Polygon& p = drawn[i];
    EXPECT_EQ(p.count, 3);
    EXPECT_EQ(p.flags, 0x88);
    EXPECT_EQ(p.texture, 0);
    const Face& face = mesh.faces[i];
    const Vector& a = mesh.vertices[face.a];
    EXPECT_NEAR(p.vertices[0].x, a.x, 1e-5f);
    EXPECT_NEAR(p.vertices[0].y, a.z, 1e-5f);
    EXPECT_NEAR(p.vertices[0].z, a.y + 10.0f, 1e-5f);
  }
}

TEST_F(RenderTest, FramesRepeatPastTheEnd) {
  sw::Scene s = BoxScene();
  s.keyframer->frameCount = 100;
  s.keyframer->nodes[0].position = Vectors({{0, {0, 0, 0}}, {100, {10, 0, 0}}});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 50.0f);
  const std::vector<Polygon> at50 = drawn;
  Render(scene.get(), 250.0f);
  ASSERT_EQ(drawn.size(), at50.size());
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].x, at50[0].vertices[0].x);
  EXPECT_NEAR(at50[0].vertices[0].x, 5.0f - 1.0f, 1e-4f);
  Render(scene.get(), 100.0f);
  EXPECT_NEAR(drawn[0].vertices[0].x, 10.0f - 1.0f, 1e-4f);  // frame 100 is drawn as 100
  Render(scene.get(), 200.0f);
  EXPECT_NEAR(drawn[0].vertices[0].x, 10.0f - 1.0f, 1e-4f);
  EXPECT_FALSE(Render(scene.get(), -1.0f).wrote);
  EXPECT_TRUE(drawn.empty());
  EXPECT_FALSE(Render(scene.get(), std::nanf("")).wrote);
  EXPECT_FALSE(Render(scene.get(), INFINITY).wrote);
  EXPECT_TRUE(Render(scene.get(), 1.0e12f).wrote);  // huge frames wrap without looping
}

TEST_F(RenderTest, SceneWithoutFramesDrawsNothing) {
  for (std::uint32_t frames : {0u, 0xFFFFu}) {
    sw::Scene s = BoxScene();
    s.keyframer->frameCount = frames;
    ScenePtr scene = LoadPtr(s);
    ASSERT_TRUE(scene);
    EXPECT_FALSE(Render(scene.get(), 0.0f).wrote);
    EXPECT_TRUE(drawn.empty());
  }
}

TEST_F(RenderTest, NoCameraDrawsNothingButPosesNodes) {
  sw::Scene s = BoxScene();
  s.cameras.clear();
  s.keyframer->nodes.resize(1);
  s.keyframer->nodes[0].position = Vectors({{0, {7, 0, 0}}});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_FALSE(Render(scene.get(), 0.0f).wrote);
  EXPECT_TRUE(drawn.empty());
  EXPECT_FLOAT_EQ(scene->roots[0]->worldMatrix.m[12], 7.0f);
}

TEST_F(RenderTest, UnlinkedOrDegenerateCameraSkipsTheFrame) {
  {
    sw::Scene s = BoxScene();
    s.keyframer->nodes.pop_back();  // no target node
    ScenePtr scene = LoadPtr(s);
    ASSERT_TRUE(scene);
    EXPECT_FALSE(Render(scene.get(), 0.0f).wrote);
    EXPECT_TRUE(drawn.empty());
  }
  {
    sw::Scene s = BoxScene();
    s.keyframer->nodes.back().position = Vectors({{0, {0, -10, 0}}});  // target on the eye
    ScenePtr scene = LoadPtr(s);
    ASSERT_TRUE(scene);
    EXPECT_FALSE(Render(scene.get(), 0.0f).wrote);
    EXPECT_TRUE(drawn.empty());
  }
  {
    sw::Scene s = BoxScene();
    s.keyframer->nodes.back().position = Vectors({{0, {0, -10, -5}}});  // straight down z
    ScenePtr scene = LoadPtr(s);
    ASSERT_TRUE(scene);
    EXPECT_FALSE(Render(scene.get(), 0.0f).wrote);
  }
}

TEST_F(RenderTest, OutcomeSaysWhyNothingWasDrawn) {
  auto outcome = [](const sw::Scene& s, float frame) {
    ScenePtr scene = LoadPtr(s);
    EXPECT_TRUE(scene);
    return scene ? DrawSceneFrame(scene.get(), Collect, frame, nullptr) : FrameOutcome::noScene;
  };
  EXPECT_EQ(outcome(BoxScene(), 3.0f), FrameOutcome::drawn);
  EXPECT_EQ(outcome(BoxScene(), -0.5f), FrameOutcome::beforeStart);
  EXPECT_EQ(outcome(BoxScene(), std::nanf("")), FrameOutcome::frameNotFinite);
  sw::Scene still = BoxScene();
  still.keyframer->frameCount = 0;
  EXPECT_EQ(outcome(still, 0.0f), FrameOutcome::noFrames);
  sw::Scene blind = BoxScene();
  blind.cameras.clear();
  blind.keyframer->nodes.resize(1);
  EXPECT_EQ(outcome(blind, 0.0f), FrameOutcome::noCamera);
  sw::Scene untargeted = BoxScene();
  untargeted.keyframer->nodes.pop_back();
  EXPECT_EQ(outcome(untargeted, 0.0f), FrameOutcome::cameraNotAnimated);
  sw::Scene cross = BoxScene();
  cross.keyframer->nodes.back().position = Vectors({{0, {0, -10, 0}}});
  EXPECT_EQ(outcome(cross, 0.0f), FrameOutcome::cameraDegenerate);
  EXPECT_EQ(DrawSceneFrame(nullptr, Collect, 0.0f, nullptr), FrameOutcome::noScene);
  EXPECT_STREQ(FrameOutcomeText(FrameOutcome::noCamera), "the scene has no camera");
}

TEST_F(RenderTest, CameraMatrixAndRoll) {
  Matrix m;
  ASSERT_TRUE(BuildCameraMatrix({0, -10, 0}, {0, 0, 0}, 0.0f, m));
  Vector p = TransformPoint({1, 2, 3}, m);
  EXPECT_NEAR(p.x, 1.0f, 1e-5f);
  EXPECT_NEAR(p.y, 3.0f, 1e-5f);
  EXPECT_NEAR(p.z, 12.0f, 1e-5f);
  ASSERT_TRUE(BuildCameraMatrix({0, -10, 0}, {0, 0, 0}, 90.0f, m));
  p = TransformPoint({1, 2, 3}, m);
  // Roll rows (cos, sin), (-sin, cos): (x, y) -> (-y, x).
  EXPECT_NEAR(p.x, -3.0f, 1e-5f);
  EXPECT_NEAR(p.y, 1.0f, 1e-5f);
  EXPECT_NEAR(p.z, 12.0f, 1e-5f);
  // Looking along +x from the origin: depth is x.
  ASSERT_TRUE(BuildCameraMatrix({0, 0, 0}, {5, 0, 0}, 0.0f, m));
  EXPECT_NEAR(TransformPoint({3, 0, 0}, m).z, 3.0f, 1e-5f);
  EXPECT_FALSE(BuildCameraMatrix({1, 1, 1}, {1, 1, 1}, 0.0f, m));
  EXPECT_FALSE(BuildCameraMatrix({1, 1, 1}, {1, 1, 9}, 0.0f, m));
}

TEST_F(RenderTest, DefaultMaterialForFacesWithoutOne) {
  sw::Scene s = BoxScene();
  s.meshes[0].groups.clear();
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 12u);
  for (const Polygon& p : drawn) {
    EXPECT_EQ(p.flags, 0x81);
    EXPECT_EQ(p.texture, -1);
    // No lights and no self-illumination: the ambient value, 0.
    EXPECT_EQ(p.vertices[1].r, 0.0f);
  }
}

TEST_F(RenderTest, SelfIlluminationWithoutLights) {
  sw::Scene s = BoxScene();
  s.materials[0].selfIllumination = 100;
  s.materials[0].diffuse = sw::Colour{200, 40, 0, true};
  s.materials[0].ambient = sw::Colour{10, 90, 255, true};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  scene->materials[0]->diffuse.z = 400.0f;  // capped at 255
  scene->materials[0]->ambient.z = 0.0f;
  Render(scene.get(), 0.0f);
  ASSERT_FALSE(drawn.empty());
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].r, 200.0f);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].g, 90.0f);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].b, 255.0f);
}

// A scene with one white light: every light acts from the eye (the zero light
// transform), so lighting compares the mesh-space normal with the direction
// from the eye-space point to the origin.
sw::Scene LitScene(std::uint16_t shading) {
  sw::Scene s = BoxScene();
  s.materials[0].shading = shading;
  s.materials[0].ambient = sw::Colour{0, 0, 0, true};
  s.materials[0].diffuse = sw::Colour{100, 200, 50, true};
  s.lights.push_back({"Lamp", {0, -20, 0}, std::nullopt, false, {}, 0, 0, false});
  sw::Node lamp;
  lamp.kind = sw::NodeKind::light;
  lamp.name = "Lamp";
  lamp.position = Vectors({{0, {0, -20, 0}}});
  lamp.colour = Vectors({{0, {1, 0.5f, 1}}});
  s.keyframer->nodes.push_back(lamp);
  return s;
}

float Expected(const Vector& normal, const Vector& eyePoint, float diffuse, float lightColour) {
  const Vector d = Scale(eyePoint, -1.0f);
  float k = Dot(normal, d) / Length(d);
  if (k < 0) k = 0;
  return std::fmin(255.0f, diffuse * k * lightColour);
}

TEST_F(RenderTest, FlatLightingPerFace) {
  ScenePtr scene = LoadPtr(LitScene(1));
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 12u);
  const Mesh& mesh = scene->meshes[0];
  int lit = 0;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const Polygon& p = drawn[i];
    const Vector eye{p.vertices[0].x, p.vertices[0].y, p.vertices[0].z};
    const Vector& n = mesh.faces[i].normal;
    EXPECT_NEAR(p.vertices[0].r, Expected(n, eye, 100, 1.0f), 1e-3f) << i;
    EXPECT_NEAR(p.vertices[0].g, Expected(n, eye, 200, 0.5f), 1e-3f) << i;
    EXPECT_EQ(p.vertices[1].r, p.vertices[0].r);
    EXPECT_EQ(p.vertices[2].b, p.vertices[0].b);
    lit += p.vertices[0].r > 0;
  }
  EXPECT_GT(lit, 0);
  EXPECT_LT(lit, 12);
}

TEST_F(RenderTest, SmoothLightingPerCorner) {
  ScenePtr scene = LoadPtr(LitScene(2));
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 12u);
  const Mesh& mesh = scene->meshes[0];
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const Face& f = mesh.faces[i];
    const int corners[3] = {f.a, f.b, f.c};
    for (int c = 0; c < 3; ++c) {
      const PolygonVertex& v = drawn[i].vertices[c];
      EXPECT_NEAR(v.b, Expected(mesh.vertexNormals[corners[c]], {v.x, v.y, v.z}, 50, 1.0f), 1e-3f);
    }
  }
}

TEST_F(RenderTest, LightOnTheVertexAndZeroNormalsStayFinite) {
  sw::Scene s = LitScene(2);
  sw::Mesh odd;
  odd.name = "Odd";
  // One vertex on the camera eye (the light's place in eye space), a
  // degenerate face, and an unused vertex.
  odd.vertices = {{0, -10, 0}, {1, -10, 0}, {0, -10, 1}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {9, 9, 9}};
  odd.faces = {{0, 1, 2, 0}, {3, 4, 5, 0}};
  s.meshes.push_back(odd);
  s.keyframer->nodes.push_back(MeshNode("Odd"));
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 14u);
  for (const Polygon& p : drawn)
    for (int c = 0; c < 3; ++c) {
      for (float v : {p.vertices[c].r, p.vertices[c].g, p.vertices[c].b}) {
        EXPECT_FALSE(std::isnan(v));
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 255.0f);
      }
    }
}

TEST_F(RenderTest, FacesWithNonFiniteCornersAreLeftOut) {
  sw::Scene s = BoxScene();
  s.meshes[0].vertices[7].z = std::nanf("");
  s.meshes[0].texCoords.assign(8, {0.0f, 0.0f});
  s.meshes[0].texCoords[0].first = INFINITY;
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  int expected = 0;
  const Mesh& m = scene->meshes[0];
  for (int i = 0; i < m.faceCount; ++i) {
    const Face& f = m.faces[i];
    expected += f.a != 7 && f.b != 7 && f.c != 7 && f.a != 0 && f.b != 0 && f.c != 0;
  }
  EXPECT_GT(expected, 0);
  EXPECT_EQ(static_cast<int>(drawn.size()), expected);
}

TEST_F(RenderTest, MissingScaleCollapsesTheMesh) {
  sw::Scene s = BoxScene();
  s.keyframer->nodes[0].scale.reset();
  s.keyframer->nodes[0].position = Vectors({{0, {2, 3, 4}}});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 12u);
  for (const Polygon& p : drawn)
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(p.vertices[c].x, 2.0f, 1e-5f);
      EXPECT_NEAR(p.vertices[c].y, 4.0f, 1e-5f);
      EXPECT_NEAR(p.vertices[c].z, 13.0f, 1e-5f);
    }
}

TEST_F(RenderTest, PivotScaleRotationAndPosition) {
  ScenePtr scene = LoadPtr(BoxScene());
  ASSERT_TRUE(scene);
  Node* n = scene->roots[0];
  n->pivot = {1, 0, 0};
  n->scale.keys[0].value = {2, 2, 2};
  n->position.keys[0].value = {0, 0, 5};
  EvaluateNodeTracks(n, 0.0f);
  n->rotation.value.rotation = AxisAngleMatrix({0, 0, 1}, 3.14159265f / 2);
  ComposeNodeMatrices(n, MatrixIdentity());
  // ((p - pivot) * scale) x R + position: (3,0,0) -> (4,0,0) -> (0,-4,0) -> (0,-4,5).
  const Vector p = TransformPoint({3, 0, 0}, n->worldMatrix);
  EXPECT_NEAR(p.x, 0.0f, 1e-5f);
  EXPECT_NEAR(p.y, -4.0f, 1e-5f);
  EXPECT_NEAR(p.z, 5.0f, 1e-5f);
}

TEST_F(RenderTest, ChildrenInheritPositionAndRotationNotScale) {
  sw::Scene s = BoxScene();
  s.meshes.push_back(Cube("Small", 1.0f));
  s.keyframer->nodes[0].position = Vectors({{0, {10, 0, 0}}});
  s.keyframer->nodes[0].scale = Vectors({{0, {3, 3, 3}}});
  sw::Node child = MeshNode("Small", 1);
  child.position = Vectors({{0, {0, 0, 5}}});  // stored as (0, 5, 0)
  s.keyframer->nodes.insert(s.keyframer->nodes.begin() + 1, child);
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ComposeNodeMatrices(scene->roots[0], MatrixIdentity());
  EvaluateNodeTracks(scene->roots[0], 0.0f);
  ComposeNodeMatrices(scene->roots[0], MatrixIdentity());
  Node* c = scene->roots[0]->child;
  ASSERT_NE(c, nullptr);
  const Vector p = TransformPoint({1, 1, 1}, c->worldMatrix);
  EXPECT_NEAR(p.x, 11.0f, 1e-5f);
  EXPECT_NEAR(p.y, 6.0f, 1e-5f);
  EXPECT_NEAR(p.z, 1.0f, 1e-5f);
}

// Emission order: following siblings, then children, then the node.
TEST_F(RenderTest, EmissionOrderAndTheSinksStop) {
  sw::Scene s = BoxScene();
  s.meshes.push_back(Cube("A"));
  s.meshes.push_back(Cube("B"));
  s.meshes.push_back(Cube("C"));
  s.keyframer->nodes.insert(s.keyframer->nodes.begin() + 1,
                            {MeshNode("A", 1), MeshNode("B", 1), MeshNode("C", 2)});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  // Tell the nodes apart by their texture index, as the driver would set it.
  for (int i = 0; i < 4; ++i) {
    Material* m = static_cast<Material*>(std::calloc(1, sizeof(Material)));
    *m = *scene->materials[0];
    m->textureIndex = 100 + i;
    scene->materials[scene->materialCount++] = m;
  }
  const char* names[4] = {"Box", "A", "B", "C"};
  for (int i = 0; i < 4; ++i) {
    Mesh* mesh = FindMesh(scene.get(), names[i]);
    for (int f = 0; f < mesh->faceCount; ++f) mesh->faces[f].material = 1 + i;
  }
  Render(scene.get(), 0.0f);
  ASSERT_EQ(drawn.size(), 48u);
  // Box is the root; A and B its children; C under B. Order: B's subtree (C, B),
  // then A, then Box.
  EXPECT_EQ(drawn[0].texture, 103);
  EXPECT_EQ(drawn[12].texture, 102);
  EXPECT_EQ(drawn[24].texture, 101);
  EXPECT_EQ(drawn[36].texture, 100);
  stopEvery = 1;
  Render(scene.get(), 0.0f);
  EXPECT_EQ(drawn.size(), 4u);  // one face per visible mesh node
}

TEST(NodeWalk, TreesLinkedWithoutPreviousPointers) {
  // root -> children a, b (b after a); c under a; d after root at the top.
  Node root{}, a{}, b{}, c{}, d{};
  root.child = &a;
  root.next = &d;
  a.parent = b.parent = &root;
  a.next = &b;
  a.child = &c;
  c.parent = &a;
  std::vector<Node*> order;
  VisitNodesChildrenFirst(&root, [&order](Node* n) { order.push_back(n); });
  EXPECT_EQ(order, (std::vector<Node*>{&d, &b, &c, &a, &root}));
  b.previous = &a;  // the same with the pointers the reader sets
  order.clear();
  VisitNodesChildrenFirst(&root, [&order](Node* n) { order.push_back(n); });
  EXPECT_EQ(order, (std::vector<Node*>{&d, &b, &c, &a, &root}));
  order.clear();
  VisitNodesParentFirst(&root, [&order](Node* n) { order.push_back(n); });
  EXPECT_EQ(order, (std::vector<Node*>{&root, &a, &c, &b, &d}));
}

TEST_F(RenderTest, HiddenNodeEmitsNothingButItsChildrenDo) {
  sw::Scene s = BoxScene();
  s.meshes.push_back(Cube("Kid"));
  s.keyframer->nodes[0].hide = sw::Track<sw::HideKey>{};
  s.keyframer->nodes[0].hide->keys = {{10}, {20}};
  s.keyframer->nodes.insert(s.keyframer->nodes.begin() + 1, MeshNode("Kid", 1));
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Render(scene.get(), 5.0f);
  EXPECT_EQ(drawn.size(), 24u);
  Render(scene.get(), 15.0f);
  EXPECT_EQ(drawn.size(), 12u);
  Render(scene.get(), 25.0f);
  EXPECT_EQ(drawn.size(), 24u);
}

TEST_F(RenderTest, TexelScaleFromTheTextureTable) {
  sw::Scene s = BoxScene();
  for (std::size_t i = 0; i < s.meshes[0].vertices.size(); ++i) s.meshes[0].texCoords.push_back({0.5f, 0.25f});
  s.materials[0].texture = sw::TextureMap{"WOOD.PCX", 100, std::nullopt, std::nullopt};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  scene->materials[0]->textureIndex = 5;
  const std::int32_t saved = textures[5].width;
  textures[5].width = 128;
  Render(scene.get(), 0.0f);
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn[0].flags & 0x04, 0x04);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].s, 64.0f);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].t, -32.0f);
  // A slot holding no texture has no width: every coordinate becomes 0.
  textures[5].width = 0;
  Render(scene.get(), 0.0f);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].s, 0.0f);
  textures[5].width = saved;
  // Untextured materials use 256 texels.
  scene->materials[0]->flags &= ~materialTextured;
  Render(scene.get(), 0.0f);
  EXPECT_FLOAT_EQ(drawn[0].vertices[0].s, 128.0f);
  EXPECT_FLOAT_EQ(TextureScale(-1), 256.0f);
  EXPECT_FLOAT_EQ(TextureScale(maxTextures), 256.0f);
}

}  // namespace
