// Putting a racer back on the route: when it happens, where it lands, which way it faces and
// what the human's respawn costs and tells.

#include <gtest/gtest.h>

#include <cmath>

#include "RingFixture.h"

namespace {

using namespace kxring;

struct Respawn : RingWorld {
    // A racer object without a body at the point.
    CPSmartPtr<CPPlayer> Bare(const D3DXVECTOR3& at) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        racer->SetPosition(at);
        racer->health = 100.0f;
        return racer;
    }
    // A racer standing on the road (its terrain query has found triangles under it).
    CPSmartPtr<CPPlayer> Standing(int piece) {
        CPSmartPtr<CPPlayer> racer = RacerOn(piece);
        racer->health = 100.0f;
        Step(30);
        physics.SyncObjects();
        return racer;
    }
    static float FlatDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
        return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
    }
    int Count(const std::string& target, const std::string& command, const std::string& params) const {
        int n = 0;
        for (const auto& c : router.sent) n += c.target == target && c.command == command && c.params == params;
        return n;
    }
};

TEST_F(Respawn, AForcedRespawnLandsOnTheFirstFreeSpot) {
    CPSmartPtr<CPPlayer> racer = Standing(10);
    ASSERT_GT(dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get())->GetCandidateCount(), 0);
    // Standing still on the road: nothing without force.
    racer->Respawn(false);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 0.0f);
    level.elapsedTime = 5.0f;
    racer->Respawn(true);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 1.0f);
    EXPECT_FLOAT_EQ(level.elapsedTime, 0.0f);
    // The end of the piece it stood on, three units above the piece's highest point.
    CPLine* piece = Piece(10);
    const float top = std::max({piece->start.z, piece->centre.z, piece->end.z});
    EXPECT_LT(FlatDistance(racer->GetPosition(), piece->end), 1e-3f);
    EXPECT_NEAR(racer->GetPosition().z, top + 3.0f, 1e-4f);
    // The body went along, stopped.
    RbRigidBody* body = racer->GetCar()->GetRigidBody();
    EXPECT_NEAR(body->GetPosition().x, racer->GetPosition().x, 1e-4f);
    EXPECT_NEAR(body->GetVelocity().x, 0.0f, 1e-6f);
}

TEST_F(Respawn, ForcedButRefused) {
    struct Case {
        const char* what;
        void (*set)(CPPlayer&);
    };
    const Case cases[] = {
        {"locked", [](CPPlayer& r) { r.locked = true; }},
        {"within a second of the last", [](CPPlayer& r) { r.respawnCooldown = 0.5f; }},
        {"health 0", [](CPPlayer& r) { r.health = 0.0f; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const D3DXVECTOR3 at = Piece(10)->centre + D3DXVECTOR3(20, 20, 0);
        CPSmartPtr<CPPlayer> racer = Bare(at);
        c.set(*racer);
        racer->Respawn(true);
        EXPECT_EQ(racer->GetPosition(), at);
    }
}

TEST_F(Respawn, ARacerOffTheRoadComesBack) {
    // No road under a racer: back on the route at once.
    CPSmartPtr<CPPlayer> racer = Bare(Piece(10)->centre + D3DXVECTOR3(0, 0, 50));
    racer->Respawn(false);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 1.0f);
}

TEST_F(Respawn, AStuckComputerRacerAfterTwoSeconds) {
    struct Case {
        float elapsed;
        bool respawned;
    };
    // Any racer's respawn less than 0.2 s before (the shared clock) holds it back.
    for (const Case& c : {Case{0.3f, true}, Case{0.1f, false}}) {
        SCOPED_TRACE(c.elapsed);
        racers.clear();
        CPSmartPtr<CPPlayer> racer = Standing(10);
        racer->lastPosition = racer->GetPosition() + D3DXVECTOR3(0.5f, 0, 0);
        racer->unlockedTime = 2.1f;
        level.elapsedTime = c.elapsed;
        racer->Respawn(false);
        EXPECT_EQ(racer->respawnCooldown > 0.0f, c.respawned);
        EXPECT_FLOAT_EQ(racer->unlockedTime, 0.0f);
    }
    // The human is never stuck.
    racers.clear();
    CPSmartPtr<CPPlayer> human = Standing(10);
    level.humanRacer = human;
    human->lastPosition = human->GetPosition();
    human->unlockedTime = 2.1f;
    level.elapsedTime = 1.0f;
    human->Respawn(false);
    EXPECT_FLOAT_EQ(human->respawnCooldown, 0.0f);
}

TEST_F(Respawn, TurnedOverForTwoSeconds) {
    CPSmartPtr<CPPlayer> racer = Standing(10);
    racer->upsideDownTime = 1.9f;
    racer->Respawn(false);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 0.0f);
    racer->upsideDownTime = 2.0f;
    racer->Respawn(false);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 1.0f);
    EXPECT_FLOAT_EQ(racer->upsideDownTime, 0.0f);
}

TEST_F(Respawn, AllNineSpotsTakenLeaveTheLastTried) {
    std::vector<D3DXVECTOR3> spots;
    CPLine* piece = Piece(10);
    for (int i = 0; i < 3; ++i, piece = piece->next)
        for (const D3DXVECTOR3& p : {piece->end, (piece->boxMin + piece->boxMax) * 0.5f, piece->start})
            spots.push_back(p);
    for (const D3DXVECTOR3& p : spots) level.opponents.push_back(Bare(p));
    CPSmartPtr<CPPlayer> racer = Bare(Piece(10)->centre + D3DXVECTOR3(0, 0, 50));
    racer->Respawn(true);
    EXPECT_LT(FlatDistance(racer->GetPosition(), spots.back()), 1e-3f);
    // Neighbouring spots lie 5.25 units apart: with the racers on the third piece's end and
    // centre gone, its end is the first free one (10.5 from the nearest other).
    level.opponents.erase(level.opponents.begin() + 6, level.opponents.begin() + 8);
    racer->SetPosition(Piece(10)->centre + D3DXVECTOR3(0, 0, 50));
    racer->respawnCooldown = 0.0f;
    racer->Respawn(true);
    EXPECT_LT(FlatDistance(racer->GetPosition(), spots[6]), 1e-3f);
    // A computer racer keeps clear of the human too; the human of nobody but the opponents.
    level.opponents.clear();
    level.humanRacer = Bare(spots[0]);
    racer->SetPosition(Piece(10)->centre + D3DXVECTOR3(0, 0, 50));
    racer->respawnCooldown = 0.0f;
    racer->Respawn(true);
    EXPECT_LT(FlatDistance(racer->GetPosition(), spots[2]), 1e-3f);
}

TEST_F(Respawn, TheRacerFacesAlongTheRoute) {
    CPSmartPtr<CPPlayer> racer = Bare(Piece(25)->centre + D3DXVECTOR3(0, 0, 50));
    racer->Respawn(true);
    float radius = 200.0f;
    CPLine* hint = nullptr;
    const float h = ring->FindClosestLine(racer->GetPosition(), radius, 0, hint, -1);
    D3DXQUATERNION expected;
    const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&expected, &z, h + 1.5707964f);
    const D3DXQUATERNION q = racer->GetRotationQuaternion();
    EXPECT_NEAR(std::fabs(q.x * expected.x + q.y * expected.y + q.z * expected.z + q.w * expected.w), 1.0f, 1e-5f);
    // Reversed levels face the other way.
    level.reversed = true;
    racer->respawnCooldown = 0.0f;
    racer->Respawn(true);
    const float hr = ring->FindClosestLine(racer->GetPosition(), radius, 0, hint, -1) + 3.14159265f;
    D3DXQuaternionRotationAxis(&expected, &z, hr + 1.5707964f);
    const D3DXQUATERNION r = racer->GetRotationQuaternion();
    EXPECT_NEAR(std::fabs(r.x * expected.x + r.y * expected.y + r.z * expected.z + r.w * expected.w), 1.0f, 1e-5f);
}

TEST_F(Respawn, TheHumansCheckpointRespawn) {
    CPSmartPtr<CPPlayer> human = Standing(10);
    human->isHuman = true;
    human->respawnCount = 3;
    level.humanRacer = human;
    level.player = human.Get();
    // Previous checkpoint at piece 20, next at piece 15: the racer on piece 10 has passed the
    // next one by more than 5 units.
    auto checkpointOn = [&](int index) {
        SPCheckpoint c;
        c.object = CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint"));
        c.object->SetPosition(Piece(index)->centre);
        return c;
    };
    level.checkpoints = {checkpointOn(20), checkpointOn(15)};
    level.nextCheckpoint = 1;
    human->Respawn(true);
    EXPECT_EQ(human->respawnCount, 2);
    EXPECT_EQ(Count("game_interface", "show_message", "respawnminus"), 1);
    // Near the next checkpoint's piece, not at the racer's.
    EXPECT_LT(FlatDistance(human->GetPosition(), Piece(15)->centre), 12.0f);
    EXPECT_TRUE(human->usedRespawn);
    EXPECT_TRUE(human->fadeOut);
    EXPECT_EQ(Count("new_achievement", "unlock", "win_wo_respawn"), 1);
    EXPECT_TRUE(gameData->respawnUsed);
    // The achievement is lost once; without respawns left the racer comes back where it is.
    human->respawnCooldown = 0.0f;
    human->respawnCount = 0;
    human->Respawn(true);
    EXPECT_EQ(Count("new_achievement", "unlock", "win_wo_respawn"), 1);
    EXPECT_EQ(Count("game_interface", "show_message", "respawnminus"), 1);
    // Without checkpoints there is no checkpoint respawn.
    level.checkpoints.clear();
    human->respawnCooldown = 0.0f;
    human->respawnCount = 3;
    human->Respawn(true);
    EXPECT_EQ(human->respawnCount, 3);
}

} // namespace
