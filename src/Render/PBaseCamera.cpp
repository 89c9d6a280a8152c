#include "Render/PBaseCamera.h"

#include "Platform/Math/D3DXMath.h"

CPBaseCamera::CPBaseCamera() {
    D3DXMatrixIdentity(&m_view);
    D3DXMatrixIdentity(&m_projection);
    D3DXMatrixIdentity(&m_skyView);
    D3DXMatrixIdentity(&m_inverseSkyView);
}
