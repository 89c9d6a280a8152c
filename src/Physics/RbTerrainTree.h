#pragma once
// The engine's own terrain triangle tree, asked for candidate triangles when the
// caller sets no terrain-query callback. It starts empty (and finds nothing) until
// Build gives it a vertex and triangle array.

#include "Physics/RbPool.h"

class RbTerrainTree;

struct RbTerrainTreeNode {
    RbTerrainTree* tree = nullptr;
    int32_t word = 0;
    int32_t children[4] = {-1, -1, -1, -1};
    float box[3][2] = {{0, 0}, {0, 0}, {0, 0}}; // per axis x, y, z: minimum, maximum
    int32_t firstTriangle = 0;                  // leaf: range in the tree's index list
    int32_t triangleCount = 0;

    void Init(RbTerrainTree* owner, int32_t value, const RbVector& minimum, const RbVector& maximum);
    bool Overlaps(const RbVector& minimum, const RbVector& maximum) const;
    void Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum, const RbVector& maximum,
               int depth) const;
};

class RbTerrainTree {
public:
    RbTerrainTree() = default;
    RbTerrainTree(const RbTerrainTree&) = delete;
    RbTerrainTree& operator=(const RbTerrainTree&) = delete;

    void Init(RbAllocator* allocator);
    void Free();
    void Query(RbArray<const RbTerrainTreeNode*>& result, const RbVector& minimum, const RbVector& maximum) const;

    // Builds the tree over copies of the arrays, replacing what it held. Leaves hold
    // at most leafSize triangles (at least 1); an inner node splits its triangles
    // into up to four children at the medians of their centroids along x, then y.
    // Refused (false, tree left empty) for negative counts, missing arrays, a vertex
    // that is not finite or a triangle index outside the vertex array.
    bool Build(const RbVector* vertices, int vertexCount, const RbTriangle* triangles, int triangleCount, int leafSize,
               int nodesStart);

    // Filling the tree by hand (tests).
    bool SetVertices(const RbVector* vertices, int count);
    int AddTriangle(const RbTriangle& triangle);
    // Adds a node with the given box; a non-empty index list makes it a leaf.
    int AddNode(const RbVector& minimum, const RbVector& maximum, const int* triangles, int count);
    bool SetChild(int parent, int slot, int child); // parent -1 = the root
    void SetRootBox(const RbVector& minimum, const RbVector& maximum);

    const RbVector* Vertices() { return m_vertices.Data(); }
    const RbTriangle* Triangles() { return m_triangles.Data(); }
    int TriangleCount() const { return m_triangles.Size(); }
    const int32_t* TriangleIndices() const { return m_indices.Size() ? &m_indices[0] : nullptr; }
    const RbTerrainTreeNode& Node(int index) const { return m_nodes[index]; }
    int NodeCount() const { return m_nodes.Size(); }
    const RbTerrainTreeNode& Root() const { return m_root; }

private:
    struct Item {
        int32_t triangle;
        float cx, cy;
    };
    int BuildNode(Item* items, int count, int leafSize, int depth);
    void BoxOf(const Item* items, int count, RbVector& minimum, RbVector& maximum) const;

    RbAllocator* m_allocator = nullptr;
    RbArray<RbVector> m_vertices;
    RbArray<RbTriangle> m_triangles;
    RbArray<RbTerrainTreeNode> m_nodes;
    RbArray<int32_t> m_indices;
    RbTerrainTreeNode m_root;
};
