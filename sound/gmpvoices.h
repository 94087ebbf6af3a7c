// Background voices of IT songs. When a new note takes a channel, the note
// playing there may go on sounding (the instrument's new-note action:
// continue, note off, note fade) on a device channel of its own beyond the
// song's; it keeps running its envelopes and fade-out and ends when it has
// faded, its envelope ended in silence or its sample played to the end. The
// duplicate check of the new note's instrument (same note, sample or
// instrument) acts on the older notes of the same channel first. The pool is
// bounded: when it is full, the quietest background voice (the oldest among
// equally quiet ones) gives way.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// Background voices a song asks for beyond its channels, as trackers keep.
inline constexpr unsigned gmpBackgroundVoices = 64;

// New-note actions (instrument and S73..S76) and duplicate actions.
enum : std::uint8_t {
  gmpNoteActionCut = 0,
  gmpNoteActionContinue = 1,
  gmpNoteActionOff = 2,
  gmpNoteActionFade = 3,
};
enum : std::uint8_t {
  gmpDuplicateOff = 0,
  gmpDuplicateNote = 1,
  gmpDuplicateSample = 2,
  gmpDuplicateInstrument = 3,
};
enum : std::uint8_t {
  gmpDuplicateActionCut = 0,
  gmpDuplicateActionOff = 1,
  gmpDuplicateActionFade = 2,
};

struct PlayerVoice {
  PlayerChannel state;  // the note's channel state, running on in the background
  std::uint32_t host;   // the song channel it came from
  std::uint32_t serial; // order in which voices were taken; lower is older
  std::uint8_t active;
};

// Device channels a song of this module uses: its channels, and for IT
// songs in instrument mode the background voices as well.
unsigned gmpDeviceChannelsFor(const Module* module);

// Gives a playing song device channels for its background voices (count of
// them, at most gmpBackgroundVoices are used). Without them every new note
// cuts the old one. A second call replaces the pool, stopping its voices.
int gmpSetVoiceChannels(PlayerHandle* h, unsigned count, const unsigned* channels);

// Releases the pool (gmpStopSong).
void gmpFreeVoices(PlayerHandle* h);

// Before a new note starts on channel c (not a tone portamento): the
// duplicate check of the new instrument, then the old note's new-note action.
int gmpVoicesBeforeNote(PlayerHandle* h, PlayerChannel* c);

// S70..S72: cut, release or fade the channel's background voices.
int gmpPastNoteAction(PlayerHandle* h, PlayerChannel* c, unsigned action);

// One tick of every background voice: envelopes, fade-out, device update,
// and the end of voices that are over.
int gmpUpdateVoices(PlayerHandle* h);

// Player operations the voices share (gmplayer.cpp).
ModuleInstrument* gmpChannelInstrument(const PlayerHandle* h, const PlayerChannel* c);
ModuleSample* gmpChannelSample(const PlayerHandle* h, const PlayerChannel* c);
// The sample index (0xFF = none) an instrument's note map gives a note; IT
// also replaces the note with the map's.
std::uint8_t gmpMapSample(const PlayerHandle* h, const ModuleInstrument* ins, std::uint8_t* note);
// Sends one channel's panning, volume and rate to its device channel.
int gmpUpdateChannel(PlayerHandle* h, PlayerChannel* c);
// IT key off: the note is released, its sustain loop ends, and its fade-out
// starts unless a volume envelope without a loop still runs.
int gmpReleaseNote(PlayerHandle* h, PlayerChannel* c);
