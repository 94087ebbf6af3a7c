// IT sample auto-vibrato.
#include "sound/gmpitpitchvib.h"

#include <algorithm>

#include "sound/gmpitpitch.h"
#include "sound/gmptables.h"
#include "sound/module.h"

namespace {

enum : unsigned { autoSine = 0, autoRampDown = 1, autoSquare = 2, autoRandom = 3 };

// The random wave: one fixed sequence, so a song renders the same each time.
std::uint32_t randomState = 0x9E3779B9u;
int RandomValue() {
  randomState ^= randomState << 13;
  randomState ^= randomState >> 17;
  randomState ^= randomState << 5;
  return static_cast<int>(randomState & 0x7F) - 64;
}

}  // namespace

int gmpItAutoVibratoWave(unsigned type, unsigned position) {
  const unsigned pos = position & 0xFF;
  switch (type) {
    case autoRampDown: return 64 - static_cast<int>((pos + 1) / 2);
    case autoSquare: return pos < 128 ? 64 : 0;
    case autoRandom: return RandomValue();
    default: return -gmpAutoVibratoSine[pos];  // IT's sine rises first
  }
}

std::uint32_t gmpItAutoVibrato(const PlayerHandle* h, PlayerChannel* c, const ModuleSample* s,
                               std::uint32_t period) {
  if (s == nullptr || s->vibDepth == 0 || s->vibSpeed == 0 || period == 0) {
    return period;
  }
  const std::uint32_t full = std::uint32_t{s->vibDepth} * 256u;
  c->autoVibratoDepth = std::min(full, c->autoVibratoDepth + s->vibRate);
  const int depth = static_cast<int>(c->autoVibratoDepth / 256);
  const int wave = gmpItAutoVibratoWave(s->vibType, c->autoVibratoPosition);
  c->autoVibratoPosition = static_cast<std::uint8_t>(c->autoVibratoPosition + s->vibSpeed);
  const int units = wave * depth / 64;
  const std::uint32_t q = gmpItSlidePeriod(period, units);
  return std::clamp(q, h->minPeriod, h->maxPeriod);
}
