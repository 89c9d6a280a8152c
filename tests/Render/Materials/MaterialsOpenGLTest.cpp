// Our data effects and the texture loader on the OpenGL device, offscreen, checked by pixels.
#include <gtest/gtest.h>

#include <vector>

#include "MaterialsFixture.h"
#include "Render/PEffect.h"
#include "Render/PTexture.h"
#include "support/Near.h"

using namespace materialstest;
using kxtest::NearRgb;

namespace {

constexpr UINT W = 64, H = 48;

struct Vertex { // FVF 0x2D2
    float x, y, z, nx, ny, nz;
    D3DCOLOR diffuse, specular;
    float u, v, u1, v1;
};

class MaterialsOpenGLTest : public kxtest::OffscreenDeviceTest {
protected:
    void SetUp() override {
        root.Write("Data/Effects/simple.fx", ReadDataFile("Data/Effects/simple.fx"));
        root.Write("Data/Effects/error.fx", ReadDataFile("Data/Effects/error.fx"));
        root.Write("Data/Textures/error.tga", ReadDataFile("Data/Textures/error.tga"));
        OpenDevice(kxtest::WindowedBackBuffer(W, H, D3DFMT_A8R8G8B8, D3DFMT_D16), false);
        if (!device) return;
        host.device = device;
        SetMaterialHost(&host);
        manager = new CPEffectManager();
    }
    void TearDown() override {
        material = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        delete manager;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        SetMaterialHost(nullptr);
        host.device = nullptr;
        CloseDevice(false);
    }

    // Draws a full-screen quad with the material as the frame would: identity transforms, the
    // scene's ambient light only, linear vertex fog far away.
    D3DCOLOR DrawAndReadCentre(float fogStart = 100, float fogEnd = 200, D3DCOLOR ambient = 0xFFFFFFFF) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        D3DMATRIX identity{};
        identity._11 = identity._22 = identity._33 = identity._44 = 1;
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        D3DMATERIAL9 white;
        white.Diffuse = white.Ambient = {1, 1, 1, 1};
        device->SetMaterial(&white);
        device->SetRenderState(D3DRS_AMBIENT, ambient);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        device->SetRenderState(D3DRS_FOGCOLOR, 0xFF00FF00);
        const float start = fogStart, end = fogEnd;
        device->SetRenderState(D3DRS_FOGSTART, kxtest::FloatBits(start));
        device->SetRenderState(D3DRS_FOGEND, kxtest::FloatBits(end));
        device->SetFVF(0x2D2);
        const Vertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0},
                                {1, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0, 0, 0},
                                {-1, -1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1, 0, 0},
                                {1, -1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1, 0, 0}};
        CPEffect* effect = material->GetEffect();
        ID3DXEffect* fx = effect->GetD3DXEffect();
        UINT passes = 0;
        EXPECT_EQ(fx->Begin(&passes, 0), D3D_OK);
        effect->SetParameters(material->GetTextureBlock());
        for (UINT p = 0; p < passes; ++p) {
            fx->BeginPass(p);
            EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
            fx->EndPass();
        }
        fx->End();
        device->EndScene();
        IDirect3DSurface9* back = nullptr;
        device->GetRenderTarget(0, &back);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(device->ReadRenderTarget(back, pixels.data(), W * H), D3D_OK);
        back->Release();
        return pixels[(H / 2) * W + W / 2];
    }

    kxtest::TempGameRoot root;
    Host host;
    CPEffectManager* manager = nullptr;
    CPSmartPtr<CPMaterial> material;
};

TEST_F(MaterialsOpenGLTest, SimpleDrawsItsDxtTextureLitAndUnfogged) {
    root.Write("Data/Textures/red.dds", DdsDxt1(8, false));
    manager->GetMaterial(material, 20, "", {"red.dds"});
    ASSERT_NE(material->GetEffect()->GetD3DXEffect(), nullptr);
    const D3DCOLOR centre = DrawAndReadCentre();
    EXPECT_TRUE(NearRgb(centre, 0xFFFF0000, 8)) << std::hex << centre;
}

TEST_F(MaterialsOpenGLTest, SimpleIsLitSoWithoutLightItIsDark) {
    root.Write("Data/Textures/red.dds", DdsDxt1(8, false));
    manager->GetMaterial(material, 20, "", {"red.dds"});
    const D3DCOLOR centre = DrawAndReadCentre(100, 200, 0xFF000000);
    EXPECT_TRUE(NearRgb(centre, 0xFF000000, 8)) << std::hex << centre;
}

TEST_F(MaterialsOpenGLTest, SimpleTakesTheFogColourBeyondTheFogEnd) {
    root.Write("Data/Textures/red.dds", DdsDxt1(8, false));
    manager->GetMaterial(material, 20, "", {"red.dds"});
    const D3DCOLOR centre = DrawAndReadCentre(0.0f, 0.1f);
    EXPECT_TRUE(NearRgb(centre, 0xFF00FF00, 8)) << std::hex << centre;
}

TEST_F(MaterialsOpenGLTest, ErrorEffectDrawsItsMarkerColour) {
    root.Write("Data/Effects/broken.fx", "technique {");
    manager->GetMaterial(material, 20, "broken.fx", {});
    ASSERT_EQ(material->GetEffect()->GetName(), "error.fx");
    const D3DCOLOR centre = DrawAndReadCentre();
    EXPECT_TRUE(NearRgb(centre, 0xFFFF00FF, 8)) << std::hex << centre;
}

} // namespace
