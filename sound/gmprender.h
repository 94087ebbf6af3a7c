// Whole-song services on top of the player for tools: loading a module of any
// kind by its header, measuring a song's length by playing it, and rendering
// it offline through the player and the mixer into memory blocks.
//
// These drive the module player directly (gmpInit with their own device), so
// they are not for use while the sound system plays in the same process.
#pragma once

#include <cstddef>
#include <cstdint>

struct Module;
struct SoundDevice;

// Chooses the reader by the file's first 48 bytes from the table of formats
// (sound/loadformats.h), as SoundLoadModule does, and loads the module. A file
// shorter than 48 bytes fails with errEndOfFile without any reader being called.
int gmpLoadAnyModule(const char* fileName, const SoundDevice* device, int addSamples,
                     Module** module);

// Longest song the whole-song services will play, in seconds: songs that
// never wrap stop here.
inline constexpr double gmpMaxSongSeconds = 3600.0;

// Plays the song through the player (without sound) until it wraps or ends,
// counting time as the player's update rate sets it. The last row counts in
// full; the ticks before the first row, which make no sound, do not.
int gmpSongDuration(Module* module, double* seconds);

struct RenderSettings {
  unsigned rate = 44100;
  bool mono = false;
  bool eightBit = false;
  bool interpolate = false;
  int filter = 3;         // 0 off, 1 light, 2 strong, 3 the mixer's choice
  unsigned mixPath = 0;   // 0 the mixer's choice; dsmMixFloat or dsmMixInteger
  double maxSeconds = gmpMaxSongSeconds;
  int repeats = 0;        // plays after the first; -1 repeats until maxSeconds
};

// Receives each rendered block: PCM frames in the settings' format (16-bit
// signed or 8-bit unsigned, left then right). Return false to stop.
using RenderSink = bool (*)(const std::uint8_t* data, std::size_t bytes, double seconds,
                            void* user);

// Loads fileName into the mixer and plays it once to its end (as
// gmpSongDuration measures it), then settings.repeats times more, handing
// the audio to sink. *seconds (if given) receives the rendered length.
int gmpRenderModule(const char* fileName, const RenderSettings& settings, RenderSink sink,
                    void* user, double* seconds);
