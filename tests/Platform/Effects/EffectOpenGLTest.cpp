// Effects with shader functions drawn by the OpenGL device offscreen (Mesa's llvmpipe where
// there is no GPU) and checked by their pixels.

#include "Platform/Effects/D3DXEffect.h"

#include <gtest/gtest.h>

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

class EffectOpenGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        SetDirect3DBackend(D3DBackend::OpenGL);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        SetDirect3DBackend(D3DBackend::Recording);
        if (!d3d)
            GTEST_SKIP() << "no OpenGL 4.5 here";
        D3DPRESENT_PARAMETERS pp;
        pp.BackBufferWidth = W;
        pp.BackBufferHeight = H;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
    }
    void TearDown() override
    {
        if (backBuffer)
            backBuffer->Release();
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d)
            d3d->Release();
    }

    std::vector<D3DCOLOR> Read()
    {
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(device->ReadRenderTarget(backBuffer, pixels.data(), W * H), D3D_OK);
        return pixels;
    }

    // The left half of the target, in clip space.
    void LeftHalf()
    {
        const ClipVertex q[4] = {{-1, 1, 0.5f, 0, 0}, {0, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {0, -1, 0.5f, 1, 1}};
        device->SetFVF(kClipFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(ClipVertex)), D3D_OK);
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
};

} // namespace

TEST_F(EffectOpenGLTest, ShaderPassDrawsWithItsParametersAndTexture)
{
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, kEffect, static_cast<UINT>(std::char_traits<char>::length(kEffect)),
                                        nullptr, nullptr, 0, nullptr, &fx, &errors);
    std::string log = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors)
        errors->Release();
    ASSERT_EQ(hr, D3D_OK) << log;
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
    EXPECT_EQ(p[(H / 2) * W + 4], 0xFF00FF00u);      // drawn: white texel x green
    EXPECT_EQ(p[(H / 2) * W + W - 4], 0xFF000080u);  // right half untouched

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

TEST_F(EffectOpenGLTest, GeneratedVertexStageLinksWithPixelShaders)
{
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
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                        nullptr, &fx, &errors);
    std::string log = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors)
        errors->Release();
    ASSERT_EQ(hr, D3D_OK) << log;
    fx->Release();
}

TEST_F(EffectOpenGLTest, ShaderStagesThatDisagreeOnComponentsStillLink)
{
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
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                        nullptr, &fx, &errors);
    std::string log = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors)
        errors->Release();
    ASSERT_EQ(hr, D3D_OK) << log;
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
