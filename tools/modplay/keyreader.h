// The keys of live play: the terminal in single-key mode (no echo, no line
// editing) for as long as a KeyReader lives, restored afterwards. Without a
// terminal on standard input it only waits.
#pragma once

#include <termios.h>

class KeyReader {
 public:
  KeyReader();
  ~KeyReader();
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

  // True when q (or Q) was pressed; waits at most `ms` for a key.
  bool QuitPressed(int ms);

 private:
  termios saved_{};
  bool active_ = false;
};
