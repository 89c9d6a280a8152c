// The pair tests that decide separation and the deepest axis on unnormalised
// axes must give, bit for bit, what testing every axis normalised gives. The
// reference here normalises every axis before testing it; both are run over
// random poses, near-touching ones, near-parallel edges and poses far from the
// origin, where rounding is largest.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

// ---------------------------------------------------------------- box against box

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

bool EdgeTest(BoxBoxState& st, const RbBox& A, int i, const RbBox& B, int j) {
    RbVector n = RbCross(A.u[i], B.u[j]);
    if (RbLength(n) < 1e-6f) return true;
    n = RbNormalize(n);
    float s = RbDot(B.c - A.c, n);
    if (s >= 0.0f)
        s = -s;
    else
        n = -n;
    int p = (i + 1) % 3, q = (i + 2) % 3, r = (j + 1) % 3, t = (j + 2) % 3;
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

void ReferenceBoxBox(RbContact& out, const RbGeometry& ga, const RbMatrix& ta, const RbGeometry& gb,
                     const RbMatrix& tb) {
    RbBox A = RbMakeBox(ga, ta);
    RbBox B = RbMakeBox(gb, tb);
    BoxBoxState st;
    out.collided = 0;
    for (int i = 0; i < 3; ++i)
        if (!FaceTest(st, A, i, B, true)) return;
    for (int i = 0; i < 3; ++i)
        if (!FaceTest(st, B, i, A, false)) return;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (!EdgeTest(st, A, i, B, j)) return;
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

struct Slot {
    RbVector pointA;
    RbVector pointB;
    RbVector normal;
    float depth = 0.0f;
    int hit = 0;
};

void Record(Slot& s, float depth, const RbVector& a, const RbVector& b, const RbVector& n) {
    s.depth = depth;
    s.pointA = a;
    s.pointB = b;
    s.normal = n;
    s.hit = 1;
}

bool AllTiny(const RbVector& v) { return std::fabs(v.x) < 1e-6f && std::fabs(v.y) < 1e-6f && std::fabs(v.z) < 1e-6f; }

void ReferenceBoxTriangle(Slot& slot, const RbBox& box, const RbTriangleData& tri, bool oneSided) {
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
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (AllTiny(tri.e[k])) continue;
            RbVector e = RbNormalize(tri.e[k]);
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

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(const RbVector& a, const RbVector& b) {
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

::testing::AssertionResult SameContact(const RbContact& got, const RbContact& want) {
    if (got.collided != want.collided) return ::testing::AssertionFailure() << "collided differs";
    if (!want.collided) return ::testing::AssertionSuccess();
    if (!SameBits(got.depth, want.depth))
        return ::testing::AssertionFailure() << "depth " << got.depth << " against " << want.depth;
    if (!SameBits(got.normal, want.normal)) return ::testing::AssertionFailure() << "normal differs";
    if (!SameBits(got.offsetA, want.offsetA) || !SameBits(got.offsetB, want.offsetB))
        return ::testing::AssertionFailure() << "contact points differ";
    return ::testing::AssertionSuccess();
}

RbQuaternion RandomRotation(std::mt19937& rng, int kind) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    if (kind == 0) return AxisAngle(RbVec(0, 0, 1), 0.0f);
    if (kind == 1) {
        // Nearly axis-aligned: edge pairs within a hair of parallel.
        static const RbVector axes[3] = {RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(0, 0, 1)};
        return AxisAngle(axes[rng() % 3], 1e-5f * u(rng));
    }
    RbVector axis = RbNormalize(RbVec(u(rng), u(rng), u(rng)));
    if (RbLength(axis) < 0.5f) axis = RbVec(0, 1, 0);
    return AxisAngle(axis, 3.14159265f * u(rng));
}

RbGeometry Box(float sx, float sy, float sz) {
    RbGeometry g;
    g.SetDefaults();
    g.SetBoxDimensions(sx, sy, sz);
    return g;
}

} // namespace

TEST(PairExactness, BoxBoxMatchesTheFullyNormalisedSearch) {
    std::mt19937 rng(33);
    std::uniform_real_distribution<float> size(0.05f, 3.0f), unit(-1.0f, 1.0f);
    const float origins[] = {0.0f, 40.0f, 1500.0f};
    int hits = 0, edgeLike = 0;
    for (int n = 0; n < 20000; ++n) {
        RbGeometry a = Box(size(rng), size(rng), size(rng));
        RbGeometry b = Box(size(rng), size(rng), size(rng));
        float o = origins[n % 3];
        RbVector ca = RbVec(o + unit(rng), o - 2.0f * unit(rng), o + unit(rng));
        // Place B around A at about the distance where the boxes meet (params hold half sizes).
        RbVector dir = RbNormalize(RbVec(unit(rng), unit(rng), unit(rng)));
        float meanA = (a.params[0] + a.params[1] + a.params[2]) / 3.0f;
        float meanB = (b.params[0] + b.params[1] + b.params[2]) / 3.0f;
        float reach = (meanA + meanB) * (1.1f + 0.4f * unit(rng));
        RbVector cb = ca + dir * reach;
        RbMatrix ta = Pose(RandomRotation(rng, n % 4 == 0 ? 1 : 2), ca.x, ca.y, ca.z);
        RbMatrix tb = Pose(RandomRotation(rng, n % 5 == 0 ? (n % 2) : 2), cb.x, cb.y, cb.z);
        RbContact got, want;
        RbTestBoxBox(got, a, ta, b, tb);
        ReferenceBoxBox(want, a, ta, b, tb);
        ASSERT_TRUE(SameContact(got, want)) << "pose " << n;
        hits += want.collided;
        edgeLike += (want.collided && std::fabs(want.normal.x) < 0.9f && std::fabs(want.normal.y) < 0.9f &&
                     std::fabs(want.normal.z) < 0.9f);
    }
    // The poses must exercise both contact and separation, and edge contacts.
    EXPECT_GT(hits, 2000);
    EXPECT_LT(hits, 18000);
    EXPECT_GT(edgeLike, 100);
}

TEST(PairExactness, BoxTriangleMatchesTheFullyNormalisedSearch) {
    std::mt19937 rng(34);
    std::uniform_real_distribution<float> size(0.05f, 3.0f), unit(-1.0f, 1.0f);
    const float origins[] = {0.0f, 40.0f, 1500.0f};
    int hits = 0, edgeLike = 0;
    for (int n = 0; n < 20000; ++n) {
        float o = origins[n % 3];
        RbVector base = RbVec(o + unit(rng), o + unit(rng), 0.1f * o + unit(rng));
        // Every fourth triangle lies flat with axis-aligned edges, as a terrain grid's do.
        RbVector v[3];
        if (n % 4 == 0) {
            // Some are as large as a coarse terrain grid's, under a much smaller box.
            float a = n % 16 == 4 ? 100.0f : 0.5f + 2.0f * (unit(rng) + 1.0f);
            if (n % 16 == 4) base = base - RbVec(50.0f, 50.0f, 0.0f);
            v[0] = base;
            v[1] = base + RbVec(a, 0, 0);
            v[2] = base + RbVec(a, a, 0);
        } else {
            for (RbVector& c : v) c = base + RbVec(2.0f * unit(rng), 2.0f * unit(rng), 0.7f * unit(rng));
        }
        RbVector verts[3];
        for (int k = 0; k < 3; ++k) verts[k] = v[k];
        RbTriangle t;
        t.vertex[0] = 0;
        t.vertex[1] = 1;
        t.vertex[2] = 2;
        RbGeometry triangle;
        triangle.SetDefaults();
        int candidate = 0;
        triangle.SetTriangleMesh(&candidate, 1, &t, 1, verts);
        RbGeometry box = Box(size(rng), size(rng), size(rng));
        RbVector centroid = (v[0] + v[1] + v[2]) * (1.0f / 3.0f);
        float mean = (box.params[0] + box.params[1] + box.params[2]) / 3.0f;
        RbVector dir = RbNormalize(RbVec(unit(rng), unit(rng), unit(rng)));
        RbVector c = centroid + dir * (mean * (1.0f + 0.8f * unit(rng)));
        RbMatrix pose = Pose(RandomRotation(rng, n % 4 == 0 ? (n % 8 == 0 ? 0 : 1) : 2), c.x, c.y, c.z);

        RbContact got;
        RbTestBoxTriangle(got, box, pose, triangle, RbMatrix{});
        RbTriangleData data;
        RbBuildTriangle(data, v[0], v[1], v[2]);
        Slot slot;
        ReferenceBoxTriangle(slot, RbMakeBox(box, pose), data, false);
        RbContact want;
        want.collided = slot.hit;
        want.depth = slot.depth;
        want.normal = slot.normal;
        want.offsetA = slot.pointA;
        want.offsetB = slot.pointB;
        ASSERT_TRUE(SameContact(got, want)) << "pose " << n;
        hits += want.collided;
        edgeLike += (want.collided && std::fabs(RbDot(want.normal, data.n)) < 0.99f);

        // The same triangle as one-sided terrain.
        RbTestBoxMesh(got, box, pose, triangle);
        ReferenceBoxTriangle(slot, RbMakeBox(box, pose), data, true);
        want.collided = slot.hit;
        want.depth = slot.depth;
        want.normal = slot.normal;
        want.offsetA = slot.pointA;
        want.offsetB = slot.pointB;
        ASSERT_TRUE(SameContact(got, want)) << "one-sided, pose " << n;
    }
    EXPECT_GT(hits, 2000);
    EXPECT_LT(hits, 18000);
    EXPECT_GT(edgeLike, 100);
}
