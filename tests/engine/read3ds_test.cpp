// The editor section of 3D Studio files: meshes, materials, lights and cameras
// as read, the failures the format defines, and malformed input of every kind.
#include "engine/read3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "archive_bytes.h"
#include "scene_builders.h"
#include "stream/archive.h"
#include "stream/filelib.h"

namespace {

using namespace testscenes;

struct SceneDeleter {
  void operator()(Scene* s) const { FreeScene(s); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;

ScenePtr LoadPtr(const sw::Scene& s) { return ScenePtr(Load(s)); }
ScenePtr LoadPtr(const std::vector<std::uint8_t>& b) { return ScenePtr(Load(b)); }

// A main chunk around an editor chunk around the given editor content.
std::vector<std::uint8_t> EditorFile(const std::function<void(sw::ChunkWriter&)>& content) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  content(w);
  w.End();
  w.End();
  return w.Take();
}

TEST(ReadMesh, CubeGeometryAndNormals) {
  ScenePtr scene = LoadPtr(BoxScene());
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->meshCount, 1);
  const Mesh& m = scene->meshes[0];
  EXPECT_STREQ(m.name, "Box");
  EXPECT_EQ(m.vertexCount, 8);
  EXPECT_EQ(m.faceCount, 12);
  EXPECT_EQ(m.texCoordCount, 0);
  for (int i = 0; i < m.faceCount; ++i) {
    const Face& f = m.faces[i];
    EXPECT_EQ(f.material, 0);
    EXPECT_NEAR(Length(f.normal), 1.0f, 1e-6f);
    // Outward: the normal points the same way as the face centre.
    EXPECT_GT(Dot(f.normal, f.centre), 0.0f) << i;
    EXPECT_EQ(f.edgeFlagCA, 1);
    EXPECT_EQ(f.edgeFlagBC, 2);
    EXPECT_EQ(f.edgeFlagAB, 4);
    EXPECT_EQ(f.wrapFlag, 0);
  }
  // Each corner's normal is the normalised sum of its faces' normals: along the
  // diagonal for a cube corner.
  for (int i = 0; i < m.vertexCount; ++i) {
    EXPECT_NEAR(Length(m.vertexNormals[i]), 1.0f, 1e-6f);
    EXPECT_GT(Dot(m.vertexNormals[i], m.vertices[i]), 0.9f * std::sqrt(3.0f));
  }
  EXPECT_FLOAT_EQ(m.faces[0].centre.x, (-1.0f - 1.0f + 1.0f) * 0.33333334f);
}

TEST(ReadMesh, TextureCoordinatesAxesAndFaceFlags) {
  sw::Scene s;
  sw::Mesh m = Cube("Tex");
  for (std::size_t i = 0; i < m.vertices.size(); ++i) m.texCoords.push_back({0.125f * i, 0.5f});
  m.axes = sw::Axes{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {3, 4, 5}};
  m.faces[0].flags = 0x0F;
  m.faces[1].flags = 0;
  s.meshes.push_back(m);
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  const Mesh& r = scene->meshes[0];
  EXPECT_EQ(r.texCoordCount, 8);
  EXPECT_FLOAT_EQ(r.texCoords[3].u, 0.375f);
  EXPECT_FLOAT_EQ(r.texCoords[3].v, -0.5f);
  EXPECT_FLOAT_EQ(r.origin.x, 3.0f);
  EXPECT_FLOAT_EQ(r.origin.z, 5.0f);
  EXPECT_FLOAT_EQ(r.axes[0].y, 1.0f);
  EXPECT_FLOAT_EQ(r.axes[1].x, -1.0f);
  EXPECT_EQ(r.faces[0].wrapFlag, 8);
  EXPECT_EQ(r.faces[1].edgeFlagCA + r.faces[1].edgeFlagBC + r.faces[1].edgeFlagAB, 0);
  EXPECT_EQ(r.faces[2].material, -1);
  EXPECT_EQ(scene->frameCount, 0);  // no keyframer
  EXPECT_EQ(scene->rootCount, 0);
}

TEST(ReadMesh, LocalAxesCutShortNameTheirChunk) {
  const std::vector<std::uint8_t> bytes = EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("Box");
    w.Begin(0x4100);
    w.Begin(0x4160);
    for (int i = 0; i < 11; ++i) w.F32(1.0f);  // one float short of the origin
    w.End();
    w.End();
    w.End();
  });
  EXPECT_FALSE(LoadPtr(bytes));
  EXPECT_NE(SceneReadError().find("the local axes are cut short (chunk 0x4160 at offset"), std::string::npos)
      << SceneReadError();
}

TEST(ReadMesh, TextureCoordinateCountMustMatchVertices) {
  sw::Scene s;
  sw::Mesh m = Cube("Tex");
  m.texCoords.assign(7, {0.0f, 0.0f});
  s.meshes.push_back(m);
  EXPECT_FALSE(LoadPtr(s));
}

TEST(ReadMesh, IndicesAndFaceNumbersOutOfRangeFail) {
  {
    sw::Scene s;
    sw::Mesh m = Cube("Box");
    m.faces[5].c = 8;  // one past the last vertex
    s.meshes.push_back(m);
    EXPECT_FALSE(LoadPtr(s));
    // The reason names the check and the chunk.
    EXPECT_NE(SceneReadError().find("a face uses a vertex past the vertex list (chunk 0x4120 at offset"),
              std::string::npos)
        << SceneReadError();
    EXPECT_TRUE(LoadPtr(BoxScene()));
    EXPECT_EQ(SceneReadError(), "");
  }
  for (std::uint16_t bad : {std::uint16_t{12}, std::uint16_t{0xFFFF}}) {
    sw::Scene s = BoxScene();
    s.meshes[0].groups[0].faces.push_back(bad);  // 12 faces; 0xFFFF is -1
    EXPECT_FALSE(LoadPtr(s)) << bad;
  }
}

TEST(ReadMesh, CountsLargerThanTheirDataFail) {
  // Vertex list claiming 3 vertices with room for 2.
  auto file = EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("M");
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.U16(3);
    for (int i = 0; i < 6; ++i) w.F32(1.0f);
    w.End();
    w.End();
    w.End();
  });
  EXPECT_FALSE(LoadPtr(file));
  // Face list claiming 2 faces with room for 1.
  file = EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("M");
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.U16(3);
    for (int i = 0; i < 9; ++i) w.F32(1.0f);
    w.End();
    w.Begin(0x4120);
    w.U16(2);
    for (int i = 0; i < 4; ++i) w.U16(i < 3 ? i : 0);
    w.End();
    w.End();
    w.End();
  });
  EXPECT_FALSE(LoadPtr(file));
}

TEST(ReadMesh, ObjectWithoutSubChunkFails) {
  EXPECT_FALSE(LoadPtr(EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("Empty");
    w.End();
  })));
  // An object of an unknown kind is skipped.
  EXPECT_TRUE(LoadPtr(EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("Odd");
    w.Begin(0x4710);
    w.End();
    w.End();
  })));
}

TEST(ReadMaterial, ColoursFlagsAndTexture) {
  sw::Scene s;
  sw::Material m;
  m.name = "Skin";
  m.ambient = sw::Colour{0.25f, 0.5f, 0.75f, false};  // floats stay on their 0..1 scale
  m.diffuse = sw::Colour{255, 128, 0, true};
  m.specular = sw::Colour{1, 2, 3, true};
  m.shading = 3;
  m.twoSided = true;
  m.selfIllumination = 40;
  m.texture = sw::TextureMap{"SKIN.PCX", 100, 2.0f, std::nullopt};
  m.bumpMap = sw::TextureMap{"BUMP.PCX", 50, std::nullopt, std::nullopt};
  s.materials.push_back(m);
  sw::Material plain;
  plain.name = "Plain";
  plain.diffuse = sw::Colour{9, 9, 9, true};
  plain.bumpMap = sw::TextureMap{"ONLYBUMP.PCX", 50, std::nullopt, std::nullopt};
  s.materials.push_back(plain);
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->materialCount, 2);
  const Material& r = *scene->materials[0];
  EXPECT_STREQ(r.name, "Skin");
  EXPECT_FLOAT_EQ(r.ambient.y, 0.5f);
  EXPECT_FLOAT_EQ(r.diffuse.x, 255.0f);
  EXPECT_FLOAT_EQ(r.diffuse.y, 128.0f);
  EXPECT_FLOAT_EQ(r.specular.z, 3.0f);
  EXPECT_EQ(r.flags, 0x80 | 0x08 | 0x10 | 0x04 | 0x02);
  EXPECT_FLOAT_EQ(r.selfIllumination, 0.4f);
  EXPECT_STREQ(r.textureFile, "SKIN.PCX");
  EXPECT_EQ(r.textureIndex, 0);
  const Material& p = *scene->materials[1];
  EXPECT_EQ(p.flags, 0x88);  // another map kind does not make a material textured
  EXPECT_STREQ(p.textureFile, "");
}

// Other programs write the texture map's colours as three bytes, not three
// floats; a form of neither size is passed over. Only the file name is used.
TEST(ReadMaterial, TextureMapColoursAsBytesOrFloats) {
  const std::vector<std::uint8_t> bytes = EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0xAFFF);
    w.Begin(0xA000);
    w.Str("Painted");
    w.End();
    w.Begin(0xA200);
    w.Chunk(0xA360, {10, 20, 30});  // bytes
    w.Begin(0xA362);                 // floats
    w.Vec(1.0f, 0.5f, 0.25f);
    w.End();
    w.Chunk(0xA364, {1, 2, 3, 4, 5});  // neither: passed over
    w.Chunk(0xA366, {});
    w.Chunk(0xA368, {7, 8, 9});
    w.Begin(0xA300);
    w.Str("PAINT.PCX");
    w.End();
    w.End();
    w.End();
  });
  ScenePtr scene = LoadPtr(bytes);
  ASSERT_TRUE(scene) << SceneReadError();
  EXPECT_STREQ(scene->materials[0]->textureFile, "PAINT.PCX");
  EXPECT_NE(scene->materials[0]->flags & materialTextured, 0);
}

TEST(ReadMaterial, ShadingValues) {
  for (int v = 0; v <= 5; ++v) {
    sw::Scene s;
    sw::Material m;
    m.name = "M";
    m.shading = static_cast<std::uint16_t>(v);
    s.materials.push_back(m);
    ScenePtr scene = LoadPtr(s);
    if (v == 0 || v == 5) {
      EXPECT_FALSE(scene) << v;
    } else {
      ASSERT_TRUE(scene) << v;
      EXPECT_EQ(scene->materials[0]->flags & 3, v - 1);
    }
  }
}

TEST(ReadMaterial, LongNamesAreCut) {
  sw::Scene s;
  sw::Material m;
  m.name = std::string(70, 'n');
  m.texture = sw::TextureMap{std::string(100, 't') + ".PCX", 100, std::nullopt, std::nullopt};
  s.materials.push_back(m);
  sw::Mesh box = Cube(std::string(90, 'b'));
  box.groups.push_back({m.name, {0, 1}});  // the group's name is cut the same way
  s.meshes.push_back(box);
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(std::string(scene->materials[0]->name), std::string(63, 'n'));
  EXPECT_EQ(std::string(scene->materials[0]->textureFile), std::string(79, 't'));
  EXPECT_EQ(std::string(scene->meshes[0].name), std::string(63, 'b'));
  EXPECT_EQ(scene->meshes[0].faces[1].material, 0);
}

TEST(ReadMaterial, ColourChunkRules) {
  auto withColour = [](const std::function<void(sw::ChunkWriter&)>& colour) {
    return EditorFile([&](sw::ChunkWriter& w) {
      w.Begin(0xAFFF);
      w.Begin(0xA020);
      colour(w);
      w.End();
      w.End();
    });
  };
  // Neither floats nor bytes.
  EXPECT_FALSE(LoadPtr(withColour([](sw::ChunkWriter& w) { w.Chunk(0x0013, {1, 2, 3}); })));
  // Wrong sizes.
  EXPECT_FALSE(LoadPtr(withColour([](sw::ChunkWriter& w) { w.Chunk(0x0011, {1, 2, 3, 4}); })));
  EXPECT_FALSE(LoadPtr(withColour([](sw::ChunkWriter& w) { w.Chunk(0x0010, {0, 0, 0, 0}); })));
  // Floats win over bytes, whatever their order.
  ScenePtr scene = LoadPtr(withColour([](sw::ChunkWriter& w) {
    w.Begin(0x0010);
    w.Vec(0.5f, 0.25f, 1.0f);
    w.End();
    w.Chunk(0x0011, {10, 20, 30});
  }));
  ASSERT_TRUE(scene);
  EXPECT_FLOAT_EQ(scene->materials[0]->diffuse.x, 0.5f);
}

TEST(ReadMaterial, GroupMustNameAnEarlierMaterial) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  sw::Mesh box = Cube("Box");
  box.groups.push_back({"Late", {0}});
  sw::WriteMesh(w, box);
  sw::Material late;
  late.name = "Late";
  sw::WriteMaterial(w, late);
  w.End();
  w.End();
  EXPECT_FALSE(LoadPtr(w.Take()));
  sw::Scene s = BoxScene();
  s.meshes[0].groups[0].material = "Blue";
  EXPECT_FALSE(LoadPtr(s));
}

TEST(ReadMaterial, AtMost256Materials) {
  sw::Scene s;
  for (int i = 0; i < 256; ++i) {
    sw::Material m;
    m.name = "M" + std::to_string(i);
    s.materials.push_back(m);
  }
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->materialCount, 256);
  EXPECT_EQ(FindMaterial(scene.get(), "M255"), 255);
  sw::Material extra;
  extra.name = "M256";
  s.materials.push_back(extra);
  EXPECT_FALSE(LoadPtr(s));
}

TEST(ReadLight, PositionColourAndSpot) {
  sw::Scene s;
  s.lights.push_back({"Sun", {1, 2, 3}, sw::Colour{255, 51, 0, true}, false, {}, 30, 45, false});
  s.lights.push_back({"Spot", {4, 5, 6}, sw::Colour{0.5f, 0.25f, 0.125f, false}, true, {0, 0, 0}, 20, 40, true});
  s.lights.push_back({"Plain", {0, 0, 0}, std::nullopt, false, {}, 0, 0, false});
  s.lights.push_back({"Sun", {9, 9, 9}, std::nullopt, false, {}, 0, 0, false});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->lightCount, 4);
  const Light& sun = scene->lights[0];
  EXPECT_FLOAT_EQ(sun.position.z, 3.0f);
  EXPECT_FLOAT_EQ(sun.colour.x, 1.0f);
  EXPECT_FLOAT_EQ(sun.colour.y, 0.2f);
  EXPECT_EQ(sun.isSpot, 0);
  EXPECT_EQ(scene->lights[1].isSpot, 1);
  EXPECT_EQ(scene->lights[1].off, 0);
  EXPECT_FLOAT_EQ(scene->lights[1].colour.z, 0.125f);
  EXPECT_FLOAT_EQ(scene->lights[2].colour.y, 1.0f);  // default white
  // Lookups find the first of two lights with one name.
  EXPECT_EQ(FindLight(scene.get(), "Sun"), &scene->lights[0]);
  EXPECT_EQ(FindLight(scene.get(), "sun"), nullptr);
}

TEST(ReadLightAndCamera, TrailingBytesAfterTheirFieldsFail) {
  EXPECT_FALSE(LoadPtr(EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("L");
    w.Begin(0x4600);
    w.Vec(1, 2, 3);
    w.U16(0);  // too short for a sub-chunk
    w.End();
    w.End();
  })));
  EXPECT_FALSE(LoadPtr(EditorFile([](sw::ChunkWriter& w) {
    w.Begin(0x4000);
    w.Str("L");
    w.Begin(0x4600);
    w.F32(1);  // position cut short
    w.End();
    w.End();
  })));
  // One byte after the position, at the very end of the file: the failure
  // report must not read a chunk id past it (checked by the sanitizer build).
  for (std::uint16_t id : {std::uint16_t{0x4600}, std::uint16_t{0x4700}}) {
    const std::vector<std::uint8_t> bytes = EditorFile([id](sw::ChunkWriter& w) {
      w.Begin(0x4000);
      w.Str("L");
      w.Begin(id);
      for (int i = 0; i < (id == 0x4600 ? 3 : 8); ++i) w.F32(1);
      w.U8(0);
      w.End();
      w.End();
    });
    auto exact = std::make_unique<std::uint8_t[]>(bytes.size());
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    EXPECT_EQ(ScenePtr(ReadSceneMemory(exact.get(), static_cast<std::uint32_t>(bytes.size()))), nullptr);
  }
}

TEST(ReadCamera, FieldsAndRanges) {
  sw::Scene s;
  s.cameras.push_back({"Cam", {1, 2, 3}, {4, 5, 6}, 7.5f, 35.0f, std::nullopt});
  s.cameras.push_back({"Cam2", {0, 0, 0}, {0, 1, 0}, 0, 50, std::make_pair(2.0f, 300.0f)});
  ScenePtr scene = LoadPtr(s);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->cameraCount, 2);
  const Camera& c = scene->cameras[0];
  EXPECT_FLOAT_EQ(c.position.y, 2.0f);
  EXPECT_FLOAT_EQ(c.target.z, 6.0f);
  EXPECT_FLOAT_EQ(c.bank, 7.5f);
  EXPECT_FLOAT_EQ(c.lens, 35.0f);
  EXPECT_FLOAT_EQ(c.nearRange, 0.0f);
  EXPECT_FLOAT_EQ(c.farRange, 1000.0f);
  EXPECT_FLOAT_EQ(scene->cameras[1].nearRange, 2.0f);
  EXPECT_FLOAT_EQ(scene->cameras[1].farRange, 300.0f);
  EXPECT_EQ(c.node, nullptr);
  EXPECT_EQ(FindCamera(scene.get(), "Cam2"), &scene->cameras[1]);
}

TEST(ReadFile, UnknownChunksAreSkippedEverywhere) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  w.Chunk(0x1234, {1, 2, 3, 4});
  w.Begin(0x3D3D);
  w.Chunk(0x5555, {9, 9});
  w.Begin(0xAFFF);
  w.Begin(0xA000);
  w.Str("Red");
  w.End();
  w.Chunk(0xA999, {0});
  w.Begin(0xA084);
  w.Chunk(0x0031, {0, 0, 0x80, 0x3F});
  w.End();
  w.End();
  w.Begin(0x4000);
  w.Str("Box");
  w.Begin(0x4100);
  w.Chunk(0x4ABC, {});
  w.Begin(0x4110);
  w.U16(3);
  w.Vec(0, 0, 0);
  w.Vec(1, 0, 0);
  w.Vec(0, 1, 0);
  w.End();
  w.Begin(0x4120);
  w.U16(1);
  w.U16(0);
  w.U16(1);
  w.U16(2);
  w.U16(0);
  w.Chunk(0x4199, {5});
  w.End();
  w.End();
  w.End();
  w.End();
  w.Begin(0xB000);
  w.Chunk(0xBEEF, {1});
  w.End();
  w.End();
  w.Chunk(0x9999, {1, 2});  // after the main chunk: never read
  ScenePtr scene = LoadPtr(w.Take());
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->meshCount, 1);
  EXPECT_EQ(scene->meshes[0].faceCount, 1);
  EXPECT_EQ(scene->materialCount, 1);
  EXPECT_FLOAT_EQ(scene->materials[0]->selfIllumination, 0.0f);
}

TEST(ReadFile, FirstChunkMustBeMain) {
  std::vector<std::uint8_t> bytes = sw::Write(BoxScene());
  ASSERT_TRUE(LoadPtr(bytes));
  bytes[0] = 0x4E;
  EXPECT_FALSE(LoadPtr(bytes));
  EXPECT_FALSE(LoadPtr(std::vector<std::uint8_t>{}));
  EXPECT_FALSE(LoadPtr(std::vector<std::uint8_t>{0x4D, 0x4D, 6, 0}));
}

TEST(ReadFile, OtherKindsOfFileAreToldByTheirFirstBytes) {
  const std::vector<std::vector<std::uint8_t>> others = {
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13},  // a PNG picture
      {'E', 'x', 't', 'e', 'n', 'd', 'e', 'd', ' ', 'M', 'o', 'd'},  // a module
      {0x4D, 0x4C, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3},                 // one byte off
      {0x12},
  };
  for (const auto& bytes : others) {
    EXPECT_FALSE(LoadPtr(bytes));
    EXPECT_EQ(SceneReadError(), "the file is not a 3D Studio file (it does not start with the main chunk id 0x4D4D)");
  }
  // The right first bytes with too little after them.
  for (const std::vector<std::uint8_t>& bytes : {std::vector<std::uint8_t>{0x4D}, {0x4D, 0x4D, 6, 0}}) {
    EXPECT_FALSE(LoadPtr(bytes));
    EXPECT_EQ(SceneReadError(), "the file is too short for its main chunk");
  }
}

TEST(ReadFile, ChunkRunningPastItsParentFails) {
  const std::vector<std::uint8_t> good = sw::Write(BoxScene());
  // Walk every chunk header of the file and stretch its length past its parent.
  std::vector<std::size_t> headers;
  std::function<void(std::size_t, std::size_t)> walk = [&](std::size_t at, std::size_t end) {
    while (end - at >= 6) {
      const std::uint32_t length = good[at + 2] | good[at + 3] << 8 | good[at + 4] << 16 | good[at + 5] << 24;
      if (length < 6 || length > end - at) return;
      headers.push_back(at);
      const std::uint16_t id = static_cast<std::uint16_t>(good[at] | good[at + 1] << 8);
      // Containers whose sub-chunks start right after the header.
      if (id == 0x4D4D || id == 0x3D3D || id == 0x4100 || id == 0xAFFF || id == 0xB000 || id == 0xB002 ||
          id == 0xA010 || id == 0xA020)
        walk(at + 6, at + length);
      at += length;
    }
  };
  walk(0, good.size());
  ASSERT_GT(headers.size(), 20u);
  for (std::size_t at : headers) {
    std::vector<std::uint8_t> bad = good;
    bad[at + 5] = 0x7F;  // about 2 GB
    EXPECT_FALSE(LoadPtr(bad)) << "chunk at " << at;
    if (at > 0) {
      EXPECT_NE(SceneReadError().find("offset " + std::to_string(at) + ")"), std::string::npos);
    }
    bad = good;
    bad[at + 2] = 3;  // shorter than its own header
    bad[at + 3] = bad[at + 4] = bad[at + 5] = 0;
    EXPECT_FALSE(LoadPtr(bad)) << "chunk at " << at;
  }
}

TEST(ReadFile, EveryTruncationIsSafe) {
  const std::vector<std::uint8_t> good = sw::Write(BoxScene());
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    // The main chunk's length now runs past the end of the file.
    EXPECT_FALSE(LoadPtr(cut)) << n;
  }
}

TEST(ReadFile, CorruptedBytesNeverCrash) {
  const std::vector<std::uint8_t> good = sw::Write(BoxScene());
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bad = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < flips; ++i) bad[next() % bad.size()] = static_cast<std::uint8_t>(next());
    Scene* scene = Load(bad);
    if (scene) {
      ++loaded;
      // Whatever loaded must be consistent enough to walk.
      for (int m = 0; m < scene->meshCount; ++m)
        for (int f = 0; f < scene->meshes[m].faceCount; ++f) {
          const Face& face = scene->meshes[m].faces[f];
          ASSERT_LT(face.a, scene->meshes[m].vertexCount);
          ASSERT_LT(face.material, scene->materialCount);
        }
    }
    FreeScene(scene);
  }
  EXPECT_GT(loaded, 0);
}

TEST(ReadFile, EditorAfterKeyframerFails) {
  sw::ChunkWriter w;
  w.Begin(0x4D4D);
  sw::Scene s = BoxScene();
  w.Begin(0x3D3D);
  sw::WriteMaterial(w, s.materials[0]);
  sw::WriteMesh(w, s.meshes[0]);
  w.End();
  sw::WriteKeyframer(w, *s.keyframer);
  w.Begin(0x3D3D);
  sw::WriteMesh(w, Cube("Later"));
  w.End();
  w.End();
  EXPECT_FALSE(LoadPtr(w.Take()));
}

TEST(ReadFile, MembersOfAnArchive) {
  const std::vector<std::uint8_t> archiveBytes =
      ArchiveBytes({{"3ds\\BOX.3DS", sw::Write(BoxScene())}, {"3ds\\BAD.3DS", {1, 2, 3, 4, 5, 6, 7}}});
  ASSERT_FALSE(archiveBytes.empty());
  const std::string path = ::testing::TempDir() + "engine_scenes.dat";
  ASSERT_TRUE(sw::SaveFile(path, archiveBytes));
  TFile file;
  file.SetName(path.c_str());
  ASSERT_TRUE(file.Open(modeRead));
  TFileLib lib(&file);
  ASSERT_FALSE(lib.Error());

  Scene* scene = ReadSceneFile(&lib, "3ds\\box.3ds");  // member names fold case
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->meshCount, 1);
  FreeScene(scene);
  EXPECT_EQ(ReadSceneFile(&lib, "3ds\\BAD.3DS"), nullptr);
  EXPECT_EQ(ReadSceneFile(&lib, "3ds\\NONE.3DS"), nullptr);

  // The plain form reads from the archive the start-up opened.
  TFileLib* saved = archive;
  archive = &lib;
  scene = ReadSceneFile("3ds\\BOX.3DS");
  EXPECT_NE(scene, nullptr);
  FreeScene(scene);
  archive = nullptr;
  EXPECT_EQ(ReadSceneFile("3ds\\BOX.3DS"), nullptr);
  archive = saved;
  std::remove(path.c_str());
}

}  // namespace
