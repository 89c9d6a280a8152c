#include "World/PCombatQueries.h"

#include "Scene/PGameObject.h"
#include "World/PLevel.h"

bool CombatRayTest(SPRayPick& pick) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) return false;
    bool hit = false;
    if (level->humanRacer && level->humanRacer->RayPick(pick)) hit = true;
    pick.hitPoint = pick.origin + pick.direction * pick.distance;
    return hit;
}

void CombatRayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    if (level->humanRacer && level->humanRacer->GetPickBounds().IsWithinDistance(point, radius))
        out.push_back(level->humanRacer);
}

bool CombatHitsAnyRacer(SPRayPick& pick) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level || !level->player) return false;
    return level->player->RayPick(pick);
}
