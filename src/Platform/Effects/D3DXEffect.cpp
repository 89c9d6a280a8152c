#include "Platform/Effects/D3DXEffect.h"

#include "Platform/Effects/EffectParser.h"
#include "Platform/Effects/HlslCompiler.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <strings.h>
#include <tuple>
#include <utility>
#include <vector>

namespace Platform {

namespace {

template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG m_refs = 1;
};

class Buffer final : public RefCounted<ID3DXBuffer> {
public:
    explicit Buffer(DWORD bytes) : m_data(bytes) {}
    void* GetBufferPointer() override { return m_data.empty() ? nullptr : m_data.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(m_data.size()); }

private:
    std::vector<uint8_t> m_data;
};

// The value of a parameter; shared parameters of pooled effects point at one of these.
struct ParamValue {
    std::vector<float> numbers;
    std::string text;
    IDirect3DBaseTexture9* texture = nullptr; // referenced
    ~ParamValue() {
        if (texture) texture->Release();
    }
};

// What a shared parameter must agree on across the effects of a pool.
std::string SharedSignature(const ParsedParameter& p) {
    return std::to_string(static_cast<int>(p.type)) + ":" + std::to_string(p.rows) + "x" + std::to_string(p.columns) +
           "[" + std::to_string(p.elements) + "]";
}

class EffectPool final : public RefCounted<ID3DXEffectPool> {
public:
    struct Entry {
        std::string signature;
        std::shared_ptr<ParamValue> value;
    };
    std::map<std::string, Entry> shared;
};

constexpr uint32_t kNoShader = 0xFFFFFFFFu;

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

struct Param;

struct Annotation {
    std::unique_ptr<Param> param; // its handle is the parameter's
};

struct Param {
    char handleTag[2] = {'P', '\0'}; // handles are C strings, as names are
    ParsedParameter decl;
    std::shared_ptr<ParamValue> value;
    std::vector<Annotation> annotations;
    const char* deviceUniform = nullptr; // device-state semantic (shader passes read the device)
};

// One compiled shader stage of a pass, with where each parameter goes in its constants.
struct StageCode {
    CompiledShader shader;
};

struct Pass {
    char handleTag[2] = {'S', '\0'}; // handles are C strings, as names are
    ParsedPass decl;
    std::vector<Annotation> annotations;
    bool usesShaders = false;
    StageCode vertex, pixel;
    IDirect3DProgram9* program = nullptr; // created on the device
};

struct Technique {
    char handleTag[2] = {'T', '\0'}; // handles are C strings, as names are
    ParsedTechnique decl;
    std::vector<Annotation> annotations;
    std::vector<std::unique_ptr<Pass>> passes;
    bool valid = false;
    std::string invalidReason;
};

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Whole numbers of float values, which an effect file (float a = 1e30;) or the game's SetFloat
// can put anywhere: values beyond the integer's range stop at its ends and NaN reads as 0, where
// a plain cast would be undefined.
int32_t ToInt32(float v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0f) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// A DWORD state: negative numbers as their two's complement.
DWORD ToStateDword(float v) {
    if (std::isnan(v)) return 0;
    if (v < 0) return static_cast<DWORD>(ToInt32(v));
    return v >= 4294967296.0f ? 0xFFFFFFFFu : static_cast<DWORD>(v);
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

class Effect final : public RefCounted<ID3DXEffect> {
public:
    Effect(IDirect3DDevice9* device, EffectPool* pool) : m_device(device), m_pool(pool) {
        m_device->AddRef();
        if (m_pool) m_pool->AddRef();
    }

    ~Effect() override {
        if (m_begun) End();
        ReleasePrograms();
        m_params.clear();
        if (m_pool) m_pool->Release();
        m_device->Release();
    }

    // Builds the runtime from the parsed file; messages go to log. False: creation fails.
    bool Build(ParsedEffect parsed, std::string& log) {
        m_creator = "Korvaxa effect runtime";
        m_parsedForShaders = parsed; // the declarations move out below
        for (ParsedParameter& p : parsed.parameters) {
            auto param = std::make_unique<Param>();
            param->decl = std::move(p);
            if (param->decl.IsNumeric() && param->decl.rows == 4 && param->decl.columns == 4 &&
                param->decl.elements == 0)
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

    // ---- descriptions ----
    HRESULT GetDesc(D3DXEFFECT_DESC* desc) override {
        if (!desc) return D3DERR_INVALIDCALL;
        desc->Creator = m_creator.c_str();
        desc->Parameters = static_cast<UINT>(m_params.size());
        desc->Techniques = static_cast<UINT>(m_techniques.size());
        desc->Functions = 0;
        return D3D_OK;
    }

    HRESULT GetParameterDesc(D3DXHANDLE handle, D3DXPARAMETER_DESC* desc) override {
        Param* p = FindParam(handle);
        if (!p || !desc) return D3DERR_INVALIDCALL;
        const ParsedParameter& d = p->decl;
        desc->Name = d.name.c_str();
        desc->Semantic = d.semantic.empty() ? nullptr : d.semantic.c_str();
        desc->Class = static_cast<D3DXPARAMETER_CLASS>(d.cls);
        desc->Type = static_cast<D3DXPARAMETER_TYPE>(d.type);
        desc->Rows = d.IsNumeric() ? d.rows : 0;
        desc->Columns = d.IsNumeric() ? d.columns : 0;
        desc->Elements = d.elements;
        desc->Annotations = static_cast<UINT>(p->annotations.size());
        desc->StructMembers = 0;
        desc->Flags = d.shared ? D3DX_PARAMETER_SHARED : 0;
        desc->Bytes =
            d.IsNumeric() ? static_cast<UINT>(p->value->numbers.size() * 4) : static_cast<UINT>(sizeof(void*));
        return D3D_OK;
    }

    HRESULT GetTechniqueDesc(D3DXHANDLE handle, D3DXTECHNIQUE_DESC* desc) override {
        Technique* t = FindTechnique(handle);
        if (!t || !desc) return D3DERR_INVALIDCALL;
        desc->Name = t->decl.name.c_str();
        desc->Passes = static_cast<UINT>(t->passes.size());
        desc->Annotations = static_cast<UINT>(t->annotations.size());
        return D3D_OK;
    }

    HRESULT GetPassDesc(D3DXHANDLE handle, D3DXPASS_DESC* desc) override {
        Pass* p = FindPass(handle);
        if (!p || !desc) return D3DERR_INVALIDCALL;
        desc->Name = p->decl.name.c_str();
        desc->Annotations = static_cast<UINT>(p->annotations.size());
        return D3D_OK;
    }

    // ---- handles ----
    D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) override {
        if (parent || index >= m_params.size()) return nullptr;
        return m_params[index]->handleTag;
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, LPCSTR name) override {
        if (parent || !name) return nullptr;
        for (auto& p : m_params)
            if (p->decl.name == name) return p->handleTag;
        return nullptr;
    }

    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) override {
        if (parent || !semantic) return nullptr;
        for (auto& p : m_params)
            if (!p->decl.semantic.empty() && strcasecmp(p->decl.semantic.c_str(), semantic) == 0) return p->handleTag;
        return nullptr;
    }

    D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) override {
        std::vector<Annotation>* list = AnnotationsOf(object);
        if (!list || index >= list->size()) return nullptr;
        return (*list)[index].param->handleTag;
    }

    D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, LPCSTR name) override {
        std::vector<Annotation>* list = AnnotationsOf(object);
        if (!list || !name) return nullptr;
        for (Annotation& a : *list)
            if (a.param->decl.name == name) return a.param->handleTag;
        return nullptr;
    }

    D3DXHANDLE GetTechnique(UINT index) override {
        return index < m_techniques.size() ? m_techniques[index]->handleTag : nullptr;
    }

    D3DXHANDLE GetTechniqueByName(LPCSTR name) override {
        if (!name) return nullptr;
        for (auto& t : m_techniques)
            if (t->decl.name == name) return t->handleTag;
        return nullptr;
    }

    D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) override {
        Technique* t = FindTechnique(technique);
        if (!t || index >= t->passes.size()) return nullptr;
        return t->passes[index]->handleTag;
    }

    D3DXHANDLE GetPassByName(D3DXHANDLE technique, LPCSTR name) override {
        Technique* t = FindTechnique(technique);
        if (!t || !name) return nullptr;
        for (auto& p : t->passes)
            if (p->decl.name == name) return p->handleTag;
        return nullptr;
    }

    // ---- values ----
    HRESULT SetValue(D3DXHANDLE handle, const void* data, UINT bytes) override {
        Param* p = FindParam(handle);
        if (!p || !data) return D3DERR_INVALIDCALL;
        if (p->decl.IsTexture()) {
            if (bytes < sizeof(IDirect3DBaseTexture9*)) return D3DERR_INVALIDCALL;
            IDirect3DBaseTexture9* texture;
            std::memcpy(&texture, data, sizeof texture);
            return SetTexture(handle, texture);
        }
        if (!p->decl.IsNumeric()) return D3DERR_INVALIDCALL;
        std::vector<float>& n = p->value->numbers;
        const size_t count = std::min<size_t>(n.size(), bytes / 4);
        for (size_t i = 0; i < count; ++i) {
            if (p->decl.type == EffectType::Float) {
                std::memcpy(&n[i], static_cast<const uint8_t*>(data) + i * 4, 4);
            } else {
                int32_t v;
                std::memcpy(&v, static_cast<const uint8_t*>(data) + i * 4, 4);
                n[i] = p->decl.type == EffectType::Bool ? (v != 0 ? 1.0f : 0.0f) : static_cast<float>(v);
            }
        }
        return D3D_OK;
    }

    HRESULT GetValue(D3DXHANDLE handle, void* data, UINT bytes) override {
        Param* p = FindParam(handle);
        if (!p || !data) return D3DERR_INVALIDCALL;
        if (p->decl.IsTexture()) {
            if (bytes < sizeof(IDirect3DBaseTexture9*)) return D3DERR_INVALIDCALL;
            IDirect3DBaseTexture9* texture = p->value->texture;
            if (texture) texture->AddRef();
            std::memcpy(data, &texture, sizeof texture);
            return D3D_OK;
        }
        if (!p->decl.IsNumeric()) return D3DERR_INVALIDCALL;
        const std::vector<float>& n = p->value->numbers;
        const size_t count = std::min<size_t>(n.size(), bytes / 4);
        for (size_t i = 0; i < count; ++i) {
            if (p->decl.type == EffectType::Float) {
                std::memcpy(static_cast<uint8_t*>(data) + i * 4, &n[i], 4);
            } else {
                const int32_t v = ToInt32(n[i]);
                std::memcpy(static_cast<uint8_t*>(data) + i * 4, &v, 4);
            }
        }
        return D3D_OK;
    }

    HRESULT SetBool(D3DXHANDLE h, BOOL value) override { return SetScalar(h, value ? 1.0f : 0.0f); }
    HRESULT GetBool(D3DXHANDLE h, BOOL* value) override {
        float f;
        const HRESULT hr = GetScalar(h, f);
        if (SUCCEEDED(hr) && value) *value = f != 0.0f;
        return value ? hr : D3DERR_INVALIDCALL;
    }
    HRESULT SetInt(D3DXHANDLE h, INT value) override { return SetScalar(h, static_cast<float>(value)); }
    HRESULT GetInt(D3DXHANDLE h, INT* value) override {
        float f;
        const HRESULT hr = GetScalar(h, f);
        if (SUCCEEDED(hr) && value) *value = ToInt32(f);
        return value ? hr : D3DERR_INVALIDCALL;
    }
    HRESULT SetFloat(D3DXHANDLE h, float value) override { return SetScalar(h, value); }
    HRESULT GetFloat(D3DXHANDLE h, float* value) override {
        float f;
        const HRESULT hr = GetScalar(h, f);
        if (SUCCEEDED(hr) && value) *value = f;
        return value ? hr : D3DERR_INVALIDCALL;
    }

    HRESULT SetFloatArray(D3DXHANDLE h, const float* values, UINT count) override {
        Param* p = FindParam(h);
        if (!p || !p->decl.IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
        std::vector<float>& n = p->value->numbers;
        for (size_t i = 0; i < std::min<size_t>(n.size(), count); ++i) n[i] = Convert(p->decl.type, values[i]);
        return D3D_OK;
    }

    HRESULT GetFloatArray(D3DXHANDLE h, float* values, UINT count) override {
        Param* p = FindParam(h);
        if (!p || !p->decl.IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
        const std::vector<float>& n = p->value->numbers;
        for (size_t i = 0; i < std::min<size_t>(n.size(), count); ++i) values[i] = n[i];
        return D3D_OK;
    }

    HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) override {
        Param* p = FindParam(h);
        if (!p || !v || !p->decl.IsNumeric() || p->decl.rows != 1) return D3DERR_INVALIDCALL;
        const float in[4] = {v->x, v->y, v->z, v->w};
        std::vector<float>& n = p->value->numbers;
        for (size_t i = 0; i < std::min<size_t>(n.size(), 4); ++i) n[i] = Convert(p->decl.type, in[i]);
        return D3D_OK;
    }

    HRESULT GetVector(D3DXHANDLE h, D3DXVECTOR4* v) override {
        Param* p = FindParam(h);
        if (!p || !v || !p->decl.IsNumeric() || p->decl.rows != 1) return D3DERR_INVALIDCALL;
        float out[4] = {0, 0, 0, 0};
        const std::vector<float>& n = p->value->numbers;
        for (size_t i = 0; i < std::min<size_t>(n.size(), 4); ++i) out[i] = n[i];
        *v = D3DXVECTOR4(out[0], out[1], out[2], out[3]);
        return D3D_OK;
    }

    HRESULT SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) override {
        Param* p = FindParam(h);
        if (!p || !m || !p->decl.IsNumeric() || p->decl.rows < 2) return D3DERR_INVALIDCALL;
        const uint32_t rows = p->decl.rows, cols = p->decl.columns;
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c) p->value->numbers[r * cols + c] = Convert(p->decl.type, m->m[r][c]);
        return D3D_OK;
    }

    HRESULT GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) override {
        Param* p = FindParam(h);
        if (!p || !m || !p->decl.IsNumeric() || p->decl.rows < 2) return D3DERR_INVALIDCALL;
        *m = D3DXMATRIX();
        const uint32_t rows = p->decl.rows, cols = p->decl.columns;
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c) m->m[r][c] = p->value->numbers[r * cols + c];
        return D3D_OK;
    }

    HRESULT SetString(D3DXHANDLE h, LPCSTR value) override {
        Param* p = FindParam(h);
        if (!p || !value || p->decl.type != EffectType::String) return D3DERR_INVALIDCALL;
        p->value->text = value;
        return D3D_OK;
    }

    HRESULT GetString(D3DXHANDLE h, LPCSTR* value) override {
        Param* p = FindParam(h);
        if (!p || !value || p->decl.type != EffectType::String) return D3DERR_INVALIDCALL;
        *value = p->value->text.c_str();
        return D3D_OK;
    }

    HRESULT SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture) override {
        Param* p = FindParam(h);
        if (!p || !p->decl.IsTexture()) return D3DERR_INVALIDCALL;
        if (texture) texture->AddRef();
        if (p->value->texture) p->value->texture->Release();
        p->value->texture = texture;
        return D3D_OK;
    }

    HRESULT GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) override {
        Param* p = FindParam(h);
        if (!p || !texture || !p->decl.IsTexture()) return D3DERR_INVALIDCALL;
        *texture = p->value->texture;
        if (*texture) (*texture)->AddRef();
        return D3D_OK;
    }

    // ---- techniques ----
    HRESULT SetTechnique(D3DXHANDLE handle) override {
        Technique* t = FindTechnique(handle);
        if (!t || m_begun) return D3DERR_INVALIDCALL;
        m_current = t;
        return D3D_OK;
    }

    D3DXHANDLE GetCurrentTechnique() override { return m_current ? m_current->handleTag : nullptr; }

    HRESULT ValidateTechnique(D3DXHANDLE handle) override {
        Technique* t = FindTechnique(handle);
        if (!t) return D3DERR_INVALIDCALL;
        return t->valid ? D3D_OK : E_FAIL;
    }

    HRESULT FindNextValidTechnique(D3DXHANDLE handle, D3DXHANDLE* next) override {
        if (!next) return D3DERR_INVALIDCALL;
        *next = nullptr;
        size_t start = 0;
        if (handle) {
            Technique* t = FindTechnique(handle);
            if (!t) return D3DERR_INVALIDCALL;
            while (m_techniques[start].get() != t) ++start;
            ++start;
        }
        for (size_t i = start; i < m_techniques.size(); ++i) {
            if (m_techniques[i]->valid) {
                *next = m_techniques[i]->handleTag;
                return D3D_OK;
            }
        }
        return S_FALSE;
    }

    // ---- drawing ----
    HRESULT Begin(UINT* passes, DWORD flags) override {
        if (m_begun || !m_current || !m_current->valid || m_lost) return D3DERR_INVALIDCALL;
        m_begun = true;
        m_activePass = nullptr;
        m_saved.clear();
        m_savedTextures.clear();
        m_usedProgram = false;
        if (!(flags & D3DXFX_DONOTSAVESTATE)) SaveState(flags);
        if (passes) *passes = static_cast<UINT>(m_current->passes.size());
        return D3D_OK;
    }

    HRESULT BeginPass(UINT index) override {
        if (!m_begun || m_activePass || index >= m_current->passes.size()) return D3DERR_INVALIDCALL;
        m_activePass = m_current->passes[index].get();
        ApplyPass(*m_activePass);
        return D3D_OK;
    }

    HRESULT CommitChanges() override {
        if (!m_activePass) return D3DERR_INVALIDCALL;
        ApplyPass(*m_activePass);
        return D3D_OK;
    }

    HRESULT EndPass() override {
        if (!m_activePass) return D3DERR_INVALIDCALL;
        m_activePass = nullptr;
        return D3D_OK;
    }

    HRESULT End() override {
        if (!m_begun) return D3DERR_INVALIDCALL;
        m_activePass = nullptr;
        m_begun = false;
        RestoreState();
        return D3D_OK;
    }

    HRESULT GetDevice(IDirect3DDevice9** device) override {
        if (!device) return D3DERR_INVALIDCALL;
        *device = m_device;
        m_device->AddRef();
        return D3D_OK;
    }

    HRESULT GetPool(ID3DXEffectPool** pool) override {
        if (!pool) return D3DERR_INVALIDCALL;
        *pool = m_pool;
        if (m_pool) m_pool->AddRef();
        return D3D_OK;
    }

    // Programs live in the managed pool and survive a reset; only a running Begin is closed.
    HRESULT OnLostDevice() override {
        if (m_begun) End();
        m_lost = true;
        return D3D_OK;
    }

    HRESULT OnResetDevice() override {
        m_lost = false;
        return D3D_OK;
    }

private:
    static float Convert(EffectType type, float v) {
        if (type == EffectType::Int) return static_cast<float>(ToInt32(v));
        if (type == EffectType::Bool) return v != 0.0f ? 1.0f : 0.0f;
        return v;
    }

    static std::shared_ptr<ParamValue> InitialValue(const ParsedParameter& p) {
        auto v = std::make_shared<ParamValue>();
        v->numbers = p.value;
        if (p.IsNumeric() && v->numbers.empty())
            v->numbers.assign(static_cast<size_t>(p.rows) * p.columns * std::max(1u, p.elements), 0.0f);
        v->text = p.stringValue;
        return v;
    }

    std::vector<Annotation> MakeAnnotations(const std::vector<ParsedAnnotation>& parsed) {
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

    void Register(const char* handle) { m_handles.insert(handle); }
    bool Ours(D3DXHANDLE h) const { return m_handles.count(h) != 0; }

    Param* FindParam(D3DXHANDLE h) {
        if (!h) return nullptr;
        if (Ours(h)) {
            auto found = m_paramHandles.find(h);
            return found == m_paramHandles.end() ? nullptr : found->second;
        }
        for (auto& p : m_params)
            if (p->decl.name == h) return p.get();
        return nullptr;
    }

    Technique* FindTechnique(D3DXHANDLE h) {
        if (!h) return nullptr;
        for (auto& t : m_techniques)
            if (t->handleTag == h) return t.get();
        if (Ours(h)) return nullptr;
        for (auto& t : m_techniques)
            if (t->decl.name == h) return t.get();
        return nullptr;
    }

    Pass* FindPass(D3DXHANDLE h) {
        for (auto& t : m_techniques)
            for (auto& p : t->passes)
                if (p->handleTag == h) return p.get();
        return nullptr;
    }

    std::vector<Annotation>* AnnotationsOf(D3DXHANDLE h) {
        if (Param* p = FindParam(h)) return &p->annotations;
        if (Technique* t = FindTechnique(h)) return &t->annotations;
        if (Pass* p = FindPass(h)) return &p->annotations;
        return nullptr;
    }

    Param* ParamNamed(const std::string& name) {
        for (auto& p : m_params)
            if (p->decl.name == name) return p.get();
        return nullptr;
    }

    // "vs_2_0" -> 0x0200 for the stage asked; false for other profiles.
    static bool ProfileVersion(const std::string& profile, const char* prefix, DWORD& version) {
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

    bool EntryHasUnnamedParameter(const std::string& entry) const {
        for (const HlslChunk& c : m_parsedForShaders.chunks)
            if (c.name == entry && c.unnamedParameter) return true;
        return false;
    }

    void Validate(Technique& t) {
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
            DWORD version = 0;
            if (vs && !ProfileVersion(vs->profile, "vs_", version)) {
                t.invalidReason = "unknown vertex shader profile '" + vs->profile + "'";
                return;
            }
            if (vs && version > (caps.VertexShaderVersion & 0xFFFF)) {
                t.invalidReason = "the device does not run " + vs->profile;
                return;
            }
            if (!ProfileVersion(ps->profile, "ps_", version)) {
                t.invalidReason = "unknown pixel shader profile '" + ps->profile + "'";
                return;
            }
            if (version > (caps.PixelShaderVersion & 0xFFFF)) {
                t.invalidReason = "the device does not run " + ps->profile;
                return;
            }
            // glslang crashes on an entry point with a parameter that has no name (HLSL allows
            // one), so such a technique is left out with a message before it is compiled.
            for (const StateAssignment* shader : {vs, ps}) {
                if (shader && EntryHasUnnamedParameter(shader->entry)) {
                    t.invalidReason = std::string(shader == vs ? "vertex" : "pixel") + " shader " + shader->entry +
                                      ": every parameter of an entry point needs a name here";
                    return;
                }
            }
            std::string error;
            pass->usesShaders = true;
            if (vs && !CompileHlslToGlsl(BuildShaderSource(m_parsedForShaders, vs->entry), vs->entry,
                                         ShaderStage::Vertex, pass->vertex.shader, error)) {
                t.invalidReason = "vertex shader " + vs->entry + ": " + error;
                return;
            }
            if (!CompileHlslToGlsl(BuildShaderSource(m_parsedForShaders, ps->entry), ps->entry, ShaderStage::Pixel,
                                   pass->pixel.shader, error)) {
                t.invalidReason = "pixel shader " + ps->entry + ": " + error;
                return;
            }
            if (!vs) {
                pass->vertex.shader = CompiledShader{};
                pass->vertex.shader.glsl = PassThroughVertexShader(pass->pixel.shader.inputs);
            }
            if (vs) {
                if (!MatchVaryings(pass->vertex.shader, pass->pixel.shader)) {
                    t.invalidReason = "the shaders of a pass do not fit together";
                    return;
                }
                RouteDeviceConstants(pass->vertex.shader);
                AddHalfPixelOffset(pass->vertex.shader);
            }
            RouteDeviceConstants(pass->pixel.shader);
            if (!CreateProgram(*pass)) {
                t.invalidReason = "the device cannot build the program: " + m_lastProgramError;
                return;
            }
        }
        t.valid = true;
    }

    // Shader reads of device-state parameters go to the device's own uniforms.
    void RouteDeviceConstants(CompiledShader& shader) {
        std::string declarations;
        std::set<std::string> declared; // by whole name: kx_World is a prefix of kx_WorldView
        for (const ShaderConstant& c : shader.constants) {
            Param* p = ParamNamed(c.name);
            if (!p || !p->deviceUniform) continue;
            RedirectRegisters(shader.glsl, shader.constantArray, c.offset / 16, 4, p->deviceUniform,
                              c.registersAreColumns);
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
    static void AddHalfPixelOffset(CompiledShader& shader) {
        const size_t close = shader.glsl.rfind('}');
        if (close == std::string::npos) return;
        shader.glsl.insert(close, "    gl_Position.xy += kx_HalfPixel * gl_Position.w;\n");
        const size_t eol = shader.glsl.find('\n');
        shader.glsl.insert(eol == std::string::npos ? shader.glsl.size() : eol + 1, "uniform vec2 kx_HalfPixel;\n");
    }

    bool CreateProgram(Pass& pass) {
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

    void ReleasePrograms() {
        for (auto& t : m_techniques)
            for (auto& p : t->passes)
                if (p->program) {
                    p->program->Release();
                    p->program = nullptr;
                }
    }

    HRESULT SetScalar(D3DXHANDLE h, float v) {
        Param* p = FindParam(h);
        if (!p || !p->decl.IsNumeric() || p->value->numbers.empty()) return D3DERR_INVALIDCALL;
        p->value->numbers[0] = Convert(p->decl.type, v);
        return D3D_OK;
    }

    HRESULT GetScalar(D3DXHANDLE h, float& v) {
        Param* p = FindParam(h);
        if (!p || !p->decl.IsNumeric() || p->value->numbers.empty()) return D3DERR_INVALIDCALL;
        v = p->value->numbers[0];
        return D3D_OK;
    }

    // The value a state takes: its constant, or the scalar parameter it names.
    DWORD StateValue(const StateAssignment& a) {
        if (a.parameter.empty()) return a.value;
        Param* p = ParamNamed(a.parameter);
        if (!p || p->value->numbers.empty()) return 0;
        const float v = p->value->numbers[0];
        if (a.state->value == ValueKind::Float) return FloatBits(v);
        return ToStateDword(v);
    }

    IDirect3DBaseTexture9* TextureOf(const std::string& name) {
        Param* p = ParamNamed(name);
        return p && p->decl.IsTexture() ? p->value->texture : nullptr;
    }

    // A sampler parameter's block applied to one sampler unit.
    void ApplySampler(const Param& sampler, DWORD unit) {
        for (const StateAssignment& s : sampler.decl.samplerStates) {
            if (s.state->kind == StateKind::Texture)
                m_device->SetTexture(unit, s.null ? nullptr : TextureOf(s.parameter));
            else
                m_device->SetSamplerState(unit, static_cast<D3DSAMPLERSTATETYPE>(s.state->id), StateValue(s));
        }
    }

    void ApplyPass(Pass& pass) {
        for (const StateAssignment& a : pass.decl.states) {
            switch (a.state->kind) {
            case StateKind::Render:
                m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(a.state->id), StateValue(a));
                break;
            case StateKind::TextureStage:
                m_device->SetTextureStageState(a.index, static_cast<D3DTEXTURESTAGESTATETYPE>(a.state->id),
                                               StateValue(a));
                break;
            case StateKind::Sampler:
                m_device->SetSamplerState(a.index, static_cast<D3DSAMPLERSTATETYPE>(a.state->id), StateValue(a));
                break;
            case StateKind::Texture: m_device->SetTexture(a.index, a.null ? nullptr : TextureOf(a.parameter)); break;
            case StateKind::SamplerBind:
                if (!a.null)
                    if (Param* s = ParamNamed(a.parameter)) ApplySampler(*s, a.index);
                break;
            default: break;
            }
        }
        if (!pass.usesShaders) {
            if (m_usedProgram) m_device->SetProgram(nullptr);
            return;
        }
        m_usedProgram = true;
        m_device->SetProgram(pass.program);
        for (const CompiledShader* shader : {&pass.vertex.shader, &pass.pixel.shader}) {
            UploadConstants(*shader);
            for (const ShaderSampler& s : shader->samplers)
                if (Param* p = ParamNamed(s.name); p && p->decl.IsSampler()) ApplySampler(*p, s.binding);
        }
    }

    // Writes the parameters a shader reads into its register array and hands it to the device.
    void UploadConstants(const CompiledShader& shader) {
        if (shader.constantArray.empty() || shader.constantVec4s == 0) return;
        // Runs for every pass of every frame: the register array reuses one buffer.
        std::vector<float>& registers = m_registers;
        registers.assign(static_cast<size_t>(shader.constantVec4s) * 4, 0.0f);
        for (const ShaderConstant& c : shader.constants) {
            Param* p = ParamNamed(c.name);
            if (!p || !p->decl.IsNumeric() || p->deviceUniform) continue;
            const ParsedParameter& d = p->decl;
            const std::vector<float>& n = p->value->numbers;
            const uint32_t elements = std::max(1u, d.elements);
            const uint32_t base = c.offset / 4; // in floats
            const uint32_t perElement = d.rows > 1 ? (c.registersAreColumns ? d.columns : d.rows) * 4 : 4;
            for (uint32_t e = 0; e < elements; ++e) {
                const size_t src = static_cast<size_t>(e) * d.rows * d.columns;
                const size_t dst = base + static_cast<size_t>(e) * perElement;
                for (uint32_t r = 0; r < d.rows; ++r) {
                    for (uint32_t col = 0; col < d.columns; ++col) {
                        size_t at;
                        if (d.rows == 1)
                            at = dst + col;
                        else if (c.registersAreColumns)
                            at = dst + col * 4 + r;
                        else
                            at = dst + r * 4 + col;
                        if (at < registers.size() && src + r * d.columns + col < n.size())
                            registers[at] = n[src + r * d.columns + col];
                    }
                }
            }
        }
        m_device->SetProgramFloats(shader.constantArray.c_str(), registers.data(), static_cast<UINT>(registers.size()));
    }

    // ---- state save and restore ----
    enum class SavedKind { Render, Stage, Sampler };
    struct SavedState {
        SavedKind kind;
        DWORD index;
        DWORD id;
        DWORD value;
    };

    void SaveState(DWORD flags) {
        std::set<std::tuple<int, DWORD, DWORD>> seen;
        std::set<DWORD> textures;
        auto save = [&](SavedKind kind, DWORD index, DWORD id) {
            if (!seen.insert({static_cast<int>(kind), index, id}).second) return;
            SavedState s{kind, index, id, 0};
            HRESULT hr = E_FAIL;
            if (kind == SavedKind::Render)
                hr = m_device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(id), &s.value);
            else if (kind == SavedKind::Stage)
                hr = m_device->GetTextureStageState(index, static_cast<D3DTEXTURESTAGESTATETYPE>(id), &s.value);
            else
                hr = m_device->GetSamplerState(index, static_cast<D3DSAMPLERSTATETYPE>(id), &s.value);
            if (SUCCEEDED(hr)) m_saved.push_back(s);
        };
        const bool samplers = !(flags & D3DXFX_DONOTSAVESAMPLERSTATE);
        auto saveSampler = [&](const Param& sampler, DWORD unit) {
            for (const StateAssignment& s : sampler.decl.samplerStates) {
                if (s.state->kind == StateKind::Texture)
                    textures.insert(unit);
                else if (samplers)
                    save(SavedKind::Sampler, unit, s.state->id);
            }
        };
        for (auto& pass : m_current->passes) {
            for (const StateAssignment& a : pass->decl.states) {
                switch (a.state->kind) {
                case StateKind::Render: save(SavedKind::Render, 0, a.state->id); break;
                case StateKind::TextureStage: save(SavedKind::Stage, a.index, a.state->id); break;
                case StateKind::Sampler:
                    if (samplers) save(SavedKind::Sampler, a.index, a.state->id);
                    break;
                case StateKind::Texture: textures.insert(a.index); break;
                case StateKind::SamplerBind:
                    if (Param* s = ParamNamed(a.parameter)) saveSampler(*s, a.index);
                    break;
                default: break;
                }
            }
            if (pass->usesShaders) {
                for (const CompiledShader* shader : {&pass->vertex.shader, &pass->pixel.shader})
                    for (const ShaderSampler& s : shader->samplers)
                        if (Param* p = ParamNamed(s.name); p && p->decl.IsSampler()) saveSampler(*p, s.binding);
            }
        }
        for (DWORD unit : textures) {
            IDirect3DBaseTexture9* texture = nullptr;
            if (SUCCEEDED(m_device->GetTexture(unit, &texture)))
                m_savedTextures.emplace_back(unit, texture); // keeps the reference GetTexture gave
        }
        m_restoreProgram = !(flags & D3DXFX_DONOTSAVESHADERSTATE);
    }

    void RestoreState() {
        for (const SavedState& s : m_saved) {
            if (s.kind == SavedKind::Render)
                m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.id), s.value);
            else if (s.kind == SavedKind::Stage)
                m_device->SetTextureStageState(s.index, static_cast<D3DTEXTURESTAGESTATETYPE>(s.id), s.value);
            else
                m_device->SetSamplerState(s.index, static_cast<D3DSAMPLERSTATETYPE>(s.id), s.value);
        }
        for (auto& [unit, texture] : m_savedTextures) {
            m_device->SetTexture(unit, texture);
            if (texture) texture->Release();
        }
        // The engine draws with the fixed-function pipeline between effects.
        if (m_usedProgram && m_restoreProgram) m_device->SetProgram(nullptr);
        m_saved.clear();
        m_savedTextures.clear();
        m_usedProgram = false;
    }

    IDirect3DDevice9* m_device;
    EffectPool* m_pool;
    std::string m_creator;
    ParsedEffect m_parsedForShaders;
    std::vector<std::unique_ptr<Param>> m_params;
    std::vector<std::unique_ptr<Technique>> m_techniques;
    std::set<const char*> m_handles;
    std::map<const char*, Param*> m_paramHandles; // parameters and annotations
    Technique* m_current = nullptr;
    Pass* m_activePass = nullptr;
    bool m_begun = false;
    bool m_lost = false;
    bool m_usedProgram = false;
    bool m_restoreProgram = true;
    std::vector<SavedState> m_saved;
    std::vector<float> m_registers; // UploadConstants' register array, kept for its capacity
    std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> m_savedTextures;
    std::string m_lastProgramError;
};

void SetErrors(ID3DXBuffer** errors, const std::string& text) {
    if (!errors) return;
    *errors = nullptr;
    if (text.empty()) return;
    ID3DXBuffer* buffer = nullptr;
    if (SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(text.size() + 1), &buffer)))
        std::memcpy(buffer->GetBufferPointer(), text.c_str(), text.size() + 1);
    *errors = buffer;
}

} // namespace

} // namespace Platform

using namespace Platform;

HRESULT D3DXCreateBuffer(DWORD bytes, ID3DXBuffer** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = new Buffer(bytes);
    return D3D_OK;
}

HRESULT D3DXCreateEffectPool(ID3DXEffectPool** pool) {
    if (!pool) return D3DERR_INVALIDCALL;
    *pool = new EffectPool();
    return D3D_OK;
}

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT size, const D3DXMACRO* /*defines*/,
                         ID3DXInclude* /*include*/, DWORD /*flags*/, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** errors) {
    if (errors) *errors = nullptr;
    if (!device || !data || !effect) return D3DERR_INVALIDCALL;
    *effect = nullptr;
    ParsedEffect parsed;
    std::string message;
    if (!ParseEffect(static_cast<const char*>(data), size, parsed, message)) {
        SetErrors(errors, message + "\n");
        return E_FAIL;
    }
    auto* created = new Effect(device, static_cast<EffectPool*>(pool));
    std::string log;
    if (!created->Build(std::move(parsed), log)) {
        created->Release();
        SetErrors(errors, log);
        return E_FAIL;
    }
    SetErrors(errors, log); // the techniques left out, if any
    *effect = created;
    return D3D_OK;
}
