#include "Render/POrientedBox.h"

#include <initializer_list>

#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"

namespace {

// Below this a face would be too thin for its plane to mean anything.
constexpr float kMinHalfSize = 0.001f;

// The plane through P with normal (A - P) x (B - P).
D3DXPLANE FacePlane(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 u = a - p, v = b - p;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &u, &v);
    return D3DXPLANE(n.x, n.y, n.z, -D3DXVec3Dot(&n, &p));
}

// Per face: the corners P, A, B of its plane, then its two triangles.
struct Face {
    int p, a, b;
    int tri[2][3];
};
constexpr Face kFaces[6] = {
    {0, 2, 1, {{0, 1, 2}, {0, 2, 3}}}, // zlo
    {1, 6, 5, {{1, 5, 6}, {1, 2, 6}}}, // xhi
    {2, 7, 6, {{2, 6, 7}, {2, 7, 3}}}, // yhi
    {3, 4, 7, {{3, 4, 7}, {3, 4, 0}}}, // xlo
    {0, 5, 4, {{0, 4, 5}, {0, 5, 1}}}, // ylo
    {5, 7, 4, {{4, 5, 6}, {4, 6, 7}}}, // zhi
};

} // namespace

CPOrientedBox::CPOrientedBox() : CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0)) {}

CPOrientedBox::CPOrientedBox(const D3DXVECTOR3& centre, const D3DXVECTOR3& halfSize)
    : m_centre(centre), m_halfSize(halfSize), m_worldMin(centre - halfSize), m_worldMax(centre + halfSize) {
    D3DXMatrixIdentity(&m_worldMatrix);
    D3DXMatrixIdentity(&m_localMatrix);
}

void CPOrientedBox::Update() {
    for (float* h : {&m_halfSize.x, &m_halfSize.y, &m_halfSize.z})
        if (!(*h >= kMinHalfSize)) *h = kMinHalfSize;

    const D3DXVECTOR3 lo = m_centre - m_halfSize, hi = m_centre + m_halfSize;
    m_corners[0] = D3DXVECTOR3(lo.x, lo.y, lo.z);
    m_corners[1] = D3DXVECTOR3(hi.x, lo.y, lo.z);
    m_corners[2] = D3DXVECTOR3(hi.x, hi.y, lo.z);
    m_corners[3] = D3DXVECTOR3(lo.x, hi.y, lo.z);
    m_corners[4] = D3DXVECTOR3(lo.x, lo.y, hi.z);
    m_corners[5] = D3DXVECTOR3(hi.x, lo.y, hi.z);
    m_corners[6] = D3DXVECTOR3(hi.x, hi.y, hi.z);
    m_corners[7] = D3DXVECTOR3(lo.x, hi.y, hi.z);
    for (D3DXVECTOR3& c : m_corners) D3DXVec3TransformCoord(&c, &c, &m_worldMatrix);

    for (int i = 0; i < 6; ++i) {
        const Face& f = kFaces[i];
        m_planes[i] = FacePlane(m_corners[f.p], m_corners[f.a], m_corners[f.b]);
    }

    m_worldMin = m_worldMax = m_corners[0];
    for (const D3DXVECTOR3& c : m_corners) {
        D3DXVec3Minimize(&m_worldMin, &m_worldMin, &c);
        D3DXVec3Maximize(&m_worldMax, &m_worldMax, &c);
    }
}

bool CPOrientedBox::IntersectRay(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, float& maxDistance,
                                 D3DXPLANE& hitPlane) const {
    bool hit = false;
    for (int i = 0; i < 6; ++i) {
        const float t = RayPlaneDistance(origin, direction, m_planes[i]);
        if (!(t < maxDistance && t >= 0.0f)) continue;
        const D3DXVECTOR3 q = origin + direction * t;
        const Face& f = kFaces[i];
        bool inside = false;
        for (const auto& tri : f.tri) {
            if (PointInTriangle(q, m_corners[tri[0]], m_corners[tri[1]], m_corners[tri[2]])) {
                inside = true;
                break;
            }
        }
        if (inside) {
            hitPlane = m_planes[i];
            maxDistance = t;
            hit = true;
        }
    }
    return hit;
}
