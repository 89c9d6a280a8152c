#include "Render/PFrame.h"

#include "Platform/Math/D3DXMath.h"

namespace {

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    D3DXVECTOR3 r;
    D3DXVec3Cross(&r, &a, &b);
    return r;
}

} // namespace

CPFrame::CPFrame() { CPFrame::Reset(); }

D3DXVECTOR3 CPFrame::SetAxisX(float x, float y, float z) { return m_axisX = D3DXVECTOR3(x, y, z); }
D3DXVECTOR3 CPFrame::SetAxisY(float x, float y, float z) { return m_axisY = D3DXVECTOR3(x, y, z); }
D3DXVECTOR3 CPFrame::SetAxisZ(float x, float y, float z) { return m_axisZ = D3DXVECTOR3(x, y, z); }
D3DXVECTOR3 CPFrame::SetOrigin(float x, float y, float z) { return m_origin = D3DXVECTOR3(x, y, z); }

void CPFrame::Reset() {
    SetAxisZ(0.0f, 1.0f, 0.0f);
    const D3DXVECTOR3 x = Perpendicular(GetAxisZ());
    SetAxisX(x.x, x.y, x.z);
    SetAxisY(0.0f, 0.0f, 1.0f);
    SetOrigin(0.0f, 0.0f, 0.0f);
}

D3DXVECTOR3 CPFrame::WorldToLocalDirection(const D3DXVECTOR3& v) const {
    return D3DXVECTOR3(D3DXVec3Dot(&m_axisX, &v), D3DXVec3Dot(&m_axisZ, &v), D3DXVec3Dot(&m_axisY, &v));
}

D3DXVECTOR3 CPFrame::WorldToLocalPoint(const D3DXVECTOR3& p) const { return WorldToLocalDirection(p - GetOrigin()); }

D3DXVECTOR3 CPFrame::LocalToWorldPoint(const D3DXVECTOR3& p) const { return LocalToWorldDirection(p) + GetOrigin(); }

D3DXVECTOR3 CPFrame::LocalToWorldDirection(const D3DXVECTOR3& v) const {
    return m_axisX * v.x + m_axisZ * v.y + m_axisY * v.z;
}

void CPFrame::RebuildAxisX() {
    m_axisX = Cross(m_axisZ, m_axisY);
    const float len = D3DXVec3Length(&m_axisX);
    if (len > 0.0f) m_axisX /= len;
}

void CPFrame::SetAxisZAndRebuild(const D3DXVECTOR3& v) {
    m_axisZ = v;
    RebuildAxisX();
    m_axisY = Cross(m_axisX, m_axisZ);
}

void CPFrame::SetAxisZAndY(const D3DXVECTOR3& z, const D3DXVECTOR3& y) {
    m_axisY = y;
    SetAxisZNormalised(z);
}

void CPFrame::SetAxisZNormalised(const D3DXVECTOR3& v) {
    D3DXVECTOR3 z = v;
    const float len = D3DXVec3Length(&z);
    if (len > 0.0f) z /= len;
    SetAxisZAndRebuild(z);
}

D3DXVECTOR3 CPFrame::Perpendicular(const D3DXVECTOR3& v) const { return D3DXVECTOR3(-v.y, v.x, v.z); }

D3DXVECTOR3 CPFrame::QuarterTurn(const D3DXVECTOR3& v) const {
    return LocalToWorldDirection(Perpendicular(WorldToLocalDirection(v)));
}
