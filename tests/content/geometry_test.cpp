// The building blocks of the generated content: shapes wound the right way
// round, meshes the engine can light, tiling noise and a font that has every
// letter the pictures write.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/content/contentkit.h"
#include "tools/mkcontent/font.h"
#include "tools/mkcontent/noise.h"
#include "tools/mkcontent/pictures.h"
#include "tools/mkcontent/scenekit.h"

namespace {

using content::Geometry;
using content::V;
using content::Vec3;
using content::operator+;
using content::operator-;
using content::operator*;

// Sum over faces of (face normal . (face centre - inside point)) sign checks:
// every face must look away from the given inside point (or towards it).
void ExpectFacesPoint(const Geometry& g, Vec3 inside, bool outwards, const char* what) {
  ASSERT_FALSE(g.faces.empty()) << what;
  for (std::size_t i = 0; i < g.faces.size(); ++i) {
    const Vec3 a = g.vertices[g.faces[i][0]], b = g.vertices[g.faces[i][1]], c = g.vertices[g.faces[i][2]];
    const Vec3 n = content::Cross(b - a, c - a);
    ASSERT_GT(content::Length(n), 1e-6f) << what << " face " << i << " has no area";
    const Vec3 centre = (a + b + c) * (1.0f / 3.0f);
    const Vec3 d = centre - inside;
    const float dot = n.x * d.x + n.y * d.y + n.z * d.z;
    if (outwards) {
      EXPECT_GT(dot, 0.0f) << what << " face " << i;
    } else {
      EXPECT_LT(dot, 0.0f) << what << " face " << i;
    }
  }
}

TEST(Shapes, ClosedShapesFaceOutwards) {
  ExpectFacesPoint(content::Box(V(5, -3, 2), V(4, 2, 1)), V(5, -3, 2), true, "box");
  ExpectFacesPoint(content::Sphere(V(1, 2, 3), 10, 12, 8), V(1, 2, 3), true, "sphere");
  ExpectFacesPoint(content::Cylinder(V(0, 0, 0), 5, 3, 10, 7, true), V(0, 0, 5), true, "capped cylinder");
  ExpectFacesPoint(content::Cylinder(V(0, 0, 0), 5, 0, 10, 7, true), V(0, 0, 3), true, "cone");
  ExpectFacesPoint(content::Crystal(V(0, 0, 0), 4, 8), V(0, 0, 0), true, "crystal");
}

TEST(Shapes, TorusFacesAwayFromItsTube) {
  const Geometry t = content::Torus(V(0, 0, 0), 20, 3, 16, 8);
  for (std::size_t i = 0; i < t.faces.size(); ++i) {
    const Vec3 a = t.vertices[t.faces[i][0]], b = t.vertices[t.faces[i][1]], c = t.vertices[t.faces[i][2]];
    const Vec3 centre = (a + b + c) * (1.0f / 3.0f);
    // Nearest point of the tube's core circle.
    const float r = std::hypot(centre.x, centre.y);
    const Vec3 core = V(centre.x / r * 20.0f, centre.y / r * 20.0f, 0);
    const Vec3 n = content::Cross(b - a, c - a);
    const Vec3 d = centre - core;
    EXPECT_GT(n.x * d.x + n.y * d.y + n.z * d.z, 0.0f) << i;
  }
}

TEST(Shapes, DomesAndFlippedShapesFaceInwards) {
  // The sky is seen from inside, so its front faces must look at the centre.
  ExpectFacesPoint(content::Dome(V(0, 0, 0), 100, 12, 5, 1.7f, 2.0f, 0.5f), V(0, 0, 0), false, "dome");
  Geometry s = content::Sphere(V(0, 0, 0), 50, 10, 6);
  s.Flip();
  ExpectFacesPoint(s, V(0, 0, 0), false, "flipped sphere");
}

TEST(Shapes, GridsFaceUpAndRoofsFaceOut) {
  const Geometry g = content::Grid(-10, -10, 10, 10, 4, 4, 1.0f, [](float x, float y) { return 0.1f * x * y; });
  for (const auto& f : g.faces) {
    const Vec3 n = content::Cross(g.vertices[f[1]] - g.vertices[f[0]], g.vertices[f[2]] - g.vertices[f[0]]);
    EXPECT_GT(n.z, 0.0f);
  }
  ExpectFacesPoint(content::GableRoof(V(0, 0, 0), 10, 6, 5, 4, 0), V(0, 0, 6), true, "roof");
}

TEST(Shapes, AppendKeepsFacesOnTheirOwnVertices) {
  Geometry g = content::Box(V(0, 0, 0), V(1, 1, 1));
  const std::size_t vertices = g.vertices.size(), faces = g.faces.size();
  g.Append(content::At(content::Box(V(0, 0, 0), V(1, 1, 1)), V(10, 0, 0)));
  ASSERT_EQ(g.faces.size(), 2 * faces);
  for (std::size_t i = faces; i < g.faces.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(g.faces[i][k], vertices);
      EXPECT_GT(g.vertices[g.faces[i][k]].x, 8.0f);
    }
  }
}

TEST(Shapes, ChildOffsetsUndoTheReadersAxisSwap) {
  // The reader stores a child's key (x, y, z) as (x, z, -y).
  const Vec3 o = V(1, 2, 3);
  const Vec3 file = content::ChildOffset(o);
  EXPECT_EQ(file.x, o.x);
  EXPECT_EQ(file.z, o.y);
  EXPECT_EQ(-file.y, o.z);
}

class GeneratedMeshes : public ::testing::Test {
protected:
  contentkit::OpenArchive open{DEMO_CONTENT_DIR "/demo.dat"};
};

TEST_F(GeneratedMeshes, HaveValidIndicesAndFiniteNormals) {
  // The engine checks neither vertex indices nor zero-area faces; a bad one
  // reads out of bounds or lights a face with NaN.
  ASSERT_TRUE(open.Ok());
  for (const char* name : contentkit::sceneNames) {
    contentkit::ScenePtr scene = contentkit::LoadScene(name);
    ASSERT_NE(scene, nullptr) << name;
    for (int m = 0; m < scene->meshCount; ++m) {
      const Mesh& mesh = scene->meshes[m];
      for (int f = 0; f < mesh.faceCount; ++f) {
        const Face& face = mesh.faces[f];
        ASSERT_LT(face.a, mesh.vertexCount) << name << " " << mesh.name;
        ASSERT_LT(face.b, mesh.vertexCount) << name << " " << mesh.name;
        ASSERT_LT(face.c, mesh.vertexCount) << name << " " << mesh.name;
        ASSERT_TRUE(std::isfinite(face.normal.x) && std::isfinite(face.normal.y) && std::isfinite(face.normal.z))
            << name << " " << mesh.name << " face " << f;
        EXPECT_GE(face.material, 0) << name << " " << mesh.name << " face " << f << " has no material";
      }
    }
  }
}

TEST(Noise, TilesWithItsPeriodAndRepeatsForASeed) {
  for (float x : {0.3f, 1.7f, 5.2f}) {
    for (float y : {0.1f, 2.9f}) {
      EXPECT_NEAR(content::Noise2(x, y, 4, 4, 7), content::Noise2(x + 4.0f, y, 4, 4, 7), 1e-5f);
      EXPECT_NEAR(content::Noise2(x, y, 4, 4, 7), content::Noise2(x, y + 4.0f, 4, 4, 7), 1e-5f);
      EXPECT_NEAR(content::Fbm2(x, y, 4, 4, 4, 9), content::Fbm2(x + 4.0f, y, 4, 4, 4, 9), 1e-5f);
      EXPECT_LE(std::fabs(content::Noise2(x, y, 0, 0, 3)), 1.5f);
    }
  }
  EXPECT_NE(content::Noise2(0.5f, 0.5f, 0, 0, 1), content::Noise2(0.5f, 0.5f, 0, 0, 2));
  content::Random a(42), b(42);
  for (int i = 0; i < 100; ++i) {
    const int v = a.Int(-3, 3);
    EXPECT_EQ(v, b.Int(-3, 3));
    EXPECT_GE(v, -3);
    EXPECT_LE(v, 3);
    const float u = a.Unit();
    b.Unit();
    EXPECT_GE(u, 0.0f);
    EXPECT_LT(u, 1.0f);
  }
}

TEST(Font, HasEveryCharacterThePicturesWrite) {
  std::string all = std::string(content::productionName) + content::groupName + " PRODUCTION";
  for (const std::string& line : content::ScrollTextLines()) all += line;
  for (char c : all) {
    if (c == ' ') continue;
    bool any = false;
    for (int y = 0; y < content::glyphHeight; ++y) {
      for (int x = 0; x < content::glyphWidth; ++x) any = any || content::GlyphBit(c, x, y);
    }
    EXPECT_TRUE(any) << "no glyph for '" << c << "'";
  }
  EXPECT_EQ(content::TextWidth("AB", 3), (2 * 6 - 1) * 3);
}

}  // namespace
