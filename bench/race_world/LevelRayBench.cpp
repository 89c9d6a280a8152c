// The level's ray test through its tree against brute force: 1,000 rays over a level of 2,000
// placed objects, each ray either walked through the level tree by CPLevel::RayTest or picked
// against every placed object in turn (each object's pick box first, then its part boxes).
//
// The objects stand on a 3,000-unit square (the size of most levels), boxes of 1 to 8 units
// drawn from 16 shared materials, as the loader's models would be. Rays start 1 to 6 units
// above the ground anywhere on the square, run in any horizontal direction with a slight pitch
// and reach 300 units (a weapon's range). The human racer stands off the square, so neither
// side tests it or the active objects.
//
// BM_LevelRayTreeVsBruteForce runs both in the same iterations and reports tree_us and
// brute_us per 1,000 rays and their ratio (tree over brute force; the target is at most
// 0.25), the hits of each side and the rays whose nearest hit differs (both must agree).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "World/PLevel.h"
#include "World/PLevelBranch.h"
#include "World/PPlayer.h"

namespace {

constexpr int kObjects = 2000;
constexpr int kRays = 1000;
constexpr int kMaterials = 16;
constexpr float kSide = 3000.0f;
constexpr float kRayLength = 300.0f;

CPOrientedBox LocalBox(const D3DXVECTOR3& halfSize) {
    CPOrientedBox box(D3DXVECTOR3(0.0f, 0.0f, halfSize.z), halfSize);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    return box;
}

struct RayLevel {
    RayLevel() {
        g_quadlevels = 0;
        std::mt19937 random(20261211u);
        std::uniform_real_distribution<float> across(-kSide / 2.0f, kSide / 2.0f);
        std::uniform_real_distribution<float> size(0.5f, 4.0f);
        std::uniform_real_distribution<float> turn(0.0f, 6.2831853f);
        std::uniform_int_distribution<int> material(0, kMaterials - 1);

        for (int i = 0; i < kMaterials; ++i) materials.emplace_back(new CPMaterial(20, nullptr, nullptr));
        for (int i = 0; i < kObjects; ++i) {
            CPSmartPtr<CPGameObject> object(new CPGameObject("placed"));
            const D3DXVECTOR3 half(size(random), size(random), size(random));
            object->OwnBox() = LocalBox(half);
            object->PartBoxes().push_back(LocalBox(half));
            object->SetCastsShadow(false);
            CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
            mesh->SetEffect(materials[static_cast<std::size_t>(material(random))]);
            object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
            const float yaw = turn(random);
            object->SetRotation(D3DXQUATERNION(0.0f, 0.0f, std::sin(yaw / 2.0f), std::cos(yaw / 2.0f)));
            object->SetPosition(D3DXVECTOR3(across(random), across(random), 0.0f));
            object->UpdateTransform();
            placed.push_back(object);
        }

        const auto t0 = std::chrono::steady_clock::now();
        level = std::make_unique<CPLevel>();
        level->levelTree = CPSmartPtr<CPLevelBranch>(new CPLevelBranch());
        level->levelTree->Init(placed);
        level->levelTree->Build(0);
        buildMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

        human = CPSmartPtr<CPPlayer>(new CPPlayer());
        human->SetPosition(D3DXVECTOR3(-10.0f * kSide, -10.0f * kSide, 0.0f));
        human->UpdateTransform();
        level->humanRacer = human;
        level->player = human.Get();

        std::uniform_real_distribution<float> height(1.0f, 6.0f);
        std::uniform_real_distribution<float> pitch(-0.05f, 0.05f);
        for (int i = 0; i < kRays; ++i) {
            const float heading = turn(random);
            D3DXVECTOR3 direction(std::cos(heading), std::sin(heading), pitch(random));
            D3DXVec3Normalize(&direction, &direction);
            origins.emplace_back(across(random), across(random), height(random));
            directions.push_back(direction);
        }
    }
    ~RayLevel() {
        level.reset();
        placed.clear();
        human = nullptr;
        materials.clear();
        for (int i = 0; i < 6; ++i) IPMMObject::CollectGarbage();
    }

    SPRayPick Ray(int i) const {
        SPRayPick pick;
        pick.origin = origins[static_cast<std::size_t>(i)];
        pick.direction = directions[static_cast<std::size_t>(i)];
        pick.distance = kRayLength;
        return pick;
    }
    int TreeRays() {
        int hits = 0;
        for (int i = 0; i < kRays; ++i) {
            SPRayPick pick = Ray(i);
            if (level->RayTest(pick)) ++hits;
            benchmark::DoNotOptimize(pick.distance);
        }
        return hits;
    }
    int BruteRays() {
        int hits = 0;
        for (int i = 0; i < kRays; ++i) {
            SPRayPick pick = Ray(i);
            bool hit = false;
            for (const CPSmartPtr<CPGameObject>& object : placed)
                if (object->RayPick(pick)) hit = true;
            pick.hitPoint = pick.origin + pick.direction * pick.distance;
            if (hit) ++hits;
            benchmark::DoNotOptimize(pick.distance);
        }
        return hits;
    }

    // Rays whose nearest hit differs between the two sides (must be 0).
    int Mismatches() {
        int mismatches = 0;
        for (int i = 0; i < kRays; ++i) {
            SPRayPick tree = Ray(i);
            level->RayTest(tree);
            SPRayPick brute = Ray(i);
            for (const CPSmartPtr<CPGameObject>& object : placed) object->RayPick(brute);
            if (tree.hitObject.Get() != brute.hitObject.Get() || std::fabs(tree.distance - brute.distance) > 1e-4f)
                ++mismatches;
        }
        return mismatches;
    }

    std::vector<CPSmartPtr<CPMaterial>> materials;
    std::vector<CPSmartPtr<CPGameObject>> placed;
    std::unique_ptr<CPLevel> level;
    CPSmartPtr<CPPlayer> human;
    std::vector<D3DXVECTOR3> origins;
    std::vector<D3DXVECTOR3> directions;
    double buildMs = 0.0;
};

void BM_LevelRayTree(benchmark::State& state) {
    RayLevel level;
    int hits = 0;
    for (auto _ : state) hits = level.TreeRays();
    state.counters["hits"] = hits;
    state.counters["build_ms"] = level.buildMs;
    state.SetItemsProcessed(state.iterations() * kRays);
}

void BM_LevelRayBruteForce(benchmark::State& state) {
    RayLevel level;
    int hits = 0;
    for (auto _ : state) hits = level.BruteRays();
    state.counters["hits"] = hits;
    state.SetItemsProcessed(state.iterations() * kRays);
}

void BM_LevelRayTreeVsBruteForce(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    RayLevel level;
    Clock::duration tree{}, brute{};
    int treeHits = 0, bruteHits = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        treeHits = level.TreeRays();
        const auto t1 = Clock::now();
        bruteHits = level.BruteRays();
        const auto t2 = Clock::now();
        tree += t1 - t0;
        brute += t2 - t1;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["tree_us"] = std::chrono::duration<double, std::micro>(tree).count() / iterations;
    state.counters["brute_us"] = std::chrono::duration<double, std::micro>(brute).count() / iterations;
    state.counters["ratio"] =
        brute.count() > 0 ? static_cast<double>(tree.count()) / static_cast<double>(brute.count()) : 0.0;
    state.counters["tree_hits"] = treeHits;
    state.counters["brute_hits"] = bruteHits;
    state.counters["mismatches"] = level.Mismatches();
}

} // namespace

BENCHMARK(BM_LevelRayTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LevelRayBruteForce)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LevelRayTreeVsBruteForce)->Unit(benchmark::kMicrosecond);
