// Contacts with terrain triangles: boxes nearly aligned with a triangle's edges,
// one-sided triangles, and bodies landing on a triangle grid at race speeds.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <algorithm>
#include <string>
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

namespace {

// A grid of square cells (2 m unless told) over [-half, half] x [-width, width]
// whose heights follow `height`, owned by the test and handed to the simulator's
// terrain tree.
struct GridGround {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;

    template <class Height>
    GridGround(float half, float width, Height height, float cell = 2.0f) {
        int nx = static_cast<int>(2.0f * half / cell), ny = static_cast<int>(2.0f * width / cell);
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) {
                float x = -half + i * cell, y = -width + j * cell;
                vertices.push_back(RbVec(x, y, height(x, y)));
            }
        AppendGridTriangles(nx, ny, triangles);
    }
};

enum class Shape { Box, Cylinder, Sphere, Hull };

const char* Name(Shape s) {
    switch (s) {
    case Shape::Box: return "box";
    case Shape::Cylinder: return "cylinder";
    case Shape::Sphere: return "sphere";
    default: return "hull";
    }
}

// A body of about a metre across; `reach` is the least distance from its centre
// to its surface.
RbRigidBody* MakeShape(RbSimulator* sim, Shape shape, float& reach) {
    RbRigidBody* body = sim->NewRigidBody();
    RbGeometry* g = body->AttachGeometry();
    switch (shape) {
    case Shape::Box:
        g->SetBoxDimensions(1.0f, 0.8f, 0.6f);
        reach = 0.3f;
        break;
    case Shape::Cylinder:
        g->SetCylinderShape(0.8f, 1.0f);
        reach = 0.4f;
        break;
    case Shape::Sphere:
        g->SetSphere(0.4f);
        reach = 0.4f;
        break;
    case Shape::Hull: {
        // A six-sided prism.
        std::vector<RbVector> points;
        for (float z : {-0.35f, 0.35f})
            for (int i = 0; i < 6; ++i) {
                float a = 2.0f * 3.14159265f * i / 6.0f;
                points.push_back(RbVec(0.5f * std::cos(a), 0.5f * std::sin(a), z));
            }
        RbConvexHull* hull = sim->CreateConvexHull(points.data(), static_cast<int>(points.size()));
        EXPECT_NE(hull, nullptr);
        if (hull) g->SetConvexHull(hull);
        reach = 0.35f;
        break;
    }
    }
    body->UpdateBounds();
    body->SetMass(50.0f);
    body->SetBodyInertia(RbVec(5.0f, 5.0f, 5.0f));
    return body;
}

} // namespace

TEST(TerrainContact, LandingBodiesStayAboveTheGround) {
    // Flat ground, a ridge where two slopes meet along a shared edge, and a peak
    // where four slopes meet at a shared vertex; each body lands right on the
    // feature, at speeds up to a car leaving a jump.
    struct Surface {
        const char* name;
        float (*height)(float, float);
    } surfaces[] = {
        {"flat", [](float, float) { return 0.0f; }},
        {"ridge", [](float x, float) { return -0.25f * std::fabs(x); }},
        {"vertex", [](float x, float y) { return -0.2f * (std::fabs(x) + std::fabs(y)); }},
    };
    for (const Surface& surface : surfaces) {
        // Wide enough for a hull that a corner landing at 60 m/s sets rolling.
        GridGround ground(320.0f, 320.0f, surface.height, 8.0f);
        for (Shape shape : {Shape::Box, Shape::Cylinder, Shape::Sphere, Shape::Hull}) {
            for (float speed : {5.0f, 20.0f, 60.0f}) {
                SCOPED_TRACE(std::string(surface.name) + " " + Name(shape) + " " + std::to_string(speed));
                RbSimulatorPtr sim = MakeSimulator();
                sim->SetMaterial(0, 0.5f, 0.2f);
                ASSERT_TRUE(sim->BuildTerrainTree(ground.vertices.data(), static_cast<int>(ground.vertices.size()),
                                                  ground.triangles.data(), static_cast<int>(ground.triangles.size())));
                float reach = 0.0f;
                RbRigidBody* body = MakeShape(sim.get(), shape, reach);
                // Slightly turned, so that no face lands exactly flat on the ground.
                body->SetRotation(AxisAngle(RbVec(0.6f, 0.8f, 0.0f), 0.3f));
                body->SetPosition(RbVec(0.01f, 0.02f, 1.5f));
                body->SetVelocity(RbVec(0, 0, -speed));
                float lowest = 1e9f;
                // A corner landing at 60 m/s sets the body tumbling for a while; a
                // prism set rolling down the peak's slope is followed to the edge.
                const int steps = speed > 30.0f ? 900 : 240;
                for (int step = 0; step < steps; ++step) {
                    sim->Advance(kStep, 1, nullptr);
                    RbVector p = body->GetPosition();
                    ASSERT_TRUE(RbIsFinite(p));
                    lowest = std::min(lowest, p.z - surface.height(p.x, p.y));
                    if (std::max(std::fabs(p.x), std::fabs(p.y)) > 300.0f) break;
                }
                RbVector p = body->GetPosition();
                // The centre never passes the surface, and the body ends on it
                // unless it is still tumbling down a slope (a corner landing at
                // 60 m/s on the ridge sets a box or a prism bouncing end over end).
                EXPECT_GT(lowest, 0.0f);
                EXPECT_GT(p.z - surface.height(p.x, p.y), 0.5f * reach);
                bool stopped = RbLengthSq(body->GetVelocity()) < 1.0f;
                if (std::max(std::fabs(p.x), std::fabs(p.y)) <= 300.0f && stopped) {
                    EXPECT_LT(p.z - surface.height(p.x, p.y), 1.0f);
                }
            }
        }
    }
}

TEST(TerrainContact, FastBodyAlongTheRoadStaysOnIt) {
    // 80 m/s along the ground and falling onto it at 20 and 60 m/s.
    GridGround ground(200.0f, 40.0f, [](float, float) { return 0.0f; });
    for (float fall : {20.0f, 60.0f})
        for (Shape shape : {Shape::Box, Shape::Cylinder, Shape::Sphere, Shape::Hull}) {
            SCOPED_TRACE(std::string(Name(shape)) + " " + std::to_string(fall));
            RbSimulatorPtr sim = MakeSimulator();
            sim->SetMaterial(0, 0.5f, 0.2f);
            ASSERT_TRUE(sim->BuildTerrainTree(ground.vertices.data(), static_cast<int>(ground.vertices.size()),
                                              ground.triangles.data(), static_cast<int>(ground.triangles.size())));
            float reach = 0.0f;
            RbRigidBody* body = MakeShape(sim.get(), shape, reach);
            body->SetRotation(AxisAngle(RbVec(0.0f, 0.6f, 0.8f), 0.2f));
            body->SetPosition(RbVec(-190.0f, 0.3f, 1.0f));
            body->SetVelocity(RbVec(80.0f, 0, -fall));
            float lowest = 1e9f;
            for (int step = 0; step < 180; ++step) {
                sim->Advance(kStep, 1, nullptr);
                RbVector p = body->GetPosition();
                ASSERT_TRUE(RbIsFinite(p));
                if (p.x < 199.0f && std::fabs(p.y) < 39.0f) lowest = std::min(lowest, p.z);
            }
            EXPECT_GT(lowest, 0.0f);
        }
}
