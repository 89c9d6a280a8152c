// An object description read through the file layer and handed to the enemy maker; the record
// it makes must hold finite numbers and one or two blows, and its handlers must run on it without
// a level, a shot manager or a game-data store.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "World/PEnemy.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckFinite(const D3DXVECTOR3& v) {
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Descriptions/enemy.xml", data, size);
    SetEnemyMaker(&GetEnemyRecordMaker());
    {
        CPSmartPtr<CPGameObject> object(new CPGameObject("enemy"));
        object->SetDescriptionFile("enemy.xml");
        object->LoadDescription();
        if (auto* enemy = dynamic_cast<CPEnemy*>(object->GetEnemy())) {
            if (enemy->meleeCount < 1 || enemy->meleeCount > 2) std::abort();
            for (float value : {enemy->health, enemy->gibHeight, enemy->melee[1].impulse, enemy->melee[1].damage,
                                enemy->melee[2].impulse, enemy->melee[2].damage})
                if (!std::isfinite(value)) std::abort();
            CheckFinite(enemy->muzzleOffset);
            CheckFinite(enemy->referenceFacing);
            for (int n = 1; n <= 2; ++n) {
                CheckFinite(enemy->melee[n].reach);
                CheckFinite(enemy->melee[n].push);
            }
            for (const char* name : {"melee1", "melee2", "fire", "fire_in", "fire_out", "death1", "walk"}) {
                enemy->PlayAnimation(name, true, true, 1);
                enemy->OnAnimationReport();
                enemy->OnAnimationStopped();
            }
            object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 5.0f, false, false);
            object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 1e30f, false, true);
            // A copy gets a record of its own.
            CPSmartPtr<CPGameObject> copy(new CPGameObject("copy"));
            copy->CopyFrom(*object);
            if (copy->GetEnemy() && copy->GetEnemy() == object->GetEnemy()) std::abort();
        }
    }
    SetEnemyMaker(nullptr);
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    return 0;
}
