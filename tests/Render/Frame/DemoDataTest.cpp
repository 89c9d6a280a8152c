// The demo game root's renderer data: the shadow effect and the loading-screen pictures load
// as they are, without the error substitutes.
#include <gtest/gtest.h>

#include "Platform/System/Paths.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PEffect.h"

using namespace frametest;

namespace {

class DemoData : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        previousRoot = Platform::GamePaths().Root();
        Platform::GamePaths().SetRoot(KX_DATA_DIR);
    }
    void TearDown() override {
        // Back to the temporary root first, which the base then restores to the original.
        Platform::GamePaths().SetRoot(previousRoot);
        RenderFixture::TearDown();
    }
    std::string previousRoot;
};

TEST_F(DemoData, ShadowEffectIsUnlitTranslucentAndKeepsDepth) {
    ASSERT_TRUE(StartRenderer());
    CPSmartPtr<CPMaterial> shadow = render->GetShadowMaterial();
    ASSERT_TRUE(shadow);
    EXPECT_EQ(shadow->GetRenderKey(), 16);
    EXPECT_EQ(shadow->GetEffect()->GetName(), "shad2.fx"); // not the error substitute
    ID3DXEffect* fx = shadow->GetEffect()->GetD3DXEffect();
    ASSERT_NE(fx, nullptr);
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(passes, 1u);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    IDirect3DDevice9* d = render->GetDevice();
    DWORD v = 0;
    d->GetRenderState(D3DRS_LIGHTING, &v);
    EXPECT_EQ(v, static_cast<DWORD>(FALSE));
    d->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(TRUE));
    d->GetRenderState(D3DRS_ZWRITEENABLE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(FALSE));
    d->GetRenderState(D3DRS_TEXTUREFACTOR, &v);
    EXPECT_EQ(v >> 24, 0x8Cu);    // translucent
    EXPECT_EQ(v & 0xFFFFFFu, 0u); // dark
    fx->EndPass();
    fx->End();
}

TEST_F(DemoData, LoadingScreenPicturesLoad) {
    ASSERT_TRUE(StartRenderer());
    render->DrawLoadingScreen(30);
    for (int i = 0; i < 3; ++i) {
        IDirect3DTexture9* texture = render->GetLoadingTexture(i);
        ASSERT_NE(texture, nullptr) << i;
        D3DSURFACE_DESC desc;
        ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_GE(desc.Width, 8u);
    }
}

} // namespace
