// The in-memory module every reader builds and the player walks: the song,
// its order list, packed patterns, instruments, samples and envelopes, and
// the sample descriptor a reader hands to the sound device. Records are
// allocated with the sound allocator (sound/mem.h) and released as a whole by
// ModuleFree, which accepts partly built modules.
#pragma once

#include <cstddef>
#include <cstdint>

struct SoundDevice;  // sound/sdevice.h

// Module kinds; the player branches on this number.
enum ModuleKind : std::uint32_t {
  modKindMOD = 1,
  modKindS3M = 2,
  modKindXM = 3,
  modKindIT = 4,
};

// Module flag bits.
enum : std::uint32_t {
  modFlagAmigaLimits = 0x01,     // S3M: periods 452..3424
  modFlagFastVolSlides = 0x02,   // S3M: volume slides also act on tick 0
  modFlagExtOctaves = 0x04,      // MOD: periods 28..1712 instead of 113..856
  modFlagLinear = 0x08,          // XM linear frequencies, IT linear slides
  modFlagInstrumentMode = 0x10,  // IT instrument mode
  modFlagItOldEffects = 0x20,    // IT header flag 0x10: old effects
  modFlagItCompatibleGxx = 0x40, // IT header flag 0x20: G keeps its own memory
};

// Order-list markers.
enum : std::uint16_t {
  orderSkip = 0xFFFE,  // the player steps over it
  orderEnd = 0xFFFF,   // continue at the restart position
};

// Sample types (descriptor, module sample and mixer slot).
enum : unsigned {
  smpNone = 0,
  smp8bitMono = 1,      // unsigned bytes
  smp16bitMono = 2,     // signed 16-bit
  smp8bitStereo = 3,    // two-byte frames
  smp16bitStereo = 4,   // four-byte frames
  smpMuLawMono = 7,     // the mixer's own compressed forms
  smpMuLawStereo = 8,
};

// Sample placement.
enum : unsigned {
  sdNoData = 0,
  sdSmpConv = 1,  // data in ordinary memory
};

// Loop modes.
enum : unsigned {
  loopModeNone = 0,
  loopModeSingle = 1,       // loop 1 only
  loopModeRelease = 2,      // loop 1 until released, then loop 2
  loopModeReleaseAlt = 3,   // as 2
  loopModeSwapNone = 4,     // no loop, with sample swapping
  loopModeSwapLoop = 5,     // loop 1, with sample swapping
};

// Loop types.
enum : unsigned {
  loopTypeNone = 0,
  loopTypeForward = 1,
  loopTypePingPong = 2,
};

// Packed-pattern entry flag bits; bits 0-4 hold the channel.
enum : std::uint8_t {
  pattChannelMask = 0x1F,
  pattNoteInst = 0x20,   // note byte, then instrument byte
  pattVolume = 0x40,     // volume byte
  pattCommand = 0x80,    // command byte, then parameter byte
};

// Effect commands: the command byte of a packed entry. Every reader maps its
// format's letters or effect numbers onto these, and the player's handler
// tables are indexed by them. cmdNone is never stored: a reader drops a
// command that maps to it.
enum ModuleCommand : std::uint8_t {
  cmdNone = 0,
  cmdArpeggio = 1,
  cmdPortamentoUp = 2,
  cmdPortamentoDown = 3,
  cmdTonePortamento = 4,
  cmdVibrato = 5,
  cmdTonePortamentoVolumeSlide = 6,
  cmdVibratoVolumeSlide = 7,
  cmdTremolo = 8,
  cmdSetPanning = 9,
  cmdSampleOffset = 10,
  cmdVolumeSlide = 11,
  cmdPositionJump = 12,
  cmdSetVolume = 13,
  cmdPatternBreak = 14,
  cmdSetSpeed = 15,
  cmdSetTempo = 16,
  cmdFinePortamentoUp = 17,
  cmdFinePortamentoDown = 18,
  cmdPatternLoop = 19,
  cmdSetPanning4Bit = 20,
  cmdRetrigger = 21,
  cmdFineVolumeSlideUp = 22,
  cmdFineVolumeSlideDown = 23,
  cmdNoteCut = 24,
  cmdNoteDelay = 25,
  cmdPatternDelay = 26,
  cmdSetGlobalVolume = 27,
  cmdGlobalVolumeSlide = 28,
  cmdRetriggerVolumeChange = 29,
  cmdSync = 30,
  cmdExtraFinePortamentoUp = 31,
  cmdExtraFinePortamentoDown = 32,
  cmdPanningSlide = 33,
  // Beyond the original set: commands real MOD, S3M and XM songs use.
  cmdTremor = 34,               // S3M Ixy, XM Txy
  cmdFineVibrato = 35,          // S3M and IT Uxy
  cmdGlissandoControl = 36,     // MOD/XM E3x, S3M/IT S1x
  cmdSetFineTune = 37,          // MOD/XM E5x, S3M S2x
  cmdVibratoWaveform = 38,      // MOD/XM E4x, S3M/IT S3x
  cmdTremoloWaveform = 39,      // MOD/XM E7x, S3M S4x
  cmdSetEnvelopePosition = 40,  // XM Lxx
  cmdKeyOff = 41,               // XM Kxx with xx above 0: key off on tick xx
  cmdNoteAction = 42,           // IT S7x: past-note actions, the playing note's new-note action
  cmdSetChannelVolume = 43,     // IT Mxx
  cmdChannelVolumeSlide = 44,   // IT Nxy
  cmdFinePatternDelay = 45,     // IT S6x: x extra ticks on the row
  cmdSurround = 46,             // IT S9x (S91: surround)
  cmdHighOffset = 47,           // IT SAx: sample offset bits 16..19
  cmdPanbrello = 48,            // IT Yxy
  cmdPanbrelloWaveform = 49,    // IT S5x
};
// The size of a table indexed by command.
inline constexpr unsigned moduleCommandCount = cmdPanbrelloWaveform + 1;

// Special byte values inside packed entries.
enum : std::uint8_t {
  noteNone = 0xFF,
  noteCut = 0xFE,       // S3M cut, MOD release, XM/IT key off
  noteStop = 0xFD,      // the sound stops (any kind)
  noteFade = 0xFC,      // IT note fade: the note fades out, not released
  instNone = 0xFF,
  volumeNone = 0x50,
};

// What a reader passes to the device's AddSample. Lengths and loop points in
// bytes. The S3M reader fills only the fields up to loop1Type.
struct SampleDescriptor {
  void* sample;             // data, or null
  unsigned placement;       // sdNoData / sdSmpConv
  unsigned sampleType;      // smp*
  unsigned sampleLength;    // bytes
  unsigned loopMode;        // loopMode*
  unsigned loop1Start;
  unsigned loop1End;
  unsigned loop1Type;       // loopType*
  unsigned loop2Start;
  unsigned loop2End;
  unsigned loop2Type;
};

// One envelope; positions in ticks, values 0..64 (panning around 32).
inline constexpr int envelopeMaxPoints = 25;
struct ModuleEnvelope {
  std::uint8_t numPoints;
  std::uint8_t sustain;           // 0xFF = none
  std::uint8_t loopStart;         // 0xFF = no loop
  std::uint8_t loopEnd;
  std::uint8_t sustainLoopStart;  // 0xFF = none (IT)
  std::uint8_t sustainLoopEnd;
  std::uint8_t inclusiveLoops;    // IT: a loop's end point plays before the jump back
  std::uint16_t points[envelopeMaxPoints][2];  // position, value
};

struct ModuleSample {
  char name[32];
  unsigned sdHandle;           // device sample handle, 0 = not added
  std::uint8_t* data;          // kept only when the reader was told not to add samples
  std::uint32_t length;        // bytes
  std::uint8_t sampleType;     // smp8bitMono / smp16bitMono
  std::uint8_t loopMode;       // loopMode*
  std::uint8_t loopType;       // loopType* of loop 1
  std::uint8_t loop2Type;      // loopType* of loop 2 (IT sustain loop)
  std::uint32_t loopStart;     // bytes
  std::uint32_t loopEnd;
  std::uint32_t loop2Start;
  std::uint32_t loop2End;
  std::uint32_t volume;        // default volume 0..64
  std::uint32_t globalVolume;  // IT sample global volume 0..64
  std::int32_t panning;        // XM 0..255; IT -1 = none
  std::int32_t basePitch;      // S3M C-4 rate, IT C-5 rate (Hz), XM relative note
  std::int32_t fineTune;       // MOD 0..15, XM -128..127
  std::uint32_t fileOffset;    // where the data lies (XM reader, between passes)
  std::uint8_t vibType;        // IT automatic vibrato
  std::uint8_t vibRate;
  std::uint8_t vibDepth;
  std::uint8_t vibSpeed;
};

// Called by a reader once per sample after it was handed to the device, with
// its descriptor and the module's sample record; a nonzero result aborts the
// load with that code.
using ModuleSampleCallback = int (*)(const SampleDescriptor* descriptor, ModuleSample* sample);

struct ModuleInstrument {
  char name[32];
  std::uint32_t numSamples;
  std::uint8_t* noteMap;           // null, XM 96 bytes, IT 120 (note, sample) pairs
  ModuleEnvelope* volEnvelope;     // each null or an envelope
  ModuleEnvelope* panEnvelope;
  ModuleEnvelope* thirdEnvelope;   // IT
  std::uint32_t fadeOut;
  std::uint32_t globalVolume;      // IT 0..128; 64 otherwise
  std::uint8_t vibType;            // XM automatic vibrato
  std::uint8_t vibSweep;
  std::uint8_t vibDepth;
  std::uint8_t vibRate;
  std::uint8_t newNoteAction;      // IT settings
  std::uint8_t dupCheckType;
  std::uint8_t dupCheckAction;
  std::uint8_t pitchPanSeparation;
  std::uint8_t pitchPanCenter;
  std::uint8_t defaultPanning;     // bit 7: skip the set-panning step at note start
  std::uint8_t randomVolume;
  std::uint8_t randomPanning;
  std::uint8_t filterCutoff;       // IT default cutoff 0..127, bit 7: set
  std::uint8_t filterResonance;    // IT default resonance 0..127, bit 7: set
  std::uint8_t thirdIsFilter;      // IT: the third envelope drives the filter
  std::uint32_t used;              // 1 if any pattern refers to the instrument
  // numSamples pointers, stored in the same allocation right after this record
  // (ModuleAllocInstrument sets it up); null when numSamples is 0. The samples
  // themselves belong to the module's sample table.
  ModuleSample** samples;
};

// Header of a packed pattern; the rows follow it in the same block.
struct PackedPattern {
  std::uint32_t length;  // whole block in bytes, this header included
  std::uint32_t rows;
};
static_assert(sizeof(PackedPattern) == 8);

inline std::uint8_t* PatternRows(PackedPattern* pattern) {
  return reinterpret_cast<std::uint8_t*>(pattern) + sizeof(PackedPattern);
}
inline const std::uint8_t* PatternRows(const PackedPattern* pattern) {
  return reinterpret_cast<const std::uint8_t*>(pattern) + sizeof(PackedPattern);
}

struct Module {
  char name[32];
  std::uint32_t kind;             // ModuleKind
  std::uint32_t songLength;       // entries in the order list
  std::uint32_t restartPosition;
  std::uint32_t numInstruments;
  std::uint32_t numSamples;
  std::uint32_t numPatterns;
  std::uint8_t numChannels;
  std::uint8_t globalVolume;      // 0..64; IT 0..128
  std::uint8_t speed;
  std::uint8_t tempo;
  std::int32_t* panning;          // 32 entries (S3M, XM, MOD) or 64 (IT)
  std::uint16_t* orders;          // songLength entries
  ModuleInstrument** instruments; // numInstruments pointers
  ModuleSample** samples;         // numSamples pointers
  PackedPattern** patterns;       // numPatterns pointers
  std::uint32_t flags;            // modFlag*
  std::uint8_t mixingVolume;      // IT 0..128
  std::uint8_t channelVolume[64]; // IT initial channel volumes 0..64
  std::uint64_t surroundChannels; // IT: bit c set, channel c starts in surround
};

// Allocates an instrument with room for numSamples sample pointers in the same
// block; the pointers start null.
int ModuleAllocInstrument(std::uint32_t numSamples, ModuleInstrument** instrument);

// Allocates a packed pattern of `rows` empty rows (each the single byte 0):
// 64 rows make the 72-byte empty pattern.
int ModuleAllocEmptyPattern(std::uint32_t rows, PackedPattern** pattern);

// Frees a module and everything it holds, in the documented order: panning,
// order list, each instrument (note map, the three envelopes, the instrument)
// and the instrument table, each sample (its device handle is removed through
// device->RemoveSample when device is given and the handle is nonzero; then
// its data and the record) and the sample table, each pattern and the pattern
// table, then the module. Null pointers anywhere are skipped, so a half-built
// module can be freed. The first failing step stops the walk and its code is
// returned. A null module gives errInvalidArguments.
int ModuleFree(Module* module, const SoundDevice* device);
