#pragma once
// The combat and enemy-query tests' world: a race fixture (game root, store, kernel, physics,
// level loader), the whole script API, a shot manager that read its table, the enemy-data table
// and a fake millisecond clock. Scripts are written into the game root and run as script tasks
// of the kernel; they report what they see through "Report".

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptCombat.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "World/PCar.h"
#include "World/PPhysicData.h"
#include "World/PShotManager.h"
#include "World/PWorldTables.h"
#include "support/RaceFixture.h"
#include "support/ScriptReportLine.h"

namespace kxcombat {

using Strings = std::vector<std::string>;

inline Strings& Reports() {
    static Strings reports;
    return reports;
}

// Report(a, b, ...) records "a|b|..." with tostring's text for every value.
inline int Report(lua_State* L) {
    Reports().push_back(kxtest::ReportLine(L));
    return 0;
}

// Every shot the tests launch is an effect of the table: it stays where it was launched.
inline const char* const kShotTable = "// the tests' shots\n"
                                      "blast;effect;none;0;5;0;0;0;none;none;0;none;0;none\n"
                                      "super;effect;none;0;5;0;0;0;none;none;0;none;0;none\n"
                                      "medkit;effect;none;0;5;0;0;0;none;none;0;none;0;none\n"
                                      "ammo;effect;none;0;5;0;0;0;none;none;0;none;0;none\n"
                                      "sparks;effect;none;0;5;0;0;0;none;none;0;none;0;none\n";

inline const char* const kEnemyTable = "grunt;10;2.5;a;b;c\n"
                                       "wolf;3;0.5;bite;run;howl\n";

class ScriptWorld : public ::testing::Test {
protected:
    ScriptWorld() {
        Reports().clear();
        ScriptApi::InstallScriptApi();
        static const Script::ScriptFunction kTest[] = {{"Report", Report}};
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kTest);
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        Platform::SetClock(&clock);
        ScriptApi::ClearPlayerShotMark();
        race.store.Write("Data/shots.dat", kShotTable);
        shots = CPSmartPtr<CPShotManager>(new CPShotManager());
        shots->Start();
        race.store.Write("Data/enemies.dat", kEnemyTable);
        LoadEnemyTable("Data\\enemies.dat");
    }
    ~ScriptWorld() override {
        race.kernel.KillAllTasks();
        race.kernel.RunPass();
        scripts.clear();
        if (shots) shots->Clear();
        shots = nullptr;
        EnemyData().clear();
        Platform::SetClock(nullptr);
        CPLog::Instance().SetSink(nullptr);
        Script::GetScriptFunctionTables().Clear();
        ScriptApi::ClearPlayerShotMark();
    }

    // Runs the source as a script task for one kernel pass; the reports it made.
    Strings Run(const std::string& source) {
        Reports().clear();
        char name[32];
        std::snprintf(name, sizeof name, "probe%d", static_cast<int>(scripts.size()));
        race.store.Write(std::string("Data/Scripts/") + name + ".lua", source);
        CPSmartPtr<CPLuaScript> script(new CPLuaScript());
        script->Load(name);
        race.kernel.AddTask(CPSmartPtr<IPTask>(script));
        race.kernel.RunPass();
        scripts.push_back(script);
        return Reports();
    }

    // Whether a logged line holds the text (a script's error, say).
    bool Logged(const std::string& text) const {
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    // A ring level with the given objects, loaded; the player at the position.
    void LoadLevel(kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel(),
                   const D3DXVECTOR3& player = D3DXVECTOR3(0.0f, 0.0f, 0.5f)) {
        ASSERT_TRUE(race.Load(writer)) << race.level->GetLoadError();
        human = race.PlaceHuman(player);
    }

    // A racer with a car body in the level's physics world, as the racers' loader makes one.
    CPSmartPtr<CPPlayer> CarRacer(const D3DXVECTOR3& position) {
        return kxtest::MakeCarRacer(*race.physics, position, 0, true);
    }

    // Names an object for the scripts that run after this: a global of its handle.
    void Global(const char* name, const IPMMObject* object) {
        globals.emplace_back(name, object ? object->GetHandle() : 0);
    }
    // The globals' definitions, to put before a script's own source.
    std::string Globals() const {
        std::string out;
        for (const auto& [name, handle] : globals)
            out += name + " = StringToPointer('" + std::to_string(static_cast<int>(handle)) + "')\n";
        return out;
    }

    // The launched shots as "name@x,y,z", in launch order.
    Strings Launched() const {
        Strings out;
        for (const CPSmartPtr<CPShot>& shot : shots->GetActiveShots()) {
            const D3DXVECTOR3& p = shot->GetPosition();
            char text[128];
            std::snprintf(text, sizeof text, "%s@%g,%g,%g", shot->GetShotName().c_str(), p.x, p.y, p.z);
            out.push_back(text);
        }
        return out;
    }

    kxtest::RaceFixture race;
    Platform::FakeClock clock;
    CPSmartPtr<CPShotManager> shots;
    CPSmartPtr<CPPlayer> human;
    std::vector<CPSmartPtr<CPLuaScript>> scripts;
    std::vector<std::pair<std::string, PMMHandle>> globals;
    Strings log;
};

} // namespace kxcombat
