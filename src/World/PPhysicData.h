#pragma once
// The physical side of one scene object: its body shape and mass, its collision shapes and,
// while it is in the physics world, the engine body that stands for it. The object holds its
// data counted; the data points back to its object without owning it.

#include <string>
#include <vector>

#include "Physics/RbSimulator.h"
#include "Platform/Math/D3DXTypes.h"
#include "Scene/SceneInterfaces.h"

class CPGameObject;
class CPPhysics;

// One collision shape (the body's own shape uses the same record).
struct SPPhysicShape {
    // 0 box, 1 cylinder.
    int kind = 0;
    // Null until the physics world attaches the shape to a body.
    RbGeometry* geometry = nullptr;
    D3DXVECTOR3 offset{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
    // Box: the three sizes. Cylinder: 5, height, 5.
    float size1 = 0.0f;
    float size2 = 0.0f;
    float size3 = 0.0f;
    // Cylinder only.
    float diameter = 0.0f;
    float mass = 0.0f;
};

class CPPhysicData : public IPPhysicData, public RbControllerCallback {
public:
    static constexpr int kMaxCandidates = 1000;

    explicit CPPhysicData(CPGameObject* owner);
    // The engine bodies belong to the simulator and are not touched here.
    ~CPPhysicData() override;
    CPPhysicData(const CPPhysicData&) = delete;
    CPPhysicData& operator=(const CPPhysicData&) = delete;

    int GetSize() const override { return 4200; }
    std::string GetClassName() const override { return "CPPhysicData"; }
    void OnControllerStep(RbController*, float) override {}

    // The body shape: a box whose sizes are (b, a, c); the mass goes through "weight_div".
    void SetShape(float a, float b, float c, float mass) override;
    void AddBoxShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float size1, float size2, float size3,
                     float mass) override;
    void AddCylinderShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float diameter, float height,
                          float mass) override;
    void SetPosition(const D3DXVECTOR3& position) override;
    void SetBodyRotation(const D3DXQUATERNION& rotation) override;
    CPSmartPtr<IPPhysicData> CopyShapesFor(CPGameObject* owner) const override;
    void ForgetOwner() override;

    // Enters the physics world unless a body exists already.
    void AddToWorld(int tag);
    // Leaves the physics world (the body is parked and freed a few frames later).
    void RemoveFromWorld();
    // Mass, inertia, pose and bounds of the rigid body; nothing without one.
    void CreateBody();

    // The divisor "weight_div" gives; 1 when the setting is 0 or below.
    static float MassDivisor();

    CPGameObject* GetOwner() const { return m_owner; }
    RbRigidBody* GetRigidBody() const { return m_rigidBody; }
    RbAnimatedBody* GetAnimatedBody() const { return m_animatedBody; }
    // The body there is, animated first; null outside the world.
    RbBody* GetBody() const;
    bool HasBody() const { return m_rigidBody || m_animatedBody; }
    void SetRigidBody(RbRigidBody* body) { m_rigidBody = body; }
    void SetAnimatedBody(RbAnimatedBody* body) { m_animatedBody = body; }
    // Forgets the bodies and the shapes' geometries (their world is gone).
    void ForgetBodies();
    // The physics task whose simulator holds the bodies: the data leaves that world's list when
    // it dies, even when another task has become the current one since.
    CPPhysics* GetBoundWorld() const { return m_boundWorld; }
    void SetBoundWorld(CPPhysics* world) { m_boundWorld = world; }

    const SPPhysicShape& GetBodyShape() const { return m_bodyShape; }
    float GetMass() const { return m_bodyShape.mass; }
    std::vector<SPPhysicShape>& Shapes() { return m_shapes; }
    const std::vector<SPPhysicShape>& Shapes() const { return m_shapes; }

    bool IsActive() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    bool IsParticle() const { return m_particle; }
    void SetParticle(bool particle) { m_particle = particle; }

    // The terrain triangles near the body, rewritten by every terrain query of the body.
    int* Candidates() { return m_candidates; }
    const int* Candidates() const { return m_candidates; }
    int GetCandidateCount() const { return m_candidateCount; }
    void SetCandidateCount(int count) { m_candidateCount = count; }
    // The z of the first vertex of the first candidate the last query found; 0 before any.
    float GetGroundHeight() const { return m_groundHeight; }
    void SetGroundHeight(float height) { m_groundHeight = height; }

private:
    RbAnimatedBody* m_animatedBody = nullptr;
    std::vector<SPPhysicShape> m_shapes;
    CPGameObject* m_owner;
    bool m_active = false;
    int m_candidates[kMaxCandidates] = {};
    int m_candidateCount = 0;
    RbRigidBody* m_rigidBody = nullptr;
    SPPhysicShape m_bodyShape;
    bool m_particle = false;
    float m_groundHeight = 0.0f;
    CPPhysics* m_boundWorld = nullptr;
};
