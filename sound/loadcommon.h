// Pieces the module and WAVE readers share: little-endian fields, the resources
// a load holds until it succeeds, opening the file, positioned reads, and
// handing a finished sample to the sound device.
#pragma once

#include <cstdint>

#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"

namespace loader {

inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// What a load holds: released on every failure, the module handed over on
// success by Finish.
struct LoadState {
  RawFile* file = nullptr;
  Module* module = nullptr;
  std::uint8_t* buffer = nullptr;
  std::uint8_t* work = nullptr;
  std::uint32_t* offsets = nullptr;
  const SoundDevice* device = nullptr;  // set when samples go to the device
  ModuleSampleCallback callback = nullptr;  // told of each sample the device takes
  std::uint64_t fileLength = 0;

  LoadState() = default;
  LoadState(const LoadState&) = delete;
  LoadState& operator=(const LoadState&) = delete;
  ~LoadState();

  // Checks the load arguments, clears *module, opens the file and measures it.
  int Open(const char* fileName, const SoundDevice* soundDevice, int addSamples,
           ModuleSampleCallback sampleCallback, Module** result);

  // Samples that go to the device are read into one shared buffer, sized for
  // the largest; samples kept in the module get memory of their own.
  int AllocateSampleBuffer(std::uint64_t largest);
  // Where the sample's data is read to; a sample kept in the module owns it.
  int SampleDataFor(ModuleSample* sample, std::uint8_t** data);

  // Reads [offset, offset + size) of the file, refusing ranges it does not hold.
  int ReadAt(std::uint64_t offset, void* data, std::uint32_t size);

  // Bytes of a sample's data of `length` bytes at `offset` that the file
  // holds. Other players play a file whose last sample is cut short by the
  // end of the file, so that sample (lastInFile) keeps what is there; any
  // other sample cut short fails with errEndOfFile.
  int SampleBytesInFile(std::uint64_t offset, std::uint32_t length, bool lastInFile,
                        std::uint32_t* available) const;

  // Closes the file and gives the module to the caller.
  int Finish(Module** result);
};

// Cuts a sample to `length` bytes, its loop points with it; a loop left with
// nothing to repeat is dropped (loop type none, loop mode unloopedMode).
void ShortenSample(ModuleSample* sample, std::uint32_t length, std::uint8_t unloopedMode);

// Completes the descriptor's loops from the sample and, when samples go to the
// device, adds it there and calls the caller's callback.
int HandOverSample(const LoadState& state, SampleDescriptor* descriptor, ModuleSample* sample);

// Describes sample data already in the mixer's form (unsigned 8-bit or signed
// 16-bit) and hands it over; an empty sample goes with an empty description.
int HandOverConverted(const LoadState& state, std::uint8_t* data, ModuleSample* sample);

}  // namespace loader
