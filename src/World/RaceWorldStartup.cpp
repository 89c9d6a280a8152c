#include "World/RaceWorldStartup.h"

#include "Framework/StartupRegistry.h"
#include "Scene/SceneInterfaces.h"
#include "World/PEnemy.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PShotManager.h"
#include "World/PWorldTables.h"

namespace {

class CPPhysicDataMaker final : public IPPhysicDataMaker {
public:
    CPSmartPtr<IPPhysicData> Make(CPGameObject* owner) override {
        return CPSmartPtr<IPPhysicData>(new CPPhysicData(owner));
    }
};

CPPhysicDataMaker g_physicDataMaker;

} // namespace

void InstallRaceWorld(SPStartupRegistry& registry) {
    registry.createPhysicsTask = [] { return CPSmartPtr<IPTask>(new CPPhysics()); };
    SetPhysicDataMaker(&g_physicDataMaker);
    SetEnemyMaker(&GetEnemyRecordMaker());
    registry.createShotManager = [] {
        // The enemy types' data is read with the shots: both tables serve scripts from start-up on.
        LoadEnemyTable("Data\\enemies.dat");
        return CPSmartPtr<IPTask>(new CPShotManager());
    };
}
