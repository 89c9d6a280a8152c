#pragma once
// Shapes, line sensors, controllers and the three kinds of body.

#include "Physics/RbContact.h"
#include "Physics/RbConvex.h"

enum RbGeometryType : int32_t {
    RbGeomTriangle = 2,
    RbGeomBox = 3,
    RbGeomSphere = 4,
    RbGeomCylinder = 5,
    RbGeomTriangleMesh = 6,
    RbGeomConvex = 8,
};

class RbGeometry {
public:
    void SetBoxDimensions(float width, float height, float depth) { SetBox(width, height, depth); }
    void SetBoxDimensionsVector(const RbVector& sizes) { SetBox(sizes.x, sizes.y, sizes.z); }
    void SetCylinderShape(float diameter, float height);
    void SetTransform(const RbMatrix& transform) { SetLocalTransform(transform); }
    // Indices outside 0..255 are refused (the material table has 256 entries).
    void SetMaterial(int index);
    int GetMaterial() const { return material; }
    int GetType() const { return type; }
    void GetLocalBounds(RbVector& minimum, RbVector& maximum) const;

    void SetDefaults();
    void SetBox(float width, float height, float depth);
    void SetSphere(float radius);
    // Makes the shape a convex hull (type 8) of a hull the simulator built; the
    // hull cannot be freed while a shape uses it. False for a null hull.
    bool SetConvexHull(RbConvexHull* convex);
    const RbConvexHull* GetConvexHull() const { return hull; }
    // Lets go of a hull when the shape becomes something else or is freed.
    void DropHull();
    void SetTriangleMesh(const int* candidates, int candidateCount, const RbTriangle* triangles, int triangleCount,
                         const RbVector* vertices);
    void SetLocalTransform(const RbMatrix& transform);
    const RbMatrix& GetLocalTransform() const { return localTransform; }
    RbBody* GetBody() const { return body; }
    RbGeometry* GetNext() const { return next; }

    // box: half sizes; sphere: radius, radius squared; cylinder: radius, radius squared, half height.
    float params[4] = {0.5f, 0.5f, 0.5f, 0.0f};
    RbMatrix localTransform;
    float radius = 0.0f;
    float radius2 = 0.0f;
    int32_t type = RbGeomBox;
    int32_t material = 0;
    RbVector pieceInertia;
    RbVector breakDirection;
    float pieceMass = 1.0f;
    float breakThreshold = 0.0f;
    float breakShare = 0.5f;
    int32_t breakMode = 0;
    // Triangle mesh (type 6): the current terrain answer.
    const int* meshCandidates = nullptr;
    int meshCandidateCount = 0;
    const RbTriangle* meshTriangles = nullptr;
    int meshTriangleCount = 0;
    const RbVector* meshVertices = nullptr;
    // Convex hull (type 8).
    RbConvexHull* hull = nullptr;

    RbBody* body = nullptr;
    RbGeometry* next = nullptr;
    RbGeometry* prev = nullptr;
    RbGeometry* poolNext = nullptr;
    bool inUse = false;
};

class RbSensor {
public:
    void SetSegment(const RbVector& origin, const RbVector& segment);
    RbVector GetDirection() const { return direction; }
    RbVector GetOrigin() const { return origin; }
    RbVector GetSegment() const { return segment; }
    float GetLength() const { return length; }
    float GetHitDepth() const { return hitDepth; }
    RbVector GetHitNormal() const { return hitNormal; }
    RbVector GetHitPoint() const { return hitPoint; }
    RbBody* GetBody() const { return body; }

    RbVector origin;
    RbVector segment;
    RbVector direction;
    float length = 0.0f;
    RbVector hitNormal;
    RbVector hitPoint;
    float hitDepth = 0.0f;
    RbSensor* next = nullptr;
    RbBody* body = nullptr;
    RbSensor* poolNext = nullptr;
    bool inUse = false;
};

class RbController {
public:
    void SetForce(const RbVector& value);
    void SetTorque(const RbVector& value);
    RbVector GetForce() const { return force; }
    RbVector GetTorque() const { return torque; }
    int GetPeriod() const { return period; }
    int GetCountdown() const { return countdown; }
    RbBody* GetBody() const { return body; }

    int32_t period = 0;
    int32_t countdown = 0;
    RbControllerCallback* callback = nullptr;
    void* jointCallback = nullptr;
    RbJoint* joint = nullptr;
    RbBody* body = nullptr;
    RbVector force;
    RbVector torque;
    RbVector forceB;
    RbVector torqueB;
    RbController* next = nullptr;
    RbController* prev = nullptr;
    RbController* poolNext = nullptr;
    bool inUse = false;
};

enum RbBodyKind : int32_t { RbKindRigid = 0, RbKindAnimated = 1, RbKindParticle = 2, RbKindTerrain = 3 };

struct RbBroadPhaseRecord;

class RbBody {
public:
    RbGeometry* AttachGeometry() { return AllocGeometry(); }
    void UpdateBounds() { ComputeBounds(); }
    // 0..63 index the response table; other values are refused.
    void SetCollisionGroup(int group);
    int GetCollisionGroup() const { return group; }
    void SetUserData(void* data) { userData = data; }
    void* GetUserData() const { return userData; }
    RbController* AttachController(RbControllerCallback* callback, int period) {
        return AllocController(callback, period);
    }
    RbSensor* AttachSensor() { return AllocSensor(); }
    void SetActive(bool active, RbBody* hint) { SetActiveInternal(active, hint); }
    // v + w x offset (offset from the centre, world axes); zero for an animated body.
    RbVector GetVelocityAtPoint(const RbVector& offset) const;
    bool IsActive() const { return active != 0; }
    bool IsRigid() const { return rigid != 0; }
    bool IsAnimated() const { return kind == RbKindAnimated; }
    bool IsParticle() const { return kind == RbKindParticle; }
    int GetKind() const { return kind; }
    int GetIndex() const { return index; }
    int GetGeometryCount() const { return geometryCount; }
    RbGeometry* GetFirstGeometry() const { return firstGeometry; }
    RbSensor* GetFirstSensor() const { return sensors; }
    RbController* GetFirstController() const { return controllers; }
    const RbGeometry& GetBoundingShape() const { return bounds; }
    RbVector GetWorldMin() const { return worldMin; }
    RbVector GetWorldMax() const { return worldMax; }
    RbSimulator* GetSimulator() const { return owner; }
    bool IsInUse() const { return inUse; }

    void FirstGeometry() { cursor = firstGeometry; }
    RbGeometry* NextGeometry();

    RbGeometry* AllocGeometry();
    RbSensor* AllocSensor();
    RbController* AllocController(RbControllerCallback* callback, int period);
    void ComputeBounds();
    const RbMatrix* GetTransformMatrix() const { return &transform; }
    void SetActiveInternal(bool active, RbBody* hint);
    void ResetSensors();
    void ReleaseAttachments();
    void LeaveConstraintSet();
    bool ShareJoint(const RbBody* other) const;
    // World bounds of the body from its current transform (skipped without shapes).
    void UpdateWorldBounds();

    void InitHeader(RbSimulator* simulator, int32_t bodyKind, int32_t bodyIndex);

    // Header.
    RbBody* setNext = nullptr;
    RbBody* setPrev = nullptr;
    RbJoint* joints = nullptr;
    RbGeometry* cursor = nullptr;
    void* userData = nullptr;
    RbGeometry bounds; // bounding box in body space
    RbGeometry* firstGeometry = nullptr;
    RbGeometry* lastGeometry = nullptr;
    int32_t geometryCount = 0;
    int32_t index = 0;
    int32_t group = 0;
    RbConstraintSet* constraintSet = nullptr;
    int32_t rigid = 0;
    int32_t active = 1;
    int32_t sameSetContact = 0;
    int32_t jointContact = 0;
    RbSensor* sensors = nullptr;
    RbController* controllers = nullptr;
    RbBroadPhaseRecord* broadPhase = nullptr;
    RbSimulator* owner = nullptr;
    RbVector scaledAxes[3];
    RbVector centre;
    RbVector worldMin;
    RbVector worldMax;
    // The transform the world bounds were last worked out from (while boundsKept):
    // a body that has not moved keeps them as they are.
    RbMatrix boundsTransform;
    int32_t boundsKept = 0;
    RbVector smoothedMotion;
    RbRestContact* leaningHead = nullptr;
    RbRestContact* leaningTail = nullptr;
    int32_t leaningCount = 0;
    int32_t insertionMark = 0; // 0 none, 1 pending, 2 cancelled
    RbBody* insertionHint = nullptr;
    int32_t inAxes = 0;       // the body's ends are in the broad phase's axis lists
    int32_t groupChanged = 0; // queued for the broad phase to re-check its pairs
    int32_t kind = RbKindRigid;
    // The current transform: an animated body's matrix, or a rigid body's rotation rows and position.
    RbMatrix transform;
    int32_t moved = 0; // animated bodies: moved since the last Advance
    RbBody* listNext = nullptr;
    RbBody* listPrev = nullptr;
    bool inUse = false;
};

class RbAnimatedBody : public RbBody {
public:
    void SetPosition(const RbVector& position);
    void SetRotation(const RbQuaternion& rotation);
    RbVector GetPosition() const { return RbPosition(transform); }
    void UpdateGeometryTransforms() { UpdateWorldBounds(); }

    RbAnimatedBody* poolNext = nullptr;
};

class RbRigidBody : public RbBody {
public:
    // A mass that is not finite and positive makes the body immovable.
    void SetMass(float mass);
    float GetMass() const { return mass; }
    float GetInverseMass() const { return inverseMass; }
    void SetBodyInertia(const RbVector& diagonal);
    RbVector GetPosition() const { return RbPosition(transform); }
    void SetPosition(const RbVector& position);
    RbQuaternion GetRotation() const { return orientation; }
    void SetRotation(const RbQuaternion& rotation);
    RbMatrix GetTransform() const { return transform; }
    RbVector GetVelocity() const { return velocity; }
    void SetVelocity(const RbVector& value);
    RbVector GetAngularVelocity() const { return angularVelocity; }
    RbVector GetAngularMomentum() const { return angularMomentum; }
    void SetAngularMomentum(const RbVector& value);
    void SetAngularMomentumAlone(const RbVector& value);
    void SetForceAtPoint(const RbVector& force, const RbVector& point);
    void SetTorque(const RbVector& torque);
    void ApplyImpulse(const RbVector& impulse);
    void ApplyImpulseAtPoint(const RbVector& impulse, const RbVector& point);
    void EnableGravity(bool enable);
    bool IsResting() const { return restStatus == 1; }
    bool IsImmovable() const { return immovable != 0; }
    RbVector GetSmoothedMotion() const { return smoothedMotion; }
    int GetIdleCounter() const { return idleCounter; }
    const RbMatrix3& GetWorldInverseInertia() const { return worldInverseInertia; }

    void InitRigid(RbSimulator* simulator, int32_t bodyKind, int32_t bodyIndex);
    void WakeUp();
    void WakeUpConstraintSet();
    void SetResting();
    // Zero velocities, momentum and the motion history a resting body keeps none of.
    void ClearMotion();
    void SetAngularMomentumState(const RbVector& value);
    void BeginStep(float step);
    void BeginRotationStep(const RbVector& torque, float step);
    void Integrate(float step);
    void UpdateDerivedState();
    void RunControllers();
    void ApplyImpulseAtOffset(const RbVector& impulse, const RbVector& offset);
    void TakeWakeSnapshot();
    // Rest handling of a resting body's begin step; true: it stays resting.
    bool RestingStep();
    // Idle detection before an awake body's integration.
    void IdleStep();
    bool IsMoving() const;
    void Release();
    void RefreshGravityForce();

    // Rest contacts and idle detection.
    void AddRestContact(const RbRestContact& candidate);
    int BuildRestRows(int force);
    int ValidateRestContacts();
    bool AtRestPose();
    bool SupportsHeld();
    int SupportTest();
    int GetRestMode() const { return rest.restMode; }
    const RbRestContact& GetRestContact(int i) const { return rest.contacts[i]; }
    int RestContactCount() const;

    // Stacking.
    int JoinStack(const RbRestContact& candidate);
    int CreateStackNode(const RbRestContact& candidate);
    int AddSupportNode(RbStackHeader* header);
    void ReleaseStackNode();
    RbStackNode* GetStackNode() const { return stackNode; }

    float mass = 1.0f;
    float inverseMass = 1.0f;
    int32_t immovable = 0;
    RbMatrix3 inverseBodyInertia = RbIdentity3();
    RbMatrix3 bodyInertia = RbZero3();
    RbVector userForce;
    RbVector userTorque;
    int32_t restStatus = 0;
    int32_t gravityOn = 1;
    RbVector gravityForce;
    RbVector controllerForce;
    RbVector controllerTorque;
    RbVector stepTorque;
    RbVector stepForce;
    RbVector acceleration;
    float linearDamping = 0.0f;
    float angularDamping = 0.0f;
    RbQuaternion orientation;
    RbVector angularMomentum;
    RbVector velocity;
    RbVector angularVelocity;
    RbQuaternion quaternionRate{0.0f, 0.0f, 0.0f, 0.0f};
    RbMatrix3 worldInverseInertia = RbIdentity3();
    float angularSpeed = 0.0f;
    int32_t idleCounter = 0;
    RbStackNode* stackNode = nullptr;
    int32_t pushedPrevious = 0;
    int32_t pushedThis = 0;
    RbRestBlock rest;
    int32_t stepped = 0;
    float restDriftLimit = 0.2f;
    RbVector snapshotPosition;
    RbQuaternion snapshotOrientation;
    RbVector snapshotVelocity;
    RbVector snapshotAngularVelocity;
    int32_t stepsSinceSnapshot = 0;
    int32_t particle = 0;
    // Set by the terrain pass for a fast body that met the ground this step: the
    // surface's plane (a point on it and its normal) and the least height above it
    // its centre keeps at the end of the step.
    int32_t landing = 0;
    RbVector landingPoint;
    RbVector landingNormal;
    float landingClearance = 0.0f;
    // Set by a rest row that pushed the body this step: the surface's normal. The
    // integration then leaves out the step's acceleration into that surface.
    int32_t held = 0;
    RbVector heldNormal;

    RbRigidBody* poolNext = nullptr;
};

// The body as a rigid body; null for no body, an animated body or the terrain.
inline RbRigidBody* RbRigidOf(RbBody* body) {
    return (body && body->rigid) ? static_cast<RbRigidBody*>(body) : nullptr;
}
