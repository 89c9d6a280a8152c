// Reading a mesh file of ten p3d nodes holding 100,000 vertices in all through the node readers
// alone (the description around it is DescriptionBench's), against the plain CPFileReader load
// of the same file.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Platform/System/Paths.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"

namespace {

constexpr int kNodes = 10;
constexpr int kVerticesPerNode = 10000;

void PutInt(std::string& out, std::int32_t value) { out.append(reinterpret_cast<const char*>(&value), 4); }
void PutFloat(std::string& out, float value) { out.append(reinterpret_cast<const char*>(&value), 4); }

// One p3d node: a strip of triangles over its vertices, no parts, no children.
void PutNode(std::string& out, int index) {
    PutInt(out, 0);
    std::string name = "part" + std::to_string(index);
    name.resize(260, '\0');
    out += name;
    for (float f : {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f}) PutFloat(out, f);
    PutInt(out, 0);
    for (int word = 1; word < 13; ++word) PutFloat(out, 1.0f);
    PutInt(out, kVerticesPerNode);
    for (int v = 0; v < kVerticesPerNode; ++v) {
        for (float f :
             {static_cast<float>(v % 100), static_cast<float>(index), static_cast<float>(v / 100), 0.0f, 1.0f, 0.0f})
            PutFloat(out, f);
        PutInt(out, 0);
        PutInt(out, 0);
        for (int uv = 0; uv < 4; ++uv) PutFloat(out, 0.5f);
    }
    const int triangles = kVerticesPerNode - 2;
    PutInt(out, 3 * triangles);
    for (int t = 0; t < triangles; ++t)
        for (int corner = 0; corner < 3; ++corner) {
            const std::uint16_t i = static_cast<std::uint16_t>(t + corner);
            out.append(reinterpret_cast<const char*>(&i), 2);
        }
    PutInt(out, 0); // parts
    PutInt(out, 0); // children
}

struct MeshFiles {
    std::filesystem::path root;
    CPAnimationLibrary library;

    MeshFiles() {
        root = std::filesystem::temp_directory_path() / ("kx_mesh_file_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Data" / "Meshes");
        std::string bytes;
        PutInt(bytes, 0);
        PutInt(bytes, kNodes);
        for (int node = 0; node < kNodes; ++node) PutNode(bytes, node);
        std::ofstream(root / "Data" / "Meshes" / "big.p3d", std::ios::binary) << bytes;
        Platform::GamePaths().SetRoot(root.string());
        CPLog::Instance().SetSink([](int, const std::string&) {});
    }
    ~MeshFiles() {
        CPLog::Instance().SetSink(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

// Made once; every benchmark points the game root at it again, as the other scene benchmarks
// point it at their own.
MeshFiles& Files() {
    static MeshFiles files;
    Platform::GamePaths().SetRoot(files.root.string());
    return files;
}

void CollectTree() {
    for (int pass = 0; pass < 4 && IPMMObject::LiveCount() != 0; ++pass) IPMMObject::CollectGarbage();
}

void BM_MeshFilePlainLoad(benchmark::State& state) {
    Files();
    for (auto _ : state) {
        CPFileReader reader("Data\\Meshes\\big.p3d");
        if (FAILED(reader.Load())) {
            state.SkipWithError("the mesh file cannot be read");
            break;
        }
        benchmark::DoNotOptimize(reader.GetData());
    }
}
BENCHMARK(BM_MeshFilePlainLoad)->Unit(benchmark::kMillisecond);

void BM_MeshFileNodeReaders(benchmark::State& state) {
    MeshFiles& files = Files();
    for (auto _ : state) {
        CPFileReader reader("Data\\Meshes\\big.p3d");
        if (FAILED(reader.Load())) {
            state.SkipWithError("the mesh file cannot be read");
            break;
        }
        CPAnimationLibrary::Sections sections;
        bool table = false;
        CPSmartPtr<CPGameObject> tree = files.library.ReadMeshFile(reader, sections, 0, "big.rdf", true, table);
        if (!tree || tree->GetChildren().size() != kNodes) {
            state.SkipWithError("the mesh file was refused");
            break;
        }
        // Freeing the tree is not part of the load.
        state.PauseTiming();
        tree = CPSmartPtr<CPGameObject>();
        CollectTree();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MeshFileNodeReaders)->Unit(benchmark::kMillisecond);

} // namespace
