// The batches: how particles move, age, bounce, release follow-ups and expire, and what the
// fill writes (billboards, spin, fade, colour keys, stretched quads, atlas frames, spots).
#include <cmath>
#include <cstring>

#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

constexpr float kEps = 1e-4f;

constexpr const char* kTables = "dust t.tga particle.fx 1 1 0 0 0\n"
                                "other t.tga particle.fx 1 1 0 0 0\n"
                                "anim t.tga particle.fx 2 2 1 0 0\n"
                                "fixed t.tga particle.fx 2 2 0 0 0\n"
                                "one t.tga particle.fx 1 1 0 0 0 1:0.5:0.25:0:3\n"
                                "two t.tga particle.fx 1 1 0 0 0 1:1:1:1:2,0:0:0:0:4\n"
                                "three t.tga particle.fx 1 1 0 0 0 0:0:0:0:0,1:1:1:1:1,0.5:0:0:0:5\n";
constexpr const char* kSpots = "spot t.tga particle.fx 1 1 0 0 0\n"
                               "spotanim t.tga particle.fx 2 2 1 0 0\n";

class ParticleBatches : public ParticleFixture {
protected:
    void SetUp() override {
        ParticleFixture::SetUp();
        ASSERT_TRUE(Load({kTables, kSpots, "", ""}));
    }
    // Emits and answers the batch's newest particle.
    SPParticle& Emit(const SPParticleDesc& d) {
        manager->EmitParticle(d);
        CPParticleBatch* batch = Batch(d.name);
        return batch->GetParticle(batch->GetParticleCount() - 1);
    }
};

void ExpectNear(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, kEps) << what;
    EXPECT_NEAR(actual.y, expected.y, kEps) << what;
    EXPECT_NEAR(actual.z, expected.z, kEps) << what;
}

D3DXVECTOR3 At(const SPVertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

// ---- update ------------------------------------------------------------------------------

struct MotionCase {
    const char* what;
    D3DXVECTOR3 position, velocity, acceleration;
    float size, growth, life;
    bool bounce;
    float floor;
    float dt;
    int updates;
    // After the updates:
    bool alive;
    D3DXVECTOR3 endPosition, endVelocity;
    float endSize, endAge;
};

class BatchMotion : public ParticleBatches, public ::testing::WithParamInterface<MotionCase> {};

TEST_P(BatchMotion, IntegratesGrowsBouncesAndExpires) {
    const MotionCase& c = GetParam();
    SPParticleDesc d = Desc("dust", c.life);
    d.position = c.position;
    d.velocity = c.velocity;
    d.acceleration = c.acceleration;
    d.size = c.size;
    d.growth = c.growth;
    d.bounce = c.bounce;
    d.floor = c.floor;
    manager->EmitParticle(d);
    for (int i = 0; i < c.updates; ++i) Step(c.dt);
    CPParticleBatch* batch = Batch("dust");
    ASSERT_EQ(batch->GetParticleCount(), c.alive ? 1 : 0);
    EXPECT_EQ(batch->HoldsParticles(), c.alive);
    if (!c.alive) return;
    const SPParticle& p = batch->GetParticle(0);
    ExpectNear(p.position, c.endPosition, "position");
    ExpectNear(p.velocity, c.endVelocity, "velocity");
    EXPECT_NEAR(p.size, c.endSize, kEps);
    EXPECT_NEAR(p.age, c.endAge, kEps);
}

INSTANTIATE_TEST_SUITE_P(Table, BatchMotion,
                         ::testing::Values(
                             // The new velocity moves the particle: (1, 0, 0) + (0, 0, -10) x 0.5 = (1, 0, -5).
                             MotionCase{"new velocity moves",
                                        {0, 0, 10},
                                        {1, 0, 0},
                                        {0, 0, -10},
                                        1,
                                        2,
                                        5,
                                        false,
                                        0,
                                        0.5f,
                                        1,
                                        true,
                                        {0.5f, 0, 7.5f},
                                        {1, 0, -5},
                                        2,
                                        0.5f},
                             MotionCase{"falls through the floor and bounces",
                                        {0, 0, 0.1f},
                                        {0, 0, -4},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        5,
                                        true,
                                        0,
                                        0.1f,
                                        1,
                                        true,
                                        {0, 0, 0},
                                        {0, 0, 2},
                                        1,
                                        0.1f},
                             MotionCase{"without bounce it falls on",
                                        {0, 0, 0.1f},
                                        {0, 0, -4},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        5,
                                        false,
                                        0,
                                        0.1f,
                                        1,
                                        true,
                                        {0, 0, -0.3f},
                                        {0, 0, -4},
                                        1,
                                        0.1f},
                             MotionCase{"a life of 0 survives one update",
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        0,
                                        false,
                                        0,
                                        0.1f,
                                        1,
                                        true,
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0.1f},
                             MotionCase{"and goes at the second",
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        0,
                                        false,
                                        0,
                                        0.1f,
                                        2,
                                        false,
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0},
                             // Expiry is tested before ageing: ages 0 and 0.6 pass, 1.2 > 1 goes at the third.
                             MotionCase{"expiry before ageing",
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        1,
                                        false,
                                        0,
                                        0.6f,
                                        2,
                                        true,
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        1.2f},
                             MotionCase{"expired at the third",
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0,
                                        1,
                                        false,
                                        0,
                                        0.6f,
                                        3,
                                        false,
                                        {0, 0, 0},
                                        {0, 0, 0},
                                        1,
                                        0},
                             MotionCase{"a zero frame time changes nothing",
                                        {1, 2, 3},
                                        {4, 5, 6},
                                        {7, 8, 9},
                                        1,
                                        1,
                                        1,
                                        false,
                                        0,
                                        0.0f,
                                        3,
                                        true,
                                        {1, 2, 3},
                                        {4, 5, 6},
                                        1,
                                        0}),
                         [](const auto& info) {
                             std::string n = info.param.what;
                             for (char& ch : n)
                                 if (ch == ' ' || ch == ',') ch = '_';
                             return n;
                         });

TEST_F(ParticleBatches, ABouncingParticleKeepsBouncingLower) {
    SPParticleDesc d = Desc("dust", 100.0f);
    d.position = D3DXVECTOR3(0, 0, 2);
    d.acceleration = D3DXVECTOR3(0, 0, -10);
    d.bounce = true;
    manager->EmitParticle(d);
    std::vector<float> rebounds;
    for (int i = 0; i < 400; ++i) {
        const float before = Batch("dust")->GetParticle(0).velocity.z;
        Step(0.01f);
        const SPParticle& p = Batch("dust")->GetParticle(0);
        EXPECT_GE(p.position.z, 0.0f);
        if (before < 0.0f && p.velocity.z > 0.0f) rebounds.push_back(p.velocity.z);
    }
    ASSERT_GE(rebounds.size(), 3u);
    for (std::size_t i = 1; i < rebounds.size(); ++i) EXPECT_LT(rebounds[i], rebounds[i - 1]);
}

TEST_F(ParticleBatches, AStretchedParticleKeepsItsLastVelocityWithThreeNonZeroComponents) {
    SPParticleDesc d = Desc("dust", 10.0f);
    d.stretched = true;
    d.velocity = D3DXVECTOR3(1, 2, 3);
    manager->EmitParticle(d);
    d.velocity = D3DXVECTOR3(1, 0, 3);
    manager->EmitParticle(d);
    d.stretched = false;
    d.velocity = D3DXVECTOR3(1, 2, 3);
    manager->EmitParticle(d);
    Step(0.1f);
    EXPECT_EQ(Batch("dust")->GetParticle(0).lastVelocity, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(Batch("dust")->GetParticle(1).lastVelocity, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(Batch("dust")->GetParticle(2).lastVelocity, D3DXVECTOR3(0, 0, 0));
}

struct FollowUpCase {
    const char* what;
    const char* followName;
    float followAge; // the follow-up's age after the pass that released it
};

class FollowUps : public ParticleBatches, public ::testing::WithParamInterface<FollowUpCase> {};

TEST_P(FollowUps, AreReleasedOnceAtHalfLifeOffsetByThePosition) {
    const FollowUpCase& c = GetParam();
    SPParticleDesc d = Desc("dust", 1.0f);
    d.velocity = D3DXVECTOR3(1, 0, 0);
    d.followUp = std::make_unique<SPParticleDesc>(Desc(c.followName, 4.0f));
    d.followUp->position = D3DXVECTOR3(0, 0, 5);
    d.followUp->followUp = std::make_unique<SPParticleDesc>(Desc("other", 2.0f));
    manager->EmitParticle(d);
    Step(0.3f); // age 0 -> 0.3
    Step(0.3f); // 0.3 is not past 0.5 -> 0.6
    EXPECT_EQ(Batch(c.followName)->GetParticleCount(), std::string(c.followName) == "dust" ? 1 : 0);
    Step(0.3f); // 0.6 > 0.5: released at the position after this pass's move
    CPParticleBatch* batch = Batch(c.followName);
    const SPParticle& follow = batch->GetParticle(batch->GetParticleCount() - 1);
    EXPECT_FLOAT_EQ(follow.life, 4.0f);
    ExpectNear(follow.position, D3DXVECTOR3(0.9f, 0, 5), "follow-up position");
    EXPECT_NEAR(follow.age, c.followAge, kEps);
    // Its own follow-up travels with it.
    ASSERT_TRUE(follow.followUp);
    EXPECT_EQ(follow.followUp->name, "other");
    // The carrier has none left: a fourth pass releases nothing more.
    EXPECT_FALSE(Batch("dust")->GetParticle(0).followUp);
    const int before = batch->GetParticleCount();
    Step(0.05f);
    EXPECT_EQ(batch->GetParticleCount(), before);
}

INSTANTIATE_TEST_SUITE_P(Table, FollowUps,
                         ::testing::Values(FollowUpCase{"into_the_same_batch", "dust", 0.3f},
                                           FollowUpCase{"into_a_batch_later_in_the_list", "other", 0.3f}),
                         [](const auto& info) { return std::string(info.param.what); });

struct CallbackLog {
    int calls = 0;
    D3DXVECTOR3 position{0, 0, 0};
    D3DXVECTOR3 emittedAt{0, 0, 0};
    float age = -1.0f;
    IPMMObject* user = nullptr;
    bool endIt = false;
    bool emitIntoSameBatch = false;
};
CallbackLog g_log;

int RecordingCallback(IPMMObject* user, SPParticle* p) {
    ++g_log.calls;
    g_log.position = p->position;
    g_log.emittedAt = p->previousPosition;
    g_log.age = p->age;
    g_log.user = user;
    // A hit handler that spawns effects into the same batch while the record is held.
    if (g_log.emitIntoSameBatch)
        for (int i = 0; i < 64; ++i) GetParticlesManager()->EmitParticle(Desc("dust", 10.0f));
    if (g_log.endIt) p->age = 1000.0f;
    return 0;
}

TEST_F(ParticleBatches, ACallbackSeesTheRecordAndEndsTheParticleBySettingItsAge) {
    g_log = CallbackLog();
    CPSmartPtr<IPMMObject> user(new CPPerspectiveCamera());
    SPParticleDesc d = Desc("dust", 10.0f);
    d.position = D3DXVECTOR3(1, 1, 1);
    d.velocity = D3DXVECTOR3(2, 0, 0);
    d.callback = &RecordingCallback;
    d.user = user;
    manager->EmitParticle(d);
    Step(0.5f);
    EXPECT_EQ(g_log.calls, 1);
    EXPECT_EQ(g_log.user, user.Get());
    ExpectNear(g_log.position, D3DXVECTOR3(2, 1, 1), "position after the move");
    ExpectNear(g_log.emittedAt, D3DXVECTOR3(1, 1, 1), "the emission point");
    EXPECT_FLOAT_EQ(g_log.age, 0.5f);

    g_log.endIt = true;
    Step(0.5f);
    EXPECT_EQ(g_log.calls, 2);
    EXPECT_EQ(Batch("dust")->GetParticleCount(), 1);
    Step(0.5f);
    EXPECT_EQ(g_log.calls, 2);
    EXPECT_EQ(Batch("dust")->GetParticleCount(), 0);
}

TEST_F(ParticleBatches, ACallbackMayEmitIntoItsOwnBatch) {
    g_log = CallbackLog();
    g_log.emitIntoSameBatch = true;
    SPParticleDesc d = Desc("dust", 10.0f);
    d.callback = &RecordingCallback;
    manager->EmitParticle(d);
    Step(0.1f);
    // The carrier keeps its place and its record; the new particles follow it, updated in the pass.
    CPParticleBatch* batch = Batch("dust");
    ASSERT_EQ(batch->GetParticleCount(), 65);
    EXPECT_EQ(batch->GetParticle(0).callback, &RecordingCallback);
    EXPECT_FLOAT_EQ(batch->GetParticle(0).age, 0.1f);
    EXPECT_FLOAT_EQ(batch->GetParticle(64).age, 0.1f);
}

// ---- fill -----------------------------------------------------------------------------------

TEST_F(ParticleBatches, TheTestCameraHasTheAxesTheFillTestsAssume) {
    UseCamera();
    const D3DXMATRIX& m = camera->GetInverseView();
    ExpectNear(D3DXVECTOR3(m._11, m._12, m._13), D3DXVECTOR3(-1, 0, 0), "right");
    ExpectNear(D3DXVECTOR3(m._21, m._22, m._23), D3DXVECTOR3(0, 0, 1), "up");
    ExpectNear(D3DXVECTOR3(m._41, m._42, m._43), D3DXVECTOR3(0, -10, 0), "eye");
}

TEST_F(ParticleBatches, BillboardCornersTextureCoordinatesAndIndexOrder) {
    UseCamera();
    SPParticleDesc d = Desc("dust", 2.0f);
    d.position = D3DXVECTOR3(1, 2, 3);
    d.size = 0.5f;
    manager->EmitParticle(d);
    const Filled f = Fill(*Batch("dust"), 8);
    ASSERT_EQ(f.vertices.size(), 4u);
    // (-s, -s), (s, -s), (s, s), (-s, s) along right = (-1, 0, 0) and up = (0, 0, 1).
    ExpectNear(At(f.vertices[0]), D3DXVECTOR3(1.5f, 2, 2.5f), "corner 0");
    ExpectNear(At(f.vertices[1]), D3DXVECTOR3(0.5f, 2, 2.5f), "corner 1");
    ExpectNear(At(f.vertices[2]), D3DXVECTOR3(0.5f, 2, 3.5f), "corner 2");
    ExpectNear(At(f.vertices[3]), D3DXVECTOR3(1.5f, 2, 3.5f), "corner 3");
    const float tu[4] = {0, 1, 1, 0}, tv[4] = {0, 0, 1, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.vertices[i].tu, tu[i]);
        EXPECT_EQ(f.vertices[i].tv, tv[i]);
        EXPECT_EQ(f.vertices[i].diffuse, 0xFFFFFFFFu);
        // What the batch leaves open is zero.
        EXPECT_EQ(f.vertices[i].nx, 0.0f);
        EXPECT_EQ(f.vertices[i].nz, 0.0f);
        EXPECT_EQ(f.vertices[i].specular, 0u);
        EXPECT_EQ(f.vertices[i].tu1, 0.0f);
        EXPECT_EQ(f.vertices[i].tv1, 0.0f);
    }
    EXPECT_EQ(f.indices, (std::vector<std::uint16_t>{8, 10, 9, 8, 11, 10}));
}

TEST_F(ParticleBatches, TheDrawnSizeAddsAgeTimesGrowthToTheGrownSize) {
    UseCamera();
    SPParticleDesc d = Desc("dust", 10.0f);
    d.size = 1.0f;
    d.growth = 1.0f;
    manager->EmitParticle(d);
    Step(0.5f); // size 1.5, age 0.5: drawn 1.5 + 0.5
    const Filled f = Fill(*Batch("dust"));
    EXPECT_NEAR(f.vertices[0].x, 2.0f, kEps);
    EXPECT_NEAR(f.vertices[0].z, -2.0f, kEps);
}

TEST_F(ParticleBatches, TheSpinTurnsTheQuadAboutTheViewingAxis) {
    UseCamera();
    SPParticleDesc d = Desc("dust", 2.0f);
    d.size = 0.5f;
    manager->EmitParticle(d);
    Batch("dust")->GetParticle(0).spin = 3.14159265f / 2.0f;
    const Filled f = Fill(*Batch("dust"));
    // A quarter turn: the right axis becomes up, the up axis becomes -right = (1, 0, 0).
    ExpectNear(At(f.vertices[0]), D3DXVECTOR3(-0.5f, 0, -0.5f), "corner 0");
    ExpectNear(At(f.vertices[1]), D3DXVECTOR3(-0.5f, 0, 0.5f), "corner 1");
    ExpectNear(At(f.vertices[2]), D3DXVECTOR3(0.5f, 0, 0.5f), "corner 2");
}

TEST_F(ParticleBatches, FadeAlphaFallsWithTheRemainingLife) {
    UseCamera();
    struct Case {
        float age;
        D3DCOLOR colour;
    } cases[] = {{0.0f, 0xFFFFFFFF}, {1.0f, 0x80FFFFFF}, {2.0f, 0x00FFFFFF}, {3.0f, 0x00FFFFFF}};
    for (const Case& c : cases) {
        SPParticleDesc d = Desc("dust", 2.0f);
        d.fade = true;
        manager->EmitParticle(d);
        Batch("dust")->GetParticle(0).age = c.age;
        EXPECT_EQ(Fill(*Batch("dust")).vertices[0].diffuse, c.colour) << "age " << c.age;
        manager->ClearAll();
    }
    // A life of 0 draws as at its end.
    SPParticleDesc d = Desc("dust", 0.0f);
    d.fade = true;
    manager->EmitParticle(d);
    EXPECT_EQ(Fill(*Batch("dust")).vertices[0].diffuse, 0x00FFFFFFu);
}

struct KeyCase {
    const char* batch;
    float age; // of a life of 4
    D3DCOLOR colour;
    float size;
};

class ColourKeys : public ParticleBatches, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ColourKeys, GiveColourAndSize) {
    const KeyCase& c = GetParam();
    UseCamera();
    SPParticleDesc d = Desc(c.batch, 4.0f);
    d.size = 100.0f; // replaced by the keys' size
    d.fade = true;   // the keys win over the fade
    manager->EmitParticle(d);
    Batch(c.batch)->GetParticle(0).age = c.age;
    const Filled f = Fill(*Batch(c.batch));
    EXPECT_EQ(f.vertices[0].diffuse, c.colour);
    // Corner 0 lies at -size along right (-1, 0, 0) and up (0, 0, 1).
    EXPECT_NEAR(f.vertices[0].x, c.size, kEps);
    EXPECT_NEAR(f.vertices[0].z, -c.size, kEps);
}

INSTANTIATE_TEST_SUITE_P(Table, ColourKeys,
                         ::testing::Values(
                             // One key serves every t.
                             KeyCase{"one", 0.0f, 0xFF7F3F00, 3}, KeyCase{"one", 2.0f, 0xFF7F3F00, 3},
                             KeyCase{"one", 4.0f, 0xFF7F3F00, 3},
                             // Two keys: the ends and their average at t = 0.5.
                             KeyCase{"two", 0.0f, 0xFFFFFFFF, 2}, KeyCase{"two", 2.0f, 0x7F7F7F7F, 3},
                             KeyCase{"two", 4.0f, 0x00000000, 4},
                             // Three keys: t = 0.75 lies halfway between the second and the third.
                             KeyCase{"three", 3.0f, 0xBF7F7F7F, 3}, KeyCase{"three", 1.0f, 0x7F7F7F7F, 0.5f},
                             KeyCase{"three", 5.0f, 0x7F000000, 5}));

struct StretchCase {
    const char* what;
    const char* batch;
    D3DXVECTOR3 velocity;
    float size;
    bool update; // one update of 0.5 first (the atlas-off direction is the last frame's motion)
    D3DXVECTOR3 back, front;
    float halfWidth;
};

class Stretched : public ParticleBatches, public ::testing::WithParamInterface<StretchCase> {};

TEST_P(Stretched, LengthAndWidth) {
    const StretchCase& c = GetParam();
    UseCamera();
    SPParticleDesc d = Desc(c.batch, 100.0f);
    d.stretched = true;
    d.velocity = c.velocity;
    d.size = c.size;
    manager->EmitParticle(d);
    if (c.update) Step(0.5f);
    const Filled f = Fill(*Batch(c.batch), 4);
    // The side is along z for motion along x seen from (0, -10, 0): B - w, B + w, F + w, F - w.
    const D3DXVECTOR3 side(0, 0, -c.halfWidth);
    ExpectNear(At(f.vertices[0]), c.back - side, "back -");
    ExpectNear(At(f.vertices[1]), c.back + side, "back +");
    ExpectNear(At(f.vertices[2]), c.front + side, "front +");
    ExpectNear(At(f.vertices[3]), c.front - side, "front -");
    EXPECT_EQ(f.indices, (std::vector<std::uint16_t>{4, 5, 6, 4, 6, 7}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Stretched,
    ::testing::Values(
        // Atlas off: length = speed x size, half-width = size.
        StretchCase{"atlas_off", "dust", {2, 0, 0}, 0.5f, true, {1, 0, 0}, {2, 0, 0}, 0.5f},
        StretchCase{"atlas_off_fast", "dust", {40, 0, 0}, 0.5f, true, {20, 0, 0}, {40, 0, 0}, 0.5f},
        // Atlas on: length = min(0.5 x speed x size, 4 x size), half-width a quarter of it.
        StretchCase{"atlas_on_slow", "anim", {2, 0, 0}, 0.5f, false, {0, 0, 0}, {0.5f, 0, 0}, 0.125f},
        StretchCase{"atlas_on_capped", "anim", {40, 0, 0}, 0.5f, false, {0, 0, 0}, {2, 0, 0}, 0.5f},
        // No motion over the last frame: a quad without area at the particle.
        StretchCase{"atlas_off_still", "dust", {2, 0, 0}, 0.5f, false, {0, 0, 0}, {0, 0, 0}, 0.0f}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ParticleBatches, AFillWithTimeAdvancingRefreshesThePreviousPosition) {
    UseCamera();
    SPParticleDesc d = Desc("dust", 10.0f);
    d.velocity = D3DXVECTOR3(2, 0, 0);
    d.stretched = true;
    manager->EmitParticle(d);
    Step(0.5f);
    g_deltaTime = 0.0f;
    Fill(*Batch("dust"));
    ExpectNear(Batch("dust")->GetParticle(0).previousPosition, D3DXVECTOR3(0, 0, 0), "kept at a frame time of 0");
    g_deltaTime = 0.5f;
    Fill(*Batch("dust"));
    ExpectNear(Batch("dust")->GetParticle(0).previousPosition, D3DXVECTOR3(1, 0, 0), "refreshed");
}

TEST_F(ParticleBatches, AnimatedAtlasFramesFollowTheAge) {
    UseCamera();
    SPParticleDesc d = Desc("anim", 4.0f); // 2 x 2 frames over 4 seconds: one a second
    manager->EmitParticle(d);
    SPParticle& p = Batch("anim")->GetParticle(0);
    EXPECT_FLOAT_EQ(p.frameRate, 1.0f);
    const struct {
        float age;
        float u, v;
    } cases[] = {{0.0f, 0, 0}, {1.5f, 0.5f, 0}, {2.5f, 0, 0.5f}, {3.5f, 0.5f, 0.5f}, {4.5f, 0, 0}};
    for (const auto& c : cases) {
        Batch("anim")->GetParticle(0).age = c.age;
        const Filled f = Fill(*Batch("anim"));
        EXPECT_FLOAT_EQ(f.vertices[0].tu, c.u) << "age " << c.age;
        EXPECT_FLOAT_EQ(f.vertices[0].tv, c.v) << "age " << c.age;
        EXPECT_FLOAT_EQ(f.vertices[2].tu, c.u + 0.5f);
        EXPECT_FLOAT_EQ(f.vertices[2].tv, c.v + 0.5f);
    }
    // Without a life the first frame is shown throughout.
    manager->ClearAll();
    manager->EmitParticle(Desc("anim", 0.0f));
    Batch("anim")->GetParticle(0).age = 0.7f;
    EXPECT_EQ(Fill(*Batch("anim")).vertices[0].tu, 0.0f);
    EXPECT_EQ(Fill(*Batch("anim")).vertices[0].tv, 0.0f);
}

TEST_F(ParticleBatches, AFixedFrameIsDrawnFromTheSeededGenerator) {
    UseCamera();
    Platform::EngineSeed(77);
    Platform::EngineRandom expected(77);
    for (int i = 0; i < 6; ++i) manager->EmitParticle(Desc("fixed", 4.0f));
    CPParticleBatch* batch = Batch("fixed");
    for (int i = 0; i < 6; ++i) {
        const int frame = expected.Next() % 4;
        EXPECT_EQ(batch->GetParticle(i).frame, frame);
    }
    // The frame stays whatever the age; the newest particle is written first.
    batch->GetParticle(5).age = 3.9f;
    const Filled f = Fill(*batch);
    const int newest = batch->GetParticle(5).frame;
    EXPECT_FLOAT_EQ(f.vertices[0].tu, batch->GetFrameU(newest));
    EXPECT_FLOAT_EQ(f.vertices[0].tv, batch->GetFrameV(newest));
}

TEST_F(ParticleBatches, TheCountsAreExactlyWhatTheFillWritesNewestFirst) {
    UseCamera();
    for (int i = 0; i < 5; ++i) {
        SPParticleDesc d = Desc("dust", 1.0f);
        d.position = D3DXVECTOR3(static_cast<float>(i), 0, 0);
        d.stretched = i % 2 == 1;
        manager->EmitParticle(d);
    }
    CPParticleBatch* batch = Batch("dust");
    ASSERT_EQ(batch->GetVertexCount(), 20);
    ASSERT_EQ(batch->GetIndexCount(), 30);
    std::vector<SPVertex> vertices(24);
    std::vector<std::uint16_t> indices(34, 0xABCD);
    std::memset(vertices.data(), 0x5A, vertices.size() * sizeof(SPVertex));
    batch->FillVertices(vertices.data(), indices.data(), 100, 0);
    for (int i = 20; i < 24; ++i) EXPECT_EQ(reinterpret_cast<const unsigned char*>(&vertices[i])[0], 0x5A);
    for (int i = 30; i < 34; ++i) EXPECT_EQ(indices[i], 0xABCD);
    for (int i = 0; i < 30; ++i) {
        EXPECT_GE(indices[i], 100);
        EXPECT_LT(indices[i], 120);
    }
    // Newest first: the first quad surrounds x = 4, the last x = 0.
    EXPECT_NEAR((vertices[0].x + vertices[2].x) * 0.5f, 4.0f, kEps);
    EXPECT_NEAR((vertices[16].x + vertices[18].x) * 0.5f, 0.0f, kEps);
}

// ---- spots ---------------------------------------------------------------------------------

struct SpotCase {
    const char* what;
    D3DXVECTOR3 angles;
    D3DXVECTOR3 corner0;
};

class SpotPlacement : public ParticleBatches, public ::testing::WithParamInterface<SpotCase> {};

TEST_P(SpotPlacement, UsesRotationsZYXThenTheTranslationWithALift) {
    const SpotCase& c = GetParam();
    SPParticleDesc d = Desc("spot", 5.0f);
    d.position = D3DXVECTOR3(5, 6, 7);
    d.velocity = c.angles;
    d.size = 1.0f;
    manager->EmitParticle(d);
    auto* batch = static_cast<CPParticleQuadBatch*>(Batch("spot"));
    const SPVertex* quad = batch->GetQuad(0);
    ExpectNear(At(quad[0]), c.corner0 + D3DXVECTOR3(5, 6, 7), "corner 0");
    EXPECT_EQ(quad[0].nz, 1.0f);
    EXPECT_EQ(quad[0].nx, 0.0f);
    EXPECT_EQ(quad[2].tu, 1.0f);
    EXPECT_EQ(quad[2].tv, 1.0f);
    // A spot never moves.
    Step(0.5f);
    EXPECT_EQ(batch->GetParticle(0).position, D3DXVECTOR3(5, 6, 7));
}

constexpr float kQuarter = 1.57079633f;
INSTANTIATE_TEST_SUITE_P(Table, SpotPlacement,
                         ::testing::Values(SpotCase{"flat", {0, 0, 0}, {-1, -1, 0.03f}},
                                           SpotCase{"turned_about_z", {0, 0, kQuarter}, {1, -1, 0.03f}},
                                           SpotCase{"tipped_about_x", {kQuarter, 0, 0}, {-1, -0.03f, -1}},
                                           // z first, then x: (1, -1, 0.03) tipped about x.
                                           SpotCase{"z_then_x", {kQuarter, 0, kQuarter}, {1, -0.03f, -1}}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ParticleBatches, SpotsFarFromTheCameraTargetGo) {
    UseCamera(D3DXVECTOR3(0, -10, 0), D3DXVECTOR3(0, 0, 0));
    const D3DXVECTOR3 places[] = {{30, 0, 0}, {31, 0, 0}, {0, -30, 0}, {0, -31, 0}, {-30, 30, 100}};
    for (const D3DXVECTOR3& at : places) {
        SPParticleDesc d = Desc("spot", 5.0f);
        d.position = at;
        manager->EmitParticle(d);
    }
    Step(0.1f);
    auto* batch = static_cast<CPParticleQuadBatch*>(Batch("spot"));
    ASSERT_EQ(batch->GetParticleCount(), 3);
    EXPECT_EQ(batch->GetParticle(0).position.x, 30.0f);
    EXPECT_EQ(batch->GetParticle(1).position.y, -30.0f);
    EXPECT_EQ(batch->GetParticle(2).position.z, 100.0f);
    // The quads moved down with their particles.
    EXPECT_NEAR(batch->GetQuad(1)[0].y, -30.0f, kEps);
    EXPECT_NEAR(batch->GetQuad(2)[0].z, 100.03f, kEps);
}

TEST_F(ParticleBatches, WithoutACameraSpotsAreNotCulledByDistance) {
    SPParticleDesc d = Desc("spot", 5.0f);
    d.position = D3DXVECTOR3(1000, 0, 0);
    manager->EmitParticle(d);
    Step(0.1f);
    EXPECT_EQ(Batch("spot")->GetParticleCount(), 1);
    EXPECT_EQ(Fill(*Batch("spot")).vertices.size(), 4u);
}

TEST_F(ParticleBatches, SpotsDarkenAndClearPastSixTenthsOfTheirLife) {
    UseCamera();
    const struct {
        bool fade;
        float age;
        D3DCOLOR colour;
    } cases[] = {{true, 0.0f, 0xFFFFFFFF},
                 {true, 6.0f, 0xFFFFFFFF},
                 {true, 8.0f, 0x80808080},
                 {true, 10.0f, 0x00000000},
                 {false, 9.0f, 0xFFFFFFFF}};
    for (const auto& c : cases) {
        SPParticleDesc d = Desc("spot", 10.0f);
        d.fade = c.fade;
        manager->EmitParticle(d);
        Batch("spot")->GetParticle(0).age = c.age;
        const Filled f = Fill(*Batch("spot"), 12);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(f.vertices[i].diffuse, c.colour) << "age " << c.age;
        EXPECT_EQ(f.indices, (std::vector<std::uint16_t>{12, 13, 14, 12, 14, 15}));
        manager->ClearAll();
    }
}

TEST_F(ParticleBatches, SpotAtlasFramesFollowTheAge) {
    manager->EmitParticle(Desc("spotanim", 4.0f));
    auto* batch = static_cast<CPParticleQuadBatch*>(Batch("spotanim"));
    // Frame 0 when it arrives.
    EXPECT_EQ(batch->GetQuad(0)[2].tu, 0.5f);
    batch->GetParticle(0).age = 3.0f;
    const Filled f = Fill(*batch);
    EXPECT_FLOAT_EQ(f.vertices[0].tu, 0.5f);
    EXPECT_FLOAT_EQ(f.vertices[0].tv, 0.5f);
    EXPECT_FLOAT_EQ(f.vertices[2].tu, 1.0f);
    EXPECT_FLOAT_EQ(f.vertices[2].tv, 1.0f);
}

TEST(ParticleNumbers, TruncationIsDefinedForEveryFloat) {
    EXPECT_EQ(TruncateToInt(1.9f), 1);
    EXPECT_EQ(TruncateToInt(-1.9f), -1);
    EXPECT_EQ(TruncateToInt(std::nanf("")), 0);
    EXPECT_EQ(TruncateToInt(1e30f), INT_MAX);
    EXPECT_EQ(TruncateToInt(-1e30f), INT_MIN);
    EXPECT_EQ(TruncateToInt(INFINITY), INT_MAX);
}

} // namespace
} // namespace particletest
