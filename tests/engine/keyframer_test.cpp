// The keyframer section: node linking by kind, tree placement by hierarchy
// value, track and key reading, and the limits and failures around them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/read3ds.h"
#include "scene_builders.h"

namespace {

using namespace testscenes;

struct SceneDeleter {
  void operator()(Scene* s) const { FreeScene(s); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;
ScenePtr LoadPtr(const sw::Scene& s) { return ScenePtr(Load(s)); }

sw::Node Named(sw::NodeKind kind, const std::string& name, int hierarchy = -1) {
  sw::Node n;
  n.kind = kind;
  n.name = name;
  n.hierarchy = static_cast<std::int16_t>(hierarchy);
  return n;
}

sw::Scene Boxes(int count) {
  sw::Scene s;
  for (int i = 0; i < count; ++i) s.meshes.push_back(Cube("Box" + std::to_string(i)));
  s.keyframer = sw::Keyframer{};
  return s;
}

TEST(Keyframer, HeaderFrameCountAndLinks) {
  sw::Scene s = BoxScene();
  s.keyframer->frameCount = 250;
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->frameCount, 250);
  ASSERT_EQ(scene->rootCount, 3);
  Node* box = scene->roots[0];
  EXPECT_STREQ(box->name, "Box");
  EXPECT_EQ(box->kind, nodeMesh);
  EXPECT_EQ(box->object, &scene->meshes[0]);
  EXPECT_EQ(box->isTarget, 0);
  ASSERT_NE(box->eyeVertices, nullptr);
  ASSERT_NE(box->faceVisible, nullptr);
  ASSERT_NE(box->vertexVisible, nullptr);
  EXPECT_EQ(box->lightPositions, nullptr);  // no lights
  const Camera& cam = scene->cameras[0];
  EXPECT_EQ(cam.node, scene->roots[1]);
  EXPECT_EQ(cam.targetNode, scene->roots[2]);
  EXPECT_EQ(scene->roots[2]->isTarget, 1);
  EXPECT_EQ(scene->roots[1]->fieldOfView.keyCount, 1);
}

TEST(Keyframer, FrameCountIsSixteenBitsSigned) {
  sw::Scene s = BoxScene();
  s.keyframer->frameCount = 70000;
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->frameCount, 4464);
  s.keyframer->frameCount = 0xFFFF;
  scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->frameCount, -1);
}

TEST(Keyframer, HierarchyBuildsTheTree) {
  sw::Scene s = Boxes(4);
  s.keyframer->nodes = {MeshNode("Box0", -1), MeshNode("Box1", 1), MeshNode("Box2", 1), MeshNode("Box3", 2)};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->rootCount, 1);
  Node* root = scene->roots[0];
  Node* first = root->child;
  ASSERT_NE(first, nullptr);
  Node* second = first->next;
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(first->name, "Box1");
  EXPECT_STREQ(second->name, "Box2");
  EXPECT_EQ(second->next, nullptr);
  EXPECT_EQ(first->child, nullptr);
  ASSERT_NE(second->child, nullptr);
  EXPECT_STREQ(second->child->name, "Box3");
  EXPECT_EQ(second->child->parent, second);
  EXPECT_EQ(first->parent, root);
  EXPECT_EQ(root->parent, nullptr);
}

TEST(Keyframer, DeepHierarchyStopsWhereTheTreeEnds) {
  sw::Scene s = Boxes(4);
  // Depth 9 under a root without children lands under the root; a second root
  // starts a new tree for what follows.
  s.keyframer->nodes = {MeshNode("Box0", -1), MeshNode("Box1", 9), MeshNode("Box2", -1), MeshNode("Box3", 0)};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->rootCount, 2);
  EXPECT_STREQ(scene->roots[0]->child->name, "Box1");
  EXPECT_STREQ(scene->roots[1]->child->name, "Box3");
}

TEST(Keyframer, ChildBeforeAnyRootFails) {
  sw::Scene s = Boxes(1);
  s.keyframer->nodes = {MeshNode("Box0", 1)};
  EXPECT_FALSE(LoadPtr(s));
}

TEST(Keyframer, AtMost256Roots) {
  sw::Scene s;
  s.lights.push_back({"L", {0, 0, 0}, std::nullopt, false, {}, 0, 0, false});
  s.keyframer = sw::Keyframer{};
  for (int i = 0; i < 256; ++i) s.keyframer->nodes.push_back(Named(sw::NodeKind::light, "L"));
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->rootCount, 256);
  EXPECT_EQ(scene->lights[0].node, scene->roots[255]);  // the last node naming it wins
  s.keyframer->nodes.push_back(Named(sw::NodeKind::light, "L"));
  EXPECT_FALSE(LoadPtr(s));
}

TEST(Keyframer, VeryDeepAndLongTreesLoadAndFree) {
  // Twenty thousand nodes, each one level deeper than the last: nothing in
  // loading, posing or freeing may recurse once per level.
  sw::Scene s;
  s.lights.push_back({"L", {0, 0, 0}, std::nullopt, false, {}, 0, 0, false});
  s.keyframer = sw::Keyframer{};
  s.keyframer->nodes.push_back(Named(sw::NodeKind::light, "L", -1));
  for (int i = 1; i < 20000; ++i) s.keyframer->nodes.push_back(Named(sw::NodeKind::light, "L", i));
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  int depth = 0;
  for (Node* n = scene->roots[0]; n; n = n->child) ++depth;
  EXPECT_EQ(depth, 20000);
}

TEST(Keyframer, LightTargetAfterLightTakesTheLink) {
  sw::Scene s;
  s.lights.push_back({"Lamp", {0, 0, 0}, std::nullopt, true, {}, 0, 0, false});
  s.keyframer = sw::Keyframer{};
  s.keyframer->nodes = {Named(sw::NodeKind::spotlight, "Lamp"), Named(sw::NodeKind::lightTarget, "Lamp")};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->lights[0].node, scene->roots[1]);
  EXPECT_EQ(scene->roots[1]->kind, nodeLightTarget);
  EXPECT_EQ(scene->roots[1]->isTarget, 1);
}

TEST(Keyframer, UnknownNamesFail) {
  for (sw::NodeKind kind : {sw::NodeKind::mesh, sw::NodeKind::light, sw::NodeKind::camera, sw::NodeKind::cameraTarget}) {
    sw::Scene s = BoxScene();
    s.keyframer->nodes.push_back(Named(kind, "Nobody"));
    EXPECT_FALSE(LoadPtr(s)) << static_cast<int>(kind);
  }
}

TEST(Keyframer, RefusedNodesAreNamed) {
  const std::pair<sw::NodeKind, const char*> cases[] = {{sw::NodeKind::mesh, "mesh"},
                                                        {sw::NodeKind::spotlight, "light"},
                                                        {sw::NodeKind::cameraTarget, "camera"}};
  for (const auto& [kind, what] : cases) {
    sw::Scene s = BoxScene();
    s.keyframer->nodes.push_back(Named(kind, "$$$DUMMY"));
    EXPECT_FALSE(LoadPtr(s));
    EXPECT_EQ(SceneReadError().rfind(std::string("node \"$$$DUMMY\" names no ") + what + " (chunk 0xB010 at offset ", 0),
              0u)
        << SceneReadError();
  }
  // A name with bytes a terminal would act on is shown escaped.
  sw::Scene s = BoxScene();
  s.keyframer->nodes.push_back(Named(sw::NodeKind::mesh, "Bell\x07\x1B[2J"));
  EXPECT_FALSE(LoadPtr(s));
  EXPECT_EQ(SceneReadError().rfind("node \"Bell\\x07\\x1B[2J\" names no mesh", 0), 0u) << SceneReadError();
}

TEST(Keyframer, LongNodeNamesMatchCutObjectNames) {
  const std::string name(80, 'x');
  sw::Scene s = Boxes(0);
  s.meshes.push_back(Cube(name));
  s.keyframer->nodes = {MeshNode(name)};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(std::string(scene->roots[0]->name), std::string(63, 'x'));
  EXPECT_EQ(scene->roots[0]->object, &scene->meshes[0]);
}

TEST(Keyframer, ChildPositionsSwapAxes) {
  sw::Scene s = Boxes(2);
  sw::Node root = MeshNode("Box0", -1);
  root.position = Vectors({{0, {1, 2, 3}}});
  sw::Node child = MeshNode("Box1", 1);
  child.position = Vectors({{0, {1, 2, 3}}});
  s.keyframer->nodes = {root, child};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  const Vector r = scene->roots[0]->position.keys[0].value;
  const Vector c = scene->roots[0]->child->position.keys[0].value;
  EXPECT_EQ(r.x, 1.0f);
  EXPECT_EQ(r.y, 2.0f);
  EXPECT_EQ(r.z, 3.0f);
  EXPECT_EQ(c.x, 1.0f);
  EXPECT_EQ(c.y, 3.0f);
  EXPECT_EQ(c.z, -2.0f);
}

TEST(Keyframer, FirstRotationKeyIsIdentity) {
  sw::Scene s = Boxes(1);
  sw::Node n = MeshNode("Box0");
  n.rotation = sw::Track<sw::RotationKey>{};
  n.rotation->keys = {{0, 1.0f, {0, 0, 1}, {}}, {10, 0.5f, {1, 0, 0}, {}}};
  s.keyframer->nodes = {n};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  const RotationTrack& t = scene->roots[0]->rotation;
  ASSERT_EQ(t.keyCount, 2);
  EXPECT_EQ(t.keys[0].angle, 0.0f);
  const Matrix id = MatrixIdentity();
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(t.keys[0].matrix.m[i], id.m[i]);
    EXPECT_EQ(t.keys[0].inverse.m[i], id.m[i]);
  }
  EXPECT_FLOAT_EQ(t.keys[1].angle, 0.5f);
  EXPECT_FLOAT_EQ(t.keys[1].axis.x, 1.0f);
  const Matrix back = MatrixMultiply(t.keys[1].matrix, t.keys[1].inverse);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(back.m[i], id.m[i], 1e-6f);
}

TEST(Keyframer, SplineParametersAndUnknownFloats) {
  sw::Scene s = Boxes(1);
  sw::Node n = MeshNode("Box0");
  sw::VectorKey k0;
  k0.frame = 0;
  k0.value = {1, 1, 1};
  k0.spline.tension = 0.25f;
  k0.spline.easeFrom = 0.75f;
  k0.spline.unknown = {{7, 99.0f}};
  sw::VectorKey k1;
  k1.frame = 20;
  k1.value = {4, 5, 6};
  k1.spline.continuity = -0.5f;
  k1.spline.bias = 0.5f;
  k1.spline.easeTo = 0.125f;
  k1.spline.unknown = {{5, 1.0f}, {15, 2.0f}};
  n.scale = sw::Track<sw::VectorKey>{};
  n.scale->keys = {k0, k1};
  s.keyframer->nodes = {n};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  const VectorTrack& t = scene->roots[0]->scale;
  ASSERT_EQ(t.keyCount, 2);
  EXPECT_FLOAT_EQ(t.keys[0].spline.tension, 0.25f);
  EXPECT_FLOAT_EQ(t.keys[0].spline.easeFrom, 0.75f);
  EXPECT_FLOAT_EQ(t.keys[0].spline.continuity, 0.0f);
  EXPECT_FLOAT_EQ(t.keys[0].value.x, 1.0f);  // the bit-7 float was skipped
  EXPECT_EQ(t.keys[1].frame, 20);
  EXPECT_FLOAT_EQ(t.keys[1].spline.continuity, -0.5f);
  EXPECT_FLOAT_EQ(t.keys[1].spline.bias, 0.5f);
  EXPECT_FLOAT_EQ(t.keys[1].spline.easeTo, 0.125f);
  EXPECT_FLOAT_EQ(t.keys[1].value.y, 5.0f);
  // Two keys, open: both tangents are the difference.
  EXPECT_FLOAT_EQ(t.keys[0].out.z, 5.0f);
  EXPECT_FLOAT_EQ(t.keys[1].in.z, 5.0f);
}

TEST(Keyframer, EveryTrackKind) {
  sw::Scene s = Boxes(2);
  s.lights.push_back({"Spot", {0, 0, 0}, std::nullopt, true, {}, 0, 0, false});
  sw::Node mesh = MeshNode("Box0");
  mesh.pivot = sw::Vec3{1, 2, 3};
  mesh.morph = sw::Track<sw::MorphKey>{};
  mesh.morph->keys = {{0, "Box1", {}}, {5, "Box0", {}}};
  mesh.hide = sw::Track<sw::HideKey>{};
  mesh.hide->flags = 2;
  mesh.hide->keys = {{3}, {8}, {9}};
  mesh.instance = "inst";
  mesh.id = 4;
  sw::Node spot = Named(sw::NodeKind::spotlight, "Spot");
  spot.colour = Vectors({{0, {1, 0.5f, 0}}, {10, {0, 0, 1}}, {20, {1, 1, 1}}}, 3);
  spot.hotspot = Scalars({{0, 20.0f}});
  spot.falloff = Scalars({{0, 40.0f}, {10, 50.0f}});
  spot.roll = Scalars({{0, 5.0f}});
  spot.fieldOfView = Scalars({{2, 45.0f}});
  s.keyframer->nodes = {mesh, spot};
  s.meshes[0].axes = sw::Axes{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {10, 20, 30}};
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  Node* m = scene->roots[0];
  EXPECT_FLOAT_EQ(m->pivot.x, 11.0f);  // the mesh origin is added
  EXPECT_FLOAT_EQ(m->pivot.z, 33.0f);
  ASSERT_EQ(m->morph.keyCount, 2);
  EXPECT_STREQ(m->morph.keys[0].target, "Box1");
  EXPECT_EQ(m->morph.keys[0].mesh, &scene->meshes[1]);
  EXPECT_EQ(m->morph.keys[1].frame, 5);
  ASSERT_EQ(m->hide.keyCount, 3);
  EXPECT_EQ(m->hide.flags, 2);
  EXPECT_EQ(m->hide.keys[2].frame, 9);
  Node* l = scene->roots[1];
  EXPECT_EQ(l->colour.keyCount, 3);
  EXPECT_EQ(l->colour.flags, 3);
  EXPECT_EQ(l->hotspot.keys[0].value, 20.0f);
  EXPECT_EQ(l->falloff.keys[1].value, 50.0f);
  EXPECT_FLOAT_EQ(l->falloff.keys[0].out, 10.0f);  // scalar tangents were prepared
  EXPECT_EQ(l->roll.keys[0].value, 5.0f);
  EXPECT_EQ(l->fieldOfView.keys[0].frame, 2);
  EXPECT_EQ(scene->lights[0].node, l);
  EXPECT_EQ(m->lightTransform.m[0], 0.0f);
  EXPECT_EQ(m->lightTransform.m[15], 0.0f);
}

TEST(Keyframer, MorphTargetMustExist) {
  sw::Scene s = Boxes(1);
  sw::Node mesh = MeshNode("Box0");
  mesh.morph = sw::Track<sw::MorphKey>{};
  mesh.morph->keys = {{0, "Ghost", {}}};
  s.keyframer->nodes = {mesh};
  EXPECT_FALSE(LoadPtr(s));
  EXPECT_EQ(SceneReadError().rfind("a morph key names \"Ghost\", which is no mesh (chunk 0xB026", 0), 0u)
      << SceneReadError();
}

TEST(Keyframer, MalformedTracksFail) {
  auto nodeWithTrack = [](std::uint16_t trackId, std::uint32_t keyCount, std::vector<std::uint8_t> keyBytes) {
    sw::ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    sw::WriteMesh(w, Cube("Box"));
    w.End();
    w.Begin(0xB000);
    w.Begin(0xB002);
    w.Begin(0xB010);
    w.Str("Box");
    w.U16(0);
    w.U16(0);
    w.I16(-1);
    w.End();
    w.Begin(trackId);
    w.U16(0);
    for (int i = 0; i < 8; ++i) w.U8(0);
    w.U32(keyCount);
    w.Raw(keyBytes);
    w.End();
    w.End();
    w.End();
    w.End();
    return w.Take();
  };
  // One whole position key: frame, empty spline word, 3 floats.
  std::vector<std::uint8_t> key(4 + 2 + 12, 0);
  EXPECT_TRUE(ScenePtr(Load(nodeWithTrack(0xB020, 1, key))));
  EXPECT_FALSE(ScenePtr(Load(nodeWithTrack(0xB020, 2, key))));
  EXPECT_FALSE(ScenePtr(Load(nodeWithTrack(0xB020, 0xFFFFFFFF, key))));
  EXPECT_FALSE(ScenePtr(Load(nodeWithTrack(0xB020, 0x40000000, key))));
  // A spline word announcing floats that are not there.
  std::vector<std::uint8_t> splined = key;
  splined[4] = 0x1F;
  EXPECT_FALSE(ScenePtr(Load(nodeWithTrack(0xB020, 1, splined))));
  // Hide keys take 6 bytes each.
  EXPECT_TRUE(ScenePtr(Load(nodeWithTrack(0xB029, 3, std::vector<std::uint8_t>(18, 0)))));
  EXPECT_FALSE(ScenePtr(Load(nodeWithTrack(0xB029, 4, std::vector<std::uint8_t>(18, 0)))));
}

TEST(Keyframer, NodeWithoutHeaderIsDropped) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0xB000);
  w.Begin(0xB002);
  w.Begin(0xB013);
  w.Vec(1, 2, 3);
  w.End();
  w.End();
  w.End();
  w.End();
  ScenePtr scene(Load(w.Take()));
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->rootCount, 0);
}

TEST(Keyframer, SecondHeaderInOneNodeFails) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  sw::WriteMesh(w, Cube("Box"));
  w.End();
  w.Begin(0xB000);
  w.Begin(0xB002);
  for (int i = 0; i < 2; ++i) {
    w.Begin(0xB010);
    w.Str("Box");
    w.U16(0);
    w.U16(0);
    w.I16(-1);
    w.End();
  }
  w.End();
  w.End();
  w.End();
  EXPECT_FALSE(ScenePtr(Load(w.Take())));
}

}  // namespace
