// IT tremolo (see sound/gmpittremolo.h).
#include "sound/gmpittremolo.h"

#include <algorithm>

#include "sound/errors.h"
#include "sound/gmpitpitch.h"
#include "sound/gmpitpitchvib.h"
#include "sound/module.h"

int gmpItTremolo(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if (r & 0x0F) c->tremoloDepth = static_cast<std::uint8_t>(r & 0x0F);
  if (r & 0xF0) c->tremoloSpeed = static_cast<std::uint8_t>(r >> 4);
  return errOK;
}

int gmpItTremoloVolume(const PlayerHandle* h, PlayerChannel* c) {
  const int volume = c->effectiveVolume;
  if (!(c->flags & gmpFlagCommand) || c->command != cmdTremolo) {
    return volume;
  }
  const int wave = gmpItAutoVibratoWave(c->tremoloWaveform & 3, c->tremoloPosition);
  // On IT's 0..256 volume scale: wave × (depth × 4) / 32, rounded toward 0.
  const int delta = wave * static_cast<int>(c->tremoloDepth) * 4 / 32;
  if (h->tick != 0 || !gmpItOldEffects(h->module)) {
    c->tremoloPosition = static_cast<std::uint8_t>(c->tremoloPosition + 4 * c->tremoloSpeed);
  }
  return std::clamp(volume * 4 + delta, 0, 256) / 4;
}
