// The physics task: the world it makes, the shapes it attaches, the fixed steps of a frame,
// parking and freeing removed bodies, and the pose copy onto active objects.
#include <gtest/gtest.h>

#include "Physics/RbWorld.h"
#include "World/PTerrainQuery.h"
#include "WorldTestSupport.h"

namespace {

using kxtest::WorldTest;
using PhysicsWorldTest = WorldTest;

TEST_F(PhysicsWorldTest, InstanceFollowsTheTask) {
    EXPECT_EQ(CPPhysics::GetInstance(), physics.Get());
    EXPECT_EQ(physics->GetClassName(), "CPPhysics");
    EXPECT_EQ(physics->GetKind(), 1);
    EXPECT_EQ(physics->GetPriority(), 5000);
}

TEST_F(PhysicsWorldTest, CreateWorldTables) {
    ASSERT_TRUE(physics->CreateWorld());
    RbSimulator* simulator = physics->GetSimulator();
    const RbSimulatorSizes& sizes = simulator->GetSizes();
    EXPECT_EQ(sizes.rigidBodiesCount, 500);
    EXPECT_EQ(sizes.animatedBodiesCount, 1000);
    EXPECT_EQ(sizes.rigidParticleCount, 500);
    EXPECT_EQ(sizes.controllersCount, 50);
    EXPECT_EQ(sizes.overlapPairsCount, 1500);
    EXPECT_EQ(sizes.geometriesCount, 5000);
    EXPECT_EQ(sizes.jointsCount, 150);
    EXPECT_EQ(sizes.constraintSetsCount, 150);
    EXPECT_EQ(sizes.rowBufferCount, 10);
    EXPECT_EQ(sizes.sensorsCount, 1000);
    EXPECT_EQ(sizes.terrainNodesStart, 200);
    EXPECT_EQ(sizes.terrainNodesGrowBy, -1);
    EXPECT_EQ(simulator->GetGravity().z, -9.8f);

    struct Material {
        int index;
        float friction, restitution;
    };
    for (const Material& m : {Material{0, 1.0f, 1.0f}, Material{1, 0.0f, 0.0f}, Material{2, 0.5f, 0.5f}}) {
        RbMaterial entry;
        ASSERT_TRUE(RbWorld::Of(simulator)->GetMaterialEntry(m.index, entry));
        EXPECT_EQ(entry.friction, m.friction) << m.index;
        EXPECT_EQ(entry.restitution, m.restitution) << m.index;
    }
    struct Pair {
        int a, b, response;
    };
    const Pair pairs[] = {{0, -1, 3}, {1, -1, 3}, {0, 0, 3}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}, {2, 5, 1}, {2, -1, 1}};
    for (const Pair& p : pairs)
        EXPECT_EQ(simulator->GetResponseTable()->Get(p.a, p.b), p.response) << p.a << " against " << p.b;
}

TEST_F(PhysicsWorldTest, CreateWorldTwiceReplacesTheSimulatorAndKeepsTheRoad) {
    kxtest::RoadObject road = kxtest::MakeRoadObject(kxtest::MakeFlatRoad(20, 20, 2, 2));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(5, 5, 3));
    Data(object)->AddToWorld(0);
    ASSERT_TRUE(physics->CreateWorld());
    EXPECT_FALSE(Data(object)->HasBody()) << "the old world's body is gone with it";
    EXPECT_TRUE(physics->HasGrid());
    EXPECT_EQ(physics->GetTerrainTriangleCount(), 8);
}

TEST_F(PhysicsWorldTest, BoxShapeTurnedAQuarterAboutZ) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object(new CPGameObject("b"));
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
    data->SetShape(1, 1, 1, 10);
    const float h = 0.70710678f;
    data->AddBoxShape(D3DXVECTOR3(1, 2, 3), D3DXQUATERNION(0, 0, h, h), 1, 2, 3, 10);
    data->AddCylinderShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 3), 0.5f, 0.25f, 10);
    object->SetPhysicData(CPSmartPtr<IPPhysicData>(data));
    physics->AddBody(object, true, 1);
    RbGeometry* box = data->Shapes()[0].geometry;
    ASSERT_NE(box, nullptr);
    // The first row is (1 - 2(y² + z²), 2(xy - zw), 2(xz + yw)).
    const RbMatrix& m = box->GetLocalTransform();
    EXPECT_NEAR(m.m[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(m.m[0][1], -1.0f, 1e-6f);
    EXPECT_NEAR(m.m[1][0], 1.0f, 1e-6f);
    EXPECT_NEAR(m.m[2][2], 1.0f, 1e-6f);
    EXPECT_EQ(m.m[3][0], 1.0f);
    EXPECT_EQ(m.m[3][1], 2.0f);
    EXPECT_EQ(m.m[3][2], 3.0f);
    // Sizes go in as (size 1, size 3, size 2): the local box spans 1 x 3 x 2 before turning,
    // so after the quarter turn 3 along x and 1 along y.
    RbVector low, high;
    box->GetLocalBounds(low, high);
    EXPECT_NEAR(high.x - low.x, 3.0f, 1e-4f);
    EXPECT_NEAR(high.y - low.y, 1.0f, 1e-4f);
    EXPECT_NEAR(high.z - low.z, 2.0f, 1e-4f);
    EXPECT_EQ(box->GetMaterial(), 1);
    ASSERT_NE(data->Shapes()[1].geometry, nullptr);
    EXPECT_EQ(data->Shapes()[1].geometry->GetMaterial(), 1);
}

TEST_F(PhysicsWorldTest, FrameTimesGiveFixedSteps) {
    ASSERT_TRUE(physics->CreateWorld());
    RbSimulator* simulator = physics->GetSimulator();
    struct Case {
        const char* what;
        float frame;
        int steps;
    };
    // A frame is capped at 0.05 s and runs twice as fast: 0.2 s makes six steps.
    Frame(0.2f);
    EXPECT_EQ(simulator->GetAdvanceCounter(), 6);
    EXPECT_NEAR(physics->GetTimeRemainder(), 0.0f, 1e-6f);

    // A quarter step adds half a step to the remainder; the second one reaches a step.
    const int before = simulator->GetAdvanceCounter();
    Frame(CPPhysics::kStep * 0.25f);
    EXPECT_EQ(simulator->GetAdvanceCounter(), before);
    EXPECT_NEAR(physics->GetTimeRemainder(), CPPhysics::kStep * 0.5f, 1e-6f);
    Frame(CPPhysics::kStep * 0.25f);
    EXPECT_EQ(simulator->GetAdvanceCounter(), before + 1);
    EXPECT_LT(physics->GetTimeRemainder(), CPPhysics::kStep);
}

TEST_F(PhysicsWorldTest, StoppedTimerDoesNothing) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    Data(object)->AddToWorld(0);
    Data(object)->RemoveFromWorld();
    for (int i = 0; i < 5; ++i) Frame(0.0f);
    EXPECT_EQ(physics->GetSimulator()->GetAdvanceCounter(), 0);
    ASSERT_EQ(physics->GetPendingFrees().size(), 1u);
    EXPECT_EQ(physics->GetPendingFrees().front().countdown, 2) << "not even the frees count down";
}

TEST_F(PhysicsWorldTest, RemovalsParkAndFreeTogether) {
    ASSERT_TRUE(physics->CreateWorld());
    RbSimulator* simulator = physics->GetSimulator();
    const int capacity = simulator->FreeRigidBodies();
    std::vector<CPSmartPtr<CPGameObject>> objects;
    std::vector<RbRigidBody*> bodies;
    for (int i = 0; i < 3; ++i) {
        objects.push_back(MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(static_cast<float>(i) * 4.0f, 0, 3)));
        Data(objects.back())->AddToWorld(0);
        bodies.push_back(Data(objects.back())->GetRigidBody());
    }
    const float depths[] = {-1000.0f, -1500.0f, -2000.0f};
    for (int i = 0; i < 3; ++i) {
        Data(objects[i])->RemoveFromWorld();
        EXPECT_FALSE(Data(objects[i])->HasBody());
        EXPECT_EQ(bodies[i]->GetPosition().z, depths[i]);
        EXPECT_FALSE(bodies[i]->IsActive());
    }
    EXPECT_EQ(physics->GetParkDepth(), -2500.0f);
    EXPECT_EQ(simulator->FreeRigidBodies(), capacity - 3);
    Frame(0.02f);
    Frame(0.02f);
    EXPECT_EQ(simulator->FreeRigidBodies(), capacity - 3);
    Frame(0.02f);
    EXPECT_EQ(simulator->FreeRigidBodies(), capacity);
    EXPECT_TRUE(physics->GetPendingFrees().empty());
}

TEST_F(PhysicsWorldTest, ParkDepthWraps) {
    // Removals without a body move the depth too.
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    int removals = 0;
    while (physics->GetParkDepth() >= -100000.0f + 500.0f) {
        physics->RemoveBody(CPSmartPtr<CPPhysicData>(Data(object)));
        ++removals;
    }
    EXPECT_EQ(removals, 198);
    EXPECT_EQ(physics->GetParkDepth(), -100000.0f);
    physics->RemoveBody(CPSmartPtr<CPPhysicData>(Data(object)));
    EXPECT_EQ(physics->GetParkDepth(), -1000.0f);
}

TEST_F(PhysicsWorldTest, ActiveObjectsFollowTheirBodies) {
    kxtest::RoadObject road = kxtest::MakeRoadObject(kxtest::MakeFlatRoad(40, 40, 8, 8));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> falling = MakeBody("f", 1, 1, 1, 5, D3DXVECTOR3(20, 20, 5));
    CPSmartPtr<CPGameObject> still = MakeBody("s", 1, 1, 1, 5, D3DXVECTOR3(10, 10, 5));
    Data(falling)->AddToWorld(0);
    Data(still)->AddToWorld(0);
    physics->ActivateObject(falling);
    EXPECT_TRUE(Data(falling)->IsActive());
    for (int i = 0; i < 10; ++i) Frame(0.02f);
    EXPECT_LT(falling->GetPosition().z, 5.0f);
    EXPECT_EQ(falling->GetPosition().z, Data(falling)->GetRigidBody()->GetPosition().z);
    EXPECT_EQ(still->GetPosition().z, 5.0f) << "inactive objects keep their own pose";
    physics->DeactivateObject(falling);
    EXPECT_FALSE(Data(falling)->IsActive());
    EXPECT_EQ(physics->GetActiveObjects().count(falling.Get()), 0u);
}

TEST_F(PhysicsWorldTest, StopDestroysTheWorldAndMayRepeat) {
    ASSERT_TRUE(physics->CreateWorld());
    physics->Stop();
    EXPECT_EQ(physics->GetSimulator(), nullptr);
    EXPECT_TRUE(physics->IsKillRequested());
    physics->Stop();
    Frame(0.05f);
}

TEST_F(PhysicsWorldTest, KeptMeshesAreReleasedWithTheWorld) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(nullptr));
    physics->KeepMesh(CPSmartPtr<IPMMObject>(mesh.Get()));
    EXPECT_EQ(mesh->GetRefCount(), 2);
    physics->DestroyWorld();
    EXPECT_EQ(physics->GetKeptMeshCount(), 0);
    EXPECT_EQ(mesh->GetRefCount(), 1);
}

} // namespace
