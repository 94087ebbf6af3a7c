#include "tools/modplay/keys.h"

namespace {

PlayKey Letter(char c) {
  switch (c) {
    case 'q': case 'Q': return PlayKey::quit;
    case ' ': return PlayKey::pause;
    case 'n': case 'N': return PlayKey::nextFile;
    case 'p': case 'P': return PlayKey::previousFile;
    case '+': case '=': return PlayKey::louder;
    case '-': case '_': return PlayKey::softer;
    default: return PlayKey::none;
  }
}

}  // namespace

PlayKey DecodeKey(const char* bytes, std::size_t size, std::size_t* used) {
  *used = size > 0 ? 1 : 0;
  if (size == 0) return PlayKey::none;
  if (bytes[0] != '\x1b') return Letter(bytes[0]);
  // An arrow: ESC, then [ or O, then the direction letter.
  if (size < 3 || (bytes[1] != '[' && bytes[1] != 'O')) return PlayKey::none;
  *used = 3;
  if (bytes[2] == 'C') return PlayKey::nextOrder;
  if (bytes[2] == 'D') return PlayKey::previousOrder;
  return PlayKey::none;
}
