// The scene object's particle systems and flames: a copied object gets its own clone of the
// source's emitter, and an object with a flame type catches fire once.

#include "Framework/PTaskKernel.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticleSystem.h"
#include "Scene/PParticlesManager.h"

void CPGameObject::CopyParticleSystemFrom(const CPGameObject& source) {
    auto* system = dynamic_cast<CPParticleSystem*>(source.m_attachment.Get());
    if (!system) return;
    CPSmartPtr<IPTask> clone;
    system->Clone(clone);
    CPSmartPtr<CPParticleSystem> copy = DynamicPtrCast<CPParticleSystem>(clone);
    if (!copy) return;
    copy->SetOwner(this);
    m_attachment = copy;
}

void CPGameObject::StartFlame() {
    if (m_flameType >= 0) {
        CPParticlesManager* manager = GetParticlesManager();
        CPSmartPtr<CPParticleSystem> system = manager ? manager->GetFlameSystem(m_flameType) : nullptr;
        if (system) {
            system->SetPriority(200);
            if (CPTaskKernel* kernel = CPTaskKernel::GetInstance()) kernel->AddTask(CPSmartPtr<IPTask>(system));
            CPSmartPtr<CPGameObject> flame(new CPGameObject("flame"));
            flame->SetAttachment(system, KindParticles);
            system->SetOwner(flame.Get());
            AddChild(flame);
            ApplyPosition(m_position);
            UpdateTransform();
        }
        // A type outside the flame table gives no flame and is not tried again.
        m_flameType = -1;
    }
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->StartFlame();
    }
}
