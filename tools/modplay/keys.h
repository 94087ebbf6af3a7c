// The keys of live play, decoded from the bytes a terminal sends: letters,
// space, and the arrow keys' escape sequences (ESC [ C and ESC O C forms).
#pragma once

#include <cstddef>

enum class PlayKey {
  none,
  quit,           // q
  pause,          // space: pause or go on
  previousOrder,  // left
  nextOrder,      // right
  nextFile,       // n
  previousFile,   // p
  louder,         // + (or =, the same key unshifted)
  softer,         // - (or _)
};

// Decodes the first key in bytes[0..size); *used receives the bytes it took
// (at least 1 when size > 0, so unknown bytes are skipped one at a time).
PlayKey DecodeKey(const char* bytes, std::size_t size, std::size_t* used);
