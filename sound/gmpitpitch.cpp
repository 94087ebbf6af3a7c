// IT pitch rules: linear slides, vibrato, tone portamento and the slide
// memory of E, F and G.
#include "sound/gmpitpitch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sound/errors.h"
#include "sound/gmpitpitchvib.h"
#include "sound/gmpitvolcol.h"
#include "sound/module.h"

namespace {

unsigned Lo(unsigned v) { return v & 0x0F; }

void SetBothPeriods(const PlayerHandle* h, PlayerChannel* c, std::int64_t q) {
  c->period = c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
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
  // IT moves the position on before it reads the wave: speed × 4 of its
  // 256 steps a tick.
  c->vibratoPosition = static_cast<std::uint8_t>(c->vibratoPosition + 4 * c->vibratoSpeed);
  const int wave = gmpItAutoVibratoWave(c->vibratoWaveform & 3u, c->vibratoPosition);
  const int depth = fine ? c->vibratoDepth : c->vibratoDepth * 4;
  // Old effects make it twice as deep and turn it round: the pitch falls first.
  const bool old = gmpItOldEffects(h->module);
  const int amount = (old ? -1 : 1) * (wave * depth / (old ? 32 : 64));  // > 0 raises the pitch
  std::int64_t q;
  if (gmpItLinear(h->module)) {
    // IT's slide tables: single 1/768 octave steps up to 15, beyond that
    // steps of 4 (the low two bits are lost).
    const int n = std::abs(amount);
    const int units = n < 16 ? n : n / 4 * 4;
    q = gmpItSlidePeriod(c->period, amount < 0 ? -units : units);
  } else {
    q = std::int64_t{c->period} - amount;
  }
  c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
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
