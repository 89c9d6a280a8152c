// Creating, loading, starting, stopping and deleting the level from scripts, and the level's
// race fields as scripts read and write them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Framework/PTaskKernel.h"
#include "Game/RaceControl/RaceControlFixture.h"
#include "World/PAITask.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace racecontrol {
namespace {

bool InKernel(const CPTaskKernel& kernel, const IPTask* task) {
    const auto& active = kernel.ActiveTasks();
    return std::any_of(active.begin(), active.end(), [task](const CPSmartPtr<IPTask>& t) { return t.Get() == task; });
}

TEST_F(RaceControlTest, InitLevelReadsTimeModeOnlyFromAThirdArgument) {
    WriteLevel("level9");
    const struct {
        const char* init;
        const char* modes;
    } cases[] = {
        {"InitLevel('level9', 1)", "false|true"},           {"InitLevel('level9', nil)", "false|false"},
        {"InitLevel('level9', false, true)", "true|false"}, {"InitLevel('level9', true, nil)", "false|true"},
        {"InitLevel('level9', true, 0)", "true|true"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(LoadByScript(c.init), nullptr) << c.init;
        EXPECT_EQ(Run("Report(IsTimeMode(), IsSingleMode())"), Strings{c.modes}) << c.init;
    }
}

TEST_F(RaceControlTest, ALevelThatDoesNotLoadStaysCurrentUntilDeleted) {
    Run("InitLevel('missing', false)");
    ASSERT_NE(Level(), nullptr);
    EXPECT_FALSE(Level()->IsLoaded());
    EXPECT_EQ(Run("StartLevel() Report(IsRaceStarted(), IsLevelStartedAfterStripes(), IsSingleMode())"),
              Strings{"false|false|false"});
    EXPECT_FALSE(Level()->IsStarted());
    Run("DeleteLevel()");
    EXPECT_EQ(Level(), nullptr);
}

TEST_F(RaceControlTest, InitLevelOverARunningLevelStopsAndDeletesItFirst) {
    WriteLevel("level9");
    CPLevel* first = LoadByScript("InitLevel('level9', false) StartLevel() SetUpdateTime(true)");
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->IsStarted());
    const CPSmartPtr<IPTask> firstUpdater(first->updater.Get());
    const CPSmartPtr<CPPlayer> firstHuman = first->humanRacer;
    race.kernel.RunPass();
    ASSERT_TRUE(InKernel(race.kernel, firstUpdater.Get()));

    CPLevel* second = LoadByScript("InitLevel('level9', false) Report(IsRaceStarted())");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Reports(), Strings{"false"});
    // The old level's race frame no longer runs (under the sanitizer, a frame of the deleted
    // level would be a use after free), and its racers left the scene.
    for (int i = 0; i < 5; ++i) race.kernel.RunPass();
    EXPECT_FALSE(InKernel(race.kernel, firstUpdater.Get()));
    EXPECT_FALSE(firstHuman->IsInScene());
    EXPECT_FALSE(second->IsStarted());
    EXPECT_EQ(Run("StartLevel() Report(GetMaxPlayers())"), Strings{"1"});
    EXPECT_TRUE(second->IsStarted());
    for (int i = 0; i < 5; ++i) race.kernel.RunPass();
}

TEST_F(RaceControlTest, InitLevelTwiceBeforeStartingLeavesOneLevel) {
    WriteLevel("level9");
    ASSERT_NE(LoadByScript("InitLevel('level9', false) InitLevel('level9', true)"), nullptr);
    EXPECT_EQ(Run("Report(IsSingleMode()) StartLevel() SetUpdateTime(true)"), Strings{"true"});
    for (int i = 0; i < 5; ++i) race.kernel.RunPass();
    EXPECT_TRUE(Level()->IsStarted());
}

TEST_F(RaceControlTest, DeleteLevelWithoutStopLevelStopsItFirst) {
    WriteLevel("level9");
    CPLevel* level = LoadByScript("InitLevel('level9', false) StartLevel()");
    ASSERT_NE(level, nullptr);
    race.kernel.RunPass();
    const CPSmartPtr<IPTask> updater(level->updater.Get());
    const CPSmartPtr<CPPlayer> human = level->humanRacer;
    ASSERT_TRUE(InKernel(race.kernel, updater.Get()));

    EXPECT_EQ(Run("DeleteLevel() Report(IsDeathMsg(), IsDead(), GetPlayerSpeed(), IsLevelStartedAfterStripes())"),
              Strings{"false|true|0|false"});
    EXPECT_EQ(Level(), nullptr);
    for (int i = 0; i < 5; ++i) race.kernel.RunPass();
    EXPECT_FALSE(InKernel(race.kernel, updater.Get()));
    EXPECT_FALSE(human->IsInScene());
    // Without a level the functions that need one do nothing.
    EXPECT_EQ(Run("StopLevel() DeleteLevel() StartLevel() Report(GetPlayerPlace(), (IsRaceStarted()))"),
              Strings{"nil|nil"});
}

TEST_F(RaceControlTest, DeleteLevelOfALoadedLevelThatNeverStarted) {
    WriteLevel("level9");
    ASSERT_NE(LoadByScript("InitLevel('level9', false)"), nullptr);
    Run("DeleteLevel()");
    EXPECT_EQ(Level(), nullptr);
    for (int i = 0; i < 3; ++i) race.kernel.RunPass();
    ASSERT_NE(LoadByScript("InitLevel('level9', false) StartLevel()"), nullptr);
    for (int i = 0; i < 3; ++i) race.kernel.RunPass();
}

TEST_F(RaceControlTest, StopLevelStopsTheRaceAndKeepsTheLevel) {
    WriteLevel("level9");
    ASSERT_NE(LoadByScript("InitLevel('level9', false) StartLevel() SetUpdateTime(true)"), nullptr);
    race.kernel.RunPass();
    EXPECT_EQ(Run("StopLevel() Report(IsRaceStarted(), IsDead())"), Strings{"false|true"});
    ASSERT_NE(Level(), nullptr);
    EXPECT_TRUE(Level()->stopped);
    EXPECT_EQ(Level()->player, nullptr);
    Run("StopLevel() DeleteLevel()");
    EXPECT_EQ(Level(), nullptr);
}

TEST_F(RaceControlTest, LevelFieldsThroughScripts) {
    WriteLevel("level9");
    CPLevel* level = LoadByScript("InitLevel('level9', false)");
    ASSERT_NE(level, nullptr);
    race.store->coefficients[3] = 1.5f;
    race.store->levelTimer = 9.0f;
    level->raceTime = 12.5f;
    level->playerPlace = 3;
    level->racerCount = 4;
    level->playerSpeed = 27.0f;
    EXPECT_EQ(Run("SetLevelTime(100) SetUpdateTime(1) SetReversed(true) SetPlaceToFinish(2.9) ClearLevelTimers()\n"
                  "Report(GetLevelTime(), IsRaceStarted(), GetPlaceToFinish(), GetPlayerPlace(), GetMaxPlayers(),\n"
                  "       GetPlayerSpeed(), IsDeathMsg(), IsDamageMsg())"),
              Strings{"12.5|true|2|3|4|27|false|false"});
    EXPECT_EQ(level->timeLeft, 150.0f);
    EXPECT_TRUE(level->reversed);
    EXPECT_EQ(race.store->levelTimer, 0.0f);
    EXPECT_EQ(Run("SetUpdateTime() SetReversed(nil) Report(IsRaceStarted())"), Strings{"false"});
    EXPECT_FALSE(level->reversed);

    // The defeat message of the human racer counts as a damage message, the race's end as both.
    level->humanRacer->defeatSent = true;
    EXPECT_EQ(Run("Report(IsDeathMsg(), IsDamageMsg())"), Strings{"false|true"});
    level->humanRacer->defeatSent = false;
    level->raceOver = true;
    EXPECT_EQ(Run("Report(IsDeathMsg(), IsDamageMsg())"), Strings{"true|true"});
}

TEST_F(RaceControlTest, StartedAfterStripesIsTheRaceCameraTakingOver) {
    WriteLevel("level9");
    CPLevel* level = LoadByScript("InitLevel('level9', false)");
    ASSERT_NE(level, nullptr);
    ASSERT_TRUE(level->camera);
    level->camera->active = false;
    EXPECT_EQ(Run("Report(IsLevelStartedAfterStripes())"), Strings{"false"});
    level->camera->active = true;
    EXPECT_EQ(Run("Report(IsLevelStartedAfterStripes())"), Strings{"true"});
    level->camera = nullptr;
    EXPECT_EQ(Run("Report(IsLevelStartedAfterStripes())"), Strings{"false"});
}

TEST_F(RaceControlTest, TimeScaleAndTheShowcaseTime) {
    WriteLevel("level9");
    CPLevel* level = LoadByScript("InitLevel('level9', false)");
    ASSERT_NE(level, nullptr);
    level->showcaseTime = 3.0f;
    EXPECT_EQ(Run("SetTemp(0.5) Report(GetTemp())"), Strings{"0.5"});
    EXPECT_EQ(level->showcaseTime, 3.0f);
    EXPECT_EQ(Run("SetTemp(0) Report(GetTemp())"), Strings{"0"});
    EXPECT_EQ(level->showcaseTime, 0.0f);
    EXPECT_EQ(g_timeScale, 0.0f);
    level->showcaseTime = 2.0f;
    EXPECT_EQ(Run("SetTemp(1) Report(GetTemp())"), Strings{"1"});
    EXPECT_EQ(level->showcaseTime, 2.0f);
    // A factor that changes nothing leaves the level alone as well.
    EXPECT_EQ(Run("SetTemp(0/0) Report(GetTemp())"), Strings{"1"});
    Run("DeleteLevel()");
    EXPECT_EQ(Run("SetTemp(0) Report(GetTemp())"), Strings{"0"});
}

TEST_F(RaceControlTest, PlayerTypeAndTheAICount) {
    EXPECT_EQ(Run("SetPlayerType(false) Report(1)"), Strings{"1"});
    EXPECT_EQ(race.store->playerType, 9);
    Run("SetPlayerType(0)");
    EXPECT_EQ(race.store->playerType, 10);
    Run("SetPlayerType()");
    EXPECT_EQ(race.store->playerType, 9);
    EXPECT_EQ(Run("Report(GetAICount(4), GetAICount(1, 'two'), GetAICount(), select('#', GetAICount()))"),
              Strings{"4|two|nil|1"});
}

} // namespace
} // namespace racecontrol
