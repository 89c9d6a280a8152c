#include "Render/PIVertexBuffer.h"

#include <algorithm>

#include "Framework/PLog.h"
#include "Render/PIVBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderable.h"
#include "Render/RenderSupport.h"

namespace {

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("Render\\PIVertexBuffer", line, hr); }

} // namespace

CPIVertexBuffer::CPIVertexBuffer(int ringSize, IDirect3DDevice9* device)
    : m_device(device), m_vertexBuffers(static_cast<std::size_t>(std::max(ringSize, 1)), nullptr),
      m_indexBuffers(static_cast<std::size_t>(std::max(ringSize, 1)), nullptr), m_ringSize(std::max(ringSize, 1)) {}

CPIVertexBuffer::~CPIVertexBuffer() {
    if (m_locked) Unlock(m_lockedVertices);
    ReleaseBuffers();
}

void CPIVertexBuffer::ReleaseBuffers() {
    for (auto& buffer : m_vertexBuffers) {
        if (buffer) buffer->Release();
        buffer = nullptr;
    }
    for (auto& buffer : m_indexBuffers) {
        if (buffer) buffer->Release();
        buffer = nullptr;
    }
}

bool CPIVertexBuffer::Create(bool isStatic, int vertexCapacity, int indexCapacity) {
    m_current = 0;
    if (m_vertexBuffers[0] || m_indexBuffers[0]) return false;
    if (!m_device) m_device = GetMaterialDevice();
    IDirect3DDevice9* device = m_device;
    if (!device) return false;
    m_vertexCapacity = vertexCapacity > 0 ? vertexCapacity : kDefaultVertexCapacity;
    m_indexCapacity = indexCapacity > 0 ? indexCapacity : kDefaultIndexCapacity;
    m_static = isStatic;
    m_vertexPosition = m_indexPosition = 0;
    const DWORD vertexUsage = isStatic ? (D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP)
                                       : (D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP);
    const DWORD indexUsage = isStatic ? D3DUSAGE_WRITEONLY : (D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    bool ok = true;
    for (int i = 0; i < m_ringSize; ++i) {
        HRESULT hr =
            device->CreateVertexBuffer(static_cast<UINT>(m_vertexCapacity) * sizeof(SPVertex), vertexUsage, SPVertexFVF,
                                       D3DPOOL_DEFAULT, &m_vertexBuffers[static_cast<std::size_t>(i)], nullptr);
        if (FAILED(hr)) {
            ReportDXError(__LINE__, hr);
            m_vertexBuffers[static_cast<std::size_t>(i)] = nullptr;
            ok = false;
        }
        hr = device->CreateIndexBuffer(static_cast<UINT>(m_indexCapacity) * sizeof(std::uint16_t), indexUsage,
                                       D3DFMT_INDEX16, D3DPOOL_DEFAULT, &m_indexBuffers[static_cast<std::size_t>(i)],
                                       nullptr);
        if (FAILED(hr)) {
            ReportDXError(__LINE__, hr);
            m_indexBuffers[static_cast<std::size_t>(i)] = nullptr;
            ok = false;
        }
    }
    return ok;
}

bool CPIVertexBuffer::Lock(int vertexCount, int indexCount, bool lockVertices, int ringIndex) {
    if (m_locked) return false;
    if (ringIndex != -1) {
        if (ringIndex < 0 || ringIndex >= m_ringSize) return false;
        m_current = ringIndex;
    }
    m_vertexPosition = m_indexPosition = 0;
    m_vertexCursor = nullptr;
    m_indexCursor = nullptr;
    IDirect3DVertexBuffer9* vertexBuffer = m_vertexBuffers[static_cast<std::size_t>(m_current)];
    IDirect3DIndexBuffer9* indexBuffer = m_indexBuffers[static_cast<std::size_t>(m_current)];
    // After a loss whose reset failed the pair has no buffers: nothing to write into.
    if (!indexBuffer || (lockVertices && !vertexBuffer)) return false;
    const DWORD flags = m_static ? D3DLOCK_NOSYSLOCK : (D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
    void* vertices = nullptr;
    void* indices = nullptr;
    if (lockVertices) {
        const HRESULT hr = vertexBuffer->Lock(0, static_cast<UINT>(vertexCount) * sizeof(SPVertex), &vertices, flags);
        if (FAILED(hr)) {
            ReportDXError(__LINE__, hr);
            return false;
        }
    }
    const HRESULT hr = indexBuffer->Lock(0, static_cast<UINT>(indexCount) * sizeof(std::uint16_t), &indices, flags);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        if (lockVertices) vertexBuffer->Unlock();
        return false;
    }
    m_lockedVerticesPtr = static_cast<SPVertex*>(vertices);
    m_lockedIndicesPtr = static_cast<std::uint16_t*>(indices);
    m_vertexCursor = m_lockedVerticesPtr;
    m_indexCursor = m_lockedIndicesPtr;
    m_locked = true;
    m_lockedVertices = lockVertices;
    ++m_pairsThisFill;
    return true;
}

void CPIVertexBuffer::Unlock(bool unlockVertices) {
    if (!m_locked) return;
    IDirect3DVertexBuffer9* vertexBuffer = m_vertexBuffers[static_cast<std::size_t>(m_current)];
    IDirect3DIndexBuffer9* indexBuffer = m_indexBuffers[static_cast<std::size_t>(m_current)];
    // A vertex lock is ended even when the caller does not ask, so no buffer stays locked.
    (void)unlockVertices;
    // The lock spans the whole pair but the fill wrote from its start up to the positions: the
    // device uploads only that much.
    if (m_lockedVertices && vertexBuffer) {
        D3DSetLockWritten(vertexBuffer, static_cast<UINT>(m_vertexPosition) * sizeof(SPVertex));
        vertexBuffer->Unlock();
    }
    if (indexBuffer) {
        D3DSetLockWritten(indexBuffer, static_cast<UINT>(m_indexPosition) * sizeof(std::uint16_t));
        indexBuffer->Unlock();
    }
    m_current = (m_current + 1) % m_ringSize;
    m_locked = false;
    m_lockedVertices = false;
    m_lockedVerticesPtr = nullptr;
    m_lockedIndicesPtr = nullptr;
    m_vertexCursor = nullptr;
    m_indexCursor = nullptr;
}

void CPIVertexBuffer::ResetFill() {
    m_vertexPosition = m_indexPosition = 0;
    m_pairsThisFill = 0;
    m_fillStopped = false;
}

bool CPIVertexBuffer::NextPair() {
    Unlock(true);
    if (m_pairsThisFill >= m_ringSize) {
        CPLog::Instance().Print(0, "CPIVertexBuffer: the ring of %d pairs is full this frame; the rest is not drawn\n",
                                m_ringSize);
        m_fillStopped = true;
        return false;
    }
    if (!Lock(0, 0, true, -1)) {
        m_fillStopped = true;
        return false;
    }
    return true;
}

bool CPIVertexBuffer::FillBlock(CPIVBlock& batch) {
    if (batch.m_vertexCount == 0 && batch.m_renderables.empty()) return false;
    if (!m_locked || !m_vertexCursor || !m_indexCursor) {
        m_fillStopped = true;
        return false;
    }
    const int maxVertices = std::min(kMaxPairVertices, m_vertexCapacity);
    const int maxIndices = std::min(kMaxPairIndices, m_indexCapacity);
    // A batch that does not fit behind what the pair holds starts on the next pair; on an
    // empty pair moving on would gain nothing (the batch is then larger than a pair and split).
    const bool pairUsed = m_vertexPosition > 0 || m_indexPosition > 0;
    if (pairUsed &&
        (batch.m_indexCount + m_indexPosition > maxIndices || m_vertexPosition + batch.m_vertexCount > maxVertices)) {
        if (!NextPair()) return false;
    }

    batch.m_ranges.clear();
    SPBatchRange range;
    auto openRange = [&] {
        range = SPBatchRange();
        range.vertexBuffer = m_vertexBuffers[static_cast<std::size_t>(m_current)];
        range.indexBuffer = m_indexBuffers[static_cast<std::size_t>(m_current)];
        range.firstVertex = m_vertexPosition;
        range.firstIndex = m_indexPosition;
    };
    auto closeRange = [&] {
        if (range.vertexCount > 0 || range.indexCount > 0) batch.m_ranges.push_back(range);
    };
    openRange();

    std::vector<CPRenderObject*>& skipped = m_skipped;
    skipped.clear();
    int writtenVertices = 0, writtenIndices = 0;
    bool stopped = false;
    for (const CPSmartPtr<IPRenderable>& handle : batch.m_renderables) {
        IPRenderable* renderable = handle.Get();
        if (renderable->IsFillSkipped()) {
            if (auto* object = dynamic_cast<CPRenderObject*>(renderable)) skipped.push_back(object);
            continue;
        }
        const int i = renderable->GetIndexCount();
        const int v = renderable->GetVertexCount();
        if (i < 0 || v < 0 || i > maxIndices || v > maxVertices) {
            CPLog::Instance().Print(0,
                                    "CPIVertexBuffer: %s has %d vertices and %d indices, more than one pair takes; "
                                    "not drawn\n",
                                    renderable->GetClassName().c_str(), v, i);
            continue;
        }
        if (m_indexPosition + i > maxIndices || m_vertexPosition + v > maxVertices) {
            closeRange();
            if (!NextPair()) {
                stopped = true;
                break;
            }
            openRange();
        }
        renderable->FillVertices(m_vertexCursor, m_indexCursor, static_cast<std::uint16_t>(m_vertexPosition), 0);
        m_vertexCursor += v;
        m_indexCursor += i;
        m_indexPosition += i;
        m_vertexPosition += v;
        range.vertexCount += v;
        range.indexCount += i;
        writtenVertices += v;
        writtenIndices += i;
    }
    if (!stopped) closeRange();

    if (batch.m_ranges.empty()) {
        batch.m_d3dVertexBuffer = range.vertexBuffer;
        batch.m_d3dIndexBuffer = range.indexBuffer;
        batch.m_firstVertex = range.firstVertex;
        batch.m_firstIndex = range.firstIndex;
    } else {
        const SPBatchRange& first = batch.m_ranges.front();
        batch.m_d3dVertexBuffer = first.vertexBuffer;
        batch.m_d3dIndexBuffer = first.indexBuffer;
        batch.m_firstVertex = first.firstVertex;
        batch.m_firstIndex = first.firstIndex;
    }
    batch.m_indexCount = writtenIndices;
    batch.m_vertexCount = writtenVertices;

    // Static objects sharing one static buffer next to each other, buffers in first-seen order.
    batch.m_staticObjects.clear();
    std::vector<bool>& taken = m_taken;
    taken.assign(skipped.size(), false);
    for (std::size_t a = 0; a < skipped.size(); ++a) {
        if (taken[a]) continue;
        const SPStaticBuffer* buffer = skipped[a]->GetStaticBuffer();
        for (std::size_t b = a; b < skipped.size(); ++b) {
            if (taken[b] || skipped[b]->GetStaticBuffer() != buffer) continue;
            taken[b] = true;
            batch.m_staticObjects.emplace_back(skipped[b]);
        }
    }
    batch.m_filled = true;
    return !stopped;
}

bool CPIVertexBuffer::AppendStatic(IPRenderable* renderable) {
    if (!renderable || renderable->GetVertexCount() == 0) return false;
    if (m_staticMap.count(renderable)) return false;
    if (!m_locked || !m_vertexCursor || !m_indexCursor) return false;
    const int i = renderable->GetIndexCount();
    const int v = renderable->GetVertexCount();
    if (m_vertexPosition + v > m_vertexCapacity || m_indexPosition + i > m_indexCapacity) {
        CPLog::Instance().Print(0, "CPIVertexBuffer: the static pre-write does not fit the buffer\n");
        return false;
    }
    m_staticMap[renderable] = m_staticBase;
    renderable->FillVertices(m_vertexCursor, m_indexCursor, static_cast<std::uint16_t>(m_staticBase), 0);
    m_vertexCursor += v;
    m_indexCursor += i;
    m_indexPosition += i;
    m_vertexPosition += v;
    m_staticBase += v;
    return true;
}

int CPIVertexBuffer::GetStaticBase(const IPRenderable* renderable) const {
    auto it = m_staticMap.find(renderable);
    return it == m_staticMap.end() ? -1 : it->second;
}

void CPIVertexBuffer::OnDeviceLost() {
    if (m_locked) {
        // End the lock without moving the ring on.
        const int current = m_current;
        Unlock(true);
        m_current = current;
    }
    ReleaseBuffers();
}

void CPIVertexBuffer::OnDeviceReset() { Create(m_static, m_vertexCapacity, m_indexCapacity); }
