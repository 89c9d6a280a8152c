#include "Render/PEffectCache.h"

#include "Render/PEffect.h"

namespace {
CPEffectCache* g_effectCache = nullptr;
}

CPEffectCache* GetEffectCache() { return g_effectCache; }

CPEffectCache::CPEffectCache() {
    g_effectCache = this;
    if (FAILED(D3DXCreateEffectPool(&m_pool))) m_pool = nullptr;
}

CPEffectCache::~CPEffectCache() {
    if (m_pool) m_pool->Release();
    m_pool = nullptr;
    m_effects.clear();
    m_sharedEffect = nullptr;
    if (g_effectCache == this) g_effectCache = nullptr;
}

void CPEffectCache::GetEffect(CPSmartPtr<CPEffect>& out, const std::string& request) {
    auto found = m_effects.find(request);
    if (found != m_effects.end()) {
        out = found->second;
        return;
    }
    auto* effect = new CPEffect();
    if (!effect->Load(request)) {
        delete effect;
        effect = new CPEffect();
        effect->Load("error.fx");
    }
    m_effects[request] = effect;
    out = effect;
}

void CPEffectCache::Remove(CPEffect* effect) {
    std::erase_if(m_effects, [effect](const auto& entry) { return entry.second == effect; });
    if (m_sharedEffect == effect) {
        m_sharedEffect = nullptr;
        m_handles = SPSharedEffectHandles{};
    }
}

void CPEffectCache::OfferSharedEffect(CPEffect* effect) {
    if (m_sharedEffect || !effect || !effect->GetD3DXEffect()) return;
    m_sharedEffect = effect;
    ID3DXEffect* fx = effect->GetD3DXEffect();
    m_handles.viewInv = fx->GetParameterByName(nullptr, "g_mViewInv");
    m_handles.light = fx->GetParameterByName(nullptr, "g_vLight");
    m_handles.lightColor = fx->GetParameterByName(nullptr, "g_vLightColor");
    m_handles.worldViewProjection = fx->GetParameterByName(nullptr, "g_mWorldViewProjection");
    m_handles.viewProjection = fx->GetParameterByName(nullptr, "g_mViewProjection");
    m_handles.worldView = fx->GetParameterByName(nullptr, "g_mWorldView");
    m_handles.ambient = fx->GetParameterByName(nullptr, "g_vAmbient");
    m_handles.cameraPos = fx->GetParameterByName(nullptr, "g_vCameraPos");
}
