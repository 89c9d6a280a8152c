// Shape-pair tests on hand-made poses with known contacts.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

const float kPi = 3.14159265f;
const float kS = std::sqrt(0.5f);

RbGeometry Box(float sx, float sy, float sz) {
    RbGeometry g;
    g.SetDefaults();
    g.SetBoxDimensions(sx, sy, sz);
    return g;
}

RbGeometry Cylinder(float diameter, float height) {
    RbGeometry g;
    g.SetDefaults();
    g.SetCylinderShape(diameter, height);
    return g;
}

RbGeometry Sphere(float radius) {
    RbGeometry g;
    g.SetDefaults();
    g.SetSphere(radius);
    return g;
}

// Cylinder axis (local y) turned onto world x, y or z.
RbMatrix AxisX(float x, float y, float z) { return Pose(AxisAngle(RbVec(0, 0, 1), kPi / 2), x, y, z); }
RbMatrix AxisZ(float x, float y, float z) { return Pose(AxisAngle(RbVec(1, 0, 0), kPi / 2), x, y, z); }

struct Expected {
    bool hit;
    float depth;
    RbVector normal;
    float tolerance = 1e-4f;
};

void Check(const RbContact& c, const Expected& e, const std::string& name) {
    SCOPED_TRACE(name);
    ASSERT_EQ(c.collided != 0, e.hit);
    if (!e.hit) return;
    EXPECT_NEAR(c.depth, e.depth, e.tolerance);
    EXPECT_VEC_NEAR(c.normal, e.normal.x, e.normal.y, e.normal.z, e.tolerance);
    EXPECT_TRUE(RbIsFinite(c.offsetA) && RbIsFinite(c.offsetB));
    // The two points are depth apart along the normal (A's point lies deeper).
    EXPECT_NEAR(RbDot(c.offsetB - c.offsetA, c.normal), e.depth, 5e-3f);
}

TEST(PairTests, BoxBoxTable) {
    RbGeometry unit = Box(1, 1, 1);
    struct Case {
        const char* name;
        RbMatrix a, b;
        Expected e;
    };
    const Case cases[] = {
        {"face along x", Translation(0.9f, 0, 0), Translation(0, 0, 0), {true, 0.1f, RbVec(1, 0, 0)}},
        {"face along -z", Translation(0.2f, 0.1f, -0.95f), Translation(0, 0, 0), {true, 0.05f, RbVec(0, 0, -1)}},
        {"touching", Translation(1, 0, 0), Translation(0, 0, 0), {false, 0, RbVector{}}},
        {"apart", Translation(0, 3, 0), Translation(0, 0, 0), {false, 0, RbVector{}}},
        {"rotated B face",
         Translation(0, 0, 0.6f),
         Pose(AxisAngle(RbVec(0, 0, 1), 0.4f), 0, 0, 0),
         {true, 0.4f, RbVec(0, 0, 1)}},
        {"crossed edges",
         Pose(AxisAngle(RbVec(1, 0, 0), kPi / 4), 0, 0, 2 * kS - 0.1f),
         Pose(AxisAngle(RbVec(0, 1, 0), kPi / 4), 0, 0, 0),
         {true, 0.1f, RbVec(0, 0, 1)}},
    };
    for (const Case& c : cases) {
        RbContact out;
        RbTestBoxBox(out, unit, c.a, unit, c.b);
        Check(out, c.e, c.name);
    }
}

TEST(PairTests, BoxBoxFaceContactPoints) {
    RbGeometry unit = Box(1, 1, 1);
    RbContact out;
    RbTestBoxBox(out, unit, Translation(0.9f, 0, 0), unit, Translation(0, 0, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_NEAR(out.offsetA.x, 0.4f, 1e-6f); // a corner of A
    EXPECT_NEAR(std::fabs(out.offsetA.y), 0.5f, 1e-6f);
    EXPECT_NEAR(out.offsetB.x, 0.5f, 1e-6f); // on B's face
}

TEST(PairTests, BoxBoxEdgeContactPointsLieOnBothEdges) {
    RbGeometry unit = Box(1, 1, 1);
    RbContact out;
    RbTestBoxBox(out, unit, Pose(AxisAngle(RbVec(1, 0, 0), kPi / 4), 0, 0, 2 * kS - 0.1f), unit,
                 Pose(AxisAngle(RbVec(0, 1, 0), kPi / 4), 0, 0, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_VEC_NEAR(out.offsetA, 0, 0, kS - 0.1f, 1e-4f);
    EXPECT_VEC_NEAR(out.offsetB, 0, 0, kS, 1e-4f);
}

TEST(PairTests, BoxCylinderTable) {
    RbGeometry box = Box(1, 1, 1);
    RbGeometry cyl = Cylinder(1, 2);
    struct Case {
        const char* name;
        RbMatrix box, cyl;
        Expected e;
    };
    const Case cases[] = {
        {"lying on top", Translation(0, 0, 0), Pose(RbQuaternion{}, 0, 0, 0.9f), {true, 0.1f, RbVec(0, 0, -1)}},
        {"beside", Translation(0, 0, 0), AxisZ(0.95f, 0, 0), {true, 0.05f, RbVec(-1, 0, 0)}},
        {"end on the face", Translation(0, 0, 0), AxisZ(0, 0, 1.95f), {true, 0.05f, RbVec(0, 0, -1)}},
        {"apart", Translation(0, 0, 0), AxisZ(3, 0, 0), {false, 0, RbVector{}}},
    };
    for (const Case& c : cases) {
        RbContact out;
        RbTestBoxCylinder(out, box, c.box, cyl, c.cyl);
        Check(out, c.e, c.name);
    }
}

TEST(PairTests, CylinderPiercingABoxGetsTheFaceOfLeastPenetration) {
    RbGeometry box = Box(2, 2, 2);
    RbGeometry cyl = Cylinder(0.5f, 6);
    RbContact out;
    RbTestBoxCylinder(out, box, Translation(0, 0, 0), cyl, AxisZ(0.8f, 0, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_TRUE(RbIsFinite(out.normal));
    EXPECT_VEC_NEAR(out.normal, -1, 0, 0, 1e-6f); // the box leaves through its -x side
    EXPECT_NEAR(out.depth, 0.25f + 0.2f, 1e-5f);
}

TEST(PairTests, CylinderCylinderTable) {
    RbGeometry cyl = Cylinder(1, 2);
    struct Case {
        const char* name;
        RbMatrix a, b;
        Expected e;
    };
    const Case cases[] = {
        {"crossed", AxisX(0, 0, 0.9f), Pose(RbQuaternion{}, 0, 0, 0), {true, 0.1f, RbVec(0, 0, 1)}},
        {"parallel side by side",
         Pose(RbQuaternion{}, 0.9f, 0, 0),
         Pose(RbQuaternion{}, 0, 0, 0),
         {true, 0.1f, RbVec(1, 0, 0)}},
        {"end to end on one axis",
         Pose(RbQuaternion{}, 0, 2.9f, 0),
         Pose(RbQuaternion{}, 0, 0, 0),
         {true, 0.1f, RbVec(0, 1, 0)}},
        {"crossed apart", AxisX(0, 0, 1.2f), Pose(RbQuaternion{}, 0, 0, 0), {false, 0, RbVector{}}},
    };
    for (const Case& c : cases) {
        RbContact out;
        RbTestCylinderCylinder(out, cyl, c.a, cyl, c.b);
        Check(out, c.e, c.name);
    }
}

TEST(PairTests, SphereTests) {
    RbGeometry ball = Sphere(1);
    RbContact out;
    RbTestSphereSphere(out, ball, Translation(1.5f, 0, 0), ball, Translation(0, 0, 0));
    Check(out, {true, 0.5f, RbVec(1, 0, 0)}, "spheres");
    RbTestSphereSphere(out, ball, Translation(0, 0, 0), ball, Translation(0, 0, 0));
    EXPECT_FALSE(out.collided);
    // A centre inside the box leaves through the nearest face: depth r + h - |c|.
    RbGeometry box = Box(2, 2, 2);
    RbTestBoxSphere(out, box, Translation(0, 0, 0), ball, Translation(0.9f, 0, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_NEAR(out.depth, 1.1f, 1e-5f);
    EXPECT_VEC_NEAR(out.normal, -1, 0, 0, 1e-6f);
    // The nearest face, not the thinnest axis.
    RbTestBoxSphere(out, Box(4, 1, 1), Translation(0, 0, 0), ball, Translation(1.8f, 0, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_NEAR(out.depth, 1.2f, 1e-5f);
    EXPECT_VEC_NEAR(out.normal, -1, 0, 0, 1e-6f);
    // Exactly one radius from a face: no contact.
    RbTestBoxSphere(out, box, Translation(0, 0, 0), ball, Translation(0, 0, 2));
    EXPECT_FALSE(out.collided);
    // A centre exactly on an edge still gets a finite normal.
    RbTestBoxSphere(out, box, Translation(0, 0, 0), ball, Translation(1, 1, 0));
    ASSERT_TRUE(out.collided);
    EXPECT_TRUE(RbIsFinite(out.normal));
    EXPECT_NEAR(RbLength(out.normal), 1.0f, 1e-6f);
    RbGeometry cyl = Cylinder(1, 2);
    RbTestCylinderSphere(out, cyl, Pose(RbQuaternion{}, 0, 0, 0), ball, Translation(1.4f, 0.3f, 0));
    Check(out, {true, 0.1f, RbVec(-1, 0, 0)}, "cylinder-sphere");
}

// A terrain made of triangles the test owns.
struct Terrain {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> candidates;
    RbGeometry shape;

    int Add(const RbVector& a, const RbVector& b, const RbVector& c, int material = 0, int mode = 0,
            int boxMaterial = 0) {
        int base = static_cast<int>(vertices.size());
        vertices.insert(vertices.end(), {a, b, c});
        RbTriangle t;
        t.vertex[0] = base;
        t.vertex[1] = base + 1;
        t.vertex[2] = base + 2;
        t.material = material;
        t.testMode = mode;
        t.boxMaterial = boxMaterial;
        triangles.push_back(t);
        candidates.push_back(static_cast<int>(triangles.size()) - 1);
        return candidates.back();
    }
    // A square at height z made of two counter-clockwise triangles (normal +z).
    void Square(float z, float half, int material = 0, int mode = 0, int boxMaterial = 0) {
        Add(RbVec(-half, -half, z), RbVec(half, -half, z), RbVec(half, half, z), material, mode, boxMaterial);
        Add(RbVec(-half, -half, z), RbVec(half, half, z), RbVec(-half, half, z), material, mode, boxMaterial);
    }
    RbGeometry& Shape() {
        shape.SetDefaults();
        shape.SetTriangleMesh(candidates.data(), static_cast<int>(candidates.size()), triangles.data(),
                              static_cast<int>(triangles.size()), vertices.data());
        return shape;
    }
};

TEST(PairTests, BoxOnTrianglesTakesTheDeepestCornerAndTheBoxMaterial) {
    Terrain t;
    t.Square(0, 10, 4, 0, 9);
    RbGeometry box = Box(1, 1, 1);
    RbContact out;
    RbTestBoxMesh(out, box, Translation(0, 0, 0.45f), t.Shape());
    Check(out, {true, 0.05f, RbVec(0, 0, 1)}, "flat box");
    EXPECT_NEAR(out.offsetA.z, -0.05f, 1e-5f);
    EXPECT_EQ(out.materialB, 9);
    // Tilted box: the lowest corner decides.
    RbTestBoxMesh(out, box, Pose(AxisAngle(RbVec(1, 0, 0), kPi / 4), 0, 0, 0.6f), t.Shape());
    Check(out, {true, kS - 0.6f, RbVec(0, 0, 1)}, "tilted box");
    RbTestBoxMesh(out, box, Translation(0, 0, 0.6f), t.Shape());
    EXPECT_FALSE(out.collided);
}

TEST(PairTests, BoxAgainstATriangleEdge) {
    Terrain t;
    // A steep wall triangle whose top edge runs along y at z = 0.
    t.Add(RbVec(0, -5, 0), RbVec(0, 5, 0), RbVec(0, 0, -5));
    RbGeometry box = Box(1, 1, 1);
    RbContact out;
    RbTestBoxMesh(out, box, Pose(AxisAngle(RbVec(0, 1, 0), kPi / 4), 0, 0, kS - 0.1f), t.Shape());
    ASSERT_TRUE(out.collided);
    // The least separation runs along the box's diagonal axis: 0.1 * cos 45.
    EXPECT_NEAR(out.depth, 0.1f * kS, 1e-4f);
    EXPECT_TRUE(RbIsFinite(out.normal));
}

TEST(PairTests, CylinderOnTrianglesFaceAndEdge) {
    Terrain t;
    t.Square(0, 10, 6);
    RbGeometry cyl = Cylinder(1, 1);
    RbContact out;
    // Standing upright: the capsule's lower end is 0.1 below the plane.
    RbTestCylinderMesh(out, cyl, AxisZ(0, 0, 0.9f), t.Shape());
    Check(out, {true, 0.1f, RbVec(0, 0, 1)}, "standing");
    EXPECT_EQ(out.materialB, 6);
    // Lying on its side.
    RbTestCylinderMesh(out, cyl, AxisX(1, 2, 0.45f), t.Shape());
    Check(out, {true, 0.05f, RbVec(0, 0, 1)}, "lying");
    // Farther than radius + half height from the plane: nothing.
    RbTestCylinderMesh(out, cyl, AxisZ(0, 0, 1.01f), t.Shape());
    EXPECT_FALSE(out.collided);

    // Over the edge of a single triangle: an edge contact.
    Terrain edge;
    edge.Add(RbVec(0, -5, 0), RbVec(0, 5, 0), RbVec(-10, 0, 0));
    RbTestCylinderMesh(out, cyl, AxisZ(0.2f, 0, 0.9f), edge.Shape());
    ASSERT_TRUE(out.collided);
    EXPECT_GT(out.depth, 0.0f);
    EXPECT_NEAR(out.offsetB.x, 0.0f, 1e-5f); // on the triangle's edge
}

TEST(PairTests, TestModesSkipTriangles) {
    RbGeometry box = Box(1, 1, 1);
    RbGeometry cyl = Cylinder(1, 1);
    RbContact out;
    Terrain skipped;
    skipped.Square(0, 10, 0, 2);
    RbTestBoxMesh(out, box, Translation(0, 0, 0.45f), skipped.Shape());
    EXPECT_FALSE(out.collided);
    Terrain vertical;
    vertical.Square(0, 10, 0, 1);
    RbTestCylinderMesh(out, cyl, AxisZ(0, 0, 0.9f), vertical.Shape());
    EXPECT_FALSE(out.collided);
}

TEST(PairTests, VerticalTestMeasuresAlongY) {
    // The vertical test works in the (x, z) plane with heights along y.
    Terrain t;
    t.Add(RbVec(-10, 0, -10), RbVec(-10, 0, 10), RbVec(10, 0, 0), 0, 1, 3);
    RbGeometry box = Box(1, 1, 1);
    RbContact out;
    RbTestBoxMesh(out, box, Translation(0, 0.4f, 0), t.Shape());
    ASSERT_TRUE(out.collided);
    EXPECT_NEAR(out.depth, 0.1f, 1e-5f);
    EXPECT_EQ(out.materialB, 3);
    EXPECT_NEAR(std::fabs(out.normal.y), 1.0f, 1e-6f);
}

TEST(PairTests, MeshKeepsTheDeepestTriangleAndSkipsBadIndices) {
    Terrain t;
    t.Add(RbVec(-5, -5, 0), RbVec(5, -5, 0), RbVec(0, 5, 0), 1);
    t.Add(RbVec(-5, -5, 0.2f), RbVec(5, -5, 0.2f), RbVec(0, 5, 0.2f), 2);
    t.candidates.push_back(99); // out of range
    t.candidates.push_back(-4); // negative
    RbGeometry cyl = Cylinder(1, 1);
    RbContact out;
    RbTestCylinderMesh(out, cyl, AxisZ(0, 0, 1.0f), t.Shape());
    ASSERT_TRUE(out.collided);
    EXPECT_NEAR(out.depth, 0.2f, 1e-5f);
    EXPECT_EQ(out.materialB, 2);
}

TEST(PairTests, ClassifyAndSegmentHelpers) {
    RbTriangleData tri;
    RbBuildTriangle(tri, RbVec(0, 0, 0), RbVec(1, 0, 0), RbVec(0, 1, 0));
    EXPECT_EQ(RbClassifyInTriangle(tri, RbVec(0.2f, 0.2f, 0)), -1);
    EXPECT_EQ(RbClassifyInTriangle(tri, RbVec(0.5f, -1, 0)), 1); // beyond edge 0
    EXPECT_EQ(RbClassifyInTriangle(tri, RbVec(-1, -1, 0)), 0);   // beyond vertex 0
    RbTriangleData degenerate;
    RbBuildTriangle(degenerate, RbVec(0, 0, 0), RbVec(1, 0, 0), RbVec(2, 0, 0));
    EXPECT_VEC_NEAR(degenerate.n, 0, 0, 0, 0);

    RbSegmentPoints cp = RbSegmentClosestPoints(RbVec(-1, 0, 0), RbVec(1, 0, 0), RbVec(0, -1, 1), RbVec(0, 1, 1));
    EXPECT_TRUE(cp.valid);
    EXPECT_NEAR(cp.distance, 1.0f, 1e-6f);
    cp = RbSegmentClosestPoints(RbVec(0, 0, 0), RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(1, 1, 0));
    EXPECT_FALSE(cp.computed);
    EXPECT_FALSE(cp.valid);

    RbVector boxPoint, segmentPoint;
    RbSegmentBoxClosest(RbVec(-3, 0, 2), RbVec(3, 0, 2), RbVec(1, 1, 1), boxPoint, segmentPoint);
    EXPECT_NEAR(segmentPoint.z, 2.0f, 1e-6f);
    EXPECT_NEAR(boxPoint.z, 1.0f, 1e-6f);
    EXPECT_LE(std::fabs(segmentPoint.x), 1.0f + 1e-5f);
    RbSegmentBoxClosest(RbVec(3, 3, 3), RbVec(5, 5, 5), RbVec(1, 1, 1), boxPoint, segmentPoint);
    EXPECT_VEC_NEAR(segmentPoint, 3, 3, 3, 1e-6f);
    EXPECT_VEC_NEAR(boxPoint, 1, 1, 1, 1e-6f);

    RbVector axes[3] = {RbVec(1, 0, 0), RbVec(0, 2, 0), RbVec(0, 0, 3)};
    RbVector corners[8];
    RbBoxCorners(RbVec(0, 0, 0), axes, corners);
    EXPECT_VEC_NEAR(corners[0], 1, 2, 3, 0);
    EXPECT_VEC_NEAR(corners[1], 1, 2, -3, 0);
    EXPECT_VEC_NEAR(corners[7], -1, -2, -3, 0);
}

} // namespace
