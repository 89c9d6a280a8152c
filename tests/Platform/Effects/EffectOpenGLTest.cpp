// Effects with shader functions drawn by the OpenGL device offscreen (Mesa's llvmpipe where
// there is no GPU) and checked by their pixels.

#include "Platform/Effects/D3DXEffect.h"

#include "../Graphics/GraphicsTestUtil.h"
#include "support/TestDevices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT W = 32, H = 24;

struct ClipVertex {
    float x, y, z;
    float u, v;
};
constexpr DWORD kClipFvf = D3DFVF_XYZ | D3DFVF_TEX1;

struct ColourVertex {
    float x, y, z;
    D3DCOLOR diffuse;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

const char* kEffect = R"(
float4 g_vColor = {0, 1, 0, 1};
texture tex0;
sampler2D s0 = sampler_state { Texture = <tex0>; MinFilter = Point; MagFilter = Point; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = float4(p.xy, 0.5, 1);
    o.uv = uv;
    return o;
}
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv) * g_vColor; }
technique Assembly { pass { PixelShader = asm { ps_1_1 mov r0, v0 }; } }
technique Shaded
{
    pass
    {
        ZEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
)";

class EffectOpenGLTest : public kxtest::OffscreenDeviceTest {
protected:
    void SetUp() override { OpenDevice(kxtest::WindowedBackBuffer(W, H, D3DFMT_X8R8G8B8, D3DFMT_D24S8)); }

    std::vector<D3DCOLOR> Read() {
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(device->ReadRenderTarget(backBuffer, pixels.data(), W * H), D3D_OK);
        return pixels;
    }

    // The left half of the target, in clip space.
    void LeftHalf() {
        const ClipVertex q[4] = {{-1, 1, 0.5f, 0, 0}, {0, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {0, -1, 0.5f, 1, 1}};
        device->SetFVF(kClipFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(ClipVertex)), D3D_OK);
    }

    ID3DXEffect* Create(const std::string& text) {
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        const std::string log = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        EXPECT_EQ(hr, D3D_OK) << log;
        return fx;
    }

    // Two triangles under two world matrices (the second set between the draws), a looking-at
    // view and a perspective projection; none is the identity, so a matrix read transposed,
    // left out or taken before the draw lands elsewhere on the screen.
    void TransformedTriangles() {
        const float c = std::cos(0.6f), s = std::sin(0.6f);
        D3DMATRIX world[2] = {GraphicsTest::Translation(-1.5f, 0.5f, 2.0f),
                              GraphicsTest::Translation(2.0f, -1.0f, 4.0f)};
        world[0]._11 = c;
        world[0]._12 = s;
        world[0]._21 = -s;
        world[0]._22 = c;
        const D3DMATRIX view = GraphicsTest::LookAtLH({1.0f, 2.0f, -6.0f}, {0.5f, 0.0f, 3.0f}, {0.0f, 1.0f, 0.0f});
        const D3DMATRIX projection = GraphicsTest::PerspectiveFovLH(1.2f, 4.0f / 3.0f, 0.5f, 50.0f);
        const ColourVertex tri[3] = {
            {-2.5f, -2.5f, 0.0f, 0xFFFFFFFF}, {0.0f, 3.75f, 0.0f, 0xFFFFFFFF}, {3.0f, -2.0f, 0.0f, 0xFFFFFFFF}};
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetFVF(kColourFvf);
        for (const D3DMATRIX& w : world) {
            device->SetTransform(D3DTS_WORLD, &w);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ColourVertex)), D3D_OK);
        }
    }

    // The triangles drawn by the fixed-function pipeline: which pixels they cover.
    std::vector<bool> FixedFunctionCoverage() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        TransformedTriangles();
        device->EndScene();
        return Coverage(Read());
    }

    static std::vector<bool> Coverage(const std::vector<D3DCOLOR>& p) {
        std::vector<bool> mask(p.size());
        for (size_t i = 0; i < p.size(); ++i) mask[i] = p[i] != 0xFF000000u;
        return mask;
    }
    static int Count(const std::vector<bool>& m) {
        int n = 0;
        for (bool b : m) n += b;
        return n;
    }
    static int Mismatches(const std::vector<bool>& a, const std::vector<bool>& b) {
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
        return n;
    }
};

} // namespace

TEST_F(EffectOpenGLTest, ShaderPassDrawsWithItsParametersAndTexture) {
    ID3DXEffect* fx = Create(kEffect);
    ASSERT_NE(fx, nullptr);
    // The assembly technique is skipped; the shader technique runs.
    D3DXTECHNIQUE_DESC td;
    fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
    EXPECT_STREQ(td.Name, "Shaded");

    IDirect3DTexture9* white = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &white, nullptr), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(white->LockRect(0, &r, nullptr, 0), D3D_OK);
    *static_cast<D3DCOLOR*>(r.pBits) = 0xFFFFFFFF;
    white->UnlockRect(0);
    fx->SetTexture("tex0", white);

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000080, 1.0f, 0);
    device->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    LeftHalf();
    fx->EndPass();
    fx->End();
    device->EndScene();
    std::vector<D3DCOLOR> p = Read();
    EXPECT_EQ(p[(H / 2) * W + 4], 0xFF00FF00u);     // drawn: white texel x green
    EXPECT_EQ(p[(H / 2) * W + W - 4], 0xFF000080u); // right half untouched

    // A new value of the colour parameter reaches the next pass.
    const D3DXVECTOR4 red(1, 0, 0, 1);
    fx->SetVector("g_vColor", &red);
    device->BeginScene();
    fx->Begin(&passes, 0);
    fx->BeginPass(0);
    LeftHalf();
    fx->EndPass();
    fx->End();
    device->EndScene();
    p = Read();
    EXPECT_EQ(p[(H / 2) * W + 4], 0xFFFF0000u);
    fx->Release();
    white->Release();
}

TEST_F(EffectOpenGLTest, GeneratedVertexStageLinksWithPixelShaders) {
    // The generated vertex stage hands four-component coordinates to pixel shaders that read
    // fewer; the driver must accept the pair.
    const std::string text = R"(
texture tex0;
sampler2D s0 = sampler_state { Texture = <tex0>; };
float4 PS(float4 colour : COLOR0, float2 uv : TEXCOORD0, float3 dir : TEXCOORD1) : COLOR0
{
    return tex2D(s0, uv) * colour * dir.x;
}
technique Post { pass { PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr);
    fx->Release();
}

TEST_F(EffectOpenGLTest, ShaderStagesThatDisagreeOnComponentsStillLink) {
    // The vertex shader writes float4 coordinates the pixel shader reads as float2, a float2 it
    // reads as float4, and nothing for a third value it reads.
    const std::string text = R"(
struct VOut { float4 pos : POSITION; float4 uv : TEXCOORD0; float2 extra : TEXCOORD1; };
VOut VS(float4 p : POSITION) { VOut o; o.pos = float4(p.xy, 0.5, 1); o.uv = float4(0.5, 0.5, 0, 1); o.extra = float2(1, 1); return o; }
float4 PS(float2 uv : TEXCOORD0, float4 extra : TEXCOORD1, float4 never : TEXCOORD2) : COLOR0
{
    return float4(uv.x * 2 * extra.w, extra.x, never.x, 1);
}
technique T { pass { ZEnable = false; CullMode = None; VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    UINT passes = 0;
    fx->Begin(&passes, 0);
    fx->BeginPass(0);
    LeftHalf();
    fx->EndPass();
    fx->End();
    device->EndScene();
    // red = 0.5 * 2 * 1 (w widened to 1), green = 1, blue = 0 (never written).
    EXPECT_EQ(Read()[(H / 2) * W + 4], 0xFFFFFF00u);
    fx->Release();
}

TEST_F(EffectOpenGLTest, VertexShadersReadTheDeviceTransformsThroughTheirSemantics) {
    const std::vector<bool> reference = FixedFunctionCoverage();
    ASSERT_GT(Count(reference), 40);
    // Every transform semantic, spelt in any case, composed every way a shader may.
    const char* positions[] = {
        "mul(p, WorldViewProjection)",
        "mul(mul(mul(p, World), View), Projection)",
        "mul(mul(p, WorldView), Projection)",
        "mul(mul(p, World), ViewProjection)",
        "mul(p, RowsWVP)",
    };
    for (const char* position : positions) {
        SCOPED_TRACE(position);
        const std::string text = std::string(R"(
float4x4 WorldViewProjection : WORLDVIEWPROJECTION;
float4x4 World : World;
float4x4 View : VIEW;
float4x4 Projection : projection;
float4x4 WorldView : WorldView;
float4x4 ViewProjection : VIEWPROJECTION;
row_major float4x4 RowsWVP : WORLDVIEWPROJECTION;
float4 g_vColor = {0, 1, 0, 1};
float4 VS(float4 p : POSITION) : POSITION { return )") +
                                 position + R"(; }
float4 PS() : COLOR0 { return g_vColor; }
technique T
{
    pass
    {
        ZEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
)";
        ID3DXEffect* fx = Create(text);
        ASSERT_NE(fx, nullptr);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        UINT passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
        TransformedTriangles(); // the world matrix changes inside the pass, between the draws
        fx->EndPass();
        fx->End();
        device->EndScene();
        const std::vector<D3DCOLOR> p = Read();
        const std::vector<bool> drawn = Coverage(p);
        // Rounding may move a pixel or two along the edges, no more.
        EXPECT_LE(Mismatches(drawn, reference), 3) << Count(drawn) << " pixels drawn";
        for (size_t i = 0; i < p.size(); ++i) {
            if (drawn[i]) {
                ASSERT_EQ(p[i], 0xFF00FF00u) << "pixel " << i;
            }
        }
        fx->Release();
    }
}

TEST_F(EffectOpenGLTest, PixelShaderOnlyPassesTransformMeshesAndPlaceScreenQuads) {
    const std::vector<bool> reference = FixedFunctionCoverage();
    ASSERT_GT(Count(reference), 40);
    ID3DXEffect* fx = Create(R"(
float4 g_vColor = {1, 0, 1, 1};
float4 PS(float4 colour : COLOR0) : COLOR0 { return colour * g_vColor; }
technique Post { pass { ZEnable = false; CullMode = None; PixelShader = compile ps_2_0 PS(); } }
)");
    ASSERT_NE(fx, nullptr);
    UINT passes = 0;
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    TransformedTriangles();
    fx->EndPass();
    fx->End();
    device->EndScene();
    std::vector<D3DCOLOR> p = Read();
    const std::vector<bool> drawn = Coverage(p);
    EXPECT_LE(Mismatches(drawn, reference), 3) << Count(drawn) << " pixels drawn";
    for (size_t i = 0; i < p.size(); ++i) {
        if (drawn[i]) {
            ASSERT_EQ(p[i], 0xFFFF00FFu) << "pixel " << i;
        }
    }

    // Pre-transformed vertices through the same pass cover exactly the pixels they name.
    const GraphicsTest::ScreenVertex quad[4] = {{20 - 0.5f, 4 - 0.5f, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                                {20 - 0.5f, 12 - 0.5f, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                                {8 - 0.5f, 4 - 0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                                {8 - 0.5f, 12 - 0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    fx->Begin(&passes, 0);
    fx->BeginPass(0);
    device->SetFVF(GraphicsTest::kScreenFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(GraphicsTest::ScreenVertex)), D3D_OK);
    fx->EndPass();
    fx->End();
    device->EndScene();
    p = Read();
    int covered = 0;
    for (UINT y = 0; y < H; ++y)
        for (UINT x = 0; x < W; ++x) {
            const bool inside = x >= 8 && x < 20 && y >= 4 && y < 12;
            EXPECT_EQ(p[y * W + x], inside ? 0xFFFF00FFu : 0xFF000000u) << x << "," << y;
            covered += inside;
        }
    EXPECT_EQ(covered, 12 * 8);
    fx->Release();
}
