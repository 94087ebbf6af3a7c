// IT pitch envelope.
#include "sound/gmpitpitchenv.h"

#include <algorithm>

#include "sound/gmpcmds.h"
#include "sound/gmpitpitch.h"
#include "sound/gmpitvol.h"
#include "sound/module.h"

std::uint32_t gmpItPitchEnvelope(const PlayerHandle* h, PlayerChannel* c,
                                 const ModuleInstrument* ins, std::uint32_t period) {
  if (ins == nullptr || ins->thirdIsFilter || ins->thirdEnvelope == nullptr ||
      ins->thirdEnvelope->numPoints == 0 || !gmpItEnvelopeOn(c, gmpItEnvelopePitch)) {
    return period;
  }
  // 0..64 × 256 around 32 × 256; a half semitone is 32 units of 1/768 octave.
  const int value = gmpEnvelopeStep(ins->thirdEnvelope, &c->pitchEnvelope, c->released != 0);
  if (period == 0) {
    return period;
  }
  const int units = (value - 32 * 256) / 8;
  return std::clamp(gmpItSlidePeriod(period, units), h->minPeriod, h->maxPeriod);
}
