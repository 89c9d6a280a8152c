// The player's and the racers' state as scripts read and change it: locks, controls, nitro,
// abilities, damage and death, mass and speed, the gear box, crashes and respawns, on a racing
// level that a script loaded, racers with cars included.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Game/PInterface.h"
#include "Game/PWindow.h"
#include "Game/RaceControl/RaceControlFixture.h"
#include "Physics/RbBody.h"
#include "Physics/RbMath.h"
#include "World/PCar.h"
#include "World/PGearBox.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"

namespace racecontrol {
namespace {

RbRigidBody* BodyOf(const CPGameObject& object) {
    auto* data = dynamic_cast<CPPhysicData*>(object.GetPhysicData().Get());
    return data ? data->GetRigidBody() : nullptr;
}

class RacerState : public RaceControlTest {
protected:
    // A script-loaded racing level with this many racers; the script globals "human" and "r1"..
    // name the human and the opponents in start order.
    CPLevel* LoadRace(int racers) {
        race.store->levelSettings.racerCount = racers;
        kxtest::RacingLevelSpec spec;
        spec.startPlaces = racers;
        WriteLevel("level9", spec);
        CPLevel* level = LoadByScript("InitLevel('level9', false)");
        if (!level) return nullptr;
        EXPECT_EQ(static_cast<int>(level->opponents.size()), racers - 1);
        Global("human", level->humanRacer.Get());
        for (std::size_t i = 0; i < level->opponents.size(); ++i)
            Global(("r" + std::to_string(i + 1)).c_str(), level->opponents[i].Get());
        Global("scenery", scenery.Get());
        return level;
    }
    Strings RunWithGlobals(const std::string& source) { return Run(Globals() + source); }

    CPSmartPtr<CPGameObject> scenery{new CPGameObject("scenery")};
};

TEST_F(RacerState, LoadedRacersFollowTheirBodies) {
    CPLevel* level = LoadRace(3);
    ASSERT_NE(level, nullptr);
    std::vector<CPPlayer*> racers = {level->player};
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) racers.push_back(opponent.Get());
    for (CPPlayer* racer : racers) {
        EXPECT_EQ(race.physics->GetActiveObjects().count(racer), 1u) << racer->name;
        RbRigidBody* body = BodyOf(*racer);
        ASSERT_NE(body, nullptr);
        body->SetPosition(RbVec(5.0f, 6.0f, 7.0f));
    }
    race.physics->SyncObjects();
    for (CPPlayer* racer : racers) EXPECT_EQ(racer->GetPosition(), D3DXVECTOR3(5.0f, 6.0f, 7.0f)) << racer->name;
}

TEST_F(RacerState, LockPlayers2CountsOpponentsAfterTheSmallFieldSkip) {
    CPLevel* level = LoadRace(8);
    ASSERT_NE(level, nullptr);
    const struct {
        int racerCount;
        int count;
        int released;
    } cases[] = {{8, 2, 1}, {8, 5, 4}, {5, 2, 0}, {5, 5, 1}, {4, 5, 1}, {8, 100, 7}, {8, 1, 0}, {8, 0, 0}};
    for (const auto& c : cases) {
        level->racerCount = c.racerCount;
        char call[96];
        std::snprintf(call, sizeof call, "LockPlayers(true) LockPlayers2(false, %d)", c.count);
        Run(call);
        EXPECT_TRUE(level->player->IsLocked());
        int released = 0;
        for (std::size_t i = 0; i < level->opponents.size(); ++i) {
            if (!level->opponents[i]->IsLocked()) {
                EXPECT_EQ(static_cast<int>(i), released) << "released out of order";
                ++released;
            }
        }
        EXPECT_EQ(released, c.released) << "racerCount " << c.racerCount << ", count " << c.count;
    }
    // A count that is not a number releases nobody.
    Run("LockPlayers(true) LockPlayers2(false, 0/0) LockPlayers2(false, -1/0)");
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) EXPECT_TRUE(opponent->IsLocked());
}

TEST_F(RacerState, LockPlayersAndLockPlayer) {
    CPLevel* level = LoadRace(3);
    ASSERT_NE(level, nullptr);
    Run("LockPlayers(false)");
    EXPECT_FALSE(level->player->IsLocked());
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) EXPECT_FALSE(opponent->IsLocked());
    Run("LockPlayer(true)");
    EXPECT_TRUE(level->player->IsLocked());
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) EXPECT_FALSE(opponent->IsLocked());
}

TEST_F(RacerState, ControlsReachTheRacerGiven) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    CPPlayer& human = *level->player;
    CPPlayer& opponent = *level->opponents[0];
    RunWithGlobals("LockPlayers(false) SetCarParams(human, 0.75, -0.25) SetCarParams(r1, 0.5, 0.5)");
    EXPECT_EQ(human.throttle, 0.75f);
    EXPECT_EQ(human.steering, -0.25f);
    EXPECT_EQ(opponent.throttle, 0.5f);
    // No racer, or inputs that are not numbers, change nothing; the rest stays within the
    // drivers' range.
    RunWithGlobals("SetCarParams(nil, 1, 1) SetCarParams(scenery, 1, 1) SetCarParams(human, 0/0, 1)\n"
                   "SetCarParams(human, 1, 1/0)");
    EXPECT_EQ(human.throttle, 0.75f);
    EXPECT_EQ(human.steering, -0.25f);
    RunWithGlobals("SetCarParams(human, 1e30, -5)");
    EXPECT_EQ(human.throttle, 1.0f);
    EXPECT_EQ(human.steering, -1.0f);
    // A locked racer keeps its input; a blocked throttle reads 0.
    RunWithGlobals("LockPlayer(true) SetCarParams(human, 0.25, 0.25)");
    EXPECT_EQ(human.throttle, 1.0f);
    RunWithGlobals("LockPlayer(false) PlayerNitroAI(human, 1) SetCarParams(human, 0.25, 0.25)");
    EXPECT_EQ(human.throttle, 0.0f);
    EXPECT_EQ(human.steering, 0.25f);
}

TEST_F(RacerState, PlayerNitroAIWithAndWithoutFurtherArguments) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    CPPlayer& racer = *level->opponents[0];
    Run("LockPlayers(false)");
    racer.nitroOn = true;
    racer.throttle = 0.7f;
    RunWithGlobals("PlayerNitroAI(r1)");
    EXPECT_FALSE(racer.nitroOn);
    EXPECT_FALSE(racer.throttleBlocked);
    EXPECT_EQ(racer.throttle, 0.7f);

    racer.nitroOn = true;
    RunWithGlobals("PlayerNitroAI(r1, 1)");
    EXPECT_TRUE(racer.nitroOn);
    EXPECT_TRUE(racer.throttleBlocked);
    EXPECT_EQ(racer.throttle, 0.0f);

    // Without a racer nothing changes.
    racer.throttleBlocked = false;
    racer.throttle = 0.7f;
    RunWithGlobals("PlayerNitroAI() PlayerNitroAI(nil, 1) PlayerNitroAI(scenery, 1)");
    EXPECT_TRUE(racer.nitroOn);
    EXPECT_FALSE(racer.throttleBlocked);
}

TEST_F(RacerState, NitroOfThePlayer) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    CPCar* car = level->player->GetCar();
    ASSERT_NE(car, nullptr);
    Run("LockPlayers(false)");
    EXPECT_EQ(Run("Report(GetNitro(), IsNitro(), GetPlayerNitroTimeAch(), IfPlayerUsedNitro())"),
              Strings{"0|false|-1|false"});
    car->SetNitroMeter(40.0f);
    EXPECT_EQ(Run("PlayerNitro(1) Report(GetNitro(), IsNitro(), GetPlayerNitroTimeAch(), IfPlayerUsedNitro())"),
              Strings{"40|true|0|true"});
    EXPECT_TRUE(level->player->nitroOn);
    EXPECT_EQ(Run("PlayerNitro(0) Report(IsNitro())"), Strings{"false"});
    EXPECT_FALSE(level->player->nitroOn);
    // Once the race is over the nitro stays as it is and its time reads 0.
    level->raceOver = true;
    EXPECT_EQ(Run("PlayerNitro(1) Report(IsNitro(), GetPlayerNitroTimeAch())"), Strings{"false|0"});
    EXPECT_FALSE(level->player->nitroOn);
}

TEST_F(RacerState, IsPlayerDeadThroughTheCarNameTable) {
    CPLevel* level = LoadRace(3);
    ASSERT_NE(level, nullptr);
    level->opponents[0]->SetName("zil_130_");
    level->opponents[0]->damage = 100.0f;
    level->opponents[1]->SetName("uaz");
    level->opponents[1]->damage = 99.5f;
    level->player->SetName("bmw");
    level->player->damage = 100.0f;
    const struct {
        const char* call;
        const char* dead;
    } cases[] = {
        {"IsPlayerDead()", "true"},           {"IsPlayerDead('zil_130')", "true"},
        {"IsPlayerDead('zil_130_')", "true"}, {"IsPlayerDead('uaz_469')", "false"},
        {"IsPlayerDead('bmw_i745')", "true"}, {"IsPlayerDead('bmw')", "true"},
        {"IsPlayerDead('audi_tt')", "false"}, {"IsPlayerDead('nobody')", "false"},
        {"IsPlayerDead(nil)", "false"},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(std::string("Report(") + c.call + ")"), Strings{c.dead}) << c.call;
    level->player->damage = 20.0f;
    EXPECT_EQ(Run("Report(IsPlayerDead(), IsPlayerDead('bmw_i745'), GetPlayerDamage())"), Strings{"false|false|20"});
    Run("DeleteLevel()");
    EXPECT_EQ(Run("Report(select('#', IsPlayerDead()), select('#', IsPlayerDead('zil_130')), IsDead())"),
              Strings{"0|0|true"});
}

TEST_F(RacerState, MassOfThePlayerOrOfARacer) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    RbRigidBody* humanBody = BodyOf(*level->player);
    RbRigidBody* opponentBody = BodyOf(*level->opponents[0]);
    ASSERT_TRUE(humanBody && opponentBody);
    opponentBody->SetMass(25.0f);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%g|25|0|0|0", static_cast<double>(humanBody->GetMass()));
    EXPECT_GT(humanBody->GetMass(), 0.0f);
    EXPECT_EQ(RunWithGlobals("Report(GetPlayerMass(), GetPlayerMass(r1), GetPlayerMass(3), GetPlayerMass(scenery),\n"
                             "       GetPlayerMass(nil))"),
              Strings{expected});
    Run("DeleteLevel()");
    EXPECT_EQ(Run("Report(select('#', GetPlayerMass()))"), Strings{"0"});
}

TEST_F(RacerState, ObjectSpeedBelowTheThresholdIsZero) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    RbRigidBody* body = BodyOf(*level->opponents[0]);
    ASSERT_NE(body, nullptr);
    const struct {
        float x, y, z;
        const char* speed;
    } cases[] = {
        {3.0f, 4.0f, 0.0f, "5"}, {0.0005f, 0.0f, 0.0f, "0"}, {0.0f, 0.0f, 0.0f, "0"}, {0.0f, 0.0f, -2.0f, "2"}};
    for (const auto& c : cases) {
        body->SetVelocity(RbVec(c.x, c.y, c.z));
        EXPECT_EQ(RunWithGlobals("Report(GetObjectSpeed(r1))"), Strings{c.speed}) << c.x << "," << c.y << "," << c.z;
    }
    EXPECT_EQ(RunWithGlobals("Report(GetObjectSpeed(scenery), GetObjectSpeed(), GetObjectSpeed(7))"), Strings{"0|0|0"});
}

TEST_F(RacerState, EngineGettersFollowTheGearBoxAsItShifts) {
    CPLevel* level = LoadRace(1);
    ASSERT_NE(level, nullptr);
    CPCar* car = level->player->GetCar();
    ASSERT_NE(car, nullptr);
    GearBox* box = car->GetGearBox();
    ASSERT_NE(box, nullptr);
    Run("while true do\n"
        "  Report(GetPlayerEngineSpeed(), GetPlayerEngineForce(), GetPlayerEngineGear(), GetPlayerTractionTime())\n"
        "  Update()\n"
        "end");
    std::vector<int> gears;
    float speed = 0.0f;
    for (int frame = 0; frame < 600; ++frame) {
        const float previous = speed;
        speed += 0.1f;
        car->SetSpeedForTest(speed, previous);
        box->SetThrottle(1.0f);
        box->SetCarSpeed(speed);
        box->Update(1.0f / 60.0f);
        Reports().clear();
        race.kernel.RunPass();
        char expected[128];
        std::snprintf(expected, sizeof expected, "%.14g|%.14g|%d|%.14g", static_cast<double>(box->GetEngineSpeed()),
                      static_cast<double>(box->GetEngineForce()), box->GetCurrentGear(),
                      static_cast<double>(box->GetTractionTime()));
        ASSERT_EQ(Reports(), Strings{expected}) << "frame " << frame;
        if (gears.empty() || gears.back() != box->GetCurrentGear()) gears.push_back(box->GetCurrentGear());
    }
    EXPECT_GE(gears.size(), 3u) << "the box never shifted twice";
    Run("DeleteLevel()");
    Reports().clear();
    race.kernel.RunPass();
    EXPECT_EQ(Reports(), Strings{"0|0|0|0"});
}

TEST_F(RacerState, CrashShowsForFiveSeconds) {
    CPLevel* level = LoadRace(1);
    ASSERT_NE(level, nullptr);
    CPCar* car = level->player->GetCar();
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(Run("Report(IsPlayerCrashed())"), Strings{"false"});
    car->SetCrashed(true);
    EXPECT_EQ(Run("Report(IsPlayerCrashed())"), Strings{"true"});
    RbSimulator* world = race.physics->GetSimulator();
    ASSERT_NE(world, nullptr);
    while (car->GetCrashTimer() < 4.9f) world->Advance(1.0f / 60.0f, 1, nullptr);
    EXPECT_EQ(Run("Report(IsPlayerCrashed())"), Strings{"true"});
    while (car->GetCrashTimer() < 5.0f) world->Advance(1.0f / 60.0f, 1, nullptr);
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_EQ(Run("Report(IsPlayerCrashed())"), Strings{"false"});
}

TEST_F(RacerState, RacerFieldsThroughScripts) {
    CPLevel* level = LoadRace(2);
    ASSERT_NE(level, nullptr);
    CPPlayer& human = *level->player;
    CPPlayer& opponent = *level->opponents[0];
    race.store->abilityCount = 3;
    human.superNitroTime = 7.5f;
    human.superNitroCharge = 0.25f;
    human.respawnCount = 2;
    human.damage = 40.0f;
    opponent.gloom = true;
    EXPECT_EQ(
        RunWithGlobals("SetAbilitiesCount(2.9) SetAbilitiesCountAI(r1, 5) SetTimeBonus(r1)\n"
                       "Report(ActivateAbilities())\n"
                       "Report(ActivateAbilitiesAI(r1), IsInGloom(r1), IsInGloom(human), IsInGloom(scenery))\n"
                       "Report(GetSuperNitroTime(), GetSuperNitroTime2(), GetRespawnCounts(), GetPlayerDamage(),\n"
                       "       IsDead(), GetPlayerSlide())"),
        (Strings{"2|3", "5|true|false|false", "7.5|0.25|2|40|false|1"}));
    EXPECT_EQ(human.abilitiesCount, 2);
    EXPECT_EQ(opponent.bonusTimer, 4.0f);
    human.dead = true;
    EXPECT_EQ(Run("Report(IsDead())"), Strings{"true"});

    // A racer argument that is not a racer gets nothing back.
    EXPECT_EQ(RunWithGlobals("Report(select('#', ActivateAbilitiesAI(scenery)), select('#', GetPlayerSpeedAI()),\n"
                             "       select('#', ActivateAbilitiesAI(nil)))"),
              Strings{"0|0|0"});
    CPCar* car = opponent.GetCar();
    ASSERT_NE(car, nullptr);
    car->SetSpeedForTest(12.5f, 0.0f);
    EXPECT_EQ(RunWithGlobals("Report(GetPlayerSpeedAI(r1))"), Strings{"12.5"});
}

TEST_F(RacerState, RespawnUseFollowsTheTrackingSwitch) {
    CPLevel* level = LoadRace(1);
    ASSERT_NE(level, nullptr);
    race.store->respawnUsed = false;
    level->player->usedRespawn = false;
    EXPECT_EQ(Run("Report(IfPlayerUsedSpawn())"), Strings{"true"});
    race.store->respawnUsed = true;
    EXPECT_EQ(Run("Report(IfPlayerUsedSpawn())"), Strings{"false"});
    level->player->usedRespawn = true;
    EXPECT_EQ(Run("Report(IfPlayerUsedSpawn())"), Strings{"true"});
    Run("DeleteLevel()");
    EXPECT_EQ(Run("Report(IfPlayerUsedSpawn())"), Strings{"false"});
}

// An interface made from layout text, with the element the committed engine names.
struct EngineInterface : CPInterface {
    void Load(const std::string& text) { LoadLayoutText(text.data(), static_cast<int>(text.size()), 0); }
};

TEST_F(RacerState, EngineStateShowsTheCommittedEngine) {
    CPSmartPtr<EngineInterface> ui(new EngineInterface());
    ui->Load("no_script\nui.tga,256,256\nlight,off\nwindow\nengine2 1,1,8,8\nwindow\nengine3 9,1,8,8\n"
             "window\ncursor 0,0,8,8\n");
    CPWindow* engine = ui->FindElement("engine2");
    ASSERT_NE(engine, nullptr);
    Global("ui", ui.Get());
    Global("scenery", scenery.Get());
    race.store->realCar.engine = "engine2";
    RunWithGlobals("EngineState(ui, false)");
    EXPECT_FALSE(engine->IsVisible());
    RunWithGlobals("EngineState(ui, true)");
    EXPECT_TRUE(engine->IsVisible());
    race.store->realCar.engine = "";
    RunWithGlobals("EngineState(ui, false) EngineState(nil, false) EngineState(scenery, false)");
    EXPECT_TRUE(engine->IsVisible());
    race.store->realCar.engine = "missing";
    RunWithGlobals("EngineState(ui, false)");
    EXPECT_TRUE(ui->FindElement("engine3")->IsVisible());
}

} // namespace
} // namespace racecontrol
