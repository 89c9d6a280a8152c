#include "Render/PRenderBlock.h"

#include "Framework/PGlobalTimer.h"
#include "Render/PEffectManager.h"
#include "Render/PLight.h"
#include "Render/PMaterial.h"
#include "Render/PRender.h"
#include "Render/PRenderable.h"

CPRenderBlock::CPRenderBlock(IDirect3DDevice9* device) : m_device(device) {}

CPRenderBlock::~CPRenderBlock() {
    Flush();
    for (auto& entry : m_allBatches) entry.second->Clear();
    m_allBatches.clear();
    m_vertexBuffer = nullptr;
}

bool CPRenderBlock::Init(bool staticBlock, int ringSize, int vertexCapacity, int indexCapacity) {
    m_ringSize = ringSize;
    m_vertexBuffer = new CPIVertexBuffer(ringSize, m_device);
    if (!m_vertexBuffer->Create(staticBlock, vertexCapacity, indexCapacity)) {
        m_vertexBuffer = nullptr;
        return false;
    }
    m_staticBlock = staticBlock;
    return true;
}

CPIVBlock* CPRenderBlock::FindBatch(const CPMaterial* material) const {
    auto it = m_allBatches.find(material);
    return it == m_allBatches.end() ? nullptr : it->second.Get();
}

bool CPRenderBlock::Enter(IPRenderable* renderable) {
    if (!renderable) return false;
    CPSmartPtr<CPMaterial> material = renderable->GetMaterial();
    // Without a material there is no batch to put it in.
    if (!material) return false;
    auto all = m_allBatches.find(material.Get());
    if (all == m_allBatches.end()) {
        CPSmartPtr<CPIVBlock> made(new CPIVBlock(m_vertexBuffer.Get()));
        all = m_allBatches.emplace(material.Get(), made).first;
    }
    CPIVBlock* batch = all->second.Get();
    // A batch is emptied at every flush, so an empty one has not been entered this frame yet:
    // one lookup per renderable, and no second per-frame map to build and clear.
    if (batch->GetRenderables().empty()) {
        if (!batch->GetRing()) batch->SetRing(m_vertexBuffer.Get());
        m_frameOrder.emplace_back(material, batch);
    }
    batch->AddObject(renderable);
    return true;
}

void CPRenderBlock::AddObject(IPSceneObject* object) {
    if (!object || !object->IsVisible()) return;
    const int kind = object->GetKind();
    switch (kind) {
    case IPSceneObject::KindMesh:
    case IPSceneObject::KindAnimated:
    case IPSceneObject::KindSprite: Enter(object->GetRenderable()); break;
    case IPSceneObject::KindLight:
        if (CPLight* light = object->GetLight()) {
            if (CPRender* render = GetRender()) render->AddLight(*light->GetLight());
        }
        break;
    default:
        // Particle systems hand their batches over themselves; empty objects have no geometry.
        break;
    }
}

void CPRenderBlock::AddObjectTree(IPSceneObject* object) {
    if (!object) return;
    if (m_staticBlock && !object->IsStatic()) return;
    AddObject(object);
    if (!object->IsVisible()) return;
    const int count = object->GetChildCount();
    for (int i = 0; i < count; ++i) AddObjectTree(object->GetChild(i));
}

void CPRenderBlock::AddRenderable(IPRenderable* renderable) { Enter(renderable); }

void CPRenderBlock::BeginFrame() {
    m_frameStamp = g_frameNumber;
    if (CPRender* render = GetRender()) render->RegisterDrawBlock(this);
    for (auto& entry : m_frameOrder) entry.first->AddBatch(entry.second);
}

void CPRenderBlock::Draw() {
    if (!m_rebuild) return;
    m_rebuild = false;
    CPIVertexBuffer* ring = m_vertexBuffer.Get();
    if (!ring) return;
    ring->ClearFillStopped();
    // A lock that fails leaves every batch unfilled; unfilled batches are not drawn.
    if (!ring->Lock(0, 0, !m_staticBlock, -1)) return;
    for (auto& entry : m_frameOrder) {
        CPIVBlock* batch = entry.second;
        if (batch->IsFilled()) continue;
        ring->FillBlock(*batch);
        if (ring->IsFillStopped()) break;
    }
    ring->Unlock(!m_staticBlock);
}

void CPRenderBlock::Flush() {
    for (auto& entry : m_frameOrder) {
        // Whether the material drew or not, its list of this frame's batches goes too.
        entry.first->ClearBatches();
        entry.second->Clear();
    }
    m_frameOrder.clear();
    m_rebuild = true;
    if (m_vertexBuffer) m_vertexBuffer->ResetFill();
}

void CPRenderBlock::PurgeUnusedBatches() {
    Flush();
    CPEffectManager* manager = GetEffectManager();
    for (auto it = m_allBatches.begin(); it != m_allBatches.end();) {
        if (!manager || !manager->Contains(it->first)) {
            it->second->Clear();
            it = m_allBatches.erase(it);
        } else {
            ++it;
        }
    }
}

void CPRenderBlock::RemoveObjectTree(IPSceneObject* object) {
    if (!object) return;
    WriteStaticObject(object);
    if (!object->IsVisible()) return;
    for (int i = 0; i < object->GetChildCount(); ++i) RemoveObjectTree(object->GetChild(i));
    for (int i = 0; i < object->GetAttachedCount(); ++i) RemoveObjectTree(object->GetAttached(i));
}

void CPRenderBlock::WriteStaticObject(IPSceneObject* object) {
    if (!object || !object->IsVisible() || object->GetKind() != IPSceneObject::KindMesh || !object->IsStatic()) return;
    if (m_vertexBuffer) m_vertexBuffer->AppendStatic(object->GetRenderable());
}
