#pragma once
// A material: what a renderable is drawn with. A render key (when it is drawn), an effect
// (how) and a texture block (with which textures). Materials are made and shared by the
// effect manager; during a frame each one collects the batches that use it and, on its first
// batch, queues itself in the renderer's group queue.

#include "Framework/PMMObject.h"

#include <string>
#include <vector>

class CPEffect;
class CPTextureBlock;
class CPMaterial;
class IDirect3DDevice9;

using RenderKey = int;

// What materials, effects and textures need of the renderer: its device (effects and
// textures are created on it) and a place in its group queue. The renderer installs itself
// with SetMaterialHost as soon as it has its device and removes itself when it goes.
class IPMaterialHost {
public:
    virtual IDirect3DDevice9* GetMaterialDevice() = 0;
    virtual void QueueMaterial(CPMaterial* material) = 0;

protected:
    ~IPMaterialHost() = default;
};

void SetMaterialHost(IPMaterialHost* host);
IPMaterialHost* GetMaterialHost();
// The host's device, or null without a host.
IDirect3DDevice9* GetMaterialDevice();

// What a material asks of a batch handed to it (the render block's batches answer it).
class IPMaterialBatch {
public:
    virtual int GetBatchVertexCount() const = 0;
    virtual int GetBatchRenderableCount() const = 0;

protected:
    ~IPMaterialBatch() = default;
};

class CPMaterial : public IPMMObject {
public:
    CPMaterial(RenderKey key, CPEffect* effect, CPTextureBlock* textures);
    ~CPMaterial() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPMaterial)); }
    // "CPMaterial - " + effect name + " " + texture block name.
    std::string GetClassName() const override;

    // Takes a batch of the current frame; an empty one is ignored. The first batch queues the
    // material with the renderer.
    void AddBatch(IPMaterialBatch* batch);
    void ClearBatches() { m_batches.clear(); }
    const std::vector<IPMaterialBatch*>& GetBatches() const { return m_batches; }

    RenderKey GetRenderKey() const { return m_renderKey; }
    CPEffect* GetEffect() const { return m_effect.Get(); }
    CPTextureBlock* GetTextureBlock() const { return m_textures.Get(); }

    // Set while the material has an entry in the group queue; the queue clears it when it
    // drops the entry.
    bool IsQueued() const { return m_queued; }
    void SetQueued(bool queued) { m_queued = queued; }

    // Number of textures, and the size in texels of one of them (0, 0 for a bad index or a
    // texture that did not load).
    int GetTextureCount() const;
    void GetTextureSize(int index, int& width, int& height) const;

private:
    CPSmartPtr<CPEffect> m_effect;
    CPSmartPtr<CPTextureBlock> m_textures;
    std::vector<IPMaterialBatch*> m_batches;
    RenderKey m_renderKey;
    bool m_queued = false;
};
