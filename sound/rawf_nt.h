// Raw file access of the sound system: a thin layer over the operating
// system's file handles. Every operation returns an error code
// (sound/errors.h); system failures are translated with
// SoundTranslateSystemError.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

// Open modes.
enum : int {
  rfOpenRead = 1,
  rfOpenWrite = 2,      // creates a missing file; never truncates
  rfOpenReadWrite = 3,
};

// Seek origins (1-based, unlike the stream classes).
enum : int {
  rfSeekAbsolute = 1,
  rfSeekRelative = 2,
  rfSeekEnd = 3,
};

// The open file record, owned by the caller from open to close.
struct RawFile {
  HANDLE fileHandle;
};

int RawFileOpen(const char* fileName, int openMode, RawFile** file);
int RawFileClose(RawFile* file);
int RawFileRead(RawFile* file, void* buffer, std::uint32_t numBytes);
int RawFileWrite(RawFile* file, const void* buffer, std::uint32_t numBytes);
int RawFileSeek(RawFile* file, std::int32_t newPosition, int seekMode);
int RawFileGetPosition(RawFile* file, std::int32_t* position);
int RawFileLength(RawFile* file, std::int32_t* fileLength);
// exists = 1 when the file opens for reading; the result is always 0.
int RawFileExists(const char* fileName, int* exists);
