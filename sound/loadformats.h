// The module formats the sound system reads: one record per format (kind,
// name, a probe on the file's first bytes, the reader) and one table of them
// in probe order. The calling interface, the offline renderer and the fuzz
// harnesses choose a reader by walking this table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sound/module.h"

// Bytes of a file's start a probe looks at; shorter files are not modules.
inline constexpr std::size_t moduleProbeBytes = 48;

// The readers' shape: loads fileName into *module (see sound/loads3m.h).
using ModuleLoadFunction = int (*)(const char* fileName, const SoundDevice* device, int addSamples,
                                   ModuleSampleCallback callback, Module** module);

struct ModuleFormat {
  ModuleKind kind;
  const char* name;                          // "MOD", "S3M", "XM", "IT"
  bool (*Probe)(const std::uint8_t* start);  // start: moduleProbeBytes bytes of the file
  ModuleLoadFunction Load;
};

// Each reader's record (sound/loadxm.cpp, loads3m.cpp, loadit.cpp, loadmod.cpp).
extern const ModuleFormat xmModuleFormat;
extern const ModuleFormat s3mModuleFormat;
extern const ModuleFormat itModuleFormat;
extern const ModuleFormat modModuleFormat;

inline constexpr std::size_t moduleFormatCount = 4;
extern const ModuleFormat* const moduleFormats[moduleFormatCount];

// The first record, in table order, whose probe accepts the file's start; the
// MOD record takes whatever the others refuse, so the result is never null.
const ModuleFormat* gmpProbeModuleFormat(const std::uint8_t* start);

// The record of a module kind, or null for a number that names none.
const ModuleFormat* gmpModuleFormatOfKind(std::uint32_t kind);

// Opens fileName, reads its first moduleProbeBytes bytes into start and closes
// it again. Returns 0 or the file layer's code (errEndOfFile for a shorter file).
int gmpReadModuleStart(const char* fileName, std::uint8_t* start);
