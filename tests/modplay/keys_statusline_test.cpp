// The keys of live play decoded from terminal bytes, and the status line's
// text: channel levels in printable characters, the line cut to the width.
#include <gtest/gtest.h>

#include <string>

#include "tools/modplay/keys.h"
#include "tools/modplay/statusline.h"

namespace {

std::vector<PlayKey> DecodeAll(const std::string& bytes) {
  std::vector<PlayKey> keys;
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t used = 0;
    const PlayKey key = DecodeKey(bytes.data() + at, bytes.size() - at, &used);
    if (used == 0) break;
    if (key != PlayKey::none) keys.push_back(key);
    at += used;
  }
  return keys;
}

TEST(PlayKeys, LettersAndArrowsInBothForms) {
  EXPECT_EQ(DecodeAll("q"), std::vector<PlayKey>{PlayKey::quit});
  EXPECT_EQ(DecodeAll(" np+-=_Q"),
            (std::vector<PlayKey>{PlayKey::pause, PlayKey::nextFile, PlayKey::previousFile, PlayKey::louder,
                                  PlayKey::softer, PlayKey::louder, PlayKey::softer, PlayKey::quit}));
  EXPECT_EQ(DecodeAll("\x1b[C\x1b[D\x1bOC\x1bOD"),
            (std::vector<PlayKey>{PlayKey::nextOrder, PlayKey::previousOrder, PlayKey::nextOrder,
                                  PlayKey::previousOrder}));
}

TEST(PlayKeys, OtherBytesAreSkippedWithoutSwallowingTheNextKey) {
  EXPECT_EQ(DecodeAll("xyz\x1b[Aq"), std::vector<PlayKey>{PlayKey::quit}) << "up arrow does nothing";
  EXPECT_EQ(DecodeAll("\x1bq"), std::vector<PlayKey>{PlayKey::quit}) << "a lone escape";
  EXPECT_EQ(DecodeAll("\x1b["), std::vector<PlayKey>{}) << "a sequence cut short";
  std::size_t used = 7;
  EXPECT_EQ(DecodeKey("", 0, &used), PlayKey::none);
  EXPECT_EQ(used, 0u);
}

TEST(StatusText, ChannelLevelsRunFromSilentToFull) {
  EXPECT_EQ(ChannelBars({0, 1, 8, 32, 63, 64, 200}), " ..=@@@");
  EXPECT_EQ(ChannelBars(std::vector<std::uint8_t>(100, 64)).size(), 64u) << "at most 64 channels shown";
}

TEST(StatusText, ShowsThePlaceAndFitsTheWidth) {
  SongStatus s;
  s.file = "song.s3m";
  s.index = 2;
  s.count = 3;
  s.songLength = 12;
  s.info.position = 4;
  s.info.row = 17;
  s.elapsedMs = 83'400;
  s.duration = 125.25;
  s.volume = 90;
  s.paused = true;
  s.channelVolumes = {64, 0, 32};
  const std::string text = StatusText(s, 200);
  EXPECT_EQ(text, "[2/3] song.s3m  order   4/12  row 17  1:23.4 / 2:05.2  vol  90%  paused  |@ =|");
  EXPECT_EQ(StatusText(s, 20), text.substr(0, 20));
  s.duration = -1;
  EXPECT_NE(StatusText(s, 200).find("/ --  vol"), std::string::npos) << "a song that never ends";
  for (char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
}

TEST(StatusText, FitsTheWidthInCharactersNotBytes) {
  SongStatus s;
  s.file = "\xC3\xA9t\xC3\xA9.xm";  // "été.xm"
  s.count = 1;
  const std::string text = StatusText(s, 200);
  ASSERT_EQ(text.rfind("[0/1] \xC3\xA9t\xC3\xA9.xm  order", 0), 0u) << text;
  EXPECT_EQ(StatusText(s, 7), "[0/1] \xC3\xA9") << "the seventh character is two bytes, kept whole";
  EXPECT_EQ(StatusText(s, 9), "[0/1] \xC3\xA9t\xC3\xA9");
}

}  // namespace
