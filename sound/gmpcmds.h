// Effect commands of the module player: one row-handler table and one
// tick-handler table per module kind, indexed by ModuleCommand
// (sound/module.h), plus the volume-column handlers. Handlers work on one
// channel of one playing song and return 0 or an error code.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// p: the parameter after the kind's memory substitution; r: the raw byte.
using gmpCommandHandler = int (*)(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);

// Handler tables by module kind (1..4), moduleCommandCount entries each;
// index 0 is unused.
extern const gmpCommandHandler* const gmpRowCommands[5];
extern const gmpCommandHandler* const gmpTickCommands[5];

// Volume column values above 64: the first-tick handler (every kind) and the
// later-tick handler (XM, IT).
int gmpVolumeColumnRow(PlayerHandle* h, PlayerChannel* c);
int gmpVolumeColumnTick(PlayerHandle* h, PlayerChannel* c);

// Player operations the commands share (gmplayer.cpp).
int gmpStartNote(PlayerHandle* h, PlayerChannel* c);
int gmpSetPanningStep(PlayerHandle* h, PlayerChannel* c, int panning);
// Note period of a packed note on the channel's current sample (0 = none).
std::uint32_t gmpChannelNotePeriod(const PlayerHandle* h, const PlayerChannel* c,
                                   std::uint8_t note);
// The order advance at the end of a pattern: next playable entry, wrapping
// at 0xFFFF or past the song end (loop count + 1, global volume reset).
void gmpAdvanceOrder(PlayerHandle* h);
// Moves to order index `position`, stepping over entries that are not
// patterns like the advance does; a position past the song end wraps.
void gmpJumpToOrder(PlayerHandle* h, std::uint32_t position);
// Pattern row count of the handle's current pattern.
std::uint32_t gmpPatternRows(const PlayerHandle* h);
// Resets a channel's XM/IT envelopes, fade-out and automatic vibrato.
void gmpResetInstrumentState(PlayerHandle* h, PlayerChannel* c);
// The device the player drives.
const SoundDevice* gmpDevice();
// Envelope value (0..64 × 256) at the position, which then moves on a tick.
int gmpEnvelopeStep(const ModuleEnvelope* env, PlayerEnvelope* state, bool released);
