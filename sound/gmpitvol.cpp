// IT volume rules: global volume and channel volume commands, and the
// product of every volume that scales a channel's output.
#include "sound/gmpitvol.h"

#include <algorithm>

#include "sound/errors.h"
#include "sound/gmpitswing.h"
#include "sound/gmpvoices.h"
#include "sound/module.h"

namespace {

// One step of an IT volume slide (D, N, W) on a value held to 0..limit.
// Fine forms (xF with x > 0, Fy with y > 0) act once, on the row's first tick;
// the plain forms on every later tick; y wins over x in a plain slide.
int SlideStep(const PlayerHandle* h, unsigned parameter, int value, int limit) {
  const int x = static_cast<int>((parameter >> 4) & 0x0F);
  const int y = static_cast<int>(parameter & 0x0F);
  int delta = 0;
  if (y == 0x0F && x != 0) {
    delta = h->tick == 0 ? x : 0;
  } else if (x == 0x0F && y != 0) {
    delta = h->tick == 0 ? -y : 0;
  } else if (h->tick != 0) {
    delta = y != 0 ? -y : x;
  }
  return std::clamp(value + delta, 0, limit);
}

// The parameter after a command's own memory: 0 takes the last nonzero one.
unsigned Remembered(std::uint8_t* memory, unsigned raw) {
  if (raw != 0) {
    *memory = static_cast<std::uint8_t>(raw);
  }
  return *memory;
}

}  // namespace

void gmpItEnvelopeSwitch(PlayerChannel* c, unsigned parameter) {
  if (parameter < 7 || parameter > 12) {
    return;
  }
  const unsigned index = parameter - 7;
  const std::uint8_t envelope = static_cast<std::uint8_t>(1u << (index / 2));
  if (index % 2 == 0) {
    c->itVolume.envelopesOff |= envelope;
  } else {
    c->itVolume.envelopesOff &= static_cast<std::uint8_t>(~envelope);
  }
}

std::uint8_t gmpItMemorySlot(const Module* m, std::uint8_t command) {
  switch (command) {
    case cmdVibratoVolumeSlide:
    case cmdTonePortamentoVolumeSlide:
      return cmdVolumeSlide;
    case cmdPortamentoUp:
      return cmdPortamentoDown;
    case cmdTonePortamento:
      return (m->flags & modFlagItCompatibleGxx) ? cmdTonePortamento : cmdPortamentoDown;
    default:
      return command;
  }
}

void gmpItStartChannels(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    const std::uint8_t stored = i < 64 ? h->module->channelVolume[i] : 64;
    PlayerChannel& c = h->channels[i];
    c.itVolume = PlayerItVolume{std::min<std::uint8_t>(stored, 64), 0, 0, 0};
    c.itPanning.surround = i < 64 && ((h->module->surroundChannels >> i) & 1) != 0 ? 1 : 0;
  }
}

std::uint8_t gmpItDeviceVolume(const PlayerHandle* h, const PlayerChannel* c,
                               std::uint32_t noteVolume) {
  const ModuleSample* s = gmpChannelSample(h, c);
  const ModuleInstrument* ins = gmpChannelInstrument(h, c);
  const std::uint64_t sampleGlobal = s != nullptr ? std::min(s->globalVolume, 64u) : 64;
  const std::uint64_t instrumentGlobal = ins != nullptr ? std::min(ins->globalVolume, 128u) : 128;
  // At most 2^16 × 2^6 × 2^7 × 2^6 × 2^7 × 2^6 × 2^6 = 2^54: no overflow.
  const std::uint64_t global = gmpItSwungGlobalVolume(c, static_cast<std::uint32_t>(sampleGlobal * instrumentGlobal));
  const std::uint64_t product = std::uint64_t{std::min(noteVolume, gmpItNoteVolumeFull)} *
                                global * c->itVolume.channelVolume *
                                std::min<std::uint64_t>(h->globalVolume, 128) *
                                c->channelVolume * h->masterVolume;
  constexpr int shift = 10 + 6 + 7 + 6 + 7 + 6 + 6;  // the full scale of each factor
  constexpr std::uint64_t roundUp = (std::uint64_t{1} << shift) - 1;
  return static_cast<std::uint8_t>(std::min<std::uint64_t>((product + roundUp) >> shift, 64));
}

int gmpItSetGlobalVolume(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  h->globalVolume = static_cast<std::uint8_t>(std::min(r, 128u));
  return errOK;
}

int gmpItGlobalVolumeSlide(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const unsigned p = Remembered(&c->itVolume.globalSlideMemory, r);
  h->globalVolume = static_cast<std::uint8_t>(SlideStep(h, p, h->globalVolume, 128));
  return errOK;
}

int gmpItSetChannelVolume(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if (r <= 64) {
    c->itVolume.channelVolume = static_cast<std::uint8_t>(r);
  }
  return errOK;
}

int gmpItChannelVolumeSlide(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const unsigned p = Remembered(&c->itVolume.channelSlideMemory, r);
  c->itVolume.channelVolume = static_cast<std::uint8_t>(SlideStep(h, p, c->itVolume.channelVolume, 64));
  return errOK;
}
