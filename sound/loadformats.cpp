// The table of module formats and the probe walk over it.
#include "sound/loadformats.h"

#include "sound/errors.h"
#include "sound/rawf_nt.h"

// Probe order. XM and S3M carry exact signatures within the first 48 bytes
// ("Extended Module:" at 0, "SCRM" at 44), so they go first. IT's "IMPM" at 0
// comes after S3M: a file with both is read as S3M. MOD comes last: 31-sample
// files carry their channel signature at byte 1080, beyond the others' marks,
// and 15-sample files carry none at all. The MOD probe (gmpModLayoutOf) tries
// the signatures first and the 15-sample layout last, by the header's fields
// and the file's length, so that it only takes what every signature refused.
const ModuleFormat* const moduleFormats[moduleFormatCount] = {
    &xmModuleFormat,
    &s3mModuleFormat,
    &itModuleFormat,
    &modModuleFormat,
};

const ModuleFormat* gmpMatchModuleFormat(const std::uint8_t* start, std::size_t size,
                                         std::uint64_t fileLength) {
  if (start == nullptr || size < moduleProbeBytes) return nullptr;
  for (const ModuleFormat* format : moduleFormats) {
    if (format->Probe(start, size, fileLength)) return format;
  }
  return nullptr;
}

const ModuleFormat* gmpProbeModuleFormat(const ModuleStart& start) {
  const ModuleFormat* format =
      gmpMatchModuleFormat(start.bytes.data(), start.size, start.fileLength);
  return format != nullptr ? format : &modModuleFormat;
}

const ModuleFormat* gmpProbeModuleFormat(const std::uint8_t* start) {
  const ModuleFormat* format = gmpMatchModuleFormat(start, moduleProbeBytes, moduleProbeBytes);
  return format != nullptr ? format : &modModuleFormat;
}

const ModuleFormat* gmpModuleFormatOfKind(std::uint32_t kind) {
  for (const ModuleFormat* format : moduleFormats) {
    if (format->kind == kind) return format;
  }
  return nullptr;
}

int gmpReadModuleStart(const char* fileName, std::uint8_t* start) {
  if (fileName == nullptr || start == nullptr) return errInvalidArguments;
  RawFile* file = nullptr;
  if (int error = RawFileOpen(fileName, rfOpenRead, &file); error != errOK) return error;
  const int error = RawFileRead(file, start, moduleProbeBytes);
  const int closeError = RawFileClose(file);
  return error != errOK ? error : closeError;
}

namespace {
int ReadStartOf(RawFile* file, ModuleStart* start) {
  std::int32_t length = 0;
  if (int error = RawFileLength(file, &length); error != errOK) return error;
  start->fileLength = length < 0 ? 0 : static_cast<std::uint64_t>(length);
  if (start->fileLength < moduleProbeBytes) return errEndOfFile;
  start->size = start->fileLength < moduleStartBytes ? static_cast<std::size_t>(start->fileLength)
                                                     : moduleStartBytes;
  return RawFileRead(file, start->bytes.data(), static_cast<std::uint32_t>(start->size));
}
}  // namespace

int gmpReadModuleStart(const char* fileName, ModuleStart* start) {
  if (fileName == nullptr || start == nullptr) return errInvalidArguments;
  *start = ModuleStart{};
  RawFile* file = nullptr;
  if (int error = RawFileOpen(fileName, rfOpenRead, &file); error != errOK) return error;
  const int error = ReadStartOf(file, start);
  const int closeError = RawFileClose(file);
  return error != errOK ? error : closeError;
}
