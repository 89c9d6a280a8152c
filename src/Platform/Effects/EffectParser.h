#pragma once
// The effect-file language: global parameters (types, semantics, annotations, initial values,
// the shared qualifier, sampler_state blocks), HLSL structs and functions, and techniques of
// passes of state assignments. Parsing needs no device; errors carry line numbers.

#include "Platform/Effects/EffectStates.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

enum class EffectType {
    Void,
    Bool,
    Int,
    Float,
    String,
    Texture,
    Texture1D,
    Texture2D,
    Texture3D,
    TextureCube,
    Sampler,
    Sampler1D,
    Sampler2D,
    Sampler3D,
    SamplerCube,
    PixelShader,
    VertexShader,
};

enum class EffectClass { Scalar, Vector, MatrixRows, MatrixColumns, Object };

struct ParsedAnnotation;

// One right-hand side of a state assignment.
struct StateAssignment {
    const StateInfo* state = nullptr;
    uint32_t index = 0;       // the [n] after the state name (stage or sampler)
    uint32_t value = 0;       // numeric value (floats as their bits)
    std::string parameter;    // <name> or (name): the value comes from this parameter
    std::string profile;      // compile vs_2_0 f(): the profile
    std::string entry;        //                      the function
    bool null = false;        // VertexShader = NULL
    bool unsupported = false; // asm blocks, shader arguments: not buildable here
    int line = 0;
};

struct ParsedParameter {
    std::string name;
    std::string semantic;
    std::string typeName; // as written ("float4x4")
    EffectType type = EffectType::Void;
    EffectClass cls = EffectClass::Scalar;
    uint32_t rows = 1;
    uint32_t columns = 1;
    uint32_t elements = 0; // array size, 0 when not an array
    bool shared = false;
    bool rowMajorQualifier = false;
    bool columnMajorQualifier = false;
    std::vector<float> value; // rows*columns*max(1,elements) numbers
    std::string stringValue;  // strings
    std::vector<ParsedAnnotation> annotations;
    std::vector<StateAssignment> samplerStates; // sampler_state { ... }
    int line = 0;

    bool IsTexture() const { return type >= EffectType::Texture && type <= EffectType::TextureCube; }
    bool IsSampler() const { return type >= EffectType::Sampler && type <= EffectType::SamplerCube; }
    bool IsNumeric() const { return type == EffectType::Bool || type == EffectType::Int || type == EffectType::Float; }
};

struct ParsedAnnotation {
    ParsedParameter value;
};

struct ParsedPass {
    std::string name;
    std::vector<ParsedAnnotation> annotations;
    std::vector<StateAssignment> states;
    int line = 0;
};

struct ParsedTechnique {
    std::string name;
    std::vector<ParsedAnnotation> annotations;
    std::vector<ParsedPass> passes;
    int line = 0;
};

// One top-level piece of HLSL: a struct, typedef, static global or function.
struct HlslChunk {
    std::string name;              // function name ("" for the others)
    std::string text;              // with its #line mark
    std::vector<std::string> uses; // identifiers the text mentions
    // A function with a parameter that has a type but no name ("float4 PS(float2 : TEXCOORD0)").
    // HLSL allows it; glslang crashes compiling such a function as an entry point.
    bool unnamedParameter = false;
};

struct ParsedEffect {
    std::vector<ParsedParameter> parameters; // in declaration order
    std::vector<ParsedTechnique> techniques; // in declaration order
    // The HLSL the shaders compile from: structs, typedefs, static globals and functions as
    // written, with #line marks so compiler messages point into the effect file.
    std::string hlslCode;
    std::vector<HlslChunk> chunks; // the same text, piece by piece
    std::vector<std::string> functions;
};

// The parser holds every token of a file at once, some eighty bytes each; real effect files are
// a few tens of KiB and a few thousand tokens. Larger files are refused before they cost memory.
constexpr size_t kMaxEffectFileBytes = size_t{4} << 20;
constexpr size_t kMaxEffectTokens = size_t{1} << 20;

// Parses an effect file. On failure answers false with "line N: message" in error.
bool ParseEffect(const char* text, size_t size, ParsedEffect& out, std::string& error);

// The HLSL declarations of the parameters a shader sees (numbers and samplers), then the HLSL
// pieces: all of them, or, given an entry point, the non-function pieces and only the
// functions the entry point reaches (so one function our compiler cannot take does not take
// down the techniques that do not use it).
std::string BuildShaderSource(const ParsedEffect& effect, const std::string& entry = "");

} // namespace Platform
