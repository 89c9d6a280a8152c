// The render block's hand-over and batches, and the vertex-buffer ring they are filled into.
#include <gtest/gtest.h>

#include <cstring>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PIVBlock.h"
#include "Render/PIVertexBuffer.h"

using namespace frametest;

namespace {

class RenderBlock : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
        block = render->GetRenderBlock();
        material = Material(30);
    }
    CPSmartPtr<CPRenderBlock> block;
    CPSmartPtr<CPMaterial> material;
};

// ---------------------------------------------------------------------------------------------
// Hand-over

struct HandOverCase {
    const char* name;
    // Builds the tree; answers the root.
    CPSmartPtr<FakeSceneObject> (*build)(const CPSmartPtr<CPMaterial>&);
    int renderables; // entered into the material's batch
    int lights;
};

CPSmartPtr<FakeSceneObject> VisibleMesh(const CPSmartPtr<CPMaterial>& m) { return MakeObject(MakeMesh(m, 3)); }
CPSmartPtr<FakeSceneObject> InvisibleParent(const CPSmartPtr<CPMaterial>& m) {
    auto root = MakeObject(MakeMesh(m, 3));
    root->visible = false;
    root->children.push_back(MakeObject(MakeMesh(m, 3)));
    return root;
}
CPSmartPtr<FakeSceneObject> EmptyWithChildren(const CPSmartPtr<CPMaterial>& m) {
    auto root = MakeObject(nullptr, IPSceneObject::KindEmpty);
    root->children.push_back(MakeObject(MakeMesh(m, 3)));
    auto hidden = MakeObject(MakeMesh(m, 3));
    hidden->visible = false;
    root->children.push_back(hidden);
    root->children.push_back(MakeObject(MakeMesh(m, 3), IPSceneObject::KindAnimated));
    return root;
}
CPSmartPtr<FakeSceneObject> LightChild(const CPSmartPtr<CPMaterial>& m) {
    auto root = MakeObject(MakeMesh(m, 3), IPSceneObject::KindSprite);
    auto light = MakeObject(nullptr, IPSceneObject::KindLight);
    light->light = new CPLight();
    light->light->SetOwner(light.Get());
    root->children.push_back(light);
    return root;
}
CPSmartPtr<FakeSceneObject> ParticlesAndMissing(const CPSmartPtr<CPMaterial>&) {
    auto root = MakeObject(nullptr, IPSceneObject::KindParticles);
    root->children.push_back(MakeObject(nullptr, IPSceneObject::KindMesh));  // no attachment
    root->children.push_back(MakeObject(MakeMesh(nullptr, 3)));              // no material
    root->children.push_back(MakeObject(nullptr, IPSceneObject::KindLight)); // no light
    return root;
}

class HandOver : public RenderBlock, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(HandOver, ByKindAndVisibility) {
    auto root = GetParam().build(material);
    block->AddObjectTree(CPSmartPtr<IPSceneObject>(root.Get()));
    CPIVBlock* batch = block->FindBatch(material.Get());
    EXPECT_EQ(batch ? static_cast<int>(batch->GetRenderables().size()) : 0, GetParam().renderables);
    EXPECT_EQ(render->GetLightCount(), GetParam().lights);
}

INSTANTIATE_TEST_SUITE_P(Cases, HandOver,
                         ::testing::Values(HandOverCase{"VisibleMesh", VisibleMesh, 1, 0},
                                           HandOverCase{"InvisibleParent", InvisibleParent, 0, 0},
                                           HandOverCase{"EmptyWithChildren", EmptyWithChildren, 2, 0},
                                           HandOverCase{"LightChild", LightChild, 1, 1},
                                           HandOverCase{"ParticlesAndMissing", ParticlesAndMissing, 0, 0}),
                         [](const ::testing::TestParamInfo<HandOverCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RenderBlock, LightsFollowTheirOwnerAndTheThirtyFirstIsDropped) {
    auto object = MakeObject(nullptr, IPSceneObject::KindLight);
    object->light = new CPLight();
    object->light->SetOwner(object.Get());
    object->light->Record().Type = D3DLIGHT_POINT;
    D3DXMatrixTranslation(&object->world, 4, 5, 6);
    for (int i = 0; i < 31; ++i) block->AddObject(CPSmartPtr<IPSceneObject>(object.Get()));
    EXPECT_EQ(render->GetLightCount(), 30);
    EXPECT_FLOAT_EQ(render->GetLight(29).Position.y, 5.0f);
    EXPECT_EQ(render->GetLight(0).Type, D3DLIGHT_POINT);
}

TEST_F(RenderBlock, OneBatchPerMaterialInHandOverOrder) {
    CPSmartPtr<CPMaterial> other = Material(31);
    auto a = MakeMesh(material, 3), b = MakeMesh(other, 6), c = MakeMesh(material, 9);
    block->AddRenderable(CPSmartPtr<IPRenderable>(a.Get()));
    block->AddRenderable(CPSmartPtr<IPRenderable>(b.Get()));
    block->AddRenderable(CPSmartPtr<IPRenderable>(c.Get()));
    const auto& frame = block->GetFrameBatches();
    ASSERT_EQ(frame.size(), 2u);
    EXPECT_EQ(frame[0].first, material.Get());
    EXPECT_EQ(frame[1].first, other.Get());
    CPIVBlock* batch = frame[0].second;
    ASSERT_EQ(batch->GetRenderables().size(), 2u);
    EXPECT_EQ(batch->GetRenderables()[0].Get(), a.Get());
    EXPECT_EQ(batch->GetRenderables()[1].Get(), c.Get());
    EXPECT_EQ(batch->GetVertexCount(), 12);
    EXPECT_EQ(batch->GetIndexCount(), 12);
    EXPECT_EQ(batch->GetClassName(), "CPIVBlock - 0 static objects 2 objects");
    // The batch persists across frames; its contents do not.
    Frame();
    EXPECT_EQ(block->FindBatch(material.Get()), batch);
    EXPECT_TRUE(batch->GetRenderables().empty());
    EXPECT_EQ(batch->GetVertexCount(), 0);
    EXPECT_FALSE(batch->IsFilled());
    EXPECT_TRUE(block->GetFrameBatches().empty());
}

TEST_F(RenderBlock, EmptyBatchQueuesNothing) {
    CPIVBlock empty(block->GetVertexBuffer());
    material->AddBatch(&empty);
    EXPECT_TRUE(material->GetBatches().empty());
    EXPECT_FALSE(material->IsQueued());
    EXPECT_EQ(render->FindGroup(30), nullptr);
}

TEST_F(RenderBlock, PurgeForgetsBatchesOfMaterialsTheManagerNoLongerHolds) {
    CPSmartPtr<CPMaterial> keep = Material(31);
    auto a = MakeMesh(material, 3), b = MakeMesh(keep, 3);
    block->AddRenderable(CPSmartPtr<IPRenderable>(a.Get()));
    block->AddRenderable(CPSmartPtr<IPRenderable>(b.Get()));
    EXPECT_EQ(block->GetBatchCount(), 2u);
    manager->Remove(material.Get());
    block->PurgeUnusedBatches();
    EXPECT_EQ(block->GetBatchCount(), 1u);
    EXPECT_EQ(block->FindBatch(material.Get()), nullptr);
    EXPECT_NE(block->FindBatch(keep.Get()), nullptr);
    EXPECT_TRUE(block->GetFrameBatches().empty());
    // Handed over again: a fresh batch that draws.
    block->AddRenderable(CPSmartPtr<IPRenderable>(a.Get()));
    ASSERT_NE(block->FindBatch(material.Get()), nullptr);
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(CallsNamed("DrawIndexedPrimitive").size(), 1u);
}

TEST_F(RenderBlock, StaticPreWriteVisitsVisibleStaticMeshesChildrenAndLevelsOfDetail) {
    auto root = MakeObject(MakeMesh(material, 3));
    root->isStatic = true;
    auto child = MakeObject(MakeMesh(material, 6));
    child->isStatic = true;
    auto dynamicChild = MakeObject(MakeMesh(material, 9));
    auto lod = MakeObject(MakeMesh(material, 12));
    lod->isStatic = true;
    auto hidden = MakeObject(MakeMesh(material, 15));
    hidden->isStatic = true;
    hidden->visible = false;
    root->children = {child, dynamicChild, hidden};
    root->attached = {lod};
    CPRenderBlock staticBlock(render->GetDevice());
    ASSERT_TRUE(staticBlock.Init(true, 1, 100, 100));
    CPIVertexBuffer* vb = staticBlock.GetVertexBuffer();
    ASSERT_TRUE(vb->Lock(0, 0, true, -1));
    staticBlock.RemoveObjectTree(root.Get());
    staticBlock.RemoveObjectTree(root.Get()); // written once only
    vb->Unlock(true);
    EXPECT_EQ(vb->GetStaticBase(root->renderable.Get()), 0);
    EXPECT_EQ(vb->GetStaticBase(child->renderable.Get()), 3);
    EXPECT_EQ(vb->GetStaticBase(lod->renderable.Get()), 9);
    EXPECT_EQ(vb->GetStaticBase(dynamicChild->renderable.Get()), -1);
    EXPECT_EQ(vb->GetStaticBase(hidden->renderable.Get()), -1);
    // The static block's tree walk takes static objects only.
    staticBlock.AddObjectTree(root.Get());
    CPIVBlock* batch = staticBlock.FindBatch(material.Get());
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->GetRenderables().size(), 2u); // root, child (lods are not children)
}

// ---------------------------------------------------------------------------------------------
// The ring

class Ring : public RenderBlock {
protected:
    // A batch of the given renderables (vertex counts; each with 3 indices unless given).
    CPSmartPtr<CPIVBlock> Batch(CPIVertexBuffer* ring, const std::vector<std::pair<int, int>>& sizes) {
        CPSmartPtr<CPIVBlock> batch(new CPIVBlock(ring));
        for (auto [v, i] : sizes) {
            meshes.push_back(MakeMesh(material, v, i));
            batch->AddObject(meshes.back().Get());
        }
        return batch;
    }
    std::vector<std::uint16_t> ReadIndices(IDirect3DIndexBuffer9* buffer, int first, int count) {
        void* p = nullptr;
        EXPECT_EQ(buffer->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
        std::vector<std::uint16_t> out(static_cast<std::uint16_t*>(p) + first,
                                       static_cast<std::uint16_t*>(p) + first + count);
        buffer->Unlock();
        return out;
    }
    std::vector<CPSmartPtr<CPRenderObject>> meshes;
};

TEST_F(Ring, CreateUsageAndTwice) {
    Control()->ClearCalls();
    CPSmartPtr<CPIVertexBuffer> dynamicRingHandle(new CPIVertexBuffer(2, render->GetDevice()));
    CPIVertexBuffer& dynamicRing = *dynamicRingHandle;
    ASSERT_TRUE(dynamicRing.Create(false, 0, 0));
    EXPECT_FALSE(dynamicRing.Create(false, 0, 0));
    CPSmartPtr<CPIVertexBuffer> staticRingHandle(new CPIVertexBuffer(1, render->GetDevice()));
    CPIVertexBuffer& staticRing = *staticRingHandle;
    ASSERT_TRUE(staticRing.Create(true, 10, 20));
    const auto vbs = CallsNamed("CreateVertexBuffer");
    const auto ibs = CallsNamed("CreateIndexBuffer");
    ASSERT_EQ(vbs.size(), 3u);
    ASSERT_EQ(ibs.size(), 3u);
    EXPECT_EQ(vbs[0].args[0], 65536 * 48);
    EXPECT_EQ(vbs[0].args[1], static_cast<std::int64_t>(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP));
    EXPECT_EQ(vbs[0].args[2], 0x2D2);
    EXPECT_EQ(vbs[0].args[3], static_cast<std::int64_t>(D3DPOOL_DEFAULT));
    EXPECT_EQ(ibs[0].args[0], 262144 * 2);
    EXPECT_EQ(ibs[0].args[1], static_cast<std::int64_t>(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(vbs[2].args[0], 10 * 48);
    EXPECT_EQ(vbs[2].args[1], static_cast<std::int64_t>(D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP));
    EXPECT_EQ(ibs[2].args[0], 20 * 2);
    EXPECT_EQ(ibs[2].args[1], static_cast<std::int64_t>(D3DUSAGE_WRITEONLY));
}

TEST_F(Ring, LockFlagsDiscardOnlyDynamicBuffers) {
    CPSmartPtr<CPIVertexBuffer> dynamicRing(new CPIVertexBuffer(1, render->GetDevice()));
    CPSmartPtr<CPIVertexBuffer> staticRing(new CPIVertexBuffer(1, render->GetDevice()));
    ASSERT_TRUE(dynamicRing->Create(false, 16, 16));
    ASSERT_TRUE(staticRing->Create(true, 16, 16));
    Control()->ClearCalls();
    ASSERT_TRUE(dynamicRing->Lock(0, 0, true, -1));
    dynamicRing->Unlock(true);
    ASSERT_TRUE(staticRing->Lock(4, 6, true, -1));
    staticRing->Unlock(true);
    // Index buffers only: the vertex buffer is neither locked nor unlocked.
    ASSERT_TRUE(dynamicRing->Lock(0, 0, false, -1));
    dynamicRing->Unlock(false);
    const auto vertexLocks = CallsNamed("VertexBuffer::Lock");
    const auto indexLocks = CallsNamed("IndexBuffer::Lock");
    ASSERT_EQ(vertexLocks.size(), 2u);
    ASSERT_EQ(indexLocks.size(), 3u);
    // (buffer, offset, size, flags)
    EXPECT_EQ(vertexLocks[0].args[2], 16 * 48);
    EXPECT_EQ(vertexLocks[0].args[3], static_cast<std::int64_t>(D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK));
    EXPECT_EQ(vertexLocks[1].args[2], 4 * 48);
    EXPECT_EQ(vertexLocks[1].args[3], static_cast<std::int64_t>(D3DLOCK_NOSYSLOCK));
    EXPECT_EQ(indexLocks[1].args[2], 6 * 2);
    EXPECT_EQ(CallsNamed("VertexBuffer::Unlock").size(), 2u);
    EXPECT_EQ(CallsNamed("IndexBuffer::Unlock").size(), 3u);
}

TEST_F(Ring, RotationAndLockWhileLocked) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(4, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 16, 16));
    std::vector<int> used;
    for (int frame = 0; frame < 5; ++frame) {
        used.push_back(ring.GetCurrent());
        ASSERT_TRUE(ring.Lock(0, 0, true, -1));
        EXPECT_FALSE(ring.Lock(0, 0, true, -1));
        EXPECT_EQ(ring.GetCurrent(), used.back());
        EXPECT_TRUE(ring.IsLocked());
        ring.Unlock(true);
        ring.ResetFill();
    }
    EXPECT_EQ(used, (std::vector<int>{0, 1, 2, 3, 0}));
    ring.Unlock(true); // not locked: nothing
    EXPECT_EQ(ring.GetCurrent(), 1);
    ASSERT_TRUE(ring.Lock(0, 0, true, 3));
    EXPECT_EQ(ring.GetCurrent(), 3);
    ring.Unlock(true);
    EXPECT_EQ(ring.GetCurrent(), 0);
}

TEST_F(Ring, LockAnswersFalseWithoutBuffers) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(2, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 16, 16));
    ring.OnDeviceLost();
    EXPECT_EQ(ring.GetVertexBuffer(0), nullptr);
    EXPECT_FALSE(ring.Lock(0, 0, true, -1));
    EXPECT_FALSE(ring.IsLocked());
    auto batch = Batch(&ring, {{3, 3}});
    EXPECT_FALSE(ring.FillBlock(*batch));
    EXPECT_FALSE(batch->IsFilled());
    ring.OnDeviceReset();
    EXPECT_NE(ring.GetVertexBuffer(1), nullptr);
    EXPECT_TRUE(ring.Lock(0, 0, true, -1));
    ring.Unlock(true);
}

TEST_F(Ring, LossWhileLockedEndsTheLockWithoutAdvancing) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(4, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 16, 16));
    ASSERT_TRUE(ring.Lock(0, 0, true, 2));
    ring.OnDeviceLost();
    EXPECT_FALSE(ring.IsLocked());
    EXPECT_EQ(ring.GetCurrent(), 2);
    EXPECT_EQ(Control()->LiveDefaultPoolResources() >= 0, true);
    ring.OnDeviceReset();
    EXPECT_EQ(ring.GetCurrent(), 0);
}

TEST_F(Ring, PairLimitsOf65535VerticesAnd262143Indices) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(4, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 0, 0));
    ring.ResetFill();
    ASSERT_TRUE(ring.Lock(0, 0, true, -1));
    auto full = Batch(&ring, {{65535, 3}});
    ASSERT_TRUE(ring.FillBlock(*full));
    ASSERT_EQ(full->GetRanges().size(), 1u);
    EXPECT_EQ(full->GetFirstVertex(), 0);
    EXPECT_EQ(full->GetVertexCount(), 65535);
    EXPECT_EQ(full->GetD3DVertexBuffer(), ring.GetVertexBuffer(0));
    // One more vertex moves to the next pair.
    auto one = Batch(&ring, {{3, 3}});
    ASSERT_TRUE(ring.FillBlock(*one));
    EXPECT_EQ(one->GetD3DVertexBuffer(), ring.GetVertexBuffer(1));
    EXPECT_EQ(one->GetFirstVertex(), 0);
    // 262143 indices fit an empty pair with nothing else.
    auto indices = Batch(&ring, {{3, 262140}});
    ASSERT_TRUE(ring.FillBlock(*indices));
    EXPECT_EQ(indices->GetD3DIndexBuffer(), ring.GetIndexBuffer(1));
    EXPECT_EQ(indices->GetFirstIndex(), 3);
    EXPECT_EQ(ring.GetIndexPosition(), 262143);
    auto more = Batch(&ring, {{3, 3}});
    ASSERT_TRUE(ring.FillBlock(*more));
    EXPECT_EQ(more->GetD3DIndexBuffer(), ring.GetIndexBuffer(2));
    ring.Unlock(true);
    EXPECT_EQ(ring.GetCurrent(), 3); // the overflows shifted the rotation
}

TEST_F(Ring, BatchOf65536VerticesNeverLandsWhole) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(4, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 0, 0));
    ring.ResetFill();
    ASSERT_TRUE(ring.Lock(0, 0, true, -1));
    auto split = Batch(&ring, {{65535, 3}, {1, 3}});
    ASSERT_TRUE(ring.FillBlock(*split));
    ASSERT_EQ(split->GetRanges().size(), 2u);
    EXPECT_EQ(split->GetRanges()[0].vertexCount, 65535);
    EXPECT_EQ(split->GetRanges()[0].vertexBuffer, ring.GetVertexBuffer(0));
    EXPECT_EQ(split->GetRanges()[1].vertexCount, 1);
    EXPECT_EQ(split->GetRanges()[1].vertexBuffer, ring.GetVertexBuffer(1));
    EXPECT_EQ(split->GetVertexCount(), 65536);
    // A single renderable above the limit is not drawn, with a log line.
    logLines.clear();
    auto huge = Batch(&ring, {{65536, 3}});
    EXPECT_TRUE(ring.FillBlock(*huge));
    EXPECT_TRUE(huge->GetRanges().empty());
    EXPECT_EQ(huge->GetVertexCount(), 0);
    EXPECT_FALSE(logLines.empty());
    ring.Unlock(true);
}

TEST_F(Ring, IndicesAreAbsoluteInThePair) {
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(2, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 100, 100));
    ring.ResetFill();
    ASSERT_TRUE(ring.Lock(0, 0, true, -1));
    auto first = Batch(&ring, {{4, 6}, {5, 3}});
    auto second = Batch(&ring, {{3, 3}});
    ASSERT_TRUE(ring.FillBlock(*first));
    ASSERT_TRUE(ring.FillBlock(*second));
    ring.Unlock(true);
    EXPECT_EQ(ReadIndices(ring.GetIndexBuffer(0), 0, 9), (std::vector<std::uint16_t>{0, 1, 2, 3, 0, 1, 4, 5, 6}));
    EXPECT_EQ(second->GetFirstVertex(), 9);
    EXPECT_EQ(second->GetFirstIndex(), 9);
    EXPECT_EQ(ReadIndices(ring.GetIndexBuffer(0), 9, 3), (std::vector<std::uint16_t>{9, 10, 11}));
}

TEST_F(Ring, FillSkippedObjectsAreGroupedByStaticBuffer) {
    const SPVertex v[3] = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0)};
    const std::uint16_t i[3] = {0, 1, 2};
    SPStaticBuffer* one = render->CreateStaticBuffers("one", v, i, 3, 3);
    SPStaticBuffer* two = render->CreateStaticBuffers("two", v, i, 3, 3);
    ASSERT_TRUE(one && two);
    CPSmartPtr<CPIVertexBuffer> ringHandle(new CPIVertexBuffer(2, render->GetDevice()));
    CPIVertexBuffer& ring = *ringHandle;
    ASSERT_TRUE(ring.Create(false, 100, 100));
    auto batch = Batch(&ring, {{3, 3}, {3, 3}, {3, 3}, {6, 6}});
    const std::string names[3] = {"one", "two", "ONE"};
    for (int k = 0; k < 3; ++k) {
        meshes[static_cast<std::size_t>(k)]->SetFillSkipped(true);
        meshes[static_cast<std::size_t>(k)]->SetStaticBuffer(names[k]);
    }
    // Counts were taken at hand-over, when the objects were not yet skipped: rebuild.
    CPSmartPtr<CPIVBlock> fresh(new CPIVBlock(&ring));
    for (auto& mesh : meshes) fresh->AddObject(mesh.Get());
    EXPECT_EQ(fresh->GetVertexCount(), 6);
    ring.ResetFill();
    ASSERT_TRUE(ring.Lock(0, 0, true, -1));
    ASSERT_TRUE(ring.FillBlock(*fresh));
    ring.Unlock(true);
    ASSERT_EQ(fresh->GetStaticObjects().size(), 3u);
    EXPECT_EQ(fresh->GetStaticObjects()[0].Get(), meshes[0].Get());
    EXPECT_EQ(fresh->GetStaticObjects()[1].Get(), meshes[2].Get());
    EXPECT_EQ(fresh->GetStaticObjects()[2].Get(), meshes[1].Get());
    EXPECT_EQ(fresh->GetVertexCount(), 6);
    EXPECT_EQ(fresh->GetIndexCount(), 6);
    (void)batch;
}

TEST_F(Ring, SplitBatchDrawsEachPartInEachPass) {
    CPSmartPtr<CPMaterial> twoPass = Material(30, "two.fx");
    auto big = MakeMesh(twoPass, 65535, 3), small = MakeMesh(twoPass, 3, 3);
    block->AddRenderable(CPSmartPtr<IPRenderable>(big.Get()));
    block->AddRenderable(CPSmartPtr<IPRenderable>(small.Get()));
    Control()->ClearCalls();
    Frame();
    const auto draws = CallsNamed("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[0].args[3], 65535);
    EXPECT_EQ(draws[1].args[3], 3);
    EXPECT_EQ(draws[2].args[3], 65535);
    EXPECT_EQ(draws[3].args[3], 3);
    const auto binds = CallsNamed("SetStreamSource");
    ASSERT_EQ(binds.size(), 4u);
    EXPECT_NE(binds[0].args[1], binds[1].args[1]);
}

TEST_F(Ring, ExhaustedRingLeavesTheRestUnfilled) {
    CPRenderBlock small(render->GetDevice());
    ASSERT_TRUE(small.Init(false, 2, 10, 30));
    std::vector<CPSmartPtr<CPMaterial>> materials;
    for (int k = 0; k < 3; ++k) {
        materials.push_back(Material(40 + k));
        meshes.push_back(MakeMesh(materials.back(), 9));
        small.AddRenderable(meshes.back().Get());
    }
    logLines.clear();
    small.Draw();
    const auto& batches = small.GetFrameBatches();
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_TRUE(batches[0].second->IsFilled());
    EXPECT_TRUE(batches[1].second->IsFilled());
    EXPECT_FALSE(batches[2].second->IsFilled());
    EXPECT_FALSE(logLines.empty());
    EXPECT_FALSE(small.GetVertexBuffer()->IsLocked());
    // The next frame starts afresh.
    small.Flush();
    for (auto& mesh : meshes) small.AddRenderable(mesh.Get());
    small.Draw();
    EXPECT_TRUE(small.GetFrameBatches()[0].second->IsFilled());
    small.Flush();
}

TEST_F(Ring, FailedLockLeavesBatchesUnfilledAndUndrawn) {
    auto mesh = MakeMesh(material, 3);
    block->GetVertexBuffer()->OnDeviceLost(); // the pairs are gone
    block->AddRenderable(CPSmartPtr<IPRenderable>(mesh.Get()));
    Control()->ClearCalls();
    Frame();
    EXPECT_TRUE(CallsNamed("DrawIndexedPrimitive").empty());
    EXPECT_TRUE(material->GetBatches().empty());
    block->GetVertexBuffer()->OnDeviceReset();
    block->AddRenderable(CPSmartPtr<IPRenderable>(mesh.Get()));
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(CallsNamed("DrawIndexedPrimitive").size(), 1u);
}

} // namespace

namespace {

TEST(RenderBlockInit, WithoutADeviceThereIsNoRing) {
    ASSERT_EQ(GetMaterialHost(), nullptr);
    CPSmartPtr<CPRenderBlock> block(new CPRenderBlock());
    EXPECT_FALSE(block->Init(false, 4, 0, 0));
    EXPECT_EQ(block->GetVertexBuffer(), nullptr);
    // Hand-over and a frame's steps on a block without a ring do nothing harmful.
    block->Draw();
    block->Flush();
    block = nullptr;
    IPMMObject::CollectGarbage();
}

} // namespace
