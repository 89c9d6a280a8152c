#include "Render/PBoundingBox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Platform/Math/D3DXMath.h"
#include "Render/POrientedBox.h"
#include "Render/PPlanarShadowSource.h"
#include "support/Near.h"

namespace {

using kxtest::Near;

const float kNaN = std::numeric_limits<float>::quiet_NaN();

CPOrientedBox UnitBox() {
    CPOrientedBox box({0, 0, 0}, {1, 1, 1});
    box.Update();
    return box;
}

// ---------------------------------------------------------------------------------------------
// Oriented boxes

TEST(OrientedBox, ConstructionSetsTheWorldExtentOnly) {
    CPOrientedBox box({1, 2, 3}, {0.5f, 1, 2});
    EXPECT_EQ(box.GetCentre(), D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(box.GetHalfSize(), D3DXVECTOR3(0.5f, 1, 2));
    EXPECT_EQ(box.GetWorldMin(), D3DXVECTOR3(0.5f, 1, 1));
    EXPECT_EQ(box.GetWorldMax(), D3DXVECTOR3(1.5f, 3, 5));
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    EXPECT_EQ(box.GetWorldMatrix(), id);
    EXPECT_EQ(box.GetLocalMatrix(), id);
    EXPECT_EQ(box.GetCorner(6), D3DXVECTOR3(0, 0, 0)); // not computed before Update
}

TEST(OrientedBox, TinyOrNaNHalfSizesBecomeAThousandth) {
    CPOrientedBox box({0, 0, 0}, {0, 5, -1});
    box.Update();
    EXPECT_EQ(box.GetHalfSize(), D3DXVECTOR3(0.001f, 5, 0.001f));
    CPOrientedBox nan({0, 0, 0}, {kNaN, 0.0005f, 0.001f});
    nan.Update();
    EXPECT_EQ(nan.GetHalfSize(), D3DXVECTOR3(0.001f, 0.001f, 0.001f));
    EXPECT_FALSE(std::isnan(nan.GetPlane(1).a));
}

TEST(OrientedBox, CornersAndPlanesOfTheUnitBox) {
    const CPOrientedBox box = UnitBox();
    const D3DXVECTOR3 corners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                    {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(box.GetCorner(i), corners[i]) << i;
    // Outward normals of length 4 (four times the face's two half-sizes); zlo, xhi, yhi, xlo, ylo, zhi.
    const D3DXPLANE planes[6] = {{0, 0, -4, -4}, {4, 0, 0, -4},  {0, 4, 0, -4},
                                 {-4, 0, 0, -4}, {0, -4, 0, -4}, {0, 0, 4, -4}};
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(Near(box.GetPlane(i), planes[i])) << "plane " << i;
    EXPECT_EQ(box.GetWorldMin(), D3DXVECTOR3(-1, -1, -1));
    EXPECT_EQ(box.GetWorldMax(), D3DXVECTOR3(1, 1, 1));
    // Plane 1 is positive outside the xhi face.
    const D3DXVECTOR3 outside(2, 0, 0), inside(0.5f, 0, 0);
    EXPECT_GT(D3DXPlaneDotCoord(&box.GetPlane(1), &outside), 0.0f);
    EXPECT_LT(D3DXPlaneDotCoord(&box.GetPlane(1), &inside), 0.0f);
}

TEST(OrientedBox, WorldMatrixPlacesCornersPlanesAndExtent) {
    // Half-size (2, 1, 1), turned a quarter about z and moved to (10, 0, 0): local x runs along world y.
    CPOrientedBox box({0, 0, 0}, {2, 1, 1});
    D3DXMATRIX r, t, w;
    D3DXMatrixRotationZ(&r, 3.14159265f / 2);
    D3DXMatrixTranslation(&t, 10, 0, 0);
    D3DXMatrixMultiply(&w, &r, &t);
    box.SetWorldMatrix(w);
    box.Update();
    EXPECT_TRUE(Near(box.GetCorner(0), {11, -2, -1}));
    EXPECT_TRUE(Near(box.GetCorner(6), {9, 2, 1}));
    EXPECT_TRUE(Near(box.GetWorldMin(), {9, -2, -1}));
    EXPECT_TRUE(Near(box.GetWorldMax(), {11, 2, 1}));
    // The local xlo face now faces world -y; normal length 4 x 1 x 1.
    EXPECT_TRUE(Near(box.GetPlane(3), {0, -4, 0, -8}));

    // And a ray along +y enters through it.
    float maxDistance = 100;
    D3DXPLANE hit;
    EXPECT_TRUE(box.IntersectRay({10.3f, -10, 0.5f}, {0, 1, 0}, maxDistance, hit));
    EXPECT_NEAR(maxDistance, 8.0f, 1e-4f);
    EXPECT_TRUE(Near(hit, box.GetPlane(3)));
}

TEST(OrientedBox, RayHitsWithTheStrictDistanceRule) {
    const CPOrientedBox box = UnitBox();
    D3DXPLANE hit(9, 9, 9, 9);
    float maxDistance = 10;
    EXPECT_TRUE(box.IntersectRay({-5, 0.5f, 0}, {1, 0, 0}, maxDistance, hit));
    EXPECT_FLOAT_EQ(maxDistance, 4.0f);
    EXPECT_TRUE(Near(hit, box.GetPlane(3)));

    // The hit must be strictly nearer than maxDistance.
    hit = D3DXPLANE(9, 9, 9, 9);
    maxDistance = 4;
    EXPECT_FALSE(box.IntersectRay({-5, 0.5f, 0}, {1, 0, 0}, maxDistance, hit));
    EXPECT_FLOAT_EQ(maxDistance, 4.0f);
    EXPECT_TRUE(Near(hit, {9, 9, 9, 9})); // untouched
    maxDistance = std::nextafter(4.0f, 5.0f);
    EXPECT_TRUE(box.IntersectRay({-5, 0.5f, 0}, {1, 0, 0}, maxDistance, hit));

    struct Case {
        D3DXVECTOR3 origin, direction;
        bool hits;
        float distance;
        int plane;
        const char* what;
    };
    const Case cases[] = {
        {{0, 0, 0}, {1, 0, 0}, false, 0, 0, "from the centre"},
        {{0.3f, -0.2f, 0.9f}, {0, 0, -1}, false, 0, 0, "from inside, off centre"},
        {{-5, 0.5f, 0}, {-1, 0, 0}, false, 0, 0, "pointing away"},
        {{-5, 3, 0}, {1, 0, 0}, false, 0, 0, "passing beside"},
        {{-5, 0.5f, 0}, {2, 0, 0}, true, 2, 3, "distance in units of the direction"},
        {{0.2f, 0.3f, 9}, {0, 0, -1}, true, 8, 5, "down onto the top"},
        {{0.2f, -7, 0.3f}, {0, 1, 0}, true, 6, 4, "onto the ylo face"},
        {{5, 4.5f, 4}, {-1, -1, -1}, true, 4, 1, "diagonal, entering through xhi"},
        // Through the edge shared by zlo and xlo: both faces are at 4, the first tried is kept.
        {{-5, 0, -5}, {1, 0, 1}, true, 4, 0, "through an edge"},
    };
    for (const Case& k : cases) {
        float d = 100;
        D3DXPLANE p(9, 9, 9, 9);
        EXPECT_EQ(box.IntersectRay(k.origin, k.direction, d, p), k.hits) << k.what;
        if (k.hits) {
            EXPECT_NEAR(d, k.distance, 1e-5f) << k.what;
            EXPECT_TRUE(Near(p, box.GetPlane(k.plane))) << k.what;
        } else {
            EXPECT_EQ(d, 100.0f) << k.what;
        }
    }
}

TEST(OrientedBox, IsACopyableValue) {
    std::vector<CPOrientedBox> parts(2, UnitBox());
    parts.push_back(CPOrientedBox({5, 0, 0}, {1, 2, 3}));
    EXPECT_EQ(parts[1].GetPlane(1).a, 4.0f);
    EXPECT_EQ(parts[2].GetWorldMax(), D3DXVECTOR3(6, 2, 3));
}

// ---------------------------------------------------------------------------------------------
// Axis-aligned boxes

CPBoundingBox MakeBox(const D3DXVECTOR3& min, const D3DXVECTOR3& max) {
    CPBoundingBox b;
    b.minimum = min;
    b.maximum = max;
    b.UpdateCentre();
    return b;
}

TEST(BoundingBox, UpdateCentreAndSetFromOrientedBox) {
    CPBoundingBox b = MakeBox({-1, 0, 2}, {3, 4, 2});
    EXPECT_EQ(b.centre, D3DXVECTOR3(1, 2, 2));
    EXPECT_EQ(b.halfSize, D3DXVECTOR3(2, 2, 0));

    CPOrientedBox o({1, 2, 3}, {0.5f, 1, 2});
    b.SetFromOrientedBox(o);
    EXPECT_EQ(b.minimum, D3DXVECTOR3(0.5f, 1, 1));
    EXPECT_EQ(b.maximum, D3DXVECTOR3(1.5f, 3, 5));
    EXPECT_EQ(b.halfSize, D3DXVECTOR3(0.5f, 1, 2));
    EXPECT_EQ(b.centre, D3DXVECTOR3(1, 2, 3));
}

TEST(BoundingBox, FromOrientedBoxes) {
    CPBoundingBox b;
    b.halfSize = D3DXVECTOR3(7, 7, 7);
    b.centre = D3DXVECTOR3(8, 8, 8);
    b.FromOrientedBoxes({});
    EXPECT_EQ(b.minimum, D3DXVECTOR3(1000000, 1000000, 1000000));
    EXPECT_EQ(b.maximum, D3DXVECTOR3(-1000000, -1000000, -1000000));
    EXPECT_EQ(b.halfSize, D3DXVECTOR3(7, 7, 7)); // kept
    EXPECT_EQ(b.centre, D3DXVECTOR3(8, 8, 8));

    const std::vector<CPOrientedBox> boxes = {CPOrientedBox({0, 0, 0}, {1, 1, 1}),
                                              CPOrientedBox({5, -3, 0}, {1, 1, 4})};
    b.FromOrientedBoxes(boxes);
    EXPECT_EQ(b.minimum, D3DXVECTOR3(-1, -4, -4));
    EXPECT_EQ(b.maximum, D3DXVECTOR3(6, 1, 4));
    EXPECT_EQ(b.centre, D3DXVECTOR3(2.5f, -1.5f, 0));
    EXPECT_EQ(b.halfSize, D3DXVECTOR3(3.5f, 2.5f, 4));
}

TEST(BoundingBox, MergeAndUnionWithEmptyBoxes) {
    CPBoundingBox empty;
    empty.FromOrientedBoxes({});
    const CPBoundingBox unit = MakeBox({-1, -1, -1}, {1, 1, 1});

    CPBoundingBox a = unit;
    a.Merge(empty); // nothing to take in
    EXPECT_EQ(a.minimum, unit.minimum);
    EXPECT_EQ(a.maximum, unit.maximum);
    EXPECT_EQ(a.centre, D3DXVECTOR3(0, 0, 0));

    CPBoundingBox e = empty;
    e.Merge(unit); // the empty box becomes the other
    EXPECT_EQ(e.minimum, unit.minimum);
    EXPECT_EQ(e.maximum, unit.maximum);
    EXPECT_EQ(e.halfSize, unit.halfSize);

    CPBoundingBox u = empty;
    u.Union(MakeBox({2, 0, 0}, {4, 2, 8}));
    EXPECT_EQ(u.minimum, D3DXVECTOR3(2, 0, 0));
    EXPECT_EQ(u.centre, D3DXVECTOR3(3, 1, 4));
    u.Union(unit);
    EXPECT_EQ(u.minimum, D3DXVECTOR3(-1, -1, -1));
    EXPECT_EQ(u.maximum, D3DXVECTOR3(4, 2, 8));
    EXPECT_EQ(u.halfSize, D3DXVECTOR3(2.5f, 1.5f, 4.5f));
    EXPECT_EQ(u.centre, D3DXVECTOR3(1.5f, 0.5f, 3.5f));

    CPBoundingBox m = unit;
    m.Merge(MakeBox({0, -3, 0}, {0.5f, 0, 6}));
    EXPECT_EQ(m.minimum, D3DXVECTOR3(-1, -3, -1));
    EXPECT_EQ(m.maximum, D3DXVECTOR3(1, 1, 6));
    EXPECT_EQ(m.centre, D3DXVECTOR3(0, -1, 2.5f));
}

TEST(BoundingBox, ContainsPointIsStrict) {
    const CPBoundingBox b = MakeBox({-1, -1, -1}, {1, 1, 1});
    EXPECT_TRUE(b.ContainsPoint({0.5f, -0.5f, 0.99f}));
    EXPECT_FALSE(b.ContainsPoint({1, 0, 0})); // on a face
    EXPECT_FALSE(b.ContainsPoint({0, -1, 0}));
    EXPECT_FALSE(b.ContainsPoint({1.5f, 0, 0}));
    EXPECT_FALSE(b.ContainsPoint({0, 0, kNaN}));
}

TEST(BoundingBox, SegmentTests) {
    const CPBoundingBox b = MakeBox({-1, -1, -1}, {1, 1, 1});
    const float r2 = std::sqrt(0.5f);
    struct Case {
        D3DXVECTOR3 start, direction;
        float length;
        bool crosses;
        const char* what;
    };
    const Case cases[] = {
        {{-5, 0, 0}, {1, 0, 0}, 10, true, "straight through"},
        {{-5, 0, 0}, {1, 0, 0}, 4, true, "ending exactly on a face"},
        {{-5, 0, 0}, {1, 0, 0}, 3.9f, false, "ending short of it"},
        {{5, 0, 0}, {1, 0, 0}, 10, false, "pointing away"},
        {{-5, 1.5f, 0}, {1, 0, 0}, 10, false, "passing beside"},
        {{-0.5f, 0, 0}, {0, 1, 0}, 0.5f, true, "wholly inside"},
        // Passes the corner at (1, 1) on the outside; only the cross-axis test rejects it.
        {{-0.5f, 3.5f, 0}, {r2, -r2, 0}, 5.657f, false, "past a corner"},
        {{-0.5f, 2.0f, 0}, {r2, -r2, 0}, 5.657f, true, "cutting the corner"},
    };
    for (const Case& k : cases) EXPECT_EQ(b.IntersectSegment(k.start, k.direction, k.length), k.crosses) << k.what;
}

TEST(BoundingBox, IsWithinDistance) {
    const CPBoundingBox b = MakeBox({-1, -1, -1}, {1, 1, 1});
    struct Case {
        D3DXVECTOR3 p;
        float radius;
        bool within;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, true},                                                          // inside, radius 0
        {{1, 1, 1}, 0, true},                                                          // on a corner
        {{3, 0, 0}, 2, true},                                                          // exactly at the radius
        {{3, 0, 0}, 1.99f, false}, {{2, 2, 2}, 1.75f, true},                           // corner distance sqrt 3
        {{2, 2, 2}, 1.7f, false},  {{-4, 0.5f, -1}, 3, true}, {{0, 0, 5}, kNaN, true}, // a NaN comparison answers true
    };
    for (const Case& k : cases)
        EXPECT_EQ(b.IsWithinDistance(k.p, k.radius), k.within) << k.p.x << " " << k.p.y << " " << k.p.z;
}

class FixedShadow : public IPPlanarShadowSource {
public:
    const D3DXMATRIX* GetPlanarShadowMatrix() const override { return built ? &matrix : nullptr; }
    D3DXMATRIX matrix;
    bool built = true;
};

class ShadowGrowth : public ::testing::Test {
protected:
    void SetUp() override { SetPlanarShadowSource(&source); }
    void TearDown() override { SetPlanarShadowSource(nullptr); }
    // The level's way: the sun's travel direction (w = 0) and the ground plane as (0, 0, -1, 0).
    void Sun(float x, float y, float z) {
        const D3DXVECTOR4 light(x, y, z, 0);
        const D3DXPLANE ground(0, 0, -1, 0);
        D3DXMatrixShadow(&source.matrix, &light, &ground);
    }
    FixedShadow source;
};

TEST_F(ShadowGrowth, BoxGrowsByItsShadowOnTheGround) {
    Sun(0.6f, 0, -0.8f); // slanting towards +x: height 4 throws 3 along x
    CPBoundingBox b = MakeBox({0, 0, 0}, {1, 1, 4});
    b.halfSize = D3DXVECTOR3(9, 9, 9);
    b.centre = D3DXVECTOR3(9, 9, 9);
    b.Transform();
    EXPECT_TRUE(Near(b.minimum, {0, 0, 0}));
    EXPECT_TRUE(Near(b.maximum, {4, 1, 4}));
    EXPECT_EQ(b.halfSize, D3DXVECTOR3(9, 9, 9)); // left for the caller's UpdateCentre
    EXPECT_EQ(b.centre, D3DXVECTOR3(9, 9, 9));

    Sun(0, -0.6f, -0.8f);
    CPBoundingBox c = MakeBox({-1, -1, 2}, {1, 1, 8});
    c.Transform(); // the shadow falls on z = 0, towards -y
    EXPECT_TRUE(Near(c.minimum, {-1, -7, 0}));
    EXPECT_TRUE(Near(c.maximum, {1, 1, 8}));
}

TEST_F(ShadowGrowth, WithoutAShadowMatrixNothingChanges) {
    const CPBoundingBox before = MakeBox({0, 0, 0}, {1, 1, 4});
    CPBoundingBox b = before;
    source.built = false;
    b.Transform();
    EXPECT_EQ(b.minimum, before.minimum);
    EXPECT_EQ(b.maximum, before.maximum);

    SetPlanarShadowSource(nullptr);
    source.built = true;
    Sun(0.6f, 0, -0.8f);
    b.Transform();
    EXPECT_EQ(b.maximum, before.maximum);
}

TEST_F(ShadowGrowth, SunInTheGroundPlaneDoesNotStretchTheBoxToInfinity) {
    Sun(1, 0, 0); // no shadow point exists
    CPBoundingBox b = MakeBox({0, 0, 0}, {1, 1, 4});
    b.Transform();
    EXPECT_EQ(b.minimum, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(b.maximum, D3DXVECTOR3(1, 1, 4));
}

} // namespace
