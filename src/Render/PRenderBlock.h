#pragma once
// Where the rest of the program hands geometry to the renderer during a pass. Objects and
// renderables are sorted into one batch per material; at the start of the frame every batch
// is handed to its material (which queues itself in the group queue) and filled into the
// vertex-buffer ring; at the end of the frame the block is flushed and everything must be
// handed over again. Batches persist per material. Lights go straight into the renderer's
// light list.

#include <unordered_map>
#include <utility>
#include <vector>

#include "Framework/PMMObject.h"
#include "Render/PDeviceListener.h"
#include "Render/PIVBlock.h"
#include "Render/PIVertexBuffer.h"
#include "Render/PMaterial.h"
#include "Render/PRenderSeams.h"

class CPMaterial;
class IPRenderable;

class CPRenderBlock : public IPMMObject, public IPDeviceListener {
public:
    // device null: the renderer's device.
    explicit CPRenderBlock(IDirect3DDevice9* device = nullptr);
    ~CPRenderBlock() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPRenderBlock)); }
    std::string GetClassName() const override { return "CPRenderBlock"; }

    // Makes the ring and its device buffers; false (and no ring) when they cannot be made.
    bool Init(bool staticBlock, int ringSize, int vertexCapacity, int indexCapacity);

    void AddObject(const CPSmartPtr<IPSceneObject>& object) { AddObject(object.Get()); }
    void AddObjectTree(const CPSmartPtr<IPSceneObject>& object) { AddObjectTree(object.Get()); }
    void AddRenderable(const CPSmartPtr<IPRenderable>& renderable) { AddRenderable(renderable.Get()); }
    void AddObject(IPSceneObject* object);
    void AddObjectTree(IPSceneObject* object);
    void AddRenderable(IPRenderable* renderable);

    void BeginFrame();
    void Draw();
    void Flush();
    void PurgeUnusedBatches();

    // The static pre-write (the level locks and unlocks the ring around it).
    void RemoveObjectTree(IPSceneObject* object);
    void WriteStaticObject(IPSceneObject* object);

    void OnDeviceLost() override { m_rebuild = true; }
    void OnDeviceReset() override {}

    CPIVertexBuffer* GetVertexBuffer() const { return m_vertexBuffer.Get(); }
    bool NeedsRebuild() const { return m_rebuild; }
    bool IsStaticBlock() const { return m_staticBlock; }
    int GetRingSize() const { return m_ringSize; }
    int GetFrameStamp() const { return m_frameStamp; }
    // This frame's batches in hand-over order, with their materials (held until the flush).
    const std::vector<std::pair<CPSmartPtr<CPMaterial>, CPIVBlock*>>& GetFrameBatches() const { return m_frameOrder; }
    std::size_t GetBatchCount() const { return m_allBatches.size(); }
    // The batch of a material (made on first use), or null.
    CPIVBlock* FindBatch(const CPMaterial* material) const;

private:
    // Enters the renderable into its material's batch of this frame; false without a material.
    bool Enter(IPRenderable* renderable);

    IDirect3DDevice9* m_device;
    CPSmartPtr<CPIVertexBuffer> m_vertexBuffer;
    std::vector<std::pair<CPSmartPtr<CPMaterial>, CPIVBlock*>> m_frameOrder;
    std::unordered_map<const CPMaterial*, CPSmartPtr<CPIVBlock>> m_allBatches;
    bool m_rebuild = true;
    int m_ringSize = 0;
    int m_frameStamp = 0;
    bool m_staticBlock = false;
};
