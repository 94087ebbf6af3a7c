// Writes archives in the format of "demo.dat": magic, entry count, 64-byte
// directory entries, then the members' bytes in the order they were added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archivewriter {

inline constexpr std::size_t maxNameLength = 51;

struct Member {
  std::string name;  // path with backslashes, at most 51 characters
  std::vector<std::uint8_t> data;
};

// Lays the archive out in memory. Fails (returns false and sets error) for an empty
// member list, a name that does not fit its field, or members that would push an
// offset past 32 bits.
bool Build(const std::vector<Member>& members, std::vector<std::uint8_t>& out, std::string& error);

// Builds the archive and writes it to path through a temporary file renamed at the
// end, so a failure never leaves a half-written archive behind.
bool WriteFile(const std::vector<Member>& members, const std::string& path, std::string& error);

// Reads a whole file into bytes.
bool ReadFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace archivewriter
