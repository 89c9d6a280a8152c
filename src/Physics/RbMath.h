#pragma once
// Value types of the rigid-body engine. The engine keeps its own small math so
// that it depends on nothing; every operation is written out so the float
// evaluation order is fixed (the library builds with -ffp-contract=off).

#include <cmath>

struct RbVector {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

struct RbQuaternion {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

// Rows 0..2: the local axes in the parent frame (fourth entry 0); row 3: the
// position (fourth entry 1).
struct RbMatrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

// A 3x3 matrix kept as three rows of RbVector (inertia tensors, solver K).
struct RbMatrix3 {
    RbVector r[3];
};

inline RbVector RbVec(float x, float y, float z, float w = 0.0f) { return RbVector{x, y, z, w}; }
inline RbVector operator+(const RbVector& a, const RbVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, 0.0f}; }
inline RbVector operator-(const RbVector& a, const RbVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, 0.0f}; }
inline RbVector operator-(const RbVector& a) { return {-a.x, -a.y, -a.z, 0.0f}; }
inline RbVector operator*(const RbVector& a, float s) { return {a.x * s, a.y * s, a.z * s, 0.0f}; }
inline RbVector operator*(float s, const RbVector& a) { return {a.x * s, a.y * s, a.z * s, 0.0f}; }
inline RbVector& operator+=(RbVector& a, const RbVector& b) {
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
    return a;
}
inline RbVector& operator-=(RbVector& a, const RbVector& b) {
    a.x -= b.x;
    a.y -= b.y;
    a.z -= b.z;
    return a;
}
inline float RbDot(const RbVector& a, const RbVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline RbVector RbCross(const RbVector& a, const RbVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}
inline float RbLengthSq(const RbVector& a) { return RbDot(a, a); }
// Lengths whose square is below 1e-6 count as zero throughout the engine.
inline float RbLength(const RbVector& a) {
    float sq = RbDot(a, a);
    return sq < 1e-6f ? 0.0f : std::sqrt(sq);
}
// Unit vector, or zero when the length is below 1e-6.
inline RbVector RbNormalize(const RbVector& a) {
    float len = RbLength(a);
    if (len < 1e-6f) return {0.0f, 0.0f, 0.0f, 0.0f};
    float inv = 1.0f / len;
    return {a.x * inv, a.y * inv, a.z * inv, 0.0f};
}
inline bool RbIsFinite(const RbVector& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
inline bool RbIsFinite(const RbQuaternion& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
inline float RbComp(const RbVector& v, int k) { return k == 0 ? v.x : (k == 1 ? v.y : v.z); }
inline void RbSetComp(RbVector& v, int k, float value) {
    if (k == 0)
        v.x = value;
    else if (k == 1)
        v.y = value;
    else
        v.z = value;
}

inline RbVector RbRow(const RbMatrix& m, int k) { return {m.m[k][0], m.m[k][1], m.m[k][2], m.m[k][3]}; }
inline void RbSetRow(RbMatrix& m, int k, const RbVector& v) {
    m.m[k][0] = v.x;
    m.m[k][1] = v.y;
    m.m[k][2] = v.z;
    m.m[k][3] = (k == 3) ? 1.0f : 0.0f;
}
inline RbVector RbPosition(const RbMatrix& m) { return {m.m[3][0], m.m[3][1], m.m[3][2], 0.0f}; }

// Local direction to parent axes: d.x*row0 + d.y*row1 + d.z*row2.
inline RbVector RbRotate(const RbMatrix& m, const RbVector& d) {
    return {d.x * m.m[0][0] + d.y * m.m[1][0] + d.z * m.m[2][0], d.x * m.m[0][1] + d.y * m.m[1][1] + d.z * m.m[2][1],
            d.x * m.m[0][2] + d.y * m.m[1][2] + d.z * m.m[2][2], 0.0f};
}
inline RbVector RbTransformPoint(const RbMatrix& m, const RbVector& p) {
    RbVector r = RbRotate(m, p);
    return {r.x + m.m[3][0], r.y + m.m[3][1], r.z + m.m[3][2], 0.0f};
}
// Parent direction to local axes: (d.row0, d.row1, d.row2).
inline RbVector RbInverseRotate(const RbMatrix& m, const RbVector& d) {
    return {d.x * m.m[0][0] + d.y * m.m[0][1] + d.z * m.m[0][2], d.x * m.m[1][0] + d.y * m.m[1][1] + d.z * m.m[1][2],
            d.x * m.m[2][0] + d.y * m.m[2][1] + d.z * m.m[2][2], 0.0f};
}
inline RbVector RbInverseTransformPoint(const RbMatrix& m, const RbVector& p) {
    return RbInverseRotate(m, p - RbPosition(m));
}
// local composed with parent: rows of local rotated into the parent, position mapped.
inline RbMatrix RbCompose(const RbMatrix& local, const RbMatrix& parent) {
    RbMatrix r;
    for (int k = 0; k < 3; ++k) RbSetRow(r, k, RbRotate(parent, RbRow(local, k)));
    RbSetRow(r, 3, RbTransformPoint(parent, RbPosition(local)));
    return r;
}

// Rotation rows of a unit quaternion.
inline void RbQuaternionToRows(const RbQuaternion& q, RbMatrix& m) {
    float x = q.x, y = q.y, z = q.z, w = q.w;
    m.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    m.m[0][1] = 2.0f * (x * y + z * w);
    m.m[0][2] = 2.0f * (x * z - y * w);
    m.m[0][3] = 0.0f;
    m.m[1][0] = 2.0f * (x * y - z * w);
    m.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    m.m[1][2] = 2.0f * (y * z + x * w);
    m.m[1][3] = 0.0f;
    m.m[2][0] = 2.0f * (x * z + y * w);
    m.m[2][1] = 2.0f * (y * z - x * w);
    m.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    m.m[2][3] = 0.0f;
}
inline RbQuaternion RbNormalizeQuaternion(const RbQuaternion& q) {
    float sq = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (!(sq >= 1e-12f) || !std::isfinite(sq)) return RbQuaternion{};
    float inv = 1.0f / std::sqrt(sq);
    return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
// Hamilton product a (x) b in (x, y, z, w) order.
inline RbQuaternion RbQuaternionMultiply(const RbQuaternion& a, const RbQuaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
// Rate of a quaternion turning with world angular velocity w: 1/2 (w, 0) (x) q.
inline RbQuaternion RbQuaternionRate(const RbVector& omega, const RbQuaternion& q) {
    RbQuaternion r = RbQuaternionMultiply(RbQuaternion{omega.x, omega.y, omega.z, 0.0f}, q);
    return {0.5f * r.x, 0.5f * r.y, 0.5f * r.z, 0.5f * r.w};
}
// Quaternion of a rotation-rows matrix (largest-diagonal method, w kept non-negative).
RbQuaternion RbRowsToQuaternion(const RbMatrix& m);

inline RbVector RbMul(const RbMatrix3& a, const RbVector& v) {
    return {RbDot(a.r[0], v), RbDot(a.r[1], v), RbDot(a.r[2], v), 0.0f};
}
inline RbMatrix3 RbMul(const RbMatrix3& a, const RbMatrix3& b) {
    RbMatrix3 r;
    for (int i = 0; i < 3; ++i) {
        const RbVector& row = a.r[i];
        r.r[i] = b.r[0] * row.x + b.r[1] * row.y + b.r[2] * row.z;
    }
    return r;
}
inline RbMatrix3 RbTranspose(const RbMatrix3& a) {
    RbMatrix3 t;
    t.r[0] = {a.r[0].x, a.r[1].x, a.r[2].x, 0.0f};
    t.r[1] = {a.r[0].y, a.r[1].y, a.r[2].y, 0.0f};
    t.r[2] = {a.r[0].z, a.r[1].z, a.r[2].z, 0.0f};
    return t;
}
inline RbMatrix3 RbRotationOf(const RbMatrix& m) {
    return {{RbVec(m.m[0][0], m.m[0][1], m.m[0][2]), RbVec(m.m[1][0], m.m[1][1], m.m[1][2]),
             RbVec(m.m[2][0], m.m[2][1], m.m[2][2])}};
}
inline RbMatrix3 RbIdentity3() { return {{RbVec(1, 0, 0), RbVec(0, 1, 0), RbVec(0, 0, 1)}}; }
inline RbMatrix3 RbZero3() { return {}; }
// Inverse by adjugate over determinant; false (and out untouched) when |det| < 1e-17.
bool RbInvert3(const RbMatrix3& a, RbMatrix3& out);
