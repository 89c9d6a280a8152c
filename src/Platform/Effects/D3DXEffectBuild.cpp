// Building an effect's runtime from its parsed file: parameters (shared ones through the
// pool), annotations and handles, then every technique checked against the device, its shaders
// compiled from the effect's HLSL to GLSL and linked into a program on the device.

#include "Platform/Effects/D3DXEffectInternal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Platform::EffectDetail {

namespace {

// What a shared parameter must agree on across the effects of a pool.
std::string SharedSignature(const ParsedParameter& p) {
    return std::to_string(static_cast<int>(p.type)) + ":" + std::to_string(p.rows) + "x" + std::to_string(p.columns) +
           "[" + std::to_string(p.elements) + "]";
}

const char* DeviceUniformFor(const std::string& semantic) {
    static const struct {
        const char* semantic;
        const char* uniform;
    } table[] = {
        {"WORLD", "kx_World"},
        {"VIEW", "kx_View"},
        {"PROJECTION", "kx_Projection"},
        {"WORLDVIEW", "kx_WorldView"},
        {"VIEWPROJECTION", "kx_ViewProjection"},
        {"WORLDVIEWPROJECTION", "kx_WorldViewProjection"},
    };
    std::string up;
    for (char c : semantic) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& t : table)
        if (up == t.semantic) return t.uniform;
    return nullptr;
}

// Replaces every "array[k]" for k in [first, first+count) by the device uniform's columns.
void RedirectRegisters(std::string& glsl, const std::string& array, uint32_t first, uint32_t count,
                       const std::string& uniform, bool registersAreColumns) {
    for (uint32_t i = 0; i < count; ++i) {
        const std::string from = array + "[" + std::to_string(first + i) + "]";
        // The device uploads the D3DX matrix's memory untransposed, so the GLSL matrix's
        // column i is the D3DX row i.
        const std::string to = registersAreColumns ? "transpose(" + uniform + ")[" + std::to_string(i) + "]"
                                                   : uniform + "[" + std::to_string(i) + "]";
        size_t at = 0;
        while ((at = glsl.find(from, at)) != std::string::npos) {
            const bool identStart =
                at == 0 || !(std::isalnum(static_cast<unsigned char>(glsl[at - 1])) || glsl[at - 1] == '_');
            if (identStart) {
                glsl.replace(at, from.size(), to);
                at += to.size();
            } else {
                at += from.size();
            }
        }
    }
}

// The vertex stage of passes that name only a pixel shader: what the fixed-function pipeline
// would hand a pixel shader without lighting: the position transformed (or, for pre-transformed
// vertices, mapped from pixels), colours and texture coordinates passed through, each declared
// as the pixel shader reads it (the two stages must agree on types).
std::string PassThroughVertexShader(const std::vector<ShaderVarying>& inputs) {
    std::string s = "#version 450\n"
                    "uniform mat4 kx_WorldViewProjection;\n"
                    "uniform vec4 kx_Viewport;\n"
                    "uniform float kx_Pretransformed;\n"
                    "uniform vec2 kx_HalfPixel;\n"
                    "layout(location = 0) in vec4 kx_inPosition;\n";
    std::string body;
    static const char* kTypes[] = {"float", "float", "vec2", "vec3", "vec4"};
    static const char* kSwizzles[] = {".x", ".x", ".xy", ".xyz", ""};
    std::set<int> attributes;
    for (const ShaderVarying& v : inputs) {
        const uint32_t n = std::clamp(v.components, 1u, 4u);
        const std::string out = "kx_out" + std::to_string(v.location);
        s += "layout(location = " + std::to_string(v.location) + ") out " + kTypes[n] + " " + out + ";\n";
        const int attribute = VertexAttributeLocation(v.semantic);
        if (attribute > 0) { // colours and texture coordinates; never the position
            attributes.insert(attribute);
            body += "    " + out + " = kx_in" + std::to_string(attribute) + kSwizzles[n] + ";\n";
        } else {
            body += "    " + out + " = " + kTypes[n] + "(0.0);\n";
        }
    }
    for (int a : attributes)
        s += "layout(location = " + std::to_string(a) + ") in vec4 kx_in" + std::to_string(a) + ";\n";
    s += "void main()\n"
         "{\n"
         "    if (kx_Pretransformed != 0.0) {\n"
         "        // As the fixed-function pipeline takes them: w = 1 / rhw, for perspective-correct\n"
         "        // interpolation.\n"
         "        float w = kx_inPosition.w > 0.0 ? 1.0 / kx_inPosition.w : 1.0;\n"
         "        vec2 ndc = vec2((kx_inPosition.x + 0.5 - kx_Viewport.x) * 2.0 / kx_Viewport.z - 1.0,\n"
         "                        1.0 - (kx_inPosition.y + 0.5 - kx_Viewport.y) * 2.0 / kx_Viewport.w);\n"
         "        gl_Position = vec4(ndc * w, kx_inPosition.z * w, w);\n"
         "    } else {\n"
         "        gl_Position = kx_WorldViewProjection * vec4(kx_inPosition.xyz, 1.0);\n"
         "        gl_Position.xy += kx_HalfPixel * gl_Position.w;\n"
         "    }\n";
    s += body + "}\n";
    return s;
}

// The effect language lets a pixel shader read fewer (or more) components of a value than the
// vertex shader wrote, or a value it never wrote; OpenGL wants both sides to agree. The pixel
// shader's input takes the vertex shader's type and is narrowed or widened at the top of main
// (missing components are 0, w is 1, a value never written is 0).
bool MatchVaryings(const CompiledShader& vertex, CompiledShader& pixel) {
    static const char* kTypes[] = {"float", "float", "vec2", "vec3", "vec4"};
    std::string prologue;
    for (const ShaderVarying& in : pixel.inputs) {
        const ShaderVarying* out = nullptr;
        for (const ShaderVarying& o : vertex.outputs)
            if (o.location == in.location) out = &o;
        if (out && out->components == in.components) continue;
        const std::string prefix = "layout(location = " + std::to_string(in.location) + ") in ";
        const size_t at = pixel.glsl.find(prefix);
        if (at == std::string::npos) return false;
        const size_t eol = pixel.glsl.find(";\n", at);
        if (eol == std::string::npos) return false;
        const std::string declaration = pixel.glsl.substr(at + prefix.size(), eol - at - prefix.size());
        const size_t space = declaration.rfind(' ');
        if (space == std::string::npos) return false;
        const std::string name = declaration.substr(space + 1);
        const uint32_t want = std::clamp(in.components, 1u, 4u);
        std::string replacement = std::string(kTypes[want]) + " " + name + ";\n";
        std::string value;
        if (!out) {
            value = std::string(kTypes[want]) + "(0.0)";
        } else {
            const uint32_t have = std::clamp(out->components, 1u, 4u);
            const std::string wide = "kx_varying" + std::to_string(in.location);
            replacement = prefix + kTypes[have] + " " + wide + ";\n" + replacement;
            if (have > want) {
                static const char* kSwizzles[] = {"", ".x", ".xy", ".xyz", ""};
                value = wide + kSwizzles[want];
            } else {
                static const char* kDefaults[] = {"", "", "0.0", "0.0", "1.0"};
                value = std::string(kTypes[want]) + "(" + wide;
                for (uint32_t c = have + 1; c <= want; ++c) value += std::string(", ") + kDefaults[c];
                value += ")";
            }
        }
        pixel.glsl.replace(at, eol + 2 - at, replacement);
        prologue += "    " + name + " = " + value + ";\n";
    }
    if (prologue.empty()) return true;
    const size_t main = pixel.glsl.find("void main()");
    const size_t open = main == std::string::npos ? std::string::npos : pixel.glsl.find("{\n", main);
    if (open == std::string::npos) return false;
    pixel.glsl.insert(open + 2, prologue);
    return true;
}

// "vs_2_0" -> 0x0200 for the stage asked; false for other profiles.
bool ProfileVersion(const std::string& profile, const char* prefix, DWORD& version) {
    const size_t n = std::strlen(prefix);
    if (profile.size() < n + 3 || profile.compare(0, n, prefix) != 0) return false;
    const char major = profile[n];
    if (major < '1' || major > '3' || profile[n + 1] != '_') return false;
    const std::string minor = profile.substr(n + 2);
    DWORD minorValue;
    if (minor == "0")
        minorValue = 0;
    else if (minor == "1")
        minorValue = 1;
    else if (minor == "4")
        minorValue = 4;
    else if (minor == "a" || minor == "b" || minor == "sw")
        minorValue = 1; // beyond x.0
    else
        return false;
    version = (static_cast<DWORD>(major - '0') << 8) | minorValue;
    return true;
}

} // namespace

// Builds the runtime from the parsed file; messages go to log. False: creation fails.
bool Effect::Build(ParsedEffect parsed, std::string& log) {
    m_creator = "Korvaxa effect runtime";
    m_parsedForShaders = parsed; // the declarations move out below
    for (ParsedParameter& p : parsed.parameters) {
        auto param = std::make_unique<Param>();
        param->decl = std::move(p);
        if (param->decl.IsNumeric() && param->decl.rows == 4 && param->decl.columns == 4 && param->decl.elements == 0)
            param->deviceUniform = DeviceUniformFor(param->decl.semantic);
        if (param->decl.shared && m_pool) {
            const std::string signature = SharedSignature(param->decl);
            auto found = m_pool->shared.find(param->decl.name);
            if (found != m_pool->shared.end()) {
                if (found->second.signature != signature) {
                    log += "line " + std::to_string(param->decl.line) + ": shared parameter '" + param->decl.name +
                           "' differs from the pool's\n";
                    return false;
                }
                param->value = found->second.value;
            } else {
                param->value = InitialValue(param->decl);
                m_pool->shared[param->decl.name] = {signature, param->value};
            }
        } else {
            param->value = InitialValue(param->decl);
        }
        param->annotations = MakeAnnotations(param->decl.annotations);
        Register(param->handleTag);
        m_paramHandles[param->handleTag] = param.get();
        m_paramsByName.emplace(param->decl.name, param.get());
        m_params.push_back(std::move(param));
    }
    for (ParsedTechnique& t : parsed.techniques) {
        auto technique = std::make_unique<Technique>();
        technique->decl = std::move(t);
        technique->annotations = MakeAnnotations(technique->decl.annotations);
        for (ParsedPass& p : technique->decl.passes) {
            auto pass = std::make_unique<Pass>();
            pass->decl = p;
            pass->annotations = MakeAnnotations(pass->decl.annotations);
            Register(pass->handleTag);
            technique->passes.push_back(std::move(pass));
        }
        Register(technique->handleTag);
        m_techniques.push_back(std::move(technique));
    }
    for (auto& technique : m_techniques) Validate(*technique);
    m_parsedForShaders = ParsedEffect{};
    for (auto& technique : m_techniques)
        if (!technique->valid)
            log += "line " + std::to_string(technique->decl.line) + ": technique '" + technique->decl.name +
                   "' is not valid: " + technique->invalidReason + "\n";
    for (auto& technique : m_techniques) {
        if (technique->valid) {
            m_current = technique.get();
            return true;
        }
    }
    log += "no technique is valid on this device\n";
    return false;
}

std::shared_ptr<ParamValue> Effect::InitialValue(const ParsedParameter& p) {
    auto v = std::make_shared<ParamValue>();
    v->numbers = p.value;
    if (p.IsNumeric() && v->numbers.empty())
        v->numbers.assign(static_cast<size_t>(p.rows) * p.columns * std::max(1u, p.elements), 0.0f);
    v->text = p.stringValue;
    return v;
}

std::vector<Annotation> Effect::MakeAnnotations(const std::vector<ParsedAnnotation>& parsed) {
    std::vector<Annotation> out;
    for (const ParsedAnnotation& a : parsed) {
        Annotation annotation;
        annotation.param = std::make_unique<Param>();
        annotation.param->decl = a.value;
        annotation.param->value = InitialValue(a.value);
        Register(annotation.param->handleTag);
        m_paramHandles[annotation.param->handleTag] = annotation.param.get();
        out.push_back(std::move(annotation));
    }
    return out;
}

bool Effect::EntryHasUnnamedParameter(const std::string& entry) const {
    for (const HlslChunk& c : m_parsedForShaders.chunks)
        if (c.name == entry && c.unnamedParameter) return true;
    return false;
}

void Effect::Validate(Technique& t) {
    D3DCAPS9 caps;
    if (FAILED(m_device->GetDeviceCaps(&caps))) {
        t.invalidReason = "the device reports no capabilities";
        return;
    }
    for (auto& pass : t.passes) {
        const StateAssignment* vs = nullptr;
        const StateAssignment* ps = nullptr;
        for (const StateAssignment& a : pass->decl.states) {
            if (a.unsupported) {
                t.invalidReason =
                    "line " + std::to_string(a.line) + ": state '" + a.state->name + "' is not supported here";
                return;
            }
            if (a.state->kind == StateKind::VertexShader && !a.null) vs = &a;
            if (a.state->kind == StateKind::PixelShader && !a.null) ps = &a;
        }
        if (!vs && !ps) continue;
        if (!ps) {
            t.invalidReason = "a vertex shader needs a pixel shader in the same pass";
            return;
        }
        t.invalidReason = ShaderRefusal(caps, vs, *ps);
        if (!t.invalidReason.empty() || !BuildShaders(*pass, vs, *ps, t.invalidReason)) return;
    }
    t.valid = true;
}

std::string Effect::ShaderRefusal(const D3DCAPS9& caps, const StateAssignment* vs, const StateAssignment& ps) const {
    DWORD version = 0;
    if (vs && !ProfileVersion(vs->profile, "vs_", version))
        return "unknown vertex shader profile '" + vs->profile + "'";
    if (vs && version > (caps.VertexShaderVersion & 0xFFFF)) return "the device does not run " + vs->profile;
    if (!ProfileVersion(ps.profile, "ps_", version)) return "unknown pixel shader profile '" + ps.profile + "'";
    if (version > (caps.PixelShaderVersion & 0xFFFF)) return "the device does not run " + ps.profile;
    // glslang crashes on an entry point with a parameter that has no name (HLSL allows one), so
    // such a technique is left out with a message before it is compiled.
    for (const StateAssignment* shader : {vs, &ps}) {
        if (shader && EntryHasUnnamedParameter(shader->entry))
            return std::string(shader == vs ? "vertex" : "pixel") + " shader " + shader->entry +
                   ": every parameter of an entry point needs a name here";
    }
    return "";
}

bool Effect::BuildShaders(Pass& pass, const StateAssignment* vs, const StateAssignment& ps, std::string& reason) {
    std::string error;
    pass.usesShaders = true;
    if (vs && !CompileHlslToGlsl(BuildShaderSource(m_parsedForShaders, vs->entry), vs->entry, ShaderStage::Vertex,
                                 pass.vertex.shader, error)) {
        reason = "vertex shader " + vs->entry + ": " + error;
        return false;
    }
    if (!CompileHlslToGlsl(BuildShaderSource(m_parsedForShaders, ps.entry), ps.entry, ShaderStage::Pixel,
                           pass.pixel.shader, error)) {
        reason = "pixel shader " + ps.entry + ": " + error;
        return false;
    }
    if (!vs) {
        pass.vertex.shader = CompiledShader{};
        pass.vertex.shader.glsl = PassThroughVertexShader(pass.pixel.shader.inputs);
    }
    if (vs) {
        if (!MatchVaryings(pass.vertex.shader, pass.pixel.shader)) {
            reason = "the shaders of a pass do not fit together";
            return false;
        }
        RouteDeviceConstants(pass.vertex.shader);
        AddHalfPixelOffset(pass.vertex.shader);
    }
    RouteDeviceConstants(pass.pixel.shader);
    if (!CreateProgram(pass)) {
        reason = "the device cannot build the program: " + m_lastProgramError;
        return false;
    }
    return true;
}

// Shader reads of device-state parameters go to the device's own uniforms.
void Effect::RouteDeviceConstants(CompiledShader& shader) {
    std::string declarations;
    std::set<std::string> declared; // by whole name: kx_World is a prefix of kx_WorldView
    for (const ShaderConstant& c : shader.constants) {
        Param* p = ParamNamed(c.name);
        if (!p || !p->deviceUniform) continue;
        RedirectRegisters(shader.glsl, shader.constantArray, c.offset / 16, 4, p->deviceUniform, c.registersAreColumns);
        if (declared.insert(p->deviceUniform).second)
            declarations += std::string("uniform mat4 ") + p->deviceUniform + ";\n";
    }
    if (declarations.empty()) return;
    // After the #version line.
    const size_t eol = shader.glsl.find('\n');
    shader.glsl.insert(eol == std::string::npos ? shader.glsl.size() : eol + 1, declarations);
}

// Pixel centres sit on integers in this API and on halves in OpenGL: the device hands every
// program the half-pixel shift its fixed-function programs apply.
void Effect::AddHalfPixelOffset(CompiledShader& shader) {
    const size_t close = shader.glsl.rfind('}');
    if (close == std::string::npos) return;
    shader.glsl.insert(close, "    gl_Position.xy += kx_HalfPixel * gl_Position.w;\n");
    const size_t eol = shader.glsl.find('\n');
    shader.glsl.insert(eol == std::string::npos ? shader.glsl.size() : eol + 1, "uniform vec2 kx_HalfPixel;\n");
}

bool Effect::CreateProgram(Pass& pass) {
    if (pass.program) return true;
    std::string errors;
    IDirect3DProgram9* program = nullptr;
    const HRESULT hr =
        m_device->CreateProgram(pass.vertex.shader.glsl.c_str(), pass.pixel.shader.glsl.c_str(), &program, &errors);
    if (FAILED(hr) || !program) {
        m_lastProgramError = errors.empty() ? "CreateProgram failed" : errors;
        return false;
    }
    pass.program = program;
    return true;
}

void Effect::ReleasePrograms() {
    for (auto& t : m_techniques)
        for (auto& p : t->passes)
            if (p->program) {
                p->program->Release();
                p->program = nullptr;
            }
}

} // namespace Platform::EffectDetail
