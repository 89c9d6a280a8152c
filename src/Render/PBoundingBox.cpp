#include "Render/PBoundingBox.h"

#include <cmath>

#include "Platform/Math/D3DXMath.h"
#include "Render/PPlanarShadowSource.h"

namespace {

constexpr float kEmptyExtent = 1000000.0f;

// Per component: the minimum takes a smaller value, the maximum a larger one; an equal (or
// NaN) value changes nothing.
void GrowMin(D3DXVECTOR3& m, const D3DXVECTOR3& v) {
    if (v.x < m.x) m.x = v.x;
    if (v.y < m.y) m.y = v.y;
    if (v.z < m.z) m.z = v.z;
}
void GrowMax(D3DXVECTOR3& m, const D3DXVECTOR3& v) {
    if (v.x > m.x) m.x = v.x;
    if (v.y > m.y) m.y = v.y;
    if (v.z > m.z) m.z = v.z;
}

} // namespace

void CPBoundingBox::FromOrientedBoxes(const std::vector<CPOrientedBox>& boxes) {
    minimum = D3DXVECTOR3(kEmptyExtent, kEmptyExtent, kEmptyExtent);
    maximum = D3DXVECTOR3(-kEmptyExtent, -kEmptyExtent, -kEmptyExtent);
    if (boxes.empty()) return;
    for (const CPOrientedBox& b : boxes) {
        GrowMin(minimum, b.GetWorldMin());
        GrowMax(maximum, b.GetWorldMax());
    }
    UpdateCentre();
}

void CPBoundingBox::Merge(const CPBoundingBox& other) {
    GrowMin(minimum, other.minimum);
    GrowMax(maximum, other.maximum);
    UpdateCentre();
}

void CPBoundingBox::UpdateCentre() {
    centre = (maximum + minimum) * 0.5f;
    halfSize = (maximum - minimum) * 0.5f;
}

void CPBoundingBox::SetFromOrientedBox(const CPOrientedBox& box) {
    minimum = box.GetWorldMin();
    maximum = box.GetWorldMax();
    halfSize = (maximum - minimum) * 0.5f;
    centre = minimum + halfSize;
}

void CPBoundingBox::Union(const CPBoundingBox& other) {
    GrowMin(minimum, other.minimum);
    GrowMax(maximum, other.maximum);
    halfSize = (maximum - minimum) * 0.5f;
    centre = minimum + halfSize;
}

void CPBoundingBox::Transform() {
    const D3DXMATRIX* shadow = GetPlanarShadowMatrix();
    if (!shadow) return;
    const D3DXVECTOR3 lo = minimum, hi = maximum;
    D3DXVECTOR3 corners[8];
    for (int i = 0; i < 8; ++i)
        corners[i] = D3DXVECTOR3((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
    for (D3DXVECTOR3& c : corners) {
        D3DXVec3TransformCoord(&c, &c, shadow);
        // A corner level with a light in the ground plane has no shadow point (w = 0); it
        // would stretch the box to infinity, so it is left out.
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) continue;
        GrowMin(minimum, c);
        GrowMax(maximum, c);
    }
}

bool CPBoundingBox::IntersectSegment(const D3DXVECTOR3& start, const D3DXVECTOR3& direction, float length) const {
    const float e = length * 0.5f;
    const D3DXVECTOR3 middle = start + direction * e;
    const D3DXVECTOR3 d = centre - middle;
    const float ax = std::fabs(direction.x), ay = std::fabs(direction.y), az = std::fabs(direction.z);
    const D3DXVECTOR3& h = halfSize;
    if (ax * e + h.x < std::fabs(d.x)) return false;
    if (ay * e + h.y < std::fabs(d.y)) return false;
    if (az * e + h.z < std::fabs(d.z)) return false;
    if (az * h.y + ay * h.z < std::fabs(d.y * direction.z - d.z * direction.y)) return false;
    if (az * h.x + ax * h.z < std::fabs(d.z * direction.x - d.x * direction.z)) return false;
    if (ay * h.x + ax * h.y < std::fabs(d.x * direction.y - d.y * direction.x)) return false;
    return true;
}

bool CPBoundingBox::ContainsPoint(const D3DXVECTOR3& p) const {
    return std::fabs(centre.x - p.x) < halfSize.x && std::fabs(centre.y - p.y) < halfSize.y &&
           std::fabs(centre.z - p.z) < halfSize.z;
}

bool CPBoundingBox::IsWithinDistance(const D3DXVECTOR3& p, float radius) const {
    float sum = 0.0f;
    const float pv[3] = {p.x, p.y, p.z};
    const float lo[3] = {minimum.x, minimum.y, minimum.z};
    const float hi[3] = {maximum.x, maximum.y, maximum.z};
    for (int i = 0; i < 3; ++i) {
        if (pv[i] < lo[i]) {
            sum += (pv[i] - lo[i]) * (pv[i] - lo[i]);
        } else if (pv[i] > hi[i]) {
            sum += (pv[i] - hi[i]) * (pv[i] - hi[i]);
        }
    }
    return !(sum > radius * radius);
}
