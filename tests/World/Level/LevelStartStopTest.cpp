// Starting and stopping a loaded level: its tasks, the interface commands, the lap times, the
// route bookkeeping, the checkpoint order, the finish, and the stop's clean-up.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PObjUpdater.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRender.h"
#include "Render/PRenderGroups.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PSpline.h"
#include "support/RaceFixture.h"

namespace {

using kxtest::LevelFileWriter;
using kxtest::RaceFixture;

constexpr float kPi = 3.14159265f;

D3DXVECTOR3 OnRing(float degrees, float radius = 100.0f) {
    const float a = degrees * kPi / 180.0f;
    return D3DXVECTOR3(radius * std::cos(a), radius * std::sin(a), 0.0f);
}

// A loaded ring level with the human on the ring at 0 degrees and the start line there too.
struct StartedRace : RaceFixture {
    explicit StartedRace(LevelFileWriter w = RingLevel()) {
        loaded = Load(w);
        if (!loaded) return;
        PlaceHuman(OnRing(0.0f));
        level->startLineCentre = OnRing(0.0f);
    }
    bool loaded = false;
};

std::vector<std::string> KernelTaskNames(const CPTaskKernel& kernel) {
    std::vector<std::string> names;
    for (const CPSmartPtr<IPTask>& task : kernel.ActiveTasks()) names.push_back(task->GetClassName());
    return names;
}

TEST(LevelStart, NeedsAGoodLoadAndAHumanAndRunsOnce) {
    RaceFixture race;
    EXPECT_FALSE(race.LoadWritten("nothere"));
    race.level->Start();
    EXPECT_FALSE(race.level->IsStarted());
    EXPECT_FALSE(race.level->updater);
    EXPECT_TRUE(race.kernel.ActiveTasks().empty());

    ASSERT_TRUE(race.Load(RaceFixture::RingLevel()));
    race.level->humanRacer = nullptr;
    race.level->Start();
    EXPECT_FALSE(race.level->IsStarted()) << "no human racer";

    race.PlaceHuman(OnRing(0.0f));
    race.level->Start();
    ASSERT_TRUE(race.level->IsStarted());
    const std::size_t tasks = race.kernel.ActiveTasks().size();
    const std::size_t lines = race.level->routeLines.size();
    CPObjUpdater* updater = race.level->updater.Get();
    race.level->Start();
    EXPECT_EQ(race.kernel.ActiveTasks().size(), tasks);
    EXPECT_EQ(race.level->routeLines.size(), lines);
    EXPECT_EQ(race.level->updater.Get(), updater);

    race.level->Stop();
    race.level->Start();
    EXPECT_TRUE(race.level->stopped);
    EXPECT_TRUE(race.level->routeLines.empty());
}

TEST(LevelStart, TasksCommandsAndResets) {
    StartedRace race;
    ASSERT_TRUE(race.loaded);
    race.store->money = 12.5f;
    race.router.sent.clear();
    g_deltaTime = 0.3f;
    race.level->Start();
    CPLevel& level = *race.level;
    EXPECT_EQ(KernelTaskNames(race.kernel), (std::vector<std::string>{"AI_Task", "CPPhysics", "CPObjUpdater"}));
    EXPECT_EQ(race.drivers->GetPriority(), 100);
    EXPECT_EQ(race.physics->GetPriority(), 400);
    ASSERT_TRUE(level.updater);
    EXPECT_EQ(level.updater->GetPriority(), 500);
    EXPECT_EQ(level.updater->GetKind(), 0);
    EXPECT_EQ(g_deltaTime, 0.0f);
    EXPECT_EQ(level.podium, (std::array<int, 3>{{-1, -1, -1}}));
    EXPECT_FLOAT_EQ(level.timeLeft, 600.0f);
    EXPECT_FALSE(level.stopped);
    EXPECT_TRUE(level.humanRacer->IsInScene());
    ASSERT_GE(race.router.sent.size(), 2u);
    EXPECT_EQ(race.router.sent[0].target, "gamemenu");
    EXPECT_EQ(race.router.sent[0].command, "set_money");
    EXPECT_EQ(race.router.sent[0].params, "12.50");
    EXPECT_EQ(race.router.sent[1].command, "init_game_interface");
    EXPECT_EQ(race.router.sent[1].params, "");
    EXPECT_TRUE(level.hintCursor == level.checkpointHints.begin());
}

TEST(LevelStart, LapTimes) {
    StartedRace race;
    ASSERT_TRUE(race.loaded);
    race.store->playerLap.currentLap = 3;
    race.store->playerLap.lapTimes = {1.0f, 2.0f};
    race.store->roundTime = 42.0f;
    race.store->racerLaps["bot"].lapTimes = {9.0f, 9.0f};
    race.level->Start();
    EXPECT_EQ(race.store->playerLap.lapTimes, (std::vector<float>{1.0f, 2.0f, 0.0f}));
    EXPECT_EQ(race.store->racerLaps["bot"].lapTimes, std::vector<float>(5, 42.0f));
}

TEST(LevelStart, RouteLinesInRaceOrder) {
    for (bool reversed : {false, true}) {
        StartedRace race;
        ASSERT_TRUE(race.loaded);
        race.level->reversed = reversed;
        race.level->Start();
        const std::vector<CPLine*>& lines = race.level->routeLines;
        ASSERT_EQ(static_cast<int>(lines.size()), race.level->progressPath->GetLineCount());
        EXPECT_EQ(lines[0], race.level->progressPath->GetFirstLine());
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], reversed ? lines[i - 1]->next : lines[i - 1]->previous) << i;
        EXPECT_EQ(race.level->playerRouteSteps, 0);
    }
}

TEST(LevelStart, NearestPieces) {
    StartedRace race;
    ASSERT_TRUE(race.loaded);
    race.level->Start();
    CPLevel& level = *race.level;
    const std::vector<CPLine*> lines = level.routeLines;
    // On a piece's centre: that piece.
    level.humanRacer->SetPosition(lines[7]->centre);
    level.routeLines.clear();
    level.InitTrackProgress();
    EXPECT_EQ(level.playerRouteIndex, 7);
    // Beyond the search bound: still the nearest piece.
    const D3DXVECTOR3 far = lines[12]->centre * 40.0f;
    level.humanRacer->SetPosition(far);
    level.routeLines.clear();
    level.InitTrackProgress();
    EXPECT_EQ(level.playerRouteIndex, 12);
    EXPECT_EQ(level.routeLines.size(), lines.size());
}

TEST(LevelStart, NearestPieceTable) {
    CPLine pieces[4];
    const float centres[4][2] = {{10, 0}, {-10, 0}, {0, 10}, {400, 400}};
    std::vector<CPLine*> lines;
    for (int i = 0; i < 4; ++i) {
        pieces[i].centre = D3DXVECTOR3(centres[i][0], centres[i][1], 0.0f);
        lines.push_back(&pieces[i]);
    }
    struct Case {
        D3DXVECTOR3 point;
        int index;
    };
    const Case cases[] = {
        {{0, 0, 0}, 2},     // three at 10: the last of them
        {{0, -5, 0}, 1},    // pieces 0 and 1 tie
        {{10, 0, 50}, 0},   // height is not measured
        {{390, 390, 0}, 3}, // the far piece
        {{5000, 0, 0}, 3},  // nothing within the bound: the nearest all the same
        {{-5000, -5000, 0}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPLevel::NearestRouteIndex(lines, c.point), c.index) << c.point.x << "," << c.point.y;
    EXPECT_EQ(CPLevel::NearestRouteIndex({}, D3DXVECTOR3(0, 0, 0)), 0);
}

TEST(LevelStart, CheckpointsComeOutInRaceOrderHidden) {
    LevelFileWriter w = RaceFixture::RingLevel();
    // Race order runs clockwise from 0 degrees: 270, 180, 90. The file lists them backwards,
    // with one far from the route.
    for (float degrees : {90.0f, 180.0f, 270.0f}) {
        const D3DXVECTOR3 p = OnRing(degrees);
        w.AddObject("checkpoint", p.x, p.y, 0.0f);
    }
    w.AddObject("checkpoint", 500.0f, 500.0f, 0.0f);
    StartedRace race(w);
    ASSERT_TRUE(race.loaded);
    ASSERT_EQ(race.level->checkpoints.size(), 4u);
    race.store->levelSettings.finishCheckpointIndex = 0;
    race.level->finishCheckpointIndex = 1;
    race.level->Start();
    const std::vector<SPCheckpoint>& order = race.level->checkpoints;
    ASSERT_EQ(order.size(), 3u);
    const float expected[] = {270.0f, 180.0f, 90.0f};
    for (int i = 0; i < 3; ++i) {
        const D3DXVECTOR3 p = OnRing(expected[i]);
        EXPECT_NEAR(order[static_cast<std::size_t>(i)].object->GetPosition().x, p.x, 1e-3f) << i;
        EXPECT_NEAR(order[static_cast<std::size_t>(i)].object->GetPosition().y, p.y, 1e-3f) << i;
        EXPECT_FALSE(order[static_cast<std::size_t>(i)].object->IsVisible());
    }
    // The finish stands on checkpoint 1, hidden.
    const CPSmartPtr<CPGameObject>& finish = race.level->finishObject;
    EXPECT_NEAR(finish->GetPosition().x, order[1].object->GetPosition().x, 1e-4f);
    EXPECT_NEAR(finish->GetPosition().y, order[1].object->GetPosition().y, 1e-4f);
    EXPECT_FALSE(finish->IsVisible());
}

TEST(LevelStart, FinishOutsideTheCheckpointsStaysWhereItIs) {
    LevelFileWriter w = RaceFixture::RingLevel();
    const D3DXVECTOR3 p = OnRing(90.0f);
    w.AddObject("checkpoint", p.x, p.y, 0.0f);
    StartedRace race(w);
    ASSERT_TRUE(race.loaded);
    race.level->finishCheckpointIndex = 5;
    const D3DXVECTOR3 before = race.level->finishObject->GetPosition();
    race.level->Start();
    EXPECT_EQ(race.level->finishObject->GetPosition(), before);
    EXPECT_TRUE(race.level->finishObject->IsVisible());
}

TEST(LevelStart, OpponentsFillTheFirstFiveSlots) {
    StartedRace race;
    ASSERT_TRUE(race.loaded);
    race.level->opponentLineIndex.assign(20, 99);
    race.PlaceOpponent(OnRing(10.0f), CPLevel::kTrafficFlag);
    for (int i = 0; i < 7; ++i) race.PlaceOpponent(OnRing(20.0f + 20.0f * static_cast<float>(i)));
    race.level->Start();
    const CPLevel& level = *race.level;
    for (int k = 0; k < 5; ++k) {
        const int index = level.opponentLineIndex[static_cast<std::size_t>(k)];
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(level.routeLines.size()));
        const D3DXVECTOR3 racer = level.opponents[static_cast<std::size_t>(k + 1)]->GetPosition();
        const D3DXVECTOR3& c = level.routeLines[static_cast<std::size_t>(index)]->centre;
        EXPECT_LT((c.x - racer.x) * (c.x - racer.x) + (c.y - racer.y) * (c.y - racer.y), 100.0f) << k;
    }
    EXPECT_EQ(level.opponentLineIndex[5], 99);
    EXPECT_EQ(level.opponentLineIndex[6], 99);
    EXPECT_TRUE(level.opponentCursor == race.level->opponents.begin());
}

TEST(LevelStop, ReleasesEverythingAndIsHarmlessTwice) {
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("barrel", 110, 0, 0);
    StartedRace race(w);
    ASSERT_TRUE(race.loaded);
    race.PlaceOpponent(OnRing(30.0f));
    race.level->Start();
    race.level->UpdateLevelObjects(1);
    ASSERT_EQ(race.level->activeObjects.size(), 1u);
    race.level->raceStarted = true;
    race.store->levelStarted = true;
    CPSmartPtr<CPObjUpdater> updater = race.level->updater;
    CPSmartPtr<CPGameObject> barrel = race.level->activeObjects.front();
    race.level->Stop();
    CPLevel& level = *race.level;
    EXPECT_FALSE(level.opponentsReleased);
    EXPECT_FALSE(level.path);
    EXPECT_FALSE(level.centrePath);
    EXPECT_FALSE(level.rightPath);
    EXPECT_TRUE(level.progressPath) << "the progress path stays";
    EXPECT_TRUE(level.playerLine);
    EXPECT_TRUE(level.routeLines.empty());
    EXPECT_TRUE(level.opponentLineIndex.empty());
    EXPECT_TRUE(level.opponentProgress.empty());
    EXPECT_FALSE(level.raceStarted);
    EXPECT_TRUE(level.activeObjects.empty());
    EXPECT_TRUE(level.dormantObjects.empty());
    EXPECT_FALSE(barrel->IsInScene());
    EXPECT_TRUE(level.opponents.empty());
    EXPECT_FALSE(level.humanRacer);
    EXPECT_EQ(level.player, nullptr);
    EXPECT_TRUE(race.drivers->racerDrivers.empty());
    EXPECT_TRUE(race.drivers->IsKillRequested());
    EXPECT_TRUE(race.physics->IsKillRequested());
    EXPECT_TRUE(updater->IsKillRequested());
    EXPECT_FALSE(level.camera);
    EXPECT_FALSE(level.miniMap);
    EXPECT_FALSE(level.timeModeObject);
    EXPECT_TRUE(level.stopped);
    EXPECT_FALSE(race.store->levelStarted);
    level.Stop();
    EXPECT_TRUE(level.stopped);
}

TEST(LevelStop, WithoutStartOrLoad) {
    RaceFixture race;
    EXPECT_FALSE(race.LoadWritten("nothere"));
    race.level->Stop();
    race.level->Stop();
    EXPECT_TRUE(race.level->stopped);
}

TEST(LevelTimeTable, CountsOnlyWhileTheRaceRuns) {
    StartedRace race;
    ASSERT_TRUE(race.loaded);
    race.level->Start();
    race.store->playerLap.currentLap = 2;
    race.store->playerLap.lapTimes = {5.0f};
    race.store->levelTimer = 1.0f;
    SPLapRecord& bot = race.store->racerLaps["bot"];
    bot.currentLap = 1;
    bot.lapTimes = {10.0f, 10.0f, 10.0f};
    g_deltaTime = 0.25f;
    race.level->UpdateTimeTable();
    EXPECT_EQ(race.store->playerLap.lapTimes, std::vector<float>{5.0f});
    EXPECT_FLOAT_EQ(race.store->levelTimer, 1.0f);
    EXPECT_FLOAT_EQ(bot.lapTimes[1], 10.0f);

    race.level->raceStarted = true;
    race.level->UpdateTimeTable();
    EXPECT_EQ(race.store->playerLap.lapTimes, (std::vector<float>{5.0f, 0.25f}));
    race.level->UpdateTimeTable();
    EXPECT_EQ(race.store->playerLap.lapTimes, (std::vector<float>{5.0f, 0.5f}));
    EXPECT_FLOAT_EQ(race.store->levelTimer, 1.5f);
    EXPECT_FLOAT_EQ(bot.lapTimes[1], 9.5f);
    EXPECT_FLOAT_EQ(bot.lapTimes[0], 10.0f);
    g_deltaTime = 0.0f;
}

TEST(Drivers, ListsAndSlots) {
    CPSmartPtr<AI_Task> held(new AI_Task());
    AI_Task& drivers = *held;
    EXPECT_EQ(AI_Task::GetInstance(), &drivers);
    EXPECT_EQ(drivers.GetClassName(), "AI_Task");
    EXPECT_EQ(drivers.GetKind(), 1);
    EXPECT_EQ(drivers.racerDrivers.size(), 12u);
    EXPECT_EQ(drivers.trafficCount, 5);
    EXPECT_FALSE(drivers.trafficActive);
    drivers.AddTrafficDrivers(2);
    CPLine piece;
    drivers.SetVehicleLine(3, 0, &piece);
    EXPECT_EQ(drivers.GetVehicle(3)->currentPiece, &piece);
    drivers.SetVehicleLine(3, 2, &piece);
    EXPECT_EQ(drivers.GetVehicle(3)->centrePiece, &piece);
    drivers.SetVehicleLine(14, 1, &piece);
    EXPECT_EQ(drivers.GetVehicle(14)->rightPiece, &piece);
    // Slot 12 names no driver, nor does a slot beyond the lists or below 0.
    for (int slot : {12, 40, 15, -1}) {
        EXPECT_EQ(drivers.GetVehicle(slot), nullptr) << slot;
        drivers.SetVehicleLine(slot, 0, &piece);
    }
    int set = 0;
    for (const auto* list : {&drivers.racerDrivers, &drivers.trafficDrivers})
        for (const CPSmartPtr<AI_Vehicle>& v : *list) set += v->currentPiece == &piece ? 1 : 0;
    EXPECT_EQ(set, 1);
    drivers.ClearVehicles();
    EXPECT_TRUE(drivers.racerDrivers.empty());
    EXPECT_TRUE(drivers.trafficDrivers.empty());
    EXPECT_EQ(drivers.GetVehicle(0), nullptr);
}

} // namespace

namespace {

TEST(LevelRenderer, AmbientBindingsShadowAndSun) {
    CPSmartPtr<CPRender> render(new CPRender());
    ASSERT_EQ(GetRender(), render.Get());
    {
        StartedRace race;
        ASSERT_TRUE(race.loaded);
        EXPECT_EQ(render->GetAmbientColour(), 0xff7f7f7fu);
        EXPECT_FLOAT_EQ(render->GetAmbientVector().x, 0.5f);
        race.level->Start();
        const SPRenderGroup* main = render->FindGroup(16);
        const SPRenderGroup* far = render->FindGroup(120);
        const SPRenderGroup* terrain = render->FindGroup(17);
        ASSERT_NE(main, nullptr);
        ASSERT_NE(far, nullptr);
        ASSERT_NE(terrain, nullptr);
        EXPECT_EQ(main->camera.Get(), race.level->camera->GetViewCamera().Get());
        EXPECT_EQ(far->camera.Get(), race.level->camera->GetFarCamera().Get());
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        D3DXMATRIX shadow;
        const D3DXVECTOR4 light(0.0f, 0.0f, -1.0f, 0.0f);
        const D3DXPLANE ground(0.0f, 0.0f, -1.0f, 0.0f);
        D3DXMatrixShadow(&shadow, &light, &ground);
        ASSERT_TRUE(main->hasWorldMatrix);
        ASSERT_TRUE(terrain->hasWorldMatrix);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                EXPECT_FLOAT_EQ(main->worldMatrix(r, c), shadow(r, c)) << r << c;
                EXPECT_FLOAT_EQ(terrain->worldMatrix(r, c), identity(r, c)) << r << c;
            }
        // A point above the ground falls onto z = 0.
        D3DXVECTOR3 p(2.0f, 3.0f, 8.0f);
        D3DXVec3TransformCoord(&p, &p, &main->worldMatrix);
        EXPECT_NEAR(p.z, 0.0f, 1e-6f);

        // The sun goes into the light list while it has room.
        render->SetLightCount(CPRender::kMaxLights - 1);
        race.level->AddSunLight();
        EXPECT_EQ(render->GetLightCount(), CPRender::kMaxLights);
        EXPECT_FLOAT_EQ(render->GetLight(CPRender::kMaxLights - 1).Direction.z, -1.0f);
        race.level->AddSunLight();
        EXPECT_EQ(render->GetLightCount(), CPRender::kMaxLights);
    }
    render = nullptr;
    IPMMObject::CollectGarbage();
}

} // namespace
