// One pass of the particle manager plus the fill of 10,000 live particles spread over four
// batches (billboards, stretched quads, an animated atlas and spots), against a plain copy of
// the same vertex and index bytes measured in the same run. The ratio is the counter
// "vs_copy" of BM_ParticleUpdateAndFill.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Platform/System/Paths.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PParticleBatch.h"
#include "Scene/PParticlesManager.h"

namespace {

constexpr int kParticles = 10000;
constexpr const char* kBatches[4] = {"bill", "stretch", "atlas", "spot"};

struct ParticleScene {
    std::filesystem::path root;
    CPSmartPtr<CPParticlesManager> manager;
    CPSmartPtr<CPPerspectiveCamera> camera;
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
    bool loaded = false;

    ParticleScene() {
        root = std::filesystem::temp_directory_path() / ("kx_particle_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Data");
        std::ofstream(root / "Data" / "particles.dat") << "bill t.tga e.fx 1 1 0 0 0\n"
                                                          "stretch t.tga e.fx 1 1 0 0 0\n"
                                                          "atlas t.tga e.fx 4 4 1 0 0 1:1:1:1:1,0:1:0.5:0:2\n";
        std::ofstream(root / "Data" / "spots.dat") << "spot t.tga e.fx 1 1 0 0 0\n";
        std::ofstream(root / "Data" / "particlesystems.dat") << "";
        std::ofstream(root / "Data" / "flames.dat") << "";
        Platform::GamePaths().SetRoot(root.string());
        Platform::EngineSeed(1);

        camera = new CPPerspectiveCamera();
        camera->eye = D3DXVECTOR3(0.0f, -20.0f, 5.0f);
        camera->target = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
        camera->fieldOfView = 1.0f;
        camera->nearDistance = 0.1f;
        camera->farDistance = 1000.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
        g_currentViewCamera = camera.Get();

        manager = new CPParticlesManager();
        loaded = manager->LoadTables();
        if (!loaded) return;
        for (int i = 0; i < kParticles; ++i) {
            const int kind = i % 4;
            SPParticleDesc d;
            d.name = kBatches[kind];
            d.position = D3DXVECTOR3(static_cast<float>(i % 50) * 0.5f - 12.0f,
                                     static_cast<float>(i / 50 % 50) * 0.5f - 12.0f, 1.0f);
            d.velocity = D3DXVECTOR3(0.5f, 0.25f, 0.125f);
            d.size = 0.25f;
            d.growth = 0.01f;
            d.life = 1e9f; // alive for the whole run
            d.fade = true;
            d.stretched = kind == 1;
            if (kind == 3) d.velocity = D3DXVECTOR3(0.0f, 0.0f, 0.3f); // a spot's angles
            manager->EmitParticle(d);
        }
        vertices.resize(4 * kParticles);
        indices.resize(6 * kParticles);
    }

    // One pass as the frame runs it: the manager moves the particles, then every batch is filled.
    void Frame() {
        manager->Update();
        std::size_t v = 0, ix = 0;
        for (const auto& batch : manager->GetActiveBatches()) {
            batch->FillVertices(vertices.data() + v, indices.data() + ix, 0, 0);
            v += static_cast<std::size_t>(batch->GetVertexCount());
            ix += static_cast<std::size_t>(batch->GetIndexCount());
        }
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }

    ~ParticleScene() {
        manager = nullptr;
        g_currentViewCamera = nullptr;
        camera = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

// The same vertex and index bytes, copied batch by batch as the fill writes them.
struct PlainCopy {
    // The sizes come first: the buffers are made from them.
    std::size_t vertexBytes = static_cast<std::size_t>(kParticles) * 4 * sizeof(SPVertex);
    std::size_t indexBytes = static_cast<std::size_t>(kParticles) * 6 * sizeof(std::uint16_t);
    std::vector<unsigned char> source, destination;
    PlainCopy() : source(vertexBytes + indexBytes, 1), destination(vertexBytes + indexBytes) {}
    void Run() {
        for (int b = 0; b < 4; ++b) {
            const std::size_t v = vertexBytes / 4 * static_cast<std::size_t>(b);
            std::memcpy(destination.data() + v, source.data() + v, vertexBytes / 4);
            const std::size_t ix = vertexBytes + indexBytes / 4 * static_cast<std::size_t>(b);
            std::memcpy(destination.data() + ix, source.data() + ix, indexBytes / 4);
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
};

// Seconds per copy, the best of several rounds.
double TimeCopy(PlainCopy& copy) {
    double best = 1e9;
    for (int round = 0; round < 20; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 50; ++i) copy.Run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / 50.0);
    }
    return best;
}

void BM_ParticleUpdateAndFill(benchmark::State& state) {
    ParticleScene scene;
    if (!scene.loaded) {
        state.SkipWithError("the particle tables did not load");
        return;
    }
    const float savedDelta = g_deltaTime;
    g_deltaTime = 1.0f / 60.0f;
    PlainCopy copy;
    const double copyBefore = TimeCopy(copy);
    const auto start = std::chrono::steady_clock::now();
    std::int64_t frames = 0;
    for (auto _ : state) {
        scene.Frame();
        ++frames;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double copyAfter = TimeCopy(copy);
    g_deltaTime = savedDelta;
    const double copySeconds = std::min(copyBefore, copyAfter);
    state.counters["vs_copy"] = frames > 0 && copySeconds > 0 ? took.count() / frames / copySeconds : 0.0;
    state.counters["copy_us"] = copySeconds * 1e6;
    state.SetItemsProcessed(state.iterations() * kParticles);
}
BENCHMARK(BM_ParticleUpdateAndFill)->Unit(benchmark::kMicrosecond);

void BM_ParticlePlainCopy(benchmark::State& state) {
    PlainCopy copy;
    for (auto _ : state) copy.Run();
    state.SetItemsProcessed(state.iterations() * kParticles);
}
BENCHMARK(BM_ParticlePlainCopy)->Unit(benchmark::kMicrosecond);

} // namespace
