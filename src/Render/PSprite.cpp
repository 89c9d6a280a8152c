#include "Render/PSprite.h"

#include <cmath>

#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderSeams.h"
#include "Render/PVertexEffect.h"

namespace {

// The low eight bits of the value truncated to an integer; a value no integer can hold (a
// hostile cone angle) gives the same bits the modulus gives, never an undefined conversion.
std::uint8_t LowByte(float value) {
    if (!std::isfinite(value)) return 0;
    double bits = std::fmod(std::trunc(static_cast<double>(value)), 256.0);
    if (bits < 0.0) bits += 256.0;
    return static_cast<std::uint8_t>(bits);
}

D3DCOLOR Grey(std::uint8_t b) { return static_cast<D3DCOLOR>(b) * 0x01010101u; }

D3DXVECTOR3 Translation(const D3DXMATRIX& m) { return D3DXVECTOR3(m._41, m._42, m._43); }

IPSceneObject* TopmostAncestor(IPSceneObject* object) {
    IPSceneObject* root = object;
    while (IPSceneObject* parent = root->GetParentObject()) root = parent;
    return root;
}

} // namespace

CPSprite::CPSprite(float size) : m_halfWidth(size), m_halfHeight(size) {}

CPSprite::~CPSprite() {
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
    m_owner = nullptr;
}

void CPSprite::AddVertexEffect(CPVertexEffect* effect) {
    if (!effect) return;
    m_vertexEffects.push_back(effect);
    m_effectsEnabled = true;
}

void CPSprite::CopyFrom(const CPSprite& source) {
    if (&source == this) return;
    m_halfWidth = source.m_halfWidth;
    m_halfHeight = source.m_halfHeight;
    m_material = source.m_material;
    m_rotation = source.m_rotation;
    m_vShift = source.m_vShift;
    m_colour = source.m_colour;
    m_uStart = source.m_uStart;
    m_vStart = source.m_vStart;
    m_uEnd = source.m_uEnd;
    m_direction = source.m_direction;
    m_coneAngle = source.m_coneAngle;
    m_name = source.m_name;
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
    for (const CPVertexEffect* effect : source.m_vertexEffects)
        if (CPVertexEffect* clone = effect->Clone()) m_vertexEffects.push_back(clone);
    m_effectsEnabled = source.m_effectsEnabled;
    m_computed = false;
    m_visible = true;
    m_flareReported = false;
    m_intensity = 0;
}

bool CPSprite::UpdateVisibility() const {
    if (m_computed) return m_visible;
    m_computed = true;

    const CPPerspectiveCamera* camera = g_currentViewCamera;
    if (!camera || !m_owner) {
        m_visible = false;
        return m_visible;
    }

    if (m_coneAngle < 0.0f) {
        if (m_coneAngle <= -0.1f) {
            m_visible = true;
            m_intensity = LowByte(-m_coneAngle * 255.0f);
            m_colour = Grey(m_intensity);
        } else {
            m_visible = false;
        }
        return m_visible;
    }
    if (m_coneAngle == 0.0f || !(m_coneAngle > 0.0f)) {
        // 0, and a NaN angle that no comparison can place: always visible, colour unchanged.
        m_visible = true;
        return m_visible;
    }

    // The direction to the camera in the ground plane against the sprite's facing direction
    // turned with the owner's topmost ancestor.
    const D3DXVECTOR3 position = Translation(m_owner->GetWorldMatrix());
    D3DXVECTOR3 toCamera = camera->eye - position;
    toCamera.z = 0.0f;
    IPSceneObject* root = TopmostAncestor(m_owner);
    const D3DXQUATERNION rotation = root->GetRotation();
    D3DXMATRIX turn;
    D3DXMatrixRotationQuaternion(&turn, &rotation);
    D3DXVECTOR3 facing;
    D3DXVec3TransformCoord(&facing, &m_direction, &turn);
    D3DXVec3Normalize(&facing, &facing);
    D3DXVec3Normalize(&toCamera, &toCamera);
    const float angle = std::fabs(AcosClamped(D3DXVec3Dot(&facing, &toCamera)));
    if (angle > m_coneAngle) {
        m_visible = false;
        return m_visible;
    }
    m_visible = true;
    m_intensity = static_cast<std::uint8_t>((1.0f - angle / m_coneAngle) * 255.0f);
    m_colour = Grey(m_intensity);
    if (!m_name.empty() && !m_flareReported) {
        ReportFlare(root);
        m_flareReported = true;
    }
    return m_visible;
}

void CPSprite::ReportFlare(IPSceneObject* root) const {
    IPRaceWorld& world = GetRaceWorld();
    if (!world.HasLevel()) return;
    const CPPerspectiveCamera* camera = world.GetViewCamera();
    if (!camera) return;

    // The world position from the owner's place under its parent; a root owner's own place.
    D3DXVECTOR3 position;
    if (const IPSceneObject* parent = m_owner->GetParentObject()) {
        const D3DXVECTOR3 local = m_owner->GetRelativePosition();
        D3DXVec3TransformCoord(&position, &local, &parent->GetWorldMatrix());
    } else {
        position = Translation(m_owner->GetWorldMatrix());
    }
    const D3DXVECTOR3 offset = camera->eye - position;
    const float distance = D3DXVec3Length(&offset);
    const float scale = std::fmax(1.0f, distance * 0.06666667f);

    SPFlareSource source;
    source.position = position;
    source.intensity = static_cast<std::uint8_t>(static_cast<float>(m_intensity) / scale);
    source.root = root;
    source.name = m_name;
    source.distance = distance;
    source.nearFactor = distance > 6.0f ? 1.0f : 6.0f - distance + 1.0f;
    world.AddFlareSource(source);
}

void CPSprite::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int) {
    if (!UpdateVisibility()) {
        m_computed = false;
        m_flareReported = false;
        return;
    }

    // Camera-to-world with the owner's position in place of the eye, turned about the viewing
    // axis first: the quad faces the camera whatever its own orientation.
    D3DXMATRIX place = g_currentViewCamera->GetInverseView();
    const D3DXVECTOR3 position = Translation(m_owner->GetWorldMatrix());
    place._41 = position.x;
    place._42 = position.y;
    place._43 = position.z;
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, m_rotation);
    const D3DXMATRIX billboard = turn * place;

    // v runs over the quad's aspect ratio so the picture keeps its proportions; a quad of no
    // width has no proportions to keep.
    const float vStart = m_vStart + m_vShift;
    const float vEnd = vStart + (m_halfWidth != 0.0f ? m_halfHeight / m_halfWidth : 0.0f);
    const float corners[4][4] = {{-m_halfWidth, -m_halfHeight, m_uStart, vStart},
                                 {m_halfWidth, -m_halfHeight, m_uEnd, vStart},
                                 {m_halfWidth, m_halfHeight, m_uEnd, vEnd},
                                 {-m_halfWidth, m_halfHeight, m_uStart, vEnd}};
    SPVertex quad[4] = {};
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3 local(corners[i][0], corners[i][1], 0.0f);
        D3DXVECTOR3 world;
        D3DXVec3TransformCoord(&world, &local, &billboard);
        quad[i].x = world.x;
        quad[i].y = world.y;
        quad[i].z = world.z;
        quad[i].diffuse = m_colour;
        quad[i].tu = corners[i][2];
        quad[i].tv = corners[i][3];
    }
    if (m_effectsEnabled)
        for (CPVertexEffect* effect : m_vertexEffects) effect->Apply(quad, quad, 4);

    for (int i = 0; i < 4; ++i) vertices[i] = quad[i];
    static constexpr std::uint16_t kOrder[6] = {0, 2, 1, 0, 3, 2};
    for (int i = 0; i < 6; ++i) indices[i] = static_cast<std::uint16_t>(baseIndex + kOrder[i]);

    m_computed = false;
    m_flareReported = false;
}
