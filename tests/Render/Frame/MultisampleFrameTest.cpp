// The full-screen frame with the contrast setting on the OpenGL device offscreen (Mesa's
// llvmpipe where there is no GPU): the renderer's antialiasing reaches a multisampled back
// buffer. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <vector>

#include "Framework/PSettings.h"
#include "Render/Frame/FrameFixture.h"

using namespace frametest;

namespace {

constexpr int W = 160, H = 120;

class FrameMultisample : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 1;
        g_contrast = 1;
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        // Every OpenGL 4.5 multisamples 32-bit colour with depth, so the levels are never 0.
        probe->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE,
                                          D3DMULTISAMPLE_NONMASKABLE, &levels);
        probe->Release();
        ASSERT_TRUE(StartRendererOnOpenGL());
    }

    DWORD levels = 0;
};

TEST_F(FrameMultisample, ContrastDrawsIntoAMultisampledBackBufferThatResolvesForThePostEffects) {
    ASSERT_GE(levels, 1u);
    ASSERT_TRUE(render->IsMultisampling());
    EXPECT_EQ(render->GetPresentParameters().MultiSampleQuality, levels - 1);
    IDirect3DDevice9* d = render->GetDevice();
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(d->GetRenderTarget(0, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.MultiSampleType, D3DMULTISAMPLE_NONMASKABLE);
    EXPECT_EQ(desc.MultiSampleQuality, levels - 1);

    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0);
    Frame();
    // The post effects' copy of the frame: resolved and scaled into a single-sample target.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        d->CreateTexture(W / 2, H / 2, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
        D3D_OK);
    IDirect3DSurface9* target = nullptr;
    texture->GetSurfaceLevel(0, &target);
    EXPECT_EQ(d->StretchRect(back, nullptr, target, nullptr, D3DTEXF_LINEAR), D3D_OK);
    std::vector<D3DCOLOR> pixels(W / 2 * H / 2);
    ASSERT_EQ(d->ReadRenderTarget(target, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
    EXPECT_EQ(pixels[H / 4 * W / 2 + W / 4], 0xFF204060u) << "nothing drawn over the cleared frame";
    target->Release();
    texture->Release();
    back->Release();
}

} // namespace
