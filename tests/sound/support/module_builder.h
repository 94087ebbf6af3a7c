// Builds Module records in memory for the player tests, for every module
// kind, with the sound allocator so that ModuleFree releases them.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sound/module.h"

namespace modbuild {

struct Entry {
  unsigned channel = 0;
  std::uint8_t note = noteNone;
  std::uint8_t instrument = instNone;  // 0-based
  std::uint8_t volume = volumeNone;
  bool hasVolume = false;  // set by Vol: an IT column byte may equal volumeNone
  std::uint8_t command = 0;
  std::uint8_t parameter = 0;

  Entry& Note(int octave, int semitone) {
    note = static_cast<std::uint8_t>((octave << 4) | semitone);
    return *this;
  }
  Entry& Raw(std::uint8_t n) {
    note = n;
    return *this;
  }
  Entry& Ins(int i) {
    instrument = static_cast<std::uint8_t>(i);
    return *this;
  }
  Entry& Vol(int v) {
    volume = static_cast<std::uint8_t>(v);
    hasVolume = true;
    return *this;
  }
  Entry& Cmd(ModuleCommand c, int p) {
    command = c;
    parameter = static_cast<std::uint8_t>(p);
    return *this;
  }
};
inline Entry At(unsigned channel) {
  Entry e;
  e.channel = channel;
  return e;
}

using Row = std::vector<Entry>;

struct PatternSpec {
  std::vector<Row> rows = std::vector<Row>(64);
};

struct SampleSpec {
  std::int32_t basePitch = 8363;  // S3M C-4 / IT C-5 rate; XM relative note
  std::int32_t fineTune = 0;
  std::uint32_t volume = 64;
  std::int32_t panning = 128;
  std::uint8_t sampleType = smp8bitMono;
  std::uint32_t length = 1000;
  bool loop = false;  // a forward loop over the whole sample
  std::uint32_t globalVolume = 64;  // IT 0..64
  std::uint8_t vibSpeed = 0, vibDepth = 0, vibRate = 0, vibType = 0;  // IT auto-vibrato
};

struct InstrumentSpec {
  std::vector<int> samples;  // module sample indices
  std::vector<std::uint8_t> noteMap;  // empty: none
  std::optional<ModuleEnvelope> volumeEnvelope;
  std::optional<ModuleEnvelope> panningEnvelope;
  std::optional<ModuleEnvelope> thirdEnvelope;  // IT: pitch, or filter when thirdIsFilter
  bool thirdIsFilter = false;
  std::uint32_t fadeOut = 0;
  std::uint8_t vibType = 0, vibSweep = 0, vibDepth = 0, vibRate = 0;
  std::uint8_t defaultPanning = 0x80;
  std::uint8_t newNoteAction = 0;  // IT: cut, continue, off, fade
  std::uint8_t dupCheckType = 0;   // IT: off, note, sample, instrument
  std::uint8_t dupCheckAction = 0; // IT: cut, off, fade
  std::optional<std::uint32_t> globalVolume;  // default: full (IT 128, others 64)
  std::uint8_t randomVolume = 0, randomPanning = 0;  // IT 0..100, 0..64
  std::uint8_t pitchPanSeparation = 0, pitchPanCenter = 60;  // IT -32..32, note 0..119
};

struct ModuleSpec {
  ModuleKind kind = modKindS3M;
  std::uint8_t channels = 4;
  std::uint8_t speed = 6;
  std::uint8_t tempo = 125;
  std::optional<std::uint8_t> globalVolume;  // default: full (IT 128, others 64)
  std::uint32_t flags = 0;
  std::uint32_t restart = 0;
  std::vector<std::uint16_t> orders = {0};
  std::vector<PatternSpec> patterns = std::vector<PatternSpec>(1);
  std::vector<SampleSpec> samples = std::vector<SampleSpec>(1);
  // Default: instrument i plays sample i.
  std::vector<InstrumentSpec> instruments;
  std::vector<std::int32_t> panning;  // default: 64 (S3M, MOD), 128 (XM), 32 (IT)
  std::vector<std::uint8_t> channelVolumes;  // IT; default: 64
  std::uint64_t surroundChannels = 0;        // IT: bit c, channel c starts in surround
};

// Packs rows into a PackedPattern block (bytes, header included).
std::vector<std::uint8_t> Pack(const std::vector<Row>& rows);

// Builds the module; samples get device handles 1, 2, ... without a device.
Module* Build(const ModuleSpec& layout);

// An envelope from (position, value) points.
ModuleEnvelope Envelope(std::vector<std::pair<int, int>> points, int sustain = 0xFF,
                        int loopStart = 0xFF, int loopEnd = 0xFF);

}  // namespace modbuild
