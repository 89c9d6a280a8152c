#include "Physics/RbCollide.h"
#include "Physics/RbSimulator.h"

// ---------------------------------------------------------------- small geometry

RbSegmentPoints RbSegmentClosestPoints(const RbVector& start1, const RbVector& end1, const RbVector& start2,
                                       const RbVector& end2) {
    RbSegmentPoints r;
    RbVector d1 = start1 - start2;
    RbVector e1 = end1 - start1;
    RbVector e2 = end2 - start2;
    auto tiny = [](const RbVector& v) {
        return std::fabs(v.x) < 1e-6f && std::fabs(v.y) < 1e-6f && std::fabs(v.z) < 1e-6f;
    };
    if (tiny(e1) || tiny(e2)) return r;
    float e1e2 = RbDot(e1, e2);
    float e1e1 = RbDot(e1, e1);
    float e2e2 = RbDot(e2, e2);
    float den = e1e1 * e2e2 - e1e2 * e1e2;
    if (!(std::fabs(den) >= 1e-6f)) return r;
    float e2d1 = RbDot(e2, d1);
    float e1d1 = RbDot(e1, d1);
    r.s = (e1e2 * e2d1 - e1d1 * e2e2) / den;
    r.t = (r.s * e1e2 + e2d1) / e2e2;
    r.point1 = start1 + e1 * r.s;
    r.point2 = start2 + e2 * r.t;
    r.distance = std::sqrt(RbLengthSq(r.point1 - r.point2));
    r.computed = 1;
    r.valid = (r.s >= 0.0f && r.s < 1.0f && r.t >= 0.0f && r.t < 1.0f) ? 1 : 0;
    return r;
}

void RbBoxCorners(const RbVector& c, const RbVector a[3], RbVector corners[8]) {
    int n = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) {
                RbVector p = c;
                p = i ? p - a[0] : p + a[0];
                p = j ? p - a[1] : p + a[1];
                p = k ? p - a[2] : p + a[2];
                corners[n++] = p;
            }
}

RbBox RbMakeBox(const RbGeometry& g, const RbMatrix& t) {
    RbBox b;
    b.c = RbPosition(t);
    for (int k = 0; k < 3; ++k) {
        b.u[k] = RbRow(t, k);
        b.u[k].w = 0.0f;
        b.h[k] = g.params[k];
        b.a[k] = b.u[k] * b.h[k];
    }
    return b;
}

// ---------------------------------------------------------------- box against box

namespace {

struct BoxBoxState {
    float best = 100000.0f;
    int found = 0;
    int edgeWon = 0;
    RbVector normal; // from B toward A
    RbVector pointA;
    RbVector pointB;
    RbVector edgeA1, edgeA2, edgeB1, edgeB2;
    RbVector edgeNormal; // from A toward B
};

// Face axis i of P against Q. pIsA tells which of the two boxes P is.
bool FaceTest(BoxBoxState& st, const RbBox& p, int i, const RbBox& q, bool pIsA) {
    RbVector n = p.u[i];
    float s = RbDot(q.c - p.c, n);
    if (s >= 0.0f)
        s = -s;
    else
        n = -n;
    float depth = s + p.h[i] + std::fabs(RbDot(q.a[0], n)) + std::fabs(RbDot(q.a[1], n)) + std::fabs(RbDot(q.a[2], n));
    if (depth <= 0.0f) return false;
    RbVector v = q.c;
    for (int k = 0; k < 3; ++k) v = RbDot(q.a[k], n) > 0.0f ? v - q.a[k] : v + q.a[k];
    bool replace;
    if (st.best <= depth + 0.0001f) {
        if (std::fabs(depth - st.best) >= 1e-6f) {
            replace = false;
        } else {
            static const int others[3][2] = {{1, 2}, {2, 0}, {0, 1}};
            RbVector rel = v - p.c;
            replace = true;
            for (int j : others[i])
                if (std::fabs(RbDot(rel, p.u[j])) > 1.001f * p.h[j]) replace = false;
        }
    } else {
        replace = true;
    }
    if (replace) {
        st.best = depth;
        st.found = 1;
        RbVector onP = v + n * depth;
        if (pIsA) {
            st.normal = -n;
            st.pointA = onP;
            st.pointB = v;
        } else {
            st.normal = n;
            st.pointB = onP;
            st.pointA = v;
        }
    }
    return true;
}

float L1(const RbVector& v) { return std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z); }

// The edge axis i x j, first on the raw cross product: every projection is
// linear in the axis, so the separation and the depth against the best so far
// are decided without a square root. Only an axis that is clearly apart returns
// at once and only one clearly shallower than the best is passed over; anything
// within rounding of either decision (and the winner) takes the normalised path
// below, so the result is the same, bit for bit, as testing every axis normalised.
// scale is the sum of the magnitudes whose rounding the normalised path suffers
// (centre offset and half sizes), so scale * |axis| bounds its error generously.
bool EdgeTest(BoxBoxState& st, const RbBox& A, int i, const RbBox& B, int j, float scale) {
    RbVector n = RbCross(A.u[i], B.u[j]);
    int p = (i + 1) % 3, q = (i + 2) % 3, r = (j + 1) % 3, t = (j + 2) % 3;
    float lenSq = RbLengthSq(n);
    if (lenSq > 1e-10f) {
        float scaled = -std::fabs(RbDot(B.c - A.c, n)) + std::fabs(RbDot(A.a[p], n)) + std::fabs(RbDot(A.a[q], n)) +
                       std::fabs(RbDot(B.a[r], n)) + std::fabs(RbDot(B.a[t], n));
        float slack = 1e-5f * scale * L1(n);
        if (scaled < -slack) return false;
        float margin = scaled - slack;
        if (margin > 0.0f && margin * margin > st.best * st.best * lenSq) return true;
    }
    if (RbLength(n) < 1e-6f) return true;
    n = RbNormalize(n);
    float s = RbDot(B.c - A.c, n);
    if (s >= 0.0f)
        s = -s;
    else
        n = -n;
    float sp = RbDot(A.a[p], n) > 0.0f ? 1.0f : -1.0f;
    float sq = RbDot(A.a[q], n) > 0.0f ? 1.0f : -1.0f;
    float sr = RbDot(B.a[r], n) > 0.0f ? 1.0f : -1.0f;
    float stt = RbDot(B.a[t], n) > 0.0f ? 1.0f : -1.0f;
    float depth = s + sp * RbDot(A.a[p], n) + sq * RbDot(A.a[q], n) + sr * RbDot(B.a[r], n) + stt * RbDot(B.a[t], n);
    if (depth <= 0.0f) return false;
    if (depth < st.best) {
        st.best = depth;
        RbVector eA = A.c + A.a[p] * sp + A.a[q] * sq;
        RbVector eB = B.c - B.a[r] * sr - B.a[t] * stt;
        st.edgeA1 = eA + A.a[i];
        st.edgeA2 = eA - A.a[i];
        st.edgeB1 = eB + B.a[j];
        st.edgeB2 = eB - B.a[j];
        st.edgeNormal = n;
        st.edgeWon = 1;
    }
    return true;
}

} // namespace

namespace {

// Whether axis k (as RbSeparatingAxis numbers a box pair's axes) overlaps; st
// gathers the deepest contact as the tests go.
bool BoxAxisOverlaps(BoxBoxState& st, const RbBox& A, const RbBox& B, int k, float scale) {
    if (k < 3) return FaceTest(st, A, k, B, true);
    if (k < 6) return FaceTest(st, B, k - 3, A, false);
    return EdgeTest(st, A, (k - 6) / 3, B, (k - 6) % 3, scale);
}

} // namespace

void RbTestBoxBox(RbContact& out, const RbGeometry& ga, const RbMatrix& ta, const RbGeometry& gb, const RbMatrix& tb,
                  RbSeparatingAxis* kept) {
    RbBox A = RbMakeBox(ga, ta);
    RbBox B = RbMakeBox(gb, tb);
    out.collided = 0;
    float scale = L1(B.c - A.c);
    for (int k = 0; k < 3; ++k) scale += A.h[k] + B.h[k];
    if (kept && kept->kind >= 0 && kept->kind < 15) {
        // Apart along the kept axis is apart: the full search would stop at some
        // axis too, with the same answer of no contact.
        BoxBoxState probe;
        if (!BoxAxisOverlaps(probe, A, B, kept->kind, scale)) return;
    }
    BoxBoxState st;
    for (int k = 0; k < 15; ++k)
        if (!BoxAxisOverlaps(st, A, B, k, scale)) {
            if (kept) kept->kind = k;
            return;
        }
    if (kept) kept->kind = RbSeparatingAxis::None;
    if (st.edgeWon) {
        // The edge axis gives the depth and the normal; its closest points replace
        // the face points only when they lie on both edges.
        RbSegmentPoints cp = RbSegmentClosestPoints(st.edgeA1, st.edgeA2, st.edgeB1, st.edgeB2);
        if (cp.valid) {
            st.pointA = cp.point1;
            st.pointB = cp.point2;
        }
        st.normal = -st.edgeNormal;
        st.found = 1;
    }
    out.collided = st.found;
    out.depth = st.best;
    out.normal = st.normal;
    out.offsetA = st.pointA;
    out.offsetB = st.pointB;
}

void RbSimulator::CollideBoxBox(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb) {
    RbTestBoxBox(out, *a, ta, *b, tb);
}

// ---------------------------------------------------------------- dispatch

namespace {

void Flip(RbContact& c) {
    c.normal = -c.normal;
    RbVector t = c.offsetA;
    c.offsetA = c.offsetB;
    c.offsetB = t;
    RbGeometry* g = c.geometryA;
    c.geometryA = c.geometryB;
    c.geometryB = g;
}

} // namespace

void RbSimulator::CollideShapes(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb,
                                const RbVector&) {
    switch (a->type) {
    case RbGeomBox:
        switch (b->type) {
        case RbGeomTriangle: RbTestBoxTriangle(out, *a, ta, *b, tb); return;
        case RbGeomBox: RbTestBoxBox(out, *a, ta, *b, tb, m_keptAxis); return;
        case RbGeomSphere: RbTestBoxSphere(out, *a, ta, *b, tb); return;
        case RbGeomCylinder: RbTestBoxCylinder(out, *a, ta, *b, tb); return;
        case RbGeomTriangleMesh: RbTestBoxMesh(out, *a, ta, *b); return;
        case RbGeomConvex: CollideConvex(out, a, ta, b, tb, m_keptAxis); return;
        default: return;
        }
    case RbGeomSphere:
        switch (b->type) {
        case RbGeomBox:
            RbTestBoxSphere(out, *b, tb, *a, ta);
            Flip(out);
            return;
        case RbGeomSphere: RbTestSphereSphere(out, *a, ta, *b, tb); return;
        case RbGeomCylinder:
            RbTestCylinderSphere(out, *b, tb, *a, ta);
            Flip(out);
            return;
        case RbGeomTriangleMesh: RbTestSphereMesh(out, *a, ta, *b); return;
        default: return;
        }
    case RbGeomCylinder:
        switch (b->type) {
        case RbGeomBox:
            RbTestBoxCylinder(out, *b, tb, *a, ta);
            Flip(out);
            return;
        case RbGeomSphere: RbTestCylinderSphere(out, *a, ta, *b, tb); return;
        case RbGeomCylinder: RbTestCylinderCylinder(out, *a, ta, *b, tb); return;
        case RbGeomTriangleMesh: RbTestCylinderMesh(out, *a, ta, *b); return;
        default: return;
        }
    case RbGeomConvex:
        switch (b->type) {
        case RbGeomBox:
            CollideConvex(out, b, tb, a, ta, m_keptAxis);
            Flip(out);
            return;
        case RbGeomConvex: CollideConvex(out, a, ta, b, tb, m_keptAxis); return;
        case RbGeomTriangleMesh: CollideConvexTriangles(out, a, ta, b); return;
        default: return;
        }
    default: return;
    }
}

static RbMatrix ShapeWorld(const RbGeometry* g, const RbMatrix& bodyTransform) {
    if (g->type == RbGeomTriangleMesh) return bodyTransform;
    return RbCompose(g->localTransform, bodyTransform);
}

void RbSimulator::CollideBodies(RbContact& out, RbBody* a, RbBody* b, const RbVector& hint) {
    out.collided = 0;
    // A pair's kept axis serves only a pair of single shapes.
    RbSeparatingAxis* kept = m_keptAxis;
    m_keptAxis = nullptr;
    if (a->geometryCount == 0 || b->geometryCount == 0) return;
    const RbMatrix& ta = a->transform;
    const RbMatrix& tb = b->transform;
    RbContact best;
    best.collided = 0;
    best.depth = 0.0f;
    RbContact current;

    auto test = [&](RbGeometry* ga, RbGeometry* gb) {
        current = RbContact{};
        CollideShapes(current, ga, ShapeWorld(ga, ta), gb, ShapeWorld(gb, tb), hint);
        if (current.collided && current.depth > best.depth) {
            best = current;
            best.geometryA = ga;
            best.geometryB = gb;
        }
    };

    if (a->geometryCount == 1 && b->geometryCount == 1) {
        m_keptAxis = kept;
        test(a->firstGeometry, b->firstGeometry);
        m_keptAxis = nullptr;
    } else {
        RbGeometry* boundA = a->kind == RbKindTerrain ? a->firstGeometry : &a->bounds;
        RbGeometry* boundB = b->kind == RbKindTerrain ? b->firstGeometry : &b->bounds;
        RbContact bound;
        CollideShapes(bound, boundA, ShapeWorld(boundA, ta), boundB, ShapeWorld(boundB, tb), hint);
        if (!bound.collided) return;
        if (a->geometryCount == 1) {
            for (RbGeometry* g = b->firstGeometry; g; g = g->next) test(a->firstGeometry, g);
        } else if (b->geometryCount == 1) {
            for (RbGeometry* g = a->firstGeometry; g; g = g->next) test(g, b->firstGeometry);
        } else {
            // Only shapes that touch the other body's box are paired.
            m_candidatesA.Clear();
            m_candidatesB.Clear();
            RbMatrix wb = ShapeWorld(boundB, tb);
            for (RbGeometry* g = a->firstGeometry; g; g = g->next) {
                current = RbContact{};
                CollideShapes(current, g, ShapeWorld(g, ta), boundB, wb, hint);
                if (current.collided) m_candidatesA.Push(g);
            }
            RbMatrix wa = ShapeWorld(boundA, ta);
            for (RbGeometry* g = b->firstGeometry; g; g = g->next) {
                current = RbContact{};
                CollideShapes(current, boundA, wa, g, ShapeWorld(g, tb), hint);
                if (current.collided) m_candidatesB.Push(g);
            }
            for (int i = 0; i < m_candidatesA.Size(); ++i)
                for (int j = 0; j < m_candidatesB.Size(); ++j) test(m_candidatesA[i], m_candidatesB[j]);
        }
    }
    if (!best.collided) return;

    out = best;
    out.pointA = best.offsetA;
    out.pointB = best.offsetB;
    out.offsetA = out.pointA - RbPosition(ta);
    out.offsetB = out.pointB - RbPosition(tb);
    out.axisA = RbInverseRotate(ta, out.offsetA);
    out.axisB = RbInverseRotate(tb, out.offsetB);
    out.materialA = out.geometryA->material;
    if (out.geometryB->type != RbGeomTriangleMesh && out.geometryB->type != RbGeomTriangle)
        out.materialB = out.geometryB->material;
}

// ---------------------------------------------------------------- line sensors

void RbSimulator::TestSensors(RbBody* sensorBody, RbBody* other) {
    if (!sensorBody->sensors || other->geometryCount == 0) return;
    // A body with exactly one shape is stood for by its bounding record (the
    // terrain by its triangle shape).
    bool single = other->geometryCount == 1;
    RbGeometry* first =
        single ? (other->kind == RbKindTerrain ? other->firstGeometry : &other->bounds) : other->firstGeometry;
    if (other->kind == RbKindTerrain && single && first->type == RbGeomTriangleMesh) {
        // Every sensor of the body reads the same answer: its triangles' boxes and
        // planes are worked out once for all of them, for this call only.
        m_sensorTriangles.Reset(first->meshCandidateCount);
        RbMatrix world = ShapeWorld(first, other->transform);
        for (RbSensor* sensor = sensorBody->sensors; sensor; sensor = sensor->next) {
            RbVector worldOrigin = RbTransformPoint(sensorBody->transform, sensor->origin);
            RbVector worldSegment = RbRotate(sensorBody->transform, sensor->segment);
            RbVector localOrigin = RbInverseTransformPoint(world, worldOrigin);
            RbVector localSegment = RbInverseRotate(world, worldSegment);
            RbSensorHit hit =
                RbSensorTestTriangles(localOrigin, localSegment, sensor->length, *first, m_sensorTriangles);
            if (hit.depth > 0.0f && hit.depth > sensor->hitDepth) {
                sensor->hitDepth = hit.depth;
                sensor->hitNormal = RbRotate(world, hit.normal);
                sensor->hitPoint = RbTransformPoint(world, hit.point);
            }
        }
        return;
    }
    for (RbSensor* sensor = sensorBody->sensors; sensor; sensor = sensor->next) {
        RbVector worldOrigin = RbTransformPoint(sensorBody->transform, sensor->origin);
        RbVector worldSegment = RbRotate(sensorBody->transform, sensor->segment);
        for (RbGeometry* g = first; g; g = single ? nullptr : g->next) {
            RbMatrix world = ShapeWorld(g, other->transform);
            RbVector localOrigin = RbInverseTransformPoint(world, worldOrigin);
            RbVector localSegment = RbInverseRotate(world, worldSegment);
            RbSensorHit hit = RbSensorTestGeometry(localOrigin, localSegment, sensor->length, *g);
            if (hit.depth > 0.0f && hit.depth > sensor->hitDepth) {
                sensor->hitDepth = hit.depth;
                sensor->hitNormal = RbRotate(world, hit.normal);
                sensor->hitPoint = RbTransformPoint(world, hit.point);
            }
        }
    }
}
