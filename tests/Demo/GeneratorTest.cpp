// The generator's output: the same files on every run, all of them in the manifest with their
// true size and hash, loose or packed, and within the size limits of the demo.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "DemoRoot.h"
#include "support/TempDir.h"

namespace demotest {
namespace {

std::string Fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

int RunGenerator(const fs::path& root) {
    const std::string command =
        std::string("\"") + KX_DEMOGEN + "\" \"" + KX_CHECKOUT_DATA + "\" \"" + root.string() + "\" > /dev/null";
    return std::system(command.c_str());
}

std::uintmax_t FolderSize(const fs::path& folder) {
    std::uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

TEST(DemoGenerator, TwoRunsWriteTheSameManifestAsTheBuild) {
    kxtest::TempDir temp;
    const fs::path first = fs::path(temp.Path()) / "first", second = fs::path(temp.Path()) / "second";
    ASSERT_EQ(RunGenerator(first), 0);
    ASSERT_EQ(RunGenerator(second), 0);
    const std::string a = ReadWhole(first / "demo-manifest.txt");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, ReadWhole(second / "demo-manifest.txt"));
    EXPECT_EQ(a, ReadWhole(fs::path(KX_DATA_DIR) / "demo-manifest.txt"));
    // A rerun over an existing root changes nothing either.
    ASSERT_EQ(RunGenerator(first), 0);
    EXPECT_EQ(a, ReadWhole(first / "demo-manifest.txt"));
}

TEST(DemoGenerator, EveryLooseFileHasItsManifestSizeAndHash) {
    const fs::path root = KX_DATA_DIR;
    const std::vector<ManifestEntry> manifest = ParseManifest(ReadWhole(root / "demo-manifest.txt"));
    std::set<std::string> seen;
    for (const ManifestEntry& e : manifest) {
        SCOPED_TRACE(e.path);
        EXPECT_TRUE(seen.insert(e.path).second) << "listed twice";
        EXPECT_NE(e.path.find('/'), 0u);
        EXPECT_EQ(e.path.find('\\'), std::string::npos);
        EXPECT_EQ(e.path.find(".."), std::string::npos);
        ASSERT_EQ(e.hash.size(), 16u);
        if (e.where != "loose") {
            EXPECT_EQ(e.where.rfind("game", 0), 0u);
            continue;
        }
        const std::string bytes = ReadWhole(root / e.path);
        EXPECT_EQ(bytes.size(), e.size);
        EXPECT_EQ(Fnv1a(bytes), e.hash);
    }
    // Sorted by path, so two runs can be compared line by line.
    for (std::size_t i = 1; i < manifest.size(); ++i) EXPECT_LT(manifest[i - 1].path, manifest[i].path);
}

TEST(DemoGenerator, StaysWithinTheSizeLimits) {
    const std::vector<ManifestEntry> manifest = ParseManifest(ReadWhole(fs::path(KX_DATA_DIR) / "demo-manifest.txt"));
    // What lies on disk: loose files and the packs (whose members are counted in their pack).
    std::uintmax_t generated = 0;
    for (const ManifestEntry& e : manifest)
        if (e.where == "loose") generated += e.size;
    EXPECT_GT(generated, 0u);
    EXPECT_LE(generated, 5u * 1024u * 1024u);
    EXPECT_LT(FolderSize(KX_CHECKOUT_DATA), 1024u * 1024u);
}

} // namespace
} // namespace demotest
