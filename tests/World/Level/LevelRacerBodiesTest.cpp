// The racers the level load makes stand in the physics world's active set, so the physics task
// copies their cars' poses back to them: without it a car drives off while its racer, its mesh
// and everything that reads the racer's position stay on the grid.
#include <gtest/gtest.h>

#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Physics/RbBody.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/RaceFixture.h"

namespace {

using kxtest::RaceFixture;

TEST(LevelRacers, EveryLoadedRacerFollowsItsCarsBody) {
    RaceFixture race;
    race.store->levelSettings.racerCount = 3;
    kxtest::RacingLevelSpec spec;
    spec.startPlaces = 3;
    ASSERT_TRUE(race.Load(RaceFixture::RacingLevel(spec)));
    std::vector<CPPlayer*> racers{race.level->humanRacer.Get()};
    for (const CPSmartPtr<CPPlayer>& opponent : race.level->opponents) racers.push_back(opponent.Get());
    ASSERT_EQ(racers.size(), 3u);

    for (CPPlayer* racer : racers) {
        ASSERT_NE(racer, nullptr);
        EXPECT_EQ(race.physics->GetActiveObjects().count(racer), 1u) << racer->GetName();
        // The body is put elsewhere; one physics frame later the racer stands there too.
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        ASSERT_NE(data, nullptr);
        ASSERT_NE(data->GetRigidBody(), nullptr);
        const D3DXVECTOR3 before = racer->GetPosition();
        data->SetPosition(before + D3DXVECTOR3(5.0f, -3.0f, 1.0f));
    }
    g_deltaTime = 0.0f;
    race.physics->SyncObjects();
    for (CPPlayer* racer : racers) {
        const RbVector body = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get())->GetRigidBody()->GetPosition();
        EXPECT_FLOAT_EQ(racer->GetPosition().x, body.x) << racer->GetName();
        EXPECT_FLOAT_EQ(racer->GetPosition().y, body.y) << racer->GetName();
        EXPECT_FLOAT_EQ(racer->GetPosition().z, body.z) << racer->GetName();
    }
}

} // namespace
