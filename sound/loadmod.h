// Reader of Amiga-style modules (MOD): builds a Module of kind 1 with notes
// turned back from periods, 8-bit unsigned samples and the sample-swapping
// loop modes of the mixer. Reads 31-sample files with a channel signature at
// byte 1080 and the older 15-sample files without one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sound/module.h"

// Loads fileName into *module. Channel pannings use the default stereo
// separation of gmpSetStereoSeparation (sound/loads3m.h). With addSamples
// set, each sample goes to device->AddSample (the device keeps its own copy)
// and the callback, if any, is called; otherwise each sample keeps its data
// in ModuleSample::data and device may be null. Returns 0 or an error code;
// on failure *module is null and nothing of the module survives.
int gmpLoadMOD(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module);

// Channel count named by the 4 signature bytes at file offset 1080: 4 for
// "M.K.", "M!K!", "M&K!", "FLT4", "FEST"; 8 for "OCTA", "FLT8"; 6 for "CD61",
// 8 for "CD81"; the digits of "xCHN", "xxCH", "TDZx" and "FA0x". 0 for
// anything else, and for counts outside 1..32.
int gmpModChannelsFromSignature(const std::uint8_t* signature);

// How a MOD file is laid out.
struct ModLayout {
  unsigned sampleCount = 31;     // 31, or 15 for files without a signature
  unsigned channels = 4;
  std::uint32_t headerSize = 1084;  // where the patterns start: 1084, or 600
  bool splitPatterns = false;    // "FLT8": each pattern stored as two 4-channel halves
};

// Bytes of a file's start that gmpModLayoutOf needs for a 31-sample file.
inline constexpr std::size_t modLayoutProbeBytes = 1084;

// The layout of a file from its first `size` bytes and its length. A known
// signature at 1080 makes a 31-sample layout. A file without one is taken as
// a 15-sample module only when its header holds up: printable names, volumes
// up to 64, fine tunes up to 15, sane lengths, a song length of 1..128, order
// bytes below 128, and a file long enough for its patterns and all samples
// but the last. Returns false when neither layout fits.
bool gmpModLayoutOf(const std::uint8_t* start, std::size_t size, std::uint64_t fileLength,
                    ModLayout* layout);
