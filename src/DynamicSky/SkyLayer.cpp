#include "DynamicSky/SkyLayer.h"

#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr D3DCOLOR kLayerColour = 0x000014;

SPVertex Corner(float x, float z, float u, float v) {
    // The normal is (1, 1, 1) as the layer effects expect; the unused members stay zero.
    SPVertex s{};
    s.x = x;
    s.z = z;
    s.nx = s.ny = s.nz = 1.0f;
    s.diffuse = 0xFF000000u | kLayerColour;
    s.tu = u;
    s.tv = v;
    return s;
}

} // namespace

SkyLayer::SkyLayer() { D3DXMatrixIdentity(&baseMatrix); }

void SkyLayer::SetEffectPaths(const std::string& a, const std::string& b) {
    m_effectA = a;
    m_effectB = b;
}

void SkyLayer::AddTexture(const std::string& path) { m_texturePaths.push_back(path); }

void SkyLayer::Build(float h) {
    const std::vector<SPVertex> vertices = {Corner(-h, -h, 0, 0), Corner(h, -h, 1, 0), Corner(h, h, 1, 1),
                                            Corner(-h, h, 0, 1)};
    const std::vector<std::uint16_t> indices = {0, 1, 2, 0, 2, 3};
    Upload(vertices, indices, false);
    // A layer without texture paths draws untextured.
    if (m_textureIndex >= 0 && m_textureIndex < static_cast<int>(m_texturePaths.size()))
        LoadTexture(m_texturePaths[static_cast<std::size_t>(m_textureIndex)]);
    LoadEffect(m_effectB);
}

HRESULT SkyLayer::SelectEffect(int choice) {
    m_effectChoice = choice;
    return LoadEffect(choice == 0 ? m_effectA : m_effectB);
}

HRESULT SkyLayer::NextTexture() {
    if (m_texturePaths.empty()) return S_OK;
    ++m_textureIndex;
    if (m_textureIndex >= static_cast<int>(m_texturePaths.size())) m_textureIndex = 0;
    return LoadTexture(m_texturePaths[static_cast<std::size_t>(m_textureIndex)]);
}

void SkyLayer::SetAlpha(int alpha) {
    const D3DCOLOR colour = (static_cast<D3DCOLOR>(alpha) << 24) | kLayerColour;
    for (std::size_t i = 0; i < 4 && i < m_drawn.size(); ++i) m_drawn[i].diffuse = colour;
}

D3DXMATRIX SkyLayer::OrbitMatrix() const {
    D3DXMATRIX rotation, m;
    D3DXMatrixRotationAxis(&rotation, &axis, baseAngle - angle + kPi);
    D3DXMatrixMultiply(&m, &rotation, &baseMatrix);
    return m;
}

D3DXMATRIX SkyLayer::FacingMatrix(const D3DXVECTOR3& p) const {
    // Turn the square's normal (local y) onto the direction to the centre.
    const D3DXVECTOR3 toCentre = -p;
    D3DXVECTOR3 d;
    D3DXVec3Normalize(&d, &toCentre);
    const D3DXVECTOR3 w(d.z, 0.0f, -d.x);
    D3DXMATRIX r1;
    D3DXMatrixRotationAxis(&r1, &w, AcosClamped(d.y));

    D3DXMATRIX s;
    D3DXMatrixScaling(&s, scale, scale, scale);

    // Roll the square so that its local z axis, as r1 left it, lies along x below.
    const D3DXVECTOR3 flat(-p.x, 0.0f, -p.z);
    D3DXVECTOR3 h, h2;
    D3DXVec3Normalize(&h, &flat);
    D3DXMATRIX quarterY, r2;
    D3DXMatrixRotationY(&quarterY, kHalfPi);
    D3DXVec3TransformCoord(&h2, &h, &quarterY);
    D3DXMatrixRotationAxis(&r2, &h2, kHalfPi);
    D3DXVECTOR3 x0, x;
    D3DXVec3TransformCoord(&x0, &toCentre, &r2);
    D3DXVec3Normalize(&x, &x0);
    const D3DXVECTOR3 localZ(0.0f, 0.0f, 1.0f);
    D3DXVECTOR3 z, zx;
    D3DXVec3TransformCoord(&z, &localZ, &r1);
    D3DXVec3Cross(&zx, &z, &x);
    D3DXMATRIX r3;
    D3DXMatrixRotationAxis(&r3, &zx, AcosClamped(D3DXVec3Dot(&x, &z)));

    D3DXMATRIX t, world;
    D3DXMatrixTranslation(&t, p.x, p.y, p.z);
    D3DXMatrixMultiply(&world, &s, &r1);
    D3DXMatrixMultiply(&world, &world, &r3);
    D3DXMatrixMultiply(&world, &world, &t);
    return world;
}

void SkyLayer::Place() {
    const D3DXMATRIX orbit = OrbitMatrix();
    const D3DXVECTOR3 start(distance, 0.0f, 0.0f);
    D3DXVec3TransformCoord(&worldPosition, &start, &orbit);
    TransformVertices(FacingMatrix(worldPosition));
}

void SkyLayer::Update(float) {
    Place();
    // Keep the placed positions and the colours SetAlpha wrote.
    Upload(m_source, m_indices, true);
    Render();
}
