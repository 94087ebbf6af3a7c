// Volume ramps: a channel's volumes move toward their targets by a fixed
// step per output sample, so that a volume change makes no click.
#pragma once

#include <cstdint>

#include "sound/dsmmix.h"

// Moves a ramping channel's volumes one sample toward their targets; the
// ramp ends when both are there.
void dsmRampOnce(DsmChannel& ch);

// The volumes of the next samples of a running ramp, at most limit of them,
// into left and right: each sample's volumes before its step. Returns how
// many (at least one while ch.ramping and limit > 0) and leaves the channel
// as that many dsmRampOnce calls would.
unsigned dsmRampVolumes(DsmChannel& ch, unsigned limit, std::int32_t* left, std::int32_t* right);
