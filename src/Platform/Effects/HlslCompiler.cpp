#include "Platform/Effects/HlslCompiler.h"

#include "Platform/Effects/SpirvToGlsl.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>

#include <algorithm>

namespace Platform {

namespace {

// glslang wants one process-wide initialisation; the engine runs on one thread.
void EnsureGlslang() {
    static bool initialised = false;
    if (!initialised) {
        glslang::InitializeProcess();
        initialised = true;
    }
}

// The first stage: glslang's HLSL front end, with the DX9 rules, makes SPIR-V of one entry
// point; inputs, outputs and resources are mapped automatically for the second stage to place.
bool HlslToSpirv(const std::string& source, const std::string& entryPoint, ShaderStage stage,
                 std::vector<unsigned>& spirv, std::string& error) {
    const EShLanguage language = stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(language);
    const char* text = source.c_str();
    const int length = static_cast<int>(source.size());
    const char* names[] = {"effect"};
    shader.setStringsWithLengthsAndNames(&text, &length, names, 1);
    shader.setEntryPoint(entryPoint.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, language, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setAutoMapLocations(true);
    shader.setAutoMapBindings(true);
    shader.setHlslIoMapping(true);
    const EShMessages messages =
        static_cast<EShMessages>(EShMsgReadHlsl | EShMsgSpvRules | EShMsgHlslDX9Compatible | EShMsgHlslLegalization);
    if (!shader.parse(GetDefaultResources(), 100, false, messages)) {
        error = shader.getInfoLog();
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) {
        error = program.getInfoLog();
        return false;
    }
    glslang::TIntermediate* intermediate = program.getIntermediate(language);
    if (!intermediate) {
        error = "no code for the entry point";
        return false;
    }
    glslang::SpvOptions options;
    options.disableOptimizer = false;
    options.validate = false;
    glslang::GlslangToSpv(*intermediate, spirv, &options);
    if (spirv.empty()) {
        error = "SPIR-V generation failed";
        return false;
    }
    return true;
}

} // namespace

bool CheckGlsl(const std::string& glsl, ShaderStage stage, std::string& error) {
    EnsureGlslang();
    const EShLanguage language = stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(language);
    const char* text = glsl.c_str();
    shader.setStrings(&text, 1);
    // Plain OpenGL rules, as the device's driver compiles it (no SPIR-V client).
    shader.setEnvInput(glslang::EShSourceGlsl, language, glslang::EShClientNone, 0);
    if (!shader.parse(GetDefaultResources(), 450, false, EShMsgDefault)) {
        error = shader.getInfoLog();
        return false;
    }
    error.clear();
    return true;
}

size_t HlslNestingDepth(const std::string& source) {
    size_t depth = 0, deepest = 0;
    const size_t n = source.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = source[i];
        const char next = i + 1 < n ? source[i + 1] : '\0';
        if (c == '/' && next == '/') {
            while (i < n && source[i] != '\n') ++i;
        } else if (c == '/' && next == '*') {
            const size_t end = source.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '"') {
            // As glslang reads a string: a backslash escapes the next character (a line end
            // too), and an unterminated string ends with its line.
            ++i;
            while (i < n && source[i] != '"' && source[i] != '\n') i += source[i] == '\\' && i + 1 < n ? 2 : 1;
        } else if (c == '(' || c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

bool CompileHlslInProcess(const std::string& source, const std::string& entryPoint, ShaderStage stage,
                          CompiledShader& out, std::string& error) {
    out = CompiledShader{};
    error.clear();
    if (HlslNestingDepth(source) > kMaxHlslNesting) {
        error = "nested deeper than " + std::to_string(kMaxHlslNesting) + " parentheses, brackets and braces";
        return false;
    }
    EnsureGlslang();
    std::vector<unsigned> spirv;
    return HlslToSpirv(source, entryPoint, stage, spirv, error) && SpirvToGlsl(spirv, stage, out, error);
}

} // namespace Platform
