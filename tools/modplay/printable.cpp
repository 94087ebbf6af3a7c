#include "tools/modplay/printable.h"

#include <cstdint>

namespace {

// Code page 437's upper half, 0x80 to 0xFF.
constexpr char16_t cp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of a UTF-8 sequence from its first byte, 0 for a byte that
// cannot begin one.
std::size_t LeadLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The length of the well-formed UTF-8 sequence at text[i] (no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when there is none.
std::size_t SequenceLength(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  const std::size_t length = LeadLength(lead);
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(at(i + k))) return 0;
  }
  const unsigned char second = length >= 3 ? at(i + 1) : 0x80;
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string PrintableName(const char* name, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size && name[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    AppendUtf8(text, c >= 0x80 ? cp437High[c - 0x80] : c < 0x20 || c == 0x7F ? '?' : c);
  }
  return text;
}

std::string PrintableFileName(const std::string& name) {
  std::string text;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t length = SequenceLength(name, i);
    const auto c = static_cast<unsigned char>(name[i]);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      text += '?';
      ++i;
    } else {
      text.append(name, i, length);
      i += length;
    }
  }
  return text;
}

std::size_t Utf8Length(const std::string& text) {
  std::size_t characters = 0;
  for (char c : text) characters += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return characters;
}

std::string Utf8Prefix(const std::string& text, std::size_t characters) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end) {
    if (!IsContinuation(static_cast<unsigned char>(text[end])) && seen++ == characters) break;
  }
  return text.substr(0, end);
}
