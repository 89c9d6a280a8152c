#include "Render/PTextureCache.h"

#include "Framework/PLog.h"
#include "Render/PTexture.h"

#include <algorithm>

namespace {
CPTextureCache* g_textureCache = nullptr;
}

CPTextureCache* GetTextureCache() { return g_textureCache; }

CPTextureCache::CPTextureCache() {
    g_textureCache = this;
    m_textures.reserve(100);
    // The two video textures: no name, no image; materials naming them bind no texture.
    m_video = new CPTexture();
    m_video1 = new CPTexture();
    m_textures["video"] = m_video.Get();
    m_textures["video1"] = m_video1.Get();
}

CPTextureCache::~CPTextureCache() {
    m_video = nullptr;
    m_video1 = nullptr;
    m_textures.clear();
    m_blocks.clear();
    if (g_textureCache == this) g_textureCache = nullptr;
}

void CPTextureCache::GetTexture(CPSmartPtr<CPTexture>& out, const std::string& request) {
    auto found = m_textures.find(request);
    if (found != m_textures.end()) {
        out = found->second;
        return;
    }
    auto* texture = new CPTexture();
    if (!texture->Load(request)) {
        CPLog::Instance().Print(0, "Render: texture \"%s\" is missing or not a picture; \"error.tga\" stands in",
                                request.c_str());
        delete texture;
        texture = new CPTexture();
        texture->Load("error.tga");
    }
    m_textures[request] = texture;
    out = texture;
}

void CPTextureCache::GetTextureBlock(CPSmartPtr<CPTextureBlock>& out, const std::vector<std::string>& requests) {
    std::vector<CPSmartPtr<CPTexture>> held(requests.size());
    std::vector<CPTexture*> textures(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        GetTexture(held[i], requests[i]);
        textures[i] = held[i].Get();
    }
    for (CPTextureBlock* block : m_blocks) {
        if (block->Holds(textures)) {
            out = block;
            return;
        }
    }
    auto* block = new CPTextureBlock(textures);
    m_blocks.push_back(block);
    out = block;
}

void CPTextureCache::Remove(CPTexture* texture) {
    std::erase_if(m_textures, [texture](const auto& entry) { return entry.second == texture; });
}

void CPTextureCache::RemoveBlock(CPTextureBlock* block) { m_blocks.remove(block); }

void CPTextureCache::DumpTextures() const {
    for (const auto& [request, texture] : m_textures)
        CPLog::Instance().Print(0, "texture %s: %s %dx%d refcount %d\n", request.c_str(), texture->GetName().c_str(),
                                texture->GetWidth(), texture->GetHeight(), texture->GetRefCount());
}
