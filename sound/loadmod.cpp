// MOD reader: 31 sample headers (15 in files without a signature), a
// 128-entry order list, patterns of 64 rows of 4-byte cells (period,
// instrument, effect, parameter), then the signed 8-bit sample data. Periods are searched in a six-octave table to get note
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

constexpr int sampleCount = 31;
static_assert(modLayoutProbeBytes == moduleStartBytes, "the probes see the whole MOD header");
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

// One cell's note, instrument and command in the packed form's terms.
struct CellEntry {
  std::uint8_t note = noteNone;
  std::uint8_t instrument = instNone;
  ModuleCommand command = cmdNone;
  std::uint8_t parameter = 0;
};

// The note byte of a stored period; sets the extended-octave flag for notes
// outside the three Amiga octaves.
int NoteOfPeriod(unsigned period, Module* module, std::uint8_t* note) {
  unsigned i = 0;
  while (i < periodTable.size() && periodTable[i] > period) ++i;
  if (i == periodTable.size()) return errInvalidPattern;
  const unsigned octave = i / 12;
  *note = static_cast<std::uint8_t>((octave << 4) | (i % 12));
  if (octave == 0 || octave > 3) module->flags |= modFlagExtOctaves;
  return errOK;
}

ModuleCommand CommandOf(unsigned effect, unsigned param, std::uint8_t* parameter) {
  *parameter = static_cast<std::uint8_t>(param);
  if (effect == 0 && param == 0) return cmdNone;
  switch (effect) {
    case 0x8:
      // Only the panning values the player understands: 0..0x80 and 0xA4
      // (surround).
      return param <= 0x80 || param == 0xA4 ? cmdSetPanning : cmdNone;
    case 0xE:
      *parameter = static_cast<std::uint8_t>(param & 0x0F);
      return extendedCommands[param >> 4];
    case 0xF:
      return param > 0x20 ? cmdSetTempo : cmdSetSpeed;
    default:
      return effectCommands[effect];
  }
}

// Decodes one 4-byte cell. An instrument above 31 is invalid; one the file
// has no sample record for (16..31 in a 15-sample file) names nothing.
int DecodeCell(const std::uint8_t* cell, unsigned samplesInFile, Module* module, bool* used,
               CellEntry* entry) {
  const unsigned period = ReadBE16(cell) & 0x0FFF;
  const unsigned instrument = (cell[0] & 0xF0) | (cell[2] >> 4);
  if (period != 0) {
    if (int error = NoteOfPeriod(period, module, &entry->note); error != 0) return error;
  }
  if (instrument > static_cast<unsigned>(sampleCount)) return errInvalidPattern;
  if (instrument != 0 && instrument <= samplesInFile) {
    entry->instrument = static_cast<std::uint8_t>(instrument - 1);
    used[entry->instrument] = true;
  }
  entry->command = CommandOf(cell[2] & 0x0F, cell[3], &entry->parameter);
  return errOK;
}

// Appends one entry to the packed rows; nothing for an empty cell.
void PutEntry(const CellEntry& e, unsigned channel, std::uint8_t* work, std::uint32_t* out) {
  std::uint8_t flag = static_cast<std::uint8_t>(channel);
  if (e.note != noteNone || e.instrument != instNone) flag |= pattNoteInst;
  if (e.command != cmdNone) flag |= pattCommand;
  if (flag == channel) return;
  work[(*out)++] = flag;
  if (flag & pattNoteInst) {
    work[(*out)++] = e.note;
    work[(*out)++] = e.instrument;
  }
  if (flag & pattCommand) {
    work[(*out)++] = e.command;
    work[(*out)++] = e.parameter;
  }
}

// Converts one pattern of channels × 256 bytes into the packed form. Sets the
// extended-octave flag and the used marks as it goes.
int ConvertPattern(const std::uint8_t* cells, unsigned channels, unsigned samplesInFile,
                   Module* module, bool* used, PackedPattern** result) {
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
    for (unsigned ch = 0; ch < channels && error == errOK; ++ch) {
      CellEntry entry;
      error = DecodeCell(cells + (row * channels + ch) * 4, samplesInFile, module, used, &entry);
      PutEntry(entry, ch, work, &out);
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
  std::array<std::uint8_t, modLayoutProbeBytes> header{};
  ModLayout layout;
  std::array<SampleHeader, sampleCount> samples{};
  bool used[sampleCount] = {};
  std::uint32_t largest = 0;      // longest sample in bytes
  std::uint64_t patternsEnd = 0;  // file offset of the first sample's data
  int lastWithData = -1;          // the last sample record with data

  // Where the song length, restart byte and order list lie: after the
  // layout's sample records.
  std::uint32_t SongOffset() const { return 20 + layout.sampleCount * 30; }
  const std::uint8_t* Orders() const { return header.data() + SongOffset() + 2; }
};

// The file's start and its layout. A file too short for either layout ends
// with errEndOfFile, as a 31-sample header cut short does.
int ReadLayout(ModLoad& l) {
  const std::uint64_t length = l.state.fileLength;
  const std::uint32_t size =
      length < modLayoutProbeBytes ? static_cast<std::uint32_t>(length) : modLayoutProbeBytes;
  if (int error = RawFileRead(l.state.file, l.header.data(), size); error != 0) return error;
  if (gmpModLayoutOf(l.header.data(), size, length, &l.layout)) return errOK;
  return size < modLayoutProbeBytes ? errEndOfFile : errInvalidModule;
}

// The header: song facts, channel pannings.
int ReadHeader(ModLoad& l) {
  Module* mod = nullptr;
  if (int error = memAllocArray(1, &mod); error != 0) return error;
  l.state.module = mod;
  std::memcpy(mod->name, l.header.data(), 20);
  mod->name[20] = 0;
  mod->kind = modKindMOD;
  mod->numInstruments = l.layout.sampleCount;
  mod->numSamples = l.layout.sampleCount;
  mod->numChannels = static_cast<std::uint8_t>(l.layout.channels);
  mod->globalVolume = 64;
  mod->speed = 6;
  mod->tempo = 125;
  mod->flags = 0;

  // The order list holds 128 entries; a longer claimed song cannot be played
  // past them, and an empty one has nothing to play.
  std::uint32_t songLength = l.header[l.SongOffset()];
  if (songLength > 128) songLength = 128;
  if (songLength == 0) return errInvalidModule;
  mod->songLength = songLength;
  const std::uint32_t restart = l.header[l.SongOffset() + 1];
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
// Split-pattern files count their orders in 4-channel halves, two a pattern.
int ReadOrders(ModLoad& l) {
  Module* mod = l.state.module;
  const unsigned shift = l.layout.splitPatterns ? 1 : 0;
  unsigned highestOrder = 0;
  for (int i = 0; i < 128; ++i) {
    const unsigned order = l.Orders()[i] >> shift;
    if (order > highestOrder) highestOrder = order;
  }
  mod->numPatterns = highestOrder + 1;
  if (int error = memAllocArray(mod->songLength, &mod->orders); error != 0) return error;
  for (std::uint32_t i = 0; i < mod->songLength; ++i) {
    mod->orders[i] = static_cast<std::uint16_t>(l.Orders()[i] >> shift);
  }
  return errOK;
}

int ReadSampleHeaders(ModLoad& l) {
  for (unsigned s = 0; s < l.layout.sampleCount; ++s) {
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
    if (sample.length > 0) l.lastWithData = static_cast<int>(s);
  }
  return l.largest > maxSampleLength ? errInvalidInstrument : errOK;
}

// A split pattern as stored (channels 0..3 of all rows, then 4..7) in the
// row-by-row order of the others.
void JoinSplitPattern(const std::uint8_t* stored, std::uint8_t* joined) {
  constexpr std::uint32_t halfRow = 4 * 4;
  constexpr std::uint32_t half = rowsPerPattern * halfRow;
  for (std::uint32_t row = 0; row < rowsPerPattern; ++row) {
    std::memcpy(joined + row * 2 * halfRow, stored + row * halfRow, halfRow);
    std::memcpy(joined + row * 2 * halfRow + halfRow, stored + half + row * halfRow, halfRow);
  }
}

int ReadPatterns(ModLoad& l) {
  Module* mod = l.state.module;
  const unsigned channels = l.layout.channels;
  // All patterns must lie in the file before anything is allocated for them.
  const std::uint32_t patternBytes = channels * 256;
  l.patternsEnd =
      l.layout.headerSize + static_cast<std::uint64_t>(mod->numPatterns) * patternBytes;
  if (l.patternsEnd > l.state.fileLength) return errEndOfFile;
  if (int error = RawFileSeek(l.state.file, static_cast<std::int32_t>(l.layout.headerSize),
                              rfSeekAbsolute);
      error != 0) {
    return error;
  }

  if (int error = memAllocArray(mod->numPatterns, &mod->patterns); error != 0) return error;
  if (int error = memAllocArray(patternBytes * 2, &l.state.buffer); error != 0) return error;
  std::uint8_t* cells = l.state.buffer;
  if (l.layout.splitPatterns) cells += patternBytes;
  for (std::uint32_t p = 0; p < mod->numPatterns; ++p) {
    if (int error = RawFileRead(l.state.file, l.state.buffer, patternBytes); error != 0) {
      return error;
    }
    if (l.layout.splitPatterns) JoinSplitPattern(l.state.buffer, cells);
    if (int error = ConvertPattern(cells, channels, l.layout.sampleCount, mod, l.used,
                                   &mod->patterns[p]);
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
  SampleHeader h = l.samples[s];
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
  // The last sample may be cut short by the end of the file: it is read as
  // far as it goes, and its loop fitted to what is there.
  std::uint32_t available = 0;
  if (int error = l.state.SampleBytesInFile(position, sample->length, s == l.lastWithData,
                                            &available);
      error != 0) {
    return error;
  }
  if (available < sample->length) {
    h.length = available;
    SetSampleFields(h, sample);
  }
  return ReadSampleData(l, position, sample);
}

int ReadInstruments(ModLoad& l) {
  Module* mod = l.state.module;
  const unsigned count = l.layout.sampleCount;
  if (int error = memAllocArray(count, &mod->instruments); error != 0) return error;
  if (int error = memAllocArray(count, &mod->samples); error != 0) return error;
  if (int error = l.state.AllocateSampleBuffer(l.largest); error != 0) return error;
  std::uint64_t position = l.patternsEnd;
  for (unsigned s = 0; s < count; ++s) {
    if (int error = ReadInstrument(l, static_cast<int>(s), position); error != 0) return error;
    position += l.samples[s].length;
  }
  return errOK;
}

}  // namespace

int gmpLoadMOD(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module) {
  ModLoad l;
  if (int error = l.state.Open(fileName, device, addSamples, callback, module); error != 0) return error;
  if (int error = ReadLayout(l); error != 0) return error;
  if (int error = ReadHeader(l); error != 0) return error;
  if (int error = ReadOrders(l); error != 0) return error;
  if (int error = ReadSampleHeaders(l); error != 0) return error;
  if (int error = ReadPatterns(l); error != 0) return error;
  if (int error = ReadInstruments(l); error != 0) return error;
  return l.state.Finish(module);
}

namespace {
// 31-sample files carry their signature at byte 1080; 15-sample files have
// none, so gmpModLayoutOf tries them last, by the header's fields and the
// file's length.
bool ProbeMOD(const std::uint8_t* start, std::size_t size, std::uint64_t fileLength) {
  ModLayout layout;
  return gmpModLayoutOf(start, size, fileLength, &layout);
}
}  // namespace

const ModuleFormat modModuleFormat = {modKindMOD, "MOD", ProbeMOD, gmpLoadMOD};
