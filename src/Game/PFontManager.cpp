#include "Game/PFontManager.h"

#include "Framework/PApplication.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Game/InterfaceKeys.h"
#include "Game/LayoutFields.h"
#include "Platform/System/NumberText.h"
#include "Render/PEffectManager.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"

#include <algorithm>

using namespace LayoutFields;

namespace {

CPFontManager* g_fontManager = nullptr;

constexpr int kGlyphColumns = 16;
constexpr int kGlyphRows = 10;
// Files larger than this are no font list or font file the game could have written.
constexpr std::size_t kMaxFontLines = 4096;

} // namespace

std::vector<SPFontListEntry> ParseFontList(const std::vector<std::string>& lines) {
    std::vector<SPFontListEntry> entries;
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = SplitTokens(line, "\t", true);
        SPFontListEntry entry;
        entry.name = Field(fields, 0);
        if (fields.size() > 1) entry.tracking = Platform::ParseFloat(fields[1]);
        if (fields.size() > 2) entry.layer = Platform::ParseInt(fields[2]);
        entries.push_back(entry);
    }
    return entries;
}

FontFileResult ParseFontFile(const std::vector<std::string>& lines, SPFont& font) {
    static const char* const kKeys[4] = {"width", "height", "x", "y"};
    int header[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (static_cast<std::size_t>(i) >= lines.size()) return FontFileResult::BrokenHeader;
        const std::vector<std::string> fields = SplitTokens(lines[static_cast<std::size_t>(i)], "\t", true);
        if (Field(fields, 0) != kKeys[i]) return FontFileResult::BrokenHeader;
        header[i] = Platform::ParseInt(Field(fields, 1));
    }
    const float textureWidth = static_cast<float>(header[0]);
    const float textureHeight = static_cast<float>(header[1]);
    const float cellWidth = static_cast<float>(header[2]);
    const float cellHeight = static_cast<float>(header[3]);
    // A texture of no size would put every glyph at an infinite coordinate.
    if (header[0] <= 0 || header[1] <= 0) return FontFileResult::Unusable;

    for (auto& glyph : font.glyphs) glyph = SPGlyph();
    for (float& advance : font.advances) advance = 0.0f;
    font.cellHeight = cellHeight;

    std::size_t next = 4;
    for (int row = 0; row < kGlyphRows; ++row) {
        for (int column = 0; column < kGlyphColumns; ++column) {
            if (next >= lines.size()) continue;
            const std::vector<std::string> fields = SplitTokens(lines[next++], "\t", false);
            const std::string& character = Field(fields, 0);
            unsigned char code = 0;
            if (character == "space")
                code = ' ';
            else if (!character.empty())
                code = static_cast<unsigned char>(character[0]);
            const float advance = Platform::ParseFloat(Field(fields, 1));
            SPGlyph& glyph = font.glyphs[code];
            glyph.left = static_cast<float>(column) * cellWidth / textureWidth;
            glyph.top = static_cast<float>(row) * cellHeight / textureHeight;
            glyph.right = glyph.left + advance / textureWidth;
            glyph.bottom = glyph.top + cellHeight / textureHeight;
            font.advances[code] = advance;
        }
    }
    return FontFileResult::Loaded;
}

CPFontManager::CPFontManager() { g_fontManager = this; }

CPFontManager::~CPFontManager() {
    m_fonts.clear();
    if (g_fontManager == this) g_fontManager = nullptr;
}

CPFontManager* GetFontManager() { return g_fontManager; }

CPSmartPtr<SPFont>& CPFontManager::FindFont(const std::string& name) { return m_fonts[name]; }

SPFont* CPFontManager::GetLoadedFont(const std::string& name) const {
    auto it = m_fonts.find(name);
    return it == m_fonts.end() ? nullptr : it->second.Get();
}

void CPFontManager::Load() {
    std::vector<std::string> listLines;
    if (!ReadTextFileLines("Data\\Fonts\\fonts.dat", listLines, kMaxFontLines)) return;
    for (const SPFontListEntry& entry : ParseFontList(listLines)) {
        std::vector<std::string> fontLines;
        if (!ReadTextFileLines("Data\\Fonts\\" + entry.name + ".fnt", fontLines, kMaxFontLines)) continue;
        CPSmartPtr<SPFont> font(new SPFont());
        font->tracking = entry.tracking;
        const FontFileResult result = ParseFontFile(fontLines, *font);
        if (result == FontFileResult::BrokenHeader) return;
        if (result == FontFileResult::Unusable) continue;
        if (CPEffectManager* effects = GetEffectManager())
            effects->GetMaterial(font->material, LayerKey(kRenderKeyBase, entry.layer), "interface.fx",
                                 {entry.name + ".tga"});
        FindFont(entry.name) = font;
    }
}

void BuildTextMesh(const SPFont* font, float x, float y, const std::string& text, std::vector<SPVertex>& vertices,
                   std::vector<std::uint16_t>& indices, float* width) {
    vertices.clear();
    indices.clear();
    if (width) *width = 0.0f;
    if (!font) return;
    const float scale = g_interfaceScale;
    const float startX = g_interfaceOffsetX + x;
    float penX = startX;
    float penY = y;
    // A 16-bit index buffer holds at most this many whole quads.
    constexpr std::size_t kMaxQuads = 65536 / 4;
    vertices.reserve(std::min(text.size(), kMaxQuads) * 4);
    indices.reserve(std::min(text.size(), kMaxQuads) * 6);
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == '^') {
            penX = startX;
            penY += scale * font->cellHeight;
            continue;
        }
        const float advance = font->advances[code];
        if (vertices.size() / 4 < kMaxQuads) {
            const SPGlyph& glyph = font->glyphs[code];
            const auto base = static_cast<std::uint16_t>(vertices.size());
            const float right = penX + scale * advance;
            const float bottom = penY + scale * font->cellHeight;
            const float corners[4][4] = {{penX, penY, glyph.left, glyph.top},
                                         {right, penY, glyph.right, glyph.top},
                                         {right, bottom, glyph.right, glyph.bottom},
                                         {penX, bottom, glyph.left, glyph.bottom}};
            for (const auto& corner : corners) {
                SPVertex vertex{};
                vertex.x = corner[0];
                vertex.y = corner[1];
                vertex.nz = -1.0f;
                vertex.diffuse = 0xffffffffu;
                vertex.tu = corner[2];
                vertex.tv = corner[3];
                vertices.push_back(vertex);
            }
            for (const std::uint16_t offset : {0, 1, 2, 0, 2, 3})
                indices.push_back(static_cast<std::uint16_t>(base + offset));
        }
        const float move = (advance - font->tracking) * scale;
        penX += move;
        if (width) *width += move;
    }
}

void CPFontManager::PrintIntoMesh(CPRenderObject& mesh, float x, float y, const std::string& fontName,
                                  const std::string& text, float* width) {
    // Looked up without inserting, so scripts printing with names of fonts that were never
    // loaded do not grow the map.
    const SPFont* font = GetLoadedFont(fontName);
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
    BuildTextMesh(font, x, y, text, vertices, indices, width);
    mesh.SetEffect(font ? font->material : CPSmartPtr<CPMaterial>());
    mesh.SetMesh(std::move(vertices), std::move(indices));
}

CPSmartPtr<CPRenderObject> CPFontManager::PrintText(const CPSmartPtr<CPGameObject>& target, float x, float y,
                                                    const std::string& font, const std::string& text, float* width) {
    CPRenderObject* mesh = target ? target->GetRenderObject() : nullptr;
    if (!mesh) return CPSmartPtr<CPRenderObject>();
    PrintIntoMesh(*mesh, x, y, font, text, width);
    return CPSmartPtr<CPRenderObject>(mesh);
}
