#include "World/RaceWorldStartup.h"

#include "Framework/StartupRegistry.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderSeams.h"
#include "Scene/SceneInterfaces.h"
#include "World/PAITask.h"
#include "World/PEnemy.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PShotManager.h"
#include "World/PWorldTables.h"

namespace {

class CPPhysicDataMaker final : public IPPhysicDataMaker {
public:
    CPSmartPtr<IPPhysicData> Make(CPGameObject* owner) override {
        return CPSmartPtr<IPPhysicData>(new CPPhysicData(owner));
    }
};

// What the renderer asks of the race world, answered from the current level (none: each
// question's "nothing there").
class CPLevelView final : public IPRaceWorld, public IPPlanarShadowSource {
public:
    bool HasLevel() const override { return CPLevel::GetInstance() != nullptr; }

    CPPerspectiveCamera* GetViewCamera() const override {
        const CPLevel* level = CPLevel::GetInstance();
        return level && level->camera ? level->camera->GetViewCamera().Get() : nullptr;
    }

    CPPerspectiveCamera* GetFarCamera() const override {
        const CPLevel* level = CPLevel::GetInstance();
        return level && level->camera ? level->camera->GetFarCamera().Get() : nullptr;
    }

    bool GetTerrain(SPTerrainView& out) const override {
        const CPPhysics* physics = CPPhysics::GetInstance();
        if (!CPLevel::GetInstance() || !physics || physics->GetTerrainTriangleCount() == 0) return false;
        out.vertices = reinterpret_cast<const std::uint8_t*>(physics->GetTerrainVertices());
        out.vertexCount = physics->GetTerrainVertexCount();
        out.vertexStride = static_cast<int>(sizeof(RbVector));
        out.triangles = reinterpret_cast<const std::uint8_t*>(physics->GetTerrainTriangles());
        out.triangleCount = physics->GetTerrainTriangleCount();
        out.triangleStride = static_cast<int>(sizeof(RbTriangle));
        return true;
    }

    D3DLIGHT9* GetSunLight() override {
        CPLevel* level = CPLevel::GetInstance();
        return level ? &level->sunLight : nullptr;
    }

    void AddSunLight() override {
        if (CPLevel* level = CPLevel::GetInstance()) level->AddSunLight();
    }

    void AddFlareSource(const SPFlareSource& source) override {
        if (CPLevel* level = CPLevel::GetInstance()) level->lightSources[source.name].push_back(source);
    }

    bool GetHumanVelocity(float out[4]) const override {
        const CPLevel* level = CPLevel::GetInstance();
        if (!level || !level->humanRacer) return false;
        level->humanRacer->GetVelocity(out);
        return true;
    }

    const D3DXMATRIX* GetPlanarShadowMatrix() const override {
        const CPLevel* level = CPLevel::GetInstance();
        return level ? level->GetPlanarShadowMatrix() : nullptr;
    }
};

CPPhysicDataMaker g_physicDataMaker;
CPLevelView g_levelView;

} // namespace

void InstallRaceWorld(SPStartupRegistry& registry) {
    registry.createPhysicsTask = [] { return CPSmartPtr<IPTask>(new CPPhysics()); };
    registry.createAITask = [] { return CPSmartPtr<IPTask>(new AI_Task()); };
    SetPhysicDataMaker(&g_physicDataMaker);
    SetEnemyMaker(&GetEnemyRecordMaker());
    registry.createShotManager = [] {
        // The enemy types' data is read with the shots: both tables serve scripts from start-up on.
        LoadEnemyTable("Data\\enemies.dat");
        return CPSmartPtr<IPTask>(new CPShotManager());
    };
    SetRaceWorld(&g_levelView);
    SetPlanarShadowSource(&g_levelView);
}
