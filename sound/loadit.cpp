// IT reader. The header is followed by the order bytes and three tables of
// 4-byte file offsets (instruments, samples, patterns); every record is then
// read from its offset. Patterns are converted from IT's channel-masked
// packing, samples (plain or compressed) read before the instruments that
// point at them.
#include "sound/loadit.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sound/errors.h"
#include "sound/itpack.h"
#include "sound/loadcommon.h"
#include "sound/loadformats.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"

namespace {

constexpr std::uint32_t headerBytes = 192;
constexpr std::uint32_t sampleHeaderBytes = 80;
constexpr std::uint32_t instrumentBytes = 554;
constexpr std::uint32_t maxSampleLength = 0x7FFFFFEF;
constexpr unsigned maxChannels = 32;  // five bits in the packed form
constexpr unsigned maxRows = 1024;
constexpr unsigned usedLimit = 100;   // instruments below this are marked used

using loader::Le16;
using loader::Le32;
using loader::LoadState;

// Command letters A..Z (1..26) to internal commands; cmdNone = dropped. S
// takes its command from the parameter, X scales its parameter.
constexpr std::array<ModuleCommand, 27> letterCommands = {
    cmdNone,
    cmdSetSpeed,                   // A
    cmdPositionJump,               // B
    cmdPatternBreak,               // C
    cmdVolumeSlide,                // D
    cmdPortamentoDown,             // E
    cmdPortamentoUp,               // F
    cmdTonePortamento,             // G
    cmdVibrato,                    // H
    cmdNone,                       // I
    cmdArpeggio,                   // J
    cmdVibratoVolumeSlide,         // K
    cmdTonePortamentoVolumeSlide,  // L
    cmdSetChannelVolume,           // M
    cmdChannelVolumeSlide,         // N
    cmdSampleOffset,               // O
    cmdPanningSlide,               // P
    cmdRetriggerVolumeChange,      // Q
    cmdTremolo,                    // R
    cmdNone,                       // S: by the parameter
    cmdSetTempo,                   // T
    cmdFineVibrato,                // U
    cmdSetGlobalVolume,            // V
    cmdGlobalVolumeSlide,          // W
    cmdSetPanning,                 // X: scaled parameter
    cmdPanbrello,                  // Y
    cmdSync,                       // Z
};

// S sub-commands by the parameter's high nibble; cmdNone = dropped.
constexpr std::array<ModuleCommand, 16> sCommands = {
    cmdNone,              // S0
    cmdGlissandoControl,  // S1
    cmdNone,              // S2
    cmdVibratoWaveform,   // S3
    cmdTremoloWaveform,   // S4
    cmdPanbrelloWaveform, // S5
    cmdFinePatternDelay,  // S6
    cmdNoteAction,        // S7
    cmdSetPanning4Bit,    // S8
    cmdSurround,          // S9
    cmdHighOffset,        // SA
    cmdPatternLoop,       // SB
    cmdNoteCut,           // SC
    cmdNoteDelay,         // SD
    cmdPatternDelay,      // SE
    cmdNone,              // SF
};

struct PatternContext {
  unsigned channelLimit;       // entries are kept for channels up to this one
  unsigned instrumentLimit;    // instrument numbers above it name nothing
  std::uint8_t* used;          // 256 flags
  unsigned* highestInstrument; // highest instrument number kept (1-based)
  int* highestChannel;         // highest channel written, -1 = none
};

// Converts one stored pattern into the packed form in work (capacity bytes).
// Returns the converted length, or 0 when the rows do not fit, which only a
// pattern naming the same channel many times in a row can cause.
std::uint32_t ConvertPattern(const std::uint8_t* data, std::uint32_t size, unsigned rows,
                             const PatternContext& ctx, std::uint8_t* work,
                             std::uint32_t capacity) {
  std::uint8_t lastMask[64] = {};
  std::uint8_t lastNote[64] = {};
  std::uint8_t lastInst[64] = {};
  std::uint8_t lastVol[64] = {};
  std::uint8_t lastCmd[64] = {};
  std::uint8_t lastParam[64] = {};
  std::uint32_t pos = 0;
  auto next = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };

  std::uint32_t out = 8;
  for (unsigned row = 0; row < rows; ++row) {
    while (pos < size) {
      const std::uint8_t c = next();
      if (c == 0) break;
      const unsigned ch = (c - 1u) & 63u;
      std::uint8_t mask = lastMask[ch];
      if (c & 0x80) mask = lastMask[ch] = next();
      bool hasNote = false, hasInst = false, hasVol = false, hasCmd = false;
      if (mask & 0x01) { lastNote[ch] = next(); hasNote = true; }
      if (mask & 0x02) { lastInst[ch] = next(); hasInst = true; }
      if (mask & 0x04) { lastVol[ch] = next(); hasVol = true; }
      if (mask & 0x08) {
        lastCmd[ch] = next();
        lastParam[ch] = next();
        hasCmd = true;
      }
      if (mask & 0x10) hasNote = true;
      if (mask & 0x20) hasInst = true;
      if (mask & 0x40) hasVol = true;
      if (mask & 0x80) hasCmd = true;
      if (ch >= maxChannels || ch > ctx.channelLimit) continue;

      std::uint8_t note = noteNone;
      if (hasNote) {
        const unsigned n = lastNote[ch];
        if (n < 120) {
          note = static_cast<std::uint8_t>(((n / 12) << 4) | (n % 12));
        } else if (n == 255) {
          note = noteCut;  // note off: key off
        } else if (n == 254) {
          note = noteStop;  // note cut: the sound stops
        } else {
          note = noteFade;  // every other value is a note fade
        }
      }
      std::uint8_t inst = instNone;
      if (hasInst) {
        const unsigned i = lastInst[ch];
        if (i >= 1 && i <= ctx.instrumentLimit) {
          inst = static_cast<std::uint8_t>(i - 1);
          if (i - 1 < usedLimit) ctx.used[i - 1] = 1;
          if (i > *ctx.highestInstrument) *ctx.highestInstrument = i;
        }
      }
      ModuleCommand command = cmdNone;
      std::uint8_t parameter = lastParam[ch];
      if (hasCmd && lastCmd[ch] >= 1 && lastCmd[ch] <= 26) {
        command = letterCommands[lastCmd[ch]];
        if (lastCmd[ch] == 19) {  // S
          command = sCommands[parameter >> 4];
          parameter = static_cast<std::uint8_t>(parameter & 0x0F);
        } else if (lastCmd[ch] == 24) {  // X: 0..255 onto the 0..64 panning range
          parameter = static_cast<std::uint8_t>((parameter + 1u) / 4u);
        }
      }

      std::uint8_t flag = static_cast<std::uint8_t>(ch);
      if (note != noteNone || inst != instNone) flag |= pattNoteInst;
      if (hasVol) flag |= pattVolume;
      if (command != cmdNone) flag |= pattCommand;
      if (flag == ch) continue;
      // Room for the entry and the row's terminator.
      if (capacity - out < 7) return 0;
      work[out++] = flag;
      if (flag & pattNoteInst) {
        work[out++] = note;
        work[out++] = inst;
      }
      if (flag & pattVolume) work[out++] = lastVol[ch];
      if (flag & pattCommand) {
        work[out++] = command;
        work[out++] = parameter;
      }
      if (static_cast<int>(ch) > *ctx.highestChannel) *ctx.highestChannel = static_cast<int>(ch);
    }
    if (capacity - out < 1) return 0;
    work[out++] = 0;
  }
  return out;
}

// An envelope record of the new instrument layout. Panning and pitch values
// are signed around 0 in the file and stored around 32.
int ReadEnvelope(const std::uint8_t* rec, bool centred, ModuleEnvelope** result) {
  *result = nullptr;
  if ((rec[0] & 1) == 0) return errOK;
  ModuleEnvelope* env = nullptr;
  if (int error = memAllocArray(1, &env); error != 0) return error;
  const unsigned points = rec[1] > envelopeMaxPoints ? envelopeMaxPoints : rec[1];
  env->numPoints = static_cast<std::uint8_t>(points);
  env->sustain = 0xFF;
  env->inclusiveLoops = 1;
  // Loop indices that name no point are dropped so the player never looks
  // past the points.
  auto setPair = [&](bool on, unsigned a, unsigned b, std::uint8_t* first, std::uint8_t* second) {
    if (on && a <= b && b < points) {
      *first = static_cast<std::uint8_t>(a);
      *second = static_cast<std::uint8_t>(b);
    } else {
      *first = 0xFF;
      *second = 0xFF;
    }
  };
  setPair((rec[0] & 2) != 0, rec[2], rec[3], &env->loopStart, &env->loopEnd);
  setPair((rec[0] & 4) != 0, rec[4], rec[5], &env->sustainLoopStart, &env->sustainLoopEnd);
  for (unsigned i = 0; i < points; ++i) {
    const std::uint8_t* node = rec + 6 + i * 3;
    int value = centred ? static_cast<std::int8_t>(node[0]) + 32 : node[0];
    if (value < 0) value = 0;
    if (value > 64) value = 64;
    env->points[i][0] = Le16(node + 1);
    env->points[i][1] = static_cast<std::uint16_t>(value);
  }
  *result = env;
  return errOK;
}

// The volume envelope of the old instrument layout: up to 25 (tick, value)
// byte pairs, ended by a tick of 0xFF.
int ReadOldEnvelope(const std::uint8_t* inst, ModuleEnvelope** result) {
  *result = nullptr;
  const std::uint8_t flags = inst[17];
  if ((flags & 1) == 0) return errOK;
  ModuleEnvelope* env = nullptr;
  if (int error = memAllocArray(1, &env); error != 0) return error;
  unsigned points = 0;
  while (points < envelopeMaxPoints && inst[504 + points * 2] != 0xFF) {
    env->points[points][0] = inst[504 + points * 2];
    const unsigned value = inst[505 + points * 2];
    env->points[points][1] = static_cast<std::uint16_t>(value > 64 ? 64 : value);
    ++points;
  }
  env->numPoints = static_cast<std::uint8_t>(points);
  env->sustain = 0xFF;
  env->inclusiveLoops = 1;
  auto valid = [&](unsigned a, unsigned b) { return a <= b && b < points; };
  const bool loop = (flags & 2) && valid(inst[18], inst[19]);
  env->loopStart = loop ? inst[18] : 0xFF;
  env->loopEnd = loop ? inst[19] : 0xFF;
  const bool sustainLoop = (flags & 4) && valid(inst[20], inst[21]);
  env->sustainLoopStart = sustainLoop ? inst[20] : 0xFF;
  env->sustainLoopEnd = sustainLoop ? inst[21] : 0xFF;
  *result = env;
  return errOK;
}

}  // namespace

namespace {

// What the steps of one load share.
struct ItLoad {
  LoadState state;
  std::array<std::uint8_t, headerBytes> header{};
  std::uint32_t orderCount = 0;
  std::uint32_t storedInstruments = 0;
  std::uint32_t storedSamples = 0;
  std::uint32_t storedPatterns = 0;
  bool oldLayout = false;
  bool instrumentMode = false;
  int lastEnabled = -1;
  std::uint8_t used[256] = {};  // instruments the patterns name
  unsigned highestInstrument = 0;
  int highestChannel = -1;
  std::uint32_t largest = 0;    // longest sample in bytes
  std::uint64_t largestStored = 0;  // most bytes a sample needs in the file

  // The three offset tables, in file order.
  const std::uint32_t* InstrumentOffsets() const { return state.offsets; }
  const std::uint32_t* SampleOffsets() const { return state.offsets + storedInstruments; }
  const std::uint32_t* PatternOffsets() const { return SampleOffsets() + storedSamples; }
};

// The header: counts, flags, song facts and channel pannings.
int ReadHeader(ItLoad& l) {
  const std::uint8_t* header = l.header.data();
  if (int error = RawFileRead(l.state.file, l.header.data(), headerBytes); error != 0) return error;
  if (std::memcmp(header, "IMPM", 4) != 0) return errInvalidModule;

  l.orderCount = Le16(&header[32]);
  l.storedInstruments = Le16(&header[34]);
  l.storedSamples = Le16(&header[36]);
  l.storedPatterns = Le16(&header[38]);
  l.oldLayout = Le16(&header[42]) < 0x0200;
  const std::uint16_t headerFlags = Le16(&header[44]);
  l.instrumentMode = (headerFlags & 4) != 0;
  for (int c = 0; c < 64; ++c) {
    if (header[64 + c] < 127) l.lastEnabled = c;
  }

  // The order bytes and the three offset tables must be in the file before
  // anything is allocated for them.
  const std::uint64_t tablesEnd =
      headerBytes + l.orderCount +
      4ull * (l.storedInstruments + l.storedSamples + l.storedPatterns);
  if (tablesEnd > l.state.fileLength) return errEndOfFile;

  Module* mod = nullptr;
  if (int error = memAllocArray(1, &mod); error != 0) return error;
  l.state.module = mod;
  std::memcpy(mod->name, &header[4], 26);
  mod->name[26] = 0;
  mod->kind = modKindIT;
  // Global and mixing volume on IT's 0..128 scale, held at 128.
  mod->globalVolume = std::min<std::uint8_t>(header[48], 128);
  mod->mixingVolume = std::min<std::uint8_t>(header[49], 128);
  mod->speed = header[50];
  mod->tempo = header[51];
  mod->restartPosition = 0;
  mod->flags = 0;
  if (l.instrumentMode) mod->flags |= modFlagInstrumentMode;
  if (headerFlags & 8) mod->flags |= modFlagLinear;
  if (headerFlags & 0x10) mod->flags |= modFlagItOldEffects;
  if (headerFlags & 0x20) mod->flags |= modFlagItCompatibleGxx;
  if (int error = memAllocArray(64, &mod->panning); error != 0) return error;
  // Pannings on the 0..64 scale. The disabled bit (128) is dropped, and
  // surround (100), which the scale cannot express, is marked apart with the
  // centre as its panning.
  for (int c = 0; c < 64; ++c) {
    const int pan = header[64 + c] & 0x7F;
    mod->panning[c] = pan == 100 ? 32 : (pan > 64 ? 64 : pan);
    if (pan == 100) mod->surroundChannels |= std::uint64_t{1} << c;
    mod->channelVolume[c] = std::min<std::uint8_t>(header[128 + c], 64);
  }
  return errOK;
}

// Order list: 254 and the unused values 250..253 are skipped, 255 ends the
// song. Trailing end markers are dropped; a list without a pattern has
// nothing to play.
int ReadOrders(ItLoad& l) {
  Module* mod = l.state.module;
  const std::uint32_t orderCount = l.orderCount;
  if (int error = memAllocArray(orderCount == 0 ? 1 : orderCount, &mod->orders); error != 0) {
    return error;
  }
  if (orderCount > 0) {
    if (int error = RawFileRead(l.state.file, mod->orders, orderCount); error != 0) return error;
  }
  const std::uint8_t* orderBytes = reinterpret_cast<const std::uint8_t*>(mod->orders);
  std::uint32_t songLength = orderCount;
  while (songLength > 0 && orderBytes[songLength - 1] == 255) --songLength;
  std::uint32_t numPatterns = l.storedPatterns;
  bool playable = false;
  for (std::uint32_t i = songLength; i-- > 0;) {
    const std::uint8_t b = orderBytes[i];
    if (b < 250) {
      mod->orders[i] = b;
      playable = true;
      if (b + 1u > numPatterns) numPatterns = b + 1u;
    } else {
      mod->orders[i] = b == 255 ? orderEnd : orderSkip;
    }
  }
  if (!playable) return errInvalidModule;
  mod->songLength = songLength;
  mod->numPatterns = numPatterns;
  return errOK;
}

// Offset tables; in sample mode the instrument offsets are skipped.
int ReadOffsets(ItLoad& l) {
  const std::uint32_t offsetCount = l.storedInstruments + l.storedSamples + l.storedPatterns;
  if (int error = memAllocArray(offsetCount == 0 ? 1 : offsetCount, &l.state.offsets);
      error != 0) {
    return error;
  }
  std::uint8_t* offsetBytes = reinterpret_cast<std::uint8_t*>(l.state.offsets);
  if (offsetCount > 0) {
    if (int error = l.state.ReadAt(headerBytes + l.orderCount, offsetBytes, offsetCount * 4);
        error != 0) {
      return error;
    }
  }
  for (std::uint32_t i = 0; i < offsetCount; ++i) {
    l.state.offsets[i] = Le32(offsetBytes + i * 4);
  }
  return errOK;
}

// The stored pattern at offset: its header, then the channel-masked cells converted.
int ReadPattern(ItLoad& l, std::uint32_t offset, const PatternContext& ctx,
                PackedPattern** result) {
  std::uint8_t ph[8];
  if (int error = l.state.ReadAt(offset, ph, sizeof(ph)); error != 0) return error;
  const std::uint32_t packedSize = Le16(ph);
  const unsigned rows = Le16(ph + 2);
  if (rows == 0 || rows > maxRows) return errInvalidPattern;
  if (int error = memAllocArray(packedSize == 0 ? 1 : packedSize, &l.state.buffer); error != 0) {
    return error;
  }
  if (packedSize > 0) {
    if (int error = l.state.ReadAt(offset + 8ull, l.state.buffer, packedSize); error != 0) {
      return error;
    }
  }
  const std::uint32_t capacity = rows * (maxChannels * 6 + 1) + 8;
  if (int error = memAllocArray(capacity, &l.state.work); error != 0) {
    return error;
  }
  const std::uint32_t length =
      ConvertPattern(l.state.buffer, packedSize, rows, ctx, l.state.work, capacity);
  if (length == 0) return errInvalidPattern;
  std::uint8_t* block = nullptr;
  if (int error = memAllocArray(length, &block); error != 0) return error;
  auto* pattern = reinterpret_cast<PackedPattern*>(block);
  pattern->length = length;
  pattern->rows = rows;
  std::memcpy(PatternRows(pattern), l.state.work + 8, length - 8);
  *result = pattern;
  memFree(l.state.work);
  l.state.work = nullptr;
  memFree(l.state.buffer);
  l.state.buffer = nullptr;
  return errOK;
}

// The patterns, then the channel and instrument counts they imply.
int ReadPatterns(ItLoad& l) {
  Module* mod = l.state.module;
  // Entries are kept up to one channel past the last enabled one.
  const PatternContext ctx{static_cast<unsigned>(l.lastEnabled + 1),
                           l.instrumentMode ? l.storedInstruments : l.storedSamples, l.used,
                           &l.highestInstrument, &l.highestChannel};
  if (int error = memAllocArray(mod->numPatterns, &mod->patterns); error != 0) return error;
  for (std::uint32_t p = 0; p < mod->numPatterns; ++p) {
    const std::uint32_t offset = p < l.storedPatterns ? l.PatternOffsets()[p] : 0;
    const int error = offset == 0 ? ModuleAllocEmptyPattern(64, &mod->patterns[p])
                                  : ReadPattern(l, offset, ctx, &mod->patterns[p]);
    if (error != 0) return error;
  }

  // Channels: up to one past the last enabled channel, and no more than the
  // patterns use; at least one so that a song without notes still opens.
  int channels = l.highestChannel + 1;
  if (channels > l.lastEnabled + 2) channels = l.lastEnabled + 2;
  if (channels < 1) channels = 1;
  mod->numChannels = static_cast<std::uint8_t>(channels);
  mod->numInstruments =
      l.highestInstrument > l.storedInstruments ? l.highestInstrument : l.storedInstruments;
  return errOK;
}

// Loops, kept only when they lie inside the data. The sustain loop plays
// while the note is held, so it is loop 1 and the ordinary loop follows it
// after the release; without a sustain loop the ordinary loop is both.
void SetSampleLoops(const std::uint8_t* h, unsigned shift, std::uint64_t bytes,
                    ModuleSample* sample) {
  const std::uint8_t flags = h[18];
  auto loopRange = [&](std::uint32_t begin, std::uint32_t end, std::uint32_t* first,
                       std::uint32_t* last) {
    const std::uint64_t b = static_cast<std::uint64_t>(begin) << shift;
    std::uint64_t e = static_cast<std::uint64_t>(end) << shift;
    if (e > bytes) e = bytes;
    if (b >= e) return false;
    *first = static_cast<std::uint32_t>(b);
    *last = static_cast<std::uint32_t>(e);
    return true;
  };
  std::uint32_t loopStart = 0, loopEnd = 0, susStart = 0, susEnd = 0;
  const bool loop = (flags & 0x10) && loopRange(Le32(h + 52), Le32(h + 56), &loopStart, &loopEnd);
  const bool sustain =
      (flags & 0x20) && loopRange(Le32(h + 64), Le32(h + 68), &susStart, &susEnd);
  const std::uint8_t loopType = (flags & 0x40) ? loopTypePingPong : loopTypeForward;
  const std::uint8_t susType = (flags & 0x80) ? loopTypePingPong : loopTypeForward;
  if (sustain) {
    sample->loopMode = loopModeReleaseAlt;
    sample->loopStart = susStart;
    sample->loopEnd = susEnd;
    sample->loopType = susType;
    if (loop) {
      sample->loop2Start = loopStart;
      sample->loop2End = loopEnd;
      sample->loop2Type = loopType;
    }
  } else if (loop) {
    sample->loopMode = loopModeRelease;
    sample->loopStart = sample->loop2Start = loopStart;
    sample->loopEnd = sample->loop2End = loopEnd;
    sample->loopType = sample->loop2Type = loopType;
  }
}

// Sample s's record, from its header when it has one.
int ReadSampleHeader(ItLoad& l, std::uint32_t s) {
  ModuleSample* sample = nullptr;
  if (int error = memAllocArray(1, &sample); error != 0) return error;
  l.state.module->samples[s] = sample;
  sample->panning = -1;
  sample->globalVolume = 64;
  if (l.SampleOffsets()[s] == 0) return errOK;
  std::uint8_t h[sampleHeaderBytes];
  if (int error = l.state.ReadAt(l.SampleOffsets()[s], h, sizeof(h)); error != 0) return error;
  std::memcpy(sample->name, h + 20, 26);
  sample->name[26] = 0;
  const std::uint8_t flags = h[18];
  const bool sixteen = (flags & 0x02) != 0;
  const unsigned shift = sixteen ? 1 : 0;
  // Flag bit 0 says whether the header has data at all.
  const std::uint64_t count = (flags & 0x01) ? Le32(h + 48) : 0;
  const std::uint64_t bytes = count << shift;
  if (bytes > maxSampleLength) return errInvalidInstrument;
  // What the file must hold from the data offset on: compressed data takes
  // at least a bit a sample.
  // A stereo sample (flag 4) stores its right channel after the left one.
  const std::uint64_t channels = (flags & 0x04) ? 2 : 1;
  const std::uint64_t stored =
      channels *
      ((flags & 0x08) ? ItPackMinimumInput(static_cast<std::uint32_t>(count), sixteen) : bytes);
  if (stored > l.largestStored) l.largestStored = stored;
  sample->sampleType = static_cast<std::uint8_t>(sixteen ? smp16bitMono : smp8bitMono);
  sample->length = static_cast<std::uint32_t>(bytes);
  sample->volume = h[19];
  sample->globalVolume = h[17];
  // Default panning 0..64, used only when its top bit says so.
  if (h[47] & 0x80) sample->panning = std::min(h[47] & 0x7F, 64);
  sample->basePitch = static_cast<std::int32_t>(Le32(h + 60) & 0x7FFFFFFF);
  sample->fineTune = 0;
  sample->fileOffset = Le32(h + 72);
  sample->vibSpeed = h[76];
  sample->vibDepth = h[77];
  sample->vibRate = h[78];
  sample->vibType = h[79];
  SetSampleLoops(h, shift, bytes, sample);
  if (sample->length > l.largest) l.largest = sample->length;
  return errOK;
}

// The compressed data of one channel at a file offset, decoded into data;
// consumed (if given) receives the bytes its blocks took. The input is what
// the file holds from the offset, up to the most the blocks can take.
int ReadCompressedData(ItLoad& l, const ModuleSample* sample, ItUnpackFormat format,
                       std::uint64_t offset, std::uint8_t* data,
                       std::size_t* consumed = nullptr) {
  const std::uint32_t count = sample->length >> (format.sixteenBit ? 1 : 0);
  if (offset > l.state.fileLength) return errEndOfFile;
  const std::uint64_t size = std::min(l.state.fileLength - offset,
                                      ItPackMaximumInput(count, format.sixteenBit));
  if (int error = memAllocArray(static_cast<std::size_t>(size), &l.state.work); error != 0) {
    return error;
  }
  if (int error = l.state.ReadAt(offset, l.state.work, static_cast<std::uint32_t>(size));
      error != 0) {
    return error;
  }
  const ItUnpackResult result = ItUnpack(l.state.work, size, count, format, data, consumed);
  memFree(l.state.work);
  l.state.work = nullptr;
  if (result == ItUnpackResult::pastInput) return errEndOfFile;
  return result == ItUnpackResult::ok ? errOK : errInvalidInstrument;
}

// Signed or unsigned values into unsigned 8-bit or signed 16-bit as the
// mixer takes them.
void ConvertSampleData(std::uint8_t convert, bool sixteen, std::uint8_t* data,
                       std::uint32_t length) {
  const bool isSigned = (convert & 0x01) != 0;
  if (!sixteen && isSigned) {
    for (std::uint32_t i = 0; i < length; ++i) data[i] ^= 0x80;
  } else if (sixteen && !isSigned) {
    for (std::uint32_t i = 1; i < length; i += 2) data[i] ^= 0x80;
  }
}

// The mean of two channels in the mixer's forms (unsigned 8-bit, signed
// 16-bit little-endian), into left.
void AverageChannels(bool sixteen, std::uint8_t* left, const std::uint8_t* right,
                     std::uint32_t length) {
  if (!sixteen) {
    for (std::uint32_t i = 0; i < length; ++i) {
      left[i] = static_cast<std::uint8_t>((left[i] + right[i]) >> 1);
    }
    return;
  }
  for (std::uint32_t i = 0; i + 1 < length; i += 2) {
    const int a = static_cast<std::int16_t>(left[i] | (left[i + 1] << 8));
    const int b = static_cast<std::int16_t>(right[i] | (right[i + 1] << 8));
    const auto mean = static_cast<std::uint16_t>((a + b) >> 1);
    left[i] = static_cast<std::uint8_t>(mean & 0xFF);
    left[i + 1] = static_cast<std::uint8_t>(mean >> 8);
  }
}

// A stereo sample's right channel, from its file offset, converted and
// averaged into data (its left channel, converted already).
int MixRightChannel(ItLoad& l, const ModuleSample* sample, ItUnpackFormat format,
                    bool compressed, std::uint8_t convert, std::uint64_t offset,
                    std::uint8_t* data) {
  const bool sixteen = format.sixteenBit;
  std::uint8_t* right = nullptr;
  if (int error = memAllocArray(sample->length, &right); error != 0) return error;
  int error = compressed ? ReadCompressedData(l, sample, format, offset, right)
                         : l.state.ReadAt(offset, right, sample->length);
  if (error == 0) {
    ConvertSampleData(convert, sixteen, right, sample->length);
    AverageChannels(sixteen, data, right, sample->length);
  }
  memFree(right);
  return error;
}

// Sample s's data, plain or compressed, converted and handed over. A stereo
// sample is mixed to mono, the mean of its two channels.
int ReadSampleData(ItLoad& l, std::uint32_t s) {
  ModuleSample* sample = l.state.module->samples[s];
  std::uint8_t* data = nullptr;
  if (sample->length == 0) {
    sample->sampleType = smpNone;
    return loader::HandOverConverted(l.state, data, sample);
  }
  std::uint8_t h[sampleHeaderBytes];
  if (int error = l.state.ReadAt(l.SampleOffsets()[s], h, sizeof(h)); error != 0) return error;
  const bool compressed = (h[18] & 0x08) != 0;
  const bool sixteen = sample->sampleType == smp16bitMono;
  // The 2.15 form of compressed data is marked by the difference bit.
  const ItUnpackFormat format{sixteen, (h[46] & 0x04) != 0};
  const bool stereo = (h[18] & 0x04) != 0;
  if (compressed) {
    const std::uint32_t count = sample->length >> (sixteen ? 1 : 0);
    const std::uint64_t least = ItPackMinimumInput(count, sixteen) * (stereo ? 2u : 1u);
    if (sample->fileOffset > l.state.fileLength ||
        l.state.fileLength - sample->fileOffset < least) {
      return errEndOfFile;
    }
  }
  if (int error = l.state.SampleDataFor(sample, &data); error != 0) return error;
  std::size_t consumed = sample->length;  // the left channel's stored bytes
  const int error = compressed
                        ? ReadCompressedData(l, sample, format, sample->fileOffset, data, &consumed)
                        : l.state.ReadAt(sample->fileOffset, data, sample->length);
  if (error != 0) return error;
  // Compressed data is always signed, whatever the conversion byte says.
  const std::uint8_t convert = compressed ? static_cast<std::uint8_t>(h[46] | 0x01) : h[46];
  ConvertSampleData(convert, sixteen, data, sample->length);
  if (stereo) {
    if (int e = MixRightChannel(l, sample, format, compressed, convert,
                                std::uint64_t{sample->fileOffset} + consumed, data);
        e != 0) {
      return e;
    }
  }
  return loader::HandOverConverted(l.state, data, sample);
}

// Samples: every header first, for the largest size, then the data.
int ReadSamples(ItLoad& l) {
  Module* mod = l.state.module;
  mod->numSamples = l.storedSamples;
  if (int error = memAllocArray(l.storedSamples == 0 ? 1 : l.storedSamples, &mod->samples);
      error != 0) {
    return error;
  }
  for (std::uint32_t s = 0; s < l.storedSamples; ++s) {
    if (int error = ReadSampleHeader(l, s); error != 0) return error;
  }
  // A sample cannot need more bytes than the file that holds it; checking
  // first keeps a lying header from allocating gigabytes.
  if (l.largestStored > l.state.fileLength) return errEndOfFile;
  if (int error = l.state.AllocateSampleBuffer(l.largest); error != 0) return error;
  for (std::uint32_t s = 0; s < l.storedSamples; ++s) {
    if (int error = ReadSampleData(l, s); error != 0) return error;
  }
  if (l.state.buffer != nullptr) {
    memFree(l.state.buffer);
    l.state.buffer = nullptr;
  }
  return errOK;
}

// Sample mode: one instrument per sample; an index beyond the samples has none.
int MakeSampleInstrument(ItLoad& l, std::uint32_t i) {
  Module* mod = l.state.module;
  const bool hasSample = i < l.storedSamples;
  ModuleInstrument* instrument = nullptr;
  if (int error = ModuleAllocInstrument(hasSample ? 1 : 0, &instrument); error != 0) {
    return error;
  }
  mod->instruments[i] = instrument;
  if (hasSample) {
    std::memcpy(instrument->name, mod->samples[i]->name, sizeof(instrument->name));
    instrument->samples[0] = mod->samples[i];
  }
  instrument->globalVolume = 128;  // full: sample mode has no instrument volume
  instrument->defaultPanning = 0xFF;
  instrument->used = i < 256 ? l.used[i] : 0;
  return errOK;
}

// Settings and envelopes of the old (before 2.00) or the new instrument layout.
int SetInstrumentSettings(const std::uint8_t* inst, bool oldLayout, ModuleInstrument* instrument) {
  if (oldLayout) {
    // The old layout's fade-out counts against 512: doubled onto 1024.
    instrument->fadeOut = Le16(&inst[24]) * 2u;
    instrument->newNoteAction = inst[26];
    instrument->dupCheckType = inst[27];
    instrument->globalVolume = 128;  // full: the old layout has no global volume
    instrument->defaultPanning = 0x80;  // nor a default panning
    return ReadOldEnvelope(inst, &instrument->volEnvelope);
  }
  instrument->newNoteAction = inst[17];
  instrument->dupCheckType = inst[18];
  instrument->dupCheckAction = inst[19];
  instrument->fadeOut = Le16(&inst[20]);
  instrument->pitchPanSeparation = inst[22];
  instrument->pitchPanCenter = inst[23];
  instrument->globalVolume = inst[24];
  instrument->defaultPanning = inst[25];
  instrument->randomVolume = inst[26];
  instrument->randomPanning = inst[27];
  instrument->filterCutoff = inst[58];
  instrument->filterResonance = inst[59];
  instrument->thirdIsFilter = (inst[468] & 0x80) != 0;
  if (int error = ReadEnvelope(&inst[304], false, &instrument->volEnvelope); error != 0) {
    return error;
  }
  if (int error = ReadEnvelope(&inst[386], true, &instrument->panEnvelope); error != 0) {
    return error;
  }
  return ReadEnvelope(&inst[468], true, &instrument->thirdEnvelope);
}

// Instrument mode: instrument i from its record (an empty one when missing),
// with the distinct samples of its note map in order of first use.
int ReadInstrument(ItLoad& l, std::uint32_t i) {
  Module* mod = l.state.module;
  std::array<std::uint8_t, instrumentBytes> inst{};
  const std::uint32_t offset = i < l.storedInstruments ? l.InstrumentOffsets()[i] : 0;
  if (offset != 0) {
    if (int error = l.state.ReadAt(offset, inst.data(), instrumentBytes); error != 0) {
      return error;
    }
  }
  std::uint8_t list[120];
  unsigned listLength = 0;
  std::uint8_t noteMap[240];
  for (unsigned n = 0; n < 120; ++n) {
    noteMap[n * 2] = inst[64 + n * 2];
    const unsigned s = inst[65 + n * 2];
    std::uint8_t index = 0xFF;
    if (s >= 1 && s <= l.storedSamples) {
      unsigned k = 0;
      while (k < listLength && list[k] != s) ++k;
      if (k == listLength) list[listLength++] = static_cast<std::uint8_t>(s);
      index = static_cast<std::uint8_t>(k);
    }
    noteMap[n * 2 + 1] = index;
  }
  ModuleInstrument* instrument = nullptr;
  if (int error = ModuleAllocInstrument(listLength, &instrument); error != 0) return error;
  mod->instruments[i] = instrument;
  for (unsigned k = 0; k < listLength; ++k) instrument->samples[k] = mod->samples[list[k] - 1];
  if (int error = memAllocArray(sizeof(noteMap), &instrument->noteMap); error != 0) return error;
  std::memcpy(instrument->noteMap, noteMap, sizeof(noteMap));
  std::memcpy(instrument->name, &inst[32], 26);
  instrument->name[26] = 0;
  instrument->used = i < 256 ? l.used[i] : 0;
  return SetInstrumentSettings(inst.data(), l.oldLayout, instrument);
}

int ReadInstruments(ItLoad& l) {
  Module* mod = l.state.module;
  const std::uint32_t numInstruments = mod->numInstruments;
  if (int error = memAllocArray(numInstruments == 0 ? 1 : numInstruments, &mod->instruments);
      error != 0) {
    return error;
  }
  for (std::uint32_t i = 0; i < numInstruments; ++i) {
    const int error = l.instrumentMode ? ReadInstrument(l, i) : MakeSampleInstrument(l, i);
    if (error != 0) return error;
  }
  memFree(l.state.offsets);
  l.state.offsets = nullptr;
  return errOK;
}

}  // namespace

int gmpLoadIT(const char* fileName, const SoundDevice* device, int addSamples,
              ModuleSampleCallback callback, Module** module) {
  ItLoad l;
  if (int error = l.state.Open(fileName, device, addSamples, callback, module); error != 0) return error;
  if (int error = ReadHeader(l); error != 0) return error;
  if (int error = ReadOrders(l); error != 0) return error;
  if (int error = ReadOffsets(l); error != 0) return error;
  if (int error = ReadPatterns(l); error != 0) return error;
  if (int error = ReadSamples(l); error != 0) return error;
  if (int error = ReadInstruments(l); error != 0) return error;
  return l.state.Finish(module);
}

namespace {
bool ProbeIT(const std::uint8_t* start, std::size_t, std::uint64_t) { return std::memcmp(start, "IMPM", 4) == 0; }
}  // namespace

const ModuleFormat itModuleFormat = {modKindIT, "IT", ProbeIT, gmpLoadIT};
