#pragma once
// Hands out one CPEffect per request text. A request that cannot be loaded answers the error effect
// ("error.fx") under the request asked for. The cache holds no reference: the materials keep the
// effects alive, and an effect leaving takes every entry that points at it with it.
//
// Effects loaded with the option "shared" live in one effect pool; the first of them is the
// shared effect through which the renderer sets the per-frame camera and light parameters.

#include "Framework/PMMObject.h"
#include "Platform/Effects/D3DXEffect.h"

#include <string>
#include <unordered_map>

class CPEffect;

// Handles of the pool's parameters in the shared effect (null where it declares none).
struct SPSharedEffectHandles {
    D3DXHANDLE viewInv = nullptr;             // g_mViewInv
    D3DXHANDLE light = nullptr;               // g_vLight
    D3DXHANDLE lightColor = nullptr;          // g_vLightColor
    D3DXHANDLE worldViewProjection = nullptr; // g_mWorldViewProjection
    D3DXHANDLE viewProjection = nullptr;      // g_mViewProjection
    D3DXHANDLE worldView = nullptr;           // g_mWorldView
    D3DXHANDLE ambient = nullptr;             // g_vAmbient
    D3DXHANDLE cameraPos = nullptr;           // g_vCameraPos
};

class CPEffectCache {
public:
    CPEffectCache();
    CPEffectCache(const CPEffectCache&) = delete;
    CPEffectCache& operator=(const CPEffectCache&) = delete;
    virtual ~CPEffectCache();

    void GetEffect(CPSmartPtr<CPEffect>& out, const std::string& request);
    // Forgets every entry holding this effect (and the shared effect when it is this one).
    void Remove(CPEffect* effect);

    ID3DXEffectPool* GetPool() const { return m_pool; }
    CPEffect* GetSharedEffect() const { return m_sharedEffect; }
    const SPSharedEffectHandles& GetSharedHandles() const { return m_handles; }
    // Called by an effect created in the pool: the first one becomes the shared effect.
    void OfferSharedEffect(CPEffect* effect);

    std::size_t GetEntryCount() const { return m_effects.size(); }

private:
    std::unordered_map<std::string, CPEffect*> m_effects;
    ID3DXEffectPool* m_pool = nullptr;
    CPEffect* m_sharedEffect = nullptr;
    SPSharedEffectHandles m_handles;
};

// The cache the effect manager made, or null.
CPEffectCache* GetEffectCache();
