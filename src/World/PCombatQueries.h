#pragma once
// The level's ray and sphere queries as shots, strikes and enemies ask them. Without a level
// nothing is hit and nothing is near; the caller fills the record's origin, unit direction,
// length and excluded object.

#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"

class CPGameObject;
struct SPRayPick;

// The nearest object the ray meets (the human racer included); the record's hit point is the
// end of the shortened ray.
bool CombatRayTest(SPRayPick& pick);
// Appends the objects whose parts box meets the sphere (an object may come more than once).
void CombatRayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out);
// Whether the ray meets a racer: the opponents in order, then the player.
bool CombatHitsAnyRacer(SPRayPick& pick);
