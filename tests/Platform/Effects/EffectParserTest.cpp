#include "Platform/Effects/EffectParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Platform;

namespace {

bool Parse(const std::string& text, ParsedEffect& out, std::string& error) {
    return ParseEffect(text.data(), text.size(), out, error);
}

const ParsedParameter* Find(const ParsedEffect& e, const std::string& name) {
    for (const ParsedParameter& p : e.parameters)
        if (p.name == name) return &p;
    return nullptr;
}

} // namespace

TEST(EffectParser, ParametersWithTypesSemanticsAnnotationsAndValues) {
    const std::string text = R"(
// material
shared float4x4 g_mViewInv : VIEWINVERSE;
float4 g_vLight : LIGHTDIRECTION < string UIName = "Sun"; float UIMin = -1.0f; > = {0, 1, 0, 1};
texture tex0 < string ResourceName = "a.tga"; >;
textureCUBE envMap;
float time = 0.5f;
int Forward = 1;
bool useFog = true;
float2 offsets[3] = { float2(1, 2), float2(3, 4), { 5, 6 } };
float3x3 m3 = 2;
row_major float4x4 rowM;
string name = "hello";
vector<float, 3> gv = float3(7, 8, 9);
sampler2D samp = sampler_state { Texture = <tex0>; MinFilter = Linear; AddressU = Clamp; };
technique T { pass P { } }
)";
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(Parse(text, e, error)) << error;
    ASSERT_EQ(e.parameters.size(), 13u);
    EXPECT_EQ(e.parameters[0].name, "g_mViewInv"); // declaration order

    const ParsedParameter* p = Find(e, "g_mViewInv");
    EXPECT_TRUE(p->shared);
    EXPECT_EQ(p->semantic, "VIEWINVERSE");
    EXPECT_EQ(p->cls, EffectClass::MatrixColumns);
    EXPECT_EQ(p->value, std::vector<float>(16, 0.0f));

    p = Find(e, "g_vLight");
    EXPECT_EQ(p->line, 4);
    EXPECT_EQ(p->value, (std::vector<float>{0, 1, 0, 1}));
    ASSERT_EQ(p->annotations.size(), 2u);
    EXPECT_EQ(p->annotations[0].value.name, "UIName");
    EXPECT_EQ(p->annotations[0].value.stringValue, "Sun");
    EXPECT_EQ(p->annotations[1].value.value, std::vector<float>{-1.0f});

    EXPECT_EQ(Find(e, "tex0")->type, EffectType::Texture);
    EXPECT_EQ(Find(e, "envMap")->type, EffectType::TextureCube);
    EXPECT_EQ(Find(e, "time")->value, std::vector<float>{0.5f});
    EXPECT_EQ(Find(e, "Forward")->type, EffectType::Int);
    EXPECT_EQ(Find(e, "useFog")->value, std::vector<float>{1.0f});
    EXPECT_EQ(Find(e, "offsets")->elements, 3u);
    EXPECT_EQ(Find(e, "offsets")->value, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Find(e, "m3")->value, std::vector<float>(9, 2.0f));
    EXPECT_EQ(Find(e, "rowM")->cls, EffectClass::MatrixRows);
    EXPECT_EQ(Find(e, "name")->stringValue, "hello");
    EXPECT_EQ(Find(e, "gv")->columns, 3u);
    EXPECT_EQ(Find(e, "gv")->value, (std::vector<float>{7, 8, 9}));

    p = Find(e, "samp");
    EXPECT_EQ(p->type, EffectType::Sampler2D);
    ASSERT_EQ(p->samplerStates.size(), 3u);
    EXPECT_EQ(p->samplerStates[0].parameter, "tex0");
    EXPECT_EQ(p->samplerStates[1].state->id, 6u); // min filter
    EXPECT_EQ(p->samplerStates[1].value, 2u);     // linear
    EXPECT_EQ(p->samplerStates[2].value, 3u);     // clamp
}

TEST(EffectParser, TechniquesInOrderWithPassesAndStates) {
    const std::string text = R"(
texture tex0;
float alphaRef = 128;
sampler s0 = sampler_state { Texture = (tex0); };
technique First < string Note = "x"; >
{
    pass P0
    {
        ZEnable = true;
        AlphaBlendEnable = TRUE;
        SrcBlend = SrcAlpha;
        DestBlend = D3DBLEND_INVSRCALPHA;
        CullMode = None;
        FogStart = 10.5;
        AlphaRef = <alphaRef>;
        ColorWriteEnable = RED | GREEN | BLUE;
        TextureFactor = 0xFF00FF00;
        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture | Complement;
        MinFilter[1] = Point;
        Sampler[2] = (s0);
        Lighting = false;
    }
    pass P1 { ZWriteEnable = false; }
}
technique Second { pass { Lighting = true; } }
)";
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(Parse(text, e, error)) << error;
    ASSERT_EQ(e.techniques.size(), 2u);
    EXPECT_EQ(e.techniques[0].name, "First");
    EXPECT_EQ(e.techniques[0].annotations.size(), 1u);
    EXPECT_EQ(e.techniques[1].name, "Second");
    ASSERT_EQ(e.techniques[0].passes.size(), 2u);
    const auto& s = e.techniques[0].passes[0].states;
    ASSERT_EQ(s.size(), 15u);
    struct Expect {
        StateKind kind;
        uint32_t id, index, value;
    } expected[] = {
        {StateKind::Render, 7, 0, 1},  {StateKind::Render, 27, 0, 1},      {StateKind::Render, 19, 0, 5},
        {StateKind::Render, 20, 0, 6}, {StateKind::Render, 22, 0, 1},      {StateKind::Render, 36, 0, 0x41280000},
        {StateKind::Render, 24, 0, 0}, {StateKind::Render, 168, 0, 7},     {StateKind::Render, 60, 0, 0xFF00FF00},
        {StateKind::Texture, 0, 0, 0}, {StateKind::TextureStage, 1, 0, 4}, {StateKind::TextureStage, 2, 0, 0x12},
        {StateKind::Sampler, 6, 1, 1}, {StateKind::SamplerBind, 0, 2, 0},  {StateKind::Render, 137, 0, 0},
    };
    for (size_t i = 0; i < s.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s[i].state->kind, expected[i].kind);
        EXPECT_EQ(s[i].state->id, expected[i].id);
        EXPECT_EQ(s[i].index, expected[i].index);
        EXPECT_EQ(s[i].value, expected[i].value);
    }
    EXPECT_EQ(s[6].parameter, "alphaRef");
    EXPECT_EQ(s[9].parameter, "tex0");
    EXPECT_EQ(s[13].parameter, "s0");
}

TEST(EffectParser, ShaderFunctionsAndStructsGoToTheShaderSource) {
    const std::string text = R"(float4x4 wvp : WORLDVIEWPROJECTION;
struct VOut { float4 pos : POSITION; };
static const float scale = 2.0;
VOut VS(float4 p : POSITION) { VOut o; o.pos = mul(p, wvp) * scale; return o; }
float4 PS() : COLOR0 { return float4(1, 0, 0, 1); }
technique T { pass P { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(Parse(text, e, error)) << error;
    EXPECT_EQ(e.parameters.size(), 1u); // the static is not a parameter
    EXPECT_EQ(e.functions, (std::vector<std::string>{"VS", "PS"}));
    EXPECT_NE(e.hlslCode.find("#line 2\nstruct VOut"), std::string::npos);
    EXPECT_NE(e.hlslCode.find("#line 4\nVOut VS("), std::string::npos);
    EXPECT_NE(e.hlslCode.find("static const float scale = 2.0;"), std::string::npos);
    const auto& states = e.techniques[0].passes[0].states;
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].profile, "vs_2_0");
    EXPECT_EQ(states[0].entry, "VS");
    EXPECT_EQ(states[1].entry, "PS");
    const std::string source = BuildShaderSource(e);
    EXPECT_EQ(source.rfind("float4x4 wvp;\n", 0), 0u);
}

TEST(EffectParser, ShaderSourceForAnEntryHoldsOnlyTheFunctionsItReaches) {
    const std::string text = R"(float4 Helper(float4 c) { return c * 2; }
float4 Unused() { return undefinedThing; }
float4 PS(float4 c : COLOR0) : COLOR0 { return Helper(c); }
struct S { float a; };
technique T { pass P { } }
)";
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(Parse(text, e, error)) << error;
    const std::string source = BuildShaderSource(e, "PS");
    EXPECT_NE(source.find("float4 Helper"), std::string::npos);
    EXPECT_NE(source.find("float4 PS"), std::string::npos);
    EXPECT_NE(source.find("struct S"), std::string::npos);
    EXPECT_EQ(source.find("Unused"), std::string::npos);
    EXPECT_NE(BuildShaderSource(e).find("Unused"), std::string::npos);
}

TEST(EffectParser, UnsupportedButKnownConstructsAreMarkedNotRejected) {
    const std::string text = R"(
float4 PS(uniform float k) : COLOR0 { return k; }
technique A { pass { WorldTransform[0] = 0; } }
technique B { pass { PixelShader = asm { ps_1_1 mov r0, v0 }; } }
technique C { pass { PixelShader = compile ps_2_0 PS(1.0); } }
)";
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(Parse(text, e, error)) << error;
    ASSERT_EQ(e.techniques.size(), 3u);
    for (const ParsedTechnique& t : e.techniques) EXPECT_TRUE(t.passes[0].states[0].unsupported) << t.name;
}

TEST(EffectParser, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"float x = 1\ntechnique T { pass {} }", "line 2: expected ';'"},
        {"technique T {\n pass {\n  Bogus = 1;\n } }", "line 3: unknown state 'Bogus'"},
        {"technique T {\n pass {\n  SrcBlend = Sideways;\n } }", "line 3: unknown value 'Sideways'"},
        {"technique T {\n pass {\n  Texture[0] = <nothing>;\n } }", "line 3: unknown parameter 'nothing'"},
        {"float t;\ntechnique T {\n pass {\n  Texture[0] = <t>;\n } }", "line 4: 't' is not a texture"},
        {"float4 v = {1, 2, 3};\ntechnique T { pass {} }", "line 1: 'v' needs 4 initial values, not 3"},
        {"\n\nwidget w;\ntechnique T { pass {} }", "line 3: unknown type 'widget'"},
        {"float f;\n/* open comment\n\n", "line 2: unterminated comment"},
        {"string s = \"abc\ntechnique T { pass {} }", "line 1: unterminated string"},
        {"#include \"x.fxh\"\ntechnique T { pass {} }", "line 1: preprocessor directives"},
        {"float f;\n", "line 1: the effect has no technique"},
        {"technique T {\n pass {\n", "line 3: pass is never closed"},
        {"float4 VS() : POSITION {\n return 0;\n", "line 1: '{' is never closed"},
        {"float a;\nfloat a;\ntechnique T { pass {} }", "line 2: parameter 'a' is declared twice"},
        {"float a[0];\ntechnique T { pass {} }", "line 1: array size"},
        {"float a = 1e999;\ntechnique T { pass {} }", "line 1: bad number"},
        {"", "line 1: the effect has no technique"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ParsedEffect e;
        std::string error;
        EXPECT_FALSE(Parse(c.text, e, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_TRUE(e.techniques.empty());
    }
}

TEST(EffectParser, NumericStateValuesHoldThirtyTwoBits) {
    // Negative numbers are stored as their two's complement; anything wider than 32 bits is an
    // error, in a pass and in a sampler_state block alike.
    struct Case {
        const char* number;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"-1", true, 0xFFFFFFFFu},
        {"-2147483648", true, 0x80000000u},
        {"4294967295", true, 0xFFFFFFFFu},
        {"0x80", true, 0x80u},
        {"-2147483649", false, 0},
        {"4294967296", false, 0},
        {"-3e9", false, 0},
        {"1e300", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        const std::string inPass = std::string("technique T {\n pass {\n  StencilRef = ") + c.number + ";\n } }";
        const std::string inSampler = std::string("texture t;\nsampler s = sampler_state {\n MinFilter = ") + c.number +
                                      ";\n};\ntechnique T { pass { } }";
        ParsedEffect e;
        std::string error;
        ASSERT_EQ(Parse(inPass, e, error), c.ok) << error;
        if (c.ok)
            EXPECT_EQ(e.techniques[0].passes[0].states[0].value, c.value);
        else
            EXPECT_EQ(error.rfind("line 3: value out of range for state", 0), 0u) << error;
        ASSERT_EQ(Parse(inSampler, e, error), c.ok) << error;
        if (c.ok)
            EXPECT_EQ(Find(e, "s")->samplerStates[0].value, c.value);
        else
            EXPECT_EQ(error.rfind("line 3: value out of range for state", 0), 0u) << error;
    }
}

TEST(EffectParser, FunctionsWithAnUnnamedParameterAreMarked) {
    // The shader compiler cannot take such a function as an entry point, so the parser marks
    // it; a named parameter in any of its forms must not be marked.
    struct Case {
        const char* function;
        bool unnamed;
    } cases[] = {
        {"float4 F(float2 uv : TEXCOORD0) : COLOR0 { return 1; }", false},
        {"float4 F() : COLOR0 { return 1; }", false},
        {"float4 F(void) : COLOR0 { return 1; }", false},
        {"float4 F(in float4 c : COLOR0, uniform float k, out float d : DEPTH) : COLOR0 { return 1; }", false},
        {"float4 F(vector<float, 2> uv : TEXCOORD0) : COLOR0 { return 1; }", false},
        {"float4 F(float2 uv[2] : TEXCOORD0, float k = float2(1, 2).x) : COLOR0 { return 1; }", false},
        {"float4 F(float4 sample : COLOR0) : COLOR0 { return sample; }", false},
        {"float4 F(float2 /* uv */ : TEXCOORD0) : COLOR0 { return 1; }", true},
        {"float4 F(float2 uv : TEXCOORD0, float) : COLOR0 { return 1; }", true},
        {"float4 F(in float4 : COLOR0) : COLOR0 { return 1; }", true},
        {"float4 F(vector<float, 2> : TEXCOORD0) : COLOR0 { return 1; }", true},
        {"float4 F(float);", false}, // a declaration only: its definition names them
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        ParsedEffect e;
        std::string error;
        ASSERT_TRUE(Parse(std::string(c.function) + "\ntechnique T { pass { } }", e, error)) << error;
        ASSERT_EQ(e.chunks.size(), 1u);
        EXPECT_EQ(e.chunks[0].unnamedParameter, c.unnamed);
    }
}

TEST(EffectParser, HostileInputEndsCleanly) {
    // Deep nesting, truncation at every byte and stray bytes must end in a clean answer.
    std::string deep = "float4 v = " + std::string(5000, '{') + "1" + std::string(5000, '}') + ";";
    ParsedEffect e;
    std::string error;
    EXPECT_FALSE(Parse(deep, e, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);

    const std::string good = R"(texture tex0;
sampler2D s = sampler_state { Texture = <tex0>; MinFilter = Linear; };
float4 c < string a = "b"; > = float4(1, 2, 3, 4);
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv) * c; }
technique T { pass P { Lighting = false; Texture[0] = <tex0>; PixelShader = compile ps_2_0 PS(); } }
)";
    ASSERT_TRUE(Parse(good, e, error)) << error;
    for (size_t cut = 0; cut < good.size(); ++cut) {
        const std::string part = good.substr(0, cut);
        ParseEffect(part.data(), part.size(), e, error);
    }
    std::string noisy = good;
    noisy[40] = '\x01';
    EXPECT_FALSE(Parse(noisy, e, error));
    EXPECT_NE(error.find("unexpected character"), std::string::npos);
}

TEST(EffectParser, TerminatingNulAndUtf8MarkAreAccepted) {
    std::string text = "\xEF\xBB\xBF"
                       "float f = 1;\ntechnique T { pass { } }";
    text.push_back('\0');
    ParsedEffect e;
    std::string error;
    ASSERT_TRUE(ParseEffect(text.data(), text.size(), e, error)) << error;
    EXPECT_EQ(e.parameters.size(), 1u);
    std::string inner = "float f = 1;";
    inner.push_back('\0');
    inner += "\ntechnique T { pass { } }";
    EXPECT_FALSE(ParseEffect(inner.data(), inner.size(), e, error)); // a NUL inside is still an error
}

// Parameters are looked up by name for each declaration and each state that names one; a file
// with tens of thousands of them took minutes when each lookup walked the list.
TEST(EffectParser, TensOfThousandsOfParametersAreAnEffect) {
    std::string text;
    for (int i = 0; i < 50000; ++i) text += "float u" + std::to_string(i) + ";\n";
    text += "texture t49999;\ntechnique T { pass { AlphaRef = <u49999>; Texture[0] = <t49999>; } }\n";
    ParsedEffect out;
    std::string error;
    ASSERT_TRUE(Parse(text, out, error)) << error;
    EXPECT_EQ(out.parameters.size(), 50001u);
    EXPECT_NE(Find(out, "u12345"), nullptr);
    EXPECT_FALSE(Parse(text + "float u25000;\n", out, error));
    EXPECT_NE(error.find("parameter 'u25000' is declared twice"), std::string::npos) << error;
}

// The parser holds every token at once; without bounds 10 MB of braces took over a GiB.
TEST(EffectParser, FilesTooLargeOrWithTooManyTokensAreRefusedUpFront) {
    ParsedEffect out;
    std::string error;
    const std::string technique = "technique T { pass { Lighting = true; } }\n";

    std::string tooLarge = technique;
    tooLarge.resize(kMaxEffectFileBytes + 1, ' ');
    EXPECT_FALSE(Parse(tooLarge, out, error));
    EXPECT_NE(error.find("more than the 4 MiB an effect file may have"), std::string::npos) << error;
    EXPECT_TRUE(out.techniques.empty());
    EXPECT_FALSE(Parse(std::string(10'000'000, '{'), out, error));

    // Just within the size bound but a token a byte.
    EXPECT_FALSE(Parse(std::string(kMaxEffectFileBytes, '{'), out, error));
    EXPECT_NE(error.find("more than " + std::to_string(kMaxEffectTokens - 1) + " tokens"), std::string::npos) << error;

    // Padding up to the bound is still an effect.
    std::string padded = technique;
    padded.resize(kMaxEffectFileBytes, ' ');
    EXPECT_TRUE(Parse(padded, out, error)) << error;
    EXPECT_EQ(out.techniques.size(), 1u);
}
