// The four particle tables: the line formats, the order they are read in and a missing file.
#include <cfloat>
#include <climits>

#include "Scene/PParticleTables.h"
#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

struct BatchLineCase {
    const char* what;
    const char* line;
    const char* name;
    const char* texture;
    const char* effect;
    int columns, rows, animation;
    bool reserved;
    RenderKey key;
    std::size_t keys;
};

class BatchLines : public ::testing::TestWithParam<BatchLineCase> {};

TEST_P(BatchLines, ReadTheNineFields) {
    const BatchLineCase& c = GetParam();
    const SPParticleBatchLine line = ParseParticleBatchLine(c.line);
    EXPECT_EQ(line.name, c.name);
    EXPECT_EQ(line.texture, c.texture);
    EXPECT_EQ(line.effect, c.effect);
    EXPECT_EQ(line.columns, c.columns);
    EXPECT_EQ(line.rows, c.rows);
    EXPECT_EQ(line.frameAnimation, c.animation);
    EXPECT_EQ(line.reserved, c.reserved);
    EXPECT_EQ(line.renderKey, c.key);
    EXPECT_EQ(line.keys.size(), c.keys);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BatchLines,
    ::testing::Values(
        BatchLineCase{"all nine", "smoke smoke.tga particle.fx 4 2 1 7 10 1:1:0.5:0:2,0:1:1:1:4", "smoke", "smoke.tga",
                      "particle.fx", 4, 2, 1, true, 32, 2},
        BatchLineCase{"no keys", "spark a.tga b.fx 1 1 0 0 0", "spark", "a.tga", "b.fx", 1, 1, 0, false, 22, 0},
        // A double blank is an empty field: everything after it moves one place on.
        BatchLineCase{"double space", "spark  a.tga b.fx 1 1 0 0 5", "spark", "", "a.tga", 0, 1, 1, false, 22, 1},
        BatchLineCase{"quoted name", "\"two words\" a.tga b.fx 2 2 1 0 3", "two words", "a.tga", "b.fx", 2, 2, 1, false,
                      25, 0},
        BatchLineCase{"only a name", "lonely", "lonely", "", "", 0, 0, 0, false, 22, 0},
        BatchLineCase{"not numbers", "x a b cols rows anim flag prio", "x", "a", "b", 0, 0, 0, false, 22, 0},
        BatchLineCase{"negative priority", "x a b 1 1 0 0 -30", "x", "a", "b", 1, 1, 0, false, -8, 0},
        BatchLineCase{"priority at the top", "x a b 1 1 0 0 99999999999", "x", "a", "b", 1, 1, 0, false, INT_MAX, 0}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

TEST(ParticleTableLines, ColourKeysReadFiveValuesEachAndMissingOnesAreZero) {
    const SPParticleBatchLine line = ParseParticleBatchLine("k t e 1 1 0 0 0 1:0.5:0.25:0:3,0.2:0.4");
    ASSERT_EQ(line.keys.size(), 2u);
    EXPECT_FLOAT_EQ(line.keys[0].a, 1.0f);
    EXPECT_FLOAT_EQ(line.keys[0].r, 0.5f);
    EXPECT_FLOAT_EQ(line.keys[0].g, 0.25f);
    EXPECT_FLOAT_EQ(line.keys[0].b, 0.0f);
    EXPECT_FLOAT_EQ(line.keys[0].size, 3.0f);
    EXPECT_FLOAT_EQ(line.keys[1].a, 0.2f);
    EXPECT_FLOAT_EQ(line.keys[1].r, 0.4f);
    EXPECT_FLOAT_EQ(line.keys[1].g, 0.0f);
    EXPECT_FLOAT_EQ(line.keys[1].size, 0.0f);
}

TEST(ParticleTableLines, SystemLineReadsSeventeenFields) {
    std::string name;
    const SPParticleSystemDesc d =
        ParseParticleSystemLine("fire1 flame 2.5 0.75 1.5 1 3 60 0 1 2 0 0 -9.8 0.5 0.25 0.125", name);
    EXPECT_EQ(name, "fire1");
    EXPECT_EQ(d.particleName, "flame");
    EXPECT_FLOAT_EQ(d.life, 2.5f);
    EXPECT_FLOAT_EQ(d.size, 0.75f);
    EXPECT_FLOAT_EQ(d.growth, 1.5f);
    EXPECT_TRUE(d.fade);
    EXPECT_FLOAT_EQ(d.speed, 3.0f);
    EXPECT_EQ(d.coneAngle, 60);
    EXPECT_EQ(d.direction, D3DXVECTOR3(0.0f, 1.0f, 2.0f));
    EXPECT_EQ(d.acceleration, D3DXVECTOR3(0.0f, 0.0f, -9.8f));
    EXPECT_EQ(d.spread, D3DXVECTOR3(0.5f, 0.25f, 0.125f));
}

TEST(ParticleTableLines, SystemDescriptionDefaultsAndAShortLine) {
    const SPParticleSystemDesc fresh;
    EXPECT_EQ(fresh.life, 0.0f);
    EXPECT_EQ(fresh.growth, 0.0f);
    EXPECT_EQ(fresh.direction, D3DXVECTOR3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(fresh.speed, 0.0f);
    EXPECT_EQ(fresh.size, 1.0f);
    EXPECT_TRUE(fresh.fade);
    EXPECT_TRUE(fresh.particleName.empty());
    EXPECT_EQ(fresh.coneAngle, 0);
    EXPECT_EQ(fresh.spread, D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    // A field that is missing reads as empty, i.e. 0, whatever the default was.
    std::string name;
    const SPParticleSystemDesc shortLine = ParseParticleSystemLine("half smoke 2", name);
    EXPECT_EQ(name, "half");
    EXPECT_EQ(shortLine.particleName, "smoke");
    EXPECT_FLOAT_EQ(shortLine.life, 2.0f);
    EXPECT_EQ(shortLine.size, 0.0f);
    EXPECT_FALSE(shortLine.fade);
    EXPECT_EQ(shortLine.direction, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

TEST(ParticleTableLines, FlameLineNamesAreSeparatedByCommas) {
    const SPFlameLine line = ParseFlameLine("fire1,smoke1, spark ;0.25;6;1.5");
    ASSERT_EQ(line.systemNames.size(), 3u);
    EXPECT_EQ(line.systemNames[0], "fire1");
    EXPECT_EQ(line.systemNames[1], "smoke1");
    EXPECT_EQ(line.systemNames[2], "spark");
    EXPECT_FLOAT_EQ(line.interval, 0.25f);
    EXPECT_FLOAT_EQ(line.lifetime, 6.0f);
    EXPECT_FLOAT_EQ(line.damage, 1.5f);

    const SPFlameLine empty = ParseFlameLine(";;;");
    EXPECT_TRUE(empty.systemNames.empty());
    EXPECT_EQ(empty.interval, 0.0f);
}

using ParticleTables = ParticleFixture;

TEST_F(ParticleTables, BatchesGetTheirAtlasMaterialKeysAndKind) {
    ASSERT_TRUE(Load({"plain t.tga particle.fx 1 1 0 1 5\n"
                      "atlas t.tga particle.fx 4 2 0 0 5 1:1:1:1:1\n"
                      "zerocols t.tga particle.fx 0 4 1 0 5\n"
                      "huge t.tga particle.fx 65537 1 1 0 5\n"
                      "huge2 t.tga particle.fx 100000 100000 1 0 5\n"
                      "widest t.tga particle.fx 65536 1 1 0 5\n",
                      "spot t.tga particle.fx 2 2 1 0 3\n", "", ""}));
    EXPECT_EQ(manager->GetBatchCount(), 7u);

    CPParticleBatch* plain = Batch("plain");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->IsAtlasOn());
    EXPECT_TRUE(plain->IsReserved());
    EXPECT_FALSE(plain->HasKeys());
    ASSERT_TRUE(plain->GetMaterial());
    EXPECT_EQ(plain->GetMaterial()->GetRenderKey(), 27);
    // The batch's name is the material's class name, which SetEffect wrote.
    EXPECT_EQ(plain->GetClassName(), "CPRenderObject - " + plain->GetMaterial()->GetClassName());

    CPParticleBatch* atlas = Batch("atlas");
    ASSERT_TRUE(atlas->IsAtlasOn());
    EXPECT_EQ(atlas->GetFrameCount(), 8);
    EXPECT_EQ(atlas->GetFrameAnimation(), 0);
    // Row by row: frame 5 is column 1 of row 1.
    EXPECT_FLOAT_EQ(atlas->GetFrameU(5), 0.25f);
    EXPECT_FLOAT_EQ(atlas->GetFrameV(5), 0.5f);
    EXPECT_FLOAT_EQ(atlas->GetFrameU(7), 0.75f);
    EXPECT_TRUE(atlas->HasKeys());

    EXPECT_FALSE(Batch("zerocols")->IsAtlasOn());
    EXPECT_FALSE(Batch("huge")->IsAtlasOn());
    EXPECT_FALSE(Batch("huge2")->IsAtlasOn());
    EXPECT_TRUE(Batch("widest")->IsAtlasOn());

    EXPECT_NE(dynamic_cast<CPParticleQuadBatch*>(Batch("spot")), nullptr);
    EXPECT_EQ(dynamic_cast<CPParticleQuadBatch*>(Batch("atlas")), nullptr);
}

TEST_F(ParticleTables, ALaterLineReplacesAnEarlierOneOfTheSameName) {
    ASSERT_TRUE(Load({"dust t.tga particle.fx 1 1 0 0 0\ndust t.tga particle.fx 2 2 1 0 0\n", "", "", ""}));
    EXPECT_EQ(manager->GetBatchCount(), 1u);
    EXPECT_TRUE(Batch("dust")->IsAtlasOn());
}

TEST_F(ParticleTables, CommentsAndBlankLinesAreSkipped) {
    ASSERT_TRUE(Load({"// smoke t.tga particle.fx 1 1 0 0 0\n\n  fog t.tga particle.fx 1 1 0 0 0  \n", "", "", ""}));
    EXPECT_EQ(manager->GetBatchCount(), 1u);
    EXPECT_NE(Batch("fog"), nullptr);
}

struct MissingCase {
    const char* what;
    Tables tables;
    std::size_t batches;
    std::size_t systems;
};

class MissingTables : public ParticleFixture, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingTables, StopTheLoadingThereAndStartAnswersFalse) {
    const MissingCase& c = GetParam();
    EXPECT_FALSE(Load(c.tables));
    EXPECT_FALSE(manager->IsRunning());
    EXPECT_EQ(manager->GetBatchCount(), c.batches);
    EXPECT_EQ(manager->GetSystemDescCount(), c.systems);
    EXPECT_TRUE(manager->GetFlameTable().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MissingTables,
    ::testing::Values(MissingCase{"particles", {nullptr, "s t e 1 1 0 0 0", "a b", "a;1;1;1"}, 0, 0},
                      MissingCase{"spots", {"p t e 1 1 0 0 0", nullptr, "a b", "a;1;1;1"}, 1, 0},
                      MissingCase{"systems", {"p t e 1 1 0 0 0", "", nullptr, "a;1;1;1"}, 1, 0},
                      MissingCase{"flames", {"p t e 1 1 0 0 0", "", "a b", nullptr}, 1, 1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ParticleTables, AllFourReadStartsTheTask) {
    ASSERT_TRUE(Load({"p t.tga particle.fx 1 1 0 0 0", "", "fire p 1 1 0 1 1 0 0 0 1 0 0 0 0 0 0", "fire;0.5;2;1"}));
    EXPECT_TRUE(manager->IsRunning());
    ASSERT_EQ(manager->GetFlameTable().size(), 1u);
    const CPParticleSystem& flame = *manager->GetFlameTable()[0];
    EXPECT_FLOAT_EQ(flame.GetInterval(), 0.5f);
    EXPECT_FLOAT_EQ(flame.GetLifetime(), 2.0f);
    EXPECT_FLOAT_EQ(flame.GetDamage(), 1.0f);
    EXPECT_EQ(flame.GetDescriptions().size(), 1u);
    EXPECT_EQ(flame.GetOwner(), nullptr);
    EXPECT_FALSE(flame.IsRunning());
}

TEST_F(ParticleTables, FlamesFindOnlyDescriptionsReadBeforeThem) {
    // Read the flames alone first: no descriptions are known yet.
    ASSERT_TRUE(Load({"p t.tga particle.fx 1 1 0 0 0", "", "", "fire,smoke;0.5;2;1\nnothing;1;1;1"}));
    ASSERT_EQ(manager->GetFlameTable().size(), 2u);
    EXPECT_TRUE(manager->GetFlameTable()[0]->GetDescriptions().empty());
    EXPECT_EQ(manager->GetFlameTable()[0]->GetNames().size(), 2u);

    root->Write("Data/particlesystems.dat", "smoke p 1 1 0 1 1 0 0 0 1 0 0 0 0 0 0\n");
    manager = new CPParticlesManager();
    ASSERT_TRUE(manager->LoadTables());
    const auto& descriptions = manager->GetFlameTable()[0]->GetDescriptions();
    ASSERT_EQ(descriptions.size(), 1u);
    EXPECT_EQ(descriptions[0].particleName, "p");
}

} // namespace
} // namespace particletest
