// ODE (double precision on Debian): a hash space, a triangle-mesh terrain, the
// usual near callback making contact joints, and dWorldQuickStep.

#include "BenchEngine.h"

#include <ode/ode.h>

#include <algorithm>
#include <memory>

namespace bench {
namespace {

constexpr int kMaxContacts = 8;

struct Surface {
    double friction = 0.5;
    double restitution = 0.0;
    int body = -1;
};

void InitOdeOnce() {
    static bool done = false;
    if (!done) {
        dInitODE2(0);
        done = true;
    }
}

class OdeEngine : public Engine {
public:
    ~OdeEngine() override {
        if (m_group) dJointGroupDestroy(m_group);
        if (m_space) dSpaceDestroy(m_space);
        if (m_ray) dGeomDestroy(m_ray);
        if (m_meshData) dGeomTriMeshDataDestroy(m_meshData);
        if (m_world) dWorldDestroy(m_world);
    }

    const char* Name() const override { return "ode"; }

    void Create(const Settings& settings, Vec3 gravity) override {
        InitOdeOnce();
        m_settings = settings;
        m_world = dWorldCreate();
        m_space = dHashSpaceCreate(nullptr);
        m_group = dJointGroupCreate(0);
        dWorldSetGravity(m_world, gravity.x, gravity.y, gravity.z);
        if (settings.matched) {
            dWorldSetQuickStepNumIterations(m_world, 4);
            dWorldSetERP(m_world, 0.5);
            dWorldSetAutoDisableFlag(m_world, settings.sleeping ? 1 : 0);
        }
        m_ray = dCreateRay(nullptr, 1.0);
        dGeomRaySetFirstContact(m_ray, 0);
        dGeomRaySetBackfaceCull(m_ray, 0);
        dGeomRaySetClosestHit(m_ray, 1);
        m_surfaces.reserve(4096);
    }

    void SetTerrain(const TerrainMesh& terrain) override {
        m_vertices.clear();
        for (const Vec3& v : terrain.vertices) {
            m_vertices.push_back(v.x);
            m_vertices.push_back(v.y);
            m_vertices.push_back(v.z);
        }
        m_indices.assign(terrain.indices.begin(), terrain.indices.end());
        m_meshData = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildDouble(m_meshData, m_vertices.data(), 3 * sizeof(double),
                                    static_cast<int>(terrain.vertices.size()), m_indices.data(),
                                    static_cast<int>(m_indices.size()), 3 * sizeof(dTriIndex));
        // Convex shapes against the mesh need the angles between neighbouring faces.
        dGeomTriMeshDataPreprocess2(m_meshData, 1U << dTRIDATAPREPROCESS_BUILD_FACE_ANGLES, nullptr);
        dGeomID mesh = dCreateTriMesh(m_space, m_meshData, nullptr, nullptr, nullptr);
        m_surfaces.push_back({terrain.friction, terrain.restitution, -1});
        dGeomSetData(mesh, &m_surfaces.back());
    }

    int AddBody(const BodyDesc& d) override {
        if (m_surfaces.size() == m_surfaces.capacity()) return -1; // surfaces are referenced by address
        dBodyID body = dBodyCreate(m_world);
        dGeomID geom = nullptr;
        if (d.shape == ShapeKind::Hull) {
            geom = CreateConvex(d);
        } else if (d.shape == ShapeKind::Box) {
            geom = dCreateBox(m_space, d.size.x, d.size.y, d.size.z);
        } else {
            geom = dCreateCapsule(m_space, d.radius, d.length);
        }
        dGeomSetBody(geom, body);
        if (d.shape == ShapeKind::Capsule) {
            // ODE's capsule lies along z; the scenes' along y.
            Quat q = AxisAngle({1.0, 0.0, 0.0}, -M_PI / 2.0);
            dQuaternion oq = {q.w, q.x, q.y, q.z};
            dGeomSetOffsetQuaternion(geom, oq);
        }
        if (d.kinematic) {
            dBodySetKinematic(body);
        } else {
            Vec3 inertia = ShapeInertia(d);
            dMass mass;
            dMassSetParameters(&mass, d.mass, 0.0, 0.0, 0.0, inertia.x, inertia.y, inertia.z, 0.0, 0.0, 0.0);
            dBodySetMass(body, &mass);
        }
        dBodySetPosition(body, d.pose.position.x, d.pose.position.y, d.pose.position.z);
        dQuaternion q = {d.pose.rotation.w, d.pose.rotation.x, d.pose.rotation.y, d.pose.rotation.z};
        dBodySetQuaternion(body, q);
        int id = static_cast<int>(m_bodies.size());
        m_surfaces.push_back({d.friction, d.restitution, id});
        dGeomSetData(geom, &m_surfaces.back());
        m_bodies.push_back(body);
        m_rayState.emplace_back();
        return id;
    }

    void AddRays(int id, const std::vector<Ray>& rays) override {
        m_rayState[id].rays = rays;
        m_withRays.push_back(id);
    }

    void SetRayController(RayController* controller) override { m_controller = controller; }

    void MoveKinematic(int id, const Pose& pose, Vec3 velocity) override {
        dBodyID body = m_bodies[id];
        dBodySetPosition(body, pose.position.x, pose.position.y, pose.position.z);
        dQuaternion q = {pose.rotation.w, pose.rotation.x, pose.rotation.y, pose.rotation.z};
        dBodySetQuaternion(body, q);
        dBodySetLinearVel(body, velocity.x, velocity.y, velocity.z);
    }

    void Step() override {
        m_stats = StepStats{};
        for (int id : m_withRays) {
            CastRays(id);
            dBodyID body = m_bodies[id];
            dBodyEnable(body);
            const RayState& r = m_rayState[id];
            dBodyAddForce(body, r.force.x, r.force.y, r.force.z);
            dBodyAddTorque(body, r.torque.x, r.torque.y, r.torque.z);
        }
        dSpaceCollide(m_space, this, &OdeEngine::Near);
        dWorldQuickStep(m_world, kStep);
        dJointGroupEmpty(m_group);
        if (m_controller) {
            for (int id : m_withRays) {
                dBodyID body = m_bodies[id];
                const dReal* av = dBodyGetAngularVel(body);
                RayState& r = m_rayState[id];
                m_controller->OnStep(id, r.hits.data(), static_cast<int>(r.hits.size()), r.hitPose, GetPose(id),
                                     GetVelocity(id), {av[0], av[1], av[2]}, r.force, r.torque);
            }
        }
    }

    Pose GetPose(int id) const override {
        dBodyID body = m_bodies[id];
        const dReal* p = dBodyGetPosition(body);
        const dReal* q = dBodyGetQuaternion(body);
        return {{p[0], p[1], p[2]}, {q[1], q[2], q[3], q[0]}};
    }

    Vec3 GetVelocity(int id) const override {
        const dReal* v = dBodyGetLinearVel(m_bodies[id]);
        return {v[0], v[1], v[2]};
    }

    void SetVelocity(int id, Vec3 velocity) override {
        dBodySetLinearVel(m_bodies[id], velocity.x, velocity.y, velocity.z);
        dBodyEnable(m_bodies[id]);
    }

    bool IsSleeping(int id) const override { return !dBodyIsEnabled(m_bodies[id]); }
    StepStats LastStep() const override { return m_stats; }

    void LastHits(int id, std::vector<RayHit>& hits, Pose& hitPose) const override {
        hits = m_rayState[id].hits;
        hitPose = m_rayState[id].hitPose;
    }

private:
    // ODE keeps pointers to a convex's planes, points and polygons, so they live as
    // long as the engine.
    struct ConvexData {
        std::vector<dReal> planes, points;
        std::vector<unsigned int> polygons;
    };

    dGeomID CreateConvex(const BodyDesc& d) {
        m_convexes.push_back(std::make_unique<ConvexData>());
        ConvexData& c = *m_convexes.back();
        for (const Vec3& v : d.hullPoints) c.points.insert(c.points.end(), {v.x, v.y, v.z});
        for (const std::vector<int>& face : d.hullFaces) {
            Vec3 a = d.hullPoints[face[0]], b = d.hullPoints[face[1]], e = d.hullPoints[face[2]];
            Vec3 n = Cross(b - a, e - a);
            n = n * (1.0 / Length(n));
            c.planes.insert(c.planes.end(), {n.x, n.y, n.z, Dot(n, a)});
            c.polygons.push_back(static_cast<unsigned int>(face.size()));
            for (int i : face) c.polygons.push_back(static_cast<unsigned int>(i));
        }
        return dCreateConvex(m_space, c.planes.data(), static_cast<unsigned int>(d.hullFaces.size()), c.points.data(),
                             static_cast<unsigned int>(d.hullPoints.size()), c.polygons.data());
    }

    static void Near(void* data, dGeomID a, dGeomID b) {
        OdeEngine* self = static_cast<OdeEngine*>(data);
        dBodyID ba = dGeomGetBody(a), bb = dGeomGetBody(b);
        if (ba && bb && dAreConnected(ba, bb)) return;
        bool staticA = !ba || dBodyIsKinematic(ba), staticB = !bb || dBodyIsKinematic(bb);
        if (staticA && staticB) return;
        dContact contacts[kMaxContacts];
        int n = dCollide(a, b, kMaxContacts, &contacts[0].geom, sizeof(dContact));
        if (n <= 0) return;
        const Surface* sa = static_cast<const Surface*>(dGeomGetData(a));
        const Surface* sb = static_cast<const Surface*>(dGeomGetData(b));
        double mu, bounce;
        if (self->m_settings.matched) {
            mu = std::min(sa->friction, sb->friction);
            bounce = std::min(sa->restitution, sb->restitution);
        } else {
            mu = sa->friction * sb->friction;
            bounce = sa->restitution * sb->restitution;
        }
        ++self->m_stats.pairs;
        for (int i = 0; i < n; ++i) {
            dContact& c = contacts[i];
            c.surface.mode = dContactApprox1;
            c.surface.mu = mu;
            if (bounce > 0.0) {
                c.surface.mode |= dContactBounce;
                c.surface.bounce = bounce;
                c.surface.bounce_vel = 0.1;
            }
            ++self->m_stats.contacts;
            self->m_stats.maxDepth = std::max(self->m_stats.maxDepth, static_cast<double>(c.geom.depth));
            dJointID j = dJointCreateContact(self->m_world, self->m_group, &c);
            dJointAttach(j, ba, bb);
        }
    }

    struct RayQuery {
        OdeEngine* self;
        int body;
        double best;
        bool hit;
    };

    static void RayNear(void* data, dGeomID ray, dGeomID other) {
        RayQuery* q = static_cast<RayQuery*>(data);
        const Surface* s = static_cast<const Surface*>(dGeomGetData(other));
        if (s && s->body == q->body) return;
        dContactGeom c;
        if (dCollide(ray, other, 1, &c, sizeof(dContactGeom)) > 0 && c.depth < q->best) {
            q->best = c.depth;
            q->hit = true;
        }
    }

    void CastRays(int id) {
        Pose pose = GetPose(id);
        m_rayState[id].hitPose = pose;
        std::vector<RayHit>& hits = m_rayState[id].hits;
        hits.clear();
        for (const Ray& r : m_rayState[id].rays) {
            Vec3 from = ToWorld(pose, r.origin);
            Vec3 dir = Rotate(pose.rotation, r.segment);
            double length = Length(dir);
            dGeomRaySetLength(m_ray, length);
            dGeomRaySet(m_ray, from.x, from.y, from.z, dir.x, dir.y, dir.z);
            RayQuery q{this, id, length, false};
            dSpaceCollide2(m_ray, reinterpret_cast<dGeomID>(m_space), &q, &OdeEngine::RayNear);
            RayHit hit;
            if (q.hit) {
                hit.hit = true;
                hit.depth = length - q.best;
            }
            hits.push_back(hit);
        }
    }

    Settings m_settings;
    dWorldID m_world = nullptr;
    dSpaceID m_space = nullptr;
    dJointGroupID m_group = nullptr;
    dGeomID m_ray = nullptr;
    dTriMeshDataID m_meshData = nullptr;
    std::vector<std::unique_ptr<ConvexData>> m_convexes;
    std::vector<double> m_vertices;
    std::vector<dTriIndex> m_indices;
    std::vector<Surface> m_surfaces;
    std::vector<dBodyID> m_bodies;
    std::vector<RayState> m_rayState;
    std::vector<int> m_withRays;
    RayController* m_controller = nullptr;
    StepStats m_stats;
};

} // namespace

std::unique_ptr<Engine> MakeOde() { return std::make_unique<OdeEngine>(); }

} // namespace bench
