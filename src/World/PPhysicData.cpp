#include "World/PPhysicData.h"

#include <cmath>

#include "Framework/PSettings.h"
#include "Scene/PGameObject.h"
#include "World/PPhysics.h"

namespace {

// The rotation divided by its length; a rotation of no length stands for none.
RbQuaternion NormalisedRotation(const D3DXQUATERNION& q) {
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 0.0f) || !std::isfinite(length)) return RbQuaternion{};
    return RbQuaternion{q.x / length, q.y / length, q.z / length, q.w / length};
}

} // namespace

CPPhysicData::CPPhysicData(CPGameObject* owner) : m_owner(owner) {}

CPPhysicData::~CPPhysicData() {
    if (m_boundWorld) m_boundWorld->UnregisterBound(this);
    ForgetOwner();
    // Nothing answers for the body any more: it leaves collision detection and goes back to its
    // pool with the world.
    if (RbBody* body = GetBody()) body->SetActive(false, nullptr);
}

void CPPhysicData::ForgetOwner() {
    // The owner dies before the data (the collector takes them one pass apart): from now on
    // neither the active set nor the body's user data may lead to it.
    if (!m_owner) return;
    if (CPPhysics* world = CPPhysics::GetInstance()) world->ForgetObject(m_owner);
    if (m_boundWorld && m_boundWorld != CPPhysics::GetInstance()) m_boundWorld->ForgetObject(m_owner);
    if (RbBody* body = GetBody()) {
        if (body->GetUserData() == m_owner) body->SetUserData(nullptr);
        body->SetActive(false, nullptr);
    }
    m_owner = nullptr;
}

float CPPhysicData::MassDivisor() {
    // "weight_div" 0 or below would make every mass infinite or not a number.
    return g_weight_div > 0 ? static_cast<float>(g_weight_div) : 1.0f;
}

void CPPhysicData::SetShape(float a, float b, float c, float mass) {
    m_bodyShape.kind = 0;
    m_bodyShape.geometry = nullptr;
    m_bodyShape.size1 = b;
    m_bodyShape.size2 = a;
    m_bodyShape.size3 = c;
    m_bodyShape.mass = mass / MassDivisor();
}

void CPPhysicData::AddBoxShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float size1, float size2,
                               float size3, float mass) {
    SPPhysicShape shape;
    shape.kind = 0;
    shape.offset = offset;
    shape.rotation = rotation;
    shape.size1 = size1;
    shape.size2 = size2;
    shape.size3 = size3;
    shape.mass = mass / MassDivisor();
    m_shapes.push_back(shape);
}

void CPPhysicData::AddCylinderShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float diameter,
                                    float height, float mass) {
    SPPhysicShape shape;
    shape.kind = 1;
    shape.offset = offset;
    shape.rotation = rotation;
    shape.size1 = 5.0f;
    shape.size2 = height;
    shape.size3 = 5.0f;
    shape.diameter = diameter;
    shape.mass = mass * 0.0025f;
    m_shapes.push_back(shape);
}

RbBody* CPPhysicData::GetBody() const {
    if (m_animatedBody) return m_animatedBody;
    return m_rigidBody;
}

void CPPhysicData::ForgetBodies() {
    m_rigidBody = nullptr;
    m_animatedBody = nullptr;
    for (SPPhysicShape& shape : m_shapes) shape.geometry = nullptr;
    m_bodyShape.geometry = nullptr;
    m_candidateCount = 0;
}

void CPPhysicData::SetPosition(const D3DXVECTOR3& position) {
    const RbVector p = RbVec(position.x, position.y, position.z);
    if (m_animatedBody)
        m_animatedBody->SetPosition(p);
    else if (m_rigidBody)
        m_rigidBody->SetPosition(p);
}

void CPPhysicData::SetBodyRotation(const D3DXQUATERNION& rotation) {
    const RbQuaternion q{rotation.x, rotation.y, rotation.z, rotation.w};
    if (m_animatedBody)
        m_animatedBody->SetRotation(q);
    else if (m_rigidBody)
        m_rigidBody->SetRotation(q);
}

CPSmartPtr<IPPhysicData> CPPhysicData::CopyShapesFor(CPGameObject* owner) const {
    CPSmartPtr<CPPhysicData> copy(new CPPhysicData(owner));
    copy->m_bodyShape = m_bodyShape;
    copy->m_bodyShape.geometry = nullptr;
    copy->m_shapes = m_shapes;
    for (SPPhysicShape& shape : copy->m_shapes) shape.geometry = nullptr;
    copy->m_particle = m_particle;
    return CPSmartPtr<IPPhysicData>(copy);
}

void CPPhysicData::AddToWorld(int tag) {
    if (HasBody()) return;
    CPPhysics* world = CPPhysics::GetInstance();
    if (!world || !m_owner) return;
    world->AddBody(CPSmartPtr<CPGameObject>(m_owner), true, tag);
    CreateBody();
}

void CPPhysicData::RemoveFromWorld() {
    if (!HasBody()) return;
    if (CPPhysics* world = CPPhysics::GetInstance()) world->RemoveBody(CPSmartPtr<CPPhysicData>(this));
}

void CPPhysicData::CreateBody() {
    if (!m_rigidBody) return;
    const float mass = m_bodyShape.mass;
    if (mass > 0.0f) {
        m_rigidBody->SetBodyInertia(RbBoxInertia(RbVec(m_bodyShape.size1, m_bodyShape.size3, m_bodyShape.size2), mass));
    }
    m_rigidBody->SetMass(mass);
    if (m_owner) {
        const D3DXVECTOR3& p = m_owner->GetPosition();
        m_rigidBody->SetPosition(RbVec(p.x, p.y, p.z));
        m_rigidBody->SetRotation(NormalisedRotation(m_owner->GetRotationQuaternion()));
    }
    m_rigidBody->UpdateBounds();
}
