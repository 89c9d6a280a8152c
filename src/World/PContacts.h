#pragma once
// What a racer's contacts do inside the physics step: car against car (shove or takedown),
// car against the ground or a wall (dent, sparks, push), and the two spark emitters.

#include "Physics/RbTypes.h"
#include "Platform/Math/D3DXTypes.h"

namespace Contacts {

// The simulator's collision callback; only contacts whose body A is a racer count.
void OnContact(RbCollisionInfo* info);

// Sparks from a scrape: about count of them (half to all), within the per-frame effect budget.
// Answers how many were emitted.
int EmitSparks(const D3DXVECTOR3& point, const D3DXVECTOR3& normal, const D3DXVECTOR3& direction, int count,
               float floor);
// Sparks of two cars meeting, thrown along the motion; slow contacts make none. Answers how
// many were emitted (both sizes).
int EmitCollisionSparks(const D3DXVECTOR3& point, const D3DXVECTOR3& up, const D3DXVECTOR3& motion, int count,
                        float floor, const D3DXVECTOR3& reference);

// The share of the per-frame effect budget that sparks may use.
constexpr int kSparkBudget = 40;

} // namespace Contacts
