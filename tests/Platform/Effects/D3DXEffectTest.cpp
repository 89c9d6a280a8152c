#include "Platform/Effects/D3DXEffect.h"
#include "Platform/Effects/HlslCompiler.h"
#include "Platform/Effects/ShaderCompilerProtocol.h"
#include "Platform/Graphics/DeviceCore.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/Math/D3DXMath.h"
#include "support/TestDevices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace Platform;
using Platform::GraphicsDetail::DeviceCore;
using Platform::GraphicsDetail::Program;
using Platform::GraphicsDetail::ProgramDeviceValues;

namespace {

// A recording device that also checks the GLSL it is given and keeps the constants set.
class CheckingDevice final : public DeviceCore {
public:
    CheckingDevice(const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params) : DeviceCore(caps, params, true, true) {}
    ~CheckingDevice() override { ReleaseImplicitSurfaces(); }

    bool refusePrograms = false;
    std::map<std::string, std::vector<float>> floats;
    std::vector<std::string> vertexSources, pixelSources;
    std::vector<ProgramDeviceValues> deviceValues; // one per draw with a program

protected:
    void BackendSetProgramDeviceValues(Program*, const ProgramDeviceValues& values) override {
        deviceValues.push_back(values);
    }
    HRESULT BackendCreateProgram(Program* p, std::string* errors) override {
        std::string error;
        if (refusePrograms)
            error = "refused";
        else if (CheckGlsl(p->vertexSource, ShaderStage::Vertex, error) &&
                 CheckGlsl(p->pixelSource, ShaderStage::Pixel, error)) {
            vertexSources.push_back(p->vertexSource);
            pixelSources.push_back(p->pixelSource);
            return D3D_OK;
        }
        if (errors) *errors = error;
        return E_FAIL;
    }
    HRESULT BackendSetProgramFloats(Program*, const char* name, const float* values, UINT count) override {
        floats[name].assign(values, values + count);
        return D3D_OK;
    }
};

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override { MakeDevice(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0)); }
    void TearDown() override {
        if (device) device->Release();
    }

    void MakeDevice(DWORD vs, DWORD ps) {
        if (device) device->Release();
        RecordingConfig config;
        config.vertexShaderVersion = vs;
        config.pixelShaderVersion = ps;
        device = new CheckingDevice(Platform::GraphicsDetail::RecordingCaps(config),
                                    kxtest::WindowedBackBuffer(64, 48, D3DFMT_X8R8G8B8, D3DFMT_D24S8));
        ASSERT_EQ(device->Initialise(), D3D_OK);
    }

    // Creates an effect; on failure answers null and leaves the message in lastErrors.
    ID3DXEffect* Create(const std::string& text, ID3DXEffectPool* pool = nullptr) {
        ID3DXEffect* effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        lastResult = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0, pool,
                                      &effect, &errors);
        lastErrors.clear();
        if (errors) {
            lastErrors = static_cast<const char*>(errors->GetBufferPointer());
            errors->Release();
        }
        return effect;
    }

    DWORD RenderState(D3DRENDERSTATETYPE s) {
        DWORD v = 0;
        device->GetRenderState(s, &v);
        return v;
    }
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) {
        DWORD v = 0;
        device->GetTextureStageState(stage, s, &v);
        return v;
    }
    DWORD SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) {
        DWORD v = 0;
        device->GetSamplerState(sampler, s, &v);
        return v;
    }
    IDirect3DBaseTexture9* BoundTexture(DWORD stage) {
        IDirect3DBaseTexture9* t = nullptr;
        device->GetTexture(stage, &t);
        if (t) t->Release();
        return t;
    }
    IDirect3DTexture9* MakeTexture() {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        return t;
    }

    CheckingDevice* device = nullptr;
    HRESULT lastResult = S_OK;
    std::string lastErrors;
};

const char* kMaterial = R"(
texture tex0;
texture tex1;
texture tex3;
texture2D typed;
float time = 2.5f;
float alphaRef = 100;
int Forward = 1;
technique Main
{
    pass P0
    {
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        AlphaRef = <alphaRef>;
        Texture[0] = <tex0>;
        ColorOp[0] = Modulate2x;
        MinFilter[0] = Point;
        Lighting = false;
    }
    pass P1
    {
        Texture[1] = <tex1>;
        AddressU[1] = Clamp;
    }
}
)";

} // namespace

TEST_F(EffectTest, ParametersByNameIndexAndDescription) {
    ID3DXEffect* fx = Create(kMaterial);
    ASSERT_NE(fx, nullptr) << lastErrors;
    D3DXHANDLE technique = nullptr;
    ASSERT_EQ(fx->FindNextValidTechnique(nullptr, &technique), D3D_OK);
    ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);

    // The engine's texture lookup: tex0, tex1, ... up to the first missing one.
    EXPECT_NE(fx->GetParameterByName(nullptr, "tex0"), nullptr);
    EXPECT_NE(fx->GetParameterByName(nullptr, "tex1"), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "tex2"), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "g_mViewInv"), nullptr);

    float time = 0;
    ASSERT_EQ(fx->GetFloat(fx->GetParameterByName(nullptr, "time"), &time), D3D_OK);
    EXPECT_EQ(time, 2.5f);
    EXPECT_EQ(fx->SetFloat("time", 4.0f), D3D_OK); // a name works as a handle
    fx->GetFloat("time", &time);
    EXPECT_EQ(time, 4.0f);
    EXPECT_EQ(fx->SetInt("Forward", 3), D3D_OK);
    INT forward = 0;
    fx->GetInt("Forward", &forward);
    EXPECT_EQ(forward, 3);
    EXPECT_EQ(fx->SetFloat("nothing", 1.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->SetMatrix("time", nullptr), D3DERR_INVALIDCALL);

    // Post effects collect the plain texture parameters in declaration order.
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(fx->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Parameters, 7u);
    EXPECT_EQ(desc.Techniques, 1u);
    std::vector<std::string> textures;
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXPARAMETER_DESC pd;
        ASSERT_EQ(fx->GetParameterDesc(fx->GetParameter(nullptr, i), &pd), D3D_OK);
        if (pd.Type == D3DXPT_TEXTURE) textures.push_back(pd.Name);
    }
    EXPECT_EQ(textures, (std::vector<std::string>{"tex0", "tex1", "tex3"}));
    D3DXPARAMETER_DESC pd;
    fx->GetParameterDesc("typed", &pd);
    EXPECT_EQ(pd.Type, D3DXPT_TEXTURE2D);
    fx->GetParameterDesc("time", &pd);
    EXPECT_EQ(pd.Class, D3DXPC_SCALAR);
    EXPECT_EQ(pd.Type, D3DXPT_FLOAT);
    EXPECT_EQ(fx->GetParameter(nullptr, 99), nullptr);
    fx->Release();
}

TEST_F(EffectTest, BeginSavesWhatTheTechniqueChangesAndEndRestoresIt) {
    ID3DXEffect* fx = Create(kMaterial);
    ASSERT_NE(fx, nullptr) << lastErrors;
    IDirect3DTexture9* before = MakeTexture();
    IDirect3DTexture9* mine = MakeTexture();
    device->SetTexture(0, before);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ALPHAREF, 7);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE); // not in the technique
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    const DWORD lighting = RenderState(D3DRS_LIGHTING);

    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 2u);
    // Values set between Begin and BeginPass apply at BeginPass.
    fx->SetTexture("tex0", mine);
    fx->SetFloat("alphaRef", 77);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_EQ(RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(RenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(RenderState(D3DRS_ALPHAREF), 77u);
    EXPECT_EQ(RenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE2X));
    EXPECT_EQ(SamplerState(0, D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(BoundTexture(0), mine);
    EXPECT_EQ(fx->BeginPass(1), D3DERR_INVALIDCALL); // still in pass 0
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->BeginPass(1), D3D_OK);
    EXPECT_EQ(SamplerState(1, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    device->ClearCalls();
    ASSERT_EQ(fx->End(), D3D_OK);
    // Exactly the states the technique names are written back.
    EXPECT_EQ(device->CountCalls("SetRenderState"), 6u);
    EXPECT_EQ(device->CountCalls("SetTextureStageState"), 1u);
    EXPECT_EQ(device->CountCalls("SetSamplerState"), 2u);
    EXPECT_EQ(device->CountCalls("SetTexture"), 2u);

    EXPECT_EQ(RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(RenderState(D3DRS_ALPHAREF), 7u);
    EXPECT_EQ(RenderState(D3DRS_LIGHTING), lighting);
    EXPECT_EQ(RenderState(D3DRS_FOGENABLE), 1u);
    EXPECT_EQ(StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(SamplerState(1, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(BoundTexture(0), before);
    EXPECT_EQ(BoundTexture(1), nullptr);

    EXPECT_EQ(fx->End(), D3DERR_INVALIDCALL);

    // Without saving, End leaves the pass's states.
    ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    fx->BeginPass(0);
    fx->EndPass();
    fx->End();
    EXPECT_EQ(RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));

    fx->Release(); // releases its reference on the texture it was given
    before->Release();
    mine->Release();
}

TEST_F(EffectTest, WorldMatrixSetInsideAPassIsLeftToTheDevice) {
    // Fixed-function passes leave transforms alone: what the engine sets between draws stays.
    ID3DXEffect* fx = Create(kMaterial);
    ASSERT_NE(fx, nullptr);
    UINT passes;
    fx->Begin(&passes, 0);
    fx->BeginPass(0);
    D3DXMATRIX world(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1);
    device->SetTransform(D3DTS_WORLD, &world);
    fx->EndPass();
    fx->End();
    D3DMATRIX now;
    device->GetTransform(D3DTS_WORLD, &now);
    EXPECT_EQ(D3DXMATRIX(now), world);
    fx->Release();
}

TEST_F(EffectTest, SharedParametersOfPooledEffectsShareOneValue) {
    const std::string a = "shared float4 g_vLight; shared float4x4 g_mViewInv; float own = 1; technique T { pass {} }";
    const std::string b = "shared float4 g_vLight; float own = 2; technique T { pass {} }";
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    ID3DXEffect* first = Create(a, pool);
    ID3DXEffect* second = Create(b, pool);
    ID3DXEffect* alone = Create(b);
    ASSERT_TRUE(first && second && alone) << lastErrors;

    const D3DXVECTOR4 sun(0.5f, -1, 0.25f, 1);
    ASSERT_EQ(first->SetVector(first->GetParameterByName(nullptr, "g_vLight"), &sun), D3D_OK);
    D3DXVECTOR4 seen;
    second->GetVector("g_vLight", &seen);
    EXPECT_EQ(seen, sun);
    alone->GetVector("g_vLight", &seen);
    EXPECT_EQ(seen, D3DXVECTOR4(0, 0, 0, 0)); // not in the pool
    float own = 0;
    second->GetFloat("own", &own);
    EXPECT_EQ(own, 2.0f); // unshared parameters stay each effect's own

    D3DXPARAMETER_DESC pd;
    first->GetParameterDesc("g_vLight", &pd);
    EXPECT_EQ(pd.Flags & D3DX_PARAMETER_SHARED, D3DX_PARAMETER_SHARED);

    // A shared name declared with another type cannot join the pool.
    EXPECT_EQ(Create("shared float g_vLight; technique T { pass {} }", pool), nullptr);
    EXPECT_NE(lastErrors.find("g_vLight"), std::string::npos);

    // The value outlives the first effect.
    first->Release();
    second->GetVector("g_vLight", &seen);
    EXPECT_EQ(seen, sun);
    second->Release();
    alone->Release();
    pool->Release();
}

TEST_F(EffectTest, FirstValidTechniqueIsChosenAndFilesWithoutOneFail) {
    const std::string text = R"(
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS() : COLOR0 { return float4(1, 0, 0, 1); }
float4 Broken() : COLOR0 { return missing; }
technique NeedsSM3 { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
technique DoesNotCompile { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 Broken(); } }
technique OnlyVertex { pass { VertexShader = compile vs_2_0 VS(); } }
technique Assembly { pass { PixelShader = asm { ps_1_1 mov r0, v0 }; } }
technique Good { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
technique FixedFunction { pass { Lighting = true; } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    D3DXHANDLE h = nullptr;
    ASSERT_EQ(fx->FindNextValidTechnique(nullptr, &h), D3D_OK);
    D3DXTECHNIQUE_DESC td;
    fx->GetTechniqueDesc(h, &td);
    EXPECT_STREQ(td.Name, "Good") << lastErrors;
    EXPECT_EQ(fx->GetCurrentTechnique(), h); // created with it selected
    ASSERT_EQ(fx->FindNextValidTechnique(h, &h), D3D_OK);
    fx->GetTechniqueDesc(h, &td);
    EXPECT_STREQ(td.Name, "FixedFunction");
    EXPECT_EQ(fx->FindNextValidTechnique(h, &h), S_FALSE);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("NeedsSM3"), E_FAIL);
    EXPECT_EQ(fx->ValidateTechnique("Good"), D3D_OK);
    // The skipped techniques are reported with their reasons.
    EXPECT_NE(lastErrors.find("'NeedsSM3' is not valid: the device does not run vs_3_0"), std::string::npos)
        << lastErrors;
    EXPECT_NE(lastErrors.find("'DoesNotCompile' is not valid"), std::string::npos);
    EXPECT_NE(lastErrors.find("missing"), std::string::npos);
    EXPECT_NE(lastErrors.find("'OnlyVertex' is not valid: a vertex shader needs a pixel shader"), std::string::npos);
    fx->Release();

    // A device with shader model 3 takes the first technique.
    MakeDevice(D3DVS_VERSION(3, 0), D3DPS_VERSION(3, 0));
    fx = Create(text);
    ASSERT_NE(fx, nullptr);
    fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
    EXPECT_STREQ(td.Name, "NeedsSM3");
    fx->Release();

    // No valid technique: the effect does not load.
    EXPECT_EQ(Create("technique A { pass { WorldTransform[0] = 1; } }"), nullptr);
    EXPECT_EQ(lastResult, E_FAIL);
    EXPECT_NE(lastErrors.find("no technique is valid"), std::string::npos);

    // A device that cannot build the program makes the technique invalid.
    device->refusePrograms = true;
    fx = Create(text);
    ASSERT_NE(fx, nullptr);
    fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
    EXPECT_STREQ(td.Name, "FixedFunction");
    fx->Release();
}

TEST_F(EffectTest, EntryPointsWithUnnamedParametersAreLeftOutNotCompiled) {
    // glslang crashes compiling an entry point with a parameter that has no name, so such
    // techniques are invalid with a message; a helper function may still leave names out.
    const std::string text = R"(
struct VIn { float4 p : POSITION; };
float Half(float) { return 0.5; }
float4 VS(VIn) : POSITION { return 0; }
float4 VSNamed(VIn v) : POSITION { return v.p; }
float4 PSUnnamed(float2 : TEXCOORD0) : COLOR0 { return 1; }
float4 PSModifier(in float4 : COLOR0) : COLOR0 { return 1; }
float4 PS(void) : COLOR0 { return Half(1); }
technique A { pass { PixelShader = compile ps_2_0 PSUnnamed(); } }
technique B { pass { PixelShader = compile ps_2_0 PSModifier(); } }
technique C { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
technique D { pass { VertexShader = compile vs_2_0 VSNamed(); PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    D3DXTECHNIQUE_DESC td;
    fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
    EXPECT_STREQ(td.Name, "D");
    for (const char* reason :
         {"'A' is not valid: pixel shader PSUnnamed: every parameter of an entry point needs a name",
          "'B' is not valid: pixel shader PSModifier: every parameter",
          "'C' is not valid: vertex shader VS: every parameter"})
        EXPECT_NE(lastErrors.find(reason), std::string::npos) << reason << "\n" << lastErrors;
    fx->Release();
}

namespace {

// An effect whose first technique's pixel shader returns the given expression and whose second
// technique is plain.
std::string EffectWithShaderReturning(const std::string& expression) {
    return "float4 PSDeep() : COLOR0 { return float4(" + expression +
           ", 0, 0, 1); }\n"
           "float4 PS() : COLOR0 { return float4(1, 0, 0, 1); }\n"
           "technique Deep { pass { PixelShader = compile ps_2_0 PSDeep(); } }\n"
           "technique Plain { pass { PixelShader = compile ps_2_0 PS(); } }\n";
}

std::string Nested(int depth, const std::string& open, const std::string& inner, const std::string& close) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += open;
    s += inner;
    for (int i = 0; i < depth; ++i) s += close;
    return s;
}

} // namespace

// Shader text nested a few thousand levels deep overflowed the compiler's stack; it is refused
// before compiling like the other constructs the compiler cannot take, and the effect falls to
// its next technique.
TEST_F(EffectTest, ShadersNestedTooDeeplyAreLeftOutNotCompiled) {
    const std::string tooDeep[] = {
        Nested(3000, "(", "0.5", ")"),
        Nested(5000, "(", "0.5", ")"),
        Nested(3000, "float(", "0.5", ")"),
        Nested(1000, "(g[{", "0.5", "}])"),
    };
    for (const std::string& expression : tooDeep) {
        ID3DXEffect* fx = Create(EffectWithShaderReturning(expression));
        ASSERT_NE(fx, nullptr) << lastErrors;
        D3DXTECHNIQUE_DESC td;
        fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
        EXPECT_STREQ(td.Name, "Plain") << expression.substr(0, 16);
        EXPECT_EQ(fx->ValidateTechnique("Deep"), E_FAIL);
        EXPECT_NE(lastErrors.find("line 3: technique 'Deep' is not valid: pixel shader PSDeep: nested deeper than 256 "
                                  "parentheses, brackets and braces"),
                  std::string::npos)
            << lastErrors;
        fx->Release();
    }

    // A deep but ordinary nest is no reason to refuse the technique.
    for (const std::string& expression : {Nested(200, "(", "0.5", ")"), Nested(200, "float(", "0.5", ")")}) {
        ID3DXEffect* fx = Create(EffectWithShaderReturning(expression));
        ASSERT_NE(fx, nullptr) << lastErrors;
        D3DXTECHNIQUE_DESC td;
        fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
        EXPECT_STREQ(td.Name, "Deep") << lastErrors;
        fx->Release();
    }
}

TEST_F(EffectTest, NumbersBeyondTheIntegerRangeStopAtItsEnds) {
    // Whole-number reads of float values: from the file's initial values and from SetFloat,
    // as state values, GetInt and GetValue of int parameters. Out of range they stop at the
    // ends of the range, NaN reads as 0.
    const std::string text = R"(
float big = 1e30;
float low = -1e30;
int huge = 1e30;
technique T { pass { AlphaRef = <big>; StencilRef = <low>; } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_EQ(RenderState(D3DRS_ALPHAREF), 0xFFFFFFFFu);
    EXPECT_EQ(RenderState(D3DRS_STENCILREF), 0x80000000u);
    fx->EndPass();
    fx->End();

    auto readBoth = [&](INT expected) {
        INT v = 0;
        ASSERT_EQ(fx->GetInt("huge", &v), D3D_OK);
        EXPECT_EQ(v, expected);
        int32_t raw = 0;
        ASSERT_EQ(fx->GetValue("huge", &raw, sizeof raw), D3D_OK);
        EXPECT_EQ(raw, expected);
    };
    readBoth(2147483647); // the file's 1e30
    struct Case {
        float set;
        INT read;
    } cases[] = {{-1e30f, -2147483647 - 1}, {std::nanf(""), 0}, {-7.9f, -7}, {3e9f, 2147483647}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        ASSERT_EQ(fx->SetFloat("huge", c.set), D3D_OK);
        readBoth(c.read);
    }
    fx->Release();
}

TEST_F(EffectTest, SyntaxErrorsFailWithTheLine) {
    EXPECT_EQ(Create("float4 c = {1,2,3,4};\ntechnique T {\n pass {\n  SrcBlend = Nowhere;\n }\n}\n"), nullptr);
    EXPECT_EQ(lastResult, E_FAIL);
    EXPECT_EQ(lastErrors.rfind("line 4: unknown value 'Nowhere'", 0), 0u) << lastErrors;
    ID3DXEffect* fx = nullptr;
    EXPECT_EQ(D3DXCreateEffect(device, nullptr, 0, nullptr, nullptr, 0, nullptr, &fx, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(EffectTest, ShaderPassesRunAProgramWithTheirConstants) {
    const std::string text = R"(
float4x4 g_mWVP : WORLDVIEWPROJECTION;
float4x4 g_mExtra;
float4 g_vTint = {0.5, 0.25, 1, 1};
float g_fScale = 3;
int g_iMode = 2;
texture tex0;
sampler2D s0 = sampler_state { Texture = <tex0>; MinFilter = Linear; AddressU = Clamp; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(mul(p, g_mExtra), g_mWVP);
    o.uv = uv * g_fScale;
    return o;
}
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv) * g_vTint * g_iMode; }
technique T
{
    pass P
    {
        ZEnable = false;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
    pass FixedAfterwards { Lighting = false; }
}
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    ASSERT_EQ(device->vertexSources.size(), 1u);
    // The world-view-projection matrix is read from the device's own uniform at draw time.
    const std::string& vsGlsl = device->vertexSources[0];
    EXPECT_NE(vsGlsl.find("uniform mat4 kx_WorldViewProjection;"), std::string::npos) << vsGlsl;
    EXPECT_NE(vsGlsl.find("transpose(kx_WorldViewProjection)[0]"), std::string::npos) << vsGlsl;

    IDirect3DTexture9* tex = MakeTexture();
    const D3DXMATRIX extra(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    fx->SetMatrix("g_mExtra", &extra);
    fx->SetTexture("tex0", tex);
    device->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);

    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_NE(device->State().program, nullptr);
    const std::vector<float>& vsc = device->floats["kx_VSConstants"];
    // Registers hold the columns of the matrix (HLSL's default packing).
    ASSERT_GE(vsc.size(), 32u);
    bool found = false;
    for (size_t r = 0; r + 15 < vsc.size(); r += 4)
        if (vsc[r] == 1 && vsc[r + 1] == 5 && vsc[r + 2] == 9 && vsc[r + 3] == 13 && vsc[r + 4] == 2) found = true;
    EXPECT_TRUE(found);
    const std::vector<float>& psc = device->floats["kx_PSConstants"];
    bool tint = false;
    for (size_t r = 0; r + 3 < psc.size(); r += 4)
        if (psc[r] == 0.5f && psc[r + 1] == 0.25f && psc[r + 2] == 1 && psc[r + 3] == 1) tint = true;
    EXPECT_TRUE(tint);
    bool mode = false;
    for (size_t r = 0; r < psc.size(); r += 4) mode = mode || psc[r] == 2.0f;
    EXPECT_TRUE(mode);

    // The sampler's texture and states reach the unit the pixel shader samples.
    bool boundSomewhere = false;
    for (DWORD unit = 0; unit < 8; ++unit)
        if (BoundTexture(unit) == tex) {
            boundSomewhere = true;
            EXPECT_EQ(SamplerState(unit, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
        }
    EXPECT_TRUE(boundSomewhere);
    EXPECT_EQ(RenderState(D3DRS_ZENABLE), 0u);

    // A change committed inside the pass is uploaded again.
    const D3DXVECTOR4 red(1, 0, 0, 1);
    fx->SetVector("g_vTint", &red);
    ASSERT_EQ(fx->CommitChanges(), D3D_OK);
    tint = false;
    for (size_t r = 0; r + 3 < device->floats["kx_PSConstants"].size(); r += 4) {
        const auto& c = device->floats["kx_PSConstants"];
        tint = tint || (c[r] == 1 && c[r + 1] == 0 && c[r + 2] == 0 && c[r + 3] == 1);
    }
    EXPECT_TRUE(tint);
    fx->EndPass();
    // A fixed-function pass after a shader pass goes back to the fixed pipeline.
    fx->BeginPass(1);
    EXPECT_EQ(device->State().program, nullptr);
    fx->EndPass();
    fx->End();
    EXPECT_EQ(device->State().program, nullptr);
    EXPECT_EQ(BoundTexture(0), nullptr);
    EXPECT_EQ(BoundTexture(1), nullptr);
    EXPECT_EQ(SamplerState(1, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(RenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
    fx->Release();
    tex->Release();
}

TEST_F(EffectTest, LostAndResetDevice) {
    ID3DXEffect* fx = Create(kMaterial);
    ASSERT_NE(fx, nullptr);
    UINT passes;
    fx->Begin(&passes, 0);
    EXPECT_EQ(fx->OnLostDevice(), D3D_OK); // closes the running Begin
    EXPECT_EQ(fx->Begin(&passes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->OnResetDevice(), D3D_OK);
    EXPECT_EQ(fx->Begin(&passes, 0), D3D_OK);
    fx->End();
    fx->Release();
}

TEST_F(EffectTest, AnnotationsAndPasses) {
    const std::string text = R"(
float4 c < string UIName = "Colour"; float UIMax = 2; > = 1;
technique T < string Kind = "fancy"; > { pass First < int Order = 3; > { } pass Second { } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    D3DXHANDLE name = fx->GetAnnotationByName("c", "UIName");
    LPCSTR value = nullptr;
    ASSERT_EQ(fx->GetString(name, &value), D3D_OK);
    EXPECT_STREQ(value, "Colour");
    float max = 0;
    fx->GetFloat(fx->GetAnnotation("c", 1), &max);
    EXPECT_EQ(max, 2.0f);
    D3DXHANDLE t = fx->GetTechniqueByName("T");
    fx->GetString(fx->GetAnnotationByName(t, "Kind"), &value);
    EXPECT_STREQ(value, "fancy");
    D3DXHANDLE pass = fx->GetPassByName(t, "First");
    INT order = 0;
    fx->GetInt(fx->GetAnnotationByName(pass, "Order"), &order);
    EXPECT_EQ(order, 3);
    D3DXPASS_DESC pd;
    fx->GetPassDesc(fx->GetPass(t, 1), &pd);
    EXPECT_STREQ(pd.Name, "Second");
    EXPECT_EQ(fx->GetPass(t, 2), nullptr);
    fx->Release();
}

TEST_F(EffectTest, PixelShaderOnlyPassesGetAGeneratedVertexStage) {
    const std::string text = R"(
texture tex0;
sampler2D s0 = sampler_state { Texture = <tex0>; };
float SpeedRatio = 0.5;
float4 PS(float4 colour : COLOR0, float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv) * colour * SpeedRatio; }
technique Post { pass { PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    ASSERT_EQ(device->vertexSources.size(), 1u); // checked as GLSL by the device
    EXPECT_NE(device->vertexSources[0].find("kx_Pretransformed"), std::string::npos);
    UINT passes = 0;
    fx->Begin(&passes, 0);
    fx->BeginPass(0);
    EXPECT_NE(device->State().program, nullptr);
    EXPECT_EQ(device->floats.count("kx_VSConstants"), 0u);
    ASSERT_FALSE(device->floats["kx_PSConstants"].empty());
    fx->EndPass();
    fx->End();
    fx->Release();
}

TEST_F(EffectTest, VertexShadersTakeTheDeviceHalfPixelShift) {
    const std::string text = R"(
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS() : COLOR0 { return 1; }
technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    ASSERT_EQ(device->vertexSources.size(), 1u);
    EXPECT_NE(device->vertexSources[0].find("gl_Position.xy += kx_HalfPixel * gl_Position.w;"), std::string::npos)
        << device->vertexSources[0];
    fx->Release();
}

TEST_F(EffectTest, EveryEffectOfTheDemoDataBuilds) {
    const std::filesystem::path folder = std::filesystem::path(KX_DATA_DIR) / "Data" / "Effects";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".fx") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        ID3DXEffect* fx = Create(text.str());
        ASSERT_NE(fx, nullptr) << lastErrors;
        UINT passes = 0;
        EXPECT_EQ(fx->Begin(&passes, 0), D3D_OK);
        for (UINT p = 0; p < passes; ++p) {
            EXPECT_EQ(fx->BeginPass(p), D3D_OK);
            fx->EndPass();
        }
        fx->End();
        fx->Release();
        ++seen;
    }
    EXPECT_GT(seen, 0);
}

TEST_F(EffectTest, ShaderPassesGetTheTransformsInForceAtEachDraw) {
    const std::string text = R"(
float4x4 g_mWVP : WorldViewProjection;
float4 VS(float4 p : POSITION) : POSITION { return mul(p, g_mWVP); }
float4 PS() : COLOR0 { return 1; }
technique T
{
    pass Shaded { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }
    pass Fixed { Lighting = false; }
}
)";
    ID3DXEffect* fx = Create(text);
    ASSERT_NE(fx, nullptr) << lastErrors;
    const D3DXMATRIX view(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1);
    const D3DXMATRIX projection(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0);
    const D3DXMATRIX worlds[2] = {D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1),
                                  D3DXMATRIX(0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, -3, 2, 1, 1)};
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    struct V {
        float x, y, z;
    } tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    struct RhwV {
        float x, y, z, rhw;
    } screen[3] = {{0, 0, 0, 1}, {10, 0, 0, 1}, {0, 10, 0, 1}};

    ASSERT_EQ(device->BeginScene(), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    device->SetFVF(D3DFVF_XYZ);
    for (const D3DXMATRIX& w : worlds) { // the engine sets WORLD between the draws of a pass
        device->SetTransform(D3DTS_WORLD, &w);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), D3D_OK);
    }
    device->SetFVF(D3DFVF_XYZRHW);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, screen, sizeof(RhwV)), D3D_OK);
    fx->EndPass();
    ASSERT_EQ(fx->BeginPass(1), D3D_OK);
    device->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), D3D_OK);
    fx->EndPass();
    fx->End();
    device->EndScene();

    // Three draws with the program, none without it.
    ASSERT_EQ(device->deviceValues.size(), 3u);
    for (int d = 0; d < 2; ++d) {
        SCOPED_TRACE(d);
        const ProgramDeviceValues& v = device->deviceValues[static_cast<size_t>(d)];
        D3DXMATRIX wv, vp, wvp;
        D3DXMatrixMultiply(&wv, &worlds[d], &view);
        D3DXMatrixMultiply(&vp, &view, &projection);
        D3DXMatrixMultiply(&wvp, &wv, &projection);
        EXPECT_EQ(std::memcmp(&v.world, &worlds[d], sizeof(D3DMATRIX)), 0);
        EXPECT_EQ(std::memcmp(&v.view, &view, sizeof(D3DMATRIX)), 0);
        EXPECT_EQ(std::memcmp(&v.projection, &projection, sizeof(D3DMATRIX)), 0);
        for (int i = 0; i < 16; ++i) {
            EXPECT_FLOAT_EQ((&v.worldView._11)[i], (&wv._11)[i]) << i;
            EXPECT_FLOAT_EQ((&v.viewProjection._11)[i], (&vp._11)[i]) << i;
            EXPECT_FLOAT_EQ((&v.worldViewProjection._11)[i], (&wvp._11)[i]) << i;
        }
        EXPECT_EQ(v.pretransformed, 0.0f);
        EXPECT_EQ(v.viewport[2], 64.0f);
        EXPECT_EQ(v.viewport[3], 48.0f);
        EXPECT_FLOAT_EQ(v.halfPixel[0], 1.0f / 64);
        EXPECT_FLOAT_EQ(v.halfPixel[1], -1.0f / 48);
    }
    EXPECT_EQ(device->deviceValues[2].pretransformed, 1.0f);
    // The device state is not an effect value: nothing of it went through the constants.
    for (float f : device->floats["kx_VSConstants"]) EXPECT_EQ(f, 0.0f);
    fx->Release();
}

namespace {

std::string ReadCorpusFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(KX_EFFECT_CORPUS_DIR) / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A time bound, and the compiler's test hooks, for one test only, however it ends.
class CompilerForTest {
public:
    CompilerForTest(unsigned timeoutMilliseconds, bool hooks) : m_hooks(hooks) {
        if (hooks) ::setenv(ShaderCompilerProtocol::kTestHooksEnv, "1", 1);
        ShaderCompilerLimits limits = m_saved;
        limits.timeoutMilliseconds = timeoutMilliseconds;
        SetShaderCompilerLimits(limits);
        ResetShaderCompiler();
    }
    ~CompilerForTest() {
        SetShaderCompilerLimits(m_saved);
        if (m_hooks) ::unsetenv(ShaderCompilerProtocol::kTestHooksEnv);
        ResetShaderCompiler();
    }

private:
    ShaderCompilerLimits m_saved = GetShaderCompilerLimits();
    bool m_hooks;
};

// A technique after the file's own that any device and compiler take.
const char* kPlainTechnique = "float4 PlainPS() : COLOR0 { return float4(1, 0, 0, 1); }\n"
                              "technique Plain { pass { PixelShader = compile ps_2_0 PlainPS(); } }\n";

} // namespace

// Text that crashes the HLSL front end inside itself, where no check of the text can see it
// coming: the compiler runs in a process of its own, so such a technique is left out and the
// effect goes on with the next one.
TEST_F(EffectTest, ShadersThatCrashTheCompilerAreLeftOutAndTheNextTechniqueIsChosen) {
    const struct {
        const char* file;
        const char* reason;
    } cases[] = {
        {"shader-mul-float1-matrix.fx", "technique 'T' is not valid: pixel shader PS: "},
        {"shader-mul-float1-matrix-vertex.fx", "technique 'T' is not valid: vertex shader VS: "},
        {"shader-parameter-bracket-paren.fx", "technique 'T' is not valid: pixel shader PS: "},
        {"shader-nested-constructors.fx", "technique 'T' is not valid: pixel shader PS: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string text = ReadCorpusFile(c.file);
        ASSERT_FALSE(text.empty());
        ID3DXEffect* fx = Create(text + kPlainTechnique);
        ASSERT_NE(fx, nullptr) << lastErrors;
        D3DXTECHNIQUE_DESC td;
        fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
        EXPECT_STREQ(td.Name, "Plain") << lastErrors;
        EXPECT_EQ(fx->ValidateTechnique("T"), E_FAIL);
        EXPECT_NE(lastErrors.find(c.reason), std::string::npos) << lastErrors;
        fx->Release();
    }
}

// Tens of thousands of globals before a shader make SPIR-V legalisation take seconds (more with
// each thousand); the compiler is stopped at its time bound and the effect goes on without that
// technique.
TEST_F(EffectTest, AShaderThatStallsTheCompilerIsStoppedAtTheTimeBound) {
    std::string text;
    for (int i = 0; i < 50000; ++i) text += "float u" + std::to_string(i) + ";\n";
    text += "float4 PS() : COLOR0 { return float4(u0, u1, u49999, 1); }\n"
            "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\n";
    // Well below the second or more this compile takes even optimised, so that the test does not
    // depend on how fast the machine is.
    const CompilerForTest compiler(300, false);
    const auto start = std::chrono::steady_clock::now();
    // Every shader of the file sees every global, so the technique after it is a fixed-function one.
    ID3DXEffect* fx = Create(text + "technique Plain { pass { Lighting = true; } }\n");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_NE(fx, nullptr) << lastErrors.substr(0, 2000);
    D3DXTECHNIQUE_DESC td;
    fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
    EXPECT_STREQ(td.Name, "Plain");
    EXPECT_NE(lastErrors.find(
                  "technique 'T' is not valid: pixel shader PS: the shader compiler gave no answer within 300 ms"),
              std::string::npos)
        << lastErrors.substr(0, 2000);
    // The bound, and the time the parser and the plain technique take, not the stall itself.
    EXPECT_LT(took, std::chrono::milliseconds(GetShaderCompilerLimits().timeoutMilliseconds) + std::chrono::seconds(8));
    fx->Release();
}

// A compiler that dies or hangs in the middle of a compile costs that technique only: the next
// shader is compiled by a new compiler process.
TEST_F(EffectTest, ACompilerProcessThatDiesOrHangsCostsOneTechnique) {
    // Room for a fresh sanitizer-built compiler to start and answer on a busy machine.
    const CompilerForTest compiler(3000, true);
    const struct {
        const char* entry;
        const char* reason;
    } cases[] = {
        {ShaderCompilerProtocol::kCrashEntry, "the shader compiler failed (the program ended, killed by signal"},
        {ShaderCompilerProtocol::kHangEntry, "the shader compiler gave no answer within 3000 ms and was stopped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        ResetShaderCompiler();
        const std::string entry = c.entry;
        const std::string text = "float4 " + entry + "() : COLOR0 { return 1; }\n" +
                                 "technique T { pass { PixelShader = compile ps_2_0 " + entry + "(); } }\n" +
                                 kPlainTechnique;
        ID3DXEffect* fx = Create(text);
        ASSERT_NE(fx, nullptr) << lastErrors;
        D3DXTECHNIQUE_DESC td;
        fx->GetTechniqueDesc(fx->GetCurrentTechnique(), &td);
        EXPECT_STREQ(td.Name, "Plain");
        EXPECT_NE(lastErrors.find(std::string("technique 'T' is not valid: pixel shader ") + entry + ": " + c.reason),
                  std::string::npos)
            << lastErrors;
        const ShaderCompilerStats stats = GetShaderCompilerStats();
        EXPECT_EQ(stats.processesStarted, 2u);
        EXPECT_EQ(stats.failures, 1u);
        fx->Release();
    }
}
