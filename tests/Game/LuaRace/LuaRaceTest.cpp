// A whole race run by one Lua script through the script host, as a mission script runs it:
// the script creates and starts the level, waits for the start, releases the racers, drives the
// player's car every frame toward the route ahead, watches its place, round, speed and the end
// of the race, then stops and deletes the level. Headless: the renderer on the Recording
// device, sounds on the null audio device, a fake clock stepped 1/60 s a pass, a seeded engine
// generator, the difficulty ("cam_speed") and the computer cars' drive-force setting chosen.
//
// The level: a walled ring road of forty route pieces with start posts, three checkpoints and
// their flags, two start places and the route splines; the human car and one computer car.
// The human car's model carries the race script, as a car's description names its script, so
// the script learns the player's racer from the "add_object" the level's load sends it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "Game/ScriptApi.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRender.h"
#include "Render/PRenderSeams.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptFunctions.h"
#include "Sound/NAudio.h"
#include "World/PLevel.h"
#include "World/RaceWorldStartup.h"
#include "support/RaceFixture.h"
#include "support/RecordingRouter.h"
#include "support/RoadMesh.h"
#include "support/ScriptReportLine.h"

namespace {

constexpr double kFrame = 1.0 / 60.0;
// Forty pieces of about 10.5 units round the ring.
constexpr float kRadius = 67.0f;
constexpr int kPieces = 40;
// Long enough for the start sequence and a round at a crawl; a race that never ends fails.
constexpr int kMaxPasses = 60 * 240;

std::vector<std::string>& Reports() {
    static std::vector<std::string> reports;
    return reports;
}

// Report(a, b, ...) records "a|b|..." with tostring's text for every value.
int Report(lua_State* L) {
    Reports().push_back(kxtest::ReportLine(L));
    return 0;
}

// The race script. It keeps what it saw in globals the test reads back through Report.
const char* const kRaceScript = R"(
local player = nil
local function ReadCommands()
    while SetNextCommand(globalObject) do
        if GetCurrentCommand(globalObject) == "add_object" then
            player = StringToPointer(GetCurrentParams(globalObject))
        end
    end
end

-- Steering toward a point, as a driver would: full lock beyond 0.6 radians. The throttle is on
-- or off, so the speed is held by switching it: lower the more the car must turn.
local function Toward(x, y, fx, fy, tx, ty)
    local dx, dy = tx - x, ty - y
    local length = math.sqrt(dx * dx + dy * dy)
    if length <= 0 then return 1, 0 end
    dx, dy = dx / length, dy / length
    local angle = math.acos(math.max(-1, math.min(1, dx * fx + dy * fy)))
    if dx * fy - dy * fx < 0 then angle = -angle end
    local c = math.max(-0.6, math.min(0.6, angle))
    local wanted = 10 / (1 + 3 * math.abs(angle))
    local throttle = 0
    if GetPlayerSpeed() < wanted then throttle = 1 end
    return throttle, math.abs(c) * c * 1.6666666
end

InitLevel("level1", false)
StartLevel()
local waited = 0
while not IsLevelStartedAfterStripes() do
    ReadCommands()
    waited = waited + 1
    Update()
end
ReadCommands()
Report("started", waited, player ~= nil)
LockPlayers(false)
SetUpdateTime(true)

local frames, fastest, lastRound = 0, 0, GetCurrentRound()
local throttle, steering = 1, 0
-- Frames spent pushing without moving, and frames left backing out of a wall.
local stuck, backing = 0, 0
while not IsDeathMsg() do
    ReadCommands()
    local x, y = GetPlayerPosition()
    local fx, fy = GetPlayerDirection()
    local tx, ty = GetClosestLineCenter(x, y, 0, 3)
    if not tx then tx, ty = GetPlayerSplinePosition() end
    if tx then throttle, steering = Toward(x, y, fx, fy, tx, ty) end
    if throttle > 0 and GetPlayerSpeed() < 1 then stuck = stuck + 1 else stuck = 0 end
    if stuck > 45 then backing, stuck = 60, 0 end
    if backing > 0 then
        backing = backing - 1
        throttle, steering = -1, -steering
    end
    SetCarParams(player, throttle, steering)
    fastest = math.max(fastest, GetPlayerSpeed())
    local round = GetCurrentRound()
    if round ~= lastRound then
        Report("round", round, GetPlayerPlace())
        lastRound = round
    end
    frames = frames + 1
    Update()
end
Report("finished", GetPlayerPlace(), GetCurrentRound(), frames, fastest > 5)
StopLevel()
DeleteLevel()
Report("deleted", IsDeathMsg(), GetPlayerSpeed())
while true do Update() end
)";

class LuaRace : public ::testing::Test {
protected:
    void SetUp() override {
        Reports().clear();
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        Platform::SetClock(&clock);
        Platform::EngineSeed(1234);
        g_timeScale = 1.0f;

        ScriptApi::InstallScriptApi();
        static const Script::ScriptFunction kTest[] = {{"Report", Report}};
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kTest);

        // The road: a walled ring a little wider than the route's three splines.
        race.road = kxtest::MakeWalledLoop(kRadius, 16.0f, 2.0f, 160, 4);
        kxtest::RacingLevelSpec spec;
        spec.radius = kRadius;
        spec.segments = kPieces;
        spec.startPlaces = 2;
        spec.checkpoints = 3;
        race.store.Write("Data/Levels/level1.lvl",
                         kxtest::RaceFixture::WithStartPlace(kxtest::RaceFixture::RacingLevel(spec)).Bytes());

        // One computer driver, one round; the computer car's drive force at half, its engine at
        // half strength ("cam_speed" 5).
        race.store->levelSettings.racerCount = 2;
        race.store->levelSettings.setting9 = 0.5f;
        race.store->roundCount = 1;

        // The script manager routes the engine's commands; the race's router records them on
        // the way.
        SetCommandRouter(&race.router);
        race.router.onSent = [this](const kxtest::SentCommand& sent) {
            switch (sent.route) {
            case kxtest::Route::Name: scripts->SendCommandByName(sent.target, sent.command, sent.params); break;
            case kxtest::Route::Category: scripts->SendCommandByCategory(sent.target, sent.command, sent.params); break;
            case kxtest::Route::Object: scripts->SendCommandByObject(sent.script, sent.command, sent.params); break;
            }
        };

        race.store.Write("Data/Scripts/race.lua", kRaceScript);
        race.store.Write("Data/Scripts/list.dat", "race t_level\n");
        ASSERT_TRUE(scripts->LoadScriptList());
        script = scripts->GetScript("race");
        ASSERT_TRUE(script);
        race.models["zil_130_.rdf"] = [this] {
            CPSmartPtr<CPGameObject> car = kxtest::MakeCarObject("zil_130_.rdf", race.carDescription);
            car->SetScript(script);
            return car;
        };

        // The renderer on the Recording device, over the level's view, runs in every pass.
        SetDirect3DBackend(D3DBackend::Recording);
        Platform::SetRecordingConfig(Platform::RecordingConfig());
        effects = new CPEffectManager();
        SPStartupRegistry registry;
        InstallRaceWorld(registry);
        render = CPSmartPtr<CPRender>(new CPRender());
        ASSERT_TRUE(race.kernel.AddTask(CPSmartPtr<IPTask>(render.Get())));
        // Sounds on the null device: the cars' engine, slam and dirt sounds play into it.
        race.store.Write("Data/Sounds/Sounds.dat", "slam;slam.wav;3d\r\n");
        ASSERT_EQ(sound.Init(nullptr), 1);
        timer = CPSmartPtr<CPGlobalTimer>(new CPGlobalTimer());
        ASSERT_TRUE(race.kernel.AddTask(CPSmartPtr<IPTask>(timer.Get())));
        ASSERT_TRUE(race.kernel.AddTask(CPSmartPtr<IPTask>(script.Get())));
    }

    void TearDown() override {
        race.kernel.KillAllTasks();
        race.kernel.RunPass();
        // A script that failed before its end leaves its level behind.
        if (CPLevel* level = CPLevel::GetInstance()) {
            if (level->IsStarted() && !level->stopped) level->Stop();
            delete level;
        }
        script = nullptr;
        timer = nullptr;
        race.router.onSent = nullptr;
        if (render) render->Stop();
        render = nullptr;
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        delete effects;
        delete scripts;
        scripts = nullptr;
        Script::GetScriptFunctionTables().Clear();
        Platform::SetClock(nullptr);
        CPLog::Instance().SetSink(nullptr);
        g_deltaTime = 0.0f;
        g_deltaTime2 = 0.0f;
    }

    // One pass of the kernel, 1/60 s after the last.
    void Pass() {
        clock.AdvanceSeconds(kFrame);
        race.kernel.RunPass();
        // The device's record of a frame is not looked at; only the frames' count would grow.
        if (Platform::IRecordingControl* control = Platform::RecordingControl(render->GetDevice()))
            control->ClearCalls();
    }

    // Passes until the script reports the line's first field, or the limit; the passes run.
    int RunUntil(const std::string& what, int limit) {
        int passes = 0;
        while (passes < limit && Find(what).empty()) {
            Pass();
            ++passes;
        }
        return passes;
    }

    // The first report whose first field is what; empty when there is none.
    static std::string Find(const std::string& what) {
        for (const std::string& line : Reports())
            if (line.compare(0, what.size() + 1, what + "|") == 0) return line;
        return std::string();
    }

    // A report's fields.
    static std::vector<std::string> Fields(const std::string& line) {
        std::vector<std::string> fields;
        if (line.empty()) return fields;
        std::size_t from = 0;
        for (std::size_t bar = line.find('|'); bar != std::string::npos; bar = line.find('|', from)) {
            fields.push_back(line.substr(from, bar - from));
            from = bar + 1;
        }
        fields.push_back(line.substr(from));
        return fields;
    }

    std::string Logged() const {
        std::string all;
        for (const std::string& line : log) all += line + "\n";
        return all;
    }

    kxtest::RaceFixture race;
    Platform::FakeClock clock{1000000};
    kxtest::CamSpeed difficulty{5};
    CPScriptManager* scripts = new CPScriptManager();
    CPSmartPtr<CPLuaScript> script;
    CPSmartPtr<CPGlobalTimer> timer;
    Platform::Audio::ScopedNullAudio audio;
    CNAudio sound;
    CPEffectManager* effects = nullptr;
    CPSmartPtr<CPRender> render;
    std::vector<std::string> log;
};

TEST_F(LuaRace, TheScriptDrivesAOneRoundRaceToItsEndAndDeletesTheLevel) {
    RunUntil("started", 60 * 20);
    const std::vector<std::string> started = Fields(Find("started"));
    ASSERT_EQ(started.size(), 3u) << Logged();
    // The start sequence of a two-racer grid lasts six seconds.
    EXPECT_NEAR(std::stoi(started[1]), 360, 5);
    EXPECT_EQ(started[2], "true") << "the script knows the player's racer";
    CPLevel* level = CPLevel::GetInstance();
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->opponents.size(), 1u);

    RunUntil("finished", kMaxPasses);
    const std::vector<std::string> finished = Fields(Find("finished"));
    ASSERT_EQ(finished.size(), 5u) << "place " << level->playerPlace << ", route steps " << level->playerRouteSteps
                                   << "\n"
                                   << Logged();
    // The race ended when the player completed its one round, having driven above a crawl; the
    // place the script read is the one the race announced.
    std::string place;
    for (const kxtest::SentCommand& sent : race.router.sent)
        if (sent.target == "game_interface" && sent.command == "place") place = sent.params;
    const std::map<std::string, std::string> placeNumbers = {{"1st", "1"}, {"2nd", "2"}};
    ASSERT_EQ(placeNumbers.count(place), 1u) << "announced: " << place;
    EXPECT_EQ(finished[1], placeNumbers.at(place));
    EXPECT_EQ(Find("round"), "round|2|" + finished[1]) << "the round counter moved once, at the finish";
    EXPECT_EQ(finished[2], "2");
    EXPECT_EQ(finished[4], "true");

    // The script ran to its end: the level is gone and the functions fall back to their defaults.
    RunUntil("deleted", 5);
    EXPECT_EQ(Find("deleted"), "deleted|false|0");
    EXPECT_EQ(CPLevel::GetInstance(), nullptr);
    EXPECT_FALSE(script->IsFinished()) << Logged();
}

} // namespace
