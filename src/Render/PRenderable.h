#pragma once
// Everything that puts triangles into the render block's batches: it tells its counts,
// writes its vertices and indices into a locked buffer and names its material.

#include <cstdint>

#include "Framework/PMMObject.h"
#include "Render/PMaterial.h"
#include "Render/SPVertex.h"

class IPRenderable : public IPMMObject {
public:
    IPRenderable() = default;

    // True when the renderable is drawn from its own static buffers, not the ring.
    virtual bool IsFillSkipped() const = 0;
    virtual void SetFillSkipped(bool skipped) = 0;
    virtual int GetVertexCount() const = 0;
    virtual int GetIndexCount() const = 0;
    // Writes GetVertexCount vertices and GetIndexCount indices, each index + baseIndex.
    virtual void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) = 0;
    // Copies the indices unchanged; first and last receive the first and last of them.
    virtual void FillIndices(std::uint16_t* indices, int unused, int& first, int& last) = 0;
    virtual CPSmartPtr<CPMaterial> GetMaterial() const = 0;
};
