#include "Platform/Effects/SpirvToGlsl.h"

#include <spirv_cross/spirv_cross_c.h>

#include <cctype>
#include <memory>

namespace Platform {

namespace {

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

// One SPIR-V module being turned into GLSL, with its reflected resources.
struct CrossCompilation {
    spvc_context context = nullptr;
    spvc_compiler compiler = nullptr;
    spvc_resources resources = nullptr;
    ShaderStage stage = ShaderStage::Vertex;
};

// Inputs and outputs get fixed locations by semantic so that any vertex shader pairs with any
// pixel shader and with the device's vertex layout.
bool PlaceInterface(const CrossCompilation& c, spvc_resource_type type, bool attributes, CompiledShader& out,
                    std::string& error) {
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    if (spvc_resources_get_resource_list_for_type(c.resources, type, &list, &count) != SPVC_SUCCESS) return false;
    for (size_t i = 0; i < count; ++i) {
        const char* semantic = spvc_compiler_get_decoration_string(c.compiler, list[i].id, SpvDecorationUserSemantic);
        if (!semantic || !*semantic || spvc_compiler_has_decoration(c.compiler, list[i].id, SpvDecorationBuiltIn))
            continue;
        std::string base;
        unsigned index = 0;
        SplitSemantic(semantic, base, index);
        if (!attributes && (base == "POSITION" || base == "SV_POSITION")) {
            // The clip-space position, which the DX9 rules leave as an ordinary output.
            if (c.stage == ShaderStage::Vertex)
                spvc_compiler_set_decoration(c.compiler, list[i].id, SpvDecorationBuiltIn, SpvBuiltInPosition);
            continue;
        }
        int location = attributes ? VertexAttributeLocation(semantic) : VaryingLocation(semantic);
        if (location < 0) {
            error = std::string("unsupported semantic ") + semantic;
            return false;
        }
        spvc_compiler_set_decoration(c.compiler, list[i].id, SpvDecorationLocation, static_cast<unsigned>(location));
        if (!attributes) {
            ShaderVarying varying;
            varying.semantic = base + std::to_string(index);
            varying.location = static_cast<uint32_t>(location);
            varying.components = spvc_type_get_vector_size(spvc_compiler_get_type_handle(c.compiler, list[i].type_id));
            (type == SPVC_RESOURCE_TYPE_STAGE_INPUT ? out.inputs : out.outputs).push_back(varying);
        }
    }
    return true;
}

bool PlaceStageInterface(const CrossCompilation& c, CompiledShader& out, std::string& error) {
    if (c.stage == ShaderStage::Vertex)
        return PlaceInterface(c, SPVC_RESOURCE_TYPE_STAGE_INPUT, true, out, error) &&
               PlaceInterface(c, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, false, out, error);
    // Pixel outputs keep the render-target index glslang gave them (COLOR0 -> 0).
    return PlaceInterface(c, SPVC_RESOURCE_TYPE_STAGE_INPUT, false, out, error);
}

// The global constants: one block, flattened to a vec4 array.
bool FlattenConstants(const CrossCompilation& c, CompiledShader& out, std::string& error) {
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    if (spvc_resources_get_resource_list_for_type(c.resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count) !=
        SPVC_SUCCESS) {
        error = LastError(c.context);
        return false;
    }
    if (count > 1) {
        error = "more than one constant buffer";
        return false;
    }
    if (count == 0) return true;
    spvc_compiler compiler = c.compiler;
    // Both stages of a program see their own array, so the names must differ.
    out.constantArray = c.stage == ShaderStage::Vertex ? "kx_VSConstants" : "kx_PSConstants";
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
    return true;
}

// DX9 samplers arrive as combined image samplers already.
bool ListSamplers(const CrossCompilation& c, CompiledShader& out, std::string& error) {
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    if (spvc_resources_get_resource_list_for_type(c.resources, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count) !=
        SPVC_SUCCESS) {
        error = LastError(c.context);
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        ShaderSampler sampler;
        sampler.name = list[i].name ? list[i].name : "";
        sampler.glslName = sampler.name;
        sampler.binding = spvc_compiler_get_decoration(c.compiler, list[i].id, SpvDecorationBinding);
        // Uniform locations would have to agree across the two stages of a program; the
        // samplers are found by their binding (texture unit) alone.
        spvc_compiler_unset_decoration(c.compiler, list[i].id, SpvDecorationLocation);
        out.samplers.push_back(sampler);
    }
    return true;
}

// Plain desktop GLSL 4.50, as the device's driver compiles it.
bool WriteGlsl(const CrossCompilation& c, CompiledShader& out, std::string& error) {
    spvc_compiler_options compilerOptions = nullptr;
    spvc_compiler_create_compiler_options(c.compiler, &compilerOptions);
    spvc_compiler_options_set_uint(compilerOptions, SPVC_COMPILER_OPTION_GLSL_VERSION, 450);
    spvc_compiler_options_set_bool(compilerOptions, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(compilerOptions, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
    spvc_compiler_install_compiler_options(c.compiler, compilerOptions);

    const char* glsl = nullptr;
    if (spvc_compiler_compile(c.compiler, &glsl) != SPVC_SUCCESS || !glsl) {
        error = LastError(c.context);
        return false;
    }
    out.glsl = glsl;
    return true;
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

bool SpirvToGlsl(const std::vector<unsigned>& spirv, ShaderStage stage, CompiledShader& out, std::string& error) {
    CrossCompilation c;
    c.stage = stage;
    if (spvc_context_create(&c.context) != SPVC_SUCCESS) {
        error = "SPIRV-Cross context";
        return false;
    }
    std::unique_ptr<spvc_context_s, ContextDeleter> context(c.context);
    spvc_parsed_ir ir = nullptr;
    if (spvc_context_parse_spirv(c.context, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(c.context, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &c.compiler) !=
            SPVC_SUCCESS) {
        error = LastError(c.context);
        return false;
    }
    if (spvc_compiler_create_shader_resources(c.compiler, &c.resources) != SPVC_SUCCESS) {
        error = LastError(c.context);
        return false;
    }
    return PlaceStageInterface(c, out, error) && FlattenConstants(c, out, error) && ListSamplers(c, out, error) &&
           WriteGlsl(c, out, error);
}

} // namespace Platform
