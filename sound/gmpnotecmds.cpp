// Set fine tune, set envelope position and key off at a tick.
#include "sound/gmpnotecmds.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "sound/errors.h"
#include "sound/module.h"

namespace {

// S3M fine tunes 0..15 as C-4 rates; 8 is the untuned 8363 Hz.
constexpr std::array<std::int32_t, 16> s3mFineTuneRates = {
    7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280,
    8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
};

const ModuleInstrument* Instrument(const PlayerHandle* h, const PlayerChannel* c) {
  const Module* m = h->module;
  if (c->instrument < 0 || static_cast<std::uint32_t>(c->instrument) >= m->numInstruments ||
      m->instruments == nullptr) {
    return nullptr;
  }
  return m->instruments[c->instrument];
}

}  // namespace

int gmpSetFineTune(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const unsigned x = r & 0x0F;
  switch (h->module->kind) {
    case modKindMOD: c->tuning = static_cast<std::int32_t>(x); break;
    case modKindXM: c->tuning = static_cast<std::int32_t>(x * 16) - 128; break;
    case modKindS3M: c->tuning = s3mFineTuneRates[x]; break;
    default: return errOK;
  }
  c->tuningSet = 1;
  // S3M retunes a note already playing (a note on this row starts tuned).
  if (h->module->kind == modKindS3M && !(c->flags & gmpFlagNote) && c->period != 0) {
    const std::uint32_t q = gmpChannelNotePeriod(h, c, c->lastNote);
    if (q != 0) {
      c->period = c->outputPeriod = std::clamp(q, h->minPeriod, h->maxPeriod);
    }
  }
  return errOK;
}

int gmpSetEnvelopePosition(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  c->volumeEnvelope.position = r;
  c->panningEnvelope.position = r;
  return errOK;
}

// As a key-off note: released, and silent at once without a volume envelope.
int gmpKeyOffTick(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (h->tick != (r & 31)) {
    return errOK;
  }
  const ModuleInstrument* ins = Instrument(h, c);
  if (ins == nullptr || ins->volEnvelope == nullptr || ins->volEnvelope->numPoints == 0) {
    c->volume = c->effectiveVolume = 0;
  }
  c->released = 1;
  return errOK;
}
