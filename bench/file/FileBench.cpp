// Reading data files through the file layer out of a pack, against a plain fread of the same
// bytes from loose files, in one run: a big file (64 MiB) and a set of 1,000 small files of
// 4 to 64 KiB. The pack is written by the tests' pack writer. Both sides read from the page
// cache (the files were just written and are read again and again), so the figures compare the
// work done per byte, not the disk. The program prints, for each data set, the throughput of
// the pack read relative to the plain read, and to the plain read whose bytes are then looked at.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PackFile.h"
#include "Platform/System/Paths.h"
#include "support/PackWriter.h"

namespace {

constexpr std::size_t kBigBytes = std::size_t(64) << 20;
constexpr int kSmallFiles = 1000;

struct DataSet {
    std::vector<std::string> gamePaths;  // in the pack
    std::vector<std::string> loosePaths; // real paths of the loose copies
    std::size_t bytes = 0;
};

struct Files {
    std::filesystem::path root;
    DataSet big, small;
    bool mounted = false;

    Files() {
        root = std::filesystem::temp_directory_path() / ("kx_file_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Data" / "loose" / "small");
        std::mt19937 random(34);
        kxtest::PackWriter pack;
        auto add = [&](DataSet& set, const std::string& name, std::size_t size) {
            std::string content(size, '\0');
            for (char& c : content) c = static_cast<char>(random());
            pack.AddFile("packed\\" + name, content);
            const std::filesystem::path loose = root / "Data" / "loose" / name;
            std::ofstream(loose, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
            set.gamePaths.push_back("data\\packed\\" + name);
            set.loosePaths.push_back(loose.string());
            set.bytes += size;
        };
        add(big, "big.bin", kBigBytes);
        std::uniform_int_distribution<std::size_t> sizes(4 << 10, 64 << 10);
        for (int i = 0; i < kSmallFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "small/f%04d.bin", i);
            add(small, name, sizes(random));
        }
        const std::string packBytes = pack.Build();
        std::ofstream(root / "Data" / "game0.dat", std::ios::binary)
            .write(packBytes.data(), static_cast<std::streamsize>(packBytes.size()));
        Platform::GamePaths().SetRoot(root.string());
        mounted = MountPacks() == S_OK && !MountedPacks().empty();
        if (!mounted) std::fprintf(stderr, "file_bench: the pack did not mount\n");
    }

    ~Files() {
        UnmountPacks();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

DataSet& Set(Files& files, int which) { return which == 0 ? files.big : files.small; }

// Through the file layer, out of the pack: found, read and unscrambled.
void BM_PackRead(benchmark::State& state) {
    Files& files = TheFiles();
    if (!files.mounted) {
        state.SkipWithError("no pack");
        return;
    }
    const DataSet& set = Set(files, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (const std::string& path : set.gamePaths) {
            CPFileReader reader(path);
            if (reader.Load() != S_OK) {
                state.SkipWithError("a read failed");
                return;
            }
            benchmark::DoNotOptimize(reader.GetData());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.bytes));
}

// The reference: the loose copies read with fopen and fread into a fresh buffer each. With
// "andLook", every byte read is then looked at once (summed), as any user of the bytes and the
// unscrambling do: on some virtual machines the first touch of each fresh page from the program
// costs far more than the read itself, and the plain read alone never pays it.
void PlainRead(benchmark::State& state, bool andLook) {
    const DataSet& set = Set(TheFiles(), static_cast<int>(state.range(0)));
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (const std::string& path : set.loosePaths) {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            if (!file) {
                state.SkipWithError("a loose file is missing");
                return;
            }
            std::fseek(file, 0, SEEK_END);
            const long size = std::ftell(file);
            std::fseek(file, 0, SEEK_SET);
            std::unique_ptr<unsigned char[]> buffer(new unsigned char[static_cast<std::size_t>(size)]);
            const std::size_t got = std::fread(buffer.get(), 1, static_cast<std::size_t>(size), file);
            std::fclose(file);
            benchmark::DoNotOptimize(buffer.get());
            if (got != static_cast<std::size_t>(size)) {
                state.SkipWithError("a short read");
                return;
            }
            if (andLook)
                for (std::size_t i = 0; i < got; ++i) sum += buffer[i];
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.bytes));
}
void BM_PlainRead(benchmark::State& state) { PlainRead(state, false); }
void BM_PlainReadAndLook(benchmark::State& state) { PlainRead(state, true); }

// The unscrambling alone, over a 64 MiB buffer (not in the cache).
void BM_Unscramble(benchmark::State& state) {
    std::vector<std::uint8_t> bytes(kBigBytes, 0x5A);
    for (auto _ : state) {
        UnscrambleBuffer(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBigBytes));
}
BENCHMARK(BM_Unscramble)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PackRead)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadAndLook)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond);

// Prints the usual table, then for each data set the pack read's throughput relative to the
// plain read's (time of the plain read over time of the pack read).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            else if (run.aggregate_name == "median") // with repetitions, the medians are compared
                medians[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!medians.empty()) times = medians;
        for (const char* set : {"small:0", "small:1"}) {
            auto pack = times.find(std::string("BM_PackRead/") + set);
            auto plain = times.find(std::string("BM_PlainRead/") + set);
            if (pack == times.end() || plain == times.end() || pack->second.real <= 0 || pack->second.cpu <= 0)
                continue;
            const char* name = std::string(set) == "small:0" ? "64 MiB file" : "1,000 small files";
            std::printf("%s: pack read throughput / plain read = %.2f (CPU time: %.2f)\n", name,
                        plain->second.real / pack->second.real, plain->second.cpu / pack->second.cpu);
            auto looked = times.find(std::string("BM_PlainReadAndLook/") + set);
            if (looked != times.end())
                std::printf("%s: pack read throughput / plain read looked at once = %.2f (CPU time: %.2f)\n", name,
                            looked->second.real / pack->second.real, looked->second.cpu / pack->second.cpu);
        }
    }
    struct Times {
        double real = 0, cpu = 0;
    };
    std::map<std::string, Times> times, medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
