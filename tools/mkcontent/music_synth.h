// Synthesised instruments for the soundtrack: drums from shaped noise and
// swept sines, tonal voices from additive partials. Every generator is a pure
// function of its arguments, so the same call gives the same bytes.
//
// Tonal voices hold a whole number of cycles per loop so that their loops are
// seamless; their pitch is set by `cycleSamples` samples per cycle at C-4
// together with the C-4 rate the instrument is stored with.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/s3mwriter/s3mwriter.h"

namespace music {

// Sample rate of the drum voices and of their C-4 note.
inline constexpr std::uint32_t drumRate = 22050;

// Signal in floating point, before it is scaled and stored as 8-bit data.
using Signal = std::vector<double>;

// Scales `signal` so its largest magnitude becomes `peak` (0..1 of full
// scale) and stores it as unsigned 8-bit samples. A silent signal stays at 128.
std::vector<std::uint8_t> ToUnsigned8(const Signal& signal, double peak);

// Instrument makers: each returns a complete instrument (data, rate, loop).
s3m::Instrument Kick();
s3m::Instrument Snare();
s3m::Instrument ClosedHat();
s3m::Instrument OpenHat();
s3m::Instrument Clap();
s3m::Instrument Crash();
s3m::Instrument Tom();
s3m::Instrument Bass();        // plucked, bright attack settling to a looped tone
s3m::Instrument Pad();         // three detuned saw voices with a soft attack
s3m::Instrument Lead();        // hollow pulse with a slight chorus
s3m::Instrument Pluck();       // decaying, for arpeggios and echoes
s3m::Instrument Bell();        // inharmonic partials with long decay
s3m::Instrument SubDrone();    // sine with a touch of second harmonic
s3m::Instrument NoiseLoop();   // looped soft noise for sweeps and wind
s3m::Instrument ChipSquare();  // plain square for tracker arpeggios

}  // namespace music
