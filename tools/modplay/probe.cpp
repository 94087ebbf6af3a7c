// Header probe: the same choice as the sound system's loader (XM, then S3M,
// then IT, then the MOD signature), made before a reader runs.
#include "tools/modplay/probe.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sound/loadmod.h"
#include "sound/module.h"

namespace {

constexpr std::size_t probeBytes = 1084;  // through the MOD signature at 1080

unsigned CountBelow(const std::uint8_t* settings, std::size_t count, unsigned limit) {
  unsigned enabled = 0;
  for (std::size_t i = 0; i < count; ++i) enabled += settings[i] < limit ? 1 : 0;
  return enabled;
}

// Kind and declared channels from the first bytes; kind 0 for none. A header
// cut short still names its kind (the reader then says what is missing).
ModuleHeaderFacts FromHeader(const std::uint8_t* h, std::size_t size) {
  ModuleHeaderFacts f;
  if (size >= 16 && std::memcmp(h, "Extended Module:", 16) == 0) {
    f.kind = modKindXM;
    if (size >= 70) f.declaredChannels = h[68] | h[69] << 8;
  } else if (size >= 48 && std::memcmp(h + 44, "SCRM", 4) == 0) {
    // Channel settings at 64: 0..15 are sample channels; bit 7 disables one.
    f.kind = modKindS3M;
    if (size >= 96) f.declaredChannels = CountBelow(h + 64, 32, 16);
  } else if (size >= 4 && std::memcmp(h, "IMPM", 4) == 0) {
    // Channel pannings at 64: bit 7 disables a channel.
    f.kind = modKindIT;
    if (size >= 128) f.declaredChannels = CountBelow(h + 64, 64, 128);
  } else if (size >= probeBytes) {
    const int channels = gmpModChannelsFromSignature(h + 1080);
    if (channels > 0) {
      f.kind = modKindMOD;
      f.declaredChannels = static_cast<unsigned>(channels);
    }
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
  *facts = FromHeader(header.data(), got);
  if (facts->kind == 0) {
    error = "is not a module of a kind modplay reads (MOD, S3M, XM or IT)";
    return false;
  }
  return true;
}

const char* ModuleKindName(std::uint32_t kind) {
  switch (kind) {
    case modKindMOD: return "MOD";
    case modKindS3M: return "S3M";
    case modKindXM: return "XM";
    case modKindIT: return "IT";
    default: return "unknown";
  }
}

std::string PrintableName(const char* name, std::size_t size) {
  std::string text(name, strnlen(name, size));
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return text;
}
