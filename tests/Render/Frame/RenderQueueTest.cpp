// The render-group queue: groups by key, effect entries, material entries, ageing, cameras
// and world matrices of groups, failing effects.
#include <gtest/gtest.h>

#include <cstring>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PTexture.h"

using namespace frametest;

namespace {

class RenderQueue : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
    }
    void Give(const CPSmartPtr<CPRenderObject>& mesh) {
        render->GetRenderBlock()->AddRenderable(CPSmartPtr<IPRenderable>(mesh.Get()));
    }
    std::size_t Draws() const { return CallsNamed("DrawIndexedPrimitive").size(); }
    CPSmartPtr<CPEffect> Effect(const std::string& request) {
        CPSmartPtr<CPEffect> effect;
        GetEffectCache()->GetEffect(effect, request);
        return effect;
    }
};

TEST_F(RenderQueue, TwoTextureBlocksUnderOneEffectShareTheEffectEntry) {
    CPSmartPtr<CPEffect> effect = Effect("one.fx");
    CPSmartPtr<CPTextureBlock> blockA(new CPTextureBlock({})), blockB(new CPTextureBlock({}));
    CPSmartPtr<CPMaterial> a(new CPMaterial(30, effect.Get(), blockA.Get()));
    CPSmartPtr<CPMaterial> b(new CPMaterial(30, effect.Get(), blockB.Get()));
    CPSmartPtr<CPRenderObject> meshA = MakeMesh(a, 3), meshB = MakeMesh(b, 6);
    Give(meshA);
    Give(meshB);
    Control()->ClearCalls();
    Frame();
    const SPRenderGroup* group = render->FindGroup(30);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->refCount, 2);
    ASSERT_EQ(group->effects.size(), 1u);
    const SPEffectEntry& entry = *group->effects[0];
    EXPECT_EQ(entry.refCount, 2);
    EXPECT_EQ(entry.lastFrame, g_frameNumber);
    ASSERT_EQ(entry.materials.size(), 2u);
    // First queued first.
    EXPECT_EQ(entry.materials[0]->material.Get(), a.Get());
    EXPECT_EQ(entry.materials[1]->material.Get(), b.Get());
    EXPECT_EQ(entry.materials[0]->parent, &entry);
    EXPECT_EQ(entry.parent, group);
    const auto draws = CallsNamed("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].args[3], 3);
    EXPECT_EQ(draws[1].args[3], 6);
    // Both batches share the ring pair: bound once.
    EXPECT_EQ(CallsNamed("SetStreamSource").size(), 1u);
    EXPECT_TRUE(a->IsQueued());
    EXPECT_TRUE(a->GetBatches().empty());
}

TEST_F(RenderQueue, IdleMaterialIsErasedInTheEleventhFrameAndQueuesAgain) {
    CPSmartPtr<CPMaterial> material = Material(30);
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    Give(mesh);
    Frame();
    const int drawnFrame = g_frameNumber;
    ASSERT_NE(render->FindGroup(30), nullptr);
    for (int i = 1; i <= 10; ++i) {
        Frame();
        const SPRenderGroup* group = render->FindGroup(30);
        ASSERT_NE(group, nullptr) << "frame " << i;
        EXPECT_EQ(group->refCount, 1);
        EXPECT_EQ(group->effects[0]->materials.size(), 1u);
        EXPECT_EQ(group->effects[0]->materials[0]->lastFrame, drawnFrame);
        EXPECT_TRUE(material->IsQueued());
    }
    Frame(); // the 11th idle frame: erased, and the empty group dropped at frame end
    EXPECT_EQ(render->FindGroup(30), nullptr);
    EXPECT_FALSE(material->IsQueued());
    // The next batch queues the material again and it draws.
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 1u);
    ASSERT_NE(render->FindGroup(30), nullptr);
    EXPECT_EQ(render->FindGroup(30)->refCount, 1);
    EXPECT_TRUE(material->IsQueued());
}

TEST_F(RenderQueue, MaterialDrawingEveryFewFramesKeepsItsEntry) {
    CPSmartPtr<CPMaterial> material = Material(30);
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    for (int round = 0; round < 3; ++round) {
        Give(mesh);
        Frame();
        for (int i = 0; i < 10; ++i) Frame();
        ASSERT_NE(render->FindGroup(30), nullptr);
    }
    EXPECT_EQ(render->FindGroup(30)->refCount, 1);
}

TEST_F(RenderQueue, EmptyEffectEntryStaysTenFramesAfterItsLastBegin) {
    CPSmartPtr<CPMaterial> stops = Material(30, "one.fx"), goesOn = Material(30, "two.fx");
    CPSmartPtr<CPRenderObject> stopsMesh = MakeMesh(stops, 3), goesOnMesh = MakeMesh(goesOn, 3);
    Give(stopsMesh);
    Give(goesOnMesh);
    Frame();
    for (int i = 0; i < 11; ++i) {
        Give(goesOnMesh);
        Frame();
    }
    // The 11th idle frame erased the material entry; its effect entry is empty but kept.
    const SPRenderGroup* group = render->FindGroup(30);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->effects.size(), 2u);
    EXPECT_EQ(group->effects[0]->refCount, 0);
    EXPECT_TRUE(group->effects[0]->materials.empty());
    EXPECT_EQ(group->refCount, 1);
    const int lastBegin = group->effects[0]->lastFrame;
    EXPECT_EQ(lastBegin, g_frameNumber);
    for (int i = 0; i < 10; ++i) {
        Give(goesOnMesh);
        Frame();
        EXPECT_EQ(render->FindGroup(30)->effects.size(), 2u) << "frame " << i;
    }
    Give(goesOnMesh);
    Frame();
    ASSERT_EQ(render->FindGroup(30)->effects.size(), 1u);
    EXPECT_EQ(render->FindGroup(30)->effects[0]->effect.Get(), goesOn->GetEffect());
    // Queued again, the material gets a fresh effect entry.
    Give(stopsMesh);
    Give(goesOnMesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 3u); // one pass of one.fx, two of two.fx
}

TEST_F(RenderQueue, StaticObjectsDrawWithTheirOwnWorldAndTheGroupsWorldComesBack) {
    const SPVertex v[3] = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0)};
    const std::uint16_t i[3] = {0, 1, 2};
    SPStaticBuffer* rock = render->CreateStaticBuffers("rock", v, i, 3, 3);
    ASSERT_NE(rock, nullptr);
    CPSmartPtr<CPMaterial> level = Material(30), moving = Material(31);
    CPSmartPtr<CPRenderObject> stone = MakeMesh(level, 3), car = MakeMesh(moving, 6);
    stone->SetFillSkipped(true);
    ASSERT_TRUE(stone->SetStaticBuffer("rock"));
    D3DXMATRIX placed;
    D3DXMatrixTranslation(&placed, 5, 0, 0);
    stone->SetWorldMatrix(placed);
    auto worldAfterFrame = [&] {
        Give(stone);
        Give(car);
        Control()->ClearCalls();
        Frame();
        D3DMATRIX world;
        render->GetDevice()->GetTransform(D3DTS_WORLD, &world);
        return D3DXMATRIX(world);
    };

    D3DXMATRIX world = worldAfterFrame();
    const auto draws = CallsNamed("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    // The static object: its own buffers, base 0, all its vertices and triangles.
    EXPECT_EQ(draws[0].ToString(), "DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)");
    EXPECT_EQ(draws[1].args[3], 6);
    const auto binds = CallsNamed("SetStreamSource");
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[0].args[1], Control()->ObjectId(rock->vertexBuffer));
    // WORLD: the group's identity, the stone's, then identity again before the car.
    std::size_t worldSets = 0;
    for (const auto& call : CallsNamed("SetTransform")) worldSets += call.args[0] == D3DTS_WORLD;
    EXPECT_EQ(worldSets, 3u);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(world, identity);

    // With a world matrix on the car's group, that matrix comes back instead.
    D3DXMATRIX scaled;
    D3DXMatrixScaling(&scaled, 2, 2, 2);
    render->SetGroupTransform(scaled, 31);
    world = worldAfterFrame();
    EXPECT_EQ(world, scaled);
}

TEST_F(RenderQueue, CameraAndWorldGroupsApplyToTheGroupsAfterThem) {
    CPSmartPtr<CPBaseCamera> camera(new CPBaseCamera());
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 1, 2, 3);
    camera->SetMatrix(view);
    D3DXMATRIX world;
    D3DXMatrixScaling(&world, 2, 2, 2);
    render->SetGroupCamera(196, camera);
    render->SetGroupTransform(world, 196);
    EXPECT_EQ(render->FindGroup(196)->refCount, 2);
    CPSmartPtr<CPMaterial> material = Material(197);
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 1u);
    D3DMATRIX deviceView, deviceWorld;
    render->GetDevice()->GetTransform(D3DTS_VIEW, &deviceView);
    render->GetDevice()->GetTransform(D3DTS_WORLD, &deviceWorld);
    EXPECT_EQ(std::memcmp(&deviceView, &view, sizeof view), 0);
    EXPECT_EQ(std::memcmp(&deviceWorld, &world, sizeof world), 0);
    // The camera group is drawn every frame without materials and stays.
    for (int i = 0; i < 12; ++i) Frame();
    ASSERT_NE(render->FindGroup(196), nullptr);
    EXPECT_EQ(render->FindGroup(196)->camera.Get(), camera.Get());
    EXPECT_EQ(render->FindGroup(196)->lastFrame, g_frameNumber);
}

TEST_F(RenderQueue, NegativeKeysAreNeverDrawnButKept) {
    CPSmartPtr<CPMaterial> material = Material(-1);
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 0u);
    ASSERT_NE(render->FindGroup(-1), nullptr);
    EXPECT_EQ(render->FindGroup(-1)->refCount, 1);
    EXPECT_TRUE(material->GetBatches().empty()); // emptied at the flush all the same
}

TEST_F(RenderQueue, FailingBeginDrawsNothingAndLeavesNoStaleBatch) {
    CPSmartPtr<CPMaterial> material = Material(30);
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    ID3DXEffect* fx = material->GetEffect()->GetD3DXEffect();
    ASSERT_NE(fx, nullptr);
    fx->OnLostDevice(); // Begin fails from now on
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 0u);
    EXPECT_TRUE(material->GetBatches().empty());
    fx->OnResetDevice();
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 1u); // once, not once per frame handed over
}

TEST_F(RenderQueue, EffectWithoutD3DXEffectIsSkipped) {
    CPSmartPtr<CPEffect> empty(new CPEffect());
    CPSmartPtr<CPTextureBlock> block(new CPTextureBlock({}));
    CPSmartPtr<CPMaterial> material(new CPMaterial(30, empty.Get(), block.Get()));
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 3);
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 0u);
    EXPECT_TRUE(material->GetBatches().empty());
}

TEST_F(RenderQueue, PassesDrawEachBatchOncePerPass) {
    CPSmartPtr<CPMaterial> material = Material(30, "two.fx");
    CPSmartPtr<CPRenderObject> mesh = MakeMesh(material, 6);
    Give(mesh);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(Draws(), 2u);
    EXPECT_EQ(render->GetDrawCalls(), 2);
    EXPECT_EQ(render->GetTrianglesDrawn(), 4);
}

TEST_F(RenderQueue, GroupsAreDrawnInKeyOrderWhateverTheHandOverOrder) {
    CPSmartPtr<CPMaterial> late = Material(50), early = Material(18);
    CPSmartPtr<CPRenderObject> lateMesh = MakeMesh(late, 9), earlyMesh = MakeMesh(early, 3);
    Give(lateMesh);
    Give(earlyMesh);
    Control()->ClearCalls();
    Frame();
    const auto draws = CallsNamed("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].args[3], 3);
    EXPECT_EQ(draws[1].args[3], 9);
    // Ring positions follow hand-over order: the later group was filled first.
    EXPECT_EQ(draws[1].args[2], 0);
    EXPECT_EQ(draws[0].args[2], 9);
}

} // namespace
