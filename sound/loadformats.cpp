// The table of module formats and the probe walk over it.
#include "sound/loadformats.h"

#include "sound/errors.h"
#include "sound/rawf_nt.h"

// Probe order. XM and S3M carry exact signatures within the probed bytes ("Extended
// Module:" at 0, "SCRM" at 44), so they go first. IT's "IMPM" at 0 comes after S3M:
// a file with both is read as S3M. MOD has no signature there at all (its mark lies
// at byte 1080, and older files have none), so it takes every file left and must
// be last.
const ModuleFormat* const moduleFormats[moduleFormatCount] = {
    &xmModuleFormat,
    &s3mModuleFormat,
    &itModuleFormat,
    &modModuleFormat,
};

const ModuleFormat* gmpProbeModuleFormat(const std::uint8_t* start) {
  for (const ModuleFormat* format : moduleFormats) {
    if (format->Probe(start)) return format;
  }
  return &modModuleFormat;
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
