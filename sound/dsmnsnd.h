// The no-sound device: mixes at 4000 Hz into the mixer's scratch buffer and throws
// the result away, so that songs advance in real time without audio output.
#pragma once

#include "sound/sdevice.h"

extern SoundDevice NoSoundDevice;
