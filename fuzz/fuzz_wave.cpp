// Opens arbitrary bytes as a WAVE file and reads all of the audio data it announces.
#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/mem.h"
#include "sound/rawf_nt.h"
#include "sound/waveread.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t blocksBefore = memBlocksInUse();
  WaveFile* wave = nullptr;
  int error = WaveOpen(fuzz::WriteScratch(data, size), &wave);
  if (error == 0) {
    if (!wave || !wave->file) fuzz::Fail("an open reported success without a file");
    if (wave->dataStart > size) fuzz::Fail("audio data starts past the end of the file");
    std::uint8_t buffer[4096];
    std::uint32_t left = wave->dataLength;
    while (left > 0) {
      std::uint32_t n = left < sizeof buffer ? left : sizeof buffer;
      if (RawFileRead(wave->file, buffer, n) != 0) break;
      left -= n;
    }
    if (WaveClose(wave) != 0) fuzz::Fail("an opened file does not close");
  } else if (wave) {
    fuzz::Fail("a failed open left a record behind");
  }
  if (memBlocksInUse() != blocksBefore) fuzz::Fail("sound allocator blocks leaked");
  return 0;
}
