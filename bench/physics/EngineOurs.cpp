// Our engine, driven the way the race world drives it: the race world's pool
// sizes, materials from a table, a terrain-query callback answering from a grid,
// a collision callback on every contact, sensors read by controllers, and one
// Advance of 1/60 s in one step per Step.

#include "BenchEngine.h"

#include "Physics/RbSimulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace bench {
namespace {

RbVector ToRb(Vec3 v) { return RbVec(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)); }
Vec3 FromRb(const RbVector& v) { return {v.x, v.y, v.z}; }
RbQuaternion ToRb(Quat q) {
    return {static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z), static_cast<float>(q.w)};
}
Quat FromRb(const RbQuaternion& q) { return {q.x, q.y, q.z, q.w}; }

RbMatrix Translation(Vec3 offset) {
    RbMatrix m;
    m.m[3][0] = static_cast<float>(offset.x);
    m.m[3][1] = static_cast<float>(offset.y);
    m.m[3][2] = static_cast<float>(offset.z);
    return m;
}

class OursEngine;
OursEngine* g_current = nullptr; // the callbacks carry no context pointer

struct OursBody {
    RbRigidBody* rigid = nullptr;
    RbAnimatedBody* animated = nullptr;
    RbBody* Base() const { return rigid ? static_cast<RbBody*>(rigid) : animated; }
};

class SensorCallback : public RbControllerCallback {
public:
    SensorCallback(OursEngine* engine, int body) : m_engine(engine), m_body(body) {}
    void OnControllerStep(RbController* controller, float step) override;

private:
    OursEngine* m_engine;
    int m_body;
};

class OursEngine : public Engine {
public:
    ~OursEngine() override {
        if (m_sim) {
            m_sim->FreeTerrainTree();
            RbSimulator::Destroy(m_sim);
        }
        if (g_current == this) g_current = nullptr;
    }

    const char* Name() const override { return "ours"; }

    void Create(const Settings& settings, Vec3 gravity) override {
        RbSimulatorSizes sizes;
        sizes.rigidBodiesCount = settings.rigidPool;
        sizes.animatedBodiesCount = 1000;
        sizes.rigidParticleCount = 500;
        sizes.controllersCount = 50;
        sizes.overlapPairsCount = settings.pairPool;
        sizes.geometriesCount = 5000;
        sizes.jointsCount = 150;
        sizes.constraintSetsCount = 150;
        sizes.rowBufferCount = 10;
        sizes.sensorsCount = 1000;
        sizes.terrainNodesStart = 200;
        sizes.terrainNodesGrowBy = -1;
        RbVector g = ToRb(gravity);
        m_sim = RbSimulator::Create(&sizes, nullptr, &g);
        m_stagesOn = settings.stages;
        m_settings = settings;
        m_report.mode = 1;
        g_current = this;
        m_sim->SetCollisionCallback(&OursEngine::OnCollision);
        m_sim->SetTerrainQuery(&OursEngine::OnTerrainQuery);
        m_sim->SetLogCallback(&OursEngine::OnLog, 1);
        RbResponseTable* table = m_sim->GetResponseTable();
        table->Set(0, -1, 3);
        table->Set(0, 0, 3);
    }

    int Material(double friction, double restitution) {
        auto key = std::make_pair(friction, restitution);
        auto it = m_materials.find(key);
        if (it != m_materials.end()) return it->second;
        int index = static_cast<int>(m_materials.size());
        if (index > 255) index = 255;
        m_sim->SetMaterial(index, static_cast<float>(friction), static_cast<float>(restitution));
        m_materials[key] = index;
        return index;
    }

    void SetTerrain(const TerrainMesh& terrain) override {
        m_terrain = &terrain;
        int material = Material(terrain.friction, terrain.restitution);
        m_vertices.clear();
        m_useTree = m_settings.terrainTree;
        for (const Vec3& v : terrain.vertices) m_vertices.push_back(ToRb(v));
        m_triangles.clear();
        for (int t = 0; t < terrain.TriangleCount(); ++t) {
            RbTriangle tri;
            for (int k = 0; k < 3; ++k) tri.vertex[k] = terrain.indices[3 * t + k];
            tri.material = material;
            tri.testMode = 0;
            tri.boxMaterial = material;
            m_triangles.push_back(tri);
        }
        if (m_useTree) {
            // The engine answers terrain queries itself while no callback is set.
            m_sim->SetTerrainQuery(nullptr);
            m_sim->BuildTerrainTree(m_vertices.data(), static_cast<int>(m_vertices.size()), m_triangles.data(),
                                    static_cast<int>(m_triangles.size()));
        }
    }

    int AddBody(const BodyDesc& d) override {
        OursBody body;
        if (d.kinematic) {
            body.animated = m_sim->NewAnimatedBody();
            if (!body.animated) return -1;
        } else {
            body.rigid = m_sim->NewRigidBody();
            if (!body.rigid) return -1;
        }
        RbBody* base = body.Base();
        int material = Material(d.friction, d.restitution);
        if (d.shape == ShapeKind::Hull) {
            std::vector<RbVector> points;
            for (const Vec3& v : d.hullPoints) points.push_back(ToRb(v));
            RbConvexHull* hull = m_sim->CreateConvexHull(points.data(), static_cast<int>(points.size()));
            RbGeometry* g = hull ? base->AttachGeometry() : nullptr;
            if (!g) return Refuse(body);
            g->SetConvexHull(hull);
            g->SetTransform(RbMatrix{});
            g->SetMaterial(material);
        } else if (d.shape == ShapeKind::Box) {
            RbGeometry* g = base->AttachGeometry();
            if (!g) return Refuse(body);
            g->SetBoxDimensions(static_cast<float>(d.size.x), static_cast<float>(d.size.y),
                                static_cast<float>(d.size.z));
            g->SetTransform(RbMatrix{});
            g->SetMaterial(material);
        } else {
            // No capsule primitive: a cylinder along y capped by two spheres.
            RbGeometry* g = base->AttachGeometry();
            if (!g) return Refuse(body);
            g->SetCylinderShape(static_cast<float>(2.0 * d.radius), static_cast<float>(d.length));
            g->SetTransform(RbMatrix{});
            g->SetMaterial(material);
            for (double end : {-0.5, 0.5}) {
                RbGeometry* cap = base->AttachGeometry();
                if (!cap) return Refuse(body);
                cap->SetSphere(static_cast<float>(d.radius));
                cap->SetTransform(Translation({0.0, end * d.length, 0.0}));
                cap->SetMaterial(material);
            }
        }
        base->UpdateBounds();
        if (body.rigid) {
            body.rigid->SetMass(static_cast<float>(d.mass));
            body.rigid->SetBodyInertia(ToRb(ShapeInertia(d)));
            body.rigid->SetPosition(ToRb(d.pose.position));
            body.rigid->SetRotation(ToRb(d.pose.rotation));
            body.rigid->UpdateBounds();
        } else {
            body.animated->SetPosition(ToRb(d.pose.position));
            body.animated->SetRotation(ToRb(d.pose.rotation));
        }
        m_bodies.push_back(body);
        m_hitPoses.emplace_back();
        return static_cast<int>(m_bodies.size()) - 1;
    }

    void AddRays(int id, const std::vector<Ray>& rays) override {
        OursBody& body = m_bodies[id];
        if (!body.rigid) return;
        for (const Ray& r : rays) {
            RbSensor* s = body.rigid->AttachSensor();
            if (!s) break;
            s->SetSegment(ToRb(r.origin), ToRb(r.segment));
        }
        m_callbacks.push_back(std::make_unique<SensorCallback>(this, id));
        body.rigid->AttachController(m_callbacks.back().get(), 0);
        body.rigid->UpdateBounds();
        m_withRays.push_back(id);
    }

    void SetRayController(RayController* controller) override { m_controller = controller; }

    void MoveKinematic(int id, const Pose& pose, Vec3) override {
        OursBody& body = m_bodies[id];
        if (!body.animated) return;
        body.animated->SetPosition(ToRb(pose.position));
        body.animated->SetRotation(ToRb(pose.rotation));
    }

    void Step() override {
        m_stats = StepStats{};
        for (int id : m_withRays) m_hitPoses[id] = GetPose(id);
        m_sim->Advance(static_cast<float>(kStep), 1, m_stagesOn ? &m_report : nullptr);
        if (m_stagesOn)
            for (int i = 0; i < RbStageCount; ++i) m_stageSums[i] += m_sim->GetStepTimer().GetStage(RbStepStage(i));
        m_stats.pairs = m_sim->OverlapPairCount();
    }

    Pose GetPose(int id) const override {
        const OursBody& body = m_bodies[id];
        if (body.rigid) return {FromRb(body.rigid->GetPosition()), FromRb(body.rigid->GetRotation())};
        const RbMatrix& m = *body.animated->GetTransformMatrix();
        return {FromRb(RbPosition(m)), FromRb(RbRowsToQuaternion(m))};
    }

    Vec3 GetVelocity(int id) const override {
        const OursBody& body = m_bodies[id];
        return body.rigid ? FromRb(body.rigid->GetVelocity()) : Vec3{};
    }

    void SetVelocity(int id, Vec3 velocity) override {
        OursBody& body = m_bodies[id];
        if (!body.rigid) return;
        body.rigid->SetVelocity(ToRb(velocity));
        body.rigid->SetActive(true, nullptr);
    }

    bool IsSleeping(int id) const override {
        const OursBody& body = m_bodies[id];
        return body.rigid && body.rigid->IsResting();
    }

    StepStats LastStep() const override { return m_stats; }

    std::string StageBreakdown() const override {
        if (!m_stagesOn) return {};
        static const char* const names[RbStageCount] = {"dynamics", "integration", "end",     "islands",      "solver",
                                                        "broad",    "pairs",       "terrain", "terrain query"};
        double total = 0.0;
        for (double v : m_stageSums) total += v;
        if (!(total > 0.0)) return "stages: no time recorded";
        std::string text = "stages:";
        char part[64];
        for (int i = 0; i < RbStageCount; ++i) {
            std::snprintf(part, sizeof(part), " %s %.0f%%", names[i], 100.0 * m_stageSums[i] / total);
            text += part;
        }
        return text;
    }

    // Counted from the engine's log messages, as a caller sees them.
    int PairBufferFullEvents() const override { return m_pairFullMessages; }

    void LastHits(int id, std::vector<RayHit>& hits, Pose& hitPose) const override {
        hits = m_lastHits.size() > static_cast<size_t>(id) ? m_lastHits[id] : std::vector<RayHit>{};
        hitPose = m_hitPoses[id];
    }

    void OnSensors(int id, RbController* controller) {
        OursBody& body = m_bodies[id];
        if (m_lastHits.size() < m_bodies.size()) m_lastHits.resize(m_bodies.size());
        std::vector<RayHit>& hits = m_lastHits[id];
        hits.clear();
        for (RbSensor* s = body.rigid->GetFirstSensor(); s; s = s->next) {
            float depth = s->GetHitDepth();
            hits.push_back({depth > 0.0f, depth});
        }
        if (!m_controller) return;
        Vec3 force, torque;
        m_controller->OnStep(id, hits.data(), static_cast<int>(hits.size()), m_hitPoses[id], GetPose(id),
                             FromRb(body.rigid->GetVelocity()), FromRb(body.rigid->GetAngularVelocity()), force,
                             torque);
        controller->SetForce(ToRb(force));
        controller->SetTorque(ToRb(torque));
    }

private:
    int Refuse(OursBody& body) {
        m_sim->FreeBody(body.Base());
        return -1;
    }

    static void OnCollision(RbCollisionInfo* info) {
        OursEngine* self = g_current;
        if (!self) return;
        ++self->m_stats.contacts;
        RbVector gap = info->pointBWorld - info->pointAWorld;
        double depth = RbDot(gap, info->normal);
        if (depth > self->m_stats.maxDepth) self->m_stats.maxDepth = depth;
    }

    static void OnLog(const char* message) {
        OursEngine* self = g_current;
        if (self && std::strstr(message, "Pair buffer full")) ++self->m_pairFullMessages;
    }

    static void OnTerrainQuery(const RbVector* boxMin, const RbVector* boxMax, const int** candidates,
                               const RbTriangle** triangles, const RbVector** vertices, int* candidateCount,
                               int* triangleCount, RbRigidBody*) {
        OursEngine* self = g_current;
        *candidateCount = 0;
        *triangleCount = 0;
        if (!self || !self->m_terrain) return;
        self->m_candidates.clear();
        self->m_terrain->Candidates(boxMin->x, boxMin->y, boxMax->x, boxMax->y, self->m_candidates);
        *candidates = self->m_candidates.data();
        *candidateCount = static_cast<int>(self->m_candidates.size());
        *triangles = self->m_triangles.data();
        *triangleCount = static_cast<int>(self->m_triangles.size());
        *vertices = self->m_vertices.data();
    }

    RbSimulator* m_sim = nullptr;
    Settings m_settings;
    bool m_useTree = false;
    std::map<std::pair<double, double>, int> m_materials;
    const TerrainMesh* m_terrain = nullptr;
    std::vector<RbVector> m_vertices;
    std::vector<RbTriangle> m_triangles;
    std::vector<int> m_candidates;
    std::vector<OursBody> m_bodies;
    std::vector<Pose> m_hitPoses;
    std::vector<std::vector<RayHit>> m_lastHits;
    std::vector<int> m_withRays;
    std::vector<std::unique_ptr<SensorCallback>> m_callbacks;
    RayController* m_controller = nullptr;
    StepStats m_stats;
    bool m_stagesOn = false;
    int m_pairFullMessages = 0;
    RbPerformanceReport m_report;
    double m_stageSums[RbStageCount] = {};
};

void SensorCallback::OnControllerStep(RbController* controller, float) { m_engine->OnSensors(m_body, controller); }

} // namespace

std::unique_ptr<Engine> MakeOurs() { return std::make_unique<OursEngine>(); }

} // namespace bench
