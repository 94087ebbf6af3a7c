// The IT volume column's effects.
#include "sound/gmpitvolcol.h"

#include <algorithm>
#include <array>

#include "sound/errors.h"
#include "sound/gmpcmds.h"
#include "sound/gmpitpitch.h"
#include "sound/gmpwaves.h"
#include "sound/module.h"

namespace {

// g's speeds, indexed by its digit.
constexpr std::array<std::uint8_t, 10> glideSpeeds = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

// A volume-column effect: the first byte of its range and its digit 0..9;
// first 0 for bytes that are none of the ten-value effects.
struct ColumnEffect {
  unsigned first;
  unsigned digit;
};

ColumnEffect Decode(unsigned v) {
  for (unsigned first : {itVolFineUp, itVolFineDown, itVolSlideUp, itVolSlideDown, itVolPitchDown,
                         itVolPitchUp, itVolGlide, itVolVibrato}) {
    if (v >= first && v < first + 10) return {first, v - first};
  }
  return {0, 0};
}

bool InColumn(const PlayerHandle* h, const PlayerChannel* c) {
  return h->module->kind == modKindIT && (c->flags & gmpFlagVolume) && c->volumeByte > 64;
}

void SetVolume(const PlayerHandle* h, PlayerChannel* c, int v) {
  c->volume = c->effectiveVolume =
      static_cast<std::uint8_t>(std::clamp(v, 0, static_cast<int>(h->maxVolume)));
}

// a, b, c and d share one memory of their own: a digit 0 repeats the last.
int VolumeAmount(PlayerChannel* c, unsigned digit) {
  if (digit != 0) c->itVolumeMemory = static_cast<std::uint8_t>(digit);
  return c->itVolumeMemory;
}

// e and f slide like E and F by the digit × 4 and share their memory.
unsigned PitchAmount(const PlayerChannel* c, unsigned digit) {
  return digit != 0 ? digit * 4 : c->itSlideMemory;
}

void GlideTarget(PlayerHandle* h, PlayerChannel* c) {
  if ((c->flags & gmpFlagNote) && c->instrument >= 0 && c->sample != 0xFF && c->note < noteStop) {
    const std::uint32_t target = gmpChannelNotePeriod(h, c, c->note);
    if (target != 0) {
      c->targetPeriod = std::clamp(target, h->minPeriod, h->maxPeriod);
      c->flags &= static_cast<std::uint8_t>(~gmpFlagNote);
    }
  }
}

void GlideStep(PlayerHandle* h, PlayerChannel* c) {
  if (c->targetPeriod != 0 && c->period != 0 && c->period != c->targetPeriod) {
    gmpItTonePortamentoStep(h, c);
  }
}

}  // namespace

bool gmpItVolumeGlide(const PlayerHandle* h, const PlayerChannel* c) {
  return InColumn(h, c) && Decode(c->volumeByte).first == itVolGlide;
}

bool gmpItVolumeVibrato(const PlayerHandle* h, const PlayerChannel* c) {
  return InColumn(h, c) && Decode(c->volumeByte).first == itVolVibrato;
}

int gmpItVolumeColumnRow(PlayerHandle* h, PlayerChannel* c) {
  const unsigned v = c->volumeByte;
  if (v >= itVolPanning && v <= itVolPanning + 64) {
    return gmpSetPanningStep(h, c, static_cast<int>(v - itVolPanning));
  }
  const ColumnEffect e = Decode(v);
  switch (e.first) {
    case itVolFineUp: SetVolume(h, c, c->volume + VolumeAmount(c, e.digit)); break;
    case itVolFineDown: SetVolume(h, c, c->volume - VolumeAmount(c, e.digit)); break;
    case itVolSlideUp:
    case itVolSlideDown: VolumeAmount(c, e.digit); break;
    case itVolPitchDown:
    case itVolPitchUp: gmpItSlideMemory(c, e.digit * 4); break;
    case itVolGlide:
      gmpItTonePortamentoSpeed(h, c, glideSpeeds[e.digit]);
      GlideTarget(h, c);
      break;
    case itVolVibrato:
      if (e.digit != 0) c->vibratoDepth = static_cast<std::uint8_t>(e.digit);
      if (gmpItVibratoOnFirstTick(h)) gmpVibratoStep(h, c, false);
      break;
    default: break;
  }
  return errOK;
}

int gmpItVolumeColumnTick(PlayerHandle* h, PlayerChannel* c) {
  const ColumnEffect e = Decode(c->volumeByte);
  switch (e.first) {
    case itVolSlideUp: SetVolume(h, c, c->volume + c->itVolumeMemory); break;
    case itVolSlideDown: SetVolume(h, c, c->volume - c->itVolumeMemory); break;
    case itVolPitchDown: gmpItPitchSlide(h, c, PitchAmount(c, e.digit), 1); break;
    case itVolPitchUp: gmpItPitchSlide(h, c, PitchAmount(c, e.digit), -1); break;
    case itVolGlide: GlideStep(h, c); break;
    case itVolVibrato: gmpVibratoStep(h, c, false); break;
    default: break;
  }
  return errOK;
}
