#pragma once
// A camera that only holds matrices: the view and projection a render group is drawn with,
// plus the sky's view and projection. The renderer's fixed screen camera is one of these.

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"

class CPBaseCamera : public IPMMObject {
public:
    // View, projection, sky view and inverse sky view start as identity.
    CPBaseCamera();

    int GetSize() const override { return static_cast<int>(sizeof(CPBaseCamera)); }
    std::string GetClassName() const override { return "CPBaseCamera"; }

    // Replaces the view matrix; nothing else changes.
    void SetMatrix(const D3DXMATRIX& m) { m_view = m; }

    const D3DXMATRIX& GetView() const { return m_view; }
    const D3DXMATRIX& GetProjection() const { return m_projection; }
    // Written only by a perspective camera's update (far plane 1000); zero until then.
    const D3DXMATRIX& GetSkyProjection() const { return m_skyProjection; }
    // Rotation only: the sky follows the camera's orientation but not its position.
    const D3DXMATRIX& GetSkyView() const { return m_skyView; }
    const D3DXMATRIX& GetInverseSkyView() const { return m_inverseSkyView; }

protected:
    D3DXMATRIX m_view;
    D3DXMATRIX m_projection;
    D3DXMATRIX m_skyProjection;
    D3DXMATRIX m_skyView;
    D3DXMATRIX m_inverseSkyView;
};
