// Emission through the manager and its pass over the active batches: unknown names, the spin,
// the copied follow-up chain, the active list, the hand-over to the render block.
#include <cmath>

#include "Render/PIVBlock.h"
#include "Render/PRenderBlock.h"
#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

constexpr const char* kTables = "dust t.tga particle.fx 1 1 0 0 0\n"
                                "derbis t.tga particle.fx 1 1 0 0 0\n"
                                "smoke t.tga particle.fx 1 1 0 0 1\n";

class ParticleEmission : public ParticleFixture {
protected:
    void SetUp() override {
        ParticleFixture::SetUp();
        ASSERT_TRUE(Load({kTables, "spot t.tga particle.fx 1 1 0 0 0\n", "", ""}));
    }
};

int CountCalls(IPMMObject*, SPParticle*);
int g_calls = 0;
int CountCalls(IPMMObject*, SPParticle*) { return ++g_calls; }

TEST_F(ParticleEmission, AnUnknownNameIsDroppedWithoutTouchingAnything) {
    manager->EmitParticle(Desc("nothing", 1.0f));
    EXPECT_TRUE(manager->GetActiveBatches().empty());
    for (const char* name : {"dust", "derbis", "smoke", "spot"}) EXPECT_EQ(Batch(name)->GetParticleCount(), 0);
}

TEST_F(ParticleEmission, OnlyTheExactNameDerbisSpinsByWholeDegrees) {
    Platform::EngineRandom expected(1234);
    Platform::EngineSeed(1234);
    manager->EmitParticle(Desc("derbis", 1.0f));
    const float spin = Batch("derbis")->GetParticle(0).spin;
    EXPECT_FLOAT_EQ(spin, static_cast<float>(expected.Next() % 360) * 0.017453292f);

    manager->EmitParticle(Desc("dust", 1.0f));
    EXPECT_EQ(Batch("dust")->GetParticle(0).spin, 0.0f);
    // Nothing else draws a number for a particle without an atlas.
    EXPECT_EQ(Platform::Random().State(), expected.State());
}

TEST_F(ParticleEmission, CopiesTheValuesAndTheFollowUpChainButNotTheCallback) {
    CPSmartPtr<IPMMObject> user(new CPPerspectiveCamera());
    SPParticleDesc d = Desc("dust", 2.0f);
    d.position = D3DXVECTOR3(1, 2, 3);
    d.velocity = D3DXVECTOR3(4, 5, 6);
    d.acceleration = D3DXVECTOR3(0, 0, -9);
    d.size = 0.5f;
    d.growth = 0.25f;
    d.fade = true;
    d.floor = -1.0f;
    d.bounce = true;
    d.callback = &CountCalls;
    d.user = user;
    d.followUp = std::make_unique<SPParticleDesc>(Desc("smoke", 1.0f));
    d.followUp->callback = &CountCalls;
    d.followUp->user = user;
    d.followUp->followUp = std::make_unique<SPParticleDesc>(Desc("dust", 3.0f));
    manager->EmitParticle(d);

    const SPParticle& p = Batch("dust")->GetParticle(0);
    EXPECT_EQ(p.position, d.position);
    EXPECT_EQ(p.previousPosition, d.position);
    EXPECT_EQ(p.velocity, d.velocity);
    EXPECT_EQ(p.lastVelocity, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(p.acceleration, d.acceleration);
    EXPECT_EQ(p.size, 0.5f);
    EXPECT_EQ(p.growth, 0.25f);
    EXPECT_EQ(p.age, 0.0f);
    EXPECT_TRUE(p.fade);
    EXPECT_TRUE(p.bounce);
    EXPECT_EQ(p.callback, &CountCalls);
    EXPECT_EQ(p.user.Get(), user.Get());
    ASSERT_TRUE(p.followUp);
    // The chain is the particle's own copy: two links, no callbacks, no user objects.
    EXPECT_NE(p.followUp.get(), d.followUp.get());
    EXPECT_EQ(p.followUp->name, "smoke");
    EXPECT_EQ(p.followUp->callback, nullptr);
    EXPECT_FALSE(p.followUp->user);
    ASSERT_TRUE(p.followUp->followUp);
    EXPECT_EQ(p.followUp->followUp->life, 3.0f);
    EXPECT_EQ(p.followUp->ChainLength(), 1);
    // The description is left as it was.
    EXPECT_EQ(d.followUp->callback, &CountCalls);
    EXPECT_EQ(d.ChainLength(), 2);
}

TEST_F(ParticleEmission, AssignDeepCopiesALongChainWithoutCallbacks) {
    SPParticleDesc head = Desc("dust", 1.0f);
    SPParticleDesc* tail = &head;
    for (int i = 0; i < 100000; ++i) {
        tail->followUp = std::make_unique<SPParticleDesc>(Desc("smoke", static_cast<float>(i)));
        tail->followUp->callback = &CountCalls;
        tail = tail->followUp.get();
    }
    SPParticleDesc copy;
    copy.Assign(head);
    EXPECT_EQ(copy.ChainLength(), 100000);
    int withCallback = 0;
    for (const SPParticleDesc* d = copy.followUp.get(); d; d = d->followUp.get())
        withCallback += d->callback != nullptr;
    EXPECT_EQ(withCallback, 0);
    // Both long chains are freed on leaving the scope without running out of stack.
}

TEST_F(ParticleEmission, ABatchJoinsTheActiveListOnItsFirstParticleOnly) {
    manager->EmitParticle(Desc("dust", 1.0f));
    manager->EmitParticle(Desc("dust", 1.0f));
    manager->EmitParticle(Desc("smoke", 1.0f));
    ASSERT_EQ(manager->GetActiveBatches().size(), 2u);
    EXPECT_EQ(manager->GetActiveBatches()[0].Get(), Batch("dust"));
    EXPECT_EQ(manager->GetActiveBatches()[1].Get(), Batch("smoke"));
    Step(0.1f);
    EXPECT_EQ(manager->GetActiveBatches().size(), 2u);
    // Lives of 1 expire once their age passed 1.
    for (int i = 0; i < 11; ++i) Step(0.1f);
    EXPECT_TRUE(manager->GetActiveBatches().empty());
    EXPECT_FALSE(Batch("dust")->HoldsParticles());
}

TEST_F(ParticleEmission, ABatchThatEmptiedIsAppendedAgainInTheSamePass) {
    // "smoke" expires in this pass (life 0, second update) while a "dust" particle after it in
    // the list releases a follow-up into "smoke": the list ends with "smoke" again, updated
    // once in the same pass.
    manager->EmitParticle(Desc("smoke", 0.0f));
    SPParticleDesc carrier = Desc("dust", 1.0f);
    carrier.followUp = std::make_unique<SPParticleDesc>(Desc("smoke", 5.0f));
    carrier.followUp->position = D3DXVECTOR3(0, 0, 1);
    manager->EmitParticle(carrier);
    Step(0.6f); // smoke survives its first update (0 > 0 is false); dust ages to 0.6
    ASSERT_EQ(manager->GetActiveBatches().size(), 2u);
    Step(0.6f); // smoke expires and leaves; then dust (0.6 > 0.5) releases into it
    ASSERT_EQ(manager->GetActiveBatches().size(), 2u);
    EXPECT_EQ(manager->GetActiveBatches()[0].Get(), Batch("dust"));
    EXPECT_EQ(manager->GetActiveBatches()[1].Get(), Batch("smoke"));
    ASSERT_EQ(Batch("smoke")->GetParticleCount(), 1);
    const SPParticle& released = Batch("smoke")->GetParticle(0);
    EXPECT_FLOAT_EQ(released.life, 5.0f);
    // Visited in the same pass, after it came back.
    EXPECT_FLOAT_EQ(released.age, 0.6f);
}

TEST_F(ParticleEmission, ClearAllEmptiesEveryBatchAndTheActiveList) {
    manager->EmitParticle(Desc("dust", 1.0f));
    SPParticleDesc spot = Desc("spot", 1.0f);
    manager->EmitParticle(spot);
    manager->ClearAll();
    EXPECT_TRUE(manager->GetActiveBatches().empty());
    EXPECT_EQ(Batch("dust")->GetParticleCount(), 0);
    EXPECT_EQ(Batch("spot")->GetVertexCount(), 0);
    // The tables stay: emission works again.
    manager->EmitParticle(Desc("dust", 1.0f));
    EXPECT_EQ(manager->GetActiveBatches().size(), 1u);
}

TEST_F(ParticleEmission, BatchesAreHandedToTheRenderBlockOnlyWithACameraAndABlock) {
    manager->EmitParticle(Desc("dust", 5.0f));
    manager->EmitParticle(Desc("spot", 5.0f));
    // No renderer and no camera: updated, not handed over, nothing breaks.
    Step(0.1f);
    EXPECT_FLOAT_EQ(Batch("dust")->GetParticle(0).age, 0.1f);

    ASSERT_TRUE(StartRenderer());
    CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock();
    ASSERT_TRUE(block);
    // A renderer but no camera (the menus).
    Step(0.1f);
    EXPECT_TRUE(block->GetFrameBatches().empty());

    UseCamera();
    Step(0.1f);
    ASSERT_EQ(block->GetFrameBatches().size(), 1u); // both batches share one material
    const auto& handed = block->GetFrameBatches()[0].second->GetRenderables();
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[0].Get(), Batch("dust"));
    EXPECT_EQ(handed[1].Get(), Batch("spot"));
}

TEST_F(ParticleEmission, ACameraButNoRendererHandsNothingOver) {
    UseCamera();
    manager->EmitParticle(Desc("dust", 5.0f));
    Step(0.1f);
    EXPECT_EQ(Batch("dust")->GetParticleCount(), 1);
}

TEST_F(ParticleEmission, AFullBatchDropsFurtherParticles) {
    for (int i = 0; i < CPParticleBatch::kMaxParticles + 10; ++i) manager->EmitParticle(Desc("dust", 1.0f));
    EXPECT_EQ(Batch("dust")->GetParticleCount(), CPParticleBatch::kMaxParticles);
    EXPECT_EQ(Batch("dust")->GetVertexCount(), 4 * CPParticleBatch::kMaxParticles);
    EXPECT_LE(Batch("dust")->GetVertexCount(), 65535);
    for (int i = 0; i < CPParticleQuadBatch::kMaxParticles + 1; ++i) manager->EmitParticle(Desc("spot", 1.0f));
    EXPECT_EQ(Batch("spot")->GetParticleCount(), CPParticleBatch::kMaxParticles);
}

} // namespace
} // namespace particletest
