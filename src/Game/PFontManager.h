#pragma once
// Bitmap fonts: each font is one texture holding a grid of glyph cells, with a text file giving
// each glyph's width. The font manager loads every font listed in "Data\Fonts\fonts.dat" and
// prints text into the mesh of a scene object (interface texts, edit boxes, the head-up display).

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Render/SPVertex.h"

class CPGameObject;

struct SPGlyph {
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};

class SPFont : public IPMMObject {
public:
    int GetSize() const override { return static_cast<int>(sizeof(SPFont)); }
    std::string GetClassName() const override { return "SPFont"; }

    CPSmartPtr<CPMaterial> material;
    // Indexed by the character's byte; all 0 for characters the font does not define.
    SPGlyph glyphs[256];
    float advances[256] = {};
    float cellHeight = 0.0f;
    // Pixels taken off every advance when printing.
    float tracking = 0.0f;
};

// One line of fonts.dat.
struct SPFontListEntry {
    std::string name;
    float tracking = 2.0f;
    int layer = 0;
};

// The lines of fonts.dat, in order.
std::vector<SPFontListEntry> ParseFontList(const std::vector<std::string>& lines);

enum class FontFileResult {
    Loaded,
    // A header line is missing or carries another key: font loading stops altogether.
    BrokenHeader,
    // The header is sound but names a texture or cell of no size: this font is skipped.
    Unusable,
};
// Fills the glyphs, advances and cell height of the font from the lines of its .fnt file.
FontFileResult ParseFontFile(const std::vector<std::string>& lines, SPFont& font);

class CPFontManager {
public:
    static constexpr int kRenderKeyBase = 201;

    CPFontManager();
    CPFontManager(const CPFontManager&) = delete;
    CPFontManager& operator=(const CPFontManager&) = delete;
    virtual ~CPFontManager();

    // Reads fonts.dat and every font it lists. A missing fonts.dat loads nothing, a missing .fnt
    // skips its font, a broken .fnt header ends loading (fonts before it stay).
    void Load();
    // The map's entry for the name, an empty entry inserted when the name is not there.
    CPSmartPtr<SPFont>& FindFont(const std::string& name);
    // The font of that name, null when none is loaded; never inserts.
    SPFont* GetLoadedFont(const std::string& name) const;

    // Fills the target's mesh with the text at (x, y) (pixels before the interface's horizontal
    // offset); the width of the pen moves goes to *width when given. The mesh is answered; an
    // empty handle (and nothing changed) when the target's attachment is not a mesh.
    CPSmartPtr<CPRenderObject> PrintText(const CPSmartPtr<CPGameObject>& target, float x, float y,
                                         const std::string& font, const std::string& text, float* width);
    // The same into a mesh directly.
    void PrintIntoMesh(CPRenderObject& mesh, float x, float y, const std::string& font, const std::string& text,
                       float* width);

private:
    std::unordered_map<std::string, CPSmartPtr<SPFont>> m_fonts;
};

// The font manager, or null before start-up made it.
CPFontManager* GetFontManager();

// The vertices and indices of a text printed with the font at (x, y), with the interface scale
// and offset; the width of the pen moves goes to *width. A null font prints nothing.
void BuildTextMesh(const SPFont* font, float x, float y, const std::string& text, std::vector<SPVertex>& vertices,
                   std::vector<std::uint16_t>& indices, float* width);
