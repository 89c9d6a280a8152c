#pragma once
// Convex hulls: the data block a hull shape (type 8) points at, and its builder.
// Faces are triangles with outward unit normals; every index is a byte, so a hull
// has at most 255 faces, vertices and edges (a triangulated hull of up to 86
// vertices).

#include "Physics/RbTypes.h"

#include <cstdint>

struct RbConvexHull {
    int32_t faceCount = 0;
    int32_t vertexCount = 0;
    int32_t edgeCount = 0;
    int32_t users = 0; // shapes that point at this hull
    // Per face: unit outward normal, and in w the plane distance -(n . first vertex).
    RbVector* planes = nullptr;
    RbVector* vertices = nullptr; // in the shape's frame
    // Per face: the faces across its three edges, its three vertices (counter-
    // clockwise seen from outside) and its three edges.
    uint8_t (*faceNeighbours)[3] = nullptr;
    uint8_t (*faceVertices)[3] = nullptr;
    uint8_t (*faceEdges)[3] = nullptr;
    // Per vertex: the start of its edge list in vertexEdgeLists, ended by 255.
    int32_t* vertexEdgeStart = nullptr;
    uint8_t* vertexEdgeLists = nullptr;
    // Per edge: the two faces it separates, then its two vertices.
    uint8_t (*edges)[4] = nullptr;
    // A flat side of the solid is split into triangle faces sharing one plane: the
    // first face of each plane, and the edges between faces of two planes (the
    // solid's own edges). The separating-axis tests read only these.
    int32_t planeFaceCount = 0;
    int32_t solidEdgeCount = 0;
    uint8_t* planeFaces = nullptr;
    uint8_t* solidEdges = nullptr;
    RbConvexHull* nextHull = nullptr; // the simulator's list of hulls
};

// Result of building a hull from points.
enum RbHullResult : int32_t {
    RbHullBuilt = 0,
    RbHullTooFewPoints, // fewer than four points not in one plane
    RbHullNotFinite,    // a coordinate is NaN or infinite
    RbHullTooComplex,   // more than 255 faces, vertices or edges
    RbHullNoMemory,
};

class RbAllocator;

// Builds a hull from a point cloud into a block from the allocator (points inside
// the hull, duplicates and points on its faces are left out). Null on failure,
// with the reason in *result when given.
RbConvexHull* RbBuildConvexHull(RbAllocator* allocator, const RbVector* points, int count, RbHullResult* result);
void RbFreeConvexHull(RbAllocator* allocator, RbConvexHull* hull);
