#pragma once
// A game root with a text table, a bitmap font and the demo interface effects; a Recording
// device as the material host with the effect manager; the font manager with its fonts loaded;
// a recording command router; and a chosen screen size with its interface scale.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Platform/Graphics/D3D9.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "support/FontWriter.h"
#include "support/FreshStore.h"
#include "support/RecordingRouter.h"
#include "support/TestDevices.h"
#include "support/TgaWriter.h"

namespace interfacetest {

inline std::string ReadDataFile(const std::string& relative) {
    std::ifstream in(std::string(KX_DATA_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class MaterialHost : public IPMaterialHost {
public:
    IDirect3DDevice9* device = nullptr;
    IDirect3DDevice9* GetMaterialDevice() override { return device; }
    void QueueMaterial(CPMaterial*) override {}
};

// Glyphs of the test font "f": A (10), B (12), C (7), "_" (8), the blank (5).
inline std::vector<kxtest::FontGlyph> TestGlyphs() {
    return {{"A", 10.0f}, {"B", 12.0f}, {"C", 7.0f}, {"_", 8.0f}, {"space", 5.0f}};
}

class InterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedWidth = g_screenWidth;
        savedHeight = g_screenHeight;
        UseScreen(1024, 768);
        for (const char* effect : {"interface.fx", "interface2.fx", "lensflare.fx", "error.fx"})
            root.Write(std::string("Data/Effects/") + effect, ReadDataFile(std::string("Data/Effects/") + effect));
        root.Write("Data/Textures/error.tga", ReadDataFile("Data/Textures/error.tga"));
        root.Write("Data/Textures/ui.tga", kxtest::SolidTga(8, 8, 0xFFFFFFFFu));
        root.Write("Data/Textures/f.tga", kxtest::SolidTga(8, 8, 0xFFFFFFFFu));
        root.Write("Data/Fonts/fonts.dat", kxtest::FontListLine("f", std::string("2")));
        root.Write("Data/Fonts/f.fnt", kxtest::FontFileText(256, 256, 16, 20, TestGlyphs()));
        root.Write("Data/strings.txt", "hello~AB\nlong~ABC\n");
        root->LoadStrings();

        d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(d3d, nullptr);
        kxtest::CreateTestDevice(d3d, kxtest::WindowedBackBuffer(64, 48, D3DFMT_A8R8G8B8, D3DFMT_D24S8), &host.device);
        if (HasFatalFailure()) return;
        SetMaterialHost(&host);
        effects = new CPEffectManager();
        fonts = new CPFontManager();
        fonts->Load();
        SetCommandRouter(&router);
    }

    void TearDown() override {
        SetCommandRouter(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        delete fonts;
        delete effects;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        SetMaterialHost(nullptr);
        if (host.device) host.device->Release();
        if (d3d) d3d->Release();
        UseScreen(savedWidth, savedHeight);
    }

    static void UseScreen(int width, int height) {
        g_screenWidth = width;
        g_screenHeight = height;
        ComputeInterfaceScale(width, height);
    }

    void WriteLayout(const std::string& name, const std::string& text) {
        root.Write("Data/Interface/" + name + "1024.int", text);
    }

    // A new interface with the layout loaded (layer 0).
    CPSmartPtr<CPInterface> Load(const std::string& name, int layer = 0) {
        CPSmartPtr<CPInterface> ui(new CPInterface());
        ui->LoadLayout(name, layer);
        return ui;
    }

    // The commands sent so far, as "route target command params" texts, and forgets them.
    std::vector<std::string> TakeCommands() {
        std::vector<std::string> out;
        for (const auto& c : router.sent) {
            static const char* const kRoutes[] = {"name", "category", "object"};
            std::string text = std::string(kRoutes[static_cast<int>(c.route)]) + " ";
            text += c.route == kxtest::Route::Object ? std::string("script") : c.target;
            out.push_back(text + " " + c.command + " " + c.params);
        }
        router.sent.clear();
        return out;
    }

    kxtest::FreshGameData root;
    IDirect3D9* d3d = nullptr;
    MaterialHost host;
    CPEffectManager* effects = nullptr;
    CPFontManager* fonts = nullptr;
    kxtest::RecordingRouter router;
    int savedWidth = 0, savedHeight = 0;
};

// A layout's first three lines: script, texture, light.
inline std::string Header(const std::string& script = "no_script", const std::string& light = "light,off") {
    return script + "\nui.tga,256,256\n" + light + "\n";
}

} // namespace interfacetest
