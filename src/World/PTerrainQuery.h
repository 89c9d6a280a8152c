#pragma once
// The engine's terrain query over the physics world's grid, and the flat (x-y plane) tests the
// grid build uses.

#include "Physics/RbSimulator.h"
#include "Platform/Math/D3DXTypes.h"

// Where a point lies against the directed edge a -> b in the x-y plane.
enum EPEdgeSide : int {
    kEdgeLeft = 0,
    kEdgeRight = 1,
    kEdgeBeyondEnd = 2,
    kEdgeBehindStart = 3,
    kEdgeBetween = 4,
    kEdgeAtStart = 5,
    kEdgeAtEnd = 6,
};

int ClassifyPointToEdge(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b);
// Inside or on the boundary, whichever the winding.
bool PointInTriangle2D(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c);
// The closed segments share a point; parallel segments (collinear overlapping ones too) never do.
bool SegmentsIntersect(const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& q1, const D3DXVECTOR3& q2);
// The square's corners: c1 (min x, min y), c2 (max x, min y), c3 (min x, max y), c4 (max x, max y).
bool TriangleOverlapsRect(const D3DXVECTOR3& c1, const D3DXVECTOR3& c2, const D3DXVECTOR3& c3, const D3DXVECTOR3& c4,
                          const D3DXVECTOR3& t0, const D3DXVECTOR3& t1, const D3DXVECTOR3& t2);

// The terrain-query callback: the road triangles of the grid cells near the body's box, kept in
// the body's physics data. A body bound to no physics data gets no candidates.
void OnTerrainQuery(const RbVector* boxMin, const RbVector* boxMax, const int** candidates,
                    const RbTriangle** triangles, const RbVector** vertices, int* candidateCount, int* triangleCount,
                    RbRigidBody* body);

// The z of the first road vertex found under the level's player racer by the last query of it.
float GetPlayerGroundHeight();
void SetPlayerGroundHeight(float height);
