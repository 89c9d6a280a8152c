// The racers the level load places drive: each has its body in the physics world and is among
// the active objects whose poses follow their bodies, so a racer moves as its body moves.

#include <gtest/gtest.h>

#include <string>

#include "Framework/PGlobalTimer.h"
#include "Physics/RbBody.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/RaceFixture.h"

namespace {

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
