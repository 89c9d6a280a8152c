#include "World/PLevelBranch.h"

#include <algorithm>

#include "Framework/PSettings.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"

void CPLevelBranch::Init(const std::vector<CPSmartPtr<CPGameObject>>& objects) {
    m_objects.clear();
    m_objects.reserve(objects.size());
    for (const CPSmartPtr<CPGameObject>& object : objects)
        if (object) m_objects.push_back(object);

    m_hasBounds = false;
    for (const CPSmartPtr<CPGameObject>& object : m_objects) {
        const CPBoundingBox& box = object->GetVisibleBounds();
        if (!m_hasBounds) {
            m_bounds = box;
            m_bounds.UpdateCentre();
            m_hasBounds = true;
        } else {
            m_bounds.Merge(box);
        }
    }

    std::vector<CPSmartPtr<CPGameObject>> trees;
    for (const CPSmartPtr<CPGameObject>& object : m_objects) object->CollectTree(trees);
    CountMaterials(trees);
    SortObjects();
}

void CPLevelBranch::AddMaterial(const CPSmartPtr<CPMaterial>& material) {
    if (material) m_materials.emplace(material.Get(), material);
}

void CPLevelBranch::CountMaterials(const std::vector<CPSmartPtr<CPGameObject>>& list) {
    for (const CPSmartPtr<CPGameObject>& object : list) {
        if (!object || !object->IsStatic() || object->GetKind() != IPSceneObject::KindMesh) continue;
        if (const CPRenderObject* mesh = object->GetRenderObject()) AddMaterial(mesh->GetMaterial());
        AddMaterial(object->GetShadowMaterial());
    }
}

void CPLevelBranch::SortObjects() {
    m_staticObjects.clear();
    m_dynamicObjects.clear();
    // The renderer keeps no static block of level geometry, so the "static" setting has
    // nothing to fill here: static objects are drawn through the per-frame block.
    for (const CPSmartPtr<CPGameObject>& object : m_objects)
        (object->IsStatic() ? m_staticObjects : m_dynamicObjects).push_back(object);
}

void CPLevelBranch::Build(int depth) {
    if (m_objects.empty()) return;

    D3DXVECTOR3 low = m_objects.front()->GetVisibleBounds().centre;
    D3DXVECTOR3 high = low;
    for (const CPSmartPtr<CPGameObject>& object : m_objects) {
        const D3DXVECTOR3& c = object->GetVisibleBounds().centre;
        low = D3DXVECTOR3(std::min(low.x, c.x), std::min(low.y, c.y), std::min(low.z, c.z));
        high = D3DXVECTOR3(std::max(high.x, c.x), std::max(high.y, c.y), std::max(high.z, c.z));
    }
    const D3DXVECTOR3 mid = (low + high) * 0.5f;

    CPSmartPtr<CPLevelBranch> first;
    CPSmartPtr<CPLevelBranch> second;
    for (int axis = 0; axis < 3; ++axis) {
        const float split = axis == 0 ? mid.x : axis == 1 ? mid.y : mid.z;
        std::vector<CPSmartPtr<CPGameObject>> above;
        std::vector<CPSmartPtr<CPGameObject>> below;
        for (const CPSmartPtr<CPGameObject>& object : m_objects) {
            const D3DXVECTOR3& c = object->GetVisibleBounds().centre;
            const float value = axis == 0 ? c.x : axis == 1 ? c.y : c.z;
            (value > split ? above : below).push_back(object);
        }
        if (above.empty() || below.empty()) continue;
        CPSmartPtr<CPLevelBranch> a(new CPLevelBranch());
        CPSmartPtr<CPLevelBranch> b(new CPLevelBranch());
        a->Init(above);
        b->Init(below);
        // Equal sums keep the earlier axis.
        if (!first ||
            a->GetMaterialCount() + b->GetMaterialCount() < first->GetMaterialCount() + second->GetMaterialCount()) {
            first = a;
            second = b;
        }
        // The losing pair is released here and goes with the next collection.
    }
    if (!first) return;
    m_firstChild = first;
    m_secondChild = second;
    m_firstChild->Build(depth + 1);
    m_secondChild->Build(depth + 1);
}

int CPLevelBranch::CollectVisible(const CPPerspectiveCamera* camera, int /*distance*/) {
    if (!m_hasBounds || !camera || !camera->IsInFrustum(m_bounds.minimum, m_bounds.maximum)) return kNoDistance;
    if (m_firstChild) {
        m_firstChild->CollectVisible(camera, kNoDistance);
        m_secondChild->CollectVisible(camera, kNoDistance);
    } else {
        CollectLeaf(camera);
    }
    return kNoDistance;
}

CPGameObject* CPLevelBranch::SelectDetail(CPGameObject& object, float squaredDistance, int drawDistance) {
    const std::vector<SPLevelOfDetail>& details = object.GetLevelsOfDetail();
    if (details.size() <= 1) return &object;
    // In double: the square of a large setting overflows an int.
    const double reach = static_cast<double>(drawDistance) * static_cast<double>(drawDistance);
    if (static_cast<double>(squaredDistance) > reach) return nullptr;
    for (std::size_t i = details.size() - 1; i >= 1; --i) {
        const double bound = static_cast<double>(details[i].distance) * static_cast<double>(details[i].distance);
        if (static_cast<double>(squaredDistance) > bound) return details[i].object;
    }
    return &object;
}

void CPLevelBranch::CollectLeaf(const CPPerspectiveCamera* camera) {
    CPRender* render = GetRender();
    if (!render) return;
    const CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock();
    if (!block) return;

    for (const CPSmartPtr<CPGameObject>& object : m_dynamicObjects) block->AddObjectTree(object.Get());

    const CPPerspectiveCamera* viewer = g_currentViewCamera ? g_currentViewCamera : camera;
    const D3DXVECTOR3 eye = viewer->eye;
    for (const CPSmartPtr<CPGameObject>& object : m_staticObjects) {
        const D3DXVECTOR3 d = object->GetPosition() - eye;
        const float squared = d.x * d.x + d.y * d.y + d.z * d.z;
        if (CPGameObject* chosen = SelectDetail(*object, squared, g_distance)) block->AddObjectTree(chosen);
    }
}

void CPLevelBranch::RemoveFromScene() {
    for (const CPSmartPtr<CPGameObject>& object : m_dynamicObjects) object->RemoveFromScene();
}

bool CPLevelBranch::RayWalk(SPRayPick& pick) {
    if (!m_hasBounds || !m_bounds.IntersectSegment(pick.origin, pick.direction, pick.distance)) return false;
    if (m_firstChild) {
        const bool first = m_firstChild->RayWalk(pick);
        const bool second = m_secondChild->RayWalk(pick);
        return first || second;
    }
    bool hit = false;
    for (const CPSmartPtr<CPGameObject>& object : m_objects)
        if (object->RayPick(pick)) hit = true;
    return hit;
}

void CPLevelBranch::CollectInSphere(const D3DXVECTOR3& point, float radius,
                                    std::vector<CPSmartPtr<CPGameObject>>& out) {
    if (!m_hasBounds || !m_bounds.IsWithinDistance(point, radius)) return;
    if (m_firstChild) {
        m_firstChild->CollectInSphere(point, radius, out);
        m_secondChild->CollectInSphere(point, radius, out);
        return;
    }
    for (const CPSmartPtr<CPGameObject>& object : m_objects)
        if (object->GetPickBounds().IsWithinDistance(point, radius)) out.push_back(object);
}
