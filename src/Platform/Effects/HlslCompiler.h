#pragma once
// Compiles one HLSL function of an effect file to GLSL for the OpenGL backend: glslang's HLSL
// front end makes SPIR-V, SPIRV-Cross writes GLSL 4.50. Global parameters end up in one flat
// vec4 array so the device can upload every constant in one call; the reflection below says
// where each parameter lives in it and which sampler uniform stands for which sampler.

#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

enum class ShaderStage { Vertex, Pixel };

struct ShaderConstant {
    std::string name;     // the HLSL global's name
    uint32_t offset = 0;  // byte offset in the constant block
    uint32_t size = 0;    // bytes
    uint32_t columns = 0; // vector size (1..4)
    uint32_t rows = 0;    // 1 for scalars and vectors, matrix row count otherwise
    // Matrices: true when each 16-byte register holds one column of the HLSL matrix (HLSL's
    // default column_major packing), false when it holds one row (row_major).
    bool registersAreColumns = false;
};

struct ShaderSampler {
    std::string name;     // the HLSL sampler's name
    std::string glslName; // the uniform that stands for it in the GLSL
    uint32_t binding = 0; // texture unit the GLSL expects
};

struct ShaderVarying {
    std::string semantic; // upper case, with its index ("TEXCOORD1")
    uint32_t location = 0;
    uint32_t components = 4;
};

struct CompiledShader {
    std::string glsl;
    // Name of the flat vec4 array holding the constants ("" when there are none) and its
    // length in vec4s.
    std::string constantArray;
    uint32_t constantVec4s = 0;
    std::vector<ShaderConstant> constants;
    std::vector<ShaderSampler> samplers;
    // Pixel shaders: what they read from the vertex stage; vertex shaders: what they hand it.
    std::vector<ShaderVarying> inputs;
    std::vector<ShaderVarying> outputs;
};

// Whether GLSL 4.50 source compiles (glslang's GLSL front end); the message otherwise.
bool CheckGlsl(const std::string& glsl, ShaderStage stage, std::string& error);

// The deepest nesting of parentheses, brackets and braces (counted together) in HLSL text,
// outside comments and string literals; closers without an opener are ignored.
size_t HlslNestingDepth(const std::string& source);

// glslang parses nested expressions and blocks by recursion, one run of stack frames per level,
// and runs out of stack at a few thousand levels; no real shader comes near this bound.
constexpr size_t kMaxHlslNesting = 256;

// HLSL source in, GLSL out, in this process. Answers false with a message in error (glslang's
// own lines) when the source does not compile or the entry point does not exist, and without
// compiling when the source nests deeper than kMaxHlslNesting. Hostile text can crash or stall
// glslang itself: only the shader compiler program calls this.
bool CompileHlslInProcess(const std::string& source, const std::string& entryPoint, ShaderStage stage,
                          CompiledShader& out, std::string& error);

// As CompileHlslInProcess, in the shader compiler program (korvaxa-shaderc): one process kept for
// the run, started again after a failure. A compiler that crashes, takes longer than the time
// bound or reaches its memory bound makes this answer false with what happened in error. Each
// distinct (source, entry point, stage) is compiled once a run; later calls answer from memory.
bool CompileHlslToGlsl(const std::string& source, const std::string& entryPoint, ShaderStage stage, CompiledShader& out,
                       std::string& error);

struct ShaderCompilerLimits {
    // From handing the compiler a shader to its answer.
    unsigned timeoutMilliseconds = 5000;
    // The compiler process's address space (not applied in sanitizer builds).
    uint64_t memoryBytes = uint64_t{1} << 30;
};
void SetShaderCompilerLimits(const ShaderCompilerLimits& limits);
ShaderCompilerLimits GetShaderCompilerLimits();

struct ShaderCompilerStats {
    unsigned processesStarted = 0;
    unsigned compiles = 0;  // shaders handed to a compiler process
    unsigned cacheHits = 0; // answers from memory
    unsigned failures = 0;  // crashes, time-outs and memory bounds reached
};
ShaderCompilerStats GetShaderCompilerStats();
// Forgets the answers kept for the run and stops the compiler process (tests).
void ResetShaderCompiler();

} // namespace Platform

namespace Platform {
// The attribute slot of a vertex input semantic, as the device feeds vertex streams (POSITION 0,
// NORMAL 1, COLOR0/1 2/3, TEXCOORD0..7 4..11); -1 for the others.
int VertexAttributeLocation(const std::string& semantic);
// The fixed location of a value passed from vertex to pixel shader (COLOR0/1 0/1,
// TEXCOORD0..7 2..9, FOG 10), -1 when unsupported.
int VaryingLocation(const std::string& semantic);
} // namespace Platform
