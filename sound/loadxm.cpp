// XM reader. The file is a header with the order list, the patterns (each a
// small header and mask-packed cells), then the instruments, each followed by
// its sample headers and the delta-coded data of its samples. Patterns are
// converted into the player's packed form; samples are read in a second pass
// once every header is known.
#include "sound/loadxm.h"

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

constexpr std::uint32_t headerBytes = 336;
constexpr std::uint32_t maxChannels = 32;        // five bits in the packed form
constexpr std::uint32_t maxRows = 256;
constexpr std::uint32_t samplesPerInstrument = 16;
constexpr std::uint32_t sampleHeaderBytes = 40;
constexpr std::uint32_t maxSampleLength = 0x7FFFFFEF;

using loader::Le16;
using loader::Le32;
using loader::LoadState;

// E-command sub-commands by the parameter's high nibble; cmdNone = dropped.
constexpr std::array<ModuleCommand, 16> extendedCommands = {
    cmdNone,                 // E0
    cmdFinePortamentoUp,     // E1
    cmdFinePortamentoDown,   // E2
    cmdNone,                 // E3
    cmdNone,                 // E4
    cmdNone,                 // E5
    cmdPatternLoop,          // E6
    cmdNone,                 // E7
    cmdSetPanning4Bit,       // E8
    cmdRetrigger,            // E9
    cmdFineVolumeSlideUp,    // EA
    cmdFineVolumeSlideDown,  // EB
    cmdNoteCut,              // EC
    cmdNoteDelay,            // ED
    cmdPatternDelay,         // EE
    cmdNone,                 // EF
};

// Effect types 0..35 (0..9, then the letters A..Z) to internal commands;
// cmdNone = dropped. ConvertEffect decides the types E, F, K and X by their
// parameter.
constexpr std::array<ModuleCommand, 36> effectCommands = {
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
    cmdNone,                       // E: by the parameter
    cmdNone,                       // F: by the parameter
    cmdSetGlobalVolume,            // G
    cmdGlobalVolumeSlide,          // H
    cmdNone,                       // I
    cmdNone,                       // J
    cmdNone,                       // K: key off, by the note
    cmdNone,                       // L
    cmdNone,                       // M
    cmdNone,                       // N
    cmdNone,                       // O
    cmdPanningSlide,               // P
    cmdNone,                       // Q
    cmdRetriggerVolumeChange,      // R
    cmdNone,                       // S
    cmdNone,                       // T
    cmdNone,                       // U
    cmdNone,                       // V
    cmdSync,                       // W
    cmdNone,                       // X: by the parameter
    cmdNone,                       // Y
    cmdNone,                       // Z
};

// Reads bytes of one stored pattern; a cell cut short by the end of the data
// reads as empty.
struct PackedReader {
  const std::uint8_t* data;
  std::uint32_t size;
  std::uint32_t pos = 0;

  bool AtEnd() const { return pos >= size; }
  std::uint8_t Next() { return pos < size ? data[pos++] : 0; }
};

struct ConvertContext {
  unsigned channels;
  std::uint8_t* used;       // 255 flags, one per possible instrument index
  unsigned* highestInstrument;  // highest index + 1 named so far
};

// Maps one effect to a command and parameter. A key-off effect turns the note
// into a key off instead. Returns the command, cmdNone when dropped.
ModuleCommand ConvertEffect(unsigned type, unsigned param, std::uint8_t* parameter,
                            bool* keyOff) {
  *parameter = static_cast<std::uint8_t>(param);
  if (type == 0 && param == 0) return cmdNone;
  switch (type) {
    case 0xE:
      *parameter = static_cast<std::uint8_t>(param & 0x0F);
      return extendedCommands[param >> 4];
    case 0xF:
      return param < 0x20 ? cmdSetSpeed : cmdSetTempo;
    case 20:  // K: key off
      *keyOff = true;
      return cmdNone;
    case 33:  // X: extra fine portamento
      *parameter = static_cast<std::uint8_t>(param & 0x0F);
      if ((param >> 4) == 1) return cmdExtraFinePortamentoUp;
      if ((param >> 4) == 2) return cmdExtraFinePortamentoDown;
      return cmdNone;
    default:
      return type < effectCommands.size() ? effectCommands[type] : cmdNone;
  }
}

// Converts one stored pattern. work must hold rows × (channels × 6 + 1) + 8
// bytes, which bounds the output: each channel writes at most six bytes per
// row. Returns the converted length.
std::uint32_t ConvertPattern(PackedReader in, unsigned rows, const ConvertContext& ctx,
                             std::uint8_t* work) {
  std::uint32_t out = 8;
  for (unsigned row = 0; row < rows; ++row) {
    for (unsigned ch = 0; ch < ctx.channels; ++ch) {
      if (in.AtEnd()) break;
      unsigned note = 0, instrument = 0, volume = 0, type = 0, param = 0;
      const std::uint8_t first = in.Next();
      if (first & 0x80) {
        if (first & 0x01) note = in.Next();
        if (first & 0x02) instrument = in.Next();
        if (first & 0x04) volume = in.Next();
        if (first & 0x08) type = in.Next();
        if (first & 0x10) param = in.Next();
      } else {
        note = first;
        instrument = in.Next();
        volume = in.Next();
        type = in.Next();
        param = in.Next();
      }

      std::uint8_t noteByte = noteNone;
      if (note >= 1 && note <= 96) {
        noteByte = static_cast<std::uint8_t>((((note - 1) / 12) << 4) | ((note - 1) % 12));
      } else if (note >= 97) {
        noteByte = noteCut;
      }
      std::uint8_t instByte = instNone;
      if (instrument != 0) {
        instByte = static_cast<std::uint8_t>(instrument - 1);
        ctx.used[instByte] = 1;
        if (instrument > *ctx.highestInstrument) *ctx.highestInstrument = instrument;
      }
      // 0x10..0x50 set volume 0..64; higher values are volume-column
      // commands. 0x01..0x0F mean nothing and would read as volumes.
      bool hasVolume = false;
      std::uint8_t volByte = 0;
      if (volume >= 0x10 && volume <= 0x50) {
        hasVolume = true;
        volByte = static_cast<std::uint8_t>(volume - 0x10);
      } else if (volume > 0x50) {
        hasVolume = true;
        volByte = static_cast<std::uint8_t>(volume);
      }
      bool keyOff = false;
      std::uint8_t parameter = 0;
      const ModuleCommand command = ConvertEffect(type, param, &parameter, &keyOff);
      if (keyOff) noteByte = noteCut;

      std::uint8_t flag = static_cast<std::uint8_t>(ch);
      if (noteByte != noteNone || instByte != instNone) flag |= pattNoteInst;
      if (hasVolume) flag |= pattVolume;
      if (command != cmdNone) flag |= pattCommand;
      if (flag == ch) continue;
      work[out++] = flag;
      if (flag & pattNoteInst) {
        work[out++] = noteByte;
        work[out++] = instByte;
      }
      if (flag & pattVolume) work[out++] = volByte;
      if (flag & pattCommand) {
        work[out++] = command;
        work[out++] = parameter;
      }
    }
    work[out++] = 0;
  }
  return out;
}

// Copies an envelope of the instrument header: 12 points at pointsOffset,
// then the count, sustain and loop indices. Indices that name no point are
// dropped so that the player never looks past the points.
int ReadEnvelope(const std::uint8_t* inst, unsigned pointsOffset, unsigned count,
                 unsigned sustain, unsigned loopStart, unsigned loopEnd, unsigned type,
                 ModuleEnvelope** result) {
  ModuleEnvelope* env = nullptr;
  if (int error = memAlloc(sizeof(ModuleEnvelope), reinterpret_cast<void**>(&env)); error != 0) {
    return error;
  }
  const unsigned points = count > 12 ? 12 : count;
  env->numPoints = static_cast<std::uint8_t>(points);
  env->sustain = (type & 2) && sustain < points ? static_cast<std::uint8_t>(sustain) : 0xFF;
  if ((type & 4) && loopStart != loopEnd && loopStart < points && loopEnd < points) {
    env->loopStart = static_cast<std::uint8_t>(loopStart);
    env->loopEnd = static_cast<std::uint8_t>(loopEnd);
  } else {
    env->loopStart = 0xFF;
    env->loopEnd = 0xFF;
  }
  env->sustainLoopStart = 0xFF;
  env->sustainLoopEnd = 0xFF;
  for (unsigned i = 0; i < 12; ++i) {
    env->points[i][0] = Le16(inst + pointsOffset + i * 4);
    env->points[i][1] = Le16(inst + pointsOffset + i * 4 + 2);
  }
  *result = env;
  return errOK;
}

}  // namespace

int gmpLoadXM(const char* fileName, const SoundDevice* device, int addSamples,
              ModuleSampleCallback callback, Module** module) {
  LoadState state;
  if (int error = state.Open(fileName, device, addSamples, module); error != 0) return error;
  const std::uint64_t fileLength = state.fileLength;

  std::array<std::uint8_t, headerBytes> header{};
  if (int error = RawFileRead(state.file, header.data(), headerBytes); error != 0) return error;
  if (std::memcmp(header.data(), "Extended Module: ", 17) != 0 || Le16(&header[58]) < 0x0104) {
    return errInvalidModule;
  }
  // The header's fields up to the order list must lie inside its stated size;
  // a larger size is skipped.
  const std::uint32_t headerSize = Le32(&header[60]);
  if (headerSize < 20) return errInvalidModule;
  const std::uint64_t patternStart = 60ull + headerSize;
  if (patternStart > fileLength) return errEndOfFile;
  if (int error = RawFileSeek(state.file, static_cast<std::int32_t>(patternStart),
                              rfSeekAbsolute);
      error != 0) {
    return error;
  }

  const unsigned channels = Le16(&header[68]);
  if (channels == 0 || channels > maxChannels) return errInvalidModule;
  // 256 order bytes exist; an empty order list has nothing to play.
  std::uint32_t songLength = Le16(&header[64]);
  if (songLength > 256) songLength = 256;
  if (songLength == 0) return errInvalidModule;

  Module* mod = nullptr;
  if (int error = memAlloc(sizeof(Module), reinterpret_cast<void**>(&mod)); error != 0) {
    return error;
  }
  state.module = mod;
  std::memcpy(mod->name, &header[17], 20);
  mod->name[20] = 0;
  mod->kind = modKindXM;
  mod->songLength = songLength;
  const std::uint32_t restart = Le16(&header[66]);
  // A restart beyond the order list would send the player outside it.
  mod->restartPosition = restart < songLength ? restart : 0;
  mod->numChannels = static_cast<std::uint8_t>(channels);
  mod->globalVolume = 64;
  const unsigned speed = Le16(&header[76]);
  const unsigned tempo = Le16(&header[78]);
  mod->speed = static_cast<std::uint8_t>(speed > 255 ? 255 : speed);
  mod->tempo = static_cast<std::uint8_t>(tempo > 255 ? 255 : tempo);
  mod->flags = (Le16(&header[74]) & 1) ? static_cast<std::uint32_t>(modFlagLinear) : 0u;

  if (int error = memAllocArray(32, &mod->panning); error != 0) return error;
  for (int c = 0; c < 32; ++c) mod->panning[c] = 128;

  if (int error = memAllocArray(songLength, &mod->orders); error != 0) return error;
  const std::uint32_t storedPatterns = Le16(&header[70]);
  std::uint32_t numPatterns = storedPatterns;
  for (std::uint32_t i = 0; i < songLength; ++i) {
    mod->orders[i] = header[80 + i];
    if (header[80 + i] + 1u > numPatterns) numPatterns = header[80 + i] + 1u;
  }
  mod->numPatterns = numPatterns;
  if (int error = memAllocArray(numPatterns, &mod->patterns); error != 0) return error;

  // Patterns.
  std::uint8_t used[255] = {};
  unsigned highestInstrument = 0;
  const ConvertContext ctx{channels, used, &highestInstrument};
  const std::uint32_t workSize = maxRows * (channels * 6 + 1) + 8;
  if (int error = memAlloc(workSize, reinterpret_cast<void**>(&state.work)); error != 0) {
    return error;
  }
  if (int error = memAlloc(65536, reinterpret_cast<void**>(&state.buffer)); error != 0) {
    return error;
  }
  std::uint64_t position = patternStart;
  for (std::uint32_t p = 0; p < numPatterns; ++p) {
    if (p >= storedPatterns) {
      if (int error = ModuleAllocEmptyPattern(64, &mod->patterns[p]); error != 0) return error;
      continue;
    }
    std::uint8_t ph[9];
    if (int error = RawFileRead(state.file, ph, sizeof(ph)); error != 0) return error;
    const std::uint32_t headerLength = Le32(ph);
    const unsigned rows = Le16(ph + 5);
    const std::uint32_t packedSize = Le16(ph + 7);
    if (rows == 0 || rows > maxRows) return errInvalidModule;
    position += headerLength > sizeof(ph) ? headerLength : sizeof(ph);
    if (position + packedSize > fileLength) return errEndOfFile;
    if (int error = RawFileSeek(state.file, static_cast<std::int32_t>(position),
                                rfSeekAbsolute);
        error != 0) {
      return error;
    }
    if (packedSize == 0) {
      if (int error = ModuleAllocEmptyPattern(rows, &mod->patterns[p]); error != 0) {
        return error;
      }
      continue;
    }
    if (int error = RawFileRead(state.file, state.buffer, packedSize); error != 0) return error;
    position += packedSize;
    const std::uint32_t length =
        ConvertPattern(PackedReader{state.buffer, packedSize}, rows, ctx, state.work);
    PackedPattern* pattern = nullptr;
    if (int error = memAlloc(length, reinterpret_cast<void**>(&pattern)); error != 0) {
      return error;
    }
    pattern->length = length;
    pattern->rows = rows;
    std::memcpy(PatternRows(pattern), state.work + 8, length - 8);
    mod->patterns[p] = pattern;
  }
  memFree(state.work);
  state.work = nullptr;
  memFree(state.buffer);
  state.buffer = nullptr;

  // Instruments: patterns may name more than the file stores; the extra ones
  // are empty.
  const std::uint32_t storedInstruments = Le16(&header[72]);
  // Each stored instrument takes at least its 29-byte header.
  if (static_cast<std::uint64_t>(storedInstruments) * 29 > fileLength - position) {
    return errEndOfFile;
  }
  const std::uint32_t numInstruments =
      highestInstrument > storedInstruments ? highestInstrument : storedInstruments;
  mod->numInstruments = numInstruments;
  mod->numSamples = numInstruments * samplesPerInstrument;
  if (int error = memAllocArray(numInstruments, &mod->instruments); error != 0) return error;
  if (int error = memAllocArray(mod->numSamples, &mod->samples); error != 0) return error;

  std::uint32_t largest = 0;
  for (std::uint32_t i = 0; i < numInstruments; ++i) {
    std::array<std::uint8_t, 243> inst{};
    unsigned storedSamples = 0;
    const std::uint64_t instStart = position;
    std::uint32_t sampleHeaderSize = sampleHeaderBytes;
    if (i < storedInstruments) {
      if (int error = RawFileRead(state.file, inst.data(), 29); error != 0) return error;
      storedSamples = Le16(&inst[27]);
      std::uint32_t bytesRead = 29;
      if (storedSamples != 0) {
        if (int error = RawFileRead(state.file, inst.data() + 29, 214); error != 0) return error;
        bytesRead = 243;
        const std::uint32_t stated = Le32(&inst[29]);
        if (stated >= sampleHeaderBytes) sampleHeaderSize = stated;
      }
      const std::uint32_t instSize = Le32(&inst[0]);
      position = instStart + (instSize > bytesRead ? instSize : bytesRead);
      if (position > fileLength) return errEndOfFile;
      if (int error = RawFileSeek(state.file, static_cast<std::int32_t>(position), rfSeekAbsolute);
          error != 0) {
        return error;
      }
    }

    // Patterns name instruments up to 255 only: any beyond are never used.
    const bool isUsed = i < std::size(used) && used[i] != 0;
    unsigned kept = 0;
    if (isUsed && storedSamples != 0) {
      unsigned largestEntry = 0;
      for (unsigned n = 0; n < 96; ++n) {
        if (inst[33 + n] > largestEntry) largestEntry = inst[33 + n];
      }
      // Slots the map names beyond the stored samples stay empty: notes
      // mapped there play nothing. The table holds 16 per instrument.
      kept = largestEntry + 1;
      if (kept > samplesPerInstrument) kept = samplesPerInstrument;
    }

    ModuleInstrument* instrument = nullptr;
    if (int error = ModuleAllocInstrument(kept, &instrument); error != 0) return error;
    mod->instruments[i] = instrument;
    std::memcpy(instrument->name, &inst[4], 22);
    instrument->name[22] = 0;
    instrument->globalVolume = 64;
    instrument->used = isUsed ? 1 : 0;
    if (storedSamples != 0) {
      if (kept >= 2) {
        if (int error = memAlloc(96, reinterpret_cast<void**>(&instrument->noteMap)); error != 0) {
          return error;
        }
        std::memcpy(instrument->noteMap, &inst[33], 96);
      }
      if (inst[233] & 1) {
        if (int error = ReadEnvelope(inst.data(), 129, inst[225], inst[227], inst[228], inst[229],
                                     inst[233], &instrument->volEnvelope);
            error != 0) {
          return error;
        }
      }
      if (inst[234] & 1) {
        if (int error = ReadEnvelope(inst.data(), 177, inst[226], inst[230], inst[231], inst[232],
                                     inst[234], &instrument->panEnvelope);
            error != 0) {
          return error;
        }
      }
      instrument->vibType = inst[235];
      instrument->vibSweep = inst[236];
      instrument->vibDepth = inst[237];
      instrument->vibRate = inst[238];
      instrument->fadeOut = Le16(&inst[239]);
    }
    if (storedSamples == 0) continue;

    // Sample headers, then the data of all of the instrument's samples.
    const std::uint64_t dataStart =
        position + static_cast<std::uint64_t>(storedSamples) * sampleHeaderSize;
    if (dataStart > fileLength) return errEndOfFile;
    std::uint64_t dataOffset = dataStart;
    for (unsigned k = 0; k < storedSamples; ++k) {
      std::uint8_t sh[sampleHeaderBytes];
      if (int error = RawFileSeek(state.file,
                                  static_cast<std::int32_t>(position + k * sampleHeaderSize),
                                  rfSeekAbsolute);
          error != 0) {
        return error;
      }
      if (int error = RawFileRead(state.file, sh, sizeof(sh)); error != 0) return error;
      const std::uint32_t length = Le32(sh);
      const std::uint64_t offset = dataOffset;
      dataOffset += length;
      if (k >= kept) continue;

      ModuleSample* sample = nullptr;
      if (int error = memAlloc(sizeof(ModuleSample), reinterpret_cast<void**>(&sample));
          error != 0) {
        return error;
      }
      mod->samples[i * samplesPerInstrument + k] = sample;
      instrument->samples[k] = sample;
      std::memcpy(sample->name, sh + 18, 22);
      sample->name[22] = 0;
      const bool sixteen = (sh[14] & 0x10) != 0;
      // 16-bit lengths and loop points count whole 16-bit values.
      const std::uint32_t mask = sixteen ? ~1u : ~0u;
      sample->length = length & mask;
      sample->fileOffset =
          offset > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(offset);
      const std::uint64_t loopStart = Le32(sh + 4) & mask;
      std::uint64_t loopEnd = loopStart + (Le32(sh + 8) & mask);
      // A loop outside the data would make the mixer read past it.
      if (loopEnd > sample->length) loopEnd = sample->length;
      const unsigned loopBits = sh[14] & 3;
      if ((loopBits == 1 || loopBits == 2) && loopStart < loopEnd) {
        sample->loopMode = loopModeSingle;
        sample->loopType = loopBits == 1 ? loopTypeForward : loopTypePingPong;
        sample->loopStart = static_cast<std::uint32_t>(loopStart);
        sample->loopEnd = static_cast<std::uint32_t>(loopEnd);
      } else {
        sample->loopMode = loopModeNone;
        sample->loopType = loopTypeNone;
        sample->loopStart = 0;
        sample->loopEnd = 0;
      }
      sample->volume = sh[12];
      sample->fineTune = static_cast<std::int8_t>(sh[13]);
      sample->panning = sh[15];
      sample->basePitch = static_cast<std::int8_t>(sh[16]);
      sample->globalVolume = 64;
      sample->sampleType = static_cast<std::uint8_t>(sixteen ? smp16bitMono : smp8bitMono);
      if (sample->length > largest) largest = sample->length;
    }
    position = dataOffset;
    if (position > fileLength && i + 1 < storedInstruments) return errEndOfFile;
    if (position <= fileLength) {
      if (int error = RawFileSeek(state.file, static_cast<std::int32_t>(position), rfSeekAbsolute);
          error != 0) {
        return error;
      }
    }
  }
  if (largest > maxSampleLength) return errInvalidInstrument;
  // A sample cannot be longer than the file that holds it; checking first
  // keeps a lying header from allocating gigabytes.
  if (largest > fileLength) return errEndOfFile;

  // Second pass: the sample data.
  if (addSamples && largest > 0) {
    if (int error = memAlloc(largest, reinterpret_cast<void**>(&state.buffer)); error != 0) {
      return error;
    }
  }
  for (std::uint32_t s = 0; s < mod->numSamples; ++s) {
    ModuleSample* sample = mod->samples[s];
    if (sample == nullptr) continue;
    SampleDescriptor descriptor{};
    if (sample->length == 0) {
      sample->sampleType = smpNone;
    } else {
      if (static_cast<std::uint64_t>(sample->fileOffset) + sample->length > fileLength) {
        return errEndOfFile;
      }
      std::uint8_t* data = state.buffer;
      if (!addSamples) {
        if (int error = memAlloc(sample->length, reinterpret_cast<void**>(&data)); error != 0) {
          return error;
        }
        sample->data = data;
      }
      if (int error = RawFileSeek(state.file, static_cast<std::int32_t>(sample->fileOffset),
                                  rfSeekAbsolute);
          error != 0) {
        return error;
      }
      if (int error = RawFileRead(state.file, data, sample->length); error != 0) return error;
      if (sample->sampleType == smp16bitMono) {
        std::uint16_t value = 0;
        for (std::uint32_t b = 0; b + 1 < sample->length; b += 2) {
          value = static_cast<std::uint16_t>(value + Le16(data + b));
          data[b] = static_cast<std::uint8_t>(value & 0xFF);
          data[b + 1] = static_cast<std::uint8_t>(value >> 8);
        }
      } else {
        std::uint8_t value = 0;
        for (std::uint32_t b = 0; b < sample->length; ++b) {
          value = static_cast<std::uint8_t>(value + data[b]);
          data[b] = static_cast<std::uint8_t>(value ^ 0x80);
        }
      }
      descriptor.sample = data;
      descriptor.placement = sdSmpConv;
      descriptor.sampleType = sample->sampleType;
      descriptor.sampleLength = sample->length;
    }
    if (int error = loader::HandOverSample(state, callback, &descriptor, sample); error != 0) {
      return error;
    }
  }

  return state.Finish(module);
}

namespace {
// The signature's first 16 bytes; the reader itself also wants the space after
// them and a version of at least 1.04.
bool ProbeXM(const std::uint8_t* start) { return std::memcmp(start, "Extended Module:", 16) == 0; }
}  // namespace

const ModuleFormat xmModuleFormat = {modKindXM, "XM", ProbeXM, gmpLoadXM};
