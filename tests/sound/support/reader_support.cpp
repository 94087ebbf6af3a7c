#include "tests/sound/support/reader_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "sound/errors.h"

namespace soundtest {

ScratchFile::ScratchFile(const std::vector<std::uint8_t>& bytes) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr ? dir : "/tmp") + "/soundtest-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  const int fd = mkstemp(name.data());
  if (fd < 0) return;
  path_ = name.data();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

ScratchFile::~ScratchFile() {
  if (!path_.empty()) std::remove(path_.c_str());
}

namespace {
RecordingDevice* current = nullptr;
}

RecordingDevice::RecordingDevice() {
  device_.AddSample = &RecordingDevice::Add;
  device_.RemoveSample = &RecordingDevice::Remove;
  current = this;
}

RecordingDevice::~RecordingDevice() { current = nullptr; }

int RecordingDevice::Live() const {
  int live = 0;
  for (const auto& s : samples_) live += s.removed ? 0 : 1;
  return live;
}

int RecordingDevice::Add(const SampleDescriptor* sample, int, unsigned* smpHandle) {
  if (current == nullptr || sample == nullptr || smpHandle == nullptr) return errInvalidArguments;
  if (current->failAfter_ >= 0 &&
      static_cast<int>(current->samples_.size()) >= current->failAfter_) {
    return current->failError_;
  }
  RecordedSample r;
  r.descriptor = *sample;
  if (sample->sample != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(sample->sample);
    r.data.assign(bytes, bytes + sample->sampleLength);
  }
  r.descriptor.sample = nullptr;
  r.handle = static_cast<unsigned>(current->samples_.size() + 1);
  current->samples_.push_back(r);
  *smpHandle = r.handle;
  return errOK;
}

int RecordingDevice::Remove(unsigned smpHandle) {
  if (current == nullptr || smpHandle == 0 || smpHandle > current->samples_.size()) {
    return errInvalidSampleHandle;
  }
  RecordedSample& r = current->samples_[smpHandle - 1];
  if (r.removed) return errInvalidSampleHandle;
  r.removed = true;
  return errOK;
}

std::vector<Entry> DecodePattern(const PackedPattern* pattern, bool* wellFormed) {
  std::vector<Entry> entries;
  *wellFormed = false;
  if (pattern == nullptr || pattern->length < sizeof(PackedPattern)) return entries;
  const std::uint8_t* p = PatternRows(pattern);
  const std::uint32_t size = pattern->length - static_cast<std::uint32_t>(sizeof(PackedPattern));
  std::uint32_t pos = 0;
  unsigned row = 0;
  while (pos < size) {
    const std::uint8_t flag = p[pos++];
    if (flag == 0) {
      ++row;
      continue;
    }
    Entry e;
    e.row = row;
    e.channel = flag & pattChannelMask;
    const std::uint32_t need = ((flag & pattNoteInst) ? 2 : 0) + ((flag & pattVolume) ? 1 : 0) +
                               ((flag & pattCommand) ? 2 : 0);
    if (size - pos < need) return entries;
    if (flag & pattNoteInst) {
      e.note = p[pos++];
      e.instrument = p[pos++];
    }
    if (flag & pattVolume) e.volume = p[pos++];
    if (flag & pattCommand) {
      e.command = p[pos++];
      e.param = p[pos++];
    }
    entries.push_back(e);
  }
  *wellFormed = row == pattern->rows;
  return entries;
}

}  // namespace soundtest
