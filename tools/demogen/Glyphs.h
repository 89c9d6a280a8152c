#pragma once
// The demo's glyph set, shared by its fonts and the pictures that carry lettering.

#include <array>
#include <cstdint>

namespace demogen {

constexpr int kGlyphDotColumns = 5;
constexpr int kGlyphDotRows = 7;
constexpr int kFirstGlyph = 32;
constexpr int kLastGlyph = 126;

// Rows top to bottom; bit 4 is the leftmost dot.
using GlyphPattern = std::array<std::uint8_t, kGlyphDotRows>;

// The pattern of a printable ASCII character (the blank included); null for any other.
const GlyphPattern* FindGlyph(char character);

} // namespace demogen
