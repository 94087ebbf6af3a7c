// In-memory modules for the player tests.
#include "tests/sound/support/module_builder.h"

#include <cstring>

#include "sound/mem.h"

namespace modbuild {

std::vector<std::uint8_t> Pack(const std::vector<Row>& rows) {
  std::vector<std::uint8_t> out(8, 0);
  for (const Row& row : rows) {
    for (const Entry& e : row) {
      std::uint8_t flags = static_cast<std::uint8_t>(e.channel & pattChannelMask);
      if (e.note != noteNone || e.instrument != instNone) flags |= pattNoteInst;
      if (e.hasVolume || e.volume != volumeNone) flags |= pattVolume;
      if (e.command != 0) flags |= pattCommand;
      if ((flags & ~pattChannelMask) == 0) continue;
      out.push_back(flags);
      if (flags & pattNoteInst) {
        out.push_back(e.note);
        out.push_back(e.instrument);
      }
      if (flags & pattVolume) out.push_back(e.volume);
      if (flags & pattCommand) {
        out.push_back(e.command);
        out.push_back(e.parameter);
      }
    }
    out.push_back(0);
  }
  const auto length = static_cast<std::uint32_t>(out.size());
  const auto count = static_cast<std::uint32_t>(rows.size());
  std::memcpy(out.data(), &length, 4);
  std::memcpy(out.data() + 4, &count, 4);
  return out;
}

Module* Build(const ModuleSpec& layout) {
  Module* m = nullptr;
  memAllocArray(1, &m);
  m->kind = layout.kind;
  std::strcpy(m->name, "built");
  m->songLength = static_cast<std::uint32_t>(layout.orders.size());
  m->restartPosition = layout.restart;
  m->numChannels = layout.channels;
  const bool it = layout.kind == modKindIT;
  m->globalVolume = layout.globalVolume.value_or(it ? 128 : 64);
  for (std::size_t c = 0; c < 64; ++c) {
    m->channelVolume[c] = c < layout.channelVolumes.size() ? layout.channelVolumes[c] : 64;
  }
  m->speed = layout.speed;
  m->tempo = layout.tempo;
  m->flags = layout.flags;
  m->surroundChannels = layout.surroundChannels;

  const std::size_t panCount = layout.kind == modKindIT ? 64 : 32;
  memAllocArray(panCount, &m->panning);
  for (std::size_t c = 0; c < panCount; ++c) {
    m->panning[c] = c < layout.panning.size()     ? layout.panning[c]
                    : layout.kind == modKindXM    ? 128
                    : layout.kind == modKindIT    ? 32
                                                : 64;
  }
  memAllocArray(layout.orders.size(), &m->orders);
  std::memcpy(m->orders, layout.orders.data(), layout.orders.size() * 2);

  m->numPatterns = static_cast<std::uint32_t>(layout.patterns.size());
  memAllocArray(layout.patterns.size(), &m->patterns);
  for (std::size_t p = 0; p < layout.patterns.size(); ++p) {
    std::vector<std::uint8_t> block = Pack(layout.patterns[p].rows);
    memAlloc(block.size(), reinterpret_cast<void**>(&m->patterns[p]));
    std::memcpy(m->patterns[p], block.data(), block.size());
  }

  m->numSamples = static_cast<std::uint32_t>(layout.samples.size());
  memAllocArray(layout.samples.size(), &m->samples);
  for (std::size_t i = 0; i < layout.samples.size(); ++i) {
    const SampleSpec& s = layout.samples[i];
    ModuleSample* smp = nullptr;
    memAllocArray(1, &smp);
    smp->sdHandle = static_cast<unsigned>(i + 1);
    smp->length = s.length;
    smp->sampleType = s.sampleType;
    smp->volume = s.volume;
    smp->globalVolume = s.globalVolume;
    smp->panning = s.panning;
    smp->basePitch = s.basePitch;
    smp->fineTune = s.fineTune;
    smp->vibSpeed = s.vibSpeed;
    smp->vibDepth = s.vibDepth;
    smp->vibRate = s.vibRate;
    smp->vibType = s.vibType;
    if (s.loop) {
      smp->loopMode = loopModeSingle;
      smp->loopType = loopTypeForward;
      smp->loopEnd = s.length;
    }
    m->samples[i] = smp;
  }

  std::vector<InstrumentSpec> instruments = layout.instruments;
  if (instruments.empty()) {
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
      InstrumentSpec ins;
      ins.samples = {static_cast<int>(i)};
      instruments.push_back(ins);
    }
  }
  m->numInstruments = static_cast<std::uint32_t>(instruments.size());
  memAllocArray(instruments.size(), &m->instruments);
  for (std::size_t i = 0; i < instruments.size(); ++i) {
    const InstrumentSpec& spec_i = instruments[i];
    ModuleInstrument* ins = nullptr;
    ModuleAllocInstrument(static_cast<std::uint32_t>(spec_i.samples.size()), &ins);
    for (std::size_t s = 0; s < spec_i.samples.size(); ++s) {
      ins->samples[s] = m->samples[spec_i.samples[s]];
    }
    ins->used = spec_i.samples.empty() ? 0 : 1;
    if (!spec_i.noteMap.empty()) {
      memAlloc(spec_i.noteMap.size(), reinterpret_cast<void**>(&ins->noteMap));
      std::memcpy(ins->noteMap, spec_i.noteMap.data(), spec_i.noteMap.size());
    }
    if (spec_i.volumeEnvelope) {
      memAllocArray(1, &ins->volEnvelope);
      *ins->volEnvelope = *spec_i.volumeEnvelope;
    }
    if (spec_i.panningEnvelope) {
      memAllocArray(1, &ins->panEnvelope);
      *ins->panEnvelope = *spec_i.panningEnvelope;
    }
    ins->thirdIsFilter = spec_i.thirdIsFilter ? 1 : 0;
    if (spec_i.thirdEnvelope) {
      memAllocArray(1, &ins->thirdEnvelope);
      *ins->thirdEnvelope = *spec_i.thirdEnvelope;
    }
    ins->fadeOut = spec_i.fadeOut;
    ins->vibType = spec_i.vibType;
    ins->vibSweep = spec_i.vibSweep;
    ins->vibDepth = spec_i.vibDepth;
    ins->vibRate = spec_i.vibRate;
    ins->defaultPanning = spec_i.defaultPanning;
    ins->newNoteAction = spec_i.newNoteAction;
    ins->dupCheckType = spec_i.dupCheckType;
    ins->dupCheckAction = spec_i.dupCheckAction;
    ins->globalVolume = spec_i.globalVolume.value_or(it ? 128 : 64);
    ins->randomVolume = spec_i.randomVolume;
    ins->randomPanning = spec_i.randomPanning;
    ins->pitchPanSeparation = spec_i.pitchPanSeparation;
    ins->pitchPanCenter = spec_i.pitchPanCenter;
    m->instruments[i] = ins;
  }
  return m;
}

ModuleEnvelope Envelope(std::vector<std::pair<int, int>> points, int sustain, int loopStart,
                        int loopEnd) {
  ModuleEnvelope env{};
  env.numPoints = static_cast<std::uint8_t>(points.size());
  env.sustain = static_cast<std::uint8_t>(sustain);
  env.loopStart = static_cast<std::uint8_t>(loopStart);
  env.loopEnd = static_cast<std::uint8_t>(loopEnd);
  env.sustainLoopStart = 0xFF;
  env.sustainLoopEnd = 0xFF;
  for (std::size_t i = 0; i < points.size() && i < envelopeMaxPoints; ++i) {
    env.points[i][0] = static_cast<std::uint16_t>(points[i].first);
    env.points[i][1] = static_cast<std::uint16_t>(points[i].second);
  }
  return env;
}

}  // namespace modbuild
