#include "Physics/RbBody.h"

#include "Physics/RbSimulator.h"

#include <cstring>

namespace {

bool AnyComponentAtLeast(const RbVector& v, float bound) {
    return std::fabs(v.x) >= bound || std::fabs(v.y) >= bound || std::fabs(v.z) >= bound;
}

} // namespace

// ---------------------------------------------------------------- inertia

RbVector RbBoxInertiaFromSizes(float x, float y, float z, float mass) {
    float s = x;
    if (y > s) s = y;
    if (z > s) s = z;
    float value = 2.0f * mass * s * s / 3.0f;
    return {value, value, value, 0.0f};
}

RbVector RbBoxInertia(const RbVector& sizes, float mass) {
    return RbBoxInertiaFromSizes(sizes.x, sizes.y, sizes.z, mass);
}

RbVector RbCylinderInertia(float diameter, float height, float mass) {
    float r = diameter / 2.0f;
    float side = mass * height * height / 12.0f + mass * r * r / 4.0f;
    return {side, mass * r * r / 2.0f, side, 0.0f};
}

// ---------------------------------------------------------------- geometry

void RbGeometry::SetDefaults() {
    type = RbGeomBox;
    params[0] = params[1] = params[2] = 0.5f;
    params[3] = 0.0f;
    radius = std::sqrt(0.75f);
    radius2 = 0.0f;
    localTransform = RbMatrix{};
    material = 0;
    pieceMass = 1.0f;
    pieceInertia = RbBoxInertiaFromSizes(1.0f, 1.0f, 1.0f, 1.0f);
    breakDirection = RbVector{};
    breakThreshold = 0.0f;
    breakShare = 0.5f;
    breakMode = 0;
    meshCandidates = nullptr;
    meshCandidateCount = 0;
    meshTriangles = nullptr;
    meshTriangleCount = 0;
    meshVertices = nullptr;
}

void RbGeometry::DropHull() {
    if (hull && hull->users > 0) --hull->users;
    hull = nullptr;
}

bool RbGeometry::SetConvexHull(RbConvexHull* convex) {
    if (!convex || convex->faceCount <= 0) return false;
    if (hull != convex) {
        DropHull();
        hull = convex;
        ++hull->users;
    }
    type = RbGeomConvex;
    params[0] = params[1] = params[2] = params[3] = 0.0f;
    radius = 0.0f;
    radius2 = 0.0f;
    return true;
}

void RbGeometry::SetBox(float width, float height, float depth) {
    DropHull();
    type = RbGeomBox;
    params[0] = width / 2.0f;
    params[1] = height / 2.0f;
    params[2] = depth / 2.0f;
    params[3] = 0.0f;
    radius = RbLength(RbVec(params[0], params[1], params[2]));
    radius2 = 0.0f;
}

void RbGeometry::SetSphere(float r) {
    DropHull();
    type = RbGeomSphere;
    params[0] = r;
    params[1] = r * r;
    params[2] = 0.0f;
    params[3] = 0.0f;
}

void RbGeometry::SetCylinderShape(float diameter, float height) {
    DropHull();
    type = RbGeomCylinder;
    params[0] = diameter / 2.0f;
    params[1] = params[0] * params[0];
    params[2] = height / 2.0f;
    params[3] = 0.0f;
}

void RbGeometry::SetTriangleMesh(const int* candidates, int candidateCount, const RbTriangle* triangles,
                                 int triangleCount, const RbVector* vertices) {
    type = RbGeomTriangleMesh;
    meshCandidates = candidates;
    meshCandidateCount = candidateCount > 0 ? candidateCount : 0;
    meshTriangles = triangles;
    meshTriangleCount = triangleCount > 0 ? triangleCount : 0;
    meshVertices = vertices;
}

void RbGeometry::SetLocalTransform(const RbMatrix& transform) { localTransform = transform; }

void RbGeometry::SetMaterial(int index) {
    if (index < 0 || index > 255) return;
    material = index;
}

void RbGeometry::GetLocalBounds(RbVector& minimum, RbVector& maximum) const {
    const RbMatrix& t = localTransform;
    if (type == RbGeomConvex && hull) {
        // The hull's vertices placed by the local transform; the box is then
        // doubled about the shape's origin, which leaves room for the hull turning.
        RbVector lo = RbVec(1000000.0f, 1000000.0f, 1000000.0f), hi = RbVec(-1000000.0f, -1000000.0f, -1000000.0f);
        for (int v = 0; v < hull->vertexCount; ++v) {
            RbVector p = RbTransformPoint(t, hull->vertices[v]);
            for (int k = 0; k < 3; ++k) {
                if (RbComp(p, k) < RbComp(lo, k)) RbSetComp(lo, k, RbComp(p, k));
                if (RbComp(p, k) > RbComp(hi, k)) RbSetComp(hi, k, RbComp(p, k));
            }
        }
        RbVector origin = RbPosition(t);
        minimum = origin + (lo - origin) * 2.0f;
        maximum = origin + (hi - origin) * 2.0f;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        float p = t.m[3][k];
        float extent = 0.0f;
        bool bounded = true;
        switch (type) {
        case RbGeomBox:
            extent =
                std::fabs(t.m[0][k]) * params[0] + std::fabs(t.m[1][k]) * params[1] + std::fabs(t.m[2][k]) * params[2];
            break;
        case RbGeomSphere: extent = params[0]; break;
        case RbGeomCylinder:
            extent = (params[2] + params[0]) * std::fabs(t.m[1][k]) +
                     params[0] * (std::fabs(t.m[0][k]) + std::fabs(t.m[2][k]));
            break;
        default: bounded = false; break;
        }
        if (bounded) {
            RbSetComp(minimum, k, p - extent);
            RbSetComp(maximum, k, p + extent);
        }
    }
}

// ---------------------------------------------------------------- sensors and controllers

void RbSensor::SetSegment(const RbVector& o, const RbVector& s) {
    if (!RbIsFinite(o) || !RbIsFinite(s)) return;
    origin = o;
    segment = s;
    direction = RbNormalize(s);
    length = RbLength(s);
}

void RbController::SetForce(const RbVector& value) {
    if (RbIsFinite(value)) force = value;
}

void RbController::SetTorque(const RbVector& value) {
    if (RbIsFinite(value)) torque = value;
}

// ---------------------------------------------------------------- common body

void RbBody::InitHeader(RbSimulator* simulator, int32_t bodyKind, int32_t bodyIndex) {
    setNext = setPrev = nullptr;
    joints = nullptr;
    cursor = nullptr;
    userData = nullptr;
    bounds = RbGeometry{};
    bounds.SetDefaults();
    bounds.body = this;
    firstGeometry = lastGeometry = nullptr;
    geometryCount = 0;
    index = bodyIndex;
    group = 0;
    constraintSet = nullptr;
    rigid = (bodyKind == RbKindRigid || bodyKind == RbKindParticle) ? 1 : 0;
    active = 1;
    sameSetContact = 0;
    jointContact = 0;
    sensors = nullptr;
    controllers = nullptr;
    broadPhase = nullptr;
    owner = simulator;
    for (RbVector& a : scaledAxes) a = RbVector{};
    centre = RbVector{};
    worldMin = worldMax = RbVector{};
    boundsKept = 0;
    smoothedMotion = RbVector{};
    leaningHead = leaningTail = nullptr;
    leaningCount = 0;
    insertionMark = 0;
    insertionHint = nullptr;
    inAxes = 0;
    groupChanged = 0;
    kind = bodyKind;
    transform = RbMatrix{};
    moved = 0;
}

void RbBody::SetCollisionGroup(int value) {
    if (value < 0 || value > 63 || value == group) return;
    group = value;
    if (broadPhase && owner) owner->GetBroadPhase().MarkGroupChanged(this);
}

RbGeometry* RbBody::NextGeometry() {
    RbGeometry* g = cursor;
    if (g) cursor = g->next;
    return g;
}

RbGeometry* RbBody::AllocGeometry() {
    if (!owner || kind == RbKindTerrain) return nullptr;
    RbGeometry* g = owner->GeometryPool().TakeFresh();
    if (!g) {
        owner->Logf(1, "Run out of Geometries. Increase 'geometriesCount'.\n");
        return nullptr;
    }
    g->SetDefaults();
    g->body = this;
    RbListAppend<RbGeometry, &RbGeometry::next, &RbGeometry::prev>(firstGeometry, lastGeometry, g);
    ++geometryCount;
    if (active && !broadPhase) owner->GetBroadPhase().AddBody(this, nullptr);
    return g;
}

RbSensor* RbBody::AllocSensor() {
    if (!owner || kind == RbKindTerrain) return nullptr;
    RbSensor* s = owner->SensorPool().TakeFresh();
    if (!s) {
        owner->Logf(1, "Run out of Sensors. Increase 'sensorsCount'.\n");
        return nullptr;
    }
    s->body = this;
    RbSensor** tail = &sensors;
    while (*tail) tail = &(*tail)->next;
    *tail = s;
    return s;
}

RbController* RbBody::AllocController(RbControllerCallback* callback, int period) {
    // Controllers run at the end of a rigid body's integration; an animated body
    // is never integrated, so it takes none.
    if (!owner || !rigid) return nullptr;
    RbController* c = owner->AppendController(controllers, period);
    if (!c) return nullptr;
    c->callback = callback;
    c->body = this;
    return c;
}

void RbBody::ComputeBounds() {
    boundsKept = 0;
    RbVector minimum = RbVec(1000000.0f, 1000000.0f, 1000000.0f);
    RbVector maximum = RbVec(-1000000.0f, -1000000.0f, -1000000.0f);
    bool singleBox = geometryCount == 1 && firstGeometry && firstGeometry->type == RbGeomBox && !sensors;
    if (singleBox) {
        // The one box is its own tight, oriented bounding shape.
        const RbGeometry& box = *firstGeometry;
        for (int i = 0; i < 4; ++i) bounds.params[i] = box.params[i];
        bounds.localTransform = box.localTransform;
        bounds.radius = box.radius;
        bounds.radius2 = box.radius2;
        bounds.type = RbGeomBox;
        bounds.material = box.material;
        bounds.pieceInertia = box.pieceInertia;
        bounds.breakDirection = box.breakDirection;
        bounds.pieceMass = box.pieceMass;
        bounds.breakThreshold = box.breakThreshold;
        bounds.breakShare = box.breakShare;
        bounds.breakMode = box.breakMode;
        for (int k = 0; k < 3; ++k) scaledAxes[k] = RbRow(bounds.localTransform, k) * bounds.params[k];
        centre = RbPosition(bounds.localTransform);
        return;
    }
    for (RbGeometry* g = firstGeometry; g; g = g->next) {
        RbVector lo = RbVec(1000000.0f, 1000000.0f, 1000000.0f);
        RbVector hi = RbVec(-1000000.0f, -1000000.0f, -1000000.0f);
        g->GetLocalBounds(lo, hi);
        for (int k = 0; k < 3; ++k) {
            if (RbComp(lo, k) < RbComp(minimum, k)) RbSetComp(minimum, k, RbComp(lo, k));
            if (RbComp(hi, k) > RbComp(maximum, k)) RbSetComp(maximum, k, RbComp(hi, k));
        }
    }
    for (RbSensor* s = sensors; s; s = s->next) {
        RbVector ends[2] = {s->origin, s->origin + s->segment};
        for (const RbVector& e : ends) {
            for (int k = 0; k < 3; ++k) {
                if (RbComp(e, k) < RbComp(minimum, k)) RbSetComp(minimum, k, RbComp(e, k));
                if (RbComp(e, k) > RbComp(maximum, k)) RbSetComp(maximum, k, RbComp(e, k));
            }
        }
    }
    if (minimum.x > maximum.x) {
        // No shape and no sensor: an empty box at the origin.
        minimum = maximum = RbVector{};
    }
    RbVector half = (maximum - minimum) * 0.5f;
    RbVector middle = minimum + half;
    bounds.type = RbGeomBox;
    bounds.params[0] = half.x;
    bounds.params[1] = half.y;
    bounds.params[2] = half.z;
    bounds.params[3] = 0.0f;
    bounds.radius = RbLength(half);
    bounds.localTransform = RbMatrix{};
    RbSetRow(bounds.localTransform, 3, middle);
    for (int k = 0; k < 3; ++k) scaledAxes[k] = RbRow(bounds.localTransform, k) * bounds.params[k];
    centre = middle;
}

void RbBody::UpdateWorldBounds() {
    if (geometryCount == 0) return;
    if (boundsKept && std::memcmp(&boundsTransform, &transform, sizeof(RbMatrix)) == 0) return;
    boundsTransform = transform;
    boundsKept = 1;
    RbVector oldMin = worldMin, oldMax = worldMax;
    RbVector axes[3];
    for (int k = 0; k < 3; ++k) axes[k] = RbRotate(transform, scaledAxes[k]);
    RbVector c = RbTransformPoint(transform, centre);
    for (int k = 0; k < 3; ++k) {
        float extent = std::fabs(RbComp(axes[0], k)) + std::fabs(RbComp(axes[1], k)) + std::fabs(RbComp(axes[2], k));
        RbSetComp(worldMin, k, RbComp(c, k) - extent);
        RbSetComp(worldMax, k, RbComp(c, k) + extent);
    }
    if (owner && (std::memcmp(&oldMin, &worldMin, sizeof(RbVector)) != 0 ||
                  std::memcmp(&oldMax, &worldMax, sizeof(RbVector)) != 0))
        owner->GetBroadPhase().MarkBoundsMoved();
}

void RbBody::SetActiveInternal(bool makeActive, RbBody* hint) {
    if (!owner || kind == RbKindTerrain || !inUse) return;
    if ((active != 0) == makeActive) return;
    owner->OnBodyActivity(this, makeActive);
    if (!makeActive) {
        if (broadPhase) owner->GetBroadPhase().RemoveBody(this);
        active = 0;
    } else {
        active = 1;
        if (geometryCount >= 1) owner->GetBroadPhase().AddBody(this, hint);
    }
}

void RbBody::ResetSensors() {
    for (RbSensor* s = sensors; s; s = s->next) s->hitDepth = 0.0f;
}

void RbBody::ReleaseAttachments() {
    RbSimulator* sim = owner;
    for (RbSensor* s = sensors; s;) {
        RbSensor* next = s->next;
        s->next = nullptr;
        s->body = nullptr;
        sim->SensorPool().Give(s);
        s = next;
    }
    sensors = nullptr;
    if (broadPhase) sim->GetBroadPhase().RemoveBody(this);
    for (RbGeometry* g = firstGeometry; g;) {
        RbGeometry* next = g->next;
        g->next = g->prev = nullptr;
        g->body = nullptr;
        g->DropHull();
        sim->GeometryPool().Give(g);
        g = next;
    }
    firstGeometry = lastGeometry = nullptr;
    geometryCount = 0;
    cursor = nullptr;
    while (joints) sim->FreeJoint(joints);
    while (leaningHead) leaningHead->Release();
}

void RbBody::LeaveConstraintSet() {
    RbConstraintSet* set = constraintSet;
    if (!set) return;
    set->UnlinkBody(this);
    // A pooled set left without bodies goes back to its pool.
    if (owner) owner->ReleaseSetIfEmpty(set);
}

bool RbBody::ShareJoint(const RbBody* other) const {
    if (!other) return false;
    for (const RbJoint* j = joints; j;) {
        if (j->bodyA == other || j->bodyB == other) return true;
        j = (j->bodyA == this) ? j->nextOfA : j->nextOfB;
    }
    return false;
}

// ---------------------------------------------------------------- animated body

void RbAnimatedBody::SetPosition(const RbVector& position) {
    if (!RbIsFinite(position)) return;
    RbSetRow(transform, 3, position);
    UpdateWorldBounds();
    moved = 1;
}

void RbAnimatedBody::SetRotation(const RbQuaternion& rotation) {
    if (!RbIsFinite(rotation)) return;
    RbQuaternionToRows(RbNormalizeQuaternion(rotation), transform);
    moved = 1;
}

// ---------------------------------------------------------------- rigid body

void RbRigidBody::InitRigid(RbSimulator* simulator, int32_t bodyKind, int32_t bodyIndex) {
    RbRigidBody* keepPoolNext = poolNext;
    bool keepInUse = inUse;
    RbBody* keepNext = listNext;
    RbBody* keepPrev = listPrev;
    *this = RbRigidBody{};
    poolNext = keepPoolNext;
    inUse = keepInUse;
    listNext = keepNext;
    listPrev = keepPrev;
    InitHeader(simulator, bodyKind, bodyIndex);
    particle = bodyKind == RbKindParticle ? 1 : 0;
    TakeWakeSnapshot();
    RefreshGravityForce();
}

void RbRigidBody::RefreshGravityForce() {
    if (gravityOn && restStatus == 0 && !immovable && owner)
        gravityForce = owner->GetGravity() * mass;
    else
        gravityForce = RbVector{};
}

static RbMatrix3 WorldInverseInertia(const RbMatrix& transform, const RbMatrix3& inverseBody) {
    RbMatrix3 r = RbRotationOf(transform);
    return RbMul(RbTranspose(r), RbMul(inverseBody, r));
}

void RbRigidBody::SetMass(float value) {
    if (!(value > 0.0f) || !std::isfinite(value)) {
        immovable = 1;
        mass = 0.0f;
        inverseMass = 0.0f;
    } else {
        immovable = 0;
        mass = value;
        inverseMass = 1.0f / value;
    }
    UpdateDerivedState();
    RefreshGravityForce();
}

void RbRigidBody::SetBodyInertia(const RbVector& diagonal) {
    if (!RbIsFinite(diagonal)) return;
    bodyInertia = RbMatrix3{{RbVec(diagonal.x, 0, 0), RbVec(0, diagonal.y, 0), RbVec(0, 0, diagonal.z)}};
    RbMatrix3 inverse;
    if (RbInvert3(bodyInertia, inverse)) inverseBodyInertia = inverse;
    UpdateDerivedState();
}

void RbRigidBody::SetPosition(const RbVector& position) {
    if (!RbIsFinite(position)) return;
    RbSetRow(transform, 3, position);
    WakeUp();
}

void RbRigidBody::SetRotation(const RbQuaternion& rotation) {
    if (!RbIsFinite(rotation)) return;
    orientation = RbNormalizeQuaternion(rotation);
    RbQuaternionToRows(orientation, transform);
    UpdateDerivedState();
    WakeUp();
}

void RbRigidBody::SetVelocity(const RbVector& value) {
    if (!RbIsFinite(value)) return;
    velocity = value;
    WakeUpConstraintSet();
}

void RbRigidBody::SetAngularMomentum(const RbVector& value) {
    if (!RbIsFinite(value)) return;
    SetAngularMomentumState(value);
    WakeUpConstraintSet();
}

void RbRigidBody::SetAngularMomentumAlone(const RbVector& value) {
    if (!RbIsFinite(value)) return;
    SetAngularMomentumState(value);
    WakeUp();
}

RbVector RbBody::GetVelocityAtPoint(const RbVector& offset) const {
    if (!rigid) return RbVector{};
    const RbRigidBody* body = static_cast<const RbRigidBody*>(this);
    return body->velocity + RbCross(body->angularVelocity, offset);
}

void RbRigidBody::SetForceAtPoint(const RbVector& force, const RbVector& point) {
    if (!RbIsFinite(force) || !RbIsFinite(point)) return;
    userForce = force;
    userTorque = RbCross(point - GetPosition(), force);
    if (AnyComponentAtLeast(force, 1e-6f)) WakeUp();
}

void RbRigidBody::SetTorque(const RbVector& torque) {
    if (!RbIsFinite(torque)) return;
    userTorque = torque;
    if (AnyComponentAtLeast(torque, 1e-6f)) WakeUp();
}

void RbRigidBody::ApplyImpulse(const RbVector& impulse) {
    if (!RbIsFinite(impulse)) return;
    velocity += impulse * inverseMass;
    WakeUpConstraintSet();
}

void RbRigidBody::ApplyImpulseAtPoint(const RbVector& impulse, const RbVector& point) {
    if (!RbIsFinite(impulse) || !RbIsFinite(point)) return;
    velocity += impulse * inverseMass;
    SetAngularMomentumState(angularMomentum + RbCross(point - GetPosition(), impulse));
    WakeUp();
}

void RbRigidBody::ApplyImpulseAtOffset(const RbVector& impulse, const RbVector& offset) {
    velocity += impulse * inverseMass;
    SetAngularMomentumState(angularMomentum + RbCross(offset, impulse));
}

void RbRigidBody::EnableGravity(bool enable) {
    gravityOn = enable ? 1 : 0;
    RefreshGravityForce();
}

void RbRigidBody::TakeWakeSnapshot() {
    snapshotPosition = GetPosition();
    snapshotOrientation = orientation;
    snapshotVelocity = velocity;
    snapshotAngularVelocity = angularVelocity;
    stepsSinceSnapshot = 0;
}

void RbRigidBody::WakeUp() {
    bool wasResting = restStatus != 0;
    restStatus = 0;
    idleCounter = 0;
    TakeWakeSnapshot();
    if (wasResting) RefreshGravityForce();
}

void RbRigidBody::WakeUpConstraintSet() {
    if (!constraintSet) {
        WakeUp();
        return;
    }
    for (RbBody* b = constraintSet->firstBody; b; b = b->setNext) {
        if (b->rigid) static_cast<RbRigidBody*>(b)->WakeUp();
    }
}

void RbRigidBody::SetResting() {
    restStatus = 1;
    ClearMotion();
    RefreshGravityForce();
}

void RbRigidBody::ClearMotion() {
    velocity = RbVector{};
    angularVelocity = RbVector{};
    quaternionRate = RbQuaternion{0.0f, 0.0f, 0.0f, 0.0f};
    angularSpeed = 0.0f;
    angularMomentum = RbVector{};
    for (int i = 0; i < 10; ++i) {
        rest.linearHistory[i] = RbVector{};
        rest.angularHistory[i] = RbVector{};
    }
}

void RbRigidBody::SetAngularMomentumState(const RbVector& value) {
    angularMomentum = value;
    angularVelocity = RbMul(worldInverseInertia, angularMomentum);
    quaternionRate = RbQuaternionRate(angularVelocity, orientation);
}

bool RbRigidBody::IsMoving() const { return RbLengthSq(velocity) + RbLengthSq(angularVelocity) >= 1.0f; }

bool RbRigidBody::RestingStep() {
    if (IsMoving()) {
        WakeUp();
        return false;
    }
    ClearMotion();
    RunControllers();
    return true;
}

void RbRigidBody::IdleStep() {
    if (RbLengthSq(velocity) < 1.0f && RbLengthSq(angularVelocity) < 1.0f) {
        ++idleCounter;
    } else {
        RbVector m;
        for (int i = 0; i < 10; ++i) m += rest.linearHistory[i];
        m = m * 0.1f;
        RbVector g = owner->GetGravityDirection();
        float down = RbDot(m, g);
        if (down > 0.0f) m -= g * down;
        if (RbLengthSq(m) > 2.0f) {
            idleCounter = 0;
            return;
        }
        RbVector a;
        for (int i = 0; i < 10; ++i) a += rest.angularHistory[i];
        a = a * 0.1f;
        if (RbLengthSq(a) > 1.0f) {
            idleCounter = 0;
            return;
        }
        ++idleCounter;
    }
    if (idleCounter > 10 && stackNode && SupportsHeld()) {
        // Three supports around the load line rest at once; a body balanced on an
        // edge must stay quiet much longer.
        int kind = SupportTest();
        if (kind == 3 || (kind == 2 && idleCounter > 100)) SetResting();
    }
}

void RbRigidBody::BeginStep(float step) {
    ++stepsSinceSnapshot;
    held = 0;
    if (restStatus == 1) {
        if (AnyComponentAtLeast(controllerForce, 1e-6f) || AnyComponentAtLeast(controllerTorque, 1e-6f)) WakeUp();
        if (restStatus == 1 && RestingStep()) return;
    }
    stepForce += userForce + gravityForce + controllerForce;
    acceleration = stepForce * inverseMass;
    velocity = (velocity + acceleration * step) * (1.0f - linearDamping);
    stepTorque += userTorque + controllerTorque;
    BeginRotationStep(stepTorque, step);
}

void RbRigidBody::BeginRotationStep(const RbVector& torque, float step) {
    angularMomentum = angularMomentum * (1.0f - angularDamping);
    float halfStep = step / 2.0f;
    RbQuaternion mid{orientation.x + halfStep * quaternionRate.x, orientation.y + halfStep * quaternionRate.y,
                     orientation.z + halfStep * quaternionRate.z, orientation.w + halfStep * quaternionRate.w};
    mid = RbNormalizeQuaternion(mid);
    RbVector midMomentum = angularMomentum + torque * halfStep;
    RbMatrix rows;
    RbQuaternionToRows(mid, rows);
    RbMatrix3 inverse = immovable ? RbZero3() : inverseBodyInertia;
    RbVector midOmega = RbMul(WorldInverseInertia(rows, inverse), midMomentum);
    quaternionRate = RbQuaternionRate(midOmega, mid);
    angularMomentum = angularMomentum + torque * step;
    angularVelocity = midOmega;
}

void RbRigidBody::UpdateDerivedState() {
    orientation = RbNormalizeQuaternion(orientation);
    RbQuaternionToRows(orientation, transform);
    worldInverseInertia = WorldInverseInertia(transform, immovable ? RbZero3() : inverseBodyInertia);
    angularVelocity = RbMul(worldInverseInertia, angularMomentum);
    quaternionRate = RbQuaternionRate(angularVelocity, orientation);
    angularSpeed = RbLength(angularVelocity);
}

void RbRigidBody::Integrate(float step) {
    RbVector position = GetPosition();
    // The half-step acceleration term carries a body on along what the step's
    // force did to it; a body a rest row just stopped at its support would sink by
    // it every step (half g h^2, 1.4 mm at 60 Hz), and its rows' correction only
    // stops that at 2.7 mm below their allowed depth: a resting box sat 12.9 mm
    // deep where its rows allow 9.8. The part pressing into the support is left out.
    RbVector carried = acceleration;
    if (held) {
        float into = RbDot(carried, heldNormal);
        if (into < 0.0f) carried -= heldNormal * into;
        held = 0;
    }
    RbVector next = position + velocity * step + carried * (0.5f * step * step);
    smoothedMotion = (next - position) * 0.3f + smoothedMotion * 0.7f;
    RbSetRow(transform, 3, next);
    SetAngularMomentumState(angularMomentum);
    orientation = RbQuaternion{orientation.x + step * quaternionRate.x, orientation.y + step * quaternionRate.y,
                               orientation.z + step * quaternionRate.z, orientation.w + step * quaternionRate.w};
    UpdateDerivedState();
    RunControllers();
    if (sensors) ResetSensors();
    int slot = owner->GetAdvanceCounter() % 10;
    if (slot < 0) slot += 10;
    rest.linearHistory[slot] = velocity;
    rest.angularHistory[slot] = angularVelocity;
}

void RbRigidBody::RunControllers() {
    RefreshGravityForce();
    controllerForce = RbVector{};
    controllerTorque = RbVector{};
    float step = owner ? owner->GetStepLength() : 0.0f;
    for (RbController* c = controllers; c;) {
        RbController* next = c->next;
        if (c->countdown != 0) {
            --c->countdown;
        } else {
            if (c->callback) c->callback->OnControllerStep(c, step);
            c->countdown = c->period;
        }
        controllerForce += c->force;
        controllerTorque += c->torque;
        c = next;
    }
}

void RbRigidBody::Release() {
    ReleaseAttachments();
    RbSimulator* sim = owner;
    for (RbController* c = controllers; c;) {
        RbController* next = c->next;
        c->next = c->prev = nullptr;
        c->body = nullptr;
        c->callback = nullptr;
        sim->ControllerPool().Give(c);
        c = next;
    }
    controllers = nullptr;
    LeaveConstraintSet();
    ReleaseStackNode();
    for (RbRestContact& record : rest.contacts) record.Release();
}
