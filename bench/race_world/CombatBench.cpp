// Combat scene with the computer drivers: twelve racers with their cars on the flat road, all
// twelve driven by the drivers' task round a ring of forty pieces (the race is marked over, so
// the twelfth driver takes the human's car), the human firing its fastest round ten times a
// second along its way, eight enemies by the ring firing by kind every half second; sixty
// seconds at sixty frames. Per frame the drivers' task and the shot manager's task are timed
// against that frame's physics update; the counters give each as a ratio of the sums, the most
// shots under way at once and the share of live shots by name. Racers are updated each frame,
// so one that leaves the road is respawned on it, as in a race.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CombatScene.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "World/FlatGround.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PEnemy.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PProjectileShot.h"
#include "World/PShotManager.h"
#include "World/PSpline.h"
#include "World/Racers/RingRoute.h"
#include "support/CarWheels.h"
#include "support/FreshStore.h"

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kFrames = 60 * 60;
constexpr int kRacers = 12;

using kxcombat::Box;

// The car tests' racer: a 2 x 4 x 1 body of mass 10 with four wheels at the corners and a
// part box that shots can hit, its car made by the physics task.
CPSmartPtr<CPPlayer> MakeRacer(CPPhysics& physics, const CPLine& piece, bool human) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->SetPosition(D3DXVECTOR3(piece.centre.x, piece.centre.y, 1.0f));
    D3DXQUATERNION q;
    const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&q, &z, kxring::YawFacing(piece.centre, piece.previous->centre));
    racer->SetRotation(q);
    kxtest::AddWheels(*racer);
    racer->PartBoxes().push_back(Box(D3DXVECTOR3(1, 2, 0.5f)));
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
    data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
    data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 2.0f, 1.0f, 4.0f, 10.0f);
    racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    racer->SetCollision(true);
    racer->UpdateTransform();
    physics.AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 1);
    physics.ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), human ? 1 : 0);
    return racer;
}

// The flat forward direction of a racer, as the race rules hand it to the drivers.
D3DXVECTOR3 Forward(const CPPlayer& racer) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &racer.GetRotationQuaternion());
    D3DXVECTOR3 f;
    const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
    D3DXVec3TransformNormal(&f, &back, &m);
    return f;
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void BM_CombatSceneDriven(benchmark::State& state) {
    double physicsSeconds = 0.0, driverSeconds = 0.0, shotSeconds = 0.0;
    std::size_t mostActive = 0;
    int respawns = 0;
    std::map<std::string, long> liveByName;
    long liveTotal = 0;
    for (auto _ : state) {
        kxtest::FreshGameData gameData;
        kxtest::CamSpeed difficulty(10);
        gameData->levelSettings.setting9 = 1.0f;
        gameData->levelStarted = true;
        Platform::EngineSeed(1);
        const float savedDelta = g_deltaTime;

        CPSmartPtr<CPPhysics> physics(new CPPhysics());
        CPSmartPtr<CPGameObject> ground = kxtest::MakeFlatGround(*physics, 41, -200.0f);
        physics->CreateWorld();
        CPSmartPtr<CPShotManager> manager(new CPShotManager());
        kxcombat::FillShotPools(*manager);

        auto level = std::make_unique<CPLevel>();
        CPSmartPtr<CPSpline> ring = kxring::MakeRing();
        level->centrePath = ring;
        level->raceOver = true;
        CPSmartPtr<AI_Task> drivers(new AI_Task);
        std::vector<CPSmartPtr<CPPlayer>> racers;
        for (int i = 0; i < kRacers; ++i) {
            // Every third piece, the human last.
            const CPLine& piece = *ring->GetLine((i * 3 + 2) % kxring::kPieces);
            racers.push_back(MakeRacer(*physics, piece, i == kRacers - 1));
        }
        level->humanRacer = racers.back();
        level->player = racers.back().Get();
        for (int i = 0; i + 1 < kRacers; ++i) level->opponents.push_back(racers[static_cast<std::size_t>(i)]);

        std::vector<std::unique_ptr<CPEnemy>> records = kxcombat::PlaceEnemies(*level, 95.0f, kxring::kTau);

        g_deltaTime = kFrame;
        for (int frame = 0; frame < kFrames; ++frame) {
            // The race rules' hand-over: the player's piece, then each racer's state to its slot.
            const CPSmartPtr<CPPlayer>& human = racers.back();
            level->playerStartLine = ring->FindNearbyLine(human->GetPosition());
            for (int i = 0; i < kRacers; ++i) {
                const CPSmartPtr<CPPlayer>& racer = racers[static_cast<std::size_t>(i)];
                const float speed = racer->GetCar() ? racer->GetCar()->GetSpeed() : 0.0f;
                drivers->DriveVehicle(i, CPSmartPtr<CPGameObject>(racer.Get()), Forward(*racer), speed, racer, 0, 0);
            }
            // The human's fastest round, ten a second, straight ahead.
            if (frame % 6 == 0) {
                const D3DXVECTOR3 from = human->GetPosition() + D3DXVECTOR3(0, 0, 0.8f);
                manager->Spawn("trasser11", from, Forward(*human), 150.0f, CPSmartPtr<CPGameObject>(human.Get()));
            }
            kxcombat::FireEnemies(records, frame);

            const auto t0 = Clock::now();
            drivers->Update();
            const auto t1 = Clock::now();
            for (const auto& racer : racers) {
                const float cooldown = racer->respawnCooldown;
                racer->Update(kFrame);
                if (!(cooldown > 0.0f) && racer->respawnCooldown > 0.0f) ++respawns;
            }
            const auto t2 = Clock::now();
            physics->Update();
            const auto t3 = Clock::now();
            manager->Update();
            const auto t4 = Clock::now();
            driverSeconds += Seconds(t0, t1);
            physicsSeconds += Seconds(t2, t3);
            shotSeconds += Seconds(t3, t4);
            for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots()) {
                if (!shot) continue;
                ++liveByName[shot->GetShotName()];
                ++liveTotal;
            }
        }
        mostActive = std::max(mostActive, manager->GetMostActive());

        g_deltaTime = savedDelta;
        manager->Clear();
        manager = nullptr;
        records.clear();
        level->opponents.clear();
        level->humanRacer = nullptr;
        level->player = nullptr;
        level->centrePath = nullptr;
        level.reset();
        drivers->ClearVehicles();
        drivers = nullptr;
        racers.clear();
        physics->DestroyWorld();
        physics = nullptr;
        ground = nullptr;
        for (int i = 0; i < 6; ++i) IPMMObject::CollectGarbage();
    }
    const double frames = static_cast<double>(kFrames) * static_cast<double>(state.iterations());
    state.counters["physics_us_per_frame"] = physicsSeconds / frames * 1e6;
    state.counters["drivers_us_per_frame"] = driverSeconds / frames * 1e6;
    state.counters["shots_us_per_frame"] = shotSeconds / frames * 1e6;
    state.counters["drivers_to_physics"] = physicsSeconds > 0.0 ? driverSeconds / physicsSeconds : 0.0;
    state.counters["shots_to_physics"] = physicsSeconds > 0.0 ? shotSeconds / physicsSeconds : 0.0;
    state.counters["both_to_physics"] = physicsSeconds > 0.0 ? (driverSeconds + shotSeconds) / physicsSeconds : 0.0;
    state.counters["most_active_shots"] = static_cast<double>(mostActive);
    state.counters["respawns"] = static_cast<double>(respawns);
    // Which shots fill the frames: each name's share of the live shots counted frame by frame.
    std::vector<std::pair<long, std::string>> shares;
    for (const auto& [name, count] : liveByName) shares.emplace_back(count, name);
    std::sort(shares.rbegin(), shares.rend());
    for (std::size_t i = 0; i < shares.size() && i < 3; ++i)
        state.counters["live_share_" + shares[i].second] =
            liveTotal > 0 ? static_cast<double>(shares[i].first) / static_cast<double>(liveTotal) : 0.0;
}

BENCHMARK(BM_CombatSceneDriven)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
