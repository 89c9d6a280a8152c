// Contact tests of primitive shape pairs (spheres, boxes, cylinders, triangles and
// triangle meshes) and the line-sensor test, as declared in RbCollide.h.

#include "Physics/RbCollide.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Slot {
    RbVector pointA;
    RbVector pointB;
    RbVector normal;
    float depth = 0.0f;
    int hit = 0;
};

void Finish(RbContact& out, const Slot& s) {
    out.collided = s.hit;
    if (!s.hit) return;
    out.depth = s.depth;
    out.normal = s.normal;
    out.offsetA = s.pointA;
    out.offsetB = s.pointB;
}

void Record(Slot& s, float depth, const RbVector& a, const RbVector& b, const RbVector& n) {
    s.depth = depth;
    s.pointA = a;
    s.pointB = b;
    s.normal = n;
    s.hit = 1;
}

float RawLength(const RbVector& v) { return std::sqrt(RbLengthSq(v)); }

bool AllTiny(const RbVector& v) { return std::fabs(v.x) < 1e-6f && std::fabs(v.y) < 1e-6f && std::fabs(v.z) < 1e-6f; }

struct Capsule {
    RbVector c;
    RbVector u;
    float r;
    float h;
};

Capsule MakeCapsule(const RbGeometry& g, const RbMatrix& t) {
    Capsule cap;
    cap.c = RbPosition(t);
    cap.u = RbRow(t, 1);
    cap.u.w = 0.0f;
    cap.r = g.params[0];
    cap.h = g.params[2];
    return cap;
}

// Reads a triangle of a mesh answer; false when its indices are unusable.
bool MeshTriangle(const RbGeometry& mesh, int candidate, RbTriangleData& data, const RbTriangle*& triangle) {
    if (!mesh.meshCandidates || !mesh.meshTriangles || !mesh.meshVertices) return false;
    int index = mesh.meshCandidates[candidate];
    if (index < 0 || index >= mesh.meshTriangleCount) return false;
    triangle = &mesh.meshTriangles[index];
    for (int32_t v : triangle->vertex)
        if (v < 0) return false;
    RbBuildTriangle(data, mesh.meshVertices[triangle->vertex[0]], mesh.meshVertices[triangle->vertex[1]],
                    mesh.meshVertices[triangle->vertex[2]]);
    return true;
}

bool InsideTriangle(const RbTriangleData& tri, const RbVector& p) { return RbClassifyInTriangle(tri, p) == -1; }

// True when a candidate triangle lies wholly to one side of the box on some axis.
// Candidates that cannot be read are left to MeshTriangle to refuse.
bool TriangleOutsideBox(const RbGeometry& mesh, int candidate, const RbVector& lo, const RbVector& hi) {
    if (!mesh.meshCandidates || !mesh.meshTriangles || !mesh.meshVertices) return false;
    int index = mesh.meshCandidates[candidate];
    if (index < 0 || index >= mesh.meshTriangleCount) return false;
    const RbTriangle& t = mesh.meshTriangles[index];
    if (t.vertex[0] < 0 || t.vertex[1] < 0 || t.vertex[2] < 0) return false;
    const RbVector& a = mesh.meshVertices[t.vertex[0]];
    const RbVector& b = mesh.meshVertices[t.vertex[1]];
    const RbVector& c = mesh.meshVertices[t.vertex[2]];
    // Axis by axis, written out: selecting a component by index cost more than
    // the comparisons.
    return (a.x < lo.x && b.x < lo.x && c.x < lo.x) || (a.x > hi.x && b.x > hi.x && c.x > hi.x) ||
           (a.y < lo.y && b.y < lo.y && c.y < lo.y) || (a.y > hi.y && b.y > hi.y && c.y > hi.y) ||
           (a.z < lo.z && b.z < lo.z && c.z < lo.z) || (a.z > hi.z && b.z > hi.z && c.z > hi.z);
}

} // namespace

void RbBuildTriangle(RbTriangleData& tri, const RbVector& a, const RbVector& b, const RbVector& c) {
    tri.v[0] = a;
    tri.v[1] = b;
    tri.v[2] = c;
    tri.e[0] = b - a;
    tri.e[1] = c - b;
    tri.e[2] = a - c;
    tri.n = RbNormalize(RbCross(tri.e[0], tri.e[1]));
    tri.d = RbDot(tri.n, a);
}

int RbClassifyInTriangle(const RbTriangleData& tri, const RbVector& p) {
    const RbVector& n = tri.n;
    int u, v;
    float dropped;
    if (std::fabs(n.z) >= std::fabs(n.y) && std::fabs(n.z) > std::fabs(n.x)) {
        u = 0;
        v = 1;
        dropped = n.z;
    } else if (std::fabs(n.y) > std::fabs(n.z) && std::fabs(n.y) > std::fabs(n.x)) {
        u = 2;
        v = 0;
        dropped = n.y;
    } else {
        u = 1;
        v = 2;
        dropped = n.x;
    }
    bool positive[3];
    for (int k = 0; k < 3; ++k) {
        const RbVector& e = tri.e[k];
        const RbVector& s = tri.v[k];
        float c = RbComp(e, u) * (RbComp(p, v) - RbComp(s, v)) - RbComp(e, v) * (RbComp(p, u) - RbComp(s, u));
        positive[k] = c > 0.0f;
    }
    if ((!positive[0] && !positive[1] && !positive[2]) || (positive[0] && positive[1] && positive[2])) return -1;
    int result;
    if (!positive[0] && positive[1] && positive[2])
        result = 1;
    else if (positive[0] && !positive[1] && positive[2])
        result = 3;
    else if (positive[0] && positive[1] && !positive[2])
        result = 5;
    else if (!positive[0] && positive[1] && !positive[2])
        result = 0;
    else if (!positive[0] && !positive[1] && positive[2])
        result = 2;
    else
        result = 4;
    if (dropped <= 0.0f) result = (result + 3) % 6;
    return result;
}

// ---------------------------------------------------------------- spheres

void RbTestSphereSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                        const RbMatrix& tb) {
    out.collided = 0;
    RbVector ca = RbPosition(ta), cb = RbPosition(tb);
    float ra = a.params[0], rb = b.params[0];
    RbVector d = ca - cb;
    float sq = RbLengthSq(d);
    if (sq >= (ra + rb) * (ra + rb) || sq < 1e-6f) return;
    float len = std::sqrt(sq);
    RbVector n = d * (1.0f / len);
    out.collided = 1;
    out.depth = ra + rb - len;
    out.normal = n;
    out.offsetA = ca - n * ra;
    out.offsetB = cb + n * rb;
}

void RbTestBoxSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b, const RbMatrix& tb) {
    out.collided = 0;
    RbVector centre = RbPosition(tb);
    float r = b.params[0];
    float r2 = b.params[1];
    RbVector c = RbInverseTransformPoint(ta, centre);
    float h[3] = {a.params[0], a.params[1], a.params[2]};
    float s[3], e[3];
    int outside = 0, inside = -1, outAxis = -1;
    for (int i = 0; i < 3; ++i) {
        float ci = RbComp(c, i);
        s[i] = ci >= 0.0f ? 1.0f : -1.0f;
        e[i] = s[i] * ci - h[i];
        if (e[i] >= 0.0f) {
            ++outside;
            outAxis = i;
        } else {
            inside = i;
        }
    }
    auto faceResult = [&](int i, float depth) {
        RbVector local;
        RbSetComp(local, i, -s[i]);
        RbVector n = RbRotate(ta, local);
        RbVector pb = centre + n * r;
        out.collided = 1;
        out.depth = depth;
        out.normal = n;
        out.offsetB = pb;
        out.offsetA = pb - n * depth;
    };
    auto insideResult = [&]() {
        // How far the centre lies inside each face pair: the sphere leaves through
        // the nearest face, by its radius plus that distance.
        float p[3];
        for (int i = 0; i < 3; ++i) p[i] = -e[i];
        int i;
        if (p[0] < p[1] && p[0] < p[2])
            i = 0;
        else if (p[0] >= p[1] && p[1] < p[2])
            i = 1;
        else
            i = 2;
        faceResult(i, r + p[i]);
    };
    if (outside >= 2) {
        RbVector q = c;
        for (int i = 0; i < 3; ++i)
            if (i != inside || outside == 3) RbSetComp(q, i, s[i] * h[i]);
        RbVector d = q - c;
        if (RbLengthSq(d) > r2) return;
        float len = RbLength(d);
        if (len == 0.0f) {
            // Centre on an edge or corner: the face of least penetration.
            insideResult();
            return;
        }
        RbVector n = RbRotate(ta, d * (1.0f / len));
        out.collided = 1;
        out.depth = r - len;
        out.normal = n;
        out.offsetA = RbTransformPoint(ta, q);
        out.offsetB = centre + n * r;
        return;
    }
    if (outside == 1) {
        float depth = h[outAxis] + r - s[outAxis] * RbComp(c, outAxis);
        if (depth > 0.0f) faceResult(outAxis, depth);
        return;
    }
    insideResult();
}

void RbTestCylinderSphere(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                          const RbMatrix& tb) {
    out.collided = 0;
    Capsule cyl = MakeCapsule(a, ta);
    RbVector sc = RbPosition(tb);
    float rs = b.params[0];
    RbVector bottom = cyl.c - cyl.u * cyl.h;
    RbVector top = cyl.c + cyl.u * cyl.h;
    float t = RbDot(cyl.u, sc - bottom);
    float reach = cyl.r + rs;
    if (!(t > -reach && t < reach + 2.0f * cyl.h)) return;
    RbVector q = t > 2.0f * cyl.h ? top : (t < 0.0f ? bottom : bottom + cyl.u * t);
    RbVector d = q - sc;
    float len = RawLength(d);
    if (!(len < reach)) return;
    RbVector n = len < 1e-6f ? RbVector{ta.m[0][0], ta.m[0][1], ta.m[0][2], 0.0f} : d * (1.0f / len);
    out.collided = 1;
    out.depth = reach - len;
    out.normal = n;
    out.offsetA = q - n * cyl.r;
    out.offsetB = sc + n * rs;
}

// ---------------------------------------------------------------- box against cylinder

void RbSegmentBoxClosest(const RbVector& start, const RbVector& end, const RbVector& halfSizes, RbVector& boxPoint,
                         RbVector& segmentPoint) {
    enum { Below, Inside, Above };
    float P[3], D[3], h[3], t[3];
    int state[3];
    bool moving[3];
    for (int i = 0; i < 3; ++i) {
        P[i] = RbComp(start, i);
        D[i] = RbComp(end, i) - P[i];
        h[i] = RbComp(halfSizes, i);
        if (D[i] < 0.0f) {
            P[i] = -P[i];
            D[i] = -D[i];
        }
        moving[i] = D[i] > 0.0f;
        if (!moving[i]) {
            state[i] = Inside;
            t[i] = 0.0f;
        } else if (P[i] < -h[i]) {
            state[i] = Below;
            t[i] = (-h[i] - P[i]) / D[i];
        } else if (P[i] <= h[i]) {
            state[i] = Inside;
            t[i] = (h[i] - P[i]) / D[i];
        } else {
            state[i] = Above;
            t[i] = (h[i] - P[i]) / D[i];
        }
    }
    auto g = [&](float at) {
        float sum = 0.0f;
        for (int i = 0; i < 3; ++i)
            if (moving[i] && state[i] != Inside) sum += D[i] * D[i] * (at - t[i]);
        return sum;
    };
    float param;
    if (g(0.0f) >= 0.0f) {
        param = 0.0f;
    } else {
        float at = 0.0f;
        param = 1.0f;
        for (int guard = 0; guard < 8; ++guard) {
            float next = 1.0f;
            for (int i = 0; i < 3; ++i)
                if (moving[i] && state[i] != Above && t[i] > at && t[i] < next) next = t[i];
            float gn = g(next);
            if (gn >= 0.0f) {
                float gt = g(at);
                float den = gn - gt;
                param = den != 0.0f ? at - gt * (next - at) / den : next;
                break;
            }
            for (int i = 0; i < 3; ++i) {
                if (!moving[i] || t[i] != next || state[i] == Above) continue;
                state[i] = state[i] == Below ? Inside : Above;
                t[i] = (h[i] - P[i]) / D[i];
            }
            at = next;
            if (!(next < 1.0f)) {
                param = 1.0f;
                break;
            }
        }
    }
    segmentPoint = start + (end - start) * param;
    for (int i = 0; i < 3; ++i) {
        float v = RbComp(segmentPoint, i);
        if (v < -h[i]) v = -h[i];
        if (v > h[i]) v = h[i];
        RbSetComp(boxPoint, i, v);
    }
}

void RbTestBoxCylinder(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                       const RbMatrix& tb) {
    out.collided = 0;
    Capsule cyl = MakeCapsule(b, tb);
    RbVector h = RbVec(a.params[0], a.params[1], a.params[2]);
    RbVector start = RbInverseTransformPoint(ta, cyl.c - cyl.u * cyl.h);
    RbVector end = RbInverseTransformPoint(ta, cyl.c + cyl.u * cyl.h);
    RbVector boxLocal, segmentLocal;
    RbSegmentBoxClosest(start, end, h, boxLocal, segmentLocal);
    RbVector bw = RbTransformPoint(ta, boxLocal);
    RbVector aw = RbTransformPoint(ta, segmentLocal);
    RbVector d = bw - aw;
    float len = RbLength(d);
    if (len > cyl.r) return;
    if (len == 0.0f) {
        // The axis pierces the box: the box leaves along the face direction that
        // needs the least travel to clear the whole capsule, so the contact keeps a
        // finite normal.
        int bestAxis = 0;
        float bestSign = 1.0f;
        float bestTravel = 0.0f;
        for (int i = 0; i < 3; ++i) {
            float p = RbComp(start, i), q = RbComp(end, i), hi = RbComp(h, i);
            float cmin = (p < q ? p : q) - cyl.r, cmax = (p < q ? q : p) + cyl.r;
            float up = cmax + hi, down = hi - cmin;
            if (i == 0 || up < bestTravel) {
                bestAxis = i;
                bestSign = 1.0f;
                bestTravel = up;
            }
            if (down < bestTravel) {
                bestAxis = i;
                bestSign = -1.0f;
                bestTravel = down;
            }
        }
        RbVector local;
        RbSetComp(local, bestAxis, bestSign);
        RbVector n = RbRotate(ta, local);
        RbVector pb = aw + n * cyl.r;
        out.collided = 1;
        out.depth = bestTravel;
        out.normal = n;
        out.offsetB = pb;
        out.offsetA = pb - n * bestTravel;
        return;
    }
    RbVector n = d * (1.0f / len);
    out.collided = 1;
    out.depth = cyl.r - len;
    out.normal = n;
    out.offsetA = bw;
    out.offsetB = aw + n * cyl.r;
}

// ---------------------------------------------------------------- cylinder against cylinder

void RbTestCylinderCylinder(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                            const RbMatrix& tb) {
    out.collided = 0;
    Capsule A = MakeCapsule(a, ta);
    Capsule B = MakeCapsule(b, tb);
    float reach = A.r + B.r;
    RbVector a1 = A.c + A.u * A.h, a2 = A.c - A.u * A.h;
    RbVector b1 = B.c + B.u * B.h, b2 = B.c - B.u * B.h;
    RbVector cross = RbCross(A.u, B.u);
    if (RawLength(cross) >= 1e-6f) {
        RbSegmentPoints cp = RbSegmentClosestPoints(a1, a2, b1, b2);
        if (cp.valid) {
            float depth = reach - cp.distance;
            if (depth <= 0.0f) return;
            RbVector n;
            if (cp.distance < 1e-6f) {
                // Crossing axes: separate along their common perpendicular.
                n = RbNormalize(cross);
                if (RbDot(n, A.c - B.c) < 0.0f) n = -n;
            } else {
                n = (cp.point1 - cp.point2) * (1.0f / cp.distance);
            }
            out.collided = 1;
            out.depth = depth;
            out.normal = n;
            out.offsetA = cp.point1 - n * A.r;
            out.offsetB = cp.point2 + n * B.r;
            return;
        }
    }
    float bestDepth = -1000000.0f;
    RbVector bestA, bestB;
    bool aligned = false;
    RbVector alignedAxis;
    // An end of X against the axis of Y; the A-side point and B-side point come back.
    auto tryEnd = [&](const RbVector& end, const Capsule& other, bool endIsA) {
        RbVector lower = other.c - other.u * other.h;
        RbVector upper = other.c + other.u * other.h;
        float axial = RbDot(other.u, end - lower);
        RbVector onOther;
        if (axial >= 0.0f && axial <= 2.0f * other.h)
            onOther = lower + other.u * axial;
        else
            onOther = axial < 0.0f ? lower : upper;
        float depth = reach - RawLength(end - onOther);
        if (depth > 0.0f && depth > bestDepth) {
            bestDepth = depth;
            bestA = endIsA ? end : onOther;
            bestB = endIsA ? onOther : end;
            alignedAxis = other.u;
            aligned = true;
        }
    };
    tryEnd(a1, B, true);
    tryEnd(a2, B, true);
    tryEnd(b1, A, false);
    tryEnd(b2, A, false);
    if (!aligned) return;
    RbVector n = RbNormalize(bestA - bestB);
    if (RbLengthSq(n) == 0.0f) {
        // Ends meeting on the axis line: separate along the axis.
        n = alignedAxis;
        if (RbDot(n, A.c - B.c) < 0.0f) n = -n;
    }
    out.collided = 1;
    out.depth = bestDepth;
    out.normal = n;
    out.offsetA = bestA - n * A.r;
    out.offsetB = bestB + n * B.r;
}

// ---------------------------------------------------------------- triangles

namespace {

void SphereTriangle(Slot& slot, const RbVector& c, float r, const RbTriangleData& tri) {
    slot.depth = 100000.0f;
    slot.hit = 0;
    // One-sided, as the box test: the centre may lie behind the plane by less than
    // the radius, and every normal must point out of the front.
    float s = RbDot(tri.n, c) - tri.d;
    if (r - s <= 0.0f || s <= -r) return;
    RbVector q = c - tri.n * s;
    int region = RbClassifyInTriangle(tri, q);
    if (region == -1) {
        RbVector n = tri.n;
        Record(slot, r - s, c - n * r, q, n);
    } else if (region % 2 == 0) {
        const RbVector& vk = tri.v[region / 2];
        float dist = RawLength(c - vk);
        if (r - dist > 0.0f && dist >= 1e-6f && RbDot(c - vk, tri.n) > 0.0f) {
            RbVector n = (c - vk) * (1.0f / dist);
            Record(slot, r - dist, c - n * r, vk, n);
        }
    } else {
        int k = (region - 1) / 2;
        float edgeLength = RawLength(tri.e[k]);
        if (edgeLength < 1e-6f) return;
        RbVector e = tri.e[k] * (1.0f / edgeLength);
        float t = RbDot(c - tri.v[k], e);
        if (!(t > 0.0f && t < edgeLength)) return;
        RbVector f = tri.v[k] + e * t;
        float dist = RawLength(c - f);
        float depth = r - dist;
        if (depth > 0.0f && depth < slot.depth && depth < r && dist >= 1e-6f && RbDot(c - f, tri.n) > 0.0f) {
            RbVector n = (c - f) * (1.0f / dist);
            Record(slot, depth, c - n * r, f, n);
        }
    }
}

void CylinderTriangle(Slot& slot, const Capsule& cyl, const RbTriangleData& tri) {
    slot.depth = 1000000.0f;
    slot.hit = 0;
    // One-sided (see the box test): pushed out of the front only, and not touching
    // when wholly behind the plane.
    float s = RbDot(tri.n, cyl.c) - tri.d;
    RbVector np = -tri.n;
    if (cyl.r + cyl.h <= s) return;
    RbVector uh = cyl.u * cyl.h;
    float along = RbDot(uh, np);
    if (s <= -(cyl.r + std::fabs(along))) return;
    RbVector deepest = (along > 0.0f ? cyl.c + uh : cyl.c - uh) + np * cyl.r;
    float depth = cyl.r - s + std::fabs(along);
    if (depth <= 0.0f) return;
    if (depth < slot.depth) {
        RbVector onPlane = deepest - np * depth;
        RbVector ray = deepest - cyl.c;
        float den = RbDot(tri.n, ray);
        bool lineInside = false;
        if (den != 0.0f) {
            float lambda = (tri.d - RbDot(tri.n, cyl.c)) / den;
            lineInside = InsideTriangle(tri, cyl.c + ray * lambda);
        }
        if (lineInside && InsideTriangle(tri, onPlane)) {
            Record(slot, depth, deepest, onPlane, -np);
            return;
        }
    }
    slot.depth = 1000000.0f;
    slot.hit = 0;
    RbVector axisStart = cyl.c + uh, axisEnd = cyl.c - uh;
    for (int k = 0; k < 3; ++k) {
        const RbVector& P = tri.v[k];
        const RbVector& Q = tri.v[(k + 1) % 3];
        RbSegmentPoints cp = RbSegmentClosestPoints(axisStart, axisEnd, P, Q);
        if (!cp.computed) continue;
        float d = cyl.r - cp.distance;
        if (d <= 0.0f || !(d < slot.depth)) continue;
        if (cp.valid) {
            RbVector n = RbNormalize(RbCross(Q - P, cyl.u));
            if (RbLengthSq(n) == 0.0f) continue;
            if (RbDot(n, cp.point1 - cp.point2) < 0.0f) n = -n;
            if (!(RbDot(n, tri.n) > 0.0f)) continue;
            Record(slot, d, cp.point1 - n * cyl.r, cp.point2, n);
            continue;
        }
        if (cp.s > 0.0f && cp.s < 1.0f) {
            RbVector Y = cp.t > 0.0f ? Q : P;
            RbVector f = cyl.c + cyl.u * RbDot(Y - cyl.c, cyl.u);
            float dist = RawLength(Y - f);
            float depthY = cyl.r - dist;
            if (depthY > 0.0f && depthY < slot.depth && dist >= 1e-6f && RbDot(f - Y, tri.n) > 0.0f) {
                RbVector n = (f - Y) * (1.0f / dist);
                Record(slot, depthY, f - n * cyl.r, Y, n);
            }
            continue;
        }
        RbVector X = cp.s <= 0.0f ? axisStart : axisEnd;
        if (cp.t > 0.0f && cp.t < 1.0f) {
            RbVector e = Q - P;
            RbVector g = P + e * (RbDot(X - P, e) / RbDot(e, e));
            float dist = RawLength(X - g);
            float depthX = cyl.r - dist;
            if (depthX > 0.0f && depthX < slot.depth && dist >= 1e-6f && RbDot(X - g, tri.n) > 0.0f) {
                RbVector n = (X - g) * (1.0f / dist);
                Record(slot, depthX, X - n * cyl.r, g, n);
            }
            continue;
        }
        RbVector Y = cp.t <= 0.0f ? P : Q;
        float sq = RbLengthSq(X - Y);
        if (sq >= cyl.r * cyl.r) continue;
        float dist = std::sqrt(sq);
        float depthY = cyl.r - dist;
        if (depthY < slot.depth && dist >= 1e-6f && RbDot(X - Y, tri.n) > 0.0f) {
            RbVector n = (X - Y) * (1.0f / dist);
            Record(slot, depthY, X - n * cyl.r, Y, n);
        }
    }
}

// A terrain triangle is one-sided: a shape is only ever pushed out of its front
// (the side its normal faces), and a shape wholly behind its plane is not touching
// it. Two-sided, a body whose centre has passed the plane of one triangle of a
// landing took a normal pointing into the ground and was pushed further down.
void BoxTriangle(Slot& slot, const RbBox& box, const RbTriangleData& tri, bool oneSided = false) {
    slot.depth = 100000.0f;
    slot.hit = 0;
    // 1. The triangle's normal.
    float s = RbDot(tri.n, box.c) - tri.d;
    RbVector m = (s >= 0.0f || oneSided) ? tri.n : -tri.n;
    float extent = std::fabs(RbDot(box.a[0], m)) + std::fabs(RbDot(box.a[1], m)) + std::fabs(RbDot(box.a[2], m));
    if (oneSided && s <= -extent) return;
    float depth = oneSided ? extent - s : extent - std::fabs(s);
    if (depth < 0.0f) return;
    RbVector v = box.c;
    for (int k = 0; k < 3; ++k) v = RbDot(box.a[k], m) > 0.0f ? v - box.a[k] : v + box.a[k];
    Record(slot, depth, v, v + m * depth, m);
    // 2. The box's axes.
    for (int i = 0; i < 3; ++i) {
        float proj[3];
        for (int k = 0; k < 3; ++k) proj[k] = RbDot(tri.v[k], box.u[i]);
        int minIndex = 0, maxIndex = 0;
        for (int k = 1; k < 3; ++k) {
            if (proj[k] < proj[minIndex]) minIndex = k;
            if (proj[k] > proj[maxIndex]) maxIndex = k;
        }
        float centre = RbDot(box.c, box.u[i]);
        float lo = centre - box.h[i], hi = centre + box.h[i];
        if (proj[minIndex] >= hi || proj[maxIndex] <= lo) {
            slot.hit = 0;
            return;
        }
        float oLo = proj[maxIndex] - lo, oHi = hi - proj[minIndex];
        if (oneSided) {
            // Only a direction out of the front may carry the contact.
            float facing = RbDot(box.u[i], tri.n);
            if (!(facing > 0.0f)) oLo = 100000.0f;
            if (!(facing < 0.0f)) oHi = 100000.0f;
        }
        float d;
        RbVector n, w;
        if (oLo <= oHi) {
            d = oLo;
            n = box.u[i];
            w = tri.v[maxIndex];
        } else {
            d = oHi;
            n = -box.u[i];
            w = tri.v[minIndex];
        }
        if (d < slot.depth) Record(slot, d, w, w + n * d, n);
    }
    // 3. Box axis against triangle edge.
    float edgeDepth = slot.depth;
    bool edgeFound = false;
    RbVector edgeNormal, boxEdge1, boxEdge2, triEdge1, triEdge2;
    // Each edge direction serves all three box axes.
    RbVector edges[3];
    bool usable[3];
    for (int k = 0; k < 3; ++k) {
        usable[k] = !AllTiny(tri.e[k]);
        if (usable[k]) edges[k] = RbNormalize(tri.e[k]);
    }
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (!usable[k]) continue;
            const RbVector& e = edges[k];
            // Nearly parallel edges give no axis: the normalised cross product is
            // zero there, and a zero axis reads as a gap, so the box was taken for
            // apart from a triangle it had sunk into.
            RbVector axis = RbNormalize(RbCross(box.u[i], e));
            if (AllTiny(axis)) continue;
            int p = (i + 1) % 3, q = (i + 2) % 3;
            float dp = RbDot(box.a[p], axis), dq = RbDot(box.a[q], axis);
            float sp = dp >= 0.0f ? 1.0f : -1.0f, sq = dq >= 0.0f ? 1.0f : -1.0f;
            float pc = RbDot(box.c, axis);
            float extent = std::fabs(dp) + std::fabs(dq);
            float lo = pc - extent, hi = pc + extent;
            float t1 = RbDot(tri.v[k], axis);
            float t2 = RbDot(tri.v[(k + 2) % 3], axis);
            float mn = t1 < t2 ? t1 : t2, mx = t1 < t2 ? t2 : t1;
            if (mn >= hi || mx <= lo) {
                slot.hit = 0;
                return;
            }
            float d;
            RbVector n, b;
            if (t1 <= t2) {
                d = hi - t1;
                n = -axis;
                b = box.c + box.a[p] * sp + box.a[q] * sq;
            } else {
                d = t1 - lo;
                n = axis;
                b = box.c - box.a[p] * sp - box.a[q] * sq;
            }
            if (oneSided && !(RbDot(n, tri.n) > 0.0f)) continue;
            if (d < edgeDepth) {
                edgeDepth = d;
                edgeNormal = n;
                edgeFound = true;
                boxEdge1 = b + box.a[i];
                boxEdge2 = b - box.a[i];
                triEdge1 = tri.v[k];
                triEdge2 = tri.v[(k + 1) % 3];
            }
        }
    }
    if (edgeFound) {
        RbSegmentPoints cp = RbSegmentClosestPoints(boxEdge1, boxEdge2, triEdge1, triEdge2);
        if (cp.valid) Record(slot, edgeDepth, cp.point1, cp.point2, edgeNormal);
    }
}

void BoxTriangleVertical(Slot& slot, const RbVector corners[8], const RbTriangleData& tri) {
    slot.depth = 0.0f;
    slot.hit = 0;
    if (tri.n.y == 0.0f) return;
    float best = 0.0f;
    for (int i = 0; i < 8; ++i) {
        const RbVector& p = corners[i];
        float c[3];
        for (int k = 0; k < 3; ++k) c[k] = tri.e[k].x * (p.z - tri.v[k].z) - tri.e[k].z * (p.x - tri.v[k].x);
        bool inside = (c[0] >= 0.0f && c[1] >= 0.0f && c[2] >= 0.0f) || (c[0] <= 0.0f && c[1] <= 0.0f && c[2] <= 0.0f);
        if (!inside) continue;
        float y = (tri.d - tri.n.x * p.x - tri.n.z * p.z) / tri.n.y;
        float diff = y - p.y;
        if (diff > 0.0f && diff > best) {
            best = diff;
            RbVector onTriangle = p;
            onTriangle.y = y;
            Record(slot, diff, p, onTriangle, tri.n);
        }
    }
}

template <class PerTriangle>
void MeshTest(RbContact& out, const RbGeometry& mesh, bool boxMaterial, int allowedModes, const RbVector& lo,
              const RbVector& hi, PerTriangle&& test) {
    out.collided = 0;
    Slot slots[2];
    Slot* best = &slots[0];
    Slot* current = &slots[1];
    best->depth = -1000000.0f;
    best->hit = 0;
    int material = 0;
    for (int i = 0; i < mesh.meshCandidateCount; ++i) {
        // A triangle wholly beside the shape's world box cannot touch it; passing it
        // over here spares building its plane. The vertical test (mode 1) reaches
        // beyond the box, so only mode 0 triangles are passed over.
        if (TriangleOutsideBox(mesh, i, lo, hi)) {
            int index = mesh.meshCandidates[i];
            if (mesh.meshTriangles[index].testMode == 0) continue;
        }
        RbTriangleData tri;
        const RbTriangle* triangle = nullptr;
        if (!MeshTriangle(mesh, i, tri, triangle)) continue;
        int mode = triangle->testMode;
        if (mode != 0 && !(mode == 1 && allowedModes > 1)) continue;
        test(*current, tri, mode);
        if (current->hit && current->depth > best->depth) {
            Slot* t = best;
            best = current;
            current = t;
            material = boxMaterial ? triangle->boxMaterial : triangle->material;
        }
    }
    Finish(out, *best);
    if (best->hit) out.materialB = material;
}

} // namespace

void RbTestSphereMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh) {
    RbVector c = RbPosition(ta);
    float r = a.params[0];
    RbVector reach = RbVec(r, r, r);
    MeshTest(out, mesh, false, 1, c - reach, c + reach,
             [&](Slot& slot, const RbTriangleData& tri, int) { SphereTriangle(slot, c, r, tri); });
}

void RbTestCylinderMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh) {
    Capsule cyl = MakeCapsule(a, ta);
    RbVector reach = RbVec(std::fabs(cyl.u.x) * cyl.h + cyl.r, std::fabs(cyl.u.y) * cyl.h + cyl.r,
                           std::fabs(cyl.u.z) * cyl.h + cyl.r);
    MeshTest(out, mesh, false, 1, cyl.c - reach, cyl.c + reach,
             [&](Slot& slot, const RbTriangleData& tri, int) { CylinderTriangle(slot, cyl, tri); });
}

void RbTestBoxMesh(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& mesh) {
    RbBox box = RbMakeBox(a, ta);
    RbVector corners[8];
    bool cornersReady = false;
    RbVector reach;
    for (int k = 0; k < 3; ++k)
        RbSetComp(reach, k,
                  std::fabs(RbComp(box.a[0], k)) + std::fabs(RbComp(box.a[1], k)) + std::fabs(RbComp(box.a[2], k)));
    MeshTest(out, mesh, true, 2, box.c - reach, box.c + reach, [&](Slot& slot, const RbTriangleData& tri, int mode) {
        if (mode == 0) {
            BoxTriangle(slot, box, tri, true);
            return;
        }
        if (!cornersReady) {
            RbBoxCorners(box.c, box.a, corners);
            cornersReady = true;
        }
        BoxTriangleVertical(slot, corners, tri);
    });
}

void RbTestBoxTriangle(RbContact& out, const RbGeometry& a, const RbMatrix& ta, const RbGeometry& b,
                       const RbMatrix& tb) {
    out.collided = 0;
    if (!b.meshTriangles || !b.meshVertices || b.meshTriangleCount < 1) return;
    const RbTriangle& t = b.meshTriangles[0];
    for (int32_t v : t.vertex)
        if (v < 0) return;
    RbTriangleData tri;
    RbBuildTriangle(tri, RbTransformPoint(tb, b.meshVertices[t.vertex[0]]),
                    RbTransformPoint(tb, b.meshVertices[t.vertex[1]]),
                    RbTransformPoint(tb, b.meshVertices[t.vertex[2]]));
    Slot slot;
    BoxTriangle(slot, RbMakeBox(a, ta), tri);
    Finish(out, slot);
    if (slot.hit) out.materialB = t.boxMaterial;
}

// ---------------------------------------------------------------- line sensors

namespace {

// The segment's box: a triangle wholly outside it cannot be hit, and skipping it
// spares building its plane (a square root and a division).
void SegmentBox(const RbVector& o, const RbVector& s, RbVector& segMin, RbVector& segMax) {
    for (int k = 0; k < 3; ++k) {
        float a = RbComp(o, k), b = a + RbComp(s, k);
        float slack = 1e-5f * (std::fabs(a) + std::fabs(b) + 1.0f);
        RbSetComp(segMin, k, (a < b ? a : b) - slack);
        RbSetComp(segMax, k, (a < b ? b : a) + slack);
    }
}

// The segment against one triangle; the deepest hit is kept, equal depths going to
// the later triangle.
void SegmentTriangle(const RbVector& o, const RbVector& s, float length, const RbTriangleData& tri, RbSensorHit& hit) {
    float den = RbDot(tri.n, s);
    if (den == 0.0f) return;
    float t = (tri.d - RbDot(tri.n, o)) / den;
    if (!(t >= 0.0f && t <= 1.0f)) return;
    RbVector p = o + s * t;
    for (int k = 0; k < 3; ++k) {
        const RbVector& vk = tri.v[k];
        RbVector c1 = RbCross(tri.e[k], tri.v[(k + 2) % 3] - vk);
        RbVector c2 = RbCross(tri.e[k], p - vk);
        if (!(RbDot(c1, c2) >= 0.0f)) return;
    }
    float depth = (1.0f - t) * length;
    if (depth > 0.0f && depth >= hit.depth) {
        hit.depth = depth;
        hit.point = p;
        hit.normal = den <= 0.0f ? tri.n : -tri.n;
    }
}

// The candidates' boxes for the cache: usable (1), holding a coordinate that is
// not a number (2: the vertices are then compared one by one), unreadable (3).
float Least(float a, float b, float c) { return std::min(a, std::min(b, c)); }
float Most(float a, float b, float c) { return std::max(a, std::max(b, c)); }

void ReadTriangleBoxes(const RbGeometry& mesh, int count, RbSensorTriangles& cache) {
    const float infinity = std::numeric_limits<float>::infinity();
    for (int i = 0; i < count; ++i) {
        RbVector lo, hi;
        int state = 3;
        int index = mesh.meshCandidates && mesh.meshTriangles && mesh.meshVertices ? mesh.meshCandidates[i] : -1;
        if (index >= 0 && index < mesh.meshTriangleCount) {
            const RbTriangle& t = mesh.meshTriangles[index];
            if (t.vertex[0] >= 0 && t.vertex[1] >= 0 && t.vertex[2] >= 0) {
                const RbVector& a = mesh.meshVertices[t.vertex[0]];
                const RbVector& b = mesh.meshVertices[t.vertex[1]];
                const RbVector& c = mesh.meshVertices[t.vertex[2]];
                // One sum shows a coordinate that is not a number (and, harmlessly,
                // opposite infinities: such a triangle is compared vertex by vertex).
                float probe = a.x + a.y + a.z + b.x + b.y + b.z + c.x + c.y + c.z;
                if (std::isnan(probe)) {
                    state = 2;
                } else {
                    state = 1;
                    lo = RbVec(Least(a.x, b.x, c.x), Least(a.y, b.y, c.y), Least(a.z, b.z, c.z));
                    hi = RbVec(Most(a.x, b.x, c.x), Most(a.y, b.y, c.y), Most(a.z, b.z, c.z));
                }
            }
        }
        if (state == 2) {
            lo = RbVec(-infinity, -infinity, -infinity);
            hi = RbVec(infinity, infinity, infinity);
        } else if (state == 3) {
            lo = RbVec(infinity, infinity, infinity);
            hi = RbVec(-infinity, -infinity, -infinity);
        }
        cache.boxState[i] = static_cast<int8_t>(state);
        cache.lowX[i] = lo.x;
        cache.highX[i] = hi.x;
        cache.lowY[i] = lo.y;
        cache.highY[i] = hi.y;
        cache.lowZ[i] = lo.z;
        cache.highZ[i] = hi.z;
    }
    cache.boxesRead = true;
}

// SegmentTriangle with each edge's inside reference worked out beforehand; the
// same arithmetic, so the same answer.
void SegmentTriangleInside(const RbVector& o, const RbVector& s, float length, const RbTriangleData& tri,
                           const RbVector inside[3], RbSensorHit& hit) {
    float den = RbDot(tri.n, s);
    if (den == 0.0f) return;
    float t = (tri.d - RbDot(tri.n, o)) / den;
    if (!(t >= 0.0f && t <= 1.0f)) return;
    RbVector p = o + s * t;
    for (int k = 0; k < 3; ++k) {
        RbVector c2 = RbCross(tri.e[k], p - tri.v[k]);
        if (!(RbDot(inside[k], c2) >= 0.0f)) return;
    }
    float depth = (1.0f - t) * length;
    if (depth > 0.0f && depth >= hit.depth) {
        hit.depth = depth;
        hit.point = p;
        hit.normal = den <= 0.0f ? tri.n : -tri.n;
    }
}

} // namespace

RbSensorHit RbSensorTestGeometry(const RbVector& o, const RbVector& s, float length, const RbGeometry& shape) {
    RbSensorHit hit;
    if (shape.type == RbGeomBox) {
        float enter = -1000000.0f, exit = 1000000.0f;
        int entryAxis = -1;
        for (int i = 0; i < 3; ++i) {
            float oi = RbComp(o, i), si = RbComp(s, i), h = shape.params[i];
            if (std::fabs(si) < 1e-6f) {
                if (oi < -h || oi > h) return hit;
                continue; // parallel to this slab and inside it
            }
            float t1 = (-h - oi) / si, t2 = (h - oi) / si;
            if (t1 > t2) {
                float t = t1;
                t1 = t2;
                t2 = t;
            }
            if (t1 > enter) {
                enter = t1;
                entryAxis = i;
            }
            if (t2 < exit) exit = t2;
            if (enter > exit || exit < 0.0f) return hit;
        }
        if (entryAxis < 0 || enter > 1.0f) return hit;
        RbVector p = o + s * enter;
        hit.depth = RawLength(o + s - p);
        hit.point = p;
        RbVector n;
        RbSetComp(n, entryAxis, RbComp(s, entryAxis) < 0.0f ? 1.0f : -1.0f);
        hit.normal = n;
        return hit;
    }
    if (shape.type == RbGeomTriangleMesh) {
        RbVector segMin, segMax;
        SegmentBox(o, s, segMin, segMax);
        for (int i = 0; i < shape.meshCandidateCount; ++i) {
            if (TriangleOutsideBox(shape, i, segMin, segMax)) continue;
            RbTriangleData tri;
            const RbTriangle* triangle = nullptr;
            if (!MeshTriangle(shape, i, tri, triangle)) continue;
            SegmentTriangle(o, s, length, tri, hit);
        }
    }
    return hit;
}

RbSensorHit RbSensorTestTriangles(const RbVector& o, const RbVector& s, float length, const RbGeometry& mesh,
                                  RbSensorTriangles& cache) {
    RbSensorHit hit;
    if (mesh.type != RbGeomTriangleMesh) return RbSensorTestGeometry(o, s, length, mesh);
    RbVector segMin, segMax;
    SegmentBox(o, s, segMin, segMax);
    const int count = mesh.meshCandidateCount;
    const int cached = count < RbSensorTriangles::kCapacity ? count : RbSensorTriangles::kCapacity;
    if (!cache.boxesRead) ReadTriangleBoxes(mesh, cached, cache);
    for (int i = 0; i < cached; ++i) {
        if (cache.highX[i] < segMin.x || cache.lowX[i] > segMax.x || cache.highY[i] < segMin.y ||
            cache.lowY[i] > segMax.y || cache.highZ[i] < segMin.z || cache.lowZ[i] > segMax.z)
            continue;
        if (cache.boxState[i] == 2 && TriangleOutsideBox(mesh, i, segMin, segMax)) continue;
        if (cache.planeState[i] == 0) {
            const RbTriangle* triangle = nullptr;
            RbTriangleData& tri = cache.planes[i];
            bool usable = MeshTriangle(mesh, i, tri, triangle);
            cache.planeState[i] = usable ? 1 : 2;
            if (usable)
                for (int k = 0; k < 3; ++k) cache.inside[i][k] = RbCross(tri.e[k], tri.v[(k + 2) % 3] - tri.v[k]);
        }
        if (cache.planeState[i] != 1) continue;
        SegmentTriangleInside(o, s, length, cache.planes[i], cache.inside[i], hit);
    }
    // Candidates beyond the cache are read from the answer each time.
    for (int i = cached; i < count; ++i) {
        if (TriangleOutsideBox(mesh, i, segMin, segMax)) continue;
        RbTriangleData tri;
        const RbTriangle* triangle = nullptr;
        if (!MeshTriangle(mesh, i, tri, triangle)) continue;
        SegmentTriangle(o, s, length, tri, hit);
    }
    return hit;
}
