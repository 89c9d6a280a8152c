#include "Platform/Math/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Platform/Math/D3DXMath.h"

namespace {

constexpr float kPi = 3.14159265358979f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

TEST(RayPlaneDistance, Table) {
    const D3DXPLANE ground(0, 0, 1, 0); // z = 0, normal up
    struct Case {
        D3DXVECTOR3 origin, direction;
        D3DXPLANE plane;
        float want;
    };
    const Case cases[] = {
        {{0, 0, 5}, {0, 0, -1}, ground, 5.0f},                  // straight at the front, unit direction
        {{0, 0, 5}, {0, 0, 1}, ground, -1.0f},                  // pointing away
        {{0, 0, 5}, {1, 0, 0}, ground, -1.0f},                  // parallel
        {{0, 0, 0}, {1, 0, 0}, ground, -1.0f},                  // parallel, in the plane
        {{0, 0, 5}, {0, 0, -2}, ground, 2.5f},                  // in units of the direction's length
        {{3, 4, 5}, {0.6f, 0, -0.8f}, ground, 6.25f},           // slanted
        {{0, 0, -5}, {0, 0, -1}, ground, -5.0f},                // plane behind the origin
        {{0, 0, 0}, {0, 0, -1}, ground, 0.0f},                  // starting on the plane
        {{0, 0, 5}, {0, 0, -1}, D3DXPLANE(0, 0, 2, -4), 3.0f},  // unnormalised plane z = 2
        {{10, 0, 0}, {-1, 0, 0}, D3DXPLANE(4, 0, 0, -4), 9.0f}, // box face x = 1, from outside
        {{0, 0, 0}, {-1, 0, 0}, D3DXPLANE(4, 0, 0, -4), -1.0f}, // leaving through that face
    };
    for (const Case& k : cases) {
        EXPECT_FLOAT_EQ(RayPlaneDistance(k.origin, k.direction, k.plane), k.want)
            << "origin (" << k.origin.x << ", " << k.origin.y << ", " << k.origin.z << ")";
    }
    // A NaN direction passes both tests and gives NaN, which callers' "t >= 0" rejects.
    EXPECT_TRUE(std::isnan(RayPlaneDistance({0, 0, 5}, {0, 0, kNaN}, ground)));
}

// A generic triangle placed in space by a rotation and an offset, in every vertex order.
struct Placed {
    D3DXVECTOR3 v[3];
};

Placed Place(const D3DXVECTOR3 (&tri)[3], float yaw, float pitch, float roll, const D3DXVECTOR3& offset) {
    D3DXMATRIX r;
    D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll);
    Placed p;
    for (int i = 0; i < 3; ++i) {
        D3DXVec3TransformCoord(&p.v[i], &tri[i], &r);
        p.v[i] += offset;
    }
    return p;
}

TEST(PointInTriangle, CentroidInsideAndBeyondEachEdgeOutsideForEveryOrientation) {
    const D3DXVECTOR3 shapes[][3] = {
        {{0, 0, 0}, {2.3f, 0.1f, 0}, {0.4f, 1.7f, 0}},
        {{-1.1f, 0.2f, 0}, {3.7f, -0.3f, 0}, {0.9f, 0.35f, 0}}, // long and thin
        {{0.1f, 0.05f, 0.2f}, {-0.6f, 2.9f, -0.1f}, {1.3f, 1.1f, 0.4f}},
    };
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    const D3DXVECTOR3 offset(12.5f, -3.25f, 7.0f);
    int checked = 0;
    for (const auto& shape : shapes)
        for (float yaw = 0.0f; yaw < 2 * kPi; yaw += 0.61f)
            for (float pitch = -kPi; pitch < kPi; pitch += 0.53f)
                for (float roll = 0.0f; roll < 2 * kPi; roll += 0.71f) {
                    const Placed p = Place(shape, yaw, pitch, roll, offset);
                    const D3DXVECTOR3 centroid = (p.v[0] + p.v[1] + p.v[2]) / 3.0f;
                    for (const auto& o : orders) {
                        const D3DXVECTOR3& a = p.v[o[0]];
                        const D3DXVECTOR3& b = p.v[o[1]];
                        const D3DXVECTOR3& c = p.v[o[2]];
                        ASSERT_TRUE(PointInTriangle(centroid, a, b, c))
                            << "yaw " << yaw << " pitch " << pitch << " roll " << roll;
                        // Beyond each edge, in the plane: edge middle pushed away from the far corner.
                        for (int e = 0; e < 3; ++e) {
                            const D3DXVECTOR3& e0 = p.v[e];
                            const D3DXVECTOR3& e1 = p.v[(e + 1) % 3];
                            const D3DXVECTOR3& far = p.v[(e + 2) % 3];
                            const D3DXVECTOR3 mid = (e0 + e1) * 0.5f;
                            const D3DXVECTOR3 out = mid + (mid - far) * 0.5f;
                            ASSERT_FALSE(PointInTriangle(out, a, b, c))
                                << "edge " << e << " yaw " << yaw << " pitch " << pitch << " roll " << roll;
                        }
                        ++checked;
                    }
                }
    EXPECT_GT(checked, 1000);
}

TEST(PointInTriangle, ProjectsOnTheLargestNormalComponent) {
    struct Case {
        D3DXVECTOR3 v0, v1, v2, p;
        bool want;
    };
    const Case cases[] = {
        // xy plane
        {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0.5f, 0.5f, 0}, true},
        {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1.5f, 1.5f, 0}, false},
        {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {-0.5f, 0.5f, 0}, false},
        {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0.5f, -0.5f, 0}, false},
        // xz plane (y constant): the xy projection would be a line
        {{0, 5, 0}, {2, 5, 0}, {0, 5, 2}, {0.5f, 5, 0.5f}, true},
        {{0, 5, 0}, {2, 5, 0}, {0, 5, 2}, {1.5f, 5, 1.5f}, false},
        // yz plane (x constant)
        {{3, 0, 0}, {3, 2, 0}, {3, 0, 2}, {3, 0.5f, 0.5f}, true},
        {{3, 0, 0}, {3, 2, 0}, {3, 0, 2}, {3, 1.5f, 1.5f}, false},
        {{3, 0, 0}, {3, 2, 0}, {3, 0, 2}, {3, -0.1f, 0.5f}, false},
        // tilted, normal (1, 1, 0): the x and y components tie and (x, z) is used
        {{0, 0, 0}, {1, -1, 0}, {0, 0, 1}, {0.25f, -0.25f, 0.25f}, true},
        {{0, 0, 0}, {1, -1, 0}, {0, 0, 1}, {0.75f, -0.75f, 0.75f}, false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(PointInTriangle(k.p, k.v0, k.v1, k.v2), k.want)
            << "p (" << k.p.x << ", " << k.p.y << ", " << k.p.z << ")";
    }
}

TEST(PointInTriangle, EdgeCountingParity) {
    // Edges count on or above the point, half-open in s except the closing edge V2->V0, which
    // is closed at both ends. A point level with V0 directly below the triangle therefore
    // counts all three edges, and an odd count is reported inside.
    const D3DXVECTOR3 v0(1, 0, 0), v1(2, 2, 0), v2(0, 2, 0);
    EXPECT_TRUE(PointInTriangle({1, -1, 0}, v0, v1, v2));
    EXPECT_TRUE(PointInTriangle({1, 1, 0}, v0, v1, v2));        // level with V0, inside: one edge
    EXPECT_FALSE(PointInTriangle({1, 3, 0}, v0, v1, v2));       // above everything: no edge
    EXPECT_FALSE(PointInTriangle({1.001f, -1, 0}, v0, v1, v2)); // just off V0's s: two edges
    // On the lower edge itself: "on or above" counts that edge as well, so two edges count.
    EXPECT_FALSE(PointInTriangle({1.5f, 1, 0}, v0, v1, v2));
    // A vertical closing edge level with the point divides 0 by 0 and does not count, so a
    // point straight below it stays outside.
    const D3DXVECTOR3 w0(0, 0, 0), w1(2, 1, 0), w2(0, 2, 0);
    EXPECT_FALSE(PointInTriangle({0, -1, 0}, w0, w1, w2));
    EXPECT_FALSE(PointInTriangle({0, 3, 0}, w0, w1, w2));
    EXPECT_TRUE(PointInTriangle({0, 1, 0}, w0, w1, w2)); // on that edge: only the upper edge counts
    EXPECT_TRUE(PointInTriangle({0.5f, 1, 0}, w0, w1, w2));
    // A degenerate triangle (all corners on a line) holds no point off that line.
    EXPECT_FALSE(PointInTriangle({0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}));
}

TEST(AngleFunctions, ClampedArcCosineAndSine) {
    struct Case {
        float x, acosWant, asinWant;
    };
    const Case cases[] = {
        {1.0000001f, 0.0f, kPi / 2}, {1.0f, 0.0f, kPi / 2}, {2.0f, 0.0f, kPi / 2},  {kInf, 0.0f, kPi / 2},
        {0.5f, kPi / 3, kPi / 6},    {0.0f, kPi / 2, 0.0f}, {-1.0f, kPi, -kPi / 2}, {-2.0f, kPi, -kPi / 2},
        {-kInf, kPi, -kPi / 2},      {kNaN, kPi, -kPi / 2}, // NaN is taken as -1
    };
    for (const Case& k : cases) {
        EXPECT_FLOAT_EQ(AcosClamped(k.x), k.acosWant) << "x = " << k.x;
        EXPECT_FLOAT_EQ(AsinClamped(k.x), k.asinWant) << "x = " << k.x;
    }
}

TEST(Vector3Helpers, SetAddSubtractDotCross) {
    D3DXVECTOR3 r;
    EXPECT_EQ(SetVector3(&r, 1, 2, 3), &r);
    EXPECT_EQ(r, D3DXVECTOR3(1, 2, 3));
    const D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(*AddVector3(&r, a, b), D3DXVECTOR3(5, 7, 9));
    EXPECT_EQ(*SubtractVector3(&r, a, b), D3DXVECTOR3(-3, -3, -3));
    EXPECT_EQ(DotVector3(a, b), 32.0f);
    EXPECT_EQ(*CrossVector3(&r, a, b), D3DXVECTOR3(-3, 6, -3));
    r = a;
    CrossVector3(&r, r, b); // output aliasing an input
    EXPECT_EQ(r, D3DXVECTOR3(-3, 6, -3));
}

} // namespace
