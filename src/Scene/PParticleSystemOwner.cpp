// What an emitter asks of the objects it is attached to and burns. The scene object class does
// not exist in this library yet: until it does, an emitter has no world matrix to follow (it
// emits around the origin) and nothing to damage or burn.
#include "Scene/PParticleSystem.h"

namespace ParticleSystemOwner {

const D3DXMATRIX* WorldMatrix(const CPGameObject*) { return nullptr; }
IPMMObject* AsObject(CPGameObject*) { return nullptr; }
CPGameObject* FromObject(IPMMObject*) { return nullptr; }
void DamageTarget(CPGameObject*, const D3DXVECTOR3&, float) {}
void DamageOwner(CPGameObject*, float) {}
void BurnOwner(CPGameObject*) {}

} // namespace ParticleSystemOwner
