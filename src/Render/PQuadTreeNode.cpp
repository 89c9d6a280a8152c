#include "Render/PQuadTreeNode.h"

#include <algorithm>

#include "Framework/PSettings.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderSeams.h"

namespace {

// An extent that covers nothing (the empty box, or one never filled) does not move a leaf's
// bounds.
bool CoversNothing(const CPBoundingBox& box) {
    return !(box.minimum.x <= box.maximum.x && box.minimum.y <= box.maximum.y && box.minimum.z <= box.maximum.z);
}

} // namespace

CPQuadTreeNode::~CPQuadTreeNode() = default;

void CPQuadTreeNode::SetBounds(const D3DXVECTOR3& centre, const D3DXVECTOR3& halfSize) {
    auto box = std::make_unique<CPBoundingBox>();
    box->minimum = centre - halfSize;
    box->maximum = centre + halfSize;
    box->halfSize = halfSize;
    box->centre = centre;
    m_bounds = std::move(box);
}

void CPQuadTreeNode::SetChild(int index, CPQuadTreeNode* child) {
    std::unique_ptr<CPQuadTreeNode> owned(child);
    if (index < 0 || index >= 4) return;
    m_children[static_cast<std::size_t>(index)] = std::move(owned);
}

void CPQuadTreeNode::AddObject(const CPSmartPtr<IPSceneObject>& object) { m_objects.push_back(object); }

CPQuadTreeNode* CPQuadTreeNode::GetChild(int index) const {
    if (index < 0 || index >= 4) return nullptr;
    return m_children[static_cast<std::size_t>(index)].get();
}

bool CPQuadTreeNode::IsLeaf() const {
    return std::none_of(m_children.begin(), m_children.end(), [](const auto& c) { return c != nullptr; });
}

int CPQuadTreeNode::CellOf(float x, float y, float cx, float cy) {
    // Written as "not below" so that a dividing line, and a position no comparison can place,
    // goes to the higher side.
    const bool highX = !(x < cx);
    const bool highY = !(y < cy);
    if (highX) return highY ? 1 : 2;
    return highY ? 3 : 0;
}

void CPQuadTreeNode::Build(const std::vector<CPSmartPtr<IPSceneObject>>& objects, int depth) {
    // A negative setting would never reach its depth; a large one would allocate 4^n leaves.
    const int levels = std::clamp(g_quadlevels, 0, kMaxLevels);
    if (!m_bounds) SetBounds(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    if (depth >= levels) {
        CPBoundingBox box = *m_bounds;
        bool bounded = false;
        for (const CPSmartPtr<IPSceneObject>& object : objects) {
            if (!object) continue;
            AddObject(object);
            const CPBoundingBox& extent = object->GetVisibleBounds();
            if (CoversNothing(extent)) continue;
            if (!bounded) {
                box.minimum = extent.minimum;
                box.maximum = extent.maximum;
                box.UpdateCentre();
                bounded = true;
            } else {
                box.Merge(extent);
            }
        }
        if (bounded) SetBounds(box.centre, box.halfSize);
        return;
    }

    const D3DXVECTOR3 c = m_bounds->centre;
    const D3DXVECTOR3 h = m_bounds->halfSize;
    const D3DXVECTOR3 childHalf(h.x / 2.0f, h.y / 2.0f, h.z);
    static constexpr float kSide[4][2] = {{-1.0f, -1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, 1.0f}};

    std::vector<CPSmartPtr<IPSceneObject>> cells[4];
    for (const CPSmartPtr<IPSceneObject>& object : objects) {
        if (!object) continue;
        const D3DXMATRIX& world = object->GetWorldMatrix();
        cells[CellOf(world._41, world._42, c.x, c.y)].push_back(object);
    }

    std::unique_ptr<CPQuadTreeNode> children[4];
    for (int i = 0; i < 4; ++i) {
        children[i] = std::make_unique<CPQuadTreeNode>();
        children[i]->SetBounds(D3DXVECTOR3(c.x + kSide[i][0] * childHalf.x, c.y + kSide[i][1] * childHalf.y, c.z),
                               childHalf);
    }
    for (int i = 0; i < 4; ++i) children[i]->Build(cells[i], depth + 1);

    CPBoundingBox box = *children[0]->m_bounds;
    for (int i = 1; i < 4; ++i) box.Merge(*children[i]->m_bounds);
    SetBounds(box.centre, box.halfSize);
    for (int i = 0; i < 4; ++i) SetChild(i, children[i].release());
}

void CPQuadTreeNode::CollectVisible(const CPPerspectiveCamera* camera) const {
    if (!camera) return;
    bool inner = false;
    for (const auto& child : m_children) {
        if (!child) continue;
        inner = true;
        const CPBoundingBox* bounds = child->m_bounds.get();
        if (bounds && camera->IsInFrustum(bounds->minimum, bounds->maximum)) child->CollectVisible(camera);
    }
    if (inner || m_objects.empty() || !m_bounds) return;

    const D3DXVECTOR3 d = camera->eye - m_bounds->centre;
    const float squared = d.x * d.x + d.y * d.y + d.z * d.z;
    // The draw distance squared in double: an int square overflows past 46340.
    const double reach = static_cast<double>(g_distance) * static_cast<double>(g_distance);
    if (!(static_cast<double>(squared) < reach)) return;

    CPRender* render = GetRender();
    if (!render) return;
    const CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock();
    if (!block) return;
    render->objectsAdded += static_cast<int>(m_objects.size());
    for (const CPSmartPtr<IPSceneObject>& object : m_objects)
        if (object) block->AddObjectTree(object.Get());
}
