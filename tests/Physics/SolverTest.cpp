// Constraint rows: frames, effective-mass matrices, contact impulses with
// friction and restitution, the rest-row solve and the iteration scheme.

#include "PhysicsTestSupport.h"

namespace {

// A world without gravity whose step length is 1/60 s.
RbSimulatorPtr SteppedWorld(float gravityZ = 0.0f) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, gravityZ);
    sim->Advance(kStep, 1, nullptr);
    return sim;
}

// A shapeless unit body: it takes part in rows but never in collisions.
RbRigidBody* PointBody(RbSimulator* sim, const RbVector& position) {
    RbRigidBody* body = sim->NewRigidBody();
    body->EnableGravity(false);
    body->SetPosition(position);
    return body;
}

RbContact Row(RbRowType type, RbBody* a, RbBody* b, const RbVector& normal) {
    RbContact row;
    row.type = type;
    row.bodyA = a;
    row.bodyB = b;
    row.normal = normal;
    return row;
}

} // namespace

TEST(SolverRows, TangentsCompleteAFrameAndBreakTiesTowardsYThenZ) {
    struct Case {
        RbVector n;
        RbVector t1;
    } cases[] = {
        {RbVec(1, 0, 0), RbVec(0, 0.70710678f, 0.70710678f)},
        {RbVec(0, 0, 1), RbVec(0.70710678f, 0.70710678f, 0)},
        {RbVec(0, -1, 0), RbVec(0.70710678f, 0, 0.70710678f)},
        // |x| = |y|: y's formula is used.
        {RbVec(0.70710678f, 0.70710678f, 0), RbVec(0.57735027f, -0.57735027f, 0.57735027f)},
        // |y| = |z|: z's formula is used.
        {RbVec(0, 0.70710678f, 0.70710678f), RbVec(0.57735027f, 0.57735027f, -0.57735027f)},
    };
    for (const Case& c : cases) {
        RbVector t1, t2;
        RbBuildTangents(t1, t2, c.n);
        EXPECT_VEC_NEAR(t1, c.t1.x, c.t1.y, c.t1.z, 1e-5f);
        EXPECT_NEAR(RbDot(t1, c.n), 0.0f, 1e-5f);
        EXPECT_NEAR(RbDot(t2, c.n), 0.0f, 1e-5f);
        EXPECT_NEAR(RbDot(t1, t2), 0.0f, 1e-5f);
        EXPECT_NEAR(RbLengthSq(t2), 1.0f, 1e-5f);
    }
}

TEST(SolverRows, ContactMatrixIncludesTheLeverArmInFrameAxes) {
    RbSimulatorPtr sim = SteppedWorld();
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0));
    RbContact row = Row(RestContact, body, sim->GetTerrainBody(), RbVec(0, 0, 1));
    row.offsetA = RbVec(0, 0, -0.5f);
    row.Prepare(0, 0);
    // Unit mass and inertia, arm along the normal: diag(1 + 0.25, 1 + 0.25, 1).
    EXPECT_VEC_NEAR(row.k[0], 1.25f, 0, 0, 1e-5f);
    EXPECT_VEC_NEAR(row.k[1], 0, 1.25f, 0, 1e-5f);
    EXPECT_VEC_NEAR(row.k[2], 0, 0, 1.0f, 1e-5f);
    EXPECT_VEC_NEAR(row.kInverse[0], 0.8f, 0, 0, 1e-5f);
    EXPECT_VEC_NEAR(row.kInverse[2], 0, 0, 1.0f, 1e-5f);
    // The transposed frame carries frame coordinates back to the world.
    RbMatrix3 back = {{row.frameTransposed[0], row.frameTransposed[1], row.frameTransposed[2]}};
    EXPECT_VEC_NEAR(RbMul(back, RbVec(0, 0, 1)), 0, 0, 1, 1e-6f);

    // Two bodies, then the second ignored.
    RbRigidBody* other = PointBody(sim.get(), RbVec(0, 0, -1));
    other->SetMass(3.0f);
    RbContact pair = Row(RestContact, body, other, RbVec(0, 0, 1));
    pair.Prepare(0, 0);
    EXPECT_NEAR(pair.k[2].z, 1.0f + 1.0f / 3.0f, 1e-5f);
    pair.Prepare(0, 1);
    EXPECT_NEAR(pair.k[2].z, 1.0f, 1e-5f);
    EXPECT_EQ(pair.bodyB, other); // an ignored side keeps its pointer
}

TEST(SolverRows, SingularMatrixGivesAZeroInverse) {
    RbSimulatorPtr sim = SteppedWorld();
    RbAnimatedBody* wall = sim->NewAnimatedBody();
    RbContact row = Row(RestContact, wall, sim->GetTerrainBody(), RbVec(0, 0, 1));
    for (RbVector& r : row.kInverse) r = RbVec(7, 7, 7);
    row.Prepare(0, 0);
    for (const RbVector& r : row.kInverse) EXPECT_VEC_NEAR(r, 0, 0, 0, 0);
    // Such a row moves nothing.
    EXPECT_EQ(sim->SolveContactRow(wall, sim->GetTerrainBody(), row, 2, 1.0f), 0.0f);
}

TEST(SolverRows, ContactImpulseTakesTheSmallerFrictionAndRestitution) {
    RbSimulatorPtr sim = SteppedWorld();
    sim->SetMaterial(1, 0.5f, 0.4f);
    sim->SetMaterial(2, 0.5f, 0.0f);
    sim->SetMaterial(3, 0.9f, 0.4f);
    RbRigidBody* a = PointBody(sim.get(), RbVec(0, 0, 1));
    RbRigidBody* b = PointBody(sim.get(), RbVec(0, 0, 0));
    RbContact row = Row(CollisionContact, a, b, RbVec(0, 0, 1));
    row.Prepare(0, 0); // K = 2 I
    row.localRelVelocity = RbVec(0, 0, -1);
    row.materialA = 1;
    row.materialB = 2;
    EXPECT_VEC_NEAR(sim->ComputeContactImpulse(row, 0), 0, 0, 0.5f, 1e-6f);
    row.materialB = 3;
    EXPECT_VEC_NEAR(sim->ComputeContactImpulse(row, 0), 0, 0, 0.7f, 1e-6f);
    EXPECT_VEC_NEAR(sim->ComputeContactImpulse(row, 1), 0, 0, 0.5f, 1e-6f);
    // A material index from outside the table reads entry 0 instead of memory beyond it.
    row.materialA = 4000;
    row.materialB = -3;
    EXPECT_VEC_NEAR(sim->ComputeContactImpulse(row, 0), 0, 0, 0.7f, 1e-6f);
}

TEST(SolverRows, FrictionSticksInsideTheConeAndSlidesOnItsEdge) {
    RbSimulatorPtr sim = SteppedWorld();
    sim->SetMaterial(0, 0.5f, 0.0f);
    RbRigidBody* a = PointBody(sim.get(), RbVec(0, 0, 0));
    RbContact row = Row(CollisionContact, a, sim->GetTerrainBody(), RbVec(0, 0, 1));
    row.Prepare(0, 0); // K = I
    struct Case {
        RbVector v;
        RbVector impulse;
    } cases[] = {
        {RbVec(0.4f, 0, -1), RbVec(-0.4f, 0, 1)}, // inside: stops the point
        {RbVec(0.5f, 0, -1), RbVec(-0.5f, 0, 1)}, // on the cone: still sticking
        {RbVec(2.0f, 0, -1), RbVec(-0.5f, 0, 1)}, // sliding: on the cone
        {RbVec(0, -3.0f, -1), RbVec(0, 0.5f, 1)},
    };
    for (const Case& c : cases) {
        row.localRelVelocity = c.v;
        RbVector p = sim->ComputeContactImpulse(row, 0);
        EXPECT_VEC_NEAR(p, c.impulse.x, c.impulse.y, c.impulse.z, 1e-5f);
    }
}

TEST(SolverRows, CollisionRowActsOnlyOnApproachingBodies) {
    RbSimulatorPtr sim = SteppedWorld();
    sim->SetMaterial(0, 0.5f, 0.0f);
    RbRigidBody* a = PointBody(sim.get(), RbVec(0, 0, 1));
    RbRigidBody* b = PointBody(sim.get(), RbVec(0, 0, 0));
    a->SetVelocity(RbVec(0, 0, -1));
    b->SetVelocity(RbVec(0, 0, 1));
    RbContact row = Row(CollisionContact, a, b, RbVec(0, 0, 1));
    sim->SolveCollisionRow(a, b, row);
    EXPECT_VEC_NEAR(a->GetVelocity(), 0, 0, 0, 1e-6f);
    EXPECT_VEC_NEAR(b->GetVelocity(), 0, 0, 0, 1e-6f);
    // Separating: nothing.
    a->SetVelocity(RbVec(0, 0, 1));
    sim->SolveCollisionRow(a, b, row);
    EXPECT_VEC_NEAR(a->GetVelocity(), 0, 0, 1, 0);
}

TEST(SolverRows, RestRowCorrectsPenetrationOnlyInTheSecondPhase) {
    RbSimulatorPtr sim = SteppedWorld(-9.8f);
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0));
    RbContact row = Row(RestContact, body, sim->GetTerrainBody(), RbVec(0, 0, 1));
    row.depth = 0.03f;
    row.Prepare(0, 0);
    sim->SetSolverPhase(0);
    sim->SolveContactRow(body, sim->GetTerrainBody(), row, 2, 1.0f);
    EXPECT_VEC_NEAR(body->GetVelocity(), 0, 0, 0, 0);
    sim->SetSolverPhase(1);
    sim->SolveContactRow(body, sim->GetTerrainBody(), row, 2, 1.0f);
    // Allowed penetration 0.001 x 9.8; half the excess is removed per step.
    EXPECT_NEAR(body->GetVelocity().z, 0.5f * 60.0f * (0.03f - 0.0098f), 1e-3f);

    // A deep row is clamped to 0.05 first.
    body->SetVelocity(RbVector{});
    row.depth = 0.2f;
    sim->SolveContactRow(body, sim->GetTerrainBody(), row, 2, 1.0f);
    EXPECT_FLOAT_EQ(row.depth, 0.05f);
    EXPECT_NEAR(body->GetVelocity().z, 0.5f * 60.0f * (0.05f - 0.0098f), 1e-3f);

    // An approaching body is stopped without restitution in the second phase.
    sim->SetMaterial(0, 0.5f, 0.4f);
    body->SetVelocity(RbVec(0, 0, -2));
    row.depth = 0.0f;
    sim->SolveContactRow(body, sim->GetTerrainBody(), row, 2, 1.0f);
    EXPECT_NEAR(body->GetVelocity().z, 0.0f, 1e-5f);
}

TEST(SolverRows, SlowRestRowsBetweenRestingBodiesAreDropped) {
    RbSimulatorPtr sim = SteppedWorld();
    RbRigidBody* a = PointBody(sim.get(), RbVec(0, 0, 1));
    RbRigidBody* b = PointBody(sim.get(), RbVec(0, 0, 0));
    struct Case {
        bool aResting, bResting, bTerrain;
        float speed;
        int result;
        bool keepsA, keepsB;
    } cases[] = {
        {true, true, false, 0.5f, 1, true, true},   {true, false, true, 0.5f, 1, true, true},
        {true, false, false, 0.5f, 0, false, true}, {false, true, false, 0.5f, 0, true, false},
        {false, false, false, 0.5f, 0, true, true}, {true, true, false, 1.5f, 0, true, true},
    };
    for (const Case& c : cases) {
        a->restStatus = c.aResting ? 1 : 0;
        b->restStatus = c.bResting ? 1 : 0;
        RbBody* other = c.bTerrain ? static_cast<RbBody*>(sim->GetTerrainBody()) : b;
        RbContact row = Row(RestContact, a, other, RbVec(0, 0, 1));
        row.relSpeed = c.speed;
        EXPECT_EQ(row.ReleaseRestingSide(), c.result);
        EXPECT_EQ(row.bodyA != nullptr, c.keepsA);
        EXPECT_EQ(row.bodyB != nullptr, c.keepsB);
    }
}

TEST(SolverRows, SolveRowsRunsTwoPassesAndEmptiesTheBuffers) {
    RbSimulatorPtr sim = SteppedWorld(-9.8f);
    sim->SetMaterial(0, 0.5f, 0.0f);
    sim->SetSolverPhase(1);
    sim->SolveRows(-1.0f, -1);
    EXPECT_EQ(sim->GetSolverPhase(), 0); // nothing to do
    EXPECT_EQ(sim->GetLastIteration(), 0);

    RbRigidBody* top = PointBody(sim.get(), RbVec(0, 0, 1));
    RbRigidBody* bottom = PointBody(sim.get(), RbVec(0, 0, 0));
    top->SetVelocity(RbVec(0, 0, -1));
    RbContact row = Row(RestContact, top, bottom, RbVec(0, 0, 1));
    row.offsetA = RbVec(0, 0, -0.5f);
    row.offsetB = RbVec(0, 0, 0.5f);
    row.Prepare(0, 0);
    ASSERT_TRUE(sim->PushContactRow(row));
    sim->SolveRows(-1.0f, 2);
    EXPECT_EQ(sim->GetSolverPhase(), 1);
    EXPECT_EQ(sim->GetLastIteration(), 1);
    EXPECT_EQ(sim->ContactRows().Size(), 0);
    // The rows stopped the approach and pushed the lower body down.
    EXPECT_NEAR(top->GetVelocity().z - bottom->GetVelocity().z, 0.0f, 1e-4f);
    EXPECT_LT(bottom->GetVelocity().z, 0.0f);
}

TEST(SolverRows, PointJointCorrectionIsClampedToItsLimitLength) {
    RbSimulatorPtr sim = SteppedWorld();
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0));
    // Anchors 1 apart: without the clamp half the error (0.5) would be corrected
    // in one step; with it, 0.05.
    RbContact row = Row(PointJoint, body, nullptr, RbVector{});
    row.pointA = RbVec(1, 0, 0);
    row.depth = 1.0f;
    row.Prepare(0, 0); // K = I
    sim->SolveRow(row);
    EXPECT_NEAR(body->GetVelocity().x, -0.05f * 60.0f, 1e-3f);
    // A small error is corrected by half per step.
    body->SetVelocity(RbVector{});
    row.pointA = RbVec(0, 0.02f, 0);
    row.depth = 0.02f;
    sim->SolveRow(row);
    EXPECT_NEAR(body->GetVelocity().y, -0.01f * 60.0f, 1e-3f);
}
