#include "Render/PPerspectiveCamera.h"

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"

CPPerspectiveCamera* g_currentViewCamera = nullptr;

namespace {

// The sky is clipped here rather than at the camera's far distance.
constexpr float kSkyFarDistance = 1000.0f;

D3DXPLANE PlaneFromNormalAndPoint(const D3DXVECTOR3& n, const D3DXVECTOR3& p) {
    return D3DXPLANE(n.x, n.y, n.z, -D3DXVec3Dot(&n, &p));
}

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    D3DXVECTOR3 r;
    D3DXVec3Cross(&r, &a, &b);
    return r;
}

} // namespace

D3DXPLANE MakePlaneFromPoints(const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& p3) {
    return PlaneFromNormalAndPoint(Cross(p2 - p1, p3 - p1), p1);
}

void CPPerspectiveCamera::Update() {
    bool viewRebuilt = false;
    if (viewDirty) {
        D3DXMatrixLookAtLH(&m_view, &eye, &target, &up);
        viewDirty = false;
        D3DXMatrixInverse(&m_inverseView, nullptr, &m_view);

        D3DXVECTOR3 dir = target - eye;
        D3DXVec3Normalize(&dir, &dir);
        const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
        D3DXMatrixLookAtLH(&m_skyView, &origin, &dir, &up);
        D3DXMatrixInverse(&m_inverseSkyView, nullptr, &m_skyView);
        viewRebuilt = true;
    }

    if (projectionDirty) {
        // The settings are read now, so a changed resolution shows at the next projection update.
        const float aspect = static_cast<float>(g_screenWidth) / static_cast<float>(g_screenHeight);
        D3DXMatrixPerspectiveFovLH(&m_projection, fieldOfView, aspect, nearDistance, farDistance);
        D3DXMatrixPerspectiveFovLH(&m_skyProjection, fieldOfView, aspect, nearDistance, kSkyFarDistance);
        projectionDirty = false;
    } else if (!viewRebuilt) {
        return;
    }

    D3DXMatrixMultiply(&m_viewProjection, &m_view, &m_projection);
    D3DXMatrixMultiply(&m_skyViewProjection, &m_skyView, &m_skyProjection);
    D3DXMatrixInverse(&m_inverseViewProjection, nullptr, &m_viewProjection);

    // The corners of the clip volume in world space: W0..W3 on the near plane, W4..W7 on the far.
    D3DXVECTOR3 w[8];
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR4 clip((i & 1) ? 1.0f : -1.0f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.0f : 0.0f, 1.0f);
        D3DXVECTOR4 h;
        D3DXVec4Transform(&h, &clip, &m_inverseViewProjection);
        w[i] = D3DXVECTOR3(h.x / h.w, h.y / h.w, h.z / h.w);
    }

    // These winding orders make every normal point into the volume.
    m_planes[PlaneNear] = PlaneFromNormalAndPoint(Cross(w[1] - w[0], w[2] - w[0]), w[0]);
    m_planes[PlaneFar] = PlaneFromNormalAndPoint(Cross(w[7] - w[6], w[5] - w[6]), w[6]);
    m_planes[PlaneLeft] = PlaneFromNormalAndPoint(Cross(w[6] - w[2], w[4] - w[2]), w[2]);
    m_planes[PlaneRight] = MakePlaneFromPoints(w[7], w[3], w[5]);
    m_planes[PlaneTop] = MakePlaneFromPoints(w[2], w[3], w[6]);
    m_planes[PlaneBottom] = MakePlaneFromPoints(w[1], w[0], w[4]);
}

bool CPPerspectiveCamera::IsInFrustum(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const {
    const D3DXVECTOR3 corners[8] = {
        {min.x, min.y, min.z}, {min.x, max.y, min.z}, {max.x, max.y, min.z}, {max.x, min.y, min.z},
        {min.x, min.y, max.z}, {min.x, max.y, max.z}, {max.x, max.y, max.z}, {max.x, min.y, max.z},
    };
    for (const D3DXPLANE& plane : m_planes) {
        bool passed = false;
        for (const D3DXVECTOR3& c : corners) {
            // NaN compares false, so a box with NaN corners is never seen.
            if (D3DXPlaneDotCoord(&plane, &c) > 0.0f) {
                passed = true;
                break;
            }
        }
        if (!passed) return false;
    }
    return true;
}

D3DXVECTOR3 CPPerspectiveCamera::ProjectToScreen(const D3DXVECTOR3& point) const {
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &point, &m_viewProjection);
    const float x = h.x / h.w;
    const float y = h.y / h.w;
    const float width = static_cast<float>(g_screenWidth);
    const float height = static_cast<float>(g_screenHeight);
    return D3DXVECTOR3((x + 1.0f) * width * 0.5f, height * 0.5f - height * y * 0.5f, 0.0f);
}
