#pragma once
// Shape-pair tests of the narrow phase. Every test fills one RbContact with at
// most one contact: collided, depth, the normal from B toward A, and the world
// points on A and on B (stored in offsetA and offsetB).

#include "Physics/RbBody.h"

struct RbSegmentPoints {
    float s = 0.0f;
    float t = 0.0f;
    RbVector point1;
    RbVector point2;
    float distance = 0.0f;
    int computed = 0; // the lines are neither degenerate nor parallel
    int valid = 0;    // both parameters lie in [0, 1)
};

// Closest points of two segments (start to end each).
RbSegmentPoints RbSegmentClosestPoints(const RbVector& start1, const RbVector& end1, const RbVector& start2,
                                       const RbVector& end2);
// The eight corners of an oriented box (centre c, scaled axes a0..a2).
void RbBoxCorners(const RbVector& c, const RbVector axes[3], RbVector corners[8]);
// A box shape placed in the world: centre, unit axes, half sizes, and the axes
// scaled by the half sizes.
struct RbBox {
    RbVector c;
    RbVector u[3];
    float h[3];
    RbVector a[3];
};
RbBox RbMakeBox(const RbGeometry& g, const RbMatrix& t);
// Closest points of a segment and an axis-aligned box centred at the origin.
void RbSegmentBoxClosest(const RbVector& start, const RbVector& end, const RbVector& halfSizes, RbVector& boxPoint,
                         RbVector& segmentPoint);

struct RbTriangleData {
    RbVector v[3];
    RbVector e[3];
    RbVector n;
    float d = 0.0f;
};
void RbBuildTriangle(RbTriangleData& tri, const RbVector& a, const RbVector& b, const RbVector& c);
// -1 inside; 0, 2, 4 beyond vertex 0, 1, 2; 1, 3, 5 beyond edge 0, 1, 2.
int RbClassifyInTriangle(const RbTriangleData& tri, const RbVector& p);

void RbTestSphereSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                        const RbMatrix& tb);
void RbTestBoxSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b, const RbMatrix& tb);
void RbTestBoxCylinder(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                       const RbMatrix& tb);
void RbTestCylinderSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                          const RbMatrix& tb);
void RbTestCylinderCylinder(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                            const RbMatrix& tb);
void RbTestCylinderMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh);
void RbTestSphereMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh);
void RbTestBoxMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh);
// A single triangle (type 2): the first record of its meshTriangles, whose vertex
// indices point into its meshVertices (in the shape's frame).
void RbTestBoxTriangle(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                       const RbMatrix& tb);
struct RbSeparatingAxis;
// With `kept`, the axis it holds is tried first and the axis that parts the boxes
// (or none, when they touch) is kept there; the answer is the same either way.
void RbTestBoxBox(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b, const RbMatrix& tb,
                  RbSeparatingAxis* kept = nullptr);

// One line-sensor segment (in the shape's frame) against one shape; depth 0 = no hit.
struct RbSensorHit {
    float depth = 0.0f;
    RbVector normal;
    RbVector point;
};
RbSensorHit RbSensorTestGeometry(const RbVector& origin, const RbVector& segment, float length,
                                 const RbGeometry& shape);

// The candidate triangles of one terrain answer as a body's sensors read them:
// each triangle's box and plane are worked out by the first sensor that needs
// them and shared by the others. Holds the first kCapacity candidates; any beyond
// are read from the answer as RbSensorTestGeometry does.
struct RbSensorTriangles {
    static constexpr int kCapacity = 128;
    // The candidates' boxes, read all at once by the first sensor and kept axis by
    // axis, so that the box tests walk short tables. A box holding a coordinate
    // that is not a number spans everything (its triangle is then compared vertex
    // by vertex); an unreadable candidate's box is empty.
    float lowX[kCapacity], highX[kCapacity], lowY[kCapacity], highY[kCapacity], lowZ[kCapacity], highZ[kCapacity];
    int8_t boxState[kCapacity];   // 1 box usable, 2 box unusable (compared vertex by vertex), 3 unreadable
    int8_t planeState[kCapacity]; // 0 not built, 1 built, 2 unusable
    RbTriangleData planes[kCapacity];
    // Per edge k of a built plane: e[k] x (v[k + 2] - v[k]), which a point inside
    // the triangle agrees with.
    RbVector inside[kCapacity][3];
    bool boxesRead = false;
    // Forgets every entry: a new answer or a new body.
    void Reset(int candidateCount) {
        int n = candidateCount < kCapacity ? candidateCount : kCapacity;
        for (int i = 0; i < n; ++i) planeState[i] = 0;
        boxesRead = false;
    }
};
// The same answer as RbSensorTestGeometry for a triangle mesh, bit for bit.
RbSensorHit RbSensorTestTriangles(const RbVector& origin, const RbVector& segment, float length, const RbGeometry& mesh,
                                  RbSensorTriangles& cache);
