// Rest contacts, idle detection and stacks, driven through the bodies' own
// operations on shapeless bodies (which take part in rows but not in collisions).

#include "PhysicsTestSupport.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_messages;
void KeepMessage(const char* text) { g_messages.push_back(text); }

RbRigidBody* PointBody(RbSimulator* sim, const RbVector& position) {
    RbRigidBody* body = sim->NewRigidBody();
    body->SetPosition(position);
    return body;
}

RbRestContact Candidate(RbBody* other, const RbVector& onOwner, const RbVector& onOther, float depth = 0.01f) {
    RbRestContact c;
    c.otherBody = other;
    c.localPointA = onOwner;
    c.localPointB = onOther;
    c.localNormal = RbVec(0, 0, 1);
    c.contactDepth = depth;
    return c;
}

// A unit box resting on the terrain at height 0 on the given bottom corners.
RbRigidBody* BoxOnCorners(RbWorld* sim, std::initializer_list<RbVector> corners) {
    RbRigidBody* body = PointBody(sim, RbVec(0, 0, 0.5f));
    body->SetBodyInertia(RbBoxInertiaFromSizes(1, 1, 1, 1));
    for (const RbVector& c : corners)
        body->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(c.x, c.y, -0.5f), RbVec(c.x, c.y, 0)));
    return body;
}

int StepsUntilIdleRest(RbWorld* sim, RbRigidBody* body, int limit) {
    body->stepForce = RbVec(0, 0, -9.8f);
    body->BuildRestRows(1);
    sim->ContactRows().Clear();
    for (int i = 1; i <= limit; ++i) {
        body->IdleStep();
        if (body->IsResting()) return i;
    }
    return -1;
}

} // namespace

TEST(RestContacts, NewPointsFillFreeRecordsThenReplaceTheShallowest) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0.5f));
    RbBody* ground = sim->GetTerrainBody();
    body->AddRestContact(Candidate(ground, RbVec(-0.5f, -0.5f, -0.5f), RbVector{}, 0.03f));
    body->AddRestContact(Candidate(ground, RbVec(0.5f, -0.5f, -0.5f), RbVector{}, 0.01f));
    body->AddRestContact(Candidate(ground, RbVec(0.5f, 0.5f, -0.5f), RbVector{}, 0.02f));
    EXPECT_EQ(body->RestContactCount(), 3);
    EXPECT_EQ(ground->leaningCount, 3);

    // Free records are taken last first.
    EXPECT_NEAR(body->GetRestContact(2).localPointA.x, -0.5f, 1e-6f);
    EXPECT_NEAR(body->GetRestContact(0).localPointA.y, 0.5f, 1e-6f);
    // Within 0.05 of the first point: its record is refilled.
    body->AddRestContact(Candidate(ground, RbVec(-0.48f, -0.5f, -0.5f), RbVector{}, 0.05f));
    EXPECT_NEAR(body->GetRestContact(2).localPointA.x, -0.48f, 1e-6f);
    EXPECT_FLOAT_EQ(body->GetRestContact(2).contactDepth, 0.05f);
    // Elsewhere: the shallowest record (1, depth 0.01) gives way.
    body->AddRestContact(Candidate(ground, RbVec(-0.5f, 0.5f, -0.5f), RbVector{}, 0.04f));
    EXPECT_NEAR(body->GetRestContact(1).localPointA.y, 0.5f, 1e-6f);
    EXPECT_EQ(ground->leaningCount, 3);

    // With free records, the last free one is filled.
    body->rest.contacts[0].Release();
    body->rest.contacts[2].Release();
    body->AddRestContact(Candidate(ground, RbVec(0, 0, -0.5f), RbVector{}, 0.01f));
    EXPECT_EQ(body->GetRestContact(2).state, 2);
    EXPECT_EQ(body->GetRestContact(0).state, 0);
    EXPECT_EQ(ground->leaningCount, 2);
}

TEST(RestContacts, RecordsSlidApartAreDroppedFromTheRowBuild) {
    RbSimulatorPtr sim = MakeSimulator();
    sim->Advance(kStep, 1, nullptr);
    RbRigidBody* body = BoxOnCorners(sim.get(), {RbVec(-0.5f, -0.5f, 0), RbVec(0.5f, -0.5f, 0), RbVec(0.5f, 0.5f, 0)});
    sim->ContactRows().Clear();
    EXPECT_EQ(body->BuildRestRows(1), 3);
    EXPECT_EQ(body->GetRestMode(), 3);
    sim->ContactRows().Clear();
    // Slid sideways by 0.2 (more than the square root of 0.025).
    body->SetPosition(RbVec(0.2f, 0, 0.5f));
    EXPECT_EQ(body->BuildRestRows(1), 0);
    EXPECT_EQ(body->GetRestMode(), 0);
    EXPECT_EQ(body->RestContactCount(), 0);
    sim->ContactRows().Clear();
}

TEST(RestContacts, SupportTriangleIsGrownSoACentreOnItsDiagonalIsInside) {
    EXPECT_TRUE(RbSupportTriangleContains(-1, -1, 1, -1, 1, 1));   // centre on the hypotenuse
    EXPECT_TRUE(RbSupportTriangleContains(1, 1, 1, -1, -1, -1));   // other winding
    EXPECT_FALSE(RbSupportTriangleContains(1, -1, 2, -1, 2, 1));   // well outside
    EXPECT_FALSE(RbSupportTriangleContains(0, 0.5f, 1, 1, -1, 1)); // beyond the grown edge
}

TEST(RestContacts, SupportTestFollowsTheLoadLine) {
    RbSimulatorPtr sim = MakeSimulator();
    sim->Advance(kStep, 1, nullptr);
    RbRigidBody* three = BoxOnCorners(sim.get(), {RbVec(-0.5f, -0.5f, 0), RbVec(0.5f, -0.5f, 0), RbVec(0.5f, 0.5f, 0)});
    RbRigidBody* edge = BoxOnCorners(sim.get(), {RbVec(-0.5f, 0, 0), RbVec(0.5f, 0, 0)});
    RbRigidBody* offEdge = BoxOnCorners(sim.get(), {RbVec(-0.5f, 0.2f, 0), RbVec(0.5f, 0.2f, 0)});
    RbRigidBody* point = BoxOnCorners(sim.get(), {RbVec(0, 0, 0)});
    for (RbRigidBody* b : {three, edge, offEdge, point}) {
        b->stepForce = RbVec(0, 0, -9.8f);
        b->BuildRestRows(1);
    }
    sim->ContactRows().Clear();
    EXPECT_EQ(three->SupportTest(), 3);
    EXPECT_EQ(edge->SupportTest(), 2);
    EXPECT_EQ(offEdge->SupportTest(), 0);
    EXPECT_EQ(point->SupportTest(), 1);
    // Without load every support holds.
    offEdge->stepForce = RbVec(0, 0, 1e-7f);
    EXPECT_EQ(offEdge->SupportTest(), 3);
    // A load outside the friction cone holds nowhere (friction 0.5 here).
    three->stepForce = RbVec(6.0f, 0, -9.8f);
    EXPECT_EQ(three->SupportTest(), 0);
    three->stepForce = RbVec(4.0f, 0, -9.8f);
    EXPECT_EQ(three->SupportTest(), 3);
}

TEST(RestContacts, IdleBodiesRestAfterElevenQuietStepsOrAHundredAndOneOnAnEdge) {
    RbSimulatorPtr sim = MakeSimulator();
    sim->Advance(kStep, 1, nullptr);
    RbRigidBody* three = BoxOnCorners(sim.get(), {RbVec(-0.5f, -0.5f, 0), RbVec(0.5f, -0.5f, 0), RbVec(0.5f, 0.5f, 0)});
    RbRigidBody* edge = BoxOnCorners(sim.get(), {RbVec(-0.5f, 0, 0), RbVec(0.5f, 0, 0)});
    RbRigidBody* point = BoxOnCorners(sim.get(), {RbVec(0, 0, 0)});
    EXPECT_EQ(StepsUntilIdleRest(sim.get(), three, 300), 11);
    EXPECT_EQ(StepsUntilIdleRest(sim.get(), edge, 300), 101);
    EXPECT_EQ(StepsUntilIdleRest(sim.get(), point, 300), -1);
}

TEST(RestContacts, RestPoseNeedsSixtyStepsAndAFailureRestartsTheWindow) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0));
    for (int i = 0; i < 59; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(body->AtRestPose());
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(body->AtRestPose());
    EXPECT_TRUE(body->AtRestPose());                 // a success keeps the snapshot
    RbSetRow(body->transform, 3, RbVec(0.5f, 0, 0)); // moved by 0.5 within the window
    EXPECT_FALSE(body->AtRestPose());
    EXPECT_EQ(body->stepsSinceSnapshot, 0);
}

TEST(RestContacts, RestingBodyWokenOnlyByMotionOfAtLeastOne) {
    RbSimulatorPtr sim = MakeSimulator();
    sim->Advance(kStep, 1, nullptr);
    RbRigidBody* body = BoxOnCorners(sim.get(), {RbVec(-0.5f, -0.5f, 0), RbVec(0.5f, -0.5f, 0), RbVec(0.5f, 0.5f, 0)});
    body->SetResting();
    body->velocity = RbVec(0.9f, 0, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(body->IsResting());
    EXPECT_VEC_NEAR(body->GetVelocity(), 0, 0, 0, 0);
    body->velocity = RbVec(1.0f, 0, 0);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_FALSE(body->IsResting());
}

// ---------------------------------------------------------------- stacks

TEST(Stacks, BoxOnTheGroundIsLooseAndASecondBoxMakesAStack) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* lower = PointBody(sim.get(), RbVec(0, 0, 0.5f));
    RbRigidBody* upper = PointBody(sim.get(), RbVec(0, 0, 1.5f));
    lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVec(0, 0, 0)));
    ASSERT_NE(lower->GetStackNode(), nullptr);
    EXPECT_EQ(lower->GetStackNode()->owner, sim->GetLooseList());
    EXPECT_EQ(sim->GetLooseList()->nodeCount, 1);

    upper->JoinStack(Candidate(lower, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
    ASSERT_NE(upper->GetStackNode(), nullptr);
    RbStackHeader* stack = upper->GetStackNode()->owner;
    EXPECT_EQ(stack->isLooseList, 0);
    EXPECT_EQ(lower->GetStackNode()->owner, stack);
    EXPECT_EQ(stack->nodeCount, 2);
    EXPECT_EQ(sim->GetLooseList()->nodeCount, 0);
    EXPECT_EQ(sim->StackHeadersInUse(), 1);
}

TEST(Stacks, BodyRestingOnAFloatingBodyGivesItASupportNode) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* lower = PointBody(sim.get(), RbVec(0, 0, 0));
    RbRigidBody* upper = PointBody(sim.get(), RbVec(0, 0, 1));
    upper->JoinStack(Candidate(lower, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
    ASSERT_NE(lower->GetStackNode(), nullptr);
    EXPECT_EQ(lower->GetStackNode()->supportOnly, 1);
    EXPECT_EQ(upper->GetStackNode()->supportOnly, 0);
    EXPECT_FALSE(lower->SupportsHeld());
    // Its own first rest contact makes it a full member.
    lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVec(0, 0, -0.5f)));
    EXPECT_EQ(lower->GetStackNode()->supportOnly, 0);
    EXPECT_EQ(sim->StackNodesInUse(), 2);
}

TEST(Stacks, BridgingContactMergesTwoStacks) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* a = PointBody(sim.get(), RbVec(0, 0, 1));
    RbRigidBody* b = PointBody(sim.get(), RbVec(0, 0, 0));
    RbRigidBody* c = PointBody(sim.get(), RbVec(3, 0, 1));
    RbRigidBody* d = PointBody(sim.get(), RbVec(3, 0, 0));
    a->JoinStack(Candidate(b, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
    c->JoinStack(Candidate(d, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
    EXPECT_EQ(sim->StackHeadersInUse(), 2);
    a->JoinStack(Candidate(d, RbVec(0.5f, 0, -0.5f), RbVec(-0.5f, 0, 0.5f)));
    EXPECT_EQ(sim->StackHeadersInUse(), 1);
    RbStackHeader* stack = a->GetStackNode()->owner;
    EXPECT_EQ(stack->nodeCount, 4);
    for (RbRigidBody* body : {b, c, d}) EXPECT_EQ(body->GetStackNode()->owner, stack);
}

TEST(Stacks, RemovingTheTopBoxDissolvesTheStackAndFreesEveryNode) {
    // Two worlds, each stepped once first so that the stacking stage's regroup
    // (every fifth step for a given stack) is not due when the top box goes.
    {
        RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
        RbRigidBody* lower = PointBody(sim.get(), RbVec(0, 0, 0.5f));
        RbRigidBody* upper = PointBody(sim.get(), RbVec(0, 0, 1.5f));
        lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVec(0, 0, 0)));
        upper->JoinStack(Candidate(lower, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
        sim->Advance(kStep, 1, nullptr);
        EXPECT_EQ(sim->StackNodesInUse(), 2);
        EXPECT_EQ(sim->StackHeadersInUse(), 1);
        // Freeing a body returns its node at once.
        sim->FreeBody(upper);
        EXPECT_EQ(sim->StackNodesInUse(), 1);
        sim->Advance(kStep, 1, nullptr);
        // The one-body stack dissolves; a body with its own contact goes back to the loose list.
        EXPECT_EQ(sim->StackHeadersInUse(), 0);
        ASSERT_NE(lower->GetStackNode(), nullptr);
        EXPECT_EQ(lower->GetStackNode()->owner, sim->GetLooseList());
        sim->FreeBody(lower);
        EXPECT_EQ(sim->StackNodesInUse(), 0);
        EXPECT_EQ(sim->GetLooseList()->nodeCount, 0);
    }
    {
        RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
        RbRigidBody* floating = PointBody(sim.get(), RbVec(5, 0, 0));
        RbRigidBody* rider = PointBody(sim.get(), RbVec(5, 0, 1));
        rider->JoinStack(Candidate(floating, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
        sim->Advance(kStep, 1, nullptr);
        sim->FreeBody(rider);
        sim->Advance(kStep, 1, nullptr);
        // A mere support loses its node with the stack.
        EXPECT_EQ(floating->GetStackNode(), nullptr);
        EXPECT_EQ(sim->StackNodesInUse(), 0);
        EXPECT_EQ(sim->StackHeadersInUse(), 0);
    }
}

TEST(Stacks, RegroupLeavesABoxWithNothingRigidUnderItWithoutANode) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* lower = PointBody(sim.get(), RbVec(0, 0, 0.5f));
    RbRigidBody* upper = PointBody(sim.get(), RbVec(0, 0, 1.5f));
    lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVec(0, 0, 0)));
    upper->JoinStack(Candidate(lower, RbVec(0, 0, -0.5f), RbVec(0, 0, 0.5f)));
    sim->FreeBody(upper);
    // The first step's regroup (advance counter 0) splits the stack before it
    // would be dissolved: the lower box has no rigid neighbour and its node goes.
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(lower->GetStackNode(), nullptr);
    EXPECT_EQ(sim->StackNodesInUse(), 0);
    EXPECT_EQ(sim->StackHeadersInUse(), 0);
    // Its next rest contact gives it a node again.
    lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVec(0, 0, 0)));
    EXPECT_NE(lower->GetStackNode(), nullptr);
}

TEST(Stacks, EmptyNodePoolIsReportedAndTheBodyGoesOnWithoutStacking) {
    RbSimulatorPtr sim = MakeSimulator();
    g_messages.clear();
    sim->SetLogCallback(KeepMessage, 1);
    std::vector<RbStackNode*> taken;
    while (RbStackNode* n = sim->TakeStackNode()) taken.push_back(n);
    g_messages.clear();
    RbRigidBody* body = PointBody(sim.get(), RbVec(0, 0, 0.5f));
    EXPECT_EQ(body->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(0, 0, -0.5f), RbVector{})), 0);
    EXPECT_EQ(body->GetStackNode(), nullptr);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Stacking Buffer full Error. Please contact techincal support\n");
    for (int i = 0; i < 10; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_LT(body->GetPosition().z, 0.5f); // simulated all the same
    for (RbStackNode* n : taken) sim->GiveStackNode(n);
}

TEST(Stacks, StackOfBoxesIsSolvedAsOneIslandAndSleepsTogether) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* lower = PointBody(sim.get(), RbVec(0, 0, 0.5f));
    RbRigidBody* upper = PointBody(sim.get(), RbVec(0, 0, 1.5f));
    for (RbRigidBody* b : {lower, upper}) b->SetBodyInertia(RbBoxInertiaFromSizes(1, 1, 1, 1));
    const float corners[3][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}};
    for (const auto& c : corners) {
        lower->JoinStack(Candidate(sim->GetTerrainBody(), RbVec(c[0], c[1], -0.5f), RbVec(c[0], c[1], 0)));
        upper->JoinStack(Candidate(lower, RbVec(c[0], c[1], -0.5f), RbVec(c[0], c[1], 0.5f)));
    }
    int slept = -1;
    for (int i = 0; i < 200 && slept < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (lower->IsResting() && upper->IsResting()) slept = i;
    }
    EXPECT_GE(slept, 0);
    EXPECT_NEAR(lower->GetPosition().z, 0.5f, 0.02f);
    EXPECT_NEAR(upper->GetPosition().z, 1.5f, 0.04f);
    // Nothing is left linked into the island set between steps.
    EXPECT_EQ(sim->GetIslandSet()->bodyCount, 0);
    EXPECT_EQ(lower->constraintSet, nullptr);
}
