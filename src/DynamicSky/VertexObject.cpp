#include "DynamicSky/VertexObject.h"

#include <cstring>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Platform/Image/D3DXTexture.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRenderSeams.h"
#include "Render/RenderSupport.h"

namespace {

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("DynamicSky\\VertexObject", line, hr); }

template <class T>
void ReleaseInto(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

} // namespace

VertexObject::~VertexObject() {
    ReleaseInto(m_texture);
    ReleaseInto(m_effect);
    ReleaseInto(m_lightEffect);
    ReleaseInto(m_indexBuffer);
    ReleaseInto(m_vertexBuffer);
}

void VertexObject::OnDeviceLost() {
    if (m_effect) m_effect->OnLostDevice();
    if (m_lightEffect) m_lightEffect->OnLostDevice();
}

void VertexObject::OnDeviceReset() {
    if (m_effect) m_effect->OnResetDevice();
    if (m_lightEffect) m_lightEffect->OnResetDevice();
}

HRESULT VertexObject::LoadTexture(const std::string& path) {
    ReleaseInto(m_texture);
    CPFileReader reader(path);
    if (FAILED(reader.Load())) return S_OK;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        g_skyDevice, reader.GetData(), static_cast<UINT>(reader.GetDataSize()), D3DX_DEFAULT, D3DX_DEFAULT,
        D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0,
        nullptr, nullptr, &m_texture);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        m_texture = nullptr;
    }
    return hr;
}

HRESULT VertexObject::LoadEffect(const std::string& path) { return LoadEffectInto(path, m_effect); }

HRESULT VertexObject::LoadLightEffect(const std::string& path) { return LoadEffectInto(path, m_lightEffect); }

HRESULT VertexObject::LoadEffectInto(const std::string& path, ID3DXEffect*& target) {
    ReleaseInto(target);
    CPFileReader reader(path);
    const HRESULT read = reader.Load();
    if (FAILED(read)) return read;
    ID3DXEffect* effect = nullptr;
    const HRESULT hr = D3DXCreateEffect(g_skyDevice, reader.GetData(), static_cast<UINT>(reader.GetDataSize()), nullptr,
                                        nullptr, 0, nullptr, &effect, nullptr);
    if (FAILED(hr) || !effect) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        if (effect) effect->Release();
        return FAILED(hr) ? hr : E_FAIL;
    }
    D3DXHANDLE technique = nullptr;
    if (effect->FindNextValidTechnique(nullptr, &technique) == D3D_OK && technique) effect->SetTechnique(technique);
    target = effect;
    return hr;
}

HRESULT VertexObject::TransformVertices(const D3DXMATRIX& matrix) {
    // Only the positions move; the drawn list keeps its own colours.
    if (m_drawn.size() < m_source.size()) m_drawn.resize(m_source.size());
    if (m_source.empty()) return S_OK;
    D3DXVec3TransformCoordArray(reinterpret_cast<D3DXVECTOR3*>(&m_drawn[0].x), sizeof(SPVertex),
                                reinterpret_cast<const D3DXVECTOR3*>(&m_source[0].x), sizeof(SPVertex), &matrix,
                                static_cast<UINT>(m_source.size()));
    return S_OK;
}

bool VertexObject::EnsureBuffers() {
    if (m_vertexBuffer && m_indexBuffer) return true;
    if (!g_skyDevice) return false;
    ReleaseInto(m_vertexBuffer);
    ReleaseInto(m_indexBuffer);
    HRESULT hr = g_skyDevice->CreateVertexBuffer(kVertexBufferBytes, D3DUSAGE_WRITEONLY, SPVertexFVF, D3DPOOL_MANAGED,
                                                 &m_vertexBuffer, nullptr);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        m_vertexBuffer = nullptr;
        return false;
    }
    hr = g_skyDevice->CreateIndexBuffer(kIndexBufferBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                        &m_indexBuffer, nullptr);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        m_indexBuffer = nullptr;
        ReleaseInto(m_vertexBuffer);
        return false;
    }
    return true;
}

HRESULT VertexObject::Upload(const std::vector<SPVertex>& vertices, const std::vector<std::uint16_t>& indices,
                             bool keepDrawn) {
    m_uploaded = false;
    if (vertices.size() > kMaxVertices || indices.size() > kMaxIndices) {
        CPLog::Instance().Print(0, "DynamicSky: %zu vertices and %zu indices do not fit the sky buffers (%zu, %zu)",
                                vertices.size(), indices.size(), kMaxVertices, kMaxIndices);
        m_source.clear();
        m_drawn.clear();
        m_indices.clear();
        return E_FAIL;
    }
    // The caller may hand over the object's own lists: copy before assigning.
    std::vector<SPVertex> source = vertices;
    std::vector<std::uint16_t> copiedIndices = indices;
    if (!keepDrawn) m_drawn = source;
    m_source = std::move(source);
    m_indices = std::move(copiedIndices);
    if (m_drawn.size() < m_source.size()) m_drawn.resize(m_source.size());

    if (!EnsureBuffers()) return E_FAIL;
    const UINT vertexBytes = static_cast<UINT>(m_source.size() * sizeof(SPVertex));
    const UINT indexBytes = static_cast<UINT>(m_indices.size() * sizeof(std::uint16_t));
    void* data = nullptr;
    HRESULT hr = m_vertexBuffer->Lock(0, vertexBytes, &data, 0);
    if (FAILED(hr) || !data) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (vertexBytes) std::memcpy(data, m_drawn.data(), vertexBytes);
    m_vertexBuffer->Unlock();
    data = nullptr;
    hr = m_indexBuffer->Lock(0, indexBytes, &data, 0);
    if (FAILED(hr) || !data) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (indexBytes) std::memcpy(data, m_indices.data(), indexBytes);
    m_indexBuffer->Unlock();
    m_uploaded = true;
    return S_OK;
}

HRESULT VertexObject::Render(float) {
    IDirect3DDevice9* device = g_skyDevice;
    if (!device) return E_FAIL;
    // Nothing refused or unwritten is drawn: the buffers may hold an older mesh or nothing.
    if (!m_uploaded || !m_vertexBuffer || !m_indexBuffer) return E_FAIL;
    device->SetFVF(SPVertexFVF);
    device->SetIndices(m_indexBuffer);
    device->SetStreamSource(0, m_vertexBuffer, 0, sizeof(SPVertex));
    const UINT vertexCount = static_cast<UINT>(m_drawn.size());
    const UINT primitives = static_cast<UINT>(m_indices.size() / 3);
    ID3DXEffect* effect = m_useLightEffect ? m_lightEffect : m_effect;
    if (!effect) return device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertexCount, 0, primitives);

    effect->SetTexture("tex0", m_texture);
    UINT passes = 0;
    effect->Begin(&passes, 0);
    HRESULT result = E_FAIL;
    for (UINT p = 0; p < passes; ++p) {
        effect->BeginPass(p);
        result = device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertexCount, 0, primitives);
        effect->EndPass();
    }
    effect->End();
    return result;
}
