// Archive bytes for the engine tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testscenes {

// Lays out an archive of the given (name, bytes) members; empty on failure.
std::vector<std::uint8_t> ArchiveBytes(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members);

}  // namespace testscenes
