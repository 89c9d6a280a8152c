// Culling a level's objects each frame: the quad-tree's CollectVisible on a level of 5,000
// objects at four levels (256 leaves), with a quarter of the level in view, against the flat
// walk that tests every object's box against the view volume and hands the visible ones over.
// Both hand their objects to the renderer's render block on the Recording device, and the
// block is flushed outside the timing. The program prints the ratio of the tree to the walk
// (the goal is at most one half) and how many objects each handed over.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSceneObject.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Paths.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"

namespace {

constexpr int kColumns = 100;
constexpr int kRows = 50;
constexpr int kObjects = kColumns * kRows;
constexpr float kHalfLevel = 500.0f; // the level is 1000 x 1000
constexpr int kMaterials = 16;
constexpr int kLevels = 4;

struct Level {
    bool started = false;
    std::filesystem::path root;
    CPEffectManager* manager = nullptr;
    CPSmartPtr<CPRender> render;
    std::vector<CPSmartPtr<CPMaterial>> materials;
    std::vector<CPSmartPtr<IPSceneObject>> objects;
    std::unique_ptr<CPQuadTreeNode> tree;
    CPSmartPtr<CPPerspectiveCamera> camera;

    Level() {
        root = std::filesystem::temp_directory_path() / ("kx_quadtree_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Data" / "Effects");
        std::ofstream(root / "Data" / "Effects" / "bench.fx") << "technique T { pass P0 { Lighting = true; } }\n";
        Platform::GamePaths().SetRoot(root.string());
        g_screenWidth = 640;
        g_screenHeight = 480;
        g_fullScreen = 0;
        g_distance = 2000;
        g_quadlevels = kLevels;
        manager = new CPEffectManager();
        render = new CPRender();
        started = render->Start();
        if (!started) return;
        for (int m = 0; m < kMaterials; ++m) {
            CPSmartPtr<CPMaterial> material;
            manager->GetMaterial(material, 20 + m, "bench.fx", {});
            materials.push_back(material);
        }
        // A grid over the whole level; each object a small mesh with a box of half-size 2.
        const float dx = 2.0f * kHalfLevel / kColumns, dy = 2.0f * kHalfLevel / kRows;
        for (int i = 0; i < kObjects; ++i) {
            CPSmartPtr<BenchSceneObject> object(new BenchSceneObject());
            object->moved = false;
            object->halfSize = D3DXVECTOR3(2, 2, 2);
            const float x = -kHalfLevel + dx * (static_cast<float>(i % kColumns) + 0.5f);
            const float y = -kHalfLevel + dy * (static_cast<float>(i / kColumns) + 0.5f);
            D3DXMatrixTranslation(&object->world, x, y, 0.0f);
            object->bounds.minimum = D3DXVECTOR3(x - 2.0f, y - 2.0f, 0.0f);
            object->bounds.maximum = D3DXVECTOR3(x + 2.0f, y + 2.0f, 4.0f);
            object->bounds.UpdateCentre();
            object->mesh = new CPRenderObject(object.Get());
            std::vector<SPVertex> vertices(3, SPVertex{});
            object->mesh->SetMesh(std::move(vertices), {0, 1, 2});
            object->mesh->SetEffect(materials[static_cast<std::size_t>(i % kMaterials)]);
            objects.emplace_back(object.Get());
        }
        tree = std::make_unique<CPQuadTreeNode>();
        tree->SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(kHalfLevel, kHalfLevel, 100.0f));
        tree->Build(objects, 0);

        // From the centre, 10 up, looking along +x with a horizontal field of 90 degrees: the
        // wedge |y| < x, a quarter of the square.
        camera = new CPPerspectiveCamera();
        camera->eye = D3DXVECTOR3(0, 0, 10);
        camera->target = D3DXVECTOR3(100, 0, 10);
        camera->up = D3DXVECTOR3(0, 0, 1);
        camera->fieldOfView = 2.0f * std::atan(0.75f); // 4:3, so tan(horizontal / 2) = 1
        camera->nearDistance = 1.0f;
        camera->farDistance = 2000.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
    }

    ~Level() {
        tree.reset();
        objects.clear();
        materials.clear();
        camera = nullptr;
        if (render) render->Stop();
        render = nullptr;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        delete manager;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

std::unique_ptr<Level>& TheLevel() {
    static std::unique_ptr<Level> level;
    if (!level) level = std::make_unique<Level>();
    return level;
}

std::map<std::string, double> g_handedOver;

template <class Walk>
void Measure(benchmark::State& state, const char* name, Walk walk) {
    Level* level = TheLevel().get();
    if (!level->started) {
        state.SkipWithError("the renderer did not start");
        return;
    }
    CPRenderBlock* block = level->render->GetRenderBlock().Get();
    double handed = 0;
    for (auto _ : state) {
        level->render->objectsAdded = 0;
        walk(*level, *block);
        state.PauseTiming();
        handed = level->render->objectsAdded;
        block->Flush();
        state.ResumeTiming();
    }
    state.counters["handedOver"] = handed;
    g_handedOver[name] = handed;
    state.SetItemsProcessed(state.iterations() * kObjects);
}

void BM_QuadTreeCollect(benchmark::State& state) {
    Measure(state, "BM_QuadTreeCollect",
            [](Level& level, CPRenderBlock&) { level.tree->CollectVisible(level.camera.Get()); });
}
BENCHMARK(BM_QuadTreeCollect)->Unit(benchmark::kMicrosecond);

void BM_FlatFrustumWalk(benchmark::State& state) {
    Measure(state, "BM_FlatFrustumWalk", [](Level& level, CPRenderBlock& block) {
        for (const CPSmartPtr<IPSceneObject>& object : level.objects) {
            const CPBoundingBox& box = object->GetVisibleBounds();
            if (!level.camera->IsInFrustum(box.minimum, box.maximum)) continue;
            ++level.render->objectsAdded;
            block.AddObjectTree(object.Get());
        }
    });
}
BENCHMARK(BM_FlatFrustumWalk)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            else if (run.aggregate_name == "median")
                medians[run.run_name.str()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!medians.empty()) times = medians;
        auto tree = times.find("BM_QuadTreeCollect");
        auto flat = times.find("BM_FlatFrustumWalk");
        if (tree == times.end() || flat == times.end() || flat->second <= 0) return;
        std::printf("BM_QuadTreeCollect / BM_FlatFrustumWalk = %.2f (goal: at most 0.50)\n",
                    tree->second / flat->second);
        std::printf("objects handed over: tree %.0f, flat walk %.0f, of %d\n", g_handedOver["BM_QuadTreeCollect"],
                    g_handedOver["BM_FlatFrustumWalk"], kObjects);
    }
    std::map<std::string, double> times, medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    TheLevel().reset();
    return 0;
}
