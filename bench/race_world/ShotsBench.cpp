// Combat scene for the shot manager: twelve racers on a flat road (box bodies pushed round a
// ring, the human firing ten rounds a second at the opponent across it), eight enemies firing by kind every half second,
// sixty seconds at sixty frames. Per frame the shot manager's task is timed against that frame's
// physics update; the counters give the ratio of the sums and the most shots under way at once.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "CombatScene.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Physics/RbBody.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRenderObject.h"
#include "World/FlatGround.h"
#include "World/PEnemy.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PProjectileShot.h"
#include "World/PShotManager.h"

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kFrames = 60 * 60;

using kxcombat::Box;

void BM_CombatScene(benchmark::State& state) {
    const int savedWeightDiv = g_weight_div;
    g_weight_div = 1;
    double physicsSeconds = 0.0;
    double shotSeconds = 0.0;
    std::size_t mostActive = 0;
    for (auto _ : state) {
        Platform::EngineSeed(1);
        CPSmartPtr<CPPhysics> physics(new CPPhysics());
        physics->CreateWorld();
        CPSmartPtr<CPGameObject> ground = kxtest::MakeFlatGround(*physics, 41, -200.0f);
        CPSmartPtr<CPShotManager> manager(new CPShotManager());
        kxcombat::FillShotPools(*manager);

        auto* level = new CPLevel();
        std::vector<CPSmartPtr<CPPlayer>> racers;
        for (int i = 0; i < 12; ++i) {
            CPSmartPtr<CPPlayer> racer(new CPPlayer());
            const float a = 2.0f * D3DX_PI * static_cast<float>(i) / 12.0f;
            racer->SetPosition(D3DXVECTOR3(60.0f * std::cos(a), 60.0f * std::sin(a), 1.0f));
            racer->PartBoxes().push_back(Box(D3DXVECTOR3(1, 2, 0.7f)));
            CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
            data->SetShape(4, 2, 1.4f, 1000);
            data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 2, 4, 1.4f, 1000);
            racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
            racer->UpdateTransform();
            physics->AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
            racers.push_back(racer);
        }
        level->humanRacer = racers[0];
        level->player = racers[0].Get();
        for (int i = 1; i < 12; ++i) level->opponents.push_back(racers[static_cast<std::size_t>(i)]);

        std::vector<std::unique_ptr<CPEnemy>> records = kxcombat::PlaceEnemies(*level, 30.0f, 2.0f * D3DX_PI);
        // The enemies' objects are held here too, as long as their records.
        std::vector<CPSmartPtr<CPGameObject>> enemies(level->activeObjects.begin(), level->activeObjects.end());

        g_deltaTime = kFrame;
        for (int frame = 0; frame < kFrames; ++frame) {
            // The human fires ten rounds a second at the opponent across the ring.
            if (frame % 6 == 0) {
                const D3DXVECTOR3 from = racers[0]->GetPosition() + D3DXVECTOR3(0, 0, 0.8f);
                const D3DXVECTOR3 to = racers[6]->GetPosition();
                manager->Spawn("trasser11", from, to - from, 150.0f, CPSmartPtr<CPGameObject>(racers[0].Get()));
            }
            kxcombat::FireEnemies(records, frame);
            // The racers are pushed round the ring, so their bodies never come to rest.
            for (const auto& racer : racers) {
                auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
                RbRigidBody* body = data ? data->GetRigidBody() : nullptr;
                if (!body) continue;
                const D3DXVECTOR3 p = racer->GetPosition();
                const float length = std::sqrt(p.x * p.x + p.y * p.y);
                if (length <= 0.0f) continue;
                const float push = 400.0f;
                body->ApplyImpulseAtPoint(RbVec(-p.y / length * push, p.x / length * push, 0.0f), RbVec(p.x, p.y, p.z));
            }
            const auto t0 = std::chrono::steady_clock::now();
            physics->Update();
            const auto t1 = std::chrono::steady_clock::now();
            manager->Update();
            const auto t2 = std::chrono::steady_clock::now();
            physicsSeconds += std::chrono::duration<double>(t1 - t0).count();
            shotSeconds += std::chrono::duration<double>(t2 - t1).count();
            for (const auto& racer : racers) racer->UpdateTransform();
        }
        mostActive = std::max(mostActive, manager->GetMostActive());
        g_deltaTime = 0.0f;
        manager->Clear();
        manager = nullptr;
        records.clear();
        delete level;
        physics->DestroyWorld();
        physics = nullptr;
        for (int i = 0; i < 6; ++i) IPMMObject::CollectGarbage();
    }
    const double frames = static_cast<double>(kFrames) * static_cast<double>(state.iterations());
    state.counters["physics_us_per_frame"] = physicsSeconds / frames * 1e6;
    state.counters["shots_us_per_frame"] = shotSeconds / frames * 1e6;
    state.counters["shots_to_physics"] = physicsSeconds > 0.0 ? shotSeconds / physicsSeconds : 0.0;
    state.counters["most_active_shots"] = static_cast<double>(mostActive);
    g_weight_div = savedWeightDiv;
}

BENCHMARK(BM_CombatScene)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
