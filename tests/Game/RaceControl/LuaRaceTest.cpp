// A whole race run by one Lua script through the race-control functions: it makes and starts the
// level, waits for the start, releases the racers and starts the clocks, drives the player along
// the route every frame, reads the place, round, speed and the end of the race, then stops and
// deletes the level. Headless, with a fake clock of 1/60 s a pass and a seeded generator.

#include <gtest/gtest.h>

#include <string>

#include "Framework/PGlobalTimer.h"
#include "Game/RaceControl/RaceControlFixture.h"
#include "Platform/System/Random.h"
#include "World/PPlayer.h"

namespace racecontrol {
namespace {

// The human racer of the current level, which the game hands its race script with its commands.
int TestPlayer(lua_State* L) {
    const CPLevel* level = CPLevel::GetInstance();
    const CPPlayer* player = level ? level->player : nullptr;
    lua_pushlightuserdata(L, Script::HandleToUserdata(player ? player->GetHandle() : 0));
    return 1;
}

const char* const kRaceScript = R"(
InitLevel('level9', false)
StartLevel()
local waited = 0
while not IsLevelStartedAfterStripes() do
    waited = waited + 1
    if waited > 6000 then
        Report('never started')
        return
    end
    Update()
end
LockPlayers(false)
SetUpdateTime(true)
local player = TestPlayer()
local frames, top = 0, 0
while not IsDeathMsg() do
    local x, y = GetPlayerPosition()
    local cx, cy = GetClosestLineCenter(x, y, 0, 1)
    local steer = 0
    if cx then
        local fx, fy = GetPlayerDirection()
        local dx, dy = cx - x, cy - y
        local length = math.sqrt(dx * dx + dy * dy) + 0.000001
        steer = math.max(-1, math.min(1, -3 * (fx * dy - fy * dx) / length))
    end
    SetCarParams(player, 1, steer)
    top = math.max(top, GetPlayerSpeed())
    frames = frames + 1
    if frames > 12000 then
        Report('no finish', GetPlayerPlace(), GetCurrentRound(), top, x, y)
        return
    end
    Update()
end
Report('finished', GetPlayerPlace(), GetCurrentRound(), top > 5)
StopLevel()
DeleteLevel()
Report('end')
)";

class LuaRace : public RaceControlTest {
protected:
    LuaRace() {
        static const Script::ScriptFunction kTest[] = {{"TestPlayer", TestPlayer}};
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kTest);
        Platform::EngineSeed(7);
        timer = CPSmartPtr<CPGlobalTimer>(new CPGlobalTimer());
        race.kernel.AddTask(CPSmartPtr<IPTask>(timer.Get()));
    }

    CPSmartPtr<CPGlobalTimer> timer;
    kxtest::CamSpeed camSpeed{1};
};

TEST_F(LuaRace, OneRoundAgainstOneComputerDriverRunsToTheEnd) {
    race.store->levelSettings.racerCount = 2;
    race.store->roundCount = 1;
    WriteLevel("level9");
    Run(kRaceScript);
    Strings reports;
    int passes = 0;
    for (; passes < 20000; ++passes) {
        clock.AdvanceSeconds(1.0 / 60.0);
        race.kernel.RunPass();
        reports.insert(reports.end(), Reports().begin(), Reports().end());
        Reports().clear();
        if (!reports.empty() && (reports.back() == "end" || reports.back().rfind("no", 0) == 0)) break;
    }
    ASSERT_FALSE(reports.empty()) << "the script reported nothing in " << passes << " passes";
    EXPECT_EQ(reports.back(), "end");
    ASSERT_GE(reports.size(), 2u);
    const std::string& result = reports[reports.size() - 2];
    EXPECT_TRUE(result == "finished|1|2|true" || result == "finished|2|2|true") << result;
    EXPECT_EQ(Level(), nullptr);
}

} // namespace
} // namespace racecontrol
