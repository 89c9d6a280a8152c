// The flat (x-y plane) tests the road grid is built with: where a point lies against an edge,
// points in triangles of either winding, segment crossings and triangle-square overlap.
#include <gtest/gtest.h>

#include "World/PTerrainQuery.h"

namespace {

D3DXVECTOR3 P(float x, float y, float z = 0.0f) { return D3DXVECTOR3(x, y, z); }

TEST(FlatGeometry, PointAgainstEdgeGivesEveryCode) {
    struct Case {
        const char* what;
        D3DXVECTOR3 p;
        int expected;
    };
    const D3DXVECTOR3 a = P(0, 0), b = P(4, 0);
    const Case cases[] = {
        {"left of the line", P(2, 1), kEdgeLeft},
        {"right of the line", P(2, -1), kEdgeRight},
        {"beyond the end", P(6, 0), kEdgeBeyondEnd},
        {"behind the start", P(-1, 0), kEdgeBehindStart},
        {"between the ends", P(2, 0), kEdgeBetween},
        {"at the start", P(0, 0), kEdgeAtStart},
        {"at the end", P(4, 0), kEdgeAtEnd},
        // The end compares all three coordinates: a point over it counts as between.
        {"above the end", P(4, 0, 1), kEdgeBetween},
        // The start too: a point above it is between the ends.
        {"above the start", P(0, 0, 1), kEdgeBetween},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyPointToEdge(c.p, a, b), c.expected) << c.what;
}

TEST(FlatGeometry, PointsInTrianglesOfEitherWinding) {
    const D3DXVECTOR3 a = P(0, 0), b = P(4, 0), c = P(0, 4);
    struct Case {
        const char* what;
        D3DXVECTOR3 p;
        bool inside;
    };
    const Case cases[] = {
        {"strictly inside", P(1, 1), true},
        {"on an edge", P(2, 0), true},
        {"on the long edge", P(2, 2), true},
        {"at a corner", P(0, 4), true},
        {"outside past the long edge", P(3, 3), false},
        {"outside below", P(1, -0.5f), false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(PointInTriangle2D(k.p, a, b, c), k.inside) << k.what << ", counter-clockwise";
        EXPECT_EQ(PointInTriangle2D(k.p, a, c, b), k.inside) << k.what << ", clockwise";
    }
}

TEST(FlatGeometry, SegmentCrossings) {
    struct Case {
        const char* what;
        D3DXVECTOR3 p1, p2, q1, q2;
        bool crossing;
    };
    const Case cases[] = {
        {"an X", P(0, 0), P(2, 2), P(0, 2), P(2, 0), true},
        {"a T touching the middle", P(0, 0), P(2, 0), P(1, 0), P(1, 3), true},
        {"ends touching", P(0, 0), P(1, 1), P(1, 1), P(2, 0), true},
        {"parallel", P(0, 0), P(2, 0), P(0, 1), P(2, 1), false},
        {"collinear and overlapping", P(0, 0), P(2, 0), P(1, 0), P(3, 0), false},
        {"collinear ends touching", P(0, 0), P(1, 0), P(1, 0), P(2, 0), false},
        {"apart, boxes disjoint", P(0, 0), P(1, 1), P(5, 5), P(6, 4), false},
        {"boxes overlap, lines miss", P(0, 0), P(2, 2), P(1.5f, 0), P(3, 0.5f), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SegmentsIntersect(c.p1, c.p2, c.q1, c.q2), c.crossing) << c.what;
        EXPECT_EQ(SegmentsIntersect(c.q1, c.q2, c.p1, c.p2), c.crossing) << c.what << ", swapped";
    }
}

TEST(FlatGeometry, TriangleAgainstSquare) {
    const D3DXVECTOR3 c1 = P(0, 0), c2 = P(5, 0), c3 = P(0, 5), c4 = P(5, 5);
    struct Case {
        const char* what;
        D3DXVECTOR3 t0, t1, t2;
        bool overlaps;
    };
    const Case cases[] = {
        {"a vertex inside", P(2, 2), P(10, 2), P(10, 10), true},
        {"the square inside the triangle", P(-10, -10), P(30, -10), P(-10, 30), true},
        {"edges crossing, no vertex in the other", P(-1, 2), P(6, 2), P(2.5f, 20), true},
        {"touching a corner only", P(5, 5), P(9, 5), P(9, 9), true},
        {"beside it", P(6, 0), P(9, 0), P(9, 4), false},
        {"near a corner, not touching", P(5.5f, 4), P(9, 4), P(9, 9), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TriangleOverlapsRect(c1, c2, c3, c4, c.t0, c.t1, c.t2), c.overlaps) << c.what;
        EXPECT_EQ(TriangleOverlapsRect(c1, c2, c3, c4, c.t0, c.t2, c.t1), c.overlaps) << c.what << ", reversed";
    }
}

} // namespace
