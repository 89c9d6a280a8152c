#include "World/PCombatQueries.h"

#include "Scene/PGameObject.h"
#include "World/PLevel.h"

bool CombatRayTest(SPRayPick& pick) {
    CPLevel* level = CPLevel::GetInstance();
    return level && level->RayTest(pick);
}

void CombatRayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out) {
    if (CPLevel* level = CPLevel::GetInstance()) level->RayQuery(point, radius, out);
}

bool CombatHitsAnyRacer(SPRayPick& pick) {
    CPLevel* level = CPLevel::GetInstance();
    return level && level->HitsAnyRacer(pick);
}
