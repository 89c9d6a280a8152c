#include "World/PProjectileShot.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PParticlesManager.h"
#include "World/PCombatQueries.h"
#include "World/PPhysics.h"
#include "World/PShotManager.h"

namespace {

// The topmost ancestor: a launcher is excluded with its whole tree.
CPGameObject* RootOf(CPGameObject* object) {
    while (object && object->GetParentPointer()) object = object->GetParentPointer();
    return object;
}

// More particles than this from one launch or end would stall the frame for nothing.
constexpr int kMaxParticlesPerEvent = 256;

float Uniform() { return static_cast<float>(Platform::EngineRand()) / static_cast<float>(Platform::ENGINE_RAND_MAX); }

} // namespace

CPProjectileShot::CPProjectileShot(const SPShotRecord& record, bool loadModel) : CPShot(record.name), m_record(record) {
    CPShot::ParseParams({record.sound});
    if (!loadModel || record.model.empty()) return;
    CPAnimationLibrary* library = CPAnimationLibrary::Instance();
    if (!library) return;
    // The model hangs under the shot, which moves it and hands it to the renderer with itself.
    if (CPSmartPtr<CPGameObject> model = library->LoadRenderDescription(record.model, 0)) {
        m_model = model;
        AddChild(model);
    }
}

CPProjectileShot::~CPProjectileShot() = default;

CPSmartPtr<CPShot> CPProjectileShot::Clone() {
    CPSmartPtr<CPProjectileShot> copy(new CPProjectileShot(m_record, false));
    if (renderPart && copy->renderPart) copy->renderPart->CopyFrom(*renderPart);
    if (copy->renderPart) copy->renderPart->SetOwner(copy.Get());
    // Copies share the prototype's look without reading its description again.
    if (m_model) {
        CPSmartPtr<CPGameObject> model(new CPGameObject(m_model->GetName()));
        model->CopyFrom(*m_model);
        copy->m_model = model;
        copy->AddChild(model);
    }
    return CPSmartPtr<CPShot>(copy.Get());
}

void CPProjectileShot::Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float launchSpeed,
                              const CPSmartPtr<CPGameObject>& owner, const float* speedReference) {
    CPShot::Launch(position, direction, launchSpeed, owner, speedReference);
    m_age = 0.0f;
    m_ended = false;
    CPGameObject* root = RootOf(owner.Get());
    m_launcher = root ? root->GetHandle() : 0;
    const float length = D3DXVec3Length(&direction);
    const D3DXVECTOR3 unit = length > 0.0f && std::isfinite(length) ? direction / length : D3DXVECTOR3(0, -1, 0);
    // Enemies and scripts launch without a speed of their own: the table's speed serves.
    const float used = launchSpeed > 0.0f ? launchSpeed : m_record.speed;
    m_velocity = m_record.projectile ? unit * used : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    SetPosition(position);
    UpdateTransform();
    AddToScene(200);
    EmitParticles(m_record.launchParticles, m_record.launchCount, position);
    if (!m_record.projectile) DamageAround(position, unit, nullptr);
}

bool CPProjectileShot::IsAlive() {
    if (m_ended) return false;
    // A script took it, or its scripted look, out of the scene (a bonus picked up).
    if (!IsInScene() || (m_model && !m_model->IsInScene())) {
        m_ended = true;
        return false;
    }
    const float dt = g_deltaTime;
    m_age += dt;
    if (m_age > m_record.lifetime) {
        End(shotPosition, -m_velocity, false);
        return false;
    }
    if (!m_record.projectile) return true;

    m_velocity.z -= kGravity * m_record.gravityFactor * dt;
    const D3DXVECTOR3 step = m_velocity * dt;
    const float length = D3DXVec3Length(&step);
    if (length > 0.0f && std::isfinite(length)) {
        const D3DXVECTOR3 unit = step / length;
        SPRayPick pick;
        pick.origin = shotPosition;
        pick.direction = unit;
        pick.distance = length;
        pick.excluded = IPMMObject::FindByHandle<CPGameObject>(m_launcher);
        if (CombatRayTest(pick) && pick.hitOwner) {
            const D3DXVECTOR3 point = pick.hitPoint;
            CPSmartPtr<CPGameObject> owner = pick.hitOwner;
            owner->NotifyDamage(point, unit, m_record.damage, false, false);
            DamageAround(point, unit, owner.Get());
            shotPosition = point;
            End(point, -unit, true);
            return false;
        }
        shotPosition += step;
        SetPosition(shotPosition);
    }
    // The ray queries never meet the ground: below it the flight ends the same way.
    if (CPPhysics* physics = CPPhysics::GetInstance(); physics && physics->HasGrid()) {
        const float ground = physics->GetTerrainHeight(shotPosition);
        if (shotPosition.z < ground) {
            const D3DXVECTOR3 unit = length > 0.0f ? step / length : D3DXVECTOR3(0.0f, 0.0f, -1.0f);
            DamageAround(shotPosition, unit, nullptr);
            End(shotPosition, D3DXVECTOR3(0.0f, 0.0f, 1.0f), true);
            return false;
        }
    }
    return true;
}

void CPProjectileShot::DamageAround(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, const CPGameObject* skip) {
    if (!(m_record.radius > 0.0f) || !(m_record.damage != 0.0f)) return;
    std::vector<CPSmartPtr<CPGameObject>> near;
    CombatRayQuery(point, m_record.radius, near);
    std::unordered_set<const CPGameObject*> done;
    for (const CPSmartPtr<CPGameObject>& object : near) {
        if (!object || object.Get() == skip || object.Get() == this) continue;
        if (m_launcher && RootOf(object.Get())->GetHandle() == m_launcher) continue;
        if (!done.insert(object.Get()).second) continue;
        object->NotifyDamage(point, direction, m_record.damage, false, false);
    }
}

void CPProjectileShot::EmitParticles(const std::string& batch, int count, const D3DXVECTOR3& point) const {
    CPParticlesManager* particles = GetParticlesManager();
    if (!particles || batch.empty() || count <= 0) return;
    const SPParticleSystemDesc* system = particles->FindSystemDesc(batch);
    SPParticleDesc particle;
    particle.name = system ? system->particleName : batch;
    particle.size = system ? system->size : 0.5f;
    particle.growth = system ? system->growth : 0.0f;
    particle.life = system ? system->life : 0.5f;
    particle.fade = system ? system->fade : true;
    particle.acceleration = system ? system->acceleration : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    const float speed = system ? system->speed : 2.0f;
    count = std::min(count, kMaxParticlesPerEvent);
    for (int i = 0; i < count; ++i) {
        // Spread evenly over every direction.
        const float z = 2.0f * Uniform() - 1.0f;
        const float a = 2.0f * D3DX_PI * Uniform();
        const float r = std::sqrt(std::fmax(0.0f, 1.0f - z * z));
        particle.position = point;
        particle.velocity = D3DXVECTOR3(r * std::cos(a), r * std::sin(a), z) * speed;
        particles->EmitParticle(particle);
    }
}

void CPProjectileShot::End(const D3DXVECTOR3& point, const D3DXVECTOR3& normal, bool spawnImpact) {
    m_ended = true;
    EmitParticles(m_record.endParticles, m_record.endCount, point);
    if (!spawnImpact || m_record.impact.empty()) return;
    if (CPShotManager* manager = CPShotManager::GetInstance()) manager->Spawn(m_record.impact, point, normal, -1.0f);
}
