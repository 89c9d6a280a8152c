// The racers a level load places follow their physics bodies: each is in the physics' active set
// with its rigid body, so the pose the body takes is copied back onto the racer every frame.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Physics/RbBody.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/RaceFixture.h"

namespace {

TEST(LoadedRacers, FollowTheirBodies) {
    kxtest::RaceFixture race;
    race.store->levelSettings.racerCount = 3;
    kxtest::RacingLevelSpec spec;
    spec.startPlaces = 3;
    ASSERT_TRUE(race.Load(kxtest::RaceFixture::RacingLevel(spec), "level1"));
    CPLevel& level = *race.level;
    ASSERT_TRUE(level.humanRacer);
    ASSERT_EQ(level.opponents.size(), 2u);

    std::vector<CPPlayer*> racers = {level.humanRacer.Get()};
    for (const CPSmartPtr<CPPlayer>& opponent : level.opponents) racers.push_back(opponent.Get());
    float x = 10.0f;
    for (CPPlayer* racer : racers) {
        SCOPED_TRACE(racer->name);
        EXPECT_EQ(race.physics->GetActiveObjects().count(racer), 1u);
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        ASSERT_NE(data, nullptr);
        ASSERT_NE(data->GetRigidBody(), nullptr);
        data->GetRigidBody()->SetPosition(RbVec(x, 20.0f, 3.0f));
        x += 10.0f;
    }
    race.physics->SyncObjects();
    x = 10.0f;
    for (CPPlayer* racer : racers) {
        SCOPED_TRACE(racer->name);
        EXPECT_FLOAT_EQ(racer->GetPosition().x, x);
        EXPECT_FLOAT_EQ(racer->GetPosition().y, 20.0f);
        EXPECT_FLOAT_EQ(racer->GetPosition().z, 3.0f);
        x += 10.0f;
    }
}

TEST(LoadedRacers, EveryLoadedRacerFollowsItsBody) {
    kxtest::RaceFixture race;
    race.store->levelSettings.racerCount = 3;
    kxtest::RacingLevelSpec spec;
    spec.startPlaces = 3;
    ASSERT_TRUE(race.Load(kxtest::RaceFixture::RacingLevel(spec))) << race.level->GetLoadError();
    ASSERT_TRUE(race.level->humanRacer);
    ASSERT_EQ(race.level->opponents.size(), 2u);
    std::vector<CPPlayer*> racers = {race.level->humanRacer.Get()};
    for (const CPSmartPtr<CPPlayer>& opponent : race.level->opponents) racers.push_back(opponent.Get());

    for (CPPlayer* racer : racers) {
        EXPECT_EQ(race.physics->GetActiveObjects().count(racer), 1u) << racer->GetName();
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        ASSERT_TRUE(data && data->GetRigidBody()) << racer->GetName();
    }
    // The racers stand 2 units above their places and settle onto the road: their poses follow.
    const float oldDelta = g_deltaTime;
    g_deltaTime = 1.0f / 60.0f;
    for (int i = 0; i < 30; ++i) race.physics->Update();
    g_deltaTime = oldDelta;
    for (CPPlayer* racer : racers) {
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        const RbMatrix body = data->GetRigidBody()->GetTransform();
        EXPECT_LT(body.m[3][2], 2.0f) << racer->GetName();
        EXPECT_EQ(racer->GetPosition().x, body.m[3][0]) << racer->GetName();
        EXPECT_EQ(racer->GetPosition().y, body.m[3][1]) << racer->GetName();
        EXPECT_EQ(racer->GetPosition().z, body.m[3][2]) << racer->GetName();
    }
}

} // namespace
