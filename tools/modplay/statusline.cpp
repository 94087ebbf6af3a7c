#include "tools/modplay/statusline.h"

#include <unistd.h>

#include <cstdio>

StatusLine::StatusLine(bool quiet) : quiet_(quiet), terminal_(isatty(STDOUT_FILENO) != 0) {}

void StatusLine::Show(const SoundPlayInfo& info, unsigned songLength, DWORD elapsed) {
  if (quiet_) return;
  if (!terminal_ && shown_ && elapsed - lastLine_ < lineEveryMs) return;
  std::printf("%sposition %3u/%u  pattern %3u  row %2u  %2u:%02u.%u%s", terminal_ ? "\r" : "", info.position,
              songLength, info.pattern, info.row, elapsed / 60000, elapsed / 1000 % 60, elapsed / 100 % 10,
              terminal_ ? " " : "\n");
  std::fflush(stdout);
  shown_ = true;
  lastLine_ = elapsed;
}

void StatusLine::End() {
  if (!quiet_ && terminal_ && shown_) std::printf("\n");
}
