// A small demo on the OpenGL device: a lit, textured, fogged terrain mesh drawn through the
// fixed-function emulation, saved as a PNG beside the test binary for a person to look at.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/D3D9.h"
#include "support/TestDevices.h"

using namespace GraphicsTest;

namespace {

float Height(float x, float y) { return 3.0f * std::sin(x * 0.08f) * std::cos(y * 0.06f) + 1.5f * std::sin(y * 0.21f); }

TEST(GraphicsDemoTest, DrawsALitTexturedFoggedMeshAndSavesAPng) {
    IDirect3D9* d3d = kxtest::OffscreenOpenGLDirect3D();
    if (!d3d) GTEST_SKIP() << "no OpenGL 4.5 here";
    constexpr UINT W = 320, H = 240;
    D3DPRESENT_PARAMETERS pp = WindowedParams(W, H);
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);

    // A terrain grid, z up as the game has it.
    constexpr int N = 64;
    constexpr float Size = 240.0f;
    std::vector<Vertex> vertices;
    for (int j = 0; j <= N; ++j)
        for (int i = 0; i <= N; ++i) {
            const float x = (i / float(N) - 0.5f) * Size, y = j / float(N) * Size;
            const float e = 0.5f, hx = (Height(x + e, y) - Height(x - e, y)) / (2 * e),
                        hy = (Height(x, y + e) - Height(x, y - e)) / (2 * e);
            const float len = std::sqrt(hx * hx + hy * hy + 1);
            vertices.push_back(
                {x, y, Height(x, y), -hx / len, -hy / len, 1 / len, 0xFFFFFFFF, 0, i / 4.0f, j / 4.0f, 0, 0});
        }
    std::vector<std::uint16_t> indices;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < N; ++i) {
            const auto a = static_cast<std::uint16_t>(j * (N + 1) + i), b = static_cast<std::uint16_t>(a + 1),
                       c = static_cast<std::uint16_t>(a + N + 1), d = static_cast<std::uint16_t>(c + 1);
            // Clockwise on screen for this left-handed camera (world +x appears to the left).
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(static_cast<UINT>(vertices.size() * sizeof(Vertex)), D3DUSAGE_WRITEONLY,
                                         kVertexFvf, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                        D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, vertices.data(), vertices.size() * sizeof(Vertex));
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    std::memcpy(p, indices.data(), indices.size() * 2);
    ib->Unlock();

    // A grass-and-stone checker texture with a full mip chain.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC d;
        texture->GetLevelDesc(level, &d);
        D3DLOCKED_RECT r;
        texture->LockRect(level, &r, nullptr, 0);
        for (UINT y = 0; y < d.Height; ++y)
            for (UINT x = 0; x < d.Width; ++x) {
                const bool check = ((x * 64 / d.Width) / 8 + (y * 64 / d.Height) / 8) % 2 == 0;
                const D3DCOLOR c = level >= 3 ? 0xFF7A8A50 : check ? 0xFF5FA040 : 0xFF9A9080;
                std::memcpy(static_cast<char*>(r.pBits) + y * r.Pitch + x * 4, &c, 4);
            }
        texture->UnlockRect(level);
    }

    const D3DCOLOR fog = 0xFF9DB4CF;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, fog, 1.0f, 0);
    device->BeginScene();
    D3DMATRIX world = Identity();
    D3DMATRIX view = LookAtLH({0, -10, 18}, {0, 60, 0}, {0, 0, 1});
    D3DMATRIX proj = PerspectiveFovLH(1.0995574f, 4.0f / 3.0f, 0.1f, 1000.0f);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATERIAL9 material;
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    material.Specular = {0.3f, 0.3f, 0.3f, 1};
    material.Power = 10;
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF303848);
    D3DLIGHT9 sun;
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {1.0f, 0.95f, 0.8f, 0};
    sun.Direction = {0.5f, 0.6f, -0.62f};
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);
    D3DLIGHT9 lamp;
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = {1.0f, 0.4f, 0.1f, 0};
    lamp.Position = {-12, 25, 6};
    lamp.Range = 40;
    lamp.Attenuation0 = 0.2f;
    lamp.Attenuation1 = 0.05f;
    device->SetLight(1, &lamp);
    device->LightEnable(1, TRUE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, fog);
    const float start = 50.0f, end = 180.0f;
    device->SetRenderState(D3DRS_FOGSTART, kxtest::FloatBits(start));
    device->SetRenderState(D3DRS_FOGEND, kxtest::FloatBits(end));
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetFVF(kVertexFvf);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    device->SetIndices(ib);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(vertices.size()), 0,
                                           static_cast<UINT>(indices.size() / 3)),
              D3D_OK);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    std::vector<D3DCOLOR> pixels(W * H);
    ASSERT_EQ(device->ReadRenderTarget(back, pixels.data(), W * H), D3D_OK);
    back->Release();

    // Near ground is lit and textured; the horizon fades into the fog colour.
    const D3DCOLOR nearGround = pixels[(H - 10) * W + W / 2];
    EXPECT_FALSE(Near(nearGround, fog, 20)) << std::hex << nearGround;
    EXPECT_TRUE(Near(pixels[2 * W + W / 2], fog, 1)) << std::hex << pixels[2 * W + W / 2];

    std::vector<unsigned char> rgba(W * H * 4);
    for (UINT i = 0; i < W * H; ++i) {
        rgba[i * 4 + 0] = static_cast<unsigned char>(pixels[i] >> 16);
        rgba[i * 4 + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgba[i * 4 + 2] = static_cast<unsigned char>(pixels[i]);
        rgba[i * 4 + 3] = 255;
    }
    EXPECT_NE(stbi_write_png(KX_DEMO_PNG, W, H, 4, rgba.data(), W * 4), 0) << KX_DEMO_PNG;

    texture->Release();
    vb->Release();
    ib->Release();
    EXPECT_EQ(device->Release(), 0u);
    d3d->Release();
}

} // namespace
