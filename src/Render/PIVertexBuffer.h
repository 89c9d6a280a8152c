#pragma once
// The ring of N pairs of one vertex buffer and one index buffer into which all dynamic
// geometry of a frame is written. A fill locks the current pair, writes batch after batch,
// moves to the next pair when a batch does not fit, and the unlock advances the ring; with
// discarding locks on dynamic buffers the driver never waits for a pair still in flight.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"
#include "Render/PDeviceListener.h"
#include "Render/SPVertex.h"

class IPRenderable;
class CPIVBlock;
class CPRenderObject;

class CPIVertexBuffer : public IPMMObject, public IPDeviceListener {
public:
    // The most one pair takes, so that every index fits 16 bits.
    static constexpr int kMaxPairVertices = 65535;
    static constexpr int kMaxPairIndices = 262143;
    static constexpr int kDefaultVertexCapacity = 65536;
    static constexpr int kDefaultIndexCapacity = 262144;

    // device null: the renderer's device at Create.
    explicit CPIVertexBuffer(int ringSize, IDirect3DDevice9* device = nullptr);
    ~CPIVertexBuffer() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPIVertexBuffer)); }
    std::string GetClassName() const override { return "CPIVertexBuffer"; }

    // Capacities 0 mean the defaults. False when the ring already has buffers or a creation
    // failed (the others are still made).
    bool Create(bool isStatic, int vertexCapacity, int indexCapacity);
    // Locks the current pair (ring index -1) or the given one; vertexCount / indexCount 0
    // lock whole buffers. False while locked, when the pair has no buffers, or on a failed lock.
    bool Lock(int vertexCount, int indexCount, bool lockVertices, int ringIndex);
    // Ends the lock and moves the ring on; nothing when not locked.
    void Unlock(bool unlockVertices);
    // Writes one batch at the fill position. False for a batch with nothing in it, or when
    // the fill had to stop (see IsFillStopped).
    bool FillBlock(CPIVBlock& batch);
    // The static pre-write: writes the renderable once; false when empty or already written.
    bool AppendStatic(IPRenderable* renderable);
    // Back to the start of a frame's fill: positions 0, no pair used yet.
    void ResetFill();

    // Set when a lock failed or the ring ran out during this frame's fill.
    bool IsFillStopped() const { return m_fillStopped; }
    void ClearFillStopped() { m_fillStopped = false; }

    void OnDeviceLost() override;
    void OnDeviceReset() override;

    int GetRingSize() const { return m_ringSize; }
    int GetCurrent() const { return m_current; }
    bool IsLocked() const { return m_locked; }
    bool IsStatic() const { return m_static; }
    int GetVertexCapacity() const { return m_vertexCapacity; }
    int GetIndexCapacity() const { return m_indexCapacity; }
    int GetVertexPosition() const { return m_vertexPosition; }
    int GetIndexPosition() const { return m_indexPosition; }
    IDirect3DVertexBuffer9* GetVertexBuffer(int i) const { return m_vertexBuffers[static_cast<std::size_t>(i)]; }
    IDirect3DIndexBuffer9* GetIndexBuffer(int i) const { return m_indexBuffers[static_cast<std::size_t>(i)]; }
    // The static pre-write's base vertex of a renderable, or -1.
    int GetStaticBase(const IPRenderable* renderable) const;

private:
    void ReleaseBuffers();
    // Unlock and lock the next pair for an overflowing fill; false when the ring is used up
    // for this frame or the lock fails.
    bool NextPair();

    IDirect3DDevice9* m_device;
    std::unordered_map<const IPRenderable*, int> m_staticMap;
    int m_staticBase = 0;
    std::vector<IDirect3DVertexBuffer9*> m_vertexBuffers;
    std::vector<IDirect3DIndexBuffer9*> m_indexBuffers;
    int m_current = 0;
    int m_ringSize;
    bool m_static = false;
    bool m_locked = false;
    bool m_lockedVertices = false;
    int m_indexCapacity = kDefaultIndexCapacity;
    int m_vertexCapacity = kDefaultVertexCapacity;
    SPVertex* m_lockedVerticesPtr = nullptr;
    std::uint16_t* m_lockedIndicesPtr = nullptr;
    SPVertex* m_vertexCursor = nullptr;
    std::uint16_t* m_indexCursor = nullptr;
    int m_indexPosition = 0;
    int m_vertexPosition = 0;
    // Pairs locked since the last ResetFill: a frame never refills a pair it already filled.
    int m_pairsThisFill = 0;
    bool m_fillStopped = false;
    // FillBlock's scratch lists, kept so that a frame's fill allocates nothing once warm.
    std::vector<CPRenderObject*> m_skipped;
    std::vector<bool> m_taken;
};
