// Rest contacts and idle detection: up to three persistent contact points per
// rigid body, the rest rows built from them, and the tests that decide when a
// body is put to rest.

#include "Physics/RbSimulator.h"

bool RbSupportSolid(const RbRestContact& record) {
    const RbBody* other = record.otherBody;
    if (!other) return false;
    if (other->rigid) return static_cast<const RbRigidBody*>(other)->restStatus == 1;
    return other->moved == 0;
}

namespace {

// Plane coordinates of a point across the load direction.
struct PlanePoint {
    float u = 0.0f, v = 0.0f;
};

float Cross2(const PlanePoint& a, const PlanePoint& b) { return a.u * b.v - a.v * b.u; }

} // namespace

// The centre (the origin of the plane) lies inside the triangle grown by 1.1
// about its centroid: a body on three corners of a face has its centre exactly on
// the diagonal, which the growth takes inside.
bool RbSupportTriangleContains(float au, float av, float bu, float bv, float cu, float cv) {
    float gu = (au + bu + cu) / 3.0f, gv = (av + bv + cv) / 3.0f;
    PlanePoint a{gu + (au - gu) * 1.1f, gv + (av - gv) * 1.1f};
    PlanePoint b{gu + (bu - gu) * 1.1f, gv + (bv - gv) * 1.1f};
    PlanePoint c{gu + (cu - gu) * 1.1f, gv + (cv - gv) * 1.1f};
    float ab = Cross2(a, b), bc = Cross2(b, c), ca = Cross2(c, a);
    return (ab > 0.0f && bc > 0.0f && ca > 0.0f) || (ab < 0.0f && bc < 0.0f && ca < 0.0f);
}

// ---------------------------------------------------------------- records

void RbRestContact::Release() {
    if (state != 0 && otherBody) {
        RbBody* other = otherBody;
        if (listPrev)
            listPrev->listNext = listNext;
        else if (other->leaningHead == this)
            other->leaningHead = listNext;
        if (listNext)
            listNext->listPrev = listPrev;
        else if (other->leaningTail == this)
            other->leaningTail = listPrev;
        if (other->leaningCount > 0) --other->leaningCount;
    }
    listNext = nullptr;
    listPrev = nullptr;
    state = 0;
    otherBody = nullptr;
}

void RbRestContact::Update() {
    if (!owner || !otherBody) return;
    const RbMatrix& own = owner->transform;
    const RbMatrix& other = otherBody->transform;
    worldPointA = RbTransformPoint(own, localPointA);
    worldPointB = RbTransformPoint(other, localPointB);
    worldNormal = RbRotate(other, localNormal);
    gap = worldPointA - worldPointB;
    separation = RbDot(worldNormal, gap);
    RbVector across = gap - worldNormal * separation;
    driftSquared = RbLengthSq(across);
}

int RbRigidBody::RestContactCount() const {
    int n = 0;
    for (const RbRestContact& r : rest.contacts) n += r.state != 0 ? 1 : 0;
    return n;
}

void RbRigidBody::AddRestContact(const RbRestContact& candidate) {
    RbBody* other = candidate.otherBody;
    if (!other || other == this) return;
    int freeSlot = -1, target = -1, smallest = -1;
    float smallestDepth = 0.0f;
    for (int i = 0; i < 3; ++i) {
        RbRestContact& r = rest.contacts[i];
        if (r.state == 0) {
            freeSlot = i;
            continue;
        }
        if (smallest < 0 || smallestDepth == 0.0f || r.contactDepth < smallestDepth) {
            smallest = i;
            smallestDepth = r.contactDepth;
        }
        if (RbLengthSq(candidate.localPointA - r.localPointA) < 0.0025f) {
            target = i;
            break;
        }
    }
    if (target < 0) target = freeSlot >= 0 ? freeSlot : smallest;
    if (target < 0) return;
    RbRestContact& r = rest.contacts[target];
    if (r.state != 0) r.Release();
    r.localPointA = candidate.localPointA;
    r.localPointB = candidate.localPointB;
    r.otherBody = other;
    r.localNormal = candidate.localNormal;
    r.contactDepth = candidate.contactDepth;
    r.owner = this;
    r.materialA = candidate.materialA;
    r.materialB = candidate.materialB;
    r.state = other->rigid ? 1 : 2;
    RbListAppend<RbRestContact, &RbRestContact::listNext, &RbRestContact::listPrev>(other->leaningHead,
                                                                                    other->leaningTail, &r);
    ++other->leaningCount;
    r.Update();
}

// ---------------------------------------------------------------- rest rows

int RbRigidBody::BuildRestRows(int force) {
    RbSimulator* sim = owner;
    // A deactivated body takes no part in the solve.
    if (!sim || !active) return 0;
    const RbBody* terrain = sim->GetTerrainBody();
    int kept[3];
    float separations[3];
    int keptCount = 0;
    for (int i = 0; i < 3; ++i) {
        RbRestContact& r = rest.contacts[i];
        if (r.state == 0) continue;
        RbBody* other = r.otherBody;
        if (other != terrain && !(other && other->inUse && other->active)) {
            r.Release();
            continue;
        }
        r.Update();
        if (r.driftSquared > 0.025f) {
            r.Release();
            rest.restMode = 0;
            continue;
        }
        kept[keptCount] = i;
        separations[keptCount] = r.separation;
        ++keptCount;
    }
    if (keptCount == 0) {
        rest.restMode = 0;
        return 0;
    }

    int pushed = 0;
    auto emit = [&](int i) {
        RbRestContact& r = rest.contacts[i];
        RbBody* other = r.otherBody;
        RbContact row;
        row.type = RestContact;
        row.bodyA = this;
        row.bodyB = other;
        row.normal = r.worldNormal;
        row.pointA = r.worldPointA;
        row.pointB = r.worldPointB;
        row.offsetA = r.worldPointA - GetPosition();
        row.offsetB = r.worldPointB - RbPosition(other->transform);
        row.materialA = r.materialA;
        row.materialB = r.materialB;
        row.depth = -r.separation;
        row.collided = 1;
        row.Prepare(0, 0);
        // The drop test reads the row's speed, so it is measured here.
        RbVector va = velocity + RbCross(angularVelocity, row.offsetA);
        RbVector vb;
        if (other->rigid) {
            const RbRigidBody* ob = static_cast<const RbRigidBody*>(other);
            vb = ob->velocity + RbCross(ob->angularVelocity, row.offsetB);
        }
        row.relVelocity = va - vb;
        row.localRelVelocity = RbVec(RbDot(row.tangent1, row.relVelocity), RbDot(row.tangent2, row.relVelocity),
                                     RbDot(row.normal, row.relVelocity));
        row.relSpeed = RbLength(row.localRelVelocity);
        if (force == 0 && row.ReleaseRestingSide()) return;
        if (sim->PushContactRow(row)) ++pushed;
    };

    if (keptCount == 1 && separations[0] < 0.0f) {
        emit(kept[0]);
        rest.restMode = 0;
        return pushed;
    }
    int supports = 0;
    for (int k = 0; k < keptCount; ++k) {
        if (separations[k] > 0.01f) continue;
        emit(kept[k]);
        rest.supportIndices[supports++] = kept[k];
    }
    rest.restMode = supports;
    return pushed;
}

int RbRigidBody::ValidateRestContacts() {
    if (!stackNode) return 0;
    int count = 0;
    if (restStatus == 1) {
        for (RbRestContact& r : rest.contacts) {
            if (r.state == 0) continue;
            if (!RbSupportSolid(r)) break;
            ++count;
        }
    } else {
        RbVector down = owner->GetGravityDirection();
        for (RbRestContact& r : rest.contacts) {
            if (r.state == 0) continue;
            r.Update();
            if (RbDot(r.worldNormal, down) > 0.0f || r.separation > 0.01f || r.driftSquared > 0.001f) {
                r.Release();
                rest.restMode = 0;
                continue;
            }
            ++count;
        }
    }
    stackNode->unsupported = count == 0 ? 1 : 0;
    return count;
}

// ---------------------------------------------------------------- rest tests

int RbRigidBody::SupportTest() {
    RbVector load = stepForce;
    if (std::fabs(load.x) < 1e-6f && std::fabs(load.y) < 1e-6f && std::fabs(load.z) < 1e-6f) return 3;
    RbVector direction = RbNormalize(load);
    RbVector t1, t2;
    RbBuildTangents(t1, t2, direction);
    RbVector centre = GetPosition();
    auto plane = [&](const RbRestContact& r) {
        RbVector p = r.worldPointA - centre;
        return PlanePoint{RbDot(p, t1), RbDot(p, t2)};
    };
    auto usable = [&](int index) {
        if (index < 0 || index > 2) return false;
        const RbRestContact& r = rest.contacts[index];
        return r.state != 0 && RbSupportSolid(r);
    };
    // A support only holds while the load stays inside its friction cone: a body
    // on a slope steeper than its friction is sliding however slowly it starts.
    int supports = rest.restMode >= 1 && rest.restMode <= 3 ? rest.restMode : 0;
    for (int k = 0; k < supports; ++k) {
        int index = rest.supportIndices[k];
        if (index < 0 || index > 2 || rest.contacts[index].state == 0) continue;
        const RbRestContact& r = rest.contacts[index];
        RbMaterial ma, mb;
        if (!owner->GetMaterialEntry(r.materialA, ma)) owner->GetMaterialEntry(0, ma);
        if (!owner->GetMaterialEntry(r.materialB, mb)) owner->GetMaterialEntry(0, mb);
        float mu = ma.friction < mb.friction ? ma.friction : mb.friction;
        float pressing = -RbDot(load, r.worldNormal);
        RbVector across = load + r.worldNormal * pressing;
        if (!(pressing > 0.0f) || std::sqrt(RbLengthSq(across)) > mu * pressing) return 0;
    }
    switch (rest.restMode) {
    case 3: {
        for (int k = 0; k < 3; ++k)
            if (!usable(rest.supportIndices[k])) return 0;
        PlanePoint a = plane(rest.contacts[rest.supportIndices[0]]);
        PlanePoint b = plane(rest.contacts[rest.supportIndices[1]]);
        PlanePoint c = plane(rest.contacts[rest.supportIndices[2]]);
        return RbSupportTriangleContains(a.u, a.v, b.u, b.v, c.u, c.v) ? 3 : 0;
    }
    case 2: {
        if (!usable(rest.supportIndices[0]) || !usable(rest.supportIndices[1])) return 0;
        PlanePoint a = plane(rest.contacts[rest.supportIndices[0]]);
        PlanePoint b = plane(rest.contacts[rest.supportIndices[1]]);
        PlanePoint d{b.u - a.u, b.v - a.v};
        float length = std::sqrt(d.u * d.u + d.v * d.v);
        float distance;
        if (length < 1e-6f)
            distance = std::sqrt(a.u * a.u + a.v * a.v);
        else
            distance = std::fabs(Cross2(d, PlanePoint{-a.u, -a.v})) / length;
        return distance < 0.005f ? 2 : 0;
    }
    case 1: {
        if (!usable(rest.supportIndices[0])) return 0;
        PlanePoint a = plane(rest.contacts[rest.supportIndices[0]]);
        return std::sqrt(a.u * a.u + a.v * a.v) < 0.005f ? 1 : 0;
    }
    default: return 0;
    }
}

bool RbRigidBody::SupportsHeld() {
    if (!stackNode || stackNode->supportOnly) return false;
    if (rest.restMode != 2 && rest.restMode != 3) return false;
    for (int k = 0; k < rest.restMode; ++k) {
        int index = rest.supportIndices[k];
        if (index < 0 || index > 2) {
            rest.restMode = 0;
            return false;
        }
        RbRestContact& r = rest.contacts[index];
        if (r.state == 0) {
            rest.restMode = 0;
            return false;
        }
        r.Update();
        if (RbLengthSq(r.gap) > 0.002f) {
            r.Release();
            rest.restMode = 0;
            return false;
        }
    }
    return true;
}

bool RbRigidBody::AtRestPose() {
    if (stepsSinceSnapshot < 60) return false;
    float step = owner ? owner->GetStepLength() : 0.0f;
    float w = 1.0f / (60.0f * step);
    bool moved = false;
    if (std::sqrt(RbLengthSq(GetPosition() - snapshotPosition)) * w > restDriftLimit) {
        moved = true;
    } else if (std::sqrt(RbLengthSq(velocity - snapshotVelocity)) * w > 5.0f) {
        moved = true;
    } else {
        // Turn from the snapshot: the relative quaternion current x conj(snapshot).
        RbQuaternion conj{-snapshotOrientation.x, -snapshotOrientation.y, -snapshotOrientation.z,
                          snapshotOrientation.w};
        RbQuaternion rel = RbQuaternionMultiply(orientation, conj);
        float vectorSq = rel.x * rel.x + rel.y * rel.y + rel.z * rel.z;
        float angle = 0.0f;
        if (!(vectorSq < 1e-6f || std::fabs(rel.w - 1.0f) < 1e-6f)) {
            float c = rel.w > 1.0f ? 1.0f : (rel.w < -1.0f ? -1.0f : rel.w);
            angle = 2.0f * std::acos(c);
        }
        if (angle * w > 10.0f)
            moved = true;
        else if (std::sqrt(RbLengthSq(angularVelocity - snapshotAngularVelocity)) * w > 10.5f)
            moved = true;
    }
    if (moved) {
        TakeWakeSnapshot();
        return false;
    }
    return true;
}
