// WAVE reader: "RIFF", a size, "WAVE", then chunks of a 4-byte identifier and
// a 4-byte little-endian size. The "fmt " chunk gives the format, the "data"
// chunk the audio; other chunks are skipped.
#include "sound/waveread.h"

#include <cstring>

#include "sound/errors.h"
#include "sound/loadcommon.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"

namespace {

constexpr std::int32_t maxPosition = 0x7FFFFFFF;

using loader::Le16;
using loader::Le32;

// Moves forward by count bytes. File positions are signed 32-bit, so a skip
// past what they can express is the end of the file.
int Skip(RawFile* file, std::uint64_t count) {
  if (count == 0) return errOK;
  std::int32_t position = 0;
  if (int error = RawFileGetPosition(file, &position); error != 0) return error;
  if (count > static_cast<std::uint64_t>(maxPosition - position)) return errEndOfFile;
  return RawFileSeek(file, static_cast<std::int32_t>(count), rfSeekRelative);
}

// Reads chunk headers until one named id; leaves the file at its contents.
// Chunks of odd size are followed by a pad byte. Each step moves at least
// eight bytes forward, so the search ends at the end of the file.
int FindChunk(RawFile* file, const char* id, std::uint32_t* size) {
  for (;;) {
    std::uint8_t chunk[8];
    if (int error = RawFileRead(file, chunk, sizeof(chunk)); error != 0) return error;
    const std::uint32_t length = Le32(chunk + 4);
    if (std::memcmp(chunk, id, 4) == 0) {
      *size = length;
      return errOK;
    }
    if (int error = Skip(file, static_cast<std::uint64_t>(length) + (length & 1)); error != 0) {
      return error;
    }
  }
}

int ReadFormat(RawFile* file, std::uint32_t* channels, std::uint32_t* rate,
               std::uint32_t* bits) {
  std::uint32_t size = 0;
  if (int error = FindChunk(file, "fmt ", &size); error != 0) return error;
  if (size < 14) return errBadWave;
  std::uint8_t format[16];
  if (int error = RawFileRead(file, format, 14); error != 0) return error;
  if (Le16(format) != 1) return errUnsupportedSampleFormat;
  if (size < 16) return errBadWave;
  if (int error = RawFileRead(file, format + 14, 2); error != 0) return error;
  *channels = Le16(format + 2);
  *rate = Le32(format + 4);
  *bits = Le16(format + 14);
  return Skip(file, static_cast<std::uint64_t>(size - 16) + (size & 1));
}

int Open(RawFile* file, WaveFile** waveFile) {
  std::uint8_t riff[12];
  if (int error = RawFileRead(file, riff, 8); error != 0) return error;
  if (std::memcmp(riff, "RIFF", 4) != 0) return errBadWave;
  if (int error = RawFileRead(file, riff + 8, 4); error != 0) return error;
  if (std::memcmp(riff + 8, "WAVE", 4) != 0) return errBadWave;

  std::uint32_t channels = 0, rate = 0, bits = 0;
  if (int error = ReadFormat(file, &channels, &rate, &bits); error != 0) return error;
  std::uint32_t dataLength = 0;
  if (int error = FindChunk(file, "data", &dataLength); error != 0) return error;
  std::int32_t dataStart = 0;
  if (int error = RawFileGetPosition(file, &dataStart); error != 0) return error;
  std::int32_t fileLength = 0;
  if (int error = RawFileLength(file, &fileLength); error != 0) return error;
  // Writers that never finished a file leave 0 or 0xFFFFFFFF here; the
  // caller reads no more than the file holds.
  const std::uint32_t available =
      fileLength > dataStart ? static_cast<std::uint32_t>(fileLength - dataStart) : 0;
  if (dataLength > available) dataLength = available;

  std::uint32_t sampleType = smpNone;
  if (channels == 1 && bits == 8) sampleType = smp8bitMono;
  if (channels == 2 && bits == 8) sampleType = smp8bitStereo;
  if (channels == 1 && bits == 16) sampleType = smp16bitMono;
  if (channels == 2 && bits == 16) sampleType = smp16bitStereo;
  if (sampleType == smpNone) return errUnsupportedSampleFormat;

  WaveFile* wave = nullptr;
  if (int error = memAllocArray(1, &wave); error != 0) return error;
  wave->file = file;
  wave->sampleType = sampleType;
  wave->sampleRate = rate;
  wave->dataLength = dataLength;
  wave->bytesLeft = dataLength;
  wave->dataStart = static_cast<std::uint32_t>(dataStart);
  *waveFile = wave;
  return errOK;
}

}  // namespace

int WaveOpen(const char* fileName, WaveFile** waveFile) {
  if (fileName == nullptr || waveFile == nullptr) return errInvalidArguments;
  *waveFile = nullptr;
  RawFile* file = nullptr;
  if (int error = RawFileOpen(fileName, rfOpenRead, &file); error != 0) return error;
  if (int error = Open(file, waveFile); error != 0) {
    RawFileClose(file);
    return error;
  }
  return errOK;
}

int WaveClose(WaveFile* waveFile) {
  if (waveFile == nullptr) return errInvalidArguments;
  if (int error = RawFileClose(waveFile->file); error != 0) return error;
  return memFree(waveFile);
}
