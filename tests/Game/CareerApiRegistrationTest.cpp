// The career, shop, options, sound and system families as InstallScriptApi registers them: each
// name once over all three tables, in the table the scripts expect it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Game/ScriptApi.h"

namespace {

std::map<std::string, std::vector<int>> Registered() {
    Script::ScriptFunctionTables tables;
    ScriptApi::InstallScriptApi(tables);
    std::map<std::string, std::vector<int>> where;
    for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
        for (const Script::ScriptFunction& f : tables.Table(t)) where[f.name].push_back(t);
    return where;
}

} // namespace

TEST(CareerApiRegistration, EveryNameOnceInItsTable) {
    const auto where = Registered();
    for (const auto& [name, tables] : where) EXPECT_EQ(tables.size(), 1u) << name;

    const char* second[] = {"SaveGame",
                            "LoadGame",
                            "DeleteSave",
                            "GetSaves",
                            "NewPlayer",
                            "ClearGameData",
                            "GetAchievement",
                            "SetAchievement",
                            "SetFirstAchievement",
                            "IncreaseAchievement",
                            "GetAchievementsCount",
                            "UnlockedAchievementsCount",
                            "GetGetAchievement",
                            "GetUnlockedAchievement",
                            "AddGetAchievement",
                            "AddUnlockedAchievement",
                            "PrepareAchievements",
                            "SwapAchievements",
                            "LoadMissionInfo",
                            "GetCheckPointsCount",
                            "GetCheckPointInfo",
                            "GetCurrentRace",
                            "SetCurrentRace",
                            "GetCurrentMission",
                            "SetCurrentMission",
                            "GetPlayerName",
                            "SetMoney",
                            "GetCheckpointTime",
                            "GetFullTime",
                            "GetPoints",
                            "GetWeaponNames",
                            "GetCarInfo",
                            "SetCarInfo",
                            "AutoSetting",
                            "IsValidGameDataName",
                            "GetActiveCar",
                            "SetVisuals",
                            "GetScreenResolution",
                            "SetDifficulty",
                            "GetDifficult",
                            "PlaySpecialSound",
                            "PlaySpecialSound3D",
                            "UpdateSoundPosition",
                            "StopSounds",
                            "GoURL",
                            "GoURLlink",
                            "IsFileExists",
                            "ClearTimer",
                            "SaveLog",
                            "Breakpoint",
                            "InitPlayer",
                            "GetRecords"};
    const char* third[] = {"AddScore",        "GetScore",         "GetRealCarInfo",   "GetDifficulty",
                           "StopGlobalTimer", "StartGlobalTimer", "ClearGlobalTimer", "IsInTable",
                           "SetScoreLine",    "GetScoreLine",     "SetDifficult"};
    for (const char* name : second) {
        const auto found = where.find(name);
        ASSERT_NE(found, where.end()) << name;
        EXPECT_EQ(found->second.front(), ScriptApi::kSecondTable) << name;
    }
    for (const char* name : third) {
        const auto found = where.find(name);
        ASSERT_NE(found, where.end()) << name;
        EXPECT_EQ(found->second.front(), ScriptApi::kThirdTable) << name;
    }
}
