// The four pictures of the 2D segments decode as the start-up loads them and
// hold what the effects need.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "gfx/texture.h"
#include "tests/content/contentkit.h"
#include "tools/mkcontent/content.h"

namespace {

class GeneratedPictures : public ::testing::Test {
protected:
  // Decodes into a buffer of exactly the start-up's size; false on failure.
  bool Load(const char* member, std::vector<std::uint8_t>& pixels, int pitch, int rows) {
    pixels.assign(static_cast<std::size_t>(pitch) * rows, 0);
    return LoadPcxPicture(member, pixels.data(), 0, 0, pitch, rows) == 1;
  }
  contentkit::OpenArchive open{DEMO_CONTENT_DIR "/demo.dat"};
};

TEST_F(GeneratedPictures, LogoFillsTheScreenWithItsOwnPalette) {
  ASSERT_TRUE(open.Ok());
  std::vector<std::uint8_t> logo;
  ASSERT_TRUE(Load(content::logoMember, logo, 640, 480));
  EXPECT_EQ(pictureWidth, 640);
  EXPECT_EQ(pictureHeight, 480);
  std::set<std::uint8_t> used(logo.begin(), logo.end());
  EXPECT_GT(used.size(), 150u);
  std::set<int> colours;
  for (int i = 0; i < 256; ++i) {
    colours.insert(picturePalette[3 * i] << 12 | picturePalette[3 * i + 1] << 6 | picturePalette[3 * i + 2]);
  }
  EXPECT_GT(colours.size(), 150u);
}

TEST_F(GeneratedPictures, LightSpotIsBrightInTheMiddleAndDarkAtTheEdges) {
  ASSERT_TRUE(open.Ok());
  std::vector<std::uint8_t> spot;
  ASSERT_TRUE(Load(content::lightSpotMember, spot, 256, 256));
  EXPECT_EQ(pictureWidth, 256);
  EXPECT_EQ(pictureHeight, 256);
  EXPECT_GE(spot[128 * 256 + 128], 250);
  for (int corner : {0, 255, 255 * 256, 255 * 256 + 255}) EXPECT_LT(spot[static_cast<std::size_t>(corner)], 16);
  // Falls off steadily from the centre to the right edge.
  for (int x = 129; x < 256; ++x) EXPECT_LE(spot[128 * 256 + x], spot[128 * 256 + x - 1]);
}

TEST_F(GeneratedPictures, ScrollTextIsTransparentBetweenItsLetters) {
  ASSERT_TRUE(open.Ok());
  std::vector<std::uint8_t> text;
  ASSERT_TRUE(Load(content::scrollTextMember, text, 320, 1024));
  EXPECT_EQ(pictureWidth, 320);
  EXPECT_EQ(pictureHeight, 1024);
  std::size_t letters = 0;
  for (std::uint8_t v : text) letters += v != 0;
  EXPECT_GT(letters, 10000u);
  EXPECT_LT(letters, text.size() / 4);
  // The first rows scroll in from below blank; the credits begin soon after.
  for (int x = 0; x < 320; ++x) EXPECT_EQ(text[static_cast<std::size_t>(x)], 0);
}

TEST_F(GeneratedPictures, BumpBackgroundIsARelief) {
  ASSERT_TRUE(open.Ok());
  std::vector<std::uint8_t> relief;
  ASSERT_TRUE(Load(content::bumpBackgroundMember, relief, 320, 200));
  EXPECT_EQ(pictureWidth, 320);
  EXPECT_EQ(pictureHeight, 200);
  // Slopes across the diagonal neighbour shift the light spot: they must vary,
  // but stay small enough to keep it in view.
  int steep = 0, flat = 0;
  for (int y = 1; y < 200; ++y) {
    for (int x = 1; x < 320; ++x) {
      const int d = relief[static_cast<std::size_t>((y - 1) * 320 + x - 1)] - relief[static_cast<std::size_t>(y * 320 + x)];
      EXPECT_LE(std::abs(d), 120);
      if (std::abs(d) >= 4) ++steep;
      else ++flat;
    }
  }
  EXPECT_GT(steep, 2000);
  EXPECT_GT(flat, 2000);
}

}  // namespace
