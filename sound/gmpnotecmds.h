// Commands on a channel's note and instrument state: set fine tune (MOD,
// S3M, XM), and the XM set envelope position and key off at a tick. The
// handlers fit the command tables of sound/gmpcmds.cpp.
#pragma once

#include "sound/gmpcmds.h"

// MOD and XM replace the sample's fine tune, S3M its C-4 rate, for the
// channel's notes until the next instrument; S3M also retunes the note playing.
int gmpSetFineTune(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// XM: the volume and panning envelopes go on from tick r.
int gmpSetEnvelopePosition(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// XM: a key off on the row's tick r (counted modulo 32).
int gmpKeyOffTick(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
