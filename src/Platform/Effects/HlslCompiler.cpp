#include "Platform/Effects/HlslCompiler.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_cross_c.h>

#include <cctype>
#include <cstring>
#include <memory>

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

// Splits "TEXCOORD3" into ("TEXCOORD", 3).
void SplitSemantic(const std::string& semantic, std::string& base, unsigned& index) {
    size_t end = semantic.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(semantic[end - 1]))) --end;
    base.clear();
    for (size_t i = 0; i < end; ++i) base += static_cast<char>(std::toupper(static_cast<unsigned char>(semantic[i])));
    index = 0;
    for (size_t i = end; i < semantic.size() && i < end + 3; ++i)
        index = index * 10 + static_cast<unsigned>(semantic[i] - '0');
}

struct ContextDeleter {
    void operator()(spvc_context_s* c) const { spvc_context_destroy(c); }
};

std::string LastError(spvc_context context) {
    const char* e = spvc_context_get_last_error_string(context);
    return e ? e : "SPIRV-Cross failed";
}

} // namespace

int VertexAttributeLocation(const std::string& semantic) {
    // The device feeds flexible-vertex-format streams to these attribute slots.
    std::string base;
    unsigned index = 0;
    SplitSemantic(semantic, base, index);
    if (base == "POSITION" && index == 0) return 0;
    if (base == "NORMAL" && index == 0) return 1;
    if (base == "COLOR" && index < 2) return 2 + static_cast<int>(index);
    if (base == "TEXCOORD" && index < 8) return 4 + static_cast<int>(index);
    return -1;
}

int VaryingLocation(const std::string& semantic) {
    std::string base;
    unsigned index = 0;
    SplitSemantic(semantic, base, index);
    if (base == "COLOR" && index < 2) return static_cast<int>(index);
    if (base == "TEXCOORD" && index < 8) return 2 + static_cast<int>(index);
    if (base == "FOG" && index == 0) return 10;
    return -1;
}

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

bool CompileHlslToGlsl(const std::string& source, const std::string& entryPoint, ShaderStage stage, CompiledShader& out,
                       std::string& error) {
    out = CompiledShader{};
    error.clear();
    EnsureGlslang();

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
    std::vector<unsigned> spirv;
    glslang::SpvOptions options;
    options.disableOptimizer = false;
    options.validate = false;
    glslang::GlslangToSpv(*intermediate, spirv, &options);
    if (spirv.empty()) {
        error = "SPIR-V generation failed";
        return false;
    }

    spvc_context rawContext = nullptr;
    if (spvc_context_create(&rawContext) != SPVC_SUCCESS) {
        error = "SPIRV-Cross context";
        return false;
    }
    std::unique_ptr<spvc_context_s, ContextDeleter> context(rawContext);
    spvc_parsed_ir ir = nullptr;
    spvc_compiler compiler = nullptr;
    if (spvc_context_parse_spirv(rawContext, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(rawContext, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &compiler) !=
            SPVC_SUCCESS) {
        error = LastError(rawContext);
        return false;
    }

    spvc_resources resources = nullptr;
    if (spvc_compiler_create_shader_resources(compiler, &resources) != SPVC_SUCCESS) {
        error = LastError(rawContext);
        return false;
    }
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;

    // Inputs and outputs get fixed locations by semantic so that any vertex shader pairs with
    // any pixel shader and with the device's vertex layout.
    auto placeInterface = [&](spvc_resource_type type, bool attributes) -> bool {
        if (spvc_resources_get_resource_list_for_type(resources, type, &list, &count) != SPVC_SUCCESS) return false;
        for (size_t i = 0; i < count; ++i) {
            const char* semantic = spvc_compiler_get_decoration_string(compiler, list[i].id, SpvDecorationUserSemantic);
            if (!semantic || !*semantic || spvc_compiler_has_decoration(compiler, list[i].id, SpvDecorationBuiltIn))
                continue;
            std::string base;
            unsigned index = 0;
            SplitSemantic(semantic, base, index);
            if (!attributes && (base == "POSITION" || base == "SV_POSITION")) {
                // The clip-space position, which the DX9 rules leave as an ordinary output.
                if (stage == ShaderStage::Vertex)
                    spvc_compiler_set_decoration(compiler, list[i].id, SpvDecorationBuiltIn, SpvBuiltInPosition);
                continue;
            }
            int location = attributes ? VertexAttributeLocation(semantic) : VaryingLocation(semantic);
            if (location < 0) {
                error = std::string("unsupported semantic ") + semantic;
                return false;
            }
            spvc_compiler_set_decoration(compiler, list[i].id, SpvDecorationLocation, static_cast<unsigned>(location));
            if (!attributes) {
                ShaderVarying varying;
                varying.semantic = base + std::to_string(index);
                varying.location = static_cast<uint32_t>(location);
                varying.components =
                    spvc_type_get_vector_size(spvc_compiler_get_type_handle(compiler, list[i].type_id));
                (type == SPVC_RESOURCE_TYPE_STAGE_INPUT ? out.inputs : out.outputs).push_back(varying);
            }
        }
        return true;
    };
    if (stage == ShaderStage::Vertex) {
        if (!placeInterface(SPVC_RESOURCE_TYPE_STAGE_INPUT, true) ||
            !placeInterface(SPVC_RESOURCE_TYPE_STAGE_OUTPUT, false))
            return false;
    } else {
        if (!placeInterface(SPVC_RESOURCE_TYPE_STAGE_INPUT, false)) return false;
        // Pixel outputs keep the render-target index glslang gave them (COLOR0 -> 0).
    }

    // The global constants: one block, flattened to a vec4 array.
    if (spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count) !=
        SPVC_SUCCESS) {
        error = LastError(rawContext);
        return false;
    }
    if (count > 1) {
        error = "more than one constant buffer";
        return false;
    }
    if (count == 1) {
        // Both stages of a program see their own array, so the names must differ.
        out.constantArray = stage == ShaderStage::Vertex ? "kx_VSConstants" : "kx_PSConstants";
        spvc_compiler_set_name(compiler, list[0].id, out.constantArray.c_str());
        spvc_compiler_set_name(compiler, list[0].base_type_id, out.constantArray.c_str());
        spvc_compiler_flatten_buffer_block(compiler, list[0].id);
        spvc_type blockType = spvc_compiler_get_type_handle(compiler, list[0].base_type_id);
        size_t blockSize = 0;
        spvc_compiler_get_declared_struct_size(compiler, blockType, &blockSize);
        out.constantVec4s = static_cast<uint32_t>((blockSize + 15) / 16);
        const unsigned members = spvc_type_get_num_member_types(blockType);
        for (unsigned m = 0; m < members; ++m) {
            ShaderConstant constant;
            const char* name = spvc_compiler_get_member_name(compiler, list[0].base_type_id, m);
            constant.name = name ? name : "";
            unsigned offset = 0;
            size_t size = 0;
            spvc_compiler_type_struct_member_offset(compiler, blockType, m, &offset);
            spvc_compiler_get_declared_struct_member_size(compiler, blockType, m, &size);
            spvc_type memberType = spvc_compiler_get_type_handle(compiler, spvc_type_get_member_type(blockType, m));
            constant.offset = offset;
            constant.size = static_cast<uint32_t>(size);
            constant.columns = spvc_type_get_vector_size(memberType);
            constant.rows = spvc_type_get_columns(memberType);
            // glslang marks HLSL's default (column_major) matrices RowMajor in SPIR-V, and the
            // flattened GLSL then reads each register as one column of the HLSL matrix.
            constant.registersAreColumns =
                spvc_compiler_has_member_decoration(compiler, list[0].base_type_id, m, SpvDecorationRowMajor);
            out.constants.push_back(constant);
        }
    }

    // DX9 samplers arrive as combined image samplers already.
    if (spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count) !=
        SPVC_SUCCESS) {
        error = LastError(rawContext);
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        ShaderSampler sampler;
        sampler.name = list[i].name ? list[i].name : "";
        sampler.glslName = sampler.name;
        sampler.binding = spvc_compiler_get_decoration(compiler, list[i].id, SpvDecorationBinding);
        // Uniform locations would have to agree across the two stages of a program; the
        // samplers are found by their binding (texture unit) alone.
        spvc_compiler_unset_decoration(compiler, list[i].id, SpvDecorationLocation);
        out.samplers.push_back(sampler);
    }

    spvc_compiler_options compilerOptions = nullptr;
    spvc_compiler_create_compiler_options(compiler, &compilerOptions);
    spvc_compiler_options_set_uint(compilerOptions, SPVC_COMPILER_OPTION_GLSL_VERSION, 450);
    spvc_compiler_options_set_bool(compilerOptions, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(compilerOptions, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
    spvc_compiler_install_compiler_options(compiler, compilerOptions);

    const char* glsl = nullptr;
    if (spvc_compiler_compile(compiler, &glsl) != SPVC_SUCCESS || !glsl) {
        error = LastError(rawContext);
        return false;
    }
    out.glsl = glsl;
    return true;
}

} // namespace Platform
