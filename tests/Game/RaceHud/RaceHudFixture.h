#pragma once
// A head-up-display layout with every element and text the race display names, loaded on the
// interface fixture; the whole script API in a Lua state; and a bare level with a human racer
// (no file, no car) whose fields the tests set.

#include <memory>
#include <string>
#include <vector>

#include "Game/Interface/InterfaceFixture.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"

namespace racehud {

// The element names of the race display.
inline std::vector<std::string> HudElementNames() {
    std::vector<std::string> names = {
        "krest",         "steel",        "steelfibre",   "titan",   "energy",    "engine1",   "engine2",
        "engine3",       "analyzer",     "repair",       "laser",   "bullets",   "firerate",  "damage",
        "regeneration",  "analyzer2",    "repair2",      "laser2",  "bullets2",  "firerate2", "damage2",
        "regeneration2", "noequipment1", "noequipment2", "contact", "emcontact", "timer",     "nocontact",
        "emnocontact",   "cassette",     "no_mina",      "mines",   "slot1",     "slot2",     "slot3",
        "nosuper1",      "nosuper2",     "nosuper3",     "super1",  "super2",    "super3",    "minebox"};
    for (const char* weapon : {"lgun", "lgun2x", "gauss", "shotgun", "mgun", "mgun2x", "hmgun", "rlauncher",
                               "ssrlauncher", "plasma", "firethrower", "autoshotgun"}) {
        names.push_back(weapon);
        names.push_back(std::string(weapon) + "_off");
    }
    for (int i = 1; i <= 17; ++i) names.push_back("bullet" + std::to_string(i));
    for (int i = 1; i <= 12; ++i) names.push_back("overheat" + std::to_string(i));
    return names;
}

// Each element a window of its own at a position of its index; the slot elements stand where
// the tests can tell them apart.
inline std::string HudLayout() {
    std::string text = interfacetest::Header();
    int i = 0;
    for (const std::string& name : HudElementNames()) {
        int x = 10 + i % 20, y = 10 + i / 20;
        if (name == "slot1") x = 100, y = 600;
        if (name == "slot2") x = 200, y = 600;
        if (name == "slot3") x = 300, y = 600;
        if (name == "no_mina") x = 400, y = 650;
        text += "window\n" + name + " " + std::to_string(x) + "," + std::to_string(y) + ",8,8\n";
        ++i;
    }
    for (const char* name : {"score", "time", "kills", "life", "mines"})
        text += std::string("text\n") + name + " f,0,0,hello\n";
    text += "window\ncursor 0,0,8,8\n";
    return text;
}

class RaceHudTest : public interfacetest::InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        if (HasFatalFailure()) return;
        WriteLayout("hud", HudLayout());
        lua = std::make_unique<kxtest::LuaHarness>(
            [](Script::ScriptFunctionTables& tables) { ScriptApi::InstallScriptApi(tables); });
        lua->Run("hud = CreateInterface('hud', 0)");
        level = new CPLevel();
        racer = CPSmartPtr<CPPlayer>(new CPPlayer());
        level->humanRacer = racer;
        level->player = racer.Get();
    }
    void TearDown() override {
        lua.reset();
        delete level;
        level = nullptr;
        racer = nullptr;
        for (CPInterface* ui : CPInterface::LiveInterfaces())
            while (Script::GiveBackScriptReference(ui)) {}
        InterfaceTest::TearDown();
    }

    CPInterface& Hud() { return *CPInterface::LiveInterfaces().back(); }
    std::string Eval(const std::string& call) { return lua->Eval(call); }
    bool Shown(const std::string& name) {
        CPWindow* element = Hud().FindElement(name);
        EXPECT_NE(element, nullptr) << name;
        return element && element->IsVisible();
    }
    std::string TextOf(const std::string& name) {
        SPTextEntry* entry = Hud().FindText(name);
        EXPECT_NE(entry, nullptr) << name;
        return entry ? entry->text : std::string();
    }
    // The shown elements among those named by the prefix and a number.
    std::vector<std::string> ShownWithPrefix(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& name : HudElementNames()) {
            if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size()) continue;
            if (name.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
            if (Shown(name)) out.push_back(name);
        }
        return out;
    }

    std::unique_ptr<kxtest::LuaHarness> lua;
    CPLevel* level = nullptr;
    CPSmartPtr<CPPlayer> racer;
};

} // namespace racehud
