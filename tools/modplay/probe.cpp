// Header probe: the sound system's own choice of reader (its format table),
// made before a reader runs, plus the MOD signature check.
#include "tools/modplay/probe.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sound/loadformats.h"
#include "sound/loadmod.h"
#include "sound/module.h"

namespace {

constexpr std::size_t probeBytes = 1084;  // through the MOD signature at 1080

unsigned CountBelow(const std::uint8_t* settings, std::size_t count, unsigned limit) {
  unsigned enabled = 0;
  for (std::size_t i = 0; i < count; ++i) enabled += settings[i] < limit ? 1 : 0;
  return enabled;
}

// Channels the header enables, by kind (0 when the header is cut short).
unsigned DeclaredChannels(std::uint32_t kind, const std::uint8_t* h, std::size_t size) {
  switch (kind) {
    case modKindXM: return size >= 70 ? static_cast<unsigned>(h[68] | h[69] << 8) : 0;
    // Channel settings at 64: 0..15 are sample channels; bit 7 disables one.
    case modKindS3M: return size >= 96 ? CountBelow(h + 64, 32, 16) : 0;
    // Channel pannings at 64: bit 7 disables a channel.
    case modKindIT: return size >= 128 ? CountBelow(h + 64, 64, 128) : 0;
    default: return 0;
  }
}

// Kind and declared channels from the first bytes; kind 0 for none. The
// format table chooses the reader as the sound system does; a MOD must carry
// its signature at 1080 or pass as a 15-sample file. A header cut short still
// names its kind (the reader then says what is missing).
ModuleHeaderFacts FromHeader(const std::uint8_t* h, std::size_t size, std::uint64_t fileLength) {
  ModuleHeaderFacts f;
  if (size < moduleProbeBytes) return f;
  if (const ModuleFormat* format = gmpMatchModuleFormat(h, size, fileLength);
      format != nullptr && format->kind != modKindMOD) {
    f.kind = format->kind;
    f.declaredChannels = DeclaredChannels(f.kind, h, size);
  } else if (ModLayout layout; gmpModLayoutOf(h, size, fileLength, &layout)) {
    f.kind = modKindMOD;
    f.declaredChannels = layout.channels;
  }
  return f;
}

}  // namespace

bool ProbeModule(const std::string& path, ModuleHeaderFacts* facts, std::string& error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "is a folder, not a module file";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  std::array<std::uint8_t, probeBytes> header{};
  const std::size_t got = std::fread(header.data(), 1, header.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "cannot be read";
    return false;
  }
  *facts = FromHeader(header.data(), got, static_cast<std::uint64_t>(info.st_size));
  if (facts->kind == 0) {
    error = "is not a module of a kind modplay reads (MOD, S3M, XM or IT)";
    return false;
  }
  return true;
}

const char* ModuleKindName(std::uint32_t kind) {
  const ModuleFormat* format = gmpModuleFormatOfKind(kind);
  return format != nullptr ? format->name : "unknown";
}
