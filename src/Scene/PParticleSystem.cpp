#include "Scene/PParticleSystem.h"

#include <cmath>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"
#include "Platform/System/Random.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticlesManager.h"

namespace {

constexpr float kDegree = 0.017453292f;

float UnitRandom() {
    return static_cast<float>(Platform::EngineRand()) / static_cast<float>(Platform::ENGINE_RAND_MAX);
}

} // namespace

CPParticleSystem::CPParticleSystem(CPGameObject* owner, const std::vector<std::string>& names)
    : m_names(names), m_owner(owner) {
    CPParticlesManager* manager = GetParticlesManager();
    if (!manager) return;
    for (const std::string& name : names) {
        SPParticleSystemDesc* desc = manager->FindSystemDesc(name);
        if (!desc) continue;
        D3DXVec3Normalize(&desc->direction, &desc->direction);
        m_descriptions.push_back(*desc);
    }
}

CPParticleSystem::~CPParticleSystem() = default;

bool CPParticleSystem::Start() {
    m_accumulated = 0.0f;
    m_elapsed = 0.0f;
    return IPTask::Start();
}

void CPParticleSystem::SetTarget(const CPSmartPtr<CPGameObject>& target) { m_target = target; }

void CPParticleSystem::DamageOwner() {
    if (!m_owner) return;
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    if (CPSmartPtr<CPGameObject> ancestor = m_owner->GetScriptedAncestor())
        ancestor->NotifyDamage(zero, zero, m_damage, false, false);
}

void CPParticleSystem::BurnOwner() {
    if (!m_owner) return;
    if (CPSmartPtr<CPGameObject> ancestor = m_owner->GetScriptedAncestor()) ancestor->ApplyFireMaterial();
}

void CPParticleSystem::DamageTarget() {
    CPGameObject* target = GetTarget();
    if (!target) return;
    const float rx = UnitRandom() - 0.5f;
    const float ry = UnitRandom() - 0.5f;
    const float rz = UnitRandom() - 0.5f;
    // The handle keeps the target while its damage handlers run.
    CPSmartPtr<CPGameObject> held(target);
    held->NotifyDamage(held->GetPosition(), D3DXVECTOR3(rx, ry, rz), m_damage, false, false);
}

void CPParticleSystem::Update() {
    const float dt = g_deltaTime;
    const float previous = m_accumulated;
    m_accumulated += dt;
    const bool burning = m_lifetime * 0.5f > m_elapsed;
    if (!(m_interval > 0.0f)) {
        // An interval of 0 or less (or not a number) would never be used up: such a system
        // emits once per update that advances time and carries nothing over.
        m_accumulated = 0.0f;
        if (dt > 0.0f) {
            DamageTarget();
            m_elapsed += dt;
            DamageOwner();
            Emit();
            if (m_lifetime > 0.0f && m_lifetime < m_elapsed) Stop();
        }
        if (burning && !(m_lifetime * 0.5f > m_elapsed)) BurnOwner();
        return;
    }
    int emissions = 0;
    while (m_accumulated > m_interval) {
        DamageTarget();
        m_accumulated -= m_interval;
        m_elapsed += m_interval;
        DamageOwner();
        Emit();
        if (m_lifetime > 0.0f && m_lifetime < m_elapsed) Stop();
        // An interval far below the frame time would emit almost without end (or, below the
        // resolution of the accumulated time, never use it up): the rest of such a frame is
        // skipped whole intervals at a time, keeping the phase.
        if (++emissions == kMaxEmissionsPerUpdate && m_accumulated > m_interval) {
            const float skipped = m_accumulated - std::fmod(m_accumulated, m_interval);
            m_accumulated -= skipped;
            m_elapsed += skipped;
            if (m_lifetime > 0.0f && m_lifetime < m_elapsed) Stop();
            break;
        }
    }
    if (burning && !(m_lifetime * 0.5f > m_elapsed)) BurnOwner();
    // The loop counted the emitted intervals; this adds the rest, so elapsed grows by the frame time.
    m_elapsed += m_accumulated - previous;
}

void CPParticleSystem::Emit() {
    if (m_descriptions.empty()) return;
    CPParticlesManager* manager = GetParticlesManager();
    SPParticleDesc head = SpawnParticle(m_descriptions[0], true);
    std::unique_ptr<SPParticleDesc>* tail = &head.followUp;
    for (std::size_t i = 1; i < m_descriptions.size(); ++i) {
        *tail = std::make_unique<SPParticleDesc>(SpawnParticle(m_descriptions[i], false));
        tail = &(*tail)->followUp;
    }
    if (manager) manager->EmitParticle(head);
}

SPParticleDesc CPParticleSystem::SpawnParticle(const SPParticleSystemDesc& d, bool first) const {
    SPParticleDesc p;
    p.name = d.particleName;
    p.life = d.life;
    p.fade = d.fade;
    p.size = d.size;
    p.growth = d.growth;
    p.acceleration = d.acceleration;

    D3DXMATRIX world;
    if (m_owner)
        world = m_owner->GetWorldMatrix();
    else
        D3DXMatrixIdentity(&world);

    const float ox = UnitRandom() * 2.0f * d.spread.x - d.spread.x;
    const float oy = UnitRandom() * 2.0f * d.spread.y - d.spread.y;
    const float oz = UnitRandom() * 2.0f * d.spread.z - d.spread.z;
    p.position = D3DXVECTOR3(ox, oy, oz);
    if (first) p.position += D3DXVECTOR3(world._41, world._42, world._43);

    const float heading = static_cast<float>(Platform::EngineRand() % 360) * kDegree;
    // A cone whose half truncates to 0 (angles of -1 to 1) is a cone of 0.
    const int halfCone = d.coneAngle / 2;
    const float tilt = halfCone != 0 ? static_cast<float>(Platform::EngineRand() % halfCone) * kDegree : 0.0f;
    D3DXVECTOR3 v(std::cos(heading) * std::sin(tilt) * d.speed, std::sin(heading) * std::sin(tilt) * d.speed,
                  std::cos(tilt) * d.speed);

    const D3DXVECTOR3 axis(-d.direction.y, d.direction.x, 0.0f);
    D3DXMATRIX turn;
    D3DXMatrixRotationAxis(&turn, &axis, AcosClamped(d.direction.z));
    D3DXVec3TransformNormal(&v, &v, &turn);
    D3DXVec3TransformNormal(&v, &v, &world);
    p.velocity = v;
    return p;
}

void CPParticleSystem::Clone(CPSmartPtr<IPTask>& out) {
    CPParticleSystem* copy = new CPParticleSystem(m_owner, m_names);
    copy->m_interval = m_interval;
    copy->m_lifetime = m_lifetime;
    copy->m_damage = m_damage;
    copy->m_target = m_target;
    copy->m_names = m_names;
    copy->m_descriptions = m_descriptions;
    out = copy;
}
