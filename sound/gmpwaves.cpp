// Vibrato and tremolo waveforms, tremolo, tremor, fine vibrato and glissando.
#include "sound/gmpwaves.h"

#include <algorithm>
#include <cstdlib>

#include "sound/errors.h"
#include "sound/gmpitpitch.h"
#include "sound/gmptables.h"
#include "sound/module.h"

namespace {

unsigned Hi(unsigned v) { return (v >> 4) & 0x0F; }
unsigned Lo(unsigned v) { return v & 0x0F; }

enum : unsigned { waveSine = 0, waveRampDown = 1, waveSquare = 2, waveRandom = 3 };

// The random wave: one fixed sequence, so a song renders the same each time.
std::uint32_t randomState = 0x2545F491u;
int RandomValue() {
  randomState ^= randomState << 13;
  randomState ^= randomState >> 17;
  randomState ^= randomState << 5;
  return static_cast<int>(randomState % 511) - 255;
}

// magnitude × depth >> shift with the wave's sign, so both halves of the
// cycle round alike.
int Scaled(int wave, unsigned depth, unsigned shift) {
  const int magnitude = (std::abs(wave) * static_cast<int>(depth)) >> shift;
  return wave < 0 ? -magnitude : magnitude;
}

}  // namespace

int gmpWaveValue(const PlayerHandle* h, unsigned waveform, unsigned position) {
  const unsigned index = position % 32;
  const bool secondHalf = (position & 0x20) != 0;
  unsigned shape = waveform & 3;
  // The MOD and XM trackers play their "random" wave as a square.
  if (shape == waveRandom && (h->module->kind == modKindMOD || h->module->kind == modKindXM)) {
    shape = waveSquare;
  }
  switch (shape) {
    case waveRampDown: {
      // MOD and XM: the period climbs through the cycle (the pitch falls),
      // then jumps. S3M and IT run the other way: the period falls.
      const int step = static_cast<int>(index * 8);
      const int value = secondHalf ? step - 255 : step;
      const bool amiga = h->module->kind == modKindMOD || h->module->kind == modKindXM;
      return amiga ? value : -value;
    }
    case waveSquare:
      return secondHalf ? -255 : 255;
    case waveRandom:
      return RandomValue();
    default:
      return secondHalf ? -gmpVibratoTable[index] : gmpVibratoTable[index];
  }
}

void gmpVibratoStep(PlayerHandle* h, PlayerChannel* c, bool fine) {
  if (h->module->kind == modKindIT) {
    gmpItVibratoStep(h, c, fine);
    return;
  }
  const int wave = gmpWaveValue(h, c->vibratoWaveform, c->vibratoPosition);
  const unsigned shift = 7 - h->slideShift + (fine ? 2 : 0);
  const std::int64_t q = static_cast<std::int64_t>(c->period) + Scaled(wave, c->vibratoDepth, shift);
  c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
  c->vibratoPosition = static_cast<std::uint8_t>(c->vibratoPosition + c->vibratoSpeed);
}

std::uint32_t gmpSemitonePeriod(const PlayerHandle* h, const PlayerChannel* c,
                                std::uint32_t period) {
  std::uint32_t highest = 0;
  for (unsigned octave = 0; octave < 10; ++octave) {
    for (unsigned semitone = 0; semitone < 12; ++semitone) {
      const std::uint32_t q =
          gmpChannelNotePeriod(h, c, static_cast<std::uint8_t>((octave << 4) | semitone));
      if (q == 0) continue;
      if (q <= period) return q;
      highest = q;
    }
  }
  return highest != 0 ? highest : period;
}

// Tremolo on the sounding volume (the channel's volume stays), on the ticks
// after the first; its speed and depth are its own.
int gmpTremolo(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (Lo(r) != 0) c->tremoloDepth = static_cast<std::uint8_t>(Lo(r));
  if (Hi(r) != 0) c->tremoloSpeed = static_cast<std::uint8_t>(Hi(r));
  const int wave = gmpWaveValue(h, c->tremoloWaveform, c->tremoloPosition);
  const int v = c->volume + Scaled(wave, c->tremoloDepth, 6);
  c->effectiveVolume = static_cast<std::uint8_t>(std::clamp(v, 0, static_cast<int>(h->maxVolume)));
  c->tremoloPosition = static_cast<std::uint8_t>(c->tremoloPosition + c->tremoloSpeed);
  return errOK;
}

// Tremor: the sound is on for x + 1 ticks, then off for y + 1, counting on
// across rows.
int gmpTremor(PlayerHandle*, PlayerChannel* c, unsigned p, unsigned) {
  const unsigned on = Hi(p) + 1;
  const unsigned cycle = on + Lo(p) + 1;
  if (c->tremorCount >= cycle) {
    c->tremorCount = 0;
  }
  c->effectiveVolume = c->tremorCount < on ? c->volume : 0;
  ++c->tremorCount;
  return errOK;
}

int gmpFineVibrato(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (Lo(r) != 0) c->vibratoDepth = static_cast<std::uint8_t>(Lo(r));
  if (Hi(r) != 0) c->vibratoSpeed = static_cast<std::uint8_t>(Hi(r));
  gmpVibratoStep(h, c, true);
  return errOK;
}

int gmpSetVibratoWaveform(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  c->vibratoWaveform = static_cast<std::uint8_t>(r & 7);
  return errOK;
}

int gmpSetTremoloWaveform(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  c->tremoloWaveform = static_cast<std::uint8_t>(r & 7);
  return errOK;
}

int gmpSetGlissando(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  c->glissando = Lo(r) != 0 ? 1 : 0;
  return errOK;
}
