// Every generated scene loads with the engine and shows something at the
// frames the timeline plays.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/render.h"
#include "tests/content/contentkit.h"

namespace {

constexpr int polygonLimit = 16384;

// What one posed frame handed to the sink.
struct FrameCount {
  int emitted = 0;  // triangles with the emit bit
  int onScreen = 0; // of those, in front of the near plane with a corner in view
  double checksum = 0;
};

FrameCount counting;
float countingTanHalf = 1.0f;

int CountingSink(Polygon* p) {
  if (!(p->flags & polygonEmit)) return 1;
  ++counting.emitted;
  bool visible = false;
  for (int i = 0; i < p->count; ++i) {
    const PolygonVertex& v = p->vertices[i];
    counting.checksum += v.x * 0.001 + v.y * 0.002 + v.z * 0.003;
    if (v.z < 1.0f) continue;
    const float d = v.z + countingTanHalf;
    if (std::fabs(v.x / d) <= countingTanHalf && std::fabs(v.y / d) <= countingTanHalf * 0.75f) visible = true;
  }
  if (visible) ++counting.onScreen;
  return counting.emitted < polygonLimit ? 1 : 0;
}

FrameCount Pose(Scene* scene, float frame) {
  counting = {};
  float fov = -1.0f;
  // The field of view of the previous pose serves the visibility test; the
  // cameras' fields of view change slowly.
  RenderScene(scene, CountingSink, frame, &fov);
  if (fov > 0) {
    countingTanHalf = std::tan(fov * 3.14159265f / 360.0f);
    counting = {};
    RenderScene(scene, CountingSink, frame, &fov);
  }
  return counting;
}

// The frames of each scene the timeline plays: the first, middle and last
// frame of every piece.
struct Played {
  const char* scene;
  std::vector<std::pair<int, int>> pieces;
};

const Played played[] = {
    {"intro", {{0, 299}}},
    {"mainscene", {{0, 685}, {685, 865}, {865, 985}, {985, 1115}, {1115, 1599}}},
    {"mountainworld", {{0, 899}}},
    {"mountainhut", {{0, 599}}},
    {"planet_part1", {{0, 99}}},
    {"planet_part2", {{0, 172}}},
    {"planet_part3", {{0, 179}}},
    {"stonehedge_fire", {{0, 599}}},
};

class GeneratedScenes : public ::testing::Test {
protected:
  contentkit::OpenArchive open{DEMO_CONTENT_DIR "/demo.dat"};
};

TEST_F(GeneratedScenes, LoadAndShowSomethingAtEveryPlayedFrame) {
  ASSERT_TRUE(open.Ok());
  for (const Played& p : played) {
    contentkit::ScenePtr scene = contentkit::LoadScene(p.scene);
    ASSERT_NE(scene, nullptr) << p.scene;
    EXPECT_GE(scene->frameCount, p.pieces.back().second) << p.scene;
    ASSERT_GE(scene->cameraCount, 1) << p.scene;
    for (const auto& [first, last] : p.pieces) {
      for (const float frame : {static_cast<float>(first), (first + last) * 0.5f, static_cast<float>(last)}) {
        const FrameCount c = Pose(scene.get(), frame);
        EXPECT_LE(c.emitted, polygonLimit) << p.scene << " frame " << frame;
        // Far more than a sky or a star sphere alone puts on the screen.
        EXPECT_GE(c.onScreen, 150) << p.scene << " frame " << frame;
      }
    }
  }
}

TEST_F(GeneratedScenes, EveryMeshNodeHasScaleAndEveryLightHasColour) {
  // Without scale keys a mesh collapses to a point; without colour keys a
  // light gives nothing.
  ASSERT_TRUE(open.Ok());
  for (const char* name : contentkit::sceneNames) {
    contentkit::ScenePtr scene = contentkit::LoadScene(name);
    ASSERT_NE(scene, nullptr) << name;
    int meshNodes = 0;
    for (int r = 0; r < scene->rootCount; ++r) {
      VisitNodesParentFirst(scene->roots[r], [&](Node* node) {
        if (node->kind != nodeMesh) return;
        ++meshNodes;
        EXPECT_GT(node->scale.keyCount, 0) << name << " " << node->name;
      });
    }
    EXPECT_EQ(meshNodes, scene->meshCount) << name;
    ASSERT_GE(scene->lightCount, 1) << name;
    for (int j = 0; j < scene->lightCount; ++j) {
      ASSERT_NE(scene->lights[j].node, nullptr) << name << " " << scene->lights[j].name;
      EXPECT_GT(scene->lights[j].node->colour.keyCount, 0) << name << " " << scene->lights[j].name;
    }
  }
}

TEST_F(GeneratedScenes, AreAnimated) {
  ASSERT_TRUE(open.Ok());
  for (const Played& p : played) {
    contentkit::ScenePtr scene = contentkit::LoadScene(p.scene);
    ASSERT_NE(scene, nullptr) << p.scene;
    const double start = Pose(scene.get(), static_cast<float>(p.pieces.front().first)).checksum;
    const double end = Pose(scene.get(), static_cast<float>(p.pieces.back().second)).checksum;
    EXPECT_NE(start, end) << p.scene;
  }
}

TEST_F(GeneratedScenes, HiddenThingsAppearLater) {
  ASSERT_TRUE(open.Ok());
  // The intro's pillars rise one after another; the village's balloon is
  // launched after the first piece.
  contentkit::ScenePtr intro = contentkit::LoadScene("intro");
  ASSERT_NE(intro, nullptr);
  EXPECT_LT(Pose(intro.get(), 10).emitted, Pose(intro.get(), 299).emitted);
  contentkit::ScenePtr main = contentkit::LoadScene("mainscene");
  ASSERT_NE(main, nullptr);
  EXPECT_LT(Pose(main.get(), 300).emitted, Pose(main.get(), 700).emitted);
}

TEST_F(GeneratedScenes, ChildrenFollowTheirParents) {
  // The intro's inner rings hang from the outer one: wherever the rings turn,
  // their world positions stay on the outer ring's centre.
  ASSERT_TRUE(open.Ok());
  contentkit::ScenePtr intro = contentkit::LoadScene("intro");
  ASSERT_NE(intro, nullptr);
  int children = 0;
  for (float frame : {0.0f, 123.5f, 299.0f}) {
    Pose(intro.get(), frame);
    for (int r = 0; r < intro->rootCount; ++r) {
      VisitNodesParentFirst(intro->roots[r], [&](Node* node) {
        if (!node->parent) return;
        ++children;
        for (int k = 0; k < 3; ++k) {
          EXPECT_NEAR(node->worldMatrix.m[12 + k], node->parent->worldMatrix.m[12 + k], 1e-3f) << node->name;
        }
      });
    }
  }
  EXPECT_EQ(children, 6);  // two nested rings, three frames
}

}  // namespace
