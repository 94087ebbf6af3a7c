// IT note swing and pitch-pan separation (see sound/gmpitswing.h).
#include "sound/gmpitswing.h"

#include <algorithm>

#include "sound/gmpvoices.h"
#include "sound/module.h"

namespace {

constexpr std::uint32_t fullGlobalVolume = 64 * 128;

// IT note number 0..119 of a packed note (octave << 4 | semitone).
int NoteNumber(std::uint8_t note) { return (note >> 4) * 12 + (note & 0x0F); }

}  // namespace

void gmpItSeedRandom(PlayerHandle* h) {
  const Module* m = h->module;
  std::uint32_t hash = 2166136261u;  // FNV-1a
  auto mix = [&hash](std::uint32_t byte) { hash = (hash ^ (byte & 0xFF)) * 16777619u; };
  for (char ch : m->name) mix(static_cast<unsigned char>(ch));
  for (std::uint32_t i = 0; m->orders != nullptr && i < m->songLength; ++i) {
    mix(m->orders[i]);
    mix(m->orders[i] >> 8);
  }
  h->itRandom = hash != 0 ? hash : 1;  // xorshift never leaves 0
}

int gmpItRandom(PlayerHandle* h) {
  std::uint32_t x = h->itRandom != 0 ? h->itRandom : 1;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  h->itRandom = x;
  return static_cast<int>(x >> 24) - 128;
}

void gmpItNoteSwing(PlayerHandle* h, PlayerChannel* c) {
  c->itSwing = PlayerItSwing{0, 0, 0};
  const ModuleInstrument* ins = gmpChannelInstrument(h, c);
  if (ins == nullptr) {
    return;
  }
  if (ins->randomVolume != 0) {
    const ModuleSample* s = gmpChannelSample(h, c);
    const std::uint32_t sampleGlobal = s != nullptr ? std::min(s->globalVolume, 64u) : 64;
    const int global = static_cast<int>(sampleGlobal * std::min(ins->globalVolume, 128u));
    const int rv = std::min<int>(ins->randomVolume, 100);
    // (random × RV / 64 + 1) / 199 spans -RV..+RV % of the volume.
    c->itSwing.volume = static_cast<std::int16_t>((gmpItRandom(h) * rv / 64 + 1) * global / 199);
  }
  if (ins->randomPanning != 0) {
    const int rp = std::min<int>(ins->randomPanning, 64);
    c->itSwing.panning = static_cast<std::int16_t>(gmpItRandom(h) * rp * 4 / 128);
  }
  const int pps = static_cast<std::int8_t>(ins->pitchPanSeparation);
  if (pps != 0 && c->note < noteStop) {
    const int separation = std::clamp(pps, -32, 32);
    const int centre = std::min<int>(ins->pitchPanCenter, 119);
    c->itSwing.pitchPan = static_cast<std::int16_t>((NoteNumber(c->note) - centre) * separation / 2);
  }
}

std::uint32_t gmpItSwungGlobalVolume(const PlayerChannel* c, std::uint32_t sampleTimesInstrument) {
  const int swung = static_cast<int>(sampleTimesInstrument) + c->itSwing.volume;
  return static_cast<std::uint32_t>(std::clamp(swung, 0, static_cast<int>(fullGlobalVolume)));
}
