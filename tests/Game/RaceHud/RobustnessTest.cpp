// Every race-control, head-up-display and route function, listed from its family's registration
// tables, called without a level and on a fixture level with racers, with no arguments, with objects of the
// wrong kind, with a dead handle and with hostile numbers: no Lua error (the families read no
// required argument), no sanitizer report, and the documented defaults. The functions that make,
// start, stop and delete the level are left out here: they would replace the fixture level (their
// own robustness test lives with the race-control tests).

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Game/LuaHarness.h"
#include "Game/PInterface.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptRaceControl.h"
#include "Game/ScriptRaceHud.h"
#include "Game/ScriptRoute.h"
#include "Render/PRender.h"
#include "Script/ScriptBinding.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "support/RaceFixture.h"

namespace {

const std::set<std::string> kLevelLifecycle = {"InitLevel", "StartLevel", "StopLevel", "DeleteLevel"};

std::vector<std::string> FamilyNames() {
    Script::ScriptFunctionTables tables;
    ScriptApi::AddRaceControlFunctions(tables);
    ScriptApi::AddRaceHudFunctions(tables);
    ScriptApi::AddRouteFunctions(tables);
    std::vector<std::string> names;
    for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
        for (const Script::ScriptFunction& f : tables.Table(t))
            if (!kLevelLifecycle.count(f.name)) names.push_back(f.name);
    return names;
}

// Argument lists every function meets: none, wrong kinds, a dead handle, hostile numbers and
// extra arguments.
const char* const kArgumentLists[] = {
    "",
    "scene",
    "ui",
    "dead",
    "scene, scene, scene, scene, scene, scene, scene",
    "ui, ui, ui, ui",
    "dead, 1, 2, 3",
    "0/0, 0/0, 0/0, 0/0, 0/0, 0/0",
    "1/0, -1/0, 1/0, -1/0, 1/0, -1/0",
    "1e308, -1e308, 1e308, -1e308, 1e308, -1e308",
    "2147483647, 2147483647, -2147483648, 2147483647, 1e10, -1e10",
    "'x', '', '12', {}, true, false",
    "nil, nil, nil, nil, nil, nil, nil, nil",
    "racer, 1, 2, 3",
    "racer, 0/0, 1/0, -1/0",
    "racer, racer, racer, racer",
    "true",
    "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12",
};

class Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        lua = std::make_unique<kxtest::LuaHarness>(
            [](Script::ScriptFunctionTables& tables) { ScriptApi::InstallScriptApi(tables); });
        scene = CPSmartPtr<CPGameObject>(new CPGameObject("scene"));
        ui = CPSmartPtr<CPInterface>(new CPInterface());
        {
            CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
            deadHandle = gone->GetHandle();
        }
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        ASSERT_EQ(IPMMObject::FindByHandle(deadHandle), nullptr);
        Give("scene", scene.Get());
        Give("ui", ui.Get());
        lua_pushlightuserdata(lua->L, Script::HandleToUserdata(deadHandle));
        lua_setglobal(lua->L, "dead");
    }
    void TearDown() override {
        lua.reset();
        ui = nullptr;
        scene = nullptr;
    }
    void Give(const char* name, IPMMObject* object) {
        lua_pushlightuserdata(lua->L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
        lua_setglobal(lua->L, name);
    }
    // Calls every function with every argument list; the results of the bare calls by name.
    std::map<std::string, std::string> CallEverything() {
        std::map<std::string, std::string> bare;
        for (const std::string& name : FamilyNames()) {
            for (const char* arguments : kArgumentLists) {
                const std::string call = name + "(" + arguments + ")";
                const std::string result = lua->Eval(call);
                EXPECT_EQ(result.rfind("error:", 0), std::string::npos) << call << ": " << result;
                if (*arguments == '\0') bare[name] = result;
            }
        }
        return bare;
    }

    std::unique_ptr<kxtest::LuaHarness> lua;
    CPSmartPtr<CPGameObject> scene;
    CPSmartPtr<CPInterface> ui;
    PMMHandle deadHandle = 0;
};

TEST_F(Robustness, WithoutALevelEveryFunctionGivesItsDefault) {
    Give("racer", nullptr);
    CPSmartPtr<CPRender> render(new CPRender());
    const std::map<std::string, std::string> bare = CallEverything();
    const std::map<std::string, std::string> defaults = {
        {"GetSplineLineCount", "1"},
        {"GetMapCheckPointsCount", "0"},
        {"GetPlayerSplinePosition", "0 0 0"},
        {"GetLevelTime", "0"},
        {"IsLevelStartedAfterStripes", "false"},
        {"IsDeathMsg", "false"},
        {"IsDamageMsg", "false"},
        {"GetTemp", "1"},
        {"GetAICount", "nil"},
        {"GetPlayerNitroTimeAch", "0"},
        {"IfPlayerUsedNitro", "false"},
        {"IfPlayerUsedSpawn", "true"},
        {"GetSuperNitroTime", "0"},
        {"GetSuperNitroTime2", "0"},
        {"GetPlayerSpeed", "0"},
        {"GetPlayerSlide", "1"},
        {"GetPlayerEngineSpeed", "0"},
        {"GetPlayerEngineForce", "0"},
        {"GetPlayerTractionTime", "0"},
        {"GetPlayerEngineGear", "0"},
        {"GetRespawnCounts", "0"},
        {"IsDead", "true"},
        {"IsPlayerCrashed", "false"},
        {"GetObjectSpeed", "0"},
        {"IsInGloom", "false"},
    };
    for (const auto& [name, result] : bare) {
        if (name == "CreateArrow") continue;
        auto it = defaults.find(name);
        EXPECT_EQ(result, it == defaults.end() ? std::string() : it->second) << name;
    }
    EXPECT_EQ(lua->Eval("type(CreateArrow())"), "\"userdata\"");
    EXPECT_EQ(render->tuningIndex, 0);
}

TEST_F(Robustness, OnAFixtureLevelWithRacersNothingBreaksAndTheRacersStayFinite) {
    kxtest::RaceFixture race;
    race.models["hint.rdf"] = [] { return kxtest::MakeBoxObject("hint"); };
    kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel();
    writer.AddSpline(kxtest::RingSpline("path", 0.0f, 0.0f, 100.0f, 16));
    writer.AddObject("checkpoint1", 100.0f, 10.0f, 0.0f);
    writer.AddObject("chk1_hint", 0.0f, 100.0f, 0.0f);
    ASSERT_TRUE(race.Load(writer, "level3"));
    CPLevel& level = *race.level;
    level.camera = CPSmartPtr<CPCamera>(new CPCamera());
    level.miniMap = CPSmartPtr<CPMiniMap>(new CPMiniMap());
    level.hintCursor = level.checkpointHints.begin();
    std::vector<CPSmartPtr<CPPlayer>> racers;
    for (int i = 0; i < 7; ++i) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer());
        racer->SetFlags(i % 4);
        racer->SetPosition(D3DXVECTOR3(100.0f, 5.0f * i, 1.0f));
        racer->UpdateTransform();
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
        data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
        data->AddBoxShape(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), 2.0f, 1.0f, 4.0f,
                          10.0f);
        racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
        race.physics->AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
        race.physics->ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
        CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
        racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
        car->Init(race.physics->GetSimulator(), i == 0);
        racers.push_back(racer);
    }
    level.humanRacer = racers[0];
    level.player = racers[0].Get();
    level.opponents.assign(racers.begin() + 1, racers.end());
    Give("racer", racers[1].Get());
    CPSmartPtr<CPRender> render(new CPRender());

    const std::map<std::string, std::string> bare = CallEverything();
    EXPECT_EQ(bare.at("IsPlayerMoveForward"), "true");
    EXPECT_EQ(bare.at("GetSplineLineCount"), "1");
    EXPECT_EQ(bare.at("GetPlayerSlide"), "1");
    EXPECT_EQ(bare.at("GetAICount"), "nil");
    EXPECT_GE(render->tuningIndex, 0);
    EXPECT_LE(render->tuningIndex, 18);

    for (int i = 0; i < 30; ++i) race.physics->GetSimulator()->Advance(1.0f / 60.0f, 1, nullptr);
    for (const CPSmartPtr<CPPlayer>& racer : racers) {
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        ASSERT_TRUE(data && data->GetRigidBody());
        const RbVector v = data->GetRigidBody()->GetVelocity();
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    level.player = nullptr;
    level.humanRacer = nullptr;
    level.opponents.clear();
}

} // namespace
