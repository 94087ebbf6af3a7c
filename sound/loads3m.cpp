// S3M reader. Reads through the raw file layer, allocates through the sound
// allocator, and frees everything it built when any step fails.
#include "sound/loads3m.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sound/errors.h"
#include "sound/loadcommon.h"
#include "sound/loadformats.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"

namespace {

int stereoSeparation = 64;

constexpr std::size_t headerSize = 96;
constexpr std::size_t instrumentSize = 80;
constexpr std::uint32_t maxSampleLength = 0x7FFFFFEF;
constexpr int rowsPerPattern = 64;
constexpr int instrumentUseLimit = 101;  // instruments from 101 on are never marked used

using loader::Le16;
using loader::Le32;

// Command letters 'A'..'Y' (1..25) to internal commands; cmdNone = dropped.
constexpr std::array<ModuleCommand, 26> commandMap = {
    cmdNone,
    cmdSetSpeed,                   // A
    cmdPositionJump,               // B
    cmdPatternBreak,               // C
    cmdVolumeSlide,                // D
    cmdPortamentoDown,             // E
    cmdPortamentoUp,               // F
    cmdTonePortamento,             // G
    cmdVibrato,                    // H
    cmdTremor,                     // I
    cmdArpeggio,                   // J
    cmdVibratoVolumeSlide,         // K
    cmdTonePortamentoVolumeSlide,  // L
    cmdNone,                       // M
    cmdNone,                       // N
    cmdSampleOffset,               // O
    cmdNone,                       // P
    cmdRetriggerVolumeChange,      // Q
    cmdTremolo,                    // R
    cmdNone,                       // S: by the info byte's high nibble
    cmdSetTempo,                   // T
    cmdFineVibrato,                // U
    cmdSetGlobalVolume,            // V
    cmdSync,                       // W
    cmdSetPanning,                 // X
    cmdNone,                       // Y panbrello
};

// Bytes of sample data an instrument record describes. Only sampled
// instruments (type 1) carry sample fields; an AdLib record holds synthesis
// parameters where the length would be, and has no sample here. 16-bit
// samples count their length in samples, two bytes each.
// Where a sample record's data lies: a 24-bit paragraph number, byte 13 its
// high part.
std::uint64_t SampleDataOffset(const std::uint8_t* record) {
  return ((std::uint64_t{record[13]} << 16) | Le16(record + 14)) * 16;
}

std::uint32_t SampleBytes(const std::uint8_t* record) {
  if (record[0] != 1) {
    return 0;
  }
  const std::uint32_t length = Le32(record + 16);
  if (record[31] & 4) {
    return length > 0x7FFFFFFFu ? 0xFFFFFFFFu : length * 2;
  }
  return length;
}

ModuleCommand SubCommand(std::uint8_t info) {
  switch (info >> 4) {
    case 0x1: return cmdGlissandoControl;
    case 0x2: return cmdSetFineTune;
    case 0x3: return cmdVibratoWaveform;
    case 0x4: return cmdTremoloWaveform;
    case 0x8: return cmdSetPanning4Bit;
    case 0xB: return cmdPatternLoop;
    case 0xC: return cmdNoteCut;
    case 0xD: return cmdNoteDelay;
    case 0xE: return cmdPatternDelay;
    default: return cmdNone;
  }
}

std::int32_t FourBitPanning(unsigned v) {
  if (v <= 6) {
    return static_cast<std::int32_t>(v * 8);
  }
  if (v <= 8) {
    return 64;
  }
  return static_cast<std::int32_t>(128 - (15 - v) * 8);
}

// memFree complains about null; the load frees optional blocks freely.
template <typename T>
void FreeBlock(T*& block) {
  if (block != nullptr) {
    memFree(block);
    block = nullptr;
  }
}

// What the S3M load holds beyond the shared state (file, module, pattern
// buffers, sample buffer, callback); released in one place whatever step failed.
struct S3mLoad {
  loader::LoadState state;
  std::array<std::uint8_t, headerSize> header{};
  std::uint8_t* used = nullptr;
  std::uint16_t* instrumentPointers = nullptr;
  std::uint16_t* patternPointers = nullptr;
  std::uint32_t* sampleLengths = nullptr;
  bool unsignedSamples = true;
  std::uint32_t storedPatterns = 0;  // pattern pointers the header lists
  int lastEnabled = -1;              // the last channel the header enables
  std::uint64_t lastDataOffset = 0;  // the sample data lying last in the file

  S3mLoad() = default;
  S3mLoad(const S3mLoad&) = delete;
  S3mLoad& operator=(const S3mLoad&) = delete;
  ~S3mLoad() {
    FreeBlock(used);
    FreeBlock(instrumentPointers);
    FreeBlock(patternPointers);
    FreeBlock(sampleLengths);
  }
};

// Converts one stored pattern (data bytes after its length word) into a
// packed block in s.state.work; *length receives the block's size.
int ConvertPattern(S3mLoad& s, const std::uint8_t* data, std::uint32_t dataLength,
                   int lastEnabled, int* highestChannel, std::uint32_t* length) {
  Module& m = *s.state.module;
  std::uint8_t* out = s.state.work;
  std::uint32_t pos = 8;
  std::uint32_t in = 0;
  for (int row = 0; row < rowsPerPattern; ++row) {
    while (in < dataLength) {
      std::uint8_t what = data[in++];
      if (what == 0) {
        break;
      }
      // Field sizes after the "what" byte; an entry cut off by the end of
      // the stored data is dropped.
      std::uint32_t need = ((what & 0x20) ? 2u : 0u) + ((what & 0x40) ? 1u : 0u) +
                           ((what & 0x80) ? 2u : 0u);
      if (need > dataLength - in) {
        in = dataLength;
        break;
      }
      std::uint8_t entry[6];
      std::uint32_t n = 1;
      std::uint8_t flags = what & pattChannelMask;
      int channel = what & pattChannelMask;
      if (what & 0x20) {
        std::uint8_t note = data[in];
        std::uint8_t inst = data[in + 1];
        in += 2;
        if (!(note < 0x7F || note == noteCut || note == noteNone)) {
          note = noteNone;
        }
        inst = (inst >= 1 && inst <= m.numInstruments) ? static_cast<std::uint8_t>(inst - 1)
                                                         : std::uint8_t{instNone};
        if (inst < instrumentUseLimit && inst < m.numInstruments) {
          s.used[inst] = 1;
        }
        flags |= pattNoteInst;
        entry[n++] = note;
        entry[n++] = inst;
      }
      if (what & 0x40) {
        std::uint8_t volume = std::min<std::uint8_t>(data[in++], 63);
        flags |= pattVolume;
        entry[n++] = volume;
      }
      if (what & 0x80) {
        std::uint8_t letter = data[in];
        std::uint8_t info = data[in + 1];
        in += 2;
        ModuleCommand command = cmdNone;
        if (letter >= 1 && letter <= 25) {
          command = commandMap[letter];
          if (letter == 19) {  // 'S'
            command = SubCommand(info);
            info &= 0x0F;
          }
        }
        if (command != cmdNone) {
          flags |= pattCommand;
          entry[n++] = command;
          entry[n++] = info;
        }
      }
      // A channel counts when its entry held data, even if every part of it
      // was dropped.
      if (what & 0xE0) {
        *highestChannel = std::max(*highestChannel, channel);
      }
      if ((flags & ~pattChannelMask) == 0) {
        continue;
      }
      if (channel > lastEnabled) {
        continue;
      }
      entry[0] = flags;
      // Room for this entry and the row's terminating 0.
      if (pos + n + 1 > s3mPatternWorkMax) {
        return errInvalidPattern;
      }
      std::memcpy(out + pos, entry, n);
      pos += n;
    }
    if (pos + 1 > s3mPatternWorkMax) {
      return errInvalidPattern;
    }
    out[pos++] = 0;
  }
  std::memcpy(out, &pos, 4);
  std::uint32_t rows = rowsPerPattern;
  std::memcpy(out + 4, &rows, 4);
  *length = pos;
  return errOK;
}

// Reads the 96-byte header of the open file into the module's fields.
int ReadHeader(S3mLoad& s) {
  if (int e = memAllocArray(1, &s.state.module); e != errOK) return e;
  if (int e = RawFileRead(s.state.file, s.header.data(), headerSize); e != errOK) return e;
  const std::uint8_t* h = s.header.data();
  if (std::memcmp(h + 44, "SCRM", 4) != 0) {
    return errInvalidModule;
  }

  Module& m = *s.state.module;
  std::memcpy(m.name, h, 28);
  m.name[28] = 0;
  m.kind = modKindS3M;
  m.songLength = Le16(h + 32);
  m.numInstruments = Le16(h + 34);
  m.numSamples = m.numInstruments;
  s.storedPatterns = Le16(h + 36);
  const std::uint16_t headerFlags = Le16(h + 38);
  const std::uint16_t version = Le16(h + 40);
  s.unsignedSamples = Le16(h + 42) != 1;
  m.restartPosition = 0;
  m.globalVolume = h[48];
  m.speed = h[49];
  m.tempo = h[50];
  m.flags = 0;
  if (headerFlags & 0x10) m.flags |= modFlagAmigaLimits;
  if ((headerFlags & 0x40) || version < 0x1320) m.flags |= modFlagFastVolSlides;
  return errOK;
}

// Order list: raw bytes, trailing 255s dropped, widened in place from the
// end so the 16-bit entries can share the buffer.
int ReadOrders(S3mLoad& s) {
  Module& m = *s.state.module;
  if (int e = memAllocArray(std::max<std::uint32_t>(m.songLength, 1), &m.orders); e != errOK) {
    return e;
  }
  auto* raw = reinterpret_cast<std::uint8_t*>(m.orders);
  if (m.songLength != 0) {
    if (int e = RawFileRead(s.state.file, raw, m.songLength); e != errOK) return e;
  }
  while (m.songLength > 0 && raw[m.songLength - 1] == 255) {
    --m.songLength;
  }
  std::uint32_t largestPattern = 0;
  bool anyPattern = false;
  for (std::uint32_t i = m.songLength; i-- > 0;) {
    std::uint8_t o = raw[i];
    std::uint16_t entry = o == 254 ? std::uint16_t{orderSkip} : o == 255 ? std::uint16_t{orderEnd} : o;
    if (o < 254) {
      largestPattern = std::max<std::uint32_t>(largestPattern, o);
      anyPattern = true;
    }
    m.orders[i] = entry;
  }
  // A list of markers only has nothing to play, and the player would search
  // it for a pattern forever.
  if (m.songLength == 0 || !anyPattern) {
    return errInvalidModule;
  }
  m.numPatterns = largestPattern + 1;
  return errOK;
}

// The module's tables and the parapointers to instruments and patterns.
int ReadPointers(S3mLoad& s) {
  Module& m = *s.state.module;
  if (int e = memAllocArray(m.numPatterns, &m.patterns); e != errOK) return e;
  if (int e = memAllocArray(std::max<std::uint32_t>(m.numInstruments, 1), &m.instruments);
      e != errOK) {
    return e;
  }
  if (int e = memAllocArray(std::max<std::uint32_t>(m.numSamples, 1), &m.samples); e != errOK) {
    return e;
  }
  if (int e = memAllocArray(std::max<std::uint32_t>(m.numInstruments, 1), &s.used); e != errOK) {
    return e;
  }
  if (int e = memAllocArray(std::max<std::uint32_t>(m.numInstruments, 1), &s.instrumentPointers);
      e != errOK) {
    return e;
  }
  if (int e = memAllocArray(std::max<std::uint32_t>(s.storedPatterns, 1), &s.patternPointers);
      e != errOK) {
    return e;
  }
  if (int e = memAllocArray(std::max<std::uint32_t>(m.numInstruments, 1), &s.sampleLengths);
      e != errOK) {
    return e;
  }
  std::uint8_t twoBytes[2];
  for (std::uint32_t i = 0; i < m.numInstruments; ++i) {
    if (int e = RawFileRead(s.state.file, twoBytes, 2); e != errOK) return e;
    s.instrumentPointers[i] = Le16(twoBytes);
  }
  for (std::uint32_t i = 0; i < s.storedPatterns; ++i) {
    if (int e = RawFileRead(s.state.file, twoBytes, 2); e != errOK) return e;
    s.patternPointers[i] = Le16(twoBytes);
  }
  return errOK;
}

// Channel panning on the 0..128 scale (64 = centre); notes the last enabled channel.
int ReadChannelPanning(S3mLoad& s) {
  Module& m = *s.state.module;
  const std::uint8_t* h = s.header.data();
  std::array<std::uint8_t, 32> panTable{};
  const bool hasPanTable = h[53] == 0xFC;
  if (hasPanTable) {
    if (int e = RawFileRead(s.state.file, panTable.data(), 32); e != errOK) return e;
  }
  if (int e = memAllocArray(32, &m.panning); e != errOK) return e;
  const int sep = stereoSeparation;
  for (int c = 0; c < 32; ++c) {
    std::uint8_t setting = h[64 + c];
    if (setting >= 16) {
      m.panning[c] = hasPanTable ? 64 : 0;
      continue;
    }
    s.lastEnabled = c;
    m.panning[c] = setting < 8 ? 64 - sep : 64 + sep;
    if (hasPanTable && (panTable[c] & 0x20)) {
      m.panning[c] = FourBitPanning(panTable[c] & 0x0F);
    }
  }
  return errOK;
}

// First pass over the instruments: each sample's size, and the largest.
int MeasureSamples(S3mLoad& s) {
  Module& m = *s.state.module;
  std::uint8_t record[instrumentSize];
  std::uint32_t largest = 0;
  for (std::uint32_t i = 0; i < m.numInstruments; ++i) {
    if (int e = s.state.ReadAt(s.instrumentPointers[i] * 16u, record, instrumentSize); e != errOK) {
      return e;
    }
    s.sampleLengths[i] = SampleBytes(record);
    largest = std::max(largest, s.sampleLengths[i]);
    if (s.sampleLengths[i] > 0) {
      s.lastDataOffset = std::max(s.lastDataOffset, SampleDataOffset(record));
    }
  }
  if (largest > maxSampleLength) {
    return errInvalidInstrument;
  }
  return errOK;
}

int ReadPatterns(S3mLoad& s) {
  Module& m = *s.state.module;
  std::uint8_t twoBytes[2];
  if (int e = memAllocArray(s3mPatternReadMax, &s.state.buffer); e != errOK) {
    return e;
  }
  if (int e = memAllocArray(s3mPatternWorkMax, &s.state.work); e != errOK) {
    return e;
  }
  int highestChannel = -1;
  for (std::uint32_t p = 0; p < m.numPatterns; ++p) {
    std::uint32_t dataLength = 0;
    if (p < s.storedPatterns && s.patternPointers[p] != 0) {
      const std::uint32_t offset = s.patternPointers[p] * 16u;
      if (int e = s.state.ReadAt(offset, twoBytes, 2); e != errOK) return e;
      dataLength = Le16(twoBytes);
      if (dataLength > s3mPatternReadMax) {
        return errInvalidPattern;
      }
      // The stored length counts the length word itself, so reading that many
      // bytes after it runs 2 bytes past the end of a file whose last part is
      // this pattern; those 2 are not required. Anything shorter is truncated.
      const std::uint64_t dataStart = offset + 2ull;
      const std::uint64_t fileLength = s.state.fileLength;
      const std::uint32_t available =
          fileLength > dataStart ? static_cast<std::uint32_t>(fileLength - dataStart) : 0;
      if (available + 2 < dataLength) {
        return errEndOfFile;
      }
      // The rows end after their 64th terminating 0, whatever the stored
      // length says: some files state a length short of their rows (the
      // players they were made with read on), and cutting there loses the
      // last rows' notes and commands. The file's end still bounds the read.
      dataLength = std::min(s3mPatternReadMax, available);
      if (dataLength > 0) {
        if (int e = RawFileRead(s.state.file, s.state.buffer, dataLength); e != errOK) return e;
      }
    }
    std::uint32_t length = 0;
    if (int e = ConvertPattern(s, s.state.buffer, dataLength, s.lastEnabled, &highestChannel, &length);
        e != errOK) {
      return e;
    }
    std::uint8_t* block = nullptr;
    if (int e = memAllocArray(length, &block); e != errOK) return e;
    std::memcpy(block, s.state.work, length);
    m.patterns[p] = reinterpret_cast<PackedPattern*>(block);
  }
  m.numChannels = static_cast<std::uint8_t>(std::min(s.lastEnabled + 1, highestChannel + 1));
  FreeBlock(s.state.buffer);
  FreeBlock(s.state.work);
  FreeBlock(s.patternPointers);
  return errOK;
}

// Sample data must lie inside the file; checked before any buffer is sized
// by a length the file may have made up.
int AllocateSampleBuffer(S3mLoad& s) {
  Module& m = *s.state.module;
  std::uint32_t largestUsed = 0;
  for (std::uint32_t i = 0; i < m.numInstruments; ++i) {
    if (s.used[i]) {
      largestUsed = std::max(largestUsed, s.sampleLengths[i]);
    }
  }
  // No sample can hold more than the file: a lying length takes no buffer.
  if (largestUsed > s.state.fileLength) {
    largestUsed = static_cast<std::uint32_t>(s.state.fileLength);
  }
  return s.state.AllocateSampleBuffer(largestUsed);
}

// The sample of a used instrument: loop, volume, pitch, then its data.
int ReadSample(S3mLoad& s, const std::uint8_t* record, ModuleSample* smp) {
  // 16-bit samples keep lengths and loop points in samples: doubled to bytes.
  const bool sixteenBit = record[0] == 1 && (record[31] & 4);
  const std::uint32_t unit = sixteenBit ? 2 : 1;
  std::uint32_t length = SampleBytes(record);
  std::uint32_t loopStart = std::min(Le32(record + 20), 0x7FFFFFFFu) * unit;
  std::uint32_t loopEnd = std::min(Le32(record + 24), 0x7FFFFFFFu) * unit;
  smp->loopStart = loopStart;
  smp->loopEnd = loopEnd;
  // A loop must lie inside the sample: its end is held to the length and
  // an empty or inverted loop plays unlooped.
  const bool looped = (record[31] & 1) && loopEnd != loopStart &&
                      std::min(loopEnd, length) > loopStart;
  if (looped) {
    loopEnd = std::min(loopEnd, length);
    smp->loopEnd = loopEnd;
    smp->loopMode = loopModeSingle;
    smp->loopType = loopTypeForward;
    length = std::min(length, loopEnd);
  } else {
    smp->loopMode = loopModeNone;
    smp->loopType = loopTypeNone;
  }
  smp->length = length;
  smp->volume = record[28];
  smp->globalVolume = 64;
  smp->panning = 0;
  smp->fineTune = 0;
  smp->basePitch = static_cast<std::int32_t>(Le32(record + 32));

  smp->sampleType = smpNone;
  std::uint8_t* data = nullptr;
  if (length > 0) {
    // Data running past the end of the file fails, but for the sample that
    // lies last in the file and starts inside it, which keeps what is there.
    const std::uint64_t dataOffset = SampleDataOffset(record);
    const bool last = dataOffset == s.lastDataOffset && dataOffset < s.state.fileLength;
    std::uint32_t available = 0;
    if (int e = s.state.SampleBytesInFile(dataOffset, length, last, &available);
        e != errOK) {
      return e;
    }
    if (sixteenBit) available &= ~1u;
    loader::ShortenSample(smp, available, loopModeNone);
    length = smp->length;
  }
  if (length > 0) {
    if (int e = s.state.SampleDataFor(smp, &data); e != errOK) return e;
    if (int e = s.state.ReadAt(SampleDataOffset(record), data, length); e != errOK) return e;
    // The mixer takes 8-bit data unsigned and 16-bit data signed; the
    // header's format word says which the file holds (1 signed, 2 unsigned).
    if (sixteenBit && s.unsignedSamples) {
      for (std::uint32_t k = 1; k < length; k += 2) data[k] ^= 0x80;
    } else if (!sixteenBit && !s.unsignedSamples) {
      for (std::uint32_t k = 0; k < length; ++k) data[k] ^= 0x80;
    }
    smp->sampleType = sixteenBit ? smp16bitMono : smp8bitMono;
  }
  return loader::HandOverConverted(s.state, data, smp);
}

// Second pass: instrument i and, when a pattern uses it, its sample.
int ReadInstrument(S3mLoad& s, std::uint32_t i) {
  Module& m = *s.state.module;
  std::uint8_t record[instrumentSize];
  const std::uint32_t recordOffset = s.instrumentPointers[i] * 16u;
  if (int e = s.state.ReadAt(recordOffset, record, instrumentSize); e != errOK) return e;
  const bool used = s.used[i] != 0;
  ModuleInstrument* ins = nullptr;
  if (int e = ModuleAllocInstrument(used ? 1 : 0, &ins); e != errOK) return e;
  m.instruments[i] = ins;
  std::memcpy(ins->name, record + 48, 28);
  ins->name[28] = 0;
  ins->numSamples = used ? 1 : 0;
  ins->used = used ? 1 : 0;
  ins->globalVolume = 64;
  if (!used) {
    return errOK;
  }
  ModuleSample* smp = nullptr;
  if (int e = memAllocArray(1, &smp); e != errOK) return e;
  m.samples[i] = smp;
  ins->samples[0] = smp;
  std::memcpy(smp->name, ins->name, sizeof smp->name);
  return ReadSample(s, record, smp);
}

int Load(S3mLoad& s) {
  if (int e = ReadHeader(s); e != errOK) return e;
  if (int e = ReadOrders(s); e != errOK) return e;
  if (int e = ReadPointers(s); e != errOK) return e;
  if (int e = ReadChannelPanning(s); e != errOK) return e;
  if (int e = MeasureSamples(s); e != errOK) return e;
  if (int e = ReadPatterns(s); e != errOK) return e;
  if (int e = AllocateSampleBuffer(s); e != errOK) return e;
  for (std::uint32_t i = 0; i < s.state.module->numInstruments; ++i) {
    if (int e = ReadInstrument(s, i); e != errOK) return e;
  }
  return errOK;
}

}  // namespace

void gmpSetStereoSeparation(int separation) {
  stereoSeparation = std::clamp(separation, 0, 64);
}

int gmpGetStereoSeparation() { return stereoSeparation; }

int gmpLoadS3M(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module) {
  S3mLoad s;
  if (int e = s.state.Open(fileName, device, addSamples, callback, module); e != errOK) return e;
  if (int e = Load(s); e != errOK) return e;
  return s.state.Finish(module);
}

namespace {
bool ProbeS3M(const std::uint8_t* start, std::size_t, std::uint64_t) { return std::memcmp(start + 44, "SCRM", 4) == 0; }
}  // namespace

const ModuleFormat s3mModuleFormat = {modKindS3M, "S3M", ProbeS3M, gmpLoadS3M};
