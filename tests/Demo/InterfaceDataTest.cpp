// The demo's interface data: every layout loads through the interface loader with its script,
// picture, fonts and texts, and holds every element the head-up-display functions name; both
// fonts load and their metrics match the glyphs drawn in their pictures; the lamps' lens flare
// loads; the key bindings and settings the demo ships load with the demo's values; every message
// the race sends has a text.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "DemoRoot.h"
#include "Framework/PApplication.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Game/LuaHarness.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Game/PLensFlareInterface.h"
#include "Game/ScriptApi.h"
#include "Input/NInput.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Image/ImageDecode.h"
#include "Platform/Window/Keyboard.h"
#include "RecordingMaterialHost.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Render/PTexture.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "support/TestDevices.h"

namespace demotest {
namespace {

struct LayoutInfo {
    const char* name;
    const char* script;
    const char* picture;
    bool pointer;
    bool windows;
};

// Every layout with the script it names (the screens' scripts read its elements by name).
const LayoutInfo kLayouts[] = {
    {"mainmenu", "menu_main", "ui_menu.tga", true, true},
    {"options", "menu_options", "ui_menu.tga", true, true},
    {"pause", "menu_pause", "ui_menu.tga", true, true},
    {"results", "menu_results", "ui_menu.tga", true, true},
    {"game_interface", "game_interface", "ui_hud.tga", false, true},
    {"gamemenu", "gamemenu", "ui_hud.tga", false, true},
    {"stripes", "stripes_new", "ui_hud.tga", false, true},
    {"helper", "helper", "ui_hud.tga", false, false},
    {"achievement", "new_achievement", "ui_hud.tga", false, false},
};

const char* const kFonts[] = {"font_small", "font_big"};

std::vector<std::string> Numbered(const std::string& stem, int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) names.push_back(stem + std::to_string(i));
    return names;
}

// The material's textures by name, "(not loaded)" for one that did not load.
std::vector<std::string> LoadedTextures(const CPMaterial& material) {
    std::vector<std::string> names;
    const CPTextureBlock* block = material.GetTextureBlock();
    for (int i = 0; block && i < block->GetCount(); ++i) {
        const CPTexture* texture = block->GetTexture(i);
        names.push_back(texture && texture->GetBaseTexture() ? texture->GetName() : std::string("(not loaded)"));
    }
    return names;
}

// The lines of a layout as the loader reads them.
std::vector<std::string> LayoutLines(const std::string& text) {
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return lines;
}

class DemoInterface : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        if (HasFatalFailure()) return;
        savedWidth = g_screenWidth;
        savedHeight = g_screenHeight;
        UseScreen(1024, 768);
        store.Data().LoadStrings();
        host.Open();
        if (HasFatalFailure()) return;
        effects = new CPEffectManager();
        fonts = new CPFontManager();
        fonts->Load();
    }
    // The game root keeps a player's settings and bindings over rebuilds; these tests read the
    // ones the checkout ships.
    void UseShippedFile(const std::string& name) {
        fs::copy_file(fs::path(KX_CHECKOUT_DATA) / name, fs::path(store.Path()) / name,
                      fs::copy_options::overwrite_existing);
    }
    void TearDown() override {
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        delete fonts;
        delete effects;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        host.Close();
        UseScreen(savedWidth, savedHeight);
        DemoRoot::TearDown();
    }
    static void UseScreen(int width, int height) {
        g_screenWidth = width;
        g_screenHeight = height;
        ComputeInterfaceScale(width, height);
    }

    CPSmartPtr<CPInterface> Load(const std::string& name) {
        CPSmartPtr<CPInterface> ui(new CPInterface());
        EXPECT_TRUE(ui->LoadLayout(name, 0)) << name;
        return ui;
    }

    // Every element of the layout under each name, or a failure naming the missing ones.
    void ExpectElements(const std::string& layout, const std::vector<std::string>& names) {
        CPSmartPtr<CPInterface> ui = Load(layout);
        for (const std::string& name : names) EXPECT_NE(ui->FindElement(name), nullptr) << layout << ": " << name;
    }

    RecordingMaterialHost host;
    CPEffectManager* effects = nullptr;
    CPFontManager* fonts = nullptr;
    int savedWidth = 0, savedHeight = 0;
};

TEST_F(DemoInterface, EveryLayoutLoadsWithItsPictureFontsAndTexts) {
    for (const LayoutInfo& info : kLayouts) {
        SCOPED_TRACE(info.name);
        const std::string text = ReadThroughFileLayer(std::string("Data/Interface/") + info.name + "1024.int");
        ASSERT_FALSE(text.empty());
        const std::vector<std::string> lines = LayoutLines(text);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], info.script);
        EXPECT_EQ(lines[1].substr(0, lines[1].find(',')), info.picture);
        EXPECT_FALSE(ReadThroughFileLayer(std::string("Data/Textures/") + info.picture).empty());

        CPSmartPtr<CPInterface> ui = Load(info.name);
        EXPECT_EQ(!ui->GetElements().empty(), info.windows);
        EXPECT_EQ(ui->GetPointerObject().Get() != nullptr, info.pointer);
        // The batch material is the layout's picture on the interface effect, never a fallback.
        CPMaterial* material = ui->GetBatch()->GetMaterial().Get();
        ASSERT_NE(material, nullptr);
        EXPECT_NE(material->GetClassName().find("interface.fx"), std::string::npos) << material->GetClassName();
        EXPECT_EQ(LoadedTextures(*material), std::vector<std::string>{info.picture});

        std::set<std::string> names;
        for (const auto& element : ui->GetElements()) {
            SCOPED_TRACE(element->GetName());
            EXPECT_TRUE(names.insert(element->GetName()).second) << "two elements of one name";
            // Cut from inside the atlas and placed on the screen (health bars wait off it, hidden).
            for (int i = 0; i < 4; ++i) {
                const SPVertex& v = element->GetVertices()[i];
                EXPECT_GE(v.tu, 0.0f);
                EXPECT_LE(v.tu, 1.0f);
                EXPECT_GE(v.tv, 0.0f);
                EXPECT_LE(v.tv, 1.0f);
            }
            // A button's size is its pictures' quad.
            const SPVertex* quad = element->GetVertices();
            const float width = quad[1].x - quad[0].x, height = quad[3].y - quad[0].y;
            EXPECT_GT(width, 0.0f);
            EXPECT_GT(height, 0.0f);
            if (element->IsVisible()) {
                EXPECT_GE(element->GetX() + 0.5f, 0.0f);
                EXPECT_GE(element->GetY() + 0.5f, 0.0f);
                EXPECT_LE(element->GetX() + width, 1024.0f);
                EXPECT_LE(element->GetY() + height, 768.0f);
            }
        }
        for (const auto& [name, entry] : ui->GetTexts()) {
            EXPECT_NE(fonts->GetLoadedFont(entry->font), nullptr) << name << " prints with " << entry->font;
        }

        // Every text key of the layout has a text, so the text prints.
        for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
            if (lines[i] != "text") continue;
            const std::vector<std::string> parts = SplitTokens(lines[i + 1], " ", true);
            ASSERT_EQ(parts.size(), 2u) << lines[i + 1];
            const std::vector<std::string> fields = SplitTokens(parts[1], ",", true);
            if (fields.size() < 4 || fields[3].empty()) continue;
            EXPECT_FALSE(store.Data().GetText(fields[3]).empty()) << fields[3];
            const SPTextEntry* entry = ui->FindText(parts[0]);
            ASSERT_NE(entry, nullptr) << parts[0];
            const auto& printed = entry->object->GetRenderObject()->ModelVertices();
            EXPECT_FALSE(printed.empty()) << parts[0];
            // And it fits on the screen.
            for (const SPVertex& v : printed) {
                EXPECT_LE(v.x, 1024.0f) << parts[0];
                EXPECT_LE(v.y, 768.0f) << parts[0];
            }
        }
    }
}

TEST_F(DemoInterface, TheMenusHaveTheirButtons) {
    struct Case {
        const char* layout;
        std::vector<std::string> buttons;
    };
    const Case cases[] = {
        {"mainmenu", {"race", "car", "options", "load", "save", "quit"}},
        {"options", {"sound_down", "sound_up", "music_down", "music_up", "next_action", "assign", "back"}},
        {"pause", {"resume", "options", "leave"}},
        {"results", {"menu"}},
    };
    for (const Case& c : cases) {
        CPSmartPtr<CPInterface> ui = Load(c.layout);
        std::set<std::string> buttons;
        for (const auto& button : ui->GetButtons()) buttons.insert(button->GetName());
        EXPECT_EQ(buttons, std::set<std::string>(c.buttons.begin(), c.buttons.end())) << c.layout;
    }
}

TEST_F(DemoInterface, TheHeadUpDisplayHoldsEveryElementItsFunctionsName) {
    // UpdateTime, UpdateScore, InitGameInterface and UpdateGameInterface all work on the race
    // panel.
    std::vector<std::string> panel = Numbered("bullet", 17);
    for (const std::string& name : Numbered("overheat", 12)) panel.push_back(name);
    for (const char* weapon : {"lgun", "lgun2x", "gauss", "shotgun", "mgun", "mgun2x", "hmgun", "rlauncher",
                               "ssrlauncher", "plasma", "firethrower", "autoshotgun"}) {
        panel.push_back(weapon);
        panel.push_back(std::string(weapon) + "_off");
    }
    for (const char* name :
         {"contact",  "emcontact", "timer",   "nocontact",     "emnocontact",  "cassette",    "no_mina",
          "mines",    "slot1",     "slot2",   "slot3",         "nosuper1",     "nosuper2",    "nosuper3",
          "super1",   "super2",    "super3",  "krest",         "steel",        "steelfibre",  "titan",
          "energy",   "engine1",   "engine2", "engine3",       "analyzer",     "repair",      "laser",
          "bullets",  "firerate",  "damage",  "regeneration",  "analyzer2",    "repair2",     "laser2",
          "bullets2", "firerate2", "damage2", "regeneration2", "noequipment1", "noequipment2"})
        panel.push_back(name);
    // The demo's own catalog: every weapon, mine, armour and engine a car can carry, and every
    // equipment in either slot, has its icon.
    CPGameData& data = store.Data();
    ASSERT_TRUE(data.LoadCatalogs());
    for (const auto& [name, item] : data.weaponCatalog.items) {
        panel.push_back(name);
        panel.push_back(name + "_off");
    }
    for (const auto& [name, item] : data.mineCatalog.items) panel.push_back(name);
    for (const auto& [name, item] : data.armorCatalog.items) panel.push_back(name);
    for (const auto& [name, item] : data.engineCatalog.items) panel.push_back(name);
    for (const auto& [name, item] : data.equipmentCatalog.items) {
        panel.push_back(name);
        panel.push_back(name + "2");
    }
    ExpectElements("gamemenu", panel);
    CPSmartPtr<CPInterface> ui = Load("gamemenu");
    for (const char* text : {"life", "mines", "time", "kills", "score"}) EXPECT_NE(ui->FindText(text), nullptr) << text;
    // The weapon icons are moved onto the slots: they have the slots' size.
    const CPWindow* slot = ui->FindElement("slot1");
    ASSERT_NE(slot, nullptr);
    for (const auto& [name, item] : data.weaponCatalog.items) {
        const CPWindow* icon = ui->FindElement(name);
        ASSERT_NE(icon, nullptr) << name;
        EXPECT_FLOAT_EQ(icon->GetWidth(), slot->GetWidth()) << name;
        EXPECT_FLOAT_EQ(icon->GetHeight(), slot->GetHeight()) << name;
    }
}

TEST_F(DemoInterface, TheHudFunctionsShowADemoCarOnTheDemoLayouts) {
    auto lua = std::make_unique<kxtest::LuaHarness>(
        [](Script::ScriptFunctionTables& tables) { ScriptApi::InstallScriptApi(tables); });
    lua->Run("panel = CreateInterface('gamemenu', 0) readouts = CreateInterface('game_interface', 0)");
    CPInterface* readouts = CPInterface::LiveInterfaces().back();
    CPInterface* panel = CPInterface::LiveInterfaces()[CPInterface::LiveInterfaces().size() - 2];
    ASSERT_EQ(panel->GetName(), "gamemenu");
    ASSERT_EQ(readouts->GetName(), "game_interface");
    auto* level = new CPLevel();
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    level->humanRacer = racer;
    level->player = racer.Get();

    // A car of the demo's shop: two machine guns, a radar, the street engine, light plates.
    SPCarSettings& car = store.Data().realCar;
    car.weapons = {"mgun", "mgun", ""};
    car.equipment = {"radar", ""};
    car.engine = "v6_street";
    car.armor = "light_plates";
    racer->weaponSlot = 0;
    racer->ammo[0] = 0.5f;
    racer->health = 75.0f;
    racer->engineTemperature = 0.25f;
    level->timeLeft = 95.0f;
    lua->Run("InitGameInterface(panel) UpdateGameInterface(panel) UpdateTime(panel) UpdateScore(panel, 42)");

    const auto shown = [](CPInterface* ui) {
        std::set<std::string> names;
        for (const auto& element : ui->GetElements())
            if (element->IsVisible()) names.insert(element->GetName());
        return names;
    };
    const std::set<std::string> panelShown = shown(panel);
    // The race texts are a layout of their own, apart from the panel.
    EXPECT_EQ(shown(readouts).count("overheat1"), 0u);
    for (const char* name : {"light_plates", "v6_street", "radar", "noequipment2", "mgun", "mgun_off", "slot3",
                             "no_mina", "nosuper1", "nosuper2", "nosuper3", "bullet9"})
        EXPECT_EQ(panelShown.count(name), 1u) << name;
    for (const char* name : {"krest", "noequipment1", "slot1", "slot2", "bullet10", "mines", "super1", "radar2"})
        EXPECT_EQ(panelShown.count(name), 0u) << name;
    // The weapon icons stand on their slots.
    EXPECT_FLOAT_EQ(panel->FindElement("mgun")->GetX(), panel->FindElement("slot1")->GetX());
    EXPECT_FLOAT_EQ(panel->FindElement("mgun_off")->GetX(), panel->FindElement("slot2")->GetX());
    EXPECT_EQ(panel->FindText("life")->text, "075");
    EXPECT_EQ(panel->FindText("mines")->text, "00");

    for (int i = 1; i <= 12; ++i) EXPECT_EQ(panelShown.count("overheat" + std::to_string(i)), i <= 3 ? 1u : 0u) << i;
    EXPECT_EQ(panel->FindText("time")->text, "01:35");
    EXPECT_EQ(panel->FindText("score")->text, "00042");
    EXPECT_FALSE(panel->FindText("time")->object->GetRenderObject()->ModelVertices().empty());

    lua.reset();
    delete level;
    for (CPInterface* ui : CPInterface::LiveInterfaces())
        while (Script::GiveBackScriptReference(ui)) {}
}

TEST_F(DemoInterface, TheScreensHoldWhatTheirScriptsName) {
    struct Case {
        const char* layout;
        std::vector<std::string> elements;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"mainmenu", {}, {"car"}},
        {"options", {}, {"sound", "music", "action", "key"}},
        {"results", {}, {"place", "time", "best"}},
        {"game_interface",
         {"map_cp1", "map_cp2", "map_cp3", "map_cp4"},
         {"message", "bonus", "speed", "place", "round", "health"}},
        {"gamemenu", {"overheat_warning"}, {"money"}},
        {"stripes", {"count3", "count2", "count1", "count_go", "stripe_top", "stripe_bottom"}, {}},
        {"helper", {}, {"hint"}},
        {"achievement", {}, {"achievement"}},
    };
    for (const Case& c : cases) {
        CPSmartPtr<CPInterface> ui = Load(c.layout);
        for (const std::string& name : c.elements)
            EXPECT_NE(ui->FindElement(name), nullptr) << c.layout << ": " << name;
        for (const std::string& name : c.texts) EXPECT_NE(ui->FindText(name), nullptr) << c.layout << ": " << name;
    }
}

TEST_F(DemoInterface, BothFontsLoadAndTheirMetricsMatchTheirPictures) {
    for (const char* name : kFonts) {
        SCOPED_TRACE(name);
        const SPFont* font = fonts->GetLoadedFont(name);
        ASSERT_NE(font, nullptr);
        ASSERT_NE(font->material.Get(), nullptr);
        EXPECT_FLOAT_EQ(font->tracking, 0.0f);
        EXPECT_GT(font->cellHeight, 0.0f);

        const std::string file = ReadThroughFileLayer(std::string("Data/Textures/") + name + ".tga");
        Platform::Image picture;
        std::string error;
        ASSERT_TRUE(Platform::DecodeImage(file.data(), file.size(), Platform::ImageLoadOptions{}, picture, error))
            << error;
        const auto& level = picture.faces.at(0).at(0);
        const int w = static_cast<int>(level.width), h = static_cast<int>(level.height);
        const auto alpha = [&](int x, int y) {
            return level
                .data[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4 +
                      3];
        };

        EXPECT_GT(font->advances[static_cast<unsigned char>(' ')], 0.0f);
        for (int code = 33; code <= 126; ++code) {
            SCOPED_TRACE(static_cast<char>(code));
            const SPGlyph& glyph = font->glyphs[code];
            ASSERT_GT(font->advances[code], 0.0f);
            ASSERT_GE(glyph.left, 0.0f);
            ASSERT_LE(glyph.right, 1.0f);
            ASSERT_LE(glyph.bottom, 1.0f);
            const int left = static_cast<int>(std::lround(glyph.left * w));
            const int right = static_cast<int>(std::lround(glyph.right * w));
            const int top = static_cast<int>(std::lround(glyph.top * h));
            const int bottom = static_cast<int>(std::lround(glyph.bottom * h));
            // Its picture lies inside its rectangle: opaque white strokes within, and nothing of
            // it in the rest of its cell, which the next glyph's quad never shows.
            int opaque = 0, outside = 0;
            const int cellRight = left + static_cast<int>(std::lround(font->cellHeight));
            for (int y = top; y < bottom; ++y) {
                for (int x = left; x < right; ++x) opaque += alpha(x, y) == 255;
                for (int x = right; x < std::min(cellRight, w); ++x) outside += alpha(x, y) != 0;
            }
            EXPECT_GT(opaque, 0);
            EXPECT_EQ(outside, 0);
        }

        // Printing advances the pen by the glyph widths, one quad a character.
        CPRenderObject mesh;
        float width = 0.0f;
        fonts->PrintIntoMesh(mesh, 0.0f, 0.0f, name, "Lap 2/2", &width);
        EXPECT_EQ(mesh.ModelVertices().size(), 7u * 4u);
        float expected = 0.0f;
        for (char c : std::string("Lap 2/2")) expected += font->advances[static_cast<unsigned char>(c)];
        EXPECT_FLOAT_EQ(width, expected);
    }
}

TEST_F(DemoInterface, TheLampsFlareLoads) {
    // The name the level's lamps give their flare.
    const std::string lamp = ReadThroughFileLayer("Data/Meshes/lamp.rdf");
    ASSERT_NE(lamp.find("lampflare"), std::string::npos);

    CPSmartPtr<CPLensFlareInterface> flare(new CPLensFlareInterface());
    ASSERT_TRUE(flare->LoadLayout("lampflare", 1));
    const std::vector<SPFlare>& flares = flare->GetFlares();
    ASSERT_GE(flares.size(), 3u);
    EXPECT_FALSE(ReadThroughFileLayer("Data/Textures/" + flares[0].texture).empty());
    EXPECT_EQ(flare->GetElements().size(), flares.size());
    // Every piece is cut from inside the picture and carries a colour.
    for (const auto& element : flare->GetElements()) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_GE(element->GetVertices()[i].tu, 0.0f);
            EXPECT_LE(element->GetVertices()[i].tu, 1.0f + 1e-5f);
            EXPECT_GE(element->GetVertices()[i].tv, 0.0f);
            EXPECT_LE(element->GetVertices()[i].tv, 1.0f + 1e-5f);
        }
        EXPECT_NE(element->GetColour() & 0x00ffffffu, 0u);
        EXPECT_GT(element->GetWidth(), 0.0f);
    }
    CPMaterial* material = flare->GetBatch()->GetMaterial().Get();
    ASSERT_NE(material, nullptr);
    EXPECT_NE(material->GetClassName().find("lensflare.fx"), std::string::npos) << material->GetClassName();
    EXPECT_EQ(LoadedTextures(*material), (std::vector<std::string>{flares[0].texture, "window.tga"}));
}

TEST_F(DemoInterface, TheKeyBindingsBindEveryActionToItsOwnKey) {
    UseShippedFile("Actions.cfg");
    CNInput input;
    ASSERT_GE(input.LoadActions("Actions.cfg"), 0);
    struct Case {
        const char* action;
        int key;
    };
    const Case cases[] = {
        {"exit", DIK_ESCAPE},   {"accelerate", DIK_UP}, {"brake", DIK_DOWN},    {"left", DIK_LEFT},
        {"right", DIK_RIGHT},   {"nitro", DIK_SPACE},   {"fire", DIK_LCONTROL}, {"next_weapon", DIK_E},
        {"prev_weapon", DIK_Q}, {"camera", DIK_C},      {"pause", DIK_P},
    };
    std::set<int> keys;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const CNActionBinding* binding = input.FindAction(c.action);
        ASSERT_NE(binding, nullptr);
        EXPECT_TRUE(binding->assigned);
        EXPECT_FALSE(binding->keyIsNumber);
        EXPECT_EQ(binding->code, c.key);
        // The key table sends the action's name with "key_action".
        EXPECT_EQ(input.GetKeyBinding(c.key).secondText, c.action);
        // The options page shows the second text through the text table.
        EXPECT_FALSE(store.Data().GetText(binding->secondText).empty()) << binding->secondText;
        keys.insert(binding->code);
    }
    EXPECT_EQ(keys.size(), std::size(cases));
    EXPECT_EQ(input.GetActionOrder().size(), std::size(cases));
}

TEST_F(DemoInterface, TheSettingsLoadWithTheDemoValues) {
    UseShippedFile("config.cfg");
    ResetSettingsToDefaults();
    {
        CPSettings settings;
        std::string error;
        ASSERT_TRUE(settings.Load("config.cfg", &error)) << error;
        struct Case {
            const char* key;
            int value;
            int actual;
        };
        const Case cases[] = {
            {"weight_div", 1, g_weight_div},
            {"fullScreen", 0, g_fullScreen},
            {"screenWidth", 1024, g_screenWidth},
            {"screenHeight", 768, g_screenHeight},
            {"screenBPP", 32, g_screenBPP},
            {"dust", 1, g_dust},
            {"psystems", 25, g_psystems},
            {"rolling", 1, g_rolling},
            {"shadows", 1, g_shadows},
            {"lensflare", 1, g_lensflare},
            {"weather", 1, g_weather},
            {"bloom", 1, g_bloom},
            {"blur", 1, g_blur},
            {"distance", 400, g_distance},
            {"quadlevels", 0, g_quadlevels},
            {"static", 0, g_static},
        };
        for (const Case& c : cases) EXPECT_EQ(c.actual, c.value) << c.key;
        EXPECT_FLOAT_EQ(g_plane, 1.0f);
        // Every key of the registry is in the file, so a first run writes back what it read.
        const std::string text = ReadWhole(fs::path(store.Path()) / "config.cfg");
        for (const auto& [key, binder] : settings.Map()) EXPECT_NE(text.find(key + " = "), std::string::npos) << key;
    }
    ResetSettingsToDefaults();
    IPMMObject::CollectGarbage();
}

// The keys the race world sends as messages ("show_message", "place", and the first field of
// "checkpoint"), read from its sources so a new message cannot go out without a text.
std::set<std::string> SentMessageKeys() {
    std::set<std::string> keys;
    const fs::path world = fs::path(KX_CHECKOUT_DATA).parent_path() / "src" / "World";
    const std::regex sent(R"re("game_interface",\s*"(show_message|place|checkpoint)",\s*"([^",]+)[",])re");
    const std::regex choice(R"re("(show_message|place)",\s*[^;]*\?\s*"([^"]+)"\s*:\s*"([^"]+)")re");
    // Messages formatted with a number after them ("checkpoint!,%d").
    const std::regex formatted(R"re("([A-Za-z0-9_]+!),%d")re");
    for (const auto& entry : fs::directory_iterator(world)) {
        if (entry.path().extension() != ".cpp") continue;
        const std::string source = ReadWhole(entry.path());
        for (std::sregex_iterator it(source.begin(), source.end(), sent), end; it != end; ++it) keys.insert((*it)[2]);
        for (std::sregex_iterator it(source.begin(), source.end(), formatted), end; it != end; ++it)
            keys.insert((*it)[1]);
        for (std::sregex_iterator it(source.begin(), source.end(), choice), end; it != end; ++it) {
            keys.insert((*it)[2]);
            keys.insert((*it)[3]);
        }
    }
    return keys;
}

TEST_F(DemoInterface, EveryMessageTheRaceSendsHasAText) {
    const std::set<std::string> sent = SentMessageKeys();
    for (const char* known : {"krug_proiden!", "posledniy_krug!", "lost!", "finish!", "checkpoint!", "timeout!",
                              "takedown1", "takedown2", "respawnminus", "1st", "2nd", "3rd"})
        EXPECT_EQ(sent.count(known), 1u) << known << " is no longer found in the race's sources";
    CPGameData& data = store.Data();
    for (const std::string& key : sent) EXPECT_FALSE(data.GetText(key).empty()) << key;
    for (const char* key :
         {"bonus_time", "hint4", "hint6", "hint10", "press_key", "ach_firstplace", "ach_win_wo_respawn"})
        EXPECT_FALSE(data.GetText(key).empty()) << key;
}

} // namespace
} // namespace demotest
