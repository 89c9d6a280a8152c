// An effect's descriptions, handles and parameter values. Handles are C strings: the address
// of an object's tag, or a parameter's or technique's name.

#include "Platform/Effects/D3DXEffectInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace Platform::EffectDetail {

int32_t ToInt32(float v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0f) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// ---- descriptions ----
HRESULT Effect::GetParameterDesc(D3DXHANDLE handle, D3DXPARAMETER_DESC* desc) {
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
    desc->Bytes = d.IsNumeric() ? static_cast<UINT>(p->value->numbers.size() * 4) : static_cast<UINT>(sizeof(void*));
    return D3D_OK;
}

HRESULT Effect::GetTechniqueDesc(D3DXHANDLE handle, D3DXTECHNIQUE_DESC* desc) {
    Technique* t = FindTechnique(handle);
    if (!t || !desc) return D3DERR_INVALIDCALL;
    desc->Name = t->decl.name.c_str();
    desc->Passes = static_cast<UINT>(t->passes.size());
    desc->Annotations = static_cast<UINT>(t->annotations.size());
    return D3D_OK;
}

HRESULT Effect::GetPassDesc(D3DXHANDLE handle, D3DXPASS_DESC* desc) {
    Pass* p = FindPass(handle);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    desc->Name = p->decl.name.c_str();
    desc->Annotations = static_cast<UINT>(p->annotations.size());
    return D3D_OK;
}

// ---- handles ----
D3DXHANDLE Effect::GetParameter(D3DXHANDLE parent, UINT index) {
    if (parent || index >= m_params.size()) return nullptr;
    return m_params[index]->handleTag;
}

D3DXHANDLE Effect::GetParameterByName(D3DXHANDLE parent, LPCSTR name) {
    if (parent || !name) return nullptr;
    Param* p = ParamNamed(name);
    return p ? p->handleTag : nullptr;
}

D3DXHANDLE Effect::GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) {
    if (parent || !semantic) return nullptr;
    for (auto& p : m_params)
        if (!p->decl.semantic.empty() && strcasecmp(p->decl.semantic.c_str(), semantic) == 0) return p->handleTag;
    return nullptr;
}

D3DXHANDLE Effect::GetAnnotation(D3DXHANDLE object, UINT index) {
    std::vector<Annotation>* list = AnnotationsOf(object);
    if (!list || index >= list->size()) return nullptr;
    return (*list)[index].param->handleTag;
}

D3DXHANDLE Effect::GetAnnotationByName(D3DXHANDLE object, LPCSTR name) {
    std::vector<Annotation>* list = AnnotationsOf(object);
    if (!list || !name) return nullptr;
    for (Annotation& a : *list)
        if (a.param->decl.name == name) return a.param->handleTag;
    return nullptr;
}

D3DXHANDLE Effect::GetTechnique(UINT index) {
    return index < m_techniques.size() ? m_techniques[index]->handleTag : nullptr;
}

D3DXHANDLE Effect::GetTechniqueByName(LPCSTR name) {
    if (!name) return nullptr;
    for (auto& t : m_techniques)
        if (t->decl.name == name) return t->handleTag;
    return nullptr;
}

D3DXHANDLE Effect::GetPass(D3DXHANDLE technique, UINT index) {
    Technique* t = FindTechnique(technique);
    if (!t || index >= t->passes.size()) return nullptr;
    return t->passes[index]->handleTag;
}

D3DXHANDLE Effect::GetPassByName(D3DXHANDLE technique, LPCSTR name) {
    Technique* t = FindTechnique(technique);
    if (!t || !name) return nullptr;
    for (auto& p : t->passes)
        if (p->decl.name == name) return p->handleTag;
    return nullptr;
}

// ---- values ----
HRESULT Effect::SetValue(D3DXHANDLE handle, const void* data, UINT bytes) {
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

HRESULT Effect::GetValue(D3DXHANDLE handle, void* data, UINT bytes) {
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

HRESULT Effect::SetBool(D3DXHANDLE h, BOOL value) { return SetScalar(h, value ? 1.0f : 0.0f); }

HRESULT Effect::GetBool(D3DXHANDLE h, BOOL* value) {
    float f;
    const HRESULT hr = GetScalar(h, f);
    if (SUCCEEDED(hr) && value) *value = f != 0.0f;
    return value ? hr : D3DERR_INVALIDCALL;
}

HRESULT Effect::SetInt(D3DXHANDLE h, INT value) { return SetScalar(h, static_cast<float>(value)); }

HRESULT Effect::GetInt(D3DXHANDLE h, INT* value) {
    float f;
    const HRESULT hr = GetScalar(h, f);
    if (SUCCEEDED(hr) && value) *value = ToInt32(f);
    return value ? hr : D3DERR_INVALIDCALL;
}

HRESULT Effect::SetFloat(D3DXHANDLE h, float value) { return SetScalar(h, value); }

HRESULT Effect::GetFloat(D3DXHANDLE h, float* value) {
    float f;
    const HRESULT hr = GetScalar(h, f);
    if (SUCCEEDED(hr) && value) *value = f;
    return value ? hr : D3DERR_INVALIDCALL;
}

HRESULT Effect::SetFloatArray(D3DXHANDLE h, const float* values, UINT count) {
    Param* p = FindParam(h);
    if (!p || !p->decl.IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
    std::vector<float>& n = p->value->numbers;
    for (size_t i = 0; i < std::min<size_t>(n.size(), count); ++i) n[i] = Convert(p->decl.type, values[i]);
    return D3D_OK;
}

HRESULT Effect::GetFloatArray(D3DXHANDLE h, float* values, UINT count) {
    Param* p = FindParam(h);
    if (!p || !p->decl.IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
    const std::vector<float>& n = p->value->numbers;
    for (size_t i = 0; i < std::min<size_t>(n.size(), count); ++i) values[i] = n[i];
    return D3D_OK;
}

HRESULT Effect::SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) {
    Param* p = FindParam(h);
    if (!p || !v || !p->decl.IsNumeric() || p->decl.rows != 1) return D3DERR_INVALIDCALL;
    const float in[4] = {v->x, v->y, v->z, v->w};
    std::vector<float>& n = p->value->numbers;
    for (size_t i = 0; i < std::min<size_t>(n.size(), 4); ++i) n[i] = Convert(p->decl.type, in[i]);
    return D3D_OK;
}

HRESULT Effect::GetVector(D3DXHANDLE h, D3DXVECTOR4* v) {
    Param* p = FindParam(h);
    if (!p || !v || !p->decl.IsNumeric() || p->decl.rows != 1) return D3DERR_INVALIDCALL;
    float out[4] = {0, 0, 0, 0};
    const std::vector<float>& n = p->value->numbers;
    for (size_t i = 0; i < std::min<size_t>(n.size(), 4); ++i) out[i] = n[i];
    *v = D3DXVECTOR4(out[0], out[1], out[2], out[3]);
    return D3D_OK;
}

HRESULT Effect::SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) {
    Param* p = FindParam(h);
    if (!p || !m || !p->decl.IsNumeric() || p->decl.rows < 2) return D3DERR_INVALIDCALL;
    const uint32_t rows = p->decl.rows, cols = p->decl.columns;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c) p->value->numbers[r * cols + c] = Convert(p->decl.type, m->m[r][c]);
    return D3D_OK;
}

HRESULT Effect::GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) {
    Param* p = FindParam(h);
    if (!p || !m || !p->decl.IsNumeric() || p->decl.rows < 2) return D3DERR_INVALIDCALL;
    *m = D3DXMATRIX();
    const uint32_t rows = p->decl.rows, cols = p->decl.columns;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c) m->m[r][c] = p->value->numbers[r * cols + c];
    return D3D_OK;
}

HRESULT Effect::SetString(D3DXHANDLE h, LPCSTR value) {
    Param* p = FindParam(h);
    if (!p || !value || p->decl.type != EffectType::String) return D3DERR_INVALIDCALL;
    p->value->text = value;
    return D3D_OK;
}

HRESULT Effect::GetString(D3DXHANDLE h, LPCSTR* value) {
    Param* p = FindParam(h);
    if (!p || !value || p->decl.type != EffectType::String) return D3DERR_INVALIDCALL;
    *value = p->value->text.c_str();
    return D3D_OK;
}

HRESULT Effect::SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture) {
    Param* p = FindParam(h);
    if (!p || !p->decl.IsTexture()) return D3DERR_INVALIDCALL;
    if (texture) texture->AddRef();
    if (p->value->texture) p->value->texture->Release();
    p->value->texture = texture;
    return D3D_OK;
}

HRESULT Effect::GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) {
    Param* p = FindParam(h);
    if (!p || !texture || !p->decl.IsTexture()) return D3DERR_INVALIDCALL;
    *texture = p->value->texture;
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

float Effect::Convert(EffectType type, float v) {
    if (type == EffectType::Int) return static_cast<float>(ToInt32(v));
    if (type == EffectType::Bool) return v != 0.0f ? 1.0f : 0.0f;
    return v;
}

Param* Effect::FindParam(D3DXHANDLE h) {
    if (!h) return nullptr;
    if (Ours(h)) {
        auto found = m_paramHandles.find(h);
        return found == m_paramHandles.end() ? nullptr : found->second;
    }
    for (auto& p : m_params)
        if (p->decl.name == h) return p.get();
    return nullptr;
}

Technique* Effect::FindTechnique(D3DXHANDLE h) {
    if (!h) return nullptr;
    for (auto& t : m_techniques)
        if (t->handleTag == h) return t.get();
    if (Ours(h)) return nullptr;
    for (auto& t : m_techniques)
        if (t->decl.name == h) return t.get();
    return nullptr;
}

Pass* Effect::FindPass(D3DXHANDLE h) {
    for (auto& t : m_techniques)
        for (auto& p : t->passes)
            if (p->handleTag == h) return p.get();
    return nullptr;
}

std::vector<Annotation>* Effect::AnnotationsOf(D3DXHANDLE h) {
    if (Param* p = FindParam(h)) return &p->annotations;
    if (Technique* t = FindTechnique(h)) return &t->annotations;
    if (Pass* p = FindPass(h)) return &p->annotations;
    return nullptr;
}

Param* Effect::ParamNamed(const std::string& name) {
    const auto it = m_paramsByName.find(name);
    return it == m_paramsByName.end() ? nullptr : it->second;
}

HRESULT Effect::SetScalar(D3DXHANDLE h, float v) {
    Param* p = FindParam(h);
    if (!p || !p->decl.IsNumeric() || p->value->numbers.empty()) return D3DERR_INVALIDCALL;
    p->value->numbers[0] = Convert(p->decl.type, v);
    return D3D_OK;
}

HRESULT Effect::GetScalar(D3DXHANDLE h, float& v) {
    Param* p = FindParam(h);
    if (!p || !p->decl.IsNumeric() || p->value->numbers.empty()) return D3DERR_INVALIDCALL;
    v = p->value->numbers[0];
    return D3D_OK;
}

} // namespace Platform::EffectDetail
