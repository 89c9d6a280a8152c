// The OpenGL device offscreen (SDL's "offscreen" video driver over EGL; Mesa's llvmpipe where
// there is no GPU), checked by reading pixels back.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/D3D9.h"
#include "support/TestDevices.h"

using namespace GraphicsTest;

namespace {

constexpr UINT W = 160, H = 120;

class OpenGLDeviceTest : public kxtest::OffscreenDeviceTest {
protected:
    void SetUp() override { OpenDevice(WindowedParams(W, H)); }

    std::vector<D3DCOLOR> Read(IDirect3DSurface9* surface = nullptr) {
        IDirect3DSurface9* s = surface ? surface : backBuffer;
        D3DSURFACE_DESC d;
        s->GetDesc(&d);
        std::vector<D3DCOLOR> pixels(d.Width * d.Height);
        EXPECT_EQ(device->ReadRenderTarget(s, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    D3DCOLOR At(const std::vector<D3DCOLOR>& p, UINT x, UINT y, UINT width = W) { return p[y * width + x]; }

    void ScreenQuad(float x0, float y0, float x1, float y1, D3DCOLOR c, float u0 = 0, float v0 = 0, float u1 = 1,
                    float v1 = 1) {
        // Strip order as the engine draws it: top-right, bottom-right, top-left, bottom-left.
        ScreenVertex q[4] = {{x1, y0, 0.5f, 1, c, u1, v0},
                             {x1, y1, 0.5f, 1, c, u1, v1},
                             {x0, y0, 0.5f, 1, c, u0, v0},
                             {x0, y1, 0.5f, 1, c, u0, v1}};
        device->SetFVF(kScreenFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(ScreenVertex)), D3D_OK);
    }

    void UnlitScreenState() {
        UnlitDiffuseState(device);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
    }

    IDirect3DTexture9* MakeTexture(UINT w, UINT h, const std::vector<D3DCOLOR>& texels) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y) std::memcpy(static_cast<char*>(r.pBits) + y * r.Pitch, &texels[y * w], w * 4);
        t->UnlockRect(0);
        return t;
    }

    // A camera at the origin looking along +z, y up; a plane at depth z facing the camera.
    void Camera() {
        D3DMATRIX view = Identity(), proj = PerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 100.0f);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        D3DMATRIX world = Identity();
        device->SetTransform(D3DTS_WORLD, &world);
    }
    // A scene begun on a cleared target and depth buffer, seen by Camera(), lit with a white
    // diffuse material whose lit colour stage 0 passes through unchanged.
    void BeginLitScene() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        Camera();
        D3DMATERIAL9 m;
        m.Diffuse = {1, 1, 1, 1};
        device->SetMaterial(&m);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    }
    void Plane(float z, float half, D3DCOLOR diffuse) {
        const Vertex v[4] = {{-half, half, z, 0, 0, -1, diffuse, 0, 0, 0, 0, 0},
                             {half, half, z, 0, 0, -1, diffuse, 0, 1, 0, 0, 0},
                             {-half, -half, z, 0, 0, -1, diffuse, 0, 0, 1, 0, 0},
                             {half, -half, z, 0, 0, -1, diffuse, 0, 1, 1, 0, 0}};
        const std::uint16_t idx[6] = {0, 1, 2, 2, 1, 3}; // clockwise on screen
        IDirect3DVertexBuffer9* vb = nullptr;
        IDirect3DIndexBuffer9* ib = nullptr;
        ASSERT_EQ(device->CreateVertexBuffer(sizeof(v), D3DUSAGE_WRITEONLY, kVertexFvf, D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        ASSERT_EQ(
            device->CreateIndexBuffer(sizeof(idx), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
            D3D_OK);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, v, sizeof(v));
        vb->Unlock();
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, idx, sizeof(idx));
        ib->Unlock();
        device->SetFVF(kVertexFvf);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->SetIndices(ib);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        vb->Release();
        ib->Release();
    }
};

TEST_F(OpenGLDeviceTest, ClearFillsTheBackBufferAndKeepsItAcrossPresent) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // Only the depth buffer is cleared next frame: the colour buffer keeps the previous frame.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    const auto p = Read();
    for (D3DCOLOR c : p) ASSERT_EQ(c, 0xFF336699u);
}

TEST_F(OpenGLDeviceTest, PretransformedQuadWithHalfPixelOffsetsHitsExactPixels) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    ScreenQuad(10 - 0.5f, 20 - 0.5f, 30 - 0.5f, 40 - 0.5f, 0xFFFF0000);
    device->EndScene();
    const auto p = Read();
    EXPECT_EQ(At(p, 10, 20), 0xFFFF0000u);
    EXPECT_EQ(At(p, 29, 39), 0xFFFF0000u);
    EXPECT_EQ(At(p, 9, 20), 0xFF000000u);
    EXPECT_EQ(At(p, 30, 39), 0xFF000000u);
    EXPECT_EQ(At(p, 10, 19), 0xFF000000u);
    EXPECT_EQ(At(p, 10, 40), 0xFF000000u);
}

TEST_F(OpenGLDeviceTest, TexelsMapOneToOneWithTheTopRowFirst) {
    std::vector<D3DCOLOR> texels(16);
    for (UINT i = 0; i < 16; ++i) texels[i] = 0xFF000000u | (i * 16u) << 16 | (255u - i * 16u);
    IDirect3DTexture9* t = MakeTexture(4, 4, texels);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    ScreenQuad(50 - 0.5f, 60 - 0.5f, 54 - 0.5f, 64 - 0.5f, 0xFFFFFFFF);
    device->EndScene();
    const auto p = Read();
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) EXPECT_TRUE(Near(At(p, 50 + x, 60 + y), texels[y * 4 + x], 1)) << x << "," << y;
    t->Release();
}

TEST_F(OpenGLDeviceTest, CullCounterClockwiseKeepsClockwiseTrianglesOnly) {
    struct Case {
        DWORD cull;
        bool clockwiseVisible, counterVisible;
    } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
    for (const Case& c : cases) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        UnlitScreenState();
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        device->SetFVF(kScreenFvf);
        // Clockwise on screen (y down): top-left, top-right, bottom-left; on the left half.
        const ScreenVertex cw[3] = {
            {0, 0, 0.5f, 1, 0xFF00FF00, 0, 0}, {70, 0, 0.5f, 1, 0xFF00FF00, 0, 0}, {0, 100, 0.5f, 1, 0xFF00FF00, 0, 0}};
        const ScreenVertex ccw[3] = {{90, 0, 0.5f, 1, 0xFF0000FF, 0, 0},
                                     {90, 100, 0.5f, 1, 0xFF0000FF, 0, 0},
                                     {159, 0, 0.5f, 1, 0xFF0000FF, 0, 0}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(ScreenVertex));
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ScreenVertex));
        device->EndScene();
        const auto p = Read();
        EXPECT_EQ(At(p, 10, 10) == 0xFF00FF00u, c.clockwiseVisible) << "cull " << c.cull;
        EXPECT_EQ(At(p, 110, 10) == 0xFF0000FFu, c.counterVisible) << "cull " << c.cull;
    }
}

TEST_F(OpenGLDeviceTest, AlphaBlendingMixesSourceOverDestination) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    ScreenQuad(-0.5f, -0.5f, W - 0.5f, H - 0.5f, 0x80FF0000);
    // Additive (bloom style) on the right half.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    ScreenQuad(W / 2 - 0.5f, -0.5f, W - 0.5f, H - 0.5f, 0xFF404040);
    device->EndScene();
    const auto p = Read();
    EXPECT_TRUE(Near(At(p, 10, 10), D3DCOLOR_ARGB(0xC0, 0x80, 0, 0x7F), 2)) << std::hex << At(p, 10, 10);
    // (0x80, 0, 0x7F) + 0x40 * 0x40 / 255 = +0x10
    EXPECT_TRUE(Near(At(p, 150, 10) & 0x00FFFFFF, 0x00901090u & 0x00FFFFFF, 2)) << std::hex << At(p, 150, 10);
}

TEST_F(OpenGLDeviceTest, VertexColourIsIgnoredWhenLitWithMaterialSources) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    Camera();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    D3DMATERIAL9 m;
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&m);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    // No light: only the global ambient, whatever the vertex colour says.
    Plane(10, 20, 0xFFFF0000);
    device->EndScene();
    auto p = Read();
    EXPECT_TRUE(Near(At(p, 80, 60), 0xFF404040, 1)) << std::hex << At(p, 80, 60);

    // Colour source 1: the vertex colour becomes the diffuse and ambient material.
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
    Plane(10, 20, 0xFFFF0000);
    device->EndScene();
    p = Read();
    EXPECT_TRUE(Near(At(p, 80, 60), 0xFF400000, 1)) << std::hex << At(p, 80, 60);
}

TEST_F(OpenGLDeviceTest, DirectionalAndPointLights) {
    BeginLitScene();
    // A directional light shining along +z at 60 degrees off the plane's normal: half strength.
    D3DLIGHT9 sun;
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {1.0f, 0.5f, 0.0f, 0};
    sun.Direction = {0.8660254f, 0, 0.5f};
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);
    Plane(10, 20, 0xFFFFFFFF);
    device->EndScene();
    auto p = Read();
    EXPECT_TRUE(Near(At(p, 80, 60), D3DCOLOR_ARGB(255, 128, 64, 0), 2)) << std::hex << At(p, 80, 60);

    // Lighting is per vertex. A point light at the eye lies 30 units from every corner of the
    // plane, at 1/3 of the normal: linear attenuation 1/15 (2 at 30 units) halves it, so every corner and the
    // whole plane gets 1/6.
    D3DLIGHT9 lamp;
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = {1, 1, 1, 0};
    lamp.Position = {0, 0, 0};
    lamp.Range = 100;
    lamp.Attenuation1 = 1.0f / 15;
    for (float range : {100.0f, 29.0f}) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        device->LightEnable(0, FALSE);
        lamp.Range = range;
        device->SetLight(3, &lamp);
        device->LightEnable(3, TRUE);
        Plane(10, 20, 0xFFFFFFFF);
        device->EndScene();
        p = Read();
        // Out of range (29 < 30): no light at all.
        const D3DCOLOR expected = range > 30 ? D3DCOLOR_ARGB(255, 43, 43, 43) : 0xFF000000;
        EXPECT_TRUE(Near(At(p, 80, 60), expected, 2)) << std::hex << At(p, 80, 60) << " range " << range;
    }
}

TEST_F(OpenGLDeviceTest, ThirtyLightsAreHonoured) {
    BeginLitScene();
    for (DWORD i = 0; i < D3DMaxActiveLights; ++i) {
        D3DLIGHT9 l;
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1.0f / 30, 1.0f / 30, 1.0f / 30, 0};
        l.Direction = {0, 0, 1};
        device->SetLight(i, &l);
        ASSERT_EQ(device->LightEnable(i, TRUE), D3D_OK);
    }
    Plane(10, 20, 0xFFFFFFFF);
    device->EndScene();
    const auto p = Read();
    EXPECT_TRUE(Near(At(p, 80, 60), 0xFFFFFFFF, 2)) << std::hex << At(p, 80, 60);
}

TEST_F(OpenGLDeviceTest, LinearVertexFogByDepth) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    Camera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    const float start = 5, end = 15;
    device->SetRenderState(D3DRS_FOGSTART, kxtest::FloatBits(start));
    device->SetRenderState(D3DRS_FOGEND, kxtest::FloatBits(end));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Plane(10, 20, 0xFFFF0000); // halfway: half fog
    device->EndScene();
    const auto p = Read();
    EXPECT_TRUE(Near(At(p, 80, 60), D3DCOLOR_ARGB(255, 128, 0, 127), 2)) << std::hex << At(p, 80, 60);
}

TEST_F(OpenGLDeviceTest, TexturedIndexedMeshModulatesTextureWithVertexColour) {
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xFFFFFFFF, 0xFF00FF00, 0xFF0000FF, 0xFFFF0000});
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    Camera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    // The plane fills the screen (half-size 20 at depth 10 with a 90-degree view).
    Plane(10, 20, 0xFF808080);
    device->EndScene();
    const auto p = Read();
    // uv (0,0) is the top-left texel.
    EXPECT_TRUE(Near(At(p, 70, 50), 0xFF808080, 1)) << std::hex << At(p, 70, 50);
    EXPECT_TRUE(Near(At(p, 90, 50), 0xFF008000, 1)) << std::hex << At(p, 90, 50);
    EXPECT_TRUE(Near(At(p, 70, 70), 0xFF000080, 1)) << std::hex << At(p, 70, 70);
    EXPECT_TRUE(Near(At(p, 90, 70), 0xFF800000, 1)) << std::hex << At(p, 90, 70);
    t->Release();
}

TEST_F(OpenGLDeviceTest, RenderTargetTextureThenStretchRect) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(
        device->CreateTexture(64, 48, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);

    // Left half red, right half green on the back buffer.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    ScreenQuad(W / 2 - 0.5f, -0.5f, W - 0.5f, H - 0.5f, 0xFF00FF00);
    device->EndScene();

    ASSERT_EQ(device->StretchRect(backBuffer, nullptr, surface, nullptr, D3DTEXF_LINEAR), D3D_OK);
    auto small = Read(surface);
    EXPECT_EQ(small[10 * 64 + 5], 0xFFFF0000u);
    EXPECT_EQ(small[10 * 64 + 60], 0xFF00FF00u);

    // Switching the render target resets the viewport to the whole new target.
    ASSERT_EQ(device->SetRenderTarget(0, surface), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 64u);
    EXPECT_EQ(vp.Height, 48u);
    device->BeginScene();
    ScreenQuad(-0.5f, -0.5f, 8 - 0.5f, 4 - 0.5f, 0xFF0000FF); // top-left corner of the target
    device->EndScene();
    ASSERT_EQ(device->SetRenderTarget(0, backBuffer), D3D_OK);

    // Draw the target back over the whole back buffer.
    device->BeginScene();
    device->SetTexture(0, target);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    ScreenQuad(-0.5f, -0.5f, W - 0.5f, H - 0.5f, 0xFFFFFFFF);
    device->EndScene();
    const auto p = Read();
    EXPECT_EQ(At(p, 1, 1), 0xFF0000FFu);     // the blue corner, top-left as drawn
    EXPECT_EQ(At(p, 40, 100), 0xFFFF0000u);  // red half
    EXPECT_EQ(At(p, 120, 100), 0xFF00FF00u); // green half
    surface->Release();
    target->Release();
}

TEST_F(OpenGLDeviceTest, NonIndexedDrawsFromABufferWithAnOffset) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kScreenFvf,
                                         D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    auto* v = static_cast<ScreenVertex*>(p);
    const D3DCOLOR colour = 0xFF00FFFF;
    // Vertices 4..7 hold a strip over pixels 40..59 x 40..59; 0..3 are never drawn.
    v[4] = {59.5f, 39.5f, 0.5f, 1, colour, 0, 0};
    v[5] = {59.5f, 59.5f, 0.5f, 1, colour, 0, 0};
    v[6] = {39.5f, 39.5f, 0.5f, 1, colour, 0, 0};
    v[7] = {39.5f, 59.5f, 0.5f, 1, colour, 0, 0};
    vb->Unlock();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 6, 2), D3DERR_INVALIDCALL) << "past the end";
    device->EndScene();
    const auto pixels = Read();
    EXPECT_EQ(At(pixels, 40, 40), colour);
    EXPECT_EQ(At(pixels, 59, 59), colour);
    EXPECT_EQ(At(pixels, 60, 59), 0xFF000000u);
    vb->Release();
}

TEST_F(OpenGLDeviceTest, CompressedTexturesUploadAsBlocks) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
    // One block: colour 0 pure red (5:6:5), colour 1 black, every texel index 0.
    const std::uint8_t block[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
    std::memcpy(r.pBits, block, 8);
    t->UnlockRect(0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    ScreenQuad(-0.5f, -0.5f, 20 - 0.5f, 20 - 0.5f, 0xFFFFFFFF);
    device->EndScene();
    const auto p = Read();
    EXPECT_TRUE(Near(At(p, 10, 10), 0xFFFF0000, 1)) << std::hex << At(p, 10, 10);
    t->Release();
}

TEST_F(OpenGLDeviceTest, ProgramsFromTheEffectRuntimeDrawWithTheirUniforms) {
    const char* vs = "#version 450 core\n"
                     "layout(location = 0) in vec4 a_position;\n"
                     "uniform vec2 u_size;\n"
                     "void main() { gl_Position = vec4((a_position.x + 0.5) * 2.0 / u_size.x - 1.0,\n"
                     "                                 1.0 - (a_position.y + 0.5) * 2.0 / u_size.y, 0.5, 1.0); }\n";
    const char* ps = "#version 450 core\n"
                     "uniform vec4 u_colour; uniform int u_flag; out vec4 o;\n"
                     "void main() { o = u_flag == 1 ? u_colour : vec4(1.0); }\n";
    IDirect3DProgram9* program = nullptr;
    std::string errors;
    ASSERT_EQ(device->CreateProgram(vs, ps, &program, &errors), D3D_OK) << errors;
    IDirect3DProgram9* broken = nullptr;
    EXPECT_EQ(device->CreateProgram(vs, "#version 450 core\nvoid main() { nonsense; }\n", &broken, &errors),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(broken, nullptr);
    EXPECT_FALSE(errors.empty());

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    ASSERT_EQ(device->SetProgram(program), D3D_OK);
    const float size[2] = {W, H}, colour[4] = {0, 1, 0, 1};
    const INT flag = 1;
    device->SetProgramFloats("u_size", size, 2);
    device->SetProgramFloats("u_colour", colour, 4);
    device->SetProgramInts("u_flag", &flag, 1);
    EXPECT_EQ(device->SetProgramFloats("u_missing", colour, 4), D3D_OK) << "unknown names are ignored";
    ScreenQuad(-0.5f, -0.5f, 10 - 0.5f, 10 - 0.5f, 0xFFFFFFFF);
    device->SetProgram(nullptr);
    ScreenQuad(20 - 0.5f, -0.5f, 30 - 0.5f, 10 - 0.5f, 0xFFFF0000); // fixed function again
    device->EndScene();
    const auto p = Read();
    EXPECT_EQ(At(p, 5, 5), 0xFF00FF00u);
    EXPECT_EQ(At(p, 25, 5), 0xFFFF0000u);
    program->Release();
}

// A triangle off the axes under a rotated, translated world, a looking-at view and a
// perspective projection: none of the three is the identity, so a matrix read transposed, left
// out or taken at the wrong draw lands elsewhere on the screen.
struct TransformedScene {
    D3DMATRIX world[2], view, projection;
    TransformedScene() {
        const float c = std::cos(0.6f), s = std::sin(0.6f);
        world[0] = Translation(-1.5f, 0.5f, 2.0f);
        world[0]._11 = c;
        world[0]._12 = s;
        world[0]._21 = -s;
        world[0]._22 = c;
        world[1] = Translation(2.0f, -1.0f, 4.0f);
        view = LookAtLH({1.0f, 2.0f, -6.0f}, {0.5f, 0.0f, 3.0f}, {0.0f, 1.0f, 0.0f});
        projection = PerspectiveFovLH(1.2f, 4.0f / 3.0f, 0.5f, 50.0f);
    }
};

struct ColourVertex {
    float x, y, z;
    D3DCOLOR diffuse;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// Which pixels differ from the clear colour.
std::vector<bool> Covered(const std::vector<D3DCOLOR>& p, D3DCOLOR clear) {
    std::vector<bool> mask(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) mask[i] = p[i] != clear;
    return mask;
}
int CountCovered(const std::vector<bool>& m) {
    int n = 0;
    for (bool b : m) n += b;
    return n;
}
int Mismatches(const std::vector<bool>& a, const std::vector<bool>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST_F(OpenGLDeviceTest, ProgramsReadTheTransformsInForceAtEachDraw) {
    const TransformedScene scene;
    const ColourVertex tri[3] = {
        {-1.0f, -1.0f, 0.0f, 0xFFFFFFFF}, {0.0f, 1.5f, 0.0f, 0xFFFFFFFF}, {1.2f, -0.8f, 0.0f, 0xFFFFFFFF}};
    auto drawBoth = [&] {
        device->SetTransform(D3DTS_VIEW, &scene.view);
        device->SetTransform(D3DTS_PROJECTION, &scene.projection);
        device->SetFVF(kColourFvf);
        for (const D3DMATRIX& w : scene.world) {
            device->SetTransform(D3DTS_WORLD, &w);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ColourVertex)), D3D_OK);
        }
    };
    device->BeginScene();
    UnlitScreenState();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawBoth();
    const std::vector<bool> reference = Covered(Read(), 0xFF000000);
    ASSERT_GT(CountCovered(reference), 200);

    // Every way of composing the matrices a shader may use gives the fixed-function picture.
    const char* vs = "#version 450 core\n"
                     "layout(location = 0) in vec4 a_position;\n"
                     "uniform mat4 kx_World, kx_View, kx_Projection, kx_WorldView, kx_ViewProjection,\n"
                     "             kx_WorldViewProjection;\n"
                     "uniform vec2 kx_HalfPixel; uniform int u_mode;\n"
                     "void main() {\n"
                     "  vec4 p = vec4(a_position.xyz, 1.0);\n"
                     "  if (u_mode == 0) gl_Position = kx_WorldViewProjection * p;\n"
                     "  else if (u_mode == 1) gl_Position = kx_Projection * (kx_View * (kx_World * p));\n"
                     "  else if (u_mode == 2) gl_Position = kx_ViewProjection * (kx_World * p);\n"
                     "  else gl_Position = kx_Projection * (kx_WorldView * p);\n"
                     "  gl_Position.xy += kx_HalfPixel * gl_Position.w;\n"
                     "}\n";
    const char* ps = "#version 450 core\nout vec4 o;\nvoid main() { o = vec4(0.0, 1.0, 0.0, 1.0); }\n";
    IDirect3DProgram9* program = nullptr;
    std::string errors;
    ASSERT_EQ(device->CreateProgram(vs, ps, &program, &errors), D3D_OK) << errors;
    for (INT mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(device->SetProgram(program), D3D_OK);
        device->SetProgramInts("u_mode", &mode, 1);
        drawBoth();
        device->SetProgram(nullptr);
        const auto p = Read();
        const std::vector<bool> drawn = Covered(p, 0xFF000000);
        // Rounding may move a pixel or two along the edges, no more.
        EXPECT_LE(Mismatches(drawn, reference), 4) << CountCovered(drawn) << " pixels drawn";
    }
    device->EndScene();
    program->Release();
}

TEST_F(OpenGLDeviceTest, ProgramsReadTheViewportThePretransformedFlagAndTheHalfPixel) {
    const char* vs =
        "#version 450 core\n"
        "layout(location = 0) in vec4 a_position;\n"
        "uniform vec4 kx_Viewport; uniform float kx_Pretransformed; uniform vec2 kx_HalfPixel;\n"
        "out vec4 v_values;\n"
        "void main() {\n"
        "  gl_Position = vec4((a_position.x + 0.5 - kx_Viewport.x) * 2.0 / kx_Viewport.z - 1.0,\n"
        "                     1.0 - (a_position.y + 0.5 - kx_Viewport.y) * 2.0 / kx_Viewport.w, 0.5, 1.0);\n"
        "  v_values = vec4(kx_Pretransformed, kx_Viewport.x / 255.0, kx_Viewport.y / 255.0,\n"
        "                  kx_HalfPixel.x * kx_Viewport.z * 0.25 - kx_HalfPixel.y * kx_Viewport.w * 0.5);\n"
        "}\n";
    const char* ps = "#version 450 core\nin vec4 v_values; out vec4 o;\n"
                     "uniform vec4 kx_Viewport;\n"
                     "void main() { o = gl_FragCoord.x < kx_Viewport.x + 2.0 ? v_values\n"
                     "                 : vec4(kx_Viewport.z / 255.0, kx_Viewport.w / 255.0, 0.0, 1.0); }\n";
    IDirect3DProgram9* program = nullptr;
    std::string errors;
    ASSERT_EQ(device->CreateProgram(vs, ps, &program, &errors), D3D_OK) << errors;
    const D3DVIEWPORT9 viewport = {20, 10, 100, 80, 0.0f, 1.0f};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UnlitScreenState();
    device->SetViewport(&viewport);
    ASSERT_EQ(device->SetProgram(program), D3D_OK);
    ScreenQuad(20 - 0.5f, 10 - 0.5f, 120 - 0.5f, 90 - 0.5f, 0xFFFFFFFF);
    device->SetProgram(nullptr);
    device->EndScene();
    auto p = Read();
    // x 20, y 10, pre-transformed, half pixel (1/100, -1/80) scaled to 0.25 + 0.5.
    EXPECT_TRUE(Near(At(p, 20, 40), D3DCOLOR(0xBF000000u | (255u << 16) | (20u << 8) | 10u), 1))
        << std::hex << At(p, 20, 40);
    EXPECT_TRUE(Near(At(p, 60, 40), D3DCOLOR(0xFF000000u | (100u << 16) | (80u << 8)), 1)) << std::hex << At(p, 60, 40);

    // The same program over untransformed vertices: the flag is 0.
    const ColourVertex quad[4] = {
        {20.0f, 10.0f, 0.5f, 0}, {120.0f, 10.0f, 0.5f, 0}, {20.0f, 90.0f, 0.5f, 0}, {120.0f, 90.0f, 0.5f, 0}};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    ASSERT_EQ(device->SetProgram(program), D3D_OK);
    device->SetFVF(kColourFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColourVertex)), D3D_OK);
    device->SetProgram(nullptr);
    device->EndScene();
    p = Read();
    EXPECT_TRUE(Near(At(p, 20, 40), 0xBF00140Au, 1)) << std::hex << At(p, 20, 40);
    program->Release();
}

TEST_F(OpenGLDeviceTest, ResetTakesANewBackBufferSize) {
    backBuffer->Release();
    backBuffer = nullptr;
    D3DPRESENT_PARAMETERS pp = WindowedParams(64, 32);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    ASSERT_EQ(device->TestCooperativeLevel(), D3D_OK);
    ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
    D3DSURFACE_DESC d;
    backBuffer->GetDesc(&d);
    EXPECT_EQ(d.Width, 64u);
    EXPECT_EQ(d.Height, 32u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const auto p = Read();
    EXPECT_EQ(p.size(), 64u * 32u);
    EXPECT_EQ(p.back(), 0xFF204060u);
}

} // namespace
