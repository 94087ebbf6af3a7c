// Writes small valid files of every kind the readers take, one folder per
// harness, as the fuzzers' starting corpora: fuzz_seeds OUTPUT_DIR.
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archivewriter/archivewriter.h"
#include "tools/itwriter/itcompress.h"
#include "tools/itwriter/itwriter.h"
#include "tools/mkcontent/images.h"
#include "tools/modwriter/modwriter.h"
#include "tools/s3mwriter/s3mwriter.h"
#include "tools/scenewriter/scenewriter.h"
#include "tools/wavewriter/wavewriter.h"
#include "tools/xmwriter/xmwriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string outDir;
int written = 0;
bool failed = false;

void Save(const std::string& harness, const std::string& name, const Bytes& bytes) {
  const std::string dir = outDir + "/" + harness;
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
    failed = true;
  }
  if (f) std::fclose(f);
  ++written;
}

void S3mSeeds() {
  s3m::Song song("seed", 4);
  song.AddInstrument("sine", s3m::SineWave(256)).SetLoop(0, 256);
  song.AddInstrument("noise", s3m::NoiseBurst(200));
  song.orders = {0, 1, 255};
  auto& p0 = song.Pattern(0);
  p0.At(0, 0) = s3m::Cell::Play(s3m::Note(4, 0), 1, 40);
  p0.At(4, 1) = s3m::Cell::Play(s3m::Note(5, 7), 2).Effect('D', 0x0F);
  p0.At(8, 2).Effect('A', 4);
  p0.At(12, 3) = s3m::Cell::Play(s3m::noteCut, 0);
  auto& p1 = song.Pattern(1);
  p1.At(0, 0) = s3m::Cell::Play(s3m::Note(3, 5), 1).Effect('G', 0x20);
  p1.At(63, 0).Effect('C', 0);
  Save("s3m", "song.s3m", s3m::Write(song));

  s3m::Song wide("wide", 16);
  wide.signedSamples = true;
  wide.flags = 0x50;
  wide.AddInstrument("saw", s3m::SawWave(100));
  wide.instruments.back().data16 = {0, 1000, -1000, 2000, -2000, 0};
  wide.orders = {0, 254, 0};
  wide.Pattern(0).At(0, 15) = s3m::Cell::Play(s3m::Note(4, 0), 1);
  Save("s3m", "wide.s3m", s3m::Write(wide));
}

void XmSeeds() {
  xmwriter::Song song;
  song.patterns.resize(2);
  song.patterns[0].rows = 16;
  song.patterns[1].rows = 8;
  song.orders = {0, 1, 0};
  xmwriter::Instrument ins;
  ins.name = "lead";
  xmwriter::Sample s;
  for (int i = 0; i < 64; ++i) s.values.push_back(static_cast<std::int16_t>((i % 16) * 8 - 64));
  s.loopStart = 0;
  s.loopLength = 64;
  s.loopBits = 1;
  ins.samples.push_back(s);
  xmwriter::Sample wide = s;
  wide.sixteen = true;
  wide.loopBits = 2;
  wide.loopLength = 128;
  for (auto& v : wide.values) v = static_cast<std::int16_t>(v * 200);
  ins.samples.push_back(wide);
  ins.noteMap.fill(0);
  for (int n = 48; n < 96; ++n) ins.noteMap[n] = 1;
  ins.volume.points = {{0, 64}, {10, 32}, {20, 0}};
  ins.volume.type = 7;
  ins.volume.sustain = 1;
  ins.volume.loopEnd = 2;
  ins.panning.points = {{0, 32}, {40, 48}};
  ins.panning.type = 1;
  ins.vibType = 1;
  ins.vibDepth = 4;
  ins.vibRate = 8;
  ins.fadeOut = 256;
  song.instruments.push_back(ins);
  song.instruments.push_back(xmwriter::Instrument{});  // no samples
  song.At(0, 0, 0) = {49, 1, 0x40, 0x0A, 0x0F};
  song.At(0, 3, 1) = {60, 1, 0, 0x03, 0x10};
  song.At(0, 8, 2) = {97, 0, 0, 0, 0};
  song.At(1, 0, 3) = {30, 2, 0x20, 0x0E, 0x61};
  Save("xm", "song.xm", song.Build());

  xmwriter::Song empty;
  empty.patterns.resize(1);
  empty.patterns[0].rows = 1;
  empty.channels = 2;
  empty.flags = 0;
  Save("xm", "empty.xm", empty.Build());

  // The older layouts: instruments before the patterns.
  song.version = 0x0103;
  Save("xm", "song103.xm", song.Build());
  song.version = 0x0102;
  Save("xm", "song102.xm", song.Build());
}

void ModSeeds() {
  modwriter::Song song;
  song.songLength = 2;
  song.orders[0] = 0;
  song.orders[1] = 1;
  song.patterns.assign(2, std::vector<modwriter::Cell>(64 * 4));
  auto& a = song.samples[0];
  a.name = "bass";
  for (int i = 0; i < 64; ++i) a.data.push_back(static_cast<std::int8_t>(i * 4 - 128));
  a.loopStartWords = 8;
  a.loopLengthWords = 16;
  auto& b = song.samples[1];
  b.name = "hit";
  b.data.assign(32, 40);
  b.fineTune = 3;
  song.At(0, 0, 0) = {428, 1, 0x0C, 0x30};
  song.At(0, 4, 1) = {214, 2, 0x01, 0x02};
  song.At(0, 8, 2) = {0, 0, 0x0E, 0x92};
  song.At(1, 0, 3) = {856, 1, 0x0B, 0x00};
  Save("mod", "song.mod", song.Build());

  modwriter::Song eight;
  eight.signature = "8CHN";
  eight.channels = 8;
  eight.patterns.assign(1, std::vector<modwriter::Cell>(64 * 8));
  eight.samples[0].data.assign(16, 0);
  eight.At(0, 0, 7) = {113, 1, 0x0F, 0x06};
  Save("mod", "eight.mod", eight.Build());

  eight.signature = "FLT8";
  eight.orders[1] = 2;
  eight.songLength = 2;
  Save("mod", "split.mod", eight.Build());

  song.sampleCount = 15;
  Save("mod", "fifteen.mod", song.Build());
}

void ItSeeds() {
  itwriter::Song song;
  itwriter::Sample s;
  s.name = "square";
  for (int i = 0; i < 64; ++i) s.bytes.push_back(static_cast<std::uint8_t>(i < 32 ? 0x40 : 0xC0));
  s.flags = 0x01 | 0x10;
  s.loopBegin = 0;
  s.loopEnd = 64;
  song.samples.push_back(s);
  itwriter::Sample wide;
  wide.name = "wide";
  wide.flags = 0x01 | 0x02 | 0x20 | 0x40;
  for (int i = 0; i < 32; ++i) {
    std::int16_t v = static_cast<std::int16_t>((i - 16) * 1000);
    wide.bytes.push_back(static_cast<std::uint8_t>(v));
    wide.bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  wide.susBegin = 4;
  wide.susEnd = 20;
  wide.loopEnd = 32;
  song.samples.push_back(wide);
  itwriter::Instrument ins;
  ins.name = "lead";
  ins.volume.flags = 1 | 2;
  ins.volume.nodes = {{64, 0}, {32, 10}, {0, 30}};
  ins.volume.loopEnd = 2;
  ins.pitch.flags = 1;
  ins.pitch.nodes = {{0, 0}, {16, 8}};
  ins.fadeOut = 64;
  song.instruments.push_back(ins);
  itwriter::Instrument second;
  for (unsigned n = 0; n < 120; ++n) second.noteMap[n] = {static_cast<std::uint8_t>(n), 2};
  song.instruments.push_back(second);
  itwriter::PatternWriter w;
  w.Entry(0, 0x0F, 60, 1, 64, 1, 6).EndRow();
  w.Entry(1, 0x03, 64, 2).Entry(2, 0x08, 0, 0, 0, 4, 0x22).EndRow();
  w.Repeat(0).EndRow();
  w.Entry(0, 0x01, 254).EndRow();
  itwriter::Pattern p;
  p.rows = 4;
  p.packed = w.bytes;
  song.patterns.push_back(p);
  itwriter::Pattern missing;
  missing.present = false;
  song.patterns.push_back(missing);
  song.orders = {0, 254, 1, 255};
  Save("it", "instruments.it", song.Build());

  itwriter::Song samples;
  samples.flags = 0x01;  // sample mode
  samples.samples.push_back(s);
  itwriter::PatternWriter w2;
  w2.Entry(0, 0x03, 48, 1).EndRow();
  itwriter::Pattern p2;
  p2.rows = 1;
  p2.packed = w2.bytes;
  samples.patterns.push_back(p2);
  Save("it", "samples.it", samples.Build());
}

// Compressed samples: 8-bit in the 2.14 form, 16-bit in the 2.15 form.
void ItCompressedSeeds() {
  std::vector<std::int8_t> ramp;
  for (int i = 0; i < 300; ++i) ramp.push_back(static_cast<std::int8_t>(i % 50 < 25 ? i % 50 * 5 : -i % 7));
  std::vector<std::int16_t> swell;
  for (int i = 0; i < 200; ++i) swell.push_back(static_cast<std::int16_t>(std::sin(i / 9.0) * (i * 150)));
  itwriter::Song song;
  song.flags = 0x01;  // sample mode
  song.samples.resize(2);
  itwriter::SetCompressed8(song.samples[0], ramp, false);
  itwriter::SetCompressed16(song.samples[1], swell, true);
  song.samples[1].flags |= 0x10;
  song.samples[1].loopBegin = 20;
  song.samples[1].loopEnd = 180;
  itwriter::PatternWriter w;
  w.Entry(0, 0x03, 48, 1).Entry(1, 0x03, 60, 2).EndRow();
  itwriter::Pattern p;
  p.rows = 1;
  p.packed = w.bytes;
  song.patterns.push_back(p);
  Save("it", "compressed.it", song.Build());
}

void WaveSeeds() {
  Bytes pcm8;
  for (int i = 0; i < 64; ++i) pcm8.push_back(static_cast<std::uint8_t>(128 + 100 * std::sin(i / 4.0)));
  Save("wave", "mono8.wav", wavewriter::BuildWave({{"fmt ", wavewriter::FormatBody(1, 1, 22050, 8)},
                                                  {"data", pcm8}}));
  Bytes pcm16(128, 0x11);
  Save("wave", "stereo16.wav",
       wavewriter::BuildWave({{"fmt ", wavewriter::FormatBody(1, 2, 44100, 16, 18)},
                             {"LIST", Bytes(6, 'x')},
                             {"data", pcm16}}));
}

void ConfigSeeds() {
  // Five little-endian numbers: mixing rate, output mode, interpolation, buffer
  // length and the sound device.
  auto make = [](std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (std::uint32_t v : values)
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
  };
  Save("config", "default.cfg", make({44100, 10, 1, 500, 1}));
  Save("config", "odd.cfg", make({8000, 5, 0, 40, 3}));
}

content::Image8 SeedPicture(int w, int h) {
  content::Image8 image(w, h);
  content::PaletteGradient(image.palette, 0, 255, {0, 0, 0}, {255, 200, 100});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.At(x, y) = static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
  for (int x = 0; x < w; x += 3) image.At(x, 0) = 200;  // runs and singles
  return image;
}

void ImageSeeds() {
  Save("pcx", "small.pcx", content::EncodePcx(SeedPicture(16, 8)));
  Save("pcx", "odd.pcx", content::EncodePcx(SeedPicture(13, 5)));
  content::ImageRgb rgb(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      rgb.At(x, y) = {static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16), 77};
  Save("bmp", "square.bmp", content::EncodeBmp24(rgb));
  content::ImageRgb strip(8, 2);
  Save("bmp", "strip.bmp", content::EncodeBmp24(strip));
}

Bytes SceneSeed(bool full) {
  using namespace scenewriter;
  Scene scene;
  Material m;
  m.name = "stone";
  m.ambient = Colour{0.2f, 0.2f, 0.2f};
  m.diffuse = Colour{200, 180, 160, true};
  m.shading = 2;
  m.texture = TextureMap{"stone.pcx", 100, 1.0f, 2.0f};
  scene.materials.push_back(m);
  Mesh mesh;
  mesh.name = "box";
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
  mesh.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}};
  mesh.faces = {{0, 1, 2}, {0, 2, 3}, {1, 2, 4}};
  mesh.groups = {{"stone", {0, 1, 2}}};
  mesh.smoothingGroups = full;
  mesh.axes = Axes{};
  scene.meshes.push_back(mesh);
  Light light;
  light.name = "sun";
  light.position = {10, 10, 10};
  light.colour = Colour{1, 1, 0.9f};
  light.spot = full;
  scene.lights.push_back(light);
  Camera camera;
  camera.name = "cam";
  camera.position = {0, -10, 2};
  camera.ranges = std::make_pair(1.0f, 100.0f);
  scene.cameras.push_back(camera);
  if (full) {
    Keyframer kf;
    kf.frameCount = 50;
    Node boxNode;
    boxNode.name = "box";
    boxNode.pivot = Vec3{0.5f, 0.5f, 0};
    boxNode.id = 0;
    boxNode.position = Track<VectorKey>{0, {{0, {0, 0, 0}, {}}, {25, {1, 2, 3}, {0.5f, 0, 0, 0, 0, {{0, 0.5f}}}}}};
    boxNode.rotation = Track<RotationKey>{2, {{0, 0, {0, 0, 1}, {}}, {50, 1.5f, {0, 1, 0}, {}}}};
    boxNode.scale = Track<VectorKey>{0, {{0, {1, 1, 1}, {}}}};
    boxNode.hide = Track<HideKey>{0, {{10}, {20}}};
    kf.nodes.push_back(boxNode);
    Node camNode;
    camNode.kind = NodeKind::camera;
    camNode.name = "cam";
    camNode.id = 1;
    camNode.position = Track<VectorKey>{0, {{0, {0, -10, 2}, {}}}};
    camNode.fieldOfView = Track<ScalarKey>{0, {{0, 45, {}}}};
    camNode.roll = Track<ScalarKey>{0, {{0, 0, {}}}};
    kf.nodes.push_back(camNode);
    Node target;
    target.kind = NodeKind::cameraTarget;
    target.name = "cam";
    target.id = 2;
    target.position = Track<VectorKey>{0, {{0, {0, 0, 0}, {}}}};
    kf.nodes.push_back(target);
    Node child;
    child.name = "box";
    child.instance = "copy";
    child.hierarchy = 0;
    child.id = 3;
    kf.nodes.push_back(child);
    scene.keyframer = kf;
  }
  return Write(scene);
}

void SceneAndArchiveSeeds() {
  Bytes small = SceneSeed(false), full = SceneSeed(true);
  Save("3ds", "static.3ds", small);
  Save("3ds", "animated.3ds", full);
  std::string error;
  Bytes lib;
  if (archivewriter::Build({{"scenes\\box.3ds", small}, {"pictures\\a.pcx", content::EncodePcx(SeedPicture(4, 4))},
                      {"music.s3m", Bytes(40, 7)}},
                     lib, error))
    Save("archive", "three.dat", lib);
  else
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.c_str()), failed = true;
  if (archivewriter::Build({{"a", Bytes(3, 1)}}, lib, error)) Save("archive", "one.dat", lib);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_DIR\n");
    return 2;
  }
  outDir = argv[1];
  mkdir(outDir.c_str(), 0755);
  S3mSeeds();
  XmSeeds();
  ModSeeds();
  ItSeeds();
  ItCompressedSeeds();
  WaveSeeds();
  ConfigSeeds();
  ImageSeeds();
  SceneAndArchiveSeeds();
  std::printf("fuzz_seeds: %d files in %s\n", written, outDir.c_str());
  return failed ? 1 : 0;
}
