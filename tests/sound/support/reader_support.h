// Test support for the sample-file and module reader tests: scratch files on
// disk for the readers to open, a recording sound device that keeps a copy of
// every sample it is given, and a walker of packed patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/sdevice.h"

namespace soundtest {

// Writes bytes to a fresh file under the temporary directory; removes it on
// destruction.
class ScratchFile {
public:
  explicit ScratchFile(const std::vector<std::uint8_t>& bytes);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const char* path() const { return path_.c_str(); }

private:
  std::string path_;
};

struct RecordedSample {
  SampleDescriptor descriptor;       // as given; descriptor.sample is not kept
  std::vector<std::uint8_t> data;    // copy of descriptor.sample's bytes
  unsigned handle = 0;
  bool removed = false;
};

// A device whose AddSample records each sample (handles 1, 2, ...) and whose
// RemoveSample marks it removed. Only one may exist at a time.
class RecordingDevice {
public:
  RecordingDevice();
  ~RecordingDevice();
  RecordingDevice(const RecordingDevice&) = delete;
  RecordingDevice& operator=(const RecordingDevice&) = delete;

  const SoundDevice* device() const { return &device_; }
  std::vector<RecordedSample>& samples() { return samples_; }
  // Samples added and not removed.
  int Live() const;
  // AddSample fails with `error` once `count` samples were added.
  void FailAfter(int count, int error) {
    failAfter_ = count;
    failError_ = error;
  }

private:
  static int Add(const SampleDescriptor* sample, int copySample, unsigned* smpHandle);
  static int Remove(unsigned smpHandle);

  SoundDevice device_{};
  std::vector<RecordedSample> samples_;
  int failAfter_ = -1;
  int failError_ = 0;
};

// One entry of a packed pattern; -1 marks a part that is not present.
struct Entry {
  unsigned row = 0;
  unsigned channel = 0;
  int note = -1;
  int instrument = -1;
  int volume = -1;
  int command = -1;
  int param = -1;
};

// Walks a packed pattern. *wellFormed tells whether its rows end exactly at
// its stated length with the stated row count.
std::vector<Entry> DecodePattern(const PackedPattern* pattern, bool* wellFormed);

}  // namespace soundtest
