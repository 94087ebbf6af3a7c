// XM reader. The file is a header with the order list, the patterns (each a
// small header and mask-packed cells), then the instruments, each followed by
// its sample headers and the delta-coded data of its samples. Files of
// versions 1.02 and 1.03 store the instruments and sample headers first, then
// the patterns, then the data of every sample; 1.02 also has a shorter pattern
// header. Patterns are converted into the player's packed form; samples are
// read in a second pass once every header is known.
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
constexpr unsigned oldestVersion = 0x0102;
// From this version on the patterns come before the instruments.
constexpr unsigned patternsFirstVersion = 0x0104;

using loader::Le16;
using loader::Le32;
using loader::LoadState;

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
    cmdNone,                       // K: by the parameter
    cmdSetEnvelopePosition,        // L
    cmdNone,                       // M
    cmdNone,                       // N
    cmdNone,                       // O
    cmdPanningSlide,               // P
    cmdNone,                       // Q
    cmdRetriggerVolumeChange,      // R
    cmdNone,                       // S
    cmdTremor,                     // T
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
    case 20:  // K: key off, at once for K00, else on tick xx
      if (param != 0) return cmdKeyOff;
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
  if (int error = memAllocArray(1, &env); error != 0) return error;
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

namespace {

// What the steps of one load share.
struct XmLoad {
  LoadState state;
  std::array<std::uint8_t, headerBytes> header{};
  unsigned version = 0;
  unsigned channels = 0;
  std::uint32_t storedPatterns = 0;
  std::uint64_t position = 0;     // the file offset reading continues from
  // Older files: where the next instrument's sample data starts (all sample
  // data follows the patterns there).
  std::uint64_t sampleData = 0;
  std::uint64_t lastDataStart = 0;  // offset of the last sample data in the file
  std::uint8_t used[255] = {};    // instruments the patterns name
  unsigned highestInstrument = 0;
  std::uint32_t largest = 0;      // longest sample in bytes
};

int Seek(XmLoad& l, std::uint64_t position) {
  return RawFileSeek(l.state.file, static_cast<std::int32_t>(position), rfSeekAbsolute);
}

// The signature, the song facts and the channel pannings; leaves the file at
// the first pattern.
int ReadHeader(XmLoad& l) {
  const std::uint8_t* header = l.header.data();
  if (int error = RawFileRead(l.state.file, l.header.data(), headerBytes); error != 0) return error;
  l.version = Le16(&header[58]);
  if (std::memcmp(header, "Extended Module: ", 17) != 0 || l.version < oldestVersion) {
    return errInvalidModule;
  }
  // The header's fields up to the order list must lie inside its stated size;
  // a larger size is skipped.
  const std::uint32_t headerSize = Le32(&header[60]);
  if (headerSize < 20) return errInvalidModule;
  l.position = 60ull + headerSize;
  if (l.position > l.state.fileLength) return errEndOfFile;
  if (int error = Seek(l, l.position); error != 0) return error;

  l.channels = Le16(&header[68]);
  if (l.channels == 0 || l.channels > maxChannels) return errInvalidModule;
  // 256 order bytes exist; an empty order list has nothing to play.
  std::uint32_t songLength = Le16(&header[64]);
  if (songLength > 256) songLength = 256;
  if (songLength == 0) return errInvalidModule;

  Module* mod = nullptr;
  if (int error = memAllocArray(1, &mod); error != 0) return error;
  l.state.module = mod;
  std::memcpy(mod->name, &header[17], 20);
  mod->name[20] = 0;
  mod->kind = modKindXM;
  mod->songLength = songLength;
  const std::uint32_t restart = Le16(&header[66]);
  // A restart beyond the order list would send the player outside it.
  mod->restartPosition = restart < songLength ? restart : 0;
  mod->numChannels = static_cast<std::uint8_t>(l.channels);
  mod->globalVolume = 64;
  const unsigned speed = Le16(&header[76]);
  const unsigned tempo = Le16(&header[78]);
  mod->speed = static_cast<std::uint8_t>(speed > 255 ? 255 : speed);
  mod->tempo = static_cast<std::uint8_t>(tempo > 255 ? 255 : tempo);
  mod->flags = (Le16(&header[74]) & 1) ? static_cast<std::uint32_t>(modFlagLinear) : 0u;

  if (int error = memAllocArray(32, &mod->panning); error != 0) return error;
  for (int c = 0; c < 32; ++c) mod->panning[c] = 128;
  return errOK;
}

// The order list; patterns it names beyond the stored ones are empty.
int ReadOrders(XmLoad& l) {
  Module* mod = l.state.module;
  if (int error = memAllocArray(mod->songLength, &mod->orders); error != 0) return error;
  l.storedPatterns = Le16(&l.header[70]);
  std::uint32_t numPatterns = l.storedPatterns;
  for (std::uint32_t i = 0; i < mod->songLength; ++i) {
    mod->orders[i] = l.header[80 + i];
    if (l.header[80 + i] + 1u > numPatterns) numPatterns = l.header[80 + i] + 1u;
  }
  mod->numPatterns = numPatterns;
  return memAllocArray(numPatterns, &mod->patterns);
}

// One stored pattern: its header, then the packed cells converted. Version
// 1.02 stores the row count less one in a byte, so its header is 8 bytes.
int ReadPattern(XmLoad& l, const ConvertContext& ctx, PackedPattern** result) {
  std::uint8_t ph[9];
  const bool shortHeader = l.version == oldestVersion;
  const std::uint32_t phSize = shortHeader ? 8 : 9;
  if (int error = RawFileRead(l.state.file, ph, phSize); error != 0) return error;
  const std::uint32_t headerLength = Le32(ph);
  const unsigned rows = shortHeader ? ph[5] + 1u : Le16(ph + 5);
  const std::uint32_t packedSize = Le16(ph + phSize - 2);
  if (rows == 0 || rows > maxRows) return errInvalidModule;
  l.position += headerLength > phSize ? headerLength : phSize;
  if (l.position + packedSize > l.state.fileLength) return errEndOfFile;
  if (int error = Seek(l, l.position); error != 0) return error;
  if (packedSize == 0) return ModuleAllocEmptyPattern(rows, result);
  if (int error = RawFileRead(l.state.file, l.state.buffer, packedSize); error != 0) return error;
  l.position += packedSize;
  const std::uint32_t length =
      ConvertPattern(PackedReader{l.state.buffer, packedSize}, rows, ctx, l.state.work);
  std::uint8_t* block = nullptr;
  if (int error = memAllocArray(length, &block); error != 0) return error;
  auto* pattern = reinterpret_cast<PackedPattern*>(block);
  pattern->length = length;
  pattern->rows = rows;
  std::memcpy(PatternRows(pattern), l.state.work + 8, length - 8);
  *result = pattern;
  return errOK;
}

int ReadPatterns(XmLoad& l) {
  Module* mod = l.state.module;
  const ConvertContext ctx{l.channels, l.used, &l.highestInstrument};
  const std::uint32_t workSize = maxRows * (l.channels * 6 + 1) + 8;
  if (int error = memAllocArray(workSize, &l.state.work); error != 0) {
    return error;
  }
  if (int error = memAllocArray(65536, &l.state.buffer); error != 0) {
    return error;
  }
  for (std::uint32_t p = 0; p < mod->numPatterns; ++p) {
    const int error = p >= l.storedPatterns ? ModuleAllocEmptyPattern(64, &mod->patterns[p])
                                            : ReadPattern(l, ctx, &mod->patterns[p]);
    if (error != 0) return error;
  }
  memFree(l.state.work);
  l.state.work = nullptr;
  memFree(l.state.buffer);
  l.state.buffer = nullptr;
  return errOK;
}

// Note map, envelopes, vibrato and fade-out from the instrument's 243 bytes.
int SetInstrumentFields(const std::uint8_t* inst, unsigned kept, ModuleInstrument* instrument) {
  if (kept >= 2) {
    if (int error = memAllocArray(96, &instrument->noteMap); error != 0) {
      return error;
    }
    std::memcpy(instrument->noteMap, &inst[33], 96);
  }
  if (inst[233] & 1) {
    if (int error = ReadEnvelope(inst, 129, inst[225], inst[227], inst[228], inst[229],
                                 inst[233], &instrument->volEnvelope);
        error != 0) {
      return error;
    }
  }
  if (inst[234] & 1) {
    if (int error = ReadEnvelope(inst, 177, inst[226], inst[230], inst[231], inst[232],
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
  return errOK;
}

// A sample's fields from its 40-byte header; its data lies at offset.
void SetSampleFields(const std::uint8_t* sh, std::uint64_t offset, ModuleSample* sample) {
  std::memcpy(sample->name, sh + 18, 22);
  sample->name[22] = 0;
  const bool sixteen = (sh[14] & 0x10) != 0;
  // 16-bit lengths and loop points count whole 16-bit values.
  const std::uint32_t mask = sixteen ? ~1u : ~0u;
  sample->length = Le32(sh) & mask;
  sample->fileOffset = offset > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(offset);
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
}

// The instrument's sample headers (from l.position, headerSize bytes apart);
// the first `kept` become samples. Leaves l.position after their data (after
// the headers in older files, whose data comes after the patterns).
int ReadSampleHeaders(XmLoad& l, std::uint32_t i, unsigned storedSamples,
                      std::uint32_t headerSize, unsigned kept, ModuleInstrument* instrument) {
  Module* mod = l.state.module;
  const std::uint64_t headersEnd =
      l.position + static_cast<std::uint64_t>(storedSamples) * headerSize;
  if (headersEnd > l.state.fileLength) return errEndOfFile;
  const bool patternsFirst = l.version >= patternsFirstVersion;
  std::uint64_t dataOffset = patternsFirst ? headersEnd : l.sampleData;
  for (unsigned k = 0; k < storedSamples; ++k) {
    std::uint8_t sh[sampleHeaderBytes];
    if (int error = Seek(l, l.position + k * headerSize); error != 0) return error;
    if (int error = RawFileRead(l.state.file, sh, sizeof(sh)); error != 0) return error;
    const std::uint64_t offset = dataOffset;
    dataOffset += Le32(sh);
    if (Le32(sh) != 0) l.lastDataStart = offset;
    if (k >= kept) continue;

    ModuleSample* sample = nullptr;
    if (int error = memAllocArray(1, &sample); error != 0) return error;
    mod->samples[i * samplesPerInstrument + k] = sample;
    instrument->samples[k] = sample;
    SetSampleFields(sh, offset, sample);
    if (sample->length > l.largest) l.largest = sample->length;
  }
  l.position = patternsFirst ? dataOffset : headersEnd;
  l.sampleData = dataOffset;
  return errOK;
}

// Sample slots kept for a used instrument: as many as its note map names,
// at most the 16 the table holds. Slots beyond the stored samples stay empty,
// so notes mapped there play nothing.
unsigned KeptSamples(const std::uint8_t* inst) {
  unsigned largestEntry = 0;
  for (unsigned n = 0; n < 96; ++n) {
    if (inst[33 + n] > largestEntry) largestEntry = inst[33 + n];
  }
  const unsigned kept = largestEntry + 1;
  return kept > samplesPerInstrument ? samplesPerInstrument : kept;
}

// A stored instrument's header at l.position: its 29 bytes, and the further
// 214 when it has samples. Leaves l.position (and the file) at its first
// sample header.
int ReadInstrumentHeader(XmLoad& l, std::array<std::uint8_t, 243>& inst, unsigned* storedSamples,
                         std::uint32_t* sampleHeaderSize) {
  const std::uint64_t instStart = l.position;
  if (int error = RawFileRead(l.state.file, inst.data(), 29); error != 0) return error;
  *storedSamples = Le16(&inst[27]);
  *sampleHeaderSize = sampleHeaderBytes;
  std::uint32_t bytesRead = 29;
  if (*storedSamples != 0) {
    if (int error = RawFileRead(l.state.file, inst.data() + 29, 214); error != 0) return error;
    bytesRead = 243;
    const std::uint32_t stated = Le32(&inst[29]);
    if (stated >= sampleHeaderBytes) *sampleHeaderSize = stated;
  }
  const std::uint32_t instSize = Le32(&inst[0]);
  l.position = instStart + (instSize > bytesRead ? instSize : bytesRead);
  if (l.position > l.state.fileLength) return errEndOfFile;
  return Seek(l, l.position);
}

// Older files: steps over the stored instruments and their sample headers to
// the patterns, which come after them.
int SkipInstruments(XmLoad& l) {
  const std::uint32_t storedInstruments = Le16(&l.header[72]);
  for (std::uint32_t i = 0; i < storedInstruments; ++i) {
    std::array<std::uint8_t, 243> inst{};
    unsigned storedSamples = 0;
    std::uint32_t sampleHeaderSize = 0;
    if (int error = ReadInstrumentHeader(l, inst, &storedSamples, &sampleHeaderSize);
        error != 0) {
      return error;
    }
    l.position += static_cast<std::uint64_t>(storedSamples) * sampleHeaderSize;
    if (l.position > l.state.fileLength) return errEndOfFile;
    if (int error = Seek(l, l.position); error != 0) return error;
  }
  return errOK;
}

// Instrument i: its header (for a stored one), its samples' headers, and the
// file position after its data.
int ReadInstrument(XmLoad& l, std::uint32_t i, std::uint32_t storedInstruments) {
  std::array<std::uint8_t, 243> inst{};
  unsigned storedSamples = 0;
  std::uint32_t sampleHeaderSize = sampleHeaderBytes;
  if (i < storedInstruments) {
    if (int error = ReadInstrumentHeader(l, inst, &storedSamples, &sampleHeaderSize);
        error != 0) {
      return error;
    }
  }

  // Patterns name instruments up to 255 only: any beyond are never used.
  const bool isUsed = i < std::size(l.used) && l.used[i] != 0;
  const unsigned kept = isUsed && storedSamples != 0 ? KeptSamples(inst.data()) : 0;
  ModuleInstrument* instrument = nullptr;
  if (int error = ModuleAllocInstrument(kept, &instrument); error != 0) return error;
  l.state.module->instruments[i] = instrument;
  std::memcpy(instrument->name, &inst[4], 22);
  instrument->name[22] = 0;
  instrument->globalVolume = 64;
  instrument->used = isUsed ? 1 : 0;
  if (storedSamples == 0) return errOK;
  if (int error = SetInstrumentFields(inst.data(), kept, instrument); error != 0) return error;

  // Sample headers, then the data of all of the instrument's samples.
  if (int error = ReadSampleHeaders(l, i, storedSamples, sampleHeaderSize, kept, instrument);
      error != 0) {
    return error;
  }
  if (l.position > l.state.fileLength && i + 1 < storedInstruments) return errEndOfFile;
  if (l.position <= l.state.fileLength) {
    if (int error = Seek(l, l.position); error != 0) return error;
  }
  return errOK;
}

// Instruments: patterns may name more than the file stores; the extra ones
// are empty.
int ReadInstruments(XmLoad& l) {
  Module* mod = l.state.module;
  const std::uint32_t storedInstruments = Le16(&l.header[72]);
  // Each stored instrument takes at least its 29-byte header.
  if (static_cast<std::uint64_t>(storedInstruments) * 29 > l.state.fileLength - l.position) {
    return errEndOfFile;
  }
  const std::uint32_t numInstruments =
      l.highestInstrument > storedInstruments ? l.highestInstrument : storedInstruments;
  mod->numInstruments = numInstruments;
  mod->numSamples = numInstruments * samplesPerInstrument;
  if (int error = memAllocArray(numInstruments, &mod->instruments); error != 0) return error;
  if (int error = memAllocArray(mod->numSamples, &mod->samples); error != 0) return error;
  for (std::uint32_t i = 0; i < numInstruments; ++i) {
    if (int error = ReadInstrument(l, i, storedInstruments); error != 0) return error;
  }
  if (l.largest > maxSampleLength) return errInvalidInstrument;
  return errOK;
}

// Holds every sample to the data the file holds before any buffer is taken,
// so that a lying header cannot allocate gigabytes. Only the file's last
// sample may be cut short by its end; it keeps what is there.
int FitSamplesToFile(XmLoad& l) {
  Module* mod = l.state.module;
  l.largest = 0;
  for (std::uint32_t s = 0; s < mod->numSamples; ++s) {
    ModuleSample* sample = mod->samples[s];
    if (sample == nullptr) continue;
    std::uint32_t available = 0;
    const bool last = sample->length > 0 && sample->fileOffset == l.lastDataStart;
    if (int error = l.state.SampleBytesInFile(sample->fileOffset, sample->length, last, &available);
        error != 0) {
      return error;
    }
    // 16-bit data keeps whole values.
    if (sample->sampleType == smp16bitMono) available &= ~1u;
    loader::ShortenSample(sample, available, loopModeNone);
    if (sample->length > l.largest) l.largest = sample->length;
  }
  return errOK;
}

// Undoes the delta coding: 16-bit values stay signed, 8-bit ones become unsigned.
void DecodeDeltas(ModuleSample* sample, std::uint8_t* data) {
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
}

int ReadSampleData(XmLoad& l, ModuleSample* sample) {
  std::uint8_t* data = nullptr;
  if (sample->length == 0) {
    sample->sampleType = smpNone;
  } else {
    if (static_cast<std::uint64_t>(sample->fileOffset) + sample->length > l.state.fileLength) {
      return errEndOfFile;
    }
    if (int error = l.state.SampleDataFor(sample, &data); error != 0) return error;
    if (int error = Seek(l, sample->fileOffset); error != 0) return error;
    if (int error = RawFileRead(l.state.file, data, sample->length); error != 0) return error;
    DecodeDeltas(sample, data);
  }
  return loader::HandOverConverted(l.state, data, sample);
}

// Second pass: the sample data, once every header is known.
int ReadSamples(XmLoad& l) {
  Module* mod = l.state.module;
  if (int error = FitSamplesToFile(l); error != 0) return error;
  if (int error = l.state.AllocateSampleBuffer(l.largest); error != 0) return error;
  for (std::uint32_t s = 0; s < mod->numSamples; ++s) {
    if (mod->samples[s] == nullptr) continue;
    if (int error = ReadSampleData(l, mod->samples[s]); error != 0) return error;
  }
  return errOK;
}

// Older files: the instruments come first, but reading them needs the
// instruments the patterns name. So the instruments are stepped over, the
// patterns read, and the instruments read after, their sample data starting
// where the patterns end.
int ReadOldLayout(XmLoad& l) {
  const std::uint64_t instrumentsStart = l.position;
  if (int error = SkipInstruments(l); error != 0) return error;
  if (int error = ReadPatterns(l); error != 0) return error;
  l.sampleData = l.position;
  l.position = instrumentsStart;
  if (int error = Seek(l, l.position); error != 0) return error;
  return ReadInstruments(l);
}

}  // namespace

int gmpLoadXM(const char* fileName, const SoundDevice* device, int addSamples,
              ModuleSampleCallback callback, Module** module) {
  XmLoad l;
  if (int error = l.state.Open(fileName, device, addSamples, callback, module); error != 0) return error;
  if (int error = ReadHeader(l); error != 0) return error;
  if (int error = ReadOrders(l); error != 0) return error;
  if (l.version >= patternsFirstVersion) {
    if (int error = ReadPatterns(l); error != 0) return error;
    if (int error = ReadInstruments(l); error != 0) return error;
  } else if (int error = ReadOldLayout(l); error != 0) {
    return error;
  }
  if (int error = ReadSamples(l); error != 0) return error;
  return l.state.Finish(module);
}

namespace {
// The signature's first 16 bytes; the reader itself also wants the space after
// them and a version of at least 1.04.
bool ProbeXM(const std::uint8_t* start, std::size_t, std::uint64_t) { return std::memcmp(start, "Extended Module:", 16) == 0; }
}  // namespace

const ModuleFormat xmModuleFormat = {modKindXM, "XM", ProbeXM, gmpLoadXM};
