#include "Physics/RbTerrainTree.h"

#include <algorithm>

void RbTerrainTreeNode::Init(RbTerrainTree* owner, int32_t value, const RbVector& minimum, const RbVector& maximum) {
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

bool RbTerrainTreeNode::Overlaps(const RbVector& minimum, const RbVector& maximum) const {
    // y, then x, then z; boxes that only touch overlap.
    static const int order[3] = {1, 0, 2};
    for (int k : order) {
        if (RbComp(minimum, k) > box[k][1] || RbComp(maximum, k) < box[k][0]) return false;
    }
    return true;
}

void RbTerrainTreeNode::Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum,
                              const RbVector& maximum, int depth) const {
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

void RbTerrainTree::Init(RbAllocator* allocator) {
    m_allocator = allocator;
    m_vertices.Init(allocator, 0, -1);
    m_triangles.Init(allocator, 0, -1);
    m_nodes.Init(allocator, 0, -1);
    m_indices.Init(allocator, 0, -1);
    m_root.Init(this, 0, RbVector{}, RbVector{});
}

void RbTerrainTree::Free() {
    m_triangles.Clear();
    m_vertices.Clear();
    m_nodes.Clear();
    m_indices.Clear();
    m_root.Init(this, 0, RbVector{}, RbVector{});
}

void RbTerrainTree::Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum,
                          const RbVector& maximum) const {
    bool hasChild = false;
    for (int32_t c : m_root.children) hasChild = hasChild || c >= 0;
    if (!hasChild && m_root.triangleCount == 0) return;
    m_root.Query(result, minimum, maximum, 0);
}

bool RbTerrainTree::SetVertices(const RbVector* vertices, int count) {
    m_vertices.Clear();
    for (int i = 0; i < count; ++i)
        if (!m_vertices.Push(vertices[i])) return false;
    return true;
}

int RbTerrainTree::AddTriangle(const RbTriangle& triangle) {
    for (int32_t v : triangle.vertex)
        if (v < 0 || v >= m_vertices.Size()) return -1;
    if (!m_triangles.Push(triangle)) return -1;
    return m_triangles.Size() - 1;
}

int RbTerrainTree::AddNode(const RbVector& minimum, const RbVector& maximum, const int* triangles, int count) {
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

bool RbTerrainTree::SetChild(int parent, int slot, int child) {
    if (slot < 0 || slot > 3 || child < 0 || child >= m_nodes.Size()) return false;
    if (parent == -1) {
        m_root.children[slot] = child;
        return true;
    }
    if (parent < 0 || parent >= m_nodes.Size() || parent == child) return false;
    m_nodes[parent].children[slot] = child;
    return true;
}

void RbTerrainTree::SetRootBox(const RbVector& minimum, const RbVector& maximum) {
    for (int k = 0; k < 3; ++k) {
        m_root.box[k][0] = RbComp(minimum, k);
        m_root.box[k][1] = RbComp(maximum, k);
    }
}

// ---------------------------------------------------------------- building

void RbTerrainTree::BoxOf(const Item* items, int count, RbVector& minimum, RbVector& maximum) const {
    minimum = RbVec(1e30f, 1e30f, 1e30f);
    maximum = RbVec(-1e30f, -1e30f, -1e30f);
    for (int i = 0; i < count; ++i) {
        const RbTriangle& t = m_triangles[items[i].triangle];
        for (int32_t v : t.vertex) {
            const RbVector& p = m_vertices[v];
            for (int k = 0; k < 3; ++k) {
                if (RbComp(p, k) < RbComp(minimum, k)) RbSetComp(minimum, k, RbComp(p, k));
                if (RbComp(p, k) > RbComp(maximum, k)) RbSetComp(maximum, k, RbComp(p, k));
            }
        }
    }
}

// Returns the node's index in the node array, or -1 when the array cannot grow.
int RbTerrainTree::BuildNode(Item* items, int count, int leafSize, int depth) {
    RbVector minimum, maximum;
    BoxOf(items, count, minimum, maximum);
    // Deep recursion only happens for piles of triangles with equal centroids,
    // which no split separates: they become one leaf.
    if (count <= leafSize || depth >= 24) {
        RbTerrainTreeNode node;
        node.Init(this, m_nodes.Size() + 1, minimum, maximum);
        node.firstTriangle = m_indices.Size();
        for (int i = 0; i < count; ++i) {
            if (!m_indices.Push(items[i].triangle)) return -1;
            ++node.triangleCount;
        }
        if (!m_nodes.Push(node)) return -1;
        return m_nodes.Size() - 1;
    }
    RbTerrainTreeNode inner;
    inner.Init(this, m_nodes.Size() + 1, minimum, maximum);
    if (!m_nodes.Push(inner)) return -1;
    int self = m_nodes.Size() - 1;
    // Halves along x, then each half along y (stable, so equal keys keep input order).
    std::stable_sort(items, items + count, [](const Item& a, const Item& b) { return a.cx < b.cx; });
    int half = count / 2;
    int starts[4], counts[4];
    starts[0] = 0;
    counts[0] = half / 2;
    starts[1] = counts[0];
    counts[1] = half - counts[0];
    starts[2] = half;
    counts[2] = (count - half) / 2;
    starts[3] = half + counts[2];
    counts[3] = count - half - counts[2];
    std::stable_sort(items, items + half, [](const Item& a, const Item& b) { return a.cy < b.cy; });
    std::stable_sort(items + half, items + count, [](const Item& a, const Item& b) { return a.cy < b.cy; });
    int slot = 0;
    for (int c = 0; c < 4; ++c) {
        if (counts[c] == 0) continue;
        int child = BuildNode(items + starts[c], counts[c], leafSize, depth + 1);
        if (child < 0) return -1;
        m_nodes[self].children[slot++] = child;
    }
    return self;
}

bool RbTerrainTree::Build(const RbVector* vertices, int vertexCount, const RbTriangle* triangles, int triangleCount,
                          int leafSize, int nodesStart) {
    Free();
    if (vertexCount < 0 || triangleCount < 0) return false;
    if ((vertexCount > 0 && !vertices) || (triangleCount > 0 && !triangles)) return false;
    for (int i = 0; i < vertexCount; ++i)
        if (!RbIsFinite(vertices[i])) return false;
    for (int i = 0; i < triangleCount; ++i)
        for (int32_t v : triangles[i].vertex)
            if (v < 0 || v >= vertexCount) return false;
    if (leafSize < 1) leafSize = 1;
    if (nodesStart > 0) m_nodes.Reserve(nodesStart);
    bool ok = m_vertices.Reserve(vertexCount) && m_triangles.Reserve(triangleCount) && m_indices.Reserve(triangleCount);
    for (int i = 0; ok && i < vertexCount; ++i) ok = m_vertices.Push(vertices[i]);
    for (int i = 0; ok && i < triangleCount; ++i) ok = m_triangles.Push(triangles[i]);
    if (!ok) {
        Free();
        return false;
    }
    if (triangleCount == 0) return true;

    RbArray<Item> items;
    items.Init(m_allocator, triangleCount, 0);
    for (int i = 0; i < triangleCount; ++i) {
        const RbTriangle& t = triangles[i];
        const RbVector& a = vertices[t.vertex[0]];
        const RbVector& b = vertices[t.vertex[1]];
        const RbVector& c = vertices[t.vertex[2]];
        Item item{i, (a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f};
        if (!items.Push(item)) {
            Free();
            return false;
        }
    }
    // The root is kept in the tree itself; its children are the top nodes.
    int top = BuildNode(items.Data(), items.Size(), leafSize, 0);
    if (top < 0) {
        Free();
        return false;
    }
    const RbTerrainTreeNode& topNode = m_nodes[top];
    RbVector minimum = RbVec(topNode.box[0][0], topNode.box[1][0], topNode.box[2][0]);
    RbVector maximum = RbVec(topNode.box[0][1], topNode.box[1][1], topNode.box[2][1]);
    m_root.Init(this, 0, minimum, maximum);
    m_root.children[0] = top;
    return true;
}
