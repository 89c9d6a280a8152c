#pragma once
// The texts of bitmap fonts: "fonts.dat" lines and ".fnt" files, for test fixtures and the demo
// generator.

#include <optional>
#include <string>
#include <vector>

namespace kxtest {

// One fonts.dat line: the name, then the tracking and the layer when given (tab-separated).
std::string FontListLine(const std::string& name, std::optional<std::string> tracking = std::nullopt,
                         std::optional<int> layer = std::nullopt);

struct FontGlyph {
    // "space" for the blank, else the character itself (its first byte counts).
    std::string character;
    float advance = 0.0f;
};

// A .fnt file: the four header lines (texture width and height, cell width and height), then
// one line per glyph cell, row by row from the top left (16 cells a row).
std::string FontFileText(int textureWidth, int textureHeight, int cellWidth, int cellHeight,
                         const std::vector<FontGlyph>& glyphs);

} // namespace kxtest
