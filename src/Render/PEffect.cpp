#include "Render/PEffect.h"

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Render/PEffectCache.h"
#include "Render/PMaterial.h"
#include "Render/PTexture.h"
#include "Render/RenderSupport.h"

#include <algorithm>
#include <cstdio>

namespace {

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("Render\\PEffect", line, hr); }

// The compiler's messages go to the log, with the effect file's path.
void ReportCompileErrors(const std::string& path, ID3DXBuffer* errors) {
    if (!errors) return;
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    const DWORD size = errors->GetBufferSize();
    if (text && size) CPLog::Instance().Print(0, "%s: %.*s\n", path.c_str(), static_cast<int>(size), text);
}

} // namespace

CPEffect::~CPEffect() {
    if (CPEffectCache* cache = GetEffectCache()) cache->Remove(this);
    if (m_effect) m_effect->Release();
    m_effect = nullptr;
}

bool CPEffect::Load(const std::string& request) {
    m_name = request;
    if (m_effect) {
        m_effect->Release();
        m_effect = nullptr;
    }
    m_pooled = false;
    m_textureParameters.clear();
    m_timeParameter = nullptr;

    const SPLoadRequest parsed = SplitLoadRequest(request);
    const std::string& file = parsed.file;
    const bool shared = parsed.Has("shared");

    CPEffectCache* cache = GetEffectCache();
    ID3DXEffectPool* pool = shared && cache ? cache->GetPool() : nullptr;
    IDirect3DDevice9* device = GetMaterialDevice();

    std::string path = "Data\\Effects\\" + file;
    CPFileReader named(path);
    CPFileReader fallback("Data\\Effects\\simple.fx");
    CPFileReader* reader = &named;
    if (FAILED(named.Load())) {
        // A missing file is drawn with the default effect, outside the pool.
        path = fallback.GetPath();
        reader = &fallback;
        pool = nullptr;
        if (FAILED(fallback.Load())) {
            ReportDXError(__LINE__, E_FAIL);
            return false;
        }
    }

    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, reader->GetData(), static_cast<UINT>(reader->GetDataSize()), nullptr,
                                        nullptr, 0, pool, &effect, &errors);
    if (FAILED(hr) || !effect) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        ReportCompileErrors(path, errors);
        if (errors) errors->Release();
        if (effect) effect->Release();
        return false;
    }
    // The techniques left out (a shader the compiler refused or could not finish) are worth a
    // line too: the effect draws, but not as its author meant.
    ReportCompileErrors(path, errors);
    if (errors) errors->Release();
    m_effect = effect;
    m_pooled = pool != nullptr;

    // Only an effect really in the pool can carry the shared values to the others.
    if (m_pooled && cache) cache->OfferSharedEffect(this);

    D3DXHANDLE technique = nullptr;
    if (m_effect->FindNextValidTechnique(nullptr, &technique) == D3D_OK && technique) m_effect->SetTechnique(technique);

    m_timeParameter = m_effect->GetParameterByName(nullptr, "time");
    for (int k = 0;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "tex%d", k);
        D3DXHANDLE handle = m_effect->GetParameterByName(nullptr, name);
        if (!handle) break;
        m_textureParameters.push_back(handle);
    }
    return true;
}

void CPEffect::SetParameters(const CPTextureBlock* textures) {
    if (!m_effect || !textures) return;
    const std::size_t count =
        std::min<std::size_t>(m_textureParameters.size(), static_cast<std::size_t>(std::max(0, textures->GetCount())));
    for (std::size_t i = 0; i < count; ++i) {
        const CPTexture* texture = textures->GetTexture(static_cast<int>(i));
        m_effect->SetTexture(m_textureParameters[i], texture ? texture->GetBaseTexture() : nullptr);
    }
}

void CPEffect::OnDeviceLost() {
    if (m_effect) m_effect->OnLostDevice();
}

void CPEffect::OnDeviceReset() {
    if (m_effect) m_effect->OnResetDevice();
}
