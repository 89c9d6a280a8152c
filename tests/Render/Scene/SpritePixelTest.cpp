// A billboard drawn on the OpenGL device offscreen at 160 x 120 and read back: seen from two
// directions at right angles it covers the same square of pixels around its owner, where a
// fixed quad would be seen edge-on from one of them. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PSettings.h"
#include "Render/PSprite.h"
#include "Render/Scene/SceneFakes.h"
#include "support/TgaWriter.h"

using namespace scenetest;

namespace {

constexpr int W = 160, H = 120;

struct Direction {
    const char* name;
    D3DXVECTOR3 eye; // looking at the sprite's owner from 5 units away
};

class SpritePixels : public frametest::RenderFixture, public ::testing::WithParamInterface<Direction> {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        root->Write("Data/Textures/sprite.tga", kxtest::SolidTga(2, 2, 0xFF30C060));
        root->Write("Data/Effects/sprite.fx", "texture tex0;\n"
                                              "technique T { pass P0 { Lighting = false; CullMode = None;\n"
                                              "  Texture[0] = <tex0>; ColorOp[0] = Modulate; ColorArg1[0] = Texture;\n"
                                              "  ColorArg2[0] = Diffuse; } }\n");
        ASSERT_TRUE(StartRendererOnOpenGL());
    }
    void TearDown() override {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        owner = nullptr;
        camera = nullptr;
        world.farCamera = nullptr;
        RenderFixture::TearDown();
    }

    std::vector<D3DCOLOR> Read() {
        IDirect3DDevice9* d = render->GetDevice();
        if (!backBuffer) d->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(d->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    static D3DCOLOR At(const std::vector<D3DCOLOR>& p, int x, int y) {
        return p[static_cast<std::size_t>(y * W + x)] & 0xFFFFFF;
    }

    IDirect3DSurface9* backBuffer = nullptr;
    CPSmartPtr<SceneObject> owner;
    CPSmartPtr<CPPerspectiveCamera> camera;
};

TEST_P(SpritePixels, BillboardCoversItsPixels) {
    const D3DXVECTOR3 centre(5.0f, 0.0f, 0.0f);
    camera = MakeCamera(GetParam().eye, centre);
    g_currentViewCamera = camera.Get();
    render->SetGroupCamera(16, CPSmartPtr<CPBaseCamera>(camera.Get()));
    world.level = true;
    world.farCamera = camera;

    CPSmartPtr<CPMaterial> material;
    manager->GetMaterial(material, 16, "sprite.fx", {"sprite.tga"});
    owner = MakeSceneObject(centre);
    owner->kind = IPSceneObject::KindSprite;
    CPSmartPtr<CPSprite> sprite(new CPSprite(1.0f));
    sprite->SetOwner(owner.Get());
    sprite->SetMaterial(material);
    owner->renderable = sprite.Get();
    render->GetRenderBlock()->AddObject(CPSmartPtr<IPSceneObject>(owner.Get()));
    Frame();

    // Half-size 1 at 5 units with a vertical field of 1 radian: about 22 pixels each way of
    // the centre (80, 60), in both axes at this aspect.
    const auto p = Read();
    const D3DCOLOR colour = 0x30C060;
    for (int d : {0, 12, -12, 18, -18}) {
        SCOPED_TRACE(d);
        EXPECT_EQ(At(p, W / 2 + d, H / 2), colour);
        EXPECT_EQ(At(p, W / 2, H / 2 + d), colour);
        EXPECT_EQ(At(p, W / 2 + d, H / 2 + d), colour);
    }
    for (int d : {28, -28, 40, -40}) {
        SCOPED_TRACE(d);
        EXPECT_EQ(At(p, W / 2 + d, H / 2), 0u);
        EXPECT_EQ(At(p, W / 2, H / 2 + d), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(TwoDirections, SpritePixels,
                         ::testing::Values(Direction{"alongX", D3DXVECTOR3(0.0f, 0.0f, 0.0f)},
                                           Direction{"alongY", D3DXVECTOR3(5.0f, -5.0f, 0.0f)}),
                         [](const ::testing::TestParamInfo<Direction>& info) { return info.param.name; });

} // namespace
