#include "sound/loadcommon.h"

#include "sound/errors.h"
#include "sound/mem.h"

namespace loader {

LoadState::~LoadState() {
  if (offsets != nullptr) memFree(offsets);
  if (work != nullptr) memFree(work);
  if (buffer != nullptr) memFree(buffer);
  if (module != nullptr) ModuleFree(module, device);
  if (file != nullptr) RawFileClose(file);
}

int LoadState::Open(const char* fileName, const SoundDevice* soundDevice, int addSamples,
                    ModuleSampleCallback sampleCallback, Module** result) {
  if (result == nullptr || fileName == nullptr) return errInvalidArguments;
  *result = nullptr;
  if (addSamples && (soundDevice == nullptr || soundDevice->AddSample == nullptr)) {
    return errInvalidArguments;
  }
  device = addSamples ? soundDevice : nullptr;
  callback = sampleCallback;
  if (int error = RawFileOpen(fileName, rfOpenRead, &file); error != 0) {
    file = nullptr;
    return error;
  }
  std::int32_t length = 0;
  if (int error = RawFileLength(file, &length); error != 0) return error;
  fileLength = length < 0 ? 0 : static_cast<std::uint64_t>(length);
  return errOK;
}

int LoadState::ReadAt(std::uint64_t offset, void* data, std::uint32_t size) {
  if (offset > fileLength || size > fileLength - offset) return errEndOfFile;
  if (int error = RawFileSeek(file, static_cast<std::int32_t>(offset), rfSeekAbsolute);
      error != 0) {
    return error;
  }
  return RawFileRead(file, data, size);
}

int LoadState::SampleBytesInFile(std::uint64_t offset, std::uint32_t length, bool lastInFile,
                                 std::uint32_t* available) const {
  const std::uint64_t held = offset < fileLength ? fileLength - offset : 0;
  if (held >= length) {
    *available = length;
    return errOK;
  }
  if (!lastInFile) return errEndOfFile;
  *available = static_cast<std::uint32_t>(held);
  return errOK;
}

int LoadState::Finish(Module** result) {
  RawFile* open = file;
  file = nullptr;
  if (int error = RawFileClose(open); error != 0) return error;
  *result = module;
  module = nullptr;
  return errOK;
}

int LoadState::AllocateSampleBuffer(std::uint64_t largest) {
  if (device == nullptr || largest == 0) return errOK;
  return memAllocArray(static_cast<std::size_t>(largest), &buffer);
}

int LoadState::SampleDataFor(ModuleSample* sample, std::uint8_t** data) {
  *data = buffer;
  if (device != nullptr) return errOK;
  if (int error = memAllocArray(sample->length, data); error != 0) return error;
  sample->data = *data;
  return errOK;
}

void ShortenSample(ModuleSample* sample, std::uint32_t length, std::uint8_t unloopedMode) {
  if (length >= sample->length) return;
  sample->length = length;
  if (sample->loopEnd > length) sample->loopEnd = length;
  if (sample->loopStart > length) sample->loopStart = length;
  if (sample->loopType != loopTypeNone && sample->loopStart >= sample->loopEnd) {
    sample->loopType = loopTypeNone;
    sample->loopMode = unloopedMode;
  }
}

int HandOverConverted(const LoadState& state, std::uint8_t* data, ModuleSample* sample) {
  SampleDescriptor descriptor{};
  if (sample->length > 0) {
    descriptor.sample = data;
    descriptor.placement = sdSmpConv;
    descriptor.sampleType = sample->sampleType;
    descriptor.sampleLength = sample->length;
  }
  return HandOverSample(state, &descriptor, sample);
}

int HandOverSample(const LoadState& state, SampleDescriptor* descriptor, ModuleSample* sample) {
  descriptor->loopMode = sample->loopMode;
  descriptor->loop1Start = sample->loopStart;
  descriptor->loop1End = sample->loopEnd;
  descriptor->loop1Type = sample->loopType;
  descriptor->loop2Start = sample->loop2Start;
  descriptor->loop2End = sample->loop2End;
  descriptor->loop2Type = sample->loop2Type;
  if (state.device == nullptr) return errOK;
  if (int error = state.device->AddSample(descriptor, 1, &sample->sdHandle); error != 0) {
    sample->sdHandle = 0;
    return error;
  }
  if (state.callback != nullptr) return state.callback(descriptor, sample);
  return errOK;
}

}  // namespace loader
