// The module formats the sound system reads: one record per format (kind,
// name, a probe on the file's first bytes, the reader) and one table of them
// in probe order. The calling interface, the offline renderer and the fuzz
// harnesses choose a reader by walking this table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sound/module.h"

// Bytes of a file's start every probe may look at; shorter files are not modules.
inline constexpr std::size_t moduleProbeBytes = 48;
// Bytes of a file's start read for the probes when the file has them: through
// the MOD signature at byte 1080.
inline constexpr std::size_t moduleStartBytes = 1084;

// The readers' shape: loads fileName into *module (see sound/loads3m.h).
using ModuleLoadFunction = int (*)(const char* fileName, const SoundDevice* device, int addSamples,
                                   ModuleSampleCallback callback, Module** module);

struct ModuleFormat {
  ModuleKind kind;
  const char* name;  // "MOD", "S3M", "XM", "IT"
  // start: the file's first size bytes (at least moduleProbeBytes) of its
  // fileLength bytes.
  bool (*Probe)(const std::uint8_t* start, std::size_t size, std::uint64_t fileLength);
  ModuleLoadFunction Load;
};

// Each reader's record (sound/loadxm.cpp, loads3m.cpp, loadit.cpp, loadmod.cpp).
extern const ModuleFormat xmModuleFormat;
extern const ModuleFormat s3mModuleFormat;
extern const ModuleFormat itModuleFormat;
extern const ModuleFormat modModuleFormat;
inline constexpr std::size_t moduleFormatCount = 4;
extern const ModuleFormat* const moduleFormats[moduleFormatCount];

// A file's first bytes as the probes see them.
struct ModuleStart {
  std::array<std::uint8_t, moduleStartBytes> bytes{};
  std::size_t size = 0;          // bytes read: at least moduleProbeBytes
  std::uint64_t fileLength = 0;
};

// The first record, in table order, whose probe accepts the file's start, or
// null when none does.
const ModuleFormat* gmpMatchModuleFormat(const std::uint8_t* start, std::size_t size,
                                         std::uint64_t fileLength);

// The record that reads the file: the match, or else the MOD record, whose
// reader then tells what is wrong with the file. Never null.
const ModuleFormat* gmpProbeModuleFormat(const ModuleStart& start);
// The same from the first moduleProbeBytes bytes alone, which show no MOD
// layout: files the others refuse go to the MOD record.
const ModuleFormat* gmpProbeModuleFormat(const std::uint8_t* start);

// The record of a module kind, or null for a number that names none.
const ModuleFormat* gmpModuleFormatOfKind(std::uint32_t kind);

// Opens fileName, reads its first moduleProbeBytes bytes into start and closes
// it again. Returns 0 or the file layer's code (errEndOfFile for a shorter file).
int gmpReadModuleStart(const char* fileName, std::uint8_t* start);
// The same for up to moduleStartBytes bytes and the file's length.
int gmpReadModuleStart(const char* fileName, ModuleStart* start);
