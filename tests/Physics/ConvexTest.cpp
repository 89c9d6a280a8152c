// Convex hulls: the builder, hull against box, hull and triangle, and hull shapes
// in the world.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <vector>

namespace {

std::vector<RbVector> CubeCorners(float half) {
    std::vector<RbVector> c;
    for (int i = 0; i < 8; ++i)
        c.push_back(RbVec((i & 4) ? half : -half, (i & 2) ? half : -half, (i & 1) ? half : -half));
    return c;
}

// Every point lies on or behind every face plane, normals are unit, and the
// triangulated hull's counts satisfy V - E + F = 2 with E = 3F / 2.
void ExpectSoundHull(const RbConvexHull* h, const std::vector<RbVector>& points) {
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->vertexCount - h->edgeCount + h->faceCount, 2);
    EXPECT_EQ(2 * h->edgeCount, 3 * h->faceCount);
    for (int f = 0; f < h->faceCount; ++f) {
        RbVector n = RbVec(h->planes[f].x, h->planes[f].y, h->planes[f].z);
        EXPECT_NEAR(RbLengthSq(n), 1.0f, 1e-4f);
        for (const RbVector& p : points) EXPECT_LE(RbDot(n, p) + h->planes[f].w, 1e-3f);
        for (int k = 0; k < 3; ++k) {
            // Neighbours share the edge between them.
            int e = h->faceEdges[f][k];
            int other = h->faceNeighbours[f][k];
            EXPECT_TRUE((h->edges[e][0] == f && h->edges[e][1] == other) ||
                        (h->edges[e][1] == f && h->edges[e][0] == other));
        }
    }
    for (int v = 0; v < h->vertexCount; ++v) {
        int listed = 0;
        for (int at = h->vertexEdgeStart[v]; h->vertexEdgeLists[at] != 255; ++at) {
            int e = h->vertexEdgeLists[at];
            EXPECT_TRUE(h->edges[e][2] == v || h->edges[e][3] == v);
            ++listed;
        }
        EXPECT_GE(listed, 3);
    }
    // Every face lies in the plane of a listed face and no two listed faces share a
    // plane; an edge is listed as the solid's own exactly when its two faces lie in
    // different planes (faces of one plane have the same outward normal).
    auto samePlane = [h](int f, int g) {
        RbVector m = RbVec(h->planes[f].x, h->planes[f].y, h->planes[f].z);
        RbVector n = RbVec(h->planes[g].x, h->planes[g].y, h->planes[g].z);
        return RbDot(m, n) > 0.0f && RbLengthSq(RbCross(m, n)) < 1e-8f;
    };
    ASSERT_GE(h->planeFaceCount, 4);
    ASSERT_LE(h->planeFaceCount, h->faceCount);
    for (int f = 0; f < h->faceCount; ++f) {
        int planes = 0;
        for (int k = 0; k < h->planeFaceCount; ++k) planes += samePlane(f, h->planeFaces[k]) ? 1 : 0;
        EXPECT_GE(planes, 1) << "face " << f;
    }
    for (int k = 0; k < h->planeFaceCount; ++k)
        for (int j = 0; j < k; ++j) EXPECT_FALSE(samePlane(h->planeFaces[j], h->planeFaces[k]));
    ASSERT_LE(h->solidEdgeCount, h->edgeCount);
    for (int e = 0; e < h->edgeCount; ++e) {
        bool listed =
            std::find(h->solidEdges, h->solidEdges + h->solidEdgeCount, e) != h->solidEdges + h->solidEdgeCount;
        EXPECT_EQ(listed, !samePlane(h->edges[e][0], h->edges[e][1])) << "edge " << e;
    }
}

RbGeometry BoxShape(float sx, float sy, float sz) {
    RbGeometry g;
    g.SetDefaults();
    g.SetBox(sx, sy, sz);
    return g;
}

} // namespace

TEST(ConvexHull, BuildsCubesTetrahedraAndPointClouds) {
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbVector> cube = CubeCorners(0.5f);
    RbConvexHull* h = sim->CreateConvexHull(cube.data(), 8);
    ExpectSoundHull(h, cube);
    EXPECT_EQ(h->vertexCount, 8);
    EXPECT_EQ(h->faceCount, 12);
    EXPECT_EQ(h->planeFaceCount, 6);
    EXPECT_EQ(h->solidEdgeCount, 12);

    std::vector<RbVector> tetra = {RbVec(0, 0, 0), RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(0, 0, 1)};
    RbConvexHull* t = sim->CreateConvexHull(tetra.data(), 4);
    ExpectSoundHull(t, tetra);
    EXPECT_EQ(t->vertexCount, 4);
    EXPECT_EQ(t->faceCount, 4);
    EXPECT_EQ(t->planeFaceCount, 4);
    EXPECT_EQ(t->solidEdgeCount, 6);

    // Interior points and duplicates do not become vertices.
    std::vector<RbVector> messy = cube;
    messy.insert(messy.end(), {RbVec(0, 0, 0), RbVec(0.1f, 0.2f, -0.3f), cube[3], cube[5], RbVec(0.5f, 0, 0)});
    RbConvexHull* m = sim->CreateConvexHull(messy.data(), static_cast<int>(messy.size()));
    ExpectSoundHull(m, messy);
    EXPECT_EQ(m->vertexCount, 8);

    uint32_t seed = 77;
    auto random = [&]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7fff) / 32767.0f - 0.5f;
    };
    for (int cloud = 0; cloud < 5; ++cloud) {
        std::vector<RbVector> points;
        for (int i = 0; i < 40; ++i) points.push_back(RbVec(random() * 2, random(), random() * 3));
        RbConvexHull* c = sim->CreateConvexHull(points.data(), static_cast<int>(points.size()));
        ExpectSoundHull(c, points);
    }
}

TEST(ConvexHull, DegenerateInputIsRefused) {
    RbSimulatorPtr sim = MakeSimulator();
    RbHullResult why = RbHullBuilt;
    std::vector<RbVector> flat = {RbVec(0, 0, 0), RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(1, 1, 0), RbVec(2, 3, 0)};
    EXPECT_EQ(sim->CreateConvexHull(flat.data(), 5, &why), nullptr);
    EXPECT_EQ(why, RbHullTooFewPoints);
    std::vector<RbVector> same(6, RbVec(1, 2, 3));
    EXPECT_EQ(sim->CreateConvexHull(same.data(), 6, &why), nullptr);
    EXPECT_EQ(why, RbHullTooFewPoints);
    std::vector<RbVector> line = {RbVec(0, 0, 0), RbVec(1, 1, 1), RbVec(2, 2, 2), RbVec(3, 3, 3)};
    EXPECT_EQ(sim->CreateConvexHull(line.data(), 4, &why), nullptr);
    EXPECT_EQ(sim->CreateConvexHull(line.data(), 3, &why), nullptr);
    EXPECT_EQ(sim->CreateConvexHull(nullptr, 8, &why), nullptr);
    std::vector<RbVector> bad = CubeCorners(1);
    bad[5].z = std::nanf("");
    EXPECT_EQ(sim->CreateConvexHull(bad.data(), 8, &why), nullptr);
    EXPECT_EQ(why, RbHullNotFinite);
    // A fine sphere needs more than 255 faces.
    std::vector<RbVector> sphere;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            sphere.push_back(RbVec(std::sin(0.15f * i + 0.1f) * std::cos(0.314f * j),
                                   std::sin(0.15f * i + 0.1f) * std::sin(0.314f * j), std::cos(0.15f * i + 0.1f)));
    EXPECT_EQ(sim->CreateConvexHull(sphere.data(), static_cast<int>(sphere.size()), &why), nullptr);
    EXPECT_EQ(why, RbHullTooComplex);
}

TEST(ConvexHull, BoxShapedHullCollidesLikeTheBox) {
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbVector> corners = CubeCorners(0.5f);
    RbConvexHull* hull = sim->CreateConvexHull(corners.data(), 8);
    RbGeometry hullShape;
    hullShape.SetDefaults();
    ASSERT_TRUE(hullShape.SetConvexHull(hull));
    RbGeometry box = BoxShape(1, 1, 1);
    RbGeometry other = BoxShape(2, 1, 0.5f);
    struct PosePair {
        RbMatrix a;
        RbMatrix b;
    } poses[] = {
        {Translation(0.9f, 0, 0), Translation(0, 0, 0)},
        {Translation(0, 0, 0.6f), Translation(0, 0, 0)},
        {RbMatrix{}, Translation(0.3f, -1.1f, 0.1f)},
        {Pose(AxisAngle(RbVec(0, 0, 1), 0.3f), 0.1f, 0, 0.7f), Translation(0, 0, 0)},
        {Translation(3, 0, 0), Translation(0, 0, 0)},
    };
    for (const PosePair& p : poses) {
        RbContact expected, got, hullHull;
        RbTestBoxBox(expected, box, p.a, other, p.b);
        sim->CollideConvex(got, &hullShape, p.a, &other, p.b);
        EXPECT_EQ(got.collided, expected.collided);
        if (!expected.collided) continue;
        EXPECT_NEAR(got.depth, expected.depth, 1e-4f);
        EXPECT_VEC_NEAR(got.normal, expected.normal.x, expected.normal.y, expected.normal.z, 1e-4f);
        // A's point lies inside B by the depth (as box-box puts it).
        EXPECT_NEAR(RbDot(got.offsetA - got.offsetB, got.normal), -got.depth, 1e-4f);
        EXPECT_NEAR(RbDot(expected.offsetA - expected.offsetB, expected.normal), -expected.depth, 1e-4f);
        // Box first (the box-convex entry) gives the same result.
        sim->CollideConvex(hullHull, &box, p.a, &other, p.b);
        EXPECT_NEAR(hullHull.depth, expected.depth, 1e-4f);
    }
}

TEST(ConvexHull, HullAgainstHullAndTriangleTable) {
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbVector> corners = CubeCorners(0.5f);
    RbConvexHull* cube = sim->CreateConvexHull(corners.data(), 8);
    RbGeometry a, b;
    a.SetDefaults();
    b.SetDefaults();
    a.SetConvexHull(cube);
    b.SetConvexHull(cube);
    RbContact c;
    sim->CollideConvex(c, &a, Translation(0, 0, 0.8f), &b, Translation(0, 0, 0));
    ASSERT_EQ(c.collided, 1);
    EXPECT_NEAR(c.depth, 0.2f, 1e-5f);
    EXPECT_VEC_NEAR(c.normal, 0, 0, 1, 1e-5f);
    sim->CollideConvex(c, &a, Translation(0, 0, 1.01f), &b, Translation(0, 0, 0));
    EXPECT_EQ(c.collided, 0);

    // A crossed edge-on pair: A turned 45 degrees about x and y lies edge down on B's top edge.
    RbMatrix tilted = Pose(
        RbQuaternionMultiply(AxisAngle(RbVec(1, 0, 0), 0.785398f), AxisAngle(RbVec(0, 1, 0), 0.785398f)), 0, 0, 1.15f);
    sim->CollideConvex(c, &a, tilted, &b, Pose(AxisAngle(RbVec(1, 0, 0), 0.785398f), 0, 0, 0));
    EXPECT_EQ(c.collided, 1);
    EXPECT_GT(c.normal.z, 0.5f);

    // A hull over a large triangle at z = 0.
    RbVector v0 = RbVec(-10, -10, 0), v1 = RbVec(10, -10, 0), v2 = RbVec(0, 10, 0);
    struct Case {
        RbMatrix pose;
        int collided;
        float depth;
    } cases[] = {
        {Translation(0, 0, 0.6f), 0, 0.0f},
        {Translation(0, 0, 0.4f), 1, 0.1f},
        {Pose(AxisAngle(RbVec(1, 0, 0), 0.785398f), 0, 0, 0.6f), 1, 0.70710678f - 0.6f},
    };
    for (const Case& k : cases) {
        sim->CollideConvexTriangle(c, &a, k.pose, v0, v1, v2);
        EXPECT_EQ(c.collided, k.collided);
        if (!k.collided) continue;
        EXPECT_NEAR(c.depth, k.depth, 1e-4f);
        EXPECT_VEC_NEAR(c.normal, 0, 0, 1, 1e-4f);
        EXPECT_NEAR(c.offsetB.z, 0.0f, 1e-4f);
    }
    // A degenerate triangle is survived.
    sim->CollideConvexTriangle(c, &a, Translation(0, 0, 0), RbVec(0, 0, 0), RbVec(1, 1, 1), RbVec(2, 2, 2));
    EXPECT_TRUE(c.collided == 0 || std::isfinite(c.depth));
}

namespace {

std::vector<RbVector> g_vertices;
std::vector<RbTriangle> g_triangles;
std::vector<int> g_candidates;

void AnswerGround(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                  const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    *candidates = g_candidates.data();
    *candidateCount = static_cast<int>(g_candidates.size());
    *triangles = g_triangles.data();
    *triangleCount = static_cast<int>(g_triangles.size());
    *vertices = g_vertices.data();
}

} // namespace

TEST(ConvexHull, HullDroppedOnTerrainComesToRest) {
    g_vertices = {RbVec(-50, -50, 0), RbVec(50, -50, 0), RbVec(50, 50, 0), RbVec(-50, 50, 0)};
    g_triangles.assign(2, RbTriangle{});
    g_triangles[0].vertex[0] = 0, g_triangles[0].vertex[1] = 1, g_triangles[0].vertex[2] = 2;
    g_triangles[1].vertex[0] = 0, g_triangles[1].vertex[1] = 2, g_triangles[1].vertex[2] = 3;
    g_triangles[1].material = 3;
    g_candidates = {0, 1};
    RbSimulatorPtr sim = MakeSimulator();
    sim->SetTerrainQuery(AnswerGround);
    // A squat hull: an octagonal prism.
    std::vector<RbVector> points;
    for (int i = 0; i < 8; ++i) {
        float a = 0.785398f * i + 0.3f;
        points.push_back(RbVec(0.6f * std::cos(a), 0.6f * std::sin(a), 0.25f));
        points.push_back(RbVec(0.6f * std::cos(a), 0.6f * std::sin(a), -0.25f));
    }
    RbConvexHull* hull = sim->CreateConvexHull(points.data(), static_cast<int>(points.size()));
    ASSERT_NE(hull, nullptr);
    RbRigidBody* body = sim->NewRigidBody();
    ASSERT_TRUE(body->AttachGeometry()->SetConvexHull(hull));
    body->UpdateBounds();
    body->SetBodyInertia(RbBoxInertiaFromSizes(1.2f, 1.2f, 0.5f, 1.0f));
    body->SetPosition(RbVec(0, 0, 1.0f));
    body->SetRotation(AxisAngle(RbVec(1, 0, 0), 0.2f));
    body->UpdateBounds();
    int slept = -1;
    for (int i = 0; i < 900 && slept < 0; ++i) {
        sim->Advance(kStep, 1, nullptr);
        if (body->IsResting()) slept = i;
    }
    EXPECT_GE(slept, 0);
    EXPECT_NEAR(body->GetPosition().z, 0.25f, 0.03f);
    RbVector up = RbRow(body->GetTransform(), 2);
    EXPECT_GT(up.z, 0.99f); // lying on its flat face

    // A hull in use cannot be freed; once its shape is gone it can.
    EXPECT_FALSE(sim->FreeConvexHull(hull));
    sim->FreeBody(body);
    EXPECT_EQ(hull->users, 0);
    EXPECT_TRUE(sim->FreeConvexHull(hull));
    EXPECT_FALSE(sim->FreeConvexHull(hull));
}

TEST(ConvexHull, DepthMatchesABruteForceSearchOverEveryAxis) {
    RbSimulatorPtr sim = MakeSimulator();
    uint32_t seed = 5;
    auto r = [&]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7fff) / 32767.0f - 0.5f;
    };
    std::vector<RbVector> points;
    for (int i = 0; i < 30; ++i) points.push_back(RbVec(r() * 2, r(), r() * 1.5f));
    RbConvexHull* hull = sim->CreateConvexHull(points.data(), 30);
    ASSERT_NE(hull, nullptr);
    RbGeometry a, b;
    a.SetDefaults();
    b.SetDefaults();
    a.SetConvexHull(hull);
    b.SetConvexHull(hull);
    auto world = [&](const RbMatrix& t) {
        std::vector<RbVector> w;
        for (int v = 0; v < hull->vertexCount; ++v) w.push_back(RbTransformPoint(t, hull->vertices[v]));
        return w;
    };
    auto overlap = [](const std::vector<RbVector>& p, const std::vector<RbVector>& q, const RbVector& axis) {
        float pMin = 1e30f, pMax = -1e30f, qMin = 1e30f, qMax = -1e30f;
        for (const RbVector& v : p) pMin = std::min(pMin, RbDot(v, axis)), pMax = std::max(pMax, RbDot(v, axis));
        for (const RbVector& v : q) qMin = std::min(qMin, RbDot(v, axis)), qMax = std::max(qMax, RbDot(v, axis));
        return std::min(pMax - qMin, qMax - pMin);
    };
    int hits = 0;
    for (int n = 0; n < 200; ++n) {
        RbMatrix ta = Pose(RbNormalizeQuaternion(RbQuaternion{r(), r(), r(), r()}), r() * 2, r() * 2, r() * 2);
        RbMatrix tb = Pose(RbNormalizeQuaternion(RbQuaternion{r(), r(), r(), r()}), r() * 2, r() * 2, r() * 2);
        std::vector<RbVector> wa = world(ta), wb = world(tb);
        float reference = 1e30f;
        int kind = 0;
        for (int f = 0; f < hull->faceCount; ++f) {
            float o1 = overlap(wa, wb, RbRotate(ta, hull->planes[f]));
            float o2 = overlap(wa, wb, RbRotate(tb, hull->planes[f]));
            if (o1 < reference) reference = o1, kind = 1;
            if (o2 < reference) reference = o2, kind = 2;
        }
        for (int i = 0; i < hull->edgeCount; ++i) {
            RbVector ea = wa[hull->edges[i][3]] - wa[hull->edges[i][2]];
            for (int j = 0; j < hull->edgeCount; ++j) {
                RbVector eb = wb[hull->edges[j][3]] - wb[hull->edges[j][2]];
                RbVector axis = RbCross(ea, eb);
                if (RbLengthSq(axis) < 1e-6f * RbLengthSq(ea) * RbLengthSq(eb) || RbLengthSq(axis) < 1e-10f) continue;
                float o = overlap(wa, wb, axis * (1.0f / std::sqrt(RbLengthSq(axis))));
                if (o < reference) reference = o, kind = 3;
            }
        }
        RbContact c;
        sim->CollideConvex(c, &a, ta, &b, tb);
        SCOPED_TRACE(n);
        if (reference > 1e-4f) {
            ASSERT_EQ(c.collided, 1);
        } else if (reference < -1e-4f) {
            EXPECT_EQ(c.collided, 0);
        }
        if (!c.collided) continue;
        ++hits;
        // Faces are preferred over a slightly shallower edge pair.
        EXPECT_GE(c.depth, reference - 1e-4f);
        EXPECT_LE(c.depth, reference / 0.95f + 2e-4f) << kind << " ref " << reference;
    }
    EXPECT_GT(hits, 50);
}
