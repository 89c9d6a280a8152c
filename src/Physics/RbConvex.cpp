// Convex hulls: building the hull data block from points, and the separating-
// axis test of hulls, boxes and terrain triangles over their face and edge tables.

#include "Physics/RbConvex.h"

#include "Physics/RbCollide.h"
#include "Physics/RbSimulator.h"

#include <array>
#include <cstring>
#include <new>
#include <vector>

// ---------------------------------------------------------------- building

namespace {

struct BuildFace {
    int v[3];
    RbVector n;
    float d = 0.0f; // n . x = d on the plane
    bool alive = true;
};

bool MakeFace(BuildFace& f, const std::vector<RbVector>& p, int a, int b, int c) {
    f.v[0] = a;
    f.v[1] = b;
    f.v[2] = c;
    RbVector n = RbCross(p[b] - p[a], p[c] - p[a]);
    float len = std::sqrt(RbLengthSq(n));
    if (!(len > 0.0f)) return false;
    f.n = n * (1.0f / len);
    f.d = RbDot(f.n, p[a]);
    f.alive = true;
    return true;
}

size_t Align16(size_t n) { return (n + 15) & ~static_cast<size_t>(15); }

// Every coordinate finite and the cloud not a single point; eps is the tolerance
// of the later steps, scaled to the cloud's extent.
RbHullResult CheckPoints(const std::vector<RbVector>& p, float& eps) {
    RbVector lo = p[0], hi = p[0];
    for (const RbVector& q : p) {
        if (!RbIsFinite(q)) return RbHullNotFinite;
        for (int k = 0; k < 3; ++k) {
            if (RbComp(q, k) < RbComp(lo, k)) RbSetComp(lo, k, RbComp(q, k));
            if (RbComp(q, k) > RbComp(hi, k)) RbSetComp(hi, k, RbComp(q, k));
        }
    }
    float size = std::sqrt(RbLengthSq(hi - lo));
    if (!(size > 0.0f)) return RbHullTooFewPoints;
    eps = size * 1e-5f;
    return RbHullBuilt;
}

// A first tetrahedron of extreme points: the leftmost point, the one furthest
// from it, the one furthest from their line and the one furthest from their
// plane. False when the points lie in one plane.
bool FirstTetrahedron(const std::vector<RbVector>& p, float eps, int corner[4]) {
    int count = static_cast<int>(p.size());
    int i0 = 0;
    for (int i = 1; i < count; ++i)
        if (p[i].x < p[i0].x) i0 = i;
    int i1 = -1;
    float best = eps * eps;
    for (int i = 0; i < count; ++i) {
        float d = RbLengthSq(p[i] - p[i0]);
        if (d > best) best = d, i1 = i;
    }
    if (i1 < 0) return false;
    int i2 = -1;
    best = eps;
    RbVector line = RbNormalize(p[i1] - p[i0]);
    for (int i = 0; i < count; ++i) {
        RbVector r = p[i] - p[i0];
        float d = std::sqrt(RbLengthSq(r - line * RbDot(r, line)));
        if (d > best) best = d, i2 = i;
    }
    if (i2 < 0) return false;
    RbVector planeN = RbNormalize(RbCross(p[i1] - p[i0], p[i2] - p[i0]));
    int i3 = -1;
    best = eps;
    for (int i = 0; i < count; ++i) {
        float d = std::fabs(RbDot(p[i] - p[i0], planeN));
        if (d > best) best = d, i3 = i;
    }
    if (i3 < 0) return false;
    corner[0] = i0;
    corner[1] = i1;
    corner[2] = i2;
    corner[3] = i3;
    return true;
}

// The tetrahedron's four faces, each turned to face away from its centre.
bool TetrahedronFaces(const std::vector<RbVector>& p, const int corner[4], std::vector<BuildFace>& faces) {
    int i0 = corner[0], i1 = corner[1], i2 = corner[2], i3 = corner[3];
    RbVector inside = (p[i0] + p[i1] + p[i2] + p[i3]) * 0.25f;
    const int tetra[4][3] = {{i0, i1, i2}, {i0, i3, i1}, {i1, i3, i2}, {i2, i3, i0}};
    for (const auto& t : tetra) {
        BuildFace f;
        if (!MakeFace(f, p, t[0], t[1], t[2])) return false;
        if (RbDot(f.n, inside) > f.d) MakeFace(f, p, t[0], t[2], t[1]);
        faces.push_back(f);
    }
    return true;
}

// Adds point i if it lies beyond some face: its visible faces give way to a fan
// from the horizon.
void AddPoint(std::vector<BuildFace>& faces, const std::vector<RbVector>& p, int i, float eps) {
    std::vector<int> visible;
    for (size_t f = 0; f < faces.size(); ++f)
        if (faces[f].alive && RbDot(faces[f].n, p[i]) - faces[f].d > eps) visible.push_back(static_cast<int>(f));
    if (visible.empty()) return;
    std::vector<bool> isVisible(faces.size(), false);
    for (int f : visible) isVisible[f] = true;
    std::vector<std::pair<int, int>> horizon;
    for (int f : visible) {
        for (int k = 0; k < 3; ++k) {
            int a = faces[f].v[k], b = faces[f].v[(k + 1) % 3];
            bool shared = false;
            for (size_t g = 0; g < faces.size() && !shared; ++g) {
                if (!faces[g].alive || isVisible[g]) continue;
                for (int m = 0; m < 3; ++m)
                    if (faces[g].v[m] == b && faces[g].v[(m + 1) % 3] == a) shared = true;
            }
            if (shared) horizon.push_back({a, b});
        }
    }
    std::vector<BuildFace> added;
    for (const auto& e : horizon) {
        BuildFace f;
        // A point whose fan would hold a sliver is too close to the hull to matter.
        if (!MakeFace(f, p, e.first, e.second, i)) return;
        added.push_back(f);
    }
    for (int f : visible) faces[f].alive = false;
    for (const BuildFace& f : added) faces.push_back(f);
}

// The live faces, with their corners renumbered over the vertices they use.
void CompactFaces(const std::vector<BuildFace>& faces, const std::vector<RbVector>& p, std::vector<BuildFace>& live,
                  std::vector<RbVector>& verts) {
    for (const BuildFace& f : faces)
        if (f.alive) live.push_back(f);
    std::vector<int> remap(p.size(), -1);
    for (BuildFace& f : live) {
        for (int& v : f.v) {
            if (remap[v] < 0) {
                remap[v] = static_cast<int>(verts.size());
                verts.push_back(p[v]);
            }
            v = remap[v];
        }
    }
}

// Edges between the faces: per edge its two faces, then its two vertices; per
// face its three edges. False unless every edge joins exactly two faces.
bool BuildEdges(const std::vector<BuildFace>& live, int edgeCount, std::vector<std::array<int, 4>>& edges,
                std::vector<std::array<int, 3>>& faceEdges) {
    int faceCount = static_cast<int>(live.size());
    faceEdges.resize(faceCount);
    for (int f = 0; f < faceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            int a = live[f].v[k], b = live[f].v[(k + 1) % 3];
            int found = -1;
            for (size_t e = 0; e < edges.size() && found < 0; ++e)
                if (edges[e][2] == b && edges[e][3] == a) found = static_cast<int>(e);
            if (found < 0) {
                edges.push_back({f, -1, a, b});
                found = static_cast<int>(edges.size()) - 1;
            } else {
                edges[found][1] = f;
            }
            faceEdges[f][k] = found;
        }
    }
    if (static_cast<int>(edges.size()) != edgeCount) return false;
    for (const auto& e : edges)
        if (e[1] < 0) return false;
    return true;
}

// One block from the allocator holding the hull record and its tables; null
// when the allocator has no room.
RbConvexHull* WriteHull(RbAllocator* allocator, const std::vector<BuildFace>& live, const std::vector<RbVector>& verts,
                        const std::vector<std::array<int, 4>>& edges,
                        const std::vector<std::array<int, 3>>& faceEdges) {
    int faceCount = static_cast<int>(live.size());
    int vertexCount = static_cast<int>(verts.size());
    int edgeCount = static_cast<int>(edges.size());
    size_t listBytes = static_cast<size_t>(2 * edgeCount + vertexCount);
    size_t bytes = Align16(sizeof(RbConvexHull)) + 16u * static_cast<size_t>(faceCount + vertexCount) +
                   4u * static_cast<size_t>(vertexCount) + 10u * static_cast<size_t>(faceCount) + listBytes +
                   5u * static_cast<size_t>(edgeCount);
    void* block = allocator->Alloc(bytes, 0);
    if (!block) return nullptr;
    std::memset(block, 0, bytes);
    uint8_t* cursor = static_cast<uint8_t*>(block);
    RbConvexHull* hull = new (cursor) RbConvexHull();
    cursor += Align16(sizeof(RbConvexHull));
    hull->planes = reinterpret_cast<RbVector*>(cursor);
    cursor += 16u * faceCount;
    hull->vertices = reinterpret_cast<RbVector*>(cursor);
    cursor += 16u * vertexCount;
    hull->vertexEdgeStart = reinterpret_cast<int32_t*>(cursor);
    cursor += 4u * vertexCount;
    hull->faceNeighbours = reinterpret_cast<uint8_t(*)[3]>(cursor);
    cursor += 3u * faceCount;
    hull->faceVertices = reinterpret_cast<uint8_t(*)[3]>(cursor);
    cursor += 3u * faceCount;
    hull->faceEdges = reinterpret_cast<uint8_t(*)[3]>(cursor);
    cursor += 3u * faceCount;
    hull->edges = reinterpret_cast<uint8_t(*)[4]>(cursor);
    cursor += 4u * edgeCount;
    hull->planeFaces = cursor;
    cursor += faceCount;
    hull->solidEdges = cursor;
    cursor += edgeCount;
    hull->vertexEdgeLists = cursor;

    hull->faceCount = faceCount;
    hull->vertexCount = vertexCount;
    hull->edgeCount = edgeCount;
    for (int v = 0; v < vertexCount; ++v) hull->vertices[v] = RbVec(verts[v].x, verts[v].y, verts[v].z);
    for (int f = 0; f < faceCount; ++f) {
        RbVector n = live[f].n;
        hull->planes[f] = RbVec(n.x, n.y, n.z, -RbDot(n, verts[live[f].v[0]]));
        for (int k = 0; k < 3; ++k) {
            hull->faceVertices[f][k] = static_cast<uint8_t>(live[f].v[k]);
            hull->faceEdges[f][k] = static_cast<uint8_t>(faceEdges[f][k]);
            const auto& e = edges[faceEdges[f][k]];
            hull->faceNeighbours[f][k] = static_cast<uint8_t>(e[0] == f ? e[1] : e[0]);
        }
    }
    for (int e = 0; e < edgeCount; ++e)
        for (int k = 0; k < 4; ++k) hull->edges[e][k] = static_cast<uint8_t>(edges[e][k]);
    // Faces whose normals are parallel and alike lie in one plane of a convex solid.
    auto samePlane = [](const RbVector& m, const RbVector& n) {
        return RbDot(m, n) > 0.0f && RbLengthSq(RbCross(m, n)) < 1e-8f;
    };
    for (int f = 0; f < faceCount; ++f) {
        bool seen = false;
        for (int k = 0; k < hull->planeFaceCount && !seen; ++k)
            seen = samePlane(live[hull->planeFaces[k]].n, live[f].n);
        if (!seen) hull->planeFaces[hull->planeFaceCount++] = static_cast<uint8_t>(f);
    }
    for (int e = 0; e < edgeCount; ++e)
        if (!samePlane(live[edges[e][0]].n, live[edges[e][1]].n))
            hull->solidEdges[hull->solidEdgeCount++] = static_cast<uint8_t>(e);
    int at = 0;
    for (int v = 0; v < vertexCount; ++v) {
        hull->vertexEdgeStart[v] = at;
        for (int e = 0; e < edgeCount; ++e)
            if (edges[e][2] == v || edges[e][3] == v) hull->vertexEdgeLists[at++] = static_cast<uint8_t>(e);
        hull->vertexEdgeLists[at++] = 255;
    }
    return hull;
}

} // namespace

RbConvexHull* RbBuildConvexHull(RbAllocator* allocator, const RbVector* points, int count, RbHullResult* result) {
    auto fail = [&](RbHullResult why) -> RbConvexHull* {
        if (result) *result = why;
        return nullptr;
    };
    if (!allocator || !points || count < 4) return fail(RbHullTooFewPoints);
    std::vector<RbVector> p(points, points + count);
    float eps = 0.0f;
    RbHullResult checked = CheckPoints(p, eps);
    if (checked != RbHullBuilt) return fail(checked);

    int corner[4];
    std::vector<BuildFace> faces;
    if (!FirstTetrahedron(p, eps, corner) || !TetrahedronFaces(p, corner, faces)) return fail(RbHullTooFewPoints);
    for (int i = 0; i < count; ++i)
        if (i != corner[0] && i != corner[1] && i != corner[2] && i != corner[3]) AddPoint(faces, p, i, eps);

    std::vector<BuildFace> live;
    std::vector<RbVector> verts;
    CompactFaces(faces, p, live, verts);
    int faceCount = static_cast<int>(live.size());
    int vertexCount = static_cast<int>(verts.size());
    int edgeCount = faceCount * 3 / 2;
    if (faceCount > 255 || vertexCount > 255 || edgeCount > 255) return fail(RbHullTooComplex);
    std::vector<std::array<int, 4>> edges;
    std::vector<std::array<int, 3>> faceEdges;
    if (!BuildEdges(live, edgeCount, edges, faceEdges)) return fail(RbHullTooFewPoints);

    RbConvexHull* hull = WriteHull(allocator, live, verts, edges, faceEdges);
    if (!hull) return fail(RbHullNoMemory);
    if (result) *result = RbHullBuilt;
    return hull;
}

void RbFreeConvexHull(RbAllocator* allocator, RbConvexHull* hull) {
    if (!allocator || !hull) return;
    hull->~RbConvexHull();
    allocator->Free(hull);
}

// ---------------------------------------------------------------- views for the search

namespace {

// The box as a hull: faces +y, -y, +x, -x, +z, -z; vertex i has x from bit 2,
// y from bit 1 and z from bit 0 (set = +1).
const uint8_t kBoxFaceVertices[6][4] = {{2, 3, 6, 7}, {0, 1, 4, 5}, {4, 5, 6, 7},
                                        {0, 1, 2, 3}, {1, 3, 5, 7}, {0, 2, 4, 6}};
const uint8_t kBoxEdges[12][4] = {{0, 2, 6, 7}, {0, 3, 2, 3}, {0, 4, 3, 7}, {0, 5, 2, 6}, {1, 2, 4, 5}, {1, 3, 0, 1},
                                  {1, 4, 1, 5}, {1, 5, 0, 4}, {2, 4, 5, 7}, {2, 5, 4, 6}, {3, 4, 1, 3}, {3, 5, 0, 2}};
const uint8_t kBoxVertexEdges[8][4] = {{5, 7, 11, 255}, {5, 6, 10, 255}, {1, 3, 11, 255}, {1, 2, 10, 255},
                                       {4, 7, 9, 255},  {4, 6, 8, 255},  {0, 3, 9, 255},  {0, 2, 8, 255}};
const float kBoxNormals[6][3] = {{0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
const uint8_t kTriangleEdges[3][4] = {{0, 1, 0, 1}, {0, 1, 1, 2}, {0, 1, 2, 0}};
const uint8_t kIndices[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

// A uniform world-space view of a box, a hull or a single triangle.
struct HullView {
    int type = 0;
    int faceCount = 0;
    int vertexCount = 0;
    int edgeCount = 0;
    RbVector vertices[256]; // world
    RbVector normals[256];  // world, outward
    float distances[256];   // n . (a vertex of the face)
    const uint8_t (*edges)[4] = nullptr;
    // The faces the face test reads, one per plane, and the edges the edge search
    // reads, the solid's own.
    const uint8_t* planeFaces = kIndices;
    int planeFaceCount = 0;
    const uint8_t* solidEdges = kIndices;
    int solidEdgeCount = 0;
    const RbConvexHull* hull = nullptr;
    RbMatrix transform;
    RbVector centre;
    // For the edge search: per edge, the cross product of its two face normals (second
    // x first), and the edges whose two faces are not (nearly) parallel. A hull's faces
    // are triangles, so its flat faces are split by edges that are no edges of the
    // solid: an axis across one of them is never deeper than the solid's own axes, and
    // skipping them spares most of the search. A triangle's two faces are its two sides:
    // all its edges count.
    // The parallel faces are found once, when a hull is built.
    RbVector arcs[256];

    void PrepareArcs() {
        for (int k = 0; k < solidEdgeCount; ++k) {
            const int i = solidEdges[k];
            arcs[i] = RbCross(normals[edges[i][1]], normals[edges[i][0]]);
        }
    }

    void SetupBox(const RbGeometry& g, const RbMatrix& t) {
        type = RbGeomBox;
        transform = t;
        faceCount = 6;
        vertexCount = 8;
        edgeCount = 12;
        edges = kBoxEdges;
        planeFaces = kIndices;
        planeFaceCount = 6;
        solidEdges = kIndices;
        solidEdgeCount = 12;
        for (int i = 0; i < 8; ++i) {
            RbVector local = RbVec((i & 4) ? g.params[0] : -g.params[0], (i & 2) ? g.params[1] : -g.params[1],
                                   (i & 1) ? g.params[2] : -g.params[2]);
            vertices[i] = RbTransformPoint(t, local);
        }
        for (int f = 0; f < 6; ++f) {
            normals[f] = RbRotate(t, RbVec(kBoxNormals[f][0], kBoxNormals[f][1], kBoxNormals[f][2]));
            distances[f] = RbDot(normals[f], vertices[kBoxFaceVertices[f][0]]);
        }
        centre = RbPosition(t);
    }
    void SetupHull(const RbConvexHull* h, const RbMatrix& t) {
        type = RbGeomConvex;
        hull = h;
        transform = t;
        faceCount = h->faceCount;
        vertexCount = h->vertexCount;
        edgeCount = h->edgeCount;
        edges = h->edges;
        planeFaces = h->planeFaces;
        planeFaceCount = h->planeFaceCount;
        solidEdges = h->solidEdges;
        solidEdgeCount = h->solidEdgeCount;
        RbVector sum;
        for (int v = 0; v < vertexCount; ++v) {
            vertices[v] = RbTransformPoint(t, h->vertices[v]);
            sum += vertices[v];
        }
        for (int f = 0; f < faceCount; ++f) normals[f] = RbRotate(t, h->planes[f]);
        for (int k = 0; k < planeFaceCount; ++k) {
            const int f = planeFaces[k];
            distances[f] = RbDot(normals[f], vertices[h->faceVertices[f][0]]);
        }
        centre = sum * (1.0f / static_cast<float>(vertexCount));
    }
    // A triangle's two sides are its two faces; degenerate triangles get a zero normal.
    void SetupTriangle(const RbVector& a, const RbVector& b, const RbVector& c) {
        type = RbGeomTriangle;
        faceCount = 2;
        vertexCount = 3;
        edgeCount = 3;
        edges = kTriangleEdges;
        planeFaces = kIndices;
        planeFaceCount = 2;
        solidEdges = kIndices;
        solidEdgeCount = 3;
        vertices[0] = a;
        vertices[1] = b;
        vertices[2] = c;
        RbVector n = RbNormalize(RbCross(b - a, c - b));
        normals[0] = n;
        normals[1] = -n;
        distances[0] = RbDot(n, a);
        distances[1] = -distances[0];
        centre = (a + b + c) * 0.33333334f;
    }

    // The vertex minimising direction . vertex.
    int Support(const RbVector& direction) const {
        if (type == RbGeomBox) {
            int index = 0;
            for (int k = 0; k < 3; ++k) {
                RbVector axis = RbRow(transform, k);
                axis.w = 0.0f;
                if (RbDot(direction, axis) <= 0.0f) index |= 4 >> k;
            }
            return index;
        }
        if (type == RbGeomConvex && vertexCount > 32) {
            // Hill climbing over the edge lists (a convex hull has no other maximum).
            int current = 0;
            float bestValue = -RbDot(direction, vertices[0]);
            for (int guard = 0; guard < 256; ++guard) {
                int next = -1;
                for (int at = hull->vertexEdgeStart[current]; hull->vertexEdgeLists[at] != 255; ++at) {
                    const uint8_t* e = hull->edges[hull->vertexEdgeLists[at]];
                    int other = e[2] == current ? e[3] : e[2];
                    float value = -RbDot(direction, vertices[other]);
                    if (value > bestValue) {
                        bestValue = value;
                        next = other;
                        break;
                    }
                }
                if (next < 0) break;
                current = next;
            }
            return current;
        }
        // A small hull is scanned whole: cheaper than walking its edge lists.
        int index = 0;
        float best = RbDot(direction, vertices[0]);
        for (int v = 1; v < vertexCount; ++v) {
            float value = RbDot(direction, vertices[v]);
            if (value < best) best = value, index = v;
        }
        return index;
    }

    // The lowest and highest of axis . vertex over the shape.
    void Interval(const RbVector& axis, float& low, float& high) const {
        if (type == RbGeomBox || vertexCount > 32) {
            low = RbDot(axis, vertices[Support(axis)]);
            high = RbDot(axis, vertices[Support(-axis)]);
            return;
        }
        low = high = RbDot(axis, vertices[0]);
        for (int v = 1; v < vertexCount; ++v) {
            float value = RbDot(axis, vertices[v]);
            if (value < low) low = value;
            if (value > high) high = value;
        }
    }
};

struct SatResult {
    int kind = 0; // 0 none, 1 face of A, 2 face of B, 3 edge pair
    float depth = 1e30f;
    RbVector axis; // from A toward B
    RbVector pointA, pointB;
};

// Clamped closest points of two segments.
void ClosestOnSegments(const RbVector& p1, const RbVector& q1, const RbVector& p2, const RbVector& q2, RbVector& c1,
                       RbVector& c2) {
    RbSegmentPoints sp = RbSegmentClosestPoints(p1, q1, p2, q2);
    if (sp.valid) {
        c1 = sp.point1;
        c2 = sp.point2;
        return;
    }
    RbVector d1 = q1 - p1, d2 = q2 - p2, r = p1 - p2;
    float a = RbDot(d1, d1), e = RbDot(d2, d2), f = RbDot(d2, r);
    float s = 0.0f, t = 0.0f;
    auto clamp01 = [](float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); };
    if (a <= 1e-12f && e <= 1e-12f) {
        c1 = p1;
        c2 = p2;
        return;
    }
    if (a <= 1e-12f) {
        t = clamp01(f / e);
    } else {
        float c = RbDot(d1, r);
        if (e <= 1e-12f) {
            s = clamp01(-c / a);
        } else {
            float b = RbDot(d1, d2);
            float denom = a * e - b * b;
            s = denom > 1e-12f ? clamp01((b * f - c * e) / denom) : 0.0f;
            t = (b * s + f) / e;
            if (t < 0.0f) {
                t = 0.0f;
                s = clamp01(-c / a);
            } else if (t > 1.0f) {
                t = 1.0f;
                s = clamp01((b - c) / a);
            }
        }
    }
    c1 = p1 + d1 * s;
    c2 = p2 + d2 * t;
}

// Separating-axis test of two views. False when an axis separates them; that axis
// goes to *parting when given.
bool Separate(HullView& A, HullView& B, SatResult& out, RbVector* parting = nullptr) {
    // Faces of one view: how far the other's deepest vertex lies behind each face plane.
    auto faces = [parting](const HullView& P, const HullView& Q, float& best, int& face, int& vertex) {
        for (int k = 0; k < P.planeFaceCount; ++k) {
            const int f = P.planeFaces[k];
            const RbVector& n = P.normals[f];
            if (RbLengthSq(n) < 0.5f) continue;
            int v = Q.Support(n);
            float depth = P.distances[f] - RbDot(n, Q.vertices[v]);
            if (depth <= 0.0f) {
                if (parting) *parting = n;
                return false;
            }
            if (depth < best) best = depth, face = f, vertex = v;
        }
        return true;
    };
    float bestA = 1e30f, bestB = 1e30f;
    int faceA = -1, vertexB = -1, faceB = -1, vertexA = -1;
    // Either order finds the same answer; a triangle's own plane is the cheapest test
    // and rejects most terrain candidates, so it goes first.
    if (B.type == RbGeomTriangle) {
        if (!faces(B, A, bestB, faceB, vertexA) || !faces(A, B, bestA, faceA, vertexB)) return false;
    } else {
        if (!faces(A, B, bestA, faceA, vertexB) || !faces(B, A, bestB, faceB, vertexA)) return false;
    }
    // Edge pairs: the cross product of the two edge directions, pointing from A to B.
    float bestE = 1e30f;
    int edgeA = -1, edgeB = -1;
    RbVector edgeAxis;
    RbVector towards = B.centre - A.centre;
    // Only edge pairs whose arcs cross on the sphere of normals can give the axis
    // (a triangle's arcs are half circles, so its pairs are all tried).
    // With f, g the normals of A's edge and h, k the negated normals of B's edge, the
    // arcs cross when h.(g x f) and k.(g x f) differ in sign, f.(k x h) and g.(k x h)
    // differ in sign, and h.(g x f) and g.(k x h) agree; k x h is B's own arc.
    bool prune = A.type != RbGeomTriangle && B.type != RbGeomTriangle;
    if (prune) {
        A.PrepareArcs();
        B.PrepareArcs();
    }
    // Against a triangle, an edge's arc runs from the triangle's normal n through
    // the outward direction o across the edge to -n: the directions across the
    // edge e whose o part is not negative. The negated arc is crossed by A's arc
    // from f to g when f . e and g . e differ in sign, at the point
    // p = sign(g . e) (f (g . e) - g (f . e)), when p . o < 0.
    bool pruneTriangle = A.type != RbGeomTriangle && B.type == RbGeomTriangle && RbLengthSq(B.normals[0]) > 0.5f;
    RbVector triangleEdge[3], triangleOut[3];
    if (pruneTriangle)
        for (int j = 0; j < 3; ++j) {
            triangleEdge[j] = B.vertices[B.edges[j][3]] - B.vertices[B.edges[j][2]];
            triangleOut[j] = RbCross(triangleEdge[j], B.normals[0]);
        }
    const int countA = A.solidEdgeCount;
    const int countB = B.solidEdgeCount;
    for (int ia = 0; ia < countA; ++ia) {
        const int i = A.solidEdges[ia];
        RbVector ea = A.vertices[A.edges[i][3]] - A.vertices[A.edges[i][2]];
        const RbVector& f = A.normals[A.edges[i][0]];
        const RbVector& g = A.normals[A.edges[i][1]];
        for (int jb = 0; jb < countB; ++jb) {
            const int j = B.solidEdges[jb];
            if (pruneTriangle) {
                float fe = RbDot(f, triangleEdge[j]), ge = RbDot(g, triangleEdge[j]);
                if (fe * ge > 0.0f) continue;
                float side = ge > 0.0f ? 1.0f : -1.0f;
                if (side * (RbDot(f, triangleOut[j]) * ge - RbDot(g, triangleOut[j]) * fe) > 0.0f) continue;
            } else if (prune) {
                const RbVector& gf = A.arcs[i];
                const RbVector& kh = B.arcs[j];
                float hgf = -RbDot(B.normals[B.edges[j][0]], gf), kgf = -RbDot(B.normals[B.edges[j][1]], gf);
                float fkh = RbDot(f, kh), gkh = RbDot(g, kh);
                if (!(hgf * kgf < 0.0f && fkh * gkh < 0.0f && hgf * gkh > 0.0f)) continue;
            }
            RbVector eb = B.vertices[B.edges[j][3]] - B.vertices[B.edges[j][2]];
            RbVector axis = RbCross(ea, eb);
            float sq = RbLengthSq(axis);
            if (sq < 1e-6f * RbLengthSq(ea) * RbLengthSq(eb) || sq < 1e-12f) continue;
            axis = axis * (1.0f / std::sqrt(sq));
            if (RbDot(axis, towards) < 0.0f) axis = -axis;
            // The centres only suggest the side; the overlap decides it.
            float lowA, highA, lowB, highB;
            A.Interval(axis, lowA, highA);
            B.Interval(axis, lowB, highB);
            float depth = highA - lowB;
            float reverse = highB - lowA;
            if (reverse < depth) {
                depth = reverse;
                axis = -axis;
            }
            if (depth <= 0.0f) {
                if (parting) *parting = axis;
                return false;
            }
            if (depth < bestE) bestE = depth, edgeA = i, edgeB = j, edgeAxis = axis;
        }
    }
    if (faceA < 0 && faceB < 0 && edgeA < 0) return false;
    float bestFace = bestA <= bestB ? bestA : bestB;
    // Faces are preferred unless an edge pair is clearly shallower.
    if (edgeA >= 0 && bestE < 0.95f * bestFace - 1e-4f) {
        out.kind = 3;
        out.depth = bestE;
        out.axis = edgeAxis;
        ClosestOnSegments(A.vertices[A.edges[edgeA][2]], A.vertices[A.edges[edgeA][3]], B.vertices[B.edges[edgeB][2]],
                          B.vertices[B.edges[edgeB][3]], out.pointA, out.pointB);
        return true;
    }
    if (faceA >= 0 && bestA <= bestB) {
        // B's deepest vertex, and that vertex carried out onto A's face.
        out.kind = 1;
        out.depth = bestA;
        out.axis = A.normals[faceA];
        out.pointB = B.vertices[vertexB];
        out.pointA = out.pointB + out.axis * bestA;
        return true;
    }
    out.kind = 2;
    out.depth = bestB;
    out.axis = -B.normals[faceB];
    out.pointA = A.vertices[vertexA];
    out.pointB = out.pointA - out.axis * bestB;
    return true;
}

void Fill(RbContact& out, const SatResult& r) {
    out.collided = 1;
    out.depth = r.depth;
    out.normal = -r.axis; // from B toward A
    out.normal.w = 0.0f;
    out.offsetA = r.pointA;
    out.offsetB = r.pointB;
}

bool SetupShape(HullView& view, const RbGeometry& g, const RbMatrix& t) {
    if (g.type == RbGeomBox) {
        view.SetupBox(g, t);
        return true;
    }
    if (g.type == RbGeomConvex && g.hull && g.hull->faceCount > 0) {
        view.SetupHull(g.hull, t);
        return true;
    }
    return false;
}

// The lowest and highest of axis . point over a box or hull at pose t, read in
// the shape's own frame: a pair parted along its kept axis is answered without
// carrying every vertex and face of both shapes into the world.
void ShapeInterval(const RbGeometry& g, const RbMatrix& t, const RbVector& axis, float& low, float& high) {
    const RbVector local = RbInverseRotate(t, axis);
    const float centre = RbDot(axis, RbPosition(t));
    if (g.type == RbGeomBox) {
        float reach =
            std::fabs(local.x) * g.params[0] + std::fabs(local.y) * g.params[1] + std::fabs(local.z) * g.params[2];
        low = centre - reach;
        high = centre + reach;
        return;
    }
    const RbConvexHull* h = g.hull;
    low = high = RbDot(local, h->vertices[0]);
    for (int v = 1; v < h->vertexCount; ++v) {
        float value = RbDot(local, h->vertices[v]);
        if (value < low) low = value;
        if (value > high) high = value;
    }
    low += centre;
    high += centre;
}

bool ConvexShape(const RbGeometry& g) {
    return g.type == RbGeomBox || (g.type == RbGeomConvex && g.hull && g.hull->faceCount > 0);
}

// The views are large; one pair serves every test (the engine runs on one thread).
HullView g_viewA;
HullView g_viewB;

} // namespace

// ---------------------------------------------------------------- the tests

void RbSimulator::CollideConvex(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb,
                                RbSeparatingAxis* kept) {
    out.collided = 0;
    if (!ConvexShape(*a) || !ConvexShape(*b)) return;
    if (kept && kept->kind == RbSeparatingAxis::Direction) {
        // A gap along the kept direction parts the shapes; the search would find
        // some parting axis too and answer no contact as well.
        float lowA, highA, lowB, highB;
        ShapeInterval(*a, ta, kept->direction, lowA, highA);
        ShapeInterval(*b, tb, kept->direction, lowB, highB);
        if (highA < lowB || highB < lowA) return;
    }
    if (!SetupShape(g_viewA, *a, ta) || !SetupShape(g_viewB, *b, tb)) return;
    SatResult r;
    RbVector parting;
    if (Separate(g_viewA, g_viewB, r, &parting)) {
        Fill(out, r);
        if (kept) kept->kind = RbSeparatingAxis::None;
        return;
    }
    if (kept && RbLengthSq(parting) > 0.0f) {
        kept->kind = RbSeparatingAxis::Direction;
        kept->direction = parting;
    }
}

void RbSimulator::CollideConvexTriangle(RbContact& out, RbGeometry* hull, const RbMatrix& t, const RbVector& v0,
                                        const RbVector& v1, const RbVector& v2) {
    out.collided = 0;
    if (!SetupShape(g_viewA, *hull, t)) return;
    g_viewB.SetupTriangle(v0, v1, v2);
    SatResult r;
    if (Separate(g_viewA, g_viewB, r)) Fill(out, r);
}

void RbSimulator::CollideConvexTriangles(RbContact& out, RbGeometry* hull, const RbMatrix& t, RbGeometry* mesh) {
    out.collided = 0;
    if (!mesh->meshCandidates || !mesh->meshTriangles || !mesh->meshVertices) return;
    // The hull's world view is the same for every triangle: set up once, with its box,
    // so that triangles wholly beside the hull are passed over without a search.
    if (!SetupShape(g_viewA, *hull, t)) return;
    RbVector low = g_viewA.vertices[0], high = g_viewA.vertices[0];
    for (int v = 1; v < g_viewA.vertexCount; ++v)
        for (int k = 0; k < 3; ++k) {
            float value = RbComp(g_viewA.vertices[v], k);
            if (value < RbComp(low, k)) RbSetComp(low, k, value);
            if (value > RbComp(high, k)) RbSetComp(high, k, value);
        }
    RbContact best;
    int material = 0;
    for (int i = 0; i < mesh->meshCandidateCount; ++i) {
        int index = mesh->meshCandidates[i];
        if (index < 0 || index >= mesh->meshTriangleCount) continue;
        const RbTriangle& tri = mesh->meshTriangles[index];
        bool valid = true;
        for (int32_t v : tri.vertex) valid = valid && v >= 0;
        // The vertex array's size is the caller's; only negative indices can be refused here.
        if (!valid || tri.testMode != 0) continue;
        const RbVector& v0 = mesh->meshVertices[tri.vertex[0]];
        const RbVector& v1 = mesh->meshVertices[tri.vertex[1]];
        const RbVector& v2 = mesh->meshVertices[tri.vertex[2]];
        bool apart = false;
        for (int k = 0; k < 3 && !apart; ++k) {
            float a = RbComp(v0, k), b = RbComp(v1, k), c = RbComp(v2, k);
            apart = (a < RbComp(low, k) && b < RbComp(low, k) && c < RbComp(low, k)) ||
                    (a > RbComp(high, k) && b > RbComp(high, k) && c > RbComp(high, k));
        }
        if (apart) continue;
        RbContact current;
        g_viewB.SetupTriangle(v0, v1, v2);
        SatResult r;
        if (Separate(g_viewA, g_viewB, r)) {
            // A terrain triangle is one-sided, as in the primitive tests: a contact
            // pushing the hull out of the back is replaced by the push out of the
            // front, and a hull wholly behind the plane does not touch it.
            const RbVector& front = g_viewB.normals[0];
            if (!(RbDot(r.axis, front) < 0.0f)) {
                int lowest = g_viewA.Support(front);
                int highest = g_viewA.Support(-front);
                float below = g_viewB.distances[0] - RbDot(front, g_viewA.vertices[lowest]);
                float top = RbDot(front, g_viewA.vertices[highest]) - g_viewB.distances[0];
                if (!(top > 0.0f) || !(below > 0.0f)) continue;
                r.kind = 2;
                r.depth = below;
                r.axis = -front;
                r.pointA = g_viewA.vertices[lowest];
                r.pointB = r.pointA + front * below;
            }
            Fill(current, r);
        }
        if (current.collided && (!best.collided || current.depth > best.depth)) {
            best = current;
            material = tri.material;
        }
    }
    if (!best.collided) return;
    out.collided = 1;
    out.depth = best.depth;
    out.normal = best.normal;
    out.offsetA = best.offsetA;
    out.offsetB = best.offsetB;
    out.materialB = material;
}

// ---------------------------------------------------------------- hull shapes

RbConvexHull* RbSimulator::CreateConvexHull(const RbVector* points, int count, RbHullResult* result) {
    if (m_inStep) return nullptr;
    RbHullResult why = RbHullBuilt;
    RbConvexHull* hull = RbBuildConvexHull(m_allocator, points, count, &why);
    if (result) *result = why;
    if (!hull) {
        Logf(1, "Convex hull needs four or more finite points not in one plane, and at most 255 faces.\n");
        return nullptr;
    }
    hull->nextHull = m_hulls;
    m_hulls = hull;
    return hull;
}

bool RbSimulator::FreeConvexHull(RbConvexHull* hull) {
    if (m_inStep) return false;
    for (RbConvexHull** link = &m_hulls; *link; link = &(*link)->nextHull) {
        if (*link != hull) continue;
        if (hull->users > 0) return false;
        *link = hull->nextHull;
        RbFreeConvexHull(m_allocator, hull);
        return true;
    }
    return false;
}

void RbSimulator::FreeAllConvexHulls() {
    while (RbConvexHull* hull = m_hulls) {
        m_hulls = hull->nextHull;
        RbFreeConvexHull(m_allocator, hull);
    }
}
