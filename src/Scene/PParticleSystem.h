#pragma once
// An emitter: a task that, at a fixed interval, emits one particle chain made of its
// descriptions (each later one the follow-up of the one before), and that can burn: damage to
// a target object and to its owner's scripted ancestor at every emission, the fire look on that
// ancestor halfway through its lifetime, and a stop when the lifetime is over. Scene objects
// carry emitters as attachments; the particle manager keeps the fire emitters that burning
// objects clone.

#include <string>
#include <vector>

#include "Framework/PTaskKernel.h"
#include "Scene/PParticleDesc.h"

class CPGameObject;

class CPParticleSystem : public IPTask {
public:
    // Takes a copy of each named description that the particle manager knows (normalising its
    // direction in the manager's table); unknown names are skipped.
    CPParticleSystem(CPGameObject* owner, const std::vector<std::string>& names);
    ~CPParticleSystem() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPParticleSystem)); }
    std::string GetClassName() const override { return "CPParticleSystem"; }
    int GetKind() const override { return 1; }
    // Restarts the clocks, also when already running (and then answers false).
    bool Start() override;
    void Update() override;
    // A new system with the same owner, names, descriptions, values and target; the clocks
    // start afresh. The caller sets the owner.
    void Clone(CPSmartPtr<IPTask>& out) override;

    void Emit();
    // The particle for one description; the first one starts at the owner's position.
    SPParticleDesc SpawnParticle(const SPParticleSystemDesc& description, bool first) const;

    // The most emissions one update makes; a smaller interval skips the rest of the frame.
    static constexpr int kMaxEmissionsPerUpdate = 1000;

    void SetInterval(float interval) { m_interval = interval; }
    void SetLifetime(float lifetime) { m_lifetime = lifetime; }
    void SetDamage(float damage) { m_damage = damage; }
    void SetOwner(CPGameObject* owner) { m_owner = owner; }
    void SetTarget(const CPSmartPtr<CPGameObject>& target);

    float GetInterval() const { return m_interval; }
    float GetLifetime() const { return m_lifetime; }
    float GetDamage() const { return m_damage; }
    float GetAccumulated() const { return m_accumulated; }
    float GetElapsed() const { return m_elapsed; }
    CPGameObject* GetOwner() const { return m_owner; }
    CPGameObject* GetTarget() const { return m_target.Get(); }
    const std::vector<SPParticleSystemDesc>& GetDescriptions() const { return m_descriptions; }
    const std::vector<std::string>& GetNames() const { return m_names; }

private:
    // "damage" to the target, if any, at its position from a random direction.
    void DamageTarget();
    // "damage" to the owner's scripted ancestor, with a zero point and direction.
    void DamageOwner();
    // The fire look on the owner's scripted ancestor and its subtree.
    void BurnOwner();

    std::vector<SPParticleSystemDesc> m_descriptions;
    std::vector<std::string> m_names;
    float m_accumulated = 0.0f;
    float m_interval = 0.5f;
    float m_lifetime = -1.0f;
    float m_elapsed = 0.0f;
    float m_damage = 0.0f;
    CPSmartPtr<CPGameObject> m_target;
    CPGameObject* m_owner = nullptr;
};
