#include "Render/PEffectManager.h"

#include "Framework/PLog.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PTexture.h"
#include "Render/PTextureCache.h"

#include <algorithm>

namespace {
CPEffectManager* g_effectManager = nullptr;
}

CPEffectManager* GetEffectManager() { return g_effectManager; }

CPEffectManager::CPEffectManager() {
    g_effectManager = this;
    m_textureCache = new CPTextureCache();
    m_effectCache = new CPEffectCache();
}

CPEffectManager::~CPEffectManager() {
    delete m_textureCache;
    delete m_effectCache;
    m_textureCache = nullptr;
    m_effectCache = nullptr;
    m_materials.clear();
    if (g_effectManager == this) g_effectManager = nullptr;
}

void CPEffectManager::GetMaterial(CPSmartPtr<CPMaterial>& out, RenderKey key, const std::string& effectSpec,
                                  const std::vector<std::string>& textureNames) {
    CPSmartPtr<CPEffect> effect;
    if (m_effectCache) m_effectCache->GetEffect(effect, effectSpec);
    CPSmartPtr<CPTextureBlock> textures;
    if (m_textureCache) m_textureCache->GetTextureBlock(textures, textureNames);

    for (CPMaterial* material : m_materials) {
        if (material->GetRenderKey() == key && material->GetEffect() == effect.Get() &&
            material->GetTextureBlock() == textures.Get()) {
            out = material;
            return;
        }
    }
    auto* material = new CPMaterial(key, effect.Get(), textures.Get());
    m_materials.push_back(material);
    out = material;
}

bool CPEffectManager::Contains(const CPMaterial* material) const {
    return std::find(m_materials.begin(), m_materials.end(), material) != m_materials.end();
}

void CPEffectManager::Remove(CPMaterial* material) { m_materials.remove(material); }

void CPEffectManager::ReleaseAll() {
    for (CPMaterial* material : m_materials) material->ClearBatches();
}

void CPEffectManager::DumpMaterials() const {
    for (const CPMaterial* material : m_materials) {
        std::string textures;
        if (const CPTextureBlock* block = material->GetTextureBlock()) {
            for (int i = 0; i < block->GetCount(); ++i) {
                if (i) textures += ", ";
                textures += block->GetTexture(i)->GetName();
            }
        }
        CPLog::Instance().Print(0, "%s: textures [%s] refcount %d\n", material->GetClassName().c_str(),
                                textures.c_str(), material->GetRefCount());
    }
}
