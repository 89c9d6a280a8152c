// The scene object's particle systems and flames. Until the particle classes exist, a copy
// gets no particle system and no object catches fire; the walk over the children stands.

#include "Scene/PGameObject.h"

void CPGameObject::CopyParticleSystemFrom(const CPGameObject&) {}

void CPGameObject::StartFlame() {
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->StartFlame();
    }
}
