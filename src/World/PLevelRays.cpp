#include <cmath>

#include "Framework/PSettings.h"
#include "World/PLevel.h"

namespace {

// Half the side of the square around the human racer within which a ray tests the movable
// objects: they only live near the player.
constexpr float kNearRacer = 30.0f;

} // namespace

bool CPLevel::IsRayNearRacer(const SPRayPick& pick, const D3DXVECTOR3& racer) {
    const float h = pick.distance / 2.0f;
    const D3DXVECTOR3 middle = pick.origin + pick.direction * h;
    const D3DXVECTOR3 d = racer - middle;
    const float ax = std::fabs(pick.direction.x);
    const float ay = std::fabs(pick.direction.y);
    return std::fabs(d.x) <= ax * h + kNearRacer && std::fabs(d.y) <= ay * h + kNearRacer &&
           std::fabs(d.x * pick.direction.y - d.y * pick.direction.x) <= kNearRacer * (ax + ay);
}

namespace {

bool CastLevelRay(CPLevel& level, SPRayPick& pick, bool includeHuman) {
    bool hit = false;
    if (g_quadlevels == 0 && level.levelTree) hit = level.levelTree->RayWalk(pick);
    if (CPGameObject* human = level.humanRacer.Get(); human && CPLevel::IsRayNearRacer(pick, human->GetPosition())) {
        if (includeHuman && human->RayPick(pick)) hit = true;
        for (const CPSmartPtr<CPGameObject>& object : level.activeObjects)
            if (object && object->RayPick(pick)) hit = true;
    }
    pick.hitPoint = pick.origin + pick.direction * pick.distance;
    return hit;
}

} // namespace

bool CPLevel::CrossPlayerRay(SPRayPick& pick) { return CastLevelRay(*this, pick, false); }

bool CPLevel::RayTest(SPRayPick& pick) { return CastLevelRay(*this, pick, true); }

void CPLevel::RayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out) {
    if (g_quadlevels == 0 && levelTree) levelTree->CollectInSphere(point, radius, out);
    CPGameObject* human = humanRacer.Get();
    if (!human) return;
    if (human->GetPickBounds().IsWithinDistance(point, radius)) out.push_back(humanRacer);
    const D3DXVECTOR3& p = human->GetPosition();
    if (!(std::fabs(p.x - point.x) < radius + kNearRacer && std::fabs(p.y - point.y) < radius + kNearRacer)) return;
    for (const CPSmartPtr<CPGameObject>& object : activeObjects)
        if (object && object->GetPickBounds().IsWithinDistance(point, radius)) out.push_back(object);
}

bool CPLevel::HitsAnyRacer(SPRayPick& pick) {
    for (const CPSmartPtr<CPPlayer>& racer : opponents)
        if (racer && racer->RayPick(pick)) return true;
    return player && player->RayPick(pick);
}
