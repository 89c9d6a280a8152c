// The level's load on a writer-made level of 2,000 placed objects beside a 20,000-triangle
// walled loop road: the whole load with its parts (file read, objects, splines, road grid,
// world, object tree) as counters, and the road grid beside the simulator's own terrain tree
// over the same triangles.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Physics/RbSimulator.h"
#include "World/PLevel.h"
#include "World/PLevelFile.h"
#include "support/LevelFileWriter.h"
#include "support/RaceFixture.h"
#include "support/RoadMesh.h"

namespace {

constexpr float kRadius = 300.0f;
constexpr int kObjects = 2000;

kxtest::LevelFileWriter BenchLevel() {
    kxtest::LevelFileWriter w;
    w.AddSpline(kxtest::RingSpline("c_path", 0.0f, 0.0f, kRadius, 64));
    w.AddSpline(kxtest::RingSpline("path", 0.0f, 0.0f, kRadius, 64));
    // Trees along both sides of the road, a post and a barrel every tenth place.
    for (int i = 0; i < kObjects; ++i) {
        const float a = 6.2831853f * static_cast<float>(i) / kObjects;
        const float r = kRadius + ((i % 2) ? 25.0f : -25.0f) + static_cast<float>(i % 7);
        const char* name = (i % 10 == 3) ? "post" : ((i % 10 == 7) ? "barrel" : "tree");
        w.AddObject(name + std::to_string(i), r * std::cos(a), r * std::sin(a), 0.0f);
    }
    return w;
}

struct BenchRace {
    BenchRace() {
        CPLog::Instance().SetSink(nullptr);
        race = std::make_unique<kxtest::RaceFixture>();
        race->road = kxtest::MakeWalledLoop(kRadius, 20.0f, 2.0f, 1000, 8);
        race->store.Write("Data/Levels/level4.lvl", BenchLevel().Bytes());
    }
    std::unique_ptr<kxtest::RaceFixture> race;
};

void BM_LevelLoad(benchmark::State& state) {
    BenchRace bench;
    SPLevelLoadTimes sum;
    int loads = 0;
    for (auto _ : state) {
        const bool loaded = bench.race->LoadWritten("level4");
        state.PauseTiming();
        if (!loaded) {
            state.SkipWithError(bench.race->level->GetLoadError().c_str());
            break;
        }
        const SPLevelLoadTimes& t = bench.race->level->GetLoadTimes();
        sum.fileRead += t.fileRead;
        sum.objects += t.objects;
        sum.splines += t.splines;
        sum.terrainGrid += t.terrainGrid;
        sum.world += t.world;
        sum.tree += t.tree;
        sum.total += t.total;
        ++loads;
        state.ResumeTiming();
    }
    if (loads == 0) return;
    const double n = loads;
    state.counters["file_ms"] = 1000.0 * sum.fileRead / n;
    state.counters["objects_ms"] = 1000.0 * sum.objects / n;
    state.counters["splines_ms"] = 1000.0 * sum.splines / n;
    state.counters["grid_ms"] = 1000.0 * sum.terrainGrid / n;
    state.counters["world_ms"] = 1000.0 * sum.world / n;
    state.counters["tree_ms"] = 1000.0 * sum.tree / n;
    state.counters["total_ms"] = 1000.0 * sum.total / n;
    state.counters["triangles"] = bench.race->road.TriangleCount();
    state.counters["objects"] = static_cast<double>(bench.race->level->placedObjects.size());
}
BENCHMARK(BM_LevelLoad)->Unit(benchmark::kMillisecond);

void BM_LevelFileRead(benchmark::State& state) {
    BenchRace bench;
    for (auto _ : state) {
        CPFileReader reader("Data\\Levels\\level4.lvl");
        reader.Load();
        SPLevelFile file;
        benchmark::DoNotOptimize(ReadLevelFile(reader, file));
    }
}
BENCHMARK(BM_LevelFileRead)->Unit(benchmark::kMillisecond);

// The road grid the level builds, and the simulator's terrain tree over the same triangles.
void BM_RoadGrid(benchmark::State& state) {
    BenchRace bench;
    CPSmartPtr<CPGameObject> road = kxtest::MakeMeshObject("road", bench.race->road);
    road->UpdateTransform();
    CPSmartPtr<CPRenderObject> mesh(road->GetRenderObject());
    for (auto _ : state) benchmark::DoNotOptimize(bench.race->physics->BuildTerrainGrid(mesh));
    state.counters["triangles"] = bench.race->physics->GetTerrainTriangleCount();
}
BENCHMARK(BM_RoadGrid)->Unit(benchmark::kMillisecond);

void BM_RoadTerrainTree(benchmark::State& state) {
    BenchRace bench;
    CPSmartPtr<CPGameObject> road = kxtest::MakeMeshObject("road", bench.race->road);
    road->UpdateTransform();
    CPPhysics& physics = *bench.race->physics;
    physics.BuildTerrainGrid(CPSmartPtr<CPRenderObject>(road->GetRenderObject()));
    physics.CreateWorld();
    RbSimulator* simulator = physics.GetSimulator();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            simulator->BuildTerrainTree(physics.GetTerrainVertices(), physics.GetTerrainVertexCount(),
                                        physics.GetTerrainTriangles(), physics.GetTerrainTriangleCount()));
        state.PauseTiming();
        simulator->FreeTerrainTree();
        state.ResumeTiming();
    }
    state.counters["triangles"] = physics.GetTerrainTriangleCount();
}
BENCHMARK(BM_RoadTerrainTree)->Unit(benchmark::kMillisecond);

} // namespace
