// Loading a render description whose p3d mesh file holds 100,000 vertices in ten nodes (no
// renderer started, so no static buffers) against a plain file-layer load of the same mesh file:
// what building the objects costs over reading the bytes.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "support/MeshFileWriter.h"
#include "support/TempDir.h"

namespace {

constexpr int kNodes = 10;
constexpr int kVerticesPerNode = 10000;

kxtest::MeshNode GridNode(int index) {
    kxtest::MeshNode node;
    node.name = "part" + std::to_string(index);
    node.position[0] = static_cast<float>(index);
    node.body.width = node.body.depth = node.body.height = 1.0f;
    node.body.mass = 1.0f;
    node.vertices.resize(kVerticesPerNode);
    for (int i = 0; i < kVerticesPerNode; ++i) {
        kxtest::MorphVertex& v = node.vertices[static_cast<std::size_t>(i)];
        v.x = static_cast<float>(i % 100);
        v.y = static_cast<float>(index);
        v.z = static_cast<float>(i / 100);
        v.tu = v.x / 100.0f;
        v.tv = v.z / 100.0f;
    }
    // Two triangles per grid cell.
    for (int y = 0; y + 1 < 100; ++y)
        for (int x = 0; x + 1 < 100; ++x) {
            const auto at = [](int cx, int cy) { return static_cast<std::uint16_t>(cy * 100 + cx); };
            for (std::uint16_t i : {at(x, y), at(x + 1, y), at(x, y + 1), at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)})
                node.indices.push_back(i);
        }
    return node;
}

// The game root with the description and its mesh file, made once for the whole run.
struct BenchData {
    BenchData() {
        kxtest::MeshFileWriter writer(true);
        for (int i = 0; i < kNodes; ++i) writer.AddNode(GridNode(i));
        root.Write("Data/Meshes/grid.p3d", writer.Build().bytes);
        root.Write("Data/Meshes/grid.rdf", "mesh = grid.p3d\n[part3]\ntype = 2\n");
        CPLog::Instance().SetSink([](int, const std::string&) {});
    }
    kxtest::TempGameRoot root;
    CPAnimationLibrary library;
};

BenchData& Data() {
    static BenchData data;
    return data;
}

void BM_RenderDescriptionLoad(benchmark::State& state) {
    BenchData& data = Data();
    for (auto _ : state) {
        CPSmartPtr<CPGameObject> tree = data.library.LoadRenderDescription("grid.rdf", 0);
        if (!tree || tree->GetChildren().size() != static_cast<std::size_t>(kNodes)) {
            state.SkipWithError("the description did not load");
            break;
        }
        benchmark::DoNotOptimize(tree.Get());
        state.PauseTiming();
        tree = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kNodes * kVerticesPerNode);
}
BENCHMARK(BM_RenderDescriptionLoad)->Unit(benchmark::kMillisecond);

void BM_PlainMeshFileLoad(benchmark::State& state) {
    Data();
    for (auto _ : state) {
        CPFileReader reader("Data\\Meshes\\grid.p3d");
        if (FAILED(reader.Load())) {
            state.SkipWithError("the mesh file did not load");
            break;
        }
        benchmark::DoNotOptimize(reader.GetData());
    }
    state.SetItemsProcessed(state.iterations() * kNodes * kVerticesPerNode);
}
BENCHMARK(BM_PlainMeshFileLoad)->Unit(benchmark::kMillisecond);

} // namespace
