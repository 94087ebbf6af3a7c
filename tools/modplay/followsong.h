// One song of live play followed to its end: the status line redrawn, the
// keys acted on (pause, order jumps, volume, next or previous file, quit),
// the repeats of --loop counted.
#pragma once

#include <string>

#include "tools/modplay/options.h"
#include "tools/modplay/statusline.h"

struct Module;

// What comes after the song.
enum class AfterSong { next, previous, quit, interrupted };

struct FollowedSong {
  unsigned handle = 0;
  const Module* module = nullptr;
  SongStatus status;  // file, index, count and duration filled in
};

// Follows the song until it ends (after options.loop repeats), a key or a
// signal ends it.
AfterSong FollowSong(const ModplayOptions& options, FollowedSong& song);
