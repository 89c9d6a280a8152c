#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "GameData/PGameData.h"
#include "support/CommaLocale.h"
#include "support/RecordingRouter.h"
#include "support/TempDir.h"

namespace {

class CountingObject : public IPMMObject {
public:
    int GetSize() const override { return static_cast<int>(sizeof(CountingObject)); }
    std::string GetClassName() const override { return "CountingObject"; }
    void Release() override {
        ++releases;
        IPMMObject::Release();
    }
    int releases = 0;
};

using kxtest::RecordingRouter;

} // namespace

TEST(GameDataStore, StartValues) {
    CPGameData data;
    EXPECT_EQ(CPGameData::GetInstance(), &data);
    EXPECT_EQ(data.saveSlot, -1);
    EXPECT_EQ(data.lastLevelSelected, -1);
    EXPECT_EQ(data.lastCarSelected, -1);
    EXPECT_EQ(data.currentMission, 1);
    ASSERT_EQ(data.scoreTables.size(), 6u);
    for (const auto& table : data.scoreTables) {
        ASSERT_EQ(table.size(), 7u);
        for (const SPScoreEntry& e : table) {
            EXPECT_EQ(e.name, "");
            EXPECT_EQ(e.minutes, 999);
            EXPECT_EQ(e.seconds, 0);
            EXPECT_EQ(e.hundredths, 0);
        }
    }
    EXPECT_EQ(data.playerLap.currentLap, 1);
    EXPECT_EQ(data.playerLap.lapTimes, std::vector<float>(20, 0.0f));
    EXPECT_EQ(data.playerLap.progressKey, -1);
    for (const SPMissionRecord& r : data.missionRecords) {
        EXPECT_EQ(r.bestTime, 0.0f);
        EXPECT_EQ(r.bestPlace, 4);
        EXPECT_EQ(r.recordCount, 0);
        EXPECT_EQ(r.ghostModel, "");
        EXPECT_TRUE(r.ghostSamples.empty());
    }
    // The values the store leaves open get defined ones.
    EXPECT_EQ(data.coefficients, (std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(data.roundCount, 1);
    EXPECT_EQ(data.realLevelNumber, 1);
    EXPECT_EQ(data.levelSettings.racerCount, 1);
    EXPECT_EQ(data.levelSettings.setting9, 1.0f);
    EXPECT_EQ(data.levelSettings.nitroGainFactor, 1.0f);
    EXPECT_EQ(data.levelSettings.minimumValue, 0);
    EXPECT_EQ(data.levelSettings.finishCheckpointIndex, 0);
    EXPECT_EQ(data.levelSettings.checkpointTimeBonus, 0.0f);
    EXPECT_FALSE(data.levelSettings.setting7);
    EXPECT_EQ(data.levelSettings.minimumText, "");
    EXPECT_EQ(data.levelSettings.text12, "");
    EXPECT_EQ(data.levelSettings.text13, "");
    for (bool b : data.helperBackup) EXPECT_FALSE(b);
    for (bool b : data.helperFlags) EXPECT_FALSE(b);
    EXPECT_EQ(data.editedCar, SPCarSettings{});
    EXPECT_EQ(data.realCar, SPCarSettings{});
    EXPECT_EQ(data.money, 0.0f);
    EXPECT_EQ(data.aiPositions.bucket_count(), 193u);
    EXPECT_TRUE(data.textTable.empty());
}

TEST(GameDataStore, InstancePointerClearedOnDestruction) {
    {
        CPGameData data;
        EXPECT_EQ(CPGameData::GetInstance(), &data);
    }
    EXPECT_EQ(CPGameData::GetInstance(), nullptr);
}

TEST(GameDataStore, AchievementTableNamesAndOrder) {
    ASSERT_EQ(kAchievementNames.size(), 27u);
    EXPECT_EQ(kAchievementNames[0], "td_1st");
    EXPECT_EQ(kAchievementNames[8], "win_1st");
    EXPECT_EQ(kAchievementNames[9], "win_wo_respawn");
    EXPECT_EQ(kAchievementNames[18], "win_respawn_20");
    EXPECT_EQ(kAchievementNames[19], "nitro_1st");
    EXPECT_EQ(kAchievementNames[26], "car_all");
    EXPECT_EQ(CPGameData::FindAchievement("nitro_use_n_sec_s"), 22);
    EXPECT_EQ(CPGameData::FindAchievement("Nitro_1st"), -1);
    EXPECT_EQ(CPGameData::FindAchievement("nitro_1st "), -1);
    EXPECT_EQ(std::set<std::string_view>(kAchievementNames.begin(), kAchievementNames.end()).size(), 27u);
}

// Every field of the store, set to a value no reset gives it; each probe tells whether the
// field still holds that value.
namespace {

struct Probe {
    const char* field;
    std::function<bool(const CPGameData&)> kept;
};

void Dirty(CPGameData& d, CountingObject& bonus) {
    d.saveSlot = 3;
    d.currentMission = 7;
    d.points = 55;
    d.racesPassed = 4;
    for (SPMissionRecord& r : d.missionRecords) {
        r.bestTime = 12.5f;
        r.bestPlace = 1;
        r.recordCount = 3;
        r.ghostModel = "ghost";
        r.ghostSamples.resize(2);
    }
    d.gotAchievements = {1, 2};
    d.unlockedAchievements = {3};
    d.respawnUsed = true;
    d.respawnBackup = true;
    for (std::string_view n : kAchievementNames) d.achievementValues[std::string(n)] = 9;
    d.achievementValues["custom"] = 5;
    d.achievementBackup["win_1st"] = 2;
    d.helperFlags.fill(true);
    d.helperBackup.fill(true);
    d.helperStatus = true;
    d.profileName = "Old";
    d.playerName = "car1";
    d.money = 300.0f;
    d.editedCar.engine = "v8";
    d.realCar.mine = "m1";
    d.kills = 8;
    d.playerLap.currentLap = 3;
    d.playerLap.lapTimes = {1.0f, 2.0f};
    d.playerLap.progressKey = 77;
    d.SetMapMarker("2", 1, 2, 3, 4, 5);
    d.racerLaps["0"].currentLap = 4;
    d.bonusCount = 6;
    d.bonusList.emplace_back(CPSmartPtr<IPMMObject>(&bonus), 10);
    d.levelTimer = 9.0f;
    d.textTable["k"] = "v";
    // Fields no reset touches.
    d.transportCount = 5;
    d.scoreTables[2][0].name = "top";
    d.weaponCatalog.items.emplace_back("w", SPWeaponInfo{});
    d.mineCatalog.items.emplace_back("m", SPMineInfo{});
    d.superWeaponCatalog.items.emplace_back("s", SPSuperWeaponInfo{});
    d.bumperCatalog.items.emplace_back("b", SPBumperInfo{});
    d.equipmentCatalog.items.emplace_back("e", SPEquipmentInfo{});
    d.armorCatalog.items.emplace_back("a", SPArmorInfo{});
    d.engineCatalog.byName["v8"] = SPEngineInfo{};
    d.checkpointInfos.resize(2);
    d.enemySources["gate"].resize(1);
    d.presetCars.resize(3);
    d.coefficients = {2.0f, 3.0f, 4.0f, 5.0f};
    d.hardMode = true;
    d.roundCount = 4;
    d.playerType = 10;
    d.roundTime = 30.5f;
    d.abilityCount = 3;
    d.mana = 12;
    d.levelStarted = true;
    d.levelConditions[5] = {"first", "second"};
    d.levelSettings.racerCount = 6;
    d.levelSettings.minimumText = "min";
    d.realLevelNumber = 9;
    d.singleModeGlobal = true;
    d.timeModeGlobal = true;
    d.lastLevelSelected = 2;
    d.lastCarSelected = 3;
}

std::vector<Probe> Probes() {
    auto all27 = [](const CPGameData& d, int v) {
        for (std::string_view n : kAchievementNames) {
            auto it = d.achievementValues.find(std::string(n));
            if (it == d.achievementValues.end() || it->second != v) return false;
        }
        return true;
    };
    return {
        {"saveSlot", [](const CPGameData& d) { return d.saveSlot == 3; }},
        {"currentMission", [](const CPGameData& d) { return d.currentMission == 7; }},
        {"points", [](const CPGameData& d) { return d.points == 55; }},
        {"racesPassed", [](const CPGameData& d) { return d.racesPassed == 4; }},
        {"missionRecords",
         [](const CPGameData& d) {
             const SPMissionRecord& r = d.missionRecords[17];
             return r.bestTime == 12.5f && r.bestPlace == 1 && r.recordCount == 3 && r.ghostModel == "ghost";
         }},
        {"ghostSamples", [](const CPGameData& d) { return d.missionRecords[0].ghostSamples.size() == 2; }},
        {"gotAchievements", [](const CPGameData& d) { return d.gotAchievements.size() == 2; }},
        {"unlockedAchievements", [](const CPGameData& d) { return d.unlockedAchievements.size() == 1; }},
        {"respawnUsed", [](const CPGameData& d) { return d.respawnUsed; }},
        {"respawnBackup", [](const CPGameData& d) { return d.respawnBackup; }},
        {"achievementValues27", [all27](const CPGameData& d) { return all27(d, 9); }},
        {"achievementValuesOther", [](const CPGameData& d) { return d.achievementValues.at("custom") == 5; }},
        {"achievementBackup", [](const CPGameData& d) { return !d.achievementBackup.empty(); }},
        {"helperFlags", [](const CPGameData& d) { return d.helperFlags[9]; }},
        {"helperBackup", [](const CPGameData& d) { return d.helperBackup[0]; }},
        {"helperStatus", [](const CPGameData& d) { return d.helperStatus; }},
        {"profileName", [](const CPGameData& d) { return d.profileName == "Old"; }},
        {"playerName", [](const CPGameData& d) { return d.playerName == "car1"; }},
        {"money", [](const CPGameData& d) { return d.money == 300.0f; }},
        {"editedCar", [](const CPGameData& d) { return d.editedCar.engine == "v8"; }},
        {"realCar", [](const CPGameData& d) { return d.realCar.mine == "m1"; }},
        {"kills", [](const CPGameData& d) { return d.kills == 8; }},
        {"playerLap", [](const CPGameData& d) { return d.playerLap.currentLap == 3; }},
        {"aiPositions", [](const CPGameData& d) { return d.aiPositions.size() == 1; }},
        {"racerLaps", [](const CPGameData& d) { return d.racerLaps.size() == 1; }},
        {"bonusCount", [](const CPGameData& d) { return d.bonusCount == 6; }},
        {"bonusList", [](const CPGameData& d) { return d.bonusList.size() == 1; }},
        {"levelTimer", [](const CPGameData& d) { return d.levelTimer == 9.0f; }},
        {"textTable", [](const CPGameData& d) { return d.textTable.size() == 1; }},
        {"transportCount", [](const CPGameData& d) { return d.transportCount == 5; }},
        {"scoreTables", [](const CPGameData& d) { return d.scoreTables[2][0].name == "top"; }},
        {"catalogs",
         [](const CPGameData& d) {
             return d.weaponCatalog.items.size() == 1 && d.mineCatalog.items.size() == 1 &&
                    d.superWeaponCatalog.items.size() == 1 && d.bumperCatalog.items.size() == 1 &&
                    d.equipmentCatalog.items.size() == 1 && d.armorCatalog.items.size() == 1 &&
                    d.engineCatalog.byName.size() == 1;
         }},
        {"checkpointInfos", [](const CPGameData& d) { return d.checkpointInfos.size() == 2; }},
        {"enemySources", [](const CPGameData& d) { return d.enemySources.size() == 1; }},
        {"presetCars", [](const CPGameData& d) { return d.presetCars.size() == 3; }},
        {"coefficients", [](const CPGameData& d) { return d.coefficients[3] == 5.0f; }},
        {"hardMode", [](const CPGameData& d) { return d.hardMode; }},
        {"roundCount", [](const CPGameData& d) { return d.roundCount == 4; }},
        {"playerType", [](const CPGameData& d) { return d.playerType == 10; }},
        {"roundTime", [](const CPGameData& d) { return d.roundTime == 30.5f; }},
        {"abilityCount", [](const CPGameData& d) { return d.abilityCount == 3; }},
        {"mana", [](const CPGameData& d) { return d.mana == 12; }},
        {"levelStarted", [](const CPGameData& d) { return d.levelStarted; }},
        {"levelConditions", [](const CPGameData& d) { return d.levelConditions[5].second == "second"; }},
        {"levelSettings",
         [](const CPGameData& d) { return d.levelSettings.racerCount == 6 && d.levelSettings.minimumText == "min"; }},
        {"realLevelNumber", [](const CPGameData& d) { return d.realLevelNumber == 9; }},
        {"singleModeGlobal", [](const CPGameData& d) { return d.singleModeGlobal; }},
        {"timeModeGlobal", [](const CPGameData& d) { return d.timeModeGlobal; }},
        {"lastLevelSelected", [](const CPGameData& d) { return d.lastLevelSelected == 2; }},
        {"lastCarSelected", [](const CPGameData& d) { return d.lastCarSelected == 3; }},
    };
}

void CheckTouched(const char* operation, const std::function<void(CPGameData&)>& run,
                  const std::set<std::string>& touched) {
    kxtest::TempGameRoot root; // no text file: LoadStrings keeps the table
    CountingObject bonus;
    {
        CPGameData d;
        Dirty(d, bonus);
        run(d);
        for (const Probe& p : Probes()) {
            const bool expectKept = touched.count(p.field) == 0;
            EXPECT_EQ(p.kept(d), expectKept) << operation << " " << (expectKept ? "keeps " : "resets ") << p.field;
        }
    }
}

} // namespace

TEST(GameDataStore, ResetProfileTouchesExactlyItsFields) {
    CheckTouched("ResetProfile", [](CPGameData& d) { d.ResetProfile("New"); },
                 {"saveSlot", "currentMission", "points", "racesPassed", "missionRecords", "gotAchievements",
                  "unlockedAchievements", "respawnUsed", "achievementValues27", "helperFlags", "profileName"});
    CPGameData d;
    d.ResetProfile("New");
    EXPECT_EQ(d.profileName, "New");
    EXPECT_EQ(d.achievementValues.size(), 27u); // every table name entered with 0
    EXPECT_EQ(d.missionRecords[4].bestPlace, 4);
}

TEST(GameDataStore, ClearRaceDataTouchesExactlyItsFields) {
    CheckTouched("ClearRaceData", [](CPGameData& d) { d.ClearRaceData(); },
                 {"playerLap", "aiPositions", "racerLaps", "bonusCount", "bonusList"});
    CPGameData d;
    d.playerLap.lapTimes.clear();
    d.playerLap.currentLap = 5;
    d.ClearRaceData();
    EXPECT_EQ(d.playerLap.currentLap, 1);
    EXPECT_EQ(d.playerLap.lapTimes, std::vector<float>(20, 0.0f));
    EXPECT_EQ(d.playerLap.progressKey, -1);
}

TEST(GameDataStore, LoadStringsResetsTheStatistics) {
    // Start-up also reads the catalog file, which replaces the catalogs and presets.
    CheckTouched("LoadStrings", [](CPGameData& d) { d.LoadStrings(); },
                 {"helperStatus", "achievementBackup", "helperFlags", "achievementValues27", "respawnUsed",
                  "respawnBackup", "racesPassed", "missionRecords", "kills", "catalogs", "presetCars"});
}

TEST(GameDataStore, ClearRaceDataReleasesEachBonusOnce) {
    CountingObject a, b;
    CPGameData d;
    d.bonusList.emplace_back(CPSmartPtr<IPMMObject>(&a), 1);
    d.bonusList.emplace_back(CPSmartPtr<IPMMObject>(&b), 2);
    d.bonusList.emplace_back(CPSmartPtr<IPMMObject>(&a), 3); // the same object twice: two references
    EXPECT_EQ(a.GetRefCount(), 2);
    d.ClearRaceData();
    EXPECT_TRUE(d.bonusList.empty());
    EXPECT_EQ(a.releases, 2);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(a.GetRefCount(), 0);
    EXPECT_EQ(b.GetRefCount(), 0);
    d.ClearRaceData();
    EXPECT_EQ(a.releases, 2);
}

TEST(GameDataStore, SetMapMarkerInsertsThenOverwrites) {
    CPGameData d;
    d.SetMapMarker("3", 1, 2, 3, 4, 5);
    d.SetMapMarker("3", 6, 7, 8, 9, 10);
    d.SetMapMarker("10", 0, 0, 0, 0, 0);
    ASSERT_EQ(d.aiPositions.size(), 2u);
    const SPMapMarker& m = d.aiPositions.find("3")->second;
    EXPECT_EQ(m.worldX, 6);
    EXPECT_EQ(m.worldY, 7);
    EXPECT_EQ(m.angle, 8);
    EXPECT_EQ(m.screenX, 9);
    EXPECT_EQ(m.screenY, 10);
}

TEST(GameDataStore, CarSettingsCopyEveryField) {
    CPGameData d;
    SPCarSettings s;
    s.weapons = {"w1", "w2", "w3"};
    s.equipment = {"e1", "e2"};
    s.bumper = "b";
    s.engine = "e";
    s.armor = "a";
    s.superWeapon = "s";
    s.superWeaponCount = 3;
    s.mine = "m";
    d.SetCarSettings(s);
    EXPECT_EQ(d.editedCar, s);
    EXPECT_EQ(d.realCar, SPCarSettings{});
    d.CommitCarSettings();
    EXPECT_EQ(d.realCar, s);
}

TEST(GameDataStore, ResetLevelTimer) {
    CPGameData d;
    d.levelTimer = 12.0f;
    d.ResetLevelTimer();
    EXPECT_EQ(d.levelTimer, 0.0f);
}

TEST(GameDataStore, SetMoneyTellsTheMenuScriptWithTwoDecimals) {
    RecordingRouter router;
    SetCommandRouter(&router);
    {
        kxtest::CommaLocale comma;
        CPGameData d;
        d.SetMoney(1500.0f);
        d.SetMoney(-2.125f);
        EXPECT_EQ(d.money, -2.125f);
        if (!comma.Active()) ADD_FAILURE() << "no comma-decimal locale could be made";
    }
    SetCommandRouter(nullptr);
    ASSERT_EQ(router.sent.size(), 2u);
    EXPECT_EQ(router.sent[0].target, "gamemenu");
    EXPECT_EQ(router.sent[0].command, "change_money");
    EXPECT_EQ(router.sent[0].params, "1500.00");
    EXPECT_EQ(router.sent[1].params, "-2.12");
}

TEST(GameDataStore, SetMoneyWithoutRouterOnlyStores) {
    CPGameData d;
    d.SetMoney(10.5f);
    EXPECT_EQ(d.money, 10.5f);
}
