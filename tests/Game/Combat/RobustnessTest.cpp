// Every combat and enemy-query function with hostile arguments, with and without a level: no
// argument, wrong kinds, a dead handle, an object of another kind, NaN, infinities and huge
// numbers, extra arguments. Only a required string that is not there (or not a string) stops
// the script; everything else does nothing or answers its default.

#include <string>
#include <vector>

#include "Game/Combat/CombatFixture.h"
#include "GameData/PGameData.h"
#include "World/PLevel.h"

namespace {

using kxcombat::Reports;
using kxcombat::ScriptWorld;
using kxcombat::Strings;

struct Family {
    const char* name;
    // The position of the required string argument; 0 for none.
    int requiredString;
    int table;
};

const Family kFunctions[] = {
    {"Shot", 1, ScriptApi::kSecondTable},
    {"SetWeaponPos", 0, ScriptApi::kSecondTable},
    {"SetBonus", 0, ScriptApi::kSecondTable},
    {"SmartBomb", 0, ScriptApi::kSecondTable},
    {"Explosion", 0, ScriptApi::kSecondTable},
    {"AddBonus", 0, ScriptApi::kSecondTable},
    {"EraseBonus", 0, ScriptApi::kSecondTable},
    {"GetBonusList", 0, ScriptApi::kSecondTable},
    {"DirectionalExplosion", 0, ScriptApi::kSecondTable},
    {"GetBonusesCount", 0, ScriptApi::kSecondTable},
    {"ClearBonuses", 0, ScriptApi::kSecondTable},
    {"PlayerShot", 0, ScriptApi::kThirdTable},
    {"KillPlayer", 0, ScriptApi::kThirdTable},
    {"DamagePlayer", 0, ScriptApi::kThirdTable},
    {"SetShot", 0, ScriptApi::kThirdTable},
    {"SetMineShot", 0, ScriptApi::kThirdTable},
    {"SetCurrentWeapon", 2, ScriptApi::kThirdTable},
    {"SetPrevWeapon", 0, ScriptApi::kThirdTable},
    {"SetNextWeapon", 0, ScriptApi::kThirdTable},
    {"Attack1", 0, ScriptApi::kThirdTable},
    {"Attack2", 0, ScriptApi::kThirdTable},
    {"GetEnemyData", 1, ScriptApi::kSecondTable},
    {"AddEnemy", 0, ScriptApi::kSecondTable},
    {"GetPlayerPosition", 0, ScriptApi::kSecondTable},
    {"GetPositionForEnemy", 0, ScriptApi::kSecondTable},
    {"GetEnemyType", 0, ScriptApi::kSecondTable},
    {"IsEnemySourceNear", 0, ScriptApi::kSecondTable},
    {"GetAIPosition", 0, ScriptApi::kSecondTable},
    {"GetAIPositions", 0, ScriptApi::kSecondTable},
    {"GetPlayerMapPosition", 0, ScriptApi::kSecondTable},
    {"IsDarkLeft", 0, ScriptApi::kSecondTable},
    {"IsLightLeft", 0, ScriptApi::kSecondTable},
    {"GetNearestSolvanePlayer", 0, ScriptApi::kSecondTable},
    {"GetNearestUmbrakPlayer", 0, ScriptApi::kSecondTable},
    {"GetEnemiesCount", 0, ScriptApi::kSecondTable},
    {"GetEnemySplinePosition", 0, ScriptApi::kSecondTable},
    {"GetAIDamage", 0, ScriptApi::kSecondTable},
};

// Argument lists, each with whether its first and second values read as strings.
struct Arguments {
    const char* text;
    bool stringAt1;
    bool stringAt2;
};

const Arguments kArguments[] = {
    {"", false, false},
    {"nil, nil, nil, nil", false, false},
    {"'blast', 'x', 'y', 'z', 'w', 'v', 'u', 's', 'r'", true, true},
    {"{}, {}, {}, {}, {}, {}, {}", false, false},
    {"true, false, true, false", false, false},
    {"dead, dead, dead, dead, dead, dead", false, false},
    {"plain, plain, plain, plain", false, false},
    {"racer, 'gun', racer, racer", false, true},
    {"0/0, 0/0, 0/0, 0/0, 0/0, 0/0, 0/0, 0/0", true, true},
    {"1/0, -1/0, 1/0, -1/0, 1/0, -1/0, 1/0", true, true},
    {"1e308, -1e308, 2^31, -2^31 - 1, 2^53 + 1, 5e-324, 3.5e38, -3.5e38", true, true},
    {"-1, -1, -1, -1, -1, -1, -1", true, true},
    {"'1', 1, '1', 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1", true, true},
    {"print, function() end, string", false, false},
};

class Robustness : public ScriptWorld {
protected:
    // Calls the function with every argument list; "ok" or "error" for each, in order.
    Strings Outcomes(const std::string& name) {
        std::string source = Globals();
        for (const Arguments& args : kArguments)
            source += "do local ok = pcall(" + name + (args.text[0] ? ", " : "") + args.text +
                      ") Report(ok and 'ok' or 'error') end\n";
        return Run(source);
    }
    Strings Expected(const Family& f) const {
        Strings out;
        for (const Arguments& args : kArguments) {
            const bool bad = (f.requiredString == 1 && !args.stringAt1) || (f.requiredString == 2 && !args.stringAt2);
            out.push_back(bad ? "error" : "ok");
        }
        return out;
    }
    void Objects() {
        CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
        Global("dead", gone.Get());
        gone = nullptr;
        IPMMObject::CollectGarbage();
        plain = CPSmartPtr<CPGameObject>(new CPGameObject("plain"));
        Global("plain", plain.Get());
        racer = CPSmartPtr<CPPlayer>(new CPPlayer());
        racer->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject("gun")));
        Global("racer", racer.Get());
    }
    void CheckAll(const char* context) {
        for (const Family& f : kFunctions) EXPECT_EQ(Outcomes(f.name), Expected(f)) << f.name << " " << context;
    }

    CPSmartPtr<CPGameObject> plain;
    CPSmartPtr<CPPlayer> racer;
};

TEST_F(Robustness, EveryNameIsRegisteredOnceInItsTable) {
    for (const Family& f : kFunctions) {
        int found = 0;
        for (int table = 0; table < Script::ScriptFunctionTables::kTableCount; ++table)
            for (const Script::ScriptFunction& entry : Script::GetScriptFunctionTables().Table(table))
                if (std::string(entry.name) == f.name) {
                    ++found;
                    EXPECT_EQ(table, f.table) << f.name;
                }
        EXPECT_EQ(found, 1) << f.name;
    }
}

TEST_F(Robustness, WithoutALevel) {
    Objects();
    CheckAll("without a level");
}

TEST_F(Robustness, OnALevelWithRacers) {
    kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel();
    writer.AddSpline(kxtest::RingSpline("path", 0.0f, 0.0f, 100.0f, 16));
    LoadLevel(writer);
    Objects();
    for (int i = 0; i < 7; ++i) race.PlaceOpponent(D3DXVECTOR3(10.0f * i, 5.0f, 0.0f), i);
    race.level->opponents.push_back(CPSmartPtr<CPPlayer>());
    race.store->SetMapMarker("0", 1.0f, 2.0f, 3.0f, 4.0f, 5.0f);
    race.store->realCar.superWeaponCount = 1000;
    race.store->realCar.weapons = {"gun", "", "gun"};
    race.store->checkpointInfos.resize(2);
    race.store->checkpointInfos[0].bonusChance = 100;
    race.store->checkpointInfos[0].bonusKinds = {{"blast", 0, 100}};
    CheckAll("on a level");

    race.level->timeModeObject = CPSmartPtr<CPGameObject>(new CPGameObject("ghost"));
    race.level->miniMap = nullptr;
    race.level->frameCounter = 0;
    CheckAll("in a time-mode race without a map");

    // A player without a race camera, and a stopped level.
    race.level->camera = nullptr;
    race.level->Stop();
    CheckAll("on a stopped level");
    EXPECT_EQ(Run("Report(select('#', GetAIPositions()))\n"), (Strings{"0"}));
}

} // namespace
