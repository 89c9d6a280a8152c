// Joints and constraint sets: construction, pendulum, limits, motors, chains,
// sleeping and waking, and the pools.

#include "PhysicsTestSupport.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

const float kPi = 3.14159265f;

struct Pendulum {
    RbRigidBody* bob = nullptr;
    RbJoint* joint = nullptr;
    RbConstraintSet* set = nullptr;
};

// A small box on a hinge about the world y axis through the origin, at length 1
// and angle phi (a turn about +y from the +x direction).
Pendulum MakePendulum(RbSimulator* sim, float phi, int type = 0) {
    Pendulum p;
    p.bob = MakeBoxBody(sim, 0.2f, 0.2f, 0.2f, RbVec(std::cos(phi), 0, -std::sin(phi)));
    p.bob->SetRotation(AxisAngle(RbVec(0, 1, 0), phi));
    p.bob->UpdateBounds();
    p.joint = sim->NewJoint(p.bob, nullptr);
    p.joint->SetType(type);
    // Anchors on the axis, in the bob's space and in the world.
    RbVector world[2] = {RbVec(0, -0.2f, 0), RbVec(0, 0.2f, 0)};
    RbVector local[2];
    for (int i = 0; i < 2; ++i) local[i] = RbInverseTransformPoint(p.bob->GetTransform(), world[i]);
    EXPECT_TRUE(p.joint->SetAnchors(2, local, world));
    // Both frames are the identity: the joint angle is the bob's turn about +y,
    // which is also its swing angle.
    p.joint->SetFrames(RbMatrix{}, RbMatrix{});
    p.joint->Enable(true);
    p.set = sim->NewConstraintSet();
    EXPECT_TRUE(p.set->AddJoint(p.joint));
    EXPECT_TRUE(p.set->AddBody(p.bob));
    return p;
}

float SwingAngle(const RbRigidBody* bob) {
    RbVector p = bob->GetPosition();
    return std::atan2(-p.z, p.x);
}

// Flat ground of two large triangles, answered whole to every terrain query.
void AnswerFlatGround(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                      const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    static const RbVector corners[4] = {RbVec(-50, -50, 0), RbVec(50, -50, 0), RbVec(50, 50, 0), RbVec(-50, 50, 0)};
    static const RbTriangle halves[2] = {[] {
                                             RbTriangle t;
                                             t.vertex[0] = 0, t.vertex[1] = 1, t.vertex[2] = 2;
                                             return t;
                                         }(),
                                         [] {
                                             RbTriangle t;
                                             t.vertex[0] = 0, t.vertex[1] = 2, t.vertex[2] = 3;
                                             return t;
                                         }()};
    static const int both[2] = {0, 1};
    *candidates = both;
    *triangles = halves;
    *vertices = corners;
    *candidateCount = 2;
    *triangleCount = 2;
}

bool AllResting(std::initializer_list<const RbRigidBody*> bodies) {
    for (const RbRigidBody* b : bodies)
        if (!b->IsResting()) return false;
    return true;
}

} // namespace

TEST(Joints, PendulumKeepsItsLengthAndPeriod) {
    RbSimulatorPtr sim = MakeSimulator();
    Pendulum p = MakePendulum(sim.get(), kPi / 2 - 0.15f); // 0.15 rad from the bottom
    float longest = 0.0f, shortest = 10.0f;
    std::vector<float> crossings;
    float previous = SwingAngle(p.bob) - kPi / 2;
    for (int i = 0; i < 600; ++i) {
        sim->Advance(kStep, 1, nullptr);
        float length = std::sqrt(RbLengthSq(p.bob->GetPosition()));
        longest = std::max(longest, length);
        shortest = std::min(shortest, length);
        float now = SwingAngle(p.bob) - kPi / 2;
        if ((previous < 0.0f) != (now < 0.0f)) crossings.push_back((i + previous / (previous - now)) * kStep);
        previous = now;
    }
    EXPECT_LT(longest - 1.0f, 0.01f);
    EXPECT_LT(1.0f - shortest, 0.01f);
    ASSERT_GE(crossings.size(), 5u);
    float period = 2.0f * (crossings.back() - crossings.front()) / static_cast<float>(crossings.size() - 1);
    // Physical pendulum: the bob's own inertia (2/3 m s^2 by the engine's box rule) adds to m L^2.
    float inertia = RbBoxInertiaFromSizes(0.2f, 0.2f, 0.2f, 1.0f).y + 1.0f;
    float expected = 2.0f * kPi * std::sqrt(inertia / 9.8f);
    EXPECT_NEAR(period, expected, 0.02f * expected);
}

TEST(Joints, HingeLimitStopsTheSwing) {
    RbSimulatorPtr sim = MakeSimulator();
    // Released horizontal (angle 0.3 from +x), stopped at 1.0 rad before the bottom.
    Pendulum p = MakePendulum(sim.get(), 0.3f);
    p.joint->SetLimit(true, 0.1f, 1.0f);
    float furthest = 0.0f;
    for (int i = 0; i < 300; ++i) {
        sim->Advance(kStep, 1, nullptr);
        furthest = std::max(furthest, SwingAngle(p.bob));
    }
    // The limit row acts once the angle is past it, and corrects by half the
    // error per step, so the swing overshoots a little before it is pushed back.
    EXPECT_LT(furthest, 1.0f + 0.2f);
    EXPECT_NEAR(SwingAngle(p.bob), 1.0f, 0.05f);
    EXPECT_NEAR(p.joint->GetAngle(), 1.0f, 0.05f);

    // Without the limit it swings past the bottom.
    RbSimulatorPtr free = MakeSimulator();
    Pendulum q = MakePendulum(free.get(), 0.3f);
    float freeFurthest = 0.0f;
    for (int i = 0; i < 120; ++i) {
        free->Advance(kStep, 1, nullptr);
        freeFurthest = std::max(freeFurthest, SwingAngle(q.bob));
    }
    EXPECT_GT(freeFurthest, 2.5f);
}

TEST(Joints, MotorDrivesTheHingeToItsTargetSpeedWithinItsEffort) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* wheel = MakeBoxBody(sim.get(), 1, 0.2f, 1, RbVec(0, 0, 0));
    RbJoint* joint = sim->NewJoint(wheel, nullptr);
    joint->SetType(2);
    RbVector anchors[2] = {RbVec(0, -0.5f, 0), RbVec(0, 0.5f, 0)};
    joint->SetAnchors(2, anchors, anchors);
    joint->SetMotor(5.0f, 2.0f);
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    set->AddJoint(joint);
    set->AddBody(wheel);
    float inertia = RbBoxInertiaFromSizes(1, 0.2f, 1, 1).y;
    sim->Advance(kStep, 1, nullptr);
    // The first step is limited by the effort: 2 N m for 1/60 s.
    EXPECT_NEAR(wheel->GetAngularVelocity().y, 2.0f * kStep / inertia, 1e-3f);
    for (int i = 0; i < 300; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(wheel->IsResting()); // a running motor keeps its set awake
    EXPECT_NEAR(wheel->GetAngularVelocity().y, 5.0f, 0.01f);
    EXPECT_NEAR(wheel->GetAngularVelocity().x, 0.0f, 1e-3f);
    EXPECT_VEC_NEAR(wheel->GetPosition(), 0, 0, 0, 1e-3f);
    // An effort of 0 is unlimited: the target is reached at once.
    joint->SetMotor(-3.0f, 0.0f);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(wheel->GetAngularVelocity().y, -3.0f, 0.01f);
}

TEST(Joints, ChainOfFiveSettlesHangingDown) {
    RbSimulatorPtr sim = MakeSimulator();
    RbConstraintSet* set = sim->NewConstraintSet();
    std::vector<RbRigidBody*> links;
    RbBody* previous = nullptr;
    for (int i = 0; i < 5; ++i) {
        // Links laid out horizontally along +x, each 0.5 long.
        RbRigidBody* link = MakeBoxBody(sim.get(), 0.5f, 0.1f, 0.1f, RbVec(0.25f + 0.5f * i, 0, 0));
        RbJoint* joint = sim->NewJoint(link, previous);
        RbVector onLink = RbVec(-0.25f, 0, 0);
        RbVector onPrevious = previous ? RbVec(0.25f, 0, 0) : RbVec(0, 0, 0);
        joint->SetAnchors(1, &onLink, &onPrevious);
        joint->SetDamping(3.0f);
        joint->Enable(true);
        set->AddJoint(joint);
        set->AddBody(link);
        links.push_back(link);
        previous = link;
    }
    // Links of one set do not collide unless asked to.
    float worstGap = 0.0f;
    for (int i = 0; i < 3600; ++i) {
        sim->Advance(kStep, 1, nullptr);
        for (int k = 1; k < 5; ++k) {
            RbVector end = RbTransformPoint(links[k - 1]->GetTransform(), RbVec(0.25f, 0, 0));
            RbVector start = RbTransformPoint(links[k]->GetTransform(), RbVec(-0.25f, 0, 0));
            worstGap = std::max(worstGap, std::sqrt(RbLengthSq(end - start)));
        }
    }
    float fastest = 0.0f;
    for (RbRigidBody* link : links) fastest = std::max(fastest, std::sqrt(RbLengthSq(link->GetVelocity())));
    RbVector tip = RbTransformPoint(links.back()->GetTransform(), RbVec(0.25f, 0, 0));
    EXPECT_LT(fastest, 0.05f);
    EXPECT_NEAR(tip.z, -2.5f, 0.05f);
    EXPECT_NEAR(tip.x, 0.0f, 0.15f);
    EXPECT_LT(worstGap, 0.05f);
}

TEST(Joints, DampedPendulumSleepsWithItsSetAndWakesWhenPushed) {
    RbSimulatorPtr sim = MakeSimulator();
    Pendulum p = MakePendulum(sim.get(), kPi / 2 - 0.2f);
    p.joint->SetDamping(0.5f);
    int slept = -1;
    for (int i = 0; i < 1200 && slept < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (p.bob->IsResting()) slept = i;
    }
    ASSERT_GE(slept, 0);
    RbVector rest = p.bob->GetPosition();
    for (int i = 0; i < 60; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(p.bob->IsResting());
    EXPECT_VEC_NEAR(p.bob->GetPosition(), rest.x, rest.y, rest.z, 0.0f);
    p.bob->SetVelocity(RbVec(2, 0, 0));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(p.bob->IsResting());
    EXPECT_GT(p.bob->GetPosition().x, rest.x);
}

TEST(Joints, PoolsRefuseCleanlyAndFreeingBodiesReturnsJointsAndSets) {
    RbSimulatorSizes sizes;
    sizes.jointsCount = 1;
    sizes.constraintSetsCount = 1;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 5));
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 7));
    RbJoint* joint = sim->NewJoint(a, b);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(sim->NewJoint(b, a), nullptr);
    EXPECT_EQ(sim->NewJoint(a, a), nullptr);
    RbConstraintSet* set = sim->NewConstraintSet();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(sim->NewConstraintSet(), nullptr);
    EXPECT_FALSE(joint->SetAnchors(3, nullptr, nullptr));
    EXPECT_TRUE(set->AddJoint(joint));
    EXPECT_FALSE(set->AddJoint(joint));
    EXPECT_TRUE(set->AddBody(a));
    EXPECT_TRUE(set->AddBody(b));
    EXPECT_TRUE(a->ShareJoint(b));
    EXPECT_TRUE(b->ShareJoint(a));

    sim->FreeBody(a);
    EXPECT_EQ(sim->JointsInUse(), 0);
    EXPECT_EQ(b->joints, nullptr);
    EXPECT_EQ(sim->ConstraintSetsInUse(), 1);
    sim->FreeBody(b);
    EXPECT_EQ(sim->ConstraintSetsInUse(), 0);
    EXPECT_NE(sim->NewJoint(MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0)), nullptr), nullptr);
}

TEST(Joints, TwistLimitHoldsTheTurnAboutTheFrameXAxis) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbJoint* joint = sim->NewJoint(body, nullptr);
    RbVector centre = RbVec(0, 0, 0);
    joint->SetAnchors(1, &centre, &centre);
    joint->SetTwistLimit(true, 0.3f);
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    set->AddJoint(joint);
    set->AddBody(body);
    for (float spin : {2.0f, -2.0f}) {
        body->SetRotation(RbQuaternion{});
        body->SetAngularMomentum(RbMul(RbIdentity3(), RbVec(spin * 0.6667f, 0, 0)));
        float furthest = 0.0f;
        for (int i = 0; i < 120; ++i) {
            sim->Advance(kStep, 1, nullptr);
            RbVector z = RbRow(body->GetTransform(), 2);
            furthest = std::max(furthest, std::fabs(std::atan2(z.y, z.z)));
        }
        EXPECT_LT(furthest, 0.3f + 0.1f) << spin;
        EXPECT_GT(furthest, 0.25f) << spin;
    }
}

TEST(Joints, SliderKeepsItsAnchorOnTheAxisAndItsMotorAndLimitAct) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* carriage = MakeBoxBody(sim.get(), 0.4f, 0.4f, 0.4f, RbVec(0, 0, 0));
    RbJoint* joint = sim->NewJoint(carriage, nullptr);
    joint->SetType(3);
    // Frame B's second row (the axis) along world x.
    RbMatrix frameB;
    RbQuaternionToRows(AxisAngle(RbVec(0, 0, 1), -1.5707963f), frameB);
    ASSERT_NEAR(RbRow(frameB, 1).x, 1.0f, 1e-5f);
    joint->SetFrames(frameB, frameB); // both frames share the axis
    RbVector centre = RbVec(0, 0, 0);
    joint->SetAnchors(1, &centre, &centre);
    joint->SetMotor(2.0f, 50.0f);
    joint->SetLimit(true, -5.0f, 1.0f);
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    set->AddJoint(joint);
    set->AddBody(carriage);
    carriage->SetVelocity(RbVec(0, 1, 1)); // off the axis: taken away by the line rows
    for (int i = 0; i < 20; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(carriage->GetVelocity().x, 2.0f, 0.01f);
    EXPECT_NEAR(carriage->GetPosition().y, 0.0f, 0.02f);
    EXPECT_NEAR(carriage->GetPosition().z, 0.0f, 0.02f);
    for (int i = 0; i < 120; ++i) sim->Advance(kStep, 1, nullptr);
    // Stopped at the upper limit; the motor does not push past it.
    EXPECT_NEAR(carriage->GetPosition().x, 1.0f, 0.05f);
    EXPECT_NEAR(joint->GetAngle(), 1.0f, 0.05f);
    // Reversed, it runs to the lower end.
    joint->SetMotor(-4.0f, 50.0f);
    for (int i = 0; i < 180; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(carriage->GetPosition().x, -5.0f, 0.1f);
}

namespace {

class Pusher : public RbControllerCallback {
public:
    void OnControllerStep(RbController* controller, float) override {
        ++calls;
        controller->SetForce(RbVec(1, 0, 0));
        controller->forceB = RbVec(-1, 0, 0);
    }
    int calls = 0;
};

} // namespace

TEST(Joints, JointControllersRunAfterTheStepAndPushBothBodies) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 5, 0));
    RbJoint* joint = sim->NewJoint(a, b);
    joint->SetType(7); // no rows: only the controller acts
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    set->AddJoint(joint);
    set->AddBody(a);
    set->AddBody(b);
    Pusher pusher;
    int freeControllers = sim->FreeControllers();
    ASSERT_NE(sim->AttachJointController(joint, &pusher, 1), nullptr);
    EXPECT_EQ(sim->FreeControllers(), freeControllers - 1);
    for (int i = 0; i < 4; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(pusher.calls, 2); // period 1: every other step, from the second
    EXPECT_GT(a->GetVelocity().x, 0.0f);
    EXPECT_LT(b->GetVelocity().x, 0.0f);
    sim->FreeJoint(joint);
    EXPECT_EQ(sim->FreeControllers(), freeControllers);
    EXPECT_EQ(sim->JointsInUse(), 0);
    EXPECT_EQ(a->joints, nullptr);
}

// Three boxes stacked on the ground, the lower two held together by a ball joint at
// the face they share (and still touching: their set allows contacts between them).
// The stack falls asleep as one; a box thrown at it wakes the jointed pair, which
// sleeps and wakes as one throughout, and everything settles and sleeps again, still
// joined.
TEST(Joints, JointedPairInARestingStackSleepsAndWakesWithIt) {
    RbSimulatorPtr sim = MakeSimulator();
    sim->SetTerrainQuery(AnswerFlatGround);
    RbRigidBody* bottom = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.5f));
    RbRigidBody* middle = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 1.5f));
    RbRigidBody* top = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 2.5f));
    RbJoint* joint = sim->NewJoint(middle, bottom);
    ASSERT_NE(joint, nullptr);
    RbVector onMiddle = RbVec(0, 0, -0.5f), onBottom = RbVec(0, 0, 0.5f);
    ASSERT_TRUE(joint->SetAnchors(1, &onMiddle, &onBottom));
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    ASSERT_NE(set, nullptr);
    ASSERT_TRUE(set->AddJoint(joint));
    ASSERT_TRUE(set->AddBody(middle));
    ASSERT_TRUE(set->AddBody(bottom));
    middle->sameSetContact = 1;
    bottom->sameSetContact = 1;
    auto gap = [&] {
        RbVector a = RbTransformPoint(middle->GetTransform(), onMiddle);
        RbVector b = RbTransformPoint(bottom->GetTransform(), onBottom);
        return std::sqrt(RbLengthSq(a - b));
    };

    int slept = -1;
    for (int i = 0; i < 900 && slept < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (AllResting({bottom, middle, top})) slept = i;
    }
    ASSERT_GE(slept, 0) << "the stack never fell asleep";
    const RbVector middleAtRest = middle->GetPosition();
    for (int i = 0; i < 60; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(AllResting({bottom, middle, top}));
    EXPECT_VEC_NEAR(middle->GetPosition(), middleAtRest.x, middleAtRest.y, middleAtRest.z, 0.0f);

    // A box thrown sideways at the top of the stack (a much lighter one would not wake it).
    RbRigidBody* thrown = MakeBoxBody(sim.get(), 0.5f, 0.5f, 0.5f, RbVec(-1.5f, 0, 2.7f), 1.0f);
    thrown->SetVelocity(RbVec(3, 0, 0));
    bool pairWoke = false;
    int again = -1;
    float worstGap = gap();
    for (int i = 0; i < 1800 && again < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        pairWoke = pairWoke || (!middle->IsResting() && !bottom->IsResting());
        EXPECT_EQ(middle->IsResting(), bottom->IsResting()) << "a set sleeps and wakes as one, step " << i;
        worstGap = std::max(worstGap, gap());
        if (pairWoke && AllResting({bottom, middle, top})) again = i;
    }
    EXPECT_TRUE(pairWoke) << "the jointed pair slept through the hit";
    EXPECT_GE(again, 0) << "the stack did not settle again";
    EXPECT_LT(worstGap, 0.05f);
}
