#include "tools/modplay/keyreader.h"

#include <poll.h>
#include <unistd.h>

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

bool KeyReader::QuitPressed(int ms) {
  if (!active_) {
    Sleep(static_cast<DWORD>(ms));
    return false;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, ms) <= 0) return false;
  char key = 0;
  while (read(STDIN_FILENO, &key, 1) == 1) {
    if (key == 'q' || key == 'Q') return true;
  }
  return false;
}
