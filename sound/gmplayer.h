// The module player: walks a loaded Module tick by tick and row by row,
// applies notes, instruments, volumes and effect commands to its channels,
// and sends each channel's sample, rate, volume and panning to the sound
// device. Up to 16 songs play at once, each in its own PlayerHandle; the
// player thread calls gmpPlay at the rate the player last asked the device for
// (tempo × 40 in 1/100 Hz).
#pragma once

#include <cstdint>

#include "sound/module.h"

struct SoundDevice;
struct PlayerVoice;  // sound/gmpvoices.h

inline constexpr int gmpMaxHandles = 16;

// Channel flag bits.
enum : std::uint8_t {
  gmpFlagNote = 0x01,        // note on this row
  gmpFlagVolume = 0x02,      // volume on this row
  gmpFlagInstrument = 0x04,  // instrument on this row
  gmpFlagCommand = 0x08,     // command on this row
  gmpFlagNoteDelay = 0x10,   // note start held back by a note delay
  gmpFlagNoteFade = 0x20,    // IT note fade on this row (held back by a note delay too)
};

// What the application can read about a playing song.
struct PlayerInfo {
  std::uint32_t position;
  std::uint32_t pattern;
  std::uint32_t row;
  std::uint32_t tempo;
  std::uint32_t speed;
  std::int32_t syncValue;  // last sync command value, -1 before the first
  std::uint32_t loopCount;
};

// Envelope playing state of one channel.
struct PlayerEnvelope {
  std::uint32_t position;  // in ticks
};

// IT resonant filter of one channel (sound/gmpfilter.h).
struct PlayerFilter {
  std::uint8_t cutoff;       // 0..127
  std::uint8_t resonance;    // 0..127
  std::uint8_t on;           // the device channel filters
  std::uint8_t noteStarted;  // a note started since the last tick
  std::uint16_t sentChannel; // device channel last told, 0xFFFF = none
  std::uint16_t sentCutoff;  // what it was told
  std::uint8_t sentResonance;
  PlayerEnvelope envelope;   // filter envelope position
};

// IT volume state of one channel (sound/gmpitvol.h).
struct PlayerItVolume {
  std::uint8_t channelVolume;       // 0..64: the header's, then M and N
  std::uint8_t channelSlideMemory;  // last nonzero N
  std::uint8_t globalSlideMemory;   // last nonzero W
  std::uint8_t envelopesOff;        // gmpItEnvelope* bits switched off by S77, S79, S7B
};

// IT panbrello and surround of one channel (sound/gmpitpan.h).
struct PlayerItPanning {
  std::uint8_t speed;
  std::uint8_t depth;
  std::uint8_t position;
  std::uint8_t waveform;   // S5x: sine, ramp down, square, random
  std::int8_t offset;      // the last wave value, held until a note or a panning
  std::int8_t held;        // the random wave's value, held for `speed` ticks
  std::uint8_t surround;   // S91
};

// IT note swing: the random volume and panning an instrument gives each new
// note, and its pitch-pan separation (sound/gmpitswing.h).
struct PlayerItSwing {
  std::int16_t volume;    // added to sample × instrument global volume (0..8192)
  std::int16_t panning;   // on IT's 0..256 panning scale
  std::int16_t pitchPan;  // on IT's 0..256 panning scale
};

struct PlayerChannel {
  std::uint32_t period;          // base period of the playing note
  std::int32_t instrument;       // -1 = none
  std::int32_t newInstrument;    // instrument given on this row
  std::uint32_t targetPeriod;    // tone-portamento destination, 0 = none
  std::uint32_t sampleOffset;    // start offset (samples) for the next note start
  std::uint8_t sample;           // index inside the instrument, 0xFF = none
  std::uint16_t deviceChannel;
  std::uint8_t volumeByte;       // volume column of this row
  std::uint8_t note;             // note byte of this row (packed form)
  std::uint32_t lastParameter;   // last nonzero parameter (S3M, IT)
  std::uint8_t parameterMemory[moduleCommandCount];  // per-command memory (XM)
  std::uint8_t volume;
  std::uint8_t effectiveVolume;
  std::uint8_t channelVolume;    // set by the application, 0..64
  std::uint8_t command;
  std::uint8_t parameter;        // raw parameter of this row
  std::uint8_t portamentoSpeed;
  std::uint8_t itSlideMemory;    // IT: the parameter E, F and G share
  std::uint8_t itVolumeMemory;   // IT: the volume column's a, b, c, d
  std::int32_t panning;          // in the kind's range (device value for MOD, S3M)
  std::int32_t fadeOutVolume;    // XM 0x10000 = full, IT 0x200 = full
  std::uint8_t released;         // key off seen (XM, IT)
  std::uint8_t fading;           // IT: the fade-out runs without a key off
  std::uint8_t sounding;         // IT: a note was started and not stopped since
  std::uint8_t noteAction;       // IT: what happens to this note at the next one
  std::uint64_t framePosition;   // IT: sample frames played × 256 (estimated)
  std::uint8_t retriggerCounter;
  std::uint8_t finalVolume;      // last volume sent to the device
  std::uint8_t lastNote;
  std::uint8_t vibratoSpeed;
  std::uint8_t vibratoDepth;
  std::uint8_t vibratoPosition;
  std::uint8_t offsetMemory;
  std::uint32_t outputPeriod;    // after per-tick effects
  std::uint32_t soundingPeriod;  // after automatic vibrato
  std::uint32_t autoVibratoDepth;  // current depth × 256
  std::uint8_t autoVibratoPosition;
  std::uint8_t loopStartRow;     // pattern loop (MOD, XM)
  std::uint8_t loopCounter;
  std::uint8_t volumeSlideMemory;  // XM
  PlayerEnvelope volumeEnvelope;
  PlayerEnvelope panningEnvelope;
  std::uint8_t flags;            // gmpFlag*
  // Waveforms of vibrato and tremolo: bits 0-1 sine, ramp down, square,
  // random; bit 2 keeps the position when a note starts.
  std::uint8_t vibratoWaveform;
  std::uint8_t tremoloWaveform;
  std::uint8_t tremoloSpeed;
  std::uint8_t tremoloDepth;
  std::uint8_t tremoloPosition;
  std::uint8_t tremorCount;      // ticks into the tremor's on-off cycle
  std::uint8_t glissando;        // tone portamento sounds in semitones
  std::uint8_t tuningSet;        // a set-fine-tune command overrides the sample's
  std::int32_t tuning;           // MOD, XM fine tune; S3M C-4 rate
  PlayerFilter filter;           // IT
  PlayerEnvelope pitchEnvelope;  // IT
  PlayerItPanning itPanning;     // IT
  PlayerItVolume itVolume;       // IT
  PlayerItSwing itSwing;         // IT
};

using gmpSyncCallback = void (*)(unsigned value, unsigned position, unsigned row);
using gmpTempoCallback = void (*)(unsigned updateRate);

struct PlayerHandle {
  std::uint32_t slot;
  Module* module;
  const std::uint8_t* rowPointer;  // null: seek to the current row before reading
  std::uint32_t position;
  std::uint32_t pattern;
  std::uint32_t row;
  std::uint32_t songEnd;
  std::uint32_t restart;
  std::uint32_t tempo;
  std::uint32_t speed;
  std::uint32_t tick;
  std::uint32_t patternDelay;
  std::uint32_t extraTicks;    // IT S6x: ticks the row lasts beyond the speed
  std::uint32_t numChannels;
  std::uint32_t maxPeriod;
  std::uint32_t minPeriod;
  std::uint32_t slideShift;
  std::uint32_t maxVolume;
  std::uint32_t loopCount;
  std::uint32_t loopingAllowed;
  std::uint8_t loopStartRow;   // pattern loop (S3M, IT)
  std::uint8_t loopCounter;
  std::uint8_t globalVolume;   // 0..64; IT 0..128
  std::uint8_t masterVolume;
  PlayerChannel* channels;
  PlayerVoice* voices;         // IT background voices, numVoices of them
  std::uint32_t numVoices;
  std::uint32_t voiceSerial;   // counts notes moved to the background
  std::uint32_t itRandom;      // IT note swing's random source, seeded from the song
  PlayerInfo* info;
  gmpSyncCallback syncCallback;
  std::int32_t lastSyncValue;
};

// Remembers the device, empties the handle table, clears the tempo callback
// and asks for tempo 125 (update rate 5000).
int gmpInit(const SoundDevice* device);
// Stops every playing song.
int gmpClose();
// Stores the callback and, when one is given, calls it with tempo × 40.
int gmpSetTempoCallback(gmpTempoCallback callback);

// Starts a song. firstPosition -1 plays the whole song (lastPosition and
// restartPosition are then ignored); numChannels -1 takes the module's count;
// channels holds one device channel number per song channel.
int gmpPlaySong(Module* module, int firstPosition, int lastPosition, int restartPosition,
                int loopingAllowed, int numChannels, const unsigned* channels,
                PlayerHandle** handle);
int gmpStopSong(PlayerHandle* handle);

// One tick for every playing song. A song that may not loop is held once it
// has wrapped and the row that wrapped it has played out (gmpSongWrapped).
int gmpPlay();

// True once the song has wrapped or jumped back (its loop count is not 0) and
// the row that did so has had all its ticks and pattern-delay repeats: the
// next tick would read a row of the song's next round.
bool gmpSongWrapped(const PlayerHandle* handle);

int gmpSetPosition(PlayerHandle* handle, unsigned position);
int gmpSetSyncCallback(PlayerHandle* handle, gmpSyncCallback callback);
int gmpSetMasterVolume(PlayerHandle* handle, unsigned volume);
int gmpSetChannelVolume(PlayerHandle* handle, unsigned channel, unsigned volume);
int gmpGetInfo(PlayerHandle* handle, PlayerInfo** info);
// Tempo 0 is ignored. Asks the device for tempo × 40 and tells the tempo
// callback.
int gmpSetTempo(PlayerHandle* handle, unsigned tempo);

// Conversions the player uses, exposed for the tools and for checks.
// Period of a packed note on a sample; 0 when the note cannot sound (no
// valid semitone, a C-4 rate of 0).
std::uint32_t gmpNotePeriod(const Module* module, const ModuleSample* sample, std::uint8_t note);
// Frequency in Hz of a period for the module's kind and flags; a period of 0
// gives errInvalidPattern.
int gmpPeriodToFrequency(const Module* module, std::uint32_t period, std::uint32_t* frequency);
