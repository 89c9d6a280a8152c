#pragma once
// One batch: everything of one material handed over in a frame, filled into the ring as one
// range (or, when larger than one pair, as consecutive ranges over the following pairs) and
// drawn with one DrawIndexedPrimitive per range and effect pass. Static render objects of
// the batch are drawn from their own buffers.

#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"
#include "Render/PDeviceListener.h"
#include "Render/PMaterial.h"

class CPIVertexBuffer;
class CPRenderObject;
class IPRenderable;

// One range of a batch inside one ring pair.
struct SPBatchRange {
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    int firstVertex = 0;
    int vertexCount = 0;
    int firstIndex = 0;
    int indexCount = 0;
};

class CPIVBlock : public IPMMObject, public IPDeviceListener, public IPMaterialBatch {
public:
    explicit CPIVBlock(CPIVertexBuffer* vertexBuffer);
    ~CPIVBlock() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPIVBlock)); }
    std::string GetClassName() const override;

    // Appends the renderable; a ring-filled one adds its counts.
    void AddObject(IPRenderable* renderable);
    // Back to empty: lists, counts, filled flag and the ring handle.
    void Clear();

    void OnDeviceLost() override { m_filled = false; }
    void OnDeviceReset() override {}

    int GetBatchVertexCount() const override { return m_vertexCount; }
    int GetBatchRenderableCount() const override { return static_cast<int>(m_renderables.size()); }

    int GetFirstVertex() const { return m_firstVertex; }
    int GetFirstIndex() const { return m_firstIndex; }
    int GetIndexCount() const { return m_indexCount; }
    int GetVertexCount() const { return m_vertexCount; }
    bool IsFilled() const { return m_filled; }
    IDirect3DVertexBuffer9* GetD3DVertexBuffer() const { return m_d3dVertexBuffer; }
    IDirect3DIndexBuffer9* GetD3DIndexBuffer() const { return m_d3dIndexBuffer; }
    const std::vector<CPSmartPtr<IPRenderable>>& GetRenderables() const { return m_renderables; }
    const std::vector<CPSmartPtr<CPRenderObject>>& GetStaticObjects() const { return m_staticObjects; }
    // The ranges written this frame, the first one being the batch's own fields.
    const std::vector<SPBatchRange>& GetRanges() const { return m_ranges; }
    CPIVertexBuffer* GetRing() const { return m_vertexBuffer.Get(); }
    void SetRing(CPIVertexBuffer* ring);

private:
    friend class CPIVertexBuffer;

    int m_firstVertex = 0;
    int m_firstIndex = 0;
    int m_indexCount = 0;
    int m_vertexCount = 0;
    bool m_filled = false;
    std::vector<CPSmartPtr<CPRenderObject>> m_staticObjects;
    CPSmartPtr<CPIVertexBuffer> m_vertexBuffer;
    std::vector<CPSmartPtr<IPRenderable>> m_renderables;
    IDirect3DVertexBuffer9* m_d3dVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_d3dIndexBuffer = nullptr;
    std::vector<SPBatchRange> m_ranges;
};
