// IT pitch rules: linear slides, vibrato, tone portamento and the slide
// memory of E, F and G.
#include "sound/gmpitpitch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sound/errors.h"
#include "sound/gmpitvolcol.h"
#include "sound/gmpwaves.h"
#include "sound/module.h"

namespace {

unsigned Lo(unsigned v) { return v & 0x0F; }

void SetBothPeriods(const PlayerHandle* h, PlayerChannel* c, std::int64_t q) {
  c->period = c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
}

// magnitude × depth >> shift with the wave's sign, so both halves of the
// cycle round alike.
std::int64_t Scaled(int wave, unsigned depth, unsigned shift) {
  const std::int64_t magnitude = (std::int64_t{std::abs(wave)} * depth) >> shift;
  return wave < 0 ? -magnitude : magnitude;
}

}  // namespace

bool gmpItLinear(const Module* m) {
  return m->kind == modKindIT && (m->flags & modFlagLinear) != 0;
}

bool gmpItOldEffects(const Module* m) {
  return m->kind == modKindIT && (m->flags & modFlagItOldEffects) != 0;
}

std::uint32_t gmpItSlidePeriod(std::uint32_t period, std::int64_t units) {
  const double q = std::nearbyint(period * std::exp2(static_cast<double>(-units) / 768.0));
  return static_cast<std::uint32_t>(std::clamp(q, 0.0, 4294967295.0));
}

void gmpItLinearPortamento(PlayerHandle* h, PlayerChannel* c, unsigned p, int sign) {
  std::int64_t units = 0;
  if (p < 0xE0) {
    if (h->tick >= 1) units = std::int64_t{p} * 4;
  } else if (h->tick == 0) {
    units = p < 0xF0 ? Lo(p) : Lo(p) * 4;
  }
  if (units != 0 && c->period != 0) {
    SetBothPeriods(h, c, gmpItSlidePeriod(c->period, -sign * units));
  }
}

void gmpItTonePortamentoStep(PlayerHandle* h, PlayerChannel* c) {
  const std::int64_t period = c->period;
  const std::int64_t target = c->targetPeriod;
  const std::int64_t speed = std::int64_t{c->portamentoSpeed} * 4;
  std::int64_t q;
  if (gmpItLinear(h->module)) {
    q = period > target ? std::max<std::int64_t>(gmpItSlidePeriod(c->period, speed), target)
                        : std::min<std::int64_t>(gmpItSlidePeriod(c->period, -speed), target);
  } else {
    q = period > target ? std::max(period - speed, target) : std::min(period + speed, target);
  }
  SetBothPeriods(h, c, q);
}

void gmpItTonePortamentoSpeed(const PlayerHandle* h, PlayerChannel* c, unsigned r) {
  if (h->module->flags & modFlagItCompatibleGxx) {
    if (r != 0) c->portamentoSpeed = static_cast<std::uint8_t>(r);
    return;
  }
  if (r != 0) c->itSlideMemory = static_cast<std::uint8_t>(r);
  c->portamentoSpeed = c->itSlideMemory;
}

void gmpItSlideMemory(PlayerChannel* c, unsigned p) {
  if (p != 0) {
    c->itSlideMemory = static_cast<std::uint8_t>(p);
  }
}

void gmpItPitchSlide(PlayerHandle* h, PlayerChannel* c, unsigned p, int sign) {
  if (c->period == 0) {
    return;
  }
  const std::int64_t amount = std::int64_t{p} * 4;
  if (gmpItLinear(h->module)) {
    SetBothPeriods(h, c, gmpItSlidePeriod(c->period, -sign * amount));
  } else {
    SetBothPeriods(h, c, std::int64_t{c->period} + sign * amount);
  }
}

void gmpItVibratoStep(PlayerHandle* h, PlayerChannel* c, bool fine) {
  const int wave = gmpWaveValue(h, c->vibratoWaveform, c->vibratoPosition);
  const unsigned doubled = gmpItOldEffects(h->module) ? 1 : 0;
  std::int64_t q;
  if (gmpItLinear(h->module)) {
    // Wave ±255 is IT's ±64 × 4; H's depth × 4 against >> 6 leaves >> 6.
    const std::int64_t units = Scaled(wave, c->vibratoDepth, (fine ? 8u : 6u) - doubled);
    q = gmpItSlidePeriod(c->period, -units);
  } else {
    q = std::int64_t{c->period} + Scaled(wave, c->vibratoDepth, (fine ? 7u : 5u) - doubled);
  }
  c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
  c->vibratoPosition = static_cast<std::uint8_t>(c->vibratoPosition + c->vibratoSpeed);
}

bool gmpItVibratoOnFirstTick(const PlayerHandle* h) { return !gmpItOldEffects(h->module); }

std::uint32_t gmpItSampleOffset(const Module* m, const ModuleSample* s, std::uint32_t offset) {
  const std::uint32_t frames = s->sampleType == smp16bitMono ? s->length / 2 : s->length;
  if (offset < frames || gmpItOldEffects(m)) {
    return offset;
  }
  return 0;
}

int gmpItSetHighOffset(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  c->parameterMemory[cmdHighOffset] = static_cast<std::uint8_t>(r & 0x0F);
  return errOK;
}

std::uint32_t gmpItHighOffset(const PlayerChannel* c) {
  return std::uint32_t{c->parameterMemory[cmdHighOffset]} << 16;
}

bool gmpItVibratoActed(const PlayerHandle* h, const PlayerChannel* c) {
  if (h->module->kind != modKindIT || !gmpItVibratoOnFirstTick(h)) {
    return false;
  }
  if (!(c->flags & gmpFlagCommand)) {
    return gmpItVolumeVibrato(h, c);
  }
  return c->command == cmdVibrato || c->command == cmdVibratoVolumeSlide ||
         c->command == cmdFineVibrato || gmpItVolumeVibrato(h, c);
}
