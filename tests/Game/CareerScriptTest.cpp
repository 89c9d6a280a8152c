#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Game/LuaHarness.h"
#include "Game/RaceWorldView.h"
#include "Game/ScriptCareer.h"
#include "Script/ScriptBinding.h"
#include "support/CommaLocale.h"
#include "support/FreshStore.h"

namespace {

struct Step {
    const char* call;
    const char* expected;
};

void RunSteps(kxtest::LuaHarness& lua, std::initializer_list<Step> steps) {
    for (const Step& step : steps) EXPECT_EQ(lua.Eval(step.call), step.expected) << step.call;
}

struct Racer : IPMMObject {
    int GetSize() const override { return sizeof(Racer); }
    std::string GetClassName() const override { return "Racer"; }
};

// A loaded level with two named positions, a checkpoint timer and one racer.
class FakeWorld : public ScriptApi::IRaceWorldView {
public:
    bool HasLevel() const override { return true; }
    const SPNamedPositions& NamedPositions() const override { return positions; }
    float CheckpointTimer() const override { return timer; }
    std::optional<std::string> RacerName(IPMMObject* object) const override {
        if (object == racer) return std::string("zil_130_");
        return std::nullopt;
    }
    SPNamedPositions positions{{"gate", {7.0f, 8.0f, 9.0f}}};
    float timer = 75.25f;
    IPMMObject* racer = nullptr;
};

struct RecordingRouter : IPCommandRouter {
    std::vector<std::string> sent;
    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params) override {
        sent.push_back(name + " " + command + " " + params);
    }
    void SendCommandByCategory(const std::string&, const std::string&, const std::string&) override {}
    void SendCommandByObject(IPMMObject*, const std::string&, const std::string&) override {}
};

class CareerScripts : public ::testing::Test {
protected:
    void TearDown() override {
        ScriptApi::SetRaceWorldView(nullptr);
        SetCommandRouter(nullptr);
    }
    void SetGlobalObject(const char* name, IPMMObject* object) {
        lua_pushlightuserdata(lua.L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
        lua_setglobal(lua.L, name);
    }

    kxtest::FreshGameData store{true};
    kxtest::LuaHarness lua{ScriptApi::AddCareerFunctions, ScriptApi::AddMissionInfoFunctions};
};

} // namespace

TEST_F(CareerScripts, FieldAccessors) {
    RunSteps(lua, {
                      {"SetLastLevelSelected(2.9)", ""},
                      {"GetLastLevelSelected()", "2"},
                      {"SetLastCarSelected(-1.5)", ""},
                      {"GetLastCarSelected()", "-1"},
                      {"SetRoundTime(2.9)", ""},
                      {"GetRoundTime() == 2.9", "false"},
                      {"math.abs(GetRoundTime() - 2.9) < 1e-6", "true"},
                      {"SetCurrentRace(5)", ""},
                      {"GetCurrentMission()", "5"},
                      {"GetCurrentRace()", "5"},
                      {"SetCurrentMission(7)", ""},
                      {"GetCurrentRace()", "7"},
                      {"SetKills(4)", ""},
                      {"GetScore()", "4"},
                      {"SetPoints(12)", ""},
                      {"GetPoints()", "1000000"},
                      {"SetSingleModeGlobal(1)", ""},
                      {"IsSingleModeGlobal()", "true"},
                      {"SetTimeModeGlobal(nil)", ""},
                      {"IsTimeModeGlobal()", "false"},
                      {"SetRealLevelNumber(3)", ""},
                      {"GetRealLevelNumber()", "3"},
                      {"SetNumRounds(3)", ""},
                      {"GetRoundsNumber()", "3"},
                      {"GetCurrentRound()", "1"},
                      {"SetNumRacesPassed(6)", ""},
                      {"GetNumRacesPassed()", "6"},
                      {"SetPlayerMana(40)", ""},
                      {"GetPlayerMana()", "40"},
                      {"SetLevelStarted(true)", ""},
                      {"IsLevelStarted()", "true"},
                      {"SetHelperStatus(true)", ""},
                      {"GetHelperStatus()", "true"},
                      {"SetPlayerName('car_a')", ""},
                      {"GetPlayerName()", "\"car_a\""},
                      {"SetMaxAbilityCount(2)", ""},
                      {"SetLevelTransportCount(8)", ""},
                  });
    EXPECT_EQ(store->points, 12);
    EXPECT_EQ(store->abilityCount, 2);
    EXPECT_EQ(store->transportCount, 8);
}

TEST_F(CareerScripts, ProfileNameStartsANewCareer) {
    store->saveSlot = 2;
    store->currentMission = 5;
    store->gotAchievements = {1};
    RunSteps(lua, {{"SetProfileName('Kim')", ""}, {"GetProfileName()", "\"Kim\""}, {"GetCurrentMission()", "1"}});
    EXPECT_EQ(store->saveSlot, -1);
    EXPECT_TRUE(store->gotAchievements.empty());
}

TEST_F(CareerScripts, PlayerNameOfARacer) {
    FakeWorld world;
    CPSmartPtr<Racer> racer(new Racer);
    CPSmartPtr<Racer> other(new Racer);
    world.racer = racer.Get();
    store->playerName = "mine";
    SetGlobalObject("racer", racer.Get());
    SetGlobalObject("other", other.Get());
    // Without a level no object is a racer.
    RunSteps(lua, {{"GetPlayerName(racer)", "\"\""}});
    ScriptApi::SetRaceWorldView(&world);
    RunSteps(lua, {
                      {"GetPlayerName()", "\"mine\""},
                      {"GetPlayerName(racer)", "\"zil_130_\""},
                      {"GetPlayerName(other)", "\"\""},
                      {"GetPlayerName(nil)", "\"\""},
                      {"GetPlayerName(3)", "\"\""},
                  });
}

TEST_F(CareerScripts, MoneyIsAnnouncedInTheCLocale) {
    RecordingRouter router;
    SetCommandRouter(&router);
    {
        kxtest::CommaLocale comma;
        RunSteps(lua, {{"SetMoney(1500)", ""}, {"SetMoney(0.125)", ""}});
    }
    EXPECT_EQ(store->money, 0.125f);
    EXPECT_EQ(lua.Eval("GetMoney()"), "0.125");
    EXPECT_EQ(router.sent, (std::vector<std::string>{"gamemenu change_money 1500.00", "gamemenu change_money 0.12"}));
}

TEST_F(CareerScripts, HintFlags) {
    RunSteps(lua, {
                      {"SetHelperOn(1)", ""},
                      {"SetHelperOn(10.5)", ""},
                      {"SetHelperOn(0)", ""},
                      {"SetHelperOn(11)", ""},
                      {"IsHelperOn(1)", "true"},
                      {"IsHelperOn(2)", "false"},
                      {"IsHelperOn(10)", "true"},
                      {"IsHelperOn(0)", "false"},
                      {"IsHelperOn(-3)", "false"},
                      {"IsHelperOn(11)", "false"},
                  });
    EXPECT_EQ(std::count(store->helperFlags.begin(), store->helperFlags.end(), true), 2);
}

TEST_F(CareerScripts, RaceSettings) {
    RunSteps(lua, {
                      {"SetCurrentLevelSettings(4, 5, 6, 7, 8.9, true, 0.5, 12.5, 2, 'a', 'b')", ""},
                      {"SetCurrentLevelMinimumSettings(3.7, 'min')", ""},
                      {"GetCurrentLevelSettings()", "3 4 5 6 7 8 true \"min\" 0.5 12.5 2 \"a\" \"b\""},
                      {"SetCurrentLevelSettings()", ""},
                      {"GetCurrentLevelSettings()", "3 0 0 0 0 0 false \"min\" 0 0 0 \"\" \"\""},
                  });
    EXPECT_EQ(lua.Eval("SetCurrentLevelMinimumSettings(1)").rfind("error:", 0), 0u);
}

TEST_F(CareerScripts, LevelRecordsAndConditions) {
    store->missionRecords[0].bestTime = 83.5f;
    store->missionRecords[0].bestPlace = 1;
    store->missionRecords[0].recordCount = 3;
    store->missionRecords[17].bestTime = 5.5f;
    store->realLevelNumber = 18;
    RunSteps(lua, {
                      {"GetBestTimeAttack2(0)", "1 23 50"},
                      {"GetMedal(1)", "1"},
                      {"GetTimeBeaten(1)", "3"},
                      {"GetMedal(2)", "4"},
                      {"GetBestTimeAttack()", "0 5 50"},
                      {"GetBestTimeAttack2(18)", "0 0 0"},
                      {"GetBestTimeAttack2(-1)", "0 0 0"},
                      {"GetMedal(0)", "0"},
                      {"GetTimeBeaten(19)", "0"},
                      {"SetLevelCondition(2, 'x', 'y')", ""},
                      {"SetLevelCondition(19, 'x', 'y')", ""},
                      {"SetLevelCondition(3, 'only')", ""},
                      {"GetLevelCondition(2)", "\"x\" \"y\""},
                      {"GetLevelCondition(3)", "\"only\" \"\""},
                      {"GetLevelCondition(0)", "\"\" \"\""},
                      {"GetLevelCondition(19)", "\"\" \"\""},
                  });
    store->realLevelNumber = 40;
    EXPECT_EQ(lua.Eval("GetBestTimeAttack()"), "0 0 0");
}

TEST_F(CareerScripts, LapAndCheckpointTimes) {
    store->playerLap.lapTimes[0] = 61.5f;
    store->playerLap.lapTimes[1] = 12.25f;
    store->playerLap.currentLap = 2;
    RunSteps(lua, {{"GetTimeAttack()", "1 1 50"}, {"GetTime()", "0 12 25"}, {"GetCheckpointTime()", "0 0 0"}});
    store->playerLap.currentLap = 0;
    EXPECT_EQ(lua.Eval("GetTime()"), "0 0 0");
    store->playerLap.currentLap = 1000;
    EXPECT_EQ(lua.Eval("GetTime()"), "0 0 0");
    store->playerLap.lapTimes.clear();
    EXPECT_EQ(lua.Eval("GetTimeAttack()"), "0 0 0");

    FakeWorld world;
    ScriptApi::SetRaceWorldView(&world);
    EXPECT_EQ(lua.Eval("GetCheckpointTime()"), "1 15 25");

    const double saved = g_totalTime;
    g_totalTime = 12.5;
    EXPECT_EQ(lua.Eval("GetFullTime()"), "12.5");
    g_totalTime = saved;
}

TEST_F(CareerScripts, AddScoreGivesBackItsLastArgument) {
    RunSteps(lua, {
                      {"AddScore(5)", "5"},
                      {"AddScore(1, 'two')", "\"two\""},
                      {"select('#', AddScore())", "0"},
                      {"AddScore(nil)", "nil"},
                  });
    EXPECT_EQ(store->kills, 0);
}

TEST_F(CareerScripts, MissionDescriptionsFromScripts) {
    store.Write("Data/Levels/m.txt", "1.5 2 3 4\n9 8 7 6\nsources\ngate k 1 1\n");
    RunSteps(lua, {
                      {"GetCheckPointsCount()", "0"},
                      {"select('#', GetCheckPointInfo(0))", "0"},
                      {"LoadMissionInfo('m.txt')", ""},
                      {"GetCheckPointsCount()", "2"},
                      {"GetCheckPointInfo(0)", "2 3 4 1.5"},
                      {"GetCheckPointInfo(1.9)", "8 7 6 9"},
                      {"select('#', GetCheckPointInfo(2))", "0"},
                      {"select('#', GetCheckPointInfo(-1))", "0"},
                  });
    // No level: the source is at the origin.
    ASSERT_EQ(store->enemySources["k"].size(), 1u);
    EXPECT_EQ(store->enemySources["k"][0].position, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));

    FakeWorld world;
    ScriptApi::SetRaceWorldView(&world);
    RunSteps(lua, {{"LoadMissionInfo('m.txt')", ""}, {"LoadMissionInfo()", ""}});
    ASSERT_EQ(store->enemySources["k"].size(), 1u);
    EXPECT_EQ(store->enemySources["k"][0].position, (std::array<float, 3>{7.0f, 8.0f, 9.0f}));
    EXPECT_EQ(lua.Eval("GetCheckPointsCount()"), "2");
}
