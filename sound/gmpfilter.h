// IT resonant filters in the player: each channel's cutoff and resonance
// (0..127), set by the instrument's defaults when a note starts and by Zxx
// with the default MIDI macros (Z00..Z7F the cutoff, Z80..Z8F the resonance
// in steps of 8), scaled per tick by a filter envelope and sent to the
// device's SetFilter when they change. Only IT songs use them.
#pragma once

#include "sound/gmplayer.h"

// A channel's starting filter: open (cutoff 127, resonance 0) and off, with
// nothing sent to its device channel yet.
void gmpFilterStart(PlayerChannel* c);

// Zxx with the default macros; Z90..ZFF have empty macros and do nothing.
void gmpFilterMacro(PlayerChannel* c, unsigned parameter);

// A note starts on the channel: the instrument's default cutoff and
// resonance (where set), then the row's own Zxx over them.
void gmpFilterNoteStart(PlayerHandle* h, PlayerChannel* c);

// Once per tick: moves the filter envelope on and tells the device of any
// change. An open filter (cutoff 127 at full envelope, resonance 0) stays on
// once a note played through it, as in the tracker, until a note starts open.
int gmpFilterUpdate(PlayerHandle* h, PlayerChannel* c, const ModuleInstrument* ins);

// Turns off the filters a stopping song left on its device channels.
int gmpFilterStop(PlayerHandle* h);
