#pragma once
// The demo game root for the tests: a temporary copy of the build's game root (so nothing a test
// does can change the real one) with a fresh game-data store, its packs mounted, and the
// generator's manifest read in.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PackFile.h"
#include "Platform/System/Paths.h"
#include "support/FreshStore.h"

namespace demotest {

namespace fs = std::filesystem;

struct ManifestEntry {
    std::string path;
    std::uintmax_t size = 0;
    std::string hash;
    std::string where;
};

inline std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The manifest's entries in file order; comment lines left out.
inline std::vector<ManifestEntry> ParseManifest(const std::string& text) {
    std::vector<ManifestEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        std::istringstream fields(line);
        ManifestEntry e;
        fields >> e.path >> e.size >> e.hash >> e.where;
        entries.push_back(e);
    }
    return entries;
}

// The path as the engine spells it: backslashes.
inline std::string EnginePath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The file's bytes through the engine's file layer (loose, else the packs); empty when missing.
inline std::string ReadThroughFileLayer(const std::string& path) {
    CPFileReader reader(EnginePath(path));
    if (reader.Load() != S_OK) return std::string();
    return std::string(reinterpret_cast<const char*>(reader.GetData()), static_cast<std::size_t>(reader.GetDataSize()));
}

class DemoRoot : public ::testing::Test {
protected:
    void SetUp() override {
        CPLog::Instance().SetSink([this](int, const std::string& line) { log.push_back(line); });
        std::error_code ec;
        fs::copy(KX_DATA_DIR, store.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << ec.message();
        // Again, so that the resolver forgets any listing made before the copy.
        Platform::GamePaths().SetRoot(store.Path());
        ASSERT_EQ(MountPacks(), S_OK);
        manifest = ParseManifest(ReadWhole(fs::path(store.Path()) / "demo-manifest.txt"));
        ASSERT_FALSE(manifest.empty());
    }
    void TearDown() override {
        UnmountPacks();
        CPLog::Instance().SetSink(nullptr);
    }

    std::vector<std::string> Manifested(const std::string& extension) const {
        std::vector<std::string> paths;
        for (const ManifestEntry& e : manifest)
            if (e.path.size() >= extension.size() &&
                e.path.compare(e.path.size() - extension.size(), extension.size(), extension) == 0)
                paths.push_back(e.path);
        return paths;
    }

    kxtest::FreshGameData store;
    std::vector<ManifestEntry> manifest;
    std::vector<std::string> log;
};

} // namespace demotest
