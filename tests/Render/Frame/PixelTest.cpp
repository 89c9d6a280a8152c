// The frame on the OpenGL device offscreen (Mesa's llvmpipe where there is no GPU), at
// 160 x 120, checked by reading pixels back. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/Frame/FrameFixture.h"
#include "support/TgaWriter.h"

using namespace frametest;

namespace {

constexpr int W = 160, H = 120;

// The sky stand-in: uploads the lights as the real sky does in its update.
class LightingSky : public IPRenderSky {
public:
    void Update(float) override { GetRender()->SetLights(); }
};

class FramePixels : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        root->Write("Data/Textures/pixel.tga", kxtest::SolidTga(2, 2, 0xFFC86432));
        root->Write("Data/Effects/lit.fx", "texture tex0;\n"
                                           "technique T { pass P0 { Lighting = true; CullMode = None;\n"
                                           "  Texture[0] = <tex0>; ColorOp[0] = Modulate; ColorArg1[0] = Texture;\n"
                                           "  ColorArg2[0] = Diffuse; } }\n");
        started = StartRendererOnOpenGL();
        ASSERT_TRUE(started);
    }
    void TearDown() override {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        g_currentViewCamera = nullptr;
        RenderFixture::TearDown();
    }

    std::vector<D3DCOLOR> Read() {
        IDirect3DDevice9* d = render->GetDevice();
        if (!backBuffer) d->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(d->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    static D3DCOLOR At(const std::vector<D3DCOLOR>& p, int x, int y) { return p[static_cast<std::size_t>(y * W + x)]; }
    static int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

    // A textured quad facing a camera at the origin that looks along +x, lit from behind the
    // camera by a directional light, handed over through the render block.
    void BuildScene() {
        camera = new CPPerspectiveCamera();
        camera->eye = D3DXVECTOR3(0, 0, 0);
        camera->target = D3DXVECTOR3(1, 0, 0);
        camera->up = D3DXVECTOR3(0, 0, 1);
        camera->fieldOfView = 1.0f;
        camera->nearDistance = 1.0f;
        camera->farDistance = 100.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
        g_currentViewCamera = camera.Get();
        render->SetGroupCamera(16, CPSmartPtr<CPBaseCamera>(camera.Get()));
        world.level = true;
        world.farCamera = camera;
        render->SetSky(std::make_unique<LightingSky>());
        render->SetAmbient(0, 0, 0, 0);

        CPSmartPtr<CPMaterial> material;
        manager->GetMaterial(material, 16, "lit.fx", {"pixel.tga"});
        mesh = new CPRenderObject();
        auto corner = [](float y, float z, float u, float v) {
            SPVertex s = MakeVertex(5.0f, y, z);
            s.nx = -1.0f;
            s.nz = 0.0f;
            s.tu = u;
            s.tv = v;
            return s;
        };
        mesh->SetMesh({corner(-2, -2, 0, 1), corner(2, -2, 1, 1), corner(2, 2, 1, 0), corner(-2, 2, 0, 0)},
                      {0, 1, 2, 0, 2, 3});
        mesh->SetEffect(material);
        object = MakeObject(CPSmartPtr<IPRenderable>(mesh.Get()));
        lightObject = MakeObject(nullptr, IPSceneObject::KindLight);
        lightObject->light = new CPLight();
        lightObject->light->SetOwner(lightObject.Get());
        D3DLIGHT9& light = lightObject->light->Record();
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = {1, 0, 0};
    }
    void HandOver() {
        render->GetRenderBlock()->AddObject(CPSmartPtr<IPSceneObject>(object.Get()));
        render->GetRenderBlock()->AddObject(CPSmartPtr<IPSceneObject>(lightObject.Get()));
    }

    bool started = false;
    IDirect3DSurface9* backBuffer = nullptr;
    CPSmartPtr<CPPerspectiveCamera> camera;
    CPSmartPtr<CPRenderObject> mesh;
    CPSmartPtr<FakeSceneObject> object, lightObject;
};

TEST_F(FramePixels, LitTexturedObjectThroughTheRenderBlock) {
    BuildScene();
    HandOver();
    Frame();
    const auto p = Read();
    const D3DCOLOR centre = At(p, W / 2, H / 2);
    EXPECT_NEAR(Channel(centre, 16), 0xC8, 6);
    EXPECT_NEAR(Channel(centre, 8), 0x64, 6);
    EXPECT_NEAR(Channel(centre, 0), 0x32, 6);
    // Outside the quad the start-up frame's black remains.
    EXPECT_EQ(At(p, 2, 2) & 0xFFFFFF, 0u);
}

TEST_F(FramePixels, ColourBufferKeepsThePreviousFrame) {
    BuildScene();
    HandOver();
    Frame();
    Frame(); // nothing handed over: only depth is cleared
    const auto p = Read();
    EXPECT_NEAR(Channel(At(p, W / 2, H / 2), 16), 0xC8, 6);
}

TEST_F(FramePixels, FadeAtHalfDarkensTheFrame) {
    BuildScene();
    render->SetFade(0.5f);
    HandOver();
    Frame();
    const auto p = Read();
    const D3DCOLOR centre = At(p, W / 2, H / 2);
    // Black with alpha 127 over the colour: about half of it remains.
    EXPECT_NEAR(Channel(centre, 16), 0xC8 * 128 / 255, 6);
    EXPECT_NEAR(Channel(centre, 8), 0x64 * 128 / 255, 6);
}

TEST_F(FramePixels, LoadingScreenBar) {
    root->Write("data/textures/back_load.jpg", kxtest::SolidTga(4, 4, 0xFF000040));
    root->Write("data/textures/back_all.jpg", kxtest::SolidTga(4, 4, 0xFF000040));
    root->Write("data/textures/load.tga", kxtest::SolidTga(4, 4, 0xFFFF0000));
    render->DrawLoadingScreen(50);
    const auto p = Read();
    EXPECT_EQ(At(p, 20, H - 4) & 0xFFFFFF, 0xFF0000u);     // the bar's left half
    EXPECT_EQ(At(p, W - 20, H - 4) & 0xFFFFFF, 0x000040u); // past the bar: the picture
    EXPECT_EQ(At(p, W / 2, H / 2) & 0xFFFFFF, 0x000040u);
    EXPECT_EQ(At(p, 20, H - 12) & 0xFFFFFF, 0x000040u); // above the bar's ten rows
}

} // namespace
