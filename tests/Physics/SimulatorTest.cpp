// Creation, pools, tables and the advance contract of the simulator.

#include "PhysicsTestSupport.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

TEST(SimulatorCreation, DefaultSizesGiveTheDocumentedPools) {
    RbSimulatorPtr sim = MakeSimulator();
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->FreeRigidBodies(), 50);
    EXPECT_EQ(sim->FreeAnimatedBodies(), 50);
    EXPECT_EQ(sim->FreeParticles(), 50);
    EXPECT_EQ(sim->FreeControllers(), 50);
    EXPECT_EQ(sim->FreeGeometries(), 50);
    EXPECT_EQ(sim->FreeSensors(), 100);
    EXPECT_EQ(sim->JointCapacity(), 100);
    EXPECT_EQ(sim->ConstraintSetCapacity(), 100);
    EXPECT_EQ(sim->GetBroadPhase().PairCapacity(), 1225);
    EXPECT_EQ(sim->StackNodeCapacity(), 100);
    EXPECT_EQ(sim->StackHeaderCapacity(), 200);
    EXPECT_EQ(sim->GetAdvanceCounter(), 0);
}

TEST(SimulatorCreation, SizesAreCopiedAtCreation) {
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 3;
    RbVector gravity = RbVec(0, 0, -9.8f);
    RbSimulator* sim = RbSimulator::Create(&sizes, nullptr, &gravity);
    ASSERT_NE(sim, nullptr);
    sizes.rigidBodiesCount = 100;
    EXPECT_EQ(sim->GetSizes().rigidBodiesCount, 3);
    EXPECT_EQ(sim->FreeRigidBodies(), 3);
    RbSimulator::Destroy(sim);
    RbSimulator::Destroy(nullptr); // ignored
}

TEST(SimulatorCreation, NullGravityIsZeroAndRaceWorldSizesWork) {
    RbSimulatorSizes race{500, 1000, 500, 50, 1500, 5000, 150, 150, 10, 1000, 200, -1};
    RbSimulator* sim = RbSimulator::Create(&race, nullptr, nullptr);
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(RbWorld::Of(sim)->GetGravityMagnitude(), 0.0f);
    EXPECT_EQ(sim->FreeGeometries(), 5000);
    RbSimulator::Destroy(sim);
}

class FailingAllocator : public RbAllocator {
public:
    explicit FailingAllocator(int failAt) : m_failAt(failAt) {}
    void* Alloc(size_t bytes, int32_t) override {
        if (m_calls++ == m_failAt) return nullptr;
        ++m_live;
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    void Free(void* block) override {
        --m_live;
        std::free(block);
    }
    int m_failAt;
    int m_calls = 0;
    int m_live = 0;
};

TEST(SimulatorCreation, EveryFailedAllocationGivesNullAndFreesWhatWasTaken) {
    // Count the allocations of a successful creation, then fail each in turn.
    FailingAllocator counting(-1);
    RbSimulatorSizes sizes;
    RbSimulator* sim = RbSimulator::Create(&sizes, &counting, nullptr);
    ASSERT_NE(sim, nullptr);
    int total = counting.m_calls;
    RbSimulator::Destroy(sim);
    EXPECT_EQ(counting.m_live, 0);
    ASSERT_GT(total, 10);
    for (int i = 0; i < total; ++i) {
        FailingAllocator failing(i);
        EXPECT_EQ(RbSimulator::Create(&sizes, &failing, nullptr), nullptr) << "allocation " << i;
        EXPECT_EQ(failing.m_live, 0) << "allocation " << i;
    }
}

TEST(SimulatorCreation, AbsurdSizesAreRefused) {
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 2000000000;
    sizes.animatedBodiesCount = 2000000000;
    EXPECT_EQ(RbSimulator::Create(&sizes, nullptr, nullptr), nullptr);
}

TEST(SimulatorCreation, DefaultAllocatorCountsRequestedBytes) {
    RbDefaultAllocator allocator;
    void* block = allocator.Alloc(100, 0);
    ASSERT_NE(block, nullptr);
    allocator.Free(block);
    EXPECT_EQ(allocator.GetTotal(), 100u);
}

TEST(SimulatorPools, FiftyFirstRigidBodyFailsUntilOneIsFreed) {
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbRigidBody*> bodies;
    for (int i = 0; i < 50; ++i) {
        bodies.push_back(sim->NewRigidBody());
        ASSERT_NE(bodies.back(), nullptr);
        EXPECT_EQ(bodies.back()->GetIndex(), i);
    }
    EXPECT_EQ(sim->NewRigidBody(), nullptr);
    EXPECT_STREQ(sim->GetLastMessage(), "Run out of RigidBodies. Increase 'rigidBodiesCount'.\n");
    sim->FreeBody(bodies[7]);
    RbRigidBody* again = sim->NewRigidBody();
    // Last freed, first taken.
    EXPECT_EQ(again, bodies[7]);
}

TEST(SimulatorPools, ParticlesAndAnimatedBodiesHaveTheirOwnPoolsAndIndices) {
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 2;
    sizes.animatedBodiesCount = 3;
    sizes.rigidParticleCount = 1;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    RbRigidBody* p = sim->NewRigidParticle();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->IsParticle());
    EXPECT_EQ(p->GetIndex(), 5);
    EXPECT_EQ(sim->NewRigidParticle(), nullptr);
    EXPECT_STREQ(sim->GetLastMessage(), "Run out of RigidBodies. Increase 'rigidParticleCount'.\n");
    RbAnimatedBody* a0 = sim->NewAnimatedBody();
    RbAnimatedBody* a1 = sim->NewAnimatedBody();
    RbAnimatedBody* a2 = sim->NewAnimatedBody();
    ASSERT_TRUE(a0 && a1 && a2);
    EXPECT_EQ(a0->GetIndex(), 2);
    EXPECT_EQ(a2->GetIndex(), 4);
    EXPECT_FALSE(a0->IsRigid());
    EXPECT_EQ(sim->NewAnimatedBody(), nullptr);
    EXPECT_EQ(sim->FreeAnimatedBodies(), 0);
}

TEST(SimulatorPools, FreeRefusesDoubleFreesAndForeignPointers) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    RbRigidBody* particle = sim->NewRigidParticle();
    RbAnimatedBody* animated = sim->NewAnimatedBody();
    sim->FreeBody(body);
    EXPECT_EQ(sim->FreeRigidBodies(), 50);
    sim->FreeBody(body);
    EXPECT_STREQ(sim->GetLastMessage(), "Trying to Free invalid RigidBody.\n");
    EXPECT_EQ(sim->FreeRigidBodies(), 50);
    sim->FreeBody(particle);
    sim->FreeBody(particle);
    EXPECT_STREQ(sim->GetLastMessage(), "Trying to Free invalid RigidParticle.\n");
    sim->FreeBody(animated);
    sim->FreeBody(animated);
    EXPECT_STREQ(sim->GetLastMessage(), "Trying to Free invalid AnimatedBody.\n");
    RbAnimatedBody notPooled;
    sim->FreeBody(&notPooled);
    EXPECT_STREQ(sim->GetLastMessage(), "Trying to Free invalid RigidBody.\n");
    sim->FreeBody(nullptr);
    EXPECT_EQ(sim->FreeAnimatedBodies(), 50);
    EXPECT_EQ(sim->FreeParticles(), 50);
}

TEST(SimulatorPools, FreeingABodyReturnsItsShapesSensorsAndControllers) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->AttachGeometry();
    body->AttachGeometry();
    body->AttachSensor();
    body->AttachController(nullptr, 0);
    EXPECT_EQ(sim->FreeGeometries(), 48);
    EXPECT_EQ(sim->FreeSensors(), 99);
    EXPECT_EQ(sim->FreeControllers(), 49);
    sim->FreeBody(body);
    EXPECT_EQ(sim->FreeGeometries(), 50);
    EXPECT_EQ(sim->FreeSensors(), 100);
    EXPECT_EQ(sim->FreeControllers(), 50);
    // The reused body starts clean.
    RbRigidBody* again = sim->NewRigidBody();
    EXPECT_EQ(again, body);
    EXPECT_EQ(again->GetGeometryCount(), 0);
    EXPECT_EQ(again->GetFirstSensor(), nullptr);
    EXPECT_EQ(again->GetFirstController(), nullptr);
}

TEST(SimulatorPools, ShapeSensorAndControllerPoolsRunOut) {
    RbSimulatorSizes sizes;
    sizes.geometriesCount = 1;
    sizes.sensorsCount = 1;
    sizes.controllersCount = 1;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    RbRigidBody* body = sim->NewRigidBody();
    EXPECT_NE(body->AttachGeometry(), nullptr);
    EXPECT_EQ(body->AttachGeometry(), nullptr);
    EXPECT_STREQ(sim->GetLastMessage(), "Run out of Geometries. Increase 'geometriesCount'.\n");
    EXPECT_NE(body->AttachSensor(), nullptr);
    EXPECT_EQ(body->AttachSensor(), nullptr);
    EXPECT_STREQ(sim->GetLastMessage(), "Run out of Sensors. Increase 'sensorsCount'.\n");
    EXPECT_NE(body->AttachController(nullptr, 0), nullptr);
    EXPECT_EQ(body->AttachController(nullptr, 0), nullptr);
    EXPECT_EQ(body->GetGeometryCount(), 1);
}

TEST(SimulatorPools, ZeroSizedPoolsRefuseEveryRequest) {
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 0;
    sizes.animatedBodiesCount = -5;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->NewRigidBody(), nullptr);
    EXPECT_EQ(sim->NewAnimatedBody(), nullptr);
    EXPECT_EQ(sim->Advance(kStep, 1, nullptr), 1);
}

TEST(SimulatorTables, MaterialsAcceptOnlyIndices0To255) {
    RbSimulatorPtr sim = MakeSimulator();
    RbMaterial m;
    ASSERT_TRUE(sim->GetMaterialEntry(17, m));
    EXPECT_FLOAT_EQ(m.friction, 0.5f);
    EXPECT_FLOAT_EQ(m.restitution, 0.4f);
    EXPECT_FLOAT_EQ(m.third, 1.0f);
    EXPECT_TRUE(sim->SetMaterial(255, 0.9f, 0.1f));
    EXPECT_FALSE(sim->SetMaterial(256, 0.9f, 0.1f));
    EXPECT_FALSE(sim->SetMaterial(-1, 0.9f, 0.1f));
    ASSERT_TRUE(sim->GetMaterialEntry(255, m));
    EXPECT_FLOAT_EQ(m.friction, 0.9f);
    EXPECT_FLOAT_EQ(m.restitution, 0.1f);
    EXPECT_FLOAT_EQ(m.third, 0.0f);
    EXPECT_FALSE(sim->GetMaterialEntry(256, m));
}

TEST(SimulatorTables, ResponseTableIsSymmetricAndKnowsTheTerrain) {
    RbSimulatorPtr sim = MakeSimulator();
    RbResponseTable* table = sim->GetResponseTable();
    EXPECT_EQ(table->Get(5, 9), 1);
    EXPECT_EQ(table->Get(5, -1), 1);
    table->Set(0, 1, 3);
    EXPECT_EQ(table->Get(0, 1), 3);
    EXPECT_EQ(table->Get(1, 0), 3);
    table->Set(0, -1, 2);
    EXPECT_EQ(table->Get(0, -1), 2);
    EXPECT_EQ(table->Get(-1, 0), 2);
    EXPECT_EQ(table->Get(0, 0), 1);
    table->Set(-1, -1, 0);
    EXPECT_EQ(table->Get(-1, -1), 0);
    EXPECT_EQ(table->Get(1, -1), 1);
    // Groups outside 0..63 have no entry.
    table->Set(64, 0, 0);
    EXPECT_EQ(table->Get(64, 0), 0);
    EXPECT_EQ(table->Get(0, 63), 1);
}

TEST(SimulatorAdvance, CounterCountsCallsAndStepsDivideTheTime) {
    RbSimulatorPtr sim = MakeSimulator();
    EXPECT_EQ(sim->Advance(kStep, 1, nullptr), 1);
    EXPECT_EQ(sim->Advance(kStep, 1, nullptr), 2);
    EXPECT_EQ(sim->Advance(0.1f, 4, nullptr), 3);
    EXPECT_FLOAT_EQ(sim->GetStepLength(), 0.025f);
    EXPECT_FLOAT_EQ(sim->GetInverseStepLength(), 40.0f);
}

TEST(SimulatorAdvance, BadArgumentsPerformNoStep) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    struct Case {
        float time;
        int steps;
    };
    const Case cases[] = {{kStep, 0},
                          {kStep, -3},
                          {0.0f, 1},
                          {-kStep, 1},
                          {std::numeric_limits<float>::quiet_NaN(), 1},
                          {std::numeric_limits<float>::infinity(), 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(sim->Advance(c.time, c.steps, nullptr), 0);
        EXPECT_EQ(body->GetPosition().z, 0.0f);
        EXPECT_EQ(body->GetVelocity().z, 0.0f);
    }
}

TEST(SimulatorAdvance, MovedMarksOfAnimatedBodiesClearAfterAdvance) {
    RbSimulatorPtr sim = MakeSimulator();
    RbAnimatedBody* a = sim->NewAnimatedBody();
    a->SetPosition(RbVec(1, 2, 3));
    EXPECT_EQ(a->moved, 1);
    sim->Advance(kStep, 2, nullptr);
    EXPECT_EQ(a->moved, 0);
    EXPECT_VEC_NEAR(a->GetPosition(), 1, 2, 3, 0);
}

TEST(SimulatorAdvance, ResultsAreBitIdenticalBetweenRuns) {
    auto run = []() {
        RbSimulatorPtr sim = MakeSimulator();
        RbRigidBody* b = MakeBoxBody(sim.get(), 1, 2, 3, RbVec(0, 0, 10), 2.0f);
        b->SetAngularMomentum(RbVec(0.3f, -1.1f, 0.7f));
        b->SetForceAtPoint(RbVec(1, 0, 0), RbVec(0, 1, 10));
        for (int i = 0; i < 120; ++i) sim->Advance(kStep, 1, nullptr);
        RbMatrix t = b->GetTransform();
        std::vector<float> out(&t.m[0][0], &t.m[0][0] + 16);
        out.push_back(b->GetVelocity().x);
        return out;
    };
    std::vector<float> first = run();
    std::vector<float> second = run();
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(std::memcmp(&first[i], &second[i], sizeof(float)), 0);
}

} // namespace
