#include "Render/PMaterial.h"

#include "Render/PEffect.h"
#include "Render/PEffectManager.h"
#include "Render/PTexture.h"

namespace {
IPMaterialHost* g_materialHost = nullptr;
}

void SetMaterialHost(IPMaterialHost* host) { g_materialHost = host; }
IPMaterialHost* GetMaterialHost() { return g_materialHost; }
IDirect3DDevice9* GetMaterialDevice() { return g_materialHost ? g_materialHost->GetMaterialDevice() : nullptr; }

CPMaterial::CPMaterial(RenderKey key, CPEffect* effect, CPTextureBlock* textures)
    : m_effect(effect), m_textures(textures), m_renderKey(key) {}

CPMaterial::~CPMaterial() {
    if (CPEffectManager* manager = GetEffectManager()) manager->Remove(this);
}

std::string CPMaterial::GetClassName() const {
    std::string name = "CPMaterial - ";
    if (m_effect) name += m_effect->GetName();
    name += ' ';
    if (m_textures) name += m_textures->GetName();
    return name;
}

void CPMaterial::AddBatch(IPMaterialBatch* batch) {
    if (!batch || (batch->GetBatchVertexCount() == 0 && batch->GetBatchRenderableCount() == 0)) return;
    m_batches.push_back(batch);
    if (!m_queued) {
        // Ask for the renderer each time: one installed after this material was made still gets
        // it queued, and a renderer that went away is never called.
        if (IPMaterialHost* host = g_materialHost) {
            host->QueueMaterial(this);
            m_queued = true;
        }
    }
}

int CPMaterial::GetTextureCount() const { return m_textures ? m_textures->GetCount() : 0; }

void CPMaterial::GetTextureSize(int index, int& width, int& height) const {
    width = height = 0;
    const CPTexture* texture = m_textures ? m_textures->GetTexture(index) : nullptr;
    if (!texture) return;
    width = texture->GetWidth();
    height = texture->GetHeight();
}
