// MOD reader: 31 sample headers, a 128-entry order list, patterns of 64 rows
// of 4-byte cells (period, instrument, effect, parameter), then the signed
// 8-bit sample data. Periods are searched in a six-octave table to get note
// bytes back; samples become unsigned 8-bit data with the sample-swapping loop
// modes 4 and 5.
#include "sound/loadmod.h"

#include <array>
#include <cstring>

#include "sound/errors.h"
#include "sound/loadcommon.h"
#include "sound/loadformats.h"
#include "sound/loads3m.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"

namespace {

constexpr std::uint32_t headerSize = 1084;
constexpr int sampleCount = 31;
constexpr int rowsPerPattern = 64;
constexpr std::uint32_t maxSampleLength = 0x7FFFFFEF;

// Six octaves of the standard periods, highest period first. A stored period
// is matched to the first entry not greater than it.
constexpr std::array<std::uint16_t, 72> periodTable = {
    1712, 1616, 1525, 1440, 1357, 1281, 1209, 1141, 1077, 1017, 961, 907,
    856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480, 453,
    428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240, 226,
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113,
    107,  101,  95,   90,   85,   80,   75,   71,   67,   63,   60,  56,
    53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,  28};

// Effects 0..D to internal commands; 8, E and F are decided by the parameter.
constexpr std::array<ModuleCommand, 14> effectCommands = {
    cmdArpeggio,                   // 0
    cmdPortamentoUp,               // 1
    cmdPortamentoDown,             // 2
    cmdTonePortamento,             // 3
    cmdVibrato,                    // 4
    cmdTonePortamentoVolumeSlide,  // 5
    cmdVibratoVolumeSlide,         // 6
    cmdTremolo,                    // 7
    cmdSetPanning,                 // 8
    cmdSampleOffset,               // 9
    cmdVolumeSlide,                // A
    cmdPositionJump,               // B
    cmdSetVolume,                  // C
    cmdPatternBreak,               // D
};

// E-command sub-commands by the parameter's high nibble; cmdNone = dropped.
constexpr std::array<ModuleCommand, 16> extendedCommands = {
    cmdNone,                 // E0
    cmdFinePortamentoUp,     // E1
    cmdFinePortamentoDown,   // E2
    cmdGlissandoControl,     // E3
    cmdVibratoWaveform,      // E4
    cmdSetFineTune,          // E5
    cmdPatternLoop,          // E6
    cmdTremoloWaveform,      // E7
    cmdSetPanning4Bit,       // E8
    cmdRetrigger,            // E9
    cmdFineVolumeSlideUp,    // EA
    cmdFineVolumeSlideDown,  // EB
    cmdNoteCut,              // EC
    cmdNoteDelay,            // ED
    cmdPatternDelay,         // EE
    cmdNone,                 // EF
};

using loader::LoadState;

std::uint16_t ReadBE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Converts one pattern of channels × 256 bytes into the packed form. Sets the
// extended-octave flag and the used marks as it goes.
int ConvertPattern(const std::uint8_t* cells, unsigned channels, Module* module,
                   bool* used, PackedPattern** result) {
  // Each entry is at most 5 bytes (flag, note, instrument, command,
  // parameter), each row one terminator.
  const std::uint32_t maxLength = rowsPerPattern * (channels * 5 + 1) + 8;
  std::uint8_t* work = nullptr;
  if (int error = memAllocArray(maxLength, &work); error != 0) {
    return error;
  }
  std::uint32_t out = 8;
  int error = errOK;
  for (int row = 0; row < rowsPerPattern && error == errOK; ++row) {
    for (unsigned ch = 0; ch < channels; ++ch) {
      const std::uint8_t* cell = cells + (row * channels + ch) * 4;
      const unsigned period = ReadBE16(cell) & 0x0FFF;
      const unsigned instrument = (cell[0] & 0xF0) | (cell[2] >> 4);
      const unsigned effect = cell[2] & 0x0F;
      const unsigned param = cell[3];

      std::uint8_t note = noteNone;
      if (period != 0) {
        unsigned i = 0;
        while (i < periodTable.size() && periodTable[i] > period) ++i;
        if (i == periodTable.size()) {
          error = errInvalidPattern;
          break;
        }
        const unsigned octave = i / 12;
        note = static_cast<std::uint8_t>((octave << 4) | (i % 12));
        if (octave == 0 || octave > 3) module->flags |= modFlagExtOctaves;
      }
      if (instrument > sampleCount) {
        error = errInvalidPattern;
        break;
      }
      std::uint8_t inst = instNone;
      if (instrument != 0) {
        inst = static_cast<std::uint8_t>(instrument - 1);
        used[inst] = true;
      }

      ModuleCommand command = cmdNone;
      std::uint8_t parameter = static_cast<std::uint8_t>(param);
      if (effect != 0 || param != 0) {
        switch (effect) {
          case 0x8:
            // Only the panning values the player understands: 0..0x80 and
            // 0xA4 (surround).
            if (param <= 0x80 || param == 0xA4) command = cmdSetPanning;
            break;
          case 0xE:
            command = extendedCommands[param >> 4];
            parameter = static_cast<std::uint8_t>(param & 0x0F);
            break;
          case 0xF:
            command = param > 0x20 ? cmdSetTempo : cmdSetSpeed;
            break;
          default:
            command = effectCommands[effect];
            break;
        }
      }

      std::uint8_t flag = static_cast<std::uint8_t>(ch);
      if (note != noteNone || inst != instNone) flag |= pattNoteInst;
      if (command != cmdNone) flag |= pattCommand;
      if (flag == ch) continue;
      work[out++] = flag;
      if (flag & pattNoteInst) {
        work[out++] = note;
        work[out++] = inst;
      }
      if (flag & pattCommand) {
        work[out++] = command;
        work[out++] = parameter;
      }
    }
    work[out++] = 0;
  }
  if (error == errOK) {
    std::uint8_t* block = nullptr;
    error = memAllocArray(out, &block);
    if (error == errOK) {
      auto* pattern = reinterpret_cast<PackedPattern*>(block);
      pattern->length = out;
      pattern->rows = rowsPerPattern;
      std::memcpy(PatternRows(pattern), work + 8, out - 8);
      *result = pattern;
    }
  }
  memFree(work);
  return error;
}

}  // namespace

int gmpModChannelsFromSignature(const std::uint8_t* s) {
  int channels = 0;
  if (std::memcmp(s, "M.K.", 4) == 0 || std::memcmp(s, "M!K!", 4) == 0 ||
      std::memcmp(s, "FLT4", 4) == 0) {
    channels = 4;
  } else if (std::memcmp(s, "OCTA", 4) == 0) {
    channels = 8;
  } else if (std::memcmp(s + 1, "CHN", 3) == 0 && IsDigit(s[0])) {
    channels = s[0] - '0';
  } else if (std::memcmp(s + 2, "CH", 2) == 0 && IsDigit(s[0]) && IsDigit(s[1])) {
    channels = (s[0] - '0') * 10 + (s[1] - '0');
  } else if (std::memcmp(s, "TDZ", 3) == 0 && IsDigit(s[3])) {
    channels = s[3] - '0';
  }
  // The packed form has five bits of channel number.
  if (channels < 1 || channels > 32) return 0;
  return channels;
}

namespace {

// Sample headers: lengths and loops are counted in 16-bit words.
struct SampleHeader {
  char name[23];
  std::uint32_t length;  // bytes
  std::uint8_t fineTune;
  std::uint8_t volume;
  std::uint32_t loopStart;   // bytes
  std::uint32_t loopLength;  // bytes
};

// What the steps of one load share.
struct ModLoad {
  LoadState state;
  std::array<std::uint8_t, headerSize> header{};
  std::array<SampleHeader, sampleCount> samples{};
  bool used[sampleCount] = {};
  std::uint32_t largest = 0;      // longest sample in bytes
  std::uint64_t patternsEnd = 0;  // file offset of the first sample's data
  unsigned channels = 0;
};

// The header: signature, song facts, channel pannings.
int ReadHeader(ModLoad& l) {
  if (int error = RawFileRead(l.state.file, l.header.data(), headerSize); error != 0) {
    return error;
  }
  const int channels = gmpModChannelsFromSignature(l.header.data() + 1080);
  if (channels == 0) return errInvalidModule;
  l.channels = static_cast<unsigned>(channels);

  Module* mod = nullptr;
  if (int error = memAllocArray(1, &mod); error != 0) return error;
  l.state.module = mod;
  std::memcpy(mod->name, l.header.data(), 20);
  mod->name[20] = 0;
  mod->kind = modKindMOD;
  mod->numInstruments = sampleCount;
  mod->numSamples = sampleCount;
  mod->numChannels = static_cast<std::uint8_t>(channels);
  mod->globalVolume = 64;
  mod->speed = 6;
  mod->tempo = 125;
  mod->flags = 0;

  // The order list holds 128 entries; a longer claimed song cannot be played
  // past them, and an empty one has nothing to play.
  std::uint32_t songLength = l.header[950];
  if (songLength > 128) songLength = 128;
  if (songLength == 0) return errInvalidModule;
  mod->songLength = songLength;
  const std::uint32_t restart = l.header[951];
  mod->restartPosition = (restart == 0x7F || restart >= songLength) ? 0 : restart;

  if (int error = memAllocArray(32, &mod->panning); error != 0) return error;
  const int stereoSeparation = gmpGetStereoSeparation();
  for (int c = 0; c < 32; ++c) {
    const bool left = (c % 4) == 0 || (c % 4) == 3;
    mod->panning[c] = left ? 64 - stereoSeparation : 64 + stereoSeparation;
  }
  return errOK;
}

// The order list; every one of its 128 entries counts for the pattern count.
int ReadOrders(ModLoad& l) {
  Module* mod = l.state.module;
  unsigned highestOrder = 0;
  for (int i = 0; i < 128; ++i) {
    if (l.header[952 + i] > highestOrder) highestOrder = l.header[952 + i];
  }
  mod->numPatterns = highestOrder + 1;
  if (int error = memAllocArray(mod->songLength, &mod->orders); error != 0) return error;
  for (std::uint32_t i = 0; i < mod->songLength; ++i) mod->orders[i] = l.header[952 + i];
  return errOK;
}

int ReadSampleHeaders(ModLoad& l) {
  for (int s = 0; s < sampleCount; ++s) {
    const std::uint8_t* h = l.header.data() + 20 + s * 30;
    SampleHeader& sample = l.samples[s];
    std::memcpy(sample.name, h, 22);
    sample.name[22] = 0;
    sample.length = ReadBE16(h + 22) * 2u;
    sample.fineTune = h[24];
    sample.volume = h[25];
    sample.loopStart = ReadBE16(h + 26) * 2u;
    sample.loopLength = ReadBE16(h + 28) * 2u;
    if (sample.length > l.largest) l.largest = sample.length;
  }
  return l.largest > maxSampleLength ? errInvalidInstrument : errOK;
}

int ReadPatterns(ModLoad& l) {
  Module* mod = l.state.module;
  // All patterns must lie in the file before anything is allocated for them.
  const std::uint32_t patternBytes = l.channels * 256;
  l.patternsEnd = headerSize + static_cast<std::uint64_t>(mod->numPatterns) * patternBytes;
  if (l.patternsEnd > l.state.fileLength) return errEndOfFile;

  if (int error = memAllocArray(mod->numPatterns, &mod->patterns); error != 0) return error;
  if (int error = memAllocArray(patternBytes, &l.state.buffer); error != 0) {
    return error;
  }
  for (std::uint32_t p = 0; p < mod->numPatterns; ++p) {
    if (int error = RawFileRead(l.state.file, l.state.buffer, patternBytes); error != 0) {
      return error;
    }
    if (int error = ConvertPattern(l.state.buffer, l.channels, mod, l.used, &mod->patterns[p]);
        error != 0) {
      return error;
    }
  }
  memFree(l.state.buffer);
  l.state.buffer = nullptr;
  return errOK;
}

// The sample's fields and loop; a loop reaching past the data would make the
// mixer read beyond it.
void SetSampleFields(const SampleHeader& h, ModuleSample* sample) {
  std::memcpy(sample->name, h.name, sizeof(h.name));
  sample->length = h.length;
  sample->volume = h.volume;
  // Only the low nibble selects one of the 16 period-table rows.
  sample->fineTune = h.fineTune & 0x0F;
  sample->panning = 0;
  sample->basePitch = 0;
  sample->globalVolume = 64;

  std::uint32_t loopStart = h.loopStart;
  std::uint32_t loopEnd = h.loopStart + h.loopLength;
  if (loopEnd > sample->length) loopEnd = sample->length;
  sample->loopStart = loopStart;
  sample->loopEnd = loopEnd;
  if (loopEnd < 3 || loopEnd <= loopStart) {
    sample->loopType = loopTypeNone;
    sample->loopMode = loopModeSwapNone;
  } else {
    sample->loopType = loopTypeForward;
    sample->loopMode = loopModeSwapLoop;
    if (sample->length > loopEnd) sample->length = loopEnd;
  }
}

// Reads the sample's signed data at position, turns it unsigned and hands it over.
int ReadSampleData(ModLoad& l, std::uint64_t position, ModuleSample* sample) {
  std::uint8_t* data = nullptr;
  if (sample->length > 0) {
    if (position + sample->length > l.state.fileLength) {
      return errEndOfFile;
    }
    if (int error = l.state.SampleDataFor(sample, &data); error != 0) return error;
    if (int error = RawFileSeek(l.state.file, static_cast<std::int32_t>(position),
                                rfSeekAbsolute);
        error != 0) {
      return error;
    }
    if (int error = RawFileRead(l.state.file, data, sample->length); error != 0) return error;
    for (std::uint32_t i = 0; i < sample->length; ++i) data[i] ^= 0x80;
    sample->sampleType = smp8bitMono;
  }
  return loader::HandOverConverted(l.state, data, sample);
}

// One instrument per sample header; only used ones get their sample and data.
int ReadInstrument(ModLoad& l, int s, std::uint64_t position) {
  Module* mod = l.state.module;
  const SampleHeader& h = l.samples[s];
  ModuleInstrument* instrument = nullptr;
  if (int error = ModuleAllocInstrument(l.used[s] ? 1 : 0, &instrument); error != 0) {
    return error;
  }
  mod->instruments[s] = instrument;
  std::memcpy(instrument->name, h.name, sizeof(h.name));
  instrument->globalVolume = 64;
  instrument->used = l.used[s] ? 1 : 0;
  if (!l.used[s]) return errOK;

  ModuleSample* sample = nullptr;
  if (int error = memAllocArray(1, &sample); error != 0) return error;
  mod->samples[s] = sample;
  instrument->samples[0] = sample;
  SetSampleFields(h, sample);
  return ReadSampleData(l, position, sample);
}

int ReadInstruments(ModLoad& l) {
  Module* mod = l.state.module;
  if (int error = memAllocArray(sampleCount, &mod->instruments); error != 0) return error;
  if (int error = memAllocArray(sampleCount, &mod->samples); error != 0) return error;
  if (int error = l.state.AllocateSampleBuffer(l.largest); error != 0) return error;
  std::uint64_t position = l.patternsEnd;
  for (int s = 0; s < sampleCount; ++s) {
    if (int error = ReadInstrument(l, s, position); error != 0) return error;
    position += l.samples[s].length;
  }
  return errOK;
}

}  // namespace

int gmpLoadMOD(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module) {
  ModLoad l;
  if (int error = l.state.Open(fileName, device, addSamples, callback, module); error != 0) return error;
  if (int error = ReadHeader(l); error != 0) return error;
  if (int error = ReadOrders(l); error != 0) return error;
  if (int error = ReadSampleHeaders(l); error != 0) return error;
  if (int error = ReadPatterns(l); error != 0) return error;
  if (int error = ReadInstruments(l); error != 0) return error;
  return l.state.Finish(module);
}

namespace {
// Nothing in a MOD file's first bytes marks it (the signature lies at byte
// 1080), so this record takes every file the others refuse.
bool ProbeMOD(const std::uint8_t*) { return true; }
}  // namespace

const ModuleFormat modModuleFormat = {modKindMOD, "MOD", ProbeMOD, gmpLoadMOD};
