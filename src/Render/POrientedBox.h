#pragma once
// A box with its own centre and half-size, placed in the world by a matrix. Update computes
// its eight world corners, its six face planes and the axis-aligned extent of the corners;
// IntersectRay finds where a ray enters it.
//
// Corner numbering before the transform (lo = centre - half-size, hi = centre + half-size):
// C0 (xlo, ylo, zlo), C1 (xhi, ylo, zlo), C2 (xhi, yhi, zlo), C3 (xlo, yhi, zlo),
// C4 (xlo, ylo, zhi), C5 (xhi, ylo, zhi), C6 (xhi, yhi, zhi), C7 (xlo, yhi, zhi).
// Planes: 0 zlo, 1 xhi, 2 yhi, 3 xlo, 4 ylo, 5 zhi; normals point out of the box and are not
// normalised (length four times the product of the face's two half-sizes when unscaled).

#include "Platform/Math/D3DXTypes.h"

class CPOrientedBox {
public:
    // Centre and half-size 0.
    CPOrientedBox();
    // World and local matrices identity; world extent centre -/+ halfSize. Corners and planes
    // stay zero until the first Update.
    CPOrientedBox(const D3DXVECTOR3& centre, const D3DXVECTOR3& halfSize);
    CPOrientedBox(const CPOrientedBox&) = default;
    CPOrientedBox& operator=(const CPOrientedBox&) = default;
    virtual ~CPOrientedBox() = default;

    // Half-size components below 0.001 (or NaN) become 0.001 for good; then corners, planes
    // and world extent are recomputed from the world matrix.
    void Update();

    // The nearest face that the ray enters at a distance t with 0 <= t < maxDistance (t in
    // units of the direction's length). On a hit, maxDistance becomes t and hitPlane the face's
    // plane. A ray that starts inside the box, or only leaves it, hits nothing.
    bool IntersectRay(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, float& maxDistance,
                      D3DXPLANE& hitPlane) const;

    const D3DXVECTOR3& GetCentre() const { return m_centre; }
    void SetCentre(const D3DXVECTOR3& c) { m_centre = c; }
    const D3DXVECTOR3& GetHalfSize() const { return m_halfSize; }
    void SetHalfSize(const D3DXVECTOR3& h) { m_halfSize = h; }
    const D3DXVECTOR3& GetCorner(int i) const { return m_corners[i]; }
    const D3DXPLANE& GetPlane(int i) const { return m_planes[i]; }
    const D3DXVECTOR3& GetWorldMin() const { return m_worldMin; }
    const D3DXVECTOR3& GetWorldMax() const { return m_worldMax; }
    const D3DXMATRIX& GetWorldMatrix() const { return m_worldMatrix; }
    void SetWorldMatrix(const D3DXMATRIX& m) { m_worldMatrix = m; }
    // The placement relative to the owner; the owner sets world = local x owner world before
    // each Update.
    const D3DXMATRIX& GetLocalMatrix() const { return m_localMatrix; }
    void SetLocalMatrix(const D3DXMATRIX& m) { m_localMatrix = m; }

private:
    D3DXVECTOR3 m_centre;
    D3DXVECTOR3 m_halfSize;
    D3DXVECTOR3 m_corners[8];
    D3DXPLANE m_planes[6];
    D3DXVECTOR3 m_worldMin;
    D3DXVECTOR3 m_worldMax;
    D3DXMATRIX m_worldMatrix;
    D3DXMATRIX m_localMatrix;
};
