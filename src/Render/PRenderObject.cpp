#include "Render/PRenderObject.h"

#include <cmath>
#include <cstring>

#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRender.h"
#include "Render/PRenderSeams.h"
#include "Render/PVertexEffect.h"

namespace {

// out's position = in's position by the whole matrix, out's normal = in's normal by its 3x3
// part (not renormalised); the other fields of out are left alone. in and out may be one.
void TransformPositionAndNormal(const SPVertex& in, SPVertex& out, const D3DXMATRIX& m) {
    const D3DXVECTOR3 p(in.x, in.y, in.z), n(in.nx, in.ny, in.nz);
    D3DXVECTOR3 wp, wn;
    D3DXVec3TransformCoord(&wp, &p, &m);
    D3DXVec3TransformNormal(&wn, &n, &m);
    out.x = wp.x;
    out.y = wp.y;
    out.z = wp.z;
    out.nx = wn.x;
    out.ny = wn.y;
    out.nz = wn.z;
}

} // namespace

CPRenderObject::CPRenderObject(IPSceneObject* owner) : m_owner(owner) { D3DXMatrixIdentity(&m_worldMatrix); }

CPRenderObject::~CPRenderObject() {
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
}

void CPRenderObject::SetMesh(std::vector<SPVertex> vertices, std::vector<std::uint16_t> indices) {
    m_modelVertices = std::move(vertices);
    m_indices = std::move(indices);
    m_worldVertices = m_modelVertices;
}

void CPRenderObject::MatchWorldVertices() {
    const std::size_t model = m_modelVertices.size();
    const std::size_t world = m_worldVertices.size();
    if (world == model) return;
    m_worldVertices.resize(model);
    for (std::size_t i = world; i < model; ++i) m_worldVertices[i] = m_modelVertices[i];
}

void CPRenderObject::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int) {
    if (m_fillSkipped) return;
    // The ring counted the model vertices for this object, so the world copy must match them
    // before it is written (a loader may have filled only the model vertices).
    MatchWorldVertices();
    if (m_worldVertices.empty()) return;
    if (m_owner && m_owner->IsTransformChanged()) {
        UpdateWorldVertices();
        m_owner->ClearTransformChanged();
    }
    const int count = static_cast<int>(m_worldVertices.size());
    if (!m_vertexEffects.empty()) {
        m_vertexEffects[0]->Apply(vertices, m_worldVertices.data(), count);
        for (std::size_t i = 1; i < m_vertexEffects.size(); ++i) m_vertexEffects[i]->Apply(vertices, vertices, count);
    } else {
        std::memcpy(vertices, m_worldVertices.data(), static_cast<std::size_t>(count) * sizeof(SPVertex));
    }
    for (std::size_t i = 0; i < m_indices.size(); ++i)
        indices[i] = static_cast<std::uint16_t>(baseIndex + m_indices[i]);
}

void CPRenderObject::FillIndices(std::uint16_t* indices, int, int& first, int& last) {
    MatchWorldVertices();
    if (m_worldVertices.empty() || m_indices.empty()) return;
    std::memcpy(indices, m_indices.data(), m_indices.size() * sizeof(std::uint16_t));
    first = m_indices.front();
    last = m_indices.back();
}

void CPRenderObject::SetEffect(const CPSmartPtr<CPMaterial>& material) {
    m_material = material;
    m_name = material ? material->GetClassName() : std::string();
}

void CPRenderObject::UpdateWorldVertices() {
    if (m_fillSkipped) return;
    MatchWorldVertices();
    D3DXMATRIX m;
    if (m_owner)
        m = m_owner->GetWorldMatrix();
    else
        D3DXMatrixIdentity(&m);
    for (std::size_t k = 0; k < m_modelVertices.size(); ++k) {
        const SPVertex& model = m_modelVertices[k];
        SPVertex& world = m_worldVertices[k];
        TransformPositionAndNormal(model, world, m);
        world.diffuse = model.diffuse;
    }
    if (m_deformable) {
        for (SPDamagePart& part : m_damageParts) {
            if (part.damage >= 1.0f) continue;
            D3DXMATRIX boxWorld;
            D3DXMatrixMultiply(&boxWorld, &part.box.GetLocalMatrix(), &m);
            part.box.SetWorldMatrix(boxWorld);
            part.box.Update();
        }
    }
}

void CPRenderObject::ApplyImpactDeformation(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float force) {
    if (!m_deformable || !(force > 0.01f)) return;
    for (SPDamagePart& part : m_damageParts) {
        if (part.damage >= 1.0f) continue;
        float reach = 1.7f;
        D3DXPLANE plane;
        if (!part.box.IntersectRay(point, direction, reach, plane)) continue;
        part.damage += force;
        for (auto& list : part.references) {
            for (SPVertexReference& reference : list) {
                SPVertex* v = reference.vertex;
                if (!v) continue;
                auto angle = [] { return 0.05f - static_cast<float>(Platform::EngineRand()) / 32767.0f * 0.1f; };
                const float yaw = angle();
                const float pitch = angle();
                const float roll = angle();
                D3DXMATRIX rotation;
                D3DXMatrixRotationYawPitchRoll(&rotation, yaw, pitch, roll);
                D3DXVECTOR3 normal(v->nx, v->ny, v->nz);
                D3DXVec3TransformNormal(&normal, &normal, &rotation);
                D3DXVec3Normalize(&normal, &normal);
                v->nx = normal.x;
                v->ny = normal.y;
                v->nz = normal.z;
                v->diffuse = 0x96FFFFFF;
            }
        }
    }
}

void CPRenderObject::TransformVertices(const D3DXMATRIX& matrix) {
    for (SPVertex& v : m_modelVertices) TransformPositionAndNormal(v, v, matrix);
}

void CPRenderObject::AddVertexEffect(CPVertexEffect* effect) {
    if (!effect) return;
    m_vertexEffects.push_back(effect);
}

SPStaticBuffer* CPRenderObject::GetStaticBuffer() const { return static_cast<SPStaticBuffer*>(m_staticBuffer.Get()); }

void CPRenderObject::SetStaticBufferRecord(const std::string& name, SPStaticBuffer* record) {
    m_staticBufferName = name;
    m_staticBuffer = record;
}

bool CPRenderObject::SetStaticBuffer(const std::string& name) {
    m_staticBufferName = name;
    CPRender* render = GetRender();
    SPStaticBuffer* record = nullptr;
    if (render && !m_modelVertices.empty())
        record = render->CreateStaticBuffers(name, m_modelVertices.data(), m_indices.data(), GetVertexCount(),
                                             GetIndexCount());
    m_staticBuffer = record;
    return record != nullptr;
}

void CPRenderObject::CopyFrom(const CPRenderObject& source) {
    m_modelVertices = source.m_modelVertices;
    m_worldVertices = source.m_worldVertices;
    m_indices = source.m_indices;
    MatchWorldVertices();
    m_material = source.GetMaterial();
    // Fill-skipped only with buffers to draw from: without them (no renderer any more) the copy
    // would never be drawn, so it draws through the ring instead.
    m_fillSkipped = source.IsFillSkipped() && SetStaticBuffer(source.m_staticBufferName);
    if (source.HasVertexEffects() && m_owner) m_owner->SetStatic(false);
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
    for (const CPVertexEffect* effect : source.m_vertexEffects)
        if (CPVertexEffect* clone = effect->Clone()) m_vertexEffects.push_back(clone);
}
