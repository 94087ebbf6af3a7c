// IT resonant filters in the player (see sound/gmpfilter.h).
#include "sound/gmpfilter.h"

#include "sound/errors.h"
#include "sound/gmpcmds.h"
#include "sound/gmpitvol.h"
#include "sound/gmpvoices.h"
#include "sound/sdevice.h"

namespace {

constexpr std::uint16_t nothingSent = 0xFFFF;  // no device channel told yet

bool IsFilterEnvelope(const ModuleInstrument* ins) {
  return ins != nullptr && ins->thirdIsFilter && ins->thirdEnvelope != nullptr &&
         ins->thirdEnvelope->numPoints > 0;
}

int TurnOff(PlayerChannel* c) {
  PlayerFilter& f = c->filter;
  if (f.sentChannel != c->deviceChannel || f.sentCutoff == sdFilterOff) {
    return errOK;
  }
  f.sentCutoff = sdFilterOff;
  f.sentResonance = 0;
  return gmpDevice()->SetFilter(c->deviceChannel, sdFilterOff, 0);
}

}  // namespace

void gmpFilterStart(PlayerChannel* c) {
  c->filter = PlayerFilter{};
  c->filter.cutoff = 127;
  c->filter.sentChannel = nothingSent;
}

void gmpFilterMacro(PlayerChannel* c, unsigned parameter) {
  if (parameter < 0x80) {
    c->filter.cutoff = static_cast<std::uint8_t>(parameter);
  } else if (parameter < 0x90) {
    c->filter.resonance = static_cast<std::uint8_t>((parameter & 0x0F) * 8);
  }
}

void gmpFilterNoteStart(PlayerHandle* h, PlayerChannel* c) {
  const ModuleInstrument* ins =
      (h->module->flags & modFlagInstrumentMode) && c->instrument >= 0 &&
              static_cast<std::uint32_t>(c->instrument) < h->module->numInstruments
          ? h->module->instruments[c->instrument]
          : nullptr;
  if (ins != nullptr && (ins->filterCutoff & 0x80)) {
    c->filter.cutoff = ins->filterCutoff & 0x7F;
  }
  if (ins != nullptr && (ins->filterResonance & 0x80)) {
    c->filter.resonance = ins->filterResonance & 0x7F;
  }
  if ((c->flags & gmpFlagCommand) && c->command == cmdSync) {
    gmpFilterMacro(c, c->parameter);  // the row's Zxx acts after the note
  }
  c->filter.noteStarted = 1;
}

int gmpFilterUpdate(PlayerHandle*, PlayerChannel* c, const ModuleInstrument* ins) {
  PlayerFilter& f = c->filter;
  unsigned cutoff = 2u * f.cutoff;  // full envelope doubles IT's cutoff
  if (IsFilterEnvelope(ins) && gmpItEnvelopeOn(c, gmpItEnvelopePitch)) {
    // The envelope's 0..64 (× 256) scales the cutoff from 0 to twice over.
    const int value = gmpEnvelopeStep(ins->thirdEnvelope, &f.envelope, c->released != 0);
    cutoff = static_cast<unsigned>(f.cutoff * value / (32 * 256));
  }
  const bool open = cutoff >= sdFilterMaxCutoff && f.resonance == 0;
  if (!open) {
    f.on = 1;
  } else if (f.noteStarted) {
    f.on = 0;
  }
  f.noteStarted = 0;
  const unsigned sendCutoff = !f.on ? sdFilterOff : cutoff > sdFilterMaxCutoff ? sdFilterMaxCutoff : cutoff;
  const std::uint8_t sendResonance = f.on ? f.resonance : 0;
  // A device channel not told yet may carry a filter another voice left on it.
  if (f.sentChannel == c->deviceChannel && f.sentCutoff == sendCutoff &&
      f.sentResonance == sendResonance) {
    return errOK;
  }
  f.sentChannel = c->deviceChannel;
  f.sentCutoff = static_cast<std::uint16_t>(sendCutoff);
  f.sentResonance = sendResonance;
  return gmpDevice()->SetFilter(c->deviceChannel, sendCutoff, sendResonance);
}

int gmpFilterStop(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    if (int e = TurnOff(&h->channels[i]); e != errOK) return e;
  }
  for (std::uint32_t i = 0; h->voices != nullptr && i < h->numVoices; ++i) {
    if (int e = TurnOff(&h->voices[i].state); e != errOK) return e;
  }
  return errOK;
}
