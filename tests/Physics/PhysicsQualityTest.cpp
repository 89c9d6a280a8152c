// Whole-world behaviour: a pusher through a block of boxes, and a fixed mixed
// scene whose every result is pinned by a hash of the poses.

#include "PhysicsTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

float g_deepestBetweenBodies = 0.0f;

void RecordDepth(RbCollisionInfo* info) {
    if (info->typeB == 0) return;
    float depth = RbDot(info->pointBWorld - info->pointAWorld, info->normal);
    g_deepestBetweenBodies = std::max(g_deepestBetweenBodies, depth);
}

// Flat ground of two triangles at z = 0 for the engine's own terrain tree.
struct FlatGround {
    RbVector vertices[4] = {RbVec(-60, -60, 0), RbVec(60, -60, 0), RbVec(60, 60, 0), RbVec(-60, 60, 0)};
    RbTriangle triangles[2];
    FlatGround() {
        const int corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int t = 0; t < 2; ++t) {
            for (int k = 0; k < 3; ++k) triangles[t].vertex[k] = corners[t][k];
            triangles[t].material = 0;
            triangles[t].testMode = 0;
            triangles[t].boxMaterial = 0;
        }
    }
};

} // namespace

TEST(PhysicsQuality, PusherMovesBoxesWithoutDrivingThemIntoEachOther) {
    RbSimulatorSizes sizes;
    sizes.geometriesCount = 100;
    sizes.rigidBodiesCount = 60;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    FlatGround ground;
    ASSERT_TRUE(sim->BuildTerrainTree(ground.vertices, 4, ground.triangles, 2));
    sim->SetMaterial(0, 0.5f, 0.0f);
    sim->GetResponseTable()->Set(0, 0, 3);
    sim->SetCollisionCallback(&RecordDepth);
    // Five rows of ten unit boxes, asleep by the time a wall sweeps through them at
    // 2 m/s.
    std::vector<RbRigidBody*> boxes;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 10; ++j) {
            // Solid cubes, whose inertia lets them tip more readily than the game's.
            RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(i * 1.5f, (j - 4.5f) * 1.5f, 0.5f));
            box->SetBodyInertia(RbVec(1.0f / 6.0f, 1.0f / 6.0f, 1.0f / 6.0f));
            boxes.push_back(box);
        }
    RbAnimatedBody* pusher = sim->NewAnimatedBody();
    pusher->AttachGeometry()->SetBoxDimensions(0.5f, 16.0f, 2.0f);
    pusher->UpdateBounds();
    float x = -3.0f;
    pusher->SetPosition(RbVec(x, 0, 1.05f));
    g_deepestBetweenBodies = 0.0f;
    for (int step = 0; step < 600; ++step) {
        if (step >= 180) x += 2.0f * kStep;
        pusher->SetPosition(RbVec(x, 0, 1.05f));
        sim->Advance(kStep, 1, nullptr);
    }
    sim->SetCollisionCallback(nullptr);
    // Each box ends ahead of the pusher, on the ground, not pressed into another.
    for (RbRigidBody* box : boxes) {
        RbVector p = box->GetPosition();
        EXPECT_GT(p.x, x + 0.2f);
        EXPECT_GT(p.z, 0.4f);
    }
    EXPECT_LT(g_deepestBetweenBodies, 0.05f);
}

namespace {

// Holds a body up on its four downward sensors like springs.
class Suspension : public RbControllerCallback {
public:
    void OnControllerStep(RbController* controller, float) override {
        RbRigidBody* body = static_cast<RbRigidBody*>(controller->body);
        float lift = 0.0f;
        for (RbSensor* s = body->GetFirstSensor(); s; s = s->next) lift += 4000.0f * s->GetHitDepth();
        float damping = -200.0f * body->GetVelocity().z;
        controller->SetForce(RbVec(300.0f, 0.0f, lift + damping));
    }
};

uint64_t HashPoses(const std::vector<RbRigidBody*>& bodies) {
    uint64_t hash = 1469598103934665603ull;
    for (const RbRigidBody* body : bodies) {
        const RbMatrix& m = body->GetTransform();
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) {
                uint32_t bits;
                std::memcpy(&bits, &m.m[r][c], sizeof(bits));
                for (int k = 0; k < 4; ++k) {
                    hash ^= (bits >> (8 * k)) & 0xffu;
                    hash *= 1099511628211ull;
                }
            }
    }
    return hash;
}

} // namespace

TEST(PhysicsQuality, MixedSceneResultsArePinned) {
    // Any change of results shows here; a change made on purpose updates the value.
    RbSimulatorSizes sizes;
    sizes.geometriesCount = 200;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    const int cells = 16;
    const float cell = 2.0f;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            float x = -16.0f + i * cell, y = -16.0f + j * cell;
            vertices.push_back(RbVec(x, y, 0.8f * std::sin(x / 5.0f) * std::cos(y / 7.0f)));
        }
    AppendGridTriangles(cells, cells, triangles);
    ASSERT_TRUE(sim->BuildTerrainTree(vertices.data(), static_cast<int>(vertices.size()), triangles.data(),
                                      static_cast<int>(triangles.size())));
    sim->SetMaterial(0, 0.6f, 0.3f);
    std::vector<RbRigidBody*> bodies;
    for (int i = 0; i < 8; ++i) {
        RbRigidBody* box =
            MakeBoxBody(sim.get(), 0.6f + 0.1f * i, 0.5f, 0.7f, RbVec(-6.0f + 1.7f * i, -3.0f, 3.0f + 0.9f * i));
        box->SetRotation(AxisAngle(RbVec(0.6f, 0.0f, 0.8f), 0.3f * i));
        box->UpdateBounds();
        bodies.push_back(box);
    }
    for (int i = 0; i < 4; ++i) {
        RbRigidBody* body = sim->NewRigidBody();
        body->AttachGeometry()->SetCylinderShape(0.6f, 1.0f);
        body->UpdateBounds();
        body->SetMass(2.0f);
        body->SetBodyInertia(RbCylinderInertia(0.6f, 1.0f, 2.0f));
        body->SetPosition(RbVec(-4.0f + 2.5f * i, 2.0f, 4.0f + i));
        body->SetRotation(AxisAngle(RbVec(1, 0, 0), 0.7f * i));
        body->UpdateBounds();
        bodies.push_back(body);
    }
    std::vector<RbVector> prism;
    for (float z : {-0.3f, 0.3f})
        for (int i = 0; i < 6; ++i)
            prism.push_back(RbVec(0.45f * std::cos(1.0471976f * i), 0.45f * std::sin(1.0471976f * i), z));
    RbConvexHull* hull = sim->CreateConvexHull(prism.data(), static_cast<int>(prism.size()));
    ASSERT_NE(hull, nullptr);
    for (int i = 0; i < 3; ++i) {
        RbRigidBody* body = sim->NewRigidBody();
        body->AttachGeometry()->SetConvexHull(hull);
        body->UpdateBounds();
        body->SetMass(1.5f);
        body->SetBodyInertia(RbVec(0.2f, 0.2f, 0.2f));
        body->SetPosition(RbVec(3.0f + 1.5f * i, 5.0f, 2.5f + i));
        body->SetRotation(AxisAngle(RbVec(0, 1, 0), 0.5f * i));
        body->UpdateBounds();
        bodies.push_back(body);
    }
    // A pendulum on a hinge at a fixed point above the ground.
    RbRigidBody* bob = MakeBoxBody(sim.get(), 0.3f, 0.3f, 0.3f, RbVec(9.0f, -8.0f, 4.0f));
    RbJoint* joint = sim->NewJoint(bob, nullptr);
    joint->SetType(2);
    RbVector world[2] = {RbVec(8.0f, -8.2f, 4.0f), RbVec(8.0f, -7.8f, 4.0f)};
    RbVector local[2];
    for (int i = 0; i < 2; ++i) local[i] = RbInverseTransformPoint(bob->GetTransform(), world[i]);
    ASSERT_TRUE(joint->SetAnchors(2, local, world));
    joint->SetFrames(RbMatrix{}, RbMatrix{});
    joint->Enable(true);
    RbConstraintSet* set = sim->NewConstraintSet();
    ASSERT_TRUE(set->AddJoint(joint));
    ASSERT_TRUE(set->AddBody(bob));
    bodies.push_back(bob);
    // A car body on four downward sensors, driven forward.
    RbRigidBody* car = MakeBoxBody(sim.get(), 2.0f, 1.0f, 0.5f, RbVec(-10.0f, 8.0f, 1.5f), 50.0f);
    for (float dx : {-0.8f, 0.8f})
        for (float dy : {-0.4f, 0.4f}) car->AttachSensor()->SetSegment(RbVec(dx, dy, 0.0f), RbVec(0, 0, -1.0f));
    Suspension suspension;
    car->AttachController(&suspension, 0);
    car->UpdateBounds();
    bodies.push_back(car);

    for (int step = 0; step < 300; ++step) sim->Advance(kStep, 1, nullptr);
    for (const RbRigidBody* body : bodies) ASSERT_TRUE(RbIsFinite(body->GetPosition()));
    EXPECT_EQ(HashPoses(bodies), 14780555268209092859ull);
}

namespace {

struct StackResult {
    float drift = 0.0f;       // the top box's sideways travel
    float tilt = 0.0f;        // the top box's up axis from vertical, radians
    float penetration = 0.0f; // the deepest corner below the ground or a lower box's top
};

// Unit boxes stacked from the ground with the given inertia, left for ten seconds.
StackResult RunStack(int height, float inertia) {
    RbSimulatorPtr sim = MakeSimulator();
    FlatGround ground;
    EXPECT_TRUE(sim->BuildTerrainTree(ground.vertices, 4, ground.triangles, 2));
    sim->SetMaterial(0, 0.5f, 0.0f);
    std::vector<RbRigidBody*> boxes;
    for (int i = 0; i < height; ++i) {
        // A millimetre of misalignment, as real stacking has.
        RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.001f * (i % 3) - 0.001f, 0.0f, 0.5f + i));
        box->SetBodyInertia(RbVec(inertia, inertia, inertia));
        boxes.push_back(box);
    }
    RbVector start = boxes.back()->GetPosition();
    StackResult result;
    for (int step = 0; step < 600; ++step) {
        sim->Advance(kStep, 1, nullptr);
        for (int k = 0; k < height; ++k) {
            for (float x : {-0.5f, 0.5f})
                for (float y : {-0.5f, 0.5f})
                    for (float z : {-0.5f, 0.5f}) {
                        RbVector corner = RbTransformPoint(boxes[k]->GetTransform(), RbVec(x, y, z));
                        float floor =
                            k == 0 ? 0.0f : RbTransformPoint(boxes[k - 1]->GetTransform(), RbVec(0, 0, 0.5f)).z;
                        if (k > 0) {
                            RbVector local = RbInverseTransformPoint(boxes[k - 1]->GetTransform(), corner);
                            if (std::fabs(local.x) > 0.5f || std::fabs(local.y) > 0.5f) continue;
                        }
                        result.penetration = std::max(result.penetration, floor - corner.z);
                    }
        }
    }
    RbVector end = boxes.back()->GetPosition();
    result.drift = std::sqrt((end.x - start.x) * (end.x - start.x) + (end.y - start.y) * (end.y - start.y));
    RbVector up = RbRotate(boxes.back()->GetTransform(), RbVec(0, 0, 1));
    result.tilt = std::acos(std::min(1.0f, std::max(-1.0f, up.z)));
    return result;
}

} // namespace

TEST(PhysicsQuality, RestingBoxAndTowerStayPut) {
    // A box at rest holds its whole face as rest points, so it settles without
    // walking; it sinks little deeper than its first step's fall of 4 mm, far less
    // than the rest rows' slop of about a centimetre would let it.
    StackResult single = RunStack(1, 1.0f / 6.0f);
    EXPECT_LT(single.penetration, 0.005f);
    EXPECT_LT(single.drift, 0.005f);
    // Ten boxes of the game's inertia (2/3 m s^2), and ten solid cubes, stand for
    // ten seconds.
    StackResult tower = RunStack(10, 2.0f / 3.0f);
    EXPECT_LT(tower.drift, 0.02f);
    EXPECT_LT(tower.tilt, 0.02f);
    EXPECT_LT(tower.penetration, 0.05f);
    StackResult cubes = RunStack(10, 1.0f / 6.0f);
    EXPECT_LT(cubes.drift, 0.1f);
    EXPECT_LT(cubes.tilt, 0.05f);
    EXPECT_LT(cubes.penetration, 0.05f);
}

TEST(PhysicsQuality, BoxLandingFlatBouncesWithoutSpinning) {
    // A cube dropped face down from a metre onto ground of restitution 0.4: every
    // corner meets the ground at once, so it bounces straight up (to 0.16 m were
    // the fall and the rise continuous) and does not start to turn.
    for (float inertia : {1.0f / 6.0f, 2.0f / 3.0f}) {
        SCOPED_TRACE(inertia);
        RbSimulatorPtr sim = MakeSimulator();
        FlatGround ground;
        ASSERT_TRUE(sim->BuildTerrainTree(ground.vertices, 4, ground.triangles, 2));
        sim->SetMaterial(0, 0.5f, 0.4f);
        RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 1.5f));
        box->SetBodyInertia(RbVec(inertia, inertia, inertia));
        float apex = 0.0f, fastestTurn = 0.0f;
        bool rising = false, fell = false;
        for (int step = 0; step < 120 && !fell; ++step) {
            sim->Advance(kStep, 1, nullptr);
            float vz = box->GetVelocity().z;
            if (vz > 0.0f) rising = true;
            if (rising) {
                apex = std::max(apex, box->GetPosition().z - 0.5f);
                fastestTurn = std::max(fastestTurn, RbLength(box->GetAngularVelocity()));
                fell = vz < 0.0f;
            }
        }
        EXPECT_GT(apex, 0.1f);
        EXPECT_LT(apex, 0.17f);
        EXPECT_LT(fastestTurn, 0.05f);
    }
}
