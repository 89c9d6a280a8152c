// Micro-benchmarks of single collision queries on random poses: box-box,
// box-triangle, capsule-triangle and a sensor ray against a set of terrain
// triangles, for our engine, Bullet and ODE. Before timing, the deepest contact
// of each of our pair tests is compared with ODE's and Bullet's on the same
// poses (normal and depth), and the agreement is printed.

#include "BenchEngine.h"

#include "Physics/RbCollide.h"

#include <BulletCollision/CollisionDispatch/btCollisionObjectWrapper.h>
#include <BulletCollision/CollisionShapes/btTriangleShape.h>
#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>
#include <ode/ode.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

using bench::Quat;
using bench::Vec3;

constexpr int kPoses = 1024;

struct PosePair {
    Vec3 pa, pb;
    Quat qa, qb;
};

Quat RandomRotation(std::mt19937& random) {
    std::normal_distribution<double> n(0.0, 1.0);
    Quat q{n(random), n(random), n(random), n(random)};
    double len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x / len, q.y / len, q.z / len, q.w / len};
}

// Pairs of unit shapes whose centres are at most `reach` apart.
std::vector<PosePair> Poses(unsigned seed, double reach) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<PosePair> list;
    while (list.size() < kPoses) {
        Vec3 d{u(random), u(random), u(random)};
        if (bench::Length(d) > 1.0) continue;
        list.push_back({{0.0, 0.0, 0.0}, d * reach, RandomRotation(random), RandomRotation(random)});
    }
    return list;
}

// Shapes above a triangle lying in z = 0: centre heights within +-reach.
std::vector<PosePair> PosesOverTriangle(unsigned seed, double reach) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0), inside(0.1, 0.6);
    std::vector<PosePair> list;
    for (int i = 0; i < kPoses; ++i)
        list.push_back({{inside(random), inside(random), reach * u(random)}, {}, RandomRotation(random), {}});
    return list;
}

// ---------------------------------------------------------------- our engine

RbMatrix RbPose(Vec3 p, Quat q) {
    RbMatrix m;
    RbQuaternionToRows(RbQuaternion{float(q.x), float(q.y), float(q.z), float(q.w)}, m);
    m.m[3][0] = float(p.x);
    m.m[3][1] = float(p.y);
    m.m[3][2] = float(p.z);
    m.m[3][3] = 1.0f;
    return m;
}

struct OurShapes {
    RbGeometry box, cylinder, sphere, triangle;
    RbVector vertices[3] = {RbVec(0, 0, 0), RbVec(2, 0, 0), RbVec(0, 2, 0)};
    RbTriangle tri;
    int candidate = 0;
    OurShapes() {
        box.SetDefaults();
        box.SetBox(1.0f, 1.0f, 1.0f);
        cylinder.SetDefaults();
        cylinder.SetCylinderShape(0.5f, 1.0f);
        sphere.SetDefaults();
        sphere.SetSphere(0.25f);
        tri.vertex[0] = 0;
        tri.vertex[1] = 1;
        tri.vertex[2] = 2;
        triangle.SetDefaults();
        triangle.SetTriangleMesh(&candidate, 1, &tri, 1, vertices);
    }
};

// A capsule of radius 0.25 and straight length 1 along y, as our bodies build it.
void OurCapsuleTriangle(OurShapes& s, RbContact& best, const RbMatrix& pose) {
    best = RbContact{};
    RbContact c;
    RbTestCylinderMesh(c, s.cylinder, pose, s.triangle);
    if (c.collided) best = c;
    for (float end : {-0.5f, 0.5f}) {
        RbMatrix cap = pose;
        RbVector axis = RbVec(pose.m[1][0], pose.m[1][1], pose.m[1][2]);
        cap.m[3][0] += end * axis.x;
        cap.m[3][1] += end * axis.y;
        cap.m[3][2] += end * axis.z;
        c = RbContact{};
        RbTestSphereMesh(c, s.sphere, cap, s.triangle);
        if (c.collided && (!best.collided || c.depth > best.depth)) best = c;
    }
}

// ---------------------------------------------------------------- ODE

struct OdeShapes {
    dGeomID box1, box2, capsule, mesh, ray;
    dTriMeshDataID data;
    double vertices[9] = {0, 0, 0, 2, 0, 0, 0, 2, 0};
    dTriIndex indices[3] = {0, 1, 2};
    OdeShapes() {
        dInitODE2(0);
        box1 = dCreateBox(nullptr, 1, 1, 1);
        box2 = dCreateBox(nullptr, 1, 1, 1);
        capsule = dCreateCapsule(nullptr, 0.25, 1.0);
        data = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildDouble(data, vertices, 3 * sizeof(double), 3, indices, 3, 3 * sizeof(dTriIndex));
        mesh = dCreateTriMesh(nullptr, data, nullptr, nullptr, nullptr);
        ray = dCreateRay(nullptr, 1.0);
    }
};

void OdePlace(dGeomID g, Vec3 p, Quat q) {
    dGeomSetPosition(g, p.x, p.y, p.z);
    dQuaternion oq = {q.w, q.x, q.y, q.z};
    dGeomSetQuaternion(g, oq);
}

// ODE's capsule lies along z; ours and Bullet's along y.
Quat CapsuleToZ(Quat q) { return bench::Multiply(q, bench::AxisAngle({1.0, 0.0, 0.0}, -M_PI / 2.0)); }

bool OdeDeepest(dGeomID a, dGeomID b, Vec3& normal, double& depth) {
    dContactGeom c[8];
    int n = dCollide(a, b, 8, c, sizeof(dContactGeom));
    if (n <= 0) return false;
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (c[i].depth > c[best].depth) best = i;
    normal = {c[best].normal[0], c[best].normal[1], c[best].normal[2]};
    depth = c[best].depth;
    return true;
}

// ---------------------------------------------------------------- Bullet

struct BulletShapes {
    btDefaultCollisionConfiguration config;
    btCollisionDispatcher dispatcher{&config};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &config};
    btBoxShape box{btVector3(0.5f, 0.5f, 0.5f)};
    btCapsuleShape capsule{0.25f, 1.0f};
    btTriangleShape triangle{btVector3(0, 0, 0), btVector3(2, 0, 0), btVector3(0, 2, 0)};
    btCollisionObject a, b, tri;
    BulletShapes() {
        // Without a margin Bullet's box and triangle are exact, so depths compare.
        triangle.setMargin(0.0f);
        box.setMargin(0.0f);
        a.setCollisionShape(&box);
        b.setCollisionShape(&box);
        tri.setCollisionShape(&triangle);
    }
};

void BtPlace(btCollisionObject& o, Vec3 p, Quat q) {
    o.setWorldTransform(btTransform(btQuaternion(btScalar(q.x), btScalar(q.y), btScalar(q.z), btScalar(q.w)),
                                    btVector3(btScalar(p.x), btScalar(p.y), btScalar(p.z))));
}

struct DeepestResult : btCollisionWorld::ContactResultCallback {
    const btCollisionObject* first = nullptr;
    bool hit = false;
    Vec3 normal;
    double depth = 0.0;
    btScalar addSingleResult(btManifoldPoint& cp, const btCollisionObjectWrapper* w0, int, int,
                             const btCollisionObjectWrapper*, int, int) override {
        double d = -cp.getDistance();
        if (!hit || d > depth) {
            hit = true;
            depth = d;
            btVector3 n = cp.m_normalWorldOnB;
            if (w0->getCollisionObject() != first) n = -n;
            normal = {n.x(), n.y(), n.z()};
        }
        return 0;
    }
};

bool BtDeepest(BulletShapes& s, btCollisionObject& a, btCollisionObject& b, Vec3& normal, double& depth) {
    DeepestResult r;
    r.first = &a;
    s.world.contactPairTest(&a, &b, r);
    if (!r.hit || r.depth <= 0.0) return false;
    normal = r.normal;
    depth = r.depth;
    return true;
}

// One pair's narrow phase as the dynamics world runs it: a persistent algorithm
// found once, then processCollision per query (contactPairTest would also
// create and free the algorithm on every call).
struct BtPairQuery {
    BtPairQuery(BulletShapes& shapes, btCollisionObject& a, btCollisionObject& b)
        : s(shapes), wa(nullptr, a.getCollisionShape(), &a, a.getWorldTransform(), -1, -1),
          wb(nullptr, b.getCollisionShape(), &b, b.getWorldTransform(), -1, -1),
          algorithm(s.dispatcher.findAlgorithm(&wa, &wb, nullptr, BT_CONTACT_POINT_ALGORITHMS)), result(&wa, &wb) {}
    ~BtPairQuery() {
        algorithm->~btCollisionAlgorithm();
        s.dispatcher.freeCollisionAlgorithm(algorithm);
    }
    int Run() {
        algorithm->processCollision(&wa, &wb, s.world.getDispatchInfo(), &result);
        btPersistentManifold* m = result.getPersistentManifold();
        int n = m ? m->getNumContacts() : 0;
        if (m) m->clearManifold();
        return n;
    }
    BulletShapes& s;
    btCollisionObjectWrapper wa, wb;
    btCollisionAlgorithm* algorithm;
    btManifoldResult result;
};

// ---------------------------------------------------------------- differential correctness

struct Agreement {
    int compared = 0, normalAgrees = 0, depthAgrees = 0, onlyOurs = 0, onlyOther = 0;
    void Add(bool ours, Vec3 on, double od, bool other, Vec3 n, double d) {
        // Only clear, shallow-enough contacts: one deepest contact is well defined there.
        bool oursClear = ours && od > 1e-3 && od < 0.2;
        bool otherClear = other && d > 1e-3 && d < 0.2;
        if (oursClear && !other) ++onlyOurs;
        if (otherClear && !ours) ++onlyOther;
        if (!(oursClear && otherClear)) return;
        ++compared;
        if (bench::Dot(on, n) > std::cos(5.0 * M_PI / 180.0)) ++normalAgrees;
        if (std::fabs(od - d) < std::max(1e-3, 0.05 * d)) ++depthAgrees;
    }
    void Print(const char* test, const char* other) const {
        std::printf("%-18s vs %-6s: %4d compared, normal within 5 deg %5.1f%%, depth within 5%% %5.1f%%, "
                    "contact only ours %d, only %s %d\n",
                    test, other, compared, compared ? 100.0 * normalAgrees / compared : 0.0,
                    compared ? 100.0 * depthAgrees / compared : 0.0, onlyOurs, other, onlyOther);
    }
};

Vec3 FromRb(const RbVector& v) { return {v.x, v.y, v.z}; }

void Differential() {
    OurShapes ours;
    OdeShapes ode;
    BulletShapes bt;
    Agreement boxOde, boxBt, triOde, triBt, capOde, capBt;
    for (const PosePair& p : Poses(11, 1.4)) {
        RbContact c;
        RbTestBoxBox(c, ours.box, RbPose(p.pa, p.qa), ours.box, RbPose(p.pb, p.qb));
        Vec3 n;
        double d = 0.0;
        OdePlace(ode.box1, p.pa, p.qa);
        OdePlace(ode.box2, p.pb, p.qb);
        bool hit = OdeDeepest(ode.box1, ode.box2, n, d);
        boxOde.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
        BtPlace(bt.a, p.pa, p.qa);
        BtPlace(bt.b, p.pb, p.qb);
        hit = BtDeepest(bt, bt.a, bt.b, n, d);
        boxBt.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
    }
    for (const PosePair& p : PosesOverTriangle(12, 0.9)) {
        RbContact c;
        RbTestBoxMesh(c, ours.box, RbPose(p.pa, p.qa), ours.triangle);
        Vec3 n;
        double d = 0.0;
        OdePlace(ode.box1, p.pa, p.qa);
        bool hit = OdeDeepest(ode.box1, ode.mesh, n, d);
        triOde.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
        BtPlace(bt.a, p.pa, p.qa);
        hit = BtDeepest(bt, bt.a, bt.tri, n, d);
        triBt.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
    }
    bt.a.setCollisionShape(&bt.capsule);
    for (const PosePair& p : PosesOverTriangle(13, 0.8)) {
        RbContact c;
        OurCapsuleTriangle(ours, c, RbPose(p.pa, p.qa));
        Vec3 n;
        double d = 0.0;
        OdePlace(ode.capsule, p.pa, CapsuleToZ(p.qa));
        bool hit = OdeDeepest(ode.capsule, ode.mesh, n, d);
        capOde.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
        BtPlace(bt.a, p.pa, p.qa);
        hit = BtDeepest(bt, bt.a, bt.tri, n, d);
        capBt.Add(c.collided != 0, FromRb(c.normal), c.depth, hit, n, d);
    }
    std::printf("Differential check of our pair tests (deepest contact, %d random poses each):\n", kPoses);
    boxOde.Print("box-box", "ODE");
    boxBt.Print("box-box", "Bullet");
    triOde.Print("box-triangle", "ODE");
    triBt.Print("box-triangle", "Bullet");
    capOde.Print("capsule-triangle", "ODE");
    capBt.Print("capsule-triangle", "Bullet");
    std::printf("(our capsule is a cylinder and two spheres, as the bodies build it)\n\n");
    std::fflush(stdout);
}

// ---------------------------------------------------------------- timed queries

void BM_BoxBox_Ours(benchmark::State& state) {
    OurShapes s;
    std::vector<std::pair<RbMatrix, RbMatrix>> poses;
    for (const PosePair& p : Poses(21, 1.4)) poses.push_back({RbPose(p.pa, p.qa), RbPose(p.pb, p.qb)});
    size_t i = 0;
    for (auto _ : state) {
        RbContact c;
        RbTestBoxBox(c, s.box, poses[i].first, s.box, poses[i].second);
        benchmark::DoNotOptimize(c.depth);
        i = (i + 1) % poses.size();
    }
}

void BM_BoxBox_Ode(benchmark::State& state) {
    OdeShapes s;
    std::vector<PosePair> poses = Poses(21, 1.4);
    size_t i = 0;
    dContactGeom c[8];
    for (auto _ : state) {
        OdePlace(s.box1, poses[i].pa, poses[i].qa);
        OdePlace(s.box2, poses[i].pb, poses[i].qb);
        benchmark::DoNotOptimize(dCollide(s.box1, s.box2, 8, c, sizeof(dContactGeom)));
        i = (i + 1) % poses.size();
    }
}

void BM_BoxBox_Bullet(benchmark::State& state) {
    BulletShapes s;
    std::vector<PosePair> poses = Poses(21, 1.4);
    size_t i = 0;
    BtPairQuery query(s, s.a, s.b);
    for (auto _ : state) {
        BtPlace(s.a, poses[i].pa, poses[i].qa);
        BtPlace(s.b, poses[i].pb, poses[i].qb);
        benchmark::DoNotOptimize(query.Run());
        i = (i + 1) % poses.size();
    }
}

void BM_BoxTriangle_Ours(benchmark::State& state) {
    OurShapes s;
    std::vector<RbMatrix> poses;
    for (const PosePair& p : PosesOverTriangle(22, 0.9)) poses.push_back(RbPose(p.pa, p.qa));
    size_t i = 0;
    for (auto _ : state) {
        RbContact c;
        RbTestBoxMesh(c, s.box, poses[i], s.triangle);
        benchmark::DoNotOptimize(c.depth);
        i = (i + 1) % poses.size();
    }
}

void BM_BoxTriangle_Ode(benchmark::State& state) {
    OdeShapes s;
    std::vector<PosePair> poses = PosesOverTriangle(22, 0.9);
    size_t i = 0;
    dContactGeom c[8];
    for (auto _ : state) {
        OdePlace(s.box1, poses[i].pa, poses[i].qa);
        benchmark::DoNotOptimize(dCollide(s.box1, s.mesh, 8, c, sizeof(dContactGeom)));
        i = (i + 1) % poses.size();
    }
}

void BM_BoxTriangle_Bullet(benchmark::State& state) {
    BulletShapes s;
    std::vector<PosePair> poses = PosesOverTriangle(22, 0.9);
    size_t i = 0;
    BtPairQuery query(s, s.a, s.tri);
    for (auto _ : state) {
        BtPlace(s.a, poses[i].pa, poses[i].qa);
        benchmark::DoNotOptimize(query.Run());
        i = (i + 1) % poses.size();
    }
}

void BM_CapsuleTriangle_Ours(benchmark::State& state) {
    OurShapes s;
    std::vector<RbMatrix> poses;
    for (const PosePair& p : PosesOverTriangle(23, 0.8)) poses.push_back(RbPose(p.pa, p.qa));
    size_t i = 0;
    for (auto _ : state) {
        RbContact c;
        OurCapsuleTriangle(s, c, poses[i]);
        benchmark::DoNotOptimize(c.depth);
        i = (i + 1) % poses.size();
    }
}

void BM_CapsuleTriangle_Ode(benchmark::State& state) {
    OdeShapes s;
    std::vector<PosePair> poses = PosesOverTriangle(23, 0.8);
    size_t i = 0;
    dContactGeom c[8];
    for (auto _ : state) {
        OdePlace(s.capsule, poses[i].pa, CapsuleToZ(poses[i].qa));
        benchmark::DoNotOptimize(dCollide(s.capsule, s.mesh, 8, c, sizeof(dContactGeom)));
        i = (i + 1) % poses.size();
    }
}

void BM_CapsuleTriangle_Bullet(benchmark::State& state) {
    BulletShapes s;
    s.a.setCollisionShape(&s.capsule);
    std::vector<PosePair> poses = PosesOverTriangle(23, 0.8);
    size_t i = 0;
    BtPairQuery query(s, s.a, s.tri);
    for (auto _ : state) {
        BtPlace(s.a, poses[i].pa, poses[i].qa);
        benchmark::DoNotOptimize(query.Run());
        i = (i + 1) % poses.size();
    }
}

// ---------------------------------------------------------------- the sensor ray against a terrain patch

// A 4 x 4 patch of 2 m cells (32 triangles) with hills: what a wheel's terrain
// answer holds.
struct Patch {
    std::vector<Vec3> vertices;
    std::vector<int> indices;
    Patch() {
        for (int j = 0; j <= 4; ++j)
            for (int i = 0; i <= 4; ++i) {
                double x = i * 2.0, y = j * 2.0;
                vertices.push_back({x, y, 0.4 * std::sin(x) * std::cos(y * 0.7)});
            }
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                int a = j * 5 + i, b = a + 1, c = a + 6, d = a + 5;
                indices.insert(indices.end(), {a, b, c, a, c, d});
            }
    }
};

std::vector<std::pair<Vec3, Vec3>> Rays() {
    std::mt19937 random(31);
    std::uniform_real_distribution<double> u(0.5, 7.5), h(0.2, 1.0);
    std::vector<std::pair<Vec3, Vec3>> list;
    for (int i = 0; i < kPoses; ++i) list.push_back({{u(random), u(random), h(random)}, {0.0, 0.0, -1.6}});
    return list;
}

// The patch as our engine's triangle mesh, every triangle a candidate; the mesh points into
// the arrays, so they live as long as it.
struct OursPatchMesh {
    OursPatchMesh() {
        Patch patch;
        for (const Vec3& v : patch.vertices) vertices.push_back(RbVec(float(v.x), float(v.y), float(v.z)));
        triangles.resize(patch.indices.size() / 3);
        for (size_t t = 0; t < triangles.size(); ++t) {
            for (int k = 0; k < 3; ++k) triangles[t].vertex[k] = patch.indices[3 * t + k];
            candidates.push_back(static_cast<int>(t));
        }
        mesh.SetDefaults();
        mesh.SetTriangleMesh(candidates.data(), static_cast<int>(candidates.size()), triangles.data(),
                             static_cast<int>(triangles.size()), vertices.data());
    }
    OursPatchMesh(const OursPatchMesh&) = delete;
    OursPatchMesh& operator=(const OursPatchMesh&) = delete;

    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> candidates;
    RbGeometry mesh;
};

void BM_SensorRay_Ours(benchmark::State& state) {
    OursPatchMesh patchMesh;
    const RbGeometry& mesh = patchMesh.mesh;
    std::vector<std::pair<Vec3, Vec3>> rays = Rays();
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        const auto& r = rays[i];
        RbVector o = RbVec(float(r.first.x), float(r.first.y), float(r.first.z));
        RbVector s = RbVec(float(r.second.x), float(r.second.y), float(r.second.z));
        RbSensorHit hit = RbSensorTestGeometry(o, s, RbLength(s), mesh);
        hits += hit.depth > 0.0f;
        benchmark::DoNotOptimize(hit.depth);
        i = (i + 1) % rays.size();
    }
    state.counters["hit rate"] = benchmark::Counter(hits, benchmark::Counter::kAvgIterations);
}

// The same rays four to an answer, as a car's four wheel sensors read one terrain
// answer in a step: the triangles' boxes and planes are shared between them. The
// time is per ray.
void BM_SensorRay_OursFourToAnAnswer(benchmark::State& state) {
    OursPatchMesh patchMesh;
    const RbGeometry& mesh = patchMesh.mesh;
    static RbSensorTriangles shared;
    std::vector<std::pair<Vec3, Vec3>> rays = Rays();
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        if (i % 4 == 0) shared.Reset(mesh.meshCandidateCount);
        const auto& r = rays[i];
        RbVector o = RbVec(float(r.first.x), float(r.first.y), float(r.first.z));
        RbVector s = RbVec(float(r.second.x), float(r.second.y), float(r.second.z));
        RbSensorHit hit = RbSensorTestTriangles(o, s, RbLength(s), mesh, shared);
        hits += hit.depth > 0.0f;
        benchmark::DoNotOptimize(hit.depth);
        i = (i + 1) % rays.size();
    }
    state.counters["hit rate"] = benchmark::Counter(hits, benchmark::Counter::kAvgIterations);
}

void BM_SensorRay_Ode(benchmark::State& state) {
    Patch patch;
    dInitODE2(0);
    std::vector<double> vertices;
    for (const Vec3& v : patch.vertices) vertices.insert(vertices.end(), {v.x, v.y, v.z});
    std::vector<dTriIndex> indices(patch.indices.begin(), patch.indices.end());
    dTriMeshDataID data = dGeomTriMeshDataCreate();
    dGeomTriMeshDataBuildDouble(data, vertices.data(), 3 * sizeof(double), static_cast<int>(patch.vertices.size()),
                                indices.data(), static_cast<int>(indices.size()), 3 * sizeof(dTriIndex));
    dGeomID mesh = dCreateTriMesh(nullptr, data, nullptr, nullptr, nullptr);
    dGeomID ray = dCreateRay(nullptr, 1.6);
    dGeomRaySetFirstContact(ray, 0);
    dGeomRaySetBackfaceCull(ray, 0);
    dGeomRaySetClosestHit(ray, 1);
    std::vector<std::pair<Vec3, Vec3>> rays = Rays();
    size_t i = 0;
    int hits = 0;
    dContactGeom c;
    for (auto _ : state) {
        const auto& r = rays[i];
        dGeomRaySet(ray, r.first.x, r.first.y, r.first.z, r.second.x, r.second.y, r.second.z);
        hits += dCollide(ray, mesh, 1, &c, sizeof(dContactGeom));
        i = (i + 1) % rays.size();
    }
    state.counters["hit rate"] = benchmark::Counter(hits, benchmark::Counter::kAvgIterations);
    dGeomDestroy(ray);
    dGeomDestroy(mesh);
    dGeomTriMeshDataDestroy(data);
}

void BM_SensorRay_Bullet(benchmark::State& state) {
    Patch patch;
    std::vector<float> vertices;
    for (const Vec3& v : patch.vertices) vertices.insert(vertices.end(), {float(v.x), float(v.y), float(v.z)});
    btTriangleIndexVertexArray array(static_cast<int>(patch.indices.size() / 3), patch.indices.data(), 3 * sizeof(int),
                                     static_cast<int>(patch.vertices.size()), vertices.data(), 3 * sizeof(float));
    btBvhTriangleMeshShape shape(&array, true);
    btCollisionObject object;
    object.setCollisionShape(&shape);
    btTransform identity;
    identity.setIdentity();
    std::vector<std::pair<Vec3, Vec3>> rays = Rays();
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        const auto& r = rays[i];
        btVector3 from(btScalar(r.first.x), btScalar(r.first.y), btScalar(r.first.z));
        btVector3 to = from + btVector3(btScalar(r.second.x), btScalar(r.second.y), btScalar(r.second.z));
        btCollisionWorld::ClosestRayResultCallback cb(from, to);
        btCollisionWorld::rayTestSingle(btTransform(btQuaternion::getIdentity(), from),
                                        btTransform(btQuaternion::getIdentity(), to), &object, &shape, identity, cb);
        hits += cb.hasHit();
        i = (i + 1) % rays.size();
    }
    state.counters["hit rate"] = benchmark::Counter(hits, benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_BoxBox_Ours);
BENCHMARK(BM_BoxBox_Ode);
BENCHMARK(BM_BoxBox_Bullet);
BENCHMARK(BM_BoxTriangle_Ours);
BENCHMARK(BM_BoxTriangle_Ode);
BENCHMARK(BM_BoxTriangle_Bullet);
BENCHMARK(BM_CapsuleTriangle_Ours);
BENCHMARK(BM_CapsuleTriangle_Ode);
BENCHMARK(BM_CapsuleTriangle_Bullet);
BENCHMARK(BM_SensorRay_Ours);
BENCHMARK(BM_SensorRay_OursFourToAnAnswer);
BENCHMARK(BM_SensorRay_Ode);
BENCHMARK(BM_SensorRay_Bullet);

int main(int argc, char** argv) {
    Differential();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
