#pragma once
// Shared ray, triangle and angle functions, and the plain three-float vector helpers used by
// the cameras, boxes, sky and particles.

#include <cmath>

#include "Platform/Math/D3DXTypes.h"

// Distance along the ray to the plane, in units of the direction's length. A ray parallel to
// the plane, or one running the way the plane's normal points, answers -1; a plane behind the
// origin gives a negative distance, which callers reject themselves.
inline float RayPlaneDistance(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, const D3DXPLANE& plane) {
    const float den = plane.a * direction.x + plane.b * direction.y + plane.c * direction.z;
    if (den == 0.0f) return -1.0f;
    if (den > 0.0f) return -1.0f;
    return -(plane.a * origin.x + plane.b * origin.y + plane.c * origin.z + plane.d) / den;
}

// Whether p, already known to lie in the plane of the triangle, is inside it. The triangle is
// projected on the coordinate plane where it is largest and the edges on or above p are
// counted: an odd count is inside. The closing edge's span test is closed at both ends, so a
// point level with a corner may come out either way; callers test faces as two triangles.
inline bool PointInTriangle(const D3DXVECTOR3& p, const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2) {
    const D3DXVECTOR3 u = v0 - v1;
    const D3DXVECTOR3 v = v2 - v1;
    const float nx = std::fabs(u.y * v.z - u.z * v.y);
    const float ny = std::fabs(u.x * v.z - u.z * v.x);
    const float nz = std::fabs(u.x * v.y - u.y * v.x);

    int is, it; // indices of the two kept coordinates
    if (nz >= nx && nz > ny) {
        is = 0, it = 1;
    } else if (ny >= nz && ny >= nx) {
        is = 0, it = 2;
    } else {
        is = 1, it = 2;
    }
    const float P[3] = {p.x, p.y, p.z};
    const float A[3] = {v0.x, v0.y, v0.z};
    const float B[3] = {v1.x, v1.y, v1.z};
    const float C[3] = {v2.x, v2.y, v2.z};
    const float ps = P[is], pt = P[it];

    // Edge from a to b lies on or above p at p's s.
    auto above = [ps, pt, is, it](const float* a, const float* b) {
        return pt <= a[it] + (ps - a[is]) * (b[it] - a[it]) / (b[is] - a[is]);
    };

    int count = 0;
    if (((A[is] <= ps && ps < B[is]) || (B[is] <= ps && ps < A[is])) && above(A, B)) ++count;
    if (((B[is] <= ps && ps < C[is]) || (C[is] <= ps && ps < B[is])) && above(B, C)) ++count;
    // A vertical closing edge level with p divides 0 by 0; the NaN compares false and the edge
    // is not counted.
    if (((C[is] <= ps && ps <= A[is]) || (A[is] <= ps && ps <= C[is])) && above(C, A)) ++count;
    return (count & 1) != 0;
}

// Arc cosine and arc sine with the argument clamped to [-1, 1]; a NaN argument counts as -1.
inline double ClampUnit(float x) {
    if (x > 1.0f) return 1.0;
    if (!(x >= -1.0f)) return -1.0;
    return x;
}
inline float AcosClamped(float x) { return static_cast<float>(std::acos(ClampUnit(x))); }
inline float AsinClamped(float x) { return static_cast<float>(std::asin(ClampUnit(x))); }

// Plain three-float vector helpers.
inline D3DXVECTOR3* SetVector3(D3DXVECTOR3* out, float x, float y, float z) {
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}
inline D3DXVECTOR3* AddVector3(D3DXVECTOR3* out, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return SetVector3(out, a.x + b.x, a.y + b.y, a.z + b.z);
}
inline D3DXVECTOR3* SubtractVector3(D3DXVECTOR3* out, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return SetVector3(out, a.x - b.x, a.y - b.y, a.z - b.z);
}
inline float DotVector3(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3DXVECTOR3* CrossVector3(D3DXVECTOR3* out, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return SetVector3(out, a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
