#include "Platform/Effects/HlslCompiler.h"
#include "Platform/Effects/ShaderCompilerProtocol.h"

#include <gtest/gtest.h>

#include <string>

using namespace Platform;
namespace Protocol = Platform::ShaderCompilerProtocol;

namespace {

Protocol::Response FullResponse() {
    Protocol::Response r;
    r.compiled = true;
    r.shader.glsl = "#version 450\nvoid main() {}\n";
    r.shader.constantArray = "kx_c";
    r.shader.constantVec4s = 7;
    r.shader.constants = {{"World", 16, 64, 4, 4, true}, {"tint", 0, 16, 4, 1, false}};
    r.shader.samplers = {{"diffuse", "kx_s0", 3}};
    r.shader.inputs = {{"TEXCOORD1", 3, 2}};
    r.shader.outputs = {{"COLOR0", 0, 4}, {"FOG", 10, 1}};
    return r;
}

} // namespace

TEST(ShaderCompilerProtocol, MessagesKeepEveryField) {
    const Protocol::Request request{ShaderStage::Vertex, "VS", std::string("float4 VS() {}\0tail", 19)};
    Protocol::Request decodedRequest;
    ASSERT_TRUE(Protocol::DecodeRequest(Protocol::EncodeRequest(request), decodedRequest));
    EXPECT_EQ(decodedRequest.stage, ShaderStage::Vertex);
    EXPECT_EQ(decodedRequest.entryPoint, "VS");
    EXPECT_EQ(decodedRequest.source, request.source);

    const Protocol::Response response = FullResponse();
    Protocol::Response decoded;
    ASSERT_TRUE(Protocol::DecodeResponse(Protocol::EncodeResponse(response), decoded));
    EXPECT_TRUE(decoded.compiled);
    EXPECT_FALSE(decoded.ending);
    EXPECT_EQ(decoded.shader.glsl, response.shader.glsl);
    EXPECT_EQ(decoded.shader.constantArray, "kx_c");
    EXPECT_EQ(decoded.shader.constantVec4s, 7u);
    ASSERT_EQ(decoded.shader.constants.size(), 2u);
    EXPECT_EQ(decoded.shader.constants[0].name, "World");
    EXPECT_EQ(decoded.shader.constants[0].offset, 16u);
    EXPECT_EQ(decoded.shader.constants[0].size, 64u);
    EXPECT_EQ(decoded.shader.constants[0].rows, 4u);
    EXPECT_TRUE(decoded.shader.constants[0].registersAreColumns);
    EXPECT_FALSE(decoded.shader.constants[1].registersAreColumns);
    ASSERT_EQ(decoded.shader.samplers.size(), 1u);
    EXPECT_EQ(decoded.shader.samplers[0].glslName, "kx_s0");
    EXPECT_EQ(decoded.shader.samplers[0].binding, 3u);
    ASSERT_EQ(decoded.shader.inputs.size(), 1u);
    EXPECT_EQ(decoded.shader.inputs[0].semantic, "TEXCOORD1");
    EXPECT_EQ(decoded.shader.inputs[0].components, 2u);
    ASSERT_EQ(decoded.shader.outputs.size(), 2u);
    EXPECT_EQ(decoded.shader.outputs[1].location, 10u);

    Protocol::Response failure;
    failure.error = "line 3: undeclared identifier";
    failure.ending = true;
    ASSERT_TRUE(Protocol::DecodeResponse(Protocol::EncodeResponse(failure), decoded));
    EXPECT_FALSE(decoded.compiled);
    EXPECT_TRUE(decoded.ending);
    EXPECT_EQ(decoded.error, failure.error);
}

// What comes from the other process is read as untrusted input: every cut, and counts that
// promise more than the message holds, are refused.
TEST(ShaderCompilerProtocol, TruncatedAndInflatedMessagesAreRefused) {
    const std::string response = Protocol::EncodeResponse(FullResponse());
    Protocol::Response decoded;
    for (size_t n = 0; n < response.size(); ++n)
        EXPECT_FALSE(Protocol::DecodeResponse(response.substr(0, n), decoded)) << n;
    EXPECT_FALSE(Protocol::DecodeResponse(response + "x", decoded));

    const std::string request =
        Protocol::EncodeRequest({ShaderStage::Pixel, "PS", "float4 PS() : COLOR0 { return 1; }"});
    Protocol::Request decodedRequest;
    for (size_t n = 0; n < request.size(); ++n)
        EXPECT_FALSE(Protocol::DecodeRequest(request.substr(0, n), decodedRequest)) << n;

    // A string length near 4 GiB, a constant count far beyond the bytes that follow, a stage
    // that does not exist, a response read as a request.
    std::string inflated = response;
    const uint32_t huge = 0xFFFFFFF0u;
    inflated.replace(12, 4, reinterpret_cast<const char*>(&huge), 4); // the GLSL's length
    EXPECT_FALSE(Protocol::DecodeResponse(inflated, decoded));
    std::string badStage = request;
    const uint32_t stage = 7;
    badStage.replace(4, 4, reinterpret_cast<const char*>(&stage), 4);
    EXPECT_FALSE(Protocol::DecodeRequest(badStage, decodedRequest));
    EXPECT_FALSE(Protocol::DecodeRequest(response, decodedRequest));
}

TEST(ShaderCompiler, EachDistinctShaderIsCompiledOnceARun) {
    ResetShaderCompiler();
    const std::string source = "float4 PS() : COLOR0 { return float4(0.25, 0.5, 0.75, 1); }";
    CompiledShader first, second, vertex;
    std::string error;
    ASSERT_TRUE(CompileHlslToGlsl(source, "PS", ShaderStage::Pixel, first, error)) << error;
    ASSERT_TRUE(CompileHlslToGlsl(source, "PS", ShaderStage::Pixel, second, error)) << error;
    EXPECT_EQ(first.glsl, second.glsl);
    ShaderCompilerStats stats = GetShaderCompilerStats();
    EXPECT_EQ(stats.processesStarted, 1u);
    EXPECT_EQ(stats.compiles, 1u);
    EXPECT_EQ(stats.cacheHits, 1u);

    // Another stage or entry point is another shader; failures are kept too.
    CompileHlslToGlsl(source, "PS", ShaderStage::Vertex, vertex, error);
    EXPECT_FALSE(CompileHlslToGlsl(source, "Missing", ShaderStage::Pixel, vertex, error));
    const std::string firstError = error;
    EXPECT_FALSE(firstError.empty());
    EXPECT_FALSE(CompileHlslToGlsl(source, "Missing", ShaderStage::Pixel, vertex, error));
    EXPECT_EQ(error, firstError);
    stats = GetShaderCompilerStats();
    EXPECT_EQ(stats.processesStarted, 1u);
    EXPECT_EQ(stats.compiles, 3u);
    EXPECT_EQ(stats.cacheHits, 2u);
    EXPECT_EQ(stats.failures, 0u); // refusals by the compiler are answers, not failures
}

TEST(ShaderCompiler, OutOfProcessAnswersAsInProcess) {
    ResetShaderCompiler();
    const std::string source = "float4x4 World; sampler2D tex : register(s2);\n"
                               "float4 VS(float4 p : POSITION, inout float2 uv : TEXCOORD0) : POSITION {"
                               " return mul(p, World); }\n"
                               "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(tex, uv); }\n";
    for (const auto& [entry, stage] : {std::pair{"VS", ShaderStage::Vertex}, std::pair{"PS", ShaderStage::Pixel}}) {
        SCOPED_TRACE(entry);
        CompiledShader outside, inside;
        std::string error;
        ASSERT_TRUE(CompileHlslToGlsl(source, entry, stage, outside, error)) << error;
        ASSERT_TRUE(CompileHlslInProcess(source, entry, stage, inside, error)) << error;
        EXPECT_EQ(outside.glsl, inside.glsl);
        EXPECT_EQ(outside.constantArray, inside.constantArray);
        EXPECT_EQ(outside.constantVec4s, inside.constantVec4s);
        EXPECT_EQ(outside.constants.size(), inside.constants.size());
        EXPECT_EQ(outside.samplers.size(), inside.samplers.size());
        EXPECT_EQ(outside.inputs.size(), inside.inputs.size());
        EXPECT_EQ(outside.outputs.size(), inside.outputs.size());
    }
}
