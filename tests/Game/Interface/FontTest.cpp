// Bitmap fonts: the font list and font files, and printing text into a mesh.

#include "InterfaceFixture.h"

#include "Scene/PGameObject.h"
#include "support/Near.h"

using namespace interfacetest;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

CPSmartPtr<CPGameObject> MeshObject() {
    CPSmartPtr<CPGameObject> object(new CPGameObject("text"));
    object->SetAttachment(CPSmartPtr<IPMMObject>(new CPRenderObject(object.Get())), IPSceneObject::KindMesh);
    return object;
}

TEST(FontListTest, MissingFieldsTakeTheirDefaultsAndAnEmptyTrackingReadsZero) {
    struct Case {
        std::string line;
        std::string name;
        float tracking;
        int layer;
    };
    const Case cases[] = {
        {"big", "big", 2.0f, 0},
        {"big\t\t3", "big", 0.0f, 3},
        {"big\t1.5", "big", 1.5f, 0},
        {"big\t4\t7", "big", 4.0f, 7},
        {"\"two words\"\t1", "two words", 1.0f, 0},
    };
    for (const Case& c : cases) {
        const auto entries = ParseFontList({c.line});
        ASSERT_EQ(entries.size(), 1u) << c.line;
        EXPECT_EQ(entries[0].name, c.name) << c.line;
        EXPECT_FLOAT_EQ(entries[0].tracking, c.tracking) << c.line;
        EXPECT_EQ(entries[0].layer, c.layer) << c.line;
    }
}

TEST(FontFileTest, TheThirtyFourthGlyphLineIsColumnOneOfRowTwo) {
    std::vector<kxtest::FontGlyph> glyphs(33, kxtest::FontGlyph{"x", 4.0f});
    glyphs.push_back({"A", 10.0f});
    SPFont font;
    ASSERT_EQ(ParseFontFile(Lines(kxtest::FontFileText(256, 256, 16, 20, glyphs)), font), FontFileResult::Loaded);
    const SPGlyph& a = font.glyphs['A'];
    EXPECT_FLOAT_EQ(a.left, 16.0f / 256);
    EXPECT_FLOAT_EQ(a.top, 40.0f / 256);
    EXPECT_FLOAT_EQ(a.right, 26.0f / 256);
    EXPECT_FLOAT_EQ(a.bottom, 60.0f / 256);
    EXPECT_FLOAT_EQ(font.advances['A'], 10.0f);
    EXPECT_FLOAT_EQ(font.cellHeight, 20.0f);
    // The blank is named by a word; a glyph the file does not list stays empty.
    EXPECT_FLOAT_EQ(font.advances['Z'], 0.0f);
}

TEST(FontFileTest, SpaceWordLaterLinesAndLinesBeyondTheGrid) {
    std::vector<kxtest::FontGlyph> glyphs = {{"space", 6.0f}, {"A", 3.0f}, {"A", 9.0f}};
    glyphs.resize(160, kxtest::FontGlyph{"x", 1.0f});
    glyphs.push_back({"Q", 11.0f}); // the 161st line is not read
    SPFont font;
    ASSERT_EQ(ParseFontFile(Lines(kxtest::FontFileText(160, 200, 10, 20, glyphs)), font), FontFileResult::Loaded);
    EXPECT_FLOAT_EQ(font.advances[' '], 6.0f);
    EXPECT_FLOAT_EQ(font.advances['A'], 9.0f);
    EXPECT_FLOAT_EQ(font.glyphs['A'].left, 20.0f / 160);
    EXPECT_FLOAT_EQ(font.advances['Q'], 0.0f);
}

TEST(FontFileTest, HeadersThatStopOrSkipLoading) {
    struct Case {
        std::string text;
        FontFileResult result;
    };
    const Case cases[] = {
        {"width\t64\nheight\t64\nX\t8\ny\t8\nA\t4\n", FontFileResult::BrokenHeader},
        {"width\t64\nheight\t64\nx\t8\n", FontFileResult::BrokenHeader},
        {"height\t64\nwidth\t64\nx\t8\ny\t8\n", FontFileResult::BrokenHeader},
        {"", FontFileResult::BrokenHeader},
        {"width\t0\nheight\t64\nx\t8\ny\t8\nA\t4\n", FontFileResult::Unusable},
        {"width\t64\nheight\t-3\nx\t8\ny\t8\nA\t4\n", FontFileResult::Unusable},
        {"width\t64\nheight\t64\nx\t8\ny\t8\n", FontFileResult::Loaded},
    };
    for (const Case& c : cases) {
        SPFont font;
        EXPECT_EQ(ParseFontFile(Lines(c.text), font), c.result) << c.text;
    }
}

TEST(FontFileTest, ALineStartingWithATabLosesItToTrimming) {
    // The splitter trims the line first, so the advance becomes the character (with no advance).
    SPFont font;
    ASSERT_EQ(ParseFontFile(Lines("width\t64\nheight\t64\nx\t8\ny\t8\n\t5\nA\t3\n"), font), FontFileResult::Loaded);
    EXPECT_FLOAT_EQ(font.advances[0], 0.0f);
    EXPECT_FLOAT_EQ(font.advances['5'], 0.0f);
    EXPECT_FLOAT_EQ(font.glyphs['5'].bottom, 8.0f / 64);
    EXPECT_FLOAT_EQ(font.glyphs['A'].left, 8.0f / 64);
}

class FontManagerTest : public InterfaceTest {};

TEST_F(FontManagerTest, AnUpperCaseHeaderKeyEndsLoadingButKeepsEarlierFonts) {
    delete fonts;
    fonts = new CPFontManager();
    root.Write("Data/Fonts/fonts.dat", "first\nbroken\nmissing\nlast\n");
    root.Write("Data/Fonts/first.fnt", kxtest::FontFileText(64, 64, 8, 8, TestGlyphs()));
    root.Write("Data/Fonts/broken.fnt", "width\t64\nheight\t64\nX\t8\ny\t8\n");
    root.Write("Data/Fonts/last.fnt", kxtest::FontFileText(64, 64, 8, 8, TestGlyphs()));
    fonts->Load();
    EXPECT_NE(fonts->GetLoadedFont("first"), nullptr);
    EXPECT_EQ(fonts->GetLoadedFont("broken"), nullptr);
    EXPECT_EQ(fonts->GetLoadedFont("last"), nullptr);
}

TEST_F(FontManagerTest, AMissingFontFileSkipsOnlyThatFont) {
    delete fonts;
    fonts = new CPFontManager();
    root.Write("Data/Fonts/fonts.dat", "missing\t1\t1\nlast\t3\t4\n");
    root.Write("Data/Fonts/last.fnt", kxtest::FontFileText(64, 64, 8, 8, TestGlyphs()));
    fonts->Load();
    EXPECT_EQ(fonts->GetLoadedFont("missing"), nullptr);
    SPFont* last = fonts->GetLoadedFont("last");
    ASSERT_NE(last, nullptr);
    EXPECT_FLOAT_EQ(last->tracking, 3.0f);
    ASSERT_TRUE(last->material);
    EXPECT_EQ(last->material->GetRenderKey(), 205);
    EXPECT_NE(last->material->GetClassName().find("interface.fx"), std::string::npos);
}

TEST_F(FontManagerTest, LayersAtTheEndsOfTheIntRangeSaturateTheRenderKey) {
    delete fonts;
    fonts = new CPFontManager();
    root.Write("Data/Fonts/fonts.dat", "high\t2\t2147483647\nlow\t2\t-2147483648\n");
    root.Write("Data/Fonts/high.fnt", kxtest::FontFileText(64, 64, 8, 8, TestGlyphs()));
    root.Write("Data/Fonts/low.fnt", kxtest::FontFileText(64, 64, 8, 8, TestGlyphs()));
    fonts->Load();
    EXPECT_EQ(fonts->GetLoadedFont("high")->material->GetRenderKey(), 2147483647);
    EXPECT_EQ(fonts->GetLoadedFont("low")->material->GetRenderKey(), -2147483648LL + 201);
}

TEST_F(FontManagerTest, TwoGlyphsWithTrackingOverlapAndReportTheirWidth) {
    CPSmartPtr<CPGameObject> target = MeshObject();
    float width = -1.0f;
    CPSmartPtr<CPRenderObject> mesh = fonts->PrintText(target, 0.0f, 0.0f, "f", "AB", &width);
    ASSERT_TRUE(mesh);
    EXPECT_FLOAT_EQ(width, 18.0f);
    const auto& v = mesh->ModelVertices();
    ASSERT_EQ(v.size(), 8u);
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[1].x, 10.0f);
    EXPECT_FLOAT_EQ(v[4].x, 8.0f);
    EXPECT_FLOAT_EQ(v[5].x, 20.0f);
    EXPECT_FLOAT_EQ(v[2].y, 20.0f);
    EXPECT_EQ(mesh->Indices(), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    // The world copy follows at once, and the mesh takes the font's material.
    EXPECT_FLOAT_EQ(mesh->WorldVertices()[5].x, 20.0f);
    EXPECT_EQ(mesh->GetMaterial().Get(), fonts->GetLoadedFont("f")->material.Get());
}

TEST_F(FontManagerTest, CaretsStartNewLinesAtTheStartingPoint) {
    struct Case {
        std::string text;
        std::vector<std::pair<float, float>> corners; // each quad's first vertex
        float width;
    };
    const Case cases[] = {
        {"A^B", {{3.0f, 5.0f}, {3.0f, 25.0f}}, 18.0f},
        {"A^^B", {{3.0f, 5.0f}, {3.0f, 45.0f}}, 18.0f},
        {"^", {}, 0.0f},
        {"", {}, 0.0f},
    };
    for (const Case& c : cases) {
        CPSmartPtr<CPGameObject> target = MeshObject();
        float width = -1.0f;
        CPSmartPtr<CPRenderObject> mesh = fonts->PrintText(target, 3.0f, 5.0f, "f", c.text, &width);
        ASSERT_TRUE(mesh);
        ASSERT_EQ(mesh->ModelVertices().size(), c.corners.size() * 4) << c.text;
        for (std::size_t i = 0; i < c.corners.size(); ++i) {
            EXPECT_FLOAT_EQ(mesh->ModelVertices()[i * 4].x, c.corners[i].first) << c.text;
            EXPECT_FLOAT_EQ(mesh->ModelVertices()[i * 4].y, c.corners[i].second) << c.text;
        }
        EXPECT_FLOAT_EQ(width, c.width) << c.text;
    }
}

TEST_F(FontManagerTest, ScaleAndOffsetApplyToPenAndGlyphs) {
    UseScreen(1280, 1024);
    const float s = 1024.0f / 768.0f;
    const float offset = (1280.0f - 1024.0f * s) / 2.0f;
    CPSmartPtr<CPGameObject> target = MeshObject();
    float width = 0.0f;
    CPSmartPtr<CPRenderObject> mesh = fonts->PrintText(target, 1.0f, 2.0f, "f", "AB", &width);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[0].x, offset + 1.0f);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[1].x, offset + 1.0f + 10.0f * s);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[4].x, offset + 1.0f + 8.0f * s);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[3].y, 2.0f + 20.0f * s);
    EXPECT_FLOAT_EQ(width, 18.0f * s);
}

TEST_F(FontManagerTest, AnEmptyTextClearsWhatWasPrinted) {
    CPSmartPtr<CPGameObject> target = MeshObject();
    fonts->PrintText(target, 0.0f, 0.0f, "f", "ABC", nullptr);
    float width = 5.0f;
    CPSmartPtr<CPRenderObject> mesh = fonts->PrintText(target, 0.0f, 0.0f, "f", "", &width);
    EXPECT_TRUE(mesh->ModelVertices().empty());
    EXPECT_TRUE(mesh->Indices().empty());
    EXPECT_FLOAT_EQ(width, 0.0f);
}

TEST_F(FontManagerTest, UndefinedCharactersAndUnknownFonts) {
    CPSmartPtr<CPGameObject> target = MeshObject();
    float width = 0.0f;
    // An undefined character prints an empty quad and moves the pen back by the tracking.
    CPSmartPtr<CPRenderObject> mesh = fonts->PrintText(target, 0.0f, 0.0f, "f", "AZA", &width);
    ASSERT_EQ(mesh->ModelVertices().size(), 12u);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[8].x, 6.0f);
    EXPECT_FLOAT_EQ(width, 14.0f);
    // A font that is not loaded leaves an empty mesh and a width of 0.
    mesh = fonts->PrintText(target, 0.0f, 0.0f, "nofont", "AB", &width);
    ASSERT_TRUE(mesh);
    EXPECT_TRUE(mesh->ModelVertices().empty());
    EXPECT_FLOAT_EQ(width, 0.0f);
}

TEST_F(FontManagerTest, AnObjectWithoutAMeshIsLeftAlone) {
    CPSmartPtr<CPGameObject> empty(new CPGameObject("empty"));
    float width = 7.0f;
    EXPECT_FALSE(fonts->PrintText(empty, 0.0f, 0.0f, "f", "AB", &width));
    EXPECT_FLOAT_EQ(width, 7.0f);
    EXPECT_FALSE(fonts->PrintText(CPSmartPtr<CPGameObject>(), 0.0f, 0.0f, "f", "AB", &width));
}

TEST_F(FontManagerTest, TheManagerIsTheProcessSingletonWhileItLives) {
    EXPECT_EQ(GetFontManager(), fonts);
    delete fonts;
    fonts = nullptr;
    EXPECT_EQ(GetFontManager(), nullptr);
}

} // namespace
