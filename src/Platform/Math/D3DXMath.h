#pragma once
// The D3DX 9 math routines the engine calls, with their conventions: row vectors (p x M),
// translation in the fourth row, left-handed rotations, quaternions stored (x, y, z, w),
// a product A x B applying A first. Every routine writes its result into the first argument
// and returns it; the output may alias any input (results are built in locals first).
//
// Where the classic formulas would divide zero by zero, results are defined instead:
// a zero vector, quaternion or plane normal normalises to zero, so a rotation about a zero
// axis is cos(angle) * I in the upper 3x3 block rather than NaN.

#include <cmath>
#include <cstddef>
#include <cstring>

#include "Platform/Math/D3DXTypes.h"

// ---------------------------------------------------------------------------------------------
// 2-vectors

inline float D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
inline float D3DXVec2LengthSq(const D3DXVECTOR2* v) { return v->x * v->x + v->y * v->y; }
inline float D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
// z component of the 3-D cross product: positive when b lies counter-clockwise of a.
inline float D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->y - a->y * b->x; }

inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(a->x + b->x, a->y + b->y);
    return out;
}
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(a->x - b->x, a->y - b->y);
    return out;
}
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, float s) {
    *out = D3DXVECTOR2(v->x * s, v->y * s);
    return out;
}
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, float s) {
    *out = D3DXVECTOR2(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y));
    return out;
}
inline D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y);
    return out;
}
inline D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y);
    return out;
}
inline D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
    const float len = D3DXVec2Length(v);
    if (len == 0.0f) {
        *out = D3DXVECTOR2(0.0f, 0.0f);
    } else {
        *out = D3DXVECTOR2(v->x / len, v->y / len);
    }
    return out;
}
// (x, y, 0, 1) x M, to a 4-vector.
inline D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    *out = D3DXVECTOR4(v->x * m->_11 + v->y * m->_21 + m->_41, v->x * m->_12 + v->y * m->_22 + m->_42,
                       v->x * m->_13 + v->y * m->_23 + m->_43, v->x * m->_14 + v->y * m->_24 + m->_44);
    return out;
}
// (x, y, 0, 1) x M, divided by the resulting w.
inline D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    const float w = v->x * m->_14 + v->y * m->_24 + m->_44;
    *out = D3DXVECTOR2((v->x * m->_11 + v->y * m->_21 + m->_41) / w, (v->x * m->_12 + v->y * m->_22 + m->_42) / w);
    return out;
}
// (x, y, 0, 0) x M: a direction, no translation.
inline D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    *out = D3DXVECTOR2(v->x * m->_11 + v->y * m->_21, v->x * m->_12 + v->y * m->_22);
    return out;
}

// ---------------------------------------------------------------------------------------------
// 3-vectors

inline float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
inline float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(D3DXVec3LengthSq(v)); }
inline float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x + b->x, a->y + b->y, a->z + b->z);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x - b->x, a->y - b->y, a->z - b->z);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) {
    *out = D3DXVECTOR3(v->x * s, v->y * s, v->z * s);
    return out;
}
// a + s * (b - a)
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
    *out = D3DXVECTOR3(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z));
    return out;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z);
    return out;
}
// A zero vector stays zero.
inline D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float len = D3DXVec3Length(v);
    if (len == 0.0f) {
        *out = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    } else {
        *out = D3DXVECTOR3(v->x / len, v->y / len, v->z / len);
    }
    return out;
}
// (x, y, z, 1) x M, to a 4-vector; no division.
inline D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    *out = D3DXVECTOR4(
        v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41, v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42,
        v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43, v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44);
    return out;
}
// (x, y, z, 1) x M, divided by the resulting w (a w of 0 gives infinities, as the original does).
inline D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const float w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44;
    *out = D3DXVECTOR3((v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41) / w,
                       (v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42) / w,
                       (v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43) / w);
    return out;
}
// (x, y, z, 0) x M: a direction, rotated and scaled but not translated.
inline D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    *out = D3DXVECTOR3(v->x * m->_11 + v->y * m->_21 + v->z * m->_31, v->x * m->_12 + v->y * m->_22 + v->z * m->_32,
                       v->x * m->_13 + v->y * m->_23 + v->z * m->_33);
    return out;
}

namespace kx::d3dx_detail {
// Vectors inside vertex records sit at arbitrary byte strides, so they are copied in and out
// rather than dereferenced through a cast pointer.
inline D3DXVECTOR3 LoadVec3(const void* base, std::size_t stride, std::size_t i) {
    float f[3];
    std::memcpy(f, static_cast<const unsigned char*>(base) + stride * i, sizeof f);
    return D3DXVECTOR3(f[0], f[1], f[2]);
}
inline void StoreVec3(void* base, std::size_t stride, std::size_t i, const D3DXVECTOR3& v) {
    const float f[3] = {v.x, v.y, v.z};
    std::memcpy(static_cast<unsigned char*>(base) + stride * i, f, sizeof f);
}
} // namespace kx::d3dx_detail

// Strides are in bytes (e.g. 48 for the engine's vertex records); input and output may be the
// same array with the same stride.
inline D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* out, unsigned outStride, const D3DXVECTOR3* in,
                                                unsigned inStride, const D3DXMATRIX* m, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        D3DXVECTOR3 v = kx::d3dx_detail::LoadVec3(in, inStride, i);
        D3DXVec3TransformCoord(&v, &v, m);
        kx::d3dx_detail::StoreVec3(out, outStride, i, v);
    }
    return out;
}
inline D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* out, unsigned outStride, const D3DXVECTOR3* in,
                                                 unsigned inStride, const D3DXMATRIX* m, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        D3DXVECTOR3 v = kx::d3dx_detail::LoadVec3(in, inStride, i);
        D3DXVec3TransformNormal(&v, &v, m);
        kx::d3dx_detail::StoreVec3(out, outStride, i, v);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// 4-vectors

inline float D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline float D3DXVec4LengthSq(const D3DXVECTOR4* v) { return D3DXVec4Dot(v, v); }
inline float D3DXVec4Length(const D3DXVECTOR4* v) { return std::sqrt(D3DXVec4Dot(v, v)); }
inline D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    *out = D3DXVECTOR4(a->x + b->x, a->y + b->y, a->z + b->z, a->w + b->w);
    return out;
}
inline D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    *out = D3DXVECTOR4(a->x - b->x, a->y - b->y, a->z - b->z, a->w - b->w);
    return out;
}
inline D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* out, const D3DXVECTOR4* v, float s) {
    *out = D3DXVECTOR4(v->x * s, v->y * s, v->z * s, v->w * s);
    return out;
}
inline D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b, float s) {
    *out = D3DXVECTOR4(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z),
                       a->w + s * (b->w - a->w));
    return out;
}
inline D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
    const float len = D3DXVec4Length(v);
    if (len == 0.0f) {
        *out = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *out = D3DXVECTOR4(v->x / len, v->y / len, v->z / len, v->w / len);
    }
    return out;
}
// v x M with all four components.
inline D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    *out = D3DXVECTOR4(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + v->w * m->_41,
                       v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + v->w * m->_42,
                       v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + v->w * m->_43,
                       v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + v->w * m->_44);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Matrices

inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}
inline bool D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m->m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}
// a x b: a applied first.
inline D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    *out = *a * *b;
    return out;
}
inline D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}
// transpose(a x b), the layout shader constants are often uploaded in.
inline D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    const D3DXMATRIX p = *a * *b;
    return D3DXMatrixTranspose(out, &p);
}

namespace kx::d3dx_detail {
// Cofactors of the 4x4 matrix in double precision; answers the determinant.
inline double Cofactors(const D3DXMATRIX& m, double c[4][4]) {
    const double a00 = m._11, a01 = m._12, a02 = m._13, a03 = m._14;
    const double a10 = m._21, a11 = m._22, a12 = m._23, a13 = m._24;
    const double a20 = m._31, a21 = m._32, a22 = m._33, a23 = m._34;
    const double a30 = m._41, a31 = m._42, a32 = m._43, a33 = m._44;
    // 2x2 minors of the lower two rows and of the upper two rows.
    const double s0 = a00 * a11 - a10 * a01, s1 = a00 * a12 - a10 * a02, s2 = a00 * a13 - a10 * a03;
    const double s3 = a01 * a12 - a11 * a02, s4 = a01 * a13 - a11 * a03, s5 = a02 * a13 - a12 * a03;
    const double c5 = a22 * a33 - a32 * a23, c4 = a21 * a33 - a31 * a23, c3 = a21 * a32 - a31 * a22;
    const double c2 = a20 * a33 - a30 * a23, c1 = a20 * a32 - a30 * a22, c0 = a20 * a31 - a30 * a21;
    // c[i][j] is the adjugate entry (row i, column j), i.e. the cofactor of (j, i).
    c[0][0] = a11 * c5 - a12 * c4 + a13 * c3;
    c[0][1] = -a01 * c5 + a02 * c4 - a03 * c3;
    c[0][2] = a31 * s5 - a32 * s4 + a33 * s3;
    c[0][3] = -a21 * s5 + a22 * s4 - a23 * s3;
    c[1][0] = -a10 * c5 + a12 * c2 - a13 * c1;
    c[1][1] = a00 * c5 - a02 * c2 + a03 * c1;
    c[1][2] = -a30 * s5 + a32 * s2 - a33 * s1;
    c[1][3] = a20 * s5 - a22 * s2 + a23 * s1;
    c[2][0] = a10 * c4 - a11 * c2 + a13 * c0;
    c[2][1] = -a00 * c4 + a01 * c2 - a03 * c0;
    c[2][2] = a30 * s4 - a31 * s2 + a33 * s0;
    c[2][3] = -a20 * s4 + a21 * s2 - a23 * s0;
    c[3][0] = -a10 * c3 + a11 * c1 - a12 * c0;
    c[3][1] = a00 * c3 - a01 * c1 + a02 * c0;
    c[3][2] = -a30 * s3 + a31 * s1 - a32 * s0;
    c[3][3] = a20 * s3 - a21 * s1 + a22 * s0;
    return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}
} // namespace kx::d3dx_detail

inline float D3DXMatrixDeterminant(const D3DXMATRIX* m) {
    double c[4][4];
    return static_cast<float>(kx::d3dx_detail::Cofactors(*m, c));
}
// Answers nullptr and leaves out untouched when the determinant is 0 (as a float); the
// determinant is written to *determinant whenever that pointer is given.
inline D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
    double c[4][4];
    const double det = kx::d3dx_detail::Cofactors(*m, c);
    const float fdet = static_cast<float>(det);
    if (determinant) *determinant = fdet;
    if (fdet == 0.0f) return nullptr;
    const double inv = 1.0 / det;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = static_cast<float>(c[i][j] * inv);
    *out = r;
    return out;
}
inline D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1);
    return out;
}
inline D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
    *out = D3DXMATRIX(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1);
    return out;
}
// Left-handed: looking down the axis towards the origin, positive angles turn clockwise.
inline D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return out;
}
inline D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return out;
}
// (1, 0, 0) x Rz(a) = (cos a, sin a, 0).
inline D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}
// The axis is normalised first; a zero axis gives cos(angle) * I in the upper 3x3.
inline D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    *out = D3DXMATRIX(t * v.x * v.x + c, t * v.x * v.y + s * v.z, t * v.x * v.z - s * v.y, 0, t * v.x * v.y - s * v.z,
                      t * v.y * v.y + c, t * v.y * v.z + s * v.x, 0, t * v.x * v.z + s * v.y, t * v.y * v.z - s * v.x,
                      t * v.z * v.z + c, 0, 0, 0, 0, 1);
    return out;
}
// The quaternion is used as given (a unit quaternion gives a pure rotation).
inline D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    *out = D3DXMATRIX(1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + z * w), 2.0f * (x * z - y * w), 0,
                      2.0f * (x * y - z * w), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + x * w), 0,
                      2.0f * (x * z + y * w), 2.0f * (y * z - x * w), 1.0f - 2.0f * (x * x + y * y), 0, 0, 0, 0, 1);
    return out;
}
// Rz(roll) x Rx(pitch) x Ry(yaw): roll is applied first, yaw last.
inline D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    D3DXMATRIX rz, rx, ry;
    D3DXMatrixRotationZ(&rz, roll);
    D3DXMatrixRotationX(&rx, pitch);
    D3DXMatrixRotationY(&ry, yaw);
    *out = rz * rx * ry;
    return out;
}
// View matrix of an eye at `eye` looking at `at`: the view's z axis runs towards the target.
inline D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                      const D3DXVECTOR3* up) {
    D3DXVECTOR3 zaxis, xaxis, yaxis;
    D3DXVec3Subtract(&zaxis, at, eye);
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, up, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *out = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0, xaxis.y, yaxis.y, zaxis.y, 0, xaxis.z, yaxis.z, zaxis.z, 0,
                      -D3DXVec3Dot(&xaxis, eye), -D3DXVec3Dot(&yaxis, eye), -D3DXVec3Dot(&zaxis, eye), 1);
    return out;
}
// Vertical field of view; depth maps near..far to 0..1 and w = view z.
inline D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn, float zf) {
    const float yscale = 1.0f / std::tan(fovy * 0.5f);
    const float xscale = yscale / aspect;
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(xscale, 0, 0, 0, 0, yscale, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0);
    return out;
}
// Width and height of the view volume at the near plane.
inline D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(2.0f * zn / w, 0, 0, 0, 0, 2.0f * zn / h, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0);
    return out;
}
inline D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    *out = D3DXMATRIX(2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, 1.0f / (zf - zn), 0, 0, 0, zn / (zn - zf), 1);
    return out;
}
// Maps x l..r to -1..1, y b..t to -1..1 and z zn..zf to 0..1.
inline D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    *out = D3DXMATRIX(2.0f / (r - l), 0, 0, 0, 0, 2.0f / (t - b), 0, 0, 0, 0, 1.0f / (zf - zn), 0, (l + r) / (l - r),
                      (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Planes (a, b, c, d): a*x + b*y + c*z + d = 0

inline float D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
inline float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
inline float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}
inline D3DXPLANE* D3DXPlaneScale(D3DXPLANE* out, const D3DXPLANE* p, float s) {
    *out = D3DXPLANE(p->a * s, p->b * s, p->c * s, p->d * s);
    return out;
}
// Divides all four by the normal's length; a zero normal gives the zero plane.
inline D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
    const float len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
    if (len == 0.0f) {
        *out = D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *out = D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len);
    }
    return out;
}
// The normal is taken as given (not normalised).
inline D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}
// Normal = normalise((p2 - p1) x (p3 - p1)).
inline D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                                      const D3DXVECTOR3* p3) {
    D3DXVECTOR3 e1, e2, n;
    D3DXVec3Subtract(&e1, p2, p1);
    D3DXVec3Subtract(&e2, p3, p1);
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    const D3DXVECTOR3 point = *p1;
    return D3DXPlaneFromPointNormal(out, &point, &n);
}
// Where the line through p1 and p2 meets the plane; nullptr (out untouched) when the line is
// parallel to it.
inline D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* p1,
                                           const D3DXVECTOR3* p2) {
    const D3DXVECTOR3 dir = *p2 - *p1;
    const float den = D3DXPlaneDotNormal(p, &dir);
    if (den == 0.0f) return nullptr;
    const float t = D3DXPlaneDotCoord(p, p1) / den;
    *out = *p1 - dir * t;
    return out;
}
// (a, b, c, d) x M; pass the inverse transpose of a point transform to move a plane with it.
inline D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m) {
    const D3DXVECTOR4 v(p->a, p->b, p->c, p->d);
    D3DXVECTOR4 r;
    D3DXVec4Transform(&r, &v, m);
    *out = D3DXPLANE(r.x, r.y, r.z, r.w);
    return out;
}

// Flattens geometry onto a plane as seen from a light: the plane is normalised, `light` is a
// position (w = 1) or the direction towards a directional light (w = 0). With P the
// normalised plane and d = P . light, the matrix is d * I - P^T light, so points in front of
// the plane keep a positive w.
inline D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light, const D3DXPLANE* plane) {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    const float d = D3DXPlaneDot(&p, light);
    const float pv[4] = {p.a, p.b, p.c, p.d};
    const float lv[4] = {light->x, light->y, light->z, light->w};
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = (i == j ? d : 0.0f) - pv[i] * lv[j];
    *out = r;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Quaternions (x, y, z, w)

inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
    *out = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return out;
}
inline bool D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
    return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}
inline float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline float D3DXQuaternionLengthSq(const D3DXQUATERNION* q) { return D3DXQuaternionDot(q, q); }
inline float D3DXQuaternionLength(const D3DXQUATERNION* q) { return std::sqrt(D3DXQuaternionDot(q, q)); }
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}
// A zero quaternion stays zero.
inline D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    const float len = D3DXQuaternionLength(q);
    if (len == 0.0f) {
        *out = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *out = D3DXQUATERNION(q->x / len, q->y / len, q->z / len, q->w / len);
    }
    return out;
}
// The rotation of a followed by that of b (the Hamilton product b * a), matching
// RotationQuaternion(a) x RotationQuaternion(b).
inline D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    *out = D3DXQUATERNION(
        b->w * a->x + b->x * a->w + b->y * a->z - b->z * a->y, b->w * a->y - b->x * a->z + b->y * a->w + b->z * a->x,
        b->w * a->z + b->x * a->y - b->y * a->x + b->z * a->w, b->w * a->w - b->x * a->x - b->y * a->y - b->z * a->z);
    return out;
}
// Conjugate divided by the squared length; a zero quaternion gives zero.
inline D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    const float n = D3DXQuaternionLengthSq(q);
    if (n == 0.0f) {
        *out = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *out = D3DXQUATERNION(-q->x / n, -q->y / n, -q->z / n, q->w / n);
    }
    return out;
}
// The axis is normalised first; a zero axis gives (0, 0, 0, cos(angle / 2)).
inline D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    const float s = std::sin(angle * 0.5f), c = std::cos(angle * 0.5f);
    *out = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, c);
    return out;
}
// The rotation of the upper 3x3 of m (assumed orthonormal).
inline D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
    const float trace = m->_11 + m->_22 + m->_33 + 1.0f;
    D3DXQUATERNION q;
    if (trace > 1.0f) {
        const float s = 2.0f * std::sqrt(trace);
        q = D3DXQUATERNION((m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s);
    } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
        const float s = 2.0f * std::sqrt(1.0f + m->_11 - m->_22 - m->_33);
        q = D3DXQUATERNION(0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s);
    } else if (m->_22 >= m->_33) {
        const float s = 2.0f * std::sqrt(1.0f + m->_22 - m->_11 - m->_33);
        q = D3DXQUATERNION((m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s);
    } else {
        const float s = 2.0f * std::sqrt(1.0f + m->_33 - m->_11 - m->_22);
        q = D3DXQUATERNION((m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s);
    }
    *out = q;
    return out;
}
// The same rotation as D3DXMatrixRotationYawPitchRoll: roll about z, then pitch about x,
// then yaw about y.
inline D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll) {
    const float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
    const float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
    const float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
    *out = D3DXQUATERNION(cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr, cy * cp * sr - sy * sp * cr,
                          cy * cp * cr + sy * sp * sr);
    return out;
}
// Spherical interpolation along the shorter arc; nearly equal quaternions are blended linearly.
inline D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                           float t) {
    float dot = D3DXQuaternionDot(a, b);
    float sign = 1.0f;
    if (dot < 0.0f) {
        sign = -1.0f;
        dot = -dot;
    }
    float ka = 1.0f - t, kb = t;
    if (1.0f - dot > 0.001f) {
        const float theta = std::acos(dot);
        const float st = std::sin(theta);
        ka = std::sin(theta * ka) / st;
        kb = std::sin(theta * kb) / st;
    }
    kb *= sign;
    *out = D3DXQUATERNION(ka * a->x + kb * b->x, ka * a->y + kb * b->y, ka * a->z + kb * b->z, ka * a->w + kb * b->w);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Colours

inline D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    *out = *a + *b;
    return out;
}
inline D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    *out = *a - *b;
    return out;
}
inline D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, float s) {
    *out = *c * s;
    return out;
}
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    *out = D3DXCOLOR(a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a);
    return out;
}
inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, float s) {
    *out = D3DXCOLOR(a->r + s * (b->r - a->r), a->g + s * (b->g - a->g), a->b + s * (b->b - a->b),
                     a->a + s * (b->a - a->a));
    return out;
}
// 1 - c for red, green and blue; alpha kept.
inline D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* out, const D3DXCOLOR* c) {
    *out = D3DXCOLOR(1.0f - c->r, 1.0f - c->g, 1.0f - c->b, c->a);
    return out;
}
