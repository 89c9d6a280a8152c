#pragma once
// The effect runtime's own types (internal to the effects library). One Effect is defined
// across four files: D3DXEffect.cpp (creation, lifetime, device and pool),
// D3DXEffectBuild.cpp (the runtime built from the parsed file: parameters, techniques checked
// against the device, shaders compiled into programs), D3DXEffectParameters.cpp (descriptions,
// handles and values) and D3DXEffectPasses.cpp (techniques chosen, passes applied to the
// device, state saved at Begin and put back at End).

#include "Platform/Effects/D3DXEffect.h"
#include "Platform/Effects/EffectParser.h"
#include "Platform/Effects/HlslCompiler.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Platform::EffectDetail {

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

// The value of a parameter; shared parameters of pooled effects point at one of these.
struct ParamValue {
    std::vector<float> numbers;
    std::string text;
    IDirect3DBaseTexture9* texture = nullptr; // referenced
    ~ParamValue() {
        if (texture) texture->Release();
    }
};

class EffectPool final : public RefCounted<ID3DXEffectPool> {
public:
    struct Entry {
        std::string signature;
        std::shared_ptr<ParamValue> value;
    };
    std::map<std::string, Entry> shared;
};

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

// Whole numbers of float values, which an effect file (float a = 1e30;) or the game's SetFloat
// can put anywhere: values beyond the integer's range stop at its ends and NaN reads as 0, where
// a plain cast would be undefined.
int32_t ToInt32(float v);

class Effect final : public RefCounted<ID3DXEffect> {
public:
    Effect(IDirect3DDevice9* device, EffectPool* pool);
    ~Effect() override;

    // Builds the runtime from the parsed file; messages go to log. False: creation fails.
    bool Build(ParsedEffect parsed, std::string& log);

    // ---- descriptions ----
    HRESULT GetDesc(D3DXEFFECT_DESC* desc) override;
    HRESULT GetParameterDesc(D3DXHANDLE handle, D3DXPARAMETER_DESC* desc) override;
    HRESULT GetTechniqueDesc(D3DXHANDLE handle, D3DXTECHNIQUE_DESC* desc) override;
    HRESULT GetPassDesc(D3DXHANDLE handle, D3DXPASS_DESC* desc) override;

    // ---- handles ----
    D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) override;
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, LPCSTR name) override;
    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) override;
    D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) override;
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, LPCSTR name) override;
    D3DXHANDLE GetTechnique(UINT index) override;
    D3DXHANDLE GetTechniqueByName(LPCSTR name) override;
    D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) override;
    D3DXHANDLE GetPassByName(D3DXHANDLE technique, LPCSTR name) override;

    // ---- values ----
    HRESULT SetValue(D3DXHANDLE handle, const void* data, UINT bytes) override;
    HRESULT GetValue(D3DXHANDLE handle, void* data, UINT bytes) override;
    HRESULT SetBool(D3DXHANDLE h, BOOL value) override;
    HRESULT GetBool(D3DXHANDLE h, BOOL* value) override;
    HRESULT SetInt(D3DXHANDLE h, INT value) override;
    HRESULT GetInt(D3DXHANDLE h, INT* value) override;
    HRESULT SetFloat(D3DXHANDLE h, float value) override;
    HRESULT GetFloat(D3DXHANDLE h, float* value) override;
    HRESULT SetFloatArray(D3DXHANDLE h, const float* values, UINT count) override;
    HRESULT GetFloatArray(D3DXHANDLE h, float* values, UINT count) override;
    HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) override;
    HRESULT GetVector(D3DXHANDLE h, D3DXVECTOR4* v) override;
    HRESULT SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) override;
    HRESULT GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) override;
    HRESULT SetString(D3DXHANDLE h, LPCSTR value) override;
    HRESULT GetString(D3DXHANDLE h, LPCSTR* value) override;
    HRESULT SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) override;

    // ---- techniques ----
    HRESULT SetTechnique(D3DXHANDLE handle) override;
    D3DXHANDLE GetCurrentTechnique() override;
    HRESULT ValidateTechnique(D3DXHANDLE handle) override;
    HRESULT FindNextValidTechnique(D3DXHANDLE handle, D3DXHANDLE* next) override;

    // ---- drawing ----
    HRESULT Begin(UINT* passes, DWORD flags) override;
    HRESULT BeginPass(UINT index) override;
    HRESULT CommitChanges() override;
    HRESULT EndPass() override;
    HRESULT End() override;

    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetPool(ID3DXEffectPool** pool) override;
    HRESULT OnLostDevice() override;
    HRESULT OnResetDevice() override;

private:
    // ---- building (D3DXEffectBuild.cpp) ----
    static std::shared_ptr<ParamValue> InitialValue(const ParsedParameter& p);
    std::vector<Annotation> MakeAnnotations(const std::vector<ParsedAnnotation>& parsed);
    bool EntryHasUnnamedParameter(const std::string& entry) const;
    // Marks the technique valid, or gives the reason it cannot run here.
    void Validate(Technique& t);
    // Why a pass's shaders cannot run on this device, found before compiling ("" when they may).
    std::string ShaderRefusal(const D3DCAPS9& caps, const StateAssignment* vs, const StateAssignment& ps) const;
    // Compiles a pass's shaders, fits them together and makes the device's program; false with
    // the reason when any step fails.
    bool BuildShaders(Pass& pass, const StateAssignment* vs, const StateAssignment& ps, std::string& reason);
    void RouteDeviceConstants(CompiledShader& shader);
    static void AddHalfPixelOffset(CompiledShader& shader);
    bool CreateProgram(Pass& pass);
    void ReleasePrograms();

    // ---- handles and values (D3DXEffectParameters.cpp) ----
    static float Convert(EffectType type, float v);
    void Register(const char* handle) { m_handles.insert(handle); }
    bool Ours(D3DXHANDLE h) const { return m_handles.count(h) != 0; }
    Param* FindParam(D3DXHANDLE h);
    Technique* FindTechnique(D3DXHANDLE h);
    Pass* FindPass(D3DXHANDLE h);
    std::vector<Annotation>* AnnotationsOf(D3DXHANDLE h);
    Param* ParamNamed(const std::string& name);
    HRESULT SetScalar(D3DXHANDLE h, float v);
    HRESULT GetScalar(D3DXHANDLE h, float& v);

    // ---- passes (D3DXEffectPasses.cpp) ----
    DWORD StateValue(const StateAssignment& a);
    IDirect3DBaseTexture9* TextureOf(const std::string& name);
    void ApplySampler(const Param& sampler, DWORD unit);
    void ApplyPass(Pass& pass);
    void UploadConstants(const CompiledShader& shader);

    // ---- state save and restore (D3DXEffectPasses.cpp) ----
    enum class SavedKind { Render, Stage, Sampler };
    struct SavedState {
        SavedKind kind;
        DWORD index;
        DWORD id;
        DWORD value;
    };
    void SaveState(DWORD flags);
    void RestoreState();

    IDirect3DDevice9* m_device;
    EffectPool* m_pool;
    std::string m_creator;
    ParsedEffect m_parsedForShaders;
    std::vector<std::unique_ptr<Param>> m_params;
    // The same by name: shaders and passes look parameters up by name at every build and draw.
    std::unordered_map<std::string, Param*> m_paramsByName;
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

} // namespace Platform::EffectDetail
