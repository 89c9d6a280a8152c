// The demo game root's particle tables and effect load as they are.
#include "Platform/System/Paths.h"
#include "Render/PEffect.h"
#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

class ParticleDemoData : public ParticleFixture {
protected:
    void SetUp() override {
        ParticleFixture::SetUp();
        previousRoot = Platform::GamePaths().Root();
        Platform::GamePaths().SetRoot(KX_DATA_DIR);
    }
    void TearDown() override {
        Platform::GamePaths().SetRoot(previousRoot);
        ParticleFixture::TearDown();
    }
    std::string previousRoot;
};

TEST_F(ParticleDemoData, TheFourTablesLoadWithTheParticleEffect) {
    ASSERT_TRUE(StartRenderer());
    manager = new CPParticlesManager();
    ASSERT_TRUE(manager->LoadTables());
    for (const char* name : {"dust", "smoke", "fire", "spark", "derbis", "skid"}) {
        CPParticleBatch* batch = Batch(name);
        ASSERT_NE(batch, nullptr) << name;
        ASSERT_TRUE(batch->GetMaterial()) << name;
        ASSERT_TRUE(batch->GetMaterial()->GetEffect()) << name;
        EXPECT_EQ(batch->GetMaterial()->GetEffect()->GetName(), "particle.fx") << name;
    }
    EXPECT_NE(dynamic_cast<CPParticleQuadBatch*>(Batch("skid")), nullptr);
    EXPECT_TRUE(Batch("smoke")->HasKeys());
    ASSERT_EQ(manager->GetFlameTable().size(), 1u);
    EXPECT_EQ(manager->GetFlameTable()[0]->GetDescriptions().size(), 2u);
}

} // namespace
} // namespace particletest
