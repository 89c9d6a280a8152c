// The demo's two bitmap fonts, drawn from the demo's glyph set (Glyphs.cpp) enlarged by whole
// pixels, white with a dark outline so the text reads over the race as well as over the menu
// panels. Each font is a list line in "fonts.dat", a
// ".fnt" table in the first pack and its picture in the second.
//
//   font_small  cells 16 x 16, dots of 2 pixels: menu labels, head-up-display readouts
//   font_big    cells 32 x 32, dots of 4 pixels: titles, race messages

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "Glyphs.h"
#include "support/FontWriter.h"
#include "support/TgaWriter.h"

namespace {

constexpr int kDotColumns = demogen::kGlyphDotColumns;
constexpr int kDotRows = demogen::kGlyphDotRows;
constexpr int kGridColumns = 16;
constexpr int kFirstCharacter = demogen::kFirstGlyph;
constexpr int kLastCharacter = demogen::kLastGlyph;
using Pattern = demogen::GlyphPattern;

struct FontStyle {
    const char* name;
    int dot;     // pixels per dot
    int outline; // pixels of dark rim around the strokes
    int cell;    // square cell size in pixels
    int textureWidth, textureHeight;
};

const FontStyle kFonts[] = {
    {"font_small", 2, 1, 16, 256, 256},
    {"font_big", 4, 2, 32, 512, 512},
};

// The dot columns a pattern uses: first and one past the last; a blank reads as 0..3.
void UsedColumns(const Pattern& pattern, int& first, int& end) {
    first = kDotColumns;
    end = 0;
    for (int row = 0; row < kDotRows; ++row)
        for (int column = 0; column < kDotColumns; ++column)
            if (pattern[static_cast<std::size_t>(row)] & (0x10 >> column)) {
                first = std::min(first, column);
                end = std::max(end, column + 1);
            }
    if (end == 0) {
        first = 0;
        end = 3;
    }
}

bool WriteFont(const FontStyle& style, std::string& list) {
    const int w = style.textureWidth, h = style.textureHeight;
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(w) * h, 0);
    std::vector<kxtest::FontGlyph> glyphs;
    for (int code = kFirstCharacter; code <= kLastCharacter; ++code) {
        const int index = code - kFirstCharacter;
        const Pattern& pattern = *demogen::FindGlyph(static_cast<char>(code));
        int first = 0, end = 0;
        UsedColumns(pattern, first, end);
        const int cellX = (index % kGridColumns) * style.cell;
        const int cellY = (index / kGridColumns) * style.cell;
        for (int row = 0; row < kDotRows; ++row)
            for (int column = first; column < end; ++column) {
                if (!(pattern[static_cast<std::size_t>(row)] & (0x10 >> column))) continue;
                for (int dy = 0; dy < style.dot; ++dy)
                    for (int dx = 0; dx < style.dot; ++dx) {
                        const int x = cellX + style.outline + (column - first) * style.dot + dx;
                        const int y = cellY + style.outline + row * style.dot + dy;
                        ink[static_cast<std::size_t>(y) * w + x] = 1;
                    }
            }
        // The stroke, its rim on both sides and one blank pixel before the next character.
        const int advance = (end - first) * style.dot + 2 * style.outline + 1;
        glyphs.push_back({code == ' ' ? std::string("space") : std::string(1, static_cast<char>(code)),
                          static_cast<float>(advance)});
    }

    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
            if (ink[static_cast<std::size_t>(y) * w + x]) {
                p[0] = p[1] = p[2] = p[3] = 255;
                continue;
            }
            bool nearInk = false;
            for (int dy = -style.outline; dy <= style.outline && !nearInk; ++dy)
                for (int dx = -style.outline; dx <= style.outline && !nearInk; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    nearInk = nx >= 0 && ny >= 0 && nx < w && ny < h && ink[static_cast<std::size_t>(ny) * w + nx];
                }
            if (nearInk) p[3] = 200;
        }

    demogen::AddToPack(1, std::string("Fonts/") + style.name + ".fnt",
                       kxtest::FontFileText(w, h, style.cell, style.cell, glyphs));
    // Run-length packets: the pictures are mostly empty, so they pack to a fraction of their size.
    const std::vector<std::uint8_t> picture = kxtest::EncodeTga(w, h, rgba, kxtest::TgaLayout{true, false});
    if (picture.empty()) return false;
    demogen::AddToPack(2, std::string("Textures/") + style.name + ".tga", std::string(picture.begin(), picture.end()));
    // No tracking: the advances above already hold the space between characters.
    list += kxtest::FontListLine(style.name, std::string("0"));
    return true;
}

bool WriteFontFiles(const std::filesystem::path& root) {
    std::string list;
    bool ok = true;
    for (const FontStyle& style : kFonts) ok = WriteFont(style, list) && ok;
    return demogen::WriteIfChanged(root, "Data/Fonts/fonts.dat", list) && ok;
}

} // namespace

DEMOGEN_FAMILY("fonts", WriteFontFiles);
