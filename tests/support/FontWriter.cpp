#include "support/FontWriter.h"

#include "Platform/System/NumberText.h"

namespace kxtest {

std::string FontListLine(const std::string& name, std::optional<std::string> tracking, std::optional<int> layer) {
    std::string line = name;
    if (tracking || layer) line += "\t" + tracking.value_or("2");
    if (layer) line += "\t" + std::to_string(*layer);
    return line + "\n";
}

std::string FontFileText(int textureWidth, int textureHeight, int cellWidth, int cellHeight,
                         const std::vector<FontGlyph>& glyphs) {
    std::string text = "width\t" + std::to_string(textureWidth) + "\nheight\t" + std::to_string(textureHeight) +
                       "\nx\t" + std::to_string(cellWidth) + "\ny\t" + std::to_string(cellHeight) + "\n";
    for (const FontGlyph& glyph : glyphs) text += glyph.character + "\t" + Platform::FormatG(glyph.advance) + "\n";
    return text;
}

} // namespace kxtest
