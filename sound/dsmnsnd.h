// The no-sound device: mixes at 4000 Hz into the mixer's scratch buffer and throws
// the result away, so that songs advance in real time without audio output.
#pragma once

#include "sound/sdevice.h"

extern SoundDevice NoSoundDevice;

// The rate the next Init mixes (and keeps time) at; 0 restores the usual
// 4000 Hz. Init itself ignores the rate it is given, as the system expects;
// a host that wants the clock at its own rate (a player asked for 44100 Hz)
// says so here first.
void NoSoundSetMixRate(unsigned rate);
