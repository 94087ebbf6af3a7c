// The song's position during live play: redrawn in place on a terminal; a
// whole line every few seconds when standard output goes to a file or a pipe,
// so logs get lines rather than carriage returns.
#pragma once

#include "platform/win32/win32.h"
#include "sound/sound.h"

class StatusLine {
 public:
  explicit StatusLine(bool quiet);
  void Show(const SoundPlayInfo& info, unsigned songLength, DWORD elapsedMs);
  // Ends the redrawn line, if any.
  void End();

 private:
  static constexpr DWORD lineEveryMs = 5000;
  bool quiet_;
  bool terminal_;
  bool shown_ = false;
  DWORD lastLine_ = 0;
};
