// The song's place during live play. On a terminal one line is redrawn in
// place: the file (and its number in the list), order, row, time and
// duration, the volume, and one level character per channel. When standard
// output goes to a file or a pipe a whole line comes every few seconds
// instead, so logs get lines rather than carriage returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "sound/sound.h"

struct SongStatus {
  SoundPlayInfo info{};
  unsigned songLength = 0;
  std::string file;            // printable
  unsigned index = 0;          // 1-based place in the list
  unsigned count = 1;          // modules in the list
  DWORD elapsedMs = 0;         // time played (pauses left out)
  double duration = -1;        // one play-through in seconds; < 0 unknown or endless
  unsigned volume = 100;       // percent
  bool paused = false;
  std::vector<std::uint8_t> channelVolumes;  // 0..64 each
};

// The level characters of the channel volumes, one each, printable ASCII.
std::string ChannelBars(const std::vector<std::uint8_t>& volumes);

// The redrawn line, at most `width` characters.
std::string StatusText(const SongStatus& status, std::size_t width);

class StatusLine {
 public:
  explicit StatusLine(bool quiet);
  void Show(const SongStatus& status);
  // Ends the redrawn line, if any.
  void End();

 private:
  static constexpr DWORD lineEveryMs = 5000;
  bool quiet_;
  bool terminal_;
  bool shown_ = false;
  DWORD lastLine_ = 0;
  std::size_t lastWidth_ = 0;
};
