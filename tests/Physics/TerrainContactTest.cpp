// Contacts with terrain triangles: boxes nearly aligned with a triangle's edges,
// one-sided triangles, and bodies landing on a triangle grid at race speeds.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <vector>

namespace {

// Triangles the test owns, all offered as candidates.
struct Ground {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> candidates;
    RbGeometry shape;

    void Add(const RbVector& a, const RbVector& b, const RbVector& c) {
        int base = static_cast<int>(vertices.size());
        vertices.insert(vertices.end(), {a, b, c});
        RbTriangle t;
        for (int k = 0; k < 3; ++k) t.vertex[k] = base + k;
        t.material = 0;
        t.testMode = 0;
        t.boxMaterial = 0;
        triangles.push_back(t);
        candidates.push_back(static_cast<int>(triangles.size()) - 1);
    }
    // A flat square at z = 0 facing +z, split along its diagonal.
    void Square(float half) {
        Add(RbVec(-half, -half, 0), RbVec(half, -half, 0), RbVec(half, half, 0));
        Add(RbVec(-half, -half, 0), RbVec(half, half, 0), RbVec(-half, half, 0));
    }
    RbGeometry& Shape() {
        shape.SetDefaults();
        shape.SetTriangleMesh(candidates.data(), static_cast<int>(candidates.size()), triangles.data(),
                              static_cast<int>(triangles.size()), vertices.data());
        return shape;
    }
};

RbGeometry UnitBox() {
    RbGeometry g;
    g.SetDefaults();
    g.SetBoxDimensions(1, 1, 1);
    return g;
}

} // namespace

TEST(TerrainContact, BoxNearlyParallelToATriangleEdgeStillTouches) {
    // A turn of under a milliradian leaves the box's edges almost parallel to the
    // square's: the cross product of such a pair is too short to give an axis, and
    // it must not be read as a gap.
    Ground ground;
    ground.Square(50);
    RbGeometry box = UnitBox();
    for (float angle : {0.0f, 1e-5f, 3e-4f, 8e-4f, 2e-3f}) {
        for (const RbVector& axis : {RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(1, 1, 0) * 0.70710678f}) {
            RbContact out;
            RbTestBoxMesh(out, box, Pose(AxisAngle(axis, angle), 0.5f, -0.7f, 0.14f), ground.Shape());
            ASSERT_TRUE(out.collided) << "angle " << angle;
            EXPECT_NEAR(out.depth, 0.36f, 0.01f) << "angle " << angle;
            EXPECT_GT(out.normal.z, 0.99f) << "angle " << angle;
        }
    }
}
