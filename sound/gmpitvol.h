// IT volume rules in the player: the song's global volume on IT's 0..128
// scale (V, W), each channel's own volume (the header's, M, N), and the
// device volume they make together with the note's volume, the sample's and
// the instrument's global volumes. Only IT songs use them.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// The scale of the note volume handed to gmpItDeviceVolume: the volume
// (0..64) with the fade-out and the volume envelope applied at the fade-out's
// precision of 1/1024.
inline constexpr std::uint32_t gmpItNoteVolumeFull = 64u << 10;

// Envelopes S77..S7C switch off and on again, until an instrument is given.
enum : std::uint8_t {
  gmpItEnvelopeVolume = 0x01,
  gmpItEnvelopePanning = 0x02,
  gmpItEnvelopePitch = 0x04,  // the third envelope, pitch or filter
};

// Whether the channel plays its instrument's envelope of that kind.
inline bool gmpItEnvelopeOn(const PlayerChannel* c, std::uint8_t envelope) {
  return (c->itVolume.envelopesOff & envelope) == 0;
}

// S77..S7C (parameter 7..12): volume, panning, pitch envelope off, on.
void gmpItEnvelopeSwitch(PlayerChannel* c, unsigned parameter);

// The slot of PlayerChannel::parameterMemory an IT command's 00 parameter is
// taken from. D, K and L share one memory (the volume slide), E and F
// another, which G shares too unless the song asks for compatible Gxx; every
// other command keeps its own.
std::uint8_t gmpItMemorySlot(const Module* m, std::uint8_t command);

// Every channel's starting volume: the header's initial channel volume, and
// its surround from the header's panning.
void gmpItStartChannels(PlayerHandle* h);

// The device volume (0..64) of a channel: note volume × sample global volume
// (0..64) × instrument global volume (0..128) × channel volume (0..64) ×
// song global volume (0..128), then the application's channel and master
// volumes (0..64); a product above 0 never rounds down to silence.
std::uint8_t gmpItDeviceVolume(const PlayerHandle* h, const PlayerChannel* c,
                               std::uint32_t noteVolume);

// Command handlers (sound/gmpcmds.h): p is the parameter after the memory
// substitution, r the raw byte.
// Vxx: the global volume, held at 128.
int gmpItSetGlobalVolume(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// Wxy: global volume slide; W0y down and Wx0 up on every tick but the first,
// WFy down and WxF up once on the first; W00 takes the channel's last W.
int gmpItGlobalVolumeSlide(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// Mxx: the channel volume; values above 64 are ignored.
int gmpItSetChannelVolume(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// Nxy: channel volume slide, shaped as W, with its own memory.
int gmpItChannelVolumeSlide(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
