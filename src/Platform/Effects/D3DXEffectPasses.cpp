// Drawing with an effect: the technique chosen, each pass's states, textures, samplers, program
// and shader constants applied to the device, and the states the technique changes saved at
// Begin and put back at End.

#include "Platform/Effects/D3DXEffectInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace Platform::EffectDetail {

namespace {

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A DWORD state: negative numbers as their two's complement.
DWORD ToStateDword(float v) {
    if (std::isnan(v)) return 0;
    if (v < 0) return static_cast<DWORD>(ToInt32(v));
    return v >= 4294967296.0f ? 0xFFFFFFFFu : static_cast<DWORD>(v);
}

} // namespace

// ---- techniques ----
HRESULT Effect::SetTechnique(D3DXHANDLE handle) {
    Technique* t = FindTechnique(handle);
    if (!t || m_begun) return D3DERR_INVALIDCALL;
    m_current = t;
    return D3D_OK;
}

D3DXHANDLE Effect::GetCurrentTechnique() { return m_current ? m_current->handleTag : nullptr; }

HRESULT Effect::ValidateTechnique(D3DXHANDLE handle) {
    Technique* t = FindTechnique(handle);
    if (!t) return D3DERR_INVALIDCALL;
    return t->valid ? D3D_OK : E_FAIL;
}

HRESULT Effect::FindNextValidTechnique(D3DXHANDLE handle, D3DXHANDLE* next) {
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
HRESULT Effect::Begin(UINT* passes, DWORD flags) {
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

HRESULT Effect::BeginPass(UINT index) {
    if (!m_begun || m_activePass || index >= m_current->passes.size()) return D3DERR_INVALIDCALL;
    m_activePass = m_current->passes[index].get();
    ApplyPass(*m_activePass);
    return D3D_OK;
}

HRESULT Effect::CommitChanges() {
    if (!m_activePass) return D3DERR_INVALIDCALL;
    ApplyPass(*m_activePass);
    return D3D_OK;
}

HRESULT Effect::EndPass() {
    if (!m_activePass) return D3DERR_INVALIDCALL;
    m_activePass = nullptr;
    return D3D_OK;
}

HRESULT Effect::End() {
    if (!m_begun) return D3DERR_INVALIDCALL;
    m_activePass = nullptr;
    m_begun = false;
    RestoreState();
    return D3D_OK;
}

// The value a state takes: its constant, or the scalar parameter it names.
DWORD Effect::StateValue(const StateAssignment& a) {
    if (a.parameter.empty()) return a.value;
    Param* p = ParamNamed(a.parameter);
    if (!p || p->value->numbers.empty()) return 0;
    const float v = p->value->numbers[0];
    if (a.state->value == ValueKind::Float) return FloatBits(v);
    return ToStateDword(v);
}

IDirect3DBaseTexture9* Effect::TextureOf(const std::string& name) {
    Param* p = ParamNamed(name);
    return p && p->decl.IsTexture() ? p->value->texture : nullptr;
}

// A sampler parameter's block applied to one sampler unit.
void Effect::ApplySampler(const Param& sampler, DWORD unit) {
    for (const StateAssignment& s : sampler.decl.samplerStates) {
        if (s.state->kind == StateKind::Texture)
            m_device->SetTexture(unit, s.null ? nullptr : TextureOf(s.parameter));
        else
            m_device->SetSamplerState(unit, static_cast<D3DSAMPLERSTATETYPE>(s.state->id), StateValue(s));
    }
}

void Effect::ApplyPass(Pass& pass) {
    for (const StateAssignment& a : pass.decl.states) {
        switch (a.state->kind) {
        case StateKind::Render:
            m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(a.state->id), StateValue(a));
            break;
        case StateKind::TextureStage:
            m_device->SetTextureStageState(a.index, static_cast<D3DTEXTURESTAGESTATETYPE>(a.state->id), StateValue(a));
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
void Effect::UploadConstants(const CompiledShader& shader) {
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

void Effect::SaveState(DWORD flags) {
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

void Effect::RestoreState() {
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

} // namespace Platform::EffectDetail
