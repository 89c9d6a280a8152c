#include <gtest/gtest.h>

#include <string>

#include "Game/LuaHarness.h"
#include "Game/ScriptAchievements.h"
#include "support/FreshStore.h"

namespace {

class AchievementScripts : public ::testing::Test {
protected:
    kxtest::FreshGameData store{true};
    kxtest::LuaHarness lua{ScriptApi::AddAchievementFunctions};
};

struct Step {
    const char* call;
    const char* expected;
};

void RunSteps(kxtest::LuaHarness& lua, std::initializer_list<Step> steps) {
    for (const Step& step : steps) EXPECT_EQ(lua.Eval(step.call), step.expected) << step.call;
}

} // namespace

TEST_F(AchievementScripts, Counters) {
    RunSteps(lua, {
                      {"GetAchievement('new_name')", "0"},
                      {"IncreaseAchievement('other')", "1"},
                      {"IncreaseAchievement('other')", "2"},
                      {"SetAchievement('td_5', 7.9)", ""},
                      {"GetAchievement('td_5')", "7"},
                      {"SetAchievement('td_5', -2.9)", ""},
                      {"GetAchievement('td_5')", "-2"},
                      {"SetFirstAchievement('win_1st')", "true"},
                      {"SetFirstAchievement('win_1st')", "false"},
                      {"GetAchievement('win_1st')", "1"},
                      {"SetAchievement('win_1st', 0)", ""},
                      {"SetFirstAchievement('win_1st')", "true"},
                      {"SetAchievement('top', 2147483647)", ""},
                      {"IncreaseAchievement('top')", "2147483647"},
                  });
    EXPECT_EQ(store->achievementValues.count("new_name"), 1u);
    for (const char* call :
         {"GetAchievement()", "SetAchievement()", "SetFirstAchievement(nil)", "IncreaseAchievement({})"})
        EXPECT_EQ(lua.Eval(call).rfind("error:", 0), 0u) << call;
}

TEST_F(AchievementScripts, Lists) {
    RunSteps(lua, {
                      {"AddUnlockedAchievement('car_3')", ""},
                      {"AddUnlockedAchievement('car_3')", ""},
                      {"AddUnlockedAchievement('nitro_1st')", ""},
                      {"AddUnlockedAchievement('not_one')", ""},
                      {"UnlockedAchievementsCount()", "3"},
                      {"AddGetAchievement('car_3')", ""},
                      {"AddGetAchievement('car_3')", ""},
                      {"AddGetAchievement()", ""},
                      {"GetAchievementsCount()", "2"},
                      {"UnlockedAchievementsCount()", "1"},
                      {"GetGetAchievement(1)", "\"car_3\""},
                      {"GetUnlockedAchievement(0.7)", "\"nitro_1st\""},
                      {"GetGetAchievement(2)", ""},
                      {"GetGetAchievement(-1)", ""},
                      {"GetUnlockedAchievement(1)", ""},
                      {"select('#', GetUnlockedAchievement(5))", "0"},
                  });
}

TEST_F(AchievementScripts, AbandonedRaceIsTakenBack) {
    store->helperFlags[0] = true;
    RunSteps(lua, {
                      {"SetAchievement('win_1st', 4)", ""},
                      {"PrepareAchievements()", ""},
                      {"IncreaseAchievement('win_1st')", "5"},
                      {"SetAchievement('outside', 3)", ""},
                  });
    store->respawnUsed = true;
    store->helperFlags[0] = false;
    RunSteps(lua, {
                      {"SwapAchievements()", ""},
                      {"GetAchievement('win_1st')", "4"},
                      {"GetAchievement('outside')", "0"},
                  });
    EXPECT_FALSE(store->respawnUsed);
    EXPECT_TRUE(store->helperFlags[0]);
    // Without a new snapshot a second swap keeps what the counters hold.
    RunSteps(lua, {
                      {"SetAchievement('win_1st', 9)", ""},
                      {"SwapAchievements()", ""},
                      {"GetAchievement('win_1st')", "9"},
                  });
}
