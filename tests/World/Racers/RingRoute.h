#pragma once
// A race line of forty 10.5-unit pieces round a ring on the flat: the route of the drivers'
// fixture and of the combat benchmark.

#include <cmath>
#include <vector>

#include "Platform/Math/D3DXMath.h"
#include "World/PSpline.h"

namespace kxring {

constexpr int kPieces = 40;
constexpr float kTau = 6.2831853f;

// Forty straight segments round the origin. A segment's measured length is its chord to
// t = 0.9, so each chord is 10.5 / 0.9 for the route to cut into forty pieces.
inline CPSmartPtr<CPSpline> MakeRing() {
    const float side = 10.5f / 0.9f;
    const float radius = side / (2.0f * std::sin(kTau / 2.0f / kPieces));
    std::vector<BezierSegment> segments;
    for (int i = 0; i < kPieces; ++i) {
        const float a0 = kTau * static_cast<float>(i) / kPieces;
        const float a1 = kTau * static_cast<float>(i + 1) / kPieces;
        BezierSegment s;
        s.p0 = D3DXVECTOR3(radius * std::cos(a0), radius * std::sin(a0), 0.0f);
        s.p3 = D3DXVECTOR3(radius * std::cos(a1), radius * std::sin(a1), 0.0f);
        s.p1 = s.p0 + (s.p3 - s.p0) / 3.0f;
        s.p2 = s.p0 + (s.p3 - s.p0) * (2.0f / 3.0f);
        segments.push_back(s);
    }
    CPSmartPtr<CPSpline> ring(new CPSpline);
    ring->Build("c_path", true, segments);
    return ring;
}

// The yaw that turns a racer (which drives toward its local -y) to face from one point to
// another on the flat.
inline float YawFacing(const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    const D3DXVECTOR3 d = to - from;
    return std::atan2(d.x, -d.y);
}

} // namespace kxring
