// The scenes' texture names resolve as the start-up resolves them, the
// textures fit the accelerator, and the picture encoders produce files the
// system's decoders read back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "gfx/texture.h"
#include "tests/content/contentkit.h"
#include "tools/mkcontent/images.h"
#include "tools/mkcontent/textures.h"

namespace {

constexpr std::uint32_t textureMemory = 4u << 20;

class GeneratedTextures : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(open.Ok());
    for (const char* name : contentkit::sceneNames) {
      owned.push_back(contentkit::LoadScene(name));
      ASSERT_NE(owned.back(), nullptr) << name;
      scenes.push_back(owned.back().get());
    }
    resolved = contentkit::ResolveTextures(scenes);
  }

  contentkit::OpenArchive open{DEMO_CONTENT_DIR "/demo.dat"};
  std::vector<contentkit::ScenePtr> owned;
  std::vector<Scene*> scenes;
  std::vector<contentkit::ResolvedTexture> resolved;
};

TEST_F(GeneratedTextures, ResolveToPcxOrBmpExceptTheOneMeantToFallBack) {
  ASSERT_EQ(static_cast<int>(resolved.size()), textureCount);
  int bmp = 0, fallback = 0;
  for (const auto& t : resolved) {
    if (t.name == "ENERGY") {
      EXPECT_EQ(t.source, contentkit::TextureSource::fallback);
      ++fallback;
      continue;
    }
    EXPECT_TRUE(t.source == contentkit::TextureSource::pcx || t.source == contentkit::TextureSource::bmp) << t.name;
    if (t.source == contentkit::TextureSource::bmp) ++bmp;
  }
  EXPECT_EQ(fallback, 1);
  EXPECT_GE(bmp, 1);
}

TEST_F(GeneratedTextures, AreTwoHundredFiftySixWideAndFitTextureMemory) {
  std::uint32_t total = 0;
  for (int i = 0; i < textureCount; ++i) {
    EXPECT_EQ(textures[i].width, 256) << textureNames[i];
    EXPECT_TRUE(textures[i].height == 256 || textures[i].height == 128) << textureNames[i];
    total += static_cast<std::uint32_t>(textures[i].width) * static_cast<std::uint32_t>(textures[i].height) * 2u;
  }
  EXPECT_LE(total, textureMemory);
  // Every texture the generator makes is named by some material.
  std::set<std::string> named;
  for (int i = 0; i < textureCount; ++i) named.insert(textureNames[i]);
  for (const content::TextureAsset& t : content::BuildTextures()) {
    std::string upper = t.name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_EQ(named.count(upper), 1u) << t.name;
  }
}

TEST_F(GeneratedTextures, MaterialsOfDifferentScenesShareOneTexture) {
  // "grass" is used in four scenes; all its materials get one index.
  std::set<int> indices;
  for (Scene* scene : scenes) {
    for (int m = 0; m < scene->materialCount; ++m) {
      if (std::string(scene->materials[m]->textureFile) == content::MapFileName("grass")) {
        indices.insert(scene->materials[m]->textureIndex);
      }
    }
  }
  EXPECT_EQ(indices.size(), 1u);
}

// Archive with one picture, opened as the loaders see it.
class EncodedPicture : public ::testing::Test {
protected:
  bool Open(const std::string& member, const std::vector<std::uint8_t>& bytes) {
    path = ::testing::TempDir() + "encoded_picture.dat";
    if (!contentkit::WriteArchive(path, {{member, bytes}})) return false;
    open = std::make_unique<contentkit::OpenArchive>(path);
    return open->Ok();
  }
  void TearDown() override {
    open.reset();
    std::remove(path.c_str());
  }
  std::string path;
  std::unique_ptr<contentkit::OpenArchive> open;
};

TEST_F(EncodedPicture, PcxRoundTripsRunsHighBytesAndOddWidths) {
  // Long runs (past 63), literal bytes that look like run markers, and an odd
  // width whose lines carry one byte of padding.
  content::Image8 image(77, 9);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      image.At(x, y) = static_cast<std::uint8_t>(y % 3 == 0 ? 0xC7 : (y % 3 == 1 ? (x * 37 + y) & 0xFF : 0xFF));
    }
  }
  for (int i = 0; i < 256; ++i) image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), 0, 255};
  ASSERT_TRUE(Open("pic.pcx", content::EncodePcx(image)));
  std::vector<std::uint8_t> decoded(77 * 9, 0x55);
  ASSERT_EQ(LoadPcxPicture("pic.pcx", decoded.data(), 0, 0, 77, 9), 1);
  EXPECT_EQ(pictureWidth, 77);
  EXPECT_EQ(pictureHeight, 9);
  EXPECT_TRUE(decoded == image.pixels);
  EXPECT_EQ(picturePalette[3 * 200], 200 >> 2);
  EXPECT_EQ(picturePalette[3 * 200 + 2], 255 >> 2);
}

TEST_F(EncodedPicture, BmpKeepsColoursAndFileRowOrder) {
  content::ImageRgb image(4, 2);
  image.At(0, 0) = {255, 0, 0};   // top row
  image.At(1, 0) = {0, 255, 0};
  image.At(0, 1) = {0, 0, 255};   // bottom row
  image.At(3, 1) = {255, 255, 255};
  ASSERT_TRUE(Open("pic.bmp", content::EncodeBmp24(image)));
  Texture texture{};
  ASSERT_EQ(LoadBmpTexture("pic.bmp", &texture, 0), 1);
  ASSERT_EQ(texture.width, 4);
  ASSERT_EQ(texture.height, 2);
  // The loader keeps the file's order, which stores the bottom row first.
  EXPECT_EQ(texture.pixels[0], 0x001F);
  EXPECT_EQ(texture.pixels[3], 0xFFFF);
  EXPECT_EQ(texture.pixels[4], 0xF800);
  EXPECT_EQ(texture.pixels[5], 0x07E0);
  delete[] texture.pixels;  // the start-up keeps its textures for good; this test does not
}

}  // namespace
