// Emitters: emission by interval, the lifetime, the cone and the direction, chains of
// descriptions, restarting and cloning.
#include <cmath>

#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

constexpr float kEps = 1e-4f;

constexpr const char* kParticles = "p1 t.tga particle.fx 1 1 0 0 0\n"
                                   "p2 t.tga particle.fx 1 1 0 0 0\n"
                                   "p3 t.tga particle.fx 1 1 0 0 0\n";
// name particle life size growth fade speed cone dx dy dz ax ay az sx sy sz
constexpr const char* kSystems = "up p1 10 1 0 1 2 0 0 0 1 0 0 0 0 0 0\n"
                                 "down p1 10 1 0 1 2 0 0 0 -1 0 0 0 0 0 0\n"
                                 "side p1 10 1 0 1 2 0 0 0 3 0 0 0 0 0 0\n"
                                 "wide p1 10 1 0 1 2 90 0 0 1 0 0 0 0 0 0\n"
                                 "narrow p1 10 1 0 1 2 1 0 0 1 0 0 0 0 0 0\n"
                                 "spread p1 10 1 0 1 0 0 0 0 1 0 0 0 1 2 3\n"
                                 "first p1 1 1 0 1 0 0 0 0 1 0 0 0 0 0 0\n"
                                 "second p2 2 1 0 1 0 0 0 0 1 0 0 0 0 0 0\n"
                                 "third p3 4 1 0 1 0 0 0 0 1 0 0 0 0 0 0\n";

class ParticleSystems : public ParticleFixture {
protected:
    void SetUp() override {
        ParticleFixture::SetUp();
        ASSERT_TRUE(Load({kParticles, "", kSystems, "up,down;0.25;4;2\n"}));
    }
    CPSmartPtr<CPParticleSystem> Make(std::vector<std::string> names, float interval = 0.5f) {
        CPSmartPtr<CPParticleSystem> system(new CPParticleSystem(nullptr, names));
        system->SetInterval(interval);
        system->Start();
        return system;
    }
    void Tick(CPParticleSystem& system, float dt) {
        g_deltaTime = dt;
        system.Update();
    }
    int Emitted() const { return Batch("p1")->GetParticleCount(); }
};

TEST_F(ParticleSystems, AnIntervalOfHalfASecondAndAFrameOf1_2GiveTwoEmissions) {
    auto system = Make({"up"});
    Tick(*system, 1.2f);
    EXPECT_EQ(Emitted(), 2);
    EXPECT_NEAR(system->GetAccumulated(), 0.2f, kEps);
    EXPECT_NEAR(system->GetElapsed(), 1.2f, kEps);
    Tick(*system, 0.2f); // 0.4 is not past 0.5
    EXPECT_EQ(Emitted(), 2);
    Tick(*system, 0.2f);
    EXPECT_EQ(Emitted(), 3);
}

TEST_F(ParticleSystems, AnIntervalOfZeroOrLessEmitsOncePerUpdate) {
    for (float interval : {0.0f, -1.0f, std::nanf("")}) {
        manager->ClearAll();
        auto system = Make({"up"}, interval);
        Tick(*system, 0.05f);
        Tick(*system, 1.0f);
        Tick(*system, 0.0f); // time does not advance: nothing
        EXPECT_EQ(Emitted(), 2) << interval;
        EXPECT_EQ(system->GetAccumulated(), 0.0f);
        EXPECT_NEAR(system->GetElapsed(), 1.05f, kEps);
    }
}

TEST_F(ParticleSystems, AnIntervalFarBelowTheFrameTimeStillEnds) {
    for (float interval : {1e-6f, 1e-30f, 1e-42f}) {
        manager->ClearAll();
        auto system = Make({"up"}, interval);
        Tick(*system, 0.05f);
        EXPECT_EQ(Emitted(), CPParticleSystem::kMaxEmissionsPerUpdate) << interval;
        EXPECT_LE(system->GetAccumulated(), interval);
        EXPECT_NEAR(system->GetElapsed(), 0.05f, kEps);
    }
}

TEST_F(ParticleSystems, ALifetimeOf3StopsAtTheFirstEmissionPastIt) {
    auto system = Make({"up"});
    system->SetLifetime(3.0f);
    // Emissions fall at 0.75, 1.25, ... 3.25 s; the one at 3.25 brings elapsed past 3.
    int updates = 0;
    while (system->IsRunning() && updates < 100) {
        Tick(*system, 0.25f);
        ++updates;
    }
    EXPECT_EQ(updates, 13);
    EXPECT_TRUE(system->IsKillRequested());
    EXPECT_EQ(Emitted(), 6);
}

TEST_F(ParticleSystems, WithoutALifetimeItNeverStops) {
    auto system = Make({"up"});
    for (int i = 0; i < 100; ++i) Tick(*system, 0.25f);
    EXPECT_TRUE(system->IsRunning());
    EXPECT_NEAR(system->GetElapsed(), 25.0f, 1e-3f);
}

struct DirectionCase {
    const char* name;
    D3DXVECTOR3 velocity;
};

class Directions : public ParticleSystems, public ::testing::WithParamInterface<DirectionCase> {};

TEST_P(Directions, AConeOfZeroEmitsAlongTheDirection) {
    const DirectionCase& c = GetParam();
    auto system = Make({c.name});
    const SPParticleDesc d = system->SpawnParticle(system->GetDescriptions()[0], true);
    EXPECT_NEAR(d.velocity.x, c.velocity.x, kEps);
    EXPECT_NEAR(d.velocity.y, c.velocity.y, kEps);
    EXPECT_NEAR(d.velocity.z, c.velocity.z, kEps);
    EXPECT_EQ(d.name, "p1");
    EXPECT_EQ(d.life, 10.0f);
    EXPECT_TRUE(d.fade);
    EXPECT_FALSE(d.stretched);
    EXPECT_FALSE(d.bounce);
    EXPECT_FALSE(d.followUp);
}

INSTANTIATE_TEST_SUITE_P(Table, Directions,
                         ::testing::Values(DirectionCase{"up", {0, 0, 2}}, DirectionCase{"down", {0, 0, -2}},
                                           DirectionCase{"narrow", {0, 0, 2}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParticleSystems, TheDirectionIsNormalisedInTheManagersTable) {
    auto system = Make({"side"});
    EXPECT_EQ(system->GetDescriptions()[0].direction, D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(manager->FindSystemDesc("side")->direction, D3DXVECTOR3(0, 0, 1));
}

TEST_F(ParticleSystems, AConeOf90TiltsByWholeDegreesBelow45) {
    auto system = Make({"wide"});
    int tilted = 0;
    for (int i = 0; i < 500; ++i) {
        const SPParticleDesc d = system->SpawnParticle(system->GetDescriptions()[0], true);
        EXPECT_NEAR(D3DXVec3Length(&d.velocity), 2.0f, kEps);
        const float degrees = std::acos(std::fmin(1.0f, d.velocity.z / 2.0f)) / 0.017453292f;
        EXPECT_LE(degrees, 44.0f + 0.01f);
        EXPECT_NEAR(degrees, std::round(degrees), 0.05f);
        tilted += degrees > 0.5f;
    }
    EXPECT_GT(tilted, 400);
}

TEST_F(ParticleSystems, AConeOf1DrawsNoTilt) {
    auto system = Make({"narrow"});
    Platform::EngineSeed(5);
    system->SpawnParticle(system->GetDescriptions()[0], true);
    Platform::EngineRandom expected(5);
    for (int i = 0; i < 4; ++i) expected.Next(); // three offsets and the heading
    EXPECT_EQ(Platform::Random().State(), expected.State());
}

TEST_F(ParticleSystems, ParticlesStartInsideTheSpreadBox) {
    auto system = Make({"spread"});
    for (int i = 0; i < 200; ++i) {
        const SPParticleDesc d = system->SpawnParticle(system->GetDescriptions()[0], i % 2 == 0);
        EXPECT_LE(std::fabs(d.position.x), 1.0f);
        EXPECT_LE(std::fabs(d.position.y), 2.0f);
        EXPECT_LE(std::fabs(d.position.z), 3.0f);
    }
}

TEST_F(ParticleSystems, AChainOfThreeShowsEachAtHalfTheLifeOfTheOneBefore) {
    auto system = Make({"first", "second", "third", "unknown"});
    ASSERT_EQ(system->GetDescriptions().size(), 3u);
    Tick(*system, 0.6f);
    ASSERT_EQ(Batch("p1")->GetParticleCount(), 1);
    EXPECT_EQ(Batch("p1")->GetParticle(0).followUp->ChainLength(), 1);
    system->Stop();
    // first (life 1) releases second in the pass where its age before ageing is past 0.5 (at
    // 0.75, the fourth pass); second (life 2), updated in that same pass, releases third once
    // its age is past 1 (at 1.25, five passes later).
    float t = 0.0f;
    float secondAt = -1.0f, thirdAt = -1.0f;
    while (t < 4.0f) {
        Step(0.25f);
        t += 0.25f;
        if (secondAt < 0 && Batch("p2")->GetParticleCount() > 0) secondAt = t;
        if (thirdAt < 0 && Batch("p3")->GetParticleCount() > 0) thirdAt = t;
    }
    EXPECT_EQ(secondAt, 1.0f);
    EXPECT_EQ(thirdAt, 2.25f);
}

TEST_F(ParticleSystems, ASecondStartRestartsTheClocksButAnswersFalse) {
    auto system = Make({"up"});
    Tick(*system, 0.7f);
    EXPECT_GT(system->GetElapsed(), 0.0f);
    EXPECT_FALSE(system->Start());
    EXPECT_EQ(system->GetElapsed(), 0.0f);
    EXPECT_EQ(system->GetAccumulated(), 0.0f);
    EXPECT_TRUE(system->IsRunning());
}

TEST_F(ParticleSystems, ACloneKeepsTheValuesAndStartsItsClocksAfresh) {
    auto system = Make({"up", "nothing", "down"}, 0.3f);
    system->SetLifetime(7.0f);
    system->SetDamage(2.5f);
    Tick(*system, 0.4f);
    // The table changes afterwards; the clone keeps what the source had.
    manager->FindSystemDesc("up")->speed = 99.0f;
    CPSmartPtr<IPTask> task;
    system->Clone(task);
    auto clone = DynamicPtrCast<CPParticleSystem>(task);
    ASSERT_TRUE(clone);
    EXPECT_NE(clone.Get(), system.Get());
    EXPECT_EQ(clone->GetNames(), system->GetNames());
    ASSERT_EQ(clone->GetDescriptions().size(), 2u);
    EXPECT_EQ(clone->GetDescriptions()[0].speed, 2.0f);
    EXPECT_EQ(clone->GetInterval(), 0.3f);
    EXPECT_EQ(clone->GetLifetime(), 7.0f);
    EXPECT_EQ(clone->GetDamage(), 2.5f);
    EXPECT_EQ(clone->GetOwner(), system->GetOwner());
    EXPECT_EQ(clone->GetAccumulated(), 0.0f);
    EXPECT_EQ(clone->GetElapsed(), 0.0f);
    EXPECT_FALSE(clone->IsRunning());
    EXPECT_EQ(clone->GetPriority(), 5000);
}

TEST_F(ParticleSystems, TheFlameTableGivesClonesAndNothingOutsideIt) {
    ASSERT_EQ(manager->GetFlameTable().size(), 1u);
    CPSmartPtr<CPParticleSystem> flame = manager->GetFlameSystem(0);
    ASSERT_TRUE(flame);
    EXPECT_NE(flame.Get(), manager->GetFlameTable()[0].Get());
    EXPECT_EQ(flame->GetInterval(), 0.25f);
    EXPECT_EQ(flame->GetLifetime(), 4.0f);
    EXPECT_EQ(flame->GetDamage(), 2.0f);
    EXPECT_EQ(flame->GetDescriptions().size(), 2u);
    EXPECT_FALSE(manager->GetFlameSystem(1));
    EXPECT_FALSE(manager->GetFlameSystem(-1));
}

TEST_F(ParticleSystems, ASystemWithoutDescriptionsEmitsNothing) {
    auto system = Make({"nothing"});
    Tick(*system, 2.0f);
    EXPECT_TRUE(manager->GetActiveBatches().empty());
    EXPECT_NEAR(system->GetElapsed(), 2.0f, kEps);
}

} // namespace
} // namespace particletest
