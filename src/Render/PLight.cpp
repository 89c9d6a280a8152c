#include "Render/PLight.h"

#include <cstring>

#include "Render/PRenderSeams.h"

CPLight::CPLight() {
    m_light = D3DLIGHT9();
    m_light.Type = static_cast<D3DLIGHTTYPE>(0);
}

const D3DLIGHT9* CPLight::GetLight() {
    if (m_owner) {
        const D3DXMATRIX& world = m_owner->GetWorldMatrix();
        m_light.Position.x = world._41;
        m_light.Position.y = world._42;
        m_light.Position.z = world._43;
    }
    return &m_light;
}
