// The nitro meter: checkpoint charges scaled by the level's gain, the boost look at exactly 100
// with the owner's super nitro, the human's wait for its first nitro achievement, and the normal
// flames back once the super nitro has run out.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "GameData/PGameData.h"
#include "Render/PRenderObject.h"
#include "World/Car/CarWorldFixture.h"
#include "World/PCar.h"
#include "World/PLevel.h"

namespace {

using kxcar::CarWorld;
using kxcar::TestEmitter;

// A flame object with a mesh and one emitter, as the car finds its exhaust and front fires.
CPSmartPtr<CPGameObject> Flame(const char* name) {
    CPSmartPtr<CPGameObject> fire(new CPGameObject(name));
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(fire.Get()));
    mesh->AddVertexEffect(new TestEmitter);
    fire->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    return fire;
}

struct Nitro : CarWorld {
    Nitro() { level = std::make_unique<CPLevel>(); }
    ~Nitro() override {
        for (CPSmartPtr<CPPlayer>& racer : racers) racer->SetCar(nullptr);
        level.reset();
    }

    // A racer whose car has both flame pairs and the front fire; the normal pair running.
    CPCar* FlamedCar(bool human) {
        CPSmartPtr<CPPlayer> racer = MakeRacerBody("");
        for (const char* name : {"fire_a", "fire_b", "fire_aa", "fire_bb", "fire_front", "glare_front"})
            racer->AddChild(Flame(name));
        CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
        racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
        car->Init(physics.GetSimulator(), human);
        car->GetFlameEmitter(0)->Start();
        car->GetFlameEmitter(1)->Start();
        return car.Get();
    }
    static CPPlayer& Owner(CPCar* car) { return *static_cast<CPPlayer*>(car->GetOwner()); }
    static bool Running(CPVertexEffect* e) { return e && e->IsPlaying(); }

    // The boost pair shown and running, the normal pair hidden and stopped.
    static void ExpectBoostLook(CPCar* car) {
        EXPECT_EQ(car->GetCurrentFlame(0), car->GetFlameObject(2));
        EXPECT_EQ(car->GetCurrentFlame(1), car->GetFlameObject(3));
        EXPECT_EQ(car->GetCurrentEmitter(0), car->GetFlameEmitter(2));
        EXPECT_EQ(car->GetCurrentEmitter(1), car->GetFlameEmitter(3));
        EXPECT_FALSE(car->GetFlameObject(0)->IsVisible());
        EXPECT_FALSE(car->GetFlameObject(1)->IsVisible());
        EXPECT_TRUE(car->GetFlameObject(2)->IsVisible());
        EXPECT_TRUE(car->GetFlameObject(3)->IsVisible());
        EXPECT_FALSE(Running(car->GetFlameEmitter(0)));
        EXPECT_FALSE(Running(car->GetFlameEmitter(1)));
        EXPECT_TRUE(Running(car->GetFlameEmitter(2)));
        EXPECT_TRUE(Running(car->GetFlameEmitter(3)));
    }
    static void ExpectNormalLook(CPCar* car) {
        EXPECT_EQ(car->GetCurrentFlame(0), car->GetFlameObject(0));
        EXPECT_EQ(car->GetCurrentEmitter(1), car->GetFlameEmitter(1));
        EXPECT_TRUE(car->GetFlameObject(0)->IsVisible());
        EXPECT_TRUE(car->GetFlameObject(1)->IsVisible());
        EXPECT_FALSE(car->GetFlameObject(2)->IsVisible());
        EXPECT_FALSE(car->GetFlameObject(3)->IsVisible());
        EXPECT_FALSE(Running(car->GetFlameEmitter(2)));
        EXPECT_FALSE(Running(car->GetFlameEmitter(3)));
    }

    std::unique_ptr<CPLevel> level;
};

TEST_F(Nitro, SeventyAndSixtyFillTheMeterExactlyAndSwitchToTheBoost) {
    CPCar* car = FlamedCar(false);
    car->SetNitroMeter(70.0f);
    car->AddNitro(60.0f);
    EXPECT_EQ(car->GetNitroMeter(), 100.0f);
    EXPECT_EQ(Owner(car).superNitroTime, 10.0f);
    ExpectBoostLook(car);
    EXPECT_FALSE(level->nitroCharged) << "only the human's meter marks the checkpoint marker";

    // A full meter charged again switches again: the super nitro starts over.
    Owner(car).superNitroTime = 3.0f;
    car->AddNitro(60.0f);
    EXPECT_EQ(car->GetNitroMeter(), 100.0f);
    EXPECT_EQ(Owner(car).superNitroTime, 10.0f);
    ExpectBoostLook(car);
}

TEST_F(Nitro, TheGainScalesEveryChargeAndAMeterJustShortNeverSwitches) {
    struct Case {
        float meter, amount, gain, expected;
        bool boost;
    };
    const Case cases[] = {
        {70.0f, 60.0f, 1.0f, 100.0f, true}, {0.0f, 60.0f, 0.5f, 30.0f, false},  {40.0f, 60.0f, 0.99f, 99.4f, false},
        {99.0f, 0.5f, 1.0f, 99.5f, false},  {50.0f, 60.0f, 2.0f, 100.0f, true}, {10.0f, 60.0f, 0.0f, 10.0f, false},
    };
    for (const Case& c : cases) {
        gameData->levelSettings.nitroGainFactor = c.gain;
        CPCar* car = FlamedCar(false);
        car->SetNitroMeter(c.meter);
        car->AddNitro(c.amount);
        EXPECT_NEAR(car->GetNitroMeter(), c.expected, 1e-4f) << c.meter << " " << c.gain;
        EXPECT_EQ(Owner(car).superNitroTime > 0.0f, c.boost) << c.meter << " " << c.gain;
        if (c.boost)
            ExpectBoostLook(car);
        else
            ExpectNormalLook(car);
    }
    // Charged below the cap again and again, a meter short of 100 by a hair stays normal.
    gameData->levelSettings.nitroGainFactor = 1.0f;
    CPCar* car = FlamedCar(false);
    car->SetNitroMeter(99.9f);
    for (int i = 0; i < 5; ++i) {
        car->AddNitro(0.0f);
        EXPECT_EQ(Owner(car).superNitroTime, 0.0f);
    }
    ExpectNormalLook(car);
}

TEST_F(Nitro, TheHumansFirstBoostWaitsForItsAchievement) {
    CPCar* car = FlamedCar(true);
    car->SetNitroMeter(70.0f);
    car->AddNitro(60.0f);
    EXPECT_EQ(car->GetNitroMeter(), 100.0f);
    EXPECT_FALSE(level->nitroCharged);
    EXPECT_EQ(Owner(car).superNitroTime, 0.0f);
    ExpectNormalLook(car);

    gameData->AddGotAchievement("nitro_1st");
    car->AddNitro(60.0f);
    EXPECT_TRUE(level->nitroCharged);
    EXPECT_EQ(Owner(car).superNitroTime, 10.0f);
    ExpectBoostLook(car);

    // Once the boost was taken with a reserve, the achievement no longer matters.
    CPCar* engaged = FlamedCar(true);
    engaged->SetNitroMeter(50.0f);
    engaged->SetNitro(1.0f);
    ASSERT_TRUE(engaged->IsBoostEngaged());
    gameData->gotAchievements.clear();
    ASSERT_FALSE(gameData->HasGotAchievement("nitro_1st"));
    level->nitroCharged = false;
    engaged->AddNitro(60.0f);
    EXPECT_TRUE(level->nitroCharged);
    EXPECT_EQ(Owner(engaged).superNitroTime, 10.0f);
}

TEST_F(Nitro, TheSwitchReportsARunningNitroAndKeepsTimingWithAReserve) {
    gameData->AddGotAchievement("nitro_1st");
    CPCar* car = FlamedCar(true);
    car->SetNitroMeter(50.0f);
    car->SetNitro(1.0f);
    ASSERT_EQ(car->GetNitroTimer(), 0.0f);
    router.sent.clear();
    car->AddNitro(60.0f);
    // The normal pair's timing is reported, and a new one starts for the boost.
    ASSERT_EQ(router.sent.size(), 1u);
    EXPECT_EQ(router.sent[0].command, "achievement_status");
    EXPECT_EQ(router.sent[0].params.rfind("nitro,0,", 0), 0u) << router.sent[0].params;
    EXPECT_EQ(car->GetNitroTimer(), 0.0f);
    EXPECT_TRUE(car->IsBoostEngaged());
}

TEST_F(Nitro, TheNextChargeAfterTheSuperNitroPutsTheNormalFlamesBack) {
    CPCar* car = FlamedCar(false);
    car->SetNitroMeter(70.0f);
    car->AddNitro(60.0f);
    ExpectBoostLook(car);
    car->GetFrontEmitter()->Start();
    car->GetFrontObject(1)->SetVisible(true);
    car->SetFrontEffect(true);
    car->SetNitroMeter(10.0f);

    // Still boosting: the charge leaves the look alone.
    Owner(car).superNitroTime = 0.5f;
    car->AddNitro(5.0f);
    ExpectBoostLook(car);

    Owner(car).superNitroTime = 0.0f;
    car->AddNitro(5.0f);
    ExpectNormalLook(car);
    // The running boost emitters handed over to the normal ones.
    EXPECT_TRUE(Running(car->GetFlameEmitter(0)));
    EXPECT_TRUE(Running(car->GetFlameEmitter(1)));
    EXPECT_FALSE(Running(car->GetFrontEmitter()));
    EXPECT_FALSE(car->GetFrontObject(1)->IsVisible());
    EXPECT_FALSE(car->GetFrontEffect());
}

TEST_F(Nitro, ACarWithoutFlamesOnlyChargesAndTimes) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", false);
    CPCar* car = racer->GetCar();
    car->SetNitroMeter(70.0f);
    car->AddNitro(60.0f);
    EXPECT_EQ(car->GetNitroMeter(), 100.0f);
    EXPECT_EQ(racer->superNitroTime, 10.0f);
    racer->superNitroTime = -1.0f;
    car->AddNitro(1.0f);
    EXPECT_EQ(car->GetCurrentFlame(0), nullptr);
    racer->SetCar(nullptr);
}

TEST(Throttle, AReleasedPedalCountsAsForward) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    for (const auto& [throttle, forward] :
         {std::pair{1.0f, true}, std::pair{0.0f, true}, std::pair{-0.0f, true}, std::pair{-0.25f, false}}) {
        racer->throttle = throttle;
        EXPECT_EQ(racer->IsThrottleForward(), forward) << throttle;
    }
}

} // namespace
