// What the start of a file says before any reader runs: whether it is a
// module of a kind the sound system reads, which kind, and how many channels
// its header declares. Lets modplay tell a folder, a picture or a text file
// apart from a damaged module.
#pragma once

#include <cstdint>
#include <string>

struct ModuleHeaderFacts {
  std::uint32_t kind = 0;         // ModuleKind
  unsigned declaredChannels = 0;  // channels the header enables
};

// False with a message a user can act on ("is a folder", "is not a module
// of a kind modplay reads", the system's reason it cannot be opened).
bool ProbeModule(const std::string& path, ModuleHeaderFacts* facts, std::string& error);

// The name of a module kind ("MOD", "S3M", "XM", "IT"; "unknown" otherwise).
const char* ModuleKindName(std::uint32_t kind);
