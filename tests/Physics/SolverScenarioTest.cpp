// Whole-engine scenarios at 60 Hz: landing, resting and sleeping on terrain
// triangles, towers and a pyramid, friction on an incline, restitution, a car on
// sensor springs, and a crowd of mixed bodies.

#include "PhysicsTestSupport.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

// Terrain made of quads (two triangles each); the query answers every triangle.
struct QuadGround {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> candidates;
    int queries = 0;

    void Quad(const RbVector& a, const RbVector& b, const RbVector& c, const RbVector& d) {
        int base = static_cast<int>(vertices.size());
        vertices.insert(vertices.end(), {a, b, c, d});
        const int corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto& k : corners) {
            RbTriangle t;
            for (int i = 0; i < 3; ++i) t.vertex[i] = base + k[i];
            triangles.push_back(t);
            candidates.push_back(static_cast<int>(triangles.size()) - 1);
        }
    }
    void Flat(float half = 50.0f) {
        Quad(RbVec(-half, -half, 0), RbVec(half, -half, 0), RbVec(half, half, 0), RbVec(-half, half, 0));
    }
};
QuadGround* g_quads = nullptr;

void AnswerQuads(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                 const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    ++g_quads->queries;
    *candidates = g_quads->candidates.data();
    *triangles = g_quads->triangles.data();
    *vertices = g_quads->vertices.data();
    *candidateCount = static_cast<int>(g_quads->candidates.size());
    *triangleCount = static_cast<int>(g_quads->triangles.size());
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override { g_quads = &ground; }
    void TearDown() override { g_quads = nullptr; }
    RbSimulatorPtr Make(const RbSimulatorSizes& sizes = RbSimulatorSizes{}) {
        RbSimulatorPtr sim = MakeSimulator(sizes);
        sim->SetTerrainQuery(AnswerQuads);
        return sim;
    }
    QuadGround ground;
};

bool AllResting(const std::vector<RbRigidBody*>& bodies) {
    for (RbRigidBody* b : bodies)
        if (!b->IsResting()) return false;
    return true;
}

float Horizontal(const RbVector& d) { return std::sqrt(d.x * d.x + d.y * d.y); }

} // namespace

TEST_F(SceneTest, DroppedBoxLandsRestsSleepsAndWakesWhenHit) {
    ground.Flat();
    RbSimulatorPtr sim = Make();
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 2));
    int landed = -1, slept = -1;
    for (int i = 0; i < 600 && slept < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (landed < 0 && box->RestContactCount() > 0) landed = i;
        if (box->IsResting()) slept = i;
    }
    ASSERT_GE(landed, 0);
    ASSERT_GE(slept, 0) << "the box never went to sleep";
    // It sleeps on three corners around its centre, after more than ten quiet steps.
    EXPECT_EQ(box->GetRestMode(), 3);
    EXPECT_GT(box->GetIdleCounter(), 10);
    EXPECT_EQ(box->RestContactCount(), 3);
    ASSERT_NE(box->GetStackNode(), nullptr);
    EXPECT_EQ(box->GetStackNode()->owner, sim->GetLooseList());
    // It rests on the ground: neither above it nor sunk into it.
    float penetration = 0.5f - box->GetPosition().z;
    EXPECT_GT(penetration, -0.001f);
    EXPECT_LT(penetration, 0.01f);

    // Asleep: it stays put and the terrain is not queried for it.
    RbVector restPos = box->GetPosition();
    int queries = ground.queries;
    for (int i = 0; i < 120; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(box->IsResting());
    EXPECT_EQ(ground.queries, queries);
    EXPECT_VEC_NEAR(box->GetPosition(), restPos.x, restPos.y, restPos.z, 0.0f);

    // A second box lands on it: the sleeper wakes, then both settle again.
    RbRigidBody* hammer = MakeBoxBody(sim.get(), 1, 1, 1, restPos + RbVec(0, 0, 1.8f));
    bool woke = false;
    int resettled = -1;
    for (int i = 0; i < 900; ++i) {
        sim->Advance(kStep, 1, nullptr);
        woke = woke || !box->IsResting();
        if (woke && box->IsResting() && hammer->IsResting()) {
            resettled = i;
            break;
        }
    }
    EXPECT_TRUE(woke);
    EXPECT_GE(resettled, 0);
    EXPECT_NEAR(hammer->GetPosition().z, restPos.z + 1.0f, 0.05f);
}

namespace {

// How deep a corner of the unit box `upper` reaches into the unit box `lower`,
// or below the ground at z = 0 when there is no lower box.
float CornerPenetration(const RbRigidBody* upper, const RbRigidBody* lower) {
    float deepest = 0.0f;
    for (float x : {-0.5f, 0.5f}) {
        for (float y : {-0.5f, 0.5f}) {
            for (float z : {-0.5f, 0.5f}) {
                RbVector corner = RbTransformPoint(upper->GetTransform(), RbVec(x, y, z));
                if (!lower) {
                    deepest = std::max(deepest, -corner.z);
                    continue;
                }
                RbVector local = RbInverseTransformPoint(lower->GetTransform(), corner);
                if (std::fabs(local.x) <= 0.5f && std::fabs(local.y) <= 0.5f && local.z > -0.5f)
                    deepest = std::max(deepest, 0.5f - local.z);
            }
        }
    }
    return deepest;
}

} // namespace

TEST_F(SceneTest, TowersStandTenSecondsAndSleep) {
    ground.Flat();
    // Contacts are found one corner per pair and step, so each box settles by
    // rocking onto its corners, and a rest contact grips only while it closes:
    // while the tower settles the boxes slip a little on one another, the most
    // at the top of the taller tower.
    struct Case {
        int height;
        float mostSideways;
    } cases[] = {{5, 0.06f}, {10, 0.08f}};
    for (const Case& c : cases) {
        const int height = c.height;
        SCOPED_TRACE(height);
        RbSimulatorPtr sim = Make();
        std::vector<RbRigidBody*> boxes;
        for (int i = 0; i < height; ++i) boxes.push_back(MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.5f + i)));
        RbVector start = boxes.back()->GetPosition();
        int slept = -1;
        float deepest = 0.0f;
        RbVector afterOneSecond;
        for (int i = 0; i < 600; ++i) {
            sim->Advance(kStep, 1, nullptr);
            if (slept < 0 && AllResting(boxes)) slept = i;
            if (i == 59) afterOneSecond = boxes.back()->GetPosition();
            for (int k = 0; k < height; ++k)
                deepest = std::max(deepest, CornerPenetration(boxes[k], k > 0 ? boxes[k - 1] : nullptr));
        }
        RbVector end = boxes.back()->GetPosition();
        float settled = 0.0f;
        for (int k = 0; k < height; ++k)
            settled = std::max(settled, CornerPenetration(boxes[k], k > 0 ? boxes[k - 1] : nullptr));
        EXPECT_GE(slept, 0);
        EXPECT_LT(Horizontal(end - start), c.mostSideways);
        // Settling sinks each contact by about the allowed penetration.
        EXPECT_LT(start.z - end.z, 0.015f * height);
        EXPECT_LT(deepest, 0.05f);
        EXPECT_LT(settled, 0.03f);
        // Once settled nothing moves.
        EXPECT_LT(std::sqrt(RbLengthSq(end - afterOneSecond)), 0.1f);
        for (int i = 1; i < height; ++i) EXPECT_GT(boxes[i]->GetPosition().z, boxes[i - 1]->GetPosition().z + 0.97f);
        EXPECT_EQ(sim->StackHeadersInUse(), 1);
    }
}

TEST_F(SceneTest, PyramidOfFiftyFiveBoxesStands) {
    ground.Flat();
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 60;
    sizes.geometriesCount = 60;
    sizes.overlapPairsCount = 2000;
    RbSimulatorPtr sim = Make(sizes);
    std::vector<RbRigidBody*> boxes;
    for (int row = 0; row < 10; ++row)
        for (int i = 0; i < 10 - row; ++i)
            boxes.push_back(MakeBoxBody(sim.get(), 1, 1, 1, RbVec(-4.725f + row * 0.525f + i * 1.05f, 0, 0.5f + row)));
    ASSERT_EQ(boxes.size(), 55u);
    std::vector<RbVector> start;
    for (RbRigidBody* b : boxes) start.push_back(b->GetPosition());
    int slept = -1;
    for (int i = 0; i < 600; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (slept < 0 && AllResting(boxes)) slept = i;
    }
    float worst = 0.0f;
    for (size_t k = 0; k < boxes.size(); ++k)
        worst = std::max(worst, std::sqrt(RbLengthSq(boxes[k]->GetPosition() - start[k])));
    EXPECT_LT(worst, 0.25f);
    EXPECT_GT(boxes.back()->GetPosition().z, 9.3f);
    EXPECT_GE(slept, 0);
}

TEST_F(SceneTest, BoxOnAnInclineSlidesOnlyBeyondTheFrictionAngle) {
    const float kPi = 3.14159265f;
    // Friction 0.5: the friction angle is 26.6 degrees.
    struct Case {
        float degrees;
        bool slides;
    } cases[] = {{15, false}, {20, false}, {25, false}, {30, true}, {35, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        QuadGround slope;
        g_quads = &slope;
        RbQuaternion tilt = AxisAngle(RbVec(0, 1, 0), -c.degrees * kPi / 180.0f);
        RbMatrix frame;
        RbQuaternionToRows(tilt, frame);
        RbVector along = RbRow(frame, 0), across = RbRow(frame, 1), up = RbRow(frame, 2);
        auto at = [&](float a, float b) { return along * a + across * b; };
        slope.Quad(at(-50, -50), at(50, -50), at(50, 50), at(-50, 50));
        RbSimulatorPtr sim = Make();
        sim->SetMaterial(0, 0.5f, 0.0f);
        RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, up * 0.55f);
        box->SetRotation(tilt);
        RbVector start = box->GetPosition();
        int rested = -1;
        RbVector restedAt;
        for (int i = 0; i < 180; ++i) {
            sim->Advance(kStep, 1, nullptr);
            if (rested < 0 && box->IsResting()) {
                rested = i;
                restedAt = box->GetPosition();
            }
        }
        float moved = -RbDot(box->GetPosition() - start, along);
        if (c.slides) {
            // Sliding from rest: the box is never put to sleep and keeps going.
            EXPECT_GT(moved, 2.0f);
            EXPECT_LT(rested, 0);
            EXPECT_LT(RbDot(box->GetVelocity(), along), -1.0f);
        } else {
            // Held by friction: after settling on its corners it sleeps where it is.
            EXPECT_GE(rested, 0);
            EXPECT_LT(std::fabs(moved), 0.5f);
            EXPECT_TRUE(box->IsResting());
            EXPECT_VEC_NEAR(box->GetPosition(), restedAt.x, restedAt.y, restedAt.z, 0.0f);
        }
    }
    g_quads = &ground;
}

TEST_F(SceneTest, BounceReturnsWithTheRestitution) {
    ground.Flat();
    RbSimulatorPtr sim = Make();
    sim->SetMaterial(0, 0.5f, 0.4f);
    // A sphere touches the ground below its centre, so the bounce is free of spin.
    RbRigidBody* ball = sim->NewRigidBody();
    ball->AttachGeometry()->SetSphere(0.5f);
    ball->UpdateBounds();
    ball->SetPosition(RbVec(0, 0, 2.5f));
    ball->UpdateBounds();
    float before = 0.0f, after = 0.0f, lowest = 10.0f, apex = 0.0f;
    bool bounced = false;
    for (int i = 0; i < 200; ++i) {
        float v = ball->GetVelocity().z;
        sim->Advance(kStep, 1, nullptr);
        float now = ball->GetVelocity().z;
        if (!bounced && v < 0.0f && now > 0.0f) {
            // The contact is resolved before the step's gravity is added.
            bounced = true;
            before = v;
            after = now + 9.8f * kStep;
            lowest = ball->GetPosition().z - (now * kStep - 0.5f * 9.8f * kStep * kStep);
        } else if (bounced && now > 0.0f) {
            apex = std::max(apex, ball->GetPosition().z);
        } else if (bounced && now <= 0.0f) {
            break;
        }
    }
    ASSERT_TRUE(bounced);
    EXPECT_NEAR(after / -before, 0.4f, 0.01f);
    // The rise the integrator gives a free body leaving the ground at that speed
    // (the bounce step itself included): x += v h + a h^2 / 2 after v += a h.
    float expected = 0.0f;
    for (float x = 0.0f, v = after; v > 0.0f;) {
        v -= 9.8f * kStep;
        x += v * kStep - 0.5f * 9.8f * kStep * kStep;
        expected = std::max(expected, x);
    }
    EXPECT_NEAR(apex - lowest, expected, 0.02f * expected);
}

namespace {

// Spring-damper wheels on four downward sensors, plus a drive force with drag.
class Suspension : public RbControllerCallback {
public:
    void OnControllerStep(RbController* controller, float) override {
        RbRigidBody* body = static_cast<RbRigidBody*>(controller->GetBody());
        RbVector centre = body->GetPosition();
        RbVector force, torque;
        for (RbSensor* s : sensors) {
            float compression = s->GetHitDepth();
            if (compression <= 0.0f) continue;
            RbVector wheel = RbTransformPoint(body->GetTransform(), s->GetOrigin());
            RbVector v = body->GetVelocityAtPoint(wheel - centre);
            RbVector f = RbVec(0, 0, stiffness * compression - damping * v.z);
            force += f;
            torque += RbCross(wheel - centre, f);
        }
        RbVector forward = RbRow(body->GetTransform(), 0);
        force += forward * (drive - 200.0f * RbDot(body->GetVelocity(), forward));
        controller->SetForce(force);
        controller->SetTorque(torque);
    }
    std::vector<RbSensor*> sensors;
    float stiffness = 5000.0f, damping = 400.0f, drive = 0.0f;
};

} // namespace

TEST_F(SceneTest, CarOnSensorSpringsRidesAtTheAnalyticHeightAndClimbsARamp) {
    ground.Quad(RbVec(-50, -50, 0), RbVec(10, -50, 0), RbVec(10, 50, 0), RbVec(-50, 50, 0));
    ground.Quad(RbVec(10, -50, 0), RbVec(30, -50, 3.5f), RbVec(30, 50, 3.5f), RbVec(10, 50, 0));
    ground.Quad(RbVec(30, -50, 3.5f), RbVec(90, -50, 3.5f), RbVec(90, 50, 3.5f), RbVec(30, 50, 3.5f));
    RbSimulatorPtr sim = Make();
    const float mass = 100.0f;
    RbRigidBody* car = sim->NewRigidBody();
    car->AttachGeometry()->SetBoxDimensions(2, 1, 0.2f);
    Suspension suspension;
    for (float x : {-1.0f, 1.0f}) {
        for (float y : {-0.5f, 0.5f}) {
            RbSensor* s = car->AttachSensor();
            s->SetSegment(RbVec(x, y, 0), RbVec(0, 0, -1));
            suspension.sensors.push_back(s);
        }
    }
    car->UpdateBounds();
    car->SetMass(mass);
    car->SetBodyInertia(RbBoxInertiaFromSizes(2, 1, 0.2f, mass));
    car->SetPosition(RbVec(0, 0, 1.0f));
    car->UpdateBounds();
    car->AttachController(&suspension, 0);
    for (int i = 0; i < 300; ++i) sim->Advance(kStep, 1, nullptr);
    // Each spring carries a quarter of the weight: compression mg / 4k.
    float compression = mass * 9.8f / (4.0f * suspension.stiffness);
    EXPECT_NEAR(car->GetPosition().z, 1.0f - compression, 1e-3f);

    suspension.drive = 800.0f;
    for (int i = 0; i < 900; ++i) sim->Advance(kStep, 1, nullptr);
    EXPECT_GT(car->GetPosition().x, 35.0f);
    EXPECT_NEAR(car->GetPosition().z, 3.5f + 1.0f - compression, 0.01f);
    EXPECT_EQ(car->RestContactCount(), 0); // only the sensors ever touched the ground
}

namespace {

// A bumpy bowl of triangles; the query answers the cells under the box.
struct GridBowl {
    int n = 30;
    float cell = 2.0f;
    float origin = -30.0f;
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> answer;

    float Height(int i, int j) const {
        float x = origin + i * cell, y = origin + j * cell;
        return 0.3f * std::sin(i * 0.9f) * std::cos(j * 0.7f) + 0.005f * (x * x + y * y);
    }
    void Build() {
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) vertices.push_back(RbVec(origin + i * cell, origin + j * cell, Height(i, j)));
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
                RbTriangle t1, t2;
                t1.vertex[0] = a, t1.vertex[1] = b, t1.vertex[2] = c;
                t2.vertex[0] = a, t2.vertex[1] = c, t2.vertex[2] = d;
                triangles.push_back(t1);
                triangles.push_back(t2);
            }
        }
    }
};
GridBowl* g_bowl = nullptr;

void AnswerBowl(const RbVector* lo, const RbVector* hi, const int** candidates, const RbTriangle** triangles,
                const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    GridBowl& g = *g_bowl;
    g.answer.clear();
    auto cellOf = [&](float v) { return static_cast<int>(std::floor((v - g.origin) / g.cell)); };
    int i0 = std::max(0, cellOf(lo->x)), i1 = std::min(g.n - 1, cellOf(hi->x));
    int j0 = std::max(0, cellOf(lo->y)), j1 = std::min(g.n - 1, cellOf(hi->y));
    for (int j = j0; j <= j1; ++j) {
        for (int i = i0; i <= i1; ++i) {
            g.answer.push_back(2 * (j * g.n + i));
            g.answer.push_back(2 * (j * g.n + i) + 1);
        }
    }
    *candidates = g.answer.data();
    *candidateCount = static_cast<int>(g.answer.size());
    *triangles = g.triangles.data();
    *triangleCount = static_cast<int>(g.triangles.size());
    *vertices = g.vertices.data();
}

} // namespace

TEST(CrowdScenario, ThreeHundredMixedBodiesStayFiniteAndOnTheGround) {
    GridBowl bowl;
    bowl.Build();
    g_bowl = &bowl;
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 300;
    sizes.geometriesCount = 300;
    sizes.overlapPairsCount = 6000;
    RbSimulatorPtr sim = MakeSimulator(sizes);
    sim->SetTerrainQuery(AnswerBowl);
    uint32_t seed = 12345;
    auto random = [&]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7fff) / 32767.0f;
    };
    std::vector<RbRigidBody*> bodies;
    for (int i = 0; i < 300; ++i) {
        RbRigidBody* b = sim->NewRigidBody();
        ASSERT_NE(b, nullptr);
        RbGeometry* g = b->AttachGeometry();
        float sx = 0.5f + 0.9f * random(), sy = 0.5f + 0.9f * random(), sz = 0.5f + 0.9f * random();
        float mass = 0.5f + 3.0f * random();
        if (i % 3 == 2) {
            g->SetCylinderShape(sx, sy + 0.3f);
            b->UpdateBounds();
            b->SetMass(mass);
            b->SetBodyInertia(RbCylinderInertia(sx, sy + 0.3f, mass));
        } else {
            g->SetBoxDimensions(sx, sy, sz);
            b->UpdateBounds();
            b->SetMass(mass);
            b->SetBodyInertia(RbBoxInertiaFromSizes(sx, sy, sz, mass));
        }
        b->SetPosition(RbVec(-15.0f + 30.0f * random(), -15.0f + 30.0f * random(), 1.5f + 8.0f * random()));
        b->SetRotation(RbNormalizeQuaternion(RbQuaternion{random() - 0.5f, random() - 0.5f, random() - 0.5f, 1.0f}));
        b->UpdateBounds();
        bodies.push_back(b);
    }
    int nonFinite = 0;
    float lowest = 1e9f;
    for (int step = 0; step < 10000; ++step) {
        sim->Advance(kStep, 1, nullptr);
        for (RbRigidBody* b : bodies) {
            if (!RbIsFinite(b->GetPosition()) || !RbIsFinite(b->GetVelocity()) || !RbIsFinite(b->GetRotation()) ||
                !RbIsFinite(b->GetAngularMomentum()))
                ++nonFinite;
            lowest = std::min(lowest, b->GetPosition().z);
        }
    }
    EXPECT_EQ(nonFinite, 0);
    // The bowl's lowest point is above -0.3; no centre ever went below it.
    EXPECT_GT(lowest, -0.3f);
    g_bowl = nullptr;
}
