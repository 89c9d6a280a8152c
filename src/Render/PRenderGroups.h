#pragma once
// The renderer's persistent three-level queue: render groups by render key, one entry per
// effect inside a group, one entry per texture block inside an effect entry naming the
// material whose batches are drawn. Entries age out after 10 idle frames; groups go at the
// end of a frame in which nothing refers to them. Effect entries and material entries keep
// the order in which they were first queued, so frames are reproducible.

#include <map>
#include <memory>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBaseCamera.h"
#include "Render/PEffect.h"
#include "Render/PMaterial.h"
#include "Render/PTexture.h"

struct SPRenderQueueNode {
    SPRenderQueueNode() = default;
    SPRenderQueueNode(const SPRenderQueueNode&) = delete;
    SPRenderQueueNode& operator=(const SPRenderQueueNode&) = delete;
    virtual ~SPRenderQueueNode() = default;

    int lastFrame = -1;
    int refCount = 0;
    SPRenderQueueNode* parent = nullptr;
};

struct SPMaterialEntry : SPRenderQueueNode {
    CPSmartPtr<CPTextureBlock> textureBlock;
    CPSmartPtr<CPMaterial> material;
};

struct SPEffectEntry : SPRenderQueueNode {
    CPSmartPtr<CPEffect> effect;
    // By texture block identity, in first-queued order.
    std::vector<std::unique_ptr<SPMaterialEntry>> materials;

    SPMaterialEntry* Find(const CPTextureBlock* block) const {
        for (const auto& entry : materials)
            if (entry->textureBlock.Get() == block) return entry.get();
        return nullptr;
    }
};

struct SPRenderGroup : SPRenderQueueNode {
    RenderKey key = 0;
    CPSmartPtr<CPBaseCamera> camera;
    bool hasWorldMatrix = false;
    D3DXMATRIX worldMatrix;
    // By effect identity, in first-queued order.
    std::vector<std::unique_ptr<SPEffectEntry>> effects;

    SPEffectEntry* Find(const CPEffect* effect) const {
        for (const auto& entry : effects)
            if (entry->effect.Get() == effect) return entry.get();
        return nullptr;
    }
};

using RenderGroupMap = std::map<RenderKey, std::unique_ptr<SPRenderGroup>>;
