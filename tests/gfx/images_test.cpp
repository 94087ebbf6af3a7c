// PCX and BMP decoding (against files from an independent encoder and hand-made
// edge cases), malformed files, texture upload codes and texture memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "gfx/device.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"
#include "test_archive.h"

namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HaveConvert() { return std::system("convert -version > /dev/null 2>&1") == 0; }

// An RGB picture of 'colours' distinct colours, written as binary PPM.
struct RgbPicture {
  int width, height;
  std::vector<std::uint8_t> rgb;
};

RgbPicture MakePicture(int width, int height, int colours, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::array<std::uint8_t, 3>> palette(static_cast<std::size_t>(colours));
  for (auto& c : palette)
    for (auto& v : c) v = static_cast<std::uint8_t>(rng());
  RgbPicture p{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    const auto& c = palette[rng() % palette.size()];
    p.rgb.insert(p.rgb.end(), c.begin(), c.end());
  }
  return p;
}

// Converts the picture with ImageMagick; empty on failure.
std::vector<std::uint8_t> Convert(const RgbPicture& p, const std::string& options, const std::string& format) {
  // Names of this process's own: CTest runs the cases in parallel processes.
  static int calls = 0;
  const std::string stem = "gfx_images_test_" + std::to_string(getpid()) + "_" + std::to_string(calls++);
  const auto dir = std::filesystem::temp_directory_path();
  const auto ppm = dir / (stem + ".ppm");
  const auto outPath = dir / (stem + "." + format);
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(p.rgb.data()), static_cast<std::streamsize>(p.rgb.size()));
  }
  const std::string command =
      "convert " + ppm.string() + " " + options + " " + format + ":" + outPath.string() + " > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::vector<std::uint8_t> bytes = ReadFile(outPath);
  std::filesystem::remove(ppm);
  std::filesystem::remove(outPath);
  return bytes;
}

std::uint16_t Expected565(const std::uint8_t* rgb) {
  return static_cast<std::uint16_t>((rgb[0] >> 3) << 11 | (rgb[1] >> 2) << 5 | (rgb[2] >> 3));
}

std::vector<std::uint8_t> GreyPalette() {
  std::vector<std::uint8_t> palette(768);
  for (int i = 0; i < 256; ++i) palette[3 * i] = palette[3 * i + 1] = palette[3 * i + 2] = static_cast<std::uint8_t>(i);
  return palette;
}

// Literal bytes only (every value below 0xC0), one line after another.
std::vector<std::uint8_t> LiteralLines(int lineLength, int lines, std::uint8_t value) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(lineLength) * lines, value);
}

std::vector<std::uint8_t> MakeBmp(int width, int height, int bits, std::size_t pixelBytes) {
  std::vector<std::uint8_t> out(54, 0);
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<std::uint32_t>(54 + pixelBytes));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  out[26] = 1;
  out[28] = static_cast<std::uint8_t>(bits);
  for (std::size_t i = 0; i < pixelBytes; ++i) out.push_back(static_cast<std::uint8_t>(i * 7));
  return out;
}

class ImagesTest : public ::testing::Test {
protected:
  void TearDown() override { store.Close(); }
  TestArchive store;
  Texture texture{};
};

}  // namespace

TEST_F(ImagesTest, PcxFromImageMagickDecodesToItsColours) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert not available";
  const RgbPicture p = MakePicture(37, 20, 40, 1);  // odd width: padded lines
  std::vector<std::uint8_t> pcx = Convert(p, "-type Palette", "pcx");
  ASSERT_FALSE(pcx.empty());
  store.Add("textures\\IM.PCX", pcx);
  ASSERT_TRUE(store.Open());
  ASSERT_EQ(LoadPcxTexture("textures\\im.pcx", &texture, 0), 1);
  ASSERT_EQ(texture.width, 37);
  ASSERT_EQ(texture.height, 20);
  for (int i = 0; i < 37 * 20; ++i) ASSERT_EQ(texture.pixels[i], Expected565(&p.rgb[3 * i])) << i;
  delete[] texture.pixels;

  // The same file as an 8-bit picture: indices through the 6-bit palette.
  std::vector<std::uint8_t> raster(64 * 32, 0xEE);
  ASSERT_EQ(LoadPcxPicture("textures\\IM.PCX", raster.data(), 2, 3, 64, 32), 1);
  EXPECT_EQ(pictureWidth, 37);
  EXPECT_EQ(pictureHeight, 20);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 37; ++x) {
      const std::uint8_t index = raster[static_cast<std::size_t>((y + 3) * 64 + x + 2)];
      const std::uint8_t* c = &picturePalette[3 * index];
      const std::uint8_t* want = &p.rgb[static_cast<std::size_t>(3 * (y * 37 + x))];
      ASSERT_EQ(c[0], want[0] >> 2);
      ASSERT_EQ(c[1], want[1] >> 2);
      ASSERT_EQ(c[2], want[2] >> 2);
    }
  }
  EXPECT_EQ(raster[0], 0xEE);                 // outside the placed picture
  EXPECT_EQ(raster[3 * 64 + 2 + 37], 0xEE);  // right of it
}

TEST_F(ImagesTest, BmpFromImageMagickDecodesBottomRowFirst) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert not available";
  const RgbPicture p = MakePicture(16, 8, 200, 2);
  std::vector<std::uint8_t> bmp = Convert(p, "-type TrueColor", "bmp3");
  ASSERT_FALSE(bmp.empty());
  store.Add("textures\\IM.BMP", bmp);
  ASSERT_TRUE(store.Open());
  ASSERT_EQ(LoadBmpTexture("textures\\IM.BMP", &texture, 0), 1);
  ASSERT_EQ(texture.width, 16);
  ASSERT_EQ(texture.height, 8);
  // Rows stay in file order: the picture's bottom row comes first.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(texture.pixels[y * 16 + x], Expected565(&p.rgb[static_cast<std::size_t>(3 * ((7 - y) * 16 + x))]));
  delete[] texture.pixels;
}

TEST_F(ImagesTest, RunsContinueAcrossLinesAndWhitePaletteIsFFFF) {
  // 256 x 256, one line = 256 bytes. Line 0: 251 literals 0x01, then a run of
  // five 7s (0xC5 0x07) reaching 256, then a run of 0xC5 0x07 whose last byte
  // crosses into line 1; line 1 goes on with literals.
  std::vector<std::uint8_t> data(251, 0x01);
  data.insert(data.end(), {0xC5, 0x07, 0xC6, 0x09});
  // That put 251 + 5 = 256 (line 0 full) then 6 nines: line 1 starts with 6 nines.
  std::vector<std::uint8_t> rest = LiteralLines(256, 255, 0x02);
  data.insert(data.end(), rest.begin(), rest.end() - 6);
  std::vector<std::uint8_t> palette = GreyPalette();
  palette[3 * 2] = palette[3 * 2 + 1] = palette[3 * 2 + 2] = 255;
  PcxLayout layout;
  layout.xmax = layout.ymax = 255;
  layout.bytesPerLine = 256;
  store.Add("a.pcx", MakePcx(layout, data, palette));
  ASSERT_TRUE(store.Open());
  ASSERT_EQ(LoadPcxTexture("a.pcx", &texture, 0), 1);
  ASSERT_EQ(texture.width * texture.height, 65536);
  const auto grey = [](int v) { return static_cast<std::uint16_t>(((v >> 2) >> 1) << 11 | (v >> 2) << 5 | ((v >> 2) >> 1)); };
  EXPECT_EQ(texture.pixels[250], grey(1));
  EXPECT_EQ(texture.pixels[251], grey(7));
  EXPECT_EQ(texture.pixels[255], grey(7));
  for (int x = 0; x < 6; ++x) EXPECT_EQ(texture.pixels[256 + x], grey(9)) << x;
  EXPECT_EQ(texture.pixels[256 + 6], 0xFFFF);
  EXPECT_EQ(texture.pixels[65535], 0xFFFF);
  delete[] texture.pixels;
}

TEST_F(ImagesTest, PlanesAndBitsAreCheckedDifferentlyForTexturesAndPictures) {
  PcxLayout layout;
  layout.planes = 3;
  layout.xmax = 3;
  layout.ymax = 1;
  layout.bytesPerLine = 4;
  store.Add("rgb.pcx", MakePcx(layout, LiteralLines(12, 2, 5), GreyPalette()));
  layout.planes = 1;
  layout.version = 3;
  store.Add("v3.pcx", MakePcx(layout, LiteralLines(4, 2, 5), GreyPalette()));
  layout.version = 5;
  layout.encoding = 0;
  store.Add("raw.pcx", MakePcx(layout, LiteralLines(4, 2, 5), GreyPalette()));
  ASSERT_TRUE(store.Open());
  EXPECT_EQ(LoadPcxTexture("rgb.pcx", &texture, 0), 1);
  EXPECT_EQ(texture.width, 4);
  delete[] texture.pixels;
  std::uint8_t raster[64] = {};
  EXPECT_EQ(LoadPcxPicture("rgb.pcx", raster, 0, 0, 8, 8), 0);
  EXPECT_EQ(LoadPcxTexture("v3.pcx", &texture, 0), 0);
  EXPECT_EQ(LoadPcxTexture("raw.pcx", &texture, 0), 0);
  EXPECT_EQ(LoadPcxPicture("raw.pcx", raster, 0, 0, 8, 8), 0);
}

TEST_F(ImagesTest, PictureIsCutAtPitchAndRowLimitAndVersion3KeepsThePalette) {
  // 400 x 10 picture, pixel value = column & 0x7F; only rows up to the limit are
  // in the file, so decoding further would fail.
  PcxLayout layout;
  layout.xmax = 399;
  layout.ymax = 9;
  layout.bytesPerLine = 400;
  std::vector<std::uint8_t> data;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 400; ++x) data.push_back(static_cast<std::uint8_t>(x & 0x7F));
  std::vector<std::uint8_t> palette = GreyPalette();
  palette[0] = 0xFC;
  // Version 5 without the palette at the end would read image data as palette: keep 3.
  layout.version = 3;
  store.Add("wide.pcx", MakePcx(layout, data, {}));
  layout.version = 5;
  layout.xmax = layout.ymax = 1;
  layout.bytesPerLine = 2;
  store.Add("small.pcx", MakePcx(layout, LiteralLines(2, 2, 1), palette));
  ASSERT_TRUE(store.Open());
  std::vector<std::uint8_t> small(16);
  ASSERT_EQ(LoadPcxPicture("small.pcx", small.data(), 0, 0, 4, 4), 1);
  EXPECT_EQ(picturePalette[0], 0x3F);

  std::vector<std::uint8_t> raster(320 * 8, 0xAA);
  ASSERT_EQ(LoadPcxPicture("wide.pcx", raster.data(), 0, 0, 320, 4), 1);
  EXPECT_EQ(pictureWidth, 400);
  EXPECT_EQ(pictureHeight, 10);
  EXPECT_EQ(raster[319], 319 & 0x7F);
  EXPECT_EQ(raster[320], 0);  // row 1 starts again at column 0
  EXPECT_EQ(raster[3 * 320 + 5], 5);
  EXPECT_EQ(raster[4 * 320], 0xAA);  // below the row limit: untouched
  EXPECT_EQ(picturePalette[0], 0x3F);  // version 3 kept the previous palette
  // With room for all ten rows the missing data fails the load.
  std::vector<std::uint8_t> big(320 * 10);
  EXPECT_EQ(LoadPcxPicture("wide.pcx", big.data(), 0, 0, 320, 10), 0);
}

TEST_F(ImagesTest, MalformedPcxFailsCleanly) {
  PcxLayout ok;
  ok.xmax = ok.ymax = 7;
  ok.bytesPerLine = 8;
  const std::vector<std::uint8_t> good = MakePcx(ok, LiteralLines(8, 8, 3), GreyPalette());
  store.Add("good.pcx", good);
  store.Add("header.pcx", std::vector<std::uint8_t>(good.begin(), good.begin() + 100));
  store.Add("nopal.pcx", std::vector<std::uint8_t>(good.begin(), good.begin() + 128 + 64));
  PcxLayout s = ok;
  s.xmax = -5;  // negative width
  store.Add("negative.pcx", MakePcx(s, LiteralLines(8, 8, 3), GreyPalette()));
  s = ok;
  s.xmax = s.ymax = 30000;  // sizes far beyond the data
  s.bytesPerLine = 1000;
  store.Add("huge.pcx", MakePcx(s, LiteralLines(8, 8, 3), GreyPalette()));
  s = ok;
  s.bytesPerLine = 4000;  // a line longer than the line buffer
  store.Add("longline.pcx", MakePcx(s, LiteralLines(8, 8, 3), GreyPalette()));
  s = ok;
  s.bytesPerLine = 2;  // fewer bytes a line than pixels
  store.Add("shortline.pcx", MakePcx(s, LiteralLines(8, 8, 3), GreyPalette()));
  s = ok;
  s.xmax = 1019;
  s.ymax = 0;
  s.bytesPerLine = 1020;
  std::vector<std::uint8_t> runs(1019, 1);
  runs.insert(runs.end(), {0xFF, 0x04});  // a run of 63 past the 1024-byte buffer
  store.Add("overrun.pcx", MakePcx(s, runs, GreyPalette()));
  ASSERT_TRUE(store.Open());

  EXPECT_EQ(LoadPcxTexture("good.pcx", &texture, 0), 1);
  delete[] texture.pixels;
  std::vector<std::uint8_t> small(64 * 64);
  EXPECT_EQ(LoadPcxPicture("good.pcx", small.data() + 64 * 8, 0, -1, 64, 64), 0);  // before the raster
  EXPECT_EQ(LoadPcxPicture("good.pcx", small.data(), 60, 0, 64, 64), 1);             // cut to 4 columns
  std::vector<std::uint8_t> raster(4096);
  for (const char* name : {"header.pcx", "nopal.pcx", "negative.pcx", "huge.pcx", "longline.pcx",
                           "shortline.pcx", "overrun.pcx", "missing.pcx"}) {
    texture = Texture{};
    EXPECT_EQ(LoadPcxTexture(name, &texture, 0), 0) << name;
    EXPECT_EQ(texture.pixels, nullptr) << name;
    EXPECT_EQ(LoadPcxPicture(name, raster.data(), 0, 0, 64, 64), 0) << name;
  }
}

TEST_F(ImagesTest, BmpShapesAndDepthsAreChecked) {
  store.Add("ok.bmp", MakeBmp(4, 2, 24, 4 * 2 * 3));
  store.Add("npot.bmp", MakeBmp(300, 300, 24, 300 * 300 * 3));
  store.Add("big.bmp", MakeBmp(512, 512, 24, 16));
  store.Add("c16.bmp", MakeBmp(16, 16, 4, 128));
  store.Add("c32.bmp", MakeBmp(16, 16, 32, 16 * 16 * 4));
  store.Add("zero.bmp", MakeBmp(0, 16, 24, 0));
  store.Add("negative.bmp", MakeBmp(16, -16, 24, 16 * 16 * 3));
  store.Add("short.bmp", MakeBmp(16, 16, 24, 100));
  store.Add("stub.bmp", std::vector<std::uint8_t>{'B', 'M', 1, 2});
  ASSERT_TRUE(store.Open());
  ASSERT_EQ(LoadBmpTexture("ok.bmp", &texture, 0), 1);
  // Bytes are blue, green, red: the first pixel is (0, 7, 14) as B, G, R.
  EXPECT_EQ(texture.pixels[0], (14 >> 3) << 11 | (7 >> 2) << 5 | 0);
  delete[] texture.pixels;
  for (const char* name : {"npot.bmp", "big.bmp", "c16.bmp", "c32.bmp", "zero.bmp", "negative.bmp",
                           "short.bmp", "stub.bmp", "missing.bmp"}) {
    texture = Texture{};
    EXPECT_EQ(LoadBmpTexture(name, &texture, 0), 0) << name;
    EXPECT_EQ(texture.pixels, nullptr) << name;
  }
}

TEST(Log2FloorTest, CountsHalvings) {
  EXPECT_EQ(Log2Floor(1), 0);
  EXPECT_EQ(Log2Floor(2), 1);
  EXPECT_EQ(Log2Floor(255), 7);
  EXPECT_EQ(Log2Floor(256), 8);
  EXPECT_EQ(Log2Floor(0), -1);
  EXPECT_EQ(Log2Floor(-4), -1);
  EXPECT_EQ(Log2Floor(0x7FFFFFFF), 30);
}

class UploadTest : public ::testing::Test {
protected:
  void SetUp() override {
    GlideSelectOutput(GlideOutput::offscreen);
    DeviceInit();
    ASSERT_EQ(deviceInitialized, 1);
    nextTextureAddress = -1;
  }
  static Texture Make(int width, int height) {
    Texture t{};
    t.width = width;
    t.height = height;
    t.pixels = new std::uint16_t[static_cast<std::size_t>(width) * height]();
    return t;
  }
};

TEST_F(UploadTest, LodAndAspectCodes) {
  Texture wide = Make(256, 128), tall = Make(128, 256), square = Make(64, 64), thin = Make(256, 32);
  ASSERT_EQ(UploadTexture(&wide), 1);
  EXPECT_EQ(wide.largeLod, 0);
  EXPECT_EQ(wide.smallLod, 0);
  EXPECT_EQ(wide.aspectRatio, 4);
  EXPECT_EQ(wide.format, 10);
  EXPECT_EQ(wide.data, wide.pixels);
  ASSERT_EQ(UploadTexture(&tall), 1);
  EXPECT_EQ(tall.aspectRatio, 2);
  ASSERT_EQ(UploadTexture(&square), 1);
  EXPECT_EQ(square.largeLod, 2);
  EXPECT_EQ(square.aspectRatio, 3);
  ASSERT_EQ(UploadTexture(&thin), 1);
  EXPECT_EQ(thin.aspectRatio, 6);
  Texture mip = Make(64, 64);
  mip.mipmap = 1;
  ASSERT_EQ(UploadTexture(&mip), 1);
  EXPECT_EQ(mip.smallLod, 8);
  for (Texture* t : {&wide, &tall, &square, &thin, &mip}) delete[] t->pixels;
}

TEST_F(UploadTest, UnsupportedShapePrintsItsLine) {
  Texture odd = Make(48, 16);
  testing::internal::CaptureStdout();
  EXPECT_EQ(UploadTexture(&odd), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "nonsupported aspect ratio (48 x 16)\n");
  Texture flat = Make(256, 16);  // 16:1 is beyond the widest shape
  testing::internal::CaptureStdout();
  EXPECT_EQ(UploadTexture(&flat), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "nonsupported aspect ratio (256 x 16)\n");
  Texture empty{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(UploadTexture(&empty), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "nonsupported aspect ratio (0 x 0)\n");
  delete[] odd.pixels;
  delete[] flat.pixels;
}

TEST_F(UploadTest, TexturesPackUpwardsAndOverflowFails) {
  std::vector<Texture> all;
  for (int i = 0; i < 33; ++i) all.push_back(Make(256, 256));
  ASSERT_EQ(UploadTexture(&all[0]), 1);
  EXPECT_EQ(all[0].startAddress, grTexMinAddress(GR_TMU0));
  EXPECT_EQ(all[0].memoryRequired, 131072u);
  ASSERT_EQ(UploadTexture(&all[1]), 1);
  EXPECT_EQ(all[1].startAddress, all[0].startAddress + all[0].memoryRequired);
  // 4 MiB hold 32 textures of 256 x 256; the 33rd does not fit.
  for (int i = 2; i < 32; ++i) ASSERT_EQ(UploadTexture(&all[static_cast<std::size_t>(i)]), 1) << i;
  EXPECT_EQ(UploadTexture(&all[32]), 0);
  Texture small = Make(8, 8);
  EXPECT_EQ(UploadTexture(&small), 0);
  for (Texture& t : all) delete[] t.pixels;
  delete[] small.pixels;
}

// Damaged copies of valid files (bytes changed, files cut short) must load or
// fail without reading or writing outside their buffers (the sanitizer build
// checks the memory side).
TEST_F(ImagesTest, DamagedFilesNeverCrash) {
  PcxLayout layout;
  layout.xmax = 31;
  layout.ymax = 15;
  layout.bytesPerLine = 32;
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 16; ++i) data.insert(data.end(), {0xC8, 0x05, 0x10, 0x11, 0xD4, 0x22, 0x01, 0x02, 0x03, 0x04});
  const std::vector<std::uint8_t> pcx = MakePcx(layout, data, GreyPalette());
  const std::vector<std::uint8_t> bmp = MakeBmp(16, 8, 24, 16 * 8 * 3);
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> a = pcx, b = bmp;
    for (auto* file : {&a, &b}) {
      const int changes = 1 + static_cast<int>(rng() % 6);
      for (int c = 0; c < changes; ++c) (*file)[rng() % file->size()] = static_cast<std::uint8_t>(rng());
      if (rng() % 3 == 0) file->resize(rng() % file->size());
    }
    TestArchive damaged;
    damaged.Add("a.pcx", a);
    damaged.Add("b.bmp", b);
    ASSERT_TRUE(damaged.Open());
    Texture t{};
    if (LoadPcxTexture("a.pcx", &t, 0)) {
      ASSERT_GT(t.width, 0);
      ASSERT_GT(t.height, 0);
      delete[] t.pixels;
    }
    t = Texture{};
    if (LoadBmpTexture("b.bmp", &t, 0)) {
      ASSERT_LE(t.width, 256);
      delete[] t.pixels;
    }
    std::vector<std::uint8_t> raster(64 * 32);
    LoadPcxPicture("a.pcx", raster.data(), 3, 2, 64, 32);
    damaged.Close();
  }
}
