#pragma once
// The shot kind every line of the shot table makes: a projectile flies from its launch point at
// its speed, pulled down by gravity, until it meets something, falls below the ground or its
// lifetime runs out; an effect stays where it was launched and damages what is near it once.

#include "World/PShot.h"
#include "World/PWorldTables.h"

class CPProjectileShot : public CPShot {
public:
    // With loadModel, the record's render description (when it names one and the animation
    // library exists) becomes the shot's child.
    explicit CPProjectileShot(const SPShotRecord& record, bool loadModel = true);
    ~CPProjectileShot() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPProjectileShot)); }

    // A copy of this shot's record and sound, out of the scene.
    CPSmartPtr<CPShot> Clone() override;
    // Moves it by a frame, then tests the covered segment; false once it has ended.
    bool IsAlive() override;
    // The shot's own launch, then its place, the scene, the effect's damage, particles.
    void Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float speed,
                const CPSmartPtr<CPGameObject>& owner, const float* speedReference) override;

    const SPShotRecord& GetRecord() const { return m_record; }
    // The look loaded from the record's render description; empty for none.
    const CPSmartPtr<CPGameObject>& GetModel() const { return m_model; }
    float GetAge() const { return m_age; }
    const D3DXVECTOR3& GetVelocity() const { return m_velocity; }

    // The world's pull on a projectile whose gravity factor is 1 (units per second squared).
    static constexpr float kGravity = 9.81f;

private:
    // Damage to every object near the point but the one already hit and the launcher.
    void DamageAround(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, const CPGameObject* skip);
    void EmitParticles(const std::string& batch, int count, const D3DXVECTOR3& point) const;
    // Ends the flight: its end particles and, after a hit, its impact shot.
    void End(const D3DXVECTOR3& point, const D3DXVECTOR3& normal, bool spawnImpact);

    SPShotRecord m_record;
    CPSmartPtr<CPGameObject> m_model;
    D3DXVECTOR3 m_velocity{0.0f, 0.0f, 0.0f};
    float m_age = 0.0f;
    bool m_ended = false;
    // The launcher's root by handle: it is never hit, and the shot does not keep it alive.
    PMMHandle m_launcher = 0;
};
