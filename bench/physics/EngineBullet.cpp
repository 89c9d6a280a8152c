// Bullet (float build): a discrete dynamics world with the library's default
// collision configuration, dynamic-tree broad phase and sequential-impulse
// solver; the terrain is a BVH triangle mesh. Each Step is one fixed substep.

#include "BenchEngine.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>

namespace bench {
namespace {

btVector3 ToBt(Vec3 v) { return btVector3(btScalar(v.x), btScalar(v.y), btScalar(v.z)); }
Vec3 FromBt(const btVector3& v) { return {v.x(), v.y(), v.z()}; }
btQuaternion ToBt(Quat q) { return btQuaternion(btScalar(q.x), btScalar(q.y), btScalar(q.z), btScalar(q.w)); }
Quat FromBt(const btQuaternion& q) { return {q.x(), q.y(), q.z(), q.w()}; }

// Matched runs combine friction and restitution as the smaller of the two.
bool MinCombine(btManifoldPoint& cp, const btCollisionObjectWrapper* a, int, int, const btCollisionObjectWrapper* b,
                int, int) {
    const btCollisionObject* oa = a->getCollisionObject();
    const btCollisionObject* ob = b->getCollisionObject();
    cp.m_combinedFriction = std::min(oa->getFriction(), ob->getFriction());
    cp.m_combinedRestitution = std::min(oa->getRestitution(), ob->getRestitution());
    return true;
}

struct SelfExcludingRay : btCollisionWorld::ClosestRayResultCallback {
    SelfExcludingRay(const btVector3& from, const btVector3& to, const btCollisionObject* self)
        : ClosestRayResultCallback(from, to), m_self(self) {}
    bool needsCollision(btBroadphaseProxy* proxy) const override {
        if (proxy->m_clientObject == m_self) return false;
        return ClosestRayResultCallback::needsCollision(proxy);
    }
    const btCollisionObject* m_self;
};

class BulletEngine : public Engine {
public:
    ~BulletEngine() override {
        if (m_world) {
            for (int i = m_world->getNumCollisionObjects() - 1; i >= 0; --i) {
                btCollisionObject* o = m_world->getCollisionObjectArray()[i];
                btRigidBody* rb = btRigidBody::upcast(o);
                if (rb && rb->getMotionState()) delete rb->getMotionState();
                m_world->removeCollisionObject(o);
                delete o;
            }
        }
        for (btCollisionShape* s : m_shapes) delete s;
        delete m_mesh;
        delete m_world;
        delete m_solver;
        delete m_broadphase;
        delete m_dispatcher;
        delete m_config;
        gContactAddedCallback = nullptr;
    }

    const char* Name() const override { return "bullet"; }

    void Create(const Settings& settings, Vec3 gravity) override {
        m_settings = settings;
        m_config = new btDefaultCollisionConfiguration();
        m_dispatcher = new btCollisionDispatcher(m_config);
        m_broadphase = new btDbvtBroadphase();
        m_solver = new btSequentialImpulseConstraintSolver();
        m_world = new btDiscreteDynamicsWorld(m_dispatcher, m_broadphase, m_solver, m_config);
        m_world->setGravity(ToBt(gravity));
        btContactSolverInfo& info = m_world->getSolverInfo();
        if (settings.matched) {
            info.m_numIterations = 4;
            info.m_erp = 0.5f;
            gContactAddedCallback = &MinCombine;
        } else {
            gContactAddedCallback = nullptr;
        }
    }

    void SetTerrain(const TerrainMesh& terrain) override {
        m_terrainVertices.clear();
        for (const Vec3& v : terrain.vertices) {
            m_terrainVertices.push_back(float(v.x));
            m_terrainVertices.push_back(float(v.y));
            m_terrainVertices.push_back(float(v.z));
        }
        m_terrainIndices = terrain.indices;
        m_mesh = new btTriangleIndexVertexArray(terrain.TriangleCount(), m_terrainIndices.data(), 3 * sizeof(int),
                                                static_cast<int>(terrain.vertices.size()), m_terrainVertices.data(),
                                                3 * sizeof(float));
        btBvhTriangleMeshShape* shape = new btBvhTriangleMeshShape(m_mesh, true);
        m_shapes.push_back(shape);
        btRigidBody::btRigidBodyConstructionInfo ci(0.0f, nullptr, shape);
        ci.m_friction = btScalar(terrain.friction);
        ci.m_restitution = btScalar(terrain.restitution);
        btRigidBody* body = new btRigidBody(ci);
        Flag(body);
        m_world->addRigidBody(body);
    }

    int AddBody(const BodyDesc& d) override {
        btCollisionShape* shape = nullptr;
        if (d.shape == ShapeKind::Hull) {
            auto* hull = new btConvexHullShape();
            for (const Vec3& v : d.hullPoints) hull->addPoint(ToBt(v), false);
            hull->recalcLocalAabb();
            shape = hull;
        } else if (d.shape == ShapeKind::Box)
            shape = new btBoxShape(ToBt(d.size * 0.5));
        else
            shape = new btCapsuleShape(btScalar(d.radius), btScalar(d.length));
        m_shapes.push_back(shape);
        btTransform start(ToBt(d.pose.rotation), ToBt(d.pose.position));
        btRigidBody* body = nullptr;
        if (d.kinematic) {
            btRigidBody::btRigidBodyConstructionInfo ci(0.0f, new btDefaultMotionState(start), shape);
            ci.m_friction = btScalar(d.friction);
            ci.m_restitution = btScalar(d.restitution);
            body = new btRigidBody(ci);
            body->setCollisionFlags(body->getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT);
            body->setActivationState(DISABLE_DEACTIVATION);
        } else {
            btRigidBody::btRigidBodyConstructionInfo ci(btScalar(d.mass), nullptr, shape, ToBt(ShapeInertia(d)));
            ci.m_startWorldTransform = start;
            ci.m_friction = btScalar(d.friction);
            ci.m_restitution = btScalar(d.restitution);
            body = new btRigidBody(ci);
            if (m_settings.matched && !m_settings.sleeping) body->setActivationState(DISABLE_DEACTIVATION);
        }
        Flag(body);
        m_world->addRigidBody(body);
        m_bodies.push_back(body);
        m_rayState.emplace_back();
        return static_cast<int>(m_bodies.size()) - 1;
    }

    void AddRays(int id, const std::vector<Ray>& rays) override {
        m_rayState[id].rays = rays;
        m_withRays.push_back(id);
    }

    void SetRayController(RayController* controller) override { m_controller = controller; }

    void MoveKinematic(int id, const Pose& pose, Vec3) override {
        btRigidBody* body = m_bodies[id];
        body->getMotionState()->setWorldTransform(btTransform(ToBt(pose.rotation), ToBt(pose.position)));
    }

    void Step() override {
        for (int id : m_withRays) {
            CastRays(id);
            btRigidBody* body = m_bodies[id];
            body->activate();
            body->applyCentralForce(ToBt(m_rayState[id].force));
            body->applyTorque(ToBt(m_rayState[id].torque));
        }
        m_world->stepSimulation(btScalar(kStep), 0);
        if (m_controller) {
            for (int id : m_withRays) {
                btRigidBody* body = m_bodies[id];
                RayState& r = m_rayState[id];
                m_controller->OnStep(id, r.hits.data(), static_cast<int>(r.hits.size()), r.hitPose, GetPose(id),
                                     FromBt(body->getLinearVelocity()), FromBt(body->getAngularVelocity()), r.force,
                                     r.torque);
            }
        }
    }

    Pose GetPose(int id) const override {
        const btTransform& t = m_bodies[id]->getWorldTransform();
        return {FromBt(t.getOrigin()), FromBt(t.getRotation())};
    }

    Vec3 GetVelocity(int id) const override { return FromBt(m_bodies[id]->getLinearVelocity()); }

    void SetVelocity(int id, Vec3 velocity) override {
        m_bodies[id]->setLinearVelocity(ToBt(velocity));
        m_bodies[id]->activate(true);
    }

    bool IsSleeping(int id) const override { return m_bodies[id]->getActivationState() == ISLAND_SLEEPING; }

    StepStats LastStep() const override {
        StepStats s;
        int manifolds = m_dispatcher->getNumManifolds();
        for (int i = 0; i < manifolds; ++i) {
            btPersistentManifold* m = m_dispatcher->getManifoldByIndexInternal(i);
            int n = m->getNumContacts();
            if (n > 0) ++s.pairs;
            for (int k = 0; k < n; ++k) {
                double d = m->getContactPoint(k).getDistance();
                if (d < 0.0) {
                    ++s.contacts;
                    s.maxDepth = std::max(s.maxDepth, -d);
                }
            }
        }
        return s;
    }

    void LastHits(int id, std::vector<RayHit>& hits, Pose& hitPose) const override {
        hits = m_rayState[id].hits;
        hitPose = m_rayState[id].hitPose;
    }

private:
    void Flag(btRigidBody* body) {
        if (m_settings.matched)
            body->setCollisionFlags(body->getCollisionFlags() | btCollisionObject::CF_CUSTOM_MATERIAL_CALLBACK);
    }

    void CastRays(int id) {
        btRigidBody* body = m_bodies[id];
        const btTransform& t = body->getWorldTransform();
        m_rayState[id].hitPose = GetPose(id);
        std::vector<RayHit>& hits = m_rayState[id].hits;
        hits.clear();
        for (const Ray& r : m_rayState[id].rays) {
            btVector3 from = t * ToBt(r.origin);
            btVector3 to = t * ToBt(r.origin + r.segment);
            SelfExcludingRay cb(from, to, body);
            m_world->rayTest(from, to, cb);
            RayHit hit;
            if (cb.hasHit()) {
                hit.hit = true;
                hit.depth = (1.0 - cb.m_closestHitFraction) * Length(r.segment);
            }
            hits.push_back(hit);
        }
    }

    Settings m_settings;
    btDefaultCollisionConfiguration* m_config = nullptr;
    btCollisionDispatcher* m_dispatcher = nullptr;
    btBroadphaseInterface* m_broadphase = nullptr;
    btSequentialImpulseConstraintSolver* m_solver = nullptr;
    btDiscreteDynamicsWorld* m_world = nullptr;
    btTriangleIndexVertexArray* m_mesh = nullptr;
    std::vector<float> m_terrainVertices;
    std::vector<int> m_terrainIndices;
    std::vector<btCollisionShape*> m_shapes;
    std::vector<btRigidBody*> m_bodies;
    std::vector<RayState> m_rayState;
    std::vector<int> m_withRays;
    RayController* m_controller = nullptr;
};

} // namespace

std::unique_ptr<Engine> MakeBullet() { return std::make_unique<BulletEngine>(); }

} // namespace bench
