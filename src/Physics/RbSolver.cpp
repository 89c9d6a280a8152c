// Constraint rows and the iterative impulse solver: row preparation, the contact
// impulse with friction and restitution, the solve rule of every row type, the
// two-pass iteration scheme and the solver stage of the step.

#include "Physics/RbSimulator.h"

namespace {

// S(r) v = r x v.
RbMatrix3 Skew(const RbVector& r) { return {{RbVec(0.0f, -r.z, r.y), RbVec(r.z, 0.0f, -r.x), RbVec(-r.y, r.x, 0.0f)}}; }

RbMatrix3 Add(const RbMatrix3& a, const RbMatrix3& b) { return {{a.r[0] + b.r[0], a.r[1] + b.r[1], a.r[2] + b.r[2]}}; }

RbMatrix3 Sub(const RbMatrix3& a, const RbMatrix3& b) { return {{a.r[0] - b.r[0], a.r[1] - b.r[1], a.r[2] - b.r[2]}}; }

const RbMatrix3& WorldInverse(const RbRigidBody* body) { return body->worldInverseInertia; }

// Effective mass of a point pair in world axes: (1/mA + 1/mB) I - S(rA) IA S(rA) - S(rB) IB S(rB).
RbMatrix3 PointPairK(const RbRigidBody* a, const RbVector& ra, const RbRigidBody* b, const RbVector& rb) {
    float inverseMasses = (a ? a->inverseMass : 0.0f) + (b ? b->inverseMass : 0.0f);
    RbMatrix3 k = {{RbVec(inverseMasses, 0, 0), RbVec(0, inverseMasses, 0), RbVec(0, 0, inverseMasses)}};
    if (a) {
        RbMatrix3 s = Skew(ra);
        k = Sub(k, RbMul(s, RbMul(WorldInverse(a), s)));
    }
    if (b) {
        RbMatrix3 s = Skew(rb);
        k = Sub(k, RbMul(s, RbMul(WorldInverse(b), s)));
    }
    return k;
}

void Store(RbVector out[3], const RbMatrix3& m) {
    for (int i = 0; i < 3; ++i) out[i] = m.r[i];
}

RbMatrix3 Load(const RbVector in[3]) { return {{in[0], in[1], in[2]}}; }

// A singular matrix gets a zero inverse, so its row applies nothing.
void StoreInverse(RbVector out[3], const RbMatrix3& k) {
    RbMatrix3 inverse;
    if (!RbInvert3(k, inverse)) inverse = RbZero3();
    Store(out, inverse);
}

RbVector PointVelocity(const RbRigidBody* body, const RbVector& offset) {
    if (!body) return RbVector{};
    return body->velocity + RbCross(body->angularVelocity, offset);
}

// Rest rows and linear joint rows change velocity, angular momentum and angular
// velocity only (the quaternion rate follows at integration).
void ApplyLinearRowImpulse(RbRigidBody* body, const RbVector& impulse, const RbVector& offset) {
    body->velocity += impulse * body->inverseMass;
    body->angularMomentum += RbCross(offset, impulse);
    body->angularVelocity = RbMul(body->worldInverseInertia, body->angularMomentum);
}

void AddAngularMomentum(RbRigidBody* body, const RbVector& delta) {
    body->SetAngularMomentumState(body->angularMomentum + delta);
}

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

} // namespace

// ---------------------------------------------------------------- frames and preparation

void RbBuildTangents(RbVector& t1, RbVector& t2, const RbVector& n) {
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    RbVector t;
    if (az >= ax && az >= ay) {
        t = RbVec(1.0f, 1.0f, -(n.x + n.y) / n.z);
    } else if (ay >= ax) {
        t = RbVec(1.0f, -(n.x + n.z) / n.y, 1.0f);
    } else {
        t = RbVec(-(n.y + n.z) / n.x, 1.0f, 1.0f);
    }
    if (!RbIsFinite(t)) t = RbVector{};
    t1 = RbNormalize(t);
    t2 = RbCross(n, t1);
}

void RbContact::Prepare(int ignoreA, int ignoreB) {
    RbRigidBody* a = ignoreA ? nullptr : RbRigidOf(bodyA);
    RbRigidBody* b = ignoreB ? nullptr : RbRigidOf(bodyB);
    switch (type) {
    case CollisionContact:
    case RestContact: {
        RbBuildTangents(tangent1, tangent2, normal);
        RbMatrix3 frame = {{tangent1, tangent2, normal}};
        for (RbVector& row : frame.r) row.w = 0.0f;
        RbMatrix3 transposed = RbTranspose(frame);
        Store(frameTransposed, transposed);
        RbMatrix3 world = PointPairK(a, offsetA, b, offsetB);
        RbMatrix3 local = RbMul(frame, RbMul(world, transposed));
        Store(k, local);
        StoreInverse(kInverse, local);
        break;
    }
    case PointJoint:
    case LineJoint:
    case LinearLimit: {
        RbMatrix3 world = PointPairK(a, offsetA, b, offsetB);
        Store(k, world);
        StoreInverse(kInverse, world);
        break;
    }
    case AngularLimit:
    case AngularMotor: {
        RbMatrix3 sum = Add(a ? WorldInverse(a) : RbZero3(), b ? WorldInverse(b) : RbZero3());
        Store(k, sum);
        StoreInverse(kInverse, sum);
        break;
    }
    case FrameAngularLimit: {
        RbMatrix3 m = Load(k);
        RbMatrix3 rotationB = bodyB ? RbRotationOf(bodyB->transform) : RbIdentity3();
        RbMatrix3 t = RbMul(m, rotationB);
        RbMatrix3 sum =
            Add(a ? RbMul(t, RbMul(WorldInverse(a), RbTranspose(t))) : RbZero3(), b ? WorldInverse(b) : RbZero3());
        StoreInverse(kInverse, sum);
        break;
    }
    case LinearMotor: {
        float inverseMasses = (a ? a->inverseMass : 0.0f) + (b ? b->inverseMass : 0.0f);
        kInverse[0].x = inverseMasses > 0.0f ? 1.0f / inverseMasses : 0.0f;
        break;
    }
    default: break;
    }
}

int RbContact::ReleaseRestingSide() {
    if (relSpeed > 1.0f) return 0;
    RbRigidBody* a = RbRigidOf(bodyA);
    RbRigidBody* b = RbRigidOf(bodyB);
    if (a && a->restStatus == 1) {
        if (!b || b->restStatus == 1) return 1;
        bodyA = nullptr;
        return 0;
    }
    if (a && b && b->restStatus == 1) bodyB = nullptr;
    return 0;
}

// ---------------------------------------------------------------- contact impulses

RbVector RbSimulator::ComputeContactImpulse(const RbContact& row, int noRestitution) const {
    const RbVector& v = row.localRelVelocity;
    float a = -v.z / row.k[2].z;
    RbVector u = RbMul(Load(row.kInverse), v);
    // Materials come from caller data (terrain triangles); an index outside the
    // table reads entry 0.
    auto entry = [this](int index) -> const RbMaterial& {
        return m_materials[(index >= 0 && index <= 255) ? index : 0];
    };
    const RbMaterial& ma = entry(row.materialA);
    const RbMaterial& mb = entry(row.materialB);
    float mu = ma.friction < mb.friction ? ma.friction : mb.friction;
    float e = noRestitution ? 0.0f : (ma.restitution < mb.restitution ? ma.restitution : mb.restitution);
    RbVector stick = RbVec(-u.x, -u.y, -u.z + a * e);
    if ((mu * stick.z) * (mu * stick.z) >= stick.x * stick.x + stick.y * stick.y) return stick;
    float s = std::sqrt(u.x * u.x + u.y * u.y);
    float d = s + mu * (u.z + a);
    if (std::fabs(d) <= 1e-6f) return RbVector{};
    float k = mu * a * (1.0f + e) / d;
    return RbVec(-u.x * k, -u.y * k, a * (1.0f + e) - k * (u.z + a));
}

float RbSimulator::SolveContactRow(RbBody* a, RbBody* b, RbContact& row, int kind, float scale) {
    RbRigidBody* ra = RbRigidOf(a);
    RbRigidBody* rb = RbRigidOf(b);
    if (!ra && !rb) return 0.0f;
    row.relVelocity = PointVelocity(ra, row.offsetA) - PointVelocity(rb, row.offsetB);
    row.localRelVelocity = RbVec(RbDot(row.tangent1, row.relVelocity), RbDot(row.tangent2, row.relVelocity),
                                 RbDot(row.normal, row.relVelocity));
    row.relSpeed = RbLength(row.localRelVelocity);
    RbMatrix3 toWorld = Load(row.frameTransposed);

    if (kind == 2) {
        RbVector p;
        float vz = row.localRelVelocity.z;
        if (vz < 0.0f) {
            p = ComputeContactImpulse(row, m_solverPhase);
            row.localRelVelocity.z = 0.0f;
            vz = 0.0f;
        }
        if (row.depth > 0.05f) row.depth = 0.05f;
        float excess = row.depth - 0.001f * m_gravityMagnitude;
        if (m_solverPhase == 1 && row.depth > 0.0f && excess > 0.0f) {
            float target = 0.5f * m_inverseStep * excess;
            if (target > vz) p += row.kInverse[2] * (target - 0.5f * vz);
        }
        if (!RbIsFinite(p)) return 0.0f;
        RbVector j = RbMul(toWorld, p);
        if (ra) {
            ApplyLinearRowImpulse(ra, j, row.offsetA);
            // Pushed up out of an immovable support it touches: the integration
            // must not carry it back in.
            if (p.z > 0.0f && !rb && row.depth > 0.0f) {
                ra->held = 1;
                ra->heldNormal = row.normal;
            }
        }
        if (rb && m_lastIteration == 0) ApplyLinearRowImpulse(rb, -j, row.offsetB);
        return 0.0f;
    }
    if (kind != 1) return 0.0f;
    if (row.localRelVelocity.z >= 0.0f) return 0.0f;
    RbVector p = ComputeContactImpulse(row, 0);
    if (!RbIsFinite(p)) return 0.0f;
    RbVector j = RbMul(toWorld, p) * scale;
    if (!RbIsFinite(j)) return 0.0f;
    // Breakage needs a breakage callback, which nothing installs; the shapes'
    // breakage mode stays 0, so the impulse is applied whole.
    if (ra) ra->ApplyImpulseAtOffset(j, row.offsetA);
    if (rb) rb->ApplyImpulseAtOffset(-j, row.offsetB);
    return 0.0f;
}

void RbSimulator::SolveCollisionRow(RbBody* a, RbBody* b, RbContact& row) {
    row.type = CollisionContact;
    row.bodyA = a;
    row.bodyB = b;
    row.Prepare(0, 0);
    SolveContactRow(a, b, row, 1, 1.0f);
}

bool RbSimulator::PushContactRow(const RbContact& row) { return m_contactRows.Push(row); }

bool RbSimulator::PushJointRow(const RbContact& row) { return m_jointRows.Push(row); }

// ---------------------------------------------------------------- rows by type

float RbSimulator::SolveRow(RbContact& row) {
    if (row.type == RestContact) return SolveContactRow(row.bodyA, row.bodyB, row, 2, 1.0f);
    RbRigidBody* a = RbRigidOf(row.bodyA);
    RbRigidBody* b = RbRigidOf(row.bodyB);
    if (!a && !b) return 0.0f;
    float h = m_step;
    float inverseStep = m_inverseStep;
    RbMatrix3 kInverse = Load(row.kInverse);
    switch (row.type) {
    case PointJoint:
    case LineJoint: {
        row.relVelocity = PointVelocity(a, row.offsetA) - PointVelocity(b, row.offsetB);
        const RbVector& n = row.pointB;
        if (row.type == PointJoint)
            row.localRelVelocity = row.relVelocity;
        else
            row.localRelVelocity = row.relVelocity - n * RbDot(n, row.relVelocity);
        RbVector j;
        if (row.depth >= 1e-6f) {
            // The correction never exceeds the clamp length.
            RbVector c = row.pointA * 0.5f;
            if (0.5f * row.depth > 0.05f) c = row.pointA * (0.05f / row.depth);
            j = -RbMul(kInverse, row.localRelVelocity * 0.5f + c * inverseStep);
        } else {
            j = -RbMul(kInverse, row.localRelVelocity);
        }
        if (row.type == LineJoint) j -= n * RbDot(n, j);
        if (!RbIsFinite(j)) return 0.0f;
        if (a) ApplyLinearRowImpulse(a, j, row.offsetA);
        if (b) ApplyLinearRowImpulse(b, -j, row.offsetB);
        return 0.0f;
    }
    case LinearLimit: {
        row.relVelocity = PointVelocity(a, row.offsetA) - PointVelocity(b, row.offsetB);
        const RbVector& n = row.pointB;
        row.normalSpeed = -RbDot(n, row.relVelocity);
        float target = 0.5f * row.depth * inverseStep;
        if (row.normalSpeed < target) {
            RbVector j = -RbMul(kInverse, n * (target - 0.5f * row.normalSpeed));
            if (!RbIsFinite(j)) return 0.0f;
            if (a) ApplyLinearRowImpulse(a, j, row.offsetA);
            if (b && m_lastIteration == 0) ApplyLinearRowImpulse(b, -j, row.offsetB);
        }
        return 0.0f;
    }
    case AngularLimit: {
        RbVector wa = a ? a->angularVelocity : RbVector{};
        RbVector wb = b ? b->angularVelocity : RbVector{};
        row.relSpeed = RbDot(row.axisB, wa) - RbDot(row.axisB, wb);
        float e = row.depth, s = row.relSpeed;
        if (e == 0.0f || (e > 0.0f && s <= 0.0f) || (e < 0.0f && s >= 0.0f)) return 0.0f;
        float lambda = -(0.5f * e * inverseStep) - 0.5f * s;
        RbVector l = RbMul(kInverse, row.axisB * lambda);
        if (!RbIsFinite(l)) return 0.0f;
        if (a) AddAngularMomentum(a, l);
        if (b) AddAngularMomentum(b, -l);
        return 0.0f;
    }
    case FrameAngularLimit: {
        RbVector wa = a ? a->angularVelocity : RbVector{};
        RbVector wb = b ? b->angularVelocity : RbVector{};
        float c = Clamp(0.5f * row.depth, -0.1f, 0.1f);
        float s = RbDot(row.axisA, wa) - RbDot(row.axisB, wb);
        if ((c > 0.0f && s <= 0.0f) || (c <= 0.0f && s >= 0.0f)) return 0.0f;
        float lambda = -(c * inverseStep) - 0.5f * s;
        RbVector l = RbMul(kInverse, row.axisB * lambda);
        if (!RbIsFinite(l)) return 0.0f;
        if (a) AddAngularMomentum(a, RbMul(Load(row.k), l));
        if (b) AddAngularMomentum(b, -l);
        return 0.0f;
    }
    case AngularMotor: {
        RbVector wa = a ? a->angularVelocity : RbVector{};
        RbVector wb = b ? b->angularVelocity : RbVector{};
        float current = RbDot(row.axisA, wa) - RbDot(row.axisB, wb);
        RbVector l = RbMul(kInverse, row.axisA * (row.normalSpeed - current));
        if (std::fabs(row.depth) >= 1e-6f) {
            // The effort bounds the motor's impulse over the whole step, not each
            // of the solver's passes over the row: the row keeps its running total
            // in pointA (unused by motor rows).
            RbVector total = row.pointA + l;
            float length = std::sqrt(RbLengthSq(total));
            float most = std::fabs(row.depth) * h;
            if (length > most && length > 0.0f) total = total * (most / length);
            l = total - row.pointA;
        }
        if (!RbIsFinite(l)) return 0.0f;
        row.pointA = row.pointA + l;
        if (a) AddAngularMomentum(a, l);
        if (b) AddAngularMomentum(b, -l);
        return 0.0f;
    }
    case LinearMotor: {
        RbVector va = a ? a->velocity : RbVector{};
        RbVector vb = b ? b->velocity : RbVector{};
        float current = RbDot(row.axisA, va) - RbDot(row.axisA, vb);
        float lambda = (row.normalSpeed - current) * row.kInverse[0].x;
        // A maximum effort of 0 means unlimited, as for the angular motor; the
        // bound holds for the step's total (kept in relSpeed, unused by this row).
        if (std::fabs(row.depth) >= 1e-6f) {
            float most = std::fabs(row.depth) * h;
            lambda = Clamp(row.relSpeed + lambda, -most, most) - row.relSpeed;
        }
        if (!std::isfinite(lambda)) return 0.0f;
        row.relSpeed += lambda;
        if (a) a->velocity += row.axisA * (lambda * a->inverseMass);
        if (b) b->velocity -= row.axisA * (lambda * b->inverseMass);
        return 0.0f;
    }
    default: return 0.0f;
    }
}

void RbSimulator::SolveRows(float, int iterations) {
    m_solverPhase = 0;
    if (m_jointRows.Size() == 0 && m_contactRows.Size() == 0) return;
    // -1 asks for the default; a request of 0 or less would solve nothing, so it does too.
    if (iterations < 1) iterations = 4;
    m_lastIteration = 0;
    for (int phase = 0; phase < 2; ++phase) {
        m_solverPhase = phase;
        for (int i = 0; i < iterations; ++i) {
            if (phase == 1 && i == iterations - 1) m_lastIteration = 1;
            for (int r = 0; r < m_jointRows.Size(); ++r) SolveRow(m_jointRows[r]);
            for (int r = m_contactRows.Size() - 1; r >= 0; --r) SolveRow(m_contactRows[r]);
            if (phase == 1 && i == iterations - 2) {
                // From here on the lower body of each rest row is immovable.
                for (int r = 0; r < m_contactRows.Size(); ++r)
                    if (m_contactRows[r].type == RestContact) m_contactRows[r].Prepare(0, 1);
            }
        }
    }
    m_jointRows.Clear();
    m_contactRows.Clear();
}

// ---------------------------------------------------------------- the solver stage

// A body's rest rows are solved in two passes: in one, the row solved first took
// the whole stop at its corner, the others saw little approach left and so gave
// little friction (a box slid down a 35 degree slope 2.4 times as far as its
// friction allows; 1.2 times in two passes), and the body kept sinking at the
// corners solved late.
static const int kLoosePasses = 2;

// A body held at three rest points on one support first takes a row at the point
// of the support plane below its centre. Solved corner by corner, the row solved
// first took the whole stop at its corner and turned the body, and the rows after
// it can only push, never take back: a cube set down level rocked on its corners
// and sank 6.2 mm where its first step's fall is 4.1 mm. The centred row stops the
// fall without a turn; the corner rows then see little approach and keep their
// friction and their rule.
void RbSimulator::SolveCentredSupportRow(RbRigidBody* body) {
    if (m_contactRows.Size() != 3) return;
    const RbContact& first = m_contactRows[0];
    const RbVector n = first.normal;
    // Only on level ground: on a slope the load leans across the normal, and the
    // friction taken under the centre tipped a box standing on 20 degrees deeper
    // into the slope (7.5 mm against 4.6 mm).
    if (RbDot(n, m_gravityDirection) > -0.985f) return;
    const RbVector centre = body->GetPosition();
    RbVector t1, t2;
    RbBuildTangents(t1, t2, n);
    RbVector pointA, pointB;
    float depth = 0.0f, u[3], v[3];
    for (int r = 0; r < 3; ++r) {
        const RbContact& row = m_contactRows[r];
        if (row.bodyB != first.bodyB || RbDot(row.normal, n) < 0.999f) return;
        pointA += row.pointA;
        pointB += row.pointB;
        depth += row.depth;
        RbVector d = row.pointA - centre;
        u[r] = RbDot(d, t1);
        v[r] = RbDot(d, t2);
    }
    if (!RbSupportTriangleContains(u[0], v[0], u[1], v[1], u[2], v[2])) return;
    const float third = 1.0f / 3.0f;
    RbContact centred = first;
    centred.pointA = centre + n * RbDot(pointA * third - centre, n);
    centred.pointB = centred.pointA + (pointB - pointA) * third;
    centred.pointA.w = 0.0f;
    centred.pointB.w = 0.0f;
    centred.depth = depth * third;
    centred.offsetA = centred.pointA - centre;
    centred.offsetB = centred.pointB - RbPosition(first.bodyB->transform);
    centred.Prepare(0, 0);
    if (!RbIsFinite(centred.pointA)) return;
    SolveContactRow(centred.bodyA, centred.bodyB, centred, 2, 1.0f);
}

void RbSimulator::SolveConstraints() {
    m_contactRows.Clear();
    m_solverPhase = 1;

    // Bodies that rest only on the terrain or animated bodies, one by one.
    for (RbStackNode* node = m_looseList.firstNode; node;) {
        RbStackNode* next = node->next;
        RbRigidBody* body = node->body;
        if (body && body->restStatus == 0 && body->stepped) {
            if (body->BuildRestRows(0) > 0) {
                SolveCentredSupportRow(body);
                for (int pass = 0; pass < kLoosePasses; ++pass)
                    for (int r = 0; r < m_contactRows.Size(); ++r) {
                        RbContact& row = m_contactRows[r];
                        SolveContactRow(row.bodyA, row.bodyB, row, 2, 1.0f);
                    }
                m_contactRows.Clear();
                if (body->AtRestPose() && body->SupportsHeld() && body->SupportTest() != 0) body->SetResting();
            }
            m_contactRows.Clear();
        }
        node = next;
    }

    DissolveSmallStacks();

    for (RbStackHeader* h = m_stackHead; h; h = h->next) {
        if (h->allResting || h->queued) continue;
        m_stacksToSolve.Clear();
        m_setsToSolve.Clear();
        m_islandSet.Reset();
        m_contactRows.Clear();
        h->MarkIsland();
        m_timer.AddStage(RbStageIslands);
        SolveRows(-1.0f, 2);
        m_timer.AddStage(RbStageSolver);
        if (m_islandSet.AllAtRest()) m_islandSet.RestBodies(1);
    }

    m_islandSet.Reset();
    m_contactRows.Clear();
}
