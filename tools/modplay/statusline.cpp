#include "tools/modplay/statusline.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tools/modplay/printable.h"

namespace {

// From silent to full volume.
constexpr char levels[] = " .:-=+*#@";
constexpr std::size_t maxBars = 64;

std::string Clock(double seconds) {
  const auto tenths = static_cast<unsigned long>(seconds * 10);
  char text[32];
  std::snprintf(text, sizeof text, "%lu:%02lu.%lu", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

std::size_t TerminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string ChannelBars(const std::vector<std::uint8_t>& volumes) {
  std::string bars;
  const std::size_t top = sizeof levels - 2;
  for (std::size_t i = 0; i < std::min(volumes.size(), maxBars); ++i) {
    const std::size_t v = std::min<std::size_t>(volumes[i], 64);
    bars += levels[(v * top + 63) / 64];
  }
  return bars;
}

std::string StatusText(const SongStatus& s, std::size_t width) {
  char head[160];
  std::snprintf(head, sizeof head, "[%u/%u] ", s.index, s.count);
  char place[200];
  const std::string duration = s.duration >= 0 ? Clock(s.duration) : std::string("--");
  std::snprintf(place, sizeof place, "  order %3u/%u  row %2u  %s / %s  vol %3u%%%s  |", s.info.position,
                s.songLength, s.info.row, Clock(s.elapsedMs / 1000.0).c_str(), duration.c_str(), s.volume,
                s.paused ? "  paused" : "");
  const std::string text = std::string(head) + s.file + place + ChannelBars(s.channelVolumes) + "|";
  return Utf8Prefix(text, width);
}

StatusLine::StatusLine(bool quiet) : quiet_(quiet), terminal_(isatty(STDOUT_FILENO) != 0) {}

void StatusLine::Show(const SongStatus& s) {
  if (quiet_) return;
  const DWORD elapsed = s.elapsedMs;
  if (!terminal_) {
    if (shown_ && elapsed - lastLine_ < lineEveryMs) return;
    std::printf("position %3u/%u  pattern %3u  row %2u  %2u:%02u.%u\n", s.info.position, s.songLength,
                s.info.pattern, s.info.row, elapsed / 60000, elapsed / 1000 % 60, elapsed / 100 % 10);
  } else {
    // One column is left free so the line never wraps.
    const std::string text = StatusText(s, TerminalWidth() - 1);
    const std::size_t width = Utf8Length(text);
    const std::size_t clear = lastWidth_ > width ? lastWidth_ - width : 0;
    std::printf("\r%s%s", text.c_str(), std::string(clear, ' ').c_str());
    lastWidth_ = width;
  }
  std::fflush(stdout);
  shown_ = true;
  lastLine_ = elapsed;
}

void StatusLine::End() {
  if (!quiet_ && terminal_ && shown_) std::printf("\n");
  shown_ = false;
  lastWidth_ = 0;
}
