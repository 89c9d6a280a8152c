#pragma once
// The combat scenes' shared cast: the shot table the racers and enemies fire from, part boxes,
// and the eight enemies in a ring that fire by kind every half second.

#include <cmath>
#include <memory>
#include <vector>

#include "Platform/Math/D3DXMath.h"
#include "World/PEnemy.h"
#include "World/PLevel.h"
#include "World/PProjectileShot.h"
#include "World/PShotManager.h"

namespace kxcombat {

inline SPShotRecord Record(const char* name, bool projectile, float speed, float lifetime, float gravity, float damage,
                           float radius, const char* impact) {
    SPShotRecord r;
    r.name = name;
    r.projectile = projectile;
    r.speed = speed;
    r.lifetime = lifetime;
    r.gravityFactor = gravity;
    r.damage = damage;
    r.radius = radius;
    r.impact = impact;
    r.sound = "none";
    return r;
}

inline CPOrientedBox Box(const D3DXVECTOR3& halfSize) {
    CPOrientedBox box(D3DXVECTOR3(0, 0, 0), halfSize);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    return box;
}

// The racers' rounds, the enemies' shots and what their impacts leave.
inline void FillShotPools(CPShotManager& manager) {
    for (const SPShotRecord& r :
         {Record("trasser11", true, 150, 2, 0, 1, 0, "sparks"), Record("trasser21", true, 120, 2, 0, 2, 0, "sparks"),
          Record("trasser22", true, 120, 2, 0, 2, 0, "sparks"), Record("trasser23", true, 100, 1, 0, 1, 0, "sparks"),
          Record("plazma_shot2", true, 60, 3, 0, 5, 3, "blast"), Record("srocket2", true, 50, 4, 0.2f, 10, 5, "blast"),
          Record("sparks", false, 0, 0.2f, 0, 0, 0, ""), Record("blast", false, 0, 0.5f, 0, 3, 4, ""),
          Record("blood1", false, 0, 0.3f, 0, 0, 0, "")})
        manager.AddToPool(r.name, CPSmartPtr<CPShot>(new CPProjectileShot(r)));
}

// Eight enemies of every kind, evenly round a circle of the given radius, halfway between the
// eighths; their objects join the level's active objects.
inline std::vector<std::unique_ptr<CPEnemy>> PlaceEnemies(CPLevel& level, float radius, float fullTurn) {
    const char* kinds[] = {"mgun", "hmgun", "rocket", "plasma", "shotgun", "lgun", "mgun", "rocket"};
    std::vector<std::unique_ptr<CPEnemy>> records;
    for (int i = 0; i < 8; ++i) {
        CPSmartPtr<CPGameObject> object(new CPGameObject("enemy"));
        const float a = fullTurn * (static_cast<float>(i) + 0.5f) / 8.0f;
        object->SetPosition(D3DXVECTOR3(radius * std::cos(a), radius * std::sin(a), 0.0f));
        object->PartBoxes().push_back(Box(D3DXVECTOR3(0.5f, 0.5f, 1)));
        object->UpdateTransform();
        auto record = std::make_unique<CPEnemy>(*object);
        record->kind = kinds[i];
        record->health = 1e9f;
        record->muzzleOffset = D3DXVECTOR3(0, -0.5f, 1.2f);
        level.activeObjects.push_back(object);
        records.push_back(std::move(record));
    }
    return records;
}

// Each enemy fires every half second, the eight spread over the half second.
inline void FireEnemies(const std::vector<std::unique_ptr<CPEnemy>>& records, int frame) {
    for (std::size_t i = 0; i < records.size(); ++i)
        if ((frame + static_cast<int>(i) * 4) % 30 == 0) {
            records[i]->animation.name = "fire";
            records[i]->OnAnimationReport();
        }
}

} // namespace kxcombat
