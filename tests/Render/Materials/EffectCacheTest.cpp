#include "MaterialsFixture.h"

#include "Framework/PLog.h"
#include "Render/PDeviceListener.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PTexture.h"
#include "Render/PTextureCache.h"

using namespace materialstest;

namespace {

const char* kShared = R"(
shared float4x4 g_mViewInv;
shared float4 g_vLight;
shared float4 g_vLightColor;
shared float4 g_vAmbient;
shared float4 g_vCameraPos;
texture tex0;
technique T { pass P { Texture[0] = <tex0>; } }
)";

class EffectCacheTest : public MaterialsTest {
protected:
    CPSmartPtr<CPEffect> Get(const std::string& request) {
        CPSmartPtr<CPEffect> effect;
        GetEffectCache()->GetEffect(effect, request);
        return effect;
    }
    IDirect3DBaseTexture9* BoundTexture(CPEffect* effect, const char* name) {
        IDirect3DBaseTexture9* texture = nullptr;
        effect->GetD3DXEffect()->GetTexture(name, &texture);
        if (texture) texture->Release();
        return texture;
    }
};

TEST_F(EffectCacheTest, TheManagerPublishesBothCaches) {
    ASSERT_EQ(GetEffectManager(), manager);
    EXPECT_EQ(GetEffectCache(), manager->GetEffectCache());
    EXPECT_EQ(GetTextureCache(), manager->GetTextureCache());
    EXPECT_NE(GetEffectCache()->GetPool(), nullptr);
}

TEST_F(EffectCacheTest, OneEffectPerSpecText) {
    root.Write("Data/Effects/interface.fx", kShared);
    CPSmartPtr<CPEffect> a = Get("interface.fx");
    CPSmartPtr<CPEffect> b = Get("interface.fx");
    CPSmartPtr<CPEffect> pooled = Get("interface.fx,shared");
    CPSmartPtr<CPEffect> otherCase = Get("Interface.fx");
    ASSERT_TRUE(a && pooled && otherCase);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_NE(a.Get(), pooled.Get());
    EXPECT_NE(a.Get(), otherCase.Get());
    EXPECT_FALSE(a->IsPooled());
    EXPECT_TRUE(pooled->IsPooled());
    EXPECT_NE(a->GetD3DXEffect(), pooled->GetD3DXEffect());
    EXPECT_EQ(a->GetName(), "interface.fx");
    EXPECT_EQ(pooled->GetName(), "interface.fx,shared");
    EXPECT_EQ(pooled->GetClassName(), "CPEffect - interface.fx,shared");
    EXPECT_EQ(GetEffectCache()->GetEntryCount(), 3u);
}

TEST_F(EffectCacheTest, FallbacksKeepTheRequestedKey) {
    root.Write("Data/Effects/broken.fx", "technique T { pass P { NoSuchState = 1; } }");
    struct Case {
        const char* request;
        const char* expectedName; // the effect's name tells which file was compiled
    } cases[] = {
        {"missing.fx", "missing.fx"}, // compiled from simple.fx under its own name
        {"", ""},                     // no effect file named at all
        {"broken.fx", "error.fx"},    // does not compile
        {"missing.fx,shared", "missing.fx,shared"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        CPSmartPtr<CPEffect> effect = Get(c.request);
        ASSERT_TRUE(effect);
        EXPECT_NE(effect->GetD3DXEffect(), nullptr);
        EXPECT_EQ(effect->GetName(), c.expectedName);
        EXPECT_EQ(Get(c.request).Get(), effect.Get()) << "the fallback is cached under the requested request";
    }
    // simple.fx's own texture parameter is found for the missing file.
    EXPECT_EQ(Get("missing.fx")->GetTextureParameters().size(), 1u);
    // A missing file is never pooled, so it cannot become the shared effect either.
    EXPECT_FALSE(Get("missing.fx,shared")->IsPooled());
    EXPECT_EQ(GetEffectCache()->GetSharedEffect(), nullptr);
}

TEST_F(EffectCacheTest, MissingFileWithoutSimpleFallsToErrorEffect) {
    root.Write("Data/Effects/simple.fx", "technique T { pass P { Bad = 1; } }");
    CPSmartPtr<CPEffect> effect = Get("missing.fx");
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->GetName(), "error.fx");
    EXPECT_NE(effect->GetD3DXEffect(), nullptr);
}

TEST_F(EffectCacheTest, WhenEvenErrorFxFailsTheEffectIsEmptyButUsable) {
    root.Write("Data/Effects/error.fx", "not an effect");
    root.Write("Data/Effects/broken.fx", "technique {");
    std::vector<std::string> log;
    CPLog::Instance().SetSink([&](int, const std::string& line) { log.push_back(line); });
    CPSmartPtr<CPEffect> effect = Get("broken.fx");
    CPLog::Instance().SetSink(nullptr);
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->GetD3DXEffect(), nullptr);
    EXPECT_TRUE(effect->GetTextureParameters().empty());
    effect->SetParameters(nullptr);
    effect->OnDeviceLost();
    effect->OnDeviceReset();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().find("DXError if Render\\PEffect on line"), std::string::npos) << log.front();
}

TEST_F(EffectCacheTest, EntriesLeaveWithTheirEffectNotByName) {
    root.Write("Data/Effects/broken.fx", "technique {");
    root.Write("Data/Effects/other.fx", "technique {");
    CPSmartPtr<CPEffect> error = Get("broken.fx");
    CPSmartPtr<CPEffect> error2 = Get("other.fx");
    CPSmartPtr<CPEffect> plain = Get("missing.fx");
    ASSERT_EQ(error->GetName(), "error.fx");
    EXPECT_NE(error.Get(), error2.Get()) << "each failed request loads its own error effect";
    EXPECT_EQ(GetEffectCache()->GetEntryCount(), 3u);

    error = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(GetEffectCache()->GetEntryCount(), 2u) << "the entry keyed \"broken.fx\" went with its effect";
    CPSmartPtr<CPEffect> again = Get("broken.fx");
    EXPECT_EQ(again->GetName(), "error.fx");
    EXPECT_EQ(GetEffectCache()->GetEntryCount(), 3u);
}

TEST_F(EffectCacheTest, TextureParametersAreConsecutiveFromZero) {
    root.Write("Data/Effects/three.fx", R"(
texture tex0;
texture tex1;
texture tex3;
float time = 2.5;
technique T { pass P { Texture[0] = <tex0>; Texture[1] = <tex1>; } }
)");
    root.Write("Data/Textures/a.tga", Tga(4, 4));
    root.Write("Data/Textures/b.tga", Tga(8, 8));
    root.Write("Data/Textures/c.tga", Tga(16, 16));
    CPSmartPtr<CPEffect> effect = Get("three.fx");
    ASSERT_NE(effect->GetD3DXEffect(), nullptr);
    ASSERT_EQ(effect->GetTextureParameters().size(), 2u);
    EXPECT_NE(effect->GetTimeParameter(), nullptr);
    float time = 0;
    effect->GetD3DXEffect()->GetFloat(effect->GetTimeParameter(), &time);
    EXPECT_FLOAT_EQ(time, 2.5f);

    CPSmartPtr<CPTextureBlock> three, one;
    GetTextureCache()->GetTextureBlock(three, {"a.tga", "b.tga", "c.tga"});
    GetTextureCache()->GetTextureBlock(one, {"c.tga"});
    effect->SetParameters(three.Get());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex0"), three->GetTexture(0)->GetBaseTexture());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex1"), three->GetTexture(1)->GetBaseTexture());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex3"), nullptr) << "tex3 is not a texture parameter after a gap";

    // Fewer textures than parameters: the rest keep what they had.
    effect->SetParameters(one.Get());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex0"), one->GetTexture(0)->GetBaseTexture());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex1"), three->GetTexture(1)->GetBaseTexture());
}

TEST_F(EffectCacheTest, VideoTexturesAndFailedLoadsBindNothing) {
    CPSmartPtr<CPEffect> effect = Get("missing.fx"); // simple.fx: tex0
    root.Write("Data/Textures/a.tga", Tga(4, 4));
    CPSmartPtr<CPTextureBlock> real, video;
    GetTextureCache()->GetTextureBlock(real, {"a.tga"});
    GetTextureCache()->GetTextureBlock(video, {"video"});
    effect->SetParameters(real.Get());
    ASSERT_NE(BoundTexture(effect.Get(), "tex0"), nullptr);
    effect->SetParameters(video.Get());
    EXPECT_EQ(BoundTexture(effect.Get(), "tex0"), nullptr);
}

TEST_F(EffectCacheTest, SharedParametersReachEveryPooledEffect) {
    root.Write("Data/Effects/a.fx", kShared);
    root.Write("Data/Effects/b.fx", kShared);
    CPSmartPtr<CPEffect> plain = Get("a.fx"); // not pooled: never the shared effect
    EXPECT_EQ(GetEffectCache()->GetSharedEffect(), nullptr);
    CPSmartPtr<CPEffect> first = Get("a.fx,shared");
    CPSmartPtr<CPEffect> second = Get("b.fx,shared");
    CPEffectCache* cache = GetEffectCache();
    ASSERT_EQ(cache->GetSharedEffect(), first.Get());
    const SPSharedEffectHandles& h = cache->GetSharedHandles();
    EXPECT_NE(h.viewInv, nullptr);
    EXPECT_NE(h.light, nullptr);
    EXPECT_NE(h.lightColor, nullptr);
    EXPECT_NE(h.ambient, nullptr);
    EXPECT_NE(h.cameraPos, nullptr);
    EXPECT_EQ(h.worldViewProjection, nullptr); // declared by none of them
    EXPECT_EQ(h.viewProjection, nullptr);
    EXPECT_EQ(h.worldView, nullptr);

    const D3DXVECTOR4 light(0.25f, -0.5f, 0.75f, 1.0f);
    cache->GetSharedEffect()->GetD3DXEffect()->SetVector(h.light, &light);
    D3DXVECTOR4 seen;
    second->GetD3DXEffect()->GetVector("g_vLight", &seen);
    EXPECT_FLOAT_EQ(seen.y, -0.5f);
    plain->GetD3DXEffect()->GetVector("g_vLight", &seen);
    EXPECT_FLOAT_EQ(seen.y, 0.0f) << "an effect outside the pool never receives the shared values";

    // The shared effect leaving: the cache forgets it and the next pooled effect takes over.
    first = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(cache->GetSharedEffect(), nullptr);
    EXPECT_EQ(cache->GetSharedHandles().light, nullptr);
    CPSmartPtr<CPEffect> third = Get("a.fx,shared");
    EXPECT_EQ(cache->GetSharedEffect(), third.Get());
}

TEST_F(EffectCacheTest, TheFirstValidTechniqueIsSelected) {
    root.Write("Data/Effects/tech.fx", R"(
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS() : COLOR0 { return float4(1, 0, 0, 1); }
technique NeedsSM3 { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
technique Fixed { pass { Lighting = false; } }
technique Later { pass { Lighting = true; } }
)");
    CPSmartPtr<CPEffect> effect = Get("tech.fx");
    ASSERT_NE(effect->GetD3DXEffect(), nullptr);
    D3DXTECHNIQUE_DESC desc;
    effect->GetD3DXEffect()->GetTechniqueDesc(effect->GetD3DXEffect()->GetCurrentTechnique(), &desc);
    EXPECT_STREQ(desc.Name, "Fixed");
}

TEST_F(EffectCacheTest, DeviceLossAndResetReachEffectsThroughTheListeners) {
    CPSmartPtr<CPEffect> effect = Get("simple.fx");
    ID3DXEffect* fx = effect->GetD3DXEffect();
    ASSERT_NE(fx, nullptr);
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    fx->End();

    IPDeviceListener::BroadcastDeviceLost();
    EXPECT_TRUE(FAILED(fx->Begin(&passes, 0))) << "a lost effect does not draw";
    IPDeviceListener::BroadcastDeviceReset();
    EXPECT_EQ(fx->Begin(&passes, 0), D3D_OK);
    fx->End();
}

TEST_F(EffectCacheTest, WithoutADeviceEffectsFailToTheEmptyErrorEffect) {
    SetMaterialHost(nullptr);
    CPSmartPtr<CPEffect> effect = Get("simple.fx");
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->GetName(), "error.fx");
    EXPECT_EQ(effect->GetD3DXEffect(), nullptr);
}

TEST_F(EffectCacheTest, EffectsOutlivingTheManagerLeaveSafely) {
    CPSmartPtr<CPEffect> effect = Get("simple.fx");
    delete manager;
    manager = nullptr;
    EXPECT_EQ(GetEffectCache(), nullptr);
    effect = nullptr;
    IPMMObject::CollectGarbage(); // the destructor finds no cache to leave
    manager = new CPEffectManager();
}

} // namespace
