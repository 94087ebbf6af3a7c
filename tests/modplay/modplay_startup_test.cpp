// modplay opens SDL2 (and the display and sound-server libraries it brings)
// only when it plays live: a render to a file starts without them, and live
// playback still reaches SDL's audio through the calls it opens on demand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;

namespace {

// What the dynamic loader reported about the libraries it opened, for runs
// given `LoaderLog(dir)` in their environment.
std::vector<std::string> LoaderLog(const TempDir& dir) {
  return {"LD_DEBUG=libs", "LD_DEBUG_OUTPUT=" + dir.File("loader")};
}

std::string LoaderReport(const TempDir& dir) {
  std::string text;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    if (entry.path().filename().string().rfind("loader", 0) == 0) {
      std::ifstream in(entry.path());
      std::stringstream s;
      s << in.rdbuf();
      text += s.str();
    }
  }
  return text;
}

TEST(ModplayStartUp, RenderingToAFileOpensNoSdl) {
  TempDir dir;
  const std::string module = dir.Write("song.s3m", s3m::Write(ShortSong(4, 2, 4)));
  const ToolRun run = Modplay({"--quiet", module, "-o", dir.File("out.wav")}, "", LoaderLog(dir));
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::string report = LoaderReport(dir);
  ASSERT_NE(report.find("libsndfile"), std::string::npos) << "the loader's report is read";
  EXPECT_EQ(report.find("libSDL2"), std::string::npos);
  EXPECT_GT(Slurp(dir.File("out.wav")).size(), 44u);
}

TEST(ModplayStartUp, LivePlayOpensSdlAndItsAudio) {
  TempDir dir;
  const std::string module = dir.Write("song.s3m", s3m::Write(ShortSong(4, 2, 4)));
  std::vector<std::string> env = LoaderLog(dir);
  env.push_back("SDL_AUDIODRIVER=dummy");
  const ToolRun run = Modplay({"--quiet", module}, "", env);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors.find("no sound output"), std::string::npos) << run.errors;
  EXPECT_NE(LoaderReport(dir).find("libSDL2"), std::string::npos);
}

}  // namespace
