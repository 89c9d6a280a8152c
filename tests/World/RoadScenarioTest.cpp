// Bodies on generated roads through the physics task at 60 frames a second: they come to rest
// on the surface, never end below it or beyond a wall, and the same run gives the same poses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "WorldTestSupport.h"

namespace {

using kxtest::MakeRoadObject;
using kxtest::RoadMesh;
using kxtest::RoadObject;
using kxtest::WorldTest;
using RoadScenarioTest = WorldTest;

constexpr float kFrame = 1.0f / 60.0f;

bool Finite(const RbVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

TEST_F(RoadScenarioTest, GeneratedRoadsHaveExactHeightsAndWalls) {
    const RoadMesh flat = kxtest::MakeFlatRoad(20, 40, 4, 8, 1.25f);
    float z = 0.0f;
    ASSERT_TRUE(flat.SurfaceHeight(3.3f, 17.0f, z));
    EXPECT_EQ(z, 1.25f);
    EXPECT_FALSE(flat.SurfaceHeight(-1.0f, 17.0f, z));

    const RoadMesh ramp = kxtest::MakeRampRoad(10, 20, 10, 5, 15, 40);
    ASSERT_TRUE(ramp.SurfaceHeight(5, 25, z));
    EXPECT_NEAR(z, 2.5f, 1e-5f);
    EXPECT_FALSE(ramp.SurfaceHeight(5, 37, z)) << "the gap has no road";
    ASSERT_TRUE(ramp.SurfaceHeight(5, 60, z));
    EXPECT_EQ(z, 0.0f);

    const float bank = 0.2f;
    const RoadMesh turn = kxtest::MakeBankedTurn(30, 12, bank, 1.5707964f, 24, 4);
    ASSERT_TRUE(turn.SurfaceHeight(36, 0.0f, z));
    EXPECT_NEAR(z, 6.0f * std::tan(bank), 1e-4f);

    const RoadMesh loop = kxtest::MakeWalledLoop(200, 16, 3, 1000, 8);
    EXPECT_EQ(loop.TriangleCount(), 20000);
    EXPECT_LT(loop.VertexCount(), 65536);
    EXPECT_EQ(loop.walls.size(), 2000u);
    ASSERT_TRUE(loop.SurfaceHeight(200, 0.5f, z));
    EXPECT_EQ(z, 0.0f);
    const kxtest::RoadWall* wall = loop.NearestWall(205, 1.0f);
    ASSERT_NE(wall, nullptr);
    EXPECT_GT(wall->SignedDistance(205, 1.0f), 0.0f) << "the road side is positive";
    EXPECT_LT(wall->SignedDistance(215, 1.0f), 0.0f);
}

TEST_F(RoadScenarioTest, BoxesSettleOnTheLoopAndStayBetweenTheWalls) {
    const RoadMesh loop = kxtest::MakeWalledLoop(60, 16, 10, 240, 4);
    RoadObject road = MakeRoadObject(loop);
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    std::vector<CPSmartPtr<CPGameObject>> boxes;
    for (int i = 0; i < 8; ++i) {
        const float angle = 0.7f * static_cast<float>(i);
        boxes.push_back(MakeBody("box", 2, 4, 1.5f, 1000,
                                 D3DXVECTOR3(60 * std::cos(angle), 60 * std::sin(angle), 1.0f + 0.25f * i)));
        Data(boxes.back())->AddToWorld(0);
        physics->ActivateObject(boxes.back());
        // Sideways toward the outer wall at 15 units/s.
        Data(boxes.back())->GetRigidBody()->SetVelocity(RbVec(15 * std::cos(angle), 15 * std::sin(angle), 0));
    }
    for (int frame = 0; frame < 600; ++frame) {
        g_deltaTime = kFrame;
        physics->Update();
        for (const auto& box : boxes) {
            const RbVector p = Data(box)->GetRigidBody()->GetPosition();
            ASSERT_TRUE(Finite(p)) << frame;
            float surface = 0.0f;
            ASSERT_TRUE(loop.SurfaceHeight(p.x, p.y, surface))
                << "off the road at frame " << frame << ": " << p.x << ", " << p.y << ", " << p.z << " r "
                << std::sqrt(p.x * p.x + p.y * p.y);
            // The centre of a box lying on any face is at least half its thinnest size up.
            EXPECT_GT(p.z, surface + 0.5f) << frame;
            const kxtest::RoadWall* wall = loop.NearestWall(p.x, p.y);
            ASSERT_NE(wall, nullptr);
            EXPECT_GT(wall->SignedDistance(p.x, p.y), 0.0f) << "beyond a wall at frame " << frame;
        }
    }
    g_deltaTime = 0.0f;
    for (const auto& box : boxes) {
        const RbVector v = Data(box)->GetRigidBody()->GetVelocity();
        EXPECT_LT(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 1.0f) << "at rest after ten seconds";
        EXPECT_EQ(box->GetPosition().z, Data(box)->GetRigidBody()->GetPosition().z);
    }
}

TEST_F(RoadScenarioTest, FastLandingsStayAboveTheRoad) {
    const RoadMesh ramp = kxtest::MakeRampRoad(12, 20, 12, 4, 10, 60);
    RoadObject road = MakeRoadObject(ramp);
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    struct Case {
        float y, down, forward;
    };
    // Onto the landing, the ramp and the run-up, from 20 to 40 units/s downward.
    const Case cases[] = {{60, 20, 10}, {70, 30, 0}, {26, 25, 5}, {8, 40, 0}};
    std::vector<CPSmartPtr<CPGameObject>> boxes;
    float x = 2.0f;
    for (const Case& c : cases) {
        boxes.push_back(MakeBody("box", 2, 4, 1.5f, 1000, D3DXVECTOR3(x, c.y, 8)));
        x += 3.0f;
        Data(boxes.back())->AddToWorld(0);
        physics->ActivateObject(boxes.back());
        Data(boxes.back())->GetRigidBody()->SetVelocity(RbVec(0, c.forward, -c.down));
    }
    for (int frame = 0; frame < 180; ++frame) {
        Frame(kFrame);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const RbVector p = Data(boxes[i])->GetRigidBody()->GetPosition();
            ASSERT_TRUE(Finite(p)) << frame;
            float surface = 0.0f;
            if (ramp.SurfaceHeight(p.x, p.y, surface)) {
                EXPECT_GT(p.z, surface + 0.5f) << "box " << i << " frame " << frame;
            }
        }
    }
}

// Poses of boxes dropped and pushed across a ramp and a banked turn.
std::vector<float> RunBoxes(CPPhysics& physics, const RoadMesh& mesh, int frames) {
    RoadObject road = MakeRoadObject(mesh);
    EXPECT_TRUE(physics.BuildTerrainGrid(road.mesh));
    EXPECT_TRUE(physics.CreateWorld());
    std::vector<CPSmartPtr<CPGameObject>> boxes;
    for (int i = 0; i < 4; ++i) {
        CPSmartPtr<CPGameObject> object(new CPGameObject("box"));
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
        data->SetShape(2, 4, 1.5f, 800);
        data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 4, 2, 1.5f, 800);
        object->SetPhysicData(CPSmartPtr<IPPhysicData>(data));
        object->SetPosition(D3DXVECTOR3(2.0f + 2.0f * i, 5.0f, 1.5f + i));
        data->AddToWorld(0);
        physics.ActivateObject(object);
        data->GetRigidBody()->SetVelocity(RbVec(0, 20, 0));
        boxes.push_back(object);
    }
    for (int frame = 0; frame < frames; ++frame) {
        g_deltaTime = kFrame;
        physics.Update();
    }
    g_deltaTime = 0.0f;
    std::vector<float> poses;
    for (const auto& box : boxes) {
        const RbMatrix t = dynamic_cast<CPPhysicData*>(box->GetPhysicData().Get())->GetRigidBody()->GetTransform();
        for (const auto& row : t.m)
            for (float v : row) poses.push_back(v);
    }
    physics.DestroyWorld();
    return poses;
}

TEST_F(RoadScenarioTest, TheSameRunTwiceGivesTheSamePoses) {
    const RoadMesh ramp = kxtest::MakeRampRoad(12, 20, 12, 4, 10, 60);
    const std::vector<float> first = RunBoxes(*physics, ramp, 240);
    const std::vector<float> second = RunBoxes(*physics, ramp, 240);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    for (float v : first) EXPECT_TRUE(std::isfinite(v));
}

} // namespace
