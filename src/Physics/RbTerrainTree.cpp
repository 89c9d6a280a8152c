#include "Physics/RbTerrainTree.h"

void RbTerrainTreeNode::Init(RbTerrainTree* owner, int32_t value, const RbVector& minimum, const RbVector& maximum)
{
    tree = owner;
    word = value;
    for (int32_t& c : children) c = -1;
    for (int k = 0; k < 3; ++k) {
        box[k][0] = RbComp(minimum, k);
        box[k][1] = RbComp(maximum, k);
    }
    firstTriangle = 0;
    triangleCount = 0;
}

bool RbTerrainTreeNode::Overlaps(const RbVector& minimum, const RbVector& maximum) const
{
    // y, then x, then z; boxes that only touch overlap.
    static const int order[3] = {1, 0, 2};
    for (int k : order) {
        if (RbComp(minimum, k) > box[k][1] || RbComp(maximum, k) < box[k][0]) return false;
    }
    return true;
}

void RbTerrainTreeNode::Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum,
                              const RbVector& maximum, int depth) const
{
    if (!Overlaps(minimum, maximum)) return;
    if (triangleCount == 0) {
        // A malformed tree must not recurse for ever.
        if (depth > 64) return;
        for (int32_t child : children) {
            if (child < 0 || child >= tree->NodeCount()) continue;
            tree->Node(child).Query(result, minimum, maximum, depth + 1);
        }
        return;
    }
    result.Push(this);
}

void RbTerrainTree::Init(RbAllocator* allocator)
{
    m_vertices.Init(allocator, 0, -1);
    m_triangles.Init(allocator, 0, -1);
    m_nodes.Init(allocator, 0, -1);
    m_indices.Init(allocator, 0, -1);
    m_root.Init(this, 0, RbVector{}, RbVector{});
}

void RbTerrainTree::Free()
{
    m_triangles.Clear();
    m_vertices.Clear();
    m_nodes.Clear();
    m_indices.Clear();
    m_root.Init(this, 0, RbVector{}, RbVector{});
}

void RbTerrainTree::Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum,
                          const RbVector& maximum) const
{
    bool hasChild = false;
    for (int32_t c : m_root.children) hasChild = hasChild || c >= 0;
    if (!hasChild && m_root.triangleCount == 0) return;
    m_root.Query(result, minimum, maximum, 0);
}

bool RbTerrainTree::SetVertices(const RbVector* vertices, int count)
{
    m_vertices.Clear();
    for (int i = 0; i < count; ++i)
        if (!m_vertices.Push(vertices[i])) return false;
    return true;
}

int RbTerrainTree::AddTriangle(const RbTriangle& triangle)
{
    for (int32_t v : triangle.vertex)
        if (v < 0 || v >= m_vertices.Size()) return -1;
    if (!m_triangles.Push(triangle)) return -1;
    return m_triangles.Size() - 1;
}

int RbTerrainTree::AddNode(const RbVector& minimum, const RbVector& maximum, const int* triangles, int count)
{
    RbTerrainTreeNode node;
    node.Init(this, m_nodes.Size() + 1, minimum, maximum);
    node.firstTriangle = m_indices.Size();
    for (int i = 0; i < count; ++i) {
        if (triangles[i] < 0 || triangles[i] >= m_triangles.Size()) continue;
        if (!m_indices.Push(triangles[i])) return -1;
        ++node.triangleCount;
    }
    if (!m_nodes.Push(node)) return -1;
    return m_nodes.Size() - 1;
}

bool RbTerrainTree::SetChild(int parent, int slot, int child)
{
    if (slot < 0 || slot > 3 || child < 0 || child >= m_nodes.Size()) return false;
    if (parent == -1) {
        m_root.children[slot] = child;
        return true;
    }
    if (parent < 0 || parent >= m_nodes.Size() || parent == child) return false;
    m_nodes[parent].children[slot] = child;
    return true;
}

void RbTerrainTree::SetRootBox(const RbVector& minimum, const RbVector& maximum)
{
    for (int k = 0; k < 3; ++k) {
        m_root.box[k][0] = RbComp(minimum, k);
        m_root.box[k][1] = RbComp(maximum, k);
    }
}
