#include "tools/modplay/keyreader.h"

#include <poll.h>
#include <unistd.h>

#include <cstring>

#include "platform/win32/win32.h"

KeyReader::KeyReader() {
  if (isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
}

KeyReader::~KeyReader() {
  if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

PlayKey KeyReader::Next(int ms) {
  if (!active_) {
    Sleep(static_cast<DWORD>(ms));
    return PlayKey::none;
  }
  if (pendingSize_ == 0) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, ms) <= 0) return PlayKey::none;
    const ssize_t got = read(STDIN_FILENO, pending_, sizeof pending_);
    if (got <= 0) {
      Sleep(static_cast<DWORD>(ms));  // a terminal hung up: no spinning on it
      return PlayKey::none;
    }
    pendingSize_ = static_cast<std::size_t>(got);
  }
  std::size_t used = 0;
  const PlayKey key = DecodeKey(pending_, pendingSize_, &used);
  pendingSize_ -= used;
  std::memmove(pending_, pending_ + used, pendingSize_);
  return key;
}
