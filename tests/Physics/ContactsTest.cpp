// Contacts reaching the collision callback, terrain queries and line sensors.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

namespace {

const float kPi = 3.14159265f;

struct Reported {
    RbCollisionInfo info;
};
std::vector<Reported> g_reports;
void RecordContact(RbCollisionInfo* info) { g_reports.push_back({*info}); }

// The terrain the query callback answers with.
struct TerrainAnswer {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> candidates;
    int calls = 0;
    RbVector lastMin, lastMax;
    RbRigidBody* lastBody = nullptr;
    bool nullArrays = false;

    void Square(float z, float half, int material, int mode, int boxMaterial) {
        int base = static_cast<int>(vertices.size());
        vertices.insert(vertices.end(),
                        {RbVec(-half, -half, z), RbVec(half, -half, z), RbVec(half, half, z), RbVec(-half, half, z)});
        const int corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto& c : corners) {
            RbTriangle t;
            for (int k = 0; k < 3; ++k) t.vertex[k] = base + c[k];
            t.material = material;
            t.testMode = mode;
            t.boxMaterial = boxMaterial;
            triangles.push_back(t);
            candidates.push_back(static_cast<int>(triangles.size()) - 1);
        }
    }
};
TerrainAnswer* g_terrain = nullptr;

void AnswerTerrain(const RbVector* boxMin, const RbVector* boxMax, const int** candidates, const RbTriangle** triangles,
                   const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody* body) {
    TerrainAnswer& t = *g_terrain;
    ++t.calls;
    t.lastMin = *boxMin;
    t.lastMax = *boxMax;
    t.lastBody = body;
    if (t.nullArrays) {
        *candidateCount = 5;
        return;
    }
    *candidates = t.candidates.data();
    *triangles = t.triangles.data();
    *vertices = t.vertices.data();
    *candidateCount = static_cast<int>(t.candidates.size());
    *triangleCount = static_cast<int>(t.triangles.size());
}

class ContactsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        g_terrain = &terrain;
        sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
        sim->SetCollisionCallback(RecordContact);
    }
    void TearDown() override { g_terrain = nullptr; }

    TerrainAnswer terrain;
    RbSimulatorPtr sim;
};

TEST_F(ContactsTest, PairContactReachesTheCallbackWithItsRecord) {
    sim->GetResponseTable()->Set(0, 0, 2); // report only
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0, 0));
    a->GetFirstGeometry()->SetMaterial(7);
    b->GetFirstGeometry()->SetMaterial(8);
    a->SetVelocity(RbVec(0, 1, 0));
    sim->Advance(kStep, 1, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    const RbCollisionInfo& info = g_reports[0].info;
    RbBody* first = info.bodyA;
    RbBody* second = static_cast<RbBody*>(info.bodyB);
    ASSERT_TRUE((first == a && second == b) || (first == b && second == a));
    EXPECT_EQ(info.typeA, 1);
    EXPECT_EQ(info.typeB, 1);
    EXPECT_EQ(info.geometryA, first->GetFirstGeometry());
    EXPECT_EQ(info.geometryB, second->GetFirstGeometry());
    EXPECT_EQ(info.materialA, first == a ? 7 : 8);
    EXPECT_EQ(info.materialB, first == a ? 8 : 7);
    // Normal from B toward A, unit length; the points lie on the two boxes.
    RbVector fromBToA =
        static_cast<RbRigidBody*>(first)->GetPosition() - static_cast<RbRigidBody*>(second)->GetPosition();
    EXPECT_GT(RbDot(info.normal, fromBToA), 0.0f);
    EXPECT_NEAR(RbLength(info.normal), 1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(info.pointAWorld.x - info.pointBWorld.x), 0.1f, 1e-5f);
    RbVector expectedRelative = first == a ? RbVec(0, 1, 0) : RbVec(0, -1, 0);
    EXPECT_VEC_NEAR(info.relativeVelocity, expectedRelative.x, expectedRelative.y, expectedRelative.z, 1e-6f);
    // The local points are the world points relative to each body, in its axes.
    RbVector localA = RbInverseTransformPoint(first->transform, info.pointAWorld);
    EXPECT_VEC_NEAR(info.pointALocal, localA.x, localA.y, localA.z, 1e-5f);
    // Reported only: nothing pushes the boxes apart.
    EXPECT_NEAR(b->GetPosition().x, 0.9f, 1e-6f);
}

TEST_F(ContactsTest, ResponseBitsDecideWhetherTheCallbackRuns) {
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0, 0));
    b->SetCollisionGroup(1);
    for (int response : {0, 1, 2, 3}) {
        g_reports.clear();
        sim->GetResponseTable()->Set(0, 1, response);
        b->SetCollisionGroup(0);
        b->SetCollisionGroup(1);
        sim->Advance(kStep, 1, nullptr);
        EXPECT_EQ(g_reports.size(), (response & 2) ? 1u : 0u) << response;
        a->SetPosition(RbVec(0, 0, 0));
        b->SetPosition(RbVec(0.9f, 0, 0));
        a->SetVelocity(RbVec(0, 0, 0));
        b->SetVelocity(RbVec(0, 0, 0));
    }
}

TEST_F(ContactsTest, AnimatedPartnerAndRestingBodies) {
    sim->GetResponseTable()->Set(0, 0, 2);
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbAnimatedBody* wall = sim->NewAnimatedBody();
    wall->AttachGeometry()->SetBoxDimensions(1, 4, 4);
    wall->UpdateBounds();
    wall->SetPosition(RbVec(0.9f, 0, 0));
    sim->Advance(kStep, 1, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    const RbCollisionInfo& info = g_reports[0].info;
    EXPECT_EQ(info.bodyA, box); // the rigid body takes side A of a pair it enters beside an animated one
    EXPECT_EQ(info.typeA, 1);
    EXPECT_EQ(info.typeB, 2);
    // A resting box beside a still animated body is not tested at all.
    g_reports.clear();
    box->SetResting();
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(g_reports.empty());
    // Moving the animated body tests the pair again.
    wall->SetPosition(RbVec(0.85f, 0, 0));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(g_reports.size(), 1u);
}

TEST_F(ContactsTest, MultiShapeBodiesReportTheDeepestShapePair) {
    sim->GetResponseTable()->Set(0, 0, 2);
    RbRigidBody* a = sim->NewRigidBody();
    RbGeometry* near = a->AttachGeometry();
    near->SetBoxDimensions(1, 1, 1);
    RbGeometry* far = a->AttachGeometry();
    far->SetBoxDimensions(1, 1, 1);
    far->SetTransform(Translation(5, 0, 0));
    RbGeometry* deep = a->AttachGeometry();
    deep->SetBoxDimensions(1, 1, 1);
    deep->SetTransform(Translation(0, 2, 0));
    a->UpdateBounds();
    RbRigidBody* b = sim->NewRigidBody();
    RbGeometry* b1 = b->AttachGeometry();
    b1->SetBoxDimensions(1, 1, 1);
    b1->SetTransform(Translation(0.9f, 0, 0));
    RbGeometry* b2 = b->AttachGeometry();
    b2->SetBoxDimensions(1, 1, 1);
    b2->SetTransform(Translation(0.7f, 2, 0));
    b->UpdateBounds();
    sim->Advance(kStep, 1, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    const RbCollisionInfo& info = g_reports[0].info;
    RbGeometry* ga = info.bodyA == a ? info.geometryA : info.geometryB;
    RbGeometry* gb = info.bodyA == a ? info.geometryB : info.geometryA;
    EXPECT_EQ(ga, deep);
    EXPECT_EQ(gb, b2);
}

TEST_F(ContactsTest, TerrainQuerySuppliesTrianglesAndContactsFollowPairContacts) {
    terrain.Square(0, 20, 3, 0, 5);
    sim->SetTerrainQuery(AnswerTerrain);
    sim->GetResponseTable()->Set(0, -1, 2);
    sim->GetResponseTable()->Set(0, 0, 2);
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.45f));
    MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0, 0.45f));
    RbRigidBody* wheel = sim->NewRigidBody();
    RbGeometry* cyl = wheel->AttachGeometry();
    cyl->SetCylinderShape(1, 0.4f);
    wheel->UpdateBounds();
    wheel->SetPosition(RbVec(5, 5, 0.45f));
    wheel->UpdateBounds();
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(terrain.calls, 3);
    ASSERT_EQ(g_reports.size(), 4u);
    EXPECT_NE(g_reports[0].info.typeB, 0); // the pair first
    for (size_t i = 1; i < 4; ++i) {
        const RbCollisionInfo& info = g_reports[i].info;
        EXPECT_EQ(info.typeA, 1);
        EXPECT_EQ(info.typeB, 0);
        EXPECT_EQ(info.bodyB, sim->GetTerrainShape());
        EXPECT_EQ(info.geometryB, nullptr);
        EXPECT_VEC_NEAR(info.normal, 0, 0, 1, 1e-5f);
        EXPECT_EQ(info.materialB, info.bodyA == wheel ? 3 : 5);
    }
    // The query received the last body's world box.
    EXPECT_EQ(terrain.lastBody, wheel);
    EXPECT_NEAR(terrain.lastMin.z, 0.45f - 0.5f, 1e-5f);
    EXPECT_NEAR(terrain.lastMax.x, 5.0f + 0.5f, 1e-5f);
    (void)box;
}

TEST_F(ContactsTest, AnEmptyTerrainAnswerEndsTheBodysTerrainTest) {
    // A fast body with sensors high above the ground: the caller answers nothing,
    // once a step, and the body meets nothing.
    sim->SetTerrainQuery(AnswerTerrain);
    sim->GetResponseTable()->Set(0, -1, 3);
    RbRigidBody* body = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 200));
    RbSensor* sensor = body->AttachSensor();
    sensor->SetSegment(RbVec(0, 0, 0), RbVec(0, 0, -2));
    body->SetVelocity(RbVec(0, 0, -80));
    for (int step = 1; step <= 30; ++step) {
        sim->Advance(kStep, 1, nullptr);
        EXPECT_EQ(terrain.calls, step);
        EXPECT_EQ(sensor->GetHitDepth(), 0.0f);
    }
    EXPECT_TRUE(g_reports.empty());
    EXPECT_NEAR(body->GetPosition().z, 200.0f - 80.0f * 30.0f * kStep, 1e-3f);
    EXPECT_VEC_NEAR(body->GetVelocity(), 0, 0, -80, 1e-4f);
}

TEST_F(ContactsTest, TerrainQueryIsSkippedForRestingBodies) {
    terrain.Square(0, 20, 0, 0, 0);
    sim->SetTerrainQuery(AnswerTerrain);
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 3));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(terrain.calls, 1);
    box->SetResting();
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(terrain.calls, 1);
}

TEST_F(ContactsTest, StackedSurfacesGiveTheContactOfTheSurfaceTouched) {
    terrain.Square(-1.0f, 20, 0, 0, 1);
    terrain.Square(0.0f, 20, 0, 0, 2);
    sim->SetTerrainQuery(AnswerTerrain);
    sim->GetResponseTable()->Set(0, -1, 2);
    MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.45f));
    sim->Advance(kStep, 1, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].info.materialB, 2);
    EXPECT_NEAR(g_reports[0].info.pointBWorld.z, 0.0f, 1e-5f);
}

TEST_F(ContactsTest, BadTerrainAnswersAreSurvived) {
    terrain.Square(0, 20, 0, 0, 0);
    terrain.candidates.push_back(1000);
    terrain.candidates.push_back(-1);
    sim->SetTerrainQuery(AnswerTerrain);
    sim->GetResponseTable()->Set(0, -1, 2);
    MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.45f));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(g_reports.size(), 1u); // the valid triangles still count
    g_reports.clear();
    terrain.nullArrays = true;
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(ContactsTest, OwnTreeAnswersWhenNoQueryIsSet) {
    sim->GetResponseTable()->Set(0, -1, 2);
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.45f));
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(g_reports.empty()); // an empty tree finds nothing

    RbTerrainTree& tree = sim->GetTerrainTree();
    std::vector<RbVector> v = {RbVec(-5, -5, 0), RbVec(5, -5, 0), RbVec(0, 5, 0)};
    ASSERT_TRUE(tree.SetVertices(v.data(), 3));
    RbTriangle t;
    t.vertex[0] = 0;
    t.vertex[1] = 1;
    t.vertex[2] = 2;
    t.boxMaterial = 4;
    int index = tree.AddTriangle(t);
    ASSERT_EQ(index, 0);
    int leaf = tree.AddNode(RbVec(-5, -5, -1), RbVec(5, 5, 0), &index, 1);
    int duplicate = tree.AddNode(RbVec(-5, -5, -1), RbVec(5, 5, 0), &index, 1);
    tree.SetRootBox(RbVec(-100, -100, -100), RbVec(100, 100, 100));
    ASSERT_TRUE(tree.SetChild(-1, 0, leaf));
    ASSERT_TRUE(tree.SetChild(-1, 1, duplicate));
    // A query box touching the leaf at one face finds it.
    RbDefaultAllocator allocator;
    RbArray<const RbTerrainTreeNode*> found;
    found.Init(&allocator, 4, -1);
    tree.Query(found, RbVec(-1, -1, 0), RbVec(1, 1, 1));
    EXPECT_EQ(found.Size(), 2);
    sim->Advance(kStep, 1, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].info.materialB, 4);
    sim->FreeTerrainTree();
    g_reports.clear();
    sim->Advance(kStep, 1, nullptr);
    EXPECT_TRUE(g_reports.empty());
    (void)box;
}

TEST(ContactResponse, RigidBodyBelowAnAnimatedOneIsPushedOut) {
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbAnimatedBody* lid = sim->NewAnimatedBody();
    lid->AttachGeometry();
    lid->UpdateBounds();
    lid->SetPosition(RbVec(0, 0, 0.9f));
    sim->Advance(kStep, 1, nullptr);
    // Pushed down by the depth before the step's integration added the fall.
    float fall = 9.8f * kStep * kStep * 1.5f;
    EXPECT_NEAR(box->GetPosition().z, -0.1f - fall, 1e-4f);
    EXPECT_EQ(box->pushedPrevious, 1);
}

TEST(ContactResponse, BodiesSideBySideAreMovedApartAcrossGravityOnly) {
    // A side contact whose normal leans 27 degrees downwards into A: A is moved
    // sideways, never into whatever holds it up.
    RbSimulatorPtr sim = MakeSimulator();
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.5f));
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(1.0f, 0, 0.9f));
    RbContact contact;
    contact.collided = 1;
    contact.bodyA = a;
    contact.bodyB = b;
    contact.normal = RbNormalize(RbVec(-0.89f, 0.0f, -0.45f));
    contact.depth = 0.1f;
    contact.pointA = contact.pointB = RbVec(0.5f, 0, 0.8f);
    contact.offsetA = contact.pointA - a->GetPosition();
    contact.offsetB = contact.pointB - b->GetPosition();
    sim->RegisterContact(a, b, contact);
    EXPECT_FLOAT_EQ(a->GetPosition().z, 0.5f);
    EXPECT_FLOAT_EQ(b->GetPosition().z, 0.9f);
    EXPECT_LT(a->GetPosition().x, -0.04f);
    EXPECT_GT(b->GetPosition().x, 1.04f);
}

TEST(ContactResponse, ParticleIsMovedOutOfARigidBody) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* box = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    RbRigidBody* particle = sim->NewRigidParticle();
    particle->AttachGeometry();
    particle->UpdateBounds();
    particle->SetPosition(RbVec(0.9f, 0, 0));
    sim->Advance(kStep, 1, nullptr);
    // The particle is side B of the pair (a rigid body takes side A) and leaves by the depth.
    EXPECT_NEAR(particle->GetPosition().x, 1.0f, 1e-5f);
    EXPECT_VEC_NEAR(box->GetPosition(), 0, 0, 0, 0);
}

// ---------------------------------------------------------------- sensors

class SensorReader : public RbControllerCallback {
public:
    void OnControllerStep(RbController*, float) override {
        depth = sensor->GetHitDepth();
        normal = sensor->GetHitNormal();
        point = sensor->GetHitPoint();
    }
    RbSensor* sensor = nullptr;
    float depth = -1.0f;
    RbVector normal, point;
};

// A rigid body with one small box and a downward sensor from (0, 0, 1) of length `length`.
RbRigidBody* MakeProbe(RbSimulator* sim, const RbVector& position, float length, SensorReader& reader) {
    RbRigidBody* probe = sim->NewRigidBody();
    probe->AttachGeometry()->SetBoxDimensions(0.1f, 0.1f, 0.1f);
    reader.sensor = probe->AttachSensor();
    reader.sensor->SetSegment(RbVec(0, 0, 1), RbVec(0, 0, -length));
    probe->UpdateBounds();
    probe->SetPosition(position);
    probe->UpdateBounds();
    probe->AttachController(&reader, 0);
    return probe;
}

TEST_F(ContactsTest, SensorHitsABoxTopAndIsClearedAfterTheStep) {
    sim->GetResponseTable()->Set(0, 0, 0);
    RbAnimatedBody* ground = sim->NewAnimatedBody();
    ground->AttachGeometry()->SetBoxDimensions(4, 4, 1);
    ground->UpdateBounds();
    ground->SetPosition(RbVec(0, 0, 0));
    sim->GetResponseTable()->Set(0, 1, 2);
    ground->SetCollisionGroup(1);
    SensorReader reader;
    MakeProbe(sim.get(), RbVec(0.5f, 0, 0), 1.0f, reader);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_NEAR(reader.depth, 0.5f, 1e-5f);
    EXPECT_VEC_NEAR(reader.normal, 0, 0, 1, 1e-6f);
    EXPECT_VEC_NEAR(reader.point, 0.5f, 0, 0.5f, 1e-5f);
    EXPECT_EQ(reader.sensor->GetHitDepth(), 0.0f);
}

TEST_F(ContactsTest, SensorStartingInsideABoxReportsTheEntryBehindIt) {
    RbGeometry box;
    box.SetDefaults();
    box.SetBoxDimensions(2, 2, 2);
    RbSensorHit hit = RbSensorTestGeometry(RbVec(0, 0, 0.5f), RbVec(0, 0, -1), 1.0f, box);
    EXPECT_NEAR(hit.depth, 1.5f, 1e-5f); // from the entry at z = 1 to the end at z = -0.5
    EXPECT_GT(hit.depth, 1.0f);
    EXPECT_VEC_NEAR(hit.normal, 0, 0, 1, 0);
    // Degenerate segments and cylinders never hit.
    EXPECT_EQ(RbSensorTestGeometry(RbVec(0, 0, 0.5f), RbVec(0, 0, 0), 0.0f, box).depth, 0.0f);
    RbGeometry cyl;
    cyl.SetDefaults();
    cyl.SetCylinderShape(2, 2);
    EXPECT_EQ(RbSensorTestGeometry(RbVec(0, 0, 3), RbVec(0, 0, -6), 6.0f, cyl).depth, 0.0f);
}

TEST_F(ContactsTest, SensorKeepsTheDeepestTerrainHit) {
    terrain.Square(0.3f, 20, 0, 0, 0); // upper surface first
    terrain.Square(0.0f, 20, 0, 0, 0);
    terrain.Square(0.6f, 20, 0, 0, 0);
    sim->SetTerrainQuery(AnswerTerrain);
    sim->GetResponseTable()->Set(0, -1, 0);
    SensorReader reader;
    MakeProbe(sim.get(), RbVec(0, 0, 0), 2.0f, reader);
    sim->Advance(kStep, 1, nullptr);
    // The segment runs from z = 1 to z = -1: the first surface along it (z = 0.6)
    // leaves the most of the segment beyond the hit.
    EXPECT_NEAR(reader.depth, 1.6f, 1e-5f);
    EXPECT_NEAR(reader.point.z, 0.6f, 1e-5f);
    EXPECT_VEC_NEAR(reader.normal, 0, 0, 1, 1e-6f);
}

// Segments meeting the mesh exactly on its shared vertices and edges, its border, or
// slanting across several triangles, still find their hit.
TEST(SensorMesh, HitsOnVerticesEdgesAndBordersAreFound) {
    std::vector<RbVector> vertices;
    for (int j = 0; j <= 2; ++j)
        for (int i = 0; i <= 2; ++i) vertices.push_back(RbVec(float(i), float(j), 0.25f));
    std::vector<RbTriangle> triangles;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            int a = j * 3 + i, b = a + 1, c = a + 4, d = a + 3;
            for (auto [x, y, z] : {std::tuple{a, b, c}, std::tuple{a, c, d}}) {
                RbTriangle t;
                t.vertex[0] = x;
                t.vertex[1] = y;
                t.vertex[2] = z;
                triangles.push_back(t);
            }
        }
    std::vector<int> candidates;
    for (size_t i = 0; i < triangles.size(); ++i) candidates.push_back(int(i));
    RbGeometry mesh;
    mesh.SetDefaults();
    mesh.SetTriangleMesh(candidates.data(), int(candidates.size()), triangles.data(), int(triangles.size()),
                         vertices.data());
    struct Case {
        const char* name;
        RbVector from, segment;
        float depth;
    } cases[] = {
        {"shared vertex", RbVec(1, 1, 1), RbVec(0, 0, -1), 0.25f},
        {"shared edge", RbVec(0.5f, 1, 1), RbVec(0, 0, -2), 1.25f},
        {"diagonal", RbVec(0.5f, 0.5f, 1), RbVec(0, 0, -1), 0.25f},
        {"border corner", RbVec(0, 0, 1), RbVec(0, 0, -1), 0.25f},
        {"far border", RbVec(2, 1.5f, 0.5f), RbVec(0, 0, -0.5f), 0.25f},
        {"slanted", RbVec(-0.5f, -0.5f, 1.25f), RbVec(2, 2, -2), 1.0f * std::sqrt(12.0f) * 0.5f},
        {"misses beside", RbVec(2.5f, 1, 1), RbVec(0, 0, -2), 0.0f},
    };
    for (const Case& c : cases) {
        RbSensorHit hit = RbSensorTestGeometry(c.from, c.segment, RbLength(c.segment), mesh);
        EXPECT_NEAR(hit.depth, c.depth, 1e-5f) << c.name;
    }
}

TEST_F(ContactsTest, SensorEndingExactlyOnATriangleDoesNotHit) {
    terrain.Square(0.0f, 20, 0, 0, 0);
    sim->SetTerrainQuery(AnswerTerrain);
    SensorReader reader;
    MakeProbe(sim.get(), RbVec(0, 0, 0), 1.0f, reader);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(reader.depth, 0.0f);
}

TEST_F(ContactsTest, SensorAgainstShapesOfAnotherBody) {
    sim->GetResponseTable()->Set(0, 0, 0);
    sim->GetResponseTable()->Set(0, 1, 2);
    // Two shapes: a cylinder under the sensor never hits, a box does.
    RbAnimatedBody* target = sim->NewAnimatedBody();
    RbGeometry* cyl = target->AttachGeometry();
    cyl->SetCylinderShape(1, 1);
    cyl->SetTransform(Pose(AxisAngle(RbVec(1, 0, 0), kPi / 2), 0, 0, 0));
    RbGeometry* box = target->AttachGeometry();
    box->SetBoxDimensions(1, 1, 1);
    box->SetTransform(Translation(3, 0, 0));
    target->UpdateBounds();
    target->SetCollisionGroup(1);
    target->SetPosition(RbVec(0, 0, 0));
    SensorReader overCylinder, overBox;
    MakeProbe(sim.get(), RbVec(0, 0, 0), 1.0f, overCylinder);
    MakeProbe(sim.get(), RbVec(3, 0, 0), 1.0f, overBox);
    sim->Advance(kStep, 1, nullptr);
    EXPECT_EQ(overCylinder.depth, 0.0f);
    EXPECT_NEAR(overBox.depth, 0.5f, 1e-5f);
}

} // namespace

TEST(SensorTriangles, SharedBoxesAndPlanesGiveTheSameHitsAsReadingEachTriangle) {
    // A bumpy grid of 200 candidates (more than the shared entries hold), one
    // triangle with a coordinate that is not a number, and candidates whose indices
    // are out of range: every segment gets the same hit, bit for bit, whether the
    // triangles are read afresh or shared between the segments of one answer.
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    const int cells = 10;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i)
            vertices.push_back(RbVec(i * 1.0f, j * 1.0f, 0.3f * std::sin(1.7f * i) * std::cos(1.1f * j)));
    AppendGridTriangles(cells, cells, triangles);
    vertices[12].z = std::nanf("");
    std::vector<int> candidates;
    for (int i = 0; i < static_cast<int>(triangles.size()); ++i) candidates.push_back(i);
    candidates[7] = -3;
    candidates[150] = 100000;
    RbGeometry mesh;
    mesh.SetTriangleMesh(candidates.data(), static_cast<int>(candidates.size()), triangles.data(),
                         static_cast<int>(triangles.size()), vertices.data());
    RbSensorTriangles shared;
    shared.Reset(mesh.meshCandidateCount);
    uint32_t seed = 7;
    auto random = [&]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7fff) / 32767.0f;
    };
    int hits = 0;
    for (int n = 0; n < 400; ++n) {
        RbVector origin = RbVec(10.0f * random(), 10.0f * random(), 0.5f + random());
        RbVector segment = RbVec(0.4f * (random() - 0.5f), 0.4f * (random() - 0.5f), -1.5f);
        RbSensorHit fresh = RbSensorTestGeometry(origin, segment, 1.5f, mesh);
        RbSensorHit cached = RbSensorTestTriangles(origin, segment, 1.5f, mesh, shared);
        ASSERT_EQ(std::memcmp(&fresh.depth, &cached.depth, sizeof(float)), 0) << n;
        EXPECT_VEC_NEAR(cached.point, fresh.point.x, fresh.point.y, fresh.point.z, 0.0f);
        EXPECT_VEC_NEAR(cached.normal, fresh.normal.x, fresh.normal.y, fresh.normal.z, 0.0f);
        hits += fresh.depth > 0.0f ? 1 : 0;
    }
    EXPECT_GT(hits, 300);
}
