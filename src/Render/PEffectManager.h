#pragma once
// The single factory and registry of materials: a material is asked for by render key,
// effect request and texture names, and the existing one with the same key, effect and texture
// block is answered when there is one. The manager owns the texture cache and the effect
// cache.

#include "Framework/PMMObject.h"
#include "Render/PMaterial.h"

#include <list>
#include <string>
#include <vector>

class CPEffectCache;
class CPTextureCache;

class CPEffectManager {
public:
    CPEffectManager();
    CPEffectManager(const CPEffectManager&) = delete;
    CPEffectManager& operator=(const CPEffectManager&) = delete;
    virtual ~CPEffectManager();

    void GetMaterial(CPSmartPtr<CPMaterial>& out, RenderKey key, const std::string& effectSpec,
                     const std::vector<std::string>& textureNames);
    bool Contains(const CPMaterial* material) const;
    // A material leaving (its destructor).
    void Remove(CPMaterial* material);
    // Empties the batch list of every material (after the main loop).
    void ReleaseAll();
    // Reports every material's textures and reference count to the log.
    void DumpMaterials() const;

    std::size_t GetMaterialCount() const { return m_materials.size(); }
    CPTextureCache* GetTextureCache() const { return m_textureCache; }
    CPEffectCache* GetEffectCache() const { return m_effectCache; }

private:
    std::list<CPMaterial*> m_materials;
    CPTextureCache* m_textureCache = nullptr;
    CPEffectCache* m_effectCache = nullptr;
};

// The effect manager, or null before the application has made it.
CPEffectManager* GetEffectManager();
