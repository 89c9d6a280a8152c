#include "MaterialsFixture.h"

#include <algorithm>

#include "Framework/PLog.h"
#include "Render/PDeviceListener.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PTexture.h"
#include "Render/PTextureCache.h"

using namespace materialstest;

namespace {

struct Batch : IPMaterialBatch {
    int vertices = 0;
    int renderables = 0;
    int GetBatchVertexCount() const override { return vertices; }
    int GetBatchRenderableCount() const override { return renderables; }
};

class MaterialTest : public MaterialsTest {
protected:
    void SetUp() override {
        MaterialsTest::SetUp();
        root.Write("Data/Effects/terrain2.fx",
                   "texture tex0; texture tex1; technique T { pass P { Texture[0] = <tex0>; } }");
        root.Write("Data/Textures/color.tga", Tga(64, 32));
        root.Write("Data/Textures/detail1.tga", Tga(3, 3));
    }
    CPSmartPtr<CPMaterial> Get(RenderKey key, const std::string& effect, const std::vector<std::string>& textures) {
        CPSmartPtr<CPMaterial> material;
        manager->GetMaterial(material, key, effect, textures);
        return material;
    }
};

TEST_F(MaterialTest, IdentityIsKeyEffectAndTextureBlock) {
    CPSmartPtr<CPMaterial> a = Get(17, "terrain2.fx", {"color.tga"});
    CPSmartPtr<CPMaterial> b = Get(17, "terrain2.fx", {"color.tga"});
    CPSmartPtr<CPMaterial> otherKey = Get(18, "terrain2.fx", {"color.tga"});
    CPSmartPtr<CPMaterial> otherSpec = Get(17, "terrain2.fx,shared", {"color.tga"});
    CPSmartPtr<CPMaterial> otherTextures = Get(17, "terrain2.fx", {"color.tga", "detail1.tga"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_NE(a.Get(), otherKey.Get());
    EXPECT_EQ(a->GetEffect(), otherKey->GetEffect());
    EXPECT_EQ(a->GetTextureBlock(), otherKey->GetTextureBlock());
    EXPECT_NE(a.Get(), otherSpec.Get());
    EXPECT_NE(a->GetEffect(), otherSpec->GetEffect());
    EXPECT_NE(a.Get(), otherTextures.Get());
    EXPECT_EQ(manager->GetMaterialCount(), 4u);
    EXPECT_EQ(a->GetRenderKey(), 17);
    EXPECT_EQ(otherTextures->GetClassName(), "CPMaterial - terrain2.fx color.tgadetail1.tga");
}

TEST_F(MaterialTest, MissingResourcesStillGiveAMaterial) {
    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
    CPSmartPtr<CPMaterial> material = Get(20, "", {"nothing.tga"});
    CPLog::Instance().SetSink(nullptr);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("texture \"nothing.tga\" is missing or not a picture; \"error.tga\" stands in") !=
               std::string::npos;
    }));
    ASSERT_TRUE(material);
    ASSERT_TRUE(material->GetEffect());
    EXPECT_NE(material->GetEffect()->GetD3DXEffect(), nullptr) << "an empty effect name draws with simple.fx";
    EXPECT_EQ(material->GetTextureBlock()->GetTexture(0)->GetName(), "error.tga");
    EXPECT_EQ(material->GetClassName(), "CPMaterial -  error.tga");
}

TEST_F(MaterialTest, TextureSizesAreExposed) {
    CPSmartPtr<CPMaterial> material = Get(17, "terrain2.fx", {"color.tga", "detail1.tga", "video"});
    ASSERT_EQ(material->GetTextureCount(), 3);
    int w = -1, h = -1;
    material->GetTextureSize(0, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    material->GetTextureSize(1, w, h);
    EXPECT_EQ(w, 4) << "rounded up to a power of two";
    EXPECT_EQ(h, 4);
    material->GetTextureSize(2, w, h);
    EXPECT_EQ(w, 0);
    material->GetTextureSize(3, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    material->GetTextureSize(-1, w, h);
    EXPECT_EQ(w, 0);
}

TEST_F(MaterialTest, BatchesQueueTheMaterialOnce) {
    CPSmartPtr<CPMaterial> material = Get(17, "terrain2.fx", {"color.tga"});
    Batch empty, full, renderablesOnly;
    full.vertices = 12;
    renderablesOnly.renderables = 1;

    material->AddBatch(&empty);
    EXPECT_TRUE(material->GetBatches().empty()) << "an empty batch is ignored";
    EXPECT_TRUE(host.queued.empty());
    EXPECT_FALSE(material->IsQueued());

    material->AddBatch(&full);
    material->AddBatch(&renderablesOnly);
    ASSERT_EQ(material->GetBatches().size(), 2u);
    EXPECT_EQ(material->GetBatches()[0], &full);
    ASSERT_EQ(host.queued.size(), 1u);
    EXPECT_EQ(host.queued[0], material.Get());
    EXPECT_TRUE(material->IsQueued());

    // The group queue drops the idle material; its next batch queues it again.
    material->ClearBatches();
    material->SetQueued(false);
    material->AddBatch(&empty);
    EXPECT_EQ(host.queued.size(), 1u);
    material->AddBatch(&full);
    EXPECT_EQ(host.queued.size(), 2u);
}

TEST_F(MaterialTest, ReleaseAllEmptiesEveryBatchList) {
    CPSmartPtr<CPMaterial> a = Get(17, "terrain2.fx", {"color.tga"});
    CPSmartPtr<CPMaterial> b = Get(60, "missing.fx", {});
    Batch full;
    full.vertices = 3;
    a->AddBatch(&full);
    b->AddBatch(&full);
    manager->ReleaseAll();
    EXPECT_TRUE(a->GetBatches().empty());
    EXPECT_TRUE(b->GetBatches().empty());
    EXPECT_TRUE(a->IsQueued()) << "only the batch lists are emptied";
}

TEST_F(MaterialTest, ReleasedMaterialsLeaveTheManagerAndTheirResources) {
    CPSmartPtr<CPMaterial> material = Get(17, "terrain2.fx", {"color.tga"});
    CPMaterial* raw = material.Get();
    EXPECT_TRUE(manager->Contains(raw));
    material = nullptr;
    IPMMObject::CollectGarbage(); // the material
    EXPECT_FALSE(manager->Contains(raw));
    EXPECT_EQ(manager->GetMaterialCount(), 0u);
    IPMMObject::CollectGarbage(); // its effect and block
    IPMMObject::CollectGarbage(); // the block's texture
    EXPECT_EQ(GetEffectCache()->GetEntryCount(), 0u);
    EXPECT_EQ(GetTextureCache()->GetBlockCount(), 0u);
    EXPECT_EQ(GetTextureCache()->GetEntryCount(), 2u); // the video textures only

    CPSmartPtr<CPMaterial> again = Get(17, "terrain2.fx", {"color.tga"});
    EXPECT_TRUE(manager->Contains(again.Get()));
}

TEST_F(MaterialTest, MaterialsOutlivingTheManagerLeaveSafely) {
    CPSmartPtr<CPMaterial> material = Get(17, "terrain2.fx", {"color.tga"});
    delete manager;
    manager = nullptr;
    EXPECT_EQ(GetEffectManager(), nullptr);
    material = nullptr;
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    manager = new CPEffectManager();
}

TEST_F(MaterialTest, DumpReportsEveryMaterial) {
    CPSmartPtr<CPMaterial> a = Get(17, "terrain2.fx", {"color.tga", "detail1.tga"});
    CPSmartPtr<CPMaterial> b = Get(18, "terrain2.fx", {});
    std::vector<std::string> log;
    CPLog::Instance().SetSink([&](int, const std::string& line) { log.push_back(line); });
    manager->DumpMaterials();
    CPLog::Instance().SetSink(nullptr);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("color.tga, detail1.tga"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("refcount 1"), std::string::npos) << log[0];
}

TEST_F(MaterialTest, AMaterialMadeBeforeTheRendererIsQueuedOnceThereIsOne) {
    SetMaterialHost(nullptr);
    CPSmartPtr<CPMaterial> material = Get(10, "test.fx", {});
    Batch full;
    full.vertices = 3;
    material->AddBatch(&full);
    EXPECT_FALSE(material->IsQueued());
    SetMaterialHost(&host);
    material->ClearBatches();
    material->AddBatch(&full);
    EXPECT_TRUE(material->IsQueued());
    EXPECT_EQ(host.queued.size(), 1u);
}

} // namespace

namespace {

TEST_F(MaterialTest, DeviceResetKeepsEffectsAndTexturesUsable) {
    CPSmartPtr<CPMaterial> material = Get(17, "terrain2.fx", {"color.tga"});
    CPEffect* effect = material->GetEffect();
    ASSERT_NE(effect->GetD3DXEffect(), nullptr);
    IDirect3DBaseTexture9* before = material->GetTextureBlock()->GetTexture(0)->GetBaseTexture();

    // The renderer's reset: tell the listeners, reset the device, tell them again. Nothing
    // the materials hold may keep the device from resetting.
    Recording()->LoseDevice(true);
    IPDeviceListener::BroadcastDeviceLost();
    D3DPRESENT_PARAMETERS pp = Recording()->PresentParameters();
    ASSERT_EQ(host.device->Reset(&pp), D3D_OK)
        << (Recording()->ResetBlockers().empty() ? std::string() : Recording()->ResetBlockers().front());
    IPDeviceListener::BroadcastDeviceReset();

    UINT passes = 0;
    ASSERT_EQ(effect->GetD3DXEffect()->Begin(&passes, 0), D3D_OK);
    effect->SetParameters(material->GetTextureBlock());
    effect->GetD3DXEffect()->End();
    // Managed textures survive the reset as they are.
    EXPECT_EQ(material->GetTextureBlock()->GetTexture(0)->GetBaseTexture(), before);
    EXPECT_EQ(material->GetTextureBlock()->GetTexture(0)->GetWidth(), 64);
}

} // namespace

namespace {

// A shader that crashes the compiler costs its technique; the effect draws with the next one,
// and the log names the file, the technique and the entry point.
TEST_F(MaterialTest, TechniquesLeftOutAreLoggedWithTheirFile) {
    root.Write("Data/Effects/crashing.fx", "float4x4 m;\n"
                                           "float4 PS(float1 x : TEXCOORD0) : COLOR0 { return mul(x, m); }\n"
                                           "technique Shaded { pass { PixelShader = compile ps_2_0 PS(); } }\n"
                                           "technique Plain { pass { Lighting = false; } }\n");
    std::vector<std::string> log;
    CPLog::Instance().SetSink([&](int, const std::string& line) { log.push_back(line); });
    CPSmartPtr<CPMaterial> material = Get(21, "crashing.fx", {});
    CPLog::Instance().SetSink(nullptr);
    ASSERT_TRUE(material);
    ID3DXEffect* effect = material->GetEffect()->GetD3DXEffect();
    ASSERT_NE(effect, nullptr);
    D3DXTECHNIQUE_DESC desc;
    effect->GetTechniqueDesc(effect->GetCurrentTechnique(), &desc);
    EXPECT_STREQ(desc.Name, "Plain");
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
        return l.find("crashing.fx: line 3: technique 'Shaded' is not valid: pixel shader PS: the shader compiler "
                      "failed") != std::string::npos;
    })) << ::testing::PrintToString(log);
}

} // namespace
