// A small bitmap font (5 x 7 cells, capitals, digits and punctuation) for the
// texts drawn into the generated pictures.
#pragma once

#include <functional>
#include <string_view>

namespace content {

inline constexpr int glyphWidth = 5;
inline constexpr int glyphHeight = 7;

// True when the cell (x, y) of the glyph for c is set; lower-case letters use
// the capitals, unknown characters are blank.
bool GlyphBit(char c, int x, int y);

// Width in pixels of text drawn at the given scale (one blank column between
// characters).
int TextWidth(std::string_view text, int scale);

// Calls plot (x, y) for every pixel of the text drawn with its top-left corner
// at (left, top), each font cell a scale x scale block.
void DrawText(std::string_view text, int left, int top, int scale,
              const std::function<void(int, int)>& plot);

}  // namespace content
