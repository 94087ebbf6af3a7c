// Little-endian appenders the module and WAVE writers share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bytewriter {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value);
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value);
// The text's first `size` bytes, NUL-padded to `size`.
void PutText(std::vector<std::uint8_t>& out, const std::string& text, std::size_t size);

}  // namespace bytewriter
