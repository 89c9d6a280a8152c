// Bodies under gravity, forces, torques, impulses and controllers; shapes and bounds.

#include "PhysicsTestSupport.h"

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---------------------------------------------------------------- motion

TEST(BodyMotion, FreeFallFollowsTheIntegratorsClosedForm) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 100), 3.0f);
    const double g = -9.8, h = 1.0 / 60.0;
    for (int n = 1; n <= 120; ++n) {
        sim->Advance(kStep, 1, nullptr);
        // v_n = n g h; z_n = z0 + g h^2 (n^2 + 2n) / 2: the kinematic 1/2 g t^2 plus the
        // integrator's 1/2 a h^2 term of every step.
        double expectedZ = 100.0 + g * h * h * (double(n) * n + 2.0 * n) / 2.0;
        ASSERT_NEAR(body->GetVelocity().z, n * g * h, 1e-3) << n;
        ASSERT_NEAR(body->GetPosition().z, expectedZ, 2e-3) << n;
    }
    EXPECT_EQ(body->GetPosition().x, 0.0f);
    EXPECT_EQ(body->GetPosition().y, 0.0f);
}

TEST(BodyMotion, GravityCanBeSwitchedOffAndMassDoesNotChangeTheFall) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* light = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0), 1.0f);
    RbRigidBody* heavy = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(5, 0, 0), 1000.0f);
    RbRigidBody* floating = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(10, 0, 0), 1.0f);
    floating->EnableGravity(false);
    for (int i = 0; i < 30; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_FLOAT_EQ(light->GetPosition().z, heavy->GetPosition().z);
    EXPECT_LT(light->GetPosition().z, -1.0f);
    EXPECT_EQ(floating->GetPosition().z, 0.0f);
}

TEST(BodyMotion, SpinningBodyKeepsItsAngularMomentum) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    body->SetBodyInertia(RbVec(1, 2, 3));
    const RbVector L = RbVec(0.4f, 1.3f, -0.8f);
    body->SetAngularMomentum(L);
    for (int i = 0; i < 240; ++i) {
        sim->Advance(kStep, 1, nullptr);
        ASSERT_EQ(body->GetAngularMomentum().x, L.x);
        ASSERT_EQ(body->GetAngularMomentum().y, L.y);
        ASSERT_EQ(body->GetAngularMomentum().z, L.z);
        // The angular velocity is the world inverse inertia applied to L.
        RbVector w = RbMul(body->GetWorldInverseInertia(), L);
        ASSERT_NEAR(body->GetAngularVelocity().x, w.x, 1e-5f);
        ASSERT_NEAR(body->GetAngularVelocity().z, w.z, 1e-5f);
    }
    RbQuaternion q = body->GetRotation();
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-5f);
}

TEST(BodyMotion, SpinAboutZTurnsTheBodyByOmegaT) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    body->SetBodyInertia(RbVec(2, 2, 2));
    const float omega = 3.14159265f / 2.0f;
    body->SetAngularMomentum(RbVec(0, 0, 2.0f * omega));
    EXPECT_NEAR(body->GetAngularVelocity().z, omega, 1e-6f);
    for (int i = 0; i < 60; ++i) sim->Advance(kStep, 1, nullptr);
    // A quarter turn: the local x axis now points along world y.
    RbMatrix t = body->GetTransform();
    EXPECT_NEAR(t.m[0][0], 0.0f, 2e-3f);
    EXPECT_NEAR(t.m[0][1], 1.0f, 2e-3f);
}

TEST(BodyMotion, ForceAtPointGivesAccelerationAndTorque) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    body->SetMass(2.0f);
    body->SetPosition(RbVec(1, 0, 0));
    body->SetForceAtPoint(RbVec(0, 4, 0), RbVec(2, 0, 0));
    EXPECT_VEC_NEAR(body->userTorque, 0, 0, 4, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetVelocity().y, 2.0f * kStep, 1e-7f);
    EXPECT_NEAR(body->GetAngularMomentum().z, 4.0f * kStep, 1e-7f);
    // The force stays applied until replaced.
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetVelocity().y, 4.0f * kStep, 1e-6f);
    body->SetForceAtPoint(RbVec(0, 0, 0), RbVec(2, 0, 0));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetVelocity().y, 4.0f * kStep, 1e-6f);
}

TEST(BodyMotion, TorqueChangesAngularMomentumEachStep) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    body->SetTorque(RbVec(0, 0, 6));
    for (int i = 0; i < 10; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetAngularMomentum().z, 1.0f, 1e-5f);
    EXPECT_EQ(body->GetVelocity().z, 0.0f);
}

TEST(BodyMotion, ImpulsesChangeVelocityAndSpin) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    body->SetMass(4.0f);
    body->SetPosition(RbVec(1, 1, 1));
    body->ApplyImpulse(RbVec(8, 0, 0));
    EXPECT_VEC_NEAR(body->GetVelocity(), 2, 0, 0, 0);
    // At the centre only the velocity changes.
    body->ApplyImpulseAtPoint(RbVec(0, 4, 0), RbVec(1, 1, 1));
    EXPECT_VEC_NEAR(body->GetVelocity(), 2, 1, 0, 0);
    EXPECT_VEC_NEAR(body->GetAngularMomentum(), 0, 0, 0, 0);
    // Off the centre it also spins the body: L = r x J.
    body->ApplyImpulseAtPoint(RbVec(0, 4, 0), RbVec(2, 1, 1));
    EXPECT_VEC_NEAR(body->GetAngularMomentum(), 0, 0, 4, 1e-6f);
    EXPECT_VEC_NEAR(body->GetAngularVelocity(), 0, 0, 4, 1e-6f); // unit inverse inertia
    EXPECT_VEC_NEAR(body->GetVelocityAtPoint(RbVec(1, 0, 0)), 2, 2 + 4, 0, 1e-6f);
    RbBody* animated = sim->NewAnimatedBody();
    EXPECT_VEC_NEAR(animated->GetVelocityAtPoint(RbVec(1, 0, 0)), 0, 0, 0, 0);
}

TEST(BodyMotion, LinearDampingScalesVelocityAfterTheAcceleration) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetVelocity(RbVec(1, 0, 0));
    body->linearDamping = 0.1f;
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetVelocity().x, 0.9f, 1e-7f);
    EXPECT_NEAR(body->GetVelocity().z, -9.8f * kStep * 0.9f, 1e-6f);
}

TEST(BodyMotion, InertiaFunctionsMatchTheirFormulas) {
    RbVector box = RbBoxInertiaFromSizes(1, 2, 3, 6);
    EXPECT_VEC_NEAR(box, 36, 36, 36, 1e-5f);
    EXPECT_EQ(box.w, 0.0f);
    EXPECT_VEC_NEAR(RbBoxInertia(RbVec(3, 1, 2), 6), 36, 36, 36, 1e-5f);
    RbVector cyl = RbCylinderInertia(2, 6, 1);
    EXPECT_VEC_NEAR(cyl, 3.25f, 0.5f, 3.25f, 1e-6f);
}

TEST(BodyMotion, SingularInertiaKeepsThePreviousInverse) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetBodyInertia(RbVec(2, 4, 8));
    body->SetBodyInertia(RbVec(1, 0, 1));
    EXPECT_NEAR(body->inverseBodyInertia.r[1].y, 0.25f, 1e-7f);
}

// ---------------------------------------------------------------- bad input

TEST(BodyBadInput, MassZeroOrInvalidMakesTheBodyImmovable) {
    RbSimulatorPtr sim = MakeSimulator();
    for (float mass : {0.0f, -2.0f, kNaN, std::numeric_limits<float>::infinity()}) {
        RbRigidBody* body = sim->NewRigidBody();
        body->SetPosition(RbVec(0, 0, 5));
        body->SetMass(mass);
        EXPECT_TRUE(body->IsImmovable());
        EXPECT_EQ(body->GetInverseMass(), 0.0f);
        body->ApplyImpulse(RbVec(10, 0, 0));
        body->ApplyImpulseAtPoint(RbVec(0, 10, 0), RbVec(1, 0, 5));
        body->SetTorque(RbVec(5, 5, 5));
        for (int i = 0; i < 10; ++i) sim->Advance(kStep, 1, nullptr);
        EXPECT_VEC_NEAR(body->GetPosition(), 0, 0, 5, 0);
        EXPECT_VEC_NEAR(body->GetAngularVelocity(), 0, 0, 0, 0);
        EXPECT_TRUE(RbIsFinite(body->GetVelocity()));
        // A valid mass makes it movable again.
        body->SetMass(1.0f);
        EXPECT_FALSE(body->IsImmovable());
        sim->FreeBody(body);
    }
}

TEST(BodyBadInput, NonFiniteValuesAreRefused) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetPosition(RbVec(1, 2, 3));
    body->SetPosition(RbVec(kNaN, 0, 0));
    body->SetVelocity(RbVec(0, kNaN, 0));
    body->SetRotation(RbQuaternion{kNaN, 0, 0, 1});
    body->ApplyImpulse(RbVec(0, 0, kNaN));
    body->SetForceAtPoint(RbVec(kNaN, 0, 0), RbVec(0, 0, 0));
    body->SetAngularMomentum(RbVec(kNaN, 0, 0));
    EXPECT_VEC_NEAR(body->GetPosition(), 1, 2, 3, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(RbIsFinite(body->GetPosition()));
    EXPECT_TRUE(RbIsFinite(body->GetRotation()));
    RbAnimatedBody* a = sim->NewAnimatedBody();
    a->SetPosition(RbVec(kNaN, 1, 1));
    EXPECT_VEC_NEAR(a->GetPosition(), 0, 0, 0, 0);
}

TEST(BodyBadInput, RotationIsNormalisedAndZeroQuaternionIsIdentity) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetRotation(RbQuaternion{0, 0, 2, 0});
    RbQuaternion q = body->GetRotation();
    EXPECT_NEAR(q.z, 1.0f, 1e-6f);
    body->SetRotation(RbQuaternion{0, 0, 0, 0});
    EXPECT_EQ(body->GetRotation().w, 1.0f);
}

// ---------------------------------------------------------------- waking and resting

TEST(BodyWaking, ForceAndTorqueWakeByMagnitude) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    struct Case {
        RbVector force;
        bool wakes;
    };
    const Case cases[] = {
        {RbVec(0, 0, 1e-7f), false}, {RbVec(0, 0, 1e-6f), true}, {RbVec(0, -1e-6f, 0), true}, {RbVec(-5, 0, 0), true}};
    for (const Case& c : cases) {
        body->SetResting();
        body->SetForceAtPoint(c.force, body->GetPosition());
        EXPECT_EQ(!body->IsResting(), c.wakes);
        body->SetResting();
        body->SetTorque(c.force);
        EXPECT_EQ(!body->IsResting(), c.wakes);
    }
}

TEST(BodyWaking, RestingBodyIsNotIntegratedAndImpulsesWakeIt) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetPosition(RbVec(0, 0, 2));
    body->SetResting();
    for (int i = 0; i < 5; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_VEC_NEAR(body->GetPosition(), 0, 0, 2, 0);
    EXPECT_TRUE(body->IsResting());
    body->ApplyImpulse(RbVec(0, 0, 0.5f));
    EXPECT_FALSE(body->IsResting());
    sim->Advance(kStep, 1, nullptr);
    EXPECT_GT(body->GetPosition().z, 2.0f);
}

TEST(BodyWaking, RestingBodyWithSmallMotionStaysRestingAndLargeMotionWakes) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetResting();
    body->velocity = RbVec(0.5f, 0, 0); // squared speed below 1
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(body->IsResting());
    EXPECT_EQ(body->GetVelocity().x, 0.0f);
    body->velocity = RbVec(1.0f, 0, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(body->IsResting());
}

// ---------------------------------------------------------------- controllers

class RecordingController : public RbControllerCallback {
public:
    explicit RecordingController(std::vector<int>* log, int id) : m_log(log), m_id(id) {}
    void OnControllerStep(RbController* controller, float step) override {
        m_log->push_back(m_id);
        lastStep = step;
        if (action) action(controller);
    }
    std::vector<int>* m_log;
    int m_id;
    float lastStep = 0.0f;
    std::function<void(RbController*)> action;
};

TEST(Controllers, PeriodCountdownDecidesWhenTheCallbackRuns) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    std::vector<int> log;
    RecordingController every(&log, 0), second(&log, 1), third(&log, 2);
    body->AttachController(&every, 0);
    body->AttachController(&second, 1);
    body->AttachController(&third, 2);
    std::vector<std::vector<int>> perStep;
    for (int i = 0; i < 6; ++i) {
        log.clear();
        sim->Advance(kStep, 1, nullptr);
        perStep.push_back(log);
    }
    const std::vector<std::vector<int>> expected = {{0}, {0, 1}, {0, 2}, {0, 1}, {0}, {0, 1, 2}};
    EXPECT_EQ(perStep, expected);
    EXPECT_FLOAT_EQ(every.lastStep, kStep);
}

TEST(Controllers, ForceIsAddedOnEveryStepEvenWithoutACall) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = sim->NewRigidBody();
    std::vector<int> log;
    RecordingController slow(&log, 0);
    RbController* c = body->AttachController(&slow, 1000);
    c->SetForce(RbVec(3, 0, 0));
    // Totals are gathered at the end of an integration, for the next step.
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(body->GetVelocity().x, 0.0f);
    for (int i = 0; i < 5; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(body->GetVelocity().x, 3.0f * 5 * kStep, 1e-5f);
    EXPECT_TRUE(log.empty());
}

TEST(Controllers, CallbacksRunInBodyAndAttachmentOrder) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* first = sim->NewRigidBody();
    RbRigidBody* particle = sim->NewRigidParticle();
    RbRigidBody* second = sim->NewRigidBody();
    std::vector<int> log;
    RecordingController a(&log, 1), b(&log, 2), c(&log, 3), d(&log, 4);
    particle->AttachController(&d, 0);
    second->AttachController(&c, 0);
    first->AttachController(&a, 0);
    first->AttachController(&b, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4}));
}

TEST(Controllers, AnimatedBodiesTakeNoController) {
    RbSimulatorPtr sim = MakeSimulator();
    RbAnimatedBody* a = sim->NewAnimatedBody();
    std::vector<int> log;
    RecordingController c(&log, 0);
    EXPECT_EQ(a->AttachController(&c, 0), nullptr);
    EXPECT_EQ(sim->FreeControllers(), 50);
}

TEST(Controllers, CallbackMayDeactivateItsOwnBodyAndChangeTheWorld) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 10));
    RbRigidBody* other = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(5, 0, 10));
    std::vector<int> log;
    RecordingController c(&log, 0);
    c.action = [&](RbController* controller) {
        controller->GetBody()->SetActive(false, nullptr);
        other->ApplyImpulse(RbVec(0, 0, 1));
        other->SetCollisionGroup(3);
    };
    body->AttachController(&c, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(body->IsActive());
    EXPECT_EQ(other->GetCollisionGroup(), 3);
    float z = body->GetPosition().z;
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(body->GetPosition().z, z); // inactive bodies are not simulated
    EXPECT_EQ(log.size(), 1u);
    body->SetActive(true, nullptr);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_LT(body->GetPosition().z, z);
}

TEST(Controllers, CallbacksCannotStepCreateOrFree) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    RbRigidBody* victim = sim->NewRigidBody();
    std::vector<int> log;
    RecordingController c(&log, 0);
    int nested = -1;
    RbRigidBody* created = reinterpret_cast<RbRigidBody*>(1);
    RbAnimatedBody* createdAnimated = reinterpret_cast<RbAnimatedBody*>(1);
    c.action = [&](RbController*) {
        nested = sim->Advance(kStep, 1, nullptr);
        created = sim->NewRigidBody();
        createdAnimated = sim->NewAnimatedBody();
        sim->FreeBody(victim);
        RbSimulator::Destroy(sim.get());
    };
    body->AttachController(&c, 0);
    EXPECT_EQ(sim->Advance(kStep, 1, nullptr), 1);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(createdAnimated, nullptr);
    EXPECT_TRUE(victim->IsInUse());
    EXPECT_EQ(sim->FreeRigidBodies(), 48);
}

TEST(Controllers, RestingBodyRunsItsControllersAndOneCanWakeIt) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    body->SetPosition(RbVec(0, 0, 1));
    std::vector<int> log;
    RecordingController c(&log, 0);
    RbController* controller = body->AttachController(&c, 0);
    body->SetResting();
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_TRUE(body->IsResting());
    // A total below 1e-6 leaves it resting; 1e-6 wakes it at the next begin step.
    controller->SetForce(RbVec(0, 0, 1e-7f));
    sim->Advance(kStep, 1, nullptr);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(body->IsResting());
    controller->SetForce(RbVec(0, 0, 1e-6f));
    sim->Advance(kStep, 1, nullptr); // the total is gathered by this step's controllers
    EXPECT_TRUE(body->IsResting());
    sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(body->IsResting());
    EXPECT_LT(body->GetPosition().z, 1.0f);
}

// ---------------------------------------------------------------- shapes and bounds

TEST(Geometries, BoxAndCylinderParameters) {
    RbGeometry g;
    g.SetDefaults();
    EXPECT_EQ(g.GetType(), RbGeomBox);
    EXPECT_FLOAT_EQ(g.params[0], 0.5f);
    EXPECT_EQ(g.GetMaterial(), 0);
    EXPECT_VEC_NEAR(g.pieceInertia, 2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 1e-6f);
    g.SetBoxDimensions(2, 4, 6);
    EXPECT_FLOAT_EQ(g.params[0], 1.0f);
    EXPECT_FLOAT_EQ(g.params[1], 2.0f);
    EXPECT_FLOAT_EQ(g.params[2], 3.0f);
    EXPECT_FLOAT_EQ(g.radius, std::sqrt(14.0f));
    g.SetBoxDimensionsVector(RbVec(0, 0, 0));
    EXPECT_EQ(g.radius, 0.0f);
    g.SetCylinderShape(2, 4);
    EXPECT_EQ(g.GetType(), RbGeomCylinder);
    EXPECT_FLOAT_EQ(g.params[0], 1.0f);
    EXPECT_FLOAT_EQ(g.params[1], 1.0f);
    EXPECT_FLOAT_EQ(g.params[2], 2.0f);
    g.SetMaterial(300);
    EXPECT_EQ(g.GetMaterial(), 0);
    g.SetMaterial(255);
    EXPECT_EQ(g.GetMaterial(), 255);
}

TEST(Geometries, LocalBoundsOfRotatedBoxAndCylinder) {
    RbGeometry box;
    box.SetDefaults();
    box.SetBoxDimensions(2, 2, 2);
    box.SetTransform(Pose(AxisAngle(RbVec(0, 0, 1), 3.14159265f / 4.0f), 0, 0, 0));
    RbVector lo, hi;
    box.GetLocalBounds(lo, hi);
    EXPECT_NEAR(hi.x, std::sqrt(2.0f), 1e-5f);
    EXPECT_NEAR(hi.y, std::sqrt(2.0f), 1e-5f);
    EXPECT_NEAR(hi.z, 1.0f, 1e-5f);
    RbGeometry cyl;
    cyl.SetDefaults();
    cyl.SetCylinderShape(2, 4);
    cyl.GetLocalBounds(lo, hi);
    EXPECT_VEC_NEAR(lo, -1, -3, -1, 1e-6f);
    EXPECT_VEC_NEAR(hi, 1, 3, 1, 1e-6f);
}

TEST(Geometries, BodyBoundsFromShapesAndSensors) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* one = sim->NewRigidBody();
    RbGeometry* g = one->AttachGeometry();
    g->SetBoxDimensions(2, 4, 6);
    g->SetTransform(Pose(AxisAngle(RbVec(0, 0, 1), 0.3f), 1, 0, 0));
    one->UpdateBounds();
    // One box is its own bounding shape, orientation included.
    EXPECT_EQ(one->GetBoundingShape().params[1], 2.0f);
    EXPECT_EQ(one->GetBoundingShape().localTransform.m[0][1], g->localTransform.m[0][1]);

    RbRigidBody* two = sim->NewRigidBody();
    RbGeometry* a = two->AttachGeometry();
    a->SetBoxDimensions(1, 1, 1);
    RbGeometry* b = two->AttachGeometry();
    b->SetCylinderShape(1, 2);
    b->SetTransform(Translation(3, 0, 0));
    two->UpdateBounds();
    const RbGeometry& bounds = two->GetBoundingShape();
    EXPECT_FLOAT_EQ(bounds.params[0], 2.0f); // x from -0.5 to 3.5
    EXPECT_FLOAT_EQ(bounds.params[1], 1.5f); // the cylinder's y extent 1 + 0.5
    EXPECT_FLOAT_EQ(bounds.localTransform.m[3][0], 1.5f);

    RbSensor* s = two->AttachSensor();
    s->SetSegment(RbVec(0, 0, 0), RbVec(0, 0, -4));
    two->UpdateBounds();
    EXPECT_FLOAT_EQ(two->GetBoundingShape().params[2], (0.5f + 4.0f) / 2.0f);
    EXPECT_FLOAT_EQ(two->GetBoundingShape().localTransform.m[3][2], (0.5f - 4.0f) / 2.0f);
}

TEST(Geometries, WorldBoundsFollowTheBodyAndAnimatedRotationWaitsForTheStep) {
    RbSimulatorPtr sim = MakeSimulator();
    RbAnimatedBody* a = sim->NewAnimatedBody();
    RbGeometry* g = a->AttachGeometry();
    g->SetBoxDimensions(4, 2, 2);
    a->UpdateBounds();
    a->SetPosition(RbVec(10, 0, 0));
    EXPECT_VEC_NEAR(a->GetWorldMin(), 8, -1, -1, 1e-6f);
    EXPECT_VEC_NEAR(a->GetWorldMax(), 12, 1, 1, 1e-6f);
    a->SetRotation(AxisAngle(RbVec(0, 0, 1), 3.14159265f / 2.0f));
    EXPECT_VEC_NEAR(a->GetWorldMax(), 12, 1, 1, 1e-6f);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_VEC_NEAR(a->GetWorldMax(), 11, 2, 1, 1e-5f);
}

TEST(Geometries, ShapeCursorWalksInCreationOrder) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    RbGeometry* a = body->AttachGeometry();
    RbGeometry* b = body->AttachGeometry();
    body->FirstGeometry();
    EXPECT_EQ(body->NextGeometry(), a);
    EXPECT_EQ(body->NextGeometry(), b);
    EXPECT_EQ(body->NextGeometry(), nullptr);
}

// ---------------------------------------------------------------- activity

TEST(Activity, SettingTheCurrentStateChangesNothing) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    EXPECT_TRUE(body->IsActive());
    body->SetActive(true, nullptr);
    EXPECT_EQ(sim->List(0, 0).count, 1);
    body->SetActive(false, nullptr);
    body->SetActive(false, nullptr);
    EXPECT_EQ(sim->List(0, 0).count, 0);
    EXPECT_EQ(sim->List(0, 1).count, 1);
    EXPECT_EQ(body->broadPhase, nullptr);
    sim->FreeBody(body); // freeing an inactive body works too
    EXPECT_EQ(sim->List(0, 1).count, 0);
    EXPECT_EQ(sim->FreeRigidBodies(), 50);
}

TEST(Activity, UserDataAndGroupsAreKept) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = sim->NewRigidBody();
    int marker = 0;
    body->SetUserData(&marker);
    EXPECT_EQ(body->GetUserData(), &marker);
    body->SetCollisionGroup(63);
    EXPECT_EQ(body->GetCollisionGroup(), 63);
    body->SetCollisionGroup(64);
    body->SetCollisionGroup(-1);
    EXPECT_EQ(body->GetCollisionGroup(), 63);
}

} // namespace
