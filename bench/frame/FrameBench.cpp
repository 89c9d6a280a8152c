// One frame of the renderer: a few thousand render objects in a few dozen materials are handed
// over, batched, filled into the vertex-buffer ring and drawn, on the Recording device and on
// the OpenGL device offscreen (Mesa's llvmpipe where there is no GPU; skipped with a message
// where OpenGL 4.5 cannot run). Besides, the streaming alone on the OpenGL device: the frame's
// vertex and index bytes written into a discarded dynamic buffer pair and unlocked, and the
// unlocks alone. The reference is a plain copy of the same vertex and index bytes, measured in
// the same run; the program prints the ratio of each to it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSceneObject.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Paths.h"
#include "Render/PEffectManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"

namespace {

constexpr int kObjects = 3000;
constexpr int kMaterials = 32;
constexpr int kVertices = 24; // a box: four corners per face
constexpr int kIndices = 36;

enum class Backend { Recording, OpenGL };

struct Scene {
    Backend backend;
    bool started = false;
    std::filesystem::path root;
    CPEffectManager* manager = nullptr;
    CPSmartPtr<CPRender> render;
    std::vector<CPSmartPtr<CPMaterial>> materials;
    std::vector<CPSmartPtr<BenchSceneObject>> objects;
    Platform::IRecordingControl* control = nullptr;

    explicit Scene(Backend which) : backend(which) {
        root = std::filesystem::temp_directory_path() / ("kx_frame_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Data" / "Effects");
        std::ofstream(root / "Data" / "Effects" / "bench.fx") << "technique T { pass P0 { Lighting = true; } }\n";
        Platform::GamePaths().SetRoot(root.string());
        g_screenWidth = 640;
        g_screenHeight = 480;
        g_fullScreen = 0;
        manager = new CPEffectManager();
        render = new CPRender();
        if (backend == Backend::OpenGL) {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            SetDirect3DBackend(D3DBackend::OpenGL);
        }
        started = render->Start();
        SetDirect3DBackend(D3DBackend::Recording);
        if (!started) return;
        control = Platform::RecordingControl(render->GetDevice());
        for (int m = 0; m < kMaterials; ++m) {
            CPSmartPtr<CPMaterial> material;
            manager->GetMaterial(material, 20 + m, "bench.fx", {});
            materials.push_back(material);
        }
        for (int i = 0; i < kObjects; ++i) {
            CPSmartPtr<BenchSceneObject> object(new BenchSceneObject());
            D3DXMatrixTranslation(&object->world, static_cast<float>(i % 60), static_cast<float>(i / 60), 0.0f);
            object->mesh = new CPRenderObject(object.Get());
            std::vector<SPVertex> vertices(kVertices);
            for (int v = 0; v < kVertices; ++v) {
                SPVertex& x = vertices[static_cast<std::size_t>(v)];
                x = SPVertex{};
                x.x = static_cast<float>(v & 1);
                x.y = static_cast<float>((v >> 1) & 1);
                x.z = static_cast<float>((v >> 2) & 1);
                x.nz = 1.0f;
                x.diffuse = 0xFFFFFFFF;
            }
            std::vector<std::uint16_t> indices(kIndices);
            for (int k = 0; k < kIndices; ++k)
                indices[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>((k * 7) % kVertices);
            object->mesh->SetMesh(std::move(vertices), std::move(indices));
            object->mesh->SetEffect(materials[static_cast<std::size_t>(i % kMaterials)]);
            objects.push_back(object);
        }
    }

    void Frame(int movedEvery) {
        ++g_frameNumber;
        CPRenderBlock* block = render->GetRenderBlock().Get();
        for (std::size_t i = 0; i < objects.size(); ++i) {
            BenchSceneObject* object = objects[i].Get();
            if (movedEvery > 0 && static_cast<int>(i) % movedEvery == g_frameNumber % movedEvery) object->moved = true;
            block->AddObject(object);
        }
        render->Render();
        // The recording device keeps every call; a frame's worth is dropped each time.
        if (control) control->ClearCalls();
    }

    ~Scene() {
        objects.clear();
        materials.clear();
        if (render) render->Stop();
        render = nullptr;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        delete manager;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

// One scene at a time: the renderer and the effect manager are one per process.
std::unique_ptr<Scene>& CurrentScene() {
    static std::unique_ptr<Scene> scene;
    return scene;
}

Scene* TheScene(Backend backend) {
    std::unique_ptr<Scene>& scene = CurrentScene();
    if (!scene || scene->backend != backend) {
        scene.reset();
        scene = std::make_unique<Scene>(backend);
    }
    return scene->started ? scene.get() : nullptr;
}

void RunFrames(benchmark::State& state, Backend backend) {
    Scene* scene = TheScene(backend);
    if (!scene) {
        state.SkipWithError(backend == Backend::OpenGL ? "no OpenGL 4.5 here (SDL offscreen over EGL)"
                                                       : "the renderer did not start");
        return;
    }
    const int movedEvery = static_cast<int>(state.range(0));
    for (auto _ : state) scene->Frame(movedEvery);
    state.SetItemsProcessed(state.iterations() * kObjects);
}

void BM_Frame(benchmark::State& state) { RunFrames(state, Backend::Recording); }
BENCHMARK(BM_Frame)->Arg(0)->Arg(10)->ArgName("movedEvery")->Unit(benchmark::kMicrosecond);

void BM_FrameOpenGL(benchmark::State& state) { RunFrames(state, Backend::OpenGL); }
BENCHMARK(BM_FrameOpenGL)->Arg(0)->Arg(10)->ArgName("movedEvery")->Unit(benchmark::kMicrosecond);

// The streaming alone on the OpenGL device: a dynamic pair the size of the frame's bytes,
// locked whole with DISCARD, written object by object as the fill writes, told what was
// written and unlocked. With unlockOnly the lock and the writing are left out of the timing.
void BM_UploadOpenGL(benchmark::State& state) {
    Scene* scene = TheScene(Backend::OpenGL);
    if (!scene) {
        state.SkipWithError("no OpenGL 4.5 here (SDL offscreen over EGL)");
        return;
    }
    const bool unlockOnly = state.range(0) != 0;
    IDirect3DDevice9* device = scene->render->GetDevice();
    const UINT vertexBytes = static_cast<UINT>(kObjects) * kVertices * sizeof(SPVertex);
    const UINT indexBytes = static_cast<UINT>(kObjects) * kIndices * sizeof(std::uint16_t);
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    if (FAILED(device->CreateVertexBuffer(vertexBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, SPVertexFVF,
                                          D3DPOOL_DEFAULT, &vertices, nullptr)) ||
        FAILED(device->CreateIndexBuffer(indexBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                         D3DPOOL_DEFAULT, &indices, nullptr))) {
        if (vertices) vertices->Release();
        state.SkipWithError("the buffers were not made");
        return;
    }
    std::vector<unsigned char> source(vertexBytes + indexBytes, 1);
    for (auto _ : state) {
        if (unlockOnly) state.PauseTiming();
        void* v = nullptr;
        void* ix = nullptr;
        vertices->Lock(0, 0, &v, D3DLOCK_DISCARD);
        indices->Lock(0, 0, &ix, D3DLOCK_DISCARD);
        for (int i = 0; i < kObjects; ++i) {
            const std::size_t vo = static_cast<std::size_t>(i) * kVertices * sizeof(SPVertex);
            std::memcpy(static_cast<unsigned char*>(v) + vo, source.data() + vo, kVertices * sizeof(SPVertex));
            const std::size_t io = static_cast<std::size_t>(i) * kIndices * sizeof(std::uint16_t);
            std::memcpy(static_cast<unsigned char*>(ix) + io, source.data() + vertexBytes + io,
                        kIndices * sizeof(std::uint16_t));
        }
        D3DSetLockWritten(vertices, vertexBytes);
        D3DSetLockWritten(indices, indexBytes);
        if (unlockOnly) state.ResumeTiming();
        vertices->Unlock();
        indices->Unlock();
    }
    vertices->Release();
    indices->Release();
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_UploadOpenGL)->Arg(0)->Arg(1)->ArgName("unlockOnly")->Unit(benchmark::kMicrosecond);

void BM_PlainCopy(benchmark::State& state) {
    const std::size_t vertexBytes = static_cast<std::size_t>(kObjects) * kVertices * sizeof(SPVertex);
    const std::size_t indexBytes = static_cast<std::size_t>(kObjects) * kIndices * sizeof(std::uint16_t);
    std::vector<unsigned char> source(vertexBytes + indexBytes, 1), destination(vertexBytes + indexBytes);
    for (auto _ : state) {
        // Object by object, as the fill writes them.
        for (int i = 0; i < kObjects; ++i) {
            const std::size_t v = static_cast<std::size_t>(i) * kVertices * sizeof(SPVertex);
            std::memcpy(destination.data() + v, source.data() + v, kVertices * sizeof(SPVertex));
            const std::size_t ix = vertexBytes + static_cast<std::size_t>(i) * kIndices * sizeof(std::uint16_t);
            std::memcpy(destination.data() + ix, source.data() + ix, kIndices * sizeof(std::uint16_t));
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then the ratios of each frame to the plain copy.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            else if (run.aggregate_name == "median") // with repetitions, the medians are compared
                medians[run.run_name.str()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!medians.empty()) times = medians;
        auto copy = times.find("BM_PlainCopy");
        if (copy == times.end() || copy->second <= 0) return;
        for (const auto& [name, time] : times)
            if (name.rfind("BM_Frame", 0) == 0 || name.rfind("BM_Upload", 0) == 0)
                std::printf("%s / BM_PlainCopy = %.1f\n", name.c_str(), time / copy->second);
    }
    std::map<std::string, double> times, medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    CurrentScene().reset();
    return 0;
}
