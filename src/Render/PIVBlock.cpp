#include "Render/PIVBlock.h"

#include <cstdio>

#include "Render/PIVertexBuffer.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderable.h"

CPIVBlock::CPIVBlock(CPIVertexBuffer* vertexBuffer) : m_vertexBuffer(vertexBuffer) {}

CPIVBlock::~CPIVBlock() = default;

std::string CPIVBlock::GetClassName() const {
    char text[96];
    std::snprintf(text, sizeof(text), "CPIVBlock - %d static objects %d objects",
                  static_cast<int>(m_staticObjects.size()), static_cast<int>(m_renderables.size()));
    return text;
}

void CPIVBlock::AddObject(IPRenderable* renderable) {
    if (!renderable) return;
    m_renderables.emplace_back(renderable);
    if (!renderable->IsFillSkipped()) {
        m_indexCount += renderable->GetIndexCount();
        m_vertexCount += renderable->GetVertexCount();
    }
}

void CPIVBlock::Clear() {
    m_renderables.clear();
    m_staticObjects.clear();
    m_ranges.clear();
    m_indexCount = 0;
    m_vertexCount = 0;
    m_firstIndex = 0;
    m_firstVertex = 0;
    m_filled = false;
    m_d3dVertexBuffer = nullptr;
    m_d3dIndexBuffer = nullptr;
    m_vertexBuffer = nullptr;
}

void CPIVBlock::SetRing(CPIVertexBuffer* ring) { m_vertexBuffer = ring; }
