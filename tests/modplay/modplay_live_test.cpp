// modplay playing live without a sound card: it says so once, plainly, keeps
// the audio back end's own complaints to itself, and writes whole status
// lines (no carriage returns) when its output is not a terminal.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;

namespace {

// An audio driver SDL does not have: no device opens, as on a machine
// without a sound card.
const std::vector<std::string> noSoundCard = {"SDL_AUDIODRIVER=none-here"};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ModplayLive, WithoutASoundCardItSaysSoOnceAndPlaysToTheEnd) {
  TempDir dir;
  s3m::Song song = ShortSong(4, 2, 4);
  song.name = "bell\x07\x1b]0;title";
  const std::string module = dir.Write("song.s3m", s3m::Write(song));
  const std::string out = dir.File("stdout.txt");
  const ToolRun run = Modplay({module, "--rate", "22050"}, out, noSoundCard);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(Count(run.errors, "no sound output could be opened"), 1u) << run.errors;
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << "nothing else: " << run.errors;

  const std::vector<std::uint8_t> bytes = Slurp(out);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("Playing \"bell??]0;title\""), std::string::npos) << text;
  EXPECT_NE(text.find("without sound"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << "whole lines in a file";
  EXPECT_EQ(text.find('\x1b'), std::string::npos);
  EXPECT_NE(text.find("position   0/1"), std::string::npos) << text;
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
}

TEST(ModplayLive, QuietPrintsNothingButTheMissingSoundCard) {
  TempDir dir;
  const std::string module = dir.Write("song.s3m", s3m::Write(ShortSong(4, 2, 4)));
  const ToolRun run = Modplay({module, "--quiet"}, "", noSoundCard);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(run.output.empty()) << run.output;
  EXPECT_EQ(Count(run.errors, "no sound output"), 1u) << run.errors;
}

}  // namespace

namespace {

// Through ALSA on a machine without a card, ALSA prints its own complaints
// on standard error; modplay keeps them back unless --verbose asks for them.
TEST(ModplayLive, TheAudioBackEndsOwnLinesNeedVerbose) {
  TempDir dir;
  const std::string module = dir.Write("song.s3m", s3m::Write(ShortSong(4, 2, 4)));
  const ToolRun quiet = Modplay({module, "--quiet"}, "", {"SDL_AUDIODRIVER=alsa"});
  EXPECT_EQ(quiet.status, 0) << quiet.errors;
  EXPECT_EQ(quiet.errors.find("ALSA lib"), std::string::npos) << quiet.errors;
  const ToolRun verbose = Modplay({module, "--quiet", "--verbose"}, "", {"SDL_AUDIODRIVER=alsa"});
  EXPECT_EQ(verbose.status, 0) << verbose.errors;
  if (verbose.errors.find("no sound output could be opened") != std::string::npos) {
    EXPECT_NE(verbose.errors.find("ALSA lib"), std::string::npos) << "ALSA's reasons shown: " << verbose.errors;
  }
}

}  // namespace
