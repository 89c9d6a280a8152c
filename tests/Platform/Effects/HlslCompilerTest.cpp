#include "Platform/Effects/HlslCompiler.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {

const char* kShaders = R"(
float4x4 g_mWorldViewProjection;
float4 g_vColor;
row_major float4x4 g_mRows;
float g_fScale;
sampler2D s0;
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VSOut VS(float4 pos : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0)
{
    VSOut o;
    o.pos = mul(mul(pos, g_mWorldViewProjection), g_mRows) * g_fScale;
    o.col = col * g_vColor;
    o.uv = uv;
    return o;
}
float4 PS(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(s0, uv) * col;
}
float4 PSTinted(float4 col : COLOR0) : COLOR0
{
    return col * g_vColor * g_fScale;
}
)";

const ShaderConstant* Constant(const CompiledShader& s, const std::string& name) {
    for (const ShaderConstant& c : s.constants)
        if (c.name == name) return &c;
    return nullptr;
}

} // namespace

TEST(HlslCompiler, VertexAndPixelShadersBecomeValidGlsl) {
    CompiledShader vs, ps;
    std::string error;
    ASSERT_TRUE(CompileHlslToGlsl(kShaders, "VS", ShaderStage::Vertex, vs, error)) << error;
    ASSERT_TRUE(CompileHlslToGlsl(kShaders, "PS", ShaderStage::Pixel, ps, error)) << error;
    EXPECT_TRUE(CheckGlsl(vs.glsl, ShaderStage::Vertex, error)) << error << vs.glsl;
    EXPECT_TRUE(CheckGlsl(ps.glsl, ShaderStage::Pixel, error)) << error << ps.glsl;

    EXPECT_EQ(vs.glsl.rfind("#version 450", 0), 0u);
    EXPECT_NE(vs.glsl.find("gl_Position"), std::string::npos);
    // Vertex inputs sit at the fixed locations of their semantics, varyings likewise, so any
    // vertex shader pairs with any pixel shader.
    EXPECT_NE(vs.glsl.find("layout(location = 0) in vec4"), std::string::npos);
    EXPECT_NE(vs.glsl.find("layout(location = 2) in vec4"), std::string::npos);
    EXPECT_NE(vs.glsl.find("layout(location = 4) in vec2"), std::string::npos);
    EXPECT_NE(vs.glsl.find("layout(location = 2) out vec2"), std::string::npos);
    EXPECT_NE(ps.glsl.find("layout(location = 2) in vec2"), std::string::npos);

    // Constants: one flat vec4 array per stage, with each parameter's place.
    EXPECT_EQ(vs.constantArray, "kx_VSConstants");
    EXPECT_EQ(ps.constantArray, ""); // the pixel shader reads no constants
    EXPECT_TRUE(ps.constants.empty());
    EXPECT_NE(vs.glsl.find("uniform vec4 kx_VSConstants["), std::string::npos);
    const ShaderConstant* wvp = Constant(vs, "g_mWorldViewProjection");
    const ShaderConstant* colour = Constant(vs, "g_vColor");
    const ShaderConstant* rows = Constant(vs, "g_mRows");
    const ShaderConstant* scale = Constant(vs, "g_fScale");
    ASSERT_TRUE(wvp && colour && rows && scale);
    EXPECT_EQ(wvp->offset, 0u);
    EXPECT_EQ(colour->offset, 64u);
    EXPECT_EQ(rows->offset, 80u);
    EXPECT_EQ(scale->offset, 144u);
    EXPECT_EQ(vs.constantVec4s, 10u);
    EXPECT_TRUE(wvp->registersAreColumns);   // HLSL's default packing
    EXPECT_FALSE(rows->registersAreColumns); // row_major
    EXPECT_EQ(colour->columns, 4u);

    ASSERT_EQ(ps.samplers.size(), 1u);
    EXPECT_EQ(ps.samplers[0].name, "s0");
    EXPECT_NE(ps.glsl.find("binding = " + std::to_string(ps.samplers[0].binding) + ") uniform sampler2D s0"),
              std::string::npos);
}

TEST(HlslCompiler, PixelShaderConstantsHaveTheirOwnArray) {
    CompiledShader ps;
    std::string error;
    ASSERT_TRUE(CompileHlslToGlsl(kShaders, "PSTinted", ShaderStage::Pixel, ps, error)) << error;
    EXPECT_TRUE(CheckGlsl(ps.glsl, ShaderStage::Pixel, error)) << error << ps.glsl;
    EXPECT_EQ(ps.constantArray, "kx_PSConstants");
    ASSERT_NE(Constant(ps, "g_vColor"), nullptr);
    ASSERT_NE(Constant(ps, "g_fScale"), nullptr);
    EXPECT_NE(ps.glsl.find("uniform vec4 kx_PSConstants["), std::string::npos);
}

TEST(HlslCompiler, ColumnMajorRegistersHoldColumns) {
    // mul(v, M) with HLSL's default packing reads register j as column j of M: the GLSL
    // multiplies the row vector by a matrix built from the registers as columns.
    CompiledShader vs;
    std::string error;
    ASSERT_TRUE(CompileHlslToGlsl(kShaders, "VS", ShaderStage::Vertex, vs, error)) << error;
    EXPECT_NE(vs.glsl.find("pos * mat4(kx_VSConstants[0], kx_VSConstants[1], kx_VSConstants[2], kx_VSConstants[3])"),
              std::string::npos)
        << vs.glsl;
}

TEST(HlslCompiler, ErrorsAreReported) {
    struct Case {
        const char* source;
        const char* entry;
        const char* expect;
    } cases[] = {
        {"float4 PS() : COLOR0 { return undefinedThing; }", "PS", "undefinedThing"},
        {"float4 PS() : COLOR0 { return 1 }", "PS", "error"},
        {"float4 PS() : COLOR0 { return 1; }", "Missing", "Entry point not found"},
        {"float4 VS(float4 p : BINORMAL7) : POSITION { return p; }", "VS", "BINORMAL7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        CompiledShader out;
        std::string error;
        EXPECT_FALSE(CompileHlslToGlsl(
            c.source, c.entry, std::string(c.entry) == "VS" ? ShaderStage::Vertex : ShaderStage::Pixel, out, error));
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
        EXPECT_TRUE(out.glsl.empty());
    }
}

TEST(HlslCompiler, NestingDepthCountsBracketsOutsideCommentsAndStrings) {
    struct Case {
        const char* source;
        size_t depth;
    } cases[] = {
        {"", 0},
        {"float4 PS() : COLOR0 { return 1; }", 1},
        {"{ a[(b + c)] }", 3},
        {"((a)) ([b]) {{{c}}}", 3},
        {"))) (( ]]", 2},                // closers without an opener count for nothing
        {"// ((((( \n (x)", 1},          // line comment
        {"/* ((((( \n ((((( */ (x)", 1}, // block comment over lines
        {"/* ((((( never closed", 0},    // an open block comment runs to the end
        {"\"((((\" (x)", 1},             // string
        {"\"a\\\" (((\" (x)", 1},        // an escaped quote does not end the string
        {"\"(((\n((", 2},                // an unterminated string ends with its line
        {"x / (y) /(z)", 1},             // division is not a comment
    };
    for (const Case& c : cases) EXPECT_EQ(HlslNestingDepth(c.source), c.depth) << c.source;
}

TEST(HlslCompiler, SourceNestedBeyondTheBoundIsRefusedBeforeCompiling) {
    auto nested = [](size_t depth) {
        return "float4 PS() : COLOR0 { return float4(" + std::string(depth, '(') + "0.5" + std::string(depth, ')') +
               ", 0, 0, 1); }";
    };
    CompiledShader out;
    std::string error;
    // The function body's brace and the constructor's parenthesis are two levels of it.
    EXPECT_TRUE(CompileHlslToGlsl(nested(kMaxHlslNesting - 2), "PS", ShaderStage::Pixel, out, error)) << error;
    EXPECT_FALSE(CompileHlslToGlsl(nested(kMaxHlslNesting - 1), "PS", ShaderStage::Pixel, out, error));
    EXPECT_EQ(error, "nested deeper than 256 parentheses, brackets and braces");
    EXPECT_TRUE(out.glsl.empty());
    // Far beyond the bound the compiler would run out of stack.
    EXPECT_FALSE(CompileHlslToGlsl(nested(20000), "PS", ShaderStage::Pixel, out, error));
}

TEST(HlslCompiler, LineMarksPointIntoTheEffectFile) {
    CompiledShader out;
    std::string error;
    EXPECT_FALSE(
        CompileHlslToGlsl("#line 40\nfloat4 PS() : COLOR0 { return nothing; }", "PS", ShaderStage::Pixel, out, error));
    EXPECT_NE(error.find(":40:"), std::string::npos) << error;
}

TEST(HlslCompiler, SemanticLocationTables) {
    EXPECT_EQ(VertexAttributeLocation("POSITION"), 0);
    EXPECT_EQ(VertexAttributeLocation("position0"), 0);
    EXPECT_EQ(VertexAttributeLocation("NORMAL"), 1);
    EXPECT_EQ(VertexAttributeLocation("COLOR0"), 2);
    EXPECT_EQ(VertexAttributeLocation("COLOR1"), 3);
    EXPECT_EQ(VertexAttributeLocation("TEXCOORD0"), 4);
    EXPECT_EQ(VertexAttributeLocation("TEXCOORD7"), 11);
    EXPECT_EQ(VertexAttributeLocation("TEXCOORD8"), -1);
    EXPECT_EQ(VertexAttributeLocation("BLENDWEIGHT"), -1);
    EXPECT_EQ(VaryingLocation("COLOR0"), 0);
    EXPECT_EQ(VaryingLocation("TEXCOORD0"), 2);
    EXPECT_EQ(VaryingLocation("FOG"), 10);
    EXPECT_EQ(VaryingLocation("TANGENT"), -1);
}

TEST(HlslCompiler, SamplersKeepExplicitRegistersAndHaveNoUniformLocation) {
    const char* src = "float4 c; sampler2D a; sampler2D r : register(s5);\n"
                      "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(a, uv) * tex2D(r, uv) * c; }";
    CompiledShader ps;
    std::string error;
    ASSERT_TRUE(CompileHlslToGlsl(src, "PS", ShaderStage::Pixel, ps, error)) << error;
    ASSERT_EQ(ps.samplers.size(), 2u);
    for (const ShaderSampler& s : ps.samplers) {
        if (s.name == "r") {
            EXPECT_EQ(s.binding, 5u);
        }
        EXPECT_LT(s.binding, 16u);
    }
    EXPECT_NE(ps.glsl.find("layout(binding = 5) uniform sampler2D r;"), std::string::npos) << ps.glsl;
    EXPECT_TRUE(CheckGlsl(ps.glsl, ShaderStage::Pixel, error)) << error;
}

TEST(HlslCompiler, ShaderModelTwoFeatures) {
    // What effect shaders of that era commonly use, each compiled and checked as GLSL.
    struct Case {
        const char* name;
        const char* body;
    } cases[] = {
        {"tex2D", "return tex2D(s2, uv);"},
        {"tex2Dproj", "return tex2Dproj(s2, float4(uv, 0, 1));"},
        {"tex2Dbias", "return tex2Dbias(s2, float4(uv, 0, 1));"},
        {"texCUBE", "return texCUBE(sc, float3(uv, 1));"},
        {"intrinsics", "float3 n = normalize(float3(uv, 1)); return float4(saturate(dot(n, c.xyz)), lerp(0.2, 0.8, "
                       "uv.x), pow(uv.y, 2.2), 1);"},
        {"matrices", "float3 v = mul(float3(uv, 1), (float3x3)m); float4 w = mul(float4(v, 1), m); return w;"},
        {"half types", "half4 h = half4(uv, 0, 1); return h;"},
        {"loops", "float4 sum = 0; for (int i = 0; i < 4; i++) sum += tex2D(s2, uv + offsets[i]); return sum * 0.25;"},
        {"static const arrays", "return float4(k[0], k[1], k[2], 1);"},
        {"clip", "clip(uv.x - 0.5); return c;"},
        {"swizzles and casts", "float2 t = c.zw; int i = (int)t.x; return float4(t.yx, i, 1).wzyx;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = std::string("float4 c; float4x4 m; float2 offsets[4]; sampler2D s2; samplerCUBE sc;\n"
                                            "static const float k[3] = {0.1, 0.2, 0.3};\n"
                                            "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { ") +
                                c.body + " }";
        CompiledShader ps;
        std::string error;
        ASSERT_TRUE(CompileHlslToGlsl(src, "PS", ShaderStage::Pixel, ps, error)) << error;
        EXPECT_TRUE(CheckGlsl(ps.glsl, ShaderStage::Pixel, error)) << error << ps.glsl;
    }
}
