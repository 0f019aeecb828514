// The pictures' own 5 x 7 pixel font, so that no system font is involved.
#pragma once

#include <array>
#include <string_view>

namespace pictures {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Rows of the glyph for `c`, top to bottom, '#' = lit; null for a character
// the font does not have.
const std::array<const char*, kGlyphHeight>* Glyph(char c);

// Width in font pixels of `text` with one pixel between glyphs.
int TextWidth(std::string_view text);

}  // namespace pictures
