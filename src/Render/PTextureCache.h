#pragma once
// Hands out one CPTexture per texture request and one CPTextureBlock per sequence of textures,
// so that materials naming the same files share the same objects. A texture that cannot be
// loaded is replaced by "error.tga" under the request asked for. The cache holds no reference
// on what it hands out (except the two video textures it makes itself); a texture or block
// that goes takes its entries with it.

#include "Framework/PMMObject.h"

#include <list>
#include <string>
#include <unordered_map>
#include <vector>

class CPTexture;
class CPTextureBlock;

class CPTextureCache {
public:
    CPTextureCache();
    CPTextureCache(const CPTextureCache&) = delete;
    CPTextureCache& operator=(const CPTextureCache&) = delete;
    virtual ~CPTextureCache();

    void GetTexture(CPSmartPtr<CPTexture>& out, const std::string& request);
    void GetTextureBlock(CPSmartPtr<CPTextureBlock>& out, const std::vector<std::string>& requests);

    // Forgets every entry holding this texture.
    void Remove(CPTexture* texture);
    // A block leaving (its destructor).
    void RemoveBlock(CPTextureBlock* block);

    // Reports every cached texture with its reference count to the log.
    void DumpTextures() const;

    std::size_t GetEntryCount() const { return m_textures.size(); }
    std::size_t GetBlockCount() const { return m_blocks.size(); }

private:
    std::list<CPTextureBlock*> m_blocks;
    std::unordered_map<std::string, CPTexture*> m_textures;
    CPSmartPtr<CPTexture> m_video;
    CPSmartPtr<CPTexture> m_video1;
};

// The cache the effect manager made, or null.
CPTextureCache* GetTextureCache();
