// Joints and constraint sets: construction, the per-step frames, anchors and
// rows of each joint, damping, joint controllers and the joint stage.

#include "Physics/RbSimulator.h"

#include <initializer_list>

namespace {

const float kPi = 3.14159265f;

RbMatrix3 Rotation3(const RbQuaternion& q) {
    RbMatrix m;
    RbQuaternionToRows(q, m);
    return RbRotationOf(m);
}

RbQuaternion AxisRotation(const RbVector& axis, float angle) {
    float s = std::sin(angle * 0.5f);
    return RbNormalizeQuaternion(RbQuaternion{axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)});
}

// Angle between two unit vectors, 0 and pi snapped within 1e-6.
float UnitAngle(float d) {
    if (std::fabs(d - 1.0f) < 1e-6f) return 0.0f;
    if (std::fabs(d + 1.0f) < 1e-6f) return kPi;
    return std::acos(d > 1.0f ? 1.0f : (d < -1.0f ? -1.0f : d));
}

RbContact JointRow(RbRowType type, RbJoint* joint) {
    RbContact row;
    row.type = type;
    row.bodyA = joint->bodyA;
    row.bodyB = joint->bodyB;
    return row;
}

void RemoveFromBody(RbBody* body, RbJoint* joint) {
    if (!body) return;
    RbJoint** link = &body->joints;
    while (*link) {
        RbJoint* j = *link;
        RbJoint** next = (j->bodyA == body) ? &j->nextOfA : &j->nextOfB;
        if (j == joint) {
            *link = *next;
            *next = nullptr;
            return;
        }
        link = next;
    }
}

// A running motor keeps its set awake: the rest-pose test would otherwise put a
// wheel turning steadily below its turning-rate limit to sleep, and a resting set
// is never solved again, so the motor could not restart it.
bool DrivesAMotor(const RbConstraintSet* set) {
    for (const RbJoint* j = set->joints; j; j = j->nextInSet)
        if (j->enabled && (j->jointType == 2 || j->jointType == 3) && std::fabs(j->motor.targetSpeed) >= 1e-6f)
            return true;
    return false;
}

void UnchainFromSet(RbJoint* joint) {
    RbConstraintSet* set = joint->set;
    if (!set) return;
    if (joint->prevInSet)
        joint->prevInSet->nextInSet = joint->nextInSet;
    else if (set->joints == joint)
        set->joints = joint->nextInSet;
    if (joint->nextInSet) joint->nextInSet->prevInSet = joint->prevInSet;
    joint->nextInSet = joint->prevInSet = nullptr;
    joint->set = nullptr;
}

} // namespace

// ---------------------------------------------------------------- construction

void RbJoint::SetFrames(const RbMatrix& inA, const RbMatrix& inB) {
    frameA = inA;
    frameB = inB;
}

bool RbJoint::SetAnchors(int count, const RbVector* onA, const RbVector* onB) {
    if (count < 0 || count > 2 || (count > 0 && (!onA || !onB))) return false;
    for (int i = 0; i < count; ++i) {
        if (!RbIsFinite(onA[i]) || !RbIsFinite(onB[i])) return false;
    }
    anchorCount = count;
    for (int i = 0; i < count; ++i) {
        anchorsA[i].local = onA[i];
        anchorsB[i].local = onB[i];
    }
    return true;
}

void RbJoint::SetLimit(bool enable, float lower, float upper) {
    limit.enabled = enable ? 1 : 0;
    limit.lower = lower;
    limit.upper = upper;
    limit.active = 0;
}

void RbJoint::SetTwistLimit(bool enable, float halfWidth) {
    twistLimit.enabled = enable ? 1 : 0;
    twistLimit.lower = halfWidth;
    twistLimit.active = 0;
}

void RbJoint::SetMotor(float targetSpeed, float maxEffort) {
    motor.targetSpeed = targetSpeed;
    motor.maxEffort = maxEffort;
}

RbJoint* RbSimulator::NewJoint(RbRigidBody* a, RbBody* b) {
    if (m_inStep || !a || !a->inUse || a == b || (b && !b->inUse) || (b && b->kind == RbKindTerrain)) return nullptr;
    RbJoint* joint = m_jointPool.TakeFresh();
    if (!joint) {
        Logf(1, "Run out of Joints. Increase 'jointsCount'.\n");
        return nullptr;
    }
    joint->bodyA = a;
    joint->bodyB = b;
    joint->iterations = -1; // no request: the solver's default
    joint->limit.owner = joint;
    joint->twistLimit.owner = joint;
    // Newest first in each body's list.
    joint->nextOfA = a->joints;
    a->joints = joint;
    if (b) {
        joint->nextOfB = b->joints;
        b->joints = joint;
    }
    return joint;
}

void RbSimulator::FreeJoint(RbJoint* joint) {
    if (m_inStep || !joint || m_jointPool.IndexOfAddress(joint) < 0 || !joint->inUse) return;
    RemoveFromBody(joint->bodyA, joint);
    RemoveFromBody(joint->bodyB, joint);
    UnchainFromSet(joint);
    for (RbController* c = joint->controllers; c;) {
        RbController* next = c->next;
        c->next = c->prev = nullptr;
        c->joint = nullptr;
        c->callback = nullptr;
        m_controllerPool.Give(c);
        c = next;
    }
    joint->controllers = nullptr;
    joint->bodyA = nullptr;
    joint->bodyB = nullptr;
    m_jointPool.Give(joint);
}

RbController* RbSimulator::AttachJointController(RbJoint* joint, RbControllerCallback* callback, int period) {
    if (m_inStep || !joint || !joint->inUse) return nullptr;
    RbController* c = AppendController(joint->controllers, period);
    if (!c) return nullptr;
    c->jointCallback = callback;
    c->joint = joint;
    return c;
}

RbController* RbSimulator::AppendController(RbController*& list, int period) {
    RbController* c = m_controllerPool.TakeFresh();
    if (!c) return nullptr;
    c->period = period > 0 ? period : 0;
    c->countdown = c->period;
    RbController* last = list;
    while (last && last->next) last = last->next;
    c->prev = last;
    if (last)
        last->next = c;
    else
        list = c;
    return c;
}

RbConstraintSet* RbSimulator::NewConstraintSet() {
    if (m_inStep) return nullptr;
    RbConstraintSet* set = m_setPool.TakeFresh();
    if (!set) {
        Logf(1, "Run out of ConstraintSets. Increase 'constraintSetsCount'.\n");
        return nullptr;
    }
    RbListAppend<RbConstraintSet, &RbConstraintSet::next, &RbConstraintSet::prev>(m_setHead, m_setTail, set);
    return set;
}

void RbSimulator::FreeConstraintSet(RbConstraintSet* set) {
    if (m_inStep || !set || set == &m_islandSet || m_setPool.IndexOfAddress(set) < 0 || !set->inUse) return;
    while (RbJoint* j = set->joints) UnchainFromSet(j);
    while (RbBody* b = set->firstBody) set->UnlinkBody(b);
    RbListUnlink<RbConstraintSet, &RbConstraintSet::next, &RbConstraintSet::prev>(m_setHead, m_setTail, set);
    m_setPool.Give(set);
}

void RbSimulator::ReleaseSetIfEmpty(RbConstraintSet* set) {
    if (set && set != &m_islandSet && set->bodyCount == 0) FreeConstraintSet(set);
}

bool RbConstraintSet::AddJoint(RbJoint* joint) {
    if (!joint || !joint->inUse || joint->set || (joint->bodyA && joint->bodyA->owner->IsStepping())) return false;
    // Chained at the end, so joints are prepared in the order they were added.
    RbJoint* last = joints;
    while (last && last->nextInSet) last = last->nextInSet;
    joint->prevInSet = last;
    joint->nextInSet = nullptr;
    if (last)
        last->nextInSet = joint;
    else
        joints = joint;
    joint->set = this;
    return true;
}

bool RbConstraintSet::AddBody(RbBody* body) {
    if (!body || !body->inUse || body->kind == RbKindTerrain || !body->owner || body->owner->IsStepping()) return false;
    if (body->constraintSet == this) return true;
    if (body->constraintSet) return false;
    LinkBody(body);
    return true;
}

// ---------------------------------------------------------------- per-step work

void RbJoint::UpdateWorldFrames() {
    worldFrameA = RbCompose(frameA, bodyA->transform);
    worldFrameB = bodyB ? RbCompose(frameB, bodyB->transform) : frameB;
    limit.axis = RbNormalize(RbRow(worldFrameA, 1) + RbRow(worldFrameB, 1));
    if (jointType == 0 || jointType == 2) {
        RbVector xa = RbRow(worldFrameA, 0), xb = RbRow(worldFrameB, 0);
        xa.w = xb.w = 0.0f;
        float d = RbDot(xa, xb);
        if (std::fabs(d - 1.0f) < 1e-6f) {
            angle = signedAngle = 0.0f;
        } else if (std::fabs(d + 1.0f) < 1e-6f) {
            angle = kPi;
            signedAngle = -kPi;
        } else {
            float a = std::acos(d > 1.0f ? 1.0f : (d < -1.0f ? -1.0f : d));
            // The angle grows as A turns positively about the axis relative to B,
            // the sense in which the limit and motor rows act.
            RbVector turn = RbNormalize(RbCross(xb, xa));
            if (RbDot(turn, limit.axis) > 0.0f) {
                angle = signedAngle = a;
            } else {
                angle = 2.0f * kPi - a;
                signedAngle = -a;
            }
        }
    } else if (jointType == 3) {
        angle = RbDot(RbRow(worldFrameB, 1), RbPosition(worldFrameA) - RbPosition(worldFrameB));
    }
}

void RbJoint::UpdateAnchors() {
    for (int i = 0; i < anchorCount; ++i) {
        anchorsA[i].world = RbTransformPoint(bodyA->transform, anchorsA[i].local);
        anchorsB[i].world = bodyB ? RbTransformPoint(bodyB->transform, anchorsB[i].local) : anchorsB[i].local;
    }
}

void RbJoint::AddRows(RbSimulator* sim) {
    RbVector posA = bodyA->GetPosition();
    bool rigidB = bodyB && bodyB->rigid;
    RbVector posB = rigidB ? RbPosition(bodyB->transform) : RbVector{};
    RbVector axis = RbRow(worldFrameB, 1);
    axis.w = 0.0f;
    RbVector origin = RbPosition(worldFrameB);
    for (int i = 0; i < anchorCount; ++i) {
        RbVector a = anchorsA[i].world;
        RbVector b = anchorsB[i].world;
        RbContact row = JointRow(PointJoint, this);
        if (jointType == 3) {
            // The anchor is held on the joint axis of frame B.
            b = origin + axis * RbDot(axis, a - origin);
            row.type = LineJoint;
        } else if (jointType != 0 && jointType != 2) {
            continue;
        }
        row.offsetA = a - posA;
        row.offsetB = b - posB;
        row.pointA = a - b;
        row.pointB = row.type == LineJoint ? axis : (rigidB ? RbVector{} : b);
        row.depth = RbLength(row.pointA);
        row.Prepare(0, 0);
        sim->PushJointRow(row);
    }
    AddLimitRows(sim);
    AddMotorRow(sim);

    for (RbBody* b : {static_cast<RbBody*>(bodyA), bodyB}) {
        RbRigidBody* body = RbRigidOf(b);
        if (!body || !body->stackNode) continue;
        RbStackNode* node = body->stackNode;
        RbStackHeader* owner = node->owner;
        if (owner && owner->isLooseList) {
            if (body->stepped) {
                body->stepped = 0;
                body->BuildRestRows(1);
            }
        } else if (owner && !owner->queued) {
            if (sim->StacksToSolve().Push(owner)) owner->queued = 1;
        }
    }
}

void RbJoint::AddLimitRows(RbSimulator* sim) {
    limit.active = 0;
    twistLimit.active = 0;
    if ((jointType == 0 || jointType == 2) && limit.enabled) {
        float used = (limit.lower > 0.0f || jointType == 0) ? angle : signedAngle;
        float error = 0.0f;
        if (used < limit.lower) {
            limit.side = 1;
            error = used - limit.lower;
        } else if (used > limit.upper) {
            limit.side = 0;
            error = used - limit.upper;
        }
        if (error != 0.0f) {
            limit.active = 1;
            limit.error = error;
            RbContact row = JointRow(AngularLimit, this);
            row.axisB = limit.axis;
            row.depth = error;
            row.Prepare(0, 0);
            sim->PushJointRow(row);
        }
    }
    if (jointType == 0 && twistLimit.enabled) {
        RbQuaternion undo = AxisRotation(limit.axis, -angle);
        RbMatrix3 m = Rotation3(undo);
        RbVector za = RbRow(worldFrameA, 2), zb = RbRow(worldFrameB, 2), xb = RbRow(worldFrameB, 0);
        za.w = zb.w = xb.w = 0.0f;
        // Rows are the rotated axes, so a vector turns as v.x row0 + v.y row1 + v.z row2.
        RbVector v = m.r[0] * za.x + m.r[1] * za.y + m.r[2] * za.z;
        float twist = UnitAngle(RbDot(v, zb));
        // Signed like the hinge angle: growing as A turns positively about x.
        if (twist != 0.0f && twist != kPi && RbDot(RbNormalize(RbCross(zb, v)), xb) < 0.0f) twist = -twist;
        float h = twistLimit.lower;
        float error = 0.0f;
        if (twist > h)
            error = twist - h;
        else if (twist < -h)
            error = twist + h;
        if (error != 0.0f) {
            twistLimit.active = 1;
            twistLimit.error = error;
            RbContact row = JointRow(FrameAngularLimit, this);
            row.axisA = RbRow(worldFrameA, 0);
            row.axisB = xb;
            row.axisA.w = 0.0f;
            row.depth = error;
            for (int i = 0; i < 3; ++i) row.k[i] = m.r[i];
            row.Prepare(0, 0);
            sim->PushJointRow(row);
        }
    }
    if (jointType == 3 && limit.enabled) {
        float error = 0.0f;
        if (angle < limit.lower) {
            limit.side = 1;
            error = angle - limit.lower;
        } else if (angle > limit.upper) {
            limit.side = 0;
            error = angle - limit.upper;
        }
        if (error != 0.0f) {
            limit.active = 1;
            limit.error = error;
            RbVector n = RbRow(worldFrameB, 1);
            n.w = 0.0f;
            // The row is one-sided along n: a lower limit is the upper limit of -n.
            if (error < 0.0f) {
                n = -n;
                error = -error;
            }
            RbContact row = JointRow(LinearLimit, this);
            row.pointB = n;
            row.depth = error;
            row.offsetA = RbPosition(worldFrameA) - bodyA->GetPosition();
            row.offsetB = RbPosition(worldFrameB) - (bodyB && bodyB->rigid ? RbPosition(bodyB->transform) : RbVector{});
            row.Prepare(0, 0);
            sim->PushJointRow(row);
        }
    }
}

void RbJoint::AddMotorRow(RbSimulator* sim) {
    if (jointType != 2 && jointType != 3) return;
    if (limit.enabled && limit.active &&
        ((limit.side == 0 && motor.targetSpeed > 0.0f) || (limit.side == 1 && motor.targetSpeed < 0.0f)))
        return;
    RbContact row = JointRow(jointType == 2 ? AngularMotor : LinearMotor, this);
    row.normalSpeed = motor.targetSpeed;
    row.depth = motor.maxEffort;
    row.axisA = RbRow(worldFrameA, 1);
    row.axisB = RbRow(worldFrameB, 1);
    row.axisA.w = row.axisB.w = 0.0f;
    row.Prepare(0, 0);
    sim->PushJointRow(row);
}

void RbJoint::ApplyDamping() {
    if (jointType != 0 && jointType != 2) return;
    RbRigidBody* b = RbRigidOf(bodyB);
    RbVector wa = bodyA->angularVelocity;
    RbVector wb = b ? b->angularVelocity : RbVector{};
    RbVector w;
    if (jointType == 0) {
        w = wa - wb;
    } else {
        UpdateWorldFrames();
        RbVector axis = limit.axis;
        w = axis * RbDot(axis, wa) - axis * RbDot(axis, wb);
    }
    bodyA->stepTorque -= w * damping;
    if (b) b->stepTorque += w * damping;
}

void RbJoint::RunControllers(float step) {
    RbRigidBody* b = RbRigidOf(bodyB);
    for (RbController* c = controllers; c;) {
        RbController* next = c->next;
        if (c->countdown != 0) {
            --c->countdown;
        } else {
            if (c->jointCallback) static_cast<RbControllerCallback*>(c->jointCallback)->OnControllerStep(c, step);
            c->countdown = c->period;
        }
        bodyA->controllerForce += c->force;
        bodyA->controllerTorque += c->torque;
        if (b) {
            b->controllerForce += c->forceB;
            b->controllerTorque += c->torqueB;
        }
        c = next;
    }
}

void RbConstraintSet::PrepareJoints(float& tol, int& its) {
    for (RbJoint* j = joints; j; j = j->nextInSet) {
        if (!j->enabled || !j->bodyA) continue;
        RbSimulator* sim = j->bodyA->owner;
        j->UpdateWorldFrames();
        j->UpdateAnchors();
        j->AddRows(sim);
        if (tol == -1.0f || (j->tolerance > 0.0f && j->tolerance < tol)) tol = j->tolerance;
        if (j->iterations > its) its = j->iterations;
    }
    visited = 1;
}

// ---------------------------------------------------------------- stages

void RbSimulator::ApplyJointDamping() {
    for (RbConstraintSet* set = m_setHead; set; set = set->next)
        for (RbJoint* j = set->joints; j; j = j->nextInSet)
            if (j->enabled && j->bodyA) j->ApplyDamping();
}

void RbSimulator::RunJointControllers() {
    for (RbConstraintSet* set = m_setHead; set; set = set->next)
        for (RbJoint* j = set->joints; j; j = j->nextInSet)
            if (j->enabled && j->bodyA) j->RunControllers(m_step);
}

void RbSimulator::SolveConstraintSets() {
    if (!m_setHead) return;
    for (RbConstraintSet* set = m_setHead; set; set = set->next) set->visited = 0;
    for (RbConstraintSet* set = m_setHead; set; set = set->next) {
        if (set->visited) continue;
        m_stacksToSolve.Clear();
        m_setsToSolve.Clear();
        m_jointRows.Clear();
        m_contactRows.Clear();
        m_islandSet.Reset();
        m_setsToSolve.Push(set);
        int awake = 0;
        for (RbBody* b = set->firstBody; b; b = b->setNext) {
            RbRigidBody* body = RbRigidOf(b);
            if (body && body->restStatus == 0) ++awake;
        }
        if (awake == 0) {
            set->visited = 1;
            continue;
        }
        float tolerance = -1.0f;
        int iterations = -1;
        set->PrepareJoints(tolerance, iterations);
        for (int i = 0; i < m_stacksToSolve.Size(); ++i) {
            RbStackHeader* stack = static_cast<RbStackHeader*>(m_stacksToSolve[i]);
            stack->MarkIsland();
            for (RbStackNode* n = stack->firstNode; n; n = n->next) {
                RbConstraintSet* other = n->body->constraintSet;
                if (!other || other == &m_islandSet || other->visited) continue;
                other->PrepareJoints(tolerance, iterations);
                m_setsToSolve.Push(other);
            }
        }
        SolveRows(tolerance, iterations);
        bool allAtRest = m_islandSet.AllAtRest() != 0;
        for (int i = 0; i < m_setsToSolve.Size() && allAtRest; ++i) {
            RbConstraintSet* s = static_cast<RbConstraintSet*>(m_setsToSolve[i]);
            allAtRest = !DrivesAMotor(s) && s->AllAtRest() != 0;
        }
        for (int i = 0; i < m_setsToSolve.Size(); ++i) {
            RbConstraintSet* s = static_cast<RbConstraintSet*>(m_setsToSolve[i]);
            if (allAtRest)
                s->RestBodies(0);
            else
                s->WakeBodies();
        }
        if (allAtRest)
            m_islandSet.RestBodies(0);
        else
            m_islandSet.WakeBodies();
        m_islandSet.Reset();
    }
    m_islandSet.Reset();
}
