// The race world as the career functions see it through the view over the current level: the
// checkpoint timer, a racer's name and the level's named positions for mission sources, on a
// racing level a script loaded; and start-up installing that view.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "Framework/StartupRegistry.h"
#include "Game/GameStartup.h"
#include "Game/RaceControl/RaceControlFixture.h"
#include "Game/RaceWorldView.h"
#include "Input/InterfaceBroadcasts.h"
#include "Scene/SceneInterfaces.h"
#include "World/PPlayer.h"

namespace racecontrol {
namespace {

class WorldView : public RaceControlTest {
protected:
    WorldView() { ScriptApi::SetRaceWorldView(&ScriptApi::LevelWorldView()); }
    ~WorldView() override { ScriptApi::SetRaceWorldView(nullptr); }

    CPLevel* LoadRace() {
        race.store->levelSettings.racerCount = 2;
        WriteLevel("level9", kxtest::RacingLevelSpec(), [](kxtest::LevelFileWriter& w) {
            w.AddObject("src_gate", 7.0f, 8.0f, 9.0f);
            w.AddObject("src_yard", -70.0f, 30.0f, 1.0f);
        });
        return LoadByScript("InitLevel('level9', false)");
    }
};

TEST(WorldViewStartup, StartUpInstallsTheViewOverTheCurrentLevel) {
    ScriptApi::SetRaceWorldView(nullptr);
    SPStartupRegistry registry;
    InstallGameLayer(registry);
    EXPECT_EQ(&ScriptApi::GetRaceWorldView(), &ScriptApi::LevelWorldView());
    ScriptApi::SetRaceWorldView(nullptr);
    SetInterfaceBroadcasts(nullptr);
    SetLensFlareOverlayMaker(nullptr);
}

TEST_F(WorldView, WithoutALevelTheViewAnswersNoLevel) {
    const ScriptApi::IRaceWorldView& view = ScriptApi::LevelWorldView();
    EXPECT_FALSE(view.HasLevel());
    EXPECT_TRUE(view.NamedPositions().empty());
    EXPECT_EQ(view.CheckpointTimer(), 0.0f);
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    racer->SetName("zil_130_");
    EXPECT_EQ(view.RacerName(racer.Get()), std::nullopt);
    EXPECT_EQ(Run("Report(GetCheckpointTime())"), Strings{"0|0|0"});
}

TEST_F(WorldView, CheckpointTimerSplitIntoMinutesSecondsAndHundredths) {
    CPLevel* level = LoadRace();
    ASSERT_NE(level, nullptr);
    const struct {
        float timer;
        const char* split;
    } cases[] = {{75.25f, "1|15|25"}, {0.0f, "0|0|0"}, {59.5f, "0|59|50"}, {600.0f, "10|0|0"}};
    for (const auto& c : cases) {
        level->checkpointTimer = c.timer;
        EXPECT_EQ(Run("Report(GetCheckpointTime())"), Strings{c.split}) << c.timer;
    }
    Run("DeleteLevel()");
    EXPECT_EQ(Run("Report(GetCheckpointTime())"), Strings{"0|0|0"});
}

TEST_F(WorldView, PlayerNameOfARacer) {
    CPLevel* level = LoadRace();
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->opponents.size(), 1u);
    race.store->playerName = "mine";
    CPSmartPtr<CPGameObject> scenery(new CPGameObject("scenery"));
    Global("human", level->humanRacer.Get());
    Global("r1", level->opponents[0].Get());
    Global("scenery", scenery.Get());
    const std::string opponentName = level->opponents[0]->name;
    ASSERT_FALSE(opponentName.empty());
    EXPECT_EQ(Run(Globals() + "Report(GetPlayerName(), GetPlayerName(human), GetPlayerName(r1),\n"
                              "       GetPlayerName(scenery), GetPlayerName(nil))"),
              Strings{"mine|" + level->humanRacer->name + "|" + opponentName + "||"});
    // The racers go with their level.
    Run("DeleteLevel()");
    EXPECT_EQ(Run(Globals() + "Report(GetPlayerName(r1))"), Strings{""});
}

TEST_F(WorldView, MissionSourcesStandAtTheLevelsNamedPositions) {
    race.store.Write("Data/Levels/m.txt", "1.5 2 3 4\nsources\ngate k 1 1\nyard w 2 1\nnowhere n 1 1\n");
    // Without a level every source stands at the origin.
    Run("LoadMissionInfo('m.txt')");
    ASSERT_EQ(race.store->enemySources["k"].size(), 1u);
    EXPECT_EQ(race.store->enemySources["k"][0].position, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));

    CPLevel* level = LoadRace();
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->namedPositions.count("gate"), 1u);
    EXPECT_EQ(Run("LoadMissionInfo('m.txt') Report(GetCheckPointsCount())"), Strings{"1"});
    ASSERT_EQ(race.store->enemySources["k"].size(), 1u);
    EXPECT_EQ(race.store->enemySources["k"][0].position, (std::array<float, 3>{7.0f, 8.0f, 9.0f}));
    ASSERT_EQ(race.store->enemySources["w"].size(), 1u);
    EXPECT_EQ(race.store->enemySources["w"][0].position, (std::array<float, 3>{-70.0f, 30.0f, 1.0f}));
}

} // namespace
} // namespace racecontrol
