// Reader of RIFF WAVE files holding uncompressed PCM: checks the header, finds
// the format and data chunks and leaves the file open at the audio data for
// the caller to read.
#pragma once

#include <cstdint>

struct RawFile;

struct WaveFile {
  RawFile* file;              // open, positioned at the start of the audio data
  std::uint32_t sampleType;   // smp8bitMono, smp16bitMono, smp8bitStereo, smp16bitStereo
  std::uint32_t sampleRate;   // Hz
  std::uint32_t dataLength;   // bytes of audio data
  std::uint32_t bytesLeft;    // initially dataLength
  std::uint32_t dataStart;    // file offset of the audio data
};

// Opens fileName and fills a new record in *waveFile. Returns 0, or
// errBadWave for a file that is not RIFF WAVE or has a short format chunk,
// errUnsupportedSampleFormat for anything but 1 or 2 channels of 8- or 16-bit
// PCM, or the file layer's code (a file that ends before its "data" chunk
// gives errEndOfFile). On failure the file is closed and *waveFile is null.
int WaveOpen(const char* fileName, WaveFile** waveFile);

// Closes the file and, when that succeeds, frees the record.
int WaveClose(WaveFile* waveFile);
