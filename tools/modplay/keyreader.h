// The keys of live play: the terminal in single-key mode (no echo, no line
// editing) for as long as a KeyReader lives, restored afterwards. Without a
// terminal on standard input it only waits.
#pragma once

#include <termios.h>

#include <cstddef>

#include "tools/modplay/keys.h"

class KeyReader {
 public:
  KeyReader();
  ~KeyReader();
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

  // The next key pressed; waits at most `ms` for one (none after that).
  PlayKey Next(int ms);

 private:
  termios saved_{};
  bool active_ = false;
  char pending_[64] = {};
  std::size_t pendingSize_ = 0;
};
