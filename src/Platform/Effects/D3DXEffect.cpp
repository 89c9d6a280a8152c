#include "Platform/Effects/D3DXEffect.h"

#include "Platform/Effects/D3DXEffectInternal.h"

#include <cstring>

namespace Platform::EffectDetail {

namespace {

class Buffer final : public RefCounted<ID3DXBuffer> {
public:
    explicit Buffer(DWORD bytes) : m_data(bytes) {}
    void* GetBufferPointer() override { return m_data.empty() ? nullptr : m_data.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(m_data.size()); }

private:
    std::vector<uint8_t> m_data;
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

Effect::Effect(IDirect3DDevice9* device, EffectPool* pool) : m_device(device), m_pool(pool) {
    m_device->AddRef();
    if (m_pool) m_pool->AddRef();
}

Effect::~Effect() {
    if (m_begun) End();
    ReleasePrograms();
    m_paramsByName.clear();
    m_params.clear();
    if (m_pool) m_pool->Release();
    m_device->Release();
}

HRESULT Effect::GetDesc(D3DXEFFECT_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Creator = m_creator.c_str();
    desc->Parameters = static_cast<UINT>(m_params.size());
    desc->Techniques = static_cast<UINT>(m_techniques.size());
    desc->Functions = 0;
    return D3D_OK;
}

HRESULT Effect::GetDevice(IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = m_device;
    m_device->AddRef();
    return D3D_OK;
}

HRESULT Effect::GetPool(ID3DXEffectPool** pool) {
    if (!pool) return D3DERR_INVALIDCALL;
    *pool = m_pool;
    if (m_pool) m_pool->AddRef();
    return D3D_OK;
}

// Programs live in the managed pool and survive a reset; only a running Begin is closed.
HRESULT Effect::OnLostDevice() {
    if (m_begun) End();
    m_lost = true;
    return D3D_OK;
}

HRESULT Effect::OnResetDevice() {
    m_lost = false;
    return D3D_OK;
}

} // namespace Platform::EffectDetail

using namespace Platform;
using namespace Platform::EffectDetail;

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
