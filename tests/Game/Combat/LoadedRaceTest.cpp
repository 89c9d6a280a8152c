// The combat functions and the camera switch on a race as the level load sets it up: the racers
// stand on the level's start places with their cars and bodies, the human's camera settings come
// from its car description, and the scripts run as tasks of the kernel.

#include <string>
#include <vector>

#include "Game/Combat/CombatFixture.h"
#include "GameData/PGameData.h"
#include "Physics/RbBody.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PRaceCamera.h"

namespace {

using kxcombat::Reports;
using kxcombat::ScriptWorld;
using kxcombat::Strings;

class LoadedRace : public ScriptWorld {
protected:
    void SetUp() override {
        race.store->levelSettings.racerCount = 4;
        race.carDescription = "<camera distance='9' height='3' angle='0.125' angle_div='4' distance_div='5' fov='60'/>"
                              "<camera2 distance='6' height='1.5' angle='0.25' angle_div='7' distance_div='8' "
                              "fov='75'/>";
        kxtest::RacingLevelSpec layout;
        layout.startPlaces = 4;
        ASSERT_TRUE(race.Load(kxtest::RaceFixture::RacingLevel(layout))) << race.level->GetLoadError();
        ASSERT_EQ(race.level->opponents.size(), 3u);
        ASSERT_TRUE(race.level->humanRacer);
        ASSERT_EQ(race.level->player, race.level->humanRacer.Get());
        const char* const names[] = {"racer1", "racer2", "racer3"};
        for (std::size_t i = 0; i < 3; ++i) Global(names[i], race.level->opponents[i].Get());
        Global("human", race.level->humanRacer.Get());
    }
};

TEST_F(LoadedRace, DamageAndDeathReachTheLoadedOpponents) {
    race.store->coefficients[1] = 1.0f;
    for (const CPSmartPtr<CPPlayer>& racer : race.level->opponents) racer->health = 50.0f;
    EXPECT_EQ(Run(Globals() + "Report(GetEnemiesCount())\n"
                              "Report(DamagePlayer(racer1, 20), DamagePlayer(racer1, 30), DamagePlayer(racer1, 1))\n"
                              "Report(DamagePlayer(racer2, 10))\n"
                              "KillPlayer(racer3)\n"),
              (Strings{"3", "true|true|false", "true"}));
    EXPECT_EQ(race.level->opponents[0]->health, 0.0f);
    EXPECT_EQ(race.level->opponents[1]->health, 40.0f);
    EXPECT_FALSE(race.level->opponents[2]->IsVisible());
    EXPECT_FALSE(race.level->opponents[2]->IsCollision());
    EXPECT_TRUE(race.level->opponents[1]->IsVisible());
}

TEST_F(LoadedRace, TheAttacksWreckTheLoadedHumansCar) {
    CPCar* car = race.level->humanRacer->GetCar();
    ASSERT_NE(car, nullptr) << "the load gives the human its car";
    ASSERT_NE(car->GetRigidBody(), nullptr);
    Run("Attack1()\n");
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_EQ(car->GetRigidBody()->GetAngularMomentum().z, 100.0f);
    car->SetCrashed(false);
    Run("Attack2()\n");
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_TRUE(race.level->humanRacer->knockedOut);
    EXPECT_EQ(car->GetRigidBody()->GetAngularMomentum().y, 200.0f);
}

// Nothing in the race gives a racer mines, so the mine trigger never holds for a loaded one.
TEST_F(LoadedRace, TheMineTriggerNeverHoldsForALoadedRacer) {
    Run(Globals() + "SetMineShot(human, true) SetMineShot(racer1, true)\n");
    EXPECT_FALSE(race.level->humanRacer->mineShot);
    EXPECT_FALSE(race.level->opponents[0]->mineShot);
    EXPECT_FALSE(race.level->humanRacer->hasMines);
}

TEST_F(LoadedRace, TheSmartBombFallsWhereTheLoadedHumanStands) {
    race.store->realCar.superWeaponCount = 1;
    const D3DXVECTOR3 at = race.level->humanRacer->GetPosition();
    Run("SmartBomb()\n");
    ASSERT_EQ(shots->GetActiveShots().size(), 1u);
    const CPSmartPtr<CPShot>& bomb = shots->GetActiveShots().front();
    EXPECT_EQ(bomb->GetShotName(), "super");
    EXPECT_EQ(bomb->GetPosition(), at);
}

TEST_F(LoadedRace, TheNearestRacerIsOneOfTheLoadedOnes) {
    const int light = 1;
    for (const CPSmartPtr<CPPlayer>& racer : race.level->opponents) racer->SetFlags(light);
    const CPPlayer& second = *race.level->opponents[1];
    const D3DXVECTOR3 p = second.GetPosition();
    const std::string where = std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z);
    const Strings got = Run("x, y, z = GetNearestSolvanePlayer(" + where + ")\nReport(x, y, z)\n");
    ASSERT_EQ(got.size(), 1u);
    char text[128];
    std::snprintf(text, sizeof text, "%.14g|%.14g|%.14g", p.x, p.y, p.z);
    EXPECT_EQ(got[0], text);
}

// The camera switch on the loaded race: each mode's setting as the human's car description gave
// it, the external view in mode 2, and the player the loaded human.
TEST_F(LoadedRace, TheCameraSwitchTakesTheSettingsOfTheHumansCar) {
    CPLevel& level = *race.level;
    EXPECT_EQ(level.camera1Distance, 9.0f);
    EXPECT_EQ(level.camera2Distance, 6.0f);
    EXPECT_EQ(level.cameraMode, 0);
    level.player = nullptr;
    EXPECT_EQ(Run("Report(ChangeGameCamera(), GetCameraPlayer())\n"), (Strings{"1|1"}));
    EXPECT_EQ(level.player, level.humanRacer.Get());
    EXPECT_EQ(level.cameraDistance, 6.0f);
    EXPECT_EQ(level.cameraHeight, 1.5f);
    EXPECT_EQ(level.cameraAngleDiv, 7.0f);
    EXPECT_FALSE(level.camera->IsExternalView());
    EXPECT_EQ(Run("Report(ChangeGameCamera())\n"), (Strings{"2"}));
    EXPECT_EQ(level.cameraDistance, 9.0f);
    EXPECT_EQ(level.cameraHeight, 3.0f);
    EXPECT_TRUE(level.camera->IsExternalView());
    EXPECT_EQ(Run("Report(ChangeGameCamera())\n"), (Strings{"0"}));
    EXPECT_EQ(level.cameraDistance, 9.0f);
    EXPECT_EQ(level.cameraDistanceDiv, 5.0f);
    EXPECT_FALSE(level.camera->IsExternalView());
    EXPECT_EQ(level.camera->targetYaw, CPLevel::HeadingOf(level.humanRacer.Get()));
    Run("SetCameraPlayer(true)\n");
    EXPECT_EQ(level.cameraMode, 1);
    EXPECT_EQ(level.cameraDistance, 6.0f);
}

} // namespace
