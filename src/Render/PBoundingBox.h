#pragma once
// An axis-aligned box for culling and coarse tests. Minimum and maximum are the primary data;
// half-size and centre are derived from them by the operations that say so and are stale
// otherwise.

#include <vector>

#include "Platform/Math/D3DXTypes.h"
#include "Render/POrientedBox.h"

class CPBoundingBox {
public:
    // Extent of the boxes' world minima and maxima, then UpdateCentre. An empty vector gives
    // the empty box, minimum +1000000 and maximum -1000000, and leaves half-size and centre.
    void FromOrientedBoxes(const std::vector<CPOrientedBox>& boxes);
    // Minimum and maximum grow to take in other's, then UpdateCentre. Merging the empty box
    // changes nothing.
    void Merge(const CPBoundingBox& other);
    // centre = (maximum + minimum) / 2, half-size = (maximum - minimum) / 2.
    void UpdateCentre();
    // Minimum and maximum from the box's world extent; half-size and centre derived.
    void SetFromOrientedBox(const CPOrientedBox& box);
    // As Merge, with half-size and centre derived as minimum + half-size.
    void Union(const CPBoundingBox& other);
    // Grows the box to cover its own eight corners mapped through the level's planar-shadow
    // matrix, so it covers the shadow its contents cast on the ground. Half-size and centre are
    // left for the caller's UpdateCentre. Without a shadow matrix nothing changes.
    void Transform();
    // Whether the segment from start along direction for length meets the box (touching
    // counts). Uses centre and half-size, which must be current.
    bool IntersectSegment(const D3DXVECTOR3& start, const D3DXVECTOR3& direction, float length) const;
    // Strictly inside on all three axes (by centre and half-size).
    bool ContainsPoint(const D3DXVECTOR3& p) const;
    // Squared distance from p to the box (0 inside) at most radius squared; NaN answers true.
    bool IsWithinDistance(const D3DXVECTOR3& p, float radius) const;

    D3DXVECTOR3 minimum;
    D3DXVECTOR3 maximum;
    D3DXVECTOR3 halfSize;
    D3DXVECTOR3 centre;
};
